// Loads "msi.dll" the way a program without any hardening does (the default
// search order: the program's own folder first) and exits with what its
// ordinal 113, MsiQueryProductStateW, answers for an unknown product: 4242
// from the planted stand-in, -1 from the real msi.dll, 1000 + the error when
// nothing could be loaded. The Windows Installer tests use it to show that a
// planted msi.dll would be loaded from where they run, and, with "--restricted",
// that the exe's first step (restricting the DLL search to the system
// directory) keeps the same plain load away from the plant.
#include "platform/win32/windows_includes.h"

#include "platform/platform.h"

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && ::lstrcmpW(argv[1], L"--restricted") == 0) platform::SetDefaultDllDirectories(0x800);
  HMODULE msi = ::LoadLibraryW(L"msi.dll");
  if (msi == nullptr) return 1000 + static_cast<int>(::GetLastError());
  using QueryProductState = int(WINAPI*)(LPCWSTR);
  const FARPROC function = ::GetProcAddress(msi, MAKEINTRESOURCEA(113));
  if (function == nullptr) return 1000 + static_cast<int>(::GetLastError());
  const auto query = reinterpret_cast<QueryProductState>(reinterpret_cast<void*>(function));
  return query(L"{00000000-0000-4000-8000-0000000000FF}");
}
