// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace relabo {

/// The decimal digits of n with a blank before every group of three from the right:
/// 999 -> "999", 1024 -> "1 024", 4294967295 -> "4 294 967 295".
std::string SizeText(uint64_t n);

/// Shortens a text until it is at most width pixels wide by measure: the text itself when it
/// fits, else the longest of "<text less its last four characters>...", then one character
/// fewer before the "..." each step (a text of one to three characters keeps all of them in
/// the first try), down to "..." alone, which is returned even when it does not fit. Characters
/// are UTF-8 code points; an empty text stays empty. Assumes a longer prefix is never narrower.
std::string FitText(std::string_view text, const std::function<int(std::string_view)>& measure,
                    int width);

/// Month and weekday names and the separators that FormatDateTime writes.
struct DateTimeNames {
  std::array<std::string, 12> shortMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 12> longMonths{"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};
  /// Sunday first.
  std::array<std::string, 7> shortDays{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::array<std::string, 7> longDays{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                      "Thursday", "Friday", "Saturday"};
  /// What "/" and ":" of a pattern write.
  std::string dateSeparator = "/";
  std::string timeSeparator = ":";
};

/// The calendar fields of a day count (days since 30 December 1899, fraction = time of day,
/// rounded to whole seconds).
struct DateTimeFields {
  int64_t year = 1899;
  int month = 12;   // 1..12
  int day = 30;     // 1..31
  int weekday = 6;  // 0 = Sunday
  int hour = 0;
  int minute = 0;
  int second = 0;
};
DateTimeFields DecodeDayCount(double time);

/// Formats a day count with a date-time pattern. Letters are case-insensitive: y/yy two-digit
/// year, yyy.. four-digit year; m/mm month (minutes when the previous letter group was an hour),
/// mmm/mmmm month name; d/dd day, ddd/dddd weekday name; h/hh hour 0-23; n/nn minutes; s/ss
/// seconds; one letter without, two with a leading zero. "/" and ":" write the separators of
/// names, text in single or double quotes is copied without the quotes, anything else is copied.
std::string FormatDateTime(std::string_view pattern, double time,
                           const DateTimeNames& names = DateTimeNames());

/// The key under which the list caches the desktop's icon of a file: its lower-cased extension
/// (with the dot, empty without one), or the full path (lower-cased) for the extensions whose
/// files carry icons of their own (".exe", ".lnk", ...).
std::string IconCacheKey(std::string_view name, std::string_view folder);

/// Horizontal extent of one painted element of a row.
struct ColumnSpan {
  bool shown = false;
  int left = 0;
  int width = 0;
  int Right() const { return left + width; }
};

/// Which columns a row shows and how wide they are, besides the always shown name.
struct ColumnSettings {
  bool showGlyphs = true;
  /// The new-name column, right of the name.
  bool showPreview = false;
  bool showSize = true;
  bool showDate = true;
  bool showTime = true;
  bool showAttribute = true;
  int widthFileName = 150;
  int widthPreview = 150;
  int widthSize = 60;
  int widthDate = 45;
  int widthTime = 30;
  int widthAttribute = 30;
};

/// The widths of the widest texts the size, date, time and attribute columns can show.
struct ColumnTextWidths {
  int size = 0;
  int date = 0;
  int time = 0;
  int attribute = 0;
};

/// Measures, by measure, the widest text of each column: a size up to 999 999 999 999 bytes or
/// dirName; every date and time the two patterns give, with all month and weekday names of
/// names and every digit as the widest digit; every combination of attribute letters.
ColumnTextWidths WidestColumnTexts(std::string_view dateFormat, std::string_view timeFormat,
                                   std::string_view dirName, const DateTimeNames& names,
                                   const std::function<int(std::string_view)>& measure);

/// The columns as drawn: the size, date, time and attribute columns are at least as wide as
/// their widest text; the name and new-name columns are as asked (they shorten their texts).
ColumnSettings WidenColumns(const ColumnSettings& asked, const ColumnTextWidths& least);

/// Where a row's glyph and columns go, for a row starting at left with rows rowHeight high.
struct RowLayout {
  ColumnSpan glyph;  // a square of the row height
  ColumnSpan name;
  ColumnSpan preview;
  ColumnSpan size;
  ColumnSpan date;
  ColumnSpan time;
  ColumnSpan attribute;
};
RowLayout LayoutRow(const ColumnSettings& settings, int left, int rowHeight);

/// The width that shows every shown column beside a vertical scroll bar inside the frame.
int FitListWidth(const ColumnSettings& settings, int rowHeight, int scrollBarExtent,
                 int frameWidth);

/// What the new-name column shows for one entry.
struct PreviewCell {
  enum class Look {
    Plain,
    /// The entry keeps its name.
    Unchanged,
    /// The entry cannot get its new name; reason says why.
    Failed,
    /// Not a name but why none could be made for this entry (a pattern or number that cannot
    /// be used, a pattern that runs too long on it): text and reason hold the message.
    Message,
  };
  /// The new name, as bytes; empty draws nothing.
  std::string text;
  Look look = Look::Plain;
  std::string reason;
};

}  // namespace relabo
