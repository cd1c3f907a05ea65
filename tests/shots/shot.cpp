// moss_shot WINDOW-ID OUT.png: writes what the X window shows now, as the
// screenshots of the documentation are taken on the test desktop.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: moss_shot WINDOW-ID OUT.png\n");
    return 2;
  }
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  QGuiApplication App(argc, argv);
  const WId Id = std::strtoul(argv[1], nullptr, 0);
  QPixmap Shot = QGuiApplication::primaryScreen()->grabWindow(Id);
  if (Shot.isNull() || !Shot.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "moss_shot: cannot take or write the picture of window %s\n", argv[1]);
    return 1;
  }
  return 0;
}
