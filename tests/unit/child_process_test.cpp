// Running child programs: the exit code, the handles, the run log, and a
// checked program started only from the file held.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

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
    EXPECT_EQ(RunChildProcess(u"tool", commandLine).code, code);
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
  const ChildResult result = RunChildProcess(u"tool", u"C:\\nowhere\\Setup.exe /s");
  EXPECT_EQ(result.code, 2u);
  EXPECT_EQ(result.end, ChildEnd::kNotStarted);
  EXPECT_EQ(sim::CallCount("WaitForSingleObject"), 0);
  EXPECT_TRUE(sim::W().started.empty());
  EXPECT_TRUE(sim::W().openHandles.empty());
}

// Tests that a refused creation passes its own error code up.
TEST_F(ChildProcessTest, CreationFailurePassesItsCode) {
  AddProgram(0);
  sim::FailCall("CreateProcessW", 5);
  EXPECT_EQ(RunChildProcess(u"tool", kTool).code, 5u);
  EXPECT_TRUE(seen.empty());
}

// Tests that a failed wait is reported with its own code, never as the
// child's success, and the handles are still closed.
TEST_F(ChildProcessTest, FailedWaitIsNeverSuccess) {
  AddProgram(0);
  sim::FailCall("WaitForSingleObject", 6);
  const ChildResult result = RunChildProcess(u"tool", kTool);
  EXPECT_EQ(result.code, 6u);
  EXPECT_EQ(result.end, ChildEnd::kNotObserved);
  EXPECT_EQ(sim::CallCount("GetExitCodeProcess"), 0);
  EXPECT_TRUE(sim::W().openHandles.empty());
}

// Tests that a failed exit-code query is reported with its own code, never as 0.
TEST_F(ChildProcessTest, FailedExitCodeQueryIsNeverSuccess) {
  AddProgram(0);
  sim::FailCall("GetExitCodeProcess", 5);
  EXPECT_EQ(RunChildProcess(u"tool", kTool).code, 5u);
  EXPECT_TRUE(sim::W().openHandles.empty());
}

// Tests that a failure that leaves no last-error value still reads as a failure.
TEST_F(ChildProcessTest, FailureWithoutLastErrorIsNeverSuccess) {
  AddProgram(0);
  sim::FailCall("WaitForSingleObject", 0);
  EXPECT_EQ(RunChildProcess(u"tool", kTool).code, 1627u);
  sim::Reset();
  AddProgram(0);
  sim::FailCall("CreateProcessW", 0);
  EXPECT_EQ(RunChildProcess(u"tool", kTool).code, 1627u);
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
  EXPECT_EQ(RunChildProcess(u"plug-in", kTool + u" /i").end, ChildEnd::kExited);
  EXPECT_EQ(RunChildProcess(u"csp", u"csp\\Setup.exe").end, ChildEnd::kNotStarted);
  sim::FailCall("GetExitCodeProcess", 5);
  EXPECT_EQ(RunChildProcess(u"plug-in", kTool).end, ChildEnd::kNotObserved);
  CloseRunLog();
  const std::vector<std::string> lines = sim::FileLines(log);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[1], "      0 plug-in: started C:\\tools\\tool.exe /i");
  EXPECT_EQ(lines[2], "   4200 plug-in: ended after 4200 ms with exit code 3010");
  EXPECT_EQ(lines[3], "   4200 csp: started csp\\Setup.exe");
  EXPECT_EQ(lines[4], "   4200 csp: could not be started, error 2");
  EXPECT_EQ(lines[6], "   8400 plug-in: gave no exit code after 4200 ms: error 5 (its end could not be observed)");
}

// Tests that a checked program runs only as the file held: started from its
// final path, suspended, and let run when its image is that file. On a volume
// without a drive letter the final path goes through the volume's mount
// point; another volume mounted there between the check and the start makes
// the process another file's, which is ended before it runs (1006). A
// Windows that cannot tell a process's image lets it run, as before.
TEST_F(ChildProcessTest, CheckedProgramRunsOnlyTheFileHeld) {
  const struct {
    const char* name;
    std::function<void()> arrange;
    ChildEnd end;
    std::uint32_t code;
    const char* ran;  // which program ran: "held", "other" or none
  } kRows[] = {
      {"the file held", [] {}, ChildEnd::kExited, 0, "held"},
      {"another volume mounted in its place",
       [] {
         sim::W().beforeProcessStart = [] {
           sim::PointMountPoint(u"C:\\dist\\csp", u"C:\\volumes\\b");
           sim::W().beforeProcessStart = nullptr;
         };
       },
       ChildEnd::kNotTheFileChecked, 1006, nullptr},
      {"XP: no image to compare",
       [] { sim::W().missingFunctions.insert("QueryFullProcessImageNameW"); }, ChildEnd::kExited, 0,
       "held"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    sim::Reset();
    std::string ran;
    sim::AddFile(u"C:\\volumes\\a\\Setup.exe");
    sim::AddFile(u"C:\\volumes\\b\\Setup.exe");
    sim::PointMountPoint(u"C:\\dist\\csp", u"C:\\volumes\\a");
    sim::W().programs[u"C:\\volumes\\a\\Setup.exe"] = [&](const WString&) { ran = "held"; return 0u; };
    sim::W().programs[u"C:\\volumes\\b\\Setup.exe"] = [&](const WString&) { ran = "other"; return 0u; };
    CheckedFile program;
    bool refused = false;
    ASSERT_EQ(OpenCheckedFile(PublisherCheck(), u"csp", u"C:\\dist\\csp\\Setup.exe", program, refused), 0u);
    EXPECT_EQ(program.runPath, u"C:\\dist\\csp\\Setup.exe");
    row.arrange();

    const ChildResult result = RunCheckedProgram(u"csp", u"csp\\Setup.exe -noreboot", program);

    EXPECT_EQ(result.end, row.end);
    EXPECT_EQ(result.code, row.code);
    EXPECT_EQ(ran, row.ran ? row.ran : "");
    program.held.reset();
    EXPECT_TRUE(sim::W().openHandles.empty());
  }
}

}  // namespace
