// mossgather-fetch: one download, or a list of them, with the downloader the
// job workers use and the way they use it (the same connection pool, limits
// and retries), so that what it does can be seen and measured from outside.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "net/Unit_httpDown.h"
#include "net/uDownNew.h"
#include "net/uDownRunner.h"
#include "platform/uUrlRef.h"
#include "pub/Unit_Pub.h"

namespace {

void Usage() {
  std::cerr << "usage: mossgather-fetch URL FILE [options]\n"
               "       mossgather-fetch --list LIST DIR [options]\n"
               "options: --referer R  --cookie C  --user-agent UA  --timeout SECONDS (10)  --ca-file PEM  --verbose\n"
               "         --retries N (3)  --parallel N (6 at once in all)  --per-host N (4 at once to one server)\n";
}

// The file name a list entry is saved under: the last path segment, without
// query or fragment, decoded and made safe before anything looks at the
// disk; "index.html" for a bare host or folder.
std::string ListFileName(const std::string &Url) { return Url_SaveName(Url, "index.html"); }

bool ReadNumber(const std::string &Name, const std::string &V, long Min, long Max, int &Out) {
  char *End = nullptr;
  long N = std::strtol(V.c_str(), &End, 10);
  if (V.empty() || *End != 0 || N < Min || N > Max) {
    std::cerr << "mossgather-fetch: bad " << Name << " " << V << "\n";
    return false;
  }
  Out = static_cast<int>(N);
  return true;
}

}  // namespace

int main(int Argc, char **Argv) {
  std::vector<std::string> Pos;
  std::string Referer, Cookie, CaFile, List, UserAgent;
  int Timeout = 10;
  TDownLimits Limits;
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
    if (A == "--user-agent" && Next(UserAgent)) continue;
    if (A == "--ca-file" && Next(CaFile)) continue;
    if (A == "--list" && Next(List)) {
      HaveList = true;
      continue;
    }
    if (A == "--timeout" && Next(V)) {
      if (!ReadNumber(A, V, 1, 86400, Timeout)) return 2;
      continue;
    }
    if (A == "--retries" && Next(V)) {
      if (!ReadNumber(A, V, 0, 10, Limits.Retries)) return 2;
      continue;
    }
    if (A == "--parallel" && Next(V)) {
      if (!ReadNumber(A, V, 1, TDownLimits::MaxPerJob, Limits.PerJob)) return 2;
      continue;
    }
    if (A == "--per-host" && Next(V)) {
      if (!ReadNumber(A, V, 1, TDownLimits::MaxPerHost, Limits.PerHost)) return 2;
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

  // Transfers run side by side in list mode: a line of one is never cut
  // into by another.
  std::mutex OutMx;
  auto Setup = [&](THttpDownFile &D) {
    if (!CaFile.empty()) D.SetCaFile(CaFile);
    D.SetUserAgent(UserAgent);
    D.SetRetries(Limits.Retries);
    if (Verbose)
      D.SetTrace([&OutMx](char Dir, const std::string &Line) {
        std::lock_guard<std::mutex> L(OutMx);
        std::cerr << Dir << ' ' << Line << "\n";
      });
  };

  if (!HaveList) {
    THttpDownFile Down;
    Setup(Down);
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
  // Every name is chosen, in list order, before the first transfer starts.
  std::vector<std::string> Urls, Targets;
  for (std::string Line; std::getline(In, Line);) {
    std::string Url = Trim(Line);
    if (Url.empty()) continue;
    std::string Target = Dir + ListFileName(Url);
    Fn_MakeUnique(Target, &Targets);
    Urls.push_back(Url);
    Targets.push_back(Target);
  }
  std::vector<char> Failed(Urls.size(), 0);
  TDownRunner Runner(Limits, nullptr, Setup);
  Runner.Run(
      Urls.size(), [&](size_t I) { return Down_ServerKey(Urls[I]); },
      [&](size_t I, THttpDownFile &D) {
        std::string Why;
        if (DownLoadNew(D, Urls[I], Targets[I], Referer, Cookie, Timeout, Why)) return;
        Failed[I] = 1;
        std::lock_guard<std::mutex> L(OutMx);
        std::cerr << Why << "\n";
      });
  for (char F : Failed)
    if (F) return 1;
  return 0;
}
