// WString: the text type of the whole system, UTF-16 with an explicit length.
// Conversions to other encodings happen only at the seam over Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using WString = std::u16string;

// Equal when the ASCII letters A to Z are folded to a to z, as _wcsicmp does
// in its default locale; every other unit compares as it is.
bool EqualIgnoringAsciiCase(std::u16string_view left, std::u16string_view right);

// Ordinal, case-sensitive substring test.
bool Contains(const WString& text, const WString& piece);

// Puts piece in front of text (no separator added).
void Prepend(WString& text, const WString& piece);

// Appends ": " and the code as an unsigned decimal number (the ": %u" format).
void AppendCode(WString& text, std::uint32_t code);

// The number as unsigned decimal text, at least `width` characters: padded in
// front with `pad` ("%05u", "%7u"). Formatted by hand: the printf family
// alone would be a fifth of the exe.
WString Decimal(std::uint32_t number, std::size_t width = 0, char16_t pad = u'0');

// The number as signed decimal text ("-1").
WString SignedDecimal(int number);

// The number as "0x" and eight upper-case hexadecimal digits ("0x800B0100"),
// the way Windows writes HRESULTs.
WString Hex(std::uint32_t number);

// Cuts text at its first zero code unit, if it holds one.
void CutAtFirstZero(WString& text);

// The part after the last backslash; the whole text when it holds none.
WString FileNamePart(const WString& path);

// UTF-16 -> UTF-8, for the run log and for test output.
std::string ToUtf8(const WString& text);
