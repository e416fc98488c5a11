// The bootstrapper's own run log: what the run saw, decided and started, one
// event a line, in <TMP>\vexissetup_<stamp>.log. The lowest portable layer,
// so that every module may log: it builds on the seam alone.
//
// The log never changes the run. Without a log (no folder, the file not
// creatable, a write that failed) every call below does nothing; no call
// shows a box, and each keeps the thread's last error as it found it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "platform/platform.h"
#include "platform/wstring.h"

// The time as "%Y-%m-%d-%H-%M-%S" (2014-03-07-09-05-31): the stamp of the run
// log's name and of the installers' log names.
WString FormatTimeStamp(const platform::LocalTime& time);

// The rule of every log name in TMP: a new file at <stem>.log or, when the
// name is taken, <stem>_2.log up to _5, then a few names with sixteen
// hexadecimal digits from the system's random source (<stem>_9F3A….log), so
// that nobody can plant every name a run will try. Each is created (for
// writing, others may read it) as a file that must not exist yet, without
// following a link or reparse point: nothing that exists is opened,
// followed, truncated or deleted. Returns the file created (or an empty
// holder); path is the last name tried; error 0, 80 when every name tried is
// taken (or no random name can be had), 206 for a name longer than MAX_PATH
// allows (nothing is tried for it), or the code of an attempt that failed
// otherwise (a missing or read-only folder: no further name is tried). Keeps
// the thread's last error.
platform::FileHandle CreateNewLogFile(const WString& stem, WString& path, std::uint32_t& error);

// Starts the log of this run in folder (the value of TMP) as a new file
// named vexissetup_<stamp of start>.log, by the rule of CreateNewLogFile
// (none free, or an empty folder: no log). Writes the UTF-8 byte-order mark
// and the first line: the start's local date and time, fileVersion and
// programPath; later lines count milliseconds from here. True when logging.
bool OpenRunLog(const WString& folder, const platform::LocalTime& start,
                const WString& programPath, const WString& fileVersion);

// Closes the log; later calls write nothing. While the log is open, a process
// that the runtime ends at once (out of memory, exit code 8; an internal
// error, 1359) still writes its last line, "exit code <code>: <why>", built
// without allocating.
void CloseRunLog();

// Closes the log when the scope that holds it ends, on every path out of it:
// the entry flow holds one for the length of the run.
class RunLogScope {
 public:
  RunLogScope() = default;
  RunLogScope(const RunLogScope&) = delete;
  RunLogScope& operator=(const RunLogScope&) = delete;
  ~RunLogScope() { CloseRunLog(); }
};

// A piece of a log line: a text, or an unsigned number written in decimal.
struct LogPart {
  LogPart(const char16_t* text) : text(text) {}
  LogPart(std::u16string_view text) : text(text) {}
  LogPart(const WString& text) : text(text) {}
  LogPart(std::uint32_t number) : number(number), isNumber(true) {}
  std::u16string_view text;
  std::uint32_t number = 0;
  bool isNumber = false;
};

// One line: the milliseconds since the start, a blank, the text, CR LF. Line
// breaks inside the text are written as "\n" (and "\r"), so one event is one
// line, and the values of secret properties are masked (MaskSecrets). Each
// line is handed to the system with one WriteFile as it happens; a write
// that fails ends the log, silently. The second form joins its parts:
//   LogLine({label, u": ended after ", elapsed, u" ms with exit code ", code});
void LogLine(std::u16string_view text);
void LogLine(std::initializer_list<LogPart> parts);

// "name: value" and "name: <number>".
void LogValue(std::u16string_view name, std::u16string_view value);
void LogValue(std::u16string_view name, std::uint32_t number);

// A message box and its answer: "box 103: No" (Yes, No, OK, Cancel, another
// answer as a number, "not shown" when the box could not be shown, 0).
void LogBox(std::uint16_t messageId, int answer);

// The last line of a run: "exit code <code>: <meaning>".
void LogExit(std::uint32_t code, std::u16string_view meaning);

// text with the value of every property whose name contains PASSWORD,
// PASSWD, PIN or SECRET (ASCII letters in any case) written as "******". A
// property is a name (the characters before "=" back to a blank, a double
// quote or another "=") and its value: a quoted value ("…", with "" standing
// for one quote; or \"…\" inside a quoted argument) whole with its quotes,
// else up to the next blank or double quote.
WString MaskSecrets(const WString& text);

// The program's own path (GetModuleFileNameW, of any length); empty when it
// cannot be read.
WString ReadProgramPath();

// The file version of the program's own VERSIONINFO resource, "2.0.0.0";
// empty when the resource is missing or malformed.
WString ReadProgramFileVersion();

// Reads the file version from the VS_FIXEDFILEINFO of a VERSIONINFO
// resource's data. False when the data holds none.
bool ParseFileVersion(const std::uint8_t* data, std::uint32_t size, WString& version);
