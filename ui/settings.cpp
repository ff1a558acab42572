// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings.h"

#include <sys/stat.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QVariant>
#include <algorithm>

#include "fileutil/error.h"
#include "fileutil/path.h"

namespace relabo {

namespace {

// A stored count is only a number in a text file; a huge one must not read forever.
constexpr int32_t kMaxHistoryItems = 1000;
constexpr int32_t kSchemeCount = 6;
constexpr int32_t kRemoveFromChoices = 3;
constexpr int32_t kChangeCaseChoices = 4;

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Key(std::string_view section, std::string_view name) {
  return FromUtf8(section) + QLatin1Char('/') + FromUtf8(name);
}

constexpr char kPathUrlPrefix[] = "file://";

// Reads on past damaged values: one of another type reads as missing, and the first error is
// kept to be shown once everything is read.
class Reader {
 public:
  explicit Reader(const SettingsStore& store) : m_store(store) {}

  std::string String(std::string_view section, std::string_view name,
                     const std::string& defaultValue) {
    return Tolerant([&] { return m_store.ReadString(section, name, defaultValue); }, defaultValue);
  }
  std::string Path(std::string_view section, std::string_view name,
                   const std::string& defaultValue) {
    return Tolerant([&] { return m_store.ReadPath(section, name, defaultValue); }, defaultValue);
  }
  int32_t Integer(std::string_view section, std::string_view name, int32_t defaultValue) {
    return Tolerant([&] { return m_store.ReadInteger(section, name, defaultValue); }, defaultValue);
  }
  // A value of a closed set; anything outside it counts as missing.
  int32_t InSet(std::string_view section, std::string_view name, int32_t defaultValue,
                int32_t first, int32_t last) {
    const int32_t value = Integer(section, name, defaultValue);
    return value >= first && value <= last ? value : defaultValue;
  }

  void Keep(const Error& error) {
    if (!m_firstError) m_firstError = error;
  }
  const std::optional<Error>& FirstError() const { return m_firstError; }

 private:
  template <typename T, typename Read>
  T Tolerant(Read&& read, const T& defaultValue) {
    try {
      return read();
    } catch (const Error& error) {
      Keep(error);
      return defaultValue;
    }
  }

  const SettingsStore& m_store;
  std::optional<Error> m_firstError;
};

// A choice group takes an index above its last choice as the last one, below -1 as none.
int32_t ChoiceIndex(int32_t index, int32_t choices) { return std::clamp(index, -1, choices - 1); }

// A scheme list shows no selection for an index outside its items.
int32_t SchemeIndex(int32_t index) { return index >= 0 && index < kSchemeCount ? index : -1; }

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

void LoadHistory(Reader& read, std::string_view section, std::vector<std::string>& history,
                 int32_t defaultCount = 1, const std::string& defaultItem = "*.*") {
  const int32_t count = std::min(read.Integer(section, "Count", defaultCount), kMaxHistoryItems);
  for (int32_t i = 0; i < count; ++i) {
    history.push_back(read.String(section, std::to_string(i), defaultItem));
  }
}

void LoadPages(Reader& read, CommandParameters& p) {
  p.InsertString = read.String("Pages/InsertString", "String", "");
  p.InsertFrom = read.Integer("Pages/InsertString", "From", 1);

  p.RemoveFrom = ChoiceIndex(read.Integer("Pages/RemoveString", "From", 0), kRemoveFromChoices);
  p.RemoveNumber = read.Integer("Pages/RemoveString", "Number", 1);
  p.RemovePosition = read.Integer("Pages/RemoveString", "Position", 1);

  p.ReplaceOrigString = read.String("Pages/ReplaceString", "Original", "");
  p.ReplaceNewString = read.String("Pages/ReplaceString", "New", "");
  p.ReplaceRegex = read.InSet("Pages/ReplaceString", "Regex", 0, 0, 1) == 1;

  p.ChangeString = read.String("Pages/ChangeString", "String", "");
  p.ChangeFrom = read.Integer("Pages/ChangeString", "From", 1);

  p.ChangeCaseMode =
      ChoiceIndex(read.Integer("Pages/ChangeCase", "ChangeMode", 0), kChangeCaseChoices);
  p.ChangeCaseSeparator = read.String("Pages/ChangeCase", "Separator", " ");

  p.ChangeNumberWhich = read.Integer("Pages/ChangeNumber", "Which", 1);
  p.ChangeNumberPlus = read.Integer("Pages/ChangeNumber", "Plus", 1);

  p.RenameName = read.String("Pages/RenameFiles", "Name", "");
  p.RenameSeparator = read.String("Pages/RenameFiles", "Separator", "");
  p.RenameStart = read.Integer("Pages/RenameFiles", "Start", 1);
  p.RenameStep = read.Integer("Pages/RenameFiles", "Step", 1);
  p.RenameDigits = read.Integer("Pages/RenameFiles", "Digits", 3);
  p.RenameScheme = SchemeIndex(read.Integer("Pages/RenameFiles", "Scheme", 0));

  p.CopyNumber = read.Integer("Pages/CopyFiles", "Number", 1);
  p.CopySeparator = read.String("Pages/CopyFiles", "Separator", "");
  p.CopyStart = read.Integer("Pages/CopyFiles", "Start", 1);
  p.CopyStep = read.Integer("Pages/CopyFiles", "Step", 1);
  p.CopyDigits = read.Integer("Pages/CopyFiles", "Digits", 3);
  p.CopyScheme = SchemeIndex(read.Integer("Pages/CopyFiles", "Scheme", 0));
}

// Opens the stored folder, or the start folder when that one cannot be read. When the start
// folder cannot be read either, the list stays as it is and the error is kept: the rest still loads.
void OpenFolder(Reader& read, SettingsTarget& target, const std::string& folder,
                const std::string& programFolder) {
  if (folder != programFolder) {
    try {
      target.GoToPath(folder);
      return;
    } catch (const Error&) {
    }
  }
  try {
    target.GoToPath(programFolder);
  } catch (const Error& error) {
    read.Keep(error);
  }
}

bool IsUtf8(std::string_view bytes) {
  return FromUtf8(bytes).toUtf8() ==
         QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The file the name leads to, as the file system tells files apart.
struct FileIdentity {
  bool regular = false;
  dev_t device = 0;
  ino_t inode = 0;

  bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentifyFile(const QString& fileName) {
  struct stat info {};
  if (::stat(QFile::encodeName(fileName).constData(), &info) != 0) return {};
  return {S_ISREG(info.st_mode), info.st_dev, info.st_ino};
}

int32_t ItemCount(const std::vector<std::string>& history) {
  return static_cast<int32_t>(std::min<size_t>(history.size(), INT32_MAX));
}

void SaveHistoryItems(SettingsStore& store, std::string_view section,
                      const std::vector<std::string>& history) {
  const int32_t count = ItemCount(history);
  for (int32_t i = 0; i < count; ++i) store.WriteString(section, std::to_string(i), history[i]);
}

void SaveHistory(SettingsStore& store, std::string_view section,
                 const std::vector<std::string>& history) {
  store.WriteInteger(section, "Count", ItemCount(history));
  SaveHistoryItems(store, section, history);
}

void SavePages(SettingsStore& store, const CommandParameters& p, const std::string& copyNumber) {
  store.WriteString("Pages/InsertString", "String", p.InsertString);
  store.WriteInteger("Pages/InsertString", "From", p.InsertFrom);

  store.WriteInteger("Pages/RemoveString", "From", p.RemoveFrom);
  store.WriteInteger("Pages/RemoveString", "Number", p.RemoveNumber);
  store.WriteInteger("Pages/RemoveString", "Position", p.RemovePosition);

  store.WriteString("Pages/ReplaceString", "Original", p.ReplaceOrigString);
  store.WriteString("Pages/ReplaceString", "New", p.ReplaceNewString);
  store.WriteInteger("Pages/ReplaceString", "Regex", p.ReplaceRegex ? 1 : 0);

  store.WriteString("Pages/ChangeString", "String", p.ChangeString);
  store.WriteInteger("Pages/ChangeString", "From", p.ChangeFrom);

  store.WriteInteger("Pages/ChangeCase", "ChangeMode", p.ChangeCaseMode);
  store.WriteString("Pages/ChangeCase", "Separator", p.ChangeCaseSeparator);

  store.WriteInteger("Pages/ChangeNumber", "Which", p.ChangeNumberWhich);
  store.WriteInteger("Pages/ChangeNumber", "Plus", p.ChangeNumberPlus);

  store.WriteString("Pages/RenameFiles", "Name", p.RenameName);
  store.WriteString("Pages/RenameFiles", "Separator", p.RenameSeparator);
  store.WriteInteger("Pages/RenameFiles", "Start", p.RenameStart);
  store.WriteInteger("Pages/RenameFiles", "Step", p.RenameStep);
  store.WriteInteger("Pages/RenameFiles", "Digits", p.RenameDigits);
  store.WriteInteger("Pages/RenameFiles", "Scheme", p.RenameScheme);

  // The field's text as typed ("007"), not its value.
  store.WriteString("Pages/CopyFiles", "Number", copyNumber);
  store.WriteString("Pages/CopyFiles", "Separator", p.CopySeparator);
  store.WriteInteger("Pages/CopyFiles", "Start", p.CopyStart);
  store.WriteInteger("Pages/CopyFiles", "Step", p.CopyStep);
  store.WriteInteger("Pages/CopyFiles", "Digits", p.CopyDigits);
  store.WriteInteger("Pages/CopyFiles", "Scheme", p.CopyScheme);
}

}  // namespace

SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("Corvelsoft"),
                                             QStringLiteral("Relabo"))) {
  ReadAll();
}

SettingsStore::SettingsStore(const QString& fileName)
    : m_settings(std::make_unique<QSettings>(fileName, QSettings::IniFormat)) {
  ReadAll();
}

SettingsStore::~SettingsStore() = default;

void SettingsStore::ReadAll() {
  // QSettings parses a section only when it takes a key asked for to lie in it, and it picks
  // the section by sorted name: beside "[Pages\ChangeCase]", keys of "[Pages]" that sort after
  // it are missed. Asking for every key parses the whole file.
  const QStringList keys = m_settings->allKeys();
  for (const QString& key : keys) m_values.insert(key, m_settings->value(key));
}

QString SettingsStore::FileName() const { return m_settings->fileName(); }

std::optional<QString> SettingsStore::StoredText(std::string_view section,
                                                 std::string_view name) const {
  const auto found = m_values.constFind(Key(section, name));
  if (found == m_values.cend()) return std::nullopt;
  if (found->typeId() != QMetaType::QString) {
    throw Error(Format("Invalid data type for '%s'", name));
  }
  return found->toString();
}

bool SettingsStore::Contains(std::string_view section, std::string_view name) const {
  return m_values.contains(Key(section, name));
}

std::string SettingsStore::ReadString(std::string_view section, std::string_view name,
                                      const std::string& defaultValue) const {
  const std::optional<QString> text = StoredText(section, name);
  return text ? text->toStdString() : defaultValue;
}

int32_t SettingsStore::ReadInteger(std::string_view section, std::string_view name,
                                   int32_t defaultValue) const {
  const std::optional<QString> text = StoredText(section, name);
  if (!text) return defaultValue;
  bool ok = false;
  const int number = text->toInt(&ok);
  return ok ? number : defaultValue;
}

std::string SettingsStore::ReadPath(std::string_view section, std::string_view name,
                                    const std::string& defaultValue) const {
  const std::optional<QString> text = StoredText(section, name);
  if (!text) return defaultValue;
  const QLatin1String prefix(kPathUrlPrefix);
  if (!text->startsWith(prefix)) return text->toStdString();
  return QByteArray::fromPercentEncoding(text->sliced(prefix.size()).toUtf8()).toStdString();
}

void SettingsStore::PrepareWrite(std::string_view section, std::string_view name) {
  if (!m_folderChecked) {
    // Made here, not left to Sync, so that a failure names the section being written.
    const QString folder = QFileInfo(m_settings->fileName()).absolutePath();
    if (!QDir().mkpath(folder)) throw Error(Format("Failed to create key %s", section));
    m_folderChecked = true;
  }
  if (!m_firstPendingName) m_firstPendingName = std::string(name);
}

void SettingsStore::WriteString(std::string_view section, std::string_view name,
                                std::string_view value) {
  PrepareWrite(section, name);
  const QString key = Key(section, name);
  const QString text = FromUtf8(value);
  m_settings->setValue(key, text);
  m_values.insert(key, text);
}

void SettingsStore::WriteInteger(std::string_view section, std::string_view name, int32_t value) {
  WriteString(section, name, std::to_string(value));
}

void SettingsStore::WritePath(std::string_view section, std::string_view name,
                              std::string_view path) {
  if (IsUtf8(path) && !path.starts_with(kPathUrlPrefix)) {
    WriteString(section, name, path);
    return;
  }
  const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
  WriteString(section, name, kPathUrlPrefix + bytes.toPercentEncoding("/").toStdString());
}

void SettingsStore::Sync() {
  const FileIdentity before = IdentifyFile(m_settings->fileName());
  m_settings->sync();
  if (!m_firstPendingName) return;
  // QSettings keeps the first status it meets, and a format error read from a damaged file
  // hides an access error of the writing. It writes by replacing the file, so a written file
  // is one that was not there before.
  const FileIdentity after = IdentifyFile(m_settings->fileName());
  if (m_settings->status() == QSettings::AccessError || !after.regular || after == before) {
    throw Error(Format("Failed to set data for '%s'", *m_firstPendingName));
  }
  m_firstPendingName.reset();
}

std::string SettingsTarget::ProgramFolder() const {
  return QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
}

std::string SettingsTarget::HomeFolder() const { return relabo::HomeFolder(); }

std::string DefaultStartFolder(const std::string& programFolder, const std::string& homeFolder) {
  std::string home = homeFolder;
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  if (home.empty() || !FolderExists(home)) return programFolder;
  const bool inside = programFolder == home ||
                      (programFolder.size() > home.size() &&
                       programFolder.compare(0, home.size(), home) == 0 &&
                       (home == "/" || programFolder[home.size()] == '/'));
  return inside ? programFolder : home;
}

std::optional<Error> LoadSettings(SettingsStore& store, SettingsTarget& target) {
  Reader read(store);
  // The size first: the default position centres the window as large as it will be.
  target.SetWindowSize(read.Integer("Window", "Width", 0), read.Integer("Window", "Height", 0));
  const QSize screen = target.ScreenSize();
  const QSize window = target.WindowSize();
  // Integer division rounds toward zero, also for a window larger than the screen.
  target.SetWindowLeft(read.Integer("Window", "Left", (screen.width() - window.width()) / 2));
  target.SetWindowTop(read.Integer("Window", "Top", (screen.height() - window.height()) / 2));
  target.SetDefaultPlacement(!store.Contains("Window", "Left") && !store.Contains("Window", "Top"));

  target.SetMask(read.String("Folder", "Filter", "*.*"));
  // Before the folder is read, so that its entries are sorted once.
  target.SetNumericSort(read.InSet("Folder", "NumericSort", 0, 0, 1) == 1);

  const std::string startFolder =
      WithSeparator(DefaultStartFolder(target.ProgramFolder(), target.HomeFolder()));
  std::string folder = read.Path("Folder", "Directory", startFolder);
  if (!FolderExists(folder)) folder = startFolder;
  OpenFolder(read, target, folder, startFolder);
  target.SetDriveQuietly(target.Directory());

  const int32_t sortOrder = read.InSet("Folder", "SortOrder", 0, 0, 1);
  target.SetSort(read.InSet("Folder", "SortBy", 0, 0, 4), sortOrder);

  LoadHistory(read, "History/FileFilter", target.FilterHistory());
  LoadHistory(read, "History/ExpandFilter", target.ExpandHistory());
  LoadHistory(read, "History/ShrinkFilter", target.ShrinkHistory());
  LoadHistory(read, "History/GoToFolder", target.GoToHistory(), 0, "");

  CommandParameters params;
  LoadPages(read, params);
  target.SetParameters(params);
  target.RemoveFromClick();

  target.SelectCommand(read.InSet("Pages", "ActivePage", 0, 0, kCommandCount - 1));
  target.SetShowPreview(read.InSet("Show", "Preview", 1, 0, 1) == 1);
  target.SetResolveChains(read.InSet("Pages", "ResolveChains", 0, 0, 1) == 1);
  return read.FirstError();
}

void SaveSettings(SettingsStore& store, SettingsTarget& target) {
  store.WriteInteger("Pages", "ActivePage", target.ActivePage());
  store.WriteInteger("Window", "Left", target.WindowLeft());
  store.WriteInteger("Window", "Top", target.WindowTop());
  store.WriteInteger("Window", "Width", target.WindowWidth());
  store.WriteInteger("Window", "Height", target.WindowHeight());
  store.WritePath("Folder", "Directory", target.Directory());
  store.WriteInteger("Folder", "SortBy", target.SortBy());
  store.WriteInteger("Folder", "SortOrder", target.SortOrder());
  store.WriteInteger("Folder", "NumericSort", target.NumericSort() ? 1 : 0);

  const std::vector<std::string>& filter = target.FilterHistory();
  store.WriteInteger("History/FileFilter", "Count", ItemCount(filter));
  store.WriteString("Folder", "Filter", target.Mask());
  SaveHistoryItems(store, "History/FileFilter", filter);
  SaveHistory(store, "History/ExpandFilter", target.ExpandHistory());
  SaveHistory(store, "History/ShrinkFilter", target.ShrinkHistory());
  SaveHistory(store, "History/GoToFolder", target.GoToHistory());

  SavePages(store, target.Parameters(), target.CopyNumberText());
  store.WriteInteger("Show", "Preview", target.ShowPreview() ? 1 : 0);
  store.WriteInteger("Pages", "ResolveChains", target.ResolveChains() ? 1 : 0);
  store.Sync();
}

}  // namespace relabo
