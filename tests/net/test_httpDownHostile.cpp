// The downloader against servers that mean harm or are simply broken:
// endless redirects and headers, answers it did not ask for, a disk that
// fills up, a process killed halfway, a TLS peer that hangs up.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "net/Unit_httpDown.h"
#include "pub/uSafeFile.h"
#include "support/TNginxServer.h"
#include "support/TProcess.h"
#include "support/TScriptHttpServer.h"
#include "support/TestSupport.h"

namespace {

using TStep = TScriptStep;

std::string Resp(const std::string &Status, const std::string &Body, const std::string &Headers = "") {
  return TScriptHttpServer::Response(Status, Body, Headers);
}

// Every name in a folder, hidden ones included.
std::string Chunked(const std::string &Headers, const std::string &Body, size_t Piece) {
  std::string Out = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n" + Headers + "\r\n";
  for (size_t Off = 0; Off < Body.size(); Off += Piece) {
    std::string P = Body.substr(Off, Piece);
    char Size[20];
    std::snprintf(Size, sizeof Size, "%zx\r\n", P.size());
    Out += Size + P + "\r\n";
  }
  return Out + "0\r\n\r\n";
}

}  // namespace

// A 3xx answer without a place to go is no file, whatever its body.
TEST(HttpDownHostile, ARedirectThatSaysNotWhereFailsAndKeepsTheTarget) {
  const char *Answers[][2] = {
      {"302 Found", ""},
      {"301 Moved Permanently", "Location: \r\n"},
      {"300 Multiple Choices", ""},
      {"304 Not Modified", ""},
  };
  for (const auto &A : Answers) {
    TScriptHttpServer Srv;
    Srv.On("/pic.jpg", Resp(A[0], "<html>moved somewhere</html>", A[1]));
    TTempDir Dir;
    WriteFile(Dir.File("pic.jpg"), "old");
    THttpDownFile D;
    EXPECT_FALSE(D.DownLoad(Srv.Url("/pic.jpg"), Dir.File("pic.jpg"), "", "", 5)) << A[0];
    EXPECT_TRUE(Contains(D.ErrorText(), "without saying where the file is")) << A[0] << ": " << D.ErrorText();
    EXPECT_TRUE(Contains(D.ErrorText(), A[0])) << D.ErrorText();
    EXPECT_EQ(ReadFile(Dir.File("pic.jpg")), "old") << A[0];
    EXPECT_EQ(FolderNames(Dir.Path()), std::vector<std::string>{"pic.jpg"}) << A[0];
  }
}

TEST(HttpDownHostile, RedirectsPastTheLimitFailAndKeepTheTarget) {
  struct TRedirCase {
    const char *Name;
    std::function<void(TScriptHttpServer &)> Serve;
    bool Ok;
  };
  auto Chain = [](int N) {
    return [N](TScriptHttpServer &Srv) {
      for (int I = 0; I < N; ++I)
        Srv.On("/r" + std::to_string(I),
               Resp("302 Found", "moved " + std::to_string(I), "Location: /r" + std::to_string(I + 1) + "\r\n"));
      Srv.On("/r" + std::to_string(N), Resp("200 OK", "done"));
    };
  };
  const TRedirCase Cases[] = {
      {"eleven in a row are followed", Chain(11), true},
      {"a twelfth is one too many", Chain(12), false},
      {"302 to itself with a body",
       [](TScriptHttpServer &Srv) { Srv.On("/r0", Resp("302 Found", "moved", "Location: /r0\r\n")); }, false},
      {"empty 301s between two addresses",
       [](TScriptHttpServer &Srv) {
         Srv.On("/r0", Resp("301 Moved Permanently", "", "Location: /r1\r\n"));
         Srv.On("/r1", Resp("301 Moved Permanently", "", "Location: " + Srv.Url("/r0") + "\r\n"));
       },
       false},
  };
  for (const TRedirCase &C : Cases) {
    TScriptHttpServer Srv;
    C.Serve(Srv);
    TTempDir Dir;
    WriteFile(Dir.File("pic.jpg"), "old");
    THttpDownFile D;
    EXPECT_EQ(D.DownLoad(Srv.Url("/r0"), Dir.File("pic.jpg"), "", "", 5), C.Ok) << C.Name << ": " << D.ErrorText();
    EXPECT_EQ(Srv.Targets().size(), 12u) << C.Name;
    EXPECT_EQ(ReadFile(Dir.File("pic.jpg")), C.Ok ? "done" : "old") << C.Name;
    EXPECT_EQ(FolderNames(Dir.Path()), std::vector<std::string>{"pic.jpg"}) << C.Name;
    if (!C.Ok) {
      EXPECT_TRUE(Contains(D.ErrorText(), "Too many redirects (more than 11)")) << C.Name << ": " << D.ErrorText();
    }
  }
}

TEST(HttpDownHostile, LocationIsFollowedOnlyOnARedirect) {
  const std::pair<const char *, bool> Cases[] = {
      {"200 OK", false},
      {"201 Created", false},
      {"203 Non-Authoritative Information", false},
      {"301 Moved Permanently", true},
      {"302 Found", true},
      {"303 See Other", true},
      {"307 Temporary Redirect", true},
      {"308 Permanent Redirect", true},
  };
  for (const auto &[Status, Follow] : Cases) {
    TScriptHttpServer Srv;
    Srv.On("/start", Resp(Status, "own", "Location: /other\r\n"));
    Srv.On("/other", Resp("200 OK", "other"));
    TTempDir Dir;
    THttpDownFile D;
    ASSERT_TRUE(D.DownLoad(Srv.Url("/start"), Dir.File("f"), "", "", 5)) << Status << ": " << D.ErrorText();
    EXPECT_EQ(ReadFile(Dir.File("f")), Follow ? "other" : "own") << Status;
    EXPECT_EQ(Srv.Targets().size(), Follow ? 2u : 1u) << Status;
  }
}

TEST(HttpDownHostile, ARedirectToAnotherSiteGetsOnlyThePagesOrigin) {
  TScriptHttpServer Near, Far;
  Far.On("/pic.jpg", Resp("200 OK", "far"));
  Near.On("/pic.jpg", Resp("302 Found", "", "Location: " + Far.Url("/pic.jpg") + "\r\n"));
  const std::string Page = Near.Url("/dir/page.html?q=1");
  TTempDir Dir;
  THttpDownFile D;
  ASSERT_TRUE(D.DownLoad(Near.Url("/pic.jpg"), Dir.File("pic.jpg"), Page, "", 5)) << D.ErrorText();
  ASSERT_EQ(Near.Requests().size(), 1u);
  ASSERT_EQ(Far.Requests().size(), 1u);
  EXPECT_TRUE(Contains(Near.Requests()[0], "\r\nReferer: " + Page + "\r\n")) << Near.Requests()[0];
  EXPECT_TRUE(Contains(Far.Requests()[0], "\r\nReferer: " + Near.Url("/") + "\r\n")) << Far.Requests()[0];
}

// Every piece of these answers comes well within the 1 s wait for data, so
// only a bound on the header as a whole can end them.
TEST(HttpDownHostile, HeaderThatNeverEndsFailsAtTheHeaderDeadline) {
  TScript Dripping, Interim;
  const std::string Head = "HTTP/1.1 200 OK\r\nX-Pad: " + std::string(1200, 'a');
  for (char C : Head) {
    Dripping.push_back(TStep::Send(std::string(1, C)));
    Dripping.push_back(TStep::Pause(50));
  }
  for (int I = 0; I < 1200; ++I) {
    Interim.push_back(TStep::Send("HTTP/1.1 100 Continue\r\n\r\n"));
    Interim.push_back(TStep::Pause(50));
  }
  for (const auto &[Name, Script] : {std::pair{"one byte at a time", Dripping}, std::pair{"interim answers", Interim}}) {
    TScriptHttpServer Srv;
    Srv.On("/f", Script);
    TTempDir Dir;
    THttpDownFile D;
    EXPECT_FALSE(D.DownLoad(Srv.Url("/f"), Dir.File("f"), "", "", 1)) << Name;
    EXPECT_TRUE(Contains(D.ErrorText(), "No complete http header within 3 s, download TIMEOUT!"))
        << Name << ": " << D.ErrorText();
    EXPECT_TRUE(D.Flags() & hdHdrTimeout) << Name;
    EXPECT_FALSE(D.IsBusy());
    EXPECT_TRUE(FolderNames(Dir.Path()).empty()) << Name;
  }
}

TEST(HttpDownHostile, CompressedBodyIsSavedDecodedOrRefused) {
  std::string Text;
  for (int I = 0; I < 40000; ++I) Text += "line " + std::to_string(I) + "\n";
  const std::string Gz = ZCompress(Text, 31), Zl = ZCompress(Text, 15), Raw = ZCompress(Text, -15);
  ASSERT_FALSE(Gz.empty() || Zl.empty() || Raw.empty());
  auto Coded = [](const std::string &Coding, const std::string &Body) {
    return Resp("200 OK", Body, "Content-Encoding: " + Coding + "\r\n");
  };
  struct TCodingCase {
    const char *Name;
    std::string Bytes;
    const char *Target;
    bool Ok;
    std::string FileOrError;
  };
  const TCodingCase Cases[] = {
      {"gzip", Coded("gzip", Gz), "page.txt", true, Text},
      {"x-gzip, chunked in small pieces", Chunked("Content-Encoding: X-Gzip\r\n", Gz, 1000), "page.txt", true, Text},
      {"deflate in the zlib wrapper", Coded("deflate", Zl), "page.txt", true, Text},
      {"deflate without the wrapper", Coded("deflate", Raw), "page.txt", true, Text},
      {"identity", Coded("identity", "abc"), "page.txt", true, "abc"},
      {"bytes after the gzip stream", Coded("gzip", Gz + "trailing"), "page.txt", true, Text},
      {"empty body", Coded("gzip", ""), "page.txt", true, ""},
      {"a gzip file's own compression is kept", Coded("gzip", Gz), "pic.svgz", true, Gz},
      {"brotli", Coded("br", "xx"), "page.txt", false, "The server sent the body compressed as \"br\""},
      {"two codings", Coded("gzip, br", "xx"), "page.txt", false, "compressed as \"gzip, br\""},
      {"cut short", Coded("gzip", Gz.substr(0, Gz.size() / 2)), "page.txt", false, "The compressed body ended early"},
      {"not gzip", Coded("gzip", "\x1f\x8b this is not gzip at all"), "page.txt", false, "Bad compressed body"},
  };
  for (const TCodingCase &C : Cases) {
    TScriptHttpServer Srv;
    Srv.On("/f", C.Bytes);
    TTempDir Dir;
    WriteFile(Dir.File(C.Target), "old");
    THttpDownFile D;
    EXPECT_EQ(D.DownLoad(Srv.Url("/f"), Dir.File(C.Target), "", "", 5), C.Ok) << C.Name << ": " << D.ErrorText();
    EXPECT_EQ(FolderNames(Dir.Path()), std::vector<std::string>{C.Target}) << C.Name;
    if (C.Ok) {
      EXPECT_TRUE(ReadFile(Dir.File(C.Target)) == C.FileOrError) << C.Name;
    } else {
      EXPECT_TRUE(Contains(D.ErrorText(), C.FileOrError)) << C.Name << ": " << D.ErrorText();
      EXPECT_EQ(ReadFile(Dir.File(C.Target)), "old") << C.Name;
    }
  }
}

// A real full disk: a 64 KiB tmpfs, mounted in a user and mount namespace of
// its own so that no privilege is needed, written by the command-line front
// end. Only the namespace sees the mount, so it reports what it found there.
TEST(HttpDownHostile, FullDiskIsNamed) {
  const char *Unshare = "/usr/bin/unshare";
  if (::access(Unshare, X_OK) != 0) GTEST_SKIP() << "no " << Unshare;
  TTempDir Dir, Out;
  const std::string Disk = Dir.File("disk"), Target = Disk + "/pic.jpg";
  ASSERT_EQ(::mkdir(Disk.c_str(), 0755), 0);
  {
    TProcess Probe(Unshare, {"-Urm", "/bin/sh", "-c", "mount -t tmpfs -o size=64k tmpfs \"$1\"", "sh", Disk});
    int Code = -1;
    if (!Probe.Wait(10000, &Code) || Code != 0) GTEST_SKIP() << "this system gives no user and mount namespaces";
  }
  TScriptHttpServer Srv;
  Srv.On("/big", Resp("200 OK", std::string(1024 * 1024, 'x')));
  const std::string Script =
      "mount -t tmpfs -o size=64k tmpfs \"$1\" && printf old >\"$1/pic.jpg\" || exit 9\n"
      "\"$2\" \"$3\" \"$1/pic.jpg\"; echo \"exit=$?\"; ls -A \"$1\"; cat \"$1/pic.jpg\"\n";
  TProcess P(Unshare, {"-Urm", "/bin/sh", "-c", Script, "sh", Disk, MOSS_FETCH_EXE, Srv.Url("/big")}, {}, Out.File("out"));
  int Code = -1;
  ASSERT_TRUE(P.Wait(30000, &Code)) << "the download onto the small disk did not end";
  ASSERT_EQ(Code, 0) << ReadFile(Out.File("out"));
  EXPECT_EQ(ReadFile(Out.File("out")), "Error in downloading file : " + Target + "; the disk is full\nexit=1\npic.jpg\nold");
}

// Where no namespace is to be had, the per-process file size limit makes a
// write fail as well; the system's reason must reach the user.
TEST(HttpDownHostile, WriteFailureSaysWhy) {
  TScriptHttpServer Srv;
  Srv.On("/big", Resp("200 OK", std::string(1024 * 1024, 'x')));
  TTempDir Dir;
  WriteFile(Dir.File("pic.jpg"), "old");
  rlimit Old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &Old), 0);
  rlimit Small = Old;
  Small.rlim_cur = 64 * 1024;
  auto OldSig = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Small), 0);
  THttpDownFile D;
  bool Ok = D.DownLoad(Srv.Url("/big"), Dir.File("pic.jpg"), "", "", 5);
  ::setrlimit(RLIMIT_FSIZE, &Old);
  ::signal(SIGXFSZ, OldSig);
  EXPECT_FALSE(Ok);
  EXPECT_EQ(D.ErrorText(), "Error in downloading file : " + Dir.File("pic.jpg") + "; System Error: File too large");
  EXPECT_EQ(ReadFile(Dir.File("pic.jpg")), "old");
  EXPECT_EQ(FolderNames(Dir.Path()), std::vector<std::string>{"pic.jpg"});
}

TEST(HttpDownHostile, ConnectionThatEndsWithinTheBodySaysHow) {
  TTempDir Certs;
  ASSERT_TRUE(MakeTestCerts(Certs.Path())) << "openssl could not make the test certificates";
  const std::string Head = "HTTP/1.1 200 OK\r\n";
  struct TEndCase {
    const char *Name;
    bool Tls;
    TScript Script;
    bool Ok;
    std::string FileOrError;
  };
  const TEndCase Cases[] = {
      {"https, read to the close_notify", true, {TStep::Send(Head + "\r\nhello")}, true, "hello"},
      {"https, length complete, bare close", true, {TStep::Send(Resp("200 OK", "hello")), TStep::Cut()}, true, "hello"},
      {"https, chunked complete, bare close", true, {TStep::Send(Chunked("", "hello", 2)), TStep::Cut()}, true, "hello"},
      {"https, read to a bare close",
       true,
       {TStep::Send(Head + "\r\nhello"), TStep::Cut()},
       false,
       "closed the connection without a TLS close_notify"},
      {"https, bare close within the length",
       true,
       {TStep::Send(Head + "Content-Length: 10\r\n\r\nhello"), TStep::Cut()},
       false,
       "The connection closed after 5 of 10 bytes"},
      {"http, reset within the length",
       false,
       {TStep::Send(Head + "Content-Length: 10\r\n\r\nhello"), TStep::Reset()},
       false,
       "; System Error: Receive failed: Connection reset by peer"},
  };
  for (const TEndCase &C : Cases) {
    std::unique_ptr<TScriptHttpServer> Srv =
        C.Tls ? std::make_unique<TScriptHttpServer>(Certs.File("good.pem"), Certs.File("good.key"))
              : std::make_unique<TScriptHttpServer>();
    Srv->On("/f", C.Script);
    TTempDir Dir;
    THttpDownFile D;
    D.SetCaFile(Certs.File("ca.pem"));
    EXPECT_EQ(D.DownLoad(Srv->Url("/f"), Dir.File("f"), "", "", 5), C.Ok) << C.Name << ": " << D.ErrorText();
    if (C.Ok) {
      EXPECT_EQ(ReadFile(Dir.File("f")), C.FileOrError) << C.Name;
    } else {
      EXPECT_TRUE(Contains(D.ErrorText(), C.FileOrError)) << C.Name << ": " << D.ErrorText();
      EXPECT_TRUE(FolderNames(Dir.Path()).empty()) << C.Name;
    }
  }
}

// A download killed with SIGKILL leaves its hidden temporary file behind
// and the old target as it was; the next good download into the folder
// clears it away (and any other left-over one there), but never the file of
// a download that is still running, nor a user's file that merely looks
// like one.
TEST(HttpDownHostile, TempFileOfAKilledDownloadIsRemovedByTheNext) {
  TScriptHttpServer Srv;
  const std::string Head = "HTTP/1.1 200 OK\r\nContent-Length: 5000000\r\n\r\n";
  Srv.On("/stall", {TStep::Send(Head + std::string(100000, 's')), TStep::Stall()});
  Srv.On("/good", Resp("200 OK", "good"));
  TTempDir Dir;
  const std::string Target = Dir.File("pic.jpg");
  WriteFile(Target, "old");
  WriteFile(Dir.File(".other.jpg.0123456789abcdef.part"), "the user's");
  WriteFile(Dir.File(".other.jpg.mossgather-part-AbC123"), "left by another target's killed download");

  // A download of the same target that is still running.
  THttpDownFile Live;
  std::atomic<bool> LiveOk{true};
  std::thread Worker([&] { LiveOk = Live.DownLoad(Srv.Url("/stall"), Target, "", "", 30); });
  struct TJoin {
    THttpDownFile &D;
    std::thread &T;
    ~TJoin() {
      D.StopDown();
      T.join();
    }
  } Join{Live, Worker};
  ASSERT_TRUE(WaitFor([&] { return Live.RecvBytes() > 0; }, 10000)) << "the running download did not start its body";
  // Its start cleared the other target's left-over file.
  const std::vector<std::string> Kept = TempFileNames(Dir.Path());
  ASSERT_EQ(Kept.size(), 1u);
  EXPECT_NE(Kept[0], ".other.jpg.mossgather-part-AbC123");
  EXPECT_EQ(Kept[0].rfind(".pic.jpg.mossgather-part-", 0), 0u) << Kept[0];

  {
    TProcess Killed(MOSS_FETCH_EXE, {Srv.Url("/stall"), Target});
    ASSERT_TRUE(WaitFor([&] { return TempFileNames(Dir.Path()).size() == 2; }, 10000))
        << "the killed download's temporary file did not appear";
    Killed.Signal(SIGKILL);
    ASSERT_TRUE(Killed.Wait(60000)) << "the download did not end on SIGKILL";
  }
  ASSERT_EQ(TempFileNames(Dir.Path()).size(), 2u);
  EXPECT_EQ(ReadFile(Target), "old");

  THttpDownFile D;
  EXPECT_TRUE(D.DownLoad(Srv.Url("/good"), Target, "", "", 5)) << D.ErrorText();
  EXPECT_EQ(ReadFile(Target), "good");
  EXPECT_EQ(TempFileNames(Dir.Path()), Kept);

  Live.StopDown();
  EXPECT_TRUE(WaitFor([&] { return !Live.IsBusy(); }, 10000)) << "the running download did not stop";
  EXPECT_FALSE(LiveOk);
  EXPECT_EQ(FolderNames(Dir.Path()), (std::vector<std::string>{".other.jpg.0123456789abcdef.part", "pic.jpg"}));
}
