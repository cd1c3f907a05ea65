#include "ui/UForm_Msg.h"

#include <QGuiApplication>
#include <QScreen>

TForm_Msg::TForm_Msg() : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("Form_Msg"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFixedSize(215, 170);
  setFont(QFont(QStringLiteral("Tahoma"), 9));
  setAutoFillBackground(true);
  auto Mk = [this](const char *Name, int X, int Y, int W, int H) {
    auto *L = new QLabel(this);
    L->setObjectName(QString::fromLatin1(Name));
    L->setGeometry(X, Y, W, H);
    return L;
  };
  Lbl_Title = Mk("Lbl_Title", 1, 1, 213, 20);
  Lbl_Title->setText(QStringLiteral("  Mossgather"));
  Lbl_Title->setStyleSheet(QStringLiteral("background: rgb(134,170,253); font-weight: bold;"));
  Lbl_Time = Mk("Lbl_Time", 163, 1, 45, 20);
  Lbl_Time->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Mk("Lbl_Result", 8, 30, 50, 18)->setText(QStringLiteral("Result:"));
  Mk("Lbl_Saved", 8, 50, 50, 18)->setText(QStringLiteral("Saved:"));
  Mk("Lbl_Detail", 8, 70, 50, 18)->setText(QStringLiteral("Detail:"));
  Lbl_Rslt = Mk("Lbl_Rslt", 60, 30, 150, 18);
  Lbl_Rslt->setStyleSheet(QStringLiteral("color: blue; font-weight: bold;"));
  Lbl_SecMsg = Mk("Lbl_SecMsg", 60, 50, 150, 18);
  Lbl_SecMsg->setStyleSheet(QStringLiteral("font-weight: bold;"));
  Lbl_Msg = Mk("Lbl_Msg", 8, 90, 200, 74);
  Lbl_Msg->setWordWrap(true);
  Lbl_Msg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Lbl_Msg->setStyleSheet(QStringLiteral("background: white; border: 1px solid rgb(0,102,204); border-radius: 6px;"));
  Timer_Close = new QTimer(this);
  Timer_Close->setInterval(1000);
  connect(Timer_Close, &QTimer::timeout, this, &TForm_Msg::OnTimer);
}

void TForm_Msg::ShowMsg(const TMsgRcd &R) {
  QPalette P = palette();
  P.setColor(QPalette::Window, R.Color);
  setPalette(P);
  Lbl_Rslt->setText(QString::fromStdString(R.Title));
  Lbl_Msg->setText(QString::fromStdString(R.Msg));
  Lbl_SecMsg->setText(QString::fromStdString(R.SecMsg));
  FSecLeft = 5;
  Lbl_Time->setText(QStringLiteral("5"));
  Timer_Close->start();
  if (QScreen *S = QGuiApplication::primaryScreen()) {
    QRect G = S->geometry();
    move(G.width() - 215 - 35, G.height() - 170 - 85);
  }
  show();
  raise();
}

void TForm_Msg::OnTimer() {
  --FSecLeft;
  Lbl_Time->setText(QString::number(FSecLeft));
  if (FSecLeft <= 0) CloseMsg(0);
}

void TForm_Msg::CloseMsg(int) {
  hide();
  Timer_Close->stop();
}
