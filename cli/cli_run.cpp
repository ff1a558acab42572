// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_run.h"

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <istream>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

#include "cli/json_out.h"
#include "engine/batch.h"
#include "engine/extension.h"
#include "engine/journal.h"
#include "engine/plan.h"
#include "engine/trash_batch.h"
#include "engine/undo.h"
#include "filelist/file_sort.h"
#include "filelist/folder_list.h"
#include "fileutil/error.h"
#include "fileutil/mask.h"
#include "fileutil/path.h"

namespace relabo {
namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kEnded = 3;

constexpr int kInterrupted = 130;

class QuietProgress : public BatchProgress {
 public:
  void Start(int, const std::string&) override {}
  void Step(int, const std::string&, const std::string&) override {}
  void Beep() override {}
};

// The progress of a batch on a terminal: nothing for the first second, then a bar redrawn at
// most ten times a second. Stops the batch before its next file once Ctrl+C was pressed.
class TerminalProgress : public BatchProgress {
 public:
  TerminalProgress() : m_terminal(::isatty(2) == 1) {}
  ~TerminalProgress() override {
    if (m_drawn) std::fputs("\r\033[K", stderr);
  }
  void Start(int total, const std::string&) override {
    m_total = std::max(total, 1);
    m_start = std::chrono::steady_clock::now();
    m_last = m_start;
  }
  void Step(int position, const std::string&, const std::string&) override {
    if (StopRequested()) throw Error("Interrupted");
    if (!m_terminal) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_start < std::chrono::seconds(1) || now - m_last < std::chrono::milliseconds(100))
      return;
    m_last = now;
    const int percent = int(int64_t(position) * 100 / m_total);
    std::string bar(size_t(percent / 5), '#');
    bar.resize(20, '.');
    std::fprintf(stderr, "\r[%s] %3d%% %d/%d", bar.c_str(), percent, position, m_total);
    std::fflush(stderr);
    m_drawn = true;
  }
  void Beep() override {}

 private:
  bool m_terminal;
  bool m_drawn = false;
  int m_total = 1;
  std::chrono::steady_clock::time_point m_start, m_last;
};

// The chosen files of one folder, all marked, in the order the batch takes them.
class SelectedEntries : public BatchEntries {
 public:
  struct Entry {
    std::string name;
    BatchEntryKind kind = BatchEntryKind::File;
  };
  explicit SelectedEntries(const std::vector<Entry>& entries) : m_entries(entries) {}
  int Count() const override { return int(m_entries.size()); }
  int MarkedCount() const override { return Count(); }
  bool IsMarked(int) const override { return true; }
  BatchEntryKind Kind(int index) const override { return m_entries.at(size_t(index)).kind; }
  std::string Name(int index) const override { return m_entries.at(size_t(index)).name; }

 private:
  const std::vector<Entry>& m_entries;
};

struct Selection {
  std::string folder;
  std::vector<SelectedEntries::Entry> entries;
  std::string error;  // a usage error's words
};

// Where relative paths start; "/" when the current folder was removed.
std::string CurrentFolder() {
  const std::string folder = WorkingFolder();
  return folder.empty() ? std::string("/") : folder;
}

BatchEntryKind KindOf(const struct stat& st) {
  return S_ISDIR(st.st_mode) ? BatchEntryKind::Folder : BatchEntryKind::File;
}

bool Marked(const std::string& name, const std::vector<std::string>& masks) {
  if (masks.empty()) return true;
  return std::any_of(masks.begin(), masks.end(),
                     [&](const std::string& mask) { return MaskMatches(name, mask); });
}

// The files of the folder as read for the plan, those the masks mark (all without masks).
Selection SelectFolder(const std::string& folder, const DiskFolderNames& names,
                       const std::vector<std::string>& masks) {
  Selection selection;
  selection.folder = folder;
  selection.entries.reserve(names.Count());
  try {
    names.ForEachName([&](std::string_view name, NameKind kind, bool) {
      if (kind != NameKind::File) return;
      const std::string text(name);
      if (Marked(text, masks)) selection.entries.push_back({text, BatchEntryKind::File});
    });
  } catch (const Error& e) {
    selection.error = e.what();
  }
  return selection;
}

Selection SelectPaths(const std::vector<std::string>& paths) {
  Selection selection;
  const std::string base = CurrentFolder();
  for (const std::string& path : paths) {
    const std::string walked = LogicalPath(path, base);
    struct stat st;
    if (walked == "/" || ::lstat(walked.c_str(), &st) != 0) {
      selection.error = "cannot find '" + path + "'";
      return selection;
    }
    const size_t slash = walked.rfind('/');
    const std::string folder = slash == 0 ? std::string("/") : walked.substr(0, slash);
    if (selection.entries.empty()) {
      selection.folder = folder;
    } else if (folder != selection.folder) {
      selection.error = "the files are not in one folder";
      return selection;
    }
    selection.entries.push_back({walked.substr(slash + 1), KindOf(st)});
  }
  return selection;
}

// Puts the selection in the order the window's list shows the current folder: the same
// collation and columns. Entries the list does not show keep their order after the others.
void SortAsTheList(Selection& selection, int sortBy, bool reverse, bool numeric) {
  if (sortBy == fiFileName) {
    // The list's name order is its collation's: the sort keys alone, no file read.
    const std::vector<uint32_t> order = NameOrder(
        selection.entries.size(),
        [&](size_t i) { return std::string_view(selection.entries[i].name); }, reverse,
        NameCollator::Instance(numeric));
    std::vector<SelectedEntries::Entry> sorted;
    sorted.reserve(order.size());
    for (const uint32_t i : order) sorted.push_back(std::move(selection.entries[i]));
    selection.entries = std::move(sorted);
    return;
  }
  FolderList list;  // reads the current folder, the selection's
  list.SetSortBy(TFileItem(sortBy));
  list.SetSortOrder(reverse ? soDescending : soAscending);
  list.Activate();
  std::unordered_map<std::string, int> rank;
  for (int i = 0; i < list.Count(); ++i) {
    if (list.ItemKind(i) == ekFile) rank.emplace(list.ItemText(i), i);
  }
  auto rankOf = [&](const SelectedEntries::Entry& entry) {
    const auto it = rank.find(entry.name);
    return it == rank.end() ? list.Count() : it->second;
  };
  std::stable_sort(selection.entries.begin(), selection.entries.end(),
                   [&](const auto& a, const auto& b) { return rankOf(a) < rankOf(b); });
}

std::vector<std::string> ReadNulSeparated(std::istream& in) {
  const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> paths;
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    if (end > start) paths.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return paths;
}

int UsageError(std::ostream& err, const std::string& message) {
  err << "relabo-cli: " << message << "\n";
  return kUsage;
}

// One operation as the output shows it; the names are the plan's or the outcome's, which
// outlive the report.
struct Line {
  std::string_view oldName;
  std::string_view newName;
  enum class Outcome { Renamed, Unchanged, Failed, NotRun } outcome = Outcome::Renamed;
  std::string reason;
  int error = 0;
};

const char* OutcomeWord(Line::Outcome outcome) {
  switch (outcome) {
    case Line::Outcome::Renamed:
      return "renamed";
    case Line::Outcome::Unchanged:
      return "unchanged";
    case Line::Outcome::Failed:
      return "failed";
    case Line::Outcome::NotRun:
      return "not run";
  }
  return "";
}

std::string ErrorWords(int error) { return error ? std::strerror(error) : "failed"; }

// The operations as they ran, with their real outcomes.
void AddDone(const std::vector<BatchOperation>& done, std::vector<Line>& lines) {
  lines.reserve(lines.size() + done.size());
  for (const BatchOperation& op : done) {
    Line& line = lines.emplace_back();
    line.oldName = op.oldName;
    line.newName = op.newName;
    line.error = op.error;
    if (op.done) {
      line.outcome = op.oldName == op.newName ? Line::Outcome::Unchanged : Line::Outcome::Renamed;
    } else {
      line.outcome = Line::Outcome::Failed;
      line.reason = ErrorWords(op.error);
    }
  }
}

// Writes the operations and the summary; returns the exit status.
int Report(const CliOptions& options, const std::string& folder, const std::string& title,
           const std::vector<Line>& lines, const std::string& ended, std::ostream& out,
           std::ostream& err) {
  int renamed = 0, unchanged = 0, failed = 0;
  for (const Line& line : lines) {
    renamed += line.outcome == Line::Outcome::Renamed;
    unchanged += line.outcome == Line::Outcome::Unchanged;
    failed += line.outcome == Line::Outcome::Failed;
  }
  if (options.json) {
    JsonWriter json;
    json.BeginObject().Key("folder").String(folder).Key("command").String(title);
    json.Key("applied").Bool(options.apply).Key("operations").BeginArray();
    for (const Line& line : lines) {
      json.BeginObject().Key("old").String(line.oldName).Key("new").String(line.newName);
      json.Key("outcome").String(line.outcome == Line::Outcome::NotRun ? "failed"
                                                                        : OutcomeWord(line.outcome));
      json.Key("reason").String(line.reason).Key("errno").Int(line.error).EndObject();
    }
    json.EndArray().Key("renamed").Int(renamed).Key("unchanged").Int(unchanged);
    json.Key("failed").Int(failed).Key("ended");
    if (ended.empty()) {
      json.Null();
    } else {
      json.String(ended);
    }
    json.EndObject();
    out << json.Text() << "\n";
  } else if (!options.quiet) {
    for (const Line& line : lines) {
      out << line.oldName << " -> " << line.newName << "  " << OutcomeWord(line.outcome);
      if (line.outcome == Line::Outcome::Failed) out << ": " << line.reason;
      out << "\n";
    }
  }
  if (!options.quiet && !options.json) {
    const char* verb = options.apply ? "" : " (dry run, nothing changed; --apply to run it)";
    err << renamed << " renamed, " << unchanged << " unchanged, " << failed << " failed" << verb
        << "\n";
  }
  if (!ended.empty()) {
    err << "relabo-cli: " << ended << "\n";
    return kEnded;
  }
  return failed > 0 ? kFailed : 0;
}

int RunBatchCommand(const CliOptions& options, const Selection& selection,
                    const FolderNames& names, std::ostream& out, std::ostream& err,
                    const TrashFunction& trash) {
  const SelectedEntries entries(selection.entries);
  const std::string title = std::string(BatchTitle(options.batchCommand));
  PlanOptions planOptions;
  planOptions.resolveChains = options.resolveChains;
  const BatchPlan plan =
      PlanBatch(entries, options.batchCommand, options.params, names, planOptions);
  std::vector<Line> lines;
  std::string ended = plan.endingError;
  if (!options.apply) {
    lines.reserve(plan.operations.size());
    for (const PlannedOperation& op : plan.operations) {
      Line& line = lines.emplace_back();
      line.oldName = op.oldName;
      line.newName = op.newName;
      line.error = op.error;
      line.reason = op.reason;
      switch (op.outcome) {
        case PlanOutcome::Rename:
        case PlanOutcome::Move:
        case PlanOutcome::Replace:
          line.outcome = Line::Outcome::Renamed;
          break;
        case PlanOutcome::Unchanged:
          line.outcome = Line::Outcome::Unchanged;
          break;
        case PlanOutcome::Fail:
        case PlanOutcome::End:
          line.outcome = Line::Outcome::Failed;
          break;
        case PlanOutcome::NotRun:
          line.outcome = Line::Outcome::NotRun;
          break;
      }
    }
    return Report(options, selection.folder, title, lines, ended, out, err);
  }
  const std::string journalPath = DefaultJournalPath();
  JournalWriter journal(journalPath, selection.folder, title);
  BatchOutcome outcome;
  {
    TerminalProgress progress;
    outcome = RunPlan(plan, progress, RecordedSetAside(trash, &journal, journalPath), &journal);
  }
  journal.Finish();
  AddDone(outcome.operations, lines);
  // A failure the plan foresaw is told in the plan's words ("a2.txt exists").
  for (size_t i = 0; i < outcome.operations.size(); ++i) {
    const BatchOperation& op = outcome.operations[i];
    if (op.done || op.planIndex < 0) continue;
    const PlannedOperation& planned = plan.operations[size_t(op.planIndex)];
    if (planned.error == op.error && !planned.reason.empty()) lines[i].reason = planned.reason;
  }
  ended.clear();
  try {
    outcome.RethrowEnding();
  } catch (const std::exception& e) {
    ended = e.what();
  }
  if (journal.Failed()) err << "relabo-cli: not recorded for undo: " << journal.LastError() << "\n";
  const int status = Report(options, selection.folder, title, lines, ended, out, err);
  return StopRequested() ? kInterrupted : status;
}

int RunExtension(const CliOptions& options, const Selection& selection, std::ostream& out,
                 std::ostream& err) {
  const SelectedEntries entries(selection.entries);
  std::vector<Line> lines;
  std::vector<std::string> newNames;
  ExtensionOutcome outcome;
  if (options.apply) {
    JournalWriter journal(DefaultJournalPath(), selection.folder, "Extension");
    outcome = ChangeExtension(entries, options.extension, nullptr, &journal);
    journal.Finish();
    AddDone(outcome.operations, lines);
  } else {
    lines.reserve(selection.entries.size());
    newNames.reserve(selection.entries.size());  // no reallocation: the lines point into it
    for (int i = 0; i < entries.Count(); ++i) {
      Line& line = lines.emplace_back();
      line.oldName = selection.entries[size_t(i)].name;
      struct stat st;
      if (entries.Kind(i) != BatchEntryKind::File) {
        line.outcome = Line::Outcome::Failed;
        line.error = EISDIR;
        line.reason = ErrorWords(EISDIR);
        continue;
      }
      const std::string& newName =
          newNames.emplace_back(NameWithExtension(std::string(line.oldName), options.extension));
      line.newName = newName;
      if (line.newName == line.oldName) {
        line.outcome = Line::Outcome::Unchanged;
      } else if (::lstat(newName.c_str(), &st) == 0) {
        line.outcome = Line::Outcome::Failed;
        line.error = EEXIST;
        line.reason = newName + " exists";
      }
    }
  }
  return Report(options, selection.folder, "Extension", lines, "", out, err);
}

std::string LocalTime(int64_t ns) {
  const time_t seconds = time_t(ns / 1000000000);
  struct tm local;
  ::localtime_r(&seconds, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

int RunHistory(const CliOptions& options, std::ostream& out, std::ostream& err) {
  std::vector<JournalBatch> batches;
  try {
    batches = ReadJournal(DefaultJournalPath());
  } catch (const Error& e) {
    err << "relabo-cli: " << e.what() << "\n";
    return kFailed;
  }
  JsonWriter json;
  json.BeginArray();
  for (auto it = batches.rbegin(); it != batches.rend(); ++it) {
    const std::string state = it->undone ? "undone" : !it->undoes.empty() ? "undo" : "";
    if (options.json) {
      json.BeginObject().Key("id").String(it->id).Key("time").String(LocalTime(it->timeNs));
      json.Key("folder").String(it->folder).Key("command").String(it->title);
      json.Key("operations").Int(int64_t(it->operations.size()));
      json.Key("undone").Bool(it->undone).Key("undoes").String(it->undoes).EndObject();
    } else {
      out << it->id << "\t" << LocalTime(it->timeNs) << "\t" << it->folder << "\t" << it->title
          << "\t" << it->operations.size() << "\t" << state << "\n";
    }
  }
  if (options.json) out << json.EndArray().Text() << "\n";
  return 0;
}

int RunUndo(const CliOptions& options, std::ostream& out, std::ostream& err,
            const TrashFunction& trash) {
  const std::string journalPath = DefaultJournalPath();
  std::vector<JournalBatch> batches;
  try {
    batches = ReadJournal(journalPath);
  } catch (const Error& e) {
    err << "relabo-cli: " << e.what() << "\n";
    return kFailed;
  }
  const JournalBatch* batch = nullptr;
  if (options.batchId.empty()) {
    batch = NewestUndoable(batches);
    if (!batch) {
      err << "relabo-cli: nothing to undo\n";
      return kFailed;
    }
  } else {
    for (const JournalBatch& b : batches) {
      if (b.id == options.batchId) batch = &b;
    }
    if (!batch || !Undoable(*batch)) {
      return UsageError(err, "no batch " + options.batchId + " that can be undone");
    }
  }
  QuietProgress progress;
  const UndoOutcome outcome = UndoBatch(*batch, progress, trash, journalPath);
  if (!options.quiet) {
    for (const UndoFailure& failure : outcome.failures) {
      out << failure.name << "  not undone: " << failure.reason << "\n";
    }
    err << outcome.undone << " of " << outcome.total << " undone (" << UndoTitle(*batch) << " in "
        << batch->folder << ")\n";
  }
  if (!outcome.journalError.empty()) err << "relabo-cli: " << outcome.journalError << "\n";
  return outcome.failures.empty() ? 0 : kFailed;
}

}  // namespace

volatile std::sig_atomic_t& StopRequested() {
  static volatile std::sig_atomic_t requested = 0;
  return requested;
}

int RunCli(const CliOptions& options, std::istream& in, std::ostream& out, std::ostream& err,
           const TrashFunction& trash) {
  using Command = CliOptions::Command;
  if (options.command == Command::History) return RunHistory(options, out, err);
  if (options.command == Command::Undo) return RunUndo(options, out, err, trash);

  // The folder is read once: for the files a --folder selects and for the plan. Files given
  // by path in a folder that can be entered but not listed have their names looked up.
  Selection selection;
  std::optional<DiskFolderNames> listed;
  const LookedUpFolderNames lookedUp;
  const FolderNames* names = &lookedUp;
  const auto enter = [&](const std::string& folder, const std::string& shown, bool mustList) {
    if (::chdir(folder.c_str()) != 0) return "cannot enter '" + shown + "': " + std::strerror(errno);
    // Extension of given files plans nothing: their folder need not be read.
    if (!mustList && options.command == Command::Extension) return std::string();
    try {
      names = &listed.emplace(".");
    } catch (const Error& e) {
      if (mustList) return "cannot read '" + shown + "': " + std::strerror(e.Code());
    }
    return std::string();
  };
  if (!options.folder.empty()) {
    const std::string folder = LogicalPath(options.folder, CurrentFolder());
    if (const std::string error = enter(folder, options.folder, true); !error.empty()) {
      return UsageError(err, error);
    }
    selection = SelectFolder(folder, *listed, options.marks);
    if (!selection.error.empty()) return UsageError(err, selection.error);
    if (selection.entries.empty()) return UsageError(err, "no files given");
  } else {
    selection = SelectPaths(options.stdinPaths ? ReadNulSeparated(in) : options.files);
    if (!selection.error.empty()) return UsageError(err, selection.error);
    if (selection.entries.empty()) return UsageError(err, "no files given");
    if (const std::string error = enter(selection.folder, selection.folder, false);
        !error.empty()) {
      return UsageError(err, error);
    }
  }
  // A folder's files go as its list shows them (by name unless --sort says otherwise); given
  // files in the order given unless --sort is asked for.
  if (options.sortBy || options.reverse || !options.folder.empty()) {
    try {
      SortAsTheList(selection, options.sortBy.value_or(0), options.reverse, options.numeric);
    } catch (const Error& e) {
      return UsageError(err, e.what());
    }
  }
  if (options.command == Command::Extension) return RunExtension(options, selection, out, err);
  return RunBatchCommand(options, selection, *names, out, err, trash);
}

}  // namespace relabo
