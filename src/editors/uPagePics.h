#pragma once
// The pictures a page saved with its pictures needs besides the src of its
// picture elements: every other address a picture element offers (srcset,
// <source> candidates of types the browser can show, lazy-loading
// attributes, the address the browser shows), and the background pictures
// of the page's style attributes and <style> blocks. Without them the page
// opened from disk would show placeholders or nothing where it showed
// pictures online.
#include <string>
#include <vector>

class THtmlDocument;

struct TPagePic {
  std::string Url;   // absolute
  std::string Raw;   // as the page writes it, where it writes it once (a style's url()); else Url
  std::string Type;  // the picture type the page tells ("webp"), empty when it tells none
};

// In document order: the elements' other addresses, then the style
// pictures of Html (the text being saved) that the snapshot lists as
// backgrounds or whose address names a picture. Each address once; the
// element's own src is not among them. An element that cannot be read adds
// nothing; throws when the document's picture list cannot be read.
std::vector<TPagePic> Page_MorePictures(const THtmlDocument &Doc, const std::string &Html);

// The name a picture is saved under in the page's folder: the address's
// last piece made a safe file name ("image" when nothing is left), with the
// extension of its type added when it has none.
std::string Page_PicName(const std::string &Url, const std::string &Type);
