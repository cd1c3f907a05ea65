#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <cstdlib>

#include "control/Unit_MPC.h"
#include "monitor/MonitorFixture.h"
#include "pub/Unit_Pub.h"
#include "pub/uGlobalParm.h"
#include "support/TQtSupport.h"
#include "ui/UForm_About.h"
#include "ui/uForm_main.h"
#include "ui/uJobMonitor.h"

namespace {

// The program started on settings written beforehand.
struct MainWindowTest : MonitorFixture {
  void SetUp() override {
    ::setenv("MOSSGATHER_PRGDIR", Prg.Path().c_str(), 1);
    MPC.ExitUnattended = true;
  }
};

}  // namespace

TEST_F(MainWindowTest, PagesSwitchByNumberAndOthersAreIgnored) {
  Open();
  EXPECT_EQ(Form->Notebook->currentIndex(), 0);
  EXPECT_TRUE(Form->MItm_VwMon->isChecked());
  Form->SetPage(1);
  EXPECT_EQ(Form->Notebook->currentIndex(), 1);
  EXPECT_TRUE(Form->MItm_VwLog->isChecked());
  EXPECT_TRUE(Form->SBtn_Log->isChecked());
  EXPECT_FALSE(Form->SBtn_Mon->isChecked());
  Form->SetPage(2);
  Form->SetPage(-1);
  EXPECT_EQ(Form->Notebook->currentIndex(), 1);
  Form->MItm_VwMon->trigger();
  EXPECT_EQ(Form->Notebook->currentIndex(), 0);
  EXPECT_EQ(Log().find("Fail to set Notebook.PageIndex"), std::string::npos);
}

TEST_F(MainWindowTest, SaveFoldersFallBackToTheDefaultAndTellWhenItCannotBeMade) {
  Open();
  TOpenedFiles Opened;
  Dir_Force(Prg.File("text"));
  GParm.sDir_Def_Txt = Prg.File("text");
  GParm.sDir_Def_Img = Prg.File("no-such-image-folder");
  GParm.sDir_Def = Prg.File("save");
  Form->SBtn_Txt->click();
  Form->SBtn_Img->click();  // missing: the default folder is made, one level only
  EXPECT_EQ(Opened.Paths, (std::vector<std::string>{Prg.File("text"), Prg.File("save")}));
  EXPECT_TRUE(Dir_Exists(Prg.File("save")));
  GParm.sDir_Def = Prg.File("a/b");
  QString Seen;
  AnswerNextBox(QStringLiteral("OK"), &Seen);
  Form->SBtn_Fls->click();
  EXPECT_EQ(Seen.toStdString(), "Can not create dir:\r\n" + Prg.File("a/b"));
  EXPECT_EQ(Opened.Paths.size(), 2u);
}

TEST_F(MainWindowTest, TheTimerCountsMinutesAndReleasesTheZOrderHold) {
  Open();
  Form->SetHoldZOrder(true);
  Form->TimerTick();
  EXPECT_FALSE(Form->HoldZOrder());
  for (int I = 1; I < 8; ++I) Form->TimerTick();  // 64 s
  EXPECT_EQ(Form->RunMinutes(), 1);
  EXPECT_EQ(Form->SttBar_Time->text(), QStringLiteral(" 1 M"));
}

TEST_F(MainWindowTest, TheLayoutComesBackFromTheSettings) {
  WriteFile(Prg.File("cfg.ini"),
            "[Global]\niVw_MFrm_L=40\niVw_MFrm_T=30\niVw_MFrm_W=700\niVw_MFrm_H=560\nbVw_JDtl_Vis=1\niVw_JMon_H=150\n");
  Open();
  SpinUntil([] { return false; }, 50);
  EXPECT_EQ(Form->size(), QSize(700, 560));
  EXPECT_EQ(Form->LstVw_Mntr->height(), 150);
  EXPECT_TRUE(Form->Pn_JobDtl->isVisible());
  delete Form;  // the exit writes the list's height back
  Form = nullptr;
  EXPECT_NE(ReadFile(Prg.File("cfg.ini")).find("iVw_JMon_H=150"), std::string::npos);

  WriteFile(Prg.File("cfg.ini"), "[Global]\niVw_MFrm_W=300\niVw_MFrm_H=200\nbVw_JDtl_Vis=0\n");
  Open();
  EXPECT_EQ(Form->size(), QSize(580, 480)) << "the minimum size applies";
  EXPECT_FALSE(Form->Pn_JobDtl->isVisible());
  EXPECT_FALSE(Form->MItm_RefreshDtl->isEnabled());
}

TEST_F(MainWindowTest, TheAboutBoxShowsTheVersionAndGoesWhenClosed) {
  WriteFile(Prg.File("about.png"), ReadFile(MOSS_SOURCE_DIR "/resources/about.png"));
  Open();
  QString Title, Version;
  bool Banner = false;
  auto *Poll = new QTimer;
  Poll->setInterval(20);
  QObject::connect(Poll, &QTimer::timeout, [&, Poll] {
    auto *A = qobject_cast<TFrm_About *>(QApplication::activeModalWidget());
    if (!A) return;
    Poll->stop();
    Poll->deleteLater();
    Title = A->windowTitle();
    Version = A->Lbl_Version->text();
    Banner = !A->Img_Banner->pixmap().isNull();
    A->Btn_OK->click();
  });
  Poll->start();
  Form->MItm_About->trigger();
  EXPECT_EQ(Title, QStringLiteral("About Mossgather"));
  EXPECT_EQ(Version, QStringLiteral("0.12"));
  EXPECT_TRUE(Banner);
  SpinUntil([&] { return Form->findChild<TFrm_About *>() == nullptr; }, 2000);
  EXPECT_EQ(Form->findChild<TFrm_About *>(), nullptr);
}
