#include "editors/uPagePics.h"

#include <unordered_set>

#include "editors/uHtmlPics.h"
#include "editors/uImgChoose.h"
#include "editors/uImgType.h"
#include "platform/TPageSnapshot.h"
#include "platform/uUrlRef.h"
#include "pub/Unit_Pub.h"

std::vector<TPagePic> Page_MorePictures(const THtmlDocument &Doc, const std::string &Html) {
  std::vector<TPagePic> Out;
  std::unordered_set<std::string> Seen;
  const THtmlElementCollection &Imgs = Doc.Images();
  std::vector<std::shared_ptr<THtmlImgElement>> Elems;
  for (int32_t I = 0; I < Imgs.Length(); ++I)
    if (auto Img = std::dynamic_pointer_cast<THtmlImgElement>(Imgs.Item(I))) Elems.push_back(std::move(Img));
  // Every src first, so that no other address takes the line of a picture's own.
  for (const auto &Img : Elems) Seen.insert(Html_PicKey(Trim(Img->Src())));
  for (const auto &Img : Elems) {
    // An element that cannot be read keeps what its src gave it.
    TImgFacts F;
    try {
      F = Img_FactsOf(*Img, Doc);
    } catch (const std::exception &) {
      continue;
    }
    std::string ImgType;
    try {
      ImgType = Img_TypeOfText(Img->MimeType());
    } catch (const std::exception &) {
    }
    // A <source> names the type of its candidates.
    std::vector<std::pair<std::string, std::string>> Typed;
    for (const TImgSourceFacts &S : F.Sources)
      for (const TImgCand &C : S.Cands) Typed.emplace_back(Url_SameKey(C.Url), Img_TypeOfText(S.Type));
    for (const std::string &U : Img_Addresses(F)) {
      if (!Seen.insert(Html_PicKey(U)).second) continue;
      std::string Type;
      for (const auto &[Key, T] : Typed)
        if (Key == Url_SameKey(U)) Type = T;
      // The browser's type is that of the picture it shows.
      if (Type.empty() && Url_SameKey(U) == Url_SameKey(F.CurrentSrc)) Type = ImgType;
      Out.push_back({U, U, Type});
    }
  }
  std::unordered_set<std::string> Backgrounds;
  for (const TSnapPart<TCssBackground> &B : Doc.Backgrounds())
    if (B.Ok())
      for (const TImgChoice &C : Img_ChooseBackground(B.Get().Image, B.Get().Width, B.Get().Height))
        Backgrounds.insert(Html_PicKey(C.Url));
  for (const std::string &Raw : Html_StyleUrls(Html)) {
    if (!Img_IsRealUrl(Raw)) continue;
    const std::string Abs = Img_BrowserUrl(Doc.AnchorHref(Raw));
    const std::string Key = Html_PicKey(Abs);
    if (!Backgrounds.count(Key) && !Img_UrlNamesPicture(Abs)) continue;
    if (!Seen.insert(Key).second) continue;
    Out.push_back({Abs, Raw, ""});
  }
  return Out;
}

std::string Page_PicName(const std::string &Url, const std::string &Type) {
  return Img_NameForType(Fn_CleanName(Url_FileName(Url), "image"), Type);
}
