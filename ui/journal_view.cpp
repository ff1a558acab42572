// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/journal_view.h"

#include <sys/stat.h>

#include <QStringList>

#include <utility>

#include "fileutil/error.h"

namespace relabo {

JournalView::JournalView(std::string path) : m_path(std::move(path)) {}

const std::vector<JournalBatch>& JournalView::Batches() {
  struct stat st{};
  const bool exists = ::stat(m_path.c_str(), &st) == 0;
  const std::int64_t mtime =
      exists ? std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec : -1;
  const off_t size = exists ? st.st_size : -1;
  if (m_read && st.st_dev == m_device && st.st_ino == m_inode && size == m_size &&
      mtime == m_mtimeNs) {
    return m_batches;
  }
  m_read = true;
  m_device = st.st_dev;
  m_inode = st.st_ino;
  m_size = size;
  m_mtimeNs = mtime;
  m_error.clear();
  try {
    m_batches = ReadJournal(m_path);
  } catch (const Error& e) {
    m_batches.clear();
    m_error = e.what();
  }
  return m_batches;
}

QString UndoCaption(const JournalBatch* batch) {
  QString caption = QStringLiteral("&Undo");
  if (batch) {
    // An "&" of the title is text, not an accelerator.
    caption += QLatin1Char(' ') +
               QString::fromStdString(batch->title).replace(QLatin1Char('&'),
                                                            QStringLiteral("&&"));
  }
  return caption;
}

QString UndoQuestion(const std::vector<const JournalBatch*>& sequence) {
  if (sequence.empty()) return QString();
  const JournalBatch& chosen = *sequence.back();
  size_t operations = 0;
  bool renames = false, copies = false, deletions = false;
  for (const JournalBatch* batch : sequence) {
    operations += batch->operations.size();
    for (const JournalOperation& op : batch->operations) {
      renames |= op.kind == JournalOperationKind::Rename;
      copies |= op.kind == JournalOperationKind::Copy;
      deletions |= op.kind == JournalOperationKind::Delete;
    }
  }
  // What will happen, only for the kinds of operation the batches hold.
  QStringList effects;
  if (renames) effects << QStringLiteral("renamed files get their old names back");
  if (copies) effects << QStringLiteral("copies nobody changed go to the trash");
  if (deletions) effects << QStringLiteral("deleted files come back from the trash");
  QString what = effects.join(QStringLiteral(", "));
  if (!what.isEmpty()) what[0] = what[0].toUpper();
  what += QStringLiteral(". Nothing is replaced.");
  const QString folder = QString::fromStdString(chosen.folder);
  const QString title = QString::fromStdString(chosen.title);
  if (sequence.size() == 1) {
    return QStringLiteral("Take back \"%1\" in %2 (%3 operation(s))?\n\n%4")
        .arg(title, folder)
        .arg(operations)
        .arg(what);
  }
  return QStringLiteral("Take back \"%1\" and the %2 later batch(es) in %3 (%4 operation(s) in "
                        "all), newest first?\n\n%5")
      .arg(title)
      .arg(sequence.size() - 1)
      .arg(folder)
      .arg(operations)
      .arg(what);
}

}  // namespace relabo
