// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/journal.h"

namespace relabo {

/// The undo journal as the window's Undo entries show it, read again only when the file
/// changed (another running copy of the program may have written to it).
class JournalView {
 public:
  explicit JournalView(std::string path = DefaultJournalPath());

  const std::string& Path() const { return m_path; }
  /// The batches in file order. Read again when the file's identity, size or time changed; a
  /// journal that cannot be read is empty, with the error kept.
  const std::vector<JournalBatch>& Batches();
  /// Why the journal could not be read; empty when it could.
  const std::string& ReadError() const { return m_error; }

 private:
  std::string m_path;
  std::vector<JournalBatch> m_batches;
  std::string m_error;
  bool m_read = false;
  dev_t m_device = 0;
  ino_t m_inode = 0;
  off_t m_size = -1;
  std::int64_t m_mtimeNs = -1;
};

/// The Undo entry's caption: "&Undo" and the title of the batch it takes back, or "&Undo"
/// alone when there is none.
QString UndoCaption(const JournalBatch* batch);

/// What Undo History asks before it takes back the batches (newest first), in words.
QString UndoQuestion(const std::vector<const JournalBatch*>& sequence);

}  // namespace relabo
