#include "control/uIEMenuUi.h"

#include <QAction>
#include <QWidget>

#include "control/uIEMenu.h"
#include "platform/TRegistryStore.h"
#include "platform/TUrlCache.h"
#include "pub/Unit_Log.h"
#include "pub/uRunVars.h"
#include "ui/Unit_Msg.h"

void MItm_RegMenuClick(QWidget *Owner) {
  if (!GLBL_MsgBox(Owner, "This will Register IE menu items, continue?", MbYesNo)) return;
  try {
    TRegistryStore Reg = TRegistryStore::CurrentUser();
    RegIEMenu(PrgDir, Reg);
    GLBL_MsgBox(Owner, "Register succeeds!", MbInfo);
  } catch (const std::exception &E) {
    GLBL_MsgBox(Owner, E.what(), MbError);
    Log::ErrFmt("RegstIE btn error, for %s", {E.what()}, false);
  }
}

void MItm_ClrCacheClick(QWidget *Owner) {
  if (!GLBL_MsgBox(Owner, "This will clear IE cache, continue?", MbYesNo)) return;
  ClrIECache(TUrlCache::Default());
  GLBL_MsgBox(Owner, "Cleared!", MbInfo);
}

void ConnectBrowserMenuItems(QWidget *MainWindow) {
  if (!MainWindow) return;
  if (auto *A = MainWindow->findChild<QAction *>(QStringLiteral("MItm_RegMenu")))
    QObject::connect(A, &QAction::triggered, MainWindow, [MainWindow] { MItm_RegMenuClick(MainWindow); });
  if (auto *A = MainWindow->findChild<QAction *>(QStringLiteral("MItm_ClrCache")))
    QObject::connect(A, &QAction::triggered, MainWindow, [MainWindow] { MItm_ClrCacheClick(MainWindow); });
}
