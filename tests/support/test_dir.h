// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace relabo::test {

/// A temporary folder for one test, removed with everything in it when the object goes.
/// Helpers take paths relative to it and throw std::runtime_error when the disk refuses.
class TestDir {
 public:
  TestDir() : TestDir(nullptr) {}
  /// In base when it can be written there and has 256 MiB free (a memory file system for a
  /// folder of many thousands of entries, which takes long to make on some disks), else where
  /// TestDir() is.
  explicit TestDir(const char* base) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string usual = tmp && *tmp ? std::string(tmp) : std::string("/tmp");
    struct statvfs room {};
    const bool roomy = base && ::access(base, W_OK) == 0 && ::statvfs(base, &room) == 0 &&
                       room.f_bavail * room.f_frsize >= (uint64_t{256} << 20);
    std::string pattern = (roomy ? std::string(base) : usual) + "/relabo-XXXXXX";
    if (!::mkdtemp(pattern.data())) Fail("mkdtemp", pattern);
    // Without symbolic links in it, so paths compare equal to what getcwd reports.
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(pattern.c_str(), nullptr),
                                                     &std::free);
    m_root = real ? real.get() : pattern;
  }
  TestDir(const TestDir&) = delete;
  TestDir& operator=(const TestDir&) = delete;
  ~TestDir() {
    MakeRemovable(m_root);
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
  }

  const std::string& Root() const { return m_root; }
  /// The absolute path of rel; the root itself for an empty rel.
  std::string Path(std::string_view rel = {}) const {
    return rel.empty() ? m_root : m_root + "/" + std::string(rel);
  }

  /// Creates (or replaces) a file with its parent folders; mtime in seconds since the epoch,
  /// -1 to keep the current time. Returns the absolute path.
  std::string CreateFile(std::string_view rel, std::string_view bytes = {}, std::time_t mtime = -1,
                         mode_t mode = 0644) const {
    const std::string path = Path(rel);
    CreateParents(path);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) Fail("open", path);
    const bool written = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    const bool moded = ::fchmod(fd, mode) == 0;
    if (::close(fd) != 0 || !written || !moded) Fail("write", path);
    if (mtime >= 0) {
      const timespec times[2] = {{mtime, 0}, {mtime, 0}};
      if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        Fail("utimensat", path);
    }
    return path;
  }

  /// Creates a folder with its parents (mode applies to the last one). Returns the path.
  std::string CreateFolder(std::string_view rel, mode_t mode = 0755) const {
    const std::string path = Path(rel);
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error || ::chmod(path.c_str(), mode) != 0) Fail("mkdir", path);
    return path;
  }

  /// Creates a symbolic link rel pointing at target (taken as it is). Returns the path.
  std::string CreateSymlink(std::string_view rel, const std::string& target) const {
    const std::string path = Path(rel);
    CreateParents(path);
    if (::symlink(target.c_str(), path.c_str()) != 0) Fail("symlink", path);
    return path;
  }

  std::string ReadFile(std::string_view rel) const {
    const std::string path = Path(rel);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) Fail("open", path);
    std::string bytes;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, size_t(n));
    ::close(fd);
    if (n < 0) Fail("read", path);
    return bytes;
  }

  /// True when rel is an entry of any kind (a dangling symbolic link too).
  bool Exists(std::string_view rel) const {
    struct stat st;
    return ::lstat(Path(rel).c_str(), &st) == 0;
  }

 private:
  [[noreturn]] static void Fail(const char* what, const std::string& path) {
    throw std::runtime_error(std::string(what) + " " + path + ": " + std::strerror(errno));
  }

  static void CreateParents(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code error;
    std::filesystem::create_directories(parent, error);
    if (error) throw std::runtime_error("mkdir " + parent.string() + ": " + error.message());
  }

  // Gives every folder below root owner rwx, so that read-only folders a test made can go.
  static void MakeRemovable(const std::string& folder) {
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
    ::chmod(folder.c_str(), st.st_mode | S_IRWXU);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      MakeRemovable(entry.path().string());
    }
  }

  std::string m_root;
};

/// Puts the current folder back when it goes out of scope.
class CurrentFolderGuard {
 public:
  CurrentFolderGuard() : m_fd(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC)) {
    if (m_fd < 0) throw std::runtime_error(std::string("open .: ") + std::strerror(errno));
  }
  CurrentFolderGuard(const CurrentFolderGuard&) = delete;
  CurrentFolderGuard& operator=(const CurrentFolderGuard&) = delete;
  ~CurrentFolderGuard() {
    EXPECT_EQ(::fchdir(m_fd), 0) << "the working folder cannot be restored";
    ::close(m_fd);
  }

 private:
  int m_fd;
};

/// The current folder's path, empty when it cannot be read.
inline std::string CurrentFolderPath() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::current_path(error);
  return error ? std::string() : path.string();
}

}  // namespace relabo::test
