#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonObject>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "control/TReqChannel.h"
#include "platform/TChannelClient.h"
#include "platform/TMainThread.h"
#include "platform/TRuntimeDir.h"
#include "support/TestSupport.h"
#include "ui/Unit_Log.h"

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
