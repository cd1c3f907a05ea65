#pragma once
// The program's log: log.txt beside the program, and the same lines for a
// listener (the main window's event-log memo, which takes them over to the
// main thread itself). Lines come from any thread; one lock guards the
// pending list and the file. Info lines wait for the next flush; Fatal lines
// are written at once.
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "pub/uFormat.h"

class TLogger {
 public:
  explicit TLogger(std::string FilePath);  // PrgDir + "log.txt"
  ~TLogger();                              // FlushToFile, then BakLogFile
  TLogger(const TLogger &) = delete;
  TLogger &operator=(const TLogger &) = delete;

  void Err(const std::string &Msg, bool Flush);
  void ErrFmt(std::string_view Fmt, std::initializer_list<TFmtArg> Args, bool Flush);
  void Fatal(const std::string &Msg);
  void FatalFmt(std::string_view Fmt, std::initializer_list<TFmtArg> Args);
  void Info(const std::string &Msg);
  void Info_Job(const std::string &Msg, int JobId);
  void Warn(const std::string &Msg, bool Flush);
  void Warn_Job(const std::string &Msg, int JobId);
  void Way(const std::string &Msg, bool Flush);

  void FlushToFile();
  void BakLogFile();

  // Where each line goes besides the file; called on the thread that logged
  // the line, outside the lock. Empty: the file only.
  void SetMemoSink(std::function<void(const std::string &)> Sink);

  const std::string &FilePath() const { return FFilePath; }
  size_t PendingCount() const;

 private:
  void AddLn(std::string Entry, bool Flush);
  void FlushLocked();

  std::string FFilePath;
  mutable std::mutex FMx;
  std::vector<std::string> FPending;
  std::function<void(const std::string &)> FMemoSink;
};

// The program's one logger, made by CrtMods and cleared by FreeModules.
// Before and after that the helpers below do nothing.
TLogger *Logger();
void SetLogger(TLogger *L);

// Shorthands for the program's log; each is a no-op without a logger.
namespace Log {
void Err(const std::string &Msg, bool Flush = false);
void ErrFmt(std::string_view Fmt, std::initializer_list<TFmtArg> Args, bool Flush = false);
void Fatal(const std::string &Msg);
void FatalFmt(std::string_view Fmt, std::initializer_list<TFmtArg> Args);
void Info(const std::string &Msg);
void Info_Job(const std::string &Msg, int JobId);
void Warn(const std::string &Msg, bool Flush = false);
void Warn_Job(const std::string &Msg, int JobId);
void Way(const std::string &Msg, bool Flush = false);
}  // namespace Log

// The caught-failure convention: Err, Tips: "<tip>"; Mthd: [<place>]; SysMsg: (<msg>)
inline constexpr const char *ErrTipsFmt = "Err, Tips: \"%s\"; Mthd: [%s]; SysMsg: (%s)";
