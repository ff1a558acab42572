// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/extension.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "tests/support/batch_fakes.h"
#include "tests/support/test_dir.h"

namespace relabo {
namespace {

using test::FakeEntries;
using test::FakeEntry;

TEST(NameWithExtension, TheTextAsTypedAfterTheBaseName) {
  struct Case {
    const char* name;
    const char* extension;
    const char* expected;
  };
  const Case cases[] = {
      {"report.txt", "bak", "report.bak"},
      {"archive.tar.gz", "bak", "archive.tar.bak"},
      {"README", "bak", "README.bak"},
      {".profile", "bak", ".bak"},
      {"report.txt", ".bak", "report..bak"},
      {"report.txt", "", "report."},
      {"a\xff.txt", "d\xc3\xa9", "a\xff.d\xc3\xa9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(NameWithExtension(c.name, c.extension), c.expected);
  }
}

class ChangeExtensionTest : public testing::Test {
 protected:
  ChangeExtensionTest() {
    if (::chdir(m_dir.Root().c_str()) != 0) throw std::runtime_error("chdir");
  }
  test::CurrentFolderGuard m_guard;
  test::TestDir m_dir;
};

TEST_F(ChangeExtensionTest, FoldersAreNeverRenamedEvenWhenAFileHasTheirText) {
  // On Linux a file can be named as the list shows a folder: "[fold]", "[..]".
  m_dir.CreateFolder("fold");
  m_dir.CreateFile("[fold]", "not the folder");
  m_dir.CreateFile("[..]", "not the parent");
  m_dir.CreateFile("a.txt");
  m_dir.CreateFile("taken.txt");
  m_dir.CreateFile("taken.bak", "in the way");
  const FakeEntries entries{
      {"[..]", true, BatchEntryKind::Parent},   {"[fold]", true, BatchEntryKind::Folder},
      {"[..]", false, BatchEntryKind::File},    {"[fold]", false, BatchEntryKind::File},
      {"a.txt", true, BatchEntryKind::File},    {"taken.txt", true, BatchEntryKind::File},
      {"unmarked", false, BatchEntryKind::File}};
  int beeps = 0;
  const ExtensionOutcome outcome = ChangeExtension(entries, "bak", [&] { ++beeps; });

  EXPECT_EQ(outcome.succeeded, 1);
  EXPECT_EQ(outcome.failed, 3);
  EXPECT_EQ(beeps, 3);
  ASSERT_EQ(outcome.operations.size(), 4u);
  EXPECT_EQ(outcome.operations[0].error, EISDIR);
  EXPECT_EQ(outcome.operations[1].error, EISDIR);
  EXPECT_TRUE(outcome.operations[2].done);
  EXPECT_EQ(outcome.operations[3].error, EEXIST);
  EXPECT_TRUE(m_dir.Exists("[fold]"));
  EXPECT_TRUE(m_dir.Exists("[..]"));
  EXPECT_FALSE(m_dir.Exists("[fold].bak"));
  EXPECT_FALSE(m_dir.Exists("[..].bak"));
  EXPECT_TRUE(m_dir.Exists("fold"));
  EXPECT_TRUE(m_dir.Exists("a.bak"));
  EXPECT_EQ(m_dir.ReadFile("taken.bak"), "in the way");
}

}  // namespace
}  // namespace relabo
