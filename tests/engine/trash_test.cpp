// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/trash.h"

#include <dirent.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

#include "engine/journal.h"
#include "engine/trash_batch.h"
#include "engine/undo.h"
#include "tests/support/batch_fakes.h"
#include "tests/support/test_dir.h"

namespace relabo {
namespace {

using relabo::test::CurrentFolderGuard;
using relabo::test::TestDir;

// GLib reads HOME and XDG_DATA_HOME once, on first use: main() points them at this folder
// before any test runs. It is on the same volume as the tests' folders, so the home trash is
// the one used.
TestDir* g_home = nullptr;

std::string TrashFolder() { return g_home->Path("data/Trash"); }

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct stat Lstat(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) st.st_ino = 0;
  return st;
}

// The Path= value of a .trashinfo file; empty without one.
std::string InfoOriginal(const std::string& infoPath) {
  std::smatch match;
  const std::string info = ReadText(infoPath);
  return std::regex_search(info, match, std::regex("(^|\n)Path=([^\n]*)\n")) ? match[2].str()
                                                                             : std::string();
}

// Escapes a path the way a .trashinfo's Path= spells it: bytes other than letters, digits,
// "-._~" and "/" as %XX.
std::string Escaped(const std::string& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : path) {
    if (std::isalnum(c) || std::strchr("-._~/", c)) {
      out += char(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// Runs what in a child process that is not root (root may read and write everywhere, so the
// child gives root up and takes over the folders in owned) and returns what it returned.
std::string RunUnprivileged(const std::vector<std::string>& owned,
                            const std::function<std::string()>& what) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child < 0) return "fork failed";
  if (child == 0) {
    ::close(pipeFds[0]);
    if (::geteuid() == 0) {
      const uid_t nobody = 65534;
      for (const std::string& folder : owned) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
          if (::lchown(entry.path().c_str(), nobody, nobody) != 0) ::_exit(2);
        if (::lchown(folder.c_str(), nobody, nobody) != 0) ::_exit(2);
      }
      if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
        ::_exit(2);
    }
    const std::string report = what();
    if (::write(pipeFds[1], report.data(), report.size()) < 0) _exit(1);
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string report;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) report.append(buffer, size_t(n));
  ::close(pipeFds[0]);
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "the child failed";
  return report;
}

class TrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::error_code ignored;
    std::filesystem::remove_all(TrashFolder(), ignored);
  }
};

TEST_F(TrashTest, FileGoesToTheHomeTrashWithItsInfo) {
  struct Case {
    const char* name;
    const char* file;
    const char* escaped;  // the name as the Path= line must spell it
  };
  const Case cases[] = {
      {"plain name", "report.txt", "report.txt"},
      {"space and non-ASCII letter", "a b é.txt", "a%20b%20%C3%A9.txt"},
      {"byte that is not UTF-8", "bad\xff name", "bad%FF%20name"},
      {"percent and hash", "100%#1", "100%25%231"},
  };
  const std::regex date(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestDir dir;
    const std::string path = dir.CreateFile(std::string("folder/") + c.file, "contents");

    const TrashResult result = TrashFile(path);

    EXPECT_TRUE(result.trashed);
    EXPECT_EQ(result.error, "");
    EXPECT_FALSE(Exists(path));
    const std::string trashed = TrashFolder() + "/files/" + c.file;
    EXPECT_EQ(ReadText(trashed), "contents");
    const std::string info = ReadText(TrashFolder() + "/info/" + c.file + ".trashinfo");
    EXPECT_NE(info.find("[Trash Info]\n"), std::string::npos) << info;
    EXPECT_NE(info.find("\nPath=" + dir.Path("folder/") + c.escaped + "\n"), std::string::npos)
        << info;
    std::smatch match;
    EXPECT_TRUE(std::regex_search(info, match, std::regex("\nDeletionDate=(.*)\n")) &&
                std::regex_match(match[1].str(), date))
        << info;
  }
}

TEST_F(TrashTest, RelativeNameLeavesNothingInTheCurrentFolder) {
  TestDir dir;
  dir.CreateFile("work/notes.txt", "x");
  CurrentFolderGuard guard;
  ASSERT_EQ(::chdir(dir.Path("work").c_str()), 0);

  const TrashResult result = TrashFile("notes.txt");
  EXPECT_TRUE(result.trashed);

  EXPECT_EQ(result.trashedPath, TrashFolder() + "/files/notes.txt");
  EXPECT_EQ(result.infoPath, TrashFolder() + "/info/notes.txt.trashinfo");
  EXPECT_EQ(Names(dir.Path("work")), std::vector<std::string>{});
  EXPECT_EQ(Names(TrashFolder() + "/files"), std::vector<std::string>{"notes.txt"});
}

TEST_F(TrashTest, SymbolicLinkGoesNotItsTarget) {
  TestDir dir;
  const std::string target = dir.CreateFile("target.txt", "kept");
  const std::string link = dir.CreateSymlink("link", target);

  EXPECT_TRUE(TrashFile(link).trashed);

  EXPECT_FALSE(Exists(link));
  EXPECT_EQ(ReadText(target), "kept");
  EXPECT_EQ(std::filesystem::read_symlink(TrashFolder() + "/files/link").string(), target);
}

TEST_F(TrashTest, MissingFileIsAFailure) {
  TestDir dir;
  for (const std::string& path : {dir.Path("gone.txt"), std::string()}) {
    SCOPED_TRACE(path);
    const TrashResult result = TrashFile(path);
    EXPECT_FALSE(result.trashed);
    EXPECT_NE(result.error, "");
    EXPECT_EQ(result.trashedPath, "");
    EXPECT_EQ(result.infoPath, "");
    EXPECT_EQ(result.inode, 0u);
  }
  EXPECT_TRUE(Exists(dir.Root()));
}

// A file in a folder the user may not write to cannot be moved anywhere: it must stay, and no
// trace of it may be left in the trash. Root may write everywhere, so the attempt runs in a
// child process that gives up root first.
TEST_F(TrashTest, FileInReadOnlyFolderIsRefusedAndStays) {
  TestDir dir;
  const std::string path = dir.CreateFile("locked/keep.txt", "precious");
  ::chmod(dir.Path("locked").c_str(), 0555);

  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeFds[0]);
    if (::geteuid() == 0) {
      const uid_t nobody = 65534;
      for (const std::string& owned : {g_home->Root(), dir.Root()}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(owned))
          if (::lchown(entry.path().c_str(), nobody, nobody) != 0) ::_exit(2);
        if (::lchown(owned.c_str(), nobody, nobody) != 0) ::_exit(2);
      }
      if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
        ::_exit(2);
    }
    const TrashResult result = TrashFile(path);
    const std::string report = (result.trashed ? "1" : "0") + result.error;
    if (::write(pipeFds[1], report.data(), report.size()) < 0) _exit(1);
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string report;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) report.append(buffer, size_t(n));
  ::close(pipeFds[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child could not drop root";

  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report[0], '0') << "trashed from a read-only folder";
  EXPECT_NE(report.find("Permission denied"), std::string::npos) << report;
  EXPECT_EQ(ReadText(path), "precious");
  EXPECT_EQ(Names(TrashFolder() + "/files"), std::vector<std::string>{});
  EXPECT_EQ(Names(TrashFolder() + "/info"), std::vector<std::string>{});
}

TEST_F(TrashTest, ResultTellsWhereTheEntryWent) {
  enum class Kind { File, Link, DanglingLink, Folder };
  struct Case {
    const char* name;
    Kind kind;
    const char* entry;   // its name in the folder
    const char* suffix;  // appended to the path given to TrashFile
  };
  const Case cases[] = {
      {"plain file", Kind::File, "report.txt", ""},
      {"spaces and bytes that are not UTF-8", Kind::File, "a b \xfe\xff x.txt", ""},
      {"symbolic link", Kind::Link, "link", ""},
      {"dangling symbolic link", Kind::DanglingLink, "dangling", ""},
      {"link to a folder given with a slash", Kind::Link, "folder link", "/"},
      {"folder", Kind::Folder, "album", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestDir dir;
    const std::string target = dir.CreateFolder("target");
    const std::string path = dir.Path(c.entry);
    switch (c.kind) {
      case Kind::File:
        dir.CreateFile(c.entry, "contents");
        break;
      case Kind::Link:
        dir.CreateSymlink(c.entry, target);
        break;
      case Kind::DanglingLink:
        dir.CreateSymlink(c.entry, dir.Path("nowhere"));
        break;
      case Kind::Folder:
        dir.CreateFile(std::string(c.entry) + "/inside.txt", "x");
        break;
    }
    const struct stat before = Lstat(path);
    ASSERT_NE(before.st_ino, 0u);

    const TrashResult result = TrashFile(path + c.suffix);

    ASSERT_TRUE(result.trashed) << result.error;
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(result.device, std::uint64_t(before.st_dev));
    EXPECT_EQ(result.inode, std::uint64_t(before.st_ino));
    EXPECT_EQ(result.trashedPath, TrashFolder() + "/files/" + c.entry);
    EXPECT_EQ(result.infoPath, TrashFolder() + "/info/" + c.entry + ".trashinfo");
    const struct stat trashed = Lstat(result.trashedPath);
    EXPECT_EQ(trashed.st_ino, before.st_ino);
    EXPECT_EQ(trashed.st_dev, before.st_dev);
    EXPECT_EQ(trashed.st_mode & S_IFMT, before.st_mode & S_IFMT);
    EXPECT_EQ(InfoOriginal(result.infoPath), Escaped(path));
    if (c.kind == Kind::Link) {
      EXPECT_TRUE(Exists(target));
      EXPECT_NE(result.inode, std::uint64_t(Lstat(target).st_ino));
    }
  }
}

// GIO names a second entry of one name "report.2.txt", a third "report.3.txt" and so on.
TEST_F(TrashTest, SameNameTrashedInTurnGetsItsOwnEntry) {
  struct Case {
    const char* name;
    std::vector<std::string> trashNames;  // in the order trashed
  };
  const Case cases[] = {
      {"report.txt", {"report.txt", "report.2.txt", "report.3.txt"}},
      {"archive.tar.gz", {"archive.tar.gz", "archive.2.tar.gz", "archive.3.tar.gz"}},
      {"notes", {"notes", "notes.2", "notes.3"}},
      {".hidden", {".hidden", ".2.hidden", ".3.hidden"}},
      {"bad\xff name", {"bad\xff name", "bad\xff name.2", "bad\xff name.3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestDir dir;
    std::set<std::string> reported;
    for (std::size_t i = 0; i < c.trashNames.size(); ++i) {
      SCOPED_TRACE(i);
      const std::string path =
          dir.CreateFile("folder" + std::to_string(i) + "/" + c.name, "copy " + std::to_string(i));
      const struct stat before = Lstat(path);

      const TrashResult result = TrashFile(path);

      ASSERT_TRUE(result.trashed) << result.error;
      EXPECT_EQ(result.trashedPath, TrashFolder() + "/files/" + c.trashNames[i]);
      EXPECT_EQ(result.infoPath, TrashFolder() + "/info/" + c.trashNames[i] + ".trashinfo");
      EXPECT_EQ(result.inode, std::uint64_t(before.st_ino));
      EXPECT_EQ(Lstat(result.trashedPath).st_ino, before.st_ino);
      EXPECT_EQ(ReadText(result.trashedPath), "copy " + std::to_string(i));
      EXPECT_EQ(InfoOriginal(result.infoPath), Escaped(path));
      EXPECT_TRUE(reported.insert(result.trashedPath).second) << "reported twice";
    }
  }
}

// GIO takes the first name that has no .trashinfo, whatever else the trash holds.
TEST_F(TrashTest, EntryIsFoundWhateverTheTrashHeld) {
  struct Case {
    const char* name;
    std::vector<std::string> files;  // in the trash beforehand
    std::vector<std::string> infos;
    const char* expected;
  };
  const Case cases[] = {
      {"empty trash", {}, {}, "a.txt"},
      {"name taken", {"a.txt"}, {"a.txt"}, "a.2.txt"},
      {"only the info of the name left", {}, {"a.txt"}, "a.2.txt"},
      {"only the file of the name left", {"a.txt"}, {}, "a.txt"},
      {"name freed, second name taken", {"a.2.txt"}, {"a.2.txt"}, "a.txt"},
      {"two names taken", {"a.txt", "a.2.txt"}, {"a.txt", "a.2.txt"}, "a.3.txt"},
      {"other names only", {"b.txt", "a.txt.2"}, {"b.txt", "a.txt.2"}, "a.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ignored;
    std::filesystem::remove_all(TrashFolder(), ignored);
    std::filesystem::create_directories(TrashFolder() + "/files");
    std::filesystem::create_directories(TrashFolder() + "/info");
    for (const std::string& name : c.files)
      std::ofstream(TrashFolder() + "/files/" + name) << "old";
    for (const std::string& name : c.infos)
      std::ofstream(TrashFolder() + "/info/" + name + ".trashinfo")
          << "[Trash Info]\nPath=/old/" << name << "\nDeletionDate=2020-01-01T00:00:00\n";
    TestDir dir;
    const std::string path = dir.CreateFile("a.txt", "new");
    const struct stat before = Lstat(path);

    const TrashResult result = TrashFile(path);

    ASSERT_TRUE(result.trashed) << result.error;
    EXPECT_EQ(result.trashedPath, TrashFolder() + "/files/" + c.expected);
    EXPECT_EQ(result.infoPath, TrashFolder() + "/info/" + c.expected + ".trashinfo");
    EXPECT_EQ(Lstat(result.trashedPath).st_ino, before.st_ino);
    EXPECT_EQ(ReadText(result.trashedPath), "new");
    EXPECT_EQ(InfoOriginal(result.infoPath), Escaped(path));
  }
}

// Hard links of one file trashed under one name are all the same inode: each is told apart by
// the original its .trashinfo names.
TEST_F(TrashTest, HardLinksOfOneFileEachReportTheirOwnEntry) {
  TestDir dir;
  const std::string first = dir.CreateFile("one/same.txt", "shared");
  const std::string second = dir.CreateFolder("two") + "/same.txt";
  ASSERT_EQ(::link(first.c_str(), second.c_str()), 0) << std::strerror(errno);
  const struct stat before = Lstat(first);

  const TrashResult one = TrashFile(first);
  const TrashResult two = TrashFile(second);

  ASSERT_TRUE(one.trashed && two.trashed);
  EXPECT_EQ(one.trashedPath, TrashFolder() + "/files/same.txt");
  EXPECT_EQ(two.trashedPath, TrashFolder() + "/files/same.2.txt");
  EXPECT_EQ(two.infoPath, TrashFolder() + "/info/same.2.txt.trashinfo");
  EXPECT_EQ(one.inode, std::uint64_t(before.st_ino));
  EXPECT_EQ(two.inode, std::uint64_t(before.st_ino));
  EXPECT_EQ(InfoOriginal(two.infoPath), Escaped(second));
}

// The entry is found by the names the trash gives, not by listing the trash: a trash whose
// files folder cannot be listed still tells where each went.
TEST_F(TrashTest, EntryIsFoundWithoutListingTheTrash) {
  TestDir dir;
  const std::vector<std::string> paths = {dir.CreateFile("one/kept.txt", "1"),
                                          dir.CreateFile("two/kept.txt", "2"),
                                          dir.CreateFile("three/kept", "3")};
  const std::string files = TrashFolder() + "/files";
  std::filesystem::create_directories(files);
  std::filesystem::create_directories(TrashFolder() + "/info");

  const std::string report = RunUnprivileged({g_home->Root(), dir.Root()}, [&] {
    if (::chmod(files.c_str(), 0300) != 0) return std::string("chmod failed");
    DIR* listing = ::opendir(files.c_str());
    if (listing) {
      ::closedir(listing);
      return std::string("the files folder can be listed");
    }
    std::string lines;
    for (const std::string& path : paths) {
      const std::uint64_t inode = Lstat(path).st_ino;
      const TrashResult result = TrashFile(path);
      lines += std::string(result.trashed ? "trashed" : "not trashed: " + result.error) + " " +
               result.trashedPath + (result.inode == inode ? "" : " other inode") + "\n";
    }
    return lines;
  });
  ::chmod(files.c_str(), 0700);

  EXPECT_EQ(report, "trashed " + files + "/kept.txt\n" + "trashed " + files + "/kept.2.txt\n" +
                        "trashed " + files + "/kept\n");
}

TEST_F(TrashTest, DeletionIsTakenBackFromTheDesktopsTrash) {
  TestDir dir;
  const CurrentFolderGuard guard;
  ASSERT_EQ(::chdir(dir.Root().c_str()), 0);
  dir.CreateFile("a.txt", "A");
  dir.CreateFile("b c\xff.txt", "B");
  dir.CreateFile("kept.txt", "K");
  const std::string journalPath = dir.Path(".state/journal");
  {
    JournalWriter journal(journalPath, dir.Root(), "Delete");
    test::RecordingProgress progress;
    const test::FakeEntries entries{{"a.txt"}, {"b c\xff.txt"}, {"kept.txt", false}};
    EXPECT_EQ(TrashMarked(entries, progress, TrashFile, &journal).trashed, 2);
    journal.Finish();
  }
  EXPECT_EQ(Names(dir.Root()), (std::vector<std::string>{".state", "kept.txt"}));
  EXPECT_EQ(Names(TrashFolder() + "/info").size(), 2u);

  const auto batches = ReadJournal(journalPath);
  ASSERT_EQ(batches.size(), 1u);
  test::RecordingProgress progress;
  const UndoOutcome outcome = UndoBatch(batches[0], progress, TrashFile, journalPath);

  EXPECT_EQ(outcome.undone, 2);
  EXPECT_TRUE(outcome.failures.empty());
  EXPECT_EQ(Names(dir.Root()),
            (std::vector<std::string>{".state", "a.txt", "b c\xff.txt", "kept.txt"}));
  EXPECT_EQ(ReadText(dir.Path("b c\xff.txt")), "B");
  // Nothing is left in the trash that would list the files as still deleted.
  EXPECT_TRUE(Names(TrashFolder() + "/info").empty());
  EXPECT_TRUE(Names(TrashFolder() + "/files").empty());
}

}  // namespace
}  // namespace relabo

int main(int argc, char** argv) {
  relabo::test::TestDir home;
  relabo::g_home = &home;
  ::setenv("HOME", home.Root().c_str(), 1);
  ::setenv("XDG_DATA_HOME", home.Path("data").c_str(), 1);
  // Local files only, never a desktop daemon's file system layer.
  ::setenv("GIO_USE_VFS", "local", 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
