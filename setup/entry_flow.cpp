#include "setup/entry_flow.h"

#include "bootstrap/command_line.h"
#include "bootstrap/environment.h"
#include "bootstrap/message_ids.h"
#include "bootstrap/messages.h"
#include "bootstrap/prerequisites.h"
#include "bootstrap/restart.h"
#include "bootstrap/run_log.h"
#include "dialog/options_dialog.h"
#include "install/plugin_install.h"
#include "install/provider_install.h"
#include "install/checked_file.h"
#include "platform/platform.h"
#include "platform/result_codes.h"

namespace {

constexpr std::uint32_t kInstallUiLevelNone = 2;
constexpr int kNotAdministratorExitCode = 1;
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

// The flow's boxes share the program's caption and one text that each box
// loads in turn (a message that cannot be loaded leaves the text as it was).
int Show(std::uint16_t id, WString& messageText, std::uint32_t style) {
  return ShowBox(NoticeOf(id, msg::kCaption, style), messageText);
}

// The exit line of the run, then the code.
int Ended(int code, const char16_t* meaning) {
  LogExit(static_cast<std::uint32_t>(code), meaning);
  return code;
}

// The run log in TMP; without TMP the run goes on without one.
void StartRunLog() {
  WString temp;
  if (ReadEnvironmentVariable(u"TMP", temp) != 0) return;
  OpenRunLog(temp, platform::GetLocalTime(), ReadProgramPath(), ReadProgramFileVersion());
}

const char16_t* YesNo(bool value) { return value ? u"yes" : u"no"; }

void LogOptions(const BootstrapOptions& options) {
  LogLine({u"options: csp ", YesNo(options.csp), u", ucsp ", YesNo(options.ucsp), u", selectDlg ",
           YesNo(options.selectDlg), u", silent ", YesNo(options.silent), u", reinstall ",
           YesNo(options.reinstall), u", norestart ", YesNo(options.norestart), u", wait ",
           options.waitSeconds, u" s"});
  // The texts only when given, each as parsed (the separating blanks kept).
  const struct {
    const char16_t* name;
    const WString& value;
  } texts[] = {{u"options: cspArgs", options.cspArgs},
               {u"options: ucspArgs", options.ucspArgs},
               {u"options: pluginArgs", options.pluginArgs},
               {u"options: kcPattern", options.kcPattern},
               {u"options: langPattern", options.langPattern}};
  for (const auto& text : texts)
    if (!text.value.empty()) LogValue(text.name, text.value);
}

// After a successful installation: the restart when the marker asks for one,
// otherwise the notice that the browser may need a restart.
int Finish(const BootstrapOptions& options, WString& messageText) {
  const RunMessages messages = MessagesFor(options.csp, options.ucsp);
  const bool pending = IsRestartPending();
  LogLine(pending ? u"restart marker: present" : u"restart marker: absent");
  if (pending && !options.norestart) {
    // The marker is deleted before the question, so declining leaves none.
    const std::uint32_t cleared = ClearRestartMarker();
    if (cleared == 0)
      LogLine(u"restart marker: deleted");
    else
      LogValue(u"restart marker: could not be deleted, error", cleared);
    if (options.silent) {
      LogLine(u"restart: -silent, restarting without a question");
    } else if (Show(messages.restartQuestion, messageText,
                    platform::kMbYesNo | platform::kMbIconExclamation) != platform::kIdYes) {
      return Ended(0, u"done; the restart was declined");
    }
    // Written before the restart starts: a forced restart may end the
    // process before it could write anything more.
    LogExit(0, u"done; the restart of Windows is being started");
    if (RestartComputer()) return 0;
    // The restart is still owed: the marker again, so that the next run
    // offers it (the run log has named the call that failed).
    CreateRestartMarker();
    if (!options.silent) Show(msg::kRestartFailed, messageText, platform::kMbOk);
    return Ended(kRestartFailedExitCode, u"done, but the restart could not be started");
  }
  if (!options.silent) Show(messages.browserNotice, messageText, platform::kMbOk);
  return Ended(0, pending ? u"done; -norestart keeps the pending restart for a later run"
                          : u"done; no restart pending");
}

// %1 and %2 of text replaced by first and second in one pass: an insert
// that holds "%1" or "%2" itself (a folder named dist%20b) stays as it is.
WString Substitute(const WString& text, const WString& first, const WString& second) {
  WString out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'%' && i + 1 < text.size() && (text[i + 1] == u'1' || text[i + 1] == u'2')) {
      out += text[i + 1] == u'1' ? first : second;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The text of `notice`: its message loaded into text (a message that cannot
// be loaded leaves text as it was), then its insert.
void BuildNoticeText(const Notice& notice, WString& text) {
  LoadMessage(notice.message, text);
  switch (notice.insert) {
    case Insert::kNone:
      break;
    case Insert::kCodeAndLog:
      AppendCode(text, notice.code);
      text += u".\n";
      if (!notice.path.empty() && platform::PathExists(notice.path))
        text += u"Install log: " + notice.path;
      break;
    case Insert::kPathAndCode:
      text = Substitute(text, notice.path, Hex(notice.code));
      break;
  }
}

// Releases the run's own mutex when the run ends, on every path out of it.
struct RunMutexScope {
  platform::KernelHandle mutex;
  RunMutexScope() = default;
  RunMutexScope(const RunMutexScope&) = delete;
  RunMutexScope& operator=(const RunMutexScope&) = delete;
  ~RunMutexScope() { ReleaseRunMutex(mutex); }
};

}  // namespace

int ShowBox(const Notice& notice, WString& text) {
  BuildNoticeText(notice, text);
  WString caption;
  if (notice.caption != 0) LoadMessage(notice.caption, caption);
  const int answer = platform::ShowMessageBox(text, caption, notice.style);
  LogBox(notice.message, answer);
  return answer;
}

void ShowNotice(const Notice& notice, bool silent) {
  if (notice.message == 0 || (silent && !notice.evenWhenSilent)) return;
  WString text;
  ShowBox(notice, text);
}

void ShowHelp(const WString& text) {
  platform::ShowMessageBox(text, u"Справка", platform::kMbIconInformation);
}

std::uint32_t InstallProvider(WString folder, WString extraArguments, bool silent, bool reinstall,
                              const PublisherCheck& publisher, const InstallerWait& wait,
                              bool& refused) {
  CheckedFile setup;
  const StepResult opened = OpenProviderSetup(publisher, folder, setup);
  refused = opened.refused;
  ShowNotice(opened.notice, silent);
  if (opened.code != 0) return opened.code;
  InstallerLog log;
  WString commandLine;
  // A TMP that cannot be read is told before the provider starts; its setup
  // then runs with an empty log name.
  const StepResult built = BuildProviderCommandLine(folder, std::move(extraArguments), silent,
                                                    reinstall, log, commandLine);
  ShowNotice(built.notice, silent);
  if (built.code != 0) return built.code;
  const StepResult started = StartProvider(folder, commandLine, setup, log, wait);
  refused = started.refused;
  ShowNotice(started.notice, silent);
  return started.code;
}

std::uint32_t InstallPluginPackage(WString extraArguments, bool silent, WString& logPath,
                                   bool reinstall, const PublisherCheck& publisher,
                                   const InstallerWait& wait, bool& refused) {
  PluginPlan plan;
  const StepResult planned = PlanPluginInstallation(publisher, reinstall, plan);
  refused = planned.refused;
  if (planned.code != 0) {
    ShowNotice(planned.notice, silent);
    return planned.code;
  }
  // The question, or the newer-version notice: a silent run asks nothing.
  Answer answer = Answer::kNotAsked;
  if (planned.notice.message != 0 && !silent) {
    WString text;
    answer = ShowBox(planned.notice, text) == platform::kIdYes ? Answer::kYes : Answer::kOther;
  }
  const StepResult installed =
      InstallPlannedPlugin(plan, answer, extraArguments, reinstall, logPath, wait);
  ShowNotice(installed.notice, silent);
  return installed.code;
}

int RunBootstrap(bool tailEmpty) {
  // The log is closed at the end of the run, whichever way the run ends.
  RunLogScope logScope;
  WString messageText;
  WString logPath;
  BootstrapOptions options;
  ParseOutcome outcome = ParseOutcome::kOptions;
  ParseFailure failure;
  std::uint32_t parsed = 0;
  if (!tailEmpty) parsed = ParseCommandLine(options, outcome, failure);
  // The help that was asked for is shown whatever -silent says (it is what
  // was asked for) and ends the run with 0, before any log.
  if (parsed == 0 && outcome == ParseOutcome::kHelp) {
    ShowHelp(BuildUsageText(options.csp, options.ucsp));
    return 0;
  }
  StartRunLog();
  LogValue(u"command line", platform::GetRawCommandLine());
  // A command line that cannot be split (out of memory) ends the run: the
  // defaults would ask an unattended run questions and skip its providers.
  if (parsed != 0) {
    LogValue(u"command line: could not be split, error", parsed);
    return Ended(static_cast<int>(parsed), u"the command line could not be read");
  }
  // A command line with an argument not understood is one the run cannot
  // use: it ends with Windows Installer's code for that, never with 0, which
  // every fleet tool would count as installed. With -silent anywhere on it no
  // help is shown: in session 0 nobody could close it.
  if (outcome == ParseOutcome::kNotUnderstood) {
    LogLine({u"command line: not understood: \"", failure.argument, u"\": ", failure.reason});
    if (failure.silent) {
      LogLine(u"help: not shown (-silent)");
    } else {
      ShowHelp(BuildUsageText(options.csp, options.ucsp));
      LogLine(u"help: shown");
    }
    return Ended(static_cast<int>(winerror::kInvalidCommandLine),
                 u"the command line was not understood; nothing was examined or installed");
  }
  LogOptions(options);

  // One run at a time, from before the first look at the system to the end:
  // a second run decides only from what the first left installed.
  RunMutexScope runMutex;
  const std::uint32_t taken =
      TakeRunMutex({options.waitSeconds, !options.silent, msg::kWaitingForOtherSetup}, runMutex.mutex);
  if (taken == winerror::kInstallUserExit)
    return Ended(static_cast<int>(taken), u"the wait for another setup of the plug-in was cancelled");
  if (taken != 0)
    return Ended(static_cast<int>(taken),
                 u"another setup of the plug-in was still running; nothing was examined or started");

  if (!platform::IsUserAnAdmin()) {
    LogLine(u"administrator: no");
    if (!options.silent) Show(msg::kNotAdministrator, messageText, platform::kMbIconError);
    return Ended(kNotAdministratorExitCode, u"not started as administrator");
  }
  LogLine(u"administrator: yes");
  const StepResult gate = JudgeWindowsVersion();
  ShowNotice(gate.notice, options.silent);
  if (gate.code != 0)
    return Ended(static_cast<int>(gate.code), u"this Windows version or service pack is refused");

  if (options.silent) {
    LogLine(u"confirmation: not asked (-silent)");
  } else if (Show(MessagesFor(options.csp, options.ucsp).confirmation, messageText,
                  platform::kMbYesNo) == platform::kIdNo) {
    return Ended(0, u"declined at the confirmation; nothing was installed");
  }

  if (options.selectDlg && options.csp && !options.silent &&
      ShowOptionsDialog(options) == DialogOutcome::kCancelled)
    return Ended(0, u"the options dialog was cancelled; nothing was installed");

  // msi.dll is loaded here, not before the question: nothing before it needs
  // Windows Installer, and the first box comes as soon as it can.
  platform::MsiSetInternalUI(kInstallUiLevelNone);

  // Before anything is started: a signed bootstrapper starts only what its
  // own publisher signed, and one that cannot check that starts nothing.
  PublisherCheck publisher;
  bool refused = false;
  if (const std::uint32_t checked = CheckOwnSignature(publisher, refused)) {
    if (!options.silent) {
      if (refused)
        ShowBox(FileNotTrustedNotice(ReadProgramPath(), checked, msg::kCaption), messageText);
      else
        ShowBox(FailureNotice(msg::kPluginFailed, msg::kCaption, checked, WString()), messageText);
    }
    return Ended(static_cast<int>(checked), u"this program's own signature could not be checked; "
                                             u"nothing was started");
  }

  const struct {
    bool wanted;
    const char16_t* folder;
    const WString& arguments;
    const char16_t* failed;
    const char16_t* notTrusted;
    std::uint16_t waiting;  // what the waiting window says during its step
  } providers[] = {
      {options.csp, u"csp", options.cspArgs, u"the csp provider's setup failed",
       u"the csp provider's Setup.exe was refused; nothing of it was started", msg::kWaitingForCsp},
      {options.ucsp, u"ucsp", options.ucspArgs, u"the ucsp provider's setup failed",
       u"the ucsp provider's Setup.exe was refused; nothing of it was started", msg::kWaitingForUcsp},
  };
  // Every installer start waits for another installation to end; the
  // window that says so, naming the step that waits, is shown unless silent.
  const InstallerWait wait{options.waitSeconds, !options.silent, msg::kWaitingForInstaller};
  for (const auto& provider : providers) {
    if (!provider.wanted) continue;
    const std::uint32_t result =
        InstallProvider(provider.folder, provider.arguments, options.silent, options.reinstall, publisher,
                        {options.waitSeconds, !options.silent, provider.waiting}, refused);
    // A provider's own 1602 lets the run go on: this one is the wait's.
    if (result == winerror::kInstallUserExit)
      return Ended(static_cast<int>(result), u"the wait for another installation was cancelled");
    if (result != 0) return Ended(static_cast<int>(result), refused ? provider.notTrusted : provider.failed);
  }

  const std::uint32_t result = InstallPluginPackage(options.pluginArgs, options.silent, logPath,
                                                    options.reinstall, publisher, wait, refused);
  LogValue(u"plug-in: result", result);
  if (!logPath.empty()) LogValue(u"plug-in: installer log", logPath);
  if (result == winerror::kInstallUserExit)
    return Ended(static_cast<int>(result),
                 u"the reinstallation was declined, or the installer or the wait for it was cancelled");
  // A refused package has had its one box (153): it was never started.
  if (refused)
    return Ended(static_cast<int>(result), u"the plug-in package was refused; nothing of it was started");
  if (result != 0) {
    if (!options.silent)
      ShowBox(FailureNotice(msg::kPluginFailed, msg::kCaption, result, logPath), messageText);
    return Ended(static_cast<int>(result), u"the plug-in's installation failed");
  }
  return Finish(options, messageText);
}
