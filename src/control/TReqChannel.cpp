#include "control/TReqChannel.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>

#include "pub/Unit_Log.h"
#include "pub/uMossError.h"

// A client lives until it ends or is dropped; it is freed later, never while
// one of its own handlers runs (a handler may run a nested event loop, in
// which the client can time out).
struct TReqChannel::TClient : QObject {
  int Fd = -1;
  QSocketNotifier *In = nullptr;
  QSocketNotifier *Out = nullptr;
  TFrameReader Reader;
  std::string Unsent;
  QTimer Deadline;
  size_t Counted = 0;  // this client's share of FPending
  int Busy = 0;        // handlers of its messages running now
  bool Gone = false;
};

namespace {

// Read at most this much from one client before the others get their turn.
constexpr size_t ReadPerTurn = 1u << 20;
// Clients taken from the queue in one turn.
constexpr int AcceptsPerTurn = 64;

std::string FailureFrame(const std::string &Why) { return Frame_Encode(R"({"status":1,"error":")" + Why + "\"}"); }

}  // namespace

TReqChannel::TReqChannel(QObject *Parent) : QObject(Parent) {
  FAcceptRetry.setSingleShot(true);
  connect(&FAcceptRetry, &QTimer::timeout, this, [this] {
    if (!FAcceptNote) return;
    FAcceptNote->setEnabled(true);
    OnAcceptReady();
  });
}

TReqChannel::~TReqChannel() { Close(); }

void TReqChannel::Listen(const std::string &Path) {
  Close();
  sockaddr_un Addr{};
  Addr.sun_family = AF_UNIX;
  if (Path.size() >= sizeof Addr.sun_path) throw EMossError("Cannot listen on " + Path + ": the path is too long");
  std::memcpy(Addr.sun_path, Path.c_str(), Path.size() + 1);
  int Fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (Fd < 0) throw EMossError("Cannot listen on " + Path + ": " + std::strerror(errno));
  ::unlink(Path.c_str());
  bool Bound = ::bind(Fd, reinterpret_cast<sockaddr *>(&Addr), sizeof Addr) == 0;
  // Nobody can connect before listen(), so the mode is in place in time.
  if (!Bound || ::chmod(Path.c_str(), 0600) != 0 || ::listen(Fd, SOMAXCONN) != 0) {
    std::string Why = std::strerror(errno);
    ::close(Fd);
    if (Bound) ::unlink(Path.c_str());
    throw EMossError("Cannot listen on " + Path + ": " + Why);
  }
  FListenFd = Fd;
  FPath = Path;
  FAcceptNote = new QSocketNotifier(Fd, QSocketNotifier::Read, this);
  connect(FAcceptNote, &QSocketNotifier::activated, this, &TReqChannel::OnAcceptReady);
}

void TReqChannel::Close() {
  for (TClient *C : std::set<TClient *>(FClients)) Drop(C, "");
  FAcceptRetry.stop();
  FAcceptFailing = false;
  if (FAcceptNote) {
    FAcceptNote->setEnabled(false);
    FAcceptNote->deleteLater();
    FAcceptNote = nullptr;
  }
  if (FListenFd < 0) return;
  ::close(FListenFd);
  FListenFd = -1;
  if (!FPath.empty()) ::unlink(FPath.c_str());
  FPath.clear();
}

void TReqChannel::SetHandler(const std::string &Method, THandler H) { FHandlers[Method] = std::move(H); }

void TReqChannel::OnAcceptReady() {
  for (int Turn = 0; FListenFd >= 0 && Turn < AcceptsPerTurn; ++Turn) {
    int Fd = ::accept4(FListenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (Fd < 0) {
      int Err = errno;
      if (Err == EINTR || Err == ECONNABORTED) continue;
      if (Err != EAGAIN && Err != EWOULDBLOCK) AcceptFailed(Err);
      return;
    }
    if (FAcceptFailing) {
      FAcceptFailing = false;
      Log::Info("The request channel accepts clients again.");
    }
    // The folder is private already; the peer's uid is checked as well, so a
    // socket passed on by another user's process cannot be used either.
    ucred Cred{};
    socklen_t Len = sizeof Cred;
    if (::getsockopt(Fd, SOL_SOCKET, SO_PEERCRED, &Cred, &Len) != 0 || Cred.uid != ::getuid()) {
      Log::Err(Format(ErrTipsFmt, {"Refused a channel client of another user", "TReqChannel.OnNewConnection",
                                   "uid " + std::to_string(Cred.uid)}),
               true);
      ::close(Fd);
      continue;
    }
    if (FClients.size() >= FMaxClients) {
      Refuse(Fd, "too many clients at once");
      continue;
    }
    auto *C = new TClient;
    C->setParent(this);
    C->Fd = Fd;
    C->In = new QSocketNotifier(Fd, QSocketNotifier::Read, C);
    C->Out = new QSocketNotifier(Fd, QSocketNotifier::Write, C);
    C->Out->setEnabled(false);
    C->Deadline.setSingleShot(true);
    // A client that holds its connection without finishing a message would
    // keep its place for good.
    connect(&C->Deadline, &QTimer::timeout, C,
            [this, C] { Drop(C, C->Reader.Buffered() > 0 ? "message not finished in time" : ""); });
    connect(C->In, &QSocketNotifier::activated, C, [this, C] { OnReadable(C); });
    connect(C->Out, &QSocketNotifier::activated, C, [this, C] { OnWritable(C); });
    FClients.insert(C);
    C->Deadline.start(FReadTimeoutMs);
  }
}

// This runs when the process may have no descriptor left. The undefined-
// behaviour checker's type probe needs a descriptor of its own and would then
// take a sound call on the notifier for a bad one, so that probe is off here.
__attribute__((no_sanitize("vptr"))) void TReqChannel::AcceptFailed(int Err) {
  // Out of descriptors, most likely: the socket itself is sound, so it stays,
  // and accepting pauses a moment rather than spinning on a queue it cannot
  // take from. One line per spell of failures.
  if (!FAcceptFailing) {
    FAcceptFailing = true;
    Log::Err(
        Format(ErrTipsFmt, {"Cannot accept a channel client, trying again", "TReqChannel.OnNewConnection", std::strerror(Err)}),
        true);
  }
  FAcceptNote->setEnabled(false);
  FAcceptRetry.start(AcceptRetryMs);
}

void TReqChannel::Refuse(int Fd, const std::string &Why) {
  std::string Frame = FailureFrame("Mossgather is busy: " + Why);
  (void)!::send(Fd, Frame.data(), Frame.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  ::close(Fd);
  ++FRefusedQuiet;
  if (FRefuseLogged.isValid() && FRefuseLogged.elapsed() < 1000) return;
  Log::Err(Format(ErrTipsFmt,
                  {"Refused a channel client", "TReqChannel.OnNewConnection", Format("%s (%d refused)", {Why, FRefusedQuiet})}),
           true);
  FRefuseLogged.start();
  FRefusedQuiet = 0;
}

void TReqChannel::Drop(TClient *C, const std::string &Why) {
  if (C->Gone) return;
  C->Gone = true;
  if (!Why.empty()) Log::Err(Format(ErrTipsFmt, {"Dropped a channel message", "TReqChannel.Drop", Why}), true);
  FPending -= C->Counted;
  C->Counted = 0;
  FClients.erase(C);
  C->Deadline.stop();
  C->In->setEnabled(false);
  C->Out->setEnabled(false);
  ::close(C->Fd);
  C->Fd = -1;
  if (C->Busy == 0) C->deleteLater();
}

void TReqChannel::Send(TClient *C, const std::string &Frame) {
  if (C->Gone) return;
  C->Unsent += Frame;
  OnWritable(C);
}

void TReqChannel::OnWritable(TClient *C) {
  if (C->Gone) return;
  size_t Done = 0;
  while (Done < C->Unsent.size()) {
    ssize_t N = ::send(C->Fd, C->Unsent.data() + Done, C->Unsent.size() - Done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (N > 0) {
      Done += static_cast<size_t>(N);
      continue;
    }
    if (N < 0 && errno == EINTR) continue;
    if (N < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    Drop(C, "");  // the client went away
    return;
  }
  C->Unsent.erase(0, Done);
  // A client that asks and never reads its answers would grow this without end.
  if (C->Unsent.size() > MaxUnsentBytes) {
    Drop(C, "replies not read");
    return;
  }
  C->Out->setEnabled(!C->Unsent.empty());
}

void TReqChannel::OnReadable(TClient *C) {
  if (C->Gone) return;
  char Buf[65536];
  size_t Got = 0;
  bool Ended = false;
  while (Got < ReadPerTurn) {
    ssize_t N = ::recv(C->Fd, Buf, sizeof Buf, 0);
    if (N > 0) {
      C->Reader.Feed(std::string_view(Buf, static_cast<size_t>(N)));
      Got += static_cast<size_t>(N);
      continue;
    }
    if (N < 0 && errno == EINTR) continue;
    if (N < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    Ended = true;  // closed, or reset
    break;
  }

  // No reads for this client while its handlers run.
  C->In->setEnabled(false);
  ++C->Busy;
  while (!C->Gone) {
    auto Msg = C->Reader.Next();
    if (!Msg) break;
    C->Deadline.start(FReadTimeoutMs);  // the next message has its own time
    Send(C, HandleMessage(*Msg));
  }
  --C->Busy;
  if (C->Gone) {
    if (C->Busy == 0) C->deleteLater();
    return;
  }

  if (C->Reader.Failed()) {
    Send(C, FailureFrame("message too large"));
    Drop(C, "message over the size limit");
    return;
  }
  // The message under way is charged in full as soon as its length is
  // known, so the clients together can never hold more than the bound.
  size_t Need = C->Reader.Expected();
  size_t Others = FPending - C->Counted;
  if (Need > C->Counted && Others + Need > FMaxPending) {
    Send(C, FailureFrame("Mossgather is busy: too many unfinished requests at once"));
    Drop(C, Format("unfinished messages would hold more than %d bytes", {FMaxPending}));
    return;
  }
  FPending = Others + Need;
  C->Counted = Need;
  if (Ended) {
    Drop(C, "");
    return;
  }
  C->In->setEnabled(true);
}

std::string TReqChannel::HandleMessage(const std::string &Json) {
  QJsonObject Reply;
  int Status = ChannelFailed;
  QJsonParseError Pe{};
  // No copy of a message of up to 65 MiB: the parser reads it in place.
  QJsonDocument Doc = QJsonDocument::fromJson(QByteArray::fromRawData(Json.data(), static_cast<qsizetype>(Json.size())), &Pe);
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
