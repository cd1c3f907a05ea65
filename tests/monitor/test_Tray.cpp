// The main window in the background: the tray, and the first-use line of
// the empty job list.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTreeWidget>
#include <cstdlib>

#include "control/Unit_MPC.h"
#include "jobs/Unit_JobCntl.h"
#include "monitor/MonitorFixture.h"
#include "pub/Unit_Pub.h"
#include "pub/uGlobalParm.h"
#include "pub/uRunVars.h"
#include "support/TQtSupport.h"
#include "support/TScriptHttpServer.h"
#include "ui/uForm_main.h"
#include "ui/uJobMonitor.h"

namespace {

// The user closes windows here (nothing is unattended), on a desktop that
// has a tray unless a test says otherwise; the program's end is counted
// instead of ending the test's event loop.
struct TrayTest : MonitorFixture {
  TScriptHttpServer Srv;
  int Quits = 0;
  void SetUp() override {
    ::setenv("MOSSGATHER_PRGDIR", Prg.Path().c_str(), 1);
    ::setenv("MOSSGATHER_TRAY", "1", 1);
    Srv.On("/stall",
           TScript{TScriptStep::Send("HTTP/1.1 200 OK\r\nContent-Length: 4096\r\n\r\n0123456789"), TScriptStep::Stall()});
  }
  void TearDown() override {
    ::unsetenv("MOSSGATHER_TRAY");
    MPC.ExitUnattended = true;
    MonitorFixture::TearDown();
  }
  void Start() {
    Open();
    MPC.ExitUnattended = false;
    Form->OnQuit = [this] { ++Quits; };
  }
  QAction *Item(const char *Name) { return Form->findChild<QAction *>(QString::fromLatin1(Name)); }
  std::string Tip() { return Form->Tray() ? Form->Tray()->toolTip().toStdString() : "<no tray>"; }
};

}  // namespace

TEST_F(TrayTest, ClosingTheWindowLeavesTheProgramRunningInTheTray) {
  Start();
  ASSERT_NE(Form->Tray(), nullptr);
  EXPECT_TRUE(Form->Tray()->isVisible());
  EXPECT_EQ(Tip(), "Mossgather 0.12: no job running");
  ASSERT_NE(Item("MItm_TrayShow"), nullptr);
  ASSERT_NE(Item("MItm_TrayOption"), nullptr);
  ASSERT_NE(Item("MItm_TrayQuit"), nullptr);

  EXPECT_FALSE(Form->close());
  EXPECT_TRUE(Form->isHidden());
  EXPECT_EQ(Quits, 0);
  EXPECT_EQ(SysState.load(), 1);
  ASSERT_NE(JobCtrl, nullptr);

  // Jobs go on saving in the background, counted in the tooltip.
  PJobRec J = NewJob("Held", pcOneImage, {{Srv.Url("/stall"), Prg.File("held.jpg")}});
  Save(J);
  EXPECT_TRUE(SpinUntil([&] { return Tip() == "Mossgather 0.12: 1 job running"; })) << Tip();
  // A stop only aborts a download under way: the job shows as running a
  // moment before its first download begins.
  ASSERT_TRUE(SpinUntil([&] { return !Srv.Requests().empty(); }, 20000)) << "the held picture's request to come";
  EXPECT_TRUE(JobCtrl->PJob_Stop(J));
  ASSERT_TRUE(WaitEnd(J));
  EXPECT_EQ(Tip(), "Mossgather 0.12: no job running");

  Item("MItm_TrayShow")->trigger();
  EXPECT_TRUE(Form->isVisible());
  EXPECT_EQ(Quits, 0);
}

TEST_F(TrayTest, QuitFromTheTrayEndsThroughTheNormalPathAndWritesTheSettings) {
  Start();
  Form->close();
  ASSERT_TRUE(Form->isHidden());
  GParm.iChkCyc = 9;
  Item("MItm_TrayQuit")->trigger();
  EXPECT_EQ(Quits, 1);
  // The program entry ends the window once its event loop is over.
  delete Form;
  Form = nullptr;
  const std::string Cfg = ReadFile(Prg.File("cfg.ini"));
  EXPECT_NE(Cfg.find("iChkCyc=9\n"), std::string::npos) << Cfg;
  EXPECT_NE(Cfg.find("bTrayIcon=1\n"), std::string::npos) << Cfg;
}

TEST_F(TrayTest, WithoutATrayOrWithTheSettingOffClosingEndsTheProgram) {
  struct TCase {
    const char *Tray;
    bool Setting;
  };
  for (const TCase &C : {TCase{"0", true}, TCase{"1", false}}) {
    SCOPED_TRACE(std::string("tray ") + C.Tray + ", setting " + (C.Setting ? "on" : "off"));
    ::setenv("MOSSGATHER_TRAY", C.Tray, 1);
    Start();
    GParm.bTrayIcon = C.Setting;
    Form->UpdTray();
    EXPECT_EQ(Form->Tray(), nullptr);
    EXPECT_TRUE(Form->close());
    EXPECT_EQ(Quits, 1);
    MPC.ExitUnattended = true;
    delete Form;
    Form = nullptr;
    Quits = 0;
  }
}

TEST_F(TrayTest, TurningTheSettingOffBringsAHiddenWindowBackAndASignalStillEnds) {
  Start();
  Form->close();
  ASSERT_TRUE(Form->isHidden());
  GParm.bTrayIcon = false;
  Form->UpdTray();
  EXPECT_EQ(Form->Tray(), nullptr);
  EXPECT_TRUE(Form->isVisible());
  GParm.bTrayIcon = true;
  Form->UpdTray();
  ASSERT_NE(Form->Tray(), nullptr);
  // A signal or the session's end: no one is there to use the tray.
  Form->CloseUnattended();
  EXPECT_EQ(Quits, 1);
}

TEST_F(TrayTest, TheEmptyListSaysWhatToDoUntilTheFirstJobArrives) {
  Start();
  QLabel *Hint = JobMntr->FirstUseHint();
  ASSERT_NE(Hint, nullptr);
  EXPECT_TRUE(Hint->isVisible());
  EXPECT_TRUE(Hint->text().contains(QStringLiteral("Add the Mossgather extension to your browser")));
  EXPECT_TRUE(Hint->text().contains(QStringLiteral("mossgather -doctor")));
  EXPECT_TRUE(Form->LstVw_Mntr->viewport()->rect().contains(Hint->geometry()));
  NewJob("First", pcSnippet);
  EXPECT_FALSE(Hint->isVisible());
  // An empty category after that is just empty.
  SelectNode(msEndError);
  EXPECT_EQ(Form->LstVw_Mntr->topLevelItemCount(), 0);
  EXPECT_FALSE(Hint->isVisible());
}
