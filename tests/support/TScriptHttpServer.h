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
  enum class TKind { Send, Pause, Stall, Cut, Reset, Hold };
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
  // Waits until the test calls Release (or the server stops), so that a
  // test can see several answers under way at once.
  static TScriptStep Hold() { return {TKind::Hold, {}, 0}; }
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
  // included): the steps in order, then the connection is closed (or, with
  // KeepAlive, waits for the next request). Targets without a script get a
  // 404.
  void On(const std::string &Target, TScript Steps);
  // The same target answers with each script in turn, the last one for
  // every request after.
  void OnEach(const std::string &Target, std::vector<TScript> Scripts);
  void On(const std::string &Target, const std::string &Bytes) { On(Target, TScript{TScriptStep::Send(Bytes)}); }

  // A connection serves up to MaxRequests requests, each script ending
  // without a close; after the last one it closes, or with DropNext waits
  // for one more request and closes without answering it, as a server
  // whose idle time ran out just when the request came.
  void KeepAlive(int MaxRequests, bool DropNext = false);
  // Connections accepted so far.
  size_t Accepted() const;
  // Ends every Hold step, now and later.
  void Release();
  // The most answers that were under way at the same time (from a request's
  // arrival to the end of its script).
  int MaxInFlight() const;

  // Every request received so far, whole up to its blank line, in order.
  std::vector<std::string> Requests() const;
  // For each of those requests, the number of the connection it came on
  // (1 for the first accepted).
  std::vector<int> RequestConns() const;
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
  void Serve(int Fd, int ConnNo);
  bool WaitStop(int Ms) const;  // true when the server is stopping
  bool WaitRelease() const;     // false when the server is stopping

  int FListenFd = -1;
  int FStopFd = -1;
  SSL_CTX *FTlsCtx = nullptr;
  uint16_t FPort = 0;
  std::thread FAcceptThread;
  mutable std::mutex FMx;
  mutable std::condition_variable FCv;
  std::map<std::string, std::vector<TScript>> FScripts;
  std::map<std::string, size_t> FServed;  // requests per target so far
  std::vector<std::string> FRequests;
  std::vector<int> FRequestConns;
  std::vector<std::thread> FConnThreads;
  int FMaxRequests = 1;
  bool FDropNext = false;
  size_t FAccepted = 0;
  bool FReleased = false, FStopping = false;
  int FInFlight = 0, FMaxInFlight = 0;
};
