// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/properties.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QGuiApplication>
#include <QInputEvent>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QPointer>
#include <QVBoxLayout>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "fileutil/path.h"

namespace relabo {

namespace {

/// Shows the wait cursor for as long as it lives.
class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
};

/// Keeps the time of the user's last key or button event. On X11 this is the server time, which
/// the window manager compares with the file manager's window to let it come to the front.
class UserTimeRecorder : public QObject {
 public:
  quint64 Time() const { return m_time; }

  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:  // a shortcut's action runs while this one is delivered
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
        if (const quint64 time = static_cast<const QInputEvent*>(event)->timestamp()) m_time = time;
        break;
      default:
        break;
    }
    return false;
  }

 private:
  quint64 m_time = 0;
};

QPointer<UserTimeRecorder> g_userTime;

// From the start, so that the first request has the time of the press that made it.
void InstallUserTimeRecorder() {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
  g_userTime = new UserTimeRecorder;
  g_userTime->setParent(QCoreApplication::instance());
  QCoreApplication::instance()->installEventFilter(g_userTime);
}
Q_COREAPP_STARTUP_FUNCTION(InstallUserTimeRecorder)

// The request waiting for the file manager's answer.
QPointer<QDBusPendingCallWatcher> g_pending;

QString CurrentStartupId() {
  constexpr char kTokenVariable[] = "XDG_ACTIVATION_TOKEN";
  const QString token = qEnvironmentVariable(kTokenVariable);
  const QString id = FileManagerStartupId(QGuiApplication::platformName(), LastUserInputTime(),
                                          QCoreApplication::applicationPid(),
                                          QDateTime::currentMSecsSinceEpoch(), token);
  // A token is good for one activation: handed on, it is no longer the program's.
  if (!token.isEmpty() && id == token) qunsetenv(kTokenVariable);
  return id;
}

/// The absolute path of the entry meant: a relative path is taken from the current folder, and
/// a name "." or ".." is resolved to the folder it leads to.
std::string ResolvedTarget(const std::string& path) {
  std::string absolute = path;
  if (absolute.empty() || absolute.front() != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd)) absolute = JoinPath(cwd, path);
  }
  const std::string name = NamePart(absolute);
  if (name != ".." && name != ".") return absolute;
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(absolute.c_str(), nullptr),
                                                   &std::free);
  return real ? std::string(real.get()) : absolute;
}

QString Display(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

QString TimeText(const timespec& time) {
  const qint64 ms = qint64(time.tv_sec) * 1000 + time.tv_nsec / 1000000;
  return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString SizeText(qint64 size) {
  const QLocale locale;
  if (size == 1) return QStringLiteral("1 byte");
  const QString bytes = QStringLiteral("%1 bytes").arg(locale.toString(size));
  if (size < 1024) return bytes;
  return QStringLiteral("%1 (%2)").arg(bytes, locale.formattedDataSize(size));
}

QString UserText(uid_t uid) {
  std::vector<char> buffer(16384);
  passwd entry;
  passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
    return QStringLiteral("%1 (%2)").arg(QString::fromLocal8Bit(found->pw_name)).arg(uid);
  return QString::number(uid);
}

QString GroupText(gid_t gid) {
  std::vector<char> buffer(16384);
  group entry;
  group* found = nullptr;
  if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
    return QStringLiteral("%1 (%2)").arg(QString::fromLocal8Bit(found->gr_name)).arg(gid);
  return QString::number(gid);
}

QString TypeText(const std::string& path, mode_t mode) {
  QMimeDatabase database;
  QMimeType type;
  if (S_ISREG(mode)) {
    // By name only, like the list's icons: reading a file's contents could be slow.
    type = database.mimeTypeForFile(Display(path), QMimeDatabase::MatchExtension);
  } else {
    const char* name = S_ISDIR(mode)    ? "inode/directory"
                       : S_ISLNK(mode)  ? "inode/symlink"
                       : S_ISCHR(mode)  ? "inode/chardevice"
                       : S_ISBLK(mode)  ? "inode/blockdevice"
                       : S_ISFIFO(mode) ? "inode/fifo"
                                        : "inode/socket";
    type = database.mimeTypeForName(QString::fromLatin1(name));
  }
  if (!type.isValid()) return QString();
  return type.comment().isEmpty() ? type.name()
                                  : QStringLiteral("%1 (%2)").arg(type.comment(), type.name());
}

std::string LinkTarget(const std::string& path) {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0) return std::string();
    if (size_t(n) < buffer.size()) return std::string(buffer.data(), size_t(n));
    buffer.resize(buffer.size() * 2);
  }
}

void AddRow(QFormLayout* form, const QString& label, const char* key, const QString& value) {
  auto* text = new QLabel(value);
  text->setObjectName(QString::fromLatin1(key));
  text->setTextFormat(Qt::PlainText);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  form->addRow(label, text);
}

}  // namespace

QString FileUri(const std::string& path) {
  const QByteArray encoded = QByteArray::fromStdString(path).toPercentEncoding("/");
  return QStringLiteral("file://") + QString::fromLatin1(encoded);
}

std::string PermissionText(unsigned mode) {
  std::string text = S_ISDIR(mode)    ? "d"
                     : S_ISLNK(mode)  ? "l"
                     : S_ISCHR(mode)  ? "c"
                     : S_ISBLK(mode)  ? "b"
                     : S_ISFIFO(mode) ? "p"
                     : S_ISSOCK(mode) ? "s"
                                      : "-";
  const auto triad = [&](unsigned bits, bool special, char set, char setOnly) {
    text += bits & 4 ? 'r' : '-';
    text += bits & 2 ? 'w' : '-';
    text += special ? (bits & 1 ? set : setOnly) : (bits & 1 ? 'x' : '-');
  };
  triad((mode >> 6) & 7, mode & S_ISUID, 's', 'S');
  triad((mode >> 3) & 7, mode & S_ISGID, 's', 'S');
  triad(mode & 7, mode & S_ISVTX, 't', 'T');
  return text;
}

QString FileManagerStartupId(const QString& platform, quint64 userTime, qint64 pid, qint64 nowMs,
                             const QString& activationToken) {
  if (platform == QLatin1String("xcb") && userTime != 0) {
    return QStringLiteral("relabo-%1-%2_TIME%3").arg(pid).arg(nowMs).arg(userTime);
  }
  return activationToken;
}

quint64 LastUserInputTime() { return g_userTime ? g_userTime->Time() : 0; }

bool ItemPropertiesPending() { return !g_pending.isNull(); }

QDialog* ShowPropertiesDialog(const std::string& path, QWidget* window) {
  const std::string target = ResolvedTarget(path);
  struct stat st;
  if (::lstat(target.c_str(), &st) != 0) return nullptr;

  std::string name = NamePart(target);
  std::string folder = target.substr(0, target.size() - name.size());
  if (folder.size() > 1) folder.pop_back();  // the separator, except for the root itself
  if (name.empty()) name = target;

  auto* dialog = new QDialog(window);
  dialog->setObjectName(QStringLiteral("PropertiesDialog"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(QStringLiteral("Properties of %1").arg(Display(name)));

  auto* form = new QFormLayout;
  AddRow(form, QStringLiteral("Name:"), "name", Display(name));
  AddRow(form, QStringLiteral("Folder:"), "folder", Display(folder));
  AddRow(form, QStringLiteral("Type:"), "type", TypeText(target, st.st_mode));
  if (S_ISLNK(st.st_mode))
    AddRow(form, QStringLiteral("Link to:"), "link", Display(LinkTarget(target)));
  if (!S_ISDIR(st.st_mode)) AddRow(form, QStringLiteral("Size:"), "size", SizeText(st.st_size));
  AddRow(form, QStringLiteral("Modified:"), "modified", TimeText(st.st_mtim));
  AddRow(form, QStringLiteral("Accessed:"), "accessed", TimeText(st.st_atim));
  AddRow(form, QStringLiteral("Changed:"), "changed", TimeText(st.st_ctim));
  char octal[8];
  std::snprintf(octal, sizeof octal, "%04o", unsigned(st.st_mode & 07777));
  AddRow(form, QStringLiteral("Permissions:"), "permissions",
         QStringLiteral("%1 (%2)").arg(QString::fromStdString(PermissionText(st.st_mode)),
                                       QString::fromLatin1(octal)));
  AddRow(form, QStringLiteral("Owner:"), "owner", UserText(st.st_uid));
  AddRow(form, QStringLiteral("Group:"), "group", GroupText(st.st_gid));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
  auto* layout = new QVBoxLayout(dialog);
  layout->addLayout(form);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  dialog->show();
  return dialog;
}

void ShowItemProperties(const std::string& path, QWidget* window) {
  ShowItemProperties(path, window, QDBusConnection::sessionBus());
}

void ShowItemProperties(const std::string& path, QWidget* window, const QDBusConnection& bus) {
  // Presses while the file manager has not answered would each open a window later on.
  if (g_pending) return;
  // Shared with the reply handler, so the cursor comes back when the handler goes, on every path.
  auto cursor = std::make_shared<WaitCursor>();
  const std::string target = ResolvedTarget(path);
  if (!bus.isConnected()) {
    ShowPropertiesDialog(target, window);
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.FileManager1"),
      QStringLiteral("/org/freedesktop/FileManager1"),
      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItemProperties"));
  call << QStringList{FileUri(target)} << CurrentStartupId();
  // Owned by the window: if the window goes first, the watcher and the handler go with it.
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kFileManagerTimeoutMs), window);
  g_pending = watcher;
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                   [cursor, target, window](QDBusPendingCallWatcher* finished) {
                     if (g_pending == finished) g_pending.clear();
                     finished->deleteLater();
                     // No file manager, one that could not show the item, or no answer in time.
                     if (finished->isError()) ShowPropertiesDialog(target, window);
                   });
}

}  // namespace relabo
