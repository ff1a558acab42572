// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/folder_list.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <unordered_set>
#include <utility>

#include "filelist/folder_read.h"
#include "filelist/name_filter.h"
#include "fileutil/error.h"
#include "fileutil/path.h"
#include "fileutil/unique_fd.h"
#include "fileutil/utf8.h"

namespace relabo {

// ---------------------------------------------------------------------------------------------
// BasicFolderListView

bool BasicFolderListView::IsMarked(int index) const {
  return index >= 0 && index < static_cast<int>(m_marks.size()) && m_marks[index];
}

void BasicFolderListView::SetMarked(int index, bool marked) {
  if (index < 0 || IsMarked(index) == marked) return;
  if (marked && !m_multiSelect) {
    std::fill(m_marks.begin(), m_marks.end(), false);
    m_markedCount = 0;
  }
  if (index >= static_cast<int>(m_marks.size())) m_marks.resize(index + 1, false);
  m_marks[index] = marked;
  m_markedCount += marked ? 1 : -1;
}

void BasicFolderListView::ItemsReplaced() {
  m_marks.clear();
  m_markedCount = 0;
  m_focused = -1;
  ++m_resets;
}

bool BasicFolderListView::OpenWithShell(const std::string& path) {
  m_opened.push_back(path);
  return m_openResult;
}

// ---------------------------------------------------------------------------------------------
// Attributes and times

UserCredentials UserCredentials::Current() {
  UserCredentials user;
  user.uid = ::geteuid();
  user.gid = ::getegid();
  const int count = ::getgroups(0, nullptr);
  if (count > 0) {
    user.groups.resize(count);
    const int got = ::getgroups(count, user.groups.data());
    user.groups.resize(got > 0 ? got : 0);
  }
  return user;
}

bool IsReadOnlyFor(mode_t mode, uid_t owner, gid_t group, const UserCredentials& user) {
  if (user.uid == 0) return false;
  if (owner == user.uid) return (mode & S_IWUSR) == 0;
  if (group == user.gid ||
      std::find(user.groups.begin(), user.groups.end(), group) != user.groups.end()) {
    return (mode & S_IWGRP) == 0;
  }
  return (mode & S_IWOTH) == 0;
}

uint32_t AttributeWordOf(std::string_view name, mode_t mode, uid_t owner, gid_t group,
                         const UserCredentials& user) {
  uint32_t attr = 0;
  if (S_ISDIR(mode)) attr |= kAttrDirectory;
  if (IsReadOnlyFor(mode, owner, group, user)) attr |= kAttrReadOnly;
  if (name.starts_with('.') && name != "." && name != "..") attr |= kAttrHidden;
  if (!S_ISREG(mode) && !S_ISDIR(mode)) attr |= kAttrSystem;
  if (S_ISREG(mode) && attr == 0) attr = kAttrNormal;
  return attr;
}

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

constexpr int64_t kSecondsPerDay = 86400;
// 1899-12-30, the day count's origin, is 25569 days before 1970-01-01.
constexpr int64_t kEpochDayCount = 25569;

}  // namespace

double DayCountOf(std::time_t time) {
  struct tm local;
  int64_t days;
  int64_t seconds;
  if (::localtime_r(&time, &local) != nullptr) {
    days = DaysFromCivil(int64_t{local.tm_year} + 1900, local.tm_mon + 1, local.tm_mday);
    seconds = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  } else {
    // Beyond what the calendar functions hold: the universal time will do.
    days = time / kSecondsPerDay - (time % kSecondsPerDay < 0);
    seconds = time - days * kSecondsPerDay;
  }
  return static_cast<double>(days + kEpochDayCount) +
         static_cast<double>(seconds) / static_cast<double>(kSecondsPerDay);
}

// ---------------------------------------------------------------------------------------------
// Reading a folder

namespace {

Error SystemError(const std::string& path, int code) {
  return Error(Format("%s: %s", path, std::strerror(code)), code);
}

// From this many entries on, the memory of the old ones is handed back before a read.
constexpr size_t kTrimAbove = 10000;

class BusyGuard {
 public:
  explicit BusyGuard(FolderListView& view) : m_view(view) { m_view.BeginBusy(); }
  ~BusyGuard() { m_view.EndBusy(); }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;

 private:
  FolderListView& m_view;
};

class ItemsUpdateGuard {
 public:
  explicit ItemsUpdateGuard(FolderListView& view) : m_view(view) { m_view.BeginItemsUpdate(); }
  ~ItemsUpdateGuard() { m_view.EndItemsUpdate(); }
  ItemsUpdateGuard(const ItemsUpdateGuard&) = delete;
  ItemsUpdateGuard& operator=(const ItemsUpdateGuard&) = delete;

 private:
  FolderListView& m_view;
};

// "/a/b" -> "/a", "/a" -> "/".
std::string ParentFolder(const std::string& folder) {
  const size_t slash = folder.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return folder.substr(0, slash);
}

// A folder as a typed path: with a trailing "/" it is a folder even when its name holds "*"
// or "?".
std::string FolderPathText(const std::string& folder) {
  return folder == "/" ? folder : folder + "/";
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// FolderList

FolderList::FolderList(FolderListView* view) : m_view(nullptr), m_directory(WorkingFolder()) {
  SetView(view);
}

FolderList::~FolderList() = default;

void FolderList::SetView(FolderListView* view) {
  if (!view) {
    if (!m_ownView) m_ownView = std::make_unique<BasicFolderListView>();
    view = m_ownView.get();
  }
  m_view = view;
}

void FolderList::SetMask(const std::string& mask) {
  if (mask == m_mask) return;
  m_mask = mask;
  ReadFolder();
}

void FolderList::SetFileType(TXFileType fileType) {
  if (fileType == m_fileType) return;
  m_fileType = fileType;
  ReadFolder();
}

void FolderList::SetShowParentFolder(bool show) {
  if (show == m_showParentFolder) return;
  m_showParentFolder = show;
  ReadFolder();
}

void FolderList::SetShellIcons(bool shellIcons) {
  if (shellIcons == m_shellIcons) return;
  m_shellIcons = shellIcons;
  ReadFolder();
}

void FolderList::SetSortBy(TFileItem sortBy) {
  if (sortBy == m_sort.sortBy) return;
  m_sort.sortBy = sortBy;
  Resort();
}

void FolderList::SetSortOrder(TSortOrder sortOrder) {
  if (sortOrder == m_sort.sortOrder) return;
  m_sort.sortOrder = sortOrder;
  Resort();
}

void FolderList::SetSortFolders(TSortFolders sortFolders) {
  if (sortFolders == m_sort.sortFolders) return;
  m_sort.sortFolders = sortFolders;
  Resort();
}

void FolderList::SetNumericSort(bool numeric) {
  if (numeric == m_sort.numeric) return;
  m_sort.numeric = numeric;
  // The keys of the shown entries are the other collator's.
  for (TEntryInfo& record : m_records) record.SortKey.clear();
  Resort();
}

const std::string& FolderList::ItemText(int index) const {
  static const std::string kEmpty;
  return index >= 0 && index < Count() ? m_items[index].text : kEmpty;
}

TEntryInfo* FolderList::ItemInfo(int index) const {
  return index >= 0 && index < Count() ? m_items[index].object : nullptr;
}

TEntryKind FolderList::ItemKind(int index) const {
  const TEntryInfo* info = ItemInfo(index);
  return info ? EntryKindOf(info->GlyphCode) : ekNone;
}

std::string FolderList::ItemName(int index) const {
  const TEntryKind kind = ItemKind(index);
  if (kind == ekNone) return {};
  const std::string& text = m_items[index].text;
  if ((kind == ekFolder || kind == ekParentFolder) && text.size() >= 2) {
    return text.substr(1, text.size() - 2);
  }
  return text;
}

std::string FolderList::ItemPath(int index) const { return JoinPath(m_directory, ItemName(index)); }

std::string FolderList::FocusedName() const {
  const int focused = m_view->Focused();
  if (focused < 0 || focused >= Count() || !m_view->IsMarked(focused)) return {};
  return ItemName(focused);
}

std::string FolderList::FocusedPath() const {
  const std::string name = FocusedName();
  return name.empty() ? std::string() : JoinPath(m_directory, name);
}

void FolderList::Activate() {
  m_active = true;
  ReadFolder();
}

bool FolderList::ActivateInBackground(int patience) {
  if (m_active) return true;
  if (::chdir(m_directory.c_str()) != 0) throw SystemError(m_directory, errno);
  m_active = true;
  m_view->BeginBusy();
  try {
    m_background = std::make_unique<BackgroundScan>(m_directory, ScanRequestNow());
  } catch (...) {
    m_view->EndBusy();
    throw;
  }
  if (!m_background->WaitFor(patience)) {
    // The folder's path shows while the list is empty.
    NotifyChange();
    return false;
  }
  FinishRead();
  return true;
}

bool FolderList::ReadDone() const { return m_background == nullptr || m_background->Done(); }

size_t FolderList::NamesRead() const { return m_background ? m_background->NamesRead() : 0; }

size_t FolderList::LookedUp() const { return m_background ? m_background->LookedUp() : 0; }

void FolderList::CancelRead() {
  if (!m_background) return;
  m_background.reset();
  m_view->EndBusy();
}

void FolderList::FinishRead() {
  if (!m_background) return;
  const std::unique_ptr<BackgroundScan> read = std::move(m_background);
  // The busy cursor the read began ends with it, however the showing ends.
  struct EndBusy {
    FolderListView& view;
    ~EndBusy() { view.EndBusy(); }
  } endBusy{*m_view};
  ReplaceEntries([&] { return read->Take(); });
  NotifyChange();
  if (OnUpdateContent) OnUpdateContent();
}

void FolderList::ReadFolder() {
  if (!m_active) return;
  CancelRead();
  if (::chdir(m_directory.c_str()) != 0) throw SystemError(m_directory, errno);
  {
    const BusyGuard busy(*m_view);
    // Only reading can fail; until then the old entries stay as they are.
    const ScanRequest request = ScanRequestNow();
    ScannedFolder folder = ReadFolderEntries(m_directory, request);
    ReplaceEntries([&] { return BuildScan(folder, request); });
  }
  NotifyChange();
  if (OnUpdateContent) OnUpdateContent();
}

ScanRequest FolderList::ScanRequestNow() const {
  ScanRequest request;
  request.mask = m_mask;
  request.fileType = m_fileType;
  request.showParentFolder = m_showParentFolder;
  request.shellIcons = m_shellIcons;
  if (m_directory != "/") request.parentPath = ParentFolder(m_directory);
  request.sort = m_sort;
  return request;
}

void FolderList::ReleaseEntries() {
  const bool many = m_items.size() >= kTrimAbove;
  std::vector<Item>().swap(m_items);
  std::vector<TEntryInfo>().swap(m_records);
  m_blocks = ScanBlocks{};
  m_folderCount = 0;
  m_fileCount = 0;
  ++m_generation;
  // Freed, the memory of many entries would stay with the heap, and the next read would take
  // its own beside it.
  if (many) ::malloc_trim(0);
}

void FolderList::ReplaceEntries(const std::function<FolderScan()>& scan) {
  m_view->ItemsAboutToBeReplaced();
  // The old entries go before the new ones are made, so that the two never take memory side
  // by side; should making them fail, the list stays empty.
  ReleaseEntries();
  try {
    AdoptScan(scan());
  } catch (...) {
    m_view->ItemsReplaced();
    throw;
  }
  m_view->ItemsReplaced();
}

void FolderList::AdoptScan(FolderScan&& scan) {
  m_items = std::move(scan.items);
  m_records = std::move(scan.records);
  m_blocks = scan.blocks;
  m_folderCount = scan.folderCount;
  m_fileCount = scan.fileCount;
  m_unlisted = scan.unlisted;
  ++m_generation;
}

void FolderList::Resort() {
  FinishRead();
  // The marks and the focus follow their entries, as the records stay the same objects: the
  // user sees the same files marked, and a batch then takes them in the new order.
  std::unordered_set<const TEntryInfo*> marked;
  if (m_view->MarkedCount() > 0) {
    for (int i = 0; i < Count(); ++i) {
      if (m_view->IsMarked(i)) marked.insert(m_items[i].object);
    }
  }
  const int focusedIndex = m_view->Focused();
  const TEntryInfo* focused =
      focusedIndex >= 0 && focusedIndex < Count() ? m_items[focusedIndex].object : nullptr;

  m_view->ItemsAboutToBeReplaced();
  std::vector<Item>& store = m_store.Items();
  store.swap(m_items);
  SortItems(m_store, m_blocks, m_sort, /*keepKeys=*/false);
  m_items.swap(store);
  store.clear();
  m_store.Clear();
  m_view->ItemsReplaced();

  if (marked.empty() && focused == nullptr) return;
  m_view->BeginItemsUpdate();
  int newFocus = -1;
  for (int i = 0; i < Count(); ++i) {
    if (marked.count(m_items[i].object) != 0) m_view->SetMarked(i, true);
    if (focused != nullptr && m_items[i].object == focused) newFocus = i;
  }
  m_view->EndItemsUpdate();
  if (newFocus >= 0) m_view->SetFocused(newFocus);
}

void FolderList::ChangeFolder(const std::string& folder) {
  FinishRead();
  // Kept as the user walked it, as a shell does: "link/.." is the folder holding the link, not
  // the parent of the link's target.
  std::string target = LogicalPath(folder, m_directory);
  if (target == m_directory) return;
  // Where to return when the new folder fails: the old Directory, or failing that the
  // working folder as it was.
  const detail::UniqueFd saved(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  const std::string oldDirectory = m_directory;
  auto restore = [&] {
    if (::chdir(oldDirectory.c_str()) != 0 && saved.Valid() && ::fchdir(saved.Get()) != 0) {
      // Neither can be entered again: the process stays where it is.
    }
  };

  if (::chdir(target.c_str()) != 0) {
    const int code = errno;
    restore();
    throw SystemError(folder, code);
  }
  // What the user looked at here, for going back to it.
  const std::string focusedText = ItemText(m_view->Focused());
  m_directory = std::move(target);
  const uint64_t generation = m_generation;
  try {
    ReadFolder();
  } catch (...) {
    // A folder that cannot be read: go back, so that Directory, the working folder and the
    // shown entries still agree.
    if (m_generation == generation) {
      m_directory = oldDirectory;
      restore();
    }
    throw;
  }
  // Only folders the user saw count: not the start folder before the list was shown.
  if (m_active && m_recordHistory && !oldDirectory.empty()) {
    if (!m_history.empty() && m_history.back().folder == oldDirectory) m_history.pop_back();
    m_history.push_back(Visit{oldDirectory, focusedText});
    if (m_history.size() > kHistoryLimit) m_history.erase(m_history.begin());
  }
}

void FolderList::GoToPath(const std::string& path) {
  FinishRead();
  if (path.empty() || path == FocusedPath()) return;
  // A relative path is taken from the shown folder, whatever the working folder is now.
  const EnteredPath parts = SplitTypedPath(path, m_directory);
  if (TreeGoToPath) {
    TreeGoToPath(path);
  } else {
    ChangeFolder(parts.folder);
  }
  const std::string& file = parts.file;
  if (file.find_first_of("*?") != std::string::npos) {
    SetMask(file);
  } else if (!file.empty()) {
    FocusName(file);
    struct stat st;
    if (::lstat(JoinPath(m_directory, file).c_str(), &st) != 0) {
      throw Error(Format("Invalid file name - %s", path));
    }
    // Not found in the list: the mask hides it, so show just that name.
    const int focused = m_view->Focused();
    if (focused < 0 || focused >= Count()) {
      SetMask(file);
      FocusName(file);
    }
  }
  if (OnOpenFolder) OnOpenFolder(m_directory);
}

int FolderList::FindText(const std::string& text, int start) const {
  const int count = Count();
  for (int k = 0; k < count; ++k) {
    const int i = (start + k) % count;
    if (m_items[i].text == text) return i;
  }
  for (int k = 0; k < count; ++k) {
    const int i = (start + k) % count;
    if (SameNameIgnoringCase(m_items[i].text, text)) return i;
  }
  return -1;
}

void FolderList::FocusItem(int index, bool mark) {
  m_view->SetFocused(index);
  if (mark && index >= 0) m_view->SetMarked(index, true);
}

void FolderList::FocusName(const std::string& name) {
  FinishRead();
  if (name == FocusedName()) return;
  FocusItem(FindText(name, 1), !m_view->MultiSelect());
  NotifyChange();
}

void FolderList::OpenFocusedItem() {
  const int focused = m_view->Focused();
  switch (ItemKind(focused)) {
    case ekFolder:
      EnterFolder();
      break;
    case ekParentFolder:
      EnterParentFolder();
      break;
    case ekFile:
      RunFocusedFile();
      break;
    case ekNone:
      break;
  }
}

void FolderList::EnterFolder() {
  if (!m_openFolders) return;
  const int focused = m_view->Focused();
  TEntryInfo* info = ItemInfo(focused);
  if (!info) return;
  const std::string path = ItemPath(focused) + "/";
  const int32_t code = info->GlyphCode;
  const uint64_t generation = m_generation;
  if (m_showFolderAnimation) {
    info->GlyphCode = kGlyphFolderOpen;
    m_view->RedrawItem(focused);
  }
  // The open-folder glyph goes when the folder could not be entered (the entry stays shown).
  auto restoreGlyph = [&] {
    if (m_showFolderAnimation && m_generation == generation) {
      info->GlyphCode = code;
      m_view->RedrawItem(focused);
    }
  };
  const ItemsUpdateGuard update(*m_view);
  try {
    GoToPath(path);
  } catch (...) {
    restoreGlyph();
    throw;
  }
  restoreGlyph();
  if (Count() > 0) {
    FocusItem(0, true);
    // The scan reported before this mark was set; the marked count has changed since.
    NotifyChange();
  }
}

void FolderList::EnterParentFolder() {
  if (m_openParentFolders) GoToParent();
}

bool FolderList::GoToParent() {
  if (m_directory.empty() || m_directory == "/") return false;
  const ItemsUpdateGuard update(*m_view);
  // The nearest folder above that can be entered: a parent that vanished or was closed since
  // must not keep the user below it. The first failure is told when none can be.
  std::string left = m_directory;
  std::exception_ptr firstError;
  for (;;) {
    const std::string parent = ParentFolder(left);
    try {
      GoToPath(FolderPathText(parent));
      break;
    } catch (const Error&) {
      if (!firstError) firstError = std::current_exception();
      if (parent == "/") std::rethrow_exception(firstError);
      left = parent;
    }
  }
  if (m_fileType.Contains(xftDirectory) && Count() > 0) {
    const int index = FindText("[" + NamePart(left) + "]", 0);
    FocusItem(index < 0 ? 0 : index, true);
    NotifyChange();  // the scan reported before this mark was set
  }
  return true;
}

bool FolderList::GoBack() {
  const ItemsUpdateGuard update(*m_view);
  while (!m_history.empty()) {
    const Visit visit = std::move(m_history.back());
    m_history.pop_back();
    if (visit.folder == m_directory) continue;
    // Going back takes the folder off the history and puts nothing on it, so a second step
    // goes further back instead of returning.
    const bool record = std::exchange(m_recordHistory, false);
    try {
      GoToPath(FolderPathText(visit.folder));
    } catch (const Error&) {
      m_recordHistory = record;
      continue;  // gone or closed since: the one before it
    } catch (...) {
      m_recordHistory = record;
      throw;
    }
    m_recordHistory = record;
    if (Count() > 0) {
      const int index = visit.focused.empty() ? -1 : FindText(visit.focused, 0);
      FocusItem(index < 0 ? 0 : index, true);
      NotifyChange();  // the scan reported before this mark was set
    }
    return true;
  }
  return false;
}

void FolderList::RunFocusedFile() {
  const int focused = m_view->Focused();
  if (focused < 0 || focused >= Count()) return;
  const std::string path = JoinPath(m_directory, m_items[focused].text);
  if (m_openFiles && !m_view->OpenWithShell(path)) m_view->Beep();
  if (OnOpenFile) OnOpenFile(path);
}

void FolderList::NotifyChange() {
  m_lastReportedFocus = m_view->Focused();
  if (OnChange) OnChange();
}

void FolderList::SelectionClicked() {
  if (m_view->Focused() != m_lastReportedFocus) NotifyChange();
}

}  // namespace relabo
