// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>
#include <string>

class QDBusConnection;
class QDialog;
class QWidget;

namespace relabo {

/// How long the file manager has to answer before the program's own dialog is shown.
inline constexpr int kFileManagerTimeoutMs = 3000;

/// Shows the properties of a file or folder: the desktop file manager's own window when one
/// answers org.freedesktop.FileManager1.ShowItemProperties on the session bus within
/// kFileManagerTimeoutMs, else the program's own read-only dialog. Returns at once; the wait
/// cursor stays until the answer. While a request waits for its answer, further requests do
/// nothing. A path ending in ".." stands for the folder it leads to.
void ShowItemProperties(const std::string& path, QWidget* window);

/// The same over the given bus connection (the session bus above).
void ShowItemProperties(const std::string& path, QWidget* window, const QDBusConnection& bus);

/// True while a request of ShowItemProperties waits for the file manager's answer.
bool ItemPropertiesPending();

/// The timestamp of the user's last key or button event (on X11 the X server time); 0 before
/// the first.
quint64 LastUserInputTime();

/// The startup id handed to the file manager, so that the desktop lets its window come to the
/// front: on X11 (platform "xcb") "relabo-<pid>-<nowMs>_TIME<userTime>", userTime being the X
/// server time of the key press or click that asked; elsewhere, or with no such time, the
/// activation token the program was started with (Wayland); empty when there is neither.
QString FileManagerStartupId(const QString& platform, quint64 userTime, qint64 pid, qint64 nowMs,
                             const QString& activationToken);

/// Opens the program's own read-only properties dialog of path, non-modal over window and
/// deleted when closed; nullptr when the entry cannot be read.
QDialog* ShowPropertiesDialog(const std::string& path, QWidget* window);

/// The "file://" URI of an absolute path; every byte outside the unreserved characters and "/"
/// is percent-encoded, so names that are not UTF-8 keep their bytes.
QString FileUri(const std::string& path);

/// A stat mode as "ls -l" writes it: "drwxr-xr-x", with s/S and t/T for the set-id and sticky
/// bits.
std::string PermissionText(unsigned mode);

}  // namespace relabo
