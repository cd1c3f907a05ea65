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

namespace {

bool SameText(const std::string &A, const std::string &B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I) {
    unsigned char X = static_cast<unsigned char>(A[I]), Y = static_cast<unsigned char>(B[I]);
    if (X >= 'A' && X <= 'Z') X = static_cast<unsigned char>(X + 32);
    if (Y >= 'A' && Y <= 'Z') Y = static_cast<unsigned char>(Y + 32);
    if (X != Y) return false;
  }
  return true;
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
  if (ReadWholeFile(FFileName, Data, 16u << 20)) SetText(Data);
}

void TIniFile::SetText(const std::string &Text) {
  FSections.clear();
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
    std::string Value = Trim(T.substr(Eq + 1));
    bool Found = false;
    for (auto &E : Cur->Entries)
      if (SameText(E.Key, Key)) {
        Found = true;  // the first occurrence wins, as with the profile functions
        break;
      }
    if (!Found) Cur->Entries.push_back({Key, Value});
  }
}

const TIniFile::TSection *TIniFile::FindSection(const std::string &Name) const {
  for (const auto &S : FSections)
    if (SameText(S.Name, Name)) return &S;
  return nullptr;
}

TIniFile::TSection &TIniFile::GetSection(const std::string &Name) {
  for (auto &S : FSections)
    if (SameText(S.Name, Name)) return S;
  FSections.push_back({Name, {}});
  return FSections.back();
}

bool TIniFile::ValueExists(const std::string &Section, const std::string &Key) const {
  if (const TSection *S = FindSection(Section))
    for (const auto &E : S->Entries)
      if (SameText(E.Key, Key)) return true;
  return false;
}

std::string TIniFile::ReadString(const std::string &Section, const std::string &Key, const std::string &Default) const {
  if (const TSection *S = FindSection(Section))
    for (const auto &E : S->Entries)
      if (SameText(E.Key, Key)) return E.Value;
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
  for (auto &E : S.Entries)
    if (SameText(E.Key, Key)) {
      E.Value = V;
      return;
    }
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
  for (auto It = FSections.begin(); It != FSections.end(); ++It)
    if (SameText(It->Name, Section)) {
      FSections.erase(It);
      return;
    }
}

void TIniFile::DeleteKey(const std::string &Section, const std::string &Key) {
  for (auto &S : FSections)
    if (SameText(S.Name, Section))
      for (auto It = S.Entries.begin(); It != S.Entries.end(); ++It)
        if (SameText(It->Key, Key)) {
          S.Entries.erase(It);
          return;
        }
}

void TIniFile::Clear() { FSections.clear(); }

std::string TIniFile::Text() const {
  std::string Out;
  for (const auto &S : FSections) {
    Out += "[" + S.Name + "]\n";
    for (const auto &E : S.Entries) Out += E.Key + "=" + E.Value + "\n";
    Out += "\n";
  }
  return Out;
}

void TIniFile::UpdateFile() const { WriteFileAtomic(FFileName, Text()); }

void WriteFileAtomic(const std::string &Path, const std::string &Data) {
  static std::atomic<unsigned> Seq{0};
  std::string Tmp = Path + ".tmp" + std::to_string(getpid()) + "_" + std::to_string(Seq.fetch_add(1));
  int Fd = ::open(Tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (Fd < 0) throw EMossError("Cannot write " + Path + ": " + std::strerror(errno));
  size_t Done = 0;
  while (Done < Data.size()) {
    ssize_t N = ::write(Fd, Data.data() + Done, Data.size() - Done);
    if (N < 0) {
      if (errno == EINTR) continue;
      int Err = errno;
      ::close(Fd);
      ::unlink(Tmp.c_str());
      throw EMossError("Cannot write " + Path + ": " + std::strerror(Err));
    }
    Done += static_cast<size_t>(N);
  }
  if (::fsync(Fd) != 0 || ::close(Fd) != 0) {
    int Err = errno;
    ::unlink(Tmp.c_str());
    throw EMossError("Cannot write " + Path + ": " + std::strerror(Err));
  }
  if (::rename(Tmp.c_str(), Path.c_str()) != 0) {
    int Err = errno;
    ::unlink(Tmp.c_str());
    throw EMossError("Cannot write " + Path + ": " + std::strerror(Err));
  }
}
