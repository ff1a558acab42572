// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <string>

#include "engine/batch.h"

class QFrame;
class QLabel;

namespace relabo {

/// The gauge's percentage: trunc(100 * (position - 1) / (total - 1)), 0 for a total of 1.
int ProgressPercent(int position, int total);

/// What the progress window and its owner have done since they were last looked at.
struct MinimizeChanges {
  bool formMinimized = false;
  bool formRestored = false;
  bool ownerMinimized = false;
  bool ownerRestored = false;
};

enum class MinimizeFollow { Nothing, MinimizeBoth, RestoreBoth };

/// How the two windows follow each other to the taskbar and back, given whether each is
/// minimised now and what changed since the last look. A restore wins over any minimise that
/// came with it, and a progress window left minimised beside a shown owner comes back: the
/// owner is disabled while the progress window exists, so it must never be shown alone.
MinimizeFollow FollowMinimize(bool formMinimized, bool ownerMinimized,
                              const MinimizeChanges& changes);

/// A horizontal navy bar filled to a percentage, with the percentage in bold in its middle.
class TProgressGauge : public QWidget {
  Q_OBJECT

 public:
  explicit TProgressGauge(QWidget* parent = nullptr);
  void SetPercent(int percent);
  int Percent() const { return m_percent; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int m_percent = 0;
};

/// The window that follows a batch or a deletion: the operation in its title, the file being
/// handled (and its new name) and a gauge. It stays on top of its owner, cannot be resized,
/// and refuses to be closed by the user; the caller deletes it when the operation ends.
/// Minimising it minimises the owner too, and while minimised its title carries the
/// percentage ("33 % - Rename").
///
/// It is a window of its own, transient for the owner but not its child widget: the caller
/// disables the owner meanwhile, and a child would be drawn disabled with it.
class TProgressForm : public QWidget, public BatchProgress {
  Q_OBJECT

 public:
  /// Lays the window out in the application font and centres it over the owner's frame (the
  /// owner may be null) without showing it.
  explicit TProgressForm(QWidget* owner);
  ~TProgressForm() override;

  /// Sets the total and the title and shows the window. Throws Error "Value must be between
  /// %d and %d" for a total below 1.
  void Start(int total, const std::string& title) override;
  /// Start with another caption for the "From:" line and without the "To:" line.
  void StartWithLabel(int total, const std::string& title, const std::string& label);
  /// Records the position (held within 1..total) and the names and lets pending events run.
  /// The labels and the gauge follow at most every 16 ms, and always at the last step.
  /// The two windows' minimised states are brought together here too.
  void Step(int position, const std::string& oldName, const std::string& newName) override;
  void Beep() override;

  /// The percentage of the last position given to Step.
  int Percent() const { return ProgressPercent(m_position, m_total); }
  /// True while minimised together with the owner.
  bool Minimized() const { return m_minimized; }
  /// The operation's title as given to Start.
  const QString& Caption() const { return m_caption; }

 protected:
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* OwnerWindow() const;
  void SetTransientParent();
  /// Records a change of the window's (or the owner's) minimised state and has the other
  /// window follow: at once for a restore, after the pending events for a minimise.
  void NoteState(bool ofOwner);
  /// Applies FollowMinimize to what was noted since the last call.
  void FollowOwner();
  void UpdateTitle();

  QPointer<QWidget> m_owner;
  QLabel* m_fromLabel;
  QLabel* m_toLabel;
  QLabel* m_oldNameLabel;
  QLabel* m_newNameLabel;
  QFrame* m_progressPanel;
  TProgressGauge* m_progress;

  int m_total = 1;
  int m_position = 1;
  std::string m_oldName;
  std::string m_newName;
  QString m_caption;
  bool m_minimized = false;
  bool m_formSeenMinimized = false;  // the states FollowOwner last looked at
  bool m_ownerSeenMinimized = false;
  MinimizeChanges m_changes;
  bool m_following = false;     // inside FollowOwner: its own state changes are not noted
  bool m_followPosted = false;  // a FollowOwner call waits for the pending events
  int m_titlePercent = -1;      // the percentage in the title; -1 when it shows the caption
  bool m_quitting = false;
  QElapsedTimer m_sinceShown;  // invalid until the labels were first set
  QElapsedTimer m_sinceEvents;  // invalid until events were first let through
};

}  // namespace relabo
