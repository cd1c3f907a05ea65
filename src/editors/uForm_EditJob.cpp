#include "editors/uForm_EditJob.h"

#include <malloc.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "editors/uJobEditor.h"
#include "editors/uThumbLoader.h"
#include "platform/TWebBrowser.h"
#include "pub/Unit_Log.h"
#include "pub/uGlobalParm.h"
#include "pub/uRunVars.h"
#include "ui/Unit_Msg.h"
#include "ui/Unit_PubWB.h"
#include "ui/Unit_PubWnd.h"

TForm_EditJob *Form_EditJob = nullptr;

int TagOf(const QObject *O) { return O ? O->property("Tag").toInt() : 0; }
void SetTag(QObject *O, int Tag) { O->setProperty("Tag", Tag); }

namespace {

QToolButton *SpeedBtn(QWidget *P, const char *Name, const char *Caption, int Tag, bool Checkable = true) {
  auto *B = new QToolButton(P);
  B->setObjectName(QString::fromLatin1(Name));
  B->setText(QString::fromUtf8(Caption));
  B->setCheckable(Checkable);
  B->setToolButtonStyle(Qt::ToolButtonTextOnly);
  B->setMinimumWidth(60);
  SetTag(B, Tag);
  return B;
}

QLineEdit *Edit(QWidget *P, const char *Name, bool ReadOnly = false) {
  auto *E = new QLineEdit(P);
  E->setObjectName(QString::fromLatin1(Name));
  E->setReadOnly(ReadOnly);
  if (ReadOnly) E->setStyleSheet(QStringLiteral("QLineEdit { background: palette(window); color: gray; }"));
  return E;
}

QLabel *Label(QWidget *P, const char *Name, const char *Text) {
  auto *L = new QLabel(QString::fromUtf8(Text), P);
  if (Name) L->setObjectName(QString::fromLatin1(Name));
  return L;
}

QCheckBox *Check(QWidget *P, const char *Name, const char *Text, int Tag, bool On) {
  auto *C = new QCheckBox(QString::fromUtf8(Text), P);
  C->setObjectName(QString::fromLatin1(Name));
  C->setChecked(On);
  SetTag(C, Tag);
  return C;
}

// "Url", "Rename" with the extension, and the folder with its button.
QGroupBox *TargetGroup(QWidget *P, const char *Title, const char *FolderCaption, QLineEdit *&Url, QLineEdit *&Name, QLabel *&Ext,
                       QLineEdit *&Dir, QToolButton *&SelDir, const char *UrlN, const char *NameN, const char *ExtN,
                       const char *DirN, const char *SelN) {
  auto *G = new QGroupBox(QString::fromUtf8(Title), P);
  auto *L = new QGridLayout(G);
  Url = Edit(G, UrlN, true);
  Name = Edit(G, NameN);
  Ext = Label(G, ExtN, ".txt");
  Dir = Edit(G, DirN);
  SelDir = SpeedBtn(G, SelN, ". . .", 0, false);
  SelDir->setMinimumWidth(30);
  L->addWidget(Label(G, nullptr, "Url"), 0, 0);
  L->addWidget(Url, 0, 1, 1, 2);
  L->addWidget(Label(G, nullptr, "Rename"), 1, 0);
  L->addWidget(Name, 1, 1);
  L->addWidget(Ext, 1, 2);
  L->addWidget(Label(G, nullptr, FolderCaption), 2, 0);
  L->addWidget(Dir, 2, 1);
  L->addWidget(SelDir, 2, 2);
  return G;
}

QGroupBox *ButtonGroup(QWidget *P, const char *Title, std::initializer_list<QToolButton *> Buttons, bool Exclusive = true) {
  auto *G = new QGroupBox(QString::fromUtf8(Title), P);
  auto *L = new QHBoxLayout(G);
  auto *Group = new QButtonGroup(G);
  Group->setExclusive(Exclusive);
  for (auto *B : Buttons) {
    B->setParent(G);
    L->addWidget(B);
    Group->addButton(B);
  }
  L->addStretch(1);
  return G;
}

// Hands every event of the program to the window's message hook.
class TAppEvents : public QObject {
 public:
  TAppEvents(TForm_EditJob &Form) : QObject(&Form), FForm(Form) {}

 protected:
  bool eventFilter(QObject *O, QEvent *E) override { return FForm.AppMessage && FForm.AppMessage(O, E); }

 private:
  TForm_EditJob &FForm;
};

// A hidden image holding a small arrow, the glyph of the sort buttons.
QLabel *Glyph(QWidget *P, const char *Name, bool Down) {
  const qreal Ratio = P->devicePixelRatioF();
  QPixmap Pix(QSize(12, 12) * Ratio);
  Pix.setDevicePixelRatio(Ratio);
  Pix.fill(Qt::transparent);
  QPainter G(&Pix);
  G.setRenderHint(QPainter::Antialiasing);
  G.setPen(Qt::NoPen);
  G.setBrush(P->palette().color(QPalette::ButtonText));
  const QPolygonF Tri = Down ? QPolygonF({QPointF(1.5, 3.5), QPointF(10.5, 3.5), QPointF(6, 9.5)})
                             : QPolygonF({QPointF(1.5, 8.5), QPointF(10.5, 8.5), QPointF(6, 2.5)});
  G.drawPolygon(Tri);
  G.end();
  auto *L = new QLabel(P);
  L->setObjectName(QString::fromLatin1(Name));
  L->setPixmap(Pix);
  L->hide();
  return L;
}

}  // namespace

TForm_EditJob::TForm_EditJob() : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("Form_EditJob"));
  setMinimumSize(400, 480);
  auto *H = new QHBoxLayout(this);
  H->setContentsMargins(4, 4, 4, 4);

  // The preview side.
  Pnl_Preview = new QWidget(this);
  Pnl_Preview->setObjectName(QStringLiteral("Pnl_Preview"));
  Pnl_Preview->setMinimumWidth(200);
  auto *PV = new QVBoxLayout(Pnl_Preview);
  PV->setContentsMargins(0, 0, 0, 0);
  PV->setSpacing(0);
  Memo_Preview = new QPlainTextEdit(Pnl_Preview);
  Memo_Preview->setObjectName(QStringLiteral("Memo_Preview"));
  Memo_Preview->setReadOnly(true);
  Memo_Preview->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo_Preview->hide();
  Memo_Preview->installEventFilter(this);
  WB_Preview = new TWebEngineBrowser(Pnl_Preview);
  WB_Preview->setParent(this);
  ScrlBox_Img = new QScrollArea(Pnl_Preview);
  ScrlBox_Img->setObjectName(QStringLiteral("ScrlBox_Img"));
  ScrlBox_Img->setFrameShape(QFrame::NoFrame);
  ScrlBox_Img->setWidgetResizable(true);
  ScrlBox_Img->setWidget(new QWidget(ScrlBox_Img));
  ScrlBox_Img->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ScrlBox_Img->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Three wheel steps move the box by one panel.
  ScrlBox_Img->verticalScrollBar()->setSingleStep(35);
  {
    QPalette Pal = ScrlBox_Img->palette();
    Pal.setColor(QPalette::Window, QColor(211, 208, 180));
    ScrlBox_Img->widget()->setPalette(Pal);
    ScrlBox_Img->widget()->setAutoFillBackground(true);
  }
  PV->addWidget(Memo_Preview, 1);
  PV->addWidget(WB_Preview->Widget(), 1);
  PV->addWidget(ScrlBox_Img, 1);
  Pn_No_Data = new QLabel(QStringLiteral("No files"), Pnl_Preview);
  Pn_No_Data->setObjectName(QStringLiteral("Pn_No_Data"));
  Pn_No_Data->setAlignment(Qt::AlignCenter);
  QFont Big = Pn_No_Data->font();
  Big.setPointSize(Big.pointSize() * 2);
  Pn_No_Data->setFont(Big);
  Pn_No_Data->setEnabled(false);
  Pn_No_Data->setGeometry(30, 60, 200, 80);
  Pn_No_Data->hide();
  StaBar_Pvw = new QStatusBar(Pnl_Preview);
  StaBar_Pvw->setObjectName(QStringLiteral("StaBar_Pvw"));
  StaBar_Pvw->setSizeGripEnabled(false);
  const int Widths[3] = {110, 80, 50};
  for (int I = 0; I < 3; ++I) {
    StaBar_Panels[I] = new QLabel(StaBar_Pvw);
    StaBar_Panels[I]->setMinimumWidth(Widths[I]);
    StaBar_Pvw->addWidget(StaBar_Panels[I]);
  }
  PV->addWidget(StaBar_Pvw);
  H->addWidget(Pnl_Preview, 1);

  // The options side.
  Pnl_Op = new QWidget(this);
  Pnl_Op->setObjectName(QStringLiteral("Pnl_Op"));
  Pnl_Op->setFixedWidth(324);
  auto *OV = new QVBoxLayout(Pnl_Op);
  OV->setContentsMargins(0, 0, 0, 0);
  PageCtrl = new QTabWidget(Pnl_Op);
  PageCtrl->setObjectName(QStringLiteral("PageCtrl"));
  PageCtrl->setMinimumHeight(400);
  TS_Webpage = BuildWebTab();
  TS_Image = BuildImageTab();
  TS_Flash = BuildFlashTab();
  PageCtrl->addTab(TS_Webpage, QStringLiteral("Web page"));
  PageCtrl->addTab(TS_Image, QStringLiteral("Image"));
  PageCtrl->addTab(TS_Flash, QStringLiteral("Flash"));
  OV->addWidget(PageCtrl, 1);
  auto *Bottom = new QWidget(Pnl_Op);
  auto *BH = new QHBoxLayout(Bottom);
  BH->addStretch(1);
  Btn_Save = new QPushButton(QStringLiteral("&Save"), Bottom);
  Btn_Save->setObjectName(QStringLiteral("Btn_Save"));
  Btn_Save->setDefault(true);
  Btn_Cancel = new QPushButton(QStringLiteral("&Cancel"), Bottom);
  Btn_Cancel->setObjectName(QStringLiteral("Btn_Cancel"));
  BH->addWidget(Btn_Save);
  BH->addWidget(Btn_Cancel);
  OV->addWidget(Bottom);
  H->addWidget(Pnl_Op);

  Pn_Pvw_Tips = new QLabel(QStringLiteral("Loading, please wait..."), this);
  Pn_Pvw_Tips->setObjectName(QStringLiteral("Pn_Pvw_Tips"));
  Pn_Pvw_Tips->setAlignment(Qt::AlignCenter);
  Pn_Pvw_Tips->setAutoFillBackground(true);
  Pn_Pvw_Tips->hide();
  Img_Arrow_Up = Glyph(Pnl_Preview, "Img_Arrow_Up", false);
  Img_Arrow_Down = Glyph(Pnl_Preview, "Img_Arrow_Down", true);

  connect(Btn_Save, &QPushButton::clicked, this, [this] { Frm_Exit(true); });
  connect(Btn_Cancel, &QPushButton::clicked, this, [this] { Frm_Exit(false); });
  connect(SBtn_WP_SelDir, &QToolButton::clicked, this, [this] { Frm_Sel_Dir(Edit_WP_SDir); });
  connect(SBtn_Img_SelDir, &QToolButton::clicked, this, [this] { Frm_Sel_Dir(Edit_Img_SDir); });
  connect(SBtn_Fls_SelDir, &QToolButton::clicked, this, [this] { Frm_Sel_Dir(Edit_Fls_SDir); });
  // The first click into a name box after it gains the focus selects the whole name.
  for (QLineEdit *E : {Edit_AbsFileName, Edit_Img_AFn, Edit_Fls_AFn}) E->installEventFilter(this);
  FAppEvents = new TAppEvents(*this);
  qApp->installEventFilter(FAppEvents);
  Form_EditJob = this;
  EditWnd = this;
  EditWnd_ToFront = [this] { Frm_ToFront(); };
}

TForm_EditJob::~TForm_EditJob() {
  qApp->removeEventFilter(FAppEvents);
  AppMessage = nullptr;
  if (Form_EditJob == this) Form_EditJob = nullptr;
  if (EditWnd == this || !EditWnd) {
    EditWnd = nullptr;
    EditWnd_ToFront = nullptr;
  }
}

QWidget *TForm_EditJob::BuildWebTab() {
  auto *T = new QWidget;
  T->setObjectName(QStringLiteral("TS_Webpage"));
  auto *V = new QVBoxLayout(T);
  Sbtn_Snippet = SpeedBtn(T, "Sbtn_Snippet", "Snippet", 11);
  Sbtn_Fullpage = SpeedBtn(T, "Sbtn_Fullpage", "Entire page", 12);
  Sbtn_Snippet->setChecked(true);
  V->addWidget(ButtonGroup(T, "Save content", {Sbtn_Snippet, Sbtn_Fullpage}));
  Sbtn_PTextFmt = SpeedBtn(T, "Sbtn_PTextFmt", "Plain Text", 21);
  Sbtn_HtmlFmt = SpeedBtn(T, "Sbtn_HtmlFmt", "Html", 22);
  Sbtn_PTextFmt->setChecked(true);
  V->addWidget(ButtonGroup(T, "Data format", {Sbtn_PTextFmt, Sbtn_HtmlFmt}));
  auto *Opts = new QGroupBox(QStringLiteral("Options"), T);
  auto *OG = new QGridLayout(Opts);
  Chkbox_Sav_Img = Check(Opts, "Chkbox_Sav_Img", "Save images", 31, true);
  ChkBox_RmvTag_Scrp = Check(Opts, "ChkBox_RmvTag_Scrp", "Remove scripts", 32, false);
  Chkbox_Addinfo_Url = Check(Opts, "Chkbox_Addinfo_Url", "With source URL", 33, true);
  Chkbox_Addinfo_Time = Check(Opts, "Chkbox_Addinfo_Time", "With save time", 34, false);
  OG->addWidget(Chkbox_Sav_Img, 0, 0);
  OG->addWidget(ChkBox_RmvTag_Scrp, 0, 1);
  OG->addWidget(Chkbox_Addinfo_Url, 1, 0);
  OG->addWidget(Chkbox_Addinfo_Time, 1, 1);
  V->addWidget(Opts);
  V->addWidget(TargetGroup(T, " Save to ", "Save to", Edit_srcUrl, Edit_AbsFileName, Lbl_WB_EFn, Edit_WP_SDir, SBtn_WP_SelDir,
                           "Edit_srcUrl", "Edit_AbsFileName", "Lbl_WB_EFn", "Edit_WP_SDir", "SBtn_WP_SelDir"));
  V->addStretch(1);
  return T;
}

QWidget *TForm_EditJob::BuildImageTab() {
  auto *T = new QWidget;
  T->setObjectName(QStringLiteral("TS_Image"));
  auto *V = new QVBoxLayout(T);
  Sbtn_CurImg = SpeedBtn(T, "Sbtn_CurImg", "Current", 11);
  SBtn_AImg = SpeedBtn(T, "SBtn_AImg", "All", 12);
  Sbtn_CurImg->setChecked(true);
  V->addWidget(ButtonGroup(T, "Target", {Sbtn_CurImg, SBtn_AImg}));
  Pn_Almg_bench = new QWidget(T);
  Pn_Almg_bench->setObjectName(QStringLiteral("Pn_Almg_bench"));
  auto *BV = new QVBoxLayout(Pn_Almg_bench);
  BV->setContentsMargins(0, 0, 0, 0);
  SBtn_AllSize = SpeedBtn(Pn_Almg_bench, "SBtn_AllSize", "All", 21);
  SBtn_Large = SpeedBtn(Pn_Almg_bench, "SBtn_Large", "Large", 22);
  SBtn_Medium = SpeedBtn(Pn_Almg_bench, "SBtn_Medium", "Medium", 23);
  SBtn_Small = SpeedBtn(Pn_Almg_bench, "SBtn_Small", "Small", 24);
  SBtn_AllType = SpeedBtn(Pn_Almg_bench, "SBtn_AllType", "All", 31);
  SBtn_Jpg = SpeedBtn(Pn_Almg_bench, "SBtn_Jpg", "JPG", 32);
  SBtn_Gif = SpeedBtn(Pn_Almg_bench, "SBtn_Gif", "GIF", 33);
  SBtn_Png = SpeedBtn(Pn_Almg_bench, "SBtn_Png", "PNG", 34);
  SBtn_AllSize->setChecked(true);
  SBtn_AllType->setChecked(true);
  BV->addWidget(ButtonGroup(Pn_Almg_bench, "Size", {SBtn_AllSize, SBtn_Large, SBtn_Medium, SBtn_Small}));
  BV->addWidget(ButtonGroup(Pn_Almg_bench, "Type", {SBtn_AllType, SBtn_Jpg, SBtn_Gif, SBtn_Png}));
  BBtn_Img_SortSiz = SpeedBtn(Pn_Almg_bench, "BBtn_Img_SortSiz", "Size", 41, false);
  BBtn_Img_SortTyp = SpeedBtn(Pn_Almg_bench, "BBtn_Img_SortTyp", "Type", 42, false);
  for (QToolButton *B : {BBtn_Img_SortSiz, BBtn_Img_SortTyp}) B->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  BV->addWidget(ButtonGroup(Pn_Almg_bench, "Sort", {BBtn_Img_SortSiz, BBtn_Img_SortTyp}, false));
  BBtn_Img_SelBig = SpeedBtn(Pn_Almg_bench, "BBtn_Img_SelBig", "Biggest", 51, false);
  BBtn_Img_SelAll = SpeedBtn(Pn_Almg_bench, "BBtn_Img_SelAll", "All", 52, false);
  BBtn_Img_SelNon = SpeedBtn(Pn_Almg_bench, "BBtn_Img_SelNon", "None", 53, false);
  BV->addWidget(ButtonGroup(Pn_Almg_bench, "Select", {BBtn_Img_SelBig, BBtn_Img_SelAll, BBtn_Img_SelNon}, false));
  V->addWidget(Pn_Almg_bench);
  V->addWidget(TargetGroup(T, " Save folder ", "Folder", Edit_Img_Url, Edit_Img_AFn, Lbl_Img_EFn, Edit_Img_SDir, SBtn_Img_SelDir,
                           "Edit_Img_Url", "Edit_Img_AFn", "Lbl_Img_EFn", "Edit_Img_SDir", "SBtn_Img_SelDir"));
  V->addStretch(1);
  return T;
}

QWidget *TForm_EditJob::BuildFlashTab() {
  auto *T = new QWidget;
  T->setObjectName(QStringLiteral("TS_Flash"));
  auto *V = new QVBoxLayout(T);
  BBtn_Fls_SortSiz = SpeedBtn(T, "BBtn_Fls_SortSiz", "Size", 11, false);
  Label_Flash_Sort_Indc = Label(T, "Label_Flash_Sort_Indc", "Biggest  first");
  auto *SortRow = new QGroupBox(QStringLiteral("Sort"), T);
  auto *SH = new QHBoxLayout(SortRow);
  BBtn_Fls_SortSiz->setParent(SortRow);
  Label_Flash_Sort_Indc->setParent(SortRow);
  SH->addWidget(BBtn_Fls_SortSiz);
  SH->addWidget(Label_Flash_Sort_Indc);
  SH->addStretch(1);
  V->addWidget(SortRow);
  BBtn_Fls_SelBig = SpeedBtn(T, "BBtn_Fls_SelBig", "Biggest", 21, false);
  BBtn_Fls_SelAll = SpeedBtn(T, "BBtn_Fls_SelAll", "All", 22, false);
  BBtn_Fls_SelNon = SpeedBtn(T, "BBtn_Fls_SelNon", "None", 23, false);
  V->addWidget(ButtonGroup(T, "Select", {BBtn_Fls_SelBig, BBtn_Fls_SelAll, BBtn_Fls_SelNon}, false));
  V->addWidget(TargetGroup(T, " Save folder ", "Folder", Edit_Fls_Url, Edit_Fls_AFn, Lbl_Fls_EFn, Edit_Fls_SDir, SBtn_Fls_SelDir,
                           "Edit_Fls_Url", "Edit_Fls_AFn", "Lbl_Fls_EFn", "Edit_Fls_SDir", "SBtn_Fls_SelDir"));
  V->addStretch(1);
  return T;
}

std::vector<QWidget *> TForm_EditJob::ItemPanels() const {
  std::vector<QWidget *> Out;
  if (QWidget *Box = ScrlBox_Img->widget())
    for (QObject *C : Box->children())
      if (auto *W = qobject_cast<QWidget *>(C); W && W->property("ItemPanel").toBool()) Out.push_back(W);
  return Out;
}

std::vector<QWidget *> TForm_EditJob::ImageTabChain() const {
  return {Sbtn_CurImg,     SBtn_AImg,    SBtn_AllSize, SBtn_Large,       SBtn_Medium,      SBtn_Small,      SBtn_AllType,
          SBtn_Jpg,        SBtn_Gif,     SBtn_Png,     BBtn_Img_SortSiz, BBtn_Img_SortTyp, BBtn_Img_SelBig, BBtn_Img_SelAll,
          BBtn_Img_SelNon, Edit_Img_Url, Edit_Img_AFn, Edit_Img_SDir,    SBtn_Img_SelDir,  Btn_Save,        Btn_Cancel};
}

void TForm_EditJob::FixGroupStops(QWidget *Tab) {
  for (QButtonGroup *G : Tab->findChildren<QButtonGroup *>()) {
    if (!G->exclusive()) continue;
    for (QAbstractButton *B : G->buttons())
      B->setFocusPolicy(Qt::FocusPolicy(B->isChecked() ? B->focusPolicy() | Qt::TabFocus : B->focusPolicy() & ~Qt::TabFocus));
  }
}

void TForm_EditJob::showEvent(QShowEvent *E) {
  QWidget::showEvent(E);
  Frm_Init_View();
}

void TForm_EditJob::resizeEvent(QResizeEvent *E) {
  QWidget::resizeEvent(E);
  if (Pn_Pvw_Tips->isVisible() && EditJob && EditJob->Kind >= jkOneImage) Pn_Pvw_Tips->setGeometry(Pnl_Preview->geometry());
}

void TForm_EditJob::Frm_Init_View() {
  try {
    QRect Scr = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect(0, 0, 1024, 768);
    if (FirstShow) {
      // The item box is exactly 253 pixels plus a scroll bar wide.
      int BoxW = 253 + VScrollWidth;
      int W = BoxW + width() - ScrlBox_Img->width();
      setMinimumWidth(W);
      resize(W, height());
      if (FirstRun) {
        GParm.iVw_EFrm_Txt_W = std::min(Scr.width() - 200, 800);
        GParm.iVw_EFrm_Txt_H = std::min(Scr.height() - 200, 600);
        GParm.iVw_EFrm_H = height();
      }
      for (QToolButton *B : {BBtn_Fls_SortSiz, BBtn_Img_SortSiz, BBtn_Img_SortTyp}) B->setIcon(Img_Arrow_Down->pixmap());
      // The preview is not blanked here: that would start the web engine
      // for picture jobs too; a text job's request has warmed it already.
      Pn_Pvw_Tips->raise();
      Pn_No_Data->setGeometry(30, Pn_No_Data->y(), Pnl_Preview->width() - 60, Pn_No_Data->height());
      FirstShow = false;
    }
    if (EditJob && EditJob->Kind >= jkOneImage) {
      setMaximumWidth(minimumWidth());
      resize(minimumWidth(), std::max(GParm.iVw_EFrm_H, minimumHeight()));
      Pn_Pvw_Tips->setGeometry(Pnl_Preview->geometry());
    } else {
      setMaximumWidth(QWIDGETSIZE_MAX);
      resize(std::max(GParm.iVw_EFrm_Txt_W, minimumWidth()), std::max(GParm.iVw_EFrm_Txt_H, minimumHeight()));
    }
    move((Scr.width() - width()) / 2, (Scr.height() - height()) / 2);
    CloseOK = false;
  } catch (const std::exception &E) {
    InitFailed = true;
    GLBL_TipMsg("Fail to initialize edit form!", "", TipError);
    Log::Fatal(Format(ErrTipsFmt, {"Fail to initialize edit form!", "TForm_EditJob.Frm_Init_View", E.what()}));
  }
}

void TForm_EditJob::Frm_Exit(bool Save) {
  if (Save) {
    if (CurEditor) CurEditor->EJob_Exit();
    return;
  }
  PrepareClose();
  close();
}

void TForm_EditJob::PrepareClose() {
  CloseOK = true;
  if (EditJob && EditJob->Kind == jkFlash)
    for (QWidget *P : ItemPanels())
      if (auto *Wb = P->property("Browser").value<TWebBrowser *>()) WB_Clear(Wb);
}

void TForm_EditJob::closeEvent(QCloseEvent *E) {
  // Every way of closing goes through the cancel path first; a close the
  // window did not start itself takes that path here.
  if (!CloseOK) PrepareClose();
  // The item box's "No files" belongs to the job that showed it.
  Pn_No_Data->hide();
  if (EditJobKind < 2) {
    WB_Clear(WB_Preview);
    // The page's helper process goes with the window; the engine itself
    // stays, so the next text job starts the page quickly.
    WB_Preview->Release();
    if (TagOf(Memo_Preview) > 0) {
      SetTag(Memo_Preview, 0);
      Memo_Preview->clear();
    }
  }
  if (EditJob && EditJob->Kind >= jkOneImage) {
    GParm.iVw_EFrm_H = height();
  } else {
    GParm.iVw_EFrm_Txt_W = width();
    GParm.iVw_EFrm_Txt_H = height();
  }
  InFormClose = true;
  try {
    if (CurEditor) CurEditor->EJob_Chk_Close();
  } catch (const std::exception &Ex) {
    InFormClose = false;
    E->accept();
    AfterClose();
    GLBL_MsgBox(this, Ex.what(), MbError);
    return;
  }
  InFormClose = false;
  E->accept();
  AfterClose();
}

void TForm_EditJob::AfterClose() {
  MainWnd_PutAtBottom();
  if (PrevFgWnd && PrevFgWnd != MainWnd()) Wnd_ToFront(PrevFgWnd);
}

void TForm_EditJob::Frm_Sel_Dir(QLineEdit *Edit) {
  std::string Folder = Edit->text().toStdString();
  if (Sel_Directory(this, "Please select a directory", "", Folder)) Edit->setText(QString::fromStdString(Folder));
}

void TForm_EditJob::Frm_ToFront() {
  QWidget *Renam = nullptr;
  for (QWidget *W : QApplication::topLevelWidgets())
    if (W->objectName() == QStringLiteral("Form_Renam") && W->isVisible()) Renam = W;
  Wnd_ForceFront(Renam ? Renam : this);
}

void TForm_EditJob::FocusCtrl(QWidget *W) {
  if (W) W->setFocus();
}

void TForm_EditJob::keyPressEvent(QKeyEvent *E) {
  if (E->key() == Qt::Key_Escape) {
    Btn_Cancel->click();
    return;
  }
  QWidget::keyPressEvent(E);
}

bool TForm_EditJob::eventFilter(QObject *O, QEvent *E) {
  if (O == Memo_Preview && E->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(E)->key() == Qt::Key_Escape) {
    Btn_Cancel->click();
    return true;
  }
  if (auto *Ed = qobject_cast<QLineEdit *>(O)) {
    if (E->type() == QEvent::FocusIn) SetTag(Ed, 3);
    if (E->type() == QEvent::MouseButtonRelease && TagOf(Ed) == 3) {
      SetTag(Ed, 0);
      Ed->selectAll();
      return true;
    }
  }
  return QWidget::eventFilter(O, E);
}

void TForm_EditJob::DO_OptimizeMem() {
  if (FirstShow || isVisible() || EditJobKind == 5 || EdtPhase != 0) return;
  try {
    std::vector<QWidget *> Panels = ItemPanels();
    if (Panels.size() > 160) {
      for (size_t I = 0; I < Panels.size() - 100; ++I) delete Panels[I];
      Panels = ItemPanels();
    }
    for (QWidget *P : Panels)
      if (auto *Wb = P->property("Browser").value<TWebBrowser *>()) WB_Clear(Wb);
    // The last job's items and decoded thumbnails go too (the pictures' files
    // stay in the URL cache), and the freed memory goes back to the system,
    // now and once the widgets deleted later are gone.
    if (CurEditor) CurEditor->Edt_Release();
    TThumbLoader::Default().Release();
    ::malloc_trim(0);
    QTimer::singleShot(0, [] { ::malloc_trim(0); });
  } catch (const std::exception &E) {
    Log::Err(Format(ErrTipsFmt, {"Optimiaze fail", "TForm_EditJob.DO_OptimizeMem", E.what()}));
  }
  EditJobKind = 5;
}
