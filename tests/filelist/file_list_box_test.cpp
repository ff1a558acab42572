// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/file_list_box.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QFontInfo>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "filelist/file_list_model.h"
#include "filelist/file_row_delegate.h"
#include "tests/support/test_dir.h"

namespace relabo {
namespace {

// 24 December 2007, 14:05:09 UTC.
constexpr std::time_t kChristmasEve = 1198505109;

int IndexOf(const FolderList& list, const std::string& text) {
  for (int i = 0; i < list.Count(); ++i) {
    if (list.ItemText(i) == text) return i;
  }
  ADD_FAILURE() << "no entry " << text;
  return -1;
}

class FileListBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_top = m_dir.CreateFolder("top");
    m_dir.CreateFolder("top/Beta");
    m_dir.CreateFile("top/Beta/inner.txt");
    m_dir.CreateFolder("top/alpha");
    m_dir.CreateFolder("top/.hidden");
    m_dir.CreateFile("top/a.txt", "x", kChristmasEve);
    m_dir.CreateFile("top/b.txt", std::string(1024, 'b'), kChristmasEve);
    m_dir.CreateFile("top/c.dat");
    m_dir.CreateFile("top/.secret");
    m_dir.CreateFile("top/Very long file name that does not fit its column.txt");
  }

  // A shown list whose first scan read folder.
  std::unique_ptr<TXFileListBox> Open(const std::string& folder, bool multiSelect = true) {
    if (::chdir(folder.c_str()) != 0) ADD_FAILURE() << "chdir " << folder;
    auto list = std::make_unique<TXFileListBox>();
    list->SetMultiSelect(multiSelect);
    list->OnError = [this](const std::exception& e) { m_errors.push_back(e.what()); };
    list->OnChange = [this] { ++m_changes; };
    list->resize(list->width(), 240);
    list->show();
    QApplication::processEvents();
    m_changes = 0;
    return list;
  }

  QRect RowRect(const TXFileListBox& list, int index) {
    return list.visualRect(list.Model()->index(index));
  }
  void Click(TXFileListBox& list, int index, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, RowRect(list, index).center());
  }
  // The marks the list answers with are the selection the view paints.
  void ExpectMarksMatchSelection(const TXFileListBox& list) {
    const QItemSelectionModel& selection = *list.selectionModel();
    for (int i = 0; i < list.Count(); ++i) {
      ASSERT_EQ(list.IsMarked(i), selection.isSelected(list.Model()->index(i))) << i;
    }
    EXPECT_EQ(list.MarkedCount(), selection.selectedIndexes().size());
  }
  void Focus(TXFileListBox& list, int index) {
    Click(list, index);
    ASSERT_EQ(list.Focused(), index);
  }

  test::CurrentFolderGuard m_cwd;
  test::TestDir m_dir;
  std::string m_top;
  std::vector<std::string> m_errors;
  int m_changes = 0;
};

TEST_F(FileListBoxTest, ShowsTheScannedEntries) {
  auto list = Open(m_top);
  ASSERT_EQ(list->Count(), 9);
  EXPECT_EQ(list->ItemText(0), "[..]");
  EXPECT_EQ(list->Model()->rowCount(), 9);
  const int b = IndexOf(*list, "b.txt");
  EXPECT_EQ(list->Model()->index(b).data().toString(), QStringLiteral("b.txt"));
  EXPECT_EQ(FileListModel::Entry(list->Model()->index(b)), list->ItemInfo(b));
  EXPECT_EQ(list->MarkedCount(), 0);
}

TEST_F(FileListBoxTest, MarksAndFocusAreTheSelection) {
  auto list = Open(m_top);
  list->SetMarked(2, true);
  list->SetMarked(4, true);
  list->SetFocused(4);
  EXPECT_TRUE(list->IsMarked(2));
  EXPECT_FALSE(list->IsMarked(3));
  EXPECT_EQ(list->MarkedCount(), 2);
  EXPECT_EQ(list->Focused(), 4);
  EXPECT_EQ(list->currentIndex().row(), 4);
  EXPECT_TRUE(list->selectionModel()->isSelected(list->Model()->index(2)));
  EXPECT_EQ(list->FocusedName(), list->ItemName(4));
  // The core's own changes are no clicks.
  EXPECT_EQ(m_changes, 0);

  list->SetMarked(4, false);
  EXPECT_EQ(list->FocusedName(), "");
  EXPECT_EQ(list->MarkedCount(), 1);
  list->SetMarked(-1, true);
  list->SetMarked(99, true);
  EXPECT_EQ(list->MarkedCount(), 1);
}

// Marks set one by one and in updates (where they are applied in one go) agree with a plain
// array of flags.
TEST_F(FileListBoxTest, MarksAgreeWithAReference) {
  for (int i = 0; i < 60; ++i) m_dir.CreateFile("top/f" + std::to_string(i));
  auto list = Open(m_top);
  const int count = list->Count();
  std::vector<bool> reference(count, false);
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    const bool batch = round % 2 == 0;
    if (batch) list->BeginItemsUpdate();
    for (int k = 0; k < 25; ++k) {
      const int i = static_cast<int>(random() % count);
      const bool marked = random() % 3 != 0;
      list->SetMarked(i, marked);
      reference[i] = marked;
      if (k == 12 && round % 4 == 0) {
        EXPECT_EQ(list->IsMarked(i), marked);  // read in the middle of an update
      }
    }
    if (batch) list->EndItemsUpdate();
    int expected = 0;
    for (int i = 0; i < count; ++i) {
      ASSERT_EQ(list->IsMarked(i), reference[i]) << "round " << round << " index " << i;
      expected += reference[i];
    }
    ASSERT_EQ(list->MarkedCount(), expected) << "round " << round;
    ExpectMarksMatchSelection(*list);
  }
  EXPECT_TRUE(list->updatesEnabled());
}

TEST_F(FileListBoxTest, RescanClearsMarksAndFocus) {
  auto list = Open(m_top);
  list->SetMarked(3, true);
  list->SetMarked(5, true);
  list->SetFocused(5);
  list->Rescan();
  EXPECT_EQ(list->MarkedCount(), 0);
  EXPECT_EQ(list->Focused(), -1);
  EXPECT_EQ(m_changes, 1);
  EXPECT_EQ(list->Count(), 9);
}

TEST_F(FileListBoxTest, TopIndexReadsAndScrolls) {
  for (int i = 0; i < 100; ++i) m_dir.CreateFile("top/f" + std::to_string(1000 + i));
  auto list = Open(m_top);
  EXPECT_EQ(list->TopIndex(), 0);
  list->SetTopIndex(40);
  EXPECT_EQ(list->TopIndex(), 40);
  EXPECT_EQ(RowRect(*list, 40).top(), 0);

  // What the extension command does around a scan.
  const int top = list->TopIndex();
  list->Rescan();
  list->SetTopIndex(top);
  EXPECT_EQ(list->TopIndex(), 40);

  // The last rows cannot go to the top; the list scrolls as far as it reaches.
  list->SetTopIndex(list->Count() - 1);
  EXPECT_GT(list->TopIndex(), 40);
  EXPECT_LE(RowRect(*list, list->Count() - 1).bottom(), list->viewport()->height());
}

TEST_F(FileListBoxTest, ClicksAndKeysNotifyWhenTheFocusMoves) {
  auto list = Open(m_top);
  QLineEdit edit;
  list->SetFileEdit(&edit);
  EXPECT_EQ(edit.text(), QStringLiteral("*.*"));

  const int b = IndexOf(*list, "b.txt");
  Click(*list, b);
  EXPECT_EQ(list->Focused(), b);
  EXPECT_TRUE(list->IsMarked(b));
  EXPECT_EQ(m_changes, 1);
  EXPECT_EQ(edit.text(), QStringLiteral("b.txt"));
  EXPECT_EQ(edit.selectedText(), QStringLiteral("b.txt"));

  // Control extends the marks, Shift marks a range.
  Click(*list, b + 1, Qt::ControlModifier);
  EXPECT_EQ(list->MarkedCount(), 2);
  EXPECT_EQ(m_changes, 2);
  Click(*list, 1);
  Click(*list, 4, Qt::ShiftModifier);
  EXPECT_EQ(list->MarkedCount(), 4);

  // A click on the focused row changes nothing the list reports.
  const int changes = m_changes;
  Click(*list, 4);
  EXPECT_EQ(m_changes, changes);

  QTest::keyClick(list.get(), Qt::Key_Down);
  EXPECT_EQ(list->Focused(), 5);
  EXPECT_EQ(m_changes, changes + 1);
  ExpectMarksMatchSelection(*list);

  QTest::keyClick(list.get(), Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(list.get(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(list->MarkedCount(), list->Count());
  Click(*list, 2, Qt::ControlModifier);
  Click(*list, 6, Qt::ControlModifier);
  EXPECT_EQ(list->MarkedCount(), list->Count() - 2);
  ExpectMarksMatchSelection(*list);
  list->clearSelection();
  EXPECT_EQ(list->MarkedCount(), 0);
}

TEST_F(FileListBoxTest, EnterOnTheParentEntryGoesUp) {
  auto list = Open(m_top);
  Focus(*list, 0);
  QTest::keyClick(list.get(), Qt::Key_Return);
  EXPECT_EQ(list->Directory(), m_dir.Root());
  EXPECT_EQ(list->FocusedName(), "top");
  EXPECT_TRUE(m_errors.empty());
}

TEST_F(FileListBoxTest, ControlPageUpGoesUpFromAnyRow) {
  auto list = Open(m_top);
  Focus(*list, IndexOf(*list, "c.dat"));
  QTest::keyClick(list.get(), Qt::Key_PageUp, Qt::ControlModifier);
  EXPECT_EQ(list->Directory(), m_dir.Root());
}

// The path label shows the folder as the user walked to it, and going up returns to the
// folder holding the link.
TEST_F(FileListBoxTest, GoingUpThroughALinkReturnsWhereTheUserCameFrom) {
  m_dir.CreateFolder("elsewhere/inside");
  m_dir.CreateSymlink("top/link", m_dir.Path("elsewhere"));
  auto list = Open(m_top);
  auto label = std::make_unique<QLabel>();
  list->SetDirLabel(label.get());
  Focus(*list, IndexOf(*list, "[link]"));
  QTest::keyClick(list.get(), Qt::Key_Return);
  EXPECT_EQ(list->Directory(), m_top + "/link");
  EXPECT_EQ(label->text().toStdString(), m_top + "/link");
  QTest::keyClick(list.get(), Qt::Key_PageUp, Qt::ControlModifier);
  EXPECT_EQ(list->Directory(), m_top);
  EXPECT_EQ(label->text().toStdString(), m_top);
  EXPECT_EQ(list->FocusedName(), "link");
  EXPECT_TRUE(list->GoBack());
  EXPECT_EQ(label->text().toStdString(), m_top + "/link");
  EXPECT_TRUE(m_errors.empty());
}

TEST_F(FileListBoxTest, ControlPageDownEntersTheFocusedFolder) {
  auto list = Open(m_top);
  Focus(*list, IndexOf(*list, "[Beta]"));
  QTest::keyClick(list.get(), Qt::Key_PageDown, Qt::ControlModifier);
  EXPECT_EQ(list->Directory(), m_top + "/Beta");
  EXPECT_EQ(list->Focused(), 0);
  EXPECT_TRUE(list->IsMarked(0));

  // Without Control, Page Down only moves.
  QTest::keyClick(list.get(), Qt::Key_PageDown);
  EXPECT_EQ(list->Directory(), m_top + "/Beta");
}

TEST_F(FileListBoxTest, DoubleClickOpensTheRow) {
  auto list = Open(m_top);
  // Test's double click is the second click alone.
  const QPoint alpha = RowRect(*list, IndexOf(*list, "[alpha]")).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, alpha);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, alpha);
  EXPECT_EQ(list->Directory(), m_top + "/alpha");
}

TEST_F(FileListBoxTest, EnterOnAFileReportsItsExactPath) {
  m_dir.CreateFile("top/\xFF\xFE.txt");
  auto list = Open(m_top);
  list->SetOpenFiles(false);
  std::vector<std::string> opened;
  list->OnOpenFile = [&opened](const std::string& path) { opened.push_back(path); };
  Focus(*list, IndexOf(*list, "\xFF\xFE.txt"));
  QTest::keyClick(list.get(), Qt::Key_Enter);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], m_top + "/\xFF\xFE.txt");
  EXPECT_EQ(list->Directory(), m_top);
}

TEST_F(FileListBoxTest, AnErrorOfAKeyGoesToOnError) {
  auto list = Open(m_top);
  Focus(*list, IndexOf(*list, "[alpha]"));
  ASSERT_EQ(::rmdir((m_top + "/alpha").c_str()), 0);
  QTest::keyClick(list.get(), Qt::Key_Return);
  EXPECT_EQ(m_errors.size(), 1u);
  EXPECT_EQ(list->Directory(), m_top);
}

TEST_F(FileListBoxTest, SingleSelectMarksTheFocusedEntry) {
  auto list = Open(m_top, false);
  list->GoToPath(m_top + "/b.txt");
  const int b = IndexOf(*list, "b.txt");
  EXPECT_EQ(list->Focused(), b);
  EXPECT_EQ(list->MarkedCount(), 1);
  EXPECT_EQ(list->FocusedName(), "b.txt");
  Click(*list, 1);
  EXPECT_EQ(list->MarkedCount(), 1);
  EXPECT_TRUE(list->IsMarked(1));
}

class MetricStyle : public QProxyStyle {
 public:
  explicit MetricStyle(int frameWidth = 2)
      : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))), m_frameWidth(frameWidth) {}
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    if (metric == PM_ScrollBarExtent) return 16;
    if (metric == PM_DefaultFrameWidth) return m_frameWidth;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }

 private:
  int m_frameWidth;
};

TEST_F(FileListBoxTest, FitWidthFollowsTheShownColumns) {
  MetricStyle style;
  TXFileListBox list;
  list.setStyle(&style);
  // Small enough for every text to fit the widths asked, which are then the widths drawn.
  QFont small(QStringLiteral("DejaVu Sans"));
  small.setPixelSize(6);
  list.setFont(small);
  ASSERT_EQ(list.frameWidth(), 2);
  list.SetItemHeight(16);
  list.SetWidthFileName(235);  // the main window's list
  EXPECT_EQ(list.width(), 458);

  list.SetShowGlyphs(false);
  EXPECT_EQ(list.width(), 458 - 18);
  // Turned on again, glyphs want rows of at least 17 pixels.
  list.SetShowGlyphs(true);
  EXPECT_EQ(list.ItemHeight(), 17);
  EXPECT_EQ(list.width(), 459);
  list.SetItemHeight(16);
  list.SetShowItems({fiSize});
  EXPECT_EQ(list.width(), 458 - 49 - 34 - 34);
  list.SetWidthDate(100);  // not shown: no change
  EXPECT_EQ(list.width(), 458 - 49 - 34 - 34);
  list.SetWidthSize(70);
  EXPECT_EQ(list.width(), 458 - 49 - 34 - 34 + 10);

  list.SetAutoWidth(false);
  list.SetWidthFileName(300);
  EXPECT_EQ(list.width(), 458 - 49 - 34 - 34 + 10);
  list.setFixedWidth(500);
  EXPECT_EQ(list.width(), 500);
}

TEST_F(FileListBoxTest, RowHeightFollowsTheFont) {
  auto list = Open(m_top);
  QFont font = list->font();
  font.setPixelSize(24);
  list->setFont(font);
  const int height = QFontMetrics(font).height();
  ASSERT_GT(height, 17);
  EXPECT_EQ(list->ItemHeight(), height);
  QApplication::processEvents();
  EXPECT_EQ(RowRect(*list, 1).height(), height);
  EXPECT_EQ(RowRect(*list, 3).top(), 3 * height);

  font.setPixelSize(6);
  list->setFont(font);
  EXPECT_EQ(list->ItemHeight(), 17);  // glyphs need 17
  list->SetShowGlyphs(false);
  list->setFont(QFont(font.family(), 5));
  EXPECT_EQ(list->ItemHeight(), QFontMetrics(list->font()).height());
}

TEST_F(FileListBoxTest, ColumnTexts) {
  auto list = Open(m_top);
  list->SetDateFormat("YY-MM-DD");
  const int b = IndexOf(*list, "b.txt");
  EXPECT_EQ(list->ColumnText(b, fiSize), "1 024");
  EXPECT_EQ(list->ColumnText(b, fiDate), "07-12-24");
  EXPECT_EQ(list->ColumnText(b, fiTime), "14:05");
  EXPECT_EQ(list->ColumnText(b, fiAttribute), "-----");
  EXPECT_EQ(list->ColumnText(IndexOf(*list, ".secret"), fiAttribute), "--h--");
  EXPECT_EQ(list->ColumnText(0, fiSize), "<DIR>");
  list->SetDirName("folder");
  EXPECT_EQ(list->ColumnText(IndexOf(*list, "[Beta]"), fiSize), "folder");
  EXPECT_EQ(list->ColumnText(99, fiSize), "");
}

std::time_t Utc(int year, int month, int day, int hour, int minute) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  return ::timegm(&tm);
}

QFont DejaVu(int points) { return QFont(QStringLiteral("DejaVu Sans"), points); }

PreviewCell Cell(std::string text, PreviewCell::Look look = PreviewCell::Look::Plain,
                 std::string reason = {}) {
  PreviewCell cell;
  cell.text = std::move(text);
  cell.look = look;
  cell.reason = std::move(reason);
  return cell;
}

// The main window's list settings.
void SetUpLikeTheMainWindow(TXFileListBox& list) {
  list.SetDirName("<DIR>");
  list.SetDateFormat("YY-MM-DD");
  list.SetTimeFormat("hh:mm");
  list.SetItemHeight(16);
  list.SetWidthFileName(235);
  list.SetWidthSize(60);
  list.SetWidthDate(45);
  list.SetWidthTime(30);
  list.SetWidthAttribute(30);
}

constexpr uint32_t kAllAttributes =
    kAttrReadOnly | kAttrArchive | kAttrHidden | kAttrSystem | kAttrCompressed;

// Rows with the widest sizes, dates and attributes a list shows.
class ColumnWidthTest : public FileListBoxTest {
 protected:
  void SetUp() override {
    FileListBoxTest::SetUp();
    m_rows = m_dir.CreateFolder("rows");
    m_dir.CreateFolder("rows/Folder");
    const std::string huge = m_dir.CreateFile("rows/huge");
    // Sparse, so it takes no room on the disk.
    ASSERT_EQ(::truncate(huge.c_str(), 999'999'999'999), 0) << std::strerror(errno);
    const std::time_t late = Utc(2026, 12, 31, 23, 59);
    const timespec times[2] = {{late, 0}, {late, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, huge.c_str(), times, 0), 0);
    m_dir.CreateFile("rows/empty", "", Utc(2000, 8, 28, 8, 8));
  }

  std::unique_ptr<TXFileListBox> OpenRows() {
    auto list = Open(m_rows);
    for (int i = 0; i < list->Count(); ++i) {
      if (list->ItemText(i) == "huge") list->ItemInfo(i)->Attr |= kAllAttributes;
    }
    // Short enough for the vertical scroll bar to show.
    list->resize(list->width(), 60);
    QApplication::processEvents();
    return list;
  }

  // Every row shows its size, date, time and attributes unshortened, and the shown columns lie
  // side by side inside the rows' area.
  void ExpectNothingShortened(const TXFileListBox& list) {
    ASSERT_EQ(list.Count(), 4);
    const QFontMetrics metrics(list.font());
    for (int i = 0; i < list.Count(); ++i) {
      SCOPED_TRACE(list.ItemText(i));
      for (TFileItem column : {fiSize, fiDate, fiTime, fiAttribute}) {
        SCOPED_TRACE(column);
        const std::string text = list.ColumnText(i, column);
        EXPECT_EQ(list.DrawnText(i, column), text);
        EXPECT_LE(metrics.horizontalAdvance(QString::fromStdString(text)),
                  list.ColumnRect(column).width());
      }
    }
    EXPECT_EQ(list.ColumnText(IndexOf(list, "huge"), fiSize), "999 999 999 999");
    EXPECT_EQ(list.ColumnText(IndexOf(list, "huge"), fiDate), "26-12-31");
    EXPECT_EQ(list.ColumnText(IndexOf(list, "huge"), fiTime), "23:59");
    EXPECT_EQ(list.ColumnText(IndexOf(list, "huge"), fiAttribute), "rahsc");
    EXPECT_EQ(list.ColumnText(IndexOf(list, "empty"), fiSize), "0");
    EXPECT_EQ(list.ColumnText(IndexOf(list, "empty"), fiDate), "00-08-28");
    EXPECT_EQ(list.ColumnText(IndexOf(list, "empty"), fiTime), "08:08");
    EXPECT_EQ(list.ColumnText(IndexOf(list, "[Folder]"), fiSize), "<DIR>");

    ASSERT_TRUE(list.verticalScrollBar()->isVisible());
    const QRect rows = list.viewport()->geometry();
    QRect previous = list.ColumnRect(fiFileName);
    EXPECT_GE(previous.left(), rows.left());
    EXPECT_EQ(previous.width(), 235);
    for (TFileItem column : {fiSize, fiDate, fiTime, fiAttribute}) {
      SCOPED_TRACE(column);
      const QRect rect = list.ColumnRect(column);
      EXPECT_GT(rect.left(), previous.right());
      EXPECT_EQ(rect.top(), rows.top());
      EXPECT_EQ(rect.height(), rows.height());
      previous = rect;
    }
    EXPECT_LE(previous.right(), rows.right());
  }

  std::string m_rows;
};

TEST_F(ColumnWidthTest, NothingButNamesIsShortenedInTheListsFont) {
  for (int points : {8, 10, 12}) {
    SCOPED_TRACE(points);
    auto list = OpenRows();
    SetUpLikeTheMainWindow(*list);
    list->setFont(DejaVu(points));
    ASSERT_EQ(QFontInfo(list->font()).family(), QStringLiteral("DejaVu Sans"));
    QApplication::processEvents();
    ExpectNothingShortened(*list);
    // The widths asked stay as they were.
    EXPECT_EQ(list->WidthDate(), 45);
    EXPECT_EQ(list->WidthTime(), 30);
  }
}

TEST_F(ColumnWidthTest, FollowsTheApplicationFont) {
  const QFont before = QApplication::font();
  struct Restore {
    QFont font;
    ~Restore() { QApplication::setFont(font); }
  } restore{before};
  auto list = OpenRows();
  SetUpLikeTheMainWindow(*list);
  QSignalSpy changed(list.get(), &TXFileListBox::ColumnsChanged);
  QApplication::setFont(DejaVu(12));
  QApplication::processEvents();
  ASSERT_EQ(QFontInfo(list->font()).family(), QStringLiteral("DejaVu Sans"));
  ASSERT_EQ(list->font().pointSize(), 12);
  EXPECT_GE(changed.count(), 1);
  ExpectNothingShortened(*list);
}

// What is drawn lies in the column rectangles, which are in the list's own coordinates.
TEST_F(ColumnWidthTest, ColumnRectsAreWhereTheRowsDraw) {
  // A wide frame, so that a column misplaced by it shows.
  MetricStyle style(8);
  auto list = OpenRows();
  list->setStyle(&style);
  ASSERT_EQ(list->frameWidth(), 8);
  SetUpLikeTheMainWindow(*list);
  list->setFont(DejaVu(12));
  list->SetShellIcons(false);
  list->SetPreviewProvider([](int) { return Cell("Renamed"); });
  for (bool preview : {false, true}) {
    SCOPED_TRACE(preview ? "with the new-name column" : "without the new-name column");
    list->SetShowPreview(preview);
    list->resize(list->width(), 200);
    QApplication::processEvents();
    const QImage image = list->grab().toImage();
    const QColor base = list->palette().color(QPalette::Active, QPalette::Base);
    const int row = IndexOf(*list, "huge");
    const QRect rowRect = RowRect(*list, row).translated(list->viewport()->geometry().topLeft());
    auto inked = [&](int x) {
      for (int y = rowRect.top(); y <= rowRect.bottom(); ++y) {
        if (image.pixelColor(x, y) != base) return true;
      }
      return false;
    };
    // The first and the last inked column of the row between two x.
    auto inkedSpan = [&](int x0, int x1) {
      std::pair<int, int> span{-1, -1};
      for (int x = x0; x < x1; ++x) {
        if (!inked(x)) continue;
        if (span.first < 0) span.first = x;
        span.second = x;
      }
      return span;
    };
    std::vector<std::pair<QRect, bool>> columns;  // the rectangle, right-aligned
    for (TFileItem column : {fiFileName, fiSize, fiDate, fiTime, fiAttribute}) {
      columns.emplace_back(list->ColumnRect(column), column == fiSize);
    }
    if (preview) columns.emplace_back(list->PreviewColumnRect(), false);
    for (size_t c = 0; c < columns.size(); ++c) {
      SCOPED_TRACE(c);
      const auto& [rect, rightAligned] = columns[c];
      // From the gap before the column (two pixels after the glyph) to the gap after it.
      const auto [first, last] = inkedSpan(rect.left() - 2, rect.right() + 5);
      ASSERT_GE(first, 0);
      EXPECT_GE(first, rect.left());
      EXPECT_LE(last, rect.right());
      if (rightAligned) {
        EXPECT_GE(last, rect.right() - 3);  // right-aligned
      } else {
        EXPECT_LE(first, rect.left() + 3);  // left-aligned
      }
    }
  }
}

TEST_F(FileListBoxTest, ColumnsChangedReportsMovedColumns) {
  auto list = Open(m_top);
  SetUpLikeTheMainWindow(*list);
  list->setFont(DejaVu(10));
  QSignalSpy changed(list.get(), &TXFileListBox::ColumnsChanged);
  const QRect date = list->ColumnRect(fiDate);
  ASSERT_GT(date.width(), 45);  // wider than asked in this font
  struct Step {
    const char* name;
    std::function<void()> change;
    bool moves;
  } steps[] = {
      {"name column wider", [&] { list->SetWidthFileName(300); }, true},
      {"the same width again", [&] { list->SetWidthFileName(300); }, false},
      {"date narrower than its text", [&] { list->SetWidthDate(10); }, false},
      {"wider date format", [&] { list->SetDateFormat("YYYY-MM-DD"); }, true},
      {"the same format again", [&] { list->SetDateFormat("YYYY-MM-DD"); }, false},
      {"wider folder text", [&] { list->SetDirName("<SUB-DIRECTORY>"); }, true},
      {"time column wider", [&] { list->SetWidthTime(200); }, true},
      {"new names shown", [&] { list->SetShowPreview(true); }, true},
      {"new names shown again", [&] { list->SetShowPreview(true); }, false},
      {"new-name column wider", [&] { list->SetWidthPreview(220); }, true},
      {"the same new-name width again", [&] { list->SetWidthPreview(220); }, false},
      {"new names hidden", [&] { list->SetShowPreview(false); }, true},
      {"the hidden new-name column wider", [&] { list->SetWidthPreview(240); }, false},
      {"larger font", [&] { list->setFont(DejaVu(14)); }, true},
      {"no glyphs", [&] { list->SetShowGlyphs(false); }, true},
      {"fewer columns", [&] { list->SetShowItems({fiSize}); }, true},
      {"a hidden column wider", [&] { list->SetWidthAttribute(300); }, false},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    changed.clear();
    step.change();
    EXPECT_EQ(changed.count(), step.moves ? 1 : 0);
  }
  EXPECT_TRUE(list->ColumnRect(fiDate).isNull());
  EXPECT_FALSE(list->ColumnRect(fiSize).isNull());
  EXPECT_EQ(list->ColumnRect(fiFileName).width(), 300);

  // Scrolling sideways moves the columns too.
  list->SetShowItems(kAllItems);
  list->SetAutoWidth(false);
  list->setFixedWidth(200);
  QApplication::processEvents();
  ASSERT_GT(list->horizontalScrollBar()->maximum(), 50);
  const int left = list->ColumnRect(fiSize).left();
  changed.clear();
  list->horizontalScrollBar()->setValue(50);
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(list->ColumnRect(fiSize).left(), left - 50);
}

TEST_F(FileListBoxTest, ShortenedNamesShowInFullAsTooltip) {
  m_dir.CreateFile("top/\xFF long name that is not UTF-8 and does not fit its column");
  auto list = Open(m_top);
  const std::string longName = "Very long file name that does not fit its column.txt";
  const int longRow = IndexOf(*list, longName);
  const int shortRow = IndexOf(*list, "b.txt");
  const int invalid =
      IndexOf(*list, "\xFF long name that is not UTF-8 and does not fit its column");
  EXPECT_EQ(list->NameToolTip(longRow), QString::fromStdString(longName));
  EXPECT_EQ(list->NameToolTip(shortRow), QString());
  EXPECT_TRUE(list->NameToolTip(invalid).startsWith(QChar(QChar::ReplacementCharacter)));
  EXPECT_EQ(list->NameToolTip(99), QString());
  // The model has no tooltips of its own.
  EXPECT_FALSE(list->Model()->index(longRow).data(Qt::ToolTipRole).isValid());

  auto help = [&](int row) {
    const QPoint pos = RowRect(*list, row).center();
    QHelpEvent event(QEvent::ToolTip, pos, list->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(list->viewport(), &event);
    return event.isAccepted();
  };
  EXPECT_TRUE(help(longRow));
  EXPECT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text(), QString::fromStdString(longName));
  EXPECT_FALSE(help(shortRow));
  for (int i = 0; i < 100 && QToolTip::isVisible(); ++i) QTest::qWait(20);
  EXPECT_FALSE(QToolTip::isVisible());

  // A column wide enough for the whole name needs no tooltip.
  list->SetWidthFileName(2000);
  EXPECT_EQ(list->NameToolTip(longRow), QString());
  EXPECT_EQ(list->DrawnText(longRow, fiFileName), longName);
}

TEST_F(FileListBoxTest, DirLabelShowsTheFolderAndMask) {
  auto list = Open(m_top);
  auto label = std::make_unique<QLabel>();
  list->SetDirLabel(label.get());
  EXPECT_EQ(label->text().toStdString(), m_top);
  list->SetDirLabelMask(true);
  EXPECT_EQ(label->text().toStdString(), m_top + "/*.*");
  list->SetMask("*.txt;*.doc");
  EXPECT_EQ(label->text().toStdString(), m_top + "/*.txt;*.doc");

  // A label that is gone is dropped.
  label.reset();
  EXPECT_EQ(list->DirLabel(), nullptr);
  list->Rescan();

  std::string caption;
  QObject owner;
  list->SetDirLabel(&owner, [&caption](const std::string& text) { caption = text; });
  EXPECT_EQ(caption, m_top + "/*.txt;*.doc");
}

// The pixels of painted rows: columns clipped to their places, the marked row highlighted.
TEST_F(FileListBoxTest, PaintsColumnsInTheirPlaces) {
  auto list = Open(m_top);
  list->SetShellIcons(false);
  list->SetDateFormat("YY-MM-DD");
  const int longRow = IndexOf(*list, "Very long file name that does not fit its column.txt");
  const int b = IndexOf(*list, "b.txt");
  list->SetMarked(b, true);
  const QImage image = list->viewport()->grab().toImage();
  const QColor base = list->palette().color(QPalette::Active, QPalette::Base);
  const QColor highlight = list->palette().color(QPalette::Active, QPalette::Highlight);
  const RowLayout layout = LayoutRow(list->Columns(), 0, list->ItemHeight());

  // Inked columns of a row between x0 and x1 (exclusive).
  auto inked = [&](int row, int x0, int x1, const QColor& background) {
    std::vector<int> xs;
    const QRect rect = RowRect(*list, row);
    for (int x = x0; x < x1; ++x) {
      for (int y = rect.top(); y <= rect.bottom(); ++y) {
        if (image.pixelColor(x, y) != background) {
          xs.push_back(x);
          break;
        }
      }
    }
    return xs;
  };

  // The long name is shortened and clipped: the gap after its column stays empty.
  EXPECT_FALSE(inked(longRow, layout.name.left, layout.name.Right(), base).empty());
  EXPECT_TRUE(inked(longRow, layout.name.Right(), layout.size.left, base).empty());
  // Every row has a glyph.
  EXPECT_FALSE(inked(0, layout.glyph.left, layout.glyph.Right(), base).empty());
  // Sizes are right-aligned, with nothing between the columns.
  const std::vector<int> size = inked(longRow, layout.size.left, layout.size.Right(), base);
  ASSERT_FALSE(size.empty());
  EXPECT_GE(size.back(), layout.size.Right() - 3);
  EXPECT_TRUE(inked(longRow, layout.size.Right(), layout.date.left, base).empty());
  EXPECT_TRUE(inked(longRow, layout.date.Right(), layout.time.left, base).empty());
  EXPECT_FALSE(inked(longRow, layout.attribute.left, layout.attribute.Right(), base).empty());
  // The marked row is filled across with the highlight.
  const QRect marked = RowRect(*list, b);
  EXPECT_EQ(image.pixelColor(marked.right() - 1, marked.center().y()), highlight);
  EXPECT_FALSE(inked(b, layout.name.left, layout.name.Right(), highlight).empty());
}

TEST_F(FileListBoxTest, IconsAreFetchedOncePerKey) {
  for (const char* name : {"d.txt", "x.exe", "y.exe", "README"})
    m_dir.CreateFile("top/" + std::string(name));
  auto list = Open(m_top);
  ASSERT_TRUE(list->ShellIcons());
  list->viewport()->grab();
  // ".txt", ".dat", ".secret" and "" by extension, each ".exe" by its path.
  EXPECT_EQ(list->IconCacheCount(), 6);
  const int first = std::min(IndexOf(*list, "a.txt"), IndexOf(*list, "b.txt"));
  EXPECT_GE(list->ItemInfo(first)->GlyphCode, 0);
  EXPECT_EQ(list->ItemInfo(IndexOf(*list, "d.txt"))->GlyphCode, kGlyphShellIcon);
  const int32_t x = list->ItemInfo(IndexOf(*list, "x.exe"))->GlyphCode;
  const int32_t y = list->ItemInfo(IndexOf(*list, "y.exe"))->GlyphCode;
  EXPECT_GE(x, 0);
  EXPECT_GE(y, 0);
  EXPECT_NE(x, y);

  // Painting again or reading again fetches nothing new.
  list->viewport()->grab();
  list->Rescan();
  list->viewport()->grab();
  EXPECT_EQ(list->IconCacheCount(), 6);
  for (int i = 0; i < list->Count(); ++i) EXPECT_FALSE(list->ItemGlyph(i).isNull()) << i;
}

TEST_F(FileListBoxTest, BuiltInGlyphsWithoutIcons) {
  auto list = Open(m_top);
  const int fetched = list->IconCacheCount();
  list->SetShellIcons(false);
  EXPECT_EQ(list->ItemInfo(IndexOf(*list, "[.hidden]"))->GlyphCode, kGlyphFolderSystem);
  EXPECT_EQ(list->ItemInfo(IndexOf(*list, ".secret"))->GlyphCode, kGlyphDefaultHidden);
  for (int i = 0; i < list->Count(); ++i) {
    const QPixmap glyph = list->ItemGlyph(i);
    ASSERT_FALSE(glyph.isNull()) << i;
    EXPECT_EQ(glyph.deviceIndependentSize().toSize(), QSize(16, 16));
  }
  list->viewport()->grab();
  EXPECT_EQ(list->IconCacheCount(), fetched);
}

// ---------------------------------------------------------------------------------------------
// The new-name column

TEST_F(FileListBoxTest, NewNameColumnWidensTheList) {
  MetricStyle style;
  TXFileListBox list;
  list.setStyle(&style);
  QFont small(QStringLiteral("DejaVu Sans"));
  small.setPixelSize(6);
  list.setFont(small);
  list.SetItemHeight(16);
  list.SetWidthFileName(235);
  ASSERT_EQ(list.width(), 458);
  EXPECT_FALSE(list.ShowPreview());
  EXPECT_TRUE(list.PreviewColumnRect().isNull());

  struct Step {
    const char* name;
    std::function<void()> change;
    int width;
  } steps[] = {
      {"shown at its default width", [&] { list.SetShowPreview(true); }, 458 + 150 + 4},
      {"wider", [&] { list.SetWidthPreview(200); }, 458 + 204},
      {"narrower than \"...\"", [&] { list.SetWidthPreview(3); }, 458 + 7},
      {"hidden", [&] { list.SetShowPreview(false); }, 458},
      {"wider while hidden", [&] { list.SetWidthPreview(100); }, 458},
      {"shown again", [&] { list.SetShowPreview(true); }, 458 + 104},
      {"without the other columns", [&] { list.SetShowItems({}); }, 458 - 49 - 34 - 34 - 64 + 104},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    step.change();
    EXPECT_EQ(list.width(), step.width);
  }
  EXPECT_EQ(list.WidthPreview(), 100);
  EXPECT_EQ(list.Columns().widthPreview, 100);
}

// Shown, the new-name column lies between the name and the size, and the others move along.
TEST_F(ColumnWidthTest, NewNameColumnFollowsTheName) {
  auto list = OpenRows();
  SetUpLikeTheMainWindow(*list);
  list->setFont(DejaVu(10));
  QApplication::processEvents();
  const QRect sizeBefore = list->ColumnRect(fiSize);
  list->SetWidthPreview(180);
  list->SetShowPreview(true);
  QApplication::processEvents();

  const QRect name = list->ColumnRect(fiFileName);
  const QRect preview = list->PreviewColumnRect();
  EXPECT_EQ(preview.width(), 180);
  EXPECT_EQ(preview.left(), name.right() + 1 + 4);
  EXPECT_EQ(preview.top(), name.top());
  EXPECT_EQ(preview.height(), name.height());
  EXPECT_EQ(list->ColumnRect(fiSize).left(), preview.right() + 1 + 4);
  EXPECT_EQ(list->ColumnRect(fiSize).left(), sizeBefore.left() + 184);
  QRect previous = preview;
  for (TFileItem column : {fiSize, fiDate, fiTime, fiAttribute}) {
    SCOPED_TRACE(column);
    const QRect rect = list->ColumnRect(column);
    EXPECT_GT(rect.left(), previous.right());
    previous = rect;
  }
  // The whole row fits the list, and a row is wide enough to scroll to its last column.
  EXPECT_LE(previous.right(), list->viewport()->geometry().right());
  const RowLayout row = LayoutRow(list->Columns(), 0, list->ItemHeight());
  EXPECT_GE(list->sizeHintForIndex(list->Model()->index(0)).width(), row.attribute.Right());
  ExpectNothingShortened(*list);

  list->SetShowItems({});
  EXPECT_GE(list->sizeHintForIndex(list->Model()->index(0)).width(),
            LayoutRow(list->Columns(), 0, list->ItemHeight()).preview.Right());
}

TEST_F(FileListBoxTest, NewNamesAreShortenedInTheFontOfTheirLook) {
  auto list = Open(m_top);
  list->setFont(DejaVu(10));
  list->SetWidthPreview(120);
  list->SetShowPreview(true);
  const std::string longText = "A new name much longer than its column could ever show.txt";
  using Look = PreviewCell::Look;
  for (Look look : {Look::Plain, Look::Unchanged, Look::Failed}) {
    SCOPED_TRACE(static_cast<int>(look));
    const QFontMetrics metrics(list->PreviewFont(look));
    auto width = [&](const std::string& text) {
      return metrics.horizontalAdvance(QString::fromUtf8(text));
    };
    const std::string drawn = list->DrawnPreviewText(Cell(longText, look));
    ASSERT_GT(drawn.size(), 3u);
    EXPECT_EQ(drawn.substr(drawn.size() - 3), "...");
    EXPECT_EQ(longText.compare(0, drawn.size() - 3, drawn, 0, drawn.size() - 3), 0);
    EXPECT_LE(width(drawn), 120);
    // The longest that fits: one more character would not.
    EXPECT_GT(width(longText.substr(0, drawn.size() - 2) + "..."), 120);
    EXPECT_EQ(list->DrawnPreviewText(Cell("short.txt", look)), "short.txt");
    EXPECT_EQ(list->DrawnPreviewText(Cell("", look)), "");
  }
  // Multi-byte characters are cut whole.
  const std::string umlauts = "\xC3\xA4\xC3\xB6\xC3\xBC";
  std::string many;
  for (int i = 0; i < 40; ++i) many += umlauts;
  const std::string drawn = list->DrawnPreviewText(Cell(many));
  EXPECT_TRUE(QString::fromUtf8(drawn).endsWith(QStringLiteral("\u00e4...")) ||
              QString::fromUtf8(drawn).endsWith(QStringLiteral("\u00f6...")) ||
              QString::fromUtf8(drawn).endsWith(QStringLiteral("\u00fc...")))
      << drawn;
  // Wider, the whole text is drawn.
  list->SetWidthPreview(2000);
  EXPECT_EQ(list->DrawnPreviewText(Cell(longText)), longText);
}

TEST_F(FileListBoxTest, LooksDifferInTheFont) {
  auto list = Open(m_top);
  list->setFont(DejaVu(10));
  using Look = PreviewCell::Look;
  const QFont plain = list->PreviewFont(Look::Plain);
  EXPECT_EQ(plain, list->font());
  const QFont unchanged = list->PreviewFont(Look::Unchanged);
  EXPECT_TRUE(unchanged.italic());
  EXPECT_FALSE(unchanged.strikeOut());
  const QFont failed = list->PreviewFont(Look::Failed);
  EXPECT_TRUE(failed.strikeOut());
  EXPECT_FALSE(failed.italic());
  // A message is read, not crossed out.
  EXPECT_EQ(list->PreviewFont(Look::Message), plain);
  for (const QFont& font : {unchanged, failed}) {
    EXPECT_EQ(font.family(), plain.family());
    EXPECT_EQ(font.pointSize(), plain.pointSize());
  }
}

// A palette of light text on a dark base.
QPalette DarkPalette() {
  QPalette palette;
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    palette.setColor(group, QPalette::Text, QColor(0xe0, 0xe0, 0xe0));
    palette.setColor(group, QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    palette.setColor(group, QPalette::HighlightedText, Qt::white);
  }
  palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x7f, 0x7f, 0x7f));
  return palette;
}

TEST(PreviewTextColorTest, ByLookAndMark) {
  using Look = PreviewCell::Look;
  const QPalette light = QApplication::palette();
  const QPalette dark = DarkPalette();
  auto color = [](const QPalette& palette, QPalette::ColorRole role,
                  QPalette::ColorGroup group = QPalette::Active) {
    return palette.color(group, role);
  };
  struct Case {
    const char* name;
    const QPalette& palette;
    Look look;
    bool marked;
    QColor expected;
  } cases[] = {
      {"light plain", light, Look::Plain, false, color(light, QPalette::Text)},
      {"light unchanged", light, Look::Unchanged, false,
       color(light, QPalette::Text, QPalette::Disabled)},
      {"light failed", light, Look::Failed, false, QColor(0xb0, 0x00, 0x00)},
      {"light plain marked", light, Look::Plain, true, color(light, QPalette::HighlightedText)},
      // On a marked row only a plain new name keeps the highlight; the others stand out.
      {"light unchanged marked", light, Look::Unchanged, true,
       color(light, QPalette::Text, QPalette::Disabled)},
      {"light failed marked", light, Look::Failed, true, QColor(0xb0, 0x00, 0x00)},
      {"dark plain", dark, Look::Plain, false, QColor(0xe0, 0xe0, 0xe0)},
      {"dark unchanged", dark, Look::Unchanged, false, QColor(0x7f, 0x7f, 0x7f)},
      {"dark failed", dark, Look::Failed, false, QColor(0xff, 0x7b, 0x7b)},
      {"dark failed marked", dark, Look::Failed, true, QColor(0xff, 0x7b, 0x7b)},
      {"light message marked", light, Look::Message, true, QColor(0xb0, 0x00, 0x00)},
      {"dark message", dark, Look::Message, false, QColor(0xff, 0x7b, 0x7b)},
      {"dark plain marked", dark, Look::Plain, true, color(dark, QPalette::HighlightedText)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PreviewTextColor(c.palette, QPalette::Active, c.look, c.marked), c.expected);
  }
  // Unchanged names are told from the others by their colour.
  ASSERT_NE(color(light, QPalette::Text), color(light, QPalette::Text, QPalette::Disabled));
}

TEST(PreviewTextColorTest, ErrorRedIsReadableOnCommonBases) {
  const QColor bases[] = {Qt::white,
                          QColor(0xf0, 0xf0, 0xf0),
                          QColor(0xfd, 0xf6, 0xe3),
                          QColor(0xff, 0xff, 0xdc),
                          Qt::black,
                          QColor(0x1e, 0x1e, 0x1e),
                          QColor(0x2b, 0x2b, 0x2b),
                          QColor(0x00, 0x2b, 0x36),
                          QApplication::palette().color(QPalette::Base)};
  for (const QColor& base : bases) {
    SCOPED_TRACE(base.name().toStdString());
    QPalette palette;
    palette.setColor(QPalette::Active, QPalette::Base, base);
    const QColor red = ErrorTextColor(palette, QPalette::Active);
    EXPECT_GE(ContrastRatio(red, base), 4.5);
    EXPECT_GT(red.red(), red.green() + 60);
    EXPECT_EQ(red.green(), red.blue());
  }
  EXPECT_NEAR(ContrastRatio(Qt::black, Qt::white), 21.0, 1e-9);
  EXPECT_NEAR(ContrastRatio(Qt::white, Qt::black), 21.0, 1e-9);
  EXPECT_NEAR(ContrastRatio(QColor(0x77, 0x77, 0x77), QColor(0x77, 0x77, 0x77)), 1.0, 1e-9);
}

// The colour farthest from the background among the pixels of a rectangle: where the text's
// strokes are solid, its pen.
QColor InkColor(const QImage& image, const QRect& rect, const QColor& background) {
  QColor ink = background;
  int farthest = 0;
  for (int y = rect.top(); y <= rect.bottom(); ++y) {
    for (int x = rect.left(); x <= rect.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      const int distance = std::abs(c.red() - background.red()) +
                           std::abs(c.green() - background.green()) +
                           std::abs(c.blue() - background.blue());
      if (distance > farthest) {
        farthest = distance;
        ink = c;
      }
    }
  }
  return ink;
}

int ColorDistance(const QColor& a, const QColor& b) {
  return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
         std::abs(a.blue() - b.blue());
}

TEST_F(FileListBoxTest, PaintsEachLookInItsColor) {
  auto list = Open(m_top);
  list->SetShellIcons(false);
  list->setFont(DejaVu(14));
  list->SetWidthPreview(150);
  list->SetShowPreview(true);
  using Look = PreviewCell::Look;
  // Rows 1 to 3 unmarked, 4 to 6 marked, in the looks Plain, Unchanged, Failed.
  const Look looks[] = {Look::Plain, Look::Unchanged, Look::Failed};
  list->SetPreviewProvider([&](int index) {
    if (index < 1 || index > 6) return PreviewCell{};
    return Cell("HHHH", looks[(index - 1) % 3], "in the way");
  });
  list->SetFocused(0);
  for (int i = 4; i <= 6; ++i) list->SetMarked(i, true);
  QApplication::processEvents();
  const QImage image = list->viewport()->grab().toImage();
  const QPalette palette = list->palette();
  const QRect column = list->PreviewColumnRect().translated(-list->viewport()->x(), 0);
  for (int row = 1; row <= 6; ++row) {
    SCOPED_TRACE(row);
    const bool marked = row >= 4;
    const Look look = looks[(row - 1) % 3];
    // A marked row's unchanged or failing new name is drawn on the base colour.
    const bool highlighted = marked && look == Look::Plain;
    const QColor background =
        palette.color(QPalette::Active, highlighted ? QPalette::Highlight : QPalette::Base);
    const QRect cell = QRect(column.left(), RowRect(*list, row).top(), column.width(),
                             RowRect(*list, row).height());
    const QColor expected = PreviewTextColor(palette, QPalette::Active, look, marked);
    EXPECT_LE(ColorDistance(InkColor(image, cell, background), expected), 12)
        << InkColor(image, cell, background).name().toStdString() << " instead of "
        << expected.name().toStdString();
  }
  // Row 7 has no new name: nothing is drawn in the column.
  const QRect empty(column.left(), RowRect(*list, 7).top(), column.width(),
                    RowRect(*list, 7).height());
  const QColor base = palette.color(QPalette::Active, QPalette::Base);
  EXPECT_EQ(InkColor(image, empty, base), base);
}

// A folder of 10,000 files, for the provider's calls.
class LargeFolderTest : public FileListBoxTest {
 protected:
  void SetUp() override {
    FileListBoxTest::SetUp();
    m_large = m_dir.CreateFolder("large");
    for (int i = 0; i < 10'000; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "large/f%05d", i);
      m_dir.CreateFile(name);
    }
  }
  std::string m_large;
};

TEST_F(LargeFolderTest, TheProviderIsAskedOnlyForPaintedRows) {
  auto list = Open(m_large);
  ASSERT_EQ(list->Count(), 10'001);
  std::vector<int> asked;
  list->SetPreviewProvider([&asked](int index) {
    asked.push_back(index);
    return Cell("new " + std::to_string(index));
  });
  // Hidden, the column asks for nothing.
  list->viewport()->grab();
  EXPECT_TRUE(asked.empty());

  list->SetShowPreview(true);
  list->SetWidthPreview(120);
  list->PreviewChanged();
  EXPECT_TRUE(asked.empty()) << "asked before painting";
  const int visible = list->viewport()->height() / list->ItemHeight() + 1;
  for (int top : {0, 5000, 9990}) {
    SCOPED_TRACE(top);
    list->SetTopIndex(top);
    QApplication::processEvents();
    asked.clear();
    list->viewport()->grab();
    ASSERT_FALSE(asked.empty());
    EXPECT_LE(static_cast<int>(asked.size()), visible);
    const int first = list->TopIndex();
    for (int index : asked) {
      EXPECT_GE(index, first);
      EXPECT_LE(index, first + visible);
    }
  }
}

TEST_F(FileListBoxTest, PreviewChangedRepaintsAndKeepsMarksFocusAndScrolling) {
  for (int i = 0; i < 100; ++i) m_dir.CreateFile("top/f" + std::to_string(1000 + i));
  auto list = Open(m_top);
  std::string prefix = "old ";
  int asked = 0;
  list->SetPreviewProvider([&](int index) {
    ++asked;
    return Cell(prefix + std::to_string(index));
  });
  list->SetShowPreview(true);
  list->SetMarked(40, true);
  list->SetMarked(43, true);
  list->SetFocused(43);
  list->SetTopIndex(35);
  QApplication::processEvents();
  const int top = list->TopIndex();
  ASSERT_EQ(top, 35);
  const int scroll = list->verticalScrollBar()->value();
  QSignalSpy resets(list->Model(), &QAbstractItemModel::modelReset);
  QSignalSpy marks(list->selectionModel(), &QItemSelectionModel::selectionChanged);
  QSignalSpy focus(list->selectionModel(), &QItemSelectionModel::currentChanged);
  m_changes = 0;

  prefix = "new ";
  asked = 0;
  list->PreviewChanged();
  EXPECT_EQ(asked, 0);
  QApplication::processEvents();
  // The visible rows were painted again, asking for their new cells.
  EXPECT_GT(asked, 0);
  EXPECT_LE(asked, list->viewport()->height() / list->ItemHeight() + 1);
  EXPECT_EQ(list->PreviewCellAt(41).text, "new 41");

  EXPECT_EQ(resets.count(), 0);
  EXPECT_EQ(marks.count(), 0);
  EXPECT_EQ(focus.count(), 0);
  EXPECT_EQ(m_changes, 0);
  EXPECT_EQ(list->MarkedCount(), 2);
  EXPECT_TRUE(list->IsMarked(40));
  EXPECT_TRUE(list->IsMarked(43));
  EXPECT_EQ(list->Focused(), 43);
  EXPECT_EQ(list->TopIndex(), top);
  EXPECT_EQ(list->verticalScrollBar()->value(), scroll);
}

TEST_F(FileListBoxTest, TooltipShowsWhyANewNameFails) {
  auto list = Open(m_top);
  list->SetWidthPreview(100);
  list->SetShowPreview(true);
  const std::string longName = "Very long file name that does not fit its column.txt";
  const std::string longNew = "A new name far too long for a column of a hundred pixels.txt";
  using Look = PreviewCell::Look;
  struct Case {
    const char* name;
    std::string entry;
    PreviewCell cell;
    QString tip;
  } cases[] = {
      {"fails",
       "b.txt",
       {"a.txt", Look::Failed, "A file of that name exists"},
       QStringLiteral("A file of that name exists")},
      {"fails, name shortened",
       longName,
       {"x.txt", Look::Failed, "A file of that name exists"},
       QString::fromStdString(longName) + QStringLiteral("\nA file of that name exists")},
      {"fails without a reason", "b.txt", {"a.txt", Look::Failed, ""}, QString()},
      {"fails, new name shortened",
       "b.txt",
       {longNew, Look::Failed, "Too long"},
       QStringLiteral("→ ") + QString::fromStdString(longNew) + QStringLiteral("\nToo long")},
      {"plain", "b.txt", {"B.TXT", Look::Plain, ""}, QString()},
      {"plain, name shortened",
       longName,
       {"x.txt", Look::Plain, ""},
       QString::fromStdString(longName)},
      {"plain, new name shortened",
       "b.txt",
       {longNew, Look::Plain, ""},
       QStringLiteral("→ ") + QString::fromStdString(longNew)},
      {"unchanged keeps its reason to itself",
       "b.txt",
       {"b.txt", Look::Unchanged, "same"},
       QString()},
      {"reason not UTF-8",
       "b.txt",
       {"a.txt", Look::Failed, "bad \xFF"},
       QStringLiteral("bad \uFFFD")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int row = IndexOf(*list, c.entry);
    std::vector<int> asked;
    list->SetPreviewProvider([&](int index) {
      asked.push_back(index);
      return c.cell;
    });
    EXPECT_EQ(list->NameToolTip(row), c.tip);
    EXPECT_EQ(asked, std::vector<int>{row});
  }

  // The tooltip shown over a row.
  const int b = IndexOf(*list, "b.txt");
  list->SetPreviewProvider([](int) {
    return PreviewCell{"a.txt", Look::Failed, "A file of that name exists"};
  });
  const QPoint pos = RowRect(*list, b).center();
  QHelpEvent event(QEvent::ToolTip, pos, list->viewport()->mapToGlobal(pos));
  QApplication::sendEvent(list->viewport(), &event);
  EXPECT_TRUE(event.isAccepted());
  EXPECT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text(), QStringLiteral("A file of that name exists"));

  // Hidden, the column neither asks nor adds to the tooltip.
  int asked = 0;
  list->SetPreviewProvider([&](int) {
    ++asked;
    return PreviewCell{"a.txt", Look::Failed, "A file of that name exists"};
  });
  list->SetShowPreview(false);
  EXPECT_EQ(list->NameToolTip(b), QString());
  EXPECT_EQ(list->NameToolTip(IndexOf(*list, longName)), QString::fromStdString(longName));
  EXPECT_EQ(list->PreviewCellAt(b).text, "");
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(list->NameToolTip(99), QString());
}

// A name that looks like markup is shown as it is, not rendered.
TEST_F(FileListBoxTest, TooltipShowsMarkupLiterally) {
  const std::string name = "<i>not italic & a name that does not fit its column.txt";
  m_dir.CreateFile("top/" + name);
  auto list = Open(m_top);
  const int row = IndexOf(*list, name);
  ASSERT_EQ(list->NameToolTip(row), QString::fromStdString(name));
  const QPoint pos = RowRect(*list, row).center();
  QHelpEvent event(QEvent::ToolTip, pos, list->viewport()->mapToGlobal(pos));
  QApplication::sendEvent(list->viewport(), &event);
  ASSERT_TRUE(QToolTip::isVisible());
  // The tooltip's markup, as a label renders it, is the name itself.
  QTextDocument shown;
  shown.setHtml(QToolTip::text());
  EXPECT_EQ(shown.toPlainText(), QString::fromStdString(name));
}

}  // namespace
}  // namespace relabo
