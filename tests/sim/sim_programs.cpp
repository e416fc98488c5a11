#include "tests/sim/sim_programs.h"

#include "platform/result_codes.h"
#include "tests/sim/sim_internal.h"

namespace sim {
namespace {

// The quoted text after `switchText` + one space, or empty; the tripled
// quotes of a provider's -args value count as one.
WString QuotedAfter(const WString& commandLine, const WString& switchText) {
  const auto at = commandLine.find(switchText + u" \"");
  if (at == WString::npos) return WString();
  auto start = at + switchText.size() + 2;
  while (start < commandLine.size() && commandLine[start] == u'"') ++start;
  const auto end = commandLine.find(u'"', start);
  return end == WString::npos ? WString() : commandLine.substr(start, end - start);
}

constexpr std::uint32_t kInstallLogFailure = 1622;  // ERROR_INSTALL_LOG_FAILURE

bool InstallSucceeds(std::uint32_t exitCode) {
  return exitCode == 0 || exitCode == winerror::kSuccessRebootInitiated ||
         exitCode == winerror::kSuccessRebootRequired || exitCode == winerror::kSuccessRestartRequired;
}

}  // namespace

ChildBehaviour FakeMsiexec(std::uint32_t exitCode) {
  return [exitCode](const WString& commandLine) -> std::uint32_t {
    const WString log = QuotedAfter(commandLine, u"/Lv!");
    // A log that cannot be created stops Windows Installer before it starts,
    // with ERROR_FUNCTION_FAILED, as measured under Wine (test_scale.py).
    if (!log.empty() && !DirectoryExists(ParentOf(Absolute(log)))) return winerror::kFunctionFailed;
    // Windows Installer writes its log over whatever the name holds, sharing
    // the file for reading and writing: a handle that refuses that stops it.
    if (WriteNamedLog(commandLine) != 0) return kInstallLogFailure;
    // Another installation running, or the run itself holding Windows
    // Installer: refused before anything is done.
    if (InstallerMutexOwned()) return winerror::kInstallAlreadyRunning;
    const WString package = QuotedAfter(commandLine, u"/i");
    const auto it = W().packages.find(Fold(Absolute(package)));
    if (it == W().packages.end() || OtherReads(package) != 0)
      return 1619;  // ERROR_INSTALL_PACKAGE_OPEN_FAILED
    if (!InstallSucceeds(exitCode)) return exitCode;
    auto& props = it->second.properties;
    // As Windows Installer does: another version of an installed product
    // code is refused unless the command line asks for the reinstallation.
    const auto installed = W().products.find(props[u"ProductCode"]);
    if (installed != W().products.end() && installed->second.version != props[u"ProductVersion"] &&
        !Contains(commandLine, u"REINSTALL="))
      return 1638;  // ERROR_PRODUCT_VERSION
    Product product;
    product.upgradeCode = props[u"UpgradeCode"];
    product.version = props[u"ProductVersion"];
    product.features[u"NPVEXIS"] = 3;
    product.packageName = LeafOf(package);
    InstallProduct(props[u"ProductCode"], product);
    return exitCode;
  };
}

void InstallMsiexec(std::uint32_t exitCode) {
  W().programs[W().systemDirectory + u"\\msiexec.exe"] = FakeMsiexec(exitCode);
}

std::uint32_t WriteNamedLog(const WString& commandLine) {
  const WString log = QuotedAfter(commandLine, u"/Lv!");
  if (log.empty()) return 0;
  // As Wine's Windows Installer does: the old log deleted first (a failure
  // ignored), then the file opened or made again and written.
  OtherDeletes(log);
  if (!FileExists(log)) PlantFile(Absolute(log), std::string());
  return OtherWrites(log, "=== Verbose logging started\r\n");
}

ChildBehaviour ExitWith(std::uint32_t exitCode) {
  return [exitCode](const WString&) { return exitCode; };
}

void AddPluginPackage(const WString& folder, const WString& name, const WString& productCode,
                      const WString& upgradeCode, const WString& version) {
  AddFolder(u"C:\\dist\\" + folder);
  AddPackage(u"C:\\dist\\" + folder + u"\\" + name, {{u"ProductCode", productCode},
                                                      {u"UpgradeCode", upgradeCode},
                                                      {u"ProductVersion", version},
                                                      {u"ProductName", u"Норвикс ЭЦП Browser plug-in"}});
}

void InstallPluginProduct(const WString& productCode, const WString& upgradeCode,
                          const WString& version) {
  Product product;
  product.upgradeCode = upgradeCode;
  product.version = version;
  product.features[u"NPVEXIS"] = 3;
  InstallProduct(productCode, product);
}

}  // namespace sim
