#include "editors/uJobEditor.h"

#include <QLineEdit>

#include "editors/uForm_EditJob.h"
#include "jobs/Unit_JobCntl.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "ui/Unit_Msg.h"
#include "ui/Unit_PubWnd.h"
#include "ui/uForm_Rename.h"

PJobRec EditJob;
uint8_t EditJobKind = 0;
uint8_t EdtPhase = 0;
TJobEditor *CurEditor = nullptr;

TJobEditor::TJobEditor() = default;
TJobEditor::~TJobEditor() = default;

void TJobEditor::Edt_Bind_Ctrls() {
  Form = Form_EditJob;
  if (Form) Form->AppMessage = nullptr;
}

bool TJobEditor::Edt_Chk_Valid() {
  std::string Dir = DirEdit ? DirEdit->text().toStdString() : std::string();
  if (!Dir.empty() && TForm_Renam::ChkDir(Dir, true)) return true;
  GLBL_MsgBox(Form, "Invalid save path, please correct it!", MbError, false);
  if (Form && DirEdit) Form->FocusCtrl(DirEdit);
  return false;
}

void TJobEditor::EJob_Start(const PJobRec &Job) {
  EditJob = Job;
  EditJobKind = Job->Kind;
  EJob_Flow_Beg();
}

void TJobEditor::EJob_Flow_Beg() {
  PJobRec Job = EditJob;
  Log::Info_Job("[EJob_Flow_Beg]: Start to show editor.", Job->JobId);
  try {
    if (Job->State != jsInitial) throw EMossError("Job state is not jsInitial!");
    Job->State = jsEditing;
    Log::Info_Job("  [Edt_Init]", Job->JobId);
    Edt_Init();
    Log::Info_Job("  [Edt_Bld]", Job->JobId);
    Edt_Bld();
    Log::Info_Job("  [Edt_Rdy]", Job->JobId);
    Edt_Rdy();
  } catch (const std::exception &E) {
    Log::Err(Format(ErrTipsFmt, {"Fail to show editor!", "TJobEditor.EJob_Flow_Beg", E.what()}));
    if (JobCtrl) JobCtrl->PJob_Fail(Job, E.what());
  }
}

bool TJobEditor::EJob_Exit() {
  if (!Edt_Chk_Valid()) return false;
  PJobRec Job = EditJob;
  try {
    EJob_Flow_End();
  } catch (const std::exception &E) {
    Log::Err(Format(ErrTipsFmt, {"", "TJobEditor.EJob_Exit.EJob_Flow_End", E.what()}));
    if (JobCtrl && Job) JobCtrl->PJob_Fail(Job, E.what());
    return false;
  }
  EdtPhase = 0;
  if (Form) Form->Frm_Exit(false);
  return true;
}

void TJobEditor::EJob_Flow_End() {
  PJobRec Job = EditJob;
  if (!Job || Job->State != jsEditing) throw EMossError("Job state is not jsEditing!");
  if (Edt_Make_fList()) {
    Job->State = jsEdited;
    if (JobCtrl) JobCtrl->Flow_Sav_Beg(Job);
  }
}

bool TJobEditor::EJob_Chk_Close() {
  PJobRec Job = EditJob;
  if (!Job) return false;
  if (Job->State == jsEditing) {
    EdtPhase = 0;
    return JobCtrl ? JobCtrl->PJob_Cancel(Job) : false;
  }
  if (Job->State == jsEdited || Job->JobId == -1) return false;
  // Saving has begun by the time the window closes after a good Save.
  if (Job->State == jsSaving || !IsUnfinishedState(Job->State)) return false;
  throw EMossError(Format("Job %d status is not correct : %d,please have a check!", {Job->JobId.load(), Job->State.load()}));
}

void TJobEditor::EJob_Add_File(TJobRec &Job, const std::string &Url, const std::string &LocalPath) {
  Job.AddFile(Url, LocalPath);
}

void TJobEditor::Edt_Sel_Dir() {
  if (!DirEdit) return;
  std::string Folder = DirEdit->text().toStdString();
  if (Sel_Directory(Form, "Please select a directory", "", Folder)) DirEdit->setText(QString::fromStdString(Folder));
}
