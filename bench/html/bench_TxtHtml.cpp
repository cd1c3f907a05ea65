// Script removal and picture-link rewriting on a long blog page (one picture
// per 5 KiB, a script every eighth entry), each beside a memchr scan of the
// same bytes (the floor for anything that reads the page once) and beside
// one scan plus one copy into a fresh buffer (the floor for anything that
// also writes a new page). 5 and 40 MiB show the growth where both sizes
// of a pair sit on the same side of the cache and allocator limits.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "editors/uTxtHtml.h"
#include "pub/uFormat.h"

namespace {

constexpr size_t MiB = 1024 * 1024;
constexpr size_t PicturesPer10MiB = 2000;  // one per 5 KiB at every size

struct TBenchPage {
  std::string Html;
  std::vector<std::string> Raw, Local;
};

TBenchPage MakePage(size_t MiBs) {
  const size_t Pictures = PicturesPer10MiB * MiBs / 10;
  const size_t Target = MiBs * MiB;
  const std::string Para =
      "<p>The path climbs through <a href=\"/tags/beech\">beech</a> and <b>ash</b>, past a wall where "
      "<span class=\"latin\">Tortula muralis</span> grows in every joint, and drops to the stream &amp; the mill.</p>\n";
  TBenchPage P;
  P.Html.reserve(Target + 4096);
  P.Html +=
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Field notes</title>\n"
      "<script src=\"/assets/site.js\" defer></script></head>\n<body>\n";
  for (size_t I = 0; I < Pictures; ++I) {
    const size_t BlockEnd = (Target - 64) * (I + 1) / Pictures;
    std::string Src = Format("/media/2024/%d/photo-%d.jpg", {static_cast<int>(I % 12 + 1), static_cast<int>(I)});
    P.Raw.push_back(Src);
    P.Local.push_back(Format("/home/ann/Save/Text/Field notes.files/photo-%d.jpg", {static_cast<int>(I)}));
    P.Html += Format("<div class=\"post\" id=\"p%d\">\n<h2><a href=\"/posts/%d\">Entry %d</a></h2>\n",
                     {static_cast<int>(I), static_cast<int>(I), static_cast<int>(I)});
    P.Html += Format(
        "<figure><img class=\"wide\" src=\"%s\" alt=\"Photo %d of the walk\" width=\"800\" height=\"600\" loading=\"lazy\">"
        "</figure>\n",
        {Src, static_cast<int>(I)});
    if (I % 8 == 0)
      P.Html +=
          Format("<script>window.track && track(\"p%d\", {seen: 1 < 2, html: '<b>x</b>'});</script>\n", {static_cast<int>(I)});
    while (P.Html.size() + Para.size() + 8 < BlockEnd) P.Html += Para;
    P.Html += "</div>\n";
  }
  P.Html += "</body></html>\n";
  return P;
}

const TBenchPage &Page(size_t MiBs) {
  static std::map<size_t, TBenchPage> Pages;
  auto It = Pages.find(MiBs);
  if (It == Pages.end()) It = Pages.emplace(MiBs, MakePage(MiBs)).first;
  return It->second;
}

void BM_Memchr(benchmark::State &St) {
  const std::string &H = Page(static_cast<size_t>(St.range(0))).Html;
  for (auto _ : St) {
    const void *P = std::memchr(H.data(), '\x01', H.size());
    benchmark::DoNotOptimize(P);
  }
  St.SetBytesProcessed(static_cast<int64_t>(St.iterations() * H.size()));
}

// Reads the page once and writes it into a fresh buffer that becomes the
// next input: the memory traffic of one rewrite, without its work.
void BM_ScanCopyFloor(benchmark::State &St) {
  std::string S = Page(static_cast<size_t>(St.range(0))).Html;
  for (auto _ : St) {
    size_t Lt = 0;
    for (const char *P = S.data(), *E = P + S.size(); (P = static_cast<const char *>(std::memchr(P, '<', E - P))); ++P) ++Lt;
    std::string Fresh;
    Fresh.reserve(S.size());
    Fresh.append(S);
    S.swap(Fresh);
    benchmark::DoNotOptimize(Lt);
    benchmark::DoNotOptimize(S.data());
  }
  St.SetBytesProcessed(static_cast<int64_t>(St.iterations() * S.size()));
}

void BM_ClearSubStr(benchmark::State &St) {
  const std::string &H = Page(static_cast<size_t>(St.range(0))).Html;
  std::string S;
  for (auto _ : St) {
    St.PauseTiming();
    S = H;
    St.ResumeTiming();
    if (!Clear_Sub_Str(S, "<script", "</script>")) St.SkipWithError("Clear_Sub_Str failed");
    benchmark::DoNotOptimize(S.data());
  }
  St.SetBytesProcessed(static_cast<int64_t>(St.iterations() * H.size()));
}

// Every picture is also listed under its rewritten src (as the editor lists
// a second spelling of a src), so each call's result is the next call's
// input with the same work, and no copy of the page runs between the calls.
void BM_ChgImgLink(benchmark::State &St) {
  const TBenchPage &P = Page(static_cast<size_t>(St.range(0)));
  std::vector<std::string> Raw = P.Raw, Local = P.Local;
  for (size_t I = 0; I < P.Raw.size(); ++I) {
    Raw.push_back("Field notes.files/" + P.Local[I].substr(P.Local[I].rfind('/') + 1));
    Local.push_back(P.Local[I]);
  }
  std::string S = P.Html;
  std::vector<int> Index{0};
  if (!Html_ChgImgLink(S, static_cast<int>(P.Raw.size()), Raw, Local, Index)) St.SkipWithError("Html_ChgImgLink failed");
  for (auto _ : St) {
    if (!Html_ChgImgLink(S, static_cast<int>(P.Raw.size()), Raw, Local, Index)) St.SkipWithError("Html_ChgImgLink failed");
    benchmark::DoNotOptimize(S.data());
  }
  St.SetBytesProcessed(static_cast<int64_t>(St.iterations() * S.size()));
  St.SetLabel(Format("%d pictures", {static_cast<int>(P.Raw.size())}));
}

}  // namespace

BENCHMARK(BM_Memchr)->Arg(5)->Arg(10)->Arg(20)->Arg(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanCopyFloor)->Arg(5)->Arg(10)->Arg(20)->Arg(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClearSubStr)->Arg(5)->Arg(10)->Arg(20)->Arg(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChgImgLink)->Arg(5)->Arg(10)->Arg(20)->Arg(40)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
