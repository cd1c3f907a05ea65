// The update check's decisions without a display: the update file's
// address and reading, the version comparison, the reminder's days, the
// next-check date, when the automatic check is due, and the fetch against
// real servers (the scripted one, nginx over https with a test CA).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cmath>
#include <memory>
#include <thread>

#include "net/Unit_httpDown.h"
#include "pub/Unit_Pub.h"
#include "support/TNginxServer.h"
#include "support/TQtSupport.h"
#include "support/TScriptHttpServer.h"
#include "support/TestSupport.h"
#include "ui/uUpdChk.h"

namespace {

constexpr long double Ours = 0.12L;

std::string Ok(const std::string &Body) { return TScriptHttpServer::Response("200 OK", Body); }

}  // namespace

TEST(UpdFile, TheAddressIsTheFixedPathOnTheSite) {
  struct {
    const char *Host, *Url;
  } Cases[] = {
      {"https://mossgather.org", "https://mossgather.org/upd/updpgm.txt"},
      {"mossgather.org", "https://mossgather.org/upd/updpgm.txt"},  // a bare name is asked over https
      {" http://127.0.0.1:8080/ ", "http://127.0.0.1:8080/upd/updpgm.txt"},
      {"https://example.org/mirror//", "https://example.org/mirror/upd/updpgm.txt"},
      {"", ""},
      {"   ", ""},
  };
  for (const auto &C : Cases) EXPECT_EQ(UpdFileUrl(C.Host), C.Url) << C.Host;
}

TEST(UpdFile, PublishedVersionsAgainstOurs) {
  // Only a step of more than 0.01 above 0.12, after rounding to 32 bits,
  // counts: 0.13 rounds to just under it.
  struct {
    const char *Line;
    bool Newer;
  } Cases[] = {{"0.12", false}, {"0.13", false}, {"0.1301", true},        {"0.14", true},  {"0.2", true},
               {"0.11", false}, {"1", true},     {" 0.14 ", true},        {"+0.14", true}, {"1e-1", false},
               {"0", false},    {"-3", false},   {"0.1300000001", false}, {"12", true}};
  for (const auto &C : Cases) {
    TUpdInfo I;
    std::string Why;
    ASSERT_TRUE(ParseUpdFile(std::string(C.Line) + "\nhttps://mossgather.org/new.html\n", I, &Why)) << C.Line << ": " << Why;
    EXPECT_EQ(IsNewerVersion(I.Version, Ours), C.Newer) << C.Line;
  }
  EXPECT_EQ(sizeof(TUpdInfo{}.Version), 4u);
}

TEST(UpdFile, OnlyTwoGoodLinesAreRead) {
  struct {
    const char *Name;
    std::string Text;
  } Bad[] = {
      {"empty", ""},
      {"one line", "0.14"},
      {"one line and its break", "0.14\n"},
      {"not a number", "abc\nhttps://mossgather.org/"},
      {"a comma for the point", "0,14\nhttps://mossgather.org/"},
      {"a number and more", "0.14 beta\nhttps://mossgather.org/"},
      {"hexadecimal", "0x1p-3\nhttps://mossgather.org/"},
      {"infinite", "inf\nhttps://mossgather.org/"},
      {"not a number at all", "nan\nhttps://mossgather.org/"},
      {"too big for 32 bits", "1e39\nhttps://mossgather.org/"},
      {"empty version", "\nhttps://mossgather.org/"},
      {"empty address", "0.14\n\n"},
      {"a local file", "0.14\nfile:///etc/passwd"},
      {"a script", "0.14\njavascript:alert(1)"},
      {"a program", "0.14\n/usr/bin/xterm"},
      {"no host", "0.14\nhttps://"},
      {"a blank inside", "0.14\nhttps://mossgather.org/a b"},
  };
  for (const auto &C : Bad) {
    TUpdInfo I;
    std::string Why;
    EXPECT_FALSE(ParseUpdFile(C.Text, I, &Why)) << C.Name;
    EXPECT_FALSE(Why.empty()) << C.Name;
    EXPECT_EQ(Why.find('\n'), std::string::npos) << C.Name;
  }
  struct {
    const char *Name;
    std::string Text, Url;
  } Good[] = {
      {"CR LF", "0.14\r\nhttps://mossgather.org/new.html\r\n", "https://mossgather.org/new.html"},
      {"a byte-order mark",
       "\xEF\xBB\xBF"
       "0.14\nhttp://mossgather.org/",
       "http://mossgather.org/"},
      {"further lines", "0.14\n  https://mossgather.org/n  \nignored\n\x01\x02", "https://mossgather.org/n"},
      {"lone CR", "0.14\rHTTPS://mossgather.org/", "HTTPS://mossgather.org/"},
  };
  for (const auto &C : Good) {
    TUpdInfo I;
    ASSERT_TRUE(ParseUpdFile(C.Text, I)) << C.Name;
    EXPECT_EQ(I.Url, C.Url) << C.Name;
    EXPECT_FLOAT_EQ(I.Version, 0.14f) << C.Name;
  }
}

TEST(Reminder, TypedDaysAreHeldToOneToThirtyAndSevenWhenNotANumber) {
  struct {
    const char *Typed;
    int32_t Days;
  } Cases[] = {{"45", 30}, {"0", 1},   {"abc", 7},         {"", 7},           {"  12 ", 12}, {"-3", 1},   {"30", 30},
               {"31", 30}, {"1", 1},   {"99999999999", 7}, {"12abc", 7},      {"+5", 5},     {"0x10", 7}, {"7.5", 7},
               {"\t9", 9}, {"- 4", 7}, {"2147483647", 30}, {"-2147483648", 1}};
  for (const auto &C : Cases) EXPECT_EQ(ReminderDays(C.Typed), C.Days) << '"' << C.Typed << '"';
}

TEST(NextCheck, MovesByTheCycleAndStaysReadable) {
  const TDateTime Today = EncodeDate(2026, 12, 8);
  EXPECT_EQ(DateToStr(NextChkDate(Today, 14)), "2026-12-22");
  EXPECT_EQ(DateToStr(NextChkDate(Today + 0.75, 14)), "2026-12-22");  // the time of day does not count
  EXPECT_EQ(DateToStr(NextChkDate(Today, 0)), "2026-12-08");
  EXPECT_EQ(DateToStr(NextChkDate(Today, 30)), "2027-01-07");
  // A cycle typed into cfg.ini by hand cannot make a date that would not
  // read back at the next start.
  for (int32_t Cyc : {INT32_MAX, INT32_MIN, 3000000, -800000}) {
    std::string S = DateToStr(NextChkDate(Today, Cyc));
    TDateTime Back;
    EXPECT_TRUE(TryStrToDate(S, Back)) << Cyc << " gave " << S;
  }
  EXPECT_EQ(DateToStr(NextChkDate(Today, INT32_MAX)), "9999-12-31");
  EXPECT_EQ(DateToStr(NextChkDate(Today, INT32_MIN)), "0001-01-01");
}

TEST(AutoCheck, RunsOnlyWhenEveryConditionAllows) {
  const TDateTime Today = EncodeDate(2026, 12, 8);
  TAutoChkState Due;
  Due.ChkCyc = 14;
  Due.Today = Today;
  Due.NextChk = Today;
  EXPECT_TRUE(AutoChkDue(Due));
  struct {
    const char *Name;
    std::function<void(TAutoChkState &)> Change;
    bool Runs;
  } Cases[] = {
      {"already checked in this run", [](TAutoChkState &S) { S.CheckedThisRun = true; }, false},
      {"the dialog is up", [](TAutoChkState &S) { S.DialogShowing = true; }, false},
      {"a job is being edited", [](TAutoChkState &S) { S.EditWindowShowing = true; }, false},
      {"do not remind me", [](TAutoChkState &S) { S.ChkCyc = 0; }, false},
      {"a negative cycle", [](TAutoChkState &S) { S.ChkCyc = -5; }, false},
      {"a one-day cycle", [](TAutoChkState &S) { S.ChkCyc = 1; }, true},
      {"due tomorrow", [Today](TAutoChkState &S) { S.NextChk = Today + 1; }, false},
      {"was due yesterday", [Today](TAutoChkState &S) { S.NextChk = Today - 1; }, true},
      {"late in the day it was due", [Today](TAutoChkState &S) { S.Today = Today + 0.99; }, true},
      {"due this afternoon", [Today](TAutoChkState &S) { S.NextChk = Today + 0.5; }, true},
  };
  for (const auto &C : Cases) {
    TAutoChkState S = Due;
    C.Change(S);
    EXPECT_EQ(AutoChkDue(S), C.Runs) << C.Name;
  }
}

// ---------------------------------------------------------------------------
// The fetch against real servers.

class UpdFetch : public ::testing::Test {
 protected:
  TTempDir Dir;
  TScriptHttpServer Srv;
  std::string Temp = Dir.File("#tmp_0.html");
  std::string Url() { return Srv.Url(UpdFilePath); }
  TUpdAnswer Get(int TimeoutSec = 5) {
    THttpDownFile D;
    return GetUpdInfo(D, Url(), Temp, TimeoutSec, Ours);
  }
};

TEST_F(UpdFetch, TheServersAnswerDecides) {
  struct {
    const char *Name;
    std::string Reply;
    bool Read, Newer;
  } Cases[] = {
      {"0.12 published", Ok("0.12\r\nhttps://mossgather.org/v012.html\r\n"), true, false},
      {"0.13 published", Ok("0.13\nhttps://mossgather.org/v013.html\n"), true, false},
      {"0.1301 published", Ok("0.1301\nhttps://mossgather.org/v01301.html\n"), true, true},
      {"0.14 published", Ok("0.14\nhttps://mossgather.org/v014.html\n"), true, true},
      {"0.2 published", Ok("0.2\nhttps://mossgather.org/v02.html"), true, true},
      {"missing", TScriptHttpServer::Response("404 Not Found", "<html>gone</html>"), false, false},
      {"server error", TScriptHttpServer::Response("500 Internal Server Error", "0.2\nhttps://x.org/"), false, false},
      {"short", Ok("0.2"), false, false},
      {"malformed", Ok("<html><body>0.2</body></html>\nhttps://mossgather.org/"), false, false},
      {"cut off", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0.2\nhttps://mossgather.org/", false, false},
      {"not HTTP", "SSH-2.0-OpenSSH_9.2\r\n", false, false},
      {"far too long", Ok("0.14\nhttps://mossgather.org/v014.html\n" + std::string(2 << 20, ' ')), false, false},
      {"far too long without a length",
       "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n0.14\nhttps://mossgather.org/v014.html\n" + std::string(2 << 20, ' '), false,
       false},
  };
  for (const auto &C : Cases) {
    Srv.On(UpdFilePath, C.Reply);
    TUpdAnswer A = Get();
    EXPECT_EQ(A.Read, C.Read) << C.Name << ": " << A.Error;
    EXPECT_EQ(A.Newer, C.Newer) << C.Name;
    EXPECT_EQ(A.Error.empty(), C.Read) << C.Name;
    EXPECT_FALSE(File_Exists(Temp)) << C.Name << ": the scratch file stays behind";
  }
  TUpdAnswer A;
  Srv.On(UpdFilePath, Ok("0.14\nhttps://mossgather.org/v014.html\n"));
  A = Get();
  EXPECT_EQ(A.Info.Url, "https://mossgather.org/v014.html");
  EXPECT_FLOAT_EQ(A.Info.Version, 0.14f);
  // One plain GET of the fixed path, with no referer and no cookie.
  std::string Req = Srv.Requests().back();
  EXPECT_EQ(Req.rfind("GET /upd/updpgm.txt HTTP/1.1\r\n", 0), 0u) << Req;
  EXPECT_EQ(Req.find("Referer"), std::string::npos);
  EXPECT_EQ(Req.find("Cookie"), std::string::npos);
}

TEST_F(UpdFetch, NoSiteAndNoServerGiveNoAnswerWithAReason) {
  THttpDownFile D;
  TUpdAnswer A = GetUpdInfo(D, UpdFileUrl(""), Temp, 5, Ours);
  EXPECT_FALSE(A.Read);
  EXPECT_EQ(A.Error, "No update site is set");
  A = GetUpdInfo(D, "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + UpdFilePath, Temp, 5, Ours);
  EXPECT_FALSE(A.Read);
  EXPECT_FALSE(A.Error.empty());
}

TEST_F(UpdFetch, TheAnswerComesBackOnTheMainThread) {
  Srv.On(UpdFilePath, Ok("0.14\nhttps://mossgather.org/v014.html\n"));
  TUpdFetch F;
  bool Got = false, Freed = false;
  std::thread::id Where;
  F.Start(
      Url(), Temp, 5, Ours,
      [&](const TUpdAnswer &A) {
        Got = true;
        Where = std::this_thread::get_id();
        EXPECT_TRUE(A.Newer);
      },
      [&] { Freed = true; });
  EXPECT_TRUE(F.Busy());
  ASSERT_TRUE(SpinUntil([&] { return Got; }, 20000)) << "no answer from the fetch";
  EXPECT_EQ(Where, std::this_thread::get_id());
  EXPECT_TRUE(Freed);
  EXPECT_FALSE(F.Busy());
}

TEST_F(UpdFetch, ACancelledFetchAnswersNothingButGivesItsFileBack) {
  Srv.On(UpdFilePath, TScript{TScriptStep::Stall()});
  TUpdFetch F;
  bool Got = false, Freed = false;
  F.Start(
      Url(), Temp, 600, Ours, [&](const TUpdAnswer &) { Got = true; }, [&] { Freed = true; });
  ASSERT_TRUE(Srv.WaitRequests(1, 20000)) << "the request never came";
  F.Cancel();
  EXPECT_FALSE(F.Busy());
  ASSERT_TRUE(SpinUntil([&] { return Freed; }, 20000)) << "the worker did not give its file back after the stop";
  EXPECT_FALSE(Got);
}

TEST_F(UpdFetch, ANewFetchReplacesTheRunningOneAndTheDestructorStopsAStalledOne) {
  Srv.On(UpdFilePath, TScript{TScriptStep::Stall()});
  auto F = std::make_unique<TUpdFetch>();
  int First = 0, Second = 0;
  F->Start(Url(), Temp, 600, Ours, [&](const TUpdAnswer &) { ++First; });
  ASSERT_TRUE(Srv.WaitRequests(1, 20000));
  Srv.On(UpdFilePath, Ok("0.2\nhttps://mossgather.org/\n"));
  F->Start(Url(), Dir.File("#tmp_1.html"), 600, Ours, [&](const TUpdAnswer &A) { Second += A.Newer ? 1 : 100; });
  ASSERT_TRUE(SpinUntil([&] { return Second > 0; }, 20000));
  EXPECT_EQ(First, 0);
  EXPECT_EQ(Second, 1);
  Srv.On(UpdFilePath, TScript{TScriptStep::Stall()});
  F->Start(Url(), Temp, 600, Ours, [&](const TUpdAnswer &) { ++First; });
  ASSERT_TRUE(Srv.WaitRequests(3, 20000));
  F.reset();  // returns only once the stalled worker has stopped
  QCoreApplication::processEvents();
  EXPECT_EQ(First, 0);
}

// nginx over https, trusting only the test CA.
class UpdNginx : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Root = std::make_unique<TTempDir>();
    Dir_Force(Root->File("upd"));
    WriteFile(Root->File("upd/updpgm.txt"), "0.14\r\nhttps://mossgather.org/en/v014.html\r\n");
    Nginx = std::make_unique<TNginxServer>(Root->Path());
  }
  static void TearDownTestSuite() {
    Nginx.reset();
    Root.reset();
  }
  void SetUp() override {
    if (!Nginx->Running()) GTEST_SKIP() << Nginx->Error();
  }
  static std::unique_ptr<TTempDir> Root;
  static std::unique_ptr<TNginxServer> Nginx;
  TTempDir Dir;
};
std::unique_ptr<TTempDir> UpdNginx::Root;
std::unique_ptr<TNginxServer> UpdNginx::Nginx;

TEST_F(UpdNginx, ANewerVersionOverHttpsAndNoneFromAServerThatCannotProveItsName) {
  THttpDownFile D;
  D.SetCaFile(Nginx->CaFile());
  TUpdAnswer A = GetUpdInfo(D, UpdFileUrl(Nginx->HttpsUrl("")), Dir.File("t.html"), 5, Ours);
  ASSERT_TRUE(A.Read) << A.Error;
  EXPECT_TRUE(A.Newer);
  EXPECT_EQ(A.Info.Url, "https://mossgather.org/en/v014.html");
  A = GetUpdInfo(D, UpdFileUrl(Nginx->WrongNameUrl("")), Dir.File("t.html"), 5, Ours);
  EXPECT_FALSE(A.Read);
  EXPECT_FALSE(A.Newer);
  EXPECT_NE(A.Error.find("certificate"), std::string::npos) << A.Error;
  // Without the test CA the system's trust store knows nothing of it.
  THttpDownFile Plain;
  A = GetUpdInfo(Plain, UpdFileUrl(Nginx->HttpsUrl("")), Dir.File("t.html"), 5, Ours);
  EXPECT_FALSE(A.Read);
  EXPECT_FALSE(File_Exists(Dir.File("t.html")));
}

int main(int argc, char **argv) { return RunTestsWithEventLoop(argc, argv, false); }
