// The options dialog and the update check as the main window reaches them:
// the two menu items, the automatic check on the timer (only while the main
// window is the only window showing), and a dead update site that costs the
// window nothing.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <memory>

#include "control/uOptUpdUi.h"
#include "jobs/Unit_JobCntl.h"
#include "monitor/MonitorFixture.h"
#include "pub/Unit_Pub.h"
#include "pub/uGlobalParm.h"
#include "support/TQtSupport.h"
#include "support/TScriptHttpServer.h"
#include "ui/UForm_ChkUpd.h"
#include "ui/UForm_Msg.h"
#include "ui/Unit_Msg.h"
#include "ui/Unit_PubWnd.h"
#include "ui/uForm_Option.h"
#include "ui/uForm_main.h"

namespace {

std::string Published(const std::string &Version) {
  return TScriptHttpServer::Response("200 OK", Version + "\r\nhttps://mossgather.org/en/new.html\r\n");
}

// The program as its entry wires it: the main window, the options dialog
// and the update check, on settings pointing at a local site.
struct OptUpdMain : MonitorFixture {
  TScriptHttpServer Srv;
  TForm_Option *Opt = nullptr;
  TForm_ChkUpd *Upd = nullptr;

  void SetUp() override {
    MonitorFixture::SetUp();
    Opt = new TForm_Option(Form);
    Upd = new TForm_ChkUpd(Form);
    ConnectOptionsAndUpdates(*Form, *Opt, *Upd);
    GParm.sUpdHost = Srv.Url("");
    GParm.iChkCyc = 14;
    GParm.dChkDate = Date();
  }
  // The update check with a download that waits as long as a test needs.
  void PatientDownloads() {
    TUpdEnv E = UpdEnvOf(GParm);
    E.TimeoutSec = 600;
    Upd->SetEnv(E);
  }
};

}  // namespace

TEST_F(OptUpdMain, TheMenuItemsAreEnabledAndOpenTheirDialogs) {
  ASSERT_TRUE(Form->MItm_Option->isEnabled());
  ASSERT_TRUE(Form->MItm_ChkUpd->isEnabled());
  GParm.sDir_Def_Img = "/somewhere/images";
  Form->MItm_Option->trigger();
  EXPECT_TRUE(Opt->isVisible());
  EXPECT_FALSE(Opt->isModal());
  EXPECT_EQ(Opt->Ed_Path_Img->text(), "/somewhere/images");
  Opt->Btn_Cancel->click();

  Srv.On(UpdFilePath, Published("0.12"));
  Form->MItm_ChkUpd->trigger();
  EXPECT_TRUE(Upd->isVisible());
  EXPECT_EQ(Upd->windowTitle(), "Check updates");
  ASSERT_TRUE(SpinUntil([&] { return !Upd->Checking(); }, 20000));
  EXPECT_EQ(Upd->Lbl_Msg->text(), TForm_ChkUpd::MsgNone);
  EXPECT_EQ(Srv.Targets(), std::vector<std::string>{"/upd/updpgm.txt"});
  EXPECT_EQ(GParm.dChkDate, Date() + 14);
  Upd->Btn_Cancle->click();
  // After the manual check no automatic one follows in this run.
  GParm.dChkDate = Date();
  Form->TimerTick();
  EXPECT_EQ(Srv.Targets().size(), 1u);
}

TEST_F(OptUpdMain, TheTimerChecksOnlyWhileTheMainWindowIsAlone) {
  Srv.On(UpdFilePath, Published("0.12"));
  QWidget Other;
  Other.setWindowTitle(QStringLiteral("Save snippet/page"));  // a stand-in for the edit window
  struct {
    const char *Name;
    std::function<void()> Show, Hide;
  } Others[] = {
      {"the options dialog", [&] { Form->MItm_Option->trigger(); }, [&] { Opt->Btn_Cancel->click(); }},
      {"a tip", [] { GLBL_TipMsg("page.html", "12 K", TipGood); }, [] { FormMsg->CloseMsg(0); }},
      {"another window", [&] { Other.show(); }, [&] { Other.hide(); }},
  };
  for (const auto &O : Others) {
    SCOPED_TRACE(O.Name);
    O.Show();
    ASSERT_TRUE(Wnd_OthersShown({Form}));
    Form->TimerTick();
    EXPECT_FALSE(Upd->CheckedThisRun());
    O.Hide();
  }
  // A menu or a tooltip is no window.
  Form->PMenu_Mntr->popup(Form->mapToGlobal(QPoint(20, 20)));
  EXPECT_FALSE(Wnd_OthersShown({Form}));
  Form->PMenu_Mntr->hide();
  EXPECT_TRUE(Srv.Requests().empty());
  Form->TimerTick();
  EXPECT_TRUE(Upd->CheckedThisRun());
  ASSERT_TRUE(Srv.WaitRequests(1, 20000));
  ASSERT_TRUE(SpinUntil([&] { return !Upd->Checking(); }, 20000));
  EXPECT_FALSE(Upd->isVisible());  // nothing newer: nothing to show
  Form->TimerTick();
  EXPECT_EQ(Srv.Requests().size(), 1u);
}

TEST_F(OptUpdMain, TheNextCheckDateMovesByTheCycleWhateverTheAnswer) {
  struct {
    const char *Name;
    std::string Reply;
    bool Shows;
  } Cases[] = {{"none newer", Published("0.13"), false},
               {"newer", Published("0.14"), true},
               {"missing", TScriptHttpServer::Response("404 Not Found", ""), false}};
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Name);
    delete Upd;
    Upd = new TForm_ChkUpd(Form);  // a fresh run's dialog
    ConnectOptionsAndUpdates(*Form, *Opt, *Upd);
    Srv.On(UpdFilePath, C.Reply);
    GParm.iChkCyc = 6;
    GParm.dChkDate = Date() - 2;
    Form->TimerTick();
    EXPECT_EQ(GParm.dChkDate, Date() + 6);
    ASSERT_TRUE(SpinUntil([&] { return !Upd->Checking(); }, 20000));
    QCoreApplication::processEvents();
    EXPECT_EQ(Upd->isVisible(), C.Shows);
    if (C.Shows) {
      Upd->ED_UpdDate->setText(QStringLiteral("10"));
      Upd->Btn_Cancle->click();
      EXPECT_EQ(GParm.iChkCyc, 10);
      EXPECT_EQ(GParm.dChkDate, Date() + 10);
    }
  }
}

TEST_F(OptUpdMain, ASiteThatNeverAnswersDoesNotFreezeTheMainWindow) {
  Srv.On(UpdFilePath, TScript{TScriptStep::Stall()});
  PatientDownloads();
  Form->TimerTick();  // returns while the download waits for the site
  ASSERT_TRUE(Srv.WaitRequests(1, 20000)) << "the request never came";
  // The window goes on answering its user.
  bool Ticked = false;
  QTimer::singleShot(0, Form, [&] { Ticked = true; });
  ASSERT_TRUE(SpinUntil([&] { return Ticked; }, 20000));
  Form->MItm_Option->trigger();
  EXPECT_TRUE(Opt->isVisible());
  Opt->Btn_Cancel->click();
  Form->SetPage(1);
  EXPECT_EQ(Form->Notebook->currentIndex(), 1);
  EXPECT_TRUE(Upd->Checking()) << "the stalled download ended by itself";
  EXPECT_FALSE(Upd->isVisible());
  // Closing the program stops the download (TearDown would hang otherwise).
}

TEST_F(OptUpdMain, TheCompletionTipOffStillTellsOfAJobThatSavedNothing) {
  Form->MItm_Option->trigger();
  ASSERT_TRUE(Opt->ChkBox_Cmplt_Msg->isChecked());
  Opt->ChkBox_Cmplt_Msg->setChecked(false);
  Opt->Btn_Save->click();
  ASSERT_FALSE(GParm.bMsg_Cmplt);

  WriteFile(Prg.File("moss.txt"), "moss");
  // A page from the disk, whose local pictures may be copied.
  const std::string Page = "file://" + Prg.File("page.html");
  PJobRec Good = NewJob("Good", pcOneImage, {{"file://" + Prg.File("moss.txt"), Prg.File("copy.txt")}}, Page);
  Save(Good);
  ASSERT_TRUE(WaitEnd(Good));
  EXPECT_EQ(Good->State, jsComplete);
  EXPECT_FALSE(FormMsg->isVisible());

  PJobRec Bad = NewJob("Bad", pcOneImage, {{"file://" + Prg.File("missing.txt"), Prg.File("none.txt")}}, Page);
  Save(Bad);
  ASSERT_TRUE(WaitEnd(Bad));
  EXPECT_EQ(Bad->State, jsError);
  ASSERT_TRUE(SpinUntil([] { return FormMsg->isVisible(); }, 20000)) << "no tip for the job that saved nothing";
  EXPECT_EQ(FormMsg->Lbl_Msg->text(), "No files saved!");
  FormMsg->CloseMsg(0);
}
