// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "filelist/file_list_box.h"
#include "fileutil/error.h"
#include "navigation/directory_list_box.h"
#include "navigation/drive_combo_box.h"
#include "navigation/path_label.h"
#include "tests/support/test_dir.h"

namespace relabo {

// Readable failures: the name with its bytes escaped, the kind and the level.
void PrintTo(const DirectoryLine& line, std::ostream* out) {
  *out << ::testing::PrintToString(line.name) << "/" << int(line.kind) << "/" << line.level;
}

namespace {

std::string WorkingFolder() {
  std::unique_ptr<char, decltype(&std::free)> path(::getcwd(nullptr, 0), &std::free);
  return path ? path.get() : "";
}

// A window with the four controls linked, over a temporary tree:
//   root/a/{b/c, Beta, .hidden, file.txt}, root/vol/{inside, photo.jpg}
// where root/vol is a volume of its own.
class DirectoryListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir.CreateFolder("a/b/c");
    m_dir.CreateFolder("a/Beta");
    m_dir.CreateFolder("a/.hidden");
    m_dir.CreateFile("a/file.txt", "text");
    m_dir.CreateFolder("vol/inside");
    m_dir.CreateFile("vol/photo.jpg");
    m_volumes = {{"/", VolumeKind::Fixed, "System", "ext4", "/dev/sda1"},
                 {m_dir.Path("vol"), VolumeKind::Removable, "Stick", "vfat", "/dev/sdb1"},
                 {m_dir.Path("wx"), VolumeKind::Network, "Share", "cifs", "//server/share"}};
    m_savedFolder = WorkingFolder();
    ASSERT_EQ(::chdir(m_dir.Path("a").c_str()), 0);

    const auto source = [this] { return m_volumes; };
    m_window = std::make_unique<QWidget>();
    m_box = new TXDriveComboBox(source, m_window.get());
    m_label = new TXPathLabel(m_window.get());
    m_tree = new TXDirectoryListBox(source, m_window.get());
    m_files = new TXFileListBox(m_window.get());
    auto* layout = new QVBoxLayout(m_window.get());
    layout->addWidget(m_box);
    layout->addWidget(m_label);
    auto* lists = new QHBoxLayout;
    lists->addWidget(m_tree);
    lists->addWidget(m_files, 1);
    layout->addLayout(lists);
    m_window->resize(520, 260);

    m_tree->SetDriveComboBox(m_box);
    m_tree->SetFileList(m_files);
    m_tree->SetDirLabel(m_label);
    QObject::connect(m_tree, &TXDirectoryListBox::Failed,
                     [this](const QString& message) { m_failures.push_back(message); });
    QObject::connect(m_box, &TXDriveComboBox::Failed,
                     [this](const QString& message) { m_failures.push_back(message); });
    m_files->OnError = [this](const std::exception& e) { m_failures.push_back(e.what()); };
    m_window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    m_treeChanges = std::make_unique<QSignalSpy>(m_tree, &TXDirectoryListBox::Changed);
    m_boxChanges = std::make_unique<QSignalSpy>(m_box, &TXDriveComboBox::Changed);
  }

  void TearDown() override {
    m_window.reset();
    EXPECT_EQ(::chdir(m_savedFolder.c_str()), 0) << "the working folder cannot be restored";
  }

  int LineOf(const std::string& name) const {
    for (int i = 0; i < m_tree->Count(); ++i) {
      if (m_tree->Lines()[size_t(i)].name == name) return i;
    }
    return -1;
  }

  // Where every control stands; equal snapshots mean nothing moved.
  struct State {
    std::string tree, drive, files, box, cwd;
    QString label;
    std::vector<DirectoryLine> lines;
    int selected;
    bool operator==(const State&) const = default;
  };
  State Snapshot() const {
    return {m_tree->Directory(), m_tree->Drive(),    m_files->Directory(), m_box->Drive(),
            WorkingFolder(),     m_label->Caption(), m_tree->Lines(),      m_tree->SelectedIndex()};
  }

  // Everything shows folder, told once each time.
  void ExpectAllAt(const std::string& folder, const std::string& volume) {
    EXPECT_EQ(m_tree->Directory(), folder);
    EXPECT_EQ(m_files->Directory(), folder);
    EXPECT_EQ(m_label->Caption(), QString::fromUtf8(folder.c_str()));
    EXPECT_EQ(WorkingFolder(), folder);
    EXPECT_EQ(m_tree->Drive(), volume);
    EXPECT_EQ(m_box->Drive(), volume);
    EXPECT_EQ(m_tree->SelectedIndex(), CurrentLineIndex(m_tree->Lines()));
  }

  test::TestDir m_dir;
  std::vector<Volume> m_volumes;
  std::string m_savedFolder;
  std::unique_ptr<QWidget> m_window;
  TXDriveComboBox* m_box = nullptr;
  TXPathLabel* m_label = nullptr;
  TXDirectoryListBox* m_tree = nullptr;
  TXFileListBox* m_files = nullptr;
  std::unique_ptr<QSignalSpy> m_treeChanges;
  std::unique_ptr<QSignalSpy> m_boxChanges;
  std::vector<QString> m_failures;
};

TEST_F(DirectoryListTest, ShowsChainAndVisibleSubfolders) {
  ExpectAllAt(m_dir.Path("a"), "/");
  const std::vector<DirectoryLine>& lines = m_tree->Lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines.front(), (DirectoryLine{"/", DirectoryLineKind::Ancestor, 0}));
  const size_t current = lines.size() - 3;
  EXPECT_EQ(lines[current].name, "a");
  EXPECT_EQ(lines[current].kind, DirectoryLineKind::Current);
  EXPECT_EQ(lines[current + 1].name, "b");
  EXPECT_EQ(lines[current + 2].name, "Beta");
  // Ancestors step right per level, subfolders one step right of the current folder.
  EXPECT_EQ(m_tree->Indent(0), 4);
  EXPECT_EQ(m_tree->Indent(int(current)), int(current) * 4 + 4);
  EXPECT_EQ(m_tree->Indent(int(current) + 1), int(current) * 4 + 8);
  EXPECT_GE(m_tree->ItemHeight(), 15);
}

TEST_F(DirectoryListTest, EnterOpensSelectedSubfolder) {
  m_tree->setFocus();
  QTest::keyClick(m_tree, Qt::Key_Down);
  EXPECT_EQ(m_treeChanges->count(), 0);  // moving the selection changes nothing
  QTest::keyClick(m_tree, Qt::Key_Return);
  ExpectAllAt(m_dir.Path("a/b"), "/");
  EXPECT_EQ(m_treeChanges->count(), 1);
  EXPECT_EQ(m_boxChanges->count(), 0);
  EXPECT_TRUE(m_failures.empty());
}

TEST_F(DirectoryListTest, DoubleClickOnAncestorGoesUp) {
  m_tree->SetDirectory("b/c");
  ExpectAllAt(m_dir.Path("a/b/c"), "/");
  m_treeChanges->clear();
  const int line = LineOf("a");
  ASSERT_GE(line, 0);
  QTest::mouseDClick(m_tree->viewport(), Qt::LeftButton, {},
                     m_tree->visualRect(m_tree->model()->index(line, 0)).center());
  ExpectAllAt(m_dir.Path("a"), "/");
  EXPECT_EQ(m_treeChanges->count(), 1);
  EXPECT_TRUE(m_failures.empty());
}

TEST_F(DirectoryListTest, VolumePickedInSelectorMovesEverything) {
  m_box->setFocus();
  QTest::keyClick(m_box, Qt::Key_Down);  // from "/" to the stick
  ExpectAllAt(m_dir.Path("vol"), m_dir.Path("vol"));
  EXPECT_EQ(m_treeChanges->count(), 1);
  EXPECT_TRUE(m_failures.empty());

  // An ancestor on another volume brings the selector along.
  m_treeChanges->clear();
  m_boxChanges->clear();
  m_tree->SetSelectedIndex(LineOf("vol") - 1);
  m_tree->OpenSelectedLine();
  ExpectAllAt(m_dir.Root(), "/");
  EXPECT_EQ(m_treeChanges->count(), 1);
  EXPECT_EQ(m_boxChanges->count(), 1);

  m_tree->SetDrive(m_dir.Path("vol"));
  ExpectAllAt(m_dir.Path("vol"), m_dir.Path("vol"));
  m_treeChanges->clear();
  m_tree->SetDrive(m_dir.Path("vol"));  // the volume it is on: nothing
  EXPECT_EQ(m_treeChanges->count(), 0);
}

TEST_F(DirectoryListTest, VolumeThatCannotBeEnteredChangesNothing) {
  // root/wx is a volume of the table whose mount point is gone.
  const State before = Snapshot();
  m_box->setFocus();
  QTest::keyClick(m_box, Qt::Key_End);
  ASSERT_EQ(m_failures.size(), 1u);
  EXPECT_TRUE(m_failures[0].contains("wx")) << m_failures[0].toStdString();
  EXPECT_EQ(m_tree->Directory(), before.tree);
  EXPECT_EQ(m_files->Directory(), before.files);
  EXPECT_EQ(m_box->Drive(), "/");
  EXPECT_EQ(m_label->Caption(), before.label);
  EXPECT_EQ(m_treeChanges->count(), 0);

  // No volume: nothing moves, the list is built again and the change told.
  m_tree->SetDrive("");
  EXPECT_EQ(m_tree->Directory(), before.tree);
  EXPECT_EQ(m_treeChanges->count(), 1);
}

TEST_F(DirectoryListTest, TheRootFolderOfAVolumeOpensItWhereItIsTheFocusedEntry) {
  // The list shows the folder holding the mount point, with that entry focused and marked:
  // the bare mount point is the focused path, so the list takes it for what it shows already.
  m_tree->SetDirectory(m_dir.Root());
  int row = -1;
  for (int i = 0; i < m_files->Count(); ++i) {
    if (m_files->ItemText(i) == "[vol]") row = i;
  }
  ASSERT_GE(row, 0);
  m_files->SetFocused(row);
  m_files->SetMarked(row, true);
  ASSERT_EQ(m_files->FocusedPath(), m_dir.Path("vol"));

  {
    // Chosen without the tree list following, as a window that opens the volume itself.
    const QSignalBlocker quiet(m_box);
    m_box->SetDrive(m_dir.Path("vol"));
  }
  ASSERT_EQ(m_files->Directory(), m_dir.Root());
  m_files->GoToPath(m_box->RootFolder());
  ExpectAllAt(m_dir.Path("vol"), m_dir.Path("vol"));
  EXPECT_TRUE(m_failures.empty());
}

TEST_F(DirectoryListTest, UnmountingTheShownVolumeMovesEverythingToTheOneHoldingIt) {
  m_box->SetDrive(m_dir.Path("vol"));
  m_tree->SetDirectory(m_dir.Path("vol/inside"));
  ExpectAllAt(m_dir.Path("vol/inside"), m_dir.Path("vol"));

  // Unmounted: the selector falls back to "/", and the controls follow it there.
  m_volumes.erase(m_volumes.begin() + 1);
  m_box->RefreshVolumes();
  ExpectAllAt("/", "/");
  EXPECT_EQ(m_box->IndexOfMountPoint(m_dir.Path("vol")), -1);
  EXPECT_EQ(m_box->currentIndex(), 0);
  EXPECT_TRUE(m_failures.empty());
}

TEST_F(DirectoryListTest, FileListOutOfStepIsBroughtBack) {
  m_files->ChangeFolder(m_dir.Path("vol"));  // behind the tree's back
  m_tree->ApplyPath(m_dir.Path("a"));
  ExpectAllAt(m_dir.Path("a"), "/");
  EXPECT_EQ(m_treeChanges->count(), 1);

  m_tree->SetFileList(nullptr);
  EXPECT_FALSE(m_files->TreeGoToPath);
  m_files->ChangeFolder(m_dir.Path("vol"));
  m_tree->SetFileList(m_files);
  EXPECT_EQ(m_files->Directory(), m_dir.Path("a"));
}

TEST_F(DirectoryListTest, ItemHeightFollowsFont) {
  QFont font = m_tree->font();
  font.setPixelSize(30);
  m_tree->setFont(font);
  EXPECT_GE(m_tree->ItemHeight(), 30);
  EXPECT_EQ(m_tree->visualRect(m_tree->model()->index(1, 0)).height(), m_tree->ItemHeight());
  font.setPixelSize(6);
  m_tree->setFont(font);
  EXPECT_EQ(m_tree->ItemHeight(), 15);
  EXPECT_EQ(m_tree->SelectedIndex(), CurrentLineIndex(m_tree->Lines()));
}

TEST_F(DirectoryListTest, FileListPathsGoThroughTree) {
  m_files->GoToPath(m_dir.Path("a/b"));
  ExpectAllAt(m_dir.Path("a/b"), "/");
  EXPECT_EQ(m_treeChanges->count(), 1);

  m_files->GoToPath(m_dir.Path("vol/*.jpg"));
  ExpectAllAt(m_dir.Path("vol"), m_dir.Path("vol"));
  EXPECT_EQ(m_files->Mask(), "*.jpg");
  EXPECT_EQ(m_treeChanges->count(), 2);

  // A missing file is the file list's error, after the folder change.
  const std::string missing = m_dir.Path("a/missing.txt");
  try {
    m_files->GoToPath(missing);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Invalid file name - " + missing);
  }
  ExpectAllAt(m_dir.Path("a"), "/");
  EXPECT_EQ(m_treeChanges->count(), 3);
}

TEST_F(DirectoryListTest, FolderThatCannotBeEnteredChangesNothing) {
  const State before = Snapshot();
  const int line = LineOf("Beta");
  ASSERT_GE(line, 0);
  ASSERT_EQ(::rmdir(m_dir.Path("a/Beta").c_str()), 0);
  m_tree->SetSelectedIndex(line);
  m_tree->setFocus();
  QTest::keyClick(m_tree, Qt::Key_Enter);
  ASSERT_EQ(m_failures.size(), 1u);
  EXPECT_TRUE(m_failures[0].contains("Beta")) << m_failures[0].toStdString();
  m_tree->SetSelectedIndex(before.selected);
  EXPECT_EQ(Snapshot(), before);

  try {
    m_tree->SetDirectory("gone");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Code(), ENOENT);
  }
  EXPECT_THROW(m_tree->ApplyPath(m_dir.Path("gone/x")), Error);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(m_treeChanges->count(), 0);
  EXPECT_EQ(m_boxChanges->count(), 0);
}

TEST_F(DirectoryListTest, FolderNobodyMayEnterChangesNothingOneNotListedOpens) {
  if (::geteuid() == 0) GTEST_SKIP() << "the super-user may read every folder";
  m_dir.CreateFolder("a/listless", 0311);  // may be entered, not listed
  m_dir.CreateFolder("a/closed", 0);
  const State before = Snapshot();
  EXPECT_THROW(m_tree->SetDirectory("closed"), Error);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(m_treeChanges->count(), 0);
  // One that may be entered opens, as in the file list, though nothing in it can be listed.
  EXPECT_NO_THROW(m_tree->SetDirectory("listless"));
  EXPECT_EQ(m_treeChanges->count(), 1);
}

TEST_F(DirectoryListTest, VanishedCurrentFolderGivesNoLines) {
  m_tree->SetDirectory("b/c");
  ASSERT_EQ(::rmdir(m_dir.Path("a/b/c").c_str()), 0);
  m_tree->FillFolderList();
  EXPECT_EQ(m_tree->Count(), 0);
  EXPECT_EQ(m_tree->SelectedIndex(), -1);
}

TEST_F(DirectoryListTest, NamesAreOpenedByTheirBytes) {
  const std::string name = "caf\xC3\xA9 *?-\xFF";
  m_dir.CreateFolder("a/" + name);
  m_tree->FillFolderList();
  const int line = LineOf(name);
  ASSERT_GE(line, 0);
  EXPECT_EQ(m_tree->DisplayText(line), QString::fromUtf8("caf\xC3\xA9 *?-\xEF\xBF\xBD"));
  m_tree->SetSelectedIndex(line);
  m_tree->OpenSelectedLine();
  ExpectAllAt(m_dir.Path("a/" + name), "/");
}

TEST_F(DirectoryListTest, RemovingLinkedControlClearsLink) {
  delete m_label;
  EXPECT_EQ(m_tree->DirLabel(), nullptr);
  delete m_files;
  EXPECT_EQ(m_tree->FileList(), nullptr);
  delete m_box;
  EXPECT_EQ(m_tree->DriveComboBox(), nullptr);
  m_tree->SetDirectory("b");
  EXPECT_EQ(m_tree->Directory(), m_dir.Path("a/b"));
  EXPECT_EQ(m_treeChanges->count(), 1);
}

TEST_F(DirectoryListTest, RemovingTreeClearsBackReferences) {
  delete m_tree;
  EXPECT_FALSE(m_files->TreeGoToPath);
  EXPECT_EQ(DirListOf(*m_box), nullptr);
  m_files->GoToPath(m_dir.Path("a/b"));  // on its own again
  EXPECT_EQ(m_files->Directory(), m_dir.Path("a/b"));
  m_box->SetDrive(m_dir.Path("vol"));
  EXPECT_EQ(m_box->Drive(), m_dir.Path("vol"));
}

TEST_F(DirectoryListTest, OneTreePerSelectorAndFileList) {
  EXPECT_EQ(DirListOf(*m_box), m_tree);
  auto* other = new TXDirectoryListBox([this] { return m_volumes; }, m_window.get());
  SetDirList(*m_box, other);
  other->SetFileList(m_files);
  EXPECT_EQ(m_tree->DriveComboBox(), nullptr);
  EXPECT_EQ(m_tree->FileList(), nullptr);
  EXPECT_EQ(DirListOf(*m_box), other);
  m_box->SetDrive(m_dir.Path("vol"));
  EXPECT_EQ(other->Directory(), m_dir.Path("vol"));
  EXPECT_EQ(m_files->Directory(), m_dir.Path("vol"));
  EXPECT_EQ(m_tree->Directory(), m_dir.Path("a"));
  SetDirList(*m_box, nullptr);
  EXPECT_EQ(other->DriveComboBox(), nullptr);
}

// A picture of the window for a person to look at, when asked for with a file name.
TEST_F(DirectoryListTest, Screenshot) {
  const char* file = std::getenv("RELABO_TREE_SCREENSHOT");
  if (!file || !*file) GTEST_SKIP() << "RELABO_TREE_SCREENSHOT names no file";
  m_tree->SetDirectory("b");
  m_tree->SetSelectedIndex(LineOf("c"));
  m_tree->setFocus();
  QApplication::processEvents();
  EXPECT_TRUE(m_window->grab().save(QString::fromLocal8Bit(file)));
}

}  // namespace
}  // namespace relabo

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::setenv("TZ", "UTC", 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  QApplication::setStyle(QStringLiteral("Fusion"));
  return RUN_ALL_TESTS();
}
