#include "ui/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QByteArray>
#include <QSettings>
#include <QStringList>
#include <QVariant>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "fileutil/error.h"
#include "tests/support/test_dir.h"

namespace relabo {
namespace {

// QSettings reads the config home once per process, so it is set before any test runs.
class ConfigHome : public ::testing::Environment {
 public:
  void SetUp() override {
    s_dir = std::make_unique<test::TestDir>();
    ::setenv("XDG_CONFIG_HOME", s_dir->Path("config").c_str(), 1);
  }
  void TearDown() override { s_dir.reset(); }
  static std::string Path() { return s_dir->Path("config"); }

 private:
  static inline std::unique_ptr<test::TestDir> s_dir;
};
[[maybe_unused]] ::testing::Environment* const kConfigHome =
    ::testing::AddGlobalTestEnvironment(new ConfigHome);

// Every field away from its first-start value, and texts the file syntax must escape.
const CommandParameters kStored{.InsertString = " lead and trail ",
                                .InsertFrom = 0,
                                .RemoveFrom = 2,
                                .RemoveNumber = 4,
                                .RemovePosition = 9,
                                .ReplaceOrigString = "a, b",
                                .ReplaceNewString = "@Variant(x)",
                                .ChangeString = "quote \" back\\slash",
                                .ChangeFrom = 1000000000,
                                .ChangeCaseMode = 3,
                                .ChangeCaseSeparator = "",
                                .ChangeNumberWhich = 2,
                                .ChangeNumberPlus = -7,
                                .RenameName = "Ünïcødé 名前",
                                .RenameSeparator = "=;#[x]",
                                .RenameScheme = 4,
                                .RenameStart = 0,
                                .RenameStep = -2,
                                .RenameDigits = 100,
                                .CopyNumber = 7,
                                .CopySeparator = "_",
                                .CopyScheme = 5,
                                .CopyStart = 12,
                                .CopyStep = 3,
                                .CopyDigits = 1};

// What the window's fields hold before loading: neither a default nor a stored value
// (texts "design", numbers 55, choices and schemes in range), in the order of the fields.
const CommandParameters kDesign{
    "design", 55,       1, 55, 55, "design", "design", "design", 55, 2,  "design", 55, 55,
    "design", "design", 3, 55, 55, 55,       55,       "design", 3,  55, 55,       55};

// A main window reduced to its state, logging the calls that change it.
class FakeWindow : public SettingsTarget {
 public:
  explicit FakeWindow(std::string programFolder) : programFolder(std::move(programFolder)) {}

  int32_t WindowLeft() const override { return left; }
  int32_t WindowTop() const override { return top; }
  void SetWindowLeft(int32_t value) override { Log("Left", std::to_string(left = value)); }
  void SetWindowTop(int32_t value) override { Log("Top", std::to_string(top = value)); }
  QSize ScreenSize() const override { return screen; }
  QSize WindowSize() const override { return window; }

  std::string Mask() const override { return mask; }
  void SetMask(const std::string& value) override { Log("Mask", mask = value); }
  std::string Directory() const override { return directory; }
  void GoToPath(const std::string& path) override {
    Log("GoToPath", path);
    if (unreadable.count(path)) throw Error("Access denied");
    directory = path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
  }
  void SetDriveQuietly(const std::string& folder) override { Log("Drive", folder); }
  int SortBy() const override { return sortBy; }
  int SortOrder() const override { return sortOrder; }
  void SetSort(int by, int order) override {
    sortBy = by;
    sortOrder = order;
    Log("Sort", std::to_string(by) + " " + std::to_string(order));
  }

  std::string ProgramFolder() const override { return programFolder; }

  std::vector<std::string>& FilterHistory() override { return filter; }
  std::vector<std::string>& ExpandHistory() override { return expand; }
  std::vector<std::string>& ShrinkHistory() override { return shrink; }

  CommandParameters Parameters() const override { return params; }
  void SetParameters(const CommandParameters& value) override {
    params = value;
    Log("Parameters");
  }
  std::string CopyNumberText() const override { return copyNumberText; }
  void RemoveFromClick() override {
    positionShownFor = params.RemoveFrom;
    Log("RemoveFromClick");
  }
  int ActivePage() const override { return page; }
  void SelectCommand(int index) override { Log("Command", std::to_string(page = index)); }

  bool Called(const std::string& what) const {
    for (const std::string& call : calls) {
      if (call.rfind(what, 0) == 0) return true;
    }
    return false;
  }

  int32_t left = 3;
  int32_t top = 4;
  QSize screen{1920, 1080};
  QSize window{459, 451};
  std::string mask = "design";
  std::string directory = "/";
  int sortBy = 2;
  int sortOrder = 1;
  std::string programFolder;
  std::set<std::string> unreadable;
  std::vector<std::string> filter, expand, shrink;
  CommandParameters params = kDesign;
  std::string copyNumberText = "55";
  int page = 6;
  int positionShownFor = -99;
  std::vector<std::string> calls;

 private:
  void Log(const char* what, const std::string& value = {}) {
    calls.push_back(value.empty() ? what : std::string(what) + " " + value);
  }
};

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest()
      : m_program(m_dir.CreateFolder("program")), m_file(m_dir.Path("cfg/Relabo.conf")) {}

  QString File() const { return QString::fromStdString(m_file); }
  // A file of its own for each case of a table: QSettings caches what it read by file name.
  void UseFile(const char* caseName) { m_file = m_dir.Path(std::string("cfg/") + caseName); }

  // Values written as a user or another program might have, plain strings unless typed.
  void Preset(const std::vector<std::pair<const char*, QVariant>>& values) const {
    QSettings settings(File(), QSettings::IniFormat);
    for (const auto& [key, value] : values) settings.setValue(QString::fromUtf8(key), value);
    settings.sync();
    ASSERT_EQ(settings.status(), QSettings::NoError);
  }

  // A window with every value away from the defaults, showing an existing folder.
  FakeWindow StoredWindow() const {
    FakeWindow w(m_program);
    w.left = -5;
    w.top = 1200;
    w.mask = "*.jpg;*.png";
    w.directory = m_dir.CreateFolder("photos, 2024 [raw]");
    w.sortBy = 1;
    w.sortOrder = 1;
    w.filter = {"*.jpg;*.png", "*.*", "a, b"};
    for (int i = 0; i < 12; ++i) w.expand.push_back("x" + std::to_string(i) + "*");
    w.shrink = {};
    w.params = kStored;
    w.copyNumberText = "007";
    w.page = 7;
    return w;
  }

  FakeWindow Load() const {
    FakeWindow w(m_program);
    SettingsStore store(File());
    LoadSettings(store, w);
    return w;
  }

  test::TestDir m_dir;
  std::string m_program;
  std::string m_file;
};

TEST_F(SettingsTest, FirstRunUsesTheDefaultsInOrder) {
  const FakeWindow w = Load();
  const std::vector<std::string> expected = {
      "Left 730",           "Top 314",  "Mask *.*",   "GoToPath " + m_program + "/",
      "Drive " + m_program, "Sort 0 0", "Parameters", "RemoveFromClick",
      "Command 0",
  };
  EXPECT_EQ(w.calls, expected);
  const std::vector<std::string> one = {"*.*"};
  EXPECT_EQ(w.filter, one);
  EXPECT_EQ(w.expand, one);
  EXPECT_EQ(w.shrink, one);
  EXPECT_TRUE(w.params == CommandParameters{});
  EXPECT_EQ(w.positionShownFor, 0);
}

TEST_F(SettingsTest, DefaultPositionCentresRoundingTowardZero) {
  struct Case {
    const char* name;
    QSize screen, window;
    int32_t left, top;
  } cases[] = {
      {"even", {1920, 1080}, {460, 450}, 730, 315},
      {"odd halves drop", {1921, 1081}, {460, 450}, 730, 315},
      {"window larger than the screen", {400, 300}, {459, 451}, -29, -75},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWindow w(m_program);
    w.screen = c.screen;
    w.window = c.window;
    SettingsStore store(File());
    LoadSettings(store, w);
    EXPECT_EQ(w.left, c.left);
    EXPECT_EQ(w.top, c.top);
  }
}

TEST_F(SettingsTest, RoundTripKeepsEveryValue) {
  FakeWindow saved = StoredWindow();
  {
    SettingsStore store(File());
    SaveSettings(store, saved);
  }
  const FakeWindow w = Load();
  EXPECT_EQ(w.left, saved.left);
  EXPECT_EQ(w.top, saved.top);
  EXPECT_EQ(w.mask, saved.mask);
  EXPECT_EQ(w.directory, saved.directory);
  EXPECT_TRUE(w.Called("Drive " + saved.directory));
  EXPECT_EQ(w.sortBy, 1);
  EXPECT_EQ(w.sortOrder, 1);
  EXPECT_EQ(w.filter, saved.filter);
  EXPECT_EQ(w.expand, saved.expand);
  EXPECT_TRUE(w.shrink.empty());
  EXPECT_TRUE(w.params == saved.params);
  EXPECT_EQ(w.page, 7);
  EXPECT_EQ(w.positionShownFor, 2);
}

TEST_F(SettingsTest, FileHoldsEveryValueAsPlainText) {
  FakeWindow saved = StoredWindow();
  saved.copyNumberText = "";
  {
    SettingsStore store(File());
    SaveSettings(store, saved);
  }
  const std::string text = m_dir.ReadFile("cfg/Relabo.conf");
  for (const char* line :
       {"ActivePage=7", "Left=-5", "Top=1200", "SortBy=1", "SortOrder=1", "FileFilter\\Count=3",
        "ExpandFilter\\Count=12", "ShrinkFilter\\Count=0", "RenameFiles\\Start=0",
        "RenameFiles\\Step=-2", "CopyFiles\\Number=", "ReplaceString\\New=@@Variant(x)"}) {
    EXPECT_NE(text.find(std::string("\n") + line + "\n"), std::string::npos) << line;
  }
  // A value beginning with one "@" would be typed; "@@" is an escaped text.
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos || line.compare(equals, 2, "=@") != 0) continue;
    EXPECT_EQ(line.compare(equals, 3, "=@@"), 0) << line;
  }
}

TEST_F(SettingsTest, StoredValuesAreReadByTheRules) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, QVariant>> stored;
    std::function<void(const FakeWindow&)> check;
  };
  const std::string gone = m_dir.Path("gone");
  const std::string program = m_program;
  const std::vector<Case> cases = {
      {"a folder that is gone opens the program's folder",
       {{"Folder/Directory", QString::fromStdString(gone)}},
       [&](const FakeWindow& w) {
         EXPECT_TRUE(w.Called("GoToPath " + program + "/"));
         EXPECT_EQ(w.directory, program);
       }},
      {"size descending",
       {{"Folder/SortBy", "1"}, {"Folder/SortOrder", "1"}},
       [](const FakeWindow& w) { EXPECT_TRUE(w.Called("Sort 1 1")); }},
      {"attributes ascending",
       {{"Folder/SortBy", "4"}, {"Folder/SortOrder", "0"}},
       [](const FakeWindow& w) { EXPECT_TRUE(w.Called("Sort 4 0")); }},
      {"missing items of a count read as *.*",
       {{"History/FileFilter/Count", "3"},
        {"History/FileFilter/0", "a"},
        {"History/FileFilter/2", "c"}},
       [](const FakeWindow& w) {
         EXPECT_EQ(w.filter, (std::vector<std::string>{"a", "*.*", "c"}));
       }},
      {"a count of zero or less reads no items",
       {{"History/ExpandFilter/Count", "0"},
        {"History/ExpandFilter/0", "a"},
        {"History/ShrinkFilter/Count", "-4"}},
       [](const FakeWindow& w) {
         EXPECT_TRUE(w.expand.empty());
         EXPECT_TRUE(w.shrink.empty());
       }},
      {"items beyond the count are not read",
       {{"History/FileFilter/Count", "1"},
        {"History/FileFilter/0", "a"},
        {"History/FileFilter/1", "b"}},
       [](const FakeWindow& w) { EXPECT_EQ(w.filter, (std::vector<std::string>{"a"})); }},
      {"a huge count reads a bounded number of items",
       {{"History/FileFilter/Count", "2147483647"}},
       [](const FakeWindow& w) { EXPECT_EQ(w.filter.size(), 1000u); }},
      {"text that is not an integer reads as the default",
       {{"Window/Left", "abc"},
        {"Pages/InsertString/From", "abc"},
        {"Pages/RenameFiles/Digits", ""},
        {"Pages/CopyFiles/Start", "12x"},
        {"Pages/CopyFiles/Step", " 4 "},
        {"Pages/ChangeNumber/Plus", "2147483648"},
        {"Pages/ChangeNumber/Which", "-0"}},
       [](const FakeWindow& w) {
         EXPECT_EQ(w.left, 730);
         EXPECT_EQ(w.params.InsertFrom, 1);
         EXPECT_EQ(w.params.RenameDigits, 3);
         EXPECT_EQ(w.params.CopyStart, 1);
         EXPECT_EQ(w.params.CopyStep, 4);
         EXPECT_EQ(w.params.ChangeNumberPlus, 1);
         EXPECT_EQ(w.params.ChangeNumberWhich, 0);
       }},
      {"number of copies 007",
       {{"Pages/CopyFiles/Number", "007"}},
       [](const FakeWindow& w) { EXPECT_EQ(w.params.CopyNumber, 7); }},
      {"number of copies empty",
       {{"Pages/CopyFiles/Number", ""}},
       [](const FakeWindow& w) { EXPECT_EQ(w.params.CopyNumber, 1); }},
      {"the position choice shows the position field",
       {{"Pages/RemoveString/From", "2"}},
       [](const FakeWindow& w) { EXPECT_EQ(w.positionShownFor, 2); }},
      {"choice indexes beyond the choices",
       {{"Pages/RemoveString/From", "7"},
        {"Pages/ChangeCase/ChangeMode", "-5"},
        {"Pages/RenameFiles/Scheme", "6"},
        {"Pages/CopyFiles/Scheme", "-1"}},
       [](const FakeWindow& w) {
         EXPECT_EQ(w.params.RemoveFrom, 2);
         EXPECT_EQ(w.positionShownFor, 2);
         EXPECT_EQ(w.params.ChangeCaseMode, -1);
         EXPECT_EQ(w.params.RenameScheme, -1);
         EXPECT_EQ(w.params.CopyScheme, -1);
       }},
      {"last choices and last scheme",
       {{"Pages/ChangeCase/ChangeMode", "9"}, {"Pages/RenameFiles/Scheme", "5"}},
       [](const FakeWindow& w) {
         EXPECT_EQ(w.params.ChangeCaseMode, 3);
         EXPECT_EQ(w.params.RenameScheme, 5);
       }},
      {"command and sort outside their sets read as missing",
       {{"Pages/ActivePage", "9"}, {"Folder/SortBy", "7"}, {"Folder/SortOrder", "5"}},
       [](const FakeWindow& w) {
         EXPECT_TRUE(w.Called("Sort 0 0"));
         EXPECT_TRUE(w.Called("Command 0"));
       }},
      {"negative command and order",
       {{"Pages/ActivePage", "-1"}, {"Folder/SortOrder", "-1"}},
       [](const FakeWindow& w) {
         EXPECT_TRUE(w.Called("Sort 0 0"));
         EXPECT_TRUE(w.Called("Command 0"));
       }},
      {"last command and column",
       {{"Pages/ActivePage", "7"}, {"Folder/SortBy", "4"}},
       [](const FakeWindow& w) {
         EXPECT_TRUE(w.Called("Sort 4 0"));
         EXPECT_TRUE(w.Called("Command 7"));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseFile(c.name);
    Preset(c.stored);
    c.check(Load());
  }
}

TEST_F(SettingsTest, FolderThatCannotBeOpenedFallsBackToTheProgramFolder) {
  const std::string locked = m_dir.CreateFolder("locked");
  Preset({{"Folder/Directory", QString::fromStdString(locked)}, {"Pages/ActivePage", "3"}});
  FakeWindow w(m_program);
  w.unreadable.insert(locked);
  SettingsStore store(File());
  LoadSettings(store, w);
  EXPECT_EQ(w.directory, m_program);
  EXPECT_TRUE(w.Called("Drive " + m_program));
  EXPECT_EQ(w.page, 3);
}

TEST_F(SettingsTest, ValueOfAnotherTypeEndsLoadingThere) {
  struct Case {
    const char* name;
    const char* key;
    QVariant value;
    const char* message;
    std::function<void(const FakeWindow&, const FakeWindow&)> check;  // loaded, saved
  };
  const Case cases[] = {
      {"typed window position", "Window/Left", QByteArray("12"), "Invalid data type for 'Left'",
       [](const FakeWindow& w, const FakeWindow&) { EXPECT_TRUE(w.calls.empty()); }},
      {"bytes as the sort column", "Folder/SortBy", QByteArray("1"),
       "Invalid data type for 'SortBy'",
       [](const FakeWindow& w, const FakeWindow& saved) {
         EXPECT_EQ(w.directory, saved.directory);
         // The order read before the column is in effect; the column stays the window's.
         EXPECT_EQ(w.calls.back(), "Sort 2 1");
         EXPECT_TRUE(w.filter.empty());
       }},
      {"list as a history item", "History/ExpandFilter/1", QStringList{"a", "b"},
       "Invalid data type for '1'",
       [](const FakeWindow& w, const FakeWindow& saved) {
         EXPECT_EQ(w.left, saved.left);
         EXPECT_EQ(w.mask, saved.mask);
         EXPECT_TRUE(w.Called("Sort 1 1"));
         EXPECT_EQ(w.filter, saved.filter);
         EXPECT_EQ(w.expand, (std::vector<std::string>{saved.expand[0]}));
         EXPECT_TRUE(w.shrink.empty());
         EXPECT_TRUE(w.params == kDesign);
         EXPECT_FALSE(w.Called("Command"));
       }},
      {"typed number in a page", "Pages/RenameFiles/Start", QVariant(5),
       "Invalid data type for 'Start'",
       [](const FakeWindow& w, const FakeWindow& saved) {
         EXPECT_EQ(w.params.RemoveFrom, saved.params.RemoveFrom);
         EXPECT_EQ(w.positionShownFor, saved.params.RemoveFrom);
         EXPECT_EQ(w.params.RenameScheme, kDesign.RenameScheme);
         EXPECT_EQ(w.params.RenameName, saved.params.RenameName);
         EXPECT_EQ(w.params.RenameStart, kDesign.RenameStart);
         EXPECT_EQ(w.params.CopyNumber, kDesign.CopyNumber);
         EXPECT_FALSE(w.Called("Command"));
       }},
      {"empty typed value as the command", "Pages/ActivePage", QVariant(),
       "Invalid data type for 'ActivePage'",
       [](const FakeWindow& w, const FakeWindow& saved) {
         EXPECT_TRUE(w.params == saved.params);
         EXPECT_EQ(w.page, 6);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseFile(c.name);
    FakeWindow saved = StoredWindow();
    {
      SettingsStore store(File());
      SaveSettings(store, saved);
    }
    Preset({{c.key, c.value}});
    FakeWindow w(m_program);
    SettingsStore store(File());
    try {
      LoadSettings(store, w);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    c.check(w, saved);
  }
}

TEST_F(SettingsTest, SaveKeepsItemsBeyondTheCount) {
  Preset({{"History/FileFilter/5", "old"}, {"Other/Value", "kept"}});
  FakeWindow saved = StoredWindow();
  {
    SettingsStore store(File());
    SaveSettings(store, saved);
  }
  QSettings settings(File(), QSettings::IniFormat);
  EXPECT_EQ(settings.value("History/FileFilter/5").toString(), "old");
  EXPECT_EQ(settings.value("Other/Value").toString(), "kept");
}

TEST_F(SettingsTest, DamagedFileIsStillWritten) {
  m_dir.CreateFile("cfg/Relabo.conf", "[Window\nLeft=1\n");
  FakeWindow saved = StoredWindow();
  {
    SettingsStore store(File());
    SaveSettings(store, saved);
  }
  EXPECT_EQ(Load().page, 7);
}

TEST_F(SettingsTest, SaveReportsAFileThatCannotBeWritten) {
  struct Case {
    const char* name;
    std::string file;
    const char* message;
  } cases[] = {
      {"folder below a regular file", m_dir.CreateFile("plain") + "/Corvelsoft/Relabo.conf",
       "Failed to create key Pages"},
      {"file name taken by a folder", m_dir.CreateFolder("taken/Relabo.conf"),
       "Failed to set data for 'ActivePage'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWindow w = StoredWindow();
    SettingsStore store(QString::fromStdString(c.file));
    try {
      SaveSettings(store, w);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

TEST_F(SettingsTest, SaveReportsAReadOnlyFolder) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  m_dir.CreateFile("cfg/Relabo.conf", "[Pages]\nActivePage=3\n");
  m_dir.CreateFolder("cfg", 0555);
  FakeWindow w = StoredWindow();
  {
    SettingsStore store(File());
    try {
      SaveSettings(store, w);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), "Failed to set data for 'ActivePage'");
    }
  }
  EXPECT_EQ(m_dir.ReadFile("cfg/Relabo.conf"), "[Pages]\nActivePage=3\n");
}

TEST_F(SettingsTest, DefaultStoreLivesInTheConfigHome) {
  FakeWindow saved = StoredWindow();
  {
    SettingsStore store;
    EXPECT_EQ(store.FileName().toStdString(), ConfigHome::Path() + "/Corvelsoft/Relabo.conf");
    SaveSettings(store, saved);
  }
  FakeWindow w(m_program);
  SettingsStore store;
  LoadSettings(store, w);
  EXPECT_TRUE(w.params == saved.params);
  EXPECT_EQ(w.directory, saved.directory);
}

}  // namespace
}  // namespace relabo
