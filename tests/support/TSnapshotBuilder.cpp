#include "support/TSnapshotBuilder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <stdexcept>
#include <variant>
#include <vector>

struct TSnapshotBuilder::TImpl {
  QJsonObject Root;

  QJsonObject Doc() const { return Root.value("document").toObject(); }
  void SetDoc(const char *Key, const QJsonValue &V) {
    QJsonObject D = Doc();
    D.insert(Key, V);
    Root.insert("document", D);
  }
  void Append(const char *Key, const QJsonValue &V) {
    QJsonArray A = Doc().value(Key).toArray();
    A.append(V);
    SetDoc(Key, A);
  }
};

namespace {

QString Q(const std::string &S) { return QString::fromStdString(S); }

QJsonObject PluginObject(const char *Tag, const TSnapPlugin &P) {
  std::string Html = P.OuterHtml;
  if (Html.empty())
    Html = std::string(Tag) == "OBJECT" ? "<object data=\"" + P.Movie + "\"></object>" : "<embed src=\"" + P.Movie + "\">";
  QJsonObject O{{"tagName", Tag}, {"outerHtml", Q(Html)}, {"width", Q(P.Width)}, {"height", Q(P.Height)}};
  if (P.Flash) {
    O.insert("flash", true);
    O.insert("movie", Q(P.Movie));
  }
  return O;
}

// One step of a path: a key of an object or an index of a list.
using TStep = std::variant<QString, qsizetype>;

std::vector<TStep> SplitPath(const std::string &Path) {
  std::vector<TStep> Steps;
  std::string Key;
  for (size_t I = 0; I <= Path.size(); ++I) {
    const char C = I < Path.size() ? Path[I] : '.';
    if (C == '.' || C == '[') {
      if (!Key.empty()) Steps.emplace_back(Q(Key));
      Key.clear();
      if (C == '[') {
        const size_t End = Path.find(']', I);
        if (End == std::string::npos) throw std::invalid_argument("bad snapshot path " + Path);
        Steps.emplace_back(static_cast<qsizetype>(std::stoll(Path.substr(I + 1, End - I - 1))));
        I = End;
      }
    } else {
      Key += C;
    }
  }
  return Steps;
}

// QJson values are copies, so a change deep inside is rebuilt on the way out.
// An undefined New removes the last step.
QJsonValue Put(const QJsonValue &Cur, const std::vector<TStep> &Steps, size_t At, const QJsonValue &New) {
  const TStep &S = Steps[At];
  const bool Last = At + 1 == Steps.size();
  if (const QString *Key = std::get_if<QString>(&S)) {
    QJsonObject O = Cur.toObject();
    if (Last && New.isUndefined())
      O.remove(*Key);
    else
      O.insert(*Key, Last ? New : Put(O.value(*Key), Steps, At + 1, New));
    return O;
  }
  QJsonArray A = Cur.toArray();
  const qsizetype I = std::get<qsizetype>(S);
  if (I < 0 || I > A.size()) throw std::invalid_argument("snapshot path index out of range");
  if (Last && New.isUndefined()) {
    if (I < A.size()) A.removeAt(I);
  } else if (I == A.size()) {
    A.append(Last ? New : Put(QJsonValue(), Steps, At + 1, New));
  } else {
    A.replace(I, Last ? New : Put(A.at(I), Steps, At + 1, New));
  }
  return A;
}

}  // namespace

TSnapshotBuilder::TSnapshotBuilder(const TSnapshotBuilder &Other) : F(std::make_unique<TImpl>(*Other.F)) {}

TSnapshotBuilder &TSnapshotBuilder::operator=(const TSnapshotBuilder &Other) {
  *F = *Other.F;
  return *this;
}

TSnapshotBuilder::~TSnapshotBuilder() = default;

TSnapshotBuilder::TSnapshotBuilder() : F(std::make_unique<TImpl>()) {
  F->Root = QJsonObject{
      {"version", 1},
      {"document", QJsonObject{{"url", DefaultUrl},
                               {"title", "Page"},
                               {"fileSize", "-1"},
                               {"selection", QJsonObject{{"text", ""}, {"html", ""}}},
                               {"body", QJsonObject{{"outerText", ""}}},
                               {"documentElement", QJsonObject{{"outerHtml", "<html><head></head><body></body></html>"}}},
                               {"images", QJsonArray()},
                               {"objects", QJsonArray()},
                               {"embeds", QJsonArray()}}},
  };
}

TSnapshotBuilder &TSnapshotBuilder::Url(const std::string &Url) {
  F->SetDoc("url", Q(Url));
  return *this;
}

TSnapshotBuilder &TSnapshotBuilder::Title(const std::string &Title) {
  F->SetDoc("title", Q(Title));
  return *this;
}

TSnapshotBuilder &TSnapshotBuilder::FileSize(const std::string &Size) {
  F->SetDoc("fileSize", Q(Size));
  return *this;
}

TSnapshotBuilder &TSnapshotBuilder::BaseHref(const std::string &Href) {
  F->SetDoc("baseHref", Q(Href));
  return *this;
}

TSnapshotBuilder &TSnapshotBuilder::Selection(const std::string &Text, const std::string &Html) {
  F->SetDoc("selection", QJsonObject{{"text", Q(Text)}, {"html", Q(Html)}});
  return *this;
}

TSnapshotBuilder &TSnapshotBuilder::BodyText(const std::string &Text) {
  F->SetDoc("body", QJsonObject{{"outerText", Q(Text)}});
  return *this;
}

TSnapshotBuilder &TSnapshotBuilder::RootHtml(const std::string &Html) {
  F->SetDoc("documentElement", QJsonObject{{"outerHtml", Q(Html)}});
  return *this;
}

TSnapshotBuilder &TSnapshotBuilder::Source(const std::string &Bytes) {
  const QByteArray B(Bytes.data(), static_cast<qsizetype>(Bytes.size()));
  F->SetDoc("sourceBase64", QString::fromLatin1(B.toBase64()));
  return *this;
}

TSnapshotBuilder &TSnapshotBuilder::Image(const TSnapImage &Img) {
  const std::string Html = Img.OuterHtml.empty() ? "<img src=\"" + Img.Src + "\">" : Img.OuterHtml;
  F->Append("images", QJsonObject{{"src", Q(Img.Src)},
                                  {"width", Img.Width},
                                  {"height", Img.Height},
                                  {"mimeType", Q(Img.MimeType)},
                                  {"fileSize", Q(Img.FileSize)},
                                  {"outerHtml", Q(Html)}});
  return *this;
}

TSnapshotBuilder &TSnapshotBuilder::Object(const TSnapPlugin &Obj) {
  F->Append("objects", PluginObject("OBJECT", Obj));
  return *this;
}

TSnapshotBuilder &TSnapshotBuilder::Embed(const TSnapPlugin &Emb) {
  F->Append("embeds", PluginObject("EMBED", Emb));
  return *this;
}

TSnapshotBuilder &TSnapshotBuilder::Media(const TSnapMedia &M) {
  QJsonArray Sources;
  for (const auto &[Src, Type] : M.Sources) Sources.append(QJsonObject{{"src", Q(Src)}, {"type", Q(Type)}});
  QJsonObject O{{"tagName", Q(M.TagName)},
                {"outerHtml", Q("<" + M.TagName + ">")},
                {"width", M.Width},
                {"height", M.Height},
                {"sources", Sources}};
  if (!M.Src.empty()) O.insert("src", Q(M.Src));
  if (!M.Poster.empty()) O.insert("poster", Q(M.Poster));
  F->Append("media", O);
  return *this;
}

TSnapshotBuilder &TSnapshotBuilder::InFrame(const std::string &TopUrl, const std::string &TopSource) {
  F->Root.insert("topDocument", QJsonObject{{"url", Q(TopUrl)}, {"title", "Top"}, {"source", Q(TopSource)}});
  return *this;
}

TSnapshotBuilder &TSnapshotBuilder::ElementIndex(int Index) {
  F->Root.insert("element", Index);
  return *this;
}

TSnapshotBuilder &TSnapshotBuilder::Element(const std::string &TagName, const std::string &OuterHtml) {
  F->Root.insert("element", QJsonObject{{"tagName", Q(TagName)}, {"outerHtml", Q(OuterHtml)}});
  return *this;
}

TSnapshotBuilder &TSnapshotBuilder::Cached(const std::string &Url, const std::string &Bytes) {
  QJsonArray A = F->Root.value("cache").toArray();
  const QByteArray B(Bytes.data(), static_cast<qsizetype>(Bytes.size()));
  A.append(QJsonObject{{"url", Q(Url)}, {"base64", QString::fromLatin1(B.toBase64())}});
  F->Root.insert("cache", A);
  return *this;
}

TSnapshotBuilder &TSnapshotBuilder::Drop(const std::string &Path) {
  F->Root = Put(F->Root, SplitPath(Path), 0, QJsonValue(QJsonValue::Undefined)).toObject();
  return *this;
}

TSnapshotBuilder &TSnapshotBuilder::Set(const std::string &Path, const std::string &Value) {
  QJsonParseError Err;
  const QJsonDocument D = QJsonDocument::fromJson(Q("[" + Value + "]").toUtf8(), &Err);
  if (Err.error != QJsonParseError::NoError) throw std::invalid_argument("not a JSON value: " + Value);
  F->Root = Put(F->Root, SplitPath(Path), 0, D.array().at(0)).toObject();
  return *this;
}

std::string TSnapshotBuilder::Json() const { return QJsonDocument(F->Root).toJson(QJsonDocument::Compact).toStdString(); }

TPageSnapshot TSnapshotBuilder::Parse() const { return TPageSnapshot::Parse(Json()); }
