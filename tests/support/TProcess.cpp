#include "support/TProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char **environ;

TProcess::TProcess(const std::string &Exe, const std::vector<std::string> &Args, const std::vector<std::string> &Env,
                   const std::string &OutFile) {
  std::vector<std::string> Vars;
  for (char **E = environ; *E; ++E) {
    std::string V = *E;
    bool Replaced = false;
    for (const auto &N : Env)
      if (V.compare(0, N.find('=') + 1, N, 0, N.find('=') + 1) == 0) Replaced = true;
    if (!Replaced) Vars.push_back(V);
  }
  for (const auto &N : Env) Vars.push_back(N);
  std::vector<char *> Argv, Envp;
  std::string ExeCopy = Exe;
  Argv.push_back(ExeCopy.data());
  std::vector<std::string> ArgCopy = Args;
  for (auto &A : ArgCopy) Argv.push_back(A.data());
  Argv.push_back(nullptr);
  for (auto &V : Vars) Envp.push_back(V.data());
  Envp.push_back(nullptr);
  FPid = ::fork();
  if (FPid < 0) throw std::runtime_error("fork failed");
  if (FPid == 0) {
    ::setpgid(0, 0);
    if (!OutFile.empty()) {
      int Fd = ::open(OutFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (Fd >= 0) {
        ::dup2(Fd, 1);
        ::dup2(Fd, 2);
      }
    }
    ::execve(Exe.c_str(), Argv.data(), Envp.data());
    _exit(127);
  }
}

TProcess::~TProcess() {
  if (Running()) {
    ::kill(FPid, SIGKILL);
    Wait(5000);
  }
}

void TProcess::Signal(int Sig) {
  if (!FDone) ::kill(FPid, Sig);
}

bool TProcess::Running() {
  if (FDone || FPid <= 0) return false;
  int St = 0;
  if (::waitpid(FPid, &St, WNOHANG) == FPid) {
    FDone = true;
    FCode = WIFEXITED(St) ? WEXITSTATUS(St) : 128 + WTERMSIG(St);
    return false;
  }
  return true;
}

bool TProcess::Wait(int Ms, int *ExitCode) {
  bool Ended = WaitFor([this] { return !Running(); }, Ms);
  if (Ended && ExitCode) *ExitCode = FCode;
  return Ended;
}

bool WaitFor(const std::function<bool()> &Done, int Ms) {
  auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
  while (!Done()) {
    if (std::chrono::steady_clock::now() > End) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}
