// Reading product codes and versions from the new package and from Windows
// Installer's record of the installed product, and comparing versions.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "platform/wstring.h"

// related = true: code receives the first installed product related to the
// package through its "UpgradeCode" (the enumeration's code when none).
// related = false: code receives the package's "ProductCode".
// A package that cannot be found or opened gives that step's code and leaves
// code untouched; a package path longer than 259 characters is not handed to
// Windows Installer and gives 206. Shows no messages.
std::uint32_t ReadPackageIdentity(WString& code, bool related);

// Compares the package's "ProductVersion" with the installed product's
// "VersionString" (CompareVersions): comparison -1 when the package is older,
// 0 the same, +1 newer. The package is "vexiscom*.msi" in a subfolder of the
// current directory. On failure shows its error box unless silent (131 the
// installed version, 139 no package, 133 the open (206 for a package path
// longer than 259 characters), 134 the package version;
// caption 129, error icon) and returns the failing step's code; comparison is
// then not written. The package handle is closed on every path.
std::uint32_t CompareWithInstalled(WString installedProductCode, int& comparison, bool silent);

// Exact ordinal comparison of two texts, code unit by code unit: -1, 0, +1.
int CompareVersionStrings(const WString& left, const WString& right);

// Version order by value: fields split at dots compared as unsigned numbers,
// a missing field counts as 0, a field that is not a plain number compares as
// text once the fields before it are equal, the empty version sorts before
// every other. -1, 0, +1. Every field counts, a fourth one too (Windows
// Installer's upgrade search ignores it), so 2.0.1.5 is newer than 2.0.1.3.
int CompareVersions(const WString& left, const WString& right);

// Two-call read of a package property: a size query with an empty buffer;
// any answer but 234 is returned as it is (0: the property is empty or not
// defined, value untouched); on 234 a second read into length + 1 units,
// value cut at its first zero, the second read's code returned.
std::uint32_t ReadPackageProperty(platform::RawHandle package, const WString& name,
                                  WString& value);

// Two-call read of the installed product's "VersionString": a size query
// with no buffer (0 or 234 both give the length; any other code is returned,
// 1605 for a product that is not installed), then a read into length + 1
// units, version cut at its first zero, the second read's code returned.
std::uint32_t ReadInstalledVersion(const WString& productCode, WString& version);

// The first installed product of an upgrade code (enumeration index 0) into
// productCode, empty when the call wrote nothing; the enumeration's code
// (259 when no related product is installed).
std::uint32_t FindRelatedProduct(const WString& upgradeCode, WString& productCode);
