#include "setup/boxes.h"

#include "bootstrap/run_log.h"
#include "platform/platform.h"

namespace {

void Replace(WString& text, const char16_t* placeHolder, const WString& value) {
  const auto at = text.find(placeHolder);
  if (at != WString::npos) text.replace(at, 2, value);
}

}  // namespace

void BuildNoticeText(const Notice& notice, WString& text) {
  LoadMessage(notice.message, text);
  switch (notice.insert) {
    case Insert::kNone:
      break;
    case Insert::kCodeAndLog:
      AppendCode(text, notice.code);
      text += u".\n";
      if (!notice.path.empty() && platform::PathExists(notice.path))
        text += u"Install log: " + notice.path;
      break;
    case Insert::kPathAndCode:
      Replace(text, u"%1", notice.path);
      Replace(text, u"%2", Hex(notice.code));
      break;
  }
}

int ShowBox(const Notice& notice, WString& text) {
  BuildNoticeText(notice, text);
  WString caption;
  if (notice.caption != 0) LoadMessage(notice.caption, caption);
  const int answer = platform::ShowMessageBox(text, caption, notice.style);
  LogBox(notice.message, answer);
  return answer;
}

void ShowNotice(const Notice& notice, bool silent) {
  if (notice.message == 0 || (silent && !notice.evenWhenSilent)) return;
  WString text;
  ShowBox(notice, text);
}

void ShowHelp(const WString& text) {
  platform::ShowMessageBox(text, u"Справка", platform::kMbIconInformation);
}
