// The downloader and its command-line front end against real servers: nginx
// over http and https, and the scripted server for the front end's exits.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <random>

#include "net/Unit_httpDown.h"
#include "support/TNginxServer.h"
#include "support/TScriptHttpServer.h"
#include "support/TestSupport.h"

namespace {

bool Contains(const std::string &S, const std::string &Part) { return S.find(Part) != std::string::npos; }

class HttpDownNginx : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Root = std::make_unique<TTempDir>();
    std::mt19937 Rng(7);
    Big.resize(3 * 1024 * 1024 + 17);
    for (char &C : Big) C = static_cast<char>(Rng());
    WriteFile(Root->File("big.bin"), Big);
    Nginx = std::make_unique<TNginxServer>(Root->Path(),
                                           "location = /to-https { return 302 https://127.0.0.1:@HTTPS_PORT@/big.bin; }");
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
