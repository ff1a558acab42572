// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "filelist/entry.h"
#include "filelist/sort_string_list.h"
#include "fileutil/page_buffer.h"

namespace relabo {

enum TFileItem : int { fiFileName = 0, fiSize = 1, fiDate = 2, fiTime = 3, fiAttribute = 4 };
enum TSortOrder : int { soAscending = 0, soDescending = 1 };
enum TSortFolders : int { sfAlwaysByName = 0, sfLikeFiles = 1 };

/// Locale collation of names: an ICU collator for the user's locale, made once. Spaces and
/// punctuation weigh as the locale says, except hyphens and apostrophes, which count only where
/// nothing else differs ("co-op" beside "coop"); case decides only between otherwise equal
/// names (lower case first), and the bytes between names the collation calls equal. A numeric
/// collator takes a run of digits as one number, by its value ("file2" before "file10").
class NameCollator {
 public:
  /// The collator of the process's default ICU locale; the numeric one is made on first use.
  static const NameCollator& Instance(bool numeric = false);
  /// A collator for a given ICU locale name ("" = root); for tests. Without numeric the
  /// locale's own setting for numbers stands (a "colNumeric" keyword).
  explicit NameCollator(const char* locale, bool numeric = false);
  ~NameCollator();
  NameCollator(const NameCollator&) = delete;
  NameCollator& operator=(const NameCollator&) = delete;

  /// -1, 0 or 1: the name sort (case decides only between otherwise equal names).
  int Compare(std::string_view a, std::string_view b) const;
  /// -1, 0 or 1, ignoring case; 0 only for names of the same case folding.
  int CompareIgnoreCase(std::string_view a, std::string_view b) const;
  /// The sort key for the name sort; keys compare with memcmp/std::string::compare as
  /// Compare does.
  std::string SortKey(std::string_view name) const;
  /// The same key appended to out: many keys kept in one string without one allocation each.
  void AppendSortKey(std::string_view name, std::string& out) const;
  /// The collation part of the sort key alone, ending with its one zero byte: keys that
  /// differ order the names; equal ones leave the order to the names' bytes. Valid until the
  /// thread's next call.
  std::string_view CollationKey(std::string_view name) const;

 private:
  struct Impl;
  // The collation of base, with numbers by their value when numeric: a clone, not the rules
  // compiled again.
  NameCollator(const NameCollator& base, bool numeric);

  Impl* m_impl;
};

/// From this many names on, sort keys are made in two halves at once; below, the second thread
/// costs more than it saves.
inline constexpr size_t kKeyHalvesFrom = 20000;

/// The order of count names in the collator's name sort (descending: the reverse), as indices;
/// equal names keep their order. Large sets have their keys made and sorted in two halves at
/// once.
std::vector<uint32_t> NameOrder(size_t count, const std::function<std::string_view(size_t)>& nameOf,
                                bool descending,
                                const NameCollator& collator = NameCollator::Instance());

/// Where the last scan put the entries of the work store (-1 where there is none).
struct ScanBlocks {
  int parentIndex = -1;
  int firstFolder = -1;
  int lastFolder = -1;
};

/// The sort settings of a file list and the comparisons of its work store.
struct SortSettings {
  TFileItem sortBy = fiFileName;
  TSortOrder sortOrder = soAscending;
  TSortFolders sortFolders = sfAlwaysByName;
  /// The name sort takes runs of digits by their value. The records' sort keys are those of
  /// the collator this chooses: whoever changes it clears them.
  bool numeric = false;
};

/// One name of a name sort by keys made for it alone: the first sixteen bytes of the collation
/// key as two numbers that order as the bytes do, the rest of the key, and whose name it is.
struct NameSortSlot {
  uint64_t prefix;
  uint64_t next;
  const char* rest;
  uint32_t restLength;
  uint32_t index;
};

/// Fills slot from a collation key (NameCollator::CollationKey); the key's rest goes to arena,
/// and slot.rest holds its offset there until PlaceNameSortSlots, when arena has stopped
/// growing.
void MakeNameSortSlot(std::string_view key, uint32_t index, NameSortSlot& slot, PageBuffer& arena);
void PlaceNameSortSlots(NameSortSlot* begin, NameSortSlot* end, const PageBuffer& arena);
/// -1, 0 or 1 by the keys; 0 when the names have the same collation key, and then the names'
/// bytes decide, as in NameCollator::Compare.
int CompareNameSortSlots(const NameSortSlot& a, const NameSortSlot& b);

/// Sorts the items first..last of the work store by key, ascending for factor 1 and descending
/// for -1, as SortItems sorts one block.
void SortItemRange(TSortStringList& store, int first, int last, TFileItem key, int factor,
                   bool numeric, bool keepKeys);

/// Sorts the folder block and the file block of the work store as the settings say; the
/// parent entry stays on top. Each item's object must be its TEntryInfo. With keepKeys the name
/// sort fills the records' missing SortKey and keeps them for the next sort; without, it makes
/// the keys for this sort alone and gives them back after it (a list of a million entries
/// would hold some 50 MB of keys for ever), and the records' SortKey are not read.
void SortItems(TSortStringList& store, const ScanBlocks& blocks, const SortSettings& settings,
               bool keepKeys = true);

}  // namespace relabo
