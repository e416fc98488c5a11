// The verbose logs the installers are told to write: named and created here,
// in TMP, before the installer starts, and removed again when the installer
// wrote nothing into them. The same rules for msiexec.exe and the providers'
// setups.
#pragma once

#include <cstdint>

#include "bootstrap/messages.h"
#include "platform/platform.h"
#include "platform/wstring.h"

// Writes the current local time to out as 2014-03-07-09-05-31 (19
// characters, "%Y-%m-%d-%H-%M-%S"), and the same text with a line break to
// the process's standard output, when it has one.
void MakeTimeStamp(WString& out);

// "TMP" + "\" + namePart + "_" + stamp + ".log" into out, and 0; or, TMP unset
// or empty, 203 with out unchanged (its callers tell it with message 144).
std::uint32_t MakeLogFilePath(WString namePart, WString& out);

// Whether an installer's arguments choose their own logging: "/l" or "/L"
// anywhere (case-sensitive substrings: /lang, /Log and C:/lib count too).
bool ChoosesOwnLog(const WString& arguments);

// An installer's log: its path, and the file made there as the volume and
// index it has (no handle is kept on it while the installer runs: an
// installer may delete and make its log again, which a handle held here would
// turn into a failure), with its folder held as the volume to find it on.
struct InstallerLog {
  WString path;
  bool made = false;
  platform::FileHandle folder;
  platform::FileInformation file;
};

// The log an installer is told to write, TMP\<namePart>_<stamp>.log
// (MakeLogFilePath), created here first as a new, empty file by the rule of
// every log name in TMP (CreateNewLogFile: _2 … _5, then names nobody can
// guess, when a name is taken). The installer then writes into the
// bootstrapper's own file, never through a name planted in TMP: a shared TMP
// (LocalSystem's is the Windows temporary folder) lets any user plant a
// link where an installer running as the system would write. label names
// the installer in the run log, which records the file. 0 and log made; else
// nothing is made and nothing may be started with a log name: the creation's
// error code (3 for a TMP naming no folder, 5 for one this account cannot
// write, 80 when no name could be had, 206 for a name longer than MAX_PATH
// allows), or, with tempUnreadable set, MakeLogFilePath's (TMP unset, empty
// or unreadable).
std::uint32_t ArrangeInstallerLog(const WString& label, const WString& namePart, InstallerLog& log,
                                  bool& tempUnreadable);

// After the installer (or instead of it, when it never started): the file
// made is opened by its index (OpenFileById), never by name, and when it is
// still empty it is removed through that handle; the run log says
// "installer log: empty, removed". Returns the log's path when the installer
// wrote into it (or replaced the file with its own), else empty: a box names
// only a log that holds something. On a Windows without OpenFileById (XP,
// Server 2003) the log stays and is named, as before.
WString FinishInstallerLog(const WString& label, InstallerLog& log);

// The box for a TMP that cannot be read: message 144 under caption 129.
Notice TempUnreadableNotice();
