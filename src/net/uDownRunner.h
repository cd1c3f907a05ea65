#pragma once
// Runs the transfers of a list side by side within limits, the way a
// browser fetches a page's pictures: at most PerHost at once to one scheme,
// host and port, at most PerJob at once in all, started in the order of the
// list. Each transfer runs on a thread of the runner with a downloader of
// its own; the downloaders share one pool of kept-open connections.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class THttpDownFile;
class TConnPool;

struct TDownLimits {
  int PerHost = 4;  // transfers at once to one server
  int PerJob = 6;   // transfers at once in all
  int Retries = 3;  // further tries of a failure that may pass
  // What the settings may ask for; more would only be unkind to servers.
  static constexpr int MaxPerHost = 16, MaxPerJob = 32;
  // The limits brought within their bounds.
  TDownLimits Bounded() const;
};

// What limits a transfer to Url: its scheme, host and port ("https://h:443"),
// as the downloader reads them (an address without a scheme is http); empty
// for an address no server answers (a local file, say).
std::string Down_ServerKey(const std::string &Url);

class TDownRunner {
 public:
  // Setup prepares each downloader once (trust store, cookies, retries...).
  explicit TDownRunner(const TDownLimits &Limits, std::shared_ptr<TConnPool> Pool = nullptr,
                       std::function<void(THttpDownFile &)> Setup = {});
  ~TDownRunner();
  TDownRunner(const TDownRunner &) = delete;
  TDownRunner &operator=(const TDownRunner &) = delete;

  // Calls Work(I, D) for every I in [0, Count), each on one of the runner's
  // threads with its downloader D; ServerKey(I) names the server item I
  // goes to ("" when none: such work is limited in all only). Items start
  // in the order of I. Returns when every started item has ended; after
  // StopAll, the items not started yet are never run. An exception from
  // Work is thrown again here once all have ended. One Run at a time.
  void Run(size_t Count, const std::function<std::string(size_t)> &ServerKey,
           const std::function<void(size_t, THttpDownFile &)> &Work);

  // Any thread: starts nothing more and stops every running transfer.
  void StopAll();
  bool Stopped() const { return FStopped.load(); }
  // On item I's thread: its transfer is over, and what Work still does
  // after it (counting, telling) is no transfer to show, stop or skip: the
  // item no longer counts as running.
  void Leave(size_t I);
  // Any thread: stops item I if it runs now; false when it does not.
  bool StopItem(size_t I);
  // Any thread: the running item that started last; false when none runs.
  bool LastStarted(size_t &I) const;
  // Any thread: the downloader of the running item that started last;
  // nullptr when none runs.
  std::shared_ptr<THttpDownFile> LastStartedDown() const;
  // Any thread: the items running now, in the order they started.
  std::vector<size_t> Running() const;
  // Any thread: every downloader of the runner, busy or not.
  std::vector<std::shared_ptr<THttpDownFile>> Downloaders() const;
  const std::shared_ptr<TConnPool> &Pool() const { return FPool; }

 private:
  void Slot(size_t S, const std::function<void(size_t, THttpDownFile &)> &Work);

  const TDownLimits FLimits;
  std::shared_ptr<TConnPool> FPool;
  std::function<void(THttpDownFile &)> FSetup;

  mutable std::mutex FMx;
  std::condition_variable FCv;
  std::vector<std::shared_ptr<THttpDownFile>> FDown;  // one per slot
  std::vector<size_t> FSlotItem;                      // the item each slot runs; SIZE_MAX when none
  std::vector<std::string> FKeys;
  std::unique_ptr<std::atomic<bool>[]> FCancel;  // per item
  std::map<std::string, int> FActive;            // running items per server
  std::set<size_t> FRunning;
  size_t FNext = 0, FCount = 0;
  std::atomic<bool> FStopped{false};
  std::exception_ptr FError;
};
