#include "install/installer_log.h"

#include "bootstrap/environment.h"
#include "bootstrap/last_failure.h"
#include "bootstrap/message_ids.h"
#include "bootstrap/run_log.h"
#include "platform/result_codes.h"

namespace {

// The log made is found again by its index, to be judged and removed
// through a handle of its own; others keep every use of it meanwhile.
constexpr std::uint32_t kEveryShare =
    platform::kFileShareRead | platform::kFileShareWrite | platform::kFileShareDelete;

// The folder of a file's path: the text before its last backslash, a drive's
// root with its backslash ("C:\").
WString FolderOf(const WString& path) {
  const std::size_t slash = path.rfind(u'\\');
  if (slash == WString::npos) return WString();
  return path.substr(0, slash == 2 && path[1] == u':' ? 3 : slash);
}

}  // namespace

void MakeTimeStamp(WString& out) {
  out = FormatTimeStamp(platform::GetLocalTime());
  platform::WriteStandardOutput(out + u"\n");
}

std::uint32_t MakeLogFilePath(WString namePart, WString& out) {
  WString temp;
  const std::uint32_t result = ReadEnvironmentVariable(u"TMP", temp);
  if (result != 0) return result;
  WString stamp;
  MakeTimeStamp(stamp);
  // No separator is added or removed: a TMP ending in a backslash gives a
  // doubled one, which Windows accepts.
  out = temp + u"\\" + namePart + u"_" + stamp + u".log";
  return 0;
}

bool ChoosesOwnLog(const WString& arguments) {
  return Contains(arguments, u"/l") || Contains(arguments, u"/L");
}

Notice TempUnreadableNotice() {
  return NoticeOf(msg::kEnvironmentUnreadable, msg::kErrorCaption);
}

std::uint32_t ArrangeInstallerLog(const WString& label, const WString& namePart, InstallerLog& log,
                                  bool& tempUnreadable) {
  WString built;
  const std::uint32_t result = MakeLogFilePath(namePart, built);
  tempUnreadable = result != 0;
  if (result != 0) {
    LogLine({label, u": installer log: none, TMP could not be read, error ", result});
    return result;
  }
  // The stem is the built name without its ".log".
  WString created;
  std::uint32_t error = 0;
  const platform::FileHandle file = CreateNewLogFile(built.substr(0, built.size() - 4), created, error);
  if (!file) {
    const char16_t* why = error == winerror::kFilenameExcedRange ? u" (over 259 characters)" : u"";
    LogLine({label, u": installer log: ", built, u" could not be created, error ", error, why,
             u"; nothing is started"});
    return error;
  }
  log.path = created;
  log.made = true;
  // Which file it is, and where to look for it again: without either, the
  // log stays, empty or not.
  if (!platform::ReadFileInformation(file.get(), log.file)) log.made = false;
  log.folder = platform::OpenFolder(FolderOf(created));
  LogValue(label + u": installer log", log.path);
  return 0;
}

WString FinishInstallerLog(const WString& label, InstallerLog& log) {
  if (log.path.empty()) return WString();
  const platform::FileHandle folder = std::move(log.folder);
  if (!log.made || !folder) return log.path;
  log.made = false;
  platform::FileHandle file = platform::OpenFileById(
      folder.get(), log.file.index, platform::kDelete | platform::kFileReadAttributes, kEveryShare);
  if (!file) {
    const std::uint32_t error = LastFailure();
    if (error == winerror::kProcNotFound)
      LogLine({label, u": installer log: this Windows cannot tell whether it is empty; it stays"});
    // Else the installer replaced or removed the file made here: its own log
    // is named if it exists.
    return log.path;
  }
  platform::FileInformation now;
  if (!platform::ReadFileInformation(file.get(), now) || now.volume != log.file.volume ||
      now.size != 0)
    return log.path;
  const std::uint32_t removed = platform::MarkForDeletion(file.get());
  if (removed != 0) {
    LogLine({label, u": installer log: empty, could not be removed, error ", removed});
    return WString();
  }
  LogLine({label, u": installer log: empty, removed"});
  return WString();
}
