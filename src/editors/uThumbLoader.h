#pragma once
// The pictures behind the thumbnails (the light browser's picture source),
// made away from the main thread so that a page of hundreds of pictures never
// blocks the window. A picture comes
// from a local file (the URL cache's copy, or a file the page may show) or,
// when it is not cached yet, is fetched once with the program's own
// downloader, a few at a time, with the page as referrer, and kept in the URL
// cache, so that saving it later copies the file instead of downloading it
// again. Each picture is decoded at the size it is drawn and handed to the
// main thread, where whoever asked for it is told.
#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/TWebBrowser.h"

class THttpDownFile;
class TCookieJar;

class TThumbLoader : public QObject, public TLightPictures {
  Q_OBJECT
 public:
  // How many pictures are fetched or decoded at once.
  static constexpr int Workers = 4;
  // A picture bigger than this is not kept for a thumbnail.
  static constexpr qint64 MaxBytes = qint64{64} << 20;

  // The program's loader, made on first use (and installed as the light
  // browser's picture source) and freed with the application.
  static TThumbLoader &Default();

  explicit TThumbLoader(QObject *Parent = nullptr);
  ~TThumbLoader() override;  // stops the fetches and waits for the workers

  // Answers at once: the picture when it is ready, else Waiting (and the
  // work is started, once per source) or Failed.
  TPicture Get(const QString &Source, QSize Size, const std::string &Referer, QObject *Owner = nullptr,
               std::function<void()> OnArrive = {}, bool Urgent = false) override;
  // Forgets every decoded picture and every failure and drops the work not
  // started yet; the URL cache keeps its files. For the tidy-up of the idle
  // edit window.
  void Release();
  // The browser's cookies and user agent for the fetches from now on, as
  // the job being edited brought them: a picture behind a login shows as
  // the browser showed it.
  void SetBrowser(std::shared_ptr<const TCookieJar> Cookies, const std::string &UserAgent);
  // Pictures asked for and not ready or failed yet.
  int Pending() const { return static_cast<int>(FPending); }

 signals:
  // A picture is ready or has failed. Bytes: the size of its file, -1 when
  // it has none.
  void Arrived(const QString &Source, qint64 Bytes);

 private:
  struct TJob {
    QString Source;
    QSize Size;
    std::string Referer;
  };
  struct TEntry {
    TState State = TState::Waiting;
    QImage Image;
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> Waiters;
  };
  void Work();
  // Downloads Url with the program's downloader; false when it cannot.
  bool Fetch(const std::string &Url, const std::string &Referer, std::string &Data);
  void Done(const QString &Source, bool Ok, const QImage &Image, qint64 Bytes);

  QHash<QString, TEntry> FEntries;  // main thread only
  int FPending = 0;                 // main thread only

  std::mutex FMx;
  std::condition_variable FCv;
  std::deque<TJob> FQueue;                              // guarded by FMx
  std::vector<std::shared_ptr<THttpDownFile>> FActive;  // guarded by FMx
  bool FStop = false;                                   // guarded by FMx
  std::shared_ptr<const TCookieJar> FCookies;           // guarded by FMx
  std::string FUserAgent;                               // guarded by FMx
  std::vector<std::thread> FThreads;                    // main thread only
  // Results that arrive after the loader is gone are dropped; the workers
  // only ever copy the weak side, which never changes.
  std::shared_ptr<int> FAlive = std::make_shared<int>(0);
  const std::weak_ptr<int> FAliveWeak = FAlive;
};
