// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileutil/path.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fileutil/error.h"
#include "fileutil/unique_fd.h"

namespace relabo {

namespace {

using detail::UniqueFd;

constexpr char kDot = '.';

bool IsSeparator(char c, PathStyle style) {
  return style == PathStyle::Windows ? (c == '\\' || c == ':') : c == '/';
}

char FolderSeparator(PathStyle style) { return style == PathStyle::Windows ? '\\' : '/'; }

// The position of the last separator (or, with dots, the last dot or separator), or npos.
size_t FindLast(std::string_view text, PathStyle style, bool dots) {
  for (size_t i = text.size(); i-- > 0;) {
    if (IsSeparator(text[i], style) || (dots && text[i] == kDot)) return i;
  }
  return std::string_view::npos;
}

Error SystemError(const char* pattern, const std::string& path, int code) {
  return Error(Format(pattern, path, std::strerror(code)), code);
}

std::string CurrentFolder() {
  std::string folder = WorkingFolder();
  if (folder.empty()) throw SystemError("%s: %s", ".", errno);
  return folder;
}

// Puts the current folder back when it goes out of scope. Holds the folder open rather than
// its path, so a long, renamed or unreadable current folder is still restored.
class CurrentFolderRestorer {
 public:
  CurrentFolderRestorer() : m_saved(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC)) {
    if (!m_saved.Valid()) throw SystemError("%s: %s", ".", errno);
  }
  ~CurrentFolderRestorer() {
    // A folder that cannot be entered again leaves the process where it is.
    if (::fchdir(m_saved.Get()) != 0) return;
  }

 private:
  UniqueFd m_saved;
};

// shownPath names the folder in the message when path is relative to the current folder.
void EnterFolder(const std::string& path, const std::string& shownPath) {
  if (::chdir(path.c_str()) != 0) throw SystemError("%s: %s", shownPath, errno);
}

// True when name is an entry that is not a folder; a dangling symbolic link counts as a file.
bool IsNonFolderEntry(const std::string& name) {
  struct stat st;
  if (::stat(name.c_str(), &st) == 0) return !S_ISDIR(st.st_mode);
  return ::lstat(name.c_str(), &st) == 0;
}

}  // namespace

std::string NamePart(std::string_view path, PathStyle style) {
  const size_t p = FindLast(path, style, false);
  return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string ExtensionPart(std::string_view name, PathStyle style) {
  const size_t p = FindLast(name, style, true);
  if (p == std::string_view::npos || name[p] != kDot) return {};
  return std::string(name.substr(p));
}

std::string BaseName(std::string_view path, PathStyle style) {
  const size_t p = FindLast(path, style, true);
  if (p == std::string_view::npos) return std::string(path);
  if (path[p] != kDot) return std::string(path.substr(p + 1));
  const size_t q = FindLast(path.substr(0, p), style, false);
  const size_t begin = q == std::string_view::npos ? 0 : q + 1;
  return std::string(path.substr(begin, p - begin));
}

std::string DrivePart(std::string_view path, PathStyle style) {
  if (style == PathStyle::Posix) return {};
  if (path.size() >= 2 && path[1] == ':') return std::string(path.substr(0, 2));
  if (!path.starts_with("\\\\")) return {};
  // "\\server\share": walk from the server name up to the separator after the share name.
  size_t end = 2;  // index of the last character taken
  int separators = 0;
  while (end + 1 < path.size() && separators < 2) {
    if (path[end] == '\\') ++separators;
    if (separators < 2) ++end;
  }
  if (end < path.size() && path[end] == '\\') --end;
  return std::string(path.substr(0, end + 1));
}

std::string JoinPath(std::string_view folder, std::string_view name, PathStyle style) {
  std::string result(folder);
  if (!folder.empty() && folder.back() != FolderSeparator(style)) result += FolderSeparator(style);
  result += name;
  return result;
}

std::string WorkingFolder() {
  std::unique_ptr<char, decltype(&std::free)> path(::getcwd(nullptr, 0), &std::free);
  return path ? std::string(path.get()) : std::string();
}

bool FolderExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string LogicalPath(std::string_view path, std::string_view base) {
  std::string result = "/";
  auto walk = [&result](std::string_view text) {
    for (size_t pos = 0; pos < text.size();) {
      const size_t end = std::min(text.find('/', pos), text.size());
      const std::string_view part = text.substr(pos, end - pos);
      if (part == "..") {
        const size_t slash = result.rfind('/');
        result.erase(slash == 0 ? 1 : slash);
      } else if (!part.empty() && part != ".") {
        if (result.size() > 1) result += '/';
        result += part;
      }
      pos = end + 1;
    }
  };
  if (!path.starts_with('/')) walk(base);
  walk(path);
  return result;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? size_t(suggested) : size_t(16384));
  passwd entry;
  passwd* found = nullptr;
  while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
         buffer.size() < (size_t(1) << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  return found && found->pw_dir ? std::string(found->pw_dir) : std::string();
}

namespace {

// base: where a relative path starts; the current folder when null (asked only when needed, so
// an absolute path still works in a current folder that was removed).
EnteredPath Split(std::string_view text, const std::string* base) {
  const CurrentFolderRestorer restorer;
  EnteredPath result;
  std::string expanded;
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
    // "[name]" is a folder as the file list shows it; so "[~]" is a folder named "~".
    text = text.substr(1, text.size() - 2);
  } else if (text == "~" || text.starts_with("~/")) {
    expanded = HomeFolder();
    if (!expanded.empty()) {
      expanded += '/';
      expanded += text.substr(std::min<size_t>(2, text.size()));
      text = expanded;
    }
  }
  result.file = NamePart(text);
  // Cut the last separator and name; "/name" leaves the root.
  const std::string_view folderText =
      text.size() > result.file.size()
          ? text.substr(0, std::max<size_t>(1, text.size() - result.file.size() - 1))
          : std::string_view();
  std::string folder = folderText.starts_with('/') ? LogicalPath(folderText)
                       : base                      ? LogicalPath(folderText, *base)
                                                   : LogicalPath(folderText, CurrentFolder());
  EnterFolder(folder, folder);

  // A last name that is not a file is a folder to open, not a name to look for in one.
  const std::string& file = result.file;
  if (!file.empty() && file.find_first_of("*?") == std::string::npos && !IsNonFolderEntry(file)) {
    std::string inner = LogicalPath(file, folder);
    // ".." goes back along the path as typed, not to the parent of a link's target.
    EnterFolder(file == "." || file == ".." ? inner : file, inner);
    folder = std::move(inner);
    result.file.clear();
  }
  result.folder = std::move(folder);
  return result;
}

EnteredPath SplitTyped(const std::string& path, const std::string* base) {
  try {
    return Split(path, base);
  } catch (const Error& e) {
    if (e.Code() != ENOENT) throw;
    const std::string file = NamePart(path);
    // A home folder that is missing is no file name to look for.
    if (file.empty() || path == "~") throw;
    EnteredPath parts = Split(std::string_view(path).substr(0, path.size() - file.size()), base);
    struct stat st;
    if (!parts.file.empty() || ::lstat(JoinPath(parts.folder, file).c_str(), &st) == 0) throw;
    parts.file = file;
    return parts;
  }
}

}  // namespace

EnteredPath SplitEnteredPath(std::string_view text) { return Split(text, nullptr); }

EnteredPath SplitEnteredPath(std::string_view text, const std::string& base) {
  return Split(text, &base);
}

EnteredPath SplitTypedPath(const std::string& path) { return SplitTyped(path, nullptr); }

EnteredPath SplitTypedPath(const std::string& path, const std::string& base) {
  return SplitTyped(path, &base);
}

}  // namespace relabo
