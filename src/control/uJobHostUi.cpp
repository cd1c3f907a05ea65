#include "control/uJobHostUi.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "editors/uFlsJobEdtr.h"
#include "editors/uForm_EditJob.h"
#include "editors/uImgJobEdtr.h"
#include "editors/uJobEditor.h"
#include "editors/uTxtJobEdtr.h"
#include "platform/TWebBrowser.h"
#include "pub/uGlobalParm.h"
#include "pub/uMossError.h"
#include "pub/uRunVars.h"
#include "ui/Unit_Msg.h"
#include "ui/uForm_main.h"

void TJobHostUi::TipMsg(const std::string &Msg, const std::string &SecMsg, int Kind) { GLBL_TipMsg(Msg, SecMsg, Kind); }

bool TJobHostUi::MsgBox(const std::string &Text, int Kind) { return GLBL_MsgBox(MainForm, Text, Kind); }

bool TJobHostUi::EditWindowShowing() { return Form_EditJob && Form_EditJob->isVisible(); }

bool TJobHostUi::EditWindowClosing() { return Form_EditJob && Form_EditJob->InFormClose; }

TJobRec *TJobHostUi::EditJob() { return ::EditJob.get(); }

void TJobHostUi::EditWindowToFront() {
  if (Form_EditJob) Form_EditJob->Frm_ToFront();
}

void TJobHostUi::PressEditCancel() {
  if (Form_EditJob) Form_EditJob->Btn_Cancel->click();
}

void TJobHostUi::ChooseEditor(uint8_t Kind) {
  if (Kind < 2)
    CurEditor = JE_Txt;
  else if (Kind < 4)
    CurEditor = JE_Img;
  else if (Kind == jkFlash)
    CurEditor = JE_Fls;
  else
    CurEditor = nullptr;
}

void TJobHostUi::StartEditor(const PJobRec &Job) {
  if (!CurEditor) throw EMossError("No editor for this kind of job");
  CurEditor->EJob_Start(Job);
}

// Only the text editors show their page in the web engine. It is made
// ready once the request's reply has gone back to the browser. The engine's
// first start holds the program longer than the edit window's timer: then
// only its module is loaded here, and the engine starts when the window has
// been drawn.
void TJobHostUi::WarmUp(uint8_t Kind) {
  if (!Form_EditJob || Kind >= 2) return;
  QTimer::singleShot(0, Form_EditJob, [] {
    if (!Form_EditJob) return;
    if (TWebEngineBrowser::EngineRunning())
      Form_EditJob->WB_Preview->Warm();
    else
      TWebEngineBrowser::LoadEngine();
  });
}

void TJobHostUi::RememberForeground() { PrevFgWnd = QApplication::activeWindow(); }

bool TJobHostUi::StartFailed() { return InitFailed; }

int32_t TJobHostUi::NextJobId() { return ++GParm.iTot_Job_Cnt; }

bool TJobHostUi::TipOnComplete() { return GParm.bMsg_Cmplt; }

TDownLimits TJobHostUi::DownLimits() {
  TDownLimits L;
  L.PerHost = GParm.iDown_PerHost;
  L.PerJob = GParm.iDown_PerJob;
  return L;
}
