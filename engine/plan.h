// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/batch.h"
#include "engine/transform.h"

namespace relabo {

class JournalWriter;

/// What stands at a name of the shown folder.
enum class NameKind { None, File, Folder, Other };

/// The names of the shown folder as a plan sees them before the batch runs.
class FolderNames {
 public:
  virtual ~FolderNames() = default;
  /// What stands at a name relative to the folder: a bare name, or a path such as "sub/name".
  /// A symbolic link is a File (it is renamed or replaced as itself); FIFOs, sockets and
  /// devices are Other.
  virtual NameKind Kind(std::string_view name) const = 0;
  /// What the name leads to, symbolic links followed (None for a link that leads nowhere):
  /// whether a path can go through it, and what a copy reads from it. Kind by default.
  virtual NameKind FollowedKind(std::string_view name) const { return Kind(name); }
  /// Why a copy of source cannot replace the file or link at target, as CopyFileContents
  /// would refuse it: the errno (EACCES for a file without write permission, 0 for the source
  /// under another name: a hard link, or a link to it), or nothing when it can.
  /// sourceReplaced: a copy of the batch replaced the source before, so a hard link to the
  /// file as read is no longer the source (a symbolic link, following the name, still is).
  /// Nothing by default.
  virtual std::optional<int> ReplaceError(std::string_view source, std::string_view target,
                                          bool sourceReplaced) const {
    (void)source;
    (void)target;
    (void)sourceReplaced;
    return std::nullopt;
  }
  /// The inode number the folder's listing gave for a bare name, and the folder's device: what
  /// the journal records of a renamed file without asking the system again. 0 when not known.
  virtual std::uint64_t Inode(std::string_view name) const {
    (void)name;
    return 0;
  }
  virtual std::uint64_t Device() const { return 0; }
  /// A hint that Kind of the name will be asked soon (a plan asks for many names in a row);
  /// nothing by default.
  virtual void Prefetch(std::string_view name) const { (void)name; }
  /// 0 when names can be made and removed in a folder ("" the folder itself, else a path
  /// relative to it), else the errno (EACCES, EROFS). 0 by default.
  virtual int WriteError(std::string_view folder) const {
    (void)folder;
    return 0;
  }
};

/// The names of a folder read once from the disk; a name holding "/" is looked up on the disk
/// when asked, and so is what a symbolic link leads to.
class DiskFolderNames : public FolderNames {
 public:
  /// Reads the folder (relative names resolve in the current folder). Throws Error when it
  /// cannot be read.
  explicit DiskFolderNames(std::string folder = ".");
  NameKind Kind(std::string_view name) const override;
  NameKind FollowedKind(std::string_view name) const override;
  std::optional<int> ReplaceError(std::string_view source, std::string_view target,
                                  bool sourceReplaced) const override;
  int WriteError(std::string_view folder) const override;
  void Prefetch(std::string_view name) const override;
  /// From the listing, where it agrees with what the system says of a file of the folder
  /// (file systems that number entries apart from their files give 0).
  std::uint64_t Inode(std::string_view name) const override;
  std::uint64_t Device() const override { return m_device; }
  /// How many names the folder held when read.
  size_t Count() const { return m_count; }
  /// Every name read, in the listing's order, with its kind and whether it is a symbolic link.
  void ForEachName(
      const std::function<void(std::string_view name, NameKind kind, bool link)>& visit) const;

 private:
  // The record of a name read (kind and link flag, length, bytes, inode), or null.
  const char* FindRecord(std::string_view name) const;
  // The kind of a name read, and whether it is a symbolic link.
  std::optional<std::pair<NameKind, bool>> Find(std::string_view name) const;
  std::string PathOf(std::string_view name) const;
  static size_t IndexStart(uint64_t slot, size_t mask);

  std::string m_folder;
  // The folder's device; 0 when the listing's inode numbers are not the files'.
  std::uint64_t m_device = 0;
  // The names one after another as records (kind, length, bytes, inode), and an open-addressing index
  // over them (hash bits and record offset + 1; 0 is free): a folder of 100,000 names is read
  // without an allocation per name and looked up with one or two memory accesses.
  std::string m_bytes;
  std::vector<uint64_t> m_index;
  size_t m_count = 0;
};

/// The names of a folder that can be entered but not listed: each looked up when asked.
class LookedUpFolderNames : public FolderNames {
 public:
  NameKind Kind(std::string_view name) const override;
  NameKind FollowedKind(std::string_view name) const override;
};

/// What a planned operation will do.
enum class PlanOutcome {
  Rename,     // renamed (Copy Files: copied to a free name)
  Unchanged,  // the new name is the old one: nothing to do, no failure
  Move,       // renamed into an existing subfolder ("sub/name")
  Replace,    // Copy Files: copied over a file that first goes where setAside puts it
  Fail,       // fails; the batch goes on
  End,        // fails and ends the batch (a number that cannot be converted, a copy that
              // cannot be made): nothing after it runs
  NotRun,     // after the end
};

/// One rename or copy of a batch, as planned.
struct PlannedOperation {
  /// The list index of the file.
  int entry = -1;
  /// Copy Files: the copy's number from 0; 0 otherwise.
  int32_t copy = 0;
  std::string oldName;
  /// The new name; NotRun: the name it would have had, empty where that cannot be computed;
  /// the number that ends the batch: empty.
  std::string newName;
  PlanOutcome outcome = PlanOutcome::Rename;
  /// The errno the operation will fail with (EEXIST, EINVAL, ENAMETOOLONG, ENOENT, ENOTDIR,
  /// EISDIR, ...), as the runner will report it; 0 when it does not fail (also for a copy onto
  /// its own source, which CopyFileContents refuses without an errno).
  int error = 0;
  /// Why it fails or ends the batch, in words for the user ("a2.txt exists", "the name is
  /// empty", "'99999999999' is not a valid integer value"); empty when it does not fail.
  std::string reason;
  /// A resolved cycle: the file first takes this name, free in the folder, and its new name
  /// only once the others are done. Empty otherwise.
  std::string temporaryName;
  /// The file's inode number as the folder was listed (FolderNames::Inode); 0 when not known.
  std::uint64_t inode = 0;
};

/// One step on the disk: an operation, or one of the two halves of one through its
/// temporary name.
struct PlanStep {
  enum class Part { Whole, ToTemporary, FromTemporary };
  size_t operation = 0;
  Part part = Part::Whole;
};

/// Everything a batch will do, computed before it touches the disk; the batch runs exactly
/// this, and the preview shows it.
struct BatchPlan {
  int command = 0;
  /// The folder's device (FolderNames::Device); 0 when not known.
  std::uint64_t device = 0;
  /// The progress total: marked entries (folders included) times the copies.
  int total = 0;
  /// One per rename or copy, in the list's order (the order of the counter values).
  std::vector<PlannedOperation> operations;
  /// The steps in the order the runner performs them: the list's order, unless chains are
  /// resolved. Operations that fail are in it too (the runner tries them and reports the
  /// real outcome; a name that is no valid name, such as an empty one, it never passes to
  /// the system), and so is the number that ends the batch, last; NotRun ones are not.
  std::vector<PlanStep> steps;
  /// The message of the error that ends the batch; empty when none does.
  std::string endingError;
  /// How many operations will change a name (Rename, Move, Replace), stay as they are, fail
  /// (Fail, End).
  int changes = 0;
  int unchanged = 0;
  int failures = 0;
};

struct PlanOptions {
  /// Orders the renames so that a name freed by another rename of the batch is taken after
  /// it, and breaks cycles through a temporary name (".relabo-cycle-<pid>-<n>", one the
  /// folder does not hold); the counter values stay those of the list's order. Of several
  /// renames to one name, the first in the list's order is the one that may get it.
  bool resolveChains = false;
  /// Copy Files: a file or link in a copy's way is set aside and replaced (Replace). False
  /// when the runner gets no setAside: such a copy ends the batch (End, EEXIST).
  bool replaceCopies = true;
};

/// Plans a command (0-7) over the marked file entries of the list, top to bottom, as RunBatch
/// would run it: each new name from TransformName in list order (Copy Files: CopyNumber copies,
/// clamped to 1..kMaxCopyNumber); then, in the order of the steps, each operation's outcome
/// against the folder's names as the operations before it leave them:
/// - the same name: Unchanged (Fail, ENOENT, when the file is gone);
/// - an empty name, ".", "..", a name over 255 bytes, a NUL byte, a path over 4095 bytes:
///   Fail (EINVAL or ENAMETOOLONG); a name holding "/" is a path relative to the folder, and
///   each of its parts is checked so (no leading, trailing or double "/", no "." or "..");
/// - a path whose folder does not exist: Fail (ENOENT; ENOTDIR where a part is no folder);
///   with an existing folder: Move;
/// - a file that is gone (an earlier operation took it away): Fail (ENOENT);
/// - a target taken (by a file there, or by an earlier operation of the batch): Fail (EEXIST);
/// - a folder without write permission or on a read-only volume: Fail (EACCES, EROFS);
/// - Copy Files: every failure ends the batch (End, endingError "Cannot open file %s" for
///   a source that is gone or no regular file, else "Cannot create file %s"); a regular file
///   or link at the target (also one an earlier copy made): Replace, unless ReplaceError
///   refuses it or replaceCopies is off; a folder, FIFO, socket or device there, or the
///   source itself: End;
/// - a number that cannot be converted: End, with the error's message as endingError.
/// Whatever follows an End is NotRun.
/// Throws std::invalid_argument for a command outside 0-7.
BatchPlan PlanBatch(const BatchEntries& entries, int command, const CommandParameters& params,
                    const FolderNames& names, const PlanOptions& options = {});

/// PlanBatch into a plan made before, such as the one a preview shows: the same plan, made in
/// the memory of the old one (its operations and their names' buffers), which at 100,000
/// files is about a third faster than a new plan and its old one freed.
void PlanBatch(const BatchEntries& entries, int command, const CommandParameters& params,
               const FolderNames& names, const PlanOptions& options, BatchPlan& plan);

/// Runs a plan's steps on the disk in the current folder, reporting each operation to the
/// progress (Start with the plan's total, Step before each operation touches the disk, the
/// position counting the operations started) and beeping for each failure; Copy Files gives a
/// file in a copy's way to setAside. A cycle interrupted half-way is finished or rolled back,
/// so no temporary name is left behind; where another program took both the new and the old
/// name meanwhile, the file keeps a free name beside its old one ("a (2).txt", in keptAs).
/// Every operation started is in the result, in the order of the steps, with its real outcome;
/// where that differs from the plan (the folder changed meanwhile), it is marked unexpected.
/// The error that ends the batch (the plan's number, a copy that fails, an exception of the
/// progress) is kept in ending, after the operations before it. A plan with a total below 1
/// starts nothing.
/// With a journal, every rename on the disk is recorded once it succeeded, in the order done
/// (both halves of a cycle's, so taking them back in reverse order never needs a name that is
/// taken), with the file's device and inode: as the plan listed them when it knows them (a
/// system call per file would cost a quarter of the batch), else read at the new name; every
/// copy with the copy's identity, size and time. What setAside does it records itself. The caller finishes the journal.
BatchOutcome RunPlan(const BatchPlan& plan, BatchProgress& progress,
                     const SetAsideFunction& setAside = {}, JournalWriter* journal = nullptr);

}  // namespace relabo
