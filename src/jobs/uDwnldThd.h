#pragma once
// The download worker: one thread per save run of a job. It runs the
// controller's Flow_Sav_Run on the job, touches the windows only through
// hand-overs to the main thread, and holds the job for as long as it runs.
#include <atomic>
#include <memory>
#include <thread>

#include "jobs/uJobRec.h"
#include "net/uDownRunner.h"

class TJobCtrl;

class TDwnldThd {
 public:
  TDwnldThd(TJobCtrl &Ctrl, PJobRec Job);
  ~TDwnldThd();  // joins
  TDwnldThd(const TDwnldThd &) = delete;
  TDwnldThd &operator=(const TDwnldThd &) = delete;

  void Start();
  bool Finished() const { return FFinished.load(); }
  void Join();
  // Asks the run to end: no further file starts and the running downloads
  // are aborted.
  void Terminate();
  const PJobRec &Job() const { return FJob; }
  // The completion-message setting as it was when the run started, handed
  // over so the worker never reads the settings record.
  const bool MsgCmplt;
  // The limits of transfers at once, from the settings at the start.
  const TDownLimits Limits;
  // Further tries of a failed download and the length of their pause unit,
  // from the controller at the start.
  const int DownRetries, RetryUnitMs;

  // Main-thread hand-overs of the worker; each waits until it ran.
  void MonRefresh();
  void ShowResult();
  void LogInfo();

 private:
  TJobCtrl &FCtrl;
  PJobRec FJob;
  std::thread FThread;
  std::atomic<bool> FFinished{false};
};
