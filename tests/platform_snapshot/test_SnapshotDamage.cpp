// Snapshots come from outside: what is no snapshot is refused by Parse, and a
// damaged one fails part by part, when a part is read, never with a crash.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <vector>

#include "SnapshotTestUtil.h"
#include "support/TSnapshotBuilder.h"

namespace {

// A page with every part filled in, so that damage anywhere can be tried.
TSnapshotBuilder FullPage() {
  TSnapshotBuilder B;
  B.BaseHref("/b/")
      .Selection("s", "<b>s</b>")
      .Source("<html></html>")
      .Image({.Src = "http://h/a.jpg"})
      .Object({.Movie = "a.swf"})
      .Embed({.Movie = "b.swf"})
      .InFrame("http://h/top.html")
      .ElementIndex(0)
      .Cached("http://h/a.jpg", "jpg");
  return B;
}

// Reads every part the editors read; each read may fail only with EMossError.
void ReadEverything(const TPageSnapshot &S) {
  auto Try = [](const std::function<void()> &F) { (void)ErrorOf(F); };
  auto Elem = [&](const std::shared_ptr<THtmlElement> &E) {
    if (!E) return;
    Try([&] { (void)E->TagName(); });
    Try([&] { (void)E->OuterHtml(); });
    Try([&] { (void)E->OuterText(); });
    Try([&] {
      if (auto F = E->Flash()) (void)F->Movie();
    });
    if (auto I = std::dynamic_pointer_cast<THtmlImgElement>(E)) {
      Try([&] { (void)I->Src(); });
      Try([&] { (void)I->Width(); });
      Try([&] { (void)I->Height(); });
      Try([&] { (void)I->MimeType(); });
      Try([&] { (void)I->FileSize(); });
    }
    if (auto P = std::dynamic_pointer_cast<THtmlPluginElement>(E)) {
      Try([&] { (void)P->Width(); });
      Try([&] { (void)P->Height(); });
    }
  };
  auto List = [&](const THtmlElementCollection &C) {
    for (int32_t I = -1; I <= C.Length(); ++I) Try([&] { Elem(C.Item(I)); });
  };
  auto Doc = [&](const std::shared_ptr<THtmlDocument> &D) {
    Try([&] { (void)D->Url(); });
    Try([&] { (void)D->Title(); });
    Try([&] { (void)D->FileSize(); });
    Try([&] { (void)D->BaseHref(); });
    Try([&] { (void)D->AnchorHref("x.swf"); });
    Try([&] { (void)D->Selection().Text(); });
    Try([&] { (void)D->Selection().HtmlText(); });
    Try([&] { Elem(D->Body()); });
    Try([&] { Elem(D->DocumentElement()); });
    Try([&] { (void)D->Source(); });
    Try([&] { List(D->Images()); });
    Try([&] { List(D->Objects()); });
    Try([&] { List(D->Embeds()); });
    Try([&] {
      for (const auto &W : D->ShellWindows()) (void)W->Url();
    });
  };
  const auto Win = S.Window();
  Try([&] { Doc(Win->Document()); });
  Try([&] { Doc(Win->Top()->Document()); });
  Try([&] { Elem(S.Element()); });
  Try([&] {
    for (const TCachedFile &F : S.CachedFiles()) {
      Try([&] { (void)F.Url(); });
      Try([&] { (void)F.Bytes(); });
    }
  });
}

// Every path of a JSON value, in the builder's path notation.
void CollectPaths(const QJsonValue &V, const std::string &Path, std::vector<std::string> &Out) {
  if (!Path.empty()) Out.push_back(Path);
  if (V.isObject()) {
    const QJsonObject O = V.toObject();
    for (auto It = O.begin(); It != O.end(); ++It)
      CollectPaths(It.value(), (Path.empty() ? "" : Path + ".") + It.key().toStdString(), Out);
  } else if (V.isArray()) {
    const QJsonArray A = V.toArray();
    for (qsizetype I = 0; I < A.size(); ++I) CollectPaths(A.at(I), Path + "[" + std::to_string(I) + "]", Out);
  }
}

std::string Repeat(const std::string &S, int32_t N, const char *Sep = ",") {
  std::string R;
  R.reserve((S.size() + 1) * static_cast<size_t>(N));
  for (int32_t I = 0; I < N; ++I) R += (I ? Sep : "") + S;
  return R;
}

}  // namespace

TEST(SnapshotDamage, ParseRefusesWhatIsNoSnapshot) {
  const std::pair<std::string, const char *> Cases[] = {
      {"", "not valid JSON"},
      {"<html></html>", "not valid JSON"},
      {"{\"version\":1", "not valid JSON"},
      {"{\"version\":1} {}", "not valid JSON"},
      {"{\"version\":1,\"document\":{\"title\":\"\xff\"}}", "not valid JSON"},
      {"{\"version\":1,\"x\":" + std::string(5000, '[') + std::string(5000, ']') + "}", "not valid JSON"},
      {"[{\"version\":1}]", "not a JSON object"},
      {"{}", "no \"version\""},
      {"{\"version\":\"1\"}", "\"version\" is not a number"},
      {"{\"version\":2}", "version 2 is not supported"},
      {"{\"version\":0.5}", "version 0.5 is not supported"},
  };
  for (const auto &[Json, Want] : Cases) EXPECT_SNAP_ERROR(TPageSnapshot::Parse(Json), Want);
  EXPECT_EQ(ErrorOf([] { (void)TPageSnapshot::Parse("{\"version\":1}"); }), "");
}

TEST(SnapshotDamage, ParseRefusesMoreThanTheSizeLimitAndTakesTheLimit) {
  const std::string Head = "{\"version\":1}";
  const std::string AtLimit = Head + std::string(TPageSnapshot::MaxBytes - Head.size(), ' ');
  EXPECT_EQ(ErrorOf([&] { (void)TPageSnapshot::Parse(AtLimit); }), "");
  EXPECT_SNAP_ERROR(TPageSnapshot::Parse(AtLimit + " "), "too big: 67108865 bytes");
}

TEST(SnapshotDamage, ParseRefusesListsLongerThanTheirLimits) {
  struct TCase {
    std::string Head;
    int32_t Limit;
    const char *Tail, *Part;
  };
  const TCase Cases[] = {
      {"{\"version\":1,\"document\":{\"images\":[", TPageSnapshot::MaxImages, "]}}", "\"document.images\""},
      {"{\"version\":1,\"document\":{\"embeds\":[", TPageSnapshot::MaxPlugins, "]}}", "\"document.embeds\""},
      {"{\"version\":1,\"topDocument\":{\"objects\":[", TPageSnapshot::MaxPlugins, "]}}", "\"topDocument.objects\""},
      {"{\"version\":1,\"cache\":[", TPageSnapshot::MaxCachedFiles, "]}", "\"cache\""},
  };
  for (const TCase &C : Cases) EXPECT_SNAP_ERROR(TPageSnapshot::Parse(C.Head + Repeat("{}", C.Limit + 1) + C.Tail), C.Part);
  // One list at its limit (the shortest limit, to keep the test quick) is taken.
  const std::string AtLimit = Cases[1].Head + Repeat("{}", TPageSnapshot::MaxPlugins) + Cases[1].Tail;
  EXPECT_EQ(TPageSnapshot::Parse(AtLimit).Window()->Document()->Embeds().Length(), TPageSnapshot::MaxPlugins);
}

TEST(SnapshotDamage, AMissingPartFailsWhenReadAndSparesTheRest) {
  struct TCase {
    const char *Drop;
    std::function<void(const TPageSnapshot &)> Read;
  };
  auto Doc = [](const TPageSnapshot &S) { return S.Window()->Document(); };
  auto Img = [&](const TPageSnapshot &S) { return std::dynamic_pointer_cast<THtmlImgElement>(Doc(S)->Images().Item(0)); };
  auto Obj = [&](const TPageSnapshot &S) { return std::dynamic_pointer_cast<THtmlObjectElement>(Doc(S)->Objects().Item(0)); };
  const TCase Cases[] = {
      {"document", [&](const TPageSnapshot &S) { (void)Doc(S); }},
      {"document.url", [&](const TPageSnapshot &S) { (void)Doc(S)->Url(); }},
      {"document.title", [&](const TPageSnapshot &S) { (void)Doc(S)->Title(); }},
      {"document.fileSize", [&](const TPageSnapshot &S) { (void)Doc(S)->FileSize(); }},
      {"document.selection", [&](const TPageSnapshot &S) { (void)Doc(S)->Selection(); }},
      {"document.selection.text", [&](const TPageSnapshot &S) { (void)Doc(S)->Selection().Text(); }},
      {"document.selection.html", [&](const TPageSnapshot &S) { (void)Doc(S)->Selection().HtmlText(); }},
      {"document.body", [&](const TPageSnapshot &S) { (void)Doc(S)->Body(); }},
      {"document.body.outerText", [&](const TPageSnapshot &S) { (void)Doc(S)->Body()->OuterText(); }},
      {"document.documentElement.outerHtml", [&](const TPageSnapshot &S) { (void)Doc(S)->DocumentElement()->OuterHtml(); }},
      {"document.images", [&](const TPageSnapshot &S) { (void)Doc(S)->Images(); }},
      {"document.objects", [&](const TPageSnapshot &S) { (void)Doc(S)->Objects(); }},
      {"document.embeds", [&](const TPageSnapshot &S) { (void)Doc(S)->Embeds(); }},
      {"document.images[0].src", [&](const TPageSnapshot &S) { (void)Img(S)->Src(); }},
      {"document.images[0].width", [&](const TPageSnapshot &S) { (void)Img(S)->Width(); }},
      {"document.images[0].mimeType", [&](const TPageSnapshot &S) { (void)Img(S)->MimeType(); }},
      {"document.images[0].fileSize", [&](const TPageSnapshot &S) { (void)Img(S)->FileSize(); }},
      {"document.images[0].outerHtml", [&](const TPageSnapshot &S) { (void)Img(S)->OuterHtml(); }},
      {"document.objects[0].height", [&](const TPageSnapshot &S) { (void)Obj(S)->Height(); }},
      {"topDocument.url", [&](const TPageSnapshot &S) { (void)S.Window()->Top()->Document()->Url(); }},
  };
  for (const TCase &C : Cases) {
    const TPageSnapshot S = FullPage().Drop(C.Drop).Parse();
    EXPECT_NE(ErrorOf([&] { C.Read(S); }).find(std::string("no \"") + C.Drop + "\""), std::string::npos) << C.Drop;
    // The rest of the page still reads.
    EXPECT_EQ(ErrorOf([&] { (void)S.Window()->Top()->Document()->Source(); }), "") << C.Drop;
    EXPECT_EQ(ErrorOf([&] { (void)S.CachedFiles().at(0).Bytes(); }), "") << C.Drop;
  }
}

TEST(SnapshotDamage, APartOfTheWrongTypeFailsWhenRead) {
  struct TCase {
    const char *Path, *Value;
    std::function<void(const TPageSnapshot &)> Read;
    const char *Want;
  };
  auto Doc = [](const TPageSnapshot &S) { return S.Window()->Document(); };
  auto Img = [&](const TPageSnapshot &S) { return std::dynamic_pointer_cast<THtmlImgElement>(Doc(S)->Images().Item(0)); };
  const TCase Cases[] = {
      {"document", "[]", [&](const TPageSnapshot &S) { (void)Doc(S); }, "\"document\" is not an object"},
      {"document.title", "5", [&](const TPageSnapshot &S) { (void)Doc(S)->Title(); }, "\"document.title\" is not a string"},
      {"document.fileSize", "true", [&](const TPageSnapshot &S) { (void)Doc(S)->FileSize(); }, "is not a string"},
      {"document.fileSize", "1.5", [&](const TPageSnapshot &S) { (void)Doc(S)->FileSize(); }, "is not a string"},
      {"document.baseHref", "5", [&](const TPageSnapshot &S) { (void)Doc(S)->AnchorHref("a"); }, "\"document.baseHref\""},
      {"document.selection", "\"s\"", [&](const TPageSnapshot &S) { (void)Doc(S)->Selection(); }, "is not an object"},
      {"document.images", "{}", [&](const TPageSnapshot &S) { (void)Doc(S)->Images(); }, "\"document.images\" is not a list"},
      {"document.images[0]", "7", [&](const TPageSnapshot &S) { (void)Doc(S)->Images().Item(0); }, "\"document.images[0]\""},
      {"document.images[0].width", "\"10\"", [&](const TPageSnapshot &S) { (void)Img(S)->Width(); }, "is not a whole number"},
      {"document.images[0].width", "10.5", [&](const TPageSnapshot &S) { (void)Img(S)->Width(); }, "is not a whole number"},
      {"document.images[0].height", "-1", [&](const TPageSnapshot &S) { (void)Img(S)->Height(); }, "is not a whole number"},
      {"document.images[0].height", "2147483648", [&](const TPageSnapshot &S) { (void)Img(S)->Height(); }, "whole number"},
      {"document.images[0].tagName", "[]", [&](const TPageSnapshot &S) { (void)Doc(S)->Images().Item(0)->TagName(); },
       "\"document.images[0].tagName\" is not a string"},
      {"document.objects[0].flash", "\"yes\"", [&](const TPageSnapshot &S) { (void)Doc(S)->Objects().Item(0)->Flash(); },
       "is not true or false"},
      {"document.sourceBase64", "\"%%\"", [&](const TPageSnapshot &S) { (void)Doc(S)->Source(); }, "is not base64"},
      {"topDocument", "5", [&](const TPageSnapshot &S) { (void)S.Window()->Top(); }, "\"topDocument\" is not an object"},
      {"topDocument", "5", [&](const TPageSnapshot &S) { (void)Doc(S)->ShellWindows(); }, "\"topDocument\""},
      {"element", "\"img\"", [&](const TPageSnapshot &S) { (void)S.Element(); }, "is not an index or an object"},
      {"element", "-1", [&](const TPageSnapshot &S) { (void)S.Element(); }, "is not an index"},
      {"element", "0.5", [&](const TPageSnapshot &S) { (void)S.Element(); }, "is not an index"},
      {"element", "1", [&](const TPageSnapshot &S) { (void)S.Element(); }, "has no item 1 (it has 1)"},
  };
  for (const TCase &C : Cases) {
    const TPageSnapshot S = FullPage().Set(C.Path, C.Value).Parse();
    EXPECT_NE(ErrorOf([&] { C.Read(S); }).find(C.Want), std::string::npos) << C.Path << " = " << C.Value;
  }
}

// Every part of a full page, removed or replaced by a value of each JSON type.
TEST(SnapshotDamage, DamageAnywhereNeverCrashes) {
  std::vector<std::string> Paths;
  CollectPaths(QJsonDocument::fromJson(QByteArray::fromStdString(FullPage().Json())).object(), "", Paths);
  ASSERT_GT(Paths.size(), 40u);
  const char *Values[] = {"null", "true", "-1", "1e300", "\"\"", "[]", "{}", "[{}]"};
  for (const std::string &P : Paths) {
    if (P == "version") continue;
    ReadEverything(FullPage().Drop(P).Parse());
    for (const char *V : Values) ReadEverything(FullPage().Set(P, V).Parse());
  }
  // A snapshot cut short anywhere is no JSON, and refused as such.
  const std::string Json = FullPage().Json();
  for (size_t Len = 0; Len < Json.size(); Len += 3)
    EXPECT_SNAP_ERROR(TPageSnapshot::Parse(Json.substr(0, Len)), "not valid JSON") << Len;
}
