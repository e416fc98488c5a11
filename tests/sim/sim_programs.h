// Child programs of the simulated Windows: a Windows Installer that installs
// the package it is given, and plain programs that exit with a chosen code.
#pragma once

#include <cstdint>

#include "tests/sim/sim_world.h"

namespace sim {

// msiexec.exe: installs the package after /i (its ProductCode, UpgradeCode
// and ProductVersion, feature NPVEXIS local) unless exitCode is a failure,
// writes the log named after /Lv! (1627 without installing when its folder
// does not exist), and exits with exitCode. Another version
// of an installed product code without "REINSTALL=" on the command line is
// refused with 1638, as Windows Installer does.
ChildBehaviour FakeMsiexec(std::uint32_t exitCode = 0);

// Registers FakeMsiexec as the system directory's msiexec.exe.
void InstallMsiexec(std::uint32_t exitCode = 0);

// A program that only exits with exitCode.
ChildBehaviour ExitWith(std::uint32_t exitCode);

// The plug-in package of a distribution tree: C:\dist\<folder>\<name> with
// the given codes and version.
void AddPluginPackage(const WString& folder, const WString& name, const WString& productCode,
                      const WString& upgradeCode, const WString& version);

// The plug-in product installed for use at this version, with its feature
// NPVEXIS installed locally.
void InstallPluginProduct(const WString& productCode, const WString& upgradeCode,
                          const WString& version);

}  // namespace sim
