#include "editors/uFlsItems.h"

#include <algorithm>
#include <charconv>

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

// A size as the page wrote it: an optional sign, then decimal digits only.
bool WholeNumber(const std::string &Text, int32_t &Out) {
  const std::string T = Trim(Text);
  const char *B = T.data(), *E = B + T.size();
  if (B != E && *B == '+') ++B;
  int32_t N = 0;
  auto R = std::from_chars(B, E, N);
  if (B == E || R.ec != std::errc() || R.ptr != E) return false;
  Out = N;
  return true;
}

std::string SchemeOf(const std::string &Url) { return LowerCase(Url_Split(Url).Scheme); }

// The file's format for the caption: from its extension when it has a
// short one, else from the type the page gave; empty when neither says.
std::string MediaFormat(const std::string &Ext, const std::string &Type) {
  std::string Kind;
  if (Ext.size() >= 2 && Ext.size() <= 5) Kind = Ext.substr(1);
  if (Kind.empty()) {
    const std::string T = Trim(Type.substr(0, Type.find(';')));
    const size_t Slash = T.find('/');
    if (Slash != std::string::npos) Kind = T.substr(Slash + 1);
  }
  for (char &C : Kind)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  return Kind;
}

}  // namespace

void Fls_DeclaredSize(const std::string &W, const std::string &H, int32_t &OutW, int32_t &OutH) {
  int32_t A = 0, B = 0;
  if (WholeNumber(W, A) && WholeNumber(H, B)) {
    OutW = A;
    OutH = B;
  } else {
    OutW = OutH = 0;
  }
}

void Fls_Name_Plugin(TVIBItem &Item) {
  const std::string Piece = Url_FileName(Item.Url);
  Item.FileExt = ExtOf(Piece);
  Item.FileName = Piece.substr(0, Piece.size() - Item.FileExt.size());
}

void Fls_Name_Media(TVIBItem &Item) {
  // The bytes of a data: address are no name.
  const std::string Name = SchemeOf(Item.Url) == "data" ? std::string("movie") : Url_SaveName(Item.Url, "movie");
  Item.FileExt = ExtOf(Name);
  Item.FileName = Name.substr(0, Name.size() - Item.FileExt.size());
  if (Item.FileName.empty()) Item.FileName = "movie";
}

void Fls_Classify(TVIBItem &Item) {
  const std::string Scheme = SchemeOf(Item.Url);
  if (Scheme == "blob" || Scheme == "mediasource") {
    Item.Saveable = false;
    Item.Note = "Page-built stream";
    Item.Reason = "The movie plays from a stream the page builds itself (" + Scheme + ": address); there is no file to save.";
    return;
  }
  if (Scheme != "http" && Scheme != "https" && Scheme != "file") {
    Item.Saveable = false;
    Item.Note = "Not a file address";
    Item.Reason = "The movie's address (" + (Scheme.empty() ? std::string("no scheme") : Scheme + ":") +
                  ") names no file the program can fetch.";
    return;
  }
  const std::string Path = LowerCase(Url_Split(Item.Url).Path);
  auto EndsWith = [&](const char *Tail) {
    const std::string T(Tail);
    return Path.size() >= T.size() && Path.compare(Path.size() - T.size(), T.size(), T) == 0;
  };
  if (EndsWith(".m3u8") || EndsWith(".m3u"))
    Item.Note = "HLS stream list";
  else if (EndsWith(".mpd"))
    Item.Note = "DASH stream list";
}

void Fls_Add_Elem(const THtmlDocument &Doc, const THtmlElementCollection &List, int32_t Index, TFlsSeen &Seen, TVIBItems &Out) {
  std::shared_ptr<THtmlElement> Elem = List.Item(Index);
  std::string Movie;
  try {
    std::shared_ptr<TFlashMovie> Player = Elem->Flash();
    if (!Player) return;
    Movie = Player->Movie();
  } catch (const std::exception &) {
    return;  // no player, or its movie cannot be read
  }
  // A player without a movie would resolve to the page itself.
  if (Trim(Movie).empty()) return;
  if (!Seen.Texts.insert(LowerCase(Movie)).second) return;

  auto Item = std::make_unique<TVIBItem>();
  Item->Kind = TItemKind::Movie;
  Item->Elem = Elem;
  Item->Url = Doc.AnchorHref(Movie);
  Seen.Urls.insert(LowerCase(Item->Url));
  Fls_Name_Plugin(*Item);
  try {
    auto Plugin = std::dynamic_pointer_cast<THtmlPluginElement>(Elem);
    if (!Plugin) throw EMossError("no plug-in element");
    Fls_DeclaredSize(Plugin->Width(), Plugin->Height(), Item->Width, Item->Height);
  } catch (const std::exception &) {
    Item->Width = Item->Height = 0;
  }
  Item->Area = int64_t{Item->Width} * Item->Height;
  Fls_Classify(*Item);
  Out.push_back(std::move(Item));
}

void Fls_Add_Media(const THtmlMediaElement &Elem, TFlsSeen &Seen, TVIBItems &Out) {
  const std::string Tag = Elem.TagName();
  const bool Audio = Tag == "AUDIO";
  std::vector<TMediaSource> Sources;
  if (!Trim(Elem.Src()).empty())
    Sources.push_back({Trim(Elem.Src()), ""});
  else
    for (const TMediaSource &S : Elem.Sources())
      if (!Trim(S.Src).empty()) Sources.push_back({Trim(S.Src), S.Type});
  const int32_t W = Audio ? 0 : Elem.Width(), H = Audio ? 0 : Elem.Height();
  const std::string Poster = Audio ? std::string() : Trim(Elem.Poster());
  for (const TMediaSource &S : Sources) {
    const std::string Key = LowerCase(S.Src);
    if (!Seen.Urls.insert(Key).second) continue;
    auto Item = std::make_unique<TVIBItem>();
    Item->Kind = TItemKind::Movie;
    Item->Url = S.Src;
    Item->Width = W;
    Item->Height = H;
    Item->Area = int64_t{W} * H;
    Item->Poster = Poster;
    Fls_Name_Media(*Item);
    Item->TypeText = Audio ? "AUDIO" : "VIDEO";
    Fls_Classify(*Item);
    // Under the type the caption says what kind of file, unless there is
    // more to say about it.
    if (Item->Note.empty()) Item->Note = MediaFormat(Item->FileExt, S.Type);
    Out.push_back(std::move(Item));
  }
}

void Fls_Collect(const THtmlDocument &Doc, int JobId, TVIBItems &Out) {
  TFlsSeen Seen;
  const THtmlElementCollection &Objects = Doc.Objects();
  for (int32_t I = 0; I < Objects.Length(); ++I) Fls_Add_Elem(Doc, Objects, I, Seen, Out);
  const THtmlElementCollection &Embeds = Doc.Embeds();
  for (int32_t I = 0; I < Embeds.Length(); ++I) Fls_Add_Elem(Doc, Embeds, I, Seen, Out);
  const THtmlElementCollection &Media = Doc.Media();
  for (int32_t I = 0; I < Media.Length(); ++I) {
    try {
      auto M = std::dynamic_pointer_cast<THtmlMediaElement>(Media.Item(I));
      if (!M) throw EMossError(Format("Page snapshot: media[%d] is no VIDEO or AUDIO", {I}));
      Fls_Add_Media(*M, Seen, Out);
    } catch (const std::exception &E) {
      // One broken entry costs only its own movies.
      Log::Warn_Job(std::string("Movie left out: ") + E.what(), JobId);
    }
  }
}

void Fls_SortBiggestFirst(TVIBList &List) {
  for (size_t I = 0; I < List.size(); ++I) {
    size_t Best = I;
    for (size_t K = I + 1; K < List.size(); ++K)
      if (List[K]->Area > List[Best]->Area) Best = K;
    if (Best != I) std::swap(List[I], List[Best]);
  }
}

void Fls_Order(TVIBList &List, bool Des) {
  if (List.empty()) return;
  const int64_t A = List.front()->Area, Z = List.back()->Area;
  if (A == Z || (Des && A > Z) || (!Des && A < Z)) return;
  std::reverse(List.begin(), List.end());
}

const char *Fls_SortIndicator(bool Des) { return Des ? "Biggest first" : "Smallest first"; }
