#pragma once
// The connections of a job: each is kept open after a file and taken up by
// the next file to the same scheme, host and port, so that a gallery costs
// one handshake per connection instead of one per picture; and the TLS
// sessions to resume when a new connection must be made. Any number of
// transfers share one pool; a connection belongs to one transfer at a time.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "net/uNetConn.h"

class TConnPool {
 public:
  // The trust store for https: a PEM file of CA certificates; empty means
  // the system's.
  explicit TConnPool(std::string CaFile = "");
  ~TConnPool();
  TConnPool(const TConnPool &) = delete;
  TConnPool &operator=(const TConnPool &) = delete;

  // What a connection is kept under: "https://name:port".
  static std::string Key(bool Tls, const std::string &Name, uint16_t Port);

  // An idle connection to Key that can take a request, or nullptr. The
  // newest is taken first: it is the least likely to have been closed by
  // the server meanwhile.
  std::unique_ptr<TNetConn> Take(const std::string &Key);
  // Keeps C, whose last answer was read to its end, for the next request
  // to Key; the oldest idle connections are closed beyond the pool's bound.
  void Give(const std::string &Key, std::unique_ptr<TNetConn> C);
  // Remembers C's TLS session for Key, so that a later connection resumes it.
  void KeepSession(const std::string &Key, const TNetConn &C);
  // The session to resume for Key (a reference the caller frees), or nullptr.
  SSL_SESSION *Session(const std::string &Key);
  // The client context for https, made on first use.
  SSL_CTX *TlsCtx();
  void SetCaFile(const std::string &CaFile);
  // Closes every idle connection (the sessions stay).
  void CloseIdle();
  size_t IdleCount() const;

  // Idle connections kept in all; an idle one older than MaxIdleMs is closed
  // rather than reused, as servers close theirs after a while.
  static constexpr size_t MaxIdle = 32;
  static constexpr int MaxIdleMs = 50000;

 private:
  struct TIdle {
    std::string Key;
    std::unique_ptr<TNetConn> Conn;
    std::chrono::steady_clock::time_point Since;
  };
  void FreeSessions();

  mutable std::mutex FMx;
  std::deque<TIdle> FIdle;  // oldest first
  std::map<std::string, SSL_SESSION *> FSessions;
  std::string FCaFile;
  SSL_CTX *FTlsCtx = nullptr;
};
