// The pending-restart marker (HKCU\Software\NeedBstrReboot, 32-bit view) and
// the restart of Windows.
#pragma once

#include <cstdint>

// True when the marker key can be opened for reading.
bool IsRestartPending();

// Creates the marker; a failure is ignored (the installer's success stands).
void CreateRestartMarker();

// Deletes the marker; returns the Windows error code of the attempt.
std::uint32_t ClearRestartMarker();

// Enables the shutdown privilege and starts a forced restart. True when the
// restart was started.
bool RestartComputer();
