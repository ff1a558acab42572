// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/error_box.h"

#include <QApplication>
#include <QMessageBox>

namespace relabo {

namespace {
ErrorBoxHook& Hook() {
  static ErrorBoxHook hook;
  return hook;
}
}  // namespace

void SetErrorBoxHook(ErrorBoxHook hook) { Hook() = std::move(hook); }

void ShowErrorBox(QWidget* parent, const QString& message) {
  if (Hook()) {
    Hook()(message);
    return;
  }
  const QString title = QApplication::applicationName().isEmpty() ? QStringLiteral("Relabo")
                                                                  : QApplication::applicationName();
  QMessageBox::critical(parent, title, message);
}

void ShowErrorBox(QWidget* parent, const std::exception& error) {
  ShowErrorBox(parent, QString::fromUtf8(error.what()));
}

}  // namespace relabo
