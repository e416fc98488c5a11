#include "install/plugin_install.h"

#include "bootstrap/message_ids.h"
#include "bootstrap/messages.h"
#include "bootstrap/run_log.h"
#include "install/run_installer.h"
#include "packages/package_location.h"
#include "packages/product_queries.h"
#include "platform/platform.h"
#include "platform/result_codes.h"

namespace {

constexpr int kInstallStateDefault = 5;
constexpr int kInstallStateAbsent = 2;

}  // namespace

std::uint32_t InstallPluginPackage(WString extraArguments, bool silent, WString& logPath,
                                   bool reinstall, const PublisherCheck& publisher) {
  // The package is found once: the file whose identity is read, whose
  // version is compared and whose product's source list is prepared is the
  // file installed.
  const WindowsArchitecture windows = DetectWindowsArchitecture();
  const WString architecture = ArchitecturePattern(windows);
  LogLine({u"WOW64: ",
           windows == WindowsArchitecture::kWow64          ? u"yes"
           : windows == WindowsArchitecture::k64BitProcess ? u"no, a 64-bit process on 64-bit Windows"
                                                           : u"no",
           u"; plug-in package pattern vexiscom", architecture, u".msi"});
  WString packagePath;
  PackageIdentity package;
  std::uint32_t result = FindPackageFile(u"vexiscom" + architecture, packagePath);
  if (result == 0) {
    LogValue(u"plug-in package", packagePath);
    result = ReadPackageIdentity(packagePath, package);
    if (result != 0) LogValue(u"plug-in package: could not be read, error", result);
  } else {
    LogValue(u"plug-in package: none usable found, error", result);
  }
  if (result != 0) {
    ShowMessageUnlessSilent(silent, msg::kProductCodeUnreadable, msg::kErrorCaption,
                            platform::kMbIconError);
    return result;
  }
  LogLine({u"plug-in package: ProductCode ", package.productCode, u", UpgradeCode ",
           package.upgradeCode, u", ProductVersion ", package.productVersion});
  if (package.versionResult != 0)
    LogValue(u"plug-in package: ProductVersion unreadable, error", package.versionResult);

  // No related product, or a failed lookup, both leave the code empty: the
  // package is then installed as new.
  WString installedCode;
  const std::uint32_t related = FindRelatedProduct(package.upgradeCode, installedCode);
  if (related == 0)
    LogValue(u"related product", installedCode);
  else
    LogValue(u"related product: none found, error", related);

  WString& arguments = extraArguments;
  // Only a product installed for use is compared, reinstalled or upgraded; an
  // advertised one is installed over like a first installation.
  const int state = platform::MsiQueryProductState(installedCode);
  if (related == 0) LogLine({u"related product: state ", SignedDecimal(state)});
  if (state != kInstallStateDefault) {
    LogValue(u"decision", u"first installation");
  } else {
    int comparison = 0;
    result = CompareWithInstalled(installedCode, package, comparison, silent);
    if (result != 0) return result;

    if (comparison == 0) {
      if (!reinstall) {
        if (silent) {
          LogValue(u"decision", u"the same version is installed; -silent: nothing to do");
          return 0;
        }
        if (ShowMessage(msg::kReinstallQuestion, msg::kUpdateCaption, platform::kMbYesNo) !=
            platform::kIdYes) {
          LogValue(u"decision", u"the same version is installed; the reinstallation was declined");
          return winerror::kInstallUserExit;
        }
        reinstall = true;
      }
      LogValue(u"decision", u"reinstallation of the same version");
    } else {
      reinstall = true;
      if (comparison > 0) {
        LogValue(u"decision", u"upgrade of the installed version");
      } else if (!silent) {
        ShowMessage(msg::kNewerInstalled, msg::kUpdateCaption, platform::kMbIconError);
        LogValue(u"decision", u"a newer version is installed; nothing is installed");
        return 0;
      } else {
        // A silent run goes on and installs the older package.
        LogValue(u"decision", u"a newer version is installed; -silent installs the package over it");
      }
    }

    const int feature = platform::MsiQueryFeatureState(installedCode, u"NPVEXIS");
    LogLine({u"related product: feature NPVEXIS state ", SignedDecimal(feature)});
    if (feature == kInstallStateAbsent) Prepend(arguments, u" ADDLOCAL=NPVEXIS");
    // With a new product code Windows Installer's own upgrade handling
    // applies; the same code needs the reinstall properties or the installer
    // refuses the package as already installed.
    if (reinstall && CompareExactly(package.productCode, installedCode) == 0) {
      Prepend(arguments, Contains(arguments, u"/q") ? u"REINSTALL=ALL REINSTALLMODE=vomus"
                                                    : u"REINSTALL=ALL REINSTALLMODE=vomus /qb");
    }
  }

  if (!Contains(arguments, u"/q")) Prepend(arguments, u" /qb");
  return RunInstaller(installedCode, packagePath, arguments, silent, logPath, publisher);
}
