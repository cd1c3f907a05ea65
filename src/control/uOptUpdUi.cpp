#include "control/uOptUpdUi.h"

#include <QAction>
#include <cstdio>

#include "control/Unit_MPC.h"
#include "editors/uForm_EditJob.h"
#include "pub/uGlobalParm.h"
#include "pub/uRunVars.h"
#include "pub/uTempFile.h"
#include "ui/Unit_PubWnd.h"
#include "ui/uForm_main.h"

TOptFields OptFieldsOf(TGlobalParm &P) {
  return {{"bFlAtRenam", &P.bFlAtRenam},
          {"bMsg_Cmplt", &P.bMsg_Cmplt},
          {"sDir_Def", &P.sDir_Def},
          {"sDir_Def_Txt", &P.sDir_Def_Txt},
          {"sDir_Def_Img", &P.sDir_Def_Img},
          {"sDir_Def_Fls", &P.sDir_Def_Fls},
          {"SrcTextFmt", &P.SrcTextFmt},
          {"bTxt_Atch_Image", &P.bTxt_Atch_Image},
          {"bTxt_Rmv_Scrp", &P.bTxt_Rmv_Scrp},
          {"bTxt_ExItem_Url", &P.bTxt_ExItem_Url},
          {"bTxt_ExItem_Time", &P.bTxt_ExItem_Time},
          {"Img_Flt_Siz", &P.Img_Flt_Siz},
          {"Img_Flt_Typ", &P.Img_Flt_Typ},
          {"bImg_Sort_Siz_Des", &P.bImg_Sort_Siz_Des},
          {"Img_Sel_Kind", &P.Img_Sel_Kind},
          {"bImg_Flt_IgnTiny", &P.bImg_Flt_IgnTiny},
          {"bImg_Flt_IgnBar", &P.bImg_Flt_IgnBar},
          {"bFls_Sort_Des", &P.bFls_Sort_Des},
          {"Fls_Sel_Kind", &P.Fls_Sel_Kind},
          {"iChkCyc", &P.iChkCyc},
          {"sUpdHost", &P.sUpdHost},
          {"bImg_LazyScroll", &P.bImg_LazyScroll},
          {"iDown_PerHost", &P.iDown_PerHost},
          {"iDown_PerJob", &P.iDown_PerJob},
          {"bTrayIcon", &P.bTrayIcon}};
}

TUpdEnv UpdEnvOf(TGlobalParm &P) {
  TUpdEnv E;
  E.ChkCyc = &P.iChkCyc;
  E.ChkDate = &P.dChkDate;
  E.Host = &P.sUpdHost;
  E.Version = AppVersion;
  // The name stays taken while the worker downloads into it, so that a
  // preview made meanwhile gets another one.
  E.GetTempFile = [] {
    std::string F = MPC.GetTempFile();
    HoldTempFile(F);
    return F;
  };
  E.FreeTempFile = [](const std::string &F) {
    ReleaseTempFile(F);
    std::remove(F.c_str());
  };
  E.EditWindowShowing = [] { return Form_EditJob && Form_EditJob->isVisible(); };
  return E;
}

void ConnectOptionsAndUpdates(TMainForm &Main, TForm_Option &Opt, TForm_ChkUpd &Upd) {
  Opt.SetFields(OptFieldsOf(GParm));
  Upd.SetEnv(UpdEnvOf(GParm));
  Main.MItm_Option->setEnabled(true);
  QObject::connect(Main.MItm_Option, &QAction::triggered, &Opt, [&Opt] { Wnd_ToFront(&Opt); });
  QObject::connect(&Opt, &QDialog::accepted, &Main, [&Main] { Main.UpdTray(); });
  Main.MItm_ChkUpd->setEnabled(true);
  QObject::connect(Main.MItm_ChkUpd, &QAction::triggered, &Upd, [&Upd] { Upd.ChkUpd(); });
  QObject::connect(&Main, &TMainForm::AutoChkUpdDue, &Upd, &TForm_ChkUpd::AutoChkUpd);
}
