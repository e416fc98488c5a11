// trivial_gui: a GUI program that only starts and ends, the floor that
// bench/run sets the bootstrapper's start against. Like vexissetup.exe it is
// a static GUI program that uses user32; its one call makes Wine set up what
// every such program pays for (the connection to the display).
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  return ::GetSystemMetrics(SM_CXSCREEN) > 0 ? 0 : 1;
}
