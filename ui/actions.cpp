// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/actions.h"

#include <QAction>
#include <QApplication>
#include <QIconEngine>
#include <QImage>
#include <QKeySequence>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QString>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <QVariant>

// Resources of a static library are registered by hand, outside any namespace.
static void InitMainFormResources() { Q_INIT_RESOURCE(main_form); }

namespace relabo {

// clang-format off
const std::array<ActionSpec, kActionCount> kActionTable = {{
  {ActionId::InsertString,    "InsertStringAction",    "Command",   "&Insert / Add String",  "Ctrl+1",    0, 11, 32, ""},
  {ActionId::RemoveString,    "RemoveStringAction",    "Command",   "&Remove String",        "Ctrl+2",    1, 12, 32, ""},
  {ActionId::ReplaceString,   "ReplaceStringAction",   "Command",   "Re&place String",       "Ctrl+3",    2, 13, 32, ""},
  {ActionId::Extension,       "ExtensionAction",       "File",      "&Extension",            "F7",        0, -1, 30, ""},
  {ActionId::ChangeString,    "ChangeStringAction",    "Command",   "C&hange String",        "Ctrl+4",    3, 14, 32, ""},
  {ActionId::Delete,          "DeleteAction",          "File",      "&Delete",               "F8",        0, -1, 30, ""},
  {ActionId::ChangeCase,      "ChangeCaseAction",      "Command",   "Change &Case",          "Ctrl+5",    4, 15,  0, ""},
  {ActionId::Properties,      "PropertiesAction",      "File",      "&Properties",           "Alt+Return; Alt+Enter", 0, -1, 30, ""},
  {ActionId::SelectAll,       "SelectAllAction",       "Selection", "Select &All",           "Ctrl+A",    0,  5, 31, "Select all"},
  {ActionId::UnselectAll,     "UnselectAllAction",     "Selection", "U&nselect All",         "Ctrl+U",    0,  6, 31, "Unselect all"},
  {ActionId::Exit,            "ExitAction",            "File",      "E&xit",                 "",          0,  1, 30, ""},
  {ActionId::Help,            "HelpAction",            "Help",      "Help",                  "F1",        0,  2, 34, ""},
  {ActionId::SelectInvert,    "SelectInvertAction",    "Selection", "&Invert Selection",     "",          0,  7, 31, "Invert selection"},
  {ActionId::About,           "AboutAction",           "Help",      "About",                 "",          0,  3, 34, ""},
  {ActionId::ChangeNumber,    "ChangeNumberAction",    "Command",   "Change &Number",        "Ctrl+6",    5, 16, 32, ""},
  {ActionId::RenameFiles,     "RenameFilesAction",     "Command",   "R&ename Files",         "Ctrl+7",    6, 17, 32, ""},
  {ActionId::CopyFiles,       "CopyFilesAction",       "Command",   "C&opy File",            "Ctrl+8",    7, 18, 32, ""},
  {ActionId::Execute,         "ExecuteAction",         "Command",   "&Execute",              "F9",        0,  0, 32, "Execute"},
  {ActionId::DefaultFilter,   "DefaultFilterAction",   "Show",      "&All files",            "Ctrl+F10",  0, -1, 33, ""},
  {ActionId::ChooseFilter,    "ChooseFilterAction",    "Show",      "&Filter...",            "Ctrl+F12",  0, -1, 33, ""},
  {ActionId::SortName,        "SortNameAction",        "Show",      "File &Name",            "Ctrl+F1",   0, -1, 33, ""},
  {ActionId::SortSize,        "SortSizeAction",        "Show",      "&Size",                 "Ctrl+F2",   1, -1, 33, ""},
  {ActionId::SortDate,        "SortDateAction",        "Show",      "&Date",                 "Ctrl+F3",   2, -1, 33, ""},
  {ActionId::SortTime,        "SortTimeAction",        "Show",      "&Time",                 "Ctrl+F4",   3, -1, 33, ""},
  {ActionId::SortAttribute,   "SortAttributeAction",   "Show",      "&Attribute",            "Ctrl+F5",   4, -1, 33, ""},
  {ActionId::ChooseDrive,     "ChooseDriveAction",     "Shortcut",  "",                      "Alt+F1",    0, -1,  0, ""},
  {ActionId::Switch,          "SwitchAction",          "Shortcut",  "",                      "Esc",       0, -1,  0, ""},
  {ActionId::Reversed,        "ReversedAction",        "Show",      "&Reversed Order",       "Ctrl+R",    0, 10, 33, ""},
  {ActionId::UpdateFiles,     "UpdateFilesAction",     "Show",      "&Update Files",         "F5",        0,  4, 33, "Update files"},
  {ActionId::ExpandSelection, "ExpandSelectionAction", "Selection", "&Expand Selection...",  "",          0,  8, 31, "Expand selection"},
  {ActionId::ShrinkSelection, "ShrinkSelectionAction", "Selection", "S&hrink Selection...",  "",          0,  9, 31, "Shrink selection"},
  {ActionId::Preview,         "PreviewAction",         "Show",      "&Preview",              "Ctrl+P",    0, -1, 33, ""},
  {ActionId::ResolveChains,   "ResolveChainsAction",   "Command",   "Resol&ve Conflicts in Order", "",    0, -1, 32, ""},
  {ActionId::Undo,            "UndoAction",            "Command",   "&Undo",                 "Ctrl+Z",    0, -1, 32, ""},
  {ActionId::UndoHistory,     "UndoHistoryAction",     "Command",   "Undo Hi&story...",      "",          0, -1, 32, ""},
  {ActionId::GoToFolder,      "GoToFolderAction",      "File",      "&Go to Folder...",      "Ctrl+L",    0, -1, 30, ""},
  {ActionId::NumericSort,     "NumericSortAction",     "Show",      "Numbers by &Value",     "",          0, -1, 33, ""},
}};
// clang-format on

namespace {

constexpr std::array<const char*, kActionImageCount> kImageFiles = {
    "00-execute",
    "01-exit",
    "02-help",
    "03-about",
    "04-update",
    "05-select-all",
    "06-unselect-all",
    "07-invert-selection",
    "08-expand-selection",
    "09-shrink-selection",
    "10-reversed",
    "11-insert-string",
    "12-remove-string",
    "13-replace-string",
    "14-change-string",
    "15-change-case",
    "16-change-number",
    "17-rename-files",
    "18-copy-files",
};

bool IsCheckable(const ActionSpec& spec) {
  switch (spec.id) {
    case ActionId::InsertString:
    case ActionId::RemoveString:
    case ActionId::ReplaceString:
    case ActionId::ChangeString:
    case ActionId::ChangeCase:
    case ActionId::ChangeNumber:
    case ActionId::RenameFiles:
    case ActionId::CopyFiles:
    case ActionId::SortName:
    case ActionId::SortSize:
    case ActionId::SortDate:
    case ActionId::SortTime:
    case ActionId::SortAttribute:
    case ActionId::Reversed:
    case ActionId::NumericSort:
    case ActionId::Preview:
    case ActionId::ResolveChains:
      return true;
    default:
      return false;
  }
}

void InitResources() {
  static const bool done = (InitMainFormResources(), true);
  (void)done;
}

// Draws an SVG picture at whatever size is asked, without the image plugins a machine may lack.
class SvgIconEngine : public QIconEngine {
 public:
  explicit SvgIconEngine(const QString& path) : m_path(path) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    QPixmap image = pixmap(rect.size() * ratio, mode, state);
    image.setDevicePixelRatio(ratio);
    painter->drawPixmap(rect, image);
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State /*state*/) override {
    if (size.isEmpty()) return QPixmap();
    const QString key = QStringLiteral("relabo:%1:%2x%3:%4")
                            .arg(m_path)
                            .arg(size.width())
                            .arg(size.height())
                            .arg(int(mode));
    QPixmap cached;
    if (QPixmapCache::find(key, &cached)) return cached;
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QSvgRenderer renderer(m_path);
      QPainter painter(&image);
      renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    QPixmap result = QPixmap::fromImage(image);
    if (mode != QIcon::Normal && qobject_cast<QApplication*>(QCoreApplication::instance())) {
      QStyleOption option;
      option.palette = QApplication::palette();
      result = QApplication::style()->generatedIconPixmap(mode, result, &option);
    }
    QPixmapCache::insert(key, result);
    return result;
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
  QIconEngine* clone() const override { return new SvgIconEngine(m_path); }
  QString key() const override { return QStringLiteral("relabo-svg"); }

 private:
  QString m_path;
};

QIcon SvgIcon(const QString& path) {
  InitResources();
  return QIcon(new SvgIconEngine(path));
}

}  // namespace

QIcon ActionImage(int index) {
  if (index < 0 || index >= kActionImageCount) return QIcon();
  return SvgIcon(QStringLiteral(":/relabo/main/actions/%1.svg")
                     .arg(QLatin1String(kImageFiles[size_t(index)])));
}

QIcon ProgramIcon() { return SvgIcon(QStringLiteral(":/relabo/main/org.corvelsoft.Relabo.svg")); }

QAction* CreateAction(const ActionSpec& spec, QObject* parent) {
  auto* action = new QAction(QString::fromUtf8(spec.caption), parent);
  action->setObjectName(QString::fromLatin1(spec.name));
  if (*spec.shortcut) {
    action->setShortcuts(QKeySequence::listFromString(QString::fromLatin1(spec.shortcut)));
    action->setShortcutContext(Qt::WindowShortcut);
  }
  if (spec.image >= 0) action->setIcon(ActionImage(spec.image));
  if (*spec.hint) action->setToolTip(QString::fromUtf8(spec.hint));
  action->setCheckable(IsCheckable(spec));
  action->setProperty(kCategoryProperty, QString::fromLatin1(spec.category));
  action->setProperty(kTagProperty, spec.tag);
  action->setProperty(kImageProperty, spec.image);
  action->setProperty(kHelpContextProperty, spec.helpContext);
  return action;
}

int HelpContextOf(const QObject* object) {
  return object ? object->property(kHelpContextProperty).toInt() : 0;
}

}  // namespace relabo
