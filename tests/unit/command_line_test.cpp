// The command line as administrators' scripts write it, and the help.
#include <gtest/gtest.h>

#include <vector>

#include "bootstrap/command_line.h"
#include "setup/entry_flow.h"
#include "tests/sim/sim_world.h"

namespace {

BootstrapOptions Parse(std::vector<WString> arguments, ParseOutcome expected = ParseOutcome::kOptions) {
  arguments.insert(arguments.begin(), u"vexissetup.exe");
  BootstrapOptions options;
  EXPECT_EQ(ParseArguments(arguments, options), expected);
  return options;
}

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
  Parse({u"-Reinstall"}, ParseOutcome::kHelp);
  Parse({u"-REINSTALL"}, ParseOutcome::kHelp);
}

// Tests the help requests and unknown arguments, including prefixes and
// non-ASCII letters that only look alike.
TEST(ParseArgumentsTest, HelpAndUnknownArguments) {
  for (const WString& a : {WString(u"-help"), WString(u"--HELP"), WString(u"/Help"), WString(u"-?"),
                           WString(u"-cs"), WString(u"-cspx"), WString(u"csp"), WString(u""),
                           WString(u"-сsp") /* Cyrillic с */, WString(u"-silent "), WString(u"/silent")})
    Parse({a}, ParseOutcome::kHelp);
  Parse({u"-silent", u"-?"}, ParseOutcome::kHelp);
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
TEST(ParseArgumentsTest, ValueOptionBeforeItsFlagShowsHelp) {
  BootstrapOptions o;
  EXPECT_EQ(ParseArguments({u"x", u"-KC", u"kc2", u"-csp"}, o), ParseOutcome::kHelp);
  EXPECT_FALSE(o.csp);
  Parse({u"-CSPArgs", u"x"}, ParseOutcome::kHelp);
  Parse({u"-Lang", u"x", u"-csp"}, ParseOutcome::kHelp);
  Parse({u"-csp", u"-UCSPArgs", u"x"}, ParseOutcome::kHelp);
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

// Tests that a value option as the last argument has no value and shows the help.
TEST(ParseArgumentsTest, ValueOptionWithoutValueShowsHelp) {
  Parse({u"-csp", u"-CSPArgs"}, ParseOutcome::kHelp);
  Parse({u"-VexisArgs"}, ParseOutcome::kHelp);
  Parse({u"-csp", u"-KC"}, ParseOutcome::kHelp);
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
  int Run(std::vector<WString> arguments, BootstrapOptions& options) {
    arguments.insert(arguments.begin(), u"C:\\dist\\vexissetup.exe");
    sim::W().commandLine = arguments;
    // As the run does: the help is shown, and the run ends with 0.
    ParseOutcome outcome = ParseOutcome::kOptions;
    const std::uint32_t parsed = ParseCommandLine(options, outcome);
    if (parsed == 0 && outcome == ParseOutcome::kHelp)
      ShowHelp(BuildUsageText(options.csp, options.ucsp));
    return static_cast<int>(parsed);
  }
};

// Tests that the help box has its caption and style, and ends the process with 0.
TEST_F(ParseCommandLineTest, HelpBoxEndsWithZero) {
  BootstrapOptions options;
  EXPECT_EQ(Run({u"-csp", u"-help"}, options), 0);
  ASSERT_EQ(sim::W().boxes.size(), 1u);
  EXPECT_EQ(sim::W().boxes[0].caption, u"Справка");
  EXPECT_EQ(sim::W().boxes[0].style, 0x40u);
  EXPECT_EQ(sim::W().boxes[0].text, kBase + kCspArgs + kCspTail);
}

// Tests that the help shows the provider pieces known when parsing stopped.
TEST_F(ParseCommandLineTest, HelpReflectsFlagsSeenSoFar) {
  BootstrapOptions options;
  EXPECT_EQ(Run({u"-help", u"-csp"}, options), 0);
  EXPECT_EQ(sim::W().boxes.at(0).text, kBase);
  sim::Reset();
  BootstrapOptions both;
  EXPECT_EQ(Run({u"-ucsp", u"-csp", u"-help"}, both), 0);
  EXPECT_EQ(sim::W().boxes.at(0).text, kBase + kCspArgs + kUcspArgs + kCspTail);
}

// Tests that -silent does not suppress the help.
TEST_F(ParseCommandLineTest, HelpShownWhenSilent) {
  BootstrapOptions options;
  EXPECT_EQ(Run({u"-silent", u"-?"}, options), 0);
  EXPECT_EQ(sim::W().boxes.size(), 1u);
}

// Tests that a command line that cannot be split gives the system's code,
// with every option at its default and no box.
TEST_F(ParseCommandLineTest, SplitFailureGivesItsCode) {
  BootstrapOptions options;
  sim::FailCall("CommandLineToArgvW", 8);
  EXPECT_EQ(Run({u"-silent"}, options), 8);
  EXPECT_FALSE(options.silent);
  EXPECT_TRUE(sim::W().boxes.empty());
  sim::Reset();
  sim::W().commandLineSplitFails = true;  // a failure that leaves GetLastError at 0
  EXPECT_EQ(Run({u"-silent"}, options), 8);
}

// Tests that options parsed so far are kept and the run goes on.
TEST_F(ParseCommandLineTest, ParsedOptionsReturnZero) {
  BootstrapOptions options;
  EXPECT_EQ(Run({u"-silent", u"-VexisArgs", u"/qn"}, options), 0);
  EXPECT_TRUE(options.silent);
  EXPECT_EQ(options.pluginArgs, u" /qn ");
  EXPECT_TRUE(sim::W().boxes.empty());
}

}  // namespace
