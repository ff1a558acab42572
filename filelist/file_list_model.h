// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractListModel>

#include "filelist/folder_list.h"

namespace relabo {

/// The entries of a FolderList as a list model: the display text (the stored text, decoded for
/// display only) and the entry's record in a role of its own.
class FileListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  /// The entry's TEntryInfo* as a quintptr.
  static constexpr int kEntryRole = Qt::UserRole + 1;

  explicit FileListModel(const FolderList& list, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  static const TEntryInfo* Entry(const QModelIndex& index);

  /// Bracket a replacement of all the list's items.
  void BeginReplace() { beginResetModel(); }
  void EndReplace() { endResetModel(); }
  /// The entry's record changed (its glyph).
  void EntryChanged(int row);

 private:
  const FolderList& m_list;
};

}  // namespace relabo
