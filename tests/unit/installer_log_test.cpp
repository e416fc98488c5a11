// The installers' logs: time stamps, names in TMP, the file made before the
// installer starts and removed again when the installer wrote nothing.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "bootstrap/environment.h"
#include "install/installer_log.h"
#include "platform/platform.h"
#include "platform/result_codes.h"
#include "tests/sim/sim_world.h"

namespace {

class InstallerLogTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
};

struct StampCase {
  platform::LocalTime time;
  const char16_t* stamp;
};

// Tests that the stamp is %Y-%m-%d-%H-%M-%S with zero-padded fields, and is
// written with a line break to standard output.
TEST_F(InstallerLogTest, TimeStampFormat) {
  const StampCase cases[] = {
      {{2014, 3, 7, 9, 5, 31}, u"2014-03-07-09-05-31"},
      {{1999, 12, 31, 23, 59, 59}, u"1999-12-31-23-59-59"},
      {{2030, 1, 1, 0, 0, 0}, u"2030-01-01-00-00-00"},
  };
  for (const auto& c : cases) {
    sim::Reset();
    sim::W().now = c.time;
    WString stamp = u"previous text that is longer than a stamp";
    MakeTimeStamp(stamp);
    EXPECT_EQ(stamp, c.stamp);
    EXPECT_EQ(stamp.size(), 19u);
    ASSERT_EQ(sim::W().standardOutput.size(), 1u);
    EXPECT_EQ(sim::W().standardOutput[0], WString(c.stamp) + u"\n");
  }
}

// Tests the log path: TMP, a backslash, the name, "_", the stamp, ".log";
// TMP is read in two calls.
TEST_F(InstallerLogTest, LogPathInTemporaryFolder) {
  WString out;
  EXPECT_EQ(MakeLogFilePath(u"csp", out), 0u);
  EXPECT_EQ(out, u"C:\\Users\\op\\AppData\\Local\\Temp\\csp_2014-03-07-09-05-31.log");
  EXPECT_EQ(sim::CallCount("GetEnvironmentVariableW"), 2);
  EXPECT_TRUE(sim::W().boxes.empty());
}

// Tests that every path reads the clock afresh and adds nothing to make it
// unique: two paths of the same second are the same, one a second later
// differs in its stamp.
TEST_F(InstallerLogTest, EachPathReadsTheClock) {
  WString first;
  WString second;
  WString later;
  ASSERT_EQ(MakeLogFilePath(u"ucsp", first), 0u);
  ASSERT_EQ(MakeLogFilePath(u"ucsp", second), 0u);
  sim::W().now.second = 32;
  ASSERT_EQ(MakeLogFilePath(u"ucsp", later), 0u);
  EXPECT_EQ(first, second);
  EXPECT_EQ(later, u"C:\\Users\\op\\AppData\\Local\\Temp\\ucsp_2014-03-07-09-05-32.log");
}

// Tests that a TMP ending in a backslash yields a doubled backslash, and a
// Cyrillic TMP is kept as it is.
TEST_F(InstallerLogTest, TemporaryFolderTakenAsItIs) {
  sim::W().environment[u"TMP"] = u"C:\\Temp\\";
  WString out;
  ASSERT_EQ(MakeLogFilePath(u"csp", out), 0u);
  EXPECT_EQ(out, u"C:\\Temp\\\\csp_2014-03-07-09-05-31.log");
  sim::W().environment[u"TMP"] = u"C:\\Users\\Оператор\\Temp";
  ASSERT_EQ(MakeLogFilePath(u"csp", out), 0u);
  EXPECT_EQ(out, u"C:\\Users\\Оператор\\Temp\\csp_2014-03-07-09-05-31.log");
}

// Tests that an installer's log is made here before its name is handed
// over, as a new file that the installer may write while it is held: a name
// planted in TMP (a link to another file, say) is left as it was and the
// next is used; past the five stamped names, a name nobody can guess; a
// folder that cannot take the file gives its error and makes nothing, so
// that no name the bootstrapper did not create is ever handed over.
TEST_F(InstallerLogTest, InstallerLogIsCreatedUnderAFreeName) {
  const WString kStem = u"C:\\Users\\op\\AppData\\Local\\Temp\\csp_2014-03-07-09-05-31";
  const struct {
    const char* name;
    int planted;        // names taken before the run: the stem's .log, then _2 ...
    bool folderExists;
    bool randomFails;
    std::uint32_t result;
    const char16_t* logPath;  // relative to the stem; u"_?": a random name; nullptr: none
  } kRows[] = {
      {"free name", 0, true, false, 0, u".log"},
      {"name taken: the next", 1, true, false, 0, u"_2.log"},
      {"four taken: the last", 4, true, false, 0, u"_5.log"},
      {"all five taken: a name nobody can guess", 5, true, false, 0, u"_?"},
      {"all five taken, no random source", 5, true, true, winerror::kFileExists, nullptr},
      {"missing folder: nothing is made", 0, false, false, 3, nullptr},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    sim::Reset();
    sim::W().randomFails = row.randomFails;
    if (!row.folderExists) sim::W().environment[u"TMP"] = u"C:\\Missing";
    const WString stem = row.folderExists ? kStem : u"C:\\Missing\\csp_2014-03-07-09-05-31";
    std::vector<WString> planted;
    for (int i = 0; i < row.planted; ++i) {
      planted.push_back(stem + (i == 0 ? WString(u".log") : u"_" + Decimal(i + 1) + u".log"));
      sim::PlantFile(planted.back(), "planted");
    }
    InstallerLog log;
    bool tempUnreadable = true;

    EXPECT_EQ(ArrangeInstallerLog(u"csp", u"csp", log, tempUnreadable), row.result);

    EXPECT_FALSE(tempUnreadable);
    EXPECT_EQ(log.made, row.logPath != nullptr);
    if (row.logPath == nullptr) {
      EXPECT_TRUE(log.path.empty());
    } else if (WString(row.logPath) == u"_?") {
      // Sixteen hexadecimal digits from the random source.
      ASSERT_EQ(log.path.size(), stem.size() + 21) << ToUtf8(log.path);
      EXPECT_EQ(log.path.substr(0, stem.size() + 1), stem + u"_");
      EXPECT_EQ(log.path.substr(log.path.size() - 4), u".log");
    } else {
      EXPECT_EQ(ToUtf8(log.path), ToUtf8(stem + row.logPath));
    }
    if (log.made) {
      EXPECT_EQ(sim::FileContents(log.path), "");
      // Nothing of the run is in the installer's way: it may write its log,
      // or delete it and make it again (Wine's msiexec does).
      EXPECT_FALSE(sim::IsHeldOpen(log.path));
      EXPECT_EQ(sim::OtherWrites(log.path, "installer"), 0u);
    }
    for (const WString& name : planted) EXPECT_EQ(sim::FileContents(name), "planted");
    EXPECT_TRUE(sim::W().boxes.empty());
  }
}

// Tests the end of a log: the file made is found again by its index, never
// by name; one the installer wrote (or made again in its place) is named and
// kept; one still empty is removed through that handle and named nowhere;
// where Windows cannot open a file by its index (XP) it stays and is named,
// as before.
TEST_F(InstallerLogTest, FinishedLogIsNamedOnlyWhenWritten) {
  const struct {
    const char* name;
    std::function<void(const WString&)> installer;
    bool named;
    bool kept;
  } kRows[] = {
      {"written", [](const WString& path) { sim::OtherWrites(path, "=== Verbose logging"); }, true, true},
      {"deleted and made again",
       [](const WString& path) {
         sim::OtherDeletes(path);
         sim::PlantFile(path, "=== Verbose logging");
       },
       true, true},
      {"empty", [](const WString&) {}, false, false},
      // The file made is what goes, wherever it was moved; what was put under
      // its name stays.
      {"empty, moved, another file put under its name",
       [](const WString& path) {
         sim::OtherRenames(path, path + u".moved");
         sim::PlantFile(path, "");
       },
       false, true},
      {"empty, XP",
       [](const WString&) { sim::W().missingFunctions.insert("OpenFileById"); }, true, true},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    sim::Reset();
    InstallerLog log;
    bool tempUnreadable = false;
    ASSERT_EQ(ArrangeInstallerLog(u"msiexec", u"vexiscom-x64.msi", log, tempUnreadable), 0u);
    const WString path = log.path;
    row.installer(path);

    EXPECT_EQ(FinishInstallerLog(u"msiexec", log), row.named ? path : WString());

    EXPECT_EQ(sim::FileExists(path), row.kept);
    EXPECT_FALSE(sim::FileExists(path + u".moved"));
    EXPECT_EQ(sim::CallCount("DeleteFileW"), 0) << "removed by name";
    EXPECT_TRUE(sim::W().openHandles.empty());
  }
}

struct TmpCase {
  bool set;
  const char16_t* value;
  std::uint32_t staleLastError;
};

// Tests that an unset or empty TMP gives 203 (never 0), leaves the output
// alone and shows nothing (its callers tell it, with message 144).
TEST_F(InstallerLogTest, UnreadableTemporaryFolder) {
  const TmpCase cases[] = {{false, u"", 0}, {true, u"", 0}, {true, u"", 87}};
  for (const auto& c : cases) {
    sim::Reset();
    sim::W().environment.erase(u"TMP");
    if (c.set) sim::W().environment[u"TMP"] = c.value;
    sim::W().lastError = c.staleLastError;
    WString out = u"kept";
    EXPECT_EQ(MakeLogFilePath(u"csp", out), 203u);
    EXPECT_EQ(out, u"kept");
    EXPECT_EQ(sim::CallCount("localtime"), 0);
    EXPECT_TRUE(sim::W().boxes.empty());
  }
}

// Tests that another failure of the variable read passes its own code up.
TEST_F(InstallerLogTest, VariableReadFailurePassesItsCode) {
  sim::FailCall("GetEnvironmentVariableW", 8, 2);
  WString value = u"kept";
  EXPECT_EQ(ReadEnvironmentVariable(u"TMP", value), 8u);
  EXPECT_EQ(value, u"kept");
}

}  // namespace
