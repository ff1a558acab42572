// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileutil/fs.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "tests/support/test_dir.h"

namespace relabo {
namespace {

using detail::RenameIfAbsentStep;
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

// --- RenameIfAbsent under a racing program -------------------------------------------------

// Lets a test act as a racing program at the steps of RenameIfAbsent, for as long as it lives.
class RaceHook {
 public:
  explicit RaceHook(std::function<void(RenameIfAbsentStep, const std::string&)> hook) {
    detail::SetRenameIfAbsentHook(std::move(hook));
  }
  RaceHook(const RaceHook&) = delete;
  RaceHook& operator=(const RaceHook&) = delete;
  ~RaceHook() { detail::SetRenameIfAbsentHook({}); }
};

// Writes bytes to path with the given open flags (O_CREAT | O_EXCL: a new file; O_APPEND: into
// one that is there); false when the disk refuses.
bool Put(const std::string& path, const std::string& bytes, int flags = O_CREAT | O_EXCL) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | flags, 0644);
  if (fd < 0) return false;
  const bool written = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
  return ::close(fd) == 0 && written;
}

// The bytes of a file, or "(missing)".
std::string ContentsOf(const TestDir& dir, const std::string& rel) {
  return dir.Exists(rel) ? dir.ReadFile(rel) : "(missing)";
}

// Another program takes the target name while the rename is under way, at the moments a plain
// check-then-rename lost its file: what it put there stays, and the rename fails with EEXIST.
TEST_F(RenameTest, RenameIfAbsentNeverReplacesARacer) {
  using Step = RenameIfAbsentStep;
  struct Case {
    const char* name;
    bool folder;  // the source is the folder "a" holding "inner", else the file "a"
    Step step;
    std::function<bool(const std::string& to)> race;
    const char* racerFile;  // where the racer's bytes are afterwards
  };
  const Case cases[] = {
      {"file: the name taken before the placeholder", false, Step::BeforePlaceholder,
       [](const std::string& to) { return Put(to, "racer"); }, "b"},
      {"file: the placeholder removed and the name taken", false, Step::PlaceholderMade,
       [](const std::string& to) { return ::unlink(to.c_str()) == 0 && Put(to, "racer"); }, "b"},
      {"file: written into the placeholder", false, Step::PlaceholderMade,
       [](const std::string& to) { return Put(to, "racer", O_APPEND); }, "b"},
      {"file: another file renamed over the placeholder", false, Step::PlaceholderMade,
       [](const std::string& to) {
         return Put("theirs", "racer") && ::rename("theirs", to.c_str()) == 0;
       },
       "b"},
      {"file: the placeholder replaced by a folder", false, Step::PlaceholderMade,
       [](const std::string& to) {
         return ::unlink(to.c_str()) == 0 && ::mkdir(to.c_str(), 0755) == 0 &&
                Put(to + "/theirs", "racer");
       },
       "b/theirs"},
      {"folder: the name taken before the placeholder", true, Step::BeforePlaceholder,
       [](const std::string& to) {
         return ::mkdir(to.c_str(), 0755) == 0 && Put(to + "/theirs", "racer");
       },
       "b/theirs"},
      {"folder: a file put into the placeholder", true, Step::PlaceholderMade,
       [](const std::string& to) { return Put(to + "/theirs", "racer"); }, "b/theirs"},
      {"folder: the placeholder replaced by another folder", true, Step::PlaceholderMade,
       [](const std::string& to) {
         return ::rmdir(to.c_str()) == 0 && ::mkdir(to.c_str(), 0755) == 0 &&
                Put(to + "/theirs", "racer");
       },
       "b/theirs"},
      {"folder: the placeholder replaced by a file", true, Step::PlaceholderMade,
       [](const std::string& to) { return ::rmdir(to.c_str()) == 0 && Put(to, "racer"); }, "b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestDir dir;
    ASSERT_EQ(::chdir(dir.Root().c_str()), 0);
    dir.CreateFile(c.folder ? "a/inner" : "a", "source");
    bool raced = false;
    const RaceHook hook([&](Step step, const std::string& to) {
      if (step == c.step && !raced) raced = c.race(to);
    });
    EXPECT_EQ(detail::RenameIfAbsent("a", "b"), EEXIST);
    EXPECT_TRUE(raced) << "the racer could not act";
    EXPECT_EQ(ContentsOf(dir, c.racerFile), "racer");
    EXPECT_EQ(ContentsOf(dir, c.folder ? "a/inner" : "a"), "source");
    EXPECT_EQ(Names(dir.Root()), (std::set<std::string>{"a", "b"}));
  }
}

// A rename that fails after the name was claimed gives the name back; a name that was taken
// all along is left as it was.
TEST_F(RenameTest, RenameIfAbsentLeavesNoPlaceholder) {
  using Step = RenameIfAbsentStep;
  struct Case {
    const char* name;
    std::function<void(TestDir&)> setup;
    std::function<void(const std::string& to)> race;  // at Step::PlaceholderMade, or null
    const char* from;
    const char* to;
    int result;
    std::set<std::string> names;
  };
  const auto none = [](TestDir&) {};
  const auto file = [](TestDir& d) { d.CreateFile("a", "x"); };
  const auto folder = [](TestDir& d) { d.CreateFile("d/inner", "x"); };
  const auto twoFolders = [](TestDir& d) {
    d.CreateFolder("d");
    d.CreateFolder("e");
  };
  const auto twoFiles = [](TestDir& d) {
    d.CreateFile("a");
    d.CreateFile("b");
  };
  const auto removeFile = [](const std::string&) { ::unlink("a"); };
  const auto removeFolder = [](const std::string&) { std::filesystem::remove_all("d"); };
  const Case cases[] = {
      {"file source gone meanwhile", file, removeFile, "a", "b", ENOENT, {}},
      {"folder source gone meanwhile", folder, removeFolder, "d", "b", ENOENT, {}},
      {"target folder missing", file, nullptr, "a", "missing/b", ENOENT, {"a"}},
      {"source missing", none, nullptr, "a", "b", ENOENT, {}},
      {"folder onto an empty folder", twoFolders, nullptr, "d", "e", EEXIST, {"d", "e"}},
      {"file onto an empty file", twoFiles, nullptr, "a", "b", EEXIST, {"a", "b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestDir dir;
    ASSERT_EQ(::chdir(dir.Root().c_str()), 0);
    c.setup(dir);
    const RaceHook hook([&](Step step, const std::string& to) {
      if (step == Step::PlaceholderMade && c.race) c.race(to);
    });
    EXPECT_EQ(detail::RenameIfAbsent(c.from, c.to), c.result);
    EXPECT_EQ(Names(dir.Root()), c.names);
  }
}

}  // namespace
}  // namespace relabo
