// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace relabo {

/// A compiled selection mask: "*" any run, "?" one character, "[a-c]" and "[!a-c]" sets,
/// letters a-z compared without case and every other character exactly. A mask always
/// covers the whole name. Characters are UTF-8 code points (an undecodable byte is one).
class TMask {
 public:
  /// Compiles the mask; throws Error "'%s' is an invalid mask at (%d)".
  explicit TMask(std::string_view mask);
  bool Matches(std::string_view name) const;

  /// The most states that may follow a "*".
  static constexpr int kMaxStars = 30;

 private:
  enum class Kind { Literal, AnyChar, Set, End };
  struct Range {
    char32_t first;
    char32_t last;
  };
  struct State {
    bool skip = false;
    Kind kind = Kind::End;
    bool negate = false;
    char32_t literal = 0;
    size_t rangeBegin = 0;  // this set's ranges in m_ranges
    size_t rangeEnd = 0;
    uint64_t ascii[2] = {0, 0};  // the set's members below 128, one bit each
  };
  /// Reads the set whose "[" is at mask[pos]; leaves pos at its "]".
  State ReadSet(std::string_view text, const std::u32string& mask, size_t& pos);
  /// Tests one state at name[pos] (name upper-cased); the end state needs pos == length.
  bool Passes(const State& state, const char32_t* name, size_t length, size_t pos) const;
  bool MatchChars(const char32_t* name, size_t length) const;

  std::vector<State> m_states;
  std::vector<Range> m_ranges;
};

/// Compiles the mask and tests one name; throws Error for an invalid mask.
bool MaskMatches(std::string_view name, std::string_view mask);

}  // namespace relabo
