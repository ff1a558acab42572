// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "engine/batch.h"
#include "engine/journal.h"
#include "engine/trash_result.h"
#include "fileutil/path.h"

namespace relabo {

/// What moving the marked files to the trash did.
struct DeleteOutcome {
  /// Files tried, trashed and refused by the trash (which left them where they were).
  int attempted = 0;
  int trashed = 0;
  int refused = 0;
  /// Why the first refused file stayed.
  std::string firstError;
};

/// The journal's record of an entry the trash took (name as the batch used it).
JournalOperation DeleteRecord(const std::string& name, const TrashResult& result);

/// Moves every marked file entry (not folders, not the parent entry) to the trash, top to
/// bottom, showing each in progress (which the caller has started) before it goes. With a
/// journal, each file that went is recorded with where the trash put it; the caller finishes
/// the journal.
DeleteOutcome TrashMarked(const BatchEntries& entries, BatchProgress& progress,
                          const TrashFunction& trash, JournalWriter* journal = nullptr);

/// What Copy Files does with a file in a copy's way: one that the journal at journalPath shows
/// to be a copy this program made, unchanged since (the same device, inode, size and time), is
/// removed so the new copy simply replaces it; any other goes to the trash, recorded in the
/// journal when one is given, and where it cannot go there it stays and the copy fails. The
/// journal file is read once, when the first file is in the way.
SetAsideFunction RecordedSetAside(const TrashFunction& trash, JournalWriter* journal,
                                  const std::string& journalPath);

}  // namespace relabo
