#pragma once
// The one settings record. It is read from cfg.ini once at start and
// written back once at exit (control/uParmFile); between the two the
// program works on the record alone.
#include <cstdint>
#include <string>

#include "pub/uRegional.h"

struct TGlobalParm {
  // Job-edit parameters (section "JEP").
  uint8_t SrcTextFmt = 0;
  bool bTxt_Atch_Image = false;
  bool bTxt_Rmv_Scrp = false;
  bool bTxt_ExItem_Url = false;
  bool bTxt_ExItem_Time = false;
  uint8_t Img_Flt_Typ = 0;
  uint8_t Img_Flt_Siz = 0;
  bool bImg_Sort_Siz_Des = true;
  uint8_t Img_Sel_Kind = 0;
  bool bImg_Flt_IgnTiny = true;
  bool bImg_Flt_IgnBar = true;
  bool bFls_Sort_Des = true;
  uint8_t Fls_Sel_Kind = 0;
  // The rest.
  std::string sDir_Def;
  std::string sDir_Def_Txt;
  std::string sDir_Def_Img;
  std::string sDir_Def_Fls;
  bool bFlAtRenam = false;
  bool bMsg_Cmplt = true;
  int32_t iTot_Job_Cnt = 0;
  int32_t iChkCyc = 14;
  TDateTime dChkDate = 0;
  int32_t iVw_MFrm_L = 0, iVw_MFrm_T = 0, iVw_MFrm_W = 0, iVw_MFrm_H = 0;
  int32_t iVw_EFrm_Txt_W = 0, iVw_EFrm_Txt_H = 0;
  int32_t iVw_EFrm_H = 0;
  bool bVw_JDtl_Vis = true;
  int32_t iVw_JMon_H = 0;
  // The program's own settings.
  std::string sUpdHost;         // the site asked for the latest version; empty: never asked
  bool bImg_LazyScroll = true;  // "Save all pictures" scrolls through the page first
  // Closing the main window leaves the program in the desktop's tray
  // (where the desktop has one).
  bool bTrayIcon = true;
  // Downloads of a job at once: to one server, and in all.
  int32_t iDown_PerHost = 4;
  int32_t iDown_PerJob = 6;
};

extern TGlobalParm GParm;

// The save folders a missing key falls back to: $HOME/Save and its
// Text, Image and Flash folders.
std::string DefaultSaveDir(const char *Sub = nullptr);

// The update site a missing key falls back to: MOSSGATHER_UPDHOST when set
// (tests and packagers point it elsewhere, or empty for none), else the
// product's web site.
std::string DefaultUpdHost();
