// Being written: the dialog side of the seam.
#include "platform/platform.h"
#include "platform/win32/dialog_binding.h"
void DestroyIconHandle(platform::RawHandle) {}
namespace platform {
std::intptr_t DialogBox(std::uint16_t, DialogHandler, void*) { return -1; }
bool EndDialog(WindowRef, std::intptr_t) { return false; }
IconHandle LoadIcon(std::uint16_t, int) { return IconHandle(); }
void SetBigIcon(WindowRef, RawHandle) {}
bool CheckDlgButton(WindowRef, std::uint32_t, bool) { return false; }
bool IsDlgButtonChecked(WindowRef, std::uint32_t) { return false; }
void ShowDlgItem(WindowRef, std::uint32_t, bool) {}
std::uint32_t GetDlgItemText(WindowRef, std::uint32_t, char16_t*, std::uint32_t) { return 0; }
bool SetDlgItemText(WindowRef, std::uint32_t, const WString&) { return false; }
}  // namespace platform
