// The modal dialog over simulated controls. The test's dialogScript plays the
// user: it sends commands with sim::PressButton while the dialog is open.
#include "platform/platform.h"
#include "tests/sim/sim_dialog.h"
#include "tests/sim/sim_internal.h"
#include "tests/sim/sim_world.h"

namespace sim {
namespace {
platform::DialogHandler g_handler = nullptr;
void* g_context = nullptr;
constexpr platform::WindowRef kDialogWindow = 0x5141;
}  // namespace

void PressButton(std::uint32_t id) {
  if (W().dialogOpen && g_handler) g_handler(kDialogWindow, platform::DialogEvent::kCommand, id, g_context);
}

Control& ControlOf(std::uint32_t id) { return W().controls[id]; }

}  // namespace sim

namespace platform {

using sim::W;

std::intptr_t DialogBox(std::uint16_t templateId, DialogHandler handler, void* context) {
  if (!sim::Enter("DialogBoxParamW") || templateId != 141) return -1;
  sim::World& w = W();
  if (w.controls.empty()) w.controls = sim::DialogTemplateControls();
  sim::g_handler = handler;
  sim::g_context = context;
  w.dialogOpen = true;
  handler(sim::kDialogWindow, DialogEvent::kInit, 0, context);
  // The script runs until it ends the dialog; a script that leaves it open
  // ends it as the close box would (the cancel command).
  struct Closer {
    ~Closer() {
      if (sim::g_handler && W().dialogOpen) W().dialogOpen = false;
      if (sim::g_handler) sim::g_handler(sim::kDialogWindow, DialogEvent::kDestroy, 0, sim::g_context);
      sim::g_handler = nullptr;
    }
  } closer;
  if (w.dialogScript) w.dialogScript(sim::kDialogWindow);
  if (w.dialogOpen) handler(sim::kDialogWindow, DialogEvent::kCommand, 2, context);
  return w.dialogResult;
}

bool EndDialog(WindowRef, std::intptr_t result) {
  sim::Enter("EndDialog");
  W().dialogOpen = false;
  W().dialogResult = result;
  return true;
}

IconHandle LoadIcon(std::uint16_t iconId, int size) {
  if (!sim::Enter("LoadImageW") || iconId != 100 || size != 32) return IconHandle();
  return IconHandle(sim::NewHandle(HandleKind::kIcon));
}

void SetBigIcon(WindowRef, RawHandle icon) {
  sim::Enter("WM_SETICON");
  W().bigIcon = icon ? u"icon 100" : u"";
}

bool CheckDlgButton(WindowRef, std::uint32_t id, bool checked) {
  sim::Enter("CheckDlgButton");
  sim::Control& c = sim::ControlOf(id);
  if (checked && c.group != 0)
    for (auto& other : W().controls)
      if (other.second.group == c.group) other.second.checked = false;
  c.checked = checked;
  return true;
}

bool IsDlgButtonChecked(WindowRef, std::uint32_t id) {
  sim::Enter("IsDlgButtonChecked");
  return sim::ControlOf(id).checked;
}

void ShowDlgItem(WindowRef, std::uint32_t id, bool visible) {
  sim::Enter("ShowWindow");
  sim::ControlOf(id).visible = visible;
}

std::uint32_t GetDlgItemText(WindowRef, std::uint32_t id, char16_t* buffer, std::uint32_t size) {
  sim::Enter("GetDlgItemTextW");
  if (size == 0) return 0;
  const WString& text = sim::ControlOf(id).text;
  const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
  std::copy(text.begin(), text.begin() + n, buffer);
  buffer[n] = 0;
  return static_cast<std::uint32_t>(n);
}

bool SetDlgItemText(WindowRef, std::uint32_t id, const WString& text) {
  sim::Enter("SetDlgItemTextW");
  sim::ControlOf(id).text = text;
  return true;
}

}  // namespace platform
