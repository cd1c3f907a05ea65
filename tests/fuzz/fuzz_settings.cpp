// The settings file as the program reads it: any bytes parse, the parsed
// content written out reads back to the same text, every name written out
// is found again in any letter case (also after keys and sections are
// removed), and the settings record loads from whatever was there.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "control/uParmFile.h"
#include "platform/TIniFile.h"

namespace {

std::string Flip(std::string S) {
  for (char &C : S)
    if (C >= 'a' && C <= 'z')
      C = static_cast<char>(C - 32);
    else if (C >= 'A' && C <= 'Z')
      C = static_cast<char>(C + 32);
  return S;
}

void Check(bool Ok) {
  if (!Ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  const std::string In(reinterpret_cast<const char *>(Data), Size);
  TIniFile Ini("");
  Ini.SetText(In);

  const std::string Text = Ini.Text();
  TIniFile Again("");
  Again.SetText(Text);
  Check(Again.Text() == Text);

  std::vector<std::string> Secs = Ini.Sections();
  for (const auto &S : Secs) {
    std::vector<std::string> Keys = Ini.Keys(Flip(S));
    for (size_t I = 0; I < Keys.size(); ++I) {
      Check(Ini.ValueExists(Flip(S), Flip(Keys[I])));
      Check(Ini.ReadString(S, Flip(Keys[I]), "\x01") == Ini.ReadString(Flip(S), Keys[I], "\x02"));
    }
    // Every other key goes; the rest must still be found where they were.
    for (size_t I = 0; I < Keys.size(); I += 2) Ini.DeleteKey(S, Flip(Keys[I]));
    for (size_t I = 0; I < Keys.size(); ++I) Check(Ini.ValueExists(S, Keys[I]) == (I % 2 == 1));
  }
  if (!Secs.empty()) {
    Ini.EraseSection(Flip(Secs.front()));
    Check(Ini.Sections().size() == Secs.size() - 1);
    for (size_t I = 1; I < Secs.size(); ++I) Check(Ini.Keys(Secs[I]).size() == Ini.Keys(Flip(Secs[I])).size());
  }

  TGlobalParm P;
  std::string Bad;
  LoadGParm(Again, P, &Bad);
  return 0;
}
