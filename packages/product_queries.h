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

// Opens the package's database read-only, once, and reads "ProductCode",
// "UpgradeCode" and "ProductVersion" from its Property table; no installer
// session is started. A property the table does not hold reads as empty.
// Returns 0, or the code of the first failing database call of the open or
// of the two codes (identity is then not to be relied on); the version's
// code goes to identity.versionResult. The database, its views and records
// are closed on every path. Shows no messages.
std::uint32_t ReadPackageIdentity(const WString& packagePath, PackageIdentity& identity);

// Compares the package's "ProductVersion" with the installed product's
// "VersionString" (CompareVersions): comparison -1 when the package is older,
// 0 the same, +1 newer. On failure returns the failing step's code with its
// error box (131 the installed version unreadable; 134 the package's version
// unreadable, with that read's code, or empty, with 1620: a package without a
// version cannot be judged against an installed one; caption 129, error
// icon); comparison is then not written.
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

// Reads one row of the open database's Property table through a view
// (SELECT `Value` FROM `Property` WHERE `Property` = 'name'): executed,
// fetched, its string read in two calls (a size query with an empty buffer,
// then length + 1 units, value cut at its first zero), the view closed. 0
// and the value; 0 with value untouched when the table holds no such row;
// else the failing call's code. Every handle is closed on every path.
std::uint32_t ReadPackageProperty(platform::RawHandle database, const WString& name,
                                  WString& value);

// Two-call read of the installed product's "VersionString": a size query
// with no buffer (0 or 234 both give the length; any other code is returned,
// 1605 for a product that is not installed), then a read into length + 1
// units. 0 and the version, cut at its first zero; else the failing call's
// code, with version untouched.
std::uint32_t ReadInstalledVersion(const WString& productCode, WString& version);

// The first installed product of an upgrade code (enumeration index 0) into
// productCode, empty when the call wrote nothing; the enumeration's code
// (259 when no related product is installed).
std::uint32_t FindRelatedProduct(const WString& upgradeCode, WString& productCode);
