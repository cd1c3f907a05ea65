// The save run of a job, on its worker thread: every entry of the file list
// is written, copied or downloaded, then the job's end state and result
// message are decided. The steps see only the job, never the controller.
#include "jobs/uJobSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>

#include "jobs/uDwnldThd.h"
#include "net/Unit_httpDown.h"
#include "net/uConnPool.h"
#include "net/uDownNew.h"
#include "net/uDownRunner.h"
#include "platform/uLocalFile.h"
#include "platform/uUrlRef.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "pub/uMsgKind.h"
#include "pub/uSafeFile.h"

namespace {

// An address as a log line may show it: without a password, and without the
// control bytes that would let a page write lines of its own.
std::string Shown(const std::string &Url) {
  std::string S = Url_NoUserInfo(Url).substr(0, 2000);
  for (char &C : S)
    if (static_cast<unsigned char>(C) < 0x20 || C == 0x7F) C = '?';
  return S;
}

bool SaveText(const PJobRec &Job, TJobFile &Entry) {
  try {
    std::string Text;
    for (const auto &L : Job->TextLines) Text += L + "\n";
    WriteFileAtomic(Entry.LocalName, Text);
    return true;
  } catch (const std::exception &E) {
    Log::ErrFmt(ErrTipsFmt, {"Download text file error!", "TJobCtrl.PJob_Sav_FList-DownFile", E.what()}, true);
    return false;
  }
}

void SaveFiles(const PJobRec &Job, const std::vector<TJobFile *> &Files) {
  auto W = Job->Worker.Get();
  auto Refresh = [&] {
    if (W) W->MonRefresh();
  };
  if (!Job->Pool) Job->Pool = std::make_shared<TConnPool>();
  const TDownLimits Limits = W ? W->Limits : TDownLimits().Bounded();
  const int Retries = W ? W->DownRetries : Limits.Retries, UnitMs = W ? W->RetryUnitMs : 1000;
  auto Runner = std::make_shared<TDownRunner>(Limits, Job->Pool, [&Job, Retries, UnitMs](THttpDownFile &D) {
    // As the browser would fetch them; and a login page that comes back in
    // place of a picture or a movie is no picture.
    D.SetCookieJar(Job->Cookies);
    D.SetUserAgent(Job->UserAgent);
    D.SetRetries(Retries, UnitMs);
    D.SetRefuseWebPage(true);
  });
  Job->Runner.Set(Runner);
  // A stop asked for before the runner was there is not lost: the main
  // thread sets StopReq before it looks for the runner.
  if (Job->StopReq) Runner->StopAll();
  // The file shown is the one started last; when it ends, the one started
  // last of those still running. Changed under one lock, so that a file
  // ending never shows over one starting.
  std::mutex CurMx;
  std::set<size_t> Running;
  auto ShowCurrent = [&] { Job->CurFile.Set(Running.empty() ? std::string() : Files[*Running.rbegin()]->LocalName); };
  try {
    Runner->Run(
        Files.size(), [&](size_t I) { return Down_ServerKey(Files[I]->Url); },
        [&](size_t I, THttpDownFile &D) {
          TJobFile &E = *Files[I];
          {
            std::lock_guard<std::mutex> L(CurMx);
            Running.insert(I);
            E.Status = fsSaving;
            ShowCurrent();
          }
          Refresh();
          const bool Ok = DownFile(Job, E, D);
          Runner->Leave(I);
          {
            std::lock_guard<std::mutex> L(CurMx);
            Running.erase(I);
            E.Status = Ok ? fsSaved : fsFailed;
            if (Ok && ++Job->SavedCnt == 1) Job->FirstFile.Set(E.LocalName);
            ShowCurrent();
          }
          Refresh();
        });
  } catch (...) {
    Job->Runner.Set(nullptr);
    throw;
  }
  Job->Runner.Set(nullptr);
  // The connections stay open for a rerun only as long as the servers keep
  // them; the job does not hold them while it waits.
  Job->Pool->CloseIdle();
}

}  // namespace

bool CopyNew(const std::string &Src, const std::string &Dst, const std::atomic<bool> *Stop) {
  TReadResult Why;
  int In = OpenRegularFile(Src, &Why);
  if (In < 0) {
    Log::ErrFmt(ErrTipsFmt, {"Copy file error!", "TJobCtrl.PJob_Sav_FList-CopyNew", Why.Why}, true);
    return false;
  }
  TSafeFile Out;
  bool Ok = Out.Create(Dst);
  char Buf[256 * 1024];
  bool Stopped = false;
  while (Ok) {
    if (Stop && *Stop) {
      Stopped = true;
      break;
    }
    ssize_t N = ::read(In, Buf, sizeof Buf);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) {
      Ok = N == 0;
      break;
    }
    Ok = Out.Write(Buf, static_cast<size_t>(N));
  }
  ::close(In);
  if (Stopped) return false;  // the unfinished copy goes with Out
  // A file that appeared meanwhile is never replaced.
  Ok = Ok && Out.Close() && Out.Commit(TSafeFile::TCommit::NoReplace);
  if (!Ok) Log::ErrFmt(ErrTipsFmt, {"Copy file error!", "TJobCtrl.PJob_Sav_FList-CopyNew", std::strerror(errno)}, true);
  return Ok;
}

void PJob_Sav_FList(const PJobRec &Job) {
  auto W = Job->Worker.Get();
  auto Refresh = [&] {
    if (W) W->MonRefresh();
  };
  Job->State = jsSaving;
  Job->MonState = msRunning;
  Job->StopReq = false;
  Job->TotalCnt = static_cast<int32_t>(Job->FileList.size());
  Refresh();
  if (Job->TotalCnt < 1) throw EMossError(Format("Exception: %d, %s", {2, "Fail to download files, no files in list!"}));
  // The job's own text first, as the pictures are its attachments: without
  // it a text job has nothing to show, and nothing else is saved.
  std::vector<TJobFile *> Files;
  for (auto &E : Job->FileList) {
    if (E->Status == fsSaved) continue;
    if (E->Url != WebpageContents) {
      Files.push_back(E.get());
      continue;
    }
    Job->CurFile.Set(E->LocalName);
    E->Status = fsSaving;
    Refresh();
    if (!SaveText(Job, *E)) {
      E->Status = fsFailed;
      PJob_Sav_End(Job);
      return;
    }
    E->Status = fsSaved;
    if (++Job->SavedCnt == 1) Job->FirstFile.Set(E->LocalName);
  }
  if (!Files.empty() && !Job->StopReq) SaveFiles(Job, Files);
  PJob_Sav_End(Job);
}

bool DownFile(const PJobRec &Job, TJobFile &Entry, THttpDownFile &D) {
  // A page from the web must not make the program read the user's files.
  if (Url_IsFile(Entry.Url) && !Url_IsFile(Job->PageUrl)) {
    Log::Warn_Job("A web page may not copy a local file: " + Shown(Entry.Url), Job->JobId);
    return false;
  }
  // A picture or a movie never takes the place of a file that is there.
  if (Path_Exists(Entry.LocalName)) {
    Log::Warn_Job(FileExistsText(Shown(Entry.LocalName)), Job->JobId);
    return false;
  }
  std::string Local = Url_LocalFile(Entry.Url, Job->PageUrl);
  if (!Local.empty()) return CopyNew(Local, Entry.LocalName, &Job->StopReq);
  if (Url_IsFile(Entry.Url)) {
    Log::Warn_Job("Not a regular file: " + Shown(Entry.Url), Job->JobId);
    return false;
  }
  std::string Why;
  if (DownLoadNew(D, Entry.Url, Entry.LocalName, Url_Referer(Job->PageUrl, Entry.Url), "", 10, Why)) return true;
  // Why a file was not saved is in the log, the address without a password.
  Log::Warn_Job(Shown(StringReplaceAll(Why, Entry.Url, Shown(Entry.Url))), Job->JobId);
  return false;
}

void PJob_Sav_End(const PJobRec &Job) {
  int32_t Saved = Job->SavedCnt, Total = Job->TotalCnt;
  if (Saved > 0 && Saved == Total) {
    Job->State = jsComplete;
    Job->MonState = msComplete;
  } else if (Saved > 0 && Saved < Total) {
    Job->State = jsWarning;
    Job->MonState = msEndError;
  } else {
    Job->State = jsError;
    Job->MonState = msEndError;
  }
  Job->CurFile.Set("");
  if (auto W = Job->Worker.Get()) W->MonRefresh();
}

void PJob_Sav_Msg(const PJobRec &Job, bool TipOnComplete) {
  uint8_t Kind;
  bool LogIt;
  std::string Main, Sec;
  int32_t Saved = Job->SavedCnt, Total = Job->TotalCnt;
  if (Job->State == jsWarning) {
    Kind = 0;
    LogIt = true;
    Main = Fn_ExtractName(Job->FirstFile.Get());
    Sec = Format("%d / %d files", {Saved, Total});
  } else if (Job->State == jsComplete) {
    Kind = 2;
    LogIt = false;
    Main = Fn_ExtractName(Job->FirstFile.Get());
    int64_t Size = File_SizeOf(Job->FirstFile.Get());
    Sec = Saved == 1 && Size >= 0 ? Fmt_FileSize(Size) : Format("%d files", {Saved});
  } else {
    Kind = 1;
    LogIt = true;
    Main = "No files saved!";
    Sec = "Nothing";
  }
  auto W = Job->Worker.Get();
  if (TipOnComplete || Kind == 1) {
    Job->TipKind = Kind;
    Job->LogResult = LogIt;
    Job->MainMsg.Set(Main);
    Job->SecMsg.Set(Sec);
  } else {
    Job->MainMsg.Set("");
  }
  if (W) W->ShowResult();
}

bool PJob_RmvAttachDir(const PJobRec &Job) {
  if (Job->Kind >= 2) return true;
  if (!Job->AttachDir.empty() && Job->SavedCnt <= 1) return ::rmdir(Job->AttachDir.c_str()) == 0;
  return true;
}
