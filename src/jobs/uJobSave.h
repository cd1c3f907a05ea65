#pragma once
// The steps of a job's save run, on its worker thread. Each takes the job
// and nothing else of the controller: the job's list, the settings and the
// windows are out of their reach. What they tell goes through the job's
// worker (Job->Worker), which hands it over to the main thread.
#include <atomic>
#include <string>

#include "jobs/uJobRec.h"

class THttpDownFile;

// Writes the job's text, then copies or downloads every other entry of the
// file list not yet saved, side by side within the worker's limits, then
// decides the job's end state (PJob_Sav_End). Throws EMossError when
// the list is empty.
void PJob_Sav_FList(const PJobRec &Job);
// One entry but the page text: a local file or the URL cache's copy, or a
// download with D. False when it was not saved (the reason is logged).
bool DownFile(const PJobRec &Job, TJobFile &Entry, THttpDownFile &D);
// The end state from the counts: complete, warning or error.
void PJob_Sav_End(const PJobRec &Job);
// The result message of the ended job, for the worker to show; a good end
// is told only when TipOnComplete.
void PJob_Sav_Msg(const PJobRec &Job, bool TipOnComplete);
// Removes a text job's attachment folder that holds no saved file. Also
// used on the main thread when a job is cancelled.
bool PJob_RmvAttachDir(const PJobRec &Job);

// Copies Src to Dst; fails when Dst exists already. A failed or killed copy
// leaves no partial file under the target name. Only a regular file is
// copied: a FIFO would hold the worker past every stop, a device would
// never end. Stop, when given and set, ends the copy between two reads,
// with nothing saved.
bool CopyNew(const std::string &Src, const std::string &Dst, const std::atomic<bool> *Stop = nullptr);
