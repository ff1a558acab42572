// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace relabo {

/// A file-name pattern of the list's filter: "*" matches any run of characters, "?" exactly
/// one character (a UTF-8 code point, or one byte that does not begin a valid sequence),
/// letters match without regard to case (simple case folding), every other character matches
/// only itself. "*.*" matches every name, also one without a dot; an empty pattern matches
/// nothing.
class NameFilter {
 public:
  explicit NameFilter(std::string_view pattern);
  bool Matches(std::string_view name) const;

 private:
  enum class Kind { kNothing, kEverything, kPattern };
  Kind m_kind = Kind::kNothing;
  // The folded characters of the pattern; '*' and '?' stand for themselves as wildcards.
  std::u32string m_chars;
};

/// NameFilter(pattern).Matches(name).
bool FilterMatches(std::string_view name, std::string_view pattern);

/// True when both names have the same characters apart from letter case (simple case folding);
/// bytes that are not UTF-8 must be equal.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

}  // namespace relabo
