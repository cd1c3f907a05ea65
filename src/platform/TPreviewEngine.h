#pragma once
// The web engine behind the HTML preview, as the preview module provides it.
// The module (mosspreview.so) is the only part of the program that links Qt
// WebEngine: the program loads it the first time a preview is needed, so a
// start, an idle program and the browser's short-lived host pay nothing for
// the engine's libraries. Only this header is shared between the two; it
// holds no Qt WebEngine type.
#include <QByteArray>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

class QWidget;

// What a page tells its owner. Called on the thread the page lives on.
struct TPreviewEvents {
  // A main-frame load ended (well or not).
  std::function<void()> LoadFinished;
  // The page itself asked to go to Url (a link, a refresh, a redirect); the
  // page has refused it already.
  std::function<void(const QUrl &Url)> NavigationRefused;
  // The page asked for a new window; it gets none.
  std::function<void()> NewWindowRefused;
};

// One page and its view: scripts off, no plug-ins, no navigation but the
// owner's own, no new windows.
class TPreviewPage {
 public:
  virtual ~TPreviewPage() = default;
  // The view, a child of the parent the page was made under.
  virtual QWidget *View() const = 0;
  // Loads Url as the owner's own navigation.
  virtual void Load(const QUrl &Url) = 0;
  // Loads Html as a document of its own; false when the engine cannot take
  // that much text.
  virtual bool LoadHtml(const QByteArray &Html) = 0;
  virtual QUrl Url() const = 0;
  // The page's text; Done runs later, on the page's thread.
  virtual void ToPlainText(std::function<void(const QString &)> Done) const = 0;
};

class TPreviewEngine {
 public:
  virtual ~TPreviewEngine() = default;
  // A page whose view is a child of Parent. Freeing the page hands its view
  // to the event loop to delete (the view may be inside an event of its
  // own); no event is told after that.
  virtual std::unique_ptr<TPreviewPage> NewPage(QWidget *Parent, TPreviewEvents Events) = 0;
  // Whether the engine itself runs: once a page was made.
  virtual bool Running() const = 0;
};

// The module exports one C function of this name and type. It makes the
// engine on its first call (the preview's URL scheme is registered there,
// before anything else of Qt WebEngine runs) and answers null when the
// module was built against another version of this interface.
constexpr int PreviewInterfaceVersion = 2;
constexpr const char *PreviewEntryName = "MossPreviewEngine";
using TPreviewEntry = TPreviewEngine *(*)(int InterfaceVersion);
