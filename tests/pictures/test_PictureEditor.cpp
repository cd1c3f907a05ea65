// The picture editor through the real edit window (offscreen): what the box
// shows, how it answers keys, clicks and the wheel, the filter, sort and
// select buttons, the two modes, and what a save writes.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include "editors/uThumbLoader.h"
#include "editors/uVIBJobEdtr.h"
#include "pictures/PictureFixture.h"
#include "platform/TMainThread.h"
#include "platform/TUrlCache.h"
#include "platform/TWebBrowser.h"
#include "platform/uUrlRef.h"
#include "pub/Unit_Pub.h"
#include "support/TJobWait.h"
#include "support/TQtSupport.h"
#include "support/TScriptHttpServer.h"
#include "ui/Unit_PubWB.h"

namespace {

// Pictures nobody serves: fetching them fails at once.
const std::string Pics = "http://127.0.0.1:1/";

TSnapImage Pic(const std::string &Src, int W = 100, int H = 100, const std::string &Mime = "JPEG Image",
               const std::string &Size = "-1") {
  return {.Src = Src, .Width = W, .Height = H, .MimeType = Mime, .FileSize = Size};
}

// A page whose pictures are listed as Name:Width:Height.
TSnapshotBuilder Page(std::initializer_list<std::tuple<const char *, int, int>> List) {
  TSnapshotBuilder P;
  for (auto [Name, W, H] : List) P.Image(Pic(Pics + Name, W, H));
  return P;
}

void Wheel(QWidget *Target, int Delta) {
  const QPoint Local = Target->rect().center();
  QWheelEvent E(Local, Target->mapToGlobal(Local), QPoint(), QPoint(0, Delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                false);
  QApplication::sendEvent(Target, &E);
}

}  // namespace

TEST_F(PictureFixture, ThumbnailsAreSizedAndPlacedInTheirPanels) {
  Settings.IgnTiny = Settings.IgnBar = false;
  Open(pcAllImages, Page({{"a.jpg", 100, 50}, {"b.jpg", 300, 100}, {"c.jpg", 100, 300}, {"d.jpg", 0, 0}}));
  ASSERT_TRUE(Form_EditJob->isVisible());
  EXPECT_EQ(Form_EditJob->windowTitle(), QStringLiteral("Save images"));
  // Sorted biggest first: 300 x 100 and 100 x 300 have equal areas, in page order.
  ASSERT_EQ(ShownUrls(), (std::vector<std::string>{Pics + "b.jpg", Pics + "c.jpg", Pics + "a.jpg", Pics + "d.jpg"}));
  const QRect Want[] = {{9, 29, 135, 45}, {61, 7, 30, 90}, {25, 26, 102, 52}, {75, 51, 2, 2}};
  for (size_t I = 0; I < 4; ++I) {
    TVIBPanel *P = PanelAt(I);
    ASSERT_TRUE(P);
    EXPECT_EQ(P->Browser->Widget()->geometry(), Want[I]) << ShownUrls()[I];
    EXPECT_EQ(P->geometry(), QRect(2, static_cast<int>(I) * 105 + 5, 245, 106));
    EXPECT_EQ(P->ChkBox->geometry(), QRect(215, 18, 18, 18));
  }
  // The caption: type, pixel size and byte size.
  EXPECT_EQ(PanelAt(2)->Image->TypeText, QStringLiteral("JPG"));
  EXPECT_EQ(PanelAt(2)->Image->SizeLine, QStringLiteral("100 x 50"));
  EXPECT_EQ(PanelAt(0)->Image->Back, VIBCurrentColor);  // the first item is current
  EXPECT_EQ(PanelAt(1)->Image->Back, VIBNormalColor);
  EXPECT_NE(LogText().find("Bld TIme at VIBox_Link_Items: "), std::string::npos);
}

TEST_F(PictureFixture, BiggestChecksEveryPictureOfTheGreatestAreaAndLeavesAllZeroPagesAlone) {
  Settings.SelKind = skNone;
  Open(pcAllImages, Page({{"small.jpg", 50, 50}, {"wide.jpg", 400, 100}, {"tall.jpg", 100, 400}}));
  ASSERT_EQ(Checks(), (std::vector<bool>{false, false, false}));
  Form_EditJob->BBtn_Img_SelBig->click();
  EXPECT_EQ(Checks(), (std::vector<bool>{true, true, false}));
  EXPECT_EQ(CurItem, Img->ItemList[0]);
  EXPECT_EQ(CurItem->Url, Pics + "wide.jpg");  // the first of the two
  EXPECT_EQ(Status(0), " 2/3 selected");
  Form_EditJob->Btn_Cancel->click();

  Settings.IgnTiny = Settings.IgnBar = false;
  Settings.SelKind = skAll;
  Open(pcAllImages, Page({{"z1.jpg", 0, 0}, {"z2.jpg", 0, 5}}));
  PanelAt(1)->ChkBox->click();
  ASSERT_EQ(Checks(), (std::vector<bool>{true, false}));
  Form_EditJob->BBtn_Img_SelBig->click();
  EXPECT_EQ(Checks(), (std::vector<bool>{true, false}));
  Form_EditJob->BBtn_Img_SelNon->click();
  EXPECT_EQ(Checks(), (std::vector<bool>{false, false}));
  EXPECT_FALSE(Form_EditJob->Btn_Save->isEnabled());
  Form_EditJob->BBtn_Img_SelAll->click();
  EXPECT_EQ(Checks(), (std::vector<bool>{true, true}));
  EXPECT_TRUE(Form_EditJob->Btn_Save->isEnabled());
}

TEST_F(PictureFixture, TheStatusLineForAnEmptyBoxAndForNoCurrentItem) {
  // A one-picture job switched to all pictures on a page whose other
  // pictures the default filter leaves out.
  Settings.FltTyp = 2;  // GIF
  PJobRec J = Open(pcOneImage, Page({{"one.jpg", 300, 200}, {"two.jpg", 200, 300}}).ElementIndex(0));
  ASSERT_TRUE(Form_EditJob->isVisible());
  EXPECT_EQ(Status(0), " 1/1 selected");
  EXPECT_EQ(Status(1), "index 1");
  Form_EditJob->SBtn_AImg->click();
  EXPECT_EQ(J->Kind, jkAllImages);
  EXPECT_TRUE(Img->ItemList.empty());
  EXPECT_EQ(Status(0), "No files");
  EXPECT_EQ(Status(1), "");
  EXPECT_TRUE(Form_EditJob->Pn_No_Data->isVisible());
  EXPECT_FALSE(Form_EditJob->Btn_Save->isEnabled());
  EXPECT_TRUE(Form_EditJob->Edit_Img_Url->text().isEmpty());
  EXPECT_TRUE(Host.Tips.empty());  // no error

  Form_EditJob->SBtn_AllType->click();
  ASSERT_EQ(Img->ItemList.size(), 2u);
  EXPECT_FALSE(Form_EditJob->Pn_No_Data->isVisible());
  Img->VIBox_Clear_Current();
  Img->VIBox_Upd_Status();
  EXPECT_EQ(Status(1), "index 0");

  // "No files" goes with the job that showed it, before any other job opens.
  Form_EditJob->SBtn_Gif->setEnabled(true);
  Form_EditJob->SBtn_Gif->click();
  ASSERT_FALSE(Form_EditJob->Pn_No_Data->isHidden());
  Form_EditJob->Btn_Cancel->click();
  EXPECT_TRUE(Form_EditJob->Pn_No_Data->isHidden());
}

TEST_F(PictureFixture, KeysMoveTheCurrentItemAndStopAtTheEnds) {
  Open(pcAllImages,
       Page({{"1.jpg", 500, 500}, {"2.jpg", 400, 400}, {"3.jpg", 300, 300}, {"4.jpg", 250, 250}, {"5.jpg", 210, 210}}));
  auto Pos = [&] { return Img->IndexOf(CurItem); };
  auto Key = [&](Qt::Key K) { QTest::keyClick(PanelAt(static_cast<size_t>(Pos()))->ChkBox, K); };
  ASSERT_EQ(Pos(), 0);
  Key(Qt::Key_PageUp);  // Page Up on the first item stays there
  EXPECT_EQ(Pos(), 0);
  Key(Qt::Key_Down);
  EXPECT_EQ(Pos(), 1);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(Pos(), 3);
  Key(Qt::Key_PageDown);  // from the next-to-last to the last
  EXPECT_EQ(Pos(), 4);
  Key(Qt::Key_Home);
  EXPECT_EQ(Pos(), 0);
  Key(Qt::Key_End);
  EXPECT_EQ(Pos(), 4);
  Key(Qt::Key_Up);
  EXPECT_EQ(Pos(), 3);
  EXPECT_EQ(Form_EditJob->Edit_Img_Url->text(), QString::fromStdString(Pics + "4.jpg"));
  EXPECT_EQ(Status(1), "index 4");
  EXPECT_TRUE(PanelAt(3)->ChkBox->hasFocus());
  // A click into a thumbnail makes its item current.
  QTest::mouseClick(PanelAt(1)->Browser->Widget(), Qt::LeftButton, {}, QPoint(3, 3));
  EXPECT_EQ(Pos(), 1);
  // And a click on the caption.
  QTest::mouseClick(PanelAt(2)->Image, Qt::LeftButton, {}, QPoint(200, 90));
  EXPECT_EQ(Pos(), 2);
}

TEST_F(PictureFixture, TheTabKeyGoesThroughTheBoxInItsOrderThenThroughTheOptions) {
  Open(pcAllImages, Page({{"s.jpg", 100, 100}, {"b.jpg", 800, 800}, {"m.jpg", 300, 300}, {"l.jpg", 700, 650}}));
  auto Focused = [] { return QApplication::focusWidget(); };
  auto Press = [&](Qt::Key K, int Times = 1, Qt::KeyboardModifiers M = Qt::NoModifier) {
    for (int I = 0; I < Times; ++I) QTest::keyClick(Focused(), K, M);
  };
  ASSERT_EQ(Focused(), PanelAt(0)->ChkBox);
  Press(Qt::Key_Tab);
  EXPECT_EQ(Focused(), PanelAt(1)->ChkBox);  // the next one shown, whichever panel it is
  Press(Qt::Key_Tab, 1, Qt::ShiftModifier);
  // The keys the browser suite presses: from the last item on to the size
  // buttons, where an exclusive group is one stop and the arrow picks
  // "Large"; from there on to "Biggest".
  Press(Qt::Key_End);
  Press(Qt::Key_Tab, 2);
  EXPECT_EQ(Focused(), Form_EditJob->SBtn_AllSize);
  Press(Qt::Key_Right);
  EXPECT_TRUE(Form_EditJob->SBtn_Large->isChecked());
  EXPECT_EQ(ShownUrls(), (std::vector<std::string>{Pics + "b.jpg", Pics + "l.jpg"}));
  // The arrow leaves the focus on the button it pressed.
  EXPECT_EQ(Focused(), Form_EditJob->SBtn_Large);
  Press(Qt::Key_Tab, 4);
  EXPECT_EQ(Focused(), Form_EditJob->BBtn_Img_SelBig);
  Press(Qt::Key_Space);
  EXPECT_EQ(Checks(), (std::vector<bool>{true, false}));
  EXPECT_EQ(Focused(), PanelAt(0)->ChkBox);  // on the biggest picture
}

TEST_F(PictureFixture, OnlyOneNotchUpScrollsUpAnyOtherWheelDeltaScrollsDown) {
  std::initializer_list<std::tuple<const char *, int, int>> Many = {
      {"a.jpg", 300, 300}, {"b.jpg", 300, 300}, {"c.jpg", 300, 300}, {"d.jpg", 300, 300}, {"e.jpg", 300, 300},
      {"f.jpg", 300, 300}, {"g.jpg", 300, 300}, {"h.jpg", 300, 300}, {"i.jpg", 300, 300}, {"j.jpg", 300, 300}};
  Open(pcAllImages, Page(Many));
  QScrollBar *Bar = Form_EditJob->ScrlBox_Img->verticalScrollBar();
  ASSERT_GT(Bar->maximum(), 300);
  Bar->setValue(200);
  const int Step = Bar->singleStep();
  struct {
    int Delta, Change;
  } Cases[] = {{120, -3}, {240, 3}, {-120, 3}, {-240, 3}, {60, 3}};
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Delta);
    const int Before = Bar->value();
    Wheel(Form_EditJob->ScrlBox_Img->viewport(), C.Delta);
    EXPECT_EQ(Bar->value(), Before + C.Change * Step);
  }
}

TEST_F(PictureFixture, ANameWithForbiddenCharactersIsSavedWithBlanks) {
  TScriptHttpServer Srv;
  const std::string Bytes = PictureBytes("PNG", 30, 20);
  Srv.On("/p/shot.png", TScriptHttpServer::Response("200 OK", Bytes, "Content-Type: image/png\r\n"));
  PJobRec J = Open(
      pcOneImage,
      TSnapshotBuilder().Url(Srv.Url("/p/page.html")).Image(Pic(Srv.Url("/p/shot.png"), 30, 20, "PNG Image")).ElementIndex(0));
  ASSERT_TRUE(Form_EditJob->isVisible());
  EXPECT_FALSE(Form_EditJob->Pn_Almg_bench->isVisible());  // one picture: no filters, sorts or selection
  EXPECT_EQ(Checks(), std::vector<bool>{true});
  EXPECT_EQ(Form_EditJob->Lbl_Img_EFn->text(), QStringLiteral(".png"));
  Form_EditJob->Edit_Img_AFn->setText(QStringLiteral("what? a:b"));
  ASSERT_TRUE(Save());
  ASSERT_TRUE(WaitJobEnd(J));
  EXPECT_EQ(J->State, jsComplete);
  ASSERT_EQ(J->FileList.size(), 1u);
  EXPECT_EQ(J->FileList[0]->LocalName, Settings.Dir + "/what  a b.png");
  EXPECT_EQ(ReadFile(Settings.Dir + "/what  a b.png"), Bytes);
}

TEST_F(PictureFixture, ANavigationOfAThumbnailIsRefusedAndLogged) {
  Open(pcAllImages, Page({{"a.jpg", 200, 150}}));
  TLightBrowser *B = PanelAt(0)->Browser;
  ASSERT_EQ(WB_LoadHtml_Stream(B, "<a href=\"http://evil.test/next.html\">a link over the whole first line</a>"), 0);
  QTest::mouseClick(B->Widget(), Qt::LeftButton, {}, QPoint(4, 6));
  EXPECT_TRUE(B->Location().toString().isEmpty() || B->Location().toString() == QStringLiteral("about:blank"));
  EXPECT_NE(LogText().find("[ Warn]: Ban URL: http://evil.test/next.html@TVIBJobEdtr.OnWBBefNavgate"), std::string::npos)
      << LogText();
  B->Navigate(QUrl(QStringLiteral("about:blank")));  // the blank page stays allowed
  EXPECT_EQ(B->Location().toString(), QStringLiteral("about:blank"));
}

TEST_F(PictureFixture, TheSizeButtonsShowEachSizeClass) {
  Settings.IgnBar = false;
  Open(pcAllImages, Page({{"L.jpg", 640, 10}, {"M1.jpg", 639, 639}, {"S.jpg", 200, 200}, {"M2.jpg", 201, 1}}));
  struct {
    QToolButton *Btn;
    std::vector<std::string> Names;
  } Cases[] = {
      {Form_EditJob->SBtn_Large, {"L.jpg"}},
      {Form_EditJob->SBtn_Medium, {"M1.jpg", "M2.jpg"}},
      {Form_EditJob->SBtn_Small, {"S.jpg"}},
      {Form_EditJob->SBtn_AllSize, {"M1.jpg", "S.jpg", "L.jpg", "M2.jpg"}},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Btn->text().toStdString());
    ASSERT_TRUE(C.Btn->isEnabled());
    C.Btn->click();
    std::vector<std::string> Got;
    for (const auto &U : ShownUrls()) Got.push_back(Url_FileName(U));
    EXPECT_EQ(Got, C.Names);
    EXPECT_FALSE(Form_EditJob->Pn_Pvw_Tips->isVisible());
  }
  // No PNG or GIF on the page: their buttons cannot be pressed.
  EXPECT_FALSE(Form_EditJob->SBtn_Png->isEnabled());
  EXPECT_FALSE(Form_EditJob->SBtn_Gif->isEnabled());
  EXPECT_TRUE(Form_EditJob->SBtn_Jpg->isEnabled());
}

TEST_F(PictureFixture, TheTinyAndLineFiltersLeaveOutPicturesAtTheirLimits) {
  Open(pcAllImages, Page({{"9x9", 9, 9},
                          {"10x1", 10, 1},
                          {"1x10", 1, 10},
                          {"400x20", 400, 20},
                          {"401x20", 401, 20},
                          {"1x20", 1, 20},
                          {"1x21", 1, 21}}));
  std::vector<std::string> Got;
  for (const auto &I : Img->AllItems) Got.push_back(Url_FileName(I->Url));
  EXPECT_EQ(Got, (std::vector<std::string>{"10x1", "1x10", "400x20", "1x20"}));
}

TEST_F(PictureFixture, TheSameAddressInAnotherHostOrSchemeCaseIsOnePicture) {
  Open(pcAllImages, TSnapshotBuilder()
                        .Image(Pic("http://localhost:1/a/Photo.jpg", 300, 300))
                        .Image(Pic("HTTP://LOCALHOST:1/a/Photo.jpg", 300, 300))
                        .Image(Pic("http://localhost:1/A/Photo.jpg", 300, 300)));
  EXPECT_EQ(ShownUrls(), (std::vector<std::string>{"http://localhost:1/a/Photo.jpg", "http://localhost:1/A/Photo.jpg"}));
}

TEST_F(PictureFixture, NamesAndTypesOfAwkwardAddresses) {
  Settings.IgnTiny = Settings.IgnBar = false;
  PJobRec J = Open(pcAllImages, TSnapshotBuilder()
                                    .Image(Pic(Pics + "pic.JPG", 400, 300))
                                    .Image(Pic(Pics + "folder/", 300, 300, "GIF Image"))
                                    .Image(Pic(Pics + "photo.jpeg", 200, 300))
                                    .Image(Pic(Pics + "tile", 100, 100, "Bitmap Image")));
  ASSERT_EQ(Img->ItemList.size(), 4u);
  struct {
    std::string Url, Name, Ext, Type;
  } Want[] = {{Pics + "pic.JPG", "pic", ".jpg", "JPG"},
              {Pics + "folder/", "image", ".gif", "GIF"},
              {Pics + "photo.jpeg", "photo.jpeg", ".jpg", "JPG"},
              {Pics + "tile", "tile", "", "?"}};
  for (size_t I = 0; I < 4; ++I) {
    SCOPED_TRACE(Want[I].Url);
    Img->VIBox_Select_Item(Img->ItemList[I]);
    EXPECT_EQ(Form_EditJob->Edit_Img_Url->text().toStdString(), Want[I].Url);
    EXPECT_EQ(Form_EditJob->Edit_Img_AFn->text().toStdString(), Want[I].Name);
    EXPECT_EQ(Form_EditJob->Lbl_Img_EFn->text().toStdString(), Want[I].Ext);  // shown in lower case
    EXPECT_EQ(PanelAt(I)->Image->TypeText.toStdString(), Want[I].Type);
  }
  EXPECT_NE(LogText().find(Format("JobID: %d, Auto correct image type: .jpg", {J->JobId.load()})), std::string::npos);
}

TEST_F(PictureFixture, TheGifFilterOnAPageOfJpgPicturesEndsTheJob) {
  Settings.FltTyp = 2;
  Open(pcAllImages, Page({{"a.jpg", 300, 300}, {"b.jpg", 200, 300}}));
  EXPECT_FALSE(Form_EditJob->isVisible());
  EXPECT_TRUE(Ctrl->JobList().empty());
  ASSERT_FALSE(Host.Tips.empty());
  EXPECT_EQ(Host.Tips.back(), "Job 1 canceled: No Image found!");
}

TEST_F(PictureFixture, AOnePictureJobThatIsNoPictureEndsTheJob) {
  Open(pcOneImage, TSnapshotBuilder().Element("DIV", "<div></div>"));
  EXPECT_FALSE(Form_EditJob->isVisible());
  ASSERT_FALSE(Host.Tips.empty());
  EXPECT_EQ(Host.Tips.back(), "Job 1 canceled: uImg 01, Can not get current picture!");
}

TEST_F(PictureFixture, SwitchingBetweenCurrentAndAllCollectsThePageOnce) {
  PJobRec J = Open(pcOneImage, Page({{"one.jpg", 300, 200}, {"two.jpg", 640, 480}, {"three.jpg", 100, 80}}).ElementIndex(2));
  TVIBItem *One = Img->ItemList.at(0);
  EXPECT_EQ(One->Url, Pics + "three.jpg");
  EXPECT_FALSE(Img->AllCollected);
  EXPECT_TRUE(Form_EditJob->Sbtn_CurImg->isEnabled());

  Form_EditJob->SBtn_AImg->click();
  EXPECT_EQ(J->Kind, jkAllImages);
  EXPECT_TRUE(Img->AllCollected);
  EXPECT_TRUE(Form_EditJob->Pn_Almg_bench->isVisible());
  ASSERT_EQ(Img->AllItems.size(), 3u);
  const TVIBItem *First = Img->AllItems[0].get();

  Form_EditJob->Sbtn_CurImg->click();
  EXPECT_EQ(J->Kind, jkOneImage);
  EXPECT_EQ(Img->ItemList, TVIBList{One});  // the same picture, not collected again
  EXPECT_FALSE(Form_EditJob->Pn_Almg_bench->isVisible());
  EXPECT_EQ(Checks(), std::vector<bool>{true});

  Form_EditJob->SBtn_AImg->click();
  ASSERT_EQ(Img->AllItems.size(), 3u);
  EXPECT_EQ(Img->AllItems[0].get(), First);  // and the page not collected a second time
  EXPECT_EQ(Img->ItemList.size(), 3u);
}

TEST_F(PictureFixture, AnAllPicturesJobCannotTurnIntoAOnePictureJob) {
  Open(pcAllImages, Page({{"a.jpg", 300, 300}}));
  EXPECT_FALSE(Form_EditJob->Sbtn_CurImg->isEnabled());
  EXPECT_TRUE(Form_EditJob->SBtn_AImg->isChecked());
}

TEST_F(PictureFixture, SortButtonsTurnTheOrderAndSayWhichWayInTheirHints) {
  Open(pcAllImages, TSnapshotBuilder()
                        .Image(Pic(Pics + "g.gif", 300, 300, "GIF Image"))
                        .Image(Pic(Pics + "j.jpg", 200, 200))
                        .Image(Pic(Pics + "p.png", 400, 400, "PNG Image")));
  auto Names = [&] {
    std::string S;
    for (const auto &U : ShownUrls()) S += Url_FileName(U) + " ";
    return S;
  };
  EXPECT_EQ(Names(), "p.png g.gif j.jpg ");
  EXPECT_EQ(Form_EditJob->BBtn_Img_SortSiz->toolTip(), QStringLiteral("Biggest first"));
  Form_EditJob->BBtn_Img_SortSiz->click();
  EXPECT_EQ(Names(), "j.jpg g.gif p.png ");
  EXPECT_EQ(Form_EditJob->BBtn_Img_SortSiz->toolTip(), QStringLiteral("Smallest first"));
  EXPECT_EQ(CurItem, Img->ItemList[0]);  // the first is current after a sort
  EXPECT_EQ(PanelAt(0)->y(), 5);
  Form_EditJob->BBtn_Img_SortTyp->click();  // now the other way: PNG before GIF before JPG
  EXPECT_EQ(Names(), "p.png g.gif j.jpg ");
  EXPECT_EQ(Form_EditJob->BBtn_Img_SortTyp->toolTip(), QStringLiteral("BMP->PNG->GIF->JPG"));
  // A type filter leaves nothing to sort by type.
  Form_EditJob->SBtn_Jpg->click();
  EXPECT_FALSE(Form_EditJob->BBtn_Img_SortTyp->isEnabled());
  EXPECT_FALSE(Form_EditJob->BBtn_Img_SortSiz->isEnabled());
}

TEST_F(PictureFixture, SaveWithNothingCheckedIsRefused) {
  Settings.SelKind = skNone;
  PJobRec J = Open(pcAllImages, Page({{"a.jpg", 300, 300}}));
  QString Seen;
  AnswerNextBox(QStringLiteral("OK"), &Seen);
  Img->Edt_Chk_Valid();
  EXPECT_EQ(Seen, QStringLiteral("No selected items!"));
  EXPECT_EQ(J->State, jsEditing);
  EXPECT_TRUE(Form_EditJob->isVisible());
}

TEST_F(PictureFixture, ACheckBoxClickUpdatesTheCount) {
  Settings.SelKind = skNone;
  Open(pcAllImages, Page({{"a.jpg", 300, 300}, {"b.jpg", 200, 200}}));
  EXPECT_EQ(Status(0), " 0/2 selected");
  QTest::mouseClick(PanelAt(1)->ChkBox, Qt::LeftButton);
  EXPECT_EQ(Status(0), " 1/2 selected");
  EXPECT_TRUE(Form_EditJob->Btn_Save->isEnabled());
}

TEST_F(PictureFixture, SavesExactlyTheCheckedPicturesFromTheCacheUnderUniqueNames) {
  TScriptHttpServer Srv;
  const std::string Jpg = PictureBytes("JPG", 64, 48), Png = PictureBytes("PNG", 40, 40), Gif = PictureBytes("GIF", 1, 1),
                    Bmp = PictureBytes("BMP", 20, 10);
  Srv.On("/a/red.png", TScriptHttpServer::Response("200 OK", Png));
  Srv.On("/b/red.png", TScriptHttpServer::Response("200 OK", Bmp));  // the same name from another folder
  Srv.On("/p/photo.jpg", TScriptHttpServer::Response("200 OK", Jpg));
  Srv.On("/p/anim.gif", TScriptHttpServer::Response("200 OK", Gif));
  Settings.SelKind = skAll;
  PJobRec J = Open(pcAllImages, TSnapshotBuilder()
                                    .Url(Srv.Url("/p/page.html"))
                                    .Image(Pic(Srv.Url("/a/red.png"), 400, 400, "PNG Image"))
                                    .Image(Pic(Srv.Url("/b/red.png"), 300, 300, "PNG Image"))
                                    .Image(Pic(Srv.Url("/p/photo.jpg"), 640, 480))
                                    .Image(Pic(Srv.Url("/p/anim.gif"), 100, 100, "GIF Image")));
  ASSERT_TRUE(Form_EditJob->isVisible());
  // Every thumbnail arrives in the background; each picture is fetched once.
  ASSERT_TRUE(SpinUntil([] { return TThumbLoader::Default().Pending() == 0; }, 20000)) << "the thumbnails never arrived";
  for (const char *T : {"/a/red.png", "/b/red.png", "/p/photo.jpg", "/p/anim.gif"})
    EXPECT_FALSE(TUrlCache::Default().LocalFile(Srv.Url(T)).empty()) << T;
  PanelAt(3)->ChkBox->click();  // the GIF stays behind
  ASSERT_TRUE(Save());
  ASSERT_TRUE(WaitJobEnd(J));
  EXPECT_EQ(J->State, jsComplete);
  const std::string D = Settings.Dir + "/";
  EXPECT_EQ(ReadFile(D + "photo.jpg"), Jpg);
  EXPECT_EQ(ReadFile(D + "red.png"), Png);
  EXPECT_EQ(ReadFile(D + "red[1].png"), Bmp);
  EXPECT_FALSE(File_Exists(D + "anim.gif"));
  EXPECT_EQ(J->FileList.size(), 3u);
  // Saved by copying: no picture was asked for a second time.
  std::vector<std::string> T = Srv.Targets();
  for (const char *P : {"/a/red.png", "/b/red.png", "/p/photo.jpg"}) EXPECT_EQ(std::count(T.begin(), T.end(), P), 1) << P;
}

TEST_F(PictureFixture, ThumbnailFetchesSendThePageAsReferrerAndNeverBlockTheWindow) {
  TScriptHttpServer Srv;
  Srv.On("/p/fast.png", TScriptHttpServer::Response("200 OK", PictureBytes("PNG", 30, 30)));
  Srv.On("/p/slow.png", TScript{TScriptStep::Stall()});
  PJobRec J = Open(pcAllImages, TSnapshotBuilder()
                                    .Url("http://user:secret@" + Srv.Url("/p/page.html#part").substr(7))
                                    .Image(Pic(Srv.Url("/p/slow.png"), 400, 400, "PNG Image"))
                                    .Image(Pic(Srv.Url("/p/fast.png"), 300, 300, "PNG Image")));
  // The window is up and usable while one picture hangs.
  ASSERT_TRUE(Form_EditJob->isVisible());
  ASSERT_TRUE(SpinUntil([&] { return !TUrlCache::Default().LocalFile(Srv.Url("/p/fast.png")).empty(); }, 20000));
  QTest::keyClick(PanelAt(0)->ChkBox, Qt::Key_Down);
  EXPECT_EQ(Img->IndexOf(CurItem), 1);
  bool Sent = false;
  for (const auto &R : Srv.Requests())
    if (R.find("GET /p/fast.png") == 0) {
      Sent = true;
      EXPECT_NE(R.find("Referer: " + Srv.Url("/p/page.html") + "\r\n"), std::string::npos) << R;
      EXPECT_EQ(R.find("secret"), std::string::npos) << R;
    }
  EXPECT_TRUE(Sent);
  Form_EditJob->Btn_Cancel->click();  // the stalled fetch does not hold the window
  EXPECT_FALSE(Form_EditJob->isVisible());
  EXPECT_TRUE(Ctrl->JobList().empty());
  (void)J;
}

TEST_F(PictureFixture, ThumbnailFetchesCarryTheBrowsersCookiesAndUserAgent) {
  TScriptHttpServer Srv;
  Srv.On("/members/a.png", TScriptHttpServer::Response("200 OK", PictureBytes("PNG", 30, 30)));
  const std::string Ua = "Mozilla/5.0 (X11; Linux x86_64) TestBrowser/2.0";
  const std::string Cookies =
      "[{\"name\":\"sid\",\"value\":\"L0gg3dIn\",\"domain\":\"127.0.0.1\",\"path\":\"/members\",\"hostOnly\":true}]";
  Open(pcAllImages, TSnapshotBuilder()
                        .Url(Srv.Url("/members/page.html"))
                        .Set("userAgent", "\"" + Ua + "\"")
                        .Set("cookies", Cookies)
                        .Image(Pic(Srv.Url("/members/a.png"), 30, 30, "PNG Image")));
  ASSERT_TRUE(SpinUntil([&] { return !TUrlCache::Default().LocalFile(Srv.Url("/members/a.png")).empty(); }, 20000))
      << "the thumbnail was never fetched";
  ASSERT_EQ(Srv.Requests().size(), 1u);
  const std::string R = Srv.Requests()[0];
  EXPECT_NE(R.find("\r\nCookie: sid=L0gg3dIn\r\n"), std::string::npos) << R;
  EXPECT_NE(R.find("\r\nUser-Agent: " + Ua + "\r\n"), std::string::npos) << R;
}

TEST_F(PictureFixture, AnAddressWithAnAmpersandIsShownAndFetchedAsWritten) {
  TScriptHttpServer Srv;
  // "&copy" would be read as an HTML entity if the address went into the
  // thumbnail page unescaped.
  const std::string Target = "/p/pic.png?a=1&copy=2&x=\"y\"";
  Srv.On(Target, TScriptHttpServer::Response("200 OK", PictureBytes("PNG", 40, 30, QColor(0, 0, 255))));
  Open(pcAllImages, TSnapshotBuilder().Image(Pic(Srv.Url(Target), 40, 30, "PNG Image")));
  TLightBrowser *B = PanelAt(0)->Browser;
  auto Shown = [&] { return B->Widget()->grab().toImage().pixel(20, 15) == qRgb(0, 0, 255); };
  Shown();
  EXPECT_TRUE(SpinUntil(Shown, 20000)) << "the thumbnail never showed the picture";
  EXPECT_EQ(Srv.Targets(), std::vector<std::string>{Target});
}

TEST(ThumbReferer, ThumbnailFetchesSendWhatABrowserWouldSend) {
  struct {
    const char *Page, *Target, *Want;
  } Cases[] = {
      {"http://a.test/d/p.html?q=1#f", "http://a.test/x.png", "http://a.test/d/p.html?q=1"},
      {"http://al:pw@a.test/d/p.html", "http://a.test/x.png", "http://a.test/d/p.html"},
      {"http://a.test/d/p.html", "http://b.test/x.png", "http://a.test/"},
      {"https://a.test/d/p.html", "http://a.test/x.png", ""},
      {"https://a.test/d/p.html", "https://A.TEST/x.png", "https://a.test/d/p.html"},
      {"file:///home/u/p.html", "http://b.test/x.png", ""},
  };
  for (const auto &C : Cases) EXPECT_EQ(Url_Referer(C.Page, C.Target), C.Want) << C.Page << " -> " << C.Target;
}

TEST_F(PictureFixture, TheIdleTidyUpKeepsAHundredPanelsAndBlanksThemOncePerJob) {
  std::vector<std::tuple<std::string, int, int>> Many;
  TSnapshotBuilder P;
  for (int I = 0; I < 161; ++I) P.Image(Pic(Pics + "n" + std::to_string(I) + ".jpg", 300, 200 + I));
  Open(pcAllImages, P);
  ASSERT_GE(Form_EditJob->ItemPanels().size(), 161u);
  Form_EditJob->Btn_Cancel->click();
  Form_EditJob->DO_OptimizeMem();
  EXPECT_EQ(Form_EditJob->ItemPanels().size(), 100u);
  for (QWidget *W : Form_EditJob->ItemPanels()) EXPECT_EQ(static_cast<TVIBPanel *>(W)->Browser->Tag, 0);
  EXPECT_EQ(EditJobKind, 5);
  // The next job reuses the panels that are left.
  Open(pcAllImages, Page({{"a.jpg", 300, 300}, {"b.jpg", 200, 200}}));
  EXPECT_EQ(Form_EditJob->ItemPanels().size(), 100u);
  ASSERT_EQ(ShownUrls().size(), 2u);
  EXPECT_TRUE(PanelAt(0)->isVisible());
  EXPECT_FALSE(static_cast<TVIBPanel *>(Form_EditJob->ItemPanels()[2])->isVisible());
}

int main(int argc, char **argv) {
  return RunTestsWithEventLoop(
      argc, argv, true, [] { TWebEngineBrowser::PrepareEngine(); }, [] { delete Form_EditJob; });
}
