#pragma once
// The HTML text functions of the text editor: finding characters outside
// quoted attribute values, telling whether a text holds a picture tag,
// reading the src value of one element's HTML, cutting out script blocks and
// pointing every known picture tag at the folder saved beside the page.
//
// There is no HTML parser behind them on purpose: they work on the bytes the
// browser handed over (UTF-8, positions in bytes from 0) with a few fixed
// rules, and a page that breaks those rules is left as it is rather than
// "repaired". None of them touches the user interface.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// First position from First to Last (both inclusive) holding Ch. With
// SkipQuoted, characters inside a single- or double-quoted part do not count;
// the closing quote itself is outside again. Last may be the text's length
// (or anything larger): the scan stops at the text's end. False when the range
// holds no Ch or when Last is below First.
bool SearchChar(std::string_view Text, char Ch, bool SkipQuoted, std::size_t &Found, std::size_t Last, std::size_t First = 0);

// A single or a double quote.
bool IsQuote(char C);

// The text holds "<img" in any letter case followed by HTML white space
// (blank, tab, line feed, carriage return, form feed), as a picture tag
// starts.
bool Html_HasImg(const std::string &Text);

// The src value of one element's outer HTML, as written (quotes removed).
// Only a lower-case "src=" right after a blank counts. False when there is
// none.
bool Html_GetSrc(const std::string &Html, std::string &Raw);

// <A href="Url">Text</A>
std::string Html_MkLink(const std::string &Url, const std::string &Text);

// Cuts every block from StartTag up to and including the next EndTag out of
// S, with ASCII letter case ignored after the first character; a block
// without an end tag runs to the end. Blocks do not nest. False (and S
// unchanged) when a tag is empty or the work fails.
bool Clear_Sub_Str(std::string &S, const std::string &StartTag, const std::string &EndTag);

// Rewrites the first src of every picture tag (as Html_HasImg finds them)
// whose value is the same address as a line of RawSrcs (Url_Same: scheme
// and host in any letter case, the rest exactly) to "<folder>/<file name>",
// folder and file name taken from LocalPaths (the line of the same
// position, and the folder of its first line); characters that would change
// the link are percent-escaped.
// RawSrcs and LocalPaths are parallel lists; a src line beyond LocalPaths is
// never rewritten.
//
// IndexList: a first entry of 1 on entry asks for snippet mode; IndexList then
// comes back as the positions of the pictures whose tags were rewritten, each
// once, in order of first appearance. A line that only spells a picture's src
// another way (same local path as an earlier line) is listed as that earlier
// line. Otherwise IndexList is not touched.
//
// ImageCount is the number of pictures of the page; more than ImageCount + 29
// rewritten tags make the call fail. True when Html was processed (it may come
// back unchanged); false when LocalPaths or Html is empty or the work failed,
// with Html and IndexList unchanged.
bool Html_ChgImgLink(std::string &Html, int ImageCount, const std::vector<std::string> &RawSrcs,
                     const std::vector<std::string> &LocalPaths, std::vector<int> &IndexList);

// The page for the preview: a copy that resolves its relative links against
// Url, as the page did in the browser (the preview is shown from a scratch
// file). A page with a <base> of its own is left as it is.
std::string Html_PreviewBase(const std::string &Html, const std::string &Url);
