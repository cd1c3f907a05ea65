#pragma once
// Which address stands for a picture of the page: the largest form of it
// the page offers. A picture element may offer more than its src: the
// candidates of its srcset and of the <source> elements of its <picture>,
// the real address a lazy-loading script keeps in a data- attribute while
// src holds a placeholder, the full-size picture its enclosing link leads
// to, and the address the browser is showing (currentSrc). Elements with
// CSS background pictures are pictures too. Everything here is a plain
// decision on facts, made without a display, so the picture list, the saved
// page and the benchmark all take it from one place.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class THtmlDocument;
class THtmlImgElement;

// One address an element offers, with what the markup says of its size.
struct TImgCand {
  std::string Url;
  double W = 0;      // width descriptor ("1600w"); 0: none
  double X = 0;      // density descriptor ("2x"); 0: none, which means 1x
  size_t Start = 0;  // where the address stands in the value it was read from
};

// A srcset value read as browsers read it: the candidates in order, each
// address as written. A candidate with a descriptor that does not read
// (two widths, "0w", "-1x", a height alone) is left out.
std::vector<TImgCand> Img_ParseSrcset(std::string_view Srcset);

// The attributes in which lazy-loading scripts keep a picture's real
// address. Srcset: the value is a srcset. FullSize: the value names the
// full-size picture (a zoom or a light box shows it), not the one the
// script puts into src.
struct TLazyAttr {
  const char *Name;
  bool Srcset;
  bool FullSize;
};
inline constexpr std::array<TLazyAttr, 17> LazyAttrs = {{
    {"data-src", false, false},
    {"data-original", false, false},
    {"data-lazy-src", false, false},
    {"data-lazy", false, false},
    {"data-url", false, false},
    {"data-echo", false, false},
    {"data-original-src", false, false},
    {"data-srcset", true, false},
    {"data-lazy-srcset", true, false},
    {"data-original-set", true, false},
    {"data-full", false, true},
    {"data-full-src", false, true},
    {"data-hi-res", false, true},
    {"data-hires", false, true},
    {"data-large-file", false, true},
    {"data-orig-file", false, true},
    {"data-zoom-src", false, true},
}};
// The entry of an attribute name (letter case ignored); nullptr when the
// name is no lazy attribute.
const TLazyAttr *Img_LazyAttr(std::string_view Name);

// An address as a browser writes it once it has read it: blanks, quotes,
// angle brackets and bytes beyond ASCII escaped (a%20b.png, fj%C3%B8rd.jpg).
std::string Img_BrowserUrl(const std::string &Url);

// An address that can be fetched: not empty, and not a data:, blob:,
// about: or javascript: address, which only stand in for a picture.
bool Img_IsRealUrl(std::string_view Url);

// A <source> of the <picture> around a picture element.
struct TImgSourceFacts {
  std::string Type;
  bool Supported = true;  // the browser can show pictures of its type
  std::vector<TImgCand> Cands;
};

// What the page says of one picture element; every address absolute.
struct TImgFacts {
  std::string Src, CurrentSrc;
  std::string Link;                             // the href of the enclosing link; empty when there is none
  int32_t Width = 0, Height = 0;                // rendered
  int32_t NaturalWidth = 0, NaturalHeight = 0;  // of CurrentSrc; 0 when not known
  std::vector<TImgCand> Srcset;
  std::vector<TImgSourceFacts> Sources;
  std::vector<TImgCand> Lazy;      // every lazy attribute's addresses, in the order of LazyAttrs
  std::vector<bool> LazyFullSize;  // parallel to Lazy: from a FullSize attribute
};

enum TImgForm : uint8_t { ifLink, ifResponsive, ifLazy, ifCurrent, ifSrc, ifBackground };

struct TImgChoice {
  std::string Url;
  int32_t Width = 0, Height = 0;
  bool TrueSize = false;  // the picture's own size, not only the space it fills on the page
  TImgForm From = ifSrc;
  std::string Type;  // the type its <source> names ("image/webp"); empty when none does
};

// The largest real address among, in this order of forms: the linked
// picture (a link whose address names a picture), the srcset and <source>
// candidates of a type the browser can show, the lazy attributes, the
// currentSrc, then src; the first form that offers a real address decides,
// and within it the largest candidate (the first of equal ones). A
// placeholder (a data: address or a one-pixel spacer) is never chosen while
// a real address is offered. An element that offers nothing but its src is
// chosen exactly as before: its src at its rendered size.
//
// The size is the picture's true size when known: from the browser for the
// picture it shows, from a "w" descriptor, or the rendered size times an
// "x" density; otherwise the rendered size.
TImgChoice Img_Choose(const TImgFacts &F);

// Every real address the element offers for showing it (src, currentSrc,
// srcset, the <source> candidates of types the browser can show, the lazy
// attributes), each once, in that order.
std::vector<std::string> Img_Addresses(const TImgFacts &F);

// The facts of a picture element of the snapshot, addresses resolved as the
// document resolves an anchor's and written as the browser writes them. Throws when its src or rendered size cannot
// be read, as before; a newer part that is missing or unreadable (an older
// snapshot has none) counts as absent.
TImgFacts Img_FactsOf(const THtmlImgElement &E, const THtmlDocument &Doc);

// The pictures of an element's computed background-image of rendered size
// W x H: one per url(), and of an image-set() its largest. Gradients and
// placeholders give none.
std::vector<TImgChoice> Img_ChooseBackground(std::string_view Css, int32_t W, int32_t H);

// The pictures of a document as its user sees them: the choice of each
// picture element in document order (Image: its index in Images()), then
// those of the backgrounds (Image -1). Nothing is collapsed here.
struct TPagePicture {
  TImgChoice Choice;
  int32_t Image = -1;
};
std::vector<TPagePicture> Img_PagePictures(const THtmlDocument &Doc);
