// The compiled options dialog 141 as the exe carries it: the window, the
// font, every control in template order, and the welcome text.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <vector>

#include "tests/sim/sim_dialog.h"
#include "tests/sim/sim_internal.h"
#include "tests/sim/sim_world.h"

namespace {

constexpr std::uint32_t kWsPopup = 0x80000000;
constexpr std::uint32_t kWsChild = 0x40000000;
constexpr std::uint32_t kWsVisible = 0x10000000;
constexpr std::uint32_t kWsCaption = 0x00C00000;
constexpr std::uint32_t kWsSysMenu = 0x00080000;
constexpr std::uint32_t kWsGroup = 0x00020000;
constexpr std::uint32_t kWsTabStop = 0x00010000;
constexpr std::uint32_t kDsSetFont = 0x40;
constexpr std::uint32_t kDsModalFrame = 0x80;
constexpr std::uint32_t kDsCenter = 0x800;

// The kind of a control: its class and the type bits of its style.
enum class Kind { kPushButton, kDefaultPushButton, kAutoRadio, kGroupBox, kLeftText };

Kind KindOf(const sim::TemplateControl& control) {
  if (control.windowClass == u"Static" && (control.style & 0x1F) == 0) return Kind::kLeftText;
  EXPECT_EQ(control.windowClass, u"Button") << control.id;
  switch (control.style & 0xF) {
    case 0x0: return Kind::kPushButton;
    case 0x1: return Kind::kDefaultPushButton;
    case 0x7: return Kind::kGroupBox;
    case 0x9: return Kind::kAutoRadio;
    default:
      ADD_FAILURE() << "control " << control.id << " has button type " << (control.style & 0xF);
      return Kind::kPushButton;
  }
}

struct Row {
  std::uint32_t id;
  Kind kind;
  const char16_t* text;  // null: the welcome text, checked on its own
  int x, y, width, height;
  bool group;
  bool tabStop;
  bool visible;
};

const Row kRows[] = {
    {140, Kind::kDefaultPushButton, u"Далее", 90, 122, 50, 14, false, true, true},
    {2, Kind::kPushButton, u"Отмена", 147, 122, 50, 14, false, true, true},
    {1006, Kind::kAutoRadio, u"Русский", 12, 20, 42, 8, true, false, false},
    {1007, Kind::kAutoRadio, u"English", 12, 32, 42, 8, false, false, false},
    {1008, Kind::kAutoRadio, u"KC1", 14, 69, 30, 8, true, false, false},
    {1009, Kind::kAutoRadio, u"KC2", 14, 82, 30, 8, false, false, false},
    {1010, Kind::kAutoRadio, u"KC3", 14, 94, 30, 8, false, false, false},
    {1012, Kind::kGroupBox, u"Язык установки:", 6, 6, 191, 44, false, false, false},
    {1013, Kind::kGroupBox, u"Уровень безопасности:", 6, 55, 191, 54, false, false, false},
    {1011, Kind::kGroupBox, u"Норвикс CSP", 6, 6, 191, 103, false, false, true},
    {1015, Kind::kPushButton, u"Опции", 7, 122, 50, 14, false, true, true},
    {1014, Kind::kLeftText, nullptr, 15, 28, 174, 74, true, false, true},
};

const WString kWelcomeText =
    u"https://www.norvix.example\n"
    u"\n"
    u"Благодарим за выбор Норвикс CSP.\n"
    u"Для продолжения установки нажимте \"Далее\",\n"
    u"для установки специфических настроек - \"Опции\".\n"
    u"Если вы не знаете, что выбирать, нажмите \"Далее\".";

class DialogTemplateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog_ = sim::ReadDialogTemplate(141);
    ASSERT_TRUE(dialog_.found);
  }
  sim::DialogTemplate dialog_;
};

// Tests the window of dialog 141: Russian, caption, size, font and a modal,
// centred pop-up with a caption bar and a close box.
TEST_F(DialogTemplateTest, WindowIsTheModalCentredCspSetup) {
  EXPECT_EQ(dialog_.language, 0x0419);
  EXPECT_EQ(dialog_.caption, u"CSPSetup");
  EXPECT_EQ(dialog_.x, 0);
  EXPECT_EQ(dialog_.y, 0);
  EXPECT_EQ(dialog_.width, 204);
  EXPECT_EQ(dialog_.height, 143);
  EXPECT_EQ(dialog_.style, kWsPopup | kWsCaption | kWsSysMenu | kDsModalFrame | kDsCenter |
                               kDsSetFont);
  EXPECT_EQ(dialog_.exStyle, 0u);
  EXPECT_EQ(dialog_.menu, u"");
  EXPECT_EQ(dialog_.windowClass, u"");
  EXPECT_EQ(dialog_.typeface, u"MS Shell Dlg");
  EXPECT_EQ(dialog_.pointSize, 8);
  EXPECT_EQ(dialog_.weight, 400);
  EXPECT_FALSE(dialog_.italic);
}

// Tests every control in template order (the tab and z order): id, kind,
// text, position, group and tab-stop styles and whether it starts visible.
TEST_F(DialogTemplateTest, ControlsInTemplateOrder) {
  ASSERT_EQ(dialog_.controls.size(), std::size(kRows));
  for (std::size_t i = 0; i < std::size(kRows); ++i) {
    const Row& row = kRows[i];
    const sim::TemplateControl& c = dialog_.controls[i];
    SCOPED_TRACE(testing::Message() << "control #" << i << " id " << row.id);
    EXPECT_EQ(c.id, row.id);
    EXPECT_EQ(KindOf(c), row.kind);
    if (row.text) {
      EXPECT_EQ(c.text, row.text);
    }
    EXPECT_EQ(c.x, row.x);
    EXPECT_EQ(c.y, row.y);
    EXPECT_EQ(c.width, row.width);
    EXPECT_EQ(c.height, row.height);
    EXPECT_EQ((c.style & kWsGroup) != 0, row.group);
    EXPECT_EQ((c.style & kWsTabStop) != 0, row.tabStop);
    EXPECT_EQ((c.style & kWsVisible) != 0, row.visible);
    EXPECT_NE(c.style & kWsChild, 0u);
    EXPECT_EQ(c.exStyle, 0u);
  }
}

// Tests the welcome text line by line, the quotes being part of the text.
TEST_F(DialogTemplateTest, WelcomeTextHasItsLines) {
  ASSERT_EQ(dialog_.controls.size(), std::size(kRows));
  EXPECT_EQ(dialog_.controls.back().id, 1014u);
  EXPECT_EQ(dialog_.controls.back().text, kWelcomeText);
}

// Tests that icon 100, the dialog's big icon, is in the resources with a
// 32 x 32 image, the size the dialog asks for.
TEST(DialogIconTest, Icon100HasA32PixelImage) {
  bool found = false;
  for (const sim::Resource& r : sim::ReadResources(VEXIS_RES_PATH)) {
    if (r.type != 14 || r.name != 100) continue;  // RT_GROUP_ICON
    found = true;
    ASSERT_GE(r.data.size(), 6u);
    const unsigned count = r.data[4] | (r.data[5] << 8);
    bool has32 = false;
    for (unsigned i = 0; i < count && 6 + 14 * (i + 1) <= r.data.size(); ++i)
      has32 = has32 || (r.data[6 + 14 * i] == 32 && r.data[6 + 14 * i + 1] == 32);
    EXPECT_TRUE(has32);
  }
  EXPECT_TRUE(found);
}

}  // namespace
