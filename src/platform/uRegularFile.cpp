#include "platform/uRegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

bool ReadRegularFile(const std::string &Path, std::string &Out, size_t Max) {
  Out.clear();
  const int Fd = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (Fd < 0) return false;
  struct stat St;
  bool Ok = ::fstat(Fd, &St) == 0 && S_ISREG(St.st_mode) && static_cast<uint64_t>(St.st_size) <= Max;
  if (Ok) {
    Out.resize(static_cast<size_t>(St.st_size));
    size_t Done = 0;
    while (Done < Out.size()) {
      const ssize_t N = ::read(Fd, Out.data() + Done, Out.size() - Done);
      if (N < 0 && errno == EINTR) continue;
      if (N < 0) Ok = false;
      if (N <= 0) break;  // a file that shrank meanwhile ends here
      Done += static_cast<size_t>(N);
    }
    Out.resize(Ok ? Done : 0);
  }
  ::close(Fd);
  return Ok;
}
