#include "editors/uTxtHtml.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "platform/uUrlRef.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "pub/uFormat.h"
#include "pub/uMossError.h"

namespace {

// Only A to Z are lowered: the tags and src values compared here are ASCII,
// and a UTF-8 byte must never be changed into another one.
inline char LowerA(char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C + 32) : C; }

std::string LowerAscii(std::string_view S) {
  std::string R(S);
  for (char &C : R) C = LowerA(C);
  return R;
}

// Lowered = A at position P of S (A already lowered).
inline bool MatchLowered(std::string_view S, size_t P, std::string_view A) {
  if (S.size() - P < A.size()) return false;
  for (size_t K = 0; K < A.size(); ++K)
    if (LowerA(S[P + K]) != A[K]) return false;
  return true;
}

// White space as HTML knows it between a tag's name and its attributes.
inline bool IsHtmlSpace(char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r' || C == '\f'; }

// "<img" and white space, in any letter case, at the "<" at Lt; nothing
// beyond the text matches.
inline bool IsImgTagAt(std::string_view T, size_t Lt) {
  return Lt + 4 < T.size() && LowerA(T[Lt + 1]) == 'i' && LowerA(T[Lt + 2]) == 'm' && LowerA(T[Lt + 3]) == 'g' &&
         IsHtmlSpace(T[Lt + 4]);
}

// The first white space from From on that is outside quotes (a quote opened
// before From does not count); npos when there is none.
size_t NextSpace(std::string_view T, size_t From) {
  char Open = 0;
  for (size_t I = From; I < T.size(); ++I) {
    const char C = T[I];
    if (Open) {
      if (C == Open) Open = 0;
    } else if (IsQuote(C)) {
      Open = C;
    } else if (IsHtmlSpace(C)) {
      return I;
    }
  }
  return std::string_view::npos;
}

// The same value spelled in the page's HTML and in the lists: an address
// compared as the web compares it.
std::string SrcKey(std::string_view Value) { return Url_SameKey(std::string(Value)); }

inline size_t FindByte(std::string_view T, char C, size_t From) {
  if (From >= T.size()) return std::string_view::npos;
  const void *P = std::memchr(T.data() + From, C, T.size() - From);
  return P ? static_cast<size_t>(static_cast<const char *>(P) - T.data()) : std::string_view::npos;
}

// An attribute value found between ValStart and ValEnd, and where the old
// value ends (what follows is kept when the attribute is replaced).
struct TAttrValue {
  std::string_view Value;
  size_t End;
};

// A quoted value is what lies between its quotes. Dropping the span's first
// and last character instead would keep a quote and eat a "/" whenever the
// closing quote is not followed by a blank (<img src="a.gif"/>).
TAttrValue UnquoteValue(std::string_view Tag, size_t ValStart, size_t ValEnd) {
  if (ValEnd <= ValStart) return {std::string_view(), ValStart};
  std::string_view Span = Tag.substr(ValStart, ValEnd - ValStart);
  if (!IsQuote(Span[0])) return {Span, ValEnd};
  size_t Close = Span.find(Span[0], 1);
  if (Close == std::string_view::npos) return {Span.substr(1), ValEnd};
  return {Span.substr(1, Close - 1), ValStart + Close + 1};
}

// Characters of a file name that would change what a relative link points to
// (or end the attribute) are percent-escaped, so "a%20b.gif" on disk is not
// looked for as "a b.gif" and "a#1.gif" is not cut at the "#".
std::string SrcPathPart(std::string_view S) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string Out;
  Out.reserve(S.size());
  for (char Ch : S) {
    auto C = static_cast<unsigned char>(Ch);
    if (C < 0x20 || C == 0x7F || C == '"' || C == '#' || C == '%' || C == '&' || C == '?' || C == '\\') {
      Out += '%';
      Out += Hex[C >> 4];
      Out += Hex[C & 15];
    } else {
      Out += Ch;
    }
  }
  return Out;
}

// The unchanged text before a rewritten tag (Start, Len in the page) and the
// length of that tag; the last one holds the text after the last tag.
struct TSegment {
  size_t Start, Len, InsLen;
};

// The working state of one Html_ChgImgLink call. It only reads the page;
// the caller's strings change once the whole result stands.
class TImgLinkWork {
 public:
  TImgLinkWork(const std::string &Html, const std::vector<std::string> &RawSrcs, const std::vector<std::string> &LocalPaths)
      : FText(Html), FRawSrcs(RawSrcs), FLocalPaths(LocalPaths) {}

  bool Html_Prep(int ImageCount, const std::vector<int> &IndexList);
  void Html_ScanImgTags();
  bool Html_ChgSrc(std::string_view Tag, std::string &NewTag);
  bool Html_Rebuild(std::string &Result) const;

  bool Snippet() const { return FSnippet; }
  const std::vector<int> &Listed() const { return FListed; }

 private:
  void AddSegment(size_t Start, size_t Len, size_t InsLen);

  std::string_view FText;
  const std::vector<std::string> &FRawSrcs;
  const std::vector<std::string> &FLocalPaths;
  std::string FFolder;  // escaped, with its "/"; empty when the pictures have no folder
  bool FSnippet = false;
  size_t FCapacity = 0;
  std::unordered_map<std::string, int> FSrcIndex;  // SrcKey of a raw src -> its first line
  std::vector<int> FPicture;                       // line -> first line with the same local path
  std::vector<char> FIsListed;
  std::vector<int> FListed;
  std::vector<std::string> FTags;
  std::vector<TSegment> FSegs;
};

bool TImgLinkWork::Html_Prep(int ImageCount, const std::vector<int> &IndexList) {
  if (FLocalPaths.empty() || FText.empty()) return false;

  std::string Dir = Fn_ExtractDir(FLocalPaths[0]);
  while (!Dir.empty() && Dir.back() == '/') Dir.pop_back();
  std::string Folder = Fn_ExtractName(Dir);
  // Without a folder the link is the bare file name, not a path from the root.
  if (!Folder.empty()) FFolder = SrcPathPart(Folder) + "/";

  // The table is sized from the page's picture count; the reservation is
  // bounded by what the text can hold, so a wild count costs no memory.
  FCapacity = static_cast<size_t>(std::max(ImageCount, 0)) + 30;
  FSegs.reserve(std::min(FCapacity, FText.size() / 6 + 1));

  FSnippet = !IndexList.empty() && IndexList[0] == 1;

  // A src line without a local path cannot be rewritten: the lists are meant
  // to be parallel, but only their common part is trusted.
  const size_t N = std::min(FRawSrcs.size(), FLocalPaths.size());
  FSrcIndex.reserve(N);
  for (size_t I = 0; I < N; ++I) FSrcIndex.emplace(SrcKey(FRawSrcs[I]), static_cast<int>(I));

  if (FSnippet) {
    // Lines added for other spellings of a src share the local path of the
    // picture's own line; listing that line is what gets the file downloaded.
    std::unordered_map<std::string_view, int> FirstOfPath;
    FirstOfPath.reserve(N);
    FPicture.resize(N);
    for (size_t I = 0; I < N; ++I) FPicture[I] = FirstOfPath.emplace(FLocalPaths[I], static_cast<int>(I)).first->second;
    FIsListed.assign(N, 0);
  }
  return true;
}

void TImgLinkWork::AddSegment(size_t Start, size_t Len, size_t InsLen) {
  if (FSegs.size() >= FCapacity)
    throw EMossError(Format("Too many picture tags: more than %d segments", {static_cast<unsigned long long>(FCapacity)}));
  FSegs.push_back({Start, Len, InsLen});
}

void TImgLinkWork::Html_ScanImgTags() {
  const size_t Len = FText.size();
  size_t SegStart = 0, P = 0;
  std::string NewTag;
  while (P < Len) {
    size_t TagStart = FindByte(FText, '<', P);
    if (TagStart == std::string_view::npos) break;
    if (!IsImgTagAt(FText, TagStart)) {
      P = TagStart + 1;
      continue;
    }
    size_t Gt;
    // An unclosed tag (or quote) would make every later "<" run to the end
    // again; stopping here keeps the scan linear.
    if (!SearchChar(FText, '>', true, Gt, Len, TagStart + 5)) break;
    std::string_view Tag = FText.substr(TagStart, Gt - TagStart + 1);
    P = Gt + 1;
    if (Html_ChgSrc(Tag, NewTag)) {
      AddSegment(SegStart, TagStart - SegStart, NewTag.size());
      FTags.push_back(std::move(NewTag));
      NewTag.clear();
      SegStart = P;
    }
  }
  AddSegment(SegStart, Len - SegStart, 0);
}

bool TImgLinkWork::Html_ChgSrc(std::string_view Tag, std::string &NewTag) {
  if (Tag.empty()) return false;
  const size_t Last = Tag.size() - 1;
  size_t From = 0, Hit = 0, SrcStart = 0, ValStart = 0, ValEnd = 0;
  bool Taken = false;
  // The first src attribute counts, as it does for the browser; any white
  // space may stand before it and around its "=".
  while ((Hit = NextSpace(Tag, From)) != std::string_view::npos) {
    const size_t Q = Hit + 1;
    if (Q + 3 > Last || LowerA(Tag[Q]) != 's' || LowerA(Tag[Q + 1]) != 'r' || LowerA(Tag[Q + 2]) != 'c' ||
        (Tag[Q + 3] != '=' && !IsHtmlSpace(Tag[Q + 3]))) {
      From = Q;
      continue;
    }
    size_t K = Q + 3;
    while (K < Last && IsHtmlSpace(Tag[K])) ++K;
    if (Tag[K] != '=') {
      // "src" as a word of its own; the space before K may start the next try.
      From = K - 1;
      continue;
    }
    K = std::min(K + 1, Last);
    while (K < Last && IsHtmlSpace(Tag[K])) ++K;
    SrcStart = Q;
    ValStart = K;
    ValEnd = NextSpace(Tag, ValStart);
    if (ValEnd == std::string_view::npos) ValEnd = Last;
    Taken = true;
    break;
  }
  if (!Taken) return false;

  TAttrValue V = UnquoteValue(Tag, ValStart, ValEnd);
  auto It = FSrcIndex.find(SrcKey(V.Value));
  if (It == FSrcIndex.end()) return false;
  const int Pos = It->second;

  if (FSnippet) {
    const int Pic = FPicture[static_cast<size_t>(Pos)];
    if (!FIsListed[static_cast<size_t>(Pic)]) {
      FIsListed[static_cast<size_t>(Pic)] = 1;
      FListed.push_back(Pic);
    }
  }

  std::string Attr = Format("src=\"%s%s\"", {FFolder, SrcPathPart(Fn_ExtractName(FLocalPaths[static_cast<size_t>(Pos)]))});
  NewTag.clear();
  NewTag.reserve(SrcStart + Attr.size() + (Tag.size() - V.End));
  NewTag.append(Tag.substr(0, SrcStart));
  NewTag.append(Attr);
  NewTag.append(Tag.substr(V.End));
  return true;
}

bool TImgLinkWork::Html_Rebuild(std::string &Result) const {
  if (FSegs.size() <= 1) return false;
  size_t Total = 0;
  for (const TSegment &S : FSegs) Total += S.Len + S.InsLen;
  Result.clear();
  Result.reserve(Total);
  for (size_t K = 0; K < FTags.size(); ++K) {
    Result.append(FText.substr(FSegs[K].Start, FSegs[K].Len));
    Result.append(FTags[K]);
  }
  const TSegment &Tail = FSegs.back();
  Result.append(FText.substr(Tail.Start, Tail.Len));
  return true;
}

}  // namespace

bool SearchChar(std::string_view Text, char Ch, bool SkipQuoted, size_t &Found, size_t Last, size_t First) {
  try {
    if (Last < First || First >= Text.size()) return false;
    Last = std::min(Last, Text.size() - 1);
    if (!SkipQuoted) {
      const void *P = std::memchr(Text.data() + First, Ch, Last - First + 1);
      if (!P) return false;
      Found = static_cast<size_t>(static_cast<const char *>(P) - Text.data());
      return true;
    }
    char Open = 0;
    for (size_t I = First; I <= Last; ++I) {
      const char C = Text[I];
      if (Open) {
        if (C != Open) continue;
        Open = 0;  // the closing quote itself is outside again
      } else if (IsQuote(C)) {
        Open = C;
        continue;
      }
      if (C == Ch) {
        Found = I;
        return true;
      }
    }
    return false;
  } catch (...) {
    Log::ErrFmt(ErrTipsFmt, {"Fail to Search Char!", "uTxtJobEdtr.SearchChar", ExceptMsg(std::current_exception())});
    throw;
  }
}

bool IsQuote(char C) { return C == '"' || C == '\''; }

bool Html_HasImg(const std::string &Text) {
  for (size_t P = FindByte(Text, '<', 0); P != std::string::npos; P = FindByte(Text, '<', P + 1))
    if (IsImgTagAt(Text, P)) return true;
  return false;
}

bool Html_GetSrc(const std::string &Html, std::string &Raw) {
  const size_t Len = Html.size();
  size_t P = 0, Blank = 0, ValStart = 0;
  bool Found = false;
  while (SearchChar(Html, ' ', true, Blank, Len, P)) {
    P = Blank + 1;
    if (Html.compare(P, 4, "src=") == 0) {
      ValStart = P + 4;
      Found = true;
      break;
    }
  }
  if (!Found) return false;
  size_t ValEnd;
  if (!SearchChar(Html, ' ', true, ValEnd, Len, ValStart)) ValEnd = Len - 1;
  Raw = std::string(UnquoteValue(Html, ValStart, ValEnd).Value);
  return true;
}

std::string Html_MkLink(const std::string &Url, const std::string &Text) { return Format("<A href=\"%s\">%s</A>", {Url, Text}); }

bool Clear_Sub_Str(std::string &S, const std::string &StartTag, const std::string &EndTag) {
  if (StartTag.empty() || EndTag.empty()) return false;
  if (S.empty()) return true;
  try {
    const std::string A = LowerAscii(StartTag), B = LowerAscii(EndTag);
    const std::string_view In(S);
    const size_t N = In.size();
    std::string Out;
    Out.reserve(N);
    size_t Kept = 0;  // start of the text not copied yet
    size_t P = 0;
    while ((P = FindByte(In, A[0], P)) != std::string_view::npos) {
      if (!MatchLowered(In, P, A)) {
        ++P;
        continue;
      }
      Out.append(In.substr(Kept, P - Kept));
      size_t E = P + A.size();
      for (;;) {
        E = FindByte(In, B[0], E);
        if (E == std::string_view::npos) {
          E = N;  // a block without its end tag runs to the end
          break;
        }
        if (MatchLowered(In, E, B)) {
          E += B.size();
          break;
        }
        ++E;
      }
      Kept = P = E;
    }
    Out.append(In.substr(Kept));
    S.swap(Out);
    return true;
  } catch (...) {
    Log::ErrFmt(ErrTipsFmt, {"Fail to Clear Sub Str!", "uTxtJobEdtr.Clear_Sub_Str", ExceptMsg(std::current_exception())});
    return false;
  }
}

bool Html_ChgImgLink(std::string &Html, int ImageCount, const std::vector<std::string> &RawSrcs,
                     const std::vector<std::string> &LocalPaths, std::vector<int> &IndexList) {
  try {
    TImgLinkWork W(Html, RawSrcs, LocalPaths);
    if (!W.Html_Prep(ImageCount, IndexList)) return false;
    W.Html_ScanImgTags();
    std::string Result;
    const bool Changed = W.Html_Rebuild(Result);
    std::vector<int> Listed = W.Snippet() ? W.Listed() : IndexList;
    if (Changed) Html.swap(Result);
    IndexList.swap(Listed);
    return true;
  } catch (...) {
    Log::ErrFmt(ErrTipsFmt, {"Fail!", "uTxtJobEdtr.Html_ChgImgLink", ExceptMsg(std::current_exception())});
    return false;
  }
}

std::string Html_PreviewBase(const std::string &Html, const std::string &Url) {
  std::string Lower = Html;
  for (char &C : Lower) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  if (Url.empty() || Lower.find("<base") != std::string::npos) return Html;
  std::string Href;
  for (char C : Url) {
    if (C == '&')
      Href += "&amp;";
    else if (C == '"')
      Href += "&quot;";
    else
      Href += C;
  }
  const std::string Tag = "<base href=\"" + Href + "\">";
  // After <head ...> when there is one; a <base> ahead of everything else is
  // taken into the head by the parser too.
  size_t Head = Lower.find("<head");
  if (Head != std::string::npos &&
      (Head + 5 >= Lower.size() || Lower[Head + 5] == '>' || std::isspace(static_cast<unsigned char>(Lower[Head + 5])))) {
    size_t Close = Lower.find('>', Head);
    if (Close != std::string::npos) return Html.substr(0, Close + 1) + Tag + Html.substr(Close + 1);
  }
  return Tag + Html;
}
