#include "app/application.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QStyleFactory>
#include <QSvgRenderer>

// The icon is a resource of the front end's static library: its
// registration must be pulled in by hand.
static void InitResources() { Q_INIT_RESOURCE(resources); }

namespace eb::app {

void ConfigureApplication(QApplication& app) {
  // The name is also the window's class; with the desktop file name the
  // desktop groups the window with its menu entry.
  app.setApplicationName(QStringLiteral("eb2250-gui"));
  app.setDesktopFileName(QStringLiteral("eb2250-gui"));
  app.setApplicationDisplayName(QStringLiteral("EB2250 stack evaluation"));
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
  QFont font(QStringLiteral("Liberation Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  app.setFont(font);
}

QIcon AppIcon() {
  InitResources();
  QIcon icon;
  QSvgRenderer svg(QStringLiteral(":/icons/eb2250-gui.svg"));
  for (int side : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    svg.render(&p);
    p.end();
    icon.addPixmap(pixmap);
  }
  return QIcon::fromTheme(QStringLiteral("eb2250-gui"), icon);
}

}  // namespace eb::app
