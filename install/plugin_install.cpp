#include "install/plugin_install.h"

#include "bootstrap/message_ids.h"
#include "bootstrap/messages.h"
#include "install/run_installer.h"
#include "packages/package_location.h"
#include "packages/product_queries.h"
#include "platform/platform.h"

namespace {

constexpr int kInstallStateDefault = 5;
constexpr int kInstallStateAbsent = 2;
constexpr std::uint32_t kErrorInstallUserExit = 1602;

}  // namespace

std::uint32_t InstallPluginPackage(WString extraArguments, bool silent, WString& logPath,
                                   bool reinstall) {
  // The package is found once: the file whose identity is read, whose
  // version is compared and whose product's source list is prepared is the
  // file installed.
  WString packagePath;
  PackageIdentity package;
  std::uint32_t result = FindPackageFile(u"vexiscom" + SelectArchitecturePattern(), packagePath);
  if (result == 0) result = ReadPackageIdentity(packagePath, package);
  if (result != 0) {
    if (!silent)
      ShowMessage(msg::kProductCodeUnreadable, msg::kErrorCaption, platform::kMbIconError);
    return result;
  }

  // No related product, or a failed lookup, both leave the code empty: the
  // package is then installed as new.
  WString installedCode;
  FindRelatedProduct(package.upgradeCode, installedCode);

  WString& arguments = extraArguments;
  // Only a product installed for use is compared, reinstalled or upgraded; an
  // advertised one is installed over like a first installation.
  if (platform::MsiQueryProductState(installedCode) == kInstallStateDefault) {
    int comparison = 0;
    result = CompareWithInstalled(installedCode, package, comparison, silent);
    if (result != 0) return result;

    if (comparison == 0) {
      if (!reinstall) {
        if (silent) return 0;
        if (ShowMessage(msg::kReinstallQuestion, msg::kUpdateCaption, platform::kMbYesNo) !=
            platform::kIdYes)
          return kErrorInstallUserExit;
        reinstall = true;
      }
    } else {
      reinstall = true;
      // A silent run goes on and installs the older package.
      if (comparison < 0 && !silent) {
        ShowMessage(msg::kNewerInstalled, msg::kUpdateCaption, platform::kMbIconError);
        return 0;
      }
    }

    if (platform::MsiQueryFeatureState(installedCode, u"NPVEXIS") == kInstallStateAbsent)
      Prepend(arguments, u" ADDLOCAL=NPVEXIS");
    // With a new product code Windows Installer's own upgrade handling
    // applies; the same code needs the reinstall properties or the installer
    // refuses the package as already installed.
    if (reinstall && CompareVersionStrings(package.productCode, installedCode) == 0) {
      Prepend(arguments, Contains(arguments, u"/q") ? u"REINSTALL=ALL REINSTALLMODE=vomus"
                                                    : u"REINSTALL=ALL REINSTALLMODE=vomus /qb");
    }
  }

  if (!Contains(arguments, u"/q")) Prepend(arguments, u" /qb");
  return RunInstaller(installedCode, packagePath, arguments, silent, logPath);
}
