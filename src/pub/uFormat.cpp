#include "pub/uFormat.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <vector>

namespace {

std::string Printf(const std::string &Spec, auto Value) {
  char Small[128];
  int N = std::snprintf(Small, sizeof Small, Spec.c_str(), Value);
  if (N < 0) return {};
  if (static_cast<size_t>(N) < sizeof Small) return std::string(Small, static_cast<size_t>(N));
  std::string Out(static_cast<size_t>(N) + 1, '\0');
  std::snprintf(Out.data(), Out.size(), Spec.c_str(), Value);
  Out.resize(static_cast<size_t>(N));
  return Out;
}

std::string AsText(const TFmtArg &A) {
  switch (A.Kind) {
    case TFmtArg::TKind::Str:
      return A.Str;
    case TFmtArg::TKind::Int:
      return std::to_string(A.Int);
    case TFmtArg::TKind::Float:
      return Printf("%g", A.Flt);
  }
  return {};
}

}  // namespace

std::string Format(std::string_view Fmt, std::initializer_list<TFmtArg> Args) {
  std::vector<const TFmtArg *> List;
  for (const auto &A : Args) List.push_back(&A);
  size_t Next = 0;
  std::string Out;
  Out.reserve(Fmt.size() + 32);
  for (size_t I = 0; I < Fmt.size(); ++I) {
    char C = Fmt[I];
    if (C != '%') {
      Out += C;
      continue;
    }
    if (I + 1 < Fmt.size() && Fmt[I + 1] == '%') {
      Out += '%';
      ++I;
      continue;
    }
    // Collect flags, width and precision (digits only; '*' is not supported).
    size_t J = I + 1;
    while (J < Fmt.size() && std::string_view("-+ #0").find(Fmt[J]) != std::string_view::npos) ++J;
    while (J < Fmt.size() && (std::isdigit(static_cast<unsigned char>(Fmt[J])) || Fmt[J] == '.')) ++J;
    if (J >= Fmt.size()) {
      Out.append(Fmt.substr(I));
      break;
    }
    char Conv = Fmt[J];
    std::string Flags(Fmt.substr(I, J - I));
    const TFmtArg *A = Next < List.size() ? List[Next] : nullptr;
    if (std::string_view("sdiuxXfegc").find(Conv) == std::string_view::npos) {
      Out.append(Fmt.substr(I, J - I + 1));
      I = J;
      continue;
    }
    ++Next;
    I = J;
    if (!A) continue;
    switch (Conv) {
      case 's':
        if (A->Kind == TFmtArg::TKind::Str && Flags == "%")
          Out += A->Str;
        else
          Out += Printf(Flags + "s", AsText(*A).c_str());
        break;
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X': {
        int64_t V = A->Kind == TFmtArg::TKind::Int ? A->Int : A->Kind == TFmtArg::TKind::Float ? static_cast<int64_t>(A->Flt) : 0;
        if (A->Kind == TFmtArg::TKind::Str) {
          Out += A->Str;
          break;
        }
        std::string Len = (Conv == 'd' || Conv == 'i') ? PRId64 : (Conv == 'u' ? PRIu64 : (Conv == 'x' ? PRIx64 : PRIX64));
        Out += Printf(Flags + Len, V);
        break;
      }
      case 'c':
        if (A->Kind == TFmtArg::TKind::Int)
          Out += static_cast<char>(A->Int);
        else
          Out += AsText(*A);
        break;
      default: {  // f e g
        double V = A->Kind == TFmtArg::TKind::Float ? A->Flt : A->Kind == TFmtArg::TKind::Int ? static_cast<double>(A->Int) : 0.0;
        if (A->Kind == TFmtArg::TKind::Str) {
          Out += A->Str;
          break;
        }
        Out += Printf(Flags + Conv, V);
      }
    }
  }
  return Out;
}
