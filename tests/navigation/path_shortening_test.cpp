// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigation/path_shortening.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace relabo {
namespace {

constexpr PathStyle kPosix = PathStyle::Posix;
constexpr PathStyle kWindows = PathStyle::Windows;

int OnePixelPerByte(std::string_view s) { return int(s.size()); }

// Every text the shortening goes through, in order: with a width of -1 nothing fits, so this
// is the whole sequence of cuts. Each is measured once, except the last when nothing is left
// to cut.
std::vector<std::string> Trace(std::string_view text, PathStyle style) {
  std::vector<std::string> steps;
  const std::string last = ShortenPath(
      text,
      [&steps](std::string_view s) {
        steps.emplace_back(s);
        return int(s.size());
      },
      -1, style);
  if (steps.empty() || steps.back() != last) steps.push_back(last);
  return steps;
}

struct TraceCase {
  const char* name;
  PathStyle style;
  const char* text;
  std::vector<std::string> steps;  // the text itself first
};

TEST(ShortenPathTest, CutsOneFolderPerStep) {
  const TraceCase cases[] = {
      {"drive path down to the file name",
       kWindows,
       "C:\\Program Files\\Common\\Sub\\file.txt",
       {"C:\\Program Files\\Common\\Sub\\file.txt", "C:\\...\\Common\\Sub\\file.txt",
        "C:\\...\\Sub\\file.txt", "C:\\...\\file.txt", "...\\file.txt", "file.txt"}},
      {"folder below the root with a mask",
       kWindows,
       "C:\\Photos\\*.*",
       {"C:\\Photos\\*.*", "C:\\...\\*.*", "...\\*.*", "*.*"}},
      {"drive root: the lone backslash goes first",
       kWindows,
       "C:\\*.*",
       {"C:\\*.*", "C:*.*", "*.*"}},
      {"two backslashes: no drive, the second one becomes the ellipsis",
       kWindows,
       "\\\\server\\share\\dir\\*.*",
       {"\\\\server\\share\\dir\\*.*", "\\...\\server\\share\\dir\\*.*", "\\...\\share\\dir\\*.*",
        "\\...\\dir\\*.*", "\\...\\*.*", "...\\*.*", "*.*"}},
      {"first folder .git (4 characters) is cut alone",
       kWindows,
       "C:\\.git\\objects\\x.pack",
       {"C:\\.git\\objects\\x.pack", "C:\\...\\objects\\x.pack", "C:\\...\\x.pack", "...\\x.pack",
        "x.pack"}},
      {"first folder .a is cut with the folder after it",
       kWindows,
       "C:\\.a\\b\\c\\f",
       {"C:\\.a\\b\\c\\f", "C:\\...\\c\\f", "C:\\...\\f", "...\\f", "f"}},
      {"the four removed characters keep a multi-byte one whole",
       kWindows,
       "C:\\.\xC3\xA9\\x\\y\\f",
       {"C:\\.\xC3\xA9\\x\\y\\f", "C:\\...\\y\\f", "C:\\...\\f", "...\\f", "f"}},
      {"multi-byte drive letter",
       kWindows,
       "\xC3\xA9:\\dir\\f",
       {"\xC3\xA9:\\dir\\f", "\xC3\xA9:\\...\\f", "...\\f", "f"}},
      {"drive and name without folder", kWindows, "C:file", {"C:file", "file"}},
      {"relative folder", kWindows, "a\\b\\c", {"a\\b\\c", "...\\b\\c", "...\\c", "c"}},
      {"no separator is never cut", kWindows, "file.txt", {"file.txt"}},
      {"empty", kWindows, "", {""}},
      {"posix: home folder down to the mask",
       kPosix,
       "/home/ann/photos/2024/*.*",
       {"/home/ann/photos/2024/*.*", "/.../ann/photos/2024/*.*", "/.../photos/2024/*.*",
        "/.../2024/*.*", "/.../*.*", ".../*.*", "*.*"}},
      {"posix: root with a mask", kPosix, "/*.*", {"/*.*", "*.*"}},
      {"posix: backslash and colon belong to names",
       kPosix,
       "/mnt/C:\\dir/a:b",
       {"/mnt/C:\\dir/a:b", "/.../C:\\dir/a:b", "/.../a:b", ".../a:b", "a:b"}},
      {"posix: hidden folder after a cut",
       kPosix,
       "/home/.config/app/x",
       {"/home/.config/app/x", "/.../.config/app/x", "/.../app/x", "/.../x", ".../x", "x"}},
      {"posix: no separator", kPosix, "C:\\x", {"C:\\x"}},
  };
  for (const TraceCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Trace(c.text, c.style), c.steps);
  }
}

TEST(ShortenPathTest, StopsAtTheFirstTextThatFits) {
  struct Case {
    const char* name;
    PathStyle style;
    const char* text;
    int width;
    const char* expected;
  };
  const Case cases[] = {
      {"fits: unchanged however long", kPosix, "/a/very/long/path/indeed/file", 29,
       "/a/very/long/path/indeed/file"},
      {"one pixel short: one cut", kPosix, "/alpha/b/file", 12, "/.../b/file"},
      {"a cut that makes it longer goes on", kWindows, "C:\\ab\\*.*", 8, "...\\*.*"},
      {"exactly the width of a later step", kPosix, "/home/ann/photos/2024/*.*", 13,
       "/.../2024/*.*"},
      {"narrower than the last component: that component", kWindows,
       "C:\\Program Files\\Common\\Sub\\file.txt", 3, "file.txt"},
      {"the width of one step shows it", kWindows, "C:\\Program Files\\Common\\Sub\\file.txt", 19,
       "C:\\...\\Sub\\file.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ShortenPath(c.text, OnePixelPerByte, c.width, c.style), c.expected);
  }
}

// "W" is three pixels wide, everything else one.
int WideW(std::string_view s) {
  int width = 0;
  for (char c : s) width += c == 'W' ? 3 : 1;
  return width;
}

TEST(ElideMiddleTest, KeepsBothEndsOfWhatFits) {
  struct Case {
    const char* name;
    const char* text;
    int (*measure)(std::string_view);
    int width;
    const char* expected;
  };
  const Case cases[] = {
      {"fits exactly: unchanged", "/run/media/ann/BACKUP", OnePixelPerByte, 21,
       "/run/media/ann/BACKUP"},
      {"one pixel short", "/run/media/ann/BACKUP", OnePixelPerByte, 20, "/run/medi...n/BACKUP"},
      {"odd count: one more at the start", "/run/media/ann/BACKUP", OnePixelPerByte, 12,
       "/run/...CKUP"},
      {"even count: as many at both ends", "/run/media/ann/BACKUP", OnePixelPerByte, 11,
       "/run...CKUP"},
      {"one character each side", "/run/media/ann/BACKUP", OnePixelPerByte, 5, "/...P"},
      {"only the ellipsis fits", "/run/media/ann/BACKUP", OnePixelPerByte, 4, "/..."},
      {"nothing fits: the ellipsis", "/run/media/ann/BACKUP", OnePixelPerByte, 1, "..."},
      {"negative width: the ellipsis", "/run/media/ann/BACKUP", OnePixelPerByte, -5, "..."},
      {"the ellipsis would be no narrower", "abc", OnePixelPerByte, 1, "abc"},
      {"four bytes: the ellipsis is narrower", "abcd", OnePixelPerByte, 3, "..."},
      {"empty", "", OnePixelPerByte, 0, ""},
      {"two-byte characters stay whole", "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA9\xC3\xA8",
       OnePixelPerByte, 8, "\xC3\xA4...\xC3\xA8"},
      {"a byte that is not UTF-8 is one character",
       "ab\xFF"
       "cdefgh",
       OnePixelPerByte, 8, "ab\xFF...gh"},
      {"wide characters at the start", "WWWWaaaa", WideW, 10, "WW...a"},
      {"wide characters at the end", "aaaaWWWW", WideW, 10, "aa...W"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string shown = ElideMiddle(c.text, c.measure, c.width);
    EXPECT_EQ(shown, c.expected);
    if (shown != c.text && c.width >= 3) {
      EXPECT_LE(c.measure(shown), c.width);
    }
  }
}

}  // namespace
}  // namespace relabo
