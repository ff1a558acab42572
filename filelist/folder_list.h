// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "filelist/entry.h"
#include "filelist/file_sort.h"
#include "filelist/folder_read.h"
#include "filelist/sort_string_list.h"

namespace relabo {

/// What the widget showing a FolderList provides: the marks and the focus live in the view,
/// and the list tells it when its items change. Indexes are list indexes.
class FolderListView {
 public:
  virtual ~FolderListView() = default;

  /// The focused index (the current item), -1 when none.
  virtual int Focused() const = 0;
  virtual void SetFocused(int index) = 0;
  /// Marked = selected. In single-select mode at most one item is marked.
  virtual bool IsMarked(int index) const = 0;
  virtual void SetMarked(int index, bool marked) = 0;
  virtual int MarkedCount() const = 0;
  virtual bool MultiSelect() const = 0;

  /// Suspend and resume repainting around several changes (may nest).
  virtual void BeginItemsUpdate() = 0;
  virtual void EndItemsUpdate() = 0;
  /// Bracket a replacement of all items (a model reset). After ItemsReplaced the view reads the
  /// new count and clears every mark and the focus.
  virtual void ItemsAboutToBeReplaced() = 0;
  virtual void ItemsReplaced() = 0;
  /// Repaint one item at once (its record changed).
  virtual void RedrawItem(int index) = 0;

  /// Show and take back the busy cursor (paired, may nest).
  virtual void BeginBusy() = 0;
  virtual void EndBusy() = 0;
  virtual void Beep() = 0;
  /// Opens a file with the desktop's default application; false when that failed.
  virtual bool OpenWithShell(const std::string& path) = 0;
};

/// A view without a window: marks and focus in memory, beeps and opened files counted. The
/// list uses one when it is given no view; tests use it to watch the list.
class BasicFolderListView : public FolderListView {
 public:
  explicit BasicFolderListView(bool multiSelect = true) : m_multiSelect(multiSelect) {}

  int Focused() const override { return m_focused; }
  void SetFocused(int index) override { m_focused = index; }
  bool IsMarked(int index) const override;
  void SetMarked(int index, bool marked) override;
  int MarkedCount() const override { return m_markedCount; }
  bool MultiSelect() const override { return m_multiSelect; }
  void SetMultiSelect(bool multiSelect) { m_multiSelect = multiSelect; }

  void BeginItemsUpdate() override { ++m_updateDepth; }
  void EndItemsUpdate() override { --m_updateDepth; }
  void ItemsAboutToBeReplaced() override {}
  void ItemsReplaced() override;
  void RedrawItem(int index) override { m_redrawn.push_back(index); }

  void BeginBusy() override { ++m_busyDepth; }
  void EndBusy() override { --m_busyDepth; }
  void Beep() override { ++m_beeps; }
  bool OpenWithShell(const std::string& path) override;

  /// What the list did to the view, for tests.
  int UpdateDepth() const { return m_updateDepth; }
  int BusyDepth() const { return m_busyDepth; }
  int Beeps() const { return m_beeps; }
  int Resets() const { return m_resets; }
  const std::vector<int>& Redrawn() const { return m_redrawn; }
  const std::vector<std::string>& Opened() const { return m_opened; }
  /// What OpenWithShell answers (true unless set).
  void SetOpenResult(bool result) { m_openResult = result; }

 private:
  bool m_multiSelect;
  int m_focused = -1;
  std::vector<bool> m_marks;
  int m_markedCount = 0;
  int m_updateDepth = 0;
  int m_busyDepth = 0;
  int m_beeps = 0;
  int m_resets = 0;
  bool m_openResult = true;
  std::vector<int> m_redrawn;
  std::vector<std::string> m_opened;
};

/// The running user's identity, for judging write permission.
struct UserCredentials {
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;
  /// The effective user and group and the supplementary groups of this process.
  static UserCredentials Current();
};

/// True when the user may not write the entry by its mode bits and ownership (the super-user
/// may write everything).
bool IsReadOnlyFor(mode_t mode, uid_t owner, gid_t group, const UserCredentials& user);

/// The attribute word of an entry from its stat data (of the link target for a symbolic link):
/// directory, read-only (for user), hidden (a name beginning with "." but not "." or ".."),
/// system (neither a regular file nor a directory), normal (a regular file with none of these).
uint32_t AttributeWordOf(std::string_view name, mode_t mode, uid_t owner, gid_t group,
                         const UserCredentials& user);

/// A last-write time as a day count in local time: whole part = days since 30 December 1899,
/// fraction = time of day (whole seconds).
double DayCountOf(std::time_t time);

/// The entries of one folder, read and filtered by Mask and FileType, sorted, with the current
/// folder, the navigation between folders and the queries of the file list. Holds no
/// presentation: marks and focus live in the FolderListView; a widget shows Count(),
/// ItemText(i) and ItemInfo(i) and calls the commands.
///
/// The process's working folder follows Directory(): every scan enters it first, and batch
/// commands rename files by bare names relative to it.
///
/// Directory is the path as the user walked it, as a shell keeps it: entering a folder through
/// a symbolic link and going up again returns to the folder holding the link. The list keeps
/// the last kHistoryLimit folders it left, for GoBack.
class FolderList {
 public:
  /// Without a view the list uses a BasicFolderListView of its own (multi-select).
  explicit FolderList(FolderListView* view = nullptr);
  virtual ~FolderList();
  FolderList(const FolderList&) = delete;
  FolderList& operator=(const FolderList&) = delete;

  /// Attaches another view (nullptr: the list's own one again).
  void SetView(FolderListView* view);
  FolderListView& View() const { return *m_view; }

  // Properties. A setter acts only when the value really changes: Mask, FileType,
  // ShowParentFolder and ShellIcons read the folder again, the sort settings re-sort.

  /// The full path of the current folder as the user walked there (a LogicalPath: symbolic
  /// links kept, no "." or ".." parts; "/" for the root, no trailing "/" otherwise). At first
  /// the process's current folder as getcwd reports it.
  const std::string& Directory() const { return m_directory; }
  /// Patterns separated by ";" (see NameFilter); each is used as it stands.
  const std::string& Mask() const { return m_mask; }
  void SetMask(const std::string& mask);
  TXFileType FileType() const { return m_fileType; }
  void SetFileType(TXFileType fileType);
  bool ShowParentFolder() const { return m_showParentFolder; }
  void SetShowParentFolder(bool show);
  /// File entries get the code kGlyphShellIcon instead of a built-in glyph.
  bool ShellIcons() const { return m_shellIcons; }
  void SetShellIcons(bool shellIcons);
  bool OpenFolders() const { return m_openFolders; }
  void SetOpenFolders(bool open) { m_openFolders = open; }
  bool OpenParentFolders() const { return m_openParentFolders; }
  void SetOpenParentFolders(bool open) { m_openParentFolders = open; }
  /// Opening a file entry hands it to the desktop's default application.
  bool OpenFiles() const { return m_openFiles; }
  void SetOpenFiles(bool open) { m_openFiles = open; }
  bool ShowFolderAnimation() const { return m_showFolderAnimation; }
  void SetShowFolderAnimation(bool show) { m_showFolderAnimation = show; }
  TFileItem SortBy() const { return m_sort.sortBy; }
  void SetSortBy(TFileItem sortBy);
  TSortOrder SortOrder() const { return m_sort.sortOrder; }
  void SetSortOrder(TSortOrder sortOrder);
  TSortFolders SortFolders() const { return m_sort.sortFolders; }
  void SetSortFolders(TSortFolders sortFolders);
  /// The name sort takes runs of digits by their value: "file2" before "file10".
  bool NumericSort() const { return m_sort.numeric; }
  void SetNumericSort(bool numeric);
  /// Folder entries of the last scan, the parent entry included.
  int FolderCount() const { return m_folderCount; }
  /// File entries of the last scan (a file matching two patterns counts twice).
  int FileCount() const { return m_fileCount; }
  /// The last scan could enter Directory but not read it (a folder of mode 0311 or 0111): the
  /// list shows only the parent entry, and the names the Mask spells out without wildcards
  /// (matched by their exact bytes) when they exist there. Up to date when OnUpdateContent runs.
  bool Unlisted() const { return m_unlisted; }

  // Items. No query throws for a bad index.

  int Count() const { return static_cast<int>(m_items.size()); }
  /// The stored text: a file's name, a folder's name in brackets, "[..]"; empty outside.
  const std::string& ItemText(int index) const;
  /// The record of an entry; nullptr outside the list. The widget may set GlyphCode to an icon
  /// cache index.
  TEntryInfo* ItemInfo(int index) const;
  /// ekNone outside the list.
  TEntryKind ItemKind(int index) const;
  /// The text without the brackets of folder and parent entries; empty outside.
  std::string ItemName(int index) const;
  /// Directory joined with ItemName; Directory followed by "/" outside the list.
  std::string ItemPath(int index) const;
  /// ItemName of the focused entry when it is also marked, else empty.
  std::string FocusedName() const;
  /// Directory joined with FocusedName, or empty when that is empty.
  virtual std::string FocusedPath() const;

  // Commands.

  /// The list's window exists: from now on ReadFolder reads; reads the folder once.
  void Activate();
  bool Active() const { return m_active; }
  /// As Activate, but the folder is read on a thread of its own, with the busy cursor. Waits
  /// up to patience milliseconds for the read and then shows the entries as Activate does
  /// (true). When the read takes longer the list stays empty and Reading() true (false); its
  /// entries come with FinishRead.
  bool ActivateInBackground(int patience);
  /// A read begun by ActivateInBackground is not shown yet.
  bool Reading() const { return m_background != nullptr; }
  /// That read has ended: FinishRead will not wait.
  bool ReadDone() const;
  /// Names that read has read so far, and of those the entries looked up (after all names).
  size_t NamesRead() const;
  size_t LookedUp() const;
  /// Waits for that read and shows its entries as ReadFolder does; throws its error, and then
  /// the list stays empty. The commands that change the folder, the entries or their order
  /// call it first; ReadFolder drops the read and reads anew.
  void FinishRead();
  /// Stops that read, which is not shown; the list stays empty.
  void CancelRead();
  void Rescan() { ReadFolder(); }
  /// Reads Directory again (nothing before Activate). A folder that can be entered but not
  /// read is shown Unlisted. Throws Error when the folder cannot be entered or read otherwise;
  /// then nothing has changed and the old entries stay.
  virtual void ReadFolder();
  /// Sorts the shown entries again with the current settings. The records stay the same
  /// objects, and the marks and the focus stay with their entries; no change notification
  /// (the number of marks is unchanged).
  void Resort();
  /// Makes folder (relative to Directory, taken as LogicalPath(folder, Directory())) current and
  /// reads it; nothing when it is Directory. Throws Error when it cannot be entered or read;
  /// then Directory, the working folder and the history stay as they were.
  void ChangeFolder(const std::string& folder);
  /// Applies a typed path (see SplitTypedPath; "~" is the home folder, a relative path is taken
  /// from Directory): opens its folder, and a last part with "*" or "?" becomes the Mask, any
  /// other last part is focused. Throws Error "Invalid file name - <path>" (after the folder
  /// change) when that names no entry.
  virtual void GoToPath(const std::string& path);
  /// Focuses the entry whose text is name (an exact match first, then one ignoring case),
  /// marking it in single-select mode; focuses nothing when there is none. Then NotifyChange.
  void FocusName(const std::string& name);
  /// Enter, go up or open the file, by the focused entry's kind.
  void OpenFocusedItem();
  /// Enters the focused folder entry (marked or not) and focuses and marks its first entry.
  void EnterFolder();
  /// What the parent entry does: GoToParent when OpenParentFolders.
  void EnterParentFolder();
  /// Goes up one folder along Directory and focuses and marks the folder just left; false (and
  /// nothing done) at "/". A parent that cannot be entered is passed over for the nearest
  /// folder above it that can; throws the parent's Error when not even "/" can be.
  bool GoToParent();
  /// Returns to the folder left last, skipping those that cannot be entered any more, and
  /// focuses and marks the entry that was focused there (the first one when it is gone). The
  /// folder is taken off the history, and going back records nothing, so steps go ever further
  /// back. False when there is nowhere to go back to.
  bool GoBack();
  /// The history holds a folder (which may have vanished since).
  bool CanGoBack() const { return !m_history.empty(); }
  /// How many folders the history keeps; the oldest goes first.
  static constexpr size_t kHistoryLimit = 50;
  /// Opens the focused file (when OpenFiles) and reports it through OnOpenFile.
  void RunFocusedFile();
  /// After the focus moved or a scan ended: remembers the focused index and calls OnChange.
  /// A widget that shows more (a path label) overrides it and calls this one.
  virtual void NotifyChange();
  /// The widget calls this after every selection change made with the mouse or keys; it runs
  /// NotifyChange only when the focused index differs from the last one reported.
  void SelectionClicked();

  // Events.

  /// After the focus changed or a scan ended.
  std::function<void()> OnChange;
  /// After a scan ended.
  std::function<void()> OnUpdateContent;
  /// A file entry was opened; its full path.
  std::function<void(const std::string& path)> OnOpenFile;
  /// A typed path was applied; the new Directory.
  std::function<void(const std::string& folder)> OnOpenFolder;
  /// A linked directory tree list: when set, GoToPath hands it the whole typed path instead of
  /// changing the folder itself (the tree list then calls ChangeFolder).
  std::function<void(const std::string& path)> TreeGoToPath;

 private:
  using Item = TSortStringList::Item;
  // A folder left, and the text of the entry that was focused there.
  struct Visit {
    std::string folder;
    std::string focused;
  };

  int FindText(const std::string& text, int start) const;
  // What a scan of Directory takes with the present settings.
  ScanRequest ScanRequestNow() const;
  // Shows the entries scan makes in place of the old ones, which go first.
  void ReplaceEntries(const std::function<FolderScan()>& scan);
  // Lets go of the shown entries (inside ItemsAboutToBeReplaced/ItemsReplaced).
  void ReleaseEntries();
  void AdoptScan(FolderScan&& scan);
  void FocusItem(int index, bool mark);

  FolderListView* m_view;
  std::unique_ptr<BasicFolderListView> m_ownView;

  std::string m_directory;
  std::string m_mask = "*.*";
  TXFileType m_fileType = kDefaultFileType;
  bool m_showParentFolder = true;
  bool m_shellIcons = true;
  bool m_openFolders = true;
  bool m_openParentFolders = true;
  bool m_openFiles = true;
  bool m_showFolderAnimation = true;
  SortSettings m_sort;

  bool m_active = false;
  int m_folderCount = 0;
  int m_fileCount = 0;
  bool m_unlisted = false;
  int m_lastReportedFocus = -1;
  // Counts the scans that replaced the items, so a failed command can tell whether the
  // records it holds are still the shown ones.
  uint64_t m_generation = 0;
  ScanBlocks m_blocks;
  // The read ActivateInBackground began, until it is shown.
  std::unique_ptr<BackgroundScan> m_background;
  // Oldest first; ChangeFolder adds to it unless GoBack is stepping back.
  std::vector<Visit> m_history;
  bool m_recordHistory = true;

  // The shown entries; their records live in m_records, which is never resized once filled,
  // so the item pointers stay valid until the next scan replaces both.
  std::vector<Item> m_items;
  std::vector<TEntryInfo> m_records;
  // Borrows the shown entries to re-sort them; empty between.
  TSortStringList m_store;
};

}  // namespace relabo
