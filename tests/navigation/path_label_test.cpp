// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigation/path_label.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <memory>

namespace relabo {
namespace {

void EnsureApplication() {
  if (QApplication::instance()) return;
  // Never the machine's display, whatever the environment says.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "relabo_navigation_tests";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
}

const QColor kBackground(128, 128, 128);
const QColor kText(192, 192, 192);
const QColor kLight(255, 0, 0);
const QColor kDark(0, 0, 255);

// A label in known colours; the light and dark colours of both groups are set, so the
// disabled painting can be told apart from the enabled one.
std::unique_ptr<TXPathLabel> MakeLabel(const QString& caption, int width) {
  EnsureApplication();
  auto label = std::make_unique<TXPathLabel>();
  QPalette palette = label->palette();
  for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Window, kBackground);
    palette.setColor(group, QPalette::WindowText, kText);
    palette.setColor(group, QPalette::Light, kLight);
    palette.setColor(group, QPalette::Dark, kDark);
  }
  label->setPalette(palette);
  // Without antialiasing every drawn pixel has exactly one of the colours.
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(16);
  font.setStyleStrategy(QFont::NoAntialias);
  label->setFont(font);
  label->SetCaption(caption);
  label->resize(width, QFontMetrics(label->font()).height() * 3);
  return label;
}

QImage Render(QWidget& widget, QColor fill = Qt::white) {
  QImage image(widget.size(), QImage::Format_RGB32);
  image.fill(fill);
  widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  return image;
}

// The bounding box of the pixels of one colour.
QRect PixelsOf(const QImage& image, QColor colour) {
  QRect box;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixelColor(x, y) == colour) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

// Any pixel that is neither the background nor the given fill.
QRect InkOf(const QImage& image, QColor background) {
  QRect box;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixelColor(x, y) != background) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

TEST(PathLabelTest, ShortensToItsWidthAndKeepsTheCaption) {
  const QString caption = QStringLiteral("/home/ann/photos/2024/*.*");
  auto label = MakeLabel(caption, 1000);
  EXPECT_EQ(label->ShownText(), caption);

  const QFontMetrics metrics(label->font());
  label->resize(metrics.horizontalAdvance(QStringLiteral("/.../2024/*.*")), label->height());
  EXPECT_EQ(label->ShownText(), QStringLiteral("/.../2024/*.*"));
  label->resize(1, label->height());
  EXPECT_EQ(label->ShownText(), QStringLiteral("*.*"));
  EXPECT_EQ(label->Caption(), caption);
}

TEST(PathLabelTest, DisabledTextIsEmbossed) {
  auto label = MakeLabel(QStringLiteral("/mnt/WWWW/*.*"), 400);
  const QImage enabled = Render(*label);
  EXPECT_FALSE(PixelsOf(enabled, kText).isEmpty());
  EXPECT_TRUE(PixelsOf(enabled, kLight).isEmpty());
  EXPECT_TRUE(PixelsOf(enabled, kDark).isEmpty());

  label->setEnabled(false);
  const QImage disabled = Render(*label);
  const QRect light = PixelsOf(disabled, kLight);
  const QRect dark = PixelsOf(disabled, kDark);
  ASSERT_FALSE(light.isEmpty());
  ASSERT_FALSE(dark.isEmpty());
  // The light copy lies one pixel right of and below the dark one, which is drawn on top.
  EXPECT_EQ(light.bottomRight(), dark.bottomRight() + QPoint(1, 1));
  EXPECT_TRUE(PixelsOf(disabled, kText).isEmpty());
}

TEST(PathLabelTest, AlignmentAndWrapping) {
  auto label = MakeLabel(QStringLiteral("/x/y.txt"), 400);
  const QRect left = InkOf(Render(*label), kBackground);
  label->SetAlignment(Qt::AlignRight);
  const QRect right = InkOf(Render(*label), kBackground);
  ASSERT_FALSE(left.isEmpty());
  EXPECT_LT(left.left(), 5);
  EXPECT_GT(right.right(), label->width() - 5);
  EXPECT_EQ(right.width(), left.width());

  // Too wide even as its last component, which has blanks: only wrapping shows all of it.
  const int lineHeight = QFontMetrics(label->font()).height();
  auto wrapped = MakeLabel(QStringLiteral("/a/many words in a long name"), 60);
  wrapped->SetAlignment(Qt::AlignLeft);
  EXPECT_LE(InkOf(Render(*wrapped), kBackground).bottom(), lineHeight);
  wrapped->SetWordWrap(true);
  EXPECT_GT(InkOf(Render(*wrapped), kBackground).bottom(), lineHeight);
}

TEST(PathLabelTest, TransparentLeavesTheBackground) {
  auto label = MakeLabel(QString(), 50);
  EXPECT_EQ(Render(*label, Qt::green).pixelColor(10, 5), kBackground);
  label->SetTransparent(true);
  EXPECT_EQ(Render(*label, Qt::green).pixelColor(10, 5), QColor(Qt::green));
}

}  // namespace
}  // namespace relabo
