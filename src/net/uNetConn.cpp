#include "net/uNetConn.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "pub/uFormat.h"
#include "pub/uMossError.h"

namespace {

std::string SysErr(int E) {
  char B[256];
  return strerror_r(E, B, sizeof B);  // the GNU variant: returns the text
}

std::string TlsErr(int SslError) {
  if (unsigned long E = ERR_get_error()) {
    char B[256];
    ERR_error_string_n(E, B, sizeof B);
    return B;
  }
  if (SslError == SSL_ERROR_SYSCALL) return errno ? SysErr(errno) : "connection closed";
  return Format("TLS error %d", {SslError});
}

// OpenSSL's own socket BIO writes with write(), and a peer that has gone
// makes that raise SIGPIPE, which would end the whole program. This one
// sends with MSG_NOSIGNAL; otherwise it is a plain non-blocking socket BIO.
int SockFd(BIO *B) { return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(B))); }

int BioWrite(BIO *B, const char *Data, size_t Len, size_t *Done) {
  BIO_clear_retry_flags(B);
  ssize_t N = send(SockFd(B), Data, Len, MSG_NOSIGNAL);
  if (N >= 0) {
    *Done = static_cast<size_t>(N);
    return 1;
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) BIO_set_retry_write(B);
  return 0;
}

int BioRead(BIO *B, char *Data, size_t Len, size_t *Done) {
  BIO_clear_retry_flags(B);
  ssize_t N = recv(SockFd(B), Data, Len, 0);
  if (N > 0) {
    *Done = static_cast<size_t>(N);
    return 1;
  }
  if (N < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) BIO_set_retry_read(B);
  if (N == 0) errno = 0;  // end of stream, not an error of the system
  return 0;
}

// OpenSSL asks for the end of the stream after a read that gave nothing; only
// so can it tell a peer that hung up without the TLS goodbye.
long BioCtrl(BIO *B, int Cmd, long, void *) {
  if (Cmd == BIO_CTRL_FLUSH) return 1;
  if (Cmd == BIO_CTRL_EOF) {
    char C;
    return recv(SockFd(B), &C, 1, MSG_PEEK | MSG_DONTWAIT) == 0 ? 1 : 0;
  }
  return 0;
}

BIO_METHOD *SockBioMethod() {
  static BIO_METHOD *M = [] {
    BIO_METHOD *Meth = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "mossgather socket");
    BIO_meth_set_write_ex(Meth, BioWrite);
    BIO_meth_set_read_ex(Meth, BioRead);
    BIO_meth_set_ctrl(Meth, BioCtrl);
    return Meth;
  }();
  return M;
}

bool IsIpLiteral(const std::string &Name) {
  unsigned char Buf[sizeof(in6_addr)];
  return inet_pton(AF_INET, Name.c_str(), Buf) == 1 || inet_pton(AF_INET6, Name.c_str(), Buf) == 1;
}

}  // namespace

TNetConn::TIo TNetConn::Wait(short Events, int TimeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto Deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    pollfd P[2] = {{FFd, Events, 0}, {FWakeFd, POLLIN, 0}};
    auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - Clock::now()).count();
    int R = poll(P, 2, Left > 0 ? static_cast<int>(Left) : 0);
    if (R < 0) {
      if (errno == EINTR) continue;
      throw EMossError("poll failed: " + SysErr(errno));
    }
    if (P[1].revents) return TIo::Stopped;
    if (P[0].revents) return TIo::Ready;
    if (Left <= 0) return TIo::Timeout;
  }
}

TNetConn::TIo TNetConn::Connect(const std::string &Name, uint16_t Port, int TimeoutMs) {
  Close();
  addrinfo Hints{};
  Hints.ai_family = AF_UNSPEC;
  Hints.ai_socktype = SOCK_STREAM;
  Hints.ai_flags = AI_NUMERICSERV;
  addrinfo *Res = nullptr;
  int Rc = getaddrinfo(Name.c_str(), std::to_string(Port).c_str(), &Hints, &Res);
  if (Rc != 0) {
    const std::string Msg = Format("Can not resolve host %s: %s", {Name, gai_strerror(Rc)});
    if (Rc == EAI_AGAIN) throw ENetTransient(Msg);
    throw EMossError(Msg);
  }
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> Guard(Res, freeaddrinfo);

  std::string LastErr = "no address";
  for (addrinfo *A = Res; A; A = A->ai_next) {
    int Fd = socket(A->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (Fd < 0) {
      LastErr = SysErr(errno);
      continue;
    }
    {
      std::lock_guard<std::mutex> L(FFdMx);
      FFd = Fd;
    }
    if (connect(Fd, A->ai_addr, A->ai_addrlen) == 0) return TIo::Ready;
    if (errno == EINPROGRESS) {
      TIo W = Wait(POLLOUT, TimeoutMs);
      if (W == TIo::Stopped) {
        Close();
        return W;
      }
      int Err = ETIMEDOUT;
      socklen_t ELen = sizeof Err;
      if (W == TIo::Ready && getsockopt(Fd, SOL_SOCKET, SO_ERROR, &Err, &ELen) != 0) Err = errno;
      if (Err == 0) return TIo::Ready;
      LastErr = SysErr(Err);
    } else {
      LastErr = SysErr(errno);
    }
    Close();
  }
  throw ENetTransient(Format("Can not connect to %s port %d: %s", {Name, Port, LastErr}));
}

TNetConn::TIo TNetConn::StartTls(SSL_CTX *Ctx, const std::string &Name, int TimeoutMs, SSL_SESSION *Resume) {
  FSsl = SSL_new(Ctx);
  BIO *B = FSsl ? BIO_new(SockBioMethod()) : nullptr;
  if (!B) throw EMossError("Can not start TLS: " + TlsErr(SSL_ERROR_SSL));
  BIO_set_data(B, reinterpret_cast<void *>(static_cast<intptr_t>(FFd)));
  BIO_set_init(B, 1);
  SSL_set_bio(FSsl, B, B);
  // Names get SNI and a host-name check; an address is checked as an
  // address and is never sent as a server name.
  if (IsIpLiteral(Name)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(FSsl), Name.c_str());
  } else {
    SSL_set_tlsext_host_name(FSsl, Name.c_str());
    SSL_set1_host(FSsl, Name.c_str());
  }
  if (Resume) SSL_set_session(FSsl, Resume);
  for (;;) {
    ERR_clear_error();
    int R = SSL_connect(FSsl);
    if (R == 1) return TIo::Ready;
    int E = SSL_get_error(FSsl, R);
    if (E == SSL_ERROR_WANT_READ || E == SSL_ERROR_WANT_WRITE) {
      TIo W = Wait(E == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, TimeoutMs);
      if (W != TIo::Ready) return W;
      continue;
    }
    long V = SSL_get_verify_result(FSsl);
    if (V != X509_V_OK)
      throw EMossError(Format("The server's certificate did not verify: %s", {X509_verify_cert_error_string(V)}));
    // A connection cut during the handshake is the network's failure, not
    // the server's refusal.
    if (E == SSL_ERROR_SYSCALL) throw ENetTransient("TLS handshake failed: " + TlsErr(E));
    throw EMossError("TLS handshake failed: " + TlsErr(E));
  }
}

TNetConn::TIo TNetConn::SendAll(const std::string &Data, int TimeoutMs) {
  size_t Off = 0;
  while (Off < Data.size()) {
    const char *P = Data.data() + Off;
    size_t N = Data.size() - Off;
    short WaitFor = POLLOUT;
    if (FSsl) {
      ERR_clear_error();
      size_t W = 0;
      if (SSL_write_ex(FSsl, P, N, &W)) {
        Off += W;
        continue;
      }
      int E = SSL_get_error(FSsl, 0);
      if (E == SSL_ERROR_WANT_READ)
        WaitFor = POLLIN;
      else if (E != SSL_ERROR_WANT_WRITE)
        throw ENetTransient("TLS send failed: " + TlsErr(E));
    } else {
      ssize_t W = send(FFd, P, N, MSG_NOSIGNAL);
      if (W >= 0) {
        Off += static_cast<size_t>(W);
        continue;
      }
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) throw ENetTransient("Send failed: " + SysErr(errno));
    }
    TIo W = Wait(WaitFor, TimeoutMs);
    if (W != TIo::Ready) return W;
  }
  return TIo::Ready;
}

TNetConn::TIo TNetConn::Recv(char *Buf, size_t Len, int TimeoutMs, size_t &Got) {
  Got = 0;
  if (FSsl) return RecvTls(Buf, Len, TimeoutMs, Got);
  for (;;) {
    ssize_t N = recv(FFd, Buf, Len, 0);
    if (N > 0) {
      Got = static_cast<size_t>(N);
      return TIo::Ready;
    }
    if (N == 0) return TIo::Closed;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) throw ENetTransient("Receive failed: " + SysErr(errno));
    TIo W = Wait(POLLIN, TimeoutMs);
    if (W != TIo::Ready) return W;
  }
}

TNetConn::TIo TNetConn::RecvTls(char *Buf, size_t Len, int TimeoutMs, size_t &Got) {
  if (FTlsCut) return TIo::Closed;
  for (;;) {
    ERR_clear_error();
    size_t N = 0;
    if (SSL_read_ex(FSsl, Buf + Got, Len - Got, &N)) {
      Got += N;
      if (Got == Len) return TIo::Ready;
      continue;
    }
    int E = SSL_get_error(FSsl, 0);
    // A bare TCP close is kept in mind: after a fatal TLS error the next
    // call no longer says what it was.
    if (E == SSL_ERROR_SSL && ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) FTlsCut = true;
    // What has been decrypted goes out first; an end or error shows again on
    // the next call.
    if (Got > 0) return TIo::Ready;
    if (FTlsCut || E == SSL_ERROR_ZERO_RETURN) return TIo::Closed;
    if (E == SSL_ERROR_WANT_READ || E == SSL_ERROR_WANT_WRITE) {
      TIo W = Wait(E == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, TimeoutMs);
      if (W != TIo::Ready) return W;
      continue;
    }
    if (E == SSL_ERROR_SYSCALL) throw ENetTransient("TLS receive failed: " + TlsErr(E));
    throw EMossError("TLS receive failed: " + TlsErr(E));
  }
}

bool TNetConn::TlsResumed() const { return FSsl && SSL_session_reused(FSsl) == 1; }

SSL_SESSION *TNetConn::TlsSession() const {
  if (!FSsl) return nullptr;
  SSL_SESSION *S = SSL_get0_session(FSsl);
  // A copy: freeing a connection that ended without the TLS goodbye marks
  // its own session as not to be resumed, and most servers end so.
  return S && SSL_SESSION_is_resumable(S) ? SSL_SESSION_dup(S) : nullptr;
}

bool TNetConn::IdleAlive() const {
  if (FFd < 0 || (FSsl && SSL_pending(FSsl) > 0) || FTlsCut) return false;
  pollfd P{FFd, POLLIN, 0};
  return poll(&P, 1, 0) == 0;
}

void TNetConn::Close() {
  FTlsCut = false;
  if (FSsl) {
    SSL_free(FSsl);
    FSsl = nullptr;
  }
  std::lock_guard<std::mutex> L(FFdMx);
  if (FFd >= 0) {
    ::close(FFd);
    FFd = -1;
  }
}

void TNetConn::Shutdown() {
  std::lock_guard<std::mutex> L(FFdMx);
  if (FFd >= 0) ::shutdown(FFd, SHUT_RDWR);
}

SSL_CTX *NetConn_NewTlsCtx(const std::string &CaFile) {
  SSL_CTX *C = SSL_CTX_new(TLS_client_method());
  if (!C) throw EMossError("Can not start TLS: " + TlsErr(SSL_ERROR_SSL));
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> Guard(C, SSL_CTX_free);
  SSL_CTX_set_min_proto_version(C, TLS1_2_VERSION);
  SSL_CTX_set_verify(C, SSL_VERIFY_PEER, nullptr);
  static const unsigned char Alpn[] = "\x08http/1.1";
  SSL_CTX_set_alpn_protos(C, Alpn, sizeof Alpn - 1);
  ERR_clear_error();
  if (CaFile.empty()) {
    if (SSL_CTX_set_default_verify_paths(C) != 1)
      throw EMossError("Can not load the system's certificates: " + TlsErr(SSL_ERROR_SSL));
  } else if (SSL_CTX_load_verify_locations(C, CaFile.c_str(), nullptr) != 1) {
    throw EMossError(Format("Can not load the CA file %s: %s", {CaFile, TlsErr(SSL_ERROR_SSL)}));
  }
  return Guard.release();
}

void NetConn_FreeTlsCtx(SSL_CTX *Ctx) { SSL_CTX_free(Ctx); }

void NetConn_FreeSession(SSL_SESSION *Session) {
  if (Session) SSL_SESSION_free(Session);
}
