// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "engine/trash_result.h"

namespace relabo {

/// Moves a file (or a symbolic link, not what it points to) to the user's trash, where the
/// desktop's trash can restore it. Never deletes for good: an entry that cannot go to a trash
/// stays where it is and the result says why. A relative path is taken from the current folder.
/// The result tells where the trash put the entry and its .trashinfo file, found by its device
/// and inode among the trash's files: first under the names the trash gives ("name", then
/// "report.2.txt", "notes.2"...), only when those miss by a look through the trash folders.
/// When it is not found the paths stay empty; the entry was trashed all the same.
TrashResult TrashFile(const std::string& path);

}  // namespace relabo
