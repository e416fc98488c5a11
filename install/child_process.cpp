#include "install/child_process.h"

#include "bootstrap/environment.h"
#include "bootstrap/message_ids.h"
#include "bootstrap/run_log.h"
#include "platform/platform.h"
#include "platform/result_codes.h"

namespace {
constexpr std::uint32_t kWaitObject0 = 0;

}  // namespace

std::uint32_t LastFailure() {
  return winerror::NonZeroCode(platform::GetLastError(), winerror::kFunctionFailed);
}

std::uint32_t RunChildProcess(const WString& label, const WString& commandLine, bool* exited,
                              const WString& applicationName) {
  LogLine({label, u": started ", commandLine});
  const std::uint32_t start = platform::GetTickCount();
  bool ended = false;
  std::uint32_t result = 0;
  // CreateProcessW may write into its command line, so it gets a copy.
  WString writable = commandLine;
  platform::ChildProcess child;
  std::uint32_t exitCode = 0;
  if (!platform::StartProcess(applicationName, writable, platform::kCreateNoWindow, child)) {
    result = LastFailure();
  } else if (platform::WaitForever(child.process.get()) != kWaitObject0 ||
             !platform::GetExitCodeProcess(child.process.get(), exitCode)) {
    // Without the wait or the exit code the child's outcome is unknown,
    // which must not read as the installer's success.
    result = LastFailure();
  } else {
    result = exitCode;
    ended = true;
  }
  child.process.reset();
  child.thread.reset();
  const std::uint32_t elapsed = platform::GetTickCount() - start;
  if (ended)
    LogLine({label, u": ended after ", elapsed, u" ms with exit code ", result});
  else
    LogLine({label, u": gave no exit code after ", elapsed, u" ms: error ", result,
             u" (it could not be started or waited for)"});
  if (exited) *exited = ended;
  return result;
}

void MakeTimeStamp(WString& out) {
  out = FormatTimeStamp(platform::GetLocalTime());
  platform::WriteStandardOutput(out + u"\n");
}

std::uint32_t MakeLogFilePath(WString namePart, WString& out) {
  WString temp;
  const std::uint32_t result = ReadEnvironmentVariable(u"TMP", temp);
  if (result != 0) return result;
  WString stamp;
  MakeTimeStamp(stamp);
  // No separator is added or removed: a TMP ending in a backslash gives a
  // doubled one, which Windows accepts.
  out = temp + u"\\" + namePart + u"_" + stamp + u".log";
  return 0;
}

bool ChoosesOwnLog(const WString& arguments) {
  return Contains(arguments, u"/l") || Contains(arguments, u"/L");
}

Notice TempUnreadableNotice() {
  return NoticeOf(msg::kEnvironmentUnreadable, msg::kErrorCaption);
}

std::uint32_t ArrangeInstallerLog(const WString& label, const WString& namePart, WString& logPath) {
  WString built;
  const std::uint32_t result = MakeLogFilePath(namePart, built);
  if (result != 0) {
    LogLine({label, u": installer log: none, TMP could not be read, error ", result});
    return result;
  }
  // The stem is the built name without its ".log".
  WString created;
  std::uint32_t error = 0;
  const platform::FileHandle file =
      CreateNewLogFile(built.substr(0, built.size() - 4), created, error);
  if (error == winerror::kFileExists) {
    LogLine({label, u": installer log: ", built, u" and its names _2 to _5 are all taken in TMP; "
                    u"nothing is started with one of them, error ", error});
    return error;
  }
  if (!file)
    LogLine({label, u": installer log: could not be created, error ", error,
             u"; the name is handed over as it is"});
  logPath = created;
  LogValue(label + u": installer log", logPath);
  return 0;
}
