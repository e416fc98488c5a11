// The process's environment variables (TMP for the logs, WINDIR).
#pragma once

#include <cstdint>

#include "platform/wstring.h"

// Reads an environment variable in the two-call way (size, then value).
// 0 and the value; or a non-zero error code with value unchanged: 203 when
// the variable is not set or empty (an empty value counts as unreadable),
// 234 when it changed between the two calls.
std::uint32_t ReadEnvironmentVariable(const WString& name, WString& value);
