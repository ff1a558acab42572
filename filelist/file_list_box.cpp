// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/file_list_box.h"

#include <QApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStringList>
#include <QStyle>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "filelist/file_list_model.h"
#include "filelist/file_row_delegate.h"
#include "filelist/glyph_set.h"
#include "fileutil/path.h"

namespace relabo {

namespace {

QString Decoded(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::function<int(std::string_view)> MeasureIn(const QFontMetrics& metrics) {
  return [&metrics](std::string_view text) { return metrics.horizontalAdvance(Decoded(text)); };
}

// Marks a stretch of code in which the core, not the user, changes the selection.
class CoreChange {
 public:
  explicit CoreChange(int& depth) : m_depth(depth) { ++m_depth; }
  ~CoreChange() { --m_depth; }
  CoreChange(const CoreChange&) = delete;
  CoreChange& operator=(const CoreChange&) = delete;

 private:
  int& m_depth;
};

// The first character of a locale's date or time format that is not a letter, a blank or
// quoted: its separator.
std::string SeparatorOf(const QString& format, const char* fallback) {
  bool quoted = false;
  for (const QChar c : format) {
    if (c == u'\'') {
      quoted = !quoted;
    } else if (!quoted && !c.isLetter() && !c.isSpace()) {
      return QString(c).toStdString();
    }
  }
  return fallback;
}

}  // namespace

TXFileListBox::TXFileListBox(QWidget* parent)
    : QListView(parent),
      FolderList(static_cast<FolderListView*>(this)),
      m_model(new FileListModel(*this, this)),
      m_delegate(new FileRowDelegate(*this)),
      m_glyphs(std::make_unique<GlyphSet>()),
      m_mimeDatabase(std::make_unique<QMimeDatabase>()) {
  // Uniform rows let the view lay out 100,000 entries without asking for each one's size.
  setUniformItemSizes(true);
  setSelectionMode(SingleSelection);
  setEditTriggers(NoEditTriggers);
  setItemDelegate(m_delegate);
  setModel(m_model);
  LoadLocaleNames();
  MeasureColumnTexts();
  // A new list has rows as high as a small icon until its font changes.
  UpdateItemHeight();
  SetItemHeight(style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this));
  RelayColumns(true);
  connect(horizontalScrollBar(), &QScrollBar::valueChanged, this,
          &TXFileListBox::NotifyColumnsMoved);
}

TXFileListBox::~TXFileListBox() {
  // A read still under way stops, and takes its busy cursor back while this view is here.
  CancelRead();
  // The view must not read the model while the FolderList behind it goes.
  setModel(nullptr);
  delete m_model;
}

// ---------------------------------------------------------------------------------------------
// Selection and scrolling

void TXFileListBox::SetMultiSelect(bool multiSelect) {
  if (multiSelect == m_multiSelect) return;
  const CoreChange change(m_coreChanging);
  m_pendingMarks.clear();
  m_multiSelect = multiSelect;
  setSelectionMode(multiSelect ? ExtendedSelection : SingleSelection);
  clearSelection();
}

int TXFileListBox::TopIndex() const {
  const QModelIndex top = indexAt(QPoint(0, 0));
  return top.isValid() ? top.row() : 0;
}

void TXFileListBox::SetTopIndex(int index) {
  if (index < 0 || index >= Count()) return;
  scrollTo(m_model->index(index), PositionAtTop);
}

void TXFileListBox::SetItemHeight(int height) {
  height = std::max(height, 1);
  if (height == m_itemHeight) return;
  m_itemHeight = height;
  RelayColumns(true);
}

void TXFileListBox::UpdateItemHeight() {
  int height = QFontMetrics(font()).height();
  if (m_columns.showGlyphs && height < 17) height = 17;
  SetItemHeight(height);
}

// ---------------------------------------------------------------------------------------------
// Presentation

void TXFileListBox::SetShowGlyphs(bool show) {
  if (show == m_columns.showGlyphs) return;
  m_columns.showGlyphs = show;
  if (show && m_itemHeight < 17) UpdateItemHeight();
  RelayColumns(true);
}

void TXFileListBox::SetShowItems(TShowItems items) {
  if (items == m_showItems) return;
  m_showItems = items;
  m_columns.showSize = items.Contains(fiSize);
  m_columns.showDate = items.Contains(fiDate);
  m_columns.showTime = items.Contains(fiTime);
  m_columns.showAttribute = items.Contains(fiAttribute);
  RelayColumns(true);
}

namespace {
int ColumnWidth(int width) { return std::clamp(width, 0, 65535); }
}  // namespace

void TXFileListBox::SetWidthFileName(int width) {
  m_columns.widthFileName = ColumnWidth(width);
  RelayColumns(true);
}

void TXFileListBox::SetShowPreview(bool show) {
  if (show == m_columns.showPreview) return;
  m_columns.showPreview = show;
  RelayColumns(true);
}

void TXFileListBox::SetWidthPreview(int width) {
  m_columns.widthPreview = ColumnWidth(width);
  RelayColumns(m_columns.showPreview);
}

void TXFileListBox::SetWidthSize(int width) {
  m_columns.widthSize = ColumnWidth(width);
  RelayColumns(m_columns.showSize);
}

void TXFileListBox::SetWidthDate(int width) {
  m_columns.widthDate = ColumnWidth(width);
  RelayColumns(m_columns.showDate);
}

void TXFileListBox::SetWidthTime(int width) {
  m_columns.widthTime = ColumnWidth(width);
  RelayColumns(m_columns.showTime);
}

void TXFileListBox::SetWidthAttribute(int width) {
  m_columns.widthAttribute = ColumnWidth(width);
  RelayColumns(m_columns.showAttribute);
}

void TXFileListBox::SetAutoWidth(bool autoWidth) {
  if (autoWidth == m_autoWidth) return;
  m_autoWidth = autoWidth;
  if (autoWidth) {
    FitWidth();
  } else {
    setMinimumWidth(0);
    setMaximumWidth(QWIDGETSIZE_MAX);
  }
}

void TXFileListBox::FitWidth() {
  if (!m_autoWidth) return;
  const int width =
      FitListWidth(m_drawnColumns, m_itemHeight,
                   style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this), frameWidth());
  if (width != this->width() || minimumWidth() != width || maximumWidth() != width) {
    setFixedWidth(width);
  }
}

int TXFileListBox::FontScaledWidth(int width) const {
  const qreal digit = fontMetrics().horizontalAdvance(QStringLiteral("0123456789")) / 10.0;
  return static_cast<int>(std::ceil(width * digit / 6.0));
}

void TXFileListBox::MeasureColumnTexts() {
  const QFontMetrics metrics(font());
  m_textWidths =
      WidestColumnTexts(m_dateFormat, m_timeFormat, m_dirName, m_names, MeasureIn(metrics));
}

void TXFileListBox::RelayColumns(bool fit) {
  m_drawnColumns = WidenColumns(m_columns, m_textWidths);
  // Laid out again only when the rows' size changed, and then once for all the changes of one
  // turn of the event loop: each layout walks every row (some 25 ms for a million).
  const QSize rowSize = m_delegate->sizeHint(QStyleOptionViewItem(), QModelIndex());
  if (rowSize != m_laidOutRowSize) {
    m_laidOutRowSize = rowSize;
    scheduleDelayedItemsLayout();
  }
  if (fit) FitWidth();
  viewport()->update();
  NotifyColumnsMoved();
}

void TXFileListBox::NotifyColumnsMoved() {
  // Only the horizontal extents count; the height follows the list's.
  std::array<QRect, 6> columns;
  auto extent = [](const QRect& rect) { return QRect(rect.left(), 0, rect.width(), 1); };
  for (TFileItem column : {fiFileName, fiSize, fiDate, fiTime, fiAttribute}) {
    if (m_showItems.Contains(column)) columns[column] = extent(ColumnRect(column));
  }
  if (m_columns.showPreview) columns[5] = extent(PreviewColumnRect());
  if (columns == m_reportedColumns) return;
  m_reportedColumns = columns;
  Q_EMIT ColumnsChanged();
}

QRect TXFileListBox::ColumnRect(TFileItem column) const {
  if (!m_showItems.Contains(column)) return {};
  const RowLayout row = LaidOutRow();
  const ColumnSpan* spans[] = {&row.name, &row.size, &row.date, &row.time, &row.attribute};
  return SpanRect(*spans[column]);
}

QRect TXFileListBox::PreviewColumnRect() const {
  if (!m_columns.showPreview) return {};
  return SpanRect(LaidOutRow().preview);
}

RowLayout TXFileListBox::LaidOutRow() const {
  // Where the delegate draws a row: from the viewport's left edge, scrolled. Computed rather
  // than read from the viewport, whose geometry is only laid out once the list is shown.
  const int left = frameWidth() + viewportMargins().left() - horizontalOffset();
  return LayoutRow(m_drawnColumns, left, m_itemHeight);
}

QRect TXFileListBox::SpanRect(const ColumnSpan& span) const {
  const QRect rows = viewport()->geometry();
  return QRect(span.left, rows.top(), span.width, rows.height());
}

void TXFileListBox::SetDateFormat(const std::string& format) {
  if (format == m_dateFormat) return;
  m_dateFormat = format;
  MeasureColumnTexts();
  RelayColumns(m_columns.showDate);
}

void TXFileListBox::SetTimeFormat(const std::string& format) {
  if (format == m_timeFormat) return;
  m_timeFormat = format;
  MeasureColumnTexts();
  RelayColumns(m_columns.showTime);
}

void TXFileListBox::SetDirName(const std::string& name) {
  if (name == m_dirName) return;
  m_dirName = name;
  MeasureColumnTexts();
  // The column may have to widen even when no folder is listed now.
  RelayColumns(m_columns.showSize);
}

std::string TXFileListBox::ColumnText(int index, TFileItem column) const {
  const TEntryInfo* entry = ItemInfo(index);
  if (!entry) return {};
  switch (column) {
    case fiFileName:
      return ItemText(index);
    case fiSize:
      return EntryKindOf(entry->GlyphCode) == ekFile ? SizeText(entry->Size) : m_dirName;
    case fiDate:
      return FormatDateTime(m_dateFormat, entry->Time, m_names);
    case fiTime:
      return FormatDateTime(m_timeFormat, entry->Time, m_names);
    case fiAttribute:
      return AttributeText(entry->Attr);
  }
  return {};
}

std::string TXFileListBox::DrawnText(int index, TFileItem column) const {
  const ColumnSettings& c = m_drawnColumns;
  const int widths[] = {c.widthFileName, c.widthSize, c.widthDate, c.widthTime, c.widthAttribute};
  const QFontMetrics metrics(font());
  return FitText(ColumnText(index, column), MeasureIn(metrics), widths[column]);
}

QString TXFileListBox::NameToolTip(int index) const {
  QStringList lines;
  const std::string text = ColumnText(index, fiFileName);
  if (!text.empty() && DrawnText(index, fiFileName) != text) lines << Decoded(text);
  if (m_columns.showPreview && ItemInfo(index)) {
    const PreviewCell cell = PreviewCellAt(index);
    if (DrawnPreviewText(cell) != cell.text) lines << QStringLiteral("→ ") + Decoded(cell.text);
    if (cell.look == PreviewCell::Look::Failed && !cell.reason.empty()) {
      lines << Decoded(cell.reason);
    }
  }
  return lines.join(u'\n');
}

void TXFileListBox::SetPreviewProvider(PreviewProvider provider) {
  m_previewProvider = std::move(provider);
  PreviewChanged();
}

void TXFileListBox::PreviewChanged() {
  if (m_columns.showPreview) viewport()->update();
}

PreviewCell TXFileListBox::PreviewCellAt(int index) const {
  if (!m_columns.showPreview || !m_previewProvider || index < 0 || index >= Count()) return {};
  return m_previewProvider(index);
}

std::string TXFileListBox::DrawnPreviewText(const PreviewCell& cell) const {
  const QFontMetrics metrics(PreviewFont(cell.look));
  return FitText(cell.text, MeasureIn(metrics), m_drawnColumns.widthPreview);
}

QFont TXFileListBox::PreviewFont(PreviewCell::Look look) const {
  QFont cellFont = font();
  // Marked rows draw every cell in the highlighted text colour, so the looks differ in the font
  // as well.
  if (look == PreviewCell::Look::Unchanged) cellFont.setItalic(true);
  if (look == PreviewCell::Look::Failed) cellFont.setStrikeOut(true);
  return cellFont;
}

void TXFileListBox::LoadLocaleNames() {
  const QLocale loc = locale();
  for (int m = 1; m <= 12; ++m) {
    m_names.shortMonths[m - 1] = loc.monthName(m, QLocale::ShortFormat).toStdString();
    m_names.longMonths[m - 1] = loc.monthName(m, QLocale::LongFormat).toStdString();
  }
  for (int d = 0; d < 7; ++d) {
    // QLocale counts Monday as 1 and Sunday as 7.
    m_names.shortDays[d] = loc.dayName(d == 0 ? 7 : d, QLocale::ShortFormat).toStdString();
    m_names.longDays[d] = loc.dayName(d == 0 ? 7 : d, QLocale::LongFormat).toStdString();
  }
  m_names.dateSeparator = SeparatorOf(loc.dateFormat(QLocale::ShortFormat), "/");
  m_names.timeSeparator = SeparatorOf(loc.timeFormat(QLocale::ShortFormat), ":");
}

// ---------------------------------------------------------------------------------------------
// Glyphs

QPixmap TXFileListBox::ItemGlyph(int index) {
  TEntryInfo* entry = ItemInfo(index);
  if (!entry) return {};
  const int size = m_itemHeight;
  const qreal ratio = viewport()->devicePixelRatioF();
  const int32_t code = entry->GlyphCode;
  if (GlyphSet::IsBuiltIn(code)) return m_glyphs->Pixmap(code, size, ratio);

  int slot;
  if (code >= 0 && code < IconCacheCount()) {
    slot = code;
  } else if (code == kGlyphShellIcon) {
    const std::string key = IconCacheKey(ItemText(index), Directory());
    const auto found = m_iconIndex.find(key);
    if (found != m_iconIndex.end()) {
      slot = found->second;
    } else {
      slot = FetchIcon(key, index);
      entry->GlyphCode = slot;
    }
  } else {
    return {};
  }

  IconEntry& icon = m_iconCache[slot];
  if (icon.icon.isNull()) {
    // The desktop has no icon for this type: the glyph the entry would have without icons.
    return m_glyphs->Pixmap(BuiltInFileGlyph(ItemText(index), entry->Attr), size, ratio);
  }
  if (icon.pixmapSize != size || icon.pixmapRatio != ratio) {
    icon.pixmap = icon.icon.pixmap(QSize(size, size), ratio);
    icon.pixmapSize = size;
    icon.pixmapRatio = ratio;
  }
  return icon.pixmap;
}

int TXFileListBox::FetchIcon(const std::string& key, int index) {
  // By name only: reading every file's contents to guess its type would cost a disk read per
  // painted row.
  const QList<QMimeType> types = m_mimeDatabase->mimeTypesForFileName(Decoded(ItemText(index)));
  const QMimeType type =
      types.isEmpty() ? m_mimeDatabase->mimeTypeForName(QStringLiteral("application/octet-stream"))
                      : types.first();
  IconEntry entry;
  entry.icon = QIcon::fromTheme(type.iconName());
  if (entry.icon.isNull()) entry.icon = QIcon::fromTheme(type.genericIconName());
  m_iconCache.push_back(std::move(entry));
  const int slot = IconCacheCount() - 1;
  m_iconIndex.emplace(key, slot);
  return slot;
}

// ---------------------------------------------------------------------------------------------
// Linked controls

void TXFileListBox::SetDirLabel(QObject* label, CaptionSetter setCaption) {
  m_dirLabel = label;
  m_setDirCaption = label ? std::move(setCaption) : nullptr;
  UpdateDirLabel();
}

void TXFileListBox::SetDirLabel(QLabel* label) {
  SetDirLabel(label, [label](const std::string& caption) { label->setText(Decoded(caption)); });
}

void TXFileListBox::SetDirLabelMask(bool withMask) {
  m_dirLabelMask = withMask;
  UpdateDirLabel();
}

void TXFileListBox::UpdateDirLabel() {
  // The QPointer is null once the label is gone; the setter may hold a raw pointer to it.
  if (!m_dirLabel || !m_setDirCaption) return;
  m_setDirCaption(m_dirLabelMask ? JoinPath(Directory(), Mask()) : Directory());
}

void TXFileListBox::SetFileEdit(QLineEdit* edit) {
  m_fileEdit = edit;
  UpdateFileEdit(false);
}

void TXFileListBox::UpdateFileEdit(bool selectAll) {
  if (!m_fileEdit) return;
  const std::string name = FocusedName();
  m_fileEdit->setText(Decoded(name.empty() ? Mask() : name));
  if (selectAll) m_fileEdit->selectAll();
}

void TXFileListBox::NotifyChange() {
  UpdateFileEdit(true);
  UpdateDirLabel();
  FolderList::NotifyChange();
}

// ---------------------------------------------------------------------------------------------
// FolderListView

int TXFileListBox::Focused() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? current.row() : -1;
}

void TXFileListBox::SetFocused(int index) {
  const CoreChange change(m_coreChanging);
  const QModelIndex target = index >= 0 && index < Count() ? m_model->index(index) : QModelIndex();
  if (m_multiSelect) {
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
  } else {
    // One entry is both focused and marked.
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    if (!target.isValid()) selectionModel()->clearSelection();
  }
}

bool TXFileListBox::IsMarked(int index) const {
  if (index < 0 || index >= static_cast<int>(m_marks.size())) return false;
  FlushPendingMarks();
  return m_marks[index] != 0;
}

void TXFileListBox::SetMarked(int index, bool marked) {
  if (index < 0 || index >= Count()) return;
  if (m_multiSelect && m_updateDepth > 0) {
    m_pendingMarks.emplace_back(index, marked);
    return;
  }
  const CoreChange change(m_coreChanging);
  QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::Deselect;
  if (marked)
    flags = m_multiSelect ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect;
  selectionModel()->select(m_model->index(index), flags);
}

void TXFileListBox::FlushPendingMarks() const {
  if (m_pendingMarks.empty()) return;
  auto pending = std::move(m_pendingMarks);
  m_pendingMarks.clear();
  // The last request for an index wins.
  std::stable_sort(pending.begin(), pending.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::pair<int, bool>> wanted;
  for (const auto& request : pending) {
    if (!wanted.empty() && wanted.back().first == request.first) {
      wanted.back().second = request.second;
    } else {
      wanted.push_back(request);
    }
  }
  // Runs of neighbours with the same state become one range each.
  QItemSelection select;
  QItemSelection deselect;
  for (size_t first = 0; first < wanted.size();) {
    size_t last = first;
    while (last + 1 < wanted.size() && wanted[last + 1].first == wanted[last].first + 1 &&
           wanted[last + 1].second == wanted[first].second) {
      ++last;
    }
    (wanted[first].second ? select : deselect)
        .select(m_model->index(wanted[first].first), m_model->index(wanted[last].first));
    first = last + 1;
  }
  auto* self = const_cast<TXFileListBox*>(this);
  const CoreChange change(self->m_coreChanging);
  if (!deselect.isEmpty()) selectionModel()->select(deselect, QItemSelectionModel::Deselect);
  if (!select.isEmpty()) selectionModel()->select(select, QItemSelectionModel::Select);
}

int TXFileListBox::MarkedCount() const {
  FlushPendingMarks();
  return m_markCount;
}

void TXFileListBox::BeginItemsUpdate() {
  if (m_updateDepth++ == 0) setUpdatesEnabled(false);
}

void TXFileListBox::EndItemsUpdate() {
  if (m_updateDepth == 0) return;
  if (--m_updateDepth == 0) {
    FlushPendingMarks();
    setUpdatesEnabled(true);
  }
}

void TXFileListBox::ItemsAboutToBeReplaced() {
  ++m_coreChanging;
  m_pendingMarks.clear();
  m_model->BeginReplace();
}

void TXFileListBox::ItemsReplaced() {
  m_model->EndReplace();
  // The reset cleared the selection without telling.
  m_marks.assign(static_cast<size_t>(Count()), 0);
  m_markCount = 0;
  --m_coreChanging;
}

void TXFileListBox::RedrawItem(int index) {
  if (index < 0 || index >= Count()) return;
  viewport()->repaint(visualRect(m_model->index(index)));
}

void TXFileListBox::BeginBusy() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void TXFileListBox::EndBusy() { QApplication::restoreOverrideCursor(); }

void TXFileListBox::Beep() { QApplication::beep(); }

bool TXFileListBox::OpenWithShell(const std::string& path) {
  // Percent-encoding the bytes keeps a name that is not UTF-8 exact.
  const QByteArray encoded = QByteArray::fromStdString(path).toPercentEncoding("/");
  return QDesktopServices::openUrl(QUrl::fromEncoded("file://" + encoded));
}

// ---------------------------------------------------------------------------------------------
// Events

void TXFileListBox::Guarded(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& error) {
    if (OnError) {
      OnError(error);
    } else {
      QMessageBox::critical(window(), QApplication::applicationDisplayName(),
                            QString::fromUtf8(error.what()));
    }
  }
}

void TXFileListBox::showEvent(QShowEvent* event) {
  QListView::showEvent(event);
  // The first scan happens when the list first appears; a large folder goes on being read
  // after the window is shown.
  if (!Active()) {
    Guarded([this] {
      if (!ActivateInBackground(m_readPatience)) WatchRead();
    });
  }
}

void TXFileListBox::WatchRead() {
  if (!m_readWatch) {
    m_readWatch = new QTimer(this);
    m_readWatch->setInterval(100);
    connect(m_readWatch, &QTimer::timeout, this, &TXFileListBox::WatchRead);
  }
  if (Reading() && !ReadDone()) {
    m_readWatch->start();
    if (OnReading) OnReading(true, NamesRead(), LookedUp());
    return;
  }
  // Ended, or shown already by a command that needed the entries.
  m_readWatch->stop();
  if (Reading()) Guarded([this] { FinishRead(); });
  if (OnReading) OnReading(false, static_cast<size_t>(Count()), static_cast<size_t>(Count()));
}

void TXFileListBox::changeEvent(QEvent* event) {
  QListView::changeEvent(event);
  switch (event->type()) {
    case QEvent::FontChange:
      MeasureColumnTexts();
      UpdateItemHeight();
      RelayColumns(true);
      break;
    case QEvent::StyleChange:
      FitWidth();
      // The frame may have changed.
      NotifyColumnsMoved();
      break;
    case QEvent::LocaleChange:
      LoadLocaleNames();
      MeasureColumnTexts();
      RelayColumns(true);
      break;
    default:
      break;
  }
}

bool TXFileListBox::viewportEvent(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QListView::viewportEvent(event);
  // The only tooltip of the list: the whole texts of a row that are drawn shortened, and why
  // its new name fails.
  const auto* help = static_cast<QHelpEvent*>(event);
  const QModelIndex index = indexAt(help->pos());
  QString tip = index.isValid() ? NameToolTip(index.row()) : QString();
  // A tooltip that looks like markup is shown as markup: a name such as "<b>x" must not be.
  if (Qt::mightBeRichText(tip)) {
    tip = QStringLiteral("<p style=\"white-space:pre\">") +
          tip.toHtmlEscaped().replace(u'\n', QStringLiteral("<br>")) + QStringLiteral("</p>");
  }
  if (tip.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(help->globalPos(), tip, viewport(), visualRect(index));
  }
  return true;
}

void TXFileListBox::keyPressEvent(QKeyEvent* event) {
  const bool control = event->modifiers() & Qt::ControlModifier;
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      Guarded([this] { OpenFocusedItem(); });
      event->accept();
      return;
    case Qt::Key_PageUp:
      if (!control) break;
      Guarded([this] { EnterParentFolder(); });
      event->accept();
      return;
    case Qt::Key_PageDown:
      if (!control) break;
      Guarded([this] { OpenFocusedItem(); });
      event->accept();
      return;
    default:
      break;
  }
  ++m_inputDepth;
  QListView::keyPressEvent(event);
  --m_inputDepth;
  SelectionTouched();
}

void TXFileListBox::mousePressEvent(QMouseEvent* event) {
  ++m_inputDepth;
  QListView::mousePressEvent(event);
  --m_inputDepth;
  SelectionTouched();
}

void TXFileListBox::mouseMoveEvent(QMouseEvent* event) {
  ++m_inputDepth;
  QListView::mouseMoveEvent(event);
  --m_inputDepth;
  SelectionTouched();
}

void TXFileListBox::mouseReleaseEvent(QMouseEvent* event) {
  ++m_inputDepth;
  QListView::mouseReleaseEvent(event);
  --m_inputDepth;
  SelectionTouched();
}

void TXFileListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid()) {
    // The first click has focused the row.
    Guarded([this] { OpenFocusedItem(); });
    event->accept();
    return;
  }
  ++m_inputDepth;
  QListView::mouseDoubleClickEvent(event);
  --m_inputDepth;
  SelectionTouched();
}

void TXFileListBox::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QListView::currentChanged(current, previous);
  if (m_coreChanging) return;
  m_selectionTouched = true;
  // A change from outside an input event (a program's call, the focus arriving) is reported
  // once the caller is done.
  if (m_inputDepth == 0 && !m_touchQueued) {
    m_touchQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          m_touchQueued = false;
          SelectionTouched();
        },
        Qt::QueuedConnection);
  }
}

void TXFileListBox::selectionChanged(const QItemSelection& selected,
                                     const QItemSelection& deselected) {
  QListView::selectionChanged(selected, deselected);
  auto apply = [this](const QItemSelection& ranges, uint8_t marked) {
    for (const QItemSelectionRange& range : ranges) {
      const int bottom = std::min(range.bottom(), static_cast<int>(m_marks.size()) - 1);
      for (int row = std::max(range.top(), 0); row <= bottom; ++row) {
        if (m_marks[row] != marked) {
          m_marks[row] = marked;
          m_markCount += marked ? 1 : -1;
        }
      }
    }
  };
  apply(deselected, 0);
  apply(selected, 1);
  if (m_coreChanging) return;
  m_selectionTouched = true;
}

void TXFileListBox::SelectionTouched() {
  if (m_inputDepth > 0 || !m_selectionTouched) return;
  m_selectionTouched = false;
  // The list's click: it notifies only when the focus moved.
  Guarded([this] { SelectionClicked(); });
}

}  // namespace relabo
