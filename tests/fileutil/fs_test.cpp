#include "fileutil/fs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>

#include "tests/support/test_dir.h"

namespace relabo {
namespace {

using test::CurrentFolderGuard;
using test::TestDir;

// The rename and its two fallbacks, which tests force directly on any file system.
struct Renamer {
  const char* name;
  int (*rename)(const std::string&, const std::string&);
  bool renamesFolders;
};
constexpr Renamer kRenamers[] = {
    {"RenameNoReplace", RenameNoReplace, true},
    {"RenameByLink", detail::RenameByLink, false},
    {"RenameIfAbsent", detail::RenameIfAbsent, true},
};

// The names in a folder, to see that nothing was left behind.
std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

class RenameTest : public ::testing::Test {
 protected:
  // Names are relative to the current folder, as the batch passes them.
  RenameTest() { EXPECT_EQ(::chdir(m_dir.Root().c_str()), 0); }

  CurrentFolderGuard m_guard;
  TestDir m_dir;
};

TEST_F(RenameTest, RenamesFiles) {
  struct Case {
    const char* name;
    std::string from;
    std::string to;
  } cases[] = {
      {"plain", "a.txt", "b.txt"},
      {"into a subfolder", "a.txt", "sub/a.txt"},
      {"newline in the name", "a.txt", "two\nlines.txt"},
      {"invalid UTF-8", "\xFF\xFE.txt", "caf\xE9.txt"},
      {"case only", "photo.JPG", "photo.jpg"},
  };
  for (const Renamer& r : kRenamers) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(r.name) + ": " + c.name);
      TestDir dir;
      ASSERT_EQ(::chdir(dir.Root().c_str()), 0);
      dir.CreateFolder("sub");
      dir.CreateFile(c.from, "contents");
      ASSERT_EQ(r.rename(c.from, c.to), 0);
      EXPECT_FALSE(dir.Exists(c.from));
      EXPECT_EQ(dir.ReadFile(c.to), "contents");
    }
  }
}

TEST_F(RenameTest, NeverReplacesAnExistingTarget) {
  for (const Renamer& r : kRenamers) {
    SCOPED_TRACE(r.name);
    m_dir.CreateFile("a.txt", "source");
    m_dir.CreateFile("b.txt", "target");
    m_dir.CreateSymlink("link", "nowhere");
    EXPECT_EQ(r.rename("a.txt", "b.txt"), EEXIST);
    // A symbolic link is a target of its own, even one that points nowhere.
    EXPECT_EQ(r.rename("a.txt", "link"), EEXIST);
    EXPECT_EQ(m_dir.ReadFile("a.txt"), "source");
    EXPECT_EQ(m_dir.ReadFile("b.txt"), "target");
    EXPECT_EQ(Names(m_dir.Root()), (std::set<std::string>{"a.txt", "b.txt", "link"}));
    ASSERT_EQ(::unlink("link"), 0);
  }
}

TEST_F(RenameTest, ReportsAMissingSource) {
  for (const Renamer& r : kRenamers) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.rename("missing", "b.txt"), ENOENT);
    EXPECT_FALSE(m_dir.Exists("b.txt"));
  }
}

TEST_F(RenameTest, RenamesFoldersAndLinksThemselves) {
  for (const Renamer& r : kRenamers) {
    SCOPED_TRACE(r.name);
    m_dir.CreateFile("old/inner", "x");
    m_dir.CreateSymlink("link", "old");
    if (r.renamesFolders) {
      ASSERT_EQ(r.rename("old", "new"), 0);
      EXPECT_EQ(m_dir.ReadFile("new/inner"), "x");
      ASSERT_EQ(r.rename("new", "old"), 0);
    }
    // The link is renamed, not the folder it points to.
    ASSERT_EQ(r.rename("link", "link2"), 0);
    EXPECT_EQ(std::filesystem::read_symlink("link2"), "old");
    EXPECT_EQ(m_dir.ReadFile("old/inner"), "x");
    ASSERT_EQ(::unlink("link2"), 0);
  }
}

// Two names of one file are not one name in two spellings: the rename is refused, and the
// temporary name used for a change of case on a case-ignoring file system does not stay.
// A file renamed to its own name stays and counts as renamed; a missing one does not.
TEST_F(RenameTest, OwnNameIsNoFailure) {
  m_dir.CreateFile("a", "x");
  EXPECT_EQ(RenameNoReplace("a", "a"), 0);
  EXPECT_EQ(m_dir.ReadFile("a"), "x");
  EXPECT_EQ(RenameNoReplace("missing", "missing"), ENOENT);
}

TEST_F(RenameTest, HardLinksOfOneFileStaySeparate) {
  m_dir.CreateFile("a", "x");
  ASSERT_EQ(::link("a", "b"), 0);
  EXPECT_EQ(RenameNoReplace("a", "b"), EEXIST);
  EXPECT_EQ(Names(m_dir.Root()), (std::set<std::string>{"a", "b"}));
}

}  // namespace
}  // namespace relabo
