#pragma once
// The texts the job monitor makes of a job: the detail pane's lines and the
// URL list it saves. Plain functions of the record, so they are tested
// without a display.
#include <string>
#include <vector>

#include "jobs/uJobRec.h"

// The detail pane's text, one line per "\n"; NowT is the time "Time
// Elapsed" is counted to.
std::string JobDtlText(const TJobRec &Job, TDateTime NowT);
// The URLs of the file list in its order; the page's own text stands as
// the page URL.
std::vector<std::string> JobUrlList(const TJobRec &Job);
// The name the URL list is written to: ".txt" is added when the chosen path
// holds no point anywhere.
std::string UrlListFileName(const std::string &Chosen);
// "Text", "Image", "Flash", or "unKnown" for a kind out of range.
const char *JobTypeText(uint8_t Kind);
