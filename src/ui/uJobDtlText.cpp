#include "ui/uJobDtlText.h"

#include "net/Unit_httpDown.h"
#include "net/uDownRunner.h"
#include "pub/Unit_Pub.h"

namespace {
void AddEntry(std::string &Text, const TJobFile &F) {
  Text += Format("\n From: %s\n   To: %s", {Url_NoUserInfo(F.Url), F.LocalName});
}
}  // namespace

std::string JobDtlText(const TJobRec &Job, TDateTime NowT) {
  std::string Unsaved, Saved, SavingUrl, SavingFile;
  // The worker changes only the entries' status while it runs; the list
  // itself stays as the editor made it.
  for (const auto &F : Job.FileList) {
    switch (F->Status.load()) {
      case fsPending:
      case fsFailed:
        AddEntry(Unsaved, *F);
        break;
      case fsSaved:
        AddEntry(Saved, *F);
        break;
      case fsSaving:
        SavingUrl = Url_NoUserInfo(F->Url);
        SavingFile = F->LocalName;
        AddEntry(Unsaved, *F);
        break;
      default:
        break;
    }
  }
  std::vector<std::string> L;
  L.push_back(Format("JobID: %d", {Job.JobId.load()}));
  L.push_back(Format("Title: %s", {Job.Title}));
  L.push_back(Format("Save time: %s", {TimeToStr(Job.StartTime)}));
  L.emplace_back();
  const uint8_t Mon = Job.MonState;
  if (Mon == msRunning) {
    L.emplace_back(MonStateText(Mon));
    // The action is that of the file started last, the one shown below;
    // the ratio and the totals are those of every running transfer.
    auto R = Job.Runner.Get();
    auto D = R ? R->LastStartedDown() : nullptr;
    if (D && D->IsBusy()) {
      double Recv = 0, Total = 0;
      for (const auto &Each : R->Downloaders())
        if (Each->IsBusy()) {
          Recv += static_cast<double>(Each->RecvBytes());
          Total += static_cast<double>(Each->TotalBytes());
        }
      const double Ratio = Total == 0 ? 0.0 : Recv * 100.0 / Total;
      L.emplace_back();
      L.push_back("Http Action: " + D->StatusText());
      L.push_back(Format("  D/L Ratio: %.2f%s;", {Ratio, "%"}));
      L.push_back(Format("  D/L-Total: %.2fK - %.2fK ", {Recv / 1024, Total / 1024}));
      L.emplace_back();
    }
    L.push_back(Format("Time Started: %s", {DateTimeToStr(Job.StartTime)}));
    L.push_back(Format("Time Elapsed: %s", {TimeToStr(NowT - Job.StartTime)}));
    L.emplace_back();
    L.push_back(Format("Saving url : %s", {SavingUrl}));
    L.push_back(Format("Saving file: %s", {SavingFile}));
    L.emplace_back();
  } else if (Mon == msQueue || Mon == msEndError || Mon == msComplete) {
    L.emplace_back(MonStateText(Mon));
  }
  const int32_t SavedCnt = Job.SavedCnt, TotalCnt = Job.TotalCnt;
  L.push_back(Format("Saved file count: %d", {SavedCnt}));
  L.push_back(Format("Total file count: %d", {TotalCnt}));
  L.emplace_back();
  L.push_back(SavedCnt > 0 && SavedCnt == TotalCnt ? std::string("All files saved!") : "UnSaved file list: " + Unsaved);
  L.emplace_back();
  L.push_back("Saved file list: " + Saved);
  std::string Out;
  for (size_t I = 0; I < L.size(); ++I) {
    if (I) Out += '\n';
    Out += L[I];
  }
  return Out;
}

std::vector<std::string> JobUrlList(const TJobRec &Job) {
  std::vector<std::string> Urls;
  Urls.reserve(Job.FileList.size());
  // A picture's address may carry the page's password, resolved from it.
  for (const auto &F : Job.FileList) Urls.push_back(Url_NoUserInfo(F->Url == WebpageContents ? Job.PageUrl : F->Url));
  return Urls;
}

std::string UrlListFileName(const std::string &Chosen) {
  return Chosen.find('.') == std::string::npos ? Chosen + ".txt" : Chosen;
}

const char *JobTypeText(uint8_t Kind) { return Kind <= jkFlash ? KindTypeText(Kind) : "unKnown"; }
