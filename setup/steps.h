// The steps of the run that may show a box, as the administrator sees them:
// each calls the room below, which decides and returns what to tell, and
// shows it here (unless silent), passing an answer back down where the
// decision needs one.
#pragma once

#include <cstdint>

#include "install/signatures.h"
#include "platform/wstring.h"

// The Windows-version gate: 0 when accepted; else the refusal's result, after
// its box (caption 104, MB_ICONERROR) unless silent; the box of a version
// below 5 is shown also when silent.
int CheckWindowsVersion(bool silent);

// Installs the csp or ucsp provider through its Setup.exe: the message 144
// box first when TMP cannot be read (the run goes on), then the provider.
// 0 when the run may go on; else the code, after the failure box (105 with
// the code and the log, or 153 for a file its publisher did not sign; no
// caption) unless silent.
std::uint32_t InstallProvider(WString folder, WString extraArguments, bool silent,
                              bool reinstall, const PublisherCheck& publisher = PublisherCheck());

// Installs the plug-in package: the package and the installed product are
// looked at, the reinstall question (147) asked or the notice that a newer
// version is installed (150) shown unless silent, and the decision made with
// the answer. Returns the installation's result: 0 also when nothing had to
// be done, 1602 when the reinstallation was declined, else the failing
// code, after its box unless silent (151, 131, 134, 144, 152, 153; the
// run's own failure box with the code, 106, is the caller's). logPath
// receives the installer's log as soon as it is made.
std::uint32_t InstallPluginPackage(WString extraArguments, bool silent, WString& logPath,
                                   bool reinstall,
                                   const PublisherCheck& publisher = PublisherCheck());
