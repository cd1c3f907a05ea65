#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "editors/EditFixture.h"
#include "pub/Unit_Pub.h"
#include "support/TScriptHttpServer.h"

TEST_F(EditFixture, ASnippetWithNothingSelectedBecomesAnEntirePageJob) {
  PJobRec J = Open(pcSnippet, TSnapshotBuilder().BodyText("whole page"));
  ASSERT_TRUE(Form_EditJob->isVisible());
  EXPECT_EQ(J->Kind, jkFullPage);
  EXPECT_TRUE(Form_EditJob->Sbtn_Fullpage->isChecked());
  EXPECT_FALSE(Form_EditJob->Sbtn_Snippet->isEnabled());
  EXPECT_EQ(PreviewText(), "whole page");
  EXPECT_EQ(Form_EditJob->windowTitle(), QStringLiteral("Save snippet/page"));
}

TEST_F(EditFixture, ASnippetJobSwitchesToThePageAndBackReadingThePageOnce) {
  PJobRec J = Open(pcSnippet, TSnapshotBuilder().Selection("picked", "<b>picked</b>").BodyText("whole page"));
  EXPECT_EQ(J->Kind, jkSnippet);
  EXPECT_TRUE(Form_EditJob->Sbtn_Snippet->isEnabled());
  EXPECT_EQ(PreviewText(), "picked");
  Form_EditJob->Sbtn_Fullpage->click();
  EXPECT_EQ(PreviewText(), "whole page");
  EXPECT_FALSE(Txt->NeedFullPage);
  Form_EditJob->Sbtn_Snippet->click();
  EXPECT_EQ(PreviewText(), "picked");
}

TEST_F(EditFixture, PlainTextHeaderLinesComeInTheirOrder) {
  GParm.bTxt_ExItem_Url = true;
  GParm.bTxt_ExItem_Time = true;
  PJobRec J = Open(pcFullPage, TSnapshotBuilder().Url("http://h.test/p.html").BodyText("text"));
  std::string Want = "URL for this page: http://h.test/p.html\nSaved time: " + DateTimeToStr(J->StartTime) + "\n\ntext";
  EXPECT_EQ(Txt->FTxt_Final, Want);
  EXPECT_EQ(Form_EditJob->Lbl_WB_EFn->text(), QStringLiteral(".txt"));
  Form_EditJob->Chkbox_Addinfo_Time->click();  // only the URL now
  EXPECT_EQ(Txt->FTxt_Final, "URL for this page: http://h.test/p.html\n\ntext");
}

TEST_F(EditFixture, AnHtmlSnippetIsFramedAndAPageKeepsItsHtml) {
  GParm.SrcTextFmt = 1;
  GParm.bTxt_ExItem_Url = true;
  Open(pcSnippet, TSnapshotBuilder().Title("T").Url("http://h.test/p").Selection("s", "<i>s</i>"));
  EXPECT_EQ(Txt->FTxt_Final, "<html><title>T</title> <A href=\"http://h.test/p\">URL for this page</A><BR><BR><i>s</i></html>");
  EXPECT_EQ(Form_EditJob->Lbl_WB_EFn->text(), QStringLiteral(".html"));
  Form_EditJob->Btn_Cancel->click();
  Open(pcFullPage, TSnapshotBuilder().Url("http://h.test/p").Source("<html><body>page</body></html>"));
  EXPECT_EQ(Txt->FTxt_Final, "<A href=\"http://h.test/p\">URL for this page</A><BR><BR><html><body>page</body></html>\n");
  EXPECT_EQ(Txt->FHtmlWay, 1);
  EXPECT_NE(LogText().find("[  Way]: Used \"IWebBrowser2\" to get fHtml! Url: http://h.test/p"), std::string::npos);
}

TEST_F(EditFixture, ThePagesHtmlComesFromTheFirstWayThatGivesIt) {
  GParm.SrcTextFmt = 1;
  // No source: a local copy of the page's address.
  WriteFile(Dir.File("local.html"), "<html>from disk</html>");
  Open(pcFullPage,
       TSnapshotBuilder().Url("file://" + Dir.File("local.html")).Drop("document.sourceBase64").Drop("document.source"));
  EXPECT_EQ(Txt->FHtmlWay, 2);
  EXPECT_EQ(Txt->FTxt_Final, "<html>from disk</html>\n");
  Form_EditJob->Btn_Cancel->click();
  // Neither: the root element, always without its scripts.
  Open(pcFullPage, TSnapshotBuilder().Url("http://h.test/none").RootHtml("<html><script>x()</script><p>root</p></html>"));
  EXPECT_EQ(Txt->FHtmlWay, 3);
  EXPECT_EQ(Txt->FTxt_Final, "<html><p>root</p></html>");
  EXPECT_NE(LogText().find("Used \"IHTMLDocument3\" to get fHtml! Url: http://h.test/none"), std::string::npos);
}

TEST_F(EditFixture, RemoveScriptsDropsEveryScriptBlock) {
  GParm.SrcTextFmt = 1;
  Open(pcFullPage, TSnapshotBuilder().Source("<p>a</p><script>one()</script><p>b</p><SCRIPT src=x></SCRIPT><p>c</p>"));
  EXPECT_NE(Txt->FTxt_Final.find("one()"), std::string::npos);
  Form_EditJob->ChkBox_RmvTag_Scrp->click();
  EXPECT_EQ(Txt->FTxt_Final, "<p>a</p><p>b</p><p>c</p>\n");
}

TEST_F(EditFixture, PicturesAreDownloadedOncePerUrlAndEverySpellingPointsToTheirFile) {
  TScriptHttpServer Srv;
  Srv.On("/img/a.png", TScriptHttpServer::Response("200 OK", "AAAA"));
  Srv.On("/other/a.png", TScriptHttpServer::Response("200 OK", "BBBB"));
  GParm.SrcTextFmt = 1;
  GParm.bTxt_Atch_Image = true;
  std::string A = Srv.Url("/img/a.png"), B = Srv.Url("/other/a.png");
  std::string Html = "<html><body><img src=\"img/a.png\"><img src=\"" + A + "\"><img src=\"other/a.png\"></body></html>";
  TSnapshotBuilder P = TSnapshotBuilder()
                           .Title("pics")
                           .Url(Srv.Url("/page.html"))
                           .Source(Html)
                           .Image({.Src = A, .OuterHtml = "<img src=\"img/a.png\">"})
                           .Image({.Src = A, .OuterHtml = "<img src=\"" + A + "\">"})
                           .Image({.Src = B, .OuterHtml = "<img src=\"other/a.png\">"});
  PJobRec J = Open(pcFullPage, P);
  ASSERT_TRUE(Save());
  ASSERT_TRUE(WaitSaved(J));
  EXPECT_EQ(J->State, jsComplete);
  // One entry for the text, one per distinct picture URL.
  ASSERT_EQ(J->FileList.size(), 3u);
  std::string Folder = Dir.File("save/Text/pics.files/");
  EXPECT_EQ(J->FileList[1]->LocalName, Folder + "a.png");
  EXPECT_EQ(J->FileList[2]->LocalName, Folder + "a[1].png");  // the same name from another URL, without a question
  EXPECT_EQ(ReadFile(Folder + "a.png"), "AAAA");
  EXPECT_EQ(ReadFile(Folder + "a[1].png"), "BBBB");
  std::string Saved = ReadFile(Dir.File("save/Text/pics.html"));
  EXPECT_EQ(Saved,
            "<html><body><img src=\"pics.files/a.png\"><img src=\"pics.files/a.png\"><img "
            "src=\"pics.files/a[1].png\"></body></html>\n");
  int Gets = 0;
  for (const auto &T : Srv.Targets()) Gets += T == "/img/a.png";
  EXPECT_EQ(Gets, 1);
}

TEST_F(EditFixture, SaveImagesOnASnippetWithoutPicturesSavesOnlyTheText) {
  GParm.SrcTextFmt = 1;
  GParm.bTxt_Atch_Image = true;
  PJobRec J = Open(pcSnippet, TSnapshotBuilder().Title("snip").Selection("x", "<p>x</p>"));
  ASSERT_TRUE(Save());
  ASSERT_TRUE(WaitSaved(J));
  EXPECT_EQ(J->FileList.size(), 1u);
  EXPECT_FALSE(Dir_Exists(Dir.File("save/Text/snip.files")));
  EXPECT_TRUE(File_Exists(Dir.File("save/Text/snip.html")));
}

TEST_F(EditFixture, AnEmptyTextIsAFailedSaveWithItsNumber) {
  PJobRec J = Open(pcFullPage, TSnapshotBuilder().BodyText(""));
  ASSERT_TRUE(Form_EditJob->isVisible());
  Save();
  EXPECT_TRUE(Ctrl->JobList().empty());
  ASSERT_FALSE(Host.Tips.empty());
  EXPECT_EQ(Host.Tips.back().Msg, "Job 1 canceled: No text to be saved! uTxt 1");
  EXPECT_FALSE(Form_EditJob->isVisible());
}

TEST_F(EditFixture, ANameWithAForbiddenCharacterIsRefused) {
  Open(pcFullPage, TSnapshotBuilder().Title("a:b").BodyText("t"));
  EXPECT_EQ(Form_EditJob->Edit_AbsFileName->text(), QStringLiteral("a b"));  // cleaned from the title
  Form_EditJob->Edit_AbsFileName->setText(QStringLiteral("bad|name"));
  QString Seen;
  AnswerNextBox(QStringLiteral("OK"), &Seen);
  EXPECT_FALSE(Save());
  EXPECT_EQ(Seen, QStringLiteral("Invalid file name, please correct it!"));
}

TEST_F(EditFixture, APageAddressNamingAFifoOrADeviceIsNeverRead) {
  GParm.SrcTextFmt = 1;
  TFifoTrap Fifo(Dir.File("page.fifo"), "<html>read from a FIFO</html>");
  // Without the browser's source the page's own file would be next: a FIFO
  // would hold the window for good, /dev/zero would fill the memory.
  for (const std::string &Url : {"file://" + Fifo.Path(), std::string("file:///dev/zero")}) {
    Open(pcFullPage,
         TSnapshotBuilder().Url(Url).Drop("document.sourceBase64").Drop("document.source").RootHtml("<html>root</html>"));
    EXPECT_EQ(Txt->FHtmlWay, 3) << Url;
    EXPECT_EQ(Txt->FTxt_Final, "<html>root</html>") << Url;
    Form_EditJob->Btn_Cancel->click();
  }
  EXPECT_FALSE(Fifo.Opened());
}

TEST_F(EditFixture, OnlyRegularFilesAreCopiedAsAPagesPictures) {
  GParm.SrcTextFmt = 1;
  GParm.bTxt_Atch_Image = true;
  TFifoTrap Fifo(Dir.File("pic.fifo"), "GIF89a from a FIFO");
  WriteFile(Dir.File("red.png"), "PNG bytes");
  const std::string Page = "file://" + Dir.File("album.html"), Pic = "file://" + Dir.File("red.png"),
                    Trap = "file://" + Fifo.Path(), Zero = "file:///dev/zero";
  std::string Html = "<html><img src=\"red.png\"><img src=\"pic.fifo\"><img src=\"" + Zero + "\"></html>";
  WriteFile(Dir.File("album.html"), Html);
  PJobRec J = Open(pcFullPage, TSnapshotBuilder()
                                   .Title("album")
                                   .Url(Page)
                                   .Source(Html)
                                   .Image({.Src = Pic, .OuterHtml = "<img src=\"red.png\">"})
                                   .Image({.Src = Trap, .OuterHtml = "<img src=\"pic.fifo\">"})
                                   .Image({.Src = Zero, .OuterHtml = "<img src=\"" + Zero + "\">"}));
  ASSERT_TRUE(Save());
  ASSERT_TRUE(WaitSaved(J)) << "the save run never ended";
  EXPECT_EQ(J->State, jsWarning);
  ASSERT_EQ(J->FileList.size(), 4u);
  EXPECT_EQ(J->FileList[1]->Status, fsSaved);
  EXPECT_EQ(J->FileList[2]->Status, fsFailed);
  EXPECT_EQ(J->FileList[3]->Status, fsFailed);
  std::string Folder = Dir.File("save/Text/album.files/");
  EXPECT_EQ(ReadFile(Folder + "red.png"), "PNG bytes");
  EXPECT_FALSE(File_Exists(Folder + "pic.fifo"));
  EXPECT_FALSE(File_Exists(Folder + "zero"));
  EXPECT_FALSE(Fifo.Opened());
  std::string L = LogText();
  EXPECT_NE(L.find("Not a regular file: " + Trap), std::string::npos) << L;
  EXPECT_NE(L.find("Not a regular file: " + Zero), std::string::npos) << L;
}
