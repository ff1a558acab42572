// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/about_box.h"

#include <QDesktopServices>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "engine/layout_scale.h"
#include "ui/actions.h"
#include "ui/selection_form.h"

namespace relabo {

namespace {
bool (*g_openLink)(const QUrl&) = &QDesktopServices::openUrl;
}  // namespace

void TAboutForm::SetLinkOpener(bool (*opener)(const QUrl&)) {
  g_openLink = opener ? opener : &QDesktopServices::openUrl;
}

QUrl TAboutForm::MailLink() {
  return QUrl(QStringLiteral("mailto:") + QLatin1String(kContactAddress));
}

TAboutForm::TAboutForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("AboutForm"));
  setWindowTitle(QStringLiteral("About") + QStringLiteral(" Relabo"));
  const LayoutScale scale = LayoutScale::ForFont(font());

  m_appImage = new QLabel(this);
  m_appImage->setObjectName(QStringLiteral("AppImage"));
  m_appImage->setGeometry(scale.Rect(16, 8, 32, 32));
  m_appImage->setAlignment(Qt::AlignCenter);
  const int side = std::min(m_appImage->width(), m_appImage->height());
  m_appImage->setPixmap(ProgramIcon().pixmap(QSize(side, side), devicePixelRatio()));

  m_applicationTitle = new QLabel(this);
  m_applicationTitle->setObjectName(QStringLiteral("ApplicationTitle"));
  m_applicationTitle->setGeometry(scale.Rect(47, 16, 185, 16));
  m_applicationTitle->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  QFont bold = m_applicationTitle->font();
  bold.setBold(true);
  m_applicationTitle->setFont(bold);
  m_applicationTitle->setText(QStringLiteral("Relabo 2.2"));

  m_secondLine = new QLabel(QStringLiteral("Renames and copies many files at once."), this);
  m_secondLine->setObjectName(QStringLiteral("SecondLine"));
  m_secondLine->setGeometry(scale.Rect(16, 48, 249, 16));
  m_secondLine->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

  m_aboutInfo = new QLabel(this);
  m_aboutInfo->setObjectName(QStringLiteral("AboutInfo"));
  m_aboutInfo->setWordWrap(true);
  m_aboutInfo->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  m_aboutInfo->setCursor(Qt::PointingHandCursor);
  m_aboutInfo->setText(
      QStringLiteral("Comments, ideas and bug reports are welcome. Click here to write to %1.")
          .arg(QLatin1String(kContactAddress)));
  m_aboutInfo->installEventFilter(this);
  // The note takes as many lines as its font needs; the button and the box make room for them.
  QRect note = scale.Rect(16, 72, 247, 39);
  const int grown = std::max(0, m_aboutInfo->heightForWidth(note.width()) - note.height());
  note.setHeight(note.height() + grown);
  m_aboutInfo->setGeometry(note);

  m_okBtn = new QPushButton(QStringLiteral("OK"), this);
  m_okBtn->setObjectName(QStringLiteral("OkBtn"));
  m_okBtn->setGeometry(scale.Rect(102, 128, 75, 25).translated(0, grown));
  m_okBtn->setDefault(true);
  connect(m_okBtn, &QPushButton::clicked, this, &QDialog::accept);

  setFixedSize(scale.Size(279, 164) + QSize(0, grown));

  // The box sees every key before its controls.
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
  installEventFilter(this);

  if (owner) {
    // Centred frame over frame; the box's frame is not known before it is shown and is taken
    // to be the owner's.
    const QWidget* window = owner->window();
    const QSize frame = window->frameGeometry().size() - window->geometry().size();
    move(CenteredOver(window->frameGeometry(), size() + frame));
  }
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
      accept();
      return true;
    }
  }
  if (watched == m_aboutInfo && event->type() == QEvent::MouseButtonPress) {
    // A desktop without a mail program is no error here.
    g_openLink(MailLink());
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void ShowAboutBox(QWidget* owner) {
  TAboutForm box(owner);
  box.exec();
}

}  // namespace relabo
