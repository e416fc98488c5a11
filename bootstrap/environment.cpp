#include "bootstrap/environment.h"

#include "platform/platform.h"
#include "platform/result_codes.h"

std::uint32_t ReadEnvironmentVariable(const WString& name, WString& value) {
  const std::uint32_t size = platform::GetEnvironmentValue(name, nullptr, 0);
  WString buffer(size, u'\0');
  const std::uint32_t length =
      platform::GetEnvironmentValue(name, size ? &buffer[0] : nullptr, size);
  if (length == 0) {
    // An empty value (size 1: the terminator alone) gives 0 as well, with
    // GetLastError left as it was, possibly 0; it counts as not set.
    if (size == 1) return winerror::kEnvVarNotFound;
    const std::uint32_t code = platform::GetLastError();
    return winerror::NonZeroCode(code, winerror::kEnvVarNotFound);
  }
  // A length that does not fit the buffer is a size request, not a value:
  // the variable changed between the two calls.
  if (length >= size) return winerror::kMoreData;
  buffer.resize(length);
  value = buffer;
  return 0;
}
