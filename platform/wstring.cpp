#include "platform/wstring.h"

namespace {

char16_t FoldAsciiCase(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

}  // namespace

bool EqualIgnoringAsciiCase(std::u16string_view left, std::u16string_view right) {
  if (left.size() != right.size()) return false;
  for (std::size_t i = 0; i < left.size(); ++i)
    if (FoldAsciiCase(left[i]) != FoldAsciiCase(right[i])) return false;
  return true;
}

bool Contains(const WString& text, const WString& piece) {
  return text.find(piece) != WString::npos;
}

void Prepend(WString& text, const WString& piece) { text.insert(0, piece); }

void AppendCode(WString& text, std::uint32_t code) {
  text += u": ";
  text += Decimal(code);
}

WString Decimal(std::uint32_t number, std::size_t width, char16_t pad) {
  char16_t digits[10];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + number % 10);
    number /= 10;
  } while (number != 0);
  WString text(count < width ? width - count : 0, pad);
  while (count > 0) text.push_back(digits[--count]);
  return text;
}

WString SignedDecimal(int number) {
  if (number >= 0) return Decimal(static_cast<std::uint32_t>(number));
  // Appended rather than put in front: GCC 12 at -O3 takes the insertion
  // into a temporary for an overlapping copy (a false -Wrestrict).
  WString text(1, u'-');
  text += Decimal(0u - static_cast<std::uint32_t>(number));
  return text;
}

WString Hex(std::uint32_t number) {
  WString text = u"0x";
  for (int shift = 28; shift >= 0; shift -= 4)
    text.push_back(u"0123456789ABCDEF"[(number >> shift) & 0xF]);
  return text;
}

void CutAtFirstZero(WString& text) {
  const auto zero = text.find(char16_t(0));
  if (zero != WString::npos) text.resize(zero);
}

WString FileNamePart(const WString& path) {
  const auto slash = path.rfind(u'\\');
  return slash == WString::npos ? path : path.substr(slash + 1);
}

std::string ToUtf8(const WString& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}
