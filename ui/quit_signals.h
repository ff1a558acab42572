// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <signal.h>

#include <array>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace relabo {

/// Turns SIGTERM, SIGHUP and SIGINT (a logout, a closed terminal, Ctrl+C) into a call on the
/// event loop, so that the program can end the normal way and save its settings. The handler
/// only writes the signal's number into a pipe, which a socket notifier reads. One object at a
/// time; when it goes, the three signals get back the handlers they had.
class QuitSignals {
 public:
  /// Calls onSignal on the event loop of the calling thread after one of the signals arrived
  /// (once for the signals that arrived since the last call). When the pipe or a handler
  /// cannot be set up the signals keep their handlers and Installed() is false.
  explicit QuitSignals(std::function<void()> onSignal);
  ~QuitSignals();
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

  bool Installed() const { return m_notifier != nullptr; }

 private:
  void Drain();
  void Uninstall();

  std::function<void()> m_onSignal;
  int m_readFd = -1;
  int m_writeFd = -1;
  // The handlers the signals had; the first m_installedCount signals have ours.
  std::array<struct sigaction, 3> m_previous{};
  int m_installedCount = 0;
  std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace relabo
