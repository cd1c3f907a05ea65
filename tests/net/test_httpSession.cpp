// The downloader as the user's browser would fetch: the browser's cookies
// and identity, connections kept open from file to file, failures that pass
// tried again, a broken large file continued, and a login page never saved
// as a picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <thread>

#include "net/Unit_httpDown.h"
#include "net/uConnPool.h"
#include "net/uCookieJar.h"
#include "support/TNginxServer.h"
#include "support/TScriptHttpServer.h"
#include "support/TestSupport.h"

namespace {

using TStep = TScriptStep;

std::string Resp(const std::string &Status, const std::string &Body, const std::string &Headers = "") {
  return TScriptHttpServer::Response(Status, Body, Headers);
}

// The value of a request's header line, or "(none)".
std::string Field(const std::string &Request, const std::string &Name) {
  const std::string Key = "\r\n" + Name + ": ";
  size_t P = Request.find(Key);
  if (P == std::string::npos) return "(none)";
  P += Key.size();
  return Request.substr(P, Request.find("\r\n", P) - P);
}

std::string RandomBytes(size_t N, unsigned Seed) {
  std::mt19937 Rng(Seed);
  std::string S(N, '\0');
  for (char &C : S) C = static_cast<char>(Rng());
  return S;
}

TCookie Ck(const std::string &Name, const std::string &Domain, const std::string &Path = "/", bool Secure = false,
           double Expires = 0) {
  TCookie C;
  C.Name = Name;
  C.Value = Name + "-value";
  C.Domain = Domain;
  C.Path = Path;
  C.Secure = Secure;
  C.Expires = Expires;
  return C;
}

double NowUnix() { return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count(); }

// A scripted https server with the test CA's certificate.
struct TTlsServer {
  TTempDir Certs;
  bool Made = MakeTestCerts(Certs.Path());
  std::unique_ptr<TScriptHttpServer> Srv =
      Made ? std::make_unique<TScriptHttpServer>(Certs.File("good.pem"), Certs.File("good.key")) : nullptr;
};

}  // namespace

TEST(HttpSession, BrowserCookiesGoOnlyWhereTheBrowserWouldSendThem) {
  TScriptHttpServer Srv;
  TTlsServer Tls;
  ASSERT_TRUE(Tls.Made);
  const std::string Port = std::to_string(Srv.Port());
  auto Jar = std::make_shared<TCookieJar>();
  Jar->Add(Ck("sid", "127.0.0.1"));
  Jar->Add(Ck("pics", "127.0.0.1", "/pics"));
  Jar->Add(Ck("secure", "127.0.0.1", "/", true));
  Jar->Add(Ck("gone", "127.0.0.1", "/", false, NowUnix() - 60));
  Jar->Add(Ck("later", "127.0.0.1", "/", false, NowUnix() + 3600));
  Jar->Add(Ck("lh", "localhost"));
  for (const char *T : {"/pics/a.jpg", "/picsx/b.jpg", "/c.jpg"}) {
    Srv.On(T, Resp("200 OK", "x"));
    Tls.Srv->On(T, Resp("200 OK", "x"));
  }
  Srv.On("/away", Resp("302 Found", "", "Location: http://localhost:" + Port + "/there\r\n"));
  Srv.On("/there", Resp("200 OK", "x"));
  TTempDir Dir;
  THttpDownFile D;
  D.SetCookieJar(Jar);
  D.SetCaFile(Tls.Certs.File("ca.pem"));
  const std::pair<std::string, std::string> Cases[] = {
      {Srv.Url("/pics/a.jpg"), "pics=pics-value; sid=sid-value; later=later-value"},
      {Srv.Url("/picsx/b.jpg"), "sid=sid-value; later=later-value"},
      {Tls.Srv->Url("/c.jpg"), "sid=sid-value; secure=secure-value; later=later-value"},
      {Srv.Url("/c.jpg"), "sid=sid-value; later=later-value"},
  };
  for (const auto &[Url, Want] : Cases) {
    ASSERT_TRUE(D.DownLoad(Url, Dir.File("f"), "", "", 5)) << Url << ": " << D.ErrorText();
    const auto &R = Url.rfind("https", 0) == 0 ? Tls.Srv->Requests() : Srv.Requests();
    EXPECT_EQ(Field(R.back(), "Cookie"), Want) << Url;
  }
  // A redirect to another host takes none of the first host's cookies, but
  // the other host gets its own.
  ASSERT_TRUE(D.DownLoad(Srv.Url("/away"), Dir.File("f"), "", "", 5)) << D.ErrorText();
  std::vector<std::string> R = Srv.Requests();
  EXPECT_EQ(Field(R[R.size() - 2], "Cookie"), "sid=sid-value; later=later-value");
  EXPECT_EQ(Field(R.back(), "Cookie"), "lh=lh-value");
  // The cookie given with the call still stays with its own host and joins
  // the browser's there.
  ASSERT_TRUE(D.DownLoad(Srv.Url("/away"), Dir.File("f"), "", "given=1", 5)) << D.ErrorText();
  R = Srv.Requests();
  EXPECT_EQ(Field(R[R.size() - 2], "Cookie"), "given=1; sid=sid-value; later=later-value");
  EXPECT_EQ(Field(R.back(), "Cookie"), "lh=lh-value");
}

TEST(HttpSession, TheBrowsersUserAgentAndTheRefererAreSent) {
  TScriptHttpServer Srv;
  Srv.On("/p.jpg", Resp("200 OK", "x"));
  TTempDir Dir;
  THttpDownFile D;
  ASSERT_TRUE(D.DownLoad(Srv.Url("/p.jpg"), Dir.File("f"), Srv.Url("/page.html"), "", 5));
  EXPECT_EQ(Field(Srv.Requests().back(), "User-Agent"), "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; .NET CLR 1.0.3705)");
  D.SetUserAgent(" Mozilla/5.0 (X11; Linux x86_64) Chrome/120.0\r\nX-Evil: 1 ");
  ASSERT_TRUE(D.DownLoad(Srv.Url("/p.jpg"), Dir.File("f"), Srv.Url("/page.html"), "", 5));
  const std::string R = Srv.Requests().back();
  EXPECT_EQ(Field(R, "User-Agent"), "Mozilla/5.0 (X11; Linux x86_64) Chrome/120.0X-Evil: 1");
  EXPECT_EQ(Field(R, "Referer"), Srv.Url("/page.html"));
  // The lines keep their order, keep-alive in place of close.
  EXPECT_EQ(R.substr(0, R.find("\r\nReferer")),
            "GET /p.jpg HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(Srv.Port()) + "\r\nAccept: */*");
  EXPECT_TRUE(
      Contains(R, "Chrome/120.0X-Evil: 1\r\nPragma: no-cache\r\nCache-Control: no-cache\r\nConnection: keep-alive\r\n\r\n"))
      << R;
}

TEST(HttpSession, FileAfterFileTravelsOverOneConnection) {
  TScriptHttpServer Srv;
  TTlsServer Tls;
  ASSERT_TRUE(Tls.Made);
  for (TScriptHttpServer *S : {&Srv, Tls.Srv.get()}) {
    S->KeepAlive(100);
    S->On("/a", Resp("200 OK", "aaa"));
    S->On("/b", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nbb\r\n0\r\n\r\n");
    S->On("/r", Resp("302 Found", "moved", "Location: /a\r\n"));
    S->On("/e", Resp("200 OK", ""));
  }
  for (TScriptHttpServer *S : {&Srv, Tls.Srv.get()}) {
    TTempDir Dir;
    // Two transfers that share a pool, one after the other, as a job's do.
    auto Pool = std::make_shared<TConnPool>(Tls.Certs.File("ca.pem"));
    THttpDownFile D1, D2;
    D1.SetPool(Pool);
    D2.SetPool(Pool);
    for (const char *T : {"/a", "/b", "/r", "/e"}) {
      ASSERT_TRUE(D1.DownLoad(S->Url(T), Dir.File("1"), "", "", 5)) << T << ": " << D1.ErrorText();
      ASSERT_TRUE(D2.DownLoad(S->Url(T), Dir.File("2"), "", "", 5)) << T << ": " << D2.ErrorText();
    }
    EXPECT_EQ(ReadFile(Dir.File("1")), "");
    EXPECT_EQ(S->Requests().size(), 10u);  // the redirects took two each
    EXPECT_EQ(S->Accepted(), 1u) << S->Url("/");
    EXPECT_EQ(Pool->IdleCount(), 1u);
  }
}

TEST(HttpSession, AConnectionTheServerClosedIsReplacedSilently) {
  struct TCase {
    const char *Name;
    int MaxRequests;
    bool DropNext;
    std::string Answer;
    size_t Connections;
  };
  const TCase Cases[] = {
      {"closed after each answer", 1, false, Resp("200 OK", "abc"), 3},
      {"closed as the next request came", 1, true, Resp("200 OK", "abc"), 3},
      {"closed after two", 2, true, Resp("200 OK", "abc"), 2},
      {"the answer said close", 100, false, Resp("200 OK", "abc", "Connection: close\r\n"), 3},
      {"HTTP/1.0 without keep-alive", 100, false, "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabc", 3},
      {"body read to the close", 1, false, "HTTP/1.1 200 OK\r\n\r\nabc", 3},
  };
  for (const TCase &C : Cases) {
    TScriptHttpServer Srv;
    Srv.KeepAlive(C.MaxRequests, C.DropNext);
    Srv.On("/f", C.Answer);
    TTempDir Dir;
    THttpDownFile D;
    for (int I = 0; I < 3; ++I) {
      ASSERT_TRUE(D.DownLoad(Srv.Url("/f"), Dir.File("f"), "", "", 5)) << C.Name << " " << I << ": " << D.ErrorText();
      EXPECT_EQ(ReadFile(Dir.File("f")), "abc") << C.Name;
    }
    EXPECT_EQ(Srv.Requests().size(), 3u) << C.Name;
    EXPECT_EQ(Srv.Accepted(), C.Connections) << C.Name;
  }
}

TEST(HttpSession, FailuresThatMayPassAreTriedAgainAfterGrowingPauses) {
  const std::string Ok = Resp("200 OK", "fine");
  struct TCase {
    const char *Name;
    std::vector<TScript> Answers;
    bool Ok;
    std::vector<int64_t> Pauses;
    size_t Requests;
  };
  auto S = [](const std::string &B) { return TScript{TStep::Send(B)}; };
  const TCase Cases[] = {
      {"503 once", {S(Resp("503 Service Unavailable", "")), S(Ok)}, true, {1}, 2},
      {"500, 502, 504",
       {S(Resp("500 Oops", "")), S(Resp("502 Bad Gateway", "")), S(Resp("504 Gateway Timeout", "")), S(Ok)},
       true,
       {1, 2, 4},
       4},
      {"408", {S(Resp("408 Request Timeout", "")), S(Ok)}, true, {1}, 2},
      {"429", {S(Resp("429 Too Many Requests", "")), S(Ok)}, true, {1}, 2},
      {"reset", {{TStep::Reset()}, S(Ok)}, true, {1}, 2},
      {"closed without a header", {{TStep::Cut()}, S(Ok)}, true, {1}, 2},
      {"cut within the body", {S("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nfi"), S(Ok)}, true, {1}, 2},
      {"always 503", {S(Resp("503 Service Unavailable", ""))}, false, {1, 2, 4}, 4},
      {"404 is not tried again", {S(Resp("404 Not Found", "")), S(Ok)}, false, {}, 1},
      {"403 is not tried again", {S(Resp("403 Forbidden", "")), S(Ok)}, false, {}, 1},
      {"a bad header is not tried again", {S("ICY 200 OK\r\n\r\n"), S(Ok)}, false, {}, 1},
      {"Retry-After in seconds", {S(Resp("503 Busy", "", "Retry-After: 3\r\n")), S(Ok)}, true, {3}, 2},
      {"Retry-After as a past date",
       {S(Resp("429 Slow down", "", "Retry-After: Tue, 01 Aug 2023 10:00:00 GMT\r\n")), S(Ok)},
       true,
       {0},
       2},
      {"Retry-After past the bound", {S(Resp("503 Busy", "", "Retry-After: 61\r\n")), S(Ok)}, false, {}, 1},
  };
  for (const TCase &C : Cases) {
    TScriptHttpServer Srv;
    Srv.OnEach("/f", C.Answers);
    TTempDir Dir;
    THttpDownFile D;
    D.SetRetries(3, 1);  // a unit of a millisecond keeps the test short
    EXPECT_EQ(D.DownLoad(Srv.Url("/f"), Dir.File("f"), "", "", 5), C.Ok) << C.Name << ": " << D.ErrorText();
    EXPECT_EQ(D.RetryPauses(), C.Pauses) << C.Name;
    EXPECT_EQ(Srv.Requests().size(), C.Requests) << C.Name;
    EXPECT_EQ(FolderNames(Dir.Path()), C.Ok ? std::vector<std::string>{"f"} : std::vector<std::string>{}) << C.Name;
  }
  // A refused connection: tried, and told, as often.
  TTempDir Dir;
  THttpDownFile D;
  D.SetRetries(3, 1);
  const std::string Refused = "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/f";
  EXPECT_FALSE(D.DownLoad(Refused, Dir.File("f"), "", "", 5));
  EXPECT_EQ(D.RetryPauses(), (std::vector<int64_t>{1, 2, 4}));
  EXPECT_TRUE(Contains(D.ErrorText(), "Can not download url : " + Refused + "; System Error: Can not connect")) << D.ErrorText();
  // Without retries set, one try as before.
  THttpDownFile Plain;
  EXPECT_FALSE(Plain.DownLoad(Refused, Dir.File("f"), "", "", 5));
  EXPECT_TRUE(Plain.RetryPauses().empty());
}

TEST(HttpSession, RetryAfterBeyondTheBoundFailsWithTheServersWish) {
  TScriptHttpServer Srv;
  Srv.On("/f", Resp("503 Service Unavailable", "", "Retry-After: 3600\r\n"));
  TTempDir Dir;
  THttpDownFile D;
  D.SetRetries(3, 1);
  EXPECT_FALSE(D.DownLoad(Srv.Url("/f"), Dir.File("f"), "", "", 5));
  EXPECT_EQ(D.ErrorText(), "Can not download url : " + Srv.Url("/f") +
                               "; System Error: The server answered: HTTP/1.1 503 Service Unavailable; the server asks to try "
                               "again in 3600 s");
}

TEST(HttpSession, TheRetryShowsWhileItWaitsAndStopDownEndsTheWait) {
  TScriptHttpServer Srv;
  Srv.On("/f", Resp("503 Service Unavailable", ""));
  TTempDir Dir;
  THttpDownFile D;
  D.SetRetries(3, 3600 * 1000);  // an hour a unit: only the stop can end the wait
  bool Ok = true;
  std::thread Worker([&] { Ok = D.DownLoad(Srv.Url("/f"), Dir.File("f"), "", "", 5); });
  const std::string Want = "Retry 1 of 3 in 1 s: The server answered: HTTP/1.1 503 Service Unavailable";
  auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (D.StatusText() != Want && std::chrono::steady_clock::now() < Deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_EQ(D.StatusText(), Want) << "the retry was not shown within 10 s";
  EXPECT_TRUE(D.IsBusy());
  D.StopDown();
  Worker.join();
  EXPECT_FALSE(Ok);
  EXPECT_EQ(D.ErrorText(), "User stop !");
  EXPECT_EQ(Srv.Requests().size(), 1u);
}

TEST(HttpSession, ABrokenLargeFileGoesOnFromWhereItStopped) {
  const std::string Body = RandomBytes(ResumeMinBytes + 500000, 1);
  const std::string Other = RandomBytes(Body.size() + 7, 2);
  const size_t CutAt = 600000;
  const std::string L = std::to_string(Body.size());
  auto Head = [&](const std::string &Extra) { return "HTTP/1.1 200 OK\r\nContent-Length: " + L + "\r\n" + Extra + "\r\n"; };
  const TScript CutShort = {TStep::Send(Head("ETag: \"v1\"\r\nAccept-Ranges: bytes\r\n") + Body.substr(0, CutAt)), TStep::Cut()};
  const TScript Rest = {TStep::Send("HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(Body.size() - CutAt) +
                                    "\r\nContent-Range: bytes " + std::to_string(CutAt) + "-" + std::to_string(Body.size() - 1) +
                                    "/" + L + "\r\nETag: \"v1\"\r\n\r\n" + Body.substr(CutAt))};
  struct TCase {
    const char *Name;
    std::vector<TScript> Answers;
    std::string Range, IfRange;  // what the second request asked for
    std::string File;
  };
  const TCase Cases[] = {
      {"the server sends the rest", {CutShort, Rest}, "bytes=600000-", "\"v1\"", Body},
      {"the server has no ranges", {CutShort, {TStep::Send(Head("ETag: \"v1\"\r\n") + Body)}}, "bytes=600000-", "\"v1\"", Body},
      {"the file changed",
       {CutShort,
        {TStep::Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(Other.size()) + "\r\nETag: \"v2\"\r\n\r\n" + Other)}},
       "bytes=600000-",
       "\"v1\"",
       Other},
      {"the date is the validator",
       {{TStep::Send(Head("Last-Modified: Tue, 01 Aug 2023 10:00:00 GMT\r\n") + Body.substr(0, CutAt)), TStep::Cut()}, Rest},
       "bytes=600000-",
       "Tue, 01 Aug 2023 10:00:00 GMT",
       Body},
      {"no validator: all again",
       {{TStep::Send(Head("") + Body.substr(0, CutAt)), TStep::Cut()}, {TStep::Send(Head("") + Body)}},
       "(none)",
       "(none)",
       Body},
      {"ranges refused: all again",
       {{TStep::Send(Head("ETag: \"v1\"\r\nAccept-Ranges: none\r\n") + Body.substr(0, CutAt)), TStep::Cut()},
        {TStep::Send(Head("") + Body)}},
       "(none)",
       "(none)",
       Body},
      {"a small file: all again",
       {{TStep::Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\nETag: \"s\"\r\n\r\n01234"), TStep::Cut()},
        {TStep::Send(Resp("200 OK", "0123456789"))}},
       "(none)",
       "(none)",
       "0123456789"},
  };
  for (const TCase &C : Cases) {
    TScriptHttpServer Srv;
    Srv.OnEach("/big.bin", C.Answers);
    TTempDir Dir;
    THttpDownFile D;
    D.SetRetries(3, 1);
    ASSERT_TRUE(D.DownLoad(Srv.Url("/big.bin"), Dir.File("big.bin"), "", "", 5)) << C.Name << ": " << D.ErrorText();
    EXPECT_TRUE(ReadFile(Dir.File("big.bin")) == C.File) << C.Name;
    EXPECT_EQ(FolderNames(Dir.Path()), std::vector<std::string>{"big.bin"}) << C.Name;
    EXPECT_EQ(D.RecvBytes(), static_cast<int64_t>(C.File.size())) << C.Name;
    std::vector<std::string> R = Srv.Requests();
    ASSERT_EQ(R.size(), 2u) << C.Name;
    EXPECT_EQ(Field(R[0], "Range"), "(none)") << C.Name;
    EXPECT_EQ(Field(R[1], "Range"), C.Range) << C.Name;
    EXPECT_EQ(Field(R[1], "If-Range"), C.IfRange) << C.Name;
  }
  // A part that is not the one asked for is refused, not stitched in.
  TScriptHttpServer Srv;
  Srv.OnEach("/big.bin", {CutShort,
                          {TStep::Send("HTTP/1.1 206 Partial Content\r\nContent-Length: 10\r\nContent-Range: bytes 0-9/" + L +
                                       "\r\n\r\n" + Body.substr(0, 10))}});
  TTempDir Dir;
  THttpDownFile D;
  D.SetRetries(3, 1);
  EXPECT_FALSE(D.DownLoad(Srv.Url("/big.bin"), Dir.File("big.bin"), "", "", 5));
  EXPECT_TRUE(Contains(D.ErrorText(), "another part of the file than was asked for: bytes 0-9/")) << D.ErrorText();
  EXPECT_TRUE(FolderNames(Dir.Path()).empty());
}

TEST(HttpSession, AWebPageInPlaceOfAPictureIsRefused) {
  const std::string Png = std::string("\x89PNG\r\n\x1a\n", 8) + RandomBytes(100, 3);
  struct TCase {
    const char *Name;
    std::string Answer;
    bool Ok;
  };
  const TCase Cases[] = {
      {"login page by its type", Resp("200 OK", "<p>Please log in</p>", "Content-Type: text/html; charset=utf-8\r\n"), false},
      {"xhtml", Resp("200 OK", "<x/>", "Content-Type: Application/XHTML+XML\r\n"), false},
      {"a page labelled as a picture",
       Resp("200 OK", "\xEF\xBB\xBF\r\n  <!DOCTYPE html><html><body>Log in", "Content-Type: image/jpeg\r\n"), false},
      {"a bare short page", Resp("200 OK", "<HTML>"), false},
      {"a page in one-byte chunks",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: "
       "chunked\r\n\r\n1\r\n<\r\n1\r\nh\r\n1\r\nt\r\n1\r\nm\r\n1\r\nl\r\n1\r\n>\r\n0\r\n\r\n",
       false},
      {"a picture", Resp("200 OK", Png, "Content-Type: image/png\r\n"), true},
      {"a picture without a type", Resp("200 OK", Png), true},
      {"an svg picture", Resp("200 OK", "<svg xmlns=\"http://www.w3.org/2000/svg\"/>", "Content-Type: image/svg+xml\r\n"), true},
      {"text that starts like a tag", Resp("200 OK", "<htmlish>"), true},
  };
  for (const TCase &C : Cases) {
    TScriptHttpServer Srv;
    Srv.On("/pic.jpg", C.Answer);
    TTempDir Dir;
    THttpDownFile D;
    D.SetRefuseWebPage(true);
    EXPECT_EQ(D.DownLoad(Srv.Url("/pic.jpg"), Dir.File("pic.jpg"), "", "", 5), C.Ok) << C.Name << ": " << D.ErrorText();
    if (!C.Ok) {
      EXPECT_EQ(D.ErrorText(), WebPageText) << C.Name;
      EXPECT_TRUE(FolderNames(Dir.Path()).empty()) << C.Name;
    }
  }
  // A download that may be a page (the update check's, a list's) keeps it.
  TScriptHttpServer Srv;
  Srv.On("/page", Resp("200 OK", "<html><body>hi", "Content-Type: text/html\r\n"));
  TTempDir Dir;
  THttpDownFile D;
  ASSERT_TRUE(D.DownLoad(Srv.Url("/page"), Dir.File("page"), "", "", 5)) << D.ErrorText();
  EXPECT_EQ(ReadFile(Dir.File("page")), "<html><body>hi");
}

TEST(HttpSession, TheTraceNeverShowsACookiesValue) {
  TScriptHttpServer Srv;
  Srv.On("/f", Resp("200 OK", "x", "Set-Cookie: token=s3cr3t; Path=/; HttpOnly\r\n"));
  auto Jar = std::make_shared<TCookieJar>();
  Jar->Add(Ck("sid", "127.0.0.1"));
  TTempDir Dir;
  THttpDownFile D;
  D.SetCookieJar(Jar);
  std::string Trace;
  D.SetTrace([&](char Dir, const std::string &Line) { Trace += std::string(1, Dir) + " " + Line + "\n"; });
  ASSERT_TRUE(D.DownLoad(Srv.Url("/f"), Dir.File("f"), "", "given=g1", 5)) << D.ErrorText();
  EXPECT_TRUE(Contains(Trace, "> Cookie: given=...; sid=...\n")) << Trace;
  EXPECT_TRUE(Contains(Trace, "< Set-Cookie: token=...; Path=/; HttpOnly\n")) << Trace;
  for (const char *Secret : {"g1", "sid-value", "s3cr3t"}) EXPECT_FALSE(Contains(Trace, Secret)) << Secret;
}
