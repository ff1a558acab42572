// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QPointer>
#include <QString>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/batch.h"
#include "engine/layout_scale.h"
#include "filelist/file_sort.h"
#include "fileutil/start_paths.h"
#include "ui/actions.h"
#include "ui/edge_dock_form.h"
#include "ui/elided_label.h"
#include "ui/help_window.h"
#include "ui/main_layout.h"
#include "ui/settings.h"

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QActionGroup;
class QFrame;
class QLabel;
class QMenu;
class QMenuBar;
class QToolButton;

namespace relabo {

class JournalView;
class JournalWriter;
struct JournalBatch;
class TCommandPages;
class TXDriveComboBox;
class TXFileListBox;
class TPreviewController;
class TXPathLabel;

/// The captions of the sort header buttons, by sort column ("Name" ... "Attr").
extern const std::array<const char*, 5> kHeaderCaptions;
/// The marks that follow the sort column's caption: "+" ascending, an em dash descending.
extern const std::array<const char*, 2> kSortOrderMarks;

/// The desktop's sans-serif font at 8 points, the font of the main window.

/// "3 of 120 renames failed" after a batch with failures; empty when none failed.
QString BatchFailureNote(const BatchOutcome& outcome, int command);

/// The program's window: a toolbar, the notebook of the eight command pages, the volume
/// selector, the path label, the sort header, the file list and a two-panel status bar. Every
/// command is one of its actions; menus, toolbar, header buttons and the context menu only
/// trigger them, and their shortcuts act anywhere in the window. Reads the settings when it is
/// made and writes them when it goes.
class TMainForm : public TEdgeDockForm, public SettingsTarget {
  Q_OBJECT

 public:
  /// Uses the user's settings file unless given another store.
  explicit TMainForm(std::unique_ptr<SettingsStore> store = nullptr, QWidget* parent = nullptr);
  ~TMainForm() override;

  // Window state.

  /// Makes command index (0-7) current: its toolbar button down, its menu entry checked, its
  /// page shown, the caption "Relabo 2.2 - " + its name; the focus stays where it was.
  void SelectCommand(int index) override;
  /// The current command: the notebook's page.
  int Command() const;
  /// Chooses the sort column; choosing the current one reverses the order.
  void SelectSortColumn(TFileItem column);
  /// Sets the sort order and everything that shows it.
  void SetSortDirection(TSortOrder order);

  /// Marks every file entry and unmarks folders and the parent entry.
  void SelectAllFiles();
  void UnselectAllEntries();
  /// Toggles the marks of the file entries; folders keep theirs.
  void InvertFileSelection();

  /// Opens the top folder of the volume chosen in the volume selector, unless it is shown.
  void ApplyDrive();
  /// Gives the file list the focus, its top visible entry focused and marked.
  void FocusFileList();
  /// Refresh status panel 1 ("Selected") and panel 0 ("Total").
  void FilesChange();
  void FilesUpdateContent();
  // The first read of a large folder goes on: the count so far, and no command until it ends.
  void FilesReading(bool reading, size_t names, size_t lookedUp);
  // Start paths that wait for the first read of their folder to end.
  std::optional<StartPaths> m_pendingStart;

  /// Runs the current command over the marked files (F9).
  void Execute();

  // Parts, for the program and its tests.

  QAction* Action(ActionId id) const { return m_actions[size_t(id)]; }
  TCommandPages* Pages() const { return m_pages; }
  TXFileListBox* Files() const { return m_files; }
  TXDriveComboBox* Drive() const { return m_drive; }
  TXPathLabel* FolderLabel() const { return m_folderLabel; }
  QFrame* FolderPanel() const { return m_folderPanel; }
  QToolButton* HeaderButton(TFileItem column) const { return m_headerButtons[column]; }
  /// The toolbar button at a position counting the separators; null at a separator.
  QToolButton* ToolButton(int position) const { return m_toolButtons.at(size_t(position)); }
  QMenuBar* MainMenu() const { return m_mainMenu; }
  QMenu* FilesPopupMenu() const { return m_filesPopupMenu; }
  /// The text of status panel 0 or 1.
  QString StatusText(int panel) const;
  /// The note beside the panels: failures of the last batch, extension or deletion.
  QString StatusNote() const;
  const std::string& LastDrive() const { return m_lastDrive; }

  /// The help file and the help window (made at the first request).
  const QString& HelpFile() const { return m_helpFile; }
  void SetHelpFile(const QString& path);
  THelpWindow* HelpWindow() const { return m_helpWindow; }
  /// Opens help at a menu entry's topic, as F1 does while a menu is open; false when the entry
  /// has no number.
  bool ShowMenuEntryHelp(const QAction* entry);

  // SettingsTarget.

  int32_t WindowLeft() const override;
  int32_t WindowTop() const override;
  void SetWindowLeft(int32_t left) override;
  void SetWindowTop(int32_t top) override;
  int32_t WindowWidth() const override;
  int32_t WindowHeight() const override;
  void SetWindowSize(int32_t width, int32_t height) override;
  void SetDefaultPlacement(bool centred) override { m_centreWhenShown = centred; }
  QSize ScreenSize() const override;
  QSize WindowSize() const override;
  std::string Mask() const override;
  void SetMask(const std::string& mask) override;
  std::string Directory() const override;
  void GoToPath(const std::string& path) override;
  void SetDriveQuietly(const std::string& folder) override;
  int SortBy() const override;
  int SortOrder() const override;
  void SetSort(int sortBy, int sortOrder) override;
  bool NumericSort() const override;
  void SetNumericSort(bool numeric) override;
  std::vector<std::string>& FilterHistory() override { return m_filterHistory; }
  std::vector<std::string>& GoToHistory() override { return m_goToHistory; }
  std::vector<std::string>& ExpandHistory() override { return m_expandHistory; }
  std::vector<std::string>& ShrinkHistory() override { return m_shrinkHistory; }
  CommandParameters Parameters() const override;
  void SetParameters(const CommandParameters& params) override;
  std::string CopyNumberText() const override;
  void RemoveFromClick() override;
  int ActivePage() const override { return Command(); }
  bool ShowPreview() const override;
  void SetShowPreview(bool show) override;
  bool ResolveChains() const override;
  void SetResolveChains(bool resolve) override;

  /// Opens what the program was started with, or what was dropped on the window: the folder,
  /// with the given entries marked and the focus on the first. Tells of paths that name nothing
  /// and of those left out; the filter becomes "*.*" when it hides a given entry.
  void OpenStartPaths(const StartPaths& start);
  /// Makes the folder of what the program was started with the one the window reads when it
  /// first shows, so that the stored folder is not read in vain. Before show().
  void PrepareStartFolder(const StartPaths& start);

  /// The plan behind the preview column.
  TPreviewController* Preview() const { return m_preview; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  /// Places every control for the client area's present size.
  void LayOutClient();
  MainLayoutNeeds MeasureNeeds() const;
  /// Moves a window that would be out of reach onto the nearest screen's work area.
  void KeepOnScreen();
  void CreateActions();
  void CreateMenus();
  QWidget* CreateToolBar();
  QWidget* CreateFilesPanel();
  void ConnectFileList();
  void ConnectDrive();
  void GuardShortcutsIn(QWidget* root);

  void Run(ActionId id);

  // Handlers of the actions.
  void SortActionExecute(QAction* action);
  void ReversedActionExecute();
  /// Sorts names with numbers by value or not, as the Numbers by Value check says.
  void ApplyNumericSort();
  void SwitchActionExecute();
  void ChooseDriveActionExecute();
  void UpdateFilesActionExecute();
  void PropertiesActionExecute();
  void HelpActionExecute();
  void MarkByMask(bool mark);
  void ChooseFilterActionExecute();
  void DefaultFilterActionExecute();
  void ExtensionActionExecute();
  void DeleteActionExecute();
  void GoToFolderActionExecute();
  void UndoActionExecute();
  void UndoHistoryActionExecute();

  /// A new batch's record in the undo journal, in the shown folder.
  std::unique_ptr<JournalWriter> StartJournal(std::string_view title) const;
  /// After a batch: tells in the note when the journal could not be written, and brings the
  /// Undo entry up to date.
  void JournalWritten(const std::string& error);
  /// Gives the Undo entry the title of the batch it takes back, or disables it.
  void UpdateUndoAction();
  /// Takes back the batches in turn (newest first) in the list's view of their folder.
  void RunUndo(const std::vector<JournalBatch>& batches);

  // Events of the file list and the volume selector.
  void FilesFocusChanged();
  void FilesEnter();
  void FilesExit();
  bool FilesKeyDown(QKeyEvent* event);
  bool FilesMouseDown(QMouseEvent* event);
  void DriveEnter();
  void DriveChange();
  void DriveKeyUp(QKeyEvent* event);
  void DrivePicked();

  void SetStatusNote(const QString& note, const QString& details = QString());
  /// Shows or hides the preview column as its action is checked.
  void ApplyPreview();
  /// A new plan: its summary goes to the note, unless the note tells of a batch.
  void PreviewPlanned();
  /// Changes marks with redraw suspended and the top row kept, then FilesChange.
  template <typename Change>
  void ChangeMarks(Change&& change);

  std::unique_ptr<SettingsStore> m_store;
  std::unique_ptr<JournalView> m_journal;
  std::array<QAction*, kActionCount> m_actions{};
  QActionGroup* m_commandGroup = nullptr;
  QActionGroup* m_sortGroup = nullptr;
  std::array<QAction*, kCommandCount> m_commandItems{};
  std::array<QAction*, 5> m_sortMenuItems{};

  // Design units to pixels, measured from the window's font.
  LayoutScale m_scale;
  QWidget* m_client = nullptr;
  QFrame* m_controlBar = nullptr;
  QWidget* m_toolBar = nullptr;
  QFrame* m_controlLine = nullptr;
  QFrame* m_parametersPanel = nullptr;
  QFrame* m_pagesLine = nullptr;
  QWidget* m_filesPanel = nullptr;
  QFrame* m_statusBar = nullptr;

  QMenuBar* m_mainMenu = nullptr;
  QMenu* m_filesPopupMenu = nullptr;
  std::vector<QToolButton*> m_toolButtons;
  TCommandPages* m_pages = nullptr;
  TXDriveComboBox* m_drive = nullptr;
  QFrame* m_folderPanel = nullptr;
  TXPathLabel* m_folderLabel = nullptr;
  QFrame* m_headerPanel = nullptr;
  std::array<QToolButton*, 5> m_headerButtons{};
  TXFileListBox* m_files = nullptr;
  std::array<QLabel*, 2> m_statusPanels{};
  TElidedLabel* m_statusNote = nullptr;
  QLabel* m_previewHeader = nullptr;
  TPreviewController* m_preview = nullptr;
  // Set while the note shows the preview's summary rather than a batch's failures.
  bool m_noteIsSummary = false;
  // Set while the note says the shown folder cannot be listed.
  bool m_noteIsUnlisted = false;

  std::vector<std::string> m_filterHistory;
  std::vector<std::string> m_expandHistory;
  std::vector<std::string> m_shrinkHistory;
  std::vector<std::string> m_goToHistory;
  std::string m_lastDrive;
  bool m_filesFocused = false;
  // Set when the file list got the focus from a mouse press that has not arrived yet.
  bool m_filesFocusedByClick = false;
  // Set when close() came while a batch or a deletion ran; the window closes after it.
  bool m_closeWhenEnabled = false;
  // Set when no position was stored: once shown, the window is centred on its frame.
  bool m_centreWhenShown = false;

  QString m_helpFile;
  QPointer<THelpWindow> m_helpWindow;
};

}  // namespace relabo
