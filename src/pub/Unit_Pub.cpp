#include "pub/Unit_Pub.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

std::string Trim(const std::string &S) {
  size_t B = S.find_first_not_of(" \t\r\n");
  if (B == std::string::npos) return {};
  return S.substr(B, S.find_last_not_of(" \t\r\n") - B + 1);
}

std::string LowerCase(std::string S) {
  for (char &C : S)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C + 32);
  return S;
}

bool SameText(const std::string &A, const std::string &B) { return A.size() == B.size() && LowerCase(A) == LowerCase(B); }

std::string StringReplaceAll(std::string S, const std::string &From, const std::string &To) {
  if (From.empty()) return S;
  for (size_t P = 0; (P = S.find(From, P)) != std::string::npos; P += To.size()) S.replace(P, From.size(), To);
  return S;
}

std::string Url_Decode(const std::string &S) {
  auto Hex = [](char C) -> int {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
  };
  std::string Out;
  Out.reserve(S.size());
  for (size_t I = 0; I < S.size(); ++I) {
    if (S[I] == '%' && I + 2 < S.size()) {
      int H = Hex(S[I + 1]), L = Hex(S[I + 2]);
      if (H >= 0 && L >= 0) {
        Out += static_cast<char>(H * 16 + L);
        I += 2;
        continue;
      }
    }
    Out += S[I];
  }
  return Out;
}

bool Url_IsFile(const std::string &Url) {
  size_t B = Url.find_first_not_of(" \t\r\n");
  return B != std::string::npos && SameText(Url.substr(B, 5), "file:");
}

std::string Url_NoUserInfo(const std::string &Url) {
  const size_t Start = Url.find_first_not_of(" \t\r\n");
  const size_t Sep = Url.find("://");
  if (Start == std::string::npos || Sep == std::string::npos || Sep <= Start ||
      !std::isalpha(static_cast<unsigned char>(Url[Start])))
    return Url;
  for (size_t I = Start; I < Sep; ++I) {
    const char C = Url[I];
    if (!std::isalnum(static_cast<unsigned char>(C)) && C != '+' && C != '-' && C != '.') return Url;
  }
  const size_t A = Sep + 3;
  const size_t End = std::min(Url.find_first_of("/?#", A), Url.size());
  const size_t At = Url.substr(A, End - A).rfind('@');
  if (At == std::string::npos) return Url;
  return Url.substr(0, A) + Url.substr(A + At + 1);
}

std::string Url_FileName(const std::string &Url) {
  size_t P = Url.rfind('/');
  return P == std::string::npos ? Url : Url.substr(P + 1);
}

std::string Fn_ExtractName(const std::string &Path) {
  size_t P = Path.rfind('/');
  return P == std::string::npos ? Path : Path.substr(P + 1);
}

std::string Fn_NameNoExt(const std::string &Path) {
  std::string N = Fn_ExtractName(Path);
  size_t P = N.rfind('.');
  return P == std::string::npos ? N : N.substr(0, P);
}

std::string Fn_ExtractExt(const std::string &Path) {
  std::string N = Fn_ExtractName(Path);
  size_t P = N.rfind('.');
  return P == std::string::npos ? std::string() : N.substr(P);
}

std::string Fn_ExtractDir(const std::string &Path) {
  size_t P = Path.rfind('/');
  return P == std::string::npos ? std::string() : Path.substr(0, P + 1);
}

void Fn_ClrInvalid(std::string &Text) {
  for (char &C : Text)
    for (char Bad : InvalidFnChars)
      if (C == Bad) C = ' ';
}

std::string Fn_CutName(const std::string &Name, size_t MaxBytes) {
  if (Name.size() <= MaxBytes) return Name;
  // Cut at Max, moved back over at most three continuation bytes so that a
  // character is never split (a text that is no UTF-8 is simply cut).
  auto Cut = [](const std::string &S, size_t Max) {
    size_t P = Max;
    for (int K = 0; K < 3 && P > 0 && (static_cast<unsigned char>(S[P]) & 0xC0) == 0x80; ++K) --P;
    if ((static_cast<unsigned char>(S[P]) & 0xC0) == 0x80) P = Max;
    return S.substr(0, P);
  };
  size_t Dot = Name.rfind('.');
  if (Dot != std::string::npos && Dot > 0 && Name.size() - Dot <= 16 && Name.size() - Dot < MaxBytes / 2) {
    std::string Ext = Name.substr(Dot);
    std::string Stem = Cut(Name, MaxBytes - Ext.size());
    while (!Stem.empty() && Stem.back() == ' ') Stem.pop_back();
    return Stem + Ext;
  }
  std::string R = Cut(Name, MaxBytes);
  while (!R.empty() && R.back() == ' ') R.pop_back();
  return R;
}

std::string Fn_CleanName(const std::string &Name, const std::string &Fallback) {
  std::string N = Name;
  for (char &C : N)
    if (static_cast<unsigned char>(C) < 0x20 || C == 0x7F) C = ' ';
  Fn_ClrInvalid(N);
  size_t B = N.find_first_not_of(" .");
  if (B == std::string::npos) return Fallback;
  N.erase(0, B);
  N.erase(N.find_last_not_of(' ') + 1);
  N = Fn_CutName(N);
  return N.empty() ? Fallback : N;
}

bool Fn_HasInvalid(const std::string &Path) {
  std::string N = Fn_ExtractName(Path);
  for (char C : N)
    for (char Bad : InvalidFnChars)
      if (C == Bad) return true;
  return false;
}

namespace {

bool PathFree(const std::string &Path, const std::vector<std::string> *Taken) {
  struct stat St;
  if (::lstat(Path.c_str(), &St) == 0) return false;
  if (Taken)
    for (const auto &T : *Taken)
      if (SameText(T, Path)) return false;
  return true;
}

}  // namespace

bool Fn_MakeUnique(std::string &Path, const std::vector<std::string> *Taken, int32_t MaxCounter) {
  if (PathFree(Path, Taken)) return true;
  std::string Folder = Fn_ExtractDir(Path);
  std::string Name = Fn_NameNoExt(Path);
  std::string Ext = Fn_ExtractExt(Path);
  // A single-digit counter left by an earlier pass is replaced, not nested.
  if (Name.size() > 2 && Name[Name.size() - 3] == '[' && Name.back() == ']') Name.erase(Name.size() - 3);
  for (int32_t Counter = 1; Counter <= MaxCounter; ++Counter) {
    std::string Cand = Format("%s%s[%d]%s", {Folder, Name, Counter, Ext});
    if (PathFree(Cand, Taken)) {
      Path = Cand;
      return true;
    }
  }
  return false;
}

void Dir_AddSlash(std::string &Text) {
  if (Text.empty() || Text.back() != '/') Text += '/';
}

bool Dir_Exists(const std::string &Path) {
  struct stat St;
  return !Path.empty() && ::stat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

bool File_Exists(const std::string &Path) {
  struct stat St;
  return !Path.empty() && ::stat(Path.c_str(), &St) == 0 && S_ISREG(St.st_mode);
}

bool Path_Exists(const std::string &Path) {
  struct stat St;
  return !Path.empty() && ::lstat(Path.c_str(), &St) == 0;
}

bool File_MoveNew(const std::string &Src, const std::string &Dst) {
  if (::renameat2(AT_FDCWD, Src.c_str(), AT_FDCWD, Dst.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
  // A file system without that kind of rename: link() refuses an existing
  // target just the same.
  if (::link(Src.c_str(), Dst.c_str()) != 0) return false;
  ::unlink(Src.c_str());
  return true;
}

bool Dir_DelFiles(const std::string &Folder, const std::string &Mask) {
  // Works on the folder by name rather than changing the current folder,
  // which belongs to the whole process and its threads.
  std::string Dir = Folder;
  Dir_AddSlash(Dir);
  std::string M = Mask.empty() ? "*" : (Mask == "*.*" ? "*" : Mask);
  DIR *D = ::opendir(Dir.c_str());
  if (!D) throw EMossError("Cannot open folder " + Dir + ": " + std::strerror(errno));
  bool Found = false;
  while (dirent *E = ::readdir(D)) {
    std::string N = E->d_name;
    if (N == "." || N == "..") continue;
    if (::fnmatch(M.c_str(), N.c_str(), FNM_PERIOD) != 0) continue;
    Found = true;
    struct stat St;
    std::string Full = Dir + N;
    if (::lstat(Full.c_str(), &St) == 0 && S_ISDIR(St.st_mode)) continue;
    ::unlink(Full.c_str());  // a file that cannot go is left in place
  }
  ::closedir(D);
  return Found;
}

int64_t File_SizeOf(const std::string &Path) {
  struct stat St;
  if (::stat(Path.c_str(), &St) != 0 || !S_ISREG(St.st_mode) || ::access(Path.c_str(), R_OK) != 0) return -1;
  return static_cast<int64_t>(St.st_size);
}

std::string Fmt_FileSize(int64_t N) {
  double V = static_cast<double>(N);
  const char *Unit = "B";
  if (V > 1024) {
    V /= 1024;
    if (V >= 1024) {
      V /= 1024;
      Unit = "M";
    } else {
      Unit = "K";
    }
  }
  return Unit[0] == 'B' ? Format("%.0f %s", {V, Unit}) : Format("%.1f %s", {V, Unit});
}

bool Dir_Force(const std::string &Path) {
  std::error_code Ec;
  std::filesystem::create_directories(Path, Ec);
  return Dir_Exists(Path);
}

std::string EnvFolder(const char *Var, const std::string &Default) {
  const char *V = std::getenv(Var);
  std::string S = V && *V ? V : Default;
  while (S.size() > 1 && S.back() == '/') S.pop_back();
  return S;
}

void Str_AppendUtf8(std::string &Out, uint32_t Cp) {
  if (Cp == 0 || Cp > 0x10FFFF || (Cp >= 0xD800 && Cp <= 0xDFFF)) Cp = 0xFFFD;
  if (Cp < 0x80) {
    Out += static_cast<char>(Cp);
  } else if (Cp < 0x800) {
    Out += static_cast<char>(0xC0 | (Cp >> 6));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  } else if (Cp < 0x10000) {
    Out += static_cast<char>(0xE0 | (Cp >> 12));
    Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (Cp >> 18));
    Out += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  }
}
