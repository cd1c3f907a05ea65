#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a call on the main thread, so that
// the program closes through its normal close path (settings written, log
// flushed) instead of dying where it stands. The handler only writes a byte
// to a pipe; a notifier on the main thread reads it.
#include <QObject>
#include <functional>

class QSocketNotifier;

class TSignalBridge : public QObject {
  Q_OBJECT
 public:
  explicit TSignalBridge(std::function<void(int Sig)> OnSignal, QObject *Parent = nullptr);
  ~TSignalBridge() override;

 private:
  std::function<void(int)> FOnSignal;
  QSocketNotifier *FNotifier = nullptr;
};
