#pragma once
// One client connection for the downloader: TCP, with TLS over it for https.
// The socket is non-blocking and every wait is a poll() on it and on a
// wake-up descriptor, so a stop from another thread ends any wait at once
// (connect, handshake, send or receive) and each wait has its own time-out.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "pub/uMossError.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_session_st SSL_SESSION;

// A failure that may pass when tried again a little later: a connection
// refused, reset or timed out, a server that is overloaded or busy.
class ENetTransient : public EMossError {
 public:
  explicit ENetTransient(const std::string &Msg, int64_t RetryAfterSec = -1) : EMossError(Msg), RetryAfterSec(RetryAfterSec) {}
  int64_t RetryAfterSec;  // how long the server asked us to wait; -1 when it did not say
};

class TNetConn {
 public:
  enum class TIo { Ready, Closed, Timeout, Stopped };

  // WakeFd becomes readable when the owner wants every wait to end.
  explicit TNetConn(int WakeFd) : FWakeFd(WakeFd) {}
  ~TNetConn() { Close(); }
  TNetConn(const TNetConn &) = delete;
  TNetConn &operator=(const TNetConn &) = delete;

  // Connects to the first address of Name that answers. Errors throw
  // EMossError with the system's reason (ENetTransient when trying again
  // later may help).
  TIo Connect(const std::string &Name, uint16_t Port, int TimeoutMs);
  // Runs the TLS handshake, verifying the certificate for Name (a host name
  // or an IP address) against Ctx's trust store; with Resume, the server
  // may take up that earlier session instead of a full handshake.
  TIo StartTls(SSL_CTX *Ctx, const std::string &Name, int TimeoutMs, SSL_SESSION *Resume = nullptr);
  // The handshake took up an earlier session.
  bool TlsResumed() const;
  // The session to resume a later connection with (a reference the caller
  // frees); nullptr when there is none.
  SSL_SESSION *TlsSession() const;
  TIo SendAll(const std::string &Data, int TimeoutMs);
  // Receives what is there, up to Len bytes (TLS: as many records as fit
  // without waiting); Ready with Got > 0, or Closed at the end of the stream.
  TIo Recv(char *Buf, size_t Len, int TimeoutMs, size_t &Got);

  // The TLS peer ended the stream with a bare TCP close, without the
  // close_notify that tells a complete stream from a cut one. Recv reports
  // such an end as Closed all the same: many servers end so once the body's
  // own length is sent, and only a body read to the close is left unsure.
  bool TlsCut() const { return FTlsCut; }

  bool IsOpen() const { return FFd >= 0; }
  // An idle connection can take another request: it is open and the peer
  // has neither closed it nor sent anything unasked.
  bool IdleAlive() const;
  // The wake-up descriptor of whoever uses the connection now.
  void SetWakeFd(int WakeFd) { FWakeFd = WakeFd; }
  void Close();
  // Any thread: breaks the connection so that the owner's waits return.
  void Shutdown();

 private:
  TIo Wait(short Events, int TimeoutMs);
  TIo RecvTls(char *Buf, size_t Len, int TimeoutMs, size_t &Got);

  int FWakeFd;
  int FFd = -1;  // written by the owner only, under FFdMx so Shutdown never meets a reused number
  std::mutex FFdMx;
  SSL *FSsl = nullptr;
  bool FTlsCut = false;
};

// The client context for https: peer verification against CaFile, or the
// system's trust store when CaFile is empty; TLS 1.2 at least. Throws
// EMossError when the trust store cannot be loaded.
SSL_CTX *NetConn_NewTlsCtx(const std::string &CaFile);
void NetConn_FreeTlsCtx(SSL_CTX *Ctx);
void NetConn_FreeSession(SSL_SESSION *Session);  // nullptr is fine
