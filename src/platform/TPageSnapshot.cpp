#include "platform/TPageSnapshot.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QString>
#include <cmath>
#include <fstream>

#include "platform/uUrlRef.h"
#include "pub/uFormat.h"

namespace {

std::string Quoted(const std::string &Path) { return "\"" + Path + "\""; }

template <class T>
TSnapPart<T> Missing(const std::string &Path) {
  return TSnapPart<T>::Fault("Page snapshot has no " + Quoted(Path));
}

template <class T>
TSnapPart<T> Wrong(const std::string &Path, const char *Want) {
  return TSnapPart<T>::Fault(Format("Page snapshot: %s is not %s", {Quoted(Path), Want}));
}

// Whole numbers arrive as doubles; only exact ones in range count.
bool AsWhole(const QJsonValue &V, int64_t Min, int64_t Max, int64_t &Out) {
  if (!V.isDouble()) return false;
  const double D = V.toDouble();
  if (!(D >= static_cast<double>(Min) && D <= static_cast<double>(Max)) || std::floor(D) != D) return false;
  Out = static_cast<int64_t>(D);
  return true;
}

// For the optional parts, whose absence means something, null means the same.
bool Absent(const QJsonValue &V) { return V.isUndefined() || V.isNull(); }

std::string Upper(std::string S) {
  for (char &C : S)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  return S;
}

std::string Lower(std::string S) {
  for (char &C : S)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return S;
}

constexpr qsizetype MaxSources = 64;

}  // namespace

// Turns the parsed JSON into the objects, part by part: a part that is
// absent or malformed becomes a fault that its reader meets later, so that a
// damaged snapshot still yields every part that is sound.
class TSnapshotParser {
  using TDocPart = TSnapPart<std::shared_ptr<THtmlDocument>>;
  using TWinPart = TSnapPart<std::shared_ptr<THtmlWindow>>;
  using TElemPart = TSnapPart<std::shared_ptr<THtmlElement>>;

 public:
  static TPageSnapshot Snapshot(const QJsonObject &Root) {
    TPageSnapshot S;
    auto Win = std::shared_ptr<THtmlWindow>(new THtmlWindow);
    Win->FSelf = Win;
    S.FWindow = Win;

    auto Browser = std::make_shared<TSnapBrowser>();
    Browser->UserAgent = UserAgent(Root.value("userAgent"));
    Browser->Cookies = Cookies(Root.value("cookies"));
    Win->FBrowser = Browser;

    // Without a top-level document of its own, the frame is the top.
    TDocPart TopDoc = TDocPart::Of(nullptr);
    Win->FTop = TWinPart::Of(nullptr);
    const QJsonValue TopV = Root.value("topDocument");
    if (!Absent(TopV) && !TopV.isObject()) {
      Win->FTop = Wrong<std::shared_ptr<THtmlWindow>>("topDocument", "an object");
      TopDoc = Wrong<std::shared_ptr<THtmlDocument>>("topDocument", "an object");
    } else if (TopV.isObject()) {
      TopDoc = TDocPart::Of(Document(TopV.toObject(), "topDocument", TDocPart::Of(nullptr)));
      auto TopWin = std::shared_ptr<THtmlWindow>(new THtmlWindow);
      TopWin->FSelf = TopWin;
      TopWin->FTop = TWinPart::Of(nullptr);
      TopWin->FDocument = TopDoc;
      TopWin->FBrowser = Browser;
      Win->FTop = TWinPart::Of(TopWin);
    }

    const QJsonValue DocV = Root.value("document");
    if (DocV.isUndefined())
      Win->FDocument = Missing<std::shared_ptr<THtmlDocument>>("document");
    else if (!DocV.isObject())
      Win->FDocument = Wrong<std::shared_ptr<THtmlDocument>>("document", "an object");
    else
      Win->FDocument = TDocPart::Of(Document(DocV.toObject(), "document", TopDoc));

    S.FElement = ElementUnderMouse(Root.value("element"), *Win);
    S.FCachedFiles = std::make_shared<const TSnapPart<std::vector<TCachedFile>>>(CachedFiles(Root.value("cache")));
    return S;
  }

 private:
  static std::string Sub(const std::string &Path, const char *Key) { return Path + "." + Key; }

  static TSnapPart<std::string> Text(const QJsonObject &O, const std::string &Path, const char *Key, bool NumberAsText = false) {
    const QJsonValue V = O.value(Key);
    if (V.isUndefined()) return Missing<std::string>(Sub(Path, Key));
    if (V.isString()) return TSnapPart<std::string>::Of(V.toString().toStdString());
    // Sizes are texts in the browser's objects; a hand-written number is meant the same.
    int64_t N = 0;
    if (NumberAsText && AsWhole(V, -(INT64_C(1) << 53), INT64_C(1) << 53, N))
      return TSnapPart<std::string>::Of(std::to_string(N));
    return Wrong<std::string>(Sub(Path, Key), "a string");
  }

  static TSnapPart<int32_t> Pixels(const QJsonObject &O, const std::string &Path, const char *Key) {
    const QJsonValue V = O.value(Key);
    if (V.isUndefined()) return Missing<int32_t>(Sub(Path, Key));
    int64_t N = 0;
    if (!AsWhole(V, 0, INT32_MAX, N)) return Wrong<int32_t>(Sub(Path, Key), "a whole number from 0 to 2147483647");
    return TSnapPart<int32_t>::Of(static_cast<int32_t>(N));
  }

  static TSnapPart<std::string> Base64(const QJsonValue &V, const std::string &Path) {
    if (!V.isString()) return Wrong<std::string>(Path, "a string");
    // Characters outside Latin-1 become "?", which the strict decoding refuses.
    const auto R = QByteArray::fromBase64Encoding(V.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!R) return Wrong<std::string>(Path, "base64");
    return TSnapPart<std::string>::Of(std::string(R.decoded.constData(), static_cast<size_t>(R.decoded.size())));
  }

  static TSnapPart<std::shared_ptr<TFlashMovie>> Flash(const QJsonObject &O, const std::string &Path) {
    const QJsonValue V = O.value("flash");
    if (Absent(V)) return TSnapPart<std::shared_ptr<TFlashMovie>>::Of(nullptr);
    if (!V.isBool()) return Wrong<std::shared_ptr<TFlashMovie>>(Sub(Path, "flash"), "true or false");
    if (!V.toBool()) return TSnapPart<std::shared_ptr<TFlashMovie>>::Of(nullptr);
    auto M = std::shared_ptr<TFlashMovie>(new TFlashMovie);
    M->FMovie = Text(O, Path, "movie");
    return TSnapPart<std::shared_ptr<TFlashMovie>>::Of(M);
  }

  // DefaultTag names the tag that the element's place implies (an entry of
  // the images list is an IMG); nullptr where nothing is implied.
  static std::shared_ptr<THtmlElement> Element(const QJsonObject &O, const std::string &Path, const char *DefaultTag) {
    TSnapPart<std::string> Tag = Text(O, Path, "tagName");
    if (Tag.Ok())
      Tag = TSnapPart<std::string>::Of(Upper(Tag.Get()));
    else if (DefaultTag && !O.contains("tagName"))
      Tag = TSnapPart<std::string>::Of(DefaultTag);
    const std::string T = Tag.Ok() ? Tag.Get() : std::string();

    std::shared_ptr<THtmlElement> E;
    if (T == "IMG") {
      auto I = std::shared_ptr<THtmlImgElement>(new THtmlImgElement);
      I->FSrc = Text(O, Path, "src");
      I->FWidth = Pixels(O, Path, "width");
      I->FHeight = Pixels(O, Path, "height");
      I->FMimeType = Text(O, Path, "mimeType");
      I->FFileSize = Text(O, Path, "fileSize", true);
      I->FCurrentSrc = Text(O, Path, "currentSrc");
      I->FNaturalWidth = Pixels(O, Path, "naturalWidth");
      I->FNaturalHeight = Pixels(O, Path, "naturalHeight");
      I->FSrcset = Text(O, Path, "srcset");
      I->FLink = Text(O, Path, "link");
      I->FData = DataAttrs(O.value("data"), Sub(Path, "data"));
      I->FSources = Sources(O.value("sources"), Sub(Path, "sources"));
      E = I;
    } else if (T == "OBJECT" || T == "EMBED") {
      std::shared_ptr<THtmlPluginElement> P;
      if (T == "OBJECT")
        P.reset(new THtmlObjectElement);
      else
        P.reset(new THtmlEmbedElement);
      P->FWidth = Text(O, Path, "width", true);
      P->FHeight = Text(O, Path, "height", true);
      E = P;
    } else if (T == "VIDEO" || T == "AUDIO") {
      E = MediaElement(O, Path);
    } else {
      E.reset(new THtmlElement);
    }
    E->FTagName = Tag;
    E->FOuterHtml = Text(O, Path, "outerHtml");
    E->FOuterText = Text(O, Path, "outerText");
    E->FFlash = Flash(O, Path);
    return E;
  }

  // VIDEO and AUDIO: their addresses, poster and rendered size.
  static std::shared_ptr<THtmlElement> MediaElement(const QJsonObject &O, const std::string &Path) {
    auto M = std::shared_ptr<THtmlMediaElement>(new THtmlMediaElement);
    // An element without a source of its own is common: its children name it.
    M->FSrc = Absent(O.value("src")) ? TSnapPart<std::string>::Of("") : Text(O, Path, "src");
    M->FPoster = Absent(O.value("poster")) ? TSnapPart<std::string>::Of("") : Text(O, Path, "poster");
    M->FWidth = Pixels(O, Path, "width");
    M->FHeight = Pixels(O, Path, "height");
    M->FSources = MediaSources(O.value("sources"), Sub(Path, "sources"));
    return M;
  }

  static TSnapPart<std::vector<TMediaSource>> MediaSources(const QJsonValue &V, const std::string &Path) {
    using TPart = TSnapPart<std::vector<TMediaSource>>;
    if (Absent(V)) return TPart::Of({});
    if (!V.isArray()) return Wrong<std::vector<TMediaSource>>(Path, "a list");
    const QJsonArray A = V.toArray();
    if (A.size() > TPageSnapshot::MaxMediaSources)
      return TPart::Fault(Format("Page snapshot lists %d entries in %s, more than %d",
                                 {static_cast<long long>(A.size()), Quoted(Path), TPageSnapshot::MaxMediaSources}));
    std::vector<TMediaSource> Out;
    for (qsizetype I = 0; I < A.size(); ++I) {
      const std::string P = Format("%s[%d]", {Path, static_cast<long long>(I)});
      if (!A.at(I).isObject()) return Wrong<std::vector<TMediaSource>>(P, "an object");
      const QJsonObject S = A.at(I).toObject();
      TSnapPart<std::string> Src = Text(S, P, "src");
      TSnapPart<std::string> Type = Absent(S.value("type")) ? TSnapPart<std::string>::Of("") : Text(S, P, "type");
      if (!Src.Ok()) return TPart::Fault(FaultText(Src));
      if (!Type.Ok()) return TPart::Fault(FaultText(Type));
      Out.push_back({Src.Get(), Type.Get()});
    }
    return TPart::Of(std::move(Out));
  }

  // Why a part cannot be read.
  static std::string FaultText(const TSnapPart<std::string> &P) {
    try {
      P.Get();
    } catch (const std::exception &E) {
      return E.what();
    }
    return {};
  }

  using TDataList = std::vector<std::pair<std::string, std::string>>;

  // An object of texts: the data- attributes of an element.
  static TSnapPart<TDataList> DataAttrs(const QJsonValue &V, const std::string &Path) {
    if (V.isUndefined()) return Missing<TDataList>(Path);
    if (!V.isObject()) return Wrong<TDataList>(Path, "an object");
    const QJsonObject O = V.toObject();
    TDataList L;
    for (auto It = O.begin(); It != O.end(); ++It) {
      if (!It.value().isString()) return Wrong<TDataList>(Path + "." + It.key().toStdString(), "a string");
      L.emplace_back(Lower(It.key().toStdString()), It.value().toString().toStdString());
    }
    return TSnapPart<TDataList>::Of(std::move(L));
  }

  static TSnapPart<std::vector<TImgSource>> Sources(const QJsonValue &V, const std::string &Path) {
    using TPart = TSnapPart<std::vector<TImgSource>>;
    if (V.isUndefined()) return Missing<std::vector<TImgSource>>(Path);
    if (!V.isArray()) return Wrong<std::vector<TImgSource>>(Path, "a list");
    const QJsonArray A = V.toArray();
    // A <picture> holds a handful of sources; more is no page's.
    if (A.size() > MaxSources) return Wrong<std::vector<TImgSource>>(Path, "a list of at most 64 entries");
    std::vector<TImgSource> L;
    for (qsizetype I = 0; I < A.size(); ++I) {
      const std::string P = Format("%s[%d]", {Path, static_cast<long long>(I)});
      if (!A.at(I).isObject()) return Wrong<std::vector<TImgSource>>(P, "an object");
      const QJsonObject O = A.at(I).toObject();
      TImgSource S;
      const QJsonValue Sup = O.value("supported");
      if (!Absent(Sup) && !Sup.isBool()) return Wrong<std::vector<TImgSource>>(Sub(P, "supported"), "true or false");
      if (Sup.isBool()) S.Supported = Sup.toBool();
      for (auto [Key, Field] : {std::pair{"srcset", &S.Srcset}, {"type", &S.Type}, {"media", &S.Media}}) {
        const QJsonValue F = O.value(Key);
        if (Absent(F)) continue;
        if (!F.isString()) return Wrong<std::vector<TImgSource>>(Sub(P, Key), "a string");
        *Field = F.toString().toStdString();
      }
      if (O.contains("data")) {
        TSnapPart<TDataList> D = DataAttrs(O.value("data"), Sub(P, "data"));
        if (!D.Ok()) return TPart::Fault(Format("Page snapshot: %s is not an object of strings", {Quoted(Sub(P, "data"))}));
        S.Data = D.Get();
      }
      L.push_back(std::move(S));
    }
    return TPart::Of(std::move(L));
  }

  static TSnapPart<std::vector<TSnapPart<TCssBackground>>> Backgrounds(const QJsonObject &Doc, const std::string &DocPath) {
    using TList = std::vector<TSnapPart<TCssBackground>>;
    const std::string Path = Sub(DocPath, "backgrounds");
    const QJsonValue V = Doc.value("backgrounds");
    // A producer that collects no backgrounds gives a page without any.
    if (Absent(V)) return TSnapPart<TList>::Of({});
    if (!V.isArray()) return Wrong<TList>(Path, "a list");
    const QJsonArray A = V.toArray();
    if (A.size() > TPageSnapshot::MaxBackgrounds)
      throw EMossError(Format("Page snapshot lists %d entries in %s, more than %d",
                              {static_cast<long long>(A.size()), Quoted(Path), TPageSnapshot::MaxBackgrounds}));
    TList L;
    L.reserve(static_cast<size_t>(A.size()));
    for (qsizetype I = 0; I < A.size(); ++I) {
      const std::string P = Format("%s[%d]", {Path, static_cast<long long>(I)});
      if (!A.at(I).isObject()) {
        L.push_back(Wrong<TCssBackground>(P, "an object"));
        continue;
      }
      const QJsonObject O = A.at(I).toObject();
      const TSnapPart<std::string> Tag = Text(O, P, "tagName"), Image = Text(O, P, "image");
      const TSnapPart<int32_t> W = Pixels(O, P, "width"), H = Pixels(O, P, "height");
      try {
        L.push_back(TSnapPart<TCssBackground>::Of({Upper(Tag.Get()), Image.Get(), W.Get(), H.Get()}));
      } catch (const EMossError &E) {
        L.push_back(TSnapPart<TCssBackground>::Fault(E.what()));
      }
    }
    return TSnapPart<TList>::Of(std::move(L));
  }

  static TElemPart ElementPart(const QJsonValue &V, const std::string &Path, const char *DefaultTag) {
    if (V.isUndefined()) return Missing<std::shared_ptr<THtmlElement>>(Path);
    if (!V.isObject()) return Wrong<std::shared_ptr<THtmlElement>>(Path, "an object");
    return TElemPart::Of(Element(V.toObject(), Path, DefaultTag));
  }

  static TSnapPart<THtmlElementCollection> Collection(const QJsonObject &Doc, const std::string &DocPath, const char *Key,
                                                      const char *Tag, int32_t Max) {
    const std::string Path = Sub(DocPath, Key);
    const QJsonValue V = Doc.value(Key);
    if (V.isUndefined()) return Missing<THtmlElementCollection>(Path);
    if (!V.isArray()) return Wrong<THtmlElementCollection>(Path, "a list");
    const QJsonArray A = V.toArray();
    // Too long a list is no page a browser shows; refuse it before building it.
    if (A.size() > Max)
      throw EMossError(
          Format("Page snapshot lists %d entries in %s, more than %d", {static_cast<long long>(A.size()), Quoted(Path), Max}));
    THtmlElementCollection C;
    C.FPath = Path;
    C.FItems.reserve(static_cast<size_t>(A.size()));
    for (qsizetype I = 0; I < A.size(); ++I)
      C.FItems.push_back(ElementPart(A.at(I), Format("%s[%d]", {Path, static_cast<long long>(I)}), Tag));
    return TSnapPart<THtmlElementCollection>::Of(std::move(C));
  }

  // Snapshots made before VIDEO and AUDIO were collected have no "media":
  // such a page shows none.
  static TSnapPart<THtmlElementCollection> MediaCollection(const QJsonObject &Doc, const std::string &DocPath) {
    if (Absent(Doc.value("media"))) {
      THtmlElementCollection C;
      C.FPath = Sub(DocPath, "media");
      return TSnapPart<THtmlElementCollection>::Of(std::move(C));
    }
    return Collection(Doc, DocPath, "media", nullptr, TPageSnapshot::MaxMedia);
  }

  static TSnapPart<THtmlTxtRange> Range(const QJsonObject &Doc, const std::string &DocPath) {
    const std::string Path = Sub(DocPath, "selection");
    const QJsonValue V = Doc.value("selection");
    if (V.isUndefined()) return Missing<THtmlTxtRange>(Path);
    if (!V.isObject()) return Wrong<THtmlTxtRange>(Path, "an object");
    THtmlTxtRange R;
    R.FText = Text(V.toObject(), Path, "text");
    R.FHtmlText = Text(V.toObject(), Path, "html");
    return TSnapPart<THtmlTxtRange>::Of(std::move(R));
  }

  static TSnapPart<std::string> Source(const QJsonObject &Doc, const std::string &DocPath) {
    const bool HasText = Doc.contains("source"), HasBytes = Doc.contains("sourceBase64");
    if (HasText && HasBytes)
      return TSnapPart<std::string>::Fault("Page snapshot gives both " + Quoted(Sub(DocPath, "source")) + " and " +
                                           Quoted(Sub(DocPath, "sourceBase64")));
    if (HasBytes) return Base64(Doc.value("sourceBase64"), Sub(DocPath, "sourceBase64"));
    return Text(Doc, DocPath, "source");
  }

  static std::shared_ptr<THtmlDocument> Document(const QJsonObject &O, const std::string &Path, TDocPart TopDocument) {
    auto D = std::shared_ptr<THtmlDocument>(new THtmlDocument);
    D->FSelf = D;
    D->FTopDocument = std::move(TopDocument);
    D->FUrl = Text(O, Path, "url");
    D->FTitle = Text(O, Path, "title");
    D->FFileSize = Text(O, Path, "fileSize", true);
    // Most pages have no <base>; its absence is a fact, not a gap.
    D->FBaseHref = Absent(O.value("baseHref")) ? TSnapPart<std::string>::Of("") : Text(O, Path, "baseHref");
    D->FSelection = Range(O, Path);
    D->FBody = ElementPart(O.value("body"), Sub(Path, "body"), "BODY");
    D->FDocumentElement = ElementPart(O.value("documentElement"), Sub(Path, "documentElement"), "HTML");
    D->FSource = Source(O, Path);
    D->FImages = Collection(O, Path, "images", "IMG", TPageSnapshot::MaxImages);
    D->FObjects = Collection(O, Path, "objects", "OBJECT", TPageSnapshot::MaxPlugins);
    D->FEmbeds = Collection(O, Path, "embeds", "EMBED", TPageSnapshot::MaxPlugins);
    D->FMedia = MediaCollection(O, Path);
    D->FBackgrounds = Backgrounds(O, Path);
    return D;
  }

  // An index names that entry of the document's images, so that the element
  // and the collection's item are one object, as in the browser.
  static TElemPart ElementUnderMouse(const QJsonValue &V, const THtmlWindow &Win) {
    if (Absent(V)) return TElemPart::Of(nullptr);
    if (V.isObject()) return TElemPart::Of(Element(V.toObject(), "element", nullptr));
    int64_t N = 0;
    if (!AsWhole(V, 0, INT32_MAX, N)) return Wrong<std::shared_ptr<THtmlElement>>("element", "an index or an object");
    try {
      return TElemPart::Of(Win.Document()->Images().Item(static_cast<int32_t>(N)));
    } catch (const EMossError &E) {
      return TElemPart::Fault(E.what());
    }
  }

  static TSnapPart<std::string> UserAgent(const QJsonValue &V) {
    if (Absent(V)) return TSnapPart<std::string>::Of("");
    if (!V.isString()) return Wrong<std::string>("userAgent", "a string");
    return TSnapPart<std::string>::Of(V.toString().toStdString());
  }

  // The browser's cookie records ("chrome.cookies" objects): name, value,
  // domain, path, hostOnly, secure, httpOnly, session, expirationDate.
  static TSnapPart<std::vector<TSnapCookie>> Cookies(const QJsonValue &V) {
    using TPart = TSnapPart<std::vector<TSnapCookie>>;
    if (Absent(V)) return TPart::Of({});
    if (!V.isArray()) return Wrong<std::vector<TSnapCookie>>("cookies", "a list");
    const QJsonArray A = V.toArray();
    if (A.size() > TPageSnapshot::MaxCookies)
      throw EMossError(Format("Page snapshot lists %d entries in \"cookies\", more than %d",
                              {static_cast<long long>(A.size()), TPageSnapshot::MaxCookies}));
    std::vector<TSnapCookie> Out;
    for (const QJsonValue &E : A) {
      if (!E.isObject()) continue;
      const QJsonObject O = E.toObject();
      const QJsonValue Name = O.value("name"), Value = O.value("value"), Domain = O.value("domain"), Path = O.value("path");
      if (!Name.isString() || !Value.isString() || !Domain.isString() || (!Absent(Path) && !Path.isString())) continue;
      TSnapCookie C;
      C.Name = Name.toString().toStdString();
      C.Value = Value.toString().toStdString();
      C.Domain = Domain.toString().toStdString();
      if (C.Name.size() + C.Value.size() > TPageSnapshot::MaxCookieBytes || C.Domain.empty()) continue;
      if (Path.isString()) C.Path = Path.toString().toStdString();
      // A domain cookie is written with a leading dot where hostOnly is not told.
      const QJsonValue HostOnly = O.value("hostOnly");
      C.HostOnly = HostOnly.isBool() ? HostOnly.toBool() : C.Domain[0] != '.';
      C.Secure = O.value("secure").toBool(false);
      C.HttpOnly = O.value("httpOnly").toBool(false);
      const QJsonValue Exp = O.value("expirationDate");
      if (!O.value("session").toBool(false) && Exp.isDouble() && Exp.toDouble() > 0) C.ExpirationDate = Exp.toDouble();
      Out.push_back(std::move(C));
    }
    return TPart::Of(std::move(Out));
  }

  static TSnapPart<std::vector<TCachedFile>> CachedFiles(const QJsonValue &V) {
    using TPart = TSnapPart<std::vector<TCachedFile>>;
    if (Absent(V)) return TPart::Of({});
    if (!V.isArray()) return Wrong<std::vector<TCachedFile>>("cache", "a list");
    const QJsonArray A = V.toArray();
    if (A.size() > TPageSnapshot::MaxCachedFiles)
      throw EMossError(Format("Page snapshot lists %d entries in \"cache\", more than %d",
                              {static_cast<long long>(A.size()), TPageSnapshot::MaxCachedFiles}));
    std::vector<TCachedFile> Files;
    Files.reserve(static_cast<size_t>(A.size()));
    for (qsizetype I = 0; I < A.size(); ++I) {
      const std::string Path = Format("cache[%d]", {static_cast<long long>(I)});
      TCachedFile F;
      if (!A.at(I).isObject()) {
        F.FUrl = F.FBytes = Wrong<std::string>(Path, "an object");
      } else {
        const QJsonObject O = A.at(I).toObject();
        F.FUrl = Text(O, Path, "url");
        F.FBytes =
            O.contains("base64") ? Base64(O.value("base64"), Sub(Path, "base64")) : Missing<std::string>(Sub(Path, "base64"));
      }
      Files.push_back(std::move(F));
    }
    return TPart::Of(std::move(Files));
  }
};

std::shared_ptr<THtmlElement> THtmlElementCollection::Item(int32_t Index) const {
  if (Index < 0 || Index >= Length())
    throw EMossError(Format("Page snapshot: %s has no item %d (it has %d)", {Quoted(FPath), Index, Length()}));
  return FItems[static_cast<size_t>(Index)].Get();
}

std::string THtmlDocument::AnchorHref(const std::string &Ref) const {
  const std::string &Base = BaseHref();
  return Url_Resolve(Base.empty() ? Url() : Url_Resolve(Url(), Base), Ref);
}

std::vector<std::shared_ptr<THtmlDocument>> THtmlDocument::ShellWindows() const {
  std::shared_ptr<THtmlDocument> Top = FTopDocument.Get();
  return {Top ? Top : FSelf.lock()};
}

std::shared_ptr<THtmlWindow> THtmlWindow::Top() const {
  std::shared_ptr<THtmlWindow> T = FTop.Get();
  return T ? T : FSelf.lock();
}

TPageSnapshot TPageSnapshot::Parse(const std::string &Json) {
  if (Json.size() > MaxBytes) throw EMossError(Format("Page snapshot is too big: %u bytes, at most %u", {Json.size(), MaxBytes}));
  QJsonParseError Err;
  // No copy of up to 64 MiB: the parser reads the caller's bytes in place.
  const QJsonDocument Doc =
      QJsonDocument::fromJson(QByteArray::fromRawData(Json.data(), static_cast<qsizetype>(Json.size())), &Err);
  if (Err.error != QJsonParseError::NoError)
    throw EMossError(Format("Page snapshot is not valid JSON: %s at byte %d", {Err.errorString().toStdString(), Err.offset}));
  if (!Doc.isObject()) throw EMossError("Page snapshot is not a JSON object");
  return FromJson(Doc.object());
}

TPageSnapshot TPageSnapshot::FromJson(const QJsonObject &Root) {
  const QJsonValue V = Root.value("version");
  if (V.isUndefined()) throw EMossError("Page snapshot has no \"version\"");
  if (!V.isDouble()) throw EMossError("Page snapshot: \"version\" is not a number");
  if (V.toDouble() != 1)
    throw EMossError(Format("Page snapshot version %g is not supported; this program reads version 1", {V.toDouble()}));
  return TSnapshotParser::Snapshot(Root);
}

TPageSnapshot TPageSnapshot::ParseFile(const std::string &Path) {
  std::ifstream F(Path, std::ios::binary);
  if (!F) throw EMossError("Cannot open the page snapshot " + Path);
  // Stop one piece past the limit, so that a bigger file (or an endless
  // pipe) is refused by Parse without being read whole.
  std::string Json;
  char Piece[1 << 16];
  while (Json.size() <= MaxBytes && F.read(Piece, sizeof Piece).gcount() > 0) Json.append(Piece, static_cast<size_t>(F.gcount()));
  if (F.bad()) throw EMossError("Cannot read the page snapshot " + Path);
  return Parse(Json);
}
