// The command line as administrators' scripts write it, and the help.
#include <gtest/gtest.h>

#include <vector>

#include "bootstrap/command_line.h"
#include "tests/sim/sim_world.h"

namespace {

BootstrapOptions Parse(std::vector<WString> arguments, ParseOutcome expected = ParseOutcome::kOptions) {
  arguments.insert(arguments.begin(), u"vexissetup.exe");
  BootstrapOptions options;
  ParseFailure failure;
  EXPECT_EQ(ParseArguments(arguments, options, failure), expected);
  return options;
}

constexpr ParseOutcome kNot = ParseOutcome::kNotUnderstood;

// Tests that no arguments leave every default.
TEST(ParseArgumentsTest, NoArgumentsKeepDefaults) {
  const BootstrapOptions o = Parse({});
  EXPECT_FALSE(o.csp || o.ucsp || o.selectDlg || o.silent || o.reinstall || o.norestart);
  EXPECT_TRUE(o.cspArgs.empty() && o.ucspArgs.empty() && o.pluginArgs.empty() &&
              o.kcPattern.empty() && o.langPattern.empty());
}

// Tests that flags are compared without regard to ASCII case, except -reinstall.
TEST(ParseArgumentsTest, FlagsIgnoreCaseButReinstallIsExact) {
  const BootstrapOptions o = Parse({u"-CSP", u"-SILENT", u"-UcSp", u"-SELECTDLG", u"-NoRestart"});
  EXPECT_TRUE(o.csp && o.silent && o.ucsp && o.selectDlg && o.norestart);
  EXPECT_FALSE(o.reinstall);
  EXPECT_TRUE(Parse({u"-reinstall"}).reinstall);
  Parse({u"-Reinstall"}, kNot);
  Parse({u"-REINSTALL"}, kNot);
}

// Tests that the help asked for (the help's own -? too) stops the parse, and
// that unknown arguments, prefixes and non-ASCII letters that only look alike
// are not understood.
TEST(ParseArgumentsTest, HelpAndUnknownArguments) {
  for (const WString& a : {WString(u"-help"), WString(u"--HELP"), WString(u"/Help"), WString(u"-?")})
    Parse({a, u"-bogus"}, ParseOutcome::kHelp);
  Parse({u"-silent", u"-?"}, ParseOutcome::kHelp);
  for (const WString& a : {WString(u"-cs"), WString(u"-cspx"), WString(u"csp"), WString(u""), WString(u"/?"),
                           WString(u"-сsp") /* Cyrillic с */, WString(u"-silent "), WString(u"/silent")})
    Parse({a, u"-help"}, kNot);
}

// Tests what a command line that is not understood is told by: the first
// argument not understood, why, and whether -silent stands anywhere on it
// (after that argument, or as a value, too).
TEST(ParseArgumentsTest, NotUnderstoodNamesTheArgumentAndWhy) {
  const struct {
    std::vector<WString> arguments;
    const char16_t* argument;
    const char16_t* reason;
    bool silent;
  } kRows[] = {
      {{u"-silent", u"-norestrat"}, u"-norestrat", u"unknown option", true},
      {{u"-norestrat", u"-SILENT"}, u"-norestrat", u"unknown option", true},
      {{u"-VexisArgs", u"-silent", u"-x"}, u"-x", u"unknown option", true},
      {{u"-x", u"-silentx", u"-VexisArgs"}, u"-x", u"unknown option", false},
      {{u"-silent", u"-wait"}, u"-wait", u"a value is missing", true},
      {{u"-kc", u"kc2", u"-csp"}, u"-kc", u"-KC before -csp", false},
      {{u"-csp", u"-UCSPArgs", u"x", u"-silent"}, u"-UCSPArgs", u"-UCSPArgs before -ucsp", true},
      {{u"-Reinstall"}, u"-Reinstall", u"unknown option (only -reinstall in lower case is one)", false},
      {{u"-wait", u"5s"}, u"5s", u"the value of -wait is not a whole number of seconds from 0 to 86400", false},
  };
  for (const auto& row : kRows) {
    std::vector<WString> arguments = row.arguments;
    arguments.insert(arguments.begin(), u"vexissetup.exe");
    BootstrapOptions options;
    ParseFailure failure;
    EXPECT_EQ(ParseArguments(arguments, options, failure), kNot) << ToUtf8(row.argument);
    EXPECT_EQ(failure.argument, row.argument);
    EXPECT_EQ(failure.reason, row.reason);
    EXPECT_EQ(failure.silent, row.silent) << ToUtf8(row.argument);
  }
}

// Tests that the value options follow their provider flag, and append as documented.
TEST(ParseArgumentsTest, ValueOptionsAppend) {
  const BootstrapOptions o = Parse({u"-csp", u"-KC", u"kc2", u"-Lang", u"rus", u"-cspargs", u"/qn",
                                    u"-ucsp", u"-UCSPArgs", u"A=1", u"-UCSPARGS", u"B=2"});
  EXPECT_EQ(o.kcPattern, u"*kc2*");
  EXPECT_EQ(o.langPattern, u"*rus*");
  EXPECT_EQ(o.cspArgs, u"/qn ");
  EXPECT_EQ(o.ucspArgs, u"A=1 B=2 ");
  const BootstrapOptions v = Parse({u"-VexisArgs", u"a", u"-vexisargs", u"b"});
  EXPECT_EQ(v.pluginArgs, u" a  b ");
}

// Tests that a value option before its provider flag is not understood.
TEST(ParseArgumentsTest, ValueOptionBeforeItsFlagIsNotUnderstood) {
  EXPECT_FALSE(Parse({u"-KC", u"kc2", u"-csp"}, kNot).csp);
  Parse({u"-CSPArgs", u"x"}, kNot);
  Parse({u"-Lang", u"x", u"-csp"}, kNot);
  Parse({u"-csp", u"-UCSPArgs", u"x"}, kNot);
}

// Tests that a value is taken verbatim, even when it looks like an option.
TEST(ParseArgumentsTest, ValuesAreVerbatim) {
  const BootstrapOptions o = Parse({u"-VexisArgs", u"-help"});
  EXPECT_EQ(o.pluginArgs, u" -help ");
  const BootstrapOptions q = Parse({u"-VexisArgs", u"/qn REBOOT=R", u"-silent"});
  EXPECT_EQ(q.pluginArgs, u" /qn REBOOT=R ");
  EXPECT_TRUE(q.silent);
  const BootstrapOptions c = Parse({u"-csp", u"-CSPArgs", u"-csp", u"-KC", u""});
  EXPECT_EQ(c.cspArgs, u"-csp ");
  EXPECT_EQ(c.kcPattern, u"**");
  const BootstrapOptions cyr = Parse({u"-VexisArgs", u"INSTALLDIR=\"C:\\Программы\\Норвикс\""});
  EXPECT_EQ(cyr.pluginArgs, u" INSTALLDIR=\"C:\\Программы\\Норвикс\" ");
}

// Tests -wait: any case of the name, the next argument its value, a whole
// number of seconds from 0 to 86400 (leading zeros allowed), the last one
// given winning; anything else is not understood.
TEST(ParseArgumentsTest, WaitTakesWholeSeconds) {
  EXPECT_EQ(Parse({}).waitSeconds, 600u);
  const struct {
    const char16_t* value;
    std::uint32_t seconds;  // 0xFFFFFFFF: not understood
  } kRows[] = {
      {u"0", 0},        {u"3", 3},        {u"86400", 86400}, {u"0600", 600},
      {u"86401", ~0u},  {u"-1", ~0u},     {u"+5", ~0u},      {u" 5", ~0u},
      {u"5s", ~0u},     {u"", ~0u},       {u"1.5", ~0u},     {u"99999999999", ~0u},
      {u"٣", ~0u} /* an Arabic-Indic three */,
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(ToUtf8(row.value));
    if (row.seconds == ~0u) {
      Parse({u"-wait", row.value}, kNot);
    } else {
      EXPECT_EQ(Parse({u"-WAIT", row.value}).waitSeconds, row.seconds);
    }
  }
  EXPECT_EQ(Parse({u"-wait", u"5", u"-Wait", u"7"}).waitSeconds, 7u);
  Parse({u"-wait"}, kNot);
}

// Tests that a value option as the last argument has no value.
TEST(ParseArgumentsTest, ValueOptionWithoutValueIsNotUnderstood) {
  Parse({u"-csp", u"-CSPArgs"}, kNot);
  Parse({u"-VexisArgs"}, kNot);
  Parse({u"-csp", u"-KC"}, kNot);
}

const WString kBase =
    WString(u"Установщик Норвикс ЭЦП Browser plug-in.\n") +
    u"При запуске без параметров осуществляет установку с параметрами по умолчанию.\n" + u"\n" +
    u"Возможные параметры командной строки:\n" + u"  -?\t\t\tвывести данную справку\n" +
    u"  -vexisargs \"<args>\"\tдополнительные параметры\n\t\t\tкомандной строки(<args>) для\n\t\t\t"
    u"вызова msiexec /i при установке\n\t\t\tпакета MSI плагина\n" +
    u"  -reinstall\t\t\tпереустановка продукта\n" +
    u"  -silent\t\t\tподавить диалоговые окна\n\t\t\tбутстраппера\n" +
    u"  -norestart\t\tподавить перезагрузку, если она\n\t\t\tбудет необходима\n";
const WString kCspArgs =
    u"  -cspargs \"<args>\"\tдополнителные параметры\n\t\t\tкомандной строки (<args>) для\n\t\t\t"
    u"вызова msiexec /i при установке\n\t\t\tпакета MSI Норвикс CSP\n";
const WString kUcspArgs =
    u"  -ucspargs \"<args>\"\tдополнительные параметры\n\t\t\tкомандной строки (<args>) для\n\t\t\t"
    u"вызова msiexec /i при установке\n\t\t\tпакета MSI Норвикс УЭК CSP\n";
const WString kCspTail = WString(u"  -selectDlg\tвывести диалог выбора конфигурации Норвикс CSP\n") +
                         u"  -KC\t\t\tуровень KC Норвикс CSP\n" + u"  -Lang\t\t\tязык Норвикс CSP\n";

// Tests the help text byte for byte for each combination of provider flags.
TEST(UsageTextTest, PiecesByProviderFlags) {
  EXPECT_EQ(BuildUsageText(false, false), kBase);
  EXPECT_EQ(BuildUsageText(true, false), kBase + kCspArgs + kCspTail);
  EXPECT_EQ(BuildUsageText(false, true), kBase + kUcspArgs);
  EXPECT_EQ(BuildUsageText(true, true), kBase + kCspArgs + kUcspArgs + kCspTail);
}

class ParseCommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
  std::uint32_t Run(std::vector<WString> arguments, BootstrapOptions& options, ParseOutcome& outcome) {
    arguments.insert(arguments.begin(), u"C:\\dist\\vexissetup.exe");
    sim::W().commandLine = arguments;
    outcome = ParseOutcome::kOptions;
    ParseFailure failure;
    return ParseCommandLine(options, outcome, failure);
  }
};

// Tests that a help request stops the parse with the provider flags seen so
// far, which choose the help's pieces, and shows nothing itself.
TEST_F(ParseCommandLineTest, HelpKeepsTheFlagsSeenSoFar) {
  const struct {
    std::vector<WString> arguments;
    bool csp;
    bool ucsp;
  } kRows[] = {
      {{u"-csp", u"-help"}, true, false},
      {{u"-help", u"-csp"}, false, false},
      {{u"-ucsp", u"-csp", u"-help"}, true, true},
      {{u"-silent", u"-?"}, false, false},
  };
  for (const auto& row : kRows) {
    sim::Reset();
    BootstrapOptions options;
    ParseOutcome outcome;
    EXPECT_EQ(Run(row.arguments, options, outcome), 0u);
    EXPECT_EQ(outcome, ParseOutcome::kHelp);
    EXPECT_EQ(options.csp, row.csp);
    EXPECT_EQ(options.ucsp, row.ucsp);
    EXPECT_TRUE(sim::W().boxes.empty());
  }
}

// Tests that a command line that cannot be split gives the system's code,
// with every option at its default and no box.
TEST_F(ParseCommandLineTest, SplitFailureGivesItsCode) {
  BootstrapOptions options;
  ParseOutcome outcome;
  sim::FailCall("CommandLineToArgvW", 8);
  EXPECT_EQ(Run({u"-silent"}, options, outcome), 8u);
  EXPECT_FALSE(options.silent);
  sim::Reset();
  sim::W().commandLineSplitFails = true;  // a failure that leaves GetLastError at 0
  EXPECT_EQ(Run({u"-silent"}, options, outcome), 8u);
}

// Tests that options parsed so far are kept and the run goes on.
TEST_F(ParseCommandLineTest, ParsedOptionsReturnZero) {
  BootstrapOptions options;
  ParseOutcome outcome;
  EXPECT_EQ(Run({u"-silent", u"-VexisArgs", u"/qn"}, options, outcome), 0u);
  EXPECT_EQ(outcome, ParseOutcome::kOptions);
  EXPECT_TRUE(options.silent);
  EXPECT_EQ(options.pluginArgs, u" /qn ");
}

}  // namespace
