#include "install/provider_install.h"
// Being written.
WString BuildProviderCommandLine(const WString&, WString, bool, bool, WString&) { return WString(); }
bool ProviderMayGoOn(std::uint32_t c) { return c == 0; }
std::uint32_t InstallProvider(WString, WString, bool, bool) { return 1627; }
