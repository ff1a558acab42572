#include "engine/progress_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cstdint>

#include "fileutil/error.h"

namespace relabo {

namespace {

constexpr int kClientWidth = 348;
constexpr int kClientHeight = 81;
// Labels 13 pixels high hold an 11-pixel font without cutting descenders.
constexpr int kFontPixels = 11;
// About one frame of a 60 Hz screen: setting and painting the labels and the gauge after
// every file would cost far more than the rename itself.
constexpr qint64 kRefreshMs = 16;
const QColor kNavy(0, 0, 128);

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& geometry, const char* text) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setObjectName(QString::fromLatin1(name));
  // File names are shown as they are, never as markup.
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  label->setGeometry(geometry);
  return label;
}

// Names are bytes; invalid UTF-8 shows as replacement characters, for display only.
QString Display(const std::string& text) {
  return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

}  // namespace

int ProgressPercent(int position, int total) {
  if (total <= 1) return 0;
  const int64_t held = std::clamp(position, 1, total);
  return static_cast<int>(100 * (held - 1) / (int64_t{total} - 1));
}

TProgressGauge::TProgressGauge(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TProgressGauge::SetPercent(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (percent == m_percent) return;
  m_percent = percent;
  update();
}

void TProgressGauge::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect all = rect();
  const QRect bar(all.left(), all.top(), all.width() * m_percent / 100, all.height());
  const QRect rest(bar.right() + 1, all.top(), all.width() - bar.width(), all.height());
  painter.fillRect(bar, kNavy);
  painter.fillRect(rest, Qt::white);

  QFont bold = font();
  bold.setBold(true);
  painter.setFont(bold);
  const QString text = QString::number(m_percent) + QLatin1Char('%');
  // The text takes the colour of whichever part lies under it.
  painter.setClipRect(bar);
  painter.setPen(Qt::white);
  painter.drawText(all, Qt::AlignCenter, text);
  painter.setClipRect(rest);
  painter.setPen(kNavy);
  painter.drawText(all, Qt::AlignCenter, text);
}

TProgressForm::TProgressForm(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint |
                         Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_owner(owner) {
  setObjectName(QStringLiteral("ProgressForm"));
  setWindowTitle(QStringLiteral("Progress"));
  QFont small = font();
  small.setPixelSize(kFontPixels);
  setFont(small);
  setFixedSize(kClientWidth, kClientHeight);

  m_fromLabel = MakeLabel(this, "FromLabel", QRect(8, 8, 57, 13), "From:");
  m_toLabel = MakeLabel(this, "ToLabel", QRect(8, 24, 57, 13), "To:");
  m_oldNameLabel = MakeLabel(this, "OldNameLabel", QRect(72, 8, 265, 13), "");
  m_newNameLabel = MakeLabel(this, "NewNameLabel", QRect(72, 24, 265, 13), "");
  m_progressPanel = new QFrame(this);
  m_progressPanel->setObjectName(QStringLiteral("ProgressPanel"));
  m_progressPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  m_progressPanel->setLineWidth(1);
  m_progressPanel->setGeometry(8, 48, 329, 23);
  m_progress = new TProgressGauge(m_progressPanel);
  m_progress->setObjectName(QStringLiteral("Progress"));
  m_progress->setGeometry(m_progressPanel->contentsRect());

  if (owner) {
    // Integer division rounds towards zero, also when the owner is the smaller window.
    const QRect o = owner->frameGeometry();
    move(o.x() + (o.width() - width()) / 2, o.y() + (o.height() - height()) / 2);
  }
  // Application-wide: the quit request (to let the window close then) and the owner's
  // minimising and restoring.
  if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

TProgressForm::~TProgressForm() {
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

void TProgressForm::Start(int total, const std::string& title) {
  if (total < 1) throw Error(Format("Value must be between %d and %d", 2, 2147483647));
  m_total = total;
  m_position = std::clamp(m_position, 1, m_total);
  m_caption = Display(title);
  m_titlePercent = -2;  // whatever the title shows now, set it again
  UpdateTitle();
  show();
}

void TProgressForm::StartWithLabel(int total, const std::string& title, const std::string& label) {
  Start(total, title);
  m_fromLabel->setText(Display(label));
  m_toLabel->hide();
  m_newNameLabel->hide();
}

void TProgressForm::Step(int position, const std::string& oldName, const std::string& newName) {
  m_position = std::clamp(position, 1, m_total);
  m_oldName = oldName;
  m_newName = newName;
  if (m_minimized) UpdateTitle();
  QCoreApplication::processEvents();
  if (m_position == m_total || !m_sinceShown.isValid() || m_sinceShown.elapsed() >= kRefreshMs) {
    m_oldNameLabel->setText(Display(m_oldName));
    m_newNameLabel->setText(Display(m_newName));
    m_progress->SetPercent(Percent());
    repaint();
    m_sinceShown.start();
  }
}

void TProgressForm::Beep() { QApplication::beep(); }

void TProgressForm::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowStateChange) {
    const bool minimized = windowState() & Qt::WindowMinimized;
    if (minimized != m_minimized) SetMinimized(minimized);
  }
  QWidget::changeEvent(event);
}

void TProgressForm::showEvent(QShowEvent* event) {
  if (m_minimized && !(windowState() & Qt::WindowMinimized)) SetMinimized(false);
  QWidget::showEvent(event);
}

void TProgressForm::closeEvent(QCloseEvent* event) {
  if (m_quitting || QCoreApplication::closingDown()) {
    event->accept();
  } else {
    event->ignore();
  }
}

bool TProgressForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
    m_quitting = true;
  } else if (event->type() == QEvent::WindowStateChange && watched == m_owner && isVisible()) {
    // The two windows go to the taskbar and come back together.
    const bool ownerMinimized = m_owner->windowState() & Qt::WindowMinimized;
    if (ownerMinimized != m_minimized) {
      setWindowState(ownerMinimized ? windowState() | Qt::WindowMinimized
                                    : windowState() & ~Qt::WindowMinimized);
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TProgressForm::SetMinimized(bool minimized) {
  m_minimized = minimized;
  UpdateTitle();
  if (!m_owner) return;
  const Qt::WindowStates ownerState = m_owner->windowState();
  if (bool(ownerState & Qt::WindowMinimized) != minimized) {
    m_owner->setWindowState(minimized ? ownerState | Qt::WindowMinimized
                                      : ownerState & ~Qt::WindowMinimized);
  }
}

void TProgressForm::UpdateTitle() {
  // The window title is all a Linux taskbar shows of a minimised window.
  const int percent = m_minimized ? Percent() : -1;
  if (percent == m_titlePercent) return;
  m_titlePercent = percent;
  setWindowTitle(percent < 0 ? m_caption
                             : QString::number(percent) + QStringLiteral(" % - ") + m_caption);
}

}  // namespace relabo
