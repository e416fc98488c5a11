// The code of a Windows call that reported failure, for every module.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "platform/result_codes.h"

// GetLastError after a call that reported failure, or
// winerror::kFunctionFailed (1627) when it gave none: a failed call never
// reads as success.
inline std::uint32_t LastFailure() {
  return winerror::NonZeroCode(platform::GetLastError(), winerror::kFunctionFailed);
}
