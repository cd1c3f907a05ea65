#include "platform/TChannelClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/uChannelFrame.h"

namespace {

struct TFd {
  int Fd;
  ~TFd() {
    if (Fd >= 0) ::close(Fd);
  }
};

int MsLeft(std::chrono::steady_clock::time_point End) {
  auto L = std::chrono::duration_cast<std::chrono::milliseconds>(End - std::chrono::steady_clock::now()).count();
  return L < 0 ? 0 : static_cast<int>(L);
}

}  // namespace

bool Channel_Request(const std::string &Path, const std::string &Json, std::string &Reply, int TimeoutMs, std::string *Error) {
  auto Fail = [&](const std::string &Why) {
    if (Error) *Error = Why;
    return false;
  };
  auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  sockaddr_un Addr{};
  Addr.sun_family = AF_UNIX;
  if (Path.size() >= sizeof Addr.sun_path) return Fail("socket path too long: " + Path);
  std::memcpy(Addr.sun_path, Path.c_str(), Path.size() + 1);
  TFd S{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  if (S.Fd < 0) return Fail(std::strerror(errno));
  if (::connect(S.Fd, reinterpret_cast<sockaddr *>(&Addr), sizeof Addr) != 0) return Fail(std::strerror(errno));

  std::string Out = Frame_Encode(Json);
  size_t Sent = 0;
  while (Sent < Out.size()) {
    pollfd P{S.Fd, POLLOUT, 0};
    if (::poll(&P, 1, MsLeft(End)) <= 0) return Fail("time-out while sending");
    ssize_t N = ::send(S.Fd, Out.data() + Sent, Out.size() - Sent, MSG_NOSIGNAL);
    if (N < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return Fail(std::strerror(errno));
    }
    Sent += static_cast<size_t>(N);
  }
  TFrameReader Rd;
  char Buf[65536];
  for (;;) {
    if (auto M = Rd.Next()) {
      Reply = *M;
      return true;
    }
    if (Rd.Failed()) return Fail("oversized reply");
    pollfd P{S.Fd, POLLIN, 0};
    int R = ::poll(&P, 1, MsLeft(End));
    if (R == 0) return Fail("no reply in time");
    if (R < 0) {
      if (errno == EINTR) continue;
      return Fail(std::strerror(errno));
    }
    ssize_t N = ::recv(S.Fd, Buf, sizeof Buf, 0);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) return Fail("connection closed before the reply");
    Rd.Feed(std::string_view(Buf, static_cast<size_t>(N)));
  }
}
