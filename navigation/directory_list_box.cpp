// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigation/directory_list_box.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractListModel>
#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPainter>
#include <QPixmap>
#include <QStyleOption>
#include <QStyledItemDelegate>
#include <QSvgRenderer>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "filelist/file_list_box.h"
#include "filelist/file_sort.h"
#include "fileutil/error.h"
#include "fileutil/path.h"
#include "navigation/drive_combo_box.h"
#include "navigation/path_label.h"

// The resources of a static library must be registered by hand, outside any namespace.
static void InitTreeGlyphResources() { Q_INIT_RESOURCE(tree_glyphs); }

namespace relabo {

namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kIndentRole = Qt::UserRole + 1;
constexpr int kGlyphWidth = 16;
constexpr int kGlyphHeight = 14;
constexpr int kIndentStep = 4;
constexpr int kTextGap = 4;
constexpr int kMinItemHeight = 15;
constexpr int kDefaultWidth = 145;
// Where a drive selector keeps the tree list linked to it.
constexpr const char* kDirListProperty = "relaboDirList";

std::string CurrentFolder() {
  std::unique_ptr<char, decltype(&std::free)> path(::getcwd(nullptr, 0), &std::free);
  return path ? std::string(path.get()) : std::string();
}

Error FolderError(const std::string& path, int code) {
  return Error(Format("%s: %s", path, std::strerror(code)), code);
}

// Puts the process's working folder back where it was, unless told to keep the new one.
class WorkingFolderGuard {
 public:
  WorkingFolderGuard() : m_fd(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC)) {}
  WorkingFolderGuard(const WorkingFolderGuard&) = delete;
  WorkingFolderGuard& operator=(const WorkingFolderGuard&) = delete;
  ~WorkingFolderGuard() {
    if (m_fd < 0) return;
    if (!m_keep && ::fchdir(m_fd) != 0) {
      // A folder that cannot be entered again leaves the process where it is.
    }
    ::close(m_fd);
  }
  void Keep() { m_keep = true; }

 private:
  int m_fd;
  bool m_keep = false;
};

// The folder part of a path as the file list splits it: a last name that names nothing is a
// file name to look for, not a folder that cannot be entered.
std::string FolderOfPath(const std::string& path) { return SplitTypedPath(path).folder; }

QIcon RenderGlyph(const char* file) {
  QSvgRenderer renderer{QString::fromLatin1(file)};
  QIcon icon;
  if (!renderer.isValid()) return icon;
  // Drawn at each size the glyph needs on 1x, 2x and 3x screens.
  for (const int scale : {1, 2, 3}) {
    QPixmap pixmap(kGlyphWidth * scale, kGlyphHeight * scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QIcon TreeGlyph(int kind) {
  static const std::array<QIcon, 3> glyphs = [] {
    InitTreeGlyphResources();
    return std::array<QIcon, 3>{RenderGlyph(":/navigation/tree_closed_folder.svg"),
                                RenderGlyph(":/navigation/tree_open_folder.svg"),
                                RenderGlyph(":/navigation/tree_current_folder.svg")};
  }();
  return kind >= 0 && kind < int(glyphs.size()) ? glyphs[size_t(kind)] : QIcon();
}

// What a file list calls to hand a typed path to its tree list.
struct TreeHook {
  QPointer<TXDirectoryListBox> tree;
  void operator()(const std::string& path) const {
    if (tree) tree->ApplyPath(path);
  }
};

TXDirectoryListBox* HookedTree(const TXFileListBox& list) {
  const TreeHook* hook = list.TreeGoToPath.target<TreeHook>();
  return hook ? hook->tree.data() : nullptr;
}

}  // namespace

// The lines of the list, read from the list itself.
class TXDirectoryListBox::LineModel : public QAbstractListModel {
 public:
  explicit LineModel(TXDirectoryListBox* box) : QAbstractListModel(box), m_box(box) {}

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : m_box->Count();
  }

  QVariant data(const QModelIndex& index, int role) const override {
    const int row = index.row();
    if (!index.isValid() || row >= m_box->Count()) return QVariant();
    switch (role) {
      case Qt::DisplayRole:
        return m_box->DisplayText(row);
      case kKindRole:
        return int(m_box->m_lines[size_t(row)].kind);
      case kIndentRole:
        return m_box->Indent(row);
      default:
        return QVariant();
    }
  }

  void Replace(std::vector<DirectoryLine> lines) {
    beginResetModel();
    m_box->m_lines = std::move(lines);
    endResetModel();
  }

  void Relayout() {
    beginResetModel();
    endResetModel();
  }

 private:
  TXDirectoryListBox* m_box;
};

// Paints a line as its glyph and text, indented by its level, on the line's own background.
class TXDirectoryListBox::LineDelegate : public QStyledItemDelegate {
 public:
  explicit LineDelegate(TXDirectoryListBox* box) : QStyledItemDelegate(box), m_box(box) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    const QRect area = option.rect;
    painter->fillRect(area, selected ? option.palette.highlight() : option.palette.base());
    const int indent = index.data(kIndentRole).toInt();
    const QIcon glyph = TreeGlyph(index.data(kKindRole).toInt());
    if (!glyph.isNull()) {
      const QRect glyphRect(area.left() + indent,
                            (2 * area.top() + area.height() - kGlyphHeight) / 2, kGlyphWidth,
                            kGlyphHeight);
      glyph.paint(painter, glyphRect);
    }
    const QRect textRect = area.adjusted(kGlyphWidth + indent + kTextGap, 0, 0, 0);
    painter->setFont(option.font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    if (option.state & QStyle::State_HasFocus) {
      QStyleOptionFocusRect focus;
      focus.initFrom(m_box);
      focus.rect = area;
      focus.backgroundColor = option.palette.color(selected ? QPalette::Highlight : QPalette::Base);
      m_box->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, m_box);
    }
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const int textWidth =
        QFontMetrics(option.font).horizontalAdvance(index.data(Qt::DisplayRole).toString());
    return QSize(index.data(kIndentRole).toInt() + kGlyphWidth + kTextGap + textWidth + kTextGap,
                 m_box->ItemHeight());
  }

 private:
  TXDirectoryListBox* m_box;
};

TXDirectoryListBox::TXDirectoryListBox(QWidget* parent)
    : TXDirectoryListBox(VolumeSource(), parent) {}

TXDirectoryListBox::TXDirectoryListBox(VolumeSource source, QWidget* parent)
    : QListView(parent),
      m_source(source ? std::move(source) : VolumeSource(&ListVolumes)),
      m_model(new LineModel(this)) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setUniformItemSizes(true);
  setModel(m_model);
  setItemDelegate(new LineDelegate(this));
  AdjustItemHeight();
  resize(kDefaultWidth, height());
  m_directory = CurrentFolder();
  Rebuild();
}

TXDirectoryListBox::~TXDirectoryListBox() {
  UnlinkFileList();
  UnlinkDriveComboBox();
}

void TXDirectoryListBox::SetDirectory(const std::string& path) { MoveTo(path, false); }

void TXDirectoryListBox::SetDrive(std::string_view mountPoint) {
  if (mountPoint == m_drive) return;
  if (mountPoint.empty()) {
    FillFolderList();
    Change();
    return;
  }
  MoveTo(std::string(mountPoint), false);
}

void TXDirectoryListBox::ApplyPath(const std::string& path) {
  if (path.empty() || (path == m_directory && InStep())) return;
  std::string folder;
  {
    // A relative path is taken from Directory.
    WorkingFolderGuard guard;
    if (!m_directory.empty() && ::chdir(m_directory.c_str()) != 0) {
    // Then relative paths start from the working folder as it is.
  }
    folder = FolderOfPath(path);
  }
  MoveTo(folder, true);
}

void TXDirectoryListBox::Change() {
  if (m_fileList) m_fileList->ChangeFolder(m_directory);
  if (m_dirLabel) {
    m_dirLabel->SetCaption(QString::fromUtf8(m_directory.data(), qsizetype(m_directory.size())));
  }
  Q_EMIT Changed();
}

void TXDirectoryListBox::FillFolderList() { Rebuild(); }

TXFileListBox* TXDirectoryListBox::FileList() const { return m_fileList.data(); }

TXPathLabel* TXDirectoryListBox::DirLabel() const { return m_dirLabel.data(); }

TXDriveComboBox* TXDirectoryListBox::DriveComboBox() const { return m_driveBox.data(); }

void TXDirectoryListBox::SetFileList(TXFileListBox* fileList) {
  if (fileList == m_fileList) return;
  if (fileList && fileList->Directory() != m_directory) fileList->ChangeFolder(m_directory);
  UnlinkFileList();
  if (!fileList) return;
  // A file list follows one tree list.
  if (TXDirectoryListBox* other = HookedTree(*fileList); other && other != this) {
    other->UnlinkFileList();
  }
  m_fileList = fileList;
  fileList->TreeGoToPath = TreeHook{this};
}

void TXDirectoryListBox::SetDirLabel(TXPathLabel* label) {
  m_dirLabel = label;
  if (label)
    label->SetCaption(QString::fromUtf8(m_directory.data(), qsizetype(m_directory.size())));
}

void TXDirectoryListBox::SetDriveComboBox(TXDriveComboBox* box) {
  if (box == m_driveBox) return;
  UnlinkDriveComboBox();
  if (!box) return;
  if (TXDirectoryListBox* other = DirListOf(*box)) other->UnlinkDriveComboBox();
  m_driveBox = box;
  box->setProperty(kDirListProperty, QVariant::fromValue<QObject*>(this));
  m_driveConnection =
      connect(box, &TXDriveComboBox::Changed, this, &TXDirectoryListBox::DriveComboBoxChanged);
  if (const std::exception_ptr error = SyncDriveComboBox()) std::rethrow_exception(error);
}

std::string TXDirectoryListBox::ItemPath(int index) const {
  return DirectoryLinePath(m_directory, m_lines, index);
}

QString TXDirectoryListBox::DisplayText(int index) const {
  if (index < 0 || index >= Count()) return QString();
  // Linux file systems keep the case of names, so a name is shown as it is.
  const std::string& name = m_lines[size_t(index)].name;
  return QString::fromUtf8(name.data(), qsizetype(name.size()));
}

int TXDirectoryListBox::Indent(int index) const {
  if (index < 0 || index >= Count()) return 0;
  return m_lines[size_t(index)].level * kIndentStep + kIndentStep;
}

int TXDirectoryListBox::SelectedIndex() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

void TXDirectoryListBox::SetSelectedIndex(int index) {
  if (index < 0 || index >= Count()) {
    clearSelection();
    return;
  }
  const QModelIndex row = m_model->index(index);
  setCurrentIndex(row);
  scrollTo(row);
}

void TXDirectoryListBox::OpenSelectedLine() {
  const int index = SelectedIndex();
  if (index < 0) return;
  // With a trailing "/" the line is a folder even when its name holds "*" or "?", and one that
  // vanished is an error rather than a file name to look for.
  std::string path = ItemPath(index);
  if (!path.ends_with('/')) path += '/';
  ApplyPath(path);
}

QSize TXDirectoryListBox::sizeHint() const {
  return QSize(kDefaultWidth, QListView::sizeHint().height());
}

void TXDirectoryListBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    Guarded([this] { OpenSelectedLine(); });
    return;
  }
  QListView::keyPressEvent(event);
}

void TXDirectoryListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  QListView::mouseDoubleClickEvent(event);
  Guarded([this] { OpenSelectedLine(); });
}

void TXDirectoryListBox::changeEvent(QEvent* event) {
  QListView::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    AdjustItemHeight();
    const int selected = SelectedIndex();
    m_model->Relayout();
    SetSelectedIndex(selected);
  }
}

void TXDirectoryListBox::Rebuild() {
  m_drive = VolumeOf(m_source(), m_directory);
  const VolumeCaseInfo volume =
      m_directory.empty() ? VolumeCaseInfo{} : ReadVolumeCaseInfo(m_directory);
  m_ignoresCase = volume.ignoresCase;
  std::vector<DirectoryLine> lines;
  if (volume.readable) {
    lines = ComputeDirectoryLines(m_directory, ReadSubfolderNames(m_directory), volume.ignoresCase,
                                  NameCollator::Instance());
  }
  m_model->Replace(std::move(lines));
  SelectCurrentLine();
}

void TXDirectoryListBox::MoveTo(const std::string& target, bool onlyIfOther) {
  WorkingFolderGuard guard;
  if (!m_directory.empty() && ::chdir(m_directory.c_str()) != 0) {
    // Then relative paths start from the working folder as it is.
  }
  if (::chdir(target.c_str()) != 0) throw FolderError(target, errno);
  std::string folder = CurrentFolder();
  if (folder.empty()) throw FolderError(target, errno);
  if (onlyIfOther && folder == m_directory && InStep()) {
    guard.Keep();
    return;
  }
  // The file list goes first: when it cannot read the folder, nothing has changed yet.
  if (m_fileList) m_fileList->ChangeFolder(folder);
  guard.Keep();
  m_directory = std::move(folder);
  FillFolderList();
  const std::exception_ptr driveError = SyncDriveComboBox();
  Change();
  if (driveError) std::rethrow_exception(driveError);
}

bool TXDirectoryListBox::InStep() const {
  return !m_fileList || m_fileList->Directory() == m_directory;
}

void TXDirectoryListBox::SelectCurrentLine() { SetSelectedIndex(CurrentLineIndex(m_lines)); }

std::exception_ptr TXDirectoryListBox::SyncDriveComboBox() {
  if (!m_driveBox || m_driveBox->Drive() == m_drive) return nullptr;
  m_changingDrive = true;
  std::exception_ptr error;
  try {
    m_driveBox->SetDrive(m_drive);
  } catch (...) {
    error = std::current_exception();
  }
  m_changingDrive = false;
  return error;
}

void TXDirectoryListBox::DriveComboBoxChanged() {
  // A failure goes back to the selector, which restores its volume and reports it.
  if (!m_changingDrive && m_driveBox) SetDrive(m_driveBox->Drive());
}

void TXDirectoryListBox::UnlinkFileList() {
  if (m_fileList && HookedTree(*m_fileList) == this) m_fileList->TreeGoToPath = nullptr;
  m_fileList = nullptr;
}

void TXDirectoryListBox::UnlinkDriveComboBox() {
  QObject::disconnect(m_driveConnection);
  if (m_driveBox && DirListOf(*m_driveBox) == this) {
    m_driveBox->setProperty(kDirListProperty, QVariant());
  }
  m_driveBox = nullptr;
}

void TXDirectoryListBox::Guarded(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& error) {
    const QString message = QString::fromUtf8(error.what());
    if (isSignalConnected(QMetaMethod::fromSignal(&TXDirectoryListBox::Failed))) {
      Q_EMIT Failed(message);
    } else {
      QMessageBox::critical(window(), QApplication::applicationDisplayName(), message);
    }
  }
}

void TXDirectoryListBox::AdjustItemHeight() {
  m_itemHeight = std::max(QFontMetrics(font()).height(), kMinItemHeight);
}

TXDirectoryListBox* DirListOf(const TXDriveComboBox& box) {
  return qobject_cast<TXDirectoryListBox*>(box.property(kDirListProperty).value<QObject*>());
}

void SetDirList(TXDriveComboBox& box, TXDirectoryListBox* list) {
  if (list) {
    list->SetDriveComboBox(&box);
  } else if (TXDirectoryListBox* linked = DirListOf(box)) {
    linked->SetDriveComboBox(nullptr);
  }
}

}  // namespace relabo
