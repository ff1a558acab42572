// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <utility>

class QWidget;

namespace relabo {

/// Shows a message in the application's one error box: a critical message box over parent.
void ShowErrorBox(QWidget* parent, const QString& message);
/// The same with an exception's what().
void ShowErrorBox(QWidget* parent, const std::exception& error);

/// Receives the messages instead of the box while set (tests); an empty hook restores the box.
using ErrorBoxHook = std::function<void(const QString& message)>;
void SetErrorBoxHook(ErrorBoxHook hook);

/// Runs a handler; an exception escaping it ends it and is shown in the error box, so the
/// window stays usable. Returns false when the handler failed.
template <typename Handler>
bool RunGuarded(QWidget* parent, Handler&& handler) {
  try {
    std::forward<Handler>(handler)();
    return true;
  } catch (const std::exception& error) {
    ShowErrorBox(parent, error);
  } catch (...) {
    ShowErrorBox(parent, QStringLiteral("Unknown error"));
  }
  return false;
}

}  // namespace relabo
