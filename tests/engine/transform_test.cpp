// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/transform.h"

#include <gtest/gtest.h>
#include <unicode/uloc.h>

#include <climits>
#include <functional>
#include <random>

#include "fileutil/error.h"
#include "fileutil/path.h"
#include "fileutil/utf8.h"

namespace relabo {
namespace {

using Setup = std::function<void(CommandParameters&)>;

struct Case {
  const char* name;
  const char* entry;
  int command;
  Setup setup;
  const char* expected;
  int32_t ordinal = 0;
};

void RunCases(std::initializer_list<Case> cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CommandParameters p;
    if (c.setup) c.setup(p);
    EXPECT_EQ(TransformName(c.entry, c.command, p, c.ordinal), c.expected);
  }
}

TEST(TransformName, InsertString) {
  auto at = [](const char* s, int32_t pos) {
    return [=](CommandParameters& p) { p.InsertString = s, p.InsertFrom = pos; };
  };
  RunCases({
      {"position 0 appends", "a.txt", 0, at("x", 0), "ax.txt"},
      {"position 1 prepends", "a.txt", 0, at("x", 1), "xa.txt"},
      {"position far beyond appends", "a.txt", 0, at("x", 99), "ax.txt"},
      {"position len", "ab.txt", 0, at("x", 2), "axb.txt"},
      {"position len+1", "ab.txt", 0, at("x", 3), "abx.txt"},
      {"negative appends", "ab.txt", 0, at("x", -5), "abx.txt"},
      {"huge position", "ab.txt", 0, at("x", INT32_MAX), "abx.txt"},
      {"empty string", "ab.txt", 0, at("", 1), "ab.txt"},
      {"default parameters", "ab.txt", 0, nullptr, "ab.txt"},
      {"only extension", ".profile", 0, at("x", 1), "x.profile"},
      {"several dots", "archive.tar.gz", 0, at("x", 0), "archive.tarx.gz"},
      {"no extension", "README", 0, at("x", 0), "READMEx"},
      {"trailing dot", "abc.", 0, at("x", 0), "abcx."},
      {"dot inserted", "README", 0, at(".md", 0), "README.md"},
      {"after a two-byte character",
       "\xC3\xA9"
       "a.txt",
       0, at("x", 2),
       "\xC3\xA9"
       "xa.txt"},
      {"after an invalid byte",
       "\xE9"
       "a.txt",
       0, at("x", 2),
       "\xE9"
       "xa.txt"},
      {"multi-byte string", "ab", 0, at("\xE2\x82\xAC", 2),
       "a\xE2\x82\xAC"
       "b"},
  });
}

TEST(TransformName, RemoveString) {
  auto from = [](int32_t mode, int32_t n, int32_t pos = 1) {
    return [=](CommandParameters& p) {
      p.RemoveFrom = mode, p.RemoveNumber = n, p.RemovePosition = pos;
    };
  };
  RunCases({
      {"begin 1", "abc.txt", 1, from(0, 1), "bc.txt"},
      {"begin all", "abc.txt", 1, from(0, 9), ".txt"},
      {"begin exactly len", "abc.txt", 1, from(0, 3), ".txt"},
      {"begin 0 removes nothing", "abc.txt", 1, from(0, 0), "abc.txt"},
      {"begin negative removes nothing", "abc.txt", 1, from(0, -3), "abc.txt"},
      {"begin on a multi-byte character",
       "\xC3\xA9"
       "a.txt",
       1, from(0, 1), "a.txt"},
      {"begin on an invalid byte",
       "\xFF"
       "a.txt",
       1, from(0, 1), "a.txt"},
      {"end 3", "abcde.txt", 1, from(1, 3), "ab.txt"},
      {"end more than len removes nothing", "abc.txt", 1, from(1, 9), "abc.txt"},
      {"end exactly len", "abc.txt", 1, from(1, 3), ".txt"},
      {"end huge", "abc.txt", 1, from(1, INT32_MAX), "abc.txt"},
      {"end of a multi-byte name", "ab\xC3\xA9.txt", 1, from(1, 1), "ab.txt"},
      {"position middle", "abcde.txt", 1, from(2, 2, 2), "ade.txt"},
      {"position runs past the end", "abcde.txt", 1, from(2, 9, 5), "abcd.txt"},
      {"position at len", "abcde.txt", 1, from(2, 1, 5), "abcd.txt"},
      {"position len+1", "abcde.txt", 1, from(2, 1, 6), "abcde.txt"},
      {"position 0", "abcde.txt", 1, from(2, 1, 0), "abcde.txt"},
      {"unknown mode", "abcde.txt", 1, from(3, 1), "abcde.txt"},
      {"only extension", ".profile", 1, from(0, 1), ".profile"},
      {"empty name", "", 1, from(0, 1), ""},
  });
}

TEST(TransformName, ReplaceString) {
  auto repl = [](const char* o, const char* w) {
    return [=](CommandParameters& p) { p.ReplaceOrigString = o, p.ReplaceNewString = w; };
  };
  RunCases({
      {"replacement holds the original", "banana.txt", 2, repl("a", "aa"), "baanaanaa.txt"},
      {"case-sensitive", "banana.txt", 2, repl("A", "x"), "banana.txt"},
      {"empty original", "banana.txt", 2, repl("", "x"), "banana.txt"},
      {"empty replacement", "banana.txt", 2, repl("a", ""), "bnn.txt"},
      {"no overlap", "aaa", 2, repl("aa", "b"), "ba"},
      {"joined occurrence stays", "abb", 2, repl("ab", "xa"), "xab"},
      {"extension untouched", "a.a", 2, repl("a", "b"), "b.a"},
      {"longer original", "ab.txt", 2, repl("abc", "x"), "ab.txt"},
      {"multi-byte", "caf\xC3\xA9.txt", 2, repl("\xC3\xA9", "e"), "cafe.txt"},
      {"a lone byte never matches inside a character", "\xC3\xA9x", 2, repl("\xC3", "E"),
       "\xC3\xA9x"},
      {"an invalid byte is replaced",
       "a\xC3"
       "b",
       2, repl("\xC3", "-"), "a-b"},
  });
}

TEST(TransformName, ChangeString) {
  auto over = [](const char* s, int32_t pos) {
    return [=](CommandParameters& p) { p.ChangeString = s, p.ChangeFrom = pos; };
  };
  RunCases({
      {"overwrites and grows", "abcde.txt", 3, over("XY", 4), "abcXY.txt"},
      {"beyond the end appends", "abc.txt", 3, over("XY", 9), "abcXY.txt"},
      {"at len+1 appends", "abc.txt", 3, over("XY", 4), "abcXY.txt"},
      {"at 1", "abc.txt", 3, over("XY", 1), "XYc.txt"},
      {"inside", "abcdef", 3, over("XY", 3), "abXYef"},
      {"empty string", "abc.txt", 3, over("", 2), "abc.txt"},
      {"multi-byte overwritten as one character",
       "a\xC3\xA9"
       "c",
       3, over("x", 2), "axc"},
      {"only extension", ".profile", 3, over("X", 1), "X.profile"},
  });
}

TEST(TransformName, ChangeCase) {
  auto mode = [](int32_t m, const char* sep = " ") {
    return [=](CommandParameters& p) { p.ChangeCaseMode = m, p.ChangeCaseSeparator = sep; };
  };
  RunCases({
      {"words", "HELLO_wORLD_x.TXT", 4, mode(0, "_"), "Hello_World_X.TXT"},
      {"empty separator", "HELLO_wORLD.TXT", 4, mode(0, ""), "HELLO_wORLD.TXT"},
      {"default blank", "the QUICK fox", 4, nullptr, "The Quick Fox"},
      {"double separator", "a__b", 4, mode(0, "_"), "A__B"},
      {"letter separator", "axxb", 4, mode(0, "x"), "AxXB"},
      {"leading separator", " hello world", 4, mode(0, " "), " Hello World"},
      {"trailing separator", "ab ", 4, mode(0, " "), "Ab "},
      {"long separator", "ONE--TWO", 4, mode(0, "--"), "One--Two"},
      {"separator absent", "hELLO", 4, mode(0, "_"), "Hello"},
      {"one character", "x", 4, mode(0, " "), "X"},
      {"accented words", "\xC3\xA9T\xC3\x89 \xC3\x80", 4, mode(0), "\xC3\x89t\xC3\xA9 \xC3\x80"},
      {"first only", "hELLO wORLD.TXT", 4, mode(1), "Hello world.TXT"},
      {"all small",
       "\xC3\x80"
       "BC.TXT",
       4, mode(2),
       "\xC3\xA0"
       "bc.TXT"},
      {"all big", "archive.tar.gz", 4, mode(3), "ARCHIVE.TAR.gz"},
      {"sharp s stays one character",
       "stra\xC3\x9F"
       "e",
       4, mode(3),
       "STRA\xC3\x9F"
       "E"},
      {"invalid byte kept",
       "a\xE9"
       "b",
       4, mode(3),
       "A\xE9"
       "B"},
      {"only extension", ".profile", 4, mode(3), ".profile"},
      {"empty base, all words", ".profile", 4, mode(0), ".profile"},
      {"unknown mode", "aBc", 4, mode(7), "aBc"},
  });
}

TEST(TransformName, ChangeCaseFollowsTurkishLocale) {
  UErrorCode status = U_ZERO_ERROR;
  const std::string saved = uloc_getDefault();
  CommandParameters upper, lower;
  upper.ChangeCaseMode = 3;
  lower.ChangeCaseMode = 2;

  uloc_setDefault("tr_TR", &status);
  EXPECT_EQ(TransformName("istanbul", 4, upper, 0), "\xC4\xB0STANBUL");
  EXPECT_EQ(TransformName("ISPARTA", 4, lower, 0), "\xC4\xB1sparta");
  uloc_setDefault("en_US", &status);
  EXPECT_EQ(TransformName("istanbul", 4, upper, 0), "ISTANBUL");
  EXPECT_EQ(TransformName("ISPARTA", 4, lower, 0), "isparta");
  uloc_setDefault(saved.c_str(), &status);
}

TEST(TransformName, ChangeNumber) {
  auto num = [](int32_t which, int32_t plus) {
    return [=](CommandParameters& p) { p.ChangeNumberWhich = which, p.ChangeNumberPlus = plus; };
  };
  RunCases({
      {"second number", "img12_0099.jpg", 5, num(2, 1), "img12_0100.jpg"},
      {"first number", "img12_0099.jpg", 5, num(1, 1), "img13_0099.jpg"},
      {"no third number", "img12_0099.jpg", 5, num(3, 1), "img12_0099.jpg"},
      {"grows", "9.txt", 5, num(1, 1), "10.txt"},
      {"keeps its width", "0005", 5, num(1, 5), "0010"},
      {"zeros before the sign", "007", 5, num(1, -10), "0-3"},
      {"negative", "a0", 5, num(1, -1), "a-1"},
      {"wraps around", "a2147483647", 5, num(1, 1), "a-2147483648"},
      {"many leading zeros", "000000000000001", 5, num(1, 1), "000000000000002"},
      {"which 0", "a1", 5, num(0, 1), "a1"},
      {"digits of the extension are not counted", "a.mp3", 5, num(1, 1), "a.mp3"},
      {"other digits are no number", "x\xC2\xB2\xD9\xA1", 5, num(1, 1), "x\xC2\xB2\xD9\xA1"},
      {"after multi-byte characters",
       "\xC3\xA9"
       "1\xC3\xA9",
       5, num(1, 1),
       "\xC3\xA9"
       "2\xC3\xA9"},
  });
}

TEST(TransformName, ChangeNumberTooLargeIsAnError) {
  CommandParameters p;
  p.ChangeNumberWhich = 2;
  try {
    TransformName("a1_2147483648.txt", 5, p, 0);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "'2147483648' is not a valid integer value");
  }
  EXPECT_NO_THROW(TransformName("a99999999999999999999.txt", 5, p, 0));  // no second run
}

TEST(TransformName, RenameFiles) {
  auto rename = [](int32_t scheme) {
    return [=](CommandParameters& p) {
      p.RenameName = "photo", p.RenameSeparator = "_", p.RenameScheme = scheme;
    };
  };
  RunCases({
      {"first", "IMG_1.JPG", 6, rename(0), "photo_001.JPG", 0},
      {"second", "b.png", 6, rename(0), "photo_002.png", 1},
      {"third, no extension", "c", 6, rename(0), "photo_003", 2},
      {"scheme 1", "a.jpg", 6, rename(1), "photo001_.jpg"},
      {"scheme 2", "a.jpg", 6, rename(2), "_photo001.jpg"},
      {"scheme 3", "a.jpg", 6, rename(3), "_001photo.jpg"},
      {"scheme 4", "a.jpg", 6, rename(4), "001photo_.jpg"},
      {"scheme 5", "a.jpg", 6, rename(5), "001_photo.jpg"},
      {"no scheme acts as 5", "a.jpg", 6, rename(-1), "001_photo.jpg"},
      {"scheme 6 acts as 5", "a.jpg", 6, rename(6), "001_photo.jpg"},
      {"only extension", ".profile", 6,
       [](CommandParameters& p) { p.RenameName = "x", p.RenameSeparator = "_"; }, "x_001.profile"},
      {"start and step", "a.jpg", 6,
       [](CommandParameters& p) { p.RenameStart = 10, p.RenameStep = 5, p.RenameDigits = 2; },
       "20.jpg", 2},
  });
}

TEST(TransformName, CopyFiles) {
  auto copy = [](CommandParameters& p) { p.CopyNumber = 2, p.CopySeparator = "-"; };
  RunCases({
      {"first copy", "a.txt", 7, copy, "a-001.txt", 0},
      {"second copy", "a.txt", 7, copy, "a-002.txt", 1},
      {"next file starts again", "b.txt", 7, copy, "b-001.txt", 0},
      {"own base name in scheme 5", "a.txt", 7,
       [](CommandParameters& p) { p.CopyScheme = 5, p.CopySeparator = "_"; }, "001_a.txt"},
      {"start and step", "a.txt", 7, [](CommandParameters& p) { p.CopyStart = 5, p.CopyStep = 10; },
       "a025.txt", 2},
      {"only extension", ".profile", 7, copy, "-001.profile"},
  });
}

TEST(TransformName, UnknownCommandLeavesTheName) {
  for (int command : {-1, 8, INT_MAX}) {
    SCOPED_TRACE(command);
    EXPECT_EQ(TransformName("Some File.TXT", command, CommandParameters{}, 3), "Some File.TXT");
  }
}

TEST(CounterText, PadsAndWraps) {
  struct Case {
    const char* name;
    int32_t start, step, digits, ordinal;
    const char* expected;
  } cases[] = {
      {"one", 1, 1, 3, 0, "001"},
      {"ten", 1, 1, 3, 9, "010"},
      {"hundred", 1, 1, 3, 99, "100"},
      {"wider than digits", 1, 1, 3, 999, "1000"},
      {"negative padded before sign", 0, -1, 3, 5, "0-5"},
      {"digits 0", 7, 1, 0, 0, "7"},
      {"negative digits", 7, 1, -4, 0, "7"},
      {"sum wraps", INT32_MAX, 1, 1, 1, "-2147483648"},
      {"product wraps", 0, 65536, 1, 65536, "0"},
      {"hundred digits", 1, 1, 100, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = CounterText(c.start, c.step, c.digits, c.ordinal);
    if (c.expected) {
      EXPECT_EQ(text, c.expected);
    } else {
      EXPECT_EQ(text, std::string(99, '0') + "1");
    }
  }
}

TEST(CounterText, NeverPadsBeyondAFileNameLength) {
  // Digits typed as 30000000 once grew the process to over a gigabyte.
  for (const int32_t digits : {255, 256, 1000, 30000000, INT32_MAX}) {
    SCOPED_TRACE(digits);
    EXPECT_EQ(CounterText(1, 1, digits, 0), std::string(254, '0') + "1");
  }
  EXPECT_EQ(CounterText(-5, 0, INT32_MAX, 0), std::string(253, '0') + "-5");
}

TEST(ArrangeScheme, JoinsInEveryOrder) {
  const char* expected[] = {"NSC", "NCS", "SNC", "SCN", "CNS", "CSN", "CSN", "CSN"};
  const int schemes[] = {0, 1, 2, 3, 4, 5, 6, -1};
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(schemes[i]);
    EXPECT_EQ(ArrangeScheme(schemes[i], "N", "S", "C"), expected[i]);
  }
}

TEST(FindNumber, FindsRunsByCharacterPosition) {
  struct Case {
    const char* name;
    const char* text;
    int which;
    bool found;
    int first, last;
  } cases[] = {
      {"first", "img12_0099", 1, true, 4, 5},
      {"second", "img12_0099", 2, true, 7, 10},
      {"missing", "img12_0099", 3, false, 0, 0},
      {"whole text", "2024", 1, true, 1, 4},
      {"empty", "", 1, false, 0, 0},
      {"which 0", "1", 0, false, 0, 0},
      {"which negative", "1", -1, false, 0, 0},
      {"characters, not bytes",
       "\xC3\xA9\xC3\xA9"
       "42",
       1, true, 3, 4},
      {"invalid byte is one character",
       "\xFF"
       "7",
       1, true, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const NumberRun run = FindNumber(c.text, c.which);
    EXPECT_EQ(run.found, c.found);
    EXPECT_EQ(run.first, c.first);
    EXPECT_EQ(run.last, c.last);
  }
}

// Whatever the name and the parameters, a command keeps the extension, and an undecodable
// byte that is not removed reaches the new name unchanged.
TEST(TransformName, RandomNamesKeepTheirExtension) {
  std::mt19937 rng(42);
  const std::string alphabet[] = {"a", "B", ".", "_", " ", "1", "9", "\xC3\xA9", "\xFF", "x"};
  auto text = [&](int max) {
    std::string s;
    for (int n = std::uniform_int_distribution<int>(0, max)(rng); n > 0; --n) {
      s += alphabet[std::uniform_int_distribution<size_t>(0, std::size(alphabet) - 1)(rng)];
    }
    return s;
  };
  auto number = [&] { return std::uniform_int_distribution<int32_t>(-3, 12)(rng); };
  for (int i = 0; i < 20000; ++i) {
    const std::string name = text(12);
    CommandParameters p;
    p.InsertString = text(3), p.InsertFrom = number();
    p.RemoveFrom = number() % 3, p.RemoveNumber = number(), p.RemovePosition = number();
    p.ReplaceOrigString = text(2), p.ReplaceNewString = text(3);
    p.ChangeString = text(3), p.ChangeFrom = number();
    p.ChangeCaseMode = number() % 4, p.ChangeCaseSeparator = text(2);
    p.ChangeNumberWhich = number(), p.ChangeNumberPlus = number();
    const int command = i % 8;
    std::string result;
    try {
      result = TransformName(name, command, p, i % 5);
    } catch (const Error&) {
      ASSERT_EQ(command, 5) << name;  // only a digit run can be too large
      continue;
    }
    const std::string ext = ExtensionPart(name);
    ASSERT_GE(result.size(), ext.size()) << name;
    ASSERT_EQ(result.substr(result.size() - ext.size()), ext) << name << " -> " << result;
  }
}

}  // namespace
}  // namespace relabo
