#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <cstdlib>

#include "jobs/Unit_JobCntl.h"
#include "monitor/MonitorFixture.h"
#include "net/Unit_httpDown.h"
#include "pub/Unit_Pub.h"
#include "pub/uGlobalParm.h"
#include "support/TJobWait.h"
#include "support/TQtSupport.h"
#include "support/TScriptHttpServer.h"
#include "ui/uForm_main.h"
#include "ui/uJobMonitor.h"

namespace {

// Answers the next save dialog with Path, or cancels it when Path is empty.
void AnswerSaveDialog(const std::string &Path) {
  auto *Poll = new QTimer;
  Poll->setInterval(20);
  QObject::connect(Poll, &QTimer::timeout, [Poll, Path] {
    auto *D = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    if (!D) return;
    Poll->stop();
    Poll->deleteLater();
    if (Path.empty()) {
      D->reject();
      return;
    }
    // As a user does it: the folder, then the name typed into its box.
    D->setDirectory(QString::fromStdString(Fn_ExtractDir(Path)));
    if (auto *Name = D->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
      Name->setText(QString::fromStdString(Fn_ExtractName(Path)));
    QMetaObject::invokeMethod(D, "accept");
  });
  Poll->start();
}

struct MonitorTest : MonitorFixture {
  TScriptHttpServer Srv;
  void SetUp() override {
    MonitorFixture::SetUp();
    Srv.On("/a", TScriptHttpServer::Response("200 OK", "AAAA"));
    Srv.On("/b", TScriptHttpServer::Response("200 OK", "BB"));
    Srv.On("/missing", TScriptHttpServer::Response("404 Not Found", ""));
    // The first part of a body, then nothing: the download stays busy.
    Srv.On("/stall",
           TScript{TScriptStep::Send("HTTP/1.1 200 OK\r\nContent-Length: 4096\r\n\r\n0123456789"), TScriptStep::Stall()});
  }
  // Saves a job whose first file hangs, and waits until bytes arrived.
  PJobRec Running(const std::string &Title) {
    PJobRec J = NewJob(Title, pcOneImage, {{Srv.Url("/stall"), Prg.File("held.jpg")}, {Srv.Url("/b"), Prg.File("b.jpg")}});
    Save(J);
    // The second file goes beside the first and is saved while the first hangs.
    // The list shows it once the worker's hand-over of that change has run.
    auto Shown = [&] {
      for (const std::string &R : Rows())
        if (R.find("|" + Title + "|1/2|held.jpg|") != std::string::npos) return true;
      return false;
    };
    EXPECT_TRUE(SpinUntil([&] { return J->SavedCnt == 1 && JobBusyCount(*J) == 1 && JobRecvBytes(*J) > 0 && Shown(); }))
        << "the second file saved and listed, the first receiving";
    return J;
  }
  PJobRec Saved(const std::string &Title, uint8_t Pick, const std::string &Target, const std::string &Local) {
    PJobRec J = NewJob(Title, Pick, {{Srv.Url(Target), Prg.File(Local)}});
    Save(J);
    EXPECT_TRUE(WaitEnd(J));
    return J;
  }
  void Popup(const std::vector<PJobRec> &Sel) {
    Select(Sel);
    JobMntr->PopupOpening();
  }
  std::vector<bool> Enabled() {
    std::vector<bool> R;
    for (QAction *A : {Form->MItm_ReRun, Form->MItm_ReRunAll, Form->MItm_StopJob, Form->MItm_StopAll, Form->MItm_Delete,
                       Form->MItm_GoNext, Form->MItm_Explore, Form->MItm_SavUrlLst})
      R.push_back(A->isEnabled());
    return R;
  }
};

}  // namespace

TEST_F(MonitorTest, TheTreeFiltersTheListAndEveryChangeKeepsItInLine) {
  PJobRec Done = Saved("Moss page", pcFullPage, "/a", "a.html");
  PJobRec Queued = NewJob("Lichen pictures", pcAllImages);
  PJobRec Held = Running("Held download");
  PJobRec Movie = NewJob("Forest movie", pcFlash);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Text|Moss page|1/1||icon", "Image|Lichen pictures|0/0||icon",
                                              "Image|Held download|1/2|held.jpg|icon", "Flash|Forest movie|0/0||icon"}));

  SelectNode(msRunning);
  EXPECT_EQ(Rows(), std::vector<std::string>{"Image|Held download|1/2|held.jpg|icon"});
  SelectNode(msQueue);
  EXPECT_EQ(Rows().size(), 2u);
  SelectNode(msComplete);
  EXPECT_EQ(Rows(), std::vector<std::string>{"Text|Moss page|1/1||icon"});
  SelectNode(msEndError);
  EXPECT_TRUE(Rows().empty());

  // The running job leaves the Running list at its next change of state.
  SelectNode(msRunning);
  Popup({Held});
  ASSERT_TRUE(Form->MItm_GoNext->isEnabled());
  Form->MItm_GoNext->trigger();
  ASSERT_TRUE(WaitEnd(Held));
  EXPECT_EQ(Held->State, jsWarning);
  EXPECT_TRUE(Rows().empty());
  SelectNode(msEndError);
  EXPECT_EQ(Rows(), std::vector<std::string>{"Image|Held download|1/2||icon"});

  // Deleting a finished job takes it out of every list.
  SelectNode(0);
  Popup({Done});
  ASSERT_TRUE(Form->MItm_Delete->isEnabled());
  Form->MItm_Delete->trigger();
  EXPECT_EQ(Rows().size(), 3u);
  EXPECT_EQ(JobCtrl->FindJob(Done.get()), nullptr);
  SelectNode(msComplete);
  EXPECT_TRUE(Rows().empty());
  (void)Queued, (void)Movie;
}

// Anything may listen to the controller's job changes besides the monitor:
// here the main window's status line and one more, made by the test alone.
// The monitor's rows find their jobs by number, so a job that left the
// controller leaves no row that still reaches it.
TEST_F(MonitorTest, ListenersFollowJobChangesAndRowsFindTheirJobByNumber) {
  QLabel *Status = Form->SttBar_Ready;
  EXPECT_EQ(Status->text(), QStringLiteral("Ready"));
  std::vector<int32_t> Heard;
  QObject Listener;
  QObject::connect(JobCtrl, &TJobCtrl::JobChanged, &Listener, [&](const PJobRec &J) { Heard.push_back(J->JobId); });

  PJobRec Moss = NewJob("Moss page", pcFullPage);
  EXPECT_EQ(Status->text(), QStringLiteral("1 job"));
  PJobRec Fern = NewJob("Fern pictures", pcAllImages);
  PJobRec Lichen = NewJob("Lichen movie", pcFlash);
  EXPECT_EQ(Status->text(), QStringLiteral("3 jobs"));
  EXPECT_NE(std::find(Heard.begin(), Heard.end(), Fern->JobId.load()), Heard.end());

  QTreeWidget *L = Form->LstVw_Mntr;
  ASSERT_EQ(L->topLevelItemCount(), 3);
  for (int I = 0; I < 3; ++I) {
    const PJobRec J = JobMntr->ItemPJob(L->topLevelItem(I));
    ASSERT_NE(J, nullptr);
    EXPECT_EQ(TJobMonitor::ItemNumber(L->topLevelItem(I)), J->JobId);
  }

  // A cancelled job loses its number and leaves the list: its row goes,
  // the others still find theirs, and the count follows.
  const int32_t FernId = Fern->JobId;
  JobCtrl->PJob_Cancel(Fern);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Text|Moss page|0/0||icon", "Flash|Lichen movie|0/0||icon"}));
  EXPECT_EQ(JobCtrl->JobById(FernId), nullptr);
  EXPECT_EQ(JobMntr->ItemPJob(L->topLevelItem(0)), Moss);
  EXPECT_EQ(JobMntr->ItemPJob(L->topLevelItem(1)), Lichen);
  EXPECT_EQ(Status->text(), QStringLiteral("2 jobs"));

  // A row whose number no job has finds nothing rather than a stale job.
  QTreeWidgetItem Orphan;
  Orphan.setData(0, Qt::UserRole, FernId);
  EXPECT_EQ(JobMntr->ItemPJob(&Orphan), nullptr);
}

TEST_F(MonitorTest, ThePopupEnablesByTheSelectionAndCountsJobsTheFilterHides) {
  PJobRec Complete = Saved("Complete", pcAllImages, "/a", "c.jpg");
  PJobRec Failed = Saved("Failed", pcAllImages, "/missing", "m.jpg");
  PJobRec Queued = NewJob("Queued", pcAllImages);
  PJobRec Run = Running("Running");
  ASSERT_EQ(Failed->MonState, msEndError);
  //                                 ReRun  ReRunAll Stop   StopAll Delete GoNext Explore SavUrl
  const std::vector<bool> OnlyComplete{false, true, false, true, true, false, true, true};
  SelectNode(msComplete);
  Popup({Complete});
  EXPECT_EQ(Enabled(), OnlyComplete) << "jobs the filter hides still count for the 'all' items";

  SelectNode(0);
  Popup({Complete, Failed});
  EXPECT_EQ(Enabled(), (std::vector<bool>{true, true, false, true, true, false, false, false}));
  Popup({Run});
  EXPECT_EQ(Enabled(), (std::vector<bool>{false, true, true, true, false, true, true, true}));
  Popup({Queued});
  EXPECT_EQ(Enabled(), (std::vector<bool>{false, true, false, true, false, false, true, true}));
  Popup({});
  EXPECT_EQ(Enabled(), (std::vector<bool>{false, true, false, true, false, false, false, false}));

  // "Stop all" reaches the running job, "Restart" the failed one.
  Form->MItm_StopAll->trigger();
  ASSERT_TRUE(WaitEnd(Run));
  EXPECT_EQ(Run->MonState, msEndError);
  EXPECT_EQ(Run->FileList[0]->Status, fsFailed);  // the held file stopped, the one beside it saved
  EXPECT_EQ(Run->FileList[1]->Status, fsSaved);
  Popup({Failed});
  Form->MItm_ReRun->trigger();
  ASSERT_TRUE(WaitEnd(Failed));
  EXPECT_NE(Log().find(Format("JobID: %d, [Flow_ReRun], Start to rerun the job.", {Failed->JobId.load()})), std::string::npos);
}

TEST_F(MonitorTest, TheDetailPaneShowsTheSelectedJobInItsState) {
  PJobRec Done = Saved("Three of three", pcAllImages, "/a", "d.jpg");
  PJobRec Queued = NewJob("Nothing yet", pcAllImages);
  PJobRec Held = Running("Held");
  auto Show = [&](const PJobRec &J) {
    Select({J});
    JobMntr->Refsh_JobDtl();
    return Memo();
  };
  std::string Q = Show(Queued);
  EXPECT_NE(Q.find("Title: Nothing yet\n"), std::string::npos);
  EXPECT_NE(Q.find("Job state: Queue\n"), std::string::npos);
  EXPECT_NE(Q.find("UnSaved file list: \n\nSaved file list: "), std::string::npos) << Q;
  std::string R = Show(Held);
  EXPECT_NE(R.find("Job state: Running\n\nHttp Action: "), std::string::npos) << R;
  EXPECT_NE(R.find("  D/L Ratio: 0.24%;\n  D/L-Total: 0.01K - 4.00K \n"), std::string::npos) << R;
  EXPECT_NE(R.find("Saving url : " + Srv.Url("/stall") + "\nSaving file: " + Prg.File("held.jpg")), std::string::npos);
  EXPECT_NE(R.find("UnSaved file list: \n From: " + Srv.Url("/stall")), std::string::npos);
  EXPECT_NE(Show(Done).find("Job state: complete\nSaved file count: 1\nTotal file count: 1\n\nAll files saved!"),
            std::string::npos);

  // Hidden, the pane is left alone by clicks and F5 has nothing to refresh.
  Form->SBtn_ClsDtl->click();
  EXPECT_FALSE(GParm.bVw_JDtl_Vis);
  EXPECT_FALSE(Form->MItm_RefreshDtl->isEnabled());
  EXPECT_FALSE(Form->MItm_JobDtl->isChecked());
  Select({Queued});
  emit Form->LstVw_Mntr->itemClicked(Form->LstVw_Mntr->topLevelItem(1), 0);
  EXPECT_NE(Memo().find("complete"), std::string::npos);
  // Shown again: the list takes 55 % of the job view and the details refresh.
  Form->MItm_JobDtl->trigger();
  EXPECT_TRUE(Form->MItm_RefreshDtl->isEnabled());
  EXPECT_NE(Memo().find("Job state: Queue"), std::string::npos);
  SpinUntil([] { return false; }, 50);
  EXPECT_NEAR(Form->LstVw_Mntr->height(), 0.55 * Form->Pn_JobView->height(), 8);
  Form->MItm_StopAll->trigger();
  WaitEnd(Held);
}

TEST_F(MonitorTest, SaveUrlListWritesThePageUrlForTheTextAndAddsTxtWithoutAPoint) {
  PJobRec J =
      NewJob("Article", pcFullPage,
             {{WebpageContents, Prg.File("Article.html")}, {"http://pics.test/1.jpg", Prg.File("Article.html.files/1.jpg")}},
             "http://news.test/article");
  auto SaveAs = [&](const std::string &Path) {
    Popup({J});
    AnswerSaveDialog(Path);
    Form->MItm_SavUrlLst->trigger();
  };
  SaveAs(Prg.File("list"));
  EXPECT_EQ(ReadFile(Prg.File("list.txt")), "http://news.test/article\nhttp://pics.test/1.jpg\n");
  EXPECT_FALSE(File_Exists(Prg.File("list")));
  Dir_Force(Prg.File("out.d"));
  SaveAs(Prg.File("out.d/urls"));
  EXPECT_TRUE(File_Exists(Prg.File("out.d/urls"))) << "a point in a folder's name counts too";
  SaveAs("");
  EXPECT_FALSE(File_Exists(Prg.File("list.txt.txt")));

  // "View folder" opens the folder of the first file.
  TOpenedFiles Opened;
  Popup({J});
  Form->MItm_Explore->trigger();
  EXPECT_EQ(Opened.Paths, std::vector<std::string>{Prg.Path().substr(0, Prg.Path().size() - 1)});
  PJobRec Empty = NewJob("No files", pcAllImages);
  Popup({Empty});
  Form->MItm_Explore->trigger();
  EXPECT_EQ(Opened.Paths.size(), 1u);
  EXPECT_NE(Log().find("Err, Tips: \"Explore error\"; Mthd: [TMainForm.MItm_ExploreClick]"), std::string::npos);
}

TEST_F(MonitorTest, FiftyJobsSavingAtOnceEndConsistentInTheMonitor) {
  constexpr int Jobs = 50, Files = 20;
  auto Body = [](int J, int F) {
    return Format("job %d file %d ", {J, F}) + std::string(static_cast<size_t>(J * 97 + F * 13), 'x');
  };
  for (int J = 0; J < Jobs; ++J)
    for (int F = 0; F < Files; ++F) Srv.On(Format("/j%d/f%d", {J, F}), TScriptHttpServer::Response("200 OK", Body(J, F)));
  std::vector<PJobRec> All;
  for (int J = 0; J < Jobs; ++J) {
    Dir_Force(Prg.File(Format("j%d", {J})));
    std::vector<std::pair<std::string, std::string>> List;
    for (int F = 0; F < Files; ++F) List.emplace_back(Srv.Url(Format("/j%d/f%d", {J, F})), Prg.File(Format("j%d/f%d", {J, F})));
    All.push_back(NewJob(Format("Job %d", {J}), pcAllImages, List));
  }
  PJobRec Held = Running("Stopped from the menu");
  SelectNode(msRunning);
  for (auto &J : All) Save(J);
  for (auto &J : All) ASSERT_TRUE(WaitEnd(J, 120000));
  Popup({Held});
  Form->MItm_StopJob->trigger();
  ASSERT_TRUE(WaitEnd(Held));
  EXPECT_TRUE(Rows().empty()) << "no job is left in the Running list";
  SelectNode(msComplete);
  std::vector<std::string> R = Rows();
  ASSERT_EQ(R.size(), static_cast<size_t>(Jobs));
  for (int J = 0; J < Jobs; ++J) {
    EXPECT_EQ(R[static_cast<size_t>(J)], Format("Image|Job %d|20/20||icon", {J}));
    for (int F = 0; F < Files; ++F) ASSERT_EQ(ReadFile(Prg.File(Format("j%d/f%d", {J, F}))), Body(J, F));
  }
  SelectNode(msEndError);
  EXPECT_EQ(Rows(), std::vector<std::string>{"Image|Stopped from the menu|1/2||icon"});
}

// Not a check: with MOSSGATHER_SHOTS set to a folder, leaves a picture of
// the main window with a job in every state there (run under Xvfb for the
// documentation's screenshots).
TEST_F(MonitorTest, ScreenshotOfJobsInEveryState) {
  const char *Shots = std::getenv("MOSSGATHER_SHOTS");
  if (!Shots) GTEST_SKIP() << "MOSSGATHER_SHOTS is not set";
  Srv.On("/late", TScript{TScriptStep::Send("HTTP/1.1 200 OK\r\nContent-Length: 1048576\r\n\r\n"),
                          TScriptStep::Send(std::string(402000, 'x')), TScriptStep::Stall()});
  Form->resize(780, 640);
  Saved("Mosses of the Pacific Northwest", pcFullPage, "/a", "Mosses of the Pacific Northwest.html");
  PJobRec Part = NewJob("Lichen photo gallery", pcAllImages,
                        {{Srv.Url("/a"), Prg.File("lichen-1.jpg")},
                         {Srv.Url("/b"), Prg.File("lichen-2.jpg")},
                         {Srv.Url("/missing"), Prg.File("lichen-3.jpg")}});
  Save(Part);
  WaitEnd(Part);
  Saved("Sphagnum - peat moss", pcOneImage, "/b", "sphagnum.jpg");
  PJobRec Run = NewJob("How to build a moss terrarium", pcAllImages,
                       {{Srv.Url("/a"), Prg.File("terrarium-1.jpg")},
                        {Srv.Url("/late"), Prg.File("terrarium-large.jpg")},
                        {Srv.Url("/b"), Prg.File("terrarium-3.jpg")}});
  Save(Run);
  SpinUntil([&] { return JobRecvBytes(*Run) >= 402000; });
  NewJob("Forest floor time-lapse", pcFlash);
  Select({Run});
  JobMntr->Refsh_JobDtl();
  SpinUntil([] { return false; }, 300);
  Form->grab().save(QString::fromLatin1(Shots) + QStringLiteral("/main-window.png"));
  SelectNode(msEndError);
  SpinUntil([] { return false; }, 100);
  Form->MItm_StopAll->trigger();
  WaitEnd(Run);
}

int main(int argc, char **argv) { return RunTestsWithEventLoop(argc, argv, true); }
