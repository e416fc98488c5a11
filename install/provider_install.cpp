#include "install/provider_install.h"

#include "bootstrap/message_ids.h"
#include "bootstrap/messages.h"
#include "bootstrap/restart.h"
#include "bootstrap/run_log.h"
#include "install/child_process.h"
#include "platform/platform.h"
#include "platform/result_codes.h"

WString BuildProviderCommandLine(const WString& folder, WString extraArguments, bool silent,
                                 bool reinstall, WString& logPath) {
  logPath.clear();
  WString commandLine = folder + u"\\Setup.exe ";

  // A log switch of the user's own wins, and then no log path is made. The
  // searches are plain substring tests, so /lang or /Log count as well.
  if (!Contains(extraArguments, u"/l") && !Contains(extraArguments, u"/L")) {
    // Without TMP the path stays empty and the switch is still passed: the
    // provider's setup then chooses what to do with an empty log name.
    MakeLogFilePath(folder, silent, logPath);
    Prepend(extraArguments, u"/Lv! \"\"\"" + logPath + u"\"\"\" ");
  }
  // Only the lower-case /q counts: an upper-case /Q of the user's still gets
  // the basic user interface put in front.
  if (!Contains(extraArguments, u"/q")) Prepend(extraArguments, u"/qb ");

  // Everything for the provider's own installer travels as the one quoted
  // value of -args, the user's text unchanged inside it.
  commandLine += u"-args \"" + extraArguments + u"\"";
  // The provider never restarts Windows on its own: the restart is offered
  // at the end of the whole run, through the pending-restart marker.
  commandLine += u" -noreboot";
  if (silent) commandLine += u" -silent";
  if (reinstall) commandLine += u" -reinstall";
  return commandLine;
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

WString ProviderFailureText(std::uint32_t code, const WString& logPath) {
  WString text;
  LoadMessage(msg::kProviderFailed, text);
  AppendCode(text, code);
  text += u".\n";
  if (!logPath.empty() && platform::PathExists(logPath)) text += u"Install log: " + logPath;
  return text;
}

std::uint32_t InstallProvider(WString folder, WString extraArguments, bool silent,
                              bool reinstall) {
  WString logPath;
  const WString commandLine =
      BuildProviderCommandLine(folder, std::move(extraArguments), silent, reinstall, logPath);
  if (logPath.empty())
    LogLine({folder, u": installer log: none made here (a log switch of the arguments, or no TMP)"});
  else
    LogLine({folder, u": installer log: ", logPath});
  bool exited = false;
  const std::uint32_t result = RunLoggedChildProcess(folder, commandLine, &exited);

  // Only Setup.exe's own exit code may let the run go on: process creation
  // reports a missing provider folder as 3, which read as the exit code 3
  // would end the run by announcing the provider as installed; the same
  // holds for a wait whose failure code happens to be 3, 4 or a restart code.
  bool restartNeeded = false;
  const bool goOn = exited && ProviderMayGoOn(result, restartNeeded);
  LogLine({folder, goOn ? u": the run goes on" : u": the run stops"});
  if (goOn) {
    // The restart is offered at the end of a successful run; a later failure
    // leaves the marker for the next run.
    if (restartNeeded) CreateRestartMarker();
    return 0;
  }

  if (!silent)
    LogBox(msg::kProviderFailed, platform::MessageBox(ProviderFailureText(result, logPath),
                                                      WString(), platform::kMbIconError));
  return result;
}
