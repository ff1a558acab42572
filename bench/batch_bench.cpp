// SPDX-License-Identifier: GPL-3.0-or-later
// The batch runner against the bare system calls, in the same run:
// - Rename Files over 100,000 empty files (in /dev/shm and in a folder on the disk) through
//   RunBatch, with the real progress window offscreen when built with Qt, against a bare
//   renameat2 loop over the same names; and as the window runs it, planned and recorded in an
//   undo journal (kept in the disk folder, as the user's is), with and without the window;
// - Copy Files of 100 files of 10 MB through RunBatch against one cp over the same files.
// Usage: relabo_batch_bench [disk folder]   (default /var/tmp)
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "engine/batch.h"
#include "engine/journal.h"
#include "engine/plan.h"
#include "engine/transform.h"

#ifdef RELABO_BENCH_GUI
#include <QApplication>
#include <QWidget>

#include "engine/progress_form.h"
#else
class QWidget;
#endif

namespace {

using relabo::bench::AllMarked;
using relabo::bench::Median;
using relabo::bench::Milliseconds;

using relabo::BatchEntries;
using relabo::BatchEntryKind;
using relabo::BatchOutcome;
using relabo::BatchProgress;
using relabo::CommandParameters;

constexpr int kRenameFiles = 100000;
constexpr int kCopyFiles = 100;
constexpr size_t kCopyBytes = 10 << 20;
constexpr int kRounds = 5;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

class NullProgress : public BatchProgress {
 public:
  void Start(int, const std::string&) override {}
  void Step(int, const std::string&, const std::string&) override {}
  void Beep() override {}
};

double Seconds(const std::function<void()>& body) {
  const auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs the batch with the progress window of the program, or a sink that does nothing.
BatchOutcome RunWithProgress(const BatchEntries& entries, int command,
                             const CommandParameters& params, QWidget* owner) {
#ifdef RELABO_BENCH_GUI
  relabo::TProgressForm form(owner);
  return RunBatch(entries, command, params, form);
#else
  (void)owner;
  NullProgress progress;
  return RunBatch(entries, command, params, progress);
#endif
}

// Plans the batch and runs it recorded in a fresh journal, as the window does after F9.
BatchOutcome RunRecorded(const BatchEntries& entries, int command, const CommandParameters& params,
                         QWidget* owner, bool withProgress, const std::string& journalPath) {
  std::filesystem::remove(journalPath);
  const relabo::BatchPlan plan =
      relabo::PlanBatch(entries, command, params, relabo::DiskFolderNames("."));
  relabo::JournalWriter journal(journalPath, "/bench", "Rename (Rename Files)");
  BatchOutcome outcome;
#ifdef RELABO_BENCH_GUI
  if (withProgress) {
    relabo::TProgressForm form(owner);
    outcome = relabo::RunPlan(plan, form, {}, &journal);
  }
#else
  (void)owner;
#endif
  if (!outcome.started) {
    NullProgress none;
    outcome = relabo::RunPlan(plan, none, {}, &journal);
  }
  journal.Finish();
  if (journal.Failed()) throw std::runtime_error(journal.LastError());
  return outcome;
}

std::string MakeFolder(const std::string& parent) {
  std::string pattern = parent + "/relabo-bench-XXXXXX";
  if (!::mkdtemp(pattern.data())) Fail("mkdtemp " + pattern);
  return pattern;
}

void RenameAll(const std::vector<std::string>& from, const std::vector<std::string>& to) {
  for (size_t i = 0; i < from.size(); ++i) {
    if (::renameat2(AT_FDCWD, from[i].c_str(), AT_FDCWD, to[i].c_str(), RENAME_NOREPLACE) != 0) {
      Fail("renameat2 " + from[i]);
    }
  }
}

void RenameBench(const std::string& parent, QWidget* owner, const std::string& journalPath) {
  const std::string folder = MakeFolder(parent);
  if (::chdir(folder.c_str()) != 0) Fail("chdir " + folder);
  CommandParameters params;
  params.RenameName = "r";
  params.RenameDigits = 6;
  std::vector<std::string> oldNames, newNames;
  for (int i = 0; i < kRenameFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "f%06d.dat", i);
    oldNames.push_back(name);
    newNames.push_back(relabo::TransformName(name, relabo::kRenameFiles, params, i));
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 || ::close(fd) != 0) Fail(std::string("create ") + name);
  }
  const AllMarked entries(oldNames);
  auto runBatch = [&](QWidget* window, bool withProgress) {
    const BatchOutcome outcome =
        withProgress ? RunWithProgress(entries, relabo::kRenameFiles, params, window) : [&] {
          NullProgress none;
          return RunBatch(entries, relabo::kRenameFiles, params, none);
        }();
    if (outcome.succeeded != kRenameFiles) {
      throw std::runtime_error("batch renamed " + std::to_string(outcome.succeeded));
    }
  };
  auto recorded = [&](QWidget* window, bool withProgress) {
    const BatchOutcome outcome = RunRecorded(entries, relabo::kRenameFiles, params, window,
                                             withProgress, journalPath);
    if (outcome.succeeded != kRenameFiles) {
      throw std::runtime_error("recorded batch renamed " + std::to_string(outcome.succeeded));
    }
  };
  double bare = 1e9, batch = 1e9, bareBatch = 1e9, journaled = 1e9, bareJournaled = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    bare = std::min(bare, Seconds([&] { RenameAll(oldNames, newNames); }));
    RenameAll(newNames, oldNames);
    batch = std::min(batch, Seconds([&] { runBatch(owner, true); }));
    RenameAll(newNames, oldNames);
    bareBatch = std::min(bareBatch, Seconds([&] { runBatch(nullptr, false); }));
    RenameAll(newNames, oldNames);
    journaled = std::min(journaled, Seconds([&] { recorded(owner, true); }));
    RenameAll(newNames, oldNames);
    bareJournaled = std::min(bareJournaled, Seconds([&] { recorded(nullptr, false); }));
    RenameAll(newNames, oldNames);
  }
  std::printf(
      "rename %d files in %s: runner %.3f s, renameat2 loop %.3f s, ratio %.2f "
      "(runner without a progress window %.3f s, ratio %.2f)\n",
      kRenameFiles, parent.c_str(), batch, bare, batch / bare, bareBatch, bareBatch / bare);
  std::printf(
      "  planned and recorded in the journal: %.3f s, ratio %.2f (without a progress window "
      "%.3f s, ratio %.2f); journal %.1f MB\n",
      journaled, journaled / bare, bareJournaled, bareJournaled / bare,
      double(std::filesystem::file_size(journalPath)) / 1e6);
  std::filesystem::current_path("/");
  std::filesystem::remove_all(folder);
}

void CopyBench(const std::string& parent, QWidget* owner) {
  const std::string folder = MakeFolder(parent);
  if (::chdir(folder.c_str()) != 0) Fail("chdir " + folder);
  std::vector<std::string> names;
  std::string bytes(kCopyBytes, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char((i * 2654435761u) >> 13);
  for (int i = 0; i < kCopyFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "s%03d.bin", i);
    names.push_back(name);
    bytes[0] = char(i);
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()) ||
        ::close(fd) != 0) {
      Fail(std::string("create ") + name);
    }
  }
  const AllMarked entries(names);
  CommandParameters params;  // one copy each: sNNN001.bin
  const std::string cp = "mkdir -p cp && cp -- s???.bin cp/";
  double byCp = 1e9, batch = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    byCp = std::min(byCp, Seconds([&] {
                      if (std::system(cp.c_str()) != 0) throw std::runtime_error("cp failed");
                    }));
    std::filesystem::remove_all(folder + "/cp");
    batch = std::min(batch, Seconds([&] {
                       const BatchOutcome outcome =
                           RunWithProgress(entries, relabo::kCopyFiles, params, owner);
                       outcome.RethrowEnding();
                     }));
    for (const std::string& name : names) {
      std::filesystem::remove(folder + "/" + name.substr(0, 4) + "001.bin");
    }
  }
  std::printf("copy %d files of %zu MB in %s: runner %.3f s, cp %.3f s, ratio %.2f\n", kCopyFiles,
              kCopyBytes >> 20, parent.c_str(), batch, byCp, batch / byCp);
  std::filesystem::current_path("/");
  std::filesystem::remove_all(folder);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string disk = argc > 1 ? argv[1] : "/var/tmp";
  try {
#ifdef RELABO_BENCH_GUI
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QWidget owner;
    owner.resize(640, 480);
    owner.show();
    QWidget* const ownerWindow = &owner;
    std::printf("progress: the progress window, offscreen\n");
#else
    QWidget* const ownerWindow = nullptr;
    std::printf("progress: none (built without Qt)\n");
#endif
    const std::string state = MakeFolder(disk);
    for (const std::string& parent : {std::string("/dev/shm"), disk}) {
      RenameBench(parent, ownerWindow, state + "/journal");
    }
    std::filesystem::remove_all(state);
    for (const std::string& parent : {std::string("/dev/shm"), disk}) {
      CopyBench(parent, ownerWindow);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "relabo_batch_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
