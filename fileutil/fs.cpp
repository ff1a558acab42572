#include "fileutil/fs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

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
  if (::lstat(to.c_str(), &st) == 0) return EEXIST;
  if (errno != ENOENT) return errno;
  return ErrnoOf(::rename(from.c_str(), to.c_str()));
}

}  // namespace detail

}  // namespace relabo
