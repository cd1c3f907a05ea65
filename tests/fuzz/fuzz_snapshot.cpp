// Any bytes as a page snapshot: Parse refuses or succeeds, and reading every
// part of what it gave either works or throws the program's error.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/TPageSnapshot.h"

namespace {
template <class F>
void Try(F Fn) {
  try {
    Fn();
  } catch (const EMossError &) {
  }
}

void ReadDocument(const std::shared_ptr<THtmlDocument> &D) {
  if (!D) return;
  Try([&] { (void)D->Url(); });
  Try([&] { (void)D->Title(); });
  Try([&] { (void)D->FileSize(); });
  Try([&] { (void)D->Source(); });
  Try([&] { (void)D->AnchorHref("../x/y.swf?a#b"); });
  Try([&] { (void)D->Selection().Text(); });
  Try([&] { (void)D->Selection().HtmlText(); });
  Try([&] { (void)D->Body()->OuterText(); });
  Try([&] { (void)D->DocumentElement()->OuterHtml(); });
  Try([&] {
    const auto &Imgs = D->Images();
    for (int32_t I = 0; I < Imgs.Length() && I < 64; ++I) {
      auto E = Imgs.Item(I);
      Try([&] { (void)E->OuterHtml(); });
      if (auto Img = std::dynamic_pointer_cast<THtmlImgElement>(E)) {
        Try([&] { (void)Img->Src(); });
        Try([&] { (void)Img->Width(); });
        Try([&] { (void)Img->MimeType(); });
      }
    }
  });
  Try([&] {
    const auto &Objs = D->Objects();
    for (int32_t I = 0; I < Objs.Length() && I < 64; ++I)
      Try([&] {
        if (auto F = Objs.Item(I)->Flash()) (void)F->Movie();
      });
  });
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  std::string Json(reinterpret_cast<const char *>(Data), Size);
  try {
    TPageSnapshot S = TPageSnapshot::Parse(Json);
    auto W = S.Window();
    Try([&] { ReadDocument(W->Document()); });
    Try([&] { ReadDocument(W->Top()->Document()); });
    Try([&] { (void)S.Element(); });
    Try([&] { (void)S.CachedFiles(); });
  } catch (const EMossError &) {
  }
  return 0;
}
