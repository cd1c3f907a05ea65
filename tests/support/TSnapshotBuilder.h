#pragma once
// Page snapshots for tests, in a few lines:
//
//   auto S = TSnapshotBuilder().Title("News").Selection("Hi", "<b>Hi</b>")
//                .Image({.Src = "http://example.test/a.jpg", .Width = 640, .Height = 480})
//                .ElementIndex(0).Parse();
//
// A fresh builder makes a complete top-level page in which every part reads
// successfully; each call adds or replaces one part. Drop and Set damage a
// snapshot on purpose (a part missing, a part of the wrong type).
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/TPageSnapshot.h"

struct TSnapImage {
  std::string Src;
  int Width = 100, Height = 100;
  std::string MimeType = "JPEG Image";
  std::string FileSize = "-1";
  std::string OuterHtml;  // empty: <img src="Src">
};

// An OBJECT or EMBED element.
struct TSnapPlugin {
  std::string Movie;  // as the page wrote it
  std::string Width = "400", Height = "300";
  bool Flash = true;
  std::string OuterHtml;  // empty: made from the tag and the movie
};

// A VIDEO or AUDIO element.
struct TSnapMedia {
  std::string TagName = "VIDEO";
  std::string Src;                                           // absolute; empty: none of its own
  std::vector<std::pair<std::string, std::string>> Sources;  // src, type
  std::string Poster;
  int Width = 640, Height = 360;
};

class TSnapshotBuilder {
 public:
  static constexpr const char *DefaultUrl = "http://example.test/dir/page.html";

  TSnapshotBuilder();
  // A copy is independent, so one base page can be varied in several ways.
  TSnapshotBuilder(const TSnapshotBuilder &Other);
  TSnapshotBuilder &operator=(const TSnapshotBuilder &Other);
  ~TSnapshotBuilder();

  TSnapshotBuilder &Url(const std::string &Url);
  TSnapshotBuilder &Title(const std::string &Title);
  TSnapshotBuilder &FileSize(const std::string &Size);
  TSnapshotBuilder &BaseHref(const std::string &Href);
  TSnapshotBuilder &Selection(const std::string &Text, const std::string &Html);
  TSnapshotBuilder &BodyText(const std::string &Text);
  TSnapshotBuilder &RootHtml(const std::string &Html);
  // The document's bytes, sent as base64 so that any bytes survive.
  TSnapshotBuilder &Source(const std::string &Bytes);
  TSnapshotBuilder &Image(const TSnapImage &Img);
  TSnapshotBuilder &Object(const TSnapPlugin &Obj);
  TSnapshotBuilder &Embed(const TSnapPlugin &Emb);
  TSnapshotBuilder &Media(const TSnapMedia &M);
  // The page becomes a frame of a tab whose top-level document is TopUrl.
  TSnapshotBuilder &InFrame(const std::string &TopUrl, const std::string &TopSource = "<html></html>");
  // The element under the mouse: an entry of the images, or an element of its own.
  TSnapshotBuilder &ElementIndex(int Index);
  TSnapshotBuilder &Element(const std::string &TagName, const std::string &OuterHtml);
  TSnapshotBuilder &Cached(const std::string &Url, const std::string &Bytes);

  // Path: keys joined by "." with list indexes in brackets, from the snapshot's
  // top ("document.images[0].width", "topDocument", "version").
  TSnapshotBuilder &Drop(const std::string &Path);
  // Puts the JSON text Value at Path (the last key or index may be new).
  TSnapshotBuilder &Set(const std::string &Path, const std::string &Value);

  std::string Json() const;
  TPageSnapshot Parse() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> F;  // keeps Qt out of the tests that include this
};
