#include "ui/uForm_main.h"

#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "control/Unit_MPC.h"
#include "control/uGlobalParm.h"
#include "control/uRunVars.h"
#include "editors/uForm_EditJob.h"
#include "pub/Unit_Pub.h"
#include "pub/Unit_PubWnd.h"
#include "ui/Unit_Log.h"
#include "ui/Unit_Msg.h"

TMainForm *MainForm = nullptr;

namespace {
QToolButton *SpeedButton(QWidget *Parent, const char *Name, const char *Caption, const char *Hint) {
  auto *B = new QToolButton(Parent);
  B->setObjectName(QString::fromLatin1(Name));
  B->setText(QString::fromLatin1(Caption));
  B->setToolTip(QString::fromLatin1(Hint));
  B->setAutoRaise(true);
  B->setMinimumWidth(56);
  return B;
}

QFont Mono() {
  QFont F(QStringLiteral("Courier New"));
  F.setStyleHint(QFont::Monospace);
  return F;
}
}  // namespace

TMainForm::TMainForm() {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QString::fromLatin1(AppTitle));
  setMinimumSize(580, 480);
  resize(604, 434);

  auto *Central = new QWidget(this);
  auto *V = new QVBoxLayout(Central);
  V->setContentsMargins(0, 0, 0, 0);
  V->setSpacing(0);

  auto *TopBar = new QWidget(Central);
  TopBar->setObjectName(QStringLiteral("Pn_Top"));
  TopBar->setFixedHeight(30);
  auto *H = new QHBoxLayout(TopBar);
  H->setContentsMargins(4, 2, 4, 2);
  SBtn_Txt = SpeedButton(TopBar, "SBtn_Txt", "Text", "View text folder");
  SBtn_Img = SpeedButton(TopBar, "SBtn_Img", "Image", "View image folder");
  SBtn_Fls = SpeedButton(TopBar, "SBtn_Fls", "Flash", "View flash folder");
  SBtn_Mon = SpeedButton(TopBar, "SBtn_Mon", "Monitor", "View job monitor");
  SBtn_Log = SpeedButton(TopBar, "SBtn_Log", "Log", "View log");
  SBtn_Use = SpeedButton(TopBar, "SBtn_Use", "How to use", "Learn to use this program");
  SBtn_Mon->setVisible(false);
  SBtn_Log->setVisible(false);
  for (auto *B : {SBtn_Txt, SBtn_Img, SBtn_Fls, SBtn_Mon, SBtn_Log}) H->addWidget(B);
  H->addStretch(1);
  H->addWidget(SBtn_Use);
  V->addWidget(TopBar);

  Notebook = new QStackedWidget(Central);
  Notebook->setObjectName(QStringLiteral("Notebook"));
  // The job monitor page.
  auto *MonPage = new QSplitter(Qt::Horizontal, Notebook);
  MonPage->setObjectName(QStringLiteral("Pg_Monitor"));
  TreeView = new QTreeWidget(MonPage);
  TreeView->setObjectName(QStringLiteral("TreeView"));
  TreeView->setHeaderHidden(true);
  auto *JobView = new QWidget(MonPage);
  auto *JV = new QVBoxLayout(JobView);
  JV->setContentsMargins(0, 0, 0, 0);
  Spl_Job = new QSplitter(Qt::Vertical, JobView);
  LstVw_Mntr = new QTreeWidget(Spl_Job);
  LstVw_Mntr->setObjectName(QStringLiteral("LstVw_Mntr"));
  LstVw_Mntr->setRootIsDecorated(false);
  LstVw_Mntr->setSelectionMode(QAbstractItemView::ExtendedSelection);
  LstVw_Mntr->setHeaderLabels({QStringLiteral("State"), QStringLiteral("Type"), QStringLiteral("Job title"),
                               QStringLiteral("S/T Cnt"), QStringLiteral("Saving Fn")});
  LstVw_Mntr->setColumnWidth(0, 30);
  LstVw_Mntr->setColumnWidth(1, 50);
  LstVw_Mntr->setColumnWidth(2, 180);
  LstVw_Mntr->setColumnWidth(3, 60);
  LstVw_Mntr->setColumnWidth(4, 90);
  Pn_JobDtl = new QWidget(Spl_Job);
  Pn_JobDtl->setObjectName(QStringLiteral("Pn_JobDtl"));
  auto *DV = new QVBoxLayout(Pn_JobDtl);
  DV->setContentsMargins(0, 0, 0, 0);
  Memo_JobDtl = new QPlainTextEdit(Pn_JobDtl);
  Memo_JobDtl->setObjectName(QStringLiteral("Memo_JobDtl"));
  Memo_JobDtl->setReadOnly(true);
  Memo_JobDtl->setFont(Mono());
  DV->addWidget(Memo_JobDtl);
  Spl_Job->setStretchFactor(0, 1);
  JV->addWidget(Spl_Job);
  MonPage->setSizes({153, 450});
  Notebook->addWidget(MonPage);
  // The event log page.
  Memo_Log = new QPlainTextEdit(Notebook);
  Memo_Log->setObjectName(QStringLiteral("Memo_Log"));
  Memo_Log->setReadOnly(true);
  Memo_Log->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo_Log->setFont(Mono());
  Notebook->addWidget(Memo_Log);
  V->addWidget(Notebook, 1);
  setCentralWidget(Central);

  SttBar_Time = new QLabel(this);
  statusBar()->addPermanentWidget(SttBar_Time);
  statusBar()->hide();

  BuildMenus();
  connect(SBtn_Txt, &QToolButton::clicked, this, [] { MainForm->OpenSaveFolder(GParm.sDir_Def_Txt); });
  connect(SBtn_Img, &QToolButton::clicked, this, [] { MainForm->OpenSaveFolder(GParm.sDir_Def_Img); });
  connect(SBtn_Fls, &QToolButton::clicked, this, [] { MainForm->OpenSaveFolder(GParm.sDir_Def_Fls); });
  connect(SBtn_Mon, &QToolButton::clicked, this, [this] { SetPage(0); });
  connect(SBtn_Log, &QToolButton::clicked, this, [this] { SetPage(1); });
  connect(SBtn_Use, &QToolButton::clicked, this, [] { Shell_Open(PrgDir + "help/use.htm"); });

  Timr_ClrMem = new QTimer(this);
  Timr_ClrMem->setInterval(8000);
  connect(Timr_ClrMem, &QTimer::timeout, this, &TMainForm::TimerTick);
  Timr_ClrMem->start();
}

TMainForm::~TMainForm() {
  MPC.DO_SYSTEM_EXIT();
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::BuildMenus() {
  QMenu *File = menuBar()->addMenu(QStringLiteral("&File"));
  File->addAction(QStringLiteral("Exit"), this, &QWidget::close);
  QMenu *View = menuBar()->addMenu(QStringLiteral("&View"));
  QAction *Dtl = View->addAction(QStringLiteral("Job &detail"));
  Dtl->setCheckable(true);
  Dtl->setChecked(true);
  connect(Dtl, &QAction::toggled, this, [this](bool On) {
    Pn_JobDtl->setVisible(On);
    GParm.bVw_JDtl_Vis = On;
  });
  QMenu *Folders = View->addMenu(QStringLiteral("&Folders"));
  Folders->addAction(QStringLiteral("Default"), this, [] { Shell_Open(GParm.sDir_Def); });
  Folders->addAction(QStringLiteral("Text"), this, [this] { OpenSaveFolder(GParm.sDir_Def_Txt); });
  Folders->addAction(QStringLiteral("Image"), this, [this] { OpenSaveFolder(GParm.sDir_Def_Img); });
  Folders->addAction(QStringLiteral("Flash"), this, [this] { OpenSaveFolder(GParm.sDir_Def_Fls); });
  View->addAction(QStringLiteral("&Refresh job detail"))->setShortcut(QKeySequence(Qt::Key_F5));
  QMenu *Tools = menuBar()->addMenu(QStringLiteral("&Tools"));
  Tools->addAction(QStringLiteral("Options..."))->setObjectName(QStringLiteral("MItm_Option"));
  Tools->addAction(QStringLiteral("Clear IE cache"))->setObjectName(QStringLiteral("MItm_ClrCache"));
  Tools->addAction(QStringLiteral("Register IE menu items"))->setObjectName(QStringLiteral("MItm_RegMenu"));
  QMenu *Help = menuBar()->addMenu(QStringLiteral("&Help"));
  QAction *Contents = Help->addAction(QStringLiteral("Contents"), this, [] { Shell_Open(PrgDir + "Help/introduction.htm"); });
  Contents->setShortcut(QKeySequence(Qt::Key_F1));
  Help->addAction(QStringLiteral("How to use"), this, [] { Shell_Open(PrgDir + "help/use.htm"); });
  Help->addAction(QStringLiteral("Check for updates"));
  Help->addAction(QStringLiteral("Visit Mossgather's Web Site"), this, [] { Pub_VisitWebSite(); });
  Help->addAction(QStringLiteral("Tell to a friend..."), this, [] { Pub_TellFriend(); });
  Help->addAction(QStringLiteral("About..."));
}

void TMainForm::showEvent(QShowEvent *E) {
  QMainWindow::showEvent(E);
  if (FInitDone) return;
  FInitDone = true;
  MPC.DO_SYSTEM_INIT();
}

void TMainForm::closeEvent(QCloseEvent *E) {
  if (!MPC.ALLOW_EXIT_SYSTEM()) {
    E->ignore();
    return;
  }
  E->accept();
  QCoreApplication::quit();
}

void TMainForm::changeEvent(QEvent *E) {
  QMainWindow::changeEvent(E);
  if (E->type() == QEvent::WindowStateChange && isMinimized()) AppMinimized = true;
}

void TMainForm::CloseUnattended() {
  MPC.ExitUnattended = true;
  close();
}

void TMainForm::WakeUp() {
  Log::Info("[WakeUpMsg]: Brought the main window to the front.");
  Wnd_ToFront(this);
}

void TMainForm::InitView() {
  FRunMinutes = 0;
  FRunSeconds = 0;
  SetPage(0);
  QRect Scr = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect(0, 0, 1024, 768);
  if (FirstRun) {
    int W = 680, H = 580;
    if (Scr.width() <= 800)
      W = 580, H = 480;
    else if (Scr.width() <= 1279)
      W = 660, H = 550;
    resize(W, H);
    move((Scr.width() - W) / 2, (Scr.height() - H) / 2);
    Pn_JobDtl->setVisible(true);
  } else {
    resize(std::max(GParm.iVw_MFrm_W, 580), std::max(GParm.iVw_MFrm_H, 480));
    move(GParm.iVw_MFrm_L, GParm.iVw_MFrm_T);
    if (GParm.bVw_JDtl_Vis) {
      Pn_JobDtl->setVisible(true);
      if (GParm.iVw_JMon_H > 0) {
        int Total = Spl_Job->height();
        Spl_Job->setSizes({GParm.iVw_JMon_H, std::max(Total - GParm.iVw_JMon_H, 100)});
      }
    } else {
      Pn_JobDtl->setVisible(false);
    }
  }
  setWindowTitle(QString::fromLatin1(AppTitle));
  TreeView->expandAll();
}

void TMainForm::SetPage(int Page) {
  if (Page < 0 || Page > 1) return;
  if (Page >= Notebook->count()) {
    Log::Err("Fail to set Notebook.PageIndex, wrong flag :" + std::to_string(Page));
    return;
  }
  Notebook->setCurrentIndex(Page);
}

void TMainForm::PutAtBottom() { lower(); }

void TMainForm::TimerTick() {
  if (InitFailed && isVisible()) {
    Timr_ClrMem->stop();
    GLBL_MsgBox(this, "Program has failed in initialization, please check your system and rerun!", MbError);
    close();
    return;
  }
  if (Form_EditJob) Form_EditJob->DO_OptimizeMem();
  FRunSeconds += 8;
  if (FRunSeconds >= 60) {
    ++FRunMinutes;
    SttBar_Time->setText(QString::fromStdString(Format(" %d M", {FRunMinutes})));
    FRunSeconds -= 60;
  }
  if (FHoldZOrder) FHoldZOrder = false;
}

void TMainForm::OpenSaveFolder(const std::string &Folder) {
  if (Dir_Exists(Folder)) {
    Shell_Open(Folder);
    return;
  }
  const std::string &Def = GParm.sDir_Def;
  if (Dir_Exists(Def) || ::mkdir(Def.c_str(), 0755) == 0) {
    Shell_Open(Def);
    return;
  }
  GLBL_MsgBox(this, Format("Can not create dir:\r\n%s", {Def}), MbInfo);
}

void TMainForm::AppendLogLine(const std::string &Line) { Memo_Log->appendPlainText(QString::fromStdString(Line)); }
