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
// unchanged. logPath receives the log file that ArrangeInstallerLog made;
// without TMP it stays empty, the switch carries nothing between its quotes
// and the result asks for message 144 under caption 129 (the run goes on).
// Returns 0; or 80 when every name of the log is taken, with the provider's
// failure box: the provider must not be started.
StepResult BuildProviderCommandLine(const WString& folder, WString extraArguments, bool silent,
                                    bool reinstall, WString& logPath, WString& commandLine);

// True for the exit codes after which the run goes on: 0, 3, 4, 1602 (a
// cancel in the provider's setup does not stop the run), and 3010 and 3011:
// the provider installed and asks for a restart, which sets restartNeeded.
// 1641 (the provider has already started a restart) stops the run like any
// other code: installing more while Windows shuts down is unsafe.
bool ProviderMayGoOn(std::uint32_t exitCode, bool& restartNeeded);

// The Setup.exe that process creation would start for the relative
// folder\Setup.exe: the one beside the program when it exists there (the
// system looks in the program's own folder first), else the one below the
// current directory (whether it exists or not).
WString ProviderProgramPath(const WString& folder);

// Runs commandLine, folder's Setup.exe (ProviderProgramPath, checked by
// OpenStartedFile and started by that path while it is held), waits for it
// without a time limit and judges its exit code. Returns 0 when the run may
// go on, after creating the pending-restart marker when the provider asked
// for a restart; else the exit code (or the start failure code) with the
// failure box (message 105 and the log, no caption), or for a file the check
// refuses, not started, message 153 with its path and the code. A setup
// that cannot be started stops the run whatever the code: process creation
// reports a missing provider folder as 3, a go-on code as an exit code.
StepResult StartProvider(const WString& folder, const WString& commandLine, const WString& logPath,
                         const PublisherCheck& publisher);
