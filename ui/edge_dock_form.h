// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QWidget>

#include "ui/dock_rule.h"

class QTimer;

namespace relabo {

/// A top-level window that snaps to the edges of the screen's work area, and to those of its
/// owner (the parent window, if any), when the user has moved it. The window system reports a
/// drag on X11 only when it has ended, so the window snaps then; on Wayland no program may
/// place its own window, and nothing happens.
class TEdgeDockForm : public QWidget {
  Q_OBJECT

 public:
  explicit TEdgeDockForm(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::Window);

  /// Snapping on or off; on by default.
  bool Docking() const { return m_settings.docking; }
  void SetDocking(bool docking) { m_settings.docking = docking; }
  /// The snapping distance in pixels; 20 by default.
  int DockBorder() const { return m_settings.dockBorder; }
  void SetDockBorder(int border) { m_settings.dockBorder = border; }
  /// The enabled edges; kDefaultDockType by default.
  TDockType DockType() const { return m_settings.dockType; }
  void SetDockType(TDockType type) { m_settings.dockType = type; }

  /// Applies the snapping rule to the move from the last settled position to the present one
  /// and places the window accordingly. Called when a move has ended.
  void FinishMove();

  /// True where the window system tells a program of moves and lets it place its window.
  static bool PlatformSupportsDocking();

 protected:
  void moveEvent(QMoveEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  QRect WorkArea() const;

  DockSettings m_settings;
  QRect m_settled;  // the frame where the window last came to rest
  QTimer* m_moveEnd = nullptr;
};

}  // namespace relabo
