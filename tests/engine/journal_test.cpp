// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_dir.h"

namespace relabo {
namespace {

using test::TestDir;

// Sets an environment variable (or removes it, for nullopt) and puts it back when it goes.
class EnvGuard {
 public:
  EnvGuard(const char* name, std::optional<std::string> value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    Set(value);
  }
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;
  ~EnvGuard() { Set(m_old); }

 private:
  void Set(const std::optional<std::string>& value) {
    if (value)
      ::setenv(m_name, value->c_str(), 1);
    else
      ::unsetenv(m_name);
  }
  const char* m_name;
  std::optional<std::string> m_old;
};

JournalOperation Rename(std::string from, std::string to, std::uint64_t dev = 1,
                        std::uint64_t ino = 2) {
  JournalOperation op;
  op.kind = JournalOperationKind::Rename;
  op.oldName = std::move(from);
  op.newName = std::move(to);
  op.device = dev;
  op.inode = ino;
  return op;
}

JournalOperation Copy(std::string from, std::string to, std::uint64_t size, std::int64_t mtime) {
  JournalOperation op;
  op.kind = JournalOperationKind::Copy;
  op.oldName = std::move(from);
  op.newName = std::move(to);
  op.device = 0xfd01;
  op.inode = std::uint64_t(-1);
  op.size = size;
  op.mtimeNs = mtime;
  return op;
}

JournalOperation Delete(std::string name, std::string trashed, std::string info,
                        std::uint64_t inode = 0) {
  JournalOperation op;
  op.kind = JournalOperationKind::Delete;
  op.oldName = std::move(name);
  op.trashedPath = std::move(trashed);
  op.trashInfoPath = std::move(info);
  op.device = inode ? 0xfd01 : 0;
  op.inode = inode;
  return op;
}

JournalOperation Restore(std::string name, std::string trashed, std::uint64_t inode) {
  JournalOperation op;
  op.kind = JournalOperationKind::Restore;
  op.oldName = std::move(name);
  op.trashedPath = std::move(trashed);
  op.device = 7;
  op.inode = inode;
  return op;
}

std::string AllBytes() {
  std::string s;
  for (int b = 1; b <= 255; ++b) s += char(b);
  return s;
}

std::vector<std::string> Lines(const std::string& content) {
  std::vector<std::string> lines;
  size_t start = 0, newline;
  while ((newline = content.find('\n', start)) != std::string::npos) {
    lines.push_back(content.substr(start, newline - start));
    start = newline + 1;
  }
  return lines;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::resize_file(path, 0);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  ::close(fd);
}

std::uintmax_t FileSize(const std::string& path) { return std::filesystem::file_size(path); }

class JournalTest : public testing::Test {
 protected:
  JournalTest() : m_env("XDG_STATE_HOME", m_dir.Path("state")), m_path(DefaultJournalPath()) {}

  std::string Content() const { return m_dir.ReadFile("state/relabo/journal"); }

  TestDir m_dir;
  EnvGuard m_env;
  std::string m_path;
};

TEST(DefaultJournalPathTest, FollowsStateHome) {
  struct Case {
    const char* name;
    std::optional<std::string> stateHome;
    const char* expected;
  };
  const Case cases[] = {
      {"absolute", "/var/st", "/var/st/relabo/journal"},
      {"relative is ignored", "rel/st", "/home/u/.local/state/relabo/journal"},
      {"empty is ignored", "", "/home/u/.local/state/relabo/journal"},
      {"unset", std::nullopt, "/home/u/.local/state/relabo/journal"},
  };
  EnvGuard home("HOME", "/home/u");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EnvGuard state("XDG_STATE_HOME", c.stateHome);
    EXPECT_EQ(DefaultJournalPath(), c.expected);
  }
}

TEST_F(JournalTest, MissingJournalIsEmpty) { EXPECT_TRUE(ReadJournal(m_path).empty()); }

TEST_F(JournalTest, RoundTripsEveryRecordKindAndByte) {
  const std::string names[] = {
      AllBytes(),
      " ",
      "  lead and trail ",
      "\\",
      "\\x41",
      "\\\\x",
      "\n",
      "a\nb\r\n",
      "-",
      "--",
      "\xff\xfe invalid \xc3",
      "\xe2\x82\xac uni",
      "plain.txt",
      "",
  };
  std::vector<JournalOperation> ops;
  for (const std::string& name : names) {
    ops.push_back(Rename(name, name + "-new", 64769, 1234567));
    ops.back().birthNs = 1796709989305681772;
    ops.push_back(Copy(name, "copy " + name, 0, -1234567890123));
    ops.push_back(
        Delete(name, "/trash/files/" + name, "/trash/info/" + name + ".trashinfo", 99));
    ops.push_back(Restore(name, "/trash/files/" + name + ".2", std::uint64_t(-1)));
  }
  ops.push_back(Delete("gone", "", ""));
  ops.push_back(Copy("big", "big2", std::uint64_t(-1), INT64_MAX));

  const std::string folder = "/data/" + AllBytes();
  const std::string title = "Rename Files \\ " + AllBytes();
  std::string firstId;
  {
    JournalWriter writer(m_path, folder, title);
    for (const auto& op : ops) writer.Add(op);
    writer.Finish();
    EXPECT_FALSE(writer.Failed()) << writer.LastError();
    firstId = writer.Id();
  }
  std::string secondId;
  {
    JournalWriter writer(m_path, "", "", {}, firstId);
    writer.Finish();
    secondId = writer.Id();
  }
  EXPECT_NE(firstId, secondId);
  EXPECT_EQ(MarkUndone(m_path, firstId), "");

  const auto batches = ReadJournal(m_path);
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_EQ(batches[0].id, firstId);
  EXPECT_EQ(batches[0].folder, folder);
  EXPECT_EQ(batches[0].title, title);
  EXPECT_EQ(batches[0].undoes, "");
  EXPECT_GT(batches[0].timeNs, 0);
  EXPECT_EQ(batches[0].operations, ops);
  EXPECT_TRUE(batches[0].undone);
  EXPECT_TRUE(batches[0].complete);
  EXPECT_EQ(batches[1].id, secondId);
  EXPECT_EQ(batches[1].folder, "");
  EXPECT_EQ(batches[1].title, "");
  EXPECT_EQ(batches[1].undoes, firstId);
  EXPECT_TRUE(batches[1].operations.empty());
  EXPECT_FALSE(batches[1].undone);
  EXPECT_TRUE(batches[1].complete);

  // One line a record, readable: nothing but printable ASCII and single spaces between fields.
  const std::string content = Content();
  const auto lines = Lines(content);
  EXPECT_EQ(lines.size(), 1 + ops.size() + 1 + 2 + 1);
  for (const auto& line : lines) {
    SCOPED_TRACE(line);
    for (char c : line) ASSERT_TRUE(c >= 0x20 && c < 0x7f);
    EXPECT_EQ(line.find("  "), std::string::npos);
    EXPECT_NE(line.back(), ' ');
  }

  struct stat st;
  ASSERT_EQ(::stat(m_dir.Path("state/relabo").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(JournalTest, RenameOfAKnownFileReadsBackAsAnyRename) {
  const std::string names[] = {AllBytes(), "-", "", "plain.txt", "a b\\c"};
  std::vector<JournalOperation> expected;
  {
    JournalWriter writer(m_path, "/data", "Rename Files");
    for (const std::string& name : names) {
      writer.AddRename(name, name + ".new", 64769, 42);
      expected.push_back(Rename(name, name + ".new", 64769, 42));
    }
    writer.Finish();
  }
  const auto batches = ReadJournal(m_path);
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].operations, expected);
}

TEST_F(JournalTest, TornLastRecordIsIgnoredAtEveryByte) {
  {
    JournalWriter writer(m_path, "/f", "First");
    writer.Add(Rename("a", "b"));
    writer.Finish();
  }
  {
    JournalWriter writer(m_path, "/f", "Second");
    writer.Add(Copy("a", "a copy", 5, 6));
    // The last record holds escapes, so cuts fall inside \xHH too.
    writer.Add(Rename("x\\ y\n" + AllBytes(), "z", 7, 8));
  }
  const std::string content = Content();
  auto expected = ReadJournal(m_path);
  ASSERT_EQ(expected.size(), 2u);
  ASSERT_EQ(expected[1].operations.size(), 2u);
  expected[1].operations.pop_back();

  const size_t lastStart = content.rfind('\n', content.size() - 2) + 1;
  for (size_t cut = lastStart; cut < content.size(); ++cut) {
    SCOPED_TRACE(cut);
    WriteFile(m_path, content.substr(0, cut));
    ASSERT_EQ(ReadJournal(m_path), expected);
  }

  // A batch written after the crash starts on a line of its own, and the torn record stays
  // unread wherever it was cut (also right after a whole field).
  for (size_t cut = lastStart; cut < content.size() - 1; ++cut) {
    SCOPED_TRACE(cut);
    WriteFile(m_path, content.substr(0, cut));
    {
      JournalWriter writer(m_path, "/g", "Third");
      writer.Add(Rename("c", "d"));
      writer.Finish();
    }
    const auto after = ReadJournal(m_path);
    ASSERT_EQ(after.size(), 3u);
    ASSERT_EQ(std::vector(after.begin(), after.begin() + 2), expected);
    EXPECT_EQ(after[2].title, "Third");
    EXPECT_EQ(after[2].operations, std::vector{Rename("c", "d")});
    EXPECT_TRUE(after[2].complete);
  }
}

TEST_F(JournalTest, DamagedLinesAreSkipped) {
  struct Case {
    const char* name;
    const char* line;
  };
  const Case cases[] = {
      {"field missing", "rename 1-2 a b 1 2"},
      {"field too many", "rename 1-2 a b 1 2 3 4"},
      {"empty field", "rename 1-2 a  b 1 2"},
      {"short escape", "rename 1-2 a\\x4 b 1 2"},
      {"escape at end", "rename 1-2 a\\ b 1 2"},
      {"bad hex", "rename 1-2 a\\xzz b 1 2"},
      {"raw tab", "rename 1-2 a\tb c 1 2"},
      {"raw high byte", "rename 1-2 a\xc3\xa9 c 1 2"},
      {"number with letters", "copy 1-2 a b 1 2 3x 4"},
      {"negative size", "copy 1-2 a b 1 2 -3 4"},
      {"bad id", "rename 1_2 a b 1 2"},
      {"unknown batch", "rename 9-9 a b 1 2"},
      {"unknown kind", "move 1-2 a b 1 2"},
      {"header again", "batch 1-2 5 /other Other"},
      {"delete without inode", "delete 1-2 a /t/files/a /t/info/a.trashinfo"},
      {"undo of no batch id", "batch 3-4 5 /f Undo x"},
      {"trailing space", "end 1-2 "},
  };
  const std::string good = "batch 1-2 3 /f Title\nrename 1-2 a b 1 2 0\n";
  const std::string tail = "end 1-2\n";
  std::filesystem::create_directories(m_dir.Path("state/relabo"));
  m_dir.CreateFile("state/relabo/journal", good + tail);
  const auto expected = ReadJournal(m_path);
  ASSERT_EQ(expected.size(), 1u);
  ASSERT_EQ(expected[0].operations, std::vector{Rename("a", "b", 1, 2)});
  ASSERT_TRUE(expected[0].complete);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_dir.CreateFile("state/relabo/journal", good + c.line + "\n" + tail);
    EXPECT_EQ(ReadJournal(m_path), expected);
  }
}

TEST_F(JournalTest, WriterDestroyedWithoutFinishKeepsItsOperations) {
  {
    JournalWriter writer(m_path, "/f", "T");
    writer.Add(Rename("a", "b"));
    writer.Add(Rename("c", "d"));
  }
  const auto batches = ReadJournal(m_path);
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].operations, (std::vector{Rename("a", "b"), Rename("c", "d")}));
  EXPECT_FALSE(batches[0].complete);
}

TEST_F(JournalTest, CrashKeepsWhatWasFlushed) {
  using std::chrono::milliseconds;
  struct Case {
    const char* name;
    std::chrono::steady_clock::duration interval;
    bool pauseBeforeThird;
    std::size_t kept;
  };
  const Case cases[] = {
      {"every add writes", milliseconds(0), false, 3},
      {"interval not passed", std::chrono::hours(1), false, 0},
      // The third add comes after the interval and writes all three.
      {"interval passed", milliseconds(30), true, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(m_path);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      JournalOptions options;
      options.flushInterval = c.interval;
      JournalWriter writer(m_path, "/f", "T", options);
      writer.Add(Rename("1", "a"));
      writer.Add(Rename("2", "b"));
      if (c.pauseBeforeThird) std::this_thread::sleep_for(c.interval + milliseconds(10));
      writer.Add(Rename("3", "c"));
      // Dies without the destructor's flush.
      ::_exit(writer.Failed() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto batches = ReadJournal(m_path);
    ASSERT_EQ(batches.size(), 1u);
    const std::vector<JournalOperation> all = {Rename("1", "a"), Rename("2", "b"),
                                               Rename("3", "c")};
    EXPECT_EQ(batches[0].operations, std::vector(all.begin(), all.begin() + c.kept));
    EXPECT_FALSE(batches[0].complete);
  }
}

TEST_F(JournalTest, ConcurrentProcessesNeverMixRecords) {
  struct Case {
    const char* name;
    std::size_t maxBatches;
    std::size_t expectedBatches;
  };
  constexpr int kProcesses = 4;
  constexpr int kBatches = 20;
  constexpr int kOps = 25;
  const Case cases[] = {
      {"no trimming", 100, kProcesses * kBatches},
      // Trims run while the others append, to a file renamed away under them.
      {"trimming meanwhile", 7, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(m_path);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        JournalOptions options;
        options.maxBatches = c.maxBatches;
        options.flushInterval = std::chrono::milliseconds(0);
        bool failed = false;
        for (int b = 0; b < kBatches; ++b) {
          const std::string title = std::to_string(p) + " " + std::to_string(b);
          JournalWriter writer(m_path, "/f", title, options);
          for (int i = 0; i < kOps; ++i)
            writer.Add(Rename(title + " " + std::to_string(i) + std::string(i * 7, 'x'), "n",
                              std::uint64_t(p), std::uint64_t(i)));
          writer.Finish();
          failed = failed || writer.Failed();
        }
        ::_exit(failed ? 1 : 0);
      }
      children.push_back(child);
    }
    for (const pid_t child : children) {
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const auto batches = ReadJournal(m_path);
    ASSERT_EQ(batches.size(), c.expectedBatches);
    std::set<std::string> titles;
    for (const auto& batch : batches) {
      SCOPED_TRACE(batch.title);
      EXPECT_TRUE(titles.insert(batch.title).second);
      EXPECT_TRUE(batch.complete);
      ASSERT_EQ(batch.operations.size(), std::size_t(kOps));
      const int p = std::stoi(batch.title);
      for (int i = 0; i < kOps; ++i) {
        EXPECT_EQ(batch.operations[i],
                  Rename(batch.title + " " + std::to_string(i) + std::string(i * 7, 'x'), "n",
                         std::uint64_t(p), std::uint64_t(i)));
      }
    }
    if (c.expectedBatches == std::size_t(kProcesses * kBatches)) {
      // Every line of the file belongs to a batch read back: no record was split or merged.
      EXPECT_EQ(Lines(Content()).size(), batches.size() * (kOps + 2));
    }
  }
}

TEST_F(JournalTest, TrimsToTheNewestHundredBatches) {
  std::vector<std::string> ids;
  for (int i = 0; i < 105; ++i) {
    JournalWriter writer(m_path, "/f", std::to_string(i));
    ids.push_back(writer.Id());
    writer.Add(Rename("a", "b"));
    writer.Finish();
    // Undone records are kept with their batch, and go with it.
    if (i == 2 || i == 10) {
      ASSERT_EQ(MarkUndone(m_path, writer.Id()), "");
    }

    const auto batches = ReadJournal(m_path);
    const std::size_t expected = std::min<std::size_t>(i + 1, 100);
    ASSERT_EQ(batches.size(), expected) << i;
    for (std::size_t k = 0; k < expected; ++k) {
      const std::string& id = ids[ids.size() - expected + k];
      ASSERT_EQ(batches[k].id, id);
      EXPECT_EQ(batches[k].undone,
                (ids.size() > 2 && id == ids[2]) || (ids.size() > 10 && id == ids[10]));
      EXPECT_EQ(batches[k].operations.size(), 1u);
    }
  }
  EXPECT_EQ(Lines(Content()).size(), 100u * 3 + 1);
  // The temporary file of the rewrite is gone.
  std::vector<std::string> entries;
  for (const auto& e : std::filesystem::directory_iterator(m_dir.Path("state/relabo")))
    entries.push_back(e.path().filename().string());
  EXPECT_EQ(entries, std::vector<std::string>{"journal"});
}

TEST_F(JournalTest, TrimsToTheByteLimit) {
  // Sizes of a batch's header and of a whole batch, all batches being alike.
  std::uintmax_t header = 0, whole = 0;
  {
    JournalWriter writer(m_path, "/f", "T");
    header = FileSize(m_path);
    writer.Add(Rename("a", std::string(200, 'b')));
    writer.Finish();
    whole = FileSize(m_path);
  }
  std::filesystem::remove(m_path);

  JournalOptions options;
  options.maxBytes = header + 3 * whole + whole / 2;
  std::vector<std::string> ids;
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    JournalWriter writer(m_path, "/f", "T", options);
    ids.push_back(writer.Id());
    EXPECT_LE(FileSize(m_path), options.maxBytes);
    const auto batches = ReadJournal(m_path);
    const std::size_t expected = std::min<std::size_t>(i, 3) + 1;
    ASSERT_EQ(batches.size(), expected);
    for (std::size_t k = 0; k < expected; ++k)
      EXPECT_EQ(batches[k].id, ids[ids.size() - expected + k]);
    writer.Add(Rename("a", std::string(200, 'b')));
    writer.Finish();
  }
}

TEST_F(JournalTest, WriteFailureIsReportedNotThrown) {
  // The state folder is a regular file, so nothing can be created below it.
  m_dir.CreateFile("state", "x");
  JournalWriter writer(m_path, "/f", "T");
  EXPECT_TRUE(writer.Failed());
  EXPECT_NE(writer.LastError().find("Not a directory"), std::string::npos) << writer.LastError();
  EXPECT_NO_THROW(writer.Add(Rename("a", "b")));
  EXPECT_NO_THROW(writer.Finish());
  EXPECT_TRUE(writer.Failed());
  EXPECT_NE(MarkUndone(m_path, writer.Id()), "");
}

TEST_F(JournalTest, ReadOnlyFolderIsReportedNotThrown) {
  m_dir.CreateFolder("state/relabo", 0555);
  ASSERT_EQ(::chmod(m_dir.Root().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(m_dir.Path("state").c_str(), 0755), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Root writes anywhere; the test runs as nobody then.
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(10);
    int code = 0;
    try {
      JournalWriter writer(m_path, "/f", "T");
      writer.Add(Rename("a", "b"));
      writer.Finish();
      if (!writer.Failed())
        code = 2;
      else if (writer.LastError().find("Permission denied") == std::string::npos)
        code = 3;
    } catch (...) {
      code = 4;
    }
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(m_dir.Exists("state/relabo/journal"));
}

}  // namespace
}  // namespace relabo
