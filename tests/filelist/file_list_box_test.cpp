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
#include <QToolTip>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "filelist/file_list_model.h"
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
  for (TFileItem column : {fiFileName, fiSize, fiDate, fiTime, fiAttribute}) {
    SCOPED_TRACE(column);
    const QRect rect = list->ColumnRect(column);
    // From the gap before the column (two pixels after the glyph) to the gap after it.
    const auto [first, last] = inkedSpan(rect.left() - 2, rect.right() + 5);
    ASSERT_GE(first, 0);
    EXPECT_GE(first, rect.left());
    EXPECT_LE(last, rect.right());
    if (column == fiSize) {
      EXPECT_GE(last, rect.right() - 3);  // right-aligned
    } else {
      EXPECT_LE(first, rect.left() + 3);  // left-aligned
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

}  // namespace
}  // namespace relabo
