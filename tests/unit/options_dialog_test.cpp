// The CSP provider's options dialog on the simulated controls of the real
// compiled template 141.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bootstrap/command_line.h"
#include "dialog/options_dialog.h"
#include "tests/sim/sim_dialog.h"
#include "tests/sim/sim_world.h"

namespace {

using namespace options_dialog;

constexpr std::uint32_t kOptionsViewIds[] = {kRussian, kEnglish, kLevel1, kLevel2,
                                             kLevel3,  kLanguageFrame, kLevelFrame};
constexpr std::uint32_t kWelcomeViewIds[] = {kBanner, kWelcomeText};
constexpr std::uint32_t kAlwaysShownIds[] = {kNext, kCancel, kViewSwitch};

// Runs the dialog with `script` playing the user, and checks that the
// dialog opened (the script ran) exactly when `opens`, so that the checks
// inside a script cannot pass by never running. Returns the exit code the
// run ends with when the dialog is cancelled (0), or -1 when the run goes on.
int RunDialog(BootstrapOptions& options, std::function<void()> script, bool opens = true) {
  const auto opened = std::make_shared<bool>(false);
  sim::W().dialogScript = [script, opened](platform::WindowRef) {
    *opened = true;
    script();
  };
  // A cancelled dialog ends the run with 0.
  const int exitCode = ShowOptionsDialog(options) == DialogOutcome::kCancelled ? 0 : -1;
  EXPECT_EQ(*opened, opens) << "the dialog " << (opens ? "never opened" : "opened");
  return exitCode;
}

void ExpectWelcomeView() {
  for (std::uint32_t id : kWelcomeViewIds) EXPECT_TRUE(sim::ControlOf(id).visible) << id;
  for (std::uint32_t id : kOptionsViewIds) EXPECT_FALSE(sim::ControlOf(id).visible) << id;
  for (std::uint32_t id : kAlwaysShownIds) EXPECT_TRUE(sim::ControlOf(id).visible) << id;
  EXPECT_EQ(sim::ControlOf(kViewSwitch).text, u"Опции");
}

void ExpectOptionsView() {
  for (std::uint32_t id : kWelcomeViewIds) EXPECT_FALSE(sim::ControlOf(id).visible) << id;
  for (std::uint32_t id : kOptionsViewIds) EXPECT_TRUE(sim::ControlOf(id).visible) << id;
  for (std::uint32_t id : kAlwaysShownIds) EXPECT_TRUE(sim::ControlOf(id).visible) << id;
  EXPECT_EQ(sim::ControlOf(kViewSwitch).text, u"Скрыть");
}

std::vector<std::uint32_t> CheckedButtons() {
  std::vector<std::uint32_t> checked;
  for (std::uint32_t id : {kRussian, kEnglish, kLevel1, kLevel2, kLevel3})
    if (sim::ControlOf(id).checked) checked.push_back(id);
  return checked;
}

class OptionsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
};

struct PresetCase {
  std::uint16_t uiLanguage;
  std::uint32_t languageButton;
  const char16_t* languageFragment;
};

class OptionsDialogPresetTest : public ::testing::TestWithParam<PresetCase> {
 protected:
  void SetUp() override { sim::Reset(); }
};

// Tests that only Russian as spoken in Russia presets "Русский"; Ukrainian,
// English and Russian as spoken in Moldova get "English"; KC1 always.
TEST_P(OptionsDialogPresetTest, PresetsFollowTheSystemLanguage) {
  const PresetCase& c = GetParam();
  sim::W().uiLanguage = c.uiLanguage;
  BootstrapOptions options;
  std::vector<std::uint32_t> checkedAtOpen;
  const int exitCode = RunDialog(options, [&] {
    checkedAtOpen = CheckedButtons();
    ASSERT_TRUE(sim::PressButton(kNext));
  });
  EXPECT_EQ(exitCode, -1);
  EXPECT_EQ(checkedAtOpen, (std::vector<std::uint32_t>{c.languageButton, kLevel1}));
  EXPECT_EQ(options.kcPattern, u"kc1*");
  EXPECT_EQ(options.langPattern, c.languageFragment);
}

INSTANTIATE_TEST_SUITE_P(Languages, OptionsDialogPresetTest,
                         ::testing::Values(PresetCase{1049, kRussian, u"rus*"},
                                           PresetCase{1058, kEnglish, u"eng*"},
                                           PresetCase{1033, kEnglish, u"eng*"},
                                           PresetCase{2073, kEnglish, u"eng*"}),
                         [](const ::testing::TestParamInfo<PresetCase>& info) {
                           return "Language" + std::to_string(info.param.uiLanguage);
                         });

// Tests that the dialog opens in the welcome view with the big icon set and
// the options view's controls hidden, as the template has them.
TEST_F(OptionsDialogTest, OpensInTheWelcomeView) {
  BootstrapOptions options;
  RunDialog(options, [] {
    ExpectWelcomeView();
    EXPECT_EQ(sim::W().bigIcon, u"icon 100");
    EXPECT_EQ(sim::W().openHandles.size(), 1u);
    sim::PressButton(kNext);
  });
}

// Tests that "Далее" pressed at once records the presets, one fragment each.
TEST_F(OptionsDialogTest, NextAtOnceRecordsThePresets) {
  BootstrapOptions options;
  const int exitCode = RunDialog(options, [] { ASSERT_TRUE(sim::PressButton(kNext)); });
  EXPECT_EQ(exitCode, -1);
  EXPECT_EQ(options.kcPattern, u"kc1*");
  EXPECT_EQ(options.langPattern, u"rus*");
  EXPECT_EQ(sim::CallCount("EndDialog"), 1);
  EXPECT_TRUE(sim::W().boxes.empty());
}

// Tests that a choice made in the options view survives hiding the view again.
TEST_F(OptionsDialogTest, ChoiceMadeThenOptionsHiddenIsRecorded) {
  BootstrapOptions options;
  const int exitCode = RunDialog(options, [] {
    ASSERT_TRUE(sim::PressButton(kViewSwitch));
    ExpectOptionsView();
    ASSERT_TRUE(sim::PressButton(kLevel3));
    ASSERT_TRUE(sim::PressButton(kEnglish));
    EXPECT_EQ(CheckedButtons(), (std::vector<std::uint32_t>{kEnglish, kLevel3}));
    ASSERT_TRUE(sim::PressButton(kViewSwitch));
    ExpectWelcomeView();
    EXPECT_EQ(CheckedButtons(), (std::vector<std::uint32_t>{kEnglish, kLevel3}));
    ASSERT_TRUE(sim::PressButton(kNext));
  });
  EXPECT_EQ(exitCode, -1);
  EXPECT_EQ(options.kcPattern, u"kc3*");
  EXPECT_EQ(options.langPattern, u"eng*");
}

// Tests that changing one's mind within a group records only the last button.
TEST_F(OptionsDialogTest, LastButtonOfEachGroupCounts) {
  sim::W().uiLanguage = 1033;
  BootstrapOptions options;
  RunDialog(options, [] {
    ASSERT_TRUE(sim::PressButton(kViewSwitch));
    ASSERT_TRUE(sim::PressButton(kLevel3));
    ASSERT_TRUE(sim::PressButton(kLevel2));
    ASSERT_TRUE(sim::PressButton(kRussian));
    ASSERT_TRUE(sim::PressButton(kNext));
  });
  EXPECT_EQ(options.kcPattern, u"kc2*");
  EXPECT_EQ(options.langPattern, u"rus*");
}

// Tests that the Options button pressed twice shows the welcome view again.
TEST_F(OptionsDialogTest, OptionsTwiceShowsTheWelcomeViewAgain) {
  BootstrapOptions options;
  RunDialog(options, [] {
    ASSERT_TRUE(sim::PressButton(kViewSwitch));
    ExpectOptionsView();
    ASSERT_TRUE(sim::PressButton(kViewSwitch));
    ExpectWelcomeView();
    ASSERT_TRUE(sim::PressButton(kViewSwitch));
    ExpectOptionsView();
    sim::PressButton(kNext);
  });
}

// Tests that the view is read back from the caption by an exact comparison:
// a caption that is not exactly "Опции" counts as the options view shown.
TEST_F(OptionsDialogTest, ViewIsReadBackFromTheExactCaption) {
  BootstrapOptions options;
  RunDialog(options, [] {
    sim::ControlOf(kViewSwitch).text = u"опции";
    ASSERT_TRUE(sim::PressButton(kViewSwitch));
    ExpectWelcomeView();
    ASSERT_TRUE(sim::PressButton(kViewSwitch));
    ExpectOptionsView();
    sim::PressButton(kNext);
  });
}

// Tests that the dialog's fragments follow what the command line stored.
TEST_F(OptionsDialogTest, FragmentFollowsTheCommandLineValue) {
  BootstrapOptions options;
  ParseFailure failure;
  ASSERT_EQ(ParseArguments({u"vexissetup.exe", u"-csp", u"-selectDlg", u"-KC", u"KC2", u"-Lang",
                            u"eng"},
                           options, failure),
            ParseOutcome::kOptions);
  ASSERT_EQ(options.kcPattern, u"*KC2*");
  RunDialog(options, [] {
    ASSERT_TRUE(sim::PressButton(kViewSwitch));
    ASSERT_TRUE(sim::PressButton(kLevel3));
    ASSERT_TRUE(sim::PressButton(kNext));
  });
  EXPECT_EQ(options.kcPattern, u"*KC2*kc3*");
  EXPECT_EQ(options.langPattern, u"*eng*rus*");
}

enum class CancelWay { kCancelButton, kEscapeOrCloseBox, kDialogLeftOpen };

class OptionsDialogCancelTest : public ::testing::TestWithParam<CancelWay> {
 protected:
  void SetUp() override { sim::Reset(); }
};

// Tests that "Отмена", Escape or the close box end the process with exit
// code 0, record nothing, show nothing and leave no icon behind.
TEST_P(OptionsDialogCancelTest, CancelEndsTheProcessWithZero) {
  BootstrapOptions options;
  options.kcPattern = u"*KC2*";
  const CancelWay way = GetParam();
  const int exitCode = RunDialog(options, [way] {
    ASSERT_TRUE(sim::PressButton(kViewSwitch));
    ASSERT_TRUE(sim::PressButton(kLevel3));
    if (way == CancelWay::kCancelButton) {
      ASSERT_TRUE(sim::PressButton(kCancel));
    } else if (way == CancelWay::kEscapeOrCloseBox) {
      ASSERT_TRUE(sim::SendCommand(kCancel));
    }
  });
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(options.kcPattern, u"*KC2*");
  EXPECT_EQ(options.langPattern, u"");
  EXPECT_TRUE(sim::W().boxes.empty());
  EXPECT_TRUE(sim::W().started.empty());
  EXPECT_TRUE(sim::W().openHandles.empty());
  // The icon goes with the dialog, before the run ends.
  EXPECT_EQ(sim::CallCount("DestroyIcon"), 1);
}

INSTANTIATE_TEST_SUITE_P(Ways, OptionsDialogCancelTest,
                         ::testing::Values(CancelWay::kCancelButton, CancelWay::kEscapeOrCloseBox,
                                           CancelWay::kDialogLeftOpen),
                         [](const ::testing::TestParamInfo<CancelWay>& info) {
                           switch (info.param) {
                             case CancelWay::kCancelButton: return std::string("CancelButton");
                             case CancelWay::kEscapeOrCloseBox: return std::string("EscapeOrCloseBox");
                             case CancelWay::kDialogLeftOpen: return std::string("DialogLeftOpen");
                           }
                           return std::string();
                         });

// Tests that the icon loaded for the title bar is destroyed when the dialog
// closes after "Далее", and no handle is left open.
TEST_F(OptionsDialogTest, IconIsLoadedAndDestroyed) {
  BootstrapOptions options;
  bool iconOpenWhileShown = false;
  RunDialog(options, [&] {
    iconOpenWhileShown = sim::W().openHandles.size() == 1 &&
                         sim::W().openHandles.begin()->second == platform::HandleKind::kIcon;
    sim::PressButton(kNext);
  });
  EXPECT_TRUE(iconOpenWhileShown);
  EXPECT_EQ(sim::CallCount("LoadImageW"), 1);
  EXPECT_EQ(sim::CallCount("WM_SETICON"), 1);
  EXPECT_EQ(sim::CallCount("DestroyIcon"), 1);
  EXPECT_EQ(sim::W().handlesOpened, 1);
  EXPECT_TRUE(sim::W().openHandles.empty());
}

// Tests that a missing icon leaves the system's default icon and the dialog
// otherwise works.
TEST_F(OptionsDialogTest, DialogWorksWithoutItsIcon) {
  sim::FailCall("LoadImageW", 1813);
  BootstrapOptions options;
  RunDialog(options, [] { ASSERT_TRUE(sim::PressButton(kNext)); });
  EXPECT_EQ(sim::CallCount("WM_SETICON"), 0);
  EXPECT_EQ(sim::W().bigIcon, u"");
  EXPECT_EQ(sim::CallCount("DestroyIcon"), 0);
  EXPECT_EQ(options.kcPattern, u"kc1*");
  EXPECT_EQ(options.langPattern, u"rus*");
}

// Tests that a dialog that cannot be shown returns with nothing recorded:
// the run goes on with the command line's choice.
TEST_F(OptionsDialogTest, DialogThatCannotBeShownRecordsNothing) {
  sim::FailCall("DialogBoxParamW", 1813);
  BootstrapOptions options;
  options.kcPattern = u"*KC2*";
  EXPECT_EQ(RunDialog(options, [] {}, false), -1);
  EXPECT_EQ(options.kcPattern, u"*KC2*");
  EXPECT_EQ(options.langPattern, u"");
  EXPECT_TRUE(sim::W().openHandles.empty());
}

// Tests that the dialog touches only controls the template has.
TEST_F(OptionsDialogTest, UsesOnlyControlsOfTheTemplate) {
  BootstrapOptions options;
  RunDialog(options, [] {
    sim::PressButton(kViewSwitch);
    sim::PressButton(kViewSwitch);
    sim::PressButton(kNext);
  });
  for (const std::string& call : sim::W().calls)
    EXPECT_EQ(call.find(":nocontrol"), std::string::npos) << call;
}

}  // namespace
