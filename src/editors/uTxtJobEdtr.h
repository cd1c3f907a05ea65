#pragma once
// The editor of the two text kinds: the selected snippet and the entire
// page, as plain text or HTML, with the source URL and save time on top if
// asked, previewed live; on Save the job's text and file list, with the
// page's pictures to be downloaded into a ".files" folder beside the text
// and the saved HTML's picture links pointing there.
#include <string>
#include <vector>

#include "editors/uJobEditor.h"

class QObject;
class TWebBrowser;

class TTxtJobEdtr : public TJobEditor {
 public:
  TTxtJobEdtr();

  void Edt_Init() override;
  void Edt_Bld() override {}
  void Edt_Rdy() override;
  bool Edt_Make_fList() override;
  bool Edt_Chk_Valid() override;
  void Edt_Load_Parm() override;
  void Edt_Bind_Ctrls() override;

  bool ETxt_Get_Data();
  void ETxt_Mk_Text();
  void ETxt_Add_Info();
  bool ETxt_Rmv_Scrp();
  void ETxt_Upd_Flags();
  void ETxt_Upd_Pvw();
  void ETxt_Upd_Status(int Which, bool Done);
  void OnFmtBtnClick(QObject *Sender);
  void OnOptChkClick(QObject *Sender);
  void OnPvwDocComplete();

  // Which of the three ways gave the page's HTML: 1 the tab's document
  // source, 2 the URL cache or a local file, 3 the root element.
  int FHtmlWay = 0;

  bool IsSnippet = false;
  bool IsPlainText = true;
  bool NeedSnippet = true;
  bool NeedFullPage = true;
  std::string FTxt_Snpt_Html, FTxt_Snpt_PTxt, FTxt_Full_Html, FTxt_Full_PTxt, FTxt_Body, FTxt_Final;

 private:
  bool ETxt_Get_FHtml();
};

// Shows HTML in a browser control through a scratch file; throws EMossError.
void WB_LoadHtml_SFile(TWebBrowser *Wb, const std::string &Html);
// The document's source as the browser received it, as lines.
int Doc_GetSource(const class THtmlDocument &Doc, std::vector<std::string> &Lines);

extern TTxtJobEdtr *JE_Txt;
