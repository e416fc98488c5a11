#include "tests/sim/sim_dialog.h"

namespace sim {
std::map<std::uint32_t, Control> DialogTemplateControls() { return {}; }
}  // namespace sim
