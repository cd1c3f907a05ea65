// mossgather-fetch: one download, or a list of them, with the downloader the
// job workers use, so that what it does can be seen and measured from outside.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "net/Unit_httpDown.h"
#include "net/uDownNew.h"
#include "platform/uUrlRef.h"
#include "pub/Unit_Pub.h"

namespace {

void Usage() {
  std::cerr << "usage: mossgather-fetch URL FILE [options]\n"
               "       mossgather-fetch --list LIST DIR [options]\n"
               "options: --referer R  --cookie C  --timeout SECONDS (10)  --ca-file PEM  --verbose\n";
}

// The file name a list entry is saved under: the last path segment, without
// query or fragment, decoded and made safe before anything looks at the
// disk; "index.html" for a bare host or folder.
std::string ListFileName(const std::string &Url) { return Url_SaveName(Url, "index.html"); }

}  // namespace

int main(int Argc, char **Argv) {
  std::vector<std::string> Pos;
  std::string Referer, Cookie, CaFile, List;
  int Timeout = 10;
  bool Verbose = false, HaveList = false;
  for (int I = 1; I < Argc; ++I) {
    std::string A = Argv[I];
    auto Next = [&](std::string &Out) {
      if (I + 1 >= Argc) return false;
      Out = Argv[++I];
      return true;
    };
    std::string V;
    if (A == "--referer" && Next(Referer)) continue;
    if (A == "--cookie" && Next(Cookie)) continue;
    if (A == "--ca-file" && Next(CaFile)) continue;
    if (A == "--list" && Next(List)) {
      HaveList = true;
      continue;
    }
    if (A == "--timeout" && Next(V)) {
      char *End = nullptr;
      long T = std::strtol(V.c_str(), &End, 10);
      if (*End != 0 || T < 1 || T > 86400) {
        std::cerr << "mossgather-fetch: bad --timeout " << V << "\n";
        return 2;
      }
      Timeout = static_cast<int>(T);
      continue;
    }
    if (A == "--verbose") {
      Verbose = true;
      continue;
    }
    if (A == "--help" || A == "-h") {
      Usage();
      return 0;
    }
    if (A.rfind("--", 0) == 0) {
      Usage();
      return 2;
    }
    Pos.push_back(A);
  }
  if (Pos.size() != (HaveList ? 1u : 2u)) {
    Usage();
    return 2;
  }

  THttpDownFile Down;
  if (!CaFile.empty()) Down.SetCaFile(CaFile);
  if (Verbose) Down.SetTrace([](char Dir, const std::string &Line) { std::cerr << Dir << ' ' << Line << "\n"; });

  if (!HaveList) {
    if (Down.DownLoad(Pos[0], Pos[1], Referer, Cookie, Timeout)) return 0;
    std::cerr << Down.ErrorText() << "\n";
    return 1;
  }

  std::ifstream In(List);
  if (!In) {
    std::cerr << "mossgather-fetch: can not read " << List << "\n";
    return 2;
  }
  std::string Dir = Pos[0];
  Dir_AddSlash(Dir);
  std::vector<std::string> Taken;
  int Failed = 0;
  for (std::string Line; std::getline(In, Line);) {
    std::string Url = Trim(Line);
    if (Url.empty()) continue;
    std::string Target = Dir + ListFileName(Url);
    Fn_MakeUnique(Target, &Taken);
    Taken.push_back(Target);
    std::string Why;
    if (!DownLoadNew(Down, Url, Target, Referer, Cookie, Timeout, Why)) {
      std::cerr << Why << "\n";
      ++Failed;
    }
  }
  return Failed ? 1 : 0;
}
