#include "pub/uRunVars.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "pub/Unit_Pub.h"

int StartMode = 3;
std::atomic<uint8_t> SysState{0};
std::atomic<bool> InitFailed{false};
bool FirstRun = false;
bool AppMinimized = false;
std::string ExeName;
std::string PrgDir;
int VScrollWidth = 17;

int ParseStartMode(int Argc, const char *const *Argv) {
  if (Argc < 2 || !Argv[1]) return 3;
  if (std::strcmp(Argv[1], SwitchEmbedding) == 0) return 1;
  if (std::strcmp(Argv[1], SwitchRealStr) == 0) return 2;
  return 3;
}

std::string ProgramFile() {
  char Buf[4096];
  ssize_t N = ::readlink("/proc/self/exe", Buf, sizeof Buf - 1);
  if (N <= 0) return {};
  return std::string(Buf, static_cast<size_t>(N));
}

std::string ProgramDir() {
  std::string Dir;
  if (const char *E = std::getenv("MOSSGATHER_PRGDIR"); E && *E)
    Dir = E;
  else
    Dir = Fn_ExtractDir(ProgramFile());
  Dir_AddSlash(Dir);
  return Dir;
}
