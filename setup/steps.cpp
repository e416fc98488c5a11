#include "setup/steps.h"

#include "bootstrap/prerequisites.h"
#include "install/plugin_install.h"
#include "install/provider_install.h"
#include "platform/platform.h"
#include "setup/boxes.h"

int CheckWindowsVersion(bool silent) {
  const StepResult judged = JudgeWindowsVersion();
  ShowNotice(judged.notice, silent);
  return static_cast<int>(judged.code);
}

std::uint32_t InstallProvider(WString folder, WString extraArguments, bool silent,
                              bool reinstall, const PublisherCheck& publisher) {
  WString logPath;
  WString commandLine;
  // A TMP that cannot be read is told before the provider starts; its setup
  // then runs with an empty log name.
  const StepResult built = BuildProviderCommandLine(folder, std::move(extraArguments), silent,
                                                    reinstall, logPath, commandLine);
  ShowNotice(built.notice, silent);
  if (built.code != 0) return built.code;
  const StepResult started = StartProvider(folder, commandLine, logPath, publisher);
  ShowNotice(started.notice, silent);
  return started.code;
}

std::uint32_t InstallPluginPackage(WString extraArguments, bool silent, WString& logPath,
                                   bool reinstall, const PublisherCheck& publisher) {
  PluginPlan plan;
  const StepResult planned = PlanPluginInstallation(reinstall, plan);
  if (planned.code != 0) {
    ShowNotice(planned.notice, silent);
    return planned.code;
  }
  // The question, or the notice that a newer version is installed: a silent
  // run asks nothing and the decision knows it.
  Answer answer = Answer::kNotAsked;
  if (planned.notice.message != 0 && !silent) {
    WString text;
    answer = ShowBox(planned.notice, text) == platform::kIdYes ? Answer::kYes : Answer::kOther;
  }
  const StepResult installed =
      InstallPlannedPlugin(plan, answer, std::move(extraArguments), reinstall, logPath, publisher);
  ShowNotice(installed.notice, silent);
  return installed.code;
}
