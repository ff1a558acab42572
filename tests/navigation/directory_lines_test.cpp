// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigation/directory_lines.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "filelist/file_sort.h"
#include "tests/support/test_dir.h"

namespace relabo {
namespace {

const NameCollator& RootCollator() {
  static const NameCollator collator("");
  return collator;
}

// A line as "<level><kind letter> <name>": "2c photos" is the current folder at level 2,
// "a" an ancestor, "s" a subfolder.
std::vector<std::string> Describe(const std::vector<DirectoryLine>& lines) {
  std::vector<std::string> out;
  for (const DirectoryLine& line : lines) {
    out.push_back(std::to_string(line.level) + "sac"[int(line.kind)] + " " + line.name);
  }
  return out;
}

TEST(DirectoryLinesTest, ChainThenSubfoldersByNameIgnoringCase) {
  struct Case {
    const char* name;
    const char* folder;
    std::vector<std::string> subfolders;
    bool ignoresCase;
    std::vector<std::string> lines;
  };
  // clang-format off
  const Case kCases[] = {
      {"root", "/", {"usr", "bin", "Home"}, false, {"0c /", "1s bin", "1s Home", "1s usr"}},
      {"deep chain", "/home/ann/photos", {"b", "A"}, false,
       {"0a /", "1a home", "2a ann", "3c photos", "4s A", "4s b"}},
      {"no subfolders", "/srv", {}, false, {"0a /", "1c srv"}},
      {"hidden, . and .. left out", "/w", {".git", ".", "..", "src"}, false,
       {"0a /", "1c w", "2s src"}},
      {"ICU order, not bytes", "/", {"zeta", "Epsilon", "beta", "\xC3\xA9mile", "Alpha"}, false,
       {"0c /", "1s Alpha", "1s beta", "1s \xC3\xA9mile", "1s Epsilon", "1s zeta"}},
      {"case twins both listed where case counts", "/", {"DATA", "data2", "Data"}, false,
       {"0c /", "1s Data", "1s DATA", "1s data2"}},
      {"case twin dropped where case is ignored, first found kept", "/",
       {"DATA", "data2", "Data"}, true, {"0c /", "1s DATA", "1s data2"}},
      {"accented twins", "/", {"\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9"}, true,
       {"0c /", "1s \xC3\x89T\xC3\x89"}},
      {"punctuation makes no twin", "/", {"co-op", "coop", "CO OP"}, true,
       {"0c /", "1s CO OP", "1s co-op", "1s coop"}},
      {"invalid UTF-8 kept as bytes", "/x\xFE/y", {"bad\xFF", "ok"}, true,
       {"0a /", "1a x\xFE", "2c y", "3s bad\xFF", "3s ok"}},
      {"no folder, no lines", "", {"a"}, false, {}},
  };
  // clang-format on
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(
        Describe(ComputeDirectoryLines(c.folder, c.subfolders, c.ignoresCase, RootCollator())),
        c.lines);
    if (!c.ignoresCase) {
      // The order found on disk never shows.
      const std::vector<std::string> reversed(c.subfolders.rbegin(), c.subfolders.rend());
      EXPECT_EQ(Describe(ComputeDirectoryLines(c.folder, reversed, false, RootCollator())),
                c.lines);
    }
  }
}

TEST(DirectoryLinesTest, LinePathsAndCurrentLine) {
  const std::string folder = "/home/ann";
  const std::vector<DirectoryLine> lines =
      ComputeDirectoryLines(folder, {"Mail", "b\xFF"}, false, RootCollator());
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(CurrentLineIndex(lines), 2);
  const std::vector<std::string> paths = {"/", "/home", "/home/ann", "/home/ann/b\xFF",
                                          "/home/ann/Mail"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(DirectoryLinePath(folder, lines, i), paths[size_t(i)]);
  EXPECT_EQ(DirectoryLinePath(folder, lines, 5), "");
  EXPECT_EQ(DirectoryLinePath(folder, lines, -1), "");

  const std::vector<DirectoryLine> root =
      ComputeDirectoryLines("/", {"tmp"}, false, RootCollator());
  EXPECT_EQ(CurrentLineIndex(root), 0);
  EXPECT_EQ(DirectoryLinePath("/", root, 0), "/");
  EXPECT_EQ(DirectoryLinePath("/", root, 1), "/tmp");
  EXPECT_EQ(CurrentLineIndex({}), -1);
}

TEST(DirectoryLinesTest, ReadsFoldersAndLinksToFolders) {
  test::TestDir dir;
  dir.CreateFolder("a");
  dir.CreateFolder(".hidden");
  dir.CreateFolder("with\nnewline");
  dir.CreateFile("file.txt");
  dir.CreateSymlink("to-folder", dir.Path("a"));
  dir.CreateSymlink("to-file", dir.Path("file.txt"));
  dir.CreateSymlink("dangling", dir.Path("nothing"));
  std::vector<std::string> names = ReadSubfolderNames(dir.Root());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".hidden", "a", "to-folder", "with\nnewline"}));
  EXPECT_TRUE(ReadSubfolderNames(dir.Path("missing")).empty());
}

TEST(DirectoryLinesTest, VolumeInformation) {
  test::TestDir dir;
  dir.CreateFolder("Probe");
  const VolumeCaseInfo info = ReadVolumeCaseInfo(dir.Root());
  EXPECT_TRUE(info.readable);
  // Whatever the machine's temporary folder is, the answer must match what it does.
  struct stat st;
  EXPECT_EQ(info.ignoresCase, ::stat(dir.Path("PROBE").c_str(), &st) == 0);
  EXPECT_FALSE(ReadVolumeCaseInfo(dir.Path("missing")).readable);
}

}  // namespace
}  // namespace relabo
