#include "editors/uThumbLoader.h"

#include <unistd.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <algorithm>
#include <atomic>

#include "net/Unit_httpDown.h"
#include "net/uCookieJar.h"
#include "platform/TMainThread.h"
#include "platform/TUrlCache.h"
#include "platform/uLocalFile.h"
#include "platform/uUrlRef.h"
#include "pub/Unit_Pub.h"

namespace {

// Decodes a picture at the size it is drawn. A picture bigger than that is
// decoded small right away, which for JPEG skips most of the work.
QImage Decode(QImageReader &R, QSize Size) {
  R.setAutoTransform(true);
  if (Size.width() <= 0 || Size.height() <= 0) {
    // Drawn at no size: nothing to decode, but it must be a picture.
    if (!R.canRead()) return {};
    QImage None(1, 1, QImage::Format_ARGB32_Premultiplied);
    None.fill(Qt::transparent);
    return None;
  }
  const QSize Full = R.size();
  if (Full.isValid() && (Full.width() > Size.width() || Full.height() > Size.height())) R.setScaledSize(Size);
  QImage Img = R.read();
  if (!Img.isNull() && Img.size() != Size) Img = Img.scaled(Size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return Img;
}

// Decodes fetched bytes. Only bytes that decode go into the cache: an error
// page served under a picture's address must not be saved as the picture.
QImage DecodeBytes(const std::string &Bytes, QSize Size) {
  QByteArray Data = QByteArray::fromRawData(Bytes.data(), static_cast<qsizetype>(Bytes.size()));
  QBuffer Buf(&Data);
  Buf.open(QIODevice::ReadOnly);
  QImageReader R(&Buf);
  return Decode(R, Size);
}

std::atomic<unsigned> FetchSeq{0};

}  // namespace

TThumbLoader &TThumbLoader::Default() {
  static QPointer<TThumbLoader> L;
  if (!L) {
    L = new TThumbLoader(QCoreApplication::instance());
    TLightPictures::Install(L);
  }
  return *L;
}

TThumbLoader::TThumbLoader(QObject *Parent) : QObject(Parent) {}

TThumbLoader::~TThumbLoader() {
  if (TLightPictures::Installed() == this) TLightPictures::Install(nullptr);
  FAlive.reset();
  {
    std::lock_guard L(FMx);
    FStop = true;
    FQueue.clear();
    for (auto &D : FActive) D->StopDown();
  }
  FCv.notify_all();
  for (auto &T : FThreads) T.join();
}

TLightPictures::TPicture TThumbLoader::Get(const QString &Source, QSize Size, const std::string &Referer, QObject *Owner,
                                           std::function<void()> OnArrive, bool Urgent) {
  auto It = FEntries.find(Source);
  if (It == FEntries.end()) {
    It = FEntries.insert(Source, TEntry{});
    ++FPending;
    {
      std::lock_guard L(FMx);
      if (Urgent)
        FQueue.push_front({Source, Size, Referer});
      else
        FQueue.push_back({Source, Size, Referer});
    }
    if (FThreads.empty())
      for (int I = 0; I < Workers; ++I) FThreads.emplace_back([this] { Work(); });
    FCv.notify_one();
  } else if (Urgent && It->State == TState::Waiting) {
    // Wanted on screen now: ahead of what was only asked for in advance.
    std::lock_guard L(FMx);
    auto Q = std::find_if(FQueue.begin(), FQueue.end(), [&](const TJob &J) { return J.Source == Source; });
    if (Q != FQueue.end() && Q != FQueue.begin()) {
      TJob J = std::move(*Q);
      FQueue.erase(Q);
      FQueue.push_front(std::move(J));
    }
  }
  TEntry &E = It.value();
  if (E.State == TState::Ready) {
    QImage Img = E.Image;
    if (Size.width() > 0 && Size.height() > 0 && Img.size() != Size)
      Img = Img.scaled(Size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return {TState::Ready, Img};
  }
  if (E.State == TState::Waiting && Owner && OnArrive) E.Waiters.emplace_back(Owner, std::move(OnArrive));
  return {E.State, {}};
}

void TThumbLoader::Release() {
  FEntries.clear();
  FEntries.squeeze();
  FPending = 0;
  std::lock_guard L(FMx);
  FQueue.clear();
}

void TThumbLoader::Work() {
  for (;;) {
    TJob J;
    {
      std::unique_lock L(FMx);
      FCv.wait(L, [this] { return FStop || !FQueue.empty(); });
      if (FStop) return;
      J = std::move(FQueue.front());
      FQueue.pop_front();
    }
    bool Ok = false;
    QImage Img;
    qint64 Bytes = -1;
    try {
      std::string Path = J.Source.startsWith(QLatin1Char('/')) ? J.Source.toStdString() : std::string();
      const std::string Url = Path.empty() ? J.Source.toStdString() : std::string();
      if (Path.empty()) Path = TUrlCache::Default().LocalFile(Url);
      if (!Path.empty()) {
        std::string Data;
        if (ReadWholeFile(Path, Data, static_cast<size_t>(MaxBytes))) {
          Img = DecodeBytes(Data, J.Size);
          Bytes = static_cast<qint64>(Data.size());
        }
      } else {
        std::string Data;
        if (Fetch(Url, J.Referer, Data)) Img = DecodeBytes(Data, J.Size);
        if (!Img.isNull()) {
          Bytes = static_cast<qint64>(Data.size());
          try {
            TUrlCache::Default().Store(Url, Data);
          } catch (const std::exception &) {
            // Shown all the same; the save downloads it again.
          }
        }
      }
      Ok = !Img.isNull();
    } catch (const std::exception &) {
      Ok = false;  // the panel shows that the picture is not available
    }
    std::weak_ptr<int> Alive = FAliveWeak;
    TMainThread::Post([this, Alive, Source = J.Source, Ok, Img, Bytes] {
      if (Alive.lock()) Done(Source, Ok, Img, Bytes);
    });
  }
}

void TThumbLoader::SetBrowser(std::shared_ptr<const TCookieJar> Cookies, const std::string &UserAgent) {
  std::lock_guard L(FMx);
  FCookies = std::move(Cookies);
  FUserAgent = UserAgent;
}

bool TThumbLoader::Fetch(const std::string &Url, const std::string &Referer, std::string &Data) {
  auto D = std::make_shared<THttpDownFile>();
  // A thumbnail is not worth a file bigger than the loader keeps, and a
  // login page in place of the picture is no picture.
  D->SetMaxBytes(MaxBytes);
  D->SetRefuseWebPage(true);
  {
    std::lock_guard L(FMx);
    if (FStop) return false;
    D->SetCookieJar(FCookies);
    D->SetUserAgent(FUserAgent);
    FActive.push_back(D);
  }
  const std::string Folder = TUrlCache::Default().Root() + "fetch/";
  Dir_Force(Folder);
  const std::string Tmp = Folder + Format("thumb-%d-%u.part", {static_cast<int>(::getpid()), FetchSeq.fetch_add(1)});
  const bool Got = D->DownLoad(Url, Tmp, Url_Referer(Referer, Url), "", 10);
  {
    std::lock_guard L(FMx);
    FActive.erase(std::find(FActive.begin(), FActive.end(), D));
  }
  const bool Read = Got && ReadWholeFile(Tmp, Data, static_cast<size_t>(MaxBytes));
  ::unlink(Tmp.c_str());
  return Read;
}

void TThumbLoader::Done(const QString &Source, bool Ok, const QImage &Image, qint64 Bytes) {
  auto It = FEntries.find(Source);
  if (It != FEntries.end() && It->State == TState::Waiting) {
    It->State = Ok ? TState::Ready : TState::Failed;
    It->Image = Image;
    --FPending;
    auto Waiters = std::move(It->Waiters);
    It->Waiters.clear();
    for (auto &[Owner, Fn] : Waiters)
      if (Owner) Fn();
  }
  emit Arrived(Source, Bytes);
}
