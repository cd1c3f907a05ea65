// The save run of a job, on its worker thread: every entry of the file list
// is written, copied or downloaded, then the job's end state and result
// message are decided. The steps see only the job, never the controller.
#include "jobs/uJobSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "jobs/uDwnldThd.h"
#include "net/Unit_httpDown.h"
#include "net/uDownNew.h"
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

}  // namespace

bool CopyNew(const std::string &Src, const std::string &Dst) {
  TReadResult Why;
  int In = OpenRegularFile(Src, &Why);
  if (In < 0) {
    Log::ErrFmt(ErrTipsFmt, {"Copy file error!", "TJobCtrl.PJob_Sav_FList-CopyNew", Why.Why}, true);
    return false;
  }
  TSafeFile Out;
  bool Ok = Out.Create(Dst);
  char Buf[256 * 1024];
  while (Ok) {
    ssize_t N = ::read(In, Buf, sizeof Buf);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) {
      Ok = N == 0;
      break;
    }
    Ok = Out.Write(Buf, static_cast<size_t>(N));
  }
  ::close(In);
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
  for (auto &E : Job->FileList) {
    if (E->Status == fsSaved) continue;
    Job->CurFile.Set(E->LocalName);
    E->Status = fsSaving;
    Refresh();
    if (DownFile(Job, *E)) {
      E->Status = fsSaved;
      if (++Job->SavedCnt == 1) Job->FirstFile.Set(E->LocalName);
    } else {
      E->Status = fsFailed;
      if (E->Url == WebpageContents) break;  // without its text a text job has nothing to show
    }
    if (Job->StopReq) break;
  }
  PJob_Sav_End(Job);
}

bool DownFile(const PJobRec &Job, TJobFile &Entry) {
  if (Entry.Url == WebpageContents) {
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
  if (!Local.empty()) return CopyNew(Local, Entry.LocalName);
  if (Url_IsFile(Entry.Url)) {
    Log::Warn_Job("Not a regular file: " + Shown(Entry.Url), Job->JobId);
    return false;
  }
  auto D = Job->Downloader.Get();
  if (!D) {
    D = std::make_shared<THttpDownFile>();
    Job->Downloader.Set(D);
  }
  std::string Why;
  if (DownLoadNew(*D, Entry.Url, Entry.LocalName, Url_Referer(Job->PageUrl, Entry.Url), "", 10, Why)) return true;
  if (Why.rfind(FileExistsText(""), 0) == 0) Log::Warn_Job(Shown(Why), Job->JobId);
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
