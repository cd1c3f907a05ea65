#include "platform/uLocalFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/TUrlCache.h"
#include "pub/Unit_Pub.h"

namespace {

TReadFail FailOf(int Err) { return Err == ENOENT || Err == ENOTDIR ? TReadFail::Missing : TReadFail::Unreadable; }

int Refuse(TReadResult *Why, TReadFail Fail, const std::string &Text) {
  if (Why) *Why = {Fail, Text};
  return -1;
}

}  // namespace

int OpenRegularFile(const std::string &Path, TReadResult *Why) {
  // Look before opening: opening a device can have effects of its own.
  struct stat St;
  if (::stat(Path.c_str(), &St) != 0) return Refuse(Why, FailOf(errno), Path + ": " + std::strerror(errno));
  if (!S_ISREG(St.st_mode)) return Refuse(Why, TReadFail::NotRegular, Path + ": not a regular file");
  // Non-blocking, so a FIFO put in its place meanwhile cannot hold the open.
  int Fd = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (Fd < 0) return Refuse(Why, FailOf(errno), Path + ": " + std::strerror(errno));
  if (::fstat(Fd, &St) != 0 || !S_ISREG(St.st_mode)) {
    ::close(Fd);
    return Refuse(Why, TReadFail::NotRegular, Path + ": not a regular file");
  }
  if (Why) *Why = {};
  return Fd;
}

TReadResult ReadRegularFile(const std::string &Path, std::string &Out, size_t MaxBytes) {
  Out.clear();
  TReadResult R;
  int Fd = OpenRegularFile(Path, &R);
  if (Fd < 0) return R;
  auto Fail = [&](TReadFail F, const std::string &Text) {
    ::close(Fd);
    Out.clear();
    Out.shrink_to_fit();
    return TReadResult{F, Path + ": " + Text};
  };
  const std::string Over = "larger than " + std::to_string(MaxBytes) + " bytes";
  struct stat St;
  if (::fstat(Fd, &St) != 0) return Fail(TReadFail::Unreadable, std::strerror(errno));
  if (static_cast<uint64_t>(St.st_size) > MaxBytes) return Fail(TReadFail::TooLarge, Over);
  Out.reserve(static_cast<size_t>(St.st_size));
  char Buf[65536];
  for (;;) {
    // One byte past the bound is enough to know a growing file is too large.
    size_t Want = sizeof Buf;
    if (MaxBytes - Out.size() < Want) Want = MaxBytes - Out.size() + 1;
    ssize_t N = ::read(Fd, Buf, Want);
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) return Fail(TReadFail::Unreadable, errno == EAGAIN ? "reading would block" : std::strerror(errno));
    if (N == 0) break;
    if (static_cast<size_t>(N) > MaxBytes - Out.size()) return Fail(TReadFail::TooLarge, Over);
    Out.append(Buf, static_cast<size_t>(N));
  }
  ::close(Fd);
  return R;
}

bool ReadWholeFile(const std::string &Path, std::string &Out, size_t MaxBytes) {
  return ReadRegularFile(Path, Out, MaxBytes).Ok();
}

namespace {

// The path a "file:///" address names, when it names a regular file.
std::string RegularFileOf(const std::string &Url) {
  std::string U = Trim(Url);
  if (U.compare(5, 3, "///") != 0) return {};  // another host's file is no local file
  std::string Path = Url_Decode(U.substr(7, U.find_first_of("?#") - 7));
  // A NUL would make the system read a shorter path than the one checked.
  if (Path.find('\0') != std::string::npos) return {};
  struct stat St;
  if (::stat(Path.c_str(), &St) != 0 || !S_ISREG(St.st_mode)) return {};
  return Path;
}

}  // namespace

std::string Url_LocalFile(const std::string &Url, const std::string &PageUrl) {
  if (Url_IsFile(Url)) return Url_IsFile(PageUrl) ? RegularFileOf(Url) : std::string();
  return TUrlCache::Default().LocalFile(Url);
}
