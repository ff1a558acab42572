// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/undo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "fileutil/fs.h"
#include "fileutil/path.h"
#include "engine/trash_batch.h"
#include "fileutil/error.h"

namespace relabo {
namespace {

constexpr const char* kGone = "the file is gone";
constexpr const char* kReplaced = "the file was replaced";
constexpr const char* kTaken = "the name is taken";

std::string ReasonOf(int error) {
  if (error == EEXIST) return kTaken;
  if (error == ENOENT) return kGone;
  return std::strerror(error);
}

// Whether the file at path is the one recorded: an empty reason when it is. What was not read
// when the record was made (a zero inode or birth time) is not compared. A file made after the
// batch began is another one, whatever its inode number: a file system gives the number of a
// removed file to the next one made.
std::string CheckIdentity(const std::string& path, const JournalOperation& op,
                          std::int64_t batchTimeNs) {
  struct statx st;
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_BTIME, &st) != 0)
    return ReasonOf(errno);
  if (op.inode != 0 && (makedev(st.stx_dev_major, st.stx_dev_minor) != op.device ||
                        st.stx_ino != op.inode))
    return kReplaced;
  if (st.stx_mask & STATX_BTIME) {
    const std::int64_t birth = BirthNs(st);
    if ((op.birthNs != 0 && birth != op.birthNs) || (batchTimeNs > 0 && birth > batchTimeNs))
      return kReplaced;
  }
  return {};
}

std::int64_t MtimeNs(const struct stat& st) {
  return std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

class Undoer {
 public:
  Undoer(const JournalBatch& batch, BatchProgress& progress, const TrashFunction& trash,
         JournalWriter& journal, UndoOutcome& outcome)
      : m_batch(batch), m_progress(progress), m_trash(trash), m_journal(journal),
        m_outcome(outcome) {}

  void Run() {
    const auto& ops = m_batch.operations;
    // The names the batch gave and that a later rename of it took on again: a file the undo
    // brings back to one of them must go on, through the undo of that earlier rename.
    std::unordered_map<std::string, size_t> passedThrough;
    for (size_t i = 0; i < ops.size(); ++i) {
      if (ops[i].kind == JournalOperationKind::Rename) passedThrough[ops[i].newName] = i;
    }
    int position = 0;
    for (size_t i = ops.size(); i-- > 0;) {
      const JournalOperation& op = ops[i];
      ++position;
      switch (op.kind) {
        case JournalOperationKind::Rename: {
          m_progress.Step(position, op.newName, op.oldName);
          const auto earlier = passedThrough.find(op.oldName);
          const bool intermediate = earlier != passedThrough.end() && earlier->second < i;
          if (UndoRename(op) && intermediate) m_waiting[op.oldName] = op.newName;
          break;
        }
        case JournalOperationKind::Copy:
          m_progress.Step(position, op.newName, std::string());
          UndoCopy(op);
          break;
        case JournalOperationKind::Delete:
          m_progress.Step(position, op.trashedPath, op.oldName);
          UndoDelete(op);
          break;
        case JournalOperationKind::Restore:
          // An undo's own records: nothing takes them back.
          Fail(op.oldName, "an undo is not taken back");
          break;
      }
    }
    // A file the undo left at a name the batch only passed through goes back where it was.
    for (const auto& [at, back] : m_waiting) {
      if (RenameNoReplace(Path(at), Path(back)) == 0) Renamed(at, back);
    }
  }

 private:
  std::string Path(const std::string& name) const { return JoinPath(m_batch.folder, name); }

  void Fail(const std::string& name, std::string reason) {
    m_outcome.failures.push_back({name, std::move(reason)});
    m_progress.Beep();
  }

  void Done() { ++m_outcome.undone; }

  // Records a rename of the undo under the names of the batch's folder.
  void Renamed(const std::string& from, const std::string& to) {
    JournalOperation record = RenameRecord(Path(from), Path(to));
    record.oldName = from;
    record.newName = to;
    m_journal.Add(record);
  }

  bool UndoRename(const JournalOperation& op) {
    const std::string from = Path(op.newName);
    const std::string to = Path(op.oldName);
    if (std::string reason = CheckIdentity(from, op, m_batch.timeNs); !reason.empty()) {
      Fail(op.newName, std::move(reason));
      return false;
    }
    if (const int error = RenameNoReplace(from, to); error != 0) {
      Fail(op.newName, ReasonOf(error));
      return false;
    }
    m_waiting.erase(op.newName);
    Renamed(op.newName, op.oldName);
    Done();
    return true;
  }

  void UndoCopy(const JournalOperation& op) {
    const std::string path = Path(op.newName);
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return Fail(op.newName, "the copy is gone");
    if (std::uint64_t(st.st_dev) != op.device || std::uint64_t(st.st_ino) != op.inode ||
        std::uint64_t(st.st_size) != op.size || MtimeNs(st) != op.mtimeNs)
      return Fail(op.newName, "the copy was changed");
    const TrashResult result = m_trash(path);
    if (!result.trashed)
      return Fail(op.newName, result.error.empty() ? "not moved to the trash" : result.error);
    m_journal.Add(DeleteRecord(op.newName, result));
    Done();
  }

  void UndoDelete(const JournalOperation& op) {
    if (op.trashedPath.empty()) return Fail(op.oldName, "not found in the trash");
    if (!CheckIdentity(op.trashedPath, op, m_batch.timeNs).empty())
      return Fail(op.oldName, "not in the trash any more");
    const std::string to = Path(op.oldName);
    if (const int error = RenameNoReplace(op.trashedPath, to); error != 0)
      return Fail(op.oldName, ReasonOf(error));
    // The trash lists the file no more; a leftover info file would show a ghost entry there.
    if (!op.trashInfoPath.empty()) ::unlink(op.trashInfoPath.c_str());
    JournalOperation record;
    record.kind = JournalOperationKind::Restore;
    record.oldName = op.oldName;
    record.trashedPath = op.trashedPath;
    record.device = op.device;
    record.inode = op.inode;
    m_journal.Add(record);
    Done();
  }

  const JournalBatch& m_batch;
  BatchProgress& m_progress;
  const TrashFunction& m_trash;
  JournalWriter& m_journal;
  UndoOutcome& m_outcome;
  // Files at a name the batch passed through, by that name, with the name they came from.
  std::unordered_map<std::string, std::string> m_waiting;
};

}  // namespace

bool Undoable(const JournalBatch& batch) {
  return batch.undoes.empty() && !batch.undone && !batch.operations.empty();
}

const JournalBatch* NewestUndoable(const std::vector<JournalBatch>& batches) {
  for (auto it = batches.rbegin(); it != batches.rend(); ++it) {
    if (Undoable(*it)) return &*it;
  }
  return nullptr;
}

std::vector<const JournalBatch*> UndoSequence(const std::vector<JournalBatch>& batches,
                                              const std::string& id) {
  size_t chosen = batches.size();
  for (size_t i = 0; i < batches.size(); ++i) {
    if (batches[i].id == id) chosen = i;
  }
  std::vector<const JournalBatch*> sequence;
  if (chosen == batches.size() || !Undoable(batches[chosen])) return sequence;
  for (size_t i = batches.size(); i-- > chosen;) {
    if (Undoable(batches[i]) && batches[i].folder == batches[chosen].folder)
      sequence.push_back(&batches[i]);
  }
  return sequence;
}

std::string UndoTitle(const JournalBatch& batch) { return "Undo " + batch.title; }

UndoOutcome UndoBatch(const JournalBatch& batch, BatchProgress& progress,
                      const TrashFunction& trash, const std::string& journalPath) {
  UndoOutcome outcome;
  outcome.total = int(batch.operations.size());
  const std::string title = UndoTitle(batch);
  JournalWriter journal(journalPath, batch.folder, title, {}, batch.id);
  outcome.journalId = journal.Id();
  progress.Start(outcome.total, title);
  Undoer(batch, progress, trash, journal, outcome).Run();
  journal.Finish();
  if (outcome.undone > 0 && !journal.Failed()) {
    std::string error = MarkUndone(journalPath, batch.id);
    if (!error.empty()) outcome.journalError = std::move(error);
  }
  if (journal.Failed()) outcome.journalError = journal.LastError();
  return outcome;
}

UndoOutcome UndoBatches(const std::vector<const JournalBatch*>& batches, BatchProgress& progress,
                        const TrashFunction& trash, const std::string& journalPath) {
  UndoOutcome sum;
  for (const JournalBatch* batch : batches) {
    UndoOutcome one = UndoBatch(*batch, progress, trash, journalPath);
    sum.total += one.total;
    sum.undone += one.undone;
    for (UndoFailure& failure : one.failures) sum.failures.push_back(std::move(failure));
    sum.journalId = one.journalId;
    if (sum.journalError.empty()) sum.journalError = one.journalError;
  }
  return sum;
}

std::string UndoFailureNote(const UndoOutcome& outcome) {
  if (outcome.failures.empty()) return {};
  return Format("%d of %d not undone: %s", int(outcome.failures.size()), outcome.total,
                outcome.failures.front().reason);
}

}  // namespace relabo
