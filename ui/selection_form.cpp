// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/selection_form.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include "engine/layout_scale.h"
#include "ui/history.h"
#include "ui/single_line.h"

namespace relabo {

namespace {

bool IsEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

}  // namespace

TSelectionForm::TSelectionForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_fileTypeLabel(new QLabel(this)),
      m_filterBox(new QComboBox(this)),
      m_okBtn(new QPushButton(QStringLiteral("OK"), this)),
      m_cancelBtn(new QPushButton(QStringLiteral("Cancel"), this)) {
  setObjectName(QStringLiteral("SelectionForm"));
  setWindowTitle(QStringLiteral("Selection"));
  const LayoutScale scale = LayoutScale::ForFont(font());
  setFixedSize(scale.Size(315, 85));

  m_fileTypeLabel->setObjectName(QStringLiteral("FileTypeLabel"));
  m_fileTypeLabel->move(scale.Point(8, 8));

  m_filterBox->setObjectName(QStringLiteral("FilterBox"));
  m_filterBox->setEditable(true);
  // The history is updated by ShowSelectionDialog only; the box must not add entries itself.
  m_filterBox->setInsertPolicy(QComboBox::NoInsert);
  // No inline completion: it would turn "*.txt" into a longer history entry that Enter then
  // applies. The text accepted is exactly what was typed or picked.
  m_filterBox->setCompleter(nullptr);
  MakeSingleLine(m_filterBox->lineEdit());
  const QRect box = scale.Rect(8, 24, 297, 0);
  m_filterBox->setGeometry(box.x(), box.y(), box.width(), m_filterBox->sizeHint().height());

  m_okBtn->setObjectName(QStringLiteral("OkBtn"));
  m_okBtn->setGeometry(scale.Rect(80, 56, 75, 25));
  m_okBtn->setDefault(true);
  connect(m_okBtn, &QPushButton::clicked, this, &QDialog::accept);

  m_cancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  m_cancelBtn->setGeometry(scale.Rect(168, 56, 75, 25));
  connect(m_cancelBtn, &QPushButton::clicked, this, &QDialog::reject);

  // Enter and Esc are decided here before any control sees them, the open list included.
  for (QObject* control :
       {static_cast<QObject*>(m_filterBox), static_cast<QObject*>(m_filterBox->lineEdit()),
        static_cast<QObject*>(m_filterBox->view()), static_cast<QObject*>(m_okBtn),
        static_cast<QObject*>(m_cancelBtn)}) {
    control->installEventFilter(this);
  }
  m_filterBox->setFocus();
  // Should the window manager minimise the dialog anyway (with the main window, which it
  // blocks), it comes back with the main window.
  if (owner) owner->window()->installEventFilter(this);
}

void TSelectionForm::SetPrompt(const QString& prompt) {
  m_fileTypeLabel->setText(prompt);
  m_fileTypeLabel->adjustSize();
}

void TSelectionForm::SetHistory(const std::vector<std::string>& history) {
  m_filterBox->clear();
  for (const std::string& entry : history) m_filterBox->addItem(QString::fromStdString(entry));
  m_filterBox->setEditText(history.empty() ? QString() : QString::fromStdString(history.front()));
}

QString TSelectionForm::Text() const { return m_filterBox->currentText(); }

bool TSelectionForm::eventFilter(QObject* watched, QEvent* event) {
  if (parentWidget() && watched == parentWidget()->window()) {
    // The owner's keys are its own; only its coming back from the taskbar matters here.
    const auto* owner = static_cast<const QWidget*>(watched);
    if (event->type() == QEvent::WindowStateChange &&
        !(owner->windowState() & Qt::WindowMinimized) && (windowState() & Qt::WindowMinimized)) {
      setWindowState(windowState() & ~Qt::WindowMinimized);
    }
    return QDialog::eventFilter(watched, event);
  }
  if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
  const int key = static_cast<QKeyEvent*>(event)->key();
  if (key == Qt::Key_Escape) {
    m_filterBox->hidePopup();
    reject();
    return true;
  }
  if (!IsEnter(key)) return QDialog::eventFilter(watched, event);
  if (auto* button = qobject_cast<QPushButton*>(watched)) {
    button->click();
    return true;
  }
  if (watched == m_filterBox->view()) {
    // Enter in the open list takes the highlighted entry, as a click would.
    const QModelIndex current = m_filterBox->view()->currentIndex();
    if (current.isValid()) m_filterBox->setCurrentIndex(current.row());
    m_filterBox->hidePopup();
  }
  accept();
  return true;
}

QPoint CenteredOver(const QRect& owner, const QSize& window) {
  // Integer division truncates toward zero, also when the window is the larger one.
  return QPoint(owner.left() + (owner.width() - window.width()) / 2,
                owner.top() + (owner.height() - window.height()) / 2);
}

bool ShowSelectionDialog(QWidget* owner, const QString& caption, const QString& prompt,
                         std::vector<std::string>& history, std::string& text) {
  text.clear();
  // A guarded pointer: the owner going away during exec() takes the dialog with it.
  QPointer<TSelectionForm> form = new TSelectionForm(owner);
  form->setWindowTitle(caption);
  form->SetPrompt(prompt);
  form->SetHistory(history);
  if (owner) {
    // The dialog's frame is not known before it is shown; it is taken to be the owner's.
    const QSize frame = owner->frameGeometry().size() - owner->geometry().size();
    form->move(CenteredOver(owner->frameGeometry(), form->size() + frame));
  }
  const bool accepted = form->exec() == QDialog::Accepted;
  if (!form) return false;
  const std::string typed = form->Text().toStdString();
  delete form;
  if (!accepted) return false;
  text = UpdateHistory(history, typed);
  return true;
}

}  // namespace relabo
