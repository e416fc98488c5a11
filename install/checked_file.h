// The files the run reads, starts or hands to an installer: each is opened
// first and held, writers, renames and deletion refused, until it is no
// longer used, so that the file checked is the file read, decided on and run.
// A signed bootstrapper also starts only what its own publisher signed: the
// packages and provider setups of a distribution tree on a share are run with
// the rights of whoever starts the setup (a deployment tool's LocalSystem),
// and msiexec /i does not look at a package's signature.
#pragma once

#include <cstdint>
#include <string>

#include "bootstrap/messages.h"
#include "install/sha256.h"
#include "platform/platform.h"
#include "platform/wstring.h"

// What the run asks of the files it starts: to carry an intact signature by
// this program's own publisher. Whether Windows trusts the publisher's root
// is its judgement of this program, made when it was started; the files
// started only have to match it.
struct PublisherCheck {
  bool on = false;  // the bootstrapper's own signature is intact
  // Its signer's subject, as encoded in its certificate, when this Windows
  // trusts that certificate's chain; empty when it does not. A file whose
  // chain this Windows trusts too and whose signer has exactly this subject
  // is accepted: a renewed certificate of the same publisher.
  std::string subject;
  // SHA-256 of its signer's certificate as encoded: a file signed with this
  // very certificate is accepted whatever its chain says here (a root that
  // is not trusted, a chain that cannot be completed, an expired
  // certificate), as this program itself was.
  Sha256Digest certificate{};
};

// The bootstrapper's own signature, before anything is started. An unsigned
// program (no signature in its image) checks nothing and opens nothing: 0
// with the check off. A signed one opens its own file with writers refused
// and verifies it: 0 with the check on when its digest and signer are intact,
// whether or not this Windows trusts its chain (a root that is not trusted,
// a chain that cannot be completed, a certificate that expired without a
// time-stamp are written in the run log, and the files started must then
// carry this very certificate); 0 with the check off when Windows finds no
// signature in it after all (TRUST_E_NOSIGNATURE). Any other outcome ends the
// run before anything is started (a signed setup that cannot check what it
// starts must not start it): the open's error code, or the verification's
// (0x80096010 changed after signing, 0x80090008 an algorithm this Windows
// cannot check, 127 a Windows that cannot verify ...). refused tells which:
// true for the verification's refusal (also for an algorithm this Windows
// cannot check: FileNotTrustedNotice tells the two apart), false for a file
// that cannot be read, a Windows that cannot verify (126, 127) or a
// signature that verifies but names no signer that can be read (1627). The
// run log says which and why.
std::uint32_t CheckOwnSignature(PublisherCheck& check, bool& refused);

// A file opened and held: path as it was found (the name the administrator
// knows, shown in boxes), runPath the path by which it is read, started or
// handed over. That is the path the held file really has (its final path,
// junctions and mount points resolved), so that no link re-pointed after the
// check can put another file in its place, when it fits in MAX_PATH (259
// characters): msiexec and process creation take no longer one. Else (a
// SUBST or mapped drive standing for a deep folder) it is path, which named
// the held file when it was opened (a program started from it is compared
// with the held file before it runs; msiexec opens it by that name later).
// runPath is path on a Windows that cannot tell a file's final path (XP,
// Server 2003).
struct CheckedFile {
  platform::FileHandle held;
  WString path;
  WString runPath;
};

// Opens path for reading with writers and deletion refused into file (held
// until file is dropped), reads its final path and, with the check on,
// verifies its signature through that handle; with the check off nothing is
// verified ("not checked: this program is not signed"). A signature is
// accepted when its digest and signer are intact and it was made with this
// program's own certificate (whatever its chain says here), or when this
// Windows trusts both its chain and this program's and the signers' subjects
// are equal. The run log records each step under label, and which rule
// accepted the file. 0 when the file may be used. Else its code and
// file.held empty: refused set for a file the check refuses (the
// verification's code: 0x800B0100 unsigned, 0x80096010 changed after
// signing, 0x800B0109 another certificate under a root this Windows does not
// trust, 0x800B0004 another publisher); refused clear for a file that could
// not be opened (the open's error code) or has no path that fits in MAX_PATH
// (206, before it is opened when path is longer).
std::uint32_t OpenCheckedFile(const PublisherCheck& check, const WString& label, const WString& path,
                              CheckedFile& file, bool& refused);

// Whether a process started from runPath runs the held file: kSame when its
// image path (with \\?\ or without, of any length) names a file of the same
// volume and index; kOther when it names another file, or cannot be read or
// compared; kUnknown on a Windows that cannot tell a process's image (XP,
// Server 2003).
enum class ImageMatch { kSame, kOther, kUnknown };
ImageMatch CompareProcessImage(platform::RawHandle process, const CheckedFile& file);

// The box of a file that is not started: message 153 with the file's path for
// %1 and the code ("0x800B0100") for %2, under `caption` (0: none); message
// 155 instead when this Windows cannot check the signature's algorithm at
// all (NTE_BAD_ALGID; TRUST_E_CERT_SIGNATURE on Windows XP and Server 2003,
// which check no SHA-256 certificate without their update).
Notice FileNotTrustedNotice(const WString& path, std::uint32_t code, std::uint16_t caption);
