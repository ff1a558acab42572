// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/transform.h"

#include <unicode/uchar.h>
#include <unicode/uloc.h>

#include <algorithm>
#include <cstring>

#include "engine/regex_replace.h"
#include "fileutil/error.h"
#include "fileutil/path.h"
#include "fileutil/utf8.h"

namespace relabo {
namespace {

using Text = std::u32string;

// The string primitives below take 1-based character positions and clamp exactly as the
// commands rely on; lengths are compared in 64 bits so that no parameter can overflow.

/// Inserts s at position p; p below 1 counts as 1, beyond the end as an append.
void Insert(const Text& s, Text& b, int64_t p) {
  if (s.empty()) return;
  p = std::clamp<int64_t>(p, 1, static_cast<int64_t>(b.size()) + 1);
  b.insert(static_cast<size_t>(p - 1), s);
}

/// Removes n characters from position p; nothing when p is outside the text or n below 1.
void Remove(Text& b, int64_t p, int64_t n) {
  const auto len = static_cast<int64_t>(b.size());
  if (p < 1 || p > len || n < 1) return;
  n = std::min(n, len - p + 1);
  b.erase(static_cast<size_t>(p - 1), static_cast<size_t>(n));
}

/// The 1-based position of the first occurrence of s in b from position from on, 0 when s is
/// empty or absent.
int64_t Find(const Text& s, const Text& b, int64_t from = 1) {
  if (s.empty() || from < 1 || from > static_cast<int64_t>(b.size())) return 0;
  const size_t at = b.find(s, static_cast<size_t>(from - 1));
  return at == Text::npos ? 0 : static_cast<int64_t>(at) + 1;
}

// Simple one-to-one case mapping; Turkish and Azeri pair dotted and dotless i their own way.
bool TurkicCaseRules() {
  const char* locale = uloc_getDefault();
  const bool turkic = std::strncmp(locale, "tr", 2) == 0 || std::strncmp(locale, "az", 2) == 0;
  return turkic && (locale[2] == '\0' || locale[2] == '_' || locale[2] == '-');
}

char32_t Upper(char32_t c, bool turkic) {
  if (turkic && c == U'i') return U'\u0130';
  return static_cast<char32_t>(u_toupper(static_cast<UChar32>(c)));
}

char32_t Lower(char32_t c, bool turkic) {
  if (turkic && c == U'I') return U'\u0131';
  return static_cast<char32_t>(u_tolower(static_cast<UChar32>(c)));
}

void ChangeCase(Text& b, int mode, const Text& sep) {
  if (b.empty()) return;
  const bool turkic = TurkicCaseRules();
  const auto len = static_cast<int64_t>(b.size());
  switch (mode) {
    case 0: {
      // Each word between separators gets an upper-case first character and a lower-case
      // rest. The separator is searched in the text as converted so far.
      if (sep.empty()) return;
      const auto sepLen = static_cast<int64_t>(sep.size());
      int64_t start = 1;
      const int64_t first = Find(sep, b);
      int64_t last = first > 0 ? first - 1 : len;
      do {
        b[start - 1] = Upper(b[start - 1], turkic);
        for (int64_t k = start + 1; k <= last; ++k) b[k - 1] = Lower(b[k - 1], turkic);
        start = last + sepLen + 1;
        if (start <= len) {
          const int64_t r = Find(sep, b, start);
          last = r > 0 ? r - 1 : len;
        }
      } while (start <= len);
      return;
    }
    case 1:
      b[0] = Upper(b[0], turkic);
      for (size_t k = 1; k < b.size(); ++k) b[k] = Lower(b[k], turkic);
      return;
    case 2:
      for (char32_t& c : b) c = Lower(c, turkic);
      return;
    case 3:
      for (char32_t& c : b) c = Upper(c, turkic);
      return;
    default:
      return;
  }
}

/// value in decimal with zeros put in front (before a minus sign) up to width characters.
std::string PaddedNumber(int32_t value, int64_t width) {
  std::string digits = std::to_string(value);
  if (width > static_cast<int64_t>(digits.size())) {
    digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
  }
  return digits;
}

int32_t WrappingAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t WrappingMul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

bool IsDigit(char32_t c) { return c >= U'0' && c <= U'9'; }

NumberRun FindNumberIn(const Text& b, int64_t which) {
  NumberRun run;
  if (which < 1) return run;
  int64_t seen = 0;
  for (size_t i = 0; i < b.size();) {
    if (!IsDigit(b[i])) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < b.size() && IsDigit(b[end])) ++end;
    if (++seen == which) {
      run.found = true;
      run.first = static_cast<int>(i + 1);
      run.last = static_cast<int>(end);
      return run;
    }
    i = end;
  }
  return run;
}

void ChangeNumber(Text& b, int32_t which, int32_t plus) {
  const NumberRun run = FindNumberIn(b, which);
  if (!run.found) return;
  const size_t n = static_cast<size_t>(run.last - run.first + 1);
  const Text digits = b.substr(static_cast<size_t>(run.first - 1), n);
  int64_t value = 0;
  for (char32_t c : digits) {
    value = value * 10 + (c - U'0');
    if (value > INT32_MAX) {
      throw Error(Format("'%s' is not a valid integer value", EncodeUtf8(digits)));
    }
  }
  const std::string t =
      PaddedNumber(WrappingAdd(static_cast<int32_t>(value), plus), static_cast<int64_t>(n));
  b.replace(static_cast<size_t>(run.first - 1), n, Text(t.begin(), t.end()));
}

void ReplaceAll(Text& b, const Text& orig, const Text& with) {
  if (orig.empty()) return;
  // The inserted text is never searched again, so a replacement containing the original
  // cannot loop.
  int64_t p = Find(orig, b);
  while (p > 0) {
    Remove(b, p, static_cast<int64_t>(orig.size()));
    Insert(with, b, p);
    const int64_t next = p + static_cast<int64_t>(with.size());
    const int64_t r = Find(orig, b, next);
    if (r == 0) break;
    p = r;
  }
}

}  // namespace

std::optional<int64_t> ParseSaturatedInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  int64_t magnitude = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = std::min<int64_t>(magnitude * 10 + (c - '0'), int64_t{1} << 40);
  }
  return negative ? -magnitude : magnitude;
}

std::string CounterText(int32_t start, int32_t step, int32_t digits, int32_t ordinal) {
  return PaddedNumber(WrappingAdd(start, WrappingMul(step, ordinal)),
                      std::min(digits, kMaxNameBytes));
}

std::string ArrangeScheme(int scheme, std::string_view name, std::string_view separator,
                          std::string_view counter) {
  std::string out;
  out.reserve(name.size() + separator.size() + counter.size());
  const std::string_view parts[6][3] = {
      {name, separator, counter}, {name, counter, separator}, {separator, name, counter},
      {separator, counter, name}, {counter, name, separator}, {counter, separator, name},
  };
  const auto& order = parts[scheme >= 0 && scheme < 5 ? scheme : 5];
  for (std::string_view part : order) out += part;
  return out;
}

NumberRun FindNumber(std::string_view text, int which) {
  return FindNumberIn(DecodeUtf8(text), which);
}

std::string TransformName(std::string_view entryName, int command, const CommandParameters& params,
                          int32_t ordinal) {
  const std::string base = BaseName(entryName);
  const std::string extension = ExtensionPart(NamePart(entryName));
  std::string result;

  if (command == kReplaceString && params.ReplaceRegex) {
    // An empty pattern changes nothing, as an empty original string does.
    result = params.ReplaceOrigString.empty()
                 ? base
                 : RegexReplaceName(base, params.ReplaceOrigString, params.ReplaceNewString);
    return result + extension;
  }

  switch (command) {
    case kRenameFiles:
      result = ArrangeScheme(
          params.RenameScheme, params.RenameName, params.RenameSeparator,
          CounterText(params.RenameStart, params.RenameStep, params.RenameDigits, ordinal));
      break;
    case kCopyFiles:
      result =
          ArrangeScheme(params.CopyScheme, base, params.CopySeparator,
                        CounterText(params.CopyStart, params.CopyStep, params.CopyDigits, ordinal));
      break;
    case kInsertString:
    case kRemoveString:
    case kReplaceString:
    case kChangeString:
    case kChangeCase:
    case kChangeNumber: {
      Text b = DecodeUtf8(base);
      switch (command) {
        case kInsertString:
          if (params.InsertFrom <= 0) {
            b += DecodeUtf8(params.InsertString);
          } else {
            Insert(DecodeUtf8(params.InsertString), b, params.InsertFrom);
          }
          break;
        case kRemoveString: {
          const int64_t n = params.RemoveNumber;
          if (params.RemoveFrom == 0) {
            Remove(b, 1, n);
          } else if (params.RemoveFrom == 1) {
            Remove(b, static_cast<int64_t>(b.size()) - n + 1, n);
          } else if (params.RemoveFrom == 2) {
            Remove(b, params.RemovePosition, n);
          }
          break;
        }
        case kReplaceString:
          ReplaceAll(b, DecodeUtf8(params.ReplaceOrigString), DecodeUtf8(params.ReplaceNewString));
          break;
        case kChangeString: {
          const Text s = DecodeUtf8(params.ChangeString);
          Remove(b, params.ChangeFrom, static_cast<int64_t>(s.size()));
          Insert(s, b, params.ChangeFrom);
          break;
        }
        case kChangeCase:
          ChangeCase(b, params.ChangeCaseMode, DecodeUtf8(params.ChangeCaseSeparator));
          break;
        case kChangeNumber:
          ChangeNumber(b, params.ChangeNumberWhich, params.ChangeNumberPlus);
          break;
      }
      result = EncodeUtf8(b);
      break;
    }
    default:
      return std::string(entryName);
  }
  result += extension;
  return result;
}

}  // namespace relabo
