#include "editors/uHtmlPics.h"

#include <algorithm>
#include <cstdlib>

#include "editors/uCssUrl.h"
#include "editors/uImgChoose.h"
#include "platform/uUrlRef.h"
#include "pub/Unit_Pub.h"

namespace {

bool IsSpace(char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r' || C == '\f'; }
bool IsAlpha(char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z'); }
char LowerA(char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C + 32) : C; }

std::string LowerAscii(std::string_view S) {
  std::string R(S);
  for (char &C : R) C = LowerA(C);
  return R;
}

// Position of Needle (lower case) in T from From, letter case ignored.
size_t FindNoCase(std::string_view T, std::string_view Needle, size_t From) {
  if (Needle.empty() || T.size() < Needle.size()) return std::string_view::npos;
  for (size_t I = From; I + Needle.size() <= T.size(); ++I) {
    if (LowerA(T[I]) != Needle[0]) continue;
    size_t K = 1;
    while (K < Needle.size() && LowerA(T[I + K]) == Needle[K]) ++K;
    if (K == Needle.size()) return I;
  }
  return std::string_view::npos;
}

// An attribute value as the browser reads it: the character references
// addresses and styles use undone; any other "&" stays as written.
std::string Decode(std::string_view V) {
  std::string Out;
  Out.reserve(V.size());
  for (size_t I = 0; I < V.size(); ++I) {
    if (V[I] != '&') {
      Out += V[I];
      continue;
    }
    const size_t Semi = V.find(';', I + 1);
    if (Semi == std::string_view::npos || Semi - I > 10) {
      Out += '&';
      continue;
    }
    const std::string Name = LowerAscii(V.substr(I + 1, Semi - I - 1));
    if (Name.size() > 1 && Name[0] == '#') {
      const bool Hex = Name[1] == 'x';
      const std::string Digits = Name.substr(Hex ? 2 : 1);
      char *End = nullptr;
      const unsigned long Cp = std::strtoul(Digits.c_str(), &End, Hex ? 16 : 10);
      if (Digits.empty() || *End) {
        Out += '&';
        continue;
      }
      Str_AppendUtf8(Out, static_cast<uint32_t>(Cp));  // at most 8 digits: it fits
    } else if (Name == "amp") {
      Out += '&';
    } else if (Name == "quot") {
      Out += '"';
    } else if (Name == "apos") {
      Out += '\'';
    } else if (Name == "lt") {
      Out += '<';
    } else if (Name == "gt") {
      Out += '>';
    } else if (Name == "nbsp") {
      Out += "\xC2\xA0";
    } else {
      Out += '&';
      continue;
    }
    I = Semi;
  }
  return Out;
}

// A value written back in double quotes.
std::string Encode(std::string_view V) {
  std::string Out = "\"";
  for (char C : V) {
    if (C == '&')
      Out += "&amp;";
    else if (C == '"')
      Out += "&quot;";
    else
      Out += C;
  }
  Out += '"';
  return Out;
}

std::string TrimmedSpace(std::string_view S) {
  while (!S.empty() && IsSpace(S.front())) S.remove_prefix(1);
  while (!S.empty() && IsSpace(S.back())) S.remove_suffix(1);
  return std::string(S);
}

struct TAttr {
  std::string Name;                 // lower case
  size_t Start, End;                // the whole attribute, name to the end of its value
  size_t ValStart = 0, ValEnd = 0;  // the value without its quotes
  bool HasValue = false;
};

struct TEdit {
  size_t Start, End;
  std::string Text;
};

class TPicScan {
 public:
  TPicScan(std::string_view Text, const TPicLinks *Links, std::vector<int> *Used, std::vector<std::string> *Found)
      : T(Text), L(Links), FUsed(Used), FFound(Found) {}

  bool Run();
  std::string Out;

 private:
  // The line of an address as written; -1 when it has none.
  int LineOf(const std::string &Written) const;
  const std::string &Use(int Line);
  std::string Css(std::string_view Css, bool &Changed);
  std::string Srcset(std::string_view Value, bool &Changed, int *Largest = nullptr);
  bool ReadTag(size_t Lt, size_t &NameEnd, std::vector<TAttr> &Attrs, size_t &Gt) const;
  void Tag(const std::string &Name, size_t NameEnd, const std::vector<TAttr> &Attrs);
  void Emit(size_t Start, size_t End, const std::string &With);

  std::string_view T;
  const TPicLinks *L;
  std::vector<int> *FUsed;
  std::vector<std::string> *FFound;
  std::vector<char> FIsUsed;
  size_t FKept = 0;
  bool FChanged = false;
};

int TPicScan::LineOf(const std::string &Written) const {
  if (!L || !Img_IsRealUrl(Written)) return -1;
  const std::string Abs = L->Resolve ? L->Resolve(Written) : Written;
  auto It = L->Lines.find(Html_PicKey(Abs));
  if (It == L->Lines.end() || It->second < 0 || static_cast<size_t>(It->second) >= L->Links.size()) return -1;
  return It->second;
}

const std::string &TPicScan::Use(int Line) {
  if (FIsUsed.size() < L->Links.size()) FIsUsed.resize(L->Links.size(), 0);
  if (!FIsUsed[static_cast<size_t>(Line)]) {
    FIsUsed[static_cast<size_t>(Line)] = 1;
    if (FUsed) FUsed->push_back(Line);
  }
  return L->Links[static_cast<size_t>(Line)];
}

std::string TPicScan::Css(std::string_view Text, bool &Changed) {
  std::string R;
  size_t Kept = 0;
  for (const TCssUrl &U : Css_Urls(Text)) {
    if (FFound) FFound->push_back(U.Url);
    const int Line = LineOf(U.Url);
    if (Line < 0) continue;
    R.append(Text.substr(Kept, U.Start - Kept));
    R += Css_UrlRef(Use(Line));
    Kept = U.Start + U.Len;
    Changed = true;
  }
  R.append(Text.substr(Kept));
  return R;
}

std::string TPicScan::Srcset(std::string_view Value, bool &Changed, int *Largest) {
  std::string R;
  size_t Kept = 0;
  double Best = -1;
  for (const TImgCand &C : Img_ParseSrcset(Value)) {
    const int Line = LineOf(C.Url);
    if (Line < 0) continue;
    R.append(Value.substr(Kept, C.Start - Kept));
    R += Use(Line);
    Kept = C.Start + C.Url.size();
    Changed = true;
    const double Size = C.W > 0 ? C.W : C.X > 0 ? C.X : 1;
    if (Largest && Size > Best) {
      Best = Size;
      *Largest = Line;
    }
  }
  R.append(Value.substr(Kept));
  return R;
}

bool TPicScan::ReadTag(size_t Lt, size_t &NameEnd, std::vector<TAttr> &Attrs, size_t &Gt) const {
  size_t P = Lt + 1;
  while (P < T.size() && !IsSpace(T[P]) && T[P] != '>' && T[P] != '/') ++P;
  NameEnd = P;
  for (;;) {
    while (P < T.size() && (IsSpace(T[P]) || T[P] == '/')) ++P;
    if (P >= T.size()) return false;
    if (T[P] == '>') {
      Gt = P;
      return true;
    }
    TAttr A;
    A.Start = P;
    while (P < T.size() && !IsSpace(T[P]) && T[P] != '>' && T[P] != '=' && !(T[P] == '/' && P > A.Start)) ++P;
    A.Name = LowerAscii(T.substr(A.Start, P - A.Start));
    size_t Q = P;
    while (Q < T.size() && IsSpace(T[Q])) ++Q;
    if (Q < T.size() && T[Q] == '=') {
      ++Q;
      while (Q < T.size() && IsSpace(T[Q])) ++Q;
      if (Q >= T.size()) return false;
      A.HasValue = true;
      if (T[Q] == '"' || T[Q] == '\'') {
        const size_t Close = T.find(T[Q], Q + 1);
        if (Close == std::string_view::npos) return false;
        A.ValStart = Q + 1;
        A.ValEnd = Close;
        P = Close + 1;
      } else {
        A.ValStart = Q;
        while (Q < T.size() && !IsSpace(T[Q]) && T[Q] != '>') ++Q;
        A.ValEnd = Q;
        P = Q;
      }
    }
    A.End = P;
    Attrs.push_back(std::move(A));
  }
}

void TPicScan::Emit(size_t Start, size_t End, const std::string &With) {
  Out.append(T.substr(FKept, Start - FKept));
  Out += With;
  FKept = End;
  FChanged = true;
}

void TPicScan::Tag(const std::string &Name, size_t NameEnd, const std::vector<TAttr> &Attrs) {
  const bool Img = Name == "img", Source = Name == "source";
  std::vector<TEdit> Edits;
  auto Value = [this](const TAttr &A) { return Decode(T.substr(A.ValStart, A.ValEnd - A.ValStart)); };
  auto Rewrite = [&](const TAttr &A, const std::string &V) {
    Edits.push_back({A.Start, A.End, std::string(T.substr(A.Start, A.Name.size())) + "=" + Encode(V)});
  };
  const TAttr *SrcAttr = nullptr, *SrcsetAttr = nullptr;
  // What a lazy-loading script would put into src and srcset.
  int LazySrc = -1, LazyRank = 1 << 30;
  std::string LazySrcset;
  bool HasLazySrcset = false;
  for (const TAttr &A : Attrs) {
    if (!A.HasValue) continue;
    bool Changed = false;
    if (A.Name == "style") {
      std::string V = Css(Value(A), Changed);
      if (Changed) Rewrite(A, V);
      continue;
    }
    if (!Img && !Source) continue;
    if (A.Name == "srcset") {
      SrcsetAttr = &A;
      std::string V = Srcset(Value(A), Changed);
      if (Changed) Rewrite(A, V);
    } else if (A.Name == "src" && Img) {
      SrcAttr = &A;
      const int Line = LineOf(TrimmedSpace(Value(A)));
      if (Line >= 0) Rewrite(A, Use(Line));
    } else if (const TLazyAttr *Lazy = Img_LazyAttr(A.Name)) {
      const int Rank = static_cast<int>(Lazy - LazyAttrs.data());
      if (Lazy->Srcset) {
        int Largest = -1;
        std::string V = Srcset(Value(A), Changed, &Largest);
        if (!Changed) continue;
        Rewrite(A, V);
        if (!Lazy->FullSize && !HasLazySrcset) {
          LazySrcset = V;
          HasLazySrcset = true;
        }
        if (!Lazy->FullSize && Rank < LazyRank) {
          LazyRank = Rank;
          LazySrc = Largest;
        }
      } else {
        const int Line = LineOf(TrimmedSpace(Value(A)));
        if (Line < 0) continue;
        Rewrite(A, Use(Line));
        if (!Lazy->FullSize && Rank < LazyRank) {
          LazyRank = Rank;
          LazySrc = Line;
        }
      }
    }
  }
  // Fill in what the script would have: the same attribute is never edited twice.
  auto Put = [&](const TAttr *A, const char *AttrName, const std::string &V) {
    if (A) {
      Edits.erase(std::remove_if(Edits.begin(), Edits.end(), [A](const TEdit &E) { return E.Start == A->Start; }), Edits.end());
      Edits.push_back({A->Start, A->End, std::string(T.substr(A->Start, A->Name.size())) + "=" + Encode(V)});
    } else {
      // A srcset added goes after the src, where a reader looks for it.
      const size_t At = SrcAttr ? SrcAttr->End : NameEnd;
      Edits.push_back({At, At, std::string(" ") + AttrName + "=" + Encode(V)});
    }
  };
  if (Img && LazySrc >= 0) Put(SrcAttr, "src", Use(LazySrc));
  if (HasLazySrcset) Put(SrcsetAttr, "srcset", LazySrcset);
  // Two attributes added at the same place keep the order they were added in.
  std::stable_sort(Edits.begin(), Edits.end(), [](const TEdit &A, const TEdit &B) { return A.Start < B.Start; });
  for (const TEdit &E : Edits) Emit(E.Start, E.End, E.Text);
}

bool TPicScan::Run() {
  const size_t N = T.size();
  size_t P = 0;
  while (P < N) {
    const size_t Lt = T.find('<', P);
    if (Lt == std::string_view::npos) break;
    if (T.compare(Lt, 4, "<!--") == 0) {
      const size_t E = T.find("-->", Lt + 4);
      P = E == std::string_view::npos ? N : E + 3;
      continue;
    }
    if (Lt + 1 >= N || !IsAlpha(T[Lt + 1])) {
      P = Lt + 1;
      continue;
    }
    size_t NameEnd = 0, Gt = 0;
    std::vector<TAttr> Attrs;
    // A tag that is never closed (or holds an unclosed quote) ends the work.
    if (!ReadTag(Lt, NameEnd, Attrs, Gt)) break;
    const std::string Name = LowerAscii(T.substr(Lt + 1, NameEnd - Lt - 1));
    Tag(Name, NameEnd, Attrs);
    P = Gt + 1;
    if (Name == "style") {
      size_t Close = FindNoCase(T, "</style", P);
      if (Close == std::string_view::npos) Close = N;
      bool Changed = false;
      std::string V = Css(T.substr(P, Close - P), Changed);
      if (Changed) Emit(P, Close, V);
      P = Close;
    } else if (Name == "script" || Name == "textarea" || Name == "title") {
      // Their text is no markup: a "<img" in a script's string is no picture.
      const size_t Close = FindNoCase(T, "</" + Name, P);
      P = Close == std::string_view::npos ? N : Close;
    }
  }
  Out.append(T.substr(FKept));
  return FChanged;
}

// The characters that may stand in a link unescaped in src, in srcset (no
// blanks, no commas) and in a quoted CSS url().
bool LinkSafe(unsigned char C) {
  if (C <= 0x20 || C >= 0x7F) return false;
  switch (C) {
    case '"':
    case '#':
    case '%':
    case '&':
    case '\'':
    case '(':
    case ')':
    case ',':
    case '<':
    case '>':
    case '?':
    case '\\':
    case '`':
      return false;
    default:
      return true;
  }
}

std::string Escaped(std::string_view S) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string Out;
  for (char Ch : S) {
    const auto C = static_cast<unsigned char>(Ch);
    if (LinkSafe(C)) {
      Out += Ch;
    } else {
      Out += '%';
      Out += Hex[C >> 4];
      Out += Hex[C & 15];
    }
  }
  return Out;
}

}  // namespace

std::string Html_PicKey(const std::string &Url) { return Url_SameKey(Img_BrowserUrl(Url)); }

void TPicLinks::Add(const std::string &Url, int Line) { Lines.emplace(Html_PicKey(Url), Line); }

std::string Html_PicLink(const std::string &LocalPath) {
  std::string Dir = Fn_ExtractDir(LocalPath);
  while (!Dir.empty() && Dir.back() == '/') Dir.pop_back();
  const std::string Folder = Fn_ExtractName(Dir);
  const std::string Name = Escaped(Fn_ExtractName(LocalPath));
  return Folder.empty() ? Name : Escaped(Folder) + "/" + Name;
}

bool Html_ChgPicLinks(std::string &Html, const TPicLinks &Links, std::vector<int> &Used) {
  std::vector<int> Lines;
  TPicScan S(Html, &Links, &Lines, nullptr);
  if (!S.Run()) return false;
  Html.swap(S.Out);
  for (int Line : Lines)
    if (std::find(Used.begin(), Used.end(), Line) == Used.end()) Used.push_back(Line);
  return true;
}

std::vector<std::string> Html_StyleUrls(std::string_view Html) {
  std::vector<std::string> Found;
  TPicScan S(Html, nullptr, nullptr, &Found);
  S.Run();
  return Found;
}
