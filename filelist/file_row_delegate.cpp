#include "filelist/file_row_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "filelist/file_list_box.h"
#include "filelist/file_list_model.h"

namespace relabo {

namespace {

QString Decoded(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

FileRowDelegate::FileRowDelegate(TXFileListBox& list) : QStyledItemDelegate(&list), m_list(list) {}

QSize FileRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  const RowLayout row = LayoutRow(m_list.Columns(), 0, m_list.ItemHeight());
  int right = row.name.Right();
  for (const ColumnSpan* span : {&row.size, &row.date, &row.time, &row.attribute}) {
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
