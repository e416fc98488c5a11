// Running child programs, time stamps and log paths in the temporary folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootstrap/environment.h"
#include "bootstrap/run_log.h"
#include "install/child_process.h"
#include "platform/platform.h"
#include "platform/result_codes.h"
#include "tests/sim/sim_world.h"

namespace {

const WString kTool = u"C:\\tools\\tool.exe";

class ChildProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }

  // Installs a program at kTool that records its command line and exits with code.
  void AddProgram(std::uint32_t code) {
    sim::W().programs[kTool] = [this, code](const WString& commandLine) {
      seen.push_back(commandLine);
      return code;
    };
  }

  std::vector<WString> seen;
};

// Tests that the child's exit code comes back unchanged, the child gets the
// command line as given, without a window, and both its handles are closed.
TEST_F(ChildProcessTest, ReturnsExitCodeAndClosesHandles) {
  for (std::uint32_t code : {0u, 1u, 2u, 1602u, 1603u, 3010u, 0xFFFFFFFFu}) {
    sim::Reset();
    seen.clear();
    AddProgram(code);
    const WString commandLine = u"\"C:\\tools\\tool.exe\" /x \"C:\\Пути\\файл.msi\"";
    EXPECT_EQ(RunChildProcess(u"tool", commandLine), code);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], commandLine);
    ASSERT_EQ(sim::W().creationFlags.size(), 1u);
    EXPECT_EQ(sim::W().creationFlags[0], 0x08000000u);
    EXPECT_EQ(sim::CallCount("WaitForSingleObject"), 1);
    EXPECT_EQ(sim::CallCount("CloseHandle"), 2);
    EXPECT_TRUE(sim::W().openHandles.empty());
  }
}

// Tests that a missing program gives the creation error (2) and nothing is waited for.
TEST_F(ChildProcessTest, MissingProgramGivesCreationError) {
  EXPECT_EQ(RunChildProcess(u"tool", u"C:\\nowhere\\Setup.exe /s"), 2u);
  EXPECT_EQ(sim::CallCount("WaitForSingleObject"), 0);
  EXPECT_TRUE(sim::W().started.empty());
  EXPECT_TRUE(sim::W().openHandles.empty());
}

// Tests that a refused creation passes its own error code up.
TEST_F(ChildProcessTest, CreationFailurePassesItsCode) {
  AddProgram(0);
  sim::FailCall("CreateProcessW", 5);
  EXPECT_EQ(RunChildProcess(u"tool", kTool), 5u);
  EXPECT_TRUE(seen.empty());
}

// Tests that a failed wait is reported with its own code, never as the
// child's success, and the handles are still closed.
TEST_F(ChildProcessTest, FailedWaitIsNeverSuccess) {
  AddProgram(0);
  sim::FailCall("WaitForSingleObject", 6);
  EXPECT_EQ(RunChildProcess(u"tool", kTool), 6u);
  EXPECT_EQ(sim::CallCount("GetExitCodeProcess"), 0);
  EXPECT_TRUE(sim::W().openHandles.empty());
}

// Tests that a failed exit-code query is reported with its own code, never as 0.
TEST_F(ChildProcessTest, FailedExitCodeQueryIsNeverSuccess) {
  AddProgram(0);
  sim::FailCall("GetExitCodeProcess", 5);
  EXPECT_EQ(RunChildProcess(u"tool", kTool), 5u);
  EXPECT_TRUE(sim::W().openHandles.empty());
}

// Tests that a failure that leaves no last-error value still reads as a failure.
TEST_F(ChildProcessTest, FailureWithoutLastErrorIsNeverSuccess) {
  AddProgram(0);
  sim::FailCall("WaitForSingleObject", 0);
  EXPECT_EQ(RunChildProcess(u"tool", kTool), 1627u);
  sim::Reset();
  AddProgram(0);
  sim::FailCall("CreateProcessW", 0);
  EXPECT_EQ(RunChildProcess(u"tool", kTool), 1627u);
}

// Tests the run log's two lines around a child: its command line, then its
// duration and exit code, or the error when it gave no exit code.
TEST_F(ChildProcessTest, LoggedChildProcess) {
  sim::W().programs[kTool] = [](const WString&) {
    sim::W().tickCount += 4200;
    return 3010u;
  };
  const WString log = u"C:\\Users\\op\\AppData\\Local\\Temp\\vexissetup_2014-03-07-09-05-31.log";
  ASSERT_TRUE(OpenRunLog(u"C:\\Users\\op\\AppData\\Local\\Temp", sim::W().now, kTool, u"2.0.0.0"));
  bool exited = false;
  EXPECT_EQ(RunChildProcess(u"plug-in", kTool + u" /i", &exited), 3010u);
  EXPECT_TRUE(exited);
  EXPECT_EQ(RunChildProcess(u"csp", u"csp\\Setup.exe", &exited), 2u);
  EXPECT_FALSE(exited);
  CloseRunLog();
  const std::vector<std::string> lines = sim::FileLines(log);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1], "      0 plug-in: started C:\\tools\\tool.exe /i");
  EXPECT_EQ(lines[2], "   4200 plug-in: ended after 4200 ms with exit code 3010");
  EXPECT_EQ(lines[3], "   4200 csp: started csp\\Setup.exe");
  EXPECT_EQ(lines[4],
            "   4200 csp: gave no exit code after 0 ms: error 2 (it could not be started or waited "
            "for)");
}

struct StampCase {
  platform::LocalTime time;
  const char16_t* stamp;
};

// Tests that the stamp is %Y-%m-%d-%H-%M-%S with zero-padded fields, and is
// written with a line break to standard output.
TEST_F(ChildProcessTest, TimeStampFormat) {
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
TEST_F(ChildProcessTest, LogPathInTemporaryFolder) {
  WString out;
  EXPECT_EQ(MakeLogFilePath(u"csp", out), 0u);
  EXPECT_EQ(out, u"C:\\Users\\op\\AppData\\Local\\Temp\\csp_2014-03-07-09-05-31.log");
  EXPECT_EQ(sim::CallCount("GetEnvironmentVariableW"), 2);
  EXPECT_TRUE(sim::W().boxes.empty());
}

// Tests that every path reads the clock afresh and adds nothing to make it
// unique: two paths of the same second are the same, one a second later
// differs in its stamp.
TEST_F(ChildProcessTest, EachPathReadsTheClock) {
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
TEST_F(ChildProcessTest, TemporaryFolderTakenAsItIs) {
  sim::W().environment[u"TMP"] = u"C:\\Temp\\";
  WString out;
  ASSERT_EQ(MakeLogFilePath(u"csp", out), 0u);
  EXPECT_EQ(out, u"C:\\Temp\\\\csp_2014-03-07-09-05-31.log");
  sim::W().environment[u"TMP"] = u"C:\\Users\\Оператор\\Temp";
  ASSERT_EQ(MakeLogFilePath(u"csp", out), 0u);
  EXPECT_EQ(out, u"C:\\Users\\Оператор\\Temp\\csp_2014-03-07-09-05-31.log");
}

// Tests that an installer's log is created here before its name is handed
// over: a name planted in TMP (a link to another file, say) is left as it
// was and the next name is used; with all five names taken nothing may be
// handed over (80); a folder that cannot take a file gets the name as built,
// so that the installer fails there with its own code.
TEST_F(ChildProcessTest, InstallerLogIsCreatedUnderAFreeName) {
  const WString kStem = u"C:\\Users\\op\\AppData\\Local\\Temp\\csp_2014-03-07-09-05-31";
  const struct {
    const char* name;
    int planted;        // names taken before the run: the stem's .log, then _2 ...
    bool folderExists;
    std::uint32_t result;
    const char16_t* logPath;  // relative to the stem; nullptr: left as it was
    bool created;
  } kRows[] = {
      {"free name", 0, true, 0, u".log", true},
      {"name taken: the next", 1, true, 0, u"_2.log", true},
      {"four taken: the last", 4, true, 0, u"_5.log", true},
      {"all five taken", 5, true, winerror::kFileExists, nullptr, false},
      {"missing folder: handed over as built", 0, false, 0, u".log", false},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    sim::Reset();
    if (!row.folderExists) sim::W().environment[u"TMP"] = u"C:\\Missing";
    const WString stem = row.folderExists ? kStem : u"C:\\Missing\\csp_2014-03-07-09-05-31";
    std::vector<WString> planted;
    for (int i = 0; i < row.planted; ++i) {
      planted.push_back(stem + (i == 0 ? WString(u".log") : u"_" + Decimal(i + 1) + u".log"));
      sim::PlantFile(planted.back(), "planted");
    }
    WString logPath = u"kept";

    EXPECT_EQ(ArrangeInstallerLog(u"csp", u"csp", logPath), row.result);

    EXPECT_EQ(ToUtf8(logPath), ToUtf8(row.logPath ? stem + row.logPath : WString(u"kept")));
    EXPECT_EQ(sim::FileExists(logPath), row.created);
    if (row.created) {
      EXPECT_EQ(sim::FileContents(logPath), "");
    }
    for (const WString& name : planted) EXPECT_EQ(sim::FileContents(name), "planted");
    EXPECT_TRUE(sim::W().boxes.empty());
    EXPECT_TRUE(sim::W().openHandles.empty()) << "the file is closed before the installer opens it";
  }
}

struct TmpCase {
  bool set;
  const char16_t* value;
  std::uint32_t staleLastError;
};

// Tests that an unset or empty TMP gives 203 (never 0), leaves the output
// alone and shows nothing (its callers tell it, with message 144).
TEST_F(ChildProcessTest, UnreadableTemporaryFolder) {
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
TEST_F(ChildProcessTest, VariableReadFailurePassesItsCode) {
  sim::FailCall("GetEnvironmentVariableW", 8, 2);
  WString value = u"kept";
  EXPECT_EQ(ReadEnvironmentVariable(u"TMP", value), 8u);
  EXPECT_EQ(value, u"kept");
}

}  // namespace
