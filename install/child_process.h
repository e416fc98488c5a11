// Child processes: an installer started, waited for and judged by its exit code.
#pragma once

#include <cstdint>

#include "install/checked_file.h"
#include "platform/wstring.h"

// How a child ended: only kExited gives the child's own exit code; the
// others give a system error code in the same range (2 is a missing file or
// a child's 2), which must not be judged as an exit code.
enum class ChildEnd {
  kExited,
  kNotStarted,         // process creation failed
  kNotObserved,        // started, but its end or its exit code could not be observed
  kNotTheFileChecked,  // started from another file than the one held: ended unrun
  kCancelled,          // not started: the administrator cancelled the wait before it
};

struct ChildResult {
  std::uint32_t code = 0;
  ChildEnd end = ChildEnd::kNotStarted;
};

// Runs commandLine (the program its first token names, searched for as
// process creation searches; CREATE_NO_WINDOW, no inheritance, the caller's
// environment and directory) and waits without a time limit; the child's
// handles are closed before returning. The code is its exit code, or the
// system error code when it cannot be started or its end not observed (an
// unknown outcome, never success). The run log gets "<label>: started
// <command line>" and "<label>: ended after <ms> ms with exit code <code>"
// (or the error code when it gave none).
ChildResult RunChildProcess(const WString& label, const WString& commandLine);

// The same for a program held open and checked (OpenCheckedFile): started
// from its runPath, suspended, and let run only when the process's image is
// the held file (CompareProcessImage); otherwise ended before its first
// instruction, with kNotTheFileChecked and ERROR_FILE_INVALID (1006). On a
// Windows that cannot tell a process's image it runs, and the run log says
// so.
ChildResult RunCheckedProgram(const WString& label, const WString& commandLine,
                              const CheckedFile& program);
