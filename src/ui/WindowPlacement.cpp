#include "ui/WindowPlacement.h"

#include <QGuiApplication>
#include <QMimeData>
#include <QScreen>
#include <QUrl>
#include <QWidget>

namespace vantrel {

QPoint PlaceOnScreens(QPoint stored, const QList<QRect>& screens, const QRect& primary) {
  const QRect corner(stored, QSize(40, 50));
  for (const QRect& screen : screens) {
    if (screen.contains(corner)) return stored;
  }
  return primary.topLeft() + QPoint(20, 20);
}

QPoint StoredPosition(const QWidget& window) {
  return window.geometry().topLeft();
}

void RestorePosition(QWidget& window, QPoint stored) {
  QList<QRect> screens;
  QRect primary(0, 0, 640, 480);
  for (const QScreen* screen : QGuiApplication::screens()) screens.append(screen->geometry());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) primary = screen->geometry();
  // setGeometry, unlike move, places the paint area whether or not a frame is known yet.
  window.setGeometry(QRect(PlaceOnScreens(stored, screens, primary), window.size()));
}

QString DroppedFile(const QMimeData* data) {
  if (data == nullptr) return {};
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) return url.toLocalFile();
  }
  return {};
}

}  // namespace vantrel
