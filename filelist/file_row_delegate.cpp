// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/file_row_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <algorithm>
#include <cmath>

#include "filelist/file_list_box.h"
#include "filelist/file_list_model.h"

namespace relabo {

namespace {

QString Decoded(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  // The relative luminance of sRGB colours, as the web's accessibility guidelines define it.
  auto luminance = [](const QColor& c) {
    auto linear = [](double v) {
      return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
  };
  const double la = luminance(a);
  const double lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ErrorTextColor(const QPalette& palette, QPalette::ColorGroup group) {
  // The dark red has a contrast of 7:1 on white, the light one 8:1 on black; the one that
  // stands out more from the base is taken.
  const QColor dark(0xb0, 0x00, 0x00);
  const QColor light(0xff, 0x7b, 0x7b);
  const QColor base = palette.color(group, QPalette::Base);
  return ContrastRatio(dark, base) >= ContrastRatio(light, base) ? dark : light;
}

QColor PreviewTextColor(const QPalette& palette, QPalette::ColorGroup group, PreviewCell::Look look,
                        bool marked) {
  // A marked row keeps its highlight only where the new name is plain: an unchanged or a
  // failing one is drawn on the base colour, so that it stands out in a marked block.
  if (marked && look == PreviewCell::Look::Plain) {
    return palette.color(group, QPalette::HighlightedText);
  }
  switch (look) {
    case PreviewCell::Look::Plain:
      break;
    case PreviewCell::Look::Unchanged:
      return palette.color(QPalette::Disabled, QPalette::Text);
    case PreviewCell::Look::Failed:
    case PreviewCell::Look::Message:
      return ErrorTextColor(palette, group);
  }
  return palette.color(group, QPalette::Text);
}

FileRowDelegate::FileRowDelegate(TXFileListBox& list) : QStyledItemDelegate(&list), m_list(list) {}

QSize FileRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  const RowLayout row = LayoutRow(m_list.Columns(), 0, m_list.ItemHeight());
  int right = row.name.Right();
  for (const ColumnSpan* span : {&row.preview, &row.size, &row.date, &row.time, &row.attribute}) {
    if (span->shown) right = span->Right();
  }
  return {right + 2, m_list.ItemHeight()};
}

void FileRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
  const TEntryInfo* entry = FileListModel::Entry(index);
  if (!entry) return;
  const int row = index.row();
  const QRect& rect = option.rect;
  const bool marked = option.state & QStyle::State_Selected;
  const QPalette::ColorGroup group = !(option.state & QStyle::State_Enabled) ? QPalette::Disabled
                                     : (option.state & QStyle::State_Active) ? QPalette::Active
                                                                             : QPalette::Inactive;
  const QBrush& background =
      option.palette.brush(group, marked ? QPalette::Highlight : QPalette::Base);
  painter->fillRect(rect, background);

  const int height = m_list.ItemHeight();
  const RowLayout layout = LayoutRow(m_list.Columns(), rect.left(), height);
  if (layout.glyph.shown) {
    const QPixmap glyph = m_list.ItemGlyph(row);
    if (!glyph.isNull())
      painter->drawPixmap(QRect(layout.glyph.left, rect.top(), height, height), glyph);
  }

  painter->setFont(option.font);
  painter->setPen(option.palette.color(group, marked ? QPalette::HighlightedText : QPalette::Text));
  // Texts are shortened with "..." rather than cut: a size or a time cut at the column's edge
  // would read as another number. Only names need it; the other columns are as wide as their
  // widest text.
  auto draw = [&](const ColumnSpan& span, TFileItem column, Qt::Alignment align) {
    if (!span.shown) return;
    // drawText also clips to the column, for a column narrower than "...".
    painter->drawText(QRect(span.left, rect.top(), span.width, rect.height()),
                      static_cast<int>(align | Qt::AlignTop | Qt::TextSingleLine),
                      Decoded(m_list.DrawnText(row, column)));
  };
  draw(layout.name, fiFileName, Qt::AlignLeft);
  if (layout.preview.shown) {
    // The provider is asked once per painted row.
    const PreviewCell cell = m_list.PreviewCellAt(row);
    if (!cell.text.empty()) {
      painter->save();
      if (marked && cell.look != PreviewCell::Look::Plain) {
        painter->fillRect(
            QRect(layout.preview.left - 2, rect.top(), layout.preview.width + 4, rect.height()),
            option.palette.brush(group, QPalette::Base));
      }
      painter->setFont(m_list.PreviewFont(cell.look));
      painter->setPen(PreviewTextColor(option.palette, group, cell.look, marked));
      painter->drawText(QRect(layout.preview.left, rect.top(), layout.preview.width, rect.height()),
                        Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                        Decoded(m_list.DrawnPreviewText(cell)));
      painter->restore();
    }
  }
  draw(layout.size, fiSize, Qt::AlignRight);
  draw(layout.date, fiDate, Qt::AlignLeft);
  draw(layout.time, fiTime, Qt::AlignLeft);
  draw(layout.attribute, fiAttribute, Qt::AlignLeft);

  if (option.state & QStyle::State_HasFocus) {
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(option);
    focus.rect = rect;
    focus.state |= QStyle::State_KeyboardFocusChange;
    focus.backgroundColor = background.color();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
  }
}

}  // namespace relabo
