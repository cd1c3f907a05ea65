#pragma once
// Reading an HTTP/1.1 response without trusting it: the header block is found
// and parsed within a size bound, and a chunked body is unwrapped piece by
// piece so that it never has to be held whole. Nothing here does I/O, so the
// fuzzer can drive every line of it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A header longer than this is refused: no server we save from needs more,
// and a hostile one must not make us buffer without end.
inline constexpr size_t HttpMaxHeaderBytes = 64 * 1024;

// The length of the header block at the start of Buf, up to and including
// the empty line that ends it (CR LF or a bare LF); 0 when it is not complete.
// From, a line start already searched past, lets a reader that sees the
// header arrive in pieces search each byte once; on 0 it is moved on to the
// start of the last, unfinished line.
size_t Http_HeaderEnd(std::string_view Buf, size_t *From = nullptr);

struct THttpHeader {
  std::vector<std::string> Lines;  // without line ends, status line first
  int Status = 0;                  // the three-digit code
  bool NotFound = false;           // the status line contains "Not Found"
  bool HasLocation = false;
  std::string Location;         // last "Location" value, blanks trimmed
  int64_t ContentLen = -1;      // -1 when absent or not a whole number
  std::string ContentType;      // last "Content-Type" value
  bool Chunked = false;         // the last transfer coding is "chunked"
  std::string ContentEncoding;  // every "Content-Encoding" value, blanks trimmed, joined by ", "
  // The connection may carry another request after this answer's body:
  // HTTP/1.1 unless "Connection: close", HTTP/1.0 only with "keep-alive".
  bool KeepAlive = false;
  // What a request for the rest of the body needs: the validator of the
  // file (a strong "ETag", else "Last-Modified"), whether the server said
  // it takes no ranges, and the "Content-Range" of a partial answer.
  std::string ETag, LastModified;
  bool RangesRefused = false;  // "Accept-Ranges: none"
  std::string ContentRange;
  std::string RetryAfter;               // the last "Retry-After" value
  std::vector<std::string> SetCookies;  // the values of "Set-Cookie" lines
  std::string Error;                    // why the header is unusable; empty when it is fine
};

// Parses a header block as Http_HeaderEnd delimits it (the trailing empty
// line may be there or not). Never throws; a malformed header sets Error.
THttpHeader Http_ParseHeader(std::string_view Block);

// "Retry-After" as seconds from NowUnix: a number of seconds, or an HTTP
// date; -1 when it is neither. A date in the past is 0.
int64_t Http_RetryAfterSec(const std::string &Value, int64_t NowUnix);

// A "Content-Range" of a partial answer, "bytes First-Last/Total"; false
// for anything else (an unknown total included).
bool Http_ParseContentRange(const std::string &Value, int64_t &First, int64_t &Last, int64_t &Total);

// What a body's "Content-Encoding" asks of us before the bytes are the file.
enum class THttpCoding { Identity, Gzip, Deflate, Unknown };
// "identity" and empty entries count for nothing; one "gzip" (or "x-gzip")
// or "deflate" is undone; anything else, several codings included, is
// Unknown. Letter case is ignored.
THttpCoding Http_BodyCoding(const std::string &ContentEncoding);

// Undoes a gzip or deflate content coding piece by piece, so that a body of
// any size is never held whole. "deflate" is taken with or without its zlib
// wrapper, as browsers take it; bytes after the end of the compressed stream
// are ignored, as browsers ignore them.
class THttpInflater {
 public:
  // Receives each piece of decoded bytes; false stops the decoding.
  using TSink = std::function<bool(const char *Data, size_t Len)>;
  explicit THttpInflater(THttpCoding Coding);
  ~THttpInflater();
  THttpInflater(const THttpInflater &) = delete;
  THttpInflater &operator=(const THttpInflater &) = delete;
  // False on a bad stream (Error() says why) or when Out returned false.
  bool Feed(const char *Data, size_t Len, const TSink &Out);
  // The compressed stream has ended properly.
  bool Done() const { return FDone; }
  // No byte was fed yet.
  bool Empty() const { return FFed == 0; }
  const std::string &Error() const { return FError; }

 private:
  bool Start(bool Raw);
  bool Inflate(const char *Data, size_t Len, const TSink &Out);
  struct TZ;
  std::unique_ptr<TZ> FZ;
  THttpCoding FCoding;
  bool FStarted = false, FDone = false;
  uint64_t FFed = 0;
  char FHead = 0;  // a deflate body's first byte, held until the second tells its form
  std::string FError;
};

// Unwraps "Transfer-Encoding: chunked": sizes in hex, optional extensions
// after ";", the CR LF after each chunk's data, a last chunk of size 0 and
// optional trailer lines. Bare LF line ends are accepted as well.
class THttpChunkDecoder {
 public:
  struct TResult {
    size_t Payload = 0;   // data bytes now at the front of the buffer
    size_t Consumed = 0;  // input bytes used; less than given only once Done
  };
  // Decodes Buf[0, Len) in place: the chunks' data is moved to the front.
  // After an error or the end, further input is not consumed.
  TResult Decode(char *Buf, size_t Len);
  bool Done() const { return FState == TState::Done; }
  bool Failed() const { return FState == TState::Error; }
  const std::string &Error() const { return FError; }

 private:
  enum class TState { Size, SizeBlank, Ext, LineLf, Data, DataCr, DataLf, Trailer, TrailerLf, Done, Error };
  void Fail(const char *Why);
  TState FState = TState::Size;
  uint64_t FSize = 0;      // the chunk size read so far / data bytes left
  int FDigits = 0;         // hex digits of the current size
  size_t FLineLen = 0;     // bytes of the current size, extension or trailer line
  size_t FTrailerLen = 0;  // bytes of all trailer lines
  std::string FError;
};
