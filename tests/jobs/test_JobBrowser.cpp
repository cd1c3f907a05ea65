// A job's downloads as the user's browser would make them: its cookies and
// User-Agent, several files at once with the monitor's view of them right,
// retries, and no login page saved as a picture.
#include <gtest/gtest.h>

#include "net/Unit_httpDown.h"
#include "support/JobTestHost.h"
#include "support/TScriptHttpServer.h"
#include "ui/uJobDtlText.h"

namespace {
using TStep = TScriptStep;

// The value of a request's header line Name ("" when it has none).
std::string HeaderOf(const std::string &Request, const std::string &Name) {
  const std::string Key = "\r\n" + Name + ": ";
  const size_t At = Request.find(Key);
  if (At == std::string::npos) return "";
  const size_t From = At + Key.size();
  return Request.substr(From, Request.find("\r\n", From) - From);
}

// The request that asked for Target.
std::string RequestFor(const TScriptHttpServer &Srv, const std::string &Target) {
  for (const std::string &R : Srv.Requests())
    if (R.rfind("GET " + Target + " ", 0) == 0) return R;
  return "";
}

std::string Cookie(const std::string &Name, const std::string &Value, const std::string &Domain, const std::string &Path,
                   const std::string &More = "") {
  return "{\"name\":\"" + Name + "\",\"value\":\"" + Value + "\",\"domain\":\"" + Domain + "\",\"path\":\"" + Path +
         "\",\"hostOnly\":true" + More + "}";
}
}  // namespace

TEST_F(JobFixture, TheBrowsersCookiesAndUserAgentGoOnlyWhereTheBrowserWouldSendThem) {
  TScriptHttpServer Srv;
  for (const char *T : {"/private/a.png", "/pub/b.png", "/c.png"}) Srv.On(T, TScriptHttpServer::Response("200 OK", "png"));
  const std::string Ua = "Mozilla/5.0 (X11; Linux x86_64) TestBrowser/1.0";
  const std::string Page = Srv.Url("/private/page.html");
  // Cookies ignore ports: 127.0.0.1's are for it on any port, localhost's
  // for localhost only.
  const std::string Cookies = "[" + Cookie("sid", "S3cr3tSid", "127.0.0.1", "/") + "," +
                              Cookie("deep", "D33pValue", "127.0.0.1", "/private") + "," +
                              Cookie("sec", "Secur3Only", "127.0.0.1", "/", ",\"secure\":true") + "," +
                              Cookie("old", "Exp1red", "127.0.0.1", "/", ",\"expirationDate\":1000000000") + "," +
                              Cookie("there", "L0calhostOnly", "localhost", "/") + "]";
  PJobRec J = Edit({{Srv.Url("/private/a.png"), Dir.File("a.png")},
                    {Srv.Url("/pub/b.png"), Dir.File("b.png")},
                    {"http://localhost:" + std::to_string(Srv.Port()) + "/c.png", Dir.File("c.png")}},
                   pcAllImages, TSnapshotBuilder().Url(Page).Set("userAgent", "\"" + Ua + "\"").Set("cookies", Cookies));
  Save(J);
  ASSERT_TRUE(WaitEnd(J));
  EXPECT_EQ(J->State, jsComplete);
  const std::string A = RequestFor(Srv, "/private/a.png"), B = RequestFor(Srv, "/pub/b.png"), C = RequestFor(Srv, "/c.png");
  EXPECT_EQ(HeaderOf(A, "Cookie"), "deep=D33pValue; sid=S3cr3tSid");
  EXPECT_EQ(HeaderOf(B, "Cookie"), "sid=S3cr3tSid");
  EXPECT_EQ(HeaderOf(C, "Cookie"), "there=L0calhostOnly");
  for (const std::string &R : {A, B, C}) {
    EXPECT_EQ(HeaderOf(R, "User-Agent"), Ua);
    EXPECT_EQ(HeaderOf(R, "Connection"), "keep-alive");
  }
  EXPECT_EQ(HeaderOf(A, "Referer"), Page);
  // The cookies live in the job's memory only: nothing the user sees or
  // the program writes shows them.
  std::string Seen = LogText() + JobDtlText(*J, Now());
  for (const std::string &U : JobUrlList(*J)) Seen += U;
  for (const char *Value : {"S3cr3tSid", "D33pValue", "Secur3Only", "L0calhostOnly"})
    EXPECT_EQ(Seen.find(Value), std::string::npos) << Value;
}

TEST_F(JobFixture, WithoutTheBrowsersIdentityTheProgramsOwnRequestStands) {
  TScriptHttpServer Srv;
  Srv.On("/a.png", TScriptHttpServer::Response("200 OK", "png"));
  PJobRec J = Edit({{Srv.Url("/a.png"), Dir.File("a.png")}});
  Save(J);
  ASSERT_TRUE(WaitEnd(J));
  const std::string R = RequestFor(Srv, "/a.png");
  EXPECT_EQ(HeaderOf(R, "Cookie"), "");
  EXPECT_NE(HeaderOf(R, "User-Agent"), "");
}

// Six at once, four to one server: files of two servers in turn, every
// answer held after its first bytes until the test lets them go.
TEST_F(JobFixture, SixFilesRunAtOnceAndTheMonitorShowsTheLastStartedAndAllTotals) {
  TScriptHttpServer A, B;
  std::vector<std::pair<std::string, std::string>> Files;
  for (int I = 0; I < 8; ++I) {
    TScriptHttpServer &S = I % 2 ? B : A;
    const std::string T = Format("/p%d.png", {I});
    S.On(T, TScript{TStep::Send("HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\nabcd"), TStep::Hold(), TStep::Send("efgh")});
    Files.emplace_back(S.Url(T), Dir.File(Format("p%d.png", {I})));
  }
  PJobRec J = Edit(Files);
  Save(J);
  ASSERT_TRUE(Spin([&] { return JobBusyCount(*J) == 6 && JobRecvBytes(*J) == 24; })) << "six transfers with their first bytes";
  EXPECT_EQ(J->CurFile.Get(), Dir.File("p5.png"));
  const std::string Text = JobDtlText(*J, Now());
  EXPECT_NE(Text.find("  D/L Ratio: 50.00%;\n  D/L-Total: 0.02K - 0.05K \n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("Saving file: " + Dir.File("p5.png") + "\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("Saved file count: 0\nTotal file count: 8"), std::string::npos) << Text;
  EXPECT_EQ(J->FileList[6]->Status, fsPending);
  A.Release();
  B.Release();
  ASSERT_TRUE(WaitEnd(J));
  EXPECT_EQ(J->State, jsComplete);
  EXPECT_EQ(J->SavedCnt, 8);
  EXPECT_LE(A.MaxInFlight(), 4);
  for (int I = 0; I < 8; ++I) EXPECT_EQ(ReadFile(Dir.File(Format("p%d.png", {I}))), "abcdefgh") << I;
}

TEST_F(JobFixture, AWebPageInPlaceOfAPictureFailsAndNothingIsSaved) {
  TScriptHttpServer Srv;
  Srv.On("/login.jpg", TScriptHttpServer::Response("200 OK", "<!DOCTYPE html><html><form>Sign in</form></html>",
                                                   "Content-Type: text/html; charset=utf-8\r\n"));
  Srv.On("/fine.jpg", TScriptHttpServer::Response("200 OK", "\xFF\xD8\xFFjpeg"));
  PJobRec J = Edit({{Srv.Url("/login.jpg"), Dir.File("login.jpg")}, {Srv.Url("/fine.jpg"), Dir.File("fine.jpg")}});
  Save(J);
  ASSERT_TRUE(WaitEnd(J));
  EXPECT_EQ(J->State, jsWarning);
  EXPECT_EQ(J->FileList[0]->Status, fsFailed);
  EXPECT_FALSE(Path_Exists(Dir.File("login.jpg")));
  EXPECT_EQ(ReadFile(Dir.File("fine.jpg")), "\xFF\xD8\xFFjpeg");
  EXPECT_NE(LogText().find(WebPageText), std::string::npos);
}

TEST_F(JobFixture, AFailureThatMayPassIsTriedAgainAndTheMonitorShowsTheWait) {
  TScriptHttpServer Srv;
  const std::string Busy = "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n";
  Srv.OnEach("/again.png", {TScript{TStep::Send(Busy)}, TScript{TStep::Send(Busy)},
                            TScript{TStep::Send(TScriptHttpServer::Response("200 OK", "png"))}});
  Ctrl->RetryUnitMs = 1;
  PJobRec J = Edit({{Srv.Url("/again.png"), Dir.File("again.png")}});
  Save(J);
  ASSERT_TRUE(WaitEnd(J));
  EXPECT_EQ(J->State, jsComplete);
  EXPECT_EQ(Srv.Targets().size(), 3u);

  // A pause far longer than any test: Stop ends it at once.
  Srv.On("/down.png", TScript{TStep::Send(Busy)});
  Ctrl->RetryUnitMs = 3600 * 1000;
  PJobRec K = Edit({{Srv.Url("/down.png"), Dir.File("down.png")}});
  Save(K);
  ASSERT_TRUE(Spin([&] { return JobDtlText(*K, Now()).find("Http Action: Retry 1 of 3 in 1 s") != std::string::npos; }))
      << "the retry's wait in the detail: " << JobDtlText(*K, Now());
  EXPECT_TRUE(Ctrl->PJob_Stop(K));
  EXPECT_EQ(K->State, jsError);
  EXPECT_FALSE(Path_Exists(Dir.File("down.png")));
}
