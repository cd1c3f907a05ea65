#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonObject>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "control/TReqChannel.h"
#include "platform/TChannelClient.h"
#include "platform/TMainThread.h"
#include "platform/TRuntimeDir.h"
#include "pub/Unit_Log.h"
#include "support/TestSupport.h"

namespace {

// Runs the event loop until Done() or the time is up.
template <class F>
bool SpinUntil(F Done, int Ms = 5000) {
  QElapsedTimer T;
  T.start();
  while (!Done() && T.elapsed() < Ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return Done();
}

struct ChannelFixture : ::testing::Test {
  TTempDir Dir;
  TLogger Log{Dir.File("log.txt")};
  TReqChannel Chan;
  std::string Path;
  int Calls = 0;

  void SetUp() override {
    SetLogger(&Log);
    ::setenv("XDG_RUNTIME_DIR", Dir.Path().c_str(), 1);
    Path = ChannelPath("Mossgather test");
    Chan.SetHandler("WakeUp", [this](const QJsonObject &, QJsonObject &Reply) {
      ++Calls;
      Reply.insert(QStringLiteral("woken"), true);
      return ChannelOk;
    });
    Chan.Listen(Path);
  }
  void TearDown() override {
    Chan.Close();
    SetLogger(nullptr);
    ::unsetenv("XDG_RUNTIME_DIR");
  }

  // A request from another thread while this one serves the channel.
  std::string Ask(const std::string &Json, bool *Ok = nullptr) {
    std::atomic<bool> Done{false};
    std::string Reply;
    bool Good = false;
    std::thread T([&] {
      Good = Channel_Request(Path, Json, Reply, 3000);
      Done = true;
    });
    SpinUntil([&] { return Done.load(); });
    T.join();
    if (Ok) *Ok = Good;
    return Reply;
  }

  std::string LogText() {
    Log.FlushToFile();
    return ReadFile(Dir.File("log.txt"));
  }
  static int Count(const std::string &Text, const std::string &What) {
    int N = 0;
    for (size_t P = 0; (P = Text.find(What, P)) != std::string::npos; ++P) ++N;
    return N;
  }
};

// A client on a raw socket, driven from the test's own thread while the
// channel is served by the event loop in between.
struct TRawClient {
  int Fd = -1;
  std::string Got;
  bool Ended = false;

  explicit TRawClient(const std::string &Path) {
    Fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un A{};
    A.sun_family = AF_UNIX;
    std::strcpy(A.sun_path, Path.c_str());
    if (Fd >= 0 && ::connect(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A) != 0) {
      ::close(Fd);
      Fd = -1;
    }
  }
  ~TRawClient() { Close(); }
  TRawClient(const TRawClient &) = delete;
  TRawClient &operator=(const TRawClient &) = delete;

  bool Connected() const { return Fd >= 0; }
  void Close() {
    if (Fd >= 0) ::close(Fd);
    Fd = -1;
  }
  // The first Len bytes of a frame announcing Total bytes of JSON.
  bool SendHead(uint32_t Total, size_t Len) {
    std::string F;
    for (int I = 0; I < 4; ++I) F += static_cast<char>((Total >> (8 * I)) & 0xFF);
    F.append(Len, ' ');
    return SendAll(F);
  }
  bool SendAll(const std::string &Bytes) {
    for (size_t Done = 0; Done < Bytes.size();) {
      ssize_t N = ::send(Fd, Bytes.data() + Done, Bytes.size() - Done, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (N > 0) {
        Done += static_cast<size_t>(N);
        continue;
      }
      if (N < 0 && errno == EAGAIN) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        continue;
      }
      return false;
    }
    return true;
  }
  // Takes what has arrived; true once the server closed the connection.
  bool Poll() {
    char B[4096];
    for (;;) {
      ssize_t N = ::recv(Fd, B, sizeof B, MSG_DONTWAIT);
      if (N > 0) {
        Got.append(B, static_cast<size_t>(N));
        continue;
      }
      if (N == 0 || (N < 0 && errno != EAGAIN && errno != EINTR)) Ended = true;
      return Ended;
    }
  }
  bool WaitEnd() {
    return SpinUntil([this] { return Poll(); });
  }
  bool WaitReply(const std::string &Text) {
    return SpinUntil([&] { return Poll() || Got.find(Text) != std::string::npos; }) && Got.find(Text) != std::string::npos;
  }
};

int OpenFds() {
  int N = 0;
  if (DIR *D = ::opendir("/proc/self/fd")) {
    while (::readdir(D)) ++N;
    ::closedir(D);
  }
  return N;
}

// Lowers the descriptor limit of this process for one test.
struct TFdLimit {
  rlimit Old{};
  explicit TFdLimit(rlim_t Soft) {
    ::getrlimit(RLIMIT_NOFILE, &Old);
    rlimit New = Old;
    New.rlim_cur = Soft;
    ::setrlimit(RLIMIT_NOFILE, &New);
  }
  ~TFdLimit() { ::setrlimit(RLIMIT_NOFILE, &Old); }
};

}  // namespace

TEST_F(ChannelFixture, AKnownMethodRunsItsHandler) {
  bool Ok = false;
  std::string Reply = Ask(R"({"method":"WakeUp","msg":1032})", &Ok);
  EXPECT_TRUE(Ok);
  EXPECT_EQ(Reply, R"({"status":0,"woken":true})");
  EXPECT_EQ(Calls, 1);
}

TEST_F(ChannelFixture, BadMessagesGetAFailureAndOneErrorLine) {
  const char *Bad[] = {"not json", "[1,2]", R"({"method":7})", R"({"method":"NoSuchMethod"})", R"({"nomethod":true})"};
  for (const char *B : Bad) {
    bool Ok = false;
    std::string Reply = Ask(B, &Ok);
    EXPECT_TRUE(Ok) << B;
    EXPECT_NE(Reply.find("\"status\":1"), std::string::npos) << B;
  }
  std::string Text = LogText();
  size_t Lines = 0;
  for (size_t P = 0; (P = Text.find("Bad channel request", P)) != std::string::npos; ++P) ++Lines;
  EXPECT_EQ(Lines, std::size(Bad));
  EXPECT_EQ(Calls, 0);
}

TEST_F(ChannelFixture, AMessageThatNeverFinishesIsDropped) {
  Chan.SetReadTimeout(200);
  int Fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un A{};
  A.sun_family = AF_UNIX;
  std::strcpy(A.sun_path, Path.c_str());
  ASSERT_EQ(::connect(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A), 0);
  ASSERT_EQ(::send(Fd, "\x10\x00\x00\x00{\"me", 8, 0), 8);
  // The server closes the connection; the main loop kept running meanwhile.
  char B;
  EXPECT_TRUE(SpinUntil([&] { return ::recv(Fd, &B, 1, MSG_DONTWAIT) == 0; }, 3000));
  ::close(Fd);
  EXPECT_NE(LogText().find("message not finished in time"), std::string::npos);
  // The channel still serves others.
  EXPECT_EQ(Ask(R"({"method":"WakeUp"})"), R"({"status":0,"woken":true})");
}

TEST_F(ChannelFixture, AnOversizedLengthIsRefused) {
  std::atomic<bool> Done{false};
  std::string Got;
  std::thread T([&] {
    int Fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un A{};
    A.sun_family = AF_UNIX;
    std::strcpy(A.sun_path, Path.c_str());
    if (::connect(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A) == 0) {
      ::send(Fd, "\xff\xff\xff\x7f", 4, 0);
      char Buf[256];
      ssize_t N;
      while ((N = ::recv(Fd, Buf, sizeof Buf, 0)) > 0) Got.append(Buf, static_cast<size_t>(N));
    }
    ::close(Fd);
    Done = true;
  });
  SpinUntil([&] { return Done.load(); });
  T.join();
  EXPECT_NE(Got.find("message too large"), std::string::npos);
}

TEST_F(ChannelFixture, AFloodOfRequestsLosesNoReply) {
  std::atomic<int> Good{0};
  std::atomic<int> Finished{0};
  std::vector<std::thread> Ts;
  for (int T = 0; T < 4; ++T)
    Ts.emplace_back([&] {
      for (int I = 0; I < 250; ++I) {
        std::string Reply;
        if (Channel_Request(Path, R"({"method":"WakeUp"})", Reply, 5000) && Reply == R"({"status":0,"woken":true})") ++Good;
      }
      ++Finished;
    });
  SpinUntil([&] { return Finished == 4; }, 60000);
  for (auto &T : Ts) T.join();
  EXPECT_EQ(Good, 1000);
  EXPECT_EQ(Calls, 1000);
}

TEST_F(ChannelFixture, AnotherUserCannotConnect) {
  pid_t Pid = ::fork();
  if (Pid == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(3);
    std::string Reply, Err;
    _exit(Channel_Request(Path, R"({"method":"WakeUp"})", Reply, 1000, &Err) ? 0 : 1);
  }
  int St = 0;
  SpinUntil([&] { return ::waitpid(Pid, &St, WNOHANG) == Pid; });
  ASSERT_TRUE(WIFEXITED(St));
  if (WEXITSTATUS(St) == 3) GTEST_SKIP() << "cannot change user here";
  EXPECT_EQ(WEXITSTATUS(St), 1);
  EXPECT_EQ(Calls, 0);
}

TEST_F(ChannelFixture, RunningOutOfDescriptorsPausesAcceptingButNeverEndsTheChannel) {
  // Few descriptors, so that a handful of fillers takes the last ones.
  TFdLimit Limit(static_cast<rlim_t>(OpenFds() + 40));
  std::vector<std::unique_ptr<TRawClient>> Waiting;
  for (int I = 0; I < 3; ++I) {
    Waiting.push_back(std::make_unique<TRawClient>(Path));
    ASSERT_TRUE(Waiting.back()->Connected());
  }
  std::vector<int> Fillers{::open("/dev/null", O_RDONLY | O_CLOEXEC)};
  ASSERT_GE(Fillers[0], 0);
  for (int Fd; (Fd = ::dup(Fillers[0])) >= 0;) Fillers.push_back(Fd);
  ASSERT_EQ(errno, EMFILE);
  // The clients queue while nothing can be accepted; the socket stays.
  ASSERT_TRUE(SpinUntil([&] { return Chan.AcceptPaused(); })) << "the channel never tried to accept";
  EXPECT_TRUE(Chan.Listening());
  EXPECT_EQ(Chan.Clients(), 0u);
  for (int Fd : Fillers) ::close(Fd);

  // The queued clients are served, and the socket is still there for new ones.
  for (auto &C : Waiting) {
    ASSERT_TRUE(C->SendAll(Frame_Encode(R"({"method":"WakeUp"})")));
    EXPECT_TRUE(C->WaitReply(R"({"status":0,"woken":true})")) << C->Got;
  }
  struct stat St;
  EXPECT_EQ(::stat(Path.c_str(), &St), 0);
  EXPECT_EQ(Ask(R"({"method":"WakeUp"})"), R"({"status":0,"woken":true})");
  EXPECT_FALSE(Chan.AcceptPaused());
  std::string L = LogText();
  EXPECT_EQ(Count(L, "Cannot accept a channel client, trying again"), 1) << L;
  EXPECT_NE(L.find("Too many open files"), std::string::npos) << L;
  EXPECT_NE(L.find("The request channel accepts clients again."), std::string::npos) << L;
}

TEST_F(ChannelFixture, ClientsBeyondTheBoundAreRefusedAndIdleOnesLeave) {
  Chan.SetLimits(3, TReqChannel::DefMaxPendingBytes);
  Chan.SetReadTimeout(300);
  std::vector<std::unique_ptr<TRawClient>> Idle;
  for (int I = 0; I < 3; ++I) Idle.push_back(std::make_unique<TRawClient>(Path));
  ASSERT_TRUE(SpinUntil([&] { return Chan.Clients() == 3; }));
  // A fourth gets a failure at once instead of a place.
  TRawClient Extra(Path);
  ASSERT_TRUE(Extra.Connected());
  ASSERT_TRUE(Extra.WaitEnd());
  EXPECT_NE(Extra.Got.find("\"status\":1"), std::string::npos) << Extra.Got;
  EXPECT_NE(Extra.Got.find("too many clients at once"), std::string::npos) << Extra.Got;
  EXPECT_EQ(Chan.Clients(), 3u);
  // Clients that only hold their place are let go, so the place comes back.
  for (auto &C : Idle) EXPECT_TRUE(C->WaitEnd());
  EXPECT_EQ(Chan.Clients(), 0u);
  EXPECT_EQ(Ask(R"({"method":"WakeUp"})"), R"({"status":0,"woken":true})");
  EXPECT_NE(LogText().find("Refused a channel client"), std::string::npos);
}

TEST_F(ChannelFixture, UnfinishedMessagesTogetherHoldABoundedAmount) {
  // Large announced messages, of which only the start arrives: two fit in
  // the bound, a third is refused before it can hold anything.
  const uint32_t Big = 60u << 20;
  std::vector<std::unique_ptr<TRawClient>> Cs;
  for (size_t I = 0; I < 4; ++I) {
    Cs.push_back(std::make_unique<TRawClient>(Path));
    // A refused client may see its connection closed while it still sends.
    bool Sent = Cs.back()->SendHead(Big, 256 << 10);
    if (I < 2) {
      ASSERT_TRUE(Sent);
    }
    SpinUntil([&] { return Cs.back()->Poll() || Chan.PendingBytes() >= (I + 1) * size_t{Big}; });
  }
  EXPECT_FALSE(Cs[0]->Ended);
  EXPECT_FALSE(Cs[1]->Ended);
  for (size_t I = 2; I < 4; ++I) {
    EXPECT_TRUE(Cs[I]->WaitEnd());
    EXPECT_NE(Cs[I]->Got.find("too many unfinished requests"), std::string::npos) << Cs[I]->Got;
  }
  EXPECT_EQ(Chan.PendingBytes(), 2 * (size_t{Big} + 4));
  EXPECT_LE(Chan.PendingBytes(), TReqChannel::DefMaxPendingBytes);
  // A client that leaves gives its share back; small requests pass meanwhile.
  EXPECT_EQ(Ask(R"({"method":"WakeUp"})"), R"({"status":0,"woken":true})");
  Cs[0]->Close();
  ASSERT_TRUE(SpinUntil([&] { return Chan.PendingBytes() == size_t{Big} + 4; }));
  TRawClient Next(Path);
  ASSERT_TRUE(Next.SendHead(Big, 1024));
  EXPECT_TRUE(SpinUntil([&] { return Chan.PendingBytes() == 2 * (size_t{Big} + 4); }));
  EXPECT_FALSE(Next.Poll());
  EXPECT_NE(LogText().find("unfinished messages would hold more than"), std::string::npos);
}

TEST_F(ChannelFixture, AWholeLargeMessageIsServedAndGivesItsShareBack) {
  Chan.SetLimits(TReqChannel::DefMaxClients, 3u << 20);
  std::string Pad(2u << 20, 'x');
  TRawClient C(Path);
  ASSERT_TRUE(C.SendAll(Frame_Encode(R"({"method":"WakeUp","pad":")" + Pad + "\"}")));
  EXPECT_TRUE(C.WaitReply(R"({"status":0,"woken":true})")) << C.Got;
  EXPECT_EQ(Chan.PendingBytes(), 0u);
  // The same again on the same connection: the share was given back.
  ASSERT_TRUE(C.SendAll(Frame_Encode(R"({"method":"WakeUp","pad":")" + Pad + "\"}")));
  C.Got.clear();
  EXPECT_TRUE(C.WaitReply(R"({"status":0,"woken":true})")) << C.Got;
  EXPECT_EQ(Calls, 2);
}

TEST_F(ChannelFixture, AClientThatNeverReadsItsRepliesIsDropped) {
  TRawClient C(Path);
  int Small = 4096;
  ::setsockopt(C.Fd, SOL_SOCKET, SO_RCVBUF, &Small, sizeof Small);
  std::string Batch;
  for (int I = 0; I < 1000; ++I) Batch += Frame_Encode(R"({"method":"WakeUp"})");
  // Far more replies than the bound on unsent bytes, none of them read.
  bool Cut = false;
  for (int I = 0; I < 200 && !Cut; ++I) {
    Cut = !C.SendAll(Batch);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 0);
  }
  EXPECT_TRUE(Cut) << "the channel kept buffering replies";
  EXPECT_TRUE(SpinUntil([&] { return Chan.Clients() == 0; }));
  EXPECT_NE(LogText().find("replies not read"), std::string::npos);
  EXPECT_EQ(Ask(R"({"method":"WakeUp"})"), R"({"status":0,"woken":true})");
}

TEST(MainThread, HandOversRunOnTheMainThreadAndNeverHangAfterTheLoop) {
  TMainThread::Attach();
  std::thread::id Ran;
  std::atomic<bool> Back{false};
  bool SendResult = false;
  std::thread W([&] {
    SendResult = TMainThread::Send([&] { Ran = std::this_thread::get_id(); });
    Back = true;
  });
  SpinUntil([&] { return Back.load(); });
  W.join();
  EXPECT_TRUE(SendResult);
  EXPECT_EQ(Ran, std::this_thread::get_id());
  // On the main thread itself a hand-over runs at once.
  bool Direct = false;
  EXPECT_TRUE(TMainThread::Send([&] { Direct = true; }));
  EXPECT_TRUE(Direct);
  // A sender waiting when the loop ends is released without running.
  std::atomic<bool> Waiting{false};
  bool Late = true;
  std::thread W2([&] {
    Waiting = true;
    Late = TMainThread::Send([] {});
  });
  // Its call is queued once the sender waits on it.
  const auto Limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while ((!Waiting || TMainThread::Pending() == 0) && std::chrono::steady_clock::now() < Limit) std::this_thread::yield();
  EXPECT_GT(TMainThread::Pending(), 0u) << "gave up waiting for the sender's call to be queued";
  TMainThread::Detach();
  W2.join();
  EXPECT_FALSE(Late);
  EXPECT_FALSE(TMainThread::Send([] {}));
  EXPECT_FALSE(TMainThread::Post([] {}));
}

int main(int argc, char **argv) {
  QCoreApplication App(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
