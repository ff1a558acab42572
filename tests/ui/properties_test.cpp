#include "ui/properties.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <map>

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
  bool fail = false;

 public Q_SLOTS:
  void ShowItemProperties(const QStringList& uris, const QString& /*startupId*/) {
    received = uris;
    if (fail) sendErrorReply(QDBusError::Failed, QStringLiteral("cannot show"));
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
  EXPECT_TRUE(CursorRestored());
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return window.findChild<QDialog*>(QStringLiteral("PropertiesDialog")); }, 10000));
}

}  // namespace
}  // namespace relabo

#include "properties_test.moc"
