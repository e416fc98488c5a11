// The simulated Windows: the in-memory world behind platform/platform.h for
// the native unit tests. A test sets the world up (files, environment,
// registry, installed products, child programs, box answers, failures),
// runs an operation, and reads back what happened (boxes, command lines,
// keys, handles, the exit code).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/wstring.h"

// Plain ASCII text widened unit by unit (numbers and names in tests).
inline WString Widen(const char* ascii) { return WString(ascii, ascii + std::char_traits<char>::length(ascii)); }

namespace sim {

struct Box {
  WString text;
  WString caption;
  std::uint32_t style = 0;
  int answer = 0;
};

// An injected failure: the `occurrence`-th call (1-based; 0 = every call) of
// the named seam function fails with `code`.
struct Fault {
  std::string call;
  int occurrence = 0;
  std::uint32_t code = 0;
};

struct Package {
  std::map<WString, WString> properties;  // ProductCode, UpgradeCode, ProductVersion ...
};

// A certificate, by a key of the test's choosing; its encoded bytes are
// "certificate:" and the key.
struct Certificate {
  std::string subject;    // its subject as encoded
  WString name;           // its display name
  std::string issuer;     // the key of the certificate that issued it; its own for a root
  bool expired = false;   // its validity has ended
};

// A file's signature, made with a certificate (by its key), time-stamped or
// not; without one, WinVerifyTrust's answer is result, with no signer to read.
struct Signature {
  std::string certificate;
  bool timestamped = true;
  bool changed = false;  // the file's bytes changed after it was signed
  std::uint32_t result = 0;
};

struct Product {
  WString upgradeCode;
  WString version;            // "VersionString"
  int state = 5;              // MsiQueryProductStateW
  std::map<WString, int> features;  // MsiQueryFeatureStateW; absent feature -> -1
  WString packageName;        // last MsiSourceListSetInfoW "PackageName"
  int sourceListClears = 0;
};

// What a child program does when started. It may change the world (install a
// product, write a log file) and gives the exit code.
using ChildBehaviour = std::function<std::uint32_t(const WString& commandLine)>;

struct Control {
  WString text;
  bool visible = true;
  bool checked = false;
  int group = 0;  // radio buttons with the same non-zero group clear each other
};

struct World {
  // --- calls and failures
  std::vector<std::string> calls;  // every seam call, in order, by Win32 name
  std::vector<Fault> faults;
  std::uint32_t lastError = 0;

  // --- user interface
  std::vector<Box> boxes;
  std::deque<int> answers;  // consumed by MessageBox; when empty: IDYES / IDOK
  std::vector<WString> commandLine = {u"C:\\dist\\vexissetup.exe"};
  bool commandLineSplitFails = false;
  // GetCommandLineW; when empty, commandLine joined with blanks, an argument
  // that is empty or holds a blank or a quote in double quotes (a quote in it
  // written \").
  WString rawCommandLine;
  WString modulePath = u"C:\\dist\\vexissetup.exe";  // GetModuleFileNameW

  // --- resources: RT_STRING blocks by name and the VERSIONINFO (RT_VERSION
  // 1), both filled from the compiled .res
  std::map<std::uint16_t, std::vector<std::uint8_t>> stringBlocks;
  std::vector<std::uint8_t> versionInfo;

  // --- environment, files. Paths are full Windows paths; folders are listed
  // in `entries` order under their parent (the order the search yields).
  std::map<WString, WString> environment;  // names compared without case
  WString currentDirectory = u"C:\\dist";
  WString systemDirectory = u"C:\\Windows\\system32";
  struct Entry {
    WString path;
    bool directory = false;
    std::uint64_t id = 0;  // the file's index on its volume: stays with it through renames
  };
  std::vector<Entry> entries;
  std::uint64_t nextFileId = 1;
  // Junctions: a folder (by folded full path) that Windows resolves to
  // another folder, in every path that goes through it; a file's final path
  // shows the folder it leads to; so does a drive ("S:") of SUBST or a mapped network drive.
  std::map<WString, WString> junctions;
  // Mount points of volumes that have no drive letter: resolved like
  // junctions, but a file on such a volume has no other name, so its final
  // path (and a process's image path) goes through the mount point. By
  // folded full path: the mount point as written, and the volume's root.
  struct MountPoint {
    WString path;
    WString volume;
  };
  std::map<WString, MountPoint> mountPoints;
  // The bytes of files created with CreateFileW and written with WriteFile,
  // and of planted files, by folded full path.
  std::map<WString, std::string> fileContents;

  // --- modules
  std::set<WString> loadedModules = {u"kernel32", u"kernel32.dll", u"advapi32.dll"};
  std::set<WString> loadableModules = {u"advapi32.dll"};
  std::set<std::string> missingFunctions;  // names GetProcAddress does not find
  bool wow64 = true;           // IsWow64Process of the 32-bit build
  bool process64Bit = false;   // the x64 build
  bool dllSearchRestricted = false;  // by SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)
  std::vector<WString> plantableLibraries;  // loaded by bare name while the exe's folder came first

  // --- registry under HKEY_CURRENT_USER (key paths, compared without case):
  // the 32-bit view's as they are, the 64-bit view's (what a 64-bit process
  // sees without KEY_WOW64_32KEY) under "[64-bit view]\\"
  std::set<WString> keys = {u"Software", u"[64-bit view]\\Software"};
  std::set<WString> deniedKeys;  // opening these gives 5
  std::vector<WString> createdKeys;
  std::vector<WString> deletedKeys;
  std::vector<std::uint32_t> keyAccess;  // access mask of every open/create

  // --- system
  platform::WindowsVersion version{6, 1, 1};
  bool admin = true;
  std::uint16_t uiLanguage = 1049;
  platform::LocalTime now{2014, 3, 7, 9, 5, 31};
  std::uint32_t tickCount = 5000;  // GetTickCount; child programs may move it on
  // What the exe's runtime would call before ending the process for want of
  // memory or on an internal error; a test calls it in their place.
  platform::FatalExitHandler fatalExitHandler = nullptr;
  std::vector<WString> standardOutput;

  // --- processes. A program runs when it is created, or when a process
  // created suspended is resumed; one ended before that never runs.
  std::vector<WString> started;                 // command lines of the programs that ran
  std::vector<WString> startedApplications;     // their application names (empty: none)
  std::vector<std::uint32_t> creationFlags;
  // By the full path of the file run (an application name, resolved), else by
  // the command line's first token; compared without case.
  std::map<WString, ChildBehaviour> programs;
  std::uint32_t missingProgramError = 2;
  // Called by CreateProcessW before it opens the file: another process acting
  // between the run's check and its start.
  std::function<void()> beforeProcessStart;

  // --- the system's random source (CryptGenRandom)
  bool randomFails = false;
  std::uint64_t randomState = 0x9E3779B97F4A7C15ull;

  // --- restart
  bool shutdownPrivilegeHeld = true;
  bool interactiveUser = true;  // false: LocalSystem, whom ExitWindowsEx does not restart
  std::uint32_t tokenAccess = 0;  // access asked of OpenProcessToken
  bool restarted = false;
  std::uint32_t restartFlags = 0;
  std::uint32_t restartReason = 0;

  // --- named mutexes by name (exact, as Windows compares them): Windows
  // Installer's Global\_MSIExecute, which another installation holds while it
  // runs, and the program's own (see HoldMutex). Access follows the creator's
  // DACL: the SDDL text it gave ((A;;GA;;;<account>) entries grant every
  // right), else its token's default DACL, where a mutex that LocalSystem
  // made gives Administrators only SYNCHRONIZE and read rights.
  struct NamedMutex {
    bool exists = false;
    bool accessDenied = false;     // OpenMutexW and CreateMutexW give 5
    bool ownedByOther = false;     // another process holds it
    std::uint32_t releasedAt = 0;  // the tick at which it lets go; 0: never
    bool abandoned = false;        // it ends without releasing: the next owner is told so
    bool ownedByRun = false;       // this process's thread holds it
    std::string creator = "BA";    // the creator's account: "BA" an administrator, "SY" LocalSystem
    std::string security;          // the SDDL its creator gave; empty: the default DACL
  };
  std::map<WString, NamedMutex> mutexes;
  std::string account = "BA";  // the account of the run: "BA" an administrator, "SY" LocalSystem
  // The waiting window, each time it is shown; the administrator presses its
  // Cancel this many milliseconds after it appears (0: never).
  struct WaitingWindow {
    std::uint16_t dialog = 0;
    WString caption;
    WString text;
  };
  std::vector<WaitingWindow> waitingWindows;
  std::uint32_t cancelWaitAfterMs = 0;

  // --- Windows Installer
  std::map<WString, Package> packages;   // by full path, compared without case
  std::map<WString, Product> products;   // by product code (exact)
  std::vector<WString> productOrder;     // enumeration order of related products
  int internalUiLevel = -1;

  // --- Authenticode: signatures by folded full path (none: unsigned), the
  // certificates of their chains (one missing: incomplete) and the roots of
  // the machine's store. The run never fetches a root on demand, so offline
  // and fresh machines look the same. checksSha2 false: XP SP2, or Server
  // 2003 (5.2) without its SHA-2 update.
  std::map<WString, Signature> signatures;
  std::map<std::string, Certificate> certificates = {{"root", {"CN=Test Root", u"Test Root", "root"}}};
  std::set<std::string> trustedRoots = {"root"};
  bool checksSha2 = true;

  // --- the dialog (template 141)
  std::map<std::uint32_t, Control> controls;
  std::function<void(platform::WindowRef)> dialogScript;  // drives the open dialog
  bool dialogOpen = false;
  std::intptr_t dialogResult = 0;
  WString bigIcon;

  // --- handles
  std::map<platform::RawHandle, platform::HandleKind> openHandles;
  platform::RawHandle nextHandle = 0x100;
  int handlesOpened = 0;
};

// The world of the current test; Reset() gives a fresh default world with the
// program's compiled string table loaded.
World& W();
void Reset();

// Helpers for setting the world up.
void AddFolder(const WString& path);
void AddFile(const WString& path);
void AddPackage(const WString& path, const std::map<WString, WString>& properties);
void InstallProduct(const WString& productCode, const Product& product);
void FailCall(const std::string& call, std::uint32_t code, int occurrence = 0);
bool FileExists(const WString& path);
// A file that was there before the run, with these bytes.
void PlantFile(const WString& path, const std::string& bytes);
// The bytes of a created or planted file; empty when there is none.
std::string FileContents(const WString& path);
// Its lines, when it is UTF-8 text with CR LF line ends: the byte-order mark
// and the line ends left out.
std::vector<std::string> FileLines(const WString& path);

// Another process holds the mutex of that name from now on for milliseconds
// (0: never lets go); abandoned: it ends without releasing it. It made the
// mutex as creator with security (see World::NamedMutex).
void HoldMutex(const WString& name, std::uint32_t milliseconds, bool abandoned = false,
               const std::string& creator = "BA", const std::string& security = "");
// Windows Installer's mutex, and HoldMutex for it: another installation.
constexpr char16_t kInstallerMutex[] = u"Global\\_MSIExecute";
inline void HoldInstallerMutex(std::uint32_t milliseconds, bool abandoned = false) {
  HoldMutex(kInstallerMutex, milliseconds, abandoned);
}
// Whether anyone (another process, or this run) owns the mutex now.
bool MutexOwned(const WString& name);
inline bool InstallerMutexOwned() { return MutexOwned(kInstallerMutex); }

// Whether a handle of the run holds the file open.
bool IsHeldOpen(const WString& path);

// What another process does to a file, with the share modes of the run's
// open handles honoured as Windows honours them: 0, or the error (32, a
// sharing violation, when a handle of the run refuses it; 2 when there is no
// such file; 5 for a file pending deletion, which a handle still holds). A
// deleted file with handles open on it stays, under its name, until the last
// one is closed. Writing replaces the file's bytes: a signed file no longer
// verifies (0x80096010), for a package as for a program, which Wine does not
// check. A rename (MoveFileExW with MOVEFILE_REPLACE_EXISTING) needs delete
// access to the file and to one it replaces; a folder is renamed with all it
// holds.
std::uint32_t OtherWrites(const WString& path, const std::string& bytes);
std::uint32_t OtherReads(const WString& path);
std::uint32_t OtherRenames(const WString& from, const WString& to);
std::uint32_t OtherDeletes(const WString& path);
// A junction at path (made a folder entry if it is none) resolving to
// target; called again, it re-points the junction. PointMountPoint mounts a
// volume without a drive letter (its root stands in the world as the folder
// volume) at path; called again, it mounts another volume there.
void PointJunction(const WString& path, const WString& target);
void PointMountPoint(const WString& path, const WString& volume);
// The file signed with a certificate of this subject and name under the
// trusted "root" (an empty subject: verified, no signer to read); with the
// key of a certificate of W().certificates; or WinVerifyTrust's answer forced.
void Sign(const WString& path, const std::string& subject, const WString& name);
void SignWith(const WString& path, const std::string& certificate, bool timestamped = true);
void SetSignatureResult(const WString& path, std::uint32_t result);

// Number of calls of a seam function so far.
int CallCount(const std::string& call);

// Case-insensitive wildcard match of a file name (the Windows rules for * and ?).
bool WildcardMatch(const WString& pattern, const WString& name);

// Reads the RT_STRING blocks of a .res file.
std::map<std::uint16_t, std::vector<std::uint8_t>> ReadStringBlocks(const std::string& resPath);

}  // namespace sim
