// What the editors read from a sound snapshot: the window and its top, the
// documents, the elements by their tags, URL resolution and the cached bytes.
#include <gtest/gtest.h>

#include <filesystem>

#include "SnapshotTestUtil.h"
#include "support/TSnapshotBuilder.h"
#include "support/TestSupport.h"

namespace {

std::string Sample(const char *Name) { return std::string(MOSS_SNAPSHOT_DATA) + Name; }

}  // namespace

TEST(PageSnapshot, ATopLevelPageIsItsOwnTopAndItsTabsShellWindow) {
  const TPageSnapshot S = TSnapshotBuilder().Source("<html>x</html>").Parse();
  const auto Win = S.Window();
  EXPECT_EQ(Win->Top(), Win);
  const auto Shell = Win->Document()->ShellWindows();
  ASSERT_EQ(Shell.size(), 1u);
  EXPECT_EQ(Shell[0], Win->Document());
  EXPECT_EQ(Shell[0]->Source(), "<html>x</html>");
}

TEST(PageSnapshot, AFrameIsNotAmongTheShellWindowsButItsTopIs) {
  const TPageSnapshot S = TPageSnapshot::ParseFile(Sample("frame.json"));
  const auto Frame = S.Window();
  const auto Top = Frame->Top();
  ASSERT_NE(Top, Frame);
  EXPECT_EQ(Top->Top(), Top);
  EXPECT_EQ(Top->Document()->Url(), "http://example.test/news/index.html");
  const auto Shell = Frame->Document()->ShellWindows();
  ASSERT_EQ(Shell.size(), 1u);
  EXPECT_EQ(Shell[0], Top->Document());
  EXPECT_NE(Shell[0]->Url(), Frame->Document()->Url());
  // The top-level document carries only what finding the tab needs.
  EXPECT_SNAP_ERROR(Top->Document()->Images(), "\"topDocument.images\"");
}

TEST(PageSnapshot, TheElementIndexNamesTheImagesEntryItself) {
  const TPageSnapshot S = TPageSnapshot::ParseFile(Sample("one-picture.json"));
  const auto Elem = S.Element();
  EXPECT_EQ(Elem, S.Window()->Document()->Images().Item(1));
  const auto Img = std::dynamic_pointer_cast<THtmlImgElement>(Elem);
  ASSERT_TRUE(Img);
  EXPECT_EQ(Img->TagName(), "IMG");
  EXPECT_EQ(Img->Src(), "https://pics.example.test/album/full/7.JPG");
  EXPECT_EQ(Img->Width(), 1600);
  EXPECT_EQ(Img->Height(), 1200);
  EXPECT_EQ(Img->MimeType(), "JPEG Image");
  EXPECT_EQ(Img->FileSize(), "812345");
  EXPECT_EQ(TSnapshotBuilder().Parse().Element(), nullptr);
}

TEST(PageSnapshot, AnElementsClassFollowsItsTagNameInUpperCase) {
  struct TCase {
    const char *Tag, *Want;
    bool Img, Object, Embed;
  };
  const TCase Cases[] = {
      {"IMG", "IMG", true, false, false},     {"img", "IMG", true, false, false},  {"object", "OBJECT", false, true, false},
      {"Embed", "EMBED", false, false, true}, {"div", "DIV", false, false, false},
  };
  for (const TCase &C : Cases) {
    const auto E = TSnapshotBuilder().Element(C.Tag, "<x>").Parse().Element();
    ASSERT_TRUE(E) << C.Tag;
    EXPECT_EQ(E->TagName(), C.Want);
    EXPECT_EQ(E->OuterHtml(), "<x>");
    EXPECT_EQ(bool(std::dynamic_pointer_cast<THtmlImgElement>(E)), C.Img) << C.Tag;
    EXPECT_EQ(bool(std::dynamic_pointer_cast<THtmlObjectElement>(E)), C.Object) << C.Tag;
    EXPECT_EQ(bool(std::dynamic_pointer_cast<THtmlEmbedElement>(E)), C.Embed) << C.Tag;
  }
  // An entry's list implies its tag when it does not name one.
  const auto Doc = TSnapshotBuilder().Image({.Src = "http://h/a.png"}).Drop("document.images[0].tagName").Parse();
  EXPECT_EQ(Doc.Window()->Document()->Images().Item(0)->TagName(), "IMG");
  EXPECT_EQ(Doc.Window()->Document()->Body()->TagName(), "BODY");
  EXPECT_EQ(Doc.Window()->Document()->DocumentElement()->TagName(), "HTML");
}

TEST(PageSnapshot, AnchorHrefResolvesAgainstTheBaseHrefAndTheUrl) {
  struct TCase {
    const char *Base, *Ref, *Want;
  };
  const TCase Cases[] = {
      {nullptr, "movies/intro.swf", "http://example.test/dir/movies/intro.swf"},
      {nullptr, "../up.swf?v=2", "http://example.test/up.swf?v=2"},
      {nullptr, "//cdn.test/a.swf", "http://cdn.test/a.swf"},
      {nullptr, "", "http://example.test/dir/page.html"},
      {"https://other.test/base/", "a.swf", "https://other.test/base/a.swf"},
      {"/static/", "a.swf", "http://example.test/static/a.swf"},
      {"sub/", "a.swf", "http://example.test/dir/sub/a.swf"},
      {"/static/", "ftp://f.test/a.swf", "ftp://f.test/a.swf"},
  };
  for (const TCase &C : Cases) {
    TSnapshotBuilder B;
    if (C.Base) B.BaseHref(C.Base);
    EXPECT_EQ(B.Parse().Window()->Document()->AnchorHref(C.Ref), C.Want) << C.Base << " + " << C.Ref;
  }
  const TPageSnapshot NoUrl = TSnapshotBuilder().Drop("document.url").Parse();
  EXPECT_SNAP_ERROR(NoUrl.Window()->Document()->AnchorHref("a.swf"), "\"document.url\"");
}

TEST(PageSnapshot, OnlyElementsThatHostFlashHaveAMovie) {
  const auto Doc = TPageSnapshot::ParseFile(Sample("flash.json")).Window()->Document();
  ASSERT_EQ(Doc->Objects().Length(), 2);
  ASSERT_EQ(Doc->Embeds().Length(), 2);
  const auto Obj = std::dynamic_pointer_cast<THtmlObjectElement>(Doc->Objects().Item(0));
  ASSERT_TRUE(Obj && Obj->Flash());
  EXPECT_EQ(Obj->Flash()->Movie(), "movies/intro.swf");
  EXPECT_EQ(Obj->Width(), "550");
  const auto Video = std::dynamic_pointer_cast<THtmlObjectElement>(Doc->Objects().Item(1));
  ASSERT_TRUE(Video);
  EXPECT_EQ(Video->Flash(), nullptr);
  EXPECT_EQ(Video->Width(), "100%");
  EXPECT_EQ(Video->Height(), "");
  EXPECT_EQ(Doc->Embeds().Item(1)->Flash()->Movie(), "/shared/score.swf?v=2");
  EXPECT_EQ(Doc->AnchorHref(Obj->Flash()->Movie()), "http://example.test/games/arcade/movies/intro.swf");

  // Flash without a movie fails at the movie, as a player whose Movie cannot be read.
  const auto NoMovie = TSnapshotBuilder().Embed({.Movie = "a.swf"}).Drop("document.embeds[0].movie").Parse().Window()->Document();
  ASSERT_TRUE(NoMovie->Embeds().Item(0)->Flash());
  EXPECT_SNAP_ERROR(NoMovie->Embeds().Item(0)->Flash()->Movie(), "\"document.embeds[0].movie\"");
}

TEST(PageSnapshot, SizesWrittenAsNumbersReadAsTheirText) {
  const auto Doc = TSnapshotBuilder()
                       .Set("document.fileSize", "1234")
                       .Image({.Src = "http://h/a.png"})
                       .Set("document.images[0].fileSize", "-1")
                       .Object({.Movie = "a.swf"})
                       .Set("document.objects[0].width", "640")
                       .Parse()
                       .Window()
                       ->Document();
  EXPECT_EQ(Doc->FileSize(), "1234");
  EXPECT_EQ(std::dynamic_pointer_cast<THtmlImgElement>(Doc->Images().Item(0))->FileSize(), "-1");
  EXPECT_EQ(std::dynamic_pointer_cast<THtmlPluginElement>(Doc->Objects().Item(0))->Width(), "640");
}

TEST(PageSnapshot, TextsArriveAsUtf8AndKeepEveryCharacter) {
  const auto Doc = TSnapshotBuilder()
                       .Set("document.title", R"("caf\u00e9 \u20ac \ud83d\ude00")")
                       .Set("document.body.outerText", R"("a\u0000b")")
                       .Parse()
                       .Window()
                       ->Document();
  EXPECT_EQ(Doc->Title(), "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
  EXPECT_EQ(Doc->Body()->OuterText(), std::string("a\0b", 3));
}

TEST(PageSnapshot, SourceKeepsTheBytesAsTheBrowserReceivedThem) {
  const std::string Bytes("<html>\xc4\xe3\xba\xc3\x00\xff</html>", 17);
  EXPECT_EQ(TSnapshotBuilder().Source(Bytes).Parse().Window()->Document()->Source(), Bytes);
  EXPECT_EQ(TSnapshotBuilder().Set("document.source", R"("<p>\u00e9</p>")").Parse().Window()->Document()->Source(),
            "<p>\xc3\xa9</p>");
  const auto Both = TSnapshotBuilder().Source("a").Set("document.source", R"("a")").Parse();
  EXPECT_SNAP_ERROR(Both.Window()->Document()->Source(), "both");
  EXPECT_SNAP_ERROR(TSnapshotBuilder().Parse().Window()->Document()->Source(), "\"document.source\"");
}

TEST(PageSnapshot, CachedFilesCarryTheirDecodedBytesAndFailOneByOne) {
  const std::string Gif("GIF89a\x01\x00\x01\x00\x00\xff", 12);
  const TPageSnapshot S = TSnapshotBuilder()
                              .Cached("http://h/a.gif", Gif)
                              .Cached("http://h/b.gif", "x")
                              .Set("cache[1].base64", R"("not base64!")")
                              .Set("cache[2]", "7")
                              .Parse();
  const auto &Files = S.CachedFiles();
  ASSERT_EQ(Files.size(), 3u);
  EXPECT_EQ(Files[0].Url(), "http://h/a.gif");
  EXPECT_EQ(Files[0].Bytes(), Gif);
  EXPECT_EQ(Files[1].Url(), "http://h/b.gif");
  EXPECT_SNAP_ERROR(Files[1].Bytes(), "\"cache[1].base64\" is not base64");
  EXPECT_SNAP_ERROR(Files[2].Url(), "\"cache[2]\"");
  EXPECT_TRUE(TSnapshotBuilder().Parse().CachedFiles().empty());
  EXPECT_SNAP_ERROR(TSnapshotBuilder().Set("cache", "{}").Parse().CachedFiles(), "\"cache\" is not a list");
}

TEST(PageSnapshot, TheBrowsersIdentityIsReadAndUnusableCookiesAreLeftOut) {
  const TPageSnapshot S = TSnapshotBuilder()
                              .InFrame("http://top.test/")
                              .Set("userAgent", R"("Mozilla/5.0 Test")")
                              .Set("cookies", R"([{"name":"sid","value":"1","domain":".example.test","path":"/a","secure":true,
                              "httpOnly":true,"session":false,"expirationDate":2000000000.5},
                             {"name":"host","value":"2","domain":"example.test"},
                             {"name":"gone","value":"3","domain":"x.test","session":true,"expirationDate":5},
                             {"name":"nodomain","value":"4","domain":""},
                             {"name":7,"value":"5","domain":"x.test"},
                             "no cookie"])")
                              .Parse();
  // A frame tells what its tab's browser told.
  for (const auto &W : {S.Window(), S.Window()->Top()}) {
    EXPECT_EQ(W->UserAgent(), "Mozilla/5.0 Test");
    const auto &C = W->Cookies();
    ASSERT_EQ(C.size(), 3u);
    EXPECT_EQ(C[0].Name, "sid");
    EXPECT_EQ(C[0].Path, "/a");
    EXPECT_FALSE(C[0].HostOnly);  // told by the leading dot
    EXPECT_TRUE(C[0].Secure);
    EXPECT_DOUBLE_EQ(C[0].ExpirationDate, 2000000000.5);
    EXPECT_EQ(C[1].Path, "/");
    EXPECT_TRUE(C[1].HostOnly);
    EXPECT_EQ(C[2].ExpirationDate, 0);  // a session cookie never expires within the job
  }
  // An older extension tells nothing: the program's own request stands.
  const TPageSnapshot Old = TSnapshotBuilder().Parse();
  EXPECT_EQ(Old.Window()->UserAgent(), "");
  EXPECT_TRUE(Old.Window()->Cookies().empty());
  EXPECT_SNAP_ERROR(TSnapshotBuilder().Set("cookies", "{}").Parse().Window()->Cookies(), "\"cookies\" is not a list");
  EXPECT_SNAP_ERROR(TSnapshotBuilder().Set("userAgent", "5").Parse().Window()->UserAgent(), "\"userAgent\"");
}

TEST(PageSnapshot, ObjectsOutliveTheSnapshotTheyCameFrom) {
  std::shared_ptr<THtmlElement> Elem;
  std::shared_ptr<THtmlWindow> Top;
  std::shared_ptr<THtmlDocument> Doc;
  {
    const TPageSnapshot S =
        TSnapshotBuilder().Image({.Src = "http://h/a.jpg"}).ElementIndex(0).InFrame("http://h/top.html").Parse();
    Elem = S.Element();
    Top = S.Window()->Top();
    Doc = S.Window()->Document();
  }
  EXPECT_EQ(std::dynamic_pointer_cast<THtmlImgElement>(Elem)->Src(), "http://h/a.jpg");
  EXPECT_EQ(Top->Top()->Document()->Url(), "http://h/top.html");
  EXPECT_EQ(Doc->ShellWindows()[0]->Url(), "http://h/top.html");
}

TEST(PageSnapshot, TheSampleSnapshotsReadAsWritten) {
  const auto Page = TPageSnapshot::ParseFile(Sample("page.json"));
  const auto Doc = Page.Window()->Document();
  EXPECT_EQ(Doc->Title(), "Today's news");
  EXPECT_EQ(Doc->Selection().Text(), "Rain in the valley");
  EXPECT_EQ(Doc->Selection().HtmlText(), "<b>Rain</b> in the valley");
  EXPECT_EQ(Doc->Body()->OuterText(), "Today\nRain in the valley\n");
  EXPECT_EQ(std::to_string(Doc->Source().size()), Doc->FileSize());
  EXPECT_EQ(Doc->Images().Length(), 2);
  EXPECT_EQ(Doc->Images().Item(1)->OuterHtml(), "<img src=\"/logo.gif\">");
  EXPECT_EQ(Page.CachedFiles().at(0).Bytes().substr(0, 6), "GIF89a");
  EXPECT_EQ(Page.Element(), nullptr);
}

TEST(PageSnapshot, ParseFileRefusesMissingAndOversizedFiles) {
  TTempDir Dir;
  EXPECT_SNAP_ERROR(TPageSnapshot::ParseFile(Dir.File("none.json")), "Cannot open");
  EXPECT_SNAP_ERROR(TPageSnapshot::ParseFile(Dir.Path()), "page snapshot");
  WriteFile(Dir.File("big.json"), "{\"version\":1}");
  std::filesystem::resize_file(Dir.File("big.json"), TPageSnapshot::MaxBytes + 1);  // sparse: nothing written
  EXPECT_SNAP_ERROR(TPageSnapshot::ParseFile(Dir.File("big.json")), "too big");
}
