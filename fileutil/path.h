// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace relabo {

/// Posix: "/" separates folders and there is no drive (the style the program uses).
/// Windows: "\" separates folders, ":" ends a drive letter, "\\server\share" is a drive.
enum class PathStyle { Posix, Windows };

/// The text after the last folder (or drive) separator; all of it when there is none.
std::string NamePart(std::string_view path, PathStyle style = PathStyle::Posix);
/// The extension with its dot ("a.b.c" -> ".c", ".profile" -> ".profile"), or empty.
std::string ExtensionPart(std::string_view name, PathStyle style = PathStyle::Posix);
/// The name without its folder, drive and extension. BaseName(p) + ExtensionPart(NamePart(p))
/// is always NamePart(p).
std::string BaseName(std::string_view path, PathStyle style = PathStyle::Posix);
/// "C:" or "\\server\share" in the Windows style; always empty in the Posix style.
std::string DrivePart(std::string_view path, PathStyle style = PathStyle::Posix);
/// The folder and the name with one separator between them (none after an empty folder).
std::string JoinPath(std::string_view folder, std::string_view name,
                     PathStyle style = PathStyle::Posix);

/// The process's current folder; empty when it cannot be read (it was removed, say), with
/// errno telling why.
std::string WorkingFolder();

/// True when the path names an existing folder (following symbolic links).
bool FolderExists(const std::string& path);

/// Moves a file that stands in a copy's way out of it (to the trash); returns an empty text, or why
/// it could not.
using SetAsideFunction = std::function<std::string(const std::string& path)>;

/// Copies the contents of a regular file (as many bytes as it held when opened, holes kept as
/// holes) to a temporary file in the target's folder, then moves that into place; the new
/// file's mode is 0666 less the umask. A regular file or a symbolic link at the target is
/// replaced by one rename (a link as a link: what it points to is untouched). Throws Error
/// "Cannot open file %s" for a source that is not a regular file, "Cannot create file %s" at
/// once for a folder, FIFO, socket or device at the target, for a target without write
/// permission and for the source itself under another name, or "Cannot read file %s: %s" /
/// "Cannot write file %s: %s". A copy that fails leaves neither a partial target nor its
/// temporary file.
void CopyFileContents(const std::string& source, const std::string& target);
/// CopyFileContents that replaces nothing it has not set aside: a regular file or link at the
/// target is handed to setAside once the copy is written, and the copy moves in only where the
/// name is then free. "Cannot create file %s" when setAside is empty or gives a reason, or
/// when the name is taken again meanwhile; whatever stands at the target then stays.
void CopyFileContents(const std::string& source, const std::string& target,
                      const SetAsideFunction& setAside);

struct EnteredPath {
  std::string drive;   // always empty: there are no drive letters here
  std::string folder;  // the folder to open, absolute
  std::string file;    // a file name or a pattern in that folder, or empty
};

/// The absolute path that path names when it is walked from base as a shell walks it: without
/// empty and "." parts, each ".." taking back the part before it (never above "/"). Symbolic
/// links are not resolved, so "link/.." is base again. A relative path is taken from base, a
/// relative or empty base from "/". "/" for the root, no trailing "/" otherwise.
std::string LogicalPath(std::string_view path, std::string_view base = "/");

/// The user's home folder: $HOME when it is an absolute path, else the home folder of the
/// user's passwd entry; empty when neither is known.
std::string HomeFolder();

/// Splits a path the user typed into the folder to open and a file name or pattern.
/// A trailing folder name moves into the folder part, "[name]" is the folder as the list shows
/// it, "~" and "~/..." stand for HomeFolder(), and a relative path is taken from the current
/// folder. The folder is a LogicalPath: as typed, with "." and ".." taken out, symbolic links
/// kept. Probes by changing the current folder and always restores it; throws Error with the
/// system's message when a folder cannot be entered.
EnteredPath SplitEnteredPath(std::string_view text);
/// The same with a relative path taken from base (an absolute folder) instead.
EnteredPath SplitEnteredPath(std::string_view text, const std::string& base);

/// SplitEnteredPath for a path that names a file to open: a last name that names nothing is a
/// missing file of its folder (returned as the file part) rather than a folder that cannot be
/// entered. Other failures throw as SplitEnteredPath does.
EnteredPath SplitTypedPath(const std::string& path);
EnteredPath SplitTypedPath(const std::string& path, const std::string& base);

}  // namespace relabo
