// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct statx;

namespace relabo {

// The undo journal: one text line per record, appended by every running copy of the program.
//
//   batch   ID TIME_NS FOLDER TITLE UNDOES
//   rename  ID OLD NEW DEVICE INODE BIRTH_NS
//   copy    ID SOURCE COPY DEVICE INODE SIZE MTIME_NS
//   delete  ID OLD TRASHED_PATH TRASHINFO_PATH DEVICE INODE
//   restore ID NAME TRASHED_PATH DEVICE INODE
//   undone ID
//   end    ID
//
// ID is "<time in ns>-<pid>"; UNDOES is the id of the batch an undo takes back ("-" for
// every other batch). Fields are separated by one space; text fields keep printable
// ASCII except the backslash as it is and write every other byte as \xHH; an empty text field
// is "-" (and the name "-" is \x2d). Records of batches written at the same time interleave,
// which is why each one carries its batch's id.

/// Restore: a file that came back from the trash to its name (what an undo of a delete does).
enum class JournalOperationKind { Rename, Copy, Delete, Restore };

/// One operation that succeeded. Names are as the batch used them (bare names in the batch's
/// folder).
struct JournalOperation {
  JournalOperationKind kind = JournalOperationKind::Rename;
  /// Rename: the old name; copy: the source; delete: the deleted name; restore: the name the
  /// file came back to.
  std::string oldName;
  /// Rename: the new name; copy: the copy's name; unused for a delete and a restore.
  std::string newName;
  /// Rename: the renamed file; copy: the copy; delete and restore: the file as it was before
  /// it moved (0 when not known).
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  /// Rename only: when the file was made, where the file system keeps it (0 otherwise): a
  /// file made after another was removed can get its inode number.
  std::int64_t birthNs = 0;
  /// Copy only: the copy as it was written.
  std::uint64_t size = 0;
  std::int64_t mtimeNs = 0;
  /// Delete and restore: where the trash put the file and its .trashinfo; empty when not
  /// known (a restore has no .trashinfo).
  std::string trashedPath;
  std::string trashInfoPath;

  bool operator==(const JournalOperation&) const = default;
};

struct JournalBatch {
  std::string id;
  /// Wall-clock time the batch began, in ns since the epoch.
  std::int64_t timeNs = 0;
  std::string folder;
  std::string title;
  /// The id of the batch this one took back; empty when it is no undo.
  std::string undoes;
  std::vector<JournalOperation> operations;
  bool undone = false;
  /// The batch's end record was written; false when it was interrupted (its operations up to
  /// the last one recorded still count).
  bool complete = false;

  bool operator==(const JournalBatch&) const = default;
};

struct JournalOptions {
  /// Trimming keeps at most this many batches, the newest...
  std::size_t maxBatches = 100;
  /// ...and at most this many bytes of them.
  std::uint64_t maxBytes = std::uint64_t(64) << 20;
  /// Buffered operations are written by the first Add after this long.
  std::chrono::steady_clock::duration flushInterval = std::chrono::milliseconds(50);
};

/// $XDG_STATE_HOME/relabo/journal, or ~/.local/state/relabo/journal when that variable is not
/// an absolute path.
std::string DefaultJournalPath();

/// Records one batch. Failing to write the journal never fails the batch: the writer keeps the
/// error's text and stops writing.
class JournalWriter {
 public:
  /// Writes the batch's header at once (creating the journal's folder, mode 0700, when needed)
  /// and trims the journal when it holds more than the options allow.
  /// undoes: the id of the batch this one takes back, empty for any other batch.
  JournalWriter(std::string path, const std::string& folder, const std::string& title,
                JournalOptions options = {}, const std::string& undoes = {});
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;
  /// Writes what is buffered, without an end record when Finish was not called.
  ~JournalWriter();

  void Add(const JournalOperation& operation);
  /// Add of a rename whose file is known by the listing: the record without a copy of the names.
  void AddRename(std::string_view from, std::string_view to, std::uint64_t device,
                 std::uint64_t inode);
  /// Writes the buffered operations when the last write is longer ago than the flush interval;
  /// a runner calls it before an operation that may take long.
  void FlushIfDue();
  /// Writes the buffered operations and the end record and syncs the file to disk.
  void Finish();

  const std::string& Id() const { return m_id; }
  bool Failed() const { return m_failed; }
  /// The text of the error that stopped the journal; empty while all is well.
  const std::string& LastError() const { return m_error; }

 private:
  void Open();
  bool Flush();
  void Trim();
  void Fail(const std::string& what, int error);

  std::string m_path;
  JournalOptions m_options;
  std::string m_id;
  int m_fd = -1;
  std::string m_buffer;
  std::chrono::steady_clock::time_point m_lastFlush;
  bool m_failed = false;
  bool m_finished = false;
  std::string m_error;
};

/// The record of a rename just done, with the file's identity as it stands at its new name
/// (0 when it cannot be read). Relative names resolve in the current folder.
JournalOperation RenameRecord(const std::string& from, const std::string& to);
/// The record of a copy just made: the copy's identity, size and time.
JournalOperation CopyRecord(const std::string& source, const std::string& copy);

/// The birth time statx read, in ns.
std::int64_t BirthNs(const struct statx& st);

/// Every batch of the journal in file order. A missing file is an empty journal; a last line
/// torn by a crash, and any line that does not parse, is skipped. Throws relabo::Error when the
/// file exists but cannot be read.
std::vector<JournalBatch> ReadJournal(const std::string& path);

/// Appends the record that marks a batch as undone. Returns the error's text, empty when the
/// record was written.
std::string MarkUndone(const std::string& path, const std::string& id);

}  // namespace relabo
