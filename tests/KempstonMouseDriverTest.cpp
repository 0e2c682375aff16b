// The Kempston mouse driver: PC motion into the interface's counters and button byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "input/KempstonMouseDriver.h"
#include "machine/Machine.h"

namespace vantrel {
namespace {

// Queued reads in order (nullopt = a failed read); then a still mouse, no button down.
class FakeMouse : public MouseMotionSource {
 public:
  std::optional<MouseSample> Take() override {
    ++Takes;
    if (Queue.empty()) return MouseSample{};
    std::optional<MouseSample> next = Queue.front();
    Queue.pop_front();
    return next;
  }
  void Reacquire() override { ++Reacquires; }

  std::deque<std::optional<MouseSample>> Queue;
  int Takes = 0;
  int Reacquires = 0;
};

MouseSample Buttons(bool left, bool right, bool middle) {
  return MouseSample{0, 0, 0, left, right, middle};
}

class KempstonMouseDriverTest : public testing::Test {
 protected:
  void Configure(bool swap, bool wheelSupport, bool wheelInverted) {
    driver.Configure(KempstonMouseSetting{true, swap, wheelSupport, wheelInverted});
  }
  // One frame with the given read.
  bool Poll(const MouseSample& sample, bool alt = false) {
    source.Queue.push_back(sample);
    return driver.Poll(source, mouse, alt);
  }
  uint8_t X() const { return mouse.X.load(); }
  uint8_t Y() const { return mouse.Y.load(); }
  uint8_t ButtonByte() const { return mouse.Buttons.load(); }

  KempstonMouseDriver driver;
  FakeMouse source;
  KempstonMouse mouse;
};

// Y counts up as the PC mouse moves up (negative dy).
TEST_F(KempstonMouseDriverTest, CountersWrapAtEightBitsBothWays) {
  struct Case {
    uint8_t start;
    int32_t dx;
    uint8_t expectedX;
  };
  const Case cases[] = {
      {100, 10, 110},   {255, 1, 0},         {0, -1, 255},
      {7, -256 * 3, 7}, {0, INT32_MAX, 255}, {5, INT32_MIN, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "start " << int{c.start} << " dx " << c.dx);
    mouse.X = c.start;
    mouse.Y = c.start;
    // INT32_MIN for Y too: the motion whose negation would overflow.
    Poll(MouseSample{c.dx, c.dx == INT32_MIN ? c.dx : -c.dx});
    EXPECT_EQ(X(), c.expectedX);
    EXPECT_EQ(Y(), c.expectedX) << "Y moves up as X moves right";
  }
}

TEST_F(KempstonMouseDriverTest, ButtonsReadActiveLowAndSwapLeftWithRight) {
  struct Case {
    bool left, right, middle;
    uint8_t plain, swapped;
  };
  // The last row is a release, which shows at the next frame.
  const Case cases[] = {{true, false, false, 0xFE, 0xFD},
                        {false, true, false, 0xFD, 0xFE},
                        {true, false, true, 0xFA, 0xF9},
                        {false, false, false, 0xFF, 0xFF}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "L" << c.left << " R" << c.right << " M" << c.middle);
    Configure(false, false, false);
    Poll(Buttons(c.left, c.right, c.middle));
    EXPECT_EQ(ButtonByte(), c.plain);
    Configure(true, false, false);
    Poll(Buttons(c.left, c.right, c.middle));
    EXPECT_EQ(ButtonByte(), c.swapped);
  }
}

TEST_F(KempstonMouseDriverTest, AltClickFlipsTheSwapOncePerClick) {
  EXPECT_TRUE(Poll(Buttons(true, false, false), true));
  EXPECT_TRUE(driver.SwapButtons());
  EXPECT_EQ(ButtonByte(), 0xFD) << "the flipping click already reads swapped";
  // Held over several frames, with Alt still down: no further flips.
  for (int frame = 0; frame < 3; ++frame) {
    EXPECT_FALSE(Poll(Buttons(true, false, false), true));
    EXPECT_TRUE(driver.SwapButtons());
  }
  EXPECT_FALSE(Poll(Buttons(false, false, false), true));
  EXPECT_TRUE(Poll(Buttons(true, false, false), true));  // the next click
  EXPECT_FALSE(driver.SwapButtons());
  EXPECT_EQ(ButtonByte(), 0xFE);

  // Without Alt a click is only a click.
  Poll(Buttons(false, false, false));
  EXPECT_FALSE(Poll(Buttons(true, false, false), false));
  EXPECT_FALSE(driver.SwapButtons());
  // Alt pressed while the button is already down still counts for that click.
  EXPECT_TRUE(Poll(Buttons(true, false, false), true));
  EXPECT_TRUE(driver.SwapButtons());
  // The right button never flips.
  Poll(Buttons(false, false, false));
  EXPECT_FALSE(Poll(Buttons(false, true, false), true));
  EXPECT_TRUE(driver.SwapButtons());
  // Configure overrides an Alt-click flip.
  EXPECT_TRUE(Poll(Buttons(true, false, false), true));
  ASSERT_FALSE(driver.SwapButtons());
  Configure(true, false, false);
  EXPECT_TRUE(driver.SwapButtons());
  Poll(Buttons(true, false, false), true);  // same click: the latch holds
  EXPECT_TRUE(driver.SwapButtons());
  EXPECT_EQ(ButtonByte(), 0xFD);
}

// Whole notches of 120 count down turning away (up inverted), remainders dropped each frame;
// with wheel support the counter's low nibble shows in the button byte's high bits.
TEST_F(KempstonMouseDriverTest, WheelNotchesShowInTheHighNibble) {
  struct Case {
    bool support, inverted;
    std::vector<int32_t> wheel;
    uint8_t counter, byte;
  };
  const Case cases[] = {
      {true, false, {120, 120}, 254, 0xEF},
      {true, false, {120, 120, -3 * 120}, 1, 0x1F},
      {true, true, {120, -240}, 255, 0xFF},
      {true, false, {119, -119, 60, 60, 1, -1}, 0, 0x0F},
      {true, false, {359, -239}, 255, 0xFF},  // truncated towards zero
      {true, false, {-255 * 120, -120, 16 * 120}, 240, 0x0F},
      {true, false, {INT32_MIN}, 17, 0x1F},  // no overflow on any platform figure
      {true, false, {INT32_MAX}, 239, 0xFF},
      {false, false, {-120}, 1, 0xFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "row " << (&c - cases));
    KempstonMouseDriver fresh;
    fresh.Configure(KempstonMouseSetting{true, false, c.support, c.inverted});
    for (int32_t wheel : c.wheel) {
      source.Queue.push_back(MouseSample{0, 0, wheel});
      fresh.Poll(source, mouse);
    }
    EXPECT_EQ(fresh.Wheel(), c.counter);
    EXPECT_EQ(ButtonByte(), c.byte);
  }
  // Buttons clear only the low nibble.
  Configure(false, false, false);
  Poll(MouseSample{0, 0, -120, true, false, false});
  EXPECT_EQ(ButtonByte(), 0xFE);
  // The counter runs without support, so turning support on shows where the wheel is.
  Configure(false, true, false);
  Poll(MouseSample{0, 0, -120, true, false, true});
  EXPECT_EQ(ButtonByte(), 0x2A);
}

TEST_F(KempstonMouseDriverTest, FailedReadIsRetriedOnceAfterAReacquire) {
  source.Queue = {std::nullopt, MouseSample{5, -5}};
  driver.Poll(source, mouse);
  EXPECT_EQ((std::vector<int>{source.Reacquires, source.Takes, X(), Y()}),
            (std::vector<int>{1, 2, 5, 5}));

  // Two failures: the frame leaves every register as it was.
  Configure(false, true, false);
  Poll(MouseSample{3, 0, 120, false, true, false});
  const uint8_t buttons = ButtonByte();
  source.Queue = {std::nullopt, std::nullopt, MouseSample{9, 9, 120, true, false, false}};
  EXPECT_FALSE(driver.Poll(source, mouse, true));
  EXPECT_EQ(source.Reacquires, 2);
  EXPECT_EQ(source.Queue.size(), 1u) << "no third read in the same frame";
  EXPECT_EQ((std::vector<int>{X(), Y(), driver.Wheel(), ButtonByte()}),
            (std::vector<int>{8, 5, 255, buttons}));
  EXPECT_FALSE(driver.SwapButtons());
}

}  // namespace
}  // namespace vantrel
