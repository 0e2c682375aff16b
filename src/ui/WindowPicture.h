#pragma once

#include <QtGui/qrgb.h>

#include <QImage>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <array>
#include <cstdint>
#include <vector>

#include "video/ScreenRenderer.h"

namespace vantrel {

// The screen window's picture: the last native frame shown, with its palette, and the cut
// of it the border sizes leave visible, at the window's scale. Each new frame is compared
// with the one before, so only what changed is scaled and sent to the display: most
// programs change a small part of the screen per frame. The whole native frame is kept,
// so a new cut or scale is drawn from it without waiting for the machine.
//
// Picture coordinates have their origin at the cut's top-left corner, in scaled pixels.
class WindowPicture {
 public:
  WindowPicture();

  // The cut (clamped to the native frame) and the scale (1 or 2). True when either
  // differs from before: the whole picture is then to be drawn again.
  bool SetCut(const VisibleRect& visible, int scale);
  const VisibleRect& Cut() const { return cut_; }
  int ScaleFactor() const { return scale_; }
  QSize Size() const { return {cut_.Width * scale_, cut_.Height * scale_}; }

  // Takes a new frame, `rowOf(y)` giving native row y. Returns what changed inside the
  // cut; the whole cut for the first frame or a new palette.
  template <class RowOf>
  QRegion Refresh(const RowOf& rowOf, const ScreenPaletteTable& palette) {
    const bool whole = TakePalette(palette);
    QRegion changed = whole ? QRegion(QRect(QPoint(0, 0), Size())) : QRegion();
    for (int y = 0; y < kNativeHeight; ++y) RefreshRow(y, rowOf(y), whole, changed);
    return changed;
  }

  bool HasFrame() const { return hasFrame_; }
  const uint8_t* Pixels() const { return native_.data(); }
  const ScreenPaletteTable& Palette() const { return palette_; }
  // `visible` (clamped to the native frame), one pixel per Spectrum pixel.
  QImage VisibleImage(const VisibleRect& visible) const;

  // The native pixels (cells of the cut) that `part` of the picture touches.
  QRect CellsCovering(const QRect& part) const;
  // Whole pixels, replicated: `cells` go to a 32-bit picture whose `to` is the cells'
  // top-left corner.
  void ScaleCells(const QRect& cells, uchar* to, qsizetype bytesPerLine) const;
  // Draws `part` of the picture into `buffer`, a 32-bit picture of Size().
  void DrawPart(const QRect& part, QImage& buffer) const;

 private:
  static VisibleRect Clamped(const VisibleRect& visible);
  bool TakePalette(const ScreenPaletteTable& palette);
  void RefreshRow(int y, const uint8_t* from, bool whole, QRegion& changed);

  VisibleRect cut_;
  int scale_ = 1;
  bool hasFrame_ = false;
  std::vector<uint8_t> native_;
  ScreenPaletteTable palette_{};
  std::array<QRgb, 256> colours_{};
  std::array<uint64_t, 256> colourPairs_{};  // each colour twice, for the doubled picture
};

}  // namespace vantrel
