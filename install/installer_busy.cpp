#include "install/installer_busy.h"

#include "bootstrap/last_failure.h"
#include "bootstrap/message_ids.h"
#include "bootstrap/messages.h"
#include "bootstrap/run_log.h"
#include "install/child_process.h"
#include "platform/platform.h"
#include "platform/result_codes.h"

namespace {

constexpr char16_t kMutexName[] = u"Global\\_MSIExecute";
// SYSTEM and the Administrators get every right on the program's mutex.
// Without it the mutex would get its creator's default DACL: one made by a
// run as LocalSystem lets Administrators only wait on it, and an
// administrator's run could neither open it (CreateMutexW asks for every
// right) nor take it.
constexpr char16_t kRunMutexSecurity[] = u"D:(A;;GA;;;SY)(A;;GA;;;BA)";
// What the wait needs: waiting on the mutex, and releasing it once it is
// acquired (without MUTEX_MODIFY_STATE Windows refuses the release, and the
// run would hold Windows Installer itself).
constexpr std::uint32_t kMutexAccess = platform::kSynchronize | platform::kMutexModifyState;
constexpr std::uint32_t kMsPerSecond = 1000;

// The dialog of the waiting window and its text control (resources/waiting.rc).
constexpr std::uint16_t kWaitingDialog = 160;
constexpr std::uint32_t kWaitingText = 1020;

bool Acquired(std::uint32_t waited) {
  return waited == platform::kWaitObject0 || waited == platform::kWaitAbandoned;
}

// Waits at most ms for mutex, showing the waiting window with wait's text
// when asked. A window that cannot be made, or a wait with it that fails,
// does not end the wait: it goes on without the window. Returns what the
// wait returns (WAIT_TIMEOUT also when cancelled is set).
std::uint32_t WaitShowingWhatWaits(const WString& label, platform::RawHandle mutex, std::uint32_t ms,
                                   const InstallerWait& wait, bool& cancelled) {
  cancelled = false;
  if (!wait.showWindow) return platform::WaitForObject(mutex, ms);
  const std::uint32_t start = platform::GetTickCount();
  WString caption;
  WString text;
  LoadMessage(msg::kCaption, caption);
  LoadMessage(wait.text, text);
  const std::uint32_t result =
      platform::WaitShowingWindow(mutex, ms, kWaitingDialog, kWaitingText, caption, text, cancelled);
  if (result != platform::kWaitFailed) return result;
  LogLine({label, u": the wait with its window failed, error ", LastFailure(), u"; waiting without it"});
  const std::uint32_t elapsed = platform::GetTickCount() - start;
  return platform::WaitForObject(mutex, ms > elapsed ? ms - elapsed : 0);
}

// One look at Windows Installer, and the wait when it is busy. 0 when the
// installer may start (waited tells whether it had to wait); else the code
// that ends the step with nothing started (cancelled set for 1602).
std::uint32_t WaitForWindowsInstaller(const WString& label, const InstallerWait& wait,
                                      std::uint32_t& spentMs, bool& waited, bool& cancelled) {
  waited = false;
  cancelled = false;
  const platform::KernelHandle mutex = platform::OpenNamedMutex(kMutexName, kMutexAccess);
  if (!mutex) {
    // No mutex: no installation has run since Windows started (or Wine's
    // msiexec, which makes none). Any other failure, such as no access, is
    // said, so that a 1618 that follows can be told from a lost race.
    const std::uint32_t error = LastFailure();
    if (error != winerror::kFileNotFound)
      LogLine({label, u": Windows Installer's mutex could not be opened, error ", error,
               u"; started without waiting"});
    return 0;
  }
  std::uint32_t result = platform::WaitForObject(mutex.get(), 0);
  if (result == platform::kWaitTimeout) {
    waited = true;
    const std::uint32_t boundMs = wait.boundSeconds * kMsPerSecond;
    const std::uint32_t leftMs = boundMs > spentMs ? boundMs - spentMs : 0;
    LogLine({label, u": Windows Installer is busy with another installation; waiting for it to end, "
                    u"at most ", leftMs / kMsPerSecond, u" s"});
    const std::uint32_t start = platform::GetTickCount();
    result = WaitShowingWhatWaits(label, mutex.get(), leftMs, wait, cancelled);
    const std::uint32_t elapsed = platform::GetTickCount() - start;
    spentMs += elapsed;
    if (cancelled) {
      LogLine({label, u": the wait was cancelled after ", elapsed, u" ms; nothing is started"});
      return winerror::kInstallUserExit;
    }
    if (result == platform::kWaitTimeout) {
      LogLine({label, u": another installation was still running after ", elapsed,
               u" ms; nothing is started"});
      return winerror::kInstallAlreadyRunning;
    }
    if (Acquired(result))
      LogLine({label, u": Windows Installer is free after ", elapsed, u" ms of waiting"});
  }
  if (!Acquired(result)) {
    const std::uint32_t error = LastFailure();
    LogLine({label, u": Windows Installer's mutex could not be waited for, error ", error,
             u"; nothing is started"});
    return error;
  }
  // Acquired: released at once, or the installer this run starts would find
  // Windows Installer busy with this very run.
  if (!platform::ReleaseMutex(mutex.get())) {
    const std::uint32_t error = LastFailure();
    LogLine({label, u": Windows Installer's mutex could not be released, error ", error,
             u"; nothing is started"});
    return error;
  }
  return 0;
}

}  // namespace

const char16_t kRunMutexName[] = u"Global\\NorvixVexisSetup";

std::uint32_t TakeRunMutex(const InstallerWait& wait, platform::KernelHandle& mutex) {
  constexpr char16_t kLabel[] = u"one run at a time";
  mutex = platform::CreateNamedMutex(kRunMutexName, kRunMutexSecurity);
  if (!mutex) {
    LogLine({kLabel, u": the mutex ", kRunMutexName, u" could not be created or opened, error ",
             LastFailure(), u"; the run goes on without it"});
    return 0;
  }
  std::uint32_t result = platform::WaitForObject(mutex.get(), 0);
  if (result == platform::kWaitTimeout) {
    const std::uint32_t boundMs = wait.boundSeconds * kMsPerSecond;
    LogLine({kLabel, u": another setup of the plug-in is running; waiting for it to end, at most ",
             wait.boundSeconds, u" s"});
    const std::uint32_t start = platform::GetTickCount();
    bool cancelled = false;
    // -wait 0: the look was all; no window for a wait of no length.
    if (boundMs != 0) result = WaitShowingWhatWaits(kLabel, mutex.get(), boundMs, wait, cancelled);
    const std::uint32_t elapsed = platform::GetTickCount() - start;
    if (cancelled || result == platform::kWaitTimeout) {
      mutex.reset();
      LogLine({kLabel, cancelled ? u": the wait was cancelled after " : u": the other setup was still running after ",
               elapsed, u" ms; nothing is examined or started"});
      return cancelled ? winerror::kInstallUserExit : winerror::kInstallAlreadyRunning;
    }
    if (Acquired(result))
      LogLine({kLabel, u": the other setup ended after ", elapsed, u" ms of waiting"});
  }
  if (result == platform::kWaitAbandoned)
    LogLine({kLabel, u": a setup ended without releasing the mutex; taken"});
  if (!Acquired(result)) {
    LogLine({kLabel, u": the mutex could not be waited for, error ", LastFailure(),
             u"; the run goes on without it"});
    mutex.reset();
  }
  return 0;
}

void ReleaseRunMutex(platform::KernelHandle& mutex) {
  // After the run's last line. A release that fails changes nothing: the
  // process ends next, and a mutex its owner left behind counts as free.
  if (mutex) platform::ReleaseMutex(mutex.get());
  mutex.reset();
}

ChildResult RunWhenInstallerFree(const WString& label, const InstallerWait& wait, StartInstaller start,
                                 void* context) {
  // -wait 0: no look at Windows Installer at all.
  if (wait.boundSeconds == 0) return start(context);
  std::uint32_t spentMs = 0;
  ChildResult ran;
  for (int tries = 0;; ++tries) {
    bool waited = false;
    bool cancelled = false;
    const std::uint32_t looked = WaitForWindowsInstaller(label, wait, spentMs, waited, cancelled);
    if (looked != 0) {
      // After a try, nothing more is started; the installer's 1618 stands
      // unless the bound ran out while waiting, which says the same.
      ChildResult stopped;
      stopped.code = looked;
      stopped.end = cancelled ? ChildEnd::kCancelled : ChildEnd::kNotStarted;
      return tries > 0 && !cancelled ? ran : stopped;
    }
    // A 1618 is tried again only after another installation was seen to end:
    // without one to wait for, starting again would only repeat it.
    if (tries > 0 && !waited) {
      LogLine({label, u": no other installation to wait for; its 1618 stands"});
      return ran;
    }
    ran = start(context);
    if (ran.end != ChildEnd::kExited || ran.code != winerror::kInstallAlreadyRunning ||
        spentMs >= wait.boundSeconds * kMsPerSecond)
      return ran;
    LogLine({label, u": ended with 1618, another installation started in between; looking again"});
  }
}
