// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "navigation/volume.h"

namespace relabo {

/// The letter case of the volume labels in TXDriveComboBox.
enum class TXTextCase { tcLowerCase, tcUpperCase };

/// A drop-down list of the mounted volumes: one item per volume, its glyph, its mount point
/// and, after two blanks, its label. It holds the current volume (Drive) and tells every
/// change of it through Changed; it opens no folder itself. The list follows mounts and
/// unmounts, keeping the current volume selected, or the volume holding the shown folder when
/// the current one goes. The closed box shows a text too wide for it with "..." in its middle
/// and has the whole text as its tooltip; typed letters find a volume by the start of the last
/// part of its mount point or of its label.
class TXDriveComboBox : public QComboBox {
  Q_OBJECT

 public:
  using VolumeSource = std::function<std::vector<Volume>()>;
  using FolderSource = std::function<std::string()>;

  /// Lists the mounted volumes and selects the one holding the current folder.
  explicit TXDriveComboBox(QWidget* parent = nullptr);
  /// The same with another source of volumes than the mount table, which is then not watched.
  explicit TXDriveComboBox(VolumeSource source, QWidget* parent = nullptr);

  /// The current volume's mount point; empty for none.
  const std::string& Drive() const { return m_drive; }
  /// The folder to open for Drive: RootFolderOf(Drive()), as "/media/usb/".
  std::string RootFolder() const { return RootFolderOf(m_drive); }
  /// Makes mountPoint the current volume, selects its item and fires Changed; does nothing
  /// when that item is already selected. A value that no item has is kept and leaves the
  /// selection as it was; an empty value clears the selection. When a handler of Changed
  /// throws, Drive gets its former value back and the exception propagates.
  void SetDrive(std::string_view mountPoint);

  TXTextCase TextCase() const { return m_textCase; }
  /// Rebuilds the list with labels in that case and writes Drive again, so Changed fires even
  /// when the case was already this one.
  void SetTextCase(TXTextCase textCase);

  /// The volumes listed, in item order.
  const std::vector<Volume>& Volumes() const { return m_volumes; }
  /// The mount point of the item at index; empty for an index without an item.
  std::string MountPointAt(int index) const;
  /// The kind (glyph row) of the item at index.
  VolumeKind KindAt(int index) const;
  /// The first item with that mount point, or -1.
  int IndexOfMountPoint(std::string_view mountPoint) const;
  /// The height of every item: the font's line height, but at least 16 pixels.
  int ItemHeight() const { return m_itemHeight; }
  /// The text of the current item as the closed box draws it at its width.
  QString ShownText() const;

  /// Where the host shows its folder (the file list's Directory). When volumes go, the volume
  /// holding that folder takes the place of one that went. By default the process's current
  /// folder.
  void SetFolderSource(FolderSource source);

  /// Reads the volumes from the source and rebuilds the items; no item is selected afterwards.
  virtual void FillDriveList();
  /// Reads the volumes again and, when they changed, rebuilds the list with the item of Drive
  /// still selected and fires VolumesChanged. When Drive was listed and is gone, the volume
  /// holding the shown folder (at least "/") becomes Drive without Changed: the host's folder
  /// is still there. When the shown folder itself was on a volume that is gone, the volume
  /// holding it now becomes Drive and Changed fires, so the host leaves the folder for that
  /// volume's top; a handler that throws is reported through Failed. Runs by itself after a
  /// mount or unmount (delayed while the list is open).
  void RefreshVolumes();

  void hidePopup() override;

 Q_SIGNALS:
  /// After every accepted change of Drive, and once more after every pick by the user, also
  /// of the volume that was already current. A pick of a volume that is no longer mounted
  /// renews the list and is taken as a pick of the volume holding the shown folder. A handler
  /// may throw (see SetDrive).
  void Changed();
  /// A handler of Changed threw after a pick by the user; the box then shows no volume and
  /// Drive has its former value. Without a receiver the message is shown in an error box.
  void Failed(const QString& message);
  /// The list was rebuilt because volumes came or went.
  void VolumesChanged();

 protected:
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void RebuildItems();
  void SelectDriveSilently();
  void OnActivated(int index);
  void ReportFailure(const std::exception& error);
  void AdjustItemHeight();
  bool IsListed(std::string_view mountPoint) const;
  std::string FallbackDrive(std::string_view folder) const;
  QString ElidedText(const QStyleOptionComboBox& option) const;

  VolumeSource m_source;
  FolderSource m_folderSource;
  std::vector<Volume> m_volumes;
  std::string m_drive;
  TXTextCase m_textCase = TXTextCase::tcLowerCase;
  int m_itemHeight = 16;
  bool m_refreshPending = false;
};

}  // namespace relabo
