// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/file_list_model.h"

namespace relabo {

FileListModel::FileListModel(const FolderList& list, QObject* parent)
    : QAbstractListModel(parent), m_list(list) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_list.Count();
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= m_list.Count()) return {};
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(m_list.ItemText(index.row()));
    case kEntryRole:
      return QVariant::fromValue(reinterpret_cast<quintptr>(m_list.ItemInfo(index.row())));
    default:
      return {};
  }
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

const TEntryInfo* FileListModel::Entry(const QModelIndex& index) {
  return reinterpret_cast<const TEntryInfo*>(index.data(kEntryRole).value<quintptr>());
}

void FileListModel::EntryChanged(int row) {
  const QModelIndex i = index(row);
  Q_EMIT dataChanged(i, i);
}

}  // namespace relabo
