// Child processes and log files shared by the installation steps.
#pragma once

#include <cstdint>

#include "platform/wstring.h"

// Runs commandLine (CREATE_NO_WINDOW) and waits for its end without a time
// limit. The child's exit code, or the system error code when it cannot be
// started, or when the wait or the exit-code query fails (the outcome is then
// unknown, never success).
std::uint32_t RunChildProcess(const WString& commandLine);

// The local time as 2014-03-07-09-05-31.
void MakeTimeStamp(WString& out);

// "TMP" + "\" + namePart + "_" + stamp + ".log". On failure (TMP unset or
// empty) shows message 144 unless silent, returns the error code and leaves
// out unchanged.
std::uint32_t MakeLogFilePath(WString namePart, bool silent, WString& out);

// Reads an environment variable in the two-call way: 0 and its value, or the
// error code (203 when not set; an empty value counts as unreadable).
std::uint32_t ReadEnvironmentVariable(const WString& name, WString& value);
