#pragma once

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
/// lstat the target and rename only when it is absent (a small race remains).
int RenameIfAbsent(const std::string& from, const std::string& to);
}  // namespace detail

}  // namespace relabo
