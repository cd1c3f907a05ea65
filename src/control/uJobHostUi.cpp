#include "control/uJobHostUi.h"

#include <QApplication>
#include <QPushButton>

#include "editors/uForm_EditJob.h"
#include "editors/uImgJobEdtr.h"
#include "editors/uJobEditor.h"
#include "editors/uTxtJobEdtr.h"
#include "pub/uMossError.h"
#include "ui/Unit_Msg.h"
#include "ui/uForm_main.h"
#include "ui/uJobMonitor.h"

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

// The movie editor joins when it comes into the program.
void TJobHostUi::ChooseEditor(uint8_t Kind) {
  if (Kind < 2)
    CurEditor = JE_Txt;
  else if (Kind < 4)
    CurEditor = JE_Img;
  else
    CurEditor = nullptr;
}

void TJobHostUi::StartEditor(const PJobRec &Job) {
  if (!CurEditor) throw EMossError("No editor for this kind of job");
  CurEditor->EJob_Start(Job);
}

void TJobHostUi::RememberForeground() { PrevFgWnd = QApplication::activeWindow(); }

void TJobHostUi::JobChanged(const PJobRec &Job) {
  if (JobMntr) JobMntr->Run_ChgJobSta(Job);
}
