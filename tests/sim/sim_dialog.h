// Driving the simulated dialog from a test.
#pragma once

#include <cstdint>
#include <map>

#include "tests/sim/sim_world.h"

namespace sim {

// Clicks a control of the open dialog (a WM_COMMAND from it). A radio button
// is checked first, clearing the others of its group, as an automatic radio
// button does.
void PressButton(std::uint32_t id);

Control& ControlOf(std::uint32_t id);

// The controls of dialog 141 as compiled into the program's resources.
std::map<std::uint32_t, Control> DialogTemplateControls();

}  // namespace sim
