// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileutil/utf8.h"

#include <gtest/gtest.h>

#include <random>

namespace relabo {
namespace {

TEST(Utf8, DecodesCharactersAndEscapesInvalidBytes) {
  struct Case {
    const char* name;
    std::string bytes;
    std::u32string chars;
  } cases[] = {
      {"ascii", "a.txt", U"a.txt"},
      {"two bytes", "\xC3\xA9", U"\u00E9"},
      {"three bytes", "\xE2\x82\xAC", U"\u20AC"},
      {"four bytes", "\xF0\x9F\x98\x80", U"\U0001F600"},
      {"lone continuation", "\xA9", {0xDCA9}},
      {"truncated at end", "a\xC3", {U'a', 0xDCC3}},
      {"truncated before ascii",
       "\xE2\x82"
       "A",
       {0xDCE2, 0xDC82, U'A'}},
      {"overlong slash", "\xC0\xAF", {0xDCC0, 0xDCAF}},
      {"overlong three", "\xE0\x80\xAF", {0xDCE0, 0xDC80, 0xDCAF}},
      {"surrogate", "\xED\xA0\x80", {0xDCED, 0xDCA0, 0xDC80}},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", {0xDCF4, 0xDC90, 0xDC80, 0xDC80}},
      {"latin-1 name", "caf\xE9.txt", {U'c', U'a', U'f', 0xDCE9, U'.', U't', U'x', U't'}},
  };
  std::u16string utf16 = u"left over from before";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DecodeUtf8(c.bytes), c.chars);
    EXPECT_EQ(EncodeUtf8(c.chars), c.bytes);
    // As UTF-16 each character is one unit, but for the one beyond the BMP: a pair.
    std::u16string expected(c.chars.begin(), c.chars.end());
    if (c.chars == U"\U0001F600") expected = u"\U0001F600";
    ToUtf16(c.bytes, utf16);
    EXPECT_EQ(utf16, expected);
  }
}

TEST(Utf8, EveryByteStringSurvivesTheRoundTrip) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> byte(0, 255), length(0, 12);
  for (int i = 0; i < 20000; ++i) {
    std::string s(length(rng), '\0');
    for (char& c : s) c = static_cast<char>(byte(rng));
    ASSERT_EQ(EncodeUtf8(DecodeUtf8(s)), s);
  }
}

}  // namespace
}  // namespace relabo
