// runexit: starts one Windows program, waits for it and prints its full
// 32-bit exit code. The wine launcher hands only the low 8 bits of an exit
// code to the Linux shell (3010 arrives as 194); the end-to-end tests read
// 1602, 1603, 3010 and friends from this program's output instead.
//
// Usage:
//   runexit.exe [--env NAME=VALUE]... [--unset NAME]... [--cwd DIR]
//               [--timeout SECONDS] -- PROGRAM [ARGUMENTS...]
//   runexit.exe [options] --cmdline-file FILE
//
// Everything after the "--" token of runexit's own command line is passed to
// CreateProcessW exactly as it stands (quotes, backslashes, Cyrillic), not
// re-quoted. --cmdline-file reads the whole command line of the program
// (UTF-8, an optional BOM and a trailing newline are dropped) from a file,
// for command lines that the wine launcher could not produce from argv.
//
// Output (stdout, one ASCII line each, flushed at once):
//   RUNEXIT_CREATED=<creation time>      when the program has started: its
//                                        creation FILETIME as one decimal number
//                                        (tells a reused process id apart)
//   RUNEXIT_PID=<process id>             right after that
//   RUNEXIT_EXIT=<unsigned decimal>      when it has ended (GetExitCodeProcess)
//   RUNEXIT_START_ERROR=<GetLastError>   when CreateProcessW failed
//   RUNEXIT_TIMEOUT=<seconds>            when --timeout passed; the program is
//                                        then ended with exit code 1460
// runexit's own exit code is the program's exit code (its low 8 bits are all
// the shell sees), 120 for a usage error, 121 when the start failed and 122
// on a time-out.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kUsageError = 120;
constexpr int kStartError = 121;
constexpr int kTimedOut = 122;

void WriteLine(HANDLE out, const std::string& line) {
  std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  FlushFileBuffers(out);
}

void Fail(const std::string& message) {
  WriteLine(GetStdHandle(STD_ERROR_HANDLE), "runexit: " + message);
}

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return std::wstring();
  int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], length, nullptr,
                      nullptr);
  return narrow;
}

// One argument of a command line as the C runtime splits it, plus the offset
// just past it, so that the rest of the line can be taken verbatim.
struct Token {
  std::wstring value;
  size_t end = 0;
};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Splits the next argument starting at pos by the usual rules: blanks
// separate, quotes group, 2n backslashes before a quote give n and a quote
// toggle, 2n+1 give n and a literal quote. The first argument (the program
// name) is split by the simpler rule: quotes only group.
bool NextToken(const std::wstring& line, size_t pos, bool program_name, Token& token) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  if (pos >= line.size()) return false;
  token.value.clear();
  bool quoted = false;
  while (pos < line.size() && (quoted || !IsBlank(line[pos]))) {
    if (program_name) {
      if (line[pos] == L'"') quoted = !quoted;
      else token.value += line[pos];
      ++pos;
      continue;
    }
    size_t slashes = 0;
    while (pos < line.size() && line[pos] == L'\\') { ++slashes; ++pos; }
    if (pos < line.size() && line[pos] == L'"') {
      token.value.append(slashes / 2, L'\\');
      if (slashes % 2 == 1) {
        token.value += L'"';
      } else if (quoted && pos + 1 < line.size() && line[pos + 1] == L'"') {
        token.value += L'"';  // "" inside quotes: a literal quote
        ++pos;
      } else {
        quoted = !quoted;
      }
      ++pos;
    } else {
      token.value.append(slashes, L'\\');
      if (pos < line.size() && slashes == 0) token.value += line[pos++];
    }
  }
  token.end = pos;
  return true;
}

bool ReadCommandLineFile(const std::wstring& path, std::wstring& command_line) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
  command_line = FromUtf8(bytes);
  return true;
}

struct Options {
  std::vector<std::pair<std::wstring, std::wstring>> set;
  std::vector<std::wstring> unset;
  std::wstring cwd;
  std::wstring command_line;
  DWORD timeout_ms = INFINITE;
};

bool ParseOptions(const std::wstring& line, Options& options) {
  Token token;
  if (!NextToken(line, 0, true, token)) return false;  // runexit itself
  size_t pos = token.end;
  while (NextToken(line, pos, false, token)) {
    pos = token.end;
    const std::wstring option = token.value;
    if (option == L"--") {
      while (pos < line.size() && IsBlank(line[pos])) ++pos;
      options.command_line = line.substr(pos);
      return !options.command_line.empty();
    }
    if (!NextToken(line, pos, false, token)) {
      Fail("option " + ToUtf8(option) + " needs a value");
      return false;
    }
    pos = token.end;
    if (option == L"--env") {
      size_t equals = token.value.find(L'=');
      if (equals == std::wstring::npos || equals == 0) {
        Fail("--env needs NAME=VALUE");
        return false;
      }
      options.set.emplace_back(token.value.substr(0, equals), token.value.substr(equals + 1));
    } else if (option == L"--unset") {
      options.unset.push_back(token.value);
    } else if (option == L"--cwd") {
      options.cwd = token.value;
    } else if (option == L"--timeout") {
      options.timeout_ms = static_cast<DWORD>(_wtoi(token.value.c_str())) * 1000u;
    } else if (option == L"--cmdline-file") {
      if (!ReadCommandLineFile(token.value, options.command_line)) {
        Fail("cannot read " + ToUtf8(token.value));
        return false;
      }
      return !options.command_line.empty();
    } else {
      Fail("unknown option " + ToUtf8(option));
      return false;
    }
  }
  return false;
}

}  // namespace

int wmain(int, wchar_t**) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  Options options;
  if (!ParseOptions(GetCommandLineW(), options)) {
    Fail("usage: runexit.exe [--env NAME=VALUE]... [--unset NAME]... [--cwd DIR] [--timeout SECONDS] "
         "(-- PROGRAM [ARGUMENTS...] | --cmdline-file FILE)");
    return kUsageError;
  }
  for (const auto& variable : options.set) SetEnvironmentVariableW(variable.first.c_str(), variable.second.c_str());
  for (const auto& name : options.unset) SetEnvironmentVariableW(name.c_str(), nullptr);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  // CreateProcessW may write into the command line buffer.
  std::vector<wchar_t> command_line(options.command_line.begin(), options.command_line.end());
  command_line.push_back(L'\0');
  if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      options.cwd.empty() ? nullptr : options.cwd.c_str(), &startup, &process)) {
    DWORD error = GetLastError();
    WriteLine(out, "RUNEXIT_START_ERROR=" + std::to_string(error));
    Fail("CreateProcessW failed with " + std::to_string(error) + " for: " + ToUtf8(options.command_line));
    return kStartError;
  }
  CloseHandle(process.hThread);
  FILETIME created = {}, unused[3] = {};
  GetProcessTimes(process.hProcess, &created, &unused[0], &unused[1], &unused[2]);
  WriteLine(out, "RUNEXIT_CREATED=" +
                     std::to_string((static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime));
  WriteLine(out, "RUNEXIT_PID=" + std::to_string(process.dwProcessId));

  int result = 0;
  if (WaitForSingleObject(process.hProcess, options.timeout_ms) == WAIT_TIMEOUT) {
    TerminateProcess(process.hProcess, ERROR_TIMEOUT);
    WaitForSingleObject(process.hProcess, 5000);
    WriteLine(out, "RUNEXIT_TIMEOUT=" + std::to_string(options.timeout_ms / 1000));
    result = kTimedOut;
  } else {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    WriteLine(out, "RUNEXIT_EXIT=" + std::to_string(code));
    result = static_cast<int>(code);
  }
  CloseHandle(process.hProcess);
  return result;
}
