#include "editors/uImgJobEdtr.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QToolButton>

#include "editors/uForm_EditJob.h"
#include "platform/TPageSnapshot.h"
#include "platform/TWebBrowser.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "ui/Unit_Msg.h"

TImgJobEdtr *JE_Img = nullptr;

namespace {

// Shows the "Loading, please wait..." panel over the preview for as long as
// it lives, also when the work inside fails.
class TLoadingTips {
 public:
  explicit TLoadingTips(TForm_EditJob *F) : FForm(F) {
    if (!FForm) return;
    FForm->Pn_Pvw_Tips->setGeometry(FForm->Pnl_Preview->geometry());
    FForm->Pn_Pvw_Tips->show();
    FForm->Pn_Pvw_Tips->raise();
    FForm->Pn_Pvw_Tips->repaint();
  }
  ~TLoadingTips() {
    if (FForm) FForm->Pn_Pvw_Tips->hide();
  }
  TLoadingTips(const TLoadingTips &) = delete;
  TLoadingTips &operator=(const TLoadingTips &) = delete;

 private:
  TForm_EditJob *FForm;
};

}  // namespace

TImgJobEdtr::TImgJobEdtr(std::function<TImgSettings()> Settings) : FSettings(std::move(Settings)) { JE_Img = this; }

TImgJobEdtr::~TImgJobEdtr() {
  ItemList.clear();
  CurItem = nullptr;
  BiggestItem = nullptr;
  if (CurImgItem) {
    TVIBItems One;
    One.push_back(std::move(CurImgItem));
    VIBox_Free_Items(One);
  }
  VIBox_Free_Items(AllItems);
  if (JE_Img == this) JE_Img = nullptr;
}

void TImgJobEdtr::Edt_Release() {
  VIBox_Clear_Current();
  ItemList.clear();
  BiggestItem = nullptr;
  TVIBItems Gone;
  if (CurImgItem) Gone.push_back(std::move(CurImgItem));
  VIBox_Free_Items(Gone);
  VIBox_Free_Items(AllItems);
  AllCollected = false;
}

void TImgJobEdtr::Edt_Load_Parm() {
  TImgSettings S = FSettings ? FSettings() : TImgSettings();
  Opts.OptImgFltTyp = S.FltTyp <= 3 ? S.FltTyp : 0;
  Opts.OptImgFltSiz = S.FltSiz <= 3 ? S.FltSiz : 0;
  Opts.OptImgSortDes = S.SortDes;
  Opts.OptImgSelKind = S.SelKind <= 2 ? S.SelKind : 0;
  Opts.OptImgIgnTiny = S.IgnTiny;
  Opts.OptImgIgnBar = S.IgnBar;
  Opts.OptImgTypAsc = 1;
  FDir = S.Dir;
}

void TImgJobEdtr::Edt_Bind_Ctrls() {
  TVIBJobEdtr::Edt_Bind_Ctrls();
  if (Bound || !Form) return;
  UrlEdit = Form->Edit_Img_Url;
  NameEdit = Form->Edit_Img_AFn;
  ExtLabel = Form->Lbl_Img_EFn;
  DirEdit = Form->Edit_Img_SDir;
  QObject::connect(NameEdit, &QLineEdit::editingFinished, Ctx.get(), [this] {
    if (CurEditor == this) VIBox_Save_Name();
  });
  for (QToolButton *B :
       {Form->Sbtn_CurImg, Form->SBtn_AImg, Form->SBtn_AllSize, Form->SBtn_Large, Form->SBtn_Medium, Form->SBtn_Small,
        Form->SBtn_AllType, Form->SBtn_Jpg, Form->SBtn_Gif, Form->SBtn_Png, Form->BBtn_Img_SortSiz, Form->BBtn_Img_SortTyp,
        Form->BBtn_Img_SelBig, Form->BBtn_Img_SelAll, Form->BBtn_Img_SelNon})
    QObject::connect(B, &QToolButton::clicked, Ctx.get(), [this, B] { OnBtnClick(B); });
  Bound = true;
}

void TImgJobEdtr::Edt_Init() {
  Edt_Bind_Ctrls();
  EdtPhase = 1;
  VIBox_Clear_Current();
  // Nothing of the last job is shown any more.
  ItemList.clear();
  BiggestItem = nullptr;
  OneImage = EditJob->Kind == jkOneImage;
  AllCollected = false;
  Edt_Load_Parm();
  EImg_Collect();
  EImg_Filter();
  if (!OneImage && ItemList.empty()) throw EMossError("No Image found!");
  EImg_Count();

  Form->PageCtrl->setTabVisible(0, false);
  Form->PageCtrl->setTabVisible(2, false);
  Form->PageCtrl->setTabVisible(1, true);
  Form->PageCtrl->setCurrentIndex(1);
  Form->WB_Preview->Widget()->hide();
  Form->Memo_Preview->hide();
  Form->ScrlBox_Img->show();
  Form->Sbtn_CurImg->setEnabled(OneImage);
  Form->Sbtn_CurImg->setChecked(OneImage);
  Form->SBtn_AImg->setChecked(!OneImage);
  Form->setWindowTitle(QStringLiteral("Save images"));
  DirEdit->setText(QString::fromStdString(FDir));
  EImg_Show_Bench();
  QToolButton *Types[] = {Form->SBtn_AllType, Form->SBtn_Jpg, Form->SBtn_Gif, Form->SBtn_Png};
  QToolButton *Sizes[] = {Form->SBtn_AllSize, Form->SBtn_Large, Form->SBtn_Medium, Form->SBtn_Small};
  Types[Opts.OptImgFltTyp]->setChecked(true);
  Sizes[Opts.OptImgFltSiz]->setChecked(true);
  Form->FixGroupStops(Form->TS_Image);
}

void TImgJobEdtr::Edt_Rdy() {
  EImg_Sort(2);
  EdtPhase = 3;
  Busy = false;
  EImg_Upd_SortBtns();
  VIBox_Select_By_Kind(skDefault);
  Form->show();
  Form->Frm_ToFront();
}

void TImgJobEdtr::EImg_Collect() {
  const int JobId = EditJob ? EditJob->JobId.load() : 0;
  if (OneImage) {
    if (CurImgItem) {
      TVIBItems Old;
      Old.push_back(std::move(CurImgItem));
      VIBox_Free_Items(Old);
    }
    // The largest form needs the document to resolve the element's other
    // addresses; without one the picture is taken by its src.
    std::shared_ptr<THtmlDocument> Doc;
    try {
      if (EditJob->HWin2) Doc = EditJob->HWin2->Document();
    } catch (const std::exception &) {
      Doc.reset();
    }
    CurImgItem = Img_CollectOne(EditJob->Elem, JobId, Doc.get());
    return;
  }
  VIBox_Free_Items(AllItems);
  try {
    Img_CollectAll(*EditJob->HWin2->Document(), Opts.OptImgIgnTiny, Opts.OptImgIgnBar, JobId, AllItems);
  } catch (...) {
    AllCollected = true;
    throw;
  }
  AllCollected = true;
}

void TImgJobEdtr::EImg_Filter() {
  ItemList.clear();
  if (OneImage) {
    if (CurImgItem) ItemList.push_back(CurImgItem.get());
    return;
  }
  ItemList = Img_Filter(AllItems, Opts.OptImgFltSiz, Opts.OptImgFltTyp);
  BiggestItem = VIB_Biggest(ItemList);
}

void TImgJobEdtr::EImg_Count() {
  if (OneImage) return;
  Counts = Img_Count(AllItems);
  Form->SBtn_Large->setEnabled(Counts.Large > 0);
  Form->SBtn_Medium->setEnabled(Counts.Medium > 0);
  Form->SBtn_Small->setEnabled(Counts.Small > 0);
  Form->SBtn_Jpg->setEnabled(Counts.Jpg > 0);
  Form->SBtn_Gif->setEnabled(Counts.Gif > 0);
  Form->SBtn_Png->setEnabled(Counts.Png > 0);
}

void TImgJobEdtr::EImg_Upd_SortBtns() {
  Form->BBtn_Img_SortTyp->setEnabled(Opts.OptImgFltTyp == 0 && ItemList.size() > 1);
  Form->BBtn_Img_SortSiz->setEnabled(ItemList.size() > 1);
}

void TImgJobEdtr::EImg_Sort(uint8_t Mode) {
  if (ItemList.empty()) {
    VIBox_Upd_Status();
    return;
  }
  if (ItemList.size() > 1) {
    auto Glyph = [this](QToolButton *B, bool Down, const char *Hint) {
      B->setIcon((Down ? Form->Img_Arrow_Down : Form->Img_Arrow_Up)->pixmap());
      B->setToolTip(QString::fromLatin1(Hint));
    };
    if (Mode == 1 || Mode == 2) {
      Img_SortType(ItemList, Opts.OptImgTypAsc);
      Glyph(Form->BBtn_Img_SortTyp, Opts.OptImgTypAsc, Opts.OptImgTypAsc ? "JPG->GIF->PNG->BMP" : "BMP->PNG->GIF->JPG");
    }
    if (Mode == 0 || Mode == 2) {
      Img_SortSize(ItemList, Opts.OptImgSortDes);
      Glyph(Form->BBtn_Img_SortSiz, Opts.OptImgSortDes, Opts.OptImgSortDes ? "Biggest first" : "Smallest first");
    }
  }
  VIBox_Layout();
}

void TImgJobEdtr::EImg_Refresh() {
  TLoadingTips Tips(Form);
  VIBox_Clear_Current();
  EImg_Filter();
  Edt_Bld();
  EImg_Upd_SortBtns();
  EImg_Sort(Form->BBtn_Img_SortTyp->isEnabled() ? 2 : 0);
  EdtPhase = 3;
  Busy = false;
  VIBox_Select_By_Kind(skDefault);
}

void TImgJobEdtr::EImg_Switch_Mode(uint8_t Target) {
  if (!EditJob || EditJob->Kind == Target) return;
  EditJob->Kind = Target;
  OneImage = Target == jkOneImage;
  Form->Btn_Save->setEnabled(false);
  TLoadingTips Tips(Form);
  if (!OneImage && !AllCollected) {
    EImg_Collect();
    EImg_Count();
  }
  EImg_Show_Bench();
  EImg_Refresh();
}

void TImgJobEdtr::EImg_Show_Bench() { Form->Pn_Almg_bench->setVisible(!OneImage); }

void TImgJobEdtr::OnBtnClick(QObject *Sender) {
  if (CurEditor != this || !EditJob || EdtPhase == 1) return;
  const int Tag = TagOf(Sender);
  try {
    if (Tag == 11 || Tag == 12) {
      EImg_Switch_Mode(Tag == 11 ? jkOneImage : jkAllImages);
    } else if (Tag >= 21 && Tag <= 24) {
      Opts.OptImgFltSiz = static_cast<uint8_t>(Tag - 21);
      EImg_Refresh();
    } else if (Tag >= 31 && Tag <= 34) {
      Opts.OptImgFltTyp = static_cast<uint8_t>(Tag - 31);
      EImg_Refresh();
    } else if (Tag == 41) {
      Opts.OptImgSortDes = !Opts.OptImgSortDes;
      EImg_Sort(0);
    } else if (Tag == 42) {
      Opts.OptImgTypAsc = !Opts.OptImgTypAsc;
      EImg_Sort(1);
    } else if (Tag >= 51 && Tag <= 53) {
      static const uint8_t Kinds[] = {skBiggest, skAll, skNone};
      VIBox_Select_By_Kind(Kinds[Tag - 51]);
    }
  } catch (const std::exception &E) {
    // The job stays open with what was reached; the user hears why.
    Log::Err(Format(ErrTipsFmt, {"Fail to refresh the pictures!", "TImgJobEdtr.OnBtnClick", E.what()}));
    VIBox_Upd_Status();
    GLBL_MsgBox(Form, E.what(), MbError, false);
  }
}
