// Child processes and log files shared by the installation steps.
#pragma once

#include <cstdint>

#include "bootstrap/messages.h"
#include "platform/wstring.h"

// GetLastError after a call that reported failure, or
// winerror::kFunctionFailed (1627) when it gave no code.
std::uint32_t LastFailure();

// Runs commandLine (CREATE_NO_WINDOW, no inheritance, the caller's
// environment and directory) and waits for its end without a time limit; the
// child's process and thread handles are closed before returning. Returns the
// child's exit code, or the system error code when it cannot be started, or
// when the wait or the exit-code query fails (the outcome is then unknown,
// never success). Never 0 unless the child exited with 0. Shows nothing.
// exited, when given, tells whether the result is the child's own exit code:
// a start or wait failure and an exit code share one range (2 is a missing
// file or a child's 2), so only an exit code may be judged as one.
// applicationName, when not empty, is the program's path, so that the file
// started is that file, not one found by a search; the command line is the
// same either way.
std::uint32_t RunChildProcess(const WString& commandLine, bool* exited = nullptr,
                              const WString& applicationName = WString());

// RunChildProcess with two lines in the run log, named by label ("csp",
// "plug-in"): "<label>: started <command line>" before, and after it
// "<label>: ended after <ms> ms with exit code <code>", or, when the child
// gave no exit code of its own, the error code instead. Same result and
// exited as RunChildProcess.
std::uint32_t RunLoggedChildProcess(const WString& label, const WString& commandLine,
                                    bool* exited = nullptr,
                                    const WString& applicationName = WString());

// Writes the current local time to out as 2014-03-07-09-05-31 (19
// characters, "%Y-%m-%d-%H-%M-%S"), and the same text with a line break to
// the process's standard output, when it has one.
void MakeTimeStamp(WString& out);

// Builds "TMP" + "\" + namePart + "_" + stamp + ".log" into out and returns
// 0. On failure (TMP unset or empty) returns the error code (203 for an unset
// or empty TMP; its callers tell the administrator with message 144) and
// leaves out unchanged.
std::uint32_t MakeLogFilePath(WString namePart, WString& out);

// Whether an installer's argument text chooses its own logging: it holds
// "/l" or "/L" anywhere (plain, case-sensitive substring tests, so /lang or
// /Log count too). No log is then arranged here.
bool ChoosesOwnLog(const WString& arguments);

// The verbose log an installer is told to write, TMP\<namePart>_<stamp>.log
// (MakeLogFilePath), created here first as a new, empty file by the rule of
// every log name in TMP (CreateNewLogFile: _2 … _5 when a name is taken).
// The installer then writes into the bootstrapper's own file, never through a
// name planted in TMP: a shared TMP (LocalSystem's is the Windows temporary
// folder) lets any user plant a link where an installer running as the
// system would write. The file is closed before the installer starts. label
// names the installer in the run log, which records the file handed over.
// Returns 0 with logPath set to the file created; 0 with logPath set to the
// name as built when no file can be made there for another reason than a
// taken name (a missing folder, one this account cannot write): the
// installer then fails with its own code; 80 (ERROR_FILE_EXISTS) when all
// five names are taken, with logPath unchanged: nothing may be started with
// any of them; or MakeLogFilePath's code (TMP unreadable), with logPath
// unchanged.
std::uint32_t ArrangeInstallerLog(const WString& label, const WString& namePart, WString& logPath);

// The box for a TMP that cannot be read: message 144 under caption 129.
Notice TempUnreadableNotice();
