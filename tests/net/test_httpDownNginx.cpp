// The downloader and its command-line front end against real servers: nginx
// over http and https, and the scripted server for the front end's exits.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
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

class HttpDownNginx : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Root = std::make_unique<TTempDir>();
    std::mt19937 Rng(7);
    Big.resize(3 * 1024 * 1024 + 17);
    for (char &C : Big) C = static_cast<char>(Rng());
    WriteFile(Root->File("big.bin"), Big);
    ::mkdir(Root->File("once").c_str(), 0755);
    WriteFile(Root->File("once/a.bin"), "once");
    // Every answer names its connection; /once/ closes each after one
    // request and says whether the TLS session was resumed; /echo shows
    // what the request carried.
    Nginx = std::make_unique<TNginxServer>(
        Root->Path(),
        "add_header X-Conn $connection;"
        "location = /to-https { return 302 https://127.0.0.1:@HTTPS_PORT@/big.bin; }"
        "location /once/ { keepalive_requests 1; add_header X-Conn $connection; add_header X-Reused \"$ssl_session_reused\"; }"
        "location /echo/ { return 200 \"cookie=$http_cookie|ua=$http_user_agent|ref=$http_referer\"; }");
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
  static std::string Big;
  TTempDir Dir;
};
std::unique_ptr<TTempDir> HttpDownNginx::Root;
std::unique_ptr<TNginxServer> HttpDownNginx::Nginx;
std::string HttpDownNginx::Big;

}  // namespace

TEST_F(HttpDownNginx, LargeFileArrivesByteExactOverHttpAndHttps) {
  THttpDownFile D;
  D.SetCaFile(Nginx->CaFile());
  for (const std::string &Url : {Nginx->HttpUrl("/big.bin"), Nginx->HttpsUrl("/big.bin"), Nginx->HttpUrl("/to-https")}) {
    ASSERT_TRUE(D.DownLoad(Url, Dir.File("big.bin"), "", "", 5)) << Url << ": " << D.ErrorText();
    EXPECT_TRUE(ReadFile(Dir.File("big.bin")) == Big) << Url;
    EXPECT_EQ(D.RecvBytes(), static_cast<int64_t>(Big.size()));
    EXPECT_EQ(D.TotalBytes(), static_cast<int64_t>(Big.size()));
  }
  // The redirect went from http to https: the port came with the scheme.
  EXPECT_EQ(D.Host(), HostOf(Nginx->HttpsUrl("/")));
}

TEST_F(HttpDownNginx, CertificateThatDoesNotVerifyFailsTheFile) {
  const std::pair<std::string, bool> Cases[] = {
      {Nginx->HttpsUrl("/big.bin"), false},     // the system's store does not know our CA
      {Nginx->WrongNameUrl("/big.bin"), true},  // known CA, another host's name
  };
  for (const auto &[Url, WithCa] : Cases) {
    THttpDownFile D;
    if (WithCa) D.SetCaFile(Nginx->CaFile());
    EXPECT_FALSE(D.DownLoad(Url, Dir.File("f"), "", "", 5)) << Url;
    EXPECT_TRUE(Contains(D.ErrorText(), "certificate did not verify")) << D.ErrorText();
    EXPECT_FALSE(std::ifstream(Dir.File("f")).good());
  }
  THttpDownFile D;
  D.SetCaFile(Dir.File("missing.pem"));
  EXPECT_FALSE(D.DownLoad(Nginx->HttpsUrl("/big.bin"), Dir.File("f"), "", "", 5));
  EXPECT_TRUE(Contains(D.ErrorText(), "Can not load the CA file")) << D.ErrorText();
}

namespace {

// The value of a response header line of the last download, "" when absent.
std::string HeaderValue(const THttpDownFile &D, const std::string &Name) {
  for (const std::string &L : D.HeaderLines())
    if (L.rfind(Name + ": ", 0) == 0) return L.substr(Name.size() + 2);
  return "";
}

}  // namespace

TEST_F(HttpDownNginx, TheSecondFileTravelsOverTheFirstFilesConnection) {
  for (const bool Tls : {false, true}) {
    THttpDownFile D;
    D.SetCaFile(Nginx->CaFile());
    const std::string Url = Tls ? Nginx->HttpsUrl("/big.bin") : Nginx->HttpUrl("/big.bin");
    ASSERT_TRUE(D.DownLoad(Url, Dir.File("1"), "", "", 5)) << D.ErrorText();
    const std::string First = HeaderValue(D, "X-Conn");
    ASSERT_TRUE(D.DownLoad(Url, Dir.File("2"), "", "", 5)) << D.ErrorText();
    EXPECT_NE(First, "");
    EXPECT_EQ(HeaderValue(D, "X-Conn"), First) << Url;
    EXPECT_TRUE(ReadFile(Dir.File("2")) == Big);
  }
}

TEST_F(HttpDownNginx, ANewConnectionResumesTheTlsSession) {
  THttpDownFile D;
  D.SetCaFile(Nginx->CaFile());
  std::vector<std::string> Conns, Reused;
  for (int I = 0; I < 3; ++I) {
    ASSERT_TRUE(D.DownLoad(Nginx->HttpsUrl("/once/a.bin"), Dir.File("a"), "", "", 5)) << D.ErrorText();
    Conns.push_back(HeaderValue(D, "X-Conn"));
    Reused.push_back(HeaderValue(D, "X-Reused"));
  }
  // The server closed each connection; the next one took up the session.
  EXPECT_NE(Conns[0], Conns[1]);
  EXPECT_NE(Conns[1], Conns[2]);
  EXPECT_EQ(Reused, (std::vector<std::string>{".", "r", "r"}));
  EXPECT_EQ(D.Pool()->IdleCount(), 0u);
}

TEST_F(HttpDownNginx, CookiesUserAgentAndRefererReachTheServer) {
  auto Jar = std::make_shared<TCookieJar>();
  TCookie C;
  C.Name = "sid";
  C.Value = "s1";
  C.Domain = "127.0.0.1";
  C.Path = "/echo";
  Jar->Add(C);
  C.Name = "sec";
  C.Secure = true;
  Jar->Add(C);
  C.Name = "elsewhere";
  C.Secure = false;
  C.Path = "/other";
  Jar->Add(C);
  THttpDownFile D;
  D.SetCaFile(Nginx->CaFile());
  D.SetCookieJar(Jar);
  D.SetUserAgent("Mozilla/5.0 TestBrowser/1");
  ASSERT_TRUE(D.DownLoad(Nginx->HttpUrl("/echo/x"), Dir.File("e"), Nginx->HttpUrl("/page.html"), "", 5)) << D.ErrorText();
  EXPECT_EQ(ReadFile(Dir.File("e")), "cookie=sid=s1|ua=Mozilla/5.0 TestBrowser/1|ref=" + Nginx->HttpUrl("/page.html"));
  ASSERT_TRUE(D.DownLoad(Nginx->HttpsUrl("/echo/x"), Dir.File("e"), Nginx->HttpUrl("/page.html"), "", 5)) << D.ErrorText();
  // Another origin gets only the page's origin.
  EXPECT_EQ(ReadFile(Dir.File("e")), "cookie=sid=s1; sec=s1|ua=Mozilla/5.0 TestBrowser/1|ref=" + Nginx->HttpUrl("/"));
}

namespace {

struct TRun {
  int Exit;
  std::string Output;
};

TRun Fetch(const std::string &Args) {
  TRun R{-1, {}};
  FILE *P = popen((std::string(MOSS_FETCH_EXE) + " " + Args + " 2>&1").c_str(), "r");
  char Buf[4096];
  for (size_t N; (N = fread(Buf, 1, sizeof Buf, P)) > 0;) R.Output.append(Buf, N);
  int St = pclose(P);
  R.Exit = WIFEXITED(St) ? WEXITSTATUS(St) : -1;
  return R;
}

}  // namespace

TEST(FetchCli, ExitCodeAndMessagesFollowTheDownload) {
  TScriptHttpServer Srv;
  Srv.On("/ok", TScriptHttpServer::Response("200 OK", "hello", "X-Mark: 1\r\n"));
  TTempDir Dir;
  TRun Ok = Fetch(Srv.Url("/ok") + " " + Dir.File("ok") + " --referer http://r/ --timeout 3");
  EXPECT_EQ(Ok.Exit, 0) << Ok.Output;
  EXPECT_EQ(Ok.Output, "");
  EXPECT_EQ(ReadFile(Dir.File("ok")), "hello");
  EXPECT_TRUE(Contains(Srv.Requests().back(), "\r\nReferer: http://r/\r\n"));

  TRun Verbose = Fetch("--verbose --cookie a=b " + Srv.Url("/ok") + " " + Dir.File("ok2"));
  EXPECT_EQ(Verbose.Exit, 0) << Verbose.Output;
  EXPECT_TRUE(Contains(Verbose.Output, "> GET /ok HTTP/1.1\n")) << Verbose.Output;
  // The cookie's name shows, never its value.
  EXPECT_TRUE(Contains(Verbose.Output, "> Cookie: a=...\n")) << Verbose.Output;
  EXPECT_TRUE(Contains(Srv.Requests().back(), "\r\nCookie: a=b\r\n"));
  EXPECT_TRUE(Contains(Verbose.Output, "< HTTP/1.1 200 OK\n< Content-Length: 5\n< X-Mark: 1\n")) << Verbose.Output;

  TRun Bad = Fetch(Srv.Url("/missing") + " " + Dir.File("bad"));
  EXPECT_EQ(Bad.Exit, 1);
  EXPECT_EQ(Bad.Output,
            "Can not download url : " + Srv.Url("/missing") + "; System Error: The server answered: HTTP/1.1 404 Not Found\n");
  EXPECT_EQ(Fetch("only-one-argument").Exit, 2);
  EXPECT_EQ(Fetch(Srv.Url("/ok") + " " + Dir.File("x") + " --timeout soon").Exit, 2);
}

TEST(FetchCli, ListSavesEveryUrlIntoTheFolder) {
  TScriptHttpServer Srv;
  Srv.On("/a/pic.png", TScriptHttpServer::Response("200 OK", "1"));
  Srv.On("/b/pic.png?v=2", TScriptHttpServer::Response("200 OK", "2"));
  Srv.On("/", TScriptHttpServer::Response("200 OK", "3"));
  TTempDir Dir;
  WriteFile(Dir.File("list.txt"), Srv.Url("/a/pic.png") + "\n\n  " + Srv.Url("/b/pic.png?v=2") + "\r\n" + Srv.Url("/") + "\n");
  ASSERT_EQ(::mkdir(Dir.File("out").c_str(), 0755), 0);
  TRun R = Fetch("--list " + Dir.File("list.txt") + " " + Dir.File("out"));
  EXPECT_EQ(R.Exit, 0) << R.Output;
  EXPECT_EQ(ReadFile(Dir.File("out/pic.png")), "1");
  EXPECT_EQ(ReadFile(Dir.File("out/pic[1].png")), "2");
  EXPECT_EQ(ReadFile(Dir.File("out/index.html")), "3");

  WriteFile(Dir.File("list2.txt"), Srv.Url("/nope") + "\n" + Srv.Url("/a/pic.png") + "\n");
  R = Fetch("--list " + Dir.File("list2.txt") + " " + Dir.File("out"));
  EXPECT_EQ(R.Exit, 1);
  EXPECT_TRUE(Contains(R.Output, "404 Not Found")) << R.Output;
  EXPECT_EQ(ReadFile(Dir.File("out/pic[2].png")), "1");
}

TEST(FetchCli, ListRunsAsManyAtOnceAsAllowedOverKeptConnections) {
  const std::pair<std::string, int> Cases[] = {{"", 4}, {"--parallel 2", 2}, {"--per-host 3", 3}};
  for (const auto &[Opts, AtOnce] : Cases) {
    TScriptHttpServer Srv;
    Srv.KeepAlive(1000);
    TTempDir Dir;
    std::string List;
    for (int I = 0; I < 30; ++I) {
      const std::string T = "/f" + std::to_string(I) + ".bin";
      const std::string Body = "file " + std::to_string(I);
      // The first ones wait until as many as may run at once have come.
      if (I < AtOnce)
        Srv.On(T, {TScriptStep::Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(Body.size()) + "\r\n\r\n"),
                   TScriptStep::Hold(), TScriptStep::Send(Body)});
      else
        Srv.On(T, TScriptHttpServer::Response("200 OK", Body));
      List += Srv.Url(T) + "\n";
    }
    WriteFile(Dir.File("list.txt"), List);
    ASSERT_EQ(::mkdir(Dir.File("out").c_str(), 0755), 0);
    TRun R;
    std::thread T([&] { R = Fetch("--list " + Dir.File("list.txt") + " " + Dir.File("out") + " " + Opts); });
    const bool Came = Srv.WaitRequests(static_cast<size_t>(AtOnce), 10000);
    Srv.Release();
    T.join();
    ASSERT_TRUE(Came) << Opts << ": not " << AtOnce << " requests within 10 s";
    EXPECT_EQ(R.Exit, 0) << Opts << ": " << R.Output;
    for (int I = 0; I < 30; ++I) EXPECT_EQ(ReadFile(Dir.File("out/f" + std::to_string(I) + ".bin")), "file " + std::to_string(I));
    EXPECT_EQ(Srv.MaxInFlight(), AtOnce) << Opts;
    EXPECT_EQ(Srv.Accepted(), static_cast<size_t>(AtOnce)) << Opts;
  }
  for (const char *Bad : {"--parallel 0", "--parallel 33", "--per-host x", "--retries 11"})
    EXPECT_EQ(Fetch(std::string("--list /dev/null /tmp ") + Bad).Exit, 2) << Bad;
}
