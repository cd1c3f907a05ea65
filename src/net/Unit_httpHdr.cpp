#include "net/Unit_httpHdr.h"

#include <zlib.h>

#include <climits>
#include <cstring>
#include <ctime>
#include <vector>

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

// The comma-separated tokens of a header value, blanks trimmed.
std::vector<std::string> Tokens(const std::string &V) {
  std::vector<std::string> Out;
  size_t Pos = 0;
  for (;;) {
    size_t Comma = V.find(',', Pos);
    Out.push_back(TrimBlanks(std::string_view(V).substr(Pos, Comma == std::string::npos ? std::string::npos : Comma - Pos)));
    if (Comma == std::string::npos) return Out;
    Pos = Comma + 1;
  }
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
  const bool Http10 = StatusLine.compare(5, 3, "1.0") == 0;
  bool ConnClose = false, ConnKeep = false;

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
    } else if (Name == "content-encoding") {
      if (!Value.empty()) H.ContentEncoding += (H.ContentEncoding.empty() ? "" : ", ") + Value;
    } else if (Name == "transfer-encoding") {
      std::string V = LowerCase(Value);
      size_t Comma = V.rfind(',');
      H.Chunked = TrimBlanks(Comma == std::string::npos ? V : std::string_view(V).substr(Comma + 1)) == "chunked";
    } else if (Name == "connection") {
      for (const std::string &T : Tokens(LowerCase(Value))) {
        ConnClose = ConnClose || T == "close";
        ConnKeep = ConnKeep || T == "keep-alive";
      }
    } else if (Name == "etag") {
      // A weak tag may not ask for a part of the file.
      H.ETag = Value.rfind("W/", 0) == 0 ? std::string() : Value;
    } else if (Name == "last-modified") {
      H.LastModified = Value;
    } else if (Name == "accept-ranges") {
      H.RangesRefused = LowerCase(Value) == "none";
    } else if (Name == "content-range") {
      H.ContentRange = Value;
    } else if (Name == "retry-after") {
      H.RetryAfter = Value;
    } else if (Name == "set-cookie") {
      H.SetCookies.push_back(Value);
    }
  }
  H.KeepAlive = !ConnClose && (!Http10 || ConnKeep);
  return H;
}

int64_t Http_RetryAfterSec(const std::string &Value, int64_t NowUnix) {
  const std::string V = TrimBlanks(Value);
  int64_t N;
  if (ParseLength(V, N)) return N;
  // An HTTP date, "Sun, 06 Nov 1994 08:49:37 GMT", read by hand: the C
  // library's reading follows the user's language. (The two old forms are
  // left to the number of seconds every server sends today.)
  static const char *const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (V.size() != 29 || V[3] != ',' || V[4] != ' ' || V[7] != ' ' || V[11] != ' ' || V[16] != ' ' || V[19] != ':' ||
      V[22] != ':' || V.compare(25, 4, " GMT") != 0)
    return -1;
  auto Num = [&](size_t At, size_t Len, int &Out) {
    int64_t N;
    if (!ParseLength(V.substr(At, Len), N)) return false;
    Out = static_cast<int>(N);
    return true;
  };
  std::tm T{};
  int Mon = -1;
  for (int I = 0; I < 12; ++I)
    if (V.compare(8, 3, Months[I]) == 0) Mon = I;
  if (Mon < 0 || !Num(5, 2, T.tm_mday) || !Num(12, 4, T.tm_year) || !Num(17, 2, T.tm_hour) || !Num(20, 2, T.tm_min) ||
      !Num(23, 2, T.tm_sec) || T.tm_mday < 1 || T.tm_mday > 31 || T.tm_hour > 23 || T.tm_min > 59 || T.tm_sec > 60)
    return -1;
  T.tm_mon = Mon;
  T.tm_year -= 1900;
  const int64_t At = timegm(&T);
  return At <= NowUnix ? 0 : At - NowUnix;
}

bool Http_ParseContentRange(const std::string &Value, int64_t &First, int64_t &Last, int64_t &Total) {
  const std::string V = TrimBlanks(Value);
  if (V.compare(0, 6, "bytes ") != 0) return false;
  const size_t Dash = V.find('-', 6), Slash = V.find('/', 6);
  if (Dash == std::string::npos || Slash == std::string::npos || Dash > Slash) return false;
  if (!ParseLength(V.substr(6, Dash - 6), First) || !ParseLength(V.substr(Dash + 1, Slash - Dash - 1), Last) ||
      !ParseLength(V.substr(Slash + 1), Total))
    return false;
  return First <= Last && Last < Total;
}

THttpCoding Http_BodyCoding(const std::string &ContentEncoding) {
  THttpCoding Out = THttpCoding::Identity;
  std::string_view Rest = ContentEncoding;
  for (;;) {
    size_t Comma = Rest.find(',');
    std::string C = LowerCase(TrimBlanks(Rest.substr(0, Comma)));
    if (!C.empty() && C != "identity") {
      if (Out != THttpCoding::Identity) return THttpCoding::Unknown;
      if (C == "gzip" || C == "x-gzip")
        Out = THttpCoding::Gzip;
      else if (C == "deflate")
        Out = THttpCoding::Deflate;
      else
        return THttpCoding::Unknown;
    }
    if (Comma == std::string_view::npos) return Out;
    Rest.remove_prefix(Comma + 1);
  }
}

struct THttpInflater::TZ {
  z_stream S{};
  std::vector<char> Out = std::vector<char>(64 * 1024);
};

THttpInflater::THttpInflater(THttpCoding Coding) : FZ(std::make_unique<TZ>()), FCoding(Coding) {}

THttpInflater::~THttpInflater() {
  if (FStarted) inflateEnd(&FZ->S);
}

bool THttpInflater::Start(bool Raw) {
  // Adding 32 lets zlib take a gzip or a zlib stream, whichever it finds.
  if (inflateInit2(&FZ->S, Raw ? -MAX_WBITS : MAX_WBITS + 32) != Z_OK) {
    FError = "Can not start decompressing the body";
    return false;
  }
  FStarted = true;
  return true;
}

bool THttpInflater::Feed(const char *Data, size_t Len, const TSink &Out) {
  if (!FError.empty()) return false;
  if (FDone || Len == 0) return true;
  FFed += Len;
  if (!FStarted) {
    if (FCoding != THttpCoding::Deflate) {
      if (!Start(false)) return false;
    } else {
      // The zlib wrapper's two bytes: method 8, a window of at most 32 KiB
      // and a check that makes them a multiple of 31. Raw deflate data
      // rarely looks like that; when the first byte comes alone it waits.
      if (FFed == Len) {
        FHead = Data[0];
        ++Data;
        --Len;
        if (Len == 0) return true;
      }
      const unsigned B0 = static_cast<unsigned char>(FHead), B1 = static_cast<unsigned char>(Data[0]);
      const bool Wrapped = (B0 & 0x0f) == 8 && (B0 >> 4) <= 7 && (B0 * 256 + B1) % 31 == 0;
      if (!Start(!Wrapped)) return false;
      const char Head = FHead;
      if (!Inflate(&Head, 1, Out)) return false;
    }
  }
  return Inflate(Data, Len, Out);
}

bool THttpInflater::Inflate(const char *Data, size_t Len, const TSink &Out) {
  z_stream &S = FZ->S;
  std::vector<char> &Buf = FZ->Out;
  while (Len > 0 && !FDone) {
    const uInt Piece = Len > UINT_MAX ? UINT_MAX : static_cast<uInt>(Len);
    S.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(Data));
    S.avail_in = Piece;
    for (;;) {
      S.next_out = reinterpret_cast<Bytef *>(Buf.data());
      S.avail_out = static_cast<uInt>(Buf.size());
      const int Rc = inflate(&S, Z_NO_FLUSH);
      const size_t Got = Buf.size() - S.avail_out;
      if (Got > 0 && !Out(Buf.data(), Got)) return false;
      if (Rc == Z_STREAM_END) {
        FDone = true;
        break;
      }
      // Z_BUF_ERROR: nothing more can be done without more input.
      if ((Rc != Z_OK && Rc != Z_BUF_ERROR) || (Rc == Z_BUF_ERROR && S.avail_in > 0)) {
        FError = std::string("Bad compressed body: ") + (S.msg ? Printable(S.msg) : "zlib error " + std::to_string(Rc));
        return false;
      }
      // Everything given is used and everything made is handed on.
      if (Rc == Z_BUF_ERROR || (S.avail_in == 0 && S.avail_out > 0)) break;
    }
    Data += Piece;
    Len -= Piece;
  }
  return true;
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
