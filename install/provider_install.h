// Installing the csp or ucsp provider through its own Setup.exe.
#pragma once

#include <cstdint>

#include "bootstrap/messages.h"
#include "install/checked_file.h"
#include "install/installer_busy.h"
#include "install/installer_log.h"
#include "platform/wstring.h"

// The Setup.exe that process creation would start for the relative
// folder\Setup.exe: the one beside the program when it exists there (the
// system looks in the program's own folder first), else the one below the
// current directory (whether it exists or not).
WString ProviderProgramPath(const WString& folder);

// Opens folder's Setup.exe (ProviderProgramPath) and checks it
// (OpenCheckedFile), before anything else is done for it, its log included.
// 0 with setup held. A file the check refuses: its code and message 153
// naming it (no caption). A file that cannot be opened: with the check on,
// its code and the provider's failure box (message 105), as for a path that
// does not fit in MAX_PATH (206) either way; with the check off, 0 and setup
// not held: it is then started by its relative name, as it always was, so
// that a missing Setup.exe gives process creation's own code (2, 3).
StepResult OpenProviderSetup(const PublisherCheck& check, const WString& folder, CheckedFile& setup);

// The Setup.exe command line for folder ("csp" or "ucsp"), into commandLine:
//   folder\Setup.exe -args "<switches><extra>" -noreboot [-silent] [-reinstall]
// where <switches> is "/qb " unless the text (with any added log switch)
// holds "/q", preceded by the log switch /Lv! """<log path>""" unless the
// extra text chooses its own log (ChoosesOwnLog). The extra text is inserted
// unchanged. log receives the file that ArrangeInstallerLog made. Without
// TMP nothing is made, the switch carries nothing between its quotes and the
// result asks for message 144 under caption 129 (the run goes on). A log
// that cannot be created otherwise (a missing folder, names taken) returns
// the creation's code with the provider's failure box: nothing may be
// started with a name the bootstrapper did not create.
StepResult BuildProviderCommandLine(const WString& folder, WString extraArguments, bool silent,
                                    bool reinstall, InstallerLog& log, WString& commandLine);

// True for the exit codes after which the run goes on: 0, 3, 4, 1602 (a
// cancel in the provider's setup does not stop the run), and 3010 and 3011:
// the provider installed and asks for a restart, which sets restartNeeded.
// 1641 (the provider has already started a restart) stops the run like any
// other code: installing more while Windows shuts down is unsafe.
bool ProviderMayGoOn(std::uint32_t exitCode, bool& restartNeeded);

// Runs commandLine, folder's Setup.exe (the held one from its runPath,
// RunCheckedProgram; one not held by its relative name) once Windows
// Installer is free (RunWhenInstallerFree), waits for it without a time
// limit and judges its exit code; then the log is finished
// (FinishInstallerLog: an empty one is removed). Returns 0 when the run may
// go on, after creating the pending-restart marker when the provider asked
// for a restart; 1602 without a box when the administrator cancelled the
// wait; else the exit code (or the start failure code, 1618 when the wait
// ran out) with the failure box: message 105, the code and the log when the
// setup wrote one, no caption; or, for a process that did not run the file
// checked, message 153 with its path and 1006. A setup that cannot be
// started stops the run whatever the code: process creation reports a
// missing provider folder as 3, a go-on code as an exit code.
StepResult StartProvider(const WString& folder, const WString& commandLine, const CheckedFile& setup,
                         InstallerLog& log, const InstallerWait& wait);
