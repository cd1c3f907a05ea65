#pragma once
// One client connection for the downloader: TCP, with TLS over it for https.
// The socket is non-blocking and every wait is a poll() on it and on a
// wake-up descriptor, so a stop from another thread ends any wait at once
// (connect, handshake, send or receive) and each wait has its own time-out.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

class TNetConn {
 public:
  enum class TIo { Ready, Closed, Timeout, Stopped };

  // WakeFd becomes readable when the owner wants every wait to end.
  explicit TNetConn(int WakeFd) : FWakeFd(WakeFd) {}
  ~TNetConn() { Close(); }
  TNetConn(const TNetConn &) = delete;
  TNetConn &operator=(const TNetConn &) = delete;

  // Connects to the first address of Name that answers. Errors throw
  // EMossError with the system's reason.
  TIo Connect(const std::string &Name, uint16_t Port, int TimeoutMs);
  // Runs the TLS handshake, verifying the certificate for Name (a host name
  // or an IP address) against Ctx's trust store.
  TIo StartTls(SSL_CTX *Ctx, const std::string &Name, int TimeoutMs);
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
