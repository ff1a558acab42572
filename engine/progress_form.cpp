// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/progress_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QWindow>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "engine/layout_scale.h"
#include "fileutil/error.h"

namespace relabo {

namespace {

constexpr int kClientWidth = 348;
constexpr int kClientHeight = 81;
// About one frame of a 60 Hz screen: setting and painting the labels and the gauge after
// every file would cost far more than the rename itself.
constexpr qint64 kRefreshMs = 16;
// How often a batch of quick steps lets events through: often enough that the window and the
// desktop never wait on it, seldom enough that a step costs no more than the rename it shows.
constexpr qint64 kEventsMs = 4;
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

// A label shows a whole line of the font, descenders included, whatever its design height.
QRect LineRect(const LayoutScale& scale, const QFont& font, int x, int y, int width, int height) {
  QRect rect = scale.Rect(x, y, width, height);
  const int line = std::max(QFontMetrics(font).height(),
                            static_cast<int>(std::ceil(QFontMetricsF(font).height())));
  rect.setHeight(std::max(rect.height(), line));
  return rect;
}

bool IsMinimized(const QWidget* window) { return window->windowState() & Qt::WindowMinimized; }

void SetWindowMinimized(QWidget* window, bool minimized) {
  if (IsMinimized(window) == minimized) return;
  const Qt::WindowStates state = window->windowState();
  window->setWindowState(minimized ? state | Qt::WindowMinimized : state & ~Qt::WindowMinimized);
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

MinimizeFollow FollowMinimize(bool formMinimized, bool ownerMinimized,
                              const MinimizeChanges& changes) {
  if (formMinimized == ownerMinimized) return MinimizeFollow::Nothing;
  if (changes.formRestored || changes.ownerRestored) return MinimizeFollow::RestoreBoth;
  if (changes.formMinimized || changes.ownerMinimized) return MinimizeFollow::MinimizeBoth;
  // Nothing new, yet only one is minimised: the other did not follow. A minimised owner beside
  // a shown progress window hides nothing; the other way round leaves a window that takes no
  // input alone on the screen.
  return formMinimized ? MinimizeFollow::RestoreBoth : MinimizeFollow::Nothing;
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
    : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint |
                           Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      m_owner(owner) {
  setObjectName(QStringLiteral("ProgressForm"));
  setWindowTitle(QStringLiteral("Progress"));
  // Whether the application goes on is the main window's matter alone.
  setAttribute(Qt::WA_QuitOnClose, false);
  const QFont& used = font();
  const LayoutScale scale = LayoutScale::ForFont(used);
  setFixedSize(scale.Size(kClientWidth, kClientHeight));

  m_fromLabel = MakeLabel(this, "FromLabel", LineRect(scale, used, 8, 8, 57, 13), "From:");
  m_toLabel = MakeLabel(this, "ToLabel", LineRect(scale, used, 8, 24, 57, 13), "To:");
  m_oldNameLabel = MakeLabel(this, "OldNameLabel", LineRect(scale, used, 72, 8, 265, 13), "");
  m_newNameLabel = MakeLabel(this, "NewNameLabel", LineRect(scale, used, 72, 24, 265, 13), "");
  m_progressPanel = new QFrame(this);
  m_progressPanel->setObjectName(QStringLiteral("ProgressPanel"));
  m_progressPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  m_progressPanel->setLineWidth(1);
  m_progressPanel->setGeometry(scale.Rect(8, 48, 329, 23));
  m_progress = new TProgressGauge(m_progressPanel);
  m_progress->setObjectName(QStringLiteral("Progress"));
  m_progress->setGeometry(m_progressPanel->contentsRect());

  if (QWidget* o = OwnerWindow()) {
    // Our own frame is not known before the window is shown; it is taken to be the owner's.
    const QRect frame = o->frameGeometry();
    const QSize outer = size() + (frame.size() - o->geometry().size());
    // Integer division rounds towards zero, also when the owner is the smaller window.
    move(frame.x() + (frame.width() - outer.width()) / 2,
         frame.y() + (frame.height() - outer.height()) / 2);
  }
  create();
  SetTransientParent();
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
  // The owner may have got its native window only since the constructor.
  SetTransientParent();
  show();
  m_changes = {};
  m_formSeenMinimized = IsMinimized(this);
  m_ownerSeenMinimized = OwnerWindow() && IsMinimized(OwnerWindow());
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
  if (m_position == m_total || !m_sinceEvents.isValid() || m_sinceEvents.elapsed() >= kEventsMs) {
    QCoreApplication::processEvents();
    m_sinceEvents.start();
    // Notifications that arrived together meanwhile are settled as one.
    FollowOwner();
  }
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
  if (event->type() == QEvent::WindowStateChange) NoteState(false);
  QWidget::changeEvent(event);
}

void TProgressForm::showEvent(QShowEvent* event) {
  NoteState(false);
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
  } else if (event->type() == QEvent::WindowStateChange && watched == OwnerWindow()) {
    NoteState(true);
  }
  return QWidget::eventFilter(watched, event);
}

QWidget* TProgressForm::OwnerWindow() const { return m_owner ? m_owner->window() : nullptr; }

void TProgressForm::SetTransientParent() {
  // Kept above the owner and grouped with it by the window manager, as a child window would be.
  QWidget* owner = OwnerWindow();
  if (owner && owner->windowHandle() && windowHandle()) {
    windowHandle()->setTransientParent(owner->windowHandle());
  }
}

void TProgressForm::NoteState(bool ofOwner) {
  if (m_following) return;
  QWidget* window = ofOwner ? OwnerWindow() : this;
  const bool minimized = IsMinimized(window);
  bool& seen = ofOwner ? m_ownerSeenMinimized : m_formSeenMinimized;
  if (minimized == seen) return;
  seen = minimized;
  if (ofOwner) {
    (minimized ? m_changes.ownerMinimized : m_changes.ownerRestored) = true;
  } else {
    (minimized ? m_changes.formMinimized : m_changes.formRestored) = true;
    m_minimized = minimized;
    UpdateTitle();
  }
  if (!minimized) {
    FollowOwner();
  } else if (!m_followPosted) {
    // A restore of the other window may already be queued behind this notification; asking
    // the window manager to minimise first would take that window away again afterwards.
    m_followPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          m_followPosted = false;
          FollowOwner();
        },
        Qt::QueuedConnection);
  }
}

void TProgressForm::FollowOwner() {
  if (m_following) return;
  QWidget* owner = OwnerWindow();
  // Only a shown owner is followed: before Start there is nothing on the screen to match.
  if (owner && owner->isVisible() && isVisible()) {
    m_following = true;
    switch (FollowMinimize(IsMinimized(this), IsMinimized(owner), m_changes)) {
      case MinimizeFollow::Nothing:
        break;
      case MinimizeFollow::MinimizeBoth:
        SetWindowMinimized(this, true);
        SetWindowMinimized(owner, true);
        break;
      case MinimizeFollow::RestoreBoth:
        SetWindowMinimized(owner, false);
        SetWindowMinimized(this, false);
        break;
    }
    m_following = false;
  }
  m_changes = {};
  m_formSeenMinimized = IsMinimized(this);
  m_ownerSeenMinimized = owner && IsMinimized(owner);
  m_minimized = m_formSeenMinimized;
  UpdateTitle();
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
