#include "pub/uTempFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>

#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "pub/uRunVars.h"

namespace {
std::mutex HeldMx;
std::set<std::string> Held;

bool IsHeld(const std::string &Path) {
  std::lock_guard L(HeldMx);
  return Held.count(Path) != 0;
}
}  // namespace

void HoldTempFile(const std::string &Path) {
  std::lock_guard L(HeldMx);
  Held.insert(Path);
}

void ReleaseTempFile(const std::string &Path) {
  std::lock_guard L(HeldMx);
  Held.erase(Path);
}

std::string GetTempFileIn(const std::string &PrgDir) {
  std::string Folder = PrgDir + "txtmp/";
  if (!Dir_Exists(Folder) && ::mkdir(Folder.c_str(), 0755) != 0 && !Dir_Exists(Folder))
    throw EMossError(Format(ErrTipsFmt, {"Cannot create dir: " + Folder, "TMPC.GetTempFile", ""}));
  for (int N = 0;; ++N) {
    std::string Cand = Format("%s%s_%d%s", {Folder, "#tmp", N, ".html"});
    if (IsHeld(Cand)) continue;
    struct stat St;
    // A name is taken while its file exists and cannot be deleted.
    if (::lstat(Cand.c_str(), &St) != 0) return Cand;
    if (::unlink(Cand.c_str()) == 0) return Cand;
  }
}

std::string GetTempFile() { return GetTempFileIn(PrgDir); }

void ClearTempFiles(const std::string &PrgDir) {
  std::string Folder = PrgDir + "txtmp/";
  if (Dir_Exists(Folder)) Dir_DelFiles(Folder, "*.html");
}
