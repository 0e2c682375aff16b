#include "ui/WindowPicture.h"

#include <algorithm>
#include <cstring>

namespace vantrel {

WindowPicture::WindowPicture() : native_(size_t{kNativeWidth} * kNativeHeight, 0) {}

// Border sizes are checked when set; the clamp only keeps the copies in bounds.
VisibleRect WindowPicture::Clamped(const VisibleRect& visible) {
  VisibleRect cut = visible;
  cut.X = std::clamp(cut.X, 0, kNativeWidth);
  cut.Y = std::clamp(cut.Y, 0, kNativeHeight);
  cut.Width = std::clamp(cut.Width, 0, kNativeWidth - cut.X);
  cut.Height = std::clamp(cut.Height, 0, kNativeHeight - cut.Y);
  return cut;
}

bool WindowPicture::SetCut(const VisibleRect& visible, int scale) {
  const VisibleRect cut = Clamped(visible);
  scale = std::clamp(scale, 1, 2);
  if (cut == cut_ && scale == scale_) return false;
  cut_ = cut;
  scale_ = scale;
  return true;
}

bool WindowPicture::TakePalette(const ScreenPaletteTable& palette) {
  if (hasFrame_ && palette == palette_) return false;
  hasFrame_ = true;
  palette_ = palette;
  for (size_t i = 0; i < palette_.size(); ++i) {
    const PaletteEntry& e = palette_[i];
    colours_[i] = qRgb(e.Red, e.Green, e.Blue);
    colourPairs_[i] = uint64_t{colours_[i]} << 32 | colours_[i];
  }
  return true;
}

// A row is compared a chunk at a time, so a border that changes colour leaves the paper
// between its two sides alone.
void WindowPicture::RefreshRow(int y, const uint8_t* from, bool whole, QRegion& changed) {
  constexpr int kChunk = 32;
  constexpr int width = kNativeWidth;
  uint8_t* shown = native_.data() + size_t(y) * kNativeWidth;
  if (whole) {
    std::memcpy(shown, from, kNativeWidth);
    return;
  }
  if (std::memcmp(from, shown, kNativeWidth) == 0) return;
  const bool inCut = y >= cut_.Y && y < cut_.Y + cut_.Height;
  const auto chunkChanged = [&](int at) {
    return std::memcmp(from + at, shown + at, size_t(std::min(kChunk, width - at))) != 0;
  };
  for (int x = 0; x < width;) {
    if (!chunkChanged(x)) {
      x += kChunk;
      continue;
    }
    int first = x;
    int last = std::min(x + kChunk, width);
    while (last < width && chunkChanged(last)) last = std::min(last + kChunk, width);
    x = last;
    while (from[first] == shown[first]) ++first;
    while (from[last - 1] == shown[last - 1]) --last;
    std::copy(from + first, from + last, shown + first);
    first = std::max(first, cut_.X);
    last = std::min(last, cut_.X + cut_.Width);
    // Rows and spans come in reading order, which a region takes without merging work.
    if (inCut && first < last) {
      changed +=
          QRect((first - cut_.X) * scale_, (y - cut_.Y) * scale_, (last - first) * scale_, scale_);
    }
  }
}

QImage WindowPicture::VisibleImage(const VisibleRect& visible) const {
  const VisibleRect cut = Clamped(visible);
  QImage image(cut.Width, cut.Height, QImage::Format_RGB32);
  for (int y = 0; y < cut.Height; ++y) {
    const uint8_t* from = native_.data() + size_t(cut.Y + y) * kNativeWidth + cut.X;
    auto* to = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < cut.Width; ++x) to[x] = colours_[from[x]];
  }
  return image;
}

QRect WindowPicture::CellsCovering(const QRect& part) const {
  return {QPoint(part.left() / scale_, part.top() / scale_),
          QPoint(part.right() / scale_, part.bottom() / scale_)};
}

void WindowPicture::ScaleCells(const QRect& cells, uchar* to, qsizetype bytesPerLine) const {
  const int count = cells.width();
  for (int y = 0; y < cells.height(); ++y) {
    const uint8_t* from = native_.data() + size_t(cut_.Y + cells.top() + y) * kNativeWidth +
                          size_t(cut_.X + cells.left());
    uchar* line = to + qsizetype{y} * scale_ * bytesPerLine;
    auto* row = reinterpret_cast<uint32_t*>(line);
    if (scale_ == 2) {
      // One store per native pixel.
      for (int x = 0; x < count; ++x) std::memcpy(row + 2 * x, &colourPairs_[from[x]], 8);
      std::memcpy(line + bytesPerLine, line, size_t(count) * 8);
    } else {
      for (int x = 0; x < count; ++x) row[x] = colours_[from[x]];
    }
  }
}

void WindowPicture::DrawPart(const QRect& part, QImage& buffer) const {
  const QRect cells = CellsCovering(part);
  ScaleCells(cells,
             buffer.bits() + qsizetype{cells.top()} * scale_ * buffer.bytesPerLine() +
                 qsizetype{cells.left()} * scale_ * 4,
             buffer.bytesPerLine());
}

}  // namespace vantrel
