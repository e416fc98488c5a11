// The pending-restart marker (HKCU\Software\NeedBstrReboot, 32-bit view) and
// the restart of Windows. The marker holds no values; its existence alone
// says that an installation asked for a restart. It outlives the run.
#pragma once

#include <cstdint>

// True when "Software\NeedBstrReboot" below HKEY_CURRENT_USER opens with
// KEY_READ | KEY_WOW64_32KEY; false for an absent key, no access or any other
// error. The key is closed again at once. No message.
bool IsRestartPending();

// Creates the marker (KEY_READ | KEY_WRITE | KEY_WOW64_32KEY, non-volatile)
// and closes it at once. A failure is ignored: the installer's success
// stands.
void CreateRestartMarker();

// Deletes the marker below "Software" (opened with KEY_READ | KEY_WRITE |
// KEY_WOW64_32KEY) through a delete function looked up afresh on every call:
// RegDeleteKeyExW (KEY_WOW64_32KEY) when
// API-MS-Win-Core-LocalRegistry-L1-1-0.dll is already loaded, else from
// advapi32.dll RegDeleteKeyW in the 32-bit build (its own view is the 32-bit
// one) and RegDeleteKeyExW (KEY_WOW64_32KEY) in the x64 build. Returns 0 when
// deleted, else the Windows error code of the failing step (never 0 when
// nothing was deleted); the marker then stays. No message.
std::uint32_t ClearRestartMarker();

// Enables SeShutdownPrivilege for the process and starts a restart of the
// whole computer: InitiateSystemShutdownExW (this computer, no message, no
// time-out, applications closed without asking, restart after the shutdown,
// a planned restart for an application's installation), which restarts also
// when called by a process that is not the interactive user (LocalSystem
// under a fleet tool), where ExitWindowsEx would succeed and restart
// nothing. ExitWindowsEx(EWX_REBOOT | EWX_FORCE, SHTDN_REASON_MAJOR_
// APPLICATION) only where advapi32.dll lacks the former (Windows 2000).
// True when the restart was started; false when the token cannot be opened,
// the privilege cannot be enabled (nothing is then called) or the call
// fails: the run log then names the call that failed and its error. The
// token is closed on every path.
bool RestartComputer();
