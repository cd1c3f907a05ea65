#include "platform/TSignalBridge.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace {
int Pipe[2] = {-1, -1};

void OnSig(int Sig) {
  unsigned char B = static_cast<unsigned char>(Sig);
  [[maybe_unused]] ssize_t N = ::write(Pipe[1], &B, 1);
}
}  // namespace

TSignalBridge::TSignalBridge(std::function<void(int)> OnSignal, QObject *Parent)
    : QObject(Parent), FOnSignal(std::move(OnSignal)) {
  if (Pipe[0] < 0 && ::pipe2(Pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  FNotifier = new QSocketNotifier(Pipe[0], QSocketNotifier::Read, this);
  connect(FNotifier, &QSocketNotifier::activated, this, [this] {
    unsigned char B;
    while (::read(Pipe[0], &B, 1) == 1)
      if (FOnSignal) FOnSignal(B);
  });
  struct sigaction Sa {};
  Sa.sa_handler = OnSig;
  sigemptyset(&Sa.sa_mask);
  Sa.sa_flags = SA_RESTART;
  for (int S : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(S, &Sa, nullptr);
}

TSignalBridge::~TSignalBridge() {
  struct sigaction Sa {};
  Sa.sa_handler = SIG_DFL;
  for (int S : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(S, &Sa, nullptr);
}
