#include "platform/TIniFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "pub/uMossError.h"
#include "pub/uSafeFile.h"

namespace {

std::string Fold(const std::string &S) {
  std::string Out = S;
  for (char &C : Out)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C + 32);
  return Out;
}

std::string Trim(const std::string &S) {
  size_t B = S.find_first_not_of(" \t\r\n");
  if (B == std::string::npos) return {};
  size_t E = S.find_last_not_of(" \t\r\n");
  return S.substr(B, E - B + 1);
}

}  // namespace

TIniFile::TIniFile(std::string FileName) : FFileName(std::move(FileName)) {
  std::string Data;
  FRead = ReadRegularFile(FFileName, Data, MaxBytes);
  if (FRead.Fail == TReadFail::Missing) FRead = {};  // nothing there to lose
  if (FRead.Ok()) SetText(Data);
}

const TIniFile::TEntry *TIniFile::TSection::Find(const std::string &Key) const {
  auto It = Index.find(Fold(Key));
  return It == Index.end() ? nullptr : &Entries[It->second];
}

TIniFile::TEntry *TIniFile::TSection::Find(const std::string &Key) {
  auto It = Index.find(Fold(Key));
  return It == Index.end() ? nullptr : &Entries[It->second];
}

void TIniFile::SetText(const std::string &Text) {
  Clear();
  TSection *Cur = nullptr;
  std::istringstream In(Text);
  std::string Line;
  bool First = true;
  while (std::getline(In, Line)) {
    if (First && Line.size() >= 3 && Line.compare(0, 3, "\xEF\xBB\xBF") == 0) Line.erase(0, 3);
    First = false;
    std::string T = Trim(Line);
    if (T.empty() || T[0] == ';' || T[0] == '#') continue;
    if (T.front() == '[') {
      size_t E = T.find(']');
      std::string Name = Trim(T.substr(1, E == std::string::npos ? std::string::npos : E - 1));
      Cur = &GetSection(Name);
      continue;
    }
    size_t Eq = T.find('=');
    if (Eq == std::string::npos || !Cur) continue;
    std::string Key = Trim(T.substr(0, Eq));
    if (Key.empty()) continue;
    // The first occurrence wins, as with the profile functions.
    if (Cur->Index.emplace(Fold(Key), Cur->Entries.size()).second) Cur->Entries.push_back({Key, Trim(T.substr(Eq + 1))});
  }
}

const TIniFile::TSection *TIniFile::FindSection(const std::string &Name) const {
  auto It = FIndex.find(Fold(Name));
  return It == FIndex.end() ? nullptr : &FSections[It->second];
}

TIniFile::TSection &TIniFile::GetSection(const std::string &Name) {
  auto [It, New] = FIndex.emplace(Fold(Name), FSections.size());
  if (New) FSections.push_back({Name, {}, {}});
  return FSections[It->second];
}

bool TIniFile::ValueExists(const std::string &Section, const std::string &Key) const {
  const TSection *S = FindSection(Section);
  return S && S->Find(Key);
}

std::string TIniFile::ReadString(const std::string &Section, const std::string &Key, const std::string &Default) const {
  if (const TSection *S = FindSection(Section))
    if (const TEntry *E = S->Find(Key)) return E->Value;
  return Default;
}

int32_t TIniFile::ReadInteger(const std::string &Section, const std::string &Key, int32_t Default) const {
  std::string V = ReadString(Section, Key, "");
  if (V.empty()) return Default;
  const char *B = V.data(), *E = V.data() + V.size();
  if (*B == '+') ++B;
  int32_t Out = 0;
  auto R = std::from_chars(B, E, Out, 10);
  if (R.ec != std::errc() || R.ptr != E) return Default;
  return Out;
}

bool TIniFile::ReadBool(const std::string &Section, const std::string &Key, bool Default) const {
  return ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string &Section, const std::string &Key, const std::string &Value) {
  TSection &S = GetSection(Section);
  // A value cannot span lines in this format.
  std::string V = Value;
  for (char &C : V)
    if (C == '\r' || C == '\n') C = ' ';
  if (TEntry *E = S.Find(Key)) {
    E->Value = V;
    return;
  }
  S.Index.emplace(Fold(Key), S.Entries.size());
  S.Entries.push_back({Key, V});
}

void TIniFile::WriteInteger(const std::string &Section, const std::string &Key, int32_t Value) {
  WriteString(Section, Key, std::to_string(Value));
}

void TIniFile::WriteBool(const std::string &Section, const std::string &Key, bool Value) {
  WriteString(Section, Key, Value ? "1" : "0");
}

std::vector<std::string> TIniFile::Sections() const {
  std::vector<std::string> Out;
  for (const auto &S : FSections) Out.push_back(S.Name);
  return Out;
}

std::vector<std::string> TIniFile::Keys(const std::string &Section) const {
  std::vector<std::string> Out;
  if (const TSection *S = FindSection(Section))
    for (const auto &E : S->Entries) Out.push_back(E.Key);
  return Out;
}

void TIniFile::EraseSection(const std::string &Section) {
  auto It = FIndex.find(Fold(Section));
  if (It == FIndex.end()) return;
  FSections.erase(FSections.begin() + static_cast<std::ptrdiff_t>(It->second));
  FIndex.clear();
  for (size_t I = 0; I < FSections.size(); ++I) FIndex.emplace(Fold(FSections[I].Name), I);
}

void TIniFile::DeleteKey(const std::string &Section, const std::string &Key) {
  auto SIt = FIndex.find(Fold(Section));
  if (SIt == FIndex.end()) return;
  TSection &S = FSections[SIt->second];
  auto It = S.Index.find(Fold(Key));
  if (It == S.Index.end()) return;
  S.Entries.erase(S.Entries.begin() + static_cast<std::ptrdiff_t>(It->second));
  S.Index.clear();
  for (size_t I = 0; I < S.Entries.size(); ++I) S.Index.emplace(Fold(S.Entries[I].Key), I);
}

void TIniFile::Clear() {
  FSections.clear();
  FIndex.clear();
}

std::string TIniFile::Text() const {
  std::string Out;
  for (const auto &S : FSections) {
    Out += "[" + S.Name + "]\n";
    for (const auto &E : S.Entries) Out += E.Key + "=" + E.Value + "\n";
    Out += "\n";
  }
  return Out;
}

void TIniFile::UpdateFile() const {
  if (!ReadWhole()) throw EMossError(FFileName + " was not read whole, so it is left as it was (" + FRead.Why + ")");
  WriteFileAtomic(FFileName, Text());
}
