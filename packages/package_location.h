// Finding package files in the subfolders of the current directory.
#pragma once

#include <cstdint>

#include "platform/wstring.h"

// Searches the immediate subfolders of the current directory (in the order
// the system yields them, dot-folders skipped) for a file matching pattern
// whose name ends in ".msi" (without regard to case, as Windows matches
// names); folders and other names that match are passed over. The first such
// file of the first subfolder holding one wins. 0 and its full path (current
// directory + "\" + folder + "\" + name, not normalised); 232 when nothing
// matches or the directory cannot be listed; 206 when the full path is longer
// than 259 characters (Windows Installer takes package paths into MAX_PATH
// buffers); the system's error code when the current directory cannot be read
// after a match.
std::uint32_t FindPackageFile(WString pattern, WString& fullPath);

// "*x64*" when the process runs under WOW64, else "*win32*". IsWow64Process is
// looked up once per process and called every time.
WString SelectArchitecturePattern();

// Reads the current directory at its real length, however long. 0 or the
// system's error code.
std::uint32_t ReadCurrentDirectory(WString& directory);

// Tests only: forget the IsWow64Process lookup.
void ResetArchitectureCacheForTesting();
