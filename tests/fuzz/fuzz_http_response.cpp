// A server's response as the downloader reads it: the header found and
// parsed, then the rest unwrapped as a chunked body and decompressed.
// Decoding in pieces of any size must give what decoding in one piece gives.
#include <algorithm>
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

// Decompressed output is summed up rather than kept: a small input may
// stand for a great deal of it. Past the cap the sink refuses more.
struct TInflated {
  uint64_t Size = 0, Hash = 1469598103934665603ull;
  bool Ok = true, Done = false, Capped = false;
  std::string Error;
};

TInflated Inflate(THttpCoding Coding, const std::string &In, size_t Step) {
  constexpr uint64_t Cap = 1 << 20;
  TInflated R;
  THttpInflater I(Coding);
  auto Sink = [&R](const char *P, size_t N) {
    for (size_t K = 0; K < N; ++K) R.Hash = (R.Hash ^ static_cast<unsigned char>(P[K])) * 1099511628211ull;
    R.Size += N;
    R.Capped = R.Size > Cap;
    return !R.Capped;
  };
  for (size_t Off = 0; Off < In.size() && R.Ok; Off += Step)
    R.Ok = I.Feed(In.data() + Off, std::min(Step, In.size() - Off), Sink);
  if (!R.Ok && !R.Capped && I.Error().empty()) __builtin_trap();  // a failure always says why
  R.Done = I.Done();
  R.Error = I.Error();
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

  // Whatever the header says, both decompressors get the body to chew on.
  (void)Http_BodyCoding(H.ContentEncoding);
  const std::string &Coded = H.Chunked ? Whole.Out : Body;
  for (THttpCoding C : {THttpCoding::Gzip, THttpCoding::Deflate}) {
    TInflated A = Inflate(C, Coded, Coded.size() + 1);
    TInflated B = Inflate(C, Coded, 1 + (Size ? Data[Size - 1] % 97 : 0));
    if (A.Capped || B.Capped) continue;
    if (A.Ok != B.Ok || A.Done != B.Done || (A.Ok && (A.Size != B.Size || A.Hash != B.Hash))) __builtin_trap();
  }
  return 0;
}
