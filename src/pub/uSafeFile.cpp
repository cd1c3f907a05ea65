#include "pub/uSafeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pub/Unit_Pub.h"
#include "pub/uMossError.h"

std::function<void(const std::string &)> TSafeFile::AfterWrite;

namespace {

constexpr size_t RandomLen = 6;  // the XXXXXX of mkostemp
constexpr uint64_t WritebackBytes = uint64_t{8} << 20;

std::string DirOf(const std::string &Target) {
  std::string Dir = Fn_ExtractDir(Target);
  return Dir.empty() ? std::string("./") : Dir;
}

// The umask, read without changing it (umask() would, for a moment, for
// every thread); the common 022 when the system does not say.
mode_t ProcessUmask() {
  static const mode_t Mask = [] {
    mode_t M = 022;
    if (FILE *F = std::fopen("/proc/self/status", "re")) {
      char Line[256];
      unsigned V = 0;
      while (std::fgets(Line, sizeof Line, F))
        if (std::sscanf(Line, "Umask: %o", &V) == 1) {
          M = static_cast<mode_t>(V);
          break;
        }
      std::fclose(F);
    }
    return M;
  }();
  return Mask;
}

}  // namespace

TSafeFile::~TSafeFile() { Discard(); }

bool TSafeFile::IsTempName(std::string_view Name) {
  if (Name.size() < 1 + Marker.size() + RandomLen || Name[0] != '.') return false;
  const size_t At = Name.size() - RandomLen - Marker.size();
  return Name.substr(At, Marker.size()) == Marker;
}

void TSafeFile::RemoveStale(const std::string &Dir) {
  std::string D = Dir.empty() ? std::string("./") : Dir;
  Dir_AddSlash(D);
  DIR *H = ::opendir(D.c_str());
  if (!H) return;
  std::vector<std::string> Found;
  while (dirent *E = ::readdir(H))
    if (IsTempName(E->d_name)) Found.emplace_back(E->d_name);
  ::closedir(H);
  for (const std::string &N : Found) {
    const std::string P = D + N;
    int Fd = ::open(P.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (Fd < 0) continue;
    // A lock that is free means the process that wrote it is gone.
    struct stat St;
    if (::fstat(Fd, &St) == 0 && S_ISREG(St.st_mode) && ::flock(Fd, LOCK_EX | LOCK_NB) == 0) ::unlink(P.c_str());
    ::close(Fd);
  }
}

bool TSafeFile::Create(const std::string &Target) {
  Discard();
  std::string Name = Fn_ExtractName(Target);
  if (Name.empty()) {
    errno = EINVAL;
    return false;
  }
  const std::string Dir = DirOf(Target);
  RemoveStale(Dir);
  // Room for the marker and the random part within a name's 255 bytes.
  if (Name.size() > 200) Name.resize(200);
  for (int Try = 0; Try < 100; ++Try) {
    std::string Tmpl = Dir + "." + Name + std::string(Marker) + std::string(RandomLen, 'X');
    int Fd = ::mkostemp(Tmpl.data(), O_CLOEXEC);
    if (Fd < 0) return false;
    // Another writer's clearing may have taken it between the open and the
    // lock; then it has no name any more. (A file system without locks
    // leaves it unlocked, and then nobody clears it away while in use.)
    struct stat St;
    if ((::flock(Fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) || (::fstat(Fd, &St) == 0 && St.st_nlink == 0)) {
      ::close(Fd);
      continue;
    }
    // mkostemp makes it for the owner only; a saved file is for the user's
    // other programs as well, as far as the umask allows.
    ::fchmod(Fd, 0666 & ~ProcessUmask());
    FFd = Fd;
    FWritten = FStarted = 0;
    FPath = Tmpl;
    FTarget = Target;
    return true;
  }
  errno = EEXIST;
  return false;
}

bool TSafeFile::Write(const char *P, size_t N) {
  if (FFd < 0 || FClosed) {
    errno = EBADF;
    return false;
  }
  while (N > 0) {
    ssize_t W = ::write(FFd, P, N);
    if (W < 0 && errno == EINTR) continue;
    if (W == 0) errno = EIO;
    if (W <= 0) return false;
    P += W;
    N -= static_cast<size_t>(W);
    FWritten += static_cast<uint64_t>(W);
  }
  // The disk starts on what is written while more comes, so the flush at
  // the end waits for the last piece only, not for the whole of a large file.
  if (FWritten - FStarted >= WritebackBytes) {
    (void)::sync_file_range(FFd, static_cast<off_t>(FStarted), static_cast<off_t>(FWritten - FStarted), SYNC_FILE_RANGE_WRITE);
    FStarted = FWritten;
  }
  if (AfterWrite) AfterWrite(FPath);
  return true;
}

bool TSafeFile::Truncate() {
  if (FFd < 0 || FClosed) {
    errno = EBADF;
    return false;
  }
  FWritten = FStarted = 0;
  return ::ftruncate(FFd, 0) == 0 && ::lseek(FFd, 0, SEEK_SET) == 0;
}

bool TSafeFile::Close() {
  if (FFd < 0 || FClosed) {
    errno = EBADF;
    return false;
  }
  // The descriptor, and with it the lock, stays until the file has its
  // name: an unlocked temporary file is a killed writer's to any other
  // writer into the folder, which would remove it before the rename.
  FClosed = true;
  return true;
}

bool TSafeFile::Commit(TCommit How) {
  if (FPath.empty() || !FClosed) {
    errno = EBADF;
    return false;
  }
  // A file that takes the place of another is flushed first: a crash soon
  // after the rename could otherwise leave the target empty where the old
  // file had its data. A new name loses nothing that way, and waiting for
  // the disk there would make every download wait for it.
  struct stat St {};
  if (How == TCommit::Replace && ::stat(FTarget.c_str(), &St) == 0 && ::fsync(FFd) != 0) return false;
  const bool Ok = How == TCommit::Replace ? ::rename(FPath.c_str(), FTarget.c_str()) == 0 : File_MoveNew(FPath, FTarget);
  if (Ok) {
    FPath.clear();
    ::close(FFd);
    FFd = -1;
    FClosed = false;
  }
  return Ok;
}

void TSafeFile::Discard() {
  const int Err = errno;
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
  FClosed = false;
  if (!FPath.empty()) ::unlink(FPath.c_str());
  FPath.clear();
  errno = Err;
}

void WriteFileAtomic(const std::string &Path, std::string_view Data) {
  TSafeFile F;
  if (!F.Create(Path) || !F.Write(Data) || !F.Close() || !F.Commit(TSafeFile::TCommit::Replace)) {
    const int Err = errno;
    F.Discard();
    throw EMossError("Cannot write " + Path + ": " + std::strerror(Err));
  }
}
