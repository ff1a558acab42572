// SPDX-License-Identifier: GPL-3.0-or-later
// What a preview of 100,000 marked files costs: PlanBatch for Insert, Rename Files and Change
// Number, chains resolved and not, as a new plan and again into the plan shown before ("again",
// what a preview does), over names held in memory, against TransformName alone over the same
// names; then over a real folder of 100,000 files, read by DiskFolderNames.
// Usage: relabo_plan_bench [folder for the files]   (default /dev/shm)
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "bench/bench_util.h"
#include "engine/batch.h"
#include "engine/plan.h"
#include "engine/transform.h"

namespace {

using relabo::bench::AllMarked;
using relabo::bench::Median;
using relabo::bench::Milliseconds;

using relabo::BatchEntries;
using relabo::BatchEntryKind;
using relabo::BatchPlan;
using relabo::CommandParameters;
using relabo::FolderNames;
using relabo::NameKind;
using relabo::PlanOptions;

constexpr int kFiles = 100000;
constexpr int kRounds = 15;

// The folder's names in a hash set, as a caller with its own listing would give them.
class MemoryNames : public FolderNames {
 public:
  explicit MemoryNames(const std::vector<std::string>& names)
      : m_names(names.begin(), names.end()) {}
  NameKind Kind(std::string_view name) const override {
    return m_names.count(name) ? NameKind::File : NameKind::None;
  }

 private:
  std::unordered_set<std::string_view> m_names;
};

// Realistic names, all different: photos, documents, tracks with numbers in them.
std::vector<std::string> MakeNames() {
  const char* stems[] = {"IMG_", "Holiday Photo ", "report-final", "Überweisung ", "café menu ",
                         "DSC",  "track ",         "Résumé.v2.",   "scan_2024-0",  "My Document "};
  const char* extensions[] = {".jpg", ".JPG", ".tar.gz", ".pdf", ".mp3", ".txt", "", ".docx"};
  std::mt19937 rng(1);
  std::unordered_set<std::string> seen;
  std::vector<std::string> names;
  names.reserve(kFiles);
  while (names.size() < size_t(kFiles)) {
    std::string name = stems[rng() % std::size(stems)];
    name += std::to_string(rng() % 1000000);
    if (rng() % 3 == 0) name += " (copy " + std::to_string(rng() % 9) + ")";
    name += extensions[rng() % std::size(extensions)];
    if (seen.insert(name).second) names.push_back(std::move(name));
  }
  // One after another in memory, as the file list keeps its names, not between the set's.
  seen.clear();
  return std::vector<std::string>(names.begin(), names.end());
}

struct Times {
  double best;
  double median;
};

// The fastest and the middle of the rounds: the first tells what the code costs, the second
// what a machine shared with other work gives.
Times Measure(const std::function<void()>& body) {
  std::vector<double> times;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    body();
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    times.push_back(took.count());
  }
  std::sort(times.begin(), times.end());
  return {times.front(), times[times.size() / 2]};
}

struct Command {
  const char* name;
  int index;
};

CommandParameters Parameters() {
  CommandParameters p;
  p.InsertString = "new_";
  p.InsertFrom = 3;
  p.ChangeNumberPlus = 7;
  p.RenameName = "photo";
  p.RenameSeparator = "_";
  p.RenameDigits = 6;
  return p;
}

const Command kCommands[] = {{"Insert / Add String", relabo::kInsertString},
                             {"Rename Files", relabo::kRenameFiles},
                             {"Change Number", relabo::kChangeNumber}};

void Report(const std::string& what, const char* command, Times t) {
  std::printf("%-32s %-20s %7.1f ms (median %6.1f)  %9.0f names/s\n", what.c_str(), command, t.best,
              t.median, kFiles / t.best * 1000.0);
}

// Each command as a new plan, and as a preview makes it: into the plan it showed before.
void PlanAll(const char* what, const std::vector<std::string>& names, const FolderNames& folder) {
  const AllMarked entries(names);
  const CommandParameters params = Parameters();
  for (const Command& command : kCommands) {
    for (const bool resolve : {false, true}) {
      PlanOptions options;
      options.resolveChains = resolve;
      const std::string label = std::string(what) + (resolve ? ", resolved" : "");
      size_t changes = 0;
      Report(label, command.name, Measure([&] {
               const BatchPlan plan =
                   relabo::PlanBatch(entries, command.index, params, folder, options);
               changes = size_t(plan.changes);
             }));
      BatchPlan shown = relabo::PlanBatch(entries, relabo::kRenameFiles, params, folder, options);
      Report(label + ", again", command.name, Measure([&] {
               relabo::PlanBatch(entries, command.index, params, folder, options, shown);
             }));
      if (changes == 0 || shown.changes != int(changes)) throw std::runtime_error("plans differ");
    }
  }
}

std::string MakeFolder(const std::string& parent, const std::vector<std::string>& names) {
  std::string folder = parent + "/relabo-plan-bench-XXXXXX";
  if (!::mkdtemp(folder.data())) throw std::runtime_error("mkdtemp " + folder);
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 || ::close(fd) != 0) throw std::runtime_error("create " + path);
  }
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string parent = argc > 1 ? argv[1] : "/dev/shm";
  const std::vector<std::string> names = MakeNames();
  const CommandParameters params = Parameters();
  std::printf("%d marked files, best and median of %d rounds\n", kFiles, kRounds);
  for (const Command& command : kCommands) {
    size_t sink = 0;
    const Times t = Measure([&] {
      for (int i = 0; i < kFiles; ++i) {
        sink += relabo::TransformName(names[size_t(i)], command.index, params, i).size();
      }
    });
    if (sink == 0) return 1;
    Report("TransformName alone", command.name, t);
  }
  PlanAll("plan, names in memory", names, MemoryNames(names));

  const std::string folder = MakeFolder(parent, names);
  if (::chdir(folder.c_str()) != 0) return 1;
  const Times read = Measure([] { relabo::DiskFolderNames names("."); });
  std::printf("%-32s %-20s %7.1f ms (median %6.1f)\n", "DiskFolderNames", ("in " + parent).c_str(),
              read.best, read.median);
  const relabo::DiskFolderNames disk(".");
  PlanAll("plan, DiskFolderNames", names, disk);
  for (const Command& command : kCommands) {
    const AllMarked entries(names);
    const Times t = Measure([&] {
      const relabo::DiskFolderNames fresh(".");
      relabo::PlanBatch(entries, command.index, params, fresh);
    });
    Report("read + plan", command.name, t);
  }
  std::filesystem::current_path("/");
  std::filesystem::remove_all(folder);
  return 0;
}
