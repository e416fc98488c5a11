// Reading the new package's codes and version and the installed product's
// version, on the simulated Windows Installer.
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>

#include "bootstrap/message_ids.h"
#include "packages/product_queries.h"
#include "tests/sim/sim_programs.h"
#include "tests/sim/sim_world.h"

namespace {

const WString kUpgradeCode = u"{6A0B1C2D-3E4F-4A5B-8C6D-7E8F9A0B1C2D}";
const WString kNewProduct = u"{11111111-2222-4333-8444-555555555555}";
const WString kOldProduct = u"{AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE}";
const WString kPackage = u"C:\\dist\\plugin\\vexiscom_x64.msi";


class ProductQueriesTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
  void TearDown() override {
    // The database, every view and every record are closed, and closed once.
    EXPECT_TRUE(sim::W().openHandles.empty());
    EXPECT_EQ(sim::CallCount("CloseRawHandle:invalid"), 0);
    // Every view that was executed is closed again before its handle.
    EXPECT_EQ(sim::CallCount("MsiViewClose"), sim::CallCount("MsiViewExecute"));
  }

  static void AddNewPackage(const WString& version, const WString& productCode = kNewProduct) {
    sim::AddPackage(kPackage, {{u"ProductCode", productCode},
                               {u"UpgradeCode", kUpgradeCode},
                               {u"ProductVersion", version}});
  }
  static void InstallOld(const WString& version) {
    sim::InstallPluginProduct(kOldProduct, kUpgradeCode, version);
  }
  static PackageIdentity Identity(const WString& version, std::uint32_t versionResult = 0) {
    PackageIdentity identity;
    identity.productCode = kNewProduct;
    identity.productVersion = version;
    identity.versionResult = versionResult;
    return identity;
  }
};

// Tests that one read-only open of the package's database gives its three
// properties, and that no installer session is started.
TEST_F(ProductQueriesTest, IdentityFromTheDatabase) {
  AddNewPackage(u"2.0.10000");
  PackageIdentity identity;
  EXPECT_EQ(ReadPackageIdentity(kPackage, identity), 0u);
  EXPECT_EQ(identity.productCode, kNewProduct);
  EXPECT_EQ(identity.upgradeCode, kUpgradeCode);
  EXPECT_EQ(identity.productVersion, u"2.0.10000");
  EXPECT_EQ(identity.versionResult, 0u);
  EXPECT_EQ(sim::CallCount("MsiOpenDatabaseW"), 1);
  EXPECT_TRUE(sim::W().boxes.empty());
}

// Tests that a property the table does not hold reads as empty, without
// failing: a package without any of the three still opens.
TEST_F(ProductQueriesTest, MissingPropertiesReadEmpty) {
  sim::AddPackage(kPackage, {{u"ProductName", u"plug-in"}});
  PackageIdentity identity;
  identity.productCode = u"untouched";
  EXPECT_EQ(ReadPackageIdentity(kPackage, identity), 0u);
  EXPECT_EQ(identity.productCode, u"untouched");
  EXPECT_EQ(identity.upgradeCode, u"");
  EXPECT_EQ(identity.productVersion, u"");
  EXPECT_EQ(identity.versionResult, 0u);
}

struct IdentityFailure {
  const char* name;
  bool package;  // a package lies at the path
  std::function<void()> arrange;
  std::uint32_t result;
  std::uint32_t versionResult;
};

// Tests each failing database call: the codes of the open and of the two
// codes' reads are the result; the version read's code is kept for the
// comparison only. Handles are closed on every path (TearDown).
TEST_F(ProductQueriesTest, IdentityFailures) {
  const IdentityFailure rows[] = {
      {"no file", false, [] {}, 110, 0},
      {"not a package", false, [] { sim::AddFile(kPackage); }, 1627, 0},
      {"open refused", true, [] { sim::FailCall("MsiOpenDatabaseW", 1619); }, 1619, 0},
      {"no Property table", true, [] { sim::FailCall("MsiDatabaseOpenViewW", 1615, 1); }, 1615,
       0},
      {"execute fails", true, [] { sim::FailCall("MsiViewExecute", 1627, 2); }, 1627, 0},
      {"fetch fails", true, [] { sim::FailCall("MsiViewFetch", 1627, 1); }, 1627, 0},
      {"size query fails", true, [] { sim::FailCall("MsiRecordGetStringW", 1627, 1); }, 1627, 0},
      {"value read fails", true, [] { sim::FailCall("MsiRecordGetStringW", 6, 4); }, 6, 0},
      {"version view fails", true, [] { sim::FailCall("MsiDatabaseOpenViewW", 1615, 3); }, 0,
       1615},
      {"version read fails", true, [] { sim::FailCall("MsiRecordGetStringW", 1627, 6); }, 0,
       1627},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    sim::Reset();
    if (row.package) AddNewPackage(u"2.0");
    row.arrange();
    PackageIdentity identity;
    EXPECT_EQ(ReadPackageIdentity(kPackage, identity), row.result);
    EXPECT_EQ(identity.versionResult, row.versionResult);
    EXPECT_LE(sim::CallCount("MsiOpenDatabaseW"), 1);
    EXPECT_TRUE(sim::W().boxes.empty());
    EXPECT_TRUE(sim::W().openHandles.empty());
  }
  sim::Reset();
}

struct Comparison {
  const char* packageVersion;
  const char* installedVersion;
  int expected;
};


// Tests that the package's version is compared by value with the installed one.
TEST_F(ProductQueriesTest, ComparesPackageWithInstalled) {
  const Comparison rows[] = {
      {"2.0.10000", "2.0.9999", 1},
      {"2.0.9999", "2.0.10000", -1},
      {"2.0.9999", "2.0.9999", 0},
      {"2.0", "2.0.0", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.packageVersion) + " vs " + row.installedVersion);
    sim::Reset();
    InstallOld(Widen(row.installedVersion));
    int comparison = 42;
    const StepResult compared = CompareWithInstalled(kOldProduct, Identity(Widen(row.packageVersion)), comparison);
    EXPECT_EQ(compared.code, 0u);
    EXPECT_EQ(compared.notice.message, 0);
    EXPECT_EQ(comparison, row.expected);
  }
}

struct CompareFailure {
  const char* name;
  bool installed;
  PackageIdentity package;
  std::uint32_t result;
  std::uint16_t message;
};

// Tests each failure of CompareWithInstalled: its code, its box (an error
// box under caption 129), comparison left alone. The installed version is
// read first; a package without a version of its own cannot be judged
// against it.
TEST_F(ProductQueriesTest, CompareFailures) {
  const CompareFailure rows[] = {
      {"product not installed", false, Identity(u""), 1605, msg::kInstalledVersionUnreadable},
      {"package version unreadable", true, Identity(u"", 1627), 1627, msg::kPackageVersionUnreadable},
      {"package version empty", true, Identity(u""), 1620, msg::kPackageVersionUnreadable},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    sim::Reset();
    if (row.installed) InstallOld(u"1.0");
    int comparison = 42;
    const StepResult compared = CompareWithInstalled(kOldProduct, row.package, comparison);
    EXPECT_EQ(compared.code, row.result);
    EXPECT_EQ(comparison, 42);
    EXPECT_EQ(compared.notice.message, row.message);
    EXPECT_EQ(compared.notice.caption, msg::kErrorCaption);
    EXPECT_EQ(compared.notice.style, platform::kMbIconError);
  }
}

class SizeProtocolTest : public ProductQueriesTest {};

// Tests that a property of any length is read whole in two calls.
TEST_F(SizeProtocolTest, LongPropertyReadWhole) {
  for (const std::size_t length : {1u, 38u, 39u, 255u, 65536u, 200000u}) {
    sim::Reset();
    WString value(length, u'ж');
    value.back() = u'9';
    sim::AddPackage(kPackage, {{u"ProductVersion", value}});
    platform::MsiHandle database;
    ASSERT_EQ(platform::MsiOpenDatabase(kPackage, database), 0u);
    WString read;
    EXPECT_EQ(ReadPackageProperty(database.get(), u"ProductVersion", read), 0u);
    EXPECT_EQ(read, value) << length;
    EXPECT_EQ(sim::CallCount("MsiRecordGetStringW"), 2);
  }
}

// Tests that an installed version of any length is read whole.
TEST_F(SizeProtocolTest, LongInstalledVersionReadWhole) {
  for (const std::size_t length : {1u, 8u, 65536u}) {
    sim::Reset();
    WString version(length, u'7');
    InstallOld(version);
    WString read;
    EXPECT_EQ(ReadInstalledVersion(kOldProduct, read), 0u);
    EXPECT_EQ(read, version) << length;
    EXPECT_EQ(sim::CallCount("MsiGetProductInfoW"), 2);
  }
}

// Tests that a product that is not installed gives 1605 from the size query.
TEST_F(SizeProtocolTest, UnknownProductVersion) {
  WString read = u"kept";
  EXPECT_EQ(ReadInstalledVersion(kOldProduct, read), 1605u);
  EXPECT_EQ(read, u"kept");
  EXPECT_EQ(sim::CallCount("MsiGetProductInfoW"), 1);
}

// Tests that the related product's code is cut at its end and empty when the
// enumeration wrote nothing.
TEST_F(SizeProtocolTest, RelatedProductCode) {
  InstallOld(u"1.0");
  WString code = u"something before";
  EXPECT_EQ(FindRelatedProduct(kUpgradeCode, code), 0u);
  EXPECT_EQ(code, kOldProduct);
  EXPECT_EQ(FindRelatedProduct(u"{00000000-0000-4000-8000-000000000000}", code), 259u);
  EXPECT_EQ(code, u"");
}

}  // namespace
