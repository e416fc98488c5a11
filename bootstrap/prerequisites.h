// The Windows-version gate (the administrator gate is a step of the entry flow).
#pragma once

#include <cstdint>

#include "bootstrap/messages.h"

// Result for a Windows major version below 5: not otherwise used as an exit
// code, so an administrator can tell it from the service-pack refusals 3 to 5.
constexpr int kWindowsTooOldResult = 6;

// Reads the version with GetVersionExW and applies the first matching rule:
//   version unreadable            message 121, result 2
//   major below 5                 message 116, kWindowsTooOldResult
//   5.0 below service pack 4      message 117, result 3
//   5.1 below service pack 2      message 118, result 4
//   5.2 below service pack 2      message 119, result 5
//   5.3 and above, 6 and above    accepted, 0
// A refusal returns its result and message (caption 104, MB_ICONERROR); the
// one for a version below 5 is shown also when silent: no service pack can
// make that run work.
StepResult JudgeWindowsVersion();
