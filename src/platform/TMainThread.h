#pragma once
// The hand-over from any thread to the main thread. A mutex-guarded queue
// drained by the main thread's event loop: workers Post (fire and forget) or
// Send (wait until it ran). Send on the main thread runs at once, so a
// hand-over can never deadlock on itself; once the main loop has ended
// (Detach), a hand-over runs nothing and returns false, so no worker can
// hang at exit.
#include <cstddef>
#include <functional>
#include <thread>

class TMainThread {
 public:
  // On the main thread, with the application object made.
  static void Attach();
  // The main loop has ended: wake every waiting Send and drop what is queued.
  static void Detach();
  static bool IsAttached();
  static bool IsMain();

  static bool Post(std::function<void()> Fn);
  static bool Send(std::function<void()> Fn);
  // Runs what is queued now; the main thread's wait loops call it between
  // their event-processing steps.
  static void ProcessPending();
  // One step of a main-thread wait loop (a wait for a worker or for a
  // browser control): the queued hand-overs, then the loop's events other
  // than the user's input. A click or key press stays queued until the wait
  // is over, so it never lands in the middle of the operation that waits
  // (an edit window half built, a job half stopped).
  static void WaitStep(int MaxMs = 10);
  // The number of hand-overs queued and not yet run.
  static size_t Pending();
};
