#pragma once
// Format(): printf-style formatting over a typed argument list, so a wrong
// argument can never read past the stack. Supports %s %d %u %x %X %f %e %g
// %c %% with flags, width and precision.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

class TFmtArg {
 public:
  enum class TKind { Str, Int, Float };
  TFmtArg(const char *S) : Kind(TKind::Str), Str(S ? S : "") {}
  TFmtArg(std::string S) : Kind(TKind::Str), Str(std::move(S)) {}
  TFmtArg(std::string_view S) : Kind(TKind::Str), Str(S) {}
  TFmtArg(int V) : Kind(TKind::Int), Int(V) {}
  TFmtArg(long V) : Kind(TKind::Int), Int(V) {}
  TFmtArg(long long V) : Kind(TKind::Int), Int(V) {}
  TFmtArg(unsigned V) : Kind(TKind::Int), Int(V) {}
  TFmtArg(unsigned long V) : Kind(TKind::Int), Int(static_cast<int64_t>(V)) {}
  TFmtArg(unsigned long long V) : Kind(TKind::Int), Int(static_cast<int64_t>(V)) {}
  TFmtArg(double V) : Kind(TKind::Float), Flt(V) {}
  TFmtArg(float V) : Kind(TKind::Float), Flt(V) {}

  TKind Kind;
  std::string Str;
  int64_t Int = 0;
  double Flt = 0;
};

// A conversion whose argument is missing or of another kind is written as
// the argument's natural text (or nothing), never undefined behaviour.
std::string Format(std::string_view Fmt, std::initializer_list<TFmtArg> Args = {});
