// xpm2png IN.xpm OUT.png: a window icon (the XPM the program draws itself) as the PNG the
// desktop's icon theme wants.
#include <QImage>
#include <QString>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: xpm2png IN.xpm OUT.png\n");
    return 2;
  }
  const QImage image(QString::fromLocal8Bit(argv[1]), "XPM");
  if (image.isNull()) {
    std::fprintf(stderr, "xpm2png: %s is no XPM image\n", argv[1]);
    return 1;
  }
  if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "xpm2png: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
