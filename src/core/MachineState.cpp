#include "core/MachineState.h"

namespace vantrel {

void MachineState::StartTacktsMeter() {
  MeterStartFrame = FrameCount;
  MeterStartTackts = Regs.Tackts;
  MeterFrameLength = TacktsPerInt;
}

void MachineState::UpdateTacktsMeter() {
  const int32_t frames = static_cast<int32_t>(FrameCount - MeterStartFrame);
  // Beyond 57000 frames, or a count that 32 bits cannot hold (long frames), the meter
  // says "too long".
  const int64_t total =
      int64_t{frames} * MeterFrameLength + int64_t{Regs.Tackts} - int64_t{MeterStartTackts};
  TacktsMeter = frames < 57001 && total >= 0 && total < 0xFFFFFFFF ? static_cast<uint32_t>(total)
                                                                   : 0xFFFFFFFF;
}

}  // namespace vantrel
