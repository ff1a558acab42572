// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "engine/plan.h"
#include "engine/transform.h"
#include "filelist/presentation.h"

class QTimer;

namespace relabo {

class TXFileListBox;

/// Keeps the plan of the batch that F9 would run for the list's marked files and the current
/// command, and gives the list's preview column its cells from it. Changes arrive faster than
/// plans can be made (a keystroke each), so they are gathered and planned once, on the next
/// turn of the event loop; a batch takes the plan as it stands, brought up to date first.
class TPreviewController : public QObject {
  Q_OBJECT

 public:
  /// What the plan is made of: the current command, its parameters, and the chain option.
  struct Source {
    std::function<int()> command;
    std::function<CommandParameters()> parameters;
    std::function<bool()> resolveChains;
  };

  TPreviewController(TXFileListBox& list, Source source, QObject* parent = nullptr);
  ~TPreviewController() override;

  /// The preview on or off; off, nothing is planned and the column shows nothing.
  bool Enabled() const { return m_enabled; }
  void SetEnabled(bool enabled);

  /// Something the plan depends on changed (a field, the command, the marks, the order): plan
  /// again soon.
  void Schedule();
  /// The folder was read again: its names are read anew before the next plan.
  void FolderChanged();
  /// Plans now if a change is waiting (or no plan was made yet).
  void Update();

  /// The most operations planned for the preview; a larger batch is planned when it runs.
  static constexpr int64_t kMaxPreviewOperations = 1000000;

  /// The plan as it stands (Update first for an exact one); empty when there were more
  /// operations than kMaxPreviewOperations (TooLarge).
  const BatchPlan& Plan() const { return m_plan; }
  bool TooLarge() const { return m_tooLarge; }
  /// The names the plan was made against.
  const FolderNames& Names();

  /// The preview cell of a list entry: its new name, greyed when unchanged, failing ones with
  /// their reason; Copy Files shows the first copy and how many more.
  PreviewCell CellFor(int index) const;
  /// "12 to rename, 2 conflicts" while something is marked; empty otherwise.
  QString Summary() const;

 Q_SIGNALS:
  /// A new plan was made; Summary() may have changed.
  void Planned();

 private:
  // What a plan is made of besides the folder's names: the same inputs give the same plan, so
  // a change that alters none of them (the focus moving, a field typed back) plans nothing.
  struct Inputs {
    int command = 0;
    CommandParameters params;
    bool resolveChains = false;
    int count = 0;
    uint64_t marks = 0;  // a hash of the marked entries' places and names
    bool operator==(const Inputs&) const = default;
  };
  Inputs CurrentInputs() const;
  void MakePlan(const Inputs& inputs);

  TXFileListBox& m_list;
  bool m_listAlive = true;
  Source m_source;
  bool m_enabled = false;
  bool m_dirty = true;
  QTimer* m_timer = nullptr;
  std::unique_ptr<FolderNames> m_names;
  BatchPlan m_plan;
  std::optional<Inputs> m_planned;
  // Per list entry: its first operation and its first failing one, -1 for none.
  struct CellIndex {
    int first = -1;
    int failing = -1;
  };
  std::vector<CellIndex> m_cells;
  int m_copies = 1;
  // More operations than a keystroke may plan: nothing is previewed.
  bool m_tooLarge = false;
};

/// The summary of a plan for the status line: "12 to rename, 2 conflicts" (the conflicts only
/// when there are any, and those not run after an ending error).
QString PlanSummary(const BatchPlan& plan);

}  // namespace relabo
