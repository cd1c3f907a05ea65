// The options dialog through its controls (offscreen), joined to the
// settings record as the program joins it: what each showing loads, what
// Save stores and Cancel does not, and what the stored values change in the
// rename checks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <memory>

#include "control/uOptUpdUi.h"
#include "control/uParmFile.h"
#include "net/uDownRunner.h"
#include "platform/TIniFile.h"
#include "pub/Unit_Pub.h"
#include "pub/uGlobalParm.h"
#include "pub/uRunVars.h"
#include "support/TQtSupport.h"
#include "support/TestSupport.h"
#include "ui/uForm_Option.h"
#include "ui/uForm_Rename.h"

namespace {

class OptionsDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    GParm = TGlobalParm();
    SysState = 1;
    Dlg = std::make_unique<TForm_Option>();
    Dlg->SetFields(OptFieldsOf(GParm));
  }
  void TearDown() override {
    Dlg.reset();
    GParm = TGlobalParm();
  }
  void Open() {
    Dlg->show();
    ASSERT_TRUE(Dlg->isVisible());
  }
  // Runs Step on the next modal window to come up; one nobody answers is
  // closed after a long while so that a fault fails the test, not hangs it.
  void WhenModal(std::function<void(QWidget *)> Step) {
    auto *Poll = new QTimer(Dlg.get());
    Poll->setInterval(20);
    QObject::connect(Poll, &QTimer::timeout, [Poll, Step] {
      QWidget *M = QApplication::activeModalWidget();
      if (!M) return;
      Poll->stop();
      Poll->deleteLater();
      Step(M);
    });
    Poll->start();
    QTimer::singleShot(30000, Dlg.get(), [] {
      if (QWidget *M = QApplication::activeModalWidget()) {
        ADD_FAILURE() << "a modal window was left open: " << M->windowTitle().toStdString();
        M->close();
      }
    });
  }

  TTempDir D;
  std::unique_ptr<TForm_Option> Dlg;
};

// The value a control shows, as text, for the table-driven checks.
std::string Shown(QWidget *C) {
  if (auto *G = qobject_cast<TRadioGroup *>(C)) return std::to_string(G->ItemIndex());
  if (auto *K = qobject_cast<QCheckBox *>(C)) return K->isChecked() ? "1" : "0";
  if (auto *E = qobject_cast<QLineEdit *>(C)) return E->text().toStdString();
  if (auto *S = qobject_cast<QSpinBox *>(C)) return std::to_string(S->value());
  return "?";
}

}  // namespace

TEST_F(OptionsDialog, HasItsTabsControlsAndCaptions) {
  EXPECT_EQ(Dlg->objectName(), "Form_Option");
  EXPECT_EQ(Dlg->windowTitle(), "Options");
  EXPECT_FALSE(Dlg->isModal());
  EXPECT_TRUE(Dlg->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_GE(Dlg->width(), 409);
  EXPECT_GE(Dlg->height(), 411);
  QStringList Tabs;
  for (int I = 0; I < Dlg->PgCtrl_Opt->count(); ++I) Tabs << Dlg->PgCtrl_Opt->tabText(I);
  EXPECT_EQ(Tabs, (QStringList{"General ", "Text", "Image", "Flash", "Advanced"}));
  struct {
    TRadioGroup *G;
    const char *Title;
    QStringList Items;
  } Groups[] = {
      {Dlg->RGp_AtRenam, " When a file exists or its filename is invalid ", {"Prompt me", "Auto rename"}},
      {Dlg->RGp_Txt_Fmt, " Source data format ", {"Txt  Format", "Html Format"}},
      {Dlg->RGp_Img_fltSiz, " Save image size (Filter) ", {"All", "Large", "Medium", "Small"}},
      {Dlg->RGp_Img_fltTyp, " Save picture type (Filter) ", {"ALL", "JPG", "GIF", "PNG"}},
      {Dlg->RGp_Img_Sort_Siz, " Sort by size ", {"Ascending", "Descending"}},
      {Dlg->RGp_Img_Sel, " Select by default ", {"All", "Biggest", "None"}},
      {Dlg->RGp_Fls_Sort, " Sort by size ", {"Ascending", "Descending"}},
      {Dlg->RGp_Fls_Sel, " Select by default ", {"All", "Biggest in size", "None"}},
  };
  for (const auto &G : Groups) {
    EXPECT_EQ(G.G->title(), G.Title);
    QStringList Items;
    for (int I = 0; I < G.G->Count(); ++I) Items << G.G->Button(I)->text();
    EXPECT_EQ(Items, G.Items) << G.Title;
  }
  // Four columns: every choice of the filters on one row.
  EXPECT_EQ(Dlg->RGp_Img_fltSiz->Button(0)->y(), Dlg->RGp_Img_fltSiz->Button(3)->y());
  struct {
    QCheckBox *C;
    const char *Caption;
  } Checks[] = {{Dlg->ChkBox_Cmplt_Msg, "Show message when a job completes successfully"},
                {Dlg->ChkBox_SavImg, "Save images as attached files"},
                {Dlg->ChkBox_Rmv_Scrp, "Remove scripts"},
                {Dlg->ChkBox_With_URL, "With source URL"},
                {Dlg->ChkBox_With_SavTime, "With saving time"},
                {Dlg->ChkBox_Img_IgnTiny, "Ignore tiny image (10x10)"},
                {Dlg->ChkBox_Img_IgnBar, "Ignore vertical and horizontal lines"}};
  for (const auto &C : Checks) EXPECT_EQ(C.C->text(), C.Caption);
  QStringList GroupTitles;
  for (QGroupBox *G : Dlg->findChildren<QGroupBox *>())
    if (!qobject_cast<TRadioGroup *>(G)) GroupTitles << G->title();
  for (const char *T : {" Tip message ", " File default directory ", " Attached files (html format available) ",
                        " Additional infomation ", " Update check ", " Pictures "})
    EXPECT_TRUE(GroupTitles.contains(QString::fromLatin1(T))) << T;
  for (QPushButton *B : {Dlg->Btn_Path_Dflt, Dlg->Btn_Path_Txt, Dlg->Btn_Path_Img, Dlg->Btn_Path_Fls})
    EXPECT_EQ(B->text(), ". . .");
  QStringList Labels;
  for (QLabel *L : Dlg->findChildren<QLabel *>()) Labels << L->text();
  for (const char *L : {"Default", "Text", "Image", "Flash"}) EXPECT_TRUE(Labels.contains(QString::fromLatin1(L))) << L;
  EXPECT_EQ(Dlg->Btn_Save->text(), "Save");
  EXPECT_EQ(Dlg->Btn_Cancel->text(), "Cancel");
}

TEST_F(OptionsDialog, EveryControlStandsForOneSettingAndEverySettingHasOne) {
  std::vector<std::string> Keys = Dlg->Keys();
  TOptFields F = OptFieldsOf(GParm);
  EXPECT_EQ(Keys.size(), F.size());
  for (const std::string &K : Keys) {
    EXPECT_EQ(F.count(K), 1u) << K << " has no setting";
    EXPECT_EQ(std::count(Keys.begin(), Keys.end(), K), 1) << K << " has two controls";
  }
}

TEST_F(OptionsDialog, EachShowingLoadsEverySettingWithTheFirstTabInFrontAndNoFocus) {
  GParm.bFlAtRenam = true;
  GParm.bMsg_Cmplt = false;
  GParm.sDir_Def = "/srv/save";
  GParm.sDir_Def_Txt = "/srv/save/text/";
  GParm.sDir_Def_Img = "relative/images";
  GParm.sDir_Def_Fls = "";
  GParm.SrcTextFmt = 1;
  GParm.bTxt_Atch_Image = true;
  GParm.bTxt_Rmv_Scrp = true;
  GParm.bTxt_ExItem_Url = true;
  GParm.bTxt_ExItem_Time = false;
  GParm.Img_Flt_Siz = 2;
  GParm.Img_Flt_Typ = 3;
  GParm.bImg_Sort_Siz_Des = false;
  GParm.Img_Sel_Kind = 1;
  GParm.bImg_Flt_IgnTiny = false;
  GParm.bImg_Flt_IgnBar = true;
  GParm.bFls_Sort_Des = false;
  GParm.Fls_Sel_Kind = 2;
  GParm.iChkCyc = 21;
  GParm.sUpdHost = "https://updates.example.org";
  GParm.bImg_LazyScroll = false;
  GParm.bTrayIcon = true;
  GParm.iDown_PerHost = 2;
  GParm.iDown_PerJob = 9;
  Dlg->PgCtrl_Opt->setCurrentIndex(3);
  Open();
  EXPECT_EQ(Dlg->PgCtrl_Opt->currentIndex(), 0);
  QWidget *Focus = QApplication::focusWidget();
  EXPECT_TRUE(Focus == nullptr || Focus == Dlg.get()) << Focus->objectName().toStdString();
  struct {
    QWidget *C;
    std::string Want;
  } Cases[] = {
      {Dlg->RGp_AtRenam, "1"},
      {Dlg->ChkBox_Cmplt_Msg, "0"},
      {Dlg->Ed_Path_Dflt, "/srv/save"},
      {Dlg->Ed_Path_Txt, "/srv/save/text/"},
      {Dlg->Ed_Path_Img, "relative/images"},
      {Dlg->Ed_Path_Fls, ""},
      {Dlg->RGp_Txt_Fmt, "1"},
      {Dlg->ChkBox_SavImg, "1"},
      {Dlg->ChkBox_Rmv_Scrp, "1"},
      {Dlg->ChkBox_With_URL, "1"},
      {Dlg->ChkBox_With_SavTime, "0"},
      {Dlg->RGp_Img_fltSiz, "2"},
      {Dlg->RGp_Img_fltTyp, "3"},
      {Dlg->RGp_Img_Sort_Siz, "0"},
      {Dlg->RGp_Img_Sel, "1"},
      {Dlg->ChkBox_Img_IgnTiny, "0"},
      {Dlg->ChkBox_Img_IgnBar, "1"},
      {Dlg->RGp_Fls_Sort, "0"},
      {Dlg->RGp_Fls_Sel, "2"},
      {Dlg->SpEd_ChkCyc, "21"},
      {Dlg->Ed_UpdHost, "https://updates.example.org"},
      {Dlg->ChkBox_LazyScroll, "0"},
      {Dlg->ChkBox_Tray, "1"},
      {Dlg->SpEd_PerHost, "2"},
      {Dlg->SpEd_PerJob, "9"},
  };
  for (const auto &C : Cases) EXPECT_EQ(Shown(C.C), C.Want) << C.C->objectName().toStdString();
  // A change made elsewhere while the window is closed shows at the next showing.
  Dlg->Btn_Cancel->click();
  GParm.bMsg_Cmplt = true;
  GParm.sDir_Def = "/elsewhere";
  Open();
  EXPECT_TRUE(Dlg->ChkBox_Cmplt_Msg->isChecked());
  EXPECT_EQ(Dlg->Ed_Path_Dflt->text(), "/elsewhere");
  Dlg->close();
}

TEST_F(OptionsDialog, SaveStoresEveryControlAndCloses) {
  Open();
  Dlg->RGp_AtRenam->Button(1)->click();
  Dlg->ChkBox_Cmplt_Msg->setChecked(false);
  Dlg->Ed_Path_Dflt->setText("/data/Save");
  Dlg->Ed_Path_Txt->setText("/data/Save/Text");
  Dlg->Ed_Path_Img->setText("/data/Save/Image");
  Dlg->Ed_Path_Fls->setText("/data/Save/Flash");
  Dlg->RGp_Txt_Fmt->Button(1)->click();
  Dlg->ChkBox_SavImg->setChecked(true);
  Dlg->ChkBox_Rmv_Scrp->setChecked(true);
  Dlg->ChkBox_With_URL->setChecked(true);
  Dlg->ChkBox_With_SavTime->setChecked(true);
  Dlg->RGp_Img_fltSiz->Button(3)->click();
  Dlg->RGp_Img_fltTyp->Button(2)->click();
  Dlg->RGp_Img_Sort_Siz->Button(0)->click();
  Dlg->RGp_Img_Sel->Button(2)->click();
  Dlg->ChkBox_Img_IgnTiny->setChecked(false);
  Dlg->ChkBox_Img_IgnBar->setChecked(false);
  Dlg->RGp_Fls_Sort->Button(0)->click();
  Dlg->RGp_Fls_Sel->Button(1)->click();
  Dlg->SpEd_ChkCyc->setValue(3);
  Dlg->Ed_UpdHost->setText("http://127.0.0.1:8080");
  Dlg->ChkBox_LazyScroll->setChecked(!GParm.bImg_LazyScroll);
  const bool Lazy = !GParm.bImg_LazyScroll;
  // The two boxes of the tab are two settings: each keeps its own.
  Dlg->ChkBox_Tray->setChecked(!Lazy);
  const bool Tray = !Lazy;
  Dlg->SpEd_PerHost->setValue(3);
  Dlg->SpEd_PerJob->setValue(12);
  Dlg->Btn_Save->click();
  EXPECT_FALSE(Dlg->isVisible());
  const TGlobalParm &P = GParm;
  EXPECT_TRUE(P.bFlAtRenam);
  EXPECT_FALSE(P.bMsg_Cmplt);
  EXPECT_EQ(P.sDir_Def, "/data/Save");
  EXPECT_EQ(P.sDir_Def_Txt, "/data/Save/Text");
  EXPECT_EQ(P.sDir_Def_Img, "/data/Save/Image");
  EXPECT_EQ(P.sDir_Def_Fls, "/data/Save/Flash");
  EXPECT_EQ(P.SrcTextFmt, 1);
  EXPECT_TRUE(P.bTxt_Atch_Image && P.bTxt_Rmv_Scrp && P.bTxt_ExItem_Url && P.bTxt_ExItem_Time);
  EXPECT_EQ(P.Img_Flt_Siz, 3);
  EXPECT_EQ(P.Img_Flt_Typ, 2);
  EXPECT_FALSE(P.bImg_Sort_Siz_Des);
  EXPECT_EQ(P.Img_Sel_Kind, 2);
  EXPECT_FALSE(P.bImg_Flt_IgnTiny);
  EXPECT_FALSE(P.bImg_Flt_IgnBar);
  EXPECT_FALSE(P.bFls_Sort_Des);
  EXPECT_EQ(P.Fls_Sel_Kind, 1);
  EXPECT_EQ(P.iChkCyc, 3);
  EXPECT_EQ(P.sUpdHost, "http://127.0.0.1:8080");
  EXPECT_EQ(P.bImg_LazyScroll, Lazy);
  EXPECT_EQ(P.bTrayIcon, Tray);
  EXPECT_EQ(P.iDown_PerHost, 3);
  EXPECT_EQ(P.iDown_PerJob, 12);
  // Fields the dialog does not show are left alone.
  EXPECT_EQ(P.iTot_Job_Cnt, 0);
  EXPECT_TRUE(P.bVw_JDtl_Vis);
}

TEST_F(OptionsDialog, CancelEscAndClosingKeepTheStoredValues) {
  GParm.sDir_Def_Txt = "/kept/text";
  GParm.Img_Flt_Typ = 1;
  for (const char *Way : {"Cancel", "Esc", "close"}) {
    SCOPED_TRACE(Way);
    Open();
    Dlg->Ed_Path_Txt->setText("/changed");
    Dlg->RGp_Img_fltTyp->Button(3)->click();
    Dlg->ChkBox_Cmplt_Msg->setChecked(false);
    std::string W = Way;
    if (W == "Cancel")
      Dlg->Btn_Cancel->click();
    else if (W == "Esc")
      QTest::keyClick(Dlg->Ed_Path_Txt, Qt::Key_Escape);
    else
      Dlg->close();
    EXPECT_FALSE(Dlg->isVisible());
    EXPECT_EQ(GParm.sDir_Def_Txt, "/kept/text");
    EXPECT_EQ(GParm.Img_Flt_Typ, 1);
    EXPECT_TRUE(GParm.bMsg_Cmplt);
    // The next showing shows the stored values, not what was left in the controls.
    Open();
    EXPECT_EQ(Dlg->Ed_Path_Txt->text(), "/kept/text");
    EXPECT_EQ(Dlg->RGp_Img_fltTyp->ItemIndex(), 1);
    EXPECT_TRUE(Dlg->ChkBox_Cmplt_Msg->isChecked());
    Dlg->Btn_Cancel->click();
  }
}

TEST_F(OptionsDialog, FoldersAreStoredAsTypedAndNeverMade) {
  const std::string Missing = D.File("no such/folder/");
  Open();
  Dlg->Ed_Path_Dflt->setText(QString::fromStdString(Missing));
  Dlg->Ed_Path_Img->setText(QStringLiteral("  pictures  "));
  Dlg->Ed_Path_Fls->setText(QString());
  QTest::keyClick(Dlg->Ed_Path_Fls, Qt::Key_Return);  // Enter saves
  EXPECT_FALSE(Dlg->isVisible());
  EXPECT_EQ(GParm.sDir_Def, Missing);
  EXPECT_EQ(GParm.sDir_Def_Img, "  pictures  ");
  EXPECT_EQ(GParm.sDir_Def_Fls, "");
  EXPECT_FALSE(Dir_Exists(Missing));
  EXPECT_FALSE(Dir_Exists(D.File("no such")));
}

TEST_F(OptionsDialog, AStoredNumberThatNamesNoChoiceIsKeptUntilAChoiceIsMade) {
  // Values a hand-edited cfg.ini can hold: a byte no choice stands for, a
  // cycle beyond the box.
  GParm.Img_Flt_Typ = 200;
  GParm.Fls_Sel_Kind = 3;
  GParm.iChkCyc = 20000;
  Open();
  EXPECT_EQ(Dlg->RGp_Img_fltTyp->ItemIndex(), -1);
  EXPECT_EQ(Dlg->RGp_Fls_Sel->ItemIndex(), -1);
  Dlg->Btn_Save->click();
  EXPECT_EQ(GParm.Img_Flt_Typ, 200);
  EXPECT_EQ(GParm.Fls_Sel_Kind, 3);
  EXPECT_EQ(GParm.iChkCyc, 20000);
  Open();
  Dlg->RGp_Img_fltTyp->Button(2)->click();
  Dlg->SpEd_ChkCyc->setValue(30);
  Dlg->Btn_Save->click();
  EXPECT_EQ(GParm.Img_Flt_Typ, 2);
  EXPECT_EQ(GParm.Fls_Sel_Kind, 3);
  EXPECT_EQ(GParm.iChkCyc, 30);
  GParm.iChkCyc = -4;
  Open();
  EXPECT_EQ(Dlg->SpEd_ChkCyc->text(), "never");
  Dlg->Btn_Save->click();
  EXPECT_EQ(GParm.iChkCyc, -4);
}

TEST_F(OptionsDialog, TheFolderButtonsStartAtTheTypedFolderAndTakeTheChosenOne) {
  Dir_Force(D.File("start"));
  Dir_Force(D.File("chosen"));
  Open();
  Dlg->Ed_Path_Img->setText(QString::fromStdString(D.File("start")));
  QString Title, StartedAt;
  WhenModal([&](QWidget *M) {
    auto *F = qobject_cast<QFileDialog *>(M);
    ASSERT_NE(F, nullptr) << M->metaObject()->className();
    Title = F->windowTitle();
    StartedAt = F->directory().absolutePath();
    F->setDirectory(QString::fromStdString(D.File("chosen")));
    QMetaObject::invokeMethod(F, "accept");
  });
  Dlg->Btn_Path_Img->click();
  EXPECT_EQ(Title, TForm_Option::SelDirTitle);
  EXPECT_EQ(StartedAt.toStdString() + "/", D.File("start/"));
  EXPECT_EQ(Dlg->Ed_Path_Img->text().toStdString(), D.File("chosen"));
  // Cancelled, the edit keeps what it had.
  WhenModal([](QWidget *M) { qobject_cast<QDialog *>(M)->reject(); });
  Dlg->Btn_Path_Img->click();
  EXPECT_EQ(Dlg->Ed_Path_Img->text().toStdString(), D.File("chosen"));
  EXPECT_TRUE(Dlg->isVisible());
  Dlg->Btn_Save->click();
  EXPECT_EQ(GParm.sDir_Def_Img, D.File("chosen"));
}

TEST_F(OptionsDialog, AutoRenameRenamesWithoutAQuestionAndPromptMeBringsItBack) {
  TForm_Renam Renam;
  int Asked = 0;
  // Counts the questions while it lives, answering each with Cancel.
  auto CountQuestions = [&] {
    auto Poll = std::make_unique<QTimer>();
    Poll->setInterval(20);
    QObject::connect(Poll.get(), &QTimer::timeout, [&Renam, &Asked] {
      if (!Renam.isVisible()) return;
      ++Asked;
      Renam.Btn_Cancel->click();
    });
    Poll->start();
    return Poll;
  };
  WriteFile(D.File("page.html"), "old");
  Open();
  Dlg->RGp_AtRenam->Button(1)->click();  // "Auto rename"
  Dlg->Btn_Save->click();
  std::string P = D.File("page.html");
  auto Counting = CountQuestions();
  EXPECT_TRUE(Renam.ChkFile(P));
  EXPECT_EQ(P, D.File("page[1].html"));
  EXPECT_EQ(Asked, 0);
  Counting.reset();

  // "Always auto rename" in the question sets the same setting; "Prompt me"
  // in the options takes it back.
  GParm.bFlAtRenam = false;
  WhenModal([&Renam](QWidget *) {
    Renam.CBox_AtRenam->setChecked(true);
    Renam.Btn_AtRenam->click();
  });
  P = D.File("page.html");
  EXPECT_TRUE(Renam.ChkFile(P));
  EXPECT_TRUE(GParm.bFlAtRenam);
  Open();
  EXPECT_EQ(Dlg->RGp_AtRenam->ItemIndex(), 1);
  Dlg->RGp_AtRenam->Button(0)->click();  // "Prompt me"
  Dlg->Btn_Save->click();
  EXPECT_FALSE(GParm.bFlAtRenam);
  Counting = CountQuestions();
  P = D.File("page.html");
  EXPECT_FALSE(Renam.ChkFile(P));  // asked, and cancelled
  EXPECT_EQ(Asked, 1);
  EXPECT_EQ(P, D.File("page.html"));
}

// The limits of downloads at once: the boxes take no more than the worker
// does, and what Save stores goes through cfg.ini and comes back.
TEST_F(OptionsDialog, DownloadLimitsStayWithinTheWorkersBoundsAndReachTheFile) {
  struct {
    QSpinBox *Box;
    int Max;
  } Boxes[] = {{Dlg->SpEd_PerHost, TDownLimits::MaxPerHost}, {Dlg->SpEd_PerJob, TDownLimits::MaxPerJob}};
  for (const auto &B : Boxes) {
    SCOPED_TRACE(B.Box->objectName().toStdString());
    EXPECT_EQ(B.Box->minimum(), 1);
    EXPECT_EQ(B.Box->maximum(), B.Max);
  }
  // A hand-edited file's number beyond the bounds shows as the nearest one.
  GParm.iDown_PerHost = 500;
  GParm.iDown_PerJob = 0;
  Open();
  EXPECT_EQ(Dlg->SpEd_PerHost->value(), TDownLimits::MaxPerHost);
  EXPECT_EQ(Dlg->SpEd_PerJob->value(), 1);
  Dlg->SpEd_PerHost->setValue(2);
  Dlg->SpEd_PerJob->setValue(20);
  Dlg->Btn_Save->click();

  TIniFile Ini(D.File("cfg.ini"));
  SaveGParm(Ini, GParm, TLiveLayout{});
  const std::string Text = ReadFile(D.File("cfg.ini"));
  EXPECT_NE(Text.find("iDown_PerHost=2\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("iDown_PerJob=20\n"), std::string::npos) << Text;
  TGlobalParm Back;
  LoadGParm(TIniFile(D.File("cfg.ini")), Back);
  EXPECT_EQ(Back.iDown_PerHost, 2);
  EXPECT_EQ(Back.iDown_PerJob, 20);
  GParm = Back;
  Open();
  EXPECT_EQ(Dlg->SpEd_PerHost->value(), 2);
  EXPECT_EQ(Dlg->SpEd_PerJob->value(), 20);
  Dlg->close();
}

// Not a check: with MOSSGATHER_SHOTS set to a folder, leaves a picture of
// each tab there (run under Xvfb for the documentation).
TEST_F(OptionsDialog, ScreenshotsOfEachTab) {
  const char *Shots = std::getenv("MOSSGATHER_SHOTS");
  if (!Shots) GTEST_SKIP() << "MOSSGATHER_SHOTS is not set";
  GParm.sDir_Def = "/home/ann/Save";
  GParm.sDir_Def_Txt = "/home/ann/Save/Text";
  GParm.sDir_Def_Img = "/home/ann/Save/Image";
  GParm.sDir_Def_Fls = "/home/ann/Save/Flash";
  GParm.sUpdHost = "https://mossgather.org";
  Open();
  const char *Names[] = {"options-general.png", "options-text.png", "options-image.png", "options-flash.png",
                         "options-advanced.png"};
  for (int I = 0; I < Dlg->PgCtrl_Opt->count(); ++I) {
    Dlg->PgCtrl_Opt->setCurrentIndex(I);
    SpinUntil([] { return false; }, 300);
    Dlg->grab().save(QString::fromLatin1(Shots) + QStringLiteral("/") + QString::fromLatin1(Names[I]));
  }
  Dlg->Btn_Cancel->click();
}

int main(int argc, char **argv) { return RunTestsWithEventLoop(argc, argv, true); }
