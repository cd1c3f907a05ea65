// The update check through its dialog (offscreen), against a local server:
// what each answer shows, what the reminder stores, when the automatic
// check runs at all, and that the next-check date moves whatever happens.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <cstdlib>
#include <memory>

#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "support/TNginxServer.h"
#include "support/TQtSupport.h"
#include "support/TScriptHttpServer.h"
#include "support/TestSupport.h"
#include "ui/UForm_ChkUpd.h"

namespace {

// Catches the web pages the program hands to the desktop to open.
class TOpenedPages : public QObject {
  Q_OBJECT
 public:
  TOpenedPages() {
    for (const char *S : {"http", "https"}) QDesktopServices::setUrlHandler(QString::fromLatin1(S), this, "Open");
  }
  ~TOpenedPages() override {
    for (const char *S : {"http", "https"}) QDesktopServices::unsetUrlHandler(QString::fromLatin1(S));
  }
  std::vector<std::string> Urls;
 public slots:
  void Open(const QUrl &U) { Urls.push_back(U.toString().toStdString()); }
};

std::string Published(const std::string &Version, const std::string &Page = "https://mossgather.org/en/new.html") {
  return TScriptHttpServer::Response("200 OK", Version + "\r\n" + Page + "\r\n");
}

class UpdDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    Log = new TLogger(Dir.File("log.txt"));
    SetLogger(Log);
    Today = Date();
    NextChk = Today;
    Host = Srv.Url("");
    Make();
  }
  void TearDown() override {
    Dlg.reset();
    SetLogger(nullptr);
    delete Log;
  }
  // A fresh dialog stands for a fresh run of the program.
  void Make() {
    Dlg = std::make_unique<TForm_ChkUpd>();
    TUpdEnv E;
    E.ChkCyc = &Cyc;
    E.ChkDate = &NextChk;
    E.Host = &Host;
    E.GetTempFile = [this] {
      ++TempTaken;
      return Dir.File("#tmp_0.html");
    };
    E.FreeTempFile = [this](const std::string &) { ++TempFreed; };
    E.EditWindowShowing = [this] { return Editing; };
    E.CaFile = CaFile;
    E.TimeoutSec = TimeoutSec;
    Dlg->SetEnv(E);
  }
  bool WaitShown() {
    return SpinUntil([&] { return Dlg->isVisible(); }, 20000);
  }
  bool WaitAnswered(TForm_ChkUpd &D) {
    return SpinUntil([&] { return !D.Checking(); }, 20000);
  }
  std::string LogText() {
    Log->FlushToFile();
    return ReadFile(Dir.File("log.txt"));
  }
  std::string Msg() { return Dlg->Lbl_Msg->text().toStdString(); }

  TTempDir Dir;
  TScriptHttpServer Srv;
  TLogger *Log = nullptr;
  std::unique_ptr<TForm_ChkUpd> Dlg;
  int32_t Cyc = 14;
  TDateTime Today = 0, NextChk = 0;
  std::string Host;
  bool Editing = false;
  int TempTaken = 0, TempFreed = 0;
  std::string CaFile;
  int TimeoutSec = 10;
};

}  // namespace

TEST_F(UpdDialog, HasItsControlsAndCaptions) {
  EXPECT_EQ(Dlg->objectName(), "Form_ChkUpd");
  for (const char *N : {"Lbl_Msg", "pn_Reminder", "RG_Rmder", "ED_UpdDate", "UD_Day", "Btn_Ok", "Btn_Cancle"})
    EXPECT_NE(Dlg->findChild<QWidget *>(QString::fromLatin1(N)), nullptr) << N;
  EXPECT_EQ(Dlg->Btn_Ok->text(), "OK");
  EXPECT_EQ(Dlg->Btn_Cancle->text(), "Cancle");
  EXPECT_EQ(Dlg->RG_Rmder->title(), " Reminder ");
  EXPECT_EQ(Dlg->RB_Remind->text(), "Remind me after                           days");
  EXPECT_EQ(Dlg->RB_NoRemind->text(), "Do not remind me");
  EXPECT_TRUE(Dlg->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(Dlg->Lbl_Msg->wordWrap());
}

TEST_F(UpdDialog, AnAutomaticCheckOffersANewerVersionAndOpensItsPage) {
  TOpenedPages Opened;
  Srv.On(UpdFilePath, Published("0.14", "https://mossgather.org/en/v014.html"));
  Dlg->AutoChkUpd();
  EXPECT_TRUE(Dlg->CheckedThisRun());
  ASSERT_TRUE(WaitShown()) << "no dialog for a newer version";
  EXPECT_EQ(Dlg->windowTitle(), "Auto check updates");
  EXPECT_EQ(Msg(), TForm_ChkUpd::MsgNewer);
  EXPECT_TRUE(Dlg->pn_Reminder->isVisible());
  EXPECT_TRUE(Dlg->Btn_Ok->isEnabled());
  EXPECT_TRUE(Dlg->RB_Remind->isChecked());
  EXPECT_EQ(Dlg->ED_UpdDate->text(), "14");
  EXPECT_TRUE(Dlg->isModal());
  EXPECT_EQ(QApplication::focusWidget(), Dlg->Btn_Ok);
  EXPECT_GE(Dlg->height(), 200);
  // The day box lies over the blanks of the first choice, inside the frame.
  QRect Box = Dlg->ED_UpdDate->geometry(), Choice = Dlg->RB_Remind->geometry();
  EXPECT_GT(Box.left(), Choice.left() + Dlg->RB_Remind->fontMetrics().horizontalAdvance(QStringLiteral("Remind me after")));
  EXPECT_LT(Dlg->UD_Day->geometry().right(), Dlg->RG_Rmder->width());
  EXPECT_EQ(Dlg->PubVersion(), 0.14f);
  Dlg->Btn_Ok->click();
  EXPECT_FALSE(Dlg->isVisible());
  EXPECT_EQ(Opened.Urls, std::vector<std::string>{"https://mossgather.org/en/v014.html"});
  EXPECT_EQ(Cyc, 14);
  EXPECT_EQ(NextChk, Today + 14);
  EXPECT_EQ(TempTaken, 1);
  EXPECT_EQ(TempFreed, 1);
}

TEST_F(UpdDialog, TheReminderStoresItsDaysHowEverTheDialogIsLeft) {
  Srv.On(UpdFilePath, Published("0.2"));
  struct {
    const char *Typed;
    int32_t Stored;
    const char *Leave;
  } Cases[] = {{"45", 30, "OK"}, {"0", 1, "Cancle"}, {"abc", 7, "Esc"}, {" 21 ", 21, "close"}, {"", 7, "OK"}};
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Typed);
    TOpenedPages Opened;
    Make();
    Cyc = 14;
    NextChk = Today;
    Dlg->AutoChkUpd();
    ASSERT_TRUE(WaitShown());
    // A user picks the other choice, then types: typing picks the first again.
    Dlg->RB_NoRemind->setChecked(true);
    Dlg->ED_UpdDate->selectAll();
    QTest::keyClick(Dlg->ED_UpdDate, Qt::Key_Delete);
    QTest::keyClicks(Dlg->ED_UpdDate, QString::fromLatin1(C.Typed));
    EXPECT_TRUE(Dlg->RB_Remind->isChecked());
    std::string Leave = C.Leave;
    if (Leave == "OK")
      Dlg->Btn_Ok->click();
    else if (Leave == "Cancle")
      Dlg->Btn_Cancle->click();
    else if (Leave == "Esc")
      QTest::keyClick(Dlg.get(), Qt::Key_Escape);
    else
      Dlg->close();
    EXPECT_FALSE(Dlg->isVisible());
    EXPECT_EQ(Cyc, C.Stored);
    EXPECT_EQ(NextChk, Today + C.Stored);
    EXPECT_EQ(Opened.Urls.size(), Leave == "OK" ? 1u : 0u);
  }
}

TEST_F(UpdDialog, TheArrowsStepWithinOneToThirty) {
  Srv.On(UpdFilePath, Published("0.2"));
  Cyc = 29;
  Dlg->AutoChkUpd();
  ASSERT_TRUE(WaitShown());
  Dlg->UD_Day->Btn_Up->click();
  Dlg->UD_Day->Btn_Up->click();
  EXPECT_EQ(Dlg->ED_UpdDate->text(), "30");
  Dlg->ED_UpdDate->setText(QStringLiteral("abc"));
  QTest::keyClick(Dlg->ED_UpdDate, Qt::Key_Down);  // not a number: steps from where the arrows were
  EXPECT_EQ(Dlg->ED_UpdDate->text(), "29");
  Dlg->ED_UpdDate->setText(QStringLiteral("1"));
  Dlg->UD_Day->Btn_Down->click();
  EXPECT_EQ(Dlg->ED_UpdDate->text(), "1");
  Dlg->Btn_Cancle->click();
  EXPECT_EQ(Cyc, 1);
}

TEST_F(UpdDialog, DoNotRemindMeStopsAutomaticChecksButTheMenuStillWorks) {
  TOpenedPages Opened;
  Srv.On(UpdFilePath, Published("0.2"));
  Dlg->AutoChkUpd();
  ASSERT_TRUE(WaitShown());
  Dlg->RB_NoRemind->setChecked(true);
  Dlg->Btn_Ok->click();
  EXPECT_EQ(Cyc, 0);
  EXPECT_EQ(NextChk, Today);
  // The next runs never ask again by themselves, however late it is.
  NextChk = Today - 400;
  Make();
  Dlg->AutoChkUpd();
  EXPECT_FALSE(Dlg->Checking());
  EXPECT_FALSE(Dlg->CheckedThisRun());
  EXPECT_EQ(Srv.Requests().size(), 1u);
  // "Check for updates" does.
  Dlg->ChkUpd();
  ASSERT_TRUE(WaitAnswered(*Dlg));
  EXPECT_EQ(Srv.Requests().size(), 2u);
  EXPECT_EQ(Msg(), TForm_ChkUpd::MsgNewer);
  EXPECT_TRUE(Dlg->Btn_Ok->isEnabled());
  Dlg->Btn_Cancle->click();
  EXPECT_EQ(Cyc, 0);
}

TEST_F(UpdDialog, NoNewerVersionOrNoAnswerKeepsTheAutomaticCheckSilent) {
  struct {
    const char *Name;
    TScript Reply;
    const char *LogPart;
  } Cases[] = {
      {"0.12 published", {TScriptStep::Send(Published("0.12"))}, "names version 0.12"},
      {"0.13 published", {TScriptStep::Send(Published("0.13"))}, "names version 0.13"},
      {"missing file", {TScriptStep::Send(TScriptHttpServer::Response("404 Not Found", "gone"))}, "No update information"},
      {"short file", {TScriptStep::Send(TScriptHttpServer::Response("200 OK", "0.2"))}, "fewer than two lines"},
      {"malformed file", {TScriptStep::Send(TScriptHttpServer::Response("200 OK", "v0.2\nhttps://x.org/"))}, "not a number"},
      {"connection dropped", {TScriptStep::Send("HTTP/1.1 200 OK\r\nContent-Len")}, "No update information"},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Name);
    Srv.On(UpdFilePath, C.Reply);
    Make();
    Cyc = 9;
    NextChk = Today - 3;
    Dlg->AutoChkUpd();
    ASSERT_TRUE(WaitAnswered(*Dlg));
    QCoreApplication::processEvents();
    EXPECT_FALSE(Dlg->isVisible());
    EXPECT_FALSE(Dlg->AutoAnswerWaiting());
    EXPECT_EQ(NextChk, Today + 9);  // whatever the answer
    EXPECT_NE(LogText().find(C.LogPart), std::string::npos) << LogText();
  }
  // One line per check, none of them an error.
  EXPECT_EQ(LogText().find("[Error]"), std::string::npos);
}

TEST_F(UpdDialog, TheAutomaticCheckRunsOncePerRunAndOnlyWhenDue) {
  Srv.On(UpdFilePath, Published("0.12"));
  NextChk = Today + 1;
  Dlg->AutoChkUpd();  // due tomorrow
  Cyc = 0;
  NextChk = Today;
  Dlg->AutoChkUpd();  // never
  Cyc = 14;
  Editing = true;
  Dlg->AutoChkUpd();  // a job is being edited
  EXPECT_TRUE(Srv.Requests().empty());
  EXPECT_FALSE(Dlg->CheckedThisRun());
  Editing = false;
  Dlg->AutoChkUpd();
  ASSERT_TRUE(WaitAnswered(*Dlg));
  EXPECT_EQ(NextChk, Today + 14);
  NextChk = Today;
  Dlg->AutoChkUpd();
  EXPECT_EQ(Srv.Requests().size(), 1u);
  // None after a manual check either.
  Make();
  Dlg->ChkUpd();
  ASSERT_TRUE(WaitAnswered(*Dlg));
  Dlg->Btn_Cancle->click();
  NextChk = Today;
  Dlg->AutoChkUpd();
  EXPECT_EQ(Srv.Requests().size(), 2u);
}

TEST_F(UpdDialog, ANewerVersionWaitsWhileAnotherWindowShows) {
  Srv.On(UpdFilePath, TScript{TScriptStep::Pause(200), TScriptStep::Send(Published("0.2"))});
  QWidget Other;
  Other.setWindowTitle(QStringLiteral("Another window of the program"));
  Dlg->AutoChkUpd();
  Other.show();  // opened while the answer is on its way
  ASSERT_TRUE(WaitAnswered(*Dlg));
  QCoreApplication::processEvents();
  EXPECT_FALSE(Dlg->isVisible());
  EXPECT_TRUE(Dlg->AutoAnswerWaiting());
  Dlg->AutoChkUpd();
  EXPECT_FALSE(Dlg->isVisible());
  Other.hide();
  Editing = true;
  Dlg->AutoChkUpd();
  EXPECT_FALSE(Dlg->isVisible());
  Editing = false;
  Dlg->AutoChkUpd();
  EXPECT_TRUE(Dlg->isVisible());
  EXPECT_EQ(Dlg->windowTitle(), "Auto check updates");
  EXPECT_EQ(Srv.Requests().size(), 1u);
  Dlg->Btn_Cancle->click();
}

TEST_F(UpdDialog, TheManualCheckShowsItsProgressThenItsAnswer) {
  TOpenedPages Opened;
  Cyc = 5;
  NextChk = Today + 3;
  Srv.On(UpdFilePath, TScript{TScriptStep::Pause(100), TScriptStep::Send(Published("0.1301", "https://mossgather.org/n.html"))});
  Dlg->ChkUpd();
  EXPECT_TRUE(Dlg->isVisible());
  EXPECT_EQ(Dlg->windowTitle(), "Check updates");
  EXPECT_FALSE(Dlg->pn_Reminder->isVisible());
  EXPECT_EQ(Msg(), TForm_ChkUpd::MsgChecking);
  EXPECT_FALSE(Dlg->Btn_Ok->isEnabled());
  EXPECT_EQ(NextChk, Today + 5);
  EXPECT_GE(Dlg->height(), 130);
  EXPECT_LT(Dlg->height(), 200);
  ASSERT_TRUE(WaitAnswered(*Dlg));
  EXPECT_EQ(Msg(), TForm_ChkUpd::MsgNewer);
  EXPECT_TRUE(Dlg->Btn_Ok->isEnabled());
  EXPECT_EQ(QApplication::focusWidget(), Dlg->Btn_Ok);
  QTest::keyClick(Dlg->Btn_Ok, Qt::Key_Space);
  EXPECT_FALSE(Dlg->isVisible());
  EXPECT_EQ(Opened.Urls, std::vector<std::string>{"https://mossgather.org/n.html"});
  EXPECT_EQ(Cyc, 5);

  for (const char *V : {"0.12", "0.13"}) {
    Make();
    Srv.On(UpdFilePath, Published(V));
    Dlg->ChkUpd();
    ASSERT_TRUE(WaitAnswered(*Dlg));
    EXPECT_EQ(Msg(), TForm_ChkUpd::MsgNone) << V;
    EXPECT_FALSE(Dlg->Btn_Ok->isEnabled());
    QTest::keyClick(Dlg.get(), Qt::Key_Escape);
    EXPECT_FALSE(Dlg->isVisible());
  }
  EXPECT_EQ(Opened.Urls.size(), 1u);
}

TEST_F(UpdDialog, AManualCheckThatGetsNoAnswerSaysSoAndWhy) {
  Srv.On(UpdFilePath, TScriptHttpServer::Response("404 Not Found", "gone"));
  Dlg->ChkUpd();
  ASSERT_TRUE(WaitAnswered(*Dlg));
  std::string M = Msg();
  EXPECT_EQ(M.rfind(TForm_ChkUpd::MsgNone, 0), 0u) << M;
  EXPECT_NE(M.find("could not be read"), std::string::npos) << M;
  EXPECT_NE(M.find("404"), std::string::npos) << M;
  EXPECT_FALSE(Dlg->Btn_Ok->isEnabled());
  Dlg->Btn_Cancle->click();
  // No site at all: nothing goes out.
  Host.clear();
  Make();
  Dlg->ChkUpd();
  ASSERT_TRUE(WaitAnswered(*Dlg));
  EXPECT_NE(Msg().find("No update site is set"), std::string::npos) << Msg();
  Dlg->Btn_Cancle->click();
  EXPECT_EQ(Srv.Requests().size(), 1u);
}

TEST_F(UpdDialog, LeavingAManualCheckStopsItsDownloadAtOnce) {
  Srv.On(UpdFilePath, TScript{TScriptStep::Stall()});
  TimeoutSec = 600;
  Make();
  Dlg->ChkUpd();
  ASSERT_TRUE(Srv.WaitRequests(1, 20000)) << "the request never came";
  EXPECT_TRUE(Dlg->Checking());
  Dlg->Btn_Cancle->click();
  EXPECT_FALSE(Dlg->isVisible());
  EXPECT_FALSE(Dlg->Checking());
  ASSERT_TRUE(SpinUntil([&] { return TempFreed == 1; }, 20000)) << "the stopped download did not give its file back";
  EXPECT_FALSE(Dlg->isVisible());
}

TEST_F(UpdDialog, AStalledSiteNeverHoldsTheCaller) {
  Srv.On(UpdFilePath, TScript{TScriptStep::Stall()});
  TimeoutSec = 600;
  Make();
  Dlg->AutoChkUpd();  // returns at once: the download is on a worker
  ASSERT_TRUE(Srv.WaitRequests(1, 20000));
  bool Ran = false;
  QTimer::singleShot(0, [&] { Ran = true; });
  ASSERT_TRUE(SpinUntil([&] { return Ran; }, 20000));
  EXPECT_TRUE(Dlg->Checking()) << "the stalled download ended by itself";
  Dlg.reset();  // the program's end stops the download
}

TEST_F(UpdDialog, ASlowSiteCostsOneLogLineAfterTheTimeOut) {
  Srv.On(UpdFilePath, TScript{TScriptStep::Stall()});
  TimeoutSec = 1;
  Make();
  Dlg->AutoChkUpd();
  ASSERT_TRUE(SpinUntil([&] { return !Dlg->Checking(); }, 30000)) << "the time-out never came";
  QCoreApplication::processEvents();
  EXPECT_FALSE(Dlg->isVisible());
  std::string L = LogText();
  size_t At = L.find("[AutoChkUpd]: No update information from " + Srv.Url(UpdFilePath));
  ASSERT_NE(At, std::string::npos) << L;
  EXPECT_EQ(L.find("[AutoChkUpd]", At + 1), std::string::npos) << L;
  EXPECT_NE(L.find("[ Warn]: [AutoChkUpd]"), std::string::npos) << L;
}

TEST_F(UpdDialog, OverHttpsTheTestCaIsTrusted) {
  TTempDir Root;
  Dir_Force(Root.File("upd"));
  WriteFile(Root.File("upd/updpgm.txt"), "0.14\r\nhttps://mossgather.org/en/v014.html\r\n");
  TNginxServer Nginx(Root.Path());
  if (!Nginx.Running()) GTEST_SKIP() << Nginx.Error();
  Host = Nginx.HttpsUrl("");
  CaFile = Nginx.CaFile();
  Make();
  Dlg->ChkUpd();
  ASSERT_TRUE(WaitAnswered(*Dlg));
  EXPECT_EQ(Msg(), TForm_ChkUpd::MsgNewer);
  Dlg->Btn_Cancle->click();
}

// Not a check: with MOSSGATHER_SHOTS set to a folder, leaves pictures of both
// forms of the dialog there (run under Xvfb for the documentation).
TEST_F(UpdDialog, ScreenshotsOfBothForms) {
  const char *Shots = std::getenv("MOSSGATHER_SHOTS");
  if (!Shots) GTEST_SKIP() << "MOSSGATHER_SHOTS is not set";
  Srv.On(UpdFilePath, Published("0.14"));
  Dlg->AutoChkUpd();
  ASSERT_TRUE(WaitShown());
  SpinUntil([] { return false; }, 300);
  Dlg->grab().save(QString::fromLatin1(Shots) + QStringLiteral("/update-auto.png"));
  Dlg->Btn_Cancle->click();
  Srv.On(UpdFilePath, Published("0.12"));
  Dlg->ChkUpd();
  ASSERT_TRUE(WaitAnswered(*Dlg));
  SpinUntil([] { return false; }, 300);
  Dlg->grab().save(QString::fromLatin1(Shots) + QStringLiteral("/update-manual.png"));
  Dlg->Btn_Cancle->click();
}

int main(int argc, char **argv) { return RunTestsWithEventLoop(argc, argv, true); }

#include "test_UpdDialog.moc"
