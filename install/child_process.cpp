#include "install/child_process.h"

#include "bootstrap/last_failure.h"
#include "bootstrap/run_log.h"
#include "platform/platform.h"
#include "platform/result_codes.h"

namespace {

// Waits for a started child and reads its exit code; closes its handles.
ChildResult WaitForChild(const WString& label, platform::ChildProcess& child, std::uint32_t start) {
  ChildResult result;
  std::uint32_t exitCode = 0;
  if (platform::WaitForever(child.process.get()) != platform::kWaitObject0 ||
      !platform::GetExitCodeProcess(child.process.get(), exitCode)) {
    // Without the wait or the exit code the child's outcome is unknown,
    // which must not read as the installer's success.
    result.code = LastFailure();
    result.end = ChildEnd::kNotObserved;
  } else {
    result.code = exitCode;
    result.end = ChildEnd::kExited;
  }
  child.process.reset();
  child.thread.reset();
  const std::uint32_t elapsed = platform::GetTickCount() - start;
  if (result.end == ChildEnd::kExited)
    LogLine({label, u": ended after ", elapsed, u" ms with exit code ", result.code});
  else
    LogLine({label, u": gave no exit code after ", elapsed, u" ms: error ", result.code,
             u" (its end could not be observed)"});
  return result;
}

ChildResult NotStarted(const WString& label) {
  ChildResult result;
  result.code = LastFailure();
  result.end = ChildEnd::kNotStarted;
  LogLine({label, u": could not be started, error ", result.code});
  return result;
}

}  // namespace

ChildResult RunChildProcess(const WString& label, const WString& commandLine) {
  LogLine({label, u": started ", commandLine});
  const std::uint32_t start = platform::GetTickCount();
  // CreateProcessW may write into its command line, so it gets a copy.
  WString writable = commandLine;
  platform::ChildProcess child;
  if (!platform::StartProcess(WString(), writable, platform::kCreateNoWindow, child))
    return NotStarted(label);
  return WaitForChild(label, child, start);
}

ChildResult RunCheckedProgram(const WString& label, const WString& commandLine,
                              const CheckedFile& program) {
  LogLine({label, u": started ", commandLine});
  const std::uint32_t start = platform::GetTickCount();
  WString writable = commandLine;
  platform::ChildProcess child;
  // Suspended: nothing of it runs before its image is known to be the file
  // checked. A link in the path re-pointed after the check would otherwise
  // run another file under the checked one's name.
  if (!platform::StartProcess(program.runPath, writable,
                              platform::kCreateNoWindow | platform::kCreateSuspended, child))
    return NotStarted(label);
  const ImageMatch match = CompareProcessImage(child.process.get(), program);
  if (match == ImageMatch::kOther) {
    platform::TerminateProcess(child.process.get(), winerror::kFileInvalid);
    platform::WaitForever(child.process.get());
    LogLine({label, u": the process started is not the file checked; it was ended before it ran"});
    ChildResult refused;
    refused.code = winerror::kFileInvalid;
    refused.end = ChildEnd::kNotTheFileChecked;
    return refused;
  }
  if (match == ImageMatch::kUnknown)
    LogLine({label, u": this Windows cannot tell which file a process runs; it runs unchecked"});
  if (!platform::ResumeThread(child.thread.get())) {
    // A process that cannot be let run must not stay behind suspended.
    const ChildResult failed = NotStarted(label);
    platform::TerminateProcess(child.process.get(), failed.code);
    platform::WaitForever(child.process.get());
    return failed;
  }
  return WaitForChild(label, child, start);
}
