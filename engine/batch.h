// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "engine/transform.h"
#include "fileutil/path.h"

namespace relabo {

/// The kinds of list entries a batch meets; only files are renamed or copied.
enum class BatchEntryKind { File, Folder, Parent };

/// The entries of the shown folder as the batch reads them, in the list's order. Names are
/// bare and resolve in the current folder.
class BatchEntries {
 public:
  virtual ~BatchEntries() = default;
  virtual int Count() const = 0;
  /// Marked entries of every kind, folders included.
  virtual int MarkedCount() const = 0;
  virtual bool IsMarked(int index) const = 0;
  virtual BatchEntryKind Kind(int index) const = 0;
  virtual std::string Name(int index) const = 0;
};

/// Where a batch reports its steps (the progress window, or a recorder in tests).
class BatchProgress {
 public:
  virtual ~BatchProgress() = default;
  virtual void Start(int total, const std::string& title) = 0;
  /// Called before the file is touched; position counts from 1.
  virtual void Step(int position, const std::string& oldName, const std::string& newName) = 0;
  /// Sounds the failure of one rename.
  virtual void Beep() = 0;
};

/// One rename or copy of a batch.
struct BatchOperation {
  std::string oldName;
  std::string newName;
  bool done = false;
  /// The errno of a failure; 0 when done, or when the error that ended the batch had none.
  int error = 0;
  /// The real outcome differed from the plan's: the folder changed meanwhile.
  bool unexpected = false;
  /// The index of the operation in the plan that ran (BatchPlan::operations); -1 when it did
  /// not come from a plan.
  int planIndex = -1;
  /// Where the file was left when neither its new nor its old name could be had any more (a
  /// cycle broken by another program); empty otherwise.
  std::string keptAs{};
};

/// What a batch did, for the status line and for the error to show after the wind-up.
struct BatchOutcome {
  /// False when nothing was marked: no window was started and nothing needs winding up.
  bool started = false;
  /// The total given to BatchProgress::Start.
  int total = 0;
  /// Every operation started, in order; the last one may be the one that ended the batch.
  std::vector<BatchOperation> operations;
  int succeeded = 0;
  int failed = 0;
  /// The error that ended the batch early (a copy that could not be made, a number that
  /// could not be converted), or null.
  std::exception_ptr ending;

  /// Throws the error that ended the batch, if any.
  void RethrowEnding() const {
    if (ending) std::rethrow_exception(ending);
  }
};

/// The largest number of copies of one file; the Copy Files page holds the same range.
constexpr int32_t kMaxCopyNumber = 10000000;

/// The progress title of a command ("Rename (Insert String)" ... "Rename", "Copy"); empty
/// outside 0-7.
std::string_view BatchTitle(int command);

/// Applies a command (0-7) to every marked file entry, top to bottom: computes the new name,
/// counts it, reports it, then renames without replacing (a failure beeps and the batch goes
/// on) or, for Copy Files, copies it CopyNumber times (clamped to 1..kMaxCopyNumber). It runs
/// the plan PlanBatch makes of the current folder (chains not resolved), so the outcomes are
/// the ones a preview of that plan shows.
/// A copy replaces a file or link that has its name only after setAside has moved that out of
/// the way (CopyFileContents with setAside), so running the same copies twice replaces the
/// first run's copies and keeps them where setAside put them; with no setAside, a copy whose
/// name is taken ends the batch. Returns at once when nothing is marked. Never throws for a
/// failure of the batch itself: the error that ends it is kept in the outcome together with
/// everything done before, so the caller can wind up first and rethrow after. Throws
/// std::invalid_argument for a command outside 0-7, before anything is started.
BatchOutcome RunBatch(const BatchEntries& entries, int command, const CommandParameters& params,
                      BatchProgress& progress, const SetAsideFunction& setAside = {});

}  // namespace relabo
