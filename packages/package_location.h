// Finding package files in the subfolders of the current directory.
#pragma once

#include <cstdint>

#include "platform/platform.h"
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

// IsWow64Process as looked up in kernel32, kept by the caller: it changes at
// most once from "not looked up" (without kernel32 the next call looks again).
struct Wow64Lookup {
  bool lookedUp = false;
  platform::IsWow64ProcessFunction isWow64Process;  // empty when absent
};

// Windows is 64-bit when the process is (the x64 build; nothing more is
// asked) or a 32-bit one runs under WOW64 (IsWow64Process, looked up once per
// lookup, called every time); else, also when that is missing or fails, 32-bit.
enum class WindowsArchitecture { k32Bit, kWow64, k64BitProcess };
WindowsArchitecture DetectWindowsArchitecture(Wow64Lookup& lookup);

// "*x64*" for 64-bit Windows (either way of knowing), else "*win32*".
WString ArchitecturePattern(WindowsArchitecture architecture);

// Reads the current directory at its real length, however long. 0 or the
// system's error code.
std::uint32_t ReadCurrentDirectory(WString& directory);
