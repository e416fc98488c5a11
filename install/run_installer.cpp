#include "install/run_installer.h"

#include "bootstrap/environment.h"
#include "bootstrap/message_ids.h"
#include "bootstrap/restart.h"
#include "bootstrap/run_log.h"
#include "install/child_process.h"
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

StepResult RunInstaller(const WString& installedProductCode, const WString& packagePath,
                        WString arguments, WString& logPath, const PublisherCheck& publisher) {
  StepResult failed;
  // REBOOT=R keeps the installer from restarting on its own; the restart is
  // offered at the end of the run instead.
  Prepend(arguments, u" REBOOT=R ");
  const WString packageName = FileNamePart(packagePath);

  // The package installed is the package checked: held, writers refused,
  // until msiexec.exe has ended. A refused package changes nothing: no log
  // is made for it and its product's source list is not touched.
  platform::FileHandle heldPackage;
  failed.code = OpenStartedFile(publisher, u"plug-in package", packagePath, heldPackage);
  if (failed.code != 0) {
    if (IsSignatureRefusal(failed.code))
      failed.notice = FileNotTrustedNotice(packagePath, failed.code, msg::kErrorCaption);
    return failed;
  }

  if (!ChoosesOwnLog(arguments)) {
    // logPath is left alone on failure.
    failed.code = ArrangeInstallerLog(u"msiexec", packageName, logPath);
    if (failed.code != 0) {
      if (failed.code != winerror::kFileExists) failed.notice = TempUnreadableNotice();
      return failed;
    }
    Prepend(arguments, u"/Lv! \"" + logPath + u"\"");
  }

  WString systemDirectory;
  failed.code = ReadSystemDirectory(systemDirectory);
  if (failed.code != 0) {
    failed.notice = NoticeOf(msg::kSystemDirectoryUnreadable, msg::kErrorCaption);
    return failed;
  }

  const WString commandLine =
      u"\"" + systemDirectory + u"\\msiexec.exe\" /i \"" + packagePath + u"\" " + arguments;

  // The source list is re-pointed at the package being installed, so that
  // Windows Installer does not ask for the original package's medium. These
  // fail harmlessly for a product that is not installed.
  platform::MsiSourceListClearAll(installedProductCode);
  platform::MsiSourceListSetInfo(installedProductCode, kMsiInstallContextMachine, kMsiCodeProduct,
                                 u"PackageName", packageName);
  DeleteSourceHashFile(installedProductCode);

  // Only msiexec's own exit code can ask for a restart; a code of the start
  // or of the wait is passed up as it is.
  StepResult ran;
  bool exited = false;
  ran.code = RunChildProcess(u"msiexec", commandLine, &exited);
  if (!exited) return ran;
  bool restartNeeded = false;
  ran.code = TranslateInstallerExitCode(ran.code, restartNeeded);
  if (restartNeeded) CreateRestartMarker();
  return ran;
}
