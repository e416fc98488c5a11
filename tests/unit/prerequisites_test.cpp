#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootstrap/prerequisites.h"
#include "platform/platform.h"
#include "setup/entry_flow.h"
#include "tests/sim/sim_world.h"

namespace {

// The gate as the run passes it: the refusal's box shown unless silent.
int CheckWindowsVersion(bool silent) {
  const StepResult judged = JudgeWindowsVersion();
  ShowNotice(judged.notice, silent);
  return static_cast<int>(judged.code);
}

const char16_t kCaption[] = u"Норвикс ЭЦП Browser plug-in";
const char16_t kTooOld[] = u"Установка продукта не возможна на ОС старше Windows 2000.";
const char16_t k2000[] = u"Для установки продукта на Windows 2000 требуется пакет обновлений SP4.";
const char16_t kXp[] = u"Для установки продукта на Windows XP требуется пакет обновлений SP2.";
const char16_t k2003[] = u"Для установки продукта на Windows 2003 требуется пакет обновлений SP2.";
// The exit code an administrator sees for a Windows older than Windows 2000.
constexpr int kTooOldExit = 6;
const char16_t kUnreadable[] =
    u"Для установки продукта на Windows Vista или Windows 2008 требуется пакет обновлений SP2.";

struct VersionCase {
  std::uint32_t major;
  std::uint32_t minor;
  std::uint16_t servicePack;
  int result;
  const char16_t* message;  // nullptr: accepted, no box
};

// Every row of the version rules, with the service packs just below and at
// the minimum, and systems around the edges of each row.
const VersionCase kVersions[] = {
    {3, 51, 5, kTooOldExit, kTooOld},
    {4, 0, 6, kTooOldExit, kTooOld},
    {4, 90, 0, kTooOldExit, kTooOld},
    {5, 0, 0, 3, k2000},
    {5, 0, 3, 3, k2000},
    {5, 0, 4, 0, nullptr},
    {5, 0, 5, 0, nullptr},
    {5, 1, 0, 4, kXp},
    {5, 1, 1, 4, kXp},
    {5, 1, 2, 0, nullptr},
    {5, 1, 3, 0, nullptr},
    {5, 2, 0, 5, k2003},
    {5, 2, 1, 5, k2003},
    {5, 2, 2, 0, nullptr},
    {5, 3, 0, 0, nullptr},
    {6, 0, 0, 0, nullptr},
    {6, 1, 0, 0, nullptr},
    {6, 1, 1, 0, nullptr},
    {6, 2, 0, 0, nullptr},
    {10, 0, 0, 0, nullptr},
};

std::string Describe(const VersionCase& c, bool silent) {
  return std::to_string(c.major) + "." + std::to_string(c.minor) + " SP" +
         std::to_string(c.servicePack) + (silent ? " silent" : "");
}

}  // namespace

// Tests that each version row gives its result and, unless silent, its box
// under the program's caption with the error icon; only the refusal of a
// version below 5 is shown also when silent.
TEST(CheckWindowsVersionTest, FollowsTheVersionTableRowByRow) {
  for (const VersionCase& c : kVersions) {
    for (const bool silent : {false, true}) {
      SCOPED_TRACE(Describe(c, silent));
      sim::Reset();
      sim::W().version = {c.major, c.minor, c.servicePack};

      EXPECT_EQ(CheckWindowsVersion(silent), c.result);

      const bool boxExpected = c.message && (!silent || c.result == kTooOldExit);
      if (!boxExpected) {
        EXPECT_TRUE(sim::W().boxes.empty());
        continue;
      }
      ASSERT_EQ(sim::W().boxes.size(), 1u);
      EXPECT_EQ(sim::W().boxes[0].text, c.message);
      EXPECT_EQ(sim::W().boxes[0].caption, kCaption);
      EXPECT_EQ(sim::W().boxes[0].style, platform::kMbIconError);
    }
  }
}

// Tests that an unreadable version refuses with result 2 and message 121,
// and that a silent run shows nothing.
TEST(CheckWindowsVersionTest, UnreadableVersionGivesTwo) {
  for (const bool silent : {false, true}) {
    SCOPED_TRACE(silent ? "silent" : "interactive");
    sim::Reset();
    sim::FailCall("GetVersionExW", 87);

    EXPECT_EQ(CheckWindowsVersion(silent), 2);

    if (silent) {
      EXPECT_TRUE(sim::W().boxes.empty());
    } else {
      ASSERT_EQ(sim::W().boxes.size(), 1u);
      EXPECT_EQ(sim::W().boxes[0].text, kUnreadable);
      EXPECT_EQ(sim::W().boxes[0].caption, kCaption);
      EXPECT_EQ(sim::W().boxes[0].style, platform::kMbIconError);
    }
  }
}

// Tests that the version is read exactly once and no handle is left open.
TEST(CheckWindowsVersionTest, ReadsTheVersionOnce) {
  sim::Reset();
  sim::W().version = {5, 1, 1};
  CheckWindowsVersion(false);
  EXPECT_EQ(sim::CallCount("GetVersionExW"), 1);
  EXPECT_TRUE(sim::W().openHandles.empty());
}

// The two gates as the entry flow applies them, administrator first.

namespace {

const char16_t kNotAdministrator[] = u"Программа должна быть запущена от имени администратора.";

int RunWithArguments(std::vector<WString> arguments) {
  sim::W().commandLine.insert(sim::W().commandLine.end(), arguments.begin(), arguments.end());
  int returned = -1;
  const int exited = sim::RunToExit([&] { return RunBootstrap(arguments.empty()); }, &returned);
  EXPECT_EQ(exited, -1) << "the run ended the process instead of returning";
  return returned;
}

}  // namespace

// Tests that a user without administrator rights gets message 101 and exit
// code 1, and that the version is then not examined at all.
TEST(AdministratorGateTest, RefusesWithMessage) {
  sim::Reset();
  sim::W().admin = false;
  sim::W().version = {4, 0, 6};  // would show message 116 if it were examined

  EXPECT_EQ(RunWithArguments({}), 1);

  ASSERT_EQ(sim::W().boxes.size(), 1u);
  EXPECT_EQ(sim::W().boxes[0].text, kNotAdministrator);
  EXPECT_EQ(sim::W().boxes[0].caption, kCaption);
  EXPECT_EQ(sim::W().boxes[0].style, platform::kMbIconError);
  EXPECT_EQ(sim::CallCount("GetVersionExW"), 0);
  EXPECT_TRUE(sim::W().started.empty());
}

// Tests that a silent run without administrator rights shows no box, exits
// with 1 and does not read the version.
TEST(AdministratorGateTest, SilentRefusesWithoutBox) {
  sim::Reset();
  sim::W().admin = false;
  sim::W().version = {4, 0, 6};

  EXPECT_EQ(RunWithArguments({u"-silent"}), 1);

  EXPECT_TRUE(sim::W().boxes.empty());
  EXPECT_EQ(sim::CallCount("GetVersionExW"), 0);
  EXPECT_TRUE(sim::W().started.empty());
}

// Tests that a refused version ends the run with its result as the exit
// code, before Windows Installer is touched or anything is started.
TEST(WindowsVersionGateTest, RefusalIsTheExitCode) {
  const struct {
    platform::WindowsVersion version;
    int exitCode;
  } kRows[] = {{{5, 0, 3}, 3}, {{5, 1, 1}, 4}, {{5, 2, 0}, 5}, {{4, 0, 6}, kTooOldExit}};
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.exitCode);
    sim::Reset();
    sim::W().version = row.version;

    EXPECT_EQ(RunWithArguments({u"-silent", u"-csp"}), row.exitCode);

    EXPECT_EQ(sim::CallCount("MsiSetInternalUI"), 0);
    EXPECT_TRUE(sim::W().started.empty());
    // Only the refusal of a version below 5 speaks in a silent run.
    EXPECT_EQ(sim::W().boxes.size(), row.exitCode == kTooOldExit ? 1u : 0u);
  }
}
