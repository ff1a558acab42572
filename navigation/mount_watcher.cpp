// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigation/mount_watcher.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace relabo {

MountTableWatcher::MountTableWatcher(QObject* parent) : QObject(parent) {
  m_fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  if (m_fd < 0) return;
  // The file is always readable; only the exceptional condition means a change.
  m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
  connect(m_notifier, &QSocketNotifier::activated, this, &MountTableWatcher::Changed);
}

MountTableWatcher::~MountTableWatcher() {
  delete m_notifier;
  if (m_fd >= 0) ::close(m_fd);
}

}  // namespace relabo
