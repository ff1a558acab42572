// SPDX-License-Identifier: GPL-3.0-or-later
// Time of the file list's sort over 100,000 realistic names: making the collator, computing the
// collation keys, then sorting the work store by name, size and date.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "filelist/file_sort.h"
#include "filelist/sort_string_list.h"

namespace {

using relabo::bench::AllMarked;
using relabo::bench::Median;
using relabo::bench::Milliseconds;

using namespace relabo;

std::vector<std::string> MakeNames(size_t count) {
  const char* stems[] = {
      "IMG_",     "Holiday Photo ",  "report-final ", "Überweisung ", "café menu ",
      "DSC",      "track ",          "Résumé.v2.",    "scan_2024-0",  "My Document ",
      "élan ",    "O'Brien letter ", "zeta&co ",      "Ärger ",       "naïve ",
      "invoice #"};
  const char* extensions[] = {".jpg", ".JPG", ".tar.gz", ".pdf", ".mp3", ".txt", "", ".docx"};
  std::mt19937 rng(1);
  std::vector<std::string> names;
  names.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    std::string name = stems[rng() % std::size(stems)];
    if (rng() % 4 == 0) name[0] = static_cast<char>(std::tolower(name[0]));
    name += std::to_string(rng() % 100000);
    if (rng() % 3 == 0) name += " (copy " + std::to_string(rng() % 9) + ")";
    name += extensions[rng() % std::size(extensions)];
    names.push_back(std::move(name));
  }
  return names;
}

}  // namespace

int main() {
  const std::vector<std::string> names = MakeNames(100000);
  std::mt19937 rng(2);
  std::deque<TEntryInfo> records(names.size());
  for (TEntryInfo& r : records) {
    r.Size = rng() % 100000000;
    r.Time = 40000 + (rng() % 5000) + (rng() % 86400) / 86400.0;
    r.Attr = (rng() % 2) ? 0x20 : 0x80;
  }
  // Making a collator builds the locale's tailoring; the process does it once.
  const NameCollator* shared = nullptr;
  const double made = Milliseconds([&] { shared = &NameCollator::Instance(); });
  std::printf("collator of the default locale made in %.1f ms\n", made);
  for (const char* locale : {"sv", "ja", "zh"}) {
    const double took = Milliseconds([&] { NameCollator other(locale); });
    std::printf("collator of %s made in %.1f ms\n", locale, took);
  }
  const NameCollator& collator = *shared;
  std::vector<double> keyTimes;
  for (int round = 0; round < 5; ++round) {
    keyTimes.push_back(Milliseconds([&] {
      for (size_t i = 0; i < names.size(); ++i) records[i].SortKey = collator.SortKey(names[i]);
    }));
  }
  std::sort(keyTimes.begin(), keyTimes.end());
  size_t keyBytes = 0;
  for (const TEntryInfo& r : records) keyBytes += r.SortKey.size();
  std::printf("sort keys of %zu names: best %.1f ms, median %.1f ms, %.1f bytes a key\n",
              names.size(), keyTimes.front(), keyTimes[keyTimes.size() / 2],
              static_cast<double>(keyBytes) / names.size());

  // Each sort starts from the scan's order (random here); the best and the median of a few
  // rounds, since the machine may be busy.
  TSortStringList store;
  for (size_t i = 0; i < names.size(); ++i) store.AddObject(names[i], &records[i]);
  const std::vector<TSortStringList::Item> scanned = store.Items();
  const ScanBlocks noFolders;
  struct Run {
    const char* name;
    SortSettings settings;
  } runs[] = {
      {"by name", {fiFileName, soAscending, sfAlwaysByName}},
      {"by name descending", {fiFileName, soDescending, sfAlwaysByName}},
      {"by size", {fiSize, soAscending, sfAlwaysByName}},
      {"by date", {fiDate, soDescending, sfAlwaysByName}},
      {"by time", {fiTime, soAscending, sfAlwaysByName}},
      {"by attributes", {fiAttribute, soAscending, sfAlwaysByName}},
  };
  for (const Run& run : runs) {
    std::vector<double> times;
    for (int round = 0; round < 7; ++round) {
      store.Items() = scanned;
      times.push_back(Milliseconds([&] { SortItems(store, noFolders, run.settings); }));
    }
    std::sort(times.begin(), times.end());
    std::printf("SortItems %-20s best %5.1f ms, median %5.1f ms\n", run.name, times.front(),
                times[times.size() / 2]);
  }
  // Resorting: from the name order to another key.
  SortItems(store, noFolders, runs[0].settings);
  const double resort = Milliseconds([&] { SortItems(store, noFolders, runs[2].settings); });
  std::printf("resort from name to size: %.1f ms\n", resort);

  std::vector<int> shuffled(names.size());
  for (size_t i = 0; i < shuffled.size(); ++i) shuffled[i] = static_cast<int>(i);
  std::shuffle(shuffled.begin(), shuffled.end(), rng);
  TSortStringList fresh;
  for (int i : shuffled) fresh.AddObject(names[i], &records[i]);
  const double direct = Milliseconds([&] {
    fresh.OnCompare = [&fresh, &collator](int i, int j) {
      return collator.Compare(fresh.Items()[i].text, fresh.Items()[j].text);
    };
    fresh.SortRange(0, fresh.Count() - 1);
  });
  std::printf("for comparison, direct collation in the sort: %.1f ms\n", direct);
  return 0;
}
