// corpus_report CORPUS.json SNAPSHOTS BASE: for each page of the corpus, the
// pictures a user sees (in their largest form), how many of them a
// collector of the <img> src alone finds (on the page as it loaded, without
// scrolling) and how many the picture editor's collection finds (after the
// scroll through the page), with the items each adds that are none of them.
// SNAPSHOTS holds PAGE.plain.json and PAGE.json for each page; BASE is the
// address the corpus pictures were served under ("http://127.0.0.1:8000/corpus/img/").
#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <set>
#include <string>

#include "editors/uImgItems.h"
#include "platform/TPageSnapshot.h"
#include "platform/uUrlRef.h"
#include "pub/Unit_Pub.h"

namespace {

QByteArray ReadAll(const std::string &Path) {
  QFile F(QString::fromStdString(Path));
  if (!F.open(QIODevice::ReadOnly)) throw EMossError("cannot read " + Path);
  return F.readAll();
}

// The request the extension sent, as the browser's native message holds it.
TPageSnapshot SnapshotOf(const std::string &Path) {
  const QJsonObject Msg = QJsonDocument::fromJson(ReadAll(Path)).object();
  const QJsonObject Snap = Msg.value(QStringLiteral("snapshot")).toObject();
  return TPageSnapshot::Parse(QJsonDocument(Snap).toJson(QJsonDocument::Compact).toStdString());
}

// The src of every picture element that passes the filters, each once.
std::set<std::string> SrcOnly(const THtmlDocument &Doc) {
  std::set<std::string> Out;
  const THtmlElementCollection &Images = Doc.Images();
  for (int32_t I = 0; I < Images.Length(); ++I) {
    auto Img = std::dynamic_pointer_cast<THtmlImgElement>(Images.Item(I));
    if (!Img || Trim(Img->Src()).empty()) continue;
    if (Img_PassesFilters(Img->Width(), Img->Height(), true, true)) Out.insert(Url_SameKey(Trim(Img->Src())));
  }
  return Out;
}

std::set<std::string> Ours(const THtmlDocument &Doc) {
  TVIBItems Items;
  Img_CollectAll(Doc, true, true, 0, Items);
  std::set<std::string> Out;
  for (const auto &I : Items) Out.insert(Url_SameKey(Trim(I->Url)));
  return Out;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: corpus_report CORPUS.json SNAPSHOTS BASE\n");
    return 2;
  }
  try {
    const QJsonObject Corpus = QJsonDocument::fromJson(ReadAll(argv[1])).object();
    const QJsonObject Pages = Corpus.value(QStringLiteral("pages")).toObject();
    const std::string Dir = argv[2], Base = argv[3];
    std::printf("%-18s %6s %10s %6s %12s %12s\n", "page", "seen", "src-only", "ours", "src-only+", "ours+");
    int Seen = 0, Plain = 0, Mine = 0;
    for (auto It = Pages.begin(); It != Pages.end(); ++It) {
      const std::string Page = It.key().toStdString();
      const std::string Stem = Page.substr(0, Page.rfind('.'));
      std::set<std::string> Want;
      for (const QJsonValue &V : It.value().toArray()) Want.insert(Url_SameKey(Base + V.toString().toStdString()));
      TPageSnapshot P = SnapshotOf(Dir + "/" + Stem + ".plain.json");
      TPageSnapshot O = SnapshotOf(Dir + "/" + Stem + ".json");
      const std::set<std::string> A = SrcOnly(*P.Window()->Document()), B = Ours(*O.Window()->Document());
      auto Found = [&Want](const std::set<std::string> &S) {
        int N = 0;
        for (const std::string &U : Want) N += S.count(U) ? 1 : 0;
        return N;
      };
      const int FA = Found(A), FB = Found(B);
      std::printf("%-18s %6zu %10d %6d %12zu %12zu\n", Page.c_str(), Want.size(), FA, FB, A.size() - FA, B.size() - FB);
      Seen += static_cast<int>(Want.size());
      Plain += FA;
      Mine += FB;
    }
    std::printf("%-18s %6d %10d %6d\n", "all", Seen, Plain, Mine);
    std::printf("largest forms found: src-only %.0f %%, ours %.0f %% (goal 100 %%)\n", Seen ? 100.0 * Plain / Seen : 0.0,
                Seen ? 100.0 * Mine / Seen : 0.0);
    std::printf("(+: items that are no picture's largest form: thumbnails, placeholders, smaller forms)\n");
    return Mine == Seen ? 0 : 1;
  } catch (const std::exception &E) {
    std::fprintf(stderr, "corpus_report: %s\n", E.what());
    return 1;
  }
}
