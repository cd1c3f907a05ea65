#include "net/Unit_httpHdr.h"

#include <cstring>

#include "pub/Unit_Pub.h"

namespace {

// Bytes of a chunk-size line's extension or a trailer line we accept; real
// servers send a few dozen.
constexpr size_t MaxChunkLine = 4096;

// A server's text shown in an error must not carry control bytes into the log.
std::string Printable(std::string_view S) {
  std::string Out;
  for (char C : S.substr(0, 200)) Out += (static_cast<unsigned char>(C) < 0x20 || C == 0x7f) ? '?' : C;
  return Out;
}

std::string TrimBlanks(std::string_view S) {
  size_t B = S.find_first_not_of(" \t");
  if (B == std::string_view::npos) return {};
  return std::string(S.substr(B, S.find_last_not_of(" \t") - B + 1));
}

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

int HexValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

// "HTTP/1.1 200 OK", "HTTP/1.0 302", with the code as three digits.
bool ParseStatusLine(const std::string &S, int &Status) {
  if (S.size() < 12 || S.compare(0, 5, "HTTP/") != 0) return false;
  if (!IsDigit(S[5]) || S[6] != '.' || !IsDigit(S[7]) || S[8] != ' ') return false;
  if (S[9] < '1' || S[9] > '9' || !IsDigit(S[10]) || !IsDigit(S[11])) return false;
  if (S.size() > 12 && S[12] != ' ') return false;
  Status = (S[9] - '0') * 100 + (S[10] - '0') * 10 + (S[11] - '0');
  return true;
}

// A whole decimal number that fits in 63 bits; anything else is ignored as
// the length, as if the line were not there.
bool ParseLength(const std::string &V, int64_t &Out) {
  if (V.empty() || V.size() > 18) return false;
  int64_t N = 0;
  for (char C : V) {
    if (!IsDigit(C)) return false;
    N = N * 10 + (C - '0');
  }
  Out = N;
  return true;
}

}  // namespace

size_t Http_HeaderEnd(std::string_view Buf, size_t *From) {
  size_t Pos = From && *From <= Buf.size() ? *From : 0;
  for (;;) {
    size_t Lf = Buf.find('\n', Pos);
    if (Lf == std::string_view::npos) {
      if (From) *From = Pos;
      return 0;
    }
    size_t LineLen = Lf - Pos;
    if (LineLen == 0 || (LineLen == 1 && Buf[Pos] == '\r')) return Lf + 1;
    Pos = Lf + 1;
  }
}

THttpHeader Http_ParseHeader(std::string_view Block) {
  THttpHeader H;
  size_t Pos = 0;
  while (Pos < Block.size()) {
    size_t Lf = Block.find('\n', Pos);
    std::string_view Line = Block.substr(Pos, Lf == std::string_view::npos ? std::string_view::npos : Lf - Pos);
    if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
    if (Line.empty()) break;
    H.Lines.emplace_back(Line);
    if (Lf == std::string_view::npos) break;
    Pos = Lf + 1;
  }
  if (H.Lines.empty()) {
    H.Error = "The server sent no http header";
    return H;
  }
  const std::string &StatusLine = H.Lines[0];
  if (!ParseStatusLine(StatusLine, H.Status)) {
    H.Error = "Bad http status line: " + Printable(StatusLine);
    return H;
  }
  H.NotFound = StatusLine.find("Not Found") != std::string::npos;

  bool HaveLen = false;
  for (size_t I = 1; I < H.Lines.size(); ++I) {
    const std::string &L = H.Lines[I];
    size_t Colon = L.find(':');
    // Folded continuation lines and lines without a name carry nothing we use.
    if (L[0] == ' ' || L[0] == '\t' || Colon == std::string::npos || Colon == 0) continue;
    std::string Name = LowerCase(L.substr(0, Colon));
    std::string Value = TrimBlanks(std::string_view(L).substr(Colon + 1));
    if (Name == "location") {
      H.HasLocation = true;
      H.Location = Value;
    } else if (Name == "content-length") {
      int64_t N;
      if (!ParseLength(Value, N)) continue;
      // Two different lengths mean we cannot know where the body ends.
      if (HaveLen && N != H.ContentLen) {
        H.Error = "The server sent conflicting Content-Length values";
        return H;
      }
      HaveLen = true;
      H.ContentLen = N;
    } else if (Name == "content-type") {
      H.ContentType = Value;
    } else if (Name == "transfer-encoding") {
      std::string V = LowerCase(Value);
      size_t Comma = V.rfind(',');
      H.Chunked = TrimBlanks(Comma == std::string::npos ? V : std::string_view(V).substr(Comma + 1)) == "chunked";
    }
  }
  return H;
}

void THttpChunkDecoder::Fail(const char *Why) {
  FState = TState::Error;
  FError = Why;
}

THttpChunkDecoder::TResult THttpChunkDecoder::Decode(char *Buf, size_t Len) {
  size_t In = 0, Out = 0;
  auto EndSizeLine = [this] {
    FLineLen = 0;
    if (FSize == 0) {
      FState = TState::Trailer;
    } else {
      FState = TState::Data;
    }
  };
  auto StartSize = [this] {
    FState = TState::Size;
    FSize = 0;
    FDigits = 0;
    FLineLen = 0;
  };
  while (In < Len && FState != TState::Done && FState != TState::Error) {
    char C = Buf[In];
    switch (FState) {
      case TState::Size: {
        int V = HexValue(C);
        if (V >= 0) {
          // 15 hex digits is far beyond any file and keeps the sum in range.
          if (++FDigits > 15) return Fail("Chunk size too large"), TResult{Out, In};
          FSize = FSize * 16 + static_cast<uint64_t>(V);
          ++In;
          break;
        }
        if (FDigits == 0) return Fail("Bad chunk size line"), TResult{Out, In};
        FState = TState::SizeBlank;
        break;  // the same byte again, as the end of the size
      }
      case TState::SizeBlank:
        if (C == ' ' || C == '\t') {
          if (++FLineLen > MaxChunkLine) return Fail("Chunk size line too long"), TResult{Out, In};
        } else if (C == ';') {
          FState = TState::Ext;
        } else if (C == '\r') {
          FState = TState::LineLf;
        } else if (C == '\n') {
          EndSizeLine();
        } else {
          return Fail("Bad chunk size line"), TResult{Out, In};
        }
        ++In;
        break;
      case TState::Ext:
        if (C == '\r')
          FState = TState::LineLf;
        else if (C == '\n')
          EndSizeLine();
        else if (++FLineLen > MaxChunkLine)
          return Fail("Chunk extension too long"), TResult{Out, In};
        ++In;
        break;
      case TState::LineLf:
        if (C != '\n') return Fail("Bad line end in chunked body"), TResult{Out, In};
        EndSizeLine();
        ++In;
        break;
      case TState::Data: {
        size_t N = Len - In;
        if (FSize < N) N = static_cast<size_t>(FSize);
        if (Out != In) std::memmove(Buf + Out, Buf + In, N);
        Out += N;
        In += N;
        FSize -= N;
        if (FSize == 0) FState = TState::DataCr;
        break;
      }
      case TState::DataCr:
        if (C == '\r')
          FState = TState::DataLf;
        else if (C == '\n')
          StartSize();
        else
          return Fail("Chunk data longer than its size"), TResult{Out, In};
        ++In;
        break;
      case TState::DataLf:
        if (C != '\n') return Fail("Chunk data longer than its size"), TResult{Out, In};
        StartSize();
        ++In;
        break;
      case TState::Trailer:
        if (C == '\n') {
          if (FLineLen == 0) FState = TState::Done;
          FLineLen = 0;
        } else if (C == '\r') {
          FState = TState::TrailerLf;
        } else {
          ++FLineLen;
          if (++FTrailerLen > HttpMaxHeaderBytes) return Fail("Chunked trailer too large"), TResult{Out, In};
        }
        ++In;
        break;
      case TState::TrailerLf:
        if (C != '\n') return Fail("Bad line end in chunked trailer"), TResult{Out, In};
        FState = FLineLen == 0 ? TState::Done : TState::Trailer;
        FLineLen = 0;
        ++In;
        break;
      case TState::Done:
      case TState::Error:
        break;
    }
  }
  return {Out, In};
}
