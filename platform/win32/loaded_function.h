// A function of a module the process has already loaded, looked up by name
// at run time, for functions that not every supported Windows has: an
// import of one would keep the exe from starting there at all. Nothing is
// loaded or searched for. nullptr when the module or the function is absent.
#pragma once

#include "platform/win32/windows_includes.h"

template <typename Function>
Function LoadedFunction(const wchar_t* module, const char* name) {
  const HMODULE handle = ::GetModuleHandleW(module);
  const FARPROC function = handle != nullptr ? ::GetProcAddress(handle, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(function));
}
