// File names made from addresses and titles, on arbitrary bytes: whatever
// comes in, the name is one safe, visible, bounded path component, and
// cleaning it again changes nothing. Input: the first byte chooses how the
// rest is read (an address to save, or a title to clean).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/uUrlRef.h"
#include "pub/Unit_Pub.h"

namespace {

void Check(bool Ok) {
  if (!Ok) std::abort();
}

// Well-formed UTF-8 (shortest forms, no surrogates, at most U+10FFFF).
bool IsUtf8(const std::string &S) {
  for (size_t I = 0; I < S.size();) {
    const auto C = static_cast<unsigned char>(S[I]);
    size_t N;
    uint32_t Cp;
    if (C < 0x80) {
      ++I;
      continue;
    } else if ((C & 0xE0) == 0xC0) {
      N = 1;
      Cp = C & 0x1F;
    } else if ((C & 0xF0) == 0xE0) {
      N = 2;
      Cp = C & 0x0F;
    } else if ((C & 0xF8) == 0xF0) {
      N = 3;
      Cp = C & 0x07;
    } else {
      return false;
    }
    if (I + N >= S.size()) return false;
    for (size_t K = 1; K <= N; ++K) {
      const auto D = static_cast<unsigned char>(S[I + K]);
      if ((D & 0xC0) != 0x80) return false;
      Cp = (Cp << 6) | (D & 0x3F);
    }
    static const uint32_t Least[] = {0, 0x80, 0x800, 0x10000};
    if (Cp < Least[N] || Cp > 0x10FFFF || (Cp >= 0xD800 && Cp <= 0xDFFF)) return false;
    I += N + 1;
  }
  return true;
}

void CheckName(const std::string &Name, const std::string &Fallback) {
  Check(!Name.empty());
  Check(Name.size() <= FnMaxBytes);
  Check(Name.find('/') == std::string::npos);
  Check(!Fn_HasInvalid(Name));
  for (char C : Name) Check(static_cast<unsigned char>(C) >= 0x20 && C != 0x7F);
  if (Name != Fallback) Check(Name[0] != '.' && Name[0] != ' ' && Name.back() != ' ');
  Check(Fn_CleanName(Name, Fallback) == Name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  if (Size < 1) return 0;
  const std::string In(reinterpret_cast<const char *>(Data) + 1, Size - 1);
  if (Data[0] & 1) {
    const std::string Name = Url_SaveName(In, "index.html");
    CheckName(Name, "index.html");
  } else {
    const std::string Name = Fn_CleanName(In, "page");
    CheckName(Name, "page");
    // A name cut from a well-formed title is well-formed: no character split.
    if (IsUtf8(In)) Check(IsUtf8(Name));
  }
  // A cut name is a piece from the front of the text and, at most, its
  // extension from the back.
  const std::string Cut = Fn_CutName(In);
  Check(Cut.size() <= FnMaxBytes || Cut == In);
  size_t P = 0;
  while (P < Cut.size() && P < In.size() && Cut[P] == In[P]) ++P;
  const size_t Tail = Cut.size() - P;
  Check(Tail <= In.size() && In.compare(In.size() - Tail, Tail, Cut, P, Tail) == 0);
  if (IsUtf8(In)) Check(IsUtf8(Cut));
  return 0;
}
