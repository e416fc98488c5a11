// The decision how the plug-in package is handed to Windows Installer.
#pragma once

#include <cstdint>

#include "install/signatures.h"
#include "platform/wstring.h"

// Finds the plug-in package once ("vexiscom" + architecture pattern, a
// ".msi" file in a subfolder of the current directory) and reads its codes
// and version from its database; that one file is compared, installed and
// recorded in its product's source list. When it cannot be found or read:
// message 151 under caption 129 unless silent, and the code (232 no package,
// 206 a path too long for Windows Installer, or the database call's code).
// Then decides between a first installation, an upgrade, a reinstallation of
// the same version (question 147 under caption 128 unless the reinstall flag
// is given; silent skips it and installs nothing) and a refusal when a newer
// version is installed (notice 150 under caption 128, MB_ICONERROR; silent
// installs the older package instead). Adds to extraArguments, each in
// front: " ADDLOCAL=NPVEXIS" when the installed product lacks the feature,
// "REINSTALL=ALL REINSTALLMODE=vomus" (with " /qb" unless the text holds
// "/q") when reinstalling or upgrading a product with the same product code,
// and " /qb" when the text holds no "/q" (case-sensitive). Then
// RunInstaller with the installed product's code and the package's path,
// which alone writes logPath.
// Returns RunInstaller's result; 0 when nothing had to be done; 1602 when the
// user declined the reinstallation; the code of CompareWithInstalled (which
// shows its own box) when it fails. Nothing is run after a failure.
// The package is checked against the bootstrapper's publisher there.
std::uint32_t InstallPluginPackage(WString extraArguments, bool silent, WString& logPath,
                                   bool reinstall,
                                   const PublisherCheck& publisher = PublisherCheck());
