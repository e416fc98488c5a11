// The seam over Windows: plain functions, each thin over one Win32 call or a
// tight group of them. No decision of the system lives behind this header;
// every branch is in the portable code that calls it. Two implementations:
// platform/win32 (the real exe) and tests/sim (the simulated Windows).
//
// Functions mirror the Win32 calls they wrap: a BOOL with the reason in
// GetLastError, or an error code (registry, Windows Installer), as Win32
// gives. Their names are not windows.h's A/W macros (ShowMessageBox for
// MessageBoxW), so that the seam and windows.h live side by side.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/wstring.h"

namespace platform {

// ---------------------------------------------------------------------------
// Handles. Every handle that crosses the seam is owned by a move-only holder
// whose empty value is 0 (the Win32 side maps INVALID_HANDLE_VALUE to 0), so
// every path that leaves a scope closes what it opened.
using RawHandle = std::uintptr_t;

enum class HandleKind : int {
  kFind,      // FindFirstFileW search (FindClose)
  kRegistry,  // registry key (RegCloseKey)
  kKernel,    // process, thread, token (CloseHandle)
  kMsi,       // Windows Installer handle (MsiCloseHandle)
  kIcon,      // icon (DestroyIcon)
  kFile,      // file (CloseHandle)
};

void CloseRawHandle(HandleKind kind, RawHandle handle);

template <HandleKind Kind>
class Owned {
 public:
  Owned() = default;
  explicit Owned(RawHandle handle) : handle_(handle) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : handle_(other.release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~Owned() { reset(); }

  RawHandle get() const { return handle_; }
  explicit operator bool() const { return handle_ != 0; }
  RawHandle release() {
    const RawHandle handle = handle_;
    handle_ = 0;
    return handle;
  }
  void reset(RawHandle handle = 0) {
    if (handle_ != 0) CloseRawHandle(Kind, handle_);
    handle_ = handle;
  }

 private:
  RawHandle handle_ = 0;
};

using FindHandle = Owned<HandleKind::kFind>;
using RegistryKey = Owned<HandleKind::kRegistry>;
using KernelHandle = Owned<HandleKind::kKernel>;
using MsiHandle = Owned<HandleKind::kMsi>;
using IconHandle = Owned<HandleKind::kIcon>;
using FileHandle = Owned<HandleKind::kFile>;

// ---------------------------------------------------------------------------
// Process start and end.

// The DLL search of the process, set first thing (setup/dll_search.h
// decides what to call). A DLL loaded by bare name is searched for in the
// exe's own folder first, a Downloads folder, unless SetDefaultDllDirectories
// takes that folder out of the search; where the system lacks it, only a
// DLL already loaded under that name (or a KnownDLL) is safe from a copy
// planted there.

// SetDefaultDllDirectories(flags), looked up at run time: false, with 127 in
// GetLastError, where the system lacks it (XP, Server 2003, and Vista and 7
// without KB2533623).
constexpr std::uint32_t kLoadLibrarySearchSystem32 = 0x800;
bool SetDefaultDllDirectories(std::uint32_t flags);
// SetDllDirectoryW(path), looked up at run time (Windows 2000 lacks it). An
// empty path takes the current directory out of the search; the exe's own
// folder stays first.
bool SetDllSearchDirectory(const WString& path);
// LoadLibraryExW(path, no file, LOAD_WITH_ALTERED_SEARCH_PATH): the library
// at this full path, the DLLs it imports looked for in its own folder first.
// It stays loaded for the life of the process. 0 on failure (GetLastError).
RawHandle LoadLibraryFromPath(const WString& path);

// Called with the exit code just before the process ends at once, where the
// C++ library would throw: for want of memory (8) or on an internal error
// (1359). It must neither allocate nor throw. nullptr: nothing is called.
using FatalExitHandler = void (*)(std::uint32_t code);
void SetFatalExitHandler(FatalExitHandler handler);

// GetLastError.
std::uint32_t GetLastError();
// SetLastError.
void SetLastError(std::uint32_t code);

// ---------------------------------------------------------------------------
// User interface.

// MessageBoxW with no owner window. Returns the button pressed (IDYES = 6,
// IDNO = 7, IDOK = 1, IDCANCEL = 2) or 0 when the box could not be shown.
int ShowMessageBox(const WString& text, const WString& caption, std::uint32_t style);

constexpr std::uint32_t kMbOk = 0x0;
constexpr std::uint32_t kMbYesNo = 0x4;
constexpr std::uint32_t kMbIconError = 0x10;
constexpr std::uint32_t kMbIconExclamation = 0x30;
constexpr std::uint32_t kMbIconInformation = 0x40;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// ---------------------------------------------------------------------------
// Command line: GetCommandLineW split with CommandLineToArgvW (the array is
// freed with LocalFree). Returns false when the split fails.
bool SplitCommandLine(std::vector<WString>& arguments);

// GetCommandLineW: the process's command line as it was received.
WString GetRawCommandLine();

// GetModuleFileNameW for the program's own module into a buffer of `size`
// units: the length copied; `size` when the path was cut to fit; 0 on failure.
std::uint32_t ReadModuleFileName(char16_t* buffer, std::uint32_t size);

// ---------------------------------------------------------------------------
// Resources of the program's own module. Finds resource `name` of the given
// type (RT_STRING 6, RT_VERSION 16) with FindResourceExW(language 0) when
// neutralLanguage is true, else with FindResourceW, and maps it
// (LoadResource, LockResource, SizeofResource). The data stays mapped for
// the life of the process.
constexpr std::uint16_t kResourceString = 6;
constexpr std::uint16_t kResourceVersion = 16;
bool FindOwnResource(std::uint16_t type, std::uint16_t name, bool neutralLanguage,
                     const std::uint8_t** data, std::uint32_t* size);

// ---------------------------------------------------------------------------
// Environment, directories and files.

// GetEnvironmentVariableW: with a null buffer and size 0, the size needed
// including the terminator; else the length copied, 0 on failure
// (GetLastError: 203 when the variable is not set).
std::uint32_t GetEnvironmentValue(const WString& name, char16_t* buffer,
                                  std::uint32_t size);

// GetCurrentDirectoryW: the length copied, or the size needed (terminator
// included) when the buffer is too small; 0 on failure.
std::uint32_t GetWorkingDirectory(std::uint32_t size, char16_t* buffer);

// GetSystemDirectoryW, same contract as GetCurrentDirectory.
std::uint32_t GetSystemFolder(char16_t* buffer, std::uint32_t size);

constexpr std::uint32_t kFileAttributeDirectory = 0x10;

struct FindData {
  std::uint32_t attributes = 0;
  WString name;
};

// FindFirstFileW: an empty holder when the search cannot be started or finds
// nothing (GetLastError tells which).
FindHandle FindFirstEntry(const WString& pattern, FindData& data);
// FindNextFileW: false at the end (GetLastError 18) or on failure.
bool FindNextEntry(RawHandle search, FindData& data);

// GetFileAttributesW succeeds on the path.
bool PathExists(const WString& path);

// DeleteFileW.
bool RemoveFile(const WString& path);

// MAX_PATH less its terminator: the longest path that CreateFileW and
// CreateProcessW take without \\?\ (3 or 206 for a longer one, unless the
// manifest is longPathAware and the machine's policy allows long paths; Wine
// takes them), and the longest that Windows Installer takes at all.
constexpr std::size_t kMaxPathLength = 259;

// Access rights and share modes of CreateFileW, chosen by the caller: what a
// handle lets others do with the file while it is open is a decision of the
// system, not of the seam.
constexpr std::uint32_t kGenericRead = 0x80000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;
constexpr std::uint32_t kFileReadAttributes = 0x80;
constexpr std::uint32_t kFileShareRead = 0x1;
constexpr std::uint32_t kFileShareWrite = 0x2;
constexpr std::uint32_t kFileShareDelete = 0x4;

// CreateFileW(path, access, share, no security attributes, CREATE_NEW,
// FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT): a new file only.
// Anything already at that name (a file, a link, a reparse point, a folder)
// makes it fail, and is neither opened nor followed. An empty holder on
// failure (GetLastError tells why: 80 when the name is taken).
FileHandle CreateNewFile(const WString& path, std::uint32_t access, std::uint32_t share);

// CreateFileW(path, access, share, no security attributes, OPEN_EXISTING,
// FILE_ATTRIBUTE_NORMAL). An empty holder on failure (GetLastError tells
// why: 32 when a handle already open refuses this access or share mode).
FileHandle OpenExistingFile(const WString& path, std::uint32_t access, std::uint32_t share);

// GetFileInformationByHandle: which file the handle holds (the volume's
// serial number and the file's index on it) and its size now.
struct FileInformation {
  std::uint32_t volume = 0;
  std::uint64_t index = 0;
  std::uint64_t size = 0;
};
bool ReadFileInformation(RawHandle file, FileInformation& information);

// GetFinalPathNameByHandleW(FILE_NAME_NORMALIZED | VOLUME_NAME_DOS), looked
// up at run time: the path the open file has now, every junction, mount
// point and link on the way resolved, as Windows writes it (\\?\C:\...,
// \\?\UNC\server\share\...). 0 and the path; else the error (127 on a
// Windows that lacks the call: XP, Server 2003).
std::uint32_t ReadFinalPath(RawHandle file, WString& path);

// CreateFileW(path, FILE_READ_ATTRIBUTES, every share mode, OPEN_EXISTING,
// FILE_FLAG_BACKUP_SEMANTICS): a folder held without keeping anyone from
// using it or what it holds. An empty holder on failure.
FileHandle OpenFolder(const WString& path);

// OpenFileById (looked up at run time) for the file with this index on the
// volume of volumeHint (an open file or folder): the file itself, whatever
// names it has now, none resolved. An empty holder on failure (GetLastError:
// 127 on a Windows that lacks the call, XP and Server 2003; 2 or 87 when no
// file has that index any more; 32 when a handle open on it refuses the
// access or share mode).
constexpr std::uint32_t kDelete = 0x00010000;
FileHandle OpenFileById(RawHandle volumeHint, std::uint64_t index, std::uint32_t access,
                        std::uint32_t share);

// SetFileInformationByHandle(FileDispositionInfo, DeleteFile TRUE), looked
// up at run time, on a handle opened with DELETE: the file goes when its
// last handle is closed. 0, or the error (127 where the system lacks it).
std::uint32_t MarkForDeletion(RawHandle file);

// WriteFile of all `size` bytes, no overlapped structure: true when the call
// succeeded and wrote every byte. Allocates nothing.
bool WriteFile(RawHandle file, const char* bytes, std::uint32_t size);

// ---------------------------------------------------------------------------
// Modules and functions looked up at run time. A module reference is not
// owned: GetModuleHandleW gives no reference, and a library loaded here
// stays loaded for the life of the process.
RawHandle FindLoadedModule(const WString& name);  // GetModuleHandleW
RawHandle LoadModule(const WString& name);        // LoadLibraryW

// A function that not every supported Windows has, found with GetProcAddress
// and typed by what it is, so that no address travels as a number and each
// is called only through its own seam function. Empty when not found.
template <typename Which>
struct LookedUpFunction {
  void (*address)() = nullptr;
  explicit operator bool() const { return address != nullptr; }
};
using IsWow64ProcessFunction = LookedUpFunction<struct IsWow64ProcessTag>;
using RegDeleteKeyExFunction = LookedUpFunction<struct RegDeleteKeyExTag>;
using RegDeleteKeyFunction = LookedUpFunction<struct RegDeleteKeyTag>;

IsWow64ProcessFunction FindIsWow64Process(RawHandle module);  // "IsWow64Process"
RegDeleteKeyExFunction FindRegDeleteKeyEx(RawHandle module);  // "RegDeleteKeyExW"
RegDeleteKeyFunction FindRegDeleteKey(RawHandle module);      // "RegDeleteKeyW"

// Whether this process is a 64-bit one (the x64 build): 64-bit Windows
// without asking WOW64.
bool IsProcess64Bit();

// Whether the program's own file carries an Authenticode signature: the
// security entry of its loaded image's header, read from memory (nothing is
// opened or verified).
bool ProgramHasEmbeddedSignature();

// CryptGenRandom on a verification-only context of the default provider:
// count bytes that nobody can guess. False when the system gives none.
bool GenerateRandom(std::uint8_t* bytes, std::uint32_t count);
// IsWow64Process for the current process.
bool CallIsWow64Process(IsWow64ProcessFunction function, bool& wow64);
// RegDeleteKeyExW / RegDeleteKeyW; their error code.
std::uint32_t CallRegDeleteKeyEx(RegDeleteKeyExFunction function, RawHandle key,
                                 const WString& subkey, std::uint32_t access,
                                 std::uint32_t reserved);
std::uint32_t CallRegDeleteKey(RegDeleteKeyFunction function, RawHandle key,
                               const WString& subkey);

// ---------------------------------------------------------------------------
// Registry below HKEY_CURRENT_USER.
constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kKeyWrite = 0x20006;
constexpr std::uint32_t kKeyWow64_32Key = 0x0200;

// RegOpenKeyExW(HKEY_CURRENT_USER, subkey, 0, access).
std::uint32_t RegOpenCurrentUserKey(const WString& subkey, std::uint32_t access,
                                    RegistryKey& key);
// RegCreateKeyExW(HKEY_CURRENT_USER, subkey, 0, no class, non-volatile,
// access, no security attributes); the disposition is not reported.
std::uint32_t RegCreateCurrentUserKey(const WString& subkey, std::uint32_t access,
                                      RegistryKey& key);

// ---------------------------------------------------------------------------
// System facts.
struct WindowsVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint16_t servicePackMajor = 0;
};

// GetVersionExW on a zeroed OSVERSIONINFOEXW of size 284.
bool ReadWindowsVersion(WindowsVersion& version);

// IsUserAnAdmin (shell32 ordinal 680).
bool IsUserAnAdmin();

// GetSystemDefaultUILanguage.
std::uint16_t GetSystemDefaultUILanguage();

// Local time from time() and localtime(): TZ when set and not empty, else the
// system's time-zone settings, daylight saving applied.
struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};
LocalTime GetLocalTime();

// Writes a line to the process's standard output, when it has one.
void WriteStandardOutput(const WString& line);

// GetTickCount: milliseconds since Windows started, wrapping after 49.7 days.
std::uint32_t GetTickCount();

// ---------------------------------------------------------------------------
// Child processes.
constexpr std::uint32_t kCreateSuspended = 0x00000004;
constexpr std::uint32_t kCreateNoWindow = 0x08000000;

struct ChildProcess {
  KernelHandle process;
  KernelHandle thread;
};

// CreateProcessW with applicationName (no application name when it is
// empty: the program is then the command line's first token, searched for),
// commandLine as the writable command line, no security attributes, no
// inheritance, the given creation flags, the caller's environment and
// directory. False on failure (GetLastError tells why).
bool StartProcess(const WString& applicationName, WString& commandLine,
                  std::uint32_t creationFlags, ChildProcess& child);

// ResumeThread: lets a process started suspended run.
bool ResumeThread(RawHandle thread);

// TerminateProcess: ends the process with exitCode.
bool TerminateProcess(RawHandle process, std::uint32_t exitCode);

// QueryFullProcessImageNameW (Win32 form), looked up at run time: the path of
// the file the process runs. 0 and the path; else the error (127 on a Windows
// that lacks the call).
std::uint32_t QueryProcessImagePath(RawHandle process, WString& path);

// WaitForSingleObject(handle, INFINITE): WAIT_OBJECT_0 (0), or WAIT_FAILED
// (0xFFFFFFFF) with the reason in GetLastError.
std::uint32_t WaitForever(RawHandle handle);

// GetExitCodeProcess.
bool GetExitCodeProcess(RawHandle process, std::uint32_t& exitCode);

// ---------------------------------------------------------------------------
// Named mutexes and waits.
constexpr std::uint32_t kSynchronize = 0x00100000;
constexpr std::uint32_t kMutexModifyState = 0x0001;
constexpr std::uint32_t kWaitObject0 = 0;
constexpr std::uint32_t kWaitAbandoned = 0x80;
constexpr std::uint32_t kWaitTimeout = 0x102;
constexpr std::uint32_t kWaitFailed = 0xFFFFFFFF;

// OpenMutexW(access, no inheritance, name): never creates it. An empty
// holder on failure (GetLastError: 2 when there is none, 5 without access).
KernelHandle OpenNamedMutex(const WString& name, std::uint32_t access);

// CreateMutexW(security, not owned, name), its security descriptor made from
// the SDDL text security (ConvertStringSecurityDescriptorToSecurityDescriptorW,
// freed with LocalFree): a new mutex, or the one of that name (GetLastError
// 183) opened with every right. An empty holder on failure (GetLastError: 5
// when the mutex exists and its DACL refuses this account every right).
KernelHandle CreateNamedMutex(const WString& name, const WString& security);

// WaitForSingleObject(handle, milliseconds): WAIT_OBJECT_0, WAIT_ABANDONED
// (a mutex whose owner ended without releasing it, now this thread's),
// WAIT_TIMEOUT, or WAIT_FAILED with the reason in GetLastError.
std::uint32_t WaitForObject(RawHandle handle, std::uint32_t milliseconds);

// ReleaseMutex (the handle needs MUTEX_MODIFY_STATE).
bool ReleaseMutex(RawHandle mutex);

// The same wait while a window shows that it waits: dialog templateId of
// the program's own module, without an owner window, its caption and its
// control textId set to the texts given, shown until the wait ends. Its
// messages are handled meanwhile (MsgWaitForMultipleObjects), so that it
// paints and moves; its Cancel button (IDCANCEL, also Escape and the close
// box) ends the wait with cancelled set. Returns what WaitForObject returns
// (WAIT_TIMEOUT also when cancelled), WAIT_FAILED when the window cannot be
// made.
std::uint32_t WaitShowingWindow(RawHandle handle, std::uint32_t milliseconds,
                                std::uint16_t templateId, std::uint32_t textId,
                                const WString& caption, const WString& text, bool& cancelled);

// ---------------------------------------------------------------------------
// Authenticode signatures of the files the run starts.

// What WinVerifyTrust found in a file's signature, read from the provider
// data that the verification keeps (WTD_STATEACTION_VERIFY), whatever its
// result: after a failure of the chain it still holds the signer and the
// errors of the steps that ran.
struct FileSignature {
  // padwTrustStepErrors of the steps that read the file and its signer:
  // TRUSTERROR_STEP_FINAL_OBJPROV (the object provider: the signature found
  // in the file and the file's digest compared with the signed one;
  // TRUST_E_NOSIGNATURE, TRUST_E_BAD_DIGEST, NTE_BAD_ALGID are its errors)
  // and TRUSTERROR_STEP_FINAL_SIGPROV (the signature provider: the signer
  // and its certificate found and the signer's signature verified). 0 when
  // the step passed. Both hold the result when the verification kept no
  // provider data.
  std::uint32_t objectStep = 0;
  std::uint32_t signerStep = 0;
  // TrustStatus.dwErrorStatus of the chain built for the signer
  // (CERT_TRUST_IS_...); 0 when none was built.
  std::uint32_t chainStatus = 0;
  std::string certificate;  // the signer's certificate as encoded; empty when none was found
  std::string subject;      // its subject name as encoded there
  WString name;             // its simple display name (CertGetNameStringW); may be empty
};

constexpr std::uint32_t kCertTrustIsNotTimeValid = 0x1;
constexpr std::uint32_t kCertTrustIsUntrustedRoot = 0x20;
constexpr std::uint32_t kCertTrustIsPartialChain = 0x10000;

// WinVerifyTrust with WINTRUST_ACTION_GENERIC_VERIFY_V2 on the open file
// (path names it for the system's choice of how to read it): no user
// interface, no revocation check, and no network retrieval at all
// (WTD_CACHE_ONLY_URL_RETRIEVAL: neither revocation lists nor a root that
// Windows would otherwise fetch on demand), so that an offline machine
// answers the same and nothing waits on the network. wintrust.dll and
// crypt32.dll are loaded from the system directory only, at run time.
// Returns WinVerifyTrust's result (0 when the signature verifies and its
// chain is trusted here; else the trust error: TRUST_E_NOSIGNATURE,
// TRUST_E_BAD_DIGEST, CERT_E_UNTRUSTEDROOT, ...) with signature filled from
// the provider data; or the loader's code (126, 127) when wintrust.dll or a
// function is missing.
std::uint32_t VerifyFileSignature(const WString& path, RawHandle file, FileSignature& signature);

// ---------------------------------------------------------------------------
// Restart of Windows.
constexpr std::uint32_t kTokenAdjustPrivileges = 0x20;
constexpr std::uint32_t kTokenQuery = 0x08;
constexpr std::uint32_t kSePrivilegeEnabled = 2;

// OpenProcessToken(GetCurrentProcess(), access).
bool OpenProcessToken(std::uint32_t access, KernelHandle& token);
// LookupPrivilegeValueW(local system, name); the identifier as 64 bits.
bool LookUpPrivilege(const WString& name, std::uint64_t& luid);
// AdjustTokenPrivileges with one privilege and no previous-state buffer.
bool AdjustTokenPrivilege(RawHandle token, std::uint64_t luid, std::uint32_t attributes);
// ExitWindowsEx. Windows documents that it ends only the caller's logon
// session: called by a process that is not the interactive user (LocalSystem
// under a fleet tool) it succeeds without restarting anything.
bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reason);
// InitiateSystemShutdownExW of advapi32.dll (Windows XP and later), found in
// a module with GetProcAddress; empty where the system lacks it.
using InitiateSystemShutdownExFunction = LookedUpFunction<struct InitiateSystemShutdownExTag>;
InitiateSystemShutdownExFunction FindInitiateSystemShutdownEx(RawHandle module);
// InitiateSystemShutdownExW(this computer, no message, timeoutSeconds,
// forceAppsClosed, reboot, reason): the whole computer, whoever calls.
bool CallInitiateSystemShutdownEx(InitiateSystemShutdownExFunction function,
                                  std::uint32_t timeoutSeconds, bool forceAppsClosed, bool reboot,
                                  std::uint32_t reason);

// ---------------------------------------------------------------------------
// Windows Installer: msi.dll loaded from the system directory only and bound
// by ordinal. When msi.dll cannot be bound, each call returns the loader's
// error code (the state queries return -1, unknown).
std::uint32_t MsiSetInternalUI(std::uint32_t level);  // 141
// MsiOpenDatabaseW (92) with MSIDBOPEN_READONLY: the package's tables are
// read without starting an installer session.
std::uint32_t MsiOpenDatabase(const WString& path, MsiHandle& database);
// MsiDatabaseOpenViewW (32).
std::uint32_t MsiDatabaseOpenView(RawHandle database, const WString& query, MsiHandle& view);
// MsiViewExecute (159) with no parameter record.
std::uint32_t MsiViewExecute(RawHandle view);
// MsiViewFetch (160): 0 and the next row, or 259 (ERROR_NO_MORE_ITEMS) when
// there is none.
std::uint32_t MsiViewFetch(RawHandle view, MsiHandle& record);
// MsiViewClose (158).
std::uint32_t MsiViewClose(RawHandle view);
// MsiRecordGetStringW (118): buffer may be empty when length is 0.
std::uint32_t MsiRecordGetString(RawHandle record, std::uint32_t field, char16_t* buffer,
                                 std::uint32_t& length);
// MsiGetProductInfoW (70): buffer may be null when length is 0.
std::uint32_t MsiGetProductInfo(const WString& product, const WString& attribute,
                                char16_t* buffer, std::uint32_t& length);
// MsiEnumRelatedProductsW (205), reserved 0; productBuffer holds 39 units.
std::uint32_t MsiEnumRelatedProducts(const WString& upgradeCode, std::uint32_t index,
                                     char16_t* productBuffer);
int MsiQueryProductState(const WString& product);                          // 113
int MsiQueryFeatureState(const WString& product, const WString& feature);  // 111
// MsiSourceListClearAllW (209) with no user name and reserved 0.
std::uint32_t MsiSourceListClearAll(const WString& product);
// MsiSourceListSetInfoW (268) with no user SID.
std::uint32_t MsiSourceListSetInfo(const WString& product, std::uint32_t context,
                                   std::uint32_t options, const WString& property,
                                   const WString& value);

// ---------------------------------------------------------------------------
// The modal dialog and its controls. The dialog procedure is portable code;
// the seam turns window messages into these events.
using WindowRef = RawHandle;

enum class DialogEvent { kInit, kCommand, kDestroy };

// Returns true when the event was handled.
using DialogHandler = bool (*)(WindowRef dialog, DialogEvent event, std::uint32_t controlId,
                               void* context);

// DialogBoxParamW on the program's own template, no owner window; context
// reaches the handler with every event. Returns the dialog's result, or -1.
std::intptr_t RunModalDialog(std::uint16_t templateId, DialogHandler handler, void* context);
bool EndDialog(WindowRef dialog, std::intptr_t result);

// LoadImageW(own module, icon id, IMAGE_ICON, size, size, default colours).
IconHandle LoadIconImage(std::uint16_t iconId, int size);
// WM_SETICON with ICON_BIG.
void SetBigIcon(WindowRef dialog, RawHandle icon);

bool CheckDlgButton(WindowRef dialog, std::uint32_t id, bool checked);
bool IsDlgButtonChecked(WindowRef dialog, std::uint32_t id);
// GetDlgItem and ShowWindow(SW_SHOW or SW_HIDE).
void ShowDlgItem(WindowRef dialog, std::uint32_t id, bool visible);
// GetDlgItemTextW into a buffer of `size` units; returns the length copied.
std::uint32_t GetControlText(WindowRef dialog, std::uint32_t id, char16_t* buffer,
                             std::uint32_t size);
bool SetControlText(WindowRef dialog, std::uint32_t id, const WString& text);

}  // namespace platform
