#include "editors/uImgItems.h"

#include <algorithm>
#include <charconv>
#include <unordered_set>

#include "editors/uImgChoose.h"
#include "editors/uImgType.h"
#include "platform/TPageSnapshot.h"
#include "platform/uUrlRef.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"

namespace {

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

// A new item for Url, named from its last piece; its type from the
// extension, else from TypeText (logged as a correction).
std::unique_ptr<TVIBItem> NewItem(const std::string &Url, int32_t Width, int32_t Height) {
  auto Item = std::make_unique<TVIBItem>();
  Item->Kind = TItemKind::Picture;
  Item->Url = Url;
  std::string Name = Url_FileName(Url);
  if (Name.empty()) Name = "image";
  std::string Ext = ExtOf(Name);
  if (!Ext.empty() && !Img_TypeOfExt(Ext).empty()) {
    Item->FileExt = Ext;
    Item->FileName = Name.substr(0, Name.size() - Ext.size());
  } else {
    Item->FileName = Name;
  }
  Item->Width = Width;
  Item->Height = Height;
  Item->Area = int64_t{Width} * Height;
  Item->SizeClass = Img_SizeClass(Width, Height);
  return Item;
}

void SetType(TVIBItem &Item, const std::string &TypeText, int JobId) {
  std::string T = Img_TypeOfExt(Item.FileExt);
  if (Item.FileExt.empty()) {
    T = Img_TypeOfText(TypeText);
    if (!T.empty()) {
      Item.FileExt = "." + T;
      Log::Info_Job("Auto correct image type: " + Item.FileExt, JobId);
    }
  }
  Item.TypeCode = T.empty() ? itUnknown : Img_TypeCode(T);
  Item.TypeText = Img_TypeText(T);
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
  std::string Mime;
  if (Item.FileExt.empty()) try {
      Mime = Elem.MimeType();
    } catch (const std::exception &) {
      Mime.clear();  // a type that cannot be read leaves the picture without one
    }
  SetType(Item, Mime, JobId);
}

void Img_Get_Size(TVIBItem &Item, const THtmlImgElement &Elem) {
  Item.Width = Elem.Width();
  Item.Height = Elem.Height();
  Item.Area = int64_t{Item.Width} * Item.Height;
  Item.FileSize = WholeNumber(Elem.FileSize());
  Item.SizeClass = Img_SizeClass(Item.Width, Item.Height);
}

std::unique_ptr<TVIBItem> Img_Fill_Item(const std::shared_ptr<THtmlImgElement> &Elem, int JobId) {
  TImgChoice C;
  C.Url = Elem->Src();
  C.Width = Elem->Width();
  C.Height = Elem->Height();
  return Img_Fill_Item(Elem, C, JobId);
}

std::unique_ptr<TVIBItem> Img_Fill_Item(const std::shared_ptr<THtmlImgElement> &Elem, const TImgChoice &Choice, int JobId) {
  auto Item = NewItem(Choice.Url, Choice.Width, Choice.Height);
  Item->Elem = Elem;
  // The type text and byte count the page gives are those of the src.
  const bool Shown = Choice.Url == Elem->Src();
  if (Shown) {
    Img_Get_Type(*Item, *Elem, JobId);
  } else {
    SetType(*Item, Choice.Type, JobId);
  }
  // The byte count is read (and must read) even when it belongs to the
  // src rather than the form chosen.
  const int64_t Bytes = WholeNumber(Elem->FileSize());
  Item->FileSize = Shown ? Bytes : -1;
  return Item;
}

std::unique_ptr<TVIBItem> Img_BackgroundItem(const TImgChoice &Choice, int JobId) {
  auto Item = NewItem(Choice.Url, Choice.Width, Choice.Height);
  SetType(*Item, Choice.Type, JobId);
  return Item;
}

std::unique_ptr<TVIBItem> Img_CollectOne(const std::shared_ptr<THtmlElement> &Elem, int JobId, const THtmlDocument *Doc) {
  auto Img = std::dynamic_pointer_cast<THtmlImgElement>(Elem);
  bool IsImg = false;
  try {
    IsImg = Img && Img->TagName() == "IMG";
  } catch (const std::exception &) {
  }
  if (!IsImg) throw EMossError("uImg 01, Can not get current picture!");
  if (!Doc) return Img_Fill_Item(Img, JobId);
  TImgChoice C = Img_Choose(Img_FactsOf(*Img, *Doc));
  if (Trim(C.Url).empty()) return Img_Fill_Item(Img, JobId);
  return Img_Fill_Item(Img, C, JobId);
}

void Img_CollectAll(const THtmlDocument &Doc, bool IgnTiny, bool IgnBar, int JobId, TVIBItems &Out) {
  std::unordered_set<std::string> Seen;
  // Each address once: the first form that passes the filters stands for
  // it, so a picture left out as a line does not hide its twin later on.
  auto Take = [&](const TImgChoice &C) {
    if (Trim(C.Url).empty()) return false;
    const std::string Key = Url_SameKey(Trim(C.Url));
    if (Seen.count(Key) || !Img_PassesFilters(C.Width, C.Height, IgnTiny, IgnBar)) return false;
    Seen.insert(Key);
    return true;
  };
  const THtmlElementCollection &Images = Doc.Images();
  for (int32_t I = 0; I < Images.Length(); ++I) {
    std::shared_ptr<THtmlElement> E = Images.Item(I);
    auto Img = std::dynamic_pointer_cast<THtmlImgElement>(E);
    // The images list holds picture elements only; anything else is a page
    // that cannot be read.
    if (!Img) throw EMossError(Format("Page snapshot: images[%d] is no picture", {I}));
    const TImgChoice C = Img_Choose(Img_FactsOf(*Img, Doc));
    if (Take(C)) Out.push_back(Img_Fill_Item(Img, C, JobId));
  }
  for (const TSnapPart<TCssBackground> &B : Doc.Backgrounds()) {
    if (!B.Ok()) continue;  // one unreadable entry costs only its own pictures
    for (const TImgChoice &C : Img_ChooseBackground(B.Get().Image, B.Get().Width, B.Get().Height))
      if (Take(C)) Out.push_back(Img_BackgroundItem(C, JobId));
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
