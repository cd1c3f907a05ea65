// The tip window and the message boxes through the real windows, with the
// program started the ordinary way (the main window's first showing).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFrame>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

#include "control/Unit_MPC.h"
#include "editors/uForm_EditJob.h"
#include "platform/TWebBrowser.h"
#include "pub/Unit_Log.h"
#include "pub/uRunVars.h"
#include "support/TQtSupport.h"
#include "support/TestSupport.h"
#include "ui/UForm_Msg.h"
#include "ui/Unit_Msg.h"
#include "ui/uForm_main.h"

namespace {

// The program, started once for the binary.
TTempDir *Prg = nullptr;

class TProgramEnv : public ::testing::Environment {
 public:
  void SetUp() override {
    Prg = new TTempDir;
    ::setenv("MOSSGATHER_PRGDIR", Prg->Path().c_str(), 1);
    MainForm = new TMainForm();
    MPC.Connect(*MainForm);
    MainForm->show();  // the first showing starts the modules
    ASSERT_EQ(SysState.load(), 1);
    ASSERT_NE(FormMsg, nullptr);
  }
  void TearDown() override {
    delete MainForm;
    MainForm = nullptr;
    delete Form_EditJob;
    delete Prg;
    Prg = nullptr;
  }
};

// Records what the fade and the countdown set, with the main window's
// hold-z-order flag at that moment; can be told to fail.
class TSpyMsg : public TForm_Msg {
 public:
  struct TStep {
    int Value;
    bool Hold;
    bool operator==(const TStep &O) const { return Value == O.Value && Hold == O.Hold; }
  };
  std::vector<TStep> Steps;
  bool Fail = false;
  void SetOpacity(int Value) override {
    if (Fail) throw std::runtime_error("no layered window");
    Steps.push_back({Value, MainForm && MainForm->HoldZOrder()});
    TForm_Msg::SetOpacity(Value);
  }
  std::vector<int> Values() const {
    std::vector<int> V;
    for (const TStep &S : Steps) V.push_back(S.Value);
    return V;
  }
};

int Opacity(const QWidget *W) { return static_cast<int>(std::lround(W->windowOpacity() * 255)); }

TMsgRcd Rcd(const std::string &Msg, const std::string &Sec = "12.5 KB", const char *Title = "Good") {
  return {Title, Msg, Sec, QColor(188, 230, 181)};
}

void SendMouseMove(QWidget *W) {
  QMouseEvent E(QEvent::MouseMove, QPointF(20, 20), W->mapToGlobal(QPointF(20, 20)), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(W, &E);
}

void SendLeave(QWidget *W) {
  QEvent E(QEvent::Leave);
  QCoreApplication::sendEvent(W, &E);
}

// Each test gets a fresh tip window of its own in place of the program's,
// with a countdown that never ticks by itself: the tests drive the ticks.
struct TipFixture : ::testing::Test {
  TForm_Msg *Saved = nullptr;
  std::unique_ptr<TSpyMsg> Tip;
  void SetUp() override {
    Saved = FormMsg;
    Tip = std::make_unique<TSpyMsg>();
    Tip->Timer_Close->setInterval(3600 * 1000);
    FormMsg = Tip.get();
    PrevFgWnd = nullptr;
    MainForm->SetHoldZOrder(false);
  }
  void TearDown() override {
    FormMsg = Saved;
    Tip.reset();
    PrevFgWnd = nullptr;
    if (Form_EditJob) Form_EditJob->hide();
    EXPECT_FALSE(MainForm->HoldZOrder());
  }
};

const std::vector<int> FullFade = {28, 28, 56, 85, 113, 141, 170, 198, 226, 255};

}  // namespace

TEST(TipWindow, IsAFramelessToolWindowAboveTheOthersThatTakesNoFocus) {
  ASSERT_NE(FormMsg, nullptr);
  TForm_Msg &F = *FormMsg;
  EXPECT_EQ(F.size(), QSize(215, 170));
  EXPECT_TRUE(F.windowFlags().testFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(F.testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_EQ(F.parentWidget(), nullptr);
  EXPECT_EQ(F.Lbl_Title->text(), QStringLiteral("  Mossgather"));
  EXPECT_EQ(F.SBtn_Open->text(), QStringLiteral("Open"));
  EXPECT_EQ(F.SBtn_Open->toolTip(), QStringLiteral("Open Mossgather"));
  EXPECT_EQ(F.Img_Face->toolTip(), QStringLiteral("Click to close"));
  EXPECT_EQ(F.Timer_Close->interval(), 1000);
  for (const char *Name : {"Shape_bg", "Lbl_Title", "Lbl_Time", "Lbl_Rslt", "Lbl_SecMsg", "Lbl_Msg", "Img_Face", "SBtn_Open",
                           "Lbl_Result", "Lbl_Saved", "Lbl_Detail"})
    EXPECT_NE(F.findChild<QWidget *>(QString::fromLatin1(Name)), nullptr) << Name;
}

TEST_F(TipFixture, EachKindHasItsTitleAndColourAndTextsStayPlain) {
  struct {
    int Kind;
    const char *Title;
    QColor Color;
  } Cases[] = {{TipWarning, "Warning", QColor(253, 254, 218)},
               {TipError, "Error", QColor(255, 223, 223)},
               {TipGood, "Good", QColor(188, 230, 181)}};
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Title);
    GLBL_TipMsg("<b>Tom & Jerry</b>.htm", "<i>3 / 4 files</i>", C.Kind);
    EXPECT_TRUE(Tip->isVisible());
    EXPECT_EQ(Tip->Lbl_Rslt->text(), QString::fromLatin1(C.Title));
    EXPECT_EQ(Tip->palette().color(QPalette::Window), C.Color);
    EXPECT_TRUE(Tip->Shape_bg->styleSheet().contains(C.Color.name())) << Tip->Shape_bg->styleSheet().toStdString();
    // A page title is shown as it is, never read as markup.
    EXPECT_EQ(Tip->Lbl_Msg->text(), QStringLiteral("<b>Tom & Jerry</b>.htm"));
    EXPECT_EQ(Tip->Lbl_Msg->ShownLines(), QStringList{QStringLiteral("<b>Tom & Jerry</b>.htm")});
    EXPECT_EQ(Tip->Lbl_SecMsg->ShownLines(), QStringList{QStringLiteral("<i>3 / 4 files</i>")});
    for (QLabel *L : Tip->findChildren<QLabel *>()) EXPECT_EQ(L->textFormat(), Qt::PlainText) << L->objectName().toStdString();
  }
}

TEST_F(TipFixture, FadesInThenCountsDownFiveSecondsFadingOutAndCloses) {
  Tip->ShowMsg(Rcd("Example page.htm"));
  // Opacity 28 while the window comes up under the hold, then the fade.
  ASSERT_EQ(Tip->Values(), FullFade);
  EXPECT_TRUE(Tip->Steps[0].Hold);
  for (size_t I = 1; I < Tip->Steps.size(); ++I) EXPECT_FALSE(Tip->Steps[I].Hold) << I;
  EXPECT_TRUE(Tip->isVisible());
  EXPECT_EQ(Opacity(Tip.get()), 255);
  EXPECT_EQ(Tip->Lbl_Time->text(), QStringLiteral("5"));
  EXPECT_FALSE(Tip->Lbl_Time->isHidden());
  EXPECT_TRUE(Tip->Timer_Close->isActive());

  struct {
    const char *Shown;
    int Opacity;
  } Ticks[] = {{"4", 204}, {"3", 153}, {"2", 102}, {"1", 51}};
  for (const auto &T : Ticks) {
    Tip->Timer_CloseTimer();
    EXPECT_EQ(Tip->Lbl_Time->text(), QString::fromLatin1(T.Shown));
    EXPECT_EQ(Opacity(Tip.get()), T.Opacity) << T.Shown;
    EXPECT_TRUE(Tip->isVisible());
  }
  Tip->Timer_CloseTimer();
  EXPECT_FALSE(Tip->isVisible());
  EXPECT_FALSE(Tip->Timer_Close->isActive());
}

TEST_F(TipFixture, TheMouseOverTheTipHoldsTheCountAndLeavingRestartsIt) {
  Tip->ShowMsg(Rcd("Example page.htm"));
  Tip->Timer_CloseTimer();
  Tip->Timer_CloseTimer();
  ASSERT_EQ(Tip->SecondsLeft(), 3);

  SendMouseMove(Tip->Img_Face);
  EXPECT_TRUE(Tip->Hovered());
  EXPECT_TRUE(Tip->Lbl_Time->isHidden());
  EXPECT_EQ(Opacity(Tip.get()), 255);
  EXPECT_TRUE(MainForm->HoldZOrder());
  for (int I = 0; I < 6; ++I) Tip->Timer_CloseTimer();
  EXPECT_EQ(Tip->SecondsLeft(), 3);
  EXPECT_EQ(Opacity(Tip.get()), 255);
  EXPECT_TRUE(Tip->isVisible());

  SendLeave(Tip.get());
  EXPECT_FALSE(Tip->Hovered());
  EXPECT_FALSE(MainForm->HoldZOrder());
  EXPECT_EQ(Tip->SecondsLeft(), 5);
  EXPECT_EQ(Tip->Lbl_Time->text(), QStringLiteral("5"));
  EXPECT_FALSE(Tip->Lbl_Time->isHidden());
  EXPECT_EQ(Opacity(Tip.get()), 255);  // until the next tick
  Tip->Timer_CloseTimer();
  EXPECT_EQ(Tip->Lbl_Time->text(), QStringLiteral("4"));
  EXPECT_EQ(Opacity(Tip.get()), 204);
}

TEST_F(TipFixture, TheMouseArrivingDuringTheFadeInEndsItAtFullOpacity) {
  QTimer::singleShot(60, Tip.get(), [&] { SendMouseMove(Tip->Img_Face); });
  Tip->ShowMsg(Rcd("Example page.htm"));
  EXPECT_TRUE(Tip->Hovered());
  EXPECT_LT(Tip->Steps.size(), FullFade.size());
  EXPECT_EQ(Tip->Values().back(), 255);
  EXPECT_EQ(Opacity(Tip.get()), 255);
  SendLeave(Tip.get());
}

TEST_F(TipFixture, AClickClosesTheTipAndGivesTheFocusBackToTheJobsWindow) {
  if (!Form_EditJob) new TForm_EditJob();
  QWidget Origin;
  Origin.setObjectName(QStringLiteral("Origin"));
  Origin.resize(200, 100);
  Origin.show();
  struct {
    const char *Name;
    bool EditShowing;
    bool HasOrigin;
  } Cases[] = {{"to the window of the job's origin", false, true},
               {"to the job edit window while it shows", true, true},
               {"with no origin window", false, false}};
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Name);
    if (C.EditShowing) Form_EditJob->show();
    PrevFgWnd = C.HasOrigin ? &Origin : nullptr;
    QWidget Other;  // whatever was active when the tip came
    Other.show();
    Other.activateWindow();
    Tip->ShowMsg(Rcd("Example page.htm"));
    QTest::mouseClick(Tip->Img_Face, Qt::LeftButton, Qt::NoModifier, QPoint(100, 120));
    EXPECT_FALSE(Tip->isVisible());
    EXPECT_FALSE(Tip->Timer_Close->isActive());
    // Without an origin the focus goes nowhere in particular (this platform
    // activated the tip itself when it showed).
    QWidget *Want = C.EditShowing ? static_cast<QWidget *>(Form_EditJob) : C.HasOrigin ? &Origin : nullptr;
    if (Want) {
      EXPECT_TRUE(SpinUntil([&] { return QApplication::activeWindow() == Want; }, 2000))
          << (QApplication::activeWindow() ? QApplication::activeWindow()->objectName().toStdString() : "none");
    }
    Form_EditJob->hide();
  }
}

TEST_F(TipFixture, OpenBringsTheMainWindowBackEvenFromMinimised) {
  MainForm->showMinimized();
  ASSERT_TRUE(SpinUntil([] { return AppMinimized; }));
  Tip->ShowMsg(Rcd("Example page.htm"));
  QTest::mouseClick(Tip->SBtn_Open, Qt::LeftButton);
  EXPECT_FALSE(Tip->isVisible());
  EXPECT_FALSE(Tip->Timer_Close->isActive());
  EXPECT_FALSE(AppMinimized);
  EXPECT_FALSE(MainForm->isMinimized());
  EXPECT_TRUE(MainForm->isVisible());
  EXPECT_TRUE(SpinUntil([] { return QApplication::activeWindow() == MainForm; }, 2000));
}

TEST_F(TipFixture, ASecondTipDuringTheFadeInReplacesTheFirstAndFadesInAfresh) {
  Tip->ShowMsg(Rcd("first.htm"));
  Tip->Timer_CloseTimer();
  Tip->Timer_CloseTimer();
  Tip->Steps.clear();
  // The second arrives while the first fade waits; its own fade must not be
  // dimmed afterwards by the one it interrupted.
  QTimer::singleShot(120, Tip.get(), [] { GLBL_TipMsg("No files saved!", "Nothing", TipError); });
  Tip->ShowMsg(Rcd("again.htm"));
  EXPECT_EQ(Tip->Lbl_Msg->text(), QStringLiteral("No files saved!"));
  EXPECT_EQ(Tip->Lbl_SecMsg->text(), QStringLiteral("Nothing"));
  EXPECT_EQ(Tip->Lbl_Rslt->text(), QStringLiteral("Error"));
  EXPECT_EQ(Tip->palette().color(QPalette::Window), QColor(255, 223, 223));
  EXPECT_EQ(Tip->SecondsLeft(), 5);
  EXPECT_EQ(Opacity(Tip.get()), 255);
  EXPECT_TRUE(Tip->isVisible());
  // Two showings under the hold; after the second, one whole fade.
  std::vector<size_t> Held;
  for (size_t I = 0; I < Tip->Steps.size(); ++I)
    if (Tip->Steps[I].Hold) Held.push_back(I);
  ASSERT_EQ(Held.size(), 2u);
  const std::vector<int> All = Tip->Values();
  const std::vector<int> After(All.begin() + static_cast<long>(Held[1]), All.end());
  EXPECT_EQ(After, FullFade);
}

TEST_F(TipFixture, ClosingOrFreeingTheTipDuringItsFadeInEndsTheFade) {
  // A click while it fades in: it stays closed.
  QTimer::singleShot(80, Tip.get(), [&] { Tip->CloseMsg(1); });
  Tip->ShowMsg(Rcd("Example page.htm"));
  EXPECT_FALSE(Tip->isVisible());
  EXPECT_FALSE(Tip->Timer_Close->isActive());
  EXPECT_LT(Tip->Values().back(), 255);

  // Freed meanwhile (the program ending): the fade must not touch it again.
  auto *Doomed = Tip.release();
  QTimer::singleShot(80, [Doomed] {
    FormMsg = nullptr;
    delete Doomed;
  });
  Doomed->ShowMsg(Rcd("Example page.htm"));
  EXPECT_EQ(FormMsg, nullptr);
  EXPECT_FALSE(MainForm->HoldZOrder());
  GLBL_TipMsg("nobody shows this", "", TipGood);  // without a tip window: nothing
}

TEST_F(TipFixture, AFailureToShowIsLoggedAndReleasesTheHold) {
  Tip->Fail = true;
  EXPECT_NO_THROW(GLBL_TipMsg("Example page.htm", "12.5 KB", TipGood));
  EXPECT_FALSE(MainForm->HoldZOrder());
  EXPECT_NE(ReadFile(Prg->File("log.txt")).find("[Error]: GLBL_TipMsg error, Can not show msg!"), std::string::npos);
}

TEST_F(TipFixture, TheFirstTipIsPlacedAtTheLowerRightAndLaterOnesKeepThePlace) {
  EXPECT_FALSE(Tip->Positioned());
  Tip->ShowMsg(Rcd("Example page.htm"));
  const QRect Scr = QGuiApplication::primaryScreen()->geometry();
  EXPECT_TRUE(Tip->Positioned());
  EXPECT_EQ(Tip->geometry(), QRect(Scr.width() - 215 - 35, Scr.height() - 170 - 85, 215, 170));
  EXPECT_EQ(Tip->Img_Face->geometry(), Tip->rect());
  EXPECT_EQ(Tip->Lbl_Title->geometry(), QRect(1, 1, 213, 20));
  EXPECT_EQ(Tip->Lbl_Time->geometry(), QRect(163, 1, 45, 20));
  Tip->CloseMsg(0);
  Tip->move(40, 30);
  Tip->ShowMsg(Rcd("Example page.htm"));
  EXPECT_EQ(Tip->pos(), QPoint(40, 30));
}

TEST_F(TipFixture, LongTextsWrapWithinTheBoxAndEndInAnEllipsis) {
  const std::string LongName(120, 'x');
  struct {
    const char *Name;
    std::string Msg;
    bool Cut;
  } Cases[] = {
      {"short", "Example page.htm", false},
      {"words", "Mossgather saves pages - a rather long page title that goes on.htm", false},
      {"one unbroken name", LongName + ".htm", true},
      {"many short lines", "one\ntwo\r\nthree\nfour\nfive\nsix", false},
      {"many long lines", "one\ntwo\r\nthree\nfour: a last line much too long to fit in what is left of the box", true},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Name);
    Tip->ShowMsg(Rcd(C.Msg, std::string(80, '9') + " files"));
    TFitLabel *L = Tip->Lbl_Msg;
    const QStringList Lines = L->ShownLines();
    const QFontMetrics Fm(L->font());
    ASSERT_FALSE(Lines.isEmpty());
    EXPECT_LE(Lines.size() * Fm.lineSpacing(), L->contentsRect().height());
    for (const QString &S : Lines) EXPECT_LE(Fm.horizontalAdvance(S), L->contentsRect().width()) << S.toStdString();
    EXPECT_EQ(Lines.last().endsWith(QChar(0x2026)), C.Cut) << Lines.join(QLatin1Char('|')).toStdString();
    // Lines break only between words: joined by blanks they give the text.
    if (!C.Cut) {
      EXPECT_EQ(Lines.join(QLatin1Char(' ')), QString::fromStdString(C.Msg).replace(QRegularExpression("\\r?\\n"), " "));
    }
    const QStringList Sec = Tip->Lbl_SecMsg->ShownLines();
    ASSERT_EQ(Sec.size(), 1);
    EXPECT_TRUE(Sec[0].endsWith(QChar(0x2026)));
    EXPECT_LE(QFontMetrics(Tip->Lbl_SecMsg->font()).horizontalAdvance(Sec[0]), Tip->Lbl_SecMsg->width());
  }
}

// Run in its own test entry on a screen of that size (see CMakeLists.txt).
TEST(TipPlacement, TopLeftCornerOnA1024x768Screen) {
  const char *Want = std::getenv("MOSS_TEST_SCREEN");
  if (!Want) GTEST_SKIP() << "needs the 1024 x 768 screen of its own test entry";
  ASSERT_STREQ(Want, "1024x768");
  ASSERT_EQ(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 1024, 768));
  TForm_Msg F;
  F.Timer_Close->setInterval(3600 * 1000);
  F.ShowMsg(Rcd("Example page.htm"));
  EXPECT_EQ(F.pos(), QPoint(774, 513));
  EXPECT_EQ(F.frameGeometry().topLeft(), QPoint(774, 513));
  F.CloseMsg(0);
}

// For the screenshot in the docs: with MOSS_TIP_SHOT=<seconds> a Good tip
// stays on screen, its count held, that long.
TEST(TipShot, HoldsAGoodTipOnScreen) {
  const char *Secs = std::getenv("MOSS_TIP_SHOT");
  if (!Secs) GTEST_SKIP() << "only when a screenshot is taken";
  GLBL_TipMsg("Mossgather saves pages - Example Domain.htm", "48.3 K", TipGood);
  FormMsg->Timer_Close->stop();
  QTest::qWait(std::atoi(Secs) * 1000);
  FormMsg->CloseMsg(0);
}

// ---------------------------------------------------------------------------

namespace {

struct TBoxSeen {
  bool Shown = false;
  QString Title, Text;
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
  QStringList Buttons;
  bool TopMost = false;
  Qt::TextFormat Format = Qt::AutoText;
};

// Answers the next box by its button text, noting what it showed; the
// returned timer polls until it finds one.
std::unique_ptr<QTimer> AnswerBox(const QString &Button, TBoxSeen *Seen) {
  auto Poll = std::make_unique<QTimer>();
  Poll->setInterval(20);
  QTimer *P = Poll.get();
  QObject::connect(P, &QTimer::timeout, [P, Button, Seen] {
    auto *Box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!Box) return;
    P->stop();
    Seen->Shown = true;
    Seen->Title = Box->windowTitle();
    Seen->Text = Box->text();
    Seen->Icon = Box->icon();
    Seen->TopMost = Box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    Seen->Format = Box->textFormat();
    QAbstractButton *Hit = nullptr;
    for (QAbstractButton *B : Box->buttons()) {
      Seen->Buttons << B->text().remove(QLatin1Char('&'));
      if (B->text().remove(QLatin1Char('&')) == Button) Hit = B;
    }
    if (Hit)
      Hit->click();
    else
      Box->reject();
  });
  Poll->start();
  return Poll;
}

// The main window's periodic duties tell of a failed start with a box of
// their own; while a test fakes that state they must not tick into it.
class TQuietMainTimers {
 public:
  TQuietMainTimers() {
    for (QTimer *T : MainForm->findChildren<QTimer *>())
      if (T->isActive()) {
        T->stop();
        FStopped.push_back(T);
      }
  }
  ~TQuietMainTimers() {
    for (QTimer *T : FStopped) T->start();
  }
  TQuietMainTimers(const TQuietMainTimers &) = delete;
  TQuietMainTimers &operator=(const TQuietMainTimers &) = delete;

 private:
  std::vector<QTimer *> FStopped;
};

struct TRunState {
  uint8_t State;
  bool Failed;
};

}  // namespace

TEST(MsgBox, EachKindShowsItsIconAndButtonsAndYesOrOkIsTrue) {
  struct {
    int Kind;
    const char *Answer;
    QMessageBox::Icon Icon;
    QStringList Buttons;
    bool Result;
    bool TopMost;
  } Cases[] = {
      {MbWarning, "OK", QMessageBox::Warning, {"OK"}, true, false},
      {MbError, "OK", QMessageBox::Critical, {"OK"}, true, true},
      {MbInfo, "OK", QMessageBox::Information, {"OK"}, true, false},
      {MbYesNo, "Yes", QMessageBox::Question, {"Yes", "No"}, true, false},
      {MbYesNo, "No", QMessageBox::Question, {"Yes", "No"}, false, true},
      {9, "OK", QMessageBox::Information, {"OK"}, true, false},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Kind << " " << C.Answer);
    TBoxSeen Seen;
    auto Poll = AnswerBox(QString::fromLatin1(C.Answer), &Seen);
    EXPECT_EQ(GLBL_MsgBox(MainForm, "Delete <b>all</b> jobs?", C.Kind, C.TopMost), C.Result);
    ASSERT_TRUE(Seen.Shown);
    EXPECT_EQ(Seen.Title, QStringLiteral("Message"));
    EXPECT_EQ(Seen.Text, QStringLiteral("Delete <b>all</b> jobs?"));
    EXPECT_EQ(Seen.Format, Qt::PlainText);
    EXPECT_EQ(Seen.Icon, C.Icon);
    QStringList Got = Seen.Buttons;
    Got.sort();
    QStringList Want = C.Buttons;
    Want.sort();
    EXPECT_EQ(Got, Want);
    EXPECT_EQ(Seen.TopMost, C.TopMost);
  }
}

TEST(MsgBox, ShowsOnlyWhenReadyOrTellingOfAFailedStart) {
  struct {
    const char *Name;
    TRunState Run;
    bool Shows;
  } Cases[] = {
      {"starting", {0, false}, false},
      {"exiting", {2, false}, false},
      {"start failed", {0, true}, true},
      {"ready", {1, false}, true},
  };
  TQuietMainTimers Quiet;
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Name);
    SysState = C.Run.State;
    InitFailed = C.Run.Failed;
    TBoxSeen Seen;
    auto Poll = AnswerBox(QStringLiteral("OK"), &Seen);
    // A box is modal: had one come, it was answered before the call returned.
    const bool R = GLBL_MsgBox(MainForm, "Program has failed in initialization!", MbError);
    EXPECT_EQ(Seen.Shown, C.Shows);
    EXPECT_EQ(R, C.Shows);
  }
  SysState = 1;
  InitFailed = false;
}

namespace {
QtMessageHandler QtDefaultHandler = nullptr;
// The offscreen platform says so at every fade step; the tests read the
// opacity the window keeps.
void QuietAboutOpacity(QtMsgType T, const QMessageLogContext &C, const QString &M) {
  if (M.startsWith(QStringLiteral("This plugin does not support"))) return;
  QtDefaultHandler(T, C, M);
}
}  // namespace

int main(int argc, char **argv) {
  QtDefaultHandler = qInstallMessageHandler(QuietAboutOpacity);
  ::testing::AddGlobalTestEnvironment(new TProgramEnv);
  return RunTestsWithEventLoop(argc, argv, true, [] { TWebEngineBrowser::PrepareEngine(); });
}
