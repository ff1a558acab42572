// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/history.h"

#include <unicode/uchar.h>

#include <algorithm>

#include "fileutil/utf8.h"

namespace relabo {

namespace {

char32_t Fold(char32_t c) {
  if (IsEscapedByte(c)) return c;
  return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

}  // namespace

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (Fold(DecodeChar(a, i)) != Fold(DecodeChar(b, j))) return false;
  }
  return i == a.size() && j == b.size();
}

std::string UpdateHistory(std::vector<std::string>& history, const std::string& text) {
  const auto match = std::find_if(history.begin(), history.end(), [&](const std::string& entry) {
    return SameTextIgnoringCase(entry, text);
  });
  if (match != history.end()) {
    std::rotate(history.begin(), match, match + 1);
  } else {
    if (history.size() == kHistoryLimit) history.pop_back();
    history.insert(history.begin(), text);
  }
  return history.front();
}

}  // namespace relabo
