#pragma once

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/batch.h"

namespace relabo::test {

/// One entry of a list as a batch reads it.
struct FakeEntry {
  std::string name;
  bool marked = true;
  BatchEntryKind kind = BatchEntryKind::File;
};

/// A list of entries held in memory, in the order given.
class FakeEntries : public BatchEntries {
 public:
  FakeEntries(std::initializer_list<FakeEntry> entries) : entries(entries) {}
  explicit FakeEntries(std::vector<FakeEntry> entries) : entries(std::move(entries)) {}
  int Count() const override { return int(entries.size()); }
  int MarkedCount() const override {
    return int(std::count_if(entries.begin(), entries.end(), [](auto& e) { return e.marked; }));
  }
  bool IsMarked(int i) const override { return entries.at(i).marked; }
  BatchEntryKind Kind(int i) const override { return entries.at(i).kind; }
  std::string Name(int i) const override { return entries.at(i).name; }

  std::vector<FakeEntry> entries;
};

}  // namespace relabo::test
