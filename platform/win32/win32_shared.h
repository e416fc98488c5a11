// What the files of the Win32 side share. First, the one way a function is
// looked up at run time: a module (a DLL of the system directory that the exe
// loads itself, or one the process has loaded already) and BindFunction.
// DLLs of the system directory (msi.dll, wintrust.dll, crypt32.dll) are
// loaded from there only, so that a copy planted beside the exe (a Downloads
// folder) is never the one loaded; and functions that not every supported
// Windows has are looked up, never imported, so that the exe starts on every
// Windows.
#pragma once

#include "platform/win32/windows_includes.h"

#include <cstdint>

#include "platform/platform.h"

struct SystemLibrary {
  HMODULE module = nullptr;
  std::uint32_t loadError = 0;  // the loader's code when module is null
};

// Loads `name` (a file name such as L"msi.dll") from the system directory:
// LOAD_LIBRARY_SEARCH_SYSTEM32, or where the loader predates it (Windows XP,
// Vista, 7 without its update) the full path in the system directory. The
// library stays loaded for the life of the process; callers keep the result
// in a function's static, so that a load that failed is not tried again.
SystemLibrary LoadSystemLibrary(const wchar_t* name);

// A module the process has already loaded (GetModuleHandleW: nothing is
// loaded or searched for), or the one given.
SystemLibrary LoadedModule(const wchar_t* name);
SystemLibrary LoadedModule(HMODULE module);

// The function `name` (a name, or an ordinal through MAKEINTRESOURCEA) of
// the library, or null with the loader's code in *error.
template <typename Function>
Function BindFunction(const SystemLibrary& library, const char* name, std::uint32_t* error) {
  if (library.module == nullptr) {
    *error = library.loadError;
    return nullptr;
  }
  const FARPROC function = ::GetProcAddress(library.module, name);
  if (function == nullptr) {
    *error = ::GetLastError();
    if (*error == 0) *error = 127;  // ERROR_PROC_NOT_FOUND
    return nullptr;
  }
  return reinterpret_cast<Function>(reinterpret_cast<void*>(function));
}

// MsiCloseHandle (msi.dll ordinal 8) on a handle that the seam handed out;
// does nothing when msi.dll cannot be bound (no handle can then exist).
void CloseMsiHandle(platform::RawHandle handle);

// DestroyIcon on an icon the dialog loaded.
void DestroyIconHandle(platform::RawHandle handle);

// The handler that SetFatalExitHandler recorded, or nullptr, taken away so
// that the runtime's immediate end (runtime_without_exceptions.cpp) calls it
// once.
platform::FatalExitHandler TakeFatalExitHandler();
