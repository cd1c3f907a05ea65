// How the forms a picture comes in are read: srcset values, CSS url()
// references, picture types, and the newer parts of a page snapshot.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editors/uCssUrl.h"
#include "editors/uImgChoose.h"
#include "editors/uImgType.h"
#include "support/TSnapshotBuilder.h"

namespace {

std::string Show(const std::vector<TImgCand> &L) {
  std::string S;
  for (const TImgCand &C : L) {
    if (!S.empty()) S += " | ";
    S += C.Url;
    if (C.W > 0) S += " " + std::to_string(static_cast<int>(C.W)) + "w";
    if (C.X > 0) S += " " + std::to_string(C.X).substr(0, 3) + "x";
  }
  return S;
}

}  // namespace

TEST(Srcset, IsReadAsBrowsersReadIt) {
  struct {
    const char *Value, *Want;
  } Cases[] = {
      {"a.jpg 1x, b.jpg 2x", "a.jpg 1.0x | b.jpg 2.0x"},
      {"a.jpg 480w,b.jpg 960w", "a.jpg 480w | b.jpg 960w"},
      {"  a.jpg  ", "a.jpg"},
      {"a.jpg, b.jpg 1.5x", "a.jpg | b.jpg 1.5x"},
      {"a.jpg,b.jpg", "a.jpg,b.jpg"},  // no blank: one address holding a comma
      {"data:image/gif;base64,R0lGOD 1x, big.jpg 2x", "data:image/gif;base64,R0lGOD 1.0x | big.jpg 2.0x"},
      {"a.jpg 0w, b.jpg -1x, c.jpg 1x 2x, d.jpg 100h, e.jpg 3q, f.jpg 640W", "f.jpg 640w"},
      {"a.jpg 100w 50h", "a.jpg 100w"},
      {"a.jpg 1.5w", ""},
      {",,, a.jpg 2x,,", "a.jpg 2.0x"},
      {"x.jpg 2x (junk, more), y.jpg 3x", "y.jpg 3.0x"},
      {"", ""},
  };
  for (const auto &T : Cases) EXPECT_EQ(Show(Img_ParseSrcset(T.Value)), T.Want) << T.Value;
}

TEST(Srcset, RemembersWhereEachAddressStands) {
  const std::string V = " a.jpg 1x,\n  bb.jpg 2x";
  auto L = Img_ParseSrcset(V);
  ASSERT_EQ(L.size(), 2u);
  EXPECT_EQ(V.substr(L[0].Start, L[0].Url.size()), "a.jpg");
  EXPECT_EQ(V.substr(L[1].Start, L[1].Url.size()), "bb.jpg");
}

TEST(CssUrl, FindsEveryReferenceAsWritten) {
  struct {
    const char *Css;
    std::vector<std::string> Urls;
  } Cases[] = {
      {R"(background: url("a.png") no-repeat)", {"a.png"}},
      {"background:url('b c.png'),url(  d.png  )", {"b c.png", "d.png"}},
      {R"(x{background:URL(e.png)} /* url(no.png) */ y{b:url("f\".png")})", {"e.png", "f\".png"}},
      {R"(url(g\29 h.png))", {"g)h.png"}},
      {R"~(content: "url(not.png)"; background: url(i.png))~", {"i.png"}},
      {"image-set(url(j1.png) 1x, 'j2.png' 2x)", {"j1.png", "j2.png"}},
      {"curl(k.png)", {}},
      {"url(never-closed.png", {}},
  };
  for (const auto &T : Cases) {
    std::vector<std::string> Got;
    for (const TCssUrl &U : Css_Urls(T.Css)) Got.push_back(U.Url);
    EXPECT_EQ(Got, T.Urls) << T.Css;
  }
  const std::string Css = "a{background:url( 'x.png' ) red}";
  auto L = Css_Urls(Css);
  ASSERT_EQ(L.size(), 1u);
  EXPECT_EQ(Css.substr(L[0].Start, L[0].Len), "url( 'x.png' )");
  EXPECT_EQ(Css_UrlRef("a\"b\\c.png"), R"(url("a\"b\\c.png"))");
}

TEST(ImgType, TodaysTypesAreNamedAndCountWithTheOthers) {
  struct {
    const char *Ext, *Type, *Text;
    int Code;
  } Exts[] = {{".jpg", "jpg", "JPG", 1},    {"GIF", "gif", "GIF", 2},     {".Png", "png", "PNG", 3}, {".bmp", "bmp", "BMP", 4},
              {".webp", "webp", "WEBP", 5}, {".AVIF", "avif", "AVIF", 5}, {".svg", "svg", "SVG", 5}, {".ico", "ico", "ICO", 5},
              {".jpeg", "", "?", 5},        {".tiff", "", "?", 5},        {"", "", "?", 5}};
  for (const auto &T : Exts) {
    EXPECT_EQ(Img_TypeOfExt(T.Ext), T.Type) << T.Ext;
    EXPECT_EQ(Img_TypeText(Img_TypeOfExt(T.Ext)), T.Text) << T.Ext;
    EXPECT_EQ(Img_TypeCode(Img_TypeOfExt(T.Ext)), T.Code) << T.Ext;
  }
  struct {
    const char *Text, *Type;
  } Texts[] = {{"JPEG Image", "jpg"},   {"GIF Image", "gif"},
               {"PNG Image", "png"},    {"Bitmap Image", ""},
               {"WebP Image", "webp"},  {"AVIF Image", "avif"},
               {"SVG Image", "svg"},    {"Icon Image", "ico"},
               {"image/jpeg", "jpg"},   {"image/webp", "webp"},
               {"IMAGE/AVIF", "avif"},  {"image/svg+xml; charset=utf-8", "svg"},
               {"image/x-icon", "ico"}, {"image/vnd.microsoft.icon", "ico"},
               {"image/bmp", "bmp"},    {"image/jxl", ""},
               {"text/html", ""},       {"", ""}};
  for (const auto &T : Texts) EXPECT_EQ(Img_TypeOfText(T.Text), T.Type) << T.Text;
}

TEST(ImgType, AddressesAndNames) {
  for (const char *U : {"http://a.test/p.jpg", "http://a.test/P.JPEG?x=1", "http://a.test/d/i.webp#f", "http://a.test/i.avif",
                        "http://a.test/logo.svg", "http://a.test/favicon.ico", "http://a.test/x.jpe"})
    EXPECT_TRUE(Img_UrlNamesPicture(U)) << U;
  for (const char *U :
       {"http://a.test/photo.html", "http://a.test/view?id=3.jpg", "http://a.test/", "http://a.test/jpg", "http://a.test/p.jpg/"})
    EXPECT_FALSE(Img_UrlNamesPicture(U)) << U;
  EXPECT_EQ(Img_NameForType("pic", "webp"), "pic.webp");
  EXPECT_EQ(Img_NameForType("pic.jpg", "webp"), "pic.jpg");
  EXPECT_EQ(Img_NameForType("pic", ""), "pic");
  EXPECT_EQ(Img_NameForType(".hidden", "png"), ".hidden.png");
}

TEST(SnapshotPictures, NewerPartsAreReadAndResolvedAgainstTheDocument) {
  TSnapshotBuilder B;
  B.Url("http://pics.test/news/story.html")
      .Image({.Src = "http://pics.test/news/img/h-480.jpg", .Width = 480, .Height = 320})
      .Set("document.images[0].currentSrc", R"("http://pics.test/news/img/h-960.jpg")")
      .Set("document.images[0].naturalWidth", "960")
      .Set("document.images[0].naturalHeight", "640")
      .Set("document.images[0].srcset", R"("img/h-480.jpg 480w, img/h-1920.jpg 1920w, /img/h-960.jpg 960w")")
      .Set("document.images[0].link", R"("http://pics.test/news/full.html")")
      .Set("document.images[0].data", R"({"data-src": "img/lazy.jpg", "DATA-FULL": "../full/h.jpg", "data-other": "x"})")
      .Set("document.images[0].sources",
           R"([{"srcset": "img/h.avif 2000w", "type": "image/avif", "supported": true},
               {"srcset": "img/h.jxl 4000w", "type": "image/jxl", "supported": false},
               {"type": "image/webp", "data": {"data-srcset": "img/h.webp 2400w"}}])")
      .Set("document.backgrounds", R"~([{"tagName": "div", "image": "url(\"http://pics.test/hero.jpg\")", "width": 1200,
               "height": 400}, {"tagName": "p", "image": 7, "width": 1, "height": 1}])~");
  TPageSnapshot S = B.Parse();
  auto Doc = S.Window()->Document();
  auto Img = std::dynamic_pointer_cast<THtmlImgElement>(Doc->Images().Item(0));
  ASSERT_TRUE(Img);
  TImgFacts F = Img_FactsOf(*Img, *Doc);
  EXPECT_EQ(F.CurrentSrc, "http://pics.test/news/img/h-960.jpg");
  EXPECT_EQ(F.NaturalWidth, 960);
  EXPECT_EQ(Show(F.Srcset),
            "http://pics.test/news/img/h-480.jpg 480w | http://pics.test/news/img/h-1920.jpg 1920w | "
            "http://pics.test/img/h-960.jpg 960w");
  ASSERT_EQ(F.Sources.size(), 3u);
  EXPECT_FALSE(F.Sources[1].Supported);
  EXPECT_TRUE(F.Sources[2].Supported);  // a type this program knows, without the browser's word
  EXPECT_EQ(Show(F.Sources[2].Cands), "http://pics.test/news/img/h.webp 2400w");
  // The lazy attributes in the order of the list, the unknown one left out.
  EXPECT_EQ(Show(F.Lazy), "http://pics.test/news/img/lazy.jpg | http://pics.test/full/h.jpg");
  EXPECT_EQ(F.LazyFullSize, (std::vector<bool>{false, true}));
  // The webp of the lazy <source> is the widest the browser can show.
  EXPECT_EQ(Img_Choose(F).Url, "http://pics.test/news/img/h.webp");

  auto All = Img_PagePictures(*Doc);
  ASSERT_EQ(All.size(), 2u);
  EXPECT_EQ(All[1].Choice.Url, "http://pics.test/hero.jpg");
  EXPECT_EQ(All[1].Image, -1);
  EXPECT_EQ(All[1].Choice.Width, 1200);
  ASSERT_EQ(Doc->Backgrounds().size(), 2u);
  EXPECT_FALSE(Doc->Backgrounds()[1].Ok());
}

TEST(SnapshotPictures, AnOlderSnapshotChoosesEveryPictureByItsSrcAsBefore) {
  TPageSnapshot S = TSnapshotBuilder()
                        .Image({.Src = "http://pics.test/a.png", .Width = 30, .Height = 20})
                        .Image({.Src = "http://pics.test/b.png", .Width = 300, .Height = 200})
                        .Parse();
  auto Doc = S.Window()->Document();
  EXPECT_TRUE(Doc->Backgrounds().empty());
  auto All = Img_PagePictures(*Doc);
  ASSERT_EQ(All.size(), 2u);
  EXPECT_EQ(All[0].Choice.Url, "http://pics.test/a.png");
  EXPECT_EQ(All[0].Choice.From, ifSrc);
  EXPECT_EQ(All[1].Choice.Width, 300);
  EXPECT_EQ(All[1].Choice.Height, 200);
}

TEST(SnapshotPictures, MalformedNewerPartsCountAsAbsent) {
  TPageSnapshot S = TSnapshotBuilder()
                        .Image({.Src = "http://pics.test/a.png", .Width = 30, .Height = 20})
                        .Set("document.images[0].srcset", "17")
                        .Set("document.images[0].sources", R"([{"srcset": 3}])")
                        .Set("document.images[0].data", R"({"data-src": ["x"]})")
                        .Set("document.images[0].naturalWidth", "-4")
                        .Parse();
  auto Doc = S.Window()->Document();
  auto Img = std::dynamic_pointer_cast<THtmlImgElement>(Doc->Images().Item(0));
  EXPECT_THROW(Img->Srcset(), EMossError);
  EXPECT_THROW(Img->Sources(), EMossError);
  EXPECT_THROW(Img->Data(), EMossError);
  TImgChoice C = Img_Choose(Img_FactsOf(*Img, *Doc));
  EXPECT_EQ(C.Url, "http://pics.test/a.png");
  EXPECT_EQ(C.Width, 30);
}

TEST(SnapshotPictures, TooManyBackgroundsRefuseTheSnapshot) {
  std::string List = "[";
  for (int I = 0; I <= TPageSnapshot::MaxBackgrounds; ++I) List += std::string(I ? "," : "") + "{}";
  List += "]";
  EXPECT_THROW(TSnapshotBuilder().Set("document.backgrounds", List).Parse(), EMossError);
  EXPECT_THROW(TSnapshotBuilder().Set("document.backgrounds", "{}").Parse().Window()->Document()->Backgrounds(), EMossError);
}
