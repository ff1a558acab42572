// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main_form.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <memory>

#include "engine/extension.h"
#include "engine/journal.h"
#include "engine/plan.h"
#include "engine/progress_form.h"
#include "engine/trash.h"
#include "engine/trash_batch.h"
#include "engine/undo.h"
#include "filelist/file_list_box.h"
#include "fileutil/error.h"
#include "fileutil/mask.h"
#include "fileutil/path.h"
#include "fileutil/start_paths.h"
#include "navigation/drive_combo_box.h"
#include "navigation/path_label.h"
#include "navigation/volume.h"
#include "ui/about_box.h"
#include "ui/command_pages.h"
#include "ui/dock_rule.h"
#include "ui/error_box.h"
#include "ui/help_window.h"
#include "ui/journal_view.h"
#include "ui/list_batch_entries.h"
#include "ui/preview_controller.h"
#include "ui/properties.h"
#include "ui/selection_form.h"
#include "ui/spin_edit.h"
#include "ui/undo_history_dialog.h"

namespace relabo {

const std::array<const char*, 5> kHeaderCaptions = {"Name", "Size", "Date", "Time", "Attr"};
const std::array<const char*, 2> kSortOrderMarks = {"+", "\u2014"};

namespace {

constexpr char kCaptionPrefix[] = "Relabo 2.2 - ";
// The design widths of the name column and of the preview column beside it.
constexpr int kNameWidth = 235;
constexpr int kPreviewWidth = 150;
constexpr char kShortcutGuardProperty[] = "relaboShortcutGuard";

// Colours of the folder bar: while the file list has the focus, and otherwise.
const QColor kFolderActiveBack(0x00, 0x00, 0x80);
const QColor kFolderActiveText(0xFF, 0xFF, 0xFF);
const QColor kFolderBack(0x80, 0x80, 0x80);
const QColor kFolderText(0xC0, 0xC0, 0xC0);

QString FromStd(const std::string& text) { return QString::fromStdString(text); }

// Suspends the list's redraw and mark notifications for a bulk change.
class ItemsUpdate {
 public:
  explicit ItemsUpdate(TXFileListBox& list) : m_list(list) { m_list.BeginItemsUpdate(); }
  ~ItemsUpdate() { m_list.EndItemsUpdate(); }
  ItemsUpdate(const ItemsUpdate&) = delete;
  ItemsUpdate& operator=(const ItemsUpdate&) = delete;

 private:
  TXFileListBox& m_list;
};

// Keeps the main window disabled while a batch or a deletion runs, and gives the focus back
// to where it was when the window takes input again.
class WindowDisabled {
 public:
  explicit WindowDisabled(QWidget& window) : m_window(window), m_focus(window.focusWidget()) {
    m_window.setEnabled(false);
  }
  ~WindowDisabled() {
    m_window.setEnabled(true);
    if (m_focus) m_focus->setFocus(Qt::OtherFocusReason);
    // The progress window had the keyboard; the main window takes it back.
    if (m_window.isVisible()) m_window.activateWindow();
  }
  WindowDisabled(const WindowDisabled&) = delete;
  WindowDisabled& operator=(const WindowDisabled&) = delete;

 private:
  QWidget& m_window;
  QPointer<QWidget> m_focus;
};

QToolButton* MakeToolButton(QAction* action, const LayoutScale& scale, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setDefaultAction(action);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  // The icons grow with the buttons, as far as both directions allow.
  const int icon = int(16 * std::min(scale.Horizontal(), scale.Vertical()) + 0.5);
  button->setIconSize(QSize(icon, icon));
  button->setFixedSize(scale.Size(23, 22));
  button->setObjectName(
      action->objectName().replace(QLatin1String("Action"), QLatin1String("Btn")));
  return button;
}

QFrame* MakeToolSeparator(const LayoutScale& scale, QWidget* parent) {
  auto* separator = new QFrame(parent);
  separator->setFrameStyle(QFrame::VLine | QFrame::Sunken);
  separator->setFixedSize(scale.Size(8, 22));
  return separator;
}

}  // namespace

QString BatchFailureNote(const BatchOutcome& outcome, int command) {
  if (outcome.failed == 0) return QString();
  const char* what = command == kCopyFiles ? "copies" : "renames";
  QString note =
      FromStd(Format("%d of %d %s failed", outcome.failed, int(outcome.operations.size()), what));
  const auto unexpected = std::count_if(outcome.operations.begin(), outcome.operations.end(),
                                        [](const BatchOperation& op) { return op.unexpected; });
  if (unexpected > 0) {
    note += FromStd(Format(", %d not as previewed: the folder changed meanwhile", int(unexpected)));
  }
  return note;
}

// ---------------------------------------------------------------------------------------------
// Construction

TMainForm::TMainForm(std::unique_ptr<SettingsStore> store, QWidget* parent)
    : TEdgeDockForm(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                                Qt::WindowCloseButtonHint),
      m_store(std::move(store)),
      m_journal(std::make_unique<JournalView>()) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Relabo"));
  setWindowIcon(ProgramIcon());
  // The desktop's font, and the layout scaled to it.
  m_scale = LayoutScale::ForFont(font());

  CreateActions();

  m_client = new QWidget(this);
  m_client->setObjectName(QStringLiteral("Client"));

  m_controlBar = new QFrame(m_client);
  m_controlBar->setObjectName(QStringLiteral("ControlBar"));
  m_toolBar = CreateToolBar();
  m_toolBar->setParent(m_controlBar);
  m_controlLine = new QFrame(m_controlBar);
  m_controlLine->setFrameStyle(QFrame::HLine | QFrame::Sunken);

  m_parametersPanel = new QFrame(m_client);
  m_parametersPanel->setObjectName(QStringLiteral("ParametersPanel"));
  m_pages = new TCommandPages(m_parametersPanel);
  m_pages->setObjectName(QStringLiteral("Pages"));

  m_pagesLine = new QFrame(m_client);
  m_pagesLine->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  m_pagesLine->setLineWidth(1);

  m_filesPanel = CreateFilesPanel();
  m_filesPanel->setParent(m_client);

  CreateMenus();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(m_mainMenu);
  layout->addWidget(m_client);

  ConnectFileList();
  ConnectDrive();
  m_preview = new TPreviewController(
      *m_files,
      {[this] { return Command(); }, [this] { return m_pages->Parameters(); },
       [this] { return ResolveChains(); }},
      this);
  connect(m_preview, &TPreviewController::Planned, this, &TMainForm::PreviewPlanned);
  connect(m_pages, &TCommandPages::Changed, m_preview, &TPreviewController::Schedule);
  GuardShortcutsIn(m_pages);
  connect(qApp, &QApplication::focusChanged, this, [this] { FilesFocusChanged(); });

  m_helpFile = LocateHelpFile(QString::fromStdString(ProgramFolder()));
  UpdateUndoAction();
  // Folders and files dropped from a file manager open as from the command line.
  setAcceptDrops(true);
  m_files->setFocus(Qt::OtherFocusReason);
  // The window opens at its design size and may grow, never shrink below it.
  m_client->setMinimumSize(MainDesignSize(m_scale, MeasureNeeds()));
  m_client->installEventFilter(this);
  layout->activate();
  resize(minimumSizeHint());
  LayOutClient();

  if (!m_store) m_store = std::make_unique<SettingsStore>();
  RunGuarded(this, [this] {
    const std::optional<Error> error = LoadSettings(*m_store, *this);
    KeepOnScreen();
    if (error) ShowErrorBox(this, *error);
  });
}

TMainForm::~TMainForm() {
  RunGuarded(this, [this] { SaveSettings(*m_store, *this); });
  // The list's events must not reach a window that is half gone.
  m_files->OnChange = nullptr;
  m_files->OnUpdateContent = nullptr;
  disconnect(qApp, nullptr, this, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Layout

MainLayoutNeeds TMainForm::MeasureNeeds() const {
  MainLayoutNeeds needs;
  needs.toolBarHeight = m_toolBar->sizeHint().height();
  needs.pagesHeight = m_pages->minimumSizeHint().height();
  needs.driveHeight = m_drive->sizeHint().height();
  needs.textHeight = fontMetrics().height() + m_scale.Y(6);
  needs.headerHeight = m_headerButtons[0]->sizeHint().height();
  // The list beside its text columns, with the preview's design width: the name and the
  // preview share what is left.
  needs.listWidthBesideName = m_files->width() - m_files->Columns().widthFileName;
  if (m_files->ShowPreview()) {
    needs.listWidthBesideName += m_scale.X(kPreviewWidth) - m_files->WidthPreview();
  }
  return needs;
}

void TMainForm::LayOutClient() {
  if (!m_client || !m_files) return;
  const MainLayoutNeeds needs = MeasureNeeds();
  const MainLayout l = LayOutMainWindow(m_scale, needs, m_client->size());
  m_controlBar->setGeometry(l.controlBar);
  m_toolBar->setGeometry(l.toolBar);
  m_controlLine->setGeometry(l.controlLine);
  m_parametersPanel->setGeometry(l.parametersPanel);
  m_pages->setGeometry(l.pages);
  m_pagesLine->setGeometry(l.pagesLine);
  m_filesPanel->setGeometry(l.filesPanel);
  m_drive->setGeometry(l.drive);
  m_folderPanel->setGeometry(l.folderPanel);
  m_folderLabel->setGeometry(l.folderLabel);
  m_headerPanel->setGeometry(l.headerPanel);
  m_statusBar->setGeometry(l.statusBar);
  for (size_t i = 0; i < m_statusPanels.size(); ++i) {
    m_statusPanels[i]->setGeometry(l.statusPanels[i]);
  }
  m_statusNote->setGeometry(l.statusNote);
  m_files->move(l.files.topLeft());
  m_files->setFixedHeight(l.files.height());
  {
    // The list reports its new columns, which lead back here; once is enough.
    const QSignalBlocker quiet(m_files);
    if (m_files->ShowPreview()) {
      // What the window has beyond its design width, shared by the two.
      const int extra = std::max(0, l.nameWidth - m_scale.X(kNameWidth));
      m_files->SetWidthFileName(l.nameWidth - extra / 2);
      m_files->SetWidthPreview(m_scale.X(kPreviewWidth) + extra / 2);
    } else {
      m_files->SetWidthFileName(l.nameWidth);
    }
  }

  // The header buttons stand over the columns, each from half a gap before its column.
  std::vector<QWidget*> headers;
  std::vector<int> lefts;
  const int half = m_scale.X(2);
  auto addColumn = [&](QWidget* header, const QRect& column) {
    headers.push_back(header);
    lefts.push_back(m_files->mapTo(m_headerPanel->parentWidget(), column.topLeft()).x() - half);
  };
  addColumn(m_headerButtons[fiFileName], m_files->ColumnRect(fiFileName));
  if (m_files->ShowPreview()) addColumn(m_previewHeader, m_files->PreviewColumnRect());
  for (int i = fiSize; i <= fiAttribute; ++i) {
    addColumn(m_headerButtons[size_t(i)], m_files->ColumnRect(TFileItem(i)));
  }
  const std::vector<QRect> rects = HeaderButtonRects(lefts, m_headerPanel->width(), m_scale.Y(1),
                                                     m_headerPanel->height() - m_scale.Y(2));
  for (size_t i = 0; i < rects.size(); ++i) headers[i]->setGeometry(rects[i]);
}

void TMainForm::KeepOnScreen() {
  std::vector<DockRect> areas;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect a = screen->availableGeometry();
    areas.push_back(DockRect{a.left(), a.top(), a.left() + a.width(), a.top() + a.height()});
  }
  const QRect frame = frameGeometry();
  const DockRect kept =
      KeepOnWorkAreas(DockRect{frame.left(), frame.top(), frame.left() + frame.width(),
                               frame.top() + frame.height()},
                      areas);
  if (kept.left != frame.left() || kept.top != frame.top()) move(kept.left, kept.top);
}

void TMainForm::CreateActions() {
  m_commandGroup = new QActionGroup(this);
  m_commandGroup->setExclusive(true);
  m_sortGroup = new QActionGroup(this);
  m_sortGroup->setExclusive(true);
  for (const ActionSpec& spec : kActionTable) {
    QAction* action = CreateAction(spec, this);
    // A menu shows a checked entry's icon sunken, hardly visible; without it, the check mark.
    if (action->isCheckable()) action->setIconVisibleInMenu(false);
    m_actions[size_t(spec.id)] = action;
    // Added to the window, every shortcut acts wherever the focus is in it.
    addAction(action);
    const ActionId id = spec.id;
    connect(action, &QAction::triggered, this, [this, id] { Run(id); });
  }
  const ActionId commands[kCommandCount] = {ActionId::InsertString,  ActionId::RemoveString,
                                            ActionId::ReplaceString, ActionId::ChangeString,
                                            ActionId::ChangeCase,    ActionId::ChangeNumber,
                                            ActionId::RenameFiles,   ActionId::CopyFiles};
  for (int i = 0; i < kCommandCount; ++i) {
    m_commandItems[size_t(i)] = Action(commands[i]);
    m_commandGroup->addAction(m_commandItems[size_t(i)]);
    // The command buttons show the command's name.
    m_commandItems[size_t(i)]->setToolTip(QString::fromLatin1(kCommandNames[size_t(i)]));
  }
  const ActionId sorts[5] = {ActionId::SortName, ActionId::SortSize, ActionId::SortDate,
                             ActionId::SortTime, ActionId::SortAttribute};
  for (int i = 0; i < 5; ++i) {
    m_sortMenuItems[size_t(i)] = Action(sorts[i]);
    m_sortGroup->addAction(m_sortMenuItems[size_t(i)]);
  }
  m_commandItems[0]->setChecked(true);
  m_sortMenuItems[0]->setChecked(true);
}

void TMainForm::CreateMenus() {
  m_mainMenu = new QMenuBar(this);
  m_mainMenu->setObjectName(QStringLiteral("MainMenu"));
  // The menus are those of this window on every desktop, with their help contexts.
  m_mainMenu->setNativeMenuBar(false);
  auto addMenu = [this](const char* title, const char* name, int helpContext,
                        std::initializer_list<ActionId> entries) {
    QMenu* menu = m_mainMenu->addMenu(QString::fromLatin1(title));
    menu->setObjectName(QString::fromLatin1(name));
    menu->setProperty(kHelpContextProperty, helpContext);
    menu->menuAction()->setProperty(kHelpContextProperty, helpContext);
    for (const ActionId id : entries) {
      if (int(id) < 0) {
        menu->addSeparator();
      } else {
        menu->addAction(Action(id));
      }
    }
    menu->installEventFilter(this);
    return menu;
  };
  const auto separator = ActionId(-1);
  addMenu("&File", "FileMenu", 30,
          {ActionId::GoToFolder, separator, ActionId::Extension, ActionId::Delete,
           ActionId::Properties, separator, ActionId::Exit});
  addMenu("&Mark", "MarkMenu", 31,
          {ActionId::ExpandSelection, ActionId::ShrinkSelection, separator, ActionId::SelectAll,
           ActionId::UnselectAll, separator, ActionId::SelectInvert});
  QMenu* commandMenu = addMenu(
      "&Command", "CommandMenu", 32,
      {ActionId::InsertString, ActionId::RemoveString, ActionId::ReplaceString,
       ActionId::ChangeString, ActionId::ChangeCase, ActionId::ChangeNumber, ActionId::RenameFiles,
       ActionId::CopyFiles, separator, ActionId::Execute, separator, ActionId::Undo,
       ActionId::UndoHistory, separator, ActionId::ResolveChains});
  // Another running copy of the program may have recorded a batch since.
  connect(commandMenu, &QMenu::aboutToShow, this, [this] { UpdateUndoAction(); });
  addMenu("Sho&w", "ShowMenu", 33,
          {ActionId::DefaultFilter, ActionId::ChooseFilter, separator, ActionId::SortName,
           ActionId::SortSize, ActionId::SortDate, ActionId::SortTime, ActionId::SortAttribute,
           separator, ActionId::Reversed, ActionId::NumericSort, separator, ActionId::UpdateFiles,
           separator, ActionId::Preview});
  addMenu("&Help", "HelpMenu", 34, {ActionId::Help, separator, ActionId::About});

  m_filesPopupMenu = new QMenu(this);
  m_filesPopupMenu->setObjectName(QStringLiteral("FilesPopuMenu"));
  m_filesPopupMenu->addAction(Action(ActionId::Extension));
  m_filesPopupMenu->addAction(Action(ActionId::Delete));
  m_filesPopupMenu->addSeparator();
  m_filesPopupMenu->addAction(Action(ActionId::Properties));
  m_filesPopupMenu->installEventFilter(this);
}

QWidget* TMainForm::CreateToolBar() {
  auto* toolBar = new QWidget;
  toolBar->setObjectName(QStringLiteral("ToolBar"));
  auto* row = new QHBoxLayout(toolBar);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  const ActionId buttons[] = {ActionId::ExpandSelection,
                              ActionId::ShrinkSelection,
                              ActionId::SelectAll,
                              ActionId::UnselectAll,
                              ActionId::SelectInvert,
                              ActionId(-1),
                              ActionId::UpdateFiles,
                              ActionId(-1),
                              ActionId::InsertString,
                              ActionId::RemoveString,
                              ActionId::ReplaceString,
                              ActionId::ChangeString,
                              ActionId::ChangeCase,
                              ActionId::ChangeNumber,
                              ActionId::RenameFiles,
                              ActionId::CopyFiles,
                              ActionId(-1),
                              ActionId::Execute};
  for (const ActionId id : buttons) {
    if (int(id) < 0) {
      row->addWidget(MakeToolSeparator(m_scale, toolBar));
      m_toolButtons.push_back(nullptr);
    } else {
      QToolButton* button = MakeToolButton(Action(id), m_scale, toolBar);
      row->addWidget(button);
      m_toolButtons.push_back(button);
    }
  }
  // The buttons stay together at the left however wide the window is.
  row->addStretch(1);
  toolBar->adjustSize();
  return toolBar;
}

QWidget* TMainForm::CreateFilesPanel() {
  auto* panel = new QWidget;
  panel->setObjectName(QStringLiteral("FilesPanel"));

  m_drive = new TXDriveComboBox(panel);
  m_drive->setObjectName(QStringLiteral("Drive"));
  m_drive->setProperty(kHelpContextProperty, 20);

  m_folderPanel = new QFrame(panel);
  m_folderPanel->setObjectName(QStringLiteral("FolderPanel"));
  m_folderPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  m_folderPanel->setLineWidth(1);
  m_folderPanel->setAutoFillBackground(true);
  m_folderPanel->setProperty(kHelpContextProperty, 1);
  m_folderLabel = new TXPathLabel(m_folderPanel);
  m_folderLabel->setObjectName(QStringLiteral("FolderLabel"));
  m_folderLabel->SetShowAccelChar(false);
  m_folderLabel->SetTransparent(true);

  m_headerPanel = new QFrame(panel);
  m_headerPanel->setObjectName(QStringLiteral("HeaderPanel"));
  m_headerPanel->setProperty(kHelpContextProperty, 1);
  auto* headerGroup = new QButtonGroup(m_headerPanel);
  headerGroup->setExclusive(true);
  const char* names[5] = {"FileNameBtn", "SizeBtn", "DateBtn", "TimeBtn", "AttributeBtn"};
  for (int i = 0; i < 5; ++i) {
    auto* button = new QToolButton(m_headerPanel);
    button->setObjectName(QString::fromLatin1(names[i]));
    button->setText(QString::fromLatin1(kHeaderCaptions[size_t(i)]));
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    headerGroup->addButton(button, i);
    m_headerButtons[size_t(i)] = button;
    // The button only triggers its sort action.
    QAction* action = m_sortMenuItems[size_t(i)];
    connect(button, &QToolButton::clicked, action, &QAction::trigger);
  }
  m_headerButtons[fiFileName]->setChecked(true);
  // Over the preview column: a caption only, it sorts nothing.
  m_previewHeader = new QLabel(QStringLiteral("New name"), m_headerPanel);
  m_previewHeader->setObjectName(QStringLiteral("PreviewHeader"));
  m_previewHeader->setAlignment(Qt::AlignCenter);
  m_previewHeader->setFrameStyle(QFrame::Panel | QFrame::Raised);
  m_previewHeader->hide();

  m_files = new TXFileListBox(panel);
  m_files->setObjectName(QStringLiteral("Files"));
  m_files->setProperty(kHelpContextProperty, 1);

  m_statusBar = new QFrame(panel);
  m_statusBar->setObjectName(QStringLiteral("StatusBar"));
  for (int i = 0; i < 2; ++i) {
    auto* label = new QLabel(m_statusBar);
    label->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setIndent(m_scale.X(2));
    m_statusPanels[size_t(i)] = label;
  }
  // A long failure note is shortened with "..."; its tooltip holds the whole text.
  m_statusNote = new TElidedLabel(m_statusBar);
  m_statusNote->setObjectName(QStringLiteral("StatusNote"));
  m_statusNote->setIndent(m_scale.X(2));
  return panel;
}

void TMainForm::ConnectFileList() {
  m_files->SetMultiSelect(true);
  m_files->SetDirLabel(m_folderLabel, [this](const std::string& caption) {
    m_folderLabel->SetCaption(FromStd(caption));
  });
  m_files->SetDirLabelMask(true);
  m_files->SetFileType(
      {xftNormal, xftDirectory, xftReadOnly, xftArchive, xftHidden, xftSystem, xftCompressed});
  m_files->SetDirName("<DIR>");
  m_files->SetDateFormat("YY-MM-DD");
  m_files->SetTimeFormat("hh:mm");
  // Rows as high as the design's, or as a line of the list's font needs.
  m_files->UpdateItemHeight();
  m_files->SetItemHeight(std::max(m_scale.Y(16), m_files->ItemHeight()));
  m_files->SetWidthFileName(m_scale.X(235));
  m_files->SetWidthSize(m_scale.X(60));
  m_files->SetWidthDate(m_scale.X(45));
  m_files->SetWidthTime(m_scale.X(30));
  m_files->SetWidthAttribute(m_scale.X(30));
  connect(m_files, &TXFileListBox::ColumnsChanged, this, [this] { LayOutClient(); });
  m_files->SetOpenFiles(false);
  m_files->setContextMenuPolicy(Qt::PreventContextMenu);
  m_files->OnChange = [this] { FilesChange(); };
  m_files->OnUpdateContent = [this] { FilesUpdateContent(); };
  m_files->OnReading = [this](bool reading, size_t names, size_t lookedUp) {
    FilesReading(reading, names, lookedUp);
  };
  m_files->OnError = [this](const std::exception& error) { ShowErrorBox(this, error); };
  m_files->installEventFilter(this);
  m_files->viewport()->installEventFilter(this);
  FilesExit();
  FilesUpdateContent();
  FilesChange();
}

void TMainForm::ConnectDrive() {
  connect(m_drive, &TXDriveComboBox::Changed, this, &TMainForm::DriveChange);
  connect(m_drive, &TXDriveComboBox::Failed, this,
          [this](const QString& message) { ShowErrorBox(this, message); });
  m_drive->installEventFilter(this);
  if (m_drive->view()) m_drive->view()->installEventFilter(this);
  // When volumes go, the selector falls back to the volume holding the folder the list shows.
  m_drive->SetFolderSource([this] { return m_files->Directory(); });
}

void TMainForm::GuardShortcutsIn(QWidget* root) {
  for (QWidget* widget : root->findChildren<QWidget*>()) {
    if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QAbstractSpinBox*>(widget) ||
        qobject_cast<QComboBox*>(widget)) {
      widget->setProperty(kShortcutGuardProperty, true);
      widget->installEventFilter(this);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Actions

void TMainForm::Run(ActionId id) {
  QAction* action = Action(id);
  // A shortcut may still come while the folder is being read: only closing the window works.
  if (m_files->Reading() && id != ActionId::Exit) {
    QApplication::beep();
    return;
  }
  RunGuarded(this, [&] {
    switch (id) {
      case ActionId::InsertString:
      case ActionId::RemoveString:
      case ActionId::ReplaceString:
      case ActionId::ChangeString:
      case ActionId::ChangeCase:
      case ActionId::ChangeNumber:
      case ActionId::RenameFiles:
      case ActionId::CopyFiles:
        SelectCommand(action->property(kTagProperty).toInt());
        break;
      case ActionId::SortName:
      case ActionId::SortSize:
      case ActionId::SortDate:
      case ActionId::SortTime:
      case ActionId::SortAttribute:
        SortActionExecute(action);
        break;
      case ActionId::Extension:
        ExtensionActionExecute();
        break;
      case ActionId::Delete:
        DeleteActionExecute();
        break;
      case ActionId::Properties:
        PropertiesActionExecute();
        break;
      case ActionId::SelectAll:
        SelectAllFiles();
        break;
      case ActionId::UnselectAll:
        UnselectAllEntries();
        break;
      case ActionId::SelectInvert:
        InvertFileSelection();
        break;
      case ActionId::Exit:
        close();
        break;
      case ActionId::Help:
        HelpActionExecute();
        break;
      case ActionId::About:
        ShowAboutBox(this);
        break;
      case ActionId::Execute:
        Execute();
        break;
      case ActionId::DefaultFilter:
        DefaultFilterActionExecute();
        break;
      case ActionId::ChooseFilter:
        ChooseFilterActionExecute();
        break;
      case ActionId::ChooseDrive:
        ChooseDriveActionExecute();
        break;
      case ActionId::Switch:
        SwitchActionExecute();
        break;
      case ActionId::Reversed:
        ReversedActionExecute();
        break;
      case ActionId::NumericSort:
        ApplyNumericSort();
        break;
      case ActionId::UpdateFiles:
        UpdateFilesActionExecute();
        break;
      case ActionId::ExpandSelection:
        MarkByMask(true);
        break;
      case ActionId::ShrinkSelection:
        MarkByMask(false);
        break;
      case ActionId::Preview:
        ApplyPreview();
        break;
      case ActionId::ResolveChains:
        if (m_preview) m_preview->Schedule();
        break;
      case ActionId::Undo:
        UndoActionExecute();
        break;
      case ActionId::UndoHistory:
        UndoHistoryActionExecute();
        break;
      case ActionId::GoToFolder:
        GoToFolderActionExecute();
        break;
    }
  });
}

void TMainForm::SelectCommand(int index) {
  if (index < 0 || index >= kCommandCount) return;
  QPointer<QWidget> focused = focusWidget();
  m_commandItems[size_t(index)]->setChecked(true);  // the toolbar button follows its action
  m_pages->setProperty(kHelpContextProperty, 10 + index);
  // A field of the page that goes is replaced as focus by a field of the page that comes.
  m_pages->setCurrentIndex(index);
  setWindowTitle(QLatin1String(kCaptionPrefix) + QLatin1String(kCommandNames[size_t(index)]));
  if (focused && focused->isVisible() && focused->isEnabled() && focusWidget() != focused) {
    focused->setFocus(Qt::OtherFocusReason);
  }
  if (m_preview) m_preview->Schedule();
}

int TMainForm::Command() const { return m_pages->currentIndex(); }

void TMainForm::SortActionExecute(QAction* action) {
  SelectSortColumn(TFileItem(action->property(kTagProperty).toInt()));
}

void TMainForm::SelectSortColumn(TFileItem column) {
  if (column < fiFileName || column > fiAttribute) return;
  if (column == m_files->SortBy()) {
    SetSortDirection(m_files->SortOrder() == soAscending ? soDescending : soAscending);
  } else {
    m_headerButtons[m_files->SortBy()]->setText(
        QString::fromLatin1(kHeaderCaptions[m_files->SortBy()]));
    m_files->SetSortBy(column);
    SetSortDirection(m_files->SortOrder());
  }
  m_headerButtons[column]->setChecked(true);
  m_sortMenuItems[column]->setChecked(true);
}

void TMainForm::SetSortDirection(TSortOrder order) {
  m_files->SetSortOrder(order);
  Action(ActionId::Reversed)->setChecked(order == soDescending);
  const TFileItem column = m_files->SortBy();
  m_headerButtons[column]->setText(QString::fromLatin1(kHeaderCaptions[column]) +
                                   QString::fromUtf8(kSortOrderMarks[m_files->SortOrder()]));
  // The batch takes the files in the list's new order.
  if (m_preview) m_preview->Schedule();
}

void TMainForm::ReversedActionExecute() {
  SetSortDirection(m_files->SortOrder() == soAscending ? soDescending : soAscending);
}

void TMainForm::ApplyNumericSort() {
  m_files->SetNumericSort(Action(ActionId::NumericSort)->isChecked());
  // The batch takes the files in the list's new order.
  if (m_preview) m_preview->Schedule();
}

template <typename Change>
void TMainForm::ChangeMarks(Change&& change) {
  const int top = m_files->TopIndex();
  {
    const ItemsUpdate update(*m_files);
    change();
  }
  m_files->SetTopIndex(top);
  FilesChange();
}

void TMainForm::SelectAllFiles() {
  ChangeMarks([this] {
    const int count = m_files->Count();
    for (int i = 0; i < count; ++i) m_files->SetMarked(i, m_files->ItemKind(i) == ekFile);
  });
}

void TMainForm::UnselectAllEntries() {
  ChangeMarks([this] {
    const int count = m_files->Count();
    for (int i = 0; i < count; ++i) m_files->SetMarked(i, false);
  });
}

void TMainForm::InvertFileSelection() {
  // The marks are read before any is changed: reading inside the update would apply the
  // changes collected so far each time.
  const int count = m_files->Count();
  std::vector<char> marked(size_t(count), 0);
  for (int i = 0; i < count; ++i) marked[size_t(i)] = m_files->IsMarked(i);
  ChangeMarks([&] {
    for (int i = 0; i < count; ++i) {
      if (m_files->ItemKind(i) == ekFile) m_files->SetMarked(i, !marked[size_t(i)]);
    }
  });
}

void TMainForm::MarkByMask(bool mark) {
  std::vector<std::string>& history = mark ? m_expandHistory : m_shrinkHistory;
  std::string mask;
  if (!ShowSelectionDialog(
          this, mark ? QStringLiteral("Expand selection") : QStringLiteral("Shrink selection"),
          QStringLiteral("Specify file type:"), history, mask)) {
    return;
  }
  if (m_files->Count() == 0) {
    FilesChange();
    return;
  }
  const TMask compiled(mask);  // an invalid mask ends the command before any mark changes
  ChangeMarks([&] {
    const int count = m_files->Count();
    for (int i = 0; i < count; ++i) {
      if (compiled.Matches(m_files->ItemText(i))) m_files->SetMarked(i, mark);
    }
  });
}

void TMainForm::ChooseFilterActionExecute() {
  std::string filter;
  if (ShowSelectionDialog(this, QStringLiteral("Filter"), QStringLiteral("Specify file type:"),
                          m_filterHistory, filter)) {
    m_files->SetMask(filter);
  }
}

void TMainForm::DefaultFilterActionExecute() { m_files->SetMask("*.*"); }

void TMainForm::GoToFolderActionExecute() {
  std::string text;
  if (!ShowSelectionDialog(this, QStringLiteral("Go to Folder"),
                           QStringLiteral("Folder or file:"), m_goToHistory, text) ||
      text.empty()) {
    return;
  }
  // The list takes "~" for the home folder and a relative path from the shown folder.
  m_files->GoToPath(text);
  SetDriveQuietly(m_files->Directory());
}

void TMainForm::PrepareStartFolder(const StartPaths& start) {
  if (start.folder.empty() || m_files->Active()) return;
  try {
    m_files->ChangeFolder(start.folder);
  } catch (const std::exception&) {
    // OpenStartPaths tells of it.
  }
}

void TMainForm::OpenStartPaths(const StartPaths& start) {
  for (const std::string& path : start.missing) {
    ShowErrorBox(this, FromStd(Format("Invalid file name - %s", path)));
  }
  if (start.folder.empty()) return;
  // The folder is still being read: the entries are marked once it is shown.
  if (m_files->Reading() && LogicalPath(start.folder, m_files->Directory()) == m_files->Directory()) {
    StartPaths waiting = start;
    waiting.missing.clear();
    m_pendingStart = std::move(waiting);
    return;
  }
  RunGuarded(this, [&] {
    m_files->GoToPath(start.folder);
    SetDriveQuietly(m_files->Directory());
    // The rows of the given entries; a folder shows as "[name]".
    auto rowsOf = [&] {
      std::vector<int> rows;
      for (const std::string& name : start.marked) {
        for (int i = 0; i < m_files->Count(); ++i) {
          const std::string& text = m_files->ItemText(i);
          const bool folder = m_files->ItemKind(i) == ekFolder;
          if (folder ? text == "[" + name + "]" : text == name) {
            rows.push_back(i);
            break;
          }
        }
      }
      return rows;
    };
    std::vector<int> rows = rowsOf();
    if (rows.size() < start.marked.size() && m_files->Mask() != "*.*") {
      m_files->SetMask("*.*");
      rows = rowsOf();
    }
    ChangeMarks([&] {
      for (int i = 0; i < m_files->Count(); ++i) m_files->SetMarked(i, false);
      for (const int row : rows) m_files->SetMarked(row, true);
    });
    if (!rows.empty()) {
      m_files->SetFocused(rows.front());
      m_files->scrollTo(m_files->model()->index(rows.front(), 0));
    }
  });
  if (!start.leftOut.empty()) {
    QString names;
    for (const std::string& path : start.leftOut) names += QStringLiteral("\n") + FromStd(path);
    QMessageBox::information(
        this, QStringLiteral("Relabo"),
        QStringLiteral("Only the files of %1 are marked; these were left out:%2")
            .arg(FromStd(m_files->Directory()), names));
  }
  // The marked files are what the user works on next.
  m_files->setFocus(Qt::OtherFocusReason);
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) {
      event->acceptProposedAction();
      return;
    }
  }
}

void TMainForm::dropEvent(QDropEvent* event) {
  // Nothing acts on a folder that is still being read.
  if (m_files->Reading()) return;
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
  }
  if (paths.empty()) return;
  event->acceptProposedAction();
  OpenStartPaths(ResolveStartPaths(paths, m_files->Directory()));
}

void TMainForm::SwitchActionExecute() {
  if (!m_files->hasFocus()) {
    m_files->setFocus(Qt::ShortcutFocusReason);
    return;
  }
  // Back to the field of the page that had the focus last, else its first field.
  QWidget* page = m_pages->currentWidget();
  QWidget* target = page ? page->focusWidget() : nullptr;
  if (!target || !target->isVisible() || !target->isEnabled()) {
    target = nullptr;
    for (QWidget* widget : page ? page->findChildren<QWidget*>() : QList<QWidget*>()) {
      if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisible() && widget->isEnabled()) {
        target = widget;
        break;
      }
    }
  }
  (target ? target : static_cast<QWidget*>(m_pages))->setFocus(Qt::ShortcutFocusReason);
}

void TMainForm::ChooseDriveActionExecute() {
  m_drive->setFocus(Qt::ShortcutFocusReason);
  m_drive->showPopup();
}

void TMainForm::UpdateFilesActionExecute() { m_files->Rescan(); }

void TMainForm::PropertiesActionExecute() {
  if (!m_files->hasFocus()) return;
  const int focused = m_files->Focused();
  if (focused < 0 || focused >= m_files->Count()) return;
  // "[..]" is the folder above as the user walked here, not the parent of a link's target.
  ShowItemProperties(LogicalPath(m_files->ItemPath(focused)), this);
}

void TMainForm::HelpActionExecute() {
  if (!m_helpWindow) m_helpWindow = new THelpWindow(this);
  m_helpWindow->SetHelpFile(m_helpFile);
  // The topic of the control that has the focus; the contents when it has none.
  m_helpWindow->ShowContext(HelpContextForFocus(focusWidget()));
}

bool TMainForm::ShowMenuEntryHelp(const QAction* entry) {
  QList<const QMenu*> menus;
  for (QAction* top : m_mainMenu->actions()) {
    if (top->menu()) menus.push_back(top->menu());
  }
  menus.push_back(m_filesPopupMenu);
  const int context = MenuEntryHelpContext(entry, menus);
  if (context == 0) return false;
  if (!m_helpWindow) m_helpWindow = new THelpWindow(this);
  m_helpWindow->SetHelpFile(m_helpFile);
  m_helpWindow->ShowContext(context);
  return true;
}

void TMainForm::SetHelpFile(const QString& path) { m_helpFile = path; }

// ---------------------------------------------------------------------------------------------
// Batch, extension and delete

void TMainForm::Execute() {
  if (m_files->MarkedCount() == 0) return;
  const int command = Command();
  const CommandParameters params = m_pages->Parameters();
  const ListBatchEntries entries(*m_files);
  SetStatusNote(QString());

  // The batch runs the plan the preview shows, brought up to date; without the preview (or
  // too large for it) the plan is made now.
  BatchPlan plan;
  if (m_preview->Enabled()) {
    // Planned again with what the list and the pages hold now (a change may not have been
    // planned yet), against the names the preview was made with.
    m_preview->Schedule();
    m_preview->Update();
  }
  if (m_preview->Enabled() && !m_preview->TooLarge()) {
    // A copy: the batch lets events through, and they may plan the preview again.
    plan = m_preview->Plan();
  } else {
    PlanOptions options;
    options.resolveChains = ResolveChains();
    plan = PlanBatch(entries, command, params, DiskFolderNames("."), options);
  }

  BatchOutcome outcome;
  std::string journalError;
  std::exception_ptr windUpError;
  {
    const WindowDisabled disabled(*this);
    TProgressForm progress(this);
    const std::unique_ptr<JournalWriter> journal =
        plan.total > 0 ? StartJournal(BatchTitle(command)) : nullptr;
    try {
      outcome =
          RunPlan(plan, progress, RecordedSetAside(TrashFile, journal.get(), m_journal->Path()),
                  journal.get());
    } catch (...) {
      outcome.ending = std::current_exception();
    }
    if (journal) journal->Finish();
    journalError = journal ? journal->LastError() : std::string();
    // The list is read again also when the batch ended early, before the window takes input.
    try {
      m_files->Rescan();
    } catch (...) {
      windUpError = std::current_exception();
    }
  }
  SetStatusNote(BatchFailureNote(outcome, command));
  JournalWritten(journalError);
  outcome.RethrowEnding();
  if (windUpError) std::rethrow_exception(windUpError);
}

void TMainForm::ExtensionActionExecute() {
  if (m_files->MarkedCount() == 0) return;
  std::vector<std::string> history{std::string()};
  const int top = m_files->TopIndex();
  std::string extension;
  if (!ShowSelectionDialog(this, QStringLiteral("Extension"),
                           QStringLiteral("Enter new extension:"), history, extension)) {
    return;
  }
  SetStatusNote(QString());
  const std::unique_ptr<JournalWriter> journal = StartJournal("Extension");
  const ExtensionOutcome outcome = ChangeExtension(
      ListBatchEntries(*m_files), extension, [] { QApplication::beep(); }, journal.get());
  journal->Finish();
  if (outcome.failed > 0) {
    SetStatusNote(
        FromStd(Format("%d of %d renames failed", outcome.failed, int(outcome.operations.size()))));
  }
  JournalWritten(journal->LastError());
  if (outcome.succeeded > 0) {
    m_files->Rescan();
    m_files->SetTopIndex(top);
  }
}

void TMainForm::DeleteActionExecute() {
  if (!m_files->hasFocus() || m_files->MarkedCount() == 0) return;
  SetStatusNote(QString());
  DeleteOutcome outcome;
  std::string journalError;
  std::exception_ptr windUpError;
  {
    TProgressForm progress(this);
    progress.StartWithLabel(m_files->MarkedCount(), "Delete", "What:");
    const WindowDisabled disabled(*this);
    const std::unique_ptr<JournalWriter> journal = StartJournal("Delete");
    outcome = TrashMarked(ListBatchEntries(*m_files), progress, TrashFile, journal.get());
    journal->Finish();
    journalError = journal->LastError();
    try {
      m_files->Rescan();
    } catch (...) {
      windUpError = std::current_exception();
    }
  }
  if (outcome.refused > 0) {
    SetStatusNote(
        FromStd(Format("%d of %d not moved to the trash", outcome.refused, outcome.attempted)),
        FromStd(outcome.firstError));
  }
  JournalWritten(journalError);
  if (windUpError) std::rethrow_exception(windUpError);
}

// ---------------------------------------------------------------------------------------------
// Undo

std::unique_ptr<JournalWriter> TMainForm::StartJournal(std::string_view title) const {
  return std::make_unique<JournalWriter>(m_journal->Path(), m_files->Directory(),
                                         std::string(title));
}

void TMainForm::JournalWritten(const std::string& error) {
  if (!error.empty()) {
    const QString note = StatusNote();
    SetStatusNote(note.isEmpty() ? QStringLiteral("Not recorded for undo")
                                 : note + QStringLiteral("; not recorded for undo"),
                  FromStd(error));
  }
  UpdateUndoAction();
}

void TMainForm::UpdateUndoAction() {
  const JournalBatch* newest = NewestUndoable(m_journal->Batches());
  QAction* undo = Action(ActionId::Undo);
  undo->setText(UndoCaption(newest));
  undo->setEnabled(newest != nullptr);
}

void TMainForm::UndoActionExecute() {
  const std::vector<JournalBatch>& batches = m_journal->Batches();
  if (!m_journal->ReadError().empty()) throw Error(m_journal->ReadError());
  const JournalBatch* newest = NewestUndoable(batches);
  if (!newest) {
    QApplication::beep();
    UpdateUndoAction();
    return;
  }
  RunUndo({*newest});
}

void TMainForm::UndoHistoryActionExecute() {
  // A copy: the dialog and the undo let events through, which may read the journal again.
  const std::vector<JournalBatch> batches = m_journal->Batches();
  if (!m_journal->ReadError().empty()) throw Error(m_journal->ReadError());
  const std::string id = ShowUndoHistory(this, batches);
  const std::vector<const JournalBatch*> sequence = UndoSequence(batches, id);
  if (sequence.empty()) return;
  if (QMessageBox::question(this, QStringLiteral("Undo History"), UndoQuestion(sequence),
                            QMessageBox::Yes | QMessageBox::No,
                            QMessageBox::No) != QMessageBox::Yes) {
    return;
  }
  std::vector<JournalBatch> chosen;
  for (const JournalBatch* batch : sequence) chosen.push_back(*batch);
  RunUndo(chosen);
}

void TMainForm::RunUndo(const std::vector<JournalBatch>& batches) {
  SetStatusNote(QString());
  // The list shows the folder whose files come back, so the user sees what happens.
  const std::string& folder = batches.front().folder;
  if (folder != m_files->Directory() && FolderExists(folder)) {
    m_files->GoToPath(folder);
    SetDriveQuietly(m_files->Directory());
  }
  std::vector<const JournalBatch*> sequence;
  for (const JournalBatch& batch : batches) sequence.push_back(&batch);
  UndoOutcome outcome;
  std::exception_ptr windUpError;
  {
    const WindowDisabled disabled(*this);
    TProgressForm progress(this);
    outcome = UndoBatches(sequence, progress, TrashFile, m_journal->Path());
    try {
      m_files->Rescan();
    } catch (...) {
      windUpError = std::current_exception();
    }
  }
  QString details;
  for (size_t i = 0; i < outcome.failures.size() && i < 10; ++i) {
    details += (i ? QStringLiteral("; ") : QString()) + FromStd(outcome.failures[i].name) +
               QStringLiteral(": ") + FromStd(outcome.failures[i].reason);
  }
  SetStatusNote(FromStd(UndoFailureNote(outcome)), details);
  JournalWritten(outcome.journalError);
  if (windUpError) std::rethrow_exception(windUpError);
}

// ---------------------------------------------------------------------------------------------
// Status line

void TMainForm::FilesChange() {
  m_statusPanels[1]->setText(
      FromStd(Format("Selected: %u file(s)", unsigned(m_files->MarkedCount()))));
  if (m_preview) m_preview->Schedule();
}

void TMainForm::FilesUpdateContent() {
  m_statusPanels[0]->setText(FromStd(Format("Total: %u file(s)", unsigned(m_files->FileCount()))));
  if (m_files->Unlisted()) {
    SetStatusNote(QStringLiteral("This folder cannot be listed"));
    m_noteIsUnlisted = true;
  } else if (m_noteIsUnlisted) {
    SetStatusNote(QString());
  }
  if (m_preview) m_preview->FolderChanged();
}

void TMainForm::FilesReading(bool reading, size_t names, size_t lookedUp) {
  if (reading) {
    m_statusPanels[0]->setText(FromStd(
        lookedUp == 0 ? Format("Reading: %u entries", unsigned(names))
                      : Format("Reading: %u of %u entries", unsigned(lookedUp), unsigned(names))));
  }
  if (m_mainMenu->isEnabled() == reading) {
    // Nothing that could act on the list while it is incomplete; the status line stays
    // readable.
    for (QWidget* widget : std::initializer_list<QWidget*>{
             m_mainMenu, m_controlBar, m_parametersPanel, m_drive, m_headerPanel, m_files}) {
      widget->setEnabled(!reading);
    }
    if (!reading) m_files->setFocus(Qt::OtherFocusReason);
  }
  if (!reading && m_pendingStart) {
    const StartPaths start = std::move(*m_pendingStart);
    m_pendingStart.reset();
    OpenStartPaths(start);
  }
}

void TMainForm::PreviewPlanned() {
  const QString summary = m_preview->Summary();
  if (!summary.isEmpty()) {
    SetStatusNote(summary);
    m_noteIsSummary = true;
  } else if (m_noteIsSummary) {
    SetStatusNote(QString());
  }
}

bool TMainForm::ShowPreview() const { return Action(ActionId::Preview)->isChecked(); }

void TMainForm::SetShowPreview(bool show) {
  Action(ActionId::Preview)->setChecked(show);
  ApplyPreview();
}

bool TMainForm::ResolveChains() const { return Action(ActionId::ResolveChains)->isChecked(); }

void TMainForm::SetResolveChains(bool resolve) {
  Action(ActionId::ResolveChains)->setChecked(resolve);
  if (m_preview) m_preview->Schedule();
}

void TMainForm::ApplyPreview() {
  const bool show = ShowPreview();
  if (m_files->ShowPreview() == show && m_preview->Enabled() == show) return;
  m_files->SetShowPreview(show);
  m_previewHeader->setVisible(show);
  m_preview->SetEnabled(show);
  // The design size grows or shrinks by the column; a window at its design size follows, a
  // larger one keeps its size as far as the new design allows.
  const bool atDesign = size() == minimumSizeHint();
  m_client->setMinimumSize(MainDesignSize(m_scale, MeasureNeeds()));
  layout()->activate();
  resize(atDesign ? minimumSizeHint() : size().expandedTo(minimumSizeHint()));
  LayOutClient();
}

QString TMainForm::StatusText(int panel) const { return m_statusPanels.at(size_t(panel))->text(); }

QString TMainForm::StatusNote() const { return m_statusNote->text(); }

void TMainForm::SetStatusNote(const QString& note, const QString& details) {
  m_noteIsSummary = false;
  m_noteIsUnlisted = false;
  m_statusNote->setText(note);
  m_statusNote->setToolTip(details.isEmpty() ? note : note + QStringLiteral(": ") + details);
}

// ---------------------------------------------------------------------------------------------
// File list events

void TMainForm::FilesFocusChanged() {
  // The window's focus widget stays the list while a menu is open or the window is inactive.
  // Keyboard use of the menu bar borrows the focus; the list keeps its state meanwhile.
  if (focusWidget() == m_mainMenu) return;
  const bool focused = focusWidget() == m_files;
  if (focused == m_filesFocused) return;
  m_filesFocused = focused;
  if (focused) {
    FilesEnter();
  } else {
    FilesExit();
  }
}

void TMainForm::FilesEnter() {
  QPalette panel = m_folderPanel->palette();
  panel.setColor(QPalette::Window, kFolderActiveBack);
  m_folderPanel->setPalette(panel);
  QPalette label = m_folderLabel->palette();
  label.setColor(QPalette::WindowText, kFolderActiveText);
  label.setColor(QPalette::Window, kFolderActiveBack);
  m_folderLabel->setPalette(label);
}

void TMainForm::FilesExit() {
  QPalette panel = m_folderPanel->palette();
  panel.setColor(QPalette::Window, kFolderBack);
  m_folderPanel->setPalette(panel);
  QPalette label = m_folderLabel->palette();
  label.setColor(QPalette::WindowText, kFolderText);
  label.setColor(QPalette::Window, kFolderBack);
  m_folderLabel->setPalette(label);
}

bool TMainForm::FilesKeyDown(QKeyEvent* event) {
  // Up a folder and back, as in the desktop's file managers.
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  const bool up = (event->key() == Qt::Key_Backspace && modifiers == Qt::NoModifier) ||
                  (event->key() == Qt::Key_Up && modifiers == Qt::AltModifier);
  const bool back = event->key() == Qt::Key_Left && modifiers == Qt::AltModifier;
  if (up || back) {
    RunGuarded(this, [&] {
      if (!(up ? m_files->GoToParent() : m_files->GoBack())) QApplication::beep();
      SetDriveQuietly(m_files->Directory());
    });
    return true;
  }
  if (!(event->modifiers() & Qt::KeypadModifier)) return false;
  switch (event->key()) {
    case Qt::Key_Asterisk:
      Action(ActionId::SelectInvert)->trigger();
      break;
    case Qt::Key_Plus:
      Action(ActionId::ExpandSelection)->trigger();
      break;
    case Qt::Key_Minus:
      Action(ActionId::ShrinkSelection)->trigger();
      break;
    default:
      break;
  }
  return false;  // the list sees the key as well
}

bool TMainForm::FilesMouseDown(QMouseEvent* event) {
  const bool focusedByThisClick = m_filesFocusedByClick;
  m_filesFocusedByClick = false;
  if (event->button() != Qt::RightButton) return false;
  // A right click never changes the marks; it opens the menu only over an entry of a list
  // that had the focus before the click.
  if (!m_files->hasFocus() || focusedByThisClick) return true;
  const QModelIndex index = m_files->indexAt(event->position().toPoint());
  if (!index.isValid()) return true;
  m_files->SetFocused(index.row());
  m_filesPopupMenu->popup(event->globalPosition().toPoint());
  return true;
}

void TMainForm::FocusFileList() {
  m_files->setFocus(Qt::OtherFocusReason);
  if (m_files->Count() == 0) return;
  const int top = m_files->TopIndex();
  m_files->SetFocused(top);
  m_files->SetMarked(top, true);
  FilesChange();
}

// ---------------------------------------------------------------------------------------------
// Volume selector events

void TMainForm::DriveEnter() { m_lastDrive = m_drive->Drive(); }

void TMainForm::DriveChange() {
  // While the list is open, arrowing through it applies nothing; a pick closes it first.
  if (m_drive->view() && m_drive->view()->isVisible()) return;
  ApplyDrive();
}

void TMainForm::ApplyDrive() {
  const std::string mountPoint = m_drive->Drive();
  if (mountPoint.empty() || mountPoint == m_files->Directory()) return;
  // With its trailing "/": the bare mount point is the focused entry's path when the list shows
  // the folder above it, and GoToPath would take it for what is shown already.
  m_files->GoToPath(m_drive->RootFolder());
  m_lastDrive = mountPoint;
}

void TMainForm::DrivePicked() {
  // Enter in the open list: the pick is applied once the list has closed, then the list of
  // files takes the focus.
  QTimer::singleShot(0, this, [this] {
    RunGuarded(this, [this] {
      // A pick that failed leaves no volume chosen, and nothing to apply.
      if (m_drive->currentIndex() >= 0) ApplyDrive();
      FocusFileList();
    });
  });
}

void TMainForm::DriveKeyUp(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape || event->isAutoRepeat()) return;
  RunGuarded(this, [this] { m_drive->SetDrive(m_lastDrive); });
}

// ---------------------------------------------------------------------------------------------
// Events

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched == m_client && type == QEvent::Resize) {
    LayOutClient();
    return false;
  }
  if (type == QEvent::ShortcutOverride && watched->property(kShortcutGuardProperty).toBool()) {
    // A field of a page must not keep a key that is a shortcut of the window (Ctrl+A).
    const auto* key = static_cast<QKeyEvent*>(event);
    const QKeyCombination pressed(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key()));
    // Ctrl+Z is a text field's own undo; elsewhere on a page it does nothing, so the window's
    // Undo acts only from the list and the menu.
    for (const QKeySequence& shortcut : Action(ActionId::Undo)->shortcuts()) {
      if (shortcut.count() != 1 || shortcut[0] != pressed) continue;
      if (qobject_cast<QLineEdit*>(watched) || qobject_cast<QAbstractSpinBox*>(watched) ||
          (qobject_cast<QComboBox*>(watched) && static_cast<QComboBox*>(watched)->isEditable()))
        return false;
      event->accept();
      return true;
    }
    for (const QAction* action : m_actions) {
      for (const QKeySequence& shortcut : action->shortcuts()) {
        if (shortcut.count() == 1 && shortcut[0] == pressed) return true;
      }
    }
    return false;
  }
  if (auto* menu = qobject_cast<QMenu*>(watched)) {
    if (type == QEvent::ShortcutOverride || type == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
        if (type == QEvent::ShortcutOverride) {
          event->accept();  // the menu takes F1, not the Help action
          return true;
        }
        const QAction* entry = menu->activeAction() ? menu->activeAction() : menu->menuAction();
        for (int i = 0; i < 8 && QApplication::activePopupWidget(); ++i) {
          QApplication::activePopupWidget()->close();
        }
        RunGuarded(this, [&] { ShowMenuEntryHelp(entry); });
        return true;
      }
    }
    return false;
  }
  if (watched == m_files) {
    if (type == QEvent::KeyPress) return FilesKeyDown(static_cast<QKeyEvent*>(event));
    if (type == QEvent::FocusIn) {
      m_filesFocusedByClick = static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason;
    }
    return false;
  }
  if (watched == m_files->viewport()) {
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
      return FilesMouseDown(static_cast<QMouseEvent*>(event));
    }
    // The release of a right click is not the list's either.
    if (type == QEvent::MouseButtonRelease) {
      return static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
    }
    return type == QEvent::ToolTip;  // the list shows no tooltips
  }
  if (watched == m_drive) {
    if (type == QEvent::FocusIn &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::ActiveWindowFocusReason) {
      DriveEnter();
    } else if (type == QEvent::KeyRelease) {
      DriveKeyUp(static_cast<QKeyEvent*>(event));
    }
    return false;
  }
  if (watched == m_drive->view() && type == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) DrivePicked();
    return false;
  }
  return TEdgeDockForm::eventFilter(watched, event);
}

void TMainForm::showEvent(QShowEvent* event) {
  TEdgeDockForm::showEvent(event);
  FilesFocusChanged();
  if (m_centreWhenShown) {
    m_centreWhenShown = false;
    // The window manager frames the window only after it is shown, and tells its frame a
    // little later still: centre it once the frame is known, or after half a second.
    auto* wait = new QTimer(this);
    auto tries = std::make_shared<int>(0);
    connect(wait, &QTimer::timeout, this, [this, wait, tries] {
      const QSize frame = frameGeometry().size();
      if (frame == size() && ++*tries < 25) return;
      wait->deleteLater();
      const QSize screen = ScreenSize();
      move((screen.width() - frame.width()) / 2, (screen.height() - frame.height()) / 2);
      KeepOnScreen();
    });
    wait->start(20);
  }
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // While a batch or a deletion runs the window takes no input, its close box included. A
  // close asked by the program itself (a logout, a closed terminal) waits for the end.
  if (!isEnabled()) {
    if (!event->spontaneous()) m_closeWhenEnabled = true;
    event->ignore();
    return;
  }
  TEdgeDockForm::closeEvent(event);
}

void TMainForm::changeEvent(QEvent* event) {
  TEdgeDockForm::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && isEnabled()) {
    UpdateUndoAction();
  }
  if (event->type() == QEvent::EnabledChange && isEnabled() && m_closeWhenEnabled) {
    m_closeWhenEnabled = false;
    // Once the handler that ran the batch has returned to the event loop.
    QTimer::singleShot(0, this, [this] { close(); });
  }
}

// ---------------------------------------------------------------------------------------------
// Settings

int32_t TMainForm::WindowLeft() const { return pos().x(); }
int32_t TMainForm::WindowTop() const { return pos().y(); }
void TMainForm::SetWindowLeft(int32_t left) { move(left, pos().y()); }
void TMainForm::SetWindowTop(int32_t top) { move(pos().x(), top); }

QSize TMainForm::ScreenSize() const {
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  return screen ? screen->size() : QSize();
}

QSize TMainForm::WindowSize() const { return frameGeometry().size(); }

int32_t TMainForm::WindowWidth() const { return width(); }
int32_t TMainForm::WindowHeight() const { return height(); }

void TMainForm::SetWindowSize(int32_t width, int32_t height) {
  resize(QSize(width, height).expandedTo(minimumSizeHint()));
}

std::string TMainForm::Mask() const { return m_files->Mask(); }
void TMainForm::SetMask(const std::string& mask) { m_files->SetMask(mask); }
std::string TMainForm::Directory() const { return m_files->Directory(); }
void TMainForm::GoToPath(const std::string& path) { m_files->GoToPath(path); }

void TMainForm::SetDriveQuietly(const std::string& folder) {
  const QSignalBlocker quiet(m_drive);
  m_drive->SetDrive(VolumeOf(ListVolumes(), folder));
}

int TMainForm::SortBy() const { return m_files->SortBy(); }
int TMainForm::SortOrder() const { return m_files->SortOrder(); }

void TMainForm::SetSort(int sortBy, int sortOrder) {
  if (sortBy < fiFileName || sortBy > fiAttribute) return;
  if (sortOrder != soAscending && sortOrder != soDescending) return;
  const TFileItem column = TFileItem(sortBy);
  // As SelectSortColumn shows a new column, with the stored order.
  m_headerButtons[m_files->SortBy()]->setText(
      QString::fromLatin1(kHeaderCaptions[m_files->SortBy()]));
  m_files->SetSortBy(column);
  SetSortDirection(TSortOrder(sortOrder));
  m_headerButtons[column]->setChecked(true);
  m_sortMenuItems[column]->setChecked(true);
}

bool TMainForm::NumericSort() const { return m_files->NumericSort(); }

void TMainForm::SetNumericSort(bool numeric) {
  Action(ActionId::NumericSort)->setChecked(numeric);
  ApplyNumericSort();
}

CommandParameters TMainForm::Parameters() const { return m_pages->Parameters(); }
void TMainForm::SetParameters(const CommandParameters& params) { m_pages->SetParameters(params); }
std::string TMainForm::CopyNumberText() const {
  return m_pages->CopyNumber()->Text().toStdString();
}
void TMainForm::RemoveFromClick() { m_pages->RemoveFromClick(); }

}  // namespace relabo
