// Windows Installer runs one installation at a time: while one runs its
// execute sequence it owns the mutex Global\_MSIExecute, and another msiexec
// /i (or a provider's setup, which runs one) ends with 1618. Each installer
// start waits for that mutex first, as deployment tools do, up to a bound.
#pragma once

#include <cstdint>

#include "install/child_process.h"
#include "platform/wstring.h"

// How a step waits: the bound in seconds (0: not at all, not even a look at
// the mutex) and whether the waiting window shows it (not in a silent run).
// setup/ decides both.
struct InstallerWait {
  std::uint32_t boundSeconds = 0;
  bool showWindow = false;
};

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
