// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/batch.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "fileutil/error.h"
#include "fileutil/path.h"
#include "tests/support/batch_fakes.h"
#include "tests/support/test_dir.h"

namespace relabo {
namespace {

using test::ErrorText;

using test::TestDir;

using test::AsideFolder;
using test::FakeEntries;
using test::FakeEntry;
using test::RecordingProgress;
using test::StepRecord;

// Every file below the folder, as paths relative to it, sorted.
std::vector<std::string> FilesBelow(const std::string& root) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    if (!e.is_directory()) names.push_back(std::filesystem::relative(e.path(), root).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class BatchTest : public testing::Test {
 protected:
  BatchTest() {
    if (::chdir(m_dir.Root().c_str()) != 0) throw std::runtime_error("chdir");
  }
  std::vector<std::string> Listing() const { return FilesBelow(m_dir.Root()); }

  test::CurrentFolderGuard m_guard;
  TestDir m_dir;
};

TEST_F(BatchTest, NothingMarkedStartsNothing) {
  m_dir.CreateFile("a.txt");
  FakeEntries entries{{"a.txt", false}};
  RecordingProgress progress;
  const BatchOutcome outcome = RunBatch(entries, kInsertString, {}, progress);
  EXPECT_FALSE(outcome.started);
  EXPECT_EQ(progress.starts, 0);
  EXPECT_TRUE(progress.steps.empty());
}

TEST_F(BatchTest, OnlyFoldersMarkedStartsWithTheMarkedTotalAndTouchesNothing) {
  m_dir.CreateFolder("sub");
  m_dir.CreateFile("sub/x.txt");
  m_dir.CreateFile("a.txt");
  FakeEntries entries{{"..", true, BatchEntryKind::Parent},
                      {"sub", true, BatchEntryKind::Folder},
                      {"a.txt", false}};
  RecordingProgress progress;
  CommandParameters p;
  p.RenameName = "r";
  const BatchOutcome outcome = RunBatch(entries, kRenameFiles, p, progress);
  EXPECT_TRUE(outcome.started);
  EXPECT_EQ(progress.starts, 1);
  EXPECT_EQ(progress.total, 2);
  EXPECT_EQ(progress.title, "Rename");
  EXPECT_TRUE(progress.steps.empty());
  EXPECT_TRUE(outcome.operations.empty());
  EXPECT_EQ(Listing(), (std::vector<std::string>{"a.txt", "sub/x.txt"}));
}

struct Command {
  int index;
  CommandParameters params;
};

Command Insert(const char* text, int32_t from) {
  Command c{kInsertString, {}};
  c.params.InsertString = text;
  c.params.InsertFrom = from;
  return c;
}

// Renames whose outcome on disk is known: what the folder holds afterwards and how many
// renames failed. A failure never replaces or loses a file.
TEST_F(BatchTest, RenameOutcomes) {
  struct Case {
    const char* name;
    std::vector<std::string> files;   // created with their own name as content; all marked
    std::vector<std::string> others;  // other files and folders ("sub/") present, not marked
    Command command;
    std::vector<std::string> expected;
    int failed;
  };
  Command upper{kChangeCase, {}};
  upper.params.ChangeCaseMode = 3;
  // The system would take "x\0a.txt" as "x".
  Command nul{kInsertString, {}};
  nul.params.InsertString = std::string("x\0", 2);
  const Case cases[] = {
      {"chain: a1 to a2 fails while a2 exists, a2 to a3 succeeds",
       {"a1.txt", "a2.txt"},
       {},
       {kChangeNumber, {}},
       {"a1.txt", "a3.txt"},
       1},
      {"existing target", {"a.txt"}, {"ab.txt"}, Insert("b", 0), {"a.txt", "ab.txt"}, 1},
      {"a slash addresses a subfolder", {"a.txt"}, {"sub/"}, Insert("sub/", 1), {"sub/a.txt"}, 0},
      {"a missing subfolder fails", {"a.txt"}, {}, Insert("missing/", 1), {"a.txt"}, 1},
      {"a name that stays the same is no failure", {"a.txt"}, {}, Insert("", 1), {"a.txt"}, 0},
      {"bytes that are not UTF-8 and a newline",
       {"\xE9\n.txt"},
       {},
       Insert("x", 0),
       {"\xE9\nx.txt"},
       0},
      {"upper case", {"ab.txt", "Cd.txt"}, {}, upper, {"AB.txt", "CD.txt"}, 0},
      {"a NUL byte is never passed to the system", {"a.txt"}, {}, nul, {"a.txt"}, 1},
      {"an empty name fails",
       {"abc"},
       {},
       Command{kRemoveString,
               [] {
                 CommandParameters p;
                 p.RemoveNumber = 5;
                 return p;
               }()},
       {"abc"},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestDir dir;
    if (::chdir(dir.Root().c_str()) != 0) FAIL() << "chdir";
    FakeEntries entries{};
    for (const std::string& f : c.files) {
      dir.CreateFile(f, f);
      entries.entries.push_back({f});
    }
    for (const std::string& o : c.others) {
      o.ends_with('/') ? (void)dir.CreateFolder(o) : (void)dir.CreateFile(o, o);
    }
    RecordingProgress progress;
    const BatchOutcome outcome = RunBatch(entries, c.command.index, c.command.params, progress);

    EXPECT_FALSE(outcome.ending);
    EXPECT_EQ(outcome.failed, c.failed);
    EXPECT_EQ(progress.beeps, c.failed);
    EXPECT_EQ(outcome.succeeded, int(c.files.size()) - c.failed);
    EXPECT_EQ(FilesBelow(dir.Root()), c.expected);
    // Every file still holds what it held: its original name was its content.
    for (const BatchOperation& op : outcome.operations) {
      EXPECT_EQ(op.error != 0, !op.done) << op.oldName;
      EXPECT_EQ(dir.ReadFile(op.done ? op.newName : op.oldName), op.oldName);
    }
  }
}

TEST_F(BatchTest, FailedRenameUsesUpItsCounterValue) {
  for (const char* f : {"x.txt", "y.txt", "z.txt"}) m_dir.CreateFile(f, f);
  m_dir.CreateFile("r2.txt", "in the way");
  FakeEntries entries{{"x.txt"}, {"y.txt"}, {"z.txt"}};
  CommandParameters p;
  p.RenameName = "r";
  p.RenameDigits = 1;
  RecordingProgress progress;
  const BatchOutcome outcome = RunBatch(entries, kRenameFiles, p, progress);

  EXPECT_EQ(progress.steps,
            (std::vector<StepRecord>{
                {1, "x.txt", "r1.txt"}, {2, "y.txt", "r2.txt"}, {3, "z.txt", "r3.txt"}}));
  ASSERT_EQ(outcome.operations.size(), 3u);
  EXPECT_EQ(outcome.operations[1].error, EEXIST);
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_EQ(outcome.succeeded, 2);
  EXPECT_EQ(progress.beeps, 1);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"r1.txt", "r2.txt", "r3.txt", "y.txt"}));
  EXPECT_EQ(m_dir.ReadFile("r2.txt"), "in the way");
  EXPECT_EQ(m_dir.ReadFile("r3.txt"), "z.txt");
}

TEST_F(BatchTest, TargetAppearingAfterTheNameWasComputedIsNotReplaced) {
  m_dir.CreateFile("a.txt", "mine");
  FakeEntries entries{{"a.txt"}};
  CommandParameters p;
  p.InsertString = "b";
  RecordingProgress progress;
  // The step is shown before the disk is touched; another program writes the target then.
  progress.onStep = [&](int, const std::string&, const std::string& target) {
    m_dir.CreateFile(target, "theirs");
  };
  const BatchOutcome outcome = RunBatch(entries, kInsertString, p, progress);
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_EQ(m_dir.ReadFile("a.txt"), "mine");
  EXPECT_EQ(m_dir.ReadFile("ba.txt"), "theirs");
}

TEST_F(BatchTest, ListChangedDuringTheBatchDoesNotRedirectIt) {
  for (const char* f : {"a.txt", "b.txt"}) m_dir.CreateFile(f);
  FakeEntries entries{{"a.txt"}, {"b.txt"}};
  CommandParameters p;
  p.InsertString = "n";
  RecordingProgress progress;
  progress.onStep = [&](int, const std::string&, const std::string&) {
    entries.entries = {{"other.txt"}};
  };
  const BatchOutcome outcome = RunBatch(entries, kInsertString, p, progress);
  EXPECT_EQ(outcome.succeeded, 2);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"na.txt", "nb.txt"}));
}

TEST_F(BatchTest, NumberThatCannotBeConvertedEndsTheBatchAtThatFile) {
  for (const char* f : {"a1.txt", "b99999999999.txt", "c1.txt"}) m_dir.CreateFile(f);
  FakeEntries entries{{"a1.txt"}, {"b99999999999.txt"}, {"c1.txt"}};
  RecordingProgress progress;
  const BatchOutcome outcome = RunBatch(entries, kChangeNumber, {}, progress);
  EXPECT_EQ(ErrorText(outcome), "'99999999999' is not a valid integer value");
  // The name is computed before the step is counted or shown.
  EXPECT_EQ(progress.steps, (std::vector<StepRecord>{{1, "a1.txt", "a2.txt"}}));
  EXPECT_EQ(outcome.succeeded, 1);
  EXPECT_EQ(outcome.failed, 0);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"a2.txt", "b99999999999.txt", "c1.txt"}));
}

TEST_F(BatchTest, CopiesAreNumberedPerFileAndCounted) {
  m_dir.CreateFile("a.txt", "A");
  m_dir.CreateFile("b", "B");
  m_dir.CreateFolder("sub");
  FakeEntries entries{{"a.txt"}, {"sub", true, BatchEntryKind::Folder}, {"b"}};
  CommandParameters p;
  p.CopyNumber = 3;
  p.CopyStart = 5;
  p.CopySeparator = "_";
  RecordingProgress progress;
  const BatchOutcome outcome = RunBatch(entries, kCopyFiles, p, progress);

  EXPECT_EQ(progress.title, "Copy");
  EXPECT_EQ(progress.total, 9);  // the marked folder counts, and is skipped
  EXPECT_EQ(progress.steps, (std::vector<StepRecord>{{1, "a.txt", "a_005.txt"},
                                                     {2, "a.txt", "a_006.txt"},
                                                     {3, "a.txt", "a_007.txt"},
                                                     {4, "b", "b_005"},
                                                     {5, "b", "b_006"},
                                                     {6, "b", "b_007"}}));
  EXPECT_FALSE(outcome.ending);
  EXPECT_EQ(outcome.succeeded, 6);
  EXPECT_EQ(m_dir.ReadFile("a_007.txt"), "A");
  EXPECT_EQ(m_dir.ReadFile("b_005"), "B");
  EXPECT_EQ(m_dir.ReadFile("a.txt"), "A");
}

TEST_F(BatchTest, CopyNumberBelowOneMakesOneCopy) {
  for (int number : {0, -7}) {
    SCOPED_TRACE(number);
    TestDir dir;
    if (::chdir(dir.Root().c_str()) != 0) FAIL() << "chdir";
    dir.CreateFile("a.txt", "A");
    FakeEntries entries{{"a.txt"}};
    CommandParameters p;
    p.CopyNumber = number;
    RecordingProgress progress;
    const BatchOutcome outcome = RunBatch(entries, kCopyFiles, p, progress);
    EXPECT_EQ(progress.total, 1);
    EXPECT_EQ(outcome.succeeded, 1);
    EXPECT_EQ(dir.ReadFile("a001.txt"), "A");
    EXPECT_EQ(FilesBelow(dir.Root()), (std::vector<std::string>{"a.txt", "a001.txt"}));
  }
}

// The first run's copies go through setAside, and are kept where it put them.
TEST_F(BatchTest, SecondCopyRunReplacesTheFirstRunsCopies) {
  m_dir.CreateFile("a.txt", "first");
  FakeEntries entries{{"a.txt"}};
  CommandParameters p;
  p.CopyNumber = 2;
  RecordingProgress progress;
  AsideFolder aside(m_dir.CreateFolder("aside"));
  ASSERT_EQ(RunBatch(entries, kCopyFiles, p, progress, aside.Function()).succeeded, 2);
  EXPECT_TRUE(aside.calls.empty());
  m_dir.CreateFile("a.txt", "second, longer");
  m_dir.CreateFile("a002.txt", "a much longer text than the source has");
  const BatchOutcome outcome = RunBatch(entries, kCopyFiles, p, progress, aside.Function());
  EXPECT_FALSE(outcome.ending);
  EXPECT_EQ(outcome.succeeded, 2);
  EXPECT_EQ(m_dir.ReadFile("a001.txt"), "second, longer");
  EXPECT_EQ(m_dir.ReadFile("a002.txt"), "second, longer");
  EXPECT_EQ(aside.calls, (std::vector<std::string>{"a001.txt", "a002.txt"}));
  EXPECT_EQ(m_dir.ReadFile("aside/1-a001.txt"), "first");
  EXPECT_EQ(m_dir.ReadFile("aside/2-a002.txt"), "a much longer text than the source has");
  EXPECT_EQ(Listing(), (std::vector<std::string>{"a.txt", "a001.txt", "a002.txt",
                                                 "aside/1-a001.txt", "aside/2-a002.txt"}));
}

// An unrelated file that has a copy's name is never overwritten: it is set aside, or, when
// it cannot be, it stays and the batch ends at that copy.
TEST_F(BatchTest, FileInACopysWayIsSetAsideOrStays) {
  struct Case {
    const char* name;
    bool withSetAside;
    const char* refusal;  // what setAside answers; empty: it moves the file
    const char* error;    // the error that ends the batch, or empty
    std::vector<std::string> listing;
  } cases[] = {
      {"set aside",
       true,
       "",
       "",
       {"a.txt", "a001.txt", "a002.txt", "aside/1-a001.txt", "b.txt", "b001.txt", "b002.txt"}},
      {"setAside refuses",
       true,
       "no trash here",
       "Cannot create file a001.txt",
       {"a.txt", "a001.txt", "b.txt"}},
      {"no setAside", false, "", "Cannot create file a001.txt", {"a.txt", "a001.txt", "b.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestDir dir;
    if (::chdir(dir.Root().c_str()) != 0) FAIL() << "chdir";
    dir.CreateFile("a.txt", "A");
    dir.CreateFile("b.txt", "B");
    dir.CreateFile("a001.txt", "unrelated");
    AsideFolder aside(dir.Path("aside"));
    if (c.withSetAside) dir.CreateFolder("aside");
    aside.refusal = c.refusal;
    FakeEntries entries{{"a.txt"}, {"b.txt"}};
    CommandParameters p;
    p.CopyNumber = 2;
    RecordingProgress progress;
    const BatchOutcome outcome = c.withSetAside
                                     ? RunBatch(entries, kCopyFiles, p, progress, aside.Function())
                                     : RunBatch(entries, kCopyFiles, p, progress);
    EXPECT_EQ(ErrorText(outcome), c.error);
    EXPECT_EQ(FilesBelow(dir.Root()), c.listing);
    EXPECT_EQ(aside.calls,
              c.withSetAside ? std::vector<std::string>{"a001.txt"} : std::vector<std::string>{});
    if (*c.error) {
      EXPECT_EQ(dir.ReadFile("a001.txt"), "unrelated");
      EXPECT_EQ(outcome.failed, 1);
      EXPECT_EQ(outcome.succeeded, 0);
    } else {
      EXPECT_EQ(dir.ReadFile("aside/1-a001.txt"), "unrelated");
      EXPECT_EQ(dir.ReadFile("a001.txt"), "A");
      EXPECT_EQ(outcome.succeeded, 4);
    }
  }
}

// A copy that cannot be made ends the batch at that file with the error, keeps what was
// done before it and leaves the source as it was.
TEST_F(BatchTest, CopyThatCannotBeMadeEndsTheBatch) {
  struct Case {
    const char* name;
    std::function<void(TestDir&, CommandParameters&)> setup;
    const char* error;
    const char* failing;  // the file whose copy ends the batch
    bool needsNonRoot = false;
  };
  const Case cases[] = {
      {"onto the source itself by its name",
       [](TestDir& d, CommandParameters& p) {
         // "1" + "/../" + "r" + ".txt": the counter names a folder, the name climbs back.
         d.CreateFolder("1");
         p.CopyScheme = 5;
         p.CopySeparator = "/../";
         p.CopyDigits = 0;
       },
       "Cannot create file 1/../r.txt", "r.txt"},
      {"onto the source through a hard link",
       [](TestDir& d, CommandParameters&) {
         if (::link(d.Path("s.txt").c_str(), d.Path("s001.txt").c_str()) != 0) {
           throw std::runtime_error("link");
         }
       },
       "Cannot create file s001.txt", "s.txt"},
      {"a folder in the way", [](TestDir& d, CommandParameters&) { d.CreateFolder("s001.txt"); },
       "Cannot create file s001.txt", "s.txt"},
      {"a read-only target",
       [](TestDir& d, CommandParameters&) { d.CreateFile("s001.txt", "old", -1, 0444); },
       "Cannot create file s001.txt", "s.txt", true},
      {"a FIFO in the way, which must not block",
       [](TestDir& d, CommandParameters&) {
         if (::mkfifo(d.Path("s001.txt").c_str(), 0644) != 0) throw std::runtime_error("mkfifo");
       },
       "Cannot create file s001.txt", "s.txt"},
  };
  const std::vector<std::pair<std::string, std::string>> files = {
      {"r.txt", "R"}, {"s.txt", "source"}, {"t.txt", "T"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needsNonRoot && ::geteuid() == 0) {
      std::printf("skipped \"%s\": root writes read-only files\n", c.name);
      continue;
    }
    TestDir dir;
    if (::chdir(dir.Root().c_str()) != 0) FAIL() << "chdir";
    FakeEntries entries{};
    for (const auto& [name, bytes] : files) {
      dir.CreateFile(name, bytes);
      entries.entries.push_back({name});
    }
    CommandParameters p;
    c.setup(dir, p);
    RecordingProgress progress;
    // A copy that blocks ends this test by the alarm rather than hanging it.
    ::alarm(10);
    const BatchOutcome outcome = RunBatch(entries, kCopyFiles, p, progress);
    ::alarm(0);

    EXPECT_EQ(ErrorText(outcome), c.error);
    ASSERT_FALSE(outcome.operations.empty());
    const BatchOperation& last = outcome.operations.back();
    EXPECT_EQ(last.oldName, c.failing);
    EXPECT_FALSE(last.done);
    EXPECT_EQ(outcome.failed, 1);
    EXPECT_EQ(outcome.succeeded, int(outcome.operations.size()) - 1);
    EXPECT_EQ(progress.steps.size(), outcome.operations.size());
    for (const auto& [name, bytes] : files) EXPECT_EQ(dir.ReadFile(name), bytes) << name;
    EXPECT_EQ(dir.Exists("r001.txt"), std::string(c.failing) == "s.txt");
    EXPECT_FALSE(dir.Exists("t001.txt"));
  }
}

// A full disk, simulated by a file size limit in a child process: the write fails with
// EFBIG (SIGXFSZ ignored), the batch ends with the error and the source is untouched.
TEST_F(BatchTest, FullDiskDuringCopyEndsTheBatch) {
  const std::string source(3 << 20, 'x');
  m_dir.CreateFile("big.bin", source);
  m_dir.CreateFile("small.txt", "s");
  std::fflush(nullptr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1 << 20, 1 << 20};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(10);
    FakeEntries entries{{"big.bin"}, {"small.txt"}};
    RecordingProgress progress;
    const BatchOutcome outcome = RunBatch(entries, kCopyFiles, {}, progress);
    try {
      outcome.RethrowEnding();
      ::_exit(11);
    } catch (const Error& e) {
      std::fprintf(stderr, "child: %s\n", e.what());
      if (e.Code() != EFBIG) ::_exit(12);
      if (std::string(e.what()).find("big001.bin") == std::string::npos) ::_exit(13);
    }
    if (outcome.failed != 1 || outcome.operations.size() != 1) ::_exit(14);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(m_dir.ReadFile("big.bin"), source);
  EXPECT_FALSE(m_dir.Exists("small001.txt"));
  // No partial copy, and no temporary file, is left.
  EXPECT_EQ(Listing(), (std::vector<std::string>{"big.bin", "small.txt"}));
}

}  // namespace
}  // namespace relabo
