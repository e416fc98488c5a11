// windows.h for the Win32 side of the seam, with the headers the seam's
// Win32 calls need. Include this instead of <windows.h>, before any other
// header.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
