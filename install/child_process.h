// Child processes and log files shared by the installation steps.
#pragma once

#include <cstdint>

#include "bootstrap/messages.h"
#include "platform/wstring.h"

// GetLastError after a call that reported failure, or
// winerror::kFunctionFailed (1627) when it gave no code.
std::uint32_t LastFailure();

// Runs commandLine (CREATE_NO_WINDOW, no inheritance, the caller's
// environment and directory; applicationName, when given, the program's path,
// so that no search chooses the file) and waits without a time limit; the
// child's handles are closed before returning. Returns its exit code, or the
// system error code when it cannot be started or its end not observed (an
// unknown outcome, never success). exited tells whether the result is the
// child's own exit code: a start failure and an exit code share one range
// (2 is a missing file or a child's 2), so only an exit code may be judged.
// The run log gets "<label>: started <command line>" and "<label>: ended
// after <ms> ms with exit code <code>" (or the error code when it gave none).
std::uint32_t RunChildProcess(const WString& label, const WString& commandLine,
                              bool* exited = nullptr, const WString& applicationName = WString());

// Writes the current local time to out as 2014-03-07-09-05-31 (19
// characters, "%Y-%m-%d-%H-%M-%S"), and the same text with a line break to
// the process's standard output, when it has one.
void MakeTimeStamp(WString& out);

// "TMP" + "\" + namePart + "_" + stamp + ".log" into out, and 0; or, TMP unset
// or empty, 203 with out unchanged (its callers tell it with message 144).
std::uint32_t MakeLogFilePath(WString namePart, WString& out);

// Whether an installer's arguments choose their own logging: "/l" or "/L"
// anywhere (case-sensitive substrings: /lang and /Log count too).
bool ChoosesOwnLog(const WString& arguments);

// The verbose log an installer is told to write, TMP\<namePart>_<stamp>.log
// (MakeLogFilePath), created here first as a new, empty file by the rule of
// every log name in TMP (CreateNewLogFile: _2 … _5 when a name is taken).
// The installer then writes into the bootstrapper's own file, never through a
// name planted in TMP: a shared TMP (LocalSystem's is the Windows temporary
// folder) lets any user plant a link where an installer running as the
// system would write. The file is closed before the installer starts. label
// names the installer in the run log, which records the file handed over.
// Returns 0 with logPath set to the file created; 0 with logPath set to the
// name as built when no file can be made there for another reason than a
// taken name (a missing folder, one this account cannot write): the
// installer then fails with its own code; 80 (ERROR_FILE_EXISTS) when all
// five names are taken, with logPath unchanged: nothing may be started with
// any of them; or MakeLogFilePath's code (TMP unreadable), with logPath
// unchanged.
std::uint32_t ArrangeInstallerLog(const WString& label, const WString& namePart, WString& logPath);

// The box for a TMP that cannot be read: message 144 under caption 129.
Notice TempUnreadableNotice();
