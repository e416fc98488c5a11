// One run of msiexec.exe for the plug-in package.
#pragma once

#include <cstdint>

#include "bootstrap/messages.h"
#include "install/checked_file.h"
#include "install/installer_busy.h"
#include "platform/wstring.h"

// Installs the package held and checked (by its runPath, the path the held
// file really has). Puts " REBOOT=R " in front of the argument text and,
// unless the text holds "/l" or "/L", a "/Lv!" verbose log in TMP
// (ArrangeInstallerLog; logPath receives it as soon as it is made, and is
// cleared again when the installer wrote nothing into it). Reads the system
// directory and, once Windows Installer is free (RunWhenInstallerFree: the
// source list is not touched when nothing is started), prepares the source
// list of installedProductCode (the installed related product's; empty on a
// first installation): cleared, the package's file name as "PackageName",
// its source-hash file deleted on Windows 5.2. Runs
//   "<system dir>\msiexec.exe" /i "<package path>" <argument text>
// and translates its exit code (TranslateInstallerExitCode; the restart
// marker for the restart codes). Returns 0, the installer's exit code,
// RunChildProcess's code, 1618 when the wait for another installation ran
// out, 1602 when the administrator cancelled it, or the first failing
// step's code, with its box under caption 129 where it has one: 144 for an
// unreadable TMP, 152 for the system directory; a log that cannot be created
// has none of its own (the run's failure box tells). Nothing is done after a
// failing step.
StepResult RunInstaller(const WString& installedProductCode, const CheckedFile& package,
                        WString arguments, WString& logPath, const InstallerWait& wait);

// 0 for 0, 1641, 3010 and 3011 (restartNeeded set for the last three, which
// are the installer's success-with-restart codes); every other code
// unchanged, with restartNeeded cleared.
std::uint32_t TranslateInstallerExitCode(std::uint32_t exitCode, bool& restartNeeded);

// On Windows 5.2 (Server 2003, XP x64) deletes
// %WINDIR%\installer\SourceHash<productCode>, ignoring the outcome. Does
// nothing on other versions, for an empty product code or without WINDIR.
void DeleteSourceHashFile(WString productCode);

// Reads the system directory into a 260-unit buffer (259 requested). 0 and
// the directory; else the error code (ERROR_INSUFFICIENT_BUFFER, 122, when
// the directory does not fit), never a truncated path.
std::uint32_t ReadSystemDirectory(WString& directory);
