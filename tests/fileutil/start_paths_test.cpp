// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileutil/start_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/test_dir.h"

namespace relabo {
namespace {

using Names = std::vector<std::string>;

TEST(ResolveStartPathsTest, FolderOfTheFirstAndItsEntriesMarked) {
  test::TestDir dir;
  dir.CreateFile("a.txt");
  dir.CreateFile("b.txt");
  dir.CreateFile("sub/c.txt");
  dir.CreateFolder("other");
  ASSERT_EQ(::symlink((dir.Root() + "/sub").c_str(), dir.Path("link").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", dir.Path("dangling").c_str()), 0);
  const std::string root = dir.Root();
  struct Case {
    const char* name;
    Names paths;
    std::string folder;
    Names marked;
    Names missing;
    Names leftOut;
  };
  const Case cases[] = {
      {"a folder alone", {root + "/sub"}, root + "/sub", {}, {}, {}},
      {"a relative folder", {"sub"}, root + "/sub", {}, {}, {}},
      {"files of one folder", {"a.txt", root + "/b.txt"}, root, {"a.txt", "b.txt"}, {}, {}},
      {"a file of another folder is left out", {"a.txt", "sub/c.txt"}, root, {"a.txt"}, {},
       {"sub/c.txt"}},
      {"the folder of the first decides", {"sub/c.txt", "a.txt"}, root + "/sub", {"c.txt"}, {},
       {"a.txt"}},
      {"missing paths are told, the rest opens", {"gone.txt", "b.txt"}, root, {"b.txt"},
       {"gone.txt"}, {}},
      {"nothing that exists", {"gone", "gone/too"}, "", {}, {"gone", "gone/too"}, {}},
      {"several folders are entries of their folder", {"sub", "other"}, root, {"sub", "other"},
       {}, {}},
      {"a link is kept as walked", {"link/c.txt"}, root + "/link", {"c.txt"}, {}, {}},
      {"a dangling link is an entry", {"dangling"}, root, {"dangling"}, {}, {}},
      {"dots are walked", {"sub/../a.txt", "./a.txt"}, root, {"a.txt"}, {}, {}},
      {"the root alone", {"/"}, "/", {}, {}, {}},
      {"no paths", {}, "", {}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const StartPaths start = ResolveStartPaths(c.paths, root);
    EXPECT_EQ(start.folder, c.folder);
    EXPECT_EQ(start.marked, c.marked);
    EXPECT_EQ(start.missing, c.missing);
    EXPECT_EQ(start.leftOut, c.leftOut);
  }
}

}  // namespace
}  // namespace relabo
