#include "packages/package_location.h"
// Being written.
std::uint32_t FindPackageFile(WString, WString&) { return 232; }
WString SelectArchitecturePattern() { return u"*win32*"; }
std::uint32_t ReadCurrentDirectory(WString&) { return 1; }
void ResetArchitectureCacheForTesting() {}
