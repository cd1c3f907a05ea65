#include "platform/TMainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace {

struct TCall {
  std::function<void()> Fn;
  bool Done = false;  // guarded by Mx
  bool Ran = false;
};

std::mutex Mx;
std::condition_variable Cv;
std::deque<std::shared_ptr<TCall>> Queue;
bool Attached = false;
bool WakePending = false;
std::thread::id MainId;
QPointer<QObject> Pump;

void ScheduleDrain() {
  // Called with Mx held: one queued wake-up at a time is enough.
  if (WakePending || !Pump) return;
  WakePending = true;
  QMetaObject::invokeMethod(
      Pump.data(), [] { TMainThread::ProcessPending(); }, Qt::QueuedConnection);
}

}  // namespace

void TMainThread::Attach() {
  std::lock_guard L(Mx);
  MainId = std::this_thread::get_id();
  if (!Pump) Pump = new QObject(QCoreApplication::instance());
  Attached = true;
}

void TMainThread::Detach() {
  std::deque<std::shared_ptr<TCall>> Dropped;
  {
    std::lock_guard L(Mx);
    Attached = false;
    Dropped.swap(Queue);
    for (auto &C : Dropped) C->Done = true;
  }
  Cv.notify_all();
}

bool TMainThread::IsAttached() {
  std::lock_guard L(Mx);
  return Attached;
}

bool TMainThread::IsMain() {
  std::lock_guard L(Mx);
  return Attached && std::this_thread::get_id() == MainId;
}

bool TMainThread::Post(std::function<void()> Fn) {
  if (IsMain()) {
    Fn();
    return true;
  }
  std::lock_guard L(Mx);
  if (!Attached) return false;
  auto C = std::make_shared<TCall>();
  C->Fn = std::move(Fn);
  Queue.push_back(std::move(C));
  ScheduleDrain();
  return true;
}

bool TMainThread::Send(std::function<void()> Fn) {
  if (IsMain()) {
    Fn();
    return true;
  }
  auto C = std::make_shared<TCall>();
  C->Fn = std::move(Fn);
  std::unique_lock L(Mx);
  if (!Attached) return false;
  Queue.push_back(C);
  ScheduleDrain();
  Cv.wait(L, [&] { return C->Done; });
  return C->Ran;
}

void TMainThread::ProcessPending() {
  for (;;) {
    std::shared_ptr<TCall> C;
    {
      std::lock_guard L(Mx);
      WakePending = false;
      if (!Attached || std::this_thread::get_id() != MainId || Queue.empty()) return;
      C = Queue.front();
      Queue.pop_front();
    }
    bool Ran = true;
    try {
      C->Fn();
    } catch (...) {
      // A hand-over's own failure belongs to its sender; the loop goes on.
      Ran = true;
    }
    {
      std::lock_guard L(Mx);
      C->Ran = Ran;
      C->Done = true;
    }
    Cv.notify_all();
  }
}

void TMainThread::WaitStep(int MaxMs) {
  ProcessPending();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, MaxMs);
}

size_t TMainThread::Pending() {
  std::lock_guard L(Mx);
  return Queue.size();
}
