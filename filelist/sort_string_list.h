// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "filelist/entry.h"

namespace relabo {

enum TDuplicates : int { dupIgnore = 0, dupAccept = 1, dupError = 2 };

/// An ordered list of texts, each with a companion record pointer (not owned), sorted by a
/// replaceable comparison of two positions. The file list collects and sorts a scan in it.
class TSortStringList {
 public:
  struct Item {
    std::string text;
    TEntryInfo* object = nullptr;
  };
  /// Compares the items at two positions: negative, zero or positive.
  using CompareFn = std::function<int(int, int)>;

  TSortStringList();
  ~TSortStringList();
  // The default OnCompare is bound to this very list.
  TSortStringList(const TSortStringList&) = delete;
  TSortStringList& operator=(const TSortStringList&) = delete;

  int Count() const { return static_cast<int>(m_items.size()); }
  int Capacity() const { return m_capacity; }
  /// A capacity below Count() throws Error "List capacity out of bounds (%d)".
  void SetCapacity(int capacity);

  /// Text and object by index; an index outside 0..Count()-1 throws
  /// Error "List index out of bounds (%d)".
  const std::string& Get(int index) const;
  void Put(int index, std::string text);
  TEntryInfo* GetObject(int index) const;
  void PutObject(int index, TEntryInfo* object);

  /// Appends, or in a sorted list inserts where the text belongs; a duplicate (ignoring
  /// case) is then ignored (its position is returned), accepted or refused as Duplicates()
  /// says.
  int Add(std::string text);
  int AddObject(std::string text, TEntryInfo* object);
  void Insert(int index, std::string text);
  void Delete(int index);
  void Exchange(int i, int j);
  void Clear();
  int IndexOf(const std::string& text) const;
  /// Binary search with the case-ignoring comparison (sorted lists); true when found, and
  /// index receives the position of the text or where it would go.
  bool Find(const std::string& text, int& index) const;

  bool Sorted() const { return m_sorted; }
  void SetSorted(bool sorted);
  TDuplicates Duplicates() const { return m_duplicates; }
  void SetDuplicates(TDuplicates d) { m_duplicates = d; }

  /// Suspends the change notifications; the outermost Begin/End pair notifies once.
  void BeginUpdate();
  void EndUpdate();
  std::function<void()> OnChanging;
  std::function<void()> OnChange;

  /// The comparison Sort and SortRange use; the default compares the texts ignoring case.
  CompareFn OnCompare;
  /// Sorts the whole list with OnCompare (unsorted lists of at least two items).
  void Sort();
  /// Quicksort of the items left..right in place with OnCompare; not stable. A bound outside
  /// the list throws Error "List index out of bounds (%d)".
  void SortRange(int left, int right);

  /// Direct access for bulk moves (the file list hands a whole scan over at once).
  std::vector<Item>& Items() { return m_items; }

 private:
  void Changing();
  void Changed();
  void CheckIndex(int index, int count) const;
  void Grow();
  void InsertItem(int index, std::string&& text, TEntryInfo* object);
  template <typename Compare>
  void QuickSort(int left, int right, Compare& compare);
  int CompareDefault(int i, int j) const;

  std::vector<Item> m_items;
  int m_capacity = 0;
  bool m_sorted = false;
  TDuplicates m_duplicates = dupIgnore;
  int m_updateCount = 0;
};

}  // namespace relabo
