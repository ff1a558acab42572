// Relabo: the application, its main window and the event loop. Takes no arguments.
#include <QApplication>
#include <exception>

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
    form.show();
    result = app.exec();
  }  // the window saves the settings as it goes
  return result;
}
