#include "support/TJobWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include "jobs/uDwnldThd.h"
#include "net/Unit_httpDown.h"
#include "net/uDownRunner.h"
#include "platform/TMainThread.h"

bool Spin(const std::function<bool()> &Done, int Ms) {
  QElapsedTimer T;
  T.start();
  while (!Done() && T.elapsed() < Ms) {
    TMainThread::ProcessPending();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return Done();
}

bool WaitJobEnd(const PJobRec &Job, int Ms) {
  return Spin(
      [&] {
        auto W = Job->Worker.Get();
        return !IsUnfinishedState(Job->State) && (!W || W->Finished());
      },
      Ms);
}

int64_t JobRecvBytes(const TJobRec &Job) {
  int64_t N = 0;
  if (auto R = Job.Runner.Get())
    for (const auto &D : R->Downloaders())
      if (D->IsBusy()) N += D->RecvBytes();
  return N;
}

int JobBusyCount(const TJobRec &Job) {
  int N = 0;
  if (auto R = Job.Runner.Get())
    for (const auto &D : R->Downloaders()) N += D->IsBusy() ? 1 : 0;
  return N;
}
