#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <thread>

#include "control/TReqChannel.h"
#include "control/uHostRelay.h"
#include "control/uIEMenu.h"
#include "platform/TChannelClient.h"
#include "platform/TRegistryStore.h"
#include "platform/TRuntimeDir.h"
#include "platform/uChannelFrame.h"
#include "support/JobTestHost.h"
#include "support/TProcess.h"

namespace {

// The two programs that serve as the browser's host: the full program and
// the light relay, which must answer alike.
struct THostExe {
  const char *Name;
  std::vector<std::string> Args;
};
const THostExe FullHost{"mossgather", {"-Embedding"}};
const THostExe LightHost{"mossgather-relay", {}};
void PrintTo(const THostExe &E, std::ostream *Os) { *Os << E.Name; }

// A host as the browser starts it: its input and output are ours, framed as
// native messages.
class THostProcess {
 public:
  THostProcess(const std::vector<std::string> &Env, const THostExe &Exe = FullHost) {
    int In[2], Out[2];
    if (::pipe(In) != 0 || ::pipe(Out) != 0) throw std::runtime_error("pipe");
    FPid = ::fork();
    if (FPid == 0) {
      ::dup2(In[0], 0);
      ::dup2(Out[1], 1);
      ::close(In[1]);
      ::close(Out[0]);
      for (const auto &E : Env) ::putenv(const_cast<char *>(E.c_str()));
      std::string File = std::string(MOSSGATHER_BIN_DIR) + Exe.Name;
      std::vector<char *> Argv{File.data()};
      for (const auto &A : Exe.Args) Argv.push_back(const_cast<char *>(A.c_str()));
      Argv.push_back(const_cast<char *>("chrome-extension://clpjckchdmpkgcenimeglbnciacogkjo/"));
      Argv.push_back(nullptr);
      ::execv(File.c_str(), Argv.data());
      _exit(127);
    }
    ::close(In[0]);
    ::close(Out[1]);
    FIn = In[1];
    FOut = Out[0];
  }
  ~THostProcess() {
    CloseInput();
    if (FPid > 0) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, nullptr, 0);
    }
    if (FOut >= 0) ::close(FOut);
  }
  void Send(const std::string &Raw) { ASSERT_EQ(::write(FIn, Raw.data(), Raw.size()), static_cast<ssize_t>(Raw.size())); }
  // The next framed reply, or empty when the host closed its output.
  std::string Reply() {
    TFrameReader R;
    char Buf[4096];
    for (;;) {
      if (auto M = R.Next()) return *M;
      ssize_t N = ::read(FOut, Buf, sizeof Buf);
      if (N <= 0) return {};
      R.Feed(std::string_view(Buf, static_cast<size_t>(N)));
    }
  }
  pid_t Pid() const { return FPid; }
  void CloseInput() {
    if (FIn >= 0) ::close(FIn);
    FIn = -1;
  }
  int Wait() {
    int St = 0;
    ::waitpid(FPid, &St, 0);
    FPid = -1;
    return WIFEXITED(St) ? WEXITSTATUS(St) : -1;
  }

 private:
  pid_t FPid = -1;
  int FIn = -1, FOut = -1;
};

struct HostFixture : JobFixture {
  std::vector<std::string> Env;
  std::string Sock;
  void SetUp() override {
    JobFixture::SetUp();
    Dir_Force(Dir.File("run"));
    ::chmod(Dir.File("run").c_str(), 0700);
    Env = {"MOSSGATHER_REGISTRY=" + Dir.File("registry.ini"),
           "XDG_RUNTIME_DIR=" + Dir.File("run"),
           "MOSSGATHER_PRGDIR=" + Dir.File("prg/"),
           "HOME=" + Dir.Path(),
           "XDG_CONFIG_HOME=" + Dir.File("config"),
           "QT_QPA_PLATFORM=offscreen",
           "MOSSGATHER_UPDHOST="};
    Dir_Force(Dir.File("prg"));
    ::setenv("XDG_RUNTIME_DIR", Dir.File("run").c_str(), 1);
    Sock = ChannelPath("Mossgather 0.12");
  }
  // Names the installed program file, or none when Exe is empty.
  void RecordInstalledCopy(const std::string &Exe = std::string(MOSSGATHER_BIN_DIR) + "mossgather") {
    TRegistryStore(Dir.File("registry.ini")).WriteString("Software\\Mossgather\\", "CurExeFile", Exe);
  }
  void TearDown() override {
    // A copy the host started is ended through its normal close path.
    std::string Reply;
    if (Channel_Request(Sock, R"({"method":"Ping"})", Reply, 500)) {
      int Pid = QJsonDocument::fromJson(QByteArray::fromStdString(Reply)).object().value(QStringLiteral("pid")).toInt();
      if (Pid > 0) {
        ::kill(Pid, SIGTERM);
        WaitFor([&] { return ::kill(Pid, 0) != 0; }, 10000);
      }
    }
    ::unsetenv("XDG_RUNTIME_DIR");
    JobFixture::TearDown();
  }
  // Waits for the host's reply while this thread serves a channel.
  std::string ReplyWhileServing(THostProcess &H) {
    std::atomic<bool> Done{false};
    std::string R;
    std::thread T([&] {
      R = H.Reply();
      Done = true;
    });
    Spin([&] { return Done.load(); }, 20000);
    T.join();
    return R;
  }
};

// Each program that serves as the host, with an installed copy recorded (the
// relay hands over to the full program without one).
struct EachHost : HostFixture, testing::WithParamInterface<THostExe> {
  void SetUp() override {
    HostFixture::SetUp();
    RecordInstalledCopy();
  }
};

}  // namespace

TEST_P(EachHost, MenusComeFromTheKeyStoreWithoutARunningCopy) {
  TRegistryStore Reg(Dir.File("registry.ini"));
  Dir_Force(Dir.File("prg/IEMenu"));
  for (const auto &M : IEMenuItems) WriteFile(Dir.File("prg/IEMenu/") + M.Script, "");
  RegIEMenu(Dir.File("prg/"), Reg);
  THostProcess H(Env, GetParam());
  H.Send(Frame_Encode(R"({"method":"GetMenus"})"));
  std::string R = H.Reply();
  EXPECT_NE(R.find(R"("status":0)"), std::string::npos) << R;
  EXPECT_NE(
      R.find(
          R"({"contexts":["selection","link"],"dispid":3,"method":"SaveSnippet","script":"Txt_Snpt.js","title":" Sa&ve snippet by MG..."})"),
      std::string::npos)
      << R;
  EXPECT_NE(R.find(R"("dispid":1,"method":"SaveFlash")"), std::string::npos);
  H.CloseInput();
  EXPECT_EQ(H.Wait(), 0);  // the browser closing our input ends the host
}

// The host starts on every menu click: it loads nothing of the web engine,
// which only the edit window's preview needs.
TEST_P(EachHost, TheHostLoadsNoWebEngine) {
  THostProcess H(Env, GetParam());
  H.Send(Frame_Encode(R"({"method":"GetMenus"})"));
  ASSERT_FALSE(H.Reply().empty()) << "the host ended without a reply";
  // Answered, so the program's own libraries are all in: the host still
  // waits for the browser's next message.
  const std::string Maps = ReadFile("/proc/" + std::to_string(H.Pid()) + "/maps");
  ASSERT_NE(Maps.find("mossgather"), std::string::npos) << Maps;
  EXPECT_EQ(Maps.find("WebEngine"), std::string::npos);
  EXPECT_EQ(Maps.find("mosspreview"), std::string::npos);
  EXPECT_EQ(Maps.find("libQt6Quick"), std::string::npos);
  H.CloseInput();
  EXPECT_EQ(H.Wait(), 0);
}

TEST_P(EachHost, RequestsAreRelayedToTheRunningCopy) {
  TReqChannel Copy;
  std::string Seen;
  Copy.SetHandler("SaveSnippet", [&](const QJsonObject &M, QJsonObject &Reply) {
    Seen = M.value(QStringLiteral("snapshot"))
               .toObject()
               .value(QStringLiteral("document"))
               .toObject()
               .value(QStringLiteral("title"))
               .toString()
               .toStdString();
    Reply.insert(QStringLiteral("seen"), true);
    return 0;
  });
  Copy.Listen(Sock);
  THostProcess H(Env, GetParam());
  std::string Msg = R"({"method":"SaveSnippet","dispid":3,"snapshot":)" + TSnapshotBuilder().Title("Relayed").Json() + "}";
  for (int I = 0; I < 3; ++I) {  // one host, several messages
    H.Send(Frame_Encode(Msg));
    EXPECT_EQ(ReplyWhileServing(H), R"({"seen":true,"status":0})");
  }
  EXPECT_EQ(Seen, "Relayed");
  H.CloseInput();
  EXPECT_EQ(H.Wait(), 0);
}

TEST_P(EachHost, WithNoCopyRunningTheInstalledOneIsStartedAndTheRequestArrives) {
  THostProcess H(Env, GetParam());
  H.Send(Frame_Encode(R"({"method":"SaveFullPage","dispid":4,"snapshot":)" + TSnapshotBuilder().Json() + "}"));
  std::string R = H.Reply();
  EXPECT_NE(R.find("\"status\""), std::string::npos) << R;
  EXPECT_EQ(R.find("could not be started"), std::string::npos) << R;
  EXPECT_EQ(R.find("did not answer"), std::string::npos) << R;
  std::string Ping;
  EXPECT_TRUE(Channel_Request(Sock, R"({"method":"Ping"})", Ping, 2000));
}

TEST_P(EachHost, WithoutTheInstalledPathTheHostStartsItsOwnProgramFile) {
  RecordInstalledCopy("");
  THostProcess H(Env, GetParam());
  H.Send(Frame_Encode(R"({"method":"SaveImages","dispid":5,"snapshot":)" + TSnapshotBuilder().Json() + "}"));
  std::string R = H.Reply();
  EXPECT_NE(R.find("\"status\""), std::string::npos) << R;
  EXPECT_EQ(R.find("could not be started"), std::string::npos) << R;
  // Telling the user why takes a window, which only the full program can
  // open: the relay hands over to it, in the same process.
  char Buf[4096];
  ssize_t N = ::readlink(("/proc/" + std::to_string(H.Pid()) + "/exe").c_str(), Buf, sizeof Buf);
  ASSERT_GT(N, 0);
  EXPECT_EQ(std::string(Buf, static_cast<size_t>(N)), std::string(MOSSGATHER_BIN_DIR) + "mossgather");
  std::string Ping;
  EXPECT_TRUE(Channel_Request(Sock, R"({"method":"Ping"})", Ping, 2000));
}

TEST_P(EachHost, BadInputGetsAFailureReply) {
  THostProcess H(Env, GetParam());
  H.Send(Frame_Encode("not json"));
  EXPECT_EQ(H.Reply(), R"({"error":"The request is not a JSON object","status":1})");
  H.Send(std::string("\xff\xff\xff\x7f", 4));
  EXPECT_EQ(H.Reply(), R"({"error":"The request is too large","status":1})");
  EXPECT_EQ(H.Wait(), 1);
}

TEST_P(EachHost, TheCheckTellsTheMenusAndWhetherACopyRunsWithoutStartingOne) {
  TRegistryStore Reg(Dir.File("registry.ini"));
  Dir_Force(Dir.File("prg/IEMenu"));
  for (const auto &M : IEMenuItems) WriteFile(Dir.File("prg/IEMenu/") + M.Script, "");
  RegIEMenu(Dir.File("prg/"), Reg);
  Reg.DeleteKey(std::string(RegKeyMenuExt) + IEMenuItems[4].Title);
  {
    THostProcess H(Env, GetParam());
    H.Send(Frame_Encode(R"({"method":"Check"})"));
    EXPECT_EQ(H.Reply(), R"({"menus":4,"running":false,"status":0,"version":"0.12"})");
  }
  std::string Ping;
  EXPECT_FALSE(Channel_Request(Sock, R"({"method":"Ping"})", Ping, 500)) << "the check started no copy";

  TReqChannel Copy;
  Copy.SetHandler("Ping", [](const QJsonObject &, QJsonObject &) { return 0; });
  Copy.Listen(Sock);
  THostProcess H(Env, GetParam());
  H.Send(Frame_Encode(R"({"method":"Check"})"));
  EXPECT_EQ(ReplyWhileServing(H), R"({"menus":4,"running":true,"status":0,"version":"0.12"})");
}

TEST_F(HostFixture, AFailedStartNamesTheCommandThatMendsIt) {
  THostOptions Opt;
  Opt.ChannelPath = Dir.File("run/none.sock");
  Opt.Program = "/opt/mg/mossgather";
  Opt.StartWaitMs = 300;
  struct TCase {
    bool Starts;
    const char *Error, *Fix;
  };
  for (const TCase &C : {TCase{false, "Mossgather is not running and could not be started: ", "/opt/mg/mossgather -doctor"},
                         TCase{true, "Mossgather did not answer: ", "/opt/mg/mossgather"}}) {
    Opt.StartCopy = [&C] { return C.Starts; };
    bool Started = false;
    QJsonObject R =
        QJsonDocument::fromJson(QByteArray::fromStdString(HostAnswer(R"({"method":"SaveFlash"})", Opt, Started))).object();
    EXPECT_EQ(R.value("status").toInt(), 1);
    EXPECT_TRUE(R.value("error").toString().startsWith(C.Error)) << R.value("error").toString().toStdString();
    EXPECT_EQ(R.value("fix").toString(), C.Fix);
  }
}

INSTANTIATE_TEST_SUITE_P(FullAndLight, EachHost, testing::Values(FullHost, LightHost),
                         [](const testing::TestParamInfo<THostExe> &I) { return I.index == 0 ? "Full" : "Relay"; });

// The relay starts on every menu click in place of the full program: it
// must not pay for the windowing libraries.
TEST_F(HostFixture, TheRelayLoadsNoWindowingLibrary) {
  RecordInstalledCopy();
  THostProcess H(Env, LightHost);
  H.Send(Frame_Encode(R"({"method":"GetMenus"})"));
  ASSERT_FALSE(H.Reply().empty()) << "the relay ended without a reply";
  const std::string Maps = ReadFile("/proc/" + std::to_string(H.Pid()) + "/maps");
  ASSERT_NE(Maps.find("mossgather-relay"), std::string::npos) << Maps;
  for (const char *Lib :
       {"libQt6Gui", "libQt6Widgets", "libxcb", "libfontconfig", "libGL", "WebEngine", "libQt6Network", "libssl"})
    EXPECT_EQ(Maps.find(Lib), std::string::npos) << Lib;
  H.CloseInput();
  EXPECT_EQ(H.Wait(), 0);
}
