#include "packages/product_queries.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "bootstrap/message_ids.h"
#include "bootstrap/run_log.h"
#include "platform/result_codes.h"

namespace {

constexpr std::size_t kProductCodeBuffer = 39;  // a braced GUID and its terminator

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool IsNumber(const WString& field) {
  if (field.empty()) return false;
  for (const char16_t c : field)
    if (!IsDigit(c)) return false;
  return true;
}

// Compares two runs of decimal digits by value without converting them, so
// that no field is too long or too large to compare.
int CompareDigitRuns(const WString& left, const WString& right) {
  const std::size_t l = left.find_first_not_of(u'0');
  const std::size_t r = right.find_first_not_of(u'0');
  const WString a = l == WString::npos ? WString() : left.substr(l);
  const WString b = r == WString::npos ? WString() : right.substr(r);
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return CompareExactly(a, b);
}

// The fields of a dotted version, as they stand.
std::vector<WString> SplitFields(const WString& version) {
  std::vector<WString> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = version.find(u'.', start);
    fields.push_back(version.substr(start, dot == WString::npos ? WString::npos : dot - start));
    if (dot == WString::npos) return fields;
    start = dot + 1;
  }
}

// The two-call read of a text that Windows Installer copies into a buffer:
// read(nullptr, length) with a length of 0 asks for the size (0 or 234 both
// give it; any other code is returned), then read(buffer, length) with
// length + 1 units. 0 and the value, cut at its first zero; else the failing
// call's code, with value untouched.
template <typename Read>
std::uint32_t ReadInTwoCalls(Read read, WString& value) {
  std::uint32_t length = 0;
  const std::uint32_t sized = read(nullptr, length);
  if (sized != 0 && sized != winerror::kMoreData) return sized;
  WString buffer(static_cast<std::size_t>(length) + 1, char16_t(0));
  std::uint32_t capacity = length + 1;
  const std::uint32_t result = read(&buffer[0], capacity);
  if (result != 0) return result;
  CutAtFirstZero(buffer);
  value = buffer;
  return 0;
}

// A record's field: its size query takes an empty buffer, not a null one.
std::uint32_t ReadRecordString(platform::RawHandle record, std::uint32_t field, WString& value) {
  return ReadInTwoCalls(
      [&](char16_t* buffer, std::uint32_t& length) {
        char16_t empty[1] = {0};
        return platform::MsiRecordGetString(record, field, buffer ? buffer : empty, length);
      },
      value);
}

}  // namespace

int CompareExactly(const WString& left, const WString& right) {
  // Walks both texts with their terminating zero, so a proper prefix sorts
  // first and the units compare as unsigned 16-bit numbers.
  for (std::size_t i = 0;; ++i) {
    const char16_t l = i < left.size() ? left[i] : char16_t(0);
    const char16_t r = i < right.size() ? right[i] : char16_t(0);
    if (l != r) return l < r ? -1 : 1;
    if (l == 0) return 0;
  }
}

int CompareVersions(const WString& left, const WString& right) {
  if (left.empty() || right.empty()) {
    if (left.empty() && right.empty()) return 0;
    return left.empty() ? -1 : 1;
  }
  const std::vector<WString> l = SplitFields(left);
  const std::vector<WString> r = SplitFields(right);
  // A field one version lacks counts as 0: 2.0 and 2.0.0 are the same.
  const WString zero = u"0";
  for (std::size_t i = 0; i < std::max(l.size(), r.size()); ++i) {
    const WString& a = i < l.size() ? l[i] : zero;
    const WString& b = i < r.size() ? r[i] : zero;
    const int order = IsNumber(a) && IsNumber(b) ? CompareDigitRuns(a, b)
                                                 : CompareExactly(a, b);
    if (order != 0) return order;
  }
  return 0;
}

std::uint32_t ReadPackageProperty(platform::RawHandle database, const WString& name,
                                  WString& value) {
  platform::MsiHandle view;
  // The name goes into the query as it is: it is one of the system's own
  // constants ("ProductCode", ...), never text from outside.
  std::uint32_t result = platform::MsiDatabaseOpenView(
      database, u"SELECT `Value` FROM `Property` WHERE `Property` = '" + name + u"'", view);
  if (result != 0) return result;
  result = platform::MsiViewExecute(view.get());
  if (result != 0) return result;
  {
    platform::MsiHandle record;
    result = platform::MsiViewFetch(view.get(), record);
    // No row: the package does not define the property, which reads as empty.
    if (result == winerror::kNoMoreItems)
      result = 0;
    else if (result == 0)
      result = ReadRecordString(record.get(), 1, value);
  }
  platform::MsiViewClose(view.get());
  return result;
}

std::uint32_t ReadInstalledVersion(const WString& productCode, WString& version) {
  return ReadInTwoCalls(
      [&](char16_t* buffer, std::uint32_t& length) {
        return platform::MsiGetProductInfo(productCode, u"VersionString", buffer, length);
      },
      version);
}

std::uint32_t FindRelatedProduct(const WString& upgradeCode, WString& productCode) {
  WString buffer(kProductCodeBuffer, char16_t(0));
  // Only the first related product is ever asked for.
  const std::uint32_t result = platform::MsiEnumRelatedProducts(upgradeCode, 0, &buffer[0]);
  CutAtFirstZero(buffer);
  productCode = buffer;
  return result;
}

std::uint32_t ReadPackageIdentity(const WString& packagePath, PackageIdentity& identity) {
  platform::MsiHandle database;
  std::uint32_t result = platform::MsiOpenDatabase(packagePath, database);
  if (result != 0) return result;
  result = ReadPackageProperty(database.get(), u"ProductCode", identity.productCode);
  if (result != 0) return result;
  result = ReadPackageProperty(database.get(), u"UpgradeCode", identity.upgradeCode);
  if (result != 0) return result;
  identity.versionResult =
      ReadPackageProperty(database.get(), u"ProductVersion", identity.productVersion);
  return 0;
}

StepResult CompareWithInstalled(const WString& installedProductCode,
                                const PackageIdentity& package, int& comparison) {
  StepResult failed;
  WString installedVersion;
  failed.code = ReadInstalledVersion(installedProductCode, installedVersion);
  if (failed.code != 0) {
    LogValue(u"installed version: unreadable, error", failed.code);
    failed.notice = NoticeOf(msg::kInstalledVersionUnreadable, msg::kErrorCaption);
    return failed;
  }
  LogValue(u"installed version", installedVersion);
  // Without its version the package cannot be told from the installed
  // product: neither a refusal nor an upgrade may be decided on nothing.
  if (package.versionResult != 0 || package.productVersion.empty()) {
    LogLine(u"package version: none to compare with the installed one");
    failed.code = winerror::NonZeroCode(package.versionResult, winerror::kInstallPackageInvalid);
    failed.notice = NoticeOf(msg::kPackageVersionUnreadable, msg::kErrorCaption);
    return failed;
  }
  // By value, field by field: 2.0.10000 is newer than 2.0.9999 although it
  // sorts before it as text.
  comparison = CompareVersions(package.productVersion, installedVersion);
  LogLine({u"package version ", package.productVersion,
           comparison == 0 ? u" is the installed version"
                           : comparison > 0 ? u" is newer than the installed one"
                                            : u" is older than the installed one"});
  return StepResult();
}
