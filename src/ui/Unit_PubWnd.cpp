#include "ui/Unit_PubWnd.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>
#include <QWidget>
#include <algorithm>

#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "pub/uRunVars.h"
#include "ui/Unit_Msg.h"

namespace {
std::string SelDirStart;

void RestoreApp() {
  if (!AppMinimized) return;
  for (QWidget *W : QApplication::topLevelWidgets())
    if (W->isMinimized()) W->showNormal();
  AppMinimized = false;
}
}  // namespace

void Shell_Open(const std::string &Text) {
  std::string T = Trim(Text);
  if (T.empty()) return;
  QUrl U = T.front() == '/' ? QUrl::fromLocalFile(QString::fromStdString(T)) : QUrl(QString::fromStdString(T));
  if (!QDesktopServices::openUrl(U)) {
    std::string Msg = "Error: cannot open " + T;
    GLBL_TipMsg(Msg, "Pud 02", TipError);
    Log::Err("Pub 02: " + Msg);
  }
}

bool Sel_Directory(QWidget *Owner, const std::string &Title, const std::string &Root, std::string &Folder) {
  SelDirStart = Folder.empty() ? Root : Folder;
  Folder.clear();
  QString Dir = QFileDialog::getExistingDirectory(Owner, QString::fromStdString(Title), QString::fromStdString(SelDirStart),
                                                  QFileDialog::ShowDirsOnly);
  if (Dir.isEmpty()) return false;
  Folder = Dir.toStdString();
  return true;
}

void Wnd_TopMost(QWidget *W) {
  RestoreApp();
  if (!W) return;
  W->show();
  W->raise();
}

void Wnd_ToFront(QWidget *W) {
  RestoreApp();
  if (!W) return;
  if (W->isMinimized()) W->showNormal();
  W->show();
  W->raise();
  W->activateWindow();
}

bool Wnd_OthersShown(std::initializer_list<const QWidget *> Except) {
  for (QWidget *W : QApplication::topLevelWidgets()) {
    if (!W->isVisible() || std::find(Except.begin(), Except.end(), W) != Except.end()) continue;
    switch (W->windowType()) {
      case Qt::Window:
      case Qt::Dialog:
      case Qt::Sheet:
      case Qt::Drawer:
      case Qt::Tool:
        return true;
      default:
        break;
    }
  }
  return false;
}

void Wnd_ForceFront(QWidget *W) {
  Wnd_TopMost(W);
  Wnd_ToFront(W);
}

void Pub_TellFriend() { Shell_Open(std::string("mailto:?subject=Mossgather%20saves%20web%20pages%20-%20") + HomePageUrl); }

void Pub_VisitWebSite() { Shell_Open(UsePageUrl); }
