// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the benchmarks share: timing and a list of marked files.
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
