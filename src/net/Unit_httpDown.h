#pragma once
// THttpDownFile fetches one URL into one file with the program's own small
// HTTP/1.1 client: plain TCP, or TLS for https. It is the unit of one
// transfer: a job runs one per file at a time and reuses it for file after
// file. Connections are kept open for the next file to the same server in a
// pool that the transfers of a job share. While a download runs on a worker,
// the job monitor reads the progress and the main thread may stop it.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/Unit_httpHdr.h"

class TNetConn;
class TConnPool;
class TCookieJar;

// If S starts with Prefix (ASCII letter case ignored), removes it and
// returns true; the rest keeps its letter case.
bool CutPrefix(std::string &S, const std::string &Prefix);
// The host of a URL as written, port included: trimmed, "http://",
// "https://" and "ftp://" cut, everything before the first "/".
std::string HostOf(const std::string &Url);
// Everything after the first "/" that follows the host, without that slash.
std::string PathOf(const std::string &Url);
// Splits a host text ("name", "name:8080", "[::1]:8443") into the name to
// connect to and the port; DefPort when none is written. False for a port
// that is not a number from 1 to 65535.
bool SplitHostPort(const std::string &Host, uint16_t DefPort, std::string &Name, uint16_t &Port);

// The bits of THttpDownFile::Flags().
inline constexpr uint8_t hdInProgress = 0x01;  // set at the start, cleared when the body has been read
inline constexpr uint8_t hdLocation = 0x02;    // a "Location" header was seen
inline constexpr uint8_t hdNoHeader = 0x04;    // the response had no header lines
inline constexpr uint8_t hdUserStop = 0x08;
inline constexpr uint8_t hdHdrTimeout = 0x10;
inline constexpr uint8_t hdNotFound = 0x20;  // the status line contains "Not Found"
inline constexpr uint8_t hdComplete = 0x40;  // the body is complete

class THttpDownFile {
 public:
  THttpDownFile();
  ~THttpDownFile();
  THttpDownFile(const THttpDownFile &) = delete;
  THttpDownFile &operator=(const THttpDownFile &) = delete;

  // Fetches Url into TargetFile. True when the whole body was written and
  // the server did not refuse; otherwise false with ErrorText saying why,
  // and TargetFile as it was before. Never throws. TimeoutSec bounds each
  // wait for the connection and the header, and the header as a whole may
  // take three times as long; the body may idle three times as long, at
  // least the idle floor (30 s). At most 11 redirects are followed. Cookie
  // goes to the scheme and host of Url only, never along a redirect to
  // another. A failure that may pass is tried again as SetRetries says; a
  // large file whose connection broke goes on from where it stopped.
  bool DownLoad(const std::string &Url, const std::string &TargetFile, const std::string &Referer, const std::string &Cookie,
                int TimeoutSec);
  // Any thread: ends the running download at once ("User stop !").
  void StopDown();

  // Safe to read from any thread while a download runs.
  bool IsBusy() const { return FIsBusy.load(); }
  std::string StatusText() const;
  int64_t RecvBytes() const { return FRecvBytes.load(); }
  int64_t TotalBytes() const { return FTotalBytes.load(); }
  std::string ErrorText() const;
  uint8_t Flags() const { return FFlags.load(); }

  // The state of the last call; read on the downloading thread or after
  // DownLoad has returned.
  const std::string &Host() const { return FHost; }
  const std::string &Url() const { return FUrl; }
  const std::string &Location() const { return FLocation; }
  const std::string &TargetFile() const { return FTargetFile; }
  const std::string &Referer() const { return FReferer; }
  const std::string &Cookie() const { return FCookie; }
  const std::string &Request() const { return FRequest; }
  const std::vector<std::string> &HeaderLines() const { return FHeaderLines; }
  int32_t TimeoutMs() const { return FTimeoutMs; }
  int64_t ContentLen() const { return FContentLen; }
  const std::string &ContentType() const { return FContentType; }

  // The trust store for https: a PEM file of CA certificates; empty (the
  // default) means the system's. It belongs to the pool.
  void SetCaFile(const std::string &CaFile);
  // The pool whose connections this downloader takes and gives back; by
  // default one of its own. Set between downloads only.
  void SetPool(std::shared_ptr<TConnPool> Pool);
  const std::shared_ptr<TConnPool> &Pool() const { return FPool; }
  // The browser's cookies: each request also carries those the browser
  // would send to its address.
  void SetCookieJar(std::shared_ptr<const TCookieJar> Jar) { FJar = std::move(Jar); }
  // The browser's User-Agent; empty for the program's own.
  void SetUserAgent(const std::string &Ua);
  // A failure that may pass (a connection refused, reset or timed out, an
  // answer 408, 429 or 5xx) is tried again up to Count times after pauses
  // of 1, 2, 4... units, or as long as the server's Retry-After asks when
  // that is at most MaxRetryAfterSec units. A unit is a second unless a
  // test makes it shorter. StopDown ends a pause at once.
  void SetRetries(int Count, int UnitMs = 1000);
  static constexpr int MaxRetryAfterSec = 60;
  // The pauses of the last download before each new try, in units.
  const std::vector<int64_t> &RetryPauses() const { return FRetryPauses; }
  // The file must not be a web page: an answer that is HTML fails with
  // WebPageText and nothing is saved (a picture or a movie behind a login
  // comes back as the login page).
  void SetRefuseWebPage(bool Refuse) { FRefuseWebPage = Refuse; }
  // The most bytes the saved file may hold (after any decompression); a
  // larger answer fails and nothing is saved. Below 0: no bound.
  void SetMaxBytes(int64_t Max) { FMaxBytes = Max; }
  // A flag the owner of several downloaders sets to stop this one; read
  // when a download starts, so that a stop given while none ran is not lost.
  void SetCancelFlag(const std::atomic<bool> *Flag) { FCancel = Flag; }
  // The least time the body may idle before the download fails.
  void SetIdleFloorMs(int Ms) { FIdleFloorMs = Ms; }
  // Called on the downloading thread with each request line ('>') and each
  // response header line ('<'), for a verbose front end. Cookie values are
  // masked.
  void SetTrace(std::function<void(char Dir, const std::string &Line)> Trace) { FTrace = std::move(Trace); }

 private:
  class TBodyFile;
  struct TResume;
  struct TTarget;
  void SendRequest(const TResume &Res);
  void BuildRequest(const TResume &Res);
  TTarget Target() const;
  void Exchange();
  bool AcquireConn(const TTarget &T);
  void Connect(const TTarget &T);
  void ReleaseConn();
  void SetConn(std::unique_ptr<TNetConn> C);
  bool DrainBody();
  int HdrWaitMs() const;  // the next wait before the header deadline
  void RecvHeader();
  void ParseHeader();
  bool RecvBody(TBodyFile &File, TResume &Res);
  bool Pause(int64_t Units);
  void SetStatus(const std::string &S);
  void SetError(const std::string &S);
  void ThrowStop();

  std::shared_ptr<TConnPool> FPool;   // before the connection: it outlives it
  std::unique_ptr<TNetConn> FSocket;  // the connection in use; swapped under FConnMx
  std::mutex FConnMx;
  std::string FConnKey;        // what FSocket is connected to
  bool FConnReusable = false;  // FSocket's last answer was read to its end and it may carry another
  std::string FHost, FUrl, FLocation, FTargetFile, FReferer, FCookie, FRequest;
  std::atomic<uint8_t> FFlags{0};
  std::vector<std::string> FHeaderLines;
  std::atomic<bool> FStopFlag{false};
  int32_t FTimeoutMs = 0;
  int64_t FContentLen = -1;
  std::string FContentType;
  std::atomic<bool> FIsBusy{false};
  std::atomic<int64_t> FRecvBytes{0}, FTotalBytes{0};
  mutable std::mutex FTextMx;  // guards FStatusText and FErrorText
  std::string FStatusText, FErrorText;

  std::string FCurUrl;        // the URL being asked for, absolute; moves with each redirect
  std::string FCookieOrigin;  // scheme and host the cookie was given for
  int FRedirects = 0;
  THttpHeader FHdr;                             // the last response header, parsed
  THttpCoding FCoding = THttpCoding::Identity;  // what is undone before the body is written
  std::chrono::steady_clock::time_point FHdrDeadline;
  std::vector<char> FBuf;  // receive buffer; after the header it holds the body's first bytes
  size_t FBufLen = 0;
  int FWakeFd = -1;
  int FIdleFloorMs = 30000;
  std::function<void(char, const std::string &)> FTrace;
  std::shared_ptr<const TCookieJar> FJar;
  std::string FUserAgent;
  int FRetries = 0, FRetryUnitMs = 1000;
  std::vector<int64_t> FRetryPauses;
  bool FRefuseWebPage = false;
  int64_t FMaxBytes = -1;
  const std::atomic<bool> *FCancel = nullptr;
};

// Why a picture or movie download fails when the server sent a web page.
inline constexpr const char *WebPageText = "The server sent a web page instead of the file; the site may need a login.";
// Files at least this large go on from where a broken connection stopped
// them; smaller ones are simply fetched again.
inline constexpr int64_t ResumeMinBytes = 1024 * 1024;
