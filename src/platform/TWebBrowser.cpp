#include "platform/TWebBrowser.h"

#include <unistd.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QTextBrowser>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>
#include <atomic>

#include "platform/TUrlCache.h"
#include "platform/uLocalFile.h"
#include "pub/Unit_Pub.h"

namespace {

constexpr const char *PreviewScheme = "mgpreview";
// As large as a page the browser can hand over.
constexpr size_t MaxLightDocBytes = size_t{64} << 20;
bool SchemeRegistered = false;

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

TPreviewSchemeHandler *SchemeHandler() {
  static TPreviewSchemeHandler *H = [] {
    auto *Handler = new TPreviewSchemeHandler;
    QWebEngineProfile::defaultProfile()->installUrlSchemeHandler(PreviewScheme, Handler);
    return Handler;
  }();
  return H;
}

std::atomic<int> DocSeq{0};

}  // namespace

class TWebEngineBrowser::TPage : public QWebEnginePage {
 public:
  TPage(TWebEngineBrowser &Owner, QObject *Parent) : QWebEnginePage(Parent), FOwner(Owner) {}
  bool OwnLoad = false;  // the next main-frame navigation is the control's own

 protected:
  bool acceptNavigationRequest(const QUrl &Url, NavigationType Type, bool IsMainFrame) override {
    if (IsMainFrame && OwnLoad) {
      OwnLoad = false;
      return true;
    }
    (void)Type;
    // Everything else the page asks for is refused; the owner may look at it.
    bool Cancel = true;
    if (IsMainFrame && FOwner.OnBeforeNavigate) FOwner.OnBeforeNavigate(Url, Cancel);
    return false;
  }
  QWebEnginePage *createWindow(WebWindowType) override {
    bool Cancel = true;
    if (FOwner.OnNewWindow) FOwner.OnNewWindow(Cancel);
    return nullptr;
  }

 private:
  TWebEngineBrowser &FOwner;
};

void TWebEngineBrowser::PrepareEngine() {
  // The engine's own sandbox cannot run as root; the preview runs no scripts.
  if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  if (!SchemeRegistered) {
    QWebEngineUrlScheme S(PreviewScheme);
    S.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    S.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(S);
    SchemeRegistered = true;
  }
}

TWebEngineBrowser::TWebEngineBrowser(QWidget *Parent) {
  FView = new QWebEngineView(Parent);
  FView->setObjectName(QStringLiteral("WB_Preview"));
  FPage = new TPage(*this, FView);
  FView->setPage(FPage);
  QWebEngineSettings *S = FPage->settings();
  S->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
  S->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  S->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  S->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
  connect(FPage, &QWebEnginePage::loadFinished, this, [this](bool) {
    FReady = 4;
    FHasDoc = true;
    if (OnDocumentComplete) OnDocumentComplete();
  });
}

TWebEngineBrowser::~TWebEngineBrowser() = default;

QWidget *TWebEngineBrowser::Widget() const { return FView; }

void TWebEngineBrowser::Navigate(const QUrl &Url) {
  FReady = 1;
  FOwnUrl = Url;
  FPage->OwnLoad = true;
  FPage->load(Url);
}

int TWebEngineBrowser::LoadStream(const std::string &Html) {
  if (!FHasDoc) return 1;
  QByteArray Bytes(Html.data(), static_cast<qsizetype>(Html.size()));
  FReady = 1;
  FPage->OwnLoad = true;
  if (SchemeRegistered) {
    TPreviewSchemeHandler *H = SchemeHandler();
    QString Path = QStringLiteral("/doc%1").arg(DocSeq.fetch_add(1));
    H->Docs.clear();  // one preview document at a time is enough
    H->Docs.insert(Path, Bytes);
    FOwnUrl = QUrl(QStringLiteral("%1:%2").arg(QString::fromLatin1(PreviewScheme), Path));
    FPage->load(FOwnUrl);
    return 0;
  }
  // Without the scheme the content goes through a data: URL, which the
  // engine limits to 2 MB.
  if (Bytes.size() > (2 << 20) - 1024) {
    FReady = 4;
    FPage->OwnLoad = false;
    return 1;
  }
  FPage->setContent(Bytes, QStringLiteral("text/html;charset=utf-8"));
  return 0;
}

QUrl TWebEngineBrowser::Location() const { return FPage->url(); }

void TWebEngineBrowser::ToPlainText(const std::function<void(const QString &)> &Done) const {
  FPage->toPlainText([Done](const QString &T) { Done(T); });
}

// The light engine's view: pictures from local files and the URL cache.
class TLightBrowser::TView : public QTextBrowser {
 public:
  explicit TView(QWidget *Parent) : QTextBrowser(Parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }
  QString Html;

 protected:
  QVariant loadResource(int Type, const QUrl &Name) override {
    // A local file is read here, through the safe reader, and the answer is
    // never empty: given nothing, the document opens the file itself and
    // reads it to its end, a FIFO or /dev/zero as well.
    if (Name.isLocalFile()) {
      std::string Bytes;
      bool Read = ReadWholeFile(Name.toLocalFile().toStdString(), Bytes, TUrlCache::MaxEntryBytes);
      if (Type == QTextDocument::ImageResource) return Read ? QImage::fromData(QByteArray::fromStdString(Bytes)) : QImage();
      return QByteArray::fromStdString(Bytes);
    }
    if (Type != QTextDocument::ImageResource) return QTextBrowser::loadResource(Type, Name);
    std::string Bytes, Local = TUrlCache::Default().LocalFile(Name.toString().toStdString());
    if (!Local.empty() && ReadWholeFile(Local, Bytes, TUrlCache::MaxEntryBytes)) {
      QImage Img = QImage::fromData(QByteArray::fromStdString(Bytes));
      if (!Img.isNull()) return Img;
    }
    if (Name.scheme() == QStringLiteral("http") || Name.scheme() == QStringLiteral("https")) Fetch(Name);
    return {};
  }

 private:
  // Once per address: the bytes go into the URL cache and the view redraws.
  void Fetch(const QUrl &Url) {
    static QSet<QString> Asked;
    if (Asked.contains(Url.toString())) return;
    Asked.insert(Url.toString());
    static QNetworkAccessManager *Net = new QNetworkAccessManager(QCoreApplication::instance());
    QNetworkReply *R = Net->get(QNetworkRequest(Url));
    QPointer<TView> Self(this);
    connect(R, &QNetworkReply::finished, R, [R, Url, Self] {
      R->deleteLater();
      if (R->error() != QNetworkReply::NoError) return;
      QByteArray B = R->readAll();
      try {
        TUrlCache::Default().Store(Url.toString().toStdString(), B.toStdString());
      } catch (const std::exception &) {
        return;
      }
      if (Self) Self->setHtml(Self->Html);
    });
  }
};

TLightBrowser::TLightBrowser(QWidget *Parent) { FView = new TView(Parent); }

TLightBrowser::~TLightBrowser() = default;

QWidget *TLightBrowser::Widget() const { return FView; }

QTextBrowser *TLightBrowser::Text() const { return FView; }

void TLightBrowser::Navigate(const QUrl &Url) {
  FUrl = Url;
  FHasDoc = true;
  if (!FView) return;
  if (Url.isLocalFile()) {
    std::string Bytes;
    FView->Html =
        ReadWholeFile(Url.toLocalFile().toStdString(), Bytes, MaxLightDocBytes) ? QString::fromStdString(Bytes) : QString();
  } else {
    FView->Html.clear();
  }
  FView->setHtml(FView->Html);
  if (OnDocumentComplete) OnDocumentComplete();
}

int TLightBrowser::LoadStream(const std::string &Html) {
  if (!FView) return 1;
  FHasDoc = true;
  FView->Html = QString::fromStdString(Html);
  FView->setHtml(FView->Html);
  if (OnDocumentComplete) OnDocumentComplete();
  return 0;
}
