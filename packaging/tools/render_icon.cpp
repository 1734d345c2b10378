// Renders the application's SVG icon as PNG files of the sizes desktops
// look for: render_icon ICON.svg OUTDIR  →  OUTDIR/<n>x<n>/eb2250-gui.png
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: render_icon ICON.svg OUTDIR\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
  if (!svg.isValid()) {
    std::fprintf(stderr, "render_icon: cannot read %s\n", argv[1]);
    return 1;
  }
  for (int side : {16, 24, 32, 48, 64, 128, 256}) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    svg.render(&p);
    p.end();
    const QString dir = QString::fromLocal8Bit(argv[2]) + QStringLiteral("/%1x%1").arg(side);
    if (!QDir().mkpath(dir) || !image.save(dir + QStringLiteral("/eb2250-gui.png"))) {
      std::fprintf(stderr, "render_icon: cannot write %s\n", qPrintable(dir));
      return 1;
    }
  }
  return 0;
}
