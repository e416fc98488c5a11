// Windows Installer handles are closed through the run-time binding of msi.dll.
#pragma once

#include "platform/win32/windows_includes.h"

#include "platform/platform.h"

// MsiCloseHandle (msi.dll ordinal 8) on a handle that the seam handed out;
// does nothing when msi.dll cannot be bound (no handle can then exist).
void CloseMsiHandle(platform::RawHandle handle);
