// The process entry: restrict DLL loading, then one pass through the run.
#include "platform/win32/windows_includes.h"

#include "setup/dll_search.h"
#include "setup/entry_flow.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR tail, int) {
  // Before anything else: an installer is started from Downloads folders,
  // where a planted DLL must never be loaded in place of a system one.
  RestrictDllSearch();
  return RunBootstrap(tail == nullptr || *tail == L'\0');
}
