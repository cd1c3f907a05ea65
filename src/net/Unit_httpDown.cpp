#include "net/Unit_httpDown.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "net/uConnPool.h"
#include "net/uCookieJar.h"
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

// The body's file while it downloads: a hidden file beside the target that
// takes the target's name only once the body is complete, so the target
// never holds a partial file and an earlier file there is never lost. It
// lives across the tries of one download, so a later try can go on where
// an earlier one was cut off.
class THttpDownFile::TBodyFile {
 public:
  bool Create(const std::string &Target) {
    FSize = 0;
    return FFile.Create(Target);
  }
  bool Write(const char *P, size_t N) {
    if (!FFile.Write(P, N)) return false;
    FSize += static_cast<int64_t>(N);
    return true;
  }
  int64_t Size() const { return FSize; }
  bool Created() const { return FFile.IsOpen(); }
  // Empties the file for a body that starts over.
  bool Restart() {
    FSize = 0;
    return FFile.Truncate();
  }
  bool Close() { return FFile.Close(); }
  bool Commit() { return FFile.Commit(TSafeFile::TCommit::Replace); }

 private:
  TSafeFile FFile;
  int64_t FSize = 0;
};

// What a later try needs to ask for the rest of a body instead of all of it.
struct THttpDownFile::TResume {
  bool Possible = false;  // the first answer was a large file with a validator
  std::string Validator;  // its strong ETag, else its Last-Modified
  int64_t Total = -1;     // its whole length
  int64_t Written = 0;    // bytes of it in the body file
};

// Where a request goes: checked once per hop.
struct THttpDownFile::TTarget {
  bool Tls = false;
  std::string Name;
  uint16_t Port = 0;
  std::string Key;
};

namespace {

// A refusal that is not the network's: the final text is the reason alone.
class EWrongKind : public EMossError {
 public:
  using EMossError::EMossError;
};

// Media types of a web page.
bool IsWebPageType(const std::string &ContentType) {
  const std::string T = LowerCase(Trim(ContentType.substr(0, ContentType.find(';'))));
  return T == "text/html" || T == "application/xhtml+xml";
}

// Whether the first bytes of a body are a web page, as far as they go:
// 1 yes, 0 no, -1 not known yet. No picture or movie format starts with
// one of these tags.
int LooksLikeWebPage(const std::string &Head, bool Complete) {
  static const char *const Tags[] = {"<!doctype html", "<html", "<head", "<body", "<title", "<script"};
  size_t I = Head.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (I < Head.size() && (Head[I] == ' ' || Head[I] == '\t' || Head[I] == '\r' || Head[I] == '\n')) ++I;
  const std::string Rest = LowerCase(Head.substr(I));
  if (Rest.empty()) return Complete ? 0 : -1;
  bool Open = false;
  for (const char *Tag : Tags) {
    const std::string T = Tag;
    if (Rest.size() > T.size()) {
      const char After = Rest[T.size()];
      if (Rest.compare(0, T.size(), T) == 0 && (After == '>' || After == ' ' || After == '\t' || After == '\r' || After == '\n'))
        return 1;
    } else if (T.compare(0, Rest.size(), Rest) == 0) {
      Open = true;
    }
  }
  return Open && !Complete ? -1 : 0;
}

bool IsTransientStatus(int Status) { return Status == 408 || Status == 429 || (Status >= 500 && Status <= 599); }

}  // namespace

THttpDownFile::THttpDownFile() : FPool(std::make_shared<TConnPool>()), FBuf(RecvPieceBytes) {
  FWakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (FWakeFd < 0) throw EMossError(Format("Can not create the downloader's wake-up event: %s", {std::strerror(errno)}));
}

THttpDownFile::~THttpDownFile() {
  SetConn(nullptr);
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

void THttpDownFile::SetCaFile(const std::string &CaFile) { FPool->SetCaFile(CaFile); }

void THttpDownFile::SetPool(std::shared_ptr<TConnPool> Pool) {
  SetConn(nullptr);
  FPool = Pool ? std::move(Pool) : std::make_shared<TConnPool>();
}

void THttpDownFile::SetUserAgent(const std::string &Ua) { FUserAgent = Trim(StripControls(Ua)); }

void THttpDownFile::SetRetries(int Count, int UnitMs) {
  FRetries = Int_Max(0, Int_Min(Count, 10));
  FRetryUnitMs = Int_Max(0, Int_Min(UnitMs, 60000));
}

void THttpDownFile::StopDown() {
  FStopFlag = true;
  uint64_t One = 1;
  (void)!::write(FWakeFd, &One, sizeof One);
  std::lock_guard<std::mutex> L(FConnMx);
  if (FSocket) FSocket->Shutdown();
}

void THttpDownFile::ThrowStop() {
  FFlags |= hdUserStop;
  throw EMossError("User stop it");
}

void THttpDownFile::SetConn(std::unique_ptr<TNetConn> C) {
  std::unique_ptr<TNetConn> Old;
  {
    std::lock_guard<std::mutex> L(FConnMx);
    Old = std::move(FSocket);
    FSocket = std::move(C);
  }
  FConnReusable = false;
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
    // A stop that came after the flag was cleared finds the event set again;
    // one given by the owner before this download began is kept.
    uint64_t Drain;
    (void)!::read(FWakeFd, &Drain, sizeof Drain);
    if (FCancel && FCancel->load()) FStopFlag = true;
    FHost = HostOf(FUrl);
    SetStatus("Init...");
    SetError("");
    FRequest.clear();
    FHeaderLines.clear();
    FHdr = THttpHeader();
    FCoding = THttpCoding::Identity;
    FContentLen = -1;
    FContentType.clear();
    FRetryPauses.clear();
    const std::string StartUrl = HasScheme(FUrl) ? FUrl : "http://" + FUrl;
    FCookieOrigin = CookieOrigin(StartUrl);

    TBodyFile File;
    TResume Res;
    for (int Attempt = 0;; ++Attempt) {
      try {
        // Every try starts at the address asked for: a redirect may have
        // pointed somewhere only for a moment.
        FCurUrl = StartUrl;
        FHost = HostOf(FUrl);
        FRedirects = 0;
        SendRequest(Res);
        Ok = RecvBody(File, Res);
        break;
      } catch (const ENetTransient &E) {
        SetConn(nullptr);
        if (FStopFlag || Attempt >= FRetries) throw;
        const int64_t Asked = E.RetryAfterSec;
        if (Asked > MaxRetryAfterSec) throw EMossError(Format("%s; the server asks to try again in %d s", {E.what(), Asked}));
        const int64_t Wait = Asked >= 0 ? Asked : int64_t{1} << Attempt;
        FRetryPauses.push_back(Wait);
        SetStatus(Format("Retry %d of %d in %d s: %s", {Attempt + 1, FRetries, Wait, E.what()}));
        if (!Pause(Wait)) ThrowStop();
      }
    }
  } catch (const EWrongKind &E) {
    SetError(E.what());
    Ok = false;
  } catch (...) {
    SetError(Format("Can not download url : %s; System Error: %s", {AUrl, ExceptMsg(std::current_exception())}));
    Ok = false;
  }
  ReleaseConn();
  if (!Ok) {
    // Whatever broke while a stop was asked for broke because of it.
    if (FStopFlag) FFlags |= hdUserStop;
    if (FFlags & hdUserStop) SetError("User stop !");
  }
  FIsBusy = false;
  return Ok;
}

bool THttpDownFile::Pause(int64_t Units) {
  using Clock = std::chrono::steady_clock;
  const auto End = Clock::now() + std::chrono::milliseconds(Units * FRetryUnitMs);
  for (;;) {
    if (FStopFlag) return false;
    const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(End - Clock::now()).count();
    if (Left <= 0) return true;
    pollfd P{FWakeFd, POLLIN, 0};
    if (::poll(&P, 1, static_cast<int>(std::min<int64_t>(Left, INT32_MAX))) > 0) return false;
  }
}

void THttpDownFile::SendRequest(const TResume &Res) {
  for (;;) {
    BuildRequest(Res);
    FHdrDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(int64_t{FTimeoutMs} * HeaderDeadlineFactor);
    Exchange();
    ParseHeader();
    // Only a redirect sends us elsewhere; a Location on any other answer
    // (a 201, say) names something else than what we asked for.
    if (FHdr.Status < 300 || FHdr.Status > 399) break;
    // A redirect that does not say where to (or a 304 to a question we never
    // asked) carries no file: its body is a note about the move at most.
    if (FLocation.empty())
      throw EMossError("The server answered: " + Printable(FHdr.Lines[0]) + ", without saying where the file is");
    if (FRedirects >= MaxRedirects)
      throw EMossError(Format("Too many redirects (more than %d), the last to %s", {MaxRedirects, Printable(FLocation)}));
    // The redirect's own short body is read past, so that its connection
    // can carry the next request.
    FConnReusable = DrainBody();
    // Relative, absolute-path and scheme-relative targets count from the
    // URL that answered; an absolute one may change scheme, host and port.
    FCurUrl = Url_Resolve(FCurUrl, FLocation);
    FHost = HostOf(FCurUrl);
    ++FRedirects;
  }
  // An error page is not the file that was asked for; a busy or failing
  // server may answer properly a little later.
  if (FHdr.Status >= 400 || (FFlags & hdNotFound)) {
    const std::string Msg = "The server answered: " + Printable(FHdr.Lines[0]);
    if (!IsTransientStatus(FHdr.Status)) throw EMossError(Msg);
    throw ENetTransient(Msg, FHdr.RetryAfter.empty() ? -1 : Http_RetryAfterSec(FHdr.RetryAfter, std::time(nullptr)));
  }
  // We ask for no compression; a server that sends it anyway gets it undone
  // where we can, and a clear refusal where we can not.
  FCoding = Http_BodyCoding(FHdr.ContentEncoding);
  if (FCoding == THttpCoding::Unknown)
    throw EMossError("The server sent the body compressed as \"" + Printable(FHdr.ContentEncoding) +
                     "\", which this program can not undo");
  if (FCoding == THttpCoding::Gzip && IsGzipFileName(FTargetFile)) FCoding = THttpCoding::Identity;
  if (FRefuseWebPage && IsWebPageType(FHdr.ContentType)) throw EWrongKind(WebPageText);
}

void THttpDownFile::BuildRequest(const TResume &Res) {
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
  Lines.push_back(FUserAgent.empty() ? std::string(UserAgent) : "User-Agent: " + FUserAgent);
  Lines.push_back("Pragma: no-cache");
  Lines.push_back("Cache-Control: no-cache");
  Lines.push_back("Connection: keep-alive");
  // The cookie given with the call belongs to the site it was given for: a
  // redirect elsewhere, or from https down to http, must not carry it
  // along. The browser's cookies go wherever the browser would send them.
  std::string Cookie;
  if (!FCookie.empty() && CookieOrigin(FCurUrl) == FCookieOrigin) Cookie = StripControls(FCookie);
  if (FJar) {
    const double Now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    if (std::string J = FJar->HeaderFor(FCurUrl, Now); !J.empty()) Cookie += (Cookie.empty() ? "" : "; ") + J;
  }
  const size_t CookieLine = Cookie.empty() ? Lines.size() + 1 : Lines.size();
  if (!Cookie.empty()) Lines.push_back("Cookie: " + Cookie);
  // The rest of a file a broken connection cut short, only if it is still
  // the same file; a changed one comes whole.
  if (Res.Possible && Res.Written > 0) {
    Lines.push_back(Format("Range: bytes=%d-", {Res.Written}));
    Lines.push_back("If-Range: " + StripControls(Res.Validator));
  }
  FRequest.clear();
  for (size_t I = 0; I < Lines.size(); ++I) {
    FRequest += Lines[I] + "\r\n";
    if (FTrace) FTrace('>', I == CookieLine ? "Cookie: " + Cookie_Masked(Cookie) : Lines[I]);
  }
  FRequest += "\r\n";
}

THttpDownFile::TTarget THttpDownFile::Target() const {
  const std::string Scheme = Url_Split(FCurUrl).Scheme;
  if (Scheme != "http" && Scheme != "https") throw EMossError("Unsupported URL scheme: " + Printable(Scheme));
  TTarget T;
  T.Tls = Scheme == "https";
  const std::string Host = WireHost(FHost);
  bool HostOk = SplitHostPort(Host, T.Tls ? 443 : 80, T.Name, T.Port) && !T.Name.empty();
  for (char C : Host) HostOk = HostOk && static_cast<unsigned char>(C) > 0x20 && C != 0x7f;
  if (!HostOk) throw EMossError("Bad host in URL: " + Printable(FHost));
  T.Name = LowerCase(T.Name);
  T.Key = TConnPool::Key(T.Tls, T.Name, T.Port);
  return T;
}

void THttpDownFile::Exchange() {
  const TTarget T = Target();
  for (bool Fresh = false;; Fresh = true) {
    const bool Reused = AcquireConn(T);
    try {
      if (FStopFlag) ThrowStop();
      TNetConn::TIo R = FSocket->SendAll(FRequest, HdrWaitMs());
      if (R == TNetConn::TIo::Stopped) ThrowStop();
      if (R != TNetConn::TIo::Ready) throw ENetTransient("Send request TIMEOUT!");
      RecvHeader();
      return;
    } catch (const ENetTransient &) {
      // A kept connection that the server closed while it lay idle is
      // replaced without a word; a fresh one that fails is a failure.
      if (!Reused || Fresh || FBufLen > 0 || FStopFlag) throw;
      SetConn(nullptr);
    }
  }
}

bool THttpDownFile::AcquireConn(const TTarget &T) {
  // The connection of the previous hop serves the next one to the same place.
  if (FSocket && FConnReusable && FConnKey == T.Key && FSocket->IdleAlive()) {
    FConnReusable = false;
    return true;
  }
  ReleaseConn();
  std::unique_ptr<TNetConn> C = FPool->Take(T.Key);
  const bool Reused = C != nullptr;
  if (C)
    C->SetWakeFd(FWakeFd);
  else
    C = std::make_unique<TNetConn>(FWakeFd);
  SetConn(std::move(C));
  FConnKey = T.Key;
  if (!Reused) Connect(T);
  return Reused;
}

void THttpDownFile::Connect(const TTarget &T) {
  if (FStopFlag) ThrowStop();
  TNetConn::TIo R = FSocket->Connect(T.Name, T.Port, HdrWaitMs());
  if (R == TNetConn::TIo::Stopped) ThrowStop();
  if (R == TNetConn::TIo::Timeout) throw ENetTransient(Format("Can not connect to %s port %d: TIMEOUT!", {T.Name, T.Port}));
  if (!T.Tls) return;
  SSL_SESSION *Session = FPool->Session(T.Key);
  try {
    R = FSocket->StartTls(FPool->TlsCtx(), T.Name, HdrWaitMs(), Session);
  } catch (...) {
    NetConn_FreeSession(Session);
    throw;
  }
  NetConn_FreeSession(Session);
  if (R == TNetConn::TIo::Stopped) ThrowStop();
  if (R != TNetConn::TIo::Ready) throw ENetTransient("TLS handshake TIMEOUT!");
}

void THttpDownFile::ReleaseConn() {
  std::unique_ptr<TNetConn> C;
  {
    std::lock_guard<std::mutex> L(FConnMx);
    C = std::move(FSocket);
  }
  if (!C) return;
  if (FConnReusable && C->IsOpen())
    FPool->Give(FConnKey, std::move(C));
  else if (C->IsOpen())
    FPool->KeepSession(FConnKey, *C);
  FConnReusable = false;
}

bool THttpDownFile::DrainBody() {
  constexpr int64_t MaxDrain = 64 * 1024;
  if (!FHdr.KeepAlive) return false;
  const bool NoBody = FHdr.Status == 204 || FHdr.Status == 304;
  if (!NoBody && !FHdr.Chunked && (FHdr.ContentLen < 0 || FHdr.ContentLen > MaxDrain)) return false;
  THttpChunkDecoder Dec;
  int64_t Left = NoBody ? 0 : FHdr.ContentLen, Seen = 0;
  for (;;) {
    if (FHdr.Chunked && !NoBody) {
      if (FBufLen > 0) {
        auto D = Dec.Decode(FBuf.data(), FBufLen);
        if (Dec.Failed() || (Dec.Done() && D.Consumed != FBufLen)) return false;
        Seen += static_cast<int64_t>(FBufLen);
        FBufLen = 0;
      }
      if (Dec.Done()) return true;
    } else {
      if (static_cast<int64_t>(FBufLen) > Left) return false;  // bytes nobody asked for
      Left -= static_cast<int64_t>(FBufLen);
      FBufLen = 0;
      if (Left == 0) return true;
    }
    if (Seen > MaxDrain || FStopFlag) return false;
    const int WaitMs = HdrWaitMs();
    size_t Got = 0;
    size_t Want = FHdr.Chunked ? FBuf.size() : static_cast<size_t>(Left);
    try {
      if (WaitMs <= 0 || FSocket->Recv(FBuf.data(), Want, WaitMs, Got) != TNetConn::TIo::Ready) return false;
    } catch (const EMossError &) {
      return false;
    }
    FBufLen = Got;
  }
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
      throw ENetTransient("Download header TIMEOUT!");
    }
    if (R == TNetConn::TIo::Closed) {
      if (FBufLen == 0) {
        FFlags |= hdNoHeader;
        throw ENetTransient("The server closed the connection without sending a header");
      }
      throw ENetTransient("The server closed the connection within the http header");
    }
    FBufLen += Got;
  }
}

void THttpDownFile::ParseHeader() {
  if (FTrace)
    for (const std::string &L : FHdr.Lines)
      FTrace('<', SameText(L.substr(0, 11), "Set-Cookie:") ? L.substr(0, 11) + Cookie_Masked(L.substr(11)) : L);
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

bool THttpDownFile::RecvBody(TBodyFile &File, TResume &Res) {
  if (!File.Created() && !File.Create(FTargetFile)) {
    SetError(errno == ENOSPC || errno == EDQUOT ? FileFailText("Can not create file: ", FTargetFile, errno)
                                                : "Can not create file: " + FTargetFile);
    return false;
  }
  SetStatus("Downloading file...");
  const bool Chunked = FHdr.Chunked;
  int64_t Len = Chunked ? -1 : FContentLen;
  // Answers that carry no body end at their header.
  if (FHdr.Status == 204 || FHdr.Status == 304) Len = 0;
  // The rest of the file an earlier try began, or the whole file again: a
  // server without ranges, or whose file changed, sends it all.
  int64_t Start = 0;
  if (FHdr.Status == 206) {
    int64_t First = 0, Last = 0, Total = 0;
    if (!Res.Possible || Chunked || !Http_ParseContentRange(FHdr.ContentRange, First, Last, Total) || First != Res.Written ||
        Total != Res.Total || (Len >= 0 && Len != Last - First + 1))
      throw EMossError("The server sent another part of the file than was asked for: " + Printable(FHdr.ContentRange));
    Start = First;
    Len = Last - First + 1;
    FTotalBytes = Total;
  } else {
    if (File.Size() > 0 && !File.Restart()) {
      SetError(FileFailText("Error in downloading file : ", FTargetFile, errno));
      return false;
    }
    Res = TResume();
    const std::string &Validator = FHdr.ETag.empty() ? FHdr.LastModified : FHdr.ETag;
    if (FHdr.Status == 200 && !Chunked && FCoding == THttpCoding::Identity && Len >= ResumeMinBytes && !FHdr.RangesRefused &&
        !Validator.empty()) {
      Res.Possible = true;
      Res.Validator = Validator;
      Res.Total = Len;
    }
  }
  const int64_t IdleMs64 = std::max<int64_t>(int64_t{FTimeoutMs} * 3, FIdleFloorMs);
  const int IdleMs = static_cast<int>(std::min<int64_t>(IdleMs64, INT32_MAX));
  THttpChunkDecoder Dec;
  std::unique_ptr<THttpInflater> Inflater;
  if (FCoding != THttpCoding::Identity) Inflater = std::make_unique<THttpInflater>(FCoding);
  const std::string TooLarge = Format("The file is larger than %d bytes, the most this download takes", {FMaxBytes});
  if (FMaxBytes >= 0 && Start + std::max<int64_t>(Len, 0) > FMaxBytes && FCoding == THttpCoding::Identity)
    throw EMossError(TooLarge);
  int64_t Saved = Start;
  int WriteErr = 0;
  // A picture that turns out to be a web page is told by its first bytes.
  bool Sniffing = FRefuseWebPage && Start == 0;
  std::string Head;
  auto Write = [&](const char *P, size_t N) {
    if (Sniffing) {
      Head.append(P, std::min<size_t>(N, 64 - Head.size()));
      const int Page = LooksLikeWebPage(Head, Head.size() >= 64);
      if (Page == 1) throw EWrongKind(WebPageText);
      Sniffing = Page < 0;
    }
    Saved += static_cast<int64_t>(N);
    if (FMaxBytes >= 0 && Saved > FMaxBytes) throw EMossError(TooLarge);
    if (File.Write(P, N)) return true;
    WriteErr = errno;
    return false;
  };
  int64_t Received = 0;
  bool Cut = false;  // the connection ended before the body did
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
      } catch (const ENetTransient &E) {
        if (FStopFlag) break;
        throw ENetTransient(Format("Error in downloading file : %s; System Error: %s", {FTargetFile, E.what()}));
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
          throw ENetTransient("The server closed the connection without a TLS close_notify, so the body may be incomplete");
        Cut = true;
        break;
      }
      if (R == TNetConn::TIo::Timeout) throw ENetTransient(Format("No data for %d s, download TIMEOUT!", {IdleMs / 1000}));
    }
    // Bytes past the announced length are not part of the file, and the
    // connection that carried them can carry nothing else.
    if (Len >= 0 && static_cast<uint64_t>(Len - Received) < Got) {
      Got = static_cast<size_t>(Len - Received);
      Cut = true;
    }
    size_t Payload = Got;
    if (Chunked) {
      const auto D = Dec.Decode(FBuf.data(), Got);
      Payload = D.Payload;
      if (Dec.Failed()) throw EMossError("Bad chunked body: " + Dec.Error());
      if (Dec.Done() && D.Consumed != Got) Cut = true;
    }
    if (Inflater ? !Inflater->Feed(FBuf.data(), Payload, Write) : !Write(FBuf.data(), Payload)) {
      if (Inflater && !Inflater->Error().empty()) throw EMossError(Inflater->Error());
      SetError(FileFailText("Error in downloading file : ", FTargetFile, WriteErr));
      return false;
    }
    Received += static_cast<int64_t>(Payload);
    if (Res.Possible) Res.Written = File.Size();
    FRecvBytes = Start + Received;
    if (Chunked && Dec.Done()) break;
  }
  if (FStopFlag) {
    FFlags &= static_cast<uint8_t>(~hdInProgress);
    FFlags |= hdUserStop;
    return false;
  }
  // A body cut short stays open in its file, for the next try to go on with.
  if (Chunked ? !Dec.Done() : !((Len == -1 && Received > 0) || (Len >= 0 && Received >= Len))) {
    if (Chunked) throw ENetTransient(Format("The connection closed within the chunked body, after %d bytes", {Received}));
    if (Len >= 0) throw ENetTransient(Format("The connection closed after %d of %d bytes", {Start + Received, Start + Len}));
    throw EMossError("The server sent an empty body");
  }
  if (!File.Close()) {
    SetError(FileFailText("Can not close file: ", FTargetFile, errno));
    return false;
  }
  if (Sniffing && LooksLikeWebPage(Head, true) == 1) throw EWrongKind(WebPageText);
  if (Inflater && !Inflater->Empty() && !Inflater->Done()) throw EMossError("The compressed body ended early");
  FFlags &= static_cast<uint8_t>(~hdInProgress);
  FFlags |= hdComplete;
  // Only a body whose end its framing told, with nothing after it, leaves
  // the connection fit for the next request.
  FConnReusable = FHdr.KeepAlive && !Cut && (Chunked || Len >= 0);
  if (!File.Commit()) {
    SetError("Can not create file: " + FTargetFile);
    return false;
  }
  return true;
}
