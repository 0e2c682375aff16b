// For the desktop end-to-end test: grabs the X screen, saves it, and compares the
// 256 x 192 paper area found at X,Y on the screen with the paper area (64, 48) of a
// native 384 x 288 golden picture.
//
//   vantrel_screen_paper_check SHOT.png GOLDEN.png X Y
//
// Exit status: 0 the paper matches, 1 it differs, 2 usage or file error.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s SHOT.png GOLDEN.png X Y\n", argv[0]);
    return 2;
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    std::fprintf(stderr, "no screen\n");
    return 2;
  }
  const QImage shot = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
  shot.save(QString::fromLocal8Bit(argv[1]));
  const QImage golden =
      QImage(QString::fromLocal8Bit(argv[2])).convertToFormat(QImage::Format_RGB32);
  if (golden.width() != 384 || golden.height() != 288) {
    std::fprintf(stderr, "%s is not a 384x288 picture\n", argv[2]);
    return 2;
  }
  const int x0 = QString::fromLocal8Bit(argv[3]).toInt();
  const int y0 = QString::fromLocal8Bit(argv[4]).toInt();
  int differing = 0;
  for (int y = 0; y < 192; ++y) {
    for (int x = 0; x < 256; ++x) {
      if (!shot.valid(x0 + x, y0 + y) ||
          shot.pixel(x0 + x, y0 + y) != golden.pixel(64 + x, 48 + y)) {
        if (differing++ == 0) std::fprintf(stderr, "first difference at paper (%d, %d)\n", x, y);
      }
    }
  }
  if (differing != 0) {
    std::fprintf(stderr, "%d paper pixels differ\n", differing);
    return 1;
  }
  return 0;
}
