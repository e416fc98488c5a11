#include "install/plugin_install.h"
// Being written.
std::uint32_t InstallPluginPackage(WString, bool, WString&, bool) { return 1627; }
