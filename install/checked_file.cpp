#include "install/checked_file.h"

#include "bootstrap/last_failure.h"
#include "bootstrap/message_ids.h"
#include "bootstrap/run_log.h"
#include "platform/result_codes.h"

namespace {

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

// A full path as CreateFileW takes it at any length: with \\?\ (\\?\UNC\ for
// \\server\share) when it is longer than MAX_PATH allows, else as it is.
WString WithLongPathPrefix(const WString& path) {
  if (path.size() <= platform::kMaxPathLength || StartsWith(path, u"\\\\?\\")) return path;
  return StartsWith(path, u"\\\\") ? u"\\\\?\\UNC\\" + path.substr(2) : u"\\\\?\\" + path;
}

// Whether path names the held file now: the same volume and index (a name
// through a mapped drive, a SUBST drive or a short name counts).
bool NamesHeldFile(const WString& path, platform::RawHandle held) {
  const platform::FileHandle named = platform::OpenExistingFile(
      WithLongPathPrefix(path), platform::kFileReadAttributes,
      platform::kFileShareRead | platform::kFileShareWrite | platform::kFileShareDelete);
  platform::FileInformation found;
  platform::FileInformation kept;
  return named && platform::ReadFileInformation(named.get(), found) &&
         platform::ReadFileInformation(held, kept) && found.volume == kept.volume &&
         found.index == kept.index;
}

}  // namespace

WString WithoutLongPathPrefix(const WString& finalPath) {
  if (StartsWith(finalPath, u"\\\\?\\UNC\\")) return u"\\\\" + finalPath.substr(8);
  if (StartsWith(finalPath, u"\\\\?\\")) return finalPath.substr(4);
  return finalPath;
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
  // Refused here, under Wine as under Windows, before any call that Windows
  // would refuse.
  if (path.size() > platform::kMaxPathLength) {
    LogLine({label, u": ", path, u" is longer than the 259 characters Windows takes; it is not used"});
    return winerror::kFilenameExcedRange;
  }
  file.held = platform::OpenExistingFile(path, kHeldAccess, kHeldShare);
  if (!file.held) {
    const std::uint32_t error = LastFailure();
    LogLine({label, u": ", path, u" could not be opened, error ", error});
    return error;
  }
  WString finalPath;
  const std::uint32_t resolved = platform::ReadFinalPath(file.held.get(), finalPath);
  const WString usable = WithoutLongPathPrefix(finalPath);
  if (resolved == 0 && usable.size() <= platform::kMaxPathLength) {
    file.runPath = usable;
    if (file.runPath == path)
      LogLine({label, u": ", path, u" held open"});
    else
      LogLine({label, u": ", path, u" held open; its final path ", file.runPath, u" is used"});
  } else if (resolved == 0) {
    // A SUBST or mapped drive standing for a deep folder: msiexec and
    // process creation take no path this long, so the path found is used
    // while it names the file held.
    const bool named = NamesHeldFile(path, file.held.get());
    LogLine({label, u": ", path, u" held open; its final path ", usable, u" is longer than 259 characters, ",
             named ? u"so it is used by the path it was found at" : u"and that path names another file now"});
    if (!named) {
      file.held.reset();
      return winerror::kFilenameExcedRange;
    }
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
  // By the file's identity, not its name: the image path may be the real
  // path behind a SUBST or mapped drive, longer than 259 characters, with
  // \\?\ or without.
  return read == 0 && NamesHeldFile(image, file.held.get()) ? ImageMatch::kSame : ImageMatch::kOther;
}

Notice FileNotTrustedNotice(const WString& path, std::uint32_t code, std::uint16_t caption) {
  Notice notice = NoticeOf(msg::kFileNotTrusted, caption);
  notice.insert = Insert::kPathAndCode;
  notice.path = path;
  notice.code = code;
  return notice;
}
