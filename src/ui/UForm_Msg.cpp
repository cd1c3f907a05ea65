#include "ui/UForm_Msg.h"

#include <QEnterEvent>
#include <QEventLoop>
#include <QFrame>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTextLayout>
#include <QToolButton>
#include <algorithm>
#include <vector>

#include "ui/Unit_Msg.h"
#include "ui/Unit_PubWnd.h"
#include "ui/uForm_main.h"

namespace {

constexpr int FormW = 215, FormH = 170;
constexpr int CountFrom = 5;
constexpr int FadeSteps = 9;
constexpr int FadeWaitMs = 50;

// While the tip shows or hides, the main window must not push itself back
// above or below it.
void HoldMainZOrder(bool On) {
  if (MainForm) MainForm->SetHoldZOrder(On);
}

// Set for a scope; cleared on the way out even when the scope throws.
struct THoldZOrder {
  THoldZOrder() { HoldMainZOrder(true); }
  ~THoldZOrder() { HoldMainZOrder(false); }
  THoldZOrder(const THoldZOrder &) = delete;
  THoldZOrder &operator=(const THoldZOrder &) = delete;
};

// Lets the event loop run for Ms: mouse moves, timer ticks and further
// tips reach the window meanwhile.
void WaitProcessing(int Ms) {
  QEventLoop Loop;
  QTimer::singleShot(Ms, &Loop, &QEventLoop::quit);
  Loop.exec();
}

QString Plain(const std::string &S) { return QString::fromStdString(S); }

QLabel *MakeLabel(QWidget *Parent, const char *Name, const QRect &Geo, const QString &Text = QString()) {
  auto *L = new QLabel(Parent);
  L->setObjectName(QString::fromLatin1(Name));
  L->setTextFormat(Qt::PlainText);
  L->setGeometry(Geo);
  L->setText(Text);
  return L;
}

TFitLabel *MakeFitLabel(QWidget *Parent, const char *Name, const QRect &Geo) {
  auto *L = new TFitLabel(Parent);
  L->setObjectName(QString::fromLatin1(Name));
  L->setGeometry(Geo);
  return L;
}

QFont BoldOf(QFont F) {
  F.setBold(true);
  return F;
}

void SetTextColor(QWidget *W, const QColor &C) {
  QPalette P = W->palette();
  P.setColor(QPalette::WindowText, C);
  W->setPalette(P);
}

}  // namespace

// ---------------------------------------------------------------------------

TFitLabel::TFitLabel(QWidget *Parent) : QLabel(Parent) { setTextFormat(Qt::PlainText); }

QStringList TFitLabel::ShownLines() const {
  const QFontMetrics Fm(font());
  const QRect R = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
  const int W = std::max(1, R.width());
  QString T = text();
  T.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
  T.replace(QLatin1Char('\n'), QChar::LineSeparator);
  T.remove(QLatin1Char('\r'));
  auto Flat = [](QString S) { return S.replace(QChar::LineSeparator, QLatin1Char(' ')).trimmed(); };
  if (!wordWrap()) return {Fm.elidedText(Flat(T), Qt::ElideRight, W)};

  QTextLayout Lay(T, font());
  QTextOption Opt;
  Opt.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  Lay.setTextOption(Opt);
  std::vector<std::pair<int, int>> Lines;
  Lay.beginLayout();
  for (QTextLine Ln = Lay.createLine(); Ln.isValid(); Ln = Lay.createLine()) {
    Ln.setLineWidth(W);
    Lines.emplace_back(Ln.textStart(), Ln.textLength());
  }
  Lay.endLayout();

  const int MaxLines = std::max(1, R.height() / Fm.lineSpacing());
  QStringList Out;
  for (int I = 0; I < static_cast<int>(Lines.size()) && I < MaxLines; ++I) {
    const bool Cut = I == MaxLines - 1 && static_cast<int>(Lines.size()) > MaxLines;
    if (Cut)
      Out << Fm.elidedText(Flat(T.mid(Lines[I].first)), Qt::ElideRight, W);
    else
      Out << Flat(T.mid(Lines[I].first, Lines[I].second));
  }
  return Out;
}

void TFitLabel::paintEvent(QPaintEvent *) {
  QPainter P(this);
  P.setFont(font());
  P.setPen(palette().color(foregroundRole()));
  const QRect R = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
  const QStringList Lines = ShownLines();
  if (!wordWrap()) {
    P.drawText(R, static_cast<int>(alignment()), Lines.value(0));
    return;
  }
  const int Lh = QFontMetrics(font()).lineSpacing();
  const int Horz = static_cast<int>(alignment() & Qt::AlignHorizontal_Mask);
  for (int I = 0; I < Lines.size(); ++I)
    P.drawText(QRect(R.left(), R.top() + I * Lh, R.width(), Lh), Horz | Qt::AlignVCenter, Lines[I]);
}

// ---------------------------------------------------------------------------

TForm_Msg::TForm_Msg() : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("Form_Msg"));
  setWindowTitle(QStringLiteral("Mossgather"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFixedSize(FormW, FormH);
  setFont(QFont(QStringLiteral("Tahoma"), 9));

  // Created back to front: the background, the texts, then the face that
  // takes the mouse for the whole window, and the button above it.
  Shape_bg = new QFrame(this);
  Shape_bg->setObjectName(QStringLiteral("Shape_bg"));
  Shape_bg->setGeometry(0, 0, FormW, FormH);
  SetBgColor(QColor(157, 173, 174));

  Lbl_Title = MakeLabel(this, "Lbl_Title", QRect(1, 1, FormW - 2, 20), QStringLiteral("  Mossgather"));
  Lbl_Title->setFont(BoldOf(font()));
  Lbl_Title->setAutoFillBackground(true);
  {
    QPalette P = Lbl_Title->palette();
    P.setColor(QPalette::Window, QColor(134, 170, 253));
    P.setColor(QPalette::WindowText, Qt::black);
    Lbl_Title->setPalette(P);
  }
  Lbl_Time = MakeLabel(this, "Lbl_Time", QRect(FormW - 2 - 50, 1, 45, 20));
  Lbl_Time->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  QFont TimeFont(QStringLiteral("Arial"), 9);
  TimeFont.setItalic(true);
  Lbl_Time->setFont(TimeFont);

  Lbl_Result = MakeLabel(this, "Lbl_Result", QRect(8, 28, 52, 18), QStringLiteral("Result:"));
  Lbl_Saved = MakeLabel(this, "Lbl_Saved", QRect(8, 48, 52, 18), QStringLiteral("Saved:"));
  Lbl_Detail = MakeLabel(this, "Lbl_Detail", QRect(8, 68, 52, 18), QStringLiteral("Detail:"));
  for (QLabel *L : {Lbl_Result, Lbl_Saved, Lbl_Detail}) SetTextColor(L, QColor(64, 64, 64));

  Lbl_Rslt = MakeLabel(this, "Lbl_Rslt", QRect(62, 28, 94, 18));
  Lbl_Rslt->setFont(BoldOf(font()));
  SetTextColor(Lbl_Rslt, Qt::blue);

  Lbl_SecMsg = MakeFitLabel(this, "Lbl_SecMsg", QRect(62, 48, FormW - 62 - 7, 18));
  Lbl_SecMsg->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  Lbl_SecMsg->setFont(BoldOf(font()));
  SetTextColor(Lbl_SecMsg, Qt::black);

  Shape_Msg = new QFrame(this);
  Shape_Msg->setObjectName(QStringLiteral("Shape_Msg"));
  Shape_Msg->setGeometry(7, 88, 200, 74);
  Shape_Msg->setStyleSheet(
      QStringLiteral("#Shape_Msg { background-color: white; border: 1px solid rgb(0,102,204); border-radius: 7px; }"));
  Lbl_Msg = MakeFitLabel(this, "Lbl_Msg", Shape_Msg->geometry().adjusted(5, 4, -5, -4));
  Lbl_Msg->setWordWrap(true);
  Lbl_Msg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  SetTextColor(Lbl_Msg, Qt::black);

  Img_Face = MakeLabel(this, "Img_Face", rect());
  Img_Face->setToolTip(QStringLiteral("Click to close"));
  Img_Face->setMouseTracking(true);
  Img_Face->installEventFilter(this);

  SBtn_Open = new QToolButton(this);
  SBtn_Open->setObjectName(QStringLiteral("SBtn_Open"));
  SBtn_Open->setText(QStringLiteral("Open"));
  SBtn_Open->setToolTip(QStringLiteral("Open Mossgather"));
  SBtn_Open->setAutoRaise(true);
  SBtn_Open->setFocusPolicy(Qt::NoFocus);
  SBtn_Open->setCursor(Qt::PointingHandCursor);
  // Flat, but still plainly a button on any of the three tip colours.
  SBtn_Open->setStyleSheet(
      QStringLiteral("#SBtn_Open { border: 1px solid rgb(0,102,204); border-radius: 3px; background: rgba(255,255,255,110); }"
                     "#SBtn_Open:hover { background: white; }"
                     "#SBtn_Open:pressed { background: rgb(134,170,253); }"));
  SBtn_Open->setGeometry(FormW - 7 - 48, 26, 48, 20);
  connect(SBtn_Open, &QToolButton::clicked, this, [this] { CloseMsg(2); });

  Timer_Close = new QTimer(this);
  Timer_Close->setInterval(1000);
  connect(Timer_Close, &QTimer::timeout, this, &TForm_Msg::Timer_CloseTimer);
}

TForm_Msg::~TForm_Msg() = default;

void TForm_Msg::SetBgColor(const QColor &C) {
  QPalette P = palette();
  P.setColor(QPalette::Window, C);
  setPalette(P);
  Shape_bg->setStyleSheet(
      QStringLiteral("#Shape_bg { background-color: %1; border: 1px solid rgb(0,102,204); }").arg(C.name(QColor::HexRgb)));
}

void TForm_Msg::FirstPlace() {
  // The whole screen, not the work area: the tip sits just above where a
  // bottom panel usually is.
  if (QScreen *S = QGuiApplication::primaryScreen()) {
    const QRect G = S->geometry();
    setGeometry(G.x() + G.width() - FormW - 35, G.y() + G.height() - FormH - 85, FormW, FormH);
  }
  Lbl_Title->setGeometry(1, 1, Shape_bg->width() - 2, 20);
  Lbl_Time->setGeometry(Lbl_Title->width() - 50, 1, 45, 20);
  Img_Face->setGeometry(rect());
  Shape_bg->lower();
  Img_Face->raise();
  SBtn_Open->raise();
  FTag = 1;
}

void TForm_Msg::ShowMsg(const TMsgRcd &R) {
  SetBgColor(R.Color);
  Lbl_Rslt->setText(Plain(R.Title));
  Lbl_Msg->setText(Plain(R.Msg));
  Lbl_SecMsg->setText(Plain(R.SecMsg));
  FSecLeft = CountFrom;
  Lbl_Time->setText(QString::number(CountFrom));
  Lbl_Time->show();
  Timer_Close->start();
  {
    THoldZOrder Hold;
    SetOpacity(255 / FadeSteps);
    if (!FTag) FirstPlace();
    show();
    raise();
  }
  FHover = false;
  Lbl_Time->show();
  FFadeStep = 0;
  // A tip that arrives during a fade-in (its waits run the event loop) only
  // restarts the running fade; a nested one would let the outer fade go on
  // dimming the newer tip afterwards.
  if (!FFading) FadeIn();
}

void TForm_Msg::FadeIn() {
  QPointer<TForm_Msg> Self(this);
  FFading = true;
  struct TEnd {
    QPointer<TForm_Msg> &S;
    ~TEnd() {
      if (S) S->FFading = false;
    }
  } End{Self};
  while (++FFadeStep < FadeSteps) {
    SetOpacity(FFadeStep * 255 / FadeSteps);
    if (FHover) break;
    WaitProcessing(FadeWaitMs);
    // The window may have been freed (exit) or closed while we waited.
    if (!Self || !isVisible()) return;
  }
  SetOpacity(255);
}

void TForm_Msg::SetOpacity(int Value) { setWindowOpacity(std::clamp(Value, 0, 255) / 255.0); }

void TForm_Msg::Timer_CloseTimer() {
  if (FHover) return;
  --FSecLeft;
  SetOpacity(FSecLeft * 255 / CountFrom);
  Lbl_Time->setText(QString::number(FSecLeft));
  if (FSecLeft <= 0) CloseMsg(0);
}

void TForm_Msg::CloseMsg(int How) {
  if (EditWnd_Raise()) {
  } else if (How == 1) {
    // Only a window of ours that is still on screen can take the focus back.
    if (PrevFgWnd && PrevFgWnd->isVisible()) {
      PrevFgWnd->raise();
      PrevFgWnd->activateWindow();
    }
  } else if (How == 2) {
    HoldMainZOrder(false);
    Wnd_ToFront(MainForm);
  }
  THoldZOrder Hold;
  hide();
  Timer_Close->stop();
}

void TForm_Msg::MouseOver() {
  if (FHover || !isVisible()) return;
  FHover = true;
  Lbl_Time->hide();
  SetOpacity(255);
  HoldMainZOrder(true);
}

void TForm_Msg::MouseLeft() {
  FSecLeft = CountFrom;
  Lbl_Time->setText(QString::number(CountFrom));
  HoldMainZOrder(false);
  FHover = false;
  Lbl_Time->show();
}

void TForm_Msg::enterEvent(QEnterEvent *E) {
  QWidget::enterEvent(E);
  MouseOver();
}

void TForm_Msg::leaveEvent(QEvent *E) {
  QWidget::leaveEvent(E);
  MouseLeft();
}

bool TForm_Msg::eventFilter(QObject *Obj, QEvent *E) {
  if (Obj != Img_Face) return QWidget::eventFilter(Obj, E);
  switch (E->type()) {
    case QEvent::MouseMove:
      MouseOver();
      return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      return static_cast<QMouseEvent *>(E)->button() == Qt::LeftButton;
    case QEvent::MouseButtonRelease: {
      auto *M = static_cast<QMouseEvent *>(E);
      if (M->button() != Qt::LeftButton || !Img_Face->rect().contains(M->position().toPoint())) return false;
      CloseMsg(1);
      return true;
    }
    default:
      return false;
  }
}
