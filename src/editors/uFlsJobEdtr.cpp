#include "editors/uFlsJobEdtr.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>

#include "editors/uForm_EditJob.h"
#include "platform/TPageSnapshot.h"
#include "platform/TWebBrowser.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "ui/Unit_Msg.h"

TFlsJobEdtr *JE_Fls = nullptr;

TFlsJobEdtr::TFlsJobEdtr(std::function<TFlsSettings()> Settings) : FSettings(std::move(Settings)) { JE_Fls = this; }

TFlsJobEdtr::~TFlsJobEdtr() {
  ItemList.clear();
  CurItem = nullptr;
  BiggestItem = nullptr;
  VIBox_Free_Items(FlsItems);
  if (JE_Fls == this) JE_Fls = nullptr;
}

void TFlsJobEdtr::Edt_Release() {
  VIBox_Clear_Current();
  ItemList.clear();
  BiggestItem = nullptr;
  VIBox_Free_Items(FlsItems);
}

void TFlsJobEdtr::Edt_Load_Parm() {
  TFlsSettings S = FSettings ? FSettings() : TFlsSettings();
  Opts.OptFlsSortDes = S.SortDes;
  Opts.OptFlsSelKind = S.SelKind <= 2 ? S.SelKind : 0;
  FDir = S.Dir;
}

void TFlsJobEdtr::Edt_Bind_Ctrls() {
  TVIBJobEdtr::Edt_Bind_Ctrls();
  if (Bound || !Form) return;
  ExtLabel = Form->Lbl_Fls_EFn;
  UrlEdit = Form->Edit_Fls_Url;
  NameEdit = Form->Edit_Fls_AFn;
  DirEdit = Form->Edit_Fls_SDir;
  QObject::connect(NameEdit, &QLineEdit::editingFinished, Ctx.get(), [this] {
    if (CurEditor == this) VIBox_Save_Name();
  });
  for (QToolButton *B : {Form->BBtn_Fls_SortSiz, Form->BBtn_Fls_SelBig, Form->BBtn_Fls_SelAll, Form->BBtn_Fls_SelNon})
    QObject::connect(B, &QToolButton::clicked, Ctx.get(), [this, B] { OnBtnClick(B); });
  Bound = true;
}

void TFlsJobEdtr::Edt_Init() {
  Edt_Bind_Ctrls();
  EdtPhase = 1;
  VIBox_Clear_Current();
  ItemList.clear();
  BiggestItem = nullptr;
  Edt_Load_Parm();
  EFls_Collect();
  if (FlsItems.empty()) throw EMossError("No Flash found!");

  Form->PageCtrl->setTabVisible(0, false);
  Form->PageCtrl->setTabVisible(1, false);
  Form->PageCtrl->setTabVisible(2, true);
  Form->PageCtrl->setCurrentIndex(2);
  Form->WB_Preview->Widget()->hide();
  Form->Memo_Preview->hide();
  Form->ScrlBox_Img->show();
  Form->BBtn_Fls_SortSiz->setEnabled(FlsItems.size() > 1);
  Form->setWindowTitle(QStringLiteral("Save flash"));
  DirEdit->setText(QString::fromStdString(FDir));
}

void TFlsJobEdtr::Edt_Rdy() {
  EFls_Order();
  EdtPhase = 3;
  Busy = false;
  VIBox_Select_By_Kind(skDefault);
  Form->show();
  Form->Frm_ToFront();
}

void TFlsJobEdtr::EFls_Collect() {
  VIBox_Free_Items(FlsItems);
  const int JobId = EditJob ? EditJob->JobId.load() : 0;
  // What was collected before a failure is freed with the job, never shown.
  Fls_Collect(*EditJob->HWin2->Document(), JobId, FlsItems);
  ItemList.clear();
  for (const auto &I : FlsItems) ItemList.push_back(I.get());
  BiggestItem = VIB_Biggest(ItemList);
  Fls_SortBiggestFirst(ItemList);
}

void TFlsJobEdtr::EFls_Order() {
  if (ItemList.empty()) {
    VIBox_Upd_Status();
    return;
  }
  if (Box) Box->verticalScrollBar()->setValue(0);
  Fls_Order(ItemList, Opts.OptFlsSortDes);
  VIBox_Layout();
  if (ItemList.size() == 1) return;
  const bool Des = Opts.OptFlsSortDes;
  Form->BBtn_Fls_SortSiz->setIcon((Des ? Form->Img_Arrow_Down : Form->Img_Arrow_Up)->pixmap());
  Form->Label_Flash_Sort_Indc->setText(QString::fromLatin1(Fls_SortIndicator(Des)));
}

void TFlsJobEdtr::OnBtnClick(QObject *Sender) {
  if (CurEditor != this || !EditJob || EdtPhase == 1) return;
  switch (TagOf(Sender)) {
    case 11:
      Opts.OptFlsSortDes = !Opts.OptFlsSortDes;
      EFls_Order();
      break;
    case 21:
      VIBox_Select_By_Kind(skBiggest);
      break;
    case 22:
      VIBox_Select_By_Kind(skAll);
      break;
    case 23:
      VIBox_Select_By_Kind(skNone);
      break;
    default:
      break;
  }
}
