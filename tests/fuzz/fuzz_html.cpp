// The HTML text functions on arbitrary bytes. Input: one flag byte, one
// picture-count byte, then the page, the src lines and the local-path lines,
// the three parts separated by NUL bytes and the lines by line feeds. The src
// values read from the page's own tags are added to the list, so that tags
// really get rewritten.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "editors/uTxtHtml.h"

namespace {

std::vector<std::string> Lines(std::string_view S) {
  std::vector<std::string> R;
  if (S.empty()) return R;
  size_t P = 0;
  for (;;) {
    size_t E = S.find('\n', P);
    R.emplace_back(S.substr(P, E == std::string_view::npos ? std::string_view::npos : E - P));
    if (E == std::string_view::npos) break;
    P = E + 1;
  }
  return R;
}

std::string_view Part(std::string_view &Rest) {
  size_t E = Rest.find('\0');
  std::string_view P = Rest.substr(0, E);
  Rest = E == std::string_view::npos ? std::string_view() : Rest.substr(E + 1);
  return P;
}

void Check(bool Ok) {
  if (!Ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  if (Size < 2) return 0;
  const uint8_t Flags = Data[0];
  const int ImageCount = static_cast<int8_t>(Data[1]);
  std::string_view Rest(reinterpret_cast<const char *>(Data) + 2, Size - 2);
  const std::string Html(Part(Rest));
  std::vector<std::string> Raw = Lines(Part(Rest));
  std::vector<std::string> Local = Lines(Rest);

  std::string S = Html;
  Check(Clear_Sub_Str(S, "<script", "</script>"));
  Check(S.size() <= Html.size());
  if (Raw.size() >= 2) {
    S = Html;
    bool Ok = Clear_Sub_Str(S, Raw[0], Raw[1]);
    Check(Ok == (!Raw[0].empty() && !Raw[1].empty()));
    Check(S.size() <= Html.size());
  }

  // Each tag-like piece of the page stands in for an element's outer HTML.
  size_t P = 0;
  std::string Src;
  for (int K = 0; K < 32 && (P = Html.find('<', P)) != std::string::npos; ++K, ++P) {
    size_t E = Html.find('>', P);
    if (Html_GetSrc(Html.substr(P, E == std::string::npos ? std::string::npos : E - P + 1), Src)) Raw.push_back(Src);
  }
  if (Flags & 2)
    while (Local.size() < Raw.size()) Local.push_back("/s/page.files/" + Raw[Local.size()]);

  std::vector<int> Index;
  if (Flags & 1) Index.push_back(1);
  if (Flags & 4) Index.push_back(Flags);
  const std::vector<int> IndexIn = Index;
  std::string H = Html;
  const bool Ok = Html_ChgImgLink(H, ImageCount, Raw, Local, Index);
  if (!Ok || !Html_HasImg(Html)) Check(H == Html);
  if (!Ok || !(Flags & 1)) {
    Check(Index == IndexIn);
  } else {
    std::set<int> Seen;
    for (int I : Index) Check(I >= 0 && static_cast<size_t>(I) < Raw.size() && Seen.insert(I).second);
  }
  return 0;
}
