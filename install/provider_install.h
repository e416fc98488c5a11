// Installing the csp or ucsp provider through its own Setup.exe.
#pragma once

#include <cstdint>

#include "platform/wstring.h"

// The Setup.exe command line; logPath receives the log path when one is made.
WString BuildProviderCommandLine(const WString& folder, WString extraArguments, bool silent,
                                 bool reinstall, WString& logPath);

// True for the exit codes after which the run goes on: 0, 3, 4 and 1602.
bool ProviderMayGoOn(std::uint32_t exitCode);

// Runs folder\Setup.exe and judges its exit code: 0 to go on, else the code
// (after message 105 unless silent).
std::uint32_t InstallProvider(WString folder, WString extraArguments, bool silent,
                              bool reinstall);
