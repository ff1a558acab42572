// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/presentation.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "filelist/entry.h"
#include "fileutil/path.h"
#include "fileutil/utf8.h"

namespace relabo {

std::string SizeText(uint64_t n) {
  const std::string digits = std::to_string(n);
  std::string text;
  text.reserve(digits.size() + digits.size() / 3);
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ' ';
    text += digits[i];
  }
  return text;
}

std::string FitText(std::string_view text, const std::function<int(std::string_view)>& measure,
                    int width) {
  if (text.empty() || measure(text) <= width) return std::string(text);

  // Byte offsets of the character boundaries: ends[k] is the end of the first k characters.
  std::vector<size_t> ends{0};
  for (size_t pos = 0; pos < text.size();) {
    DecodeChar(text, pos);
    ends.push_back(pos);
  }
  const int count = static_cast<int>(ends.size()) - 1;
  auto candidate = [&](int keep) { return std::string(text.substr(0, ends[keep])) + "..."; };
  auto fits = [&](int keep) { return measure(candidate(keep)) <= width; };

  // The cut keeps count - 4 characters at first (all of a shorter text), then one fewer per
  // step; a binary search finds the longest that fits in a few measurements.
  int high = count >= 4 ? count - 4 : count;
  if (fits(high)) return candidate(high);
  int low = 0;
  if (!fits(low)) return "...";  // nothing fits; the painter clips it
  // fits(low) && !fits(high)
  while (high - low > 1) {
    const int mid = low + (high - low) / 2;
    (fits(mid) ? low : high) = mid;
  }
  return candidate(low);
}

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// 30 December 1899 counted from 1 January 1970.
constexpr int64_t kEpochDays = -25569;

// Proleptic Gregorian date of a day number counted from 1 January 1970.
void CivilFromDays(int64_t z, int64_t& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = yoe + era * 400 + (month <= 2);
}

void AppendNumber(std::string& out, int64_t value, int minDigits) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (static_cast<int>(digits.size()) < minDigits) {
    digits.insert(0, static_cast<size_t>(minDigits) - digits.size(), '0');
  }
  if (value < 0) out += '-';
  out += digits;
}

}  // namespace

DateTimeFields DecodeDayCount(double time) {
  DateTimeFields f;
  if (!std::isfinite(time)) return f;
  // Far beyond any file time; keeps the arithmetic below in range.
  time = std::clamp(time, -1e11, 1e11);
  int64_t days = static_cast<int64_t>(std::floor(time));
  int64_t seconds = std::llround((time - static_cast<double>(days)) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    ++days;
    seconds -= kSecondsPerDay;
  }
  CivilFromDays(days + kEpochDays, f.year, f.month, f.day);
  // Day 0 was a Saturday.
  f.weekday = static_cast<int>(((days + 6) % 7 + 7) % 7);
  f.hour = static_cast<int>(seconds / 3600);
  f.minute = static_cast<int>(seconds / 60 % 60);
  f.second = static_cast<int>(seconds % 60);
  return f;
}

std::string FormatDateTime(std::string_view pattern, double time, const DateTimeNames& names) {
  const DateTimeFields f = DecodeDayCount(time);
  std::string out;
  bool afterHour = false;  // the previous letter group was an hour
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    const char letter = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (c == '\'' || c == '"') {
      const size_t close = pattern.find(c, i + 1);
      const size_t end = close == std::string_view::npos ? pattern.size() : close;
      out.append(pattern.substr(i + 1, end - i - 1));
      i = end == pattern.size() ? end : end + 1;
      continue;
    }
    if (c == '/') {
      out += names.dateSeparator;
      ++i;
      continue;
    }
    if (c == ':') {
      out += names.timeSeparator;
      ++i;
      continue;
    }
    if (std::string_view("ymdhns").find(letter) == std::string_view::npos) {
      out += c;
      ++i;
      continue;
    }
    size_t run = 1;
    while (i + run < pattern.size() && (pattern[i + run] | 0x20) == letter) ++run;
    i += run;
    const int digits = run >= 2 ? 2 : 1;
    switch (letter) {
      case 'y':
        if (run <= 2) {
          AppendNumber(out, (f.year % 100 + 100) % 100, 2);
        } else {
          AppendNumber(out, f.year, 4);
        }
        break;
      case 'm':
        if (run <= 2 && afterHour) {
          AppendNumber(out, f.minute, digits);
        } else if (run <= 2) {
          AppendNumber(out, f.month, digits);
        } else {
          out += (run == 3 ? names.shortMonths : names.longMonths)[f.month - 1];
        }
        break;
      case 'd':
        if (run <= 2) {
          AppendNumber(out, f.day, digits);
        } else {
          out += (run == 3 ? names.shortDays : names.longDays)[f.weekday];
        }
        break;
      case 'h':
        AppendNumber(out, f.hour, digits);
        break;
      case 'n':
        AppendNumber(out, f.minute, digits);
        break;
      case 's':
        AppendNumber(out, f.second, digits);
        break;
    }
    afterHour = letter == 'h';
  }
  return out;
}

namespace {

std::string LowerCase(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t pos = 0; pos < s.size();) {
    const char32_t c = DecodeChar(s, pos);
    EncodeChar(IsEscapedByte(c) ? c : static_cast<char32_t>(u_tolower(static_cast<UChar32>(c))),
               out);
  }
  return out;
}

bool OneOf(std::string_view ext, std::initializer_list<std::string_view> list) {
  return std::find(list.begin(), list.end(), ext) != list.end();
}

}  // namespace

std::string IconCacheKey(std::string_view name, std::string_view folder) {
  const std::string ext = LowerCase(ExtensionPart(name));
  if (OneOf(ext, {".exe", ".com", ".pif", ".ico", ".icl", ".cpl", ".cur", ".ani", ".lnk"})) {
    return LowerCase(JoinPath(folder, name));
  }
  return ext;
}

namespace {

std::string WithDigit(std::string text, char digit) {
  for (char& c : text) {
    if (c >= '0' && c <= '9') c = digit;
  }
  return text;
}

char WidestDigit(const std::function<int(std::string_view)>& measure) {
  char widest = '0';
  int widestWidth = measure("0");
  for (char digit = '1'; digit <= '9'; ++digit) {
    const int width = measure(std::string_view(&digit, 1));
    if (width > widestWidth) {
      widest = digit;
      widestWidth = width;
    }
  }
  return widest;
}

int WidestDateTime(std::string_view pattern, const DateTimeNames& names, char digit,
                   const std::function<int(std::string_view)>& measure) {
  if (pattern.empty()) return 0;
  // Days 22 to 28 of every month of a year bring each month name together with each weekday
  // name, on a two-digit day; 23:59:59 has two digits in every field of the time.
  constexpr double kFirstDayOf2000 = 36526;
  constexpr double kLastSecond = (kSecondsPerDay - 1) / static_cast<double>(kSecondsPerDay);
  int widest = 0;
  for (int d = 0; d < 366; ++d) {
    const double time = kFirstDayOf2000 + d + kLastSecond;
    const int day = DecodeDayCount(time).day;
    if (day < 22 || day > 28) continue;
    widest = std::max(widest, measure(WithDigit(FormatDateTime(pattern, time, names), digit)));
  }
  return widest;
}

}  // namespace

ColumnTextWidths WidestColumnTexts(std::string_view dateFormat, std::string_view timeFormat,
                                   std::string_view dirName, const DateTimeNames& names,
                                   const std::function<int(std::string_view)>& measure) {
  const char digit = WidestDigit(measure);
  ColumnTextWidths widths;
  widths.size = std::max(measure(WithDigit(SizeText(999'999'999'999ull), digit)),
                         dirName.empty() ? 0 : measure(dirName));
  widths.date = WidestDateTime(dateFormat, names, digit, measure);
  widths.time = WidestDateTime(timeFormat, names, digit, measure);
  // A letter may be narrower than the "-" in its place, so every combination is measured.
  constexpr uint32_t kBits[] = {kAttrReadOnly, kAttrArchive, kAttrHidden, kAttrSystem,
                                kAttrCompressed};
  for (uint32_t combination = 0; combination < (1u << std::size(kBits)); ++combination) {
    uint32_t attr = 0;
    for (size_t i = 0; i < std::size(kBits); ++i) {
      if (combination & (1u << i)) attr |= kBits[i];
    }
    widths.attribute = std::max(widths.attribute, measure(AttributeText(attr)));
  }
  return widths;
}

ColumnSettings WidenColumns(const ColumnSettings& asked, const ColumnTextWidths& least) {
  ColumnSettings drawn = asked;
  drawn.widthSize = std::max(asked.widthSize, least.size);
  drawn.widthDate = std::max(asked.widthDate, least.date);
  drawn.widthTime = std::max(asked.widthTime, least.time);
  drawn.widthAttribute = std::max(asked.widthAttribute, least.attribute);
  return drawn;
}

RowLayout LayoutRow(const ColumnSettings& s, int left, int rowHeight) {
  RowLayout row;
  int offset = 2;
  if (s.showGlyphs) {
    row.glyph = {true, left + 2, rowHeight};
    offset = rowHeight + 4;
  }
  row.name = {true, left + offset, s.widthFileName};
  int right = row.name.Right();
  auto place = [&right](ColumnSpan& span, bool shown, int width) {
    if (!shown) return;
    span = {true, right + 4, width};
    right = span.Right();
  };
  place(row.preview, s.showPreview, s.widthPreview);
  place(row.size, s.showSize, s.widthSize);
  place(row.date, s.showDate, s.widthDate);
  place(row.time, s.showTime, s.widthTime);
  place(row.attribute, s.showAttribute, s.widthAttribute);
  return row;
}

int FitListWidth(const ColumnSettings& s, int rowHeight, int scrollBarExtent, int frameWidth) {
  int width = scrollBarExtent + 2 * frameWidth + 4;
  if (s.showGlyphs) width += rowHeight + 2;
  width += s.widthFileName;
  if (s.showPreview) width += s.widthPreview + 4;
  if (s.showSize) width += s.widthSize + 4;
  if (s.showDate) width += s.widthDate + 4;
  if (s.showTime) width += s.widthTime + 4;
  if (s.showAttribute) width += s.widthAttribute + 4;
  return width;
}

}  // namespace relabo
