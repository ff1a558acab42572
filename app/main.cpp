// SPDX-License-Identifier: GPL-3.0-or-later
// Relabo: the application, its main window and the event loop. Takes a folder, or files to
// mark in their folder (what a file manager hands over with "Open With").
#include <QApplication>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "fileutil/path.h"
#include "fileutil/start_paths.h"
#include "ui/actions.h"
#include "ui/error_box.h"
#include "ui/main_form.h"
#include "ui/quit_signals.h"

namespace {

// An error that escapes any event handler is shown in the error box; the program goes on.
class TApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
      relabo::ShowErrorBox(activeWindow(), error);
    } catch (...) {
      relabo::ShowErrorBox(activeWindow(), QStringLiteral("Unknown error"));
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  // Read before the toolkit starts: --help and --version need no display.
  const relabo::CommandLine line = relabo::ParseCommandLine({argv + 1, argv + argc});
  if (!line.run) {
    std::fputs(line.output.c_str(), stdout);
    std::fputs(line.error.c_str(), stderr);
    return line.exitCode;
  }
  // Relative paths start in the folder the program was started in.
  const std::string base = relabo::WorkingFolder();
  const relabo::StartPaths start = relabo::ResolveStartPaths(line.paths, base.empty() ? "/" : base);

  QApplication::setOrganizationName(QStringLiteral("Corvelsoft"));
  QApplication::setApplicationName(QStringLiteral("Relabo"));
  QApplication::setApplicationVersion(QStringLiteral("2.2"));
  QGuiApplication::setDesktopFileName(QStringLiteral("org.corvelsoft.Relabo"));
  TApplication app(argc, argv);
  QApplication::setWindowIcon(relabo::ProgramIcon());

  int result = 0;
  {
    relabo::TMainForm form;
    // A logout, a closed terminal or Ctrl+C closes the window as its close box does, so that
    // the settings are saved.
    const relabo::QuitSignals quitSignals([&form] { form.close(); });
    // Given paths win over the stored folder for this run.
    if (!line.paths.empty()) form.PrepareStartFolder(start);
    form.show();
    if (!line.paths.empty()) form.OpenStartPaths(start);
    result = app.exec();
  }  // the window saves the settings as it goes
  return result;
}
