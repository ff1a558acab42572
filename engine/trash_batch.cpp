// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/trash_batch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <tuple>

#include "engine/journal.h"
#include "fileutil/error.h"

namespace relabo {
namespace {

// A file as a copy record describes it.
using CopyIdentity = std::tuple<std::uint64_t, std::uint64_t, std::uint64_t, std::int64_t>;

CopyIdentity IdentityOf(const struct stat& st) {
  return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::uint64_t(st.st_size),
          std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// The copies the journal knows, by identity, with the name each was made under.
std::map<CopyIdentity, std::string> KnownCopies(const std::string& journalPath) {
  std::map<CopyIdentity, std::string> copies;
  std::vector<JournalBatch> batches;
  try {
    batches = ReadJournal(journalPath);
  } catch (const Error&) {
    // Without the journal every file in the way goes to the trash, which loses nothing.
    return copies;
  }
  for (const JournalBatch& batch : batches) {
    if (batch.undone) continue;
    for (const JournalOperation& op : batch.operations) {
      if (op.kind != JournalOperationKind::Copy || op.inode == 0) continue;
      copies[{op.device, op.inode, op.size, op.mtimeNs}] = op.newName;
    }
  }
  return copies;
}

}  // namespace

JournalOperation DeleteRecord(const std::string& name, const TrashResult& result) {
  JournalOperation record;
  record.kind = JournalOperationKind::Delete;
  record.oldName = name;
  record.trashedPath = result.trashedPath;
  record.trashInfoPath = result.infoPath;
  record.device = result.device;
  record.inode = result.inode;
  return record;
}

DeleteOutcome TrashMarked(const BatchEntries& entries, BatchProgress& progress,
                          const TrashFunction& trash, JournalWriter* journal) {
  DeleteOutcome outcome;
  const int count = entries.Count();
  for (int i = 0; i < count; ++i) {
    if (!entries.IsMarked(i) || entries.Kind(i) != BatchEntryKind::File) continue;
    const std::string name = entries.Name(i);
    ++outcome.attempted;
    progress.Step(outcome.attempted, name, std::string());
    if (journal) journal->FlushIfDue();
    const TrashResult result = trash(name);
    if (result.trashed) {
      ++outcome.trashed;
      if (journal) journal->Add(DeleteRecord(name, result));
    } else if (outcome.refused++ == 0) {
      outcome.firstError = result.error.empty() ? "not moved to the trash" : result.error;
    }
  }
  return outcome;
}

SetAsideFunction RecordedSetAside(const TrashFunction& trash, JournalWriter* journal,
                                  const std::string& journalPath) {
  auto known = std::make_shared<std::optional<std::map<CopyIdentity, std::string>>>();
  return [trash, journal, journalPath, known](const std::string& path) -> std::string {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      if (!*known) *known = KnownCopies(journalPath);
      const auto it = (*known)->find(IdentityOf(st));
      // Only under the name it was made with: a copy renamed since is the user's file now.
      if (it != (*known)->end() && it->second == path) {
        if (::unlink(path.c_str()) == 0 || errno == ENOENT) return {};
        return std::strerror(errno);
      }
    }
    const TrashResult result = trash(path);
    if (!result.trashed) return result.error.empty() ? "not moved to the trash" : result.error;
    if (journal) journal->Add(DeleteRecord(path, result));
    return {};
  };
}

}  // namespace relabo
