#include "install/signatures.h"

#include "bootstrap/message_ids.h"
#include "bootstrap/run_log.h"
#include "install/child_process.h"
#include "platform/result_codes.h"

namespace {

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
  return (IsSignatureRefusal(code) ? Hex(code) : Decimal(code)) + u" (" + Meaning(code) + u")";
}

WString SignerName(const platform::FileSigner& signer) {
  return signer.name.empty() ? WString(u"(no name)") : signer.name;
}

}  // namespace

bool IsSignatureRefusal(std::uint32_t code) { return (code & 0x80000000u) != 0; }

PublisherCheck CheckOwnSignature() {
  PublisherCheck check;
  const WString path = ReadProgramPath();
  const platform::FileHandle own =
      path.empty() ? platform::FileHandle() : platform::OpenFileDenyingWriters(path);
  if (!own) {
    LogLine({u"signature of this program: could not be read, error ",
             LastFailure(), u"; the files started are not checked"});
    return check;
  }
  platform::FileSigner signer;
  const std::uint32_t verified = platform::VerifyFileSignature(path, own.get(), signer);
  if (verified != 0 || signer.subject.empty()) {
    LogLine({u"signature of this program: ", verified != 0 ? Outcome(verified) : u"verified, signer unknown",
             u"; the files started are not checked"});
    return check;
  }
  check.on = true;
  check.subject = signer.subject;
  LogLine({u"signature of this program: verified, signer ", SignerName(signer),
           u"; every file started must have the same signer"});
  return check;
}

std::uint32_t OpenStartedFile(const PublisherCheck& check, const WString& label,
                              const WString& path, platform::FileHandle& held) {
  held = platform::OpenFileDenyingWriters(path);
  if (!held) {
    const std::uint32_t error = LastFailure();
    LogLine({label, u": ", path, u" could not be opened to read its signature, error ", error});
    if (!check.on) return 0;
    LogLine({label, u": not started: a file that cannot be read cannot be checked"});
    return error;
  }
  platform::FileSigner signer;
  const std::uint32_t verified = platform::VerifyFileSignature(path, held.get(), signer);
  if (verified == 0)
    LogLine({label, u": signature of ", path, u": verified, signer ", SignerName(signer)});
  else
    LogLine({label, u": signature of ", path, u": ", Outcome(verified)});
  if (!check.on) return 0;
  std::uint32_t refused = verified;
  if (refused == 0 && signer.subject != check.subject) refused = winerror::kTrustSubjectNotTrusted;
  if (refused != 0) {
    LogLine({label, u": not started: ", Outcome(refused), u"; this program's publisher must sign it"});
    held.reset();
  }
  return refused;
}

Notice FileNotTrustedNotice(const WString& path, std::uint32_t code, std::uint16_t caption) {
  Notice notice = NoticeOf(msg::kFileNotTrusted, caption);
  notice.insert = Insert::kPathAndCode;
  notice.path = path;
  notice.code = code;
  return notice;
}
