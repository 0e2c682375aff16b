#pragma once

#include <atomic>
#include <cstdint>

namespace vantrel {

// Kempston joystick: one byte, bit set = direction or fire active (right, left, down, up,
// fire from bit 0). Written by the keyboard thread.
struct KempstonJoystick {
  std::atomic<uint8_t> State{0};
};

// Kempston mouse: two free-running 8-bit position counters and a button byte (bits
// clear = pressed). Written at frame ends by the mouse poll on the emulation thread.
struct KempstonMouse {
  std::atomic<bool> Enabled{false};
  std::atomic<uint8_t> X{0};
  std::atomic<uint8_t> Y{0};
  std::atomic<uint8_t> Buttons{0xFF};
};

}  // namespace vantrel
