#include "control/Unit_MPC.h"

#include <QApplication>
#include <QPointer>
#include <QStyle>
#include <QTreeWidget>
#include <cstdio>
#include <functional>

#include "control/uJobHostUi.h"
#include "control/uParmFile.h"
#include "editors/uFlsJobEdtr.h"
#include "editors/uForm_EditJob.h"
#include "editors/uImgJobEdtr.h"
#include "editors/uJobEditor.h"
#include "editors/uTxtJobEdtr.h"
#include "jobs/Unit_JobCntl.h"
#include "platform/TIniFile.h"
#include "platform/TMainThread.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "pub/uRunVars.h"
#include "pub/uTempFile.h"
#include "ui/UForm_Msg.h"
#include "ui/Unit_Msg.h"
#include "ui/uForm_main.h"
#include "ui/uJobMonitor.h"

TMPC MPC;
std::string TMPC::FaultStep;

namespace {
constexpr const char *InitFailTip = "Fail to initialize program!";

void InjectFault(const std::string &Name) {
  if (!TMPC::FaultStep.empty() && TMPC::FaultStep == Name) throw EMossError("Injected failure at " + Name);
}
}  // namespace

TMPC::TMPC() = default;
TMPC::~TMPC() = default;

void TMPC::Step(const char *Name) {
  FStep = Name;
  InjectFault(FStep);
}

void TMPC::Connect(TMainForm &Main) {
  QObject::connect(&Main, &TMainForm::FirstShown, &Main, [this] { DO_SYSTEM_INIT(); });
  QObject::connect(&Main, &TMainForm::UnattendedCloseAsked, &Main, [this] { ExitUnattended = true; });
  QObject::connect(&Main, &TMainForm::Ticked, &Main, [] {
    if (Form_EditJob) Form_EditJob->DO_OptimizeMem();
  });
  Main.CloseQuery = [this] { return ALLOW_EXIT_SYSTEM(); };
  Main.OnDestroy = [this] { DO_SYSTEM_EXIT(); };
}

void TMPC::DO_SYSTEM_INIT() {
  FParmLoaded = false;
  try {
    Step("InitVars");
    InitVars();
    CrtMods();
    Step("LoadGParmFrFl");
    LoadGParmFrFl();
    Step("MainForm.InitView");
    if (MainForm) MainForm->InitView();
    SysState = 1;
  } catch (const std::exception &E) {
    InitFailed = true;
    GLBL_TipMsg(InitFailTip, "", TipError);
    Log::FatalFmt("Err, Tips: \"%s\", Mthd-Loc: [%s-%s], SysMsg: (%s)", {InitFailTip, "TMPC.DO_SYSTEM_INIT", FStep, E.what()});
  }
}

void TMPC::InitVars() {
  SysState = 0;
  InitFailed = false;
  ExeName = ProgramFile();
  PrgDir = ProgramDir();
  AppMinimized = false;
  FirstRun = File_SizeOf(PrgDir + "cfg.ini") < 10;
  VScrollWidth = QApplication::style() ? QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 17;
  QApplication::setApplicationName(QString::fromLatin1(AppTitle));
  // The minimise hook is the main window's state-change handler.
}

void TMPC::CrtMods() {
  Step("CrtMods-Logger");
  auto *L = new TLogger(PrgDir + "log.txt");
  SetLogger(L);
  if (MainForm) {
    QPointer<TMainForm> Form(MainForm);
    L->SetMemoSink([Form](const std::string &Line) {
      TMainThread::Post([Form, Line] {
        if (Form) Form->AppendLogLine(Line);
      });
    });
  }
  Step("CrtMods-Form_Msg");
  FormMsg = new TForm_Msg();
  Step("CrtMods-FIniFile");
  FIni = std::make_unique<TIniFile>(PrgDir + "cfg.ini");
  Step("CrtMods-JobCtrl");
  FJobHost = std::make_unique<TJobHostUi>();
  JobCtrl = new TJobCtrl(*FJobHost);
  Step("CrtMods-JE_Txt");
  JE_Txt = new TTxtJobEdtr();
  Step("CrtMods-JE_Img");
  JE_Img = new TImgJobEdtr([] {
    TImgSettings S;
    S.FltTyp = GParm.Img_Flt_Typ;
    S.FltSiz = GParm.Img_Flt_Siz;
    S.SortDes = GParm.bImg_Sort_Siz_Des;
    S.SelKind = GParm.Img_Sel_Kind;
    S.IgnTiny = GParm.bImg_Flt_IgnTiny;
    S.IgnBar = GParm.bImg_Flt_IgnBar;
    S.Dir = GParm.sDir_Def_Img;
    return S;
  });
  Step("CrtMods-JE_Fls");
  JE_Fls = new TFlsJobEdtr([] {
    TFlsSettings S;
    S.SortDes = GParm.bFls_Sort_Des;
    S.SelKind = GParm.Fls_Sel_Kind;
    S.Dir = GParm.sDir_Def_Fls;
    return S;
  });
  Step("CrtMods-JobMntr");
  if (MainForm) {
    JobMntr = new TJobMonitor(*MainForm);
    QObject::connect(JobCtrl, &TJobCtrl::JobChanged, JobMntr, &TJobMonitor::Run_ChgJobSta);
    QPointer<TMainForm> Form(MainForm);
    TJobCtrl *Ctrl = JobCtrl;
    QObject::connect(JobCtrl, &TJobCtrl::JobChanged, MainForm, [Form, Ctrl](const PJobRec &) {
      if (Form) Form->ShowJobCount(Ctrl->JobCount());
    });
  }
}

void TMPC::LoadGParmFrFl() {
  if (!FIni) throw EMossError("The settings file is not open");
  // The program still starts, on defaults; the file stays for the user to
  // mend, since UpdateFile will not write over it.
  if (!FIni->ReadWhole())
    Log::ErrFmt(ErrTipsFmt,
                {"cfg.ini could not be read; defaults are used and the file is kept", "TMPC.LoadGParmFrFl", FIni->ReadError()},
                true);
  std::string Bad;
  LoadGParm(*FIni, GParm, &Bad);
  if (!Bad.empty())
    Log::ErrFmt(ErrTipsFmt, {"Bad dChkDate in cfg.ini, read as today", "TMPC.LoadGParmFrFl", "'" + Bad + "' is not a valid date"},
                true);
  FParmLoaded = true;
}

void TMPC::SavParmToFl() {
  InjectFault("SavParmToFl");
  if (!FIni) throw EMossError("The settings file is not open");
  // Settings that were never read hold only defaults; writing them would
  // wipe the user's file, so it is left as it was.
  if (!FParmLoaded) throw EMossError("Settings were not loaded; cfg.ini left as it was");
  TLiveLayout Live;
  if (MainForm) {
    // The position of the frame and the size inside it, the pair that
    // move() and resize() take back at the next start.
    Live.MFrm_L = MainForm->frameGeometry().x();
    Live.MFrm_T = MainForm->frameGeometry().y();
    Live.MFrm_W = MainForm->width();
    Live.MFrm_H = MainForm->height();
    Live.JMon_H = MainForm->LstVw_Mntr->height();
  }
  SaveGParm(*FIni, GParm, Live);
}

std::string TMPC::GetTempFile() { return GetTempFileIn(PrgDir); }

bool TMPC::ALLOW_EXIT_SYSTEM() {
  try {
    if (InitFailed) return true;
    InjectFault("ALLOW_EXIT_SYSTEM");
    bool Unfinished = JobCtrl && JobCtrl->HasUnfinishedJob();
    if (Unfinished && !ExitUnattended)
      return GLBL_MsgBox(MainForm, "A job is running, would you still like to exit program?", MbYesNo);
    return true;
  } catch (const std::exception &E) {
    Log::ErrFmt(ErrTipsFmt, {"", "TMPC.ALLOW_EXIT_SYSTEM", E.what()}, true);
    return true;
  }
}

void TMPC::DO_SYSTEM_EXIT() {
  SysState = 2;
  auto Guard = [](const char *Tip, const char *Mthd, const std::function<void()> &Fn) {
    try {
      Fn();
    } catch (const std::exception &E) {
      Log::ErrFmt(ErrTipsFmt, {Tip, Mthd, E.what()}, true);
    }
  };
  Guard("Fail to cancel all jobs!", "TMPC.DO_SYSTEM_EXIT-CanAllJobs", [] {
    InjectFault("CanAllJobs");
    if (JobCtrl) JobCtrl->PJob_Stop_All();
  });
  Guard("Fail to save parameters to file!", "TMPC.DO_SYSTEM_EXIT-SavParmToFl", [this] { SavParmToFl(); });
  FreeModules();
  // The log is gone by now; a late failure goes to standard error.
  try {
    ClearVars();
  } catch (const std::exception &E) {
    std::fprintf(stderr, "%s\n", Format(ErrTipsFmt, {"Clear vars error!", "TMPC.DO_SYSTEM_EXIT-ClearVars", E.what()}).c_str());
  }
}

void TMPC::FreeModules() {
  auto Free = [](const char *Name, const std::function<void()> &Fn) {
    try {
      Fn();  // frees and clears the module variable, failure or not
      InjectFault(Name);
    } catch (const std::exception &E) {
      Log::FatalFmt(ErrTipsFmt, {Format("Free object %s error !", {Name}), "TMPC.DO_SYSTEM_EXIT-FreeModules", E.what()});
    }
  };
  Free("JE_Txt", [] {
    CurEditor = nullptr;
    EditJob.reset();
    delete JE_Txt;
    JE_Txt = nullptr;
  });
  Free("JE_Img", [] {
    if (CurEditor == JE_Img) CurEditor = nullptr;
    delete JE_Img;
    JE_Img = nullptr;
  });
  Free("JE_Fls", [] {
    if (CurEditor == JE_Fls) CurEditor = nullptr;
    delete JE_Fls;
    JE_Fls = nullptr;
  });
  // The controller stops and finishes every worker before its jobs go.
  Free("JobCtrl", [this] {
    TJobCtrl *C = JobCtrl;
    JobCtrl = nullptr;
    delete C;
    FJobHost.reset();
  });
  Free("JobMntr", [] {
    TJobMonitor *M = JobMntr;
    JobMntr = nullptr;
    delete M;
  });
  Free("FIniFile", [this] { FIni.reset(); });
  Free("Form_Msg", [] {
    TForm_Msg *F = FormMsg;
    FormMsg = nullptr;
    delete F;
  });
  // The log goes last; its destructor writes every pending line.
  std::unique_ptr<TLogger> L(Logger());
  SetLogger(nullptr);
  try {
    L.reset();
    InjectFault("Logger");
  } catch (const std::exception &E) {
    std::fprintf(stderr, "%s\n",
                 Format(ErrTipsFmt, {"Free object Logger error !", "TMPC.DO_SYSTEM_EXIT-FreeModules", E.what()}).c_str());
  }
}

void TMPC::ClearVars() {
  InjectFault("ClearVars");
  ClearTempFiles(PrgDir);
}
