// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/regex_replace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "engine/batch.h"
#include "engine/plan.h"
#include "engine/transform.h"
#include "fileutil/error.h"
#include "tests/support/batch_fakes.h"
#include "tests/support/test_dir.h"

namespace relabo {
namespace {

CommandParameters Regex(std::string pattern, std::string replacement) {
  CommandParameters p;
  p.ReplaceRegex = true;
  p.ReplaceOrigString = std::move(pattern);
  p.ReplaceNewString = std::move(replacement);
  return p;
}

std::string Replaced(const std::string& name, const std::string& pattern,
                     const std::string& replacement) {
  return TransformName(name, kReplaceString, Regex(pattern, replacement), 0);
}

TEST(RegexReplace, ReplacesEveryMatchOfTheBaseName) {
  struct Case {
    const char* name;
    const char* pattern;
    const char* replacement;
    const char* expected;
  };
  const std::vector<Case> cases = {
      // Groups, the whole match, named groups.
      {"img12_0099.jpg", R"((\d+))", "<$1>", "img<12>_<0099>.jpg"},
      {"banana.txt", "a", "[$0]", "b[a]n[a]n[a].txt"},
      {"2024-07 trip.txt", R"((?<y>\d{4})-(?<m>\d\d))", "${m}.${y}", "07.2024 trip.txt"},
      {"ab.txt", "(x)?b", "[$1]", "a[].txt"},  // a group that took no part is empty
      {"abc.txt", "(a)(b)(c)", "$3$2$1$0", "cbaabc.txt"},
      // Left to right without overlap; the inserted text is not searched again.
      {"aaaa.txt", "aa", "a", "aa.txt"},
      {"banana.txt", "a", "aa", "baanaanaa.txt"},
      // Empty matches: one at every place between characters.
      {"abc.txt", "x*", "-", "-a-b-c-.txt"},
      {"abc.txt", R"(\b)", "|", "|abc|.txt"},
      // Anchors hold the base name only; the extension stays.
      {"a.txt", "^", "pre_", "pre_a.txt"},
      {"a.txt", "$", "_end", "a_end.txt"},
      {"txt.txt", "txt", "X", "X.txt"},
      {"name.tar.gz", "^.*$", "whole", "whole.gz"},
      {".profile", ".+", "x", ".profile"},  // a dot file's name is all extension
      // Case matters unless the pattern says otherwise.
      {"Banana.txt", "b", "x", "Banana.txt"},
      {"Banana.txt", "(?i)b", "x", "xanana.txt"},
      // The new string's escapes and the dollars that are no reference.
      {"a.txt", "a", R"(\$1)", "$1.txt"},
      {"a.txt", "a", R"(\\)", R"(\.txt)"},
      {"a.txt", "a", "$x$", "$x$.txt"},
      {"a.txt", "a", "${open", "${open.txt"},
      {"a.txt", "a", "\\", "\\.txt"},
      // Characters are code points.
      {"café.txt", "é", "e", "cafe.txt"},
      {"éa.txt", "^.", "", "a.txt"},
      {"日本語.txt", "(.)(.)", "$2$1", "本日語.txt"},
      // A byte that is not UTF-8 is one character, kept as it is unless matched.
      {"\xff" "a.txt", "a", "b", "\xff" "b.txt"},
      {"\xff" "a.txt", ".", "x", "xx.txt"},
      {"\xff" "a\xfe.txt", "^(.)a(.)$", "$2-$1", "\xfe-\xff.txt"},
      {"\xc3.txt", "\\x{DCC3}", "c", "c.txt"},
      // An empty pattern changes nothing, as an empty original string does.
      {"abc.txt", "", "x", "abc.txt"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Replaced(c.name, c.pattern, c.replacement), c.expected)
        << c.name << " with " << c.pattern << " -> " << c.replacement;
  }
}

TEST(RegexReplace, BadPatternsAndReferencesSayWhere) {
  struct Case {
    const char* pattern;
    const char* replacement;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"a(b", "", "'a(b' is not a valid regular expression at (3)"},
      {"*a", "", "'*a' is not a valid regular expression at (1)"},
      {"[a-", "", "'[a-' is not a valid regular expression at (3)"},
      {"éé(", "", "'éé(' is not a valid regular expression at (3)"},
      {"a{2,1}", "", "'a{2,1}' is not a valid regular expression at (6)"},
      {"(a)", "$2", "'$2' refers to a group that '(a)' does not have"},
      {"(?<x>a)", "${y}", "'${y}' refers to a group that '(?<x>a)' does not have"},
  };
  for (const Case& c : cases) {
    try {
      Replaced("abc.txt", c.pattern, c.replacement);
      ADD_FAILURE() << c.pattern << " was taken";
    } catch (const NameFailure&) {
      ADD_FAILURE() << c.pattern << " failed one name instead of the batch";
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

// A pattern that backtracks without end fails the name it meets in a bounded time, and the
// same replace goes on to work on the next name.
TEST(RegexReplace, APatternThatRunsTooLongFailsThatName) {
  RegexReplace replace("(a+)+$", "x");
  const std::string slow = std::string(40, 'a') + "b";
  const auto start = std::chrono::steady_clock::now();
  try {
    replace.Apply(slow);
    ADD_FAILURE() << "no time limit";
  } catch (const NameFailure& e) {
    EXPECT_EQ(e.Code(), ETIMEDOUT);
    EXPECT_EQ(std::string(e.what()), "the regular expression takes too long on this name");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(replace.Apply("aaa"), "x");
}

class RegexPlanTest : public testing::Test {
 protected:
  RegexPlanTest() {
    if (::chdir(m_dir.Root().c_str()) != 0) throw std::runtime_error("chdir");
  }
  test::CurrentFolderGuard m_guard;
  test::TestDir m_dir;
};

// In a batch, the name the pattern cannot finish fails with the reason and without a step on
// the disk; the others are renamed. An invalid pattern ends the batch before anything runs.
TEST_F(RegexPlanTest, ANameThatRunsTooLongFailsAloneAndABadPatternEndsTheBatch) {
  const std::string slow = std::string(40, 'a') + "b.txt";
  for (const std::string& f : {std::string("a1.txt"), slow, std::string("a2.txt")}) {
    m_dir.CreateFile(f, f);
  }
  test::FakeEntries entries{{"a1.txt"}, {slow}, {"a2.txt"}};
  const CommandParameters p = Regex("^(a+)+(\\d)$", "n$2");
  const BatchPlan plan = PlanBatch(entries, kReplaceString, p, DiskFolderNames("."));
  ASSERT_EQ(plan.operations.size(), 3u);
  EXPECT_EQ(plan.operations[0].newName, "n1.txt");
  EXPECT_EQ(plan.operations[1].outcome, PlanOutcome::Fail);
  EXPECT_EQ(plan.operations[1].error, ETIMEDOUT);
  EXPECT_EQ(plan.operations[1].reason, "the regular expression takes too long on this name");
  EXPECT_EQ(plan.operations[2].newName, "n2.txt");
  EXPECT_EQ(plan.failures, 1);

  test::RecordingProgress progress;
  const BatchOutcome outcome = RunPlan(plan, progress, nullptr, nullptr);
  EXPECT_EQ(outcome.succeeded, 2);
  EXPECT_EQ(outcome.failed, 1);
  for (const BatchOperation& op : outcome.operations) EXPECT_FALSE(op.unexpected);
  EXPECT_TRUE(m_dir.Exists("n1.txt"));
  EXPECT_TRUE(m_dir.Exists(slow));
  EXPECT_TRUE(m_dir.Exists("n2.txt"));

  const BatchPlan bad =
      PlanBatch(entries, kReplaceString, Regex("n(", "x"), DiskFolderNames("."));
  EXPECT_EQ(bad.endingError, "'n(' is not a valid regular expression at (2)");
  EXPECT_EQ(bad.operations[0].outcome, PlanOutcome::End);
}

}  // namespace
}  // namespace relabo
