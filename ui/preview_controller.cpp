// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/preview_controller.h"

#include <QTimer>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>

#include "filelist/file_list_box.h"
#include "fileutil/error.h"
#include "ui/list_batch_entries.h"

namespace relabo {

namespace {

PreviewCell::Look LookOf(PlanOutcome outcome) {
  switch (outcome) {
    case PlanOutcome::Unchanged:
      return PreviewCell::Look::Unchanged;
    case PlanOutcome::Fail:
    case PlanOutcome::End:
    case PlanOutcome::NotRun:
      return PreviewCell::Look::Failed;
    default:
      return PreviewCell::Look::Plain;
  }
}

}  // namespace

TPreviewController::TPreviewController(TXFileListBox& list, Source source, QObject* parent)
    : QObject(parent), m_list(list), m_source(std::move(source)), m_timer(new QTimer(this)) {
  m_timer->setSingleShot(true);
  m_timer->setInterval(0);
  connect(m_timer, &QTimer::timeout, this, [this] { Update(); });
  m_list.SetPreviewProvider([this](int index) { return CellFor(index); });
  connect(&m_list, &QObject::destroyed, this, [this] { m_listAlive = false; });
}

TPreviewController::~TPreviewController() {
  // The list may be gone already, its window having taken it first.
  if (m_listAlive) m_list.SetPreviewProvider(nullptr);
}

void TPreviewController::SetEnabled(bool enabled) {
  if (enabled == m_enabled) return;
  m_enabled = enabled;
  m_plan = BatchPlan();
  m_planned.reset();
  m_cells.clear();
  m_dirty = true;
  if (m_enabled) {
    Schedule();
  } else {
    m_names.reset();
    Q_EMIT Planned();
  }
}

void TPreviewController::Schedule() {
  m_dirty = true;
  if (m_enabled) m_timer->start();
}

void TPreviewController::FolderChanged() {
  m_names.reset();
  Schedule();
}

const FolderNames& TPreviewController::Names() {
  if (!m_names) {
    try {
      m_names = std::make_unique<DiskFolderNames>(".");
    } catch (const Error&) {
      // A folder that can be entered but not listed: each name is looked up.
      m_names = std::make_unique<LookedUpFolderNames>();
    }
  }
  return *m_names;
}

void TPreviewController::Update() {
  m_timer->stop();
  if (!m_dirty || !m_listAlive) return;
  m_dirty = false;
  Inputs inputs = CurrentInputs();
  if (m_names && m_planned == inputs) return;
  MakePlan(inputs);
  m_planned = std::move(inputs);
  m_list.PreviewChanged();
  Q_EMIT Planned();
}

TPreviewController::Inputs TPreviewController::CurrentInputs() const {
  Inputs inputs;
  inputs.command = m_source.command();
  inputs.params = m_source.parameters();
  inputs.resolveChains = m_source.resolveChains && m_source.resolveChains();
  inputs.count = m_list.Count();
  // FNV-1a over each marked entry's place and name: a re-sort moves the names.
  uint64_t hash = 14695981039346656037ull;
  const auto mix = [&hash](uint64_t value) { hash = (hash ^ value) * 1099511628211ull; };
  if (m_list.MarkedCount() > 0) {
    for (int i = 0; i < inputs.count; ++i) {
      if (!m_list.IsMarked(i)) continue;
      mix(uint64_t(i));
      mix(std::hash<std::string>{}(m_list.ItemText(i)));
    }
  }
  inputs.marks = hash;
  return inputs;
}

void TPreviewController::MakePlan(const Inputs& inputs) {
  const ListBatchEntries entries(m_list);
  const int command = inputs.command;
  const CommandParameters& params = inputs.params;
  PlanOptions options;
  options.resolveChains = inputs.resolveChains;
  m_copies = command == kCopyFiles ? std::clamp(params.CopyNumber, 1, kMaxCopyNumber) : 1;
  const int64_t operations = int64_t(entries.MarkedCount()) * m_copies;
  m_tooLarge = operations > kMaxPreviewOperations;
  if (operations > 0 && !m_tooLarge) {
    // Into the plan of the last keystroke: its memory is reused.
    PlanBatch(entries, command, params, Names(), options, m_plan);
  } else {
    m_plan = BatchPlan();
  }
  if (m_tooLarge) m_plan.total = int(std::min<int64_t>(operations, INT32_MAX));
  m_cells.assign(size_t(m_list.Count()), CellIndex{});
  for (size_t i = 0; i < m_plan.operations.size(); ++i) {
    const PlannedOperation& op = m_plan.operations[i];
    if (op.entry < 0 || size_t(op.entry) >= m_cells.size()) continue;
    CellIndex& cell = m_cells[size_t(op.entry)];
    if (cell.first < 0) cell.first = int(i);
    if (cell.failing < 0 && LookOf(op.outcome) == PreviewCell::Look::Failed) cell.failing = int(i);
  }
}

PreviewCell TPreviewController::CellFor(int index) const {
  PreviewCell cell;
  if (!m_enabled || index < 0 || size_t(index) >= m_cells.size()) return cell;
  const CellIndex& at = m_cells[size_t(index)];
  if (at.first < 0) return cell;
  const PlannedOperation& first = m_plan.operations[size_t(at.first)];
  cell.text = first.newName;
  cell.look = LookOf(first.outcome);
  cell.reason = first.reason;
  if (first.newName.empty() && !first.reason.empty()) {
    // No name could be made (a pattern or number that cannot be used, a pattern that runs too
    // long on this name): the row says why, where the name would stand.
    cell.text = first.reason;
    cell.look = PreviewCell::Look::Message;
    return cell;
  }
  if (m_copies > 1) {
    cell.text += " + " + std::to_string(m_copies - 1) + " more";
    // A later copy of the file that fails marks the file too.
    if (at.failing > at.first) {
      const PlannedOperation& failing = m_plan.operations[size_t(at.failing)];
      cell.look = PreviewCell::Look::Failed;
      cell.reason = failing.newName + ": " + failing.reason;
    }
  }
  return cell;
}

QString TPreviewController::Summary() const {
  if (!m_enabled) return QString();
  if (m_tooLarge) {
    return QStringLiteral("%1 operations: too many to preview").arg(m_plan.total);
  }
  if (m_plan.operations.empty()) return QString();
  return PlanSummary(m_plan);
}

QString PlanSummary(const BatchPlan& plan) {
  int notRun = 0;
  for (const PlannedOperation& op : plan.operations) notRun += op.outcome == PlanOutcome::NotRun;
  const char* what = plan.command == kCopyFiles ? "to copy" : "to rename";
  QString text = QStringLiteral("%1 %2").arg(plan.changes).arg(QLatin1String(what));
  if (plan.failures > 0) {
    text += QStringLiteral(", %1 %2")
                .arg(plan.failures)
                .arg(plan.failures == 1 ? QStringLiteral("conflict") : QStringLiteral("conflicts"));
  }
  if (notRun > 0) text += QStringLiteral(", %1 not run").arg(notRun);
  return text;
}

}  // namespace relabo
