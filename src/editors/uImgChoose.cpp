#include "editors/uImgChoose.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <unordered_set>

#include "editors/uCssUrl.h"
#include "editors/uImgType.h"
#include "platform/TPageSnapshot.h"
#include "platform/uUrlRef.h"
#include "pub/Unit_Pub.h"

namespace {

bool IsSpace(char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r' || C == '\f'; }
char LowerA(char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C + 32) : C; }

bool StartsNoCase(std::string_view S, std::string_view Prefix) {
  if (S.size() < Prefix.size()) return false;
  for (size_t I = 0; I < Prefix.size(); ++I)
    if (LowerA(S[I]) != Prefix[I]) return false;
  return true;
}

// A number as a descriptor writes it: digits, one optional fraction, an
// optional exponent; nothing else.
bool ReadNumber(std::string_view S, double &V) {
  if (S.empty()) return false;
  std::string T(S);
  char *End = nullptr;
  V = std::strtod(T.c_str(), &End);
  return End == T.c_str() + T.size() && std::isfinite(V) &&
         (std::isdigit(static_cast<unsigned char>(T[0])) || T[0] == '.' || T[0] == '-');
}

bool SameUrl(const std::string &A, const std::string &B) { return !A.empty() && !B.empty() && Url_SameKey(A) == Url_SameKey(B); }

// The browser reports the natural size of a srcset candidate divided by
// the density it gave the candidate (for "1600w" shown 1280 pixels wide,
// 1280); the picture's own width is the descriptor's, or the reported one
// times an "x" density.
double ShownWidth(const TImgCand &C, const TImgFacts &F) {
  if (C.W > 0) return C.W;
  return static_cast<double>(F.NaturalWidth) * (C.X > 0 ? C.X : 1);
}

// How large a candidate is, in pixels of width as far as the page tells.
double Score(const TImgCand &C, const TImgFacts &F) {
  if (SameUrl(C.Url, F.CurrentSrc) && F.NaturalWidth > 0) return ShownWidth(C, F);
  if (C.W > 0) return C.W;
  const double Base = F.Width > 0 ? F.Width : F.NaturalWidth > 0 ? F.NaturalWidth : 1;
  return Base * (C.X > 0 ? C.X : 1);
}

// The browser's picture of one pixel (or a placeholder that is no address).
bool IsPlaceholder(const std::string &Url, const TImgFacts &F) {
  if (!Img_IsRealUrl(Url)) return true;
  return SameUrl(Url, F.CurrentSrc) && F.NaturalWidth <= 1 && F.NaturalHeight <= 1 && F.NaturalWidth + F.NaturalHeight > 0;
}

struct TBest {
  const TImgCand *Cand = nullptr;
  double Score = -1;
  bool FullSize = false;
};

void Consider(TBest &B, const TImgCand &C, const TImgFacts &F, bool FullSize = false) {
  if (IsPlaceholder(C.Url, F)) return;
  // A full-size attribute names the biggest form by intent; its size is not told.
  const double S = FullSize ? std::numeric_limits<double>::infinity() : Score(C, F);
  if (!B.Cand || S > B.Score) B = {&C, S, FullSize};
}

int32_t Px(double V) {
  if (!(V > 0)) return 0;
  return V >= 2147483647.0 ? 2147483647 : static_cast<int32_t>(std::lround(V));
}

TImgChoice Sized(const TImgCand &C, const TImgFacts &F, TImgForm From) {
  TImgChoice R;
  R.Url = C.Url;
  R.From = From;
  R.Width = F.Width;
  R.Height = F.Height;
  if (SameUrl(C.Url, F.CurrentSrc) && F.NaturalWidth > 0 && F.NaturalHeight > 0) {
    const double W = ShownWidth(C, F);
    R.Width = Px(W);
    R.Height = Px(W * F.NaturalHeight / F.NaturalWidth);
    R.TrueSize = true;
  } else if (C.W > 0) {
    // The height follows the proportions of the box the page shows it in;
    // the picture shown there may be a placeholder of other proportions.
    double Ratio = F.Width > 0 && F.Height > 0                 ? static_cast<double>(F.Height) / F.Width
                   : F.NaturalWidth > 1 && F.NaturalHeight > 1 ? static_cast<double>(F.NaturalHeight) / F.NaturalWidth
                                                               : 0;
    R.Width = Px(C.W);
    R.Height = Px(C.W * Ratio);
    R.TrueSize = Ratio > 0;
  } else if (From == ifResponsive || (From == ifLazy && C.X > 0)) {
    const double X = C.X > 0 ? C.X : 1;
    R.Width = Px(F.Width * X);
    R.Height = Px(F.Height * X);
    R.TrueSize = F.Width > 0 && F.Height > 0;
  }
  return R;
}

}  // namespace

std::vector<TImgCand> Img_ParseSrcset(std::string_view S) {
  std::vector<TImgCand> Out;
  size_t P = 0;
  const size_t N = S.size();
  while (P < N) {
    while (P < N && (IsSpace(S[P]) || S[P] == ',')) ++P;
    if (P >= N) break;
    const size_t UStart = P;
    while (P < N && !IsSpace(S[P])) ++P;
    std::string_view Url = S.substr(UStart, P - UStart);
    std::vector<std::string_view> Desc;
    if (!Url.empty() && Url.back() == ',') {
      // A comma right after the address ends the candidate: no descriptors.
      while (!Url.empty() && Url.back() == ',') Url.remove_suffix(1);
    } else {
      // Descriptors run to the next comma outside parentheses.
      size_t DStart = P;
      int Depth = 0;
      auto Flush = [&](size_t End) {
        std::string_view D = S.substr(DStart, End - DStart);
        while (!D.empty() && IsSpace(D.front())) D.remove_prefix(1);
        while (!D.empty() && IsSpace(D.back())) D.remove_suffix(1);
        if (!D.empty()) Desc.push_back(D);
      };
      for (; P < N; ++P) {
        const char C = S[P];
        if (C == '(') ++Depth;
        if (C == ')' && Depth > 0) --Depth;
        if (Depth == 0 && IsSpace(C)) {
          Flush(P);
          DStart = P + 1;
        }
        if (Depth == 0 && C == ',') break;
      }
      Flush(P);
      if (P < N) ++P;  // the comma
    }
    if (Url.empty()) continue;
    TImgCand C;
    C.Url = std::string(Url);
    C.Start = UStart;
    bool Bad = false, HasH = false;
    for (std::string_view D : Desc) {
      const char Unit = LowerA(D.back());
      double V = 0;
      if (!ReadNumber(D.substr(0, D.size() - 1), V)) {
        Bad = true;
        break;
      }
      if (Unit == 'w' && C.W == 0 && C.X == 0 && V > 0 && V == std::floor(V)) {
        C.W = V;
      } else if (Unit == 'x' && C.W == 0 && C.X == 0 && !HasH && V > 0) {
        C.X = V;
      } else if (Unit == 'h' && !HasH && C.X == 0 && V > 0 && V == std::floor(V)) {
        HasH = true;
      } else {
        Bad = true;
        break;
      }
    }
    // A height alone says nothing about which candidate is which.
    if (Bad || (HasH && C.W == 0)) continue;
    Out.push_back(std::move(C));
  }
  return Out;
}

const TLazyAttr *Img_LazyAttr(std::string_view Name) {
  for (const TLazyAttr &A : LazyAttrs) {
    const std::string_view L = A.Name;
    if (L.size() == Name.size() && StartsNoCase(Name, L)) return &A;
  }
  return nullptr;
}

std::string Img_BrowserUrl(const std::string &Url) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string E;
  E.reserve(Url.size());
  for (char Ch : Url) {
    const auto C = static_cast<unsigned char>(Ch);
    if (C <= 0x20 || C >= 0x7F || C == '"' || C == '<' || C == '>' || C == '`' || C == '{' || C == '}') {
      E += '%';
      E += Hex[C >> 4];
      E += Hex[C & 15];
    } else {
      E += Ch;
    }
  }
  return E;
}

bool Img_IsRealUrl(std::string_view Url) {
  while (!Url.empty() && IsSpace(Url.front())) Url.remove_prefix(1);
  if (Url.empty()) return false;
  for (std::string_view Scheme : {"data:", "blob:", "about:", "javascript:"})
    if (StartsNoCase(Url, Scheme)) return false;
  return true;
}

TImgChoice Img_Choose(const TImgFacts &F) {
  const bool Plain = F.Srcset.empty() && F.Sources.empty() && F.Lazy.empty() &&
                     (F.Link.empty() || !Img_UrlNamesPicture(F.Link) || !Img_IsRealUrl(F.Link));
  TImgChoice R;
  if (Plain) {
    R.Url = F.Src;
    R.Width = F.Width;
    R.Height = F.Height;
    return R;
  }
  if (!F.Link.empty() && Img_UrlNamesPicture(F.Link) && Img_IsRealUrl(F.Link)) {
    R.Url = F.Link;
    R.Width = F.Width;
    R.Height = F.Height;
    R.From = ifLink;
    return R;
  }
  TBest B;
  // The <source> elements come first, as the browser tries them first; so
  // of equal candidates the one the browser prefers is taken.
  for (const TImgSourceFacts &S : F.Sources)
    if (S.Supported)
      for (const TImgCand &C : S.Cands) Consider(B, C, F);
  for (const TImgCand &C : F.Srcset) Consider(B, C, F);
  if (B.Cand) {
    R = Sized(*B.Cand, F, ifResponsive);
    for (const TImgSourceFacts &S : F.Sources)
      for (const TImgCand &C : S.Cands)
        if (&C == B.Cand) R.Type = S.Type;
    return R;
  }
  for (size_t I = 0; I < F.Lazy.size(); ++I) Consider(B, F.Lazy[I], F, I < F.LazyFullSize.size() && F.LazyFullSize[I]);
  if (B.Cand) return Sized(*B.Cand, F, ifLazy);
  TImgCand Cur{F.CurrentSrc};
  if (!IsPlaceholder(F.CurrentSrc, F)) return Sized(Cur, F, ifCurrent);
  // Nothing real but src: it is taken as it is, as it always was.
  R.Url = F.Src;
  R.Width = F.Width;
  R.Height = F.Height;
  return R;
}

std::vector<std::string> Img_Addresses(const TImgFacts &F) {
  std::vector<std::string> Out;
  std::unordered_set<std::string> Seen;
  auto Add = [&](const std::string &U) {
    if (Img_IsRealUrl(U) && Seen.insert(Url_SameKey(U)).second) Out.push_back(U);
  };
  Add(F.Src);
  Add(F.CurrentSrc);
  for (const TImgCand &C : F.Srcset) Add(C.Url);
  for (const TImgSourceFacts &S : F.Sources)
    if (S.Supported)
      for (const TImgCand &C : S.Cands) Add(C.Url);
  for (const TImgCand &C : F.Lazy) Add(C.Url);
  return Out;
}

TImgFacts Img_FactsOf(const THtmlImgElement &E, const THtmlDocument &Doc) {
  TImgFacts F;
  F.Src = E.Src();
  F.Width = E.Width();
  F.Height = E.Height();
  auto Resolve = [&Doc](std::vector<TImgCand> L) {
    for (TImgCand &C : L) C.Url = Img_BrowserUrl(Doc.AnchorHref(C.Url));
    return L;
  };
  // The newer parts: whatever of them cannot be read is taken as absent.
  auto Try = [](auto Read) {
    try {
      Read();
    } catch (const std::exception &) {
    }
  };
  Try([&] { F.CurrentSrc = E.CurrentSrc(); });
  Try([&] {
    const int32_t W = E.NaturalWidth(), H = E.NaturalHeight();
    F.NaturalWidth = W;
    F.NaturalHeight = H;
  });
  Try([&] { F.Link = E.Link(); });
  Try([&] { F.Srcset = Resolve(Img_ParseSrcset(E.Srcset())); });
  Try([&] {
    std::vector<TImgSourceFacts> L;
    for (const TImgSource &S : E.Sources()) {
      TImgSourceFacts SF;
      SF.Type = S.Type;
      // Without the browser's word, a type this program knows as a picture's counts.
      SF.Supported = S.Supported.value_or(Trim(S.Type).empty() || !Img_TypeOfText(S.Type).empty());
      SF.Cands = Resolve(Img_ParseSrcset(S.Srcset));
      // A <source> of a lazy page keeps its real srcset in a data- attribute.
      for (const auto &[Name, Value] : S.Data)
        if (const TLazyAttr *A = Img_LazyAttr(Name); A && A->Srcset)
          for (TImgCand &C : Resolve(Img_ParseSrcset(Value))) SF.Cands.push_back(std::move(C));
      L.push_back(std::move(SF));
    }
    F.Sources = std::move(L);
  });
  Try([&] {
    const auto &Data = E.Data();
    std::vector<TImgCand> Lazy;
    std::vector<bool> Full;
    for (const TLazyAttr &A : LazyAttrs)
      for (const auto &[Name, Value] : Data) {
        if (Name != A.Name) continue;
        std::vector<TImgCand> L;
        if (A.Srcset) {
          L = Img_ParseSrcset(Value);
        } else if (!Trim(Value).empty()) {
          L.push_back({Trim(Value)});
        }
        for (TImgCand &C : Resolve(std::move(L))) {
          Lazy.push_back(std::move(C));
          Full.push_back(A.FullSize);
        }
      }
    F.Lazy = std::move(Lazy);
    F.LazyFullSize = std::move(Full);
  });
  return F;
}

std::vector<TImgChoice> Img_ChooseBackground(std::string_view Css, int32_t W, int32_t H) {
  std::vector<TImgChoice> Out;
  const std::vector<TCssUrl> Urls = Css_Urls(Css);
  for (size_t I = 0; I < Urls.size(); ++I) {
    const TCssUrl *Best = nullptr;
    if (Urls[I].Group < 0) {
      if (Img_IsRealUrl(Urls[I].Url)) Best = &Urls[I];
    } else {
      // One picture per image-set(): its densest real candidate.
      const int G = Urls[I].Group;
      for (; I < Urls.size() && Urls[I].Group == G; ++I)
        if (Img_IsRealUrl(Urls[I].Url) && (!Best || Urls[I].Density > Best->Density)) Best = &Urls[I];
      --I;
    }
    if (!Best) continue;
    TImgChoice C;
    C.Url = Best->Url;
    C.Width = W;
    C.Height = H;
    C.From = ifBackground;
    Out.push_back(std::move(C));
  }
  return Out;
}

std::vector<TPagePicture> Img_PagePictures(const THtmlDocument &Doc) {
  std::vector<TPagePicture> Out;
  const THtmlElementCollection &Imgs = Doc.Images();
  for (int32_t I = 0; I < Imgs.Length(); ++I) {
    auto Img = std::dynamic_pointer_cast<THtmlImgElement>(Imgs.Item(I));
    if (!Img) continue;
    Out.push_back({Img_Choose(Img_FactsOf(*Img, Doc)), I});
  }
  for (const TSnapPart<TCssBackground> &B : Doc.Backgrounds()) {
    if (!B.Ok()) continue;
    for (TImgChoice &C : Img_ChooseBackground(B.Get().Image, B.Get().Width, B.Get().Height)) Out.push_back({std::move(C), -1});
  }
  return Out;
}
