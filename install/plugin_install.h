// The decision how the plug-in package is handed to Windows Installer.
#pragma once

#include <cstdint>

#include "platform/wstring.h"

// Decides between a first installation, an upgrade, a reinstallation of the
// same version (question 147 under caption 128 unless the reinstall flag is
// given; silent skips it and installs nothing) and a refusal when a newer
// version is installed (notice 150 under caption 128, MB_ICONERROR; silent
// installs the older package instead). Adds to extraArguments, each in
// front: " ADDLOCAL=NPVEXIS" when the installed product lacks the feature,
// "REINSTALL=ALL REINSTALLMODE=vomus" (with " /qb" unless the text holds
// "/q") when reinstalling or upgrading a product with the same product code,
// and " /qb" when the text holds no "/q" (case-sensitive). Then
// RunInstaller with the installed product's code and the pattern
// "vexiscom" + architecture pattern, which alone writes logPath.
// Returns RunInstaller's result; 0 when nothing had to be done; 1602 when the
// user declined the reinstallation; the code of ReadPackageIdentity (after
// message 151 under caption 129 unless silent) or of CompareWithInstalled
// (which shows its own box) when they fail. Nothing is run after a failure.
std::uint32_t InstallPluginPackage(WString extraArguments, bool silent, WString& logPath,
                                   bool reinstall);
