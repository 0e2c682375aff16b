#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

class QMimeData;
class QWidget;

namespace vantrel {

// Where a window goes back to: its stored paint-area position when a caption-sized corner
// (40 x 50 from it) lies wholly on one of `screens`, otherwise 20, 20 inside `primary`,
// so a window saved on a monitor since removed can still be reached.
QPoint PlaceOnScreens(QPoint stored, const QList<QRect>& screens, const QRect& primary);

// Positions are stored and restored as the paint area's top-left corner, not the frame's:
// before a window is first mapped its frame is unknown, so a frame position read back as
// a paint-area one would move the window by its title bar on every start.
QPoint StoredPosition(const QWidget& window);
// Puts the window's paint area at `stored` (checked against the monitors) at its current
// size.
void RestorePosition(QWidget& window, QPoint stored);

// The local file a drag carries, or an empty string when it carries none.
QString DroppedFile(const QMimeData* data);

}  // namespace vantrel
