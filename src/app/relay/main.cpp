// The browser's native-messaging host, as "mossgather -Embedding" runs it,
// in a program that loads no windowing library.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "control/uHostRelay.h"
#include "platform/uSpawn.h"
#include "pub/Unit_Pub.h"
#include "pub/uRunVars.h"

int main(int argc, char **argv) {
  // The full program beside this file (not the folder MOSSGATHER_PRGDIR may
  // name): the one installed with it.
  std::string Dir = Fn_ExtractDir(ProgramFile());
  Dir_AddSlash(Dir);
  const std::string Full = Dir + "mossgather";
  if (InstalledProgramFile().empty()) {
    // Without an installed copy the user has to be shown why, in a window
    // this program cannot open: the full host takes over, before anything
    // of the browser's input is read.
    std::vector<char *> Args{const_cast<char *>(Full.c_str()), const_cast<char *>(SwitchEmbedding)};
    for (int I = 1; I < argc; ++I) Args.push_back(argv[I]);
    Args.push_back(nullptr);
    ::execv(Full.c_str(), Args.data());
    std::fprintf(stderr, "mossgather-relay: cannot start %s: %s\n", Full.c_str(), std::strerror(errno));
  }
  auto StartFull = [&Full] {
    std::fprintf(stderr, "mossgather: %s\n", RegKeyError);
    return SpawnDetached(Full, {SwitchRealStr});
  };
  return RunHostRelay(0, 1, BrowserHostOptions(StartFull));
}
