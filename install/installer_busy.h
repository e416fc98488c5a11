// Waiting for another installation. Windows Installer runs one installation
// at a time: while one runs its execute sequence it owns the mutex
// Global\_MSIExecute, and another msiexec /i (or a provider's setup, which
// runs one) ends with 1618. Each installer start waits for that mutex first,
// as deployment tools do, up to a bound. And this program runs once at a
// time: a run holds a mutex of its own from before it examines anything to
// its end, so that a second run decides only after the first has ended.
#pragma once

#include <cstdint>

#include "bootstrap/message_ids.h"
#include "install/child_process.h"
#include "platform/platform.h"
#include "platform/wstring.h"

// How a step waits: the bound in seconds (0: not at all, not even a look at
// Windows Installer's mutex), whether the waiting window shows it (not in a
// silent run) and the message the window says (it names what waits).
// setup/ decides all three.
struct InstallerWait {
  std::uint32_t boundSeconds = 0;
  bool showWindow = false;
  std::uint16_t text = msg::kWaitingForInstaller;
};

// The program's own mutex, in the Global\ namespace so that runs in every
// session (a fleet tool's LocalSystem in session 0, an administrator at the
// screen) see one another.
extern const char16_t kRunMutexName[];

// Takes the program's own mutex for this run: creates it (full access for
// SYSTEM and Administrators, so that a run of either account can wait for a
// run of the other), or opens it when another run made it, and owns it: at
// once when it is free, else waiting for the other run's end, at most for
// wait's bound (0: only a look), with the waiting window when asked. A mutex
// whose owner ended without releasing it counts as free. 0 with mutex
// holding it; 0 with mutex empty when it could not be created, opened or
// waited for (the run log says why; the run goes on unguarded); 1618 when
// the bound ran out, 1602 when the administrator cancelled the wait, mutex
// empty for both. The run log says when the wait began and how it ended.
std::uint32_t TakeRunMutex(const InstallerWait& wait, platform::KernelHandle& mutex);

// Releases the mutex taken by TakeRunMutex and closes it (nothing when it
// is empty), after the run's last line; it writes nothing.
void ReleaseRunMutex(platform::KernelHandle& mutex);

// Starts label's installer through start once Windows Installer runs no
// other installation: looks at its mutex Global\_MSIExecute (SYNCHRONIZE and
// MUTEX_MODIFY_STATE, never created) and, when another installation owns it,
// waits for it (showing the waiting window when asked), at most for the
// bound; an abandoned mutex counts as released; the mutex acquired is
// released at once. Where it cannot be opened (there is none, no access) the
// installer starts at once, and the run log names any failure but "none". An
// installer that ends with 1618 although Windows Installer was free (another
// installation started in between) is waited for and started again, within
// the same bound, as long as each look finds another installation to wait
// for. The run log says when a wait began, for what, how it ended, and each
// try. Returns the last try's result; or, nothing started: kNotStarted with
// 1618 when the bound ran out with the other installation still running, or
// with the code of a wait or release that failed; kCancelled with 1602 when
// the administrator cancelled the wait. start(context) starts the installer
// and waits for its end.
using StartInstaller = ChildResult (*)(void* context);
ChildResult RunWhenInstallerFree(const WString& label, const InstallerWait& wait, StartInstaller start,
                                 void* context);
