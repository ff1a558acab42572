// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "filelist/entry.h"
#include "filelist/file_sort.h"
#include "filelist/sort_string_list.h"
#include "fileutil/page_buffer.h"
#include "fileutil/unique_fd.h"

namespace relabo {

/// What a scan takes from the folder and how it shows the entries.
struct ScanRequest {
  std::string mask = "*.*";
  TXFileType fileType = kDefaultFileType;
  bool showParentFolder = true;
  bool shellIcons = true;
  /// The parent as the user walked there; empty at the root (no parent entry).
  std::string parentPath;
  SortSettings sort;
};

/// Watches a read from another thread.
struct ReadProgress {
  /// Names read so far.
  std::atomic<size_t> names{0};
  /// Set once every name is read: names is the count from then on.
  std::atomic<bool> allNames{false};
  /// Of those, the entries looked up so far (large folders are looked up while still read).
  std::atomic<size_t> lookedUp{0};
  /// Set to have the read end early with Error ECANCELED.
  std::atomic<bool> cancel{false};
};

/// What a read keeps of one entry it looked up, until its record is made.
struct LookedUpEntry {
  double time;
  uint64_t size;
  uint32_t attr;
  /// Bit p: a file whose name matches pattern p of the mask (of the first 32); kVanished when
  /// the entry could not be looked up.
  uint32_t matches;
  static constexpr uint32_t kVanished = UINT32_MAX;
};

/// The names of a folder, read in one go before anything shown changes: a read error can only
/// come while they are read. Looking the entries up cannot fail (an entry that vanished
/// meanwhile is left out).
struct ScannedFolder {
  /// The folder, open for looking its entries up.
  detail::UniqueFd folder;
  /// The names' bytes, each followed by a zero, in the order they were read.
  PageBuffer names;
  /// Where each name begins in names.
  PageArray<uint32_t> nameOffsets;
  /// The entries looked up, by the index of their names; filled when lookedUp.
  PageArray<LookedUpEntry> looked;
  bool lookedUp = false;
  /// The folder could be entered but not read: the names are the plain names of the mask
  /// (patterns without wildcards), which may not exist.
  bool unlisted = false;

  size_t Count() const { return nameOffsets.Size(); }
  const char* Name(size_t i) const { return names.Data() + nameOffsets[i]; }
};

/// Reads the names of the working folder (shownPath is the path the user sees, for errors):
/// every entry but "." and "..". A folder that may be entered but not read (mode 0311) gives
/// the plain names of mask, each once, and is marked unlisted. Throws Error when the folder
/// cannot be read otherwise, or when progress asks to cancel.
ScannedFolder ReadFolderNames(const std::string& shownPath, std::string_view mask,
                              ReadProgress* progress = nullptr);

/// ReadFolderNames with the entries looked up as the request takes them. In a large folder
/// they are looked up on a second thread while the names are still read, the reader joining in
/// once it has them all. Throws as ReadFolderNames.
ScannedFolder ReadFolderEntries(const std::string& shownPath, const ScanRequest& request,
                                ReadProgress* progress = nullptr);

/// The entries of a scan as the list shows them: items in their shown order, each pointing
/// at its record in records, which is never resized once filled.
struct FolderScan {
  std::vector<TSortStringList::Item> items;
  std::vector<TEntryInfo> records;
  ScanBlocks blocks;
  int folderCount = 0;
  int fileCount = 0;
  bool unlisted = false;
};

/// Looks the names up unless they are (following symbolic links; one that vanished meanwhile
/// is left out), takes the entries the request asks for (the folder pass, then one file pass
/// per pattern of the mask, each over the names in the order they were read) and sorts them.
/// Large folders have their sort keys made in two halves at once. The folder's storage is
/// given back once it is no longer needed. Throws only when memory runs out, or when progress
/// asks to cancel.
FolderScan BuildScan(ScannedFolder& folder, const ScanRequest& request,
                     ReadProgress* progress = nullptr);

/// A read of the working folder (ReadFolderEntries, then BuildScan) on a thread of its own: the
/// caller goes on and takes the entries when they are ready. The working folder must stay
/// where it is until then.
class BackgroundScan {
 public:
  /// Starts reading; shownPath is the path the user sees, for errors.
  BackgroundScan(std::string shownPath, ScanRequest request);
  /// Cancels a read still under way and waits for its thread.
  ~BackgroundScan();
  BackgroundScan(const BackgroundScan&) = delete;
  BackgroundScan& operator=(const BackgroundScan&) = delete;

  /// The entries are ready, or the read has failed.
  bool Done() const { return m_done.load(std::memory_order_acquire); }
  /// Waits until Done, for at most milliseconds; whether it is.
  bool WaitFor(int milliseconds);
  /// Names read so far, and of those the entries looked up; 0 until every name is read, so
  /// that a count of names read is never taken for the whole.
  size_t NamesRead() const { return m_progress.names.load(std::memory_order_relaxed); }
  size_t LookedUp() const {
    return m_progress.allNames.load(std::memory_order_acquire)
               ? m_progress.lookedUp.load(std::memory_order_relaxed)
               : 0;
  }
  /// Waits until Done and hands the entries over; throws the read's error.
  FolderScan Take();

 private:
  ReadProgress m_progress;
  std::atomic<bool> m_done{false};
  std::mutex m_mutex;
  std::condition_variable m_finished;
  FolderScan m_scan;
  std::exception_ptr m_error;
  std::thread m_thread;
};

/// Length of a text in characters: code points, a byte that begins no valid UTF-8 sequence
/// counting as one.
int32_t CharacterCount(std::string_view text);

}  // namespace relabo
