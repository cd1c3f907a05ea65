#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include "editors/EditFixture.h"
#include "platform/TWebBrowser.h"
#include "pub/Unit_Pub.h"

namespace {
TSnapshotBuilder Page() {
  return TSnapshotBuilder().Title("A page").BodyText("Body text").RootHtml("<html><body>Body</body></html>");
}
}  // namespace

TEST_F(EditFixture, SaveMakesAMissingFolderWithItsParentsAndRefusesOneThatCannotBeMade) {
  PJobRec J = Open(pcFullPage, Page());
  ASSERT_TRUE(J);
  ASSERT_TRUE(Form_EditJob->isVisible());
  EXPECT_EQ(J->State, jsEditing);
  // Under a regular file no folder can be made.
  WriteFile(Dir.File("file"), "x");
  Form_EditJob->Edit_WP_SDir->setText(QString::fromStdString(Dir.File("file/sub")));
  QString Seen;
  AnswerNextBox(QStringLiteral("OK"), &Seen);
  EXPECT_FALSE(Save());
  EXPECT_EQ(Seen, QStringLiteral("Invalid save path, please correct it!"));
  EXPECT_EQ(J->State, jsEditing);
  EXPECT_TRUE(Form_EditJob->isVisible());

  Form_EditJob->Edit_WP_SDir->setText(QString::fromStdString(Dir.File("new/deep/folder")));
  EXPECT_TRUE(Save());
  EXPECT_TRUE(Dir_Exists(Dir.File("new/deep/folder")));
  ASSERT_TRUE(WaitSaved(J));
  EXPECT_EQ(J->State, jsComplete);
  EXPECT_EQ(ReadFile(Dir.File("new/deep/folder/A page.txt")), "Body text\n");
  EXPECT_FALSE(Ctrl->JobList().empty());  // the close after a good Save cancelled nothing
}

// An install that lost the preview's engine module: the HTML job's window
// opens with a line in the preview's place, and the text saves as ever.
TEST_F(EditFixture, WithoutThePreviewModuleAnHtmlJobStillOpensAndSaves) {
  struct TNoModule {
    explicit TNoModule(const std::string &Path) { qputenv("MOSSGATHER_PREVIEW_MODULE", QByteArray::fromStdString(Path)); }
    ~TNoModule() { qunsetenv("MOSSGATHER_PREVIEW_MODULE"); }
  } NoModule(Dir.File("gone/mosspreview.so"));
  GParm.SrcTextFmt = 1;
  PJobRec J = Open(pcSnippet, TSnapshotBuilder().Title("snip").Selection("x", "<p>x</p>"));
  ASSERT_TRUE(J);
  ASSERT_TRUE(Form_EditJob->isVisible());
  EXPECT_EQ(Form_EditJob->Lbl_WB_EFn->text(), QStringLiteral(".html"));
  auto *Note = Form_EditJob->findChild<QLabel *>(QStringLiteral("WB_PreviewNote"));
  ASSERT_NE(Note, nullptr);
  EXPECT_TRUE(Note->isVisible());
  // Nothing is left loading.
  EXPECT_EQ(Form_EditJob->WB_Preview->ReadyState(), 4);
  EXPECT_EQ(Form_EditJob->StaBar_Panels[1]->text(), QStringLiteral("Complete"));
  ASSERT_TRUE(Save());
  ASSERT_TRUE(WaitSaved(J));
  EXPECT_EQ(J->State, jsComplete);
  EXPECT_NE(ReadFile(Dir.File("save/Text/snip.html")).find("<p>x</p>"), std::string::npos);
  EXPECT_NE(LogText().find("web engine module cannot be loaded"), std::string::npos);
  EXPECT_FALSE(Form_EditJob->WB_Preview->Started());
}

TEST_F(EditFixture, EveryWayOfClosingCancelsAJobInEditing) {
  const char *Ways[] = {"Cancel", "Escape", "close box", "Escape in the memo"};
  for (const char *Way : Ways) {
    SCOPED_TRACE(Way);
    PJobRec J = Open(pcFullPage, Page());
    ASSERT_TRUE(Form_EditJob->isVisible());
    std::string W = Way;
    if (W == "Cancel")
      Form_EditJob->Btn_Cancel->click();
    else if (W == "Escape")
      QTest::keyClick(Form_EditJob, Qt::Key_Escape);
    else if (W == "close box")
      Form_EditJob->close();
    else
      QTest::keyClick(Form_EditJob->Memo_Preview, Qt::Key_Escape);
    EXPECT_FALSE(Form_EditJob->isVisible());
    EXPECT_EQ(J->JobId, -1);
    EXPECT_TRUE(Ctrl->JobList().empty());
    EXPECT_EQ(EdtPhase, 0);
  }
}

TEST_F(EditFixture, TheFirstRunSizesTheTextWindowToTheScreen) {
  FirstRun = true;
  Form_EditJob->FirstShow = true;
  Open(pcFullPage, Page());
  QRect Scr = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(GParm.iVw_EFrm_Txt_W, std::min(Scr.width() - 200, 800));
  EXPECT_EQ(GParm.iVw_EFrm_Txt_H, std::min(Scr.height() - 200, 600));
  EXPECT_EQ(Form_EditJob->width(), std::max(GParm.iVw_EFrm_Txt_W, Form_EditJob->minimumWidth()));
  EXPECT_EQ(Form_EditJob->maximumWidth(), QWIDGETSIZE_MAX);  // a text window can be widened
  // Centred on the screen.
  EXPECT_EQ(Form_EditJob->x(), (Scr.width() - Form_EditJob->width()) / 2);
  FirstRun = false;
  // Closing keeps the size for the next text job.
  Form_EditJob->resize(Form_EditJob->minimumWidth() + 50, 620);
  int W = Form_EditJob->width();
  Form_EditJob->Btn_Cancel->click();
  EXPECT_EQ(GParm.iVw_EFrm_Txt_W, W);
  EXPECT_EQ(GParm.iVw_EFrm_Txt_H, 620);
}

TEST_F(EditFixture, APictureJobsWindowHasAFixedWidth) {
  auto J = std::make_shared<TJobRec>();
  J->Kind = jkAllImages;
  EditJob = J;
  GParm.iVw_EFrm_H = 555;
  Form_EditJob->show();
  EXPECT_EQ(Form_EditJob->maximumWidth(), Form_EditJob->minimumWidth());
  EXPECT_EQ(Form_EditJob->height(), 555);
  // The item box is exactly 253 pixels plus a scroll bar wide.
  Form_EditJob->CloseOK = true;
  Form_EditJob->hide();
  EditJob.reset();
}

TEST_F(EditFixture, TheFirstClickIntoANameBoxSelectsTheWholeName) {
  Open(pcFullPage, Page());
  QLineEdit *E = Form_EditJob->Edit_AbsFileName;
  E->setText(QStringLiteral("my page"));
  E->clearFocus();
  SpinUntil([&] { return !E->hasFocus(); }, 500);
  E->setFocus();
  QCoreApplication::sendEvent(E, new QFocusEvent(QEvent::FocusIn));
  QTest::mouseClick(E, Qt::LeftButton);
  EXPECT_EQ(E->selectedText(), QStringLiteral("my page"));
  QTest::mouseClick(E, Qt::LeftButton, {}, QPoint(5, E->height() / 2));
  EXPECT_TRUE(E->selectedText().isEmpty());
}

TEST_F(EditFixture, AStartThatFailsCancelsTheJobWithItsReason) {
  // No selection, and the page's text cannot be read: nothing to edit.
  PJobRec J = Open(pcSnippet, Page().Drop("document.body").Drop("document.documentElement"));
  EXPECT_FALSE(Form_EditJob->isVisible());
  EXPECT_TRUE(Ctrl->JobList().empty());
  ASSERT_FALSE(Host.Tips.empty());
  EXPECT_EQ(Host.Tips.back().Msg, "Job 1 canceled: No Text or fail to get text data!");
  EXPECT_NE(LogText().find("Err, Tips: \"Fail to show editor!\"; Mthd: [TJobEditor.EJob_Flow_Beg]"), std::string::npos);
}

int main(int argc, char **argv) {
  return RunTestsWithEventLoop(
      argc, argv, true, [] { TWebEngineBrowser::PrepareEngine(); }, [] { delete Form_EditJob; });
}
