// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/undo.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/extension.h"
#include "engine/journal.h"
#include "engine/plan.h"
#include "engine/trash_batch.h"
#include "tests/support/batch_fakes.h"
#include "tests/support/test_dir.h"

namespace relabo {
namespace {

using test::FakeEntries;
using test::FakeEntry;
using test::FakeTrash;
using test::RecordingProgress;
using test::TestDir;

using Files = std::map<std::string, std::string>;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every file below the folder with its contents, by path relative to it.
Files FilesBelow(const std::string& root) {
  Files files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    if (!e.is_directory())
      files[std::filesystem::relative(e.path(), root).string()] = ReadText(e.path().string());
  }
  return files;
}

std::vector<std::string> Reasons(const UndoOutcome& outcome) {
  std::vector<std::string> reasons;
  for (const UndoFailure& failure : outcome.failures) reasons.push_back(failure.reason);
  return reasons;
}

// A folder to rename in (the current folder), with the journal and a trash beside it.
class UndoTest : public testing::Test {
 public:
  UndoTest() : m_trash(m_dir.Path("trash")) {
    std::filesystem::create_directories(m_dir.Path("folder"));
    if (::chdir(Folder().c_str()) != 0) throw std::runtime_error("chdir");
  }

  std::string Folder() const { return m_dir.Path("folder"); }
  std::string JournalPath() const { return m_dir.Path("state/journal"); }
  void Create(const Files& files) {
    for (const auto& [name, text] : files) m_dir.CreateFile("folder/" + name, text);
  }
  Files Listing() const { return FilesBelow(Folder()); }

  // Runs a command over the entries, recorded in the journal, as the window does.
  BatchOutcome Run(const FakeEntries& entries, int command, const CommandParameters& params,
                   bool resolveChains = false) {
    PlanOptions options;
    options.resolveChains = resolveChains;
    const BatchPlan plan = PlanBatch(entries, command, params, DiskFolderNames("."), options);
    JournalWriter journal(JournalPath(), Folder(), std::string(BatchTitle(command)));
    RecordingProgress progress;
    const SetAsideFunction setAside = RecordedSetAside(m_trash.Function(), &journal, JournalPath());
    BatchOutcome outcome = RunPlan(plan, progress, setAside, &journal);
    journal.Finish();
    EXPECT_FALSE(journal.Failed()) << journal.LastError();
    return outcome;
  }

  JournalBatch Newest() const {
    const auto batches = ReadJournal(JournalPath());
    const JournalBatch* batch = NewestUndoable(batches);
    if (!batch) throw std::runtime_error("nothing to undo");
    return *batch;
  }

  UndoOutcome UndoNewest() {
    RecordingProgress progress;
    return UndoBatch(Newest(), progress, m_trash.Function(), JournalPath());
  }

  void Replace(const std::string& name, const std::string& text) {
    std::filesystem::remove(Folder() + "/" + name);
    m_dir.CreateFile("folder/" + name, text);
  }

  test::CurrentFolderGuard m_guard;
  TestDir m_dir;
  FakeTrash m_trash;
};

const Files kAbc = {{"a.txt", "A"}, {"b.txt", "B"}, {"c.txt", "C"}};

CommandParameters InsertX() {
  CommandParameters params;
  params.InsertString = "x";
  return params;
}

TEST_F(UndoTest, RenamesGoBackUnlessTheFileOrTheNameChangedSince) {
  CommandParameters plusOne;
  plusOne.ChangeNumberPlus = 1;
  CommandParameters counter;
  counter.RenameDigits = 1;
  struct Case {
    const char* name;
    Files files;
    FakeEntries entries;
    int command;
    CommandParameters params;
    bool resolveChains;
    std::function<void(UndoTest&)> meanwhile;
    Files after;
    std::vector<std::string> reasons;
  };
  const Case cases[] = {
      {"every file back", kAbc, {{"a.txt"}, {"b.txt"}, {"c.txt"}}, kInsertString, InsertX(),
       false, nullptr, kAbc, {}},
      {"a chain taken back in reverse order",
       {{"1.txt", "one"}, {"2.txt", "two"}, {"3.txt", "three"}},
       {{"1.txt"}, {"2.txt"}, {"3.txt"}}, kChangeNumber, plusOne, true, nullptr,
       {{"1.txt", "one"}, {"2.txt", "two"}, {"3.txt", "three"}}, {}},
      {"a cycle through a temporary name", {{"1.txt", "one"}, {"2.txt", "two"}},
       {{"2.txt"}, {"1.txt"}}, kRenameFiles, counter, true, nullptr,
       {{"1.txt", "one"}, {"2.txt", "two"}}, {}},
      {"an old name taken since", kAbc, {{"a.txt"}, {"b.txt"}, {"c.txt"}}, kInsertString,
       InsertX(), false, [](UndoTest& t) { t.Create({{"a.txt", "new"}}); },
       {{"a.txt", "new"}, {"xa.txt", "A"}, {"b.txt", "B"}, {"c.txt", "C"}},
       {"the name is taken"}},
      {"a file replaced by another since", kAbc, {{"a.txt"}, {"b.txt"}, {"c.txt"}},
       kInsertString, InsertX(), false, [](UndoTest& t) { t.Replace("xb.txt", "other"); },
       {{"a.txt", "A"}, {"xb.txt", "other"}, {"c.txt", "C"}}, {"the file was replaced"}},
      {"a file gone since", kAbc, {{"a.txt"}, {"b.txt"}, {"c.txt"}}, kInsertString, InsertX(),
       false, [](UndoTest& t) { std::filesystem::remove(t.Folder() + "/xc.txt"); },
       {{"a.txt", "A"}, {"b.txt", "B"}}, {"the file is gone"}},
      {"a failed rename is not in the batch", {{"a.txt", "A"}, {"xa.txt", "taken"}},
       {{"a.txt"}}, kInsertString, InsertX(), false, nullptr,
       {{"a.txt", "A"}, {"xa.txt", "taken"}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& [name, text] : Listing()) std::filesystem::remove(Folder() + "/" + name);
    Create(c.files);
    Run(c.entries, c.command, c.params, c.resolveChains);
    if (c.meanwhile) c.meanwhile(*this);
    std::vector<JournalBatch> batches = ReadJournal(JournalPath());
    if (!NewestUndoable(batches)) {
      // Nothing was done, so there is nothing to take back.
      EXPECT_EQ(Listing(), c.after);
      continue;
    }
    const UndoOutcome outcome = UndoNewest();
    EXPECT_EQ(Listing(), c.after);
    EXPECT_EQ(Reasons(outcome), c.reasons);
    EXPECT_EQ(outcome.undone + int(outcome.failures.size()), outcome.total);
    EXPECT_EQ(outcome.journalError, "");
  }
}

TEST_F(UndoTest, CycleBrokenHalfWayLeavesNoTemporaryName) {
  Create({{"1.txt", "one"}, {"2.txt", "two"}});
  CommandParameters counter;
  counter.RenameDigits = 1;
  Run({{"2.txt"}, {"1.txt"}}, kRenameFiles, counter, true);
  const JournalBatch batch = Newest();
  // The cycle's three renames: into the temporary name, the other file, out of it.
  ASSERT_EQ(batch.operations.size(), 3u);
  const std::string middle = batch.operations[1].newName;
  const std::string last = batch.operations[2].newName;
  const std::string lastText = ReadText(Folder() + "/" + last);
  // Another program replaces the file the middle rename moved: its undo fails, and so the
  // first one's, whose old name that file holds.
  Replace(middle, "intruder");

  const UndoOutcome outcome = UndoNewest();

  EXPECT_EQ(outcome.undone, 1);
  EXPECT_EQ(Reasons(outcome), (std::vector<std::string>{"the file was replaced",
                                                          "the name is taken"}));
  EXPECT_EQ(Listing(), (Files{{middle, "intruder"}, {last, lastText}}));
}

TEST_F(UndoTest, UnchangedCopiesGoToTheTrashChangedOnesStay) {
  Create({{"a.txt", "A"}});
  CommandParameters params;
  params.CopyNumber = 3;
  params.CopyDigits = 1;
  Run({{"a.txt"}}, kCopyFiles, params);
  ASSERT_EQ(Listing().size(), 4u);
  // One copy written to since, one touched so only its time differs.
  { std::ofstream(Folder() + "/a1.txt", std::ios::app) << "more"; }
  struct timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (Folder() + "/a2.txt").c_str(), times, 0), 0);

  const UndoOutcome outcome = UndoNewest();

  EXPECT_EQ(Listing(), (Files{{"a.txt", "A"}, {"a1.txt", "Amore"}, {"a2.txt", "A"}}));
  EXPECT_EQ(Reasons(outcome),
            (std::vector<std::string>{"the copy was changed", "the copy was changed"}));
  EXPECT_EQ(m_trash.calls, std::vector<std::string>{Folder() + "/a3.txt"});
  EXPECT_EQ(UndoFailureNote(outcome), "2 of 3 not undone: the copy was changed");
}

TEST_F(UndoTest, CopiesRunTwiceReplaceTheirCopiesAndSetOtherFilesAside) {
  Create({{"a.txt", "A"}, {"b.txt", "B"}, {"b1.txt", "user's"}});
  CommandParameters params;
  params.CopyDigits = 1;
  Run({{"a.txt"}, {"b.txt"}}, kCopyFiles, params);
  // The user's b1.txt was in a copy's way: it went to the trash, a1.txt did not exist.
  EXPECT_EQ(m_trash.calls, std::vector<std::string>{"b1.txt"});
  EXPECT_EQ(Listing(), (Files{{"a.txt", "A"}, {"a1.txt", "A"}, {"b.txt", "B"}, {"b1.txt", "B"}}));

  // Run again: both targets are this program's unchanged copies, simply replaced.
  Run({{"a.txt"}, {"b.txt"}}, kCopyFiles, params);
  EXPECT_EQ(m_trash.calls.size(), 1u);
  EXPECT_EQ(Listing().size(), 4u);

  // Taking back the second run trashes its copies; the first run's are gone, replaced.
  UndoNewest();
  EXPECT_EQ(Listing(), (Files{{"a.txt", "A"}, {"b.txt", "B"}}));
  EXPECT_EQ(m_trash.calls.size(), 3u);

  // The first run still holds the user's file: a1/b1 copies are gone, b1.txt comes back.
  const UndoOutcome first = UndoNewest();
  EXPECT_EQ(Listing(), (Files{{"a.txt", "A"}, {"b.txt", "B"}, {"b1.txt", "user's"}}));
  EXPECT_EQ(Reasons(first), (std::vector<std::string>{"the copy is gone", "the copy is gone"}));
}

TEST_F(UndoTest, ExtensionChangeGoesBack) {
  Create({{"a.txt", "A"}, {"b.jpeg", "B"}, {"c", "C"}});
  JournalWriter journal(JournalPath(), Folder(), "Extension");
  const FakeEntries entries{{"a.txt"}, {"b.jpeg"}, {"c"}, {"[sub]", true, BatchEntryKind::Folder}};
  ChangeExtension(entries, "md", nullptr, &journal);
  journal.Finish();
  EXPECT_EQ(Listing(), (Files{{"a.md", "A"}, {"b.md", "B"}, {"c.md", "C"}}));

  const UndoOutcome outcome = UndoNewest();

  EXPECT_EQ(outcome.undone, 3);
  EXPECT_EQ(Listing(), (Files{{"a.txt", "A"}, {"b.jpeg", "B"}, {"c", "C"}}));
}

TEST_F(UndoTest, DeletedFilesComeBackWhereTheirNameIsFree) {
  Create({{"a.txt", "A"}, {"b.txt", "B"}, {"c.txt", "C"}});
  {
    JournalWriter journal(JournalPath(), Folder(), "Delete");
    RecordingProgress progress;
    const FakeEntries entries{{"a.txt"}, {"b.txt", false}, {"c.txt"}};
    const DeleteOutcome deleted = TrashMarked(entries, progress, m_trash.Function(), &journal);
    journal.Finish();
    EXPECT_EQ(deleted.trashed, 2);
    EXPECT_EQ(progress.steps.size(), 2u);
  }
  Create({{"c.txt", "new C"}});

  const UndoOutcome outcome = UndoNewest();

  EXPECT_EQ(Listing(), (Files{{"a.txt", "A"}, {"b.txt", "B"}, {"c.txt", "new C"}}));
  EXPECT_EQ(Reasons(outcome), std::vector<std::string>{"the name is taken"});
  // The restored file's entry left the trash with it; the other stays there.
  EXPECT_EQ(FilesBelow(m_dir.Path("trash/info")).size(), 1u);
  EXPECT_EQ(FilesBelow(m_dir.Path("trash/files")), (Files{{"2-c.txt", "C"}}));
}

TEST_F(UndoTest, RefusedDeletionIsCountedAndNotRecorded) {
  Create({{"a.txt", "A"}});
  m_trash.refusal = "no trash here";
  JournalWriter journal(JournalPath(), Folder(), "Delete");
  RecordingProgress progress;
  const DeleteOutcome deleted =
      TrashMarked(FakeEntries{{"a.txt"}}, progress, m_trash.Function(), &journal);
  journal.Finish();
  EXPECT_EQ(deleted.refused, 1);
  EXPECT_EQ(deleted.firstError, "no trash here");
  EXPECT_EQ(Listing(), (Files{{"a.txt", "A"}}));
  EXPECT_TRUE(ReadJournal(JournalPath()).back().operations.empty());
}

TEST_F(UndoTest, UndoIsRecordedMarkedAndNeverRepeated) {
  Create(kAbc);
  Run({{"a.txt"}, {"b.txt"}}, kInsertString, InsertX());
  const std::string id = Newest().id;
  const UndoOutcome outcome = UndoNewest();

  const auto batches = ReadJournal(JournalPath());
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_TRUE(batches[0].undone);
  EXPECT_EQ(batches[1].id, outcome.journalId);
  EXPECT_EQ(batches[1].undoes, id);
  EXPECT_EQ(batches[1].title, "Undo Rename (Insert String)");
  EXPECT_EQ(batches[1].folder, Folder());
  ASSERT_EQ(batches[1].operations.size(), 2u);
  EXPECT_EQ(batches[1].operations[0].oldName, "xb.txt");
  EXPECT_EQ(batches[1].operations[0].newName, "b.txt");
  // Neither the undone batch nor the undo itself is offered again.
  EXPECT_EQ(NewestUndoable(batches), nullptr);
  EXPECT_TRUE(UndoSequence(batches, id).empty());
}

TEST_F(UndoTest, NothingTakenBackLeavesTheBatchUndoable) {
  Create({{"a.txt", "A"}});
  Run({{"a.txt"}}, kInsertString, InsertX());
  Create({{"a.txt", "new"}});
  const UndoOutcome outcome = UndoNewest();
  EXPECT_EQ(outcome.undone, 0);
  EXPECT_NE(NewestUndoable(ReadJournal(JournalPath())), nullptr);
}

TEST_F(UndoTest, UndoAfterARestartReadsOnlyTheJournal) {
  Create(kAbc);
  // A process of its own runs the batch and ends, as a program closed after a batch.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Run({{"a.txt"}, {"c.txt"}}, kInsertString, InsertX());
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Listing(), (Files{{"xa.txt", "A"}, {"b.txt", "B"}, {"xc.txt", "C"}}));

  const UndoOutcome outcome = UndoNewest();

  EXPECT_EQ(outcome.undone, 2);
  EXPECT_EQ(Listing(), kAbc);
}

TEST(UndoSequenceTest, TheChosenBatchAndLaterOnesOfItsFolderNewestFirst) {
  auto batch = [](std::string id, std::string folder, bool undone = false,
                  std::string undoes = {}) {
    JournalBatch b;
    b.id = std::move(id);
    b.folder = std::move(folder);
    b.undone = undone;
    b.undoes = std::move(undoes);
    b.operations.resize(1);
    return b;
  };
  std::vector<JournalBatch> batches = {
      batch("1-1", "/a"),       batch("2-1", "/b"), batch("3-1", "/a", true),
      batch("4-1", "/a"),       batch("5-1", "/a", false, "3-1"),
      batch("6-1", "/b"),
  };
  batches.push_back(batch("7-1", "/a"));
  batches.back().operations.clear();  // did nothing

  struct Case {
    const char* id;
    std::vector<std::string> sequence;
  };
  const Case cases[] = {
      {"1-1", {"4-1", "1-1"}}, {"2-1", {"6-1", "2-1"}}, {"3-1", {}},
      {"4-1", {"4-1"}},        {"5-1", {}},             {"9-9", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    std::vector<std::string> ids;
    for (const JournalBatch* b : UndoSequence(batches, c.id)) ids.push_back(b->id);
    EXPECT_EQ(ids, c.sequence);
  }
  ASSERT_NE(NewestUndoable(batches), nullptr);
  EXPECT_EQ(NewestUndoable(batches)->id, "6-1");
}

}  // namespace
}  // namespace relabo
