// Being written: msi.dll bound by ordinal from the system directory.
#include "platform/platform.h"
#include "platform/win32/msi_binding.h"
void CloseMsiHandle(platform::RawHandle) {}
namespace platform {
std::uint32_t MsiSetInternalUI(std::uint32_t) { return 0; }
std::uint32_t MsiOpenPackageEx(const WString&, std::uint32_t, MsiHandle&) { return 1627; }
std::uint32_t MsiGetProperty(RawHandle, const WString&, char16_t*, std::uint32_t&) { return 1627; }
std::uint32_t MsiGetProductInfo(const WString&, const WString&, char16_t*, std::uint32_t&) { return 1627; }
std::uint32_t MsiEnumRelatedProducts(const WString&, std::uint32_t, char16_t*) { return 1627; }
int MsiQueryProductState(const WString&) { return -1; }
int MsiQueryFeatureState(const WString&, const WString&) { return -1; }
std::uint32_t MsiSourceListClearAll(const WString&) { return 1627; }
std::uint32_t MsiSourceListSetInfo(const WString&, std::uint32_t, std::uint32_t, const WString&, const WString&) { return 1627; }
}  // namespace platform
