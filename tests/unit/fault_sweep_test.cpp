// Every seam call of a whole run made to fail, one at a time: for each
// representative run, the calls of a clean run are listed by name and
// occurrence, and the run is repeated once per call (and per realistic code)
// with exactly that call failing. Whatever fails, the run must end, must not
// report success unless this run's installer put the plug-in in place at the
// package's version, must show no box when silent, must leave the restart
// marker only after an installer restart code, must close every handle it
// opened, and must end its run log with the exit code.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/result_codes.h"
#include "setup/entry_flow.h"
#include "tests/sim/sim_programs.h"
#include "tests/sim/sim_sweep.h"
#include "tests/sim/sim_world.h"

namespace {

const WString kProduct = u"{11111111-2222-3333-4444-555555555555}";
const WString kUpgrade = u"{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}";
const WString kMarker = u"Software\\NeedBstrReboot";
const WString kMsiexec = u"C:\\Windows\\system32\\msiexec.exe";
const WString kWindowsTooOld = u"Установка продукта не возможна на ОС старше Windows 2000.";
const WString kRunLog =
    u"C:\\Users\\op\\AppData\\Local\\Temp\\vexissetup_2014-03-07-09-05-31.log";

// Exit codes of every msiexec.exe run of the current run, in order.
std::vector<std::uint32_t>& MsiexecExits() {
  static std::vector<std::uint32_t> exits;
  return exits;
}

void InstallRecordingMsiexec(std::uint32_t exitCode) {
  const sim::ChildBehaviour inner = sim::FakeMsiexec(exitCode);
  sim::W().programs[kMsiexec] = [inner](const WString& commandLine) {
    const std::uint32_t code = inner(commandLine);
    MsiexecExits().push_back(code);
    return code;
  };
}

bool IsRestartCode(std::uint32_t code) {
  return code == winerror::kSuccessRebootInitiated || code == winerror::kSuccessRebootRequired ||
         code == winerror::kSuccessRestartRequired;
}

struct Scenario {
  const char* name;
  std::vector<WString> arguments;
  WString packageVersion;
  // What the run finds beyond the package: installed products, providers,
  // the installer's exit code.
  std::function<void()> arrange;
  // The clean run, so that the sweep is known to start from the intended run.
  int cleanExit;
  bool cleanInstalled;
};

void Installed(const WString& version) {
  sim::Product product;
  product.upgradeCode = kUpgrade;
  product.version = version;
  product.state = 5;
  product.features[u"NPVEXIS"] = 3;
  product.packageName = u"vexiscom-x64.msi";
  sim::InstallProduct(kProduct, product);
}

// Both providers' Setup.exe in the tree, exiting with the given codes, and
// the plug-in's installer succeeding.
void Providers(std::uint32_t cspExit, std::uint32_t ucspExit) {
  sim::W().programs[u"csp\\Setup.exe"] = sim::ExitWith(cspExit);
  sim::W().programs[u"ucsp\\Setup.exe"] = sim::ExitWith(ucspExit);
  sim::AddFile(u"C:\\dist\\csp\\Setup.exe");
  sim::AddFile(u"C:\\dist\\ucsp\\Setup.exe");
  InstallRecordingMsiexec(0);
}

const Scenario kScenarios[] = {
    {"first install", {}, u"2.0.1", [] { InstallRecordingMsiexec(0); }, 0, true},
    {"first install, silent", {u"-silent"}, u"2.0.1", [] { InstallRecordingMsiexec(0); }, 0, true},
    {"upgrade",
     {},
     u"2.0.10000",
     [] {
       Installed(u"2.0.9999");
       InstallRecordingMsiexec(0);
     },
     0,
     true},
    {"upgrade, silent",
     {u"-silent"},
     u"2.0.10000",
     [] {
       Installed(u"2.0.9999");
       InstallRecordingMsiexec(0);
     },
     0,
     true},
    {"reinstall answered Yes",
     {},
     u"2.0.1",
     [] {
       Installed(u"2.0.1");
       InstallRecordingMsiexec(0);
     },
     0,
     true},
    {"same version, silent, -reinstall",
     {u"-silent", u"-reinstall"},
     u"2.0.1",
     [] {
       Installed(u"2.0.1");
       InstallRecordingMsiexec(0);
     },
     0,
     true},
    {"providers, ucsp fails",
     {u"-csp", u"-ucsp"},
     u"2.0.1",
     [] { Providers(0, 1603); },
     1603,
     false},
    {"providers, ucsp fails, silent",
     {u"-csp", u"-ucsp", u"-silent"},
     u"2.0.1",
     [] { Providers(0, 1603); },
     1603,
     false},
    {"providers, csp cancelled, silent",
     {u"-csp", u"-ucsp", u"-silent"},
     u"2.0.1",
     [] { Providers(1602, 0); },
     0,
     true},
    {"signed distribution, providers, silent",
     {u"-csp", u"-ucsp", u"-silent"},
     u"2.0.1",
     [] {
       Providers(0, 0);
       for (const WString path : {u"C:\\dist\\vexissetup.exe", u"C:\\dist\\csp\\Setup.exe",
                                  u"C:\\dist\\ucsp\\Setup.exe", u"C:\\dist\\x64\\vexiscom-x64.msi"})
         sim::Sign(path, "CN=Vexis", u"Vexis");
     },
     0,
     true},
    {"restart offered", {}, u"2.0.1", [] { InstallRecordingMsiexec(3010); }, 0, true},
    {"restart, silent", {u"-silent"}, u"2.0.1", [] { InstallRecordingMsiexec(3010); }, 0, true},
};

// Names in the call log that are not seam calls of their own and cannot
// fail: the closing of handles.
bool IsSweepable(const std::string& call) {
  static const std::set<std::string> kNotCalls = {"FindClose", "RegCloseKey", "CloseHandle",
                                                  "MsiCloseHandle", "DestroyIcon"};
  return !kNotCalls.count(call) && call.find(':') == std::string::npos;
}

// Realistic failures of each call. For the two state queries the "code" is
// the state they return instead of the real one.
std::vector<std::uint32_t> CodesFor(const std::string& call) {
  static const std::map<std::string, std::vector<std::uint32_t>> kCodes = {
      {"CommandLineToArgvW", {8}},           // not enough memory
      {"FindResourceExW", {1814}},           // resource name not found
      {"FindResourceW", {1814}},
      {"MessageBoxW", {1400}},               // the box could not be shown
      {"IsUserAnAdmin", {5}},
      {"GetVersionExW", {87}},
      {"MsiSetInternalUI", {1627}},
      {"GetModuleHandleW", {126}},           // module not found
      {"LoadLibraryW", {126}},
      {"GetProcAddress", {127}},             // procedure not found
      {"IsWow64Process", {5}},
      {"FindFirstFileW", {5, 3}},            // access denied, path not found
      {"FindNextFileW", {5}},
      {"GetCurrentDirectoryW", {5, 8}},
      {"GetSystemDirectoryW", {5}},
      {"GetEnvironmentVariableW", {203, 8}},
      {"GetFileAttributesW", {5, 2}},
      {"DeleteFileW", {5, 2}},
      {"localtime", {1627}},
      {"GetModuleFileNameW", {122}},         // insufficient buffer
      {"CreateFileW", {80, 5}},              // the name is taken, access denied
      {"WinVerifyTrust", {0x800B0100, 0x80096010, 127}},  // unsigned, changed, no wintrust
      {"WriteFile", {112}},                  // the disk is full
      {"MsiOpenDatabaseW", {110, 1619}},     // open failed, package open failed
      {"MsiDatabaseOpenViewW", {1615, 6}},   // bad query, invalid handle
      {"MsiViewExecute", {1627}},
      {"MsiViewFetch", {1627, 259}},         // function failed, no row
      {"MsiRecordGetStringW", {1627, 6}},
      {"MsiViewClose", {6}},
      {"MsiGetProductInfoW", {1605, 1627}},  // unknown product
      {"MsiEnumRelatedProductsW", {1627, 259}},
      {"MsiQueryProductStateW",
       {static_cast<std::uint32_t>(-1), 1, 2}},  // unknown, advertised, absent
      {"MsiQueryFeatureStateW", {2, static_cast<std::uint32_t>(-1)}},
      {"MsiSourceListClearAllW", {1605, 5}},
      {"MsiSourceListSetInfoW", {1605, 5}},
      {"CreateProcessW", {2, 5, 193}},       // missing, denied, not a program
      {"WaitForSingleObject", {6}},
      {"GetExitCodeProcess", {6}},
      {"RegOpenKeyExW", {5, 2}},
      {"RegCreateKeyExW", {5}},
      {"RegDeleteKeyExW", {5}},
      {"RegDeleteKeyW", {5}},
      {"OpenProcessToken", {5}},
      {"LookupPrivilegeValueW", {1313}},
      {"AdjustTokenPrivileges", {5}},
  };
  const auto it = kCodes.find(call);
  return it != kCodes.end() ? it->second : std::vector<std::uint32_t>{1627};
}

struct Outcome {
  bool ended = true;
  int exitCode = 0;
  bool installed = false;
};

// Builds the scenario's world, applies the faults and runs the bootstrapper.
Outcome RunScenario(const Scenario& scenario, const std::vector<sim::Fault>& faults) {
  sim::Reset();
  MsiexecExits().clear();
  sim::AddPluginPackage(u"x64", u"vexiscom-x64.msi", kProduct, kUpgrade, scenario.packageVersion);
  scenario.arrange();
  std::vector<WString> arguments = scenario.arguments;
  arguments.insert(arguments.begin(), u"C:\\dist\\vexissetup.exe");
  sim::W().commandLine = arguments;
  sim::W().faults = faults;

  Outcome outcome;
  try {
    outcome.exitCode = RunBootstrap(arguments.size() == 1);
  } catch (const sim::CallLimitExceeded&) {
    outcome.ended = false;
  }
  // Installed by this run: a product that was there before does not count,
  // so that a run that ends 0 without installing anything is caught.
  const auto product = sim::W().products.find(kProduct);
  bool installerSucceeded = false;
  for (const std::uint32_t code : MsiexecExits())
    installerSucceeded = installerSucceeded || code == 0 || IsRestartCode(code);
  outcome.installed = installerSucceeded && product != sim::W().products.end() &&
                      product->second.state == 5 && product->second.version == scenario.packageVersion;
  return outcome;
}

bool Silent(const Scenario& scenario) {
  for (const auto& a : scenario.arguments)
    if (a == u"-silent") return true;
  return false;
}

// What went wrong in the run just made, one text per broken rule.
std::vector<std::string> Violations(const Scenario& scenario, const Outcome& outcome) {
  std::vector<std::string> found;
  if (!outcome.ended) {
    found.push_back("did not end: more than " + std::to_string(sim::kDefaultCallLimit) +
                    " seam calls");
    return found;
  }
  if (outcome.exitCode == 0 && !outcome.installed)
    found.push_back("exit code 0 but the plug-in is not installed at " +
                    ToUtf8(scenario.packageVersion));
  if (Silent(scenario)) {
    for (const auto& box : sim::W().boxes) {
      if (box.caption == u"Справка" || box.text == kWindowsTooOld) continue;
      found.push_back("box shown although silent: \"" + ToUtf8(box.text) + "\" / \"" +
                      ToUtf8(box.caption) + "\"");
    }
  }
  bool restartCode = false;
  for (const std::uint32_t code : MsiexecExits()) restartCode = restartCode || IsRestartCode(code);
  for (const auto& key : sim::W().createdKeys)
    if (key == kMarker && !restartCode)
      found.push_back("restart marker created without an installer restart code");
  if (sim::W().restarted && !restartCode)
    found.push_back("Windows restarted without an installer restart code");
  if (!sim::W().openHandles.empty())
    found.push_back(std::to_string(sim::W().openHandles.size()) + " handle(s) left open");
  for (const auto& call : sim::W().calls)
    if (call == "CloseRawHandle:invalid") found.push_back("a handle closed twice or never opened");
  // A log whose writes all succeeded ends with the exit line.
  const std::vector<std::string> log = sim::FileLines(kRunLog);
  bool writeFailed = false;
  for (const sim::Fault& fault : sim::W().faults) writeFailed = writeFailed || fault.call == "WriteFile";
  if (!log.empty() && !writeFailed &&
      log.back().find(" exit code " + std::to_string(static_cast<std::uint32_t>(outcome.exitCode)) +
                      ":") == std::string::npos)
    found.push_back("the run log does not end with the exit code: \"" + log.back() + "\"");
  return found;
}

std::string CodeText(const std::string& call, std::uint32_t code) {
  if (call == "MsiQueryProductStateW" || call == "MsiQueryFeatureStateW")
    return "state " + std::to_string(static_cast<int>(code));
  return std::to_string(code);
}

// Tests that no single failing seam call, in any representative run, makes
// the run hang, report a failure as success, show a box when silent, leave a
// marker without cause or leak a handle.
TEST(FaultSweepTest, EveryFailingCallKeepsTheRunTruthful) {
  struct Row {
    std::string scenario;
    int calls = 0;
    int functions = 0;
    int runs = 0;
    int violations = 0;
  };
  std::vector<Row> table;
  std::vector<std::string> report;

  for (const Scenario& scenario : kScenarios) {
    const Outcome clean = RunScenario(scenario, {});
    ASSERT_TRUE(clean.ended) << scenario.name;
    ASSERT_EQ(clean.exitCode, scenario.cleanExit) << scenario.name;
    ASSERT_EQ(clean.installed, scenario.cleanInstalled) << scenario.name;
    const std::vector<std::string> cleanViolations = Violations(scenario, clean);
    EXPECT_TRUE(cleanViolations.empty()) << scenario.name << ": " << cleanViolations.front();

    // Every call of the clean run, by name and occurrence.
    std::vector<std::pair<std::string, int>> sweep;
    std::map<std::string, int> seen;
    for (const auto& call : sim::W().calls)
      if (IsSweepable(call)) sweep.emplace_back(call, ++seen[call]);

    Row row;
    row.scenario = scenario.name;
    row.calls = static_cast<int>(sweep.size());
    row.functions = static_cast<int>(seen.size());
    for (const auto& [call, occurrence] : sweep) {
      for (const std::uint32_t code : CodesFor(call)) {
        const Outcome outcome = RunScenario(scenario, {{call, occurrence, code}});
        ++row.runs;
        for (const std::string& v : Violations(scenario, outcome)) {
          ++row.violations;
          report.push_back(std::string(scenario.name) + " | " + call + " #" +
                           std::to_string(occurrence) + " fails with " + CodeText(call, code) +
                           " | exit " + std::to_string(outcome.exitCode) + " | " + v);
        }
      }
    }
    table.push_back(row);
  }

  Row total;
  total.scenario = "total";
  std::printf("\n%-34s %6s %9s %6s %10s\n", "scenario", "calls", "functions", "runs",
              "violations");
  for (const Row& row : table) {
    std::printf("%-34s %6d %9d %6d %10d\n", row.scenario.c_str(), row.calls, row.functions,
                row.runs, row.violations);
    total.calls += row.calls;
    total.runs += row.runs;
    total.violations += row.violations;
  }
  std::printf("%-34s %6d %9s %6d %10d\n\n", "total", total.calls, "", total.runs,
              total.violations);
  for (const std::string& line : report) std::printf("VIOLATION %s\n", line.c_str());

  EXPECT_EQ(total.violations, 0) << "see the VIOLATION lines above";
  EXPECT_GT(total.runs, 500) << "the sweep covered less than the runs make";
}

}  // namespace
