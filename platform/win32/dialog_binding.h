// Icons loaded for the dialog are destroyed on the dialog side of the seam.
#pragma once

#include "platform/win32/windows_includes.h"

#include "platform/platform.h"

void DestroyIconHandle(platform::RawHandle handle);
