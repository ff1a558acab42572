// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the benchmarks share: timing and a list of marked files.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "engine/batch.h"

namespace relabo::bench {

/// The time one run of body takes, in milliseconds.
template <typename F>
double Milliseconds(F&& body) {
  const auto start = std::chrono::steady_clock::now();
  body();
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  return took.count();
}

/// A readdir + fstatat loop over a folder: what any listing with sizes and times has to do at
/// least. The sum of the sizes, so that the loop is not optimised away.
inline size_t BareScan(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return 0;
  size_t total = 0;
  struct stat st;
  while (const dirent* d = ::readdir(dir)) {
    if (::fstatat(::dirfd(dir), d->d_name, &st, 0) == 0) total += static_cast<size_t>(st.st_size);
  }
  ::closedir(dir);
  return total;
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

/// Files of these names, all marked, as a batch reads a list.
class AllMarked : public BatchEntries {
 public:
  explicit AllMarked(const std::vector<std::string>& names) : m_names(names) {}
  int Count() const override { return int(m_names.size()); }
  int MarkedCount() const override { return int(m_names.size()); }
  bool IsMarked(int) const override { return true; }
  BatchEntryKind Kind(int) const override { return BatchEntryKind::File; }
  std::string Name(int i) const override { return m_names[size_t(i)]; }

 private:
  const std::vector<std::string>& m_names;
};

}  // namespace relabo::bench
