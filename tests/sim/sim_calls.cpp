// The seam functions of platform/platform.h over the simulated world.
#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "platform/platform.h"
#include "platform/result_codes.h"
#include "tests/sim/sim_internal.h"
#include "tests/sim/sim_world.h"

namespace sim {
namespace {

struct Search {
  std::vector<platform::FindData> results;
  std::size_t next = 0;
};

// A view of one row of a package's Property table, as the one query the
// system asks for.
struct View {
  WString package;
  WString property;
  bool executed = false;
  bool fetched = false;
};

// A file handle of the run: which file (its entry's id, so that it follows
// the file through renames), with what access and share mode.
struct OpenFile {
  std::uint64_t id = 0;
  std::uint32_t access = 0;
  std::uint32_t share = 0;
};

// A process: the file it runs, what it does, and whether it has run.
struct Process {
  WString imagePath;  // the file run, its path resolved at creation; empty when unknown
  WString commandLine;
  WString applicationName;
  std::uint32_t creationFlags = 0;
  ChildBehaviour behaviour;
  bool ran = false;
  std::uint32_t exitCode = 0;
};

struct Internals {
  std::map<platform::RawHandle, Search> searches;
  std::map<platform::RawHandle, WString> keyPaths;
  std::map<platform::RawHandle, WString> packagePaths;  // open databases
  std::map<platform::RawHandle, View> views;
  std::map<platform::RawHandle, WString> records;  // field 1 of a fetched row
  std::map<platform::RawHandle, Process> processes;
  std::map<platform::RawHandle, platform::RawHandle> threads;  // thread -> its process
  std::map<platform::RawHandle, OpenFile> files;
  std::set<std::uint64_t> deleteOnClose;  // files that go with their last handle
  struct MutexHandle {
    WString name;
    std::uint32_t access = 0;
  };
  std::map<platform::RawHandle, MutexHandle> mutexes;  // handles of named mutexes
  std::map<WString, platform::RawHandle> modules;
};

Internals& I() {
  static Internals internals;
  return internals;
}

// Codes that only the simulated Windows gives: the system passes them up
// without naming them. Those it names come from platform/result_codes.h.
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorSharingViolation = 32;
constexpr std::uint32_t kErrorBadQuerySyntax = 1615;
constexpr std::uint32_t kDeleteAccess = 0x10000;
constexpr std::uint32_t kKeyWow64_64Key = 0x0100;

// What of a file an access right reaches, for the share check: reading or
// running its data, writing it, deleting or renaming it. Its attributes
// alone reach nothing.
bool Reads(std::uint32_t access) { return (access & (platform::kGenericRead | 0x1u | 0x20u)) != 0; }
bool Writes(std::uint32_t access) { return (access & (platform::kGenericWrite | 0x2u | 0x4u)) != 0; }
bool Deletes(std::uint32_t access) { return (access & kDeleteAccess) != 0; }

// The share check of CreateFileW against every handle open on the file: each
// must share what the new one asks, and the new one must share what each
// already does. 0 or ERROR_SHARING_VIOLATION.
std::uint32_t ShareConflict(std::uint64_t id, std::uint32_t access, std::uint32_t share) {
  for (const auto& entry : I().files) {
    const OpenFile& open = entry.second;
    if (open.id != id) continue;
    const bool refused = (Reads(access) && !(open.share & platform::kFileShareRead)) ||
                         (Writes(access) && !(open.share & platform::kFileShareWrite)) ||
                         (Deletes(access) && !(open.share & platform::kFileShareDelete)) ||
                         (Reads(open.access) && !(share & platform::kFileShareRead)) ||
                         (Writes(open.access) && !(share & platform::kFileShareWrite)) ||
                         (Deletes(open.access) && !(share & platform::kFileShareDelete));
    if (refused) return kErrorSharingViolation;
  }
  return 0;
}

// The file a handle of the run holds, or null.
const World::Entry* HeldEntry(platform::RawHandle file) {
  const auto it = I().files.find(file);
  if (it == I().files.end() || !IsOpen(file, platform::HandleKind::kFile)) return nullptr;
  return EntryById(it->second.id);
}

// A path's file entry (not a folder), resolved; null when there is none.
const World::Entry* FileEntry(const WString& path) {
  const World::Entry* entry = FindEntry(Absolute(path));
  return entry != nullptr && !entry->directory ? entry : nullptr;
}

// A file deleted while handles are open on it stays, under its name, until
// the last one is closed; until then nobody can open it again
// (STATUS_DELETE_PENDING, ERROR_ACCESS_DENIED).
bool DeletePending(std::uint64_t id) { return I().deleteOnClose.count(id) != 0; }

// Moves what the world keeps under a file's folded path (its bytes, its
// package tables, its signature) to another path.
void MoveKeyed(const WString& from, const WString& to) {
  World& w = W();
  const WString f = Fold(from);
  const WString t = Fold(to);
  if (w.fileContents.count(f)) {
    w.fileContents[t] = w.fileContents[f];
    w.fileContents.erase(f);
  }
  if (w.packages.count(f)) {
    w.packages[t] = w.packages[f];
    w.packages.erase(f);
  }
  if (w.signatures.count(f)) {
    w.signatures[t] = w.signatures[f];
    w.signatures.erase(f);
  }
}

// Removes a file entry and what the world keeps under its path.
void RemoveEntry(std::uint64_t id) {
  World& w = W();
  for (auto it = w.entries.begin(); it != w.entries.end(); ++it) {
    if (it->id != id) continue;
    const WString folded = Fold(it->path);
    w.fileContents.erase(folded);
    w.packages.erase(folded);
    w.signatures.erase(folded);
    w.entries.erase(it);
    EntriesChanged();
    return;
  }
}

// Lets a process's program run: it is recorded as started and gives its
// exit code.
void RunProcess(Process& process) {
  W().started.push_back(process.commandLine);
  W().startedApplications.push_back(process.applicationName);
  W().creationFlags.push_back(process.creationFlags);
  process.ran = true;
  process.exitCode = process.behaviour(process.commandLine);
}

// A wait on a named mutex through one of its handles: the clock moves on
// to the moment the other process lets go (when that comes within the
// wait), or to the wait's end, or to the moment the administrator cancels
// (cancelAfterMs, 0: never). WAIT_OBJECT_0 or WAIT_ABANDONED with the mutex
// now the run's, or WAIT_TIMEOUT.
std::uint32_t WaitForMutex(platform::RawHandle handle, std::uint32_t milliseconds,
                           std::uint32_t cancelAfterMs, bool& cancelled) {
  cancelled = false;
  const auto it = I().mutexes.find(handle);
  if (it == I().mutexes.end() || !(it->second.access & platform::kSynchronize)) {
    W().lastError = kErrorAccessDenied;
    return platform::kWaitFailed;
  }
  World::NamedMutex& mutex = W().mutexes[it->second.name];
  std::uint32_t& now = W().tickCount;
  if (mutex.ownedByOther && mutex.releasedAt != 0 && mutex.releasedAt - now <= 0x7FFFFFFFu &&
      mutex.releasedAt - now <= milliseconds &&
      (cancelAfterMs == 0 || mutex.releasedAt - now < cancelAfterMs)) {
    now = mutex.releasedAt;
    mutex.ownedByOther = false;
  }
  if (mutex.ownedByOther) {
    if (cancelAfterMs != 0 && cancelAfterMs <= milliseconds) {
      now += cancelAfterMs;
      cancelled = true;
    } else {
      now += milliseconds;
    }
    return platform::kWaitTimeout;
  }
  // Free: this thread owns it now (again, when it already did).
  mutex.ownedByRun = true;
  if (mutex.abandoned) {
    mutex.abandoned = false;
    return platform::kWaitAbandoned;
  }
  return platform::kWaitObject0;
}

// The rights the run's account has on a mutex, by its creator's DACL: the
// SDDL text's (A;;GA;;;<account>) entries, or the creator's default DACL
// (its own account and SYSTEM everything; what LocalSystem made,
// Administrators only SYNCHRONIZE and read rights).
std::uint32_t MutexRights(const World::NamedMutex& mutex) {
  constexpr std::uint32_t kAll = 0x1F0001;  // MUTEX_ALL_ACCESS
  constexpr std::uint32_t kWaitAndRead = platform::kSynchronize | 0x20000 /* READ_CONTROL */;
  const std::string& account = W().account;
  if (mutex.accessDenied) return 0;
  if (!mutex.security.empty())
    return mutex.security.find("(A;;GA;;;" + account + ")") != std::string::npos ? kAll : 0;
  if (account == mutex.creator || account == "SY") return kAll;
  return mutex.creator == "SY" ? kWaitAndRead : 0;
}

platform::RawHandle NewMutexHandle(const WString& name, std::uint32_t access) {
  const platform::RawHandle h = NewHandle(platform::HandleKind::kKernel);
  I().mutexes[h] = {name, access};
  return h;
}

// DeleteFileW's effect: the file goes at once, or, with handles open on it,
// when the last of them is closed.
void DeleteOrMarkPending(std::uint64_t id) {
  for (const auto& open : I().files) {
    if (open.second.id == id) {
      I().deleteOnClose.insert(id);
      return;
    }
  }
  RemoveEntry(id);
}

// A new handle of the run on a file entry.
platform::RawHandle OpenHandle(std::uint64_t id, std::uint32_t access, std::uint32_t share) {
  const platform::RawHandle h = NewHandle(platform::HandleKind::kFile);
  I().files[h] = {id, access, share};
  return h;
}

// Copies text into a buffer of `size` units the way Win32 does: the length
// copied, or the size needed (terminator included) when it does not fit.
std::uint32_t CopyOut(const WString& text, char16_t* buffer, std::uint32_t size) {
  if (!buffer || size <= text.size()) return static_cast<std::uint32_t>(text.size() + 1);
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = 0;
  return static_cast<std::uint32_t>(text.size());
}

// The MSI protocol: 234 and the length when the buffer does not hold the
// value and its terminator; a null buffer only asks for the length.
std::uint32_t MsiCopyOut(const WString& value, char16_t* buffer, std::uint32_t& length,
                         bool nullBufferIsSizeQuery) {
  if (!buffer && nullBufferIsSizeQuery) {
    length = static_cast<std::uint32_t>(value.size());
    return 0;
  }
  if (length <= value.size()) {
    if (buffer && length > 0) {
      std::copy(value.begin(), value.begin() + (length - 1), buffer);
      buffer[length - 1] = 0;
    }
    length = static_cast<std::uint32_t>(value.size());
    return winerror::kMoreData;
  }
  std::copy(value.begin(), value.end(), buffer);
  buffer[value.size()] = 0;
  length = static_cast<std::uint32_t>(value.size());
  return 0;
}

bool ValidGuid(const WString& code) {
  return code.size() == 38 && code.front() == u'{' && code.back() == u'}';
}

std::map<WString, WString>::const_iterator FindEnvironment(const WString& name) {
  const auto& env = W().environment;
  for (auto it = env.begin(); it != env.end(); ++it)
    if (SameText(it->first, name)) return it;
  return env.end();
}

WString FirstToken(const WString& commandLine) {
  if (!commandLine.empty() && commandLine[0] == u'"') {
    const auto end = commandLine.find(u'"', 1);
    return commandLine.substr(1, end == WString::npos ? WString::npos : end - 1);
  }
  return commandLine.substr(0, commandLine.find(u' '));
}

std::map<WString, Package>::iterator FindPackage(const WString& path) {
  return W().packages.find(Fold(Absolute(path)));
}

// The property named by the one query the system may ask, exactly as it must
// be written; empty for any other query (the simulated database then refuses
// it as Windows Installer refuses bad syntax).
WString QueriedProperty(const WString& query) {
  const WString head = u"SELECT `Value` FROM `Property` WHERE `Property` = '";
  if (query.size() <= head.size() + 1 || query.compare(0, head.size(), head) != 0 ||
      query.back() != u'\'')
    return WString();
  const WString name = query.substr(head.size(), query.size() - head.size() - 1);
  return name.find(u'\'') == WString::npos ? name : WString();
}

// WinVerifyTrust's steps in Windows' order: the object provider (the
// signature found, the file's digest compared), the signature provider (the
// signer's certificate), then the chain through the issuers to a root, judged
// by the Authenticode policy in the order of its checks.
std::uint32_t Verify(const Signature* found, platform::FileSignature& signature) {
  std::uint32_t& object = signature.objectStep;
  if (found == nullptr) return object = winerror::kTrustNoSignature;
  if (found->certificate.empty()) return object = signature.signerStep = found->result;
  const bool server2003 = W().version.major == 5 && W().version.minor == 2;
  if (!W().checksSha2 && !server2003) return object = winerror::kBadAlgorithm;  // the SHA-256 digest
  if (found->changed) return object = winerror::kTrustBadDigest;
  const Certificate& signer = W().certificates.at(found->certificate);
  signature.certificate = "certificate:" + found->certificate;
  signature.subject = signer.subject;
  signature.name = signer.name;
  std::uint32_t& status = signature.chainStatus;
  for (auto at = W().certificates.find(found->certificate);; at = W().certificates.find(at->second.issuer)) {
    if (at == W().certificates.end()) {
      status |= platform::kCertTrustIsPartialChain;
      break;
    }
    if (at->second.expired && !found->timestamped) status |= platform::kCertTrustIsNotTimeValid;
    if (at->second.issuer != at->first) continue;
    if (!W().trustedRoots.count(at->first)) status |= platform::kCertTrustIsUntrustedRoot;
    break;
  }
  // Server 2003 without its update verifies no certificate signed with SHA-256.
  if (!W().checksSha2) return winerror::kTrustCertSignature;
  if (status & platform::kCertTrustIsPartialChain) return winerror::kCertChaining;
  if (status & platform::kCertTrustIsUntrustedRoot) return winerror::kCertUntrustedRoot;
  return status & platform::kCertTrustIsNotTimeValid ? winerror::kCertExpired : 0;
}

// Loads by bare name (measured: setup/dll_search.cpp): beside the exe first unless restricted.
void LoadByName(std::initializer_list<const char16_t*> names) {
  for (const char16_t* name : names)
    if (!W().dllSearchRestricted && W().loadedModules.insert(name).second) W().plantableLibraries.push_back(name);
}

}  // namespace

void ResetInternals() { I() = Internals(); }

}  // namespace sim

namespace platform {

using sim::Enter;
using sim::I;
using sim::W;

void CloseRawHandle(HandleKind kind, RawHandle handle) {
  sim::World& w = W();
  const auto it = w.openHandles.find(handle);
  if (it == w.openHandles.end() || it->second != kind) {
    w.calls.emplace_back("CloseRawHandle:invalid");
    return;
  }
  w.openHandles.erase(it);
  I().searches.erase(handle);
  I().keyPaths.erase(handle);
  I().packagePaths.erase(handle);
  I().views.erase(handle);
  I().records.erase(handle);
  I().processes.erase(handle);
  I().threads.erase(handle);
  I().mutexes.erase(handle);
  const auto file = I().files.find(handle);
  if (file != I().files.end()) {
    const std::uint64_t id = file->second.id;
    I().files.erase(file);
    // A file marked to go with its last handle goes now.
    bool stillOpen = false;
    for (const auto& other : I().files) stillOpen = stillOpen || other.second.id == id;
    if (!stillOpen && I().deleteOnClose.erase(id) != 0) sim::RemoveEntry(id);
  }
  switch (kind) {
    case HandleKind::kFind: w.calls.emplace_back("FindClose"); break;
    case HandleKind::kRegistry: w.calls.emplace_back("RegCloseKey"); break;
    case HandleKind::kKernel: w.calls.emplace_back("CloseHandle"); break;
    case HandleKind::kMsi: w.calls.emplace_back("MsiCloseHandle"); break;
    case HandleKind::kIcon: w.calls.emplace_back("DestroyIcon"); break;
    case HandleKind::kFile: w.calls.emplace_back("CloseHandle"); break;
  }
}

bool SetDefaultDllDirectories(std::uint32_t flags) {
  if (!Enter("SetDefaultDllDirectories") || W().missingFunctions.count("SetDefaultDllDirectories")) return false;
  return W().dllSearchRestricted = flags == kLoadLibrarySearchSystem32;
}
bool SetDllSearchDirectory(const WString&) { return Enter("SetDllDirectoryW"); }
RawHandle LoadLibraryFromPath(const WString& path) {
  if (!Enter("LoadLibraryExW") || !sim::SameText(sim::ParentOf(path), W().systemDirectory)) return 0;
  W().loadedModules.insert(sim::LeafOf(path));
  return 0x20000000;
}

std::uint32_t GetLastError() { return W().lastError; }

void SetLastError(std::uint32_t code) { W().lastError = code; }

int ShowMessageBox(const WString& text, const WString& caption, std::uint32_t style) {
  if (!Enter("MessageBoxW")) return 0;
  sim::LoadByName({u"imm32.dll", u"msimg32.dll", u"shlwapi.dll", u"uxtheme.dll", u"version.dll"});
  sim::World& w = W();
  int answer = (style & 0xF) == kMbYesNo ? kIdYes : kIdOk;
  if (!w.answers.empty()) {
    answer = w.answers.front();
    w.answers.pop_front();
  }
  w.boxes.push_back({text, caption, style, answer});
  return answer;
}

bool SplitCommandLine(std::vector<WString>& arguments) {
  if (!Enter("CommandLineToArgvW") || W().commandLineSplitFails) return false;
  arguments = W().commandLine;
  return true;
}

WString GetRawCommandLine() {
  // It cannot fail, so it is not a call the fault sweep could make fail.
  if (!W().rawCommandLine.empty()) return W().rawCommandLine;
  WString joined;
  for (const WString& argument : W().commandLine) {
    if (!joined.empty()) joined += u' ';
    if (!argument.empty() && argument.find_first_of(u" \"") == WString::npos) {
      joined += argument;
      continue;
    }
    // Quoted, a quote inside written as \" (backslashes before it are not
    // doubled: no argument of the tests has one there).
    joined += u'"';
    for (const char16_t c : argument) joined += c == u'"' ? WString(u"\\\"") : WString(1, c);
    joined += u'"';
  }
  return joined;
}

std::uint32_t ReadModuleFileName(char16_t* buffer, std::uint32_t size) {
  if (!Enter("GetModuleFileNameW")) return 0;
  const WString& path = W().modulePath;
  // As Windows does with a buffer too small: the path cut to size - 1 units
  // and terminated, the result the size.
  if (size <= path.size()) {
    if (size == 0) return 0;
    std::copy(path.begin(), path.begin() + (size - 1), buffer);
    buffer[size - 1] = 0;
    W().lastError = winerror::kInsufficientBuffer;
    return size;
  }
  return sim::CopyOut(path, buffer, size);
}

bool FindOwnResource(std::uint16_t type, std::uint16_t name, bool neutralLanguage,
                     const std::uint8_t** data, std::uint32_t* size) {
  if (!Enter(neutralLanguage ? "FindResourceExW" : "FindResourceW")) return false;
  const std::vector<std::uint8_t>* found = nullptr;
  if (type == kResourceString) {
    const auto it = W().stringBlocks.find(name);
    if (it != W().stringBlocks.end()) found = &it->second;
  } else if (type == kResourceVersion && name == 1 && !W().versionInfo.empty()) {
    found = &W().versionInfo;
  }
  if (!found) {
    W().lastError = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
    return false;
  }
  *data = found->data();
  *size = static_cast<std::uint32_t>(found->size());
  return true;
}

std::uint32_t GetEnvironmentValue(const WString& name, char16_t* buffer, std::uint32_t size) {
  if (!Enter("GetEnvironmentVariableW")) return 0;
  const auto it = sim::FindEnvironment(name);
  if (it == W().environment.end()) {
    W().lastError = winerror::kEnvVarNotFound;
    return 0;
  }
  return sim::CopyOut(it->second, buffer, size);
}

std::uint32_t GetWorkingDirectory(std::uint32_t size, char16_t* buffer) {
  if (!Enter("GetCurrentDirectoryW")) return 0;
  return sim::CopyOut(W().currentDirectory, buffer, size);
}

std::uint32_t GetSystemFolder(char16_t* buffer, std::uint32_t size) {
  if (!Enter("GetSystemDirectoryW")) return 0;
  return sim::CopyOut(W().systemDirectory, buffer, size);
}

FindHandle FindFirstEntry(const WString& pattern, FindData& data) {
  if (!Enter("FindFirstFileW")) return FindHandle();
  const WString full = sim::Absolute(pattern);
  const WString dir = sim::ParentOf(full);
  const WString leaf = sim::LeafOf(full);
  if (!sim::DirectoryExists(dir)) {
    W().lastError = sim::kErrorPathNotFound;
    return FindHandle();
  }
  sim::Search search;
  if (!sim::IsDriveRoot(dir)) {
    for (const char16_t* dots : {u".", u".."})
      if (sim::WildcardMatch(leaf, dots)) search.results.push_back({kFileAttributeDirectory, dots});
  }
  for (const sim::World::Entry* e : sim::ChildrenOf(dir)) {
    const WString name = sim::LeafOf(e->path);
    if (sim::WildcardMatch(leaf, name))
      search.results.push_back({e->directory ? kFileAttributeDirectory : 0x20u, name});
  }
  if (search.results.empty()) {
    W().lastError = sim::kErrorFileNotFound;
    return FindHandle();
  }
  data = search.results[0];
  search.next = 1;
  const RawHandle h = sim::NewHandle(HandleKind::kFind);
  I().searches[h] = search;
  return FindHandle(h);
}

bool FindNextEntry(RawHandle handle, FindData& data) {
  if (!Enter("FindNextFileW")) return false;
  const auto it = I().searches.find(handle);
  if (it == I().searches.end()) {
    W().lastError = sim::kErrorInvalidHandle;
    return false;
  }
  if (it->second.next >= it->second.results.size()) {
    W().lastError = winerror::kNoMoreFiles;
    return false;
  }
  data = it->second.results[it->second.next++];
  return true;
}

bool PathExists(const WString& path) {
  if (!Enter("GetFileAttributesW")) return false;
  if (sim::DirectoryExists(sim::Absolute(path)) || sim::FileExists(sim::Absolute(path)))
    return true;
  W().lastError = sim::kErrorFileNotFound;
  return false;
}

bool RemoveFile(const WString& path) {
  if (!Enter("DeleteFileW")) return false;
  const sim::World::Entry* entry = sim::FileEntry(path);
  if (entry == nullptr) {
    W().lastError = sim::kErrorFileNotFound;
    return false;
  }
  // DeleteFileW opens the file for deletion: a handle that does not share
  // that refuses it.
  if (const std::uint32_t conflict = sim::ShareConflict(entry->id, sim::kDeleteAccess, 0x7)) {
    W().lastError = conflict;
    return false;
  }
  sim::DeleteOrMarkPending(entry->id);
  return true;
}

FileHandle CreateNewFile(const WString& path, std::uint32_t access, std::uint32_t share) {
  if (!Enter("CreateFileW") || sim::RefusedBeyondMaxPath(path, sim::kErrorPathNotFound)) return FileHandle();
  const WString full = sim::Absolute(path);
  if (!sim::DirectoryExists(sim::ParentOf(full))) {
    W().lastError = sim::kErrorPathNotFound;
    return FileHandle();
  }
  // Whatever holds the name (a file, a folder, a link) is left alone.
  if (sim::FileExists(full)) {
    W().lastError = winerror::kFileExists;
    return FileHandle();
  }
  sim::AddFile(full);
  W().fileContents[sim::Fold(full)].clear();
  return FileHandle(sim::OpenHandle(sim::FindEntry(full)->id, access, share));
}

FileHandle OpenExistingFile(const WString& path, std::uint32_t access, std::uint32_t share) {
  if (!Enter("CreateFileW") || sim::RefusedBeyondMaxPath(path, sim::kErrorPathNotFound)) return FileHandle();
  const WString full = sim::Absolute(path);
  const sim::World::Entry* entry = sim::FindEntry(full);
  if (entry == nullptr) {
    W().lastError = sim::DirectoryExists(sim::ParentOf(full)) ? sim::kErrorFileNotFound : sim::kErrorPathNotFound;
    return FileHandle();
  }
  // A folder opens only with backup semantics, which the system never asks
  // for; a file pending deletion does not open at all.
  if (entry->directory || sim::DeletePending(entry->id)) {
    W().lastError = sim::kErrorAccessDenied;
    return FileHandle();
  }
  if (const std::uint32_t conflict = sim::ShareConflict(entry->id, access, share)) {
    W().lastError = conflict;
    return FileHandle();
  }
  return FileHandle(sim::OpenHandle(entry->id, access, share));
}

bool ReadFileInformation(RawHandle file, FileInformation& information) {
  if (!Enter("GetFileInformationByHandle")) return false;
  const sim::World::Entry* entry = sim::HeldEntry(file);
  if (entry == nullptr) {
    W().lastError = sim::kErrorInvalidHandle;
    return false;
  }
  information.volume = 0x1D5E5EED;
  information.index = entry->id;
  information.size = sim::FileContents(entry->path).size();
  return true;
}

std::uint32_t ReadFinalPath(RawHandle file, WString& path) {
  if (!Enter("GetFinalPathNameByHandleW")) return sim::FaultCode("GetFinalPathNameByHandleW");
  if (W().missingFunctions.count("GetFinalPathNameByHandleW")) return winerror::kProcNotFound;
  const sim::World::Entry* entry = sim::HeldEntry(file);
  if (entry == nullptr) return sim::kErrorInvalidHandle;
  // Where the file is now, as Windows writes it.
  const WString now = sim::DosPath(entry->path);
  path = now.compare(0, 2, u"\\\\") == 0 ? u"\\\\?\\UNC\\" + now.substr(2) : u"\\\\?\\" + now;
  return 0;
}

FileHandle OpenFolder(const WString& path) {
  if (!Enter("CreateFileW") || sim::RefusedBeyondMaxPath(path, sim::kErrorPathNotFound)) return FileHandle();
  const sim::World::Entry* entry = sim::FindEntry(sim::Absolute(path));
  if (entry == nullptr || !entry->directory) {
    W().lastError = entry == nullptr ? sim::kErrorPathNotFound : sim::kErrorAccessDenied;
    return FileHandle();
  }
  return FileHandle(sim::OpenHandle(entry->id, kFileReadAttributes,
                                    kFileShareRead | kFileShareWrite | kFileShareDelete));
}

FileHandle OpenFileById(RawHandle volumeHint, std::uint64_t index, std::uint32_t access,
                        std::uint32_t share) {
  if (!Enter("OpenFileById")) return FileHandle();
  if (W().missingFunctions.count("OpenFileById")) {
    W().lastError = winerror::kProcNotFound;
    return FileHandle();
  }
  if (sim::HeldEntry(volumeHint) == nullptr) {
    W().lastError = sim::kErrorInvalidHandle;
    return FileHandle();
  }
  // One volume in this world: the index alone names the file.
  const sim::World::Entry* entry = sim::EntryById(index);
  if (entry == nullptr || entry->directory) {
    W().lastError = winerror::kInvalidParameter;
    return FileHandle();
  }
  if (sim::DeletePending(entry->id)) {
    W().lastError = sim::kErrorAccessDenied;
    return FileHandle();
  }
  if (const std::uint32_t conflict = sim::ShareConflict(entry->id, access, share)) {
    W().lastError = conflict;
    return FileHandle();
  }
  return FileHandle(sim::OpenHandle(entry->id, access, share));
}

std::uint32_t MarkForDeletion(RawHandle file) {
  if (!Enter("SetFileInformationByHandle")) return sim::FaultCode("SetFileInformationByHandle");
  if (W().missingFunctions.count("SetFileInformationByHandle")) return winerror::kProcNotFound;
  const sim::World::Entry* entry = sim::HeldEntry(file);
  if (entry == nullptr) return sim::kErrorInvalidHandle;
  if (!sim::Deletes(I().files[file].access)) return sim::kErrorAccessDenied;
  I().deleteOnClose.insert(entry->id);
  return 0;
}

std::uint32_t VerifyFileSignature(const WString& path, RawHandle file, FileSignature& signature) {
  if (!Enter("WinVerifyTrust")) return W().lastError;
  sim::LoadByName({u"msisip.dll", u"rsaenh.dll"});
  if (W().missingFunctions.count("WinVerifyTrust")) return winerror::kProcNotFound;
  // The file is verified through the handle that holds it, never by name.
  const sim::World::Entry* entry = sim::HeldEntry(file);
  if (entry == nullptr || !sim::SameText(entry->path, sim::Absolute(path))) return sim::kErrorInvalidHandle;
  signature = FileSignature();
  const auto found = W().signatures.find(sim::Fold(entry->path));
  return sim::Verify(found == W().signatures.end() ? nullptr : &found->second, signature);
}

void SetFatalExitHandler(FatalExitHandler handler) { W().fatalExitHandler = handler; }

bool WriteFile(RawHandle file, const char* bytes, std::uint32_t size) {
  if (!Enter("WriteFile")) return false;
  const sim::World::Entry* entry = sim::HeldEntry(file);
  if (entry == nullptr) {
    W().lastError = sim::kErrorInvalidHandle;
    return false;
  }
  if (!sim::Writes(I().files[file].access)) {
    W().lastError = sim::kErrorAccessDenied;
    return false;
  }
  W().fileContents[sim::Fold(entry->path)].append(bytes, size);
  return true;
}

RawHandle FindLoadedModule(const WString& name) {
  if (!Enter("GetModuleHandleW")) return 0;
  for (const auto& m : W().loadedModules) {
    if (sim::SameText(m, name)) {
      auto& handle = I().modules[sim::Fold(name)];
      if (!handle) handle = 0x10000000 + I().modules.size() * 0x10000;
      return handle;
    }
  }
  W().lastError = winerror::kModNotFound;
  return 0;
}

RawHandle LoadModule(const WString& name) {
  if (!Enter("LoadLibraryW")) return 0;
  for (const auto& m : W().loadableModules) {
    if (sim::SameText(m, name)) {
      W().loadedModules.insert(name);
      auto& handle = I().modules[sim::Fold(name)];
      if (!handle) handle = 0x10000000 + I().modules.size() * 0x10000;
      return handle;
    }
  }
  W().lastError = winerror::kModNotFound;
  return 0;
}

namespace {

// What a found function holds: the type says which it is.
void SimulatedFunction() {}

template <typename Which>
LookedUpFunction<Which> FindFunction(RawHandle module, const char* name) {
  LookedUpFunction<Which> found;
  if (!Enter("GetProcAddress")) return found;
  if (module == 0 || W().missingFunctions.count(name)) {
    W().lastError = winerror::kProcNotFound;
    return found;
  }
  found.address = &SimulatedFunction;
  return found;
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

// A fact of the build, not a call: it cannot fail.
bool IsProcess64Bit() { return W().process64Bit; }

// Read from the program's own image in memory: it cannot fail. A program
// with a signature entry that is not "not signed" carries one.
bool ProgramHasEmbeddedSignature() {
  const auto it = W().signatures.find(sim::Fold(W().modulePath));
  return it != W().signatures.end() && it->second.result != winerror::kTrustNoSignature;
}

bool GenerateRandom(std::uint8_t* bytes, std::uint32_t count) {
  if (!Enter("CryptGenRandom") || W().randomFails) return false;
  // A fixed sequence, so that a test can be repeated; nothing a run could plant.
  std::uint64_t& state = W().randomState;
  for (std::uint32_t i = 0; i < count; ++i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    bytes[i] = static_cast<std::uint8_t>(state >> 56);
  }
  return true;
}

bool CallIsWow64Process(IsWow64ProcessFunction function, bool& wow64) {
  if (!Enter("IsWow64Process")) return false;
  if (!function) {
    W().lastError = winerror::kInvalidParameter;
    return false;
  }
  wow64 = W().wow64;
  return true;
}

namespace {

// The registry's two views on 64-bit Windows: keys of the 64-bit view are
// kept under this prefix, those of the 32-bit view as they are. A 64-bit
// process sees the 64-bit view unless it asks for KEY_WOW64_32KEY; a 32-bit
// one the 32-bit view unless it asks for KEY_WOW64_64KEY.
const WString kView64 = u"[64-bit view]\\";

bool In64BitView(std::uint32_t access) {
  if (access & kKeyWow64_32Key) return false;
  if (access & sim::kKeyWow64_64Key) return true;
  return W().process64Bit;
}

WString InView(const WString& path, bool view64) { return view64 ? kView64 + path : path; }

WString WithoutView(const WString& path) {
  return path.compare(0, kView64.size(), kView64) == 0 ? path.substr(kView64.size()) : path;
}

std::uint32_t DeleteKey(RawHandle key, const WString& subkey, bool view64) {
  const auto it = I().keyPaths.find(key);
  if (it == I().keyPaths.end()) return sim::kErrorInvalidHandle;
  const WString path = InView(WithoutView(it->second) + u"\\" + subkey, view64);
  auto& keys = W().keys;
  const auto found = std::find_if(keys.begin(), keys.end(),
                                  [&](const WString& k) { return sim::SameText(k, path); });
  if (found == keys.end()) return sim::kErrorFileNotFound;
  const WString prefix = sim::Fold(path + u"\\");
  for (const auto& k : keys)
    if (sim::Fold(k).compare(0, prefix.size(), prefix) == 0) return sim::kErrorAccessDenied;
  W().deletedKeys.push_back(*found);
  keys.erase(found);
  return 0;
}

bool KeyExists(const WString& path) {
  for (const auto& k : W().keys)
    if (sim::SameText(k, path)) return true;
  return false;
}

bool KeyDenied(const WString& path) {
  for (const auto& k : W().deniedKeys)
    if (sim::SameText(k, path)) return true;
  return false;
}

}  // namespace

std::uint32_t CallRegDeleteKeyEx(RegDeleteKeyExFunction function, RawHandle key,
                                 const WString& subkey, std::uint32_t access,
                                 std::uint32_t reserved) {
  if (!Enter("RegDeleteKeyExW")) return sim::FaultCode("RegDeleteKeyExW");
  W().keyAccess.push_back(access);
  // The access names the view the key is deleted from: 0 is the process's own.
  if (!function || (access & ~(kKeyWow64_32Key | sim::kKeyWow64_64Key)) != 0 || reserved != 0)
    return winerror::kInvalidParameter;
  return DeleteKey(key, subkey, In64BitView(access));
}

std::uint32_t CallRegDeleteKey(RegDeleteKeyFunction function, RawHandle key,
                               const WString& subkey) {
  if (!Enter("RegDeleteKeyW")) return sim::FaultCode("RegDeleteKeyW");
  if (!function) return winerror::kInvalidParameter;
  return DeleteKey(key, subkey, W().process64Bit);
}

std::uint32_t RegOpenCurrentUserKey(const WString& subkey, std::uint32_t access,
                                    RegistryKey& key) {
  if (!Enter("RegOpenKeyExW")) return sim::FaultCode("RegOpenKeyExW");
  W().keyAccess.push_back(access);
  if (KeyDenied(subkey)) return sim::kErrorAccessDenied;
  const WString path = InView(subkey, In64BitView(access));
  if (!KeyExists(path)) return sim::kErrorFileNotFound;
  const RawHandle h = sim::NewHandle(HandleKind::kRegistry);
  I().keyPaths[h] = path;
  key.reset(h);
  return 0;
}

std::uint32_t RegCreateCurrentUserKey(const WString& subkey, std::uint32_t access,
                                      RegistryKey& key) {
  if (!Enter("RegCreateKeyExW")) return sim::FaultCode("RegCreateKeyExW");
  W().keyAccess.push_back(access);
  if (KeyDenied(subkey)) return sim::kErrorAccessDenied;
  const bool view64 = In64BitView(access);
  WString path;
  for (std::size_t start = 0; start <= subkey.size();) {
    auto end = subkey.find(u'\\', start);
    if (end == WString::npos) end = subkey.size();
    path = InView(subkey.substr(0, end), view64);
    if (!KeyExists(path)) {
      W().keys.insert(path);
      W().createdKeys.push_back(path);
    }
    start = end + 1;
  }
  const RawHandle h = sim::NewHandle(HandleKind::kRegistry);
  I().keyPaths[h] = path;
  key.reset(h);
  return 0;
}

bool ReadWindowsVersion(WindowsVersion& version) {
  if (!Enter("GetVersionExW")) return false;
  version = W().version;
  return true;
}

bool IsUserAnAdmin() {
  if (!Enter("IsUserAnAdmin")) return false;
  return W().admin;
}

std::uint16_t GetSystemDefaultUILanguage() {
  Enter("GetSystemDefaultUILanguage");
  return W().uiLanguage;
}

LocalTime GetLocalTime() {
  // localtime() gives no time: every field stays 0, as on the Win32 side.
  if (!Enter("localtime")) return LocalTime();
  return W().now;
}

void WriteStandardOutput(const WString& line) { W().standardOutput.push_back(line); }

// It cannot fail, so it is not a call the fault sweep could make fail.
std::uint32_t GetTickCount() { return W().tickCount; }

bool StartProcess(const WString& applicationName, WString& commandLine,
                  std::uint32_t creationFlags, ChildProcess& child) {
  if (!Enter("CreateProcessW")) return false;
  if (W().beforeProcessStart) W().beforeProcessStart();
  // CreateProcessW takes at most 32,767 characters with the terminator.
  if (commandLine.size() >= 32767) {
    W().lastError = winerror::kFilenameExcedRange;
    return false;
  }
  if (sim::RefusedBeyondMaxPath(applicationName.empty() ? sim::FirstToken(commandLine) : applicationName,
                                winerror::kFilenameExcedRange))
    return false;
  sim::Process process;
  process.commandLine = commandLine;
  process.applicationName = applicationName;
  process.creationFlags = creationFlags;
  WString program = sim::FirstToken(commandLine);
  // A program named by its path must be there, and the loader reads it
  // (sharing reading and deletion): a handle open for writing refuses it.
  if (!applicationName.empty()) {
    const sim::World::Entry* image = sim::FileEntry(applicationName);
    if (image == nullptr) {
      W().lastError = sim::kErrorFileNotFound;
      return false;
    }
    if (const std::uint32_t conflict = sim::ShareConflict(
            image->id, kGenericRead, kFileShareRead | kFileShareDelete)) {
      W().lastError = conflict;
      return false;
    }
    process.imagePath = image->path;
    program = image->path;
  }
  // The program of the file run, else of the command line's first token.
  for (const WString& name : {program, sim::FirstToken(commandLine)})
    for (const auto& p : W().programs)
      if (!process.behaviour && sim::SameText(p.first, name)) process.behaviour = p.second;
  if (!process.behaviour) {
    W().lastError = W().missingProgramError;
    return false;
  }
  child.process.reset(sim::NewHandle(HandleKind::kKernel));
  child.thread.reset(sim::NewHandle(HandleKind::kKernel));
  I().threads[child.thread.get()] = child.process.get();
  I().processes[child.process.get()] = process;
  if (!(creationFlags & kCreateSuspended)) sim::RunProcess(I().processes[child.process.get()]);
  return true;
}

bool ResumeThread(RawHandle thread) {
  if (!Enter("ResumeThread")) return false;
  const auto it = I().threads.find(thread);
  if (it == I().threads.end() || !I().processes.count(it->second)) {
    W().lastError = sim::kErrorInvalidHandle;
    return false;
  }
  sim::Process& process = I().processes[it->second];
  if (!process.ran) sim::RunProcess(process);
  return true;
}

bool TerminateProcess(RawHandle process, std::uint32_t exitCode) {
  if (!Enter("TerminateProcess")) return false;
  const auto it = I().processes.find(process);
  if (it == I().processes.end()) {
    W().lastError = sim::kErrorInvalidHandle;
    return false;
  }
  // A process ended before it was let run never runs.
  if (!it->second.ran) {
    it->second.ran = true;
    it->second.exitCode = exitCode;
  }
  return true;
}

std::uint32_t QueryProcessImagePath(RawHandle process, WString& path) {
  if (!Enter("QueryFullProcessImageNameW")) return sim::FaultCode("QueryFullProcessImageNameW");
  if (W().missingFunctions.count("QueryFullProcessImageNameW")) return winerror::kProcNotFound;
  const auto it = I().processes.find(process);
  if (it == I().processes.end() || it->second.imagePath.empty()) return sim::kErrorInvalidHandle;
  path = sim::DosPath(it->second.imagePath);
  return 0;
}

std::uint32_t WaitForever(RawHandle handle) {
  if (!Enter("WaitForSingleObject")) return 0xFFFFFFFF;
  if (!sim::IsOpen(handle, HandleKind::kKernel)) {
    W().lastError = sim::kErrorInvalidHandle;
    return 0xFFFFFFFF;
  }
  return 0;
}

bool GetExitCodeProcess(RawHandle process, std::uint32_t& exitCode) {
  if (!Enter("GetExitCodeProcess")) return false;
  const auto it = I().processes.find(process);
  if (it == I().processes.end() || !it->second.ran) {
    W().lastError = sim::kErrorInvalidHandle;
    return false;
  }
  exitCode = it->second.exitCode;
  return true;
}

KernelHandle OpenNamedMutex(const WString& name, std::uint32_t access) {
  if (!Enter("OpenMutexW")) return KernelHandle();
  const auto it = W().mutexes.find(name);
  if (it == W().mutexes.end() || !it->second.exists) {
    W().lastError = sim::kErrorFileNotFound;
    return KernelHandle();
  }
  if ((sim::MutexRights(it->second) & access) != access) {
    W().lastError = sim::kErrorAccessDenied;
    return KernelHandle();
  }
  return KernelHandle(sim::NewMutexHandle(name, access));
}

KernelHandle CreateNamedMutex(const WString& name, const WString& security) {
  if (!Enter("CreateMutexW")) return KernelHandle();
  constexpr std::uint32_t kAll = 0x1F0001;  // what CreateMutexW asks of one that exists
  sim::World::NamedMutex& mutex = W().mutexes[name];
  if (!mutex.exists) {
    mutex = sim::World::NamedMutex();
    mutex.exists = true;
    mutex.creator = W().account;
    mutex.security = ToUtf8(security);
    W().lastError = 0;
  } else if (sim::MutexRights(mutex) != kAll) {
    W().lastError = sim::kErrorAccessDenied;
    return KernelHandle();
  } else {
    W().lastError = 183;  // ERROR_ALREADY_EXISTS
  }
  return KernelHandle(sim::NewMutexHandle(name, kAll));
}

std::uint32_t WaitForObject(RawHandle handle, std::uint32_t milliseconds) {
  if (!Enter("WaitForSingleObject")) return kWaitFailed;
  bool cancelled = false;
  return sim::WaitForMutex(handle, milliseconds, 0, cancelled);
}

bool ReleaseMutex(RawHandle mutex) {
  if (!Enter("ReleaseMutex")) return false;
  const auto it = I().mutexes.find(mutex);
  if (it == I().mutexes.end()) {
    W().lastError = sim::kErrorInvalidHandle;
    return false;
  }
  // Windows checks the handle's access, which Wine does not: without it the
  // run keeps the mutex, and every installer it starts finds Windows
  // Installer busy.
  if (!(it->second.access & kMutexModifyState)) {
    W().lastError = sim::kErrorAccessDenied;
    return false;
  }
  sim::World::NamedMutex& owned = W().mutexes[it->second.name];
  if (!owned.ownedByRun) {
    W().lastError = 288;  // ERROR_NOT_OWNER
    return false;
  }
  owned.ownedByRun = false;
  return true;
}

std::uint32_t WaitShowingWindow(RawHandle handle, std::uint32_t milliseconds, std::uint16_t templateId,
                                std::uint32_t textId, const WString& caption, const WString& text,
                                bool& cancelled) {
  if (!Enter("CreateDialogParamW")) return kWaitFailed;
  // The window's text goes to the template's text control.
  if (textId != 1020) return kWaitFailed;
  W().waitingWindows.push_back({templateId, caption, text});
  return sim::WaitForMutex(handle, milliseconds, W().cancelWaitAfterMs, cancelled);
}

bool OpenProcessToken(std::uint32_t access, KernelHandle& token) {
  if (!Enter("OpenProcessToken")) return false;
  W().tokenAccess = access;
  token.reset(sim::NewHandle(HandleKind::kKernel));
  return true;
}

bool LookUpPrivilege(const WString& name, std::uint64_t& luid) {
  if (!Enter("LookupPrivilegeValueW")) return false;
  if (name != u"SeShutdownPrivilege") {
    W().lastError = 1313;  // ERROR_NO_SUCH_PRIVILEGE
    return false;
  }
  luid = 19;
  return true;
}

bool AdjustTokenPrivilege(RawHandle token, std::uint64_t luid, std::uint32_t attributes) {
  if (!Enter("AdjustTokenPrivileges")) return false;
  if (!sim::IsOpen(token, HandleKind::kKernel)) {
    W().lastError = sim::kErrorInvalidHandle;
    return false;
  }
  // A privilege the account does not hold: the call succeeds and says so in
  // GetLastError; an unknown identifier (lookup failed) is not held either.
  const bool held = W().shutdownPrivilegeHeld && luid == 19 && attributes == kSePrivilegeEnabled;
  W().lastError = held ? 0 : winerror::kNotAllAssigned;
  return true;
}

bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reason) {
  if (!Enter("ExitWindowsEx")) return false;
  W().restarted = W().interactiveUser;
  W().restartFlags = flags;
  W().restartReason = reason;
  return true;
}

InitiateSystemShutdownExFunction FindInitiateSystemShutdownEx(RawHandle module) {
  return FindFunction<InitiateSystemShutdownExTag>(module, "InitiateSystemShutdownExW");
}
// Whoever calls; restartFlags as ExitWindowsEx's would be, and 0x100 for a countdown.
bool CallInitiateSystemShutdownEx(InitiateSystemShutdownExFunction, std::uint32_t timeoutSeconds,
                                  bool forceAppsClosed, bool reboot, std::uint32_t reason) {
  if (!Enter("InitiateSystemShutdownExW")) return false;
  W().restarted = true;
  W().restartFlags = (reboot ? 0x2 : 0x1) | (forceAppsClosed ? 0x4 : 0) | (timeoutSeconds ? 0x100 : 0);
  W().restartReason = reason;
  return true;
}
std::uint32_t MsiSetInternalUI(std::uint32_t level) {
  // A failed call leaves the level as it was.
  if (!Enter("MsiSetInternalUI")) return sim::FaultCode("MsiSetInternalUI");
  sim::LoadByName({u"bcrypt.dll", u"cabinet.dll", u"crypt32.dll", u"dbghelp.dll", u"mpr.dll",  // msi.dll's
                   u"mspatcha.dll", u"odbccp32.dll", u"sxs.dll", u"wintrust.dll", u"ws2_32.dll"});
  const int previous = W().internalUiLevel;
  W().internalUiLevel = static_cast<int>(level);
  return static_cast<std::uint32_t>(previous);
}

std::uint32_t MsiOpenDatabase(const WString& path, MsiHandle& database) {
  if (!Enter("MsiOpenDatabaseW")) return sim::FaultCode("MsiOpenDatabaseW");
  // A missing file cannot be opened; a file that is no package fails as
  // Wine's msi.dll was measured to fail it.
  if (sim::FindPackage(path) == W().packages.end())
    return sim::FileExists(path) ? winerror::kFunctionFailed : winerror::kOpenFailed;
  // Read, sharing reading only: a handle open for writing refuses it.
  if (sim::OtherReads(path) != 0) return winerror::kOpenFailed;
  const RawHandle h = sim::NewHandle(HandleKind::kMsi);
  I().packagePaths[h] = sim::Fold(path);
  database.reset(h);
  return 0;
}

std::uint32_t MsiDatabaseOpenView(RawHandle database, const WString& query, MsiHandle& view) {
  if (!Enter("MsiDatabaseOpenViewW")) return sim::FaultCode("MsiDatabaseOpenViewW");
  const auto it = I().packagePaths.find(database);
  if (it == I().packagePaths.end()) return sim::kErrorInvalidHandle;
  const WString property = sim::QueriedProperty(query);
  if (property.empty()) return sim::kErrorBadQuerySyntax;
  const RawHandle h = sim::NewHandle(HandleKind::kMsi);
  I().views[h] = {it->second, property};
  view.reset(h);
  return 0;
}

std::uint32_t MsiViewExecute(RawHandle view) {
  if (!Enter("MsiViewExecute")) return sim::FaultCode("MsiViewExecute");
  const auto it = I().views.find(view);
  if (it == I().views.end()) return sim::kErrorInvalidHandle;
  it->second.executed = true;
  return 0;
}

std::uint32_t MsiViewFetch(RawHandle view, MsiHandle& record) {
  if (!Enter("MsiViewFetch")) return sim::FaultCode("MsiViewFetch");
  const auto it = I().views.find(view);
  if (it == I().views.end()) return sim::kErrorInvalidHandle;
  // A view that was not executed, or is closed again, yields nothing.
  if (!it->second.executed) return winerror::kFunctionFailed;
  const auto& props = W().packages[it->second.package].properties;
  const auto prop = props.find(it->second.property);
  if (prop == props.end() || it->second.fetched) return winerror::kNoMoreItems;
  it->second.fetched = true;
  const RawHandle h = sim::NewHandle(HandleKind::kMsi);
  I().records[h] = prop->second;
  record.reset(h);
  return 0;
}

std::uint32_t MsiViewClose(RawHandle view) {
  if (!Enter("MsiViewClose")) return sim::FaultCode("MsiViewClose");
  const auto it = I().views.find(view);
  if (it == I().views.end()) return sim::kErrorInvalidHandle;
  if (!it->second.executed) return winerror::kFunctionFailed;
  it->second.executed = false;
  return 0;
}

std::uint32_t MsiRecordGetString(RawHandle record, std::uint32_t field, char16_t* buffer,
                                 std::uint32_t& length) {
  if (!Enter("MsiRecordGetStringW")) return sim::FaultCode("MsiRecordGetStringW");
  const auto it = I().records.find(record);
  if (it == I().records.end()) return sim::kErrorInvalidHandle;
  // The view selects one column: any other field reads as empty.
  return sim::MsiCopyOut(field == 1 ? it->second : WString(), buffer, length, true);
}

std::uint32_t MsiGetProductInfo(const WString& product, const WString& attribute,
                                char16_t* buffer, std::uint32_t& length) {
  if (!Enter("MsiGetProductInfoW")) return sim::FaultCode("MsiGetProductInfoW");
  if (!sim::ValidGuid(product)) return winerror::kInvalidParameter;
  const auto it = W().products.find(product);
  if (it == W().products.end()) return winerror::kUnknownProduct;
  if (attribute != u"VersionString") return 1608;  // ERROR_UNKNOWN_PROPERTY
  return sim::MsiCopyOut(it->second.version, buffer, length, true);
}

std::uint32_t MsiEnumRelatedProducts(const WString& upgradeCode, std::uint32_t index,
                                     char16_t* productBuffer) {
  if (!Enter("MsiEnumRelatedProductsW")) return sim::FaultCode("MsiEnumRelatedProductsW");
  if (!sim::ValidGuid(upgradeCode)) return winerror::kInvalidParameter;
  std::uint32_t seen = 0;
  for (const auto& code : W().productOrder) {
    const auto it = W().products.find(code);
    if (it == W().products.end() || it->second.upgradeCode != upgradeCode) continue;
    if (seen++ == index) {
      std::copy(code.begin(), code.end(), productBuffer);
      productBuffer[code.size()] = 0;
      return 0;
    }
  }
  return winerror::kNoMoreItems;
}

int MsiQueryProductState(const WString& product) {
  if (!Enter("MsiQueryProductStateW")) return static_cast<int>(sim::FaultCode("MsiQueryProductStateW"));
  if (!sim::ValidGuid(product)) return -2;  // INSTALLSTATE_INVALIDARG
  const auto it = W().products.find(product);
  return it == W().products.end() ? -1 : it->second.state;
}

int MsiQueryFeatureState(const WString& product, const WString& feature) {
  if (!Enter("MsiQueryFeatureStateW")) return static_cast<int>(sim::FaultCode("MsiQueryFeatureStateW"));
  if (!sim::ValidGuid(product)) return -2;
  const auto it = W().products.find(product);
  if (it == W().products.end()) return -1;
  const auto f = it->second.features.find(feature);
  return f == it->second.features.end() ? -1 : f->second;
}

std::uint32_t MsiSourceListClearAll(const WString& product) {
  if (!Enter("MsiSourceListClearAllW")) return sim::FaultCode("MsiSourceListClearAllW");
  if (!sim::ValidGuid(product)) return winerror::kInvalidParameter;
  const auto it = W().products.find(product);
  if (it == W().products.end()) return winerror::kUnknownProduct;
  ++it->second.sourceListClears;
  return 0;
}

std::uint32_t MsiSourceListSetInfo(const WString& product, std::uint32_t context,
                                   std::uint32_t options, const WString& property,
                                   const WString& value) {
  if (!Enter("MsiSourceListSetInfoW")) return sim::FaultCode("MsiSourceListSetInfoW");
  if (!sim::ValidGuid(product) || context != 4 || options != 0) return winerror::kInvalidParameter;
  const auto it = W().products.find(product);
  if (it == W().products.end()) return winerror::kUnknownProduct;
  if (property == u"PackageName") it->second.packageName = value;
  return 0;
}

}  // namespace platform

namespace sim {

void HoldMutex(const WString& name, std::uint32_t milliseconds, bool abandoned, const std::string& creator,
               const std::string& security) {
  World::NamedMutex& mutex = W().mutexes[name];
  mutex.exists = true;
  mutex.ownedByOther = true;
  mutex.releasedAt = milliseconds == 0 ? 0 : W().tickCount + milliseconds;
  mutex.abandoned = abandoned;
  mutex.creator = creator;
  mutex.security = security;
}

bool MutexOwned(const WString& name) {
  World::NamedMutex& mutex = W().mutexes[name];
  if (mutex.ownedByOther && mutex.releasedAt != 0 && W().tickCount - mutex.releasedAt <= 0x7FFFFFFFu)
    mutex.ownedByOther = false;
  return mutex.ownedByOther || mutex.ownedByRun;
}

bool IsHeldOpen(const WString& path) {
  const World::Entry* entry = FileEntry(path);
  if (entry == nullptr) return false;
  for (const auto& open : I().files)
    if (open.second.id == entry->id && IsOpen(open.first, platform::HandleKind::kFile)) return true;
  return false;
}

std::uint32_t OtherWrites(const WString& path, const std::string& bytes) {
  const World::Entry* entry = FileEntry(path);
  if (entry == nullptr) return kErrorFileNotFound;
  if (DeletePending(entry->id)) return kErrorAccessDenied;
  // Opened for writing, sharing reading and writing, as a log writer does.
  if (const std::uint32_t conflict = ShareConflict(
          entry->id, platform::kGenericWrite, platform::kFileShareRead | platform::kFileShareWrite))
    return conflict;
  const WString folded = Fold(entry->path);
  W().fileContents[folded] = bytes;
  // The bytes signed are gone: the signature no longer verifies.
  const auto signature = W().signatures.find(folded);
  if (signature != W().signatures.end()) signature->second.changed = true;
  return 0;
}

std::uint32_t OtherReads(const WString& path) {
  const World::Entry* entry = FileEntry(path);
  if (entry == nullptr) return kErrorFileNotFound;
  if (DeletePending(entry->id)) return kErrorAccessDenied;
  return ShareConflict(entry->id, platform::kGenericRead, platform::kFileShareRead);
}

std::uint32_t OtherRenames(const WString& from, const WString& to) {
  const WString source = Absolute(from);
  const WString target = Absolute(to);
  const World::Entry* moved = FindEntry(source);
  if (moved == nullptr) return kErrorFileNotFound;
  if (!DirectoryExists(ParentOf(target))) return kErrorPathNotFound;
  // Moving needs delete access to what moves (to every file in a folder
  // that moves, as the file system checks it) and to a file it replaces.
  const WString prefix = Fold(source + u"\\");
  for (const World::Entry& entry : W().entries) {
    const bool inside = Fold(entry.path) == Fold(source) || Fold(entry.path).compare(0, prefix.size(), prefix) == 0;
    if (inside && !entry.directory)
      if (const std::uint32_t conflict = ShareConflict(entry.id, kDeleteAccess, 0x7)) return conflict;
  }
  if (const World::Entry* replaced = FindEntry(target)) {
    if (replaced->directory) return kErrorAccessDenied;
    if (const std::uint32_t conflict = ShareConflict(replaced->id, kDeleteAccess, 0x7)) return conflict;
    RemoveEntry(replaced->id);
  }
  for (World::Entry& entry : W().entries) {
    const WString folded = Fold(entry.path);
    if (folded != Fold(source) && folded.compare(0, prefix.size(), prefix) != 0) continue;
    const WString renamed = target + entry.path.substr(source.size());
    MoveKeyed(entry.path, renamed);
    entry.path = renamed;
  }
  EntriesChanged();
  return 0;
}

std::uint32_t OtherDeletes(const WString& path) {
  const World::Entry* entry = FileEntry(path);
  if (entry == nullptr) return kErrorFileNotFound;
  if (const std::uint32_t conflict = ShareConflict(entry->id, kDeleteAccess, 0x7)) return conflict;
  DeleteOrMarkPending(entry->id);
  return 0;
}

void SignWith(const WString& path, const std::string& certificate, bool timestamped) {
  W().signatures[Fold(Absolute(path))] = {certificate, timestamped};
}

void Sign(const WString& path, const std::string& subject, const WString& name) {
  if (subject.empty()) return SetSignatureResult(path, 0);
  const std::string key = subject + " " + ToUtf8(name);
  W().certificates.insert({key, {subject, name, "root"}});
  SignWith(path, key);
}

void SetSignatureResult(const WString& path, std::uint32_t result) {
  W().signatures[Fold(Absolute(path))] = {std::string(), true, false, result};
}

}  // namespace sim
