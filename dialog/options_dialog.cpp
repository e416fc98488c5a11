#include "dialog/options_dialog.h"

#include "bootstrap/message_ids.h"
#include "bootstrap/messages.h"
#include "bootstrap/run_log.h"

namespace {

using namespace options_dialog;

struct Fragment {
  std::uint32_t button;
  const char16_t* text;
};

// In button order: the first checked button of a group gives its fragment.
// Automatic radio buttons with one preset cannot be cleared by the user, so
// exactly one button of each group is checked when "Далее" is pressed.
constexpr Fragment kLevelFragments[] = {
    {kLevel1, u"kc1*"}, {kLevel2, u"kc2*"}, {kLevel3, u"kc3*"}};
constexpr Fragment kLanguageFragments[] = {{kRussian, u"rus*"}, {kEnglish, u"eng*"}};

// The caption of button 1015 in a buffer of this many units (terminator
// included): the view shown is read back from it, nothing else records it.
constexpr std::uint32_t kCaptionBufferSize = 10;

template <std::size_t N>
void AppendChecked(platform::WindowRef dialog, const Fragment (&fragments)[N], WString& pattern) {
  for (const Fragment& fragment : fragments)
    if (platform::IsDlgButtonChecked(dialog, fragment.button)) pattern += fragment.text;
}

void Open(platform::WindowRef dialog, OptionsDialogState& state) {
  state.icon = platform::LoadIconImage(kIconId, kIconSize);
  // Without the icon the dialog keeps the system's default one.
  if (state.icon) platform::SetBigIcon(dialog, state.icon.get());
  // Only Russian as spoken in Russia presets "Русский": other Russian
  // variants get "English" like every other language.
  const std::uint16_t language = platform::GetSystemDefaultUILanguage();
  LogValue(u"options dialog: system UI language", language);
  const bool russian = language == kRussianRussia;
  platform::CheckDlgButton(dialog, russian ? kRussian : kEnglish, true);
  platform::CheckDlgButton(dialog, kLevel1, true);
}

void SwitchView(platform::WindowRef dialog) {
  char16_t buffer[kCaptionBufferSize] = {};
  platform::GetControlText(dialog, kViewSwitch, buffer, kCaptionBufferSize);
  WString caption(buffer, kCaptionBufferSize);
  CutAtFirstZero(caption);
  WString showOptionsText;
  LoadMessage(msg::kShowOptions, showOptionsText);
  const bool showOptions = caption == showOptionsText;
  for (std::uint32_t id = kRussian; id <= kWelcomeText; ++id) {
    const bool welcomeControl = id == kBanner || id == kWelcomeText;
    platform::ShowDlgItem(dialog, id, showOptions != welcomeControl);
  }
  WString newCaption;
  LoadMessage(showOptions ? msg::kHideOptions : msg::kShowOptions, newCaption);
  platform::SetControlText(dialog, kViewSwitch, newCaption);
}

void Next(platform::WindowRef dialog, OptionsDialogState& state) {
  AppendChecked(dialog, kLevelFragments, state.options->kcPattern);
  AppendChecked(dialog, kLanguageFragments, state.options->langPattern);
  platform::EndDialog(dialog, 0);
}

}  // namespace

bool HandleOptionsDialogEvent(platform::WindowRef dialog, platform::DialogEvent event,
                              std::uint32_t controlId, void* context) {
  OptionsDialogState& state = *static_cast<OptionsDialogState*>(context);
  switch (event) {
    case platform::DialogEvent::kInit:
      Open(dialog, state);
      return true;
    case platform::DialogEvent::kCommand:
      switch (controlId) {
        case kViewSwitch:
          SwitchView(dialog);
          return true;
        case kNext:
          Next(dialog, state);
          return true;
        case kCancel:
          // The run ends once the dialog is gone, so that closing it still
          // destroys the icon.
          state.cancelled = true;
          platform::EndDialog(dialog, 0);
          return true;
        default:
          // The radio buttons check themselves.
          return false;
      }
    case platform::DialogEvent::kDestroy:
      state.icon.reset();
      return true;
  }
  return false;
}

DialogOutcome ShowOptionsDialog(BootstrapOptions& options) {
  OptionsDialogState state;
  state.options = &options;
  const std::intptr_t shown = platform::RunModalDialog(kTemplateId, HandleOptionsDialogEvent, &state);
  if (state.cancelled) {
    LogLine(u"options dialog: cancelled");
    return DialogOutcome::kCancelled;
  }
  if (shown == -1) {
    LogLine(u"options dialog: could not be shown; the command line's choice stands");
    return DialogOutcome::kNotShown;
  }
  LogLine({u"options dialog: Далее; kcPattern ", options.kcPattern, u", langPattern ",
           options.langPattern});
  return DialogOutcome::kNext;
}
