// SPDX-License-Identifier: GPL-3.0-or-later
// Time from a keystroke in a page field to the preview's plan and its first screen painted,
// with 100,000 marked files, offscreen. Run by hand: build/bench/relabo_preview_bench [count]
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QPixmap>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "filelist/file_list_box.h"
#include "ui/preview_controller.h"

namespace {

using relabo::bench::AllMarked;
using relabo::bench::Median;
using relabo::bench::Milliseconds;

using namespace relabo;

std::string MakeFolder(size_t count) {
  std::string folder = "/dev/shm/relabo-preview-bench-XXXXXX";
  if (!::mkdtemp(folder.data())) {
    folder = "/tmp/relabo-preview-bench-XXXXXX";
    if (!::mkdtemp(folder.data())) std::exit(1);
  }
  for (size_t i = 0; i < count; ++i) {
    const std::string name = folder + "/IMG_" + std::to_string(i) + ".jpg";
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) std::exit(1);
    ::close(fd);
  }
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  QApplication app(argc, argv);
  const std::string folder = MakeFolder(count);
  if (::chdir(folder.c_str()) != 0) return 1;
  {
    TXFileListBox list;
    list.SetMultiSelect(true);
    list.SetShowPreview(true);
    list.resize(list.width(), 400);
    list.show();
    list.Activate();
    list.BeginItemsUpdate();
    for (int i = 0; i < list.Count(); ++i) list.SetMarked(i, list.ItemKind(i) == ekFile);
    list.EndItemsUpdate();

    struct Case {
      const char* name;
      int command;
    };
    for (const Case c : {Case{"Insert String", kInsertString}, Case{"Rename Files", kRenameFiles},
                         Case{"Change Number", kChangeNumber}}) {
      CommandParameters params;
      params.RenameName = "photo";
      TPreviewController preview(
          list, {[&] { return c.command; }, [&] { return params; }, [] { return false; }});
      preview.SetEnabled(true);
      preview.Update();  // the folder's names are read once, before the keystrokes
      std::vector<double> plans, screens;
      for (int key = 0; key < 9; ++key) {
        params.InsertString += char('a' + key);
        params.RenameName += char('a' + key);
        params.ChangeNumberPlus = key + 2;
        preview.Schedule();
        plans.push_back(Milliseconds([&] { preview.Update(); }));
        screens.push_back(Milliseconds([&] { list.viewport()->grab(); }));
      }
      // A change that alters nothing the plan is made of (the focus moving) plans nothing.
      std::vector<double> unchanged;
      for (int key = 0; key < 9; ++key) {
        preview.Schedule();
        unchanged.push_back(Milliseconds([&] { preview.Update(); }));
      }
      std::printf(
          "%s, %zu marked: keystroke to plan %.1f ms, to first screen %.1f ms more, nothing "
          "changed %.1f ms (median of 9; %s)\n",
          c.name, preview.Plan().operations.size(), Median(plans), Median(screens),
          Median(unchanged), preview.Summary().toUtf8().constData());
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
