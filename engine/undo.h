// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "engine/batch.h"
#include "engine/journal.h"
#include "engine/trash_result.h"

namespace relabo {

/// One operation of a batch that could not be taken back.
struct UndoFailure {
  /// The name the file has (or had) in the batch's folder.
  std::string name;
  /// Why, in words for the user ("the name is taken").
  std::string reason;
};

/// What taking back one batch did.
struct UndoOutcome {
  /// The batch's operations tried, and how many of them were taken back.
  int total = 0;
  int undone = 0;
  /// In the order tried (newest operation first).
  std::vector<UndoFailure> failures;
  /// The id the undo has in the journal, and the journal's error (empty while all is well).
  std::string journalId;
  std::string journalError;
};

/// Whether Undo can take the batch back: it is no undo itself, not undone, and did something.
bool Undoable(const JournalBatch& batch);
/// The newest batch Undo takes back, or null.
const JournalBatch* NewestUndoable(const std::vector<JournalBatch>& batches);
/// The batches that undoing the batch with this id takes back, newest first: it and every
/// later undoable batch of the same folder. Empty when the id names no undoable batch.
std::vector<const JournalBatch*> UndoSequence(const std::vector<JournalBatch>& batches,
                                              const std::string& id);
/// The title of the undo of a batch: "Undo " and the batch's title.
std::string UndoTitle(const JournalBatch& batch);

/// Takes back one batch in the reverse order of its operations, never replacing anything:
/// - a rename, when the file at the new name is still the one renamed (device and inode) and
///   the old name is free; a file that would be left at a name the batch only passed through
///   (a cycle's temporary name) goes back to where the undo found it;
/// - a copy goes to the trash when it is unchanged (device, inode, size and time);
/// - a deleted file comes back from the trash to its old name when that is free, and its
///   .trashinfo is removed.
/// What cannot be taken back stays as it is and is in the failures. The undo is recorded in
/// the journal at journalPath as a batch of its own, which names the batch it takes back, and
/// once anything was taken back the batch is marked undone. Reports each operation to progress
/// (started here with the undo's title). Paths are the batch's folder and the recorded names.
UndoOutcome UndoBatch(const JournalBatch& batch, BatchProgress& progress,
                      const TrashFunction& trash, const std::string& journalPath);

/// UndoBatch for each batch in turn (as UndoSequence gives them); the outcome is their sum,
/// with the last undo's journal id and the first journal error.
UndoOutcome UndoBatches(const std::vector<const JournalBatch*>& batches, BatchProgress& progress,
                        const TrashFunction& trash, const std::string& journalPath);

/// The status line's words for an undo: empty when everything was taken back, else "2 of 40
/// not undone: the name is taken" with the first failure's reason.
std::string UndoFailureNote(const UndoOutcome& outcome);

}  // namespace relabo
