#pragma once
// The update check's decisions, free of any window: where the update file
// lives, what it says, whether it names a newer version than ours, when the
// next automatic check is due, and what a typed reminder means. The fetch
// itself runs on a worker, so a slow or dead server never holds a window.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "pub/uRegional.h"

class THttpDownFile;

inline constexpr const char *UpdFilePath = "/upd/updpgm.txt";
inline constexpr int UpdTimeoutSec = 10;
// The reminder's days: typed numbers are held to this range, anything that
// is not a number gives the fallback.
inline constexpr int32_t RemindMinDays = 1, RemindMaxDays = 30, RemindDefDays = 7;

// The update file's address on a site given as "https://host[:port]",
// "host" (https is taken) or with a trailing "/". Empty when Host is blank.
std::string UpdFileUrl(const std::string &Host);

// What the update file says: line 1 the latest version, line 2 the page that
// describes it.
struct TUpdInfo {
  float Version = 0;  // as published, rounded to 32 bits
  std::string Url;
};

// Reads a decimal number written with "." (blanks around it allowed), the
// same whatever the desktop's locale. False for anything else.
bool StrToFloatDot(const std::string &Text, long double &Value);
// Reads the update file's text. False, with Why saying what is wrong, for a
// file of fewer than two lines, a first line that is not a finite number,
// or a second line that is not an http or https address.
bool ParseUpdFile(const std::string &Text, TUpdInfo &Info, std::string *Why = nullptr);
// Newer when the published 32-bit value exceeds ours by more than 0.01,
// reckoned in extended precision: 0.13 published against 0.12 lies just
// under that step and does not count; 0.1301 does.
bool IsNewerVersion(float Published, long double Current);

// The days a typed reminder stands for: a whole number held to 1..30, 7 when
// the text (blanks trimmed) is not one.
int32_t ReminderDays(const std::string &Typed);
// The day the next automatic check is due: Today plus ChkCyc days, kept
// within the years a stored date can be read back in (0001 to 9999).
TDateTime NextChkDate(TDateTime Today, int32_t ChkCyc);

// What decides whether the automatic check runs now.
struct TAutoChkState {
  bool CheckedThisRun = false;     // a check already ran in this run
  bool DialogShowing = false;      // the update dialog is up
  bool EditWindowShowing = false;  // a job is being edited
  int32_t ChkCyc = 14;             // days between checks; below 1, never
  TDateTime Today = 0;
  TDateTime NextChk = 0;  // due from this day on
};
bool AutoChkDue(const TAutoChkState &S);

// One check's outcome.
struct TUpdAnswer {
  bool Newer = false;
  bool Read = false;  // the file came and made sense
  TUpdInfo Info;
  std::string Error;  // why nothing was read
};

// Fetches the update file from Url into TempFile, reads it and compares its
// version with Current. Blocking; never throws; the file is removed after.
TUpdAnswer GetUpdInfo(THttpDownFile &Down, const std::string &Url, const std::string &TempFile, int TimeoutSec,
                      long double Current);

// One update fetch at a time on a worker thread; the answer comes back on
// the main thread (through the main-thread hand-over).
class TUpdFetch {
 public:
  using TDone = std::function<void(const TUpdAnswer &)>;
  TUpdFetch();
  // Stops a running fetch and waits for its worker.
  ~TUpdFetch();
  TUpdFetch(const TUpdFetch &) = delete;
  TUpdFetch &operator=(const TUpdFetch &) = delete;

  // Main thread. A fetch still running is cancelled first. Done runs later
  // on the main thread, unless Cancel or the destructor comes first;
  // Finally runs there once the worker is done with TempFile, wanted or not.
  void Start(const std::string &Url, const std::string &TempFile, int TimeoutSec, long double Current, TDone Done,
             std::function<void()> Finally = {});
  // Main thread: the running fetch stops at once and its answer is dropped.
  // Its worker is not waited for here (a name lookup cannot be cut short);
  // the next Start or the destructor collects it.
  void Cancel();
  bool Busy() const;
  // The trust store for https (a PEM file); empty: the system's.
  void SetCaFile(const std::string &CaFile) { FCaFile = CaFile; }

 private:
  struct TRun;
  void Reap(bool All);

  std::shared_ptr<TRun> FRun;
  std::vector<std::pair<std::shared_ptr<TRun>, std::thread>> FWorkers;
  std::string FCaFile;
};
