// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/edge_dock_form.h"

#include <QGuiApplication>
#include <QMoveEvent>
#include <QScreen>
#include <QTimer>
#include <optional>

namespace relabo {

namespace {

// X11 sends several moves at the end of a drag; the last one is where the window rests.
constexpr int kMoveEndDelayMs = 150;

DockBox BoxOf(const QRect& r) { return DockBox{r.left(), r.top(), r.width(), r.height()}; }

DockRect RectOf(const QRect& r) {
  return DockRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

}  // namespace

TEdgeDockForm::TEdgeDockForm(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags | Qt::Window), m_moveEnd(new QTimer(this)) {
  m_moveEnd->setSingleShot(true);
  m_moveEnd->setInterval(kMoveEndDelayMs);
  connect(m_moveEnd, &QTimer::timeout, this, &TEdgeDockForm::FinishMove);
}

bool TEdgeDockForm::PlatformSupportsDocking() {
  return QGuiApplication::platformName() == QLatin1String("xcb");
}

void TEdgeDockForm::FinishMove() {
  const QRect frame = frameGeometry();
  const QRect settled = m_settled;
  m_settled = frame;
  const Qt::WindowStates notNormal =
      Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
  if (!isVisible() || (windowState() & notNormal) || settled.isNull() ||
      frame.topLeft() == settled.topLeft()) {
    return;
  }
  std::optional<DockBox> owner;
  if (const QWidget* parent = parentWidget()) owner = BoxOf(parent->window()->frameGeometry());
  const DockRect placed = DockDragStep(
      RectOf(frame), DockBox{settled.left(), settled.top(), frame.width(), frame.height()},
      RectOf(WorkArea()), owner, m_settings);
  if (placed.left == frame.left() && placed.top == frame.top()) return;
  m_settled.moveTopLeft(QPoint(placed.left, placed.top));
  move(placed.left, placed.top);
}

void TEdgeDockForm::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  if (PlatformSupportsDocking() && isVisible()) m_moveEnd->start();
}

void TEdgeDockForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  m_settled = frameGeometry();
}

QRect TEdgeDockForm::WorkArea() const {
  // The screen the window now mostly stands on, so it can be moved to another monitor.
  QScreen* screen = QGuiApplication::screenAt(frameGeometry().center());
  if (!screen) screen = this->screen();
  return screen ? screen->availableGeometry() : QRect();
}

}  // namespace relabo
