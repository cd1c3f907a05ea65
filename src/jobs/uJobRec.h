#pragma once
// One job: the request from the browser, what the user decided in the edit
// window, and the progress and outcome of saving it.
//
// The record is shared by the main thread and the job's download worker.
// It is owned through std::shared_ptr, and every worker holds a reference,
// so a job outlives every worker that uses it. The fields a worker writes
// while the main thread reads them (and StopReq, the other way) are atomics
// or TShared values; the rest belong to the main thread, or are handed over
// before a save run starts and left alone while it lasts.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "pub/uRegional.h"

class THtmlWindow;
class THtmlElement;
class TDownRunner;
class TConnPool;
class TDwnldThd;
class TCookieJar;
struct TSnapCookie;

// A value guarded by its own lock, for the strings a worker writes while the
// main thread reads them.
template <class T>
class TShared {
 public:
  TShared() = default;
  explicit TShared(T V) : FValue(std::move(V)) {}
  T Get() const {
    std::lock_guard L(FMx);
    return FValue;
  }
  void Set(T V) {
    std::lock_guard L(FMx);
    FValue = std::move(V);
  }
  TShared &operator=(T V) {
    Set(std::move(V));
    return *this;
  }

 private:
  mutable std::mutex FMx;
  T FValue{};
};

// A reference to an object another owner keeps alive, guarded by its own
// lock: the job names its latest worker without owning it, since the worker
// holds the job.
template <class T>
class TSharedWeak {
 public:
  std::shared_ptr<T> Get() const {
    std::lock_guard L(FMx);
    return FValue.lock();
  }
  void Set(const std::shared_ptr<T> &V) {
    std::lock_guard L(FMx);
    FValue = V;
  }

 private:
  mutable std::mutex FMx;
  std::weak_ptr<T> FValue;
};

// Which browser entry made the job.
enum TPickCode : uint8_t { pcSnippet = 0, pcOneImage = 1, pcFullPage = 2, pcAllImages = 3, pcFlash = 4 };

// What the job saves.
enum TJobKind : uint8_t { jkSnippet = 0, jkFullPage = 1, jkOneImage = 2, jkAllImages = 3, jkFlash = 4 };

enum TJobState : uint8_t {
  jsInitial = 0,
  jsEditing = 1,
  jsEdited = 2,
  jsSaving = 4,
  jsError = 6,
  jsWarning = 7,
  jsComplete = 9,
};

// What the job monitor shows.
enum TMonState : uint8_t { msQueue = 1, msRunning = 2, msEndError = 3, msComplete = 4, msDeleted = 5 };

enum TFileStatus : int32_t { fsPending = 0, fsSaved = 1, fsSaving = 2, fsFailed = 4 };

// The entry of a text job's own content: it is written from TextLines.
inline constexpr const char *WebpageContents = "#Webpage.Contents";

struct TJobFile {
  TJobFile(std::string U, std::string L) : Url(std::move(U)), LocalName(std::move(L)) {}
  const std::string Url;
  const std::string LocalName;
  std::atomic<int32_t> Status{fsPending};
};

// The kind a request code opens as.
TJobKind KindOfPickCode(uint8_t PickCode);
bool IsTextKind(uint8_t Kind);
bool IsImageKind(uint8_t Kind);
// "Text", "Image" or "Flash".
const char *KindTypeText(uint8_t Kind);
// "Job state: Queue" and the others; empty for msDeleted.
const char *MonStateText(uint8_t MonState);
// Unfinished: every state but jsError, jsWarning and jsComplete.
bool IsUnfinishedState(uint8_t State);

class TJobRec {
 public:
  TJobRec();
  ~TJobRec();
  TJobRec(const TJobRec &) = delete;
  TJobRec &operator=(const TJobRec &) = delete;

  // Set to -1 when the job is cancelled, which marks the record as dead.
  std::atomic<int32_t> JobId{0};
  std::atomic<uint8_t> State{jsInitial};
  uint8_t PickCode = 0;
  uint8_t Kind = 0;
  std::shared_ptr<THtmlWindow> HWin2;
  std::shared_ptr<THtmlWindow> HWin2Top;
  std::shared_ptr<THtmlElement> Elem;
  std::string Title;
  std::string PageUrl;  // sent as Referer when files are downloaded
  // The browser's cookies for the page and its files, and its User-Agent,
  // handed over with the request: the downloads go as the browser's would.
  // Kept in memory only, for as long as the job lives; set before the
  // first save run and only read afterwards.
  std::shared_ptr<const TCookieJar> Cookies;
  std::string UserAgent;
  std::string AttachDir;
  // The transfers of the running save run, side by side; made by the
  // worker for each run, the main thread takes a copy to stop them or to
  // show their progress.
  TShared<std::shared_ptr<TDownRunner>> Runner;
  // The job's kept-open connections and TLS sessions, made on its first
  // download and used by every run after it; the worker's alone.
  std::shared_ptr<TConnPool> Pool;
  TDateTime StartTime = 0;
  std::atomic<int32_t> SavedCnt{0};  // never reset: a rerun counts on
  std::atomic<int32_t> TotalCnt{0};
  TShared<std::string> FirstFile;
  // Filled by the editor before the save run starts; entries' Status is
  // the only part that changes during a run.
  std::vector<std::unique_ptr<TJobFile>> FileList;
  std::vector<std::string> TextLines;
  uint8_t TextFmt = 0;  // 0 plain text, 1 HTML
  // The worker of the latest save run; the controller owns it until it has
  // been joined.
  TSharedWeak<TDwnldThd> Worker;
  std::atomic<bool> StopReq{false};
  TShared<std::string> MainMsg;
  TShared<std::string> SecMsg;
  std::atomic<bool> LogResult{false};
  std::atomic<uint8_t> TipKind{0};
  TShared<std::string> CurFile;
  std::atomic<uint8_t> MonState{msQueue};

  // Adds an entry in fsPending.
  TJobFile &AddFile(const std::string &Url, const std::string &LocalName);
};

using PJobRec = std::shared_ptr<TJobRec>;

// The jar of the cookies a browser handed over; nullptr when there are none.
std::shared_ptr<const TCookieJar> Job_CookieJar(const std::vector<TSnapCookie> &Cookies);
