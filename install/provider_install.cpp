#include "install/provider_install.h"

#include "bootstrap/message_ids.h"
#include "bootstrap/restart.h"
#include "bootstrap/run_log.h"
#include "install/child_process.h"
#include "install/installer_busy.h"
#include "packages/package_location.h"
#include "platform/platform.h"
#include "platform/result_codes.h"

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

StepResult OpenProviderSetup(const PublisherCheck& check, const WString& folder, CheckedFile& setup) {
  StepResult opened;
  opened.code = OpenCheckedFile(check, folder, ProviderProgramPath(folder), setup, opened.refused);
  if (opened.code == 0) return opened;
  // Both boxes of a provider have no caption.
  if (opened.refused) {
    opened.notice = FileNotTrustedNotice(setup.path, opened.code, 0);
  } else if (check.on || opened.code == winerror::kFilenameExcedRange) {
    // A path longer than Windows takes is refused under Wine as under
    // Windows, whose process creation would refuse it.
    opened.notice = FailureNotice(msg::kProviderFailed, 0, opened.code, WString());
  } else {
    // Unsigned, nothing to check: started as it always was.
    opened.code = 0;
  }
  return opened;
}

StepResult BuildProviderCommandLine(const WString& folder, WString extraArguments, bool silent,
                                    bool reinstall, InstallerLog& log, WString& commandLine) {
  StepResult built;
  // A log switch of the user's own wins, and then no log is made.
  if (ChoosesOwnLog(extraArguments)) {
    LogLine({folder, u": installer log: none made here (a log switch of the arguments)"});
  } else {
    bool tempUnreadable = false;
    const std::uint32_t arranged = ArrangeInstallerLog(folder, folder, log, tempUnreadable);
    if (tempUnreadable) {
      // Without TMP the switch is still passed, with an empty name: the
      // provider's setup then chooses what to do with it.
      built.notice = TempUnreadableNotice();
    } else if (arranged != 0) {
      built.code = arranged;
      built.notice = FailureNotice(msg::kProviderFailed, 0, arranged, WString());
      return built;
    }
    Prepend(extraArguments, u"/Lv! \"\"\"" + log.path + u"\"\"\" ");
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

StepResult StartProvider(const WString& folder, const WString& commandLine, const CheckedFile& setup,
                         InstallerLog& log, const InstallerWait& wait) {
  struct Start {
    const WString& folder;
    const WString& commandLine;
    const CheckedFile& setup;
  } start{folder, commandLine, setup};
  const ChildResult ran = RunWhenInstallerFree(
      folder, wait,
      [](void* context) {
        const Start& s = *static_cast<const Start*>(context);
        return s.setup.held ? RunCheckedProgram(s.folder, s.commandLine, s.setup)
                            : RunChildProcess(s.folder, s.commandLine);
      },
      &start);
  const WString written = FinishInstallerLog(folder, log);
  StepResult started;
  started.code = ran.code;
  // The administrator cancelled the wait: the run ends, and said so itself.
  if (ran.end == ChildEnd::kCancelled) return started;
  // Only Setup.exe's own exit code may let the run go on: process creation
  // reports a missing provider folder as 3, which read as the exit code 3
  // would end the run by announcing the provider as installed; the same
  // holds for a wait whose failure code happens to be 3, 4 or a restart code.
  bool restartNeeded = false;
  const bool goOn = ran.end == ChildEnd::kExited && ProviderMayGoOn(ran.code, restartNeeded);
  LogLine({folder, goOn ? u": the run goes on" : u": the run stops"});
  if (goOn) {
    // The restart is offered at the end of a successful run; a later failure
    // leaves the marker for the next run.
    if (restartNeeded) CreateRestartMarker();
    started.code = 0;
    return started;
  }
  started.refused = ran.end == ChildEnd::kNotTheFileChecked;
  started.notice = started.refused ? FileNotTrustedNotice(setup.path, ran.code, 0)
                                   : FailureNotice(msg::kProviderFailed, 0, ran.code, written);
  return started;
}
