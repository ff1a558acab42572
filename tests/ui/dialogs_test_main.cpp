// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog tests need a QApplication around every test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <cstdlib>

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // No test may reach the machine's session bus; the D-Bus tests start a private one.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/relabo-test-bus", 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  return RUN_ALL_TESTS();
}
