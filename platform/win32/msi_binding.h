// Windows Installer handles are closed through the run-time binding of msi.dll.
#pragma once

#include "platform/win32/windows_includes.h"

#include "platform/platform.h"

void CloseMsiHandle(platform::RawHandle handle);
