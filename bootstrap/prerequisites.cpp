#include "bootstrap/prerequisites.h"

#include "bootstrap/message_ids.h"
#include "bootstrap/run_log.h"
#include "platform/platform.h"

namespace {

constexpr int kVersionUnreadableResult = 2;

// One row of the version rules: a system of this major.minor version needs
// at least this service pack, else it is refused with the message and result.
struct ServicePackRule {
  std::uint32_t major;
  std::uint32_t minor;
  std::uint16_t minimumServicePack;
  std::uint16_t messageId;
  int result;
};

constexpr ServicePackRule kServicePackRules[] = {
    {5, 0, 4, msg::kWindows2000NeedsSp4, 3},
    {5, 1, 2, msg::kWindowsXpNeedsSp2, 4},
    // Every 5.2 system (Server 2003, XP x64, Home Server) falls under this row
    // whatever its product type.
    {5, 2, 2, msg::kWindows2003NeedsSp2, 5},
};

struct Refusal {
  std::uint16_t messageId = 0;
  int result = 0;  // 0: accepted
};

Refusal JudgeVersion(const platform::WindowsVersion& version) {
  if (version.major < 5) return {msg::kWindowsTooOld, kWindowsTooOldResult};
  for (const ServicePackRule& rule : kServicePackRules) {
    if (version.major == rule.major && version.minor == rule.minor) {
      if (version.servicePackMajor >= rule.minimumServicePack) return {};
      return {rule.messageId, rule.result};
    }
  }
  return {};
}

}  // namespace

StepResult JudgeWindowsVersion() {
  platform::WindowsVersion version;
  Refusal refusal;
  if (!platform::ReadWindowsVersion(version)) {
    LogValue(u"Windows version: unreadable, error", platform::GetLastError());
    refusal = {msg::kVersionUnreadable, kVersionUnreadableResult};
  } else {
    LogLine({u"Windows version: ", version.major, u".", version.minor, u", service pack ",
             version.servicePackMajor});
    refusal = JudgeVersion(version);
  }
  if (refusal.result == 0) {
    LogLine(u"Windows version gate: accepted");
    return StepResult();
  }
  LogValue(u"Windows version gate: refused, result", static_cast<std::uint32_t>(refusal.result));
  StepResult refused;
  refused.code = static_cast<std::uint32_t>(refusal.result);
  refused.notice = NoticeOf(refusal.messageId, msg::kCaption);
  // No service pack can make a version below 5 work: its message is shown
  // also when silent.
  refused.notice.evenWhenSilent = refusal.messageId == msg::kWindowsTooOld;
  return refused;
}
