#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "net/Unit_httpHdr.h"
#include "support/TestSupport.h"

TEST(HttpHeader, EndIsTheFirstEmptyLine) {
  const std::pair<std::string, size_t> Cases[] = {
      {"HTTP/1.1 200 OK\r\nA: b\r\n\r\nbody\r\n\r\n", 25},
      {"HTTP/1.1 200 OK\nA: b\n\nbody", 22},
      {"HTTP/1.1 200 OK\r\nA: b\r\n\r", 0},
      {"HTTP/1.1 200 OK\r\nA: b\r\n", 0},
      {"", 0},
  };
  for (const auto &[Buf, Want] : Cases) EXPECT_EQ(Http_HeaderEnd(Buf), Want) << Buf;
  // Searching on as the header grows finds the same end.
  const std::string Full = "HTTP/1.1 200 OK\r\nA: b\r\n\r\nbody";
  size_t From = 0, End = 0;
  for (size_t N = 0; N <= Full.size() && End == 0; ++N) End = Http_HeaderEnd(std::string_view(Full).substr(0, N), &From);
  EXPECT_EQ(End, 25u);
}

TEST(HttpHeader, ReadsTheFieldsTheDownloaderUses) {
  THttpHeader H = Http_ParseHeader(
      "HTTP/1.1 301 Moved\r\nlocation:/next\r\nCONTENT-LENGTH: 5000000000\r\ncontent-type:  image/png \r\n"
      "Transfer-Encoding: gzip, Chunked\r\n\r\n");
  EXPECT_EQ(H.Error, "");
  EXPECT_EQ(H.Status, 301);
  EXPECT_TRUE(H.HasLocation);
  EXPECT_EQ(H.Location, "/next");
  EXPECT_EQ(H.ContentLen, 5000000000);
  EXPECT_EQ(H.ContentType, "image/png");
  EXPECT_TRUE(H.Chunked);
  EXPECT_EQ(H.Lines.size(), 5u);
}

TEST(HttpHeader, LengthThatIsNotAWholeNumberIsIgnored) {
  for (const char *V : {"-1", "12a", "", "99999999999999999999", "1 2"}) {
    THttpHeader H = Http_ParseHeader(std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + V + "\r\n\r\n");
    EXPECT_EQ(H.Error, "") << V;
    EXPECT_EQ(H.ContentLen, -1) << V;
  }
  EXPECT_NE(Http_ParseHeader("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\n").Error, "");
  EXPECT_EQ(Http_ParseHeader("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 3\r\n\r\n").ContentLen, 3);
  EXPECT_FALSE(Http_ParseHeader("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, gzip\r\n\r\n").Chunked);
}

TEST(HttpHeader, StatusLineMustBeHttpWithAThreeDigitCode) {
  const std::pair<const char *, int> Cases[] = {
      {"HTTP/1.1 200 OK", 200}, {"HTTP/1.0 404 Not Found", 404}, {"HTTP/1.1 204", 204},
      {"HTTP/1.1 2000 OK", 0},  {"HTTP/1.1 20 OK", 0},           {"ICY 200 OK", 0},
      {"HTTP/1.1 OK", 0},       {"http/1.1 200 OK", 0},          {"<html><body>hello", 0},
      {"HTTP/1.1 099 Low", 0},
  };
  for (const auto &[Line, Status] : Cases) {
    THttpHeader H = Http_ParseHeader(std::string(Line) + "\r\n\r\n");
    EXPECT_EQ(H.Error.empty(), Status != 0) << Line;
    if (Status) {
      EXPECT_EQ(H.Status, Status) << Line;
    }
  }
  EXPECT_TRUE(Http_ParseHeader("HTTP/1.1 200 Not Found\r\n\r\n").NotFound);
  EXPECT_FALSE(Http_ParseHeader("HTTP/1.1 404 not found\r\n\r\n").NotFound);
}

namespace {

// Decodes In fed in pieces of Step bytes; the output, or "!error".
std::string DecodeInSteps(const std::string &In, size_t Step) {
  THttpChunkDecoder D;
  std::string Out;
  for (size_t Off = 0; Off < In.size() && !D.Done() && !D.Failed(); Off += Step) {
    std::string Piece = In.substr(Off, Step);
    auto R = D.Decode(Piece.data(), Piece.size());
    Out.append(Piece.data(), R.Payload);
  }
  if (D.Failed()) return "!" + D.Error();
  return D.Done() ? Out : "!unfinished";
}

const std::string WikiBody = "4;name=value\r\nWiki\r\n5 ; x\r\npedia\r\nE\r\n in\r\n\r\nchunks.\r\n0\r\nX-Sum: 1\r\nY: 2\r\n\r\n";

}  // namespace

TEST(HttpChunked, DecodesWhereverTheInputIsSplit) {
  for (size_t Step = 1; Step <= WikiBody.size(); ++Step)
    EXPECT_EQ(DecodeInSteps(WikiBody, Step), "Wikipedia in\r\n\r\nchunks.") << "step " << Step;
  EXPECT_EQ(DecodeInSteps("3\nabc\n0\n\n", 1), "abc");
}

TEST(HttpChunked, StopsAfterTheLastChunkAndLeavesTheRest) {
  std::string In = "3\r\nabc\r\n0\r\n\r\nHTTP/1.1";
  THttpChunkDecoder D;
  auto R = D.Decode(In.data(), In.size());
  EXPECT_TRUE(D.Done());
  EXPECT_EQ(std::string(In.data(), R.Payload), "abc");
  EXPECT_EQ(R.Consumed, In.size() - 8);
}

TEST(HttpChunked, MalformedFramingFails) {
  const char *Cases[] = {
      "zz\r\n",                   // not hex
      ";ext\r\n",                 // no size
      "3\r\nabcdef\r\n",          // data longer than its size
      "3\r\nabc\rX",              // broken line end
      "1000000000000000\r\n",     // size beyond any file
      "3 x\r\nabc\r\n0\r\n\r\n",  // junk after the size
  };
  for (const char *C : Cases) EXPECT_EQ(DecodeInSteps(C, 64).substr(0, 1), "!") << C;
  EXPECT_EQ(DecodeInSteps("1;" + std::string(5000, 'e') + "\r\nx\r\n0\r\n\r\n", 512), "!Chunk extension too long");
  EXPECT_EQ(DecodeInSteps("0\r\n" + std::string(70000, 't'), 4096), "!Chunked trailer too large");
  EXPECT_EQ(DecodeInSteps("3\r\nab", 64), "!unfinished");
}

TEST(HttpHeader, ContentEncodingSaysWhatToUndo) {
  const std::pair<const char *, THttpCoding> Cases[] = {
      {"", THttpCoding::Identity},        {"identity", THttpCoding::Identity}, {"GZIP", THttpCoding::Gzip},
      {"x-gzip", THttpCoding::Gzip},      {" deflate ", THttpCoding::Deflate}, {"identity, gzip", THttpCoding::Gzip},
      {"gzip,", THttpCoding::Gzip},       {"br", THttpCoding::Unknown},        {"gzip, gzip", THttpCoding::Unknown},
      {"gzip, br", THttpCoding::Unknown}, {"compress", THttpCoding::Unknown},  {"gzip;q=1", THttpCoding::Unknown},
  };
  for (const auto &[Value, Coding] : Cases) EXPECT_EQ(Http_BodyCoding(Value), Coding) << Value;
  // Several lines make one list, in their order.
  EXPECT_EQ(Http_ParseHeader("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\ncontent-encoding:  br \r\n\r\n").ContentEncoding,
            "gzip, br");
}

namespace {

struct TInflated {
  std::string Out;
  bool Ok = true;
};

TInflated InflateInSteps(THttpCoding Coding, const std::string &In, size_t Step) {
  THttpInflater I(Coding);
  TInflated R;
  for (size_t Off = 0; Off < In.size() && R.Ok; Off += Step)
    R.Ok = I.Feed(In.data() + Off, std::min(Step, In.size() - Off), [&](const char *P, size_t N) {
      R.Out.append(P, N);
      return true;
    });
  if (!R.Ok)
    R.Out = "!" + I.Error();
  else if (!I.Done())
    R.Out = "!unfinished";
  return R;
}

}  // namespace

TEST(HttpInflate, DecodesWhereverTheInputIsSplit) {
  std::string Text;
  for (int I = 0; I < 30000; ++I) Text += std::to_string(I * 7919 % 100003) + (I % 13 ? " " : "\n");
  const std::pair<THttpCoding, int> Forms[] = {
      {THttpCoding::Gzip, 31},
      {THttpCoding::Gzip, 15},  // a zlib stream sent as gzip
      {THttpCoding::Deflate, 15},
      {THttpCoding::Deflate, -15},
  };
  for (const auto &[Coding, Bits] : Forms) {
    const std::string In = ZCompress(Text, Bits);
    ASSERT_FALSE(In.empty());
    for (size_t Step : {size_t{1}, size_t{2}, size_t{7}, size_t{4096}, In.size()}) {
      TInflated R = InflateInSteps(Coding, In, Step);
      EXPECT_TRUE(R.Ok && R.Out == Text) << "bits " << Bits << ", step " << Step << ": " << R.Out.substr(0, 80);
    }
  }
}

TEST(HttpInflate, BadDataAndAFailedSinkAreToldApart) {
  EXPECT_EQ(InflateInSteps(THttpCoding::Gzip, "\x1f\x8b not gzip", 64).Out.substr(0, 21), "!Bad compressed body:");
  EXPECT_EQ(InflateInSteps(THttpCoding::Deflate, "\x78\x9c\xff\xff\xff", 64).Out.substr(0, 21), "!Bad compressed body:");
  const std::string Gz = ZCompress(std::string(200000, 'z'), 31);
  EXPECT_EQ(InflateInSteps(THttpCoding::Gzip, Gz.substr(0, Gz.size() - 4), 64).Out, "!unfinished");
  // After the stream's end the rest is ignored.
  EXPECT_EQ(InflateInSteps(THttpCoding::Gzip, Gz + "junk", 5).Out, std::string(200000, 'z'));

  THttpInflater I(THttpCoding::Gzip);
  EXPECT_FALSE(I.Feed(Gz.data(), Gz.size(), [](const char *, size_t) { return false; }));
  EXPECT_EQ(I.Error(), "");
}

TEST(HttpHeader, ReadsWhatKeepAliveRetriesAndResumingNeed) {
  struct TCase {
    const char *Header;
    bool KeepAlive;
    const char *ETag, *LastModified;
    bool RangesRefused;
  };
  const TCase Cases[] = {
      {"HTTP/1.1 200 OK\r\n", true, "", "", false},
      {"HTTP/1.1 200 OK\r\nConnection: Keep-Alive, Close\r\n", false, "", "", false},
      {"HTTP/1.0 200 OK\r\n", false, "", "", false},
      {"HTTP/1.0 200 OK\r\nconnection: keep-alive\r\n", true, "", "", false},
      {"HTTP/1.1 200 OK\r\nETag: \"v1\"\r\nAccept-Ranges: bytes\r\n", true, "\"v1\"", "", false},
      {"HTTP/1.1 200 OK\r\nETag: W/\"weak\"\r\nLast-Modified: Tue, 01 Aug 2023 10:00:00 GMT\r\n", true, "",
       "Tue, 01 Aug 2023 10:00:00 GMT", false},
      {"HTTP/1.1 200 OK\r\nAccept-Ranges: None\r\n", true, "", "", true},
  };
  for (const TCase &C : Cases) {
    THttpHeader H = Http_ParseHeader(std::string(C.Header) + "\r\n");
    EXPECT_EQ(H.Error, "") << C.Header;
    EXPECT_EQ(H.KeepAlive, C.KeepAlive) << C.Header;
    EXPECT_EQ(H.ETag, C.ETag) << C.Header;
    EXPECT_EQ(H.LastModified, C.LastModified) << C.Header;
    EXPECT_EQ(H.RangesRefused, C.RangesRefused) << C.Header;
  }
  THttpHeader H = Http_ParseHeader("HTTP/1.1 503 Busy\r\nRetry-After: 7\r\nSet-Cookie: a=1\r\nSet-Cookie: b=2\r\n\r\n");
  EXPECT_EQ(H.RetryAfter, "7");
  EXPECT_EQ(H.SetCookies, (std::vector<std::string>{"a=1", "b=2"}));
}

TEST(HttpHeader, RetryAfterIsSecondsOrADate) {
  const int64_t Now = 1690884000;  // Tue, 01 Aug 2023 10:00:00 GMT
  const std::pair<const char *, int64_t> Cases[] = {
      {"120", 120},
      {" 0 ", 0},
      {"Tue, 01 Aug 2023 10:00:30 GMT", 30},
      {"Tue, 01 Aug 2023 09:00:00 GMT", 0},  // past: at once
      {"Wed, 02 Aug 2023 10:00:00 GMT", 86400},
      {"-5", -1},
      {"soon", -1},
      {"Tue, 01 Foo 2023 10:00:30 GMT", -1},
      {"Tue, 32 Aug 2023 10:00:30 GMT", -1},
      {"Tuesday, 01-Aug-23 10:00:30 GMT", -1},
      {"", -1},
  };
  for (const auto &[V, Want] : Cases) EXPECT_EQ(Http_RetryAfterSec(V, Now), Want) << V;
}

TEST(HttpHeader, ContentRangeOfAPartialAnswer) {
  int64_t F = 0, L = 0, T = 0;
  EXPECT_TRUE(Http_ParseContentRange("bytes 100-199/1000", F, L, T));
  EXPECT_EQ(F, 100);
  EXPECT_EQ(L, 199);
  EXPECT_EQ(T, 1000);
  for (const char *Bad :
       {"bytes 100-199/*", "bytes */1000", "items 1-2/3", "bytes 200-100/1000", "bytes 0-1000/1000", "bytes 1-2"})
    EXPECT_FALSE(Http_ParseContentRange(Bad, F, L, T)) << Bad;
}
