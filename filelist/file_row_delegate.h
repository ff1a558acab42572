// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QPalette>
#include <QStyledItemDelegate>

#include "filelist/presentation.h"

namespace relabo {

class TXFileListBox;

/// The contrast of two colours, from 1 (the same luminance) to 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);

/// A red readable on the palette's base colour, which the palette has no role for: dark on a
/// light base, light on a dark one.
QColor ErrorTextColor(const QPalette& palette, QPalette::ColorGroup group);

/// The pen of a new-name cell: Plain in the text colour, Unchanged in the disabled text colour,
/// Failed in ErrorTextColor. On a marked row a Plain cell keeps the highlight and its text
/// colour; an Unchanged or Failed one is drawn on the base colour in its own, so it stands out
/// among the marked rows. The font tells the looks apart too (TXFileListBox::PreviewFont).
QColor PreviewTextColor(const QPalette& palette, QPalette::ColorGroup group, PreviewCell::Look look,
                        bool marked);

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

 private:
  TXFileListBox& m_list;
};

}  // namespace relabo
