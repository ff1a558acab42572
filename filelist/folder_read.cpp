// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/folder_read.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>
#include <shared_mutex>
#include <utility>

#include "filelist/folder_list.h"
#include "filelist/name_filter.h"
#include "fileutil/error.h"
#include "fileutil/halves.h"
#include "fileutil/unique_fd.h"
#include "fileutil/utf8.h"

namespace relabo {

namespace {

Error SystemError(const std::string& path, int code) {
  return Error(Format("%s: %s", path, std::strerror(code)), code);
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// The patterns of a mask that are plain names (no wildcard), each once: what an unlisted folder
// can still show.
std::vector<std::string> PlainNamesOf(std::string_view mask) {
  std::vector<std::string> names;
  size_t begin = 0;
  for (;;) {
    const size_t end = std::min(mask.find(';', begin), mask.size());
    const std::string_view name = mask.substr(begin, end - begin);
    if (!name.empty() && name != "." && name != ".." &&
        name.find_first_of("*?/") == std::string_view::npos &&
        std::find(names.begin(), names.end(), name) == names.end()) {
      names.emplace_back(name);
    }
    if (end == mask.size()) break;
    begin = end + 1;
  }
  return names;
}

// Follows a symbolic link; a dangling link or a link loop is taken as the file it is.
bool StatEntry(int dirFd, const char* name, struct stat& st) {
  if (::fstatat(dirFd, name, &st, 0) == 0) return true;
  if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (S_ISLNK(st.st_mode)) st.st_mode = (st.st_mode & ~S_IFMT) | S_IFREG;
  return true;
}

Error Cancelled(const std::string& path) { return SystemError(path, ECANCELED); }

bool CancelAsked(const ReadProgress* progress) {
  return progress && progress->cancel.load(std::memory_order_relaxed);
}

constexpr uint32_t kVanished = LookedUpEntry::kVanished;
constexpr size_t kMatchBits = 32;

// Which entries a scan takes, and which blocks are sorted by name.
class Selection {
 public:
  explicit Selection(const ScanRequest& request)
      : m_accepted(AttributeMask(request.fileType)),
        m_takeNormal(request.fileType.Contains(xftNormal)),
        m_takeFolders(request.fileType.Contains(xftDirectory)) {
    for (size_t begin = 0;;) {
      const size_t end = std::min(request.mask.find(';', begin), request.mask.size());
      m_filters.emplace_back(std::string_view(request.mask).substr(begin, end - begin));
      if (end == request.mask.size()) break;
      begin = end + 1;
    }
    const SortSettings& sort = request.sort;
    m_filesByName = sort.sortBy == fiFileName;
    m_foldersByName = sort.sortFolders == sfAlwaysByName || m_filesByName;
    m_fileFactor = sort.sortOrder == soDescending ? -1 : 1;
    m_folderFactor = sort.sortFolders == sfAlwaysByName ? 1 : m_fileFactor;
  }

  bool TakeFolders() const { return m_takeFolders; }
  size_t Patterns() const { return m_filters.size(); }
  bool FoldersByName() const { return m_foldersByName; }
  bool FilesByName() const { return m_filesByName; }
  int FolderFactor() const { return m_folderFactor; }
  int FileFactor() const { return m_fileFactor; }

  bool IsFolder(const LookedUpEntry& e) const {
    return e.matches != kVanished && (e.attr & kAttrDirectory) != 0;
  }
  // Whether the file passes look at an entry at all, by its attributes.
  bool IsFile(const LookedUpEntry& e) const {
    if (e.matches == kVanished) return false;
    // Entries with one of these bits are only delivered when the file type asks for that bit.
    const uint32_t filtered = kAttrHidden | kAttrSystem | kAttrDirectory | kAttrVolumeID;
    if ((e.attr & filtered & ~m_accepted) != 0 || (e.attr & kAttrDirectory) != 0) return false;
    return m_takeNormal || (e.attr & m_accepted) != 0;
  }
  // The first 32 patterns the name of a file matches, as bits.
  uint32_t FirstMatches(std::string_view name) const {
    uint32_t bits = 0;
    for (size_t p = 0; p < std::min(m_filters.size(), kMatchBits); ++p) {
      if (m_filters[p].Matches(name)) bits |= uint32_t{1} << p;
    }
    return bits;
  }
  bool Matches(const LookedUpEntry& e, size_t p, std::string_view name) const {
    return p < kMatchBits ? (e.matches >> p & 1) != 0 : m_filters[p].Matches(name);
  }
  // How many file passes take the entry.
  size_t FileTakes(const LookedUpEntry& e, std::string_view name) const {
    if (!IsFile(e)) return 0;
    size_t takes = static_cast<size_t>(std::popcount(e.matches));
    for (size_t p = kMatchBits; p < m_filters.size(); ++p) takes += m_filters[p].Matches(name);
    return takes;
  }

 private:
  uint32_t m_accepted;
  bool m_takeNormal;
  bool m_takeFolders;
  std::vector<NameFilter> m_filters;
  bool m_filesByName = true;
  bool m_foldersByName = true;
  int m_fileFactor = 1;
  int m_folderFactor = 1;
};

// Looks the entries [from, to) up into looked.
void LookUpRange(const ScannedFolder& folder, const Selection& selection,
                 const UserCredentials& user, size_t from, size_t to, LookedUpEntry* looked) {
  struct stat st;
  for (size_t i = from; i < to; ++i) {
    const char* name = folder.Name(i);
    LookedUpEntry& e = looked[i];
    if (!StatEntry(folder.folder.Get(), name, st)) {
      e = LookedUpEntry{0, 0, 0, kVanished};
      continue;
    }
    e = LookedUpEntry{DayCountOf(st.st_mtim.tv_sec), static_cast<uint64_t>(st.st_size),
                      AttributeWordOf(name, st.st_mode, st.st_uid, st.st_gid, user), 0};
    if (selection.IsFile(e)) e.matches = selection.FirstMatches(name);
  }
}

// Entries counted and a cancel looked for once per this many.
constexpr size_t kProgressStep = 1024;

// Runs body(from, to) over [begin, end) in steps, counting them as looked up; stops with
// Cancelled when progress asks.
template <typename Body>
void InProgressSteps(size_t begin, size_t end, ReadProgress* progress, const Body& body) {
  for (size_t from = begin; from < end; from += kProgressStep) {
    if (CancelAsked(progress)) throw Cancelled(".");
    const size_t to = std::min(from + kProgressStep, end);
    body(from, to);
    if (progress) progress->lookedUp.fetch_add(to - from, std::memory_order_relaxed);
  }
}

// Looks the entries of a folder read without them up, in two halves at once when there are
// many.
void LookUpEntries(ScannedFolder& folder, const Selection& selection, ReadProgress* progress) {
  folder.looked.Resize(folder.Count());
  RunInHalves(folder.Count(), kKeyHalvesFrom, [&](size_t begin, size_t end, int) {
    const UserCredentials user = UserCredentials::Current();
    InProgressSteps(begin, end, progress, [&](size_t from, size_t to) {
      LookUpRange(folder, selection, user, from, to, folder.looked.Data());
    });
  });
  folder.lookedUp = true;
}

// Makes the collation keys of the entries [from, to) that a name sort will order (a slot's
// index is its entry's), their rests into arena.
void MakeKeys(const ScannedFolder& folder, const Selection& selection, const NameCollator& collator,
              size_t from, size_t to, NameSortSlot* slots, PageBuffer& arena) {
  std::string bracketed;
  for (size_t i = from; i < to; ++i) {
    const char* name = folder.Name(i);
    const LookedUpEntry& e = folder.looked[i];
    slots[i].index = static_cast<uint32_t>(i);
    if (selection.IsFile(e)) {
      if (selection.FilesByName() && (e.matches != 0 || selection.Patterns() > kMatchBits)) {
        MakeNameSortSlot(collator.CollationKey(name), static_cast<uint32_t>(i), slots[i], arena);
      }
    } else if (selection.IsFolder(e) && selection.TakeFolders() && selection.FoldersByName()) {
      bracketed.assign(1, '[');
      bracketed += name;
      bracketed += ']';
      MakeNameSortSlot(collator.CollationKey(bracketed), static_cast<uint32_t>(i), slots[i],
                       arena);
    }
  }
}

// Adds a name, with its zero, to the names of folder.
void AddName(ScannedFolder& folder, std::string_view name) {
  if (folder.names.Size() > UINT32_MAX - name.size() - 1) throw std::bad_alloc();
  folder.nameOffsets.PushBack(static_cast<uint32_t>(folder.names.Size()));
  char* at = folder.names.Extend(name.size() + 1);
  std::memcpy(at, name.data(), name.size());
  at[name.size()] = '\0';
}

// From this many names on, a second thread looks the names up behind the reader.
constexpr size_t kLookUpBehindFrom = 4096;
// Names looked up per claim.
constexpr size_t kLookUpChunk = 256;

// The look-ups of a folder whose names are still being read. Past kLookUpBehindFrom names a
// helper thread looks up what the reader has published, a chunk at a time; once every name is
// in, the reader claims chunks too. The reader grows the storage only while it holds the lock
// exclusively, as growing may move it.
class LookUpBehind {
 public:
  LookUpBehind(ScannedFolder& folder, const Selection& selection, ReadProgress* progress)
      : m_folder(folder), m_selection(selection), m_progress(progress) {}
  ~LookUpBehind() { Stop(); }
  LookUpBehind(const LookUpBehind&) = delete;
  LookUpBehind& operator=(const LookUpBehind&) = delete;

  // The reader's part for each name it reads.
  void Add(std::string_view name) {
    ScannedFolder& f = m_folder;
    std::unique_lock lock(m_storage, std::defer_lock);
    if (f.names.Room() <= name.size() || f.nameOffsets.Room() == 0 || f.looked.Room() == 0) {
      if (m_helper.joinable()) lock.lock();
    }
    AddName(f, name);
    f.looked.Extend(1);
    if (lock.owns_lock()) lock.unlock();
    m_published.store(f.Count(), std::memory_order_release);
    if (f.Count() == kLookUpBehindFrom && std::thread::hardware_concurrency() >= 2) {
      m_helper = std::thread([this] {
        try {
          Work();
        } catch (...) {
          m_failure = std::current_exception();
          m_stop.store(true, std::memory_order_relaxed);
        }
      });
    }
  }

  // Once every name is read: looks up what is left, with the helper, and waits for it.
  void Finish(const std::string& shownPath) {
    m_allPublished.store(true, std::memory_order_release);
    try {
      Work();
    } catch (...) {
      Stop();
      throw;
    }
    Stop();
    if (m_failure) std::rethrow_exception(m_failure);
    if (CancelAsked(m_progress)) throw Cancelled(shownPath);
    m_folder.lookedUp = true;
  }

 private:
  // Claims published chunks and looks them up, until every name is looked up or the read
  // stops.
  void Work() {
    const UserCredentials user = UserCredentials::Current();
    for (;;) {
      if (m_stop.load(std::memory_order_relaxed) || CancelAsked(m_progress)) return;
      // In this order: once all are published, the count read after is the last.
      const bool all = m_allPublished.load(std::memory_order_acquire);
      const size_t ready = m_published.load(std::memory_order_acquire);
      size_t from = m_claimed.load(std::memory_order_relaxed);
      if (from >= ready) {
        if (all) return;
        std::this_thread::yield();
        continue;
      }
      const size_t to = std::min(from + kLookUpChunk, ready);
      if (!m_claimed.compare_exchange_weak(from, to, std::memory_order_relaxed)) continue;
      {
        const std::shared_lock lock(m_storage);
        LookUpRange(m_folder, m_selection, user, from, to, m_folder.looked.Data());
      }
      if (m_progress) m_progress->lookedUp.fetch_add(to - from, std::memory_order_relaxed);
    }
  }

  void Stop() {
    m_stop.store(true, std::memory_order_relaxed);
    if (m_helper.joinable()) m_helper.join();
  }

  ScannedFolder& m_folder;
  const Selection& m_selection;
  ReadProgress* m_progress;
  std::shared_mutex m_storage;
  std::atomic<size_t> m_published{0};
  std::atomic<size_t> m_claimed{0};
  std::atomic<bool> m_allPublished{false};
  std::atomic<bool> m_stop{false};
  std::thread m_helper;
  std::exception_ptr m_failure;
};

// The byte order of two item texts: names, or folder names that are shown in brackets.
int CompareTexts(const char* a, const char* b, bool bracketed) {
  if (!bracketed) {
    const int order = std::strcmp(a, b);
    return (order > 0) - (order < 0);
  }
  // Only names with the same collation key come here, so this may allocate.
  const int order = (std::string(a) + ']').compare(std::string(b) + ']');
  return (order > 0) - (order < 0);
}

}  // namespace

int32_t CharacterCount(std::string_view text) {
  int32_t count = 0;
  for (size_t pos = 0; pos < text.size(); ++count) {
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      ++pos;
    } else {
      DecodeChar(text, pos);
    }
  }
  return count;
}

namespace {

// Reads the names of the working folder into folder, each through add(name).
template <typename Add>
void ReadNamesInto(const std::string& shownPath, std::string_view mask, ReadProgress* progress,
                   ScannedFolder& folder, const Add& add) {
  if (CancelAsked(progress)) throw Cancelled(shownPath);
  const auto allRead = [&] {
    if (!progress) return;
    progress->names.store(folder.Count(), std::memory_order_relaxed);
    progress->allNames.store(true, std::memory_order_release);
  };
  folder.folder = detail::UniqueFd(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.folder.Valid()) {
    if (errno != EACCES) throw SystemError(shownPath, errno);
    folder.folder = detail::UniqueFd(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.folder.Valid()) throw SystemError(shownPath, errno);
    folder.unlisted = true;
    for (const std::string& name : PlainNamesOf(mask)) add(name);
    allRead();
    return;
  }
  // The stream reads through a descriptor of its own; the kept one serves the look-ups.
  const int fd = ::dup(folder.folder.Get());
  if (fd < 0) throw SystemError(shownPath, errno);
  std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
  if (!dir) {
    const int code = errno;
    ::close(fd);
    throw SystemError(shownPath, code);
  }
  for (;;) {
    errno = 0;
    const dirent* d = ::readdir(dir.get());
    if (!d) {
      if (errno != 0) throw SystemError(shownPath, errno);
      break;
    }
    const char* name = d->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    add(name);
    if (progress && (folder.Count() & (kProgressStep - 1)) == 0) {
      progress->names.store(folder.Count(), std::memory_order_relaxed);
      if (CancelAsked(progress)) throw Cancelled(shownPath);
    }
  }
  allRead();
}

}  // namespace

ScannedFolder ReadFolderNames(const std::string& shownPath, std::string_view mask,
                              ReadProgress* progress) {
  ScannedFolder folder;
  ReadNamesInto(shownPath, mask, progress, folder,
                [&folder](std::string_view name) { AddName(folder, name); });
  return folder;
}

ScannedFolder ReadFolderEntries(const std::string& shownPath, const ScanRequest& request,
                                ReadProgress* progress) {
  const Selection selection(request);
  ScannedFolder folder;
  LookUpBehind behind(folder, selection, progress);
  ReadNamesInto(shownPath, request.mask, progress, folder,
                [&behind](std::string_view name) { behind.Add(name); });
  behind.Finish(shownPath);
  return folder;
}

FolderScan BuildScan(ScannedFolder& folder, const ScanRequest& request, ReadProgress* progress) {
  const Selection selection(request);
  const NameCollator& collator = NameCollator::Instance(request.sort.numeric);
  const size_t count = folder.Count();
  const bool foldersByName = selection.TakeFolders() && selection.FoldersByName();
  const bool keys = selection.FilesByName() || foldersByName;

  if (!folder.lookedUp) LookUpEntries(folder, selection, progress);
  const PageArray<LookedUpEntry>& looked = folder.looked;
  PageArray<NameSortSlot> slots;
  if (keys) slots.Resize(count);
  PageBuffer arenas[2];
  size_t middle = count;
  if (keys) {
    middle = RunInHalves(count, kKeyHalvesFrom, [&](size_t from, size_t to, int half) {
      for (size_t begin = from; begin < to; begin += kProgressStep) {
        if (CancelAsked(progress)) throw Cancelled(".");
        MakeKeys(folder, selection, collator, begin, std::min(begin + kProgressStep, to),
                 slots.Data(), arenas[half]);
      }
    });
  }
  if (keys) {
    // The arenas have stopped growing: the slots may point into them. (A slot that was not
    // made is never read.)
    PlaceNameSortSlots(slots.Data(), slots.Data() + middle, arenas[0]);
    PlaceNameSortSlots(slots.Data() + middle, slots.Data() + count, arenas[1]);
  }

  FolderScan scan;
  scan.unlisted = folder.unlisted;
  // The way up is always there below the root: from the parent walked through, else the
  // physical one, else a bare folder record when neither can be looked at.
  const bool parent =
      selection.TakeFolders() && request.showParentFolder && !request.parentPath.empty();
  LookedUpEntry parentEntry{0, 0, kAttrDirectory, 0};
  struct stat st;
  if (parent && (StatEntry(AT_FDCWD, request.parentPath.c_str(), st) ||
                 StatEntry(folder.folder.Get(), "..", st))) {
    parentEntry = LookedUpEntry{DayCountOf(st.st_mtim.tv_sec), static_cast<uint64_t>(st.st_size),
                                AttributeWordOf("..", st.st_mode, st.st_uid, st.st_gid,
                                                UserCredentials::Current()),
                                0};
  }

  // Count what the passes take, so that the records are made at their final place at once;
  // a file that two patterns take comes twice, and then the list's own sort orders the pair.
  size_t folders = 0;
  size_t files = 0;
  bool twice = false;
  for (size_t i = 0; i < count; ++i) {
    const LookedUpEntry& e = looked[i];
    if (selection.IsFolder(e)) {
      folders += selection.TakeFolders();
    } else {
      const size_t takes = selection.FileTakes(e, folder.Name(i));
      files += takes;
      twice |= takes > 1;
    }
  }
  const size_t total = (parent ? 1 : 0) + folders + files;
  scan.records.reserve(total);
  scan.items.reserve(total);
  const auto take = [&](const LookedUpEntry& e, int32_t code, std::string text) {
    TEntryInfo& info = scan.records.emplace_back();
    info.GlyphCode = code;
    info.Time = e.time;
    info.Size = e.size;
    info.Attr = e.attr;
    info.NameLength = CharacterCount(text);
    scan.items.push_back(TSortStringList::Item{std::move(text), &info});
  };
  const auto takeFolder = [&](size_t i) {
    const LookedUpEntry& e = looked[i];
    const std::string_view name = folder.Name(i);
    std::string text;
    text.reserve(name.size() + 2);
    text += '[';
    text += name;
    text += ']';
    take(e, e.attr & kAttrHidden ? kGlyphFolderSystem : kGlyphFolder, std::move(text));
  };
  const auto takeFile = [&](size_t i) {
    const std::string_view name = folder.Name(i);
    take(looked[i], request.shellIcons ? kGlyphShellIcon : BuiltInFileGlyph(name, looked[i].attr),
         std::string(name));
  };

  if (parent) {
    scan.blocks.parentIndex = 0;
    take(parentEntry, kGlyphFolderParent, "[..]");
  }
  if (folders > 0) {
    scan.blocks.firstFolder = static_cast<int>(scan.items.size());
    scan.blocks.lastFolder = static_cast<int>(scan.items.size() + folders - 1);
  }
  scan.folderCount = static_cast<int>(folders) + (parent ? 1 : 0);
  scan.fileCount = static_cast<int>(files);

  // The entries of a block sorted by name, in their order: their slots moved to the front of
  // the slot array and sorted there.
  NameSortSlot* sorted = slots.Data();
  const auto sortBlock = [&](const auto& inBlock, int factor, bool bracketed) {
    NameSortSlot* begin = sorted;
    for (NameSortSlot* slot = sorted; slot != slots.end(); ++slot) {
      if (inBlock(slot->index)) std::swap(*sorted++, *slot);
    }
    const auto less = [&](const NameSortSlot& a, const NameSortSlot& b) {
      int order = CompareNameSortSlots(a, b);
      if (order == 0) order = CompareTexts(folder.Name(a.index), folder.Name(b.index), bracketed);
      return factor < 0 ? order > 0 : order < 0;
    };
    std::sort(begin, sorted, less);
    return begin;
  };
  // Builds the items of a block in the order of its entries, fetching them a little ahead.
  const auto buildInOrder = [&](const uint32_t* begin, const uint32_t* end, const auto& takeOne) {
    constexpr ptrdiff_t kAhead = 16;
    for (const uint32_t* at = begin; at != end; ++at) {
      if (end - at > kAhead) {
        __builtin_prefetch(&looked[at[kAhead]]);
        __builtin_prefetch(folder.Name(at[kAhead]));
      }
      takeOne(*at);
    }
  };

  const bool sortFolders = foldersByName;
  const bool sortFiles = selection.FilesByName() && !twice;
  NameSortSlot* const folderSlots = slots.Data();
  if (sortFolders) {
    sortBlock([&](size_t i) { return selection.IsFolder(looked[i]); }, selection.FolderFactor(),
              /*bracketed=*/true);
  }
  NameSortSlot* const fileSlots = sorted;
  if (sortFiles) {
    sortBlock([&](size_t i) { return selection.FileTakes(looked[i], folder.Name(i)) != 0; },
              selection.FileFactor(), /*bracketed=*/false);
  }
  // Only the order is needed from here on: the entries' indices take the place of their slots,
  // and the keys go before the items are made.
  const auto sortedCount = static_cast<size_t>(sorted - folderSlots);
  PageArray<uint32_t> order;
  order.Resize(sortedCount);
  for (size_t k = 0; k < sortedCount; ++k) order[k] = folderSlots[k].index;
  slots.Release();
  arenas[0].Release();
  arenas[1].Release();
  const uint32_t* const folderOrder = order.Data();
  const uint32_t* const fileOrder = order.Data() + (fileSlots - folderSlots);

  if (sortFolders) {
    buildInOrder(folderOrder, fileOrder, takeFolder);
  } else if (selection.TakeFolders()) {
    for (size_t i = 0; i < count; ++i) {
      if (selection.IsFolder(looked[i])) takeFolder(i);
    }
  }
  if (sortFiles) {
    buildInOrder(fileOrder, order.Data() + sortedCount, takeFile);
  } else {
    for (size_t p = 0; p < selection.Patterns(); ++p) {
      for (size_t i = 0; i < count; ++i) {
        if (selection.IsFile(looked[i]) && selection.Matches(looked[i], p, folder.Name(i))) {
          takeFile(i);
        }
      }
    }
  }
  // The texts are the items' own now.
  order.Release();
  folder.looked.Release();
  folder.names.Release();
  folder.nameOffsets.Release();

  // What is not in its order yet: blocks sorted by another column, and a file taken twice.
  TSortStringList store;
  store.Items().swap(scan.items);
  const SortSettings& sort = request.sort;
  if (folders > 1 && !sortFolders) {
    SortItemRange(store, scan.blocks.firstFolder, scan.blocks.lastFolder,
                  foldersByName ? fiFileName : sort.sortBy, selection.FolderFactor(),
                  sort.numeric, /*keepKeys=*/false);
  }
  if (files > 1 && !sortFiles) {
    const int first = static_cast<int>(total - files);
    SortItemRange(store, first, static_cast<int>(total) - 1, sort.sortBy, selection.FileFactor(),
                  sort.numeric, /*keepKeys=*/false);
  }
  store.Items().swap(scan.items);
  return scan;
}

BackgroundScan::BackgroundScan(std::string shownPath, ScanRequest request) {
  m_thread = std::thread([this, shownPath = std::move(shownPath), request = std::move(request)] {
    try {
      ScannedFolder folder = ReadFolderEntries(shownPath, request, &m_progress);
      m_scan = BuildScan(folder, request, &m_progress);
    } catch (...) {
      m_error = std::current_exception();
    }
    const std::lock_guard lock(m_mutex);
    m_done.store(true, std::memory_order_release);
    m_finished.notify_all();
  });
}

BackgroundScan::~BackgroundScan() {
  m_progress.cancel.store(true, std::memory_order_relaxed);
  if (m_thread.joinable()) m_thread.join();
}

bool BackgroundScan::WaitFor(int milliseconds) {
  std::unique_lock lock(m_mutex);
  return m_finished.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return Done(); });
}

FolderScan BackgroundScan::Take() {
  if (m_thread.joinable()) m_thread.join();
  if (m_error) std::rethrow_exception(m_error);
  return std::move(m_scan);
}

}  // namespace relabo
