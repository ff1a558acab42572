// SPDX-License-Identifier: GPL-3.0-or-later
// The main window tests need a QApplication and a machine-independent environment.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::setenv("TZ", "UTC", 1);
  // No test may reach the machine's session bus, settings or trash.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/relabo-test-bus", 1);
  std::string home = "/tmp/relabo-mainwindow-test-XXXXXX";
  if (::mkdtemp(home.data())) {
    ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (home + "/state").c_str(), 1);
  }
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Corvelsoft"));
  QApplication::setApplicationName(QStringLiteral("Relabo"));
  const int result = RUN_ALL_TESTS();
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return result;
}
