#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "control/uParmFile.h"
#include "platform/TIniFile.h"
#include "pub/Unit_Pub.h"
#include "pub/uMossError.h"
#include "support/TestSupport.h"

namespace {
TGlobalParm Load(const std::string &Text, std::string *Bad = nullptr) {
  TIniFile Ini("");
  Ini.SetText(Text);
  TGlobalParm P;
  LoadGParm(Ini, P, Bad);
  return P;
}
}  // namespace

TEST(Settings, NoFileGivesTheDefaults) {
  TTempDir D;
  TIniFile Ini(D.File("cfg.ini"));
  TGlobalParm P;
  P.bMsg_Cmplt = false;
  LoadGParm(Ini, P);
  EXPECT_EQ(P.sDir_Def_Txt, DefaultSaveDir("Text"));
  EXPECT_EQ(P.sDir_Def, DefaultSaveDir());
  EXPECT_EQ(P.iChkCyc, 14);
  EXPECT_TRUE(P.bMsg_Cmplt);
  EXPECT_TRUE(P.bVw_JDtl_Vis);
  EXPECT_TRUE(P.bImg_Sort_Siz_Des);
  EXPECT_TRUE(P.bImg_Flt_IgnTiny);
  EXPECT_TRUE(P.bImg_Flt_IgnBar);
  EXPECT_FALSE(P.bFlAtRenam);
  EXPECT_EQ(P.iTot_Job_Cnt, 0);
  EXPECT_EQ(P.dChkDate, Date());
}

TEST(Settings, ValuesReadWithTheirEncodings) {
  TGlobalParm P = Load(
      "[JEP]\nImg_Flt_Typ=259\nbTxt_Rmv_Scrp=7\nSrcTextFmt=x1\nbImg_Flt_IgnBar=0\n"
      "[Global]\niTot_Job_Cnt=41\ndChkDate=2026-01-31\niChkCyc=99999999999\n[Directory]\nsDir_Def= /data/save \n");
  EXPECT_EQ(P.Img_Flt_Typ, 3);   // low 8 bits
  EXPECT_TRUE(P.bTxt_Rmv_Scrp);  // any integer but 0 is true
  EXPECT_EQ(P.SrcTextFmt, 0);    // not a number: the default
  EXPECT_FALSE(P.bImg_Flt_IgnBar);
  EXPECT_EQ(P.iTot_Job_Cnt, 41);
  EXPECT_EQ(P.iChkCyc, 14);  // out of 32-bit range: the default
  EXPECT_EQ(DateToStr(P.dChkDate), "2026-01-31");
  EXPECT_EQ(P.sDir_Def, "/data/save");
}

TEST(Settings, TheUpdateSiteComesFromTheFileThenTheEnvironmentThenTheWebSite) {
  const char *Was = std::getenv("MOSSGATHER_UPDHOST");
  std::string Saved = Was ? Was : "";
  ::unsetenv("MOSSGATHER_UPDHOST");
  EXPECT_EQ(Load("").sUpdHost, "https://mossgather.org");
  ::setenv("MOSSGATHER_UPDHOST", "http://127.0.0.1:9", 1);
  EXPECT_EQ(Load("").sUpdHost, "http://127.0.0.1:9");
  ::setenv("MOSSGATHER_UPDHOST", "", 1);  // set but empty: no site
  EXPECT_EQ(Load("").sUpdHost, "");
  EXPECT_EQ(Load("[Global]\nsUpdHost=https://mirror.example\n").sUpdHost, "https://mirror.example");
  EXPECT_EQ(Load("[Global]\nsUpdHost=\n").sUpdHost, "");
  // Written back as it is, the empty value too.
  TTempDir D;
  TIniFile Ini(D.File("cfg.ini"));
  TGlobalParm P;
  P.sUpdHost = "";
  SaveGParm(Ini, P, TLiveLayout{});
  ::setenv("MOSSGATHER_UPDHOST", "https://not-this.example", 1);
  TIniFile Again(D.File("cfg.ini"));
  TGlobalParm Q;
  LoadGParm(Again, Q);
  EXPECT_EQ(Q.sUpdHost, "");
  if (Was)
    ::setenv("MOSSGATHER_UPDHOST", Saved.c_str(), 1);
  else
    ::unsetenv("MOSSGATHER_UPDHOST");
}

TEST(Settings, BadCheckDateReadsAsTodayAndKeepsTheRest) {
  std::string Bad;
  TGlobalParm P = Load("[Global]\ndChkDate=31/12/2026\niVw_MFrm_W=700\n[JEP]\nFls_Sel_Kind=2\n", &Bad);
  EXPECT_EQ(Bad, "31/12/2026");
  EXPECT_EQ(P.dChkDate, Date());
  EXPECT_EQ(P.iVw_MFrm_W, 700);
  EXPECT_EQ(P.Fls_Sel_Kind, 2);
  Bad.clear();
  Load("[Global]\ndChkDate=2026-02-30\n", &Bad);
  EXPECT_EQ(Bad, "2026-02-30");
}

TEST(Settings, SaveWritesEveryKeyInItsOrderAndDropsUnknownOnes) {
  TTempDir D;
  WriteFile(D.File("cfg.ini"), "[Global]\nMyOwnKey=1\niTot_Job_Cnt=41\n[Extra]\nx=y\n");
  TIniFile Ini(D.File("cfg.ini"));
  TGlobalParm P;
  LoadGParm(Ini, P);
  P.dChkDate = EncodeDate(2027, 3, 4);
  TLiveLayout Live{10, 20, 640, 500, 180};
  SaveGParm(Ini, P, Live);
  std::string Text = ReadFile(D.File("cfg.ini"));
  EXPECT_EQ(Text.find("MyOwnKey"), std::string::npos);
  EXPECT_EQ(Text.find("[Extra]"), std::string::npos);
  const char *Order[] = {
      "[Directory]",    "sDir_Def=",           "sDir_Def_Txt=",   "sDir_Def_Img=",      "sDir_Def_Fls=",       "[Global]",
      "bFlAtRenam=0",   "bMsg_Cmplt=1",        "iTot_Job_Cnt=41", "iChkCyc=14",         "dChkDate=2027-03-04", "iVw_MFrm_L=10",
      "iVw_MFrm_T=20",  "iVw_MFrm_W=640",      "iVw_MFrm_H=500",  "iVw_EFrm_Txt_W=0",   "iVw_EFrm_Txt_H=0",    "iVw_EFrm_H=0",
      "bVw_JDtl_Vis=1", "iVw_JMon_H=180",      "sUpdHost=",       "iDown_PerHost=4",    "iDown_PerJob=6",      "[JEP]",
      "SrcTextFmt=0",   "bTxt_Atch_Image=0",   "bTxt_Rmv_Scrp=0", "bTxt_ExItem_Url=0",  "bTxt_ExItem_Time=0",  "Img_Flt_Typ=0",
      "Img_Flt_Siz=0",  "bImg_Sort_Siz_Des=1", "Img_Sel_Kind=0",  "bImg_Flt_IgnTiny=1", "bImg_Flt_IgnBar=1",   "bFls_Sort_Des=1",
      "Fls_Sel_Kind=0"};
  size_t Pos = 0;
  for (const char *Key : Order) {
    size_t At = Text.find(Key, Pos);
    ASSERT_NE(At, std::string::npos) << Key << " missing or out of order";
    Pos = At + 1;
  }
  // Round trip.
  TIniFile Again(D.File("cfg.ini"));
  TGlobalParm Q;
  LoadGParm(Again, Q);
  EXPECT_EQ(Q.iTot_Job_Cnt, 41);
  EXPECT_EQ(Q.iVw_JMon_H, 180);
  EXPECT_EQ(DateToStr(Q.dChkDate), "2027-03-04");
}

TEST(Settings, AFailedWriteLeavesNothingHalfWritten) {
  TTempDir D;
  // A target that cannot be replaced: the rename fails, the temporary file
  // goes, and what stood there stays.
  TIniFile Ini(D.File("cfg.ini"));
  ASSERT_TRUE(Dir_Force(D.File("cfg.ini/keep")));
  Ini.WriteInteger("Global", "iTot_Job_Cnt", 7);
  EXPECT_THROW(Ini.UpdateFile(), EMossError);
  EXPECT_TRUE(Dir_Exists(D.File("cfg.ini/keep")));
  int Entries = 0;
  for ([[maybe_unused]] const auto &E : std::filesystem::directory_iterator(D.Path())) ++Entries;
  EXPECT_EQ(Entries, 1);
  TIniFile Missing(D.File("no-such-dir/cfg.ini"));
  EXPECT_THROW(Missing.UpdateFile(), EMossError);
}

TEST(IniFile, ParsesTheUsualShapes) {
  TIniFile Ini("");
  Ini.SetText("\xEF\xBB\xBF; comment\r\n[Sec]\r\n Key = Value with = sign \r\nkey=second wins not\nnoequals\n[sec]\nOther=2\n");
  EXPECT_EQ(Ini.ReadString("SEC", "KEY", ""), "Value with = sign");  // names ignore case, first one wins
  EXPECT_EQ(Ini.ReadInteger("Sec", "Other", 0), 2);                  // same section under another case
  EXPECT_EQ(Ini.ReadInteger("Sec", "Key", -5), -5);
  EXPECT_EQ(Ini.Sections().size(), 1u);
  Ini.WriteString("New", "Multi", "a\nb");
  EXPECT_EQ(Ini.ReadString("New", "Multi", ""), "a b");
}

TEST(IniFile, AFileThatWasNotReadWholeIsNeverWrittenOver) {
  TTempDir D;
  const std::string Valid = "[Global]\niTot_Job_Cnt=41\n";
  WriteFile(D.File("large.ini"), Valid + std::string(TIniFile::MaxBytes, ';') + "\n");
  Dir_Force(D.File("folder.ini"));
  TFifoTrap Fifo(D.File("fifo.ini"));
  struct {
    std::string Path, Why;
  } Cases[] = {
      {D.File("large.ini"), "larger than"},
      {D.File("folder.ini"), "not a regular file"},
      {Fifo.Path(), "not a regular file"},
  };
  for (const auto &C : Cases) {
    TIniFile Ini(C.Path);
    EXPECT_FALSE(Ini.ReadWhole()) << C.Path;
    EXPECT_NE(Ini.ReadError().find(C.Why), std::string::npos) << Ini.ReadError();
    EXPECT_TRUE(Ini.Sections().empty()) << C.Path;
    Ini.WriteInteger("Global", "iTot_Job_Cnt", 1);
    try {
      Ini.UpdateFile();
      ADD_FAILURE() << "written over " << C.Path;
    } catch (const EMossError &E) {
      EXPECT_NE(std::string(E.what()).find("left as it was"), std::string::npos) << E.what();
    }
  }
  EXPECT_EQ(File_SizeOf(D.File("large.ini")), static_cast<int64_t>(Valid.size() + TIniFile::MaxBytes + 1));
  EXPECT_TRUE(Dir_Exists(D.File("folder.ini")));
  EXPECT_FALSE(Fifo.Opened());
  // A missing file has nothing to lose.
  TIniFile New(D.File("new.ini"));
  EXPECT_TRUE(New.ReadWhole());
  EXPECT_EQ(New.ReadError(), "");
  New.WriteInteger("Global", "iTot_Job_Cnt", 1);
  New.UpdateFile();
  EXPECT_EQ(ReadFile(D.File("new.ini")), "[Global]\niTot_Job_Cnt=1\n\n");
}

TEST(IniFile, LongFilesKeepEveryRuleOfTheShortOnes) {
  std::string Text = "[Big]\n";
  const int Keys = 20000, Secs = 10000;
  for (int I = 0; I < Keys; ++I) Text += Format("k%06d=%d\n", {I, I});
  Text += "K000000=not the first\n";
  for (int I = 0; I < Secs; ++I) Text += Format("[s%05d]\nv=%d\n", {I, I});
  Text += "[BIG]\nlast=1\n";
  TIniFile Ini("");
  Ini.SetText(Text);
  EXPECT_EQ(Ini.ReadString("big", "K000000", ""), "0");  // the first occurrence, in any case
  EXPECT_EQ(Ini.ReadInteger("BIG", "k019999", 0), 19999);
  EXPECT_EQ(Ini.ReadInteger("Big", "LAST", 0), 1);  // a section met again goes on
  EXPECT_EQ(Ini.Keys("Big").size(), static_cast<size_t>(Keys + 1));
  EXPECT_EQ(Ini.Sections().size(), static_cast<size_t>(Secs + 1));
  EXPECT_EQ(Ini.ReadInteger("S09999", "V", 0), 9999);

  // Removing keeps every later name found; a key written again goes last.
  Ini.DeleteKey("big", "k000000");
  EXPECT_FALSE(Ini.ValueExists("Big", "k000000"));
  EXPECT_EQ(Ini.ReadInteger("Big", "k019999", 0), 19999);
  Ini.WriteString("Big", "k000000", "again");
  EXPECT_EQ(Ini.Keys("Big").back(), "k000000");
  EXPECT_EQ(Ini.ReadString("Big", "K000000", ""), "again");
  Ini.EraseSection("S00000");
  EXPECT_FALSE(Ini.ValueExists("s00000", "v"));
  EXPECT_EQ(Ini.ReadInteger("s09999", "v", 0), 9999);
  EXPECT_EQ(Ini.Sections().size(), static_cast<size_t>(Secs));
  Ini.WriteInteger("s00000", "v", 7);
  EXPECT_EQ(Ini.Sections().back(), "s00000");

  TIniFile Again("");
  Again.SetText(Ini.Text());
  EXPECT_EQ(Again.Text(), Ini.Text());
}

TEST(Settings, ScrollingThroughPagesForLazyPicturesIsOnUntilTurnedOff) {
  EXPECT_TRUE(Load("").bImg_LazyScroll);
  EXPECT_FALSE(Load("[JEP]\nbImg_LazyScroll=0\n").bImg_LazyScroll);
  TTempDir D;
  TIniFile Ini(D.File("cfg.ini"));
  TGlobalParm P;
  P.bImg_LazyScroll = false;
  SaveGParm(Ini, P, TLiveLayout{});
  EXPECT_NE(ReadFile(D.File("cfg.ini")).find("bImg_LazyScroll=0"), std::string::npos);
  TIniFile Again(D.File("cfg.ini"));
  TGlobalParm Q;
  LoadGParm(Again, Q);
  EXPECT_FALSE(Q.bImg_LazyScroll);
}
