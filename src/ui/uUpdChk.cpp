#include "ui/uUpdChk.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "net/Unit_httpDown.h"
#include "platform/TMainThread.h"
#include "pub/Unit_Pub.h"

namespace {

// The update file is two short lines; anything past this is not read.
constexpr std::streamsize MaxUpdFileBytes = 64 * 1024;
// What the download of the update file takes at most.
constexpr int64_t UpdFileMaxBytes = 1024 * 1024;

// A server's text must not carry control bytes into a log line.
std::string Printable(const std::string &S) {
  std::string Out;
  for (char C : S.substr(0, 200)) Out += (static_cast<unsigned char>(C) < 0x20 || C == 0x7f) ? '?' : C;
  return Out;
}

std::string TrimBlanks(const std::string &S) {
  size_t B = S.find_first_not_of(" \t");
  if (B == std::string::npos) return std::string();
  size_t E = S.find_last_not_of(" \t");
  return S.substr(B, E - B + 1);
}

// Lines end in CR LF, LF or a lone CR; a last line break opens no new line.
std::vector<std::string> SplitLines(const std::string &Text) {
  std::vector<std::string> Lines;
  std::string Cur;
  bool Open = false;
  for (size_t I = 0; I < Text.size(); ++I) {
    char C = Text[I];
    if (C == '\r' || C == '\n') {
      Lines.push_back(Cur);
      Cur.clear();
      Open = false;
      if (C == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
    } else {
      Cur += C;
      Open = true;
    }
  }
  if (Open) Lines.push_back(Cur);
  return Lines;
}

bool IsWebAddress(const std::string &Url) {
  std::string Rest = Url;
  if (!CutPrefix(Rest, "http://") && !CutPrefix(Rest, "https://")) return false;
  if (Rest.empty() || Rest.front() == '/') return false;
  for (unsigned char C : Url)
    if (C <= ' ' || C == 0x7F) return false;
  return true;
}

std::string ReadHead(const std::string &Path) {
  std::ifstream In(Path, std::ios::binary);
  std::string Text(static_cast<size_t>(MaxUpdFileBytes), '\0');
  In.read(Text.data(), MaxUpdFileBytes);
  Text.resize(static_cast<size_t>(In.gcount()));
  return Text;
}

}  // namespace

std::string UpdFileUrl(const std::string &Host) {
  std::string H = Trim(Host);
  if (H.empty()) return std::string();
  if (H.find("://") == std::string::npos) H = "https://" + H;
  while (!H.empty() && H.back() == '/') H.pop_back();
  return H + UpdFilePath;
}

bool StrToFloatDot(const std::string &Text, long double &Value) {
  std::string T = TrimBlanks(Text);
  // A leading "+" reads as the number after it; from_chars takes only "-".
  if (T.size() > 1 && T[0] == '+' && T[1] != '-' && T[1] != '+') T.erase(0, 1);
  if (T.empty()) return false;
  long double V = 0;
  auto [End, Ec] = std::from_chars(T.data(), T.data() + T.size(), V, std::chars_format::general);
  if (Ec != std::errc() || End != T.data() + T.size() || !std::isfinite(V)) return false;
  Value = V;
  return true;
}

bool ParseUpdFile(const std::string &Text, TUpdInfo &Info, std::string *Why) {
  auto Fail = [Why](const std::string &Reason) {
    if (Why) *Why = Reason;
    return false;
  };
  std::string Body = Text;
  if (Body.compare(0, 3, "\xEF\xBB\xBF") == 0) Body.erase(0, 3);
  std::vector<std::string> Lines = SplitLines(Body);
  if (Lines.size() < 2) return Fail("The update file has fewer than two lines");
  long double V = 0;
  if (!StrToFloatDot(Lines[0], V)) return Fail("The update file's version is not a number: " + Printable(Lines[0]));
  float F = static_cast<float>(V);
  if (!std::isfinite(F)) return Fail("The update file's version is out of range: " + Printable(Lines[0]));
  std::string Url = Trim(Lines[1]);
  // The address is handed to the desktop to open, so nothing but a web page
  // may come from the server.
  if (!IsWebAddress(Url)) return Fail("The update file's address is not a web address: " + Printable(Url));
  Info.Version = F;
  Info.Url = Url;
  return true;
}

bool IsNewerVersion(float Published, long double Current) { return static_cast<long double>(Published) - Current > 0.01L; }

int32_t ReminderDays(const std::string &Typed) {
  std::string T = TrimBlanks(Typed);
  if (!T.empty() && T.front() == '+' && T.size() > 1 && T[1] != '-') T.erase(0, 1);
  int32_t N = 0;
  auto [End, Ec] = std::from_chars(T.data(), T.data() + T.size(), N, 10);
  if (T.empty() || Ec != std::errc() || End != T.data() + T.size()) return RemindDefDays;
  return N < RemindMinDays ? RemindMinDays : N > RemindMaxDays ? RemindMaxDays : N;
}

TDateTime NextChkDate(TDateTime Today, int32_t ChkCyc) {
  static const TDateTime First = EncodeDate(1, 1, 1), Last = EncodeDate(9999, 12, 31);
  TDateTime D = std::floor(Today) + static_cast<double>(ChkCyc);
  return D < First ? First : D > Last ? Last : D;
}

bool AutoChkDue(const TAutoChkState &S) {
  if (S.CheckedThisRun || S.DialogShowing || S.EditWindowShowing || S.ChkCyc < 1) return false;
  return std::floor(S.Today) >= std::floor(S.NextChk);
}

TUpdAnswer GetUpdInfo(THttpDownFile &Down, const std::string &Url, const std::string &TempFile, int TimeoutSec,
                      long double Current) {
  TUpdAnswer A;
  if (Url.empty()) {
    A.Error = "No update site is set";
    return A;
  }
  // The file holds two short lines; a site that sends more is not one to
  // fill the disk for.
  Down.SetMaxBytes(UpdFileMaxBytes);
  if (!Down.DownLoad(Url, TempFile, "", "", TimeoutSec)) {
    A.Error = Down.ErrorText();
    if (A.Error.empty()) A.Error = "The download failed";
    std::remove(TempFile.c_str());
    return A;
  }
  std::string Text = ReadHead(TempFile);
  std::remove(TempFile.c_str());
  if (!ParseUpdFile(Text, A.Info, &A.Error)) return A;
  A.Read = true;
  A.Newer = IsNewerVersion(A.Info.Version, Current);
  return A;
}

struct TUpdFetch::TRun {
  THttpDownFile Down;
  std::atomic<bool> Finished{false};  // the worker is done with Down
  bool Dropped = false;               // main thread only: the answer is not wanted
  bool Handed = false;                // main thread only: the answer arrived
  TDone Done;                         // main thread only
};

TUpdFetch::TUpdFetch() = default;

TUpdFetch::~TUpdFetch() {
  if (FRun) FRun->Dropped = true;
  Reap(true);
}

void TUpdFetch::Start(const std::string &Url, const std::string &TempFile, int TimeoutSec, long double Current, TDone Done,
                      std::function<void()> Finally) {
  Cancel();
  Reap(false);
  auto Run = std::make_shared<TRun>();
  Run->Done = std::move(Done);
  if (!FCaFile.empty()) Run->Down.SetCaFile(FCaFile);
  FRun = Run;
  std::thread T([Run, Url, TempFile, TimeoutSec, Current, Finally = std::move(Finally)] {
    TUpdAnswer A = GetUpdInfo(Run->Down, Url, TempFile, TimeoutSec, Current);
    Run->Finished = true;
    TMainThread::Post([Run, A, Finally] {
      if (Finally) Finally();
      Run->Handed = true;
      if (Run->Dropped || !Run->Done) return;
      TDone D = std::move(Run->Done);
      D(A);
    });
  });
  FWorkers.emplace_back(Run, std::move(T));
}

void TUpdFetch::Cancel() {
  if (!FRun) return;
  FRun->Dropped = true;
  FRun->Done = nullptr;
  FRun->Down.StopDown();
  FRun.reset();
}

bool TUpdFetch::Busy() const { return FRun && !FRun->Handed; }

void TUpdFetch::Reap(bool All) {
  for (auto It = FWorkers.begin(); It != FWorkers.end();) {
    if (All || It->first->Finished) {
      if (All) It->first->Down.StopDown();
      It->second.join();
      It = FWorkers.erase(It);
    } else {
      ++It;
    }
  }
}
