#include "ui/uForm_main.h"

#include <sys/stat.h>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "jobs/Unit_JobCntl.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "pub/uGlobalParm.h"
#include "pub/uRunVars.h"
#include "ui/UForm_About.h"
#include "ui/Unit_Msg.h"
#include "ui/Unit_PubWnd.h"
#include "ui/uJobMonitor.h"

TMainForm *MainForm = nullptr;

namespace {
// A flat button in a rounded frame; the frame's pen tells the chosen page.
QToolButton *SpeedButton(QWidget *Parent, const char *Name, const char *Caption, const char *Hint,
                         QStyle::StandardPixmap Icon = QStyle::SP_CustomBase) {
  auto *B = new QToolButton(Parent);
  B->setObjectName(QString::fromLatin1(Name));
  B->setText(QString::fromLatin1(Caption));
  B->setToolTip(QString::fromLatin1(Hint));
  if (Icon != QStyle::SP_CustomBase) {
    B->setIcon(Parent->style()->standardIcon(Icon));
    B->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  }
  B->setMinimumWidth(64);
  B->setFixedHeight(26);
  return B;
}

void FramePen(QToolButton *B, const char *Colour) {
  B->setStyleSheet(QStringLiteral("QToolButton { border: 1px solid %1; border-radius: 5px; padding: 1px 8px; }"
                                  "QToolButton:hover { background: rgba(60,120,200,40); }"
                                  "QToolButton:pressed, QToolButton:checked { background: rgba(60,120,200,70); }")
                       .arg(QString::fromLatin1(Colour)));
}

QFont Mono() {
  QFont F(QStringLiteral("Courier New"));
  F.setStyleHint(QFont::Monospace);
  F.setFamilies({QStringLiteral("Courier New"), QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
  return F;
}

QAction *Named(QAction *A, const char *Name) {
  A->setObjectName(QString::fromLatin1(Name));
  return A;
}
}  // namespace

TMainForm::TMainForm() {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QString::fromLatin1(AppTitle));
  setWindowIcon(QIcon(QString::fromStdString(ProgramDir() + "mossgather.svg")));
  setMinimumSize(580, 480);
  resize(604, 434);
  SaveDlgDir = QDir::homePath().toStdString();

  auto *Central = new QWidget(this);
  auto *V = new QVBoxLayout(Central);
  V->setContentsMargins(0, 0, 0, 0);
  V->setSpacing(0);

  auto *TopBar = new QWidget(Central);
  TopBar->setObjectName(QStringLiteral("Pn_Top"));
  TopBar->setFixedHeight(30);
  auto *H = new QHBoxLayout(TopBar);
  H->setContentsMargins(4, 2, 4, 2);
  H->setSpacing(6);
  SBtn_Txt = SpeedButton(TopBar, "SBtn_Txt", "Text", "View text folder", QStyle::SP_DirIcon);
  SBtn_Img = SpeedButton(TopBar, "SBtn_Img", "Image", "View image folder", QStyle::SP_DirIcon);
  SBtn_Fls = SpeedButton(TopBar, "SBtn_Fls", "Flash", "View flash folder", QStyle::SP_DirIcon);
  SBtn_Mon = SpeedButton(TopBar, "SBtn_Mon", "Monitor", "View job monitor");
  SBtn_Log = SpeedButton(TopBar, "SBtn_Log", "Log", "View log");
  SBtn_Use = SpeedButton(TopBar, "SBtn_Use", "How to use", "Learn to use this program", QStyle::SP_DialogHelpButton);
  for (auto *B : {SBtn_Txt, SBtn_Img, SBtn_Fls, SBtn_Use}) FramePen(B, "#9aa4ae");
  SBtn_Mon->setCheckable(true);
  SBtn_Log->setCheckable(true);
  SBtn_Mon->setVisible(false);
  SBtn_Log->setVisible(false);
  for (auto *B : {SBtn_Txt, SBtn_Img, SBtn_Fls, SBtn_Mon, SBtn_Log}) H->addWidget(B);
  H->addStretch(1);
  H->addWidget(SBtn_Use);
  V->addWidget(TopBar);

  Notebook = new QStackedWidget(Central);
  Notebook->setObjectName(QStringLiteral("Notebook"));
  // The job monitor page: the tree, and the list above the detail pane.
  auto *MonPage = new QSplitter(Qt::Horizontal, Notebook);
  MonPage->setObjectName(QStringLiteral("Pg_Monitor"));
  MonPage->setChildrenCollapsible(false);
  auto *TreeSide = new QWidget(MonPage);
  auto *TV = new QVBoxLayout(TreeSide);
  TV->setContentsMargins(0, 0, 0, 0);
  TV->setSpacing(0);
  TreeView = new QTreeWidget(TreeSide);
  TreeView->setObjectName(QStringLiteral("TreeView"));
  TreeView->setHeaderHidden(true);
  TreeView->setMinimumWidth(120);
  TV->addWidget(TreeView, 1);
  SttBar = new QStatusBar(TreeSide);
  SttBar->setObjectName(QStringLiteral("SttBar"));
  SttBar->setSizeGripEnabled(false);
  SttBar_Ready = new QLabel(QStringLiteral("Ready"), SttBar);
  SttBar_Time = new QLabel(SttBar);
  SttBar->addWidget(SttBar_Ready, 1);
  SttBar->addWidget(SttBar_Time, 1);
  SttBar->hide();
  TV->addWidget(SttBar);

  Pn_JobView = new QWidget(MonPage);
  Pn_JobView->setObjectName(QStringLiteral("Pn_JobView"));
  auto *JV = new QVBoxLayout(Pn_JobView);
  JV->setContentsMargins(0, 0, 0, 0);
  Spl_Job = new QSplitter(Qt::Vertical, Pn_JobView);
  Spl_Job->setObjectName(QStringLiteral("Spl_Job"));
  Spl_Job->setChildrenCollapsible(false);
  LstVw_Mntr = new QTreeWidget(Spl_Job);
  LstVw_Mntr->setObjectName(QStringLiteral("LstVw_Mntr"));
  LstVw_Mntr->setRootIsDecorated(false);
  LstVw_Mntr->setUniformRowHeights(true);
  LstVw_Mntr->setSelectionMode(QAbstractItemView::ExtendedSelection);
  LstVw_Mntr->setSelectionBehavior(QAbstractItemView::SelectRows);
  LstVw_Mntr->setEditTriggers(QAbstractItemView::NoEditTriggers);
  LstVw_Mntr->setHeaderLabels({QStringLiteral("State"), QStringLiteral("Type"), QStringLiteral("Job title"),
                               QStringLiteral("S/T Cnt"), QStringLiteral("Saving Fn")});
  QHeaderView *Hd = LstVw_Mntr->header();
  Hd->setStretchLastSection(false);
  Hd->setMinimumSectionSize(30);
  Hd->setSectionResizeMode(2, QHeaderView::Stretch);
  LstVw_Mntr->setColumnWidth(0, 40);
  LstVw_Mntr->setColumnWidth(1, 56);
  LstVw_Mntr->setColumnWidth(3, 60);
  LstVw_Mntr->setColumnWidth(4, 110);
  LstVw_Mntr->setMinimumHeight(60);

  Pn_JobDtl = new QWidget(Spl_Job);
  Pn_JobDtl->setObjectName(QStringLiteral("Pn_JobDtl"));
  Pn_JobDtl->setMinimumHeight(100);
  auto *DV = new QVBoxLayout(Pn_JobDtl);
  DV->setContentsMargins(0, 2, 0, 0);
  DV->setSpacing(2);
  auto *DBar = new QHBoxLayout();
  DBar->setContentsMargins(2, 0, 2, 0);
  SBtn_Refresh = SpeedButton(Pn_JobDtl, "SBtn_Refresh", "Refresh", "Refresh job details", QStyle::SP_BrowserReload);
  SBtn_Refresh->setAutoRaise(true);
  SBtn_ClsDtl = new QToolButton(Pn_JobDtl);
  SBtn_ClsDtl->setObjectName(QStringLiteral("SBtn_ClsDtl"));
  SBtn_ClsDtl->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
  SBtn_ClsDtl->setToolTip(QStringLiteral("Hide job details"));
  SBtn_ClsDtl->setAutoRaise(true);
  DBar->addWidget(SBtn_Refresh);
  DBar->addStretch(1);
  DBar->addWidget(SBtn_ClsDtl);
  DV->addLayout(DBar);
  Memo_JobDtl = new QPlainTextEdit(Pn_JobDtl);
  Memo_JobDtl->setObjectName(QStringLiteral("Memo_JobDtl"));
  Memo_JobDtl->setReadOnly(true);
  Memo_JobDtl->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo_JobDtl->setFont(Mono());
  DV->addWidget(Memo_JobDtl, 1);
  // As the list is aligned to the top: a larger window grows the details.
  Spl_Job->setStretchFactor(0, 0);
  Spl_Job->setStretchFactor(1, 1);
  JV->addWidget(Spl_Job);
  MonPage->setStretchFactor(0, 0);
  MonPage->setStretchFactor(1, 1);
  MonPage->setSizes({153, 451});
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

  BuildMenus();
  BuildPopup();
  connect(SBtn_Txt, &QToolButton::clicked, this, [this] { OpenSaveFolder(GParm.sDir_Def_Txt); });
  connect(SBtn_Img, &QToolButton::clicked, this, [this] { OpenSaveFolder(GParm.sDir_Def_Img); });
  connect(SBtn_Fls, &QToolButton::clicked, this, [this] { OpenSaveFolder(GParm.sDir_Def_Fls); });
  connect(SBtn_Mon, &QToolButton::clicked, this, [this] { SetPage(0); });
  connect(SBtn_Log, &QToolButton::clicked, this, [this] { SetPage(1); });
  connect(SBtn_Use, &QToolButton::clicked, this, [] { Shell_Open(PrgDir + "help/use.htm"); });

  Timr_ClrMem = new QTimer(this);
  Timr_ClrMem->setInterval(8000);
  connect(Timr_ClrMem, &QTimer::timeout, this, &TMainForm::TimerTick);
  Timr_ClrMem->start();
}

TMainForm::~TMainForm() {
  if (OnDestroy) OnDestroy();
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::BuildMenus() {
  QMenu *File = menuBar()->addMenu(QStringLiteral("&File"));
  Named(File->addAction(QStringLiteral("Exit"), this, &TMainForm::QuitProgram), "MItm_Exit");

  QMenu *View = menuBar()->addMenu(QStringLiteral("&View"));
  MItm_JobDtl = Named(View->addAction(QStringLiteral("Job &detail")), "MItm_JobDtl");
  MItm_JobDtl->setCheckable(true);
  MItm_JobDtl->setChecked(true);
  QMenu *Folders = View->addMenu(QStringLiteral("&Folders"));
  Folders->addAction(QStringLiteral("Default"), this, [] { Shell_Open(GParm.sDir_Def); });
  Folders->addAction(QStringLiteral("Text"), this, [this] { OpenSaveFolder(GParm.sDir_Def_Txt); });
  Folders->addAction(QStringLiteral("Image"), this, [this] { OpenSaveFolder(GParm.sDir_Def_Img); });
  Folders->addAction(QStringLiteral("Flash"), this, [this] { OpenSaveFolder(GParm.sDir_Def_Fls); });
  MItm_RefreshDtl = Named(View->addAction(QStringLiteral("&Refresh job detail")), "MItm_RefreshDtl");
  MItm_RefreshDtl->setShortcut(QKeySequence(Qt::Key_F5));

  QMenu *Tools = menuBar()->addMenu(QStringLiteral("&Tools"));
  // This item and "Check for updates" are enabled when the program entry
  // connects them to their dialogs.
  MItm_Option = Named(Tools->addAction(QStringLiteral("Options...")), "MItm_Option");
  MItm_Option->setEnabled(false);
  Named(Tools->addAction(QStringLiteral("Clear IE cache")), "MItm_ClrCache");
  Named(Tools->addAction(QStringLiteral("Register IE menu items")), "MItm_RegMenu");

  QMenu *Help = menuBar()->addMenu(QStringLiteral("&Help"));
  QAction *Contents = Help->addAction(QStringLiteral("Contents"), this, [] { Shell_Open(PrgDir + "Help/introduction.htm"); });
  Contents->setShortcut(QKeySequence(Qt::Key_F1));
  Help->addAction(QStringLiteral("How to use"), this, [] { Shell_Open(PrgDir + "help/use.htm"); });
  MItm_ChkUpd = Named(Help->addAction(QStringLiteral("Check for updates")), "MItm_ChkUpd");
  MItm_ChkUpd->setEnabled(false);
  Help->addSeparator();
  Help->addAction(QStringLiteral("Visit Mossgather's Web Site"), this, [] { Pub_VisitWebSite(); });
  Help->addAction(QStringLiteral("Tell to a friend..."), this, [] { Pub_TellFriend(); });
  Help->addSeparator();
  MItm_About = Named(Help->addAction(QStringLiteral("About..."), this, [this] { ShowAbout(); }), "MItm_About");

  // Kept for trying things out; not shown to the user.
  QMenu *Test = menuBar()->addMenu(QStringLiteral("Test"));
  Test->menuAction()->setVisible(false);
  Test->addAction(QStringLiteral("Test Form"));
  auto *Pages = new QActionGroup(this);
  MItm_VwMon = Named(Test->addAction(QStringLiteral("View job &monitor"), this, [this] { SetPage(0); }), "MItm_VwMon");
  MItm_VwLog = Named(Test->addAction(QStringLiteral("View &log"), this, [this] { SetPage(1); }), "MItm_VwLog");
  for (QAction *A : {MItm_VwMon, MItm_VwLog}) {
    A->setCheckable(true);
    Pages->addAction(A);
  }
}

void TMainForm::BuildPopup() {
  PMenu_Mntr = new QMenu(this);
  PMenu_Mntr->setObjectName(QStringLiteral("PMenu_Mntr"));
  MItm_ReRun = Named(PMenu_Mntr->addAction(QStringLiteral("Restart")), "MItm_ReRun");
  MItm_ReRunAll = Named(PMenu_Mntr->addAction(QStringLiteral("Restart all")), "MItm_ReRunAll");
  MItm_StopJob = Named(PMenu_Mntr->addAction(QStringLiteral("Stop")), "MItm_StopJob");
  MItm_StopAll = Named(PMenu_Mntr->addAction(QStringLiteral("Stop all")), "MItm_StopAll");
  PMenu_Mntr->addSeparator();
  MItm_Delete = Named(PMenu_Mntr->addAction(QStringLiteral("Delete")), "MItm_Delete");
  PMenu_Mntr->addSeparator();
  MItm_GoNext = Named(PMenu_Mntr->addAction(QStringLiteral("Go to next")), "MItm_GoNext");
  MItm_GoNext->setToolTip(QStringLiteral("Go to save next file"));
  MItm_GoNext->setStatusTip(QStringLiteral("Go to save next file"));
  PMenu_Mntr->addSeparator();
  MItm_Explore = Named(PMenu_Mntr->addAction(QStringLiteral("View folder")), "MItm_Explore");
  MItm_SavUrlLst = Named(PMenu_Mntr->addAction(QStringLiteral("Save url list")), "MItm_SavUrlLst");
  PMenu_Mntr->setToolTipsVisible(true);
  LstVw_Mntr->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(LstVw_Mntr, &QWidget::customContextMenuRequested, this,
          [this](const QPoint &P) { PMenu_Mntr->popup(LstVw_Mntr->viewport()->mapToGlobal(P)); });
}

void TMainForm::ShowAbout() {
  // Made for each showing and freed when closed.
  auto *About = new TFrm_About(this);
  About->setAttribute(Qt::WA_DeleteOnClose);
  About->exec();
}

void TMainForm::showEvent(QShowEvent *E) {
  QMainWindow::showEvent(E);
  if (FInitDone) return;
  FInitDone = true;
  emit FirstShown();
}

void TMainForm::closeEvent(QCloseEvent *E) {
  // A close no one answers (a signal, the logout) ends the program even
  // with the tray.
  if (FTray && !FQuitting && !FUnattended) {
    E->ignore();
    hide();
    return;
  }
  FQuitting = false;
  if (CloseQuery && !CloseQuery()) {
    E->ignore();
    return;
  }
  E->accept();
  if (OnQuit)
    OnQuit();
  else
    QCoreApplication::quit();
}

void TMainForm::QuitProgram() {
  FQuitting = true;
  close();
  FQuitting = false;
}

bool TMainForm::TrayAvailable() {
  const QByteArray Forced = qgetenv("MOSSGATHER_TRAY");
  if (Forced == "1") return true;
  if (Forced == "0") return false;
  return QSystemTrayIcon::isSystemTrayAvailable();
}

void TMainForm::UpdTray() {
  const bool Want = GParm.bTrayIcon && TrayAvailable();
  if (!Want) {
    delete FTray;
    FTray = nullptr;
    // A window hidden to the tray must not stay out of reach.
    if (FInitDone && isHidden()) Wnd_ToFront(this);
    return;
  }
  if (FTray) return;
  FTray = new QSystemTrayIcon(this);
  FTray->setObjectName(QStringLiteral("TrayIcon"));
  QIcon Icon = windowIcon();
  FTray->setIcon(Icon.isNull() ? style()->standardIcon(QStyle::SP_DriveNetIcon) : Icon);
  auto *Menu = new QMenu(this);
  Menu->setObjectName(QStringLiteral("PMenu_Tray"));
  Named(Menu->addAction(QStringLiteral("Show"), this, [this] { Wnd_ToFront(this); }), "MItm_TrayShow");
  Named(Menu->addAction(QStringLiteral("Options..."), this, [this] { MItm_Option->trigger(); }), "MItm_TrayOption");
  Menu->addSeparator();
  Named(Menu->addAction(QStringLiteral("Quit"), this, &TMainForm::QuitProgram), "MItm_TrayQuit");
  FTray->setContextMenu(Menu);
  connect(FTray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason R) {
    if (R == QSystemTrayIcon::Trigger || R == QSystemTrayIcon::DoubleClick) Wnd_ToFront(this);
  });
  connect(FTray, &QObject::destroyed, Menu, &QObject::deleteLater);
  UpdTrayTip();
  FTray->show();
}

void TMainForm::UpdTrayTip() {
  if (!FTray) return;
  int Running = 0;
  if (JobCtrl)
    for (const auto &J : JobCtrl->JobList())
      if (J->MonState == msRunning) ++Running;
  std::string Tip = AppTitle;
  Tip +=
      Running == 0 ? std::string(": no job running") : Format(Running == 1 ? ": %d job running" : ": %d jobs running", {Running});
  FTray->setToolTip(QString::fromStdString(Tip));
}

void TMainForm::changeEvent(QEvent *E) {
  QMainWindow::changeEvent(E);
  if (E->type() == QEvent::WindowStateChange && isMinimized()) AppMinimized = true;
}

void TMainForm::CloseUnattended() {
  FUnattended = true;
  emit UnattendedCloseAsked();
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
  SaveDlgDir = QDir::homePath().toStdString();
  QScreen *S = QGuiApplication::primaryScreen();
  const QRect Scr = S ? S->geometry() : QRect(0, 0, 1024, 768);
  if (FirstRun) {
    int W = 680, H = 580;
    if (Scr.width() <= 800)
      W = 580, H = 480;
    else if (Scr.width() <= 1279)
      W = 660, H = 550;
    resize(W, H);
    move((Scr.width() - W) / 2, (Scr.height() - H) / 2);
    if (JobMntr) JobMntr->Show_JobDtlPane();
  } else {
    resize(std::max(GParm.iVw_MFrm_W, 580), std::max(GParm.iVw_MFrm_H, 480));
    move(GParm.iVw_MFrm_L, GParm.iVw_MFrm_T);
    if (JobMntr) {
      if (GParm.bVw_JDtl_Vis) {
        JobMntr->Show_JobDtlPane();
        SetListHeight(GParm.iVw_JMon_H);
      } else {
        JobMntr->Hide_JobDtlPane();
      }
    }
  }
  setWindowTitle(QString::fromLatin1(AppTitle));
  TreeView->expandAll();
  setFont(QApplication::font());
  UpdTray();
}

void TMainForm::SetListHeight(int Height) {
  if (Height <= 0) return;
  // The splitter shares out by proportion, so the sizes are given against
  // its laid-out height; once more after the layout has settled.
  auto Apply = [this, Height] {
    const int Total = Spl_Job->height();
    Spl_Job->setSizes({Height, std::max(Total - Height - Spl_Job->handleWidth(), 100)});
  };
  Pn_JobView->layout()->activate();
  Apply();
  QTimer::singleShot(0, this, Apply);
}

void TMainForm::SetPage(int Page) {
  if (Page < 0 || Page > 1) return;
  if (Page >= Notebook->count()) {
    Log::Err("Fail to set Notebook.PageIndex, wrong flag :" + std::to_string(Page));
    return;
  }
  Notebook->setCurrentIndex(Page);
  (Page == 0 ? MItm_VwMon : MItm_VwLog)->setChecked(true);
  SBtn_Mon->setChecked(Page == 0);
  SBtn_Log->setChecked(Page == 1);
  FramePen(SBtn_Mon, Page == 0 ? "blue" : "black");
  FramePen(SBtn_Log, Page == 1 ? "blue" : "black");
}

void TMainForm::ShowJobCount(int Count) {
  SttBar_Ready->setText(Count <= 0 ? QStringLiteral("Ready")
                                   : QString::fromStdString(Format(Count == 1 ? "%d job" : "%d jobs", {Count})));
}

void TMainForm::PutAtBottom() {
  if (!FHoldZOrder) lower();
}

void TMainForm::TimerTick() {
  if (InitFailed && isVisible()) {
    Timr_ClrMem->stop();
    GLBL_MsgBox(this, "Program has failed in initialization, please check your system and rerun!", MbError);
    QuitProgram();
    return;
  }
  if (isVisible() && !Wnd_OthersShown({this})) emit AutoChkUpdDue();
  emit Ticked();
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
