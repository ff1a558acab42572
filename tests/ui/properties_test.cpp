// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/properties.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDialog>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QTest>
#include <cstdlib>
#include <map>
#include <memory>

#include "tests/support/test_dir.h"
#include "tests/ui/qt_print.h"

namespace relabo {
namespace {

using relabo::test::TestDir;

constexpr std::time_t kJan2 = 1704164645;  // 2024-01-02 03:04:05 UTC

QString Field(QDialog* dialog, const char* key) {
  auto* label = dialog->findChild<QLabel*>(QString::fromLatin1(key));
  return label ? label->text() : QStringLiteral("<none>");
}

TEST(PermissionTextTest, Table) {
  struct Case {
    const char* name;
    unsigned mode;
    const char* expected;
  };
  const Case cases[] = {
      {"plain file", S_IFREG | 0644, "-rw-r--r--"},
      {"folder", S_IFDIR | 0755, "drwxr-xr-x"},
      {"link", S_IFLNK | 0777, "lrwxrwxrwx"},
      {"nothing allowed", S_IFREG | 0, "----------"},
      {"set-user-id with x", S_IFREG | 04755, "-rwsr-xr-x"},
      {"set-user-id without x", S_IFREG | 04644, "-rwSr--r--"},
      {"set-group-id", S_IFDIR | 02770, "drwxrws---"},
      {"sticky with x", S_IFDIR | 01777, "drwxrwxrwt"},
      {"sticky without x", S_IFDIR | 01776, "drwxrwxrwT"},
      {"fifo", S_IFIFO | 0600, "prw-------"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PermissionText(c.mode), c.expected);
  }
}

TEST(FileUriTest, Table) {
  struct Case {
    const char* name;
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {"plain", "/home/u/a.txt", "file:///home/u/a.txt"},
      {"space and non-ASCII", "/tmp/a b é.txt", "file:///tmp/a%20b%20%C3%A9.txt"},
      {"byte that is not UTF-8 is kept", "/tmp/bad\xff", "file:///tmp/bad%FF"},
      {"percent, hash and question mark", "/x/100%#?.txt", "file:///x/100%25%23%3F.txt"},
      {"root", "/", "file:///"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FileUri(c.path), QString::fromLatin1(c.expected));
  }
}

TEST(PropertiesDialogTest, Fields) {
  TestDir dir;
  dir.CreateFile("docs/notes.txt", std::string(1234, 'x'), kJan2, 0640);
  dir.CreateFile("docs/tiny.bin", "x", kJan2);
  dir.CreateFolder("docs/sub");
  dir.CreateSymlink("docs/link", "notes.txt");
  const QString docs = QString::fromStdString(dir.Path("docs"));
  const QString root = QString::fromStdString(dir.Root());
  const QString uid = QString::number(::getuid());

  struct Case {
    const char* name;
    std::string path;
    std::map<std::string, QString> fields;  // "<none>" for a row that must not be there
  };
  const Case cases[] = {
      {"file",
       dir.Path("docs/notes.txt"),
       {{"name", "notes.txt"},
        {"folder", docs},
        {"type", "plain text document (text/plain)"},
        {"size", "1,234 bytes (1.21 KiB)"},
        {"modified", "2024-01-02 03:04:05"},
        {"permissions", "-rw-r----- (0640)"},
        {"link", "<none>"}}},
      {"one byte", dir.Path("docs/tiny.bin"), {{"size", "1 byte"}}},
      {"folder",
       dir.Path("docs/sub"),
       {{"name", "sub"},
        {"folder", docs},
        {"type", "folder (inode/directory)"},
        {"size", "<none>"}}},
      {"symbolic link is shown itself, not its target",
       dir.Path("docs/link"),
       {{"name", "link"}, {"link", "notes.txt"}, {"permissions", "lrwxrwxrwx (0777)"}}},
      {"parent entry is the folder it leads to",
       dir.Path("docs/sub/.."),
       {{"name", "docs"}, {"folder", root}, {"type", "folder (inode/directory)"}}},
      {"the root folder", "/", {{"name", "/"}, {"folder", "/"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QDialog* dialog = ShowPropertiesDialog(c.path, nullptr);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    EXPECT_TRUE(dialog->testAttribute(Qt::WA_DeleteOnClose));
    for (const auto& [key, value] : c.fields) EXPECT_EQ(Field(dialog, key.c_str()), value) << key;
    EXPECT_TRUE(Field(dialog, "owner").contains(uid));
    delete dialog;
  }
}

TEST(PropertiesDialogTest, NothingForAnEntryThatIsGone) {
  TestDir dir;
  EXPECT_EQ(ShowPropertiesDialog(dir.Path("gone.txt"), nullptr), nullptr);
}

// Stands in for the desktop's file manager on a private bus.
class FakeFileManager : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

 public:
  QStringList received;
  QString startupId;
  int calls = 0;
  bool fail = false;
  // Set to leave the calls unanswered (a file manager that hangs); the last one is kept.
  bool hold = false;
  QDBusMessage held;

 public Q_SLOTS:
  void ShowItemProperties(const QStringList& uris, const QString& startup) {
    received = uris;
    startupId = startup;
    ++calls;
    if (hold) {
      setDelayedReply(true);
      held = message();
    } else if (fail) {
      sendErrorReply(QDBusError::Failed, QStringLiteral("cannot show"));
    }
  }
};

bool CursorRestored() {
  return QTest::qWaitFor([] { return QGuiApplication::overrideCursor() == nullptr; }, 10000);
}

class PropertiesBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string config = m_dir.CreateFile(
        "bus.conf",
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig><type>session</type><listen>unix:tmpdir=" +
            m_dir.Root() +
            "</listen><auth>EXTERNAL</auth>"
            "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
            "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    // No service folders in the configuration: a real file manager can never be started.
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + QString::fromStdString(config),
                    QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    ASSERT_TRUE(m_daemon.waitForStarted()) << "dbus-daemon is needed (Debian package dbus-daemon)";
    ASSERT_TRUE(m_daemon.waitForReadyRead(10000));
    const QString address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    m_client = QDBusConnection::connectToBus(address, QStringLiteral("relabo-test-client"));
    m_service = QDBusConnection::connectToBus(address, QStringLiteral("relabo-test-service"));
    ASSERT_TRUE(m_client.isConnected() && m_service.isConnected()) << address.toStdString();
  }

  void TearDown() override {
    QDBusConnection::disconnectFromBus(QStringLiteral("relabo-test-client"));
    QDBusConnection::disconnectFromBus(QStringLiteral("relabo-test-service"));
    m_daemon.kill();
    m_daemon.waitForFinished();
  }

  void RegisterFileManager() {
    ASSERT_TRUE(m_service.registerObject(QStringLiteral("/org/freedesktop/FileManager1"),
                                         &m_fileManager, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(m_service.registerService(QStringLiteral("org.freedesktop.FileManager1")));
  }

  TestDir m_dir;
  QProcess m_daemon;
  QDBusConnection m_client{QString()};
  QDBusConnection m_service{QString()};
  FakeFileManager m_fileManager;
};

TEST_F(PropertiesBusTest, TheFileManagerGetsTheUriAndNoDialogAppears) {
  RegisterFileManager();
  m_dir.CreateFile("docs/a b é.txt");
  m_dir.CreateFolder("docs/sub");
  const std::string docs = m_dir.Path("docs");
  struct Case {
    const char* name;
    std::string path;
    std::string uriPath;
  };
  const Case cases[] = {
      {"file with a space and a non-ASCII letter", docs + "/a b é.txt", docs + "/a b é.txt"},
      {"parent entry", docs + "/sub/..", docs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QWidget window;
    m_fileManager.received.clear();
    ShowItemProperties(c.path, &window, m_client);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_TRUE(CursorRestored());
    EXPECT_EQ(m_fileManager.received, QStringList{FileUri(c.uriPath)});
    QTest::qWait(50);
    EXPECT_EQ(window.findChild<QDialog*>(QStringLiteral("PropertiesDialog")), nullptr);
  }
}

TEST_F(PropertiesBusTest, OwnDialogWhenNoFileManagerShowsTheItem) {
  enum class Setup { kErrorReply, kNoFileManager, kNotConnected };
  struct Case {
    const char* name;
    Setup setup;
  };
  const Case cases[] = {
      {"the file manager answers with an error", Setup::kErrorReply},
      {"no file manager on the bus", Setup::kNoFileManager},
      {"no connection to a bus", Setup::kNotConnected},
  };
  const std::string file = m_dir.CreateFile("report.txt", "abc");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QDBusConnection bus = m_client;
    m_service.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
    m_service.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
    m_fileManager.fail = c.setup == Setup::kErrorReply;
    if (c.setup == Setup::kErrorReply) RegisterFileManager();
    if (c.setup == Setup::kNotConnected) bus = QDBusConnection(QStringLiteral("relabo-no-bus"));

    QWidget window;
    ShowItemProperties(file, &window, bus);
    EXPECT_TRUE(CursorRestored());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window.findChild<QDialog*>(QStringLiteral("PropertiesDialog")); }, 10000));
    QDialog* dialog = window.findChild<QDialog*>(QStringLiteral("PropertiesDialog"));
    EXPECT_EQ(Field(dialog, "name"), QStringLiteral("report.txt"));
  }
}

TEST(PropertiesWithoutBusTest, OwnDialogWhenThereIsNoSessionBus) {
  // The test main points the session bus at a socket that does not exist.
  TestDir dir;
  const std::string file = dir.CreateFile("report.txt", "abc");
  QWidget window;
  ShowItemProperties(file, &window);
  // Nothing to wait for.
  EXPECT_NE(window.findChild<QDialog*>(QStringLiteral("PropertiesDialog")), nullptr);
  EXPECT_FALSE(ItemPropertiesPending());
  EXPECT_TRUE(CursorRestored());
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return window.findChild<QDialog*>(QStringLiteral("PropertiesDialog")); }, 10000));
}

// Sets an environment variable for one test, restoring it when the test ends.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = std::make_unique<std::string>(old);
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (m_old) {
      ::setenv(m_name, m_old->c_str(), 1);
    } else {
      ::unsetenv(m_name);
    }
  }

 private:
  const char* m_name;
  std::unique_ptr<std::string> m_old;
};

TEST(FileManagerStartupIdTest, Table) {
  struct Case {
    const char* name;
    const char* platform;
    quint64 userTime;
    const char* token;
    const char* expected;
  };
  const Case cases[] = {
      {"X11 with the time of the press", "xcb", 123456789, "",
       "relabo-4321-1700000000000_TIME123456789"},
      {"X11: the time wins over a token", "xcb", 77, "tok", "relabo-4321-1700000000000_TIME77"},
      {"X11 without a time: the token", "xcb", 0, "tok", "tok"},
      {"X11 with neither: empty, never _TIME0", "xcb", 0, "", ""},
      {"Wayland: the token", "wayland", 0, "wl-token", "wl-token"},
      {"Wayland: an event time is no X time", "wayland", 5000, "", ""},
      {"another platform", "offscreen", 5000, "tok", "tok"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FileManagerStartupId(QString::fromLatin1(c.platform), c.userTime, 4321, 1700000000000,
                                   QString::fromLatin1(c.token)),
              QString::fromLatin1(c.expected));
  }
}

TEST(LastUserInputTimeTest, TheTimeOfTheLastKeyOrButtonEvent) {
  QWidget widget;
  const auto send = [&](QInputEvent&& event, quint64 time) {
    event.setTimestamp(time);
    QApplication::sendEvent(&widget, &event);
  };
  send(QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::AltModifier), 4242);
  EXPECT_EQ(LastUserInputTime(), 4242u);
  send(QMouseEvent(QEvent::MouseButtonRelease, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton,
                   Qt::NoButton, Qt::NoModifier),
       5000);
  EXPECT_EQ(LastUserInputTime(), 5000u);
  // A pointer that only moves is no request of the user's, and an event without a time keeps it.
  send(QMouseEvent(QEvent::MouseMove, QPointF(2, 2), QPointF(2, 2), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier),
       6000);
  send(QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier), 0);
  EXPECT_EQ(LastUserInputTime(), 5000u);
}

TEST_F(PropertiesBusTest, TheActivationTokenIsHandedToTheFileManagerOnce) {
  RegisterFileManager();
  const ScopedEnv token("XDG_ACTIVATION_TOKEN", "token-from-the-launcher");
  const std::string file = m_dir.CreateFile("report.txt", "abc");
  const char* expected[] = {"token-from-the-launcher", ""};
  for (const char* id : expected) {
    SCOPED_TRACE(id);
    QWidget window;
    m_fileManager.startupId = QStringLiteral("<no call>");
    ShowItemProperties(file, &window, m_client);
    ASSERT_TRUE(QTest::qWaitFor([] { return !ItemPropertiesPending(); }, 10000));
    EXPECT_EQ(m_fileManager.startupId, QString::fromLatin1(id));
  }
  EXPECT_EQ(std::getenv("XDG_ACTIVATION_TOKEN"), nullptr);
}

TEST_F(PropertiesBusTest, PressesWhileTheFileManagerHasNotAnsweredStartNoOtherCall) {
  RegisterFileManager();
  m_fileManager.hold = true;
  const std::string file = m_dir.CreateFile("report.txt", "abc");
  QWidget window;
  for (int press = 0; press < 4; ++press) {
    ShowItemProperties(file, &window, m_client);
    QTest::qWait(50);
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return m_fileManager.calls > 0; }, 2000));
  QTest::qWait(100);
  EXPECT_EQ(m_fileManager.calls, 1);
  EXPECT_TRUE(ItemPropertiesPending());
  // One wait cursor, not one a press.
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  QGuiApplication::restoreOverrideCursor();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);

  ASSERT_TRUE(m_service.send(m_fileManager.held.createReply()));
  ASSERT_TRUE(QTest::qWaitFor([] { return !ItemPropertiesPending(); }, 2000));
  EXPECT_TRUE(CursorRestored());
  QTest::qWait(50);
  EXPECT_EQ(window.findChild<QDialog*>(QStringLiteral("PropertiesDialog")), nullptr);

  // Once answered, the next press asks again.
  ShowItemProperties(file, &window, m_client);
  EXPECT_TRUE(QTest::qWaitFor([&] { return m_fileManager.calls == 2; }, 2000));
  ASSERT_TRUE(m_service.send(m_fileManager.held.createReply()));
  EXPECT_TRUE(QTest::qWaitFor([] { return !ItemPropertiesPending(); }, 2000));
}

TEST_F(PropertiesBusTest, OwnDialogWhenTheFileManagerDoesNotAnswerInTime) {
  RegisterFileManager();
  m_fileManager.hold = true;
  const std::string file = m_dir.CreateFile("report.txt", "abc");
  QWidget window;
  QElapsedTimer clock;
  clock.start();
  ShowItemProperties(file, &window, m_client);
  const auto dialog = [&] {
    return window.findChild<QDialog*>(QStringLiteral("PropertiesDialog"));
  };
  // Waiting for the answer, not giving up at once.
  QTest::qWait(300);
  EXPECT_EQ(dialog(), nullptr);
  EXPECT_TRUE(ItemPropertiesPending());
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog() != nullptr; }, kFileManagerTimeoutMs + 5000));
  EXPECT_LT(clock.elapsed(), kFileManagerTimeoutMs + 2000);
  EXPECT_EQ(Field(dialog(), "name"), QStringLiteral("report.txt"));
  EXPECT_FALSE(ItemPropertiesPending());
  EXPECT_TRUE(CursorRestored());
  EXPECT_EQ(m_fileManager.calls, 1);
}

TEST_F(PropertiesBusTest, AWindowClosedWhileWaitingEndsTheWait) {
  RegisterFileManager();
  m_fileManager.hold = true;
  const std::string file = m_dir.CreateFile("report.txt", "abc");
  {
    QWidget window;
    ShowItemProperties(file, &window, m_client);
    EXPECT_TRUE(ItemPropertiesPending());
  }
  EXPECT_FALSE(ItemPropertiesPending());
  EXPECT_TRUE(CursorRestored());
  // A later request is made, not dropped.
  QWidget window;
  ShowItemProperties(file, &window, m_client);
  EXPECT_TRUE(QTest::qWaitFor([&] { return m_fileManager.calls == 2; }, 2000));
  ASSERT_TRUE(m_service.send(m_fileManager.held.createReply()));
  EXPECT_TRUE(QTest::qWaitFor([] { return !ItemPropertiesPending(); }, 2000));
}

}  // namespace
}  // namespace relabo

#include "properties_test.moc"
