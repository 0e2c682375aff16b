#pragma once

#include <cstdint>

#include "core/MachineState.h"

namespace vantrel {

// The one-bit sound sources mixed into one level: speaker, tape out (MIC) and tape in
// (EAR). Each has a distinct binary weight, so the level is an OR of active weights.
class Beeper {
 public:
  explicit Beeper(MachineState& state) : state_(state) {}

  uint8_t SoundLevel = 0;
  uint8_t SpeakerWeight = 128;
  uint8_t TapeInWeight = 64;
  uint8_t TapeOutWeight = 32;

  // Brings the sampler up to `tackts` at the old level.
  void AdvanceBeeper(uint32_t /*tackts*/) {}

  // Hands the frame's samples to the sound output.
  void WriteSoundBlock() {}

  // A source changed: sample up to now at the old level, then switch.
  void ChangeSoundLevel(uint8_t level) {
    if (level == SoundLevel) return;
    const uint32_t tackts = state_.Regs.Tackts;
    // The constant frame length, compared as signed, is intended: see the sampler.
    state_.SamplerWrapped =
        static_cast<int32_t>(tackts) >= static_cast<int32_t>(kDefaultTacktsPerInt);
    AdvanceBeeper(tackts);
    SoundLevel = level;
    state_.SoundChangeHistory |= 1;
  }

 private:
  MachineState& state_;
};

}  // namespace vantrel
