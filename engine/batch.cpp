#include "engine/batch.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "fileutil/error.h"
#include "fileutil/fs.h"
#include "fileutil/path.h"

namespace relabo {

namespace {

constexpr std::string_view kTitles[kCommandCount] = {
    "Rename (Insert String)",
    "Rename (Remove String)",
    "Rename (Replace String)",
    "Rename (Change String)",
    "Rename (Change Case)",
    "Rename (Change Number)",
    "Rename",
    "Copy",
};

// The progress position of the n-th operation; a copy batch can start more operations
// than an int counts (marked files times up to ten million copies).
int Position(int64_t done) { return static_cast<int>(std::min<int64_t>(done, INT_MAX)); }

}  // namespace

std::string_view BatchTitle(int command) {
  return command >= 0 && command < kCommandCount ? kTitles[command] : std::string_view();
}

BatchOutcome RunBatch(const BatchEntries& entries, int command, const CommandParameters& params,
                      BatchProgress& progress, const SetAsideFunction& setAside) {
  if (command < 0 || command >= kCommandCount) {
    throw std::invalid_argument("RunBatch: no command " + std::to_string(command));
  }
  BatchOutcome outcome;
  const int marked = entries.MarkedCount();
  if (marked < 1) return outcome;

  const bool copying = command == kCopyFiles;
  const int32_t copies = copying ? std::clamp(params.CopyNumber, 1, kMaxCopyNumber) : 1;
  outcome.total = Position(int64_t{marked} * copies);
  outcome.started = true;
  try {
    progress.Start(outcome.total, std::string(BatchTitle(command)));

    // The names as the list held them when the batch began: whatever runs while Step lets
    // events through cannot move the batch onto other entries.
    const int count = entries.Count();
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
      if (entries.IsMarked(i) && entries.Kind(i) == BatchEntryKind::File) {
        files.push_back(entries.Name(i));
      }
    }

    if (!copying) outcome.operations.reserve(files.size());
    int64_t done = 0;
    for (const std::string& old : files) {
      if (!copying) {
        // For Rename Files the ordinal is the number of renames started, failed ones
        // included, so a failure uses up its counter value.
        std::string name = TransformName(old, command, params, static_cast<int32_t>(done));
        ++done;
        progress.Step(Position(done), old, name);
        const int error = RenameNoReplace(old, name);
        outcome.operations.push_back({old, std::move(name), error == 0, error});
        if (error == 0) {
          ++outcome.succeeded;
        } else {
          ++outcome.failed;
          progress.Beep();
        }
        continue;
      }
      for (int32_t c = 0; c < copies; ++c) {
        std::string target = TransformName(old, kCopyFiles, params, c);
        ++done;
        progress.Step(Position(done), old, target);
        try {
          CopyFileContents(old, target, setAside);
        } catch (const Error& e) {
          outcome.operations.push_back({old, std::move(target), false, e.Code()});
          ++outcome.failed;
          throw;
        }
        outcome.operations.push_back({old, std::move(target), true, 0});
        ++outcome.succeeded;
      }
    }
  } catch (...) {
    outcome.ending = std::current_exception();
  }
  return outcome;
}

}  // namespace relabo
