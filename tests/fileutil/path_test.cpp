#include "fileutil/path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>

#include "fileutil/error.h"
#include "tests/support/test_dir.h"

namespace relabo {
namespace {

using test::CurrentFolderGuard;
using test::CurrentFolderPath;
using test::TestDir;

constexpr PathStyle kPosix = PathStyle::Posix;
constexpr PathStyle kWindows = PathStyle::Windows;

// --- Name arithmetic ---------------------------------------------------------------------

struct NameCase {
  const char* name;
  PathStyle style;
  std::string text;
  const char* namePart;
  const char* extension;  // ExtensionPart of the text itself
  const char* baseName;
};

TEST(PathTest, NameExtensionAndBaseName) {
  const NameCase cases[] = {
      {"several dots", kWindows, "a.b.c", "a.b.c", ".c", "a.b"},
      {"leading dot only", kWindows, ".profile", ".profile", ".profile", ""},
      {"trailing dot", kWindows, "abc.", "abc.", ".", "abc"},
      {"no dot", kWindows, "abc", "abc", "", "abc"},
      {"empty", kWindows, "", "", "", ""},
      {"dot in folder", kWindows, "x.dir\\abc", "abc", "", "abc"},
      {"dot in folder, drive", kWindows, "C:\\dir.x\\file", "file", "", "file"},
      {"full path", kWindows, "C:\\dir\\file.txt", "file.txt", ".txt", "file"},
      {"two extensions", kWindows, "archive.tar.gz", "archive.tar.gz", ".gz", "archive.tar"},
      {"dot in folder, no drive", kWindows, "dir.old\\readme", "readme", "", "readme"},
      {"drive alone", kWindows, "C:", "", "", ""},
      {"folder with separator", kWindows, "dir\\", "", "", ""},
      {"drive then name", kWindows, "C:x.y", "x.y", ".y", "x"},
      {"slash is a character", kWindows, "a/b.c", "a/b.c", ".c", "a/b"},
      {"posix: several dots", kPosix, "a.b.c", "a.b.c", ".c", "a.b"},
      {"posix: leading dot only", kPosix, ".profile", ".profile", ".profile", ""},
      {"posix: trailing dot", kPosix, "abc.", "abc.", ".", "abc"},
      {"posix: dot in folder", kPosix, "dir.old/readme", "readme", "", "readme"},
      {"posix: full path", kPosix, "/home/u/file.txt", "file.txt", ".txt", "file"},
      {"posix: root", kPosix, "/", "", "", ""},
      {"posix: folder with separator", kPosix, "dir/", "", "", ""},
      {"posix: backslash is a character", kPosix, "dir.old\\readme", "dir.old\\readme",
       ".old\\readme", "dir"},
      {"posix: colon is a character", kPosix, "C:x.y", "C:x.y", ".y", "C:x"},
      {"posix: hidden file in folder", kPosix, "a.b/.c", ".c", ".c", ""},
      {"posix: multi-byte", kPosix, "d\xC3\xA9j\xC3\xA0.\xC3\xA9t\xC3\xA9",
       "d\xC3\xA9j\xC3\xA0.\xC3\xA9t\xC3\xA9", ".\xC3\xA9t\xC3\xA9", "d\xC3\xA9j\xC3\xA0"},
      {"posix: invalid UTF-8", kPosix, "x/\xFF.\xFE", "\xFF.\xFE", ".\xFE", "\xFF"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(NamePart(c.text, c.style), c.namePart);
    EXPECT_EQ(ExtensionPart(c.text, c.style), c.extension);
    EXPECT_EQ(BaseName(c.text, c.style), c.baseName);
  }
}

TEST(PathTest, BaseNameAndExtensionRebuildTheName) {
  // Every text of up to 7 characters over the characters that mean something.
  const std::string alphabet = "a./\\:";
  for (const PathStyle style : {kPosix, kWindows}) {
    std::string text;
    for (int length = 0; length <= 7; ++length) {
      std::vector<size_t> digits(length, 0);
      while (true) {
        text.clear();
        for (size_t d : digits) text += alphabet[d];
        const std::string name = NamePart(text, style);
        ASSERT_EQ(BaseName(text, style) + ExtensionPart(name, style), name)
            << "text '" << text << "' style " << static_cast<int>(style);
        size_t i = 0;
        while (i < digits.size() && ++digits[i] == alphabet.size()) digits[i++] = 0;
        if (i == digits.size()) break;
      }
    }
  }
}

struct DriveCase {
  const char* name;
  std::string text;
  const char* windows;
};

TEST(PathTest, DrivePart) {
  const DriveCase cases[] = {
      {"letter and path", "C:\\dir\\f.txt", "C:"},
      {"letter alone", "C:", "C:"},
      {"letter, relative", "C:f", "C:"},
      {"one character", "C", ""},
      {"empty", "", ""},
      {"rooted, no drive", "\\dir", ""},
      {"relative", "dir\\f", ""},
      {"network path", "\\\\srv\\share\\dir\\f.txt", "\\\\srv\\share"},
      {"network share", "\\\\srv\\share", "\\\\srv\\share"},
      {"network share, separator", "\\\\srv\\share\\", "\\\\srv\\share"},
      {"network server", "\\\\srv", "\\\\srv"},
      {"network server, separator", "\\\\srv\\", "\\\\srv"},
      {"network, one-letter names", "\\\\a\\b", "\\\\a\\b"},
      {"two backslashes", "\\\\", "\\\\"},
      {"three backslashes", "\\\\\\", "\\\\"},
  };
  for (const DriveCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DrivePart(c.text, kWindows), c.windows);
    EXPECT_EQ(DrivePart(c.text, kPosix), "");
  }
}

struct JoinCase {
  const char* name;
  PathStyle style;
  const char* folder;
  const char* result;
};

TEST(PathTest, JoinPath) {
  const JoinCase cases[] = {
      {"empty folder", kWindows, "", "x"},
      {"root", kWindows, "C:\\", "C:\\x"},
      {"folder", kWindows, "C:\\a", "C:\\a\\x"},
      {"drive alone", kWindows, "C:", "C:\\x"},
      {"slash is a character", kWindows, "a/", "a/\\x"},
      {"posix: empty folder", kPosix, "", "x"},
      {"posix: root", kPosix, "/", "/x"},
      {"posix: folder", kPosix, "/a", "/a/x"},
      {"posix: folder with separator", kPosix, "/a/", "/a/x"},
      {"posix: backslash is a character", kPosix, "a\\", "a\\/x"},
  };
  for (const JoinCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(JoinPath(c.folder, "x", c.style), c.result);
  }
}

// --- FolderExists ------------------------------------------------------------------------

TEST(PathTest, FolderExists) {
  TestDir dir;
  dir.CreateFolder("sub");
  dir.CreateFile("file");
  dir.CreateSymlink("to-sub", "sub");
  dir.CreateSymlink("dangling", "missing");
  EXPECT_TRUE(FolderExists(dir.Path("sub")));
  EXPECT_TRUE(FolderExists(dir.Path("to-sub")));
  EXPECT_FALSE(FolderExists(dir.Path("file")));
  EXPECT_FALSE(FolderExists(dir.Path("missing")));
  EXPECT_FALSE(FolderExists(dir.Path("dangling")));
  EXPECT_FALSE(FolderExists(""));
}

// --- CopyFileContents --------------------------------------------------------------------

std::string RandomBytes(size_t size) {
  std::mt19937 random(42);
  std::string bytes(size, '\0');
  for (char& b : bytes) b = static_cast<char>(random());
  return bytes;
}

// Runs f, expecting an Error with exactly this message.
template <typename F>
void ExpectError(F f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no error, expected: " << message;
  } catch (const Error& e) {
    EXPECT_EQ(e.what(), message);
  }
}

TEST(CopyFileContentsTest, CopiesTheBytes) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string oldTarget;  // empty: no target yet
  } cases[] = {
      {"empty file", "", ""},
      {"small file", "hello\n", ""},
      {"1 MiB and one byte", RandomBytes(1024 * 1024 + 1), ""},
      {"longer target replaced", "short", std::string(1000, 'x')},
      {"shorter target replaced", RandomBytes(300000), "old"},
      {"empty source empties the target", "", "old contents"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestDir dir;
    const std::string source = dir.CreateFile("source", c.bytes, -1, 0400);
    if (!c.oldTarget.empty()) dir.CreateFile("target", c.oldTarget);
    CopyFileContents(source, dir.Path("target"));
    EXPECT_EQ(dir.ReadFile("target"), c.bytes);
    EXPECT_EQ(dir.ReadFile("source"), c.bytes);
  }
}

TEST(CopyFileContentsTest, RefusesToCopyAFileOntoItself) {
  struct Case {
    const char* name;
    std::string target;  // relative to the folder
  } cases[] = {
      {"same path", "data.txt"},
      {"same file, other spelling", "./sub/../data.txt"},
      {"hard link", "hard"},
      {"symbolic link", "soft"},
  };
  const std::string bytes = "precious bytes\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestDir dir;
    dir.CreateFolder("sub");
    const std::string source = dir.CreateFile("data.txt", bytes);
    ASSERT_EQ(::link(source.c_str(), dir.Path("hard").c_str()), 0);
    dir.CreateSymlink("soft", "data.txt");
    const std::string target = dir.Path(c.target);
    ExpectError([&] { CopyFileContents(source, target); }, "Cannot create file " + target);
    EXPECT_EQ(dir.ReadFile("data.txt"), bytes);
  }
}

TEST(CopyFileContentsTest, ReportsFailures) {
  TestDir dir;
  dir.CreateFile("source", "abc");
  dir.CreateFolder("folder");
  ASSERT_EQ(::mkfifo(dir.Path("fifo").c_str(), 0644), 0);
  struct Case {
    const char* name;
    std::string source;
    std::string target;
    std::string message;
  } cases[] = {
      {"missing source", dir.Path("missing"), dir.Path("t1"),
       "Cannot open file " + dir.Path("missing")},
      {"source is a folder", dir.Path("folder"), dir.Path("t2"),
       "Cannot open file " + dir.Path("folder")},
      {"source is a FIFO, which must not block", dir.Path("fifo"), dir.Path("t3"),
       "Cannot open file " + dir.Path("fifo")},
      {"target in a missing folder", dir.Path("source"), dir.Path("nowhere/t"),
       "Cannot create file " + dir.Path("nowhere/t")},
      {"target is a folder", dir.Path("source"), dir.Path("folder"),
       "Cannot create file " + dir.Path("folder")},
      {"disk full", dir.Path("source"), "/dev/full",
       "Cannot write file /dev/full: No space left on device"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectError([&] { CopyFileContents(c.source, c.target); }, c.message);
  }
  EXPECT_FALSE(dir.Exists("t1"));
  EXPECT_FALSE(dir.Exists("t2"));
  EXPECT_FALSE(dir.Exists("t3"));
}

TEST(CopyFileContentsTest, ReadOnlyTargetIsNotCreated) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write any file";
  TestDir dir;
  const std::string source = dir.CreateFile("source", "new");
  const std::string target = dir.CreateFile("target", "old", -1, 0444);
  ExpectError([&] { CopyFileContents(source, target); }, "Cannot create file " + target);
  EXPECT_EQ(dir.ReadFile("target"), "old");
}

// --- SplitEnteredPath --------------------------------------------------------------------

class SplitEnteredPathTest : public ::testing::Test {
 protected:
  SplitEnteredPathTest() {
    m_dir.CreateFolder("Work/Sub");
    m_dir.CreateFile("Work/f.txt");
    m_dir.CreateSymlink("Work/dangling", "missing");
  }

  TestDir m_dir;
  CurrentFolderGuard m_guard;
};

TEST_F(SplitEnteredPathTest, SplitsFolderAndFile) {
  const std::string work = m_dir.Path("Work");
  struct Case {
    const char* name;
    std::string cwd;
    std::string text;
    std::string folder;
    std::string file;
  } cases[] = {
      {"pattern", "/", work + "/*.txt", work, "*.txt"},
      {"folder", "/", work + "/Sub", work + "/Sub", ""},
      {"folder, separator", "/", work + "/Sub/", work + "/Sub", ""},
      {"double separator", "/", work + "//Sub", work + "/Sub", ""},
      {"file", "/", work + "/f.txt", work, "f.txt"},
      {"root", work, "/", "/", ""},
      {"name in the root", work, "/tmp", "/tmp", ""},
      {"relative folder", m_dir.Path(), "Work/Sub", work + "/Sub", ""},
      {"relative name", work, "Sub", work + "/Sub", ""},
      {"relative file", work, "f.txt", work, "f.txt"},
      {"listed folder", work, "[Sub]", work + "/Sub", ""},
      {"listed parent", work, "[..]", work + "/..", ""},
      {"listed parent of the root", "/", "[..]", "/..", ""},
      {"missing name with a wildcard", work, "g?.txt", work, "g?.txt"},
      {"dangling link is a file", "/", work + "/dangling", work, "dangling"},
      {"empty text", work, "", work, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(::chdir(c.cwd.c_str()), 0);
    const EnteredPath split = SplitEnteredPath(c.text);
    EXPECT_EQ(split.drive, "");
    EXPECT_EQ(split.folder, c.folder);
    EXPECT_EQ(split.file, c.file);
    EXPECT_EQ(CurrentFolderPath(), c.cwd);
  }
}

// A typed file name that names nothing is looked for in its folder; a missing folder on the
// way is still an error.
TEST_F(SplitEnteredPathTest, TypedPathKeepsAMissingFileName) {
  const std::string work = m_dir.Path("Work");
  const EnteredPath missing = SplitTypedPath(work + "/missing.txt");
  EXPECT_EQ(missing.folder, work);
  EXPECT_EQ(missing.file, "missing.txt");
  const EnteredPath sub = SplitTypedPath(work + "/Sub");
  EXPECT_EQ(sub.folder, work + "/Sub");
  EXPECT_EQ(sub.file, "");
  EXPECT_THROW(SplitTypedPath(work + "/Missing/x.txt"), Error);
}

TEST_F(SplitEnteredPathTest, FailsWhenAFolderCannotBeEntered) {
  const std::string work = m_dir.Path("Work");
  struct Case {
    const char* name;
    std::string text;
    std::string message;
    int code;
  } cases[] = {
      {"missing folder", work + "/Missing/*.txt", work + "/Missing: No such file or directory",
       ENOENT},
      {"missing last name", work + "/Missing", work + "/Missing: No such file or directory",
       ENOENT},
      {"file as folder", work + "/f.txt/x", work + "/f.txt: Not a directory", ENOTDIR},
      {"relative missing name", "Missing", work + "/Missing: No such file or directory", ENOENT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(::chdir(work.c_str()), 0);
    try {
      SplitEnteredPath(c.text);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), c.message);
      EXPECT_EQ(e.Code(), c.code);
    }
    EXPECT_EQ(CurrentFolderPath(), work);
  }
}

TEST_F(SplitEnteredPathTest, HonoursFolderPermissions) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may enter any folder";
  const std::string locked = m_dir.CreateFolder("Work/Locked", 0);
  const std::string unlisted = m_dir.CreateFolder("Unlisted", 0311);  // enterable only
  ASSERT_EQ(::chdir(unlisted.c_str()), 0);
  try {
    SplitEnteredPath(locked + "/x");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Code(), EACCES);
  }
  EXPECT_EQ(SplitEnteredPath(m_dir.Path("Work/Sub")).folder, m_dir.Path("Work/Sub"));
  EXPECT_EQ(CurrentFolderPath(), unlisted);
}

TEST_F(SplitEnteredPathTest, RestoresARenamedCurrentFolder) {
  ASSERT_EQ(::chdir(m_dir.Path("Work/Sub").c_str()), 0);
  ASSERT_EQ(::rename(m_dir.Path("Work").c_str(), m_dir.Path("Moved").c_str()), 0);
  EXPECT_EQ(SplitEnteredPath("/").folder, "/");
  EXPECT_EQ(CurrentFolderPath(), m_dir.Path("Moved/Sub"));
}

}  // namespace
}  // namespace relabo
