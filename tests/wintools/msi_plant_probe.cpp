// Loads "msi.dll" the way a program without any hardening does (the default
// search order: the program's own folder first) and exits with what its
// ordinal 113, MsiQueryProductStateW, answers for an unknown product: 4242
// from the planted stand-in, -1 from the real msi.dll, 1000 + the error when
// nothing could be loaded. The Windows Installer tests use it to show that a
// planted msi.dll would be loaded from where they run.
#include <windows.h>

int wmain() {
  HMODULE msi = ::LoadLibraryW(L"msi.dll");
  if (msi == nullptr) return 1000 + static_cast<int>(::GetLastError());
  using QueryProductState = int(WINAPI*)(LPCWSTR);
  const FARPROC function = ::GetProcAddress(msi, MAKEINTRESOURCEA(113));
  if (function == nullptr) return 1000 + static_cast<int>(::GetLastError());
  const auto query = reinterpret_cast<QueryProductState>(reinterpret_cast<void*>(function));
  return query(L"{00000000-0000-4000-8000-0000000000FF}");
}
