// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QByteArray>
#include <QSettings>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
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
                                .ReplaceRegex = true,
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
    "design", 55,       1, 55, 55, "design", "design", true, "design", 55, 2, "design", 55, 55,
    "design", "design", 3, 55, 55, 55,       55,       "design", 3,  55, 55,       55};

// A main window reduced to its state, logging the calls that change it.
class FakeWindow : public SettingsTarget {
 public:
  explicit FakeWindow(std::string programFolder)
      : programFolder(std::move(programFolder)),
        // A build the user made: the program's folder lies in the home folder.
        homeFolder(this->programFolder.substr(0, this->programFolder.rfind('/'))) {}

  int32_t WindowLeft() const override { return left; }
  int32_t WindowTop() const override { return top; }
  void SetWindowLeft(int32_t value) override { Log("Left", std::to_string(left = value)); }
  void SetWindowTop(int32_t value) override { Log("Top", std::to_string(top = value)); }
  int32_t WindowWidth() const override { return width; }
  int32_t WindowHeight() const override { return height; }
  void SetWindowSize(int32_t w, int32_t h) override {
    // As the window does: never below its design size.
    const QSize grown(std::max(w, designWidth) - width, std::max(h, designHeight) - height);
    width += grown.width();
    height += grown.height();
    window += grown;
    Log("Size", std::to_string(width) + "x" + std::to_string(height));
  }
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
  bool NumericSort() const override { return numericSort; }
  void SetNumericSort(bool numeric) override {
    Log("NumericSort", std::to_string(numericSort = numeric));
  }

  std::string ProgramFolder() const override { return programFolder; }
  std::string HomeFolder() const override { return homeFolder; }
  std::vector<std::string>& GoToHistory() override { return goToHistory; }

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
  bool ShowPreview() const override { return preview; }
  void SetShowPreview(bool show) override { Log("Preview", std::to_string(preview = show)); }
  bool ResolveChains() const override { return resolveChains; }
  void SetResolveChains(bool resolve) override {
    Log("ResolveChains", std::to_string(resolveChains = resolve));
  }

  bool Called(const std::string& what) const {
    for (const std::string& call : calls) {
      if (call.rfind(what, 0) == 0) return true;
    }
    return false;
  }

  int32_t left = 3;
  int32_t top = 4;
  int32_t designWidth = 458;
  int32_t designHeight = 409;
  int32_t width = 458;
  int32_t height = 409;
  QSize screen{1920, 1080};
  QSize window{459, 451};
  std::string mask = "design";
  std::string directory = "/";
  int sortBy = 2;
  int sortOrder = 1;
  bool numericSort = false;
  std::string programFolder;
  std::string homeFolder;
  std::vector<std::string> goToHistory;
  std::set<std::string> unreadable;
  std::vector<std::string> filter, expand, shrink;
  CommandParameters params = kDesign;
  std::string copyNumberText = "55";
  int page = 6;
  bool preview = false;
  bool resolveChains = true;
  int positionShownFor = -99;
  std::vector<std::string> calls;

 private:
  void Log(const char* what, const std::string& value = {}) {
    calls.push_back(value.empty() ? what : std::string(what) + " " + value);
  }
};

// Every value that LoadSettings sets, compared between two windows.
void ExpectSameSettings(const FakeWindow& w, const FakeWindow& expected) {
  EXPECT_EQ(w.left, expected.left);
  EXPECT_EQ(w.top, expected.top);
  EXPECT_EQ(w.mask, expected.mask);
  EXPECT_EQ(w.directory, expected.directory);
  EXPECT_EQ(w.sortBy, expected.sortBy);
  EXPECT_EQ(w.sortOrder, expected.sortOrder);
  EXPECT_EQ(w.numericSort, expected.numericSort);
  EXPECT_EQ(w.filter, expected.filter);
  EXPECT_EQ(w.expand, expected.expand);
  EXPECT_EQ(w.shrink, expected.shrink);
  EXPECT_TRUE(w.params == expected.params);
  EXPECT_EQ(w.page, expected.page);
}

// Lets no file grow beyond a few bytes while it lives, as a full disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &m_old);
    // A write beyond the limit then fails with EFBIG instead of ending the process.
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit m_old{};
  void (*m_oldHandler)(int) = SIG_DFL;
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
    w.width = 900;
    w.height = 640;
    w.mask = "*.jpg;*.png";
    w.directory = m_dir.CreateFolder("photos, 2024 [raw]");
    w.sortBy = 1;
    w.sortOrder = 1;
    w.numericSort = true;
    w.filter = {"*.jpg;*.png", "*.*", "a, b"};
    for (int i = 0; i < 12; ++i) w.expand.push_back("x" + std::to_string(i) + "*");
    w.shrink = {};
    w.params = kStored;
    w.copyNumberText = "007";
    w.page = 7;
    w.preview = false;
    w.resolveChains = true;
    return w;
  }

  FakeWindow Load() const {
    FakeWindow w(m_program);
    SettingsStore store(File());
    EXPECT_EQ(LoadInto(store, w), "");
    return w;
  }

  // The message of the error that loading reports, empty when there is none.
  static std::string LoadInto(SettingsStore& store, FakeWindow& w) {
    const std::optional<Error> error = LoadSettings(store, w);
    return error ? error->what() : "";
  }

  void Save(FakeWindow w) const {
    SettingsStore store(File());
    SaveSettings(store, w);
  }

  // Changes the file as a text editor would: sets (adds) or, for a null text, removes values
  // given by key ("Pages/CopyFiles/Number" is "CopyFiles\Number=" under "[Pages]").
  void EditValues(const std::vector<std::pair<std::string, const char*>>& values) const {
    std::string text = m_dir.ReadFile(FileRel());
    for (const auto& [key, value] : values) {
      const size_t slash = key.find('/');
      const std::string header = "[" + key.substr(0, slash) + "]\n";
      std::string name = key.substr(slash + 1);
      std::replace(name.begin(), name.end(), '/', '\\');
      if (!text.empty() && text.back() != '\n') text += '\n';
      size_t body = text.find(header);
      if (body == std::string::npos) {
        text += header;
        body = text.size();
      } else {
        body += header.size();
      }
      // The value's line within the section, or a new one at its top.
      size_t line = body;
      size_t length = 0;
      for (size_t at = body; at < text.size() && text[at] != '[';) {
        const size_t next = text.find('\n', at) + 1;
        if (text.compare(at, name.size() + 1, name + "=") == 0) {
          line = at;
          length = next - at;
          break;
        }
        at = next;
      }
      text.replace(line, length, value ? name + "=" + value + "\n" : "");
    }
    WriteFile(text);
  }

  // A time of its own for each rewrite: QSettings reads a file again only when its size or
  // time changed, and serves what it read before otherwise.
  void WriteFile(const std::string& text) const {
    static std::time_t s_time = 1000000000;
    m_dir.CreateFile(FileRel(), text, ++s_time);
  }
  std::string FileRel() const { return m_file.substr(m_dir.Root().size() + 1); }

  test::TestDir m_dir;
  std::string m_program;
  std::string m_file;
};

TEST_F(SettingsTest, FirstRunUsesTheDefaultsInOrder) {
  const FakeWindow w = Load();
  const std::vector<std::string> expected = {
      "Size 458x409",
      "Left 730",
      "Top 314",
      "Mask *.*",
      "NumericSort 0",
      "GoToPath " + m_program + "/",
      "Drive " + m_program,
      "Sort 0 0",
      "Parameters",
      "RemoveFromClick",
      "Command 0",
      "Preview 1",
      "ResolveChains 0",
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
    EXPECT_EQ(LoadInto(store, w), "");
    EXPECT_EQ(w.left, c.left);
    EXPECT_EQ(w.top, c.top);
  }
}

TEST_F(SettingsTest, WindowSizeIsNeverBelowTheDesignSize) {
  struct Case {
    const char* name;
    const char* width;  // nullptr: not stored
    const char* height;
    int32_t expectedWidth, expectedHeight;
  } cases[] = {
      {"not stored", nullptr, nullptr, 458, 409}, {"larger", "1000", "700", 1000, 700},
      {"smaller", "100", "50", 458, 409},         {"one larger", "300", "800", 458, 800},
      {"no number", "wide", "", 458, 409},        {"negative", "-900", "-1", 458, 409},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      SettingsStore store(File());
      if (c.width) store.WriteString("Window", "Width", c.width);
      if (c.height) store.WriteString("Window", "Height", c.height);
      store.Sync();
    }
    FakeWindow w(m_program);
    SettingsStore store(File());
    EXPECT_EQ(LoadInto(store, w), "");
    EXPECT_EQ(w.width, c.expectedWidth);
    EXPECT_EQ(w.height, c.expectedHeight);
    // The default position centres the window at the size it got.
    EXPECT_EQ(w.left, (1920 - w.window.width()) / 2);
    std::filesystem::remove(File().toStdString());
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
  EXPECT_EQ(w.width, 900);
  EXPECT_EQ(w.height, 640);
  EXPECT_EQ(w.mask, saved.mask);
  EXPECT_EQ(w.directory, saved.directory);
  EXPECT_TRUE(w.Called("Drive " + saved.directory));
  EXPECT_EQ(w.sortBy, 1);
  EXPECT_EQ(w.sortOrder, 1);
  EXPECT_TRUE(w.numericSort);
  EXPECT_EQ(w.filter, saved.filter);
  EXPECT_EQ(w.expand, saved.expand);
  EXPECT_TRUE(w.shrink.empty());
  EXPECT_TRUE(w.params == saved.params);
  EXPECT_EQ(w.page, 7);
  EXPECT_EQ(w.positionShownFor, 2);
  EXPECT_FALSE(w.preview);
  EXPECT_TRUE(w.resolveChains);
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
       {"ActivePage=7", "Left=-5", "Top=1200", "Width=900", "Height=640", "SortBy=1", "SortOrder=1",
        "NumericSort=1", "FileFilter\\Count=3", "ExpandFilter\\Count=12", "ShrinkFilter\\Count=0",
        "Preview=0", "ResolveChains=1", "RenameFiles\\Start=0", "RenameFiles\\Step=-2",
        "CopyFiles\\Number=", "ReplaceString\\New=@@Variant(x)", "ReplaceString\\Regex=1"}) {
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
      {"numbers by value only for 1",
       {{"Folder/NumericSort", "1"}},
       [](const FakeWindow& w) { EXPECT_TRUE(w.Called("NumericSort 1")); }},
      {"anything else is the plain name sort",
       {{"Folder/NumericSort", "2"}},
       [](const FakeWindow& w) { EXPECT_TRUE(w.Called("NumericSort 0")); }},
      {"a regular expression replace only for 1",
       {{"Pages/ReplaceString/Regex", "1"}},
       [](const FakeWindow& w) { EXPECT_TRUE(w.params.ReplaceRegex); }},
      {"anything else is a plain replace",
       {{"Pages/ReplaceString/Regex", "2"}},
       [](const FakeWindow& w) { EXPECT_FALSE(w.params.ReplaceRegex); }},
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

TEST(DefaultStartFolderTest, TheProgramsFolderOnlyInsideHome) {
  test::TestDir dir;
  const std::string home = dir.CreateFolder("home");
  struct Case {
    const char* name;
    std::string program;
    std::string home;
    std::string start;
  };
  const Case cases[] = {
      {"a build in the home folder", home + "/src/build/app", home, home + "/src/build/app"},
      {"the home folder itself", home, home + "/", home},
      {"installed in a system folder", "/usr/bin", home, home},
      {"a folder whose name only begins like home", home + "x/bin", home, home},
      {"home is the root", "/opt/relabo", "/", "/opt/relabo"},
      {"no home", "/usr/bin", "", "/usr/bin"},
      {"a home that does not exist", "/usr/bin", home + "/gone", "/usr/bin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DefaultStartFolder(c.program, c.home), c.start);
  }
}

TEST_F(SettingsTest, InstalledProgramWithoutAStoredFolderOpensTheHomeFolder) {
  FakeWindow w("/usr/bin");
  w.homeFolder = m_dir.CreateFolder("home");
  SettingsStore store(File());
  EXPECT_EQ(LoadInto(store, w), "");
  EXPECT_EQ(w.directory, w.homeFolder);
}

TEST_F(SettingsTest, GoToFolderHistoryIsKeptAndEmptyAtFirst) {
  {
    FakeWindow w(m_program);
    SettingsStore store(File());
    EXPECT_EQ(LoadInto(store, w), "");
    EXPECT_TRUE(w.goToHistory.empty());
    w.goToHistory = {"~/photos", "/tmp", "../x"};
    SaveSettings(store, w);
  }
  FakeWindow again(m_program);
  SettingsStore store(File());
  EXPECT_EQ(LoadInto(store, again), "");
  EXPECT_EQ(again.goToHistory, (std::vector<std::string>{"~/photos", "/tmp", "../x"}));
}

TEST_F(SettingsTest, FolderThatCannotBeOpenedFallsBackToTheProgramFolder) {
  const std::string locked = m_dir.CreateFolder("locked");
  Preset({{"Folder/Directory", QString::fromStdString(locked)}, {"Pages/ActivePage", "3"}});
  FakeWindow w(m_program);
  w.unreadable.insert(locked);
  SettingsStore store(File());
  EXPECT_EQ(LoadInto(store, w), "");
  EXPECT_EQ(w.directory, m_program);
  EXPECT_TRUE(w.Called("Drive " + m_program));
  EXPECT_EQ(w.page, 3);
}

TEST_F(SettingsTest, ValueOfAnotherTypeReadsAsMissing) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, const char*>> damaged;  // key, its text in the file
    const char* message;
    std::function<void(FakeWindow&)> missing;  // sets the values that read as their defaults
  };
  const std::string program = m_program;
  const Case cases[] = {
      {"typed window position",
       {{"Window/Left", "@ByteArray(12)"}},
       "Invalid data type for 'Left'",
       // Centred at the stored size, 900 x 640 (442 wider than the design's frame of 459).
       [](FakeWindow& w) { w.left = (1920 - (459 + 900 - 458)) / 2; }},
      {"bytes as the sort column",
       {{"Folder/SortBy", "@ByteArray(1)"}},
       "Invalid data type for 'SortBy'",
       [](FakeWindow& w) { w.sortBy = 0; }},
      {"bytes as the numeric sort",
       {{"Folder/NumericSort", "@ByteArray(1)"}},
       "Invalid data type for 'NumericSort'",
       [](FakeWindow& w) { w.numericSort = false; }},
      {"list as a history item",
       {{"History/ExpandFilter/1", "a, b"}},
       "Invalid data type for '1'",
       [](FakeWindow& w) { w.expand[1] = "*.*"; }},
      {"typed value in a page",
       {{"Pages/RenameFiles/Start", R"(@Variant(\0\0\0\xe\0%\x8a\x98))"}},
       "Invalid data type for 'Start'",
       [](FakeWindow& w) { w.params.RenameStart = 1; }},
      {"empty typed value as the command",
       {{"Pages/ActivePage", "@Invalid()"}},
       "Invalid data type for 'ActivePage'",
       [](FakeWindow& w) { w.page = 0; }},
      {"unquoted comma in the mask",
       {{"Folder/Filter", "*.jpg,*.png"}},
       "Invalid data type for 'Filter'",
       [](FakeWindow& w) { w.mask = "*.*"; }},
      {"bytes as the folder",
       {{"Folder/Directory", "@ByteArray(/)"}},
       "Invalid data type for 'Directory'",
       [&](FakeWindow& w) { w.directory = program; }},
      {"unquoted comma in a page text",
       {{"Pages/ChangeCase/Separator", "-,-"}},
       "Invalid data type for 'Separator'",
       [](FakeWindow& w) { w.params.ChangeCaseSeparator = " "; }},
      {"the first of two is reported",
       {{"Pages/CopyFiles/Digits", "1,2"}, {"Window/Top", "@ByteArray(1)"}},
       "Invalid data type for 'Top'",
       [](FakeWindow& w) {
         w.top = (1080 - (451 + 640 - 409)) / 2;
         w.params.CopyDigits = 3;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseFile(c.name);
    const FakeWindow saved = StoredWindow();
    Save(saved);
    EditValues(c.damaged);
    FakeWindow expected = saved;
    c.missing(expected);

    FakeWindow w(m_program);
    {
      SettingsStore store(File());
      EXPECT_EQ(LoadInto(store, w), c.message);
      ExpectSameSettings(w, expected);
      // The save at the end of the run keeps them all and replaces the damaged values.
      w.copyNumberText = std::to_string(w.params.CopyNumber);
      SaveSettings(store, w);
    }
    FakeWindow again(m_program);
    SettingsStore store(File());
    EXPECT_EQ(LoadInto(store, again), "");
    ExpectSameSettings(again, expected);
  }
}

TEST_F(SettingsTest, SectionSpelledWithABackslashIsTheSameSection) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, const char*>> edits;
    const char* section;  // appended to the file
    const char* savedLine;
    std::function<void(FakeWindow& expected, const FakeWindow& loaded)> expect;
  };
  const Case cases[] = {
      {"values only in the extra section",
       {{"Pages/ChangeCase/ChangeMode", nullptr}, {"Pages/ChangeCase/Separator", nullptr}},
       "[Pages\\ChangeCase]\nChangeMode=1\nSeparator=-\n",
       "ChangeCase\\ChangeMode=1\n",
       [](FakeWindow& expected, const FakeWindow&) {
         expected.params.ChangeCaseMode = 1;
         expected.params.ChangeCaseSeparator = "-";
       }},
      {"a value in both spellings",
       {},
       "[Pages\\ChangeCase]\nChangeMode=1\n",
       "ChangeCase\\ChangeMode=",
       [](FakeWindow& expected, const FakeWindow& loaded) {
         const int32_t mode = loaded.params.ChangeCaseMode;
         EXPECT_TRUE(mode == 1 || mode == kStored.ChangeCaseMode) << mode;
         expected.params.ChangeCaseMode = mode;
       }},
      {"an extra section of the last page",
       {{"Pages/CopyFiles/Step", nullptr}},
       "[Pages\\CopyFiles]\nStep=9\n",
       "CopyFiles\\Step=9\n",
       [](FakeWindow& expected, const FakeWindow&) { expected.params.CopyStep = 9; }},
      {"a section spelled with a slash",
       {{"History/FileFilter/Count", nullptr}},
       "[History/FileFilter]\nCount=2\n",
       "FileFilter\\Count=2\n",
       [](FakeWindow& expected, const FakeWindow&) { expected.filter.resize(2); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseFile(c.name);
    const FakeWindow saved = StoredWindow();
    Save(saved);
    EditValues(c.edits);
    WriteFile(m_dir.ReadFile(FileRel()) + c.section);

    FakeWindow w(m_program);
    {
      SettingsStore store(File());
      EXPECT_EQ(LoadInto(store, w), "");
      FakeWindow expected = saved;
      c.expect(expected, w);
      ExpectSameSettings(w, expected);
      w.copyNumberText = std::to_string(w.params.CopyNumber);
      SaveSettings(store, w);
    }
    // One copy of each value, in the spelling of the store.
    const std::string text = m_dir.ReadFile(FileRel());
    const std::string line = c.savedLine;
    const size_t at = text.find("\n" + line);
    EXPECT_NE(at, std::string::npos) << text;
    EXPECT_EQ(text.find("\n" + line, at + 1), std::string::npos) << text;
    EXPECT_EQ(text.find(std::string("\n") + c.section), std::string::npos) << text;
    ExpectSameSettings(Load(), w);
  }
}

TEST_F(SettingsTest, ProgramFolderThatCannotBeOpenedIsReportedAfterTheRest) {
  const FakeWindow saved = StoredWindow();
  Save(saved);
  EditValues({{"Folder/Directory", m_dir.Path("gone").c_str()}});
  FakeWindow w(m_program);
  w.unreadable.insert(m_program + "/");
  SettingsStore store(File());
  EXPECT_EQ(LoadInto(store, w), "Access denied");
  FakeWindow expected = saved;
  expected.directory = "/";  // the list stays where it was
  ExpectSameSettings(w, expected);
  EXPECT_TRUE(w.Called("Drive /"));
}

TEST_F(SettingsTest, FolderPathReadsBackByteForByte) {
  struct Case {
    const char* name;
    std::string folder;
    const char* stored;  // how the file holds the name, when not as it is
  };
  const Case cases[] = {
      {"ASCII", "plain", nullptr},
      {"UTF-8", "Ünïcødé 名前", nullptr},
      {"a percent escape in a valid name", "100%E9", nullptr},
      {"Latin-1", "caf\xE9", "caf%E9"},
      {"a lone continuation byte", "\x80x", "%80x"},
      {"a cut sequence", "a\xC3", "a%C3"},
      {"an encoded surrogate", "\xED\xA0\x80", "%ED%A0%80"},
      {"a percent sign beside an invalid byte", "%\xFF", "%25%FF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseFile(c.name);
    FakeWindow saved = StoredWindow();
    saved.directory = m_dir.CreateFolder(c.folder);
    Save(saved);
    const std::string stored =
        c.stored ? "file://" + m_dir.Root() + "/" + c.stored : saved.directory;
    const std::string text = m_dir.ReadFile(FileRel());
    EXPECT_NE(text.find("\nDirectory=" + stored + "\n"), std::string::npos) << text;
    EXPECT_EQ(Load().directory, saved.directory);
  }
}

TEST_F(SettingsTest, FailedSaveIsReportedAlsoFromADamagedFile) {
  struct Case {
    const char* name;
    const char* folder;
    mode_t mode;
    rlim_t sizeLimit;
  } cases[] = {
      {"full disk", "full", 0755, 16},
      {"read-only folder", "locked", 0555, RLIM_INFINITY},
  };
  const std::string damaged = "[Window\nLeft=1\n";  // a section that does not end
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Root writes into read-only folders.
    if (c.mode == 0555 && ::geteuid() == 0) continue;
    m_file = m_dir.CreateFile(std::string(c.folder) + "/Relabo.conf", damaged);
    m_dir.CreateFolder(c.folder, c.mode);
    FakeWindow w = StoredWindow();
    {
      SettingsStore store(File());
      const FileSizeLimit limit(c.sizeLimit);
      try {
        SaveSettings(store, w);
        ADD_FAILURE() << "no error";
      } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'ActivePage'");
      }
    }
    EXPECT_EQ(m_dir.ReadFile(FileRel()), damaged);
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
  EXPECT_EQ(LoadInto(store, w), "");
  EXPECT_TRUE(w.params == saved.params);
  EXPECT_EQ(w.directory, saved.directory);
}

}  // namespace
}  // namespace relabo
