#include "install/child_process.h"

#include "bootstrap/message_ids.h"
#include "bootstrap/messages.h"
#include "platform/platform.h"

namespace {
constexpr std::uint32_t kWaitObject0 = 0;

// Appends value in decimal, zero-padded to width digits. Formatted by hand:
// the exe has no printf family, whose C99 implementation alone would be a
// fifth of the file.
void AppendNumber(WString& out, int value, int width) {
  char16_t digits[16];
  int count = 0;
  unsigned rest = value < 0 ? 0u : static_cast<unsigned>(value);
  do {
    digits[count++] = static_cast<char16_t>(u'0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  while (count < width) digits[count++] = u'0';
  while (count > 0) out.push_back(digits[--count]);
}
}  // namespace

std::uint32_t FailureCode(std::uint32_t code) { return code != 0 ? code : kUnknownFailure; }

std::uint32_t RunChildProcess(const WString& commandLine, bool* exited) {
  if (exited) *exited = false;
  // CreateProcessW may write into its command line, so it gets a copy.
  WString writable = commandLine;
  platform::ChildProcess child;
  if (!platform::CreateProcess(writable, platform::kCreateNoWindow, child))
    return FailureCode(platform::GetLastError());

  std::uint32_t result = 0;
  std::uint32_t exitCode = 0;
  if (platform::WaitForever(child.process.get()) != kWaitObject0) {
    // Without the wait the child may still be running: its outcome is
    // unknown, which must not read as the installer's success.
    result = FailureCode(platform::GetLastError());
  } else if (!platform::GetExitCodeProcess(child.process.get(), exitCode)) {
    result = FailureCode(platform::GetLastError());
  } else {
    result = exitCode;
    if (exited) *exited = true;
  }
  child.process.reset();
  child.thread.reset();
  return result;
}

void MakeTimeStamp(WString& out) {
  const platform::LocalTime now = platform::GetLocalTime();
  out.clear();
  AppendNumber(out, now.year, 4);
  for (const int field : {now.month, now.day, now.hour, now.minute, now.second}) {
    out.push_back(u'-');
    AppendNumber(out, field, 2);
  }
  platform::WriteStandardOutput(out + u"\n");
}

std::uint32_t ReadEnvironmentVariable(const WString& name, WString& value) {
  const std::uint32_t size = platform::GetEnvironmentVariable(name, nullptr, 0);
  WString buffer(size, u'\0');
  const std::uint32_t length =
      platform::GetEnvironmentVariable(name, size ? &buffer[0] : nullptr, size);
  if (length == 0) {
    // An empty value (size 1: the terminator alone) gives 0 as well, with
    // GetLastError left as it was, possibly 0; it counts as not set.
    if (size == 1) return kEnvironmentVariableNotFound;
    const std::uint32_t code = platform::GetLastError();
    return code != 0 ? code : kEnvironmentVariableNotFound;
  }
  // A length that does not fit the buffer is a size request, not a value:
  // the variable changed between the two calls.
  if (length >= size) return 234;  // ERROR_MORE_DATA
  buffer.resize(length);
  value = buffer;
  return 0;
}

std::uint32_t MakeLogFilePath(WString namePart, bool silent, WString& out) {
  WString temp;
  const std::uint32_t result = ReadEnvironmentVariable(u"TMP", temp);
  if (result != 0) {
    if (!silent)
      ShowMessage(msg::kEnvironmentUnreadable, msg::kErrorCaption, platform::kMbIconError);
    return result;
  }
  WString stamp;
  MakeTimeStamp(stamp);
  // No separator is added or removed: a TMP ending in a backslash gives a
  // doubled one, which Windows accepts.
  out = temp + u"\\" + namePart + u"_" + stamp + u".log";
  return 0;
}
