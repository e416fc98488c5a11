// The dialog side of the seam: the modal dialog from the program's own
// template, its controls, and the icon of its title bar.
#include "platform/win32/windows_includes.h"

#include "platform/platform.h"
#include "platform/win32/win32_shared.h"

void DestroyIconHandle(platform::RawHandle handle) {
  ::DestroyIcon(reinterpret_cast<HICON>(handle));
}

namespace platform {
namespace {

HWND AsWindow(WindowRef dialog) { return reinterpret_cast<HWND>(dialog); }

// What DialogBox hands to the dialog procedure through WM_INITDIALOG's
// lParam; it lives on DialogBox's stack for as long as the dialog runs.
struct Binding {
  DialogHandler handler;
  void* context;
};

INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) ::SetWindowLongPtrW(window, DWLP_USER, lParam);
  // Messages before WM_INITDIALOG (WM_SETFONT) and after WM_DESTROY find no
  // binding and get the default handling.
  const Binding* binding = reinterpret_cast<const Binding*>(::GetWindowLongPtrW(window, DWLP_USER));
  if (binding == nullptr) return FALSE;
  const WindowRef dialog = reinterpret_cast<WindowRef>(window);
  switch (message) {
    case WM_INITDIALOG:
      // TRUE lets the system put the focus on the first tab stop.
      return binding->handler(dialog, DialogEvent::kInit, 0, binding->context) ? TRUE : FALSE;
    case WM_COMMAND:
      // Only the control id counts, whatever the notification: a click, the
      // Return key on the default button, Escape and the close box (IDCANCEL).
      return binding->handler(dialog, DialogEvent::kCommand, LOWORD(wParam), binding->context)
                 ? TRUE
                 : FALSE;
    case WM_DESTROY: {
      binding->handler(dialog, DialogEvent::kDestroy, 0, binding->context);
      ::SetWindowLongPtrW(window, DWLP_USER, 0);
      return FALSE;
    }
    default:
      return FALSE;
  }
}

// The waiting window's procedure: its Cancel button, Escape and the close box
// (IDCANCEL) set the flag that WM_INITDIALOG's lParam points to.
INT_PTR CALLBACK WaitingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    bool* cancelled = reinterpret_cast<bool*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (cancelled != nullptr) *cancelled = true;
    return TRUE;
  }
  return FALSE;
}

// Hands every message in the queue to the window (IsDialogMessageW: Escape
// and Tab) or to its procedure.
void DispatchWaitingMessages(HWND window) {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (!::IsDialogMessageW(window, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

}  // namespace

std::uint32_t WaitShowingWindow(RawHandle handle, std::uint32_t milliseconds, std::uint16_t templateId,
                                std::uint32_t textId, const WString& caption, const WString& text,
                                bool& cancelled) {
  cancelled = false;
  HWND window = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), nullptr,
                                     WaitingProcedure, reinterpret_cast<LPARAM>(&cancelled));
  if (window == nullptr) return WAIT_FAILED;
  ::SetWindowTextW(window, reinterpret_cast<const wchar_t*>(caption.c_str()));
  ::SetDlgItemTextW(window, static_cast<int>(textId), reinterpret_cast<const wchar_t*>(text.c_str()));
  ::ShowWindow(window, SW_SHOW);
  HANDLE waited = reinterpret_cast<HANDLE>(handle);
  const DWORD start = ::GetTickCount();
  DWORD result = WAIT_TIMEOUT;
  for (;;) {
    // The queue is emptied before each wait: the wait wakes for messages that
    // arrive after it began, not for those already there.
    DispatchWaitingMessages(window);
    if (cancelled) break;
    const DWORD elapsed = ::GetTickCount() - start;
    const DWORD remaining = elapsed >= milliseconds ? 0 : milliseconds - elapsed;
    const DWORD woke = ::MsgWaitForMultipleObjects(1, &waited, FALSE, remaining, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0 + 1) continue;  // a message: handled at the top
    if (woke == WAIT_ABANDONED_0)
      result = WAIT_ABANDONED;
    else
      result = woke;  // WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED
    break;
  }
  const DWORD lastError = ::GetLastError();
  ::DestroyWindow(window);
  ::SetLastError(lastError);
  return result;
}

std::intptr_t RunModalDialog(std::uint16_t templateId, DialogHandler handler, void* context) {
  Binding binding{handler, context};
  return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), nullptr,
                           DialogProcedure, reinterpret_cast<LPARAM>(&binding));
}

bool EndDialog(WindowRef dialog, std::intptr_t result) {
  return ::EndDialog(AsWindow(dialog), result) != FALSE;
}

IconHandle LoadIconImage(std::uint16_t iconId, int size) {
  // Not LR_SHARED: the icon is the caller's to destroy.
  HANDLE icon = ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                             size, size, LR_DEFAULTCOLOR);
  return IconHandle(reinterpret_cast<RawHandle>(icon));
}

void SetBigIcon(WindowRef dialog, RawHandle icon) {
  ::SendMessageW(AsWindow(dialog), WM_SETICON, ICON_BIG, static_cast<LPARAM>(icon));
}

bool CheckDlgButton(WindowRef dialog, std::uint32_t id, bool checked) {
  return ::CheckDlgButton(AsWindow(dialog), static_cast<int>(id),
                          checked ? BST_CHECKED : BST_UNCHECKED) != FALSE;
}

bool IsDlgButtonChecked(WindowRef dialog, std::uint32_t id) {
  return ::IsDlgButtonChecked(AsWindow(dialog), static_cast<int>(id)) == BST_CHECKED;
}

void ShowDlgItem(WindowRef dialog, std::uint32_t id, bool visible) {
  HWND item = ::GetDlgItem(AsWindow(dialog), static_cast<int>(id));
  if (item != nullptr) ::ShowWindow(item, visible ? SW_SHOW : SW_HIDE);
}

std::uint32_t GetControlText(WindowRef dialog, std::uint32_t id, char16_t* buffer,
                             std::uint32_t size) {
  return ::GetDlgItemTextW(AsWindow(dialog), static_cast<int>(id),
                           reinterpret_cast<wchar_t*>(buffer), static_cast<int>(size));
}

bool SetControlText(WindowRef dialog, std::uint32_t id, const WString& text) {
  return ::SetDlgItemTextW(AsWindow(dialog), static_cast<int>(id),
                           reinterpret_cast<const wchar_t*>(text.c_str())) != FALSE;
}

}  // namespace platform
