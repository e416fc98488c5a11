// The plug-in install decision: first installation, reinstallation, upgrade,
// refusal, and the argument text that reaches msiexec.exe.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/plugin_install.h"
#include "setup/entry_flow.h"
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
const WString kReinstallQuestion =
    u"Эта версия Норвикс ЭЦП Browser plug-in уже установлена. Переустановить?";
const WString kNewerInstalled = u"Более новая версия Норвикс ЭЦП Browser plug-in уже установлена.";
const WString kUpdateCaption = u"Обновление";
const WString kErrorCaption = u"Ошибка";

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
      return exitCode;
    };
  }
  void TearDown() override { EXPECT_TRUE(sim::W().openHandles.empty()); }

  void AddPackage(const WString& version, const WString& path = kPackage) {
    sim::AddPackage(path, {{u"ProductCode", kNewCode},
                           {u"UpgradeCode", kUpgrade},
                           {u"ProductVersion", version}});
  }

  void Install(const WString& code, const WString& version, int state, bool featureAbsent) {
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
      Install(installedCode, row.installedVersion, row.state, row.featureAbsent);
    if (row.answer) sim::W().answers.push_back(row.answer);

    WString logPath;
    EXPECT_EQ(InstallPluginPackage(row.extra, row.silent, logPath, row.reinstall), row.result);

    const auto& boxes = sim::W().boxes;
    if (row.box == 0) {
      EXPECT_TRUE(boxes.empty());
    } else {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].caption, kUpdateCaption);
      if (row.box == 147) {
        EXPECT_EQ(boxes[0].text, kReinstallQuestion);
        EXPECT_EQ(boxes[0].style, 0x4u);
      } else {
        EXPECT_EQ(boxes[0].text, kNewerInstalled);
        EXPECT_EQ(boxes[0].style, 0x10u);
      }
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
    EXPECT_EQ(InstallPluginPackage(u"", true, logPath, false), 0u);
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
  EXPECT_EQ(InstallPluginPackage(u" /l*v C:\\my.log ", false, logPath, false), 0u);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(ToUtf8(seen[0]), ToUtf8(u"\"C:\\Windows\\system32\\msiexec.exe\" /i "
                                    u"\"C:\\dist\\x64\\vexiscom-x64.msi\"  REBOOT=R  /qb "
                                    u"/l*v C:\\my.log "));
  EXPECT_TRUE(logPath.empty());
}

// Tests that a package that cannot be found or read stops everything with its
// code, after message 151 unless silent, before anything is asked of Windows
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
      {"database not opened", kPackage, "MsiOpenDatabaseW", 1619},
      {"ProductCode not read", kPackage, "MsiViewFetch", 1627},
  };
  for (const Case& c : cases) {
    for (bool silent : {false, true}) {
      SCOPED_TRACE(c.name);
      SetUp();
      if (!c.path.empty()) AddPackage(u"2.0.10000", c.path);
      Install(kNewCode, u"2.0.9999", kDefault, false);
      if (c.fail) sim::FailCall(c.fail, c.code);
      WString logPath;
      EXPECT_EQ(InstallPluginPackage(u"", silent, logPath, false), c.code);
      EXPECT_TRUE(seen.empty());
      EXPECT_EQ(sim::CallCount("MsiEnumRelatedProductsW"), 0);
      EXPECT_EQ(sim::CallCount("MsiQueryProductStateW"), 0);
      EXPECT_EQ(sim::W().products[kNewCode].sourceListClears, 0);
      if (silent) {
        EXPECT_TRUE(sim::W().boxes.empty());
      } else {
        ASSERT_EQ(sim::W().boxes.size(), 1u);
        EXPECT_EQ(sim::W().boxes[0].text, u"Невозможно найти ProductCode msi-пакета.");
        EXPECT_EQ(sim::W().boxes[0].caption, kErrorCaption);
        EXPECT_EQ(sim::W().boxes[0].style, 0x10u);
      }
    }
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
  Install(kNewCode, u"2.0.9999", kDefault, false);
  WString logPath;
  EXPECT_EQ(InstallPluginPackage(u"", false, logPath, false), 0u);
  // An upgrade of the installed plug-in: no question 147, no notice 150.
  EXPECT_TRUE(sim::W().boxes.empty());
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(ToUtf8(seen[0]), ToUtf8(kHead + kReinstallQb));
  EXPECT_EQ(sim::W().products[kNewCode].packageName, u"vexiscom-x64.msi");
  EXPECT_EQ(sim::W().products[provider].sourceListClears, 0);
  EXPECT_EQ(sim::W().products[provider].packageName, u"");
}

// Tests that a failing version comparison stops the run with its code, with
// its own box only (none when silent), and nothing is installed: the
// installed version unreadable (131), the package without a version (134).
// A first installation is never judged on the version.
TEST_F(PluginInstallTest, FailedComparisonStopsTheRun) {
  struct Case {
    const char* name;
    bool packageVersion;
    std::uint32_t code;
    const char16_t* text;
  };
  const Case cases[] = {
      {"installed version unreadable", true, 1610,
       u"Невозможно узнать версию установленного msi-пакета."},
      {"package without a version", false, 1620, u"Невозможно узнать версию нового msi-пакета."},
  };
  for (const Case& c : cases) {
    for (bool silent : {false, true}) {
      SCOPED_TRACE(c.name);
      SetUp();
      if (c.packageVersion)
        AddPackage(u"2.0.10000");
      else
        sim::AddPackage(kPackage, {{u"ProductCode", kNewCode}, {u"UpgradeCode", kUpgrade}});
      Install(kNewCode, u"2.0.9999", kDefault, false);
      if (c.packageVersion) sim::FailCall("MsiGetProductInfoW", c.code);
      WString logPath;
      EXPECT_EQ(InstallPluginPackage(u"", silent, logPath, true), c.code);
      EXPECT_TRUE(seen.empty());
      EXPECT_EQ(sim::CallCount("MsiQueryFeatureStateW"), 0);
      if (silent) {
        EXPECT_TRUE(sim::W().boxes.empty());
      } else {
        ASSERT_EQ(sim::W().boxes.size(), 1u);
        EXPECT_EQ(sim::W().boxes[0].text, c.text);
      }
    }
  }
  SetUp();
  sim::AddPackage(kPackage, {{u"ProductCode", kNewCode}, {u"UpgradeCode", kUpgrade}});
  WString logPath;
  EXPECT_EQ(InstallPluginPackage(u"", false, logPath, false), 0u);
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_TRUE(sim::W().boxes.empty());
}

// Tests that the installer's own result comes back unchanged, and that
// RunInstaller's failures and messages pass through.
TEST_F(PluginInstallTest, InstallerResultsPassThrough) {
  for (std::uint32_t code : {1602u, 1603u, 1618u}) {
    SetUp();
    exitCode = code;
    AddPackage(u"2.0.10000");
    WString logPath;
    EXPECT_EQ(InstallPluginPackage(u"", false, logPath, false), code);
    EXPECT_EQ(logPath, kLog);
    EXPECT_TRUE(sim::W().boxes.empty());
  }
  SetUp();
  exitCode = 0;
  AddPackage(u"2.0.10000");
  sim::W().environment.erase(u"TMP");
  WString logPath;
  EXPECT_EQ(InstallPluginPackage(u"", false, logPath, false), 203u);
  EXPECT_TRUE(seen.empty());
  ASSERT_EQ(sim::W().boxes.size(), 1u);
  EXPECT_EQ(sim::W().boxes[0].text, u"Невозможно узнать значение переменной окружения.");
}

// Tests that a restart-requiring success leaves the marker and reads as success.
TEST_F(PluginInstallTest, RestartCodeLeavesMarker) {
  exitCode = 3010;
  AddPackage(u"2.0.10000");
  Install(kNewCode, u"2.0.9999", kDefault, false);
  WString logPath;
  EXPECT_EQ(InstallPluginPackage(u"", true, logPath, false), 0u);
  EXPECT_EQ(sim::W().keys.count(u"Software\\NeedBstrReboot"), 1u);
}

}  // namespace
