#pragma once

#include <QWidget>

namespace vantrel {

class KeyMatrix;

// The on-screen Spectrum keyboard: ten keys a row, four rows, clicked with the mouse.
// A left click latches a key (a second click lets it go); the right button holds it.
class KeysGrid : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kCell = 16;   // cell size in pixels
  static constexpr int kPitch = 17;  // cell plus grid line

  explicit KeysGrid(KeyMatrix& keys, QWidget* parent = nullptr);
  // The key under a point, or -1.
  static int KeyAt(QPoint point);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void LetGo(int key);

  KeyMatrix& keys_;
  int rightHeld_ = -1;
};

}  // namespace vantrel
