#include "editors/uVIBItem.h"

#include <algorithm>
#include <cmath>

#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"

namespace {

// Rounds to the nearest integer, halves to the even neighbour.
int32_t RoundEven(double V) { return static_cast<int32_t>(std::nearbyint(V)); }

}  // namespace

TThumbFit VIB_FitThumb(int32_t Width, int32_t Height) {
  TThumbFit F;
  const double W = Width, H = Height;
  if (Width < 135 && Height < 90) {
    F.W = Width;
    F.H = Height;
  } else {
    // The ratio in single precision decides, as it always has; a height of 0
    // has no ratio and counts as wide.
    const bool Wide = Height == 0 || static_cast<float>(W) / static_cast<float>(H) > 1.5f;
    if (Wide) {
      F.W = 133;
      F.H = RoundEven(H / (W / 135)) - 2;
    } else {
      F.W = RoundEven(W / (H / 90)) - 2;
      F.H = 88;
    }
  }
  // Integer division truncates toward zero, as the margins always did.
  F.MarginL = std::max(0, (135 - F.W) / 2 - 1);
  F.MarginT = std::max(0, (90 - F.H) / 2 - 1);
  return F;
}

int32_t VIB_NavTarget(uint8_t Move, int32_t Pos, int32_t Count) {
  if (Count <= 0) return -1;
  int64_t T = 0;
  switch (Move) {
    case nmFirst:
      T = 0;
      break;
    case nmPrev:
      T = int64_t{Pos} - 1;
      break;
    case nmTwoBack:
      T = int64_t{Pos} - 2;
      break;
    case nmNext:
      T = int64_t{Pos} + 1;
      break;
    case nmTwoFwd:
      T = int64_t{Pos} + 2;
      break;
    default:
      T = Count - 1;
      break;
  }
  if (T < 0) T = 0;
  if (T > Count - 1) T = Count - 1;
  return static_cast<int32_t>(T);
}

std::pair<std::string, std::string> VIB_StatusTexts(int32_t Count, int32_t Selected, int32_t CurPos) {
  if (Count <= 0) return {"No files", ""};
  return {Format(" %d/%d selected", {Selected, Count}), Format("index %d", {CurPos + 1})};
}

TVIBItem *VIB_Biggest(const TVIBList &Items) {
  TVIBItem *Best = nullptr;
  int64_t Area = 0;
  for (TVIBItem *I : Items)
    if (I->Saveable && I->Area > Area) {
      Best = I;
      Area = I->Area;
    }
  return Best;
}

std::vector<bool> VIB_BiggestChecks(const TVIBList &Items, const TVIBItem *Biggest) {
  std::vector<bool> Out;
  if (!Biggest) return Out;
  Out.reserve(Items.size());
  for (const TVIBItem *I : Items) Out.push_back(I->Saveable && (I == Biggest || I->Area == Biggest->Area));
  return Out;
}

std::string VIB_PictureHtml(const std::string &Source, int32_t W, int32_t H) {
  // The text is the one the thumbnails have always been drawn from, down to
  // its missing blank and the stray "BODY".
  return Format(
      "<html><BODY oncontextmenu=\"return false\" onmousemove=\"return false\"BODY scroll=no><style "
      "type=\"text/css\">body {margin:0px;border-width:1px;border-color:999999;border-style:solid;}</style><img "
      "src=\"%s\" width=\"%d\" height=\"%d\"></BODY></html>",
      {Source, std::max(W, 0), std::max(H, 0)});
}

std::string VIB_MovieHtml(const std::string &Source, int32_t W, int32_t H) {
  // The player's cabinet is never fetched: the thumbnail browser draws the
  // movie itself. The text keeps the missing blank before "codebase".
  return Format(
      "<html><BODY scroll=no><style type=\"text/css\">body "
      "{margin:0px;border-width:1px;border-color:999999;border-style:solid;}</style>"
      "<object classid=\"clsid:d27cdb6e-ae6d-11cf-96b8-444553540000\"codebase=\"http://download.macromedia.com/flash2/"
      "cabs/swflash.cab#version=4,0,0,0\" width=\"%d\" height=\"%d\"><param name=\"movie\" value=\"%s\"><param "
      "name=\"quality\" value=\"high\"><param name=\"bgcolor\" value=\"#ffffff\"></object></body></html>",
      {std::max(W, 0), std::max(H, 0), Source});
}

std::vector<TVIBSaveFile> VIB_SaveList(const std::string &Folder, const TVIBList &Items, const std::vector<bool> &Checked,
                                       const std::function<bool(std::vector<std::string> &Paths)> &ChkFList) {
  std::string Dir = Folder;
  Dir_AddSlash(Dir);
  std::vector<std::string> Urls, Paths;
  for (size_t I = 0; I < Items.size() && I < Checked.size(); ++I) {
    if (!Checked[I]) continue;
    TVIBItem &It = *Items[I];
    Fn_ClrInvalid(It.FileName);
    // Nothing left of a name would save a hidden ".jpg".
    if (Trim(It.FileName).empty()) It.FileName = "image";
    Urls.push_back(It.Url);
    Paths.push_back(Dir + It.FileName + It.FileExt);
  }
  if (!ChkFList(Paths)) throw EMossError(Format(ErrTipsFmt, {"Down file count is 0", "TVIBJobEdtr.Edt_Make_fList", ""}));
  std::vector<TVIBSaveFile> Out;
  Out.reserve(Urls.size());
  for (size_t I = 0; I < Urls.size(); ++I) Out.push_back({Urls[I], Paths[I]});
  return Out;
}
