// Reading the new package's codes and version and the installed product's
// version, on the simulated Windows Installer.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "packages/product_queries.h"
#include "tests/sim/sim_world.h"

namespace {

const WString kUpgradeCode = u"{6A0B1C2D-3E4F-4A5B-8C6D-7E8F9A0B1C2D}";
const WString kNewProduct = u"{11111111-2222-4333-8444-555555555555}";
const WString kOldProduct = u"{AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE}";
const WString kX64Package = u"C:\\dist\\plugin\\vexiscom_x64.msi";
const WString kWin32Package = u"C:\\dist\\plugin\\vexiscom_win32.msi";

const WString kCaption = u"Ошибка";
const WString kInstalledUnreadable = u"Невозможно узнать версию установленного msi-пакета.";
const WString kNotFound = u"Невозможно найти msi-пакет.";
const WString kNotOpened = u"Невозможно открыть новый msi-пакет.";
const WString kNewUnreadable = u"Невозможно узнать версию нового msi-пакета.";

class ProductQueriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
  }
  void TearDown() override {
    // Every package handle and every search is closed, and closed once.
    EXPECT_TRUE(sim::W().openHandles.empty());
    EXPECT_EQ(sim::CallCount("CloseRawHandle:invalid"), 0);
  }

  static void AddNewPackage(const WString& path, const WString& version,
                            const WString& productCode = kNewProduct) {
    sim::AddPackage(path, {{u"ProductCode", productCode},
                           {u"UpgradeCode", kUpgradeCode},
                           {u"ProductVersion", version}});
  }
  static void InstallOld(const WString& version) {
    sim::Product product;
    product.upgradeCode = kUpgradeCode;
    product.version = version;
    product.features[u"NPVEXIS"] = 3;
    sim::InstallProduct(kOldProduct, product);
  }
};

// Tests that the related product's code comes from the package's upgrade code.
TEST_F(ProductQueriesTest, RelatedProductOfThePackage) {
  AddNewPackage(kX64Package, u"2.0.1");
  InstallOld(u"2.0.0");
  WString code;
  EXPECT_EQ(ReadPackageIdentity(code, true), 0u);
  EXPECT_EQ(code, kOldProduct);
  EXPECT_EQ(sim::CallCount("MsiCloseHandle"), 1);
  EXPECT_TRUE(sim::W().boxes.empty());
}

// Tests that the package's own product code is read when not asking for the
// related product.
TEST_F(ProductQueriesTest, OwnProductCode) {
  AddNewPackage(kX64Package, u"2.0.1");
  InstallOld(u"2.0.0");
  WString code;
  EXPECT_EQ(ReadPackageIdentity(code, false), 0u);
  EXPECT_EQ(code, kNewProduct);
  EXPECT_EQ(sim::CallCount("MsiCloseHandle"), 1);
}

// Tests that the architecture's package is opened even when the other one
// comes first in the folder.
TEST_F(ProductQueriesTest, ArchitecturePackagePreferred) {
  const WString win32Product = u"{22222222-2222-4222-8222-222222222222}";
  AddNewPackage(kWin32Package, u"2.0.1", win32Product);
  AddNewPackage(kX64Package, u"2.0.1");
  WString code;
  EXPECT_EQ(ReadPackageIdentity(code, false), 0u);
  EXPECT_EQ(code, kNewProduct);

  sim::W().wow64 = false;
  code.clear();
  EXPECT_EQ(ReadPackageIdentity(code, false), 0u);
  EXPECT_EQ(code, win32Product);
}

// Tests that without a package of the architecture any package is taken.
TEST_F(ProductQueriesTest, AnyPackageWhenArchitectureMissing) {
  const WString other = u"{33333333-3333-4333-8333-333333333333}";
  sim::AddPackage(u"C:\\dist\\tools\\helper.msi", {{u"ProductCode", other}});
  WString code;
  EXPECT_EQ(ReadPackageIdentity(code, false), 0u);
  EXPECT_EQ(code, other);
  EXPECT_EQ(sim::CallCount("FindFirstFileW"), 4);  // two searches of two levels
}

struct IdentityFailure {
  const char* name;
  bool related;
  std::function<void()> arrange;
  std::uint32_t result;
  bool codeUntouched;  // else emptied
};

// Tests each failure of ReadPackageIdentity: its code, what happens to code,
// no box, handles closed.
TEST_F(ProductQueriesTest, IdentityFailures) {
  const IdentityFailure rows[] = {
      {"no package", true, [] {}, 232, true},
      {"no package", false, [] {}, 232, true},
      {"listing fails", false, [] { sim::FailCall("FindFirstFileW", 5); }, 232, true},
      {"not a package", true, [] { sim::AddFile(kX64Package); }, 1620, true},
      {"open fails", false,
       [] {
         AddNewPackage(kX64Package, u"1");
         sim::FailCall("MsiOpenPackageExW", 1619);
       },
       1619, true},
      {"no related product", true, [] { AddNewPackage(kX64Package, u"1"); }, 259, false},
      {"no upgrade code", true,
       [] {
         sim::AddPackage(kX64Package, {{u"ProductCode", kNewProduct}});
         InstallOld(u"1");
       },
       87, false},
      {"upgrade code unreadable", true,
       [] {
         AddNewPackage(kX64Package, u"1");
         InstallOld(u"1");
         sim::FailCall("MsiGetPropertyW", 6, 1);
       },
       87, false},
      {"enumeration fails", true,
       [] {
         AddNewPackage(kX64Package, u"1");
         InstallOld(u"1");
         sim::FailCall("MsiEnumRelatedProductsW", 1610);
       },
       1610, false},
      {"product code unreadable", false,
       [] {
         AddNewPackage(kX64Package, u"1");
         sim::FailCall("MsiGetPropertyW", 1615);
       },
       1615, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    sim::Reset();
    row.arrange();
    WString code = u"untouched";
    EXPECT_EQ(ReadPackageIdentity(code, row.related), row.result);
    EXPECT_EQ(code, row.codeUntouched ? WString(u"untouched") : WString());
    EXPECT_TRUE(sim::W().boxes.empty());
    EXPECT_TRUE(sim::W().openHandles.empty());
    EXPECT_LE(sim::CallCount("MsiCloseHandle"), 1);
  }
}

// Tests that an empty or undefined product code is no failure.
TEST_F(ProductQueriesTest, UndefinedProductCodeIsEmpty) {
  sim::AddPackage(kX64Package, {{u"UpgradeCode", kUpgradeCode}});
  WString code;
  EXPECT_EQ(ReadPackageIdentity(code, false), 0u);
  EXPECT_EQ(code, u"");
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
      {"", "2.0.0", -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.packageVersion) + " vs " + row.installedVersion);
    sim::Reset();
    if (*row.packageVersion)
      AddNewPackage(kX64Package, Widen(row.packageVersion));
    else
      sim::AddPackage(kX64Package, {{u"ProductCode", kNewProduct}});
    InstallOld(Widen(row.installedVersion));
    int comparison = 42;
    EXPECT_EQ(CompareWithInstalled(kOldProduct, comparison, false), 0u);
    EXPECT_EQ(comparison, row.expected);
    EXPECT_TRUE(sim::W().boxes.empty());
    EXPECT_EQ(sim::CallCount("MsiCloseHandle"), 1);
    EXPECT_TRUE(sim::W().openHandles.empty());
  }
}

// Tests that the comparison opens whichever "vexiscom*.msi" comes first,
// whatever the architecture.
TEST_F(ProductQueriesTest, CompareTakesFirstVexiscomPackage) {
  AddNewPackage(kWin32Package, u"1.0");
  AddNewPackage(kX64Package, u"3.0");
  InstallOld(u"2.0");
  int comparison = 42;
  EXPECT_EQ(CompareWithInstalled(kOldProduct, comparison, true), 0u);
  EXPECT_EQ(comparison, -1);
}

struct CompareFailure {
  const char* name;
  std::function<void()> arrange;
  std::uint32_t result;
  const WString* text;
};

// Tests each failure of CompareWithInstalled: its code, its box (only when not
// silent), comparison left alone, handles closed.
TEST_F(ProductQueriesTest, CompareFailures) {
  const CompareFailure rows[] = {
      {"product not installed", [] { AddNewPackage(kX64Package, u"2.0"); }, 1605,
       &kInstalledUnreadable},
      {"version read fails",
       [] {
         AddNewPackage(kX64Package, u"2.0");
         InstallOld(u"1.0");
         sim::FailCall("MsiGetProductInfoW", 1610, 2);
       },
       1610, &kInstalledUnreadable},
      {"no package", [] { InstallOld(u"1.0"); }, 232, &kNotFound},
      {"package outside a subfolder",
       [] {
         InstallOld(u"1.0");
         AddNewPackage(u"C:\\dist\\vexiscom_x64.msi", u"2.0");
       },
       232, &kNotFound},
      {"current directory unreadable",
       [] {
         InstallOld(u"1.0");
         AddNewPackage(kX64Package, u"2.0");
         sim::FailCall("GetCurrentDirectoryW", 5);
       },
       5, &kNotFound},
      {"not a package",
       [] {
         InstallOld(u"1.0");
         sim::AddFile(kX64Package);
       },
       1620, &kNotOpened},
      {"version unreadable",
       [] {
         InstallOld(u"1.0");
         AddNewPackage(kX64Package, u"2.0");
         sim::FailCall("MsiGetPropertyW", 1615, 1);
       },
       1615, &kNewUnreadable},
      {"version read fails after its size",
       [] {
         InstallOld(u"1.0");
         AddNewPackage(kX64Package, u"2.0");
         sim::FailCall("MsiGetPropertyW", 6, 2);
       },
       6, &kNewUnreadable},
  };
  for (const bool silent : {false, true}) {
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(row.name) + (silent ? " silent" : ""));
      sim::Reset();
      row.arrange();
      int comparison = 42;
      EXPECT_EQ(CompareWithInstalled(kOldProduct, comparison, silent), row.result);
      EXPECT_EQ(comparison, 42);
      if (silent) {
        EXPECT_TRUE(sim::W().boxes.empty());
      } else {
        ASSERT_EQ(sim::W().boxes.size(), 1u);
        EXPECT_EQ(sim::W().boxes[0].text, *row.text);
        EXPECT_EQ(sim::W().boxes[0].caption, kCaption);
        EXPECT_EQ(sim::W().boxes[0].style, 0x10u);
      }
      EXPECT_TRUE(sim::W().openHandles.empty());
      EXPECT_EQ(sim::CallCount("MsiCloseHandle"), sim::CallCount("MsiOpenPackageExW") -
                                                      (row.text == &kNotOpened ? 1 : 0));
    }
  }
}

// Tests that a package under a current directory longer than 259 characters
// is found, but its path is not handed to Windows Installer (whose buffers
// hold MAX_PATH units): 206, and box 133 when comparing.
TEST_F(ProductQueriesTest, OverlongPackagePathIsNotOpened) {
  WString deep = u"C:\\dist";
  while (deep.size() < 240) deep += u"\\дистрибутив";
  sim::W().currentDirectory = deep;
  sim::AddPackage(deep + u"\\pkg\\vexiscom_x64.msi", {{u"ProductCode", kNewProduct}});
  InstallOld(u"1.0");
  const WString path = deep + u"\\pkg\\vexiscom_x64.msi";
  ASSERT_GT(path.size(), 259u);
  WString code = u"untouched";
  EXPECT_EQ(ReadPackageIdentity(code, false), 206u);
  EXPECT_EQ(code, u"untouched");
  int comparison = 42;
  EXPECT_EQ(CompareWithInstalled(kOldProduct, comparison, false), 206u);
  ASSERT_EQ(sim::W().boxes.size(), 1u);
  EXPECT_EQ(sim::W().boxes[0].text, kNotOpened);
  EXPECT_EQ(sim::CallCount("MsiOpenPackageExW"), 0);

  // 259 characters still fit.
  sim::Reset();
  WString fits = u"C:\\d\\";
  fits.resize(259 - WString(u"\\p\\vexiscom_x64.msi").size(), u'a');
  sim::W().currentDirectory = fits;
  sim::AddPackage(fits + u"\\p\\vexiscom_x64.msi", {{u"ProductCode", kNewProduct}});
  ASSERT_EQ((fits + u"\\p\\vexiscom_x64.msi").size(), 259u);
  EXPECT_EQ(ReadPackageIdentity(code, false), 0u);
  EXPECT_EQ(code, kNewProduct);
}

// Tests that an unreadable installed version stops before the package is
// searched for.
TEST_F(ProductQueriesTest, UnreadableInstalledVersionSearchesNothing) {
  AddNewPackage(kX64Package, u"2.0");
  int comparison = 0;
  EXPECT_EQ(CompareWithInstalled(kOldProduct, comparison, true), 1605u);
  EXPECT_EQ(sim::CallCount("FindFirstFileW"), 0);
  EXPECT_EQ(sim::CallCount("MsiOpenPackageExW"), 0);
}

class SizeProtocolTest : public ProductQueriesTest {};

// Tests that a property of any length is read whole in two calls.
TEST_F(SizeProtocolTest, LongPropertyReadWhole) {
  for (const std::size_t length : {1u, 38u, 39u, 255u, 65536u, 200000u}) {
    sim::Reset();
    WString value(length, u'ж');
    value.back() = u'9';
    sim::AddPackage(kX64Package, {{u"ProductVersion", value}});
    platform::MsiHandle package;
    ASSERT_EQ(platform::MsiOpenPackageEx(kX64Package, 1, package), 0u);
    WString read;
    EXPECT_EQ(ReadPackageProperty(package.get(), u"ProductVersion", read), 0u);
    EXPECT_EQ(read, value) << length;
    EXPECT_EQ(sim::CallCount("MsiGetPropertyW"), 2);
  }
}

// Tests that a first answer of 0 (an empty or undefined property) keeps the
// value handed in and asks no more.
TEST_F(SizeProtocolTest, FirstAnswerZeroLeavesValue) {
  sim::AddPackage(kX64Package, {{u"ProductVersion", u"2.0"}});
  platform::MsiHandle package;
  ASSERT_EQ(platform::MsiOpenPackageEx(kX64Package, 1, package), 0u);
  sim::FailCall("MsiGetPropertyW", 0, 1);
  WString read = u"as handed in";
  EXPECT_EQ(ReadPackageProperty(package.get(), u"ProductVersion", read), 0u);
  EXPECT_EQ(read, u"as handed in");
  EXPECT_EQ(sim::CallCount("MsiGetPropertyW"), 1);
}

// Tests that an undefined property reads as empty without failing.
TEST_F(SizeProtocolTest, UndefinedPropertyIsEmpty) {
  sim::AddPackage(kX64Package, {});
  platform::MsiHandle package;
  ASSERT_EQ(platform::MsiOpenPackageEx(kX64Package, 1, package), 0u);
  WString read;
  EXPECT_EQ(ReadPackageProperty(package.get(), u"ProductVersion", read), 0u);
  EXPECT_EQ(read, u"");
}

// Tests that the property read's codes are passed up unchanged.
TEST_F(SizeProtocolTest, PropertyReadCodesPassedUp) {
  sim::AddPackage(kX64Package, {{u"ProductVersion", u"2.0"}});
  platform::MsiHandle package;
  ASSERT_EQ(platform::MsiOpenPackageEx(kX64Package, 1, package), 0u);
  WString read;
  EXPECT_EQ(ReadPackageProperty(package.get() + 4, u"ProductVersion", read), 6u);
  EXPECT_EQ(read, u"");
  sim::FailCall("MsiGetPropertyW", 1627, 3);
  EXPECT_EQ(ReadPackageProperty(package.get(), u"ProductVersion", read), 1627u);
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
