// SHA-256 (FIPS 180-4) of a byte string: the fingerprint by which a signer's
// certificate is compared with this program's own, the same on every Windows
// (XP SP2 and Server 2003 have no SHA-256 of their own).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/wstring.h"

using Sha256Digest = std::array<std::uint8_t, 32>;

Sha256Digest Sha256(const std::string& bytes);

// The digest in lower-case hex, 64 characters, as certificate tools show it.
WString HexDigest(const Sha256Digest& digest);
