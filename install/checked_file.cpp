#include "install/checked_file.h"

#include "bootstrap/last_failure.h"
#include "bootstrap/message_ids.h"
#include "bootstrap/run_log.h"
#include "platform/result_codes.h"

namespace {

constexpr std::size_t kMaxPath = 259;

// A file held for use: read, and nobody may write, rename or delete it.
constexpr std::uint32_t kHeldAccess = platform::kGenericRead;
constexpr std::uint32_t kHeldShare = platform::kFileShareRead;

// What a verification's code means, for the run log.
const char16_t* Meaning(std::uint32_t code) {
  switch (code) {
    case 0: return u"verified";
    case winerror::kTrustNoSignature: return u"not signed";
    case winerror::kTrustBadDigest: return u"changed after signing";
    case winerror::kTrustSubjectNotTrusted: return u"signed by another publisher";
    case winerror::kCertUntrustedRoot: return u"signed under a root this Windows does not trust";
    case winerror::kCertExpired: return u"signed with an expired certificate";
    case winerror::kModNotFound:
    case winerror::kProcNotFound: return u"this Windows cannot verify signatures";
    default: return u"not verified";
  }
}

// "0x800B0100 (not signed)"; a Windows error code of the loader in decimal.
WString Outcome(std::uint32_t code) {
  const bool hresult = (code & 0x80000000u) != 0;
  return (hresult ? Hex(code) : Decimal(code)) + u" (" + Meaning(code) + u")";
}

WString SignerName(const platform::FileSigner& signer) {
  return signer.name.empty() ? WString(u"(no name)") : signer.name;
}

bool StartsWith(const WString& text, std::u16string_view head) {
  return text.size() >= head.size() && std::u16string_view(text).substr(0, head.size()) == head;
}

}  // namespace

WString WithoutLongPathPrefix(const WString& finalPath) {
  WString usable;
  if (StartsWith(finalPath, u"\\\\?\\UNC\\"))
    usable = u"\\\\" + finalPath.substr(8);
  else if (StartsWith(finalPath, u"\\\\?\\"))
    usable = finalPath.substr(4);
  else
    return finalPath;
  return usable.size() <= kMaxPath ? usable : finalPath;
}

std::uint32_t CheckOwnSignature(PublisherCheck& check, bool& refused) {
  check = PublisherCheck();
  refused = false;
  // An unsigned program has nothing to compare with: it neither opens its
  // own file nor loads the verification's libraries.
  if (!platform::ProgramHasEmbeddedSignature()) {
    LogLine(u"signature of this program: none (not signed); the files started are not checked");
    return 0;
  }
  const WString path = ReadProgramPath();
  const platform::FileHandle own =
      path.empty() ? platform::FileHandle() : platform::OpenExistingFile(path, kHeldAccess, kHeldShare);
  if (!own) {
    const std::uint32_t error = LastFailure();
    LogLine({u"signature of this program: its file could not be read, error ", error,
             u"; nothing is started"});
    return error;
  }
  platform::FileSigner signer;
  const std::uint32_t verified = platform::VerifyFileSignature(path, own.get(), signer);
  if (verified == winerror::kTrustNoSignature) {
    LogLine({u"signature of this program: ", Outcome(verified), u"; the files started are not checked"});
    return 0;
  }
  if (verified != 0 || signer.subject.empty()) {
    // The loader's codes say that this Windows cannot verify at all, and a
    // signer that cannot be read is no refusal either; every other code is
    // the verification's own refusal.
    refused = verified != 0 && verified != winerror::kModNotFound && verified != winerror::kProcNotFound;
    const std::uint32_t code = verified != 0 ? verified : winerror::kFunctionFailed;
    LogLine({u"signature of this program: ",
             verified != 0 ? Outcome(verified) : WString(u"verified, but its signer cannot be read"),
             u"; nothing is started"});
    return code;
  }
  check.on = true;
  check.subject = signer.subject;
  LogLine({u"signature of this program: verified, signer ", SignerName(signer),
           u"; every file started must have the same signer"});
  return 0;
}

std::uint32_t OpenCheckedFile(const PublisherCheck& check, const WString& label, const WString& path,
                              CheckedFile& file, bool& refused) {
  refused = false;
  file.path = path;
  file.runPath = path;
  file.held = platform::OpenExistingFile(path, kHeldAccess, kHeldShare);
  if (!file.held) {
    const std::uint32_t error = LastFailure();
    LogLine({label, u": ", path, u" could not be opened, error ", error});
    return error;
  }
  WString finalPath;
  const std::uint32_t resolved = platform::ReadFinalPath(file.held.get(), finalPath);
  if (resolved == 0) {
    file.runPath = WithoutLongPathPrefix(finalPath);
    if (file.runPath == path)
      LogLine({label, u": ", path, u" held open"});
    else
      LogLine({label, u": ", path, u" held open; its final path ", file.runPath, u" is used"});
  } else if (resolved == winerror::kProcNotFound) {
    LogLine({label, u": ", path, u" held open; this Windows cannot tell a file's final path, so it "
                                  u"is used by the path it was found at"});
  } else {
    LogLine({label, u": ", path, u" held open; its final path could not be read, error ", resolved,
             u", so it is used by the path it was found at"});
  }
  // Only a signed program has a publisher to compare with: an unsigned one
  // reads nothing more of the file here.
  if (!check.on) {
    LogLine({label, u": signature not checked: this program is not signed"});
    return 0;
  }
  platform::FileSigner signer;
  const std::uint32_t verified = platform::VerifyFileSignature(file.runPath, file.held.get(), signer);
  if (verified == 0)
    LogLine({label, u": signature: verified, signer ", SignerName(signer)});
  else
    LogLine({label, u": signature: ", Outcome(verified)});
  std::uint32_t code = verified;
  if (code == 0 && signer.subject != check.subject) code = winerror::kTrustSubjectNotTrusted;
  if (code == 0) return 0;
  LogLine({label, u": refused: ", Outcome(code), u"; this program's publisher must sign it"});
  file.held.reset();
  refused = true;
  return code;
}

ImageMatch CompareProcessImage(platform::RawHandle process, const CheckedFile& file) {
  WString image;
  const std::uint32_t read = platform::QueryProcessImagePath(process, image);
  if (read == winerror::kProcNotFound) return ImageMatch::kUnknown;
  if (read != 0) return ImageMatch::kOther;
  // The held file's final path now, not the one read before the start.
  WString finalPath;
  if (platform::ReadFinalPath(file.held.get(), finalPath) == 0 &&
      EqualIgnoringAsciiCase(WithoutLongPathPrefix(finalPath), image))
    return ImageMatch::kSame;
  // The same file by another name (a mapped drive, a short name): the
  // volume and the file's index on it tell.
  const platform::FileHandle named = platform::OpenExistingFile(
      image, platform::kFileReadAttributes,
      platform::kFileShareRead | platform::kFileShareWrite | platform::kFileShareDelete);
  platform::FileInformation ran;
  platform::FileInformation held;
  if (!named || !platform::ReadFileInformation(named.get(), ran) ||
      !platform::ReadFileInformation(file.held.get(), held))
    return ImageMatch::kOther;
  return ran.volume == held.volume && ran.index == held.index ? ImageMatch::kSame : ImageMatch::kOther;
}

Notice FileNotTrustedNotice(const WString& path, std::uint32_t code, std::uint16_t caption) {
  Notice notice = NoticeOf(msg::kFileNotTrusted, caption);
  notice.insert = Insert::kPathAndCode;
  notice.path = path;
  notice.code = code;
  return notice;
}
