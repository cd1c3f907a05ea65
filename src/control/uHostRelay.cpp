#include "control/uHostRelay.h"

#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "control/uIEMenu.h"
#include "platform/TChannelClient.h"
#include "platform/TRegistryStore.h"
#include "platform/TRuntimeDir.h"
#include "platform/uChannelFrame.h"
#include "platform/uSpawn.h"
#include "pub/Unit_Pub.h"
#include "pub/uRunVars.h"

namespace {

// Fix: the command that mends the cause, shown to the user by the
// extension; empty when there is nothing for the user to run.
std::string Failure(const std::string &Why, const std::string &Fix = {}) {
  QJsonObject R;
  R.insert(QStringLiteral("status"), 1);
  R.insert(QStringLiteral("error"), QString::fromStdString(Why));
  if (!Fix.empty()) R.insert(QStringLiteral("fix"), QString::fromStdString(Fix));
  return QJsonDocument(R).toJson(QJsonDocument::Compact).toStdString();
}

std::string Menus() {
  QJsonArray List;
  for (const auto &M : RegisteredMenus(TRegistryStore::CurrentUser())) {
    QJsonArray Ctx;
    for (const auto &C : MenuContexts(M.Contexts)) Ctx.append(QString::fromStdString(C));
    QJsonObject O;
    O.insert(QStringLiteral("title"), QString::fromStdString(M.Title));
    O.insert(QStringLiteral("contexts"), Ctx);
    O.insert(QStringLiteral("script"), QString::fromStdString(M.Script));
    O.insert(QStringLiteral("method"), QString::fromStdString(M.Method));
    O.insert(QStringLiteral("dispid"), M.DispId);
    List.append(O);
  }
  QJsonObject R;
  R.insert(QStringLiteral("status"), 0);
  R.insert(QStringLiteral("menus"), List);
  return QJsonDocument(R).toJson(QJsonDocument::Compact).toStdString();
}

// The extension's "Check connection": how far the set-up reaches, told
// without starting a copy.
std::string Check(const THostOptions &Opt) {
  std::string Reply;
  bool Running = Channel_Request(Opt.ChannelPath, R"({"method":"Ping"})", Reply, 1000);
  QJsonObject R;
  R.insert(QStringLiteral("status"), 0);
  R.insert(QStringLiteral("version"), QString::fromLatin1(AppVersion));
  R.insert(QStringLiteral("menus"), static_cast<int>(RegisteredMenus(TRegistryStore::CurrentUser()).size()));
  R.insert(QStringLiteral("running"), Running);
  return QJsonDocument(R).toJson(QJsonDocument::Compact).toStdString();
}

bool ReadAll(int Fd, char *Buf, size_t N) {
  size_t Got = 0;
  while (Got < N) {
    ssize_t R = ::read(Fd, Buf + Got, N - Got);
    if (R < 0 && errno == EINTR) continue;
    if (R <= 0) return false;
    Got += static_cast<size_t>(R);
  }
  return true;
}

bool WriteAll(int Fd, const std::string &S) {
  size_t Done = 0;
  while (Done < S.size()) {
    ssize_t W = ::write(Fd, S.data() + Done, S.size() - Done);
    if (W < 0 && errno == EINTR) continue;
    if (W <= 0) return false;
    Done += static_cast<size_t>(W);
  }
  return true;
}

}  // namespace

std::string InstalledProgramFile() {
  std::string Path;
  TRegistryStore::CurrentUser().ReadString(RegKeyMossgather, RegValCurExeFile, Path);
  return !Path.empty() && File_Exists(Path) ? Path : std::string();
}

THostOptions BrowserHostOptions(std::function<bool()> WithoutInstalled) {
  THostOptions Opt;
  Opt.Program = ProgramDir() + "mossgather";
  try {
    Opt.ChannelPath = ChannelPath(AppTitle);
  } catch (const std::exception &E) {
    std::fprintf(stderr, "mossgather: %s\n", E.what());
  }
  Opt.StartCopy = [WithoutInstalled = std::move(WithoutInstalled)] {
    std::string Exe = InstalledProgramFile();
    if (!Exe.empty()) return SpawnDetached(Exe, {SwitchRealStr});
    return WithoutInstalled && WithoutInstalled();
  };
  return Opt;
}

std::string HostAnswer(const std::string &Json, const THostOptions &Opt, bool &Started) {
  QJsonParseError Pe{};
  QJsonDocument Doc = QJsonDocument::fromJson(QByteArray::fromRawData(Json.data(), static_cast<qsizetype>(Json.size())), &Pe);
  if (Pe.error != QJsonParseError::NoError || !Doc.isObject()) return Failure("The request is not a JSON object");
  QString Method = Doc.object().value(QStringLiteral("method")).toString();
  if (Method == QStringLiteral("GetMenus")) return Menus();
  if (Method == QStringLiteral("Check")) return Check(Opt);

  std::string Reply, Why;
  if (Channel_Request(Opt.ChannelPath, Json, Reply, Opt.RequestTimeoutMs, &Why)) return Reply;
  if (!Started) {
    Started = true;
    if (!Opt.StartCopy || !Opt.StartCopy())
      return Failure("Mossgather is not running and could not be started: " + Why, Opt.Program + " -doctor");
  }
  // A copy just started needs a moment before its channel answers.
  auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(Opt.StartWaitMs);
  while (std::chrono::steady_clock::now() < End) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (Channel_Request(Opt.ChannelPath, Json, Reply, Opt.RequestTimeoutMs, &Why)) return Reply;
  }
  // Started by hand, the program shows why it does not come up; most
  // often it simply does, and the next request finds it.
  return Failure("Mossgather did not answer: " + Why, Opt.Program);
}

int RunHostRelay(int InFd, int OutFd, const THostOptions &Opt) {
  bool Started = false;
  for (;;) {
    char Len[4];
    if (!ReadAll(InFd, Len, 4)) return 0;  // the browser closed our input
    uint32_t N = 0;
    for (int I = 0; I < 4; ++I) N |= static_cast<uint32_t>(static_cast<unsigned char>(Len[I])) << (8 * I);
    if (N > MaxChannelMessage) {
      WriteAll(OutFd, Frame_Encode(Failure("The request is too large")));
      return 1;  // the rest of the stream cannot be framed any more
    }
    std::string Msg(N, '\0');
    if (!ReadAll(InFd, Msg.data(), N)) return 1;
    std::string Reply = HostAnswer(Msg, Opt, Started);
    if (Reply.size() > MaxReplyToBrowser) Reply = Failure("The reply is too large for the browser");
    if (!WriteAll(OutFd, Frame_Encode(Reply))) return 1;
  }
}
