// The rule that picks the address standing for each picture: one table of
// the forms a page offers a picture in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editors/uImgChoose.h"

namespace {

const std::string H = "http://pics.test/";

TImgCand C(const std::string &Name, double W = 0, double X = 0) { return {H + Name, W, X}; }

TImgFacts Plain(const std::string &Src, int W, int Ht) {
  TImgFacts F;
  F.Src = F.CurrentSrc = H + Src;
  F.Width = W;
  F.Height = Ht;
  return F;
}

TImgFacts NoSrc(int W, int Ht) {
  TImgFacts F;
  F.Width = W;
  F.Height = Ht;
  return F;
}

TImgFacts Loaded(TImgFacts F, const std::string &Current, int NW, int NH) {
  F.CurrentSrc = Current.rfind("data:", 0) == 0 ? Current : H + Current;
  F.NaturalWidth = NW;
  F.NaturalHeight = NH;
  return F;
}

TImgFacts WithSrcset(TImgFacts F, std::vector<TImgCand> L) {
  F.Srcset = std::move(L);
  return F;
}

TImgFacts WithSource(TImgFacts F, const std::string &Type, bool Supported, std::vector<TImgCand> L) {
  F.Sources.push_back({Type, Supported, std::move(L)});
  return F;
}

TImgFacts WithLazy(TImgFacts F, TImgCand Cand, bool FullSize = false) {
  F.Lazy.push_back(std::move(Cand));
  F.LazyFullSize.push_back(FullSize);
  return F;
}

TImgFacts WithLink(TImgFacts F, const std::string &Href) {
  F.Link = H + Href;
  return F;
}

const std::string Gif1px = "data:image/gif;base64,R0lGODlhAQABAAAAACw=";

struct TCase {
  const char *Name;
  TImgFacts Facts;
  std::string Url;  // without the host
  TImgForm From;
  int32_t Width, Height;
  bool TrueSize;
};

}  // namespace

TEST(ImgChoose, EachFormGivesItsLargestRealAddress) {
  TImgFacts Lazy = NoSrc(400, 300);
  Lazy.Src = Lazy.CurrentSrc = Gif1px;
  const TCase Cases[] = {
      {"a plain picture is its src at its rendered size, as before", Loaded(Plain("a.jpg", 100, 80), "a.jpg", 1000, 800), "a.jpg",
       ifSrc, 100, 80, false},
      {"w descriptors: the widest, its height in the picture's proportions",
       WithSrcset(Loaded(Plain("h-480.jpg", 480, 320), "h-960.jpg", 960, 640),
                  {C("h-480.jpg", 480), C("h-960.jpg", 960), C("h-1920.jpg", 1920)}),
       "h-1920.jpg", ifResponsive, 1920, 1280, true},
      {"x descriptors: the densest, at the rendered size times its density",
       WithSrcset(Loaded(Plain("s.jpg", 300, 200), "s.jpg", 300, 200), {C("s-2x.jpg", 0, 2), C("s-3x.jpg", 0, 3)}), "s-3x.jpg",
       ifResponsive, 900, 600, true},
      // The browser reports a candidate's natural size divided by its density.
      {"the candidate the browser shows: the size it read times its density",
       WithSrcset(Loaded(Plain("t.jpg", 300, 200), "t-2x.jpg", 305, 202), {C("t.jpg", 0, 1), C("t-2x.jpg", 0, 2)}), "t-2x.jpg",
       ifResponsive, 610, 404, true},
      {"the candidate the browser shows beside an equal later one: its width descriptor, not the size it read",
       WithSource(WithSource(Loaded(Plain("k-800.jpg", 800, 450), "k-1600.avif", 1280, 720), "image/avif", true,
                             {C("k-800.avif", 800), C("k-1600.avif", 1600)}),
                  "image/webp", true, {C("k-800.webp", 800), C("k-1600.webp", 1600)}),
       "k-1600.avif", ifResponsive, 1600, 900, true},
      {"<picture>: of equal sources, the one the browser tries first",
       WithSource(WithSource(Loaded(Plain("b-600.jpg", 600, 400), "b-600.avif", 600, 400), "image/avif", true,
                             {C("b-1200.avif", 1200), C("b-600.avif", 600)}),
                  "image/webp", true, {C("b-1200.webp", 1200)}),
       "b-1200.avif", ifResponsive, 1200, 800, true},
      {"a <source> of a type the browser cannot show is passed over",
       WithSource(
           WithSource(Loaded(Plain("c.jpg", 800, 600), "c-1600.webp", 1600, 1200), "image/jxl", false, {C("c-4000.jxl", 4000)}),
           "image/webp", true, {C("c-1600.webp", 1600)}),
       "c-1600.webp", ifResponsive, 1600, 1200, true},
      {"a data: placeholder next to a real data-src", WithLazy(Lazy, C("path-1200.jpg")), "path-1200.jpg", ifLazy, 400, 300,
       false},
      {"a lazy srcset: its widest candidate beats a data-src of untold size",
       WithLazy(WithLazy(WithLazy(Lazy, C("p-800.jpg")), C("p-600.jpg", 600)), C("p-1200.jpg", 1200)), "p-1200.jpg", ifLazy, 1200,
       900, true},
      {"a one-pixel spacer src next to data-original",
       WithLazy(Loaded(Plain("blank.gif", 320, 240), "blank.gif", 1, 1), C("y.jpg")), "y.jpg", ifLazy, 320, 240, false},
      {"a spacer in srcset is no candidate",
       WithLazy(WithSrcset(Loaded(Plain("blank.gif", 320, 240), "blank.gif", 1, 1), {C("blank.gif", 0, 1)}), C("z-640.jpg", 640)),
       "z-640.jpg", ifLazy, 640, 480, true},
      {"a data: srcset placeholder is no candidate", WithLazy(WithSrcset(Lazy, {{Gif1px, 0, 1}}), C("q.jpg")), "q.jpg", ifLazy,
       400, 300, false},
      {"a full-size attribute beats a lazy srcset", WithLazy(WithLazy(Lazy, C("r-1200.jpg", 1200)), C("r-full.jpg"), true),
       "r-full.jpg", ifLazy, 400, 300, false},
      {"the linked full-size picture comes first",
       WithLink(WithSrcset(Loaded(Plain("thumb/1.jpg", 160, 120), "thumb/1.jpg", 160, 120), {C("thumb/1-2x.jpg", 0, 2)}),
                "full/1.JPG"),
       "full/1.JPG", ifLink, 160, 120, false},
      {"a link to a page that is no picture is passed over",
       WithLink(Loaded(Plain("thumb/2.jpg", 160, 120), "thumb/2.jpg", 160, 120), "photo/2.html"), "thumb/2.jpg", ifSrc, 160, 120,
       false},
      {"a link to an address without a picture's extension is passed over",
       WithLink(WithSrcset(Loaded(Plain("thumb/3.jpg", 160, 120), "thumb/3.jpg", 160, 120), {C("thumb/3-2x.jpg", 0, 2)}),
                "view?id=3"),
       "thumb/3-2x.jpg", ifResponsive, 320, 240, true},
      {"equal candidates: the first", WithSrcset(Plain("e.jpg", 400, 300), {C("e1.jpg", 800), C("e2.jpg", 800)}), "e1.jpg",
       ifResponsive, 800, 600, true},
      {"no src at all, but a data-src", WithLazy(NoSrc(200, 100), C("n.jpg")), "n.jpg", ifLazy, 200, 100, false},
      {"only placeholders besides src: the address shown", WithLazy(Loaded(Plain("m.jpg", 50, 40), "m.jpg", 500, 400), {Gif1px}),
       "m.jpg", ifCurrent, 500, 400, true},
  };
  for (const TCase &T : Cases) {
    const TImgChoice R = Img_Choose(T.Facts);
    EXPECT_EQ(R.Url, H + T.Url) << T.Name;
    EXPECT_EQ(R.From, T.From) << T.Name;
    EXPECT_EQ(R.Width, T.Width) << T.Name;
    EXPECT_EQ(R.Height, T.Height) << T.Name;
    EXPECT_EQ(R.TrueSize, T.TrueSize) << T.Name;
  }
}

TEST(ImgChoose, NothingRealLeavesTheSrcAsItIs) {
  TImgFacts F = WithLazy(NoSrc(10, 10), {Gif1px});
  F.Src = F.CurrentSrc = Gif1px;
  const TImgChoice R = Img_Choose(F);
  EXPECT_EQ(R.Url, Gif1px);
  EXPECT_EQ(R.From, ifSrc);
}

TEST(ImgChoose, BackgroundsGiveOnePicturePerUrlAndTheDensestOfAnImageSet) {
  struct {
    const char *Css;
    std::vector<std::string> Urls;
  } Cases[] = {
      {R"(url("http://p.test/hero.jpg"))", {"http://p.test/hero.jpg"}},
      {"none", {}},
      {"linear-gradient(rgb(0, 0, 0), rgba(0, 0, 0, 0.5))", {}},
      {R"(linear-gradient(red, blue), url("http://p.test/a.png"), url("http://p.test/b.png"))",
       {"http://p.test/a.png", "http://p.test/b.png"}},
      {R"(image-set(url("http://p.test/1x.jpg") 1x, url("http://p.test/2x.jpg") 2x))", {"http://p.test/2x.jpg"}},
      {R"(-webkit-image-set("http://p.test/lo.png" 1x, "http://p.test/hi.png" 192dpi))", {"http://p.test/hi.png"}},
      {R"(url("data:image/png;base64,iVBORw0KGgo="))", {}},
      {R"(url(data:image/gif;base64,R0lG), url(http://p.test/real.webp))", {"http://p.test/real.webp"}},
  };
  for (const auto &T : Cases) {
    std::vector<std::string> Got;
    for (const TImgChoice &C : Img_ChooseBackground(T.Css, 1200, 400)) {
      Got.push_back(C.Url);
      EXPECT_EQ(C.From, ifBackground);
      EXPECT_EQ(C.Width, 1200);
      EXPECT_EQ(C.Height, 400);
    }
    EXPECT_EQ(Got, T.Urls) << T.Css;
  }
}

TEST(ImgChoose, AddressesListEveryRealAddressOnceInOrder) {
  TImgFacts F = Plain("a.jpg", 10, 10);
  F.CurrentSrc = H + "a-2x.jpg";
  F.Srcset = {C("a.jpg", 0, 1), C("a-2x.jpg", 0, 2)};
  F.Sources = {{"image/jxl", false, {C("a.jxl")}}, {"image/webp", true, {C("a.webp"), {Gif1px}}}};
  F.Lazy = {C("A-big.jpg")};
  F.LazyFullSize = {true};
  F.Link = H + "full.jpg";
  const std::vector<std::string> Want = {H + "a.jpg", H + "a-2x.jpg", H + "a.webp", H + "A-big.jpg"};
  EXPECT_EQ(Img_Addresses(F), Want);
}
