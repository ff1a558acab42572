// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/batch.h"

namespace relabo {

class JournalWriter;

/// What giving the marked entries a new extension did.
struct ExtensionOutcome {
  /// One operation per marked entry, in list order; folders and the parent entry fail with
  /// EISDIR and are never touched.
  std::vector<BatchOperation> operations;
  int succeeded = 0;
  int failed = 0;
};

/// The name an entry gets from the Extension command: its base name, ".", and the extension as
/// typed (no dot removed or added; empty gives "name.").
std::string NameWithExtension(std::string_view name, std::string_view extension);

/// Renames every marked file entry, top to bottom, to NameWithExtension, never replacing an
/// existing file; a failure beeps and the others go on. A folder or parent entry is skipped and
/// counted as failed with the beep: its bracketed text can be the name of a real, unmarked file.
/// With a journal, each rename is recorded once done; the caller finishes the journal.
ExtensionOutcome ChangeExtension(const BatchEntries& entries, std::string_view extension,
                                 const std::function<void()>& beep,
                                 JournalWriter* journal = nullptr);

}  // namespace relabo
