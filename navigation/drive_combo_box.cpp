// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigation/drive_combo_box.h"

#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QByteArray>
#include <QElapsedTimer>
#include <QEvent>
#include <QFontMetrics>
#include <QListView>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>
#include <climits>

#include "navigation/mount_watcher.h"
#include "navigation/path_shortening.h"
#include "navigation/volume_glyphs.h"

namespace relabo {

namespace {

constexpr int kMountPointRole = Qt::UserRole;
constexpr int kKindRole = Qt::UserRole + 1;
constexpr int kGlyphSize = 16;
constexpr int kGlyphLeft = 4;
constexpr int kTextGap = 8;
// Mounts often come in bursts (a disk with several partitions); one rebuild is enough.
constexpr int kRefreshDelayMs = 100;

std::string CurrentFolder() {
  std::string buffer(PATH_MAX, '\0');
  if (!::getcwd(buffer.data(), buffer.size())) return std::string();
  buffer.resize(std::char_traits<char>::length(buffer.data()));
  return buffer;
}

// Paints an item as glyph and text on the item's own background, at the combo box's height.
class DriveItemDelegate : public QStyledItemDelegate {
 public:
  explicit DriveItemDelegate(TXDriveComboBox* box) : QStyledItemDelegate(box), m_box(box) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    const QRect area = option.rect;
    painter->fillRect(area, selected ? option.palette.highlight() : option.palette.base());
    const QIcon glyph = index.data(Qt::DecorationRole).value<QIcon>();
    if (!glyph.isNull()) {
      const QRect glyphRect(area.left() + kGlyphLeft,
                            (area.top() + area.bottom() + 1 - kGlyphSize) / 2, kGlyphSize,
                            kGlyphSize);
      glyph.paint(painter, glyphRect);
    }
    const QRect textRect = area.adjusted(kGlyphSize + kTextGap, 0, 0, 0);
    painter->setFont(option.font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const int textWidth =
        QFontMetrics(option.font).horizontalAdvance(index.data(Qt::DisplayRole).toString());
    return QSize(kGlyphSize + kTextGap + textWidth + kGlyphLeft, m_box->ItemHeight());
  }

 private:
  TXDriveComboBox* m_box;
};

// Whether typed text begins the last part of the volume's mount point, its label or the whole
// mount point: every mount point begins with the same "/", so letters alone would find nothing.
bool TypedMatches(const Volume& volume, const QString& typed) {
  const QString mountPoint = QString::fromStdString(volume.mountPoint);
  const QString lastPart = mountPoint.mid(mountPoint.lastIndexOf(QLatin1Char('/')) + 1);
  return lastPart.startsWith(typed, Qt::CaseInsensitive) ||
         QString::fromStdString(volume.label).startsWith(typed, Qt::CaseInsensitive) ||
         mountPoint.startsWith(typed, Qt::CaseInsensitive);
}

// The open list. The closed box searches through its view as well, so this type-ahead serves
// both. Keys typed in quick succession add up; one key typed again and again steps through the
// volumes it finds, as Qt's own search does.
class DriveListView : public QListView {
 public:
  explicit DriveListView(TXDriveComboBox* box) : m_box(box) {}

  void keyboardSearch(const QString& search) override {
    const bool fresh = search.isEmpty() || !m_lastKey.isValid() ||
                       m_lastKey.elapsed() > QApplication::keyboardInputInterval();
    m_lastKey.start();
    m_typed = fresh ? search : m_typed + search;
    const std::vector<Volume>& volumes = m_box->Volumes();
    const int count = std::min(int(volumes.size()), model() ? model()->rowCount() : 0);
    if (m_typed.isEmpty() || count == 0) return;
    const bool sameKey = m_typed.count(m_typed.back()) == m_typed.size();
    const QString wanted = sameKey ? m_typed.left(1) : m_typed;
    const int current = currentIndex().isValid() ? currentIndex().row() : -1;
    // A new search or another press of the same key moves on; a longer text may stay.
    const int start = current < 0 ? 0 : (fresh || sameKey ? current + 1 : current);
    for (int k = 0; k < count; ++k) {
      const int row = (start + k) % count;
      if (TypedMatches(volumes[size_t(row)], wanted)) {
        setCurrentIndex(model()->index(row, m_box->modelColumn()));
        return;
      }
    }
  }

 protected:
  // As the combo box's own list: a popup window does not inherit the box's font, and the
  // rows are as wide as the list.
  void initViewItemOption(QStyleOptionViewItem* option) const override {
    QListView::initViewItemOption(option);
    option->showDecorationSelected = true;
    option->font = m_box->font();
  }

  void resizeEvent(QResizeEvent* event) override {
    resizeContents(viewport()->width(), contentsSize().height());
    QListView::resizeEvent(event);
  }

 private:
  TXDriveComboBox* m_box;
  QElapsedTimer m_lastKey;
  QString m_typed;
};

}  // namespace

TXDriveComboBox::TXDriveComboBox(QWidget* parent) : TXDriveComboBox(VolumeSource(), parent) {
  auto* watcher = new MountTableWatcher(this);
  auto* delay = new QTimer(this);
  delay->setSingleShot(true);
  delay->setInterval(kRefreshDelayMs);
  connect(watcher, &MountTableWatcher::Changed, delay, qOverload<>(&QTimer::start));
  connect(delay, &QTimer::timeout, this, &TXDriveComboBox::RefreshVolumes);
}

TXDriveComboBox::TXDriveComboBox(VolumeSource source, QWidget* parent)
    : QComboBox(parent),
      m_source(source ? std::move(source) : VolumeSource(&ListVolumes)),
      m_folderSource(&CurrentFolder) {
  setEditable(false);
  setIconSize(QSize(kGlyphSize, kGlyphSize));
  setView(new DriveListView(this));  // before the delegate, which goes to the view
  setItemDelegate(new DriveItemDelegate(this));
  AdjustItemHeight();
  connect(this, &QComboBox::currentIndexChanged, this,
          [this](int index) { setToolTip(index >= 0 ? itemText(index) : QString()); });
  FillDriveList();
  m_drive = VolumeOf(m_volumes, CurrentFolder());
  SelectDriveSilently();
  connect(this, &QComboBox::activated, this, &TXDriveComboBox::OnActivated);
}

void TXDriveComboBox::SetFolderSource(FolderSource source) {
  m_folderSource = source ? std::move(source) : FolderSource(&CurrentFolder);
}

void TXDriveComboBox::SetDrive(std::string_view mountPoint) {
  if (currentIndex() >= 0 && mountPoint == m_drive) return;
  const std::string former = m_drive;
  try {
    m_drive = mountPoint;
    if (m_drive.empty()) {
      setCurrentIndex(-1);
    } else if (const int index = IndexOfMountPoint(m_drive); index >= 0) {
      setCurrentIndex(index);
    }
    Q_EMIT Changed();
  } catch (...) {
    m_drive = former;
    throw;
  }
}

void TXDriveComboBox::SetTextCase(TXTextCase textCase) {
  m_textCase = textCase;
  const std::string drive = m_drive;
  FillDriveList();
  SetDrive(drive);
}

std::string TXDriveComboBox::MountPointAt(int index) const {
  return itemData(index, kMountPointRole).toByteArray().toStdString();
}

VolumeKind TXDriveComboBox::KindAt(int index) const {
  return VolumeKind(itemData(index, kKindRole).toInt());
}

int TXDriveComboBox::IndexOfMountPoint(std::string_view mountPoint) const {
  for (int i = 0; i < count(); ++i) {
    if (MountPointAt(i) == mountPoint) return i;
  }
  return -1;
}

void TXDriveComboBox::FillDriveList() {
  m_volumes = m_source();
  RebuildItems();
}

void TXDriveComboBox::RefreshVolumes() {
  if (view()->isVisible()) {
    // Items must not change under the user's pointer; hidePopup comes back here.
    m_refreshPending = true;
    return;
  }
  std::vector<Volume> volumes = m_source();
  if (volumes == m_volumes) return;
  const std::string folder = m_folderSource();
  const std::string folderVolume = VolumeOf(m_volumes, folder);
  const bool driveWasListed = IsListed(m_drive);
  m_volumes = std::move(volumes);
  RebuildItems();
  const bool folderGone = !folderVolume.empty() && !IsListed(folderVolume);
  if (folderGone || (driveWasListed && !IsListed(m_drive))) m_drive = FallbackDrive(folder);
  SelectDriveSilently();
  Q_EMIT VolumesChanged();
  if (!folderGone) return;
  // The host shows a folder that is no longer there.
  try {
    Q_EMIT Changed();
  } catch (const std::exception& error) {
    ReportFailure(error);
  }
}

void TXDriveComboBox::hidePopup() {
  QComboBox::hidePopup();
  if (m_refreshPending) {
    m_refreshPending = false;
    // After the pick that closed the list has been handled, while its index is still valid.
    QTimer::singleShot(0, this, &TXDriveComboBox::RefreshVolumes);
  }
}

void TXDriveComboBox::changeEvent(QEvent* event) {
  QComboBox::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    AdjustItemHeight();
    RebuildItems();
    SelectDriveSilently();
  }
}

void TXDriveComboBox::RebuildItems() {
  clear();
  for (const Volume& volume : m_volumes) {
    QString text = QString::fromStdString(volume.mountPoint);
    if (!volume.label.empty()) {
      const QString label = QString::fromStdString(volume.label);
      text += QStringLiteral("  ") +
              (m_textCase == TXTextCase::tcLowerCase ? label.toLower() : label.toUpper());
    }
    addItem(VolumeGlyph(volume.kind), text);
    const int index = count() - 1;
    setItemData(index, QByteArray::fromStdString(volume.mountPoint), kMountPointRole);
    setItemData(index, int(volume.kind), kKindRole);
  }
  setCurrentIndex(-1);
}

void TXDriveComboBox::SelectDriveSilently() {
  setCurrentIndex(m_drive.empty() ? -1 : IndexOfMountPoint(m_drive));
}

void TXDriveComboBox::OnActivated(int) {
  // The user's pick: it becomes Drive, and the change is told once more (also when the
  // picked volume was already current, so the host can open it again).
  std::string picked = currentIndex() >= 0 ? MountPointAt(currentIndex()) : std::string();
  if (!picked.empty()) {
    // The items may be older than the mount table: a refresh waits while the list is open.
    std::vector<Volume> volumes = m_source();
    const bool gone = std::none_of(volumes.begin(), volumes.end(),
                                   [&picked](const Volume& v) { return v.mountPoint == picked; });
    if (gone) {
      m_volumes = std::move(volumes);
      RebuildItems();
      picked = FallbackDrive(m_folderSource());
      Q_EMIT VolumesChanged();
    }
  }
  try {
    if (!picked.empty()) SetDrive(picked);
  } catch (const std::exception& error) {
    setCurrentIndex(-1);
    ReportFailure(error);
    return;
  }
  try {
    Q_EMIT Changed();
  } catch (const std::exception& error) {
    ReportFailure(error);
  }
}

void TXDriveComboBox::ReportFailure(const std::exception& error) {
  const QString message = QString::fromStdString(error.what());
  if (isSignalConnected(QMetaMethod::fromSignal(&TXDriveComboBox::Failed))) {
    Q_EMIT Failed(message);
  } else {
    QMessageBox::critical(window(), QApplication::applicationDisplayName(), message);
  }
}

void TXDriveComboBox::AdjustItemHeight() {
  m_itemHeight = std::max(QFontMetrics(font()).height(), kGlyphSize);
}

bool TXDriveComboBox::IsListed(std::string_view mountPoint) const {
  return !mountPoint.empty() &&
         std::any_of(m_volumes.begin(), m_volumes.end(),
                     [mountPoint](const Volume& v) { return v.mountPoint == mountPoint; });
}

std::string TXDriveComboBox::FallbackDrive(std::string_view folder) const {
  std::string volume = VolumeOf(m_volumes, folder);
  return volume.empty() ? std::string("/") : volume;
}

QString TXDriveComboBox::ShownText() const {
  QStyleOptionComboBox option;
  initStyleOption(&option);
  return ElidedText(option);
}

QString TXDriveComboBox::ElidedText(const QStyleOptionComboBox& option) const {
  if (option.currentText.isEmpty()) return option.currentText;
  // The room the common style gives the label: the edit field less the glyph and its gap, and
  // one pixel on either side.
  const QRect field =
      style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
  int width = field.width() - 2;
  if (!option.currentIcon.isNull()) width -= option.iconSize.width() + 4;
  const QFontMetrics& metrics = option.fontMetrics;
  const std::string shown = ElideMiddle(
      option.currentText.toStdString(),
      [&metrics](std::string_view s) {
        return metrics.horizontalAdvance(QString::fromUtf8(s.data(), qsizetype(s.size())));
      },
      width);
  return QString::fromStdString(shown);
}

void TXDriveComboBox::paintEvent(QPaintEvent*) {
  // As QComboBox paints itself, with the label shortened to its room.
  QStylePainter painter(this);
  painter.setPen(palette().color(QPalette::Text));
  QStyleOptionComboBox option;
  initStyleOption(&option);
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  option.currentText = ElidedText(option);
  painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

}  // namespace relabo
