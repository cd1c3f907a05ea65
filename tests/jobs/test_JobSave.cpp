#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>

#include "jobs/uDwnldThd.h"
#include "net/Unit_httpDown.h"
#include "platform/TUrlCache.h"
#include "support/JobTestHost.h"
#include "support/TScriptHttpServer.h"

namespace {
// Local files are copied only for a page that is itself on the local disk.
TSnapshotBuilder LocalPage() { return TSnapshotBuilder().Url("file:///tmp/page.html"); }

std::string Body(int Job, int File) {
  return Format("job %d file %d ", {Job, File}) + std::string(static_cast<size_t>(200 + File * 37), 'x');
}
}  // namespace

TEST_F(JobFixture, ATextJobWhosePicturesAllFailEndsWithAWarning) {
  TScriptHttpServer Srv;  // every picture: 404
  for (bool Cmplt : {true, false}) {
    SCOPED_TRACE(Cmplt);
    GParm.bMsg_Cmplt = Cmplt;
    std::string Attach = Dir.File(Cmplt ? "p1.files/" : "p2.files/");
    Dir_Force(Attach);
    PJobRec J = Edit({{WebpageContents, Dir.File(Cmplt ? "p1.html" : "p2.html")},
                      {Srv.Url("/a.png"), Attach + "a.png"},
                      {Srv.Url("/b.png"), Attach + "b.png"}},
                     pcFullPage);
    J->TextLines = {"<html>", "<body>text</body>", "</html>"};
    J->AttachDir = Attach;
    Host.Tips.clear();
    Save(J);
    ASSERT_TRUE(WaitEnd(J));
    EXPECT_EQ(J->State, jsWarning);
    EXPECT_EQ(J->MonState, msEndError);
    EXPECT_EQ(J->SavedCnt, 1);
    EXPECT_EQ(ReadFile(Dir.File(Cmplt ? "p1.html" : "p2.html")), "<html>\n<body>text</body>\n</html>\n");
    if (Cmplt) {
      ASSERT_EQ(Host.Tips.size(), 1u);
      EXPECT_EQ(Host.Tips[0].Msg, "p1.html");
      EXPECT_EQ(Host.Tips[0].Sec, "1 / 3 files");
      EXPECT_EQ(Host.Tips[0].Kind, 0);
      EXPECT_NE(LogText().find("MainMsg: p1.html, SecMsg: 1 / 3 files"), std::string::npos);
    } else {
      EXPECT_TRUE(Host.Tips.empty());
    }
    EXPECT_FALSE(Dir_Exists(Attach));  // nothing but the text was written: the empty folder goes
  }
}

TEST_F(JobFixture, ACachedPictureIsCopiedWithoutAConnection) {
  TScriptHttpServer Srv;
  std::string Url = Srv.Url("/cached/fern.jpg");
  const std::string Jpeg = std::string("\xFF\xD8\xFF", 3) + std::string(1533, 'j');
  TUrlCache::Default().Store(Url, Jpeg);
  PJobRec J = Edit({{Url, Dir.File("fern.jpg")}}, pcOneImage);
  Save(J);
  ASSERT_TRUE(WaitEnd(J));
  EXPECT_EQ(J->State, jsComplete);
  EXPECT_TRUE(Srv.Requests().empty());
  EXPECT_EQ(ReadFile(Dir.File("fern.jpg")), Jpeg);
  ASSERT_EQ(Host.Tips.size(), 1u);
  EXPECT_EQ(Host.Tips[0].Msg, "fern.jpg");
  EXPECT_EQ(Host.Tips[0].Sec, "1.5 K");
  EXPECT_EQ(Host.Tips[0].Kind, 2);
  TUrlCache::Default().Delete(Url);
}

TEST_F(JobFixture, ACopyOntoAnExistingFileFails) {
  WriteFile(Dir.File("src.txt"), "new");
  WriteFile(Dir.File("taken.txt"), "old");
  PJobRec J =
      Edit({{"file://" + Dir.File("src.txt"), Dir.File("taken.txt")}, {"file://" + Dir.File("src.txt"), Dir.File("free.txt")}},
           pcAllImages, LocalPage());
  Save(J);
  ASSERT_TRUE(WaitEnd(J));
  EXPECT_EQ(J->FileList[0]->Status, fsFailed);
  EXPECT_EQ(ReadFile(Dir.File("taken.txt")), "old");
  EXPECT_EQ(J->FileList[1]->Status, fsSaved);
  EXPECT_EQ(ReadFile(Dir.File("free.txt")), "new");
  EXPECT_EQ(J->State, jsWarning);
}

TEST_F(JobFixture, ARerunTriesOnlyTheFailedEntriesAndCountsOn) {
  TScriptHttpServer Srv;
  Srv.On("/1", TScriptHttpServer::Response("200 OK", "one"));
  PJobRec J = Edit({{Srv.Url("/1"), Dir.File("1")}, {Srv.Url("/2"), Dir.File("2")}, {Srv.Url("/3"), Dir.File("3")}});
  Save(J);
  ASSERT_TRUE(WaitEnd(J));
  EXPECT_EQ(J->State, jsWarning);
  EXPECT_EQ(J->SavedCnt, 1);
  EXPECT_EQ(Host.Tips.back().Sec, "1 / 3 files");
  Srv.On("/2", TScriptHttpServer::Response("200 OK", "two"));
  Srv.On("/3", TScriptHttpServer::Response("200 OK", "three"));
  size_t Before = Srv.Targets().size();
  EXPECT_TRUE(Ctrl->PJob_ReRun(J));
  ASSERT_TRUE(Spin([&] {
    auto W = J->Worker.Get();
    return J->State == jsComplete && (!W || W->Finished());
  }));
  std::vector<std::string> T = Srv.Targets();
  std::vector<std::string> Again(T.begin() + static_cast<long>(Before), T.end());
  std::sort(Again.begin(), Again.end());  // side by side, in any order
  EXPECT_EQ(Again, (std::vector<std::string>{"/2", "/3"}));
  EXPECT_EQ(J->SavedCnt, 3);
  EXPECT_EQ(J->TotalCnt, 3);
  EXPECT_EQ(Host.Tips.back().Sec, "3 files");
}

TEST_F(JobFixture, WithTheCompletionMessageOffOnlyFailuresAreTold) {
  GParm.bMsg_Cmplt = false;
  WriteFile(Dir.File("s"), "x");
  PJobRec Good = Edit({{"file://" + Dir.File("s"), Dir.File("copy")}}, pcAllImages, LocalPage());
  Save(Good);
  ASSERT_TRUE(WaitEnd(Good));
  EXPECT_EQ(Good->State, jsComplete);
  EXPECT_TRUE(Host.Tips.empty());
  EXPECT_EQ(LogText().find("MainMsg:"), std::string::npos);
  PJobRec Bad = Edit({{"file://" + Dir.File("missing"), Dir.File("none")}}, pcAllImages, LocalPage());
  Save(Bad);
  ASSERT_TRUE(WaitEnd(Bad));
  EXPECT_EQ(Bad->State, jsError);
  ASSERT_EQ(Host.Tips.size(), 1u);
  EXPECT_EQ(Host.Tips[0].Msg, "No files saved!");
  EXPECT_EQ(Host.Tips[0].Sec, "Nothing");
  EXPECT_EQ(Host.Tips[0].Kind, 1);
}

TEST_F(JobFixture, AnEmptyFileListCancelsTheJob) {
  PJobRec J = Edit({});
  Save(J);
  ASSERT_TRUE(Spin([&] { return Ctrl->JobList().empty(); }));
  ASSERT_FALSE(Host.Tips.empty());
  EXPECT_EQ(Host.Tips.back().Msg, "Job 1 canceled: Exception: 2, Fail to download files, no files in list!");
}

TEST_F(JobFixture, ATextEntryThatCannotBeWrittenEndsTheRun) {
  TScriptHttpServer Srv;
  Srv.On("/p.png", TScriptHttpServer::Response("200 OK", "png"));
  PJobRec J = Edit({{WebpageContents, Dir.File("no/such/dir/page.txt")}, {Srv.Url("/p.png"), Dir.File("p.png")}}, pcSnippet);
  Save(J);
  ASSERT_TRUE(WaitEnd(J));
  EXPECT_EQ(J->State, jsError);
  EXPECT_EQ(J->FileList[1]->Status, fsPending);
  EXPECT_TRUE(Srv.Requests().empty());
  EXPECT_NE(LogText().find("Download text file error!"), std::string::npos);
}

// Many jobs saving at once, each on its own thread, while the user stops
// one and skips a file of another.
TEST_F(JobFixture, FiftyJobsOfTwentyFilesSaveAtOnce) {
  TScriptHttpServer Srv;
  constexpr int Jobs = 50, Files = 20;
  for (int J = 0; J < Jobs; ++J)
    for (int F = 0; F < Files; ++F) Srv.On(Format("/j%d/f%d", {J, F}), TScriptHttpServer::Response("200 OK", Body(J, F)));
  // Two more jobs whose first file stalls: one is stopped, one skipped.
  Srv.On("/stall", TScript{TScriptStep::Send("HTTP/1.1 200 OK\r\nContent-Length: 99999\r\n\r\nab"), TScriptStep::Stall()});
  Srv.On("/after", TScriptHttpServer::Response("200 OK", "after"));
  std::vector<PJobRec> All;
  for (int J = 0; J < Jobs; ++J) {
    std::string Folder = Dir.File(Format("j%d/", {J}));
    Dir_Force(Folder);
    std::vector<std::pair<std::string, std::string>> List;
    for (int F = 0; F < Files; ++F) List.emplace_back(Srv.Url(Format("/j%d/f%d", {J, F})), Folder + Format("f%d", {F}));
    All.push_back(Edit(List));
  }
  // Stopped: four stalled files run, the fifth waits for room; Stop ends
  // the four and starts nothing. Skipped: two stalled files run; "Go to
  // next" skips the one started last only.
  std::vector<std::pair<std::string, std::string>> StopList, SkipList;
  for (int I = 0; I < 5; ++I) StopList.emplace_back(Srv.Url("/stall"), Dir.File(Format("s%d", {I})));
  SkipList = {{Srv.Url("/stall"), Dir.File("k0")}, {Srv.Url("/stall"), Dir.File("k1")}, {Srv.Url("/after"), Dir.File("k2")}};
  PJobRec Stopped = Edit(StopList);
  PJobRec Skipped = Edit(SkipList);
  for (auto &J : All) Save(J);
  Save(Stopped);
  Save(Skipped);
  ASSERT_TRUE(Spin([&] { return JobBusyCount(*Stopped) == 4 && Skipped->SavedCnt == 1 && JobBusyCount(*Skipped) == 2; }, 60000))
      << "four stalled files of one job and two of the other running";
  EXPECT_EQ(Skipped->CurFile.Get(), Dir.File("k1"));
  EXPECT_TRUE(Ctrl->PJob_Stop(Stopped));
  EXPECT_TRUE(Ctrl->PJob_GoNxtFl(Skipped));
  EXPECT_EQ(Skipped->FileList[1]->Status, fsFailed);
  EXPECT_EQ(Skipped->FileList[0]->Status, fsSaving);  // still running
  EXPECT_EQ(Skipped->CurFile.Get(), Dir.File("k0"));
  EXPECT_TRUE(Ctrl->PJob_GoNxtFl(Skipped));
  for (auto &J : All) ASSERT_TRUE(WaitEnd(J, 120000));
  ASSERT_TRUE(WaitEnd(Skipped));
  for (int J = 0; J < Jobs; ++J) {
    EXPECT_EQ(All[static_cast<size_t>(J)]->State, jsComplete) << J;
    EXPECT_EQ(All[static_cast<size_t>(J)]->SavedCnt, Files);
    for (int F = 0; F < Files; ++F) ASSERT_EQ(ReadFile(Dir.File(Format("j%d/f%d", {J, F}))), Body(J, F)) << J << "/" << F;
  }
  EXPECT_EQ(Stopped->State, jsError);
  for (int I = 0; I < 4; ++I) EXPECT_EQ(Stopped->FileList[static_cast<size_t>(I)]->Status, fsFailed) << I;
  EXPECT_EQ(Stopped->FileList[4]->Status, fsPending);
  EXPECT_EQ(Skipped->State, jsWarning);  // both skipped files failed, the third was saved
  EXPECT_EQ(Skipped->SavedCnt, 1);
  EXPECT_EQ(ReadFile(Dir.File("k2")), "after");
  EXPECT_FALSE(File_Exists(Dir.File("k0")));
  // The monitor heard of every change: two per file and a few per run at least.
  EXPECT_GE(Host.Changes, Jobs * (Files + 2));
}
