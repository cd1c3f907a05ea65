// What a text job saves, decided from a page snapshot, the final text and
// the target, without a display.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "editors/uTxtSave.h"
#include "jobs/uJobRec.h"
#include "pub/uMossError.h"
#include "support/TSnapshotBuilder.h"

namespace {

using TFiles = std::vector<std::pair<std::string, std::string>>;

const std::string Dest = "/save/moss.htm";
const std::string Folder = "/save/moss.files/";

std::string Joined(const std::vector<std::string> &Lines) {
  std::string Out;
  for (const auto &L : Lines) Out += L + "\n";
  return Out;
}

// A page with one picture written three ways (absolute, relative, again
// absolute) and a local file a web page may not hand out.
TSnapshotBuilder PicturePage() {
  return TSnapshotBuilder()
      .Image({.Src = "http://example.test/a.jpg"})
      .Image({.Src = "http://example.test/a.jpg", .OuterHtml = "<img src=\"../a.jpg\">"})
      .Image({.Src = "http://example.test/a.jpg"})
      .Image({.Src = "http://example.test/b.png"})
      .Image({.Src = "file:///home/user/secret.png"});
}

const std::string PictureHtml =
    "<html><body>\n<img src=\"http://example.test/a.jpg\">\n<img src=\"../a.jpg\">\n"
    "<img src=\"http://example.test/b.png\">\n<img src=\"file:///home/user/secret.png\">\n</body></html>";

TTxtSaveInput InputFor(const TPageSnapshot &S, const std::string &Text) {
  TTxtSaveInput In;
  In.Doc = S.Window()->Document().get();
  In.PageUrl = TSnapshotBuilder::DefaultUrl;
  In.FinalText = Text;
  In.Dest = Dest;
  In.PlainText = false;
  return In;
}

}  // namespace

TEST(TxtSave, TextOnlyWhenThereAreNoPicturesToSave) {
  const TPageSnapshot S = PicturePage().Parse();
  struct TCase {
    const char *Name;
    bool PlainText, Snippet, SaveImg;
    std::string Text;
  } Cases[] = {
      {"plain text", true, false, true, "line one\r\nline two\n"},
      {"pictures not wanted", false, false, false, PictureHtml},
      {"a snippet without pictures", false, true, true, "<p>just words</p>"},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    TTxtSaveInput In = InputFor(S, C.Text);
    In.PlainText = C.PlainText;
    In.Snippet = C.Snippet;
    In.SaveImg = C.SaveImg;
    int Asked = 0;
    In.CheckDir = [&](const std::string &) { return ++Asked, true; };
    const TTxtSavePlan P = Txt_PlanSave(In);
    EXPECT_EQ(P.Files, (TFiles{{WebpageContents, Dest}}));
    EXPECT_EQ(Joined(P.TextLines), C.Text.back() == '\n' ? C.Text : C.Text + "\n");
    EXPECT_TRUE(P.AttachDir.empty());
    EXPECT_EQ(Asked, 0) << "no picture folder is made for a text without pictures";
  }
  // A carriage return stays where the page had it.
  TTxtSaveInput In = InputFor(S, "a\r\nb");
  In.PlainText = true;
  EXPECT_EQ(Txt_PlanSave(In).TextLines, (std::vector<std::string>{"a\r", "b"}));
}

TEST(TxtSave, EachPictureOnceIntoTheFolderWithEveryLinkPointingThere) {
  const TPageSnapshot S = PicturePage().Parse();
  TTxtSaveInput In = InputFor(S, PictureHtml);
  std::string DirAsked;
  In.CheckDir = [&](const std::string &D) { return DirAsked = D, true; };
  const TTxtSavePlan P = Txt_PlanSave(In);
  EXPECT_EQ(DirAsked, Folder);
  EXPECT_EQ(P.AttachDir, Folder);
  EXPECT_FALSE(P.LinksFailed);
  EXPECT_EQ(P.Files, (TFiles{{WebpageContents, Dest},
                             {"http://example.test/a.jpg", Folder + "a.jpg"},
                             {"http://example.test/b.png", Folder + "b.png"}}));
  const std::string Html = Joined(P.TextLines);
  EXPECT_EQ(Html.find("http://example.test/a.jpg"), std::string::npos) << Html;
  EXPECT_EQ(Html.find("../a.jpg"), std::string::npos) << "the relative spelling is rewritten too: " << Html;
  EXPECT_NE(Html.find("moss.files/a.jpg"), std::string::npos) << Html;
  EXPECT_NE(Html.find("moss.files/b.png"), std::string::npos) << Html;
  // The local file stays as the page wrote it, and is not fetched.
  EXPECT_NE(Html.find("file:///home/user/secret.png"), std::string::npos) << Html;
}

TEST(TxtSave, TheNameCheckCanRenameOrCancelAndTheFolderCheckCanRefuse) {
  const TPageSnapshot S = PicturePage().Parse();
  TTxtSaveInput In = InputFor(S, PictureHtml);
  In.CheckFiles = [](std::vector<std::string> &L) {
    for (auto &N : L)
      if (N == Folder + "a.jpg") N = Folder + "a(1).jpg";
    return true;
  };
  const TTxtSavePlan P = Txt_PlanSave(In);
  EXPECT_EQ(P.Files[1], (std::pair<std::string, std::string>{"http://example.test/a.jpg", Folder + "a(1).jpg"}));
  const std::string Html = Joined(P.TextLines);
  EXPECT_EQ(Html.find("moss.files/a.jpg"), std::string::npos) << Html;
  EXPECT_NE(Html.find("moss.files/a(1).jpg"), std::string::npos) << Html;

  In.CheckFiles = [](std::vector<std::string> &) { return false; };
  try {
    Txt_PlanSave(In);
    ADD_FAILURE() << "a cancelled name check saved";
  } catch (const EMossError &E) {
    EXPECT_NE(std::string(E.what()).find("Cancel by user"), std::string::npos) << E.what();
  }

  In.CheckFiles = nullptr;
  In.CheckDir = [](const std::string &) { return false; };
  try {
    Txt_PlanSave(In);
    ADD_FAILURE() << "a refused folder saved";
  } catch (const EMossError &E) {
    EXPECT_NE(std::string(E.what()).find("Can not create the image folder " + Folder), std::string::npos) << E.what();
  }

  In.FinalText.clear();
  EXPECT_THROW(Txt_PlanSave(In), EMossError);
}

TEST(TxtSave, ASnippetSavesOnlyThePicturesItShows) {
  const TPageSnapshot S = PicturePage().Parse();
  TTxtSaveInput In = InputFor(S, "<p><img src=\"http://example.test/b.png\"></p>");
  In.Snippet = true;
  const TTxtSavePlan P = Txt_PlanSave(In);
  EXPECT_EQ(P.Files, (TFiles{{WebpageContents, Dest}, {"http://example.test/b.png", Folder + "b.png"}}));
}

TEST(TxtSave, OtherFormsOfAPictureComeAlongAndADataPictureStaysInThePage) {
  const std::string Gif = "data:image/gif;base64,R0lGODlhAQABAAAAACw=";
  const TPageSnapshot S = TSnapshotBuilder()
                              .Image({.Src = "http://example.test/dir/s.png", .OuterHtml = "<img src=\"s.png\">"})
                              .Set("document.images[0].srcset", "\"s.png 1x, s-2x.png 2x\"")
                              .Image({.Src = Gif, .OuterHtml = "<img src=\"" + Gif + "\">"})
                              .Set("document.images[1].data", R"({"data-src": "lazy.png"})")
                              .Parse();
  const std::string Html = "<html><body><img src=\"s.png\" srcset=\"s.png 1x, s-2x.png 2x\"><img src=\"" + Gif +
                           "\" data-src=\"lazy.png\"></body></html>";
  const TTxtSavePlan P = Txt_PlanSave(InputFor(S, Html));
  EXPECT_EQ(P.Files, (TFiles{{WebpageContents, Dest},
                             {"http://example.test/dir/s.png", Folder + "s.png"},
                             {"http://example.test/dir/s-2x.png", Folder + "s-2x.png"},
                             {"http://example.test/dir/lazy.png", Folder + "lazy.png"}}));
  const std::string Text = Joined(P.TextLines);
  EXPECT_NE(Text.find("srcset=\"moss.files/s.png 1x, moss.files/s-2x.png 2x\""), std::string::npos) << Text;
  EXPECT_NE(Text.find("data-src=\"moss.files/lazy.png\""), std::string::npos) << Text;

  // A snippet takes only the forms of the pictures it shows.
  TTxtSaveInput In = InputFor(S, "<p><img src=\"s.png\" srcset=\"s-2x.png 2x\"></p>");
  In.Snippet = true;
  const TTxtSavePlan Q = Txt_PlanSave(In);
  EXPECT_EQ(Q.Files, (TFiles{{WebpageContents, Dest},
                             {"http://example.test/dir/s.png", Folder + "s.png"},
                             {"http://example.test/dir/s-2x.png", Folder + "s-2x.png"}}));
}
