#include "ui/about_box.h"

#include <QDesktopServices>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "ui/actions.h"

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
  setFixedSize(279, 164);

  m_appImage = new QLabel(this);
  m_appImage->setObjectName(QStringLiteral("AppImage"));
  m_appImage->setGeometry(16, 8, 32, 32);
  m_appImage->setPixmap(ProgramIcon().pixmap(QSize(32, 32), devicePixelRatio()));

  m_applicationTitle = new QLabel(this);
  m_applicationTitle->setObjectName(QStringLiteral("ApplicationTitle"));
  m_applicationTitle->setGeometry(47, 16, 185, 16);
  m_applicationTitle->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  QFont bold = m_applicationTitle->font();
  bold.setBold(true);
  m_applicationTitle->setFont(bold);
  m_applicationTitle->setText(QStringLiteral("Relabo 2.2"));

  m_secondLine = new QLabel(QStringLiteral("Renames and copies many files at once."), this);
  m_secondLine->setObjectName(QStringLiteral("SecondLine"));
  m_secondLine->setGeometry(16, 48, 249, 16);
  m_secondLine->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

  m_aboutInfo = new QLabel(this);
  m_aboutInfo->setObjectName(QStringLiteral("AboutInfo"));
  m_aboutInfo->setGeometry(16, 72, 247, 39);
  m_aboutInfo->setWordWrap(true);
  m_aboutInfo->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  m_aboutInfo->setCursor(Qt::PointingHandCursor);
  m_aboutInfo->setText(
      QStringLiteral("Comments, ideas and bug reports are welcome. Click here to write to %1.")
          .arg(QLatin1String(kContactAddress)));
  m_aboutInfo->installEventFilter(this);

  m_okBtn = new QPushButton(QStringLiteral("OK"), this);
  m_okBtn->setObjectName(QStringLiteral("OkBtn"));
  m_okBtn->setGeometry(102, 128, 75, 25);
  m_okBtn->setDefault(true);
  connect(m_okBtn, &QPushButton::clicked, this, &QDialog::accept);

  // The box sees every key before its controls.
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
  installEventFilter(this);

  if (owner) {
    const QRect area = owner->geometry();
    move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
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
