// The pending-restart marker and the restart of Windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bootstrap/restart.h"
#include "tests/sim/sim_world.h"

namespace {

const WString kMarker = u"Software\\NeedBstrReboot";
const WString kApiSet = u"API-MS-Win-Core-LocalRegistry-L1-1-0.dll";

bool MarkerExists() { return sim::W().keys.count(kMarker) != 0; }

class RestartTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
  void TearDown() override { EXPECT_TRUE(sim::W().openHandles.empty()); }
};

// Tests that the marker is absent in a fresh world, present once created, and
// that the test opens it read-only in the 32-bit view and closes it.
TEST_F(RestartTest, MarkerTestAndCreate) {
  EXPECT_FALSE(IsRestartPending());
  CreateRestartMarker();
  EXPECT_TRUE(MarkerExists());
  EXPECT_TRUE(IsRestartPending());
  ASSERT_EQ(sim::W().keyAccess.size(), 3u);
  EXPECT_EQ(sim::W().keyAccess[0], 0x20219u);  // the first test
  EXPECT_EQ(sim::W().keyAccess[1], 0x2021Fu);  // the create
  EXPECT_EQ(sim::W().keyAccess[2], 0x20219u);
  EXPECT_EQ(sim::CallCount("RegCloseKey"), 2);
}

// Tests that a marker that cannot be opened counts as absent.
TEST_F(RestartTest, UnopenableMarkerCountsAsAbsent) {
  sim::W().keys.insert(kMarker);
  sim::W().deniedKeys.insert(kMarker);
  EXPECT_FALSE(IsRestartPending());
}

// Tests that with the API set module loaded the marker is deleted through
// RegDeleteKeyExW, advapi32.dll is not loaded, and "Software" is opened for
// reading and writing in the 32-bit view.
TEST_F(RestartTest, ClearsThroughRegDeleteKeyEx) {
  sim::W().loadedModules.insert(kApiSet);
  CreateRestartMarker();
  EXPECT_EQ(ClearRestartMarker(), 0u);
  EXPECT_FALSE(MarkerExists());
  EXPECT_EQ(sim::CallCount("RegDeleteKeyExW"), 1);
  EXPECT_EQ(sim::CallCount("RegDeleteKeyW"), 0);
  EXPECT_EQ(sim::CallCount("LoadLibraryW"), 0);
  // "Software" opened for reading and writing, the marker deleted, both in
  // the 32-bit view.
  const std::vector<std::uint32_t>& access = sim::W().keyAccess;
  ASSERT_GE(access.size(), 2u);
  EXPECT_EQ(access[access.size() - 2], 0x2021Fu);
  EXPECT_EQ(access.back(), 0x200u);
  EXPECT_EQ(sim::W().deletedKeys, std::vector<WString>{kMarker});
}

// Tests that without the API set module the marker is deleted through
// RegDeleteKeyW from advapi32.dll.
TEST_F(RestartTest, ClearsThroughRegDeleteKeyFromAdvapi) {
  CreateRestartMarker();
  EXPECT_EQ(ClearRestartMarker(), 0u);
  EXPECT_FALSE(MarkerExists());
  EXPECT_EQ(sim::CallCount("LoadLibraryW"), 1);
  EXPECT_EQ(sim::CallCount("RegDeleteKeyW"), 1);
  EXPECT_EQ(sim::CallCount("RegDeleteKeyExW"), 0);
}

// Tests that the x64 build keeps the marker in the 32-bit view too: what the
// 32-bit exe left, the 64-bit one finds and deletes, with or without the API
// set module (from advapi32.dll it takes RegDeleteKeyExW, since
// RegDeleteKeyW would delete in its own, 64-bit view).
TEST_F(RestartTest, X64BuildUsesThe32BitView) {
  for (const bool apiSet : {true, false}) {
    SCOPED_TRACE(apiSet ? "API set module" : "advapi32.dll");
    SetUp();
    CreateRestartMarker();  // left by the 32-bit exe
    sim::W().process64Bit = true;
    if (apiSet) sim::W().loadedModules.insert(kApiSet);
    EXPECT_TRUE(IsRestartPending());
    EXPECT_EQ(ClearRestartMarker(), 0u);
    EXPECT_FALSE(MarkerExists());
    EXPECT_FALSE(IsRestartPending());
    EXPECT_EQ(sim::CallCount("RegDeleteKeyW"), 0);
    CreateRestartMarker();
    sim::W().process64Bit = false;
    EXPECT_TRUE(IsRestartPending()) << "the x64 exe made the marker where the 32-bit one does not look";
  }
}

// Tests that the delete function is looked up afresh on every call: the
// second call sees the API set module that has been loaded meanwhile.
TEST_F(RestartTest, LooksUpDeleteFunctionOnEveryCall) {
  CreateRestartMarker();
  EXPECT_EQ(ClearRestartMarker(), 0u);
  sim::W().loadedModules.insert(kApiSet);
  CreateRestartMarker();
  EXPECT_EQ(ClearRestartMarker(), 0u);
  EXPECT_EQ(sim::CallCount("GetModuleHandleW"), 2);
  EXPECT_EQ(sim::CallCount("RegDeleteKeyW"), 1);
  EXPECT_EQ(sim::CallCount("RegDeleteKeyExW"), 1);
}

// Tests that a loaded API set module without RegDeleteKeyExW leaves the
// marker, reports the lookup's error and does not fall back to advapi32.dll.
TEST_F(RestartTest, MissingRegDeleteKeyExLeavesMarker) {
  sim::W().loadedModules.insert(kApiSet);
  sim::W().missingFunctions.insert("RegDeleteKeyExW");
  CreateRestartMarker();
  EXPECT_EQ(ClearRestartMarker(), 127u);
  EXPECT_TRUE(MarkerExists());
  EXPECT_EQ(sim::CallCount("LoadLibraryW"), 0);
}

// Tests that an advapi32.dll that cannot be loaded leaves the marker and
// reports the loader's error.
TEST_F(RestartTest, UnloadableAdvapiLeavesMarker) {
  sim::W().loadableModules.clear();
  CreateRestartMarker();
  EXPECT_EQ(ClearRestartMarker(), 126u);
  EXPECT_TRUE(MarkerExists());
}

// Tests that no delete function found with no last-error value still reads as a failure.
TEST_F(RestartTest, NoDeleteFunctionIsNeverSuccess) {
  sim::FailCall("GetModuleHandleW", 0);
  sim::FailCall("LoadLibraryW", 0);
  CreateRestartMarker();
  EXPECT_NE(ClearRestartMarker(), 0u);
  EXPECT_TRUE(MarkerExists());
}

// Tests the failures of the delete: "Software" not openable, no marker, a
// marker with a subkey of its own.
TEST_F(RestartTest, DeleteFailuresAreReported) {
  CreateRestartMarker();
  sim::W().deniedKeys.insert(u"Software");
  EXPECT_EQ(ClearRestartMarker(), 5u);
  EXPECT_TRUE(MarkerExists());
  EXPECT_EQ(sim::CallCount("GetModuleHandleW"), 0);

  sim::Reset();
  EXPECT_EQ(ClearRestartMarker(), 2u);

  sim::Reset();
  sim::W().keys.insert(kMarker);
  sim::W().keys.insert(kMarker + u"\\Child");
  EXPECT_EQ(ClearRestartMarker(), 5u);
  EXPECT_TRUE(MarkerExists());
}

// Tests that a restart enables the shutdown privilege on a token opened with
// TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY and asks for a forced reboot for an
// application's planned installation, at once; Windows 2000 gets ExitWindowsEx.
TEST_F(RestartTest, RestartsWithForcedReboot) {
  EXPECT_TRUE(RestartComputer());
  EXPECT_TRUE(sim::W().restarted);
  EXPECT_EQ(sim::W().tokenAccess, 0x28u);
  EXPECT_EQ(sim::W().restartFlags, 6u);
  EXPECT_EQ(sim::W().restartReason, 0x80040002u);
  EXPECT_EQ(sim::CallCount("CloseHandle"), 1);
  sim::Reset();
  sim::W().missingFunctions.insert("InitiateSystemShutdownExW");
  RestartComputer();
  EXPECT_EQ(sim::W().restartReason, 0x00040000u);
}

// Tests that each failure on the way to the restart gives false and, before
// the restart, does not call it.
TEST_F(RestartTest, RestartFailures) {
  struct Case {
    const char* call;  // fails, or nullptr
    bool privilegeHeld;
    bool shutdownCalled;
  };
  const Case cases[] = {
      {"OpenProcessToken", true, false},
      {nullptr, false, false},  // the account does not hold the privilege
      {"LookupPrivilegeValueW", true, false},
      {"AdjustTokenPrivileges", true, false},
      {"InitiateSystemShutdownExW", true, true},
  };
  for (const auto& c : cases) {
    sim::Reset();
    sim::W().shutdownPrivilegeHeld = c.privilegeHeld;
    if (c.call) sim::FailCall(c.call, 1314);
    EXPECT_FALSE(RestartComputer()) << (c.call ? c.call : "privilege not held");
    EXPECT_FALSE(sim::W().restarted);
    EXPECT_EQ(sim::CallCount("InitiateSystemShutdownExW"), c.shutdownCalled ? 1 : 0);
    EXPECT_TRUE(sim::W().openHandles.empty());
  }
}

}  // namespace
