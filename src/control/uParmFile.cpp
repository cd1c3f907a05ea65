#include "control/uParmFile.h"

#include "platform/TIniFile.h"

namespace {
constexpr const char *SDir = "Directory", *SGlobal = "Global", *SJep = "JEP";

uint8_t Low8(int32_t V) { return static_cast<uint8_t>(static_cast<uint32_t>(V) & 0xFF); }
}  // namespace

void LoadGParm(const TIniFile &Ini, TGlobalParm &P, std::string *BadDate) {
  P.sDir_Def = Ini.ReadString(SDir, "sDir_Def", DefaultSaveDir());
  P.sDir_Def_Txt = Ini.ReadString(SDir, "sDir_Def_Txt", DefaultSaveDir("Text"));
  P.sDir_Def_Img = Ini.ReadString(SDir, "sDir_Def_Img", DefaultSaveDir("Image"));
  P.sDir_Def_Fls = Ini.ReadString(SDir, "sDir_Def_Fls", DefaultSaveDir("Flash"));

  P.bFlAtRenam = Ini.ReadBool(SGlobal, "bFlAtRenam", false);
  P.bMsg_Cmplt = Ini.ReadBool(SGlobal, "bMsg_Cmplt", true);
  P.iTot_Job_Cnt = Ini.ReadInteger(SGlobal, "iTot_Job_Cnt", 0);
  P.iChkCyc = Ini.ReadInteger(SGlobal, "iChkCyc", 14);
  std::string D = Ini.ReadString(SGlobal, "dChkDate", "");
  if (D.empty() || !TryStrToDate(D, P.dChkDate)) {
    // A date that does not read is taken as today rather than failing the
    // start and losing every setting after it.
    if (!D.empty() && BadDate) *BadDate = D;
    P.dChkDate = Date();
  }
  P.iVw_MFrm_L = Ini.ReadInteger(SGlobal, "iVw_MFrm_L", 0);
  P.iVw_MFrm_T = Ini.ReadInteger(SGlobal, "iVw_MFrm_T", 0);
  P.iVw_MFrm_W = Ini.ReadInteger(SGlobal, "iVw_MFrm_W", 0);
  P.iVw_MFrm_H = Ini.ReadInteger(SGlobal, "iVw_MFrm_H", 0);
  P.iVw_EFrm_Txt_W = Ini.ReadInteger(SGlobal, "iVw_EFrm_Txt_W", 0);
  P.iVw_EFrm_Txt_H = Ini.ReadInteger(SGlobal, "iVw_EFrm_Txt_H", 0);
  P.iVw_EFrm_H = Ini.ReadInteger(SGlobal, "iVw_EFrm_H", 0);
  P.bVw_JDtl_Vis = Ini.ReadBool(SGlobal, "bVw_JDtl_Vis", true);
  P.iVw_JMon_H = Ini.ReadInteger(SGlobal, "iVw_JMon_H", 0);
  P.sUpdHost = Ini.ReadString(SGlobal, "sUpdHost", DefaultUpdHost());
  P.bTrayIcon = Ini.ReadBool(SGlobal, "bTrayIcon", true);
  P.iDown_PerHost = Ini.ReadInteger(SGlobal, "iDown_PerHost", 4);
  P.iDown_PerJob = Ini.ReadInteger(SGlobal, "iDown_PerJob", 6);

  P.SrcTextFmt = Low8(Ini.ReadInteger(SJep, "SrcTextFmt", 0));
  P.bTxt_Atch_Image = Ini.ReadBool(SJep, "bTxt_Atch_Image", false);
  P.bTxt_Rmv_Scrp = Ini.ReadBool(SJep, "bTxt_Rmv_Scrp", false);
  P.bTxt_ExItem_Url = Ini.ReadBool(SJep, "bTxt_ExItem_Url", false);
  P.bTxt_ExItem_Time = Ini.ReadBool(SJep, "bTxt_ExItem_Time", false);
  P.Img_Flt_Typ = Low8(Ini.ReadInteger(SJep, "Img_Flt_Typ", 0));
  P.Img_Flt_Siz = Low8(Ini.ReadInteger(SJep, "Img_Flt_Siz", 0));
  P.bImg_Sort_Siz_Des = Ini.ReadBool(SJep, "bImg_Sort_Siz_Des", true);
  P.Img_Sel_Kind = Low8(Ini.ReadInteger(SJep, "Img_Sel_Kind", 0));
  P.bImg_Flt_IgnTiny = Ini.ReadBool(SJep, "bImg_Flt_IgnTiny", true);
  P.bImg_Flt_IgnBar = Ini.ReadBool(SJep, "bImg_Flt_IgnBar", true);
  P.bFls_Sort_Des = Ini.ReadBool(SJep, "bFls_Sort_Des", true);
  P.Fls_Sel_Kind = Low8(Ini.ReadInteger(SJep, "Fls_Sel_Kind", 0));
  P.bImg_LazyScroll = Ini.ReadBool(SJep, "bImg_LazyScroll", true);
}

void SaveGParm(TIniFile &Ini, const TGlobalParm &P, const TLiveLayout &Live) {
  Ini.Clear();
  Ini.WriteString(SDir, "sDir_Def", P.sDir_Def);
  Ini.WriteString(SDir, "sDir_Def_Txt", P.sDir_Def_Txt);
  Ini.WriteString(SDir, "sDir_Def_Img", P.sDir_Def_Img);
  Ini.WriteString(SDir, "sDir_Def_Fls", P.sDir_Def_Fls);

  Ini.WriteBool(SGlobal, "bFlAtRenam", P.bFlAtRenam);
  Ini.WriteBool(SGlobal, "bMsg_Cmplt", P.bMsg_Cmplt);
  Ini.WriteInteger(SGlobal, "iTot_Job_Cnt", P.iTot_Job_Cnt);
  Ini.WriteInteger(SGlobal, "iChkCyc", P.iChkCyc);
  Ini.WriteString(SGlobal, "dChkDate", DateToStr(P.dChkDate));
  Ini.WriteInteger(SGlobal, "iVw_MFrm_L", Live.MFrm_L);
  Ini.WriteInteger(SGlobal, "iVw_MFrm_T", Live.MFrm_T);
  Ini.WriteInteger(SGlobal, "iVw_MFrm_W", Live.MFrm_W);
  Ini.WriteInteger(SGlobal, "iVw_MFrm_H", Live.MFrm_H);
  Ini.WriteInteger(SGlobal, "iVw_EFrm_Txt_W", P.iVw_EFrm_Txt_W);
  Ini.WriteInteger(SGlobal, "iVw_EFrm_Txt_H", P.iVw_EFrm_Txt_H);
  Ini.WriteInteger(SGlobal, "iVw_EFrm_H", P.iVw_EFrm_H);
  Ini.WriteBool(SGlobal, "bVw_JDtl_Vis", P.bVw_JDtl_Vis);
  Ini.WriteInteger(SGlobal, "iVw_JMon_H", Live.JMon_H);
  Ini.WriteString(SGlobal, "sUpdHost", P.sUpdHost);
  Ini.WriteBool(SGlobal, "bTrayIcon", P.bTrayIcon);
  Ini.WriteInteger(SGlobal, "iDown_PerHost", P.iDown_PerHost);
  Ini.WriteInteger(SGlobal, "iDown_PerJob", P.iDown_PerJob);

  Ini.WriteInteger(SJep, "SrcTextFmt", P.SrcTextFmt);
  Ini.WriteBool(SJep, "bTxt_Atch_Image", P.bTxt_Atch_Image);
  Ini.WriteBool(SJep, "bTxt_Rmv_Scrp", P.bTxt_Rmv_Scrp);
  Ini.WriteBool(SJep, "bTxt_ExItem_Url", P.bTxt_ExItem_Url);
  Ini.WriteBool(SJep, "bTxt_ExItem_Time", P.bTxt_ExItem_Time);
  Ini.WriteInteger(SJep, "Img_Flt_Typ", P.Img_Flt_Typ);
  Ini.WriteInteger(SJep, "Img_Flt_Siz", P.Img_Flt_Siz);
  Ini.WriteBool(SJep, "bImg_Sort_Siz_Des", P.bImg_Sort_Siz_Des);
  Ini.WriteInteger(SJep, "Img_Sel_Kind", P.Img_Sel_Kind);
  Ini.WriteBool(SJep, "bImg_Flt_IgnTiny", P.bImg_Flt_IgnTiny);
  Ini.WriteBool(SJep, "bImg_Flt_IgnBar", P.bImg_Flt_IgnBar);
  Ini.WriteBool(SJep, "bFls_Sort_Des", P.bFls_Sort_Des);
  Ini.WriteInteger(SJep, "Fls_Sel_Kind", P.Fls_Sel_Kind);
  Ini.WriteBool(SJep, "bImg_LazyScroll", P.bImg_LazyScroll);
  Ini.UpdateFile();
}
