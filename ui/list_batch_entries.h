// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "engine/batch.h"
#include "filelist/file_list_box.h"

namespace relabo {

/// The shown entries of a file list as a batch, a plan or the Extension command read them.
class ListBatchEntries : public BatchEntries {
 public:
  explicit ListBatchEntries(const TXFileListBox& list) : m_list(list) {}
  int Count() const override { return m_list.Count(); }
  int MarkedCount() const override { return m_list.MarkedCount(); }
  bool IsMarked(int index) const override { return m_list.IsMarked(index); }
  BatchEntryKind Kind(int index) const override {
    switch (m_list.ItemKind(index)) {
      case ekFile:
        return BatchEntryKind::File;
      case ekParentFolder:
        return BatchEntryKind::Parent;
      default:
        return BatchEntryKind::Folder;
    }
  }
  std::string Name(int index) const override { return m_list.ItemText(index); }

 private:
  const TXFileListBox& m_list;
};

}  // namespace relabo
