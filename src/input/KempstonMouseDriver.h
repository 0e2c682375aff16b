#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "input/Kempston.h"
#include "input/KempstonMouseSetting.h"

namespace vantrel {

// PC mouse motion since the previous read. Wheel motion comes in the platforms' units of
// 120 per notch.
struct MouseSample {
  int32_t Dx = 0;
  int32_t Dy = 0;     // positive = towards the user (the PC's Y axis points down)
  int32_t Wheel = 0;  // positive = away from the user
  bool Left = false;
  bool Right = false;
  bool Middle = false;
};

// The desktop's captured mouse. Take returns nothing when the device could not be read
// (lost to another window, say); Reacquire then takes it back before the one retry.
class MouseMotionSource {
 public:
  virtual ~MouseMotionSource() = default;
  virtual std::optional<MouseSample> Take() = 0;
  virtual void Reacquire() {}
};

// Turns relative PC mouse motion into the Kempston mouse's registers, once per frame on
// the emulation thread. No scaling: one PC motion unit is one count.
//
// The settings may be changed from the window thread while the emulation thread polls;
// each is a single atomic flag, read once per poll.
class KempstonMouseDriver {
 public:
  // Left and right button bits in the button byte (bits clear = pressed); the middle
  // button is always bit 2.
  static constexpr uint8_t kLeftBit = 0x01;
  static constexpr uint8_t kRightBit = 0x02;
  static constexpr uint8_t kMiddleBit = 0x04;

  // Takes swap, wheel support and wheel direction. Enabled is the machine's
  // KempstonMouse::Enabled, which gates both the ports and the poll.
  void Configure(const KempstonMouseSetting& setting);

  // The swap flag as it stands now; Alt+click flips it from the emulation thread, so the
  // desktop reads it back to keep the stored setting in step.
  bool SwapButtons() const { return swap_.load(std::memory_order_relaxed); }
  uint8_t Wheel() const { return wheel_; }

  // Reads the source once (retrying once after a reacquire) and updates the registers.
  // altHeld is the keyboard's Alt state: Alt with a left click flips the swap setting, once
  // per click. Returns true when it did, so the caller can store the new setting. When the
  // source cannot be read the registers keep their values.
  bool Poll(MouseMotionSource& source, KempstonMouse& mouse, bool altHeld = false);

 private:
  std::atomic<bool> swap_{false};
  std::atomic<bool> wheelSupport_{false};
  std::atomic<bool> wheelInverted_{false};
  uint8_t wheel_ = 0;           // the interface's wheel counter; its low nibble is shown
  bool altClickLatch_ = false;  // this click has flipped the swap already
};

}  // namespace vantrel
