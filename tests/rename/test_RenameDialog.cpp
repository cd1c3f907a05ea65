// The rename window driven through its controls (offscreen): what it shows,
// which names it refuses, and what each way out returns.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>

#include "pub/Unit_Pub.h"
#include "pub/uGlobalParm.h"
#include "pub/uRunVars.h"
#include "support/TQtSupport.h"
#include "support/TestSupport.h"
#include "ui/uForm_Rename.h"

namespace {

class RenameDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    GParm = TGlobalParm();
    SysState = 1;  // message boxes show only while the program is ready
    Dlg = std::make_unique<TForm_Renam>();
  }
  void TearDown() override {
    Dlg.reset();
    GParm = TGlobalParm();
  }

  // Runs Step once the window is up; a window nobody answers is cancelled
  // after a long while so a fault fails the test instead of hanging it.
  void WhenShown(std::function<void()> Step) {
    Ran = false;
    auto *Poll = new QTimer(Dlg.get());
    Poll->setInterval(20);
    QObject::connect(Poll, &QTimer::timeout, [this, Poll, Step] {
      if (!Dlg->isVisible() || QApplication::activeModalWidget() != Dlg.get()) return;
      Poll->stop();
      Ran = true;
      Step();
    });
    Poll->start();
    auto *Guard = new QTimer(Dlg.get());
    Guard->setSingleShot(true);
    QObject::connect(Guard, &QTimer::timeout, [this] {
      if (Dlg->isVisible()) {
        ADD_FAILURE() << "the rename window was left open";
        Dlg->reject();
      }
    });
    Guard->start(30000);
  }

  // Presses OK on a typed name that must be refused; returns the warning.
  QString Refused(const QString &Name) {
    QString Seen;
    Dlg->Edit_NewFn->setText(Name);
    AnswerNextBox(QStringLiteral("OK"), &Seen);
    Dlg->Btn_OK->click();
    EXPECT_TRUE(Dlg->isVisible()) << Name.toStdString();
    return Seen;
  }

  TTempDir D;
  std::unique_ptr<TForm_Renam> Dlg;
  bool Ran = false;
};

}  // namespace

TEST_F(RenameDialog, HasItsControlsAndSize) {
  EXPECT_EQ(Dlg->objectName(), "Form_Renam");
  for (const char *N :
       {"Lbl_Dir", "Edit_SrcFn", "Lbl_EFN_A", "Edit_NewFn", "Lbl_EFN_B", "CBox_AtRenam", "Btn_AtRenam", "Btn_OK", "Btn_Cancel"})
    EXPECT_NE(Dlg->findChild<QWidget *>(QString::fromLatin1(N)), nullptr) << N;
  EXPECT_EQ(Dlg->size(), QSize(403, 188));
  EXPECT_EQ(Dlg->CBox_AtRenam->text(), "Always auto rename");
  EXPECT_EQ(Dlg->Btn_AtRenam->text(), "&Auto rename");
  EXPECT_EQ(Dlg->Btn_OK->text(), "&OK");
  EXPECT_EQ(Dlg->Btn_Cancel->text(), "&Cancel");
  EXPECT_TRUE(Dlg->Edit_SrcFn->isReadOnly());
  EXPECT_EQ(Dlg->Edit_SrcFn->palette().color(QPalette::Base), QColor(192, 192, 192));
}

TEST_F(RenameDialog, ShowsTheTargetAndACaptionPerCheck) {
  WriteFile(D.File("photo.jpg"), "x");
  struct {
    std::string Name;
    bool List;
    QString Caption;
  } Cases[] = {
      {"photo.jpg", false, "Rename dialog EXISTENT file"},
      {"ph?to.jpg", false, "Rename dialog INVALID file name"},
      {"photo.jpg", true, "Rename dialog Checking save file list"},
      {"ph?to.jpg", true, "Rename dialog Checking save file list"},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Caption.toStdString() + " " + C.Name);
    QString Title, Dir, Src, ExtA, ExtB, New;
    bool Checked = true, NewHasFocus = false;
    Dlg->CBox_AtRenam->setChecked(true);  // left over from an earlier use
    WhenShown([&] {
      Title = Dlg->windowTitle();
      Dir = Dlg->Lbl_Dir->toolTip();
      Src = Dlg->Edit_SrcFn->text();
      New = Dlg->Edit_NewFn->text();
      ExtA = Dlg->Lbl_EFN_A->text();
      ExtB = Dlg->Lbl_EFN_B->text();
      Checked = Dlg->CBox_AtRenam->isChecked();
      NewHasFocus = Dlg->focusWidget() == Dlg->Edit_NewFn;
      Dlg->Btn_Cancel->click();
    });
    std::string P = D.File(C.Name);
    bool R;
    if (C.List) {
      std::vector<std::string> L = {P};
      R = Dlg->ChkFList(L, false);
    } else {
      R = Dlg->ChkFile(P);
    }
    ASSERT_TRUE(Ran);
    EXPECT_FALSE(R);
    EXPECT_EQ(Title, C.Caption);
    EXPECT_EQ(Dir.toStdString(), D.Path());
    EXPECT_EQ(Src.toStdString(), Fn_NameNoExt(C.Name));
    EXPECT_EQ(New, Src);
    EXPECT_EQ(ExtA, ".jpg");
    EXPECT_EQ(ExtB, ".jpg");
    EXPECT_FALSE(Checked);
    EXPECT_TRUE(NewHasFocus);
    EXPECT_EQ(P, D.File(C.Name));
  }
}

TEST_F(RenameDialog, EachWarningKeepsTheWindowOpenAndOkReturnsTheNewPath) {
  WriteFile(D.File("a.jpg"), "x");
  WriteFile(D.File("b.jpg"), "x");
  std::vector<std::string> L = {D.File("first.jpg"), D.File("a.jpg")};
  QStringList Warnings;
  WhenShown([&] {
    Warnings << Refused("bad:name") << Refused("b") << Refused("FIRST") << Refused("");
    Dlg->Edit_NewFn->setText("chosen");
    Dlg->Btn_OK->click();
  });
  ASSERT_TRUE(Dlg->ChkFList(L, false));
  ASSERT_TRUE(Ran);
  EXPECT_EQ(Warnings, (QStringList{"INVALID file name, please retry!", "File EXISTS, please retry!",
                                   "The File-name is already in list, please retry!", "INVALID file name, please retry!"}));
  EXPECT_EQ(L[1], D.File("chosen.jpg"));
  EXPECT_FALSE(Dlg->isVisible());
}

TEST_F(RenameDialog, AutoRenameReturnsTheAutomaticName) {
  WriteFile(D.File("a.jpg"), "x");
  WriteFile(D.File("a[1].jpg"), "x");
  WhenShown([&] { Dlg->Btn_AtRenam->click(); });
  std::string P = D.File("a.jpg");
  ASSERT_TRUE(Dlg->ChkFile(P));
  EXPECT_EQ(P, D.File("a[2].jpg"));
  EXPECT_FALSE(GParm.bFlAtRenam);
}

TEST_F(RenameDialog, CancelOrClosingKeepsThePathAndIgnoresTheCheckBox) {
  WriteFile(D.File("a.jpg"), "x");
  for (bool Close : {false, true}) {
    WhenShown([&] {
      Dlg->CBox_AtRenam->setChecked(true);
      if (Close)
        Dlg->close();
      else
        Dlg->Btn_Cancel->click();
    });
    std::string P = D.File("a.jpg");
    EXPECT_FALSE(Dlg->ChkFile(P));
    ASSERT_TRUE(Ran);
    EXPECT_EQ(P, D.File("a.jpg"));
    EXPECT_FALSE(GParm.bFlAtRenam);
  }
}

TEST_F(RenameDialog, AlwaysAutoRenameWithOkMakesTheNextCheckAutomatic) {
  WriteFile(D.File("a.jpg"), "x");
  WhenShown([&] {
    Dlg->CBox_AtRenam->setChecked(true);
    Dlg->Edit_NewFn->setText("mine");
    Dlg->Btn_OK->click();
  });
  std::string P = D.File("a.jpg");
  ASSERT_TRUE(Dlg->ChkFile(P));
  EXPECT_EQ(P, D.File("mine.jpg"));
  EXPECT_TRUE(GParm.bFlAtRenam);

  WhenShown([&] { Dlg->Btn_Cancel->click(); });  // must not be needed
  std::string Next = D.File("a.jpg");
  EXPECT_TRUE(Dlg->ChkFile(Next));
  EXPECT_EQ(Next, D.File("a[1].jpg"));
  EXPECT_FALSE(Ran);
}

int main(int argc, char **argv) { return RunTestsWithEventLoop(argc, argv, true); }
