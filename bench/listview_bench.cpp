// SPDX-License-Identifier: GPL-3.0-or-later
// Time of filling the file list widget with 100,000 entries and painting its first screen
// offscreen, of scrolling through all of them page by page, and of marking every other entry.
// Run by hand: build/bench/relabo_listview_bench [count]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QPixmap>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "filelist/file_list_box.h"

namespace {

using relabo::bench::AllMarked;
using relabo::bench::Median;
using relabo::bench::Milliseconds;

using namespace relabo;

std::string MakeFolder() {
  for (const char* base : {"/dev/shm", "/tmp"}) {
    std::string pattern = std::string(base) + "/relabo-listview-bench-XXXXXX";
    if (::mkdtemp(pattern.data())) return pattern;
  }
  std::perror("mkdtemp");
  std::exit(1);
}

// Realistic names of varied length and type, sparse sizes up to 8 GB, times over some years.
void CreateFiles(const std::string& folder, size_t count) {
  const char* stems[] = {"IMG_",          "Holiday Photo from the long summer trip ",
                         "report-final ", "Überweisung ",
                         "café menu ",    "DSC",
                         "track ",        "Résumé.v2.",
                         "scan_2024-",    "My Document "};
  const char* extensions[] = {".jpg", ".JPG", ".tar.gz", ".pdf", ".mp3", ".txt", "", ".docx"};
  std::mt19937_64 rng(1);
  for (size_t i = 0; i < count; ++i) {
    const std::string name = folder + "/" + stems[rng() % std::size(stems)] + std::to_string(i) +
                             extensions[rng() % std::size(extensions)];
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(rng() % 8000000000ull)) != 0) {
      std::perror(name.c_str());
      std::exit(1);
    }
    const time_t t = 1300000000 + static_cast<time_t>(rng() % 400000000);
    const timespec times[2] = {{t, 0}, {t, 0}};
    ::futimens(fd, times);
    ::close(fd);
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  QApplication app(argc, argv);
  QApplication::setStyle(QStringLiteral("Fusion"));

  const std::string folder = MakeFolder();
  std::printf("creating %zu files in %s ...\n", count, folder.c_str());
  CreateFiles(folder, count);
  if (::chdir(folder.c_str()) != 0) return 1;

  {
    // The main window's list.
    TXFileListBox list;
    list.SetMultiSelect(true);
    list.SetWidthFileName(235);
    list.SetDateFormat("YY-MM-DD");
    list.resize(list.width(), 197);
    list.show();

    const double scan = Milliseconds([&] { list.Activate(); });
    // The view lays its rows out when the event loop runs next.
    const double firstPaint = Milliseconds([&] {
      QApplication::processEvents();
      list.viewport()->grab();
    });
    std::printf("%d entries: first scan (read, sort, model) %.1f ms, first screen %.1f ms\n",
                list.Count(), scan, firstPaint);

    // The model taking the entries anew and the first screen painted, as after every scan.
    std::vector<double> fills;
    for (int run = 0; run < 7; ++run) {
      fills.push_back(Milliseconds([&] {
        list.ItemsAboutToBeReplaced();
        list.ItemsReplaced();
        QApplication::processEvents();
        list.viewport()->grab();
      }));
    }
    std::printf("model reset + first screen painted: %.2f ms (median of 7; target <= 50 ms)\n",
                Median(fills));
    std::vector<double> resets, layouts, paints;
    for (int run = 0; run < 7; ++run) {
      resets.push_back(Milliseconds([&] {
        list.ItemsAboutToBeReplaced();
        list.ItemsReplaced();
      }));
      layouts.push_back(Milliseconds([&] { QApplication::processEvents(); }));
      paints.push_back(Milliseconds([&] { list.viewport()->grab(); }));
    }
    std::printf("  of which reset %.2f ms, layout %.2f ms, paint %.2f ms\n", Median(resets),
                Median(layouts), Median(paints));

    const int rows = std::max(1, list.viewport()->height() / list.ItemHeight());
    for (const char* pass : {"first pass (icons fetched)", "second pass (icons cached)"}) {
      int pages = 0;
      const double scroll = Milliseconds([&] {
        for (int top = 0; top < list.Count(); top += rows, ++pages) {
          list.SetTopIndex(top);
          list.viewport()->grab();
        }
      });
      std::printf("scroll through all, %s: %d pages of %d rows, %.0f ms, %.3f ms a page\n", pass,
                  pages, rows, scroll, scroll / pages);
    }
    std::printf("desktop icons fetched: %d\n", list.IconCacheCount());

    int marked = 0;
    const double mark = Milliseconds([&] {
      list.BeginItemsUpdate();
      for (int i = 0; i < list.Count(); i += 2) list.SetMarked(i, true);
      list.EndItemsUpdate();
    });
    const double countMarks = Milliseconds([&] {
      marked = 0;
      for (int i = 0; i < list.Count(); ++i) marked += list.IsMarked(i);
    });
    const double paintMarked = Milliseconds([&] { list.viewport()->grab(); });
    std::printf(
        "marking every other entry in one update: %.1f ms; IsMarked of all (%d) %.2f ms; "
        "screen %.2f ms\n",
        mark, marked, countMarks, paintMarked);
  }

  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
