#include "editors/uImgItems.h"

#include <algorithm>
#include <charconv>
#include <unordered_set>

#include "net/uUrlRef.h"
#include "platform/TPageSnapshot.h"
#include "pub/Unit_Pub.h"
#include "ui/Unit_Log.h"

namespace {

// The picture extensions a name keeps as its own, and the type prefixes a
// MIME type text may give (after "jpe" became "jpg"), in their order.
constexpr const char *KnownExts[] = {".jpg", ".gif", ".bmp", ".png"};
constexpr const char *MimePrefixes[] = {"jpg", "gif", "bmp", "png"};

bool OneOf(const std::string &S, const auto &List) {
  for (const char *E : List)
    if (S == E) return true;
  return false;
}

// The extension of a name: from its last dot, unless a "\" or ":" follows.
std::string ExtOf(const std::string &Name) {
  size_t Dot = Name.rfind('.');
  if (Dot == std::string::npos || Name.find_first_of("\\:", Dot) != std::string::npos) return {};
  return Name.substr(Dot);
}

// A byte count as the page writes it: an optional sign and decimal digits.
int64_t WholeNumber(const std::string &Text) {
  const char *B = Text.data(), *E = B + Text.size();
  if (B != E && *B == '+') ++B;
  int64_t N = 0;
  auto R = std::from_chars(B, E, N);
  if (B == E || R.ec != std::errc() || R.ptr != E) throw EMossError("'" + Text + "' is not a valid integer value");
  return N;
}

}  // namespace

uint8_t Img_SizeClass(int32_t Width, int32_t Height) {
  int32_t M = std::max(Width, Height);
  if (M <= 200) return scSmall;
  if (M < 640) return scMedium;
  return scLarge;
}

bool Img_PassesFilters(int32_t Width, int32_t Height, bool IgnTiny, bool IgnBar) {
  if (IgnTiny && Width < 10 && Height < 10) return false;
  if (IgnBar) {
    if (Height == 0) return false;
    float R = static_cast<float>(Width) / static_cast<float>(Height);
    if (R > 20 || R < 0.05f) return false;
  }
  return true;
}

void Img_Get_Type(TVIBItem &Item, const THtmlImgElement &Elem, int JobId) {
  std::string E = LowerCase(Item.FileExt);
  if (E.empty()) {
    try {
      std::string P = LowerCase(Elem.MimeType().substr(0, 3));
      if (P == "jpe") P = "jpg";
      if (OneOf(P, MimePrefixes)) {
        E = "." + P;
        Item.FileExt = E;
        Log::Info_Job("Auto correct image type: " + E, JobId);
      }
    } catch (const std::exception &) {
      E.clear();  // a type that cannot be read leaves the picture without one
    }
  }
  std::string T = E.empty() ? E : E.substr(1);
  static constexpr const char *Codes[] = {"jpg", "gif", "png", "bmp"};
  Item.TypeCode = itUnknown;
  Item.TypeText = "?";
  for (uint8_t C = 0; C < 4; ++C)
    if (T == Codes[C]) {
      Item.TypeCode = static_cast<uint8_t>(C + 1);
      Item.TypeText = T;
      for (char &Ch : Item.TypeText) Ch = static_cast<char>(Ch - 'a' + 'A');  // all four are lower-case letters
    }
}

void Img_Get_Size(TVIBItem &Item, const THtmlImgElement &Elem) {
  Item.Width = Elem.Width();
  Item.Height = Elem.Height();
  Item.Area = int64_t{Item.Width} * Item.Height;
  Item.FileSize = WholeNumber(Elem.FileSize());
  Item.SizeClass = Img_SizeClass(Item.Width, Item.Height);
}

std::unique_ptr<TVIBItem> Img_Fill_Item(const std::shared_ptr<THtmlImgElement> &Elem, int JobId) {
  auto Item = std::make_unique<TVIBItem>();
  Item->Kind = TItemKind::Picture;
  Item->Elem = Elem;
  Item->Url = Elem->Src();
  std::string Name = Url_FileName(Item->Url);
  if (Name.empty()) Name = "image";
  std::string Ext = ExtOf(Name);
  if (!Ext.empty() && OneOf(LowerCase(Ext), KnownExts)) {
    Item->FileExt = Ext;
    Item->FileName = Name.substr(0, Name.size() - Ext.size());
  } else {
    Item->FileName = Name;
  }
  Img_Get_Type(*Item, *Elem, JobId);
  Img_Get_Size(*Item, *Elem);
  return Item;
}

std::unique_ptr<TVIBItem> Img_CollectOne(const std::shared_ptr<THtmlElement> &Elem, int JobId) {
  auto Img = std::dynamic_pointer_cast<THtmlImgElement>(Elem);
  bool IsImg = false;
  try {
    IsImg = Img && Img->TagName() == "IMG";
  } catch (const std::exception &) {
  }
  if (!IsImg) throw EMossError("uImg 01, Can not get current picture!");
  return Img_Fill_Item(Img, JobId);
}

void Img_CollectAll(const THtmlDocument &Doc, bool IgnTiny, bool IgnBar, int JobId, TVIBItems &Out) {
  std::unordered_set<std::string> Seen;
  const THtmlElementCollection &Images = Doc.Images();
  for (int32_t I = 0; I < Images.Length(); ++I) {
    std::shared_ptr<THtmlElement> E = Images.Item(I);
    auto Img = std::dynamic_pointer_cast<THtmlImgElement>(E);
    // The images list holds picture elements only; anything else is a page
    // that cannot be read.
    if (!Img) throw EMossError(Format("Page snapshot: images[%d] is no picture", {I}));
    std::string Src = Trim(Img->Src());
    if (Src.empty()) continue;
    std::string Key = Url_SameKey(Src);
    if (Seen.count(Key)) continue;
    if (!Img_PassesFilters(Img->Width(), Img->Height(), IgnTiny, IgnBar)) continue;
    Seen.insert(Key);
    Out.push_back(Img_Fill_Item(Img, JobId));
  }
}

TVIBList Img_Filter(const TVIBItems &All, uint8_t FltSiz, uint8_t FltTyp) {
  TVIBList L;
  for (const auto &I : All)
    if ((FltSiz == 0 || I->SizeClass == FltSiz) && (FltTyp == 0 || I->TypeCode == FltTyp)) L.push_back(I.get());
  return L;
}

TImgCounts Img_Count(const TVIBItems &All) {
  TImgCounts C;
  for (const auto &I : All) {
    if (I->SizeClass == scLarge) ++C.Large;
    if (I->SizeClass == scMedium) ++C.Medium;
    if (I->SizeClass == scSmall) ++C.Small;
    if (I->TypeCode == itJpg) ++C.Jpg;
    if (I->TypeCode == itGif) ++C.Gif;
    if (I->TypeCode == itPng) ++C.Png;
  }
  return C;
}

void Img_SortSize(TVIBList &List, bool Des) {
  for (size_t I = 0; I < List.size(); ++I) {
    size_t Best = I;
    for (size_t K = I + 1; K < List.size(); ++K)
      if (Des ? List[K]->Area > List[Best]->Area : List[K]->Area < List[Best]->Area) Best = K;
    if (Best != I) std::swap(List[I], List[Best]);
  }
}

void Img_SortType(TVIBList &List, bool Asc) {
  const size_t Count = List.size();
  size_t Pos = 0;
  int Step = 1;
  while (Count > 0 && Pos < Count - 1 && Step <= 4) {
    const uint8_t T = static_cast<uint8_t>(Asc ? Step : 6 - Step);
    if (List[Pos]->TypeCode == T) {
      ++Pos;
      continue;
    }
    size_t K = Pos + 1;
    while (K < Count && List[K]->TypeCode != T) ++K;
    if (K < Count) {
      std::swap(List[Pos], List[K]);
      ++Pos;
    } else {
      ++Step;
    }
  }
}
