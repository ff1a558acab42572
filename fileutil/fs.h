// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

namespace relabo {

/// Renames without ever replacing an existing file: 0, or the errno of the failure
/// (EEXIST when the target exists). Relative names resolve in the current folder.
int RenameNoReplace(const std::string& from, const std::string& to);

namespace detail {
// The fallbacks of RenameNoReplace for file systems that refuse RENAME_NOREPLACE; public so
// tests can force them on any file system.
/// link + unlink (never replaces); for files and links, not folders.
int RenameByLink(const std::string& from, const std::string& to);
/// Claims the target name with an empty placeholder of its own (a file, or a folder for a
/// folder), then renames over the placeholder if it is still that placeholder. Whatever takes
/// the name meanwhile stays (EEXIST); only the instant between that check and the rename
/// remains open.
int RenameIfAbsent(const std::string& from, const std::string& to);

/// The moments of RenameIfAbsent at which a test acts as a racing program would.
enum class RenameIfAbsentStep { BeforePlaceholder, PlaceholderMade };
/// Sets the function RenameIfAbsent calls at each step with the target; empty removes it.
void SetRenameIfAbsentHook(std::function<void(RenameIfAbsentStep, const std::string&)> hook);
}  // namespace detail

}  // namespace relabo
