#include "packages/product_queries.h"
// Being written.
std::uint32_t ReadPackageIdentity(WString&, bool) { return 1627; }
std::uint32_t CompareWithInstalled(WString, int&, bool) { return 1627; }
int CompareVersionStrings(const WString& l, const WString& r) { return l < r ? -1 : (r < l ? 1 : 0); }
int CompareVersions(const WString& l, const WString& r) { return CompareVersionStrings(l, r); }
std::uint32_t ReadPackageProperty(platform::RawHandle, const WString&, WString&) { return 1627; }
std::uint32_t ReadInstalledVersion(const WString&, WString&) { return 1627; }
std::uint32_t FindRelatedProduct(const WString&, WString&) { return 1627; }
