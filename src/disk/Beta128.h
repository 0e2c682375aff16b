#pragma once

#include <cstdint>

#include "disk/FloppyDisk.h"

namespace vantrel {

// The Beta 128 disk interface's five ports. With no controller fitted the bus floats:
// reads give 0xFF and writes go nowhere.
class Beta128 {
 public:
  enum Register : uint8_t { kCommandStatus, kTrack, kSector, kData, kSystem };

  uint8_t ReadRegister(Register /*reg*/) { return 0xFF; }
  void WriteRegister(Register /*reg*/, uint8_t /*value*/) {}
  // The controller catches up with the frame's end.
  void AdvanceTo(uint32_t /*tackts*/) {}
  // The disk the drive holds (owned by the machine).
  void SetDisk(FloppyDisk* disk) { disk_ = disk; }

 private:
  FloppyDisk* disk_ = nullptr;
};

}  // namespace vantrel
