// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;

namespace relabo {

/// The program's one-line text prompt: a caption, a prompt label and an editable box holding a
/// history of earlier answers. Enter accepts and Esc cancels wherever the focus is, except that
/// Enter on a focused button presses that button.
class TSelectionForm : public QDialog {
  Q_OBJECT

 public:
  explicit TSelectionForm(QWidget* owner = nullptr);

  void SetPrompt(const QString& prompt);
  /// Fills the box's list with the history and its edit text with the first entry.
  void SetHistory(const std::vector<std::string>& history);
  /// The box's edit text, as typed or picked.
  QString Text() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* m_fileTypeLabel;
  QComboBox* m_filterBox;
  QPushButton* m_okBtn;
  QPushButton* m_cancelBtn;
};

/// The top-left corner that centres a window of outer size `window` over the outer rectangle
/// `owner`; halves are rounded toward zero.
QPoint CenteredOver(const QRect& owner, const QSize& window);

/// Asks for one line of text with a modal TSelectionForm centred over owner. On OK the text is
/// recorded in history (UpdateHistory), text is the history's new first entry, and the result is
/// true; on Cancel history is untouched, text is empty and the result is false.
bool ShowSelectionDialog(QWidget* owner, const QString& caption, const QString& prompt,
                         std::vector<std::string>& history, std::string& text);

}  // namespace relabo
