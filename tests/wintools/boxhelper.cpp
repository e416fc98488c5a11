// boxhelper: reads and answers the dialog windows of other processes in the
// same Wine prefix, for the end-to-end tests. Output is UTF-8 JSON on stdout.
//
// Usage:
//   boxhelper.exe list
//       Every visible top-level window of other processes.
//   boxhelper.exe wait [MATCH] [--timeout S] [--while-pid PID [--created T]]
//       Waits for a matching window and describes it. Exit 0 when found; exit 1
//       with "found": false when none appeared within the time-out or, with
//       --while-pid, before that process ended ("reason" says which). T is the
//       process's creation FILETIME as runexit prints it: a process that now
//       has that id but another creation time counts as the ended one.
//   boxhelper.exe press ID [MATCH] [--timeout S] [--command] [--wait-close]
//       Clicks the control ID of a matching window (BM_CLICK, or with
//       --command a WM_COMMAND BN_CLICKED to the dialog). With --wait-close,
//       waits until the window is gone and fails when it stays.
//   boxhelper.exe key KEY [MATCH] [--timeout S] [--wait-close]
//       Posts one key press to the focused control of a matching window. KEY
//       is RETURN, ESCAPE, TAB, SPACE, LEFT, RIGHT, UP, DOWN or one letter or
//       digit (sent as WM_KEYDOWN, WM_CHAR, WM_KEYUP).
//   boxhelper.exe settext ID TEXT [MATCH] [--timeout S]
//       Sets the text of control ID (an edit box) with WM_SETTEXT.
//
// MATCH: --caption TEXT (exact caption, any class), --class NAME, --pid PID.
// Without --caption and --class a window of the dialog class #32770 matches.
// A time-out of 0 looks once. The default time-out is 60 seconds.
//
// A described window:
//   {"found": true, "hwnd": "0x...", "pid": N, "class": "#32770",
//    "caption": "...", "rect": [left, top, right, bottom],
//    "message_box": true, "text": "...", "default_button": ID, "focus": ID,
//    "buttons": [{"id": N, "text": "...", "default": bool}, ...],
//    "controls": [{"id": N, "class": "...", "text": "...", "style": "0x...",
//                  "visible": bool, "enabled": bool, "checked": 0|1|2|null}]}
// "text" is the message of a message box (its Static control 0xFFFF), or for
// other dialogs the texts of the visible text Static controls, one a line.
// "buttons" are the visible push buttons. Exit 2 means a usage error or a
// failed action (the reason is on stderr and in "error").

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kDefaultTimeoutMs = 60000;
constexpr DWORD kPollMs = 15;
constexpr UINT kSendTimeoutMs = 3000;
constexpr int kMessageTextId = 0xFFFF;

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], length, nullptr,
                      nullptr);
  return narrow;
}

void Write(DWORD which, const std::string& text) {
  HANDLE handle = GetStdHandle(which);
  DWORD written = 0;
  WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  FlushFileBuffers(handle);
}

std::string Json(const std::wstring& text) {
  std::string utf8 = ToUtf8(text);
  std::string quoted = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': quoted += "\\\""; break;
      case '\\': quoted += "\\\\"; break;
      case '\n': quoted += "\\n"; break;
      case '\r': quoted += "\\r"; break;
      case '\t': quoted += "\\t"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          snprintf(escaped, sizeof escaped, "\\u%04x", c);
          quoted += escaped;
        } else {
          quoted += static_cast<char>(c);
        }
    }
  }
  return quoted + "\"";
}

std::string Bool(bool value) { return value ? "true" : "false"; }

std::string Hex(unsigned long long value) {
  char text[24];
  snprintf(text, sizeof text, "0x%llx", value);
  return text;
}

int Finish(const std::string& json, int code) {
  Write(STD_OUTPUT_HANDLE, json + "\n");
  return code;
}

int UsageError(const std::string& message) {
  Write(STD_ERROR_HANDLE, "boxhelper: " + message + "\n");
  return Finish("{\"error\": " + Json(std::wstring(message.begin(), message.end())) + "}", 2);
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

// The text of a window of another process: WM_GETTEXT is marshalled across
// processes (GetWindowTextW would not read an edit box's contents there).
std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) {
    wchar_t fallback[1024] = {};
    GetWindowTextW(window, fallback, 1024);
    return fallback;
  }
  std::vector<wchar_t> buffer(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                      SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied);
  return std::wstring(buffer.data(), copied < buffer.size() ? copied : buffer.size() - 1);
}

DWORD ProcessOf(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

bool IsButtonClass(const std::wstring& name) { return lstrcmpiW(name.c_str(), L"Button") == 0; }

bool IsPushButton(LONG style) {
  LONG type = style & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

bool HasCheckState(LONG style) {
  switch (style & BS_TYPEMASK) {
    case BS_CHECKBOX: case BS_AUTOCHECKBOX: case BS_3STATE: case BS_AUTO3STATE:
    case BS_RADIOBUTTON: case BS_AUTORADIOBUTTON:
      return true;
    default:
      return false;
  }
}

bool IsTextStatic(LONG style) {
  switch (style & SS_TYPEMASK) {
    case SS_LEFT: case SS_CENTER: case SS_RIGHT: case SS_SIMPLE: case SS_LEFTNOWORDWRAP:
      return true;
    default:
      return false;
  }
}

struct Match {
  std::wstring caption;
  std::wstring window_class;
  DWORD pid = 0;
  bool has_caption = false;
  bool has_class = false;
};

struct Search {
  const Match* match = nullptr;
  HWND found = nullptr;
  std::vector<HWND> visible;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM context) {
  Search& search = *reinterpret_cast<Search*>(context);
  if (!IsWindowVisible(window) || ProcessOf(window) == GetCurrentProcessId()) return TRUE;
  search.visible.push_back(window);
  const Match* match = search.match;
  if (!match || search.found) return TRUE;
  if (match->pid != 0 && ProcessOf(window) != match->pid) return TRUE;
  if (match->has_class && lstrcmpiW(ClassOf(window).c_str(), match->window_class.c_str()) != 0) return TRUE;
  if (match->has_caption && TextOf(window) != match->caption) return TRUE;
  if (!match->has_caption && !match->has_class && ClassOf(window) != L"#32770") return TRUE;
  search.found = window;
  return TRUE;
}

std::string Summary(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return "{\"hwnd\": \"" + Hex(reinterpret_cast<ULONG_PTR>(window)) + "\", \"pid\": " +
         std::to_string(ProcessOf(window)) + ", \"class\": " + Json(ClassOf(window)) +
         ", \"caption\": " + Json(TextOf(window)) + ", \"rect\": [" + std::to_string(rect.left) + ", " +
         std::to_string(rect.top) + ", " + std::to_string(rect.right) + ", " + std::to_string(rect.bottom) +
         "]}";
}

std::string VisibleWindows(const std::vector<HWND>& windows) {
  std::string list = "[";
  for (size_t i = 0; i < windows.size(); ++i) list += (i ? ", " : "") + Summary(windows[i]);
  return list + "]";
}

BOOL CALLBACK CollectChild(HWND window, LPARAM context) {
  reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
  return TRUE;
}

std::vector<HWND> ChildrenOf(HWND window) {
  std::vector<HWND> children;
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

int FocusedId(HWND dialog) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) || !info.hwndFocus) return -1;
  return info.hwndFocus == dialog ? -1 : GetDlgCtrlID(info.hwndFocus);
}

std::string Describe(HWND window) {
  std::vector<HWND> children = ChildrenOf(window);
  bool message_box = false;
  for (HWND child : children) {
    if (GetDlgCtrlID(child) == kMessageTextId && lstrcmpiW(ClassOf(child).c_str(), L"Static") == 0) {
      message_box = true;
    }
  }
  // Wine's message box answers DM_GETDEFID with IDOK even when it has no
  // such button: only an id that names a push button counts, else the push
  // button drawn as the default one.
  DWORD_PTR def_id = 0;
  int default_button = -1;
  if (SendMessageTimeoutW(window, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &def_id) &&
      HIWORD(def_id) == DC_HASDEFID) {
    for (HWND child : children) {
      if (GetDlgCtrlID(child) == LOWORD(def_id) && IsButtonClass(ClassOf(child)) &&
          IsPushButton(GetWindowLongW(child, GWL_STYLE))) {
        default_button = LOWORD(def_id);
      }
    }
  }
  for (HWND child : children) {
    if (default_button == -1 && IsButtonClass(ClassOf(child)) &&
        (GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
      default_button = GetDlgCtrlID(child);
    }
  }

  std::wstring text;
  std::string buttons = "[";
  std::string controls = "[";
  for (HWND child : children) {
    const std::wstring name = ClassOf(child);
    const std::wstring child_text = TextOf(child);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    const int id = GetDlgCtrlID(child);
    const bool visible = IsWindowVisible(child) != FALSE;
    const bool is_static = lstrcmpiW(name.c_str(), L"Static") == 0;
    if (message_box ? id == kMessageTextId && is_static
                    : is_static && visible && IsTextStatic(style) && !child_text.empty()) {
      text += (text.empty() ? L"" : L"\n") + child_text;
    }
    std::string checked = "null";
    if (IsButtonClass(name) && HasCheckState(style)) {
      DWORD_PTR state = 0;
      SendMessageTimeoutW(child, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &state);
      checked = std::to_string(state);
    }
    if (IsButtonClass(name) && IsPushButton(style) && visible) {
      bool is_default = id == default_button;
      buttons += std::string(buttons.size() > 1 ? ", " : "") + "{\"id\": " + std::to_string(id) +
                 ", \"text\": " + Json(child_text) + ", \"default\": " + Bool(is_default) + "}";
    }
    controls += std::string(controls.size() > 1 ? ", " : "") + "{\"id\": " + std::to_string(id) +
                ", \"class\": " + Json(name) + ", \"text\": " + Json(child_text) + ", \"style\": \"" +
                Hex(static_cast<ULONG>(style)) + "\", \"visible\": " + Bool(visible) +
                ", \"enabled\": " + Bool(IsWindowEnabled(child) != FALSE) + ", \"checked\": " + checked + "}";
  }
  std::string summary = Summary(window);
  summary.pop_back();  // reopen the summary object
  return "{\"found\": true, " + summary.substr(1) + ", \"message_box\": " + Bool(message_box) +
         ", \"text\": " + Json(text) + ", \"default_button\": " + std::to_string(default_button) +
         ", \"focus\": " + std::to_string(FocusedId(window)) + ", \"buttons\": " + buttons +
         "], \"controls\": " + controls + "]}";
}

struct Wait {
  Match match;
  DWORD timeout_ms = kDefaultTimeoutMs;
  DWORD while_pid = 0;
  ULONGLONG created = 0;
};

// The process to watch, or nullptr when it has ended: Wine hands a freed
// process id out again soon, even to this helper itself.
HANDLE OpenWatched(DWORD pid, ULONGLONG created) {
  if (pid == GetCurrentProcessId()) return nullptr;
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process || created == 0) return process;
  FILETIME creation = {}, unused[3] = {};
  GetProcessTimes(process, &creation, &unused[0], &unused[1], &unused[2]);
  if (((static_cast<ULONGLONG>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime) != created) {
    CloseHandle(process);
    return nullptr;
  }
  return process;
}

// Waits for a matching window whose description has settled (two looks in a
// row agree), so that a dialog still filling its controls is not reported
// half-done. Returns nullptr with the reason and the visible windows filled
// in when none came.
HWND WaitForWindow(const Wait& wait, std::string& description, std::string& reason, std::string& visible) {
  HANDLE watched = nullptr;
  if (wait.while_pid != 0) watched = OpenWatched(wait.while_pid, wait.created);
  const ULONGLONG start = GetTickCount64();
  std::string previous;
  for (;;) {
    // Whether the watched process had ended is read before looking for
    // windows, so a box shown just before it ended is still seen.
    const bool ended = wait.while_pid != 0 && (!watched || WaitForSingleObject(watched, 0) == WAIT_OBJECT_0);
    Search search;
    search.match = &wait.match;
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
      std::string current = Describe(search.found);
      if (current == previous || GetTickCount64() - start >= wait.timeout_ms) {
        if (watched) CloseHandle(watched);
        description = current;
        return search.found;
      }
      previous = current;
      Sleep(kPollMs);
      continue;
    }
    previous.clear();
    visible = VisibleWindows(search.visible);
    if (ended) {
      reason = "process-ended";
      break;
    }
    if (GetTickCount64() - start >= wait.timeout_ms) {
      reason = "timeout";
      break;
    }
    Sleep(kPollMs);
  }
  if (watched) CloseHandle(watched);
  return nullptr;
}

int NotFound(const std::string& reason, const std::string& visible) {
  return Finish("{\"found\": false, \"reason\": \"" + reason + "\", \"windows\": " + visible + "}", 1);
}

bool WaitClosed(HWND window, DWORD timeout_ms) {
  const ULONGLONG start = GetTickCount64();
  while (IsWindow(window) && IsWindowVisible(window)) {
    if (GetTickCount64() - start >= timeout_ms) return false;
    Sleep(kPollMs);
  }
  return true;
}

HWND FindControl(HWND dialog, int id) {
  for (HWND child : ChildrenOf(dialog)) {
    if (GetDlgCtrlID(child) == id) return child;
  }
  return nullptr;
}

struct KeyName {
  const wchar_t* name;
  UINT vk;
  wchar_t character;
};

constexpr KeyName kKeys[] = {
    {L"RETURN", VK_RETURN, L'\r'}, {L"ENTER", VK_RETURN, L'\r'}, {L"ESCAPE", VK_ESCAPE, 27},
    {L"TAB", VK_TAB, L'\t'},       {L"SPACE", VK_SPACE, L' '},    {L"LEFT", VK_LEFT, 0},
    {L"RIGHT", VK_RIGHT, 0},       {L"UP", VK_UP, 0},             {L"DOWN", VK_DOWN, 0},
};

bool ParseKey(const std::wstring& name, UINT& vk, wchar_t& character) {
  for (const KeyName& key : kKeys) {
    if (lstrcmpiW(name.c_str(), key.name) == 0) {
      vk = key.vk;
      character = key.character;
      return true;
    }
  }
  if (name.size() == 1 && iswalnum(name[0])) {
    character = name[0];
    vk = static_cast<UINT>(towupper(name[0]));
    return true;
  }
  return false;
}

void PostKey(HWND dialog, UINT vk, wchar_t character) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  HWND target = dialog;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus) {
    target = info.hwndFocus;
  }
  const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
  const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
  const LPARAM up = down | (1u << 30) | (1u << 31);
  PostMessageW(target, WM_KEYDOWN, vk, down);
  if (character) PostMessageW(target, WM_CHAR, character, down);
  PostMessageW(target, WM_KEYUP, vk, up);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return UsageError("usage: boxhelper.exe list|wait|press ID|key KEY|settext ID TEXT [options]");
  const std::wstring command = argv[1];
  std::vector<std::wstring> positional;
  Wait wait;
  bool use_command = false;
  bool wait_close = false;
  for (int i = 2; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == L"--caption" && has_value) {
      wait.match.caption = argv[++i];
      wait.match.has_caption = true;
    } else if (arg == L"--class" && has_value) {
      wait.match.window_class = argv[++i];
      wait.match.has_class = true;
    } else if (arg == L"--pid" && has_value) {
      wait.match.pid = static_cast<DWORD>(_wtoi(argv[++i]));
    } else if (arg == L"--timeout" && has_value) {
      wait.timeout_ms = static_cast<DWORD>(_wtof(argv[++i]) * 1000.0);
    } else if (arg == L"--while-pid" && has_value) {
      wait.while_pid = static_cast<DWORD>(_wtoi(argv[++i]));
    } else if (arg == L"--created" && has_value) {
      wait.created = _wcstoui64(argv[++i], nullptr, 10);
    } else if (arg == L"--command") {
      use_command = true;
    } else if (arg == L"--wait-close") {
      wait_close = true;
    } else if (arg.rfind(L"--", 0) == 0) {
      return UsageError("unknown option " + ToUtf8(arg));
    } else {
      positional.push_back(arg);
    }
  }

  if (command == L"list") {
    Search search;
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return Finish("{\"windows\": " + VisibleWindows(search.visible) + "}", 0);
  }

  size_t needed = command == L"wait" ? 0 : command == L"settext" ? 2 : 1;
  if (command != L"wait" && command != L"press" && command != L"key" && command != L"settext") {
    return UsageError("unknown command " + ToUtf8(command));
  }
  if (positional.size() != needed) return UsageError("wrong number of arguments for " + ToUtf8(command));

  std::string description, reason, visible;
  HWND window = WaitForWindow(wait, description, reason, visible);
  if (!window) return NotFound(reason, visible);
  if (command == L"wait") return Finish(description, 0);

  if (command == L"key") {
    UINT vk = 0;
    wchar_t character = 0;
    if (!ParseKey(positional[0], vk, character)) return UsageError("unknown key " + ToUtf8(positional[0]));
    PostKey(window, vk, character);
  } else {
    const int id = _wtoi(positional[0].c_str());
    HWND control = FindControl(window, id);
    if (!control) return UsageError("no control " + std::to_string(id) + " in " + description);
    if (command == L"settext") {
      DWORD_PTR result = 0;
      SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(positional[1].c_str()),
                          SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    } else if (use_command) {
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
    } else {
      // Sent, so that a check box's new state is readable at once; a click
      // that starts long work only makes the send time out, the click stays.
      DWORD_PTR result = 0;
      SendMessageTimeoutW(control, BM_CLICK, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &result);
    }
  }
  const bool closed = wait_close ? WaitClosed(window, wait.timeout_ms) : !IsWindow(window);
  const std::string result = "{\"done\": true, \"closed\": " + Bool(closed) + ", \"window\": " + description + "}";
  return Finish(result, wait_close && !closed ? 1 : 0);
}
