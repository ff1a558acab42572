// SPDX-License-Identifier: GPL-3.0-or-later
// Names per second for each batch command, and mask matches per second, over 100,000
// realistic file names.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "engine/transform.h"
#include "fileutil/mask.h"

namespace {

std::vector<std::string> MakeNames(size_t count) {
  const char* stems[] = {"IMG_", "Holiday Photo ", "report-final", "Überweisung ", "café menu ",
                         "DSC",  "track ",         "Résumé.v2.",   "scan_2024-0",  "My Document "};
  const char* extensions[] = {".jpg", ".JPG", ".tar.gz", ".pdf", ".mp3", ".txt", "", ".docx"};
  std::mt19937 rng(1);
  std::vector<std::string> names;
  names.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    std::string name = stems[rng() % std::size(stems)];
    name += std::to_string(rng() % 100000);
    if (rng() % 3 == 0) name += " (copy " + std::to_string(rng() % 9) + ")";
    name += extensions[rng() % std::size(extensions)];
    names.push_back(std::move(name));
  }
  return names;
}

template <typename F>
double PerSecond(size_t count, int rounds, F&& body) {
  const auto start = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r) body();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return static_cast<double>(count) * rounds / took.count();
}

}  // namespace

int main() {
  using namespace relabo;
  const std::vector<std::string> names = MakeNames(100000);
  CommandParameters p;
  p.InsertString = "new_";
  p.InsertFrom = 3;
  p.RemoveNumber = 2;
  p.ReplaceOrigString = " ";
  p.ReplaceNewString = "_";
  p.ChangeString = "XY";
  p.ChangeFrom = 2;
  p.ChangeNumberPlus = 7;
  p.RenameName = "photo";
  p.RenameSeparator = "_";
  p.CopySeparator = "-";
  const char* commands[] = {"Insert / Add String", "Remove String", "Replace String",
                            "Change String",       "Change Case",   "Change Number",
                            "Rename Files",        "Copy Files"};

  size_t sink = 0;
  std::printf("%zu names, %zu bytes on average\n", names.size(), [&] {
    size_t bytes = 0;
    for (const auto& n : names) bytes += n.size();
    return bytes / names.size();
  }());
  for (int command = 0; command < 8; ++command) {
    const double rate = PerSecond(names.size(), 5, [&] {
      int32_t ordinal = 0;
      for (const auto& name : names) sink += TransformName(name, command, p, ordinal++).size();
    });
    std::printf("%-22s %12.0f names/s\n", commands[command], rate);
  }
  // Replace String with regular expressions: a simple one, one with a named group and a case
  // rule, and one that finds nothing in most names.
  struct RegexCase {
    const char* pattern;
    const char* replacement;
  };
  for (const RegexCase& c : {RegexCase{R"((\d+))", "<$1>"},
                             RegexCase{R"((?i)(?<stem>img|dsc)_?(\d+))", "${stem}-$2"},
                             RegexCase{R"(\(copy (\d)\)$)", "~$1"}}) {
    CommandParameters regex;
    regex.ReplaceRegex = true;
    regex.ReplaceOrigString = c.pattern;
    regex.ReplaceNewString = c.replacement;
    const double rate = PerSecond(names.size(), 5, [&] {
      for (const auto& name : names) sink += TransformName(name, kReplaceString, regex, 0).size();
    });
    std::printf("regex %-32s %12.0f names/s\n", c.pattern, rate);
  }

  for (const char* text : {"*.jpg", "img_*", "*[0-9]?.*", "*photo*(copy ?)*"}) {
    const TMask mask(text);
    const double rate = PerSecond(names.size(), 20, [&] {
      for (const auto& name : names) sink += mask.Matches(name);
    });
    std::printf("mask %-17s %12.0f matches/s\n", text, rate);
  }
  const double compiled = PerSecond(names.size(), 5, [&] {
    for (const auto& name : names) sink += MaskMatches(name, "*.jpg");
  });
  std::printf("%-22s %12.0f matches/s (compiling each time)\n", "MaskMatches *.jpg", compiled);
  // The matcher's bound: a mask with many stars on a name far longer than any real one takes
  // time in proportion to name length x mask length.
  const std::string huge(100000, 'a');
  const TMask stars("*a*a*a*a*a*b");
  const auto start = std::chrono::steady_clock::now();
  sink += stars.Matches(huge);
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  std::printf("mask *a*a*a*a*a*b on a 100000-character name: %.3f ms\n", took.count());
  return sink == 42 ? 1 : 0;
}
