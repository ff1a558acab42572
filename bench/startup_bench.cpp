// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up to the first painted window, with a folder of 10,000 files stored as the last
// folder. Run by hand: build/bench/relabo_startup_bench [runs] [entries] [folder]; with a
// folder, that one is shown instead of one made of entries files.
// Each run is a fresh process (this program started again with --once), so every run pays
// for loading Qt, fonts and the folder like a real start.
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "filelist/file_list_box.h"
#include "ui/main_form.h"
#include "ui/settings.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// Notes when the file list is first painted, and ends the event loop once it has been painted
// with its folder read completely.
class Paints : public QObject {
 public:
  explicit Paints(const relabo::TXFileListBox& list) : m_list(list) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      if (m_first == Clock::time_point()) m_first = Clock::now();
      if (!m_list.Reading() && !m_complete) {
        m_complete = true;
        // Queued, so the paint itself is done when the loop ends.
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
      }
    }
    return QObject::eventFilter(watched, event);
  }
  Clock::time_point First() const { return m_first; }

 private:
  const relabo::TXFileListBox& m_list;
  Clock::time_point m_first;
  bool m_complete = false;
};

int RunOnce(int argc, char** argv, const std::string& settingsFile) {
  const Clock::time_point start = Clock::now();
  QApplication app(argc, argv);
  const Clock::time_point appMade = Clock::now();
  relabo::TMainForm form(
      std::make_unique<relabo::SettingsStore>(QString::fromStdString(settingsFile)));
  const Clock::time_point formMade = Clock::now();
  Paints watcher(*form.Files());
  form.Files()->viewport()->installEventFilter(&watcher);
  form.show();
  app.exec();
  const Clock::time_point complete = Clock::now();
  // The monotonic clock is the same in every process, so the parent can count from the fork.
  const auto since = [](Clock::time_point at) {
    return std::chrono::duration<double, std::milli>(at.time_since_epoch()).count();
  };
  std::printf("%.1f %.1f %.1f %d %.3f %.3f\n", Ms(start, appMade), Ms(appMade, formMade),
              Ms(start, watcher.First()), form.Files()->Count(), since(watcher.First()),
              since(complete));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc >= 3 && std::strcmp(argv[1], "--once") == 0) {
    int qtArgc = 1;
    return RunOnce(qtArgc, argv, argv[2]);
  }
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  const int entries = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10000;

  std::string root = "/tmp/relabo-startup-XXXXXX";
  if (!::mkdtemp(root.data())) return 1;
  // A folder given is used as it stands (a million files take a while to make).
  const bool made = argc <= 3;
  const std::string folder = made ? root + "/folder" : argv[3];
  if (made) {
    std::filesystem::create_directory(folder);
    for (int i = 0; i < entries; ++i) {
      std::ofstream(folder + "/photo " + std::to_string(100000 + i) + ".jpg") << i;
    }
  }
  const std::string settingsFile = root + "/Relabo.conf";
  {
    relabo::SettingsStore store(QString::fromStdString(settingsFile));
    store.WriteString("Folder", "Directory", folder);
    store.Sync();
  }

  std::printf("start-up of %d runs, %d entries (offscreen)\n", runs, entries);
  std::printf("%5s %9s %11s %16s %16s %16s\n", "run", "app ms", "window ms", "main-paint ms",
              "exec-paint ms", "exec-complete ms");
  std::vector<double> firsts, completes;
  for (int run = 0; run < runs; ++run) {
    int pipes[2];
    if (::pipe(pipes) != 0) return 1;
    const double forkedAt =
        std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
    const pid_t child = ::fork();
    if (child == 0) {
      ::dup2(pipes[1], STDOUT_FILENO);
      ::close(pipes[0]);
      ::execl("/proc/self/exe", argv[0], "--once", settingsFile.c_str(), nullptr);
      ::_exit(127);
    }
    ::close(pipes[1]);
    std::string output;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(pipes[0], buffer, sizeof buffer)) > 0) output.append(buffer, size_t(n));
    ::close(pipes[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    double app = 0, window = 0, painted = 0, paintedAt = 0, completeAt = 0;
    int count = 0;
    if (std::sscanf(output.c_str(), "%lf %lf %lf %d %lf %lf", &app, &window, &painted, &count,
                    &paintedAt, &completeAt) != 6) {
      std::fprintf(stderr, "run %d failed: %s\n", run, output.c_str());
      continue;
    }
    std::printf("%5d %9.1f %11.1f %16.1f %16.1f %16.1f   (%d entries shown)\n", run + 1, app,
                window, painted, paintedAt - forkedAt, completeAt - forkedAt, count);
    firsts.push_back(paintedAt - forkedAt);
    completes.push_back(completeAt - forkedAt);
  }
  std::filesystem::remove_all(root);  // the settings, and the folder made
  if (firsts.empty()) return 1;
  const double first = relabo::bench::Median(firsts);
  std::printf("from exec to first paint:    median %8.1f ms  (%.2f x the 1 s anchor; target <= 1)\n",
              first, first / 1000.0);
  std::printf("from exec to complete list:  median %8.1f ms\n", relabo::bench::Median(completes));
  return 0;
}
