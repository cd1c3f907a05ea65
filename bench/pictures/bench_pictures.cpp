// The picture editor on a page of many pictures, as the program runs it.
//
//   bench_pictures make DIR N       writes N pictures (JPG, PNG, GIF, BMP of
//                                   20-200 KiB) and DIR/manifest.txt
//   bench_pictures run BASE DIR     opens an all-pictures job of DIR's
//                                   pictures served at BASE and measures it
//
// "run" goes the program's own road: the request with its page snapshot
// (TPicker), the job controller, the edit window, the picture editor and the
// thumbnail loader with its background fetches, all offscreen. It reports:
//  - request to usable: the window shown with its panels linked and the
//    first screen of thumbnails painted (the controller's fixed 500 ms edit
//    timer is left out and reported apart);
//  - request to all thumbnails loaded;
//  - the longest wait of a key press and of a wheel turn while the
//    thumbnails arrive, and the longest stall of the window's event loop;
//  - resident memory before, at the level of a 100-picture job (loaded, and
//    idle after its tidy-up), at the peak and after the idle tidy-up.
#include <malloc.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "control/Unit_IPicker.h"
#include "editors/uForm_EditJob.h"
#include "editors/uImgJobEdtr.h"
#include "editors/uThumbLoader.h"
#include "editors/uVIBPanel.h"
#include "jobs/Unit_JobCntl.h"
#include "platform/TMainThread.h"
#include "platform/TWebBrowser.h"
#include "pub/Unit_Log.h"
#include "pub/uGlobalParm.h"
#include "pub/uRunVars.h"

namespace {

// ---- making the pictures ----------------------------------------------------

// A small landscape whose colours and shapes follow Seed, with a grain that
// keeps the compressed sizes near those of photographs.
QImage Scene(int W, int H, uint32_t Seed) {
  std::mt19937 R(Seed);
  auto U = [&](double A, double B) { return std::uniform_real_distribution<double>(A, B)(R); };
  QImage Img(W, H, QImage::Format_RGB32);
  QPainter P(&Img);
  P.setRenderHint(QPainter::Antialiasing);
  QLinearGradient Sky(0, 0, 0, H);
  Sky.setColorAt(0, QColor::fromRgbF(U(0, .45), U(.25, .85), U(.8, 1)));
  Sky.setColorAt(1, QColor::fromRgbF(U(.85, 1), U(.7, .95), U(.6, .9)));
  P.fillRect(Img.rect(), Sky);
  P.setPen(Qt::NoPen);
  P.setBrush(QColor(255, 232, 130));
  const double S = std::min(W, H) * U(.07, .15);
  P.drawEllipse(QPointF(W * U(.2, .8), H * U(.12, .35)), S, S);
  for (int Row = 0; Row < 2; ++Row) {
    QPainterPath Hill;
    Hill.moveTo(0, H);
    const double Base = H * (Row ? U(.65, .8) : U(.45, .6)), Amp = H * U(.04, .09), F = U(1, 5) * 2 * M_PI / W, Ph = U(0, 6);
    for (int X = 0; X <= W; X += 4) Hill.lineTo(X, Base + Amp * std::sin(X * F + Ph));
    Hill.lineTo(W, H);
    P.setBrush(Row ? QColor::fromRgbF(U(0, .3), U(.35, .7), U(0, .3)) : QColor::fromRgbF(U(.3, .5), U(.4, .6), U(.4, .6)));
    P.drawPath(Hill);
  }
  P.end();
  std::uniform_int_distribution<int> Grain(-9, 9);
  for (int Y = 0; Y < H; ++Y) {
    auto *Line = reinterpret_cast<QRgb *>(Img.scanLine(Y));
    for (int X = 0; X < W; ++X) {
      const int G = Grain(R);
      auto C = [G](int V) { return std::clamp(V + G, 0, 255); };
      Line[X] = qRgb(C(qRed(Line[X])), C(qGreen(Line[X])), C(qBlue(Line[X])));
    }
  }
  return Img;
}

// A GIF of the 3-3-2 palette whose codes are never compressed: a clear code
// before the code table outgrows 9 bits keeps every code 9 bits wide.
QByteArray Gif(const QImage &Img) {
  QByteArray Out("GIF89a");
  auto U16 = [&](int V) {
    Out.append(char(V & 255));
    Out.append(char(V >> 8));
  };
  U16(Img.width());
  U16(Img.height());
  Out.append(char(0xf7)).append(char(0)).append(char(0));
  for (int I = 0; I < 256; ++I)
    Out.append(char((I >> 5) * 255 / 7)).append(char(((I >> 2) & 7) * 255 / 7)).append(char((I & 3) * 255 / 3));
  Out.append(char(0x2c));
  U16(0);
  U16(0);
  U16(Img.width());
  U16(Img.height());
  Out.append(char(0)).append(char(8));
  QByteArray Codes;
  uint32_t Acc = 0;
  int Bits = 0;
  auto Put = [&](uint32_t Code) {
    Acc |= Code << Bits;
    for (Bits += 9; Bits >= 8; Bits -= 8, Acc >>= 8) Codes.append(char(Acc & 255));
  };
  int N = 0;
  for (int Y = 0; Y < Img.height(); ++Y)
    for (int X = 0; X < Img.width(); ++X, ++N) {
      if (N % 250 == 0) Put(256);
      const QRgb C = Img.pixel(X, Y);
      Put(((qRed(C) >> 5) << 5) | ((qGreen(C) >> 5) << 2) | (qBlue(C) >> 6));
    }
  Put(257);
  if (Bits > 0) Codes.append(char(Acc & 255));
  for (qsizetype I = 0; I < Codes.size(); I += 255) {
    const qsizetype L = std::min<qsizetype>(255, Codes.size() - I);
    Out.append(char(L)).append(Codes.mid(I, L));
  }
  Out.append(char(0)).append(char(0x3b));
  return Out;
}

int Make(const QString &Dir, int Count) {
  QFile Manifest(Dir + QStringLiteral("/manifest.txt"));
  if (!Manifest.open(QIODevice::WriteOnly | QIODevice::Text)) return 1;
  QTextStream M(&Manifest);
  std::mt19937 R(42);
  // Each picture aims at a byte size between 20 and 200 KiB; its pixel area
  // starts from the format's bytes per pixel (with the grain) and is
  // corrected until the file lands in that range.
  struct TKind {
    const char *Ext;
    double BytesPerPixel;
  } Kinds[] = {{"jpg", 0.35}, {"png", 1.3}, {"gif", 1.13}, {"bmp", 3.0}};
  std::uniform_real_distribution<double> Target(24 << 10, 190 << 10), Aspect(0.6, 1.6);
  for (int I = 0; I < Count; ++I) {
    const TKind &K = Kinds[I % 4];
    const double Want = Target(R), Asp = Aspect(R);
    const QString Name = QStringLiteral("p%1.%2").arg(I, 4, 10, QLatin1Char('0')).arg(QLatin1String(K.Ext));
    QByteArray Bytes;
    int W = 0, H = 0;
    for (double Area = Want / K.BytesPerPixel, Try = 0; Try < 6; ++Try) {
      W = std::max(8, static_cast<int>(std::sqrt(Area * Asp)));
      H = std::max(8, static_cast<int>(Area / W));
      const QImage Img = Scene(W, H, static_cast<uint32_t>(I + 1));
      if (QLatin1String(K.Ext) == QLatin1String("gif")) {
        Bytes = Gif(Img);
      } else {
        QBuffer Buf(&Bytes);
        Buf.open(QIODevice::WriteOnly);
        Img.save(&Buf, K.Ext, QLatin1String(K.Ext) == QLatin1String("jpg") ? 90 : -1);
      }
      if (Bytes.size() >= (20 << 10) && Bytes.size() <= (200 << 10)) break;
      Area *= Want / std::max<double>(Bytes.size(), 1);
    }
    QFile F(Dir + QLatin1Char('/') + Name);
    if (!F.open(QIODevice::WriteOnly) || F.write(Bytes) != Bytes.size()) return 1;
    M << Name << ' ' << W << ' ' << H << '\n';
  }
  return 0;
}

// ---- running the editor ----------------------------------------------------

class THost : public TJobHost {
 public:
  void TipMsg(const std::string &Msg, const std::string &, int) override { std::fprintf(stderr, "tip: %s\n", Msg.c_str()); }
  bool MsgBox(const std::string &, int) override { return true; }
  bool EditWindowShowing() override { return Form_EditJob && Form_EditJob->isVisible(); }
  bool EditWindowClosing() override { return Form_EditJob && Form_EditJob->InFormClose; }
  TJobRec *EditJob() override { return ::EditJob.get(); }
  void EditWindowToFront() override {}
  void PressEditCancel() override { Form_EditJob->Btn_Cancel->click(); }
  void ChooseEditor(uint8_t Kind) override { CurEditor = Kind == jkAllImages || Kind == jkOneImage ? JE_Img : nullptr; }
  void StartEditor(const PJobRec &Job) override { CurEditor->EJob_Start(Job); }
  void RememberForeground() override {}
  bool StartFailed() override { return InitFailed; }
  int32_t NextJobId() override { return ++GParm.iTot_Job_Cnt; }
  bool TipOnComplete() override { return GParm.bMsg_Cmplt; }
};

long RssKiB() {
  long Pages = 0, Res = 0;
  if (FILE *F = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(F, "%ld %ld", &Pages, &Res) != 2) Res = 0;
    std::fclose(F);
  }
  return Res * 4;
}

struct TPic {
  QString Name;
  int W, H;
};

std::vector<TPic> ReadManifest(const QString &Dir) {
  std::vector<TPic> Out;
  QFile F(Dir + QStringLiteral("/manifest.txt"));
  if (!F.open(QIODevice::ReadOnly | QIODevice::Text)) return Out;
  QTextStream S(&F);
  while (!S.atEnd()) {
    TPic P;
    S >> P.Name >> P.W >> P.H;
    if (!P.Name.isEmpty()) Out.push_back(P);
  }
  return Out;
}

// The "Save all pictures" request the extension sends for a page of these
// pictures (all from another origin, so the program fetches every one).
QJsonObject Request(const QString &Base, const std::vector<TPic> &Pics, size_t Count, const QString &Tag) {
  static const QHash<QString, QString> Mime = {
      {"jpg", "JPEG Image"}, {"png", "PNG Image"}, {"gif", "GIF Image"}, {"bmp", "Bitmap Image"}};
  QJsonArray Images;
  for (size_t I = 0; I < Count && I < Pics.size(); ++I) {
    const TPic &P = Pics[I];
    const QString Src = Base + P.Name + Tag;
    Images.append(QJsonObject{{"src", Src},
                              {"width", P.W},
                              {"height", P.H},
                              {"mimeType", Mime.value(P.Name.section(QLatin1Char('.'), -1))},
                              {"fileSize", "-1"},
                              {"outerHtml", QStringLiteral("<img src=\"%1\">").arg(Src)}});
  }
  QJsonObject Doc{{"url", Base + QStringLiteral("page.html")},
                  {"title", "Pictures"},
                  {"fileSize", "-1"},
                  {"selection", QJsonObject{{"text", ""}, {"html", ""}}},
                  {"images", Images},
                  {"objects", QJsonArray()},
                  {"embeds", QJsonArray()}};
  return QJsonObject{{"method", "SaveImages"}, {"snapshot", QJsonObject{{"version", 1}, {"document", Doc}}}};
}

// Waits on the event loop; false when Ms pass first.
bool Until(const std::function<bool()> &Done, int Ms, const std::function<void()> &Each = {}) {
  QElapsedTimer T;
  T.start();
  while (!Done()) {
    if (T.elapsed() > Ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (Each) Each();
  }
  return true;
}

// Every panel on the first screen shows its picture.
bool FirstScreenReady(TImgJobEdtr &Ed) {
  QScrollArea *Box = Form_EditJob->ScrlBox_Img;
  const int Top = Box->verticalScrollBar()->value(), Bottom = Top + Box->viewport()->height();
  for (TVIBItem *I : Ed.ItemList) {
    TVIBPanel *P = Ed.PanelOf(I);
    if (!P || P->y() > Bottom || P->y() + P->height() < Top) continue;
    const TThumbFit F = VIB_FitThumb(I->Width, I->Height);
    auto T = TThumbLoader::Default().Get(QString::fromStdString(I->Url), QSize(std::max(F.W, 0), std::max(F.H, 0)), "");
    if (T.State == TLightPictures::TState::Waiting) return false;
  }
  return true;
}

int Run(const QString &Base, const QString &Dir) {
  const std::vector<TPic> Pics = ReadManifest(Dir);
  if (Pics.size() < 100) {
    std::fprintf(stderr, "bench_pictures: %s/manifest.txt lists %zu pictures\n", qPrintable(Dir), Pics.size());
    return 1;
  }
  TLogger Log(PrgDir + "log.txt");
  SetLogger(&Log);
  GParm = TGlobalParm();
  GParm.sDir_Def_Img = PrgDir + "save";
  SysState = 1;
  THost Host;
  TJobCtrl Ctrl(Host);
  JobCtrl = &Ctrl;
  TImgJobEdtr Img([] { return TImgSettings{.Dir = GParm.sDir_Def_Img}; });
  new TForm_EditJob();
  const long RssStart = RssKiB();

  // A job of 100 pictures first: the memory level the tidy-up aims for.
  // Addresses of this run only, so that nothing is in the URL cache yet.
  const QString Tag = QStringLiteral("?r=%1").arg(QCoreApplication::applicationPid());
  TPicker::Call(*FindPickerMethod("SaveImages"), Request(Base, Pics, 100, Tag + QStringLiteral("a")));
  Ctrl.EditTimer().stop();
  Ctrl.OnEditTimer();
  if (!Until([] { return TThumbLoader::Default().Pending() == 0; }, 60000)) return 1;
  const long Rss100 = RssKiB();
  Form_EditJob->Btn_Cancel->click();
  Form_EditJob->DO_OptimizeMem();
  QCoreApplication::processEvents();
  const long Rss100Idle = RssKiB();

  // The job of all pictures, measured.
  long Peak = RssKiB();
  QElapsedTimer Clock;
  Clock.start();
  TPicker::Call(*FindPickerMethod("SaveImages"), Request(Base, Pics, Pics.size(), Tag + QStringLiteral("b")));
  Ctrl.EditTimer().stop();
  Ctrl.OnEditTimer();
  const qint64 Shown = Clock.elapsed();
  if (!Form_EditJob->isVisible() || Img.ItemList.size() != Pics.size()) {
    std::fprintf(stderr, "bench_pictures: the editor shows %zu of %zu pictures\n", Img.ItemList.size(), Pics.size());
    return 1;
  }
  Until([&] { return FirstScreenReady(Img); }, 60000);
  QCoreApplication::processEvents();  // the panels repaint
  const qint64 Usable = Clock.elapsed();

  // While the rest arrive: a key press every 40 ms and a wheel turn every
  // 100 ms, each timed from its posting to its effect (the current item
  // moves, the box scrolls); and the event loop's longest stall, seen by a
  // 5 ms timer.
  qint64 KeyMax = 0, WheelMax = 0, StallMax = 0, LastTick = Clock.elapsed();
  int Keys = 0, Wheels = 0;
  QTimer Tick;
  QObject::connect(&Tick, &QTimer::timeout, [&] {
    const qint64 Now = Clock.elapsed();
    StallMax = std::max(StallMax, Now - LastTick);
    LastTick = Now;
  });
  Tick.start(5);
  QScrollBar *Bar = Form_EditJob->ScrlBox_Img->verticalScrollBar();
  qint64 KeySent = -1, WheelSent = -1, NextKey = 0, NextWheel = 0;
  const TVIBItem *KeyFrom = nullptr;
  int WheelFrom = 0;
  auto Probe = [&] {
    Peak = std::max(Peak, RssKiB());
    const qint64 Now = Clock.elapsed();
    if (KeySent >= 0 && CurItem != KeyFrom) {
      KeyMax = std::max(KeyMax, Now - KeySent);
      KeySent = -1;
      ++Keys;
    } else if (KeySent < 0 && Now >= NextKey && CurItem) {
      KeyFrom = CurItem;
      KeySent = Now;
      NextKey = Now + 40;
      QCoreApplication::postEvent(Img.PanelOf(CurItem)->ChkBox,
                                  new QKeyEvent(QEvent::KeyPress, Keys % 2 ? Qt::Key_Up : Qt::Key_Down, Qt::NoModifier));
    }
    if (WheelSent >= 0 && Bar->value() != WheelFrom) {
      WheelMax = std::max(WheelMax, Now - WheelSent);
      WheelSent = -1;
      ++Wheels;
    } else if (WheelSent < 0 && Now >= NextWheel) {
      QWidget *View = Form_EditJob->ScrlBox_Img->viewport();
      const QPoint At = View->rect().center();
      WheelFrom = Bar->value();
      WheelSent = Now;
      NextWheel = Now + 100;
      // Down first, then up: the box is at its top.
      QCoreApplication::postEvent(View, new QWheelEvent(At, View->mapToGlobal(At), QPoint(), QPoint(0, Wheels % 2 ? 120 : -120),
                                                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false));
    }
  };
  if (!Until([] { return TThumbLoader::Default().Pending() == 0; }, 60000, Probe)) {
    std::fprintf(stderr, "bench_pictures: %d thumbnails still missing after a minute\n", TThumbLoader::Default().Pending());
    return 1;
  }
  const qint64 All = Clock.elapsed();
  Tick.stop();
  Peak = std::max(Peak, RssKiB());

  Form_EditJob->Btn_Cancel->click();
  Form_EditJob->DO_OptimizeMem();
  QCoreApplication::processEvents();  // the deferred deletions and the second trim
  const long After = RssKiB();

  std::printf("pictures %zu\n", Pics.size());
  std::printf("shown_ms %lld\nusable_ms %lld\nall_ms %lld\n", static_cast<long long>(Shown), static_cast<long long>(Usable),
              static_cast<long long>(All));
  std::printf("key_max_ms %lld\nwheel_max_ms %lld\nstall_max_ms %lld\nkeys %d\nwheels %d\n", static_cast<long long>(KeyMax),
              static_cast<long long>(WheelMax), static_cast<long long>(StallMax), Keys, Wheels);
  std::printf("rss_start_kib %ld\nrss_100_kib %ld\nrss_100_idle_kib %ld\nrss_peak_kib %ld\nrss_after_kib %ld\n", RssStart, Rss100,
              Rss100Idle, Peak, After);
  JobCtrl = nullptr;
  CurEditor = nullptr;
  EditJob.reset();
  SetLogger(nullptr);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 4 && std::string(argv[1]) == "make") {
    QGuiApplication App(argc, argv);
    return Make(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
  }
  if (argc != 4 || std::string(argv[1]) != "run") {
    std::fprintf(stderr, "usage: bench_pictures make DIR N | run BASE-URL DIR\n");
    return 2;
  }
  if (!std::getenv("DISPLAY")) ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  TWebEngineBrowser::PrepareEngine();
  QApplication App(argc, argv);
  TMainThread::Attach();
  QTemporaryDir Home;
  PrgDir = Home.path().toStdString() + "/";
  int Rc = Run(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
  delete Form_EditJob;
  TMainThread::Detach();
  return Rc;
}
