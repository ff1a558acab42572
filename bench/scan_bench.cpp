// SPDX-License-Identifier: GPL-3.0-or-later
// Time of reading a folder of 100,000 files into the file list, against a bare readdir +
// fstatat loop over the same folder, and of re-sorting the list by size and by date.
// Run by hand: build/bench/relabo_scan_bench [count] [rescans] [base]; with a number of rescans
// above 0 it only reads the folder that often after the first read, for a profiler (perf
// record). The folder is made in base (for a disk: /var/tmp), else in /dev/shm or /tmp.
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "filelist/folder_list.h"

namespace {

using relabo::bench::AllMarked;
using relabo::bench::BareScan;
using relabo::bench::Median;
using relabo::bench::Milliseconds;

using namespace relabo;

std::string MakeFolder(const char* given) {
  for (const char* base : {given, "/dev/shm", "/tmp"}) {
    if (!base) continue;
    std::string pattern = std::string(base) + "/relabo-scan-bench-XXXXXX";
    if (::mkdtemp(pattern.data())) return pattern;
  }
  std::perror("mkdtemp");
  std::exit(1);
}

// Realistic names, each made unique by its number; empty files with sizes (sparse) and times
// spread over some years, so that every sort key has something to order.
void CreateFiles(const std::string& folder, size_t count) {
  const char* stems[] = {"IMG_", "Holiday Photo ", "report-final ", "Überweisung ", "café menu ",
                         "DSC",  "track ",         "Résumé.v2.",    "scan_2024-",   "My Document "};
  const char* extensions[] = {".jpg", ".JPG", ".tar.gz", ".pdf", ".mp3", ".txt", "", ".docx"};
  std::mt19937 rng(1);
  for (size_t i = 0; i < count; ++i) {
    std::string name = folder + "/" + stems[rng() % std::size(stems)] + std::to_string(i) +
                       extensions[rng() % std::size(extensions)];
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 || ::ftruncate(fd, rng() % 10000000) != 0) {
      std::perror(name.c_str());
      std::exit(1);
    }
    const time_t t = 1300000000 + static_cast<time_t>(rng() % 400000000);
    const timespec times[2] = {{t, 0}, {t, 0}};
    ::futimens(fd, times);
    ::close(fd);
  }
}

// The process's resident memory now and at its peak since the peak was last reset, in bytes.
size_t StatusBytes(const char* field) {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return 0;
  char line[256];
  size_t kilobytes = 0;
  const size_t length = std::strlen(field);
  while (std::fgets(line, sizeof line, status)) {
    if (std::strncmp(line, field, length) == 0) kilobytes = std::strtoul(line + length, nullptr, 10);
  }
  std::fclose(status);
  return kilobytes * 1024;
}

// Starts a new peak of resident memory (Linux 4.0 on).
void ResetPeak() {
  if (FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", refs);
    std::fclose(refs);
  }
}

// Heap in use, the large blocks malloc maps on their own included.
size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  const long rescans = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 0;
  const std::string folder = MakeFolder(argc > 3 ? argv[3] : nullptr);
  std::printf("%zu files in %s\n", count, folder.c_str());
  CreateFiles(folder, count);
  if (::chdir(folder.c_str()) != 0) return 1;

  size_t sink = BareScan(folder);  // warm the caches

  // The collation data is loaded once per program, whatever the folder: it is not counted per
  // entry.
  sink += NameCollator::Instance().SortKey("warm").size();
  malloc_trim(0);
  const size_t residentBefore = StatusBytes("VmRSS:");
  const size_t heapBefore = HeapInUse();
  FolderList list;
  const double first = Milliseconds([&] { list.Activate(); });
  if (rescans > 0) {
    for (long i = rescans; i > 0; --i) list.Rescan();
    if (::chdir("/") != 0) return 1;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
  }
  const size_t heapAfter = HeapInUse();
  // Taken in turns, so that both see the same load of the machine.
  double bare = 1e300;
  double read = 1e300;
  for (int i = 0; i < 11; ++i) {
    bare = std::min(bare, Milliseconds([&] { sink += BareScan(folder); }));
    read = std::min(read, Milliseconds([&] { list.Rescan(); }));
  }

  // The peak of a re-read, when the old entries and the new ones may live side by side.
  malloc_trim(0);
  ResetPeak();
  list.Rescan();
  const size_t peak = StatusBytes("VmHWM:");

  const double bySize = Milliseconds([&] { list.SetSortBy(fiSize); });
  const double byDate = Milliseconds([&] { list.SetSortBy(fiDate); });
  const double byTime = Milliseconds([&] { list.SetSortBy(fiTime); });
  const double descending = Milliseconds([&] { list.SetSortOrder(soDescending); });
  const double byName = Milliseconds([&] { list.SetSortBy(fiFileName); });

  std::printf("entries listed:            %d\n", list.Count());
  std::printf("bare readdir + fstatat:    %8.1f ms\n", bare);
  std::printf("ReadFolder (scan + sort):  %8.1f ms  (%.2f x the bare loop; target <= 1.3)\n", read,
              read / bare);
  std::printf("Resort by size:            %8.1f ms\n", bySize);
  std::printf("Resort by date:            %8.1f ms\n", byDate);
  std::printf("Resort by time:            %8.1f ms\n", byTime);
  std::printf("Resort by time, descending:%8.1f ms\n", descending);
  std::printf("Resort by name (keys anew):%8.1f ms\n", byName);
  const double entries = std::max(1, list.Count());
  const double held = static_cast<double>(heapAfter - heapBefore) / entries;
  const double peakPerEntry = static_cast<double>(peak - residentBefore) / entries;
  std::printf("heap held by the list:     %8.1f MB, %.0f bytes per entry (%.2f x 200; target <= 1)\n",
              static_cast<double>(heapAfter - heapBefore) / (1024.0 * 1024.0), held, held / 200);
  std::printf("peak of a re-read:         %8.1f MB, %.0f bytes per entry (%.2f x 200; target <= 1; "
              "resident)\n",
              static_cast<double>(peak - residentBefore) / (1024.0 * 1024.0), peakPerEntry,
              peakPerEntry / 200);
  std::printf("first ReadFolder:          %8.1f ms  (%.2f x the bare loop)\n", first, first / bare);

  if (::chdir("/") != 0) return 1;
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return sink == 42 ? 2 : 0;
}
