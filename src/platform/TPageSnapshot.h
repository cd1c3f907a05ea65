#pragma once
// The page snapshot: what the browser extension collected in the page at the
// moment of the right-click (its format is docs/snapshot.md), wrapped in small
// objects with the roles of the browser's document objects, so that the
// editors read a page the way they would read it through a live browser.
//
// A part the snapshot lacks, or carries with the wrong type, throws EMossError
// at the moment it is read, as a failing call into a live page does; so every
// guarded read keeps its failure path. Parse refuses only what is no snapshot
// at all. Every object is immutable once parsed and handed out through
// shared_ptr: any thread may read it, and holding one object keeps everything
// it leads to alive.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pub/uMossError.h"

class QJsonObject;

// One part of a snapshot: its value, or why it cannot be read.
template <class T>
class TSnapPart {
 public:
  static TSnapPart Of(T Value) {
    TSnapPart P;
    P.FValue.emplace(std::move(Value));
    return P;
  }
  static TSnapPart Fault(std::string Msg) {
    TSnapPart P;
    P.FFault = std::move(Msg);
    return P;
  }
  bool Ok() const { return FValue.has_value(); }
  const T &Get() const {
    if (!FValue) throw EMossError(FFault);
    return *FValue;
  }

 private:
  std::optional<T> FValue;
  // A part nobody filled in fails like a missing one instead of reading as empty.
  std::string FFault = "Page snapshot: part not collected";
};

class TSnapshotParser;  // the only maker of the objects below

// The text range of the document's selection.
class THtmlTxtRange {
 public:
  const std::string &Text() const { return FText.Get(); }
  const std::string &HtmlText() const { return FHtmlText.Get(); }

 private:
  friend class TSnapshotParser;
  THtmlTxtRange() = default;
  TSnapPart<std::string> FText, FHtmlText;
};

// The Flash player an OBJECT or EMBED element hosts.
class TFlashMovie {
 public:
  // The movie's address as the page wrote it, not resolved.
  const std::string &Movie() const { return FMovie.Get(); }

 private:
  friend class TSnapshotParser;
  TFlashMovie() = default;
  TSnapPart<std::string> FMovie;
};

// Any element. Its class follows its tag name: IMG elements are
// THtmlImgElement, OBJECT and EMBED THtmlObjectElement and THtmlEmbedElement,
// so asking an element for an interface is a dynamic_pointer_cast.
class THtmlElement {
 public:
  THtmlElement(const THtmlElement &) = delete;
  THtmlElement &operator=(const THtmlElement &) = delete;
  virtual ~THtmlElement() = default;

  // In upper case, as the HTML DOM reports it ("IMG"), whatever the page wrote.
  const std::string &TagName() const { return FTagName.Get(); }
  const std::string &OuterHtml() const { return FOuterHtml.Get(); }
  const std::string &OuterText() const { return FOuterText.Get(); }
  // The Flash player the element hosts; nullptr when it hosts none.
  std::shared_ptr<TFlashMovie> Flash() const { return FFlash.Get(); }

 protected:
  THtmlElement() = default;

 private:
  friend class TSnapshotParser;
  TSnapPart<std::string> FTagName, FOuterHtml, FOuterText;
  TSnapPart<std::shared_ptr<TFlashMovie>> FFlash;
};

// A <source> of the <picture> around a picture element, as the page wrote it.
struct TImgSource {
  std::string Srcset, Type, Media;
  // Whether the browser can show pictures of its type; unknown when unset.
  std::optional<bool> Supported;
  // Its data- attributes (name in lower case, value as written).
  std::vector<std::pair<std::string, std::string>> Data;
};

// An element whose CSS gives it background pictures.
struct TCssBackground {
  std::string TagName;
  std::string Image;              // its computed background-image: url("...") with absolute addresses, gradients, image-set()
  int32_t Width = 0, Height = 0;  // its rendered size
};

class THtmlImgElement final : public THtmlElement {
 public:
  // Absolute, as the browser resolved it.
  const std::string &Src() const { return FSrc.Get(); }
  // The rendered size in pixels.
  int32_t Width() const { return FWidth.Get(); }
  int32_t Height() const { return FHeight.Get(); }
  // "JPEG Image", "GIF Image", "PNG Image", "Bitmap Image"; empty when unknown.
  const std::string &MimeType() const { return FMimeType.Get(); }
  // The size in bytes as text; "-1" when the browser does not know it.
  const std::string &FileSize() const { return FFileSize.Get(); }

  // What newer snapshots add: absent in older ones, so each read may fail.
  // The absolute address the browser is showing (currentSrc).
  const std::string &CurrentSrc() const { return FCurrentSrc.Get(); }
  // The true pixel size of that picture; 0 when it has not loaded.
  int32_t NaturalWidth() const { return FNaturalWidth.Get(); }
  int32_t NaturalHeight() const { return FNaturalHeight.Get(); }
  // The srcset attribute as written; empty when it has none.
  const std::string &Srcset() const { return FSrcset.Get(); }
  // The absolute href of the link around the picture; empty when none.
  const std::string &Link() const { return FLink.Get(); }
  // The data- attributes (name in lower case, value as written).
  const std::vector<std::pair<std::string, std::string>> &Data() const { return FData.Get(); }
  // The <source> elements before it in its <picture>, in order.
  const std::vector<TImgSource> &Sources() const { return FSources.Get(); }

 private:
  friend class TSnapshotParser;
  THtmlImgElement() = default;
  TSnapPart<std::string> FSrc, FMimeType, FFileSize, FCurrentSrc, FSrcset, FLink;
  TSnapPart<int32_t> FWidth, FHeight, FNaturalWidth, FNaturalHeight;
  TSnapPart<std::vector<std::pair<std::string, std::string>>> FData;
  TSnapPart<std::vector<TImgSource>> FSources;
};

// What OBJECT and EMBED share: the size as the page wrote it ("400", "100%").
class THtmlPluginElement : public THtmlElement {
 public:
  const std::string &Width() const { return FWidth.Get(); }
  const std::string &Height() const { return FHeight.Get(); }

 protected:
  THtmlPluginElement() = default;

 private:
  friend class TSnapshotParser;
  TSnapPart<std::string> FWidth, FHeight;
};

// One <source> child of a VIDEO or AUDIO element.
struct TMediaSource {
  std::string Src;   // absolute, as the browser resolved it
  std::string Type;  // the type attribute as written ("video/webm"); may be empty
};

// A VIDEO or AUDIO element of today's pages.
class THtmlMediaElement final : public THtmlElement {
 public:
  // The element's own source, absolute; empty when it has none (its
  // <source> children then say where the movie is).
  const std::string &Src() const { return FSrc.Get(); }
  // The <source> children in document order.
  const std::vector<TMediaSource> &Sources() const { return FSources.Get(); }
  // The poster picture, absolute; empty when it has none (and for AUDIO).
  const std::string &Poster() const { return FPoster.Get(); }
  // The rendered size in pixels.
  int32_t Width() const { return FWidth.Get(); }
  int32_t Height() const { return FHeight.Get(); }

 private:
  friend class TSnapshotParser;
  THtmlMediaElement() = default;
  TSnapPart<std::string> FSrc, FPoster;
  TSnapPart<std::vector<TMediaSource>> FSources;
  TSnapPart<int32_t> FWidth, FHeight;
};

class THtmlObjectElement final : public THtmlPluginElement {
 private:
  friend class TSnapshotParser;
  THtmlObjectElement() = default;
};

class THtmlEmbedElement final : public THtmlPluginElement {
 private:
  friend class TSnapshotParser;
  THtmlEmbedElement() = default;
};

// A list of elements of the document, in document order.
class THtmlElementCollection {
 public:
  int32_t Length() const { return static_cast<int32_t>(FItems.size()); }
  // Throws for an index out of range and for an entry that is no element.
  std::shared_ptr<THtmlElement> Item(int32_t Index) const;

 private:
  friend class TSnapshotParser;
  THtmlElementCollection() = default;
  std::string FPath;  // where the list sits in the snapshot, for messages
  std::vector<TSnapPart<std::shared_ptr<THtmlElement>>> FItems;
};

class THtmlDocument {
 public:
  THtmlDocument(const THtmlDocument &) = delete;
  THtmlDocument &operator=(const THtmlDocument &) = delete;

  const std::string &Url() const { return FUrl.Get(); }
  const std::string &Title() const { return FTitle.Get(); }
  // The size in bytes as text; "-1" when the browser does not know it.
  const std::string &FileSize() const { return FFileSize.Get(); }
  // The href of the document's <base> element as written; empty when it has none.
  const std::string &BaseHref() const { return FBaseHref.Get(); }
  const THtmlTxtRange &Selection() const { return FSelection.Get(); }
  std::shared_ptr<THtmlElement> Body() const { return FBody.Get(); }
  std::shared_ptr<THtmlElement> DocumentElement() const { return FDocumentElement.Get(); }
  // The document's bytes as the browser received them; the browser gives
  // them only when its cache still holds them, so this read may fail.
  const std::string &Source() const { return FSource.Get(); }
  // The IMG elements of this document (not of its frames).
  const THtmlElementCollection &Images() const { return FImages.Get(); }
  const THtmlElementCollection &Objects() const { return FObjects.Get(); }
  const THtmlElementCollection &Embeds() const { return FEmbeds.Get(); }
  // The VIDEO and AUDIO elements in document order; empty for a snapshot
  // made before they were collected.
  const THtmlElementCollection &Media() const { return FMedia.Get(); }
  // The elements with CSS background pictures; empty when the snapshot
  // names none. An entry that cannot be read fails alone.
  const std::vector<TSnapPart<TCssBackground>> &Backgrounds() const { return FBackgrounds.Get(); }

  // The href an anchor written with Ref in this document reports: Ref
  // resolved against the <base> href, itself resolved against the URL.
  std::string AnchorHref(const std::string &Ref) const;

  // The documents of the browser windows this page's browser shows, as far
  // as the snapshot knows them: the top-level document of the page's tab. A
  // page in a frame is therefore not among them unless the tab shows its URL.
  std::vector<std::shared_ptr<THtmlDocument>> ShellWindows() const;

 private:
  friend class TSnapshotParser;
  THtmlDocument() = default;
  std::weak_ptr<THtmlDocument> FSelf;
  // The tab's top-level document; nullptr when this document is it.
  TSnapPart<std::shared_ptr<THtmlDocument>> FTopDocument;
  TSnapPart<std::string> FUrl, FTitle, FFileSize, FBaseHref, FSource;
  TSnapPart<THtmlTxtRange> FSelection;
  TSnapPart<std::shared_ptr<THtmlElement>> FBody, FDocumentElement;
  TSnapPart<THtmlElementCollection> FImages, FObjects, FEmbeds, FMedia;
  TSnapPart<std::vector<TSnapPart<TCssBackground>>> FBackgrounds;
};

// A cookie the browser holds for the page or for one of its pictures or
// movies, as its cookie store lists it.
struct TSnapCookie {
  std::string Name, Value, Domain, Path = "/";
  bool HostOnly = true, Secure = false, HttpOnly = false;
  double ExpirationDate = 0;  // seconds since 1970; 0 for a cookie of the browser's session
};

// What the browser tells of itself: its User-Agent and its cookies.
struct TSnapBrowser {
  TSnapPart<std::string> UserAgent;
  TSnapPart<std::vector<TSnapCookie>> Cookies;
};

class THtmlWindow {
 public:
  THtmlWindow(const THtmlWindow &) = delete;
  THtmlWindow &operator=(const THtmlWindow &) = delete;

  std::shared_ptr<THtmlDocument> Document() const { return FDocument.Get(); }
  // The tab's top-level window; the window itself when it is no frame.
  std::shared_ptr<THtmlWindow> Top() const;
  // The browser's User-Agent (navigator.userAgent); empty when the
  // snapshot does not tell it (an older extension).
  const std::string &UserAgent() const { return FBrowser->UserAgent.Get(); }
  // The cookies the browser holds for the page and its pictures and
  // movies; none when the snapshot carries none. An entry that is no
  // usable cookie is left out.
  const std::vector<TSnapCookie> &Cookies() const { return FBrowser->Cookies.Get(); }

 private:
  friend class TSnapshotParser;
  THtmlWindow() = default;
  std::weak_ptr<THtmlWindow> FSelf;
  TSnapPart<std::shared_ptr<THtmlWindow>> FTop;  // nullptr: this window is the top
  TSnapPart<std::shared_ptr<THtmlDocument>> FDocument;
  std::shared_ptr<const TSnapBrowser> FBrowser;  // shared by a frame and its top
};

// Bytes of a URL the browser already held (same-origin pictures), so that
// they need not be downloaded again, nor can fail to be behind a login.
class TCachedFile {
 public:
  const std::string &Url() const { return FUrl.Get(); }
  const std::string &Bytes() const { return FBytes.Get(); }

 private:
  friend class TSnapshotParser;
  TCachedFile() = default;
  TSnapPart<std::string> FUrl, FBytes;
};

class TPageSnapshot {
 public:
  // The browser passes at most 64 MiB in one native message.
  static constexpr size_t MaxBytes = size_t{64} << 20;
  static constexpr int32_t MaxImages = 100000;
  static constexpr int32_t MaxPlugins = 10000;     // OBJECT or EMBED elements of one document
  static constexpr int32_t MaxMedia = 10000;       // VIDEO and AUDIO elements of one document
  static constexpr int32_t MaxMediaSources = 100;  // <source> children of one of them
  static constexpr int32_t MaxCachedFiles = 10000;
  static constexpr int32_t MaxBackgrounds = 10000;
  static constexpr int32_t MaxCookies = 10000;
  // A cookie's name and value together; browsers keep no larger ones.
  static constexpr size_t MaxCookieBytes = 4096;

  // Throws EMossError when Json is no snapshot: too big, not JSON, not a
  // JSON object, no version 1, or a list longer than its limit.
  static TPageSnapshot Parse(const std::string &Json);
  // The same for JSON already parsed (a request that carries a snapshot);
  // the caller has bounded its size.
  static TPageSnapshot FromJson(const QJsonObject &Root);
  // Reads at most MaxBytes + 1 bytes of the file, then parses them.
  static TPageSnapshot ParseFile(const std::string &Path);

  // The window of the frame where the menu was opened.
  std::shared_ptr<THtmlWindow> Window() const { return FWindow; }
  // The element under the mouse; nullptr when the snapshot names none.
  // Throws when it names one that cannot be read.
  std::shared_ptr<THtmlElement> Element() const { return FElement.Get(); }
  // Throws when the snapshot's cache list is malformed; empty when it has none.
  const std::vector<TCachedFile> &CachedFiles() const { return FCachedFiles->Get(); }

 private:
  friend class TSnapshotParser;
  TPageSnapshot() = default;
  std::shared_ptr<THtmlWindow> FWindow;
  TSnapPart<std::shared_ptr<THtmlElement>> FElement;
  // Shared, so that copying a snapshot never copies the cached bytes.
  std::shared_ptr<const TSnapPart<std::vector<TCachedFile>>> FCachedFiles;
};
