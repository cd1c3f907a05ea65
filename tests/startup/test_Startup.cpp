#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>
#include <cstdlib>

#include "control/Unit_MPC.h"
#include "control/uIEMenu.h"
#include "control/uIEMenuUi.h"
#include "platform/TMainThread.h"
#include "platform/TRegistryStore.h"
#include "platform/TUrlCache.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "pub/uGlobalParm.h"
#include "pub/uRunVars.h"
#include "support/TQtSupport.h"
#include "support/TestSupport.h"
#include "ui/UForm_Msg.h"
#include "ui/Unit_Msg.h"
#include "ui/uForm_main.h"

namespace {

const char *InitSteps[] = {"InitVars",        "CrtMods-Logger", "CrtMods-Form_Msg", "CrtMods-FIniFile",
                           "CrtMods-JobCtrl", "CrtMods-JE_Txt", "CrtMods-JE_Img",   "CrtMods-JE_Fls",
                           "CrtMods-JobMntr", "LoadGParmFrFl",  "MainForm.InitView"};

int StepIndex(const std::string &S) {
  for (int I = 0; I < static_cast<int>(std::size(InitSteps)); ++I)
    if (S == InitSteps[I]) return I;
  return -1;
}

struct StartupFixture : ::testing::Test {
  TTempDir Prg;
  TMainForm *Form = nullptr;

  void SetUp() override {
    ::setenv("MOSSGATHER_PRGDIR", Prg.Path().c_str(), 1);
    TMPC::FaultStep.clear();
    MPC.ExitUnattended = false;
  }
  void TearDown() override {
    Close();
    TMPC::FaultStep.clear();
    ::unsetenv("MOSSGATHER_PRGDIR");
  }
  void Open() {
    Form = new TMainForm();
    MainForm = Form;
    MPC.Connect(*Form);
    Form->show();  // the first showing starts the modules
  }
  void Close() {
    delete Form;  // destroying the window tears them down
    Form = nullptr;
  }
  std::string Log() { return ReadFile(Prg.File("log.txt")); }
};

}  // namespace

TEST_F(StartupFixture, AGoodStartMakesEveryModuleAndTheExitFreesThem) {
  Open();
  EXPECT_EQ(SysState.load(), 1);
  EXPECT_FALSE(InitFailed.load());
  EXPECT_TRUE(FirstRun);
  EXPECT_EQ(PrgDir, Prg.Path());
  EXPECT_NE(Logger(), nullptr);
  EXPECT_NE(FormMsg, nullptr);
  EXPECT_NE(MPC.FIniFile(), nullptr);
  EXPECT_GT(VScrollWidth, 0);
  // A log line reaches the event-log memo too.
  Log::Err("memo check", false);
  EXPECT_TRUE(SpinUntil([&] { return Form->Memo_Log->toPlainText().contains(QStringLiteral("[Error]: memo check")); }));
  Close();
  EXPECT_EQ(SysState.load(), 2);
  EXPECT_EQ(Logger(), nullptr);
  EXPECT_EQ(FormMsg, nullptr);
  EXPECT_TRUE(File_Exists(Prg.File("cfg.ini")));
  EXPECT_NE(Log().find("memo check"), std::string::npos);
}

TEST_F(StartupFixture, AFailureInAnyStartStepLeavesTheProgramRefusing) {
  for (const char *Step : InitSteps) {
    SCOPED_TRACE(Step);
    WriteFile(Prg.File("cfg.ini"), "[Global]\niTot_Job_Cnt=41\n");
    std::remove(Prg.File("log.txt").c_str());
    TMPC::FaultStep = Step;
    SysState = 0;  // as a fresh process has it
    Open();
    TMPC::FaultStep.clear();
    EXPECT_TRUE(InitFailed.load());
    EXPECT_EQ(SysState.load(), 0);
    EXPECT_EQ(MPC.InitStep(), Step);
    int At = StepIndex(Step);
    if (At > StepIndex("CrtMods-Logger")) {
      EXPECT_NE(Log().find(std::string("[Fatal]: Err, Tips: \"Fail to initialize program!\", Mthd-Loc: [TMPC.DO_SYSTEM_INIT-") +
                           Step + "], SysMsg: (Injected failure at " + Step + ")"),
                std::string::npos)
          << Log();
    }
    if (At > StepIndex("CrtMods-Form_Msg")) {
      ASSERT_NE(FormMsg, nullptr);
      EXPECT_TRUE(FormMsg->isVisible());
      EXPECT_EQ(FormMsg->Lbl_Msg->text(), QStringLiteral("Fail to initialize program!"));
      EXPECT_EQ(FormMsg->Lbl_Rslt->text(), QStringLiteral("Error"));
    }
    // Closing never asks; the periodic timer tells the user and closes.
    EXPECT_TRUE(MPC.ALLOW_EXIT_SYSTEM());
    QString Seen;
    AnswerNextBox(QStringLiteral("OK"), &Seen);
    Form->TimerTick();
    EXPECT_EQ(Seen, QStringLiteral("Program has failed in initialization, please check your system and rerun!"));
    EXPECT_FALSE(Form->isVisible());
    Close();
    // Settings that were read are written back; unread ones are not wiped.
    EXPECT_NE(ReadFile(Prg.File("cfg.ini")).find("iTot_Job_Cnt=41"), std::string::npos);
    if (At <= StepIndex("LoadGParmFrFl")) {
      EXPECT_EQ(ReadFile(Prg.File("cfg.ini")), "[Global]\niTot_Job_Cnt=41\n");
    }
  }
}

TEST_F(StartupFixture, AFailureInOneExitStepDoesNotStopTheOthers) {
  struct {
    const char *Fault, *LogText;
  } Cases[] = {
      {"CanAllJobs", "[Error]: Err, Tips: \"Fail to cancel all jobs!\"; Mthd: [TMPC.DO_SYSTEM_EXIT-CanAllJobs]"},
      {"SavParmToFl", "[Error]: Err, Tips: \"Fail to save parameters to file!\"; Mthd: [TMPC.DO_SYSTEM_EXIT-SavParmToFl]"},
      {"JE_Txt", "[Fatal]: Err, Tips: \"Free object JE_Txt error !\"; Mthd: [TMPC.DO_SYSTEM_EXIT-FreeModules]"},
      {"FIniFile", "[Fatal]: Err, Tips: \"Free object FIniFile error !\"; Mthd: [TMPC.DO_SYSTEM_EXIT-FreeModules]"},
      {"Form_Msg", "[Fatal]: Err, Tips: \"Free object Form_Msg error !\"; Mthd: [TMPC.DO_SYSTEM_EXIT-FreeModules]"},
      {"ClearVars", nullptr},  // after the log is gone: reported on standard error
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Fault);
    std::remove(Prg.File("cfg.ini").c_str());
    std::remove(Prg.File("log.txt").c_str());
    Dir_Force(Prg.File("txtmp"));
    WriteFile(Prg.File("txtmp/#tmp_0.html"), "x");
    Open();
    ASSERT_EQ(SysState.load(), 1);
    TMPC::FaultStep = C.Fault;
    Close();
    TMPC::FaultStep.clear();
    EXPECT_EQ(File_Exists(Prg.File("cfg.ini")), std::string(C.Fault) != "SavParmToFl");
    EXPECT_EQ(File_Exists(Prg.File("txtmp/#tmp_0.html")), std::string(C.Fault) == "ClearVars");
    EXPECT_EQ(Logger(), nullptr);
    EXPECT_EQ(FormMsg, nullptr);
    if (C.LogText) {
      EXPECT_NE(Log().find(C.LogText), std::string::npos) << Log();
    }
  }
}

TEST_F(StartupFixture, MessageBoxesShowOnlyWhileTheProgramIsReady) {
  Open();
  SysState = 0;
  EXPECT_FALSE(GLBL_MsgBox(Form, "not now", MbInfo));
  SysState = 1;
  QString Seen;
  AnswerNextBox(QStringLiteral("Yes"), &Seen);
  EXPECT_TRUE(GLBL_MsgBox(Form, "Question?", MbYesNo));
  EXPECT_EQ(Seen, QStringLiteral("Question?"));
  AnswerNextBox(QStringLiteral("No"));
  EXPECT_FALSE(GLBL_MsgBox(Form, "Question?", MbYesNo));
  AnswerNextBox(QStringLiteral("OK"));
  EXPECT_TRUE(GLBL_MsgBox(Form, "Info", MbInfo));
  SysState = 2;
  EXPECT_FALSE(GLBL_MsgBox(Form, "too late", MbError));
  SysState = 1;
}

TEST_F(StartupFixture, WakeUpRestoresAMinimisedProgram) {
  Open();
  Form->showMinimized();
  EXPECT_TRUE(SpinUntil([&] { return AppMinimized; }));
  Form->WakeUp();
  EXPECT_FALSE(AppMinimized);
  EXPECT_FALSE(Form->isMinimized());
  EXPECT_TRUE(Form->isVisible());
}

TEST_F(StartupFixture, FirstRunCentresTheWindowBySizeOfScreen) {
  Open();
  QRect Scr = QGuiApplication::primaryScreen()->geometry();
  QSize Want = Scr.width() <= 800 ? QSize(580, 480) : Scr.width() <= 1279 ? QSize(660, 550) : QSize(680, 580);
  EXPECT_EQ(Form->size(), Want);
  EXPECT_EQ(Form->frameGeometry().topLeft(), QPoint((Scr.width() - Want.width()) / 2, (Scr.height() - Want.height()) / 2));
}

TEST_F(StartupFixture, TheBrowserMenuItemsAskThenTellTheOutcome) {
  ::setenv("MOSSGATHER_REGISTRY", Prg.File("registry.ini").c_str(), 1);
  Open();
  // Each item asks first (Yes), then tells the outcome (OK).
  auto Run = [&](void (*Item)(QWidget *)) {
    QString Seen;
    AnswerNextBox(QStringLiteral("Yes"));
    AnswerNextBox(QStringLiteral("OK"), &Seen);
    Item(Form);
    return Seen;
  };
  // Without the entry scripts nothing is registered and the box says why.
  EXPECT_EQ(Run(MItm_RegMenuClick), QStringLiteral("Can not find script files, please reinstall this program!"));
  EXPECT_TRUE(RegisteredMenus(TRegistryStore::CurrentUser()).empty());
  Dir_Force(Prg.File("IEMenu"));
  for (const auto &M : IEMenuItems) WriteFile(Prg.File("IEMenu/") + M.Script, "");
  EXPECT_EQ(Run(MItm_RegMenuClick), QStringLiteral("Register succeeds!"));
  EXPECT_EQ(Run(MItm_RegMenuClick), QStringLiteral("Register succeeds!"));
  EXPECT_EQ(RegisteredMenus(TRegistryStore::CurrentUser()).size(), 5u);
  // Clearing an empty cache still tells "Cleared!".
  ClrIECache(TUrlCache::Default());
  EXPECT_EQ(Run(MItm_ClrCacheClick), QStringLiteral("Cleared!"));
  ::unsetenv("MOSSGATHER_REGISTRY");
}

int main(int argc, char **argv) { return RunTestsWithEventLoop(argc, argv, true); }
