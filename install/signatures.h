// A signed bootstrapper starts only what its own publisher signed: the
// packages and provider setups of a distribution tree on a share are run with
// the rights of whoever starts the setup (a deployment tool's LocalSystem),
// and msiexec /i does not look at a package's signature.
#pragma once

#include <cstdint>
#include <string>

#include "bootstrap/messages.h"
#include "platform/platform.h"
#include "platform/wstring.h"

// What the run asks of the files it starts.
struct PublisherCheck {
  // The bootstrapper's own signature verified: every file started must be
  // signed by the same publisher.
  bool on = false;
  // The subject of its signer's certificate, as encoded there: a file's
  // signer must have exactly this subject (a renewed certificate of the same
  // publisher has it too).
  std::string subject;
};

// Verifies the bootstrapper's own file (the program's path), opened for
// reading with writers refused. The check is on when its signature verifies;
// off when the file is not signed, its signature does not verify, or it
// cannot be verified on this Windows (wintrust.dll or a function missing, an
// algorithm it does not know, a root it does not trust): every file is then
// started as it would be without the check. The run log says which and why.
PublisherCheck CheckOwnSignature();

// Opens `path`, a file about to be started or handed to the installer, for
// reading with writers and deletion refused, and keeps it open in `held`
// until the caller's child has ended, so that the file checked is the file
// run. Verifies its signature through that handle and logs its state and
// signer under `label` (also when the check is off). Returns 0 when it may be
// started: the check is off, or the file's signature verifies with the
// bootstrapper's signer subject. Otherwise nothing may be started with it,
// and the code says why: the verification's own (TRUST_E_NOSIGNATURE
// 0x800B0100, TRUST_E_BAD_DIGEST 0x80096010, ...), TRUST_E_SUBJECT_NOT_TRUSTED
// (0x800B0004) for another publisher's signature, or, with the check on, the
// error of an open that failed (a file that cannot be read cannot be
// checked). With the check off, a file that cannot be opened is started as
// it is, `held` left empty. Shows nothing.
std::uint32_t OpenStartedFile(const PublisherCheck& check, const WString& label,
                              const WString& path, platform::FileHandle& held);

// Whether OpenStartedFile's code is a signature's refusal (the trust errors
// are HRESULTs, with the high bit set) rather than a Windows error of the
// open (without it).
bool IsSignatureRefusal(std::uint32_t code);

// The box of a file that is not started: message 153 with the file's path for
// %1 and the code ("0x800B0100") for %2, under `caption` (0: none).
Notice FileNotTrustedNotice(const WString& path, std::uint32_t code, std::uint16_t caption);
