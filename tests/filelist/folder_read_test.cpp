// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/folder_read.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "filelist/folder_list.h"
#include "filelist/name_filter.h"
#include "fileutil/error.h"
#include "tests/support/test_dir.h"

namespace relabo {
namespace {

using Texts = std::vector<std::string>;
using test::TestDir;

Texts TextsOf(const FolderList& list) {
  Texts texts;
  for (int i = 0; i < list.Count(); ++i) texts.push_back(list.ItemText(i));
  return texts;
}

// The names of a folder in the order the system lists them.
std::vector<std::string> ListedNames(const std::string& folder) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  while (const dirent* d = ::readdir(dir.get())) {
    const std::string name = d->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  return names;
}

// What a list shows, sorted again the way it always was: the entries put in the order of the
// scan's passes (the folders, then each pattern's files, in the order the system lists them)
// and given to SortItems with keys kept in the records.
Texts SortedTheKnownWay(const FolderList& list, const std::string& folder,
                        const SortSettings& settings) {
  std::multimap<std::string, TEntryInfo> records;
  for (int i = 0; i < list.Count(); ++i) records.emplace(list.ItemText(i), *list.ItemInfo(i));
  std::vector<std::pair<std::string, TEntryInfo>> taken;
  ScanBlocks blocks;
  const auto take = [&](const std::string& text) {
    auto found = records.find(text);
    if (found == records.end()) return false;
    taken.emplace_back(*found);
    records.erase(found);
    return true;
  };
  if (take("[..]")) blocks.parentIndex = 0;
  const std::vector<std::string> names = ListedNames(folder);
  for (const std::string& name : names) {
    if (!take("[" + name + "]")) continue;
    if (blocks.firstFolder == -1) blocks.firstFolder = static_cast<int>(taken.size()) - 1;
    blocks.lastFolder = static_cast<int>(taken.size()) - 1;
  }
  const std::string& mask = list.Mask();
  for (size_t begin = 0;;) {
    const size_t end = std::min(mask.find(';', begin), mask.size());
    const std::string pattern = mask.substr(begin, end - begin);
    for (const std::string& name : names) {
      if (FilterMatches(name, pattern)) take(name);
    }
    if (end == mask.size()) break;
    begin = end + 1;
  }
  EXPECT_TRUE(records.empty()) << "an entry the passes do not take: " << records.begin()->first;

  std::deque<TEntryInfo> kept;
  TSortStringList store;
  for (auto& [text, info] : taken) {
    info.SortKey.clear();
    kept.push_back(info);
    store.AddObject(text, &kept.back());
  }
  SortItems(store, blocks, settings, /*keepKeys=*/true);
  Texts texts;
  for (int i = 0; i < store.Count(); ++i) texts.push_back(store.Get(i));
  return texts;
}

// A folder large enough to be looked up in two halves, with names that test the name sort:
// names equal but for case or an ignorable hyphen, numbers, accents, bytes that are not
// UTF-8, hidden entries, folders among the files and links to both.
class FolderReadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = new TestDir("/dev/shm");
    const char* stems[] = {"co-op", "coop", "Coop", "COOP", "file", "File-", "résumé", "resume",
                           "Résumé", "\xff\xfe", "img_", ".hidden", "a", "a-", "A"};
    const char* tails[] = {"", ".txt", ".TXT", ".tar.gz", "-", " (copy)", ".jpg"};
    std::mt19937 rng(7);
    // Made as folders at the end.
    std::set<std::string> made = {"a", "a-"};
    for (int i = 0; made.size() < 25000; ++i) {
      std::string name = stems[rng() % std::size(stems)];
      if (rng() % 3 != 0) name += std::to_string(rng() % 20000);
      name += tails[rng() % std::size(tails)];
      if (!made.insert(name).second) continue;
      const std::time_t time = 1300000000 + static_cast<std::time_t>(rng() % 4) * 86400 * 400;
      if (i % 40 == 0) {
        s_dir->CreateFolder(name);
      } else {
        s_dir->CreateFile(name, std::string(rng() % 4, 'x'), time);
      }
    }
    s_dir->CreateSymlink("link to a folder", s_dir->Path("a"));
    s_dir->CreateSymlink("dangling link", s_dir->Path("nothing here"));
    s_dir->CreateFolder("a");
    s_dir->CreateFolder("a-");
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
  }
  void SetUp() override { ASSERT_EQ(::chdir(s_dir->Root().c_str()), 0); }
  void TearDown() override {
    if (::chdir("/") != 0) ADD_FAILURE() << "cannot leave the folder";
  }

  static TestDir* s_dir;
};
TestDir* FolderReadTest::s_dir = nullptr;

TEST_F(FolderReadTest, OrderIsThatOfTheKeysKeptInTheRecords) {
  struct Case {
    const char* name;
    SortSettings settings;
    const char* mask;
    TXFileType fileType = kDefaultFileType;
  } cases[] = {
      {"by name", {fiFileName, soAscending, sfAlwaysByName}, "*.*"},
      {"by name, descending", {fiFileName, soDescending, sfAlwaysByName}, "*.*"},
      {"folders like files, descending", {fiFileName, soDescending, sfLikeFiles}, "*.*"},
      {"numbers by value", {fiFileName, soAscending, sfAlwaysByName, true}, "*.*"},
      {"by size, folders by name", {fiSize, soAscending, sfAlwaysByName}, "*.*"},
      {"by date, folders too", {fiDate, soDescending, sfLikeFiles}, "*.*"},
      {"two patterns", {fiFileName, soAscending, sfAlwaysByName}, "*.txt;co*"},
      {"a file taken twice", {fiFileName, soAscending, sfAlwaysByName}, "*.txt;*.TXT;a*"},
      {"taken twice, by size", {fiSize, soDescending, sfLikeFiles}, "*.txt;*.TXT"},
      {"hidden ones too", {fiFileName, soAscending, sfAlwaysByName}, "*",
       TXFileType{xftNormal, xftDirectory, xftHidden, xftReadOnly, xftArchive}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FolderList list;
    list.SetMask(c.mask);
    list.SetFileType(c.fileType);
    list.SetSortBy(c.settings.sortBy);
    list.SetSortOrder(c.settings.sortOrder);
    list.SetSortFolders(c.settings.sortFolders);
    list.SetNumericSort(c.settings.numeric);
    list.Activate();
    ASSERT_GT(list.Count(), 100);
    EXPECT_EQ(TextsOf(list), SortedTheKnownWay(list, s_dir->Root(), c.settings));
    for (int i = 0; i < list.Count(); ++i) {
      ASSERT_TRUE(list.ItemInfo(i)->SortKey.empty()) << "a key kept after the sort";
    }
    // The name sort is total, so sorting again with keys made anew changes nothing.
    if (c.settings.sortBy == fiFileName) {
      const Texts before = TextsOf(list);
      list.Resort();
      EXPECT_EQ(TextsOf(list), before);
    }
  }
}

// The texts and records of a scan, to compare two scans by.
std::vector<std::string> Described(const FolderScan& scan) {
  std::vector<std::string> rows;
  for (const TSortStringList::Item& item : scan.items) {
    const auto* info = static_cast<const TEntryInfo*>(item.object);
    rows.push_back(item.text + " " + std::to_string(info->Time) + " " +
                   std::to_string(info->Size) + " " + std::to_string(info->Attr) + " " +
                   std::to_string(info->GlyphCode) + " " + std::to_string(info->NameLength));
  }
  return rows;
}

TEST_F(FolderReadTest, LookingUpBehindTheReadGivesWhatLookingUpAfterItGives) {
  struct Case {
    const char* name;
    const char* mask;
    TXFileType fileType = kDefaultFileType;
    TFileItem sortBy = fiFileName;
  } cases[] = {
      {"every entry", "*.*"},
      {"two patterns, by size", "*.txt;co*", kDefaultFileType, fiSize},
      {"hidden ones too", "*", TXFileType{xftNormal, xftDirectory, xftHidden}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScanRequest request;
    request.mask = c.mask;
    request.fileType = c.fileType;
    request.sort.sortBy = c.sortBy;
    request.parentPath = "/";
    ScannedFolder after = ReadFolderNames(s_dir->Root(), request.mask);
    const std::vector<std::string> expected = Described(BuildScan(after, request));
    ASSERT_GT(expected.size(), 100u);
    // More than once, as the two threads meet differently each time.
    for (int round = 0; round < 3; ++round) {
      ReadProgress progress;
      ScannedFolder behind = ReadFolderEntries(s_dir->Root(), request, &progress);
      EXPECT_TRUE(behind.lookedUp);
      EXPECT_TRUE(progress.allNames.load());
      EXPECT_EQ(progress.names.load(), behind.Count());
      EXPECT_EQ(progress.lookedUp.load(), behind.Count());
      EXPECT_EQ(Described(BuildScan(behind, request, &progress)), expected);
    }
  }
}

TEST_F(FolderReadTest, CancellingWhileLookingUpBehindTheReadNamesTheFolder) {
  ReadProgress progress;
  // Cancelled once the helper has begun, while names are still read.
  std::thread canceller([&] {
    while (progress.names.load() < 8192 && !progress.allNames.load()) std::this_thread::yield();
    progress.cancel = true;
  });
  try {
    ReadFolderEntries(s_dir->Root(), ScanRequest{}, &progress);
    canceller.join();
    // The read may have ended before the cancel came.
    EXPECT_TRUE(progress.allNames.load());
  } catch (const Error& error) {
    canceller.join();
    EXPECT_EQ(error.Code(), ECANCELED);
    EXPECT_NE(std::string(error.what()).find(s_dir->Root()), std::string::npos) << error.what();
  }
}

// A small folder entered for one test.
class SmallFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"a", "a-", "b.txt", "b-.txt"}) m_dir.CreateFolder(name);
    for (const char* name : {"A", "a.txt", "a-.txt", "c", "c-"}) m_dir.CreateFile(name);
    ASSERT_EQ(::chdir(m_dir.Root().c_str()), 0);
  }
  void TearDown() override {
    if (::chdir("/") != 0) ADD_FAILURE() << "cannot leave the folder";
  }
  TestDir m_dir;
};

TEST_F(SmallFolder, NamesOfTheSameKeyOrderByTheirShownText) {
  // A hyphen counts only where nothing else differs, and here nothing does: the bytes of the
  // shown texts decide, so folders compare with their brackets ("[a-]" before "[a]") and files
  // without ("c" before "c-").
  for (const TSortOrder order : {soAscending, soDescending}) {
    FolderList list;
    list.SetSortOrder(order);
    list.SetSortFolders(sfLikeFiles);
    list.Activate();
    Texts expected = {"[a-]", "[a]", "[b-.txt]", "[b.txt]"};
    Texts files = {"A", "a-.txt", "a.txt", "c", "c-"};
    if (order == soDescending) {
      std::reverse(expected.begin(), expected.end());
      std::reverse(files.begin(), files.end());
    }
    expected.insert(expected.begin(), "[..]");
    expected.insert(expected.end(), files.begin(), files.end());
    EXPECT_EQ(TextsOf(list), expected);
  }
}

TEST_F(SmallFolder, ProgressCountsTheNamesAndTheLookUps) {
  ScanRequest request;
  ReadProgress progress;
  ScannedFolder folder = ReadFolderNames(m_dir.Root(), request.mask, &progress);
  EXPECT_EQ(progress.names.load(), 9u);
  const FolderScan scan = BuildScan(folder, request, &progress);
  EXPECT_EQ(progress.lookedUp.load(), 9u);
  EXPECT_EQ(scan.items.size(), 9u);  // no parent entry asked for, every entry taken
  EXPECT_EQ(folder.Count(), 0u) << "the names were not given back";
}

TEST_F(SmallFolder, CancellingEndsTheReadWithAnError) {
  ScanRequest request;
  for (const bool whileLooking : {false, true}) {
    SCOPED_TRACE(whileLooking ? "looking up" : "reading names");
    ReadProgress progress;
    if (!whileLooking) progress.cancel = true;
    try {
      ScannedFolder folder = ReadFolderNames(m_dir.Root(), request.mask, &progress);
      progress.cancel = true;
      BuildScan(folder, request, &progress);
      ADD_FAILURE() << "no error";
    } catch (const Error& error) {
      EXPECT_EQ(error.Code(), ECANCELED);
    }
  }
}

// What a list shows after an ordinary first read of the working folder.
Texts ReadAtOnce() {
  FolderList list;
  list.Activate();
  return TextsOf(list);
}

TEST_F(SmallFolder, ABackgroundReadShowsWhatAReadAtOnceShows) {
  const Texts expected = ReadAtOnce();
  // Each way the read can end: waited for, shown by a command that needs the entries, dropped
  // by a read anew, and the list going while it reads.
  for (const char* how : {"finish", "go to the folder", "read anew", "destroy"}) {
    SCOPED_TRACE(how);
    BasicFolderListView view;
    auto list = std::make_unique<FolderList>(&view);
    int updates = 0;
    list->OnUpdateContent = [&] { ++updates; };
    const bool shown = list->ActivateInBackground(0);
    EXPECT_TRUE(list->Active());
    if (!shown) {
      EXPECT_TRUE(list->Reading());
      EXPECT_EQ(list->Count(), 0);
      EXPECT_EQ(view.BusyDepth(), 1);
    }
    const std::string name = how;
    if (name == "finish") {
      list->FinishRead();
    } else if (name == "go to the folder") {
      list->GoToPath(m_dir.Root());
    } else if (name == "read anew") {
      list->ReadFolder();
    } else {
      list.reset();
      continue;
    }
    EXPECT_FALSE(list->Reading());
    EXPECT_TRUE(list->ReadDone());
    EXPECT_EQ(TextsOf(*list), expected);
    EXPECT_EQ(view.BusyDepth(), 0);
    // A read shown before the read anew counts too.
    EXPECT_EQ(updates, shown && name == "read anew" ? 2 : 1);
  }
}

TEST(FolderRead, AnEntryThatVanishesBeforeItIsLookedUpIsLeftOut) {
  TestDir dir;
  dir.CreateFile("stays.txt");
  dir.CreateFile("goes.txt");
  dir.CreateFolder("goes too");
  ASSERT_EQ(::chdir(dir.Root().c_str()), 0);
  ScanRequest request;
  request.parentPath = "/";
  ScannedFolder folder = ReadFolderNames(dir.Root(), request.mask);
  ASSERT_EQ(folder.Count(), 3u);
  ASSERT_EQ(::unlink("goes.txt"), 0);
  ASSERT_EQ(::rmdir("goes too"), 0);
  const FolderScan scan = BuildScan(folder, request);
  ASSERT_EQ(scan.items.size(), 2u);
  EXPECT_EQ(scan.items[0].text, "[..]");
  EXPECT_EQ(scan.items[1].text, "stays.txt");
  EXPECT_EQ(scan.items[1].object, &scan.records[1]);
  EXPECT_EQ(scan.folderCount, 1);
  EXPECT_EQ(scan.fileCount, 1);
  EXPECT_EQ(scan.blocks.firstFolder, -1);
  ASSERT_EQ(::chdir("/"), 0);
}

}  // namespace
}  // namespace relabo
