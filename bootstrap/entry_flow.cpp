#include "bootstrap/entry_flow.h"

#include "bootstrap/command_line.h"
#include "bootstrap/message_ids.h"
#include "bootstrap/messages.h"
#include "bootstrap/prerequisites.h"
#include "bootstrap/restart.h"
#include "dialog/options_dialog.h"
#include "install/plugin_install.h"
#include "install/provider_install.h"
#include "platform/platform.h"

namespace {

constexpr std::uint32_t kInstallUserExit = 1602;
constexpr std::uint32_t kInstallUiLevelNone = 2;
constexpr int kRestartFailedExitCode = 7;

// The messages that name what this run installs, by the two provider flags.
struct RunMessages {
  std::uint16_t confirmation;
  std::uint16_t restartQuestion;
  std::uint16_t browserNotice;
};

RunMessages MessagesFor(bool csp, bool ucsp) {
  if (csp && ucsp) return {msg::kConfirmBoth, msg::kRestartBoth, msg::kBrowserBoth};
  if (csp) return {msg::kConfirmCsp, msg::kRestartCsp, msg::kBrowserCsp};
  if (ucsp) return {msg::kConfirmUcsp, msg::kRestartUcsp, msg::kBrowserUcsp};
  return {msg::kConfirmPlugin, msg::kRestartPlugin, msg::kBrowserPlugin};
}

int Show(const WString& caption, std::uint16_t id, WString& messageText, std::uint32_t style) {
  LoadMessage(id, messageText);
  return platform::MessageBox(messageText, caption, style);
}

// The plug-in failure box: message 106, the code, and the log when it exists.
void ReportPluginFailure(const WString& caption, std::uint32_t result, const WString& logPath,
                         WString& messageText) {
  LoadMessage(msg::kPluginFailed, messageText);
  AppendCode(messageText, result);
  messageText += u".\n";
  if (!logPath.empty() && platform::PathExists(logPath)) messageText += u"Install log: " + logPath;
  platform::MessageBox(messageText, caption, platform::kMbIconError);
}

// After a successful installation: the restart when the marker asks for one,
// otherwise the notice that the browser may need a restart.
int Finish(const BootstrapOptions& options, const WString& caption, WString& messageText) {
  const RunMessages messages = MessagesFor(options.csp, options.ucsp);
  if (IsRestartPending() && !options.norestart) {
    // The marker is deleted before the question, so declining leaves none.
    ClearRestartMarker();
    if (!options.silent &&
        Show(caption, messages.restartQuestion, messageText,
             platform::kMbYesNo | platform::kMbIconExclamation) != platform::kIdYes)
      return 0;
    if (RestartComputer()) return 0;
    if (!options.silent) Show(caption, msg::kRestartFailed, messageText, platform::kMbOk);
    return kRestartFailedExitCode;
  }
  if (!options.silent) Show(caption, messages.browserNotice, messageText, platform::kMbOk);
  return 0;
}

}  // namespace

int RunBootstrap(bool tailEmpty) {
  WString captionText;
  LoadMessage(msg::kCaption, captionText);
  WString messageText;
  WString logPath;
  BootstrapOptions options;
  // A command line that cannot be split (the system is out of memory) ends
  // the run at once: going on with the defaults would ask questions of an
  // unattended run and skip the providers it was told to install.
  if (!tailEmpty) {
    if (const std::uint32_t result = ParseCommandLine(options)) return static_cast<int>(result);
  }

  if (!platform::IsUserAnAdmin()) {
    if (!options.silent) Show(captionText, msg::kNotAdministrator, messageText, platform::kMbIconError);
    return 1;
  }
  if (const int refused = CheckWindowsVersion(options.silent)) return refused;

  platform::MsiSetInternalUI(kInstallUiLevelNone);

  if (!options.silent &&
      Show(captionText, MessagesFor(options.csp, options.ucsp).confirmation, messageText,
           platform::kMbYesNo) == platform::kIdNo)
    return 0;

  if (options.selectDlg && options.csp && !options.silent) ShowOptionsDialog(options);

  if (options.csp) {
    if (const std::uint32_t result =
            InstallProvider(u"csp", options.cspArgs, options.silent, options.reinstall))
      return static_cast<int>(result);
  }
  if (options.ucsp) {
    if (const std::uint32_t result =
            InstallProvider(u"ucsp", options.ucspArgs, options.silent, options.reinstall))
      return static_cast<int>(result);
  }

  const std::uint32_t result =
      InstallPluginPackage(options.pluginArgs, options.silent, logPath, options.reinstall);
  if (result == kInstallUserExit) return static_cast<int>(result);
  if (result != 0) {
    if (!options.silent) ReportPluginFailure(captionText, result, logPath, messageText);
    return static_cast<int>(result);
  }
  return Finish(options, captionText, messageText);
}
