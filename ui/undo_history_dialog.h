// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "engine/journal.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace relabo {

/// The batches of the undo journal, newest first, for the user to pick the one to take back.
/// It only shows them and tells the choice; reading the journal and undoing are the caller's.
/// Enter or a double-click on a batch that can be taken back is Undo; Esc is Close.
class TUndoHistoryDialog : public QDialog {
  Q_OBJECT

 public:
  /// batches: the journal in file order (oldest first), as ReadJournal returns it.
  explicit TUndoHistoryDialog(const std::vector<JournalBatch>& batches, QWidget* owner = nullptr);

  /// The id of the batch chosen with Undo; empty before that, and again once the dialog is
  /// closed without a choice.
  std::string ChosenId() const { return m_chosenId; }

  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Row {
    std::string id;
    bool undoable = false;
  };

  /// The selected row when its batch can be taken back, else -1.
  int SelectedUndoableRow() const;
  void UpdateUndoButton();
  void Choose(int row);

  /// One per list row, newest first.
  std::vector<Row> m_rows;
  QTreeWidget* m_list;
  QLabel* m_emptyLabel;
  QPushButton* m_undoBtn;
  QPushButton* m_closeBtn;
  std::string m_chosenId;
};

/// Shows a modal TUndoHistoryDialog centred over owner; returns the id of the batch chosen
/// with Undo, or an empty string when the dialog was closed.
std::string ShowUndoHistory(QWidget* owner, const std::vector<JournalBatch>& batches);

}  // namespace relabo
