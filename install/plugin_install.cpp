#include "install/plugin_install.h"

#include "bootstrap/message_ids.h"
#include "bootstrap/run_log.h"
#include "install/run_installer.h"
#include "packages/package_location.h"
#include "platform/platform.h"
#include "platform/result_codes.h"

namespace {

constexpr int kInstallStateDefault = 5;
constexpr int kInstallStateAbsent = 2;

}  // namespace

StepResult PlanPluginInstallation(const PublisherCheck& check, bool reinstall, PluginPlan& plan) {
  StepResult planned;
  // The package is found once: the file whose identity is read, whose
  // version is compared and whose product's source list is prepared is the
  // file installed.
  Wow64Lookup lookup;
  const WindowsArchitecture windows = DetectWindowsArchitecture(lookup);
  const WString architecture = ArchitecturePattern(windows);
  LogLine({u"WOW64: ",
           windows == WindowsArchitecture::kWow64          ? u"yes"
           : windows == WindowsArchitecture::k64BitProcess ? u"no, a 64-bit process on 64-bit Windows"
                                                           : u"no",
           u"; plug-in package pattern vexiscom", architecture, u".msi"});
  WString packagePath;
  planned.code = FindPackageFile(u"vexiscom" + architecture, packagePath);
  if (planned.code != 0) {
    LogValue(u"plug-in package: none usable found, error", planned.code);
    planned.notice = NoticeOf(msg::kProductCodeUnreadable, msg::kErrorCaption);
    return planned;
  }
  LogValue(u"plug-in package", packagePath);
  // Held and checked before msi.dll parses a byte of it: an elevated process
  // reads no file its publisher did not sign, and nobody can put another
  // file in its place between the decision and the installation.
  planned.code = OpenCheckedFile(check, u"plug-in package", packagePath, plan.file, planned.refused);
  if (planned.refused) {
    planned.notice = FileNotTrustedNotice(packagePath, planned.code, msg::kErrorCaption);
    return planned;
  }
  if (planned.code == 0) planned.code = ReadPackageIdentity(plan.file.runPath, plan.package);
  if (planned.code != 0) {
    LogValue(u"plug-in package: could not be read, error", planned.code);
    planned.notice = NoticeOf(msg::kProductCodeUnreadable, msg::kErrorCaption);
    plan.file.held.reset();
    return planned;
  }
  const PackageIdentity& package = plan.package;
  LogLine({u"plug-in package: ProductCode ", package.productCode, u", UpgradeCode ",
           package.upgradeCode, u", ProductVersion ", package.productVersion});
  if (package.versionResult != 0)
    LogValue(u"plug-in package: ProductVersion unreadable, error", package.versionResult);

  // No related product, or a failed lookup, both leave the code empty: the
  // package is then installed as new.
  const std::uint32_t related = FindRelatedProduct(package.upgradeCode, plan.installedCode);
  if (related == 0)
    LogValue(u"related product", plan.installedCode);
  else
    LogValue(u"related product: none found, error", related);

  // Only a product installed for use is compared, reinstalled or upgraded; an
  // advertised one is installed over like a first installation.
  const int state = platform::MsiQueryProductState(plan.installedCode);
  if (related == 0) LogLine({u"related product: state ", SignedDecimal(state)});
  plan.installed = state == kInstallStateDefault;
  if (!plan.installed) return planned;

  planned = CompareWithInstalled(plan.installedCode, package, plan.comparison);
  if (planned.code != 0) return planned;
  if (plan.comparison == 0 && !reinstall)
    planned.notice = NoticeOf(msg::kReinstallQuestion, msg::kUpdateCaption, platform::kMbYesNo);
  else if (plan.comparison < 0)
    planned.notice = NoticeOf(msg::kNewerInstalled, msg::kUpdateCaption);
  return planned;
}

StepResult InstallPlannedPlugin(const PluginPlan& plan, Answer answer, const WString& extraArguments,
                                bool reinstall, WString& logPath, const InstallerWait& wait) {
  WString arguments = extraArguments;
  // The decision may raise the reinstallation, never lower it.
  bool reinstalling = reinstall;
  if (!plan.installed) {
    LogValue(u"decision", u"first installation");
  } else {
    if (plan.comparison == 0) {
      if (!reinstalling) {
        if (answer == Answer::kNotAsked) {
          LogValue(u"decision", u"the same version is installed; -silent: nothing to do");
          return StepResult();
        }
        if (answer != Answer::kYes) {
          LogValue(u"decision", u"the same version is installed; the reinstallation was declined");
          StepResult declined;
          declined.code = winerror::kInstallUserExit;
          return declined;
        }
        reinstalling = true;
      }
      LogValue(u"decision", u"reinstallation of the same version");
    } else {
      reinstalling = true;
      if (plan.comparison > 0) {
        LogValue(u"decision", u"upgrade of the installed version");
      } else if (answer != Answer::kNotAsked) {
        LogValue(u"decision", u"a newer version is installed; nothing is installed");
        return StepResult();
      } else {
        // A silent run goes on and installs the older package.
        LogValue(u"decision", u"a newer version is installed; -silent installs the package over it");
      }
    }

    const int feature = platform::MsiQueryFeatureState(plan.installedCode, u"NPVEXIS");
    LogLine({u"related product: feature NPVEXIS state ", SignedDecimal(feature)});
    if (feature == kInstallStateAbsent) Prepend(arguments, u" ADDLOCAL=NPVEXIS");
    // With a new product code Windows Installer's own upgrade handling
    // applies; the same code needs the reinstall properties or the installer
    // refuses the package as already installed.
    if (reinstalling && CompareExactly(plan.package.productCode, plan.installedCode) == 0) {
      Prepend(arguments, Contains(arguments, u"/q") ? u"REINSTALL=ALL REINSTALLMODE=vomus"
                                                    : u"REINSTALL=ALL REINSTALLMODE=vomus /qb");
    }
  }

  if (!Contains(arguments, u"/q")) Prepend(arguments, u" /qb");
  return RunInstaller(plan.installedCode, plan.file, arguments, logPath, wait);
}
