// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileutil/mask.h"

#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "fileutil/error.h"
#include "fileutil/utf8.h"

namespace relabo {
namespace {

// A plain reference: the compiled states, and a matcher that keeps every resume point on a
// stack and tries them all (exponential, fine for short inputs).
namespace reference {

struct State {
  bool skip = false;
  char kind = '$';  // 'L' literal, '?' any character, '[' set, '$' end of name
  char32_t literal = 0;
  bool negate = false;
  std::vector<std::pair<char32_t, char32_t>> ranges;  // inverted ones hold nothing
};

char32_t Upper(char32_t c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

[[noreturn]] void Invalid(std::string_view text, size_t position) {
  throw Error(Format("'%s' is an invalid mask at (%d)", text, position));
}

std::vector<State> Compile(std::string_view text) {
  const std::u32string m = DecodeUtf8(text);
  std::vector<State> states;
  bool skip = false;
  int stars = 0;
  size_t i = 0;  // 0-based index of the character being read
  auto add = [&](State s, size_t position) {
    s.skip = skip;
    if (skip) ++stars;
    if (stars > 30) Invalid(text, position);
    skip = false;
    states.push_back(std::move(s));
  };
  while (i < m.size()) {
    State s;
    if (m[i] == '*') {
      skip = true;
      ++i;
    } else if (m[i] == '?') {
      if (!skip) {
        s.kind = '?';
        add(s, i + 1);
      }
      ++i;
    } else if (m[i] == '[') {
      s.kind = '[';
      ++i;
      if (i < m.size() && m[i] == '!') {
        s.negate = true;
        ++i;
      }
      std::optional<char32_t> start;
      while (i < m.size() && m[i] != ']') {
        if (m[i] == '-') {
          if (!start) Invalid(text, i + 1);
          ++i;
          if (i == m.size()) break;
          s.ranges.push_back({*start, Upper(m[i])});
        } else {
          start = Upper(m[i]);
          s.ranges.push_back({*start, *start});
        }
        ++i;
      }
      bool empty = true;
      for (const auto& r : s.ranges) empty = empty && r.first > r.second;
      if (i == m.size() || empty) Invalid(text, i + 1);
      add(s, i + 1);
      ++i;
    } else {
      s.kind = 'L';
      s.literal = Upper(m[i]);
      add(s, i + 1);
      ++i;
    }
  }
  add(State{}, m.size() + 1);
  return states;
}

bool Passes(const State& s, const std::u32string& name, size_t pos) {
  if (s.kind == '$') return pos == name.size();
  if (pos >= name.size()) return false;
  const char32_t c = Upper(name[pos]);
  if (s.kind == 'L') return c == s.literal;
  if (s.kind == '?') return true;
  bool member = false;
  for (const auto& r : s.ranges) member = member || (c >= r.first && c <= r.second);
  return member != s.negate;
}

bool Matches(const std::vector<State>& states, std::string_view nameBytes) {
  const std::u32string name = DecodeUtf8(nameBytes);
  std::vector<std::pair<size_t, size_t>> stack;
  size_t pos = 0;
  size_t first = 0;
  for (;;) {
    bool ok = true;
    for (size_t s = first; s < states.size() && ok; ++s) {
      if (states[s].skip) {
        while (pos < name.size() && !Passes(states[s], name, pos)) ++pos;
        if (pos < name.size()) stack.push_back({pos + 1, s});
      }
      ok = Passes(states[s], name, pos);
      ++pos;
    }
    if (ok) return true;
    if (stack.empty()) return false;
    std::tie(pos, first) = stack.back();
    stack.pop_back();
  }
}

}  // namespace reference

std::string Repeat(std::string_view piece, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += piece;
  return out;
}

TEST(MaskTest, Matches) {
  struct Case {
    const char* name;
    std::string mask;
    std::string file;
    bool matches;
  };
  const Case cases[] = {
      {"ext/lower", "*.txt", "a.txt", true},
      {"ext/upper", "*.txt", "A.TXT", true},
      {"ext/only", "*.txt", ".txt", true},
      {"ext/longer", "*.txt", "a.txt1", false},
      {"star/one char", "a*", "a", true},
      {"star/more", "a*", "ABC", true},
      {"star/empty name", "*", "", true},
      {"star/any name", "*", "x.y.z", true},
      {"empty mask/empty name", "", "", true},
      {"empty mask/name", "", "a", false},
      {"any/one", "?", "x", true},
      {"any/two", "?", "xy", false},
      {"any/empty", "?", "", false},
      {"any/missing", "a?", "a", false},
      {"star any/dropped", "a*?", "a", true},
      {"star any/more", "a*?", "abc", true},
      {"any star/needs one", "a?*", "a", false},
      {"backtrack/second a", "*ab", "aab", true},
      {"backtrack/last b", "a*b", "abab", true},
      {"backtrack/ends in a", "a*b", "aba", false},
      {"backtrack/two stars", "*a*b*c", "xcxbxaxbxc", true},
      {"backtrack/order", "*a*b*c", "cba", false},
      {"set/range", "[a-c]*", "Beta", true},
      {"set/outside", "[a-c]*", "delta", false},
      {"set/negated", "[!a-c]*", "delta", true},
      {"set/negated member", "[!a-c]*", "beta", false},
      {"set/negated empty name", "[!a]", "", false},
      {"set/negated other", "[!a]", "b", true},
      {"set/negated case", "[!a]", "A", false},
      {"set/after dot", "*.[!t]*", "x.doc", true},
      {"set/after dot t", "*.[!t]*", "x.txt", false},
      {"set/second range keeps start", "[a-c-e]", "d", true},
      {"set/second range end", "[a-c-e]", "f", false},
      {"set/range start is not the last range end", "[c-a-e]", "b", false},
      {"set/range to bracket", "[a-]]", "\\", true},
      {"set/range to bracket upper end", "[a-]]", "^", false},
      {"set/range to bracket letter", "[a-]]", "z", true},
      {"set/inverted range adds nothing", "[z-a]", "m", false},
      {"set/inverted range keeps its start", "[z-a]", "z", true},
      {"set/dash after range start", "[a-]b]", "-", false},
      {"semicolon/one mask", "*.txt;*.doc", "a.txt;b.doc", true},
      {"semicolon/first half", "*.txt;*.doc", "a.txt", false},
      {"semicolon/second half", "*.txt;*.doc", "b.doc", false},
      {"case/umlaut exact", "ä*", "Ä.txt", false},
      {"case/umlaut same", "ä*", "ä.txt", true},
      {"utf8/any is one char", "?", "é", true},
      {"utf8/two anys", "??", "é", false},
      {"utf8/set of code points", "[à-ä]", "á", true},
      {"utf8/set above", "[à-ä]", "å", false},
      {"utf8/set ascii", "[à-ä]", "a", false},
      {"utf8/negated set", "[!é]x", "ex", true},
      {"utf8/literal after", "é?", "éa", true},
      {"bytes/any", "?", "\xFF", true},
      {"bytes/literal", "\xFF*", "\xFFxyz", true},
      {"bytes/other byte", "\xFF", "\xFE", false},
      {"bytes/truncated sequence is one char", "?", "\xC3", true},
      {"bytes/lead byte is not the code point", "\xC3*", "\xC3\xA9", false},
      {"bytes/set range", "[\xFE-\xFF]", "\xFE", true},
      {"bytes/set range below", "[\xFE-\xFF]", "\xFD", false},
      {"bytes/name byte between", "x?y", "x\x80y", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MaskMatches(c.file, c.mask), c.matches) << c.mask << " vs " << c.file;
  }
}

TEST(MaskTest, Invalid) {
  struct Case {
    const char* name;
    std::string mask;
    int position;  // 0: valid
  };
  const Case cases[] = {
      {"set/empty", "[]", 2},
      {"set/unclosed", "[abc", 5},
      {"set/leading dash", "[-a]", 2},
      {"set/negated empty", "a[!]", 4},
      {"set/negated leading dash", "[!-a]", 3},
      {"set/only bracket", "[", 2},
      {"set/only negation", "[!", 3},
      {"set/dash at end", "[a-", 4},
      {"set/range ends in bracket, unclosed", "[a-]", 5},
      {"utf8/position in characters", "éé[-", 4},
      {"utf8/unclosed after multibyte", "ä[x", 4},
      {"bytes/invalid byte is one character", "\xFF[]", 3},
      {"stars/30 groups", Repeat("*a", 30), 0},
      {"stars/31 groups", Repeat("*a", 31), 62},
      {"stars/repeated stars count once", Repeat("**a", 30), 0},
      {"stars/trailing star is the 31st", Repeat("*a", 30) + "*", 62},
      {"stars/dropped any", Repeat("*a", 30) + "*?", 63},
      {"stars/31st on a set", Repeat("*a", 30) + "*[bc]", 65},
      {"stars/any after 30", Repeat("*a", 30) + "?", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.position == 0) {
      EXPECT_NO_THROW(TMask{c.mask});
      continue;
    }
    try {
      TMask mask(c.mask);
      ADD_FAILURE() << "no error for " << c.mask;
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), Format("'%s' is an invalid mask at (%d)", c.mask, c.position));
    }
  }
}

TEST(MaskTest, AgreesWithFullBacktrackingOnRandomInput) {
  const char* const alphabet[] = {"a", "A", "b", "é", ".", "*", "?", "[", "]", "!", "-", "\xFF"};
  const size_t size = std::size(alphabet);
  std::mt19937 rng(20240611);
  auto randomText = [&](size_t maxLength) {
    std::string s;
    for (size_t n = rng() % (maxLength + 1); n > 0; --n) s += alphabet[rng() % size];
    return s;
  };
  int errors = 0;
  int matches = 0;
  int misses = 0;
  for (int i = 0; i < 100000; ++i) {
    const std::string mask = randomText(8);
    const std::string name = randomText(7);
    std::string expectedError;
    std::vector<reference::State> states;
    try {
      states = reference::Compile(mask);
    } catch (const Error& e) {
      expectedError = e.what();
    }
    try {
      const bool actual = TMask(mask).Matches(name);
      ASSERT_EQ(expectedError, "") << "mask " << mask;
      ASSERT_EQ(actual, reference::Matches(states, name)) << mask << " vs " << name;
      ++(actual ? matches : misses);
    } catch (const Error& e) {
      ASSERT_EQ(e.what(), expectedError) << "mask " << mask;
      ++errors;
    }
  }
  // Each outcome must be common enough for the comparison to mean something.
  EXPECT_GT(errors, 2000);
  EXPECT_GT(matches, 2000);
  EXPECT_GT(misses, 2000);
}

TEST(MaskTest, ManyStarsDoNotBacktrackExponentially) {
  const std::string mask = Repeat("*a", 20) + "b";
  EXPECT_FALSE(MaskMatches(std::string(255, 'a'), mask));
  EXPECT_TRUE(MaskMatches(std::string(254, 'a') + "b", mask));
  // Longer than any usual name.
  EXPECT_FALSE(MaskMatches(std::string(1000, 'a'), mask));
  EXPECT_TRUE(MaskMatches(std::string(999, 'a') + "B", mask));
  // Far longer: each "*" is tried again only after its last place, never from the start.
  const std::string huge(100000, 'a');
  EXPECT_FALSE(MaskMatches(huge, "*a*a*a*a*a*b"));
  EXPECT_TRUE(MaskMatches(huge + "b", "*a*a*a*a*a*b"));
  EXPECT_TRUE(MaskMatches("b" + huge + "b", "*b*a?a*b"));
  EXPECT_FALSE(MaskMatches(huge + "ab", "*a*b?"));
  EXPECT_TRUE(MaskMatches(huge + "abc", "*a*b?"));
}

// The same agreement on longer names, where a "*" is tried at many places.
TEST(MaskTest, AgreesWithFullBacktrackingOnLongerNames) {
  const char* const nameAlphabet[] = {"a", "b", "A", "é"};
  const char* const maskAlphabet[] = {"a", "b", "*", "*", "?", "[ab]"};
  std::mt19937 rng(20261208);
  int matches = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string mask;
    for (size_t n = 1 + rng() % 8; n > 0; --n) mask += maskAlphabet[rng() % 6];
    std::string name;
    for (size_t n = rng() % 24; n > 0; --n) name += nameAlphabet[rng() % 4];
    const bool actual = TMask(mask).Matches(name);
    ASSERT_EQ(actual, reference::Matches(reference::Compile(mask), name)) << mask << " vs " << name;
    matches += actual;
  }
  EXPECT_GT(matches, 2000);
  EXPECT_LT(matches, 18000);
}

}  // namespace
}  // namespace relabo
