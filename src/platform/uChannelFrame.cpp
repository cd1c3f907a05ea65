#include "platform/uChannelFrame.h"

std::string Frame_Encode(std::string_view Json) {
  uint32_t N = static_cast<uint32_t>(Json.size());
  std::string Out;
  Out.reserve(Json.size() + 4);
  for (int I = 0; I < 4; ++I) Out += static_cast<char>((N >> (8 * I)) & 0xFF);
  Out.append(Json);
  return Out;
}

std::optional<std::string> TFrameReader::Next() {
  if (FFailed || FBuf.size() < 4) return std::nullopt;
  uint32_t N = 0;
  for (int I = 0; I < 4; ++I) N |= static_cast<uint32_t>(static_cast<unsigned char>(FBuf[static_cast<size_t>(I)])) << (8 * I);
  if (N > FMax) {
    FFailed = true;
    FBuf.clear();
    return std::nullopt;
  }
  if (FBuf.size() - 4 < N) return std::nullopt;
  std::string Msg = FBuf.substr(4, N);
  FBuf.erase(0, 4 + static_cast<size_t>(N));
  return Msg;
}
