// The picture editor's decisions without a display: collection, names and
// types, size classes and filters, sorting, the thumbnail fit, navigation,
// the status texts, "Biggest" and the file list of a save.
#include <gtest/gtest.h>

#include "editors/uImgItems.h"
#include "editors/uVIBItem.h"
#include "platform/TPageSnapshot.h"
#include "platform/uUrlRef.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "support/TSnapshotBuilder.h"
#include "support/TestSupport.h"

namespace {

struct PictureCollection : ::testing::Test {
  TTempDir Dir;
  TLogger Log{Dir.File("log.txt")};
  void SetUp() override { SetLogger(&Log); }
  void TearDown() override { SetLogger(nullptr); }
  std::string LogText() {
    Log.FlushToFile();
    return ReadFile(Dir.File("log.txt"));
  }
};

// The items a page's pictures give, with both filters on.
TVIBItems Collect(const TSnapshotBuilder &Page, bool IgnTiny = true, bool IgnBar = true) {
  TPageSnapshot S = Page.Parse();
  TVIBItems Out;
  Img_CollectAll(*S.Window()->Document(), IgnTiny, IgnBar, 7, Out);
  return Out;
}

TSnapImage Pic(const std::string &Src, int W = 100, int H = 100, const std::string &Mime = "JPEG Image",
               const std::string &Size = "-1") {
  return {.Src = Src, .Width = W, .Height = H, .MimeType = Mime, .FileSize = Size};
}

// An item of a given area and type, for the sorts.
std::unique_ptr<TVIBItem> Item(const std::string &Name, int64_t Area, uint8_t Type = itJpg) {
  auto I = std::make_unique<TVIBItem>();
  I->FileName = Name;
  I->Area = Area;
  I->TypeCode = Type;
  return I;
}

std::string Names(const TVIBList &L) {
  std::string S;
  for (TVIBItem *I : L) S += (S.empty() ? "" : ",") + I->FileName;
  return S;
}

TVIBList ListOf(const TVIBItems &Items) {
  TVIBList L;
  for (const auto &I : Items) L.push_back(I.get());
  return L;
}

}  // namespace

TEST(ThumbnailFit, ScalesIntoTheAreaAndCentresTheBrowser) {
  struct {
    int32_t W, H;
    int32_t TW, TH, ML, MT;
  } Cases[] = {
      {100, 50, 100, 50, 16, 19},  // small enough: unscaled
      {300, 100, 133, 43, 0, 22},  // ratio 3: wide
      {100, 300, 28, 88, 52, 0},   // tall
      {0, 0, 0, 0, 66, 44},        // nothing to show
      {134, 89, 134, 89, 0, 0},    // the largest unscaled picture
      {135, 90, 133, 88, 0, 0},    // ratio exactly 1.5 is not wide
      {270, 101, 133, 48, 0, 20},  // 50.5 rounds to 50
      {270, 103, 133, 50, 0, 19},  // 51.5 rounds to 52
      {300, 0, 133, -2, 0, 45},    // no height: taken as wide
      {1000, 1, 133, -2, 0, 45},   // so thin that the height falls below 0
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(std::to_string(C.W) + " x " + std::to_string(C.H));
    TThumbFit F = VIB_FitThumb(C.W, C.H);
    EXPECT_EQ(F.W, C.TW);
    EXPECT_EQ(F.H, C.TH);
    EXPECT_EQ(F.MarginL, C.ML);
    EXPECT_EQ(F.MarginT, C.MT);
    EXPECT_GE(F.BrowserW(), 1);
    EXPECT_GE(F.BrowserH(), 1);
  }
  // An empty picture gets a 2 x 2 browser at panel coordinates (75, 51).
  TThumbFit Z = VIB_FitThumb(0, 0);
  EXPECT_EQ(std::make_tuple(Z.BrowserX(), Z.BrowserY(), Z.BrowserW(), Z.BrowserH()), std::make_tuple(75, 51, 2, 2));
  TThumbFit Wide = VIB_FitThumb(300, 0);
  EXPECT_EQ(std::make_tuple(Wide.BrowserX(), Wide.BrowserY(), Wide.BrowserW(), Wide.BrowserH()), std::make_tuple(9, 52, 135, 1));
}

TEST(ThumbnailPage, IsTheFixedTemplateAndNeverAsksForANegativeSize) {
  EXPECT_EQ(VIB_PictureHtml("http://h/a.jpg", 133, 43),
            "<html><BODY oncontextmenu=\"return false\" onmousemove=\"return false\"BODY scroll=no><style "
            "type=\"text/css\">body {margin:0px;border-width:1px;border-color:999999;border-style:solid;}</style><img "
            "src=\"http://h/a.jpg\" width=\"133\" height=\"43\"></BODY></html>");
  EXPECT_NE(VIB_PictureHtml("x", 133, -2).find("width=\"133\" height=\"0\""), std::string::npos);
}

TEST(Navigation, MovesAreClampedToTheList) {
  struct {
    uint8_t Move;
    int32_t Pos, Count, Want;
  } Cases[] = {
      {nmTwoBack, 0, 5, 0},  // Page Up on the first item stays there
      {nmTwoFwd, 3, 5, 4},   // Page Down on the next-to-last goes to the last
      {nmTwoFwd, 1, 5, 3},   //
      {nmPrev, 0, 5, 0},     //
      {nmNext, 4, 5, 4},     //
      {nmNext, -1, 5, 0},    // no current item: from before the first
      {nmPrev, -1, 5, 0},    //
      {nmFirst, 3, 5, 0},    // Home
      {nmLast, 0, 5, 4},     // End
      {nmNext, -1, 0, -1},   // nothing to move to
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(Format("move %d from %d of %d", {C.Move, C.Pos, C.Count}));
    EXPECT_EQ(VIB_NavTarget(C.Move, C.Pos, C.Count), C.Want);
  }
}

TEST(StatusLine, SaysHowManyAreSelectedAndWhichIsCurrent) {
  EXPECT_EQ(VIB_StatusTexts(0, 0, -1), std::make_pair(std::string("No files"), std::string()));
  EXPECT_EQ(VIB_StatusTexts(5, 2, -1), std::make_pair(std::string(" 2/5 selected"), std::string("index 0")));
  EXPECT_EQ(VIB_StatusTexts(5, 5, 4), std::make_pair(std::string(" 5/5 selected"), std::string("index 5")));
}

TEST(Biggest, EqualAreasAreAllCheckedAndTheFirstIsTheBiggest) {
  TVIBItems Items;
  Items.push_back(Item("a", 10));
  Items.push_back(Item("b", 40));
  Items.push_back(Item("c", 40));
  Items.push_back(Item("d", 39));
  TVIBList L = ListOf(Items);
  TVIBItem *B = VIB_Biggest(L);
  ASSERT_EQ(B, Items[1].get());
  EXPECT_EQ(VIB_BiggestChecks(L, B), (std::vector<bool>{false, true, true, false}));
  // Every area 0: no biggest item, and nothing changes.
  for (auto &I : Items) I->Area = 0;
  EXPECT_EQ(VIB_Biggest(L), nullptr);
  EXPECT_TRUE(VIB_BiggestChecks(L, nullptr).empty());
}

TEST(SaveList, CheckedItemsInDisplayOrderWithCleanedNames) {
  TVIBItems Items;
  for (const char *N : {"what?", "a:b", "skipped", "", "plain"}) {
    Items.push_back(Item(N, 1));
    Items.back()->Url = std::string("http://h/") + N;
    Items.back()->FileExt = ".jpg";
  }
  std::vector<std::string> Seen;
  auto Files = VIB_SaveList("/save/Image", ListOf(Items), {true, true, false, true, true}, [&](std::vector<std::string> &P) {
    Seen = P;
    P[3] = "/save/Image/plain[1].jpg";  // the rename check may change a path
    return true;
  });
  EXPECT_EQ(Seen, (std::vector<std::string>{"/save/Image/what .jpg", "/save/Image/a b.jpg", "/save/Image/image.jpg",
                                            "/save/Image/plain.jpg"}));
  ASSERT_EQ(Files.size(), 4u);
  EXPECT_EQ(Files[0].Url, "http://h/what?");
  EXPECT_EQ(Files[3].Url, "http://h/plain");
  EXPECT_EQ(Files[3].Path, "/save/Image/plain[1].jpg");
  EXPECT_EQ(Items[0]->FileName, "what ");  // the item keeps the cleaned name
  EXPECT_EQ(Items[2]->FileName, "skipped");
}

TEST(SaveList, ACancelledRenameSavesNothing) {
  TVIBItems Items;
  Items.push_back(Item("a", 1));
  try {
    VIB_SaveList("/save", ListOf(Items), {true}, [](std::vector<std::string> &) { return false; });
    FAIL() << "no error";
  } catch (const EMossError &E) {
    EXPECT_STREQ(E.what(), "Err, Tips: \"Down file count is 0\"; Mthd: [TVIBJobEdtr.Edt_Make_fList]; SysMsg: ()");
  }
}

TEST(SizeClass, TheLongerSideDecides) {
  struct {
    int32_t W, H;
    uint8_t Want;
  } Cases[] = {{640, 10, scLarge}, {639, 639, scMedium}, {200, 200, scSmall},
               {201, 1, scMedium}, {1, 640, scLarge},    {0, 0, scSmall}};
  for (const auto &C : Cases) EXPECT_EQ(Img_SizeClass(C.W, C.H), C.Want) << C.W << " x " << C.H;
}

TEST(Filters, TinyAndLinePicturesAreLeftOutAtTheirLimits) {
  struct {
    int32_t W, H;
    bool Tiny, Bar, Passes;
  } Cases[] = {
      {9, 9, true, false, false},   {10, 9, true, false, true},    {10, 1, true, true, true},  {1, 10, true, true, true},
      {400, 20, false, true, true}, {401, 20, false, true, false}, {1, 20, false, true, true}, {1, 21, false, true, false},
      {5, 0, false, true, false},   {0, 0, false, true, false},    {0, 0, false, false, true}, {9, 9, false, false, true},
      {0, 5, false, true, false},
  };
  for (const auto &C : Cases)
    EXPECT_EQ(Img_PassesFilters(C.W, C.H, C.Tiny, C.Bar), C.Passes)
        << C.W << " x " << C.H << (C.Tiny ? " tiny" : "") << (C.Bar ? " bar" : "");
}

TEST(UrlKey, SchemeAndHostIgnoreCaseTheRestDoesNot) {
  const std::string A = Url_SameKey("http://Pics.Example.TEST:8080/Dir/a.JPG?Q=1");
  EXPECT_EQ(Url_SameKey("HTTP://pics.example.test:8080/Dir/a.JPG?Q=1"), A);
  EXPECT_NE(Url_SameKey("http://pics.example.test:8080/dir/a.JPG?Q=1"), A);
  EXPECT_NE(Url_SameKey("http://pics.example.test:8080/Dir/a.jpg?Q=1"), A);
  EXPECT_NE(Url_SameKey("http://pics.example.test:8080/Dir/a.JPG?q=1"), A);
  EXPECT_NE(Url_SameKey("http://User@h/a"), Url_SameKey("http://user@h/a"));
  EXPECT_EQ(Url_SameKey("http://User@H/a"), Url_SameKey("http://User@h/a"));
}

TEST_F(PictureCollection, EveryAddressGivesOneItemInPageOrder) {
  TVIBItems I = Collect(TSnapshotBuilder()
                            .Image(Pic("http://h.test/pics/a.jpg"))
                            .Image(Pic("HTTP://H.TEST/pics/a.jpg"))  // the same picture
                            .Image(Pic("http://h.test/PICS/a.jpg"))  // another one
                            .Image(Pic("  "))                        // no address
                            .Image(Pic(" http://h.test/pics/a.jpg "))
                            .Image(Pic("http://h.test/pics/b.jpg")));
  ASSERT_EQ(I.size(), 3u);
  EXPECT_EQ(I[0]->Url, "http://h.test/pics/a.jpg");
  EXPECT_EQ(I[1]->Url, "http://h.test/PICS/a.jpg");
  EXPECT_EQ(I[2]->Url, "http://h.test/pics/b.jpg");
}

TEST_F(PictureCollection, APictureLeftOutByAFilterDoesNotHideItsTwinLaterOn) {
  // The same address first as a 1-pixel line, then as a real picture.
  TVIBItems I = Collect(TSnapshotBuilder().Image(Pic("http://h/a.gif", 400, 1)).Image(Pic("http://h/a.gif", 400, 300)));
  ASSERT_EQ(I.size(), 1u);
  EXPECT_EQ(I[0]->Height, 300);
  EXPECT_EQ(Collect(TSnapshotBuilder().Image(Pic("http://h/t.gif", 9, 9)), true, false).size(), 0u);
  EXPECT_EQ(Collect(TSnapshotBuilder().Image(Pic("http://h/t.gif", 9, 9)), false, false).size(), 1u);
}

TEST_F(PictureCollection, NamesExtensionsAndTypesComeFromTheAddressThenTheMimeType) {
  struct {
    const char *Src, *Mime;
    const char *Name, *Ext, *Type;
    uint8_t Code;
    bool Corrected;
  } Cases[] = {
      {"http://h/p/pic.JPG", "JPEG Image", "pic", ".JPG", "JPG", itJpg, false},
      {"http://h/p/", "GIF Image", "image", ".gif", "GIF", itGif, true},
      {"http://h/p/photo.jpeg", "JPEG Image", "photo.jpeg", ".jpg", "JPG", itJpg, true},
      {"http://h/p/tile", "Bitmap Image", "tile", "", "?", itUnknown, false},
      {"http://h/p/tile.bmp", "Bitmap Image", "tile", ".bmp", "BMP", itBmp, false},
      {"http://h/p/a.png?x=1", "PNG Image", "a.png?x=1", ".png", "PNG", itPng, true},
      {"http://h/p/b.webp", "", "b", ".webp", "WEBP", itUnknown, false},
      {"http://h/p/c.GiF", "", "c", ".GiF", "GIF", itGif, false},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Src);
    TVIBItems I = Collect(TSnapshotBuilder().Image(Pic(C.Src, 100, 100, C.Mime)));
    ASSERT_EQ(I.size(), 1u);
    EXPECT_EQ(I[0]->FileName, C.Name);
    EXPECT_EQ(I[0]->FileExt, C.Ext);
    EXPECT_EQ(I[0]->TypeText, C.Type);
    EXPECT_EQ(I[0]->TypeCode, C.Code);
  }
  const std::string L = LogText();
  EXPECT_NE(L.find("JobID: 7, Auto correct image type: .jpg"), std::string::npos) << L;
  EXPECT_NE(L.find("JobID: 7, Auto correct image type: .gif"), std::string::npos);
  EXPECT_EQ(L.find("Auto correct image type: .bmp"), std::string::npos);  // "Bitmap" gives no type
}

TEST_F(PictureCollection, SizesAreReadAndAreasDoNotOverflow) {
  TVIBItems I = Collect(TSnapshotBuilder().Image(Pic("http://h/big.png", 70000, 70000, "PNG Image", "123456")));
  ASSERT_EQ(I.size(), 1u);
  EXPECT_EQ(I[0]->Area, int64_t{4900000000});
  EXPECT_EQ(I[0]->FileSize, 123456);
  EXPECT_EQ(I[0]->SizeClass, scLarge);
}

TEST_F(PictureCollection, AByteCountThatIsNoNumberEndsTheCollectionKeepingWhatCameBefore) {
  TSnapshotBuilder P =
      TSnapshotBuilder().Image(Pic("http://h/a.jpg")).Image(Pic("http://h/b.jpg", 100, 100, "JPEG Image", "12k"));
  TPageSnapshot S = P.Parse();
  TVIBItems Out;
  EXPECT_THROW(Img_CollectAll(*S.Window()->Document(), true, true, 1, Out), EMossError);
  ASSERT_EQ(Out.size(), 1u);
  EXPECT_EQ(Out[0]->Url, "http://h/a.jpg");
}

TEST_F(PictureCollection, OnlyAPictureUnderTheMouseMakesAOnePictureJob) {
  TPageSnapshot S = TSnapshotBuilder().Image(Pic("http://h/one.gif", 50, 40, "GIF Image")).ElementIndex(0).Parse();
  auto One = Img_CollectOne(S.Element(), 1);
  EXPECT_EQ(One->FileName, "one");
  EXPECT_EQ(One->Area, 2000);
  TPageSnapshot NoImg = TSnapshotBuilder().Element("DIV", "<div>x</div>").Parse();
  for (const auto &E : {NoImg.Element(), std::shared_ptr<THtmlElement>()}) {
    try {
      Img_CollectOne(E, 1);
      FAIL() << "no error";
    } catch (const EMossError &Ex) {
      EXPECT_STREQ(Ex.what(), "uImg 01, Can not get current picture!");
    }
  }
}

TEST(FilterAndCount, TypeAndSizeFiltersAndTheirCounters) {
  TVIBItems All;
  auto Add = [&](const char *N, uint8_t Type, uint8_t Size) {
    All.push_back(Item(N, 1, Type));
    All.back()->SizeClass = Size;
  };
  Add("a", itJpg, scLarge);
  Add("b", itGif, scSmall);
  Add("c", itJpg, scSmall);
  Add("d", itBmp, scMedium);
  Add("e", itUnknown, scSmall);
  EXPECT_EQ(Names(Img_Filter(All, 0, 0)), "a,b,c,d,e");
  EXPECT_EQ(Names(Img_Filter(All, scSmall, 0)), "b,c,e");
  EXPECT_EQ(Names(Img_Filter(All, scSmall, itJpg)), "c");
  EXPECT_EQ(Names(Img_Filter(All, 0, itPng)), "");
  TImgCounts C = Img_Count(All);
  EXPECT_EQ(std::make_tuple(C.Large, C.Medium, C.Small, C.Jpg, C.Gif, C.Png), std::make_tuple(1, 1, 3, 2, 1, 0));
}

TEST(Sorting, TheSizePassIsASelectionSortOnTheArea) {
  TVIBItems All;
  for (auto [N, A] : std::initializer_list<std::pair<const char *, int>>{{"A", 10}, {"B", 30}, {"C", 10}, {"D", 30}, {"E", 20}})
    All.push_back(Item(N, A));
  TVIBList L = ListOf(All);
  Img_SortSize(L, true);
  EXPECT_EQ(Names(L), "B,D,E,A,C");
  Img_SortSize(L, false);
  EXPECT_EQ(Names(L), "A,C,E,B,D");
}

TEST(Sorting, TheTypePassGathersTypeByTypeFromTheFront) {
  TVIBItems All;
  for (auto [N, T] : std::initializer_list<std::pair<const char *, uint8_t>>{
           {"g", itGif}, {"u", itUnknown}, {"j1", itJpg}, {"b", itBmp}, {"p", itPng}, {"j2", itJpg}})
    All.push_back(Item(N, 1, T));
  TVIBList L = ListOf(All);
  Img_SortType(L, true);
  EXPECT_EQ(Names(L), "j1,j2,g,p,b,u");
  L = ListOf(All);
  Img_SortType(L, false);
  EXPECT_EQ(Names(L), "u,b,p,g,j1,j2");
  TVIBList Empty;
  Img_SortType(Empty, true);  // nothing to do, nothing to break
}
