// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/json_out.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "fileutil/utf8.h"

namespace relabo {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  throw std::invalid_argument("not a hex digit");
}

// Reads a JSON string literal back into bytes the way json.loads followed by os.fsencode does:
// \udc80-\udcff is the byte, other escapes are their character in UTF-8.
std::string DecodeJsonString(const std::string& literal) {
  if (literal.size() < 2 || literal.front() != '"' || literal.back() != '"') {
    throw std::invalid_argument("not a string literal");
  }
  std::string bytes;
  for (size_t i = 1; i + 1 < literal.size(); ++i) {
    const char c = literal[i];
    if (static_cast<unsigned char>(c) < 0x20 || c == '"') {
      throw std::invalid_argument("raw control character or quote");
    }
    if (c != '\\') {
      bytes += c;
      continue;
    }
    const char e = literal.at(++i);
    switch (e) {
      case '"':
        bytes += '"';
        break;
      case '\\':
        bytes += '\\';
        break;
      case '/':
        bytes += '/';
        break;
      case 'b':
        bytes += '\b';
        break;
      case 'f':
        bytes += '\f';
        break;
      case 'n':
        bytes += '\n';
        break;
      case 'r':
        bytes += '\r';
        break;
      case 't':
        bytes += '\t';
        break;
      case 'u': {
        char32_t unit = 0;
        for (int k = 0; k < 4; ++k) unit = unit * 16 + HexValue(literal.at(++i));
        if (unit >= 0xDC80 && unit <= 0xDCFF) {
          bytes += static_cast<char>(unit - 0xDC00);
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
          throw std::invalid_argument("a surrogate that is no escaped byte");
        } else {
          EncodeChar(unit, bytes);
        }
        break;
      }
      default:
        throw std::invalid_argument("unknown escape");
    }
  }
  return bytes;
}

// Every byte of the text is part of valid UTF-8.
bool IsValidUtf8(const std::string& text) {
  size_t pos = 0;
  while (pos < text.size()) {
    if (IsEscapedByte(DecodeChar(text, pos))) return false;
  }
  return true;
}

TEST(JsonStringTest, Literals) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string json;
  };
  const Case cases[] = {
      {"empty", "", R"("")"},
      {"ASCII", "photo 01.jpg", R"("photo 01.jpg")"},
      {"quote and backslash", "a\"b\\c", R"("a\"b\\c")"},
      {"short escapes", "\b\f\n\r\t", R"("\b\f\n\r\t")"},
      {"other control characters", std::string("\x00\x01\x1f", 3), R"("\u0000\u0001\u001f")"},
      {"space, slash and DEL stay", " /\x7f", "\" /\x7f\""},
      {"two-byte character", "caf\xc3\xa9", "\"caf\xc3\xa9\""},
      {"three-byte character", "\xe2\x82\xac", "\"\xe2\x82\xac\""},
      {"four-byte character", "\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},
      {"smallest three-byte", "\xe0\xa0\x80", "\"\xe0\xa0\x80\""},
      {"last code point", "\xf4\x8f\xbf\xbf", "\"\xf4\x8f\xbf\xbf\""},
      {"just before the surrogates", "\xed\x9f\xbf", "\"\xed\x9f\xbf\""},
      {"lone continuation byte", "a\x80z", R"("a\udc80z")"},
      {"0xFF", "\xff", R"("\udcff")"},
      {"0xFE", "\xfe", R"("\udcfe")"},
      {"truncated at the end", "a\xe2\x82", R"("a\udce2\udc82")"},
      {"truncated before ASCII", "\xe2\x82z", R"("\udce2\udc82z")"},
      {"truncated four-byte", "\xf0\x9f\x98", R"("\udcf0\udc9f\udc98")"},
      {"lead byte alone", "\xc3", R"("\udcc3")"},
      {"overlong two-byte slash", "\xc0\xaf", R"("\udcc0\udcaf")"},
      {"overlong two-byte C1", "\xc1\xbf", R"("\udcc1\udcbf")"},
      {"overlong three-byte", "\xe0\x80\xaf", R"("\udce0\udc80\udcaf")"},
      {"overlong four-byte", "\xf0\x8f\xbf\xbf", R"("\udcf0\udc8f\udcbf\udcbf")"},
      {"UTF-8 high surrogate", "\xed\xa0\x80", R"("\udced\udca0\udc80")"},
      {"UTF-8 low surrogate", "\xed\xbf\xbf", R"("\udced\udcbf\udcbf")"},
      {"above U+10FFFF", "\xf4\x90\x80\x80", R"("\udcf4\udc90\udc80\udc80")"},
      {"five-byte lead", "\xf8\x88\x80\x80\x80", R"("\udcf8\udc88\udc80\udc80\udc80")"},
      {"valid after invalid", "\xff\xc3\xa9", "\"\\udcff\xc3\xa9\""},
      {"escape next to a quote", "\"\xff\"", R"("\"\udcff\"")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string json = JsonString(c.bytes);
    EXPECT_EQ(json, c.json);
    EXPECT_TRUE(IsValidUtf8(json));
    EXPECT_EQ(DecodeJsonString(json), c.bytes);
  }
}

TEST(JsonStringTest, EveryByteStringComesBack) {
  std::vector<std::string> inputs;
  for (int b = 0; b < 256; ++b) inputs.push_back(std::string(1, static_cast<char>(b)));
  for (int a = 0x80; a < 256; ++a) {
    for (int b = 0; b < 256; b += 5) {
      inputs.push_back({static_cast<char>(a), static_cast<char>(b), 'x'});
    }
  }
  // Byte strings biased towards lead and continuation bytes, from a fixed seed.
  uint32_t seed = 12345;
  for (int n = 0; n < 2000; ++n) {
    std::string s;
    for (int k = 0; k < 12; ++k) {
      seed = seed * 1664525u + 1013904223u;
      const uint32_t r = seed >> 24;
      s += static_cast<char>(r < 64 ? 0x80 + r : r < 128 ? 0xC0 + (r & 0x3F) : r);
    }
    inputs.push_back(s);
  }
  for (const std::string& bytes : inputs) {
    const std::string json = JsonString(bytes);
    ASSERT_TRUE(IsValidUtf8(json)) << json;
    ASSERT_EQ(DecodeJsonString(json), bytes) << json;
  }
}

TEST(JsonWriterTest, CommasAndNesting) {
  struct Case {
    const char* name;
    std::string (*build)();
    const char* json;
  };
  const Case cases[] = {
      {"empty object", [] { return JsonWriter().BeginObject().EndObject().Text(); }, "{}"},
      {"empty array", [] { return JsonWriter().BeginArray().EndArray().Text(); }, "[]"},
      {"scalars in an array",
       [] {
         return JsonWriter()
             .BeginArray()
             .Int(-3)
             .Bool(true)
             .Bool(false)
             .Null()
             .String("\xff")
             .EndArray()
             .Text();
       },
       R"([-3,true,false,null,"\udcff"])"},
      {"nested",
       [] {
         JsonWriter w;
         w.BeginObject().Key("files").BeginArray();
         w.BeginObject().Key("from").String("a").Key("to").String("b").EndObject();
         w.BeginObject().Key("from").String("c").Key("errno").Int(17).EndObject();
         w.EndArray().Key("empty").BeginArray().EndArray();
         w.Key("inner").BeginObject().Key("n").Int(9223372036854775807).EndObject();
         return w.EndObject().Text();
       },
       R"({"files":[{"from":"a","to":"b"},{"from":"c","errno":17}],"empty":[],)"
       R"("inner":{"n":9223372036854775807}})"},
      {"key escaped",
       [] { return JsonWriter().BeginObject().Key("a\"b").Int(1).EndObject().Text(); },
       R"({"a\"b":1})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.build(), c.json);
  }
}

}  // namespace
}  // namespace relabo
