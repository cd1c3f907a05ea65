#include "platform/TRuntimeDir.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "pub/Unit_Pub.h"
#include "pub/uMossError.h"

namespace {

void EnsurePrivateDir(const std::string &Dir) {
  if (::mkdir(Dir.c_str(), 0700) != 0 && errno != EEXIST)
    throw EMossError("Cannot create runtime folder " + Dir + ": " + std::strerror(errno));
  struct stat St;
  if (::lstat(Dir.c_str(), &St) != 0) throw EMossError("Cannot read runtime folder " + Dir + ": " + std::strerror(errno));
  if (!S_ISDIR(St.st_mode)) throw EMossError("Runtime folder " + Dir + " is not a folder");
  if (St.st_uid != ::getuid()) throw EMossError("Runtime folder " + Dir + " belongs to another user");
  if ((St.st_mode & 077) != 0 && ::chmod(Dir.c_str(), 0700) != 0)
    throw EMossError("Runtime folder " + Dir + " is open to other users");
}

}  // namespace

std::string RuntimeDir() {
  std::string Dir = EnvFolder("XDG_RUNTIME_DIR", "");
  Dir = Dir.empty() ? "/tmp/mossgather-" + std::to_string(::getuid()) : Dir + "/mossgather";
  EnsurePrivateDir(Dir);
  return Dir + "/";
}

std::string ChannelPath(const std::string &AppTitle) { return RuntimeDir() + AppTitle + ".sock"; }

TInstanceLock::~TInstanceLock() { Release(); }

void TInstanceLock::Open(const std::string &Name) {
  Release();
  std::string Path = RuntimeDir() + Name + ".lock";
  FFd = ::open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (FFd < 0) throw EMossError("Cannot open lock " + Path + ": " + std::strerror(errno));
}

bool TInstanceLock::TryLock(const std::string &Name) {
  Open(Name);
  FHeld = ::flock(FFd, LOCK_EX | LOCK_NB) == 0;
  return FHeld;
}

void TInstanceLock::Release() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
  FHeld = false;
}
