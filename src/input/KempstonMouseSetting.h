#pragma once

namespace vantrel {

// The Kempston mouse's settings as the driver takes them. No defaults: on a failed read
// every flag keeps its initial false.
struct KempstonMouseSetting {
  bool Enabled = false;
  bool SwapButtons = false;
  bool WheelSupport = false;
  bool WheelDirection = false;
  bool operator==(const KempstonMouseSetting&) const = default;
};

}  // namespace vantrel
