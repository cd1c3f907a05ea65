#include "net/uConnPool.h"

#include <openssl/ssl.h>

#include <vector>

#include "pub/uFormat.h"

TConnPool::TConnPool(std::string CaFile) : FCaFile(std::move(CaFile)) {}

TConnPool::~TConnPool() {
  CloseIdle();
  FreeSessions();
  if (FTlsCtx) NetConn_FreeTlsCtx(FTlsCtx);
}

std::string TConnPool::Key(bool Tls, const std::string &Name, uint16_t Port) {
  return Format("%s://%s:%d", {Tls ? "https" : "http", Name, Port});
}

std::unique_ptr<TNetConn> TConnPool::Take(const std::string &Key) {
  std::vector<std::unique_ptr<TNetConn>> Dead;  // closed outside the lock
  std::unique_ptr<TNetConn> Found;
  {
    std::lock_guard<std::mutex> L(FMx);
    const auto Now = std::chrono::steady_clock::now();
    for (auto It = FIdle.end(); It != FIdle.begin();) {
      --It;
      if (It->Key != Key) continue;
      const bool Stale = Now - It->Since > std::chrono::milliseconds(MaxIdleMs);
      if (Stale || !It->Conn->IdleAlive()) {
        Dead.push_back(std::move(It->Conn));
        It = FIdle.erase(It);
        continue;
      }
      Found = std::move(It->Conn);
      FIdle.erase(It);
      break;
    }
  }
  return Found;
}

void TConnPool::Give(const std::string &Key, std::unique_ptr<TNetConn> C) {
  if (!C || !C->IsOpen()) return;
  KeepSession(Key, *C);
  std::unique_ptr<TNetConn> Dropped;
  std::lock_guard<std::mutex> L(FMx);
  FIdle.push_back({Key, std::move(C), std::chrono::steady_clock::now()});
  if (FIdle.size() > MaxIdle) {
    Dropped = std::move(FIdle.front().Conn);
    FIdle.pop_front();
  }
}

void TConnPool::KeepSession(const std::string &Key, const TNetConn &C) {
  SSL_SESSION *S = C.TlsSession();
  if (!S) return;
  std::lock_guard<std::mutex> L(FMx);
  SSL_SESSION *&Slot = FSessions[Key];
  if (Slot) SSL_SESSION_free(Slot);
  Slot = S;
}

SSL_SESSION *TConnPool::Session(const std::string &Key) {
  std::lock_guard<std::mutex> L(FMx);
  auto It = FSessions.find(Key);
  if (It == FSessions.end()) return nullptr;
  SSL_SESSION_up_ref(It->second);
  return It->second;
}

SSL_CTX *TConnPool::TlsCtx() {
  std::lock_guard<std::mutex> L(FMx);
  if (!FTlsCtx) FTlsCtx = NetConn_NewTlsCtx(FCaFile);
  return FTlsCtx;
}

void TConnPool::SetCaFile(const std::string &CaFile) {
  std::deque<TIdle> Idle;
  {
    std::lock_guard<std::mutex> L(FMx);
    if (CaFile == FCaFile) return;
    FCaFile = CaFile;
    // Connections and sessions verified against the old store go with it.
    Idle.swap(FIdle);
    FreeSessions();
    if (FTlsCtx) NetConn_FreeTlsCtx(FTlsCtx);
    FTlsCtx = nullptr;
  }
}

void TConnPool::CloseIdle() {
  std::deque<TIdle> Idle;
  std::lock_guard<std::mutex> L(FMx);
  Idle.swap(FIdle);
}

size_t TConnPool::IdleCount() const {
  std::lock_guard<std::mutex> L(FMx);
  return FIdle.size();
}

void TConnPool::FreeSessions() {
  for (auto &[K, S] : FSessions) SSL_SESSION_free(S);
  FSessions.clear();
}
