#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editors/uTxtHtml.h"
#include "pub/Unit_Log.h"
#include "support/TestSupport.h"

namespace {

constexpr size_t None = std::string::npos;

// The program's logger writing into a temporary folder while the test runs.
class TLogCapture {
 public:
  TLogCapture() : FLog(FDir.File("log.txt")) { SetLogger(&FLog); }
  ~TLogCapture() { SetLogger(nullptr); }
  std::string Text() {
    FLog.FlushToFile();
    return ReadFile(FLog.FilePath());
  }

 private:
  TTempDir FDir;
  TLogger FLog;
};

std::string Cleared(std::string S) {
  EXPECT_TRUE(Clear_Sub_Str(S, "<script", "</script>")) << S;
  return S;
}

const std::vector<std::string> Raw = {"a.gif", "pics/b.png", "c d.jpg"};
const std::vector<std::string> Local = {"/home/u/Save/page.files/a.gif", "/home/u/Save/page.files/b.png",
                                        "/home/u/Save/page.files/c d.jpg"};

std::string Rewritten(std::string Html, int ImageCount = 3) {
  std::vector<int> Index{0};
  EXPECT_TRUE(Html_ChgImgLink(Html, ImageCount, Raw, Local, Index)) << Html;
  return Html;
}

}  // namespace

TEST(SearchChar, SkipsQuotedPartsAndCountsTheClosingQuote) {
  struct TCase {
    const char *Text;
    char Ch;
    bool Skip;
    size_t First, Want;
  };
  const TCase Cases[] = {
      {"a \"b c\" d", ' ', true, 2, 7},                                     // the blank inside the quotes is skipped
      {"a \"b c\" d", ' ', false, 2, 4}, {"a \"b c\" d", '"', true, 0, 6},  // an opening quote is inside, the closing one outside
      {"'a\"b' \"x\"", '"', true, 0, 8},  // the other quote changes nothing inside a quoted part
      {"a='>' >", '>', true, 0, 6},      {"a='>' >", '>', false, 0, 3},
      {"a='>  ", '>', true, 0, None},  // an unclosed quote hides the rest
      {"abc", 'x', true, 0, None},
  };
  for (const TCase &C : Cases) {
    std::string T = C.Text;
    size_t Found = None;
    bool Ok = SearchChar(T, C.Ch, C.Skip, Found, T.size(), C.First);
    EXPECT_EQ(Ok, C.Want != None) << T;
    if (Ok) {
      EXPECT_EQ(Found, C.Want) << T;
    }
  }
}

TEST(SearchChar, StaysInsideTheTextAndTheRange) {
  const std::string T = "ab>";
  size_t Found = 99;
  EXPECT_TRUE(SearchChar(T, '>', true, Found, T.size(), 0));  // the length as Last reads no further than the end
  EXPECT_EQ(Found, 2u);
  EXPECT_FALSE(SearchChar(T, '>', true, Found, 1, 0));   // Last bounds the scan
  EXPECT_FALSE(SearchChar(T, 'a', false, Found, 0, 1));  // Last below First
  EXPECT_FALSE(SearchChar(T, 'a', false, Found, 10, 3));
  EXPECT_FALSE(SearchChar("", 'a', false, Found, 0, 0));
  EXPECT_EQ(Found, 2u);  // untouched when nothing is found
}

TEST(HtmlHasImg, WantsImgInAnyCaseFollowedByWhiteSpace) {
  const std::pair<const char *, bool> Cases[] = {
      {"<IMG src=a.gif>", true}, {"x<iMg alt=''>", true},  {"<<img ", true},        {"a < b <img src=x>", true},
      {"<imgx src=a>", false},   {"<img\nsrc=a>", true},   {"<img\tsrc=a>", true},  {"<IMG\r\nsrc=a>", true},
      {"<img\fsrc=a>", true},    {"<img\vsrc=a>", false},  // not white space to HTML
      {"x<img", false},          {"<image src=a>", false}, {"< img src=a>", false}, {"", false},
  };
  for (const auto &[Text, Want] : Cases) EXPECT_EQ(Html_HasImg(Text), Want) << Text;
}

TEST(HtmlGetSrc, ReadsALowerCaseSrcRightAfterABlank) {
  const std::pair<const char *, const char *> Found[] = {
      {"<img src=a.gif>", "a.gif"},
      {"<img src=\"a.gif\">", "a.gif"},
      {"<img src='a.gif'>", "a.gif"},
      {"<img alt=\"x src=no\" src=\"b c.gif\" width=3>", "b c.gif"},  // quoted blanks neither end nor start anything
      {"<img data-src=\"x.gif\" src=\"y.gif\">", "y.gif"},
      {"<img src=\"a.gif\"/>", "a.gif"},  // the value ends at its closing quote
      {"<img src=\"\">", ""},
      {"<img src=>", ""},
  };
  for (const auto &[Html, Want] : Found) {
    std::string Raw = "old";
    EXPECT_TRUE(Html_GetSrc(Html, Raw)) << Html;
    EXPECT_EQ(Raw, Want) << Html;
  }
  for (const char *Html : {"<img SRC=\"a.gif\">", "<img src =\"a.gif\">", "<img alt=x>", "<img>", ""}) {
    std::string Raw = "old";
    EXPECT_FALSE(Html_GetSrc(Html, Raw)) << Html;
    EXPECT_EQ(Raw, "old");
  }
}

TEST(HtmlMkLink, MakesAnAnchor) {
  EXPECT_EQ(Html_MkLink("http://h/p?a=1", "URL for this page"), "<A href=\"http://h/p?a=1\">URL for this page</A>");
}

TEST(ClearSubStr, CutsEachBlockUpToTheFirstEndTag) {
  const std::pair<const char *, const char *> Cases[] = {
      {"a<SCRIPT>x</Script>b", "ab"},
      {"a<script>x", "a"},  // no end tag: the block runs to the end
      {"ab<script>x</script>", "ab"},
      {"abc<", "abc<"},  // a text ending in a partial tag keeps it
      {"x<scr", "x<scr"},
      {"no tags at all", "no tags at all"},
      {"", ""},
      {"a<script>1<script>2</script>b</script>c", "ab</script>c"},  // blocks do not nest
      {"<scripts>x</script>y", "y"},
      {"<script src=\"a.js\"></script><p>t</p>\n<script>f()</script>", "<p>t</p>\n"},
      {"<script>document.write('<script src=x><\\/script>')</script>!", "!"},
      {"é<script>ü</script>ß", "éß"},
  };
  for (const auto &[In, Want] : Cases) EXPECT_EQ(Cleared(In), Want) << In;
}

TEST(ClearSubStr, IgnoresTheCaseOfTheTagsItIsGiven) {
  std::string S = "<p>1</p><!-- note --><P>2</P><!-- x";
  EXPECT_TRUE(Clear_Sub_Str(S, "<!--", "-->"));
  EXPECT_EQ(S, "<p>1</p><P>2</P>");
  S = "a<script>x</script>b";
  EXPECT_TRUE(Clear_Sub_Str(S, "<SCRIPT", "</SCRIPT>"));
  EXPECT_EQ(S, "ab");
}

TEST(ClearSubStr, RefusesEmptyTagsAndKeepsTheText) {
  std::string S = "a<script>x</script>";
  EXPECT_FALSE(Clear_Sub_Str(S, "", "</script>"));
  EXPECT_FALSE(Clear_Sub_Str(S, "<script", ""));
  EXPECT_EQ(S, "a<script>x</script>");
}

TEST(HtmlChgImgLink, RewritesTheSrcOfKnownPictureTags) {
  const std::pair<const char *, const char *> Cases[] = {
      {"<p><img alt=\"A\" src=\"a.gif\" width=\"10\"></p>", "<p><img alt=\"A\" src=\"page.files/a.gif\" width=\"10\"></p>"},
      {"<img src=a.gif>", "<img src=\"page.files/a.gif\">"},
      {"<img src='pics/b.png' alt=''>", "<img src=\"page.files/b.png\" alt=''>"},
      {"<IMG SRC=\"pics/b.png\">", "<IMG src=\"page.files/b.png\">"},  // letter case ignored in tag and attribute names
      {"<img src = \"a.gif\" alt=x>", "<img src=\"page.files/a.gif\" alt=x>"},
      {"<img src=\"c d.jpg\" alt=c>", "<img src=\"page.files/c d.jpg\" alt=c>"},
      {"<img alt=\"1 > 0\" src=\"a.gif\">", "<img alt=\"1 > 0\" src=\"page.files/a.gif\">"},
      {"<img src=\"a.gif\"/>", "<img src=\"page.files/a.gif\"/>"},
      {"<img data-src=\"a.gif\" srcset=\"a.gif 1x\" src=\"a.gif\">",
       "<img data-src=\"a.gif\" srcset=\"a.gif 1x\" src=\"page.files/a.gif\">"},
      {"<img src alt=\"x\" src=\"a.gif\">", "<img src alt=\"x\" src=\"page.files/a.gif\">"},
      {"<img title=\"<img src='a.gif'>\" src=\"pics/b.png\">", "<img title=\"<img src='a.gif'>\" src=\"page.files/b.png\">"},
      {"a < b <img src=a.gif> c > d", "a < b <img src=\"page.files/a.gif\"> c > d"},
      {"<img src=a.gif><img src=\"pics/b.png\">|<img src=a.gif>",
       "<img src=\"page.files/a.gif\"><img src=\"page.files/b.png\">|<img src=\"page.files/a.gif\">"},
  };
  for (const auto &[In, Want] : Cases) EXPECT_EQ(Rewritten(In), Want) << In;
}

TEST(HtmlChgImgLink, FindsASrcOnItsOwnLine) {
  EXPECT_EQ(Rewritten("<img alt=\"x\"\nsrc=\"a.gif\">"), "<img alt=\"x\"\nsrc=\"page.files/a.gif\">");
  EXPECT_EQ(Rewritten("<img alt=\"x\"\r\nsrc=\"a.gif\"\r\nwidth=\"3\">"),
            "<img alt=\"x\"\r\nsrc=\"page.files/a.gif\"\r\nwidth=\"3\">");
}

TEST(HtmlChgImgLink, AnyWhiteSpaceAfterTheTagNameMakesAPictureTag) {
  const std::pair<const char *, const char *> Cases[] = {
      {"<img\nsrc=\"a.gif\">", "<img\nsrc=\"page.files/a.gif\">"},
      {"<IMG\tsrc=\"a.gif\">", "<IMG\tsrc=\"page.files/a.gif\">"},
      {"<img\r\nsrc=\"a.gif\"\r\nalt=x>", "<img\r\nsrc=\"page.files/a.gif\"\r\nalt=x>"},
      {"<img\falt=x\tsrc=a.gif\n>", "<img\falt=x\tsrc=\"page.files/a.gif\"\n>"},
      {"<img\nsrc\n=\t\"a.gif\">", "<img\nsrc=\"page.files/a.gif\">"},
      // The first src counts, wherever the white space before it is.
      {"<img alt=x\nsrc=\"a.gif\" src=\"pics/b.png\">", "<img alt=x\nsrc=\"page.files/a.gif\" src=\"pics/b.png\">"},
  };
  for (const auto &[In, Want] : Cases) EXPECT_EQ(Rewritten(In), Want) << In;
}

TEST(HtmlChgImgLink, ComparesAbsoluteSrcsAsAddresses) {
  std::string Html =
      "<img src=\"HTTP://Example.TEST/pics/b.png\"><img src=\"http://example.test/PICS/B.PNG\"><img src=\"pics/B.png\">";
  std::vector<int> Index{1};
  EXPECT_TRUE(Html_ChgImgLink(Html, 3, {"http://example.test/pics/b.png", "pics/b.png"}, {"/p/s.files/b.png", "/p/s.files/b.png"},
                              Index));
  EXPECT_EQ(Html, "<img src=\"s.files/b.png\"><img src=\"http://example.test/PICS/B.PNG\"><img src=\"pics/B.png\">");
  EXPECT_EQ(Index, (std::vector<int>{0}));
}

TEST(HtmlChgImgLink, LeavesTagsThatDoNotQualify) {
  for (const char *Html : {
           "<img src=\"unknown.gif\">",
           "<img src=\"PICS/B.PNG\">",  // another address on a server that tells case apart
           "<img\vsrc=\"a.gif\">",      // no white space after the tag name
           "<imgsrc=\"a.gif\">",
           "<image src=\"a.gif\">",
           "<img alt='x src=a.gif'>",  // inside a quoted value
           "<img data-src=\"a.gif\">",
           "<p>a.gif</p><img src=\"a.gif\"",  // the tag never closes
           "<img alt=\"open src=a.gif>",
       })
    EXPECT_EQ(Rewritten(Html), Html);
}

TEST(HtmlChgImgLink, TakesTheFolderFromTheFirstLocalPath) {
  struct TCase {
    const char *FirstPath, *Want;
  };
  const TCase Cases[] = {
      {"/home/u/Save/page.files/a.gif", "<img src=\"page.files/b.png\">"},
      {"relative.files/a.gif", "<img src=\"relative.files/b.png\">"},
      {"/x/page.files//a.gif", "<img src=\"page.files/b.png\">"},
      {"a.gif", "<img src=\"b.png\">"},  // no folder: no path from the root either
      {"/a.gif", "<img src=\"b.png\">"},
  };
  for (const TCase &C : Cases) {
    std::string Html = "<img src=\"pics/b.png\">";
    std::vector<int> Index;
    EXPECT_TRUE(Html_ChgImgLink(Html, 2, Raw, {C.FirstPath, "/elsewhere/b.png"}, Index));
    EXPECT_EQ(Html, C.Want) << C.FirstPath;
  }
}

TEST(HtmlChgImgLink, EscapesNameCharactersThatWouldChangeTheLink) {
  std::string Html = "<img src=\"fern%2001.jpg\"><img src=\"a#1.gif\"><img src='q.gif'>";
  std::vector<int> Index;
  EXPECT_TRUE(Html_ChgImgLink(Html, 3, {"fern%2001.jpg", "a#1.gif", "q.gif"},
                              {"/s/50% off.files/fern%2001.jpg", "/s/50% off.files/a#1.gif", "/s/50% off.files/q&a\".gif"},
                              Index));
  EXPECT_EQ(Html,
            "<img src=\"50%25 off.files/fern%252001.jpg\"><img src=\"50%25 off.files/a%231.gif\">"
            "<img src=\"50%25 off.files/q%26a%22.gif\">");
}

TEST(HtmlChgImgLink, SnippetListsEachPictureOnceInOrderOfItsFirstTag) {
  std::string Html = "<img src=\"pics/b.png\"><img src=\"x.gif\"><img src=\"A.GIF\"><img src=pics/b.png><img src=a.gif>";
  std::vector<int> Index{1};
  EXPECT_TRUE(Html_ChgImgLink(Html, 5, Raw, Local, Index));
  EXPECT_EQ(Index, (std::vector<int>{1, 0}));

  // A second spelling of a src shares its picture's local path; the
  // picture's own line is the one listed.
  Html = "<img src=\"./a.gif\"><img src=\"b.png\"><img src=\"a.gif\">";
  Index = {1};
  EXPECT_TRUE(Html_ChgImgLink(Html, 3, {"a.gif", "b.png", "./a.gif"},
                              {"/p/s.files/a.gif", "/p/s.files/b.png", "/p/s.files/a.gif"}, Index));
  EXPECT_EQ(Index, (std::vector<int>{0, 1}));
  EXPECT_EQ(Html, "<img src=\"s.files/a.gif\"><img src=\"s.files/b.png\"><img src=\"s.files/a.gif\">");

  Html = "<p>no pictures here</p>";
  Index = {1, 7};
  EXPECT_TRUE(Html_ChgImgLink(Html, 3, Raw, Local, Index));
  EXPECT_TRUE(Index.empty());
}

TEST(HtmlChgImgLink, EntirePageLeavesTheIndexListAlone) {
  for (std::vector<int> Index : {std::vector<int>{0}, std::vector<int>{}, std::vector<int>{2, 1}}) {
    const std::vector<int> Before = Index;
    std::string Html = "<img src=a.gif>";
    EXPECT_TRUE(Html_ChgImgLink(Html, 1, Raw, Local, Index));
    EXPECT_EQ(Index, Before);
  }
}

TEST(HtmlChgImgLink, FailsAndLogsBeyondImageCountPlus29Tags) {
  auto Page = [](int Known, int Unknown) {
    std::string S;
    for (int I = 0; I < Unknown; ++I) S += "<img src=\"other.gif\">";
    for (int I = 0; I < Known; ++I) S += "<p><img src=\"a.gif\"></p>";
    return S;
  };
  {
    TLogCapture Log;
    std::vector<int> Index;
    std::string Html = Page(29, 100);  // tags left as they are take no room
    EXPECT_TRUE(Html_ChgImgLink(Html, 0, Raw, Local, Index));
    EXPECT_NE(Html.find("page.files/a.gif"), None);
    Html = Page(31, 0);
    EXPECT_TRUE(Html_ChgImgLink(Html, 2, Raw, Local, Index));
    EXPECT_EQ(Log.Text(), "");
  }
  for (int ImageCount : {0, -5}) {
    TLogCapture Log;
    const std::string In = Page(30, 0);
    std::string Html = In;
    std::vector<int> Index{1};
    EXPECT_FALSE(Html_ChgImgLink(Html, ImageCount, Raw, Local, Index));
    EXPECT_EQ(Html, In);
    EXPECT_EQ(Index, (std::vector<int>{1}));
    EXPECT_NE(Log.Text().find("[Error]: Err, Tips: \"Fail!\"; Mthd: [uTxtJobEdtr.Html_ChgImgLink]; SysMsg: ("), None);
  }
}

TEST(HtmlChgImgLink, HasNothingToDoWithoutLocalPathsOrText) {
  TLogCapture Log;
  std::string Html = "<img src=a.gif>";
  std::vector<int> Index{1};
  EXPECT_FALSE(Html_ChgImgLink(Html, 1, Raw, {}, Index));
  EXPECT_EQ(Html, "<img src=a.gif>");
  EXPECT_EQ(Index, (std::vector<int>{1}));
  std::string Empty;
  EXPECT_FALSE(Html_ChgImgLink(Empty, 1, Raw, Local, Index));
  EXPECT_EQ(Log.Text(), "");
}

TEST(HtmlChgImgLink, RewritesOnlySrcLinesThatHaveALocalPath) {
  std::string Html = "<img src=a.gif><img src=b.gif>";
  std::vector<int> Index{1};
  EXPECT_TRUE(Html_ChgImgLink(Html, 2, {"a.gif", "b.gif"}, {"/p/x.files/a.gif"}, Index));
  EXPECT_EQ(Html, "<img src=\"x.files/a.gif\"><img src=b.gif>");
  EXPECT_EQ(Index, (std::vector<int>{0}));
}

TEST(HtmlPreviewBase, RelativeLinksOfThePreviewResolveAgainstThePage) {
  EXPECT_EQ(Html_PreviewBase("<html><head><title>t</title></head><img src=a.png></html>", "http://h.test/d/p.html"),
            "<html><head><base href=\"http://h.test/d/p.html\"><title>t</title></head><img src=a.png></html>");
  EXPECT_EQ(Html_PreviewBase("<HEAD lang=en>x", "http://h.test/?a=1&b=\"2\""),
            "<HEAD lang=en><base href=\"http://h.test/?a=1&amp;b=&quot;2&quot;\">x");
  // No head (a snippet), or only a <header>: the base goes first.
  EXPECT_EQ(Html_PreviewBase("<header>h</header>", "http://h.test/"), "<base href=\"http://h.test/\"><header>h</header>");
  // A page's own base wins; without a page URL nothing changes.
  EXPECT_EQ(Html_PreviewBase("<head><BASE href=/x/></head>", "http://h.test/"), "<head><BASE href=/x/></head>");
  EXPECT_EQ(Html_PreviewBase("<p>x</p>", ""), "<p>x</p>");
}
