// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileutil/utf8.h"

namespace relabo {

char32_t DecodeChar(std::string_view s, size_t& pos) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  int len = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  }
  if (len == 0 || pos + len > s.size()) {
    ++pos;
    return kEscapedByteBase + b0;
  }
  for (int i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(s[pos + i]);
    if ((b & 0xC0) != 0x80) {
      ++pos;
      return kEscapedByteBase + b0;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  // Overlong forms, surrogates and values beyond U+10FFFF are not valid UTF-8.
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return kEscapedByteBase + b0;
  }
  pos += len;
  return cp;
}

void EncodeChar(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (IsEscapedByte(c)) {
    out += static_cast<char>(c - kEscapedByteBase);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::u32string DecodeUtf8(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  size_t pos = 0;
  while (pos < s.size()) out += DecodeChar(s, pos);
  return out;
}

void AppendUtf8(std::u32string_view s, std::string& out) {
  for (char32_t c : s) EncodeChar(c, out);
}

void AppendUtf16(char32_t c, std::u16string& out) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    out += static_cast<char16_t>(0xD7C0 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

void ToUtf16(std::string_view s, std::u16string& out) {
  // Most names are ASCII: those bytes are copied without decoding.
  out.resize(s.size());
  char16_t* ascii = out.data();
  size_t pos = 0;
  while (pos < s.size() && static_cast<unsigned char>(s[pos]) < 0x80) {
    *ascii++ = static_cast<char16_t>(s[pos++]);
  }
  out.resize(pos);
  while (pos < s.size()) AppendUtf16(DecodeChar(s, pos), out);
}

std::string EncodeUtf8(std::u32string_view s) {
  std::string out;
  out.reserve(s.size());
  AppendUtf8(s, out);
  return out;
}

}  // namespace relabo
