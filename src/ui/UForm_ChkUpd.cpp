#include "ui/UForm_ChkUpd.h"

#include <QApplication>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <charconv>

#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "ui/Unit_PubWnd.h"

namespace {
constexpr int DlgWidth = 400;
constexpr int AutoHeight = 200, ManualHeight = 130;
// The blanks in the first choice leave room for the day box laid over them.
const char *const RemindCaption = "Remind me after                           days";
const char *const RemindLead = "Remind me after ";

std::string VersionText(float V) {
  char Buf[32];
  auto R = std::to_chars(Buf, Buf + sizeof Buf, V);
  return std::string(Buf, R.ptr);
}
}  // namespace

TUpDown::TUpDown(QLineEdit *Associate, int Min, int Max, QWidget *Parent)
    : QWidget(Parent), FEdit(Associate), FMin(Min), FMax(Max), FPos(Min) {
  setObjectName(QStringLiteral("UD_Day"));
  auto *V = new QVBoxLayout(this);
  V->setContentsMargins(0, 0, 0, 0);
  V->setSpacing(0);
  Btn_Up = new QToolButton(this);
  Btn_Down = new QToolButton(this);
  Btn_Up->setArrowType(Qt::UpArrow);
  Btn_Down->setArrowType(Qt::DownArrow);
  for (QToolButton *B : {Btn_Up, Btn_Down}) {
    B->setAutoRepeat(true);
    B->setFocusPolicy(Qt::NoFocus);
    B->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    B->setStyleSheet(
        QStringLiteral("QToolButton { border: 1px solid #a0a0a0; background: #f0f0f0; padding: 0; }"
                       "QToolButton:pressed { background: #d8d8d8; }"));
    V->addWidget(B);
  }
  connect(Btn_Up, &QToolButton::clicked, this, [this] { StepBy(1); });
  connect(Btn_Down, &QToolButton::clicked, this, [this] { StepBy(-1); });
  FEdit->installEventFilter(this);
}

void TUpDown::StepBy(int Steps) {
  bool Ok = false;
  int N = FEdit->text().trimmed().toInt(&Ok);
  if (Ok) FPos = std::clamp(N, FMin, FMax);
  FPos = std::clamp(FPos + Steps, FMin, FMax);
  FEdit->setText(QString::number(FPos));
}

bool TUpDown::eventFilter(QObject *Obj, QEvent *E) {
  if (Obj == FEdit && E->type() == QEvent::KeyPress) {
    int Key = static_cast<QKeyEvent *>(E)->key();
    if (Key == Qt::Key_Up || Key == Qt::Key_Down) {
      StepBy(Key == Qt::Key_Up ? 1 : -1);
      return true;
    }
  } else if (Obj == FEdit && E->type() == QEvent::Wheel) {
    int Dy = static_cast<QWheelEvent *>(E)->angleDelta().y();
    if (Dy != 0) StepBy(Dy > 0 ? 1 : -1);
    return true;
  }
  return QWidget::eventFilter(Obj, E);
}

TForm_ChkUpd::TForm_ChkUpd(QWidget *Parent)
    : QDialog(Parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("Form_ChkUpd"));
  setWindowTitle(QStringLiteral("Check updates"));
  auto *V = new QVBoxLayout(this);
  V->setContentsMargins(14, 12, 14, 10);
  V->setSpacing(8);

  // The message sits in the middle of the room the reminder leaves.
  V->addStretch(1);
  auto *Top = new QHBoxLayout();
  Top->setSpacing(12);
  auto *Icon = new QLabel(this);
  Icon->setObjectName(QStringLiteral("Img_Icon"));
  Icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
  Top->addWidget(Icon, 0, Qt::AlignTop);
  Lbl_Msg = new QLabel(this);
  Lbl_Msg->setObjectName(QStringLiteral("Lbl_Msg"));
  Lbl_Msg->setWordWrap(true);
  Lbl_Msg->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  Lbl_Msg->setMinimumHeight(32);
  Top->addWidget(Lbl_Msg, 1);
  V->addLayout(Top);

  pn_Reminder = new QWidget(this);
  pn_Reminder->setObjectName(QStringLiteral("pn_Reminder"));
  auto *P = new QVBoxLayout(pn_Reminder);
  P->setContentsMargins(0, 0, 0, 0);
  RG_Rmder = new QGroupBox(QStringLiteral(" Reminder "), pn_Reminder);
  RG_Rmder->setObjectName(QStringLiteral("RG_Rmder"));
  auto *R = new QVBoxLayout(RG_Rmder);
  R->setContentsMargins(10, 8, 10, 8);
  R->setSpacing(10);
  RB_Remind = new QRadioButton(QString::fromLatin1(RemindCaption), RG_Rmder);
  RB_Remind->setObjectName(QStringLiteral("RB_Remind"));
  RB_NoRemind = new QRadioButton(QStringLiteral("Do not remind me"), RG_Rmder);
  RB_NoRemind->setObjectName(QStringLiteral("RB_NoRemind"));
  R->addWidget(RB_Remind);
  R->addWidget(RB_NoRemind);
  RB_Remind->setChecked(true);
  ED_UpdDate = new QLineEdit(RG_Rmder);
  ED_UpdDate->setObjectName(QStringLiteral("ED_UpdDate"));
  ED_UpdDate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  UD_Day = new TUpDown(ED_UpdDate, RemindMinDays, RemindMaxDays, RG_Rmder);
  // Typing a number means the first choice.
  connect(ED_UpdDate, &QLineEdit::textEdited, this, [this] { RB_Remind->setChecked(true); });
  connect(UD_Day->Btn_Up, &QToolButton::clicked, this, [this] { RB_Remind->setChecked(true); });
  connect(UD_Day->Btn_Down, &QToolButton::clicked, this, [this] { RB_Remind->setChecked(true); });
  P->addWidget(RG_Rmder);
  V->addWidget(pn_Reminder);
  V->addStretch(1);

  auto *Btns = new QHBoxLayout();
  Btns->addStretch(1);
  Btn_Ok = new QPushButton(QStringLiteral("OK"), this);
  Btn_Ok->setObjectName(QStringLiteral("Btn_Ok"));
  Btn_Cancle = new QPushButton(QStringLiteral("Cancle"), this);
  Btn_Cancle->setObjectName(QStringLiteral("Btn_Cancle"));
  for (QPushButton *B : {Btn_Ok, Btn_Cancle}) {
    B->setMinimumWidth(80);
    Btns->addWidget(B);
  }
  V->addLayout(Btns);
  connect(Btn_Ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(Btn_Cancle, &QPushButton::clicked, this, &QDialog::reject);
  connect(this, &QDialog::finished, this, &TForm_ChkUpd::OnFinished);
  setFixedWidth(DlgWidth);
}

TForm_ChkUpd::~TForm_ChkUpd() = default;

void TForm_ChkUpd::SetEnv(TUpdEnv Env) {
  FEnv = std::move(Env);
  FFetch.SetCaFile(FEnv.CaFile);
}

void TForm_ChkUpd::AutoChkUpd() {
  if (!FEnv.ChkCyc || !FEnv.ChkDate) return;
  const bool Editing = FEnv.EditWindowShowing && FEnv.EditWindowShowing();
  if (FAutoWaiting) {
    if (!isVisible() && !Editing && !OtherWindowShowing()) ShowAuto();
    return;
  }
  TAutoChkState S;
  S.CheckedThisRun = FChecked;
  S.DialogShowing = isVisible();
  S.EditWindowShowing = Editing;
  S.ChkCyc = *FEnv.ChkCyc;
  S.Today = Date();
  S.NextChk = *FEnv.ChkDate;
  if (!AutoChkDue(S)) return;
  FChecked = true;
  // Due again only after the cycle, whatever the answer turns out to be.
  MoveNextChk();
  StartFetch(TMode::Auto);
}

void TForm_ChkUpd::ChkUpd() {
  if (isVisible()) {
    raise();
    activateWindow();
    return;
  }
  FChecked = true;
  FAutoWaiting = false;
  setWindowTitle(QStringLiteral("Check updates"));
  pn_Reminder->hide();
  Lbl_Msg->setText(QString::fromLatin1(MsgChecking));
  Btn_Ok->setEnabled(false);
  MoveNextChk();
  StartFetch(TMode::Manual);
  ShowAs(TMode::Manual);
  Btn_Cancle->setFocus();
}

void TForm_ChkUpd::StartFetch(TMode Mode) {
  FFetch.Cancel();
  std::string Url = FEnv.Host ? UpdFileUrl(*FEnv.Host) : std::string();
  long double Current = 0.12L;
  StrToFloatDot(FEnv.Version, Current);
  std::string Temp;
  try {
    if (!FEnv.GetTempFile) throw EMossError("No scratch file to download into");
    Temp = FEnv.GetTempFile();
  } catch (const std::exception &E) {
    // Answered on the next turn of the loop, as a fetch would be.
    TUpdAnswer A;
    A.Error = E.what();
    QTimer::singleShot(0, this, [this, Mode, Url, A] { OnAnswer(Mode, Url, A); });
    return;
  }
  auto Free = FEnv.FreeTempFile;
  FFetch.Start(
      Url, Temp, FEnv.TimeoutSec, Current, [this, Mode, Url](const TUpdAnswer &A) { OnAnswer(Mode, Url, A); },
      [Free, Temp] {
        if (Free) Free(Temp);
      });
}

void TForm_ChkUpd::OnAnswer(TMode Mode, const std::string &Url, const TUpdAnswer &A) {
  const char *Who = Mode == TMode::Auto ? "AutoChkUpd" : "ChkUpd";
  if (!A.Read)
    Log::Warn(Format("[%s]: No update information from %s: %s", {Who, Url, A.Error}));
  else
    Log::Info(Format("[%s]: %s names version %s%s", {Who, Url, VersionText(A.Info.Version), A.Newer ? ", a newer one" : ""}));
  if (A.Read) FInfo = A.Info;
  if (Mode == TMode::Auto) {
    if (A.Newer) {
      FAutoWaiting = true;
      const bool Editing = FEnv.EditWindowShowing && FEnv.EditWindowShowing();
      // Never over another window of the program: the main window's timer
      // brings the answer up once it is alone again.
      if (!isVisible() && !Editing && !OtherWindowShowing()) ShowAuto();
    }
  } else if (FShown == TMode::Manual) {
    ShowManualAnswer(A);
  }
}

void TForm_ChkUpd::ShowAuto() {
  FAutoWaiting = false;
  setWindowTitle(QStringLiteral("Auto check updates"));
  Btn_Ok->setEnabled(true);
  pn_Reminder->show();
  Lbl_Msg->setText(QString::fromLatin1(MsgNewer));
  RB_Remind->setChecked(true);
  ED_UpdDate->setText(QString::number(FEnv.ChkCyc ? *FEnv.ChkCyc : 14));
  ShowAs(TMode::Auto);
  Btn_Ok->setFocus();
}

void TForm_ChkUpd::ShowManualAnswer(const TUpdAnswer &A) {
  if (A.Newer) {
    Lbl_Msg->setText(QString::fromLatin1(MsgNewer));
    Btn_Ok->setEnabled(true);
    Btn_Ok->setFocus();
  } else {
    QString Text = QString::fromLatin1(MsgNone);
    // Saying only "no updates" when the site could not be asked would tell
    // the user something nobody knows.
    if (!A.Read) Text += QStringLiteral("\n(the update information could not be read: %1)").arg(QString::fromStdString(A.Error));
    Lbl_Msg->setText(Text);
    Btn_Ok->setEnabled(false);
    Btn_Cancle->setFocus();
  }
  FitHeight(ManualHeight);
}

void TForm_ChkUpd::ShowAs(TMode Mode) {
  FShown = Mode;
  setModal(true);
  FitHeight(Mode == TMode::Auto ? AutoHeight : ManualHeight);
  if (QScreen *S = QGuiApplication::primaryScreen()) {
    QRect A = S->availableGeometry();
    move(A.x() + (A.width() - width()) / 2, A.y() + (A.height() - height()) / 2);
  }
  show();
  raise();
  activateWindow();
}

void TForm_ChkUpd::FitHeight(int Height) {
  layout()->activate();
  QLayout *L = layout();
  int Need = L->hasHeightForWidth() ? L->totalHeightForWidth(DlgWidth) : L->totalMinimumSize().height();
  setFixedSize(DlgWidth, std::max(Height, Need));
  PlaceDayBox();
}

void TForm_ChkUpd::OnFinished(int Result) {
  TMode Mode = FShown;
  FShown = TMode::None;
  // Left before the answer came: it is not wanted any more.
  if (Mode == TMode::Manual && FFetch.Busy()) FFetch.Cancel();
  if (Result == QDialog::Accepted && Btn_Ok->isEnabled() && !FInfo.Url.empty()) Shell_Open(FInfo.Url);
  if (Mode == TMode::Auto && FEnv.ChkCyc) {
    // Kept however the dialog was left.
    *FEnv.ChkCyc = RB_NoRemind->isChecked() ? 0 : ReminderDays(ED_UpdDate->text().toStdString());
    MoveNextChk();
  }
}

void TForm_ChkUpd::MoveNextChk() {
  if (FEnv.ChkCyc && FEnv.ChkDate) *FEnv.ChkDate = NextChkDate(Date(), *FEnv.ChkCyc);
}

bool TForm_ChkUpd::OtherWindowShowing() const {
  const QWidget *Main = parentWidget() ? parentWidget()->window() : nullptr;
  return Wnd_OthersShown({this, Main});
}

void TForm_ChkUpd::showEvent(QShowEvent *E) {
  QDialog::showEvent(E);
  PlaceDayBox();
}

void TForm_ChkUpd::resizeEvent(QResizeEvent *E) {
  QDialog::resizeEvent(E);
  PlaceDayBox();
}

void TForm_ChkUpd::PlaceDayBox() {
  if (!RB_Remind || !ED_UpdDate) return;
  QStyleOptionButton Opt;
  Opt.initFrom(RB_Remind);
  Opt.text = RB_Remind->text();
  QRect Text = RB_Remind->style()->subElementRect(QStyle::SE_RadioButtonContents, &Opt, RB_Remind);
  QFontMetrics Fm(RB_Remind->font());
  int X = RB_Remind->x() + Text.x() + Fm.horizontalAdvance(QString::fromLatin1(RemindLead));
  int Room = Fm.horizontalAdvance(QString(27, QLatin1Char(' ')));
  int UdW = 16, EdW = std::clamp(Room - UdW - 8, 28, 44);
  X += std::max(0, (Room - EdW - UdW) / 2);
  int H = std::max(RB_Remind->height(), Fm.height() + 8);
  int Y = RB_Remind->y() + (RB_Remind->height() - H) / 2;
  ED_UpdDate->setGeometry(X, Y, EdW, H);
  UD_Day->setGeometry(X + EdW, Y, UdW, H);
  ED_UpdDate->raise();
  UD_Day->raise();
}
