#pragma once
// The framing of the request channel, the same as the browser's native
// messaging: a 4-byte little-endian length, then that many bytes of UTF-8
// JSON. TFrameReader takes bytes as they arrive and hands out whole messages.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The largest message either side accepts: a snapshot of up to 64 MiB plus
// its envelope.
inline constexpr uint32_t MaxChannelMessage = (64u << 20) + (1u << 20);

std::string Frame_Encode(std::string_view Json);

class TFrameReader {
 public:
  explicit TFrameReader(uint32_t MaxLen = MaxChannelMessage) : FMax(MaxLen) {}
  void Feed(std::string_view Bytes);
  // The next whole message, if one has arrived. After an oversized length
  // Failed() is true and nothing more is handed out.
  std::optional<std::string> Next();
  bool Failed() const { return FFailed; }
  // Bytes of an unfinished message held now.
  size_t Buffered() const { return FBuf.size(); }
  // What the message under way will hold when whole (its length and the 4
  // bytes before it), once its length has arrived; until then what is held.
  size_t Expected() const;

 private:
  // The announced length, when 4 bytes have arrived.
  std::optional<uint32_t> Length() const;

  uint32_t FMax;
  std::string FBuf;
  bool FFailed = false;
};
