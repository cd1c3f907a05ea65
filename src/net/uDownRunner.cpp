#include "net/uDownRunner.h"

#include <algorithm>
#include <cstdint>
#include <thread>

#include "net/Unit_httpDown.h"
#include "net/uConnPool.h"
#include "platform/uUrlRef.h"
#include "pub/Unit_Pub.h"

TDownLimits TDownLimits::Bounded() const {
  TDownLimits L = *this;
  L.PerJob = Int_Max(1, Int_Min(PerJob, MaxPerJob));
  L.PerHost = Int_Max(1, Int_Min(PerHost, MaxPerHost));
  L.Retries = Int_Max(0, Int_Min(Retries, 10));
  return L;
}

std::string Down_ServerKey(const std::string &Url) {
  // As the downloader reads it: an address without a scheme is http.
  const std::string U = Trim(Url);
  const TUrlParts P = Url_Split(U.find("://") == std::string::npos ? "http://" + U : U);
  if ((P.Scheme != "http" && P.Scheme != "https") || !P.HasAuthority) return {};
  std::string Name;
  uint16_t Port = 0;
  std::string Host = P.Authority.substr(P.Authority.rfind('@') == std::string::npos ? 0 : P.Authority.rfind('@') + 1);
  if (!SplitHostPort(Host, P.Scheme == "https" ? 443 : 80, Name, Port)) return {};
  return TConnPool::Key(P.Scheme == "https", LowerCase(Name), Port);
}

TDownRunner::TDownRunner(const TDownLimits &Limits, std::shared_ptr<TConnPool> Pool, std::function<void(THttpDownFile &)> Setup)
    : FLimits(Limits.Bounded()), FPool(Pool ? std::move(Pool) : std::make_shared<TConnPool>()), FSetup(std::move(Setup)) {}

TDownRunner::~TDownRunner() = default;

void TDownRunner::Run(size_t Count, const std::function<std::string(size_t)> &ServerKey,
                      const std::function<void(size_t, THttpDownFile &)> &Work) {
  const size_t Slots = std::min<size_t>(Count, static_cast<size_t>(FLimits.PerJob));
  std::vector<std::string> Keys(Count);
  for (size_t I = 0; I < Count; ++I) Keys[I] = ServerKey(I);
  std::vector<std::shared_ptr<THttpDownFile>> Down;
  for (size_t S = 0; S < Slots; ++S) {
    auto D = std::make_shared<THttpDownFile>();
    D->SetPool(FPool);
    D->SetRetries(FLimits.Retries);
    if (FSetup) FSetup(*D);
    Down.push_back(std::move(D));
  }
  {
    std::lock_guard<std::mutex> L(FMx);
    FKeys = std::move(Keys);
    FCancel = std::make_unique<std::atomic<bool>[]>(Count);
    FCount = Count;
    FNext = 0;
    FActive.clear();
    FRunning.clear();
    FError = nullptr;
    FDown = std::move(Down);
    FSlotItem.assign(Slots, SIZE_MAX);
    // A stop that came before the run leaves nothing to start.
    if (FStopped) FNext = Count;
  }
  std::vector<std::thread> Threads;
  for (size_t S = 0; S < Slots; ++S) Threads.emplace_back([this, S, &Work] { Slot(S, Work); });
  for (std::thread &T : Threads) T.join();
  std::exception_ptr E;
  {
    std::lock_guard<std::mutex> L(FMx);
    E = FError;
  }
  if (E) std::rethrow_exception(E);
}

void TDownRunner::Slot(size_t S, const std::function<void(size_t, THttpDownFile &)> &Work) {
  THttpDownFile &D = *FDown[S];
  std::unique_lock<std::mutex> L(FMx);
  for (;;) {
    // The next item waits for its server to have room: the list's order is
    // the order of starting, whatever its servers.
    FCv.wait(L, [&] { return FStopped || FNext >= FCount || FKeys[FNext].empty() || FActive[FKeys[FNext]] < FLimits.PerHost; });
    if (FStopped || FNext >= FCount) break;
    const size_t I = FNext++;
    const std::string &Key = FKeys[I];
    if (!Key.empty()) ++FActive[Key];
    FRunning.insert(I);
    FSlotItem[S] = I;
    L.unlock();
    D.SetCancelFlag(&FCancel[I]);
    try {
      Work(I, D);
    } catch (...) {
      std::lock_guard<std::mutex> G(FMx);
      if (!FError) FError = std::current_exception();
    }
    D.SetCancelFlag(nullptr);
    L.lock();
    if (!Key.empty()) --FActive[Key];
    FRunning.erase(I);
    FSlotItem[S] = SIZE_MAX;
    FCv.notify_all();
  }
  FCv.notify_all();
}

void TDownRunner::StopAll() {
  std::lock_guard<std::mutex> L(FMx);
  FStopped = true;
  for (size_t S = 0; S < FSlotItem.size(); ++S)
    if (FSlotItem[S] != SIZE_MAX) {
      FCancel[FSlotItem[S]] = true;
      FDown[S]->StopDown();
    }
  FCv.notify_all();
}

void TDownRunner::Leave(size_t I) {
  std::lock_guard<std::mutex> L(FMx);
  FRunning.erase(I);
}

bool TDownRunner::StopItem(size_t I) {
  std::lock_guard<std::mutex> L(FMx);
  if (FRunning.count(I) == 0) return false;
  for (size_t S = 0; S < FSlotItem.size(); ++S)
    if (FSlotItem[S] == I) {
      FCancel[I] = true;
      FDown[S]->StopDown();
      return true;
    }
  return false;
}

bool TDownRunner::LastStarted(size_t &I) const {
  std::lock_guard<std::mutex> L(FMx);
  if (FRunning.empty()) return false;
  I = *FRunning.rbegin();
  return true;
}

std::shared_ptr<THttpDownFile> TDownRunner::LastStartedDown() const {
  std::lock_guard<std::mutex> L(FMx);
  if (FRunning.empty()) return nullptr;
  const size_t I = *FRunning.rbegin();
  for (size_t S = 0; S < FSlotItem.size(); ++S)
    if (FSlotItem[S] == I) return FDown[S];
  return nullptr;
}

std::vector<size_t> TDownRunner::Running() const {
  std::lock_guard<std::mutex> L(FMx);
  return {FRunning.begin(), FRunning.end()};
}

std::vector<std::shared_ptr<THttpDownFile>> TDownRunner::Downloaders() const {
  std::lock_guard<std::mutex> L(FMx);
  return FDown;
}
