#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>

namespace vantrel {

// A 16-bit port decode as "-------- --------", high bit first: '-' for a bit the decode
// ignores (mask bit 0), otherwise the value that bit must have. A left click on a bit
// cycles it: ignored -> 0 -> 1 -> ignored.
class PortDecodeEdit : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kCharWidth = 8;    // one character cell, in pixels
  static constexpr int kTextLength = 17;  // sixteen bits and the gap between the bytes
  static constexpr int kMargin = 3;       // from the widget's edge to the text origin

  explicit PortDecodeEdit(QWidget* parent = nullptr);

  // Bits outside the mask are kept as given, so a stored decode reads back unchanged.
  void SetDecode(uint16_t mask, uint16_t bits);
  uint16_t Mask() const { return mask_; }
  uint16_t Bits() const { return bits_; }
  QString Text() const;

  // The bit (0-15) drawn at pixel x from the text origin; -1 for the gap or outside.
  static int BitAtPixel(int x);

 Q_SIGNALS:
  // Whenever the mask or the bits change, by a click or by SetDecode.
  void DecodeChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void CycleBit(int bit);

  uint16_t mask_ = 0;
  uint16_t bits_ = 0;
};

}  // namespace vantrel
