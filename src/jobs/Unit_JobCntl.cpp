#include "jobs/Unit_JobCntl.h"

#include <QElapsedTimer>
#include <algorithm>

#include "jobs/uDwnldThd.h"
#include "jobs/uJobSave.h"
#include "net/Unit_httpDown.h"
#include "net/uDownRunner.h"
#include "platform/TMainThread.h"
#include "platform/TPageSnapshot.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "pub/uMsgKind.h"

TJobCtrl *JobCtrl = nullptr;

TJobCtrl::TJobCtrl(TJobHost &Host) : FHost(Host) {
  FEditTimer.setInterval(500);
  FEditTimer.setSingleShot(false);
  connect(&FEditTimer, &QTimer::timeout, this, &TJobCtrl::OnEditTimer);
}

TJobCtrl::~TJobCtrl() {
  FEditTimer.stop();
  FinishAllWorkers();
  FreeAllJobs();
}

bool TJobCtrl::Flow_Begin(std::shared_ptr<THtmlWindow> HWin2, uint8_t PickCode, std::shared_ptr<THtmlElement> Elem) {
  int32_t Id = FHost.NextJobId();
  Log::Info(Format("JobID: %d, [Flow_Begin] : Start the job.", {Id}));
  if (FHost.StartFailed()) {
    FHost.TipMsg("Program has failed in initialization, please check your system and rerun!", "", TipError);
    return false;
  }
  if (!FJobs.empty() && FJobs.back()->State == jsEditing && FHost.EditWindowShowing()) {
    FHost.EditWindowToFront();
    FHost.TipMsg("You are editing a job, please complete it first", "", TipError);
    return false;
  }
  PJobRec Job = NewJob();
  if (!Job) {
    FHost.TipMsg("Fail to assign memory for a job", "", TipError);
    Log::Err("Fail to assign memory for a job", true);
    return false;
  }
  try {
    // The page window must be a window; its top window is read from it.
    if (!HWin2) throw EMossError("No page window");
    Job->HWin2 = HWin2;
    Job->HWin2Top = HWin2->Top();
    Job->PickCode = PickCode;
    Job->JobId = Id;
    Job->Elem = std::move(Elem);
  } catch (const std::exception &) {
    PJob_Fail(Job, "Fail to start the job, COM object interface error!");
    return false;
  }
  // The browser's identity, when it told it: a snapshot that tells it
  // wrongly leaves the job with the program's own, as an older one does.
  try {
    Job->UserAgent = HWin2->UserAgent();
    Job->Cookies = Job_CookieJar(HWin2->Cookies());
  } catch (const std::exception &E) {
    Log::Warn_Job(Format(ErrTipsFmt, {"The browser's cookies were not readable", "TJobCtrl.Flow_Begin", E.what()}), Id);
  }
  // Enabling a running timer does not restart it: the tick comes 500 ms
  // after the first of several quick requests and opens the newest.
  if (!FEditTimer.isActive()) FEditTimer.start();
  // Started after the timer, so that the two overlap.
  FHost.WarmUp(KindOfPickCode(PickCode));
  return true;
}

void TJobCtrl::OnEditTimer() {
  FEditTimer.stop();
  // A copy: the flow may remove the job from the list it came from.
  if (!FJobs.empty()) Flow_Edit(PJobRec(FJobs.back()));
}

bool TJobCtrl::Flow_Edit(const PJobRec &Job) {
  Log::Info_Job("[Flow_Edit]: Start to edit the job.", Job->JobId);
  try {
    if (Job->State != jsInitial) {
      PJob_Fail(Job, "Job state is not jsInitial!");
      return false;
    }
    PJob_Edt_Init(Job);
    // The job joins the monitor's queue with its title as soon as it opens,
    // not first when its saving starts.
    emit JobChanged(Job);
    FHost.StartEditor(Job);
    return true;
  } catch (const std::exception &E) {
    PJob_Fail(Job, E.what());
    return false;
  }
}

void TJobCtrl::PJob_Edt_Init(const PJobRec &Job) {
  try {
    Job->Title = Job->HWin2->Document()->Title();
    // The user name and password of the address stay with the browser: the
    // address is shown, saved, logged and sent as Referer from here on.
    Job->PageUrl = Url_NoUserInfo(Job->HWin2->Document()->Url());
  } catch (const std::exception &E) {
    throw EMossError(Format(ErrTipsFmt, {"Invalid HWin2_Cur.document", "TJobCtrl.PJob_Edt_Init-InitJobParm", E.what()}));
  }
  Job->StartTime = Now();
  Job->Kind = KindOfPickCode(Job->PickCode);
  FHost.ChooseEditor(Job->Kind);
  FHost.RememberForeground();
}

bool TJobCtrl::Flow_Sav_Beg(const PJobRec &Job) {
  Log::Info_Job("[Flow_Sav_Beg], Start to save the job.", Job->JobId);
  try {
    if (Job->State == jsEdited) {
      StartWorker(Job);
      return true;
    }
    PJob_Fail(Job, "Job state is not jsEdited !!");
  } catch (const std::exception &E) {
    PJob_Fail(Job, E.what());
  }
  return false;
}

bool TJobCtrl::Flow_ReRun(const PJobRec &Job) {
  Log::Info_Job("[Flow_ReRun], Start to rerun the job.", Job->JobId);
  try {
    if (Job->State == jsError || Job->State == jsWarning) {
      StartWorker(Job);
      return true;
    }
    PJob_Fail(Job, "Job state is not jsError or jsWarning!");
  } catch (const std::exception &E) {
    PJob_Fail(Job, E.what());
  }
  return false;
}

void TJobCtrl::Reap() {
  // Joins the workers whose run has ended; the rest stay listed.
  std::erase_if(FWorkers, [](const std::shared_ptr<TDwnldThd> &W) {
    if (!W->Finished()) return false;
    W->Join();
    return true;
  });
}

void TJobCtrl::StartWorker(const PJobRec &Job) {
  Reap();
  auto W = std::make_shared<TDwnldThd>(*this, Job);
  Job->Worker.Set(W);
  FWorkers.push_back(W);
  W->Start();
}

bool TJobCtrl::Flow_Sav_Run(const PJobRec &Job) {
  // The log takes lines from any thread.
  Log::Info_Job("[Flow_Sav_Run], Start to save files of the job.", Job->JobId);
  auto W = Job->Worker.Get();
  try {
    PJob_Sav_FList(Job);
    // The choice was taken on the main thread when the worker was made.
    PJob_Sav_Msg(Job, W ? W->MsgCmplt : true);
    PJob_RmvAttachDir(Job);
    if (W) W->LogInfo();
    return true;
  } catch (const std::exception &E) {
    std::string Msg = E.what();
    // Telling the user, logging and dropping the job belong to the main thread.
    TMainThread::Send([this, Job, Msg] { PJob_Fail(Job, Msg); });
    return false;
  }
}

bool TJobCtrl::PJob_ReRun(const PJobRec &Job) {
  if (Job->MonState == msEndError) return Flow_ReRun(Job);
  FHost.MsgBox("Failed to Rerun, the job status is not Error!", MbError);
  return false;
}

bool TJobCtrl::WaitMain(const std::function<bool()> &Done, const char *Mthd) {
  QElapsedTimer T;
  T.start();
  while (!Done()) {
    TMainThread::WaitStep();
    if (T.elapsed() / 1000 > StopWaitSec) {
      Log::ErrFmt(ErrTipsFmt, {"App.ProcMsg Timeout!", Mthd, ""}, false);
      return false;
    }
  }
  return true;
}

bool TJobCtrl::PJob_Stop(const PJobRec &Job) {
  if (Job->MonState != msRunning) {
    FHost.MsgBox("Failed to Stop, the job is not running!", MbError);
    return false;
  }
  try {
    Log::Warn_Job("[PJob_Stop]: User ask to stop running the job.", Job->JobId);
    // Before the runner is looked for: a run that makes its runner after
    // this still sees the request and starts nothing.
    Job->StopReq = true;
    if (auto R = Job->Runner.Get()) R->StopAll();
    return WaitMain([&] { return Job->MonState == msEndError || Job->MonState == msComplete; }, "TJobCtrl.PJob_Stop");
  } catch (const std::exception &) {
    return false;
  }
}

bool TJobCtrl::PJob_GoNxtFl(const PJobRec &Job) {
  if (Job->MonState != msRunning) {
    FHost.MsgBox("Failed to Go Next File, the job is not running!", MbError);
    return false;
  }
  // The file skipped is the one shown: the one started last.
  auto R = Job->Runner.Get();
  size_t Item = 0;
  if (!R || !R->LastStarted(Item)) return false;
  try {
    Log::Warn_Job("[PJob_GoNxtFl]: User ask to go to save next file for the job.", Job->JobId);
    R->StopItem(Item);
    return WaitMain(
        [&] {
          const std::vector<size_t> Now = R->Running();
          return std::find(Now.begin(), Now.end(), Item) == Now.end();
        },
        "TJobCtrl.PJob_GoNxtFl");
  } catch (const std::exception &) {
    return false;
  }
}

void TJobCtrl::PJob_Stop_All() {
  std::string Track;
  try {
    std::vector<PJobRec> Jobs = FJobs;
    for (const auto &J : Jobs) {
      if (J->State != jsSaving) continue;
      Track = "PJob_Stop";
      if (!PJob_Stop(J)) {
        Track = "Terminate Thd";
        if (auto W = J->Worker.Get()) W->Terminate();
      }
    }
  } catch (const std::exception &E) {
    Log::ErrFmt(ErrTipsFmt, {"Track point: " + Track, "TJobCtrl.PJob_Stop_All", E.what()}, false);
  }
}

void TJobCtrl::FinishAllWorkers() {
  for (const auto &W : FWorkers) W->Terminate();
  for (const auto &W : FWorkers) {
    while (!W->Finished()) {
      TMainThread::WaitStep();
    }
    W->Join();
  }
  FWorkers.clear();
}

bool TJobCtrl::PJob_Delete(const PJobRec &Job) {
  if (Job->MonState == msRunning) {
    FHost.MsgBox("Failed to delete, the job is running!", MbError);
    return false;
  }
  Log::Info_Job("[PJob_Delete]: User start to delete the job.", Job->JobId);
  Job->MonState = msDeleted;
  emit JobChanged(Job);
  return DelJob(Job);
}

bool TJobCtrl::PJob_Fail(const PJobRec &Job, const std::string &Text) {
  Job->MainMsg.Set(Text.empty() ? "Unknown error!" : Text);
  return PJob_Cancel(Job);
}

bool TJobCtrl::PJob_Cancel(const PJobRec &JobRef) {
  // Held here: the caller's reference may point into the list the job
  // leaves below.
  const PJobRec Job = JobRef;
  if (!Job || Job->JobId == -1) return false;
  try {
    std::string Msg = Job->MainMsg.Get();
    if (!Msg.empty()) FHost.TipMsg(Format("Job %d canceled: %s", {Job->JobId.load(), Msg}), "Nothing", TipError);
    Log::Info_Job("[PJob_Cancel], Start to cancel the job.", Job->JobId);
    if (Job->State == jsSaving) {
      try {
        // A real stop: the worker's loop ends and its download is aborted;
        // the worker keeps the record alive until it is done with it.
        if (auto W = Job->Worker.Get()) W->Terminate();
      } catch (const std::exception &E) {
        Log::ErrFmt(ErrTipsFmt, {"Fail to terminate dwnldThd!", "TJobCtrl.PJob_Cancel", E.what()}, true);
      }
    }
    PJob_RmvAttachDir(Job);
    Job->JobId = -1;
    if (FHost.EditJob() == Job.get() && FHost.EditWindowShowing() && !FHost.EditWindowClosing()) FHost.PressEditCancel();
  } catch (const std::exception &E) {
    Log::ErrFmt(ErrTipsFmt, {"Other error!", "TJobCtrl.PJob_Cancel", E.what()}, false);
  }
  std::erase(FJobs, Job);
  emit JobChanged(Job);
  return FreeJob(Job);
}

bool TJobCtrl::HasUnfinishedJob() const {
  return std::any_of(FJobs.begin(), FJobs.end(), [](const PJobRec &J) { return IsUnfinishedState(J->State); });
}

int TJobCtrl::JobCount() const {
  return static_cast<int>(
      std::count_if(FJobs.begin(), FJobs.end(), [](const PJobRec &J) { return J->JobId != -1 && J->MonState != msDeleted; }));
}

PJobRec TJobCtrl::JobById(int32_t Id) const {
  if (Id == -1) return nullptr;
  for (const auto &J : FJobs)
    if (J->JobId == Id) return J;
  return nullptr;
}

PJobRec TJobCtrl::FindJob(const TJobRec *Job) const {
  for (const auto &J : FJobs)
    if (J.get() == Job) return J;
  return nullptr;
}

PJobRec TJobCtrl::NewJob() {
  try {
    auto J = std::make_shared<TJobRec>();
    FJobs.push_back(J);
    return J;
  } catch (...) {
    return nullptr;
  }
}

bool TJobCtrl::DelJob(const PJobRec &JobRef) {
  const PJobRec Job = JobRef;
  if (!Job) {
    Log::ErrFmt(ErrTipsFmt, {"Job is nil", "TJobCtrl.DelJob", ""}, false);
    return false;
  }
  std::erase(FJobs, Job);
  return FreeJob(Job);
}

bool TJobCtrl::FreeJob(const PJobRec &Job) {
  // The controller lets go of the page and what the job owns. A worker that
  // still runs holds its own reference, so the record outlives it.
  Job->HWin2.reset();
  Job->Elem.reset();
  Job->HWin2Top.reset();
  return true;
}

bool TJobCtrl::FreeAllJobs() {
  bool Ok = true;
  for (const auto &J : FJobs) Ok = FreeJob(J) && Ok;
  FJobs.clear();
  return Ok;
}
