#include "jobs/uDwnldThd.h"

#include "jobs/Unit_JobCntl.h"
#include "platform/TMainThread.h"
#include "pub/Unit_Log.h"
#include "pub/uMsgKind.h"

TDwnldThd::TDwnldThd(TJobCtrl &Ctrl, PJobRec Job)
    : MsgCmplt(Ctrl.Host().TipOnComplete()),
      Limits(Ctrl.Host().DownLimits().Bounded()),
      DownRetries(Ctrl.DownRetries),
      RetryUnitMs(Ctrl.RetryUnitMs),
      FCtrl(Ctrl),
      FJob(std::move(Job)) {}

TDwnldThd::~TDwnldThd() { Join(); }

void TDwnldThd::Start() {
  FThread = std::thread([this] {
    FCtrl.Flow_Sav_Run(FJob);
    FFinished = true;
  });
}

void TDwnldThd::Join() {
  if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

void TDwnldThd::Terminate() {
  FJob->StopReq = true;
  if (auto R = FJob->Runner.Get()) R->StopAll();
}

// A cancelled job has left the controller: nothing of it is shown any more.
void TDwnldThd::MonRefresh() {
  TMainThread::Send([this] {
    if (FJob->JobId != -1) emit FCtrl.JobChanged(FJob);
  });
}

void TDwnldThd::ShowResult() {
  TMainThread::Send([this] {
    try {
      std::string Msg = FJob->MainMsg.Get();
      if (Msg.empty() || FJob->JobId == -1) return;
      FCtrl.Host().TipMsg(Msg, FJob->SecMsg.Get(), FJob->TipKind);
      if (FJob->LogResult) Log::Info_Job(Format("MainMsg: %s, SecMsg: %s", {Msg, FJob->SecMsg.Get()}), FJob->JobId);
    } catch (...) {
    }
  });
}

void TDwnldThd::LogInfo() {
  TMainThread::Send([this] { Log::Info_Job("[TDwnldThd.LogInfo] : Complete the Job.", FJob->JobId); });
}
