// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/sort_string_list.h"

#include <utility>

#include "filelist/file_sort.h"
#include "fileutil/error.h"

namespace relabo {

namespace {

constexpr const char* kIndexError = "List index out of bounds (%d)";
constexpr const char* kSortedError = "Operation not allowed on sorted string list";
constexpr const char* kDuplicateError = "String list does not allow duplicates";
constexpr const char* kCapacityError = "List capacity out of bounds (%d)";

}  // namespace

TSortStringList::TSortStringList() {
  OnCompare = [this](int i, int j) { return CompareDefault(i, j); };
}

TSortStringList::~TSortStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
}

void TSortStringList::SetCapacity(int capacity) {
  // Below the count the array would lose items.
  if (capacity < Count()) throw Error(Format(kCapacityError, capacity));
  if (capacity == m_capacity) return;
  if (capacity > static_cast<int>(m_items.capacity())) {
    m_items.reserve(capacity);
  } else if (capacity < m_capacity) {
    std::vector<Item> smaller;
    smaller.reserve(capacity);
    for (Item& item : m_items) smaller.push_back(std::move(item));
    m_items.swap(smaller);
  }
  m_capacity = capacity;
}

const std::string& TSortStringList::Get(int index) const {
  CheckIndex(index, Count());
  return m_items[index].text;
}

void TSortStringList::Put(int index, std::string text) {
  if (m_sorted) throw Error(kSortedError);
  CheckIndex(index, Count());
  Changing();
  m_items[index].text = std::move(text);
  Changed();
}

TEntryInfo* TSortStringList::GetObject(int index) const {
  CheckIndex(index, Count());
  return m_items[index].object;
}

void TSortStringList::PutObject(int index, TEntryInfo* object) {
  CheckIndex(index, Count());
  Changing();
  m_items[index].object = object;
  Changed();
}

int TSortStringList::Add(std::string text) { return AddObject(std::move(text), nullptr); }

int TSortStringList::AddObject(std::string text, TEntryInfo* object) {
  int index = Count();
  if (m_sorted && Find(text, index)) {
    // An ignored duplicate keeps the existing item, object included.
    if (m_duplicates == dupIgnore) return index;
    if (m_duplicates == dupError) throw Error(kDuplicateError);
  }
  InsertItem(index, std::move(text), object);
  return index;
}

void TSortStringList::Insert(int index, std::string text) {
  if (m_sorted) throw Error(kSortedError);
  CheckIndex(index, Count() + 1);
  InsertItem(index, std::move(text), nullptr);
}

void TSortStringList::InsertItem(int index, std::string&& text, TEntryInfo* object) {
  Changing();
  if (Count() >= m_capacity) Grow();
  m_items.insert(m_items.begin() + index, Item{std::move(text), object});
  Changed();
}

void TSortStringList::Delete(int index) {
  CheckIndex(index, Count());
  Changing();
  m_items.erase(m_items.begin() + index);
  Changed();
}

void TSortStringList::Exchange(int i, int j) {
  CheckIndex(i, Count());
  CheckIndex(j, Count());
  Changing();
  std::swap(m_items[i], m_items[j]);
  Changed();
}

void TSortStringList::Clear() {
  if (m_items.empty()) {
    SetCapacity(0);
    return;
  }
  Changing();
  m_items.clear();
  SetCapacity(0);
  Changed();
}

int TSortStringList::IndexOf(const std::string& text) const {
  if (m_sorted) {
    int index = 0;
    return Find(text, index) ? index : -1;
  }
  const NameCollator& collator = NameCollator::Instance();
  for (int i = 0; i < Count(); ++i) {
    if (collator.CompareIgnoreCase(m_items[i].text, text) == 0) return i;
  }
  return -1;
}

bool TSortStringList::Find(const std::string& text, int& index) const {
  const NameCollator& collator = NameCollator::Instance();
  bool found = false;
  int low = 0;
  int high = Count() - 1;
  while (low <= high) {
    const int i = (low + high) / 2;
    const int v = collator.CompareIgnoreCase(m_items[i].text, text);
    if (v < 0) {
      low = i + 1;
    } else {
      high = i - 1;
      if (v == 0) {
        found = true;
        if (m_duplicates != dupAccept) low = i;
      }
    }
  }
  index = low;
  return found;
}

void TSortStringList::SetSorted(bool sorted) {
  if (sorted == m_sorted) return;
  if (sorted && Count() > 1) {
    // The binary search needs the case-ignoring order, whatever OnCompare is bound to.
    Changing();
    auto compare = [this](int i, int j) { return CompareDefault(i, j); };
    QuickSort(0, Count() - 1, compare);
    Changed();
  }
  m_sorted = sorted;
}

void TSortStringList::BeginUpdate() {
  if (m_updateCount++ == 0 && OnChanging) OnChanging();
}

void TSortStringList::EndUpdate() {
  if (m_updateCount == 0) return;
  if (--m_updateCount == 0 && OnChange) OnChange();
}

void TSortStringList::Sort() {
  if (m_sorted || Count() < 2) return;
  Changing();
  QuickSort(0, Count() - 1, OnCompare);
  Changed();
}

void TSortStringList::SortRange(int left, int right) {
  if (left >= right) return;
  CheckIndex(left, Count());
  CheckIndex(right, Count());
  QuickSort(left, right, OnCompare);
}

template <typename Compare>
void TSortStringList::QuickSort(int left, int right, Compare& compare) {
  // Recursing into the smaller part and looping on the larger keeps the stack shallow; the
  // parts are disjoint, so the order that results is the same either way.
  while (left < right) {
    int i = left;
    int j = right;
    int p = (left + right) / 2;
    do {
      while (compare(i, p) < 0) ++i;
      while (compare(j, p) > 0) --j;
      if (i <= j) {
        std::swap(m_items[i], m_items[j]);
        if (p == i) {
          p = j;
        } else if (p == j) {
          p = i;
        }
        ++i;
        --j;
      }
    } while (i <= j);
    if (j - left < right - i) {
      if (left < j) QuickSort(left, j, compare);
      left = i;
    } else {
      if (i < right) QuickSort(i, right, compare);
      right = j;
    }
  }
}

void TSortStringList::Changing() {
  if (m_updateCount == 0 && OnChanging) OnChanging();
}

void TSortStringList::Changed() {
  if (m_updateCount == 0 && OnChange) OnChange();
}

void TSortStringList::CheckIndex(int index, int count) const {
  if (index < 0 || index >= count) throw Error(Format(kIndexError, index));
}

void TSortStringList::Grow() {
  // Items() may have been filled directly.
  if (m_capacity < Count()) m_capacity = Count();
  int delta = 4;
  if (m_capacity > 64) {
    delta = m_capacity / 4;
  } else if (m_capacity > 8) {
    delta = 16;
  }
  SetCapacity(m_capacity + delta);
}

int TSortStringList::CompareDefault(int i, int j) const {
  return NameCollator::Instance().CompareIgnoreCase(m_items[i].text, m_items[j].text);
}

}  // namespace relabo
