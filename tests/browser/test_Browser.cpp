#include <gtest/gtest.h>
#include <qpa/qwindowsysteminterface.h>

#include <QApplication>
#include <QLineEdit>
#include <QTextBrowser>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include "platform/TMainThread.h"
#include "platform/TPageSnapshot.h"
#include "platform/TUrlCache.h"
#include "platform/TWebBrowser.h"
#include "pub/Unit_Log.h"
#include "support/TQtSupport.h"
#include "support/TSnapshotBuilder.h"
#include "support/TestSupport.h"
#include "ui/Unit_PubWB.h"

namespace {

QString PreviewText(TWebEngineBrowser &B) {
  QString Text;
  bool Done = false;
  B.ToPlainText([&](const QString &T) {
    Text = T;
    Done = true;
  });
  SpinUntil([&] { return Done; });
  return Text;
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
  void SetUp() override { SetLogger(&Log); }
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
  EXPECT_TRUE(WaitWBRdy(&B, 60));
  EXPECT_TRUE(PreviewText(B).endsWith(QStringLiteral("end")));
  EXPECT_EQ(WB_LoadHtml_Stream(&B, ""), 0);
  EXPECT_TRUE(WaitWBRdy(&B, 60));
  EXPECT_EQ(PreviewText(B).trimmed(), QString());
}

TEST_F(BrowserFixture, ThePreviewMakesNoNavigationOfItsOwnAndRunsNoScripts) {
  TWebEngineBrowser B(&Host);
  std::vector<QUrl> Asked;
  B.OnBeforeNavigate = [&](const QUrl &U, bool &Cancel) {
    Asked.push_back(U);
    EXPECT_TRUE(Cancel);
  };
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

TEST_F(BrowserFixture, TheLightEngineTakesPicturesFromLocalFilesAndTheCache) {
  TLightBrowser L(&Host);
  QImage Red(4, 3, QImage::Format_RGB32);
  Red.fill(Qt::red);
  ASSERT_TRUE(Red.save(QString::fromStdString(Dir.File("red.png"))));
  std::string Cached = TUrlCache::Default().Store("http://thumbs.test/red.png", ReadFile(Dir.File("red.png")));
  EXPECT_EQ(L.LoadStream("<img src=\"file://" + Dir.File("red.png") + "\"><img src=\"http://thumbs.test/red.png\">"), 0);
  QTextDocument *D = L.Text()->document();
  for (const char *Src : {"http://thumbs.test/red.png"}) {
    QVariant V = D->resource(QTextDocument::ImageResource, QUrl(QString::fromLatin1(Src)));
    EXPECT_TRUE(V.isValid()) << Src;
  }
  QVariant F = D->resource(QTextDocument::ImageResource, QUrl::fromLocalFile(QString::fromStdString(Dir.File("red.png"))));
  EXPECT_TRUE(F.isValid());
  TUrlCache::Default().Delete("http://thumbs.test/red.png");
}

TEST_F(BrowserFixture, TheLightEngineReadsNoPictureOrPageThatIsNotARegularFile) {
  TLightBrowser L(&Host);
  TFifoTrap Fifo(Dir.File("pic.fifo"));
  EXPECT_EQ(L.LoadStream("<img src=\"file://" + Fifo.Path() + "\"><img src=\"file:///dev/zero\">"), 0);
  QTextDocument *D = L.Text()->document();
  for (const std::string &Path : {Fifo.Path(), std::string("/dev/zero")})
    EXPECT_TRUE(
        D->resource(QTextDocument::ImageResource, QUrl::fromLocalFile(QString::fromStdString(Path))).value<QImage>().isNull())
        << Path;
  // Nor a style sheet, which the document would otherwise read by itself.
  EXPECT_TRUE(D->resource(QTextDocument::StyleSheetResource, QUrl(QStringLiteral("file:///dev/zero"))).toByteArray().isEmpty());
  L.Navigate(QUrl::fromLocalFile(QString::fromStdString(Fifo.Path())));
  EXPECT_TRUE(L.Text()->toPlainText().isEmpty());
  EXPECT_FALSE(Fifo.Opened());
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
