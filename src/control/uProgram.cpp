#include "control/uProgram.h"

#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QJsonObject>
#include <QMessageBox>
#include <QProcess>
#include <QSessionManager>
#include <chrono>
#include <memory>
#include <thread>

#include "control/TReqChannel.h"
#include "control/Unit_MPC.h"
#include "control/uRunVars.h"
#include "editors/uForm_EditJob.h"
#include "platform/TChannelClient.h"
#include "platform/TMainThread.h"
#include "platform/TRegistryStore.h"
#include "platform/TRuntimeDir.h"
#include "platform/TSignalBridge.h"
#include "pub/Unit_Pub.h"
#include "ui/Unit_Log.h"
#include "ui/uForm_Dialogs.h"
#include "ui/uForm_main.h"

namespace {
// Held for the life of the process: the stand-in for the named mutex.
TInstanceLock &InstanceLock() {
  static TInstanceLock L;
  return L;
}
}  // namespace

bool RelaunchInstalled() {
  std::string Path;
  TRegistryStore::CurrentUser().ReadString(RegKeyMossgather, RegValCurExeFile, Path);
  if (!Path.empty() && File_Exists(Path))
    return QProcess::startDetached(QString::fromStdString(Path), {QString::fromLatin1(SwitchRealStr)});
  QMessageBox::critical(nullptr, QStringLiteral("Mossgather"), QStringLiteral("Error REG key, please reinstall Mossgather!"));
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
  StartMode = ParseStartMode(Argc, Argv);
  QApplication App(Argc, Argv);
  QApplication::setApplicationName(QString::fromLatin1(AppTitle));
  QApplication::setQuitOnLastWindowClosed(false);

  switch (StartMode) {
    case 1:
      if (RelaunchInstalled()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        return 0;
      }
      // Serve the request here, without testing for another copy.
      try {
        InstanceLock().Open(MutexName);
      } catch (const std::exception &) {
      }
      break;
    case 2:
      if (!ChkSingleInstance()) return 0;
      break;
    default:
      if (RelaunchInstalled()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        return 0;
      }
      if (!ChkSingleInstance()) return 0;
  }

  TMainThread::Attach();
  auto *Main = new TMainForm();
  MainForm = Main;
  Form_EditJob = new TForm_EditJob();
  auto *Opt = new TForm_Option(Main);
  auto *Ren = new TForm_Renam(Main);
  auto *Upd = new TForm_ChkUpd(Main);
  (void)Opt, (void)Ren, (void)Upd;

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
