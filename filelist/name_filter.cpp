// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/name_filter.h"

#include <unicode/uchar.h>

#include "fileutil/utf8.h"

namespace relabo {

namespace {

char32_t Fold(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
  if (IsEscapedByte(c)) return c;
  return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

}  // namespace

NameFilter::NameFilter(std::string_view pattern) {
  if (pattern.empty()) return;
  if (pattern == "*" || pattern == "*.*") {
    m_kind = Kind::kEverything;
    return;
  }
  m_kind = Kind::kPattern;
  m_chars.reserve(pattern.size());
  size_t pos = 0;
  while (pos < pattern.size()) {
    const char32_t c = Fold(DecodeChar(pattern, pos));
    // Runs of stars match what one star matches.
    if (c == '*' && !m_chars.empty() && m_chars.back() == '*') continue;
    m_chars += c;
  }
}

bool NameFilter::Matches(std::string_view name) const {
  if (m_kind != Kind::kPattern) return m_kind == Kind::kEverything;
  const std::u32string& pattern = m_chars;
  size_t p = 0;  // position in the pattern
  size_t n = 0;  // byte position in the name
  // Where to resume after the last star: the pattern after it and the name position it has
  // swallowed up to. A later star supersedes an earlier one, so one resume point is enough.
  size_t starP = std::u32string::npos;
  size_t starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = ++p;
      starN = n;
      continue;
    }
    size_t next = n;
    const char32_t c = DecodeChar(name, next);
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == Fold(c))) {
      ++p;
      n = next;
      continue;
    }
    if (starP == std::u32string::npos) return false;
    p = starP;
    DecodeChar(name, starN);
    n = starN;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool FilterMatches(std::string_view name, std::string_view pattern) {
  return NameFilter(pattern).Matches(name);
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (Fold(DecodeChar(a, i)) != Fold(DecodeChar(b, j))) return false;
  }
  return i == a.size() && j == b.size();
}

}  // namespace relabo
