// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <array>

class QAction;
class QObject;

namespace relabo {

/// The main window's actions, in the order of its action list.
enum class ActionId : int {
  InsertString,
  RemoveString,
  ReplaceString,
  Extension,
  ChangeString,
  Delete,
  ChangeCase,
  Properties,
  SelectAll,
  UnselectAll,
  Exit,
  Help,
  SelectInvert,
  About,
  ChangeNumber,
  RenameFiles,
  CopyFiles,
  Execute,
  DefaultFilter,
  ChooseFilter,
  SortName,
  SortSize,
  SortDate,
  SortTime,
  SortAttribute,
  ChooseDrive,
  Switch,
  Reversed,
  UpdateFiles,
  ExpandSelection,
  ShrinkSelection,
  Preview,
  ResolveChains,
  Undo,
  UndoHistory,
  GoToFolder,
  NumericSort,
};
constexpr int kActionCount = 37;

/// One row of the action table.
struct ActionSpec {
  ActionId id;
  const char* name;      // object name ("ExecuteAction")
  const char* category;  // "Command", "File", "Selection", "Help", "Show", "Shortcut"
  const char* caption;   // with its "&" accelerator; empty for the shortcut-only actions
  const char* shortcut;  // portable key text, several separated by "; "; empty for none
  int tag;               // command index or sort column; 0 otherwise
  int image;             // index into the action images; -1 for none
  int helpContext;       // 0 for none
  const char* hint;      // tooltip; empty for none
};

extern const std::array<ActionSpec, kActionCount> kActionTable;

/// Property names under which an action keeps its table values.
inline constexpr char kCategoryProperty[] = "category";
inline constexpr char kTagProperty[] = "tag";
inline constexpr char kImageProperty[] = "imageIndex";
inline constexpr char kHelpContextProperty[] = "helpContext";

/// Number of pictures in the shared image list.
constexpr int kActionImageCount = 19;

/// The picture at an index of the shared image list (scalable); null outside 0-18.
QIcon ActionImage(int index);
/// The program's icon.
QIcon ProgramIcon();

/// Makes the action of a table row: caption, shortcuts (acting in the whole window), picture,
/// tooltip, and the category, tag, image and help context as properties. Command and sort
/// actions are checkable.
QAction* CreateAction(const ActionSpec& spec, QObject* parent);

/// The help context number kept on an object (action, menu, widget); 0 when it has none.
int HelpContextOf(const QObject* object);

}  // namespace relabo
