#pragma once
// The request channel of the running copy: a Unix-domain socket in the
// per-user runtime folder, named after the application title, carrying
// framed JSON messages. Each message names a method; its handler runs on the
// main thread and its result goes back as {"status": n, ...}. The channel
// never blocks the main thread on a client: reads are event-driven, a
// message that does not finish arriving in time is dropped, and only the
// user's own processes may connect.
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/uChannelFrame.h"

class QLocalServer;
class QLocalSocket;
class QJsonObject;

// Status values of a reply.
inline constexpr int ChannelOk = 0;
inline constexpr int ChannelFailed = 1;

class TReqChannel : public QObject {
  Q_OBJECT
 public:
  // Fills Reply (status excluded) and returns the status.
  using THandler = std::function<int(const QJsonObject &Msg, QJsonObject &Reply)>;

  explicit TReqChannel(QObject *Parent = nullptr);
  ~TReqChannel() override;

  // Listens at Path (any stale socket there is removed: the caller holds the
  // single-instance lock). Throws EMossError when it cannot.
  void Listen(const std::string &Path);
  void Close();
  const std::string &Path() const { return FPath; }

  void SetHandler(const std::string &Method, THandler H);
  // How long a client may take to finish a message.
  void SetReadTimeout(int Ms) { FReadTimeoutMs = Ms; }

  // Decodes one message and runs its handler; the framed reply comes back.
  // Public so the framing-free path can be tested on its own.
  std::string HandleMessage(const std::string &Json);

 private:
  void OnNewConnection();
  struct TClient;
  void OnReadyRead(TClient *C);
  void Drop(TClient *C, const std::string &Why);

  QLocalServer *FServer = nullptr;
  std::string FPath;
  std::map<std::string, THandler> FHandlers;
  int FReadTimeoutMs = 10000;
};
