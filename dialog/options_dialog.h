// The CSP provider's options dialog (template 141): the language and the
// security level of the provider, chosen before it is installed.
#pragma once

#include <cstdint>

#include "bootstrap/command_line.h"
#include "platform/platform.h"

namespace options_dialog {
// The template and its controls (resources/dialog141.rc).
constexpr std::uint16_t kTemplateId = 141;
constexpr std::uint16_t kIconId = 100;
constexpr int kIconSize = 32;
constexpr std::uint32_t kNext = 140;     // "Далее", the default button
constexpr std::uint32_t kCancel = 2;     // "Отмена"; Escape and the close box send it too
constexpr std::uint32_t kRussian = 1006;  // first of the language group
constexpr std::uint32_t kEnglish = 1007;
constexpr std::uint32_t kLevel1 = 1008;  // first of the level group
constexpr std::uint32_t kLevel2 = 1009;
constexpr std::uint32_t kLevel3 = 1010;
constexpr std::uint32_t kBanner = 1011;         // welcome view
constexpr std::uint32_t kLanguageFrame = 1012;  // options view
constexpr std::uint32_t kLevelFrame = 1013;     // options view
constexpr std::uint32_t kWelcomeText = 1014;    // welcome view
constexpr std::uint32_t kViewSwitch = 1015;     // "Опции" / "Скрыть"
// The system's default user-interface language that presets "Русский".
constexpr std::uint16_t kRussianRussia = 1049;
}  // namespace options_dialog

enum class DialogOutcome {
  kNext,       // "Далее": the choice is recorded, the run goes on
  kCancelled,  // "Отмена", Escape or the close box: the run ends, nothing installed
  kNotShown,   // DialogBoxParamW failed: the command line's choice stands
};

// Runs dialog 141 modally with no owner window. "Далее" appends one of
// "kc1*", "kc2*", "kc3*" to options.kcPattern and one of "rus*", "eng*" to
// options.langPattern, behind what the command line stored (nothing reads
// them yet: kept for the provider's setup to be given one day). Shows no
// messages; its title bar's icon is destroyed when the dialog closes.
DialogOutcome ShowOptionsDialog(BootstrapOptions& options);

// What the running dialog holds: ShowOptionsDialog's, the procedure's context.
struct OptionsDialogState {
  BootstrapOptions* options = nullptr;
  platform::IconHandle icon;  // the title bar's icon, destroyed at kDestroy
  bool cancelled = false;     // "Отмена": the run ends once the dialog is gone
};

// The dialog procedure over the seam's events (context: the OptionsDialogState).
// True when handled; for kInit also lets the focus go to "Далее".
bool HandleOptionsDialogEvent(platform::WindowRef dialog, platform::DialogEvent event,
                              std::uint32_t controlId, void* context);
