#include "install/checked_file.h"

#include "bootstrap/last_failure.h"
#include "bootstrap/message_ids.h"
#include "bootstrap/run_log.h"
#include "platform/result_codes.h"

namespace {

// A file held for use: read, and nobody may write, rename or delete it.
constexpr std::uint32_t kHeldAccess = platform::kGenericRead;
constexpr std::uint32_t kHeldShare = platform::kFileShareRead;

// Whether this Windows cannot check the signature's algorithm at all:
// NTE_BAD_ALGID from the digest (SHA-256 on XP SP2), or a certificate whose
// SHA-256 signature Windows XP and Server 2003 cannot verify without their
// SHA-2 update (TRUST_E_CERT_SIGNATURE, which on later Windows means a
// forged certificate).
bool CannotBeCheckedHere(std::uint32_t code) {
  if (code == winerror::kBadAlgorithm) return true;
  platform::WindowsVersion version;
  return code == winerror::kTrustCertSignature && platform::ReadWindowsVersion(version) &&
         version.major < 6;
}

// What a verification's code means, for the run log.
const char16_t* Meaning(std::uint32_t code) {
  if (CannotBeCheckedHere(code)) return u"this Windows cannot check this signature's algorithm";
  switch (code) {
    case 0: return u"verified";
    case winerror::kTrustNoSignature: return u"not signed";
    case winerror::kTrustBadDigest: return u"changed after signing";
    case winerror::kTrustSubjectNotTrusted: return u"signed by another publisher";
    case winerror::kCertUntrustedRoot: return u"its root is not trusted on this machine";
    case winerror::kCertChaining: return u"its chain cannot be completed on this machine";
    case winerror::kCertExpired: return u"its certificate has expired and the signature has no time-stamp";
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

// The chain's verdict: the verification's own error, or what the chain's
// status says when the verification passed it anyway. A policy that passes a
// chain whose root is not trusted (Wine's does, and so may a test-root
// setting of Windows) does not make the chain trusted here.
std::uint32_t ChainVerdict(std::uint32_t verified, std::uint32_t chainStatus) {
  if (verified != 0) return verified;
  if (chainStatus & platform::kCertTrustIsPartialChain) return winerror::kCertChaining;
  if (chainStatus & platform::kCertTrustIsUntrustedRoot) return winerror::kCertUntrustedRoot;
  if (chainStatus & platform::kCertTrustIsNotTimeValid) return winerror::kCertExpired;
  return 0;
}

// Whether a verdict leaves an intact signature standing: a chain trusted
// here, or one that only fails as a chain (its root, its completion, its
// certificate's validity).
bool SignatureStands(std::uint32_t verdict) {
  return verdict == 0 || verdict == winerror::kCertUntrustedRoot || verdict == winerror::kCertChaining ||
         verdict == winerror::kCertExpired;
}

// Whether the file's digest and its signer are intact, told from the steps
// that read them (the verification's overall code names only its first
// failing step): the object provider found the signature and the file's
// digest matching it, the signature provider the signer, its certificate
// and its signature. A chain that fails comes after both.
bool Intact(const platform::FileSignature& signature) {
  return signature.objectStep == 0 && signature.signerStep == 0 && !signature.certificate.empty();
}

WString SignerName(const platform::FileSignature& signature) {
  return signature.name.empty() ? WString(u"(no name)") : signature.name;
}

// "verified, signer X" or "0x800B0109 (its root ...), signer X".
WString Described(std::uint32_t verdict, const platform::FileSignature& signature) {
  WString text = verdict == 0 ? WString(u"verified") : Outcome(verdict);
  if (!signature.certificate.empty()) text += u", signer " + SignerName(signature);
  return text;
}

// The rule that accepts an intact signature, or empty when none does: this
// program's own certificate (sameCertificate) whatever the chain says, or a
// chain trusted here and this program's trusted subject.
WString AcceptedBy(const PublisherCheck& check, const platform::FileSignature& signature,
                   std::uint32_t verdict, bool sameCertificate) {
  if (sameCertificate && SignatureStands(verdict))
    return verdict == 0 ? WString(u"same certificate as this program")
                        : WString(u"same certificate as this program; ") + Meaning(verdict);
  if (verdict == 0 && !check.subject.empty() && signature.subject == check.subject)
    return u"signer verified, same publisher";
  return WString();
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

// A final path as a program takes it: without Windows' \\?\ prefix
// ("\\?\C:\x" -> "C:\x", "\\?\UNC\server\share\x" -> "\\server\share\x").
WString WithoutLongPathPrefix(const WString& finalPath) {
  if (StartsWith(finalPath, u"\\\\?\\UNC\\")) return u"\\\\" + finalPath.substr(8);
  if (StartsWith(finalPath, u"\\\\?\\")) return finalPath.substr(4);
  return finalPath;
}

}  // namespace

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
  platform::FileSignature signature;
  const std::uint32_t verified = platform::VerifyFileSignature(path, own.get(), signature);
  if (verified == winerror::kTrustNoSignature) {
    LogLine({u"signature of this program: ", Outcome(verified), u"; the files started are not checked"});
    return 0;
  }
  const std::uint32_t verdict = ChainVerdict(verified, signature.chainStatus);
  if (Intact(signature) && SignatureStands(verdict)) {
    check.on = true;
    check.certificate = Sha256(signature.certificate);
    if (verdict == 0) check.subject = signature.subject;
    LogLine({u"signature of this program: ", Described(verdict, signature), u", certificate SHA-256 ",
             HexDigest(check.certificate),
             verdict == 0 ? u"; every file started must carry this certificate, or one of the same "
                            u"publisher under a root this Windows trusts"
                          : u"; the run goes on, and every file started must carry this very certificate"});
    return 0;
  }
  // The loader's codes say that this Windows cannot verify at all, and a
  // signer that cannot be read is no refusal either; every other code is the
  // verification's own refusal, or an algorithm this Windows cannot check.
  const bool unreadableSigner = verified == 0 && signature.certificate.empty();
  refused = !unreadableSigner && verified != winerror::kModNotFound && verified != winerror::kProcNotFound;
  LogLine({u"signature of this program: ",
           unreadableSigner ? WString(u"verified, but its signer cannot be read") : Outcome(verdict),
           u"; nothing is started"});
  return winerror::NonZeroCode(verdict, winerror::kFunctionFailed);
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
  platform::FileSignature signature;
  const std::uint32_t verified = platform::VerifyFileSignature(file.runPath, file.held.get(), signature);
  const std::uint32_t verdict = ChainVerdict(verified, signature.chainStatus);
  const bool intact = Intact(signature);
  const bool sameCertificate = intact && Sha256(signature.certificate) == check.certificate;
  WString described = Described(verdict, signature);
  if (intact)
    described += sameCertificate ? u", the same certificate as this program's"
                                 : u", another certificate than this program's";
  LogLine({label, u": signature: ", described});
  const WString rule = intact ? AcceptedBy(check, signature, verdict, sameCertificate) : WString();
  if (!rule.empty()) {
    LogLine({label, u": accepted: ", rule});
    return 0;
  }
  const std::uint32_t code = verdict != 0 ? verdict : winerror::kTrustSubjectNotTrusted;
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
  Notice notice =
      NoticeOf(CannotBeCheckedHere(code) ? msg::kSignatureNotCheckable : msg::kFileNotTrusted, caption);
  notice.insert = Insert::kPathAndCode;
  notice.path = path;
  notice.code = code;
  return notice;
}
