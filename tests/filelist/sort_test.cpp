// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <unicode/uloc.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "filelist/file_sort.h"
#include "filelist/name_filter.h"
#include "filelist/sort_string_list.h"
#include "fileutil/error.h"

namespace relabo {
namespace {

// The shared collator follows the ICU default locale; fix it before any test asks for it.
class FixedLocale : public testing::Environment {
 public:
  void SetUp() override {
    UErrorCode status = U_ZERO_ERROR;
    uloc_setDefault("en_US", &status);
  }
};
testing::Environment* const kFixedLocale = testing::AddGlobalTestEnvironment(new FixedLocale);

std::vector<std::string> Texts(const TSortStringList& list) {
  std::vector<std::string> texts;
  for (int i = 0; i < list.Count(); ++i) texts.push_back(list.Get(i));
  return texts;
}

// ----- TSortStringList -----

TEST(SortStringList, CapacityGrowsByFourThenSixteenThenAQuarter) {
  TSortStringList list;
  std::vector<int> capacities{list.Capacity()};
  for (int i = 0; i < 120; ++i) {
    list.Add("x");
    if (list.Capacity() != capacities.back()) capacities.push_back(list.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int>{0, 4, 8, 12, 28, 44, 60, 76, 95, 118, 147}));

  list.Delete(0);
  list.Delete(0);
  EXPECT_EQ(list.Capacity(), 147);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Capacity(), 0);
  list.Add("y");
  EXPECT_EQ(list.Capacity(), 4);
  EXPECT_THROW(list.SetCapacity(0), Error);
  EXPECT_EQ(Texts(list), std::vector<std::string>{"y"});
}

TEST(SortStringList, RefusedOperationsLeaveTheListUnchanged) {
  struct Case {
    const char* name;
    bool sorted;
    TDuplicates duplicates;
    std::function<void(TSortStringList&)> operation;
    const char* message;
  } cases[] = {
      {"get below", false, dupIgnore, [](auto& l) { l.Get(-1); }, "List index out of bounds (-1)"},
      {"get at count", false, dupIgnore, [](auto& l) { l.Get(3); }, "List index out of bounds (3)"},
      {"put at count", false, dupIgnore, [](auto& l) { l.Put(3, "q"); },
       "List index out of bounds (3)"},
      {"get object", false, dupIgnore, [](auto& l) { l.GetObject(-1); },
       "List index out of bounds (-1)"},
      {"put object", false, dupIgnore, [](auto& l) { l.PutObject(3, nullptr); },
       "List index out of bounds (3)"},
      {"delete", false, dupIgnore, [](auto& l) { l.Delete(3); }, "List index out of bounds (3)"},
      {"exchange first", false, dupIgnore, [](auto& l) { l.Exchange(-2, 0); },
       "List index out of bounds (-2)"},
      {"exchange second", false, dupIgnore, [](auto& l) { l.Exchange(0, 7); },
       "List index out of bounds (7)"},
      {"insert past count", false, dupIgnore, [](auto& l) { l.Insert(4, "q"); },
       "List index out of bounds (4)"},
      {"insert below", false, dupIgnore, [](auto& l) { l.Insert(-1, "q"); },
       "List index out of bounds (-1)"},
      {"sort range", false, dupIgnore, [](auto& l) { l.SortRange(0, 3); },
       "List index out of bounds (3)"},
      {"insert sorted", true, dupAccept, [](auto& l) { l.Insert(0, "q"); },
       "Operation not allowed on sorted string list"},
      {"put sorted", true, dupAccept, [](auto& l) { l.Put(0, "q"); },
       "Operation not allowed on sorted string list"},
      {"duplicate", true, dupError, [](auto& l) { l.Add("BETA"); },
       "String list does not allow duplicates"},
      {"duplicate with object", true, dupError, [](auto& l) { l.AddObject("beta", nullptr); },
       "String list does not allow duplicates"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TEntryInfo a, b, g;
    TSortStringList list;
    list.AddObject("alpha", &a);
    list.AddObject("beta", &b);
    list.AddObject("gamma", &g);
    list.SetSorted(c.sorted);
    list.SetDuplicates(c.duplicates);
    int notifications = 0;
    list.OnChanging = [&] { ++notifications; };
    list.OnChange = [&] { ++notifications; };
    try {
      c.operation(list);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"alpha", "beta", "gamma"}));
    EXPECT_EQ(list.GetObject(0), &a);
    EXPECT_EQ(list.GetObject(1), &b);
    EXPECT_EQ(list.GetObject(2), &g);
    EXPECT_EQ(notifications, 0);
  }
}

TEST(SortStringList, SortedAddFollowsTheDuplicatePolicy) {
  struct Case {
    const char* name;
    TDuplicates duplicates;
    const char* text;
    int index;
    std::vector<std::string> texts;
  } cases[] = {
      {"new text goes where it belongs",
       dupIgnore,
       "Blue",
       2,
       {"apple", "Banana", "Blue", "cherry"}},
      {"new text at the end", dupIgnore, "zebra", 3, {"apple", "Banana", "cherry", "zebra"}},
      {"new text at the start", dupError, "Aardvark", 0, {"Aardvark", "apple", "Banana", "cherry"}},
      {"ignored duplicate", dupIgnore, "BANANA", 1, {"apple", "Banana", "cherry"}},
      {"accepted duplicate before the equal one",
       dupAccept,
       "BANANA",
       1,
       {"apple", "BANANA", "Banana", "cherry"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSortStringList list;
    for (const char* t : {"cherry", "apple", "Banana"}) list.Add(t);
    list.SetSorted(true);
    list.SetDuplicates(c.duplicates);
    EXPECT_EQ(list.Add(c.text), c.index);
    EXPECT_EQ(Texts(list), c.texts);
  }

  // An ignored duplicate keeps the existing item's object.
  TSortStringList list;
  TEntryInfo first, second;
  list.SetSorted(true);
  list.AddObject("one", &first);
  EXPECT_EQ(list.AddObject("ONE", &second), 0);
  EXPECT_EQ(list.GetObject(0), &first);

  // Accepted duplicates always go before the first equal text.
  list.SetDuplicates(dupAccept);
  EXPECT_EQ(list.Add("One"), 0);
  EXPECT_EQ(list.Add("oNe"), 0);
  list.Add("a");
  EXPECT_EQ(list.Add("ONE"), 1);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"a", "ONE", "oNe", "One", "one"}));
}

TEST(SortStringList, IndexOfIgnoresCaseOnly) {
  for (bool sorted : {false, true}) {
    SCOPED_TRACE(sorted ? "sorted" : "unsorted");
    TSortStringList list;
    for (const char* t : {"zeta", "Report.PDF", "co-op", "my file", "alpha"}) list.Add(t);
    list.SetSorted(sorted);
    EXPECT_EQ(list.Get(list.IndexOf("report.pdf")), "Report.PDF");
    EXPECT_EQ(list.Get(list.IndexOf("ALPHA")), "alpha");
    EXPECT_EQ(list.IndexOf("report"), -1);
    EXPECT_EQ(list.IndexOf("coop"), -1);
    EXPECT_EQ(list.IndexOf("myfile"), -1);
    EXPECT_EQ(list.IndexOf(""), -1);
  }
  EXPECT_EQ(TSortStringList().IndexOf("a"), -1);
}

TEST(SortStringList, NotifiesAroundEveryChangeAndOnceAroundAnUpdate) {
  TSortStringList list;
  std::string log;
  list.OnChanging = [&] { log += '<'; };
  list.OnChange = [&] { log += '>'; };
  struct Case {
    const char* name;
    std::function<void(TSortStringList&)> operation;
  } cases[] = {
      {"add", [](auto& l) { l.Add("b"); }},
      {"add object", [](auto& l) { l.AddObject("a", nullptr); }},
      {"insert at count", [](auto& l) { l.Insert(2, "c"); }},
      {"put", [](auto& l) { l.Put(0, "d"); }},
      {"put object", [](auto& l) { l.PutObject(0, nullptr); }},
      {"exchange", [](auto& l) { l.Exchange(0, 2); }},
      {"sort", [](auto& l) { l.Sort(); }},
      {"delete", [](auto& l) { l.Delete(1); }},
      {"clear", [](auto& l) { l.Clear(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log.clear();
    c.operation(list);
    EXPECT_EQ(log, "<>");
  }

  log.clear();
  list.BeginUpdate();
  list.Add("x");
  list.BeginUpdate();
  list.Add("y");
  list.Sort();
  list.EndUpdate();
  list.Delete(0);
  EXPECT_EQ(log, "<");
  list.EndUpdate();
  EXPECT_EQ(log, "<>");
  list.EndUpdate();  // unbalanced: ignored, notifications go on
  list.Add("z");
  EXPECT_EQ(log, "<><>");
}

TEST(SortStringList, DefaultSortIgnoresCaseAndSortedListsKeepThatOrder) {
  TSortStringList list;
  for (const char* t : {"delta", "Charlie", "alpha", "Bravo"}) list.Add(t);
  list.Sort();
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"alpha", "Bravo", "Charlie", "delta"}));

  // Making the list sorted reorders it for the binary search, whatever OnCompare is.
  TSortStringList other;
  for (const char* t : {"b", "C", "a"}) other.Add(t);
  other.OnCompare = [](int i, int j) { return j - i; };
  other.SetSorted(true);
  EXPECT_EQ(Texts(other), (std::vector<std::string>{"a", "b", "C"}));
  EXPECT_EQ(other.IndexOf("c"), 2);
}

TEST(SortStringList, DefaultComparisonCountsDotsAndSpacesAndKeepsHyphenatedNamesApart) {
  TSortStringList list;
  for (const char* t : {"report-final.pdf", "Report2.pdf", "report.pdf", "IMG_0010.jpg",
                        "img_001.JPG", "COOP", "co-op", "its", "it's"}) {
    list.Add(t);
  }
  list.Sort();
  EXPECT_EQ(Texts(list),
            (std::vector<std::string>{"co-op", "COOP", "img_001.JPG", "IMG_0010.jpg", "it's", "its",
                                      "report.pdf", "Report2.pdf", "report-final.pdf"}));

  // A sorted list ignores only the case twins.
  list.SetSorted(true);
  EXPECT_EQ(list.Add("CO-OP"), 0);
  EXPECT_EQ(list.Add("coop"), 1);
  EXPECT_EQ(list.Add("ITS"), 5);
  EXPECT_EQ(list.Add("report final.pdf"), 6);
  EXPECT_EQ(list.Add("reportfinal.pdf"), 10);
  EXPECT_EQ(list.Count(), 11);
  EXPECT_EQ(list.IndexOf("IT'S"), 4);
}

TEST(SortStringList, SortRangeOrdersLikeStdSort) {
  std::mt19937 rng(42);
  struct Case {
    const char* name;
    int count;
    int maxValue;  // small: many equal values
    int shape;     // 0 random, 1 ascending, 2 descending
  } cases[] = {
      {"empty", 0, 10, 0},
      {"one", 1, 10, 0},
      {"two", 2, 10, 0},
      {"three", 3, 3, 0},
      {"random", 1000, 1000000, 0},
      {"many equal", 1000, 3, 0},
      {"all equal", 300, 0, 0},
      {"ascending", 1000, 1000000, 1},
      {"descending", 1000, 1000000, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint64_t> values(c.count);
    for (auto& v : values) v = std::uniform_int_distribution<int>(0, c.maxValue)(rng);
    if (c.shape == 1) std::sort(values.begin(), values.end());
    if (c.shape == 2) std::sort(values.rbegin(), values.rend());
    std::deque<TEntryInfo> records(values.size());
    TSortStringList list;
    for (size_t i = 0; i < values.size(); ++i) {
      records[i].Size = values[i];
      list.AddObject(std::to_string(values[i]), &records[i]);
    }
    list.OnCompare = [&list](int i, int j) {
      const uint64_t a = list.GetObject(i)->Size, b = list.GetObject(j)->Size;
      return (a > b) - (a < b);
    };
    list.SortRange(0, list.Count() - 1);
    std::sort(values.begin(), values.end());
    for (int i = 0; i < list.Count(); ++i) {
      ASSERT_EQ(list.GetObject(i)->Size, values[i]) << "at " << i;
      ASSERT_EQ(list.Get(i), std::to_string(values[i])) << "at " << i;
    }
  }
}

TEST(SortStringList, SortRangeTouchesOnlyItsRange) {
  TSortStringList list;
  for (const char* t : {"z", "d", "c", "b", "a", "y"}) list.Add(t);
  list.SortRange(1, 4);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"z", "a", "b", "c", "d", "y"}));
  list.SortRange(5, 5);
  list.SortRange(4, 2);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"z", "a", "b", "c", "d", "y"}));
}

// ----- NameCollator -----

// names, then names of one to maxPieces pieces drawn at random until there are count.
std::vector<std::string> RandomNames(std::vector<std::string> names, size_t count,
                                     std::span<const char* const> pieces, int maxPieces,
                                     unsigned seed) {
  std::mt19937 rng(seed);
  while (names.size() < count) {
    std::string name;
    for (int n = std::uniform_int_distribution<int>(1, maxPieces)(rng); n > 0; --n) {
      name += pieces[std::uniform_int_distribution<size_t>(0, pieces.size() - 1)(rng)];
    }
    names.push_back(name);
  }
  return names;
}

// Compare and the sort keys order every pair alike, both ways round, and only a name and
// itself compare equal.
void ExpectKeysAgreeWithCompare(const NameCollator& collator,
                                const std::vector<std::string>& names) {
  std::vector<std::string> keys;
  for (const auto& n : names) keys.push_back(collator.SortKey(n));
  for (size_t i = 0; i < names.size(); ++i) {
    for (size_t j = 0; j < names.size(); ++j) {
      const int v = collator.Compare(names[i], names[j]);
      const int k = keys[i].compare(keys[j]);
      ASSERT_EQ(v == 0, names[i] == names[j]) << i << " " << j;
      ASSERT_EQ(v, -collator.Compare(names[j], names[i])) << i << " " << j;
      ASSERT_EQ(v, (k > 0) - (k < 0)) << i << " " << j;
    }
  }
}

TEST(NameCollator, OrdersNamesAsTheLocaleDoes) {
  const NameCollator collator("en_US");
  struct Case {
    const char* name;
    const char* less;
    const char* greater;
  } cases[] = {
      {"letters", "apple", "banana"},
      {"case ignored first", "apple", "Banana"},
      {"lower case first", "abc.txt", "ABC.TXT"},
      {"mixed case", "abc.txt", "Abc.txt"},
      {"accent after base letter", "resume", "résumé"},
      {"accent before next letter", "résumé", "rev"},
      {"hyphen weighs less", "co-op", "coop"},
      {"beside coop, above coo", "coo", "co-op"},
      {"beside coop, below cop", "coop", "cop"},
      {"space weighs less", "my file", "myfile"},
      {"brackets weigh less", "[A]", "[b]"},
      {"digits before letters", "a1", "ab"},
      {"prefix first", "file", "file.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(collator.Compare(c.less, c.greater), -1);
    EXPECT_EQ(collator.Compare(c.greater, c.less), 1);
    EXPECT_LT(collator.SortKey(c.less), collator.SortKey(c.greater));
  }
}

// The name order of a set of names, in one piece and in the two halves of a large set: the
// order Compare gives, equal names in the order they came.
TEST(NameOrder, SortsAsCompareAndKeepsEqualNamesInOrder) {
  const char* pieces[] = {"a", "B", "-", " ", "0", "1", "é", "e\u0301", "\xFF", "img", "10", "9"};
  std::mt19937 rng(5);
  for (const size_t count : {size_t(0), size_t(1), size_t(300), size_t(45001)}) {
    std::vector<std::string> names;
    while (names.size() < count) {
      std::string name;
      for (int n = std::uniform_int_distribution<int>(1, 4)(rng); n > 0; --n) {
        name += pieces[std::uniform_int_distribution<size_t>(0, std::size(pieces) - 1)(rng)];
      }
      names.push_back(name);  // short names: many repeat, across the halves too
    }
    for (const bool descending : {false, true}) {
      SCOPED_TRACE(testing::Message() << count << (descending ? " descending" : " ascending"));
      const NameCollator& collator = NameCollator::Instance();
      std::vector<uint32_t> expected(count);
      for (uint32_t i = 0; i < count; ++i) expected[i] = i;
      std::stable_sort(expected.begin(), expected.end(), [&](uint32_t a, uint32_t b) {
        const int v = collator.Compare(names[a], names[b]);
        return descending ? v > 0 : v < 0;
      });
      const std::vector<uint32_t> order =
          NameOrder(count, [&](size_t i) { return std::string_view(names[i]); }, descending);
      ASSERT_EQ(order, expected);
    }
  }
}

// ----- Numbers by value -----

TEST(NameCollator, NumericTakesRunsOfDigitsByTheirValue) {
  const NameCollator numeric("en_US", true);
  const NameCollator plain("en_US");
  struct Case {
    const char* name;
    const char* less;
    const char* greater;
    bool plainAgrees;  // the plain name sort orders the pair alike
  } cases[] = {
      {"one digit before two", "file2", "file10", false},
      {"after an underscore", "IMG_9.jpg", "IMG_10.jpg", false},
      {"digits at the start", "9.txt", "10.txt", false},
      {"a number then a blank", "2 notes", "10 notes", false},
      {"the second number decides", "a1b2", "a1b10", false},
      {"beyond 64 bits", "x9", "x12345678901234567890", false},
      {"leading zeros do not make a number larger", "a9", "a010", false},
      {"the same number: the bytes decide", "a01", "a1", true},
      {"the same number, more zeros first", "a007", "a7", true},
      {"equal numbers, then the rest", "IMG_001.jpg", "IMG_1.png", true},
      {"case only between otherwise equal names", "file2", "File2", true},
      {"case does not outweigh the number", "File2", "file10", false},
      {"hyphens still weigh nothing", "co-op2", "coop10", false},
      {"dots still weigh as characters", "report.pdf", "report2.pdf", true},
      {"names without digits as before", "co-op", "coop", true},
      {"letters as before", "apple", "Banana", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(numeric.Compare(c.less, c.greater), -1);
    EXPECT_EQ(numeric.Compare(c.greater, c.less), 1);
    EXPECT_LT(numeric.SortKey(c.less), numeric.SortKey(c.greater));
    EXPECT_EQ(plain.Compare(c.less, c.greater), c.plainAgrees ? -1 : 1);
    // The shared numeric collator of the default locale (en_US here) is the same collation.
    EXPECT_EQ(NameCollator::Instance(true).Compare(c.less, c.greater), -1);
  }
}

TEST(NameCollator, NumericKeysAgreeWithComparisonsAndKeepNamesApart) {
  // Runs of digits with and without leading zeros, which the numeric collation calls equal.
  const char* pieces[] = {"a", "A", "-", " ", ".", "0", "00", "1", "01", "9", "10", "é", "\xFF"};
  const std::vector<std::string> names =
      RandomNames({"", "0", "00", "a1", "a01", "a001"}, 250, pieces, 5, 17);
  for (const char* locale : {"", "en_US", "sv"}) {
    SCOPED_TRACE(locale);
    ExpectKeysAgreeWithCompare(NameCollator(locale, true), names);
  }
}

TEST(NameOrder, NumericOrdersByValueAndLeavesOtherNamesAlone) {
  using Names = std::vector<std::string>;
  const NameCollator& numeric = NameCollator::Instance(true);
  const auto order = [](const Names& names, bool descending, const NameCollator& collator) {
    Names sorted;
    for (const uint32_t i : NameOrder(
             names.size(), [&](size_t i) { return std::string_view(names[i]); }, descending,
             collator)) {
      sorted.push_back(names[i]);
    }
    return sorted;
  };
  struct Case {
    const char* name;
    Names names;
    bool descending;
    Names expected;
  } cases[] = {
      {"by value", {"a10.txt", "a9.txt", "a1.txt"}, false, {"a1.txt", "a9.txt", "a10.txt"}},
      {"descending", {"a9.txt", "a10.txt", "a1.txt"}, true, {"a10.txt", "a9.txt", "a1.txt"}},
      {"photos",
       {"IMG_10.jpg", "IMG_9.jpg", "IMG_100.jpg"},
       false,
       {"IMG_9.jpg", "IMG_10.jpg", "IMG_100.jpg"}},
      {"numbers first", {"10", "b", "9", "a"}, false, {"9", "10", "a", "b"}},
      {"leading zeros", {"a1", "a010", "a01", "a9"}, false, {"a01", "a1", "a9", "a010"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(order(c.names, c.descending, numeric), c.expected);
  }
  // Without digits, and with equal names, the order is the plain sort's, in both directions.
  const char* pieces[] = {"a", "B", "-", " ", "é", "e\u0301", "\xFF", "img", ".txt"};
  const Names names = RandomNames({}, 500, pieces, 3, 23);
  for (const bool descending : {false, true}) {
    SCOPED_TRACE(descending ? "descending" : "ascending");
    const std::vector<uint32_t> plainOrder = NameOrder(
        names.size(), [&](size_t i) { return std::string_view(names[i]); }, descending);
    const std::vector<uint32_t> numericOrder = NameOrder(
        names.size(), [&](size_t i) { return std::string_view(names[i]); }, descending, numeric);
    EXPECT_EQ(numericOrder, plainOrder);
  }
}

TEST(NameCollator, IgnoringCaseDropsOnlyTheCase) {
  const NameCollator english("en_US");
  const NameCollator turkish("tr_TR");
  struct Case {
    const char* name;
    const NameCollator& collator;
    const char* a;
    const char* b;
    int expected;
  } cases[] = {
      {"case", english, "ABC.txt", "abc.TXT", 0},
      {"accented case", english, "ÉTÉ", "été", 0},
      {"accent counts", english, "ete", "été", -1},
      {"hyphen counts", english, "co-op", "coop", -1},
      {"space counts", english, "my file", "myfile", -1},
      {"hyphen counts beside case", english, "CO-OP", "coop", -1},
      {"hyphen kept, case dropped", english, "CO-OP", "co-op", 0},
      {"soft hyphen counts", english, "co\u00ADop", "COOP", 1},
      {"apostrophe counts", english, "it's", "ITS", -1},
      {"two apostrophes", english, "IT'S", "it’s", -1},
      {"dot before digit", english, "Report.pdf", "report2.PDF", -1},
      {"underscore before digit", english, "img_001.jpg", "IMG_0010.JPG", -1},
      {"composed and decomposed accent are two names", english, "e\u0301", "é", -1},
      {"invalid bytes with case", english, "CAF\xE9", "caf\xE9", 0},
      {"invalid bytes by value", english, "caf\xE8", "CAF\xE9", -1},
      {"letters", english, "B", "a", 1},
      {"dotless i pairs in English", english, "I", "i", 0},
      {"dotless i pairs with I in Turkish", turkish, "I", "ı", 0},
      {"dotted i pairs with İ in Turkish", turkish, "İ", "i", 0},
      {"I is not i in Turkish", turkish, "I", "i", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.collator.CompareIgnoreCase(c.a, c.b), c.expected);
    EXPECT_EQ(c.collator.CompareIgnoreCase(c.b, c.a), -c.expected);
  }
}

TEST(NameCollator, DistinctNamesNeverCompareEqual) {
  const NameCollator collator("en_US");
  // Pieces that collate alike or not at all: case, punctuation, an accent composed and
  // decomposed, a zero-width joiner, bytes that are not UTF-8.
  const char* pieces[] = {"a",    "A",    "b",    "-", " ", "\xC3\xA9", "e\xCC\x81", "\xE2\x80\x8D",
                          "\xE9", "\xE8", "\xFF", "1"};
  ExpectKeysAgreeWithCompare(
      collator, RandomNames({"", "caf\xE9", "caf\xE8", "cafe", "caf\xC3\xA9"}, 305, pieces, 4, 5));
  // Invalid bytes sort by their value, after the accented letters of the same place.
  EXPECT_EQ(collator.Compare("caf\xE8", "caf\xE9"), -1);
  EXPECT_EQ(collator.Compare("caf\xC3\xA9", "caf\xE9"), -1);
}

TEST(NameCollator, SortsPunctuationAsCharactersExceptHyphensAndApostrophes) {
  const std::vector<const char*> all = {"", "en_US", "de", "sv", "tr"};
  struct Case {
    const char* name;
    std::vector<const char*> locales;
    std::vector<std::string> ascending;
  } cases[] = {
      {"dot, underscore and space count; the hyphen does not",
       all,
       {"report final.pdf", "report_final.pdf", "report.pdf", "Report.pdf", "report2.pdf",
        "report-final.pdf", "reportfinal.pdf"}},
      {"numbered photos",
       all,
       {"IMG_001.jpg", "IMG_0010.jpg", "IMG_002.jpg", "IMG_0100.jpg", "IMG001.jpg"}},
      {"space, underscore, dot, then letters",
       all,
       {"a b", "a_b", "a.b", "a-b", "ab", "a\u2010b", "aB", "AB"}},
      {"hyphens beside the name without them, after case",
       all,
       {"coo", "co-op", "coop", "co\u00ADop", "co\u2011op", "co-Op", "Coop", "CO-OP", "COOP",
        "cop"}},
      {"apostrophes beside the name without them", all, {"it's", "its", "it’s", "itsy"}},
      {"case twins, lower case first", all, {"abc.txt", "abc.TXT", "Abc.txt", "ABC.TXT"}},
      {"folder brackets", all, {"[a b]", "[a]", "[A]", "[a-b]", "[ab]", "[b]"}},
      {"copies", all, {"file", "file (2).txt", "file_1.txt", "file.txt"}},
      {"accent before case", all, {"resume", "Resume", "résumé", "Résumé", "rev"}},
      {"invalid UTF-8 after the letters, by byte value",
       all,
       {"cafe", "café", "cafz", "caf\xE8", "caf\xE9", "caf\xFF"}},
      {"capital I", {"", "en_US", "de", "sv"}, {"it's", "its", "It's", "itsy"}},
      {"German umlaut beside its letter", {"de"}, {"a", "ä", "ab", "ä-b", "äb", "b"}},
      {"Swedish letters after z", {"sv"}, {"z", "å", "ä", "ä-ö", "äö", "ö"}},
      {"Turkish letters", {"tr"}, {"cz", "ç", "ç-a", "ça", "d", "h", "ı", "I", "i", "İ"}},
      {"settings of the locale name kept", {"en@colNumeric=yes"}, {"a2", "a-10", "a10"}},
  };
  for (const Case& c : cases) {
    for (const char* locale : c.locales) {
      SCOPED_TRACE(testing::Message() << c.name << " in '" << locale << "'");
      const NameCollator collator(locale);
      for (size_t i = 0; i < c.ascending.size(); ++i) {
        for (size_t j = i + 1; j < c.ascending.size(); ++j) {
          const std::string& less = c.ascending[i];
          const std::string& greater = c.ascending[j];
          SCOPED_TRACE(less + " < " + greater);
          EXPECT_EQ(collator.Compare(less, greater), -1);
          EXPECT_EQ(collator.Compare(greater, less), 1);
          EXPECT_LT(collator.SortKey(less), collator.SortKey(greater));
        }
      }
    }
  }
}

TEST(NameCollator, KeysAndComparisonsAgreeOverRandomNames) {
  // Pieces the collation treats alike, or not at all: case, hyphens, apostrophes, dots,
  // spaces, an accent composed and decomposed, bytes that are not UTF-8. No i and no sharp s,
  // whose case pairs differ between the locales and the plain folding of the reference.
  // clang-format off
  const char* pieces[] = {"a", "A", "b", "B", "-", "'", " ", ".", "_", "[", "0", "1",
                          "’", "\u2010", "\u00AD", "é", "É", "e\u0301", "\xE9", "\xFF", "\x80"};
  // clang-format on
  const std::vector<std::string> names =
      RandomNames({"", "co-op", "coop", "CO-OP", "a b", "ab", "a.b"}, 250, pieces, 5, 11);
  for (const char* locale : {"", "en_US", "sv", "tr"}) {
    SCOPED_TRACE(locale);
    const NameCollator collator(locale);
    std::vector<std::string> keys;
    for (const auto& n : names) keys.push_back(collator.SortKey(n));
    for (size_t i = 0; i < names.size(); ++i) {
      for (size_t j = 0; j < names.size(); ++j) {
        const std::string& a = names[i];
        const std::string& b = names[j];
        const int v = collator.Compare(a, b);
        const int k = keys[i].compare(keys[j]);
        ASSERT_EQ(v, (k > 0) - (k < 0)) << i << " " << j;
        ASSERT_EQ(v, -collator.Compare(b, a)) << i << " " << j;
        ASSERT_EQ(v == 0, a == b) << i << " " << j;
        const int w = collator.CompareIgnoreCase(a, b);
        ASSERT_EQ(w, -collator.CompareIgnoreCase(b, a)) << i << " " << j;
        ASSERT_EQ(w == 0, SameNameIgnoringCase(a, b)) << i << " " << j;
      }
    }
    // The case-ignoring order is a total preorder too: sorted by it, no later name is less.
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end(), [&](const std::string& a, const std::string& b) {
      return collator.CompareIgnoreCase(a, b) < 0;
    });
    for (size_t i = 0; i < sorted.size(); ++i) {
      for (size_t j = i + 1; j < sorted.size(); ++j) {
        ASSERT_LE(collator.CompareIgnoreCase(sorted[i], sorted[j]), 0) << i << " " << j;
      }
    }
  }
}

// ----- SortItems -----

struct Entry {
  const char* text;
  uint64_t size = 0;
  double time = 0;
  uint32_t attr = 0;
};

// A work store as a scan leaves it: the parent entry, then the folders, then the files.
class WorkStore {
 public:
  explicit WorkStore(const std::vector<Entry>& entries, bool keys = true) {
    for (const Entry& e : entries) {
      TEntryInfo& info = m_records.emplace_back();
      const std::string text = e.text;
      const bool folder = text.size() > 1 && text.front() == '[' && text.back() == ']';
      info.GlyphCode = text == "[..]" ? kGlyphFolderParent : folder ? kGlyphFolder : kGlyphDefault;
      info.Size = e.size;
      info.Time = e.time;
      info.Attr = e.attr;
      info.NameLength = static_cast<int32_t>(text.size());
      if (keys) info.SortKey = NameCollator::Instance().SortKey(text);
      m_textOf[&info] = text;
      const int index = store.AddObject(text, &info);
      if (info.GlyphCode == kGlyphFolderParent) blocks.parentIndex = index;
      if (folder && info.GlyphCode == kGlyphFolder) {
        if (blocks.firstFolder == -1) blocks.firstFolder = index;
        blocks.lastFolder = index;
      }
    }
  }
  std::vector<std::string> Sorted(SortSettings settings) {
    SortItems(store, blocks, settings);
    for (int i = 0; i < store.Count(); ++i) {
      EXPECT_EQ(m_textOf.at(store.GetObject(i)), store.Get(i)) << "record parted from its text";
    }
    return Texts(store);
  }

  TSortStringList store;
  ScanBlocks blocks;

 private:
  std::deque<TEntryInfo> m_records;
  std::map<const TEntryInfo*, std::string> m_textOf;
};

constexpr uint64_t kGiB = uint64_t{1} << 30;
constexpr double kDay = 45000;  // 15 March 2023
constexpr double kNine = 9.0 / 24, kNoon = 12.0 / 24, kSix = 18.0 / 24;

TEST(SortItems, SortsFolderAndFileBlocksAsTheSettingsSay) {
  const std::vector<Entry> mixed = {
      {"[..]", 0, kDay + 9, 0x10},
      {"[b]", 30, kDay + 1 + kNoon, 0x12},
      {"[A]", 10, kDay + 3 + kNine, 0x10},
      {"[c]", 20, kDay + 2 + kSix, 0x11},
      {"mid.txt", 500, kDay + 5 + kNoon, 0x20},
      {"big.iso", 5 * kGiB, kDay + 4 + kSix, 0x01},
      {"small", 3, kDay + 6 + kNine, 0x80},
  };
  struct Case {
    const char* name;
    std::vector<Entry> entries;
    SortSettings settings;
    std::vector<std::string> expected;
  } cases[] = {
      {"folders by name while files by size descending",
       mixed,
       {fiSize, soDescending, sfAlwaysByName},
       {"[..]", "[A]", "[b]", "[c]", "big.iso", "mid.txt", "small"}},
      {"folders by name ascending also when descending",
       mixed,
       {fiFileName, soDescending, sfAlwaysByName},
       {"[..]", "[A]", "[b]", "[c]", "small", "mid.txt", "big.iso"}},
      {"folders like files, newest day first",
       mixed,
       {fiDate, soDescending, sfLikeFiles},
       {"[..]", "[A]", "[c]", "[b]", "small", "mid.txt", "big.iso"}},
      {"folders like files, by size",
       mixed,
       {fiSize, soAscending, sfLikeFiles},
       {"[..]", "[A]", "[c]", "[b]", "small", "mid.txt", "big.iso"}},
      {"by time of day",
       mixed,
       {fiTime, soAscending, sfLikeFiles},
       {"[..]", "[A]", "[b]", "[c]", "small", "mid.txt", "big.iso"}},
      {"by attributes",
       mixed,
       {fiAttribute, soAscending, sfLikeFiles},
       {"[..]", "[A]", "[c]", "[b]", "big.iso", "mid.txt", "small"}},
      {"by name",
       mixed,
       {fiFileName, soAscending, sfLikeFiles},
       {"[..]", "[A]", "[b]", "[c]", "big.iso", "mid.txt", "small"}},
      {"one file, no folders",
       {{"[..]"}, {"z"}},
       {fiFileName, soDescending, sfLikeFiles},
       {"[..]", "z"}},
      {"no parent, no folders",
       {{"b"}, {"a"}},
       {fiFileName, soAscending, sfAlwaysByName},
       {"a", "b"}},
      {"no files",
       {{"[..]"}, {"[y]"}, {"[x]"}},
       {fiSize, soAscending, sfAlwaysByName},
       {"[..]", "[x]", "[y]"}},
      {"sizes above 4 GiB",
       {{"1g", kGiB}, {"5g", 5 * kGiB}, {"3g", 3 * kGiB}, {"4g", 4 * kGiB}},
       {fiSize, soAscending, sfAlwaysByName},
       {"1g", "3g", "4g", "5g"}},
      {"lower case first",
       {{"ABC.TXT"}, {"abc.txt"}},
       {fiFileName, soAscending, sfAlwaysByName},
       {"abc.txt", "ABC.TXT"}},
      {"upper case first descending",
       {{"abc.txt"}, {"ABC.TXT"}},
       {fiFileName, soDescending, sfAlwaysByName},
       {"ABC.TXT", "abc.txt"}},
      {"punctuation weighs less",
       {{"cop"}, {"coop"}, {"co-op"}, {"coo"}},
       {fiFileName, soAscending, sfAlwaysByName},
       {"coo", "co-op", "coop", "cop"}},
      {"numbered photos by their numbers",
       {{"IMG_0010.jpg"}, {"IMG_002.jpg"}, {"IMG_001.jpg"}, {"IMG_0100.jpg"}},
       {fiFileName, soAscending, sfAlwaysByName},
       {"IMG_001.jpg", "IMG_0010.jpg", "IMG_002.jpg", "IMG_0100.jpg"}},
      {"dots and spaces count, hyphens do not",
       {{"[a-b]"}, {"[ab]"}, {"[a b]"}, {"report-final.pdf"}, {"report2.pdf"}, {"report.pdf"}},
       {fiFileName, soAscending, sfAlwaysByName},
       {"[a b]", "[a-b]", "[ab]", "report.pdf", "report2.pdf", "report-final.pdf"}},
      {"same time of day on different days",
       {{"late", 0, kDay + kSix}, {"early", 0, kDay + 20000 + kNine}, {"noon", 0, 100 + kNoon}},
       {fiTime, soAscending, sfAlwaysByName},
       {"early", "noon", "late"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WorkStore work(c.entries);
    EXPECT_EQ(work.Sorted(c.settings), c.expected);
  }
}

TEST(SortItems, EqualKeysCompareEqual) {
  // Two items that compare equal change places under the quicksort in either order, while
  // two distinct keys come out in opposite orders.
  const double kOneSecond = 1.0 / 86400;
  struct Case {
    const char* name;
    TFileItem by;
    Entry first, second;
    bool equal;
  } cases[] = {
      {"same day, other time", fiDate, {"a", 0, kDay + kNine}, {"b", 0, kDay + kSix}, true},
      {"next day", fiDate, {"a", 0, kDay + kSix}, {"b", 0, kDay + 1 + kNine}, false},
      {"same time, days far apart",
       fiTime,
       {"a", 0, 100 + kNine + kOneSecond},
       {"b", 0, 70000 + kNine + kOneSecond},
       true},
      {"a second apart",
       fiTime,
       {"a", 0, kDay + kNine},
       {"b", 0, kDay + kNine + kOneSecond},
       false},
      {"same size", fiSize, {"a", 5 * kGiB}, {"b", 5 * kGiB}, true},
      {"sizes 4 GiB apart", fiSize, {"a", 1 * kGiB}, {"b", 5 * kGiB}, false},
      {"same attributes", fiAttribute, {"a", 0, 0, 0x21}, {"b", 0, 0, 0x21}, true},
      {"case differs", fiFileName, {"a"}, {"A"}, false},
      {"composed and decomposed accent", fiFileName, {"\xC3\xA9"}, {"e\xCC\x81"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WorkStore up({c.first, c.second});
    WorkStore down({c.first, c.second});
    const auto ascending = up.Sorted({c.by, soAscending, sfAlwaysByName});
    const auto descending = down.Sorted({c.by, soDescending, sfAlwaysByName});
    EXPECT_EQ(ascending == descending, c.equal);
  }
}

// Many names that share long beginnings, as a camera's do: the name sort is the collation's
// order both ways, also for a block in which one name is listed twice.
TEST(SortItems, ManyNamesComeInTheCollationsOrder) {
  const char* const pieces[] = {"IMG_", "IMG_0", "0", "1", "9", "a", "A", "_", " ", "é", ".jpg"};
  std::vector<std::string> names = RandomNames({}, 3000, pieces, 6, 41);
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  const NameCollator& collator = NameCollator::Instance();
  for (const bool twice : {false, true}) {
    std::vector<std::string> listed = names;
    if (twice) listed.push_back(names[names.size() / 2]);
    std::vector<Entry> entries;
    for (const std::string& name : listed) entries.push_back({name.c_str()});
    std::vector<std::string> expected = listed;
    std::stable_sort(expected.begin(), expected.end(), [&](const auto& a, const auto& b) {
      return collator.Compare(a, b) < 0;
    });
    SCOPED_TRACE(twice ? "one name twice" : "distinct names");
    WorkStore up(entries);
    EXPECT_EQ(up.Sorted({fiFileName, soAscending, sfAlwaysByName}), expected);
    std::reverse(expected.begin(), expected.end());
    WorkStore down(entries);
    EXPECT_EQ(down.Sorted({fiFileName, soDescending, sfAlwaysByName}), expected);
  }
}

TEST(SortItems, ParentStaysFirstAndBlocksStayApartInEverySetting) {
  const std::vector<Entry> entries = {
      {"[..]", 7 * kGiB, kDay + 0.99, 0xFF}, {"[Zeta]", 4, kDay, 0x10},
      {"[alpha]", 1, kDay + 2, 0x12},        {"[-]", 0, 1, 0x10},
      {"a", 9 * kGiB, kDay - 5, 0},          {"Z", 2, kDay + 9.5, 0x20},
      {"\xFF\xFE", 8, kDay + 0.01, 0x01},    {"", 0, 0, 0},
  };
  for (int by = fiFileName; by <= fiAttribute; ++by) {
    for (int order : {soAscending, soDescending}) {
      for (int folders : {sfAlwaysByName, sfLikeFiles}) {
        SCOPED_TRACE(testing::Message()
                     << "by " << by << " order " << order << " folders " << folders);
        WorkStore work(entries);
        const auto texts = work.Sorted({static_cast<TFileItem>(by), static_cast<TSortOrder>(order),
                                        static_cast<TSortFolders>(folders)});
        ASSERT_EQ(texts.size(), entries.size());
        EXPECT_EQ(texts[0], "[..]");
        for (int i = 1; i <= 3; ++i) EXPECT_EQ(texts[i].front(), '[') << texts[i];
        for (int i = 4; i < 8; ++i) EXPECT_TRUE(texts[i].empty() || texts[i][0] != '[');
        // Descending reverses the ascending order of distinct keys.
        if (order == soDescending && by == fiFileName) {
          WorkStore ascending(entries);
          auto up = ascending.Sorted({fiFileName, soAscending, sfLikeFiles});
          if (folders == sfLikeFiles) std::reverse(up.begin() + 1, up.begin() + 4);
          std::reverse(up.begin() + 4, up.end());
          EXPECT_EQ(texts, up);
        }
      }
    }
  }
}

TEST(SortItems, FillsMissingSortKeysAndRestoresTheComparison) {
  WorkStore work({{"b"}, {"C"}, {"a"}}, /*keys=*/false);
  int calls = 0;
  work.store.OnCompare = [&](int, int) { return ++calls, 0; };
  EXPECT_EQ(work.Sorted({fiFileName, soAscending, sfAlwaysByName}),
            (std::vector<std::string>{"a", "b", "C"}));
  EXPECT_FALSE(work.store.GetObject(0)->SortKey.empty());
  work.store.OnCompare(0, 1);
  EXPECT_EQ(calls, 1);
}

TEST(SortItems, NumericSortsBothBlocksByValue) {
  const std::vector<Entry> entries = {{"[..]"},       {"[disc10]", 1}, {"[disc9]", 2},
                                      {"a10.txt", 5}, {"a9.txt", 3},   {"a1.txt", 4}};
  struct Case {
    const char* name;
    SortSettings settings;
    std::vector<std::string> expected;
  } cases[] = {
      {"plain",
       {fiFileName, soAscending, sfAlwaysByName, false},
       {"[..]", "[disc10]", "[disc9]", "a1.txt", "a10.txt", "a9.txt"}},
      {"by value",
       {fiFileName, soAscending, sfAlwaysByName, true},
       {"[..]", "[disc9]", "[disc10]", "a1.txt", "a9.txt", "a10.txt"}},
      {"by value descending",
       {fiFileName, soDescending, sfLikeFiles, true},
       {"[..]", "[disc10]", "[disc9]", "a10.txt", "a9.txt", "a1.txt"}},
      {"folders by value beside files by size",
       {fiSize, soAscending, sfAlwaysByName, true},
       {"[..]", "[disc9]", "[disc10]", "a9.txt", "a1.txt", "a10.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WorkStore work(entries, /*keys=*/false);
    EXPECT_EQ(work.Sorted(c.settings), c.expected);
  }
}

TEST(SortItems, NotifiesOnceForTheWholeSort) {
  WorkStore work({{"[..]"}, {"[b]"}, {"[a]"}, {"d"}, {"c"}});
  std::string log;
  work.store.OnChanging = [&] { log += '<'; };
  work.store.OnChange = [&] { log += '>'; };
  work.Sorted({fiFileName, soAscending, sfAlwaysByName});
  EXPECT_EQ(log, "<>");
}

}  // namespace
}  // namespace relabo
