#include "editors/EditFixture.h"

#include <QPlainTextEdit>
#include <QPushButton>

#include "jobs/uDwnldThd.h"
#include "platform/TWebBrowser.h"
#include "support/TJobWait.h"

void EditFixture::SetUp() {
  SetLogger(&Log);
  ::setenv("MOSSGATHER_PRGDIR", Dir.Path().c_str(), 1);
  PrgDir = Dir.Path();
  GParm = TGlobalParm();
  GParm.sDir_Def_Txt = Dir.File("save/Text");
  InitFailed = false;
  SysState = 1;
  Ctrl = std::make_unique<TJobCtrl>(Host);
  JobCtrl = Ctrl.get();
  Txt = std::make_unique<TTxtJobEdtr>();
  if (!Form_EditJob) new TForm_EditJob();
}

void EditFixture::TearDown() {
  if (Form_EditJob->isVisible()) Form_EditJob->Btn_Cancel->click();
  Ctrl.reset();
  JobCtrl = nullptr;
  CurEditor = nullptr;
  EditJob.reset();
  Txt.reset();
  JE_Txt = nullptr;
  SetLogger(nullptr);
}

PJobRec EditFixture::Open(uint8_t PickCode, const TSnapshotBuilder &Page) {
  TPageSnapshot S = Page.Parse();
  EXPECT_TRUE(Ctrl->Flow_Begin(S.Window(), PickCode, S.Element()));
  Ctrl->EditTimer().stop();
  Ctrl->OnEditTimer();
  return Ctrl->JobList().empty() ? nullptr : Ctrl->JobList().back();
}

bool EditFixture::Save() {
  Form_EditJob->Btn_Save->click();
  return !Form_EditJob->isVisible();
}

bool EditFixture::WaitSaved(const PJobRec &Job) { return WaitJobEnd(Job); }

std::string EditFixture::LogText() {
  Log.FlushToFile();
  return ReadFile(Dir.File("log.txt"));
}

std::string EditFixture::PreviewText() { return Form_EditJob->Memo_Preview->toPlainText().toStdString(); }
