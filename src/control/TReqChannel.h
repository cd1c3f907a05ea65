#pragma once
// The request channel of the running copy: a Unix-domain socket in the
// per-user runtime folder, named after the application title, carrying
// framed JSON messages. Each message names a method; its handler runs on the
// main thread and its result goes back as {"status": n, ...}. The channel
// never blocks the main thread on a client: reads are event-driven, a
// message that does not finish arriving in time is dropped, and only the
// user's own processes may connect.
//
// Whatever clients do, the channel stays: a failed accept (out of
// descriptors, say) is logged and retried a little later, never the end of
// listening; the clients served at once and the bytes their unfinished
// messages hold together are bounded, and a client beyond either bound gets
// a failure reply instead of memory or a descriptor.
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "platform/uChannelFrame.h"

class QJsonObject;
class QSocketNotifier;

// Status values of a reply.
inline constexpr int ChannelOk = 0;
inline constexpr int ChannelFailed = 1;

class TReqChannel : public QObject {
  Q_OBJECT
 public:
  // Fills Reply (status excluded) and returns the status.
  using THandler = std::function<int(const QJsonObject &Msg, QJsonObject &Reply)>;

  // A caller asks one thing and goes; a few at once is already a crowd.
  static constexpr size_t DefMaxClients = 16;
  // Room for two snapshots of the largest size arriving at once.
  static constexpr size_t DefMaxPendingBytes = 2 * size_t{MaxChannelMessage};
  // Replies a client leaves unread before it is dropped.
  static constexpr size_t MaxUnsentBytes = 1u << 20;
  // The pause before accepting again after a failed accept.
  static constexpr int AcceptRetryMs = 250;

  explicit TReqChannel(QObject *Parent = nullptr);
  ~TReqChannel() override;

  // Listens at Path (any stale socket there is removed: the caller holds the
  // single-instance lock). Throws EMossError when it cannot.
  void Listen(const std::string &Path);
  void Close();
  const std::string &Path() const { return FPath; }
  bool Listening() const { return FListenFd >= 0; }
  // Accepting failed and waits to be tried again.
  bool AcceptPaused() const { return FAcceptFailing; }

  void SetHandler(const std::string &Method, THandler H);
  // How long a client may take to finish a message (and, connected, to
  // start one).
  void SetReadTimeout(int Ms) { FReadTimeoutMs = Ms; }
  void SetLimits(size_t MaxClients, size_t MaxPendingBytes) {
    FMaxClients = MaxClients;
    FMaxPending = MaxPendingBytes;
  }
  size_t Clients() const { return FClients.size(); }
  // Bytes the unfinished messages of all clients will hold when whole.
  size_t PendingBytes() const { return FPending; }

  // Decodes one message and runs its handler; the framed reply comes back.
  // Public so the framing-free path can be tested on its own.
  std::string HandleMessage(const std::string &Json);

 private:
  struct TClient;
  void OnAcceptReady();
  void AcceptFailed(int Err);
  void Refuse(int Fd, const std::string &Why);
  void OnReadable(TClient *C);
  void OnWritable(TClient *C);
  void Send(TClient *C, const std::string &Frame);
  void Drop(TClient *C, const std::string &Why);
  void Finish(TClient *C);

  int FListenFd = -1;
  QSocketNotifier *FAcceptNote = nullptr;
  QTimer FAcceptRetry;
  bool FAcceptFailing = false;
  std::string FPath;
  std::map<std::string, THandler> FHandlers;
  std::set<TClient *> FClients;
  int FReadTimeoutMs = 10000;
  size_t FMaxClients = DefMaxClients;
  size_t FMaxPending = DefMaxPendingBytes;
  size_t FPending = 0;
  // Refusals are logged at most once a second, with their number.
  QElapsedTimer FRefuseLogged;
  int FRefusedQuiet = 0;
};
