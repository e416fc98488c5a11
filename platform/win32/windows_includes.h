// windows.h for the Win32 side of the seam. The seam's functions share names
// with windows.h's A/W macros (MessageBox, CreateProcess, DialogBox ...);
// those macros are taken back so that the names mean the seam's functions.
// Include this instead of <windows.h>, before any other header.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "platform/win32/undef_macros.h"
