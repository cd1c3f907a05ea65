#include "platform/uChannelFrame.h"

std::string Frame_Encode(std::string_view Json) {
  uint32_t N = static_cast<uint32_t>(Json.size());
  std::string Out;
  Out.reserve(Json.size() + 4);
  for (int I = 0; I < 4; ++I) Out += static_cast<char>((N >> (8 * I)) & 0xFF);
  Out.append(Json);
  return Out;
}

std::optional<uint32_t> TFrameReader::Length() const {
  if (FBuf.size() < 4) return std::nullopt;
  uint32_t N = 0;
  for (int I = 0; I < 4; ++I) N |= static_cast<uint32_t>(static_cast<unsigned char>(FBuf[static_cast<size_t>(I)])) << (8 * I);
  return N;
}

size_t TFrameReader::Expected() const {
  auto N = Length();
  return N && *N <= FMax ? 4 + static_cast<size_t>(*N) : FBuf.size();
}

void TFrameReader::Feed(std::string_view Bytes) {
  if (FFailed) return;
  FBuf.append(Bytes);
  // Room for the whole message at once: growing by doubling would hold up
  // to twice its size.
  if (auto N = Length(); N && *N <= FMax && FBuf.capacity() < 4 + static_cast<size_t>(*N))
    FBuf.reserve(4 + static_cast<size_t>(*N));
}

std::optional<std::string> TFrameReader::Next() {
  if (FFailed) return std::nullopt;
  auto N = Length();
  if (!N) return std::nullopt;
  if (*N > FMax) {
    FFailed = true;
    FBuf.clear();
    FBuf.shrink_to_fit();
    return std::nullopt;
  }
  const size_t Whole = 4 + static_cast<size_t>(*N);
  if (FBuf.size() < Whole) return std::nullopt;
  // The message takes the buffer with it, so a large one leaves nothing
  // large behind.
  std::string Rest = FBuf.substr(Whole);
  FBuf.resize(Whole);
  std::string Msg = std::move(FBuf);
  Msg.erase(0, 4);
  FBuf = std::move(Rest);
  return Msg;
}
