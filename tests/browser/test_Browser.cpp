#include <gtest/gtest.h>
#include <qpa/qwindowsysteminterface.h>
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "editors/uThumbLoader.h"
#include "platform/TMainThread.h"
#include "platform/TPageSnapshot.h"
#include "platform/TUrlCache.h"
#include "platform/TWebBrowser.h"
#include "pub/Unit_Log.h"
#include "support/TQtSupport.h"
#include "support/TScriptHttpServer.h"
#include "support/TSnapshotBuilder.h"
#include "support/TestSupport.h"
#include "ui/Unit_PubWB.h"

namespace {

// The engine's view, made by the preview module.
QWidget *ViewIn(const QWidget &W) { return W.findChild<QWidget *>(QStringLiteral("WB_PreviewView")); }
qsizetype ViewsIn(const QWidget &W) { return W.findChildren<QWidget *>(QStringLiteral("WB_PreviewView")).size(); }

QString PreviewText(TWebEngineBrowser &B) {
  // The text may come after the wait gave up: it then lands in state the
  // callback shares, never in this function's finished frame.
  auto Text = std::make_shared<std::optional<QString>>();
  B.ToPlainText([Text](const QString &T) { *Text = T; });
  if (!SpinUntil([&] { return Text->has_value(); }, 60000)) ADD_FAILURE() << "gave up waiting for the preview's text";
  return Text->value_or(QString());
}

// A control whose document never completes.
class TStuckBrowser : public TWebBrowser {
 public:
  QWidget *Widget() const override { return nullptr; }
  void Navigate(const QUrl &) override { ++Navigations; }
  int ReadyState() const override { return 1; }
  bool HasDocument() const override { return false; }
  int LoadStream(const std::string &) override { return 0; }
  QUrl Location() const override { return {}; }
  int Navigations = 0;
};

struct BrowserFixture : ::testing::Test {
  TTempDir Dir;
  TLogger Log{Dir.File("log.txt")};
  QWidget Host;
  void SetUp() override {
    SetLogger(&Log);
    // The light engine's pictures come from the program's loader.
    TThumbLoader::Default().Release();
  }
  void TearDown() override { SetLogger(nullptr); }
  std::string LogText() {
    Log.FlushToFile();
    return ReadFile(Dir.File("log.txt"));
  }
};

}  // namespace

// The waits below are limits against hanging, not measures of speed: a busy
// machine takes seconds to lay out a page of megabytes.
TEST_F(BrowserFixture, ThePreviewLoadsTextWithoutAFileAfterBlankingItself) {
  TWebEngineBrowser B(&Host);
  EXPECT_FALSE(B.HasDocument());
  // No document yet: the stream load blanks the control first.
  EXPECT_EQ(WB_LoadHtml_Stream(&B, "<html><body><p>Hello preview</p></body></html>"), 0);
  EXPECT_TRUE(B.HasDocument());
  EXPECT_TRUE(WaitWBRdy(&B, 60));
  EXPECT_EQ(PreviewText(B).trimmed(), QStringLiteral("Hello preview"));
  // A text beyond the 2 MB of a data: URL loads just the same.
  std::string Big = "<html><body><p>" + std::string(3 << 20, 'x') + "</p><p>end</p></body></html>";
  EXPECT_EQ(WB_LoadHtml_Stream(&B, Big), 0);
  EXPECT_TRUE(WaitWBRdy(&B, 120)) << "the 3 MB page to load";
  EXPECT_TRUE(PreviewText(B).endsWith(QStringLiteral("end")));
  EXPECT_EQ(WB_LoadHtml_Stream(&B, ""), 0);
  EXPECT_TRUE(WaitWBRdy(&B, 60));
  EXPECT_EQ(PreviewText(B).trimmed(), QString());
}

// The preview draws without a GPU and without loading a GL driver: what it
// loads reaches the screen.
TEST_F(BrowserFixture, ThePreviewDrawsWhatItLoads) {
  Host.resize(400, 300);
  TWebEngineBrowser B(&Host);
  B.Widget()->setGeometry(0, 0, 400, 300);
  Host.show();
  EXPECT_EQ(WB_LoadHtml_Stream(&B, "<html><body style='margin:0;background:#ff0000'></body></html>"), 0);
  ASSERT_TRUE(WaitWBRdy(&B, 60));
  QWidget *View = ViewIn(*B.Widget());
  ASSERT_NE(View, nullptr);
  QRgb Seen = 0;
  bool Red = SpinUntil(
      [&] {
        QImage I = View->grab().toImage();
        Seen = I.isNull() ? 0 : I.pixel(I.width() / 2, I.height() / 2);
        return qRed(Seen) > 200 && qGreen(Seen) < 50 && qBlue(Seen) < 50;
      },
      60000);
  EXPECT_TRUE(Red) << "gave up waiting for the red page on the screen; the middle pixel is #" << std::hex << Seen;
  Host.hide();
}

// The engine costs a program that waits all day two helper processes; a
// control starts it on its first use, or when warmed ahead of that.
TEST_F(BrowserFixture, ThePreviewStartsTheEngineOnlyWhenUsedOrWarmed) {
  TWebEngineBrowser B(&Host);
  EXPECT_FALSE(B.Started());
  EXPECT_EQ(ViewIn(Host), nullptr);
  EXPECT_EQ(B.LoadStream("<p>too early</p>"), 1);  // no document yet: refused, not started
  EXPECT_EQ(B.Location(), QUrl());
  EXPECT_EQ(PreviewText(B), QString());
  B.Widget()->hide();
  B.Widget()->show();
  EXPECT_FALSE(B.Started());

  B.Warm();
  EXPECT_TRUE(B.Started());
  ASSERT_NE(ViewIn(*B.Widget()), nullptr);
  ASSERT_TRUE(WaitWBRdy(&B, 60));
  EXPECT_TRUE(B.HasDocument());
  B.Warm();  // a second warming does not start over
  EXPECT_EQ(B.ReadyState(), 4);
  EXPECT_EQ(ViewsIn(Host), 1);
  EXPECT_EQ(WB_LoadHtml_Stream(&B, "<html><body><p>warmed</p></body></html>"), 0);
  ASSERT_TRUE(WaitWBRdy(&B, 60));
  EXPECT_EQ(PreviewText(B).trimmed(), QStringLiteral("warmed"));

  // Released with a load under way: the load's end marks nothing, and the
  // next use starts a page of its own.
  EXPECT_EQ(WB_LoadHtml_Stream(&B, "<p>going</p>"), 0);
  B.Release();
  EXPECT_FALSE(B.Started());
  EXPECT_FALSE(B.HasDocument());
  // The view goes once the event loop deletes what was handed to it.
  SpinUntil([&] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return ViewsIn(Host) == 0;
  });
  EXPECT_EQ(ViewsIn(Host), 0);
  EXPECT_FALSE(B.HasDocument());
  EXPECT_EQ(WB_LoadHtml_Stream(&B, "<html><body><p>again</p></body></html>"), 0);
  ASSERT_TRUE(WaitWBRdy(&B, 60));
  EXPECT_EQ(PreviewText(B).trimmed(), QStringLiteral("again"));
}

namespace {
// The engine's helper processes below this one: the --type= of each.
std::vector<std::string> EngineProcesses() {
  std::map<pid_t, std::vector<pid_t>> Children;
  QDir Proc(QStringLiteral("/proc"));
  for (const QString &E : Proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    bool Num = false;
    const pid_t Pid = E.toInt(&Num);
    if (!Num) continue;
    const std::string Stat = ReadFile("/proc/" + E.toStdString() + "/stat");
    const size_t Close = Stat.rfind(')');
    if (Close == std::string::npos) continue;  // ended meanwhile
    std::istringstream Rest(Stat.substr(Close + 2));
    std::string State;
    pid_t Parent = 0;
    Rest >> State >> Parent;
    Children[Parent].push_back(Pid);
  }
  std::vector<std::string> Types;
  std::vector<pid_t> Todo = Children[::getpid()];
  while (!Todo.empty()) {
    const pid_t P = Todo.back();
    Todo.pop_back();
    for (pid_t C : Children[P]) Todo.push_back(C);
    const std::string Cmd = ReadFile("/proc/" + std::to_string(P) + "/cmdline");
    const size_t At = Cmd.find("--type=");
    if (At != std::string::npos) Types.push_back(Cmd.substr(At + 7, Cmd.find('\0', At) - At - 7));
  }
  return Types;
}

// Resident kB of the engine's own library in this process.
long long EngineLibraryKb() {
  std::istringstream Smaps(ReadFile("/proc/self/smaps"));
  long long Kb = 0;
  bool In = false;
  for (std::string Line; std::getline(Smaps, Line);) {
    if (Line.find(" /") != std::string::npos && Line.find('-') < Line.find(' ')) {
      In = Line.find("libQt6WebEngineCore") != std::string::npos;
      continue;
    }
    long long N = 0;
    if (In && std::sscanf(Line.c_str(), "Rss: %lld kB", &N) == 1) Kb += N;
  }
  return Kb;
}

std::string Joined(const std::vector<std::string> &Words) {
  std::string S;
  for (const std::string &W : Words) S += (S.empty() ? "" : ", ") + W;
  return S;
}
}  // namespace

// A preview shown and closed leaves nothing of the engine running but the
// engine itself: the page's process ends with the page, and without the
// sandbox no zygote waits for the next one. What the engine's code took of
// memory goes back, and comes again, intact, for the next preview.
TEST_F(BrowserFixture, AReleasedPreviewLeavesNoEngineProcessBehindAndGivesItsCodeBack) {
  auto B = std::make_unique<TWebEngineBrowser>(&Host);
  EXPECT_EQ(WB_LoadHtml_Stream(B.get(), "<html><body><p>shown</p></body></html>"), 0);
  ASSERT_TRUE(WaitWBRdy(B.get(), 60));
  ASSERT_EQ(PreviewText(*B).trimmed(), QStringLiteral("shown"));
  const auto Has = [](const std::string &Type) {
    const auto T = EngineProcesses();
    return std::find(T.begin(), T.end(), Type) != T.end();
  };
  EXPECT_TRUE(Has("renderer")) << "the page runs in a process of its own: " << Joined(EngineProcesses());
  B->Release();
  const bool SandboxOff = qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX");
  const bool Gone = SpinUntil(
      [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return SandboxOff ? EngineProcesses().empty() : !Has("renderer");
      },
      60000);
  EXPECT_TRUE(Gone) << "gave up waiting for the page's process to end; still running: " << Joined(EngineProcesses());
  const long long Shown = EngineLibraryKb();
  ASSERT_GT(Shown, 0) << "the engine's library is not mapped";
  const bool GivenBack = SpinUntil([&] { return EngineLibraryKb() < Shown / 2; }, 60000);
  EXPECT_TRUE(GivenBack) << "gave up waiting for the engine's code to be given back: " << EngineLibraryKb() << " kB resident, "
                         << Shown << " kB after the page went";
  // The engine stays: the next preview starts a page of its own.
  EXPECT_EQ(WB_LoadHtml_Stream(B.get(), "<html><body><p>again</p></body></html>"), 0);
  ASSERT_TRUE(WaitWBRdy(B.get(), 60));
  EXPECT_EQ(PreviewText(*B).trimmed(), QStringLiteral("again"));
  // Given back again right away, with the page still there: nothing of its
  // written memory goes, so it goes on working.
  EXPECT_GT(TWebEngineBrowser::GiveBackEngineCode(), 0u);
  EXPECT_EQ(WB_LoadHtml_Stream(B.get(), "<html><body><p>once more</p></body></html>"), 0);
  ASSERT_TRUE(WaitWBRdy(B.get(), 60));
  EXPECT_EQ(PreviewText(*B).trimmed(), QStringLiteral("once more"));
}

// The user's engine flags stay as given; ours are added after them, and the
// zygote is left out only where the sandbox, which needs it, is off.
TEST(EngineFlags, TheUsersFlagsStayAndOursAreAddedOnce) {
  const struct {
    std::string Given;
    bool SandboxOff;
    std::string Want;
  } Cases[] = {
      {"", true, "--no-zygote"},
      {"", false, ""},
      {"--disable-gpu", true, "--disable-gpu --no-zygote"},
      {"--disable-gpu  ", true, "--disable-gpu  --no-zygote"},
      {"--disable-gpu", false, "--disable-gpu"},
      {"--no-sandbox --disable-gpu", false, "--no-sandbox --disable-gpu --no-zygote"},
      {"--no-zygote --disable-gpu", true, "--no-zygote --disable-gpu"},
      {"--no-zygote-x", true, "--no-zygote-x --no-zygote"},
      {"--no-sandboxed", false, "--no-sandboxed"},
  };
  for (const auto &C : Cases)
    EXPECT_EQ(TWebEngineBrowser::EngineFlags(C.Given, C.SandboxOff), C.Want) << "'" << C.Given << "' " << C.SandboxOff;
}

namespace {
// Sets an environment variable for a scope, and puts it back.
class TEnvSet {
 public:
  TEnvSet(const char *Name, const std::string &Value) : FName(Name), FHad(qEnvironmentVariableIsSet(Name)), FOld(qgetenv(Name)) {
    qputenv(Name, QByteArray::fromStdString(Value));
  }
  ~TEnvSet() {
    if (FHad)
      qputenv(FName, FOld);
    else
      qunsetenv(FName);
  }

 private:
  const char *FName;
  bool FHad;
  QByteArray FOld;
};

size_t Count(const std::string &Text, const std::string &What) {
  size_t N = 0;
  for (size_t At = Text.find(What); At != std::string::npos; At = Text.find(What, At + What.size())) ++N;
  return N;
}
}  // namespace

// Without its engine module (not there, not a library, or a library that is
// not the module) the preview says so in its place, waits for nothing and
// tells the log why, once; a later control tries no more.
TEST_F(BrowserFixture, WithoutItsModuleThePreviewSaysSoAndWaitsForNothing) {
  WriteFile(Dir.File("broken.so"), "not a library");
  const struct {
    const char *What;
    std::string Path;
    std::string Why;
  } Cases[] = {
      {"missing", Dir.File("gone/mosspreview.so"), "No such file"},
      {"not a library", Dir.File("broken.so"), "broken.so"},
      {"another library", MOSS_NOT_A_MODULE, "MossPreviewEngine is missing"},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.What);
    TEnvSet Module("MOSSGATHER_PREVIEW_MODULE", C.Path);
    const size_t Before = LogText().size();
    EXPECT_FALSE(TWebEngineBrowser::LoadEngine());
    EXPECT_FALSE(TWebEngineBrowser::EngineRunning());
    for (int Round = 0; Round < 2; ++Round) {
      TWebEngineBrowser B(&Host);
      int Completed = 0;
      QObject::connect(&B, &TWebBrowser::DocumentComplete, &B, [&] { ++Completed; });
      B.Warm();
      EXPECT_FALSE(B.Started());
      EXPECT_EQ(B.ReadyState(), 4);
      EXPECT_TRUE(B.HasDocument());
      EXPECT_EQ(Completed, 1);
      auto *Note = B.Widget()->findChild<QLabel *>(QStringLiteral("WB_PreviewNote"));
      ASSERT_NE(Note, nullptr);
      EXPECT_TRUE(Note->text().startsWith(QStringLiteral("The preview is not available"))) << Note->text().toStdString();
      EXPECT_EQ(ViewIn(*B.Widget()), nullptr);
      // A load cannot be shown and says so; the control is ready at once.
      EXPECT_EQ(WB_LoadHtml_Stream(&B, "<p>not shown</p>"), 1);
      EXPECT_EQ(B.ReadyState(), 4);
      EXPECT_TRUE(WB_SetBlank(&B));
      EXPECT_EQ(B.Widget()->findChildren<QLabel *>(QStringLiteral("WB_PreviewNote")).size(), 1);
      EXPECT_EQ(PreviewText(B), QString());
      EXPECT_EQ(B.Location(), QUrl());
      B.Release();
    }
    const std::string Log = LogText().substr(Before);
    EXPECT_EQ(Count(Log, "web engine module cannot be loaded"), 1u) << Log;
    EXPECT_NE(Log.find(C.Why), std::string::npos) << Log;
  }
}

// The engine's first start holds the program for about half a second: a
// control in a window that is just being shown lets the window be drawn
// first, then starts it; a release meanwhile drops the navigation. Once the
// engine runs, nothing waits.
TEST_F(BrowserFixture, TheEnginesFirstStartWaitsForItsWindowToBeDrawn) {
  if (TWebEngineBrowser::EngineRunning()) GTEST_SKIP() << "the engine runs already in this process";
  ASSERT_TRUE(TWebEngineBrowser::LoadEngine());
  EXPECT_FALSE(TWebEngineBrowser::EngineRunning());
  auto Drawn = [](QWidget &W) {
    EXPECT_TRUE(SpinUntil([&] { return W.windowHandle()->isExposed(); })) << "gave up waiting for the window to show";
    QCoreApplication::processEvents();  // what the showing queued
  };

  Host.resize(300, 200);
  TWebEngineBrowser Dropped(&Host);
  Host.show();
  ASSERT_FALSE(Host.windowHandle()->isExposed());
  Dropped.Navigate(QUrl(QStringLiteral("about:blank")));
  EXPECT_FALSE(Dropped.Started());
  EXPECT_EQ(Dropped.ReadyState(), 1);
  Dropped.Release();
  EXPECT_EQ(Dropped.ReadyState(), 0);
  Drawn(Host);
  EXPECT_FALSE(Dropped.Started());
  EXPECT_FALSE(TWebEngineBrowser::EngineRunning());

  QWidget Second;
  Second.resize(300, 200);
  TWebEngineBrowser B(&Second);
  Second.show();
  B.Navigate(QUrl(QStringLiteral("about:blank")));
  EXPECT_FALSE(B.Started());
  ASSERT_TRUE(WaitWBRdy(&B, 60));
  EXPECT_TRUE(B.Started());
  EXPECT_TRUE(B.HasDocument());
  EXPECT_TRUE(TWebEngineBrowser::EngineRunning());

  QWidget Third;
  TWebEngineBrowser Quick(&Third);
  Third.show();
  Quick.Navigate(QUrl(QStringLiteral("about:blank")));
  EXPECT_TRUE(Quick.Started());
  ASSERT_TRUE(WaitWBRdy(&Quick, 60));
}

TEST_F(BrowserFixture, ThePreviewMakesNoNavigationOfItsOwnAndRunsNoScripts) {
  TWebEngineBrowser B(&Host);
  std::vector<QUrl> Asked;
  QObject::connect(&B, &TWebBrowser::BeforeNavigate, &B, [&](const QUrl &U, bool *Cancel) {
    Asked.push_back(U);
    EXPECT_TRUE(*Cancel);
  });
  ASSERT_TRUE(WB_SetBlank(&B));
  WB_LoadHtml_Stream(&B,
                     "<html><head><meta http-equiv=\"refresh\" content=\"0;url=http://127.0.0.1:9/away\"></head>"
                     "<body><p id=p>still here</p><script>document.getElementById('p').textContent='script ran'</script>"
                     "</body></html>");
  ASSERT_TRUE(WaitWBRdy(&B, 60));
  SpinUntil([&] { return !Asked.empty(); }, 3000);
  ASSERT_EQ(Asked.size(), 1u);
  EXPECT_EQ(Asked[0].toString(), QStringLiteral("http://127.0.0.1:9/away"));
  EXPECT_EQ(PreviewText(B).trimmed(), QStringLiteral("still here"));
}

TEST_F(BrowserFixture, ClearingReleasesOnlyShownContent) {
  TStuckBrowser S;
  WB_Clear(&S);  // Tag 0: never loaded, left alone
  EXPECT_EQ(S.Navigations, 0);
  S.Tag = 1;
  WB_Clear(&S);
  EXPECT_EQ(S.Navigations, 1);
  EXPECT_EQ(S.Tag, 0);
}

TEST_F(BrowserFixture, AControlThatNeverCompletesTimesOutWithOneErrorLine) {
  TStuckBrowser S;
  EXPECT_FALSE(WaitWBRdy(&S, 0));  // whole seconds beyond 0: about one second
  EXPECT_NE(LogText().find("[Error]: Err, Tips: \"App.ProcMsg Timeout!\"; Mthd: [Unit_Pub.WaitWBRdy]; SysMsg: ()"),
            std::string::npos);
  EXPECT_EQ(WB_LoadHtml_Stream(&S, "<p>x</p>"), 1);  // the blanking fails after six seconds
  std::string L = LogText();
  EXPECT_NE(L.find("Mthd: [Unit_Pub.WB_SetBlank]"), std::string::npos);
  EXPECT_NE(L.find("[Error]: Err, Tips: \"WB_SetBlank Error!\"; Mthd: [Unit_Pub.WB_LoadHtml_Stream]; SysMsg: ()"),
            std::string::npos);
}

TEST_F(BrowserFixture, KeysTypedDuringAWaitReachTheirWindowWhenTheWaitIsOver) {
  // What waits for a control is half done (an edit window being built): a
  // key typed meanwhile must not run into it, nor be lost.
  QLineEdit Box;
  Box.show();
  Box.activateWindow();
  ASSERT_TRUE(SpinUntil([&] { return Box.isActiveWindow() && Box.hasFocus(); })) << "the box to take the focus";
  TStuckBrowser S;
  bool Waiting = true;
  QString SeenDuringWait = QStringLiteral("(not looked)");
  QTimer::singleShot(0, &Box, [&] {
    // Queued as the windowing system queues a user's typing.
    using TWsi = QWindowSystemInterface;
    TWsi::handleKeyEvent<TWsi::AsynchronousDelivery>(Box.windowHandle(), QEvent::KeyPress, Qt::Key_X, Qt::NoModifier,
                                                     QStringLiteral("x"));
    TWsi::handleKeyEvent<TWsi::AsynchronousDelivery>(Box.windowHandle(), QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier,
                                                     QStringLiteral("x"));
  });
  QTimer::singleShot(300, &Box, [&] {
    if (Waiting) SeenDuringWait = Box.text();
  });
  EXPECT_FALSE(WaitWBRdy(&S, 0));  // about one second
  Waiting = false;
  EXPECT_EQ(SeenDuringWait, QString()) << "the key arrived in the middle of the wait";
  EXPECT_TRUE(SpinUntil([&] { return Box.text() == QStringLiteral("x"); })) << "the key to arrive after the wait";
}

namespace {

// The colour the light engine draws at (X, Y) now.
QRgb PixelAt(TLightBrowser &L, int X, int Y) { return L.Widget()->grab().toImage().pixel(X, Y); }

std::string RedPng(int W, int H) {
  QImage Red(W, H, QImage::Format_RGB32);
  Red.fill(Qt::red);
  QByteArray B;
  QBuffer Buf(&B);
  Buf.open(QIODevice::WriteOnly);
  Red.save(&Buf, "PNG");
  return B.toStdString();
}

}  // namespace

TEST_F(BrowserFixture, TheLightEngineDrawsACachedPictureOnceItArrivesWithoutWaitingForIt) {
  TLightBrowser L(&Host);
  L.Widget()->resize(40, 20);
  TUrlCache::Default().Store("http://thumbs.test/red.png", RedPng(64, 32));
  EXPECT_EQ(L.LoadStream("<img src=\"http://thumbs.test/red.png\" width=\"40\" height=\"20\">"), 0);
  // The first paint asks for the picture and shows the quiet placeholder.
  EXPECT_EQ(PixelAt(L, 20, 10), qRgb(236, 236, 236));
  EXPECT_TRUE(SpinUntil([&] { return PixelAt(L, 20, 10) == qRgb(255, 0, 0); })) << "the cached picture was never drawn";
  TUrlCache::Default().Delete("http://thumbs.test/red.png");
}

TEST_F(BrowserFixture, TheLightEngineReadsALocalFileOnlyWhenItsPageMay) {
  WriteFile(Dir.File("red.png"), RedPng(8, 8));
  const std::string Html = "<img src=\"file://" + Dir.File("red.png") + "\" width=\"8\" height=\"8\">";
  for (bool Allowed : {false, true}) {
    SCOPED_TRACE(Allowed ? "a page from the disk" : "a page from the web");
    TThumbLoader::Default().Release();
    TLightBrowser L(&Host);
    L.Widget()->resize(8, 8);
    L.LocalFiles = Allowed;
    L.LoadStream(Html);
    if (Allowed) {
      PixelAt(L, 4, 4);
      EXPECT_TRUE(SpinUntil([&] { return PixelAt(L, 4, 4) == qRgb(255, 0, 0); }));
    } else {
      // Refused at once: the marked placeholder, and nothing asked of the loader.
      EXPECT_EQ(PixelAt(L, 0, 0), qRgb(246, 244, 240));
      EXPECT_EQ(TThumbLoader::Default().Pending(), 0);
    }
  }
}

TEST_F(BrowserFixture, TheLightEngineReadsNoPictureOrPageThatIsNotARegularFile) {
  TFifoTrap Fifo(Dir.File("pic.fifo"));
  TLightBrowser L(&Host);
  L.LocalFiles = true;  // even for a page from the disk
  L.Widget()->resize(40, 20);
  EXPECT_EQ(L.LoadStream("<img src=\"file://" + Fifo.Path() + "\" width=\"20\" height=\"20\"><img src=\"file:///dev/zero\" " +
                         "width=\"20\" height=\"20\">"),
            0);
  PixelAt(L, 1, 1);
  EXPECT_TRUE(SpinUntil([] { return TThumbLoader::Default().Pending() == 0; })) << "a worker is held";
  EXPECT_EQ(PixelAt(L, 1, 1), qRgb(246, 244, 240));
  EXPECT_EQ(PixelAt(L, 30, 1), qRgb(246, 244, 240));
  // Nor a style sheet, which the document would otherwise read by itself.
  EXPECT_TRUE(L.Document()
                  ->resource(QTextDocument::StyleSheetResource, QUrl(QStringLiteral("file:///dev/zero")))
                  .toByteArray()
                  .isEmpty());
  L.Navigate(QUrl::fromLocalFile(QString::fromStdString(Fifo.Path())));
  EXPECT_TRUE(L.HasDocument());
  EXPECT_TRUE(L.Document()->toPlainText().isEmpty());
  EXPECT_FALSE(Fifo.Opened());
}

TEST_F(BrowserFixture, APictureThatCannotBeFetchedShowsAMarkedPlaceholderAndIsNotCached) {
  TScriptHttpServer Srv;
  // An error page under a picture's address, and a page that is no picture.
  Srv.On("/missing.jpg", TScriptHttpServer::Response("404 Not Found", "<html>not here</html>"));
  Srv.On("/page.jpg", TScriptHttpServer::Response("200 OK", "<!DOCTYPE HTML><html>a page</html>"));
  for (const char *Path : {"/missing.jpg", "/page.jpg"}) {
    SCOPED_TRACE(Path);
    const std::string Url = Srv.Url(Path);
    TLightBrowser L(&Host);
    L.Widget()->resize(100, 40);
    L.LoadStream("<img src=\"" + Url + "\" width=\"100\" height=\"40\">");
    PixelAt(L, 1, 1);
    EXPECT_TRUE(SpinUntil([&] { return PixelAt(L, 1, 1) == qRgb(246, 244, 240); })) << "no marked placeholder";
    EXPECT_EQ(TUrlCache::Default().LocalFile(Url), "");
  }
}

TEST_F(BrowserFixture, ALinkClickInTheLightEngineAsksBeforeNavigatingAndARefusalStopsIt) {
  TLightBrowser L(&Host);
  L.Widget()->resize(200, 40);
  L.LoadStream("<a href=\"http://elsewhere.test/\">a link that covers the start of the line</a>");
  std::vector<std::string> Asked;
  QObject::connect(&L, &TWebBrowser::BeforeNavigate, [&](const QUrl &Url, bool *Cancel) {
    Asked.push_back(Url.toString().toStdString());
    *Cancel = true;
  });
  QTest::mouseClick(L.Widget(), Qt::LeftButton, {}, QPoint(5, 8));
  EXPECT_EQ(Asked, std::vector<std::string>{"http://elsewhere.test/"});
  EXPECT_TRUE(L.Location().isEmpty());              // refused: still on the page it had
  L.Navigate(QUrl(QStringLiteral("about:blank")));  // its own navigations are asked about too
  EXPECT_EQ(Asked.size(), 2u);
}

TEST(FindByDoc, OnlyTheTopLevelDocumentOfTheSameUrlIsFound) {
  TPageSnapshot Top = TSnapshotBuilder().Url("http://h.test/page.html").Parse();
  auto Doc = Top.Window()->Document();
  auto Found = WB_FindByDoc(Doc);
  ASSERT_TRUE(Found);
  EXPECT_EQ(Found->Url(), "http://h.test/page.html");
  TPageSnapshot Frame = TSnapshotBuilder().Url("http://h.test/frame.html").InFrame("http://h.test/top.html").Parse();
  EXPECT_EQ(WB_FindByDoc(Frame.Window()->Document()), nullptr);
  // A case difference is another page.
  TPageSnapshot Case = TSnapshotBuilder().Url("http://h.test/Page.html").InFrame("http://h.test/page.html").Parse();
  EXPECT_EQ(WB_FindByDoc(Case.Window()->Document()), nullptr);
}

int main(int argc, char **argv) {
  return RunTestsWithEventLoop(argc, argv, true, [] { TWebEngineBrowser::PrepareEngine(); });
}
