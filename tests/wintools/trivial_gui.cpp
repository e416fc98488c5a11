// trivial_gui: a GUI program that only starts and ends, the floor that
// bench/run sets the bootstrapper's start against. Like vexissetup.exe it is
// a static GUI program that uses user32; its one call makes Wine set up what
// every such program pays for (the connection to the display). With the
// argument "box" it shows one message box (the confirmation question's text
// and buttons) and ends when it is answered: the floor of the bootstrapper's
// first question.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR tail, int) {
  if (tail != nullptr && ::lstrcmpW(tail, L"box") == 0)
    return ::MessageBoxW(nullptr, L"Установить Норвикс ЭЦП Browser plug-in?",
                         L"Норвикс ЭЦП Browser plug-in", MB_YESNO) == IDYES ? 0 : 1;
  return ::GetSystemMetrics(SM_CXSCREEN) > 0 ? 0 : 1;
}
