#include "install/run_installer.h"

#include "bootstrap/environment.h"
#include "bootstrap/last_failure.h"
#include "bootstrap/message_ids.h"
#include "bootstrap/restart.h"
#include "bootstrap/run_log.h"
#include "install/child_process.h"
#include "install/installer_busy.h"
#include "install/installer_log.h"
#include "platform/platform.h"
#include "platform/result_codes.h"

namespace {

constexpr std::uint32_t kMsiInstallContextMachine = 4;
constexpr std::uint32_t kMsiCodeProduct = 0;
constexpr std::uint32_t kSystemDirectoryBuffer = 260;

}  // namespace

std::uint32_t ReadSystemDirectory(WString& directory) {
  WString buffer(kSystemDirectoryBuffer, u'\0');
  const std::uint32_t requested = kSystemDirectoryBuffer - 1;
  const std::uint32_t length = platform::GetSystemFolder(&buffer[0], requested);
  if (length == 0) return LastFailure();
  // A result as large as the buffer is the size the path needs: the buffer
  // holds nothing usable then.
  if (length >= requested) return winerror::kInsufficientBuffer;
  buffer.resize(length);
  directory = buffer;
  return 0;
}

std::uint32_t TranslateInstallerExitCode(std::uint32_t exitCode, bool& restartNeeded) {
  restartNeeded = exitCode == winerror::kSuccessRebootInitiated ||
                  exitCode == winerror::kSuccessRebootRequired ||
                  exitCode == winerror::kSuccessRestartRequired;
  return restartNeeded ? 0 : exitCode;
}

void DeleteSourceHashFile(WString productCode) {
  platform::WindowsVersion version;
  if (!platform::ReadWindowsVersion(version) || version.major != 5 || version.minor != 2) return;
  // Without a product code or a Windows folder the path would name some
  // other file (…\SourceHash itself, or a folder at the drive's root).
  if (productCode.empty()) return;
  WString windows;
  if (ReadEnvironmentVariable(u"WINDIR", windows) != 0) return;
  platform::RemoveFile(windows + u"\\installer\\SourceHash" + productCode);
}

StepResult RunInstaller(const WString& installedProductCode, const CheckedFile& package,
                        WString arguments, WString& logPath, const InstallerWait& wait) {
  StepResult failed;
  // REBOOT=R keeps the installer from restarting on its own; the restart is
  // offered at the end of the run instead.
  Prepend(arguments, u" REBOOT=R ");
  const WString packageName = FileNamePart(package.runPath);

  InstallerLog log;
  if (!ChoosesOwnLog(arguments)) {
    // logPath is left alone on failure.
    bool tempUnreadable = false;
    failed.code = ArrangeInstallerLog(u"msiexec", packageName, log, tempUnreadable);
    if (failed.code != 0) {
      if (tempUnreadable) failed.notice = TempUnreadableNotice();
      return failed;
    }
    logPath = log.path;
    Prepend(arguments, u"/Lv! \"" + log.path + u"\"");
  }

  WString systemDirectory;
  failed.code = ReadSystemDirectory(systemDirectory);
  if (failed.code != 0) {
    failed.notice = NoticeOf(msg::kSystemDirectoryUnreadable, msg::kErrorCaption);
    logPath = FinishInstallerLog(u"msiexec", log);
    return failed;
  }

  // msiexec.exe opens the package by name itself: it gets the final path of
  // the file held, which no junction re-pointed after the check can change,
  // or, where that is longer than msiexec takes, the path it was found at.
  const WString commandLine =
      u"\"" + systemDirectory + u"\\msiexec.exe\" /i \"" + package.runPath + u"\" " + arguments;

  struct Start {
    const WString& productCode;
    const WString& packageName;
    const WString& commandLine;
    bool prepared;
  } start{installedProductCode, packageName, commandLine, false};
  const ChildResult ran = RunWhenInstallerFree(
      u"msiexec", wait,
      [](void* context) {
        Start& s = *static_cast<Start*>(context);
        // Once Windows Installer is free, and once: the source list is
        // re-pointed at the package being installed, so that Windows
        // Installer does not ask for the original package's medium. These
        // fail harmlessly for a product that is not installed.
        if (!s.prepared) {
          platform::MsiSourceListClearAll(s.productCode);
          platform::MsiSourceListSetInfo(s.productCode, kMsiInstallContextMachine, kMsiCodeProduct,
                                         u"PackageName", s.packageName);
          DeleteSourceHashFile(s.productCode);
          s.prepared = true;
        }
        return RunChildProcess(u"msiexec", s.commandLine);
      },
      &start);
  if (!log.path.empty()) logPath = FinishInstallerLog(u"msiexec", log);
  // Only msiexec's own exit code can ask for a restart; a code of the start
  // or of the wait is passed up as it is.
  StepResult result;
  result.code = ran.code;
  if (ran.end != ChildEnd::kExited) return result;
  bool restartNeeded = false;
  result.code = TranslateInstallerExitCode(ran.code, restartNeeded);
  if (restartNeeded) CreateRestartMarker();
  return result;
}
