#pragma once

#include <string>

namespace relabo {

/// The outcome of moving one entry to the trash.
struct TrashResult {
  bool trashed = false;
  /// Why the entry could not be moved (the system's text); empty when it was.
  std::string error;
};

/// Moves a file (or a symbolic link, not what it points to) to the user's trash, where the
/// desktop's trash can restore it. Never deletes for good: an entry that cannot go to a trash
/// stays where it is and the result says why. A relative path is taken from the current folder.
TrashResult TrashFile(const std::string& path);

}  // namespace relabo
