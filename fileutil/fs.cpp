// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileutil/fs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>

namespace relabo {

namespace {

int ErrnoOf(int result) { return result == 0 ? 0 : errno; }

// renameat2 with RENAME_NOREPLACE, or its fallbacks where the file system refuses the flag
// (EINVAL, ENOSYS: NFS, some FUSE file systems).
int RenameNoReplaceOnce(const std::string& from, const std::string& to) {
  const int result =
      ErrnoOf(::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE));
  if (result != EINVAL && result != ENOSYS) return result;
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) {
    const int linked = detail::RenameByLink(from, to);
    // Hard links refused too (vfat, some network file systems).
    if (linked != EPERM && linked != EOPNOTSUPP && linked != EMLINK) return linked;
  }
  return detail::RenameIfAbsent(from, to);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::lstat(a.c_str(), &sa) == 0 && ::lstat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// A change of letter case only on a file system that ignores case (vfat, exfat): the target
// "exists" as the source itself. A plain rename() would report success and change nothing
// there, so the file takes a temporary name first. Where the two names are true hard links of
// one file, the second step finds the target and the file gets its old name back.
int RenameThroughTemporaryName(const std::string& from, const std::string& to) {
  const size_t slash = from.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : from.substr(0, slash + 1);
  const std::string temporary = folder + ".relabo-rename-" + std::to_string(::getpid());
  if (const int result = RenameNoReplaceOnce(from, temporary)) return result;
  const int result = RenameNoReplaceOnce(temporary, to);
  if (result != 0) (void)RenameNoReplaceOnce(temporary, from);
  return result;
}

std::function<void(detail::RenameIfAbsentStep, const std::string&)>& RenameIfAbsentHook() {
  static std::function<void(detail::RenameIfAbsentStep, const std::string&)> hook;
  return hook;
}

void CallRenameIfAbsentHook(detail::RenameIfAbsentStep step, const std::string& to) {
  if (const auto& hook = RenameIfAbsentHook()) hook(step, to);
}

// The empty entry RenameIfAbsent makes at the target name, known by its inode.
struct Placeholder {
  bool folder = false;
  dev_t dev = 0;
  ino_t ino = 0;
};

// Creates the placeholder; 0, or the errno (EEXIST when the name is taken).
int MakePlaceholder(const std::string& path, Placeholder& placeholder) {
  struct stat st;
  if (placeholder.folder) {
    if (::mkdir(path.c_str(), 0700) != 0) return errno;
    // Taken over in the instant since mkdir: not ours to use or to remove.
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return EEXIST;
  } else {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return errno;
    const int stated = ::fstat(fd, &st);
    const int code = errno;
    ::close(fd);
    if (stated != 0) {
      (void)::unlink(path.c_str());
      return code;
    }
  }
  placeholder.dev = st.st_dev;
  placeholder.ino = st.st_ino;
  return 0;
}

// True while the path is still the empty placeholder made there: nobody replaced it or wrote
// into it.
bool IsOurPlaceholder(const std::string& path, const Placeholder& placeholder) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || st.st_dev != placeholder.dev ||
      st.st_ino != placeholder.ino) {
    return false;
  }
  return placeholder.folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode) && st.st_size == 0;
}

void RemoveOurPlaceholder(const std::string& path, const Placeholder& placeholder) {
  if (!IsOurPlaceholder(path, placeholder)) return;
  // rmdir leaves a folder that something was put into.
  (void)(placeholder.folder ? ::rmdir(path.c_str()) : ::unlink(path.c_str()));
}

}  // namespace

int RenameNoReplace(const std::string& from, const std::string& to) {
  // A file renamed to the name it has is already where it should be; the kernel would answer
  // EEXIST and a batch would count a failure where nothing went wrong.
  if (from == to) {
    struct stat st;
    return ::lstat(from.c_str(), &st) == 0 ? 0 : errno;
  }
  const int result = RenameNoReplaceOnce(from, to);
  if (result == EEXIST && from != to && SameFile(from, to)) {
    return RenameThroughTemporaryName(from, to);
  }
  return result;
}

namespace detail {

int RenameByLink(const std::string& from, const std::string& to) {
  // link() neither follows a symbolic link nor replaces an existing target.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  if (::unlink(from.c_str()) != 0) {
    const int result = errno;
    (void)::unlink(to.c_str());
    return result;
  }
  return 0;
}

int RenameIfAbsent(const std::string& from, const std::string& to) {
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0) return errno;
  // The name is claimed first, so that whatever another program creates there meanwhile makes
  // the claim fail or replaces the placeholder, and is then seen and left alone. rename()
  // replaces a folder only by a folder.
  Placeholder placeholder;
  placeholder.folder = S_ISDIR(st.st_mode);
  CallRenameIfAbsentHook(RenameIfAbsentStep::BeforePlaceholder, to);
  if (const int result = MakePlaceholder(to, placeholder)) return result;
  CallRenameIfAbsentHook(RenameIfAbsentStep::PlaceholderMade, to);
  if (!IsOurPlaceholder(to, placeholder)) return EEXIST;
  if (::rename(from.c_str(), to.c_str()) == 0) return 0;
  int result = errno;
  // Something was put into the placeholder folder: the name is taken.
  if (result == ENOTEMPTY) result = EEXIST;
  RemoveOurPlaceholder(to, placeholder);
  return result;
}

void SetRenameIfAbsentHook(std::function<void(RenameIfAbsentStep, const std::string&)> hook) {
  RenameIfAbsentHook() = std::move(hook);
}

}  // namespace detail

}  // namespace relabo
