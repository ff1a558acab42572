// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/quit_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <utility>

namespace relabo {

namespace {

constexpr std::array<int, 3> kQuitSignals = {SIGTERM, SIGHUP, SIGINT};

// The pipe's writing end for the handler; -1 while no object is installed.
volatile sig_atomic_t g_writeFd = -1;

extern "C" void WriteQuitSignal(int signal) {
  const int savedErrno = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  // A full pipe already holds a wake-up, so a byte that does not fit is not missed.
  [[maybe_unused]] const ssize_t written = ::write(g_writeFd, &byte, 1);
  errno = savedErrno;
}

}  // namespace

QuitSignals::QuitSignals(std::function<void()> onSignal) : m_onSignal(std::move(onSignal)) {
  int fds[2];
  // Non-blocking: the handler must never wait, and Drain reads until the pipe is empty.
  if (g_writeFd != -1 || ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  m_readFd = fds[0];
  m_writeFd = fds[1];
  g_writeFd = m_writeFd;

  struct sigaction action {};
  action.sa_handler = WriteQuitSignal;
  sigemptyset(&action.sa_mask);
  // The program's own system calls go on as if no signal had come.
  action.sa_flags = SA_RESTART;
  for (const int signal : kQuitSignals) {
    if (::sigaction(signal, &action, &m_previous[size_t(m_installedCount)]) != 0) {
      Uninstall();
      return;
    }
    ++m_installedCount;
  }

  m_notifier = std::make_unique<QSocketNotifier>(m_readFd, QSocketNotifier::Read);
  QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { Drain(); });
}

QuitSignals::~QuitSignals() { Uninstall(); }

void QuitSignals::Drain() {
  unsigned char bytes[64];
  bool any = false;
  for (;;) {
    const ssize_t count = ::read(m_readFd, bytes, sizeof bytes);
    if (count > 0) {
      any = true;
    } else if (count < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // empty (EAGAIN) or closed
    }
  }
  if (any && m_onSignal) m_onSignal();
}

void QuitSignals::Uninstall() {
  m_notifier.reset();
  while (m_installedCount > 0) {
    --m_installedCount;
    ::sigaction(kQuitSignals[size_t(m_installedCount)], &m_previous[size_t(m_installedCount)],
                nullptr);
  }
  // The handlers are gone, so nothing writes to the pipe any more.
  if (m_writeFd != -1) {
    g_writeFd = -1;
    ::close(m_writeFd);
    ::close(m_readFd);
    m_writeFd = m_readFd = -1;
  }
}

}  // namespace relabo
