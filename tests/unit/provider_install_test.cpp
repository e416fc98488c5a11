#include <gtest/gtest.h>

#include <string>

#include "bootstrap/message_ids.h"
#include "install/provider_install.h"
#include "platform/platform.h"
#include "platform/result_codes.h"
#include "tests/sim/sim_programs.h"
#include "tests/sim/sim_world.h"

namespace {

const char16_t kCspLog[] = u"C:\\Users\\op\\AppData\\Local\\Temp\\csp_2014-03-07-09-05-31.log";
const char16_t kUcspLog[] = u"C:\\Users\\op\\AppData\\Local\\Temp\\ucsp_2014-03-07-09-05-31.log";
const char16_t kMarker[] = u"Software\\NeedBstrReboot";

// A provider setup that exits with `code`, and writes the log its /Lv!
// switch names when writesLog (the way a real installer does).
void AddProvider(const WString& folder, std::uint32_t code, bool writesLog = true) {
  sim::AddFile(u"C:\\dist\\" + folder + u"\\Setup.exe");
  sim::W().programs[folder + u"\\Setup.exe"] = [code, writesLog](const WString& commandLine) {
    if (writesLog) sim::WriteNamedLog(commandLine);
    return code;
  };
}

// The provider step as the run takes it: its Setup.exe opened and checked,
// its command line and log made, then started. The boxes the steps ask for
// are kept in order; the result is the last step's.
StepResult Provide(const WString& folder, const WString& extra, bool silent, bool reinstall,
                   std::vector<Notice>& notices, const PublisherCheck& check = PublisherCheck(),
                   const InstallerWait& wait = InstallerWait()) {
  CheckedFile setup;
  StepResult step = OpenProviderSetup(check, folder, setup);
  if (step.notice.message != 0) notices.push_back(step.notice);
  if (step.code != 0) return step;
  InstallerLog log;
  WString commandLine;
  step = BuildProviderCommandLine(folder, extra, silent, reinstall, log, commandLine);
  if (step.notice.message != 0) notices.push_back(step.notice);
  if (step.code != 0) return step;
  step = StartProvider(folder, commandLine, setup, log, wait);
  if (step.notice.message != 0) notices.push_back(step.notice);
  return step;
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
    InstallerLog log;
    WString line;

    EXPECT_EQ(BuildProviderCommandLine(c.folder, c.extra, c.silent, c.reinstall, log, line).code,
              0u);

    EXPECT_EQ(ToUtf8(line), ToUtf8(c.expected));
    EXPECT_EQ(ToUtf8(log.path), ToUtf8(c.logPath));
    EXPECT_EQ(log.made, !log.path.empty());
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
// line, from the Setup.exe held and checked, and that only the
// restart-required codes leave the marker.
TEST(ProviderStepTest, GoOnCodesGoOnWithoutBox) {
  for (const WString folder : {u"csp", u"ucsp"}) {
    for (const std::uint32_t code : {0u, 3u, 4u, 1602u, 3010u, 3011u}) {
      SCOPED_TRACE(ToUtf8(folder) + " " + std::to_string(code));
      sim::Reset();
      AddProvider(folder, code);
      std::vector<Notice> notices;

      EXPECT_EQ(Provide(folder, u"", false, false, notices).code, 0u);

      EXPECT_TRUE(notices.empty());
      ASSERT_EQ(sim::W().started.size(), 1u);
      EXPECT_EQ(ToUtf8(sim::W().started[0]),
                ToUtf8(folder + u"\\Setup.exe -args \"/qb /Lv! \"\"\"C:\\Users\\op\\AppData\\Local\\Temp\\" +
                       folder + u"_2014-03-07-09-05-31.log\"\"\" \" -noreboot"));
      // Started from the final path of the file held and checked, suspended
      // until its image was known to be that file.
      EXPECT_EQ(ToUtf8(sim::W().startedApplications[0]), ToUtf8(u"C:\\dist\\" + folder + u"\\Setup.exe"));
      EXPECT_EQ(sim::W().creationFlags[0], platform::kCreateNoWindow | platform::kCreateSuspended);
      EXPECT_EQ(sim::W().keys.count(kMarker), code >= 3010 ? 1u : 0u);
      EXPECT_TRUE(sim::W().openHandles.empty());
    }
  }
}

// Tests what a failing provider asks the run to show: message 105 without a
// caption, the code, and the log only when the setup wrote one; an empty log
// is removed. 1641 is a failure here and marks no restart.
TEST(ProviderStepTest, FailureBoxNamesOnlyAWrittenLog) {
  const struct {
    const char* name;
    std::uint32_t code;
    bool writesLog;
    const char16_t* extra;
    const char16_t* logNamed;
  } kRows[] = {
      {"1641 with its log", 1641, true, u"", kCspLog},
      {"1603, no log written", 1603, false, u"", u""},
      {"the user's own log switch", 1603, true, u"/L*v C:\\logs\\csp.log", u""},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    sim::Reset();
    AddProvider(u"csp", row.code, row.writesLog);
    std::vector<Notice> notices;

    EXPECT_EQ(Provide(u"csp", row.extra, false, false, notices).code, row.code);

    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].message, msg::kProviderFailed);
    EXPECT_EQ(notices[0].caption, 0);
    EXPECT_EQ(notices[0].style, platform::kMbIconError);
    EXPECT_EQ(notices[0].code, row.code);
    EXPECT_EQ(ToUtf8(notices[0].path), ToUtf8(row.logNamed));
    EXPECT_EQ(sim::FileExists(kCspLog), row.writesLog && *row.extra == 0);
    EXPECT_EQ(sim::W().keys.count(kMarker), 0u);
    EXPECT_TRUE(sim::W().openHandles.empty());
  }
}

// Tests that no name the bootstrapper did not create is handed to a
// provider's setup: a TMP naming a missing folder, or one where no name can
// be created, stops the step before the setup starts, with the creation's
// code and no log; a TMP that cannot be read at all lets the setup run with
// an empty log name, after the box for the unreadable TMP.
TEST(ProviderStepTest, LogThatCannotBeCreatedStartsNothing) {
  const struct {
    const char* name;
    std::function<void()> arrange;
    std::uint32_t code;
    bool started;
  } kRows[] = {
      {"TMP names a missing folder", [] { sim::W().environment[u"TMP"] = u"C:\\Missing"; }, 3, false},
      {"every name taken, no random source",
       [] {
         sim::W().randomFails = true;
         const WString stem = WString(kCspLog).substr(0, WString(kCspLog).size() - 4);
         for (const WString suffix : {u".log", u"_2.log", u"_3.log", u"_4.log", u"_5.log"})
           sim::PlantFile(stem + suffix, "planted");
       },
       80, false},
      {"TMP unset", [] { sim::W().environment.erase(u"TMP"); }, 1603, true},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    sim::Reset();
    AddProvider(u"csp", 1603);
    row.arrange();
    std::vector<Notice> notices;

    EXPECT_EQ(Provide(u"csp", u"", false, false, notices).code, row.code);

    EXPECT_EQ(sim::W().started.size(), row.started ? 1u : 0u);
    if (row.started) {
      EXPECT_EQ(ToUtf8(sim::W().started[0]), ToUtf8(u"csp\\Setup.exe -args \"/qb /Lv! \"\"\"\"\"\" \" -noreboot"));
      ASSERT_EQ(notices.size(), 2u);
      EXPECT_EQ(notices[0].message, msg::kEnvironmentUnreadable);
    } else {
      ASSERT_EQ(notices.size(), 1u);
    }
    EXPECT_EQ(notices.back().message, msg::kProviderFailed);
    EXPECT_EQ(notices.back().code, row.code);
    EXPECT_TRUE(notices.back().path.empty());
    EXPECT_EQ(sim::FileContents(kCspLog), row.code == 80 ? "planted" : "");
  }
}

// Tests that a silent failure passes -silent and -reinstall to the setup and
// returns the code unchanged.
TEST(ProviderStepTest, SilentFailurePassesItsFlags) {
  sim::Reset();
  AddProvider(u"csp", 1603);
  std::vector<Notice> notices;

  EXPECT_EQ(Provide(u"csp", u"", true, true, notices).code, 1603u);

  ASSERT_EQ(sim::W().started.size(), 1u);
  EXPECT_TRUE(Contains(sim::W().started[0], u"\" -noreboot -silent -reinstall"));
}

// Tests that a Setup.exe that cannot be found stops the run with the start
// failure code, including when process creation reports the missing folder
// as 3, which a provider that ran could also give as a go-on exit code; a
// start failure never marks a restart, and the log it never wrote is gone.
TEST(ProviderStepTest, MissingSetupStopsTheRun) {
  for (const std::uint32_t error : {2u, 3u, 4u, 5u, 3010u}) {
    SCOPED_TRACE(error);
    sim::Reset();
    sim::W().missingProgramError = error;
    std::vector<Notice> notices;

    EXPECT_EQ(Provide(u"csp", u"", false, false, notices).code, error);

    EXPECT_TRUE(sim::W().started.empty());
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].message, msg::kProviderFailed);
    EXPECT_EQ(notices[0].code, error);
    EXPECT_TRUE(notices[0].path.empty());
    EXPECT_FALSE(sim::FileExists(kCspLog));
    EXPECT_EQ(sim::W().keys.count(kMarker), 0u);
  }
}

// Tests that a Setup.exe whose end cannot be observed stops the run and
// marks no restart, even when the failing call's code is one of the go-on
// exit codes.
TEST(ProviderStepTest, UnobservedEndStopsTheRun) {
  for (const char* call : {"WaitForSingleObject", "GetExitCodeProcess"}) {
    for (const std::uint32_t error : {3u, 4u, 3010u}) {
      SCOPED_TRACE(std::string(call) + " " + std::to_string(error));
      sim::Reset();
      AddProvider(u"csp", 0);
      sim::FailCall(call, error);
      std::vector<Notice> notices;

      EXPECT_EQ(Provide(u"csp", u"", true, false, notices).code, error);
      EXPECT_EQ(sim::W().started.size(), 1u);
      EXPECT_EQ(sim::W().keys.count(kMarker), 0u);
    }
  }
}

// Tests that a signed run checks a provider's Setup.exe before anything else
// is done for it: a refused one (message 153 naming it, no caption) gets no
// log and is never started; one that cannot be opened stops the run with the
// open's code; an unsigned run starts a Setup.exe it cannot open by its
// relative name, as it always did, unless its path is beyond MAX_PATH (206).
TEST(ProviderStepTest, SetupCheckedBeforeItsLog) {
  const PublisherCheck kSigned{true, "CN=Vexis"};
  const WString kSetup = u"C:\\dist\\csp\\Setup.exe";
  const struct {
    const char* name;
    PublisherCheck check;
    std::function<void()> arrange;
    std::uint32_t code;
    std::uint16_t message;
    bool started;
  } kRows[] = {
      {"signed by the publisher", kSigned, [&] { sim::Sign(kSetup, "CN=Vexis", u"Vexis"); }, 0, 0, true},
      {"another publisher", kSigned, [&] { sim::Sign(kSetup, "CN=Other", u"Other"); },
       winerror::kTrustSubjectNotTrusted, msg::kFileNotTrusted, false},
      {"changed after signing", kSigned,
       [&] {
         sim::Sign(kSetup, "CN=Vexis", u"Vexis");
         sim::OtherWrites(kSetup, "changed");
       },
       winerror::kTrustBadDigest, msg::kFileNotTrusted, false},
      {"missing, signed run", kSigned, [&] { sim::OtherDeletes(kSetup); }, 2, msg::kProviderFailed, false},
      {"missing, unsigned run", PublisherCheck(), [&] { sim::OtherDeletes(kSetup); }, 0, 0, true},
      {"path beyond MAX_PATH, unsigned run", PublisherCheck(),
       [&] { sim::W().currentDirectory = sim::W().modulePath = u"C:\\" + WString(250, u'd'); }, 206,
       msg::kProviderFailed, false},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    sim::Reset();
    AddProvider(u"csp", 0);
    row.arrange();
    std::vector<Notice> notices;

    EXPECT_EQ(Provide(u"csp", u"", false, false, notices, row.check).code, row.code);

    EXPECT_EQ(sim::CallCount("CreateProcessW"), row.started ? 1 : 0);
    EXPECT_EQ(sim::FileExists(kCspLog), row.started) << "a log was made for a setup not started";
    if (row.message == 0) {
      EXPECT_TRUE(notices.empty());
    } else {
      ASSERT_EQ(notices.size(), 1u);
      EXPECT_EQ(notices[0].message, row.message);
      EXPECT_EQ(notices[0].caption, 0);
      EXPECT_EQ(notices[0].code, row.code);
      if (row.message == msg::kFileNotTrusted) {
        EXPECT_EQ(notices[0].path, kSetup);
      }
    }
    EXPECT_TRUE(sim::W().openHandles.empty());
  }
}

// Tests that the Setup.exe started is the one checked: on a volume without a
// drive letter, another volume mounted in its folder's place between the
// check and the start makes the process run another file, which is ended
// before it runs: message 153 naming the file checked, 1006, and nothing of
// the other file ran.
TEST(ProviderStepTest, SetupReplacedAfterTheCheckIsNeverRun) {
  sim::Reset();
  sim::AddFile(u"C:\\volumes\\a\\Setup.exe");
  sim::AddFile(u"C:\\volumes\\b\\Setup.exe");
  sim::PointMountPoint(u"C:\\dist\\csp", u"C:\\volumes\\a");
  std::string ran;
  sim::W().programs[u"C:\\volumes\\a\\Setup.exe"] = [&](const WString&) { ran += "checked "; return 0u; };
  sim::W().programs[u"C:\\volumes\\b\\Setup.exe"] = [&](const WString&) { ran += "other "; return 0u; };
  sim::W().beforeProcessStart = [] { sim::PointMountPoint(u"C:\\dist\\csp", u"C:\\volumes\\b"); };
  std::vector<Notice> notices;

  const StepResult replaced = Provide(u"csp", u"", false, false, notices);

  EXPECT_EQ(replaced.code, winerror::kFileInvalid);
  EXPECT_TRUE(replaced.refused);
  EXPECT_EQ(ran, "");
  EXPECT_TRUE(sim::W().started.empty());
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].message, msg::kFileNotTrusted);
  EXPECT_EQ(notices[0].path, u"C:\\dist\\csp\\Setup.exe");
  EXPECT_TRUE(sim::W().openHandles.empty());
}

// Tests that a provider's Setup.exe starts only once Windows Installer runs
// no other installation: after the release when it comes within the bound;
// not at all when the bound runs out (1618 and the provider's failure box,
// no log left); a wait the administrator cancels gives 1602 without a box,
// which ends the run (a provider's own 1602 would let it go on).
TEST(ProviderStepTest, WaitsForAnotherInstallation) {
  const struct {
    const char* name;
    std::uint32_t holdMs;  // 0: held for good
    std::uint32_t cancelAfterMs;
    std::uint32_t code;
    bool started;
    std::uint16_t message;
  } kRows[] = {
      {"released after 4 s", 4000, 0, 0, true, 0},
      {"never released within 10 s", 0, 0, 1618, false, msg::kProviderFailed},
      {"cancelled after 2 s", 0, 2000, 1602, false, 0},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    sim::Reset();
    AddProvider(u"csp", 0);
    std::uint32_t startedAt = 0;
    const sim::ChildBehaviour provider = sim::W().programs[u"csp\\Setup.exe"];
    sim::W().programs[u"csp\\Setup.exe"] = [&](const WString& commandLine) {
      startedAt = sim::W().tickCount;
      EXPECT_FALSE(sim::InstallerMutexOwned()) << "started while Windows Installer was busy";
      return provider(commandLine);
    };
    sim::HoldInstallerMutex(row.holdMs);
    sim::W().cancelWaitAfterMs = row.cancelAfterMs;
    std::vector<Notice> notices;

    const StepResult result =
        Provide(u"csp", u"", false, false, notices, PublisherCheck(), InstallerWait{10, true});

    EXPECT_EQ(result.code, row.code);
    EXPECT_EQ(sim::W().started.size(), row.started ? 1u : 0u);
    if (row.started) {
      EXPECT_EQ(startedAt, 5000u + row.holdMs);
    }
    EXPECT_EQ(sim::W().waitingWindows.size(), 1u);
    if (row.message == 0) {
      EXPECT_TRUE(notices.empty());
    } else {
      ASSERT_EQ(notices.size(), 1u);
      EXPECT_EQ(notices[0].message, row.message);
      EXPECT_EQ(notices[0].code, row.code);
      EXPECT_TRUE(notices[0].path.empty());
    }
    EXPECT_EQ(sim::FileExists(kCspLog), row.started);
    EXPECT_TRUE(sim::W().openHandles.empty());
  }
}
