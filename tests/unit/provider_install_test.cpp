#include <gtest/gtest.h>

#include <string>

#include "install/provider_install.h"
#include "setup/entry_flow.h"
#include "platform/platform.h"
#include "tests/sim/sim_world.h"

namespace {

const char16_t kCspLog[] = u"C:\\Users\\op\\AppData\\Local\\Temp\\csp_2014-03-07-09-05-31.log";
const char16_t kUcspLog[] = u"C:\\Users\\op\\AppData\\Local\\Temp\\ucsp_2014-03-07-09-05-31.log";
const char16_t kFailed[] = u"В процессе установки Норвикс CSP возникла ошибка";
const char16_t kEnvironmentUnreadable[] = u"Невозможно узнать значение переменной окружения.";
const char16_t kMarker[] = u"Software\\NeedBstrReboot";

// A provider setup that exits with `code`, and writes its log file when
// asked to (the way a real installer given /Lv! does).
void AddProvider(const WString& folder, std::uint32_t code, const WString& writesLog = WString()) {
  sim::AddFile(u"C:\\dist\\" + folder + u"\\Setup.exe");
  sim::W().programs[folder + u"\\Setup.exe"] = [code, writesLog](const WString&) {
    if (!writesLog.empty()) sim::AddFile(writesLog);
    return code;
  };
}

struct CommandLineCase {
  const char* name;
  const char16_t* folder;
  const char16_t* extra;
  bool silent;
  bool reinstall;
  bool tmpSet;
  const char16_t* expected;
  const char16_t* logPath;  // what the log path out-parameter holds
};

const CommandLineCase kCommandLines[] = {
    {"empty text, no flags", u"csp", u"", false, false, true,
     u"csp\\Setup.exe -args \"/qb /Lv! \"\"\"C:\\Users\\op\\AppData\\Local\\Temp\\"
     u"csp_2014-03-07-09-05-31.log\"\"\" \" -noreboot",
     kCspLog},
    {"both flags, every piece", u"csp", u"LANG=ru", true, true, true,
     u"csp\\Setup.exe -args \"/qb /Lv! \"\"\"C:\\Users\\op\\AppData\\Local\\Temp\\"
     u"csp_2014-03-07-09-05-31.log\"\"\" LANG=ru\" -noreboot -silent -reinstall",
     kCspLog},
    {"reinstall only", u"ucsp", u"", false, true, true,
     u"ucsp\\Setup.exe -args \"/qb /Lv! \"\"\"C:\\Users\\op\\AppData\\Local\\Temp\\"
     u"ucsp_2014-03-07-09-05-31.log\"\"\" \" -noreboot -reinstall",
     kUcspLog},
    {"user's own verbose log", u"csp", u"/L*v C:\\logs\\csp.log", false, false, true,
     u"csp\\Setup.exe -args \"/qb /L*v C:\\logs\\csp.log\" -noreboot", u""},
    {"lower-case log switch", u"csp", u"/l*v x.log", false, false, true,
     u"csp\\Setup.exe -args \"/qb /l*v x.log\" -noreboot", u""},
    {"/lang counts as a log switch", u"csp", u"/lang 1049", false, false, true,
     u"csp\\Setup.exe -args \"/qb /lang 1049\" -noreboot", u""},
    {"/qn keeps its quiet level", u"csp", u"/qn", false, false, true,
     u"csp\\Setup.exe -args \"/Lv! \"\"\"C:\\Users\\op\\AppData\\Local\\Temp\\"
     u"csp_2014-03-07-09-05-31.log\"\"\" /qn\" -noreboot",
     kCspLog},
    {"/QN does not count", u"csp", u"/QN", false, false, true,
     u"csp\\Setup.exe -args \"/qb /Lv! \"\"\"C:\\Users\\op\\AppData\\Local\\Temp\\"
     u"csp_2014-03-07-09-05-31.log\"\"\" /QN\" -noreboot",
     kCspLog},
    {"both switches given", u"csp", u"/qn /L*v C:\\l.log", true, false, true,
     u"csp\\Setup.exe -args \"/qn /L*v C:\\l.log\" -noreboot -silent", u""},
    {"quotes of the user's pass unchanged", u"csp", u"DIR=\"C:\\Program Files\\Р\"", false, false,
     true,
     u"csp\\Setup.exe -args \"/qb /Lv! \"\"\"C:\\Users\\op\\AppData\\Local\\Temp\\"
     u"csp_2014-03-07-09-05-31.log\"\"\" DIR=\"C:\\Program Files\\Р\"\" -noreboot",
     kCspLog},
    {"TMP unset: nothing between the quotes", u"csp", u"", true, false, false,
     u"csp\\Setup.exe -args \"/qb /Lv! \"\"\"\"\"\" \" -noreboot -silent", u""},
};

}  // namespace

// Tests that the Setup.exe command line is built piece by piece as the
// provider's setup expects it, for each kind of extra text and flag.
TEST(BuildProviderCommandLineTest, BuildsEachCase) {
  for (const CommandLineCase& c : kCommandLines) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    if (!c.tmpSet) sim::W().environment.erase(u"TMP");
    WString logPath = u"left over";
    WString line;

    EXPECT_EQ(BuildProviderCommandLine(c.folder, c.extra, c.silent, c.reinstall, logPath, line).code,
              0u);

    EXPECT_EQ(ToUtf8(line), ToUtf8(c.expected));
    EXPECT_EQ(ToUtf8(logPath), ToUtf8(c.logPath));
    // No log path is made when the user brings a log switch.
    const bool logMade = !Contains(c.extra, u"/l") && !Contains(c.extra, u"/L");
    EXPECT_EQ(sim::CallCount("GetEnvironmentVariableW") > 0, logMade);
  }
}

// Tests that the exit codes after which the run goes on are exactly 0, 3, 4,
// 1602 and the two restart-required codes, which alone ask for the restart;
// 1641, a restart already started, stops the run.
TEST(ProviderMayGoOnTest, JudgesExitCodes) {
  const struct {
    std::uint32_t code;
    bool goOn;
    bool restart;
  } kCodes[] = {
      {0, true, false},     {1, false, false},    {2, false, false},    {3, true, false},
      {4, true, false},     {5, false, false},    {1601, false, false}, {1602, true, false},
      {1603, false, false}, {1618, false, false}, {1641, false, false}, {3010, true, true},
      {3011, true, true},   {3012, false, false}, {0xFFFFFFFF, false, false},
      {0x80000003, false, false},
  };
  for (const auto& row : kCodes) {
    SCOPED_TRACE(row.code);
    bool restart = !row.restart;
    EXPECT_EQ(ProviderMayGoOn(row.code, restart), row.goOn);
    EXPECT_EQ(restart, row.restart);
  }
}

// Tests that the run goes on without any box after each go-on code of
// either provider, that the setup ran exactly once with the built command
// line, and that only the restart-required codes leave the marker.
TEST(InstallProviderTest, GoOnCodesGiveZeroWithoutBox) {
  for (const WString folder : {u"csp", u"ucsp"}) {
    for (const std::uint32_t code : {0u, 3u, 4u, 1602u, 3010u, 3011u}) {
      SCOPED_TRACE(ToUtf8(folder) + " " + std::to_string(code));
      sim::Reset();
      AddProvider(folder, code, folder == u"csp" ? kCspLog : kUcspLog);

      EXPECT_EQ(InstallProvider(folder, u"", false, false), 0u);

      EXPECT_TRUE(sim::W().boxes.empty());
      ASSERT_EQ(sim::W().started.size(), 1u);
      EXPECT_EQ(ToUtf8(sim::W().started[0]),
                ToUtf8(folder + u"\\Setup.exe -args \"/qb /Lv! \"\"\"C:\\Users\\op\\AppData\\Local\\Temp\\" +
                       folder + u"_2014-03-07-09-05-31.log\"\"\" \" -noreboot"));
      // Started by the path of the file held and checked, the one beside the program.
      EXPECT_EQ(ToUtf8(sim::W().startedApplications[0]), ToUtf8(u"C:\\dist\\" + folder + u"\\Setup.exe"));
      EXPECT_EQ(sim::W().keys.count(kMarker), code >= 3010 ? 1u : 0u);
      EXPECT_TRUE(sim::W().openHandles.empty());
    }
  }
}

// Tests that 1641 is a failure here: the box names the code and the log
// that the setup wrote, under an empty caption with the error icon, and no
// restart is marked.
TEST(InstallProviderTest, FailureShowsCodeAndLog) {
  sim::Reset();
  AddProvider(u"csp", 1641, kCspLog);

  EXPECT_EQ(InstallProvider(u"csp", u"", false, false), 1641u);

  ASSERT_EQ(sim::W().boxes.size(), 1u);
  EXPECT_EQ(ToUtf8(sim::W().boxes[0].text),
            ToUtf8(WString(kFailed) + u": 1641.\nInstall log: " + kCspLog));
  EXPECT_EQ(sim::W().boxes[0].caption, u"");
  EXPECT_EQ(sim::W().boxes[0].style, platform::kMbIconError);
  EXPECT_EQ(sim::W().keys.count(kMarker), 0u);
  EXPECT_TRUE(sim::W().openHandles.empty());
}

// Tests that the log line is left out when there is no log file: TMP names
// a missing folder, so none could be created and the setup wrote none.
TEST(InstallProviderTest, FailureWithoutLogFileEndsAfterCode) {
  sim::Reset();
  sim::W().environment[u"TMP"] = u"C:\\Missing";
  AddProvider(u"ucsp", 1603);

  EXPECT_EQ(InstallProvider(u"ucsp", u"", false, false), 1603u);

  ASSERT_EQ(sim::W().started.size(), 1u);
  EXPECT_TRUE(Contains(sim::W().started[0], u"C:\\Missing\\ucsp_2014-03-07-09-05-31.log"));
  ASSERT_EQ(sim::W().boxes.size(), 1u);
  // The ucsp provider's failure has the same wording as the csp one's.
  EXPECT_EQ(ToUtf8(sim::W().boxes[0].text), ToUtf8(WString(kFailed) + u": 1603.\n"));
}

// Tests that a provider whose log names are all taken in TMP is not started:
// the failure box with 80 and no log line, and the planted files untouched.
TEST(InstallProviderTest, AllLogNamesTakenStartsNothing) {
  sim::Reset();
  AddProvider(u"csp", 0, kCspLog);
  const WString stem = WString(kCspLog).substr(0, WString(kCspLog).size() - 4);
  for (const WString suffix : {u".log", u"_2.log", u"_3.log", u"_4.log", u"_5.log"})
    sim::PlantFile(stem + suffix, "planted");

  EXPECT_EQ(InstallProvider(u"csp", u"", false, false), 80u);

  EXPECT_TRUE(sim::W().started.empty());
  ASSERT_EQ(sim::W().boxes.size(), 1u);
  EXPECT_EQ(ToUtf8(sim::W().boxes[0].text), ToUtf8(WString(kFailed) + u": 80.\n"));
  EXPECT_EQ(sim::FileContents(kCspLog), "planted");
}

// Tests that a log of the user's own choosing is never named in the box:
// the bootstrapper made no log path, so it has none to show.
TEST(InstallProviderTest, UserLogSwitchGivesNoLogLine) {
  sim::Reset();
  sim::AddFile(u"C:\\logs\\csp.log");
  AddProvider(u"csp", 1603, u"C:\\logs\\csp.log");

  EXPECT_EQ(InstallProvider(u"csp", u"/L*v C:\\logs\\csp.log", false, false), 1603u);

  ASSERT_EQ(sim::W().boxes.size(), 1u);
  EXPECT_EQ(ToUtf8(sim::W().boxes[0].text), ToUtf8(WString(kFailed) + u": 1603.\n"));
}

// Tests that a silent failure shows nothing, passes -silent to the setup and
// returns the code unchanged.
TEST(InstallProviderTest, SilentFailureShowsNothing) {
  sim::Reset();
  AddProvider(u"csp", 1603, kCspLog);

  EXPECT_EQ(InstallProvider(u"csp", u"", true, true), 1603u);

  EXPECT_TRUE(sim::W().boxes.empty());
  ASSERT_EQ(sim::W().started.size(), 1u);
  EXPECT_TRUE(Contains(sim::W().started[0], u"\" -noreboot -silent -reinstall"));
}

// Tests that without TMP the setup still runs with an empty log name, the
// environment failure box comes first, and the failure box has no log line.
TEST(InstallProviderTest, NoTempDirectoryStillRunsTheSetup) {
  sim::Reset();
  sim::W().environment.erase(u"TMP");
  AddProvider(u"csp", 1603);

  EXPECT_EQ(InstallProvider(u"csp", u"", false, false), 1603u);

  ASSERT_EQ(sim::W().started.size(), 1u);
  EXPECT_EQ(ToUtf8(sim::W().started[0]),
            ToUtf8(u"csp\\Setup.exe -args \"/qb /Lv! \"\"\"\"\"\" \" -noreboot"));
  ASSERT_EQ(sim::W().boxes.size(), 2u);
  EXPECT_EQ(ToUtf8(sim::W().boxes[0].text), ToUtf8(kEnvironmentUnreadable));
  EXPECT_EQ(ToUtf8(sim::W().boxes[1].text), ToUtf8(WString(kFailed) + u": 1603.\n"));
}

// Tests that a Setup.exe that cannot be found stops the run with the start
// failure code, including when process creation reports the missing folder
// as 3, which a provider that ran could also give as a go-on exit code; a
// start failure never marks a restart.
TEST(InstallProviderTest, MissingSetupStopsTheRun) {
  for (const std::uint32_t error : {2u, 3u, 4u, 5u, 3010u}) {
    SCOPED_TRACE(error);
    sim::Reset();
    sim::W().missingProgramError = error;

    EXPECT_EQ(InstallProvider(u"csp", u"", false, false), error);

    EXPECT_TRUE(sim::W().started.empty());
    ASSERT_EQ(sim::W().boxes.size(), 1u);
    // The log file was made before the start failed: it is named, empty.
    EXPECT_EQ(ToUtf8(sim::W().boxes[0].text),
              ToUtf8(WString(kFailed) + u": " + Widen(std::to_string(error).c_str()) +
                     u".\nInstall log: " + kCspLog));
    EXPECT_EQ(sim::W().keys.count(kMarker), 0u);
  }
}

// Tests that a Setup.exe whose end cannot be observed stops the run and
// marks no restart, even when the failing call's code is one of the go-on
// exit codes.
TEST(InstallProviderTest, UnobservedEndStopsTheRun) {
  for (const char* call : {"WaitForSingleObject", "GetExitCodeProcess"}) {
    for (const std::uint32_t error : {3u, 4u, 3010u}) {
      SCOPED_TRACE(std::string(call) + " " + std::to_string(error));
      sim::Reset();
      AddProvider(u"csp", 0, kCspLog);
      sim::FailCall(call, error);

      EXPECT_EQ(InstallProvider(u"csp", u"", true, false), error);
      EXPECT_EQ(sim::W().started.size(), 1u);
      EXPECT_TRUE(sim::W().boxes.empty());
      EXPECT_EQ(sim::W().keys.count(kMarker), 0u);
    }
  }
}

// Tests that the box still carries the code and the log line when message
// 105 cannot be loaded.
TEST(InstallProviderTest, UnloadableMessageLeavesCodeAndLog) {
  sim::Reset();
  sim::W().stringBlocks.erase(105 / 16 + 1);
  AddProvider(u"csp", 1603, kCspLog);

  EXPECT_EQ(InstallProvider(u"csp", u"", false, false), 1603u);

  ASSERT_EQ(sim::W().boxes.size(), 1u);
  EXPECT_EQ(ToUtf8(sim::W().boxes[0].text),
            ToUtf8(WString(u": 1603.\nInstall log: ") + kCspLog));
}
