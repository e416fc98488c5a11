// The decision how the plug-in package is handed to Windows Installer.
#pragma once

#include <cstdint>

#include "platform/wstring.h"

// First install, reinstall (question 147), upgrade or refusal (notice 150),
// then RunInstaller. 0, 1602 when the user declined, or the failing code.
std::uint32_t InstallPluginPackage(WString extraArguments, bool silent, WString& logPath,
                                   bool reinstall);
