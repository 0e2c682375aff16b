#include "video/FullScreenPicture.h"

#include <algorithm>

namespace vantrel {

namespace {

struct Area {
  int X, Y, Width, Height;
};

// Pixel replication: the source area, the factor, the first output pixel, and how many
// output lines each source row fills when interlaced.
struct DirectLayout {
  Area Source;
  int Scale;
  int OutX, OutY;
  int InterlacedLines;
};
constexpr DirectLayout kDirect[kVideoModes] = {
    {{32, 24, 320, 240}, 2, 0, 0, 1},
    {{0, 0, 384, 287}, 2, 16, 13, 1},
    {{20, 8, 340, 256}, 3, 2, 0, 2},
};

// Plain copy: destination and source rectangles, always a whole factor apart.
struct StretchLayout {
  Area Destination;
  Area Source;
};
constexpr StretchLayout kStretch[kVideoModes] = {
    {{0, 0, 640, 480}, {32, 24, 320, 240}},
    {{16, 12, 768, 574}, {0, 0, 384, 287}},
    {{1, 0, 1023, 768}, {22, 16, 341, 256}},
};

constexpr FullScreenSize kSizes[kVideoModes] = {{640, 480}, {800, 600}, {1024, 768}};

int ModeIndex(int videoMode) {
  return videoMode >= 0 && videoMode < kVideoModes ? videoMode : 0;
}

uint32_t Argb(const PaletteEntry& e) {
  return 0xFF000000u | (uint32_t{e.Red} << 16) | (uint32_t{e.Green} << 8) | e.Blue;
}

}  // namespace

FullScreenSize FullScreenSizeOf(int videoMode) {
  return kSizes[ModeIndex(videoMode)];
}

void ComposeFullScreen(const uint8_t* native, const ScreenPaletteTable& palette, int videoMode,
                       bool directMemory, bool interlaced, std::vector<uint32_t>& out) {
  const int mode = ModeIndex(videoMode);
  const FullScreenSize size = kSizes[mode];
  out.assign(static_cast<size_t>(size.Width) * size.Height, 0xFF000000u);
  uint32_t colours[256];
  for (int i = 0; i < 256; ++i) colours[i] = Argb(palette[static_cast<size_t>(i)]);

  Area source;
  int scale = 0, outX = 0, outY = 0, linesPerRow = 0;
  if (directMemory) {
    const DirectLayout& d = kDirect[mode];
    source = d.Source;
    scale = d.Scale;
    outX = d.OutX;
    outY = d.OutY;
    linesPerRow = interlaced ? d.InterlacedLines : d.Scale;
  } else {
    const StretchLayout& s = kStretch[mode];
    source = s.Source;
    scale = s.Destination.Width / s.Source.Width;
    outX = s.Destination.X;
    outY = s.Destination.Y;
    linesPerRow = scale;
  }
  for (int row = 0; row < source.Height; ++row) {
    const uint8_t* from = native + static_cast<size_t>(source.Y + row) * kNativeWidth + source.X;
    uint32_t* line = out.data() + static_cast<size_t>(outY + row * scale) * size.Width + outX;
    for (int x = 0; x < source.Width; ++x) {
      std::fill_n(line + x * scale, scale, colours[from[x]]);
    }
    for (int repeat = 1; repeat < linesPerRow; ++repeat) {
      std::copy_n(line, source.Width * scale, line + static_cast<size_t>(repeat) * size.Width);
    }
  }
}

}  // namespace vantrel
