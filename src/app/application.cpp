#include "app/application.h"

#include <QApplication>
#include <QFont>
#include <QStyleFactory>

namespace eb::app {

void ConfigureApplication(QApplication& app) {
  app.setApplicationName(QStringLiteral("eb2250-gui"));
  app.setApplicationDisplayName(QStringLiteral("EB2250 stack evaluation"));
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
  QFont font(QStringLiteral("Liberation Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  app.setFont(font);
}

}  // namespace eb::app
