#pragma once
// The saved page's other picture links. Once the src of each picture tag
// points at the folder beside the page (Html_ChgImgLink), this points the
// rest there too: the srcset of pictures and of <picture> sources, the
// attributes in which lazy-loading scripts keep real addresses, and the
// background pictures of style attributes and <style> blocks. A picture a
// lazy-loading script would have filled in gets its local address in src
// (and its srcset), as the script would have done, so that the page shows
// it without the script.
//
// Like the other HTML functions it reads the page's text with a few fixed
// rules and no parser; what it cannot read is left as it is.
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The key under which two spellings of one address meet: compared as the
// web compares addresses (Url_SameKey), after escaping what a browser
// escapes when it reads an address (blanks, quotes, angle brackets, bytes
// beyond ASCII), so that a style's url(a b.png) meets the a%20b.png the
// browser reports.
std::string Html_PicKey(const std::string &Url);

struct TPicLinks {
  // The absolute address of a reference as the page writes it.
  std::function<std::string(const std::string &)> Resolve;
  // The lines of the pictures by the Html_PicKey of their absolute address.
  std::unordered_map<std::string, int> Lines;
  // The link each line is written as ("page.files/a%20b.png").
  std::vector<std::string> Links;

  // Adds Url for Line unless the address has a line already.
  void Add(const std::string &Url, int Line);
};

// The link to a local picture file from the page beside its folder: the
// folder's name and the file's name, with every character that would end or
// change a link (in src, srcset or CSS) percent-escaped.
std::string Html_PicLink(const std::string &LocalPath);

// Rewrites the links of Html as described above. Used receives the lines
// written, each once, in order of first use. True when Html changed.
bool Html_ChgPicLinks(std::string &Html, const TPicLinks &Links, std::vector<int> &Used);

// The url() addresses of the style attributes and <style> blocks of Html,
// as written (character references and CSS escapes undone), in text order.
std::vector<std::string> Html_StyleUrls(std::string_view Html);
