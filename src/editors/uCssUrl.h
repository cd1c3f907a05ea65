#pragma once
// The picture addresses of CSS text: the url() references of a style
// attribute, a <style> block or a computed background-image value, with
// where each stands, so that a caller can read them or put others in their
// place. image-set() groups its candidates, each with its density.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct TCssUrl {
  std::string Url;     // the address, CSS escapes undone, blanks around it dropped
  size_t Start = 0;    // the reference in the text, from "url(" up to and including ")"
  size_t Len = 0;      // (for a bare string inside image-set(), the string with its quotes)
  double Density = 1;  // inside image-set(): its "x" (or dppx) value
  int Group = -1;      // inside an image-set(): the number of that image-set, from 0
};

// Every url() of Css in text order. Comments are skipped; a reference that
// is never closed ends the scan. Bare strings count as addresses only inside
// image-set().
std::vector<TCssUrl> Css_Urls(std::string_view Css);

// An address written as a quoted CSS url() value: url("...") with the
// characters that would end it escaped.
std::string Css_UrlRef(const std::string &Url, char Quote = '"');
