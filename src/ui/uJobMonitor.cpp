#include "ui/uJobMonitor.h"

#include <QAction>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>
#include <fstream>

#include "jobs/Unit_JobCntl.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "pub/uGlobalParm.h"
#include "pub/uRunVars.h"
#include "ui/Unit_Msg.h"
#include "ui/Unit_PubWnd.h"
#include "ui/uForm_main.h"
#include "ui/uJobDtlText.h"

TJobMonitor *JobMntr = nullptr;

namespace {
constexpr const char *FirstUseText =
    "No job yet. Add the Mossgather extension to your browser, then right-click a page, a selection or a picture "
    "and choose a Mossgather entry.\nTo check the set-up, use \"Check connection\" on the extension's button, "
    "or run: mossgather -doctor";
constexpr int JobRole = Qt::UserRole;
constexpr int ColState = 0, ColType = 1, ColTitle = 2, ColCnt = 3, ColFn = 4;

std::vector<PJobRec> AllJobs() { return JobCtrl ? JobCtrl->JobList() : std::vector<PJobRec>{}; }

QPixmap DrawState(int State) {
  QPixmap P(16, 16);
  P.fill(Qt::transparent);
  QPainter G(&P);
  G.setRenderHint(QPainter::Antialiasing);
  QPen Pen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  switch (State) {
    case msQueue:  // a clock: waiting
      G.setPen(QColor(70, 90, 120));
      G.setBrush(QColor(214, 222, 235));
      G.drawEllipse(QRectF(1.5, 1.5, 13, 13));
      G.setPen(QPen(QColor(70, 90, 120), 1.6, Qt::SolidLine, Qt::RoundCap));
      G.drawLine(QPointF(8, 8), QPointF(8, 4));
      G.drawLine(QPointF(8, 8), QPointF(11, 9.5));
      break;
    case msRunning: {  // an arrow into a tray: saving
      G.setPen(Qt::NoPen);
      G.setBrush(QColor(38, 120, 210));
      G.drawEllipse(QRectF(1, 1, 14, 14));
      G.setPen(Pen);
      G.drawLine(QPointF(8, 4), QPointF(8, 10.5));
      G.drawLine(QPointF(5.2, 8), QPointF(8, 10.8));
      G.drawLine(QPointF(10.8, 8), QPointF(8, 10.8));
      break;
    }
    case msEndError:  // an exclamation mark
      G.setPen(Qt::NoPen);
      G.setBrush(QColor(210, 60, 50));
      G.drawEllipse(QRectF(1, 1, 14, 14));
      G.setPen(Pen);
      G.drawLine(QPointF(8, 4.2), QPointF(8, 8.8));
      G.drawPoint(QPointF(8, 11.6));
      break;
    case msComplete:  // a check mark
      G.setPen(Qt::NoPen);
      G.setBrush(QColor(46, 150, 70));
      G.drawEllipse(QRectF(1, 1, 14, 14));
      G.setPen(Pen);
      G.drawPolyline(QPolygonF({QPointF(4.6, 8.2), QPointF(7, 10.6), QPointF(11.4, 5.6)}));
      break;
    default: {  // the root: a stack of lines
      G.setPen(QPen(QColor(90, 100, 110), 1.5, Qt::SolidLine, Qt::RoundCap));
      for (int Y : {4, 8, 12}) G.drawLine(QPointF(3, Y), QPointF(13, Y));
      break;
    }
  }
  return P;
}
}  // namespace

QIcon TJobMonitor::StateIcon(int State) {
  static QIcon Icons[5];
  if (State < 0 || State > 4) return {};
  if (Icons[State].isNull()) Icons[State] = QIcon(DrawState(State));
  return Icons[State];
}

TJobMonitor::TJobMonitor(TMainForm &Form) : FForm(Form) {
  QTreeWidget *T = Form.TreeView;
  T->clear();
  auto *Root = new QTreeWidgetItem(T, {QStringLiteral("Job Status (All)")});
  Root->setIcon(0, StateIcon(0));
  Root->setData(0, JobRole, 0);
  const char *Names[] = {"Queue", "Running", "Error", "Complete"};
  for (int I = 0; I < 4; ++I) {
    auto *N = new QTreeWidgetItem(Root, {QString::fromLatin1(Names[I])});
    N->setIcon(0, StateIcon(I + 1));
    N->setData(0, JobRole, I + 1);
  }
  T->expandAll();
  T->setCurrentItem(Root);

  connect(T, &QTreeWidget::currentItemChanged, this, [this] { Rebld_LstView(); });
  QTreeWidget *L = Form.LstVw_Mntr;
  connect(L, &QTreeWidget::itemClicked, this, [this] { Refsh_JobDtl(); });
  L->installEventFilter(this);
  FHint = new QLabel(QString::fromLatin1(FirstUseText), L->viewport());
  FHint->setObjectName(QStringLiteral("Lbl_FirstUse"));
  FHint->setWordWrap(true);
  FHint->setAlignment(Qt::AlignCenter);
  FHint->setEnabled(false);
  FHint->setTextInteractionFlags(Qt::TextSelectableByMouse);
  L->viewport()->installEventFilter(this);
  PlaceHint();
  // The list is shown already when the program's modules start.
  FHint->show();
  connect(Form.SBtn_Refresh, &QAbstractButton::clicked, this, [this] { Refsh_JobDtl(); });
  connect(Form.SBtn_ClsDtl, &QAbstractButton::clicked, this, [this] { Hide_JobDtlPane(); });
  connect(Form.MItm_RefreshDtl, &QAction::triggered, this, [this] { Refsh_JobDtl(); });
  connect(Form.MItm_JobDtl, &QAction::triggered, this, [this] { Switch_JobDtlPane(); });
  connect(Form.PMenu_Mntr, &QMenu::aboutToShow, this, [this] { PopupOpening(); });
  connect(Form.MItm_ReRun, &QAction::triggered, this, [this] { MItm_ReRunClick(); });
  connect(Form.MItm_ReRunAll, &QAction::triggered, this, [this] { MItm_ReRunAllClick(); });
  connect(Form.MItm_StopJob, &QAction::triggered, this, [this] { MItm_StopJobClick(); });
  connect(Form.MItm_StopAll, &QAction::triggered, this, [this] { MItm_StopAllClick(); });
  connect(Form.MItm_Delete, &QAction::triggered, this, [this] { MItm_DeleteClick(); });
  connect(Form.MItm_GoNext, &QAction::triggered, this, [this] { MItm_GoNextClick(); });
  connect(Form.MItm_Explore, &QAction::triggered, this, [this] { MItm_ExploreClick(); });
  connect(Form.MItm_SavUrlLst, &QAction::triggered, this, [this] { MItm_SavUrlLstClick(); });
}

TJobMonitor::~TJobMonitor() {
  FForm.LstVw_Mntr->viewport()->removeEventFilter(this);
  FForm.LstVw_Mntr->removeEventFilter(this);
  FForm.LstVw_Mntr->clear();
}

void TJobMonitor::LogFail(const char *Tips, const char *Mthd, const std::string &What) const {
  Log::ErrFmt(ErrTipsFmt, {Tips, Mthd, What}, false);
}

bool TJobMonitor::PassFilter(const PJobRec &Job) const {
  bool Listed = false;
  try {
    const auto &All = JobCtrl ? JobCtrl->JobList() : std::vector<PJobRec>{};
    Listed = std::find(All.begin(), All.end(), Job) != All.end();
  } catch (...) {
    Listed = false;
  }
  const uint8_t Mon = Job->MonState;
  return Listed && Mon != msDeleted && (FFilter == 0 || Mon == FFilter);
}

TJobRec *TJobMonitor::ItemJob(const QTreeWidgetItem *Item) const { return ItemPJob(Item).get(); }

QTreeWidgetItem *TJobMonitor::FirstSelected() const {
  QTreeWidget *L = FForm.LstVw_Mntr;
  for (int I = 0; I < L->topLevelItemCount(); ++I)
    if (L->topLevelItem(I)->isSelected()) return L->topLevelItem(I);
  return nullptr;
}

void TJobMonitor::AddLstItem(const PJobRec &Job) {
  auto *It = new QTreeWidgetItem(FForm.LstVw_Mntr);
  // The job's number, not the job: an item outliving its job finds nothing.
  It->setData(ColState, JobRole, Job->JobId.load());
  UpdLstItem(It);
}

void TJobMonitor::PlaceHint() {
  QWidget *V = FForm.LstVw_Mntr->viewport();
  FHint->setGeometry(V->rect().adjusted(16, 8, -16, -8));
}

void TJobMonitor::Run_ChgJobSta(const PJobRec &Job) {
  if (SysState == 2 || !Job) return;
  // Once a job has come the list needs no explaining, whatever it shows.
  FHint->hide();
  FForm.UpdTrayTip();
  try {
    auto Pos = std::find(FShown.begin(), FShown.end(), Job);
    QTreeWidget *L = FForm.LstVw_Mntr;
    if (PassFilter(Job)) {
      if (Pos == FShown.end()) {
        FShown.push_back(Job);
        AddLstItem(Job);
      } else {
        for (int I = 0; I < L->topLevelItemCount(); ++I)
          if (ItemNumber(L->topLevelItem(I)) == Job->JobId) UpdLstItem(L->topLevelItem(I));
      }
    } else if (Pos != FShown.end()) {
      FShown.erase(Pos);
      QTreeWidgetItem *First = FirstSelected();
      for (int I = L->topLevelItemCount() - 1; I >= 0; --I) {
        QTreeWidgetItem *It = L->topLevelItem(I);
        // A cancelled job has left the list and lost its number: its item
        // is the one whose number finds no job any more.
        const PJobRec Of = ItemPJob(It);
        if (Of && Of != Job) continue;
        const bool WasFirst = It == First;
        delete It;
        if (WasFirst) Refsh_JobDtl();
      }
    }
  } catch (const std::exception &E) {
    LogFail("Expection", "TJobMonitor.Run_ChgJobSta", E.what());
  }
}

void TJobMonitor::Rebld_LstView() {
  try {
    QTreeWidgetItem *Node = FForm.TreeView->currentItem();
    if (!Node) return;
    const int Idx = Node->data(0, JobRole).toInt();
    if (Idx < 0 || Idx > 4) return;
    FFilter = Idx;
    FShown.clear();
    for (const auto &J : AllJobs())
      if (PassFilter(J)) FShown.push_back(J);
    FForm.LstVw_Mntr->clear();
    for (const auto &J : FShown) AddLstItem(J);
    FForm.Memo_JobDtl->clear();
  } catch (const std::exception &E) {
    LogFail("Fails", "TJobMonitor.Rebld_LstView", E.what());
  }
}

void TJobMonitor::UpdLstItem(QTreeWidgetItem *Item) {
  try {
    const PJobRec J = ItemPJob(Item);
    if (!J) return;
    const uint8_t Mon = J->MonState;
    Item->setIcon(ColState, Mon >= 1 && Mon <= 4 ? StateIcon(Mon) : QIcon());
    Item->setText(ColType, QString::fromLatin1(JobTypeText(J->Kind)));
    Item->setText(ColTitle, QString::fromStdString(J->Title));
    Item->setText(ColCnt, QString::fromStdString(Format("%d/%d", {J->SavedCnt.load(), J->TotalCnt.load()})));
    Item->setText(ColFn, QString::fromStdString(Fn_ExtractName(J->CurFile.Get())));
  } catch (const std::exception &E) {
    LogFail("Fails", "TJobMonitor.UpdLstItem", E.what());
  }
}

void TJobMonitor::Refsh_JobDtl() {
  if (!GParm.bVw_JDtl_Vis) return;
  QTreeWidgetItem *It = FirstSelected();
  if (!It) It = FForm.LstVw_Mntr->currentItem();
  const PJobRec J = ItemPJob(It);
  if (J)
    Show_JobDtl(*J);
  else
    FForm.Memo_JobDtl->clear();
}

void TJobMonitor::Show_JobDtl(const TJobRec &Job) {
  FForm.Memo_JobDtl->setPlainText(QString::fromStdString(JobDtlText(Job, Now())));
}

int32_t TJobMonitor::ItemNumber(const QTreeWidgetItem *Item) {
  bool Ok = false;
  const int32_t Id = Item ? Item->data(ColState, JobRole).toInt(&Ok) : -1;
  return Ok ? Id : -1;
}

PJobRec TJobMonitor::ItemPJob(const QTreeWidgetItem *Item) const {
  const int32_t Id = ItemNumber(Item);
  return Id != -1 && JobCtrl ? JobCtrl->JobById(Id) : nullptr;
}

void TJobMonitor::Show_JobDtlPane() {
  GParm.bVw_JDtl_Vis = true;
  const int Panel = FForm.Pn_JobView->height();
  FForm.Pn_JobDtl->setVisible(true);
  FForm.SetListHeight(static_cast<int>(std::lround(0.55 * Panel)));
  FForm.MItm_JobDtl->setChecked(true);
  FForm.MItm_RefreshDtl->setEnabled(true);
  Refsh_JobDtl();
}

void TJobMonitor::Hide_JobDtlPane() {
  GParm.bVw_JDtl_Vis = false;
  FForm.Pn_JobDtl->setVisible(false);
  FForm.MItm_JobDtl->setChecked(false);
  FForm.MItm_RefreshDtl->setEnabled(false);
}

void TJobMonitor::Switch_JobDtlPane() {
  if (GParm.bVw_JDtl_Vis)
    Hide_JobDtlPane();
  else
    Show_JobDtlPane();
}

void TJobMonitor::PopupOpening() {
  QTreeWidget *L = FForm.LstVw_Mntr;
  FSelected.clear();
  for (int I = 0; I < L->topLevelItemCount(); ++I)
    if (L->topLevelItem(I)->isSelected())
      if (PJobRec J = ItemPJob(L->topLevelItem(I))) FSelected.push_back(J);
  FCurJob = FSelected.empty() ? nullptr : FSelected.front();
  // Every job of the controller counts, also those the tree's filter hides.
  int Running = 0, Errors = 0, SelRunning = 0, SelErrors = 0, SelComplete = 0;
  for (const auto &J : AllJobs()) {
    const uint8_t Mon = J->MonState;
    const bool Sel = std::find(FSelected.begin(), FSelected.end(), J) != FSelected.end();
    Running += Mon == msRunning;
    Errors += Mon == msEndError;
    SelRunning += Sel && Mon == msRunning;
    SelErrors += Sel && Mon == msEndError;
    SelComplete += Sel && Mon == msComplete;
  }
  const bool One = FSelected.size() == 1;
  FForm.MItm_ReRun->setEnabled(SelErrors > 0);
  FForm.MItm_ReRunAll->setEnabled(Errors > 0);
  FForm.MItm_StopJob->setEnabled(SelRunning > 0);
  FForm.MItm_StopAll->setEnabled(Running > 0);
  FForm.MItm_Delete->setEnabled(SelErrors + SelComplete > 0);
  FForm.MItm_GoNext->setEnabled(One && FCurJob->MonState == msRunning);
  FForm.MItm_Explore->setEnabled(One);
  FForm.MItm_SavUrlLst->setEnabled(One);
}

namespace {
// Runs a controller operation on each job of a list that is in one of the
// states. The list is a copy: each call may change the controller's lists.
void ForJobsIn(const std::vector<PJobRec> Jobs, std::initializer_list<uint8_t> States, bool (TJobCtrl::*Op)(const PJobRec &)) {
  if (!JobCtrl) return;
  for (const PJobRec &J : Jobs)
    if (std::find(States.begin(), States.end(), J->MonState.load()) != States.end()) (JobCtrl->*Op)(J);
}
}  // namespace

void TJobMonitor::MItm_ReRunClick() { ForJobsIn(FSelected, {msEndError}, &TJobCtrl::PJob_ReRun); }
void TJobMonitor::MItm_ReRunAllClick() { ForJobsIn(AllJobs(), {msEndError}, &TJobCtrl::PJob_ReRun); }
void TJobMonitor::MItm_StopJobClick() { ForJobsIn(FSelected, {msRunning}, &TJobCtrl::PJob_Stop); }
void TJobMonitor::MItm_StopAllClick() { ForJobsIn(AllJobs(), {msRunning}, &TJobCtrl::PJob_Stop); }
void TJobMonitor::MItm_DeleteClick() { ForJobsIn(FSelected, {msEndError, msComplete}, &TJobCtrl::PJob_Delete); }

void TJobMonitor::MItm_GoNextClick() {
  if (JobCtrl && FCurJob && FCurJob->MonState == msRunning) JobCtrl->PJob_GoNxtFl(FCurJob);
}

void TJobMonitor::MItm_ExploreClick() {
  try {
    if (!FCurJob || FCurJob->FileList.empty()) throw EMossError("The job has no file");
    std::string Dir = Fn_ExtractDir(FCurJob->FileList.front()->LocalName);
    if (Dir.empty()) throw EMossError("The file has no folder");
    if (Dir.size() > 1) Dir.pop_back();
    Shell_Open(Dir);
  } catch (const std::exception &E) {
    LogFail("Explore error", "TMainForm.MItm_ExploreClick", E.what());
  }
}

void TJobMonitor::MItm_SavUrlLstClick() {
  if (!FCurJob) return;
  const std::vector<std::string> Urls = JobUrlList(*FCurJob);
  QFileDialog Dlg(&FForm, QStringLiteral("Save url list"), QString::fromStdString(FForm.SaveDlgDir),
                  QStringLiteral("*.txt (*.txt);;All (*)"));
  Dlg.setObjectName(QStringLiteral("SaveDialog"));
  Dlg.setAcceptMode(QFileDialog::AcceptSave);
  Dlg.setOption(QFileDialog::DontUseNativeDialog);
  Dlg.selectFile(QStringLiteral("list"));
  if (Dlg.exec() != QDialog::Accepted || Dlg.selectedFiles().isEmpty()) return;
  const std::string Path = UrlListFileName(Dlg.selectedFiles().front().toStdString());
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  for (const auto &U : Urls) Out << U << '\n';
  Out.close();
  if (!Out) {
    // Writing fails on a full disk or a folder without rights; the user
    // must not take the list for saved.
    LogFail("Can not write url list", "TJobMonitor.MItm_SavUrlLstClick", Path);
    GLBL_MsgBox(&FForm, Format("Can not write file:\r\n%s", {Path}), MbError);
  }
}

bool TJobMonitor::eventFilter(QObject *Obj, QEvent *E) {
  if (Obj == FForm.LstVw_Mntr->viewport() && E->type() == QEvent::Resize) PlaceHint();
  if (Obj == FForm.LstVw_Mntr && E->type() == QEvent::KeyRelease) {
    const int K = static_cast<QKeyEvent *>(E)->key();
    if (K == Qt::Key_Up || K == Qt::Key_Down) Refsh_JobDtl();
  }
  return QObject::eventFilter(Obj, E);
}
