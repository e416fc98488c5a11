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

// IsWow64Process as looked up in kernel32, kept by whoever asks (the run):
// it changes at most once from "not looked up", and without a kernel32
// module handle nothing is settled, so the next question looks again.
struct Wow64Lookup {
  enum class State { kNotLookedUp, kAbsent, kPresent };
  State state = State::kNotLookedUp;
  platform::IsWow64ProcessFunction isWow64Process;
};

// How the run knows whether Windows is 64-bit: the process is 64-bit itself
// (the x64 build), or a 32-bit process runs under WOW64; otherwise Windows is
// 32-bit (also when IsWow64Process is missing or fails). A 64-bit process
// asks nothing more; a 32-bit one looks IsWow64Process up once per lookup
// and calls it every time.
enum class WindowsArchitecture { k32Bit, kWow64, k64BitProcess };
WindowsArchitecture DetectWindowsArchitecture(Wow64Lookup& lookup);

// "*x64*" for 64-bit Windows (either way of knowing), else "*win32*".
WString ArchitecturePattern(WindowsArchitecture architecture);

// ArchitecturePattern(DetectWindowsArchitecture(lookup)).
WString SelectArchitecturePattern(Wow64Lookup& lookup);

// Reads the current directory at its real length, however long. 0 or the
// system's error code.
std::uint32_t ReadCurrentDirectory(WString& directory);
