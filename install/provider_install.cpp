#include "install/provider_install.h"

#include "bootstrap/message_ids.h"
#include "bootstrap/restart.h"
#include "bootstrap/run_log.h"
#include "install/child_process.h"
#include "packages/package_location.h"
#include "platform/platform.h"
#include "platform/result_codes.h"

StepResult BuildProviderCommandLine(const WString& folder, WString extraArguments, bool silent,
                                    bool reinstall, WString& logPath, WString& commandLine) {
  StepResult built;
  logPath.clear();
  // A log switch of the user's own wins, and then no log is made.
  if (ChoosesOwnLog(extraArguments)) {
    LogLine({folder, u": installer log: none made here (a log switch of the arguments)"});
  } else {
    // Without TMP the path stays empty and the switch is still passed: the
    // provider's setup then chooses what to do with an empty log name. A
    // taken name is another matter: no provider is started with it.
    const std::uint32_t arranged = ArrangeInstallerLog(folder, folder, logPath);
    if (arranged == winerror::kFileExists) {
      LogLine({folder, u": the run stops"});
      built.code = arranged;
      built.notice = FailureNotice(msg::kProviderFailed, 0, arranged, logPath);
      return built;
    }
    if (arranged != 0) built.notice = TempUnreadableNotice();
    Prepend(extraArguments, u"/Lv! \"\"\"" + logPath + u"\"\"\" ");
  }
  // Only the lower-case /q counts: an upper-case /Q of the user's still gets
  // the basic user interface put in front.
  if (!Contains(extraArguments, u"/q")) Prepend(extraArguments, u"/qb ");

  // Everything for the provider's own installer travels as the one quoted
  // value of -args, the user's text unchanged inside it.
  commandLine = folder + u"\\Setup.exe -args \"" + extraArguments + u"\"";
  // The provider never restarts Windows on its own: the restart is offered
  // at the end of the whole run, through the pending-restart marker.
  commandLine += u" -noreboot";
  if (silent) commandLine += u" -silent";
  if (reinstall) commandLine += u" -reinstall";
  return built;
}

bool ProviderMayGoOn(std::uint32_t exitCode, bool& restartNeeded) {
  restartNeeded = false;
  switch (exitCode) {
    case 0:
    case 3:
    case 4:
    case winerror::kInstallUserExit:
      return true;
    case winerror::kSuccessRebootRequired:
    case winerror::kSuccessRestartRequired:
      restartNeeded = true;
      return true;
    default:
      return false;
  }
}

WString ProviderProgramPath(const WString& folder) {
  const WString relative = folder + u"\\Setup.exe";
  const WString program = ReadProgramPath();
  const auto slash = program.rfind(u'\\');
  if (slash != WString::npos) {
    const WString beside = program.substr(0, slash + 1) + relative;
    if (platform::PathExists(beside)) return beside;
  }
  WString current;
  if (ReadCurrentDirectory(current) != 0) return relative;
  return current + u"\\" + relative;
}

StepResult StartProvider(const WString& folder, const WString& commandLine, const WString& logPath,
                         const PublisherCheck& publisher) {
  StepResult started;
  // The file checked is the file run: it is held open while the setup runs
  // and started by its path.
  const WString program = ProviderProgramPath(folder);
  platform::FileHandle held;
  started.code = OpenStartedFile(publisher, folder, program, held);
  const bool notTrusted = IsSignatureRefusal(started.code);
  // Only Setup.exe's own exit code may let the run go on: process creation
  // reports a missing provider folder as 3, which read as the exit code 3
  // would end the run by announcing the provider as installed; the same
  // holds for a wait whose failure code happens to be 3, 4 or a restart code.
  bool exited = false;
  if (started.code == 0)
    started.code = RunChildProcess(folder, commandLine, &exited, held ? program : WString());
  bool restartNeeded = false;
  const bool goOn = exited && ProviderMayGoOn(started.code, restartNeeded);
  LogLine({folder, goOn ? u": the run goes on" : u": the run stops"});
  if (goOn) {
    // The restart is offered at the end of a successful run; a later failure
    // leaves the marker for the next run.
    if (restartNeeded) CreateRestartMarker();
    started.code = 0;
    return started;
  }
  // Both boxes of a provider have no caption.
  started.notice = notTrusted ? FileNotTrustedNotice(program, started.code, 0)
                              : FailureNotice(msg::kProviderFailed, 0, started.code, logPath);
  return started;
}
