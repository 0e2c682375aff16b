#pragma once

#include <cstdint>

namespace vantrel {

// The tape deck as the machine sees it: the EAR input level and the catch-up with the
// processor. With no tape loaded the signal stays low.
class TapePlayer {
 public:
  // 0x40 while the tape signal is high, 0x00 otherwise.
  uint8_t EarLevel() const { return earLevel_; }
  // Drives the EAR input directly, without a tape (tests of the readers of EAR).
  void SetEarLevel(uint8_t level) { earLevel_ = level; }
  void AdvanceTo(uint32_t /*tackts*/) {}
  // Nothing to advance: the processor may run without the per-instruction catch-up.
  bool Idle() const { return true; }
  // The ROM loader is starting: a loaded tape begins to play.
  void TapeAutoStart() {}

 private:
  uint8_t earLevel_ = 0;
};

}  // namespace vantrel
