#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "net/Unit_httpDown.h"
#include "support/TNginxServer.h"
#include "support/TScriptHttpServer.h"
#include "support/TestSupport.h"

namespace {

using TStep = TScriptStep;
using Ms = std::chrono::milliseconds;

std::string Resp(const std::string &Status, const std::string &Body, const std::string &Headers = "") {
  return TScriptHttpServer::Response(Status, Body, Headers);
}

// The names in a folder, to show that no partial or temporary file stayed.
struct TCase {
  const char *Name;
  std::string Bytes;
  bool Ok;
  std::string FileOrError;  // the file's content, or a part of ErrorText
};

// Serves each case's bytes for one download and checks the result, the
// file and the folder.
void RunCases(const std::vector<TCase> &Cases) {
  for (const TCase &C : Cases) {
    TScriptHttpServer Srv;
    TTempDir Dir;
    THttpDownFile D;
    Srv.On("/f", C.Bytes);
    bool Ok = D.DownLoad(Srv.Url("/f"), Dir.File("out.bin"), "", "", 5);
    EXPECT_EQ(Ok, C.Ok) << C.Name << ": " << D.ErrorText();
    if (C.Ok) {
      EXPECT_EQ(ReadFile(Dir.File("out.bin")), C.FileOrError) << C.Name;
      EXPECT_EQ(D.ErrorText(), "") << C.Name;
    } else {
      EXPECT_TRUE(Contains(D.ErrorText(), C.FileOrError)) << C.Name << ": " << D.ErrorText();
      EXPECT_TRUE(FolderNames(Dir.Path()).empty()) << C.Name;
    }
  }
}

}  // namespace

TEST(HttpUrl, HostAndPathCutTheSchemeInAnyLetterCase) {
  const std::tuple<const char *, const char *, const char *> Cases[] = {
      {"http://h.org/a/b.jpg", "h.org", "a/b.jpg"},
      {" HTTP://H.org:8080/A/B.JPG ", "H.org:8080", "A/B.JPG"},
      {"https://h.org", "h.org", ""},
      {"Https://h.org/", "h.org", ""},
      {"ftp://f.org/x", "f.org", "x"},
      {"h.org/p?q=1", "h.org", "p?q=1"},
  };
  for (const auto &[Url, Host, Path] : Cases) {
    EXPECT_EQ(HostOf(Url), Host) << Url;
    EXPECT_EQ(PathOf(Url), Path) << Url;
  }
  std::string S = "HtTp://Rest";
  EXPECT_TRUE(CutPrefix(S, "http://"));
  EXPECT_EQ(S, "Rest");
  EXPECT_FALSE(CutPrefix(S, "RestAndMore"));
}

TEST(HttpUrl, WrittenPortWinsOverTheSchemesDefault) {
  const std::tuple<const char *, bool, const char *, int> Cases[] = {
      {"h.org", true, "h.org", 80},
      {"h.org:8080", true, "h.org", 8080},
      {"[::1]:8443", true, "::1", 8443},
      {"[::1]", true, "::1", 80},
      {"h.org:0", false, "", 0},
      {"h.org:65536", false, "", 0},
      {"h.org:8x", false, "", 0},
      {"h.org:", false, "", 0},
      {"[::1", false, "", 0},
  };
  for (const auto &[Host, Ok, Name, Port] : Cases) {
    std::string N;
    uint16_t P = 0;
    ASSERT_EQ(SplitHostPort(Host, 80, N, P), Ok) << Host;
    if (!Ok) continue;
    EXPECT_EQ(N, Name) << Host;
    EXPECT_EQ(P, Port) << Host;
  }
}

TEST(HttpDown, SendsTheFixedRequestLinesInOrder) {
  TScriptHttpServer Srv;
  TTempDir Dir;
  THttpDownFile D;
  Srv.On("/a/b.jpg?x=1", Resp("200 OK", "x"));
  Srv.On("/", Resp("200 OK", "x"));
  Srv.On("/A/B.JPG", Resp("200 OK", "x"));
  const std::string Host = "127.0.0.1:" + std::to_string(Srv.Port());
  const std::string Tail =
      "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; .NET CLR 1.0.3705)\r\n"
      "Pragma: no-cache\r\nCache-Control: no-cache\r\nConnection: keep-alive\r\n";
  ASSERT_TRUE(D.DownLoad(" " + Srv.Url("/a/b.jpg?x=1#frag") + " ", Dir.File("1"), " http://page/ ", " k=v ", 5));
  ASSERT_TRUE(D.DownLoad("HTTP://" + Host, Dir.File("2"), "", "", 5));
  ASSERT_TRUE(D.DownLoad(Host + "/A/B.JPG", Dir.File("3"), "", "", 5));
  std::vector<std::string> R = Srv.Requests();
  ASSERT_EQ(R.size(), 3u);
  EXPECT_EQ(R[0], "GET /a/b.jpg?x=1 HTTP/1.1\r\nHost: " + Host + "\r\nAccept: */*\r\nReferer: http://page/\r\n" + Tail +
                      "Cookie: k=v\r\n\r\n");
  EXPECT_EQ(R[1], "GET / HTTP/1.1\r\nHost: " + Host + "\r\nAccept: */*\r\n" + Tail + "\r\n");
  EXPECT_EQ(R[2].substr(0, 24), "GET /A/B.JPG HTTP/1.1\r\nH");
  EXPECT_EQ(D.Request(), R[2]);
}

TEST(HttpDown, UrlAndHeaderValuesCannotInjectRequestLines) {
  TScriptHttpServer Srv;
  TTempDir Dir;
  THttpDownFile D;
  D.DownLoad(Srv.Url("/a b\r\nX-Evil: 1"), Dir.File("f"), "http://p/\r\nX-Evil: 2", "c=1\r\nX-Evil: 3", 5);
  ASSERT_EQ(Srv.Requests().size(), 1u);
  EXPECT_FALSE(Contains(Srv.Requests()[0], "\nX-Evil")) << Srv.Requests()[0];
  EXPECT_EQ(Srv.Targets()[0], "/a%20b%0D%0AX-Evil:%201");
}

TEST(HttpDown, EveryByteAfterTheBlankLineBelongsToTheBody) {
  std::string Body;
  for (int I = 0; I < 300000; ++I) Body += static_cast<char>('A' + I % 53);
  RunCases({
      {"header and body in one piece", Resp("200 OK", "\r\n\r\nbody"), true, "\r\n\r\nbody"},
      {"interim answer first", "HTTP/1.1 100 Continue\r\n\r\n" + Resp("200 OK", "abc"), true, "abc"},
      {"large body", Resp("200 OK", Body), true, Body},
  });
  // The blank line split over two sends.
  TScriptHttpServer Srv;
  TTempDir Dir;
  THttpDownFile D;
  Srv.On("/f", {TStep::Send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r"), TStep::Pause(50), TStep::Send("\nbody")});
  ASSERT_TRUE(D.DownLoad(Srv.Url("/f"), Dir.File("f"), "", "", 5)) << D.ErrorText();
  EXPECT_EQ(ReadFile(Dir.File("f")), "body");
}

TEST(HttpDown, BodyEndsWhereItsFramingSays) {
  const std::string Chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  RunCases({
      {"length 0", Resp("200 OK", ""), true, ""},
      {"no length, read to the close", "HTTP/1.1 200 OK\r\n\r\nabc", true, "abc"},
      {"no length, nothing", "HTTP/1.1 200 OK\r\n\r\n", false, "empty body"},
      {"bytes past the length", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabcdef", true, "abc"},
      {"close before the length", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabcd", false, "closed after 4 of 10 bytes"},
      {"chunked with extensions and trailers", Chunked + "4;name=value\r\nWiki\r\n5\r\npedia\r\n0\r\nX-Sum: 1\r\n\r\n", true,
       "Wikipedia"},
      {"chunked wins over a length",
       "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nTransfer-Encoding: CHUNKED\r\n\r\n3\r\nabc\r\n0\r\n\r\n", true, "abc"},
      {"chunked, closed within a chunk", Chunked + "a\r\nabc", false, "closed within the chunked body"},
      {"chunked, bad size", Chunked + "zz\r\nabc\r\n", false, "Bad chunked body"},
  });
}

TEST(HttpDown, ErrorStatusFailsTheFile) {
  RunCases({
      {"200", Resp("200 OK", "x"), true, "x"},
      {"HTTP/1.0", "HTTP/1.0 200 OK\r\n\r\nx", true, "x"},
      {"no reason phrase", "HTTP/1.1 200\r\nContent-Length: 1\r\n\r\nx", true, "x"},
      {"redirect without Location", Resp("302 Found", "moved"), false, "302 Found, without saying where the file is"},
      {"404", Resp("404 Not Found", "<html>"), false, "The server answered: HTTP/1.1 404 Not Found"},
      {"Not Found with 200", Resp("200 Not Found", "<html>"), false, "HTTP/1.1 200 Not Found"},
      {"403", Resp("403 Forbidden", "<html>"), false, "HTTP/1.1 403 Forbidden"},
      {"500 lower case", Resp("500 server error", "<html>"), false, "HTTP/1.1 500 server error"},
      {"four-digit code", Resp("2000 OK", "x"), false, "Bad http status line"},
      {"not http", "ICY 200 OK\r\n\r\nx", false, "Bad http status line: ICY 200 OK"},
      {"no header at all", "just some bytes", false, "within the http header"},
      {"html instead of a header", "<html>\r\n\r\n<body>", false, "Bad http status line: <html>"},
      {"nothing", "", false, "without sending a header"},
      {"huge header", "HTTP/1.1 200 OK\r\n" + std::string(100000, 'X') + "\r\n\r\nx", false, "header is larger than 65536"},
  });
  TScriptHttpServer Srv;
  TTempDir Dir;
  THttpDownFile D;
  Srv.On("/f", Resp("404 Not Found", ""));
  EXPECT_FALSE(D.DownLoad(Srv.Url("/f"), Dir.File("f"), "", "", 5));
  EXPECT_TRUE(D.Flags() & hdNotFound);
}

TEST(HttpDown, RedirectResolvesAgainstTheUrlThatAnswered) {
  TScriptHttpServer Srv;
  const std::string Self = "127.0.0.1:" + std::to_string(Srv.Port());
  const std::pair<std::string, std::string> Cases[] = {
      {"http://" + Self + "/abs", "/abs"}, {"//" + Self + "/sr", "/sr"}, {"/ap", "/ap"}, {"rel", "/dir/rel"},
      {"../up?q=1#frag", "/up?q=1"},
  };
  for (const auto &[Loc, Target] : Cases) {
    Srv.On("/dir/start", Resp("302 Found", "", "Location: " + Loc + "\r\n"));
    Srv.On(Target, Resp("200 OK", "final"));
    TTempDir Dir;
    THttpDownFile D;
    size_t Before = Srv.Targets().size();
    ASSERT_TRUE(D.DownLoad(Srv.Url("/dir/start"), Dir.File("f"), "", "", 5)) << Loc << ": " << D.ErrorText();
    std::vector<std::string> T = Srv.Targets();
    ASSERT_EQ(T.size(), Before + 2) << Loc;
    EXPECT_EQ(T.back(), Target) << Loc;
    EXPECT_EQ(ReadFile(Dir.File("f")), "final") << Loc;
    EXPECT_EQ(D.Host(), Self) << Loc;
    EXPECT_EQ(D.Location(), "") << Loc;  // the last header had none
    EXPECT_TRUE(D.Flags() & hdLocation) << Loc;
  }
}

TEST(HttpDown, CookieStaysWithTheHostItWasGivenFor) {
  TScriptHttpServer Srv;
  const std::string Port = std::to_string(Srv.Port());
  Srv.On("/start", Resp("302 Found", "", "Location: /same\r\n"));
  Srv.On("/same", Resp("302 Found", "", "Location: http://localhost:" + Port + "/other\r\n"));
  Srv.On("/other", Resp("200 OK", "x"));
  TTempDir Dir;
  THttpDownFile D;
  ASSERT_TRUE(D.DownLoad(Srv.Url("/start"), Dir.File("f"), "http://page/", "sid=1", 5)) << D.ErrorText();
  std::vector<std::string> R = Srv.Requests();
  ASSERT_EQ(R.size(), 3u);
  EXPECT_TRUE(Contains(R[0], "\r\nCookie: sid=1\r\n"));
  EXPECT_TRUE(Contains(R[1], "\r\nCookie: sid=1\r\n"));
  EXPECT_FALSE(Contains(R[2], "Cookie:")) << R[2];
  EXPECT_TRUE(Contains(R[2], "\r\nHost: localhost:" + Port + "\r\n"));
}

TEST(HttpDown, FailedOrStoppedDownloadLeavesTheTargetAsItWas) {
  TScriptHttpServer Srv;
  Srv.On("/ok", Resp("200 OK", "new"));
  Srv.On("/short", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nnew");
  Srv.On("/404", Resp("404 Not Found", "new"));
  for (const char *Target : {"/short", "/404", "/ok"}) {
    TTempDir Dir;
    WriteFile(Dir.File("pic.jpg"), "old");
    THttpDownFile D;
    bool Ok = D.DownLoad(Srv.Url(Target), Dir.File("pic.jpg"), "", "", 5);
    EXPECT_EQ(Ok, std::string(Target) == "/ok") << Target;
    EXPECT_EQ(ReadFile(Dir.File("pic.jpg")), Ok ? "new" : "old") << Target;
    EXPECT_EQ(FolderNames(Dir.Path()), std::vector<std::string>{"pic.jpg"}) << Target;
  }
  TTempDir Dir;
  THttpDownFile D;
  EXPECT_FALSE(D.DownLoad(Srv.Url("/ok"), Dir.File("no/such/folder/f"), "", "", 5));
  EXPECT_EQ(D.ErrorText(), "Can not create file: " + Dir.File("no/such/folder/f"));
}

TEST(HttpDown, ConnectionAndUrlFailuresAreReported) {
  TTempDir Dir;
  THttpDownFile D;
  const std::string Refused = "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/f";
  const std::pair<std::string, std::string> Cases[] = {
      {Refused, "Can not download url : " + Refused + "; System Error: Can not connect to 127.0.0.1 port"},
      {"ftp://127.0.0.1/f", "Unsupported URL scheme: ftp"},
      {"http://127.0.0.1:99999/f", "Bad host in URL: 127.0.0.1:99999"},
      {"http:///f", "Bad host in URL"},
  };
  for (const auto &[Url, Error] : Cases) {
    EXPECT_FALSE(D.DownLoad(Url, Dir.File("f"), "", "", 5)) << Url;
    EXPECT_TRUE(Contains(D.ErrorText(), Error)) << Url << ": " << D.ErrorText();
    EXPECT_FALSE(D.IsBusy());
  }
  EXPECT_TRUE(FolderNames(Dir.Path()).empty());
}

// The server answers after a minute: a client that kept waiting past its
// time-out would get the file instead of the time-out's error.
TEST(HttpDown, HeaderStallTimesOut) {
  TScriptHttpServer Srv;
  Srv.On("/f", {TStep::Pause(60000), TStep::Send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc")});
  TTempDir Dir;
  THttpDownFile D;
  auto T0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(D.DownLoad(Srv.Url("/f"), Dir.File("f"), "", "", 1));
  auto Took = std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - T0).count();
  std::printf("header time-out of 1 s took %lld ms\n", static_cast<long long>(Took));
  EXPECT_TRUE(Contains(D.ErrorText(), "Download header TIMEOUT!")) << D.ErrorText();
  EXPECT_EQ(D.Flags() & (hdNoHeader | hdHdrTimeout), hdNoHeader | hdHdrTimeout);
}

TEST(HttpDown, BodyStallEndsAfterTheIdleTimeOut) {
  TScriptHttpServer Srv;
  Srv.On("/f", {TStep::Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc"), TStep::Pause(60000),
                TStep::Send(std::string(97, 'x'))});
  TTempDir Dir;
  THttpDownFile D;
  D.SetIdleFloorMs(500);  // three times the 1 s time-out is then the bound
  auto T0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(D.DownLoad(Srv.Url("/f"), Dir.File("f"), "", "", 1));
  auto Took = std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - T0).count();
  std::printf("body idle time-out of 3 s took %lld ms\n", static_cast<long long>(Took));
  EXPECT_GE(Took, 2500);  // a busy machine only makes it later
  EXPECT_TRUE(Contains(D.ErrorText(), "No data for 3 s, download TIMEOUT!")) << D.ErrorText();
  EXPECT_TRUE(FolderNames(Dir.Path()).empty());
}

// Runs a download on a worker thread, as a job does, and stops it from this
// thread once Ready says so.
TEST(HttpDown, StopDownEndsTheDownloadAtOnce) {
  struct TStopCase {
    const char *Phase;
    TScript Script;
    const char *Status;
  };
  const std::string Head = "HTTP/1.1 200 OK\r\nContent-Length: 5000000000\r\n\r\n";
  const TStopCase Cases[] = {
      {"header", {TStep::Stall()}, "Downloading http header..."},
      {"body", {TStep::Send(Head + std::string(1000, 'x')), TStep::Stall()}, "Downloading file..."},
  };
  for (const TStopCase &C : Cases) {
    TScriptHttpServer Srv;
    Srv.On("/f", C.Script);
    TTempDir Dir;
    WriteFile(Dir.File("f"), "old");
    THttpDownFile D;
    bool Ok = true;
    std::atomic<bool> Done{false};
    std::chrono::steady_clock::time_point Ended;
    std::thread Worker([&] {
      Ok = D.DownLoad(Srv.Url("/f"), Dir.File("f"), "", "", 30);
      Ended = std::chrono::steady_clock::now();
      Done = true;
    });
    // What the job monitor sees while the download waits.
    auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    bool Body = std::string(C.Phase) == "body";
    while (std::chrono::steady_clock::now() < Deadline && (D.StatusText() != C.Status || (Body && D.RecvBytes() < 1000)))
      std::this_thread::sleep_for(Ms(5));
    EXPECT_TRUE(D.IsBusy()) << C.Phase;
    EXPECT_EQ(D.StatusText(), C.Status);
    if (Body) {
      EXPECT_EQ(D.RecvBytes(), 1000);
      EXPECT_EQ(D.TotalBytes(), 5000000000);
    }
    std::this_thread::sleep_for(Ms(50));  // so that the worker sits in its wait
    auto T0 = std::chrono::steady_clock::now();
    D.StopDown();
    while (!Done && std::chrono::steady_clock::now() - T0 < std::chrono::seconds(5)) std::this_thread::sleep_for(Ms(1));
    Worker.join();
    auto Took = std::chrono::duration_cast<std::chrono::microseconds>(Ended - T0).count();
    std::printf("StopDown during the %s: DownLoad returned after %.1f ms\n", C.Phase, Took / 1000.0);
    // Without the stop the download would have waited out its 30 s time-out
    // and said so; "User stop !" shows the stop ended it.
    EXPECT_FALSE(Ok);
    EXPECT_FALSE(D.IsBusy());
    EXPECT_EQ(D.ErrorText(), "User stop !");
    EXPECT_TRUE(D.Flags() & hdUserStop);
    EXPECT_EQ(ReadFile(Dir.File("f")), "old");
    EXPECT_EQ(FolderNames(Dir.Path()), std::vector<std::string>{"f"});
  }
}

TEST(HttpDown, OneDownloaderServesFileAfterFile) {
  TScriptHttpServer Srv;
  Srv.On("/bad", "garbage");
  Srv.On("/a", Resp("200 OK", "aaaa"));
  Srv.On("/b", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nbb\r\n0\r\n\r\n");
  TTempDir Dir;
  THttpDownFile D;
  EXPECT_FALSE(D.DownLoad(Srv.Url("/bad"), Dir.File("x"), "", "", 5));
  ASSERT_TRUE(D.DownLoad(Srv.Url("/a"), Dir.File("a"), "", "", 5)) << D.ErrorText();
  EXPECT_EQ(D.RecvBytes(), 4);
  EXPECT_EQ(D.TotalBytes(), 4);
  EXPECT_EQ(D.ContentLen(), 4);
  ASSERT_TRUE(D.DownLoad(Srv.Url("/b"), Dir.File("b"), "", "", 5)) << D.ErrorText();
  EXPECT_EQ(D.TotalBytes(), 0);
  EXPECT_EQ(D.ContentLen(), -1);
  EXPECT_EQ(D.Flags(), hdComplete);
  EXPECT_EQ(ReadFile(Dir.File("a")) + ReadFile(Dir.File("b")), "aaaabb");
}
