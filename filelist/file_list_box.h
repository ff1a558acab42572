// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "filelist/file_sort.h"
#include "filelist/folder_list.h"
#include "filelist/presentation.h"

class QMimeDatabase;
class QTimer;

namespace relabo {

class FileListModel;
class FileRowDelegate;
class GlyphSet;

/// The set of shown columns; the name column is always in it.
class TShowItems {
 public:
  constexpr TShowItems() = default;
  constexpr TShowItems(std::initializer_list<TFileItem> items) {
    for (TFileItem i : items) m_bits |= 1u << i;
  }
  constexpr bool Contains(TFileItem i) const { return i == fiFileName || ((m_bits >> i) & 1u); }
  constexpr TShowItems& Include(TFileItem i) { return m_bits |= 1u << i, *this; }
  constexpr TShowItems& Exclude(TFileItem i) { return m_bits &= ~(1u << i), *this; }
  constexpr bool operator==(const TShowItems& o) const { return (m_bits | 1u) == (o.m_bits | 1u); }

 private:
  uint32_t m_bits = 1u;
};

constexpr TShowItems kAllItems = {fiFileName, fiSize, fiDate, fiTime, fiAttribute};

/// The list of one folder's entries: a view over a FileListModel of the FolderList it is,
/// painted in columns by a FileRowDelegate. The list's marks are the view's selection and its
/// focus the view's current item; the folder logic lives in FolderList, this class turns keys,
/// clicks and the core's requests into Qt calls.
///
/// Enter and Ctrl+Page Down open the focused entry, Ctrl+Page Up goes up, a double click on a
/// row opens the focused entry; other keys go to QListView (and from there to the parent).
///
/// The list draws in its own font (the application's unless set). The width properties are
/// what the owner asks for; the size, date, time and attribute columns are drawn at least as
/// wide as their widest text in that font, so only names are ever shortened, and a shortened
/// name shows in full as the row's tooltip.
///
/// An optional column right of the name shows each entry's new name, as a provider of the
/// owner gives it, asked only for the rows that are painted.
class TXFileListBox : public QListView, public FolderListView, public FolderList {
  Q_OBJECT

 public:
  explicit TXFileListBox(QWidget* parent = nullptr);
  ~TXFileListBox() override;

  // Selection and scrolling.

  /// Extended selection (Shift and Ctrl extend the marks) when true; one marked entry when
  /// false (the default). Changing it clears the marks.
  void SetMultiSelect(bool multiSelect);
  /// The first visible row (0 when the list is empty).
  int TopIndex() const;
  /// Scrolls so that index is the first visible row (as far as the list reaches).
  void SetTopIndex(int index);
  /// Row height in pixels.
  int ItemHeight() const { return m_itemHeight; }
  void SetItemHeight(int height);
  /// Row height from the font: its height, at least 17 with glyphs.
  void UpdateItemHeight();

  // Presentation.

  /// The stored properties; Columns() has the widths as drawn.
  bool ShowGlyphs() const { return m_columns.showGlyphs; }
  void SetShowGlyphs(bool show);
  TShowItems ShowItems() const { return m_showItems; }
  void SetShowItems(TShowItems items);
  int WidthFileName() const { return m_columns.widthFileName; }
  void SetWidthFileName(int width);
  /// The new-name column (hidden by default).
  bool ShowPreview() const { return m_columns.showPreview; }
  void SetShowPreview(bool show);
  int WidthPreview() const { return m_columns.widthPreview; }
  void SetWidthPreview(int width);
  int WidthSize() const { return m_columns.widthSize; }
  void SetWidthSize(int width);
  int WidthDate() const { return m_columns.widthDate; }
  void SetWidthDate(int width);
  int WidthTime() const { return m_columns.widthTime; }
  void SetWidthTime(int width);
  int WidthAttribute() const { return m_columns.widthAttribute; }
  void SetWidthAttribute(int width);
  /// The list sets its own width from the shown columns (FitWidth).
  bool AutoWidth() const { return m_autoWidth; }
  void SetAutoWidth(bool autoWidth);
  /// With AutoWidth, fixes the width to show every shown column, at its drawn width, beside the
  /// scroll bar.
  virtual void FitWidth();
  /// Date-time patterns of the date and time columns (see FormatDateTime).
  const std::string& DateFormat() const { return m_dateFormat; }
  void SetDateFormat(const std::string& format);
  const std::string& TimeFormat() const { return m_timeFormat; }
  void SetTimeFormat(const std::string& format);
  /// The size column's text for folder and parent entries.
  const std::string& DirName() const { return m_dirName; }
  void SetDirName(const std::string& name);

  /// A column width given for an 8-point interface font with 6-pixel digits, scaled to the
  /// digits of the list's font; for callers whose widths were made for that font.
  int FontScaledWidth(int width) const;

  /// The columns as the painter lays them out: the widths in use, not as asked.
  const ColumnSettings& Columns() const { return m_drawnColumns; }
  /// Where a shown column is drawn, in the list's own coordinates: from its left edge (the name
  /// column starts after the glyph) as wide as drawn, over the height of the rows' area. Null
  /// when the column is not shown.
  QRect ColumnRect(TFileItem column) const;
  /// The same for the new-name column.
  QRect PreviewColumnRect() const;
  /// The texts of one entry's columns, unshortened.
  std::string ColumnText(int index, TFileItem column) const;
  /// The text a row draws in a column: ColumnText shortened with "..." to the column's drawn
  /// width in the list's font.
  std::string DrawnText(int index, TFileItem column) const;
  /// The row's tooltip, one line each: the whole name when the name column draws it
  /// shortened; while the new-name column is shown, the whole new name after "→ " when that
  /// column draws it shortened, and the reason of a Failed cell. Empty when there is none.
  QString NameToolTip(int index) const;
  /// The cells of the new-name column come from provider, asked for one entry at a time while
  /// a row is painted or its tooltip is shown; nullptr shows nothing.
  using PreviewProvider = std::function<PreviewCell(int index)>;
  void SetPreviewProvider(PreviewProvider provider);
  /// The cells changed: the visible rows are painted again (marks, focus and scrolling stay).
  void PreviewChanged();
  /// The provider's cell for an entry; empty while the column is hidden or without provider.
  PreviewCell PreviewCellAt(int index) const;
  /// The text the new-name column draws for a cell: shortened with "..." to the column's width
  /// in the font of the cell's look.
  std::string DrawnPreviewText(const PreviewCell& cell) const;
  /// The font a cell of the new-name column is drawn in: the list's, italic when Unchanged,
  /// struck out when Failed.
  QFont PreviewFont(PreviewCell::Look look) const;

  /// The glyph of an entry at the row height: a built-in glyph, or the desktop's icon for its
  /// type, fetched once per cache key; null when there is none.
  QPixmap ItemGlyph(int index);
  /// Number of distinct desktop icons fetched so far (never shrinks).
  int IconCacheCount() const { return static_cast<int>(m_iconCache.size()); }

  // Linked controls.

  using CaptionSetter = std::function<void(const std::string& caption)>;
  /// Links a label that shows the current folder: setCaption is called with Directory (joined
  /// with Mask when DirLabelMask) at every change. The link is dropped when label is
  /// destroyed; nullptr unlinks.
  void SetDirLabel(QObject* label, CaptionSetter setCaption);
  /// Links a QLabel (its text is set).
  void SetDirLabel(QLabel* label);
  QObject* DirLabel() const { return m_dirLabel.data(); }
  bool DirLabelMask() const { return m_dirLabelMask; }
  void SetDirLabelMask(bool withMask);
  /// Sets the linked label's caption now.
  void UpdateDirLabel();
  /// An edit box that shows the focused name (or Mask when none); never read. Dropped when it
  /// is destroyed.
  QLineEdit* FileEdit() const { return m_fileEdit.data(); }
  void SetFileEdit(QLineEdit* edit);

  /// Shows an error that escaped a command started by a key or a double click; by default in
  /// a critical message box.
  std::function<void(const std::exception& error)> OnError;
  /// The first read of a large folder goes on after the list was shown: called with true, the
  /// names read so far and the entries of those looked up while it does (some times a second),
  /// with false once its entries are shown or it failed.
  std::function<void(bool reading, size_t names, size_t lookedUp)> OnReading;
  /// How long the list's first appearance waits for its folder before it shows empty and
  /// goes on reading (milliseconds).
  void SetReadPatience(int milliseconds) { m_readPatience = milliseconds; }

  // FolderList.

  void NotifyChange() override;

  // FolderListView: what the folder list reads and sets through the view.

  int Focused() const override;
  void SetFocused(int index) override;
  bool IsMarked(int index) const override;
  /// Between BeginItemsUpdate and EndItemsUpdate marks are collected and applied at the end in
  /// one selection change.
  void SetMarked(int index, bool marked) override;
  int MarkedCount() const override;
  bool MultiSelect() const override { return m_multiSelect; }
  void BeginItemsUpdate() override;
  void EndItemsUpdate() override;
  void ItemsAboutToBeReplaced() override;
  void ItemsReplaced() override;
  void RedrawItem(int index) override;
  void BeginBusy() override;
  void EndBusy() override;
  void Beep() override;
  bool OpenWithShell(const std::string& path) override;

  FileListModel* Model() const { return m_model; }

 Q_SIGNALS:
  /// A column's left edge or width changed, or a column was shown or hidden (widths, font,
  /// formats, glyphs, row height, horizontal scrolling): the owner lays its header out again.
  void ColumnsChanged();

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

 private:
  struct IconEntry {
    QIcon icon;  // null when the desktop has none for the type
    // The icon at the last size asked for.
    QPixmap pixmap;
    int pixmapSize = 0;
    qreal pixmapRatio = 0;
  };

  // Runs a command of the core started by the user; errors go to OnError.
  void Guarded(const std::function<void()>& command);
  // Reports a read that goes on, and shows it once it has ended.
  void WatchRead();
  // The selection changed by the user's input: the core decides whether to notify.
  void SelectionTouched();
  void FlushPendingMarks() const;
  // The widest texts of the columns in the list's font, after a change of font or texts.
  void MeasureColumnTexts();
  // Recomputes the drawn columns and lays the rows out again; fit runs FitWidth.
  void RelayColumns(bool fit);
  // Emits ColumnsChanged when a column moved since the last time.
  void NotifyColumnsMoved();
  // The layout of a row as the delegate draws it, and a span of it over the rows' area.
  RowLayout LaidOutRow() const;
  QRect SpanRect(const ColumnSpan& span) const;
  void UpdateFileEdit(bool selectAll);
  void LoadLocaleNames();
  int FetchIcon(const std::string& key, int index);

  FileListModel* m_model;
  FileRowDelegate* m_delegate;
  std::unique_ptr<GlyphSet> m_glyphs;
  std::unique_ptr<QMimeDatabase> m_mimeDatabase;
  std::vector<IconEntry> m_iconCache;
  std::unordered_map<std::string, int> m_iconIndex;

  bool m_multiSelect = false;
  int m_itemHeight = 16;
  // As asked, and as drawn: widened to the widest texts m_textWidths.
  ColumnSettings m_columns;
  ColumnSettings m_drawnColumns;
  // The size of a row when the rows were last laid out.
  QSize m_laidOutRowSize;
  ColumnTextWidths m_textWidths;
  // The column rectangles last reported, by TFileItem, then the new-name column.
  std::array<QRect, 6> m_reportedColumns;
  TShowItems m_showItems = kAllItems;
  bool m_autoWidth = true;
  std::string m_dateFormat = "dd.MM.yy";
  std::string m_timeFormat = "hh:mm";
  std::string m_dirName = "<DIR>";
  DateTimeNames m_names;
  PreviewProvider m_previewProvider;

  int m_readPatience = 250;
  QTimer* m_readWatch = nullptr;

  QPointer<QObject> m_dirLabel;
  CaptionSetter m_setDirCaption;
  bool m_dirLabelMask = false;
  QPointer<QLineEdit> m_fileEdit;

  // The marks by index, kept from the selection's changes: the selection model answers
  // isSelected by walking all its ranges, which a loop over 100,000 entries cannot afford.
  std::vector<uint8_t> m_marks;
  int m_markCount = 0;

  int m_updateDepth = 0;
  // Marks set inside an items update, applied at its end (index, marked), in order.
  mutable std::vector<std::pair<int, bool>> m_pendingMarks;
  // Set while the core changes marks and focus or replaces the items: those changes are not
  // the user's.
  int m_coreChanging = 0;
  int m_inputDepth = 0;
  bool m_selectionTouched = false;
  bool m_touchQueued = false;
};

}  // namespace relabo
