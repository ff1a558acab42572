#pragma once

#include <QString>
#include <string>

class QDBusConnection;
class QDialog;
class QWidget;

namespace relabo {

/// Shows the properties of a file or folder: the desktop file manager's own window when one
/// answers org.freedesktop.FileManager1.ShowItemProperties on the session bus, else the
/// program's own read-only dialog. Returns at once; the wait cursor stays until the answer.
/// A path ending in ".." stands for the folder it leads to.
void ShowItemProperties(const std::string& path, QWidget* window);

/// The same over the given bus connection (the session bus above).
void ShowItemProperties(const std::string& path, QWidget* window, const QDBusConnection& bus);

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
