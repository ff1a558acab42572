// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QUrl>

class QLabel;
class QPushButton;

namespace relabo {

/// The address the About box invites comments to.
inline constexpr char kContactAddress[] = "relabo@corvelsoft.example";

/// The About box: the program's icon, name and version, a line on what it does, and a note
/// that opens a mail to the author when clicked. Enter and Esc close it.
class TAboutForm : public QDialog {
  Q_OBJECT

 public:
  /// Laid out in its font and centred over the owner's frame (rounded toward zero), not shown.
  explicit TAboutForm(QWidget* owner = nullptr);

  QLabel* ApplicationTitle() const { return m_applicationTitle; }
  QLabel* AboutInfo() const { return m_aboutInfo; }
  QPushButton* OkBtn() const { return m_okBtn; }
  /// The link a click on the note opens.
  static QUrl MailLink();

  /// Opens a link; by default QDesktopServices::openUrl. Tests replace it.
  static void SetLinkOpener(bool (*opener)(const QUrl&));

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* m_appImage;
  QLabel* m_applicationTitle;
  QLabel* m_secondLine;
  QLabel* m_aboutInfo;
  QPushButton* m_okBtn;
};

/// Shows the About box modally over owner.
void ShowAboutBox(QWidget* owner);

}  // namespace relabo
