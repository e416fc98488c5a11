// The modal dialog over simulated controls. The test's dialogScript plays the
// user: it sends commands with sim::PressButton while the dialog is open.
// The controls come from the compiled template (sim::DialogTemplateControls)
// unless the test put its own in W().controls. A control id that the dialog
// does not have behaves as GetDlgItem's NULL does: the call fails, nothing is
// created, and the call log shows it ("ShowWindow:nocontrol").
#include <algorithm>
#include <string>

#include "platform/platform.h"
#include "tests/sim/sim_dialog.h"
#include "tests/sim/sim_internal.h"
#include "tests/sim/sim_world.h"

namespace sim {
namespace {
platform::DialogHandler g_handler = nullptr;
void* g_context = nullptr;
constexpr platform::WindowRef kDialogWindow = 0x5141;

// The control, or null (recorded as "<call>:nocontrol") when there is none.
Control* Find(const char* call, std::uint32_t id) {
  const auto it = W().controls.find(id);
  if (it != W().controls.end()) return &it->second;
  W().calls.push_back(std::string(call) + ":nocontrol");
  return nullptr;
}

void CheckInGroup(Control& control) {
  if (control.group != 0)
    for (auto& other : W().controls)
      if (other.second.group == control.group) other.second.checked = false;
  control.checked = true;
}
}  // namespace

bool PressButton(std::uint32_t id) {
  if (!W().dialogOpen || !g_handler) return false;
  const auto it = W().controls.find(id);
  if (it == W().controls.end() || !it->second.visible) return false;
  // An automatic radio button checks itself before it notifies the dialog.
  if (it->second.group != 0) CheckInGroup(it->second);
  g_handler(kDialogWindow, platform::DialogEvent::kCommand, id, g_context);
  return true;
}

bool SendCommand(std::uint32_t id) {
  if (!W().dialogOpen || !g_handler) return false;
  g_handler(kDialogWindow, platform::DialogEvent::kCommand, id, g_context);
  return true;
}

Control& ControlOf(std::uint32_t id) { return W().controls[id]; }

}  // namespace sim

namespace platform {

using sim::W;

std::intptr_t RunModalDialog(std::uint16_t templateId, DialogHandler handler, void* context) {
  if (!sim::Enter("DialogBoxParamW") || templateId != 141) return -1;
  sim::World& w = W();
  if (w.controls.empty()) w.controls = sim::DialogTemplateControls();
  sim::g_handler = handler;
  sim::g_context = context;
  w.dialogOpen = true;
  w.dialogResult = 0;
  // WM_DESTROY comes on every way out, also when the handler ends the
  // process from inside the dialog.
  struct Closer {
    ~Closer() {
      W().dialogOpen = false;
      if (sim::g_handler) sim::g_handler(sim::kDialogWindow, DialogEvent::kDestroy, 0, sim::g_context);
      sim::g_handler = nullptr;
      sim::g_context = nullptr;
    }
  } closer;
  handler(sim::kDialogWindow, DialogEvent::kInit, 0, context);
  // The script runs until it ends the dialog; a script that leaves it open
  // ends it as the close box would (the cancel command).
  if (w.dialogScript && w.dialogOpen) w.dialogScript(sim::kDialogWindow);
  if (w.dialogOpen) handler(sim::kDialogWindow, DialogEvent::kCommand, 2, context);
  return w.dialogResult;
}

bool EndDialog(WindowRef, std::intptr_t result) {
  sim::Enter("EndDialog");
  W().dialogOpen = false;
  W().dialogResult = result;
  return true;
}

IconHandle LoadIconImage(std::uint16_t iconId, int size) {
  if (!sim::Enter("LoadImageW") || iconId != 100 || size != 32) return IconHandle();
  return IconHandle(sim::NewHandle(HandleKind::kIcon));
}

void SetBigIcon(WindowRef, RawHandle icon) {
  sim::Enter("WM_SETICON");
  W().bigIcon = sim::IsOpen(icon, HandleKind::kIcon) ? u"icon 100" : u"";
}

bool CheckDlgButton(WindowRef, std::uint32_t id, bool checked) {
  if (!sim::Enter("CheckDlgButton")) return false;
  sim::Control* c = sim::Find("CheckDlgButton", id);
  if (!c) return false;
  // BM_SETCHECK on an automatic radio button clears the rest of its group.
  if (checked)
    sim::CheckInGroup(*c);
  else
    c->checked = false;
  return true;
}

bool IsDlgButtonChecked(WindowRef, std::uint32_t id) {
  sim::Enter("IsDlgButtonChecked");
  const sim::Control* c = sim::Find("IsDlgButtonChecked", id);
  return c && c->checked;
}

void ShowDlgItem(WindowRef, std::uint32_t id, bool visible) {
  sim::Enter("ShowWindow");
  if (sim::Control* c = sim::Find("ShowWindow", id)) c->visible = visible;
}

std::uint32_t GetControlText(WindowRef, std::uint32_t id, char16_t* buffer, std::uint32_t size) {
  sim::Enter("GetDlgItemTextW");
  if (size == 0) return 0;
  buffer[0] = 0;
  const sim::Control* c = sim::Find("GetDlgItemTextW", id);
  if (!c) return 0;
  const WString& text = c->text;
  const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
  std::copy(text.begin(), text.begin() + n, buffer);
  buffer[n] = 0;
  return static_cast<std::uint32_t>(n);
}

bool SetControlText(WindowRef, std::uint32_t id, const WString& text) {
  if (!sim::Enter("SetDlgItemTextW")) return false;
  sim::Control* c = sim::Find("SetDlgItemTextW", id);
  if (!c) return false;
  c->text = text;
  return true;
}

}  // namespace platform
