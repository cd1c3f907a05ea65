#include "pub/Unit_Log.h"

#include <atomic>
#include <cstdio>

#include "pub/Unit_Pub.h"
#include "pub/uRegional.h"

namespace {
std::atomic<TLogger *> GLogger{nullptr};
constexpr int64_t BakLimit = 1048576;
}  // namespace

TLogger *Logger() { return GLogger.load(); }
void SetLogger(TLogger *L) { GLogger.store(L); }

TLogger::TLogger(std::string FilePath) : FFilePath(std::move(FilePath)) {}

TLogger::~TLogger() {
  FlushToFile();
  BakLogFile();
}

void TLogger::SetMemoSink(std::function<void(const std::string &)> Sink) {
  std::lock_guard L(FMx);
  FMemoSink = std::move(Sink);
}

size_t TLogger::PendingCount() const {
  std::lock_guard L(FMx);
  return FPending.size();
}

void TLogger::AddLn(std::string Entry, bool Flush) {
  for (char &C : Entry) {
    if (C == '\r')
      C = '#';
    else if (C == '\n')
      C = ' ';
  }
  // Date and time are read separately, as the line format has them.
  std::string Line = Format("%s_%s: %s", {DateToStr(Now()), TimeToStr(Now()), Entry});
  std::function<void(const std::string &)> Sink;
  {
    std::lock_guard L(FMx);
    FPending.push_back(Line);
    Sink = FMemoSink;
    if (Flush) FlushLocked();
  }
  if (Sink) {
    try {
      Sink(Line);
    } catch (...) {
      // The memo is a convenience; the file has the line.
    }
  }
}

void TLogger::FlushToFile() {
  std::lock_guard L(FMx);
  FlushLocked();
}

void TLogger::FlushLocked() {
  if (FPending.empty()) return;
  std::string Data;
  for (const auto &Ln : FPending) Data += Ln + "\r\n";
  // Append, creating the file when it is missing; any failure keeps the
  // lines for the next try.
  std::FILE *F = std::fopen(FFilePath.c_str(), "ab");
  if (!F) return;
  bool Ok = std::fwrite(Data.data(), 1, Data.size(), F) == Data.size();
  Ok = (std::fflush(F) == 0) && Ok;
  Ok = (std::fclose(F) == 0) && Ok;
  if (Ok) FPending.clear();
}

void TLogger::BakLogFile() {
  if (File_SizeOf(FFilePath) < BakLimit) return;
  std::string Bak = FFilePath + ".bak";
  bool Ok = true;
  if (File_Exists(Bak) && std::remove(Bak.c_str()) != 0) Ok = false;
  if (Ok && std::rename(FFilePath.c_str(), Bak.c_str()) == 0) {
    std::lock_guard L(FMx);
    FPending.clear();
    return;
  }
  Err("Bak log file error!", false);
}

void TLogger::Err(const std::string &Msg, bool Flush) { AddLn(Format("[Error]: %s", {Msg}), Flush); }
void TLogger::ErrFmt(std::string_view Fmt, std::initializer_list<TFmtArg> Args, bool Flush) { Err(Format(Fmt, Args), Flush); }
void TLogger::Fatal(const std::string &Msg) { AddLn(Format("[Fatal]: %s", {Msg}), true); }
void TLogger::FatalFmt(std::string_view Fmt, std::initializer_list<TFmtArg> Args) { Fatal(Format(Fmt, Args)); }
void TLogger::Info(const std::string &Msg) { AddLn(Format("[ Info]: %s", {Msg}), false); }
void TLogger::Info_Job(const std::string &Msg, int JobId) { Info(Format("JobID: %d, %s", {JobId, Msg})); }
void TLogger::Warn(const std::string &Msg, bool Flush) { AddLn(Format("[ Warn]: %s", {Msg}), Flush); }
void TLogger::Warn_Job(const std::string &Msg, int JobId) { Warn(Format("JobID: %d, %s", {JobId, Msg}), false); }
void TLogger::Way(const std::string &Msg, bool Flush) { AddLn(Format("[  Way]: %s", {Msg}), Flush); }

namespace Log {
void Err(const std::string &Msg, bool Flush) {
  if (auto *L = Logger()) L->Err(Msg, Flush);
}
void ErrFmt(std::string_view Fmt, std::initializer_list<TFmtArg> Args, bool Flush) {
  if (auto *L = Logger()) L->ErrFmt(Fmt, Args, Flush);
}
void Fatal(const std::string &Msg) {
  if (auto *L = Logger()) L->Fatal(Msg);
}
void FatalFmt(std::string_view Fmt, std::initializer_list<TFmtArg> Args) {
  if (auto *L = Logger()) L->FatalFmt(Fmt, Args);
}
void Info(const std::string &Msg) {
  if (auto *L = Logger()) L->Info(Msg);
}
void Info_Job(const std::string &Msg, int JobId) {
  if (auto *L = Logger()) L->Info_Job(Msg, JobId);
}
void Warn(const std::string &Msg, bool Flush) {
  if (auto *L = Logger()) L->Warn(Msg, Flush);
}
void Warn_Job(const std::string &Msg, int JobId) {
  if (auto *L = Logger()) L->Warn_Job(Msg, JobId);
}
void Way(const std::string &Msg, bool Flush) {
  if (auto *L = Logger()) L->Way(Msg, Flush);
}
}  // namespace Log
