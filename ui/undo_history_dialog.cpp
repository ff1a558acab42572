// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/undo_history_dialog.h"

#include <QDateTime>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>

#include "engine/layout_scale.h"
#include "engine/undo.h"
#include "ui/selection_form.h"
#include "ui/single_line.h"

namespace relabo {

namespace {

enum Column { kTimeColumn, kFolderColumn, kCommandColumn, kOperationsColumn, kUndoneColumn };

// Folders are long and differ mostly at their ends; the middle is what can go.
class MiddleElideDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideMiddle;
  }
};

// Folders and titles are bytes: invalid UTF-8 shows as replacement characters, and a line break
// as a blank, so every row stays one line high.
QString Display(const std::string& text) {
  return BlankControlCharacters(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

// A tooltip shows rich text when it looks like markup; a folder named "<b>" must not.
QString PlainToolTip(const QString& text) {
  return QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped());
}

QString TimeText(std::int64_t timeNs) {
  // Rounded down, also before 1970: a batch begun at 12:00:00.9 began in second 12:00:00.
  std::int64_t ms = timeNs / 1'000'000;
  if (timeNs % 1'000'000 < 0) --ms;
  return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString OperationsText(const JournalBatch& batch) {
  QString text = QString::number(batch.operations.size());
  if (!batch.complete) text += QStringLiteral(" (interrupted)");
  return text;
}

QString UndoneText(const JournalBatch& batch) {
  if (batch.undone) return QStringLiteral("yes");
  if (!batch.undoes.empty()) return QStringLiteral("undo");
  return QString();
}

}  // namespace

TUndoHistoryDialog::TUndoHistoryDialog(const std::vector<JournalBatch>& batches, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      m_list(new QTreeWidget(this)),
      m_emptyLabel(new QLabel(QStringLiteral("No batches recorded yet."), m_list->viewport())),
      m_undoBtn(new QPushButton(QStringLiteral("Undo"), this)),
      m_closeBtn(new QPushButton(QStringLiteral("Close"), this)) {
  setObjectName(QStringLiteral("UndoHistoryDialog"));
  setWindowTitle(QStringLiteral("Undo History"));
  const LayoutScale scale = LayoutScale::ForFont(font());

  m_list->setObjectName(QStringLiteral("BatchList"));
  m_list->setRootIsDecorated(false);
  m_list->setItemsExpandable(false);
  m_list->setUniformRowHeights(true);
  m_list->setAllColumnsShowFocus(true);
  m_list->setSelectionMode(QAbstractItemView::SingleSelection);
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_list->setHeaderLabels({QStringLiteral("Time"), QStringLiteral("Folder"),
                           QStringLiteral("Command"), QStringLiteral("Operations"),
                           QStringLiteral("Undone")});
  m_list->setItemDelegateForColumn(kFolderColumn, new MiddleElideDelegate(m_list));
  QHeaderView* header = m_list->header();
  header->setSectionsMovable(false);
  // Folder and command share what the window gains or loses; the others keep their widths.
  header->setStretchLastSection(false);
  header->setSectionResizeMode(kFolderColumn, QHeaderView::Stretch);
  header->setSectionResizeMode(kCommandColumn, QHeaderView::Stretch);
  header->setMinimumSectionSize(scale.X(30));
  // The time column fits its text whatever the font's digits are like.
  const int timeWidth =
      QFontMetrics(m_list->font()).horizontalAdvance(QStringLiteral("0000-00-00 00:00:00"));
  m_list->setColumnWidth(kTimeColumn, std::max(scale.X(90), timeWidth + scale.X(8)));
  m_list->setColumnWidth(kOperationsColumn, scale.X(70));
  m_list->setColumnWidth(kUndoneColumn, scale.X(45));

  m_rows.reserve(batches.size());
  QList<QTreeWidgetItem*> items;
  for (auto batch = batches.rbegin(); batch != batches.rend(); ++batch) {
    const QString folder = Display(batch->folder);
    auto* item =
        new QTreeWidgetItem(QStringList{TimeText(batch->timeNs), folder, Display(batch->title),
                                        OperationsText(*batch), UndoneText(*batch)});
    item->setToolTip(kFolderColumn, PlainToolTip(folder));
    item->setToolTip(kCommandColumn, PlainToolTip(item->text(kCommandColumn)));
    items.append(item);
    m_rows.push_back({batch->id, Undoable(*batch)});
  }
  m_list->addTopLevelItems(items);

  m_emptyLabel->setObjectName(QStringLiteral("EmptyLabel"));
  m_emptyLabel->setTextFormat(Qt::PlainText);
  m_emptyLabel->setVisible(batches.empty());
  auto* emptyLayout = new QVBoxLayout(m_list->viewport());
  emptyLayout->addWidget(m_emptyLabel, 0, Qt::AlignCenter);

  m_undoBtn->setObjectName(QStringLiteral("UndoBtn"));
  m_undoBtn->setDefault(true);
  m_undoBtn->setMinimumSize(scale.Size(75, 25));
  connect(m_undoBtn, &QPushButton::clicked, this, [this] { Choose(SelectedUndoableRow()); });

  m_closeBtn->setObjectName(QStringLiteral("CloseBtn"));
  m_closeBtn->setMinimumSize(scale.Size(75, 25));
  connect(m_closeBtn, &QPushButton::clicked, this, &QDialog::reject);

  // Enter needs no handler of its own: the list passes it on and the dialog presses Undo, the
  // default button, when it is enabled. Only a double-click takes the row it is on; "activated"
  // would also fire on a single click where the style opens items that way.
  connect(m_list, &QTreeWidget::itemSelectionChanged, this, &TUndoHistoryDialog::UpdateUndoButton);
  connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    const int row = m_list->indexOfTopLevelItem(item);
    if (row >= 0 && m_rows[size_t(row)].undoable) Choose(row);
  });

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(scale.X(8));
  buttons->addStretch();
  buttons->addWidget(m_undoBtn);
  buttons->addWidget(m_closeBtn);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(scale.X(8), scale.Y(8), scale.X(8), scale.Y(8));
  layout->setSpacing(scale.Y(8));
  layout->addWidget(m_list);
  layout->addLayout(buttons);

  setSizeGripEnabled(true);
  setMinimumSize(scale.Size(300, 150));
  QSize size = scale.Size(500, 280);
  if (const QScreen* screen = (owner ? owner : this)->screen()) {
    // The frame is not known before the dialog is shown; it is taken to be the owner's.
    const QSize frame =
        owner ? owner->frameGeometry().size() - owner->geometry().size() : QSize(0, 0);
    size = size.boundedTo(screen->availableGeometry().size() - frame);
  }
  resize(size.expandedTo(minimumSize()));

  // The newest batch that can be taken back is where the user most likely wants to be.
  const auto newest =
      std::find_if(m_rows.begin(), m_rows.end(), [](const Row& row) { return row.undoable; });
  if (!m_rows.empty()) {
    const int row = newest == m_rows.end() ? 0 : int(newest - m_rows.begin());
    m_list->setCurrentItem(m_list->topLevelItem(row));
  }
  UpdateUndoButton();
  m_list->setFocus();
  // Should the window manager minimise the dialog anyway (with the main window, which it
  // blocks), it comes back with the main window.
  if (owner) owner->window()->installEventFilter(this);
}

void TUndoHistoryDialog::reject() {
  m_chosenId.clear();
  QDialog::reject();
}

bool TUndoHistoryDialog::eventFilter(QObject* watched, QEvent* event) {
  if (parentWidget() && watched == parentWidget()->window() &&
      event->type() == QEvent::WindowStateChange) {
    const auto* owner = static_cast<const QWidget*>(watched);
    if (!(owner->windowState() & Qt::WindowMinimized) && (windowState() & Qt::WindowMinimized))
      setWindowState(windowState() & ~Qt::WindowMinimized);
  }
  return QDialog::eventFilter(watched, event);
}

int TUndoHistoryDialog::SelectedUndoableRow() const {
  const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
  if (selected.size() != 1) return -1;
  const int row = m_list->indexOfTopLevelItem(selected.front());
  return row >= 0 && m_rows[size_t(row)].undoable ? row : -1;
}

void TUndoHistoryDialog::UpdateUndoButton() { m_undoBtn->setEnabled(SelectedUndoableRow() >= 0); }

void TUndoHistoryDialog::Choose(int row) {
  if (row < 0) return;
  m_chosenId = m_rows[size_t(row)].id;
  accept();
}

std::string ShowUndoHistory(QWidget* owner, const std::vector<JournalBatch>& batches) {
  // A guarded pointer: the owner going away during exec() takes the dialog with it.
  QPointer<TUndoHistoryDialog> dialog = new TUndoHistoryDialog(batches, owner);
  if (owner) {
    // The dialog's frame is not known before it is shown; it is taken to be the owner's.
    const QSize frame = owner->frameGeometry().size() - owner->geometry().size();
    dialog->move(CenteredOver(owner->frameGeometry(), dialog->size() + frame));
  }
  const bool accepted = dialog->exec() == QDialog::Accepted;
  if (!dialog) return std::string();
  std::string id = accepted ? dialog->ChosenId() : std::string();
  delete dialog;
  return id;
}

}  // namespace relabo
