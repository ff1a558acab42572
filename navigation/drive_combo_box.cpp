#include "navigation/drive_combo_box.h"

#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QByteArray>
#include <QEvent>
#include <QFontMetrics>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>
#include <climits>

#include "navigation/mount_watcher.h"
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
    : QComboBox(parent), m_source(source ? std::move(source) : VolumeSource(&ListVolumes)) {
  setEditable(false);
  setIconSize(QSize(kGlyphSize, kGlyphSize));
  setItemDelegate(new DriveItemDelegate(this));
  AdjustItemHeight();
  FillDriveList();
  m_drive = VolumeOf(m_volumes, CurrentFolder());
  SelectDriveSilently();
  connect(this, &QComboBox::activated, this, &TXDriveComboBox::OnActivated);
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
  m_volumes = std::move(volumes);
  RebuildItems();
  SelectDriveSilently();
  Q_EMIT VolumesChanged();
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
  try {
    if (currentIndex() >= 0) SetDrive(MountPointAt(currentIndex()));
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

}  // namespace relabo
