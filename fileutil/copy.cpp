// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "fileutil/error.h"
#include "fileutil/fs.h"
#include "fileutil/path.h"
#include "fileutil/unique_fd.h"

namespace relabo {

namespace {

using detail::UniqueFd;

constexpr size_t kBufferSize = 256 * 1024;
// The most one copy_file_range call is asked for, so that a huge extent is copied in steps.
constexpr off_t kKernelChunk = off_t{1} << 30;

Error SystemError(const char* pattern, const std::string& path, int code) {
  return Error(Format(pattern, path, std::strerror(code)), code);
}

Error CreateError(const std::string& target, int code) {
  return Error(Format("Cannot create file %s", target), code);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether a file or a link stands at the target, to be replaced. Looks with lstat and never
// opens the target: a FIFO there must not block the program, and a link must not lead the
// copy to the file it points to. Throws for what may not be replaced.
bool TargetExists(const std::string& target, const struct stat& source) {
  struct stat st;
  if (::lstat(target.c_str(), &st) != 0) {
    if (errno == ENOENT) return false;  // a missing folder on the way fails at the temporary
    throw CreateError(target, errno);
  }
  if (S_ISLNK(st.st_mode)) {
    // A link to the source is the source by another name, as a hard link is.
    struct stat pointed;
    if (::stat(target.c_str(), &pointed) == 0 && SameFile(pointed, source)) {
      throw CreateError(target, 0);
    }
    return true;
  }
  // A folder, FIFO, socket or device holds no copy to replace.
  if (!S_ISREG(st.st_mode)) throw CreateError(target, S_ISDIR(st.st_mode) ? EISDIR : EEXIST);
  if (SameFile(st, source)) throw CreateError(target, 0);
  // A read-only file is not replaced either, although its folder would allow it.
  if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    throw CreateError(target, errno);
  }
  return true;
}

// The copy's own file in the target's folder (so that moving it into place is a rename),
// removed unless it was moved.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& target) : m_fd(Create(target, m_path)) {
    if (!m_fd.Valid()) throw CreateError(target, errno);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    m_fd.Close();
    if (!m_placed) (void)::unlink(m_path.c_str());
  }

  int Fd() const { return m_fd.Get(); }
  const std::string& Path() const { return m_path; }
  int Close() { return m_fd.Close(); }
  void Placed() { m_placed = true; }

 private:
  // Opens a new file under a free hidden name; -1 with errno set on failure.
  static int Create(const std::string& target, std::string& path) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const auto clock =
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
      char name[64];
      std::snprintf(name, sizeof name, ".relabo-copy-%d-%x", static_cast<int>(::getpid()),
                    clock ^ (counter++ * 0x9E3779B9u));
      path = folder + name;
      // O_EXCL neither follows a link nor opens what is there; the mode is that of any new
      // file, the umask applied.
      const int fd =
          ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
  }

  std::string m_path;
  UniqueFd m_fd;
  bool m_placed = false;
};

// Writes all size bytes at offset; 0, or the errno of the failure.
int WriteAllAt(int fd, const char* data, size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, data, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return ENOSPC;
    data += n;
    size -= static_cast<size_t>(n);
    offset += n;
  }
  return 0;
}

// Copies byte ranges of the source to the same offsets of the copy.
class RangeCopier {
 public:
  RangeCopier(int in, int out, const std::string& source, const std::string& target)
      : m_in(in), m_out(out), m_source(source), m_target(target) {}

  // Copies [offset, end); returns where the source ended: end, or less when it shrank.
  off_t Copy(off_t offset, off_t end) {
    // The kernel copies without a trip through this process (and shares extents where the
    // file system can); where it cannot, pread and pwrite do.
    while (m_kernel && offset < end) {
      loff_t from = offset;
      loff_t to = offset;
      const ssize_t n = ::copy_file_range(
          m_in, &from, m_out, &to, static_cast<size_t>(std::min(end - offset, kKernelChunk)), 0);
      if (n > 0) {
        offset += n;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      // 0 is the end of a source that shrank, or a file system that copies nothing this way:
      // the reads below tell which.
      if (n == 0 || errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
          errno == EBADF || errno == ETXTBSY) {
        m_kernel = false;
        break;
      }
      if (errno == EIO) throw SystemError("Cannot read file %s: %s", m_source, errno);
      throw SystemError("Cannot write file %s: %s", m_target, errno);
    }
    if (offset < end && !m_buffer) m_buffer = std::make_unique<char[]>(kBufferSize);
    while (offset < end) {
      const ssize_t n =
          ::pread(m_in, m_buffer.get(), std::min<off_t>(end - offset, kBufferSize), offset);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw SystemError("Cannot read file %s: %s", m_source, errno);
      if (n == 0) break;
      if (const int code = WriteAllAt(m_out, m_buffer.get(), static_cast<size_t>(n), offset)) {
        throw SystemError("Cannot write file %s: %s", m_target, code);
      }
      offset += n;
    }
    return offset;
  }

 private:
  int m_in;
  int m_out;
  const std::string& m_source;
  const std::string& m_target;
  bool m_kernel = true;
  std::unique_ptr<char[]> m_buffer;
};

// Copies the data of the source's first size bytes and returns the length the copy is to
// have: size, or less when the source shrank meanwhile. Only the extents that hold data are
// copied (SEEK_DATA, SEEK_HOLE), so holes stay holes once the copy is given its length; where
// the file system cannot tell, all of it is data.
off_t CopyData(int in, off_t size, int out, const std::string& source, const std::string& target) {
  RangeCopier copier(in, out, source, target);
  bool seekable = true;
  off_t offset = 0;
  while (offset < size) {
    off_t data = offset;
    off_t hole = size;
    if (seekable) {
      data = ::lseek(in, offset, SEEK_DATA);
      if (data < 0 && errno == ENXIO) break;  // only a hole from here to the end
      if (data < 0) {
        seekable = false;
        data = offset;
      } else {
        hole = ::lseek(in, data, SEEK_HOLE);
        if (hole <= data) hole = size;
      }
    }
    if (data >= size) break;
    hole = std::min(hole, size);
    const off_t reached = copier.Copy(data, hole);
    if (reached < hole) return reached;
    offset = hole;
  }
  struct stat now;
  if (::fstat(in, &now) == 0 && now.st_size < size) return now.st_size;
  return size;
}

// setAside null: a file or link at the target is replaced by the rename.
void CopyInto(const std::string& source, const std::string& target,
              const SetAsideFunction* setAside) {
  // O_NONBLOCK: a FIFO listed among the files must not block the program in open().
  UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat inStat;
  if (!in.Valid() || ::fstat(in.Get(), &inStat) != 0) {
    const int code = errno;
    throw Error(Format("Cannot open file %s", source), code);
  }
  // Only a regular file has contents to copy; a folder, FIFO, socket or device has not.
  if (!S_ISREG(inStat.st_mode)) {
    throw Error(Format("Cannot open file %s", source), S_ISDIR(inStat.st_mode) ? EISDIR : EINVAL);
  }
  const bool exists = TargetExists(target, inStat);
  // Nothing is written when the file in the way has nowhere to go.
  if (exists && setAside && !*setAside) throw CreateError(target, EEXIST);

  TemporaryFile copy(target);
  // As many bytes as the source held when it was opened; a file that grows meanwhile (a log)
  // does not make the copy run on.
  const off_t size = CopyData(in.Get(), inStat.st_size, copy.Fd(), source, target);
  if (::ftruncate(copy.Fd(), size) != 0) {
    throw SystemError("Cannot write file %s: %s", target, errno);
  }
  // A delayed write error (a full disk on a network share) shows only here.
  if (copy.Close() != 0) throw SystemError("Cannot write file %s: %s", target, errno);

  if (exists && !setAside) {
    // One rename: the old file is there until the new one is.
    if (::rename(copy.Path().c_str(), target.c_str()) != 0) throw CreateError(target, errno);
  } else {
    // The old file goes only once the copy is complete, so a failed copy leaves it in place.
    if (exists && !(*setAside)(target).empty()) throw CreateError(target, EEXIST);
    // Never over a file that took the name meanwhile.
    if (const int code = RenameNoReplace(copy.Path(), target)) throw CreateError(target, code);
  }
  copy.Placed();
}

}  // namespace

void CopyFileContents(const std::string& source, const std::string& target) {
  CopyInto(source, target, nullptr);
}

void CopyFileContents(const std::string& source, const std::string& target,
                      const SetAsideFunction& setAside) {
  CopyInto(source, target, &setAside);
}

}  // namespace relabo
