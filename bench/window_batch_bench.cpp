// SPDX-License-Identifier: GPL-3.0-or-later
// A rename batch over every file of a large folder as the window runs it, from F9 until the
// window takes input again (plan, progress window, undo journal, the folder read again),
// against the anchor the bare system calls give in the same run: a renameat2 loop over the
// same names plus a readdir + fstatat loop over the folder.
// Run by hand: build/bench/relabo_window_batch_bench [files] [runs] [folder base]
// (default 100000 files, 3 runs, in /dev/shm; the undo journal is kept in /var/tmp, on the
// disk, as the user's is).
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "filelist/file_list_box.h"
#include "ui/actions.h"
#include "ui/command_pages.h"
#include "ui/main_form.h"
#include "ui/settings.h"

namespace {

using relabo::bench::Milliseconds;

std::string MakeFolder(const std::string& base, const char* name) {
  std::string pattern = base + "/" + name + "-XXXXXX";
  if (!::mkdtemp(pattern.data())) {
    std::perror(pattern.c_str());
    std::exit(1);
  }
  return pattern;
}

std::vector<std::string> CreateFiles(const std::string& folder, size_t count) {
  std::vector<std::string> names;
  for (size_t i = 0; i < count; ++i) {
    names.push_back("photo " + std::to_string(100000 + i) + ".jpg");
    const int fd = ::open((folder + "/" + names.back()).c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      std::perror(names.back().c_str());
      std::exit(1);
    }
    ::close(fd);
  }
  return names;
}

// Renames every name to prefix + name; the bare work of the batch.
void RenameAll(int dirFd, const std::vector<std::string>& names, const std::string& from,
               const std::string& to) {
  for (const std::string& name : names) {
    if (::renameat2(dirFd, (from + name).c_str(), dirFd, (to + name).c_str(), RENAME_NOREPLACE) !=
        0) {
      std::perror(name.c_str());
      std::exit(1);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const std::string base = argc > 3 ? argv[3] : "/dev/shm";
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string state = MakeFolder("/var/tmp", "relabo-window-batch-state");
  ::setenv("XDG_STATE_HOME", state.c_str(), 1);
  int qtArgc = 1;
  QApplication app(qtArgc, argv);

  std::printf("rename batch of %zu files from F9 until the window takes input, %d runs, in %s\n",
              count, runs, base.c_str());
  std::printf("%5s %12s %12s %12s %14s %8s\n", "run", "renameat2 ms", "scan ms", "anchor ms",
              "window F9 ms", "ratio");
  std::vector<double> ratios;
  size_t sink = 0;
  for (int run = 0; run < runs; ++run) {
    const std::string folder = MakeFolder(base, "relabo-window-batch");
    const std::vector<std::string> names = CreateFiles(folder, count);
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // The anchor on the same folder: rename every file, read the folder, and put the names
    // back for the window.
    const double bare = Milliseconds([&] { RenameAll(dirFd, names, "", "new "); });
    const double scan = Milliseconds([&] { sink += relabo::bench::BareScan(folder); });
    RenameAll(dirFd, names, "new ", "");
    ::close(dirFd);

    const std::string settings = folder + ".conf";
    {
      relabo::SettingsStore store(QString::fromStdString(settings));
      store.WriteString("Folder", "Directory", folder);
      store.Sync();
    }
    double window = 0;
    size_t shown = 0;
    {
      relabo::TMainForm form(std::make_unique<relabo::SettingsStore>(QString::fromStdString(settings)));
      form.show();
      while (form.Files()->Reading()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
      relabo::CommandParameters params;
      params.InsertString = "new ";
      params.InsertFrom = 1;
      form.Pages()->SetParameters(params);
      form.Action(relabo::ActionId::SelectAll)->trigger();
      QApplication::processEvents();
      window = Milliseconds([&] {
        form.Action(relabo::ActionId::Execute)->trigger();
        // What the window does before it waits for the user again.
        QApplication::processEvents();
      });
      shown = static_cast<size_t>(form.Files()->FileCount());
      if (form.Files()->ItemText(1).rfind("new ", 0) != 0) {
        std::fprintf(stderr, "the batch did not rename: %s\n", form.Files()->ItemText(1).c_str());
        return 1;
      }
    }
    const double anchor = bare + scan;
    std::printf("%5d %12.1f %12.1f %12.1f %14.1f %8.2f   (%zu files shown after)\n", run + 1, bare,
                scan, anchor, window, window / anchor, shown);
    ratios.push_back(window / anchor);
    std::filesystem::remove_all(folder);
    std::filesystem::remove(settings);
  }
  std::filesystem::remove_all(state);
  std::sort(ratios.begin(), ratios.end());
  std::printf("window F9 to input against renameat2 + scan: best %.2f x, median %.2f x "
              "(target <= 1.5)\n",
              ratios.front(), ratios[ratios.size() / 2]);
  return sink == 42 ? 2 : 0;
}
