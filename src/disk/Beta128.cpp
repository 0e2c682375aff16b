#include "disk/Beta128.h"

namespace vantrel {

uint8_t Beta128::ReadRegister(Register reg) {
  CatchUp();
  switch (reg) {
    case kCommandStatus: return Controller.ReadStatus();
    case kTrack: return Controller.ReadTrack();
    case kSector: return Controller.ReadSector();
    case kData: return Controller.ReadData();
    case kSystem: return Controller.ReadRequests();
  }
  return 0xFF;
}

void Beta128::WriteRegister(Register reg, uint8_t value) {
  CatchUp();
  switch (reg) {
    case kCommandStatus: Controller.WriteCommand(value); break;
    case kTrack: Controller.WriteTrack(value); break;
    case kSector: Controller.WriteSector(value); break;
    case kData: Controller.WriteData(value); break;
    case kSystem: Controller.WriteSystem(value); break;
  }
}

}  // namespace vantrel
