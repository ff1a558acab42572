#include "ui/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
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

// A value of a closed set; anything outside it counts as missing.
int32_t ReadInSet(const SettingsStore& store, std::string_view section, std::string_view name,
                  int32_t defaultValue, int32_t first, int32_t last) {
  const int32_t value = store.ReadInteger(section, name, defaultValue);
  return value >= first && value <= last ? value : defaultValue;
}

// A choice group takes an index above its last choice as the last one, below -1 as none.
int32_t ChoiceIndex(int32_t index, int32_t choices) { return std::clamp(index, -1, choices - 1); }

// A scheme list shows no selection for an index outside its items.
int32_t SchemeIndex(int32_t index) { return index >= 0 && index < kSchemeCount ? index : -1; }

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

void LoadHistory(const SettingsStore& store, std::string_view section,
                 std::vector<std::string>& history) {
  const int32_t count = std::min(store.ReadInteger(section, "Count", 1), kMaxHistoryItems);
  for (int32_t i = 0; i < count; ++i) {
    history.push_back(store.ReadString(section, std::to_string(i), "*.*"));
  }
}

void LoadPages(const SettingsStore& store, CommandParameters& p) {
  p.InsertString = store.ReadString("Pages/InsertString", "String", "");
  p.InsertFrom = store.ReadInteger("Pages/InsertString", "From", 1);

  p.RemoveFrom =
      ChoiceIndex(store.ReadInteger("Pages/RemoveString", "From", 0), kRemoveFromChoices);
  p.RemoveNumber = store.ReadInteger("Pages/RemoveString", "Number", 1);
  p.RemovePosition = store.ReadInteger("Pages/RemoveString", "Position", 1);

  p.ReplaceOrigString = store.ReadString("Pages/ReplaceString", "Original", "");
  p.ReplaceNewString = store.ReadString("Pages/ReplaceString", "New", "");

  p.ChangeString = store.ReadString("Pages/ChangeString", "String", "");
  p.ChangeFrom = store.ReadInteger("Pages/ChangeString", "From", 1);

  p.ChangeCaseMode =
      ChoiceIndex(store.ReadInteger("Pages/ChangeCase", "ChangeMode", 0), kChangeCaseChoices);
  p.ChangeCaseSeparator = store.ReadString("Pages/ChangeCase", "Separator", " ");

  p.ChangeNumberWhich = store.ReadInteger("Pages/ChangeNumber", "Which", 1);
  p.ChangeNumberPlus = store.ReadInteger("Pages/ChangeNumber", "Plus", 1);

  p.RenameName = store.ReadString("Pages/RenameFiles", "Name", "");
  p.RenameSeparator = store.ReadString("Pages/RenameFiles", "Separator", "");
  p.RenameStart = store.ReadInteger("Pages/RenameFiles", "Start", 1);
  p.RenameStep = store.ReadInteger("Pages/RenameFiles", "Step", 1);
  p.RenameDigits = store.ReadInteger("Pages/RenameFiles", "Digits", 3);
  p.RenameScheme = SchemeIndex(store.ReadInteger("Pages/RenameFiles", "Scheme", 0));

  p.CopyNumber = store.ReadInteger("Pages/CopyFiles", "Number", 1);
  p.CopySeparator = store.ReadString("Pages/CopyFiles", "Separator", "");
  p.CopyStart = store.ReadInteger("Pages/CopyFiles", "Start", 1);
  p.CopyStep = store.ReadInteger("Pages/CopyFiles", "Step", 1);
  p.CopyDigits = store.ReadInteger("Pages/CopyFiles", "Digits", 3);
  p.CopyScheme = SchemeIndex(store.ReadInteger("Pages/CopyFiles", "Scheme", 0));
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
                                             QStringLiteral("Relabo"))) {}

SettingsStore::SettingsStore(const QString& fileName)
    : m_settings(std::make_unique<QSettings>(fileName, QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::FileName() const { return m_settings->fileName(); }

std::string SettingsStore::ReadString(std::string_view section, std::string_view name,
                                      const std::string& defaultValue) const {
  const QString key = Key(section, name);
  if (!m_settings->contains(key)) return defaultValue;
  const QVariant value = m_settings->value(key);
  if (value.typeId() != QMetaType::QString) {
    throw Error(Format("Invalid data type for '%s'", name));
  }
  return value.toString().toStdString();
}

int32_t SettingsStore::ReadInteger(std::string_view section, std::string_view name,
                                   int32_t defaultValue) const {
  const QString key = Key(section, name);
  if (!m_settings->contains(key)) return defaultValue;
  const QVariant value = m_settings->value(key);
  if (value.typeId() != QMetaType::QString) {
    throw Error(Format("Invalid data type for '%s'", name));
  }
  bool ok = false;
  const int number = value.toString().toInt(&ok);
  return ok ? number : defaultValue;
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
  m_settings->setValue(Key(section, name), FromUtf8(value));
}

void SettingsStore::WriteInteger(std::string_view section, std::string_view name, int32_t value) {
  PrepareWrite(section, name);
  m_settings->setValue(Key(section, name), QString::number(value));
}

void SettingsStore::Sync() {
  m_settings->sync();
  // QSettings keeps the first status it meets. A format error comes from reading a damaged
  // file and does not stop the writing; an access error means the file was not written.
  if (m_settings->status() == QSettings::AccessError && m_firstPendingName) {
    throw Error(Format("Failed to set data for '%s'", *m_firstPendingName));
  }
  m_firstPendingName.reset();
}

std::string SettingsTarget::ProgramFolder() const {
  return QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
}

void LoadSettings(SettingsStore& store, SettingsTarget& target) {
  const QSize screen = target.ScreenSize();
  const QSize window = target.WindowSize();
  // Integer division rounds toward zero, also for a window larger than the screen.
  target.SetWindowLeft(store.ReadInteger("Window", "Left", (screen.width() - window.width()) / 2));
  target.SetWindowTop(store.ReadInteger("Window", "Top", (screen.height() - window.height()) / 2));

  target.SetMask(store.ReadString("Folder", "Filter", "*.*"));

  const std::string programFolder = WithSeparator(target.ProgramFolder());
  std::string folder = store.ReadString("Folder", "Directory", programFolder);
  if (!FolderExists(folder)) folder = programFolder;
  try {
    target.GoToPath(folder);
  } catch (const Error&) {
    // A stored folder that exists but cannot be read must not keep the rest from loading.
    if (folder == programFolder) throw;
    target.GoToPath(programFolder);
  }
  target.SetDriveQuietly(target.Directory());

  const int32_t sortOrder = ReadInSet(store, "Folder", "SortOrder", 0, 0, 1);
  int32_t sortBy = 0;
  try {
    sortBy = ReadInSet(store, "Folder", "SortBy", 0, 0, 4);
  } catch (...) {
    target.SetSort(target.SortBy(), sortOrder);
    throw;
  }
  target.SetSort(sortBy, sortOrder);

  LoadHistory(store, "History/FileFilter", target.FilterHistory());
  LoadHistory(store, "History/ExpandFilter", target.ExpandHistory());
  LoadHistory(store, "History/ShrinkFilter", target.ShrinkHistory());

  // The fields read before an error keep their stored values, the others the window's.
  CommandParameters params = target.Parameters();
  try {
    LoadPages(store, params);
  } catch (...) {
    target.SetParameters(params);
    target.RemoveFromClick();
    throw;
  }
  target.SetParameters(params);
  target.RemoveFromClick();

  target.SelectCommand(ReadInSet(store, "Pages", "ActivePage", 0, 0, kCommandCount - 1));
}

void SaveSettings(SettingsStore& store, SettingsTarget& target) {
  store.WriteInteger("Pages", "ActivePage", target.ActivePage());
  store.WriteInteger("Window", "Left", target.WindowLeft());
  store.WriteInteger("Window", "Top", target.WindowTop());
  store.WriteString("Folder", "Directory", target.Directory());
  store.WriteInteger("Folder", "SortBy", target.SortBy());
  store.WriteInteger("Folder", "SortOrder", target.SortOrder());

  const std::vector<std::string>& filter = target.FilterHistory();
  store.WriteInteger("History/FileFilter", "Count", ItemCount(filter));
  store.WriteString("Folder", "Filter", target.Mask());
  SaveHistoryItems(store, "History/FileFilter", filter);
  SaveHistory(store, "History/ExpandFilter", target.ExpandHistory());
  SaveHistory(store, "History/ShrinkFilter", target.ShrinkHistory());

  SavePages(store, target.Parameters(), target.CopyNumberText());
  store.Sync();
}

}  // namespace relabo
