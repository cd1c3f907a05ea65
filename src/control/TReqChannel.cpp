#include "control/TReqChannel.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>

#include "pub/uMossError.h"
#include "ui/Unit_Log.h"

// A client lives until its socket disconnects; it is freed later, never
// inside one of its own signals.
struct TReqChannel::TClient : QObject {
  QLocalSocket *Sock = nullptr;
  bool Gone = false;
  TFrameReader Reader;
  QTimer Deadline;
};

TReqChannel::TReqChannel(QObject *Parent) : QObject(Parent) {}

TReqChannel::~TReqChannel() { Close(); }

void TReqChannel::Listen(const std::string &Path) {
  Close();
  FServer = new QLocalServer(this);
  FServer->setSocketOptions(QLocalServer::UserAccessOption);
  QLocalServer::removeServer(QString::fromStdString(Path));
  if (!FServer->listen(QString::fromStdString(Path))) {
    std::string Why = FServer->errorString().toStdString();
    delete FServer;
    FServer = nullptr;
    throw EMossError("Cannot listen on " + Path + ": " + Why);
  }
  FPath = Path;
  connect(FServer, &QLocalServer::newConnection, this, &TReqChannel::OnNewConnection);
}

void TReqChannel::Close() {
  if (!FServer) return;
  FServer->close();
  delete FServer;
  FServer = nullptr;
  if (!FPath.empty()) ::unlink(FPath.c_str());
  FPath.clear();
}

void TReqChannel::SetHandler(const std::string &Method, THandler H) { FHandlers[Method] = std::move(H); }

void TReqChannel::OnNewConnection() {
  while (QLocalSocket *S = FServer->nextPendingConnection()) {
    // The folder is private already; the peer's uid is checked as well, so a
    // socket passed on by another user's process cannot be used either.
    ucred Cred{};
    socklen_t Len = sizeof Cred;
    if (::getsockopt(static_cast<int>(S->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &Cred, &Len) != 0 ||
        Cred.uid != ::getuid()) {
      Log::Err(Format(ErrTipsFmt, {"Refused a channel client of another user", "TReqChannel.OnNewConnection",
                                   "uid " + std::to_string(Cred.uid)}),
               true);
      S->abort();
      S->deleteLater();
      continue;
    }
    auto *C = new TClient;
    C->Sock = S;
    C->Deadline.setSingleShot(true);
    connect(&C->Deadline, &QTimer::timeout, this, [this, C] { Drop(C, "message not finished in time"); });
    connect(S, &QLocalSocket::readyRead, this, [this, C] { OnReadyRead(C); });
    connect(S, &QLocalSocket::disconnected, this, [C] {
      if (C->Gone) return;
      C->Gone = true;
      C->Deadline.stop();
      C->Sock->deleteLater();
      C->deleteLater();
    });
    if (S->bytesAvailable() > 0) OnReadyRead(C);
  }
}

void TReqChannel::Drop(TClient *C, const std::string &Why) {
  if (C->Gone) return;
  Log::Err(Format(ErrTipsFmt, {"Dropped a channel message", "TReqChannel.Drop", Why}), true);
  C->Deadline.stop();
  C->Sock->abort();  // disconnected() frees the client
}

void TReqChannel::OnReadyRead(TClient *C) {
  if (C->Gone) return;
  QByteArray Bytes = C->Sock->readAll();
  C->Reader.Feed(std::string_view(Bytes.constData(), static_cast<size_t>(Bytes.size())));
  while (!C->Gone) {
    auto Msg = C->Reader.Next();
    if (!Msg) break;
    std::string Reply = HandleMessage(*Msg);
    C->Sock->write(Reply.data(), static_cast<qint64>(Reply.size()));
    C->Sock->flush();
  }
  if (C->Reader.Failed()) {
    std::string Reply = Frame_Encode(R"({"status":1,"error":"message too large"})");
    C->Sock->write(Reply.data(), static_cast<qint64>(Reply.size()));
    C->Sock->flush();
    Drop(C, "message over the size limit");
    return;
  }
  if (C->Reader.Buffered() > 0) {
    if (!C->Deadline.isActive()) C->Deadline.start(FReadTimeoutMs);
  } else {
    C->Deadline.stop();
  }
}

std::string TReqChannel::HandleMessage(const std::string &Json) {
  QJsonObject Reply;
  int Status = ChannelFailed;
  QJsonParseError Pe{};
  QJsonDocument Doc = QJsonDocument::fromJson(QByteArray::fromStdString(Json), &Pe);
  std::string Method;
  try {
    if (Pe.error != QJsonParseError::NoError) throw EMossError("not JSON: " + Pe.errorString().toStdString());
    if (!Doc.isObject()) throw EMossError("not a JSON object");
    QJsonObject Msg = Doc.object();
    if (!Msg.value(QStringLiteral("method")).isString()) throw EMossError("no method name");
    Method = Msg.value(QStringLiteral("method")).toString().toStdString();
    auto It = FHandlers.find(Method);
    if (It == FHandlers.end()) throw EMossError("unknown method: " + Method);
    Status = It->second(Msg, Reply);
  } catch (const std::exception &E) {
    Log::Err(Format(ErrTipsFmt, {"Bad channel request", "TReqChannel.HandleMessage", E.what()}), true);
    Reply.insert(QStringLiteral("error"), QString::fromStdString(E.what()));
    Status = ChannelFailed;
  }
  Reply.insert(QStringLiteral("status"), Status);
  return Frame_Encode(QJsonDocument(Reply).toJson(QJsonDocument::Compact).toStdString());
}
