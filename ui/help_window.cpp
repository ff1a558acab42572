// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/help_window.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/actions.h"
#include "ui/command_pages.h"

namespace relabo {

namespace {

// The chain of menus from a root down to the one holding the entry, or empty.
bool FindEntry(const QAction* entry, const QMenu* menu, QList<const QMenu*>& chain) {
  chain.push_back(menu);
  const QList<QAction*> actions = menu->actions();
  for (const QAction* action : actions) {
    if (action == entry) return true;
  }
  for (const QAction* action : actions) {
    if (const QMenu* sub = action->menu(); sub && FindEntry(entry, sub, chain)) return true;
  }
  chain.pop_back();
  return false;
}

}  // namespace

QString InstalledHelpFolder() { return QStringLiteral(RELABO_HELP_FROM_PROGRAM); }

QString LocateHelpFile(const QString& programFolder) {
  const QDir folder(programFolder);
  const QString beside = folder.filePath(QLatin1String(kHelpFileName));
  if (QFileInfo::exists(beside)) return beside;
  const QString installed = folder.filePath(InstalledHelpFolder() + QLatin1Char('/') +
                                            QLatin1String(kHelpFileName));
  if (QFileInfo::exists(installed)) return QDir::cleanPath(installed);
  return beside;
}

int MenuEntryHelpContext(const QAction* entry, const QList<const QMenu*>& menus) {
  if (!entry) return 0;
  for (const QMenu* root : menus) {
    QList<const QMenu*> chain;
    if (!root || !FindEntry(entry, root, chain)) continue;
    if (const int own = HelpContextOf(entry)) return own;
    for (auto menu = chain.crbegin(); menu != chain.crend(); ++menu) {
      if (const int context = HelpContextOf(*menu)) return context;
      if (const int context = HelpContextOf((*menu)->menuAction())) return context;
    }
    return 0;
  }
  return 0;
}

int WidgetHelpContext(const QWidget* widget) {
  for (; widget; widget = widget->parentWidget()) {
    if (const int context = HelpContextOf(widget)) return context;
  }
  return 0;
}

int HelpContextForFocus(const QWidget* focus) {
  for (const QWidget* widget = focus; widget; widget = widget->parentWidget()) {
    // The notebook's own number follows its current page only when the window sets it, so the
    // page itself decides.
    if (const auto* pages = qobject_cast<const TCommandPages*>(widget)) {
      if (pages->currentIndex() >= 0) return kCommandPageHelpContext + pages->currentIndex();
    }
    if (const int context = HelpContextOf(widget)) return context;
    if (const auto* pages = qobject_cast<const TCommandPages*>(widget->parentWidget())) {
      if (const int index = pages->indexOf(widget); index >= 0)
        return kCommandPageHelpContext + index;
    }
    // A drop-down list is a popup window of its control; a dialog takes nothing from its owner.
    if (widget->isWindow() && widget->windowType() != Qt::Popup) break;
  }
  return 0;
}

THelpWindow::THelpWindow(QWidget* owner) : QWidget(owner, Qt::Window), m_browser(new QTextBrowser) {
  setObjectName(QStringLiteral("HelpWindow"));
  setWindowTitle(QStringLiteral("Relabo Help"));
  m_browser->setOpenExternalLinks(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_browser);
  resize(640, 560);
}

void THelpWindow::SetHelpFile(const QString& path) {
  if (path == m_helpFile) return;
  m_helpFile = path;
  m_loaded = false;
}

void THelpWindow::Load() {
  // Read afresh on every request, so that an edited or newly installed file is shown.
  m_loaded = !m_helpFile.isEmpty() && QFileInfo(m_helpFile).isReadable();
  if (m_loaded) {
    m_browser->setSearchPaths({QFileInfo(m_helpFile).absolutePath()});
    m_browser->setSource(QUrl());
    m_browser->setSource(QUrl::fromLocalFile(m_helpFile));
    m_loaded = !m_browser->document()->isEmpty();
  }
  if (!m_loaded) {
    m_browser->setHtml(
        QStringLiteral("<h2>Help is missing</h2><p>The help file <b>%1</b> was not found or "
                       "cannot be read.</p>")
            .arg(m_helpFile.toHtmlEscaped()));
  }
}

void THelpWindow::Present() {
  show();
  raise();
  activateWindow();
}

void THelpWindow::ShowContents() {
  Load();
  m_shownContext = 0;
  m_browser->verticalScrollBar()->setValue(0);
  Present();
}

void THelpWindow::ShowContext(int context) {
  if (context == 0) {
    ShowContents();
    return;
  }
  Load();
  m_shownContext = context;
  m_browser->verticalScrollBar()->setValue(0);
  if (m_loaded) m_browser->scrollToAnchor(QStringLiteral("context-%1").arg(context));
  Present();
}

}  // namespace relabo
