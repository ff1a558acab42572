// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace relabo {

/// Replace String with a regular expression (ICU's syntax): every non-overlapping match in a
/// base name, left to right, is replaced by the new string, in which $0 to $9 stand for the
/// match and its groups, ${name} for a named group, and a backslash makes the next character
/// literal (\$ is a dollar, \\ a backslash). Matching is case-sensitive unless the pattern
/// says otherwise ((?i)). A byte of the name that is not UTF-8 is one character, which only
/// a pattern that matches any character (or that code point, U+DC80 + the byte's low
/// bits) matches; it is written back as the same byte.
class RegexReplace {
 public:
  /// Compiles the pattern and the new string. Throws Error "'%s' is not a valid regular
  /// expression at (%d)" with the 1-based character position where the pattern went wrong,
  /// or "'%s' refers to a group that '%s' does not have" for a new string naming a missing
  /// group.
  RegexReplace(std::string_view pattern, std::string_view replacement);
  ~RegexReplace();
  RegexReplace(const RegexReplace&) = delete;
  RegexReplace& operator=(const RegexReplace&) = delete;

  /// The base name with every match replaced. Throws NameFailure when matching this name
  /// runs too long (a pattern that backtracks without end) or runs out of its stack: that
  /// name fails, the others go on.
  std::string Apply(std::string_view base);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

/// RegexReplace of the pattern and new string on one base name, compiled once per thread for
/// as long as the same pattern and new string come (a batch asks name after name).
std::string RegexReplaceName(std::string_view base, std::string_view pattern,
                             std::string_view replacement);

}  // namespace relabo
