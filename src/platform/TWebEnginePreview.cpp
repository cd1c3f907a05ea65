// The preview module: the HTML preview's page and view on Qt WebEngine. It
// is built as a library of its own (mosspreview.so) that the program loads
// on the first preview; nothing else of the program links Qt WebEngine.
#include <QBuffer>
#include <QMap>
#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>
#include <atomic>

#include "platform/TPreviewEngine.h"

namespace QtWebEngineCore {
// What the engine has run as the application object is made when the
// program links it: it sets the OpenGL share context the engine's
// compositor reads (one that makes no GL context when the preview draws in
// software). Loaded after that, the engine leaves the call to its loader.
void initialize();
}  // namespace QtWebEngineCore

namespace {

constexpr const char *PreviewScheme = "mgpreview";

// Serves the HTML texts loaded into previews: a stream load without a file
// and without the size limit of a data: URL.
class TPreviewSchemeHandler : public QWebEngineUrlSchemeHandler {
 public:
  void requestStarted(QWebEngineUrlRequestJob *Job) override {
    auto It = Docs.find(Job->requestUrl().path());
    if (It == Docs.end()) {
      Job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    auto *Buf = new QBuffer(Job);
    Buf->setData(It.value());
    Buf->open(QIODevice::ReadOnly);
    Job->reply("text/html;charset=utf-8", Buf);
  }
  QMap<QString, QByteArray> Docs;
};

class TPage : public QWebEnginePage {
 public:
  TPage(TPreviewEvents E, QObject *Parent) : QWebEnginePage(Parent), Events(std::move(E)) {}
  TPreviewEvents Events;
  bool OwnLoad = false;  // the next main-frame navigation is the owner's own

 protected:
  bool acceptNavigationRequest(const QUrl &Url, NavigationType, bool IsMainFrame) override {
    if (IsMainFrame && OwnLoad) {
      OwnLoad = false;
      return true;
    }
    // Everything else the page asks for is refused; the owner may look at it.
    if (IsMainFrame && Events.NavigationRefused) Events.NavigationRefused(Url);
    return false;
  }
  QWebEnginePage *createWindow(WebWindowType) override {
    if (Events.NewWindowRefused) Events.NewWindowRefused();
    return nullptr;
  }
};

class TEngine;

class TEnginePage : public TPreviewPage {
 public:
  TEnginePage(TEngine &Engine, QWidget *Parent, TPreviewEvents Events);
  ~TEnginePage() override {
    if (!FPage) return;
    // A load that ends after the owner let go tells nobody.
    QObject::disconnect(FPage, nullptr, nullptr, nullptr);
    FPage->Events = {};
    if (FView) FView->deleteLater();
  }
  QWidget *View() const override { return FView; }
  // The view goes with its parent; the page may outlive both.
  void Load(const QUrl &Url) override {
    if (!FPage) return;
    FPage->OwnLoad = true;
    FPage->load(Url);
  }
  bool LoadHtml(const QByteArray &Html) override;
  QUrl Url() const override { return FPage ? FPage->url() : QUrl(); }
  void ToPlainText(std::function<void(const QString &)> Done) const override {
    if (!FPage) {
      Done(QString());
      return;
    }
    FPage->toPlainText([Done = std::move(Done)](const QString &T) { Done(T); });
  }

 private:
  TEngine &FEngine;
  QPointer<QWebEngineView> FView;
  QPointer<TPage> FPage;
};

class TEngine : public TPreviewEngine {
 public:
  TEngine() {
    QtWebEngineCore::initialize();
    // The scheme must be known before the engine's context is made, that
    // is before the first profile or page: here, as the module loads.
    QWebEngineUrlScheme S(PreviewScheme);
    S.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    S.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(S);
    // The engine refuses a registration it gets too late, with a warning.
    SchemeRegistered = QWebEngineUrlScheme::schemeByName(PreviewScheme).name() == PreviewScheme;
  }
  std::unique_ptr<TPreviewPage> NewPage(QWidget *Parent, TPreviewEvents Events) override {
    FRunning = true;
    return std::make_unique<TEnginePage>(*this, Parent, std::move(Events));
  }
  bool Running() const override { return FRunning; }
  // Made with the first page: the default profile is the engine's context.
  TPreviewSchemeHandler *Handler() {
    if (!FHandler) {
      FHandler = new TPreviewSchemeHandler;
      QWebEngineProfile::defaultProfile()->installUrlSchemeHandler(PreviewScheme, FHandler);
    }
    return FHandler;
  }
  bool SchemeRegistered = false;
  std::atomic<int> DocSeq{0};

 private:
  TPreviewSchemeHandler *FHandler = nullptr;
  bool FRunning = false;
};

TEnginePage::TEnginePage(TEngine &Engine, QWidget *Parent, TPreviewEvents Events) : FEngine(Engine) {
  if (FEngine.SchemeRegistered) FEngine.Handler();
  FView = new QWebEngineView(Parent);
  FView->setObjectName(QStringLiteral("WB_PreviewView"));
  FPage = new TPage(std::move(Events), FView);
  FView->setPage(FPage);
  QWebEngineSettings *S = FPage->settings();
  S->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
  S->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  S->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  S->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
  TPage *P = FPage;
  QObject::connect(FPage, &QWebEnginePage::loadFinished, FPage, [P](bool) {
    if (P->Events.LoadFinished) P->Events.LoadFinished();
  });
}

bool TEnginePage::LoadHtml(const QByteArray &Html) {
  if (!FPage) return false;
  if (FEngine.SchemeRegistered) {
    TPreviewSchemeHandler *H = FEngine.Handler();
    QString Path = QStringLiteral("/doc%1").arg(FEngine.DocSeq.fetch_add(1));
    H->Docs.clear();  // one preview document at a time is enough
    H->Docs.insert(Path, Html);
    Load(QUrl(QStringLiteral("%1:%2").arg(QString::fromLatin1(PreviewScheme), Path)));
    return true;
  }
  // Without the scheme the content goes through a data: URL, which the
  // engine limits to 2 MB.
  if (Html.size() > (2 << 20) - 1024) return false;
  FPage->OwnLoad = true;
  FPage->setContent(Html, QStringLiteral("text/html;charset=utf-8"));
  return true;
}

}  // namespace

extern "C" Q_DECL_EXPORT TPreviewEngine *MossPreviewEngine(int InterfaceVersion) {
  if (InterfaceVersion != PreviewInterfaceVersion) return nullptr;
  static TEngine Engine;
  return &Engine;
}
