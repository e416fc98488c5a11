// Finding package files under the current directory and choosing the
// architecture word, on the simulated Windows.
#include <gtest/gtest.h>

#include "packages/package_location.h"
#include "tests/sim/sim_world.h"

namespace {

class PackageLocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
  }
  void TearDown() override {
    // Both searches are closed on every path.
    EXPECT_TRUE(sim::W().openHandles.empty());
    EXPECT_EQ(sim::CallCount("FindClose"), sim::W().handlesOpened);
  }
};

// Tests that the first subfolder the search yields wins, not the first by name.
TEST_F(PackageLocationTest, FirstFolderInSystemOrderWins) {
  sim::AddPackage(u"C:\\dist\\zeta\\vexiscom_x64.msi", {});
  sim::AddPackage(u"C:\\dist\\alpha\\vexiscom_x64.msi", {});
  WString path;
  EXPECT_EQ(FindPackageFile(u"vexiscom*.msi", path), 0u);
  EXPECT_EQ(path, u"C:\\dist\\zeta\\vexiscom_x64.msi");
}

// Tests that within the winning folder only the first match is taken.
TEST_F(PackageLocationTest, FirstMatchInFolderWins) {
  sim::AddPackage(u"C:\\dist\\pkg\\vexiscom_x64.msi", {});
  sim::AddPackage(u"C:\\dist\\pkg\\vexiscom_win32.msi", {});
  WString path;
  EXPECT_EQ(FindPackageFile(u"vexiscom*.msi", path), 0u);
  EXPECT_EQ(path, u"C:\\dist\\pkg\\vexiscom_x64.msi");
}

// Tests that a folder whose name begins with a dot is never searched.
TEST_F(PackageLocationTest, DotFoldersAreSkipped) {
  sim::AddPackage(u"C:\\dist\\.cache\\vexiscom_x64.msi", {});
  WString path;
  EXPECT_EQ(FindPackageFile(u"vexiscom*.msi", path), 232u);
  sim::AddPackage(u"C:\\dist\\pkg\\vexiscom_x64.msi", {});
  EXPECT_EQ(FindPackageFile(u"vexiscom*.msi", path), 0u);
  EXPECT_EQ(path, u"C:\\dist\\pkg\\vexiscom_x64.msi");
}

// Tests that a package lying in the current directory itself is not found.
TEST_F(PackageLocationTest, CurrentDirectoryItselfIsNotSearched) {
  sim::AddPackage(u"C:\\dist\\vexiscom_x64.msi", {});
  sim::AddFolder(u"C:\\dist\\empty");
  WString path;
  EXPECT_EQ(FindPackageFile(u"vexiscom*.msi", path), 232u);
}

// Tests that a file at the top level named like a folder is not searched into
// and that nothing below the first level is found.
TEST_F(PackageLocationTest, OnlyFoldersOneLevelDeep) {
  sim::AddFile(u"C:\\dist\\pkg");
  sim::AddPackage(u"C:\\dist\\deep\\er\\vexiscom_x64.msi", {});
  WString path;
  EXPECT_EQ(FindPackageFile(u"vexiscom*.msi", path), 232u);
}

// Tests that a current directory with no subfolders yields 232 without ever
// reading the current directory.
TEST_F(PackageLocationTest, NoSubfolders) {
  WString path;
  EXPECT_EQ(FindPackageFile(u"*.msi", path), 232u);
  EXPECT_EQ(sim::CallCount("GetCurrentDirectoryW"), 0);
}

// Tests that only ".msi" files count, whatever the case of the name: folders
// named like the package and other files matching the pattern are passed
// over, within a folder and across folders; a provider's own package never
// matches the plug-in's pattern.
TEST_F(PackageLocationTest, OnlyMsiFilesMatchingThePattern) {
  sim::AddPackage(u"C:\\dist\\csp\\csp-x64-kc1.msi", {});
  sim::AddFile(u"C:\\dist\\csp\\vexiscom-x64.msi.txt");
  sim::AddFolder(u"C:\\dist\\pkg\\vexiscom-x64.msi");
  sim::AddFile(u"C:\\dist\\pkg\\vexiscom-x64.cab");
  sim::AddPackage(u"C:\\dist\\pkg\\VEXISCOM-X64-2.0.MSI", {});
  sim::AddPackage(u"C:\\dist\\x64\\vexiscom-x64.msi", {});
  WString path;
  EXPECT_EQ(FindPackageFile(u"vexiscom*x64*", path), 0u);
  EXPECT_EQ(path, u"C:\\dist\\pkg\\VEXISCOM-X64-2.0.MSI");
  // Nothing but look-alikes: not found.
  sim::Reset();
  sim::AddFolder(u"C:\\dist\\pkg\\vexiscom-x64.msi");
  sim::AddFile(u"C:\\dist\\pkg\\vexiscom-x64.msix");
  EXPECT_EQ(FindPackageFile(u"vexiscom*x64*", path), 232u);
}

// Tests that a drive root as current directory gives two backslashes in a row.
TEST_F(PackageLocationTest, DriveRootGivesTwoBackslashes) {
  sim::W().currentDirectory = u"D:\\";
  sim::AddPackage(u"D:\\plugin\\vexiscom_win32.msi", {});
  WString path;
  EXPECT_EQ(FindPackageFile(u"vexiscom*", path), 0u);
  EXPECT_EQ(path, u"D:\\\\plugin\\vexiscom_win32.msi");
}

// Tests that a package under a current directory longer than 259 characters
// is found by its whole path, not a truncated one, and refused with 206:
// Windows Installer takes package paths into MAX_PATH buffers. 259 fit.
TEST_F(PackageLocationTest, PackagePathsBeyond259AreRefused) {
  WString deep = u"C:\\dist";
  while (deep.size() < 300) deep += u"\\папка_установки";
  sim::W().currentDirectory = deep;
  sim::AddPackage(deep + u"\\pkg\\vexiscom_x64.msi", {});
  WString path;
  EXPECT_EQ(FindPackageFile(u"vexiscom*.msi", path), 206u);
  EXPECT_EQ(path, deep + u"\\pkg\\vexiscom_x64.msi");

  sim::Reset();
  WString fits = u"C:\\d\\";
  fits.resize(259 - WString(u"\\p\\vexiscom_x64.msi").size(), u'a');
  sim::W().currentDirectory = fits;
  sim::AddPackage(fits + u"\\p\\vexiscom_x64.msi", {});
  EXPECT_EQ(FindPackageFile(u"vexiscom*.msi", path), 0u);
  EXPECT_EQ(path.size(), 259u);
}

// Tests that a current directory that cannot be read after a match gives the
// system's error code.
TEST_F(PackageLocationTest, UnreadableCurrentDirectoryGivesItsError) {
  sim::AddPackage(u"C:\\dist\\pkg\\vexiscom_x64.msi", {});
  sim::FailCall("GetCurrentDirectoryW", 5);
  WString path;
  EXPECT_EQ(FindPackageFile(u"vexiscom*.msi", path), 5u);
}

// Tests that a current directory that cannot be listed at all gives 232.
TEST_F(PackageLocationTest, UnlistableCurrentDirectoryGives232) {
  sim::AddPackage(u"C:\\dist\\pkg\\vexiscom_x64.msi", {});
  sim::FailCall("FindFirstFileW", 5, 1);
  WString path;
  EXPECT_EQ(FindPackageFile(u"vexiscom*.msi", path), 232u);
}

// Tests that a failing listing of the folders ends the search with 232.
TEST_F(PackageLocationTest, FailingFolderListingGives232) {
  sim::AddFolder(u"C:\\dist\\first");
  sim::AddPackage(u"C:\\dist\\second\\vexiscom_x64.msi", {});
  sim::FailCall("FindNextFileW", 21);
  WString path;
  EXPECT_EQ(FindPackageFile(u"vexiscom*.msi", path), 232u);
}

class CurrentDirectoryTest : public PackageLocationTest {};

// Tests that the current directory is read at its real length.
TEST_F(CurrentDirectoryTest, ReadsAnyLength) {
  for (const std::size_t length : {3u, 259u, 260u, 261u, 1000u, 32000u}) {
    sim::Reset();
    WString directory = u"C:\\";
    directory.resize(length, u'д');
    sim::W().currentDirectory = directory;
    WString read = u"left over";
    EXPECT_EQ(ReadCurrentDirectory(read), 0u) << length;
    EXPECT_EQ(read, directory) << length;
  }
}

// Tests that either read failing gives the system's error code.
TEST_F(CurrentDirectoryTest, FailureGivesSystemError) {
  for (const int occurrence : {1, 2}) {
    sim::Reset();
    sim::FailCall("GetCurrentDirectoryW", 1005, occurrence);
    WString read = u"kept";
    EXPECT_EQ(ReadCurrentDirectory(read), 1005u) << occurrence;
    EXPECT_EQ(read, u"kept");
  }
}

// Tests that a failure without a last-error value is still a failure.
TEST_F(CurrentDirectoryTest, FailureWithoutErrorIsNoSuccess) {
  sim::FailCall("GetCurrentDirectoryW", 0, 1);
  WString read;
  EXPECT_NE(ReadCurrentDirectory(read), 0u);
}

class ArchitectureTest : public PackageLocationTest {
 protected:
  Wow64Lookup lookup;  // the run's lookup: one for the length of a test
};

// Tests that a 64-bit process, or a 32-bit one under WOW64, picks the x64
// word, and that a 64-bit process does not ask WOW64 at all.
TEST_F(ArchitectureTest, WindowsArchitecturePicksTheWord) {
  const struct {
    bool process64Bit;
    bool wow64;
    WindowsArchitecture windows;
    const char16_t* pattern;
    int wow64Calls;
  } kRows[] = {
      {true, false, WindowsArchitecture::k64BitProcess, u"*x64*", 0},  // the x64 build
      {false, true, WindowsArchitecture::kWow64, u"*x64*", 1},         // 32-bit build, 64-bit Windows
      {false, false, WindowsArchitecture::k32Bit, u"*win32*", 1},      // 32-bit build, 32-bit Windows
  };
  for (const auto& row : kRows) {
    sim::Reset();
    lookup = Wow64Lookup();
    sim::W().process64Bit = row.process64Bit;
    sim::W().wow64 = row.wow64;
    EXPECT_EQ(DetectWindowsArchitecture(lookup), row.windows) << row.process64Bit << row.wow64;
    EXPECT_EQ(ArchitecturePattern(DetectWindowsArchitecture(lookup)), row.pattern) << row.process64Bit << row.wow64;
    EXPECT_EQ(sim::CallCount("IsWow64Process"), 2 * row.wow64Calls);
  }
}

// Tests that IsWow64Process is looked up once and called on every call.
TEST_F(ArchitectureTest, LooksUpOnceCallsEachTime) {
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ArchitecturePattern(DetectWindowsArchitecture(lookup)), u"*x64*");
  EXPECT_EQ(sim::CallCount("GetModuleHandleW"), 1);
  EXPECT_EQ(sim::CallCount("GetProcAddress"), 1);
  EXPECT_EQ(sim::CallCount("IsWow64Process"), 3);
}

// Tests that a kernel32 without IsWow64Process gives "*win32*" and is not
// asked again.
TEST_F(ArchitectureTest, MissingFunctionIsRemembered) {
  sim::W().missingFunctions.insert("IsWow64Process");
  EXPECT_EQ(ArchitecturePattern(DetectWindowsArchitecture(lookup)), u"*win32*");
  sim::W().missingFunctions.clear();
  EXPECT_EQ(ArchitecturePattern(DetectWindowsArchitecture(lookup)), u"*win32*");
  EXPECT_EQ(sim::CallCount("GetProcAddress"), 1);
  EXPECT_EQ(sim::CallCount("IsWow64Process"), 0);
}

// Tests that without a kernel32 module handle the lookup is tried again.
TEST_F(ArchitectureTest, NoKernel32IsRetried) {
  sim::W().loadedModules.erase(u"kernel32");
  EXPECT_EQ(ArchitecturePattern(DetectWindowsArchitecture(lookup)), u"*win32*");
  EXPECT_EQ(sim::CallCount("GetProcAddress"), 0);
  sim::W().loadedModules.insert(u"kernel32");
  EXPECT_EQ(ArchitecturePattern(DetectWindowsArchitecture(lookup)), u"*x64*");
  EXPECT_EQ(sim::CallCount("GetModuleHandleW"), 2);
  EXPECT_EQ(sim::CallCount("GetProcAddress"), 1);
}

// Tests that a failing IsWow64Process call gives "*win32*" for that call only.
TEST_F(ArchitectureTest, FailingCallGivesWin32) {
  sim::FailCall("IsWow64Process", 6, 1);
  EXPECT_EQ(ArchitecturePattern(DetectWindowsArchitecture(lookup)), u"*win32*");
  EXPECT_EQ(ArchitecturePattern(DetectWindowsArchitecture(lookup)), u"*x64*");
}

}  // namespace
