#include "ui/KeysGrid.h"

#include <QFont>
#include <QMouseEvent>
#include <QPainter>

#include "input/KeyMatrix.h"

namespace vantrel {

namespace {

constexpr int kColumns = 10;
constexpr int kRows = 4;

// The grid shows ENTER, the shifts and SPACE by short names.
QString Label(int key) {
  switch (kKeyLabels[static_cast<size_t>(key)]) {
    case 'e': return QStringLiteral("e");
    case 'c': return QStringLiteral("c");
    case 's': return QStringLiteral("s");
    case ' ': return QStringLiteral(" ");
    default: return QString(QChar(kKeyLabels[static_cast<size_t>(key)]));
  }
}

}  // namespace

KeysGrid::KeysGrid(KeyMatrix& keys, QWidget* parent) : QWidget(parent), keys_(keys) {
  setObjectName(QStringLiteral("KeysGrid"));
  setFixedSize(kColumns * kPitch + 1, kRows * kPitch + 1);
  QFont font(QStringLiteral("Courier New"), 9);
  font.setStyleHint(QFont::TypeWriter);
  setFont(font);
  setToolTip(
      QStringLiteral("e ENTER, c CAPS SHIFT, s SYMBOL SHIFT; left click latches, "
                     "right button holds"));
}

int KeysGrid::KeyAt(QPoint point) {
  if (point.x() < 0 || point.y() < 0) return -1;
  const int column = point.x() / kPitch;
  const int row = point.y() / kPitch;
  if (column >= kColumns || row >= kRows) return -1;
  return column + kColumns * row;
}

void KeysGrid::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Mid));
  for (int key = 0; key < kKeyCount; ++key) {
    const QRect cell((key % kColumns) * kPitch + 1, (key / kColumns) * kPitch + 1, kCell, kCell);
    const bool pressed = keys_.KeyIsPressed(key);
    painter.fillRect(cell, palette().color(pressed ? QPalette::Dark : QPalette::Button));
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.drawText(cell, Qt::AlignCenter, Label(key));
  }
}

void KeysGrid::LetGo(int key) {
  while (keys_.KeyIsPressed(key)) keys_.ReleaseKey(key);
}

void KeysGrid::mousePressEvent(QMouseEvent* event) {
  const int key = KeyAt(event->position().toPoint());
  if (key < 0) return;
  if (event->button() == Qt::LeftButton) {
    if (keys_.KeyIsPressed(key)) {
      LetGo(key);
    } else {
      keys_.PressKey(key);
    }
  } else if (event->button() == Qt::RightButton) {
    keys_.PressKey(key);
    rightHeld_ = key;
  }
  update();
}

void KeysGrid::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::RightButton || rightHeld_ < 0) return;
  LetGo(rightHeld_);
  rightHeld_ = -1;
  update();
}

}  // namespace vantrel
