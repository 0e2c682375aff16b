#pragma once

#include <cstdint>

#include "core/MachineState.h"
#include "disk/FloppyDisk.h"
#include "disk/VG93.h"

namespace vantrel {

// The Beta 128 disk interface: the controller's four registers and the system register
// behind five ports. Every access first brings the controller up to the processor's time.
class Beta128 {
 public:
  enum Register : uint8_t { kCommandStatus, kTrack, kSector, kData, kSystem };

  // The machine's clock, read at every access.
  void Connect(const MachineState* state) { state_ = state; }

  uint8_t ReadRegister(Register reg);
  void WriteRegister(Register reg, uint8_t value);
  // The catch-up at the frame's end; nothing happens while the drive is idle.
  void AdvanceTo(uint32_t tackts) {
    if (!Controller.Busy() && !Controller.MotorOn()) [[likely]]
      return;
    Controller.CatchUp(ClockAt(tackts));
  }
  // The disk a drive (0 to 3 for A to D) holds, owned by the machine; nullptr: empty.
  void SetDisk(int drive, FloppyDisk* disk) { Controller.SetDisk(drive, disk); }

  Vg93Controller Controller;

 private:
  Vg93Controller::Clock ClockAt(uint32_t tackts) const {
    if (!state_) return {tackts, 0, kDefaultTacktsPerInt};
    return {tackts, state_->FrameCount.load(std::memory_order_relaxed), state_->TacktsPerInt};
  }
  void CatchUp() { Controller.CatchUp(ClockAt(state_ ? state_->Regs.Tackts : 0)); }

  const MachineState* state_ = nullptr;
};

}  // namespace vantrel
