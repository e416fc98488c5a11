// mutex_holder: stands in for another installation in the end-to-end tests
// and the benchmark. Wine's msiexec never takes Windows Installer's mutex;
// this program does, as Windows Installer's service does while an
// installation runs its execute sequence:
//   mutex_holder [--name <mutex>] [--until <file>] <milliseconds> [<program name>]
// creates and owns Global\_MSIExecute (or the mutex named, such as the one
// another run of vexissetup.exe holds), prints "held <tick>", keeps it for the
// given time (or until the file exists, when that comes first: a test lets
// it go once what it waits for has happened), releases it and prints
// "released <tick>" (GetTickCount, the
// clock every process of the machine shares). With a program name (such as
// msiexec.exe) it then watches for a new process of that name for at most 60
// seconds and prints "started <name> <ms>", how long after the release it
// appeared, or "not started <name>". Exit code 0, or 1 when the mutex could
// not be made or was already owned.

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <set>
#include <string>

namespace {

// The ids of the running processes of that name.
std::set<DWORD> ProcessesNamed(const wchar_t* name) {
  std::set<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (_wcsicmp(entry.szExeFile, name) == 0) ids.insert(entry.th32ProcessID);
  CloseHandle(snapshot);
  return ids;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const wchar_t* name = L"Global\\_MSIExecute";
  const wchar_t* until = nullptr;
  for (; argc > 2 && (std::wcscmp(argv[1], L"--name") == 0 || std::wcscmp(argv[1], L"--until") == 0);
       argc -= 2, argv += 2)
    (argv[1][2] == L'n' ? name : until) = argv[2];
  if (argc < 2) {
    std::fprintf(stderr, "usage: mutex_holder [--name <mutex>] [--until <file>] <milliseconds> [<program name>]\n");
    return 2;
  }
  const DWORD hold = static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10));
  const wchar_t* watched = argc > 2 ? argv[2] : nullptr;
  const std::set<DWORD> before = watched ? ProcessesNamed(watched) : std::set<DWORD>();

  HANDLE mutex = CreateMutexW(nullptr, TRUE, name);
  if (mutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
    std::printf("could not own the mutex (%lu)\n", GetLastError());
    return 1;
  }
  std::printf("held %lu\n", GetTickCount());
  std::fflush(stdout);
  for (const DWORD start = GetTickCount(); GetTickCount() - start < hold;) {
    if (until != nullptr && GetFileAttributesW(until) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(until != nullptr ? 20 : hold);
  }
  ReleaseMutex(mutex);
  const DWORD released = GetTickCount();
  std::printf("released %lu\n", released);
  std::fflush(stdout);

  if (watched) {
    // Polled: a test program may spin where the product may not.
    for (;;) {
      const DWORD now = GetTickCount();
      bool seen = false;
      for (const DWORD id : ProcessesNamed(watched)) seen = seen || before.count(id) == 0;
      if (seen) {
        std::printf("started %ls %lu\n", watched, now - released);
        break;
      }
      if (now - released > 60000) {
        std::printf("not started %ls\n", watched);
        break;
      }
      Sleep(1);
    }
    std::fflush(stdout);
  }
  CloseHandle(mutex);
  return 0;
}
