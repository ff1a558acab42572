// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigation/drive_combo_box.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QProxyStyle>
#include <QSignalSpy>
#include <QStyleOptionComboBox>
#include <QTest>
#include <algorithm>
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

// Records the text the closed box's label is drawn with.
class LabelRecorder : public QProxyStyle {
 public:
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    if (const auto* box = qstyleoption_cast<const QStyleOptionComboBox*>(option);
        box && element == CE_ComboBoxLabel) {
      drawn.push_back(box->currentText);
    }
    QProxyStyle::drawControl(element, option, painter, widget);
  }

  mutable std::vector<QString> drawn;
};

class DriveComboBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    m_volumes = SampleVolumes();
    m_box = std::make_unique<TXDriveComboBox>([this] { return m_volumes; });
    m_box->SetFolderSource([this] { return m_shownFolder; });
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

  // Removes the volumes with these mount points from what the source reports.
  void Unmount(const std::vector<std::string>& mountPoints) {
    std::erase_if(m_volumes, [&mountPoints](const Volume& v) {
      return std::find(mountPoints.begin(), mountPoints.end(), v.mountPoint) != mountPoints.end();
    });
  }

  std::vector<Volume> m_volumes;
  std::string m_shownFolder = "/";              // the host's folder, as the box asks for it
  std::unique_ptr<LabelRecorder> m_labelStyle;  // outlives the box that may use it
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

  // The current volume goes: the volume holding the shown folder ("/") takes its place,
  // quietly, and keeps it when the other comes back.
  const Volume stick = m_volumes[1];
  m_volumes.erase(m_volumes.begin() + 1);
  m_box->RefreshVolumes();
  EXPECT_EQ(m_box->currentIndex(), 0);
  EXPECT_EQ(m_box->Drive(), "/");
  m_volumes.insert(m_volumes.begin() + 1, stick);
  m_box->RefreshVolumes();
  EXPECT_EQ(m_box->currentIndex(), 0);
  EXPECT_EQ(m_box->Drive(), "/");
  EXPECT_EQ(rebuilt.count(), 3);
  EXPECT_TRUE(m_changes.empty());
}

TEST_F(DriveComboBoxTest, RefreshFallsBackToTheVolumeOfTheShownFolder) {
  std::vector<Volume> mounted = SampleVolumes();
  mounted.insert(mounted.begin() + 3, {"/media/ann/STICK/inner", Kind::Removable, "", "vfat", "y"});
  struct Case {
    const char* name;
    const char* drive;
    const char* folder;
    std::vector<std::string> gone;
    const char* expected;
    bool told;  // Changed fired, so the host opens the volume
  };
  const Case cases[] = {
      {"the shown folder's volume goes",
       "/media/ann/STICK",
       "/media/ann/STICK/photos",
       {"/media/ann/STICK"},
       "/",
       true},
      {"nested: the next volume out",
       "/media/ann/STICK/inner",
       "/media/ann/STICK/inner/a",
       {"/media/ann/STICK/inner"},
       "/media/ann/STICK",
       true},
      {"nested: both go",
       "/media/ann/STICK/inner",
       "/media/ann/STICK/inner/a",
       {"/media/ann/STICK", "/media/ann/STICK/inner"},
       "/",
       true},
      {"the outer one goes, the inner holds the folder",
       "/media/ann/STICK/inner",
       "/media/ann/STICK/inner/a",
       {"/media/ann/STICK"},
       "/media/ann/STICK/inner",
       false},
      {"the current one goes, the folder is elsewhere",
       "/mnt/dvd",
       "/home/ann",
       {"/mnt/dvd"},
       "/home",
       false},
      {"the folder's volume goes while another is current",
       "/",
       "/mnt/dvd/films",
       {"/mnt/dvd"},
       "/",
       true},
      {"another volume goes", "/home", "/home/ann", {"/tmp"}, "/home", false},
      {"a folder that merely begins alike",
       "/media/ann/STICK",
       "/media/ann/STICKER",
       {"/media/ann/STICK"},
       "/",
       false},
      {"folder unknown: the root", "/mnt/dvd", "", {"/mnt/dvd"}, "/", false},
      {"the root goes too: still the root", "/mnt/dvd", "/mnt/dvd/x", {"/", "/mnt/dvd"}, "/", true},
      {"a value no item had is kept", "/nowhere", "/home/ann", {"/tmp"}, "/nowhere", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_volumes = mounted;
    m_shownFolder = "/";
    m_box->RefreshVolumes();
    ASSERT_EQ(m_box->count(), int(mounted.size()));
    m_box->SetDrive(c.drive);
    m_shownFolder = c.folder;
    m_changes.clear();
    Unmount(c.gone);
    ASSERT_EQ(m_volumes.size(), mounted.size() - c.gone.size());
    m_box->RefreshVolumes();
    EXPECT_EQ(m_box->count(), int(m_volumes.size()));
    EXPECT_EQ(m_box->Drive(), c.expected);
    EXPECT_EQ(m_box->currentIndex(), m_box->IndexOfMountPoint(c.expected));
    EXPECT_EQ(m_changes,
              c.told ? std::vector<std::string>{c.expected} : std::vector<std::string>{});
  }
  EXPECT_TRUE(m_failures.empty());
}

TEST_F(DriveComboBoxTest, RefreshReportsAFolderThatCannotBeOpened) {
  m_box->SetDrive("/mnt/dvd");
  m_shownFolder = "/mnt/dvd/films";
  m_failingDrive = "/";
  m_changes.clear();
  Unmount({"/mnt/dvd"});
  m_box->RefreshVolumes();
  EXPECT_EQ(m_changes, std::vector<std::string>{"/"});
  EXPECT_EQ(m_failures, std::vector<QString>{"Cannot open folder /"});
  // Nothing to go back to: the volume that went stays gone.
  EXPECT_EQ(m_box->Drive(), "/");
  EXPECT_EQ(m_box->currentIndex(), 0);
}

TEST_F(DriveComboBoxTest, PickOfAVolumeThatWentOpensTheVolumeOfTheShownFolder) {
  struct Case {
    const char* name;
    const char* drive;
    const char* folder;
    bool openList;  // picked in the open list, else stepped to in the closed box
  };
  const Case cases[] = {
      {"Enter in the open list", "/home", "/home/ann/docs", true},
      {"arrow key in the closed box", "/media/ann/STICK", "/media/ann/STICK/x", false},
  };
  Show();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_volumes = SampleVolumes();
    m_box->RefreshVolumes();
    m_box->SetDrive(c.drive);
    m_shownFolder = c.folder;
    m_changes.clear();
    QSignalSpy rebuilt(m_box.get(), &TXDriveComboBox::VolumesChanged);
    // The DVD goes before the list has been read again.
    Unmount({"/mnt/dvd"});
    if (c.openList) {
      m_box->showPopup();
      m_box->RefreshVolumes();  // waits for the list to close
      ASSERT_EQ(m_box->count(), 6);
      m_box->view()->setCurrentIndex(m_box->model()->index(3, 0));
      QTest::keyClick(m_box->view(), Qt::Key_Return);
    } else {
      ASSERT_EQ(m_box->currentIndex(), 2);
      QTest::keyClick(m_box.get(), Qt::Key_Down);
    }
    QTest::qWait(20);
    EXPECT_EQ(m_box->count(), 5);
    EXPECT_EQ(m_box->IndexOfMountPoint("/mnt/dvd"), -1);
    EXPECT_EQ(m_box->Drive(), c.drive);
    EXPECT_EQ(m_box->currentIndex(), m_box->IndexOfMountPoint(c.drive));
    EXPECT_EQ(m_changes, (std::vector<std::string>{c.drive, c.drive}));
    EXPECT_EQ(rebuilt.count(), 1);
  }
  EXPECT_TRUE(m_failures.empty());
}

TEST_F(DriveComboBoxTest, RootFolderEndsWithASlash) {
  const std::pair<const char*, const char*> cases[] = {
      {"/home", "/home/"}, {"/media/ann/STICK", "/media/ann/STICK/"}, {"/", "/"}, {"", ""}};
  for (const auto& [drive, root] : cases) {
    SCOPED_TRACE(drive);
    m_box->SetDrive(drive);
    EXPECT_EQ(m_box->RootFolder(), root);
  }
}

TEST_F(DriveComboBoxTest, LongTextIsElidedInTheMiddleAndWholeInTheTooltip) {
  Show();
  m_box->SetDrive("/media/ann/STICK");
  const QString whole = QStringLiteral("/media/ann/STICK  stick");
  const QFontMetrics metrics(m_box->font());

  m_labelStyle = std::make_unique<LabelRecorder>();
  m_box->setStyle(m_labelStyle.get());
  m_box->resize(110, m_box->height());
  const QString narrow = m_box->ShownText();
  m_box->repaint();
  ASSERT_FALSE(m_labelStyle->drawn.empty());
  EXPECT_EQ(m_labelStyle->drawn.back(), narrow);
  const qsizetype cut = narrow.indexOf(QStringLiteral("..."));
  ASSERT_GT(cut, 0) << narrow.toStdString();
  EXPECT_TRUE(whole.startsWith(narrow.left(cut)));
  EXPECT_TRUE(whole.endsWith(narrow.mid(cut + 3)));
  EXPECT_FALSE(narrow.mid(cut + 3).isEmpty());
  EXPECT_LT(metrics.horizontalAdvance(narrow), metrics.horizontalAdvance(whole));
  EXPECT_LT(metrics.horizontalAdvance(narrow), m_box->width());
  EXPECT_EQ(m_box->toolTip(), whole);

  // Narrower still: less of it, but still both ends.
  m_box->resize(80, m_box->height());
  const QString narrower = m_box->ShownText();
  EXPECT_LT(narrower.size(), narrow.size());
  EXPECT_TRUE(narrower.startsWith(QLatin1Char('/')) && narrower.contains(QStringLiteral("...")));

  m_box->resize(1000, m_box->height());
  EXPECT_EQ(m_box->ShownText(), whole);
  m_box->repaint();
  EXPECT_EQ(m_labelStyle->drawn.back(), whole);
  EXPECT_EQ(m_box->toolTip(), whole);

  m_box->SetDrive("/home");
  EXPECT_EQ(m_box->toolTip(), QStringLiteral("/home"));
  m_box->SetDrive("");
  EXPECT_EQ(m_box->toolTip(), QString());
  EXPECT_EQ(m_box->ShownText(), QString());
}

TEST_F(DriveComboBoxTest, TypingFindsAVolumeByItsLastPartOrLabel) {
  struct Case {
    const char* name;
    const char* drive;
    const char* typed;
    const char* expected;
  };
  const Case cases[] = {
      {"the root by its label", "/home", "sy", "/"},
      {"a last part, not the leading slash", "/", "d", "/mnt/dvd"},
      {"a last part ignoring case", "/", "SHA", "/mnt/share"},
      {"a label", "/", "sti", "/media/ann/STICK"},
      {"a label ignoring case", "/mnt/dvd", "//SERV", "/mnt/share"},
      {"one letter again steps on", "/", "ss", "/mnt/share"},
      {"and round to the start", "/", "sss", "/"},
      {"a whole mount point", "/home", "/tm", "/tmp"},
      {"the current one when it is the only match", "/home", "h", "/home"},
      {"no match leaves it", "/home", "x", "/home"},
  };
  Show();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_box->SetDrive(c.drive);
    m_box->view()->keyboardSearch(QString());  // a new search
    QTest::keyClicks(m_box.get(), c.typed);
    EXPECT_EQ(m_box->Drive(), c.expected);
    EXPECT_EQ(m_box->currentIndex(), m_box->IndexOfMountPoint(c.expected));
  }

  // In the open list typing moves the highlight; Enter picks it.
  m_box->SetDrive("/");
  m_changes.clear();
  m_box->showPopup();
  ASSERT_TRUE(m_box->view()->isVisible());
  m_box->view()->keyboardSearch(QString());
  QTest::keyClicks(m_box->view(), "dv");
  EXPECT_EQ(m_box->view()->currentIndex().row(), 3);
  EXPECT_EQ(m_box->Drive(), "/");
  QTest::keyClick(m_box->view(), Qt::Key_Return);
  EXPECT_EQ(m_box->Drive(), "/mnt/dvd");
  EXPECT_EQ(m_changes, (std::vector<std::string>{"/mnt/dvd", "/mnt/dvd"}));
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
