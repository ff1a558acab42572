// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileutil/path.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

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

TEST(PathTest, LogicalPath) {
  struct Case {
    const char* name;
    std::string path;
    std::string base;
    std::string result;
  } cases[] = {
      {"absolute", "/a/b", "/x", "/a/b"},
      {"root", "/", "/x", "/"},
      {"trailing separator", "/a/b/", "/", "/a/b"},
      {"double separators", "//a///b//", "/", "/a/b"},
      {"dot parts", "/./a/./b/.", "/", "/a/b"},
      {"dot dot takes back one part", "/a/b/../c", "/", "/a/c"},
      {"dot dot at the end", "/a/b/..", "/", "/a"},
      {"dot dot to the root", "/a/..", "/", "/"},
      {"never above the root", "/../../a", "/", "/a"},
      {"relative", "c", "/a/b", "/a/b/c"},
      {"relative dot dot", "..", "/a/b", "/a"},
      {"relative up twice and down", "../../x/y", "/a/b/c", "/a/x/y"},
      {"relative past the root", "../../..", "/a", "/"},
      {"empty path is the base", "", "/a/b", "/a/b"},
      {"dot is the base", ".", "/a/b/", "/a/b"},
      {"base walked too", "c", "/a//./b/..", "/a/c"},
      {"relative base from the root", "c", "a/b", "/a/b/c"},
      {"empty base", "c", "", "/c"},
      {"three dots are a name", "/a/.../b", "/", "/a/.../b"},
      {"dot names are names", "/a/.hidden/..x", "/", "/a/.hidden/..x"},
      {"a tilde is a name here", "~/x", "/h", "/h/~/x"},
      {"bytes that are not UTF-8", "/\xFF/../\xFE", "/", "/\xFE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LogicalPath(c.path, c.base), c.result);
  }
  EXPECT_EQ(LogicalPath("a/b"), "/a/b");
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

// The two ways to copy: replacing what stands at the target, or setting it aside first.
enum class CopyMode { Replace, SetAside };
constexpr CopyMode kCopyModes[] = {CopyMode::Replace, CopyMode::SetAside};

const char* ModeName(CopyMode mode) { return mode == CopyMode::Replace ? "replace" : "set aside"; }

// A trash for tests: moves what it is given into a folder of the test, unless told otherwise.
class FakeTrash {
 public:
  explicit FakeTrash(std::string folder) : m_folder(std::move(folder)) {}

  SetAsideFunction Function() {
    return [this](const std::string& path) -> std::string {
      calls.push_back(path);
      if (!refusal.empty()) return refusal;
      if (pretend) return {};
      if (::rename(path.c_str(), JoinPath(m_folder, NamePart(path)).c_str()) != 0) {
        return std::strerror(errno);
      }
      if (after) after(path);
      return {};
    };
  }

  std::vector<std::string> calls;
  std::string refusal;                            // when not empty, every call fails with it
  bool pretend = false;                           // reports success and leaves the file where it is
  std::function<void(const std::string&)> after;  // runs once a file was moved

 private:
  std::string m_folder;
};

void Copy(CopyMode mode, const std::string& source, const std::string& target, FakeTrash& trash) {
  if (mode == CopyMode::Replace) {
    CopyFileContents(source, target);
  } else {
    CopyFileContents(source, target, trash.Function());
  }
}

// What lstat finds at a path, as a word a failure message shows well.
std::string EntryType(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return "nothing";
  if (S_ISREG(st.st_mode)) return "file";
  if (S_ISLNK(st.st_mode)) return "link";
  if (S_ISDIR(st.st_mode)) return "folder";
  if (S_ISFIFO(st.st_mode)) return "fifo";
  if (S_ISSOCK(st.st_mode)) return "socket";
  return "other";
}

// The bytes of a file, or "(missing)", so that one failing row does not end the table.
std::string ContentsOf(const TestDir& dir, const std::string& rel) {
  return EntryType(dir.Path(rel)) == "file" ? dir.ReadFile(rel) : "(missing)";
}

std::string LinkText(const std::string& path) {
  std::error_code error;
  return std::filesystem::read_symlink(path, error).string();
}

// The names in a folder: a temporary file left behind shows here.
std::set<std::string> NamesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// Interrupts a copy that blocks (an open of a FIFO waits for a reader for ever): the alarm's
// handler is installed without SA_RESTART, so the blocked call returns, and Fired() says so.
class BlockingAlarm {
 public:
  BlockingAlarm() {
    s_fired = 0;
    struct sigaction action {};
    action.sa_handler = [](int) { s_fired = 1; };
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGALRM, &action, &m_previous);
    ::alarm(3);
  }
  BlockingAlarm(const BlockingAlarm&) = delete;
  BlockingAlarm& operator=(const BlockingAlarm&) = delete;
  ~BlockingAlarm() {
    ::alarm(0);
    ::sigaction(SIGALRM, &m_previous, nullptr);
  }
  bool Fired() const { return s_fired != 0; }

 private:
  static inline volatile sig_atomic_t s_fired = 0;
  struct sigaction m_previous {};
};

void MakeSocket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
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
    for (const bool setAside : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (setAside ? ", set aside" : ""));
      TestDir dir;
      dir.CreateFolder("sub");
      const std::string source = dir.CreateFile("data.txt", bytes);
      ASSERT_EQ(::link(source.c_str(), dir.Path("hard").c_str()), 0);
      dir.CreateSymlink("soft", "data.txt");
      const std::string target = dir.Path(c.target);
      std::vector<std::string> calls;
      const auto record = [&](const std::string& path) {
        calls.push_back(path);
        return std::string("not here");
      };
      ExpectError(
          [&] {
            setAside ? CopyFileContents(source, target, record) : CopyFileContents(source, target);
          },
          "Cannot create file " + target);
      EXPECT_EQ(dir.ReadFile("data.txt"), bytes);
      EXPECT_TRUE(calls.empty());
      EXPECT_EQ(NamesIn(dir.Root()), (std::set<std::string>{"data.txt", "hard", "soft", "sub"}));
    }
  }
}

TEST(CopyFileContentsTest, ReportsFailures) {
  TestDir dir;
  dir.CreateFile("source", "abc");
  dir.CreateFolder("folder");
  ASSERT_EQ(::mkfifo(dir.Path("fifo").c_str(), 0644), 0);
  // A device of the test's own where one can be made: a faulty copy may then replace only that.
  const std::string device = ::mknod(dir.Path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0
                                 ? dir.Path("null")
                                 : "/dev/full";
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
      {"device at the target", dir.Path("source"), device, "Cannot create file " + device},
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
  // Nor is it set aside to make room.
  bool asked = false;
  ExpectError(
      [&] {
        CopyFileContents(source, target, [&](const std::string&) {
          asked = true;
          return std::string();
        });
      },
      "Cannot create file " + target);
  EXPECT_FALSE(asked);
  EXPECT_EQ(dir.ReadFile("target"), "old");
  EXPECT_EQ(NamesIn(dir.Root()), (std::set<std::string>{"source", "target"}));
}

// --- CopyFileContents: the safe replace --------------------------------------------------

// A folder, FIFO or socket has no contents to replace: the copy is refused at once, in both
// modes, without blocking, without asking to set it aside, and without leaving anything.
TEST(CopyFileContentsTest, TargetThatIsNoFileIsRefusedAtOnce) {
  struct Case {
    const char* name;
    std::function<void(TestDir&, const std::string& target)> make;
    const char* type;
  } cases[] = {
      {"FIFO", [](TestDir&, const std::string& t) { ASSERT_EQ(::mkfifo(t.c_str(), 0644), 0); },
       "fifo"},
      {"socket", [](TestDir&, const std::string& t) { MakeSocket(t); }, "socket"},
      {"empty folder", [](TestDir& d, const std::string&) { d.CreateFolder("t"); }, "folder"},
      {"folder with a file", [](TestDir& d, const std::string&) { d.CreateFile("t/inner", "x"); },
       "folder"},
  };
  for (const Case& c : cases) {
    for (const CopyMode mode : kCopyModes) {
      SCOPED_TRACE(std::string(c.name) + ", " + ModeName(mode));
      TestDir dir;
      const std::string source = dir.CreateFile("source", "new");
      const std::string target = dir.Path("t");
      c.make(dir, target);
      FakeTrash trash(dir.CreateFolder("aside"));
      {
        const BlockingAlarm alarm;
        ExpectError([&] { Copy(mode, source, target, trash); }, "Cannot create file " + target);
        EXPECT_FALSE(alarm.Fired()) << "the copy blocked";
      }
      EXPECT_EQ(EntryType(target), c.type);
      EXPECT_TRUE(trash.calls.empty());
      EXPECT_EQ(NamesIn(dir.Root()), (std::set<std::string>{"aside", "source", "t"}));
    }
  }
}

// Whatever replaceable stands at the target (a file, a link to anything) is replaced by a new
// regular file; a link is replaced itself and what it points to outside the folder stays as
// it was. With a setAside, the old entry is handed to it first and kept where it put it.
TEST(CopyFileContentsTest, ReplacesFilesAndLinksAtTheTarget) {
  struct Case {
    const char* name;
    const char* target;  // relative to work/
    std::function<void(TestDir&)> make;
    const char* before;    // what stood at the target
    const char* oldBytes;  // what it held, when it was a file
  } cases[] = {
      {"no target", "a001.txt", [](TestDir&) {}, "nothing", ""},
      {"unrelated file with the copy's name", "a001.txt",
       [](TestDir& d) { d.CreateFile("work/a001.txt", "other data"); }, "file", "other data"},
      {"file in a subfolder", "sub/a001.txt",
       [](TestDir& d) { d.CreateFile("work/sub/a001.txt", "other data"); }, "file", "other data"},
      {"second name of a file outside", "a001.txt",
       [](TestDir& d) {
         ASSERT_EQ(::link(d.Path("outside/secret.txt").c_str(), d.Path("work/a001.txt").c_str()),
                   0);
       },
       "file", "secret"},
      {"link to a file outside", "a001.txt",
       [](TestDir& d) { d.CreateSymlink("work/a001.txt", "../outside/secret.txt"); }, "link", ""},
      {"link to a FIFO", "a001.txt",
       [](TestDir& d) { d.CreateSymlink("work/a001.txt", "../outside/fifo"); }, "link", ""},
      {"link to a folder", "a001.txt",
       [](TestDir& d) { d.CreateSymlink("work/a001.txt", "../outside/folder"); }, "link", ""},
      {"dangling link", "a001.txt", [](TestDir& d) { d.CreateSymlink("work/a001.txt", "gone"); },
       "link", ""},
  };
  const std::string bytes = "source bytes\n";
  for (const Case& c : cases) {
    for (const CopyMode mode : kCopyModes) {
      SCOPED_TRACE(std::string(c.name) + ", " + ModeName(mode));
      TestDir dir;
      dir.CreateFile("outside/secret.txt", "secret");
      ASSERT_EQ(::mkfifo(dir.Path("outside/fifo").c_str(), 0644), 0);
      dir.CreateFile("outside/folder/inner", "inner");
      const std::string source = dir.CreateFile("work/source", bytes);
      dir.CreateFolder("work/sub");
      c.make(dir);
      const std::string target = dir.Path("work/" + std::string(c.target));
      const std::string linkText = LinkText(target);
      FakeTrash trash(dir.CreateFolder("aside"));
      try {
        const BlockingAlarm alarm;
        Copy(mode, source, target, trash);
        EXPECT_FALSE(alarm.Fired()) << "the copy blocked";
      } catch (const Error& e) {
        ADD_FAILURE() << e.what();
      }
      EXPECT_EQ(EntryType(target), "file");
      EXPECT_EQ(ContentsOf(dir, "work/" + std::string(c.target)), bytes);
      EXPECT_EQ(ContentsOf(dir, "outside/secret.txt"), "secret");
      EXPECT_EQ(EntryType(dir.Path("outside/fifo")), "fifo");
      EXPECT_EQ(ContentsOf(dir, "outside/folder/inner"), "inner");
      const bool inSub = std::string(c.target).starts_with("sub/");
      EXPECT_EQ(NamesIn(dir.Path("work")),
                (inSub ? std::set<std::string>{"source", "sub"}
                       : std::set<std::string>{"a001.txt", "source", "sub"}));
      EXPECT_EQ(NamesIn(dir.Path("work/sub")),
                inSub ? std::set<std::string>{"a001.txt"} : std::set<std::string>{});
      const bool setAside = mode == CopyMode::SetAside && std::string(c.before) != "nothing";
      EXPECT_EQ(trash.calls,
                setAside ? std::vector<std::string>{target} : std::vector<std::string>{});
      const std::string aside = dir.Path("aside/a001.txt");
      EXPECT_EQ(EntryType(aside), setAside ? c.before : "nothing");
      if (setAside && std::string(c.before) == "file") {
        EXPECT_EQ(ContentsOf(dir, "aside/a001.txt"), c.oldBytes);
      }
      if (setAside) {
        EXPECT_EQ(LinkText(aside), linkText);
      }
    }
  }
}

// A file that cannot be set aside stays at the target, the copy fails, and its temporary file
// goes; so does a copy whose name was taken again once the old file was set aside.
TEST(CopyFileContentsTest, FileThatCannotBeSetAsideStays) {
  struct Case {
    const char* name;
    std::function<void(FakeTrash&)> configure;
    bool noFunction;    // passes an empty SetAsideFunction
    const char* left;   // what the target holds afterwards
    const char* aside;  // what the trash holds, or null
  } cases[] = {
      {"set aside refused", [](FakeTrash& t) { t.refusal = "no trash on this volume"; }, false,
       "other data", nullptr},
      {"nothing to set it aside with", [](FakeTrash&) {}, true, "other data", nullptr},
      {"reported as set aside but still there", [](FakeTrash& t) { t.pretend = true; }, false,
       "other data", nullptr},
      {"a new file in its place once set aside",
       [](FakeTrash& t) {
         t.after = [](const std::string& path) {
           const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
           ASSERT_GE(fd, 0);
           ASSERT_EQ(::write(fd, "theirs", 6), 6);
           ::close(fd);
         };
       },
       false, "theirs", "other data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestDir dir;
    const std::string source = dir.CreateFile("work/source", "new");
    const std::string target = dir.CreateFile("work/a001.txt", "other data");
    FakeTrash trash(dir.CreateFolder("aside"));
    c.configure(trash);
    const SetAsideFunction setAside = c.noFunction ? SetAsideFunction() : trash.Function();
    ExpectError([&] { CopyFileContents(source, target, setAside); },
                "Cannot create file " + target);
    EXPECT_EQ(ContentsOf(dir, "work/a001.txt"), c.left);
    EXPECT_EQ(ContentsOf(dir, "work/source"), "new");
    EXPECT_EQ(NamesIn(dir.Path("work")), (std::set<std::string>{"a001.txt", "source"}));
    if (c.aside) {
      EXPECT_EQ(ContentsOf(dir, "aside/a001.txt"), c.aside);
    } else {
      EXPECT_TRUE(NamesIn(dir.Path("aside")).empty());
    }
  }
}

// A write that fails part-way (a file size limit, as a full disk would) leaves no partial copy
// and no temporary file; a file that stood at the target is still there as it was.
TEST(CopyFileContentsTest, FailedCopyLeavesNoPartialFile) {
  struct Case {
    const char* name;
    const char* oldTarget;  // null: no target
  } cases[] = {
      {"no target", nullptr},
      {"existing target", "old data"},
  };
  for (const Case& c : cases) {
    for (const CopyMode mode : kCopyModes) {
      SCOPED_TRACE(std::string(c.name) + ", " + ModeName(mode));
      TestDir dir;
      const std::string bytes = RandomBytes(3 << 20);
      const std::string source = dir.CreateFile("work/source", bytes);
      if (c.oldTarget) dir.CreateFile("work/target", c.oldTarget);
      const std::string target = dir.Path("work/target");
      std::fflush(nullptr);
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1 << 20, 1 << 20};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(10);
        FakeTrash trash(dir.Path("aside"));
        try {
          Copy(mode, source, target, trash);
          ::_exit(11);
        } catch (const Error& e) {
          if (e.what() != "Cannot write file " + target + ": " + std::strerror(EFBIG)) {
            std::fprintf(stderr, "child: %s\n", e.what());
            ::_exit(12);
          }
        }
        ::_exit(trash.calls.empty() ? 0 : 13);
      }
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
      EXPECT_EQ(WEXITSTATUS(status), 0);
      EXPECT_EQ(ContentsOf(dir, "work/source"), bytes);
      if (c.oldTarget) {
        EXPECT_EQ(ContentsOf(dir, "work/target"), c.oldTarget);
        EXPECT_EQ(NamesIn(dir.Path("work")), (std::set<std::string>{"source", "target"}));
      } else {
        EXPECT_EQ(NamesIn(dir.Path("work")), std::set<std::string>{"source"});
      }
    }
  }
}

// Holes are not written out: a file with a large hole takes as little room copied as it
// does itself, wherever the hole is.
TEST(CopyFileContentsTest, HolesStayHoles) {
  constexpr off_t kHole = 64 << 20;
  struct Case {
    const char* name;
    const char* head;  // data before the hole
    const char* tail;  // data after it
  } cases[] = {
      {"hole in the middle", "head", "tail"},
      {"hole at the start", "", "tail"},
      {"hole at the end", "head", ""},
      {"only a hole", "", ""},
  };
  for (const Case& c : cases) {
    for (const CopyMode mode : kCopyModes) {
      SCOPED_TRACE(std::string(c.name) + ", " + ModeName(mode));
      TestDir dir;
      const std::string source = dir.CreateFile("source", c.head);
      {
        const int fd = ::open(source.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        const std::string tail = c.tail;
        const off_t size = off_t(std::strlen(c.head)) + kHole;
        ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), size), ssize_t(tail.size()));
        ASSERT_EQ(::ftruncate(fd, size + off_t(tail.size())), 0);
        ::close(fd);
      }
      struct stat in;
      ASSERT_EQ(::stat(source.c_str(), &in), 0);
      if (in.st_blocks * 512 >= kHole / 4) GTEST_SKIP() << "this file system keeps no holes";
      FakeTrash trash(dir.CreateFolder("aside"));
      Copy(mode, source, dir.Path("target"), trash);
      struct stat out;
      ASSERT_EQ(::stat(dir.Path("target").c_str(), &out), 0);
      EXPECT_EQ(out.st_size, in.st_size);
      EXPECT_LT(out.st_blocks * 512, kHole / 4) << "blocks " << out.st_blocks;
      EXPECT_TRUE(ContentsOf(dir, "target") == ContentsOf(dir, "source")) << "the contents differ";
    }
  }
}

// The copy is a new file: it gets the mode a created file gets, not the mode of the file it
// replaces.
TEST(CopyFileContentsTest, CopyHasTheModeOfANewFile) {
  struct Case {
    mode_t umask;
    mode_t mode;
  } cases[] = {{022, 0644}, {077, 0600}, {0, 0666}, {027, 0640}};
  const mode_t saved = ::umask(022);
  for (const Case& c : cases) {
    for (const CopyMode mode : kCopyModes) {
      SCOPED_TRACE(std::to_string(c.umask) + ", " + ModeName(mode));
      TestDir dir;
      const std::string source = dir.CreateFile("source", "x", -1, 0400);
      dir.CreateFile("old", "old", -1, 0600);
      FakeTrash trash(dir.CreateFolder("aside"));
      ::umask(c.umask);
      Copy(mode, source, dir.Path("new"), trash);
      Copy(mode, source, dir.Path("old"), trash);
      ::umask(022);
      for (const char* name : {"new", "old"}) {
        struct stat st;
        ASSERT_EQ(::stat(dir.Path(name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode) << name;
      }
    }
  }
  ::umask(saved);
}

// --- SplitEnteredPath --------------------------------------------------------------------

class SplitEnteredPathTest : public ::testing::Test {
 protected:
  SplitEnteredPathTest() {
    m_dir.CreateFolder("Work/Sub");
    m_dir.CreateFile("Work/f.txt");
    m_dir.CreateSymlink("Work/dangling", "missing");
    // A link to a folder elsewhere: going up from it returns to Work, not to Other.
    m_dir.CreateFile("Other/Deep/x.txt");
    m_dir.CreateSymlink("Work/Far", m_dir.Path("Other/Deep"));
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
      {"listed parent", work, "[..]", m_dir.Path(), ""},
      {"listed parent of the root", "/", "[..]", "/", ""},
      {"parent", work, "..", m_dir.Path(), ""},
      {"dot", work, ".", work, ""},
      {"dot parts", "/", work + "/./Sub/.", work + "/Sub", ""},
      {"dot dot inside", "/", work + "/Sub/../f.txt", work, "f.txt"},
      {"never above the root", work, "/../..", "/", ""},
      {"through a link", "/", work + "/Far", work + "/Far", ""},
      {"file through a link", "/", work + "/Far/x.txt", work + "/Far", "x.txt"},
      {"up from a link", "/", work + "/Far/..", work, ""},
      {"up from a link, then a file", "/", work + "/Far/../f.txt", work, "f.txt"},
      {"pattern up from a link", "/", work + "/Far/../*.txt", work, "*.txt"},
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

// A relative path taken from a folder reached through a link keeps the link; the current
// folder is neither used nor changed.
TEST_F(SplitEnteredPathTest, RelativePathFromABase) {
  const std::string work = m_dir.Path("Work");
  const std::string far = work + "/Far";
  struct Case {
    const char* name;
    std::string text;
    std::string base;
    std::string folder;
    std::string file;
  } cases[] = {
      {"name", "Sub", work, work + "/Sub", ""},
      {"file", "f.txt", work, work, "f.txt"},
      {"empty text is the base", "", far, far, ""},
      {"file in the link's target", "x.txt", far, far, "x.txt"},
      {"parent of a link", "..", far, work, ""},
      {"listed parent of a link", "[..]", far, work, ""},
      {"up and down", "../Sub", far, work + "/Sub", ""},
      {"up and a file", "../f.txt", far, work, "f.txt"},
      {"absolute text ignores the base", work + "/Sub", far, work + "/Sub", ""},
  };
  ASSERT_EQ(::chdir("/"), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const EnteredPath split = SplitEnteredPath(c.text, c.base);
    EXPECT_EQ(split.folder, c.folder);
    EXPECT_EQ(split.file, c.file);
    const EnteredPath typed = SplitTypedPath(c.text, c.base);
    EXPECT_EQ(typed.folder, c.folder);
    EXPECT_EQ(typed.file, c.file);
    EXPECT_EQ(CurrentFolderPath(), "/");
  }
  const EnteredPath missing = SplitTypedPath("../missing.txt", far);
  EXPECT_EQ(missing.folder, work);
  EXPECT_EQ(missing.file, "missing.txt");
  try {
    SplitEnteredPath("Missing", far);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.what(), far + "/Missing: No such file or directory");
  }
}

// Sets HOME for one test and puts it back.
class HomeGuard {
 public:
  explicit HomeGuard(const char* home) {
    const char* old = std::getenv("HOME");
    m_had = old != nullptr;
    if (old) m_old = old;
    if (home) {
      ::setenv("HOME", home, 1);
    } else {
      ::unsetenv("HOME");
    }
  }
  ~HomeGuard() {
    if (m_had) {
      ::setenv("HOME", m_old.c_str(), 1);
    } else {
      ::unsetenv("HOME");
    }
  }

 private:
  bool m_had = false;
  std::string m_old;
};

TEST_F(SplitEnteredPathTest, TildeIsTheHomeFolder) {
  const std::string work = m_dir.Path("Work");
  const std::string home = m_dir.CreateFolder("Home");
  m_dir.CreateFile("Home/notes.txt");
  m_dir.CreateFolder("Home/Docs");
  m_dir.CreateFolder("Work/~");
  m_dir.CreateFolder("Work/~x");
  const HomeGuard guard(home.c_str());
  EXPECT_EQ(HomeFolder(), home);
  struct Case {
    const char* name;
    std::string text;
    std::string folder;
    std::string file;
  } cases[] = {
      {"tilde", "~", home, ""},
      {"tilde and separator", "~/", home, ""},
      {"folder", "~/Docs", home + "/Docs", ""},
      {"file", "~/notes.txt", home, "notes.txt"},
      {"pattern", "~/*.txt", home, "*.txt"},
      {"walked up", "~/Docs/..", home, ""},
      {"listed folder named tilde", "[~]", work + "/~", ""},
      {"tilde inside a path is a name", work + "/~", work + "/~", ""},
      {"tilde before a name is a name", "~x", work + "/~x", ""},
      {"relative tilde folder", "./~", work + "/~", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(::chdir(work.c_str()), 0);
    const EnteredPath split = SplitEnteredPath(c.text);
    EXPECT_EQ(split.folder, c.folder);
    EXPECT_EQ(split.file, c.file);
    EXPECT_EQ(SplitEnteredPath(c.text, work).folder, c.folder);
    EXPECT_EQ(CurrentFolderPath(), work);
  }
  const EnteredPath missing = SplitTypedPath("~/missing.txt");
  EXPECT_EQ(missing.folder, home);
  EXPECT_EQ(missing.file, "missing.txt");

  // A home folder that is gone is an error, not a name to look for.
  const HomeGuard gone(m_dir.Path("Gone").c_str());
  try {
    SplitTypedPath("~");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Code(), ENOENT);
  }
}

TEST_F(SplitEnteredPathTest, HomeFolderFromThePasswdEntry) {
  const passwd* entry = ::getpwuid(::getuid());
  const std::string expected = entry && entry->pw_dir ? entry->pw_dir : "";
  for (const char* home : {static_cast<const char*>(nullptr), "", "relative/home"}) {
    SCOPED_TRACE(home ? std::string("HOME=") + home : "no HOME");
    const HomeGuard guard(home);
    EXPECT_EQ(HomeFolder(), expected);
    if (expected.empty() || !FolderExists(expected)) continue;
    EXPECT_EQ(SplitEnteredPath("~").folder, LogicalPath(expected));
  }
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
