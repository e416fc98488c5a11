#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootstrap/message_ids.h"
#include "bootstrap/prerequisites.h"
#include "bootstrap/run_log.h"
#include "platform/platform.h"
#include "tests/sim/sim_world.h"

namespace {

// The exit code an administrator sees for a Windows older than Windows 2000.
constexpr int kTooOldExit = 6;
constexpr std::uint16_t kTooOld = msg::kWindowsTooOld;
constexpr std::uint16_t k2000 = msg::kWindows2000NeedsSp4;
constexpr std::uint16_t kXp = msg::kWindowsXpNeedsSp2;
constexpr std::uint16_t k2003 = msg::kWindows2003NeedsSp2;
constexpr std::uint16_t kNone = 0;

struct VersionCase {
  std::uint32_t major;
  std::uint32_t minor;
  std::uint16_t servicePack;
  int result;
  std::uint16_t message;  // 0: accepted, no box
};

// Every row of the version rules, with the service packs just below and at
// the minimum, and systems around the edges of each row.
const VersionCase kVersions[] = {
    {3, 51, 5, kTooOldExit, kTooOld},
    {4, 0, 6, kTooOldExit, kTooOld},
    {4, 90, 0, kTooOldExit, kTooOld},
    {5, 0, 0, 3, k2000},
    {5, 0, 3, 3, k2000},
    {5, 0, 4, 0, kNone},
    {5, 0, 5, 0, kNone},
    {5, 1, 0, 4, kXp},
    {5, 1, 1, 4, kXp},
    {5, 1, 2, 0, kNone},
    {5, 1, 3, 0, kNone},
    {5, 2, 0, 5, k2003},
    {5, 2, 1, 5, k2003},
    {5, 2, 2, 0, kNone},
    {5, 3, 0, 0, kNone},
    {6, 0, 0, 0, kNone},
    {6, 1, 0, 0, kNone},
    {6, 1, 1, 0, kNone},
    // Windows 8, 8.1 and 10/11 as they report themselves to an exe whose
    // manifest declares them.
    {6, 2, 0, 0, kNone},
    {6, 3, 0, 0, kNone},
    {10, 0, 0, 0, kNone},
};

std::string Describe(const VersionCase& c) {
  return std::to_string(c.major) + "." + std::to_string(c.minor) + " SP" +
         std::to_string(c.servicePack);
}

}  // namespace

// Tests that each version row gives its result and the box the run shows
// for it: its message under the program's caption with the error icon,
// shown also in a silent run only for a version below 5; and that the run
// log writes the version as the system gave it.
TEST(CheckWindowsVersionTest, FollowsTheVersionTableRowByRow) {
  for (const VersionCase& c : kVersions) {
    SCOPED_TRACE(Describe(c));
    sim::Reset();
    sim::W().version = {c.major, c.minor, c.servicePack};
    ASSERT_TRUE(OpenRunLog(u"C:\\Users\\op\\AppData\\Local\\Temp", sim::W().now, u"x", u"2.0.0.0"));

    const StepResult judged = JudgeWindowsVersion();

    CloseRunLog();
    EXPECT_EQ(judged.code, static_cast<std::uint32_t>(c.result));
    EXPECT_EQ(judged.notice.message, c.message);
    if (c.message != kNone) {
      EXPECT_EQ(judged.notice.caption, msg::kCaption);
      EXPECT_EQ(judged.notice.style, platform::kMbIconError);
      EXPECT_EQ(judged.notice.evenWhenSilent, c.result == kTooOldExit);
    }
    const std::vector<std::string> lines =
        sim::FileLines(u"C:\\Users\\op\\AppData\\Local\\Temp\\vexissetup_2014-03-07-09-05-31.log");
    ASSERT_GE(lines.size(), 2u);
    // The line after its milliseconds, "      0 ".
    EXPECT_EQ(lines[1].substr(8),
              "Windows version: " + std::to_string(c.major) + "." + std::to_string(c.minor) +
                  ", service pack " + std::to_string(c.servicePack));
  }
}

// Tests that an unreadable version refuses with result 2 and message 121,
// which a silent run does not show.
TEST(CheckWindowsVersionTest, UnreadableVersionGivesTwo) {
  sim::Reset();
  sim::FailCall("GetVersionExW", 87);

  const StepResult judged = JudgeWindowsVersion();

  EXPECT_EQ(judged.code, 2u);
  EXPECT_EQ(judged.notice.message, msg::kVersionUnreadable);
  EXPECT_EQ(judged.notice.caption, msg::kCaption);
  EXPECT_FALSE(judged.notice.evenWhenSilent);
}

// Tests that the version is read exactly once and no handle is left open.
TEST(CheckWindowsVersionTest, ReadsTheVersionOnce) {
  sim::Reset();
  sim::W().version = {5, 1, 1};
  JudgeWindowsVersion();
  EXPECT_EQ(sim::CallCount("GetVersionExW"), 1);
  EXPECT_TRUE(sim::W().openHandles.empty());
}
