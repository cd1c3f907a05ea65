#include "monitor/MonitorFixture.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <cstdlib>

#include "control/Unit_MPC.h"
#include "jobs/Unit_JobCntl.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "support/TJobWait.h"
#include "support/TSnapshotBuilder.h"
#include "ui/uForm_main.h"
#include "ui/uJobMonitor.h"

void MonitorFixture::SetUp() {
  ::setenv("MOSSGATHER_PRGDIR", Prg.Path().c_str(), 1);
  TMPC::FaultStep.clear();
  MPC.ExitUnattended = true;  // nothing asks at the end of a test
  Open();
}

void MonitorFixture::Open() {
  Form = new TMainForm();
  MainForm = Form;
  MPC.Connect(*Form);
  Form->show();
  ASSERT_NE(JobCtrl, nullptr);
  ASSERT_NE(JobMntr, nullptr);
}

void MonitorFixture::TearDown() {
  delete Form;
  Form = nullptr;
  MPC.ExitUnattended = false;
  ::unsetenv("MOSSGATHER_PRGDIR");
}

PJobRec MonitorFixture::NewJob(const std::string &Title, uint8_t PickCode,
                               const std::vector<std::pair<std::string, std::string>> &Files, const std::string &PageUrl) {
  TPageSnapshot S = TSnapshotBuilder().Title(Title).Url(PageUrl).Parse();
  EXPECT_TRUE(JobCtrl->Flow_Begin(S.Window(), PickCode, nullptr));
  // The editor's part, without its window.
  JobCtrl->EditTimer().stop();
  PJobRec J = JobCtrl->JobList().back();
  J->Title = Title;
  J->PageUrl = PageUrl;
  J->Kind = KindOfPickCode(PickCode);
  J->StartTime = Now();
  J->State = jsEditing;
  for (const auto &[Url, Local] : Files) J->AddFile(Url, Local);
  // As the controller tells every listener of an opened job.
  emit JobCtrl->JobChanged(J);
  return J;
}

void MonitorFixture::Save(const PJobRec &Job) {
  Job->State = jsEdited;
  EXPECT_TRUE(JobCtrl->Flow_Sav_Beg(Job));
}

bool MonitorFixture::WaitEnd(const PJobRec &Job, int Ms) { return WaitJobEnd(Job, Ms); }

QTreeWidgetItem *MonitorFixture::Node(int Filter) {
  QTreeWidgetItem *Root = Form->TreeView->topLevelItem(0);
  return Filter == 0 ? Root : Root->child(Filter - 1);
}

void MonitorFixture::SelectNode(int Filter) { Form->TreeView->setCurrentItem(Node(Filter)); }

std::vector<std::string> MonitorFixture::Rows() {
  std::vector<std::string> R;
  QTreeWidget *L = Form->LstVw_Mntr;
  for (int I = 0; I < L->topLevelItemCount(); ++I) {
    QTreeWidgetItem *It = L->topLevelItem(I);
    std::string Row;
    for (int C = 1; C <= 4; ++C) Row += It->text(C).toStdString() + "|";
    Row += It->icon(0).isNull() ? "-" : "icon";
    R.push_back(Row);
  }
  return R;
}

void MonitorFixture::Select(const std::vector<PJobRec> &Jobs) {
  QTreeWidget *L = Form->LstVw_Mntr;
  L->clearSelection();
  for (int I = 0; I < L->topLevelItemCount(); ++I)
    for (const auto &J : Jobs)
      if (JobMntr->ItemJob(L->topLevelItem(I)) == J.get()) L->topLevelItem(I)->setSelected(true);
}

std::string MonitorFixture::Memo() { return Form->Memo_JobDtl->toPlainText().toStdString(); }

std::string MonitorFixture::Log() {
  if (Logger()) Logger()->FlushToFile();
  return ReadFile(Prg.File("log.txt"));
}
