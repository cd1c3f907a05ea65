#include "editors/uTxtJobEdtr.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <charconv>
#include <unordered_map>

#include "editors/uForm_EditJob.h"
#include "editors/uTxtHtml.h"
#include "editors/uTxtSave.h"
#include "platform/TPageSnapshot.h"
#include "platform/TWebBrowser.h"
#include "platform/uLocalFile.h"
#include "platform/uUrlRef.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "pub/uGlobalParm.h"
#include "pub/uSafeFile.h"
#include "pub/uTempFile.h"
#include "ui/Unit_Msg.h"
#include "ui/Unit_PubWB.h"
#include "ui/uForm_Rename.h"

TTxtJobEdtr *JE_Txt = nullptr;

namespace {

// The name a page is saved under when its title leaves none: its host, or "page".
std::string PageFallbackName(const std::string &PageUrl) { return Fn_CleanName(Url_HostName(PageUrl), "page"); }

// The document's size as a number; a size that does not read fails.
int64_t FileSizeOf(const THtmlDocument &D) {
  const std::string S = D.FileSize();
  int64_t N = 0;
  auto R = std::from_chars(S.data(), S.data() + S.size(), N);
  if (R.ec != std::errc() || R.ptr != S.data() + S.size()) throw EMossError("The document's size is not a number: " + S);
  return N;
}

std::string JoinLines(const std::vector<std::string> &Lines) {
  std::string Out;
  for (const auto &L : Lines) Out += L + "\n";
  return Out;
}

}  // namespace

int Doc_GetSource(const THtmlDocument &Doc, std::vector<std::string> &Lines) {
  try {
    Lines = Txt_ToLines(Doc.Source());
    return 0;
  } catch (const std::exception &) {
    return 1;
  }
}

void WB_LoadHtml_SFile(TWebBrowser *Wb, const std::string &Html) {
  try {
    std::string File = GetTempFile();
    WriteFileAtomic(File, Html);
    Wb->Navigate(QUrl::fromLocalFile(QString::fromStdString(File)));
  } catch (const std::exception &E) {
    throw EMossError(Format(ErrTipsFmt, {"", "uTxtJobEdtr.WB_LoadHtml_SFile", E.what()}));
  }
}

TTxtJobEdtr::TTxtJobEdtr() { JE_Txt = this; }

void TTxtJobEdtr::Edt_Bind_Ctrls() {
  TJobEditor::Edt_Bind_Ctrls();
  if (Bound || !Form) return;
  UrlEdit = Form->Edit_srcUrl;
  NameEdit = Form->Edit_AbsFileName;
  ExtLabel = Form->Lbl_WB_EFn;
  DirEdit = Form->Edit_WP_SDir;
  QObject::connect(Form->WB_Preview, &TWebBrowser::DocumentComplete, Ctx.get(), [this] { OnPvwDocComplete(); });
  QObject::connect(Form->WB_Preview, &TWebBrowser::NewWindow, Ctx.get(), [](bool *Cancel) { OnWBNewWindow(*Cancel); });
  for (QToolButton *B : {Form->Sbtn_Snippet, Form->Sbtn_Fullpage, Form->Sbtn_PTextFmt, Form->Sbtn_HtmlFmt})
    QObject::connect(B, &QToolButton::clicked, Ctx.get(), [this, B] { OnFmtBtnClick(B); });
  for (QCheckBox *C : {Form->Chkbox_Sav_Img, Form->ChkBox_RmvTag_Scrp, Form->Chkbox_Addinfo_Url, Form->Chkbox_Addinfo_Time})
    QObject::connect(C, &QCheckBox::clicked, Ctx.get(), [this, C] { OnOptChkClick(C); });
  // The folder button opens the dialog on this editor's folder box.
  QObject::disconnect(Form->SBtn_WP_SelDir, &QToolButton::clicked, nullptr, nullptr);
  QObject::connect(Form->SBtn_WP_SelDir, &QToolButton::clicked, Ctx.get(), [this] { Edt_Sel_Dir(); });
  Bound = true;
}

void TTxtJobEdtr::Edt_Load_Parm() {
  Opts.OptHtmlFmt = GParm.SrcTextFmt;
  Opts.OptSaveImg = GParm.bTxt_Atch_Image;
  Opts.OptRmvScrp = GParm.bTxt_Rmv_Scrp;
  Opts.OptAddUrl = GParm.bTxt_ExItem_Url;
  Opts.OptAddTime = GParm.bTxt_ExItem_Time;
}

void TTxtJobEdtr::ETxt_Upd_Flags() {
  IsSnippet = EditJob->Kind == jkSnippet;
  IsPlainText = Opts.OptHtmlFmt == 0;
}

void TTxtJobEdtr::Edt_Init() {
  Edt_Bind_Ctrls();
  EdtPhase = 1;
  NeedSnippet = NeedFullPage = true;
  FTxt_Snpt_Html.clear();
  FTxt_Snpt_PTxt.clear();
  FTxt_Full_Html.clear();
  FTxt_Full_PTxt.clear();
  FHtmlWay = 0;
  bool Ok = ETxt_Get_Data();
  // Nothing selected: the job becomes a whole-page job.
  if (EditJob->Kind == jkSnippet && FTxt_Snpt_PTxt.empty()) {
    EditJob->Kind = jkFullPage;
    Ok = ETxt_Get_Data();
  }
  if (!Ok) throw EMossError("No Text or fail to get text data!");
  Edt_Load_Parm();
  ETxt_Upd_Flags();
  EditJob->AttachDir.clear();

  Form->ScrlBox_Img->hide();
  Form->PageCtrl->setTabVisible(1, false);
  Form->PageCtrl->setTabVisible(2, false);
  Form->PageCtrl->setTabVisible(0, true);
  Form->PageCtrl->setCurrentIndex(0);
  Form->Btn_Save->setEnabled(true);
  (IsSnippet ? Form->Sbtn_Snippet : Form->Sbtn_Fullpage)->setChecked(true);
  (IsPlainText ? Form->Sbtn_PTextFmt : Form->Sbtn_HtmlFmt)->setChecked(true);
  Form->Sbtn_Snippet->setEnabled(IsSnippet);
  Form->Chkbox_Addinfo_Url->setChecked(Opts.OptAddUrl);
  Form->Chkbox_Addinfo_Time->setChecked(Opts.OptAddTime);
  Form->Chkbox_Sav_Img->setChecked(Opts.OptSaveImg);
  Form->ChkBox_RmvTag_Scrp->setChecked(Opts.OptRmvScrp);

  Form->setWindowTitle(QStringLiteral("Save snippet/page"));
  UrlEdit->setText(QString::fromStdString(EditJob->PageUrl));
  NameEdit->setText(QString::fromStdString(Fn_CleanName(EditJob->Title, PageFallbackName(EditJob->PageUrl))));
  DirEdit->setText(QString::fromStdString(GParm.sDir_Def_Txt));
}

void TTxtJobEdtr::Edt_Rdy() {
  EdtPhase = 3;
  Form->show();
  ETxt_Upd_Pvw();
  Form->Frm_ToFront();
}

bool TTxtJobEdtr::ETxt_Get_Data() {
  bool Result = false;
  auto Doc = [this] { return EditJob->HWin2->Document(); };
  if (EditJob->Kind == jkSnippet && NeedSnippet) {
    try {
      const THtmlTxtRange &R = Doc()->Selection();
      FTxt_Snpt_PTxt = R.Text();
      FTxt_Snpt_Html = R.HtmlText();
      Result = true;
    } catch (const std::exception &) {
      FTxt_Snpt_PTxt.clear();
      FTxt_Snpt_Html.clear();
    }
    NeedSnippet = false;
  }
  if (EditJob->Kind == jkFullPage && NeedFullPage) {
    try {
      FTxt_Full_PTxt = Doc()->Body()->OuterText();
    } catch (const std::exception &E) {
      Log::Err(Format(ErrTipsFmt, {"Get FTxt_Full_PTxt error: ", "TTxtJobEdtr.ETxt_Get_Data", E.what()}));
      FTxt_Full_PTxt.clear();
      FTxt_Full_Html.clear();
      return false;
    }
    bool Found = false;
    try {
      Found = ETxt_Get_FHtml();
    } catch (const std::exception &E) {
      Log::Err(Format(ErrTipsFmt, {"Get full Html error: ", "TTxtJobEdtr.ETxt_Get_Data", E.what()}));
    }
    Result = Found;
    if (Found) {
      const char *Ways[] = {"", "Used \"IWebBrowser2\" to get fHtml! Url: %s", "Used \"Cache\" to get fHtml! Url: %s",
                            "Used \"IHTMLDocument3\" to get fHtml! Url: %s"};
      Log::Way(Format(Ways[FHtmlWay], {EditJob->PageUrl}));
    }
    NeedFullPage = false;
  }
  return Result;
}

bool TTxtJobEdtr::ETxt_Get_FHtml() {
  std::shared_ptr<THtmlDocument> Doc = EditJob->HWin2->Document();
  // 1: the source of the document the browser window of this page shows.
  try {
    int64_t Size = FileSizeOf(*Doc);
    if (auto Top = WB_FindByDoc(Doc)) {
      std::vector<std::string> Lines;
      Doc_GetSource(*Top, Lines);
      FTxt_Full_Html = JoinLines(Lines);
      if (!FTxt_Full_Html.empty() && static_cast<int64_t>(FTxt_Full_Html.size()) >= Size) {
        FHtmlWay = 1;
        return true;
      }
    }
  } catch (const std::exception &) {
  }
  // 2: the local copy of the page's address.
  try {
    int64_t Size = FileSizeOf(*Doc);
    std::string Local = Url_LocalFile(EditJob->PageUrl, EditJob->PageUrl);
    std::string Text;
    if (!Local.empty() && ReadWholeFile(Local, Text, 256u << 20)) {
      FTxt_Full_Html = JoinLines(Txt_ToLines(Text));
      if (!FTxt_Full_Html.empty() && static_cast<int64_t>(FTxt_Full_Html.size()) >= Size) {
        FHtmlWay = 2;
        return true;
      }
    }
  } catch (const std::exception &) {
  }
  // 3: the root element as the page has it now, without its scripts.
  try {
    FTxt_Full_Html = Doc->DocumentElement()->OuterHtml();
    Clear_Sub_Str(FTxt_Full_Html, "<script", "</script>");
    FHtmlWay = 3;
    return true;
  } catch (const std::exception &) {
    FTxt_Full_Html.clear();
    return false;
  }
}

bool TTxtJobEdtr::ETxt_Rmv_Scrp() { return Clear_Sub_Str(FTxt_Body, "<script", "</script>"); }

void TTxtJobEdtr::ETxt_Mk_Text() {
  if (IsPlainText)
    FTxt_Body = IsSnippet ? FTxt_Snpt_PTxt : FTxt_Full_PTxt;
  else
    FTxt_Body = IsSnippet ? FTxt_Snpt_Html : FTxt_Full_Html;
  if (!IsPlainText && Opts.OptRmvScrp) ETxt_Rmv_Scrp();
  ETxt_Add_Info();
  EditJob->TextFmt = Opts.OptHtmlFmt;
}

void TTxtJobEdtr::ETxt_Add_Info() {
  // A plain-text file takes the line break its own text has on this system.
  const std::string Nl = IsPlainText ? "\n" : "<BR>";
  std::string T = FTxt_Body;
  if (Opts.OptAddTime || Opts.OptAddUrl) T = Nl + T;
  if (Opts.OptAddTime) T = "Saved time: " + DateTimeToStr(EditJob->StartTime) + Nl + T;
  if (Opts.OptAddUrl) {
    if (IsPlainText)
      T = "URL for this page: " + EditJob->PageUrl + Nl + T;
    else
      T = Html_MkLink(EditJob->PageUrl, "URL for this page") + Nl + T;
  }
  if (IsSnippet && !IsPlainText) T = Format("<html><title>%s</title> %s</html>", {EditJob->Title, T});
  FTxt_Final = T;
}

void TTxtJobEdtr::ETxt_Upd_Status(int Which, bool Done) {
  if (!Form) return;
  if (Which == 1 || Which == 3)
    Form->StaBar_Panels[0]->setText(QString::fromStdString(Fmt_FileSize(static_cast<int64_t>(FTxt_Final.size()))));
  if (Which == 2 || Which == 3) Form->StaBar_Panels[1]->setText(Done ? QStringLiteral("Complete") : QStringLiteral("Loading"));
}

void TTxtJobEdtr::ETxt_Upd_Pvw() {
  ETxt_Get_Data();
  ETxt_Mk_Text();
  bool Plain = EditJob->TextFmt == 0;
  Form->Memo_Preview->setVisible(Plain);
  if (!Plain) {
    ETxt_Upd_Status(2, false);
    Form->WB_Preview->Widget()->show();
    Form->WB_Preview->Tag = 1;
    try {
      WB_LoadHtml_SFile(Form->WB_Preview, Html_PreviewBase(FTxt_Final, EditJob->PageUrl));
    } catch (const std::exception &E) {
      WB_LoadHtml_Stream(Form->WB_Preview, Html_PreviewBase(FTxt_Final, EditJob->PageUrl));
      Log::Way(std::string("ETxt_Upd_Pvw, WB_LoadHtml_SFile -> WB_LoadHtml_Stream for ") + E.what());
    }
    ExtLabel->setText(QStringLiteral(".html"));
  } else {
    Form->WB_Preview->Widget()->hide();
    ETxt_Upd_Status(2, false);
    SetTag(Form->Memo_Preview, 1);
    Form->Memo_Preview->setPlainText(QString::fromStdString(StringReplaceAll(FTxt_Final, "\r\n", "\n")));
    ETxt_Upd_Status(2, true);
    ExtLabel->setText(QStringLiteral(".txt"));
  }
  Form->Chkbox_Sav_Img->setEnabled(!Plain);
  Form->ChkBox_RmvTag_Scrp->setEnabled(!Plain);
  ETxt_Upd_Status(1, false);
}

void TTxtJobEdtr::OnFmtBtnClick(QObject *Sender) {
  if (!EditJob) return;
  switch (TagOf(Sender)) {
    case 11:
      EditJob->Kind = jkSnippet;
      break;
    case 12:
      EditJob->Kind = jkFullPage;
      break;
    case 21:
      Opts.OptHtmlFmt = 0;
      break;
    case 22:
      Opts.OptHtmlFmt = 1;
      break;
    default:
      return;
  }
  ETxt_Upd_Flags();
  ETxt_Upd_Pvw();
}

void TTxtJobEdtr::OnOptChkClick(QObject *Sender) {
  if (EdtPhase == 1 || !EditJob) return;
  auto *C = qobject_cast<QCheckBox *>(Sender);
  if (!C) return;
  int Tag = TagOf(Sender);
  switch (Tag) {
    case 31:
      Opts.OptSaveImg = C->isChecked();
      break;
    case 32:
      Opts.OptRmvScrp = C->isChecked();
      break;
    case 33:
      Opts.OptAddUrl = C->isChecked();
      break;
    case 34:
      Opts.OptAddTime = C->isChecked();
      break;
    default:
      return;
  }
  if (Tag != 31) ETxt_Upd_Pvw();
}

void TTxtJobEdtr::OnPvwDocComplete() {
  if (Form && Form->WB_Preview->Widget()->isVisible()) ETxt_Upd_Status(2, true);
}

bool TTxtJobEdtr::Edt_Chk_Valid() {
  if (!TJobEditor::Edt_Chk_Valid()) return false;
  if (Fn_HasInvalid(NameEdit->text().toStdString())) {
    GLBL_MsgBox(Form, "Invalid file name, please correct it!", MbError);
    Form->FocusCtrl(NameEdit);
    return false;
  }
  return true;
}

bool TTxtJobEdtr::Edt_Make_fList() {
  if (FTxt_Final.empty()) throw EMossError(Format("No text to be saved! uTxt %d", {1}));
  std::string Dir = DirEdit->text().toStdString();
  Dir_AddSlash(Dir);
  // A typed name is bounded like one made from the title.
  const std::string Name = Fn_CleanName(NameEdit->text().toStdString(), PageFallbackName(EditJob->PageUrl));
  std::string Dest = Dir + Name + ExtLabel->text().toStdString();
  // Without the rename window (runs without windows) the checks rename automatically.
  TRenamChk Headless;
  if (!(Form_Renam ? Form_Renam->ChkFile(Dest) : Headless.ChkFile(Dest)))
    throw EMossError(Format("Invalid destination file name! uTxt %d", {2}));
  // The document stays the job's while the plan is made.
  const std::shared_ptr<THtmlDocument> Doc = EditJob->HWin2->Document();
  TTxtSaveInput In;
  In.Doc = Doc.get();
  In.PageUrl = EditJob->PageUrl;
  In.FinalText = FTxt_Final;
  In.Dest = Dest;
  In.PlainText = IsPlainText;
  In.Snippet = IsSnippet;
  In.SaveImg = Opts.OptSaveImg;
  In.CheckDir = [](const std::string &Folder) { return TForm_Renam::ChkDir(Folder, true); };
  In.CheckFiles = [&Headless](std::vector<std::string> &LocalPaths) {
    return Form_Renam ? Form_Renam->ChkFList(LocalPaths, true) : Headless.ChkFList(LocalPaths, true);
  };
  TTxtSavePlan Plan = Txt_PlanSave(In);
  TJobRec &Job = *EditJob;
  Job.FileList.clear();
  for (const auto &[Url, Local] : Plan.Files) EJob_Add_File(Job, Url, Local);
  Job.TextLines = std::move(Plan.TextLines);
  if (!Plan.AttachDir.empty()) Job.AttachDir = Plan.AttachDir;
  if (Plan.LinksFailed) Log::Way(Format("\"Html_ChgImgLink\" failed, Do not save images, Url: %s", {Job.PageUrl}));
  return true;
}
