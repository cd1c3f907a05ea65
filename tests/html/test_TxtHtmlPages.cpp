// The HTML functions on whole pages shaped like the ones users save: an
// article with many pictures and scripts, a gallery with srcset and
// lazy-loading attributes, and a page whose scripts build picture tags in
// strings. Each page has its expected results beside it, written by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editors/uTxtHtml.h"
#include "support/TestSupport.h"

namespace {

std::string Page(const std::string &Name) {
  std::string S = ReadFile(MOSS_HTML_DATA + Name);
  EXPECT_FALSE(S.empty()) << Name;
  return S;
}

// The picture lists the text editor builds for a page: src values as written,
// and the local file of each in the folder beside the saved text.
struct TPagePics {
  const char *Name;
  int ImageCount;
  std::vector<std::string> Raw, Local;
};

std::vector<std::string> InFolder(const std::string &Folder, const std::vector<std::string> &Names) {
  std::vector<std::string> R;
  for (const auto &N : Names) R.push_back("/home/ann/Save/Text/" + Folder + "/" + N);
  return R;
}

const TPagePics Pages[] = {
    {"article",
     12,
     {"/assets/logo.svg", "https://cdn.example.org/img/2023/wall-hero.jpg", "img/grimmia.jpg", "img/tortula.jpg",
      "img/tortula-capsules.jpg", "img/bryum.jpg", "https://pixel.example.net/p.gif?u=1&amp;t=2", "img/homalothecium.jpg",
      "/thumbs/lichens.jpg", "/thumbs/ferns.jpg", "/thumbs/snails.jpg"},
     InFolder("Moss on old stone walls.files",
              {"logo.svg", "wall-hero.jpg", "grimmia.jpg", "tortula.jpg", "tortula-capsules.jpg", "bryum.jpg", "p.gif u=1&t=2",
               "homalothecium.jpg", "lichens.jpg", "ferns.jpg", "snails.jpg"})},
    {"lazy",
     7,
     {"data:image/gif;base64,R0lGODlhAQABAAAAACw=", "photos/bluebells-800.jpg", "photos/beech-800.jpg", "photos/stream.jpg",
      "photos/fern%2001.jpg", "photos/anemone.jpg", "photos/wren.jpg"},
     InFolder("Gallery.files", {"gif;base64,R0lGODlhAQABAAAAACw=", "bluebells-800.jpg", "beech-800.jpg", "stream.jpg",
                                "fern%2001.jpg", "anemone.jpg", "wren.jpg"})},
    {"scripts", 2, {"/static/avatar.png", "/u/42/photo.jpg"}, InFolder("Comments.files", {"avatar.png", "photo.jpg"})},
};

std::string Rewritten(std::string Html, const TPagePics &P) {
  std::vector<int> Index{0};
  EXPECT_TRUE(Html_ChgImgLink(Html, P.ImageCount, P.Raw, P.Local, Index)) << P.Name;
  return Html;
}

std::string Cleared(std::string Html) {
  EXPECT_TRUE(Clear_Sub_Str(Html, "<script", "</script>"));
  return Html;
}

}  // namespace

TEST(HtmlPages, ScriptRemovalCutsExactlyTheScriptElements) {
  for (const TPagePics &P : Pages) {
    std::string In = Page(std::string(P.Name) + ".html");
    EXPECT_EQ(Cleared(In), Page(std::string(P.Name) + ".noscript.html")) << P.Name;
  }
}

TEST(HtmlPages, RewritingPointsEveryListedPictureAtTheFolder) {
  for (const TPagePics &P : Pages) {
    std::string In = Page(std::string(P.Name) + ".html");
    EXPECT_TRUE(Html_HasImg(In));
    EXPECT_EQ(Rewritten(In, P), Page(std::string(P.Name) + ".local.html")) << P.Name;
  }
}

// The editor removes scripts first and rewrites afterwards; on these pages
// the script blocks hold nothing the rewriting must see, so either order
// gives the same text.
TEST(HtmlPages, RemovingScriptsBeforeRewritingGivesTheSameText) {
  for (const TPagePics &P : Pages) {
    std::string In = Page(std::string(P.Name) + ".html");
    EXPECT_EQ(Rewritten(Cleared(In), P), Cleared(Page(std::string(P.Name) + ".local.html"))) << P.Name;
  }
}

TEST(HtmlPages, SnippetOfTheArticleListsItsPicturesInOrder) {
  const std::string Full = Page("article.html");
  const size_t B = Full.find("<article>"), E = Full.find("</article>");
  ASSERT_NE(E, std::string::npos);
  std::string Snippet = Full.substr(B, E - B);
  std::vector<int> Index{1};
  EXPECT_TRUE(Html_ChgImgLink(Snippet, Pages[0].ImageCount, Pages[0].Raw, Pages[0].Local, Index));
  EXPECT_EQ(Index, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));  // the logo lies outside the article
}

TEST(HtmlPages, SrcOfEachPictureElementIsReadAsWritten) {
  // Outer HTML of the gallery's pictures as the browser serializes them.
  const std::pair<const char *, const char *> Cases[] = {
      {"<img loading=\"lazy\" decoding=\"async\" src=\"photos/bluebells-800.jpg\" srcset=\"photos/bluebells-400.jpg 400w, "
       "photos/bluebells-800.jpg 800w\" alt=\"Bluebells under the beeches\">",
       "photos/bluebells-800.jpg"},
      {"<img srcset=\"photos/stream-2x.jpg 2x\" src=\"photos/stream.jpg\" alt=\"The stream at the bottom\">",
       "photos/stream.jpg"},
      {"<img src=\"photos/fern%2001.jpg\" alt=\"A fern, unrolling\" loading=\"lazy\">", "photos/fern%2001.jpg"},
      {"<img src=\"https://pixel.example.net/p.gif?u=1&amp;t=2\" width=\"1\" height=\"1\" alt=\"\">",
       "https://pixel.example.net/p.gif?u=1&amp;t=2"},
  };
  for (const auto &[Html, Want] : Cases) {
    std::string Raw;
    EXPECT_TRUE(Html_GetSrc(Html, Raw));
    EXPECT_EQ(Raw, Want);
  }
}
