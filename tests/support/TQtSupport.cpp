#include "support/TQtSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>

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
