// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/quit_signals.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QObject>
#include <QString>
#include <QTest>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "filelist/file_list_box.h"
#include "tests/support/test_dir.h"
#include "tests/ui/qt_print.h"
#include "ui/error_box.h"
#include "ui/main_form.h"
#include "ui/settings.h"

namespace relabo {
namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGHUP, SIGINT};
constexpr int kWaitMs = 5000;

TEST(QuitSignalsTest, EachSignalCallsBackOnTheEventLoop) {
  for (const int signal : kSignals) {
    SCOPED_TRACE(::strsignal(signal));
    int calls = 0;
    const QuitSignals quit([&calls] { ++calls; });
    ASSERT_TRUE(quit.Installed());
    ASSERT_EQ(::raise(signal), 0);
    ASSERT_EQ(::raise(signal), 0);
    EXPECT_EQ(calls, 0);  // the handler itself calls nothing
    EXPECT_TRUE(QTest::qWaitFor([&calls] { return calls > 0; }, kWaitMs));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);  // both signals came before the loop looked
  }
}

volatile sig_atomic_t g_seen = 0;
extern "C" void NoteSignal(int signal) { g_seen = signal; }

TEST(QuitSignalsTest, TheHandlersBeforeComeBackWhenItGoes) {
  struct sigaction own {};
  own.sa_handler = NoteSignal;
  sigemptyset(&own.sa_mask);
  std::array<struct sigaction, kSignals.size()> before{};
  for (size_t i = 0; i < kSignals.size(); ++i) {
    ASSERT_EQ(::sigaction(kSignals[i], &own, &before[i]), 0);
  }
  {
    int calls = 0;
    const QuitSignals quit([&calls] { ++calls; });
    ASSERT_TRUE(quit.Installed());
    // One at a time: the handler has a single pipe.
    EXPECT_FALSE(QuitSignals([] {}).Installed());
    ::raise(SIGTERM);
    EXPECT_EQ(g_seen, 0);
    EXPECT_TRUE(QTest::qWaitFor([&calls] { return calls > 0; }, kWaitMs));
  }
  for (const int signal : kSignals) {
    SCOPED_TRACE(::strsignal(signal));
    g_seen = 0;
    ::raise(signal);
    EXPECT_EQ(g_seen, signal);
  }
  EXPECT_TRUE(QuitSignals([] {}).Installed());  // the next one may come
  for (size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &before[i], nullptr);
}

// The main window over a folder of three files, with Insert String set to append "x".
class QuitSignalsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetErrorBoxHook([this](const QString& message) { m_errors.push_back(message); });
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
      m_dir.CreateFile(std::string("files/") + name);
    }
    SettingsStore store(File());
    store.WriteString("Folder", "Directory", m_dir.Path("files"));
    store.WriteString("Pages", "ActivePage", "0");
    store.WriteString("Pages/InsertString", "String", "x");
    store.WriteString("Pages/InsertString", "From", "0");
    store.Sync();
  }
  void TearDown() override {
    m_form.reset();
    SetErrorBoxHook(nullptr);
    EXPECT_EQ(m_errors, std::vector<QString>{});
  }

  TMainForm& MakeForm() {
    m_form = std::make_unique<TMainForm>(std::make_unique<SettingsStore>(File()));
    m_form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
    return *m_form;
  }
  QString File() const { return QString::fromStdString(m_dir.Path("Relabo.conf")); }

  test::TestDir m_dir;
  std::unique_ptr<TMainForm> m_form;
  std::vector<QString> m_errors;
};

TEST_F(QuitSignalsWindowTest, SignalClosesTheWindowAndEndsTheEventLoop) {
  struct Case {
    const char* name;
    bool dialog;  // a modal dialog of the window is open when the signal comes
  } cases[] = {{"nothing else open", false}, {"a dialog open", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMainForm& form = MakeForm();
    const QuitSignals quit([&form] { form.close(); });
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    giveUp.start(kWaitMs);
    int dialogResult = -1;
    if (c.dialog) {
      QTimer::singleShot(0, &form, [&form, &dialogResult] {
        QDialog dialog(&form);
        QTimer::singleShot(0, &dialog, [] { ::raise(SIGTERM); });
        dialogResult = dialog.exec();
      });
    } else {
      ::raise(SIGTERM);
      EXPECT_TRUE(form.isVisible());
    }
    // Only the closing of the last window ends the loop with 0, as it ends the program's.
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(dialogResult, c.dialog ? int(QDialog::Rejected) : -1);
  }
}

TEST_F(QuitSignalsWindowTest, CloseDuringABatchWaitsForItsEnd) {
  TMainForm& form = MakeForm();
  int calls = 0;
  bool enabledAtSignal = true;
  bool closedAtSignal = true;
  const QuitSignals quit([&] {
    ++calls;
    enabledAtSignal = form.isEnabled();
    closedAtSignal = form.close();
  });
  form.SelectAllFiles();
  ASSERT_EQ(form.Files()->MarkedCount(), 3);
  // Pending until the batch's progress window lets events run.
  ::raise(SIGTERM);
  form.Execute();
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(enabledAtSignal);
  EXPECT_FALSE(closedAtSignal);
  for (const char* name : {"files/ax.txt", "files/bx.txt", "files/cx.txt"}) {
    EXPECT_TRUE(m_dir.Exists(name)) << name;  // the batch went on to its end
  }
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(QTest::qWaitFor([&form] { return !form.isVisible(); }, kWaitMs));
}

// The built program, started with a private configuration folder.
class Program {
 public:
  explicit Program(const test::TestDir& home) : m_log(home.Path("log")) {
    home.CreateFolder("run", 0700);
    const std::vector<std::string> env = {
        "QT_QPA_PLATFORM=offscreen",
        "HOME=" + home.Root(),
        "XDG_CONFIG_HOME=" + home.Path("config"),
        "XDG_DATA_HOME=" + home.Path("data"),
        "XDG_RUNTIME_DIR=" + home.Path("run"),
        "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/relabo-test-bus",
        "LC_ALL=C.UTF-8",
        "TZ=UTC",
    };
    std::vector<char*> envp;
    for (const std::string& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(RELABO_PROGRAM), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, m_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (::posix_spawn(&m_pid, RELABO_PROGRAM, &actions, nullptr, argv, envp.data()) != 0) {
      m_pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Program() {
    if (m_pid > 0 && !m_ended) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool Started() const { return m_pid > 0; }

  // True once the program handles the signal itself (its SigCgt mask in /proc has it).
  bool WaitForHandler(int signal) {
    return WaitUntil([&] {
      std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
      for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) == 0) {
          const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
          return (mask >> (signal - 1) & 1) != 0;
        }
      }
      return false;
    });
  }

  // The exit status once the program ended, -1 when it is still running.
  int WaitForEnd() {
    int status = 0;
    if (!WaitUntil([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; })) return -1;
    m_ended = true;
    return status;
  }

  void Send(int signal) const { ::kill(m_pid, signal); }

  std::string Log() const {
    std::ifstream log(m_log);
    std::stringstream text;
    text << log.rdbuf();
    return text.str();
  }

 private:
  bool WaitUntil(const std::function<bool()>& done) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end || (!m_ended && Exited())) return done();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }
  bool Exited() const {
    siginfo_t info{};
    return ::waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid;
  }

  std::string m_log;
  pid_t m_pid = -1;
  bool m_ended = false;
};

TEST(QuitSignalsProgramTest, SignalEndsTheProgramWithItsSettingsSaved) {
  for (const int signal : kSignals) {
    SCOPED_TRACE(::strsignal(signal));
    const test::TestDir home;
    Program program(home);
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(program.WaitForHandler(signal)) << program.Log();
    program.Send(signal);
    const int status = program.WaitForEnd();
    ASSERT_TRUE(WIFEXITED(status)) << status << "\n" << program.Log();
    EXPECT_EQ(WEXITSTATUS(status), 0) << program.Log();
    ASSERT_TRUE(home.Exists("config/Corvelsoft/Relabo.conf")) << program.Log();
    EXPECT_NE(home.ReadFile("config/Corvelsoft/Relabo.conf").find("\nActivePage=0\n"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace relabo
