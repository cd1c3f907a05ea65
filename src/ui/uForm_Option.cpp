#include "ui/uForm_Option.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "net/uDownRunner.h"
#include "ui/Unit_PubWnd.h"

namespace {
constexpr int DesignW = 409, DesignH = 411;
// The update cycle's box: 0 is "never"; a stored number beyond the box
// stays stored until the user moves the box.
constexpr int MaxCycDays = 9999;

template <class... F>
struct TOverload : F... {
  using F::operator()...;
};
template <class... F>
TOverload(F...) -> TOverload<F...>;

QCheckBox *Check(const char *Name, const char *Caption, QWidget *Parent) {
  auto *C = new QCheckBox(QString::fromLatin1(Caption), Parent);
  C->setObjectName(QString::fromLatin1(Name));
  return C;
}

QGroupBox *Group(const char *Caption, QWidget *Parent) { return new QGroupBox(QString::fromLatin1(Caption), Parent); }

// A grey line under a box's settings that says what they do.
QLabel *Note(const QString &Text, QWidget *Parent) {
  auto *L = new QLabel(Text, Parent);
  L->setWordWrap(true);
  L->setForegroundRole(QPalette::PlaceholderText);
  return L;
}

QWidget *Page(QTabWidget *Tabs, const char *Name, const char *Caption, QVBoxLayout *&V) {
  auto *P = new QWidget(Tabs);
  P->setObjectName(QString::fromLatin1(Name));
  V = new QVBoxLayout(P);
  V->setContentsMargins(10, 10, 10, 10);
  V->setSpacing(10);
  Tabs->addTab(P, QString::fromLatin1(Caption));
  return P;
}
}  // namespace

TRadioGroup::TRadioGroup(const char *Name, const QString &Caption, const QStringList &Items, int Columns, QWidget *Parent)
    : QGroupBox(Caption, Parent), FGroup(new QButtonGroup(this)) {
  setObjectName(QString::fromLatin1(Name));
  auto *G = new QGridLayout(this);
  G->setContentsMargins(10, 6, 10, 6);
  G->setHorizontalSpacing(16);
  G->setVerticalSpacing(4);
  const int Cols = std::max(Columns, 1);
  for (int I = 0; I < Items.size(); ++I) {
    auto *B = new QRadioButton(Items[I], this);
    B->setObjectName(objectName() + QStringLiteral("_%1").arg(I));
    FGroup->addButton(B, I);
    G->addWidget(B, I / Cols, I % Cols);
  }
  for (int C = 0; C < Cols; ++C) G->setColumnStretch(C, 1);
}

int TRadioGroup::ItemIndex() const { return FGroup->checkedId(); }

void TRadioGroup::SetItemIndex(int Index) {
  if (QAbstractButton *B = FGroup->button(Index)) {
    B->setChecked(true);
    return;
  }
  // An exclusive group never lets the last choice go by itself.
  FGroup->setExclusive(false);
  for (QAbstractButton *B : FGroup->buttons()) B->setChecked(false);
  FGroup->setExclusive(true);
}

int TRadioGroup::Count() const { return static_cast<int>(FGroup->buttons().size()); }

QRadioButton *TRadioGroup::Button(int Index) const { return qobject_cast<QRadioButton *>(FGroup->button(Index)); }

TForm_Option::TForm_Option(QWidget *Parent)
    : QDialog(Parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("Form_Option"));
  setWindowTitle(QStringLiteral("Options"));
  // The window itself takes the focus when shown, so that no control has it.
  setFocusPolicy(Qt::ClickFocus);
  auto *V = new QVBoxLayout(this);
  V->setContentsMargins(8, 8, 8, 8);
  V->setSpacing(8);
  PgCtrl_Opt = new QTabWidget(this);
  PgCtrl_Opt->setObjectName(QStringLiteral("PgCtrl_Opt"));
  BuildGeneral();
  BuildText();
  BuildImage();
  BuildFlash();
  BuildAdvanced();
  V->addWidget(PgCtrl_Opt, 1);

  auto *Btns = new QHBoxLayout();
  Btns->addStretch(1);
  Btn_Save = new QPushButton(QStringLiteral("Save"), this);
  Btn_Save->setObjectName(QStringLiteral("Btn_Save"));
  Btn_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
  Btn_Cancel->setObjectName(QStringLiteral("Btn_Cancel"));
  for (QPushButton *B : {Btn_Save, Btn_Cancel}) {
    B->setMinimumWidth(80);
    Btns->addWidget(B);
  }
  Btn_Save->setDefault(true);
  V->addLayout(Btns);
  connect(Btn_Save, &QPushButton::clicked, this, &TForm_Option::SaveOpts);
  // Esc and closing the window reject as well.
  connect(Btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);

  QSize Need = sizeHint();
  setFixedSize(std::max(DesignW, Need.width()), std::max(DesignH, Need.height()));
}

QWidget *TForm_Option::BuildGeneral() {
  QVBoxLayout *V;
  QWidget *P = Page(PgCtrl_Opt, "TabSht_General", "General ", V);
  RGp_AtRenam = new TRadioGroup("RGp_AtRenam", QStringLiteral(" When a file exists or its filename is invalid "),
                                {QStringLiteral("Prompt me"), QStringLiteral("Auto rename")}, 1, P);
  V->addWidget(RGp_AtRenam);
  Bind(RGp_AtRenam, "bFlAtRenam");

  QGroupBox *Tip = Group(" Tip message ", P);
  auto *TV = new QVBoxLayout(Tip);
  TV->setContentsMargins(10, 6, 10, 6);
  ChkBox_Cmplt_Msg = Check("ChkBox_Cmplt_Msg", "Show message when a job completes successfully", Tip);
  TV->addWidget(ChkBox_Cmplt_Msg);
  V->addWidget(Tip);
  Bind(ChkBox_Cmplt_Msg, "bMsg_Cmplt");

  QGroupBox *Dirs = Group(" File default directory ", P);
  auto *G = new QGridLayout(Dirs);
  G->setContentsMargins(10, 8, 10, 8);
  G->setHorizontalSpacing(6);
  G->setVerticalSpacing(6);
  struct TRow {
    const char *Label, *Edit, *Btn, *Key;
    QLineEdit **E;
    QPushButton **B;
  };
  const TRow Rows[] = {{"Default", "Ed_Path_Dflt", "Btn_Path_Dflt", "sDir_Def", &Ed_Path_Dflt, &Btn_Path_Dflt},
                       {"Text", "Ed_Path_Txt", "Btn_Path_Txt", "sDir_Def_Txt", &Ed_Path_Txt, &Btn_Path_Txt},
                       {"Image", "Ed_Path_Img", "Btn_Path_Img", "sDir_Def_Img", &Ed_Path_Img, &Btn_Path_Img},
                       {"Flash", "Ed_Path_Fls", "Btn_Path_Fls", "sDir_Def_Fls", &Ed_Path_Fls, &Btn_Path_Fls}};
  int R = 0;
  for (const TRow &Row : Rows) {
    auto *L = new QLabel(QString::fromLatin1(Row.Label), Dirs);
    auto *E = new QLineEdit(Dirs);
    E->setObjectName(QString::fromLatin1(Row.Edit));
    L->setBuddy(E);
    auto *B = new QPushButton(QStringLiteral(". . ."), Dirs);
    B->setObjectName(QString::fromLatin1(Row.Btn));
    B->setToolTip(QString::fromLatin1(SelDirTitle));
    B->setFixedWidth(B->fontMetrics().horizontalAdvance(QStringLiteral(". . .")) + 20);
    B->setAutoDefault(false);
    G->addWidget(L, R, 0);
    G->addWidget(E, R, 1);
    G->addWidget(B, R, 2);
    connect(B, &QPushButton::clicked, this, [this, E] { SelDir(E); });
    *Row.E = E;
    *Row.B = B;
    Bind(E, Row.Key);
    ++R;
  }
  G->setColumnStretch(1, 1);
  V->addWidget(Dirs);
  V->addStretch(1);
  return P;
}

QWidget *TForm_Option::BuildText() {
  QVBoxLayout *V;
  QWidget *P = Page(PgCtrl_Opt, "TabSht_Text", "Text", V);
  RGp_Txt_Fmt = new TRadioGroup("RGp_Txt_Fmt", QStringLiteral(" Source data format "),
                                {QStringLiteral("Txt  Format"), QStringLiteral("Html Format")}, 1, P);
  V->addWidget(RGp_Txt_Fmt);
  Bind(RGp_Txt_Fmt, "SrcTextFmt");

  QGroupBox *Att = Group(" Attached files (html format available) ", P);
  auto *AV = new QVBoxLayout(Att);
  AV->setContentsMargins(10, 6, 10, 6);
  ChkBox_SavImg = Check("ChkBox_SavImg", "Save images as attached files", Att);
  ChkBox_Rmv_Scrp = Check("ChkBox_Rmv_Scrp", "Remove scripts", Att);
  AV->addWidget(ChkBox_SavImg);
  AV->addWidget(ChkBox_Rmv_Scrp);
  V->addWidget(Att);
  Bind(ChkBox_SavImg, "bTxt_Atch_Image");
  Bind(ChkBox_Rmv_Scrp, "bTxt_Rmv_Scrp");

  QGroupBox *Add = Group(" Additional infomation ", P);
  auto *DV = new QVBoxLayout(Add);
  DV->setContentsMargins(10, 6, 10, 6);
  ChkBox_With_URL = Check("ChkBox_With_URL", "With source URL", Add);
  ChkBox_With_SavTime = Check("ChkBox_With_SavTime", "With saving time", Add);
  DV->addWidget(ChkBox_With_URL);
  DV->addWidget(ChkBox_With_SavTime);
  V->addWidget(Add);
  Bind(ChkBox_With_URL, "bTxt_ExItem_Url");
  Bind(ChkBox_With_SavTime, "bTxt_ExItem_Time");
  V->addStretch(1);
  return P;
}

QWidget *TForm_Option::BuildImage() {
  QVBoxLayout *V;
  QWidget *P = Page(PgCtrl_Opt, "TabSht_Image", "Image", V);
  RGp_Img_fltSiz =
      new TRadioGroup("RGp_Img_fltSiz", QStringLiteral(" Save image size (Filter) "),
                      {QStringLiteral("All"), QStringLiteral("Large"), QStringLiteral("Medium"), QStringLiteral("Small")}, 4, P);
  RGp_Img_fltTyp =
      new TRadioGroup("RGp_Img_fltTyp", QStringLiteral(" Save picture type (Filter) "),
                      {QStringLiteral("ALL"), QStringLiteral("JPG"), QStringLiteral("GIF"), QStringLiteral("PNG")}, 4, P);
  RGp_Img_Sort_Siz = new TRadioGroup("RGp_Img_Sort_Siz", QStringLiteral(" Sort by size "),
                                     {QStringLiteral("Ascending"), QStringLiteral("Descending")}, 2, P);
  RGp_Img_Sel = new TRadioGroup("RGp_Img_Sel", QStringLiteral(" Select by default "),
                                {QStringLiteral("All"), QStringLiteral("Biggest"), QStringLiteral("None")}, 3, P);
  for (TRadioGroup *G : {RGp_Img_fltSiz, RGp_Img_fltTyp, RGp_Img_Sort_Siz, RGp_Img_Sel}) V->addWidget(G);
  Bind(RGp_Img_fltSiz, "Img_Flt_Siz");
  Bind(RGp_Img_fltTyp, "Img_Flt_Typ");
  Bind(RGp_Img_Sort_Siz, "bImg_Sort_Siz_Des");
  Bind(RGp_Img_Sel, "Img_Sel_Kind");
  ChkBox_Img_IgnTiny = Check("ChkBox_Img_IgnTiny", "Ignore tiny image (10x10)", P);
  ChkBox_Img_IgnBar = Check("ChkBox_Img_IgnBar", "Ignore vertical and horizontal lines", P);
  auto *CV = new QVBoxLayout();
  CV->setContentsMargins(4, 0, 0, 0);
  CV->addWidget(ChkBox_Img_IgnTiny);
  CV->addWidget(ChkBox_Img_IgnBar);
  V->addLayout(CV);
  Bind(ChkBox_Img_IgnTiny, "bImg_Flt_IgnTiny");
  Bind(ChkBox_Img_IgnBar, "bImg_Flt_IgnBar");
  V->addStretch(1);
  return P;
}

QWidget *TForm_Option::BuildFlash() {
  QVBoxLayout *V;
  QWidget *P = Page(PgCtrl_Opt, "TabSht_Flash", "Flash", V);
  RGp_Fls_Sort = new TRadioGroup("RGp_Fls_Sort", QStringLiteral(" Sort by size "),
                                 {QStringLiteral("Ascending"), QStringLiteral("Descending")}, 1, P);
  RGp_Fls_Sel = new TRadioGroup("RGp_Fls_Sel", QStringLiteral(" Select by default "),
                                {QStringLiteral("All"), QStringLiteral("Biggest in size"), QStringLiteral("None")}, 1, P);
  V->addWidget(RGp_Fls_Sort);
  V->addWidget(RGp_Fls_Sel);
  Bind(RGp_Fls_Sort, "bFls_Sort_Des");
  Bind(RGp_Fls_Sel, "Fls_Sel_Kind");
  V->addStretch(1);
  return P;
}

QWidget *TForm_Option::BuildAdvanced() {
  QVBoxLayout *V;
  QWidget *P = Page(PgCtrl_Opt, "TabSht_Advanced", "Advanced", V);
  QGroupBox *Upd = Group(" Update check ", P);
  auto *G = new QGridLayout(Upd);
  G->setContentsMargins(10, 8, 10, 8);
  G->setHorizontalSpacing(8);
  G->setVerticalSpacing(6);
  auto *LCyc = new QLabel(QStringLiteral("Check for updates every"), Upd);
  SpEd_ChkCyc = new QSpinBox(Upd);
  SpEd_ChkCyc->setObjectName(QStringLiteral("SpEd_ChkCyc"));
  SpEd_ChkCyc->setRange(0, MaxCycDays);
  SpEd_ChkCyc->setSuffix(QStringLiteral(" days"));
  SpEd_ChkCyc->setSpecialValueText(QStringLiteral("never"));
  SpEd_ChkCyc->setMinimumWidth(110);
  LCyc->setBuddy(SpEd_ChkCyc);
  G->addWidget(LCyc, 0, 0);
  G->addWidget(SpEd_ChkCyc, 0, 1, Qt::AlignLeft);
  auto *LHost = new QLabel(QStringLiteral("Update site"), Upd);
  Ed_UpdHost = new QLineEdit(Upd);
  Ed_UpdHost->setObjectName(QStringLiteral("Ed_UpdHost"));
  LHost->setBuddy(Ed_UpdHost);
  G->addWidget(LHost, 1, 0);
  G->addWidget(Ed_UpdHost, 1, 1);
  G->addWidget(Note(QStringLiteral("The latest version is read from the file /upd/updpgm.txt on this site. "
                                   "With no site, nothing is asked."),
                    Upd),
               2, 0, 1, 2);
  G->setColumnStretch(1, 1);
  V->addWidget(Upd);
  Bind(SpEd_ChkCyc, "iChkCyc");
  Bind(Ed_UpdHost, "sUpdHost");
  QGroupBox *Pics = Group(" Pictures ", P);
  auto *PV = new QVBoxLayout(Pics);
  PV->setContentsMargins(10, 8, 10, 8);
  ChkBox_LazyScroll = Check("ChkBox_LazyScroll", "Scroll through the page first to load its lazy pictures", Pics);
  PV->addWidget(ChkBox_LazyScroll);
  PV->addWidget(Note(QStringLiteral("Used by \"Save all pictures\": at most 30 screens and 5 seconds; "
                                    "the page is scrolled back where it was."),
                     Pics));
  V->addWidget(Pics);
  Bind(ChkBox_LazyScroll, "bImg_LazyScroll");
  QGroupBox *Down = Group(" Downloads ", P);
  auto *DG = new QGridLayout(Down);
  DG->setContentsMargins(10, 8, 10, 8);
  DG->setHorizontalSpacing(8);
  DG->setVerticalSpacing(6);
  // The bounds are the worker's: it takes no more than these.
  auto Count = [Down, DG](QSpinBox *&Box, const char *Name, const char *Text, int Max, int Row) {
    auto *L = new QLabel(QString::fromUtf8(Text), Down);
    Box = new QSpinBox(Down);
    Box->setObjectName(QString::fromLatin1(Name));
    Box->setRange(1, Max);
    Box->setMinimumWidth(110);
    L->setBuddy(Box);
    DG->addWidget(L, Row, 0);
    DG->addWidget(Box, Row, 1, Qt::AlignLeft);
  };
  Count(SpEd_PerHost, "SpEd_PerHost", "Files at once from one site", TDownLimits::MaxPerHost, 0);
  Count(SpEd_PerJob, "SpEd_PerJob", "Files at once in one job", TDownLimits::MaxPerJob, 1);
  DG->setColumnStretch(1, 1);
  V->addWidget(Down);
  Bind(SpEd_PerHost, "iDown_PerHost");
  Bind(SpEd_PerJob, "iDown_PerJob");
  QGroupBox *Bg = Group(" Background ", P);
  auto *BV = new QVBoxLayout(Bg);
  BV->setContentsMargins(10, 8, 10, 8);
  ChkBox_Tray = Check("ChkBox_Tray", "Keep running in the tray when the window is closed", Bg);
  BV->addWidget(ChkBox_Tray);
  V->addWidget(Bg);
  Bind(ChkBox_Tray, "bTrayIcon");
  V->addStretch(1);
  return P;
}

void TForm_Option::SetFields(TOptFields Fields) { FFields = std::move(Fields); }

std::vector<std::string> TForm_Option::Keys() const {
  std::vector<std::string> K;
  for (const TBind &B : FBinds) K.push_back(B.Key);
  return K;
}

void TForm_Option::LoadOpts() {
  for (const TBind &B : FBinds) {
    auto It = FFields.find(B.Key);
    if (It == FFields.end()) continue;
    const TOptField &F = It->second;
    if (auto *G = qobject_cast<TRadioGroup *>(B.Ctrl)) {
      // A Boolean shows as the first choice for false and the second for true.
      G->SetItemIndex(std::visit(TOverload{[](bool *V) { return *V ? 1 : 0; }, [](uint8_t *V) { return static_cast<int>(*V); },
                                           [](int32_t *V) { return static_cast<int>(*V); }, [](std::string *) { return -1; }},
                                 F));
    } else if (auto *C = qobject_cast<QCheckBox *>(B.Ctrl)) {
      if (auto *V = std::get_if<bool *>(&F)) C->setChecked(**V);
    } else if (auto *E = qobject_cast<QLineEdit *>(B.Ctrl)) {
      if (auto *V = std::get_if<std::string *>(&F)) E->setText(QString::fromStdString(**V));
    } else if (auto *S = qobject_cast<QSpinBox *>(B.Ctrl)) {
      if (auto *V = std::get_if<int32_t *>(&F)) {
        S->setValue(std::clamp(**V, 0, MaxCycDays));
        S->setProperty("loadedValue", S->value());
      }
    }
  }
}

void TForm_Option::SaveOpts() {
  for (const TBind &B : FBinds) {
    auto It = FFields.find(B.Key);
    if (It == FFields.end()) continue;
    const TOptField &F = It->second;
    if (auto *G = qobject_cast<TRadioGroup *>(B.Ctrl)) {
      const int I = G->ItemIndex();
      // A group left with no choice (a stored number that names none)
      // keeps its setting rather than storing a number nobody chose.
      if (I < 0) continue;
      std::visit(TOverload{[I](bool *V) { *V = I != 0; }, [I](uint8_t *V) { *V = static_cast<uint8_t>(I); },
                           [I](int32_t *V) { *V = I; }, [](std::string *) {}},
                 F);
    } else if (auto *C = qobject_cast<QCheckBox *>(B.Ctrl)) {
      if (auto *V = std::get_if<bool *>(&F)) **V = C->isChecked();
    } else if (auto *E = qobject_cast<QLineEdit *>(B.Ctrl)) {
      if (auto *V = std::get_if<std::string *>(&F)) **V = E->text().toStdString();
    } else if (auto *S = qobject_cast<QSpinBox *>(B.Ctrl)) {
      auto *V = std::get_if<int32_t *>(&F);
      // Untouched, a number beyond the box stays what it was.
      if (V && S->value() != S->property("loadedValue").toInt()) **V = S->value();
    }
  }
  accept();
}

void TForm_Option::SelDir(QLineEdit *Edit) {
  if (!Edit) return;
  std::string Start = Edit->text().toStdString(), Folder = Start;
  if (Sel_Directory(this, SelDirTitle, Start, Folder)) Edit->setText(QString::fromStdString(Folder));
}

void TForm_Option::showEvent(QShowEvent *E) {
  if (!E->spontaneous()) {
    LoadOpts();
    PgCtrl_Opt->setCurrentIndex(0);
    if (QScreen *S = QGuiApplication::primaryScreen()) {
      QRect A = S->availableGeometry();
      move(A.x() + (A.width() - width()) / 2, A.y() + (A.height() - height()) / 2);
    }
    setFocus(Qt::OtherFocusReason);
  }
  QDialog::showEvent(E);
}
