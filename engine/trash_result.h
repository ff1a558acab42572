// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace relabo {

/// The outcome of moving one entry to the trash.
struct TrashResult {
  bool trashed = false;
  /// Why the entry could not be moved (the system's text); empty when it was.
  std::string error;
  /// Where the trash put the entry and its .trashinfo file, absolute; empty when not known
  /// (the entry was trashed all the same).
  std::string trashedPath;
  std::string infoPath;
  /// The entry as it was before it moved (a move within a volume keeps both).
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

/// Moves one entry (a path, relative ones from the current folder) to the trash.
using TrashFunction = std::function<TrashResult(const std::string& path)>;

}  // namespace relabo
