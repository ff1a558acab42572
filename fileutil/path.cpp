#include "fileutil/path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

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
  std::unique_ptr<char, decltype(&std::free)> path(::getcwd(nullptr, 0), &std::free);
  if (!path) throw SystemError("%s: %s", ".", errno);
  return path.get();
}

// Puts the current folder back when it goes out of scope. Holds the folder open rather than
// its path, so a long, renamed or unreadable current folder is still restored.
class CurrentFolderRestorer {
 public:
  CurrentFolderRestorer() : m_saved(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC)) {
    if (!m_saved.Valid()) throw SystemError("%s: %s", ".", errno);
  }
  ~CurrentFolderRestorer() { (void)::fchdir(m_saved.Get()); }

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

bool FolderExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

EnteredPath SplitEnteredPath(std::string_view text) {
  const CurrentFolderRestorer restorer;
  EnteredPath result;
  // "[name]" is a folder as the file list shows it.
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
    text = text.substr(1, text.size() - 2);
  }
  result.file = NamePart(text);
  // Cut the last separator and name; "/name" leaves the root.
  std::string folder =
      text.size() > result.file.size()
          ? std::string(text.substr(0, std::max<size_t>(1, text.size() - result.file.size() - 1)))
          : CurrentFolder();
  if (!folder.starts_with('/')) folder = JoinPath(CurrentFolder(), folder);
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  EnterFolder(folder, folder);

  // A last name that is not a file is a folder to open, not a name to look for in one.
  const std::string& file = result.file;
  if (!file.empty() && file.find_first_of("*?") == std::string::npos && !IsNonFolderEntry(file)) {
    folder = JoinPath(folder, file);
    EnterFolder(file, folder);
    result.file.clear();
  }
  result.folder = std::move(folder);
  return result;
}

EnteredPath SplitTypedPath(const std::string& path) {
  try {
    return SplitEnteredPath(path);
  } catch (const Error& e) {
    if (e.Code() != ENOENT) throw;
    const std::string file = NamePart(path);
    if (file.empty()) throw;
    EnteredPath parts = SplitEnteredPath(path.substr(0, path.size() - file.size()));
    struct stat st;
    if (!parts.file.empty() || ::lstat(JoinPath(parts.folder, file).c_str(), &st) == 0) throw;
    parts.file = file;
    return parts;
  }
}

}  // namespace relabo
