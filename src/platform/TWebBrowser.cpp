#include "platform/TWebBrowser.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/TPreviewEngine.h"
#include "platform/TUrlCache.h"
#include "platform/uLocalFile.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"

namespace {

// As large as a page the browser can hand over.
constexpr size_t MaxLightDocBytes = size_t{64} << 20;
constexpr const char *PreviewModuleFile = "mosspreview.so";

// Where the preview module is: the file MOSSGATHER_PREVIEW_MODULE names, or
// next to the program file (the build tree, the program folder of an
// install), or in lib/mossgather/ beside the program's bin/.
std::string PreviewModulePath(std::string &Why) {
  const QString Named = qEnvironmentVariable("MOSSGATHER_PREVIEW_MODULE");
  if (!Named.isEmpty()) return Named.toStdString();
  const QString Dir = QCoreApplication::applicationDirPath();
  const QString Candidates[] = {Dir + QLatin1Char('/') + QLatin1String(PreviewModuleFile),
                                Dir + QStringLiteral("/../lib/mossgather/") + QLatin1String(PreviewModuleFile)};
  for (const QString &C : Candidates)
    if (QFileInfo(C).isFile()) return QFileInfo(C).absoluteFilePath().toStdString();
  Why = std::string(PreviewModuleFile) + " is neither in " + Dir.toStdString() + "/ nor in " + Dir.toStdString() +
        "/../lib/mossgather/";
  return {};
}

// Qt WebEngine, loaded after the application object, warns that the
// OpenGL sharing it wants had to be set before that object, and sets it
// all the same. The preview draws in software and shares no context; who
// asks for the GPU has the sharing set in time (PrepareEngine). These two
// warnings are quiet while the module loads; every other message goes on.
QtMessageHandler OuterHandler = nullptr;
void QuietLateGlWarnings(QtMsgType Type, const QMessageLogContext &Ctx, const QString &Msg) {
  if (Type == QtWarningMsg && (Msg.contains(QLatin1String("initialized from a plugin")) ||
                               Msg.contains(QLatin1String("AA_ShareOpenGLContexts must be set before"))))
    return;
  if (OuterHandler)
    OuterHandler(Type, Ctx, Msg);
  else
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(Type, Ctx, Msg)));
}

// The files mapped into this process: the path of each mapping of a file.
std::set<std::string> MappedFiles() {
  std::set<std::string> Files;
  std::ifstream Maps("/proc/self/maps");
  for (std::string Line; std::getline(Maps, Line);) {
    const size_t Slash = Line.find(" /");
    if (Slash != std::string::npos) Files.insert(Line.substr(Slash + 1));
  }
  return Files;
}

// What was mapped before the engine's module loaded; what came since is the
// engine's.
std::set<std::string> &MappedBeforeEngine() {
  static std::set<std::string> Before;
  return Before;
}

// Pages of the engine made and not yet given up, over every control.
int LivePages = 0;
// How long after the last page went its code is given back: time for the
// engine to take the page down, which runs that code again.
constexpr int GiveBackDelayMs = 3000;

std::map<std::string, TPreviewEngine *> &LoadedEngines() {
  static std::map<std::string, TPreviewEngine *> Loaded;
  return Loaded;
}

// The engine of the module, loaded once for each path it may come from;
// null when it cannot be, with the reason in the log (once for each path).
// A module once loaded stays: Qt WebEngine cannot be unloaded.
TPreviewEngine *LoadPreviewEngine() {
  auto &Loaded = LoadedEngines();
  std::string Why;
  const std::string Path = PreviewModulePath(Why);
  auto It = Loaded.find(Path);
  if (It != Loaded.end()) return It->second;
  TPreviewEngine *Engine = nullptr;
  if (!Path.empty()) {
    if (MappedBeforeEngine().empty()) MappedBeforeEngine() = MappedFiles();
    OuterHandler = qInstallMessageHandler(QuietLateGlWarnings);
    if (void *H = ::dlopen(Path.c_str(), RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE)) {
      auto Entry = reinterpret_cast<TPreviewEntry>(::dlsym(H, PreviewEntryName));
      if (!Entry)
        Why = Path + " is not the preview module: " + PreviewEntryName + " is missing";
      else if (!(Engine = Entry(PreviewInterfaceVersion)))
        Why = Path + " belongs to another version of the program";
    } else {
      const char *E = ::dlerror();
      Why = E ? E : Path + " cannot be loaded";
    }
    qInstallMessageHandler(OuterHandler);
  }
  if (!Engine) Log::Err("The HTML preview is not available, its web engine module cannot be loaded: " + Why, true);
  Loaded.emplace(Path, Engine);
  return Engine;
}

// The engine already loaded from where the module is looked for; null when
// none is (the module is not loaded here).
TPreviewEngine *LoadedPreviewEngine() {
  std::string Why;
  auto It = LoadedEngines().find(PreviewModulePath(Why));
  return It == LoadedEngines().end() ? nullptr : It->second;
}

}  // namespace

bool TWebBrowser::FireBeforeNavigate(const QUrl &Url, bool Cancel) {
  emit BeforeNavigate(Url, &Cancel);
  return !Cancel;
}

void TWebBrowser::FireDocumentComplete() { emit DocumentComplete(); }

std::string TWebEngineBrowser::EngineFlags(const std::string &Given, bool SandboxOff) {
  std::vector<std::string> Words;
  for (size_t At = 0; At < Given.size();) {
    const size_t Start = Given.find_first_not_of(" \t", At);
    if (Start == std::string::npos) break;
    const size_t End = std::min(Given.find_first_of(" \t", Start), Given.size());
    Words.push_back(Given.substr(Start, End - Start));
    At = End;
  }
  const auto Has = [&Words](const std::string &Flag) {
    return std::any_of(Words.begin(), Words.end(),
                       [&Flag](const std::string &W) { return W == Flag || W.rfind(Flag + "=", 0) == 0; });
  };
  std::string Flags = Given;
  const auto Add = [&](const std::string &Flag) {
    if (Has(Flag)) return;
    if (!Flags.empty() && Flags.back() != ' ') Flags += ' ';
    Flags += Flag;
  };
  // Unsandboxed, the engine's zygote only forks the page's process; it
  // would stay for the program's life (two processes, some 100 MB) after the
  // last preview closed. Without it the page's process is started directly
  // and ends with the page. The sandbox needs the zygote.
  if (SandboxOff || Has("--no-sandbox")) Add("--no-zygote");
  return Flags;
}

void TWebEngineBrowser::PrepareEngine() {
  // The engine's own sandbox cannot run as root; the preview runs no scripts.
  if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  // What the user set stays; ours is added after it.
  const QByteArray Given = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  const std::string Flags = EngineFlags(Given.toStdString(), qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"));
  if (Flags != Given.toStdString()) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", QByteArray::fromStdString(Flags));
  // The preview draws in software. The engine would otherwise make a shared
  // OpenGL context as the program starts, loading the GL driver (without a
  // GPU driver that is Mesa's LLVM, some 50 MB) for a window that may never
  // show. Whoever wants the GPU says so with QT_QUICK_BACKEND.
  if (qEnvironmentVariableIsSet("QT_QUICK_BACKEND")) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  } else {
    qputenv("QT_QUICK_BACKEND", "software");
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION")) qputenv("QT_XCB_GL_INTEGRATION", "none");
  }
}

TWebEngineBrowser::TWebEngineBrowser(QWidget *Parent) {
  FBox = new QWidget(Parent);
  FBox->setObjectName(QStringLiteral("WB_Preview"));
  auto *L = new QVBoxLayout(FBox);
  L->setContentsMargins(0, 0, 0, 0);
}

TWebEngineBrowser::~TWebEngineBrowser() {
  if (FPage) PageGone();
}

void TWebEngineBrowser::PageGone() {
  if (--LivePages > 0 || !qApp) return;
  QTimer::singleShot(GiveBackDelayMs, qApp, [] {
    if (LivePages == 0) GiveBackEngineCode();
  });
}

size_t TWebEngineBrowser::GiveBackEngineCode() {
  const std::set<std::string> &Before = MappedBeforeEngine();
  if (Before.empty()) return 0;  // the engine was never loaded
  // A private mapping that was never written to (no anonymous page in it)
  // holds nothing but the file's own pages: dropping them loses nothing,
  // and the next use maps them again from the page cache, where they stay
  // until the system needs the room. A written one (relocated data) is
  // left alone: its pages are the only copy.
  struct TRange {
    uintptr_t From, To;
  };
  std::vector<TRange> Clean;
  std::ifstream Smaps("/proc/self/smaps");
  TRange Cur{0, 0};
  bool Candidate = false;
  for (std::string Line; std::getline(Smaps, Line);) {
    unsigned long long From = 0, To = 0;
    char Perms[5] = {};
    int Path = 0;
    if (std::sscanf(Line.c_str(), "%llx-%llx %4s %*s %*s %*s %n", &From, &To, Perms, &Path) >= 3 && Path > 0 &&
        Line[Path - 1] == ' ') {
      const std::string File = Line.substr(static_cast<size_t>(Path));
      Cur = {static_cast<uintptr_t>(From), static_cast<uintptr_t>(To)};
      Candidate = !File.empty() && File[0] == '/' && Perms[1] == '-' && Perms[3] == 'p' && !Before.count(File);
      continue;
    }
    unsigned long long Kb = 0;
    if (Candidate && std::sscanf(Line.c_str(), "Anonymous: %llu kB", &Kb) == 1) {
      if (Kb == 0) Clean.push_back(Cur);
      Candidate = false;
    }
  }
  size_t Bytes = 0;
  for (const TRange &R : Clean)
    if (::madvise(reinterpret_cast<void *>(R.From), R.To - R.From, MADV_DONTNEED) == 0) Bytes += R.To - R.From;
  return Bytes;
}

TPreviewPage *TWebEngineBrowser::Page() {
  if (FPage) return FPage.get();
  if (!FBox) return nullptr;
  TPreviewEngine *Engine = LoadPreviewEngine();
  if (!Engine) {
    ShowUnavailable();
    return nullptr;
  }
  TPreviewEvents Events;
  Events.LoadFinished = [this] {
    FReady = 4;
    FHasDoc = true;
    FireDocumentComplete();
  };
  Events.NavigationRefused = [this](const QUrl &Url) { FireBeforeNavigate(Url, true); };
  Events.NewWindowRefused = [this] {
    bool Cancel = true;
    emit NewWindow(&Cancel);
  };
  FPage = Engine->NewPage(FBox, std::move(Events));
  ++LivePages;
  // A module found since the last try takes the note's place.
  delete FBox->findChild<QLabel *>(QStringLiteral("WB_PreviewNote"));
  FBox->layout()->addWidget(FPage->View());
  return FPage.get();
}

void TWebEngineBrowser::ShowUnavailable() {
  if (FBox->findChild<QLabel *>(QStringLiteral("WB_PreviewNote"))) return;
  auto *Note = new QLabel(QStringLiteral("The preview is not available: its web engine module cannot be loaded (the "
                                         "log says why). Saving works all the same."),
                          FBox);
  Note->setObjectName(QStringLiteral("WB_PreviewNote"));
  Note->setWordWrap(true);
  Note->setAlignment(Qt::AlignCenter);
  Note->setMargin(12);
  FBox->layout()->addWidget(Note);
  Note->show();
}

bool TWebEngineBrowser::LoadEngine() { return LoadPreviewEngine() != nullptr; }

bool TWebEngineBrowser::EngineRunning() {
  TPreviewEngine *Engine = LoadedPreviewEngine();
  return Engine && Engine->Running();
}

bool TWebEngineBrowser::WaitForWindow(const QUrl &Url) {
  QWindow *W = FBox && FBox->isVisible() && FBox->window() ? FBox->window()->windowHandle() : nullptr;
  if (!W || W->isExposed()) return false;
  TPreviewEngine *Engine = LoadPreviewEngine();
  if (!Engine || Engine->Running()) return false;
  FPendingUrl = Url;
  FReady = 1;
  if (FWaitWindow != W) {
    if (FWaitWindow) FWaitWindow->removeEventFilter(this);
    FWaitWindow = W;
    W->installEventFilter(this);
  }
  return true;
}

bool TWebEngineBrowser::eventFilter(QObject *Watched, QEvent *E) {
  if (Watched == FWaitWindow && E->type() == QEvent::Expose && FWaitWindow->isExposed()) {
    FWaitWindow->removeEventFilter(this);
    FWaitWindow = nullptr;
    // The window draws itself on this event; the engine starts after that.
    QTimer::singleShot(0, this, [this] {
      if (FPendingUrl.isEmpty() || FPage) return;
      const QUrl Url = FPendingUrl;
      FPendingUrl = QUrl();
      Navigate(Url);
    });
  }
  return TWebBrowser::eventFilter(Watched, E);
}

void TWebEngineBrowser::Warm() {
  if (FPage) return;
  // A blank page starts the page's own helper process as well.
  Navigate(QUrl(QStringLiteral("about:blank")));
}

void TWebEngineBrowser::Release() {
  // A navigation put off is dropped with the window it waited for.
  FPendingUrl = QUrl();
  if (FWaitWindow) FWaitWindow->removeEventFilter(this);
  FWaitWindow = nullptr;
  if (!FPage) {
    if (FReady == 1 && !FHasDoc) FReady = 0;
    return;
  }
  // A load that ends before the page is gone must not mark a document.
  FPage.reset();
  PageGone();
  FReady = 0;
  FHasDoc = false;
}

QWidget *TWebEngineBrowser::Widget() const { return FBox; }

void TWebEngineBrowser::Navigate(const QUrl &Url) {
  if (!FPage && WaitForWindow(Url)) return;
  TPreviewPage *P = Page();
  if (!P) {
    // Nothing to wait for: the control shows its note as its document.
    FReady = 4;
    FHasDoc = true;
    FireDocumentComplete();
    return;
  }
  FReady = 1;
  P->Load(Url);
}

int TWebEngineBrowser::LoadStream(const std::string &Html) {
  if (!FHasDoc) return 1;
  if (!FPage) return 1;  // no engine: the note stays
  FReady = 1;
  if (FPage->LoadHtml(QByteArray(Html.data(), static_cast<qsizetype>(Html.size())))) return 0;
  FReady = 4;
  return 1;
}

QUrl TWebEngineBrowser::Location() const { return FPage ? FPage->Url() : QUrl(); }

void TWebEngineBrowser::ToPlainText(const std::function<void(const QString &)> &Done) const {
  if (!FPage) {
    Done(QString());
    return;
  }
  FPage->ToPlainText(Done);
}

// The light engine's view: a widget that draws its document, with the
// pictures the thumbnail loader makes. Only what is painted asks for its
// picture, so a box of hundreds of thumbnails shows its first screen first.
class TLightBrowser::TView : public QWidget {
 public:
  TView(TLightBrowser &Owner, QWidget *Parent) : QWidget(Parent), FOwner(Owner), FDoc(new TDoc(*this)) {
    FDoc->setDocumentMargin(0);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

  void SetHtml(const QString &Html) {
    FWanted.clear();
    FDoc->setHtml(Html);
    // The thumbnail page asks for a one-pixel frame round its body, which
    // the document model has no place for; the view draws it.
    static const QRegularExpression Border(QStringLiteral("border-width:1px;border-color:#?([0-9a-fA-F]{6});border-style:solid"));
    QRegularExpressionMatch M = Border.match(Html);
    FFrame = M.hasMatch() ? QColor(QStringLiteral("#") + M.captured(1)) : QColor();
    FMovie = MovieOf(Html);
    Layout();
    update();
  }
  QTextDocument *Doc() const { return FDoc; }
  const QString &Movie() const { return FMovie; }

 protected:
  void paintEvent(QPaintEvent *) override {
    QPainter P(this);
    P.fillRect(rect(), Qt::white);
    const int B = FFrame.isValid() ? 1 : 0;
    if (B) {
      P.setPen(FFrame);
      P.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    P.translate(B, B);
    const QRect Inner(0, 0, width() - 2 * B, height() - 2 * B);
    if (FMovie.isNull())
      FDoc->drawContents(&P, Inner);
    else
      DrawMovie(P, Inner);
  }
  void resizeEvent(QResizeEvent *E) override {
    QWidget::resizeEvent(E);
    Layout();
  }
  void mouseReleaseEvent(QMouseEvent *E) override {
    const int B = FFrame.isValid() ? 1 : 0;
    const QString A = E->button() == Qt::LeftButton ? FDoc->documentLayout()->anchorAt(E->position() - QPointF(B, B)) : QString();
    if (!A.isEmpty()) FOwner.Navigate(QUrl(A));  // a link click navigates, which the owner may refuse
    E->ignore();
  }

 private:
  class TDoc : public QTextDocument {
   public:
    explicit TDoc(TView &V) : QTextDocument(&V), FView(V) {}

   protected:
    QVariant loadResource(int Type, const QUrl &Name) override {
      // A thumbnail page needs no other resource, and the document's own
      // loader would read a local file to its end, a FIFO or a device too.
      if (Type != QTextDocument::ImageResource) return {};
      return FView.Picture(Name);
    }

   private:
    TView &FView;
  };

  void Layout() { FDoc->setTextWidth(std::max(0, width() - (FFrame.isValid() ? 2 : 0))); }

  // A picture of the page: its address as the page wrote it, and the size
  // the page draws it at (invalid when the page does not say).
  struct TImage {
    QString Written;
    QSize Size;
  };
  TImage FindImage(const QUrl &Name) const {
    for (QTextBlock B = FDoc->begin(); B.isValid(); B = B.next())
      for (auto It = B.begin(); !It.atEnd(); ++It) {
        const QTextCharFormat F = It.fragment().charFormat();
        if (!F.isImageFormat()) continue;
        const QTextImageFormat I = F.toImageFormat();
        if (QUrl(I.name()) != Name) continue;
        if (!I.hasProperty(QTextFormat::ImageWidth) || !I.hasProperty(QTextFormat::ImageHeight)) return {I.name(), {}};
        return {I.name(), QSize(qRound(I.width()), qRound(I.height()))};
      }
    return {Name.toString(QUrl::FullyEncoded), {}};
  }

  // Where a picture comes from: an http(s) address exactly as written (the
  // URL cache knows it by that), a file of the URL cache, or another local
  // file when the control may read those; empty when it may not.
  QString SourceOf(const QUrl &Name, const QString &Written) const {
    const QString Scheme = Name.scheme().toLower();
    if (Scheme == QStringLiteral("http") || Scheme == QStringLiteral("https")) return Written.trimmed();
    if (Scheme != QStringLiteral("file")) return {};
    const QString Path = Name.toLocalFile();
    const QString Cache = QString::fromStdString(TUrlCache::Default().Root());
    if (FOwner.LocalFiles || (Path.startsWith(Cache) && !Path.contains(QStringLiteral("/../")))) return Path;
    return {};
  }

  QVariant Picture(const QUrl &Name) {
    const TImage Img = FindImage(Name);
    const QSize Size = Img.Size;
    const QString Source = SourceOf(Name, Img.Written);
    if (Source.isEmpty()) return Placeholder(Size, false);
    FWanted.insert(Name);
    TLightPictures *Pictures = TLightPictures::Installed();
    if (!Pictures) return Placeholder(Size, false);
    QPointer<TView> Self(this);
    TLightPictures::TPicture T = Pictures->Get(
        Source, Size, FOwner.Referer, this,
        [Self, Name] {
          if (Self) Self->Arrive(Name);
        },
        true);
    if (T.State == TLightPictures::TState::Ready) return T.Image;
    return Placeholder(Size, T.State == TLightPictures::TState::Waiting);
  }

  void Arrive(const QUrl &Name) {
    if (!FWanted.contains(Name)) return;  // the view shows another page by now
    const TImage Img = FindImage(Name);
    const QSize Size = Img.Size;
    TLightPictures *Pictures = TLightPictures::Installed();
    TLightPictures::TPicture T;
    if (Pictures) T = Pictures->Get(SourceOf(Name, Img.Written), Size, FOwner.Referer);
    FDoc->addResource(QTextDocument::ImageResource, Name,
                      Pictures && T.State == TLightPictures::TState::Ready ? QVariant(T.Image) : Placeholder(Size, false));
    update();
  }

  // A quiet fill while the picture is on its way; a marked box with "not
  // available" when it cannot come, so that no panel looks broken.
  static QVariant Placeholder(QSize Size, bool Waiting) {
    QImage Img(std::max(Size.width(), 1), std::max(Size.height(), 1), QImage::Format_RGB32);
    Img.fill(Waiting ? QColor(236, 236, 236) : QColor(246, 244, 240));
    if (!Waiting && Img.width() >= 8 && Img.height() >= 8) {
      QPainter P(&Img);
      P.setRenderHint(QPainter::Antialiasing);
      P.setPen(QPen(QColor(150, 140, 130), 1));
      const QRectF R = QRectF(Img.rect()).adjusted(2.5, 2.5, -2.5, -2.5);
      QFont F = P.font();
      F.setPixelSize(11);
      P.setFont(F);
      if (Img.width() >= 80 && Img.height() >= 24) {
        P.drawText(R, Qt::AlignCenter, QStringLiteral("Picture not available"));
      } else {
        P.drawLine(R.topLeft(), R.bottomRight());
        P.drawLine(R.topRight(), R.bottomLeft());
      }
    }
    return Img;
  }

  // No plug-in player runs here: a page that embeds the movie player shows
  // the movie's file name on a film-dark field with a play mark instead.
  // Null when the page embeds no player.
  static QString MovieOf(const QString &Html) {
    static const QRegularExpression Player(
        QStringLiteral(
            "<object[^>]*clsid:d27cdb6e-ae6d-11cf-96b8-444553540000[^>]*>.*?<param\\s+name=\"movie\"\\s+value=\"([^\"]*)\""),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch M = Player.match(Html);
    if (!M.hasMatch()) return {};
    QString Movie = M.captured(1);
    Movie.replace(QStringLiteral("&quot;"), QStringLiteral("\"")).replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    Movie.replace(QStringLiteral("&gt;"), QStringLiteral(">")).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    Movie = Movie.section(QLatin1Char('?'), 0, 0).section(QLatin1Char('#'), 0, 0);
    Movie = QUrl::fromPercentEncoding(Movie.section(QLatin1Char('/'), -1).toUtf8());
    return Movie.isEmpty() ? QStringLiteral("movie") : Movie;
  }

  void DrawMovie(QPainter &P, const QRect &R) const {
    P.fillRect(R, QColor(38, 42, 52));
    if (R.width() < 12 || R.height() < 12) return;
    P.setRenderHint(QPainter::Antialiasing);
    const bool Room = R.height() >= 40;
    const int S = std::min({R.width(), R.height(), 60}) / (Room ? 3 : 2);
    const QPointF C(R.center().x() + 1, Room ? R.top() + R.height() * 0.4 : R.center().y());
    const QPointF Tri[] = {{C.x() - S * 0.4, C.y() - S * 0.5}, {C.x() - S * 0.4, C.y() + S * 0.5}, {C.x() + S * 0.55, C.y()}};
    P.setPen(Qt::NoPen);
    P.setBrush(QColor(235, 235, 235));
    P.drawPolygon(Tri, 3);
    if (!Room) return;
    QFont F = P.font();
    F.setPixelSize(11);
    P.setFont(F);
    P.setPen(QColor(235, 235, 235));
    const QRect Line(R.left() + 3, R.bottom() - 16, R.width() - 6, 14);
    P.drawText(Line, Qt::AlignHCenter | Qt::AlignVCenter, QFontMetrics(F).elidedText(FMovie, Qt::ElideMiddle, Line.width()));
  }

  TLightBrowser &FOwner;
  TDoc *FDoc;
  QColor FFrame;
  QString FMovie;
  QSet<QUrl> FWanted;
};

namespace {
TLightPictures *InstalledPictures = nullptr;
}  // namespace

void TLightPictures::Install(TLightPictures *Source) { InstalledPictures = Source; }

TLightPictures *TLightPictures::Installed() { return InstalledPictures; }

TLightBrowser::TLightBrowser(QWidget *Parent) {
  FView = new TView(*this, Parent);
  // Freed with the widget it draws into.
  setParent(Parent);
}

TLightBrowser::~TLightBrowser() = default;

QWidget *TLightBrowser::Widget() const { return FView; }

QTextDocument *TLightBrowser::Document() const { return FView ? FView->Doc() : nullptr; }

QString TLightBrowser::MovieShown() const { return FView ? FView->Movie() : QString(); }

void TLightBrowser::Navigate(const QUrl &Url) {
  if (!FireBeforeNavigate(Url, false)) return;
  FUrl = Url;
  FHasDoc = true;
  if (!FView) return;
  QString Html;
  // Only a page from the local disk may show another local file.
  if (Url.isLocalFile() && LocalFiles) {
    std::string Bytes;
    if (ReadWholeFile(Url.toLocalFile().toStdString(), Bytes, MaxLightDocBytes)) Html = QString::fromStdString(Bytes);
  }
  FView->SetHtml(Html);
  FireDocumentComplete();
}

int TLightBrowser::LoadStream(const std::string &Html) {
  if (!FView) return 1;
  FHasDoc = true;
  FView->SetHtml(QString::fromStdString(Html));
  FireDocumentComplete();
  return 0;
}
