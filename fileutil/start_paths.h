// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace relabo {

/// Where the program opens for the paths it was started with (the command line, or entries
/// dropped on the window).
struct StartPaths {
  /// The folder to open; empty when no usable path was given.
  std::string folder;
  /// The names in that folder to mark, in the order given; empty when a folder alone was given.
  std::vector<std::string> marked;
  /// Paths that name nothing, as given.
  std::vector<std::string> missing;
  /// Paths in another folder than the first one's, or further folders, as given: not opened.
  std::vector<std::string> leftOut;
};

/// A folder given alone opens that folder. Otherwise the first existing path decides: its
/// folder opens, and every given entry of that folder is marked; entries of other folders, and
/// a folder among several paths that is not in the first one's folder, are left out. Relative
/// paths are taken from base. Reads the file system only to tell what exists and what is a
/// folder (symbolic links followed).
StartPaths ResolveStartPaths(const std::vector<std::string>& paths, const std::string& base);

}  // namespace relabo
