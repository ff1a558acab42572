#include "engine/trash.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

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

  EXPECT_TRUE(TrashFile("notes.txt").trashed);

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
          (void)::lchown(entry.path().c_str(), nobody, nobody);
        (void)::lchown(owned.c_str(), nobody, nobody);
      }
      if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
        ::_exit(2);
    }
    const TrashResult result = TrashFile(path);
    const std::string report = (result.trashed ? "1" : "0") + result.error;
    (void)::write(pipeFds[1], report.data(), report.size());
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
