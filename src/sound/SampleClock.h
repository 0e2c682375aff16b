#pragma once

#include <array>
#include <cstdint>

#include "core/FrameTiming.h"
#include "sound/SoundOutput.h"

namespace vantrel {

// Where a sound source's sampler stands in the frame: 882 samples a frame, each the
// average of the source over its share of the frame's T-states. The source adds to Sum
// and Count as it runs; a sample falls due when Fraction passes FractionWrap.
struct SampleClock {
  uint32_t FrameLength = kDefaultTacktsPerInt;
  uint32_t FractionStep = 100;  // added per step of the source
  uint32_t FractionWrap = 8127;
  uint32_t Pos = 0;  // T-states into the frame
  uint32_t Sum = 0;
  uint32_t Count = 0;
  uint32_t Fraction = 0;
  uint32_t Index = 0;
  std::array<uint8_t, kSoundBlockSize> Samples{};

  // The source advances `tacktsPerStep` T-states at a time. The standard frame keeps its
  // exact historical ratio (100/8127 of a sample per T-state); other frames are cut into
  // 882 equal shares. A change starts the frame's sampling afresh.
  void SetFrameLength(uint32_t tackts, uint32_t tacktsPerStep) {
    if (tackts == FrameLength) return;
    FrameLength = tackts;
    if (tackts == kDefaultTacktsPerInt) {
      FractionStep = 100 * tacktsPerStep;
      FractionWrap = 8127;
    } else {
      FractionStep = kSoundBlockSize * tacktsPerStep;
      FractionWrap = tackts;
    }
    Pos = Sum = Count = Fraction = Index = 0;
  }

  // Stores a sample; the frame's samples past the last slot overwrite it.
  void Put(uint8_t value) {
    Samples[Index] = value;
    if (Index < kSoundBlockSize - 1) ++Index;
  }
};

}  // namespace vantrel
