// A TCP proxy on loopback that holds every byte a fixed time in each
// direction, so that a download over it meets the round trip of a real
// network (these machines have no traffic shaping in the kernel). It does
// not limit the bandwidth and does not look into what it carries, so TLS
// passes through as it is.
//
//   moss-delay-proxy LISTEN_PORT TARGET_PORT DELAY_MS
//
// Prints "ready" once it listens; ends on SIGTERM or SIGINT.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// Bytes read but not yet due beyond this stop the reading of that side, so
// that a fast sender meets the slow receiver's back-pressure.
constexpr size_t MaxQueued = 8 << 20;

struct TChunk {
  Clock::time_point Due;
  std::string Bytes;  // empty: the sender closed its side
};

struct TConn;

// One direction of a connection: what From sent, held until due, then
// written to To.
struct TPipe {
  int From = -1, To = -1;
  std::deque<TChunk> Queue;
  size_t Queued = 0;
  size_t Sent = 0;  // of the front chunk
  bool ReadEnd = false, WriteEnd = false;
};

struct TConn {
  int Client = -1, Server = -1;
  TPipe Up, Down;  // client to server, server to client
  bool Connected = false;
};

volatile sig_atomic_t Stop = 0;
int Ep = -1;
std::chrono::microseconds Delay;
std::map<int, std::shared_ptr<TConn>> ByFd;

void SetEvents(int Fd, uint32_t Ev, bool Add = false) {
  epoll_event E{};
  E.events = Ev;
  E.data.fd = Fd;
  epoll_ctl(Ep, Add ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, Fd, &E);
}

void Close(const std::shared_ptr<TConn> &C) {
  for (int Fd : {C->Client, C->Server})
    if (Fd >= 0) {
      epoll_ctl(Ep, EPOLL_CTL_DEL, Fd, nullptr);
      ByFd.erase(Fd);
      close(Fd);
    }
  C->Client = C->Server = -1;
}

// What each side of C waits for now.
void Arm(const std::shared_ptr<TConn> &C) {
  auto Want = [&](int Fd) {
    uint32_t Ev = 0;
    for (TPipe *P : {&C->Up, &C->Down}) {
      if (P->From == Fd && !P->ReadEnd && P->Queued < MaxQueued && C->Connected) Ev |= EPOLLIN;
      if (P->To == Fd && !P->Queue.empty() && P->Queue.front().Due <= Clock::now() && !P->WriteEnd) Ev |= EPOLLOUT;
    }
    if (Fd == C->Server && !C->Connected) Ev |= EPOLLOUT;
    return Ev;
  };
  SetEvents(C->Client, Want(C->Client));
  SetEvents(C->Server, Want(C->Server));
}

bool ReadSide(TPipe &P) {
  char Buf[65536];
  for (;;) {
    ssize_t N = recv(P.From, Buf, sizeof Buf, 0);
    if (N > 0) {
      P.Queue.push_back({Clock::now() + Delay, std::string(Buf, static_cast<size_t>(N))});
      P.Queued += static_cast<size_t>(N);
      if (P.Queued >= MaxQueued) return true;
      continue;
    }
    if (N == 0) {
      P.ReadEnd = true;
      P.Queue.push_back({Clock::now() + Delay, {}});
      return true;
    }
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

// Writes what is due; false when the connection is beyond use.
bool WriteSide(TPipe &P) {
  const auto Now = Clock::now();
  while (!P.Queue.empty() && P.Queue.front().Due <= Now) {
    TChunk &F = P.Queue.front();
    if (F.Bytes.empty()) {
      shutdown(P.To, SHUT_WR);
      P.WriteEnd = true;
      P.Queue.pop_front();
      continue;
    }
    ssize_t N = send(P.To, F.Bytes.data() + P.Sent, F.Bytes.size() - P.Sent, MSG_NOSIGNAL);
    if (N < 0) {
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    P.Sent += static_cast<size_t>(N);
    if (P.Sent == F.Bytes.size()) {
      P.Queued -= F.Bytes.size();
      P.Sent = 0;
      P.Queue.pop_front();
    }
  }
  return true;
}

void Accept(int Listen, uint16_t Target) {
  for (;;) {
    int Fd = accept4(Listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (Fd < 0) return;
    int S = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_port = htons(Target);
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (S < 0 || (connect(S, reinterpret_cast<sockaddr *>(&A), sizeof A) != 0 && errno != EINPROGRESS)) {
      close(Fd);
      if (S >= 0) close(S);
      continue;
    }
    int One = 1;
    setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &One, sizeof One);
    setsockopt(S, IPPROTO_TCP, TCP_NODELAY, &One, sizeof One);
    auto C = std::make_shared<TConn>();
    C->Client = Fd;
    C->Server = S;
    C->Up.From = C->Down.To = Fd;
    C->Up.To = C->Down.From = S;
    ByFd[Fd] = ByFd[S] = C;
    SetEvents(Fd, 0, true);
    SetEvents(S, EPOLLOUT, true);
  }
}

}  // namespace

int main(int Argc, char **Argv) {
  if (Argc != 4) {
    std::fprintf(stderr, "usage: moss-delay-proxy LISTEN_PORT TARGET_PORT DELAY_MS\n");
    return 2;
  }
  const auto ListenPort = static_cast<uint16_t>(std::atoi(Argv[1]));
  const auto Target = static_cast<uint16_t>(std::atoi(Argv[2]));
  Delay = std::chrono::microseconds(static_cast<int64_t>(std::atof(Argv[3]) * 1000));
  signal(SIGPIPE, SIG_IGN);
  struct sigaction Sa {};
  Sa.sa_handler = [](int) { Stop = 1; };
  sigaction(SIGTERM, &Sa, nullptr);
  sigaction(SIGINT, &Sa, nullptr);

  int Listen = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  int One = 1;
  setsockopt(Listen, SOL_SOCKET, SO_REUSEADDR, &One, sizeof One);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_port = htons(ListenPort);
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(Listen, reinterpret_cast<sockaddr *>(&A), sizeof A) != 0 || listen(Listen, 512) != 0) {
    std::fprintf(stderr, "moss-delay-proxy: can not listen on port %u: %s\n", ListenPort, std::strerror(errno));
    return 1;
  }
  Ep = epoll_create1(EPOLL_CLOEXEC);
  SetEvents(Listen, EPOLLIN, true);
  // Chunks fall due to the microsecond: a wait in whole milliseconds would
  // add up to one to every hop.
  const int Timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  SetEvents(Timer, EPOLLIN, true);
  std::printf("ready\n");
  std::fflush(stdout);

  epoll_event Ev[256];
  while (!Stop) {
    // Sleep until the next chunk falls due, or something happens.
    auto Next = Clock::time_point::max();
    for (const auto &[Fd, C] : ByFd)
      for (const TPipe *P : {&C->Up, &C->Down})
        if (!P->Queue.empty() && P->Queue.front().Due < Next) Next = P->Queue.front().Due;
    itimerspec Ts{};
    if (Next != Clock::time_point::max()) {
      // steady_clock is CLOCK_MONOTONIC; a time of 0 would disarm the timer.
      auto Ns = std::max<int64_t>(1, std::chrono::duration_cast<std::chrono::nanoseconds>(Next.time_since_epoch()).count());
      Ts.it_value.tv_sec = Ns / 1000000000;
      Ts.it_value.tv_nsec = Ns % 1000000000;
    }
    timerfd_settime(Timer, TFD_TIMER_ABSTIME, &Ts, nullptr);
    int N = epoll_wait(Ep, Ev, 256, 1000);
    for (int I = 0; I < N; ++I) {
      const int Fd = Ev[I].data.fd;
      if (Fd == Timer) {
        uint64_t Expired;
        (void)!read(Timer, &Expired, sizeof Expired);
        continue;
      }
      if (Fd == Listen) {
        Accept(Listen, Target);
        continue;
      }
      auto It = ByFd.find(Fd);
      if (It == ByFd.end()) continue;
      std::shared_ptr<TConn> C = It->second;
      if (Fd == C->Server && !C->Connected) {
        int Err = 0;
        socklen_t L = sizeof Err;
        getsockopt(Fd, SOL_SOCKET, SO_ERROR, &Err, &L);
        if (Err != 0) {
          Close(C);
          continue;
        }
        C->Connected = true;
      }
      if (Ev[I].events & EPOLLERR) {
        Close(C);
        continue;
      }
      bool Ok = true;
      if (Ev[I].events & (EPOLLIN | EPOLLHUP))
        for (TPipe *P : {&C->Up, &C->Down})
          if (P->From == Fd && !P->ReadEnd) Ok = Ok && ReadSide(*P);
      if (!Ok) {
        Close(C);
        continue;
      }
    }
    // Everything due goes out; connections with both sides ended go away.
    std::map<int, std::shared_ptr<TConn>> All = ByFd;
    for (const auto &[Fd, C] : All) {
      if (Fd != C->Client || C->Client < 0) continue;
      if (!WriteSide(C->Up) || !WriteSide(C->Down)) {
        Close(C);
        continue;
      }
      if (C->Up.WriteEnd && C->Down.WriteEnd) {
        Close(C);
        continue;
      }
      Arm(C);
    }
  }
  return 0;
}
