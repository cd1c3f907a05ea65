#pragma once
// The job controller: owns every job and moves it through its life. A
// request from the browser makes a job (Flow_Begin), a 500 ms timer opens
// the newest in its editor (Flow_Edit), the editor hands it back for saving
// (Flow_Sav_Beg), a download worker saves it (Flow_Sav_Run), and the user
// may rerun, stop, skip a file of, or delete it from the job monitor. Every
// failure of a flow step ends in PJob_Cancel, which tells the user, logs and
// removes the job.
//
// The controller lives on the main thread. It reaches the windows only
// through TJobHost, so it runs without a display in the tests.
#include <QObject>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "jobs/uJobRec.h"
#include "net/uDownRunner.h"

class TDwnldThd;

// What the controller needs of the windows around it.
class TJobHost {
 public:
  virtual ~TJobHost() = default;
  // A tip: 0 Warning, 1 Error, 2 Good.
  virtual void TipMsg(const std::string &Msg, const std::string &SecMsg, int Kind) = 0;
  // A message box owned by the main window: 0 warning, 1 error, 2 info, 3 yes/no.
  virtual bool MsgBox(const std::string &Text, int Kind) = 0;
  // The job edit window.
  virtual bool EditWindowShowing() = 0;
  virtual bool EditWindowClosing() = 0;
  virtual TJobRec *EditJob() = 0;
  virtual void EditWindowToFront() = 0;
  virtual void PressEditCancel() = 0;
  // Chooses the editor of a kind as the current one.
  virtual void ChooseEditor(uint8_t Kind) = 0;
  // EJob_Start of the current editor; throws when there is none.
  virtual void StartEditor(const PJobRec &Job) = 0;
  // Remembers the window that was active when the job opened.
  virtual void RememberForeground() = 0;
  // A request of Kind was taken: what its editor needs may start while
  // the edit timer runs, so the edit window does not wait for it.
  virtual void WarmUp(uint8_t Kind) { (void)Kind; }
  // What the controller reads of the program's start and settings, asked at
  // the moment it is needed, on the main thread.
  virtual bool StartFailed() = 0;
  // The next job number; the count goes on across runs.
  virtual int32_t NextJobId() = 0;
  // Whether a job that completes well is told in a tip.
  virtual bool TipOnComplete() = 0;
  // How many downloads of a job run at once, to one server and in all.
  virtual TDownLimits DownLimits() { return {}; }
};

class TJobCtrl : public QObject {
  Q_OBJECT
 public:
  explicit TJobCtrl(TJobHost &Host);
  ~TJobCtrl() override;  // stops and finishes every worker, then frees the jobs

  bool Flow_Begin(std::shared_ptr<THtmlWindow> HWin2, uint8_t PickCode, std::shared_ptr<THtmlElement> Elem);
  void OnEditTimer();
  bool Flow_Edit(const PJobRec &Job);
  bool Flow_Sav_Beg(const PJobRec &Job);
  bool Flow_Sav_Run(const PJobRec &Job);  // on the worker thread
  bool Flow_ReRun(const PJobRec &Job);
  bool PJob_ReRun(const PJobRec &Job);
  bool PJob_Stop(const PJobRec &Job);
  void PJob_Stop_All();
  bool PJob_GoNxtFl(const PJobRec &Job);
  bool PJob_Delete(const PJobRec &Job);
  bool PJob_Fail(const PJobRec &Job, const std::string &Text);
  bool PJob_Cancel(const PJobRec &JobRef);
  bool HasUnfinishedJob() const;
  const std::vector<PJobRec> &JobList() const { return FJobs; }
  PJobRec FindJob(const TJobRec *Job) const;

  // Stops every running worker and waits for each to finish, processing
  // events meanwhile so no hand-over can deadlock.
  void FinishAllWorkers();

  // The jobs the user still sees: in the list and not deleted.
  int JobCount() const;
  // The job of a number, or null when no job in the list has it.
  PJobRec JobById(int32_t Id) const;

  QTimer &EditTimer() { return FEditTimer; }
  TJobHost &Host() { return FHost; }
  // How long PJob_Stop and PJob_GoNxtFl wait (whole seconds beyond which
  // they give up).
  int StopWaitSec = 5;
  // Further tries of a download that failed for a reason that may pass,
  // and the length of the "second" their growing pauses count in (tests
  // make it short).
  int DownRetries = 3;
  int RetryUnitMs = 1000;

 signals:
  // A job was made, changed its state or counts, or left the list; always
  // on the main thread. The monitor and anything else that shows jobs
  // connect to it.
  void JobChanged(const PJobRec &Job);

 private:
  PJobRec NewJob();
  bool DelJob(const PJobRec &Job);
  bool FreeJob(const PJobRec &Job);
  bool FreeAllJobs();
  void PJob_Edt_Init(const PJobRec &Job);
  void StartWorker(const PJobRec &Job);
  bool WaitMain(const std::function<bool()> &Done, const char *Mthd);
  void Reap();

  TJobHost &FHost;
  QTimer FEditTimer;
  std::vector<PJobRec> FJobs;
  // Every worker not yet joined; a finished one is joined at the next start
  // of a worker or at exit.
  std::vector<std::shared_ptr<TDwnldThd>> FWorkers;
};

// The program's controller, made by CrtMods and freed by FreeModules.
extern TJobCtrl *JobCtrl;
