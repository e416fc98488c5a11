// The run log's writer: the new file and its name, the format, the masking of
// secrets, and a log that cannot be written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootstrap/run_log.h"
#include "tests/sim/sim_world.h"

namespace {

const WString kTemp = u"C:\\Users\\op\\AppData\\Local\\Temp";
const WString kLog = kTemp + u"\\vexissetup_2014-03-07-09-05-31.log";
const platform::LocalTime kStart{2014, 3, 7, 9, 5, 31};

class RunLogTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
  void TearDown() override {
    CloseRunLog();
    EXPECT_TRUE(sim::W().openHandles.empty()) << "a handle was left open";
  }
};

// Tests the masking of secret properties in the argument texts and command
// lines: nothing of a secret value survives, everything else stays.
TEST_F(RunLogTest, MasksSecretProperties) {
  const struct {
    const char16_t* text;
    const char16_t* masked;
  } kData[] = {
      {u" /qn PASSWORD=abc REBOOT=R ", u" /qn PASSWORD=****** REBOOT=R "},
      {u"USERPIN=1234 PINCODE=77 X=pin", u"USERPIN=****** PINCODE=****** X=pin"},
      {u"db_Secret=\"a b c\" X=1", u"db_Secret=****** X=1"},
      {u"ProxyPasswd=\"a\"\"b c\" X=1", u"ProxyPasswd=****** X=1"},
      {u"SECRET=пароль1 LANG=ru", u"SECRET=****** LANG=ru"},
      {u"PASSWORD= /qn", u"PASSWORD=****** /qn"},
      {u"pin=1=2 X=3", u"pin=****** X=3"},
      // The raw command line: quoted arguments, escaped quotes inside them.
      {u"vexissetup.exe -VexisArgs \"/qn PASSWORD=s3cr3t\" -silent",
       u"vexissetup.exe -VexisArgs \"/qn PASSWORD=******\" -silent"},
      {u"vexissetup.exe -VexisArgs \"/qn PASSWORD=\\\"a b\\\"\" -silent",
       u"vexissetup.exe -VexisArgs \"/qn PASSWORD=******\" -silent"},
      // A provider command line: the user's text inside the value of -args.
      {u"csp\\Setup.exe -args \"/qb /Lv! \"\"\"C:\\t\\csp.log\"\"\" PIN=\"12 34\" \" -noreboot",
       u"csp\\Setup.exe -args \"/qb /Lv! \"\"\"C:\\t\\csp.log\"\"\" PIN=****** \" -noreboot"},
      {u"-args \"PIN=1234\" -noreboot", u"-args \"PIN=******\" -noreboot"},
      {u"REINSTALL=ALL REINSTALLMODE=vomus ADDLOCAL=NPVEXIS",
       u"REINSTALL=ALL REINSTALLMODE=vomus ADDLOCAL=NPVEXIS"},
  };
  for (const auto& row : kData) EXPECT_EQ(ToUtf8(MaskSecrets(row.text)), ToUtf8(row.masked));
}

// Tests the file and its format: a UTF-8 byte-order mark, the first line with
// the start, the file version and the path, then one line per event with the
// milliseconds since the start; line breaks written as \n, lines ended by CR
// LF, each handed over in one write; secrets masked; Cyrillic kept.
TEST_F(RunLogTest, WritesTheFormat) {
  const WString folder = u"C:\\Users\\Пётр\\AppData\\Local\\Temp";
  sim::AddFolder(folder);
  sim::W().tickCount = 100000;
  ASSERT_TRUE(OpenRunLog(folder, kStart, u"D:\\Дистрибутив\\vexissetup.exe", u"2.0.0.0"));
  sim::W().tickCount += 1234;
  LogLine(u"box text: Первая\nвторая PASSWORD=\"тайна\"");
  LogValue(u"plug-in: result", 1603u);
  CloseRunLog();
  LogLine(u"after the end");

  const WString path = folder + u"\\vexissetup_2014-03-07-09-05-31.log";
  EXPECT_EQ(sim::FileContents(path).substr(0, 3), "\xEF\xBB\xBF");
  const std::vector<std::string> lines = sim::FileLines(path);
  ASSERT_EQ(lines.size(), 3u) << sim::FileContents(path);
  EXPECT_EQ(lines[0],
            "2014-03-07 09:05:31 local time, file version 2.0.0.0, D:\\Дистрибутив\\vexissetup.exe");
  EXPECT_EQ(lines[1], "   1234 box text: Первая\\nвторая PASSWORD=******");
  EXPECT_EQ(lines[2], "   1234 plug-in: result: 1603");
  EXPECT_EQ(sim::CallCount("WriteFile"), 3);
  EXPECT_EQ(sim::FileContents(path).find("тайна"), std::string::npos);
}

// Tests that the log is always a new file: a planted file of the name is left
// untouched and the next suffix is written; when every name is taken there is
// no log, and logging does nothing.
TEST_F(RunLogTest, NameTakenUsesTheNextSuffix) {
  sim::PlantFile(kLog, "planted");
  sim::PlantFile(kTemp + u"\\vexissetup_2014-03-07-09-05-31_2.log", "planted 2");
  ASSERT_TRUE(OpenRunLog(kTemp, kStart, u"C:\\dist\\vexissetup.exe", u"2.0.0.0"));
  LogLine(u"event");
  EXPECT_EQ(sim::FileContents(kLog), "planted");
  EXPECT_EQ(sim::FileContents(kTemp + u"\\vexissetup_2014-03-07-09-05-31_2.log"), "planted 2");
  const std::vector<std::string> lines =
      sim::FileLines(kTemp + u"\\vexissetup_2014-03-07-09-05-31_3.log");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "      0 event");
  CloseRunLog();

  sim::Reset();
  std::vector<WString> names = {kLog};
  for (const char16_t* suffix : {u"_2", u"_3", u"_4", u"_5"})
    names.push_back(kTemp + u"\\vexissetup_2014-03-07-09-05-31" + suffix + u".log");
  for (const WString& name : names) sim::PlantFile(name, "planted");
  const std::size_t entries = sim::W().entries.size();
  sim::W().lastError = 1234;
  // Past the five names a run can be expected to try, one nobody can guess.
  EXPECT_TRUE(OpenRunLog(kTemp, kStart, u"C:\\dist\\vexissetup.exe", u"2.0.0.0"));
  CloseRunLog();
  EXPECT_EQ(sim::CallCount("CreateFileW"), 6);
  EXPECT_EQ(sim::CallCount("CryptGenRandom"), 1);
  EXPECT_EQ(sim::W().lastError, 1234u) << "the run's last error changed";
  for (const WString& name : names) EXPECT_EQ(sim::FileContents(name), "planted");
  EXPECT_EQ(sim::W().entries.size(), entries + 1);

  // Without a random source the run goes on without its log.
  sim::Reset();
  for (const WString& name : names) sim::PlantFile(name, "planted");
  sim::W().randomFails = true;
  EXPECT_FALSE(OpenRunLog(kTemp, kStart, u"C:\\dist\\vexissetup.exe", u"2.0.0.0"));
  LogLine(u"event");
  EXPECT_EQ(sim::CallCount("WriteFile"), 0);
  EXPECT_EQ(sim::W().entries.size(), entries) << "a file was created";
}

// Tests that a write that fails ends the log silently: no later write is
// tried, the file is closed, and the caller's last error is kept.
TEST_F(RunLogTest, FailedWriteEndsTheLog) {
  ASSERT_TRUE(OpenRunLog(kTemp, kStart, u"C:\\dist\\vexissetup.exe", u"2.0.0.0"));
  sim::FailCall("WriteFile", 112, 2);  // the disk is full
  sim::W().lastError = 87;
  LogLine(u"first event");
  EXPECT_EQ(sim::W().lastError, 87u);
  LogLine(u"second event");
  EXPECT_EQ(sim::CallCount("WriteFile"), 2);
  EXPECT_TRUE(sim::W().openHandles.empty());
  EXPECT_EQ(sim::FileLines(kLog).size(), 1u);
}

// Tests that a run the runtime ends at once (out of memory, an internal
// error) still writes its exit line, and that a closed log leaves nothing to
// call.
TEST_F(RunLogTest, ImmediateEndWritesTheExitLine) {
  const struct {
    std::uint32_t code;
    const char* line;
  } kEnds[] = {
      {8, "   1500 exit code 8: the system ran out of memory; the run ended at once"},
      {1359, "   1500 exit code 1359: an internal error ended the run at once"},
  };
  for (const auto& end : kEnds) {
    sim::Reset();
    ASSERT_TRUE(OpenRunLog(kTemp, kStart, u"C:\\dist\\vexissetup.exe", u"2.0.0.0"));
    ASSERT_NE(sim::W().fatalExitHandler, nullptr);
    sim::W().tickCount += 1500;
    sim::W().fatalExitHandler(end.code);
    const std::vector<std::string> lines = sim::FileLines(kLog);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], end.line);
    CloseRunLog();
    EXPECT_EQ(sim::W().fatalExitHandler, nullptr);
  }
}

// Tests that no folder (TMP unset or empty) and a folder that does not exist
// give no log and no file.
TEST_F(RunLogTest, NoFolderNoLog) {
  EXPECT_FALSE(OpenRunLog(WString(), kStart, u"C:\\dist\\vexissetup.exe", u"2.0.0.0"));
  EXPECT_EQ(sim::CallCount("CreateFileW"), 0);
  EXPECT_FALSE(OpenRunLog(u"C:\\nowhere", kStart, u"C:\\dist\\vexissetup.exe", u"2.0.0.0"));
  LogLine(u"event");
  EXPECT_EQ(sim::CallCount("WriteFile"), 0);
}

// Tests the program's own path of any length and its file version, read from
// the compiled VERSIONINFO; a resource too short to hold one gives none.
TEST_F(RunLogTest, ProgramPathAndFileVersion) {
  const WString deep = u"C:\\" + WString(300, u'д') + u"\\vexissetup.exe";
  sim::W().modulePath = deep;
  EXPECT_EQ(ReadProgramPath(), deep);
  EXPECT_EQ(ReadProgramFileVersion(), u"2.0.0.0");

  WString version = u"unchanged";
  const std::vector<std::uint8_t>& info = sim::W().versionInfo;
  EXPECT_FALSE(ParseFileVersion(info.data(), 60, version));
  std::vector<std::uint8_t> unsigned_ = info;
  unsigned_[40] ^= 0xFF;
  EXPECT_FALSE(ParseFileVersion(unsigned_.data(), static_cast<std::uint32_t>(unsigned_.size()),
                                version));
  EXPECT_EQ(version, u"unchanged");
  sim::W().versionInfo.clear();
  EXPECT_EQ(ReadProgramFileVersion(), u"");
}

}  // namespace
