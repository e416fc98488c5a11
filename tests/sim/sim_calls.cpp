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

struct Internals {
  std::map<platform::RawHandle, Search> searches;
  std::map<platform::RawHandle, WString> keyPaths;
  std::map<platform::RawHandle, WString> packagePaths;  // open databases
  std::map<platform::RawHandle, View> views;
  std::map<platform::RawHandle, WString> records;  // field 1 of a fetched row
  std::map<platform::RawHandle, std::uint32_t> exitCodes;
  std::map<platform::RawHandle, WString> filePaths;  // folded
  std::set<platform::RawHandle> readOnlyFiles;       // opened for reading only
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
constexpr std::uint32_t kErrorBadQuerySyntax = 1615;

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
  return W().packages.find(Fold(path));
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
  I().exitCodes.erase(handle);
  I().filePaths.erase(handle);
  switch (kind) {
    case HandleKind::kFind: w.calls.emplace_back("FindClose"); break;
    case HandleKind::kRegistry: w.calls.emplace_back("RegCloseKey"); break;
    case HandleKind::kKernel: w.calls.emplace_back("CloseHandle"); break;
    case HandleKind::kMsi: w.calls.emplace_back("MsiCloseHandle"); break;
    case HandleKind::kIcon: w.calls.emplace_back("DestroyIcon"); break;
    case HandleKind::kFile: w.calls.emplace_back("CloseHandle"); break;
  }
}

void RestrictDllSearchToSystemDirectory() { Enter("SetDefaultDllDirectories"); }

std::uint32_t GetLastError() { return W().lastError; }

void SetLastError(std::uint32_t code) { W().lastError = code; }

int ShowMessageBox(const WString& text, const WString& caption, std::uint32_t style) {
  if (!Enter("MessageBoxW")) return 0;
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
  auto& entries = W().entries;
  const WString full = sim::Absolute(path);
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (!it->directory && sim::SameText(it->path, full)) {
      entries.erase(it);
      return true;
    }
  }
  W().lastError = sim::kErrorFileNotFound;
  return false;
}

FileHandle CreateNewFile(const WString& path) {
  if (!Enter("CreateFileW")) return FileHandle();
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
  const RawHandle h = sim::NewHandle(HandleKind::kFile);
  I().filePaths[h] = sim::Fold(full);
  return FileHandle(h);
}

FileHandle OpenFileDenyingWriters(const WString& path) {
  if (!Enter("CreateFileW")) return FileHandle();
  const WString full = sim::Absolute(path);
  if (!sim::FileExists(full)) {
    W().lastError = sim::DirectoryExists(sim::ParentOf(full)) ? sim::kErrorFileNotFound : sim::kErrorPathNotFound;
    return FileHandle();
  }
  const RawHandle h = sim::NewHandle(HandleKind::kFile);
  I().filePaths[h] = sim::Fold(full);
  I().readOnlyFiles.insert(h);
  return FileHandle(h);
}

std::uint32_t VerifyFileSignature(const WString& path, RawHandle file, FileSigner& signer) {
  if (!Enter("WinVerifyTrust")) return W().lastError;
  if (W().missingFunctions.count("WinVerifyTrust")) return winerror::kProcNotFound;
  // The file is verified through the handle that holds it, never by name.
  const auto it = I().filePaths.find(file);
  if (it == I().filePaths.end() || !sim::IsOpen(file, HandleKind::kFile) ||
      it->second != sim::Fold(sim::Absolute(path)))
    return sim::kErrorInvalidHandle;
  const auto found = W().signatures.find(it->second);
  if (found == W().signatures.end()) return winerror::kTrustNoSignature;
  if (found->second.result == 0) {
    signer.subject = found->second.subject;
    signer.name = found->second.name;
  }
  return found->second.result;
}

void SetFatalExitHandler(FatalExitHandler handler) { W().fatalExitHandler = handler; }

bool WriteFile(RawHandle file, const char* bytes, std::uint32_t size) {
  if (!Enter("WriteFile")) return false;
  const auto it = I().filePaths.find(file);
  if (it == I().filePaths.end() || !sim::IsOpen(file, HandleKind::kFile) ||
      I().readOnlyFiles.count(file)) {
    W().lastError = sim::kErrorInvalidHandle;
    return false;
  }
  W().fileContents[it->second].append(bytes, size);
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

std::uint32_t DeleteKey(RawHandle key, const WString& subkey) {
  const auto it = I().keyPaths.find(key);
  if (it == I().keyPaths.end()) return sim::kErrorInvalidHandle;
  const WString path = it->second + u"\\" + subkey;
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
  if (!function || access != 0 || reserved != 0)
    return winerror::kInvalidParameter;
  return DeleteKey(key, subkey);
}

std::uint32_t CallRegDeleteKey(RegDeleteKeyFunction function, RawHandle key,
                               const WString& subkey) {
  if (!Enter("RegDeleteKeyW")) return sim::FaultCode("RegDeleteKeyW");
  if (!function) return winerror::kInvalidParameter;
  return DeleteKey(key, subkey);
}

std::uint32_t RegOpenCurrentUserKey(const WString& subkey, std::uint32_t access,
                                    RegistryKey& key) {
  if (!Enter("RegOpenKeyExW")) return sim::FaultCode("RegOpenKeyExW");
  W().keyAccess.push_back(access);
  if (KeyDenied(subkey)) return sim::kErrorAccessDenied;
  if (!KeyExists(subkey)) return sim::kErrorFileNotFound;
  const RawHandle h = sim::NewHandle(HandleKind::kRegistry);
  I().keyPaths[h] = subkey;
  key.reset(h);
  return 0;
}

std::uint32_t RegCreateCurrentUserKey(const WString& subkey, std::uint32_t access,
                                      RegistryKey& key) {
  if (!Enter("RegCreateKeyExW")) return sim::FaultCode("RegCreateKeyExW");
  W().keyAccess.push_back(access);
  if (KeyDenied(subkey)) return sim::kErrorAccessDenied;
  WString path;
  for (std::size_t start = 0; start <= subkey.size();) {
    auto end = subkey.find(u'\\', start);
    if (end == WString::npos) end = subkey.size();
    path = subkey.substr(0, end);
    if (!KeyExists(path)) {
      W().keys.insert(path);
      W().createdKeys.push_back(path);
    }
    start = end + 1;
  }
  const RawHandle h = sim::NewHandle(HandleKind::kRegistry);
  I().keyPaths[h] = subkey;
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
  // A program named by its path must be there; the behaviour is still found
  // by the command line's first token, which the child sees either way.
  if (!applicationName.empty() && !sim::FileExists(sim::Absolute(applicationName))) {
    W().lastError = sim::kErrorFileNotFound;
    return false;
  }
  // CreateProcessW takes at most 32,767 characters with the terminator.
  if (commandLine.size() >= 32767) {
    W().lastError = winerror::kFilenameExcedRange;
    return false;
  }
  const WString program = sim::FirstToken(commandLine);
  sim::ChildBehaviour behaviour;
  for (const auto& p : W().programs)
    if (sim::SameText(p.first, program)) behaviour = p.second;
  if (!behaviour) {
    W().lastError = W().missingProgramError;
    return false;
  }
  W().started.push_back(commandLine);
  W().startedApplications.push_back(applicationName);
  W().creationFlags.push_back(creationFlags);
  const std::uint32_t exitCode = behaviour(commandLine);
  child.process.reset(sim::NewHandle(HandleKind::kKernel));
  child.thread.reset(sim::NewHandle(HandleKind::kKernel));
  I().exitCodes[child.process.get()] = exitCode;
  return true;
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
  const auto it = I().exitCodes.find(process);
  if (it == I().exitCodes.end()) {
    W().lastError = sim::kErrorInvalidHandle;
    return false;
  }
  exitCode = it->second;
  return true;
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
  W().restarted = true;
  W().restartFlags = flags;
  W().restartReason = reason;
  return true;
}

std::uint32_t MsiSetInternalUI(std::uint32_t level) {
  // A failed call leaves the level as it was.
  if (!Enter("MsiSetInternalUI")) return sim::FaultCode("MsiSetInternalUI");
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

bool IsHeldOpen(const WString& path) {
  const WString folded = Fold(Absolute(path));
  for (const auto& entry : I().filePaths)
    if (entry.second == folded && IsOpen(entry.first, platform::HandleKind::kFile)) return true;
  return false;
}

void Sign(const WString& path, const std::string& subject, const WString& name) {
  W().signatures[Fold(Absolute(path))] = {0, subject, name};
}

void SetSignatureResult(const WString& path, std::uint32_t result) {
  W().signatures[Fold(Absolute(path))] = {result, std::string(), WString()};
}

}  // namespace sim
