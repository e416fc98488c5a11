// The run on top: the single pass from the command line to the exit code, the
// run log's start and end, and every box the administrator sees (the rooms
// below decide and return what to tell). Nothing reaches it.
#pragma once

#include <cstdint>

#include "bootstrap/messages.h"
#include "install/checked_file.h"
#include "install/installer_busy.h"
#include "platform/wstring.h"

// tailEmpty: the command-line tail after the program's name is empty; the
// options are then not parsed at all. Returns the process exit code.
int RunBootstrap(bool tailEmpty);

// The one way a box is shown: the notice's message built into `text` (the
// flow's one text buffer, or one of its own; a message that cannot be loaded
// leaves it as it was) with its insert, MessageBoxW with no owner window
// under the caption's message, "box <message>: <answer>" in the run log.
// Returns the answer (0 when the box could not be shown).
int ShowBox(const Notice& notice, WString& text);

// ShowBox with a text of its own, unless silent (and the notice not one shown
// regardless); nothing when the notice asks for no box.
void ShowNotice(const Notice& notice, bool silent);

// The help under the fixed caption "Справка", whatever -silent says; the
// help writes no run log.
void ShowHelp(const WString& text);

// The steps that may show a box: each shows what the room below returns
// (unless silent) and passes an answer back down where one is needed. Each
// installer start waits for Windows Installer as `wait` says; a wait the
// administrator cancelled gives 1602 without a box.
// refused is set when the step's file was refused by the publisher check
// (its one box is 153): it was never started.
// The csp or ucsp provider: its Setup.exe opened and checked first, then its
// log made (the box for an unreadable TMP: the run goes on), then started.
// 0 when the run may go on, else the code after the failure box (105, or 153
// for a file that is not the one its publisher signed).
std::uint32_t InstallProvider(WString folder, WString extraArguments, bool silent, bool reinstall,
                              const PublisherCheck& publisher, const InstallerWait& wait,
                              bool& refused);

// The plug-in: planned, the reinstall question (147) or the notice that a
// newer version is installed (150) shown, then decided with the answer and
// installed. 0 also when nothing had to be done, 1602 when the
// reinstallation was declined, else the failing code after its box (151,
// 131, 134, 144, 152, 153; the run's own failure box, 106, is the caller's).
// logPath receives the installer's log as soon as it is made, and is empty
// again when the installer wrote nothing into it.
std::uint32_t InstallPluginPackage(WString extraArguments, bool silent, WString& logPath,
                                   bool reinstall, const PublisherCheck& publisher,
                                   const InstallerWait& wait, bool& refused);
