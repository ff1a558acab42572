// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

namespace relabo {

/// Tells when a file system is mounted or unmounted anywhere in the process's view. The
/// kernel marks an open mount table as changed (poll reports POLLPRI); a file watcher cannot
/// see that.
class MountTableWatcher : public QObject {
  Q_OBJECT

 public:
  explicit MountTableWatcher(QObject* parent = nullptr);
  ~MountTableWatcher() override;
  MountTableWatcher(const MountTableWatcher&) = delete;
  MountTableWatcher& operator=(const MountTableWatcher&) = delete;

  /// False when the mount table could not be opened; Changed then never fires.
  bool IsWatching() const { return m_notifier != nullptr; }

 Q_SIGNALS:
  void Changed();

 private:
  int m_fd = -1;
  QSocketNotifier* m_notifier = nullptr;
};

}  // namespace relabo
