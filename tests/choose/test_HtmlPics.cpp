// The saved page's picture links beyond the src of picture tags: srcset,
// <picture> sources, lazy-loading attributes and style pictures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editors/uHtmlPics.h"
#include "platform/uUrlRef.h"

namespace {

const std::string Page = "http://news.test/2024/story.html";

// Every picture of the page by its address, as the text editor lists them.
TPicLinks Links(const std::vector<std::string> &Urls) {
  TPicLinks L;
  L.Resolve = [](const std::string &Ref) { return Url_Resolve(Page, Ref); };
  for (size_t I = 0; I < Urls.size(); ++I) {
    L.Add(Url_Resolve(Page, Urls[I]), static_cast<int>(I));
    L.Links.push_back(Html_PicLink("/home/u/Save/story.files/" + Urls[I].substr(Urls[I].rfind('/') + 1)));
  }
  return L;
}

const TPicLinks Pics = Links({"img/a-480.jpg", "img/a-960.jpg", "img/b.avif", "img/b.webp", "img/lazy.jpg", "img/lazy-600.jpg",
                              "img/lazy-1200.jpg", "/css/hero.jpg", "img/full.jpg", "img/c d.jpg"});

std::string Chg(std::string Html, std::vector<int> *UsedOut = nullptr) {
  std::vector<int> Used;
  Html_ChgPicLinks(Html, Pics, Used);
  if (UsedOut) *UsedOut = Used;
  return Html;
}

}  // namespace

TEST(HtmlPics, EveryFormPointsAtTheFolder) {
  struct {
    const char *Name, *In, *Want;
  } Cases[] = {
      {"srcset", R"(<img src="x.gif" srcset="img/a-480.jpg 480w, img/a-960.jpg 960w" sizes="50vw">)",
       R"(<img src="x.gif" srcset="story.files/a-480.jpg 480w, story.files/a-960.jpg 960w" sizes="50vw">)"},
      {"a src other ways spelled", R"(<IMG SRC='http://news.test/2024/img/a-480.jpg'>)", R"(<IMG SRC="story.files/a-480.jpg">)"},
      {"<picture> sources", R"(<picture><source type="image/avif" srcset="img/b.avif"><source srcset='img/b.webp 1x'>)",
       R"(<picture><source type="image/avif" srcset="story.files/b.avif"><source srcset="story.files/b.webp 1x">)"},
      {"a placeholder src gets the lazy address",
       R"(<img src="data:image/gif;base64,R0lGODlhAQABAAAAACw=" data-src="img/lazy.jpg" class="lazyload">)",
       R"(<img src="story.files/lazy.jpg" data-src="story.files/lazy.jpg" class="lazyload">)"},
      {"no src at all: one is added", R"(<img data-original="img/lazy.jpg" alt="x">)",
       R"(<img src="story.files/lazy.jpg" data-original="story.files/lazy.jpg" alt="x">)"},
      {"a lazy srcset fills srcset and its widest fills src",
       R"(<img src="img/spacer.gif" srcset="data:image/gif;base64,R0lGODlhAQABAAAAACw= 1x" data-srcset="img/lazy-600.jpg 600w, img/lazy-1200.jpg 1200w">)",
       R"(<img src="story.files/lazy-1200.jpg" srcset="story.files/lazy-600.jpg 600w, story.files/lazy-1200.jpg 1200w" data-srcset="story.files/lazy-600.jpg 600w, story.files/lazy-1200.jpg 1200w">)"},
      {"a lazy <source>", R"(<source data-srcset="img/b.webp">)",
       R"(<source srcset="story.files/b.webp" data-srcset="story.files/b.webp">)"},
      {"a full-size address is pointed at, but does not become the src", R"(<img src="img/a-480.jpg" data-full="img/full.jpg">)",
       R"(<img src="story.files/a-480.jpg" data-full="story.files/full.jpg">)"},
      {"a style attribute", R"(<div class="hero" style="background-image: url('/css/hero.jpg'); height: 40px">)",
       R"(<div class="hero" style="background-image: url(&quot;story.files/hero.jpg&quot;); height: 40px">)"},
      {"a <style> block",
       "<style>\n.hero { background: #000 url(../css/hero.jpg) center / cover; }\n.x { background: url(nothere.png) }\n</style>",
       "<style>\n.hero { background: #000 url(\"story.files/hero.jpg\") center / cover; }\n.x { background: url(nothere.png) }\n"
       "</style>"},
      {"character references in a value", R"~(<div style="background:url(&quot;/css/hero.jpg&quot;)">)~",
       R"~(<div style="background:url(&quot;story.files/hero.jpg&quot;)">)~"},
      {"a blank in a file name is escaped in srcset", R"(<img srcset="img/c%20d.jpg 2x">)",
       R"(<img srcset="story.files/c%20d.jpg 2x">)"},
      {"an address meets its escaped spelling", R"~(<div style="background:url('img/c d.jpg')">)~",
       R"~(<div style="background:url(&quot;story.files/c%20d.jpg&quot;)">)~"},
      {"scripts, comments and text stay as written",
       R"(<script>var s = '<img srcset="img/a-480.jpg 1x">';</script><!-- <img srcset="img/a-480.jpg"> -->srcset="img/a-480.jpg")",
       R"(<script>var s = '<img srcset="img/a-480.jpg 1x">';</script><!-- <img srcset="img/a-480.jpg"> -->srcset="img/a-480.jpg")"},
      {"addresses that are not the page's pictures stay",
       R"(<img src="img/other.jpg" srcset="img/other-2x.jpg 2x" data-src="data:,x">)",
       R"(<img src="img/other.jpg" srcset="img/other-2x.jpg 2x" data-src="data:,x">)"},
      {"an unclosed tag ends the work", R"(<img srcset="img/a-480.jpg 1x">< img srcset="img/a-960.jpg 1x" <img src="unclosed)",
       R"(<img srcset="story.files/a-480.jpg 1x">< img srcset="img/a-960.jpg 1x" <img src="unclosed)"},
  };
  for (const auto &T : Cases) EXPECT_EQ(Chg(T.In), T.Want) << T.Name;
}

TEST(HtmlPics, TellsTheLinesItUsedInTheirFirstOrder) {
  std::vector<int> Used;
  Chg(R"~(<div style="background:url(/css/hero.jpg)"></div><img srcset="img/a-960.jpg 2x, img/a-480.jpg 1x"><img srcset="img/a-960.jpg">)~",
      &Used);
  EXPECT_EQ(Used, (std::vector<int>{7, 1, 0}));
  std::string Same = "<p>no pictures</p>";
  std::vector<int> None;
  EXPECT_FALSE(Html_ChgPicLinks(Same, Pics, None));
  EXPECT_TRUE(None.empty());
}

TEST(HtmlPics, StyleUrlsAreFoundInAttributesAndBlocksOnly) {
  const std::string Html = R"~(<style>.a{background:url("a.png")}</style><div style="background:url(&#39;b c.png&#39;)">)~"
                           R"~(<img src="c.png"><script>x = "url(d.png)"</script><p>url(e.png)</p>)~";
  EXPECT_EQ(Html_StyleUrls(Html), (std::vector<std::string>{"a.png", "b c.png"}));
}

TEST(HtmlPics, LinksEscapeWhatWouldEndThem) {
  EXPECT_EQ(Html_PicLink("/s/p.files/a b,(1)'#?.png"), "p.files/a%20b%2C%281%29%27%23%3F.png");
  EXPECT_EQ(Html_PicLink("/s/my page.files/a[1].png"), "my%20page.files/a[1].png");
  EXPECT_EQ(Html_PicLink("/s/p.files/fj\xC3\xB8rd.jpg"), "p.files/fj%C3%B8rd.jpg");
}
