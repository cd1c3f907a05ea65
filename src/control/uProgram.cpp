#include "control/uProgram.h"

#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QJsonObject>
#include <QMessageBox>
#include <QProcess>
#include <QSessionManager>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <thread>

#include "control/TReqChannel.h"
#include "control/Unit_IPicker.h"
#include "control/Unit_MPC.h"
#include "control/uDoctor.h"
#include "control/uHostManifest.h"
#include "control/uHostRelay.h"
#include "control/uIEMenu.h"
#include "control/uIEMenuUi.h"
#include "control/uOptUpdUi.h"
#include "editors/uForm_EditJob.h"
#include "platform/TChannelClient.h"
#include "platform/TMainThread.h"
#include "platform/TRegistryStore.h"
#include "platform/TRuntimeDir.h"
#include "platform/TSignalBridge.h"
#include "platform/TWebBrowser.h"
#include "platform/uSpawn.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "pub/uGlobalParm.h"
#include "pub/uRunVars.h"
#include "ui/uForm_Rename.h"
#include "ui/uForm_main.h"

namespace {
// Held for the life of the process: the stand-in for the named mutex.
TInstanceLock &InstanceLock() {
  static TInstanceLock L;
  return L;
}

// A box only where someone can see it: under the offscreen platform, or
// without any display, the text goes to standard error instead.
void ShowStartError(const char *Text, int Argc, char **Argv) {
  const char *Qpa = std::getenv("QT_QPA_PLATFORM");
  bool Visible = (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")) && !(Qpa && std::strncmp(Qpa, "offscreen", 9) == 0);
  if (!Visible) {
    std::fprintf(stderr, "mossgather: %s\n", Text);
    return;
  }
  std::unique_ptr<QApplication> Own;
  if (!QApplication::instance()) Own = std::make_unique<QApplication>(Argc, Argv);
  QMessageBox::critical(nullptr, QStringLiteral("Mossgather"), QString::fromLatin1(Text));
}

// "/REGSERVER", "-regserver" and the like.
bool IsSwitch(const char *Arg, const char *Name) {
  if (!Arg || (Arg[0] != '/' && Arg[0] != '-')) return false;
  return SameText(Arg + 1, Name);
}

int RunHost(int Argc, char **Argv) {
  // The browser ends the host after each reply, so the host cannot serve the
  // request itself: it starts its own program file as the copy that keeps
  // running.
  auto StartOwnFile = [Argc, Argv] {
    ShowStartError(RegKeyError, Argc, Argv);
    return SpawnDetached(ProgramFile(), {SwitchRealStr});
  };
  return RunHostRelay(0, 1, BrowserHostOptions(StartOwnFile));
}

int RunRegServer(int Argc, char **Argv, bool Register) {
  std::string Prg = ProgramDir();
  TBrowserEnv Env = TBrowserEnv::FromEnvironment();
  // Writing serves the browsers the user has; removing looks wherever a
  // manifest of ours may have been written.
  std::vector<TBrowserSite> Sites = Register ? FindBrowsers(Env) : AllBrowserSites(Env);
  // --manifest-dir DIR: one Chromium manifest into DIR (a browser profile
  // started with --user-data-dir looks only there).
  if (Argc >= 4 && std::strcmp(Argv[2], "--manifest-dir") == 0) {
    TBrowserSite S;
    S.Browser = "Chromium";
    S.Dir = Argv[3];
    Dir_AddSlash(S.Dir);
    Sites = {S};
  }
  try {
    TRegistryStore Reg = TRegistryStore::CurrentUser();
    if (Register)
      WriteHostManifests(Prg, Sites, Reg);
    else
      RemoveHostManifests(Prg, Sites, Reg);
  } catch (const std::exception &E) {
    std::fprintf(stderr, "mossgather: %s\n", E.what());
    return 1;
  }
  return 0;
}
}  // namespace

bool RelaunchInstalled() {
  std::string Path = InstalledProgramFile();
  if (!Path.empty()) return QProcess::startDetached(QString::fromStdString(Path), {QString::fromLatin1(SwitchRealStr)});
  ShowStartError(RegKeyError, 0, nullptr);
  return false;
}

bool ChkSingleInstance() {
  try {
    if (InstanceLock().TryLock(MutexName)) return true;
    std::string Reply;
    Channel_Request(ChannelPath(AppTitle), R"({"method":"WakeUp","msg":1032})", Reply, 1000);
  } catch (const std::exception &) {
    // No runtime folder: no second copy can be told either.
  }
  return false;
}

int RunProgram(int Argc, char **Argv) {
  const char *First = Argc >= 2 ? Argv[1] : nullptr;
  if (IsSwitch(First, "REGSERVER")) return RunRegServer(Argc, Argv, true);
  if (IsSwitch(First, "UNREGSERVER")) return RunRegServer(Argc, Argv, false);
  if (First && std::strcmp(First, "-doctor") == 0) return RunDoctor(ProgramDir(), std::cout) == 0 ? 0 : 1;
  if (First && std::strcmp(First, "-RegIEMenu") == 0) {
    try {
      TRegistryStore Reg = TRegistryStore::CurrentUser();
      RegIEMenu(ProgramDir(), Reg);
      return 0;
    } catch (const std::exception &E) {
      std::fprintf(stderr, "mossgather: %s\n", E.what());
      return 1;
    }
  }

  StartMode = ParseStartMode(Argc, Argv);
  if (StartMode == 1) return RunHost(Argc, Argv);

  TWebEngineBrowser::PrepareEngine();
  QApplication App(Argc, Argv);
  QApplication::setApplicationName(QString::fromLatin1(AppTitle));
  QApplication::setQuitOnLastWindowClosed(false);
  if (StartMode == 2) {
    if (!ChkSingleInstance()) return 0;
  } else {
    if (RelaunchInstalled()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      return 0;
    }
    if (!ChkSingleInstance()) return 0;
  }

  // Every start that goes on writes the browsers' host manifests again; a
  // failure here must not keep the program from running.
  try {
    TRegistryStore Reg = TRegistryStore::CurrentUser();
    WriteHostManifests(ProgramDir(), FindBrowsers(TBrowserEnv::FromEnvironment()), Reg);
  } catch (const std::exception &) {
  }

  TMainThread::Attach();
  auto *Main = new TMainForm();
  MainForm = Main;
  MPC.Connect(*Main);
  Form_EditJob = new TForm_EditJob();
  auto *Opt = new TForm_Option(Main);
  Form_Renam = new TForm_Renam(Main);
  auto *Upd = new TForm_ChkUpd(Main);
  ConnectBrowserMenuItems(Main);
  ConnectOptionsAndUpdates(*Main, *Opt, *Upd);

  TReqChannel Channel;
  Channel.SetHandler("WakeUp", [](const QJsonObject &, QJsonObject &) {
    if (MainForm) MainForm->WakeUp();
    return ChannelOk;
  });
  // Tells a caller (a second copy, the host, -doctor, the tests) that this
  // copy runs and how far its start got.
  Channel.SetHandler("Ping", [](const QJsonObject &, QJsonObject &Reply) {
    Reply.insert(QStringLiteral("sysState"), SysState.load());
    Reply.insert(QStringLiteral("initFailed"), InitFailed.load());
    Reply.insert(QStringLiteral("pid"), static_cast<qint64>(::getpid()));
    return ChannelOk;
  });
  // What the browser extension follows: whether "Save all pictures"
  // scrolls through the page first, so that its lazy pictures load.
  Channel.SetHandler("GetOptions", [](const QJsonObject &, QJsonObject &Reply) {
    Reply.insert(QStringLiteral("lazyScroll"), GParm.bImg_LazyScroll);
    return ChannelOk;
  });
  TPicker::Install(Channel);
  try {
    Channel.Listen(ChannelPath(AppTitle));
  } catch (const std::exception &E) {
    std::fprintf(stderr, "mossgather: %s\n", E.what());
  }

  TSignalBridge Signals([](int) {
    if (MainForm) MainForm->CloseUnattended();
  });
  QObject::connect(&App, &QGuiApplication::commitDataRequest, [](QSessionManager &) {
    if (MainForm) MainForm->CloseUnattended();
  });

  Main->show();
  int Rc = App.exec();
  Channel.Close();
  delete Form_EditJob;
  Form_EditJob = nullptr;
  delete Main;  // runs DO_SYSTEM_EXIT
  TMainThread::Detach();
  return Rc;
}
