#include "platform/uSpawn.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

bool SpawnDetached(const std::string &Exe, const std::vector<std::string> &Args) {
  std::vector<std::string> Copy = Args;
  std::vector<char *> Argv;
  std::string E = Exe;
  Argv.push_back(E.data());
  for (auto &A : Copy) Argv.push_back(A.data());
  Argv.push_back(nullptr);
  int Ok[2];
  if (::pipe2(Ok, O_CLOEXEC) != 0) return false;
  pid_t Pid = ::fork();
  if (Pid < 0) return false;
  if (Pid == 0) {
    ::setsid();
    if (::fork() != 0) _exit(0);
    int Null = ::open("/dev/null", O_RDWR);
    if (Null >= 0) {
      ::dup2(Null, 0);
      ::dup2(Null, 1);
    }
    ::execv(Exe.c_str(), Argv.data());
    // Tell the starter that the program could not be run.
    char B = 1;
    [[maybe_unused]] ssize_t N = ::write(Ok[1], &B, 1);
    _exit(127);
  }
  ::close(Ok[1]);
  int St = 0;
  ::waitpid(Pid, &St, 0);
  char B;
  bool Failed = ::read(Ok[0], &B, 1) == 1;  // the pipe closes unread when exec succeeded
  ::close(Ok[0]);
  return !Failed;
}
