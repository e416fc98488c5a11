#include "bootstrap/restart.h"
// Being written.
bool IsRestartPending() { return false; }
void CreateRestartMarker() {}
std::uint32_t ClearRestartMarker() { return 0; }
bool RestartComputer() { return false; }
