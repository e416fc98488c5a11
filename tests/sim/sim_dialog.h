// Driving the simulated dialog from a test, and reading the compiled dialog
// template that the simulated controls come from.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "platform/wstring.h"
#include "tests/sim/sim_world.h"

namespace sim {

// Clicks a control of the open dialog as a user would: a visible control
// only. An automatic radio button is checked first, clearing the others of
// its group, then the dialog gets the WM_COMMAND. False (and nothing sent)
// when no dialog is open or the control is missing or hidden.
bool PressButton(std::uint32_t id);

// Sends the dialog a WM_COMMAND from `id` with no click: what Escape and the
// close box do (IDCANCEL, 2). False when no dialog is open.
bool SendCommand(std::uint32_t id);

// The control of the open dialog (or of the last one); a test may read it.
Control& ControlOf(std::uint32_t id);

// One control of a DIALOGEX template, as compiled.
struct TemplateControl {
  std::uint32_t id = 0;
  WString windowClass;  // "Button", "Edit", "Static", ... (or the class name given)
  WString text;
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
};

// A DIALOGEX template, as compiled into the program's resources.
struct DialogTemplate {
  bool found = false;
  std::uint16_t language = 0;
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
  int x = 0, y = 0, width = 0, height = 0;
  WString menu;
  WString windowClass;
  WString caption;
  int pointSize = 0;
  int weight = 0;
  bool italic = false;
  int charset = 0;
  WString typeface;
  std::vector<TemplateControl> controls;  // template order
};

// Reads dialog `id` from the compiled .res of the program (VEXIS_RES_PATH).
// found is false when the resource is missing or is not a DIALOGEX.
DialogTemplate ReadDialogTemplate(std::uint16_t id);

// The controls of dialog 141 as compiled into the program's resources: text,
// initial visibility (WS_VISIBLE) and, for automatic radio buttons, the group
// they belong to (numbered by the WS_GROUP control that starts it; 0 for
// every other control).
std::map<std::uint32_t, Control> DialogTemplateControls();

}  // namespace sim
