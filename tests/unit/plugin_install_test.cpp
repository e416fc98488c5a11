// The plug-in install decision: first installation, reinstallation, upgrade,
// refusal, and the argument text that reaches msiexec.exe.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "bootstrap/message_ids.h"
#include "install/plugin_install.h"
#include "platform/result_codes.h"
#include "tests/sim/sim_programs.h"
#include "tests/sim/sim_world.h"

namespace {

const WString kMsiexec = u"C:\\Windows\\system32\\msiexec.exe";
const WString kPackage = u"C:\\dist\\x64\\vexiscom-x64.msi";
const WString kUpgrade = u"{11111111-2222-3333-4444-555555555555}";
const WString kNewCode = u"{0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D}";
const WString kOldCode = u"{FFEEDDCC-BBAA-4999-8877-665544332211}";
const WString kLog =
    u"C:\\Users\\op\\AppData\\Local\\Temp\\vexiscom-x64.msi_2014-03-07-09-05-31.log";
const WString kHead =
    u"\"C:\\Windows\\system32\\msiexec.exe\" /i \"C:\\dist\\x64\\vexiscom-x64.msi\" /Lv! \"" +
    kLog + u"\" REBOOT=R ";

constexpr int kNotInstalled = 0;  // no related product at all
constexpr int kDefault = 5;       // INSTALLSTATE_DEFAULT
constexpr int kAdvertised = 1;
constexpr int kAbsent = 2;

class PluginInstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    seen.clear();
    sim::W().programs[kMsiexec] = [this](const WString& commandLine) {
      seen.push_back(commandLine);
      sim::WriteNamedLog(commandLine);
      return exitCode;
    };
  }
  void TearDown() override { EXPECT_TRUE(sim::W().openHandles.empty()); }

  // The plug-in as the run drives it: planned, the plan's box answered with
  // `answer` unless silent (a silent run asks nothing), then installed. The
  // box the plan asked for is kept in `asked`.
  StepResult Install(const WString& extra, bool silent, WString& logPath, bool reinstall,
                     int answer = platform::kIdYes, const PublisherCheck& check = PublisherCheck()) {
    PluginPlan plan;
    const StepResult planned = PlanPluginInstallation(check, reinstall, plan);
    asked = planned.notice;
    if (planned.code != 0) return planned;
    Answer given = Answer::kNotAsked;
    if (planned.notice.message != 0 && !silent) given = answer == platform::kIdYes ? Answer::kYes : Answer::kOther;
    return InstallPlannedPlugin(plan, given, extra, reinstall, logPath, InstallerWait());
  }

  Notice asked;

  void AddPackage(const WString& version, const WString& path = kPackage) {
    sim::AddPackage(path, {{u"ProductCode", kNewCode},
                           {u"UpgradeCode", kUpgrade},
                           {u"ProductVersion", version}});
  }

  void Installed(const WString& code, const WString& version, int state, bool featureAbsent) {
    sim::Product product;
    product.upgradeCode = kUpgrade;
    product.version = version;
    product.state = state;
    product.features[u"NPVEXIS"] = featureAbsent ? kAbsent : 3;
    sim::InstallProduct(code, product);
  }

  std::vector<WString> seen;
  std::uint32_t exitCode = 0;
};

struct Row {
  const char* name;
  const char16_t* packageVersion;
  int state;  // of the installed related product, or kNotInstalled
  const char16_t* installedVersion;
  bool sameCode;
  bool featureAbsent;
  bool reinstall;
  bool silent;
  const char16_t* extra;
  int answer;  // to question 147, when asked
  std::uint32_t result;
  int box;               // 0, 147 or 150
  const char16_t* text;  // handed to RunInstaller; nullptr: nothing run
};

constexpr const char16_t* kReinstallQb = u"REINSTALL=ALL REINSTALLMODE=vomus /qb";
constexpr const char16_t* kNone = nullptr;

// Every branch of the decision, silent and not, and the text it hands on.
const Row kRows[] = {
    // name, package, state, installed, same code, feature absent, reinstall, silent, E,
    // answer, result, box, text handed on
    {"first install", u"2.0.10000", kNotInstalled, u"", false, false, false, false, u"", 0, 0, 0,
     u" /qb"},
    {"first install silent", u"2.0.10000", kNotInstalled, u"", false, false, false, true, u"", 0,
     0, 0, u" /qb"},
    {"first install with /qn", u"2.0.10000", kNotInstalled, u"", false, false, false, false,
     u" /qn ", 0, 0, 0, u" /qn "},
    {"first install with upper-case /Q", u"2.0.10000", kNotInstalled, u"", false, false, false,
     false, u" /Q ", 0, 0, 0, u" /qb /Q "},
    {"first install with reinstall flag", u"2.0.10000", kNotInstalled, u"", false, false, true,
     false, u" A=1 ", 0, 0, 0, u" /qb A=1 "},
    {"same version, yes", u"2.0.10000", kDefault, u"2.0.10000", true, false, false, false, u"",
     6, 0, 147, kReinstallQb},
    {"same version, no", u"2.0.10000", kDefault, u"2.0.10000", true, false, false, false, u"", 7,
     1602, 147, kNone},
    {"same version, question closed", u"2.0.10000", kDefault, u"2.0.10000", true, false, false,
     false, u"", 2, 1602, 147, kNone},
    {"same version, silent", u"2.0.10000", kDefault, u"2.0.10000", true, false, false, true, u"",
     0, 0, 0, kNone},
    {"same version, reinstall flag", u"2.0.10000", kDefault, u"2.0.10000", true, false, true,
     false, u"", 0, 0, 0, kReinstallQb},
    {"same version, reinstall flag, silent, /qn", u"2.0.10000", kDefault, u"2.0.10000", true,
     false, true, true, u" /qn ", 0, 0, 0, u"REINSTALL=ALL REINSTALLMODE=vomus /qn "},
    {"same version, reinstall flag, feature absent", u"2.0.10000", kDefault, u"2.0.10000", true,
     true, true, false, u" A=1 ", 0, 0, 0,
     u"REINSTALL=ALL REINSTALLMODE=vomus /qb ADDLOCAL=NPVEXIS A=1 "},
    {"same version, other code, yes", u"2.0.10000", kDefault, u"2.0.10000", false, false, false,
     false, u"", 6, 0, 147, u" /qb"},
    {"same version, other code, reinstall flag", u"2.0.10000", kDefault, u"2.0.10000", false,
     false, true, true, u"", 0, 0, 0, u" /qb"},
    {"upgrade by number, same code", u"2.0.10000", kDefault, u"2.0.9999", true, false, false,
     false, u"", 0, 0, 0, kReinstallQb},
    {"upgrade, same code, silent, /qn", u"2.0.10000", kDefault, u"2.0.9999", true, false, false,
     true, u" /qn ", 0, 0, 0, u"REINSTALL=ALL REINSTALLMODE=vomus /qn "},
    {"upgrade, same code, /Q only", u"2.1", kDefault, u"2.0.9999", true, false, false, false,
     u" /Q ", 0, 0, 0, u"REINSTALL=ALL REINSTALLMODE=vomus /qb /Q "},
    {"upgrade, other code", u"2.0.10000", kDefault, u"2.0.9999", false, false, false, false, u"",
     0, 0, 0, u" /qb"},
    {"upgrade, other code, /quiet", u"3.0", kDefault, u"2.0.9999", false, false, false, false,
     u" /quiet ", 0, 0, 0, u" /quiet "},
    {"upgrade, same code, feature absent", u"2.0.10000", kDefault, u"2.0.9999", true, true,
     false, false, u"", 0, 0, 0, u"REINSTALL=ALL REINSTALLMODE=vomus /qb ADDLOCAL=NPVEXIS"},
    {"upgrade, same code, feature absent, /qn", u"2.0.10000", kDefault, u"2.0.9999", true, true,
     false, false, u" /qn ", 0, 0, 0,
     u"REINSTALL=ALL REINSTALLMODE=vomus ADDLOCAL=NPVEXIS /qn "},
    {"upgrade, other code, feature absent", u"2.0.10000", kDefault, u"2.0.9999", false, true,
     false, false, u"", 0, 0, 0, u" /qb ADDLOCAL=NPVEXIS"},
    {"newer installed", u"2.0.9999", kDefault, u"2.0.10000", true, false, false, false, u"", 0, 0,
     150, kNone},
    {"newer installed, reinstall flag", u"2.0.9999", kDefault, u"2.0.10000", true, false, true,
     false, u"", 0, 0, 150, kNone},
    {"newer installed, silent, same code", u"2.0.9999", kDefault, u"2.0.10000", true, false,
     false, true, u"", 0, 0, 0, kReinstallQb},
    {"newer installed, silent, other code, feature absent", u"2.0.9999", kDefault, u"2.0.10000",
     false, true, false, true, u"", 0, 0, 0, u" /qb ADDLOCAL=NPVEXIS"},
    {"advertised, same version", u"2.0.10000", kAdvertised, u"2.0.10000", true, true, false,
     false, u"", 0, 0, 0, u" /qb"},
    {"absent, newer installed", u"2.0.9999", kAbsent, u"2.0.10000", true, true, true, false,
     u" /qn ", 0, 0, 0, u" /qn "},
};

// Tests every row of the decision: the box shown, the result, and the exact
// command line msiexec.exe gets (or that it is not started at all).
TEST_F(PluginInstallTest, DecisionTable) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    SetUp();
    AddPackage(row.packageVersion);
    const WString installedCode = row.sameCode ? kNewCode : kOldCode;
    if (row.state != kNotInstalled)
      Installed(installedCode, row.installedVersion, row.state, row.featureAbsent);

    WString logPath;
    const StepResult result = Install(row.extra, row.silent, logPath, row.reinstall, row.answer);
    EXPECT_EQ(result.code, row.result);
    EXPECT_EQ(result.notice.message, 0);

    // The box the plan asks for; a silent run does not show it.
    const int box = row.silent ? 0 : row.box;
    EXPECT_EQ(row.silent ? 0 : asked.message, box);
    if (box != 0) {
      EXPECT_EQ(asked.caption, msg::kUpdateCaption);
      EXPECT_EQ(asked.style, box == 147 ? platform::kMbYesNo : platform::kMbIconError);
    }

    if (row.text == kNone) {
      EXPECT_TRUE(seen.empty());
      EXPECT_TRUE(logPath.empty());
      EXPECT_EQ(sim::CallCount("MsiSourceListClearAllW"), 0);
    } else {
      ASSERT_EQ(seen.size(), 1u);
      EXPECT_EQ(ToUtf8(seen[0]), ToUtf8(kHead + row.text));
      EXPECT_EQ(logPath, kLog);
      // The related product's code reaches RunInstaller whatever its state.
      if (row.state != kNotInstalled) {
        EXPECT_EQ(sim::W().products[installedCode].sourceListClears, 1);
        EXPECT_EQ(sim::W().products[installedCode].packageName, u"vexiscom-x64.msi");
      }
    }
    // The package is found and read once, whatever the decision.
    EXPECT_EQ(sim::CallCount("FindFirstFileW"), 2);
    EXPECT_EQ(sim::CallCount("MsiOpenDatabaseW"), 1);
    // Versions and the feature are only asked about for a product in use.
    if (row.state != kDefault) {
      EXPECT_EQ(sim::CallCount("MsiGetProductInfoW"), 0);
      EXPECT_EQ(sim::CallCount("MsiQueryFeatureStateW"), 0);
    }
  }
}

// Tests that the 64-bit package is installed on 64-bit Windows and the 32-bit
// one otherwise, from the same folder, with the log named after it.
TEST_F(PluginInstallTest, PackageByArchitecture) {
  for (bool wow64 : {true, false}) {
    SetUp();
    sim::W().wow64 = wow64;
    AddPackage(u"2.0", u"C:\\dist\\packages\\vexiscom-win32.msi");
    AddPackage(u"2.0", u"C:\\dist\\packages\\vexiscom-x64.msi");
    WString logPath;
    EXPECT_EQ(Install(u"", true, logPath, false).code, 0u);
    ASSERT_EQ(seen.size(), 1u);
    const WString name = wow64 ? u"vexiscom-x64.msi" : u"vexiscom-win32.msi";
    const WString log =
        u"C:\\Users\\op\\AppData\\Local\\Temp\\" + name + u"_2014-03-07-09-05-31.log";
    EXPECT_EQ(ToUtf8(seen[0]),
              ToUtf8(u"\"C:\\Windows\\system32\\msiexec.exe\" /i \"C:\\dist\\packages\\" + name +
                     u"\" /Lv! \"" + log + u"\" REBOOT=R  /qb"));
    EXPECT_EQ(logPath, log);
  }
}

// Tests that the caller's own /l logging leaves the log path empty.
TEST_F(PluginInstallTest, CallersOwnLogLeavesLogPathEmpty) {
  AddPackage(u"2.0.10000");
  WString logPath;
  EXPECT_EQ(Install(u" /l*v C:\\my.log ", false, logPath, false).code, 0u);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(ToUtf8(seen[0]), ToUtf8(u"\"C:\\Windows\\system32\\msiexec.exe\" /i "
                                    u"\"C:\\dist\\x64\\vexiscom-x64.msi\"  REBOOT=R  /qb "
                                    u"/l*v C:\\my.log "));
  EXPECT_TRUE(logPath.empty());
}

// Tests that a package that cannot be found, opened or read stops everything
// with its code and message 151, before anything is asked of Windows
// Installer about installed products.
TEST_F(PluginInstallTest, PackageNotFoundOrUnreadable) {
  struct Case {
    const char* name;
    WString path;  // of the package; empty: none
    const char* fail;
    std::uint32_t code;
  };
  const Case cases[] = {
      {"no package", u"", nullptr, 232},
      {"only the other architecture's", u"C:\\dist\\win32\\vexiscom-win32.msi", nullptr, 232},
      {"path too long for Windows Installer",
       u"C:\\dist\\x64\\vexiscom-x64-" + WString(240, u'9') + u".msi", nullptr, 206},
      {"package held open for writing elsewhere", kPackage, nullptr, 32},
      {"database not opened", kPackage, "MsiOpenDatabaseW", 1619},
      {"ProductCode not read", kPackage, "MsiViewFetch", 1627},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    if (!c.path.empty()) AddPackage(u"2.0.10000", c.path);
    Installed(kNewCode, u"2.0.9999", kDefault, false);
    if (c.fail) sim::FailCall(c.fail, c.code);
    platform::FileHandle writer;
    if (c.code == 32)
      writer = platform::OpenExistingFile(c.path, platform::kGenericWrite, platform::kFileShareRead);
    WString logPath;
    const StepResult result = Install(u"", false, logPath, false);
    EXPECT_EQ(result.code, c.code);
    EXPECT_FALSE(result.refused);
    EXPECT_EQ(asked.message, msg::kProductCodeUnreadable);
    EXPECT_EQ(asked.caption, msg::kErrorCaption);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(sim::CallCount("MsiEnumRelatedProductsW"), 0);
    EXPECT_EQ(sim::CallCount("MsiQueryProductStateW"), 0);
    EXPECT_EQ(sim::W().products[kNewCode].sourceListClears, 0);
  }
}

// Tests the trees where another package matches a looser pattern: a
// provider's own package listed before the plug-in's folder, with that
// provider installed, and the other architecture's package at an older
// version. The decision is made on the file installed, and only the plug-in
// product's source list is touched.
TEST_F(PluginInstallTest, DecidesOnTheFileItInstalls) {
  const WString provider = u"{C5C5C5C5-0000-4000-8000-000000000001}";
  const WString providerFamily = u"{C5C5C5C5-0000-4000-8000-0000000000FF}";
  sim::AddPackage(u"C:\\dist\\csp\\csp-x64-kc1.msi", {{u"ProductCode", provider},
                                                        {u"UpgradeCode", providerFamily},
                                                        {u"ProductVersion", u"5.0"}});
  sim::Product installedProvider;
  installedProvider.upgradeCode = providerFamily;
  installedProvider.version = u"5.0";
  sim::InstallProduct(provider, installedProvider);
  sim::AddPackage(u"C:\\dist\\win32\\vexiscom-win32.msi", {{u"ProductCode", kNewCode},
                                                           {u"UpgradeCode", kUpgrade},
                                                           {u"ProductVersion", u"2.0.9999"}});
  AddPackage(u"2.0.10000");
  Installed(kNewCode, u"2.0.9999", kDefault, false);
  WString logPath;
  EXPECT_EQ(Install(u"", false, logPath, false).code, 0u);
  // An upgrade of the installed plug-in: no question 147, no notice 150.
  EXPECT_EQ(asked.message, 0);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(ToUtf8(seen[0]), ToUtf8(kHead + kReinstallQb));
  EXPECT_EQ(sim::W().products[kNewCode].packageName, u"vexiscom-x64.msi");
  EXPECT_EQ(sim::W().products[provider].sourceListClears, 0);
  EXPECT_EQ(sim::W().products[provider].packageName, u"");
}

// Tests that a failing version comparison stops the run with its code and
// its own box, and nothing is installed: the installed version unreadable
// (131), the package without a version (134). A first installation is never
// judged on the version.
TEST_F(PluginInstallTest, FailedComparisonStopsTheRun) {
  struct Case {
    const char* name;
    bool packageVersion;
    std::uint32_t code;
    std::uint16_t message;
  };
  const Case cases[] = {
      {"installed version unreadable", true, 1610, msg::kInstalledVersionUnreadable},
      {"package without a version", false, 1620, msg::kPackageVersionUnreadable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    if (c.packageVersion)
      AddPackage(u"2.0.10000");
    else
      sim::AddPackage(kPackage, {{u"ProductCode", kNewCode}, {u"UpgradeCode", kUpgrade}});
    Installed(kNewCode, u"2.0.9999", kDefault, false);
    if (c.packageVersion) sim::FailCall("MsiGetProductInfoW", c.code);
    WString logPath;
    EXPECT_EQ(Install(u"", false, logPath, true).code, c.code);
    EXPECT_EQ(asked.message, c.message);
    EXPECT_EQ(asked.caption, msg::kErrorCaption);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(sim::CallCount("MsiQueryFeatureStateW"), 0);
  }
  SetUp();
  sim::AddPackage(kPackage, {{u"ProductCode", kNewCode}, {u"UpgradeCode", kUpgrade}});
  WString logPath;
  EXPECT_EQ(Install(u"", false, logPath, false).code, 0u);
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_EQ(asked.message, 0);
}

// Tests that the installer's own result comes back unchanged, and that
// RunInstaller's failures and messages pass through.
TEST_F(PluginInstallTest, InstallerResultsPassThrough) {
  for (std::uint32_t code : {1602u, 1603u, 1618u}) {
    SetUp();
    exitCode = code;
    AddPackage(u"2.0.10000");
    WString logPath;
    const StepResult result = Install(u"", false, logPath, false);
    EXPECT_EQ(result.code, code);
    EXPECT_EQ(result.notice.message, 0);
    EXPECT_EQ(logPath, kLog);
  }
  SetUp();
  exitCode = 0;
  AddPackage(u"2.0.10000");
  sim::W().environment.erase(u"TMP");
  WString logPath;
  const StepResult result = Install(u"", false, logPath, false);
  EXPECT_EQ(result.code, 203u);
  EXPECT_EQ(result.notice.message, msg::kEnvironmentUnreadable);
  EXPECT_TRUE(seen.empty());
}

// Tests that a restart-requiring success leaves the marker and reads as success.
TEST_F(PluginInstallTest, RestartCodeLeavesMarker) {
  exitCode = 3010;
  AddPackage(u"2.0.10000");
  Installed(kNewCode, u"2.0.9999", kDefault, false);
  WString logPath;
  EXPECT_EQ(Install(u"", true, logPath, false).code, 0u);
  EXPECT_EQ(sim::W().keys.count(u"Software\\NeedBstrReboot"), 1u);
}

// Tests that the package is held and, in a signed run, verified before
// msi.dll reads a byte of it: a package the check refuses is never opened as
// a database, and nothing is asked about installed products; an unsigned
// program verifies nothing but still holds the package.
TEST_F(PluginInstallTest, PackageCheckedBeforeItIsRead) {
  const PublisherCheck kSigned{true, "CN=Vexis"};
  const struct {
    const char* name;
    PublisherCheck check;
    std::function<void()> arrange;
    std::uint32_t code;
  } kRows[] = {
      {"the same publisher", kSigned, [] { sim::Sign(kPackage, "CN=Vexis", u"Vexis"); }, 0},
      {"another publisher", kSigned, [] { sim::Sign(kPackage, "CN=Other", u"Other"); },
       winerror::kTrustSubjectNotTrusted},
      {"changed after signing", kSigned,
       [] {
         sim::Sign(kPackage, "CN=Vexis", u"Vexis");
         ASSERT_EQ(sim::OtherWrites(kPackage, "another package"), 0u);
       },
       winerror::kTrustBadDigest},
      {"not signed", kSigned, [] {}, winerror::kTrustNoSignature},
      {"an unsigned program: nothing verified", PublisherCheck(), [] {}, 0},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    SetUp();
    AddPackage(u"2.0.10000");
    Installed(kNewCode, u"2.0.10000", kDefault, false);
    row.arrange();
    PluginPlan plan;

    const StepResult planned = PlanPluginInstallation(row.check, false, plan);

    EXPECT_EQ(planned.code, row.code);
    EXPECT_EQ(planned.refused, row.code != 0);
    EXPECT_EQ(sim::CallCount("WinVerifyTrust"), row.check.on ? 1 : 0);
    if (row.code != 0) {
      EXPECT_EQ(planned.notice.message, msg::kFileNotTrusted);
      EXPECT_EQ(planned.notice.caption, msg::kErrorCaption);
      EXPECT_EQ(planned.notice.path, kPackage);
      EXPECT_EQ(sim::CallCount("MsiOpenDatabaseW"), 0) << "a refused package was parsed";
      EXPECT_EQ(sim::CallCount("MsiEnumRelatedProductsW"), 0);
      EXPECT_FALSE(sim::IsHeldOpen(kPackage));
    } else {
      // The question comes for the file held, and only for it.
      EXPECT_EQ(planned.notice.message, msg::kReinstallQuestion);
      EXPECT_TRUE(sim::IsHeldOpen(kPackage));
    }
  }
}

// Tests that the package decided on is the package installed: while the
// question waits nobody can write, rename, replace or delete it (a sharing
// violation), and a junction in its path re-pointed after the decision
// changes nothing, because msiexec.exe is handed the held file's final path.
TEST_F(PluginInstallTest, InstallsTheFileDecidedOn) {
  const WString kStore = u"C:\\store\\2.0.9999\\vexiscom-x64.msi";
  const WString kOther = u"C:\\store\\2.0.10000\\vexiscom-x64.msi";
  AddPackage(u"2.0.9999", kStore);
  AddPackage(u"2.0.10000", kOther);
  sim::PointJunction(u"C:\\dist\\x64", u"C:\\store\\2.0.9999");
  Installed(kNewCode, u"2.0.9999", kDefault, false);
  PluginPlan plan;
  const StepResult planned = PlanPluginInstallation(PublisherCheck(), false, plan);
  ASSERT_EQ(planned.notice.message, msg::kReinstallQuestion);

  // What another process tries while question 147 waits.
  EXPECT_EQ(sim::OtherWrites(kPackage, "another package"), 32u);
  EXPECT_EQ(sim::OtherRenames(kPackage, u"C:\\dist\\x64\\old.msi"), 32u);
  EXPECT_EQ(sim::OtherRenames(kOther, kPackage), 32u);
  EXPECT_EQ(sim::OtherDeletes(kPackage), 32u);
  sim::PointJunction(u"C:\\dist\\x64", u"C:\\store\\2.0.10000");

  WString logPath;
  EXPECT_EQ(InstallPlannedPlugin(plan, Answer::kYes, u"", false, logPath, InstallerWait()).code, 0u);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(Contains(seen[0], u" /i \"" + kStore + u"\" ")) << ToUtf8(seen[0]);
  EXPECT_EQ(sim::W().products[kNewCode].packageName, u"vexiscom-x64.msi");
}

}  // namespace
