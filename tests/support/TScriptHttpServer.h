#pragma once
// A scripted HTTP server on 127.0.0.1 for tests: each request target has a
// script of exact bytes to send, pauses and stalls, so that a test can play
// any server, well-behaved or hostile, over plain TCP or TLS. Every
// connection runs on its own thread; the destructor ends them all, stalled
// ones included.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TScriptStep {
  enum class TKind { Send, Pause, Stall, Cut, Reset };
  TKind Kind = TKind::Send;
  std::string Bytes;
  int Ms = 0;
  static TScriptStep Send(std::string B) { return {TKind::Send, std::move(B), 0}; }
  static TScriptStep Pause(int Ms) { return {TKind::Pause, {}, Ms}; }
  // Sends nothing more and keeps the connection open until the client
  // closes it or the server stops.
  static TScriptStep Stall() { return {TKind::Stall, {}, 0}; }
  // Ends the connection with a bare TCP close: over TLS without the
  // close_notify that a script's normal end sends first.
  static TScriptStep Cut() { return {TKind::Cut, {}, 0}; }
  // Ends the connection with a TCP reset.
  static TScriptStep Reset() { return {TKind::Reset, {}, 0}; }
};
using TScript = std::vector<TScriptStep>;

typedef struct ssl_ctx_st SSL_CTX;

class TScriptHttpServer {
 public:
  TScriptHttpServer();
  // Serves https with this certificate and key (PEM files).
  TScriptHttpServer(const std::string &CertFile, const std::string &KeyFile);
  ~TScriptHttpServer();
  TScriptHttpServer(const TScriptHttpServer &) = delete;
  TScriptHttpServer &operator=(const TScriptHttpServer &) = delete;

  uint16_t Port() const { return FPort; }
  // "http://127.0.0.1:<port>" + Target ("https://" when serving TLS).
  std::string Url(const std::string &Target) const;
  // The answer to requests for Target (the request line's target, query
  // included): the steps in order, then the connection is closed. Targets
  // without a script get a 404.
  void On(const std::string &Target, TScript Steps);
  void On(const std::string &Target, const std::string &Bytes) { On(Target, TScript{TScriptStep::Send(Bytes)}); }

  // Every request received so far, whole up to its blank line, in order.
  std::vector<std::string> Requests() const;
  // The request-line targets of those requests.
  std::vector<std::string> Targets() const;
  // Waits until N requests have come; false after TimeoutMs.
  bool WaitRequests(size_t N, int TimeoutMs) const;

  // "HTTP/1.1 <Status>\r\nContent-Length: <n>\r\n<Headers>\r\n<Body>";
  // Headers are whole lines, each ending in CR LF.
  static std::string Response(const std::string &Status, const std::string &Body, const std::string &Headers = "");

 private:
  void Listen();
  void AcceptLoop();
  void Serve(int Fd);
  bool WaitStop(int Ms) const;  // true when the server is stopping

  int FListenFd = -1;
  int FStopFd = -1;
  SSL_CTX *FTlsCtx = nullptr;
  uint16_t FPort = 0;
  std::thread FAcceptThread;
  mutable std::mutex FMx;
  mutable std::condition_variable FCv;
  std::map<std::string, TScript> FScripts;
  std::vector<std::string> FRequests;
  std::vector<std::thread> FConnThreads;
};
