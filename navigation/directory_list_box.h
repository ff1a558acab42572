// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListView>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "navigation/directory_lines.h"
#include "navigation/volume.h"

namespace relabo {

class TXDriveComboBox;
class TXFileListBox;
class TXPathLabel;

/// A small indented tree of one folder: the chain from "/" down to the current folder, then its
/// subfolders sorted by name ignoring case. Enter or a double click opens the selected line.
///
/// Linked with a drive selector, a file list and a path label, it keeps all of them on its
/// folder: a change made here moves the file list, the label and the selector's volume; a
/// volume picked in the selector and a path the file list is told to go to come here first.
/// A linked control that is destroyed is unlinked.
///
/// Names are bytes: the lines keep them exactly, and only their displayed text is decoded.
class TXDirectoryListBox : public QListView {
  Q_OBJECT

 public:
  using VolumeSource = std::function<std::vector<Volume>()>;

  /// Shows the process's current folder, with the volumes of the mount table.
  explicit TXDirectoryListBox(QWidget* parent = nullptr);
  /// The same with another source of volumes than the mount table.
  explicit TXDirectoryListBox(VolumeSource source, QWidget* parent = nullptr);
  ~TXDirectoryListBox() override;

  /// The current folder as getcwd reports it after entering it.
  const std::string& Directory() const { return m_directory; }
  /// Makes path (relative to Directory) the current folder, also of the process, and rebuilds.
  /// Throws Error when it cannot be entered, or a linked file list cannot read it; then
  /// nothing has changed.
  void SetDirectory(const std::string& path);

  /// The mount point of the volume holding Directory; empty when no volume holds it.
  const std::string& Drive() const { return m_drive; }
  /// Moves to the mount point of another volume. Nothing when mountPoint is Drive; an empty
  /// value only rebuilds and tells the change. Throws Error as SetDirectory does.
  void SetDrive(std::string_view mountPoint);

  /// Opens a path given by the user or a linked file list: its folder becomes current (the file
  /// name or pattern at its end is not used here). Nothing for an empty path, or one naming
  /// Directory when a linked file list shows it too. Throws Error as SetDirectory does.
  virtual void ApplyPath(const std::string& path);
  /// Tells a change of Directory: a linked file list opens it, a linked label shows it, then
  /// Changed is emitted.
  virtual void Change();
  /// Builds the lines of Directory again; no lines when its volume cannot be read.
  virtual void FillFolderList();

  /// The file list that follows this folder; its typed paths are applied here. Linking brings
  /// the file list to Directory first (an Error from that leaves the link as it was).
  TXFileListBox* FileList() const;
  void SetFileList(TXFileListBox* fileList);
  /// The label that shows Directory; linking sets its caption.
  TXPathLabel* DirLabel() const;
  void SetDirLabel(TXPathLabel* label);
  /// The drive selector that follows the volume of Directory and whose picks move this list
  /// (the selector's DirList; see also SetDirList). Linking selects the present volume there.
  TXDriveComboBox* DriveComboBox() const;
  void SetDriveComboBox(TXDriveComboBox* box);

  /// The lines as shown.
  const std::vector<DirectoryLine>& Lines() const { return m_lines; }
  int Count() const { return static_cast<int>(m_lines.size()); }
  /// The folder of line index; empty for an index without a line.
  std::string ItemPath(int index) const;
  /// The text shown for line index (names as they are, decoded for display only).
  QString DisplayText(int index) const;
  /// The left edge of the glyph of line index, from the left of the row, in pixels.
  int Indent(int index) const;
  /// The selected line, -1 when none.
  int SelectedIndex() const;
  void SetSelectedIndex(int index);
  /// Opens the selected line (ApplyPath of its folder); nothing when no line is selected.
  void OpenSelectedLine();
  /// True when the volume of Directory treats names differing only in case as one.
  bool VolumeIgnoresCase() const { return m_ignoresCase; }
  /// The height of every line: the font's line height, but at least 15 pixels.
  int ItemHeight() const { return m_itemHeight; }

  QSize sizeHint() const override;

 Q_SIGNALS:
  /// After every change of folder, once.
  void Changed();
  /// Opening a line by a key or a double click failed. Without a receiver the message is shown
  /// in an error box.
  void Failed(const QString& message);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  class LineModel;
  class LineDelegate;

  void Rebuild();
  // Enters target (relative to Directory) and, unless it is Directory with the file list already
  // there when onlyIfOther, makes it current everywhere. Throws before changing anything.
  void MoveTo(const std::string& target, bool onlyIfOther);
  bool InStep() const;
  void SelectCurrentLine();
  // Tells the linked selector the volume of Directory; returns an error its handlers threw.
  std::exception_ptr SyncDriveComboBox();
  void DriveComboBoxChanged();
  void UnlinkFileList();
  void UnlinkDriveComboBox();
  void Guarded(const std::function<void()>& command);
  void AdjustItemHeight();

  VolumeSource m_source;
  LineModel* m_model;
  std::string m_directory;
  std::string m_drive;
  std::vector<DirectoryLine> m_lines;
  bool m_ignoresCase = false;
  // Set while this list moves the selector, whose change then comes back here.
  bool m_changingDrive = false;
  int m_itemHeight = 15;

  QPointer<TXFileListBox> m_fileList;
  QPointer<TXPathLabel> m_dirLabel;
  QPointer<TXDriveComboBox> m_driveBox;
  QMetaObject::Connection m_driveConnection;
};

/// The directory tree list linked to a drive selector, or nullptr.
TXDirectoryListBox* DirListOf(const TXDriveComboBox& box);
/// Links a drive selector and a directory tree list both ways (nullptr unlinks); a list linked
/// to the selector before is unlinked.
void SetDirList(TXDriveComboBox& box, TXDirectoryListBox* list);

}  // namespace relabo
