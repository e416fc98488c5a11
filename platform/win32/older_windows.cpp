// The exe must start on every Windows whose version it judges (Windows 2000
// SP4 and later) so that an administrator on an old system reads why it is
// refused instead of a loader error. The static runtime's thread library
// imports kernel32 functions that newer systems have only; their import
// slots are defined here instead. Each looks its function up by name in
// kernel32 (always loaded, so nothing is searched for) on every call, with a
// plain stand-in where the system lacks it: no state, so no lock. Nothing of
// the system itself calls these functions.
#include "platform/win32/windows_includes.h"

#include "platform/win32/loaded_function.h"

namespace {

template <typename Function>
Function Bind(const char* name) {
  return LoadedFunction<Function>(L"kernel32.dll", name);
}

// Windows Vista and later. GetTickCount wraps after 49.7 days; the thread
// library measures time-outs with it, which this program never sets.
ULONGLONG WINAPI TickCount64() {
  using Fn = ULONGLONG(WINAPI*)();
  const Fn system = Bind<Fn>("GetTickCount64");
  return system != nullptr ? system() : ::GetTickCount();
}

// Windows XP and later. Without them no handler is installed: the thread
// library uses one only to name threads for a debugger.
PVOID WINAPI AddVectoredHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler) {
  using Fn = PVOID(WINAPI*)(ULONG, PVECTORED_EXCEPTION_HANDLER);
  const Fn system = Bind<Fn>("AddVectoredExceptionHandler");
  return system != nullptr ? system(first, handler) : nullptr;
}

ULONG WINAPI RemoveVectoredHandler(PVOID handle) {
  using Fn = ULONG(WINAPI*)(PVOID);
  const Fn system = Bind<Fn>("RemoveVectoredExceptionHandler");
  return system != nullptr && handle != nullptr ? system(handle) : 0;
}

}  // namespace

// The import slots the linker would otherwise take from libkernel32.a.
extern "C" {
ULONGLONG(WINAPI* vexis_tick_count_64)() __asm__("__imp__GetTickCount64@0") = TickCount64;
PVOID(WINAPI* vexis_add_vectored)(ULONG, PVECTORED_EXCEPTION_HANDLER) __asm__(
    "__imp__AddVectoredExceptionHandler@8") = AddVectoredHandler;
ULONG(WINAPI* vexis_remove_vectored)(PVOID) __asm__("__imp__RemoveVectoredExceptionHandler@4") =
    RemoveVectoredHandler;
}
