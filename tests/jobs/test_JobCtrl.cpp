#include <gtest/gtest.h>

#include "net/Unit_httpDown.h"
#include "support/JobTestHost.h"
#include "support/TQtSupport.h"
#include "support/TScriptHttpServer.h"

TEST_F(JobFixture, ARequestBecomesANumberedJobThatTheTimerOpens) {
  GParm.iTot_Job_Cnt = 41;
  EXPECT_TRUE(Request(pcOneImage, TSnapshotBuilder().Title("Ferns").Url("http://h.test/ferns.html")));
  ASSERT_EQ(Ctrl->JobList().size(), 1u);
  PJobRec J = Ctrl->JobList()[0];
  EXPECT_EQ(J->JobId, 42);
  EXPECT_EQ(J->State, jsInitial);
  EXPECT_EQ(J->PickCode, pcOneImage);
  EXPECT_TRUE(Ctrl->EditTimer().isActive());
  OpenNewest();
  EXPECT_EQ(Host.Started, std::vector<int>{42});
  EXPECT_EQ(J->Kind, jkOneImage);  // request code 1 opens as kind 2
  EXPECT_EQ(J->Title, "Ferns");
  EXPECT_EQ(J->PageUrl, "http://h.test/ferns.html");
  EXPECT_GT(J->StartTime, 0);
  EXPECT_EQ(J->State, jsEditing);
  EXPECT_NE(LogText().find("[ Info]: JobID: 42, [Flow_Begin] : Start the job."), std::string::npos);
  EXPECT_NE(LogText().find("[ Info]: JobID: 42, [Flow_Edit]: Start to edit the job."), std::string::npos);
}

TEST_F(JobFixture, RefusalsTellTheUserAndStillUseUpANumber) {
  InitFailed = true;
  EXPECT_FALSE(Request(pcSnippet));
  InitFailed = false;
  ASSERT_EQ(Host.Tips.size(), 1u);
  EXPECT_EQ(Host.Tips[0].Msg, "Program has failed in initialization, please check your system and rerun!");
  EXPECT_EQ(Host.Tips[0].Kind, 1);
  EXPECT_TRUE(Ctrl->JobList().empty());
  EXPECT_EQ(GParm.iTot_Job_Cnt, 1);

  ASSERT_TRUE(Request(pcSnippet));
  OpenNewest();  // job 2 is now in the edit window
  EXPECT_FALSE(Request(pcFullPage));
  EXPECT_EQ(Host.Tips.back().Msg, "You are editing a job, please complete it first");
  EXPECT_EQ(Host.ToFrontCalls, 1);
  EXPECT_EQ(Ctrl->JobList().size(), 1u);
  EXPECT_EQ(GParm.iTot_Job_Cnt, 3);
}

// The edit window's needs start while the timer runs, for each request
// taken and only for those.
TEST_F(JobFixture, EachRequestTakenWarmsItsEditorBeforeTheTimerOpensIt) {
  ASSERT_TRUE(Request(pcSnippet));
  EXPECT_EQ(Host.Warmed, std::vector<int>{jkSnippet});
  EXPECT_TRUE(Host.Started.empty());
  ASSERT_TRUE(Request(pcOneImage));
  EXPECT_EQ(Host.Warmed, (std::vector<int>{jkSnippet, jkOneImage}));
  OpenNewest();
  EXPECT_FALSE(Request(pcFullPage));  // refused: a job is in the edit window
  EXPECT_FALSE(Ctrl->Flow_Begin(nullptr, pcSnippet, nullptr));
  InitFailed = true;
  EXPECT_FALSE(Request(pcSnippet));
  InitFailed = false;
  EXPECT_EQ(Host.Warmed.size(), 2u);
}

TEST_F(JobFixture, AFailedStartIsCancelledBeforeItsNumberIsStored) {
  EXPECT_FALSE(Ctrl->Flow_Begin(nullptr, pcSnippet, nullptr));
  ASSERT_EQ(Host.Tips.size(), 1u);
  EXPECT_EQ(Host.Tips[0].Msg, "Job 0 canceled: Fail to start the job, COM object interface error!");
  EXPECT_EQ(Host.Tips[0].Sec, "Nothing");
  EXPECT_TRUE(Ctrl->JobList().empty());
  EXPECT_NE(LogText().find("JobID: 0, [PJob_Cancel], Start to cancel the job."), std::string::npos);
}

TEST_F(JobFixture, APageWhoseDocumentCannotBeReadCancelsTheJob) {
  ASSERT_TRUE(Request(pcSnippet, TSnapshotBuilder().Drop("document.title")));
  OpenNewest();
  ASSERT_EQ(Host.Tips.size(), 1u);
  EXPECT_EQ(Host.Tips[0].Msg.rfind("Job 1 canceled: Err, Tips: \"Invalid HWin2_Cur.document\"; "
                                   "Mthd: [TJobCtrl.PJob_Edt_Init-InitJobParm]; SysMsg: (",
                                   0),
            0u)
      << Host.Tips[0].Msg;
  EXPECT_TRUE(Ctrl->JobList().empty());
}

TEST_F(JobFixture, WithoutAnEditorTheJobIsCancelled) {
  Host.HasEditor = false;
  ASSERT_TRUE(Request(pcFlash));
  OpenNewest();
  ASSERT_EQ(Host.Tips.size(), 1u);
  EXPECT_EQ(Host.Tips[0].Msg, "Job 1 canceled: No editor for this kind of job");
  EXPECT_TRUE(Ctrl->JobList().empty());
}

TEST_F(JobFixture, TheTimerOpensOnlyTheNewestOfQuickRequests) {
  for (int I = 0; I < 3; ++I) ASSERT_TRUE(Request(pcAllImages));
  OpenNewest();
  EXPECT_EQ(Host.Started, std::vector<int>{3});
  ASSERT_EQ(Ctrl->JobList().size(), 3u);
  EXPECT_EQ(Ctrl->JobList()[0]->State, jsInitial);
  EXPECT_EQ(Ctrl->JobList()[1]->State, jsInitial);
  EXPECT_FALSE(Ctrl->EditTimer().isActive());
}

TEST_F(JobFixture, CancellingTwiceDoesNothingTheSecondTime) {
  ASSERT_TRUE(Request(pcSnippet));
  PJobRec J = OpenNewest();
  Host.EditShowing = true;
  EXPECT_TRUE(Ctrl->PJob_Fail(J, ""));
  EXPECT_EQ(Host.Tips.back().Msg, "Job 1 canceled: Unknown error!");
  EXPECT_EQ(Host.CancelPresses, 1);  // the edit window showing the job is closed too
  EXPECT_EQ(J->JobId, -1);
  size_t Tips = Host.Tips.size();
  EXPECT_FALSE(Ctrl->PJob_Cancel(J));
  EXPECT_EQ(Host.Tips.size(), Tips);
}

TEST_F(JobFixture, CommandsInTheWrongStateAreRefusedWithABox) {
  PJobRec J = Edit({});
  J->MonState = msComplete;
  J->State = jsComplete;
  EXPECT_FALSE(Ctrl->PJob_ReRun(J));
  EXPECT_EQ(Host.Boxes.back(), "Failed to Rerun, the job status is not Error!");
  EXPECT_FALSE(Ctrl->PJob_Stop(J));
  EXPECT_EQ(Host.Boxes.back(), "Failed to Stop, the job is not running!");
  EXPECT_FALSE(Ctrl->PJob_GoNxtFl(J));
  EXPECT_EQ(Host.Boxes.back(), "Failed to Go Next File, the job is not running!");
  J->MonState = msRunning;
  EXPECT_FALSE(Ctrl->PJob_Delete(J));
  EXPECT_EQ(Host.Boxes.back(), "Failed to delete, the job is running!");
  // Stop before the first download made a downloader: false, and silence.
  size_t Boxes = Host.Boxes.size();
  EXPECT_FALSE(Ctrl->PJob_Stop(J));
  EXPECT_EQ(Host.Boxes.size(), Boxes);
  J->MonState = msComplete;
  EXPECT_TRUE(Ctrl->PJob_Delete(J));
  EXPECT_TRUE(Ctrl->JobList().empty());
  EXPECT_EQ(J->MonState, msDeleted);
}

TEST_F(JobFixture, UnfinishedMeansAnyStateButTheThreeEnds) {
  EXPECT_FALSE(Ctrl->HasUnfinishedJob());
  ASSERT_TRUE(Request(pcSnippet));
  EXPECT_TRUE(Ctrl->HasUnfinishedJob());  // jsInitial
  OpenNewest();
  EXPECT_TRUE(Ctrl->HasUnfinishedJob());  // jsEditing
  Ctrl->JobList()[0]->State = jsWarning;
  EXPECT_FALSE(Ctrl->HasUnfinishedJob());
}

TEST_F(JobFixture, StopAllAtExitStopsSavingJobsOneAfterTheOther) {
  TScriptHttpServer Srv;
  // A body that never finishes: each job hangs in its first download.
  Srv.On("/slow", TScript{TScriptStep::Send("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\nabc"), TScriptStep::Stall()});
  // A's fifth file waits for room: four at once go to one server.
  std::vector<std::pair<std::string, std::string>> AFiles;
  for (int I = 1; I <= 5; ++I) AFiles.emplace_back(Srv.Url("/slow"), Dir.File(Format("a%d", {I})));
  PJobRec A = Edit(AFiles);
  Save(A);
  PJobRec B = Edit({{Srv.Url("/slow"), Dir.File("b1")}});
  Save(B);
  ASSERT_TRUE(Spin([&] { return JobBusyCount(*A) == 4 && JobBusyCount(*B) == 1 && JobRecvBytes(*B) > 0; }))
      << "every first file of both jobs receiving";
  Ctrl->PJob_Stop_All();
  EXPECT_EQ(A->MonState, msEndError);
  EXPECT_EQ(B->MonState, msEndError);
  for (int I = 0; I < 4; ++I) EXPECT_EQ(A->FileList[static_cast<size_t>(I)]->Status, fsFailed) << I;
  EXPECT_EQ(A->FileList[4]->Status, fsPending);  // nothing started after the stop
  std::string L = LogText();
  size_t Sa = L.find("JobID: 1, [PJob_Stop]"), Sb = L.find("JobID: 2, [PJob_Stop]");
  ASSERT_NE(Sa, std::string::npos);
  ASSERT_NE(Sb, std::string::npos);
  EXPECT_LT(Sa, Sb);
  EXPECT_FALSE(File_Exists(Dir.File("a1")));  // nothing partial under a target name
}

TEST_F(JobFixture, CancellingASavingJobReallyStopsItsWorker) {
  TScriptHttpServer Srv;
  Srv.On("/slow", TScript{TScriptStep::Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nab"), TScriptStep::Stall()});
  PJobRec J = Edit({{Srv.Url("/slow"), Dir.File("x")}, {Srv.Url("/slow"), Dir.File("y")}});
  Save(J);
  ASSERT_TRUE(Spin([&] { return JobBusyCount(*J) == 2 && JobRecvBytes(*J) > 0; })) << "both files receiving";
  auto W = J->Worker.Get();
  EXPECT_TRUE(Ctrl->PJob_Fail(J, "test cancel"));
  EXPECT_TRUE(Ctrl->JobList().empty());
  // The record lives on while its worker finishes, and the worker ends promptly.
  EXPECT_TRUE(Spin([&] { return W->Finished(); }, 5000)) << "the worker's end";
  EXPECT_EQ(J->FileList[0]->Status, fsFailed);
  EXPECT_EQ(J->FileList[1]->Status, fsFailed);
  EXPECT_FALSE(File_Exists(Dir.File("x")));
}

int main(int argc, char **argv) { return RunTestsWithEventLoop(argc, argv, false); }
