#include "bootstrap/run_log.h"

#include "bootstrap/last_failure.h"
#include "platform/result_codes.h"

namespace {

constexpr int kStampedNames = 5;  // <stem>.log, then _2 … _5
constexpr int kRandomNames = 3;
constexpr std::size_t kRandomBytes = 8;
// A log file is written here and may be read by anyone meanwhile.
constexpr std::uint32_t kLogAccess = platform::kGenericWrite;
constexpr std::uint32_t kLogShare = platform::kFileShareRead;

constexpr std::uint16_t kVersionInfoName = 1;  // VS_VERSION_INFO
// VS_VERSIONINFO: three 16-bit fields, the key "VS_VERSION_INFO" with its
// terminator (32 bytes), padded to 4 bytes, then VS_FIXEDFILEINFO (52 bytes).
constexpr std::uint32_t kFixedInfoOffset = 40;
constexpr std::uint32_t kFixedInfoSize = 52;
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;

constexpr std::uint32_t kProgramPathMaximum = 32768;

struct RunLog {
  platform::FileHandle file;  // closed by its holder, at the latest at process exit
  std::uint32_t startTick = 0;
};

RunLog g_log;

std::uint32_t ReadUnit(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0] | (at[1] << 8));
}

std::uint32_t ReadDoubleUnit(const std::uint8_t* at) {
  return ReadUnit(at) | (ReadUnit(at + 2) << 16);
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

// word (upper-case ASCII) within text[begin, end), ASCII letters compared
// without regard to case.
bool HoldsWord(std::u16string_view name, std::u16string_view word) {
  for (std::size_t at = 0; at + word.size() <= name.size(); ++at)
    if (EqualIgnoringAsciiCase(name.substr(at, word.size()), word)) return true;
  return false;
}

bool IsSecretName(const WString& text, std::size_t begin, std::size_t end) {
  const std::u16string_view name = std::u16string_view(text).substr(begin, end - begin);
  for (const char16_t* word : {u"PASSWORD", u"PASSWD", u"PIN", u"SECRET"})
    if (HoldsWord(name, word)) return true;
  return false;
}

// The end of the value that begins at `at`.
std::size_t ValueEnd(const WString& text, std::size_t at) {
  std::size_t quote = at;
  while (quote < text.size() && text[quote] == u'\\') ++quote;
  if (quote < text.size() && text[quote] == u'"') {
    // \"…\" inside a quoted argument ends at the next \"; "…" at the next
    // quote that is not doubled.
    const bool escaped = quote > at;
    for (std::size_t i = quote + 1; i < text.size(); ++i) {
      if (text[i] != u'"') continue;
      if (escaped) {
        if (text[i - 1] == u'\\') return i + 1;
      } else if (i + 1 < text.size() && text[i + 1] == u'"') {
        ++i;
      } else {
        return i + 1;
      }
    }
    return text.size();
  }
  std::size_t end = at;
  while (end < text.size() && !IsBlank(text[end]) && text[end] != u'"') ++end;
  return end;
}

WString Join(std::initializer_list<LogPart> parts) {
  WString text;
  for (const LogPart& part : parts) {
    if (part.isNumber)
      text += Decimal(part.number);
    else
      text.append(part.text.data(), part.text.size());
  }
  return text;
}

// The text as written: secrets masked, then one line, in UTF-8, with CR LF.
std::string Encode(const WString& text) {
  const WString masked = MaskSecrets(text);
  WString line;
  line.reserve(masked.size() + 2);
  for (const char16_t c : masked) {
    if (c == u'\n')
      line += u"\\n";
    else if (c == u'\r')
      line += u"\\r";
    else
      line += c;
  }
  line += u"\r\n";
  return ToUtf8(line);
}

// One WriteFile; a failure ends the log. The caller's last error survives,
// so that logging between a call and its GetLastError changes nothing.
void Write(const char* bytes, std::size_t size) {
  if (!g_log.file) return;
  const std::uint32_t lastError = platform::GetLastError();
  if (!platform::WriteFile(g_log.file.get(), bytes, static_cast<std::uint32_t>(size)))
    g_log.file.reset();
  platform::SetLastError(lastError);
}

void Write(const std::string& bytes) { Write(bytes.data(), bytes.size()); }

// The last line of a run that the runtime ends at once (out of memory, an
// internal error), built on the stack: nothing may be allocated there.
void WriteFatalExitLine(std::uint32_t code) {
  char line[128];
  std::size_t at = 0;
  const auto put = [&](const char* text) {
    while (*text != 0 && at < sizeof(line)) line[at++] = *text++;
  };
  // The number right-aligned in `width` places, as Decimal writes it.
  const auto putNumber = [&](std::uint32_t number, std::size_t width) {
    char digits[10];
    std::size_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + number % 10);
      number /= 10;
    } while (number != 0);
    for (; width > count; --width) put(" ");
    while (count > 0 && at < sizeof(line)) line[at++] = digits[--count];
  };
  putNumber(platform::GetTickCount() - g_log.startTick, 7);
  put(" exit code ");
  putNumber(code, 0);
  put(code == winerror::kNotEnoughMemory ? ": the system ran out of memory; the run ended at once\r\n"
                                         : ": an internal error ended the run at once\r\n");
  Write(line, at);
}

// "2014-03-07", and a field of the time with two digits.
WString TwoDigits(int field) { return Decimal(field < 0 ? 0u : static_cast<std::uint32_t>(field), 2); }

WString Date(const platform::LocalTime& time) {
  return Join({Decimal(time.year < 0 ? 0u : static_cast<std::uint32_t>(time.year), 4), u"-",
               TwoDigits(time.month), u"-", TwoDigits(time.day)});
}

}  // namespace

WString FormatTimeStamp(const platform::LocalTime& time) {
  return Join({Date(time), u"-", TwoDigits(time.hour), u"-", TwoDigits(time.minute), u"-",
               TwoDigits(time.second)});
}

platform::FileHandle CreateNewLogFile(const WString& stem, WString& path, std::uint32_t& error) {
  const std::uint32_t lastError = platform::GetLastError();
  platform::FileHandle file;
  for (int attempt = 1; attempt <= kStampedNames + kRandomNames; ++attempt) {
    path = stem;
    if (attempt > 1 && attempt <= kStampedNames) {
      path += {u'_', static_cast<char16_t>(u'0' + attempt)};
    } else if (attempt > kStampedNames) {
      // The names with a number can be planted ahead of time for every
      // coming second; these cannot.
      std::uint8_t random[kRandomBytes];
      if (!platform::GenerateRandom(random, kRandomBytes)) {
        error = winerror::kFileExists;
        break;
      }
      path += u'_';
      for (const std::uint8_t byte : random) path += Hex(byte).substr(8);
    }
    path += u".log";
    // Refused here, under Wine as under Windows, whose CreateFileW refuses
    // it (3 or 206).
    if (path.size() > platform::kMaxPathLength) {
      error = winerror::kFilenameExcedRange;
      break;
    }
    file = platform::CreateNewFile(path, kLogAccess, kLogShare);
    // A failure that left no code must not read as success.
    error = file ? 0 : LastFailure();
    // Only a taken name is worth another name: a folder that cannot take a
    // new file takes none under any name.
    if (error != winerror::kFileExists && error != winerror::kAlreadyExists) break;
    error = winerror::kFileExists;
  }
  platform::SetLastError(lastError);
  return file;
}

bool OpenRunLog(const WString& folder, const platform::LocalTime& start,
                const WString& programPath, const WString& fileVersion) {
  CloseRunLog();
  if (folder.empty()) return false;
  // The same rule as the installers' logs: a folder ending in a backslash
  // gives a doubled one, which Windows accepts.
  WString path;
  std::uint32_t error = 0;
  g_log.file = CreateNewLogFile(Join({folder, u"\\vexissetup_", FormatTimeStamp(start)}), path, error);
  if (!g_log.file) return false;

  g_log.startTick = platform::GetTickCount();
  platform::SetFatalExitHandler(&WriteFatalExitLine);
  const WString when = Join({Date(start), u" ", TwoDigits(start.hour), u":",
                             TwoDigits(start.minute), u":", TwoDigits(start.second)});
  Write("\xEF\xBB\xBF" + Encode(Join({when, u" local time, file version ",
                                      fileVersion.empty() ? std::u16string_view(u"unknown") : fileVersion, u", ",
                                      programPath})));
  return static_cast<bool>(g_log.file);
}

void CloseRunLog() {
  platform::SetFatalExitHandler(nullptr);
  g_log.file.reset();
}

// The list spelt out: a braced {text} alone would pick this overload again
// under some compilers (clang) and never end.
void LogLine(std::u16string_view text) { LogLine(std::initializer_list<LogPart>{LogPart(text)}); }

void LogLine(std::initializer_list<LogPart> parts) {
  if (!g_log.file) return;
  const WString elapsed = Decimal(platform::GetTickCount() - g_log.startTick, 7, u' ');
  Write(ToUtf8(elapsed) + " " + Encode(Join(parts)));
}

void LogValue(std::u16string_view name, std::u16string_view value) {
  LogLine({name, u": ", value});
}

void LogValue(std::u16string_view name, std::uint32_t number) { LogLine({name, u": ", number}); }

void LogBox(std::uint16_t messageId, int answer) {
  const char16_t* text = nullptr;
  switch (answer) {
    case 0: text = u"not shown"; break;
    case platform::kIdOk: text = u"OK"; break;
    case platform::kIdCancel: text = u"Cancel"; break;
    case platform::kIdYes: text = u"Yes"; break;
    case platform::kIdNo: text = u"No"; break;
  }
  if (text != nullptr)
    LogLine({u"box ", messageId, u": ", text});
  else
    LogLine({u"box ", messageId, u": ", static_cast<std::uint32_t>(answer)});
}

void LogExit(std::uint32_t code, std::u16string_view meaning) {
  LogLine({u"exit code ", code, u": ", meaning});
}

WString MaskSecrets(const WString& text) {
  WString out;
  std::size_t copied = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'=') continue;
    std::size_t begin = i;
    while (begin > 0 && !IsBlank(text[begin - 1]) && text[begin - 1] != u'"' &&
           text[begin - 1] != u'=')
      --begin;
    if (!IsSecretName(text, begin, i)) continue;
    const std::size_t end = ValueEnd(text, i + 1);
    out.append(text, copied, i + 1 - copied);
    out += u"******";
    copied = end;
    i = end - 1;
  }
  out.append(text, copied, WString::npos);
  return out;
}

WString ReadProgramPath() {
  // A path longer than the buffer comes back cut to its size: try a larger one.
  for (std::uint32_t size = 260; size <= kProgramPathMaximum; size *= 2) {
    WString buffer(size, u'\0');
    const std::uint32_t length = platform::ReadModuleFileName(&buffer[0], size);
    if (length == 0) return WString();
    if (length < size) {
      buffer.resize(length);
      return buffer;
    }
  }
  return WString();
}

WString ReadProgramFileVersion() {
  const std::uint8_t* data = nullptr;
  std::uint32_t size = 0;
  WString version;
  if (platform::FindOwnResource(platform::kResourceVersion, kVersionInfoName, false, &data, &size))
    ParseFileVersion(data, size, version);
  return version;
}

bool ParseFileVersion(const std::uint8_t* data, std::uint32_t size, WString& version) {
  if (size < kFixedInfoOffset + kFixedInfoSize || ReadUnit(data + 2) < kFixedInfoSize ||
      ReadDoubleUnit(data + kFixedInfoOffset) != kFixedInfoSignature)
    return false;
  const std::uint32_t high = ReadDoubleUnit(data + kFixedInfoOffset + 8);
  const std::uint32_t low = ReadDoubleUnit(data + kFixedInfoOffset + 12);
  version = Join({high >> 16, u".", high & 0xFFFF, u".", low >> 16, u".", low & 0xFFFF});
  return true;
}
