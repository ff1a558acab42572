// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/folder_list.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fileutil/error.h"
#include "tests/support/test_dir.h"

namespace relabo {
namespace {

using Texts = std::vector<std::string>;

Texts TextsOf(const FolderList& list) {
  Texts texts;
  for (int i = 0; i < list.Count(); ++i) texts.push_back(list.ItemText(i));
  return texts;
}

Texts Sorted(Texts texts) {
  std::sort(texts.begin(), texts.end());
  return texts;
}

int IndexOf(const FolderList& list, const std::string& text) {
  for (int i = 0; i < list.Count(); ++i) {
    if (list.ItemText(i) == text) return i;
  }
  return -1;
}

// Runs checks in a child process that is not the super-user, for whom folder permissions do
// not apply: as root the child becomes nobody, so the test folders must be open to others.
// The child's failures are printed as usual; true when it passed all its checks.
bool PassesWithoutPrivileges(const std::function<void()>& checks) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    if (::geteuid() == 0) {
      const uid_t nobody = 65534;
      if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) {
        std::fprintf(stderr, "the child could not give up root\n");
        ::_exit(2);
      }
    }
    int code = 0;
    try {
      checks();
      code = ::testing::Test::HasFailure() ? 1 : 0;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "the child threw: %s\n", e.what());
      code = 3;
    }
    std::fflush(nullptr);
    ::_exit(code);
  }
  int status = 0;
  return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Sets HOME for one test and puts it back.
class HomeGuard {
 public:
  explicit HomeGuard(const std::string& home) {
    if (const char* old = std::getenv("HOME")) m_old = old;
    ::setenv("HOME", home.c_str(), 1);
  }
  ~HomeGuard() {
    if (m_old) {
      ::setenv("HOME", m_old->c_str(), 1);
    } else {
      ::unsetenv("HOME");
    }
  }

 private:
  std::optional<std::string> m_old;
};

class FolderListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }

  // A list whose Directory is folder, already read.
  std::unique_ptr<FolderList> ListAt(const std::string& folder, FolderListView* view = nullptr) {
    if (::chdir(folder.c_str()) != 0) ADD_FAILURE() << "chdir " << folder;
    auto list = std::make_unique<FolderList>(view);
    list->OnUpdateContent = [this] { ++m_updates; };
    list->OnChange = [this] { ++m_changes; };
    list->Activate();
    return list;
  }

  void MakeFifo(const std::string& rel) { ASSERT_EQ(::mkfifo(m_dir.Path(rel).c_str(), 0644), 0); }

  test::CurrentFolderGuard m_guard;
  test::TestDir m_dir;
  int m_updates = 0;
  int m_changes = 0;
};

TEST_F(FolderListTest, ParentThenFoldersThenFiles) {
  m_dir.CreateFolder("top/beta");
  m_dir.CreateFolder("top/alpha");
  m_dir.CreateFile("top/b.txt");
  m_dir.CreateFile("top/a.txt");
  auto list = ListAt(m_dir.Path("top"));
  EXPECT_EQ(TextsOf(*list), (Texts{"[..]", "[alpha]", "[beta]", "a.txt", "b.txt"}));
  EXPECT_EQ(list->FolderCount(), 3);
  EXPECT_EQ(list->FileCount(), 2);
  EXPECT_EQ(list->ItemKind(0), ekParentFolder);
  EXPECT_EQ(list->ItemKind(3), ekFile);
  EXPECT_EQ(list->ItemKind(5), ekNone);
  EXPECT_EQ(list->ItemInfo(5), nullptr);
  EXPECT_EQ(list->ItemName(1), "alpha");
  EXPECT_EQ(list->ItemPath(1), m_dir.Path("top/alpha"));
  EXPECT_EQ(list->ItemPath(-1), m_dir.Path("top") + "/");
  EXPECT_EQ(m_updates, 1);
  EXPECT_EQ(m_changes, 1);
}

TEST_F(FolderListTest, ParentEntryOnlyBelowTheRootAndWhenShown) {
  m_dir.CreateFolder("sub");
  auto list = ListAt("/");
  EXPECT_EQ(IndexOf(*list, "[..]"), -1);
  EXPECT_EQ(list->ItemKind(0), ekFolder);
  const int updates = m_updates;
  list->EnterParentFolder();
  EXPECT_EQ(m_updates, updates);
  EXPECT_EQ(list->Directory(), "/");

  list->ChangeFolder(m_dir.Root());
  EXPECT_EQ(TextsOf(*list), (Texts{"[..]", "[sub]"}));
  list->SetShowParentFolder(false);
  EXPECT_EQ(TextsOf(*list), (Texts{"[sub]"}));
  EXPECT_EQ(list->FolderCount(), 1);
}

TEST_F(FolderListTest, FileTypeFilters) {
  m_dir.CreateFolder("sub");
  m_dir.CreateFolder(".cfg");
  m_dir.CreateFile("plain.txt");
  m_dir.CreateFile(".hidden.txt");
  MakeFifo("pipe");
  struct Case {
    const char* name;
    TXFileType type;
    Texts texts;
  };
  const Case kCases[] = {
      {"default",
       kDefaultFileType,
       {"[..]", "[.cfg]", "[sub]", ".hidden.txt", "pipe", "plain.txt"}},
      {"without folders",
       TXFileType(kDefaultFileType).Exclude(xftDirectory),
       {".hidden.txt", "pipe", "plain.txt"}},
      {"without hidden: hidden folders stay",
       TXFileType(kDefaultFileType).Exclude(xftHidden),
       {"[..]", "[.cfg]", "[sub]", "pipe", "plain.txt"}},
      {"without system",
       TXFileType(kDefaultFileType).Exclude(xftSystem),
       {"[..]", "[.cfg]", "[sub]", ".hidden.txt", "plain.txt"}},
      {"normal only", {xftNormal}, {"plain.txt"}},
      {"system only", {xftSystem}, {"pipe"}},
      {"hidden only", {xftHidden}, {".hidden.txt"}},
      {"folders only", {xftDirectory}, {"[..]", "[.cfg]", "[sub]"}},
  };
  auto list = ListAt(m_dir.Root());
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    list->SetFileType(c.type);
    EXPECT_EQ(Sorted(TextsOf(*list)), Sorted(c.texts));
  }
  list->SetFileType(kDefaultFileType);
  EXPECT_EQ(list->ItemInfo(IndexOf(*list, "[.cfg]"))->GlyphCode, kGlyphFolderSystem);
  EXPECT_EQ(list->ItemInfo(IndexOf(*list, ".hidden.txt"))->Attr, kAttrHidden);
}

TEST(ReadOnlyTest, JudgedFromModeAndOwnership) {
  UserCredentials user;
  user.uid = 1000;
  user.gid = 100;
  user.groups = {100, 200};
  UserCredentials root;
  struct Case {
    const char* name;
    mode_t mode;
    uid_t owner;
    gid_t group;
    const UserCredentials& who;
    bool readOnly;
  };
  const Case kCases[] = {
      {"owner may not write, others may", 0466, 1000, 0, user, true},
      {"primary group", 0464, 5, 100, user, false},
      {"supplementary group may not write", 0646, 5, 200, user, true},
      {"others", 0442, 5, 300, user, false},
      {"root writes everything", 0444, 5, 300, root, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsReadOnlyFor(c.mode, c.owner, c.group, c.who), c.readOnly);
    const uint32_t attr = AttributeWordOf("f", S_IFREG | c.mode, c.owner, c.group, c.who);
    EXPECT_EQ(attr, c.readOnly ? kAttrReadOnly : kAttrNormal);
  }
  EXPECT_EQ(AttributeWordOf(".x", S_IFDIR | 0555, 1, 1, user),
            kAttrDirectory | kAttrHidden | kAttrReadOnly);
  EXPECT_EQ(AttributeWordOf("dev", S_IFCHR | 0666, 0, 0, user), kAttrSystem);
}

TEST_F(FolderListTest, ReadOnlyFileType) {
  if (::geteuid() == 0) GTEST_SKIP() << "the super-user may write every file";
  m_dir.CreateFile("locked.txt", "", -1, 0444);
  m_dir.CreateFile(".locked", "", -1, 0444);
  m_dir.CreateFile("open.txt");
  auto list = ListAt(m_dir.Root());
  list->SetFileType({xftReadOnly});
  EXPECT_EQ(TextsOf(*list), (Texts{"locked.txt"}));
  EXPECT_EQ(list->ItemInfo(0)->Attr, kAttrReadOnly);
}

TEST_F(FolderListTest, MaskPatterns) {
  m_dir.CreateFolder("sub");
  for (const char* name : {"a.txt", "abc.txt", "b.doc", "c.log", "README"}) m_dir.CreateFile(name);
  struct Case {
    const char* name;
    const char* mask;
    Texts files;
  };
  const Case kCases[] = {
      {"two patterns", "*.txt;*.doc", {"a.txt", "abc.txt", "b.doc"}},
      {"matching twice lists twice", "*.txt;a*", {"a.txt", "a.txt", "abc.txt", "abc.txt"}},
      {"empty last pattern adds nothing", "*.txt;", {"a.txt", "abc.txt"}},
      {"only separators", ";", {}},
      {"empty mask", "", {}},
      {"letters ignore case", "*.TXT", {"a.txt", "abc.txt"}},
      {"nothing trimmed", " *.txt", {}},
      {"star dot star", "*.*", {"README", "a.txt", "abc.txt", "b.doc", "c.log"}},
  };
  auto list = ListAt(m_dir.Root());
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    list->SetMask(c.mask);
    EXPECT_EQ(list->Mask(), c.mask);
    Texts expected = c.files;
    expected.push_back("[..]");
    expected.push_back("[sub]");
    EXPECT_EQ(Sorted(TextsOf(*list)), Sorted(expected));
    EXPECT_EQ(list->FileCount(), static_cast<int>(c.files.size()));
    EXPECT_EQ(list->FolderCount(), 2);
  }
  // Files of several patterns are sorted as one block (the dot before letters).
  list->SetMask("*.doc;*.txt");
  EXPECT_EQ(TextsOf(*list), (Texts{"[..]", "[sub]", "a.txt", "abc.txt", "b.doc"}));
}

TEST_F(FolderListTest, BuiltInGlyphsWithoutShellIcons) {
  struct Case {
    const char* name;
    int32_t code;
  };
  const Case kCases[] = {
      {"setup.EXE", kGlyphExeWin}, {"old.pif", kGlyphExeDos},    {"desk.lnk", kGlyphShortcut},
      {"b.Rar", kGlyphCompress},   {"plain.txt", kGlyphDefault}, {".hidden", kGlyphDefaultHidden},
      {".tool.exe", kGlyphExeWin},
  };
  for (const Case& c : kCases) m_dir.CreateFile(c.name);
  MakeFifo("pipe");
  auto list = ListAt(m_dir.Root());
  list->SetShellIcons(false);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const TEntryInfo* info = list->ItemInfo(IndexOf(*list, c.name));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GlyphCode, c.code);
  }
  EXPECT_EQ(list->ItemInfo(IndexOf(*list, "pipe"))->GlyphCode, kGlyphDefaultHidden);
}

TEST_F(FolderListTest, EntryRecords) {
  const std::time_t mtime = 3 * 86400 + 6 * 3600 + 30;  // 1970-01-04 06:00:30
  m_dir.CreateFile("data.bin", "12345", mtime);
  m_dir.CreateFolder("sub");
  const std::string big = m_dir.CreateFile("big.img");
  ASSERT_EQ(::truncate(big.c_str(), 5LL << 30), 0);
  m_dir.CreateFile("small.img", "x");
  auto list = ListAt(m_dir.Root());

  const TEntryInfo* data = list->ItemInfo(IndexOf(*list, "data.bin"));
  EXPECT_EQ(data->Size, 5u);
  EXPECT_DOUBLE_EQ(data->Time, 25569 + 3 + (6 * 3600 + 30) / 86400.0);
  EXPECT_EQ(data->NameLength, 8);
  EXPECT_EQ(list->ItemInfo(IndexOf(*list, "[sub]"))->NameLength, 5);
  EXPECT_EQ(list->ItemInfo(IndexOf(*list, "big.img"))->Size, 5ULL << 30);

  // All 64 bits count in the size sort.
  list->SetSortBy(fiSize);
  list->SetSortOrder(soDescending);
  EXPECT_EQ(list->ItemText(2), "big.img");
}

TEST_F(FolderListTest, NameLengthCountsCharacters) {
  struct Case {
    const char* name;
    std::string entry;
    bool folder;
    int32_t length;
  };
  const Case kCases[] = {
      {"ASCII", "plain.txt", false, 9},
      {"folder with its brackets", "sub", true, 5},
      {"two-byte letters", "été.txt", false, 7},
      {"folder with accents", "Été", true, 5},
      {"three-byte characters", "日本.txt", false, 6},
      {"four-byte character", "\U0001F600.png", false, 5},
      {"decomposed accent is two characters", "e\u0301.txt", false, 6},
      {"invalid bytes one each", "bad\xFF\xFE.txt", false, 9},
      {"lone continuation byte", "x\x80", false, 2},
      {"sequence cut short", "\xE6\x97.txt", false, 6},
      {"sequence cut at the end", "a\xE2\x82", false, 3},
      {"overlong form", "\xC0\xAF.txt", false, 6},
      {"encoded surrogate", "\xED\xA0\x80.txt", false, 7},
  };
  for (const Case& c : kCases) {
    if (c.folder) {
      m_dir.CreateFolder(c.entry);
    } else {
      m_dir.CreateFile(c.entry);
    }
  }
  auto list = ListAt(m_dir.Root());
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const TEntryInfo* info =
        list->ItemInfo(IndexOf(*list, c.folder ? "[" + c.entry + "]" : c.entry));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->NameLength, c.length);
  }
  EXPECT_EQ(list->ItemInfo(0)->NameLength, 4);  // "[..]"
}

TEST(DayCountTest, LocalTime) {
  struct Case {
    const char* name;
    const char* zone;
    std::time_t time;
    double days;
  };
  const Case kCases[] = {
      {"epoch", "UTC", 0, 25569},
      {"noon", "UTC", 12 * 3600, 25569.5},
      {"day origin", "UTC", -25569LL * 86400, 0},
      {"before 1970", "UTC", -86400 + 6 * 3600, 25568.25},
      {"two hours east", "XYZ-2", 0, 25569 + 2 / 24.0},
      {"east, across midnight", "XYZ-2", 23 * 3600, 25570 + 1 / 24.0},
      {"west, day before", "XYZ+5", 3600, 25568 + 20 / 24.0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ::setenv("TZ", c.zone, 1);
    ::tzset();
    EXPECT_DOUBLE_EQ(DayCountOf(c.time), c.days);
  }
  ::setenv("TZ", "UTC", 1);
  ::tzset();
}

TEST_F(FolderListTest, UnusualEntries) {
  m_dir.CreateFolder("sub");
  m_dir.CreateFolder("locked", 0);
  const std::string newline = "two\nlines.txt";
  const std::string invalid = "bad\xFF\xFE.txt";
  const std::string longName = std::string(251, 'n') + ".txt";
  for (const std::string& name : {newline, invalid, longName}) m_dir.CreateFile(name);
  m_dir.CreateSymlink("dangling", m_dir.Path("nowhere"));
  m_dir.CreateSymlink("loop1", m_dir.Path("loop2"));
  m_dir.CreateSymlink("loop2", m_dir.Path("loop1"));
  m_dir.CreateSymlink("tosub", m_dir.Path("sub"));
  MakeFifo("pipe");
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = m_dir.Path("sock");
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(sock);

  auto list = ListAt(m_dir.Root());
  EXPECT_EQ(Sorted(TextsOf(*list)),
            Sorted({"[..]", "[sub]", "[locked]", "[tosub]", newline, invalid, longName, "dangling",
                    "loop1", "loop2", "pipe", "sock"}));
  struct Case {
    std::string text;
    uint32_t attr;
  };
  const Case kCases[] = {
      {newline, kAttrNormal},    {invalid, kAttrNormal}, {longName, kAttrNormal},
      {"dangling", kAttrNormal}, {"loop1", kAttrNormal}, {"[tosub]", kAttrDirectory},
      {"pipe", kAttrSystem},     {"sock", kAttrSystem},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    const TEntryInfo* info = list->ItemInfo(IndexOf(*list, c.text));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->Attr & ~kAttrReadOnly, c.attr);
    EXPECT_EQ(info->NameLength, static_cast<int32_t>(c.text.size()));
  }
  EXPECT_EQ(list->ItemPath(IndexOf(*list, invalid)), m_dir.Path(invalid));
}

TEST_F(FolderListTest, ReadsOnlyWhenActiveAndOnRealChange) {
  m_dir.CreateFile("a.txt");
  ASSERT_EQ(::chdir(m_dir.Root().c_str()), 0);
  FolderList idle;
  EXPECT_EQ(idle.Directory(), m_dir.Root());
  idle.SetMask("*.txt");
  idle.Rescan();
  EXPECT_EQ(idle.Count(), 0);

  BasicFolderListView view;
  auto list = ListAt(m_dir.Root(), &view);
  const int updates = m_updates;
  list->SetMask("*.*");
  list->SetFileType(kDefaultFileType);
  list->SetShowParentFolder(true);
  list->SetShellIcons(true);
  list->SetSortBy(fiFileName);
  list->SetSortOrder(soAscending);
  list->SetSortFolders(sfAlwaysByName);
  EXPECT_EQ(m_updates, updates);
  EXPECT_EQ(view.Resets(), 1);
  list->SetMask("*.txt");
  EXPECT_EQ(m_updates, updates + 1);
}

TEST_F(FolderListTest, ResortKeepsRecordsAndTheirMarksAndFocus) {
  m_dir.CreateFolder("sub");
  m_dir.CreateFile("a.txt", "333");
  m_dir.CreateFile("b.txt", "1");
  m_dir.CreateFile("c.txt", "22");
  BasicFolderListView view;
  auto list = ListAt(m_dir.Root(), &view);
  std::vector<const TEntryInfo*> before;
  for (int i = 0; i < list->Count(); ++i) before.push_back(list->ItemInfo(i));
  view.SetMarked(2, true);
  view.SetFocused(2);
  const int changes = m_changes;
  const int updates = m_updates;

  list->SetSortBy(fiSize);
  EXPECT_EQ(TextsOf(*list), (Texts{"[..]", "[sub]", "b.txt", "c.txt", "a.txt"}));
  std::vector<const TEntryInfo*> after;
  for (int i = 0; i < list->Count(); ++i) after.push_back(list->ItemInfo(i));
  std::sort(before.begin(), before.end());
  std::sort(after.begin(), after.end());
  EXPECT_EQ(after, before);
  // a.txt, marked and focused at row 2, keeps both at its new row.
  EXPECT_EQ(view.MarkedCount(), 1);
  EXPECT_TRUE(view.IsMarked(4));
  EXPECT_EQ(view.Focused(), 4);
  EXPECT_EQ(m_changes, changes);
  EXPECT_EQ(m_updates, updates);

  list->SetSortOrder(soDescending);
  EXPECT_EQ(TextsOf(*list), (Texts{"[..]", "[sub]", "a.txt", "c.txt", "b.txt"}));
  EXPECT_TRUE(view.IsMarked(2));
  EXPECT_EQ(view.MarkedCount(), 1);
  EXPECT_EQ(view.Focused(), 2);
}

TEST_F(FolderListTest, NumericSortResortsAndKeepsMarksAndFocus) {
  m_dir.CreateFolder("disc10");
  m_dir.CreateFolder("disc9");
  for (const char* name : {"a10.txt", "a9.txt", "a1.txt"}) m_dir.CreateFile(name);
  BasicFolderListView view;
  auto list = ListAt(m_dir.Root(), &view);
  EXPECT_FALSE(list->NumericSort());
  const Texts plain{"[..]", "[disc10]", "[disc9]", "a1.txt", "a10.txt", "a9.txt"};
  ASSERT_EQ(TextsOf(*list), plain);
  view.SetMarked(IndexOf(*list, "a10.txt"), true);
  view.SetFocused(IndexOf(*list, "a9.txt"));
  const int changes = m_changes;

  list->SetNumericSort(true);
  EXPECT_TRUE(list->NumericSort());
  EXPECT_EQ(TextsOf(*list), (Texts{"[..]", "[disc9]", "[disc10]", "a1.txt", "a9.txt", "a10.txt"}));
  EXPECT_EQ(view.MarkedCount(), 1);
  EXPECT_TRUE(view.IsMarked(IndexOf(*list, "a10.txt")));
  EXPECT_EQ(view.Focused(), IndexOf(*list, "a9.txt"));
  list->SetSortOrder(soDescending);
  EXPECT_EQ(TextsOf(*list), (Texts{"[..]", "[disc9]", "[disc10]", "a10.txt", "a9.txt", "a1.txt"}));
  // A new scan keeps the setting.
  list->Rescan();
  EXPECT_EQ(TextsOf(*list), (Texts{"[..]", "[disc9]", "[disc10]", "a10.txt", "a9.txt", "a1.txt"}));

  // Off again, the keys of the plain sort come back.
  list->SetSortOrder(soAscending);
  list->SetNumericSort(false);
  EXPECT_EQ(TextsOf(*list), plain);
  EXPECT_EQ(m_changes, changes + 1);  // the rescan's; re-sorting tells nothing
}

TEST_F(FolderListTest, FailedScanLeavesEntries) {
  m_dir.CreateFile("gone/a.txt");
  BasicFolderListView view;
  auto list = ListAt(m_dir.Path("gone"), &view);
  const Texts before = TextsOf(*list);
  ASSERT_EQ(::unlink(m_dir.Path("gone/a.txt").c_str()), 0);
  ASSERT_EQ(::rmdir(m_dir.Path("gone").c_str()), 0);
  try {
    list->Rescan();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Code(), ENOENT);
    EXPECT_NE(std::string(e.what()).find(m_dir.Path("gone")), std::string::npos);
  }
  EXPECT_EQ(TextsOf(*list), before);
  EXPECT_EQ(view.Resets(), 1);
  EXPECT_EQ(view.BusyDepth(), 0);
}

TEST_F(FolderListTest, ChangeFolderMovesTheWorkingFolder) {
  m_dir.CreateFolder("sub");
  m_dir.CreateFolder("SUB");
  m_dir.CreateFile("sub/in-sub");
  m_dir.CreateFile("SUB/in-SUB");
  auto list = ListAt(m_dir.Root());

  list->ChangeFolder("sub");  // relative to Directory
  EXPECT_EQ(list->Directory(), m_dir.Path("sub"));
  EXPECT_EQ(test::CurrentFolderPath(), m_dir.Path("sub"));
  EXPECT_EQ(IndexOf(*list, "in-sub"), 1);

  // Paths differing in case are different folders.
  list->ChangeFolder(m_dir.Path("SUB"));
  EXPECT_EQ(IndexOf(*list, "in-SUB"), 1);

  // The same folder again: no scan.
  const int updates = m_updates;
  list->ChangeFolder(m_dir.Path("SUB"));
  EXPECT_EQ(m_updates, updates);

  // Every scan enters Directory again.
  ASSERT_EQ(::chdir("/"), 0);
  list->Rescan();
  EXPECT_EQ(test::CurrentFolderPath(), m_dir.Path("SUB"));

  // A folder that cannot be entered changes nothing.
  EXPECT_THROW(list->ChangeFolder("missing"), Error);
  EXPECT_EQ(list->Directory(), m_dir.Path("SUB"));
  EXPECT_EQ(test::CurrentFolderPath(), m_dir.Path("SUB"));
  EXPECT_EQ(IndexOf(*list, "in-SUB"), 1);
}

TEST_F(FolderListTest, UnreadableFolderChangesNothing) {
  m_dir.CreateFile("here.txt");
  m_dir.CreateFolder("closed", 0);
  ASSERT_EQ(::chmod(m_dir.Root().c_str(), 0755), 0);
  EXPECT_TRUE(PassesWithoutPrivileges([&] {
    auto list = ListAt(m_dir.Root());
    try {
      list->ChangeFolder("closed");
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.Code(), EACCES);
    }
    EXPECT_EQ(list->Directory(), m_dir.Root());
    EXPECT_EQ(test::CurrentFolderPath(), m_dir.Root());
    EXPECT_NE(IndexOf(*list, "here.txt"), -1);
    EXPECT_FALSE(list->CanGoBack());
  }));
}

// A folder that may be entered but not read opens with only its way back up, so that one
// above the folder the user wants does not keep them out of it.
TEST_F(FolderListTest, FolderThatCannotBeListedOpensEmpty) {
  struct Case {
    const char* name;
    mode_t mode;
  };
  const Case kCases[] = {{"write and enter", 0311}, {"enter only", 0111}};
  for (const Case& c : kCases) {
    m_dir.CreateFile(std::string("open/") + c.name + "/secret.txt");
    m_dir.CreateFile(std::string("open/") + c.name + "/deeper/inner.txt");
    ASSERT_EQ(::chmod(m_dir.Path(std::string("open/") + c.name).c_str(), c.mode), 0);
  }
  ASSERT_EQ(::chmod(m_dir.Root().c_str(), 0755), 0);
  EXPECT_TRUE(PassesWithoutPrivileges([&] {
    for (const Case& c : kCases) {
      SCOPED_TRACE(c.name);
      const std::string open = m_dir.Path("open");
      const std::string locked = open + "/" + c.name;
      BasicFolderListView view;
      auto list = ListAt(open, &view);
      EXPECT_FALSE(list->Unlisted());
      int contentUpdates = 0;
      list->OnUpdateContent = [&] { ++contentUpdates; };

      view.SetFocused(IndexOf(*list, std::string("[") + c.name + "]"));
      ASSERT_NO_THROW(list->OpenFocusedItem());
      EXPECT_EQ(list->Directory(), locked);
      EXPECT_EQ(test::CurrentFolderPath(), locked);
      EXPECT_TRUE(list->Unlisted());
      EXPECT_EQ(contentUpdates, 1);
      EXPECT_EQ(TextsOf(*list), (Texts{"[..]"}));
      EXPECT_EQ(list->FolderCount(), 1);
      EXPECT_EQ(list->FileCount(), 0);
      EXPECT_EQ(view.Focused(), 0);
      ASSERT_NO_THROW(list->Rescan());
      EXPECT_TRUE(list->Unlisted());

      // Only names the mask spells out can be shown, each by its exact bytes.
      struct MaskCase {
        const char* name;
        const char* mask;
        Texts texts;
      };
      const MaskCase kMasks[] = {
          {"every name", "*.*", {"[..]"}},
          {"a name", "secret.txt", {"[..]", "secret.txt"}},
          {"a name twice", "secret.txt;secret.txt", {"[..]", "secret.txt", "secret.txt"}},
          {"missing names and other case", "missing;SECRET.TXT", {"[..]"}},
          {"a folder's name", "deeper", {"[..]", "[deeper]"}},
          {"a wildcard", "secret.tx?", {"[..]"}},
          {"no paths", "deeper/inner.txt;.;..", {"[..]"}},
      };
      for (const MaskCase& m : kMasks) {
        SCOPED_TRACE(m.name);
        list->SetMask(m.mask);
        EXPECT_EQ(TextsOf(*list), m.texts);
        EXPECT_TRUE(list->Unlisted());
      }
      list->SetMask("*.*");

      // A typed path still reaches what is inside.
      list->GoToPath(locked + "/secret.txt");
      EXPECT_EQ(list->Directory(), locked);
      EXPECT_EQ(TextsOf(*list), (Texts{"[..]", "secret.txt"}));
      EXPECT_EQ(list->ItemText(view.Focused()), "secret.txt");
      try {
        list->GoToPath(locked + "/missing.txt");
        ADD_FAILURE() << "no error";
      } catch (const Error& e) {
        EXPECT_EQ(e.what(), "Invalid file name - " + locked + "/missing.txt");
      }
      list->SetMask("*.*");
      list->GoToPath(locked + "/deeper");
      EXPECT_EQ(list->Directory(), locked + "/deeper");
      EXPECT_FALSE(list->Unlisted());
      EXPECT_EQ(TextsOf(*list), (Texts{"[..]", "inner.txt"}));

      // And the way up is never closed.
      ASSERT_TRUE(list->GoToParent());
      EXPECT_EQ(list->Directory(), locked);
      EXPECT_TRUE(list->Unlisted());
      EXPECT_EQ(list->ItemText(view.Focused()), "[..]");
      ASSERT_TRUE(list->GoToParent());
      EXPECT_EQ(list->Directory(), open);
      EXPECT_FALSE(list->Unlisted());
      EXPECT_EQ(list->ItemText(view.Focused()), std::string("[") + c.name + "]");
      EXPECT_EQ(view.BusyDepth(), 0);
    }
  }));
}

TEST_F(FolderListTest, EnterAndLeaveFolders) {
  m_dir.CreateFolder("data/Old");
  m_dir.CreateFolder("data/old");
  m_dir.CreateFile("data/Old/inside.txt");
  m_dir.CreateFile("data/file.txt");
  BasicFolderListView view;
  auto list = ListAt(m_dir.Path("data"), &view);
  // What the status line would show: the marked count as of the last change notification.
  int reportedMarks = -1;
  list->OnChange = [&] { reportedMarks = view.MarkedCount(); };

  // Focused but not marked still enters.
  view.SetFocused(IndexOf(*list, "[Old]"));
  list->OpenFocusedItem();
  EXPECT_EQ(list->Directory(), m_dir.Path("data/Old"));
  EXPECT_EQ(view.Focused(), 0);
  EXPECT_TRUE(view.IsMarked(0));
  EXPECT_EQ(reportedMarks, 1);
  EXPECT_EQ(view.Redrawn().size(), 1u);  // the open-folder glyph
  EXPECT_EQ(view.UpdateDepth(), 0);

  // Going up focuses and marks the folder left, the exact name before another case.
  list->OpenFocusedItem();
  EXPECT_EQ(list->Directory(), m_dir.Path("data"));
  ASSERT_GE(view.Focused(), 0);
  EXPECT_EQ(list->ItemText(view.Focused()), "[Old]");
  EXPECT_TRUE(view.IsMarked(view.Focused()));
  EXPECT_EQ(view.MarkedCount(), 1);
  EXPECT_EQ(reportedMarks, 1);
  EXPECT_EQ(list->FocusedPath(), m_dir.Path("data/Old"));

  // A file entry is opened instead.
  view.SetFocused(IndexOf(*list, "file.txt"));
  list->OpenFocusedItem();
  EXPECT_EQ(view.Opened(), (Texts{m_dir.Path("data/file.txt")}));
  EXPECT_EQ(view.UpdateDepth(), 0);
  EXPECT_EQ(view.BusyDepth(), 0);
}

TEST_F(FolderListTest, GoingUpWithoutFolderEntriesFocusesNothing) {
  m_dir.CreateFolder("data/sub");
  BasicFolderListView view;
  auto list = ListAt(m_dir.Path("data/sub"), &view);
  list->SetFileType(TXFileType(kDefaultFileType).Exclude(xftDirectory));
  list->EnterParentFolder();
  EXPECT_EQ(list->Directory(), m_dir.Path("data"));
  EXPECT_EQ(view.Focused(), -1);
  EXPECT_EQ(view.MarkedCount(), 0);
}

TEST_F(FolderListTest, WildcardsInFolderNames) {
  m_dir.CreateFolder("a*b/[c]");
  BasicFolderListView view;
  auto list = ListAt(m_dir.Root(), &view);
  view.SetFocused(IndexOf(*list, "[a*b]"));
  list->EnterFolder();
  view.SetFocused(IndexOf(*list, "[[c]]"));
  list->EnterFolder();
  EXPECT_EQ(list->Directory(), m_dir.Path("a*b/[c]"));
  list->EnterParentFolder();
  EXPECT_EQ(list->Directory(), m_dir.Path("a*b"));
  EXPECT_EQ(list->Mask(), "*.*");
  EXPECT_EQ(list->ItemText(view.Focused()), "[[c]]");
}

TEST_F(FolderListTest, EnterFolderThatVanished) {
  m_dir.CreateFolder("sub");
  BasicFolderListView view;
  auto list = ListAt(m_dir.Root(), &view);
  const int index = IndexOf(*list, "[sub]");
  view.SetFocused(index);
  ASSERT_EQ(::rmdir(m_dir.Path("sub").c_str()), 0);
  EXPECT_THROW(list->EnterFolder(), Error);
  EXPECT_EQ(list->Directory(), m_dir.Root());
  EXPECT_EQ(list->ItemInfo(index)->GlyphCode, kGlyphFolder);
  EXPECT_EQ(view.UpdateDepth(), 0);

  list->SetOpenFolders(false);
  const int updates = m_updates;
  list->EnterFolder();
  EXPECT_EQ(m_updates, updates);
}

TEST_F(FolderListTest, GoToPath) {
  m_dir.CreateFile("work/report.txt");
  m_dir.CreateFile("work/data.bin");
  m_dir.CreateFile("work/run.log");
  struct Case {
    const char* name;
    bool multiSelect;
    const char* startMask;
    const char* path;  // below the test folder
    const char* error;
    const char* mask;
    const char* focused;
  };
  const Case kCases[] = {
      {"pattern becomes the mask", true, "*.*", "work/*.log", nullptr, "*.log", nullptr},
      {"file focused and marked", false, "*.*", "work/report.txt", nullptr, "*.*", "report.txt"},
      {"file focused", true, "*.*", "work/report.txt", nullptr, "*.*", "report.txt"},
      {"file hidden by the mask", false, "*.txt", "work/data.bin", nullptr, "data.bin", "data.bin"},
      {"missing file", false, "*.*", "work/missing.txt", "Invalid file name - ", "*.*", nullptr},
      {"folder only", false, "*.*", "work", nullptr, "*.*", nullptr},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    BasicFolderListView view(c.multiSelect);
    auto list = ListAt(m_dir.Root(), &view);
    list->SetMask(c.startMask);
    std::vector<std::string> opened;
    list->OnOpenFolder = [&](const std::string& folder) { opened.push_back(folder); };
    const std::string path = m_dir.Path(c.path);
    if (c.error) {
      try {
        list->GoToPath(path);
        ADD_FAILURE() << "no error";
      } catch (const Error& e) {
        EXPECT_EQ(e.what(), c.error + path);
      }
      EXPECT_TRUE(opened.empty());
    } else {
      list->GoToPath(path);
      EXPECT_EQ(opened, (Texts{m_dir.Path("work")}));
    }
    EXPECT_EQ(list->Directory(), m_dir.Path("work"));
    EXPECT_EQ(list->Mask(), c.mask);
    if (c.focused) {
      ASSERT_GE(view.Focused(), 0);
      EXPECT_EQ(list->ItemText(view.Focused()), c.focused);
      EXPECT_EQ(view.IsMarked(view.Focused()), !c.multiSelect);
    } else {
      EXPECT_EQ(view.Focused(), -1);
    }
  }
}

// Directory keeps the path as the user walked it, as a shell does, and the working folder is
// the folder that path names.
TEST_F(FolderListTest, GoingUpReturnsThroughTheLinkWalked) {
  m_dir.CreateFile("far/target/sub/inner.txt");
  m_dir.CreateFolder("home/u/other");
  m_dir.CreateSymlink("home/u/link", m_dir.Path("far/target"));
  const std::string home = m_dir.Path("home/u");
  const std::string link = home + "/link";
  // The parent entry's record is of the folder walked through, not of the link target's.
  for (const auto& [rel, days] : {std::pair{"home/u", 1}, std::pair{"far", 2}}) {
    const timespec times[2] = {{days * 86400, 0}, {days * 86400, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, m_dir.Path(rel).c_str(), times, 0), 0);
  }
  BasicFolderListView view;
  auto list = ListAt(home, &view);

  view.SetFocused(IndexOf(*list, "[link]"));
  list->OpenFocusedItem();
  EXPECT_EQ(list->Directory(), link);
  EXPECT_EQ(test::CurrentFolderPath(), m_dir.Path("far/target"));
  ASSERT_EQ(list->ItemText(0), "[..]");
  EXPECT_DOUBLE_EQ(list->ItemInfo(0)->Time, 25569 + 1);
  view.SetFocused(IndexOf(*list, "[sub]"));
  list->OpenFocusedItem();
  EXPECT_EQ(list->Directory(), link + "/sub");
  EXPECT_EQ(list->ItemPath(IndexOf(*list, "inner.txt")), link + "/sub/inner.txt");
  list->Rescan();
  EXPECT_EQ(list->Directory(), link + "/sub");
  EXPECT_EQ(test::CurrentFolderPath(), m_dir.Path("far/target/sub"));

  // Up twice: to the link, then to the folder holding it, each time focusing the folder left.
  view.SetFocused(0);
  list->OpenFocusedItem();
  EXPECT_EQ(list->Directory(), link);
  EXPECT_EQ(list->ItemText(view.Focused()), "[sub]");
  EXPECT_TRUE(list->GoToParent());
  EXPECT_EQ(list->Directory(), home);
  EXPECT_EQ(test::CurrentFolderPath(), home);
  EXPECT_EQ(list->ItemText(view.Focused()), "[link]");
  EXPECT_TRUE(view.IsMarked(view.Focused()));

  // The history holds the paths as walked too.
  struct Step {
    std::string directory;
    const char* focused;
  };
  const Step kSteps[] = {
      {link, "[sub]"}, {link + "/sub", "[..]"}, {link, "[sub]"}, {home, "[link]"}};
  for (const Step& step : kSteps) {
    SCOPED_TRACE(step.directory);
    ASSERT_TRUE(list->GoBack());
    EXPECT_EQ(list->Directory(), step.directory);
    EXPECT_EQ(list->ItemText(view.Focused()), step.focused);
  }
  EXPECT_FALSE(list->GoBack());
}

TEST_F(FolderListTest, GoToPathKeepsThePathAsTyped) {
  m_dir.CreateFile("far/target/sub/inner.txt");
  m_dir.CreateFile("home/u/notes.txt");
  m_dir.CreateSymlink("home/u/link", m_dir.Path("far/target"));
  const std::string home = m_dir.Path("home/u");
  const std::string link = home + "/link";
  const HomeGuard homeGuard(home);
  struct Case {
    const char* name;
    std::string start;
    std::string path;
    std::string directory;
    const char* focused;  // nullptr: nothing
    bool workingFolderElsewhere = false;
  };
  const Case kCases[] = {
      {"through a link", home, link + "/sub", link + "/sub", nullptr},
      {"up from a link", link + "/sub", link + "/sub/../..", home, nullptr},
      {"doubled separators and dots", "/", m_dir.Path("home//u/./link/"), link, nullptr},
      {"up then a file", link + "/sub", link + "/../notes.txt", home, "notes.txt"},
      {"relative name", link, "sub", link + "/sub", nullptr},
      {"relative parent", link + "/sub", "..", link, nullptr},
      {"relative parent twice", link + "/sub", "../..", home, nullptr},
      {"listed parent", link, "[..]", home, nullptr},
      {"relative file", link + "/sub", "inner.txt", link + "/sub", "inner.txt"},
      {"relative, up and down to a file", link + "/sub", "../sub/inner.txt", link + "/sub",
       "inner.txt"},
      {"relative from the shown folder, not the working one", link, "sub/inner.txt", link + "/sub",
       "inner.txt", true},
      {"home", link + "/sub", "~", home, nullptr},
      {"home with a separator", link + "/sub", "~/", home, nullptr},
      {"file in home", link, "~/notes.txt", home, "notes.txt"},
      {"link in home", "/", "~/link/sub", link + "/sub", nullptr},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    BasicFolderListView view(false);
    auto list = ListAt("/", &view);
    list->GoToPath(c.start);
    ASSERT_EQ(list->Directory(), c.start);
    if (c.workingFolderElsewhere) {
      ASSERT_EQ(::chdir(m_dir.Root().c_str()), 0);
    }
    list->GoToPath(c.path);
    EXPECT_EQ(list->Directory(), c.directory);
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(c.directory.c_str(), nullptr),
                                                     &std::free);
    ASSERT_NE(real, nullptr);
    EXPECT_EQ(test::CurrentFolderPath(), real.get());
    EXPECT_EQ(list->Mask(), "*.*");
    if (c.focused) {
      ASSERT_GE(view.Focused(), 0);
      EXPECT_EQ(list->ItemText(view.Focused()), c.focused);
      EXPECT_EQ(list->FocusedPath(), c.directory + "/" + c.focused);
    } else {
      EXPECT_EQ(view.Focused(), -1);
    }
  }
}

TEST_F(FolderListTest, GoToParent) {
  m_dir.CreateFolder("data/Old/deep");
  m_dir.CreateFolder("data/old");
  BasicFolderListView view;
  auto list = ListAt(m_dir.Path("data/Old/deep"), &view);
  int reportedMarks = -1;
  list->OnChange = [&] { reportedMarks = view.MarkedCount(); };
  EXPECT_TRUE(list->GoToParent());
  EXPECT_EQ(list->Directory(), m_dir.Path("data/Old"));
  EXPECT_EQ(list->ItemText(view.Focused()), "[deep]");
  EXPECT_TRUE(view.IsMarked(view.Focused()));
  EXPECT_EQ(reportedMarks, 1);
  EXPECT_EQ(view.UpdateDepth(), 0);

  // The parent entry may be kept from opening; going up by a key still works.
  list->SetOpenParentFolders(false);
  list->EnterParentFolder();
  EXPECT_EQ(list->Directory(), m_dir.Path("data/Old"));
  EXPECT_TRUE(list->GoToParent());
  EXPECT_EQ(list->Directory(), m_dir.Path("data"));
  EXPECT_EQ(list->ItemText(view.Focused()), "[Old]");
  EXPECT_EQ(view.MarkedCount(), 1);

  // At the root there is nothing above.
  list->ChangeFolder("/");
  const int updates = m_updates;
  EXPECT_FALSE(list->GoToParent());
  EXPECT_EQ(list->Directory(), "/");
  EXPECT_EQ(m_updates, updates);
}

TEST_F(FolderListTest, GoToParentPassesOverFoldersThatAreGone) {
  m_dir.CreateFolder("a/b/c");
  m_dir.CreateFolder("far/target/sub");
  m_dir.CreateFolder("home/u");
  const std::string link = m_dir.CreateSymlink("home/u/link", m_dir.Path("far/target"));
  BasicFolderListView view;
  auto list = ListAt(m_dir.Path("a/b/c"), &view);

  // The shown folder and its parent moved away meanwhile.
  ASSERT_EQ(::rename(m_dir.Path("a/b").c_str(), m_dir.Path("a/moved").c_str()), 0);
  EXPECT_TRUE(list->GoToParent());
  EXPECT_EQ(list->Directory(), m_dir.Path("a"));
  EXPECT_EQ(test::CurrentFolderPath(), m_dir.Path("a"));
  EXPECT_EQ(view.Focused(), 0);
  EXPECT_EQ(view.UpdateDepth(), 0);

  // The link walked through is removed while the user is below it.
  list->GoToPath(link + "/sub");
  ASSERT_EQ(::unlink(link.c_str()), 0);
  EXPECT_TRUE(list->GoToParent());
  EXPECT_EQ(list->Directory(), m_dir.Path("home/u"));
  EXPECT_EQ(TextsOf(*list), (Texts{"[..]"}));
}

TEST_F(FolderListTest, GoBackReturnsAlongTheFoldersVisited) {
  m_dir.CreateFile("a/b/x.txt");
  m_dir.CreateFile("a/b/y.txt");
  m_dir.CreateFolder("c");
  BasicFolderListView view;
  auto list = ListAt(m_dir.Root(), &view);
  EXPECT_FALSE(list->CanGoBack());
  EXPECT_FALSE(list->GoBack());

  view.SetFocused(IndexOf(*list, "[a]"));
  list->OpenFocusedItem();
  view.SetFocused(IndexOf(*list, "[b]"));
  list->OpenFocusedItem();
  list->FocusName("y.txt");
  list->GoToPath(m_dir.Path("c"));
  // Neither a move that failed nor one to the same folder is a visit.
  EXPECT_THROW(list->ChangeFolder("missing"), Error);
  list->ChangeFolder(m_dir.Path("c"));
  list->GoToPath(m_dir.Path("c/."));

  struct Step {
    std::string directory;
    const char* focused;
  };
  const Step kSteps[] = {
      {m_dir.Path("a/b"), "y.txt"}, {m_dir.Path("a"), "[b]"}, {m_dir.Root(), "[a]"}};
  for (const Step& step : kSteps) {
    SCOPED_TRACE(step.directory);
    EXPECT_TRUE(list->CanGoBack());
    ASSERT_TRUE(list->GoBack());
    EXPECT_EQ(list->Directory(), step.directory);
    EXPECT_EQ(test::CurrentFolderPath(), step.directory);
    ASSERT_GE(view.Focused(), 0);
    EXPECT_EQ(list->ItemText(view.Focused()), step.focused);
    EXPECT_TRUE(view.IsMarked(view.Focused()));
    EXPECT_EQ(view.UpdateDepth(), 0);
  }
  // Stepping back recorded nothing: no step returns to the folder the last one left.
  EXPECT_FALSE(list->CanGoBack());
  EXPECT_FALSE(list->GoBack());
  EXPECT_EQ(list->Directory(), m_dir.Root());

  // After going back, a new visit is remembered as usual.
  list->ChangeFolder("c");
  ASSERT_TRUE(list->GoBack());
  EXPECT_EQ(list->Directory(), m_dir.Root());
  EXPECT_EQ(list->ItemText(view.Focused()), "[a]");
}

TEST_F(FolderListTest, GoBackSkipsFoldersThatAreGone) {
  for (const char* name : {"p", "q", "r", "s"}) m_dir.CreateFolder(name);
  auto list = ListAt(m_dir.Root());
  for (const char* name : {"p", "q", "r"}) list->ChangeFolder(m_dir.Path(name));
  ASSERT_EQ(::rmdir(m_dir.Path("q").c_str()), 0);
  ASSERT_TRUE(list->GoBack());
  EXPECT_EQ(list->Directory(), m_dir.Path("p"));
  ASSERT_TRUE(list->GoBack());
  EXPECT_EQ(list->Directory(), m_dir.Root());
  EXPECT_FALSE(list->GoBack());

  // With every folder in the history gone, the list stays where it is.
  list->ChangeFolder(m_dir.Path("r"));
  list->ChangeFolder(m_dir.Path("s"));
  ASSERT_EQ(::rmdir(m_dir.Path("r").c_str()), 0);
  ASSERT_EQ(::rename(m_dir.Root().c_str(), (m_dir.Root() + "-moved").c_str()), 0);
  const int updates = m_updates;
  const bool wentBack = list->GoBack();
  ASSERT_EQ(::rename((m_dir.Root() + "-moved").c_str(), m_dir.Root().c_str()), 0);
  EXPECT_FALSE(wentBack);
  EXPECT_EQ(list->Directory(), m_dir.Path("s"));
  EXPECT_EQ(m_updates, updates);
  EXPECT_FALSE(list->CanGoBack());
}

TEST_F(FolderListTest, HistoryKeepsTheLastFoldersShown) {
  const int kFolders = static_cast<int>(FolderList::kHistoryLimit) + 10;
  for (int i = 0; i < kFolders; ++i) m_dir.CreateFolder("f" + std::to_string(i));
  ASSERT_EQ(::chdir(m_dir.Root().c_str()), 0);
  FolderList list;
  // Before the list is shown its folder changes are no visits.
  list.ChangeFolder("f0");
  list.ChangeFolder(m_dir.Root());
  list.Activate();
  EXPECT_FALSE(list.CanGoBack());
  for (int i = 0; i < kFolders; ++i) list.ChangeFolder(m_dir.Path("f" + std::to_string(i)));
  int steps = 0;
  // Bounded, so that steps going to and fro fail the test rather than hang it.
  while (steps <= kFolders && list.GoBack()) ++steps;
  EXPECT_EQ(steps, static_cast<int>(FolderList::kHistoryLimit));
  // The oldest went first: the root and f0 up to f8 are forgotten.
  EXPECT_EQ(list.Directory(), m_dir.Path("f" + std::to_string(kFolders - 1 - steps)));
}

TEST_F(FolderListTest, GoToPathOfTheFocusedEntryOrThroughTheTree) {
  m_dir.CreateFile("work/report.txt");
  BasicFolderListView view(false);
  auto list = ListAt(m_dir.Path("work"), &view);
  list->FocusName("report.txt");
  const int updates = m_updates;
  list->GoToPath(m_dir.Path("work/report.txt"));
  EXPECT_EQ(m_updates, updates);

  std::vector<std::string> handed;
  list->TreeGoToPath = [&](const std::string& path) { handed.push_back(path); };
  list->GoToPath(m_dir.Root());
  EXPECT_EQ(handed, (Texts{m_dir.Root()}));
  EXPECT_EQ(list->Directory(), m_dir.Path("work"));
}

TEST_F(FolderListTest, FocusName) {
  m_dir.CreateFile("abc.txt");
  m_dir.CreateFile("ABC.TXT");
  m_dir.CreateFile("other");
  BasicFolderListView view;
  auto list = ListAt(m_dir.Root(), &view);
  struct Case {
    const char* name;
    const char* text;
    const char* focused;  // nullptr: nothing
  };
  const Case kCases[] = {
      {"exact", "ABC.TXT", "ABC.TXT"},     {"exact, other case", "abc.txt", "abc.txt"},
      {"ignoring case", "Other", "other"}, {"first item after wrapping", "[..]", "[..]"},
      {"none", "none", nullptr},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const int changes = m_changes;
    list->FocusName(c.text);
    EXPECT_EQ(m_changes, changes + 1);
    EXPECT_EQ(list->ItemText(view.Focused()), c.focused ? c.focused : "");
    EXPECT_EQ(list->FocusedName(), "");  // focused, not marked
  }
}

TEST_F(FolderListTest, SelectionClickedReportsFocusChangesOnly) {
  m_dir.CreateFile("a");
  m_dir.CreateFile("b");
  BasicFolderListView view;
  auto list = ListAt(m_dir.Root(), &view);
  const int changes = m_changes;
  list->SelectionClicked();
  EXPECT_EQ(m_changes, changes);
  view.SetFocused(1);
  list->SelectionClicked();
  EXPECT_EQ(m_changes, changes + 1);
  view.SetMarked(1, true);
  list->SelectionClicked();
  EXPECT_EQ(m_changes, changes + 1);
  EXPECT_EQ(list->FocusedName(), "a");
}

TEST_F(FolderListTest, RunFocusedFile) {
  m_dir.CreateFile("a.txt");
  BasicFolderListView view;
  auto list = ListAt(m_dir.Root(), &view);
  std::vector<std::string> reported;
  list->OnOpenFile = [&](const std::string& path) { reported.push_back(path); };
  view.SetFocused(IndexOf(*list, "a.txt"));
  view.SetOpenResult(false);
  list->RunFocusedFile();
  EXPECT_EQ(view.Beeps(), 1);
  EXPECT_EQ(view.Opened().size(), 1u);
  list->SetOpenFiles(false);
  list->RunFocusedFile();
  EXPECT_EQ(view.Opened().size(), 1u);
  EXPECT_EQ(reported, (Texts{m_dir.Path("a.txt"), m_dir.Path("a.txt")}));
}

}  // namespace
}  // namespace relabo
