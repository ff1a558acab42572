#include "navigation/drive_combo_box.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "fileutil/error.h"
#include "tests/support/test_dir.h"

namespace relabo {
namespace {

using Kind = VolumeKind;

void EnsureApplication() {
  if (QApplication::instance()) return;
  // Never the machine's display, whatever the environment says.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "relabo_navigation_tests";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
}

std::vector<Volume> SampleVolumes() {
  return {
      {"/", Kind::Fixed, "System", "ext4", "/dev/sda2"},
      {"/home", Kind::Fixed, "", "ext4", "/dev/sda3"},
      {"/media/ann/STICK", Kind::Removable, "Stick", "vfat", "/dev/sdb1"},
      {"/mnt/dvd", Kind::Optical, "", "iso9660", "/dev/sr0"},
      {"/mnt/share", Kind::Network, "//Server/Share", "cifs", "//Server/Share"},
      {"/tmp", Kind::Ram, "", "tmpfs", "tmpfs"},
  };
}

class DriveComboBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    m_volumes = SampleVolumes();
    m_box = std::make_unique<TXDriveComboBox>([this] { return m_volumes; });
    QObject::connect(m_box.get(), &TXDriveComboBox::Changed, [this] {
      m_changes.push_back(m_box->Drive());
      if (m_box->Drive() == m_failingDrive) throw Error("Cannot open folder " + m_failingDrive);
    });
    QObject::connect(m_box.get(), &TXDriveComboBox::Failed,
                     [this](const QString& message) { m_failures.push_back(message); });
  }

  std::vector<QString> Texts() const {
    std::vector<QString> texts;
    for (int i = 0; i < m_box->count(); ++i) texts.push_back(m_box->itemText(i));
    return texts;
  }

  void Show() {
    m_box->resize(300, m_box->sizeHint().height());
    m_box->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_box.get()));
  }

  std::vector<Volume> m_volumes;
  std::unique_ptr<TXDriveComboBox> m_box;
  std::vector<std::string> m_changes;  // Drive at each Changed
  std::string m_failingDrive = "none";
  std::vector<QString> m_failures;
};

TEST_F(DriveComboBoxTest, ItemsShowMountPointGlyphAndLabelInItsCase) {
  const std::vector<QString> lower = {
      "/  system", "/home", "/media/ann/STICK  stick", "/mnt/dvd", "/mnt/share  //server/share",
      "/tmp"};
  EXPECT_EQ(Texts(), lower);
  const Kind kinds[] = {Kind::Fixed,   Kind::Fixed,   Kind::Removable,
                        Kind::Optical, Kind::Network, Kind::Ram};
  for (int i = 0; i < m_box->count(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(m_box->KindAt(i), kinds[i]);
    EXPECT_EQ(m_box->MountPointAt(i), SampleVolumes()[size_t(i)].mountPoint);
    // The artwork was found and drawn: the glyph has opaque pixels.
    const QImage glyph = m_box->itemIcon(i).pixmap(16, 16).toImage();
    ASSERT_FALSE(glyph.isNull());
    EXPECT_GT(glyph.pixelColor(8, 8).alpha(), 0);
  }

  m_box->SetDrive("/media/ann/STICK");
  m_changes.clear();
  m_box->SetTextCase(TXTextCase::tcUpperCase);
  const std::vector<QString> upper = {
      "/  SYSTEM", "/home", "/media/ann/STICK  STICK", "/mnt/dvd", "/mnt/share  //SERVER/SHARE",
      "/tmp"};
  EXPECT_EQ(Texts(), upper);
  EXPECT_EQ(m_box->currentIndex(), 2);
  // Writing the same case still rebuilds the list and tells the drive again.
  m_box->SetTextCase(TXTextCase::tcUpperCase);
  EXPECT_EQ(m_changes, (std::vector<std::string>{"/media/ann/STICK", "/media/ann/STICK"}));
  EXPECT_EQ(m_box->currentIndex(), 2);
}

TEST_F(DriveComboBoxTest, WritingDrive) {
  struct Step {
    const char* name;
    const char* value;
    int index;     // selected item afterwards
    bool changed;  // Changed fired
  };
  const Step steps[] = {
      {"an item's mount point selects it", "/home", 1, true},
      {"the selected one again does nothing", "/home", 1, false},
      {"no such item: kept, selection stays", "/nowhere", 1, true},
      {"a path inside a volume is not its mount point", "/tmp/x", 1, true},
      {"another item", "/tmp", 5, true},
      {"empty clears the selection", "", -1, true},
      {"empty without a selection tells again", "", -1, true},
      {"back to an item", "/mnt/dvd", 3, true},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    m_changes.clear();
    m_box->SetDrive(s.value);
    EXPECT_EQ(m_box->Drive(), s.value);
    EXPECT_EQ(m_box->currentIndex(), s.index);
    EXPECT_EQ(m_changes,
              s.changed ? std::vector<std::string>{s.value} : std::vector<std::string>{});
  }
}

TEST_F(DriveComboBoxTest, UserPickTellsTwiceOrOnceForTheCurrentVolume) {
  Show();
  m_box->SetDrive("/home");
  m_changes.clear();
  QTest::keyClick(m_box.get(), Qt::Key_Down);
  EXPECT_EQ(m_box->Drive(), "/media/ann/STICK");
  EXPECT_EQ(m_box->currentIndex(), 2);
  EXPECT_EQ(m_changes, (std::vector<std::string>{"/media/ann/STICK", "/media/ann/STICK"}));

  // Picking the current volume in the open list.
  m_changes.clear();
  m_box->showPopup();
  ASSERT_TRUE(m_box->view()->isVisible());
  QTest::keyClick(m_box->view(), Qt::Key_Return);
  EXPECT_FALSE(m_box->view()->isVisible());
  EXPECT_EQ(m_changes, std::vector<std::string>{"/media/ann/STICK"});
  EXPECT_TRUE(m_failures.empty());
}

TEST_F(DriveComboBoxTest, FailedPickRestoresDriveAndShowsNoVolume) {
  Show();
  m_box->SetDrive("/mnt/dvd");
  m_changes.clear();
  m_failingDrive = "/mnt/share";
  QTest::keyClick(m_box.get(), Qt::Key_Down);
  EXPECT_EQ(m_box->Drive(), "/mnt/dvd");
  EXPECT_EQ(m_box->currentIndex(), -1);
  // The second notice of the pick does not come after a failure.
  EXPECT_EQ(m_changes, std::vector<std::string>{"/mnt/share"});
  EXPECT_EQ(m_failures, std::vector<QString>{"Cannot open folder /mnt/share"});
}

TEST_F(DriveComboBoxTest, FailedWriteRestoresDriveAndPropagates) {
  m_box->SetDrive("/home");
  m_failingDrive = "/tmp";
  EXPECT_THROW(m_box->SetDrive("/tmp"), Error);
  EXPECT_EQ(m_box->Drive(), "/home");
  // The selection it made stays; only the value goes back.
  EXPECT_EQ(m_box->currentIndex(), 5);
  EXPECT_TRUE(m_failures.empty());
}

TEST_F(DriveComboBoxTest, RefreshKeepsTheSelection) {
  QSignalSpy rebuilt(m_box.get(), &TXDriveComboBox::VolumesChanged);
  m_box->SetDrive("/media/ann/STICK");
  m_changes.clear();

  m_box->RefreshVolumes();
  EXPECT_EQ(rebuilt.count(), 0);

  m_volumes.erase(m_volumes.begin() + 1);  // /home
  m_volumes.insert(m_volumes.begin() + 2, {"/media/ann/NEW", Kind::Removable, "", "vfat", "x"});
  m_box->RefreshVolumes();
  EXPECT_EQ(rebuilt.count(), 1);
  EXPECT_EQ(m_box->count(), 6);
  EXPECT_EQ(m_box->currentIndex(), 1);
  EXPECT_EQ(m_box->MountPointAt(1), "/media/ann/STICK");

  // The current volume goes: nothing is selected, but Drive waits for it to come back.
  const Volume stick = m_volumes[1];
  m_volumes.erase(m_volumes.begin() + 1);
  m_box->RefreshVolumes();
  EXPECT_EQ(m_box->currentIndex(), -1);
  EXPECT_EQ(m_box->Drive(), "/media/ann/STICK");
  m_volumes.insert(m_volumes.begin() + 1, stick);
  m_box->RefreshVolumes();
  EXPECT_EQ(m_box->currentIndex(), 1);
  EXPECT_EQ(rebuilt.count(), 3);
  EXPECT_TRUE(m_changes.empty());
}

TEST_F(DriveComboBoxTest, RefreshWaitsWhileTheListIsOpen) {
  Show();
  m_box->SetDrive("/home");
  m_box->showPopup();
  m_volumes.pop_back();
  m_box->RefreshVolumes();
  EXPECT_EQ(m_box->count(), 6);
  m_box->hidePopup();
  QTest::qWait(50);
  EXPECT_EQ(m_box->count(), 5);
  EXPECT_EQ(m_box->currentIndex(), 1);
}

TEST_F(DriveComboBoxTest, ItemHeightIsTheLineHeightButAtLeast16) {
  QFont font = m_box->font();
  font.setPixelSize(8);
  m_box->setFont(font);
  EXPECT_EQ(m_box->ItemHeight(), 16);
  font.setPixelSize(30);
  m_box->setFont(font);
  EXPECT_EQ(m_box->ItemHeight(), QFontMetrics(font).height());
  EXPECT_GT(m_box->ItemHeight(), 16);
  EXPECT_EQ(m_box->view()->sizeHintForRow(0), m_box->ItemHeight());
  EXPECT_TRUE(m_changes.empty());
}

TEST(DriveComboBoxStartTest, SelectsTheVolumeOfTheCurrentFolder) {
  EnsureApplication();
  test::TestDir dir;
  test::CurrentFolderGuard guard;
  ASSERT_EQ(::chdir(dir.Root().c_str()), 0);
  std::vector<Volume> volumes = SampleVolumes();
  volumes.push_back({dir.Root(), Kind::Ram, "", "tmpfs", "tmpfs"});
  TXDriveComboBox box([&volumes] { return volumes; });
  EXPECT_EQ(box.Drive(), dir.Root());
  EXPECT_EQ(box.currentIndex(), 6);
}

}  // namespace
}  // namespace relabo
