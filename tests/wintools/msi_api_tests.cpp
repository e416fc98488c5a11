// The package queries against the real msi.dll and the real file system,
// under Wine: packages built with wixl by the runner (tests/e2e/msi_api_test.py),
// installed here with msiexec /i /qn, then read back through the same
// portable code and Win32 seam that vexissetup.exe uses.
//
// The runner hands over a manifest (UTF-8 "key=value" lines) in the
// environment variable VEXIS_MSI_MANIFEST; each scenario has its own product
// family, fresh for every run, because Wine's msi forgets a whole family when
// any member of it is uninstalled.
//
// A stand-in msi.dll (fake_msi.cpp) lies beside this program: the tests show
// that a program loading "msi.dll" the plain way gets the stand-in here, and
// that the seam still binds the system's msi.dll.
#include "platform/win32/windows_includes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "packages/package_location.h"
#include "packages/product_queries.h"
#include "platform/platform.h"
#include "platform/result_codes.h"

namespace {

constexpr int kPlanted = 4242;  // what every function of the stand-in answers
constexpr DWORD kInstallTimeoutMs = 180000;

std::map<std::string, std::string>& Manifest() {
  static std::map<std::string, std::string> values;
  return values;
}

bool LoadManifest() {
  wchar_t path[MAX_PATH * 4];
  const DWORD length = ::GetEnvironmentVariableW(L"VEXIS_MSI_MANIFEST", path, MAX_PATH * 4);
  if (length == 0 || length >= MAX_PATH * 4) return false;
  FILE* file = ::_wfopen(path, L"rb");
  if (file == nullptr) return false;
  std::string text;
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof(chunk), file)) > 0;) text.append(chunk, got);
  std::fclose(file);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto equals = line.find('=');
    if (equals != std::string::npos) Manifest()[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return !Manifest().empty();
}

// A value of the manifest as UTF-16; an unknown key fails the test at once.
WString Value(const std::string& key) {
  const auto it = Manifest().find(key);
  if (it == Manifest().end()) {
    ADD_FAILURE() << "the manifest has no " << key;
    return WString();
  }
  const std::string& utf8 = it->second;
  if (utf8.empty()) return WString();
  const int size = static_cast<int>(utf8.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &wide[0], length);
  return WString(reinterpret_cast<const char16_t*>(wide.data()), wide.size());
}

const wchar_t* Wide(const WString& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

WString SystemDirectory() {
  wchar_t buffer[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH);
  return WString(reinterpret_cast<const char16_t*>(buffer), length);
}

// Runs a program to its end and gives its exit code; 0xFFFFFFFF when it could
// not be started or did not end in time (then it is ended).
DWORD RunProgram(const WString& commandLine) {
  WString writable = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(&writable[0]), nullptr, nullptr, FALSE,
                        0, nullptr, nullptr, &startup, &process)) {
    ADD_FAILURE() << "CreateProcessW failed: " << ::GetLastError() << " for "
                  << ToUtf8(commandLine);
    return 0xFFFFFFFF;
  }
  DWORD code = 0xFFFFFFFF;
  if (::WaitForSingleObject(process.hProcess, kInstallTimeoutMs) == WAIT_OBJECT_0) {
    ::GetExitCodeProcess(process.hProcess, &code);
  } else {
    ADD_FAILURE() << "did not end in time: " << ToUtf8(commandLine);
    ::TerminateProcess(process.hProcess, 1460);
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return code;
}

// Installs a package with msiexec /i /qn once per run of this program, so
// that each test may be run alone; the exit code of that install.
DWORD Install(const WString& package) {
  static std::map<WString, DWORD> installed;
  const auto done = installed.find(package);
  if (done != installed.end()) return done->second;
  const DWORD code =
      RunProgram(u"\"" + SystemDirectory() + u"\\msiexec.exe\" /i \"" + package + u"\" /qn");
  std::printf("MEASURED msiexec /i /qn %s = %lu\n", ToUtf8(FileNamePart(package)).c_str(), code);
  installed[package] = code;
  return code;
}

// Makes the scenario's folder the current directory.
void EnterFolder(const WString& folder) {
  ASSERT_TRUE(::SetCurrentDirectoryW(Wide(folder)))
      << "SetCurrentDirectoryW " << ::GetLastError() << ": " << ToUtf8(folder);
}

void Report(const char* what, std::uint32_t code) {
  std::printf("MEASURED %s = %u\n", what, code);
  std::fflush(stdout);
}

// Every test starts and ends in the program's own folder: Wine cannot start
// a child process (msiexec, the probe) from a current directory longer than
// 259 characters (CreateProcessW gives 3, or the child dies).
WString& StartFolder() {
  static WString folder;
  return folder;
}

class MsiApiTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(::SetCurrentDirectoryW(Wide(StartFolder()))); }
  void TearDown() override { ::SetCurrentDirectoryW(Wide(StartFolder())); }
};
using PlantedMsiTest = MsiApiTest;

// The plug-in package of the current directory's tree, as the exe finds it.
WString FindPlugin() {
  WString path;
  Wow64Lookup lookup;
  EXPECT_EQ(FindPackageFile(u"vexiscom" + ArchitecturePattern(DetectWindowsArchitecture(lookup)), path), 0u);
  return path;
}

// Tests that the package's codes and version are read from its database, and
// that its related product, state, feature and version are read back from a
// package that msiexec has installed; the same package compares as the same
// version.
TEST_F(MsiApiTest, InstalledPackageIsFoundAndReadBack) {
  ASSERT_EQ(Install(Value("same.package")), 0u);
  ASSERT_NO_FATAL_FAILURE(EnterFolder(Value("same.dir")));
  const WString path = FindPlugin();
  EXPECT_EQ(path, Value("same.package"));

  PackageIdentity package;
  ASSERT_EQ(ReadPackageIdentity(path, package), 0u);
  EXPECT_EQ(package.productCode, Value("same.product"));
  EXPECT_EQ(package.upgradeCode, Value("same.upgrade"));
  EXPECT_EQ(package.productVersion, u"2.0.9999");
  EXPECT_EQ(package.versionResult, 0u);

  WString related;
  EXPECT_EQ(FindRelatedProduct(package.upgradeCode, related), 0u);
  EXPECT_EQ(related, Value("same.product"));
  EXPECT_EQ(platform::MsiQueryProductState(related), 5);
  const int feature = platform::MsiQueryFeatureState(related, u"NPVEXIS");
  Report("MsiQueryFeatureStateW NPVEXIS", static_cast<std::uint32_t>(feature));
  EXPECT_EQ(feature, 3);  // INSTALLSTATE_LOCAL: the package installs a file
  EXPECT_EQ(platform::MsiQueryFeatureState(related, u"NOSUCHFEATURE"), -1);

  int comparison = 42;
  EXPECT_EQ(CompareWithInstalled(related, package, comparison).code, 0u);
  EXPECT_EQ(comparison, 0);
}

// Tests what Windows Installer answers to the size queries of the installed
// version: a null buffer gives 0 and the length; an empty buffer gives 234.
TEST_F(MsiApiTest, SizeQueriesOfInstalledVersion) {
  ASSERT_EQ(Install(Value("same.package")), 0u);
  const WString product = Value("same.product");

  std::uint32_t length = 0;
  EXPECT_EQ(platform::MsiGetProductInfo(product, u"VersionString", nullptr, length), 0u);
  EXPECT_EQ(length, 8u);
  char16_t empty[1] = {0};
  length = 0;
  EXPECT_EQ(platform::MsiGetProductInfo(product, u"VersionString", empty, length), 234u);
  EXPECT_EQ(length, 8u);
  length = 0;
  EXPECT_EQ(platform::MsiGetProductInfo(u"{00000000-0000-4000-8000-0000000000FF}",
                                        u"VersionString", nullptr, length),
            1605u);
}

// Tests a package whose product code is installed at an older version, with a
// TMP naming a folder that does not exist: its database still opens (an
// installer session would refuse it), and 2.0.10000 compares newer than the
// installed 2.0.9999 by value.
TEST_F(MsiApiTest, SameProductCodeAtANewerVersion) {
  ASSERT_EQ(Install(Value("upgrade.old_package")), 0u);
  ASSERT_NO_FATAL_FAILURE(EnterFolder(Value("upgrade.dir")));
  wchar_t temp[MAX_PATH * 4];
  const DWORD tempLength = ::GetEnvironmentVariableW(L"TMP", temp, MAX_PATH * 4);
  ASSERT_TRUE(::SetEnvironmentVariableW(L"TMP", L"C:\\no\\such\\folder"));

  PackageIdentity package;
  const std::uint32_t read = ReadPackageIdentity(FindPlugin(), package);
  if (tempLength > 0) ::SetEnvironmentVariableW(L"TMP", temp);
  ASSERT_EQ(read, 0u);
  EXPECT_EQ(package.productCode, Value("upgrade.product"));
  EXPECT_EQ(package.productVersion, u"2.0.10000");
  WString related;
  EXPECT_EQ(FindRelatedProduct(package.upgradeCode, related), 0u);
  EXPECT_EQ(related, Value("upgrade.product"));
  int comparison = 42;
  EXPECT_EQ(CompareWithInstalled(related, package, comparison).code, 0u);
  EXPECT_EQ(comparison, 1);
}

// Tests that with no related product installed the enumeration's code comes
// back and the code stays empty, and that the installed version of a product
// that is not installed cannot be read.
TEST_F(MsiApiTest, NothingInstalled) {
  ASSERT_NO_FATAL_FAILURE(EnterFolder(Value("absent.dir")));
  PackageIdentity package;
  ASSERT_EQ(ReadPackageIdentity(FindPlugin(), package), 0u);
  EXPECT_EQ(package.productCode, Value("absent.product"));
  WString related = u"stale";
  EXPECT_EQ(FindRelatedProduct(package.upgradeCode, related), 259u);
  EXPECT_EQ(related, u"");
  EXPECT_EQ(platform::MsiQueryProductState(package.productCode), -1);
  int comparison = 42;
  EXPECT_EQ(CompareWithInstalled(package.productCode, package, comparison).code, 1605u);
  EXPECT_EQ(comparison, 42);
}

// Tests that on 64-bit Windows the program takes the x64 package although a
// win32 package lies in the same folder: the 32-bit program under WOW64 and the
// 64-bit program alike.
TEST_F(MsiApiTest, ArchitecturePackageIsTaken) {
  ASSERT_NO_FATAL_FAILURE(EnterFolder(Value("arch.dir")));
  Wow64Lookup lookup;
  EXPECT_EQ(ArchitecturePattern(DetectWindowsArchitecture(lookup)), u"*x64*");
  PackageIdentity package;
  EXPECT_EQ(ReadPackageIdentity(FindPlugin(), package), 0u);
  EXPECT_EQ(package.productCode, Value("arch.x64_product"));
}

// Tests that a property of 64 KiB is read whole through the size protocol,
// and that a property the table lacks reads as nothing, without failing.
TEST_F(MsiApiTest, LongPropertyReadWhole) {
  platform::MsiHandle database;
  ASSERT_EQ(platform::MsiOpenDatabase(Value("long.package"), database), 0u);
  WString value;
  EXPECT_EQ(ReadPackageProperty(database.get(), u"VEXISLONG", value), 0u);
  EXPECT_EQ(value.size(), std::stoul(ToUtf8(Value("long.length"))));
  EXPECT_EQ(value.find_first_not_of(u'x'), WString::npos);
  WString none = u"kept";
  EXPECT_EQ(ReadPackageProperty(database.get(), u"NOSUCHPROPERTY", none), 0u);
  EXPECT_EQ(none, u"kept");
}

// Tests that a file named like a package that is none gives the database
// open's own code: Wine's MsiOpenDatabaseW refuses a file that is no
// compound document with ERROR_FUNCTION_FAILED.
TEST_F(MsiApiTest, BrokenPackage) {
  ASSERT_NO_FATAL_FAILURE(EnterFolder(Value("broken.dir")));
  PackageIdentity package;
  const std::uint32_t opened = ReadPackageIdentity(FindPlugin(), package);
  Report("ReadPackageIdentity on a broken package", opened);
  EXPECT_EQ(opened, winerror::kFunctionFailed);
}

// Tests that a folder without subfolders holds no package for the search.
TEST_F(MsiApiTest, NoSubfolders) {
  ASSERT_NO_FATAL_FAILURE(EnterFolder(Value("empty.dir")));
  WString path;
  EXPECT_EQ(FindPackageFile(u"vexiscom*x64*", path), 232u);
}

// Tests that a package under a current directory longer than 259 characters
// is found by its whole path, and that this path is refused (206) rather
// than handed to msi.dll, whose MAX_PATH buffers it would overrun: Wine's
// msi.dll crashes the calling process with such a path.
TEST_F(MsiApiTest, DeepCurrentDirectory) {
  const WString deep = Value("deep.dir");
  ASSERT_GT(deep.size(), 259u);
  ASSERT_TRUE(::SetCurrentDirectoryW(Wide(deep))) << ::GetLastError();
  WString directory;
  ASSERT_EQ(ReadCurrentDirectory(directory), 0u);
  EXPECT_EQ(directory, deep);
  WString path;
  EXPECT_EQ(FindPackageFile(u"vexiscom*x64*", path), 206u);
  EXPECT_EQ(path, deep + u"\\plugin\\vexiscom_x64.msi");
}

// Tests that a plain LoadLibraryW("msi.dll") from this program's folder gets
// the planted stand-in (the place is dangerous, so the other checks mean
// something), and that it no longer does once the search is restricted.
TEST_F(PlantedMsiTest, PlainLoadTakesThePlant) {
  wchar_t self[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  ASSERT_GT(length, 0u);
  std::wstring folder(self, length);
  folder.resize(folder.rfind(L'\\'));
  const std::wstring planted = folder + L"\\msi.dll";
  ASSERT_NE(::GetFileAttributesW(planted.c_str()), INVALID_FILE_ATTRIBUTES)
      << "no stand-in msi.dll beside the test program";
  const WString probe = reinterpret_cast<const char16_t*>((folder + L"\\msi_plant_probe.exe").c_str());
  const DWORD answer = RunProgram(u"\"" + probe + u"\"");
  Report("plain LoadLibraryW(msi.dll) ordinal 113", answer);
  EXPECT_EQ(answer, static_cast<DWORD>(kPlanted));

  // The same plain load after the exe's first step gets the system's msi.dll.
  const DWORD restricted = RunProgram(u"\"" + probe + u"\" --restricted");
  Report("plain LoadLibraryW(msi.dll) after the search is restricted", restricted);
  EXPECT_EQ(restricted, static_cast<DWORD>(-1));
}

// Tests that the seam binds the system's msi.dll although the stand-in lies
// beside the program.
TEST_F(PlantedMsiTest, SeamBindsSystemMsi) {
  const int state = platform::MsiQueryProductState(u"{00000000-0000-4000-8000-0000000000FF}");
  EXPECT_EQ(state, -1);
  EXPECT_NE(state, kPlanted);
  std::uint32_t length = 0;
  EXPECT_NE(platform::MsiGetProductInfo(u"{00000000-0000-4000-8000-0000000000FF}",
                                        u"VersionString", nullptr, length),
            static_cast<std::uint32_t>(kPlanted));

  const HMODULE msi = ::GetModuleHandleW(L"msi.dll");
  ASSERT_NE(msi, nullptr);
  EXPECT_EQ(::GetProcAddress(msi, "VexisPlantedMsi"), nullptr);
  wchar_t loaded[MAX_PATH];
  const DWORD length2 = ::GetModuleFileNameW(msi, loaded, MAX_PATH);
  const WString file(reinterpret_cast<const char16_t*>(loaded), length2);
  std::printf("MEASURED msi.dll loaded from %s\n", ToUtf8(file).c_str());
  const WString system = SystemDirectory() + u"\\";
  EXPECT_EQ(CompareStringOrdinal(Wide(file), static_cast<int>(system.size()), Wide(system),
                                 static_cast<int>(system.size()), TRUE),
            CSTR_EQUAL)
      << ToUtf8(file);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  wchar_t folder[MAX_PATH];
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, folder);
  if (length == 0 || length >= MAX_PATH) return 2;
  StartFolder() = WString(reinterpret_cast<const char16_t*>(folder), length);
  if (!LoadManifest()) {
    std::fprintf(stderr, "msi_api_tests: set VEXIS_MSI_MANIFEST to the runner's manifest\n");
    return 2;
  }
  return RUN_ALL_TESTS();
}
