#pragma once
// The embeddable browser control the editors drive: navigate to
// "about:blank" or a file, a ready state that turns 4 once the load is
// complete, the content mark in Tag, a document to load HTML text into, and
// the events before-navigate (every navigation, link clicks included),
// document-complete and new-window. Two engines stand behind it:
//  - TWebEngineBrowser (Qt WebEngine) for the HTML preview: scripts off,
//    every navigation but the control's own refused, no new windows. The
//    engine lives in a module of its own (mosspreview.so, see
//    TPreviewEngine.h) that the program loads on the control's first use or
//    warming, and its helper processes start with the first page, not when
//    the control is made: a start, the browser's host and a program that
//    waits all day load none of Qt WebEngine's libraries. The engine's first
//    start waits for the control's window to be drawn. Without the module the control
//    shows a line saying the preview is not available, completes every
//    navigation at once and refuses stream loads; the rest of the program
//    works as before;
//  - TLightBrowser for the item thumbnails: a plain widget that draws a
//    QTextDocument, hundreds of times lighter than a web view and a few
//    times lighter than a text browser. Its pictures come from a picture
//    source the program installs (the thumbnail loader: the URL cache, or a
//    fetch in the background), never block it, and show a placeholder until
//    they arrive or when they cannot.
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>

class QWidget;
class QWindow;
class QTextDocument;
class TPreviewPage;

class TWebBrowser : public QObject {
  Q_OBJECT
 public:
  ~TWebBrowser() override = default;

  // The content mark: above 0 while the control shows content to release.
  int Tag = 0;

  virtual QWidget *Widget() const = 0;
  // Starts a navigation; the ready state drops below 4 until it completes.
  virtual void Navigate(const QUrl &Url) = 0;
  // 4 when the last navigation or load has completed.
  virtual int ReadyState() const = 0;
  // True once the control has a document (after its first completed load).
  virtual bool HasDocument() const = 0;
  // Replaces the document's content with Html, as a stream load does;
  // 0 on success, 1 when it cannot be done.
  virtual int LoadStream(const std::string &Html) = 0;
  // The URL of the current document.
  virtual QUrl Location() const = 0;

 signals:
  // Every navigation the page itself asks for (link clicks, form posts,
  // redirects); setting *Cancel refuses it. Connect directly: the answer is
  // read when the signal returns.
  void BeforeNavigate(const QUrl &Url, bool *Cancel);
  // A page asking for a new window; setting *Cancel refuses it.
  void NewWindow(bool *Cancel);
  // The document finished loading.
  void DocumentComplete();

 protected:
  // Tells the listeners; true when the navigation may go on.
  bool FireBeforeNavigate(const QUrl &Url, bool Cancel);
  void FireDocumentComplete();
};

class TWebEngineBrowser : public TWebBrowser {
  Q_OBJECT
 public:
  explicit TWebEngineBrowser(QWidget *Parent);
  ~TWebEngineBrowser() override;
  QWidget *Widget() const override;
  void Navigate(const QUrl &Url) override;
  int ReadyState() const override { return FReady; }
  bool HasDocument() const override { return FHasDoc; }
  int LoadStream(const std::string &Html) override;
  QUrl Location() const override;
  // What the preview shows now, as text (for tests and the status bar).
  void ToPlainText(const std::function<void(const QString &)> &Done) const;
  // Starts the engine ahead of the first use, so that use does not wait
  // for it; does nothing once it runs.
  void Warm();
  // Whether the engine behind this control has been started.
  bool Started() const { return FPage != nullptr; }
  // Gives up the page and its helper process once nothing is shown; the
  // next use or warming makes them again.
  void Release();

  // What the web engine must find set before the application object
  // exists: the sandbox and drawing settings, all in the environment or
  // the application's attributes, so the engine itself need not be loaded
  // for them.
  static void PrepareEngine();
  // The engine's command-line flags: Given (the user's, kept as they are)
  // with ours added after them where Given does not set them already.
  static std::string EngineFlags(const std::string &Given, bool SandboxOff);
  // Loads the engine's module ahead of the first preview, without starting
  // the engine; false when the module cannot be loaded.
  static bool LoadEngine();
  // Whether the engine has started in this program (its first page made).
  // Its first start holds the program for about half a second; a control
  // whose window is just being shown lets the window be drawn first.
  static bool EngineRunning();
  // Gives the pages of the engine's libraries that only hold what their
  // files hold back to the system (the page cache keeps them for the next
  // use); the bytes of address range given back. Done by itself a few
  // seconds after the last page went.
  static size_t GiveBackEngineCode();

 protected:
  bool eventFilter(QObject *Watched, QEvent *E) override;

 private:
  // Puts a navigation off until the control's window has been drawn, when
  // the engine's first start would hold the window blank; true when it did.
  bool WaitForWindow(const QUrl &Url);
  // Makes the page on first use, loading the engine's module the first
  // time; null when the module cannot be loaded.
  TPreviewPage *Page();
  // Puts the line that says the preview is not available in the view's place.
  void ShowUnavailable();
  // Counts a page given up; after the last one, the engine's code goes back.
  static void PageGone();
  // Holds the place of the view until it is made.
  QPointer<QWidget> FBox;
  std::unique_ptr<TPreviewPage> FPage;
  int FReady = 0;
  bool FHasDoc = false;
  // The navigation put off, and the window it waits for.
  QUrl FPendingUrl;
  QPointer<QWindow> FWaitWindow;
};

// Where the light engine's pictures come from. The program installs one
// (the thumbnail loader of the editors); without one every picture shows as
// not available.
class TLightPictures {
 public:
  enum class TState { Waiting, Ready, Failed };
  struct TPicture {
    TState State = TState::Waiting;
    QImage Image;
  };
  virtual ~TLightPictures() = default;
  // Source: an absolute local path or an http(s) address; Size: the size it
  // is drawn at. Answers at once; while Waiting, OnArrive runs once the
  // picture is ready or has failed, unless Owner is gone by then. Urgent
  // pictures (on screen) go first.
  virtual TPicture Get(const QString &Source, QSize Size, const std::string &Referer, QObject *Owner = nullptr,
                       std::function<void()> OnArrive = {}, bool Urgent = false) = 0;

  static void Install(TLightPictures *Source);
  static TLightPictures *Installed();
};

class TLightBrowser : public TWebBrowser {
  Q_OBJECT
 public:
  // The control lives as long as Parent (or until deleted first).
  explicit TLightBrowser(QWidget *Parent);
  ~TLightBrowser() override;
  QWidget *Widget() const override;
  // Fires before-navigate first, the control's own navigations included,
  // as the real control does; a navigation that is refused does not happen.
  void Navigate(const QUrl &Url) override;
  int ReadyState() const override { return 4; }
  bool HasDocument() const override { return FHasDoc; }
  int LoadStream(const std::string &Html) override;
  QUrl Location() const override { return FUrl; }
  QTextDocument *Document() const;
  // The file name of the movie a player page shows; null for any other page.
  QString MovieShown() const;

  // Sent as the referrer of the pictures fetched for this control.
  std::string Referer;
  // Whether pictures may come from local files other than the URL cache's:
  // only for a page that itself came from the local disk.
  bool LocalFiles = false;

 private:
  class TView;
  QPointer<TView> FView;
  QUrl FUrl;
  bool FHasDoc = false;
};
