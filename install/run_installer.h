// One run of msiexec.exe for the plug-in package.
#pragma once

#include <cstdint>

#include "platform/wstring.h"

// Finds the package with packagePattern, completes the argument text
// (" REBOOT=R ", the "/Lv!" log in TMP unless the text holds /l or /L),
// prepares the product's source list, runs msiexec.exe /i and translates its
// exit code. logPath receives the log's path as soon as it is built.
std::uint32_t RunInstaller(WString productCode, WString packagePattern, WString arguments,
                           bool silent, WString& logPath);

// 0 for 0, 1641, 3010 and 3011 (restartNeeded set for the last three);
// every other code unchanged.
std::uint32_t TranslateInstallerExitCode(std::uint32_t exitCode, bool& restartNeeded);

// On Windows 5.2 deletes %WINDIR%\installer\SourceHash<product code>.
void DeleteSourceHashFile(WString productCode);
