// The list mode of mossgather-fetch: names made from hostile addresses never
// reach a file that is already there.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "support/TScriptHttpServer.h"
#include "support/TestSupport.h"

namespace {

struct TRun {
  int Exit;
  std::string Output;
};

TRun FetchList(const std::string &List, const std::string &Dir) {
  TRun R{-1, {}};
  FILE *P = popen((std::string(MOSS_FETCH_EXE) + " --timeout 5 --list " + List + " " + Dir + " 2>&1").c_str(), "r");
  char Buf[4096];
  for (size_t N; (N = fread(Buf, 1, sizeof Buf, P)) > 0;) R.Output.append(Buf, N);
  int St = pclose(P);
  R.Exit = WIFEXITED(St) ? WEXITSTATUS(St) : -1;
  return R;
}

}  // namespace

TEST(FetchList, AnEncodedNulNeverLeadsToAnExistingFile) {
  TScriptHttpServer Srv;
  for (const char *T : {"/d/a%00b", "/d/existing.txt%00.jpg", "/d/%2e%2e", "/d/%2Fetc%2Fpasswd"})
    Srv.On(T, TScriptHttpServer::Response("200 OK", std::string("from ") + T));
  TTempDir Dir, Out;
  WriteFile(Out.File("a"), "mine");
  WriteFile(Out.File("existing.txt"), "mine too");
  WriteFile(Dir.File("list"), Srv.Url("/d/a%00b") + "\n" + Srv.Url("/d/existing.txt%00.jpg") + "\n" + Srv.Url("/d/%2e%2e") +
                                  "\n" + Srv.Url("/d/%2Fetc%2Fpasswd") + "\n");
  TRun R = FetchList(Dir.File("list"), Out.Path());
  EXPECT_EQ(R.Exit, 0) << R.Output;
  EXPECT_EQ(R.Output.find('\0'), std::string::npos);
  EXPECT_EQ(ReadFile(Out.File("a")), "mine");
  EXPECT_EQ(ReadFile(Out.File("existing.txt")), "mine too");
  EXPECT_EQ(ReadFile(Out.File("a b")), "from /d/a%00b");
  EXPECT_EQ(ReadFile(Out.File("existing.txt .jpg")), "from /d/existing.txt%00.jpg");
  EXPECT_EQ(ReadFile(Out.File("index.html")), "from /d/%2e%2e");
  EXPECT_EQ(ReadFile(Out.File("etc passwd")), "from /d/%2Fetc%2Fpasswd");
  EXPECT_EQ(FolderNames(Out.Path()),
            (std::vector<std::string>{"a", "a b", "etc passwd", "existing.txt", "existing.txt .jpg", "index.html"}));
}
