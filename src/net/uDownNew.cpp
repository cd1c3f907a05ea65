#include "net/uDownNew.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "net/Unit_httpDown.h"
#include "pub/Unit_Pub.h"

namespace {

// The hidden file a download to Target lands in first. Named after the
// target, so a run cut short is cleaned up by the next download to the same
// target; short, so a long target name still leaves it room.
std::string LandingFile(const std::string &Target) {
  uint64_t H = 1469598103934665603ull;  // FNV-1a: the same name in every run
  for (unsigned char C : Fn_ExtractName(Target)) H = (H ^ C) * 1099511628211ull;
  char Name[40];
  std::snprintf(Name, sizeof Name, ".mossgather-%016llx.new", static_cast<unsigned long long>(H));
  return Fn_ExtractDir(Target) + Name;
}

}  // namespace

std::string FileExistsText(const std::string &Target) { return "The file exists already: " + Target; }

bool DownLoadNew(THttpDownFile &D, const std::string &Url, const std::string &Target, const std::string &Referer,
                 const std::string &Cookie, int TimeoutSec, std::string &Why) {
  if (Path_Exists(Target)) {
    Why = FileExistsText(Target);
    return false;
  }
  const std::string Landing = LandingFile(Target);
  if (!D.DownLoad(Url, Landing, Referer, Cookie, TimeoutSec)) {
    Why = StringReplaceAll(D.ErrorText(), Landing, Target);
    return false;
  }
  if (File_MoveNew(Landing, Target)) return true;
  const int Err = errno;
  ::unlink(Landing.c_str());
  Why = Err == EEXIST ? FileExistsText(Target) : "Can not create file: " + Target + " (" + std::strerror(Err) + ")";
  return false;
}
