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
// code untouched. Shows no messages.
std::uint32_t ReadPackageIdentity(WString& code, bool related);

// Compares the package's "ProductVersion" with the installed product's
// "VersionString" (CompareVersions): comparison -1 when the package is older,
// 0 the same, +1 newer. On failure shows its error box unless silent and
// returns the failing step's code; comparison is then not written.
std::uint32_t CompareWithInstalled(WString installedProductCode, int& comparison, bool silent);

// Exact ordinal comparison of two texts, code unit by code unit: -1, 0, +1.
int CompareVersionStrings(const WString& left, const WString& right);

// Version order as Windows Installer and mainstream installers use it: fields
// split at dots compared as unsigned numbers, a missing field counts as 0, a
// field that is not a plain number compares as text once the fields before it
// are equal, the empty version sorts before every other. -1, 0, +1.
int CompareVersions(const WString& left, const WString& right);

// Two-call read of a package property (234, then a buffer of length + 1).
std::uint32_t ReadPackageProperty(platform::RawHandle package, const WString& name,
                                  WString& value);

// Two-call read of the installed product's "VersionString".
std::uint32_t ReadInstalledVersion(const WString& productCode, WString& version);

// The first installed product of an upgrade code.
std::uint32_t FindRelatedProduct(const WString& upgradeCode, WString& productCode);
