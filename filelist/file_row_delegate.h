#pragma once

#include <QStyledItemDelegate>

namespace relabo {

class TXFileListBox;

/// Paints one row of a TXFileListBox: the glyph and the shown columns, each clipped to its
/// column, over the row's background (the highlight for a marked row), with the focus
/// rectangle on the focused row.
class FileRowDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit FileRowDelegate(TXFileListBox& list);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  /// As wide as the shown columns, as high as the list's rows.
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  /// The row height or the columns changed: the view lays its rows out again.
  void RowSizeChanged() { Q_EMIT sizeHintChanged(QModelIndex()); }

 private:
  TXFileListBox& m_list;
};

}  // namespace relabo
