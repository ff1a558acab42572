// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigation/path_shortening.h"

#include <cstddef>
#include <vector>

#include "fileutil/utf8.h"

namespace relabo {

namespace {

bool IsSplitPoint(char c, PathStyle style) {
  return style == PathStyle::Windows ? (c == '\\' || c == ':') : c == '/';
}

// The byte length of the first `count` characters of s (all of s when it has fewer).
size_t CharactersLength(std::string_view s, size_t count) {
  size_t pos = 0;
  for (size_t i = 0; i < count && pos < s.size(); ++i) DecodeChar(s, pos);
  return pos;
}

// Removes the first folder of a non-empty folder part; a leading separator stays, and what
// was cut becomes "..." and a separator. A folder part that begins with "." is taken to begin
// with the "..." of an earlier cut, which goes with it.
void CutFirstFolder(std::string& folder, char separator) {
  if (folder.size() == 1 && folder[0] == separator) {
    folder.clear();
    return;
  }
  const bool rooted = folder[0] == separator;
  if (rooted) folder.erase(0, 1);
  if (!folder.empty() && folder[0] == '.') folder.erase(0, CharactersLength(folder, 4));
  const size_t p = folder.find(separator);
  if (p == std::string::npos) {
    folder.clear();
  } else {
    folder.replace(0, p + 1, std::string("...") + separator);
  }
  if (rooted) folder.insert(folder.begin(), separator);
}

}  // namespace

std::string ShortenPath(std::string_view text, const TextMeasure& measure, int width,
                        PathStyle style) {
  const char separator = style == PathStyle::Windows ? '\\' : '/';
  std::string result(text);

  size_t split = text.size();
  while (split > 0 && !IsSplitPoint(text[split - 1], style)) --split;
  std::string folder(text.substr(0, split));
  const std::string name(text.substr(split));

  std::string drive;
  if (style == PathStyle::Windows) {
    const size_t second = CharactersLength(folder, 1);
    if (second < folder.size() && folder[second] == ':') {
      drive = folder.substr(0, second + 1);
      folder.erase(0, second + 1);
    }
  }

  const std::string rootedEllipsis = std::string(1, separator) + "..." + separator;
  while ((!folder.empty() || !drive.empty()) && measure(result) > width) {
    if (folder == rootedEllipsis) {
      drive.clear();
      folder.erase(0, 1);
    } else if (folder.empty()) {
      drive.clear();
    } else {
      CutFirstFolder(folder, separator);
    }
    result = drive + folder + name;
  }
  return result;
}

std::string ElideMiddle(std::string_view text, const TextMeasure& measure, int width) {
  const int whole = measure(text);
  if (whole <= width || measure("...") >= whole) return std::string(text);
  // Byte offsets of the character boundaries, so that no character is cut in two.
  std::vector<size_t> bounds{0};
  for (size_t pos = 0; pos < text.size();) {
    DecodeChar(text, pos);
    bounds.push_back(pos);
  }
  const size_t characters = bounds.size() - 1;
  auto keeping = [&](size_t kept) {
    const size_t head = (kept + 1) / 2;
    const size_t tail = kept / 2;
    return std::string(text.substr(0, bounds[head])) + "..." +
           std::string(text.substr(bounds[characters - tail]));
  };
  // The widest that fits: fewer characters never draw wider.
  size_t low = 0, high = characters - 1;
  while (low < high) {
    const size_t middle = (low + high + 1) / 2;
    if (measure(keeping(middle)) <= width) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  return keeping(low);
}

}  // namespace relabo
