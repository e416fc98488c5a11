// Reading product codes and versions from the new package and from Windows
// Installer's record of the installed product, and comparing versions.
#pragma once

#include <cstdint>

#include "bootstrap/messages.h"
#include "platform/platform.h"
#include "platform/wstring.h"

// What the plug-in decision knows of the one package file it installs.
struct PackageIdentity {
  WString productCode;
  WString upgradeCode;
  WString productVersion;
  // The "ProductVersion" read's own code: the version is judged only when an
  // installed product is compared, so a first installation never fails on it.
  std::uint32_t versionResult = 0;
};

// Opens the package's database read-only, once (no installer session), and
// reads "ProductCode", "UpgradeCode" and "ProductVersion" from its Property
// table; a property it lacks reads as empty. 0, or the first failing call's
// code for the open or the two codes; the version's goes to versionResult.
std::uint32_t ReadPackageIdentity(const WString& packagePath, PackageIdentity& identity);

// The package's "ProductVersion" against the installed "VersionString"
// (CompareVersions): comparison -1 older, 0 the same, +1 newer. On failure,
// comparison unwritten, the code with its box under caption 129: 131 for the
// installed version; 134 for the package's, with its read's code or, when
// empty, 1620 (without a version it cannot be judged).
StepResult CompareWithInstalled(const WString& installedProductCode,
                                const PackageIdentity& package, int& comparison);

// Exact ordinal comparison of two texts (product codes, digit runs), code
// unit by code unit, a proper prefix first: -1, 0, +1. Not a version order:
// that is CompareVersions.
int CompareExactly(const WString& left, const WString& right);

// Version order by value: fields split at dots compared as unsigned numbers,
// a missing field counts as 0, a field that is not a plain number compares as
// text once the fields before it are equal, the empty version sorts before
// every other. -1, 0, +1. Every field counts, a fourth one too (Windows
// Installer's upgrade search ignores it), so 2.0.1.5 is newer than 2.0.1.3.
int CompareVersions(const WString& left, const WString& right);

// One row of the Property table through a view (SELECT `Value` FROM
// `Property` WHERE `Property` = 'name'), its string read in two calls. 0 and
// the value; 0 with value untouched when there is no such row; else the
// failing call's code. Every handle is closed on every path.
std::uint32_t ReadPackageProperty(platform::RawHandle database, const WString& name,
                                  WString& value);

// The installed product's "VersionString" in two calls (a size query with no
// buffer, then length + 1 units). 0 and the version; else the failing call's
// code (1605 for a product not installed), version untouched.
std::uint32_t ReadInstalledVersion(const WString& productCode, WString& version);

// The first installed product of an upgrade code (enumeration index 0) into
// productCode, empty when the call wrote nothing; the enumeration's code
// (259 when no related product is installed).
std::uint32_t FindRelatedProduct(const WString& upgradeCode, WString& productCode);
