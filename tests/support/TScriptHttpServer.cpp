#include "support/TScriptHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

TScriptHttpServer::TScriptHttpServer() { Listen(); }

TScriptHttpServer::TScriptHttpServer(const std::string &CertFile, const std::string &KeyFile) {
  // A client that goes away while we write must not end the test process.
  signal(SIGPIPE, SIG_IGN);
  FTlsCtx = SSL_CTX_new(TLS_server_method());
  if (!FTlsCtx || SSL_CTX_use_certificate_chain_file(FTlsCtx, CertFile.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(FTlsCtx, KeyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
    SSL_CTX_free(FTlsCtx);
    throw std::runtime_error("scripted server: can not load " + CertFile);
  }
  Listen();
}

void TScriptHttpServer::Listen() {
  FStopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  FListenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (FStopFd < 0 || FListenFd < 0) throw std::runtime_error("scripted server: no socket");
  int One = 1;
  setsockopt(FListenFd, SOL_SOCKET, SO_REUSEADDR, &One, sizeof One);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Len = sizeof A;
  if (bind(FListenFd, reinterpret_cast<sockaddr *>(&A), sizeof A) != 0 || listen(FListenFd, 64) != 0 ||
      getsockname(FListenFd, reinterpret_cast<sockaddr *>(&A), &Len) != 0)
    throw std::runtime_error("scripted server: can not listen");
  FPort = ntohs(A.sin_port);
  FAcceptThread = std::thread([this] { AcceptLoop(); });
}

TScriptHttpServer::~TScriptHttpServer() {
  {
    std::lock_guard<std::mutex> L(FMx);
    FStopping = true;
  }
  FCv.notify_all();
  uint64_t One = 1;
  (void)!write(FStopFd, &One, sizeof One);
  FAcceptThread.join();
  std::vector<std::thread> Conns;
  {
    std::lock_guard<std::mutex> L(FMx);
    Conns.swap(FConnThreads);
  }
  for (std::thread &T : Conns) T.join();
  close(FListenFd);
  close(FStopFd);
  SSL_CTX_free(FTlsCtx);
}

std::string TScriptHttpServer::Url(const std::string &Target) const {
  return (FTlsCtx ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(FPort) + Target;
}

void TScriptHttpServer::On(const std::string &Target, TScript Steps) { OnEach(Target, {std::move(Steps)}); }

void TScriptHttpServer::OnEach(const std::string &Target, std::vector<TScript> Scripts) {
  std::lock_guard<std::mutex> L(FMx);
  FScripts[Target] = std::move(Scripts);
  FServed[Target] = 0;
}

void TScriptHttpServer::KeepAlive(int MaxRequests, bool DropNext) {
  std::lock_guard<std::mutex> L(FMx);
  FMaxRequests = MaxRequests < 1 ? 1 : MaxRequests;
  FDropNext = DropNext;
}

size_t TScriptHttpServer::Accepted() const {
  std::lock_guard<std::mutex> L(FMx);
  return FAccepted;
}

void TScriptHttpServer::Release() {
  {
    std::lock_guard<std::mutex> L(FMx);
    FReleased = true;
  }
  FCv.notify_all();
}

int TScriptHttpServer::MaxInFlight() const {
  std::lock_guard<std::mutex> L(FMx);
  return FMaxInFlight;
}

bool TScriptHttpServer::WaitRelease() const {
  std::unique_lock<std::mutex> L(FMx);
  FCv.wait(L, [&] { return FReleased || FStopping; });
  return !FStopping;
}

std::vector<std::string> TScriptHttpServer::Requests() const {
  std::lock_guard<std::mutex> L(FMx);
  return FRequests;
}

std::vector<int> TScriptHttpServer::RequestConns() const {
  std::lock_guard<std::mutex> L(FMx);
  return FRequestConns;
}

std::vector<std::string> TScriptHttpServer::Targets() const {
  std::vector<std::string> Out;
  for (const std::string &R : Requests()) {
    size_t A = R.find(' '), B = A == std::string::npos ? A : R.find(' ', A + 1);
    Out.push_back(B == std::string::npos ? std::string() : R.substr(A + 1, B - A - 1));
  }
  return Out;
}

bool TScriptHttpServer::WaitRequests(size_t N, int TimeoutMs) const {
  std::unique_lock<std::mutex> L(FMx);
  return FCv.wait_for(L, std::chrono::milliseconds(TimeoutMs), [&] { return FRequests.size() >= N; });
}

std::string TScriptHttpServer::Response(const std::string &Status, const std::string &Body, const std::string &Headers) {
  return "HTTP/1.1 " + Status + "\r\nContent-Length: " + std::to_string(Body.size()) + "\r\n" + Headers + "\r\n" + Body;
}

bool TScriptHttpServer::WaitStop(int Ms) const {
  pollfd P{FStopFd, POLLIN, 0};
  return poll(&P, 1, Ms) > 0;
}

void TScriptHttpServer::AcceptLoop() {
  for (;;) {
    pollfd P[2] = {{FListenFd, POLLIN, 0}, {FStopFd, POLLIN, 0}};
    if (poll(P, 2, -1) < 0 && errno != EINTR) return;
    if (P[1].revents) return;
    if (!(P[0].revents & POLLIN)) continue;
    int Fd = accept4(FListenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (Fd < 0) continue;
    std::lock_guard<std::mutex> L(FMx);
    const int ConnNo = static_cast<int>(++FAccepted);
    FConnThreads.emplace_back([this, Fd, ConnNo] { Serve(Fd, ConnNo); });
  }
}

void TScriptHttpServer::Serve(int Fd, int ConnNo) {
  SSL *Ssl = nullptr;
  if (FTlsCtx) {
    // TLS is served blocking, each wait bounded; the clients are the tests' own.
    timeval Tv{10, 0};
    setsockopt(Fd, SOL_SOCKET, SO_RCVTIMEO, &Tv, sizeof Tv);
    setsockopt(Fd, SOL_SOCKET, SO_SNDTIMEO, &Tv, sizeof Tv);
    Ssl = SSL_new(FTlsCtx);
    SSL_set_fd(Ssl, Fd);
    if (SSL_accept(Ssl) != 1) {
      SSL_free(Ssl);
      close(Fd);
      return;
    }
  }
  int MaxRequests;
  bool DropNext;
  {
    std::lock_guard<std::mutex> L(FMx);
    MaxRequests = FMaxRequests;
    DropNext = FDropNext;
  }
  std::string Pending;  // bytes that came after the last request
  char Buf[4096];
  TScriptStep::TKind Ending = TScriptStep::TKind::Send;  // a normal end
  for (int N = 0;; ++N) {
    // The request, up to its blank line; a client that sends none is dropped.
    while (Pending.find("\r\n\r\n") == std::string::npos && Pending.size() < 65536) {
      ssize_t Got;
      if (Ssl) {
        Got = SSL_read(Ssl, Buf, sizeof Buf);
      } else {
        pollfd P[2] = {{Fd, POLLIN, 0}, {FStopFd, POLLIN, 0}};
        if (poll(P, 2, 10000) <= 0 || P[1].revents) break;
        Got = recv(Fd, Buf, sizeof Buf, 0);
      }
      if (Got <= 0) break;
      Pending.append(Buf, static_cast<size_t>(Got));
    }
    size_t End = Pending.find("\r\n\r\n");
    if (End == std::string::npos) break;
    std::string Req = Pending.substr(0, End + 4);
    Pending.erase(0, End + 4);
    // The one request past the connection's limit goes unanswered.
    if (N >= MaxRequests) break;
    TScript Steps;
    {
      std::lock_guard<std::mutex> L(FMx);
      FRequests.push_back(Req);
      FRequestConns.push_back(ConnNo);
      size_t A = Req.find(' '), B = Req.find(' ', A + 1);
      const std::string Target = Req.substr(A + 1, B - A - 1);
      auto It = FScripts.find(Target);
      if (It != FScripts.end() && !It->second.empty()) {
        size_t &Served = FServed[Target];
        Steps = It->second[std::min(Served, It->second.size() - 1)];
        ++Served;
      } else {
        Steps = {TScriptStep::Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")};
      }
      FMaxInFlight = std::max(FMaxInFlight, ++FInFlight);
    }
    FCv.notify_all();
    bool Over = false;  // the script ended the connection
    for (const TScriptStep &S : Steps) {
      if (S.Kind == TScriptStep::TKind::Send) {
        if (Ssl) {
          if (!S.Bytes.empty()) SSL_write(Ssl, S.Bytes.data(), static_cast<int>(S.Bytes.size()));
          continue;
        }
        for (size_t Off = 0; Off < S.Bytes.size();) {
          pollfd P[2] = {{Fd, POLLOUT, 0}, {FStopFd, POLLIN, 0}};
          if (poll(P, 2, 10000) <= 0 || P[1].revents) break;
          ssize_t Sent = send(Fd, S.Bytes.data() + Off, S.Bytes.size() - Off, MSG_NOSIGNAL);
          if (Sent <= 0) break;
          Off += static_cast<size_t>(Sent);
        }
      } else if (S.Kind == TScriptStep::TKind::Pause) {
        if (WaitStop(S.Ms)) {
          Over = true;
          break;
        }
      } else if (S.Kind == TScriptStep::TKind::Hold) {
        if (!WaitRelease()) {
          Over = true;
          break;
        }
      } else if (S.Kind == TScriptStep::TKind::Stall) {
        // Until the client goes away or the server stops; what the client
        // sends meanwhile is read and dropped (over TLS the session is then
        // beyond use, so it ends without a close_notify).
        if (Ssl) Ending = TScriptStep::TKind::Cut;
        for (;;) {
          pollfd P[2] = {{Fd, POLLIN, 0}, {FStopFd, POLLIN, 0}};
          if (poll(P, 2, -1) < 0 && errno != EINTR) break;
          if (P[1].revents) break;
          if (P[0].revents && recv(Fd, Buf, sizeof Buf, 0) <= 0) break;
        }
        Over = true;
        break;
      } else {
        Ending = S.Kind;
        Over = true;
        break;
      }
    }
    {
      std::lock_guard<std::mutex> L(FMx);
      --FInFlight;
    }
    if (Over || (N + 1 >= MaxRequests && !DropNext)) break;
  }
  if (Ssl) {
    if (Ending == TScriptStep::TKind::Send) SSL_shutdown(Ssl);
    SSL_free(Ssl);
  }
  if (Ending == TScriptStep::TKind::Reset) {
    linger L{1, 0};
    setsockopt(Fd, SOL_SOCKET, SO_LINGER, &L, sizeof L);
  }
  close(Fd);
}
