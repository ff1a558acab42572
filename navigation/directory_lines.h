// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace relabo {

class NameCollator;

/// The kind of a line of the directory tree; the value is its glyph row.
enum class DirectoryLineKind { Subfolder = 0, Ancestor = 1, Current = 2 };

/// One line of the directory tree.
struct DirectoryLine {
  std::string name;  // bytes as the file system gives them; "/" for the root
  DirectoryLineKind kind = DirectoryLineKind::Subfolder;
  int level = 0;  // indent steps: the root 0, each folder of the chain one more, subfolders last

  bool operator==(const DirectoryLine&) const = default;
};

/// The lines of the tree of folder (an absolute path as getcwd gives it): the chain from "/" down
/// to folder, each one level deeper, then the subfolders one level deeper still, sorted by name
/// ignoring case. Hidden names (a leading "."), "." and ".." are left out. Only where the volume
/// ignores case is a name that equals an earlier one apart from case dropped (it could not be
/// opened apart from that one); elsewhere both are distinct folders and both are listed. No
/// lines at all for an empty folder.
std::vector<DirectoryLine> ComputeDirectoryLines(std::string_view folder,
                                                 std::vector<std::string> subfolders,
                                                 bool volumeIgnoresCase,
                                                 const NameCollator& collator);

/// The index of the current folder's line, -1 when there are no lines.
int CurrentLineIndex(const std::vector<DirectoryLine>& lines);

/// The folder a line stands for, with folder the one the lines were computed for: the root,
/// an ancestor, folder itself or one of its subfolders. Empty for an index outside the lines.
std::string DirectoryLinePath(std::string_view folder, const std::vector<DirectoryLine>& lines,
                              int index);

/// The names of the entries of folder that are folders, following symbolic links, in the
/// order the file system gives them. Empty when the folder cannot be read.
std::vector<std::string> ReadSubfolderNames(const std::string& folder);

/// What the tree needs to know about the volume holding a folder.
struct VolumeCaseInfo {
  bool readable = false;     // false when the volume's information cannot be read
  bool ignoresCase = false;  // names differing only in case name the same entry there
};

/// The volume information of folder: its file system type (FAT, exFAT, SMB shares, HFS+), or a
/// case-folding folder of ext4, f2fs or tmpfs, ignores case.
VolumeCaseInfo ReadVolumeCaseInfo(const std::string& folder);

}  // namespace relabo
