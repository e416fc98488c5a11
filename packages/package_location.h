// Finding package files in the subfolders of the current directory.
#pragma once

#include <cstdint>

#include "platform/wstring.h"

// Searches the immediate subfolders of the current directory (in the order
// the system yields them, dot-folders skipped) for an entry matching pattern;
// the first match of the first subfolder holding one wins. 0 and its full
// path (current directory + "\" + folder + "\" + name, not normalised); 232
// when nothing matches or the directory cannot be listed; the system's error
// code when the current directory cannot be read after a match.
std::uint32_t FindPackageFile(WString pattern, WString& fullPath);

// "*x64*" when the process runs under WOW64, else "*win32*". IsWow64Process is
// looked up once per process and called every time.
WString SelectArchitecturePattern();

// Reads the current directory at its real length, however long. 0 or the
// system's error code.
std::uint32_t ReadCurrentDirectory(WString& directory);

// Tests only: forget the IsWow64Process lookup.
void ResetArchitectureCacheForTesting();
