#include "editors/uTxtSave.h"

#include <filesystem>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "editors/uHtmlPics.h"
#include "editors/uImgChoose.h"
#include "editors/uImgType.h"
#include "editors/uPagePics.h"
#include "editors/uTxtHtml.h"
#include "jobs/uJobRec.h"
#include "platform/TPageSnapshot.h"
#include "platform/uUrlRef.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "pub/uFormat.h"
#include "pub/uMossError.h"

namespace {

// Addresses are compared as the web compares them (by Url_SameKey): on a
// server whose paths tell letter case apart, PICS/A.JPG and pics/a.jpg are
// two pictures. Each list keeps the first position of every key.
std::unordered_map<std::string, int> UrlIndex(const std::vector<std::string> &L) {
  std::unordered_map<std::string, int> M;
  for (size_t I = 0; I < L.size(); ++I) M.emplace(Url_SameKey(L[I]), static_cast<int>(I));
  return M;
}

// Why a folder could not be made, as the system tells it.
std::string WhyNoFolder(const std::string &Folder) {
  std::string Dir = Folder;
  while (Dir.size() > 1 && Dir.back() == '/') Dir.pop_back();
  if (Path_Exists(Dir) && !Dir_Exists(Dir)) return "a file of that name is in the way";
  std::error_code Ec;
  std::filesystem::create_directories(Dir, Ec);
  return Ec ? Ec.message() : std::string("it could not be made");
}

struct TPictures {
  std::vector<std::string> Urls, LocalPaths, ElemHtmls, RawSrcs;
  int ImageCount = 0;
};

// Every distinct picture address of the page, with its name in the folder.
void Collect(const THtmlDocument &Doc, const std::string &PageUrl, const std::string &Folder, TPictures &P) {
  const THtmlElementCollection &Imgs = Doc.Images();
  P.ImageCount = Imgs.Length();
  std::unordered_map<std::string, int> Seen = UrlIndex(P.Urls);
  for (int I = 0; I < P.ImageCount; ++I) {
    auto Img = std::dynamic_pointer_cast<THtmlImgElement>(Imgs.Item(I));
    if (!Img) continue;
    std::string Src = Trim(Img->Src());
    // A data: picture is part of the page already; there is nothing to fetch.
    if (!Img_IsRealUrl(Src)) continue;
    if (Src.empty() || !Seen.emplace(Url_SameKey(Src), static_cast<int>(P.Urls.size())).second) continue;
    // A web page's local pictures are not the page's to hand out: they stay
    // as the page wrote them.
    if (Url_IsFile(Src) && !Url_IsFile(PageUrl)) continue;
    std::string Html = Img->OuterHtml(), Raw;
    Html_GetSrc(Html, Raw);
    std::string Type;
    try {
      Type = Img_TypeOfText(Img->MimeType());
    } catch (const std::exception &) {
    }
    P.Urls.push_back(Src);
    P.LocalPaths.push_back(Folder + Page_PicName(Src, Type));
    P.ElemHtmls.push_back(Html);
    P.RawSrcs.push_back(Raw);
  }
}

// The pictures the page shows besides the src of its picture elements:
// srcset candidates, lazy-loading attributes, style backgrounds.
void CollectMore(const THtmlDocument &Doc, const std::string &PageUrl, const std::string &FinalText, const std::string &Folder,
                 TPictures &P) {
  std::unordered_map<std::string, int> Seen = UrlIndex(P.Urls);
  std::vector<TPagePic> More;
  try {
    More = Page_MorePictures(Doc, FinalText);
  } catch (const std::exception &E) {
    // The page is still saved with the pictures of its src.
    Log::Warn(Format(ErrTipsFmt, {"The other picture addresses were not readable", "Txt_PlanSave", E.what()}));
  }
  for (const TPagePic &M : More) {
    if (Url_IsFile(M.Url) && !Url_IsFile(PageUrl)) continue;
    if (!Seen.emplace(Url_SameKey(M.Url), static_cast<int>(P.Urls.size())).second) continue;
    P.Urls.push_back(M.Url);
    P.LocalPaths.push_back(Folder + Page_PicName(M.Url, M.Type));
    P.ElemHtmls.emplace_back();
    P.RawSrcs.push_back(M.Raw);
  }
}

// The other spellings of a collected picture's address in the page's tags
// (relative, differently escaped): each gets the same local name, so every
// link to the picture is rewritten.
void AddAliases(const THtmlDocument &Doc, TPictures &P) {
  const THtmlElementCollection &Imgs = Doc.Images();
  const std::unordered_map<std::string, int> UrlPos = UrlIndex(P.Urls);
  std::unordered_map<std::string, int> RawPos = UrlIndex(P.RawSrcs);
  std::unordered_set<std::string> Htmls(P.ElemHtmls.begin(), P.ElemHtmls.end());
  for (int I = 0; I < Imgs.Length(); ++I) {
    auto E = Imgs.Item(I);
    if (!E) continue;
    std::string Html = E->OuterHtml();
    if (!Htmls.insert(Html).second) continue;
    P.ElemHtmls.push_back(Html);
    std::string Raw;
    if (!Html_GetSrc(Html, Raw) || RawPos.count(Url_SameKey(Raw))) continue;
    auto Img = std::dynamic_pointer_cast<THtmlImgElement>(E);
    if (!Img) continue;
    auto G = UrlPos.find(Url_SameKey(Trim(Img->Src())));
    if (G == UrlPos.end()) continue;
    RawPos.emplace(Url_SameKey(Raw), static_cast<int>(P.RawSrcs.size()));
    P.RawSrcs.push_back(Raw);
    P.LocalPaths.push_back(P.LocalPaths[static_cast<size_t>(G->second)]);
  }
}

}  // namespace

std::vector<std::string> Txt_ToLines(const std::string &Text) {
  std::vector<std::string> Out;
  size_t P = 0;
  while (P < Text.size()) {
    size_t E = Text.find('\n', P);
    if (E == std::string::npos) E = Text.size();
    Out.push_back(Text.substr(P, E - P));
    P = E + 1;
  }
  return Out;
}

TTxtSavePlan Txt_PlanSave(const TTxtSaveInput &In) {
  if (In.FinalText.empty()) throw EMossError(Format("No text to be saved! uTxt %d", {1}));
  TTxtSavePlan Plan;
  Plan.Files.emplace_back(WebpageContents, In.Dest);
  if (In.PlainText || !In.SaveImg || !In.Doc || (In.Snippet && !Html_HasImg(In.FinalText))) {
    Plan.TextLines = Txt_ToLines(In.FinalText);
    return Plan;
  }
  const std::string Folder = Fn_ExtractDir(In.Dest) + Fn_NameNoExt(In.Dest) + ".files/";
  if (In.CheckDir && !In.CheckDir(Folder))
    throw EMossError(Format("Can not create the image folder %s: %s! uTxt %d", {Folder, WhyNoFolder(Folder), 3}));
  TPictures P;
  Collect(*In.Doc, In.PageUrl, Folder, P);
  CollectMore(*In.Doc, In.PageUrl, In.FinalText, Folder, P);
  if (In.CheckFiles && !In.CheckFiles(P.LocalPaths))
    throw EMossError(Format("Cancel by user in checking image file list! uTxt %d", {4}));
  AddAliases(*In.Doc, P);
  Plan.AttachDir = Folder;
  std::string Html = In.FinalText;
  std::vector<int> Index = {In.Snippet ? 1 : 0};
  if (!Html_ChgImgLink(Html, P.ImageCount, P.RawSrcs, P.LocalPaths, Index)) {
    Plan.LinksFailed = true;
    Plan.TextLines = Txt_ToLines(In.FinalText);
    return Plan;
  }
  // Then srcset, the lazy-loading attributes and the style pictures.
  TPicLinks Links;
  const THtmlDocument *Doc = In.Doc;
  Links.Resolve = [Doc](const std::string &Ref) { return Doc->AnchorHref(Ref); };
  for (size_t I = 0; I < P.Urls.size(); ++I) {
    Links.Add(P.Urls[I], static_cast<int>(I));
    Links.Links.push_back(Html_PicLink(P.LocalPaths[I]));
  }
  std::vector<int> Used = In.Snippet ? Index : std::vector<int>();
  Html_ChgPicLinks(Html, Links, Used);
  if (In.Snippet) Index = Used;
  Plan.TextLines = Txt_ToLines(Html);
  if (In.Snippet) {
    for (int I : Index)
      if (I >= 0 && static_cast<size_t>(I) < P.Urls.size())
        Plan.Files.emplace_back(P.Urls[static_cast<size_t>(I)], P.LocalPaths[static_cast<size_t>(I)]);
  } else {
    for (size_t I = 0; I < P.Urls.size(); ++I) Plan.Files.emplace_back(P.Urls[I], P.LocalPaths[I]);
  }
  return Plan;
}
