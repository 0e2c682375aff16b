#include "input/KempstonMouseDriver.h"

namespace vantrel {

namespace {

constexpr int32_t kWheelNotch = 120;

// Modulo-256 arithmetic on the free-running byte counters. Unsigned, so that any motion
// the platform reports (even INT32_MIN) wraps instead of overflowing.
uint8_t AddWrapped(uint8_t counter, int32_t delta) {
  return static_cast<uint8_t>(static_cast<uint32_t>(counter) + static_cast<uint32_t>(delta));
}
uint8_t SubWrapped(uint8_t counter, int32_t delta) {
  return static_cast<uint8_t>(static_cast<uint32_t>(counter) - static_cast<uint32_t>(delta));
}

}  // namespace

void KempstonMouseDriver::Configure(const KempstonMouseSetting& setting) {
  swap_.store(setting.SwapButtons, std::memory_order_relaxed);
  wheelSupport_.store(setting.WheelSupport, std::memory_order_relaxed);
  wheelInverted_.store(setting.WheelDirection, std::memory_order_relaxed);
}

bool KempstonMouseDriver::Poll(MouseMotionSource& source, KempstonMouse& mouse, bool altHeld) {
  std::optional<MouseSample> sample = source.Take();
  if (!sample) {
    source.Reacquire();
    sample = source.Take();
    if (!sample) return false;
  }

  // The Spectrum's Y counts up the screen, the PC's down.
  mouse.X.store(AddWrapped(mouse.X.load(std::memory_order_relaxed), sample->Dx),
                std::memory_order_relaxed);
  mouse.Y.store(SubWrapped(mouse.Y.load(std::memory_order_relaxed), sample->Dy),
                std::memory_order_relaxed);

  // Whole notches only: a part notch within one frame is dropped, not carried over.
  const int32_t notches = sample->Wheel / kWheelNotch;
  wheel_ = wheelInverted_.load(std::memory_order_relaxed) ? AddWrapped(wheel_, notches)
                                                          : SubWrapped(wheel_, notches);

  // The wheel interface shows its counter's low nibble in bits 4-7; without it those
  // bits read 1.
  uint8_t buttons = wheelSupport_.load(std::memory_order_relaxed)
                        ? static_cast<uint8_t>((wheel_ << 4) | 0x0F)
                        : 0xFF;

  bool flipped = false;
  if (sample->Left) {
    if (altHeld && !altClickLatch_) {
      altClickLatch_ = true;
      swap_.store(!swap_.load(std::memory_order_relaxed), std::memory_order_relaxed);
      flipped = true;
    }
  } else {
    altClickLatch_ = false;
  }
  // Read after the flip: the click that swaps is already read the new way.
  const bool swapped = swap_.load(std::memory_order_relaxed);
  if (sample->Left) buttons ^= swapped ? kRightBit : kLeftBit;
  if (sample->Right) buttons ^= swapped ? kLeftBit : kRightBit;
  if (sample->Middle) buttons ^= kMiddleBit;
  mouse.Buttons.store(buttons, std::memory_order_relaxed);
  return flipped;
}

}  // namespace vantrel
