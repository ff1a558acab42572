// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/name_filter.h"

#include <gtest/gtest.h>

namespace relabo {
namespace {

TEST(NameFilterTest, Matches) {
  struct Case {
    const char* name;
    std::string_view pattern;
    std::string_view file;
    bool matches;
  };
  static const Case kCases[] = {
      {"star dot star takes a name without a dot", "*.*", "README", true},
      {"star dot star takes a hidden name", "*.*", ".profile", true},
      {"empty pattern takes nothing", "", "a", false},
      {"extension", "*.txt", "notes.txt", true},
      {"extension ignores case", "*.TXT", "notes.txt", true},
      {"extension must end the name", "*.txt", "notes.txt.bak", false},
      {"a trailing dot-star needs a dot", "a*.*", "abc", false},
      {"star matches the empty run", "a*b", "ab", true},
      {"star backtracks", "a*b*c", "aXbYbZc", true},
      {"star backtracks to the last b", "*b", "abab", true},
      {"star cannot skip the last character", "*b", "abac", false},
      {"question mark is exactly one", "a?c", "abc", true},
      {"question mark is not zero", "a?c", "ac", false},
      {"question mark is one two-byte character", "a?c",
       "a\xC3\xA9"
       "c",
       true},
      {"question mark is one four-byte character", "?", "\xF0\x9F\x98\x80", true},
      {"question mark is one invalid byte", "a?c",
       "a\xFF"
       "c",
       true},
      {"two invalid bytes are two characters", "a?c",
       "a\xFF\xFE"
       "c",
       false},
      {"invalid byte matches itself", "*\xFF", "x\xFF", true},
      {"invalid byte differs from another", "*\xFF", "x\xFE", false},
      {"accented letter ignores case", "\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89", true},
      {"Greek letter ignores case", "\xCE\xA3*", "\xCF\x83igma", true},
      {"accent is not case", "e*", "\xC3\xA9t\xC3\xA9", false},
      {"name with a newline", "a*b", "a\nb", true},
      {"semicolon is a character here", "a;b", "a;b", true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FilterMatches(c.file, c.pattern), c.matches);
  }
}

TEST(NameFilterTest, LongNameWithManyStarsStaysFast) {
  // Greedy matching with one resume point; an exponential matcher would never finish here.
  const std::string name(4000, 'a');
  EXPECT_FALSE(FilterMatches(name, "*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
  EXPECT_TRUE(FilterMatches(name + "b", "*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST(NameFilterTest, SameNameIgnoringCase) {
  struct Case {
    const char* name;
    std::string_view a;
    std::string_view b;
    bool same;
  };
  static const Case kCases[] = {
      {"ASCII", "ReadMe.TXT", "readme.txt", true},
      {"accented", "\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9", true},
      {"accent differs", "e", "\xC3\xA9", false},
      {"same invalid bytes", "a\xFF", "A\xFF", true},
      {"different invalid bytes", "a\xFF", "a\xFE", false},
      {"punctuation counts", "my file", "myfile", false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SameNameIgnoringCase(c.a, c.b), c.same);
    EXPECT_EQ(SameNameIgnoringCase(c.b, c.a), c.same);
  }
}

}  // namespace
}  // namespace relabo
