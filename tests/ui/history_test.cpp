// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/history.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace relabo {
namespace {

using History = std::vector<std::string>;

History Numbered(int count) {
  History history;
  for (int i = 1; i <= count; ++i) history.push_back("e" + std::to_string(i));
  return history;
}

TEST(UpdateHistoryTest, Table) {
  struct Case {
    const char* name;
    History before;
    std::string text;
    History after;
    std::string result;
  };
  History nineNew = Numbered(9);
  nineNew.insert(nineNew.begin(), "new");
  History tenNew = Numbered(9);
  tenNew.insert(tenNew.begin(), "new");
  History elevenNew = Numbered(11);
  elevenNew.insert(elevenNew.begin(), "new");
  History tenLast = Numbered(10);
  tenLast.insert(tenLast.begin(), "e10");
  tenLast.pop_back();

  const Case cases[] = {
      {"empty history takes the text", {}, "*.txt", {"*.txt"}, "*.txt"},
      {"first entry stays where it is", {"*.*", "*.txt"}, "*.*", {"*.*", "*.txt"}, "*.*"},
      {"match moves up, the others shift down",
       {"a", "b", "c", "d"},
       "c",
       {"c", "a", "b", "d"},
       "c"},
      {"match keeps its stored case", {"*.*", "*.txt"}, "*.TXT", {"*.txt", "*.*"}, "*.txt"},
      {"non-ASCII letters match without case",
       {"x", "Été.txt"},
       "éTÉ.TXT",
       {"Été.txt", "x"},
       "Été.txt"},
      {"Greek and Cyrillic letters too",
       {"x", "ΣΟΦΙΑ", "дом"},
       "ДОМ",
       {"дом", "x", "ΣΟΦΙΑ"},
       "дом"},
      {"first of two case-equal entries is taken", {"x", "A", "a"}, "a", {"A", "x", "a"}, "A"},
      {"a prefix is not a match", {"*.txt"}, "*.tx", {"*.tx", "*.txt"}, "*.tx"},
      {"bytes that are not UTF-8 match only exactly",
       {"a\xE9", "b"},
       "A\xC9",
       {"A\xC9", "a\xE9", "b"},
       "A\xC9"},
      {"the same invalid bytes match", {"b", "a\xE9"}, "A\xE9", {"a\xE9", "b"}, "a\xE9"},
      {"empty text is a text like any other", {"*.*"}, "", {"", "*.*"}, ""},
      {"empty entry matches the empty text", {"bak", ""}, "", {"", "bak"}, ""},
      {"nine entries grow to ten", Numbered(9), "new", nineNew, "new"},
      {"ten entries drop the tenth", Numbered(10), "new", tenNew, "new"},
      {"more than ten are never shortened", Numbered(11), "new", elevenNew, "new"},
      {"a match in a full history drops nothing", Numbered(10), "E10", tenLast, "e10"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    History history = c.before;
    EXPECT_EQ(UpdateHistory(history, c.text), c.result);
    EXPECT_EQ(history, c.after);
  }
}

}  // namespace
}  // namespace relabo
