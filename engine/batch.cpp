// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/batch.h"

#include <memory>
#include <stdexcept>
#include <string>

#include "engine/plan.h"
#include "fileutil/error.h"

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

}  // namespace

std::string_view BatchTitle(int command) {
  return command >= 0 && command < kCommandCount ? kTitles[command] : std::string_view();
}

BatchOutcome RunBatch(const BatchEntries& entries, int command, const CommandParameters& params,
                      BatchProgress& progress, const SetAsideFunction& setAside) {
  if (command < 0 || command >= kCommandCount) {
    throw std::invalid_argument("RunBatch: no command " + std::to_string(command));
  }
  if (entries.MarkedCount() < 1) return BatchOutcome();
  PlanOptions options;
  options.replaceCopies = static_cast<bool>(setAside);
  std::unique_ptr<FolderNames> names;
  try {
    names = std::make_unique<DiskFolderNames>(".");
  } catch (const Error&) {
    names = std::make_unique<LookedUpFolderNames>();
  }
  return RunPlan(PlanBatch(entries, command, params, *names, options), progress, setAside);
}

}  // namespace relabo
