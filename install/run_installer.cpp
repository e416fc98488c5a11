#include "install/run_installer.h"
// Being written.
std::uint32_t RunInstaller(WString, WString, WString, bool, WString&) { return 1627; }
std::uint32_t TranslateInstallerExitCode(std::uint32_t c, bool& r) { r = false; return c; }
void DeleteSourceHashFile(WString) {}
