// The whole run on the simulated Windows, as an administrator sees it: the
// boxes, what was started, what is installed, the marker and the exit code.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "bootstrap/command_line.h"
#include "dialog/options_dialog.h"
#include "setup/dll_search.h"
#include "setup/entry_flow.h"
#include "tests/sim/sim_dialog.h"
#include "tests/sim/sim_programs.h"
#include "tests/sim/sim_world.h"

namespace {

const WString kCaption = u"Норвикс ЭЦП Browser plug-in";
const WString kProduct = u"{11111111-2222-3333-4444-555555555555}";
const WString kUpgrade = u"{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}";
const WString kMarker = u"Software\\NeedBstrReboot";
const WString kMsiexec = u"C:\\Windows\\system32\\msiexec.exe";
const WString kTemp = u"C:\\Users\\op\\AppData\\Local\\Temp";
const WString kRunLog = kTemp + u"\\vexissetup_2014-03-07-09-05-31.log";
const WString kBrowserNotice =
    u"Норвикс ЭЦП Browser plug-in успешно установлен.\nДля корректной работы Норвикс ЭЦП "
    u"Browser plug-in может потребоваться перезапустить браузер.";

// The texts of the run log's events, the milliseconds before them left out.
std::vector<std::string> RunLogEvents() {
  std::vector<std::string> events;
  const std::vector<std::string> lines = sim::FileLines(kRunLog);
  for (std::size_t i = 1; i < lines.size(); ++i)
    events.push_back(lines[i].substr(std::min(lines[i].find_first_not_of(" 0123456789"), lines[i].size())));
  return events;
}

class EntryFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::W().missingFunctions.insert("SetDefaultDllDirectories");  // XP to 7 without its update
    sim::AddPluginPackage(u"x64", u"vexiscom-x64.msi", kProduct, kUpgrade, u"2.0.1");
    sim::InstallMsiexec(0);
  }

  // Runs the bootstrapper with these arguments; the exit code.
  int Run(std::vector<WString> arguments) {
    arguments.insert(arguments.begin(), u"C:\\dist\\vexissetup.exe");
    sim::W().commandLine = arguments;
    RestrictDllSearch();
    const int exitCode = RunBootstrap(arguments.size() == 1);
    EXPECT_TRUE(sim::W().openHandles.empty()) << "a handle was left open";
    EXPECT_EQ(sim::W().plantableLibraries, std::vector<WString>{}) << "looked for beside the exe";
    EXPECT_GE(sim::CallCount("SetDllDirectoryW"), 1) << "the current directory is searched";
    return exitCode;
  }

  bool MarkerExists() { return sim::W().keys.count(kMarker) != 0; }
  const std::vector<sim::Box>& Boxes() { return sim::W().boxes; }
};

// Tests that a run with no arguments asks question 103 and, on No, installs nothing.
TEST_F(EntryFlowTest, NoArgumentsAnsweredNo) {
  sim::W().answers = {platform::kIdNo};
  EXPECT_EQ(Run({}), 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, u"Установить Норвикс ЭЦП Browser plug-in?");
  EXPECT_EQ(Boxes()[0].caption, kCaption);
  EXPECT_EQ(Boxes()[0].style, 0x4u);
  EXPECT_TRUE(sim::W().started.empty());
  EXPECT_EQ(sim::CallCount("CommandLineToArgvW"), 0) << "an empty tail is not parsed";
}

// Tests that the confirmation names the providers that will be installed.
TEST_F(EntryFlowTest, ConfirmationByProviderFlags) {
  const struct {
    std::vector<WString> arguments;
    const char16_t* question;
  } kData[] = {
      {{u"-csp"}, u"Установить Норвикс ЭЦП Browser plug-in и CSP?"},
      {{u"-ucsp"}, u"Установить Норвикс ЭЦП Browser plug-in и УЭК CSP?"},
      {{u"-ucsp", u"-csp"}, u"Установить Норвикс ЭЦП Browser plug-in, CSP и УЭК CSP?"},
      {{u"-norestart"}, u"Установить Норвикс ЭЦП Browser plug-in?"},
  };
  for (const auto& row : kData) {
    SetUp();
    sim::W().answers = {platform::kIdNo};
    EXPECT_EQ(Run(row.arguments), 0);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, row.question);
    EXPECT_TRUE(sim::W().started.empty());
  }
}

// Tests that Windows Installer's own interface is switched off after the
// confirmation, before the first installer call, and that a run declined at
// the confirmation never loads Windows Installer at all.
TEST_F(EntryFlowTest, SwitchesOffInstallerInterface) {
  sim::W().answers = {platform::kIdNo};
  Run({});
  EXPECT_EQ(sim::CallCount("MsiSetInternalUI"), 0);

  SetUp();
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(sim::W().internalUiLevel, 2);
  const auto& calls = sim::W().calls;
  const auto at = [&](const char* call) { return std::find(calls.begin(), calls.end(), call); };
  EXPECT_LT(at("MessageBoxW"), at("MsiSetInternalUI"));
  EXPECT_LT(at("MsiSetInternalUI"), at("MsiOpenDatabaseW"));
}

// Tests the administrator gate: box 101 unless silent, exit 1, the version not examined.
TEST_F(EntryFlowTest, NotAdministrator) {
  sim::W().admin = false;
  EXPECT_EQ(Run({}), 1);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, u"Программа должна быть запущена от имени администратора.");
  EXPECT_EQ(Boxes()[0].caption, kCaption);
  EXPECT_EQ(Boxes()[0].style, 0x10u);
  EXPECT_EQ(sim::CallCount("GetVersionExW"), 0);

  SetUp();
  sim::W().admin = false;
  EXPECT_EQ(Run({u"-silent"}), 1);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(sim::CallCount("GetVersionExW"), 0);
}

// Tests that a command line that cannot be split ends the run with the
// system's code before anything is asked or installed: -silent may be in it.
TEST_F(EntryFlowTest, UnsplittableCommandLineEndsTheRun) {
  sim::FailCall("CommandLineToArgvW", 8);
  EXPECT_EQ(Run({u"-silent", u"-csp"}), 8);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(sim::W().started.empty());
  EXPECT_EQ(sim::CallCount("IsUserAnAdmin"), 0);
}

// Tests a command line not understood: the help, then 1639, unless -silent
// stands anywhere on it, when nothing is shown; the run log names the
// argument and why. Nothing is examined, not even the administrator test.
TEST_F(EntryFlowTest, CommandLineNotUnderstood) {
  const struct {
    std::vector<WString> arguments;
    std::size_t boxes;
    const char* logged;
  } kRows[] = {
      {{u"-silent", u"-norestrat"}, 0, "command line: not understood: \"-norestrat\": unknown option"},
      {{u"-norestrat"}, 1, "help: shown"},
      {{u"-KC", u"kc2", u"-csp", u"-silent"}, 0, "command line: not understood: \"-KC\": -KC before -csp"},
  };
  for (const auto& row : kRows) {
    SetUp();
    EXPECT_EQ(Run(row.arguments), 1639);
    ASSERT_EQ(Boxes().size(), row.boxes);
    for (const sim::Box& box : Boxes()) EXPECT_EQ(box.text, BuildUsageText(false, false));
    EXPECT_EQ(sim::CallCount("IsUserAnAdmin"), 0);
    const std::vector<std::string> events = RunLogEvents();
    EXPECT_NE(std::find(events.begin(), events.end(), row.logged), events.end()) << row.logged;
  }
}

// Tests that the help works without administrator rights and before any gate.
TEST_F(EntryFlowTest, HelpBeforeTheGates) {
  sim::W().admin = false;
  EXPECT_EQ(Run({u"-silent", u"-csp", u"-?"}), 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].caption, u"Справка");
  EXPECT_EQ(Boxes()[0].style, 0x40u);
  // The help of the provider flags seen before the request.
  EXPECT_EQ(Boxes()[0].text, BuildUsageText(true, false));
  EXPECT_EQ(sim::CallCount("IsUserAnAdmin"), 0);
}

// Tests that a refused Windows version ends the run with its result as the
// exit code, before Windows Installer is touched or anything is started; in
// a silent run only the refusal of a version below 5 shows its box.
TEST_F(EntryFlowTest, RefusedWindowsVersion) {
  const struct {
    platform::WindowsVersion version;
    int exitCode;
  } kRows[] = {{{5, 0, 3}, 3}, {{5, 1, 1}, 4}, {{5, 2, 0}, 5}, {{4, 0, 6}, 6}};
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.exitCode);
    SetUp();
    sim::W().version = row.version;

    EXPECT_EQ(Run({u"-silent", u"-csp"}), row.exitCode);

    EXPECT_EQ(sim::CallCount("MsiSetInternalUI"), 0);
    EXPECT_TRUE(sim::W().started.empty());
    EXPECT_EQ(Boxes().size(), row.exitCode == 6 ? 1u : 0u);
  }
}

// Tests a first installation answered Yes: msiexec runs once, the browser notice follows.
TEST_F(EntryFlowTest, FirstInstallation) {
  EXPECT_EQ(Run({}), 0);
  ASSERT_EQ(sim::W().started.size(), 1u);
  EXPECT_EQ(sim::W().started[0].rfind(u"\"" + kMsiexec + u"\" /i \"C:\\dist\\x64\\vexiscom-x64.msi\" ", 0), 0u)
      << ToUtf8(sim::W().started[0]);
  EXPECT_EQ(sim::W().products.at(kProduct).version, u"2.0.1");
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[1].text,
            u"Норвикс ЭЦП Browser plug-in успешно установлен.\nДля корректной работы Норвикс "
            u"ЭЦП Browser plug-in может потребоваться перезапустить браузер.");
  EXPECT_EQ(Boxes()[1].caption, kCaption);
  EXPECT_EQ(Boxes()[1].style, 0x0u);
}

// Tests that a silent run shows no box at all and installs.
TEST_F(EntryFlowTest, SilentShowsNothing) {
  EXPECT_EQ(Run({u"-silent"}), 0);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(sim::W().products.count(kProduct), 1u);
}

// Tests the failure box: code, full stop, line break and the existing log.
TEST_F(EntryFlowTest, PluginFailureNamesCodeAndLog) {
  sim::InstallMsiexec(1603);
  EXPECT_EQ(Run({}), 1603);
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[1].text,
            u"В процессе установки или обновления Норвикс ЭЦП Browser plug-in возникла ошибка: "
            u"1603.\nInstall log: C:\\Users\\op\\AppData\\Local\\Temp\\vexiscom-x64.msi_2014-03-07-09-05-31.log");
  EXPECT_EQ(Boxes()[1].caption, kCaption);
  EXPECT_EQ(Boxes()[1].style, 0x10u);
}

// Tests that the log line is left out when the installer wrote nothing into
// its log, which is then gone from TMP; and that a TMP naming a folder that
// is gone starts nothing: no name is handed over that the bootstrapper did
// not create, and the exit code is the creation's (3).
TEST_F(EntryFlowTest, PluginFailureWithoutLog) {
  sim::W().programs[kMsiexec] = sim::ExitWith(1603);
  EXPECT_EQ(Run({}), 1603);
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[1].text,
            u"В процессе установки или обновления Норвикс ЭЦП Browser plug-in возникла ошибка: 1603.\n");
  EXPECT_FALSE(sim::FileExists(kTemp + u"\\vexiscom-x64.msi_2014-03-07-09-05-31.log"));

  SetUp();
  sim::W().environment[u"TMP"] = u"C:\\Gone";
  EXPECT_EQ(Run({}), 3);
  EXPECT_TRUE(sim::W().started.empty());
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[1].text,
            u"В процессе установки или обновления Норвикс ЭЦП Browser plug-in возникла ошибка: 3.\n");
}

// Tests that a tree without the plug-in's package ends with 232: message 151,
// then the failure box with the code alone (no log was arranged); silent, no
// box and the same code. Nothing is started.
TEST_F(EntryFlowTest, PackageMissing) {
  for (const bool silent : {false, true}) {
    SetUp();
    sim::W().packages.clear();
    sim::W().entries.clear();
    sim::AddFolder(u"C:\\dist\\x64");
    sim::AddFolder(u"C:\\Users\\op\\AppData\\Local\\Temp");
    if (silent) {
      EXPECT_EQ(Run({u"-silent"}), 232);
      EXPECT_TRUE(Boxes().empty());
    } else {
      EXPECT_EQ(Run({}), 232);
      ASSERT_EQ(Boxes().size(), 3u);
      EXPECT_EQ(Boxes()[1].text, u"Невозможно найти ProductCode msi-пакета.");
      EXPECT_EQ(Boxes()[1].caption, u"Ошибка");
      EXPECT_EQ(Boxes()[2].text,
                u"В процессе установки или обновления Норвикс ЭЦП Browser plug-in возникла "
                u"ошибка: 232.\n");
      EXPECT_EQ(Boxes()[2].caption, kCaption);
      EXPECT_EQ(Boxes()[2].style, 0x10u);
    }
    EXPECT_TRUE(sim::W().started.empty());
  }
}

// Tests that the installer's user cancel ends the run with 1602 and no box.
TEST_F(EntryFlowTest, UserCancelInInstaller) {
  sim::InstallMsiexec(1602);
  EXPECT_EQ(Run({}), 1602);
  EXPECT_EQ(Boxes().size(), 1u);
}

// Tests the restart offered after 3010: marker deleted before the question, No keeps it gone.
TEST_F(EntryFlowTest, RestartQuestionAnsweredNo) {
  sim::InstallMsiexec(3010);
  sim::W().answers = {platform::kIdYes, platform::kIdNo};
  EXPECT_EQ(Run({}), 0);
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[1].text,
            u"Норвикс ЭЦП Browser plug-in успешно установлен.\nДля корректной работы Норвикс "
            u"ЭЦП Browser plug-in необходимо перезагрузить компьютер.\nПроизвести перезагрузку сейчас?");
  EXPECT_EQ(Boxes()[1].style, 0x34u);
  EXPECT_FALSE(MarkerExists());
  EXPECT_FALSE(sim::W().restarted);
}

// Tests the restart on Yes, and silently without a question.
TEST_F(EntryFlowTest, RestartStarted) {
  sim::InstallMsiexec(3010);
  EXPECT_EQ(Run({}), 0);
  EXPECT_TRUE(sim::W().restarted);
  EXPECT_EQ(sim::W().restartFlags, 6u);

  SetUp();
  sim::InstallMsiexec(1641);
  sim::W().interactiveUser = false;
  EXPECT_EQ(Run({u"-silent"}), 0);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(sim::W().restarted);
  EXPECT_FALSE(MarkerExists());
}

// Tests -norestart: the browser notice instead of the question, the marker kept,
// and the next run without it offers the restart although it needed none.
TEST_F(EntryFlowTest, NoRestartKeepsMarkerForNextRun) {
  sim::InstallMsiexec(3010);
  sim::W().programs[u"csp\\Setup.exe"] = sim::ExitWith(0);
  EXPECT_EQ(Run({u"-csp", u"-norestart"}), 0);
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[1].text,
            u"Норвикс ЭЦП Browser plug-in и CSP успешно установлены.\nДля корректной работы "
            u"Норвикс ЭЦП Browser plug-in и CSP может потребоваться перезапустить браузер.");
  EXPECT_TRUE(MarkerExists());
  EXPECT_FALSE(sim::W().restarted);

  // The next run: the same version is installed; silent does nothing, yet the
  // marker left behind brings the restart.
  sim::W().boxes.clear();
  sim::W().programs[kMsiexec] = sim::ExitWith(0);
  EXPECT_EQ(Run({u"-silent"}), 0);
  EXPECT_TRUE(sim::W().restarted);
  EXPECT_FALSE(MarkerExists());
}

// Tests that the closing box names what was installed: the restart question
// after a restart code of the installer or of a provider, the browser notice
// otherwise, for each provider choice.
TEST_F(EntryFlowTest, ClosingBoxByProviderFlags) {
  const struct {
    std::vector<WString> arguments;
    std::uint32_t providerExit;
    std::uint32_t installerExit;
    const char16_t* text;
    std::uint32_t style;
  } kData[] = {
      {{u"-csp"}, 3010, 0,
       u"Норвикс ЭЦП Browser plug-in и CSP успешно установлены.\nДля корректной работы Норвикс ЭЦП "
       u"Browser plug-in и CSP необходимо перезагрузить компьютер.\nПроизвести перезагрузку сейчас?",
       0x34},
      {{u"-ucsp"}, 3011, 0,
       u"Норвикс ЭЦП Browser plug-in и УЭК CSP успешно установлены.\nДля корректной работы Норвикс ЭЦП "
       u"Browser plug-in и УЭК CSP необходимо перезагрузить компьютер.\nПроизвести перезагрузку сейчас?",
       0x34},
      {{u"-csp", u"-ucsp"}, 0, 1641,
       u"Норвикс ЭЦП Browser plug-in, CSP и УЭК CSP успешно установлены.\nДля корректной работы Норвикс "
       u"ЭЦП Browser plug-in, CSP и UCSP необходимо перезагрузить компьютер.\nПроизвести перезагрузку "
       u"сейчас?",
       0x34},
      {{u"-ucsp"}, 0, 0,
       u"Норвикс ЭЦП Browser plug-in и УЭК CSP успешно установлены.\nДля корректной работы Норвикс ЭЦП "
       u"Browser plug-in и УЭК CSP может потребоваться перезапустить браузер.",
       0x0},
      {{u"-ucsp", u"-csp"}, 0, 0,
       u"Норвикс ЭЦП Browser plug-in, CSP и UCSP успешно установлены.\nДля корректной работы Норвикс "
       u"ЭЦП Browser plug-in, CSP и УЭК CSP может потребоваться перезапустить браузер.",
       0x0},
  };
  for (const auto& row : kData) {
    SetUp();
    sim::InstallMsiexec(row.installerExit);
    sim::W().programs[u"csp\\Setup.exe"] = sim::ExitWith(row.providerExit);
    sim::W().programs[u"ucsp\\Setup.exe"] = sim::ExitWith(row.providerExit);
    sim::W().answers = {platform::kIdYes, platform::kIdNo};
    EXPECT_EQ(Run(row.arguments), 0);
    EXPECT_EQ(sim::W().products.count(kProduct), 1u);
    EXPECT_FALSE(MarkerExists());
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[1].text, row.text);
    EXPECT_EQ(Boxes()[1].caption, kCaption);
    EXPECT_EQ(Boxes()[1].style, row.style);
    EXPECT_FALSE(sim::W().restarted);
  }
}

// Tests a restart that cannot be started: message 111 with OK only, exit 7, the marker made again.
TEST_F(EntryFlowTest, RestartFails) {
  sim::InstallMsiexec(3010);
  sim::W().shutdownPrivilegeHeld = false;
  EXPECT_EQ(Run({}), 7);
  ASSERT_EQ(Boxes().size(), 3u);
  EXPECT_EQ(Boxes()[2].text, u"Не удалось произвести перезагрузку.\nПерезагрузите компьютер вручную.");
  EXPECT_EQ(Boxes()[2].style, 0x0u);
  EXPECT_EQ(sim::CallCount("InitiateSystemShutdownExW"), 0);
  EXPECT_TRUE(MarkerExists());

  SetUp();
  sim::InstallMsiexec(3010);
  sim::FailCall("InitiateSystemShutdownExW", 1115);
  EXPECT_EQ(Run({u"-silent"}), 7);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(MarkerExists());
}

// Tests that the marker is deleted only at the end of a successful run: one
// left by an earlier run, or by a provider of this run, survives a failure, a
// No at the confirmation and a cancel.
TEST_F(EntryFlowTest, MarkerSurvivesARunThatDoesNotSucceed) {
  const struct {
    const char* name;
    bool earlierMarker;
    std::vector<WString> arguments;
    std::uint32_t cspExit, ucspExit, installerExit;
    int exitCode;
  } kData[] = {
      {"plug-in fails", true, {}, 0, 0, 1603, 1603},
      {"declined at the confirmation", true, {u"-csp"}, 0, 0, 0, 0},
      {"installer cancelled", true, {}, 0, 0, 1602, 1602},
      {"csp asks for a restart, ucsp fails", false, {u"-csp", u"-ucsp"}, 3010, 1603, 0, 1603},
      {"ucsp asks for a restart, plug-in fails", false, {u"-ucsp", u"-silent"}, 0, 3011, 1603, 1603},
  };
  for (const auto& row : kData) {
    SCOPED_TRACE(row.name);
    SetUp();
    if (row.earlierMarker) sim::W().keys.insert(kMarker);
    sim::W().programs[u"csp\\Setup.exe"] = sim::ExitWith(row.cspExit);
    sim::W().programs[u"ucsp\\Setup.exe"] = sim::ExitWith(row.ucspExit);
    sim::InstallMsiexec(row.installerExit);
    if (row.exitCode == 0) sim::W().answers = {platform::kIdNo};
    EXPECT_EQ(Run(row.arguments), row.exitCode);
    EXPECT_TRUE(MarkerExists());
    EXPECT_FALSE(sim::W().restarted);
  }
}

// Tests the order csp, ucsp, plug-in, and that a failing provider stops the chain.
TEST_F(EntryFlowTest, ProvidersInOrderAndFirstFailureStops) {
  sim::W().programs[u"csp\\Setup.exe"] = sim::ExitWith(0);
  sim::W().programs[u"ucsp\\Setup.exe"] = sim::ExitWith(0);
  EXPECT_EQ(Run({u"-ucsp", u"-csp", u"-silent"}), 0);
  ASSERT_EQ(sim::W().started.size(), 3u);
  EXPECT_EQ(sim::W().started[0].rfind(u"csp\\Setup.exe ", 0), 0u);
  EXPECT_EQ(sim::W().started[1].rfind(u"ucsp\\Setup.exe ", 0), 0u);
  EXPECT_EQ(sim::W().started[2].rfind(u"\"" + kMsiexec, 0), 0u);

  SetUp();
  sim::W().programs[u"csp\\Setup.exe"] = sim::ExitWith(1603);
  sim::W().programs[u"ucsp\\Setup.exe"] = sim::ExitWith(0);
  EXPECT_EQ(Run({u"-csp", u"-ucsp", u"-silent"}), 1603);
  ASSERT_EQ(sim::W().started.size(), 1u);
  EXPECT_TRUE(Boxes().empty());

  // A failing ucsp after a good csp: the plug-in is not attempted either.
  SetUp();
  sim::W().programs[u"csp\\Setup.exe"] = sim::ExitWith(0);
  sim::W().programs[u"ucsp\\Setup.exe"] = sim::ExitWith(1618);
  EXPECT_EQ(Run({u"-csp", u"-ucsp", u"-silent"}), 1618);
  ASSERT_EQ(sim::W().started.size(), 2u);
  EXPECT_EQ(sim::W().started[1].rfind(u"ucsp\\Setup.exe ", 0), 0u);
  EXPECT_TRUE(Boxes().empty());
}

// Tests that the options dialog is not shown when silent or without -csp;
// the run installs the plug-in all the same. Cancelling the dialog ends the
// run with 0 after the confirmation, before anything is started.
TEST_F(EntryFlowTest, DialogOnlyWithCspAndNotSilent) {
  sim::W().programs[u"csp\\Setup.exe"] = sim::ExitWith(0);
  EXPECT_EQ(Run({u"-selectDlg", u"-csp", u"-silent"}), 0);
  EXPECT_EQ(sim::CallCount("DialogBoxParamW"), 0);
  EXPECT_EQ(sim::W().started.size(), 2u);
  SetUp();
  EXPECT_EQ(Run({u"-selectDlg"}), 0);
  EXPECT_EQ(sim::CallCount("DialogBoxParamW"), 0);
  EXPECT_EQ(sim::W().products.count(kProduct), 1u);
  EXPECT_EQ(Boxes().size(), 2u);

  SetUp();
  sim::W().programs[u"csp\\Setup.exe"] = sim::ExitWith(0);
  sim::W().dialogScript = [](platform::WindowRef) { sim::PressButton(options_dialog::kCancel); };
  EXPECT_EQ(Run({u"-csp", u"-selectDlg"}), 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, u"Установить Норвикс ЭЦП Browser plug-in и CSP?");
  EXPECT_EQ(sim::CallCount("DialogBoxParamW"), 1);
  EXPECT_TRUE(sim::W().started.empty());
}

// Tests that the run log records what each kind of run saw, decided and
// started, in the order of the run, with the secret of the arguments masked,
// and that its last line is the exit code.
TEST_F(EntryFlowTest, RunLogRecordsTheRun) {
  const struct {
    const char* name;
    std::vector<WString> arguments;
    std::function<void()> arrange;
    int exitCode;
    std::vector<std::string> events;  // each the start of a line, in this order
  } kData[] = {
      {"provider failure",
       {u"-csp", u"-CSPArgs", u"PIN=s3cr3t"},
       [] {
         sim::W().programs[u"csp\\Setup.exe"] = [](const WString&) {
           sim::W().tickCount += 250;
           return 1603u;
         };
       },
       1603,
       {"command line: C:\\dist\\vexissetup.exe -csp -CSPArgs PIN=******",
        "options: csp yes, ucsp no, selectDlg no, silent no, reinstall no, norestart no",
        "options: cspArgs: PIN=****** ", "administrator: yes",
        "Windows version: 6.1, service pack 1", "Windows version gate: accepted", "box 102: Yes",
        "csp: installer log: C:\\Users\\op\\AppData\\Local\\Temp\\csp_2014-03-07-09-05-31.log",
        "csp: started csp\\Setup.exe -args \"/qb /Lv! ", "csp: ended after 250 ms with exit code 1603",
        "csp: the run stops", "box 105: OK", "exit code 1603: the csp provider's setup failed"}},
      {"first installation",
       {u"-silent", u"-VexisArgs", u"/qn"},
       [] {},
       0,
       {"WOW64: yes; plug-in package pattern vexiscom*x64*.msi",
        "plug-in package: C:\\dist\\x64\\vexiscom-x64.msi",
        "plug-in package: ProductCode {11111111-2222-3333-4444-555555555555}, UpgradeCode "
        "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}, ProductVersion 2.0.1",
        "related product: none found, error: 259", "decision: first installation",
        "msiexec: started \"C:\\Windows\\system32\\msiexec.exe\" /i "
        "\"C:\\dist\\x64\\vexiscom-x64.msi\" /Lv! "
        "\"C:\\Users\\op\\AppData\\Local\\Temp\\vexiscom-x64.msi_2014-03-07-09-05-31.log\" "
        "REBOOT=R  /qn ",
        "msiexec: ended after 0 ms with exit code 0", "plug-in: result: 0",
        "exit code 0: done; no restart pending"}},
      {"the x64 build: a 64-bit process",
       {u"-silent"},
       [] { sim::W().process64Bit = true; },
       0,
       {"WOW64: no, a 64-bit process on 64-bit Windows; plug-in package pattern vexiscom*x64*.msi",
        "plug-in package: C:\\dist\\x64\\vexiscom-x64.msi", "exit code 0: done"}},
      {"32-bit Windows",
       {u"-silent"},
       [] {
         sim::W().wow64 = false;
         sim::AddPluginPackage(u"win32", u"vexiscom-win32.msi", kProduct, kUpgrade, u"2.0.1");
       },
       0,
       {"WOW64: no; plug-in package pattern vexiscom*win32*.msi",
        "plug-in package: C:\\dist\\win32\\vexiscom-win32.msi", "exit code 0: done"}},
      {"upgrade",
       {u"-silent"},
       [] { sim::InstallPluginProduct(kProduct, kUpgrade, u"2.0.0"); },
       0,
       {"related product: {11111111-2222-3333-4444-555555555555}", "related product: state 5",
        "installed version: 2.0.0", "package version 2.0.1 is newer than the installed one",
        "decision: upgrade of the installed version", "related product: feature NPVEXIS state 3",
        "msiexec: started", "exit code 0: done"}},
      {"refusal: a newer version installed",
       {},
       [] { sim::InstallPluginProduct(kProduct, kUpgrade, u"2.0.10"); },
       0,
       {"box 103: Yes", "installed version: 2.0.10",
        "package version 2.0.1 is older than the installed one", "box 150: OK",
        "decision: a newer version is installed; nothing is installed", "plug-in: result: 0",
        "exit code 0: done"}},
      {"reinstallation declined",
       {},
       [] {
         sim::InstallPluginProduct(kProduct, kUpgrade, u"2.0.1");
         sim::W().answers = {platform::kIdYes, platform::kIdNo};
       },
       1602,
       {"installed version: 2.0.1", "package version 2.0.1 is the installed version", "box 147: No",
        "decision: the same version is installed; the reinstallation was declined",
        "exit code 1602: the reinstallation was declined"}},
      {"declined confirmation",
       {u"-VexisArgs", u"/qn PASSWORD=\"s3cr3t s3cr3t\""},
       [] { sim::W().answers = {platform::kIdNo}; },
       0,
       {"command line: C:\\dist\\vexissetup.exe -VexisArgs \"/qn PASSWORD=******\"",
        "options: pluginArgs:  /qn PASSWORD=****** ", "box 103: No",
        "exit code 0: declined at the confirmation"}},
      {"cancelled dialog",
       {u"-csp", u"-selectDlg"},
       [] {
         sim::W().uiLanguage = 1033;
         sim::W().dialogScript = [](platform::WindowRef) {
           sim::PressButton(options_dialog::kCancel);
         };
       },
       0,
       {"box 102: Yes", "options dialog: system UI language: 1033", "options dialog: cancelled",
        "exit code 0: the options dialog was cancelled"}},
      {"refused gate",
       {},
       [] { sim::W().version = {5, 1, 1}; },
       4,
       {"administrator: yes", "Windows version: 5.1, service pack 1",
        "Windows version gate: refused, result: 4",
        "box 118: OK", "exit code 4: this Windows version or service pack is refused"}},
      {"not administrator",
       {u"-silent"},
       [] { sim::W().admin = false; },
       1,
       {"administrator: no", "exit code 1: not started as administrator"}},
      {"plug-in failure",
       {},
       [] { sim::InstallMsiexec(1603); },
       1603,
       {"plug-in: result: 1603",
        "plug-in: installer log: C:\\Users\\op\\AppData\\Local\\Temp\\vexiscom-x64.msi_2014-03-07-09-05-31.log",
        "box 106: OK", "exit code 1603: the plug-in's installation failed"}},
      {"silent restart",
       {u"-silent"},
       [] { sim::InstallMsiexec(3010); },
       0,
       {"confirmation: not asked (-silent)", "restart marker: created", "plug-in: result: 0",
        "restart marker: present", "restart marker: deleted",
        "restart: -silent, restarting without a question",
        "exit code 0: done; the restart of Windows is being started"}},
      {"restart fails",
       {},
       [] {
         sim::InstallMsiexec(3010);
         sim::W().shutdownPrivilegeHeld = false;
       },
       7,
       {"box 108: Yes", "exit code 0: done; the restart of Windows is being started",
        "restart: AdjustTokenPrivileges failed, error 1300", "restart marker: created", "box 111: OK",
        "exit code 7: done, but the restart could not be started"}},
      {"restart kept for later",
       {u"-norestart"},
       [] { sim::InstallMsiexec(3010); },
       0,
       {"restart marker: present", "box 110: OK",
        "exit code 0: done; -norestart keeps the pending restart"}},
  };
  for (const auto& row : kData) {
    SetUp();
    row.arrange();
    EXPECT_EQ(Run(row.arguments), row.exitCode) << row.name;
    const std::vector<std::string> events = RunLogEvents();
    std::string all;
    for (const std::string& event : events) all += event + "\n";
    auto at = events.begin();
    for (const std::string& expected : row.events) {
      at = std::find_if(at, events.end(),
                        [&](const std::string& e) { return e.compare(0, expected.size(), expected) == 0; });
      ASSERT_NE(at, events.end()) << row.name << ": no \"" << expected << "\" in order in\n" << all;
      ++at;
    }
    EXPECT_EQ(events.back().rfind("exit code " + std::to_string(row.exitCode) + ":", 0), 0u)
        << row.name << "\n" << all;
    EXPECT_EQ(sim::FileContents(kRunLog).find("s3cr3t"), std::string::npos) << row.name;
    // A restart may end the process at once: nothing is left to write then.
    const auto& calls = sim::W().calls;
    if (sim::W().restarted) {
      const auto restart = std::find(calls.begin(), calls.end(), "InitiateSystemShutdownExW");
      EXPECT_EQ(std::find(restart, calls.end(), "WriteFile"), calls.end()) << row.name;
    }
  }
}

// Tests that the log never changes the run: with every write failing, or the
// file not creatable, each run shows the same boxes, starts the same programs
// and ends with the same exit code as with a working log.
TEST_F(EntryFlowTest, RunLogNeverChangesTheRun) {
  const struct {
    std::vector<WString> arguments;
    std::uint32_t installerExit;
    std::deque<int> answers;
  } kRuns[] = {
      {{}, 0, {}},
      {{u"-csp", u"-ucsp"}, 3010, {platform::kIdYes, platform::kIdNo}},
      {{u"-silent", u"-csp"}, 1603, {}},
      {{}, 0, {platform::kIdNo}},
  };
  const std::function<void()> kBrokenLogs[] = {
      [] { sim::FailCall("WriteFile", 112); },   // the disk is full
      [] { sim::FailCall("CreateFileW", 5, 1); },  // the run log: access denied
      [] { sim::FailCall("WriteFile", 112, 3); },
  };
  for (const auto& run : kRuns) {
    std::vector<std::vector<WString>> texts;
    std::vector<std::vector<WString>> started;
    std::vector<int> exits;
    for (int broken = -1; broken < 3; ++broken) {
      SetUp();
      sim::InstallMsiexec(run.installerExit);
      sim::W().programs[u"csp\\Setup.exe"] = sim::ExitWith(0);
      sim::W().programs[u"ucsp\\Setup.exe"] = sim::ExitWith(0);
      sim::W().answers = run.answers;
      if (broken >= 0) kBrokenLogs[broken]();
      exits.push_back(Run(run.arguments));
      texts.emplace_back();
      for (const sim::Box& box : Boxes()) texts.back().push_back(box.text + box.caption);
      started.push_back(sim::W().started);
    }
    for (std::size_t broken = 1; broken < exits.size(); ++broken) {
      EXPECT_EQ(exits[broken], exits[0]) << broken;
      EXPECT_EQ(texts[broken], texts[0]) << broken;
      EXPECT_EQ(started[broken], started[0]) << broken;
    }
  }
}

// Tests that a signed setup starts only what its own publisher signed: each
// package and provider setup is verified through a handle that holds it,
// writers refused, while it runs; an unsigned setup, or one that this
// Windows cannot verify, checks nothing and runs as it always did.
TEST_F(EntryFlowTest, SignedSetupStartsOnlyItsPublishersFiles) {
  const WString kSetup = u"C:\\dist\\vexissetup.exe";
  const WString kPackage = u"C:\\dist\\x64\\vexiscom-x64.msi";
  const WString kCsp = u"C:\\dist\\csp\\Setup.exe";
  const WString kRefused =
      u"Файл не будет запущен: он не подписан издателем программы установки или изменён после "
      u"подписания:\n";
  const WString kPluginFailed =
      u"В процессе установки или обновления Норвикс ЭЦП Browser plug-in возникла ошибка: ";
  const WString kNotCheckable =
      u"Подпись файла не может быть проверена в этой версии Windows: она не поддерживает алгоритм "
      u"подписи (SHA-256). Установите обновление с поддержкой SHA-2 или используйте неподписанную "
      u"сборку программы установки:\n";
  // An offline machine whose root store holds no root of the publisher's:
  // the program signed with its own certificate, the package with `package`
  // ("ours", or a look-alike with the same subject and another key).
  const auto offline = [&](const std::string& package) {
    sim::W().trustedRoots.clear();
    sim::W().certificates["ours"] = {"CN=Vexis", u"Vexis", "ours"};
    sim::W().certificates["look-alike"] = {"CN=Vexis", u"Vexis", "look-alike"};
    sim::SignWith(kSetup, "ours");
    sim::SignWith(kPackage, package);
  };
  const struct {
    const char* name;
    std::vector<WString> arguments;
    std::function<void()> arrange;
    std::uint32_t exitCode;
    std::vector<std::pair<WString, WString>> boxes;  // after the confirmation: text, caption
    const char* logged;                              // the start of a line of the run log
  } kRows[] = {
      {"unsigned setup: nothing is checked", {}, [] {}, 0, {{kBrowserNotice, kCaption}},
       "signature of this program: none (not signed); the files started are not checked"},
      {"the same publisher", {}, [&] {
         sim::Sign(kSetup, "CN=Vexis", u"Vexis");
         sim::Sign(kPackage, "CN=Vexis", u"Vexis");
       }, 0, {{kBrowserNotice, kCaption}},
       "plug-in package: signature: verified, signer Vexis"},
      {"a renewed certificate of the same publisher", {}, [&] {
         sim::Sign(kSetup, "CN=Vexis", u"Vexis 2025");
         sim::Sign(kPackage, "CN=Vexis", u"Vexis 2026");
       }, 0, {{kBrowserNotice, kCaption}},
       "plug-in package: accepted: signer verified, same publisher"},
      {"offline, no root: one certificate for the program, the package and the provider",
       {u"-silent", u"-csp"}, [&] {
         offline("ours");
         sim::AddFile(kCsp);
         sim::W().programs[u"csp\\Setup.exe"] = sim::ExitWith(0);
         sim::SignWith(kCsp, "ours");
       }, 0, {}, "csp: accepted: same certificate as this program; its root is not trusted on this machine"},
      {"offline, no root: a look-alike package", {}, [&] { offline("look-alike"); }, 0x800B0109,
       {{kRefused + kPackage + u"\nКод ошибки: 0x800B0109.", u"Ошибка"}},
       "plug-in package: signature: 0x800B0109 (its root is not trusted on this machine), signer Vexis, "
       "another certificate than this program's"},
      {"the publisher's root trusted: a look-alike package under a root of its own", {}, [&] {
         sim::Sign(kSetup, "CN=Vexis", u"Vexis");
         sim::W().certificates["look-alike"] = {"CN=Vexis", u"Vexis", "look-alike"};
         sim::SignWith(kPackage, "look-alike");
       }, 0x800B0109, {{kRefused + kPackage + u"\nКод ошибки: 0x800B0109.", u"Ошибка"}},
       "plug-in package: refused: 0x800B0109 (its root is not trusted on this machine)"},
      {"offline, no root: the package changed after signing", {}, [&] {
         offline("ours");
         sim::OtherWrites(kPackage, "changed");
       }, 0x80096010, {{kRefused + kPackage + u"\nКод ошибки: 0x80096010.", u"Ошибка"}},
       "plug-in package: refused: 0x80096010 (changed after signing)"},
      {"an expired certificate without a time-stamp", {}, [&] {
         sim::W().certificates["expired"] = {"CN=Vexis", u"Vexis", "root", true};
         sim::SignWith(kSetup, "expired", false);
         sim::SignWith(kPackage, "expired", false);
       }, 0, {{kBrowserNotice, kCaption}},
       "signature of this program: 0x800B0101 (its certificate has expired and the signature has no "
       "time-stamp), signer Vexis"},
      {"Windows XP SP2 cannot check SHA-256", {}, [&] {
         sim::Sign(kSetup, "CN=Vexis", u"Vexis");
         sim::W().version = {5, 1, 2};
         sim::W().checksSha2 = false;
       }, 0x80090008, {{kNotCheckable + kSetup + u"\nКод ошибки: 0x80090008.", kCaption}},
       "signature of this program: 0x80090008 (this Windows cannot check this signature's algorithm); "
       "nothing is started"},
      {"Server 2003 SP2 without its SHA-2 update", {u"-silent"}, [&] {
         sim::Sign(kSetup, "CN=Vexis", u"Vexis");
         sim::W().version = {5, 2, 2};
         sim::W().checksSha2 = false;
       }, 0x80096004, {}, "signature of this program: 0x80096004 (this Windows cannot check"},
      // A refused file has one box, 153, and nothing after it.
      {"an unsigned package", {}, [&] { sim::Sign(kSetup, "CN=Vexis", u"Vexis"); }, 0x800B0100,
       {{kRefused + kPackage + u"\nКод ошибки: 0x800B0100.", u"Ошибка"}},
       "plug-in package: refused: 0x800B0100 (not signed); this program's publisher must sign it"},
      {"a package changed after signing", {}, [&] {
         sim::Sign(kSetup, "CN=Vexis", u"Vexis");
         sim::Sign(kPackage, "CN=Vexis", u"Vexis");
         sim::OtherWrites(kPackage, "changed");
       }, 0x80096010,
       {{kRefused + kPackage + u"\nКод ошибки: 0x80096010.", u"Ошибка"}},
       "plug-in package: signature: 0x80096010 (changed after signing)"},
      {"a package of another publisher, the same version installed", {}, [&] {
         sim::Sign(kSetup, "CN=Vexis", u"Vexis");
         sim::Sign(kPackage, "CN=Other", u"Other");
         sim::InstallPluginProduct(kProduct, kUpgrade, u"2.0.1");
       }, 0x800B0004,
       {{kRefused + kPackage + u"\nКод ошибки: 0x800B0004.", u"Ошибка"}},
       "exit code 2148204548: the plug-in package was refused; nothing of it was started"},
      {"a folder whose name holds %2", {}, [&] {
         sim::Sign(kSetup, "CN=Vexis", u"Vexis");
         ASSERT_EQ(sim::OtherRenames(u"C:\\dist\\x64", u"C:\\dist\\dist%20b"), 0u);
       }, 0x800B0100,
       {{kRefused + u"C:\\dist\\dist%20b\\vexiscom-x64.msi\nКод ошибки: 0x800B0100.", u"Ошибка"}},
       "plug-in package: refused"},
      {"an unsigned package, silent", {u"-silent"}, [&] { sim::Sign(kSetup, "CN=Vexis", u"Vexis"); },
       0x800B0100, {}, "exit code 2148204800: the plug-in package was refused"},
      // A signed program that cannot check what it starts starts nothing.
      {"a Windows that cannot verify", {}, [&] {
         sim::Sign(kSetup, "CN=Vexis", u"Vexis");
         sim::W().missingFunctions.insert("WinVerifyTrust");
       }, 127, {{kPluginFailed + u"127.\n", kCaption}},
       "signature of this program: 127 (this Windows cannot verify signatures); nothing is started"},
      {"a signed program that cannot read its own file", {}, [&] {
         sim::Sign(kSetup, "CN=Vexis", u"Vexis");
         sim::FailCall("CreateFileW", 32, 2);  // the first is the run log's
       }, 32, {{kPluginFailed + u"32.\n", kCaption}},
       "signature of this program: its file could not be read, error 32; nothing is started"},
      {"a signed program whose signer cannot be read", {}, [&] { sim::Sign(kSetup, "", u""); }, 1627,
       {{kPluginFailed + u"1627.\n", kCaption}},
       "signature of this program: verified, but its signer cannot be read; nothing is started"},
      {"a signed program changed after signing", {}, [&] {
         sim::SetSignatureResult(kSetup, 0x80096010);
       }, 0x80096010, {{kRefused + kSetup + u"\nКод ошибки: 0x80096010.", kCaption}},
       "exit code 2148098064: this program's own signature could not be checked"},
      {"an unsigned provider setup", {u"-csp"}, [&] {
         sim::AddFile(kCsp);
         sim::W().programs[u"csp\\Setup.exe"] = sim::ExitWith(0);
         sim::Sign(kSetup, "CN=Vexis", u"Vexis");
         sim::Sign(kPackage, "CN=Vexis", u"Vexis");
       }, 0x800B0100, {{kRefused + kCsp + u"\nКод ошибки: 0x800B0100.", u""}},
       "exit code 2148204800: the csp provider's Setup.exe was refused"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    SetUp();
    row.arrange();
    // The package installed is the package checked: it is held while msiexec runs.
    const sim::ChildBehaviour msiexec = sim::FakeMsiexec(0);
    bool heldWhileRunning = false;
    sim::W().programs[kMsiexec] = [&](const WString& commandLine) {
      heldWhileRunning = sim::IsHeldOpen(kPackage);
      return msiexec(commandLine);
    };
    EXPECT_EQ(static_cast<std::uint32_t>(Run(row.arguments)), row.exitCode);
    // Installed by this run: the installer recorded the package's name.
    EXPECT_EQ(sim::W().products[kProduct].packageName == u"vexiscom-x64.msi", row.exitCode == 0);
    if (row.exitCode == 0) {
      EXPECT_TRUE(heldWhileRunning);
    } else {
      EXPECT_TRUE(sim::W().started.empty()) << "a refused file was started";
      // Nothing was made for it either: a file is checked before its log.
      for (const WString& log : {kTemp + u"\\csp_2014-03-07-09-05-31.log",
                                kTemp + u"\\vexiscom-x64.msi_2014-03-07-09-05-31.log"})
        EXPECT_FALSE(sim::FileExists(log)) << ToUtf8(log);
    }
    std::vector<std::pair<WString, WString>> boxes;
    for (std::size_t i = row.arguments.empty() || row.arguments[0] != u"-silent" ? 1 : 0;
         i < Boxes().size(); ++i)
      boxes.emplace_back(Boxes()[i].text, Boxes()[i].caption);
    EXPECT_EQ(boxes, row.boxes);
    const std::vector<std::string> events = RunLogEvents();
    EXPECT_NE(std::find_if(events.begin(), events.end(),
                           [&](const std::string& e) { return e.rfind(row.logged, 0) == 0; }),
              events.end())
        << row.logged;
    EXPECT_FALSE(sim::IsHeldOpen(kPackage));
  }
}

// Tests that without TMP (unset or empty) the run has no log and goes on as
// it always did: the installer's log cannot be arranged either (203).
TEST_F(EntryFlowTest, NoTmpNoRunLog) {
  for (const bool empty : {false, true}) {
    SetUp();
    if (empty)
      sim::W().environment[u"TMP"] = u"";
    else
      sim::W().environment.erase(u"TMP");
    EXPECT_EQ(Run({u"-silent"}), 203);
    EXPECT_TRUE(sim::W().fileContents.empty()) << "a file was created";
    EXPECT_TRUE(Boxes().empty());
  }
}

// Tests a run while another installation holds Windows Installer: the
// waiting window (the product's caption, message 154) while the run waits,
// then the run goes on as if nothing had been; Cancel ends it with 1602 and
// nothing started; a silent run shows nothing, and when -wait runs out it
// ends with 1618 and nothing started (with the failure box unless silent).
TEST_F(EntryFlowTest, WaitsForAnotherInstallation) {
  const WString kWaiting =
      u"Сейчас выполняется установка другой программы.\nУстановка Норвикс ЭЦП Browser plug-in "
      u"продолжится автоматически, когда она завершится.";
  const WString kBusy =
      u"В процессе установки или обновления Норвикс ЭЦП Browser plug-in возникла ошибка: 1618.\n";
  const struct {
    const char* name;
    std::vector<WString> arguments;
    std::uint32_t holdMs;  // 0: held for good
    std::uint32_t cancelAfterMs;
    int exitCode;
    std::size_t windows;
    std::vector<WString> boxes;  // after the confirmation
    const char* logged;
  } kRows[] = {
      {"released after 5 s", {}, 5000, 0, 0, 1, {kBrowserNotice}, "msiexec: Windows Installer is free after 5000 ms of waiting"},
      {"cancelled", {}, 0, 2000, 1602, 1, {}, "msiexec: the wait was cancelled after 2000 ms; nothing is started"},
      {"silent, released after 5 s", {u"-silent"}, 5000, 0, 0, 0, {}, "msiexec: Windows Installer is busy with another installation; waiting for it to end, at most 600 s"},
      {"silent, -wait 3", {u"-silent", u"-wait", u"3"}, 60000, 0, 1618, 0, {}, "msiexec: another installation was still running after 3000 ms; nothing is started"},
      {"-wait 3", {u"-wait", u"3"}, 60000, 0, 1618, 1, {kBusy}, "exit code 1618: the plug-in's installation failed"},
      {"the csp provider waits too", {u"-silent", u"-csp"}, 5000, 0, 0, 0, {}, "csp: Windows Installer is free after 5000 ms of waiting"},
      // A window that cannot be made does not end the wait.
      {"no waiting window", {}, 5000, 0, 0, 0, {kBrowserNotice}, "msiexec: the wait with its window failed, error 1400; waiting without it"},
      // Without access to the mutex nothing can be waited for: the
      // installer's own 1618 stands, and the run log says why.
      {"no access to the mutex", {u"-silent"}, 5000, 0, 1618, 0, {}, "msiexec: Windows Installer's mutex could not be opened, error 5; started without waiting"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    SetUp();
    sim::W().programs[u"csp\\Setup.exe"] = [](const WString&) {
      EXPECT_FALSE(sim::InstallerMutexOwned()) << "a provider started while Windows Installer was busy";
      return 0u;
    };
    sim::HoldInstallerMutex(row.holdMs);
    sim::W().cancelWaitAfterMs = row.cancelAfterMs;
    if (std::string(row.name) == "no waiting window") sim::FailCall("CreateDialogParamW", 1400);
    const bool noAccess = std::string(row.name) == "no access to the mutex";
    sim::W().mutexes[sim::kInstallerMutex].accessDenied = noAccess;

    EXPECT_EQ(Run(row.arguments), row.exitCode);

    ASSERT_EQ(sim::W().waitingWindows.size(), row.windows);
    if (row.windows != 0) {
      EXPECT_EQ(sim::W().waitingWindows[0].caption, kCaption);
      EXPECT_EQ(sim::W().waitingWindows[0].text, kWaiting);
    }
    std::vector<WString> boxes;
    const bool silent = !row.arguments.empty() && row.arguments[0] == u"-silent";
    for (std::size_t i = silent ? 0 : 1; i < Boxes().size(); ++i) boxes.push_back(Boxes()[i].text);
    EXPECT_EQ(boxes, row.boxes);
    EXPECT_EQ(sim::W().products.count(kProduct), row.exitCode == 0 ? 1u : 0u);
    if (row.exitCode != 0) {
      EXPECT_EQ(sim::W().started.size(), noAccess ? 1u : 0u);
    }
    const std::vector<std::string> events = RunLogEvents();
    EXPECT_NE(std::find_if(events.begin(), events.end(),
                           [&](const std::string& e) { return e.rfind(row.logged, 0) == 0; }),
              events.end())
        << row.logged;
  }
}

// Tests one run at a time: the run takes the program's mutex before the
// gates, waits for another run (the window says so unless silent) and ends
// 1618 past -wait with nothing examined; an abandoned mutex is free; one that
// cannot be made is logged and the run goes on; one made by a run as
// LocalSystem can be taken by an administrator's; it is held to the end and
// released. And the waiting window names the provider whose step waits.
TEST_F(EntryFlowTest, OneRunAtATime) {
  const auto text = [](const char16_t* waiting) {
    return u"Сейчас выполняется установка другой программы.\nУстановка " + WString(waiting) +
           u" продолжится автоматически, когда она завершится.";
  };
  const struct {
    const char* name;
    std::vector<WString> arguments;
    std::function<void()> arrange;
    int exitCode;
    WString window;  // the waiting window's text; empty: none
    std::string logged;
  } kRows[] = {
      {"released after 5 s", {}, [] { sim::HoldMutex(kRunMutexName, 5000); }, 0,
       u"Сейчас выполняется другая установка Норвикс ЭЦП Browser plug-in.\nЭта установка продолжится "
       u"автоматически, когда она завершится.",
       "one run at a time: the other setup ended after 5000 ms of waiting"},
      {"silent, -wait 3", {u"-silent", u"-wait", u"3"}, [] { sim::HoldMutex(kRunMutexName, 0); }, 1618, u"",
       "one run at a time: the other setup was still running after 3000 ms; nothing is examined or started"},
      {"abandoned", {u"-silent"}, [] { sim::HoldMutex(kRunMutexName, 5000, true); }, 0, u"",
       "one run at a time: a setup ended without releasing the mutex; taken"},
      {"cannot be made", {u"-silent"}, [] { sim::FailCall("CreateMutexW", 5); }, 0, u"",
       "one run at a time: the mutex Global\\NorvixVexisSetup could not be created or opened, error 5; "
       "the run goes on without it"},
      {"the csp step", {u"-csp"}, [] { sim::HoldInstallerMutex(5000); }, 0, text(u"Норвикс CSP"),
       "csp: Windows Installer is free after 5000 ms of waiting"},
      {"the ucsp step", {u"-ucsp"}, [] { sim::HoldInstallerMutex(5000); }, 0, text(u"Норвикс УЭК CSP"),
       "ucsp: Windows Installer is free after 5000 ms of waiting"},
      {"LocalSystem's run, then an administrator's", {u"-silent"}, [] {
         sim::W().account = "SY";
         sim::W().programs[kMsiexec] = [](const WString&) {
           EXPECT_TRUE(sim::MutexOwned(kRunMutexName)) << "not held while msiexec runs";
           sim::W().account = "BA";
           EXPECT_TRUE(platform::CreateNamedMutex(kRunMutexName, u""));
           sim::W().account = "SY";
           return 0u;
         };
       }, 0, u"", "exit code 0"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    SetUp();
    sim::W().programs[u"csp\\Setup.exe"] = sim::ExitWith(0);
    sim::W().programs[u"ucsp\\Setup.exe"] = sim::ExitWith(0);
    row.arrange();
    EXPECT_EQ(Run(row.arguments), row.exitCode);
    ASSERT_EQ(sim::W().waitingWindows.size(), row.window.empty() ? 0u : 1u);
    for (const auto& window : sim::W().waitingWindows) EXPECT_EQ(window.text, row.window);
    EXPECT_EQ(sim::CallCount("IsUserAnAdmin"), row.exitCode == 0 ? 1 : 0);
    EXPECT_EQ(sim::W().started.empty(), row.exitCode != 0);
    EXPECT_FALSE(sim::W().mutexes[kRunMutexName].ownedByRun) << "not released at the end";
    const std::vector<std::string> events = RunLogEvents();
    const auto at = std::find_if(events.begin(), events.end(),
                                 [&](const std::string& e) { return e.rfind(row.logged, 0) == 0; });
    EXPECT_NE(at, events.end()) << row.logged;
    if (row.logged.rfind("one run", 0) == 0) {
      EXPECT_EQ(std::find(at, events.end(), "administrator: yes") != events.end(), row.exitCode == 0)
          << "taken after the gates";
    }
  }
}

}  // namespace
