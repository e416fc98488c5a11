// provider_stub: stands in for a provider's Setup.exe in the end-to-end
// scenarios. Copied as csp\Setup.exe and ucsp\Setup.exe into a scenario's
// tree, it
//   1. appends the command line it was given (GetCommandLineW, as UTF-8, one
//      line) to the record file: the path in the environment variable
//      PROVIDER_RECORD, or record.txt beside itself when that is not set;
//   2. creates the log file named by its /Lv! """<path>""" switch, when the
//      path is not empty, as the provider's installer would;
//   3. when the environment variable PROVIDER_INSTALLER_STATE names a file,
//      appends to it "free" or "busy": whether Windows Installer's mutex
//      Global\_MSIExecute was free when it started;
//   4. exits with the code written in exitcode.txt beside itself (decimal,
//      0 when there is no such file).
// The scenarios learn the order of the providers from the order of the lines,
// and the bootstrapper's judgement of the code from its own exit code.

#include <windows.h>

#include <string>

namespace {

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                      nullptr, nullptr);
  return out;
}

std::wstring OwnFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return L".";
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const auto slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

std::wstring Environment(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return std::wstring();
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, &value[0], size);
  value.resize(length < size ? length : 0);
  return value;
}

bool AppendToFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

std::string ReadSmallFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  char buffer[64] = {};
  DWORD read = 0;
  ReadFile(file, buffer, sizeof buffer - 1, &read, nullptr);
  CloseHandle(file);
  return std::string(buffer, read);
}

// The decimal number at the start of text (after blanks); 0 when there is none.
DWORD ParseCode(const std::string& text) {
  std::size_t at = text.find_first_not_of(" \t\r\n");
  unsigned long long code = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
    code = code * 10 + static_cast<unsigned>(text[at] - '0');
  return static_cast<DWORD>(code);
}

// The path between the three quotes that follow /Lv! and the next three.
std::wstring LogPathOf(const std::wstring& commandLine) {
  const std::wstring opening = L"/Lv! \"\"\"";
  const auto start = commandLine.find(opening);
  if (start == std::wstring::npos) return std::wstring();
  const auto from = start + opening.size();
  const auto end = commandLine.find(L"\"\"\"", from);
  if (end == std::wstring::npos) return std::wstring();
  return commandLine.substr(from, end - from);
}

// "busy" while another process owns Windows Installer's mutex, else "free".
std::string InstallerState() {
  HANDLE mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, L"Global\\_MSIExecute");
  if (mutex == nullptr) return "free";
  const DWORD waited = WaitForSingleObject(mutex, 0);
  const bool free = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  if (free) ReleaseMutex(mutex);
  CloseHandle(mutex);
  return free ? "free" : "busy";
}

}  // namespace

int wmain() {
  const std::wstring commandLine = GetCommandLineW();
  const std::wstring folder = OwnFolder();

  std::wstring record = Environment(L"PROVIDER_RECORD");
  if (record.empty()) record = folder + L"\\record.txt";
  // A record that cannot be written must not pass for a provider that was
  // never started: the scenario sees this code instead of its chosen one.
  if (!AppendToFile(record, ToUtf8(commandLine) + "\n")) return 97;

  const std::wstring stateRecord = Environment(L"PROVIDER_INSTALLER_STATE");
  if (!stateRecord.empty() && !AppendToFile(stateRecord, InstallerState() + "\n")) return 96;

  const std::wstring logPath = LogPathOf(commandLine);
  if (!logPath.empty() &&
      !AppendToFile(logPath, "=== Verbose logging started by the provider stand-in\r\n"))
    return 98;

  return static_cast<int>(ParseCode(ReadSmallFile(folder + L"\\exitcode.txt")));
}
