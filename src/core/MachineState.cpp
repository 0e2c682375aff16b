#include "core/MachineState.h"

namespace vantrel {

void MachineState::StartTacktsMeter() {
  MeterStartFrame = FrameCount;
  MeterStartTackts = Regs.Tackts;
}

void MachineState::UpdateTacktsMeter() {
  const int32_t frames = static_cast<int32_t>(FrameCount - MeterStartFrame);
  const uint32_t tackts = Regs.Tackts - MeterStartTackts;
  // Beyond 57000 frames the 32-bit product would overflow: the meter says "too long".
  if (frames < 57001) {
    TacktsMeter = static_cast<uint32_t>(frames) * kDefaultTacktsPerInt + tackts;
  } else {
    TacktsMeter = 0xFFFFFFFF;
  }
}

}  // namespace vantrel
