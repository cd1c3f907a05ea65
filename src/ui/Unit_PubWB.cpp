#include "ui/Unit_PubWB.h"

#include <QElapsedTimer>
#include <QUrl>

#include "platform/TMainThread.h"
#include "platform/TPageSnapshot.h"
#include "platform/TWebBrowser.h"
#include "pub/Unit_Log.h"

namespace {

// The browser's document stands in for its element count with what the
// snapshot knows of it.
int ElementCount(const THtmlDocument &D) {
  int N = 0;
  try {
    N += D.Images().Length();
  } catch (...) {
  }
  try {
    N += D.Objects().Length() + D.Embeds().Length();
  } catch (...) {
  }
  return N;
}

bool WaitReady(TWebBrowser *Wb, int Seconds) {
  QElapsedTimer T;
  T.start();
  for (;;) {
    if (Wb->ReadyState() == 4) return true;
    TMainThread::WaitStep();
    if (T.elapsed() / 1000 > Seconds) return false;
  }
}

}  // namespace

std::shared_ptr<THtmlDocument> WB_FindByDoc(const std::shared_ptr<THtmlDocument> &Doc) {
  std::shared_ptr<THtmlDocument> Found;
  int FoundCount = 0;
  try {
    const std::string Url = Doc->Url();
    for (const auto &Cand : Doc->ShellWindows()) {
      std::string CandUrl;
      try {
        if (!Cand) continue;
        CandUrl = Cand->Url();
      } catch (...) {
        continue;  // a window whose document cannot be read is skipped
      }
      if (CandUrl != Url) continue;
      int Count = ElementCount(*Cand);
      if (!Found || Count > FoundCount) {
        Found = Cand;
        FoundCount = Count;
      }
    }
  } catch (...) {
    // The search ends; what was found so far is the answer.
  }
  return Found;
}

bool WB_SetBlank(TWebBrowser *Wb) {
  Wb->Navigate(QUrl(QStringLiteral("about:blank")));
  if (WaitReady(Wb, 5)) return true;
  Log::Err(Format(ErrTipsFmt, {"App.ProcMsg Timeout!", "Unit_Pub.WB_SetBlank", ""}), true);
  return false;
}

bool WaitWBRdy(TWebBrowser *Wb, int Seconds) {
  Log::Info("Load VIB List: Using pub.WaitWBRdy to wait!");
  if (WaitReady(Wb, Seconds)) return true;
  Log::Err(Format(ErrTipsFmt, {"App.ProcMsg Timeout!", "Unit_Pub.WaitWBRdy", ""}), true);
  return false;
}

void WB_Clear(TWebBrowser *Wb) {
  if (!Wb || Wb->Tag <= 0) return;
  Wb->Tag = 0;
  Wb->Navigate(QUrl(QStringLiteral("about:blank")));
}

int WB_LoadHtml_Stream(TWebBrowser *Wb, const std::string &Html) {
  try {
    if (!Wb->HasDocument() && !WB_SetBlank(Wb)) {
      Log::Err(Format(ErrTipsFmt, {"WB_SetBlank Error!", "Unit_Pub.WB_LoadHtml_Stream", ""}), true);
      return 1;
    }
    return Wb->LoadStream(Html);
  } catch (...) {
    return 1;
  }
}
