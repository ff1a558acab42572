// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <unistd.h>

namespace relabo::detail {

/// A file descriptor closed when it goes out of scope.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : m_fd(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Close();
      m_fd = other.m_fd;
      other.m_fd = -1;
    }
    return *this;
  }
  ~UniqueFd() { Close(); }

  int Get() const { return m_fd; }
  bool Valid() const { return m_fd >= 0; }
  /// 0, or -1 with errno set; the descriptor is released even when close reports an error.
  int Close() {
    const int fd = m_fd;
    m_fd = -1;
    return fd >= 0 ? ::close(fd) : 0;
  }

 private:
  int m_fd;
};

}  // namespace relabo::detail
