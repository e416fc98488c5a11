#include "install/child_process.h"
// Being written.
std::uint32_t RunChildProcess(const WString&) { return 1627; }
void MakeTimeStamp(WString&) {}
std::uint32_t MakeLogFilePath(WString, bool, WString&) { return 1627; }
std::uint32_t ReadEnvironmentVariable(const WString&, WString&) { return 203; }
