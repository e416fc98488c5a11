#include "setup/dll_search.h"

#include "install/run_installer.h"
#include "platform/platform.h"

namespace {

// The system DLLs that the run, and the system's DLLs serving it, load by
// bare name, less those that Windows never searches for.
//
// Measured: the exe run under Wine 8 with WINEDEBUG=+pid,+loaddll (the i686
// exe in a WoW64 prefix and the x64 exe under wine64 load the same set),
// through tests/e2e's harness, in three runs: the help box; -csp -selectDlg
// while mutex_holder.exe holds Windows Installer's mutex, through the
// confirmation, both views of the options dialog, the waiting window, the
// provider's Setup.exe, msiexec and the closing box; and a signed exe with a
// signed package and Setup.exe, -silent. Kept: each "Loaded" line of the
// exe's own process, less
//  - the exe's imports (kernel32, user32, advapi32, shell32, msvcrt) and
//    gdi32, loaded before its first instruction, and what only a Windows
//    that always has SetDefaultDllDirectories has, or loads before the exe's
//    first instruction (kernelbase, sechost, combase, shcore, ucrtbase,
//    win32u); Wine's shell32 and user32 import shlwapi, version and imm32,
//    which older Windows load later, by name: those stay;
//  - the KnownDLLs of every Windows from XP to 7 (imagehlp, ole32, oleaut32,
//    rpcrt4, urlmon, wininet): those come from the system directory whatever
//    the search;
//  - comctl32.dll, which the manifest takes from the side-by-side store (by
//    full path, System32's version 5 would be loaded beside it);
//  - msi.dll, which the run binds by full path itself after the first box;
//  - Wine's own (winex11.drv, zlib1.dll).
// To measure again, run the same three runs with E2E_WINEDEBUG=+pid,+loaddll
// and keep the lines whose process id (the first field, hexadecimal) is the
// exe's (runexit prints it as RUNEXIT_PID, decimal); a new name that is none
// of the above belongs here, and in the simulated Windows' model of what the
// system loads (tests/sim).
//
// Then the DLLs that published reports of DLL planting against installers
// name as loaded by bare name on XP to 7 while a window is shown, a
// signature checked or a child started, which Wine does not load.
constexpr const char16_t* kLoadedByName[] = {
    // measured
    u"bcrypt.dll", u"cabinet.dll", u"crypt32.dll", u"dbghelp.dll", u"imm32.dll", u"mpr.dll",
    u"msimg32.dll", u"msisip.dll", u"mspatcha.dll", u"odbccp32.dll", u"rsaenh.dll", u"shlwapi.dll",
    u"sxs.dll", u"uxtheme.dll", u"version.dll", u"wintrust.dll", u"ws2_32.dll",
    // reported planting targets
    u"apphelp.dll", u"clbcatq.dll", u"cryptbase.dll", u"cryptsp.dll", u"dwmapi.dll", u"lpk.dll",
    u"msctf.dll", u"ntmarta.dll", u"oleacc.dll", u"profapi.dll", u"propsys.dll", u"secur32.dll",
    u"setupapi.dll", u"userenv.dll", u"usp10.dll",
};

}  // namespace

void RestrictDllSearch() {
  if (platform::SetDefaultDllDirectories(platform::kLoadLibrarySearchSystem32)) return;
  platform::SetDllSearchDirectory(u"");
  WString system;
  if (ReadSystemDirectory(system) != 0) return;
  for (const char16_t* name : kLoadedByName) platform::LoadLibraryFromPath(system + u"\\" + name);
}
