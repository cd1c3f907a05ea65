// A server's response as the downloader reads it: the header found and
// parsed, then the rest unwrapped as a chunked body. Decoding in pieces of
// any size must give what decoding in one piece gives.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/Unit_httpHdr.h"

namespace {

struct TDecoded {
  std::string Out;
  bool Done = false, Failed = false;
};

TDecoded Decode(const std::string &Body, size_t Step) {
  TDecoded R;
  THttpChunkDecoder D;
  for (size_t Off = 0; Off < Body.size() && !D.Done() && !D.Failed(); Off += Step) {
    std::string Piece = Body.substr(Off, Step);
    THttpChunkDecoder::TResult Res = D.Decode(Piece.data(), Piece.size());
    if (Res.Payload > Res.Consumed || Res.Consumed > Piece.size()) __builtin_trap();
    if (Res.Consumed < Piece.size() && !D.Done() && !D.Failed()) __builtin_trap();
    R.Out.append(Piece.data(), Res.Payload);
  }
  R.Done = D.Done();
  R.Failed = D.Failed();
  return R;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  const std::string In(reinterpret_cast<const char *>(Data), Size);
  const size_t End = Http_HeaderEnd(In);
  if (End > In.size()) __builtin_trap();
  THttpHeader H = Http_ParseHeader(std::string_view(In).substr(0, End ? End : In.size()));
  if (H.Error.empty() && (H.Lines.empty() || H.Status < 100 || H.Status > 999)) __builtin_trap();
  if (H.ContentLen < -1) __builtin_trap();

  const std::string Body = In.substr(End);
  TDecoded Whole = Decode(Body, Body.size() + 1);
  TDecoded Split = Decode(Body, 1 + (Size ? Data[0] % 61 : 0));
  if (Whole.Out != Split.Out || Whole.Done != Split.Done || Whole.Failed != Split.Failed) __builtin_trap();
  return 0;
}
