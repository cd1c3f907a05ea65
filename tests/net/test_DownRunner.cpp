// Transfers side by side: the limits per server and in all, the order of
// starting, and stopping one or all of them while they run.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "net/Unit_httpDown.h"
#include "net/uConnPool.h"
#include "net/uDownRunner.h"
#include "support/TScriptHttpServer.h"
#include "support/TestSupport.h"

namespace {

using TStep = TScriptStep;

// Waits for Cond, polling; false after 10 s.
template <class F>
bool WaitFor(F Cond) {
  auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!Cond()) {
    if (std::chrono::steady_clock::now() > Deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// A list of files on two servers, with what became of each.
struct TListRun {
  std::vector<std::string> Urls;
  std::vector<std::atomic<int>> Result;  // 0 not run, 1 saved, 2 failed
  std::vector<std::string> Why;
  // Items that began while one before them in the list had not been
  // started yet: the runner starts them in list order, though the threads
  // may reach their work in any order.
  std::atomic<int> OutOfOrder{0};
  TDownRunner *Runner = nullptr;
  std::atomic<int> InFlight{0}, MaxInFlight{0};
  std::mutex Mx;
  TTempDir Dir;

  explicit TListRun(std::vector<std::string> U) : Urls(std::move(U)), Result(Urls.size()), Why(Urls.size()) {}

  void Work(size_t I, THttpDownFile &D) {
    const std::vector<size_t> Started = Runner->Running();
    for (size_t J = 0; J < I; ++J)
      if (Result[J] == 0 && std::find(Started.begin(), Started.end(), J) == Started.end()) ++OutOfOrder;
    {
      std::lock_guard<std::mutex> L(Mx);
      int N = ++InFlight;
      if (N > MaxInFlight) MaxInFlight = N;
    }
    const bool Ok = D.DownLoad(Urls[I], Dir.File(std::to_string(I)), "", "", 10);
    {
      std::lock_guard<std::mutex> L(Mx);
      --InFlight;
      Why[I] = D.ErrorText();
    }
    Result[I] = Ok ? 1 : 2;
  }
  void Run(TDownRunner &R) {
    Runner = &R;
    R.Run(
        Urls.size(), [&](size_t I) { return Down_ServerKey(Urls[I]); }, [&](size_t I, THttpDownFile &D) { Work(I, D); });
  }
};

std::string Held(const std::string &Body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(Body.size()) + "\r\n\r\n";
}

}  // namespace

TEST(DownRunner, ServerKeysNameSchemeHostAndPort) {
  const std::pair<const char *, const char *> Cases[] = {
      {"http://Pics.Example.org/a.jpg", "http://pics.example.org:80"},
      {"https://pics.example.org/a.jpg", "https://pics.example.org:443"},
      {"https://user:pw@pics.example.org:8443/a", "https://pics.example.org:8443"},
      {"pics.example.org/a.jpg", "http://pics.example.org:80"},
      {"http://[::1]:8080/x", "http://::1:8080"},
      {"file:///home/u/a.jpg", ""},
      {"ftp://f.org/x", ""},
      {"http://h.org:99999/x", ""},
  };
  for (const auto &[Url, Key] : Cases) EXPECT_EQ(Down_ServerKey(Url), Key) << Url;
}

TEST(DownRunner, SixAtOnceInListOrderAndNeverMoreThanFourToOneServer) {
  TScriptHttpServer A, B;
  std::vector<std::string> Urls;
  for (int I = 0; I < 14; ++I) {
    TScriptHttpServer &S = I % 2 == 0 ? A : B;
    const std::string T = "/f" + std::to_string(I);
    S.On(T, {TStep::Send(Held("body" + std::to_string(I))), TStep::Hold(), TStep::Send("body" + std::to_string(I))});
    Urls.push_back(S.Url(T));
  }
  // Six more to A alone, answered at once.
  for (int I = 14; I < 20; ++I) {
    const std::string T = "/f" + std::to_string(I);
    A.On(T, TScriptHttpServer::Response("200 OK", "body" + std::to_string(I)));
    Urls.push_back(A.Url(T));
  }
  TListRun L(Urls);
  TDownRunner R(TDownLimits{});
  std::thread T([&] { L.Run(R); });
  // The first six are under way together and held there.
  ASSERT_TRUE(WaitFor([&] { return A.Requests().size() + B.Requests().size() == 6; })) << "six requests within 10 s";
  EXPECT_EQ(R.Running(), (std::vector<size_t>{0, 1, 2, 3, 4, 5}));
  size_t Last = 0;
  ASSERT_TRUE(R.LastStarted(Last));
  EXPECT_EQ(Last, 5u);
  // Byte counts of every transfer are there to be summed.
  int64_t Recv = 0;
  ASSERT_TRUE(WaitFor([&] {
    Recv = 0;
    for (const auto &D : R.Downloaders()) Recv += D->IsBusy() ? D->TotalBytes() : 0;
    return Recv == 6 * 5;
  })) << Recv;
  A.Release();
  B.Release();
  T.join();
  for (size_t I = 0; I < Urls.size(); ++I) {
    EXPECT_EQ(L.Result[I], 1) << I << ": " << L.Why[I];
    EXPECT_EQ(ReadFile(L.Dir.File(std::to_string(I))), "body" + std::to_string(I));
  }
  EXPECT_EQ(L.OutOfOrder, 0);
  EXPECT_EQ(L.MaxInFlight, 6);
  EXPECT_LE(A.MaxInFlight(), 4);
  EXPECT_LE(B.MaxInFlight(), 4);
}

TEST(DownRunner, OneServerGetsFourConnectionsAndKeepsThem) {
  TScriptHttpServer A;
  A.KeepAlive(1000);
  std::vector<std::string> Urls;
  for (int I = 0; I < 40; ++I) {
    const std::string T = "/p" + std::to_string(I);
    // The first four are held until all four are there.
    if (I < 4)
      A.On(T, {TStep::Send(Held("x")), TStep::Hold(), TStep::Send("x")});
    else
      A.On(T, TScriptHttpServer::Response("200 OK", "x"));
    Urls.push_back(A.Url(T));
  }
  TListRun L(Urls);
  TDownRunner R(TDownLimits{});
  std::thread T([&] { L.Run(R); });
  ASSERT_TRUE(WaitFor([&] { return A.Requests().size() == 4; })) << "four requests within 10 s";
  A.Release();
  T.join();
  for (size_t I = 0; I < Urls.size(); ++I) EXPECT_EQ(L.Result[I], 1) << I << ": " << L.Why[I];
  EXPECT_EQ(A.MaxInFlight(), 4);
  EXPECT_EQ(A.Accepted(), 4u);
  EXPECT_EQ(R.Pool()->IdleCount(), 4u);
}

TEST(DownRunner, StopItemEndsThatTransferAloneAndTheNextStarts) {
  TScriptHttpServer A, B;
  std::vector<std::string> Urls;
  for (int I = 0; I < 8; ++I) {
    TScriptHttpServer &S = I % 2 == 0 ? A : B;
    const std::string T = "/f" + std::to_string(I);
    S.On(T, {TStep::Send(Held("data")), TStep::Hold(), TStep::Send("data")});
    Urls.push_back(S.Url(T));
  }
  TListRun L(Urls);
  TDownRunner R(TDownLimits{});
  std::thread T([&] { L.Run(R); });
  ASSERT_TRUE(WaitFor([&] { return A.Requests().size() + B.Requests().size() == 6; })) << "six requests within 10 s";
  size_t Last = 0;
  ASSERT_TRUE(R.LastStarted(Last));
  ASSERT_EQ(Last, 5u);
  EXPECT_TRUE(R.StopItem(Last));
  EXPECT_FALSE(R.StopItem(7));  // not started: nothing to stop
  // Item 5 ends at once; the place it leaves goes to item 6, while the
  // others still wait for their servers.
  ASSERT_TRUE(WaitFor([&] { return L.Result[5] != 0; })) << "the stopped item did not end within 10 s";
  EXPECT_EQ(L.Why[5], "User stop !");
  ASSERT_TRUE(WaitFor([&] { return A.Requests().size() == 4; })) << "item 6 did not start within 10 s";
  for (size_t I : {0, 1, 2, 3, 4}) EXPECT_EQ(L.Result[I], 0) << I;
  EXPECT_TRUE(R.LastStarted(Last));
  EXPECT_EQ(Last, 6u);
  A.Release();
  B.Release();
  T.join();
  for (size_t I = 0; I < Urls.size(); ++I) EXPECT_EQ(L.Result[I], I == 5 ? 2 : 1) << I << ": " << L.Why[I];
}

TEST(DownRunner, StopAllEndsEveryTransferAndStartsNoMore) {
  TScriptHttpServer A, B;
  std::vector<std::string> Urls;
  for (int I = 0; I < 12; ++I) {
    TScriptHttpServer &S = I % 2 == 0 ? A : B;
    const std::string T = "/f" + std::to_string(I);
    S.On(T, {TStep::Send(Held("data")), TStep::Hold(), TStep::Send("data")});
    Urls.push_back(S.Url(T));
  }
  TListRun L(Urls);
  TDownRunner R(TDownLimits{});
  std::thread T([&] { L.Run(R); });
  ASSERT_TRUE(WaitFor([&] { return A.Requests().size() + B.Requests().size() == 6; })) << "six requests within 10 s";
  R.StopAll();
  T.join();  // without the stop, the held answers would keep it
  EXPECT_TRUE(R.Stopped());
  for (size_t I = 0; I < Urls.size(); ++I) {
    EXPECT_EQ(L.Result[I], I < 6 ? 2 : 0) << I;
    EXPECT_EQ(L.Why[I], I < 6 ? "User stop !" : "") << I;
  }
  EXPECT_EQ(A.Requests().size() + B.Requests().size(), 6u);
  EXPECT_TRUE(R.Running().empty());
}

TEST(DownRunner, WorkWithoutAServerAndAFailingWorkItem) {
  TDownRunner R(TDownLimits{2, 3, 0});
  std::atomic<int> Ran{0};
  EXPECT_THROW(R.Run(
                   10, [](size_t) { return std::string(); },
                   [&](size_t I, THttpDownFile &) {
                     ++Ran;
                     if (I == 4) throw std::runtime_error("broken item");
                   }),
               std::runtime_error);
  // The others still ran: one item's failure is its own.
  EXPECT_EQ(Ran, 10);
  EXPECT_EQ(R.Downloaders().size(), 3u);
}

// What an item does after its transfer (counting, telling the window) is
// no transfer: the item no longer shows as running nor can be skipped.
TEST(DownRunner, AnItemThatLeftIsNeitherShownNorStopped) {
  TDownRunner R(TDownLimits{});
  std::atomic<bool> Left{false}, Go{false};
  std::thread T([&] {
    R.Run(
        1, [](size_t) { return std::string(); },
        [&](size_t I, THttpDownFile &) {
          R.Leave(I);
          Left = true;
          while (!Go) std::this_thread::yield();
        });
  });
  ASSERT_TRUE(WaitFor([&] { return Left.load(); })) << "the item did not leave within 10 s";
  size_t Last = 0;
  EXPECT_FALSE(R.LastStarted(Last));
  EXPECT_EQ(R.LastStartedDown(), nullptr);
  EXPECT_FALSE(R.StopItem(0));
  Go = true;
  T.join();
}
