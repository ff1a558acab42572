// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QSize>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/transform.h"
#include "fileutil/error.h"

class QSettings;

namespace relabo {

/// The user's settings file: named string values in sections. A section is a group path such
/// as "History/FileFilter". Every value is stored as text, also numbers.
///
/// The whole file is read once, when the store is made, so every value is found however its
/// section is spelled: "Separator" of "Pages/ChangeCase" is "ChangeCase\Separator=" under
/// "[Pages]" (as this store writes it) or "Separator=" under "[Pages\ChangeCase]" (a backslash
/// in a section name separates path levels, as "/" does). Both spellings name one value, and a
/// save writes it once, under "[Pages]".
class SettingsStore {
 public:
  /// The settings of organisation "Corvelsoft", application "Relabo" in the native format:
  /// $XDG_CONFIG_HOME/Corvelsoft/Relabo.conf.
  SettingsStore();
  /// The settings in the given file (same syntax).
  explicit SettingsStore(const QString& fileName);
  ~SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  QString FileName() const;

  /// The stored text, or defaultValue when the value or its section is missing. Throws Error
  /// "Invalid data type for '%s'" (the value name) when the value is not a plain text (a list,
  /// a typed "@Variant" or "@ByteArray" value).
  std::string ReadString(std::string_view section, std::string_view name,
                         const std::string& defaultValue) const;
  /// The stored text read as a decimal integer; defaultValue when the value is missing or its
  /// text is not an integer. Throws like ReadString.
  int32_t ReadInteger(std::string_view section, std::string_view name, int32_t defaultValue) const;
  /// True when the value is stored, of whatever type.
  bool Contains(std::string_view section, std::string_view name) const;
  /// A path stored by WritePath, byte for byte. Throws like ReadString.
  std::string ReadPath(std::string_view section, std::string_view name,
                       const std::string& defaultValue) const;

  /// Stores a text; the file is written by Sync. Texts are stored as UTF-8, so bytes that are
  /// not valid UTF-8 would come back as U+FFFD: paths go through WritePath. The first write of
  /// a store makes the file's folder and throws Error "Failed to create key %s" (the section)
  /// when it cannot.
  void WriteString(std::string_view section, std::string_view name, std::string_view value);
  /// Stores the number's decimal text.
  void WriteInteger(std::string_view section, std::string_view name, int32_t value);
  /// Stores a path (bytes) so that it reads back unchanged. A path that is valid UTF-8 is
  /// stored as its text, like WriteString. Any other (a folder name in another encoding) is
  /// stored as a file URL with every byte but the ASCII letters, digits, "-._~" and "/"
  /// percent-encoded: "/tmp/caf\xE9" as "file:///tmp/caf%E9". A stored text beginning with
  /// "file://" reads as such a URL, so a path beginning with "file://" is stored as one too.
  void WritePath(std::string_view section, std::string_view name, std::string_view path);
  /// Writes the stored values to the file. Throws Error "Failed to set data for '%s'" with the
  /// name of the first value written since the last Sync when the file was not written.
  void Sync();

 private:
  void ReadAll();
  // The stored text; nothing when the value is missing; throws for a value of another type.
  std::optional<QString> StoredText(std::string_view section, std::string_view name) const;
  void PrepareWrite(std::string_view section, std::string_view name);

  std::unique_ptr<QSettings> m_settings;
  // Every value of the file by its key ("Pages/ChangeCase/Separator"), as read when the store
  // was made and changed by the writes since.
  QHash<QString, QVariant> m_values;
  bool m_folderChecked = false;
  // The first value not yet written to the file; the one a failed Sync names.
  std::optional<std::string> m_firstPendingName;
};

/// What LoadSettings and SaveSettings need of the main window.
struct SettingsTarget {
  virtual ~SettingsTarget() = default;

  /// The window frame's left and top edges on the screen.
  virtual int32_t WindowLeft() const = 0;
  virtual int32_t WindowTop() const = 0;
  virtual void SetWindowLeft(int32_t left) = 0;
  virtual void SetWindowTop(int32_t top) = 0;
  /// The window's width and height (its frame excluded). SetWindowSize makes it that large,
  /// or its design size where a value is smaller (0 when none is stored).
  virtual int32_t WindowWidth() const = 0;
  virtual int32_t WindowHeight() const = 0;
  virtual void SetWindowSize(int32_t width, int32_t height) = 0;
  /// Told whether the window was placed at the default position (no position stored), so it
  /// can centre itself again once its frame is known.
  virtual void SetDefaultPlacement(bool /*centred*/) {}
  /// The sizes that centre the window when no position is stored: the screen's and the
  /// window frame's.
  virtual QSize ScreenSize() const = 0;
  virtual QSize WindowSize() const = 0;

  /// The file list's filter patterns.
  virtual std::string Mask() const = 0;
  virtual void SetMask(const std::string& mask) = 0;
  /// The file list's folder.
  virtual std::string Directory() const = 0;
  /// Opens a folder in the file list; throws Error when it cannot be read.
  virtual void GoToPath(const std::string& path) = 0;
  /// Shows in the drive selector the volume that holds the folder, without the selector's
  /// change notification (which would open the volume's top folder).
  virtual void SetDriveQuietly(const std::string& folder) = 0;
  /// The file list's sort column (0 name, 1 size, 2 date, 3 time, 4 attributes) and order
  /// (0 ascending, 1 descending).
  virtual int SortBy() const = 0;
  virtual int SortOrder() const = 0;
  /// Sets both on the file list and shows them: the column's header mark, the Show menu
  /// check and the Reversed Order check.
  virtual void SetSort(int sortBy, int sortOrder) = 0;
  /// The name sort takes runs of digits by their value; the setter shows it in the Show menu.
  virtual bool NumericSort() const = 0;
  virtual void SetNumericSort(bool numeric) = 0;

  /// The folder of the program file; QCoreApplication::applicationDirPath() unless overridden.
  virtual std::string ProgramFolder() const;
  /// The user's home folder ($HOME, else the user database's); overridable for tests.
  virtual std::string HomeFolder() const;

  /// The mask histories, most recent first.
  virtual std::vector<std::string>& FilterHistory() = 0;
  virtual std::vector<std::string>& ExpandHistory() = 0;
  virtual std::vector<std::string>& ShrinkHistory() = 0;
  /// The folders typed into Go to Folder, most recent first.
  virtual std::vector<std::string>& GoToHistory() = 0;

  /// The values of the command page fields.
  virtual CommandParameters Parameters() const = 0;
  /// Sets every command page field. Number fields clamp the values to their ranges. The two
  /// choice groups get -1 (no choice) up to their last choice and the two scheme lists -1
  /// (no selection) up to 5.
  virtual void SetParameters(const CommandParameters& params) = 0;
  /// The text of the Copy Files number field as it stands ("007", or empty).
  virtual std::string CopyNumberText() const = 0;
  /// Shows the Remove String position field exactly when its "position" choice is selected.
  virtual void RemoveFromClick() = 0;
  /// The current command (0-7).
  virtual int ActivePage() const = 0;
  virtual void SelectCommand(int index) = 0;
  /// The preview column of the new names, shown or not.
  virtual bool ShowPreview() const = 0;
  virtual void SetShowPreview(bool show) = 0;
  /// Whether batches order chained renames and break cycles.
  virtual bool ResolveChains() const = 0;
  virtual void SetResolveChains(bool resolve) = 0;
};

/// Reads every setting into the window; call it once the window is built. A stored folder that
/// is gone or cannot be opened gives the program's folder; a command, sort column or order
/// outside its set reads as missing. A value of another type reads as missing too, and the
/// reading goes on: every other value is in effect. Returns the first error met (such a value,
/// or the program's folder that cannot be opened either) for the caller to show once.
[[nodiscard]] /// Where the program opens when no folder is stored or the stored one is gone: its own folder
/// when that lies inside the home folder (a build the user made), else the home folder (an
/// installed program never opens a system folder). The program's folder when there is no home.
std::string DefaultStartFolder(const std::string& programFolder, const std::string& homeFolder);

std::optional<Error> LoadSettings(SettingsStore& store, SettingsTarget& target);

/// Writes every setting of the window and syncs the store; call it before the window goes.
/// Values the writing does not touch (history items beyond a count) stay in the file.
void SaveSettings(SettingsStore& store, SettingsTarget& target);

}  // namespace relabo
