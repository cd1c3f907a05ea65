// The text editor on pages made to harm: local files among the pictures.
#include <QLineEdit>

#include "editors/EditFixture.h"
#include "pub/Unit_Pub.h"
#include "support/TScriptHttpServer.h"

namespace {

// An HTML page with pictures to be saved beside it.
struct PicturePageEdit : EditFixture {
  void SetUp() override {
    EditFixture::SetUp();
    GParm.SrcTextFmt = 1;
    GParm.bTxt_Atch_Image = true;
  }
  std::string Saved(const std::string &Name) { return ReadFile(Dir.File("save/Text/" + Name)); }
};

}  // namespace

TEST_F(PicturePageEdit, AWebPagesLocalPicturesAreNeitherListedNorCopied) {
  TScriptHttpServer Srv;
  Srv.On("/a.png", TScriptHttpServer::Response("200 OK", "AAAA"));
  WriteFile(Dir.File("secret.txt"), "private");
  const std::string Secret = "file://" + Dir.File("secret.txt");
  const std::string Html = "<img src=\"a.png\"><img src=\"" + Secret + "\">";
  PJobRec J = Open(pcFullPage, TSnapshotBuilder()
                                   .Title("t")
                                   .Url(Srv.Url("/page.html"))
                                   .Source(Html)
                                   .Image({.Src = Srv.Url("/a.png"), .OuterHtml = "<img src=\"a.png\">"})
                                   .Image({.Src = Secret, .OuterHtml = "<img src=\"" + Secret + "\">"}));
  ASSERT_TRUE(Save());
  ASSERT_TRUE(WaitSaved(J));
  EXPECT_EQ(J->State, jsComplete);
  ASSERT_EQ(J->FileList.size(), 2u);
  EXPECT_FALSE(File_Exists(Dir.File("save/Text/t.files/secret.txt")));
  // The local address stays as the page wrote it.
  EXPECT_EQ(Saved("t.html"), "<img src=\"t.files/a.png\"><img src=\"" + Secret + "\">\n");
}
