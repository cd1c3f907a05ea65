#include "ui/uForm_Rename.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/Unit_Msg.h"
#include "ui/Unit_PubWnd.h"

TForm_Renam *Form_Renam = nullptr;

namespace {

QString Q(const std::string &S) { return QString::fromStdString(S); }

QLabel *Caption(QWidget *Parent, const char *Text) {
  auto *L = new QLabel(QString::fromLatin1(Text), Parent);
  L->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return L;
}

QLabel *ExtLabel(QWidget *Parent, const char *Name) {
  auto *L = new QLabel(Parent);
  L->setObjectName(QString::fromLatin1(Name));
  L->setFixedWidth(56);
  L->setTextFormat(Qt::PlainText);
  return L;
}

}  // namespace

TForm_Renam::TForm_Renam(QWidget *Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint),
      FChk([this](TRenamChk &Chk) { return Ask(Chk); }) {
  setObjectName(QStringLiteral("Form_Renam"));
  setWindowTitle(QStringLiteral("Rename dialog"));
  setModal(true);
  setFixedSize(403, 188);

  auto *Grid = new QGridLayout;
  Grid->setHorizontalSpacing(8);
  Grid->setVerticalSpacing(8);
  Grid->setColumnStretch(1, 1);

  Lbl_Dir = new QLabel(this);
  Lbl_Dir->setObjectName(QStringLiteral("Lbl_Dir"));
  Lbl_Dir->setTextFormat(Qt::PlainText);
  // A long folder is shortened in the middle rather than widening the window.
  Lbl_Dir->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  Grid->addWidget(Caption(this, "Folder"), 0, 0);
  Grid->addWidget(Lbl_Dir, 0, 1, 1, 2);

  Edit_SrcFn = new QLineEdit(this);
  Edit_SrcFn->setObjectName(QStringLiteral("Edit_SrcFn"));
  Edit_SrcFn->setReadOnly(true);
  Edit_SrcFn->setFocusPolicy(Qt::ClickFocus);
  QPalette Silver = Edit_SrcFn->palette();
  Silver.setColor(QPalette::Base, QColor(192, 192, 192));
  Edit_SrcFn->setPalette(Silver);
  Lbl_EFN_A = ExtLabel(this, "Lbl_EFN_A");
  Grid->addWidget(Caption(this, "Old file name"), 1, 0);
  Grid->addWidget(Edit_SrcFn, 1, 1);
  Grid->addWidget(Lbl_EFN_A, 1, 2);

  Edit_NewFn = new QLineEdit(this);
  Edit_NewFn->setObjectName(QStringLiteral("Edit_NewFn"));
  Lbl_EFN_B = ExtLabel(this, "Lbl_EFN_B");
  Grid->addWidget(Caption(this, "New file name"), 2, 0);
  Grid->addWidget(Edit_NewFn, 2, 1);
  Grid->addWidget(Lbl_EFN_B, 2, 2);

  CBox_AtRenam = new QCheckBox(QStringLiteral("Always auto rename"), this);
  CBox_AtRenam->setObjectName(QStringLiteral("CBox_AtRenam"));
  Grid->addWidget(CBox_AtRenam, 3, 1, 1, 2);

  Btn_AtRenam = new QPushButton(QStringLiteral("&Auto rename"), this);
  Btn_AtRenam->setObjectName(QStringLiteral("Btn_AtRenam"));
  Btn_AtRenam->setAutoDefault(false);
  Btn_OK = new QPushButton(QStringLiteral("&OK"), this);
  Btn_OK->setObjectName(QStringLiteral("Btn_OK"));
  Btn_OK->setDefault(true);
  Btn_Cancel = new QPushButton(QStringLiteral("&Cancel"), this);
  Btn_Cancel->setObjectName(QStringLiteral("Btn_Cancel"));
  Btn_Cancel->setAutoDefault(false);
  auto *Buttons = new QHBoxLayout;
  Buttons->addWidget(Btn_AtRenam);
  Buttons->addStretch(1);
  Buttons->addWidget(Btn_OK);
  Buttons->addWidget(Btn_Cancel);

  auto *Outer = new QVBoxLayout(this);
  Outer->setContentsMargins(12, 12, 12, 12);
  Outer->addLayout(Grid);
  Outer->addStretch(1);
  Outer->addLayout(Buttons);

  connect(Btn_AtRenam, &QPushButton::clicked, this, [this] { done(ResultAutoRename); });
  connect(Btn_OK, &QPushButton::clicked, this, &TForm_Renam::ChkNewFn);
  connect(Btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

TForm_Renam::~TForm_Renam() {
  if (Form_Renam == this) Form_Renam = nullptr;
}

TRenamReply TForm_Renam::Ask(TRenamChk &Chk) {
  FDirText = Chk.Dir();
  Lbl_Dir->setToolTip(Q(FDirText));
  Edit_SrcFn->setText(Q(Chk.SrcName()));
  Edit_NewFn->setText(Q(Chk.SrcName()));
  Lbl_EFN_A->setText(Q(Chk.Ext()));
  Lbl_EFN_B->setText(Q(Chk.Ext()));
  setWindowTitle(Q(TRenamChk::Caption(Chk.Mode())));
  CBox_AtRenam->setChecked(false);
  Edit_NewFn->selectAll();
  Edit_NewFn->setFocus();

  TRenamReply R;
  int Res = exec();
  if (Res == QDialog::Accepted) {
    R.Answer = TRenamAnswer::Ok;
    R.NewName = Edit_NewFn->text().toStdString();
  } else if (Res == ResultAutoRename) {
    R.Answer = TRenamAnswer::AutoRename;
  }
  R.Always = CBox_AtRenam->isChecked();
  return R;
}

void TForm_Renam::ChkNewFn() {
  TNewFnCheck C = FChk.ChkNewFn(Edit_NewFn->text().toStdString());
  if (C == TNewFnCheck::Ok) {
    accept();
    return;
  }
  GLBL_MsgBox(this, TRenamChk::NewFnWarning(C), MbWarning);
  Edit_NewFn->setFocus();
}

void TForm_Renam::ShowDir() {
  Lbl_Dir->setText(Lbl_Dir->fontMetrics().elidedText(Q(FDirText), Qt::ElideMiddle, Lbl_Dir->width()));
}

void TForm_Renam::showEvent(QShowEvent *E) {
  QDialog::showEvent(E);
  if (QScreen *S = screen() ? screen() : QGuiApplication::primaryScreen()) {
    QRect Frame = frameGeometry();
    Frame.moveCenter(S->availableGeometry().center());
    move(Frame.topLeft());
  }
  ShowDir();
  Wnd_TopMost(this);
  Edit_NewFn->setFocus();
}
