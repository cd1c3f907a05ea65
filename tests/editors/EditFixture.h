#pragma once
// The job controller, the edit window and the text editor as the program
// has them, with a window side that answers like the real one.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <memory>

#include "editors/uForm_EditJob.h"
#include "editors/uTxtJobEdtr.h"
#include "jobs/Unit_JobCntl.h"
#include "platform/TMainThread.h"
#include "pub/Unit_Log.h"
#include "pub/uGlobalParm.h"
#include "pub/uRunVars.h"
#include "support/TQtSupport.h"
#include "support/TSnapshotBuilder.h"
#include "support/TestSupport.h"

struct TTip {
  std::string Msg, Sec;
  int Kind;
};

class TEditHost : public TJobHost {
 public:
  std::vector<TTip> Tips;
  void TipMsg(const std::string &Msg, const std::string &SecMsg, int Kind) override { Tips.push_back({Msg, SecMsg, Kind}); }
  bool MsgBox(const std::string &, int) override { return true; }
  bool StartFailed() override { return InitFailed; }
  int32_t NextJobId() override { return ++GParm.iTot_Job_Cnt; }
  bool TipOnComplete() override { return GParm.bMsg_Cmplt; }
  bool EditWindowShowing() override { return Form_EditJob && Form_EditJob->isVisible(); }
  bool EditWindowClosing() override { return Form_EditJob && Form_EditJob->InFormClose; }
  TJobRec *EditJob() override { return ::EditJob.get(); }
  void EditWindowToFront() override {
    if (Form_EditJob) Form_EditJob->Frm_ToFront();
  }
  void PressEditCancel() override {
    if (Form_EditJob) Form_EditJob->Btn_Cancel->click();
  }
  void ChooseEditor(uint8_t Kind) override { CurEditor = Kind < 2 ? static_cast<TJobEditor *>(JE_Txt) : nullptr; }
  void StartEditor(const PJobRec &Job) override {
    if (!CurEditor) throw EMossError("No editor for this kind of job");
    CurEditor->EJob_Start(Job);
  }
  void RememberForeground() override {}
};

struct EditFixture : ::testing::Test {
  TTempDir Dir;
  TLogger Log{Dir.File("log.txt")};
  TEditHost Host;
  std::unique_ptr<TJobCtrl> Ctrl;
  std::unique_ptr<TTxtJobEdtr> Txt;

  void SetUp() override;
  void TearDown() override;
  // A request, opened in the edit window at once.
  PJobRec Open(uint8_t PickCode, const TSnapshotBuilder &Page);
  // Save pressed; true when the window closed and the job went on.
  bool Save();
  bool WaitSaved(const PJobRec &Job);
  std::string LogText();
  std::string PreviewText();
};
