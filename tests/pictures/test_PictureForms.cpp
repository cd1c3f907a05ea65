// The picture editor's items for pictures a page offers in more than one
// form: each item is the largest form (responsive, lazy, linked, <picture>
// sources), background pictures are items too, the same picture met in two
// forms is one item, and today's picture types are named right.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editors/uImgItems.h"
#include "platform/TPageSnapshot.h"
#include "support/TSnapshotBuilder.h"

namespace {

const char *const Page = "http://pics.test/news/story.html";

std::string Img(int I, const char *Key) { return "document.images[" + std::to_string(I) + "]." + Key; }

TVIBItems Collect(const TSnapshotBuilder &B, bool IgnTiny = true, bool IgnBar = true) {
  TPageSnapshot S = B.Parse();
  TVIBItems Out;
  Img_CollectAll(*S.Window()->Document(), IgnTiny, IgnBar, 3, Out);
  return Out;
}

struct TWant {
  std::string Url;
  int32_t W, H;
  std::string Name, Ext, Type;
  uint8_t Code;
  int64_t Bytes;
};

void Expect(const TVIBItems &Got, const std::vector<TWant> &Want) {
  ASSERT_EQ(Got.size(), Want.size());
  for (size_t I = 0; I < Want.size(); ++I) {
    SCOPED_TRACE(Want[I].Url);
    EXPECT_EQ(Got[I]->Url, Want[I].Url);
    EXPECT_EQ(Got[I]->Width, Want[I].W);
    EXPECT_EQ(Got[I]->Height, Want[I].H);
    EXPECT_EQ(Got[I]->Area, int64_t{Want[I].W} * Want[I].H);
    EXPECT_EQ(Got[I]->FileName, Want[I].Name);
    EXPECT_EQ(Got[I]->FileExt, Want[I].Ext);
    EXPECT_EQ(Got[I]->TypeText, Want[I].Type);
    EXPECT_EQ(Got[I]->TypeCode, Want[I].Code);
    EXPECT_EQ(Got[I]->FileSize, Want[I].Bytes);
  }
}

}  // namespace

TEST(PictureForms, EachPictureIsItsLargestFormAtItsTrueSize) {
  TSnapshotBuilder B;
  B.Url(Page)
      // 0: a news picture with width descriptors, shown at 480 x 320.
      .Image({.Src = "http://pics.test/news/img/h-480.jpg", .Width = 480, .Height = 320, .FileSize = "5000"})
      .Set(Img(0, "currentSrc"), R"("http://pics.test/news/img/h-960.jpg")")
      .Set(Img(0, "naturalWidth"), "960")
      .Set(Img(0, "naturalHeight"), "640")
      .Set(Img(0, "srcset"), R"("img/h-480.jpg 480w, img/h-960.jpg 960w, img/h-1920.jpg 1920w")")
      // 1: a lazy picture with a data: placeholder in src.
      .Image({.Src = "data:image/gif;base64,R0lGODlhAQABAAAAACw=", .Width = 300, .Height = 200, .MimeType = "GIF Image"})
      .Set(Img(1, "naturalWidth"), "1")
      .Set(Img(1, "naturalHeight"), "1")
      .Set(Img(1, "data"), R"({"data-src": "img/lazy.jpg"})")
      // 2: a thumbnail linking to its full-size picture.
      .Image({.Src = "http://pics.test/thumbs/t1.jpg", .Width = 150, .Height = 100, .FileSize = "900"})
      .Set(Img(2, "link"), R"("http://pics.test/full/f1.jpg")")
      // 3: a <picture> whose AVIF source the browser cannot show.
      .Image({.Src = "http://pics.test/p/fallback.jpg", .Width = 400, .Height = 300, .FileSize = "7000"})
      .Set(Img(3, "currentSrc"), R"("http://pics.test/p/fallback.jpg")")
      .Set(Img(3, "naturalWidth"), "400")
      .Set(Img(3, "naturalHeight"), "300")
      .Set(Img(3, "sources"), R"([{"srcset": "/p/pic.avif 2x", "type": "image/avif", "supported": false},
                                  {"srcset": "/p/pic 2x", "type": "image/webp", "supported": true}])")
      // 4: a plain picture, exactly as always.
      .Image({.Src = "http://pics.test/plain.png", .Width = 250, .Height = 250, .MimeType = "PNG Image", .FileSize = "321"})
      .Set("document.backgrounds", R"~([{"tagName": "div", "image": "url(\"http://pics.test/hero.webp\")", "width": 1200,
                                        "height": 400}])~");
  Expect(Collect(B), {
                         {"http://pics.test/news/img/h-1920.jpg", 1920, 1280, "h-1920", ".jpg", "JPG", itJpg, -1},
                         {"http://pics.test/news/img/lazy.jpg", 300, 200, "lazy", ".jpg", "JPG", itJpg, -1},
                         {"http://pics.test/full/f1.jpg", 150, 100, "f1", ".jpg", "JPG", itJpg, -1},
                         // No extension: the type of its <source> gives one.
                         {"http://pics.test/p/pic", 800, 600, "pic", ".webp", "WEBP", itUnknown, -1},
                         {"http://pics.test/plain.png", 250, 250, "plain", ".png", "PNG", itPng, 321},
                         {"http://pics.test/hero.webp", 1200, 400, "hero", ".webp", "WEBP", itUnknown, -1},
                     });
}

TEST(PictureForms, TheTypeTextAndByteCountOfTheSrcStayWithTheSrc) {
  // The browser shows the largest form, but the page's type text and byte
  // count are those of the src: the item of the larger form has neither.
  TSnapshotBuilder B;
  B.Url(Page)
      .Image({.Src = "http://pics.test/s.jpg", .Width = 200, .Height = 100, .MimeType = "WebP Image", .FileSize = "4444"})
      .Set(Img(0, "currentSrc"), R"("http://pics.test/big")")
      // Read at its density: 800 x 400 shown as 4x.
      .Set(Img(0, "naturalWidth"), "200")
      .Set(Img(0, "naturalHeight"), "100")
      .Set(Img(0, "srcset"), R"("/s.jpg 1x, /big 4x")");
  Expect(Collect(B), {{"http://pics.test/big", 800, 400, "big", "", "?", itUnknown, -1}});

  TSnapshotBuilder C;
  C.Url(Page)
      .Image({.Src = "http://pics.test/icon", .Width = 64, .Height = 64, .MimeType = "Icon Image", .FileSize = "1150"})
      .Set(Img(0, "currentSrc"), R"("http://pics.test/icon")");
  Expect(Collect(C), {{"http://pics.test/icon", 64, 64, "icon", ".ico", "ICO", itUnknown, 1150}});
}

TEST(PictureForms, OnePictureMetInSeveralFormsIsOneItem) {
  TSnapshotBuilder B;
  B.Url(Page)
      // A thumbnail whose srcset offers the picture a later element shows.
      .Image({.Src = "http://pics.test/a-small.jpg", .Width = 200, .Height = 100})
      .Set(Img(0, "srcset"), R"("/a-small.jpg 200w, /a-big.jpg 1000w")")
      .Image({.Src = "http://pics.test/a-big.jpg", .Width = 1000, .Height = 500})
      // Two thumbnails linking to the same full-size picture.
      .Image({.Src = "http://pics.test/t1.jpg", .Width = 120, .Height = 80})
      .Set(Img(2, "link"), R"("http://pics.test/full.png")")
      .Image({.Src = "http://pics.test/t2.jpg", .Width = 120, .Height = 80})
      .Set(Img(3, "link"), R"("HTTP://PICS.TEST/full.png")")
      // A background that repeats a picture element's address, and a
      // gradient, which is no picture.
      .Set("document.backgrounds", R"~([{"tagName": "div", "image": "url(\"http://pics.test/a-big.jpg\")", "width": 50,
                                        "height": 50},
                                       {"tagName": "div", "image": "linear-gradient(red, blue)", "width": 900,
                                        "height": 300}])~");
  TVIBItems I = Collect(B);
  ASSERT_EQ(I.size(), 2u);
  EXPECT_EQ(I[0]->Url, "http://pics.test/a-big.jpg");
  EXPECT_EQ(I[0]->Width, 1000);
  EXPECT_EQ(I[1]->Url, "http://pics.test/full.png");
}

TEST(PictureForms, FiltersJudgeTheChosenFormAndBackgroundsPassThemToo) {
  TSnapshotBuilder B;
  B.Url(Page)
      // A one-pixel spacer whose lazy address is a real picture passes the
      // tiny filter at its own size.
      .Image({.Src = "http://pics.test/spacer.gif", .Width = 400, .Height = 300})
      .Set(Img(0, "currentSrc"), R"("http://pics.test/spacer.gif")")
      .Set(Img(0, "naturalWidth"), "1")
      .Set(Img(0, "naturalHeight"), "1")
      .Set(Img(0, "data"), R"({"data-original": "/real.jpg"})")
      .Set("document.backgrounds", R"~([{"tagName": "hr", "image": "url(\"http://pics.test/rule.png\")", "width": 900,
                                        "height": 2},
                                       {"tagName": "i", "image": "url(\"http://pics.test/dot.png\")", "width": 6,
                                        "height": 6},
                                       {"tagName": "div", "image": 5, "width": 1, "height": 1},
                                       {"tagName": "div", "image": "url(\"http://pics.test/hero.avif\")", "width": 1000,
                                        "height": 500}])~");
  TVIBItems I = Collect(B);
  ASSERT_EQ(I.size(), 2u);
  EXPECT_EQ(I[0]->Url, "http://pics.test/real.jpg");
  EXPECT_EQ(I[1]->Url, "http://pics.test/hero.avif");
  EXPECT_EQ(I[1]->TypeText, "AVIF");
  EXPECT_EQ(Collect(B, false, false).size(), 4u);  // the rule and the dot too; the unreadable entry alone is lost
}

TEST(PictureForms, TodaysTypesShowOnlyUnderAll) {
  TSnapshotBuilder B;
  B.Url(Page);
  const char *Urls[] = {"http://pics.test/a.WEBP", "http://pics.test/b.avif", "http://pics.test/c.svg",
                        "http://pics.test/d.ico",  "http://pics.test/e.jpg",  "http://pics.test/f.png"};
  for (const char *U : Urls) B.Image({.Src = U, .Width = 300, .Height = 300, .MimeType = ""});
  TVIBItems I = Collect(B);
  ASSERT_EQ(I.size(), 6u);
  EXPECT_EQ(I[0]->FileExt, ".WEBP");
  EXPECT_EQ(I[0]->TypeText, "WEBP");
  EXPECT_EQ(I[2]->TypeText, "SVG");
  EXPECT_EQ(I[3]->TypeText, "ICO");
  EXPECT_EQ(Img_Filter(I, 0, 0).size(), 6u);
  EXPECT_EQ(Img_Filter(I, 0, itJpg).size(), 1u);
  EXPECT_EQ(Img_Filter(I, 0, itPng).size(), 1u);
  TImgCounts N = Img_Count(I);
  EXPECT_EQ(N.Jpg + N.Gif + N.Png, 2);
  // The sort by type gathers the four old types first; the new ones stay behind.
  TVIBList L = Img_Filter(I, 0, 0);
  Img_SortType(L, true);
  EXPECT_EQ(L[0]->TypeText, "JPG");
  EXPECT_EQ(L[1]->TypeText, "PNG");
}

TEST(PictureForms, ThePictureUnderTheMouseIsTakenInItsLargestForm) {
  TPageSnapshot S = TSnapshotBuilder()
                        .Url(Page)
                        .Image({.Src = "http://pics.test/t.jpg", .Width = 100, .Height = 80})
                        .Set(Img(0, "data"), R"({"data-hi-res": "big/t.jpg"})")
                        .ElementIndex(0)
                        .Parse();
  auto Doc = S.Window()->Document();
  EXPECT_EQ(Img_CollectOne(S.Element(), 1, Doc.get())->Url, "http://pics.test/news/big/t.jpg");
  EXPECT_EQ(Img_CollectOne(S.Element(), 1)->Url, "http://pics.test/t.jpg");  // no document: its src
}
