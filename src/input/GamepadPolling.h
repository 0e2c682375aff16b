#pragma once

#include <cstdint>

namespace vantrel {

// When the window thread looks at the game pads. An open pad is read once a frame by a
// timer of its own. Without one, a pad plugged in is looked for twice a second from the
// window's idle round, which runs anyway: a user without a pad costs the window thread
// no wake-up.
class GamepadPolling {
 public:
  static constexpr int kReadIntervalMs = 20;
  static constexpr int64_t kLookIntervalMs = 500;

  // From the idle round, `nowMs` on a steady clock: whether to look for a pad now.
  bool LookDue(int64_t nowMs) {
    if (looked_ && nowMs - lastLook_ < kLookIntervalMs) return false;
    looked_ = true;
    lastLook_ = nowMs;
    return true;
  }
  // The read timer's interval after a look or a read: 0 stops it once no pad is open.
  static int ReadInterval(bool connected) { return connected ? kReadIntervalMs : 0; }

 private:
  bool looked_ = false;
  int64_t lastLook_ = 0;
};

}  // namespace vantrel
