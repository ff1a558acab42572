// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/extension.h"

#include <cerrno>

#include "engine/journal.h"
#include "fileutil/fs.h"
#include "fileutil/path.h"

namespace relabo {

std::string NameWithExtension(std::string_view name, std::string_view extension) {
  std::string result = BaseName(name);
  result += '.';
  result += extension;
  return result;
}

ExtensionOutcome ChangeExtension(const BatchEntries& entries, std::string_view extension,
                                 const std::function<void()>& beep, JournalWriter* journal) {
  ExtensionOutcome outcome;
  const int count = entries.Count();
  for (int i = 0; i < count; ++i) {
    if (!entries.IsMarked(i)) continue;
    const std::string name = entries.Name(i);
    BatchOperation operation{name, std::string(), false, EISDIR};
    if (entries.Kind(i) == BatchEntryKind::File) {
      operation.newName = NameWithExtension(name, extension);
      operation.error = RenameNoReplace(name, operation.newName);
      operation.done = operation.error == 0;
      if (operation.done && journal && operation.newName != name)
        journal->Add(RenameRecord(name, operation.newName));
    }
    if (operation.done) {
      ++outcome.succeeded;
    } else {
      ++outcome.failed;
      if (beep) beep();
    }
    outcome.operations.push_back(std::move(operation));
  }
  return outcome;
}

}  // namespace relabo
