// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/presentation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "filelist/entry.h"
#include "fileutil/utf8.h"

namespace relabo {
namespace {

TEST(SizeTextTest, GroupsEveryThreeDigits) {
  struct Case {
    uint64_t n;
    const char* text;
  } cases[] = {
      {0, "0"},
      {7, "7"},
      {999, "999"},
      {1000, "1 000"},
      {1024, "1 024"},
      {999999, "999 999"},
      {1000000, "1 000 000"},
      {1048576, "1 048 576"},
      {123456789, "123 456 789"},
      // Ten digits and more get their third blank too.
      {3221225472ull, "3 221 225 472"},
      {4294967295ull, "4 294 967 295"},
      {5368709120ull, "5 368 709 120"},
      {UINT64_MAX, "18 446 744 073 709 551 615"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(SizeText(c.n), c.text);
  }
}

// Ten pixels a character; "i" 3 and "m" 14, so that widths vary.
int Width(std::string_view text) {
  int width = 0;
  for (char32_t c : DecodeUtf8(text)) width += c == U'i' ? 3 : c == U'm' ? 14 : 10;
  return width;
}

TEST(FitTextTest, Cases) {
  struct Case {
    const char* name;
    const char* text;
    int width;
    const char* fitted;
  } cases[] = {
      {"fits", "abc", 30, "abc"},
      {"empty", "", 0, ""},
      {"empty, negative width", "", -5, ""},
      {"long name", "Very long file name.txt", 150, "Very long fi..."},
      {"first cut drops four", "abcdefgh", 79, "abcd..."},
      {"four characters", "abcd", 35, "..."},
      {"three characters", "mmm", 41, "..."},
      {"nothing fits", "abc", 25, "..."},
      {"width 0", "Very long file name.txt", 0, "..."},
      {"negative width", "abc", -1, "..."},
      {"multi-byte", "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA9\xC3\xA8\xC3\xA0\xC3\xA7", 70,
       "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F..."},
      {"bytes that are not UTF-8",
       "\xFF\xFE\xFD"
       "abcdef",
       60, "\xFF\xFE\xFD..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FitText(c.text, Width, c.width), c.fitted);
  }
}

// The shortening loop step by step, stopped where "..." alone does not fit.
std::string StepwiseFit(std::string_view text, int width) {
  std::u32string t = DecodeUtf8(text);
  if (t.empty() || Width(EncodeUtf8(t)) <= width) return std::string(text);
  for (;;) {
    if (t.size() >= 4) t.erase(t.size() - 4);
    t += U"...";
    if (Width(EncodeUtf8(t)) <= width || t == U"...") return EncodeUtf8(t);
  }
}

TEST(FitTextTest, AgreesWithTheStepwiseLoopAtEveryWidth) {
  const char* texts[] = {"a",
                         "ab",
                         "abcd",
                         "mimimimi",
                         "Summer 2024 - IMG_0001.jpeg",
                         "i\xC3\xA9m\xE2\x82\xAC"
                         "x\xF0\x9F\x98\x80yz"};
  for (const char* text : texts) {
    for (int width = -2; width <= Width(text) + 2; ++width) {
      SCOPED_TRACE(std::string(text) + " @" + std::to_string(width));
      const std::string fitted = FitText(text, Width, width);
      EXPECT_EQ(fitted, StepwiseFit(text, width));
      if (fitted != text) {
        EXPECT_TRUE(fitted.ends_with("..."));
      }
    }
  }
}

// 24 December 2007, 14:05:09 and 5 March 2007, 09:07:00 as day counts.
constexpr double kChristmasEve = 39440 + (14 * 3600 + 5 * 60 + 9) / 86400.0;
constexpr double kMarch = 39146 + (9 * 3600 + 7 * 60) / 86400.0;

TEST(FormatDateTimeTest, Patterns) {
  struct Case {
    const char* name;
    const char* pattern;
    double time;
    const char* text;
  } cases[] = {
      {"main window date", "YY-MM-DD", kChristmasEve, "07-12-24"},
      {"default date", "dd.MM.yy", kChristmasEve, "24.12.07"},
      {"time", "hh:mm", kChristmasEve, "14:05"},
      {"upper case", "HH:MM:SS", kChristmasEve, "14:05:09"},
      {"n is minutes", "hh:nn:ss", kChristmasEve, "14:05:09"},
      {"single letters", "d/m/yy h:n:s", kMarch, "5/3/07 9:7:0"},
      {"two letters pad", "dd/mm hh:nn", kMarch, "05/03 09:07"},
      {"four-digit year", "yyyy", kChristmasEve, "2007"},
      {"month names", "mmm mmmm", kChristmasEve, "Dec December"},
      {"weekday names", "ddd dddd", kChristmasEve, "Mon Monday"},
      {"m after an hour is minutes", "h m", kMarch, "9 7"},
      {"m after another letter is the month", "hh dd mm", kMarch, "09 05 03"},
      {"mmm after an hour is a month name", "hh mmm", kMarch, "09 Mar"},
      {"quoted text", "'hh' \"mm\" hh", kChristmasEve, "hh mm 14"},
      {"unterminated quote", "dd 'at", kChristmasEve, "24 at"},
      {"other characters", "dd x T", kChristmasEve, "24 x T"},
      {"day zero", "yyyy-mm-dd hh:nn ddd", 0, "1899-12-30 00:00 Sat"},
      {"before day zero", "yyyy-mm-dd hh:nn", -1.25, "1899-12-28 18:00"},
      {"rounds to the next day", "yyyy-mm-dd hh:nn:ss", 39440.9999999, "2007-12-25 00:00:00"},
      {"leap day", "dd.mm.yyyy ddd", 45351, "29.02.2024 Thu"},
      {"empty", "", kChristmasEve, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FormatDateTime(c.pattern, c.time), c.text);
  }
}

TEST(FormatDateTimeTest, SeparatorsComeFromTheNames) {
  DateTimeNames names;
  names.dateSeparator = ".";
  names.timeSeparator = "h";
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", kChristmasEve, names), "24.12.2007 14h05");
}

TEST(IconCacheKeyTest, ExtensionOrPath) {
  struct Case {
    const char* name;
    const char* key;
  } cases[] = {
      {"Report.TXT", ".txt"},
      {"notes.txt", ".txt"},
      {"README", ""},
      {".profile", ".profile"},
      {"archive.tar.GZ", ".gz"},
      {"x.\xC3\x84"
       "BC",
       ".\xC3\xA4"
       "bc"},
      // Files that carry their own icons are keyed by their full path.
      {"Setup.EXE", "/data/new/setup.exe"},
      {"link.lnk", "/data/new/link.lnk"},
      {"app.ico", "/data/new/app.ico"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IconCacheKey(c.name, "/data/New"), c.key);
  }
}

TEST(BuiltInFileGlyphTest, ExtensionDecidesFirst) {
  struct Case {
    const char* name;
    uint32_t attr;
    int32_t code;
  } cases[] = {
      {"a.exe", kAttrNormal, kGlyphExeWin},       {"a.COM", kAttrNormal, kGlyphExeWin},
      {"a.bat", kAttrHidden, kGlyphExeWin},       {"a.pif", kAttrNormal, kGlyphExeDos},
      {"a.lnk", kAttrNormal, kGlyphShortcut},     {"a.ZIP", kAttrNormal, kGlyphCompress},
      {"a.rar", kAttrSystem, kGlyphCompress},     {"a.arj", kAttrNormal, kGlyphCompress},
      {"a.jar", kAttrNormal, kGlyphCompress},     {".hidden", kAttrHidden, kGlyphDefaultHidden},
      {"fifo", kAttrSystem, kGlyphDefaultHidden}, {"a.txt", kAttrNormal, kGlyphDefault},
      {"a.txt", kAttrReadOnly, kGlyphDefault},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BuiltInFileGlyph(c.name, c.attr), c.code);
  }
}

// Proportional digits with "8" the widest, and a "W" wider than any other character.
int Proportional(std::string_view text) {
  static constexpr int kDigits[] = {6, 4, 6, 6, 6, 6, 6, 6, 9, 6};
  int width = 0;
  for (char32_t c : DecodeUtf8(text)) {
    width += c >= U'0' && c <= U'9' ? kDigits[c - U'0'] : c == U'W' ? 20 : c == U'i' ? 3 : 10;
  }
  return width;
}

TEST(WidestColumnTextsTest, DatesAndTimes) {
  DateTimeNames names;
  names.dateSeparator = "i";
  // The widest names are neither the longest nor those of any one date.
  names.longMonths.fill("aaaaa");
  names.longMonths[4] = "WWW";
  names.shortMonths.fill("ab");
  names.shortMonths[1] = "WW";
  names.shortDays.fill("ab");
  names.shortDays[4] = "WW";
  names.longDays.fill("iii");
  names.longDays[0] = "aaaa";
  struct Case {
    const char* name;
    const char* pattern;
    const char* widest;
  } cases[] = {
      {"main window date", "YY-MM-DD", "88-88-88"},
      {"default date", "dd.MM.yy", "88.88.88"},
      {"one letter gives up to two digits", "d.m.y", "88.88.88"},
      {"four-digit year", "yyyy", "8888"},
      {"time", "hh:mm", "88:88"},
      {"one-letter hour and minutes", "h:m", "88:88"},
      {"seconds", "hh:nn:ss", "88:88:88"},
      {"separator from the names", "dd/mm", "88i88"},
      {"quoted text", "'at' hh", "at 88"},
      {"long month name", "d mmmm yyyy", "88 WWW 8888"},
      {"long weekday name", "dddd", "aaaa"},
      {"weekday and month names together", "ddd mmm", "WW WW"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ColumnTextWidths date = WidestColumnTexts(c.pattern, "", "", names, Proportional);
    EXPECT_EQ(date.date, Proportional(c.widest));
    EXPECT_EQ(date.time, 0);
    EXPECT_EQ(WidestColumnTexts("", c.pattern, "", names, Proportional).time,
              Proportional(c.widest));
  }
}

TEST(WidestColumnTextsTest, SizesOrTheFolderText) {
  struct Case {
    const char* name;
    const char* dirName;
    const char* widest;
  } cases[] = {
      {"sizes up to 999 999 999 999", "<DIR>", "888 888 888 888"},
      {"no folder text", "", "888 888 888 888"},
      {"a folder text wider than any size", "<DIRECTORY>  WW", "<DIRECTORY>  WW"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WidestColumnTexts("", "", c.dirName, DateTimeNames(), Proportional).size,
              Proportional(c.widest));
  }
  // With digits all alike the widest size is all nines.
  EXPECT_EQ(WidestColumnTexts("", "", "", DateTimeNames(), Width).size,
            Width(SizeText(999'999'999'999ull)));
}

TEST(WidestColumnTextsTest, AttributesTakeTheWiderOfLetterAndDashInEachPlace) {
  // "r" and "s" are narrower than "-", "a", "h" and "c" wider.
  auto measure = [](std::string_view text) {
    int width = 0;
    for (char c : text) width += c == '-' ? 10 : (c == 'r' || c == 's') ? 5 : 12;
    return width;
  };
  EXPECT_EQ(WidestColumnTexts("", "", "", DateTimeNames(), measure).attribute, measure("-ah-c"));
}

TEST(WidenColumnsTest, TextColumnsAtLeastAsWideAsTheirTexts) {
  ColumnSettings asked;
  asked.showDate = false;
  asked.widthFileName = 20;
  asked.widthSize = 60;
  asked.widthDate = 45;
  asked.widthTime = 0;
  asked.widthAttribute = 40;
  asked.showPreview = true;
  asked.widthPreview = 5;
  const ColumnSettings drawn =
      WidenColumns(asked, {.size = 88, .date = 51, .time = 34, .attribute = 40});
  EXPECT_EQ(drawn.widthFileName, 20);  // the names shorten instead
  EXPECT_EQ(drawn.widthPreview, 5);
  EXPECT_TRUE(drawn.showPreview);
  EXPECT_EQ(drawn.widthSize, 88);
  EXPECT_EQ(drawn.widthDate, 51);
  EXPECT_FALSE(drawn.showDate);
  EXPECT_EQ(drawn.widthTime, 34);
  EXPECT_EQ(drawn.widthAttribute, 40);
  const ColumnSettings wide =
      WidenColumns(asked, {.size = 10, .date = 10, .time = 0, .attribute = 5});
  EXPECT_EQ(wide.widthSize, 60);
  EXPECT_EQ(wide.widthDate, 45);
  EXPECT_EQ(wide.widthAttribute, 40);
}

TEST(LayoutRowTest, ColumnsFollowEachOtherFourPixelsApart) {
  ColumnSettings main;  // the main window's list
  main.widthFileName = 235;
  RowLayout row = LayoutRow(main, 0, 16);
  EXPECT_TRUE(row.glyph.shown);
  EXPECT_EQ(row.glyph.left, 2);
  EXPECT_EQ(row.glyph.width, 16);
  EXPECT_EQ(row.name.left, 20);
  EXPECT_EQ(row.name.width, 235);
  EXPECT_EQ(row.size.left, 259);
  EXPECT_EQ(row.date.left, 323);
  EXPECT_EQ(row.time.left, 372);
  EXPECT_EQ(row.attribute.left, 406);
  EXPECT_EQ(row.attribute.Right(), 436);
  EXPECT_FALSE(row.preview.shown);

  // A row starting elsewhere moves as a whole.
  EXPECT_EQ(LayoutRow(main, 10, 16).attribute.left, 416);

  // The new-name column comes right after the name and pushes the others along.
  ColumnSettings preview = main;
  preview.showPreview = true;
  preview.widthPreview = 200;
  row = LayoutRow(preview, 0, 16);
  EXPECT_TRUE(row.preview.shown);
  EXPECT_EQ(row.preview.left, 259);
  EXPECT_EQ(row.preview.width, 200);
  EXPECT_EQ(row.size.left, 463);
  EXPECT_EQ(row.attribute.Right(), 436 + 204);
  preview.showSize = preview.showDate = preview.showTime = preview.showAttribute = false;
  EXPECT_EQ(LayoutRow(preview, 0, 16).preview.Right(), 459);

  ColumnSettings bare = main;
  bare.showGlyphs = false;
  bare.showDate = false;
  bare.showTime = false;
  bare.showAttribute = false;
  row = LayoutRow(bare, 0, 16);
  EXPECT_FALSE(row.glyph.shown);
  EXPECT_EQ(row.name.left, 2);
  EXPECT_EQ(row.size.left, 241);
  EXPECT_FALSE(row.date.shown);
  EXPECT_FALSE(row.attribute.shown);

  ColumnSettings noSize = main;
  noSize.showSize = false;
  row = LayoutRow(noSize, 0, 16);
  EXPECT_FALSE(row.size.shown);
  EXPECT_EQ(row.date.left, row.name.Right() + 4);
}

TEST(FitListWidthTest, MainWindowValues) {
  ColumnSettings main;
  main.widthFileName = 235;
  EXPECT_EQ(FitListWidth(main, 16, 16, 2), 458);
  ColumnSettings noGlyphs = main;
  noGlyphs.showGlyphs = false;
  EXPECT_EQ(FitListWidth(noGlyphs, 16, 16, 2), 458 - 18);
  ColumnSettings sizeOnly = main;
  sizeOnly.showDate = sizeOnly.showTime = sizeOnly.showAttribute = false;
  EXPECT_EQ(FitListWidth(sizeOnly, 16, 16, 2), 458 - 49 - 34 - 34);
  ColumnSettings preview = main;
  preview.showPreview = true;
  preview.widthPreview = 200;
  EXPECT_EQ(FitListWidth(preview, 16, 16, 2), 458 + 204);
  // The widest row fits inside with two pixels to spare.
  for (const ColumnSettings& settings : {main, preview}) {
    EXPECT_EQ(FitListWidth(settings, 16, 16, 2) - 16 - 2 * 2,
              LayoutRow(settings, 0, 16).attribute.Right() + 2);
  }
  ColumnSettings namesOnly = preview;
  namesOnly.showSize = namesOnly.showDate = namesOnly.showTime = namesOnly.showAttribute = false;
  EXPECT_EQ(FitListWidth(namesOnly, 16, 16, 2) - 16 - 2 * 2,
            LayoutRow(namesOnly, 0, 16).preview.Right() + 2);
}

}  // namespace
}  // namespace relabo
