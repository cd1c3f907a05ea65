#include "support/TQtSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "platform/TMainThread.h"

void UseOffscreenWhenHeadless() {
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
}

bool SpinUntil(const std::function<bool()> &Done, int Ms) {
  QElapsedTimer T;
  T.start();
  while (!Done() && T.elapsed() < Ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return Done();
}

void AnswerNextBox(const QString &Button, QString *Seen) {
  auto *Poll = new QTimer;
  Poll->setInterval(20);
  QObject::connect(Poll, &QTimer::timeout, [Poll, Button, Seen] {
    auto *Box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!Box) return;
    if (Seen) *Seen = Box->text();
    for (QAbstractButton *B : Box->buttons())
      if (B->text().remove(QLatin1Char('&')) == QString(Button).remove(QLatin1Char('&'))) {
        Poll->stop();
        Poll->deleteLater();
        B->click();
        return;
      }
  });
  Poll->start();
}

int RunTestsWithEventLoop(int Argc, char **Argv, bool Windows, const std::function<void()> &BeforeApp,
                          const std::function<void()> &AfterTests) {
  if (Windows) UseOffscreenWhenHeadless();
  if (BeforeApp) BeforeApp();
  std::unique_ptr<QCoreApplication> App;
  if (Windows)
    App = std::make_unique<QApplication>(Argc, Argv);
  else
    App = std::make_unique<QCoreApplication>(Argc, Argv);
  TMainThread::Attach();
  ::testing::InitGoogleTest(&Argc, Argv);
  int Rc = RUN_ALL_TESTS();
  if (AfterTests) AfterTests();
  TMainThread::Detach();
  return Rc;
}
