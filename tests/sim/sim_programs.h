// Child programs of the simulated Windows: a Windows Installer that installs
// the package it is given, and plain programs that exit with a chosen code.
#pragma once

#include <cstdint>

#include "tests/sim/sim_world.h"

namespace sim {

// msiexec.exe: ends with 1618 while anyone owns Windows Installer's mutex;
// else installs the package after /i (its ProductCode, UpgradeCode
// and ProductVersion, feature NPVEXIS local) unless exitCode is a failure,
// writes the log named after /Lv! (1627 without installing when its folder
// does not exist), and exits with exitCode. Another version
// of an installed product code without "REINSTALL=" on the command line is
// refused with 1638, as Windows Installer does.
ChildBehaviour FakeMsiexec(std::uint32_t exitCode = 0);

// Registers FakeMsiexec as the system directory's msiexec.exe.
void InstallMsiexec(std::uint32_t exitCode = 0);

// Writes what an installer writes into the log that commandLine's /Lv!
// switch names (msiexec's "<path>", a provider's """<path>"""), through the
// share modes of the run's handles: 0, or the error that stops the installer.
// 0 also when no log is named.
std::uint32_t WriteNamedLog(const WString& commandLine);

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
