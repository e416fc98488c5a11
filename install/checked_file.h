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
  bool on = false;  // the bootstrapper's own signature verified
  // Its signer certificate's subject, as encoded there: every file started
  // must have a signer with exactly this subject (so a renewed certificate of
  // the same publisher passes).
  std::string subject;
};

// Verifies the bootstrapper's own file (the program's path), opened for
// reading with writers refused. The check is on when its signature verifies;
// off when the file is not signed, its signature does not verify, or it
// cannot be verified on this Windows (wintrust.dll or a function missing, an
// algorithm it does not know, a root it does not trust): every file is then
// started as it would be without the check. The run log says which and why.
PublisherCheck CheckOwnSignature();

// Opens `path`, a file about to be started or handed to the installer, with
// writers and deletion refused, into `held`, kept until the child has ended:
// the file checked is the file run. Verifies its signature through that
// handle and logs its state and signer under `label` (also with the check
// off). 0 when it may be started: the check is off, or its signer has the
// bootstrapper's subject. Else nothing may be started with it: the
// verification's code (0x800B0100 not signed, 0x80096010 changed, ...),
// 0x800B0004 for another publisher, or with the check on the error of an
// open that failed. With the check off a file that cannot be opened is
// started as it is, `held` left empty.
std::uint32_t OpenStartedFile(const PublisherCheck& check, const WString& label,
                              const WString& path, platform::FileHandle& held);

// Whether OpenStartedFile's code is a signature's refusal (an HRESULT, high
// bit set) rather than an open's Windows error.
bool IsSignatureRefusal(std::uint32_t code);

// The box of a file that is not started: message 153 with the file's path for
// %1 and the code ("0x800B0100") for %2, under `caption` (0: none).
Notice FileNotTrustedNotice(const WString& path, std::uint32_t code, std::uint16_t caption);
