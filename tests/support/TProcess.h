#pragma once
// A child process for tests that run the real programs.
#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

class TProcess {
 public:
  // Starts Exe with Args; Env entries ("NAME=value") are added to the
  // environment (or replace what is there). Output goes to OutFile when given.
  TProcess(const std::string &Exe, const std::vector<std::string> &Args, const std::vector<std::string> &Env = {},
           const std::string &OutFile = "");
  ~TProcess();  // kills a child still running
  TProcess(const TProcess &) = delete;
  TProcess &operator=(const TProcess &) = delete;

  pid_t Pid() const { return FPid; }
  void Signal(int Sig);
  // Waits up to Ms; true with the exit code when it ended (signals give 128+n).
  bool Wait(int Ms, int *ExitCode = nullptr);
  bool Running();

 private:
  pid_t FPid = -1;
  bool FDone = false;
  int FCode = -1;
};

// Polls Done every 20 ms for up to Ms; true when it became true.
bool WaitFor(const std::function<bool()> &Done, int Ms);
