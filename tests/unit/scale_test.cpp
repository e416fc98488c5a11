// The whole run against large and odd input: a distribution tree of 10,000
// folders, paths longer than 260 characters, Cyrillic and spaces everywhere,
// property values of 64 KiB, a "TMP" that names a file, an installed product
// whose version cannot be read. Each must end with a truthful exit code and,
// unless silent, a message that says what happened; nothing may be lost.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/entry_flow.h"
#include "tests/sim/sim_programs.h"
#include "tests/sim/sim_sweep.h"
#include "tests/sim/sim_world.h"

namespace {

const WString kCaption = u"Норвикс ЭЦП Browser plug-in";
const WString kProduct = u"{11111111-2222-3333-4444-555555555555}";
const WString kUpgrade = u"{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}";
const WString kMsiexec = u"C:\\Windows\\system32\\msiexec.exe";
const WString kStamp = u"2014-03-07-09-05-31";
const WString kPluginFailed =
    u"В процессе установки или обновления Норвикс ЭЦП Browser plug-in возникла ошибка";
const WString kInstalledNotice =
    u"Норвикс ЭЦП Browser plug-in успешно установлен.\nДля корректной работы Норвикс ЭЦП "
    u"Browser plug-in может потребоваться перезапустить браузер.";

class ScaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::InstallMsiexec(0);
  }

  void AddPackage(const WString& path, const WString& version,
                  const WString& productCode = kProduct) {
    sim::AddPackage(path, {{u"ProductCode", productCode},
                           {u"UpgradeCode", kUpgrade},
                           {u"ProductVersion", version}});
  }

  void InstallVersion(const WString& version) {
    sim::InstallPluginProduct(kProduct, kUpgrade, version);
  }

  void SetTemp(const WString& path) {
    sim::W().environment[u"TMP"] = path;
    sim::AddFolder(path);
  }

  int Run(std::vector<WString> arguments) {
    arguments.insert(arguments.begin(), sim::W().currentDirectory + u"\\vexissetup.exe");
    sim::W().commandLine = arguments;
    const int exitCode = RunBootstrap(arguments.size() == 1);
    EXPECT_TRUE(sim::W().openHandles.empty()) << "a handle was left open";
    return exitCode;
  }

  WString InstalledVersion() {
    const auto it = sim::W().products.find(kProduct);
    return it == sim::W().products.end() ? WString() : it->second.version;
  }

  const std::vector<sim::Box>& Boxes() { return sim::W().boxes; }
};

// The msiexec command line for a first installation with the log in temp.
WString FirstInstallCommand(const WString& package, const WString& temp) {
  return u"\"" + kMsiexec + u"\" /i \"" + package + u"\" /Lv! \"" + temp + u"\\" +
         FileNamePart(package) + u"_" + kStamp + u".log\" REBOOT=R  /qb";
}

// A path of at least `length` characters below root, in Cyrillic with blanks.
WString LongPath(const WString& root, std::size_t length) {
  WString path = root;
  for (int i = 1; path.size() < length; ++i)
    path += u"\\Очень длинная папка номер " + Decimal(static_cast<std::uint32_t>(i));
  return path;
}

// Tests that the package in the last of 10,000 subfolders is found and
// installed, silent and not, with work that grows with the folders alone:
// each search of the tree lists every folder once.
TEST_F(ScaleTest, TenThousandFoldersPackageInTheLast) {
  constexpr std::size_t kFolders = 10000;
  for (const bool silent : {false, true}) {
    SetUp();
    sim::SetCallLimit(2000000);
    for (std::size_t i = 0; i + 1 < kFolders; ++i) {
      const WString folder = u"C:\\dist\\Подпапка " + Decimal(static_cast<std::uint32_t>(i));
      sim::AddFolder(folder);
      if (i % 100 == 0) sim::AddFile(folder + u"\\readme.txt");
    }
    const WString package = u"C:\\dist\\последняя x64\\vexiscom-x64.msi";
    AddPackage(package, u"2.0.1");
    EXPECT_EQ(Run(silent ? std::vector<WString>{u"-silent"} : std::vector<WString>{}), 0);
    // One search of the tree lists each folder with two calls (the folder
    // found, a search inside it); a second search would pass 4 calls a folder.
    EXPECT_GE(sim::CallCount("FindFirstFileW"), static_cast<int>(kFolders));
    EXPECT_LT(sim::W().calls.size(), 3 * kFolders) << "the tree is searched more than once";
    ASSERT_EQ(sim::W().started.size(), 1u);
    EXPECT_EQ(sim::W().started[0],
              FirstInstallCommand(package, u"C:\\Users\\op\\AppData\\Local\\Temp"));
    EXPECT_EQ(InstalledVersion(), u"2.0.1");
    if (silent) {
      EXPECT_TRUE(Boxes().empty());
    } else {
      ASSERT_EQ(Boxes().size(), 2u);
      EXPECT_EQ(Boxes()[1].text, kInstalledNotice);
    }
  }
}

// Tests a "TMP" in which the installer's log name is longer than MAX_PATH
// allows: 206 before anything is created or started, as Windows would refuse
// it; where the run log's shorter name still fits (220), the run log says why.
TEST_F(ScaleTest, TempLongerThan260Characters) {
  const WString temp = LongPath(u"C:\\Users\\Администратор\\AppData\\Local\\Temp", 320);
  ASSERT_GT(temp.size(), 260u);
  for (const std::size_t length : {320u, 220u}) {
    SetUp();
    SetTemp(temp.substr(0, length));
    const WString package = u"C:\\dist\\x64\\vexiscom-x64.msi";
    AddPackage(package, u"2.0.1");
    EXPECT_EQ(Run({}), 206);
    EXPECT_EQ(sim::CallCount("CreateProcessW"), 0);
    const std::string log = sim::FileContents(temp.substr(0, length) + u"\\vexissetup_" + kStamp + u".log");
    EXPECT_EQ(log.find("error 206 (over 259 characters); nothing is started") != std::string::npos, length == 220);
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[1].text, kPluginFailed + u": 206.\n");
  }
}

// Tests a SUBST drive and a mapped drive standing for a folder whose real
// path is 300 characters long: the package installs from S:\…, and the
// provider there runs as the file checked, both by the paths found.
TEST_F(ScaleTest, DeepFolderBehindADriveLetter) {
  for (const WString& root : {WString(u"C:\\Хранилище"), WString(u"\\\\server\\share")}) {
    SetUp();
    const WString real = LongPath(root, 300);
    sim::PointJunction(u"S:", real);
    sim::W().currentDirectory = u"S:\\dist";
    AddPackage(real + u"\\dist\\x64\\vexiscom-x64.msi", u"2.0.1");
    sim::AddFile(real + u"\\dist\\csp\\Setup.exe");
    sim::W().programs[real + u"\\dist\\csp\\Setup.exe"] = sim::ExitWith(0);
    ASSERT_EQ(Run({u"-csp", u"-silent"}), 0);
    EXPECT_EQ(sim::W().started.back(),
              FirstInstallCommand(u"S:\\dist\\x64\\vexiscom-x64.msi", sim::W().environment[u"TMP"]));
    EXPECT_EQ(InstalledVersion(), u"2.0.1");
  }
  // The path found must still name the file held (its second open fails here): else 206.
  sim::FailCall("CreateFileW", 2, sim::CallCount("CreateFileW") + 2);
  CheckedFile package;
  bool refused = false;
  EXPECT_EQ(OpenCheckedFile(PublisherCheck(), u"msi", u"S:\\dist\\x64\\vexiscom-x64.msi", package, refused),
            206u);
  EXPECT_FALSE(package.held);
}

// Tests a current directory of more than 260 characters: Windows Installer
// takes package paths of at most 259 characters, so the package is refused
// before it is opened, with ERROR_FILENAME_EXCED_RANGE as the exit code and,
// unless silent, message 151 and the failure box that gives the code.
TEST_F(ScaleTest, CurrentDirectoryLongerThan260Characters) {
  const WString dist = LongPath(u"C:\\Дистрибутив", 300);
  ASSERT_GT(dist.size(), 260u);
  for (const bool silent : {false, true}) {
    SetUp();
    sim::W().currentDirectory = dist;
    AddPackage(dist + u"\\x64\\vexiscom-x64.msi", u"2.0.1");
    EXPECT_EQ(Run(silent ? std::vector<WString>{u"-silent"} : std::vector<WString>{}), 206);
    EXPECT_TRUE(sim::W().started.empty());
    EXPECT_EQ(InstalledVersion(), u"");
    if (silent) {
      EXPECT_TRUE(Boxes().empty());
    } else {
      ASSERT_EQ(Boxes().size(), 3u);
      EXPECT_EQ(Boxes()[1].text, u"Невозможно найти ProductCode msi-пакета.");
      EXPECT_EQ(Boxes()[1].caption, u"Ошибка");
      EXPECT_EQ(Boxes()[2].text, kPluginFailed + u": 206.\n");
    }
  }
}

// Tests Cyrillic and blanks in every path, file name and argument: both
// command lines carry them unchanged inside their quotes.
TEST_F(ScaleTest, CyrillicAndBlanksEverywhere) {
  sim::W().currentDirectory = u"C:\\Программы и данные\\Норвикс ЭЦП";
  const WString temp = u"C:\\Users\\Пользователь Один\\AppData\\Local\\Временные файлы";
  SetTemp(temp);
  const WString package = u"C:\\Программы и данные\\Норвикс ЭЦП\\сборка x64\\vexiscom-x64 сборка 2.msi";
  AddPackage(package, u"2.0.1");
  sim::W().programs[u"csp\\Setup.exe"] = sim::ExitWith(0);
  sim::AddFile(u"C:\\Программы и данные\\Норвикс ЭЦП\\csp\\Setup.exe");

  EXPECT_EQ(Run({u"-csp", u"-CSPArgs", u"ПАПКА=\"Мои документы\"", u"-VexisArgs",
                 u"КАТАЛОГ=\"C:\\Программы и данные\"", u"-silent"}),
            0);
  ASSERT_EQ(sim::W().started.size(), 2u);
  EXPECT_EQ(sim::W().started[0],
            u"csp\\Setup.exe -args \"/qb /Lv! \"\"\"" + temp + u"\\csp_" + kStamp +
                u".log\"\"\" ПАПКА=\"Мои документы\" \" -noreboot -silent");
  EXPECT_EQ(sim::W().started[1],
            u"\"" + kMsiexec + u"\" /i \"" + package + u"\" /Lv! \"" + temp +
                u"\\vexiscom-x64 сборка 2.msi_" + kStamp +
                u".log\" REBOOT=R  /qb КАТАЛОГ=\"C:\\Программы и данные\" ");
  EXPECT_EQ(InstalledVersion(), u"2.0.1");
  EXPECT_EQ(sim::W().products.at(kProduct).packageName, u"vexiscom-x64 сборка 2.msi");
  EXPECT_TRUE(Boxes().empty());
}

// Tests versions of 64 KiB on both sides: both are read whole (no cut at a
// fixed buffer) and compared by value, so the upgrade happens.
TEST_F(ScaleTest, VersionsOf64KiB) {
  const WString installed = u"2.0." + WString(65532, u'9');
  // One digit more in the last field: newer by value, although it sorts
  // before the installed one as text.
  const WString newer = u"2.0.1" + WString(65532, u'0');
  ASSERT_EQ(installed.size(), 65536u);
  ASSERT_EQ(newer.size(), 65537u);
  for (const bool silent : {false, true}) {
    SetUp();
    InstallVersion(installed);
    AddPackage(u"C:\\dist\\x64\\vexiscom-x64.msi", newer);
    EXPECT_EQ(Run(silent ? std::vector<WString>{u"-silent"} : std::vector<WString>{}), 0);
    ASSERT_EQ(sim::W().started.size(), 1u);
    EXPECT_TRUE(Contains(sim::W().started[0], u" REINSTALL=ALL REINSTALLMODE=vomus /qb"))
        << ToUtf8(sim::W().started[0].substr(0, 200));
    EXPECT_TRUE(InstalledVersion() == newer) << "the upgrade did not happen";
    EXPECT_EQ(Boxes().size(), silent ? 0u : 2u);
  }
}

// Tests an argument of 64 KiB for msiexec: the command line is longer than
// Windows accepts, so msiexec cannot be started; the run reports that code,
// with no log line since no log was written, and nothing is installed.
TEST_F(ScaleTest, InstallerArgumentsOf64KiB) {
  const WString value = u"PROPERTY=" + WString(65536 - 9, u'Ж');
  for (const bool silent : {false, true}) {
    SetUp();
    AddPackage(u"C:\\dist\\x64\\vexiscom-x64.msi", u"2.0.1");
    std::vector<WString> arguments = {u"-VexisArgs", value};
    if (silent) arguments.push_back(u"-silent");
    EXPECT_EQ(Run(arguments), 206);
    EXPECT_TRUE(sim::W().started.empty());
    EXPECT_EQ(InstalledVersion(), u"");
    if (silent) {
      EXPECT_TRUE(Boxes().empty());
    } else {
      ASSERT_EQ(Boxes().size(), 2u);
      // The log made for an installer that never started is gone: no log line.
      EXPECT_EQ(Boxes()[1].text, kPluginFailed + u": 206.\n");
      EXPECT_EQ(Boxes()[1].caption, kCaption);
      EXPECT_EQ(Boxes()[1].style, 0x10u);
    }
  }
}

// Tests a "TMP" that names a file: no log can be created under it, so
// nothing is started (no name the bootstrapper did not create is handed
// over); the creation's code (3) is the exit code, the box gives it and no
// log.
TEST_F(ScaleTest, TempNamesAFile) {
  for (const bool silent : {false, true}) {
    SetUp();
    sim::AddFile(u"C:\\Users\\op\\temp.txt");
    sim::W().environment[u"TMP"] = u"C:\\Users\\op\\temp.txt";
    AddPackage(u"C:\\dist\\x64\\vexiscom-x64.msi", u"2.0.1");
    EXPECT_EQ(Run(silent ? std::vector<WString>{u"-silent"} : std::vector<WString>{}), 3);
    EXPECT_TRUE(sim::W().started.empty());
    EXPECT_EQ(InstalledVersion(), u"");
    if (silent) {
      EXPECT_TRUE(Boxes().empty());
    } else {
      ASSERT_EQ(Boxes().size(), 2u);
      EXPECT_EQ(Boxes()[1].text, kPluginFailed + u": 3.\n");
    }
  }
}

// Tests an installed product whose "VersionString" cannot be read: message
// 131, then the failure box with the code; nothing is run and the installed
// product is left as it was.
TEST_F(ScaleTest, InstalledVersionUnreadable) {
  for (const bool silent : {false, true}) {
    SetUp();
    InstallVersion(u"2.0.1");
    AddPackage(u"C:\\dist\\x64\\vexiscom-x64.msi", u"2.0.2");
    sim::FailCall("MsiGetProductInfoW", 1610);  // ERROR_BAD_CONFIGURATION
    EXPECT_EQ(Run(silent ? std::vector<WString>{u"-silent"} : std::vector<WString>{}), 1610);
    EXPECT_TRUE(sim::W().started.empty());
    EXPECT_EQ(InstalledVersion(), u"2.0.1");
    if (silent) {
      EXPECT_TRUE(Boxes().empty());
    } else {
      ASSERT_EQ(Boxes().size(), 3u);
      EXPECT_EQ(Boxes()[1].text, u"Невозможно узнать версию установленного msi-пакета.");
      EXPECT_EQ(Boxes()[1].caption, u"Ошибка");
      EXPECT_EQ(Boxes()[1].style, 0x10u);
      EXPECT_EQ(Boxes()[2].text, kPluginFailed + u": 1610.\n");
    }
  }
}

}  // namespace
