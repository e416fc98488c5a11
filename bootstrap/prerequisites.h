// The Windows-version gate (the administrator gate is a step of the entry flow).
#pragma once

#include <cstdint>

// Result for a Windows major version below 5: not otherwise used as an exit
// code, so an administrator can tell it from the service-pack refusals 3 to 5.
constexpr int kWindowsTooOldResult = 6;

// 0 when this Windows may be installed on; otherwise 2 (version unreadable),
// 3 (Windows 2000 below SP4), 4 (XP below SP2), 5 (5.2 below SP2) or
// kWindowsTooOldResult, after the refusal message unless silent (the message
// for a version below 5 is shown also when silent).
int CheckWindowsVersion(bool silent);
