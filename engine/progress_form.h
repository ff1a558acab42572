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
class TProgressForm : public QWidget, public BatchProgress {
  Q_OBJECT

 public:
  /// Centres the window over the owner (which may be null) without showing it.
  explicit TProgressForm(QWidget* owner);
  ~TProgressForm() override;

  /// Sets the total and the title and shows the window. Throws Error "Value must be between
  /// %d and %d" for a total below 1.
  void Start(int total, const std::string& title) override;
  /// Start with another caption for the "From:" line and without the "To:" line.
  void StartWithLabel(int total, const std::string& title, const std::string& label);
  /// Records the position (held within 1..total) and the names and lets pending events run.
  /// The labels and the gauge follow at most every 16 ms, and always at the last step.
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
  void SetMinimized(bool minimized);
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
  int m_titlePercent = -1;  // the percentage in the title; -1 when it shows the caption
  bool m_quitting = false;
  QElapsedTimer m_sinceShown;  // invalid until the labels were first set
};

}  // namespace relabo
