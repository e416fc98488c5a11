// A stand-in msi.dll that the Windows Installer tests plant beside their own
// program. Every function answers kPlanted, so a caller that loaded this file
// instead of the system's msi.dll sees it at once. The signatures match the
// real ones: the functions clean their own arguments off the stack.
#include <windows.h>

namespace {
constexpr UINT kPlanted = 4242;
}  // namespace

extern "C" {
__declspec(dllexport) UINT WINAPI VexisPlantedMsi() { return kPlanted; }
UINT WINAPI PlantedCloseHandle(DWORD) { return kPlanted; }
UINT WINAPI PlantedGetProductInfo(LPCWSTR, LPCWSTR, LPWSTR, DWORD*) { return kPlanted; }
UINT WINAPI PlantedGetProperty(DWORD, LPCWSTR, LPWSTR, DWORD*) { return kPlanted; }
int WINAPI PlantedQueryFeatureState(LPCWSTR, LPCWSTR) { return kPlanted; }
int WINAPI PlantedQueryProductState(LPCWSTR) { return kPlanted; }
int WINAPI PlantedSetInternalUI(int, HWND*) { return kPlanted; }
UINT WINAPI PlantedEnumRelatedProducts(LPCWSTR, DWORD, DWORD, LPWSTR) { return kPlanted; }
UINT WINAPI PlantedSourceListClearAll(LPCWSTR, LPCWSTR, DWORD) { return kPlanted; }
UINT WINAPI PlantedOpenPackageEx(LPCWSTR, DWORD, DWORD*) { return kPlanted; }
UINT WINAPI PlantedSourceListSetInfo(LPCWSTR, LPCWSTR, int, DWORD, LPCWSTR, LPCWSTR) {
  return kPlanted;
}
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
