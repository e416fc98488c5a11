#include "bootstrap/restart.h"

#include "bootstrap/run_log.h"
#include "platform/platform.h"
#include "platform/result_codes.h"

namespace {

constexpr char16_t kMarkerPath[] = u"Software\\NeedBstrReboot";
constexpr char16_t kMarkerParent[] = u"Software";
constexpr char16_t kMarkerName[] = u"NeedBstrReboot";
constexpr std::uint32_t kEwxReboot = 0x02;
constexpr std::uint32_t kEwxForce = 0x04;
constexpr std::uint32_t kShutdownReasonMajorApplication = 0x00040000;
constexpr std::uint32_t kShutdownReasonMinorInstallation = 0x00000002;
constexpr std::uint32_t kShutdownReasonFlagPlanned = 0x80000000;

// The restart was not started: the run log names the call and its error.
bool NotStarted(const char16_t* call) {
  LogLine({u"restart: ", call, u" failed, error ", platform::GetLastError()});
  return false;
}

}  // namespace

bool IsRestartPending() {
  platform::RegistryKey key;
  return platform::RegOpenCurrentUserKey(
             kMarkerPath, platform::kKeyRead | platform::kKeyWow64_32Key, key) == 0;
}

void CreateRestartMarker() {
  platform::RegistryKey key;
  const std::uint32_t created = platform::RegCreateCurrentUserKey(
      kMarkerPath, platform::kKeyRead | platform::kKeyWrite | platform::kKeyWow64_32Key, key);
  if (created == 0)
    LogLine(u"restart marker: created");
  else
    LogValue(u"restart marker: could not be created, error", created);
}

std::uint32_t ClearRestartMarker() {
  platform::RegistryKey parent;
  const std::uint32_t opened = platform::RegOpenCurrentUserKey(
      kMarkerParent, platform::kKeyRead | platform::kKeyWrite | platform::kKeyWow64_32Key,
      parent);
  if (opened != 0) return opened;

  // RegDeleteKeyExW exists only from Windows XP x64 / Vista on; the API set
  // module being loaded is the sign that it does. Looked up on every call:
  // nothing is cached between calls.
  platform::RegDeleteKeyExFunction deleteKeyEx;
  platform::RegDeleteKeyFunction deleteKey;
  const platform::RawHandle apiSet =
      platform::FindLoadedModule(u"API-MS-Win-Core-LocalRegistry-L1-1-0.dll");
  if (apiSet != 0) {
    deleteKeyEx = platform::FindRegDeleteKeyEx(apiSet);
  } else {
    const platform::RawHandle advapi = platform::LoadModule(u"advapi32.dll");
    // RegDeleteKeyW deletes in the process's own view, which for the x64
    // build is not the 32-bit view the marker lives in: a 64-bit process
    // takes RegDeleteKeyExW, which every 64-bit Windows has.
    if (advapi != 0) {
      if (platform::IsProcess64Bit())
        deleteKeyEx = platform::FindRegDeleteKeyEx(advapi);
      else
        deleteKey = platform::FindRegDeleteKey(advapi);
    }
  }

  // The marker is created, tested and deleted in the 32-bit view, whichever
  // build runs: the x64 exe must find what the 32-bit one left, and the
  // reverse.
  if (deleteKeyEx)
    return platform::CallRegDeleteKeyEx(deleteKeyEx, parent.get(), kMarkerName,
                                        platform::kKeyWow64_32Key, 0);
  if (deleteKey) return platform::CallRegDeleteKey(deleteKey, parent.get(), kMarkerName);
  return winerror::NonZeroCode(platform::GetLastError(), winerror::kProcNotFound);
}

bool RestartComputer() {
  platform::KernelHandle token;
  if (!platform::OpenProcessToken(platform::kTokenAdjustPrivileges | platform::kTokenQuery,
                                  token))
    return NotStarted(u"OpenProcessToken");
  std::uint64_t privilege = 0;
  // A failed lookup leaves an identifier the account does not hold, which
  // the test after AdjustTokenPrivileges catches.
  platform::LookUpPrivilege(u"SeShutdownPrivilege", privilege);
  // AdjustTokenPrivileges succeeds also when the account does not hold the
  // privilege (ERROR_NOT_ALL_ASSIGNED); only GetLastError tells.
  const bool adjusted =
      platform::AdjustTokenPrivilege(token.get(), privilege, platform::kSePrivilegeEnabled);
  if (!adjusted || platform::GetLastError() != 0) return NotStarted(u"AdjustTokenPrivileges");
  // ExitWindowsEx ends the caller's logon session; for a process that is not
  // the interactive user it succeeds without restarting the computer.
  const platform::InitiateSystemShutdownExFunction initiate =
      platform::FindInitiateSystemShutdownEx(platform::FindLoadedModule(u"advapi32.dll"));
  if (initiate) {
    if (platform::CallInitiateSystemShutdownEx(
            initiate, 0, true, true,
            kShutdownReasonMajorApplication | kShutdownReasonMinorInstallation |
                kShutdownReasonFlagPlanned))
      return true;
    return NotStarted(u"InitiateSystemShutdownExW");
  }
  if (platform::ExitWindowsEx(kEwxReboot | kEwxForce, kShutdownReasonMajorApplication)) return true;
  return NotStarted(u"ExitWindowsEx");
}
