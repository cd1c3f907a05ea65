#include "editors/uVIBJobEdtr.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <unordered_set>

#include "editors/uForm_EditJob.h"
#include "editors/uThumbLoader.h"
#include "editors/uVIBPanel.h"
#include "platform/TUrlCache.h"
#include "platform/TWebBrowser.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "ui/Unit_Msg.h"
#include "ui/Unit_PubWB.h"
#include "ui/uForm_Rename.h"

TVIBItem *CurItem = nullptr;

namespace {

// A value put into an HTML attribute: the HTML reader gives back exactly
// this text, whatever "&" or quote an address holds.
std::string HtmlAttr(const std::string &S) {
  std::string Out;
  for (char C : S) {
    switch (C) {
      case '&':
        Out += "&amp;";
        break;
      case '"':
        Out += "&quot;";
        break;
      case '<':
        Out += "&lt;";
        break;
      case '>':
        Out += "&gt;";
        break;
      default:
        Out += C;
    }
  }
  return Out;
}

bool IsFileUrl(const std::string &Url) { return LowerCase(Url.substr(0, 5)) == "file:"; }

// The address the thumbnail page names a local file by.
std::string FileUrlOf(const std::string &Path) {
  return QUrl::fromLocalFile(QString::fromStdString(Path)).toString(QUrl::FullyEncoded).toStdString();
}

// Is Ancestor the widget W or one of its parents?
bool Contains(const QWidget *Ancestor, const QWidget *W) {
  for (; W; W = W->parentWidget())
    if (W == Ancestor) return true;
  return false;
}

}  // namespace

TVIBJobEdtr::TVIBJobEdtr() {
  // The caption's byte size follows a picture that arrives later.
  QObject::connect(&TThumbLoader::Default(), &TThumbLoader::Arrived, &FThumbCtx,
                   [this](const QString &Source, qint64 Bytes) { OnThumbArrived(Source, Bytes); });
}

TVIBJobEdtr::~TVIBJobEdtr() {
  // Panels outlive the editor: they must not call it any more.
  for (TVIBPanel *P : Panels())
    if (P->Owner == this) {
      P->Owner = nullptr;
      P->Item = nullptr;
    }
  // The window may be gone already; its global is cleared with it.
  if (Form_EditJob && Form_EditJob == Form) Form_EditJob->AppMessage = nullptr;
}

bool TVIBJobEdtr::IsMovieJob() const { return EditJob && EditJob->Kind == jkFlash; }

const std::vector<TVIBPanel *> &TVIBJobEdtr::Panels() const { return TVIBPanel::All(); }

TVIBPanel *TVIBJobEdtr::PanelOf(const TVIBItem *Item) const {
  if (!Item || Item->PanelNo < 0) return nullptr;
  const std::vector<TVIBPanel *> &P = Panels();
  // The panel must still show the item: the idle tidy-up may have freed
  // panels in front of it since it was linked.
  if (static_cast<size_t>(Item->PanelNo) >= P.size() || P[static_cast<size_t>(Item->PanelNo)]->Item != Item) return nullptr;
  return P[static_cast<size_t>(Item->PanelNo)];
}

int32_t TVIBJobEdtr::IndexOf(const TVIBItem *Item) const {
  auto It = std::find(ItemList.begin(), ItemList.end(), Item);
  return It == ItemList.end() ? -1 : static_cast<int32_t>(It - ItemList.begin());
}

std::string TVIBJobEdtr::LocalSource(const std::string &Url) const {
  if (IsFileUrl(Url)) {
    // A file is read only for a page that itself came from the local disk.
    if (!EditJob || !IsFileUrl(EditJob->PageUrl)) return {};
    std::string Path = QUrl(QString::fromStdString(Url)).toLocalFile().toStdString();
    return File_Exists(Path) ? Path : std::string();
  }
  return TUrlCache::Default().LocalFile(Url);
}

void TVIBJobEdtr::Edt_Bind_Ctrls() {
  TJobEditor::Edt_Bind_Ctrls();
  if (!Form) return;
  Form->AppMessage = [this](QObject *Target, QEvent *E) { return OnAppMessage(Target, E); };
  if (!Bound) Box = Form->ScrlBox_Img;
}

void TVIBJobEdtr::Edt_Bld() {
  QElapsedTimer T;
  T.start();
  EdtPhase = 2;
  VIBox_Assign_Box(ItemList);
  Log::Info("Bld TIme at VIBox_Assign_Box: " + std::to_string(T.elapsed()));
  VIBox_Link_Items(ItemList);
  Log::Info("Bld TIme at VIBox_Link_Items: " + std::to_string(T.elapsed()));
}

bool TVIBJobEdtr::VIBox_Assign_Box(const TVIBList &List) {
  Busy = true;
  // A copy: adding panels changes the list.
  const std::vector<TVIBPanel *> P = Panels();
  const size_t N = List.size(), C = P.size();
  // The box scrolls over the shown panels only.
  if (Box && Box->widget()) Box->widget()->setMinimumHeight(static_cast<int>(N) * 105 + 6);
  if (N > C) {
    for (TVIBPanel *Pn : P) {
      Pn->show();
      Pn->ChkBox->setChecked(false);
    }
    return VIBox_Add_Panels(static_cast<int32_t>(N - C));
  }
  for (size_t I = N; I < C; ++I) P[I]->hide();
  for (size_t I = 0; I < N; ++I) {
    P[I]->show();
    P[I]->ChkBox->setChecked(false);
  }
  return true;
}

bool TVIBJobEdtr::VIBox_Add_Panels(int32_t Count) {
  try {
    if (!Box || !Box->widget()) throw EMossError("The item box is not bound");
    for (int32_t I = 0; I < Count; ++I) (new TVIBPanel(Box->widget()))->show();
    return true;
  } catch (const std::exception &) {
    return false;
  }
}

bool TVIBJobEdtr::VIBox_Link_Items(const TVIBList &List) {
  try {
    const std::vector<TVIBPanel *> &P = Panels();
    if (P.size() < List.size()) throw EMossError("Fewer panels than items");
    for (size_t I = 0; I < List.size(); ++I) VIBox_Link_Item(static_cast<int32_t>(I), P);
    return true;
  } catch (const std::exception &) {
    return false;
  }
}

void TVIBJobEdtr::VIBox_Link_Item(int32_t Index, const std::vector<TVIBPanel *> &Panels) {
  TVIBItem *Item = ItemList[static_cast<size_t>(Index)];
  TVIBPanel *P = Panels[static_cast<size_t>(Index)];
  Item->PanelNo = Index;
  P->Item = Item;
  P->Owner = this;
  std::string Source = LocalSource(Item->Url);
  int64_t Count;
  if (!Source.empty()) {
    // A count the page did not know is read from the local copy.
    Count = IsMovieJob() || Item->FileSize < 0 ? File_SizeOf(Source) : Item->FileSize;
  } else {
    Source = Item->Url;
    Count = std::max<int64_t>(Item->FileSize, 0);
  }
  Item->SizeText = Fmt_FileSize(std::max<int64_t>(Count, 0));
  // A movie with no file behind it is shown, with why, but cannot be checked.
  P->ChkBox->setEnabled(Item->Saveable);
  P->setToolTip(QString::fromStdString(Item->Reason));
  VIBox_Draw_Caption(Item);
  if (P->Browser->ReadyState() != 4) WaitWBRdy(P->Browser, 3);
  VIBox_Show_Item(P->Browser, Item, Source);
}

void TVIBJobEdtr::VIBox_Show_Item(TLightBrowser *Browser, TVIBItem *Item, const std::string &Source) {
  // A VIDEO or AUDIO of no size (audio has none) still shows its placeholder
  // across the thumbnail; a plug-in movie keeps the size its page declared.
  const bool Media = Item->Kind == TItemKind::Movie && !Item->Elem;
  const TThumbFit F = Media && Item->Area == 0 ? VIB_FitThumb(133, 88) : VIB_FitThumb(Item->Width, Item->Height);
  Browser->Widget()->setGeometry(F.BrowserX(), F.BrowserY(), F.BrowserW(), F.BrowserH());
  Browser->Referer = EditJob ? EditJob->PageUrl : std::string();
  Browser->LocalFiles = EditJob && IsFileUrl(EditJob->PageUrl);
  Browser->Tag = 1;
  if (Item->Kind == TItemKind::Movie && Item->Poster.empty()) {
    // The movie itself is never fetched for a thumbnail: the player draws it.
    const bool Local = !Source.empty() && Source[0] == '/';
    WB_LoadHtml_Stream(Browser, VIB_MovieHtml(HtmlAttr(Local ? FileUrlOf(Source) : Source), F.W, F.H));
    return;
  }
  // A picture, or the poster picture of a movie.
  std::string Pic = Source;
  if (Item->Kind == TItemKind::Movie) {
    Pic = LocalSource(Item->Poster);
    if (Pic.empty()) Pic = Item->Poster;
  }
  const bool Local = !Pic.empty() && Pic[0] == '/';
  WB_LoadHtml_Stream(Browser, VIB_PictureHtml(HtmlAttr(Local ? FileUrlOf(Pic) : Pic), F.W, F.H));
  // Every thumbnail is on its way now; those on screen go first.
  if (Local || LowerCase(Pic.substr(0, 4)) == "http") {
    if (EditJob) TThumbLoader::Default().SetBrowser(EditJob->Cookies, EditJob->UserAgent);
    TThumbLoader::Default().Get(QString::fromStdString(Pic), QSize(std::max(F.W, 0), std::max(F.H, 0)), Browser->Referer);
  }
}

void TVIBJobEdtr::VIBox_Draw_Caption(TVIBItem *Item) {
  TVIBPanel *P = PanelOf(Item);
  if (!P) return;
  TVIBImage *Img = P->Image;
  Img->Back = Item == CurItem ? VIBCurrentColor : VIBNormalColor;
  // Plug-in movies have no type; a VIDEO or AUDIO says what it is.
  Img->ShowType = !IsMovieJob() || !Item->TypeText.empty();
  Img->TypeText = QString::fromStdString(Item->TypeText);
  Img->Note = QString::fromStdString(Item->Note);
  Img->NoteWarns = !Item->Saveable;
  Img->SizeLine = QString::fromStdString(Format("%d x %d", {Item->Width, Item->Height}));
  Img->BytesLine = QString::fromStdString(Item->SizeText);
  Img->update();
}

void TVIBJobEdtr::VIBox_Select_Item(TVIBItem *Item) {
  if (!Item) return;
  TVIBPanel *P = PanelOf(Item);
  if (Item == CurItem) {
    if (P) {
      Box->ensureWidgetVisible(P, 0, 0);
      P->setFocus();
      if (Form) Form->FocusCtrl(P->KeyTarget());
    }
    VIBox_Upd_Status();
    return;
  }
  if (TVIBPanel *Old = PanelOf(CurItem)) Old->SetCheckColor(VIBNormalColor);
  VIBox_Save_Name();
  TVIBItem *Prev = CurItem;
  CurItem = Item;
  try {
    if (P) P->SetCheckColor(VIBCurrentColor);
    if (TVIBPanel *Old = PanelOf(Prev)) Old->SetCheckColor(VIBNormalColor);
    if (UrlEdit) UrlEdit->setText(QString::fromStdString(Item->Url));
    if (NameEdit) NameEdit->setText(QString::fromStdString(Item->FileName));
    if (ExtLabel) ExtLabel->setText(QString::fromStdString(LowerCase(Item->FileExt)));
    if (P) {
      Box->ensureWidgetVisible(P, 0, 0);
      if (Form) Form->FocusCtrl(P->KeyTarget());
    }
  } catch (const std::exception &) {
  }
  if (Prev) VIBox_Draw_Caption(Prev);
  VIBox_Draw_Caption(CurItem);
  VIBox_Upd_Status();
}

void TVIBJobEdtr::VIBox_Clear_Current() {
  if (CurItem)
    if (TVIBPanel *P = PanelOf(CurItem)) P->SetCheckColor(VIBNormalColor);
  CurItem = nullptr;
}

void TVIBJobEdtr::VIBox_Save_Name() {
  if (CurItem && NameEdit) CurItem->FileName = NameEdit->text().toStdString();
}

int32_t TVIBJobEdtr::VIBox_Sel_Count() const {
  int32_t N = 0;
  for (TVIBItem *I : ItemList)
    if (TVIBPanel *P = PanelOf(I); P && P->ChkBox->isChecked()) ++N;
  return N;
}

void TVIBJobEdtr::VIBox_Upd_Status() {
  if (!Form) return;
  const int32_t Count = static_cast<int32_t>(ItemList.size());
  const int32_t Sel = Count > 0 ? VIBox_Sel_Count() : 0;
  auto [First, Second] = VIB_StatusTexts(Count, Sel, IndexOf(CurItem));
  if (Count == 0) {
    if (ExtLabel) ExtLabel->clear();
    if (UrlEdit) UrlEdit->clear();
    if (NameEdit) NameEdit->clear();
  }
  Form->StaBar_Panels[0]->setText(QString::fromStdString(First));
  Form->StaBar_Panels[1]->setText(QString::fromStdString(Second));
  Form->Pn_No_Data->setVisible(Count == 0);
  if (Count == 0) Form->Pn_No_Data->raise();
  Form->Btn_Save->setEnabled(Sel > 0);
}

void TVIBJobEdtr::VIBox_Free_Items(TVIBItems &Items) {
  std::unordered_set<const TVIBItem *> Going;
  for (const auto &I : Items) Going.insert(I.get());
  for (TVIBPanel *P : Panels())
    if (Going.count(P->Item)) P->Item = nullptr;
  if (Going.count(CurItem)) CurItem = nullptr;
  if (Going.count(BiggestItem)) BiggestItem = nullptr;
  std::erase_if(ItemList, [&](TVIBItem *I) { return Going.count(I) > 0; });
  Items.clear();
}

void TVIBJobEdtr::VIBox_Select_By_Kind(uint8_t Kind) {
  if (Kind == skDefault) {
    Kind = skAll;
    if (EditJob && EditJob->Kind == jkAllImages) Kind = Opts.OptImgSelKind;
    if (EditJob && EditJob->Kind == jkFlash) Kind = Opts.OptFlsSelKind;
  }
  Busy = true;
  try {
    if (Kind == skAll || Kind == skNone) {
      for (TVIBItem *I : ItemList)
        if (TVIBPanel *P = PanelOf(I)) P->ChkBox->setChecked(Kind == skAll && I->Saveable);
    } else if (Kind == skBiggest && BiggestItem) {
      std::vector<bool> Checks = VIB_BiggestChecks(ItemList, BiggestItem);
      for (size_t I = 0; I < ItemList.size(); ++I)
        if (TVIBPanel *P = PanelOf(ItemList[I])) P->ChkBox->setChecked(Checks[I]);
      VIBox_Select_Item(BiggestItem);
    }
  } catch (const std::exception &) {
  }
  Busy = false;
  VIBox_Upd_Status();
}

void TVIBJobEdtr::VIBox_Layout() {
  if (Box) Box->verticalScrollBar()->setValue(0);
  for (size_t I = ItemList.size(); I-- > 0;)
    if (TVIBPanel *P = PanelOf(ItemList[I])) P->move(P->x(), static_cast<int>(I) * 105 + 5);
  // The Tab key goes through the check boxes in the order they are shown,
  // then through the options; panels made later would otherwise come last.
  QWidget *Prev = nullptr;
  for (TVIBItem *I : ItemList)
    if (TVIBPanel *P = PanelOf(I)) {
      if (Prev) QWidget::setTabOrder(Prev, P->ChkBox);
      Prev = P->ChkBox;
    }
  if (Prev && Form && !IsMovieJob()) {
    // A button that is no Tab stop now (an exclusive group has one) cannot
    // be put in order; all are stops while the order is made.
    const std::vector<QWidget *> Chain = Form->ImageTabChain();
    for (QWidget *W : Chain) W->setFocusPolicy(Qt::FocusPolicy(W->focusPolicy() | Qt::TabFocus));
    for (QWidget *W : Chain) {
      QWidget::setTabOrder(Prev, W);
      Prev = W;
    }
    Form->FixGroupStops(Form->TS_Image);
  }
  if (!ItemList.empty()) VIBox_Select_Item(ItemList.front());
}

void TVIBJobEdtr::VIBox_Navigate(uint8_t Move) {
  int32_t T = VIB_NavTarget(Move, IndexOf(CurItem), static_cast<int32_t>(ItemList.size()));
  if (T >= 0) VIBox_Select_Item(ItemList[static_cast<size_t>(T)]);
}

bool TVIBJobEdtr::OnAppMessage(QObject *Target, QEvent *E) {
  if (!Form || QApplication::activeWindow() != Form) return false;
  auto *W = qobject_cast<QWidget *>(Target);
  if (!W) return false;
  switch (E->type()) {
    case QEvent::KeyPress: {
      TVIBPanel *P = PanelOf(CurItem);
      if (!P || W != P->KeyTarget()) return false;
      static const std::pair<int, uint8_t> Keys[] = {{Qt::Key_PageUp, nmTwoBack}, {Qt::Key_PageDown, nmTwoFwd},
                                                     {Qt::Key_End, nmLast},       {Qt::Key_Home, nmFirst},
                                                     {Qt::Key_Up, nmPrev},        {Qt::Key_Down, nmNext}};
      const int Key = static_cast<QKeyEvent *>(E)->key();
      for (auto [K, Move] : Keys)
        if (Key == K) {
          VIBox_Navigate(Move);
          // Taken here, so the box does not scroll a second time.
          return true;
        }
      return false;
    }
    case QEvent::MouseButtonRelease: {
      auto *M = static_cast<QMouseEvent *>(E);
      if (M->button() != Qt::LeftButton || !Box) return false;
      const QPoint At = Box->mapFromGlobal(M->globalPosition().toPoint());
      if (!Box->rect().contains(At)) return false;
      for (TVIBItem *I : ItemList)
        if (TVIBPanel *P = PanelOf(I); P && Contains(P->Browser->Widget(), W)) {
          VIBox_Select_Item(I);
          break;
        }
      return false;
    }
    case QEvent::Wheel: {
      auto *Wh = static_cast<QWheelEvent *>(E);
      const QPoint At = Form->Pnl_Preview->mapFromGlobal(Wh->globalPosition().toPoint());
      TVIBPanel *P = PanelOf(CurItem);
      if (!Form->Pnl_Preview->rect().contains(At) || !CurItem || W == P || !Box) return false;
      // Only one notch up, exactly, scrolls up; anything else scrolls down.
      const auto Step = Wh->angleDelta().y() == 120 ? QAbstractSlider::SliderSingleStepSub : QAbstractSlider::SliderSingleStepAdd;
      for (int I = 0; I < 3; ++I) Box->verticalScrollBar()->triggerAction(Step);
      return true;
    }
    default:
      return false;
  }
}

void TVIBJobEdtr::OnWBBefNavgate(const QUrl &Url, bool *Cancel) {
  const QString U = Url.toString();
  if (U == QStringLiteral("about:blank")) return;
  *Cancel = true;
  Log::Warn("Ban URL: " + U.toStdString() + "@TVIBJobEdtr.OnWBBefNavgate");
}

void TVIBJobEdtr::OnPanelImageUp(TVIBPanel *Panel) {
  if (Panel->Item && IndexOf(Panel->Item) >= 0) VIBox_Select_Item(Panel->Item);
}

void TVIBJobEdtr::OnPanelCheckClick(TVIBPanel *) {
  if (!Busy) VIBox_Upd_Status();
}

void TVIBJobEdtr::OnThumbArrived(const QString &Source, qint64 Bytes) {
  if (Bytes < 0 || EdtPhase == 0) return;
  const std::string S = Source.toStdString();
  for (TVIBItem *I : ItemList)
    if (I->FileSize < 0 && I->Url == S) {
      I->SizeText = Fmt_FileSize(Bytes);
      VIBox_Draw_Caption(I);
    }
}

bool TVIBJobEdtr::Edt_Chk_Valid() {
  if (!TJobEditor::Edt_Chk_Valid()) return false;
  if (VIBox_Sel_Count() < 1) {
    GLBL_MsgBox(Form, "No selected items!", MbError, false);
    return false;
  }
  return true;
}

bool TVIBJobEdtr::Edt_Make_fList() {
  // A name typed just before Save (Alt+S leaves the focus in the box) counts.
  VIBox_Save_Name();
  std::vector<bool> Checked;
  Checked.reserve(ItemList.size());
  for (TVIBItem *I : ItemList) {
    TVIBPanel *P = PanelOf(I);
    Checked.push_back(P && P->ChkBox->isChecked() && I->Saveable);
  }
  // Without the rename window (runs without windows) the checks rename automatically.
  TRenamChk Headless;
  std::vector<TVIBSaveFile> Files = VIB_SaveList(
      DirEdit ? DirEdit->text().toStdString() : std::string(), ItemList, Checked, [&](std::vector<std::string> &Paths) {
        return Form_Renam ? Form_Renam->ChkFList(Paths, false) : Headless.ChkFList(Paths, false);
      });
  EditJob->FileList.clear();
  for (const auto &F : Files) EJob_Add_File(*EditJob, F.Url, F.Path);
  return true;
}
