// The full-screen picture: which part of the frame each video mode shows, where, and how
// interlacing leaves lines dark (mode 0 is checked through the screen panel).
#include <gtest/gtest.h>

#include <vector>

#include "MachineFixture.h"
#include "video/FullScreenPicture.h"

namespace vantrel {
namespace {

using test::Ints;
constexpr uint32_t kBlack = 0xFF000000u;

class FullScreenPictureTest : public testing::Test {
 protected:
  FullScreenPictureTest() : native(size_t{kNativeWidth} * kNativeHeight) {
    // Each native pixel gets its own colour, so every output pixel names its source.
    for (int i = 1; i < 256; ++i) palette[i] = {static_cast<uint8_t>(i), 0, 0, 0};
  }
  // Marks native pixel (x, y) with palette index `index`.
  void Mark(int x, int y, uint8_t index) { native[size_t(y) * kNativeWidth + x] = index; }
  uint32_t At(int mode, int x, int y) const {
    return out[size_t(y) * FullScreenSizeOf(mode).Width + x];
  }
  static uint32_t Red(int index) { return 0xFF000000u | (uint32_t(index) << 16); }

  std::vector<uint8_t> native;
  ScreenPaletteTable palette{};
  std::vector<uint32_t> out;
};

TEST_F(FullScreenPictureTest, Mode1InterlacedStartsAtLine13Column16WithOddLinesBlack) {
  Mark(0, 0, 5);
  ComposeFullScreen(native.data(), palette, 1, true, true, out);
  ASSERT_EQ(out.size(), 800u * 600u);
  // The second line of each row stays black.
  EXPECT_EQ(Ints(At(1, 16, 13), At(1, 17, 13), At(1, 16, 14), At(1, 15, 13), At(1, 16, 12)),
            Ints(Red(5), Red(5), kBlack, kBlack, kBlack));
  ComposeFullScreen(native.data(), palette, 1, true, false, out);
  EXPECT_EQ(At(1, 16, 14), Red(5));
  // Without direct writes the picture starts a line higher and is never interlaced.
  ComposeFullScreen(native.data(), palette, 1, false, true, out);
  EXPECT_EQ(Ints(At(1, 16, 12), At(1, 16, 13)), Ints(Red(5), Red(5)));
}

TEST_F(FullScreenPictureTest, Mode2TriplesAndInterlacesTwoLinesOfThree) {
  Mark(20, 8, 7);
  Mark(359, 263, 8);
  ComposeFullScreen(native.data(), palette, 2, true, true, out);
  ASSERT_EQ(out.size(), 1024u * 768u);
  EXPECT_EQ(
      Ints(At(2, 2, 0), At(2, 4, 1), At(2, 2, 2), At(2, 2 + 339 * 3 + 2, 255 * 3 + 1), At(2, 1, 0)),
      Ints(Red(7), Red(7), kBlack, Red(8), kBlack));
  // The plain copy shows source (22, 16) at (1, 0).
  Mark(22, 16, 9);
  ComposeFullScreen(native.data(), palette, 2, false, false, out);
  EXPECT_EQ(Ints(At(2, 1, 0), At(2, 3, 2)), Ints(Red(9), Red(9)));
  // An unknown mode number reads as mode 0.
  ComposeFullScreen(native.data(), palette, 7, true, false, out);
  EXPECT_EQ(out.size(), 640u * 480u);
}

}  // namespace
}  // namespace vantrel
