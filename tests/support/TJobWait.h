#pragma once
// Waiting for save runs on the main thread: events and the workers'
// hand-overs are processed meanwhile, as the program's own waits do.
#include <cstdint>
#include <functional>

#include "jobs/uJobRec.h"

// Runs the main thread's events and hand-overs until Done() or Ms.
bool Spin(const std::function<bool()> &Done, int Ms = 10000);
// Until the job has ended and the worker of its last run has finished.
bool WaitJobEnd(const PJobRec &Job, int Ms = 20000);
// The bytes received so far by the running transfers of the job's run.
int64_t JobRecvBytes(const TJobRec &Job);
// The transfers of the job's run that are busy now.
int JobBusyCount(const TJobRec &Job);
