// The movie editor through the real edit window (offscreen): the plug-in
// movies and the VIDEO and AUDIO of a page in the box, the "Size" button and
// its indicator, movies that cannot be saved, and what a save writes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>
#include <QToolButton>

#include "editors/uFlsJobEdtr.h"
#include "editors/uForm_EditJob.h"
#include "editors/uThumbLoader.h"
#include "editors/uVIBPanel.h"
#include "jobs/Unit_JobCntl.h"
#include "platform/TWebBrowser.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "pub/uGlobalParm.h"
#include "pub/uRunVars.h"
#include "support/TJobWait.h"
#include "support/TQtSupport.h"
#include "support/TScriptHttpServer.h"
#include "support/TSnapshotBuilder.h"
#include "support/TestSupport.h"

namespace {

class TMovieHost : public TJobHost {
 public:
  std::vector<std::string> Tips;
  void TipMsg(const std::string &Msg, const std::string &, int) override { Tips.push_back(Msg); }
  bool MsgBox(const std::string &, int) override { return true; }
  bool EditWindowShowing() override { return Form_EditJob && Form_EditJob->isVisible(); }
  bool EditWindowClosing() override { return Form_EditJob && Form_EditJob->InFormClose; }
  TJobRec *EditJob() override { return ::EditJob.get(); }
  void EditWindowToFront() override { Form_EditJob->Frm_ToFront(); }
  void PressEditCancel() override { Form_EditJob->Btn_Cancel->click(); }
  void ChooseEditor(uint8_t Kind) override { CurEditor = Kind == jkFlash ? JE_Fls : nullptr; }
  void StartEditor(const PJobRec &Job) override {
    if (!CurEditor) throw EMossError("No editor for this kind of job");
    CurEditor->EJob_Start(Job);
  }
  void RememberForeground() override {}
  bool StartFailed() override { return InitFailed; }
  int32_t NextJobId() override { return ++GParm.iTot_Job_Cnt; }
  bool TipOnComplete() override { return GParm.bMsg_Cmplt; }
};

struct MovieFixture : ::testing::Test {
  TTempDir Dir;
  TLogger Log{Dir.File("log.txt")};
  TMovieHost Host;
  std::unique_ptr<TJobCtrl> Ctrl;
  std::unique_ptr<TFlsJobEdtr> Fls;
  TFlsSettings Settings;

  void SetUp() override {
    SetLogger(&Log);
    ::setenv("MOSSGATHER_PRGDIR", Dir.Path().c_str(), 1);
    PrgDir = Dir.Path();
    GParm = TGlobalParm();
    InitFailed = false;
    SysState = 1;
    Settings.Dir = Dir.File("save/Flash");
    Ctrl = std::make_unique<TJobCtrl>(Host);
    JobCtrl = Ctrl.get();
    Fls = std::make_unique<TFlsJobEdtr>([this] { return Settings; });
    if (!Form_EditJob) new TForm_EditJob();
    TThumbLoader::Default().Release();
  }
  void TearDown() override {
    if (Form_EditJob->isVisible()) Form_EditJob->Btn_Cancel->click();
    Ctrl.reset();
    JobCtrl = nullptr;
    CurEditor = nullptr;
    EditJob.reset();
    Fls.reset();
    SetLogger(nullptr);
  }

  PJobRec Open(const TSnapshotBuilder &Page) {
    TPageSnapshot S = Page.Parse();
    EXPECT_TRUE(Ctrl->Flow_Begin(S.Window(), pcFlash, S.Element()));
    Ctrl->EditTimer().stop();
    Ctrl->OnEditTimer();
    // Keys reach the box only while its window is the active one.
    if (Form_EditJob->isVisible()) SpinUntil([] { return QApplication::activeWindow() == Form_EditJob; }, 2000);
    return Ctrl->JobList().empty() ? nullptr : Ctrl->JobList().back();
  }
  TVIBPanel *PanelAt(size_t I) const { return I < Fls->ItemList.size() ? Fls->PanelOf(Fls->ItemList[I]) : nullptr; }
  std::vector<std::string> Shown() const {
    std::vector<std::string> Out;
    for (TVIBItem *I : Fls->ItemList) Out.push_back(Url_FileName(I->Url));
    return Out;
  }
  std::vector<bool> Checks() const {
    std::vector<bool> Out;
    for (size_t I = 0; I < Fls->ItemList.size(); ++I) Out.push_back(PanelAt(I) && PanelAt(I)->ChkBox->isChecked());
    return Out;
  }
  std::string Indicator() const { return Form_EditJob->Label_Flash_Sort_Indc->text().toStdString(); }
};

TSnapPlugin Swf(const std::string &Movie, const std::string &W = "400", const std::string &H = "300") {
  return {.Movie = Movie, .Width = W, .Height = H};
}

const std::string Page = "http://example.test/site/games/arcade.html";

}  // namespace

TEST_F(MovieFixture, AnObjectWithAnEmbedInsideIsOneMovieInTheFlashTab) {
  PJobRec J = Open(
      TSnapshotBuilder().Url(Page).Object(Swf("movies/intro.swf", "550", "400")).Embed(Swf("movies/intro.swf", "550", "400")));
  ASSERT_TRUE(Form_EditJob->isVisible());
  EXPECT_EQ(Form_EditJob->windowTitle(), QStringLiteral("Save flash"));
  EXPECT_EQ(Form_EditJob->PageCtrl->currentWidget(), Form_EditJob->TS_Flash);
  EXPECT_FALSE(Form_EditJob->PageCtrl->isTabVisible(0));
  EXPECT_FALSE(Form_EditJob->PageCtrl->isTabVisible(1));
  EXPECT_EQ(Form_EditJob->Edit_Fls_SDir->text().toStdString(), Settings.Dir);
  ASSERT_EQ(Fls->ItemList.size(), 1u);
  // The relative movie in the page's sub-folder, named from its last piece.
  EXPECT_EQ(Form_EditJob->Edit_Fls_Url->text(), QStringLiteral("http://example.test/site/games/movies/intro.swf"));
  EXPECT_EQ(Form_EditJob->Edit_Fls_AFn->text(), QStringLiteral("intro"));
  EXPECT_EQ(Form_EditJob->Lbl_Fls_EFn->text(), QStringLiteral(".swf"));
  // A single movie: nothing to sort, and the indicator keeps its text.
  EXPECT_FALSE(Form_EditJob->BBtn_Fls_SortSiz->isEnabled());
  EXPECT_EQ(Indicator(), "Biggest  first");
  // The thumbnail: the player's page, drawn as a movie with its name; no type.
  TVIBPanel *P = PanelAt(0);
  EXPECT_EQ(P->Browser->MovieShown(), QStringLiteral("intro.swf"));
  EXPECT_EQ(P->Browser->Widget()->geometry(), QRect(14, 7, 124, 90));
  EXPECT_FALSE(P->Image->ShowType);
  EXPECT_EQ(P->Image->SizeLine, QStringLiteral("550 x 400"));
  EXPECT_EQ(Form_EditJob->StaBar_Panels[0]->text(), QStringLiteral(" 1/1 selected"));
  EXPECT_EQ(J->State, jsEditing);
}

TEST_F(MovieFixture, TheSizeButtonReversesTheExchangeSortAndSaysWhichWay) {
  Settings.SortDes = true;
  Open(TSnapshotBuilder().Object(Swf("A.swf", "5", "1")).Object(Swf("B.swf", "1", "5")).Embed(Swf("C.swf", "3", "3")));
  ASSERT_TRUE(Form_EditJob->isVisible());
  // Areas 5, 5, 9: the exchange puts C first and swaps A behind B.
  EXPECT_EQ(Shown(), (std::vector<std::string>{"C.swf", "B.swf", "A.swf"}));
  EXPECT_EQ(Indicator(), "Biggest first");
  EXPECT_TRUE(Form_EditJob->BBtn_Fls_SortSiz->isEnabled());
  EXPECT_EQ(CurItem, Fls->ItemList[0]);
  Form_EditJob->BBtn_Fls_SortSiz->click();
  EXPECT_EQ(Shown(), (std::vector<std::string>{"A.swf", "B.swf", "C.swf"}));
  EXPECT_EQ(Indicator(), "Smallest first");
  // The panels follow the order, and the first is current.
  EXPECT_EQ(PanelAt(0)->y(), 5);
  EXPECT_EQ(PanelAt(2)->y(), 2 * 105 + 5);
  EXPECT_EQ(CurItem, Fls->ItemList[0]);
  Form_EditJob->BBtn_Fls_SortSiz->click();
  EXPECT_EQ(Shown(), (std::vector<std::string>{"C.swf", "B.swf", "A.swf"}));
  EXPECT_EQ(Indicator(), "Biggest first");
  Form_EditJob->Btn_Cancel->click();

  // The setting asks for smallest first from the start; the change made with
  // the button held for that job only.
  Settings.SortDes = false;
  Open(TSnapshotBuilder().Object(Swf("big.swf", "500", "500")).Object(Swf("small.swf", "50", "50")));
  EXPECT_EQ(Shown(), (std::vector<std::string>{"small.swf", "big.swf"}));
  EXPECT_EQ(Indicator(), "Smallest first");
  Form_EditJob->Btn_Cancel->click();
  // A single movie leaves the indicator as the last job left it.
  Open(TSnapshotBuilder().Object(Swf("one.swf")));
  EXPECT_FALSE(Form_EditJob->BBtn_Fls_SortSiz->isEnabled());
  EXPECT_EQ(Indicator(), "Smallest first");
}

TEST_F(MovieFixture, TheSelectButtonsAndTheDefaultSelection) {
  Settings.SelKind = skBiggest;
  Open(TSnapshotBuilder().Object(Swf("a.swf", "100", "100")).Object(Swf("b.swf", "200", "50")).Embed(Swf("c.swf", "10", "10")));
  EXPECT_EQ(Checks(), (std::vector<bool>{true, true, false}));  // equal areas go together
  Form_EditJob->BBtn_Fls_SelNon->click();
  EXPECT_EQ(Checks(), (std::vector<bool>{false, false, false}));
  EXPECT_FALSE(Form_EditJob->Btn_Save->isEnabled());
  Form_EditJob->BBtn_Fls_SelAll->click();
  EXPECT_EQ(Checks(), (std::vector<bool>{true, true, true}));
  Form_EditJob->BBtn_Fls_SelBig->click();
  EXPECT_EQ(Checks(), (std::vector<bool>{true, true, false}));
}

TEST_F(MovieFixture, APageWithoutMoviesEndsTheJob) {
  struct Case {
    const char *What;
    TSnapshotBuilder Page;
  } Cases[] = {
      {"an OBJECT that is no player", TSnapshotBuilder().Object({.Movie = "clip.mp4", .Flash = false})},
      {"nothing at all", TSnapshotBuilder()},
  };
  for (const Case &C : Cases) {
    Host.Tips.clear();
    Open(C.Page);
    EXPECT_FALSE(Form_EditJob->isVisible()) << C.What;
    EXPECT_TRUE(Ctrl->JobList().empty()) << C.What;
    ASSERT_FALSE(Host.Tips.empty()) << C.What;
    EXPECT_NE(Host.Tips.back().find("canceled: No Flash found!"), std::string::npos) << C.What;
  }
  // A page with only a VIDEO has a movie.
  Open(TSnapshotBuilder().Media({.Src = "http://example.test/v.mp4"}));
  EXPECT_TRUE(Form_EditJob->isVisible());
}

TEST_F(MovieFixture, VideoAndAudioOfTodaysPagesJoinThePluginMovies) {
  const std::string D = "http://example.test/dir/";
  Open(TSnapshotBuilder()
           .Embed(Swf("same.mp4", "320", "240"))
           .Media({.Src = D + "same.mp4", .Width = 320, .Height = 240})
           .Media({.Sources = {{D + "two.webm", "video/webm"}, {D + "two.mp4", "video/mp4"}}, .Width = 640, .Height = 360})
           .Media({.Src = D + "poster.mp4", .Poster = D + "frame.jpg", .Width = 800, .Height = 450})
           .Media({.TagName = "AUDIO", .Src = D + "song.mp3", .Width = 300, .Height = 32})
           .Media({.Src = "blob:http://example.test/5f1e", .Width = 1280, .Height = 720}));
  ASSERT_TRUE(Form_EditJob->isVisible());
  // Biggest first by exchange: the two sources of one VIDEO trade places.
  ASSERT_EQ(Shown(), (std::vector<std::string>{"5f1e", "poster.mp4", "two.mp4", "two.webm", "same.mp4", "song.mp3"}));
  // Everything that can be saved is checked; the page's own stream cannot be.
  EXPECT_EQ(Checks(), (std::vector<bool>{false, true, true, true, true, true}));
  TVIBPanel *Blob = PanelAt(0);
  EXPECT_FALSE(Blob->ChkBox->isEnabled());
  EXPECT_EQ(Blob->Image->Note, QStringLiteral("Page-built stream"));
  EXPECT_TRUE(Blob->Image->NoteWarns);
  EXPECT_NE(Blob->toolTip().indexOf(QStringLiteral("builds itself")), -1);
  EXPECT_EQ(Form_EditJob->StaBar_Panels[0]->text(), QStringLiteral(" 5/6 selected"));
  // "Biggest" passes over the stream to the biggest movie with a file.
  Form_EditJob->BBtn_Fls_SelBig->click();
  EXPECT_EQ(Checks(), (std::vector<bool>{false, true, false, false, false, false}));
  EXPECT_EQ(CurItem, Fls->ItemList[1]);
  Form_EditJob->BBtn_Fls_SelAll->click();
  EXPECT_FALSE(PanelAt(0)->ChkBox->isChecked());
  // The keys move onto the stream and on from it, although its box takes no focus.
  QTest::keyClick(PanelAt(1)->ChkBox, Qt::Key_Up);
  ASSERT_EQ(CurItem, Fls->ItemList[0]);
  EXPECT_EQ(Form_EditJob->Edit_Fls_Url->text(), QStringLiteral("blob:http://example.test/5f1e"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  EXPECT_EQ(CurItem, Fls->ItemList[1]);
  EXPECT_TRUE(PanelAt(1)->ChkBox->hasFocus());

  // The caption names the type; the poster is the thumbnail; a movie
  // without one, and the audio across the whole area, show the player.
  EXPECT_TRUE(PanelAt(1)->Image->ShowType);
  EXPECT_EQ(PanelAt(1)->Image->TypeText, QStringLiteral("VIDEO"));
  EXPECT_EQ(PanelAt(3)->Image->Note, QStringLiteral("WEBM"));
  EXPECT_FALSE(PanelAt(3)->Image->NoteWarns);
  EXPECT_EQ(PanelAt(5)->Image->TypeText, QStringLiteral("AUDIO"));
  EXPECT_EQ(PanelAt(5)->Image->Note, QStringLiteral("MP3"));
  EXPECT_EQ(PanelAt(5)->Image->SizeLine, QStringLiteral("0 x 0"));
  EXPECT_TRUE(PanelAt(1)->Browser->MovieShown().isNull());
  EXPECT_NE(PanelAt(1)->Browser->Document()->toHtml().indexOf(QString::fromStdString(D + "frame.jpg")), -1);
  EXPECT_EQ(PanelAt(3)->Browser->MovieShown(), QStringLiteral("two.webm"));
  EXPECT_EQ(PanelAt(5)->Browser->MovieShown(), QStringLiteral("song.mp3"));
  EXPECT_EQ(PanelAt(5)->Browser->Widget()->geometry(), QRect(9, 7, 135, 90));
  // The embed's own size and place: the same address as a VIDEO is one item.
  EXPECT_EQ(PanelAt(4)->Image->TypeText, QString());
}

TEST_F(MovieFixture, SavesExactlyTheCheckedMoviesUnderUniqueNames) {
  TScriptHttpServer Srv;
  const std::string A = std::string("FWS-a-") + std::string(3000, 'a'), B = "FWS-b-" + std::string(5000, 'b'),
                    V = "....ftypmp42" + std::string(7000, 'v'), Q = "FWS-q";
  Srv.On("/x/intro.swf", TScriptHttpServer::Response("200 OK", A));
  Srv.On("/y/intro.swf", TScriptHttpServer::Response("200 OK", B));
  Srv.On("/v/clip.mp4", TScriptHttpServer::Response("200 OK", V));
  Srv.On("/q/score.swf?v=2", TScriptHttpServer::Response("200 OK", Q));
  Srv.On("/v/left.webm", TScriptHttpServer::Response("200 OK", "never"));
  Settings.SelKind = skAll;
  PJobRec J = Open(TSnapshotBuilder()
                       .Url(Srv.Url("/page.html"))
                       .Object(Swf("x/intro.swf", "400", "300"))
                       .Embed(Swf("y/intro.swf", "200", "100"))
                       .Embed(Swf("q/score.swf?v=2", "20", "10"))
                       .Media({.Src = Srv.Url("/v/clip.mp4"), .Width = 300, .Height = 200})
                       .Media({.Src = Srv.Url("/v/left.webm"), .Width = 10, .Height = 10})
                       .Media({.Src = "blob:" + Srv.Url("/9a"), .Width = 640, .Height = 360}));
  ASSERT_TRUE(Form_EditJob->isVisible());
  ASSERT_EQ(Shown(), (std::vector<std::string>{"9a", "intro.swf", "clip.mp4", "intro.swf", "score.swf?v=2", "left.webm"}));
  EXPECT_EQ(Form_EditJob->Lbl_Fls_EFn->text(), QStringLiteral(""));  // the stream is current and has no extension
  PanelAt(5)->ChkBox->click();                                       // left.webm stays behind
  ASSERT_TRUE(Form_EditJob->Btn_Save->isEnabled());
  Form_EditJob->Btn_Save->click();
  ASSERT_FALSE(Form_EditJob->isVisible()) << "the save was refused";
  ASSERT_TRUE(WaitJobEnd(J));
  EXPECT_EQ(J->State, jsComplete);
  ASSERT_EQ(J->FileList.size(), 4u);  // never the stream, never the unchecked one
  const std::string D = Settings.Dir + "/";
  EXPECT_EQ(ReadFile(D + "intro.swf"), A);
  EXPECT_EQ(ReadFile(D + "intro[1].swf"), B);
  EXPECT_EQ(ReadFile(D + "clip.mp4"), V);
  // The query kept in the extension makes an invalid name, renamed before saving.
  bool QuerySaved = false;
  for (const auto &F : J->FileList) {
    EXPECT_EQ(Fn_ExtractName(F->LocalName).find('?'), std::string::npos) << F->LocalName;
    if (F->Url == Srv.Url("/q/score.swf?v=2")) QuerySaved = ReadFile(F->LocalName) == Q;
  }
  EXPECT_TRUE(QuerySaved);
  std::vector<std::string> T = Srv.Targets();
  EXPECT_EQ(std::count(T.begin(), T.end(), "/v/left.webm"), 0);
}

int main(int argc, char **argv) {
  return RunTestsWithEventLoop(
      argc, argv, true, [] { TWebEngineBrowser::PrepareEngine(); }, [] { delete Form_EditJob; });
}
