// The movie editor's decisions without a display: the three collection
// passes and their one-item-per-movie rule, names, declared sizes, what can
// be saved, the exchange sort and the order the "Size" button asks for.
#include <gtest/gtest.h>

#include "editors/uFlsItems.h"
#include "editors/uVIBItem.h"
#include "platform/TPageSnapshot.h"
#include "pub/Unit_Log.h"
#include "support/TSnapshotBuilder.h"
#include "support/TestSupport.h"

namespace {

struct MovieCollection : ::testing::Test {
  TTempDir Dir;
  TLogger Log{Dir.File("log.txt")};
  void SetUp() override { SetLogger(&Log); }
  void TearDown() override { SetLogger(nullptr); }
  std::string LogText() {
    Log.FlushToFile();
    return ReadFile(Dir.File("log.txt"));
  }
};

TVIBItems Collect(const TSnapshotBuilder &Page) {
  TPageSnapshot S = Page.Parse();
  TVIBItems Out;
  Fls_Collect(*S.Window()->Document(), 3, Out);
  return Out;
}

std::vector<std::string> Urls(const TVIBItems &Items) {
  std::vector<std::string> Out;
  for (const auto &I : Items) Out.push_back(I->Url);
  return Out;
}

TSnapPlugin Swf(const std::string &Movie, const std::string &W = "400", const std::string &H = "300") {
  return {.Movie = Movie, .Width = W, .Height = H};
}

const std::string Here = "http://example.test/dir/";

}  // namespace

TEST_F(MovieCollection, AnObjectWithAnEmbedInsideGivesOneItemFromTheObject) {
  TVIBItems Items = Collect(TSnapshotBuilder()
                                .Object(Swf("movies/intro.swf", "550", "400"))
                                .Embed(Swf("MOVIES/Intro.SWF", "10", "10"))  // letter case ignored
                                .Embed(Swf("other.swf")));
  ASSERT_EQ(Urls(Items), (std::vector<std::string>{Here + "movies/intro.swf", Here + "other.swf"}));
  EXPECT_EQ(Items[0]->Width, 550);  // the OBJECT's size, not the EMBED's
  EXPECT_TRUE(std::dynamic_pointer_cast<THtmlObjectElement>(Items[0]->Elem));
  EXPECT_EQ(Items[0]->Kind, TItemKind::Movie);
  EXPECT_TRUE(Items[0]->TypeText.empty());  // plug-in movies show no type
}

TEST_F(MovieCollection, AddressesResolveAgainstThePageAndItsBase) {
  struct Case {
    const char *Base, *Movie, *Url, *Name, *Ext;
  } Cases[] = {
      {"", "movies/intro.swf", "http://example.test/dir/movies/intro.swf", "intro", ".swf"},
      {"", "intro.swf?v=2", "http://example.test/dir/intro.swf?v=2", "intro", ".swf?v=2"},
      {"", "/shared/score.SWF", "http://example.test/shared/score.SWF", "score", ".SWF"},
      {"/games/", "anim.swf", "http://example.test/games/anim.swf", "anim", ".swf"},
      {"", "http://cdn.test/noext", "http://cdn.test/noext", "noext", ""},
      // A dot before a ":" is no extension.
      {"", "x.y:z", "x.y:z", "x.y:z", ""},
  };
  for (const Case &C : Cases) {
    TSnapshotBuilder P;
    if (*C.Base) P.BaseHref(C.Base);
    TVIBItems Items = Collect(P.Object(Swf(C.Movie)));
    ASSERT_EQ(Items.size(), 1u) << C.Movie;
    EXPECT_EQ(Items[0]->Url, C.Url) << C.Movie;
    EXPECT_EQ(Items[0]->FileName, C.Name) << C.Movie;
    EXPECT_EQ(Items[0]->FileExt, C.Ext) << C.Movie;
  }
}

TEST_F(MovieCollection, DeclaredSizesAreWholeNumbersOrNothing) {
  struct Case {
    const char *W, *H;
    int32_t Width, Height;
  } Cases[] = {{"550", "400", 550, 400}, {" 120 ", "+60", 120, 60}, {"100%", "400", 0, 0},
               {"550", "", 0, 0},        {"12.5", "4", 0, 0},       {"99999999999", "1", 0, 0}};
  for (const Case &C : Cases) {
    int32_t W = -1, H = -1;
    Fls_DeclaredSize(C.W, C.H, W, H);
    EXPECT_EQ(std::make_pair(W, H), std::make_pair(C.Width, C.Height)) << C.W << " x " << C.H;
  }
  TVIBItems Items = Collect(TSnapshotBuilder().Embed(Swf("a.swf", "100%", "300")));
  ASSERT_EQ(Items.size(), 1u);
  EXPECT_EQ(Items[0]->Area, 0);
}

TEST_F(MovieCollection, ElementsWithoutAPlayerOrAMovieAreLeftOut) {
  TSnapshotBuilder P;
  P.Object({.Movie = "clip.mp4", .Flash = false})
      .Object(Swf(""))  // a player with no movie would save the page itself
      .Embed(Swf("ok.swf"))
      .Set("document.objects[2]", R"({"tagName":"OBJECT","flash":"yes"})");  // unreadable: skipped
  EXPECT_EQ(Urls(Collect(P)), (std::vector<std::string>{Here + "ok.swf"}));
  EXPECT_TRUE(Collect(TSnapshotBuilder().Object({.Movie = "clip.mp4", .Flash = false})).empty());
}

TEST_F(MovieCollection, APageThatCannotGiveItsElementsEndsTheCollection) {
  TSnapshotBuilder P;
  P.Object(Swf("a.swf")).Drop("document.embeds");
  TPageSnapshot S = P.Parse();
  TVIBItems Out;
  EXPECT_THROW(Fls_Collect(*S.Window()->Document(), 3, Out), EMossError);
  EXPECT_EQ(Out.size(), 1u);  // what came before is kept for the caller to free
}

TEST_F(MovieCollection, VideoAndAudioComeAfterThePluginsOnePerAddress) {
  TVIBItems Items = Collect(
      TSnapshotBuilder()
          .Embed(Swf("clip.mp4"))
          .Media({.Src = Here + "CLIP.mp4"})  // the EMBED's movie: no second item
          .Media({.Sources = {{Here + "a.webm", "video/webm"}, {Here + "a.mp4", "video/mp4"}}, .Width = 320, .Height = 180})
          .Media({.Src = Here + "trailer.mp4", .Poster = Here + "poster.jpg", .Width = 1280, .Height = 720})
          .Media({.TagName = "AUDIO", .Sources = {{Here + "song.ogg", "audio/ogg"}}})
          .Media({.Src = Here + "a.webm"}));  // already taken from a <source>
  ASSERT_EQ(Urls(Items), (std::vector<std::string>{Here + "clip.mp4", Here + "a.webm", Here + "a.mp4", Here + "trailer.mp4",
                                                   Here + "song.ogg"}));
  EXPECT_EQ(Items[1]->TypeText, "VIDEO");
  EXPECT_EQ(Items[1]->Note, "WEBM");  // from the extension
  EXPECT_EQ(Items[2]->Note, "MP4");
  EXPECT_EQ(Items[1]->Area, 320 * 180);
  EXPECT_EQ(Items[2]->FileName, "a");
  EXPECT_EQ(Items[3]->Poster, Here + "poster.jpg");
  EXPECT_EQ(Items[4]->TypeText, "AUDIO");
  EXPECT_EQ(Items[4]->Note, "OGG");
  EXPECT_EQ(Items[4]->Width, 0);  // audio has no picture size
  EXPECT_EQ(Items[4]->Height, 0);
  EXPECT_FALSE(Items[4]->Elem);
}

TEST_F(MovieCollection, MediaNamesDropTheQueryAndStreamsAreListedAsWhatTheyAre) {
  struct Case {
    const char *Url, *Name, *Ext, *Note;
    bool Saveable;
  } Cases[] = {
      {"http://v.test/p/clip%20one.mp4?token=abc#t=5", "clip one", ".mp4", "MP4", true},
      {"http://v.test/live/index.m3u8", "index", ".m3u8", "HLS stream list", true},
      {"https://v.test/dash/manifest.MPD?x=1", "manifest", ".MPD", "DASH stream list", true},
      {"blob:http://example.test/0b1c-42", "0b1c-42", "", "Page-built stream", false},
      {"mediasource:http://example.test/7", "7", "", "Page-built stream", false},
      {"data:video/mp4;base64,AAAA", "movie", "", "Not a file address", false},
      {"http://v.test/", "movie", "", "", true},  // no format known
  };
  for (const Case &C : Cases) {
    TVIBItems Items = Collect(TSnapshotBuilder().Media({.Src = C.Url}));
    ASSERT_EQ(Items.size(), 1u) << C.Url;
    const TVIBItem &I = *Items[0];
    EXPECT_EQ(I.FileName, C.Name) << C.Url;
    EXPECT_EQ(I.FileExt, C.Ext) << C.Url;
    EXPECT_EQ(I.Note, C.Note) << C.Url;
    EXPECT_EQ(I.Saveable, C.Saveable) << C.Url;
    EXPECT_EQ(I.Reason.empty(), C.Saveable) << C.Url;
  }
}

TEST_F(MovieCollection, TheFormatComesFromTheExtensionElseFromTheTypeTheSourceGives) {
  TVIBItems Items = Collect(TSnapshotBuilder().Media(
      {.Sources = {{Here + "stream", "video/webm; codecs=vp9"}, {Here + "file.longext", "video/mp4"}, {Here + "x", ""}}}));
  ASSERT_EQ(Items.size(), 3u);
  EXPECT_EQ(Items[0]->Note, "WEBM");
  EXPECT_EQ(Items[1]->Note, "MP4");
  EXPECT_EQ(Items[2]->Note, "");
}

TEST_F(MovieCollection, OlderSnapshotsWithoutMediaStillWorkAndABrokenEntryCostsOnlyItself) {
  TVIBItems Old = Collect(TSnapshotBuilder().Object(Swf("a.swf")).Drop("document.media"));
  EXPECT_EQ(Urls(Old), (std::vector<std::string>{Here + "a.swf"}));

  TSnapshotBuilder P;
  P.Media({.Src = Here + "one.mp4"}).Media({.Src = Here + "two.mp4"}).Media({.Src = Here + "three.mp4"});
  P.Set("document.media[1].width", "\"wide\"");
  P.Set("document.media[2].sources", "[{\"type\":\"video/mp4\"}]");
  P.Set("document.media[2].src", "\"\"");
  EXPECT_EQ(Urls(Collect(P)), (std::vector<std::string>{Here + "one.mp4"}));
  EXPECT_NE(LogText().find("Movie left out: "), std::string::npos);
}

TEST(MovieOrder, TheExchangeSortMaySwapEqualAreasAndTheButtonReversesTheList) {
  TVIBItem A, B, C;
  A.Area = 5;
  B.Area = 5;
  C.Area = 9;
  TVIBList L{&A, &B, &C};
  EXPECT_EQ(VIB_Biggest(L), &C);
  Fls_SortBiggestFirst(L);
  EXPECT_EQ(L, (TVIBList{&C, &B, &A}));
  Fls_Order(L, true);  // already biggest first
  EXPECT_EQ(L, (TVIBList{&C, &B, &A}));
  Fls_Order(L, false);
  EXPECT_EQ(L, (TVIBList{&A, &B, &C}));
  Fls_Order(L, true);
  EXPECT_EQ(L, (TVIBList{&C, &B, &A}));
  EXPECT_STREQ(Fls_SortIndicator(true), "Biggest first");
  EXPECT_STREQ(Fls_SortIndicator(false), "Smallest first");

  // Equal ends: nothing to reverse, whichever order is asked for.
  TVIBItem D, E, F;
  D.Area = 4;
  E.Area = 7;
  F.Area = 4;
  TVIBList Flat{&D, &E, &F};
  Fls_Order(Flat, false);
  EXPECT_EQ(Flat, (TVIBList{&D, &E, &F}));
  TVIBList Empty;
  Fls_Order(Empty, false);
  EXPECT_TRUE(Empty.empty());
}

TEST(MovieOrder, AMovieWithNoFileIsNeverTheBiggestNorChecked) {
  TVIBItem Stream, Small;
  Stream.Area = 1280 * 720;
  Stream.Saveable = false;
  Small.Area = 100;
  TVIBList L{&Stream, &Small};
  EXPECT_EQ(VIB_Biggest(L), &Small);
  EXPECT_EQ(VIB_BiggestChecks(L, &Small), (std::vector<bool>{false, true}));
  Small.Area = Stream.Area;  // equal areas are checked together, unless unsaveable
  EXPECT_EQ(VIB_BiggestChecks(L, &Small), (std::vector<bool>{false, true}));
}

TEST(MovieThumbnail, ThePlayerPageNamesTheMovieAndTheCabinet) {
  const std::string H = VIB_MovieHtml("http://example.test/a.swf", 133, 43);
  EXPECT_EQ(H.rfind("<html><BODY scroll=no><style type=\"text/css\">body {margin:0px;", 0), 0u);
  EXPECT_NE(H.find("<object classid=\"clsid:d27cdb6e-ae6d-11cf-96b8-444553540000\"codebase=\"http://"), std::string::npos);
  EXPECT_NE(H.find("/flash2/cabs/swflash.cab#version=4,0,0,0\" width=\"133\" height=\"43\"><param name=\"movie\" "
                   "value=\"http://example.test/a.swf\"><param name=\"quality\" value=\"high\"><param name=\"bgcolor\" "
                   "value=\"#ffffff\"></object></body></html>"),
            std::string::npos);
  EXPECT_NE(VIB_MovieHtml("x", -3, -1).find("width=\"0\" height=\"0\""), std::string::npos);
}
