#include "editors/uCssUrl.h"

#include <cstdint>
#include <cstdlib>

#include "pub/Unit_Pub.h"

namespace {

bool IsCssSpace(char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r' || C == '\f'; }
bool IsHex(char C) { return (C >= '0' && C <= '9') || (C >= 'a' && C <= 'f') || (C >= 'A' && C <= 'F'); }
bool IsNameChar(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '-' || C == '_' ||
         static_cast<unsigned char>(C) >= 0x80;
}

char LowerA(char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C + 32) : C; }

// The name of the function (or the word) that ends right before P.
bool WordBefore(std::string_view T, size_t P, std::string_view Word) {
  if (P < Word.size()) return false;
  const size_t S = P - Word.size();
  for (size_t K = 0; K < Word.size(); ++K)
    if (LowerA(T[S + K]) != Word[K]) return false;
  return S == 0 || !IsNameChar(T[S - 1]);
}

// A backslash escape at P (the backslash); appends what it stands for and
// returns the position after it.
size_t Unescape(std::string_view T, size_t P, std::string &Out) {
  size_t Q = P + 1;
  if (Q >= T.size()) return Q;
  if (!IsHex(T[Q])) {
    if (T[Q] != '\n') Out += T[Q];  // an escaped line break continues the string
    return Q + 1;
  }
  size_t E = Q;
  while (E < T.size() && E - Q < 6 && IsHex(T[E])) ++E;
  Str_AppendUtf8(Out, static_cast<uint32_t>(std::strtoul(std::string(T.substr(Q, E - Q)).c_str(), nullptr, 16)));
  if (E < T.size() && IsCssSpace(T[E])) ++E;
  return E;
}

// A quoted string starting at P (the quote). Returns the position after its
// closing quote, or npos when it is not closed.
size_t ReadString(std::string_view T, size_t P, std::string &Out) {
  const char Q = T[P];
  for (size_t I = P + 1; I < T.size();) {
    const char C = T[I];
    if (C == Q) return I + 1;
    if (C == '\\') {
      I = Unescape(T, I, Out);
    } else {
      Out += C;
      ++I;
    }
  }
  return std::string_view::npos;
}

size_t SkipSpace(std::string_view T, size_t P) {
  while (P < T.size() && IsCssSpace(T[P])) ++P;
  return P;
}

// The body of url( starting at P, right after the "(". Returns the position
// after its ")", or npos when there is none.
size_t ReadUrlBody(std::string_view T, size_t P, std::string &Url) {
  P = SkipSpace(T, P);
  if (P < T.size() && (T[P] == '"' || T[P] == '\'')) {
    P = ReadString(T, P, Url);
    if (P == std::string_view::npos) return P;
    P = SkipSpace(T, P);
    return P < T.size() && T[P] == ')' ? P + 1 : std::string_view::npos;
  }
  for (size_t I = P; I < T.size();) {
    const char C = T[I];
    if (C == ')') {
      while (!Url.empty() && IsCssSpace(Url.back())) Url.pop_back();
      return I + 1;
    }
    if (C == '\\') {
      I = Unescape(T, I, Url);
    } else {
      Url += C;
      ++I;
    }
  }
  return std::string_view::npos;
}

// The resolution after an image-set() candidate: "2x", "1.5dppx", "192dpi".
double ReadDensity(std::string_view T, size_t &P) {
  size_t Q = SkipSpace(T, P);
  size_t E = Q;
  while (E < T.size() && ((T[E] >= '0' && T[E] <= '9') || T[E] == '.')) ++E;
  if (E == Q) return 1;
  size_t U = E;
  while (U < T.size() && ((T[U] >= 'a' && T[U] <= 'z') || (T[U] >= 'A' && T[U] <= 'Z'))) ++U;
  std::string Unit(T.substr(E, U - E));
  for (char &C : Unit) C = LowerA(C);
  double V = std::strtod(std::string(T.substr(Q, E - Q)).c_str(), nullptr);
  if (Unit == "dpi")
    V /= 96;
  else if (Unit == "dpcm")
    V = V * 2.54 / 96;
  else if (Unit != "x" && Unit != "dppx")
    return 1;
  P = U;
  return V > 0 ? V : 1;
}

}  // namespace

std::vector<TCssUrl> Css_Urls(std::string_view T) {
  std::vector<TCssUrl> Out;
  int Groups = 0;
  int SetGroup = -1;  // the image-set() being read
  int SetDepth = 0;   // parentheses open inside it
  for (size_t P = 0; P < T.size();) {
    const char C = T[P];
    if (C == '/' && P + 1 < T.size() && T[P + 1] == '*') {
      const size_t E = T.find("*/", P + 2);
      if (E == std::string_view::npos) break;
      P = E + 2;
      continue;
    }
    if (C == '"' || C == '\'') {
      std::string S;
      const size_t E = ReadString(T, P, S);
      if (E == std::string_view::npos) break;
      if (SetGroup >= 0 && SetDepth == 1) {
        size_t After = E;
        const double D = ReadDensity(T, After);
        Out.push_back({S, P, E - P, D, SetGroup});
        P = After;
      } else {
        P = E;
      }
      continue;
    }
    if (C == '(') {
      if (SetGroup >= 0) {
        ++SetDepth;
      } else if (WordBefore(T, P, "image-set") || WordBefore(T, P, "-webkit-image-set")) {
        SetGroup = Groups++;
        SetDepth = 1;
        ++P;
        continue;
      }
      if (WordBefore(T, P, "url")) {
        std::string Url;
        const size_t E = ReadUrlBody(T, P + 1, Url);
        if (E == std::string_view::npos) break;
        if (SetGroup >= 0) --SetDepth;  // the url( counted above is closed again
        size_t After = E;
        const double D = SetGroup >= 0 ? ReadDensity(T, After) : 1;
        Out.push_back({Url, P - 3, E - (P - 3), D, SetGroup});
        P = After;
        continue;
      }
      ++P;
      continue;
    }
    if (C == ')' && SetGroup >= 0 && --SetDepth == 0) SetGroup = -1;
    if (C == '\\') {
      std::string Skip;
      P = Unescape(T, P, Skip);
      continue;
    }
    ++P;
  }
  return Out;
}

std::string Css_UrlRef(const std::string &Url, char Quote) {
  std::string R = "url(";
  R += Quote;
  for (char C : Url) {
    if (C == Quote || C == '\\') {
      R += '\\';
      R += C;
    } else if (C == '\n' || C == '\r' || C == '\f') {
      R += C == '\n' ? "\\a " : C == '\r' ? "\\d " : "\\c ";
    } else {
      R += C;
    }
  }
  R += Quote;
  R += ')';
  return R;
}
