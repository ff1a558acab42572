// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace relabo {

// File names are bytes. Where characters are counted, a character is one UTF-8 encoded code
// point, and a byte that does not begin a valid sequence is a character of its own. Such a
// byte b is carried as the lone surrogate 0xDC00 + b (never a decoded code point, since
// surrogates are not valid UTF-8), so decoding and encoding give back the exact bytes.

constexpr char32_t kEscapedByteBase = 0xDC00;

/// True for a character that stands for an undecodable byte.
constexpr bool IsEscapedByte(char32_t c) { return c >= 0xDC80 && c <= 0xDCFF; }

/// Decodes one character at s[pos]; advances pos past it.
char32_t DecodeChar(std::string_view s, size_t& pos);

/// Appends the bytes of one character (an escaped byte becomes that byte again).
void EncodeChar(char32_t c, std::string& out);

/// The characters of a byte string.
std::u32string DecodeUtf8(std::string_view s);

/// The bytes of a character string; EncodeUtf8(DecodeUtf8(s)) == s for every s.
std::string EncodeUtf8(std::u32string_view s);

/// Appends the bytes of a character string.
void AppendUtf8(std::u32string_view s, std::string& out);

/// Appends one character as UTF-16 (ICU's text); an escaped byte stays its lone surrogate.
void AppendUtf16(char32_t c, std::u16string& out);

/// The characters of a byte string as UTF-16, into out (its buffer reused).
void ToUtf16(std::string_view s, std::u16string& out);

}  // namespace relabo
