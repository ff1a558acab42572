// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QAction;
class QMenu;
class QTextBrowser;

namespace relabo {

/// The name of the help file.
inline constexpr char kHelpFileName[] = "RelaboEn.html";

/// The installed help file's folder relative to the installed program's ("../share/relabo"
/// for the usual layout), as the build's install folders give it.
QString InstalledHelpFolder();

/// Where the help file is: beside the program (the build folder), else in the installed help
/// folder. The path beside the program when neither exists.
QString LocateHelpFile(const QString& programFolder);

/// The help context of a menu entry: the first nonzero number from the entry up through the
/// menus that hold it. The entry is looked for in the menus in the order given (the main menu's
/// menus first, then the context menu), submenus included; 0 when it is in none of them or no
/// number is found.
int MenuEntryHelpContext(const QAction* entry, const QList<const QMenu*>& menus);

/// The help context of a control: the first nonzero number from it up through its parents.
int WidgetHelpContext(const QWidget* widget);

/// The topic of the first command page (Insert / Add String); a page's topic is this plus its
/// command index.
inline constexpr int kCommandPageHelpContext = 10;

/// The topic F1 opens for the control that has the focus: the first number from it up through
/// its parents, where a command page and its fields stand for the page's command
/// (kCommandPageHelpContext + index). A drop-down list belongs to the control that opened it; a
/// dialog or another window is a topic of its own and takes nothing from its owner. 0 (the
/// contents) for nothing focused or a control without a number.
int HelpContextForFocus(const QWidget* focus);

/// The program's help window: the help file in a browser, opened at its top or at the topic of
/// a context number (the anchor "context-N"). A missing file is said so in the window.
class THelpWindow : public QWidget {
  Q_OBJECT

 public:
  /// A window of its own, kept above its owner.
  explicit THelpWindow(QWidget* owner = nullptr);

  const QString& HelpFile() const { return m_helpFile; }
  void SetHelpFile(const QString& path);

  /// Loads the file (again), shows the window at the top of the contents.
  void ShowContents();
  /// Shows the window at the topic of a context number; the contents for 0, and the top when
  /// the file has no such topic.
  void ShowContext(int context);

  /// The context shown last; 0 for the contents.
  int ShownContext() const { return m_shownContext; }
  /// False when the file could not be read.
  bool Loaded() const { return m_loaded; }
  QTextBrowser* Browser() const { return m_browser; }

 private:
  void Load();
  void Present();

  QTextBrowser* m_browser;
  QString m_helpFile;
  bool m_loaded = false;
  int m_shownContext = 0;
};

}  // namespace relabo
