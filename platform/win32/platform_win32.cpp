// The Win32 side of the seam: each function a thin wrapper over the call it
// names. Windows Installer and the dialog have files of their own.
#include "platform/win32/windows_includes.h"

#include <sddl.h>
#include <wincrypt.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_shared.h"

namespace platform {
namespace {

const wchar_t* W(const WString& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
wchar_t* W(char16_t* buffer) { return reinterpret_cast<wchar_t*>(buffer); }
WString FromW(const wchar_t* text) { return WString(reinterpret_cast<const char16_t*>(text)); }

HANDLE AsHandle(RawHandle handle) { return reinterpret_cast<HANDLE>(handle); }
RawHandle FromHandle(HANDLE handle) { return reinterpret_cast<RawHandle>(handle); }

void Fill(FindData& data, const WIN32_FIND_DATAW& found) {
  data.attributes = found.dwFileAttributes;
  data.name = FromW(found.cFileName);
}

}  // namespace

void CloseRawHandle(HandleKind kind, RawHandle handle) {
  switch (kind) {
    case HandleKind::kFind: ::FindClose(AsHandle(handle)); break;
    case HandleKind::kRegistry: ::RegCloseKey(reinterpret_cast<HKEY>(handle)); break;
    case HandleKind::kKernel: ::CloseHandle(AsHandle(handle)); break;
    case HandleKind::kMsi: CloseMsiHandle(handle); break;
    case HandleKind::kIcon: DestroyIconHandle(handle); break;
    case HandleKind::kFile: ::CloseHandle(AsHandle(handle)); break;
  }
}

// Looked up, not imported: an import of a function that XP, Vista or 7
// without its update lacks would keep the exe from starting there at all.
bool SetDefaultDllDirectories(std::uint32_t flags) {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  std::uint32_t error = 0;
  const auto setDefault = BindFunction<SetDefaultDllDirectoriesFn>(
      LoadedModule(L"kernel32.dll"), "SetDefaultDllDirectories", &error);
  if (setDefault == nullptr) {
    ::SetLastError(error);
    return false;
  }
  return setDefault(flags) != FALSE;
}

// Windows XP SP1 and later; looked up.
bool SetDllSearchDirectory(const WString& path) {
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);
  std::uint32_t error = 0;
  const auto setDirectory =
      BindFunction<SetDllDirectoryFn>(LoadedModule(L"kernel32.dll"), "SetDllDirectoryW", &error);
  if (setDirectory == nullptr) {
    ::SetLastError(error);
    return false;
  }
  return setDirectory(W(path)) != FALSE;
}

RawHandle LoadLibraryFromPath(const WString& path) {
  return reinterpret_cast<RawHandle>(::LoadLibraryExW(W(path), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

namespace {
FatalExitHandler g_fatalExitHandler = nullptr;
}  // namespace

void SetFatalExitHandler(FatalExitHandler handler) { g_fatalExitHandler = handler; }

std::uint32_t GetLastError() { return ::GetLastError(); }

void SetLastError(std::uint32_t code) { ::SetLastError(code); }

int ShowMessageBox(const WString& text, const WString& caption, std::uint32_t style) {
  return ::MessageBoxW(nullptr, W(text), W(caption), style);
}

bool SplitCommandLine(std::vector<WString>& arguments) {
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!argv) return false;
  arguments.clear();
  for (int i = 0; i < count; ++i) arguments.push_back(FromW(argv[i]));
  ::LocalFree(argv);
  return true;
}

WString GetRawCommandLine() { return FromW(::GetCommandLineW()); }

std::uint32_t ReadModuleFileName(char16_t* buffer, std::uint32_t size) {
  return ::GetModuleFileNameW(nullptr, W(buffer), size);
}

bool FindOwnResource(std::uint16_t type, std::uint16_t name, bool neutralLanguage,
                     const std::uint8_t** data, std::uint32_t* size) {
  HMODULE self = ::GetModuleHandleW(nullptr);
  HRSRC found = neutralLanguage
                    ? ::FindResourceExW(self, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(name),
                                        MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL))
                    : ::FindResourceW(self, MAKEINTRESOURCEW(name), MAKEINTRESOURCEW(type));
  if (!found) return false;
  HGLOBAL loaded = ::LoadResource(self, found);
  if (!loaded) return false;
  const void* locked = ::LockResource(loaded);
  if (!locked) return false;
  *data = static_cast<const std::uint8_t*>(locked);
  *size = ::SizeofResource(self, found);
  return true;
}

std::uint32_t GetEnvironmentValue(const WString& name, char16_t* buffer, std::uint32_t size) {
  return ::GetEnvironmentVariableW(W(name), W(buffer), size);
}

std::uint32_t GetWorkingDirectory(std::uint32_t size, char16_t* buffer) {
  return ::GetCurrentDirectoryW(size, W(buffer));
}

std::uint32_t GetSystemFolder(char16_t* buffer, std::uint32_t size) {
  return ::GetSystemDirectoryW(W(buffer), size);
}

FindHandle FindFirstEntry(const WString& pattern, FindData& data) {
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW(W(pattern), &found);
  if (search == INVALID_HANDLE_VALUE) return FindHandle();
  Fill(data, found);
  return FindHandle(FromHandle(search));
}

bool FindNextEntry(RawHandle search, FindData& data) {
  WIN32_FIND_DATAW found{};
  if (!::FindNextFileW(AsHandle(search), &found)) return false;
  Fill(data, found);
  return true;
}

bool PathExists(const WString& path) {
  return ::GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveFile(const WString& path) { return ::DeleteFileW(W(path)) != 0; }

FileHandle CreateNewFile(const WString& path, std::uint32_t access, std::uint32_t share) {
  HANDLE file = ::CreateFileW(W(path), access, share, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FileHandle();
  return FileHandle(FromHandle(file));
}

FileHandle OpenExistingFile(const WString& path, std::uint32_t access, std::uint32_t share) {
  HANDLE file = ::CreateFileW(W(path), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
  if (file == INVALID_HANDLE_VALUE) return FileHandle();
  return FileHandle(FromHandle(file));
}

bool ReadFileInformation(RawHandle file, FileInformation& information) {
  BY_HANDLE_FILE_INFORMATION found{};
  if (!::GetFileInformationByHandle(AsHandle(file), &found)) return false;
  information.volume = found.dwVolumeSerialNumber;
  information.index = (static_cast<std::uint64_t>(found.nFileIndexHigh) << 32) | found.nFileIndexLow;
  information.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  return true;
}

// Windows Vista and later; looked up, so that the exe still starts on XP.
std::uint32_t ReadFinalPath(RawHandle file, WString& path) {
  using GetFinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
  std::uint32_t error = 0;
  const auto getFinalPath =
      BindFunction<GetFinalPathFn>(LoadedModule(L"kernel32.dll"), "GetFinalPathNameByHandleW", &error);
  if (getFinalPath == nullptr) return error;
  // The size query gives the length with its terminator; a path that grew
  // in between asks again.
  DWORD size = getFinalPath(AsHandle(file), nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  for (int round = 0; round < 4 && size != 0; ++round) {
    std::wstring buffer(size, L'\0');
    const DWORD length =
        getFinalPath(AsHandle(file), &buffer[0], size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) break;
    if (length < size) {
      path.assign(reinterpret_cast<const char16_t*>(buffer.data()), length);
      return 0;
    }
    size = length;
  }
  const DWORD failed = ::GetLastError();
  return failed != 0 ? failed : ERROR_GEN_FAILURE;
}

FileHandle OpenFolder(const WString& path) {
  HANDLE folder = ::CreateFileW(W(path), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return FileHandle();
  return FileHandle(FromHandle(folder));
}

// Windows Vista and later; looked up.
FileHandle OpenFileById(RawHandle volumeHint, std::uint64_t index, std::uint32_t access,
                        std::uint32_t share) {
  using OpenFileByIdFn = HANDLE(WINAPI*)(HANDLE, LPFILE_ID_DESCRIPTOR, DWORD, DWORD,
                                         LPSECURITY_ATTRIBUTES, DWORD);
  std::uint32_t error = 0;
  const auto open = BindFunction<OpenFileByIdFn>(LoadedModule(L"kernel32.dll"), "OpenFileById", &error);
  if (open == nullptr) {
    ::SetLastError(error);
    return FileHandle();
  }
  FILE_ID_DESCRIPTOR id{};
  id.dwSize = sizeof(id);
  id.Type = FileIdType;
  id.FileId.QuadPart = static_cast<LONGLONG>(index);
  HANDLE file = open(AsHandle(volumeHint), &id, access, share, nullptr, 0);
  if (file == INVALID_HANDLE_VALUE) return FileHandle();
  return FileHandle(FromHandle(file));
}

// Windows Vista and later; looked up.
std::uint32_t MarkForDeletion(RawHandle file) {
  using SetInformationFn = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
  std::uint32_t error = 0;
  const auto set =
      BindFunction<SetInformationFn>(LoadedModule(L"kernel32.dll"), "SetFileInformationByHandle", &error);
  if (set == nullptr) return error;
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  if (set(AsHandle(file), FileDispositionInfo, &disposition, sizeof(disposition))) return 0;
  const DWORD failed = ::GetLastError();
  return failed != 0 ? failed : ERROR_GEN_FAILURE;
}

bool WriteFile(RawHandle file, const char* bytes, std::uint32_t size) {
  DWORD written = 0;
  return ::WriteFile(AsHandle(file), bytes, size, &written, nullptr) != 0 && written == size;
}

RawHandle FindLoadedModule(const WString& name) {
  return reinterpret_cast<RawHandle>(::GetModuleHandleW(W(name)));
}

RawHandle LoadModule(const WString& name) {
  return reinterpret_cast<RawHandle>(::LoadLibraryW(W(name)));
}

namespace {

// Through the one way every function is looked up (BindFunction).
template <typename Which>
LookedUpFunction<Which> FindFunction(RawHandle module, const char* name) {
  std::uint32_t error = 0;
  return {BindFunction<void (*)()>(LoadedModule(reinterpret_cast<HMODULE>(module)), name, &error)};
}

}  // namespace

IsWow64ProcessFunction FindIsWow64Process(RawHandle module) {
  return FindFunction<IsWow64ProcessTag>(module, "IsWow64Process");
}

RegDeleteKeyExFunction FindRegDeleteKeyEx(RawHandle module) {
  return FindFunction<RegDeleteKeyExTag>(module, "RegDeleteKeyExW");
}

RegDeleteKeyFunction FindRegDeleteKey(RawHandle module) {
  return FindFunction<RegDeleteKeyTag>(module, "RegDeleteKeyW");
}

bool IsProcess64Bit() { return sizeof(void*) == 8; }

bool ProgramHasEmbeddedSignature() {
  // The headers of the loaded image are those of the file: the security
  // entry gives the file offset and size of its certificate table, empty in
  // an unsigned file.
  const auto* image = reinterpret_cast<const BYTE*>(::GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
  if (nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_SECURITY) return false;
  return nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY].Size != 0;
}

bool GenerateRandom(std::uint8_t* bytes, std::uint32_t count) {
  HCRYPTPROV provider = 0;
  if (!::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL,
                              CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
    return false;
  const bool generated = ::CryptGenRandom(provider, count, bytes) != FALSE;
  ::CryptReleaseContext(provider, 0);
  return generated;
}

bool CallIsWow64Process(IsWow64ProcessFunction function, bool& wow64) {
  BOOL result = FALSE;
  const auto isWow64Process = reinterpret_cast<BOOL(WINAPI*)(HANDLE, PBOOL)>(function.address);
  if (!isWow64Process(::GetCurrentProcess(), &result)) return false;
  wow64 = result != FALSE;
  return true;
}

std::uint32_t CallRegDeleteKeyEx(RegDeleteKeyExFunction function, RawHandle key,
                                 const WString& subkey, std::uint32_t access,
                                 std::uint32_t reserved) {
  const auto deleteKeyEx = reinterpret_cast<LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD)>(function.address);
  return static_cast<std::uint32_t>(deleteKeyEx(reinterpret_cast<HKEY>(key), W(subkey), access, reserved));
}

std::uint32_t CallRegDeleteKey(RegDeleteKeyFunction function, RawHandle key,
                               const WString& subkey) {
  const auto deleteKey = reinterpret_cast<LONG(WINAPI*)(HKEY, LPCWSTR)>(function.address);
  return static_cast<std::uint32_t>(deleteKey(reinterpret_cast<HKEY>(key), W(subkey)));
}

std::uint32_t RegOpenCurrentUserKey(const WString& subkey, std::uint32_t access,
                                    RegistryKey& key) {
  HKEY opened = nullptr;
  const LONG result = ::RegOpenKeyExW(HKEY_CURRENT_USER, W(subkey), 0, access, &opened);
  if (result == ERROR_SUCCESS) key.reset(reinterpret_cast<RawHandle>(opened));
  return static_cast<std::uint32_t>(result);
}

std::uint32_t RegCreateCurrentUserKey(const WString& subkey, std::uint32_t access,
                                      RegistryKey& key) {
  HKEY created = nullptr;
  DWORD disposition = 0;
  const LONG result = ::RegCreateKeyExW(HKEY_CURRENT_USER, W(subkey), 0, nullptr,
                                        REG_OPTION_NON_VOLATILE, access, nullptr, &created,
                                        &disposition);
  if (result == ERROR_SUCCESS && created) key.reset(reinterpret_cast<RawHandle>(created));
  return static_cast<std::uint32_t>(result);
}

bool ReadWindowsVersion(WindowsVersion& version) {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  static_assert(sizeof(OSVERSIONINFOEXW) == 284, "the extended version record is 284 bytes");
  if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return false;
  version.major = info.dwMajorVersion;
  version.minor = info.dwMinorVersion;
  version.servicePackMajor = info.wServicePackMajor;
  return true;
}

bool IsUserAnAdmin() { return ::IsUserAnAdmin() != FALSE; }

std::uint16_t GetSystemDefaultUILanguage() { return ::GetSystemDefaultUILanguage(); }

// The 64-bit clock of the C runtime, so that the stamps of log names go on
// past 2038 (this runtime's time_t has 32 bits). Looked up, not imported:
// the msvcrt.dll of Windows 2000 lacks it, and there the 32-bit clock serves.
LocalTime GetLocalTime() {
  using Time64Fn = __time64_t(__cdecl*)(__time64_t*);
  using LocalTime64Fn = std::tm*(__cdecl*)(const __time64_t*);
  std::uint32_t error = 0;
  const SystemLibrary msvcrt = LoadedModule(L"msvcrt.dll");
  const auto time64 = BindFunction<Time64Fn>(msvcrt, "_time64", &error);
  const auto localTime64 = BindFunction<LocalTime64Fn>(msvcrt, "_localtime64", &error);
  const std::tm* parts = nullptr;
  if (time64 != nullptr && localTime64 != nullptr) {
    const __time64_t now = time64(nullptr);
    parts = localTime64(&now);
  } else {
    const std::time_t now = std::time(nullptr);
    parts = std::localtime(&now);
  }
  LocalTime local;
  if (parts != nullptr) {
    local.year = parts->tm_year + 1900;
    local.month = parts->tm_mon + 1;
    local.day = parts->tm_mday;
    local.hour = parts->tm_hour;
    local.minute = parts->tm_min;
    local.second = parts->tm_sec;
  }
  return local;
}

void WriteStandardOutput(const WString& line) {
  // A GUI process normally has no standard output; then nothing is written.
  if (!::GetStdHandle(STD_OUTPUT_HANDLE)) return;
  std::fputws(W(line), stdout);
  std::fflush(stdout);
}

std::uint32_t GetTickCount() { return ::GetTickCount(); }

bool StartProcess(const WString& applicationName, WString& commandLine,
                  std::uint32_t creationFlags, ChildProcess& child) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(applicationName.empty() ? nullptr : W(applicationName),
                        reinterpret_cast<wchar_t*>(&commandLine[0]), nullptr, nullptr, FALSE,
                        creationFlags, nullptr, nullptr, &startup, &info))
    return false;
  child.process.reset(FromHandle(info.hProcess));
  child.thread.reset(FromHandle(info.hThread));
  return true;
}

bool ResumeThread(RawHandle thread) { return ::ResumeThread(AsHandle(thread)) != static_cast<DWORD>(-1); }

bool TerminateProcess(RawHandle process, std::uint32_t exitCode) {
  return ::TerminateProcess(AsHandle(process), exitCode) != 0;
}

// Windows Vista and later; looked up.
std::uint32_t QueryProcessImagePath(RawHandle process, WString& path) {
  using QueryImageNameFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
  std::uint32_t error = 0;
  const auto query =
      BindFunction<QueryImageNameFn>(LoadedModule(L"kernel32.dll"), "QueryFullProcessImageNameW", &error);
  if (query == nullptr) return error;
  // The call gives no size: a buffer twice as large until the path fits.
  for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
    std::wstring buffer(size, L'\0');
    DWORD length = size;
    if (query(AsHandle(process), 0, &buffer[0], &length)) {
      path.assign(reinterpret_cast<const char16_t*>(buffer.data()), length);
      return 0;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
  }
  const DWORD failed = ::GetLastError();
  return failed != 0 ? failed : ERROR_GEN_FAILURE;
}

std::uint32_t WaitForever(RawHandle handle) {
  return ::WaitForSingleObject(AsHandle(handle), INFINITE);
}

KernelHandle OpenNamedMutex(const WString& name, std::uint32_t access) {
  return KernelHandle(FromHandle(::OpenMutexW(access, FALSE, W(name))));
}

KernelHandle CreateNamedMutex(const WString& name, const WString& security) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(W(security), SDDL_REVISION_1, &descriptor,
                                                              nullptr))
    return KernelHandle();
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  HANDLE mutex = ::CreateMutexW(&attributes, FALSE, W(name));
  const DWORD error = ::GetLastError();
  ::LocalFree(descriptor);
  ::SetLastError(error);
  return KernelHandle(FromHandle(mutex));
}

std::uint32_t WaitForObject(RawHandle handle, std::uint32_t milliseconds) {
  return ::WaitForSingleObject(AsHandle(handle), milliseconds);
}

bool ReleaseMutex(RawHandle mutex) { return ::ReleaseMutex(AsHandle(mutex)) != 0; }

bool GetExitCodeProcess(RawHandle process, std::uint32_t& exitCode) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(AsHandle(process), &code)) return false;
  exitCode = code;
  return true;
}

bool OpenProcessToken(std::uint32_t access, KernelHandle& token) {
  HANDLE opened = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), access, &opened)) return false;
  token.reset(FromHandle(opened));
  return true;
}

bool LookUpPrivilege(const WString& name, std::uint64_t& luid) {
  LUID value{};
  if (!::LookupPrivilegeValueW(nullptr, W(name), &value)) return false;
  luid = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(value.HighPart)) << 32) |
         value.LowPart;
  return true;
}

bool AdjustTokenPrivilege(RawHandle token, std::uint64_t luid, std::uint32_t attributes) {
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Luid.LowPart = static_cast<DWORD>(luid & 0xFFFFFFFFu);
  privileges.Privileges[0].Luid.HighPart = static_cast<LONG>(luid >> 32);
  privileges.Privileges[0].Attributes = attributes;
  return ::AdjustTokenPrivileges(AsHandle(token), FALSE, &privileges, 0, nullptr, nullptr) != 0;
}

bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) {
  return ::ExitWindowsEx(flags, reason) != 0;
}

InitiateSystemShutdownExFunction FindInitiateSystemShutdownEx(RawHandle module) {
  return FindFunction<InitiateSystemShutdownExTag>(module, "InitiateSystemShutdownExW");
}

bool CallInitiateSystemShutdownEx(InitiateSystemShutdownExFunction function,
                                  std::uint32_t timeoutSeconds, bool forceAppsClosed, bool reboot,
                                  std::uint32_t reason) {
  const auto initiate =
      reinterpret_cast<BOOL(WINAPI*)(LPWSTR, LPWSTR, DWORD, BOOL, BOOL, DWORD)>(function.address);
  return initiate(nullptr, nullptr, timeoutSeconds, forceAppsClosed, reboot, reason) != FALSE;
}

}  // namespace platform

platform::FatalExitHandler TakeFatalExitHandler() {
  const platform::FatalExitHandler handler = platform::g_fatalExitHandler;
  platform::g_fatalExitHandler = nullptr;
  return handler;
}

SystemLibrary LoadedModule(HMODULE module) {
  SystemLibrary library;
  library.module = module;
  if (module == nullptr) library.loadError = ERROR_MOD_NOT_FOUND;
  return library;
}

SystemLibrary LoadedModule(const wchar_t* name) { return LoadedModule(::GetModuleHandleW(name)); }

// LOAD_LIBRARY_SEARCH_SYSTEM32 is refused (87) where the loader predates it;
// there the full path in the system directory gives the same guarantee.
SystemLibrary LoadSystemLibrary(const wchar_t* name) {
  SystemLibrary library;
  library.module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library.module == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER) {
    wchar_t directory[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(directory, MAX_PATH);
    if (length != 0 && length + 1 + ::lstrlenW(name) < MAX_PATH) {
      std::wstring path(directory, length);
      path += L"\\";
      path += name;
      library.module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
  }
  if (library.module == nullptr) {
    library.loadError = ::GetLastError();
    if (library.loadError == 0) library.loadError = ERROR_MOD_NOT_FOUND;
  }
  return library;
}
