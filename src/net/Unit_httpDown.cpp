#include "net/Unit_httpDown.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "net/uNetConn.h"
#include "platform/uUrlRef.h"
#include "pub/Unit_Pub.h"
#include "pub/uSafeFile.h"

namespace {

// The body is received in pieces of this size and each piece written
// straight to the file. Measured on loopback against nginx: 32 KiB pieces
// are clearly slower, 64 to 256 KiB about equal and the steadiest; larger
// ones gain nothing. (Splicing socket to file through a pipe was tried: no
// faster here, and far less steady.)
constexpr size_t RecvPieceBytes = 256 * 1024;

// Redirects followed in a row; one more fails the download.
constexpr int MaxRedirects = 11;
// A header, however it trickles in, must be complete within this many times
// the caller's time-out, counted from the start of the request.
constexpr int HeaderDeadlineFactor = 3;

const char *const UserAgent = "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; .NET CLR 1.0.3705)";

// A server's or a page's text must not carry control bytes into a request
// line or a log line.
std::string Printable(const std::string &S) {
  std::string Out;
  for (char C : S.substr(0, 200)) Out += (static_cast<unsigned char>(C) < 0x20 || C == 0x7f) ? '?' : C;
  return Out;
}

std::string StripControls(const std::string &S) {
  std::string Out;
  for (char C : S)
    if (static_cast<unsigned char>(C) >= 0x20 && C != 0x7f) Out += C;
  return Out;
}

// Blanks, control bytes and bytes above ASCII in a path are escaped as a
// browser does, so that a URL can never break the request line.
std::string EscapePath(const std::string &S) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string Out;
  for (char C : S) {
    auto U = static_cast<unsigned char>(C);
    if (U <= 0x20 || U >= 0x7f) {
      Out += '%';
      Out += Hex[U >> 4];
      Out += Hex[U & 15];
    } else {
      Out += C;
    }
  }
  return Out;
}

bool HasScheme(const std::string &Url) {
  size_t P = Url.find("://");
  if (P == std::string::npos || P == 0) return false;
  for (size_t I = 0; I < P; ++I) {
    char C = Url[I];
    if (!std::isalnum(static_cast<unsigned char>(C)) && C != '+' && C != '-' && C != '.') return false;
  }
  return true;
}

// The host text as it goes on the wire: without a user name and password,
// without a query or fragment that follows a host with no path.
std::string WireHost(const std::string &Host) {
  std::string H = Host.substr(0, Host.find_first_of("?#"));
  size_t At = H.rfind('@');
  return At == std::string::npos ? H : H.substr(At + 1);
}

std::string CookieOrigin(const std::string &Url) { return Url_Split(Url).Scheme + "://" + LowerCase(WireHost(HostOf(Url))); }

// The text for a file that could not be written: a full disk said plainly,
// any other failure with the system's reason.
std::string FileFailText(const std::string &What, const std::string &Path, int Err) {
  if (Err == ENOSPC || Err == EDQUOT) return What + Path + "; the disk is full";
  return What + Path + "; System Error: " + std::strerror(Err);
}

// A file that is itself gzip data, served with its compression named as the
// content coding, is kept as it came, as browsers keep it.
bool IsGzipFileName(const std::string &Path) {
  const std::string Ext = LowerCase(Fn_ExtractExt(Path));
  return Ext == ".gz" || Ext == ".tgz" || Ext == ".svgz";
}

}  // namespace

bool CutPrefix(std::string &S, const std::string &Prefix) {
  if (S.size() < Prefix.size() || !SameText(S.substr(0, Prefix.size()), Prefix)) return false;
  S.erase(0, Prefix.size());
  return true;
}

namespace {
std::string CutScheme(const std::string &Url) {
  std::string S = Trim(Url);
  CutPrefix(S, "http://");
  CutPrefix(S, "https://");
  CutPrefix(S, "ftp://");
  return S;
}
}  // namespace

std::string HostOf(const std::string &Url) {
  std::string S = CutScheme(Url);
  return S.substr(0, S.find('/'));
}

std::string PathOf(const std::string &Url) {
  std::string S = CutScheme(Url);
  size_t P = S.find('/');
  return P == std::string::npos ? std::string() : S.substr(P + 1);
}

bool SplitHostPort(const std::string &Host, uint16_t DefPort, std::string &Name, uint16_t &Port) {
  std::string Rest;
  if (!Host.empty() && Host[0] == '[') {
    size_t E = Host.find(']');
    if (E == std::string::npos) return false;
    Name = Host.substr(1, E - 1);
    Rest = Host.substr(E + 1);
  } else {
    size_t C = Host.find(':');
    Name = Host.substr(0, C);
    Rest = C == std::string::npos ? std::string() : Host.substr(C);
  }
  Port = DefPort;
  if (Rest.empty()) return true;
  if (Rest[0] != ':' || Rest.size() < 2 || Rest.size() > 6) return false;
  uint32_t N = 0;
  for (size_t I = 1; I < Rest.size(); ++I) {
    if (Rest[I] < '0' || Rest[I] > '9') return false;
    N = N * 10 + static_cast<uint32_t>(Rest[I] - '0');
  }
  if (N == 0 || N > 65535) return false;
  Port = static_cast<uint16_t>(N);
  return true;
}

THttpDownFile::THttpDownFile() : FBuf(RecvPieceBytes) {
  FWakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (FWakeFd < 0) throw EMossError(Format("Can not create the downloader's wake-up event: %s", {std::strerror(errno)}));
  FSocket = std::make_unique<TNetConn>(FWakeFd);
}

THttpDownFile::~THttpDownFile() {
  FSocket.reset();
  if (FTlsCtx) NetConn_FreeTlsCtx(FTlsCtx);
  ::close(FWakeFd);
}

std::string THttpDownFile::StatusText() const {
  std::lock_guard<std::mutex> L(FTextMx);
  return FStatusText;
}

std::string THttpDownFile::ErrorText() const {
  std::lock_guard<std::mutex> L(FTextMx);
  return FErrorText;
}

void THttpDownFile::SetStatus(const std::string &S) {
  std::lock_guard<std::mutex> L(FTextMx);
  FStatusText = S;
}

void THttpDownFile::SetError(const std::string &S) {
  std::lock_guard<std::mutex> L(FTextMx);
  FErrorText = S;
}

void THttpDownFile::SetCaFile(const std::string &CaFile) {
  FCaFile = CaFile;
  if (FTlsCtx) NetConn_FreeTlsCtx(FTlsCtx);
  FTlsCtx = nullptr;  // made again, with the new store, by the next https download
}

void THttpDownFile::StopDown() {
  FStopFlag = true;
  uint64_t One = 1;
  (void)!::write(FWakeFd, &One, sizeof One);
  FSocket->Shutdown();
}

void THttpDownFile::ThrowStop() {
  FFlags |= hdUserStop;
  throw EMossError("User stop it");
}

bool THttpDownFile::DownLoad(const std::string &AUrl, const std::string &ATarget, const std::string &ARefer,
                             const std::string &ACookie, int TimeoutSec) {
  FIsBusy = true;
  bool Ok = false;
  try {
    FUrl = Trim(AUrl);
    FTargetFile = ATarget;
    FReferer = Trim(ARefer);
    FCookie = Trim(ACookie);
    // Bounded so that the product stays in range; a time-out of nothing
    // would fail every file.
    FTimeoutMs = Int_Max(1, Int_Min(TimeoutSec, 86400)) * 1000;
    FLocation.clear();
    FFlags = hdInProgress;
    FRedirects = 0;
    FStopFlag = false;
    // A stop that came after the flag was cleared finds the event set again.
    uint64_t Drain;
    (void)!::read(FWakeFd, &Drain, sizeof Drain);
    FHost = HostOf(FUrl);
    SetStatus("Init...");
    SetError("");
    FRequest.clear();
    FHeaderLines.clear();
    FHdr = THttpHeader();
    FCoding = THttpCoding::Identity;
    FContentLen = -1;
    FContentType.clear();
    FCurUrl = HasScheme(FUrl) ? FUrl : "http://" + FUrl;
    FCookieOrigin = CookieOrigin(FCurUrl);

    SendRequest();
    Ok = RecvBody();
  } catch (...) {
    SetError(Format("Can not download url : %s; System Error: %s", {AUrl, ExceptMsg(std::current_exception())}));
    Ok = false;
  }
  FSocket->Close();
  if (!Ok) {
    // Whatever broke while a stop was asked for broke because of it.
    if (FStopFlag) FFlags |= hdUserStop;
    if (FFlags & hdUserStop) SetError("User stop !");
  }
  FIsBusy = false;
  return Ok;
}

void THttpDownFile::SendRequest() {
  for (;;) {
    FSocket->Close();
    BuildRequest();
    FHdrDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(int64_t{FTimeoutMs} * HeaderDeadlineFactor);
    OpenConn();
    RecvHeader();
    ParseHeader();
    // Only a redirect sends us elsewhere; a Location on any other answer
    // (a 201, say) names something else than what we asked for.
    if (FHdr.Status < 300 || FHdr.Status > 399 || FLocation.empty()) break;
    if (FRedirects >= MaxRedirects)
      throw EMossError(Format("Too many redirects (more than %d), the last to %s", {MaxRedirects, Printable(FLocation)}));
    // Relative, absolute-path and scheme-relative targets count from the
    // URL that answered; an absolute one may change scheme, host and port.
    FCurUrl = Url_Resolve(FCurUrl, FLocation);
    FHost = HostOf(FCurUrl);
    ++FRedirects;
  }
  // An error page is not the file that was asked for.
  if (FHdr.Status >= 400 || (FFlags & hdNotFound)) throw EMossError("The server answered: " + Printable(FHdr.Lines[0]));
  // We ask for no compression; a server that sends it anyway gets it undone
  // where we can, and a clear refusal where we can not.
  FCoding = Http_BodyCoding(FHdr.ContentEncoding);
  if (FCoding == THttpCoding::Unknown)
    throw EMossError("The server sent the body compressed as \"" + Printable(FHdr.ContentEncoding) +
                     "\", which this program can not undo");
  if (FCoding == THttpCoding::Gzip && IsGzipFileName(FTargetFile)) FCoding = THttpCoding::Identity;
}

void THttpDownFile::BuildRequest() {
  std::string Path = PathOf(FCurUrl);
  Path = EscapePath(Path.substr(0, Path.find('#')));
  std::vector<std::string> Lines;
  Lines.push_back(Format("GET /%s HTTP/1.1", {Path}));
  Lines.push_back(Format("Host: %s", {WireHost(FHost)}));
  Lines.push_back("Accept: */*");
  // Each hop of a redirect gets what a browser would send to it: a page's
  // full address only to its own origin.
  if (std::string Ref = Url_Referer(FReferer, FCurUrl); !Ref.empty())
    Lines.push_back(Format("Referer: %s", {StripControls(Ref)}));
  Lines.push_back(UserAgent);
  Lines.push_back("Pragma: no-cache");
  Lines.push_back("Cache-Control: no-cache");
  Lines.push_back("Connection: close");
  // The cookie belongs to the site it was given for: a redirect elsewhere,
  // or from https down to http, must not carry it along.
  if (!FCookie.empty() && CookieOrigin(FCurUrl) == FCookieOrigin) Lines.push_back(Format("Cookie: %s", {StripControls(FCookie)}));
  FRequest.clear();
  for (const std::string &L : Lines) {
    FRequest += L + "\r\n";
    if (FTrace) FTrace('>', L);
  }
  FRequest += "\r\n";
}

void THttpDownFile::OpenConn() {
  std::string Scheme = Url_Split(FCurUrl).Scheme;
  if (Scheme != "http" && Scheme != "https") throw EMossError("Unsupported URL scheme: " + Printable(Scheme));
  const bool Tls = Scheme == "https";
  std::string Host = WireHost(FHost), Name;
  uint16_t Port = 0;
  bool HostOk = SplitHostPort(Host, Tls ? 443 : 80, Name, Port) && !Name.empty();
  for (char C : Host) HostOk = HostOk && static_cast<unsigned char>(C) > 0x20 && C != 0x7f;
  if (!HostOk) throw EMossError("Bad host in URL: " + Printable(FHost));

  if (FStopFlag) ThrowStop();
  TNetConn::TIo R = FSocket->Connect(Name, Port, HdrWaitMs());
  if (R == TNetConn::TIo::Stopped) ThrowStop();
  if (Tls) {
    if (!FTlsCtx) FTlsCtx = NetConn_NewTlsCtx(FCaFile);
    R = FSocket->StartTls(FTlsCtx, Name, HdrWaitMs());
    if (R == TNetConn::TIo::Stopped) ThrowStop();
    if (R != TNetConn::TIo::Ready) throw EMossError("TLS handshake TIMEOUT!");
  }
  R = FSocket->SendAll(FRequest, HdrWaitMs());
  if (R == TNetConn::TIo::Stopped) ThrowStop();
  if (R != TNetConn::TIo::Ready) throw EMossError("Send request TIMEOUT!");
}

int THttpDownFile::HdrWaitMs() const {
  auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(FHdrDeadline - std::chrono::steady_clock::now()).count();
  return static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(FTimeoutMs, Left)));
}

void THttpDownFile::RecvHeader() {
  SetStatus("Downloading http header...");
  FBufLen = 0;
  size_t Scan = 0;  // where the search for the blank line goes on
  for (;;) {
    size_t End = Http_HeaderEnd(std::string_view(FBuf.data(), FBufLen), &Scan);
    if (End > HttpMaxHeaderBytes || (End == 0 && FBufLen >= HttpMaxHeaderBytes))
      throw EMossError(Format("The http header is larger than %d bytes", {HttpMaxHeaderBytes}));
    if (End > 0) {
      FHdr = Http_ParseHeader(std::string_view(FBuf.data(), End));
      // The bytes after the blank line are the body's (or the next header's).
      std::memmove(FBuf.data(), FBuf.data() + End, FBufLen - End);
      FBufLen -= End;
      Scan = 0;
      // An interim answer ("100 Continue") is followed by the real one.
      if (FHdr.Error.empty() && FHdr.Status < 200 && FHdr.Status != 101) continue;
      FHeaderLines = FHdr.Lines;
      return;
    }
    if (FStopFlag) ThrowStop();
    // A server that keeps sending, however slowly, never makes one wait
    // time out; only the deadline ends it.
    const int WaitMs = HdrWaitMs();
    size_t Got = 0;
    TNetConn::TIo R =
        WaitMs <= 0 ? TNetConn::TIo::Timeout : FSocket->Recv(FBuf.data() + FBufLen, FBuf.size() - FBufLen, WaitMs, Got);
    if (FStopFlag || R == TNetConn::TIo::Stopped) {
      FHeaderLines.clear();
      ThrowStop();
    }
    if (R == TNetConn::TIo::Timeout) {
      FHeaderLines.clear();
      FFlags |= hdHdrTimeout;
      if (std::memchr(FBuf.data(), '\n', FBufLen) == nullptr) FFlags |= hdNoHeader;
      if (WaitMs < FTimeoutMs)
        throw EMossError(Format("No complete http header within %d s, download TIMEOUT!",
                                {int64_t{FTimeoutMs} * HeaderDeadlineFactor / 1000}));
      throw EMossError("Download header TIMEOUT!");
    }
    if (R == TNetConn::TIo::Closed) {
      if (FBufLen == 0) {
        FFlags |= hdNoHeader;
        throw EMossError("The server closed the connection without sending a header");
      }
      throw EMossError("The server closed the connection within the http header");
    }
    FBufLen += Got;
  }
}

void THttpDownFile::ParseHeader() {
  if (FTrace)
    for (const std::string &L : FHdr.Lines) FTrace('<', L);
  if (FHdr.Lines.empty()) FFlags |= hdNoHeader;
  if (FHdr.NotFound) FFlags |= hdNotFound;
  FTotalBytes = 0;
  FContentLen = -1;
  FContentType.clear();
  FLocation.clear();
  if (!FHdr.Error.empty()) throw EMossError(FHdr.Error);
  if (FHdr.HasLocation) {
    FLocation = FHdr.Location;
    FFlags |= hdLocation;
  }
  FContentLen = FHdr.ContentLen;
  if (FContentLen >= 0) FTotalBytes = FContentLen;
  FContentType = FHdr.ContentType;
}

bool THttpDownFile::RecvBody() {
  // The body goes to a hidden file beside the target and takes the target's
  // name only once it is complete, so the target never holds a partial file
  // and an earlier file there is never lost.
  TSafeFile File;
  if (!File.Create(FTargetFile)) {
    SetError(errno == ENOSPC || errno == EDQUOT ? FileFailText("Can not create file: ", FTargetFile, errno)
                                                : "Can not create file: " + FTargetFile);
    return false;
  }
  SetStatus("Downloading file...");
  const bool Chunked = FHdr.Chunked;
  const int64_t Len = Chunked ? -1 : FContentLen;
  const int64_t IdleMs64 = std::max<int64_t>(int64_t{FTimeoutMs} * 3, FIdleFloorMs);
  const int IdleMs = static_cast<int>(std::min<int64_t>(IdleMs64, INT32_MAX));
  THttpChunkDecoder Dec;
  std::unique_ptr<THttpInflater> Inflater;
  if (FCoding != THttpCoding::Identity) Inflater = std::make_unique<THttpInflater>(FCoding);
  int WriteErr = 0;
  auto Write = [&](const char *P, size_t N) {
    if (File.Write(P, N)) return true;
    WriteErr = errno;
    return false;
  };
  int64_t Received = 0;
  for (;;) {
    if (FStopFlag) break;
    if (Len >= 0 && Received >= Len) break;
    size_t Got = 0;
    if (FBufLen > 0) {
      Got = FBufLen;
      FBufLen = 0;
    } else {
      size_t Want = FBuf.size();
      if (Len >= 0 && static_cast<uint64_t>(Len - Received) < Want) Want = static_cast<size_t>(Len - Received);
      TNetConn::TIo R;
      try {
        R = FSocket->Recv(FBuf.data(), Want, IdleMs, Got);
      } catch (const EMossError &E) {
        if (FStopFlag) break;
        SetError("Error in downloading file : " + FTargetFile + "; System Error: " + E.what());
        return false;
      }
      if (R == TNetConn::TIo::Stopped) break;
      if (R == TNetConn::TIo::Closed) {
        // Without a length, only the TLS goodbye tells the end of the body
        // from a connection cut short.
        if (FSocket->TlsCut() && Len < 0 && !Chunked)
          throw EMossError("The server closed the connection without a TLS close_notify, so the body may be incomplete");
        break;
      }
      if (R == TNetConn::TIo::Timeout) throw EMossError(Format("No data for %d s, download TIMEOUT!", {IdleMs / 1000}));
    }
    // Bytes past the announced length are not part of the file.
    if (Len >= 0 && static_cast<uint64_t>(Len - Received) < Got) Got = static_cast<size_t>(Len - Received);
    size_t Payload = Got;
    if (Chunked) {
      Payload = Dec.Decode(FBuf.data(), Got).Payload;
      if (Dec.Failed()) throw EMossError("Bad chunked body: " + Dec.Error());
    }
    if (Inflater ? !Inflater->Feed(FBuf.data(), Payload, Write) : !Write(FBuf.data(), Payload)) {
      if (Inflater && !Inflater->Error().empty()) throw EMossError(Inflater->Error());
      SetError(FileFailText("Error in downloading file : ", FTargetFile, WriteErr));
      return false;
    }
    Received += static_cast<int64_t>(Payload);
    FRecvBytes = Received;
    if (Chunked && Dec.Done()) break;
  }
  if (!File.Close()) {
    SetError(FileFailText("Can not close file: ", FTargetFile, errno));
    return false;
  }
  FSocket->Close();
  if (FStopFlag) {
    FFlags &= static_cast<uint8_t>(~hdInProgress);
    FFlags |= hdUserStop;
    return false;
  }
  if (Chunked ? !Dec.Done() : !((Len == -1 && Received > 0) || (Len >= 0 && Received >= Len))) {
    if (Chunked) throw EMossError(Format("The connection closed within the chunked body, after %d bytes", {Received}));
    if (Len >= 0) throw EMossError(Format("The connection closed after %d of %d bytes", {Received, Len}));
    throw EMossError("The server sent an empty body");
  }
  if (Inflater && !Inflater->Empty() && !Inflater->Done()) throw EMossError("The compressed body ended early");
  FFlags &= static_cast<uint8_t>(~hdInProgress);
  FFlags |= hdComplete;
  if (!File.Commit(TSafeFile::TCommit::Replace)) {
    SetError("Can not create file: " + FTargetFile);
    return false;
  }
  return true;
}
