#include "support/TJobWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include "jobs/uDwnldThd.h"
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
