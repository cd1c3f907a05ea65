// A page saved as HTML with its pictures keeps showing the pictures it
// showed in the browser: srcset, <picture> sources, lazy-loaded pictures and
// style pictures come along and point at the folder beside the page.
#include <string>

#include "EditFixture.h"
#include "pub/Unit_Pub.h"
#include "support/TScriptHttpServer.h"

TEST_F(EditFixture, EveryFormOfAPicturePointsAtItsLocalCopy) {
  TScriptHttpServer Srv;
  const char *Files[] = {"/d/p/h-480.png",   "/d/p/h-960.png", "/d/p/b.avif",     "/d/p/b-2x.avif", "/d/p/lazy.png",
                         "/d/p/lazy-2x.png", "/css/hero.png",  "/d/p/inline.png", "/d/p/pic"};
  for (const char *F : Files) Srv.On(F, TScriptHttpServer::Response("200 OK", std::string("bytes of ") + F));
  GParm.SrcTextFmt = 1;
  GParm.bTxt_Atch_Image = true;
  GParm.bTxt_Rmv_Scrp = true;
  const std::string Gif = "data:image/gif;base64,R0lGODlhAQABAAAAACw=";
  const std::string Html =
      "<html><head><style>.hero{background:url(../css/hero.png)}</style></head><body>"
      "<img src=\"p/h-480.png\" srcset=\"p/h-480.png 480w, p/h-960.png 960w\">"
      "<picture><source type=\"image/avif\" srcset=\"p/b.avif 1x, p/b-2x.avif 2x\"><img src=\"p/h-480.png\"></picture>"
      "<img src=\"" +
      Gif +
      "\" data-src=\"p/lazy.png\" data-srcset=\"p/lazy.png 1x, p/lazy-2x.png 2x\" class=\"lazyload\">"
      "<div class=\"hero\"></div><div style=\"background-image:url('p/inline.png')\"></div>"
      "<img src=\"p/pic\"><script>lazy()</script></body></html>";
  const std::string Dir = Srv.Url("/d/");
  TSnapshotBuilder P =
      TSnapshotBuilder()
          .Title("forms")
          .Url(Dir + "page.html")
          .Source(Html)
          .Image({.Src = Dir + "p/h-480.png", .OuterHtml = "<img src=\"p/h-480.png\">"})
          .Set("document.images[0].srcset", "\"p/h-480.png 480w, p/h-960.png 960w\"")
          .Set("document.images[0].currentSrc", "\"" + Dir + "p/h-960.png\"")
          .Image({.Src = Dir + "p/h-480.png", .OuterHtml = "<img src=\"p/h-480.png\">"})
          .Set("document.images[1].sources", R"([{"type": "image/avif", "srcset": "p/b.avif 1x, p/b-2x.avif 2x"}])")
          .Image({.Src = Gif, .OuterHtml = "<img src=\"" + Gif + "\">"})
          .Set("document.images[2].data", R"({"data-src": "p/lazy.png", "data-srcset": "p/lazy.png 1x, p/lazy-2x.png 2x"})")
          .Image({.Src = Dir + "p/pic", .MimeType = "WebP Image", .OuterHtml = "<img src=\"p/pic\">"})
          .Set("document.backgrounds", "[{\"tagName\": \"DIV\", \"image\": \"url(\\\"" + Srv.Url("/css/hero.png") +
                                           "\\\")\", \"width\": 800, \"height\": 300}]");
  PJobRec J = Open(pcFullPage, P);
  ASSERT_TRUE(Save());
  ASSERT_TRUE(WaitSaved(J));
  EXPECT_EQ(J->State, jsComplete);
  // One file per address, the src pictures first; a picture without an
  // extension gets the one of its type.
  std::vector<std::string> Names;
  for (size_t I = 1; I < J->FileList.size(); ++I) Names.push_back(Fn_ExtractName(J->FileList[I]->LocalName));
  EXPECT_EQ(Names, (std::vector<std::string>{"h-480.png", "pic.webp", "h-960.png", "b.avif", "b-2x.avif", "lazy.png",
                                             "lazy-2x.png", "hero.png", "inline.png"}));
  for (size_t I = 1; I < J->FileList.size(); ++I)
    EXPECT_EQ(ReadFile(J->FileList[I]->LocalName), "bytes of " + J->FileList[I]->Url.substr(Srv.Url("").size()))
        << J->FileList[I]->Url;
  const std::string Saved = ReadFile(this->Dir.File("save/Text/forms.html"));
  EXPECT_EQ(Saved,
            "<html><head><style>.hero{background:url(\"forms.files/hero.png\")}</style></head><body>"
            "<img src=\"forms.files/h-480.png\" srcset=\"forms.files/h-480.png 480w, forms.files/h-960.png 960w\">"
            "<picture><source type=\"image/avif\" srcset=\"forms.files/b.avif 1x, forms.files/b-2x.avif 2x\">"
            "<img src=\"forms.files/h-480.png\"></picture>"
            "<img src=\"forms.files/lazy.png\" srcset=\"forms.files/lazy.png 1x, forms.files/lazy-2x.png 2x\" "
            "data-src=\"forms.files/lazy.png\" data-srcset=\"forms.files/lazy.png 1x, forms.files/lazy-2x.png 2x\" "
            "class=\"lazyload\">"
            "<div class=\"hero\"></div><div style=\"background-image:url(&quot;forms.files/inline.png&quot;)\"></div>"
            "<img src=\"forms.files/pic.webp\"></body></html>\n");
}

TEST_F(EditFixture, ASnippetFetchesOnlyThePicturesItsFormsShow) {
  TScriptHttpServer Srv;
  for (const char *F : {"/a.png", "/a-2x.png", "/b.png", "/lazy.png"})
    Srv.On(F, TScriptHttpServer::Response("200 OK", std::string("bytes of ") + F));
  GParm.SrcTextFmt = 1;
  GParm.bTxt_Atch_Image = true;
  const std::string Gif = "data:image/gif;base64,R0lGODlhAQABAAAAACw=";
  const std::string Sel = "<img src=\"" + Gif + "\" data-src=\"lazy.png\"><img src=\"a.png\" srcset=\"a-2x.png 2x\">";
  TSnapshotBuilder P = TSnapshotBuilder()
                           .Title("snip")
                           .Url(Srv.Url("/page.html"))
                           .Selection("x", Sel)
                           .Image({.Src = Srv.Url("/a.png"), .OuterHtml = "<img src=\"a.png\">"})
                           .Set("document.images[0].srcset", "\"a-2x.png 2x\"")
                           .Image({.Src = Srv.Url("/b.png"), .OuterHtml = "<img src=\"b.png\">"})
                           .Image({.Src = Gif, .OuterHtml = "<img src=\"" + Gif + "\">"})
                           .Set("document.images[2].data", R"({"data-src": "lazy.png"})");
  PJobRec J = Open(pcSnippet, P);
  ASSERT_TRUE(Save());
  ASSERT_TRUE(WaitSaved(J));
  std::vector<std::string> Urls;
  for (size_t I = 1; I < J->FileList.size(); ++I) Urls.push_back(J->FileList[I]->Url);
  EXPECT_EQ(Urls, (std::vector<std::string>{Srv.Url("/a.png"), Srv.Url("/lazy.png"), Srv.Url("/a-2x.png")}));
}
