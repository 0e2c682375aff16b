#pragma once

#include <cstdint>
#include <vector>

#include "video/ScreenRenderer.h"

namespace vantrel {

// The full-screen picture for "Video Mode" 0, 1 and 2: a fixed part of the native frame,
// whatever the window's border sizes, enlarged by a whole factor without smoothing.
inline constexpr int kVideoModes = 3;

struct FullScreenSize {
  int Width = 0;
  int Height = 0;
};
// 640 x 480, 800 x 600, 1024 x 768; mode numbers outside 0-2 read as mode 0.
FullScreenSize FullScreenSizeOf(int videoMode);

// Composes the picture as 0xFFRRGGBB pixels, Width x Height, black where nothing is
// written. `native` is the 384 x 288 frame of palette indices. "Direct Memory Write"
// replicates pixels from the mode's source area at its offset, and "Interlaced" (only
// there) leaves the output lines after the first one or two of each source row black;
// without it the picture is a plain whole-factor copy of the mode's stretch rectangle.
void ComposeFullScreen(const uint8_t* native, const ScreenPaletteTable& palette, int videoMode,
                       bool directMemory, bool interlaced, std::vector<uint32_t>& out);

}  // namespace vantrel
