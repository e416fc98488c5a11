// The run's message boxes: every box the administrator sees is shown here,
// through ShowBox, and logged with its answer. Nothing below setup/ shows one:
// the steps return what to tell (a Notice) and the run shows it.
#pragma once

#include "bootstrap/messages.h"
#include "platform/wstring.h"

// The text of `notice`: its message loaded into text (a message that cannot
// be loaded leaves text as it was), then its insert: ": <code>.\n" and
// "Install log: <path>" when something is at path; or the path and the code
// ("0x800B0100") in place of %1 and %2.
void BuildNoticeText(const Notice& notice, WString& text);

// The one way a box is shown: its text built into `text` (the flow's one
// text buffer, or one of the box's own), MessageBoxW with no owner window
// under the caption's message, and "box <message>: <answer>" in the run log.
// Returns the answer (0 when the box could not be shown).
int ShowBox(const Notice& notice, WString& text);

// A box whose answer does not matter (an error, a notice) with a text of its
// own: shown unless the run is silent and the notice is not one shown
// regardless; nothing when the notice asks for no box.
void ShowNotice(const Notice& notice, bool silent);

// The help: its text under the fixed caption "Справка" with the information
// icon, whatever -silent says (it is what was asked for). Not logged: the
// help writes no run log.
void ShowHelp(const WString& text);
