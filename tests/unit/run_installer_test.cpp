// One run of msiexec.exe: the command line, the log, the source list, the
// exit-code translation and the pending-restart marker.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "bootstrap/message_ids.h"
#include "bootstrap/restart.h"
#include "install/run_installer.h"
#include "tests/sim/sim_programs.h"
#include "tests/sim/sim_world.h"

namespace {

const WString kMsiexec = u"C:\\Windows\\system32\\msiexec.exe";
const WString kPackage = u"C:\\dist\\x64\\vexiscom-x64.msi";
const WString kProduct = u"{0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D}";
const WString kUpgrade = u"{11111111-2222-3333-4444-555555555555}";
const WString kLog =
    u"C:\\Users\\op\\AppData\\Local\\Temp\\vexiscom-x64.msi_2014-03-07-09-05-31.log";
const WString kHead =
    u"\"C:\\Windows\\system32\\msiexec.exe\" /i \"C:\\dist\\x64\\vexiscom-x64.msi\" ";
const WString kMarker = u"Software\\NeedBstrReboot";

class RunInstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::AddPackage(kPackage, {{u"ProductCode", kProduct}, {u"UpgradeCode", kUpgrade},
                               {u"ProductVersion", u"2.0.10000"}});
    SetExitCode(0);
  }
  void TearDown() override { EXPECT_TRUE(sim::W().openHandles.empty()); }

  void SetExitCode(std::uint32_t code) {
    sim::W().programs[kMsiexec] = [this, code](const WString& commandLine) {
      // The log must be known to the caller before the installer runs.
      logAtStart = currentLog ? *currentLog : WString();
      seen.push_back(commandLine);
      sim::WriteNamedLog(commandLine);
      return code;
    };
  }

  // The package held as the plan holds it, then installed; the box the
  // step asks for is kept in `notice`.
  std::uint32_t Run(const WString& productCode, const WString& arguments) {
    currentLog = &logPath;
    CheckedFile package;
    bool refused = false;
    EXPECT_EQ(OpenCheckedFile(PublisherCheck(), u"plug-in package", kPackage, package, refused), 0u);
    const StepResult ran = RunInstaller(productCode, package, arguments, logPath, wait);
    notice = ran.notice;
    return ran.code;
  }

  bool MarkerExists() const { return sim::W().keys.count(kMarker) != 0; }

  void ExpectNotice(std::uint16_t message) const {
    EXPECT_EQ(notice.message, message);
    EXPECT_EQ(notice.caption, message != 0 ? msg::kErrorCaption : 0);
  }

  std::vector<WString> seen;
  WString logPath;
  WString* currentLog = nullptr;
  WString logAtStart;
  Notice notice;
  InstallerWait wait;  // none unless a test asks for one
};

// Tests the whole command line of a first installation: msiexec.exe from the
// system folder, /i on the package, the verbose log named after the package
// file in TMP, REBOOT=R, and the double space in front of the caller's /qb.
TEST_F(RunInstallerTest, ExactCommandLineWithLog) {
  EXPECT_EQ(Run(WString(), u" /qb"), 0u);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(ToUtf8(seen[0]), ToUtf8(kHead + u"/Lv! \"" + kLog + u"\" REBOOT=R  /qb"));
  EXPECT_EQ(logPath, kLog);
  EXPECT_EQ(logAtStart, kLog);
  EXPECT_EQ(sim::W().creationFlags, std::vector<std::uint32_t>{0x08000000u});
  ExpectNotice(0);
  EXPECT_FALSE(MarkerExists());
}

// Tests that msiexec.exe writes its log into a file made here, never through
// a name planted in TMP: a taken name gives the next; a log that cannot be
// created starts nothing and names no log (the run's failure box tells); a
// log msiexec.exe left empty is removed and named nowhere.
TEST_F(RunInstallerTest, LogNamesPlantedInTempAreLeftAlone) {
  const WString stem = kLog.substr(0, kLog.size() - 4);
  sim::PlantFile(kLog, "planted");
  EXPECT_EQ(Run(WString(), u" /qb"), 0u);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(ToUtf8(seen[0]), ToUtf8(kHead + u"/Lv! \"" + stem + u"_2.log\" REBOOT=R  /qb"));
  EXPECT_EQ(logPath, stem + u"_2.log");
  EXPECT_EQ(sim::FileContents(kLog), "planted");

  SetUp();
  seen.clear();
  sim::W().randomFails = true;
  for (const WString suffix : {u".log", u"_2.log", u"_3.log", u"_4.log", u"_5.log"})
    sim::PlantFile(stem + suffix, "planted");
  logPath.clear();
  EXPECT_EQ(Run(WString(), u" /qb"), 80u);
  EXPECT_TRUE(sim::W().started.empty());
  EXPECT_TRUE(logPath.empty());
  ExpectNotice(0);

  SetUp();
  seen.clear();
  sim::W().environment[u"TMP"] = u"C:\\Missing";
  EXPECT_EQ(Run(WString(), u" /qb"), 3u);
  EXPECT_TRUE(seen.empty());
  EXPECT_TRUE(logPath.empty());
  ExpectNotice(0);

  SetUp();
  seen.clear();
  sim::W().programs[kMsiexec] = [this](const WString& commandLine) {
    seen.push_back(commandLine);
    return 1603u;
  };
  EXPECT_EQ(Run(WString(), u" /qb"), 1603u);
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_TRUE(logPath.empty());
  EXPECT_FALSE(sim::FileExists(kLog));
}

// Tests the reinstall text of an installed product as it reaches msiexec.exe.
TEST_F(RunInstallerTest, ExactCommandLineForReinstall) {
  sim::W().now = {2024, 11, 30, 23, 4, 5};
  sim::AddFolder(u"C:\\Temp");
  sim::W().environment[u"TMP"] = u"C:\\Temp\\";
  EXPECT_EQ(Run(kProduct, u"REINSTALL=ALL REINSTALLMODE=vomus /qb ADDLOCAL=NPVEXIS"), 0u);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(ToUtf8(seen[0]),
            ToUtf8(kHead +
                   u"/Lv! \"C:\\Temp\\\\vexiscom-x64.msi_2024-11-30-23-04-05.log\" REBOOT=R "
                   u"REINSTALL=ALL REINSTALLMODE=vomus /qb ADDLOCAL=NPVEXIS"));
}

// Tests that any /l or /L in the caller's text (case-sensitive substrings)
// means the caller's own log: no "/Lv!", no TMP lookup, logPath untouched.
TEST_F(RunInstallerTest, CallersOwnLogging) {
  const char16_t* texts[] = {u" /lv C:\\x.log /qb", u" /l*v C:\\x.log", u" /L*V C:\\x.log",
                             u" /log C:\\x.log", u" PROP=C:/lib"};
  for (const char16_t* text : texts) {
    SetUp();
    seen.clear();
    sim::W().environment.erase(u"TMP");
    logPath = u"caller's";
    EXPECT_EQ(Run(WString(), text), 0u) << ToUtf8(text);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(ToUtf8(seen[0]), ToUtf8(kHead + u" REBOOT=R " + text));
    EXPECT_EQ(logPath, u"caller's");
    EXPECT_EQ(sim::CallCount("GetEnvironmentVariableW"), 0);
    ExpectNotice(0);
  }
}

// Tests that switches that only look like logging still get the log: the
// search is for "/l" and "/L" only.
TEST_F(RunInstallerTest, NoLoggingSwitchGetsTheLog) {
  for (const char16_t* text : {u" /qb", u" /qn /norestart", u" \\l", u" -l"}) {
    SetUp();
    seen.clear();
    logPath.clear();
    EXPECT_EQ(Run(WString(), text), 0u);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(ToUtf8(seen[0]), ToUtf8(kHead + u"/Lv! \"" + kLog + u"\" REBOOT=R " + text));
  }
}

// Tests that an unset or empty TMP stops the run with 203 before anything is
// run, with message 144.
TEST_F(RunInstallerTest, UnreadableTemporaryFolderStopsTheRun) {
  for (bool empty : {false, true}) {
    SetUp();
    seen.clear();
    logPath.clear();
    if (empty)
      sim::W().environment[u"TMP"] = u"";
    else
      sim::W().environment.erase(u"TMP");
    EXPECT_EQ(Run(kProduct, u" /qb"), 203u);
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(logPath.empty());
    EXPECT_EQ(sim::CallCount("GetSystemDirectoryW"), 0);
    EXPECT_EQ(sim::CallCount("MsiSourceListClearAllW"), 0);
    ExpectNotice(msg::kEnvironmentUnreadable);
  }
}

// Tests that a system folder that cannot be read stops the run with the
// call's code (never 0) and message 152; the log made for an installer that
// never started is removed again and named nowhere.
TEST_F(RunInstallerTest, UnreadableSystemFolderStopsTheRun) {
  struct Case {
    std::uint32_t fault;
    std::uint32_t result;
  };
  for (const Case& c : {Case{5, 5}, Case{0, 1627}}) {
    SetUp();
    seen.clear();
    logPath.clear();
    sim::FailCall("GetSystemDirectoryW", c.fault);
    EXPECT_EQ(Run(kProduct, u" /qb"), c.result);
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(logPath.empty());
    EXPECT_FALSE(sim::FileExists(kLog));
    EXPECT_EQ(sim::CallCount("MsiSourceListClearAllW"), 0);
    ExpectNotice(msg::kSystemDirectoryUnreadable);
  }
}

// Tests that a system folder too long for the buffer is a failure, not a
// truncated path, while one that just fits is used whole.
TEST_F(RunInstallerTest, SystemFolderLongerThanTheBuffer) {
  const WString fits = u"C:\\" + WString(255, u'w');  // 258 characters
  sim::W().systemDirectory = fits;
  sim::W().programs[fits + u"\\msiexec.exe"] = [this](const WString& line) {
    seen.push_back(line);
    return 0u;
  };
  EXPECT_EQ(Run(WString(), u" /qb"), 206u);  // process creation refuses msiexec.exe beyond MAX_PATH

  SetUp();
  seen.clear();
  const WString tooLong = fits + u"w";  // 259: needs 260 with its terminator
  sim::W().systemDirectory = tooLong;
  sim::W().programs[tooLong + u"\\msiexec.exe"] = [this](const WString& line) {
    seen.push_back(line);
    return 0u;
  };
  EXPECT_EQ(Run(WString(), u" /qb"), 122u);
  EXPECT_TRUE(seen.empty());
  ExpectNotice(msg::kSystemDirectoryUnreadable);
}

// Tests that the installed product's source list is cleared and pointed at
// the new package's file name before msiexec.exe starts.
TEST_F(RunInstallerTest, PreparesSourceList) {
  sim::Product product;
  product.upgradeCode = kUpgrade;
  product.version = u"2.0.9999";
  product.packageName = u"vexiscom-x64-old.msi";
  sim::InstallProduct(kProduct, product);
  EXPECT_EQ(Run(kProduct, u" /qb"), 0u);
  EXPECT_EQ(sim::W().products[kProduct].sourceListClears, 1);
  EXPECT_EQ(sim::W().products[kProduct].packageName, u"vexiscom-x64.msi");
  const auto& calls = sim::W().calls;
  const auto at = [&](const char* name) {
    return std::find(calls.begin(), calls.end(), name) - calls.begin();
  };
  EXPECT_LT(at("MsiSourceListClearAllW"), at("MsiSourceListSetInfoW"));
  EXPECT_LT(at("MsiSourceListSetInfoW"), at("CreateProcessW"));
}

// Tests that failing source-list calls (an empty product code) do not stop the run.
TEST_F(RunInstallerTest, SourceListFailuresAreIgnored) {
  sim::FailCall("MsiSourceListClearAllW", 1605);
  sim::FailCall("MsiSourceListSetInfoW", 1605);
  EXPECT_EQ(Run(WString(), u" /qb"), 0u);
  EXPECT_EQ(seen.size(), 1u);
}

// Tests the source-hash deletion: only on Windows 5.2, only the product's own file.
TEST_F(RunInstallerTest, SourceHashDeletedOnWindows52Only) {
  struct Case {
    platform::WindowsVersion version;
    bool deleted;
  };
  const WString hash = u"C:\\Windows\\installer\\SourceHash" + kProduct;
  for (const Case& c : {Case{{5, 2, 2}, true}, Case{{5, 1, 3}, false}, Case{{6, 1, 1}, false},
                        Case{{6, 2, 0}, false}}) {
    SetUp();
    sim::AddFile(hash);
    sim::W().version = c.version;
    EXPECT_EQ(Run(kProduct, u" /qb"), 0u);
    EXPECT_EQ(sim::FileExists(hash), !c.deleted) << c.version.major << "." << c.version.minor;
    EXPECT_EQ(sim::CallCount("DeleteFileW"), c.deleted ? 1 : 0);
  }
}

// Tests that on Windows 5.2 nothing is deleted without a product code, and
// that a failing version query deletes nothing either.
TEST_F(RunInstallerTest, SourceHashNotDeletedWithoutProductCode) {
  sim::W().version = {5, 2, 2};
  sim::AddFile(u"C:\\Windows\\installer\\SourceHash");
  EXPECT_EQ(Run(WString(), u" /qb"), 0u);
  EXPECT_EQ(sim::CallCount("DeleteFileW"), 0);
  EXPECT_TRUE(sim::FileExists(u"C:\\Windows\\installer\\SourceHash"));

  SetUp();
  sim::W().version = {5, 2, 2};
  sim::FailCall("GetVersionExW", 87);
  EXPECT_EQ(Run(kProduct, u" /qb"), 0u);
  EXPECT_EQ(sim::CallCount("DeleteFileW"), 0);
}

// Tests the exit-code translation as a table.
TEST(TranslateInstallerExitCodeTest, Table) {
  struct Case {
    std::uint32_t exitCode;
    std::uint32_t result;
    bool restart;
  };
  const Case cases[] = {
      {0, 0, false},         {1641, 0, true},       {3010, 0, true},      {3011, 0, true},
      {1602, 1602, false},   {1603, 1603, false},   {1618, 1618, false},  {1619, 1619, false},
      {1620, 1620, false},   {1638, 1638, false},   {1604, 1604, false},  {1, 1, false},
      {2, 2, false},         {5, 5, false},         {3009, 3009, false},  {3012, 3012, false},
      {1640, 1640, false},   {1642, 1642, false},   {0xFFFFFFFF, 0xFFFFFFFF, false},
  };
  for (const auto& c : cases) {
    bool restart = !c.restart;
    EXPECT_EQ(TranslateInstallerExitCode(c.exitCode, restart), c.result) << c.exitCode;
    EXPECT_EQ(restart, c.restart) << c.exitCode;
  }
}

// Tests the result and the marker for the installer's exit codes.
TEST_F(RunInstallerTest, ExitCodesAndMarker) {
  struct Case {
    std::uint32_t exitCode;
    std::uint32_t result;
    bool marker;
  };
  const Case cases[] = {{0, 0, false},       {1641, 0, true},      {3010, 0, true},
                        {3011, 0, true},     {1602, 1602, false},  {1603, 1603, false},
                        {1618, 1618, false}, {1638, 1638, false}};
  for (const auto& c : cases) {
    SetUp();
    SetExitCode(c.exitCode);
    EXPECT_EQ(Run(kProduct, u" /qb"), c.result) << c.exitCode;
    EXPECT_EQ(MarkerExists(), c.marker) << c.exitCode;
    ExpectNotice(0);
    if (c.marker) {
      EXPECT_EQ(sim::W().keyAccess.back(), 0x2021Fu);
    }
  }
}

// Tests that msiexec.exe that cannot be started gives the creation error and no marker.
TEST_F(RunInstallerTest, InstallerThatCannotStart) {
  sim::W().programs.clear();
  EXPECT_EQ(Run(kProduct, u" /qb"), 2u);
  EXPECT_FALSE(MarkerExists());
  sim::W().programs.clear();
  sim::FailCall("WaitForSingleObject", 6);
  SetExitCode(0);
  EXPECT_EQ(Run(kProduct, u" /qb"), 6u);
}

// Tests that only msiexec's own exit code asks for a restart: a wait whose
// failure code happens to be a restart code is passed up as a failure, with
// no marker.
TEST_F(RunInstallerTest, UnobservedEndIsNoRestart) {
  for (const std::uint32_t error : {1641u, 3010u, 3011u}) {
    SCOPED_TRACE(error);
    SetUp();
    sim::FailCall("GetExitCodeProcess", error);
    EXPECT_EQ(Run(kProduct, u" /qb"), error);
    EXPECT_FALSE(MarkerExists());
  }
}

// Tests that a marker that cannot be created does not turn success into failure.
TEST_F(RunInstallerTest, MarkerFailureIsIgnored) {
  SetExitCode(3010);
  sim::FailCall("RegCreateKeyExW", 5);
  EXPECT_EQ(Run(kProduct, u" /qb"), 0u);
  EXPECT_FALSE(MarkerExists());
}

// Tests the marker's life across runs: created by a restart code, kept by a
// later plain success, gone once cleared, and not created again by exit 0.
TEST_F(RunInstallerTest, MarkerLifeAcrossRuns) {
  SetExitCode(3010);
  ASSERT_EQ(Run(kProduct, u" /qb"), 0u);
  EXPECT_TRUE(IsRestartPending());
  SetExitCode(0);
  ASSERT_EQ(Run(kProduct, u" /qb"), 0u);
  EXPECT_TRUE(IsRestartPending());
  EXPECT_EQ(ClearRestartMarker(), 0u);
  EXPECT_FALSE(IsRestartPending());
  ASSERT_EQ(Run(kProduct, u" /qb"), 0u);
  EXPECT_FALSE(IsRestartPending());
  SetExitCode(1641);
  ASSERT_EQ(Run(kProduct, u" /qb"), 0u);
  EXPECT_TRUE(IsRestartPending());
}

// Tests that msiexec.exe starts only once Windows Installer runs no other
// installation, waiting for its mutex up to the bound: absent or free, at
// once; owned, as soon as it is released (an abandoned one counts); never
// released within the bound, not at all (1618, the source list untouched,
// no log left); a 1618 because another installation started in between is
// waited for and tried again; without access to the mutex, or with -wait 0,
// at once as before.
TEST_F(RunInstallerTest, WaitsForAnotherInstallation) {
  const struct {
    const char* name;
    std::uint32_t bound;
    std::function<void()> arrange;
    std::uint32_t result;
    std::uint32_t startedAt;  // the tick at which msiexec started (0: not started)
    int starts;
  } kRows[] = {
      {"no mutex", 600, [] {}, 0, 5000, 1},
      {"free", 600, [] { sim::W().mutexes[sim::kInstallerMutex].exists = true; }, 0, 5000, 1},
      {"released after 5 s", 600, [] { sim::HoldInstallerMutex(5000); }, 0, 10000, 1},
      {"abandoned after 5 s", 600, [] { sim::HoldInstallerMutex(5000, true); }, 0, 10000, 1},
      {"never released: the bound runs out", 3, [] { sim::HoldInstallerMutex(0); }, 1618, 0, 0},
      {"released after the bound", 3, [] { sim::HoldInstallerMutex(60000); }, 1618, 0, 0},
      {"another installation starts in between",
       600,
       [] {
         sim::W().mutexes[sim::kInstallerMutex].exists = true;
         sim::W().beforeProcessStart = [] {
           sim::HoldInstallerMutex(2000);
           sim::W().beforeProcessStart = nullptr;
         };
       },
       0, 7000, 2},
      {"no access to the mutex", 600,
       [] {
         sim::W().mutexes[sim::kInstallerMutex].exists = true;
         sim::W().mutexes[sim::kInstallerMutex].accessDenied = true;
       },
       0, 5000, 1},
      {"-wait 0", 0, [] { sim::W().mutexes[sim::kInstallerMutex].exists = true; }, 0, 5000, 1},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    SetUp();
    sim::Product product;
    product.upgradeCode = kUpgrade;
    product.version = u"2.0.9999";
    sim::InstallProduct(kProduct, product);
    std::vector<std::uint32_t> startTicks;
    const sim::ChildBehaviour msiexec = sim::FakeMsiexec(0);
    sim::W().programs[kMsiexec] = [&](const WString& commandLine) {
      startTicks.push_back(sim::W().tickCount);
      return msiexec(commandLine);
    };
    row.arrange();
    wait = InstallerWait{row.bound, false};

    EXPECT_EQ(Run(kProduct, u"REINSTALL=ALL REINSTALLMODE=vomus /qb"), row.result);

    ASSERT_EQ(startTicks.size(), static_cast<std::size_t>(row.starts));
    if (row.starts > 0) {
      EXPECT_EQ(startTicks.back(), row.startedAt);
      EXPECT_EQ(sim::W().products[kProduct].version, u"2.0.10000");
    } else {
      EXPECT_EQ(sim::W().products[kProduct].sourceListClears, 0);
      EXPECT_FALSE(sim::FileExists(kLog));
    }
    EXPECT_EQ(sim::CallCount("OpenMutexW"), row.bound == 0 ? 0 : row.starts + (row.starts == 0));
    EXPECT_FALSE(sim::W().mutexes[sim::kInstallerMutex].ownedByRun) << "the run kept Windows Installer's mutex";
  }
}

}  // namespace
