// One run of msiexec.exe for the plug-in package.
#pragma once

#include <cstdint>

#include "bootstrap/messages.h"
#include "install/signatures.h"
#include "platform/wstring.h"

// Puts " REBOOT=R " in front of the argument text and, unless the text holds
// "/l" or "/L" (case-sensitive), a "/Lv!" verbose log in TMP named after the
// package file and the local time; logPath receives that log's path as soon
// as it is built and is left alone otherwise. Then reads the system
// directory, runs
//   "<system dir>\msiexec.exe" /i "<package path>" <argument text>
// after clearing the product's source list, recording the package's file
// name as its "PackageName" and deleting its source-hash file (Windows 5.2),
// and translates the exit code (TranslateInstallerExitCode; the restart
// marker is created for the restart codes).
// installedProductCode is the installed related product's code (empty on a
// first installation): its source list is the one prepared.
// Returns 0 on success; the installer's exit code; RunChildProcess's code
// when msiexec.exe cannot be run; or the code of the first failing
// preparation step, with its box: message 144 (TMP unreadable) or 152
// (system directory unreadable) under caption 129. Nothing is run after a
// failing step. Before anything else, the package is opened and checked
// against the bootstrapper's publisher (OpenStartedFile) and held until
// msiexec.exe has ended; a package the check refuses is not installed, and
// nothing is done for it: message 153 with its path and the code under
// caption 129, and the code.
StepResult RunInstaller(const WString& installedProductCode, const WString& packagePath,
                        WString arguments, WString& logPath,
                        const PublisherCheck& publisher = PublisherCheck());

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
