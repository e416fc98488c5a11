// Installing the csp or ucsp provider through its own Setup.exe.
#pragma once

#include <cstdint>

#include "bootstrap/messages.h"
#include "install/signatures.h"
#include "platform/wstring.h"

// The Setup.exe command line for folder ("csp" or "ucsp"), into commandLine:
//   folder\Setup.exe -args "<switches><extra>" -noreboot [-silent] [-reinstall]
// where <switches> is "/qb " unless the text (with any added log switch)
// holds "/q", preceded by the log switch /Lv! """<log path>""" unless the
// extra text chooses its own log (ChoosesOwnLog). The extra text is inserted
// unchanged. logPath is cleared, then receives the log file that
// ArrangeInstallerLog made (under the next name when one is taken); without
// TMP it stays empty and the switch carries nothing between its quotes, and
// the result asks for message 144 under caption 129: the run goes on.
// Returns 0; or 80 (ERROR_FILE_EXISTS) when every name of the log is taken,
// with the provider's failure box for that code and commandLine untouched:
// the provider must not be started.
StepResult BuildProviderCommandLine(const WString& folder, WString extraArguments, bool silent,
                                    bool reinstall, WString& logPath, WString& commandLine);

// True for the exit codes after which the run goes on: 0, 3, 4, 1602 (a
// cancel in the provider's setup does not stop the run), and 3010 and 3011:
// the provider installed and asks for a restart, which sets restartNeeded.
// 1641 (the provider has already started a restart) stops the run like any
// other code: installing more while Windows shuts down is unsafe.
bool ProviderMayGoOn(std::uint32_t exitCode, bool& restartNeeded);

// The provider failure box: message 105 (left out when it cannot be
// loaded), ": <code>", ".\n", then "Install log: " and logPath when logPath
// is not empty and something exists there; no caption, MB_ICONERROR.
Notice ProviderFailureNotice(std::uint32_t code, const WString& logPath);

// The Setup.exe that process creation would start for the relative
// folder\Setup.exe: the one beside the program when it exists there (the
// system looks in the program's own folder first), else the one below the
// current directory (whether it exists or not).
WString ProviderProgramPath(const WString& folder);

// Runs commandLine, folder's Setup.exe (ProviderProgramPath: opened,
// checked against the bootstrapper's publisher by OpenStartedFile and
// started by that path while it is held; with the check off and the file
// not opened, the relative path is left to process creation), waits for it
// without a time limit and judges its exit code. Returns 0 when the run may
// go on, after creating the pending-restart marker when the provider asked
// for a restart; else the exit code (or the start failure code) unchanged,
// with the failure box (ProviderFailureNotice with logPath), or for a file
// the check refuses, which is not started, message 153 with its path and
// the code (no caption). A Setup.exe that cannot be started stops the run
// whatever the code: process creation reports a missing provider folder as
// 3, which as an exit code would let the run go on.
StepResult StartProvider(const WString& folder, const WString& commandLine, const WString& logPath,
                         const PublisherCheck& publisher);
