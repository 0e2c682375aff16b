#include "sound/Beeper.h"

#include <algorithm>

#include "sound/Volume.h"

namespace vantrel {

void Beeper::SetVolumes(int speaker, int tapeIn, int tapeOut, int synchDelay) {
  SpeakerWeight.store(VolumeWeight(speaker), std::memory_order_relaxed);
  TapeInWeight.store(VolumeWeight(tapeIn), std::memory_order_relaxed);
  TapeOutWeight.store(VolumeWeight(tapeOut), std::memory_order_relaxed);
  SynchDelay.store(static_cast<uint32_t>(std::clamp(synchDelay, 0, int(kSoundBlockSize) - 1)),
                   std::memory_order_relaxed);
}

void Beeper::SetFrameLength(uint32_t tackts) {
  clock_.SetFrameLength(tackts, 1);
  Steps.SetFrameLength(tackts);
}

void Beeper::Run(uint32_t tackts) {
  // The level is constant over the whole catch-up, so the T-states are taken a sample
  // period at a time. A sample falls due on the T-state that takes the fraction above
  // the wrap; the frame's last T-state writes the last, shorter sample instead.
  while (clock_.Pos < tackts) {
    const uint32_t toSample = (clock_.FractionWrap - clock_.Fraction) / clock_.FractionStep + 1;
    const uint32_t toWrap = clock_.FrameLength - clock_.Pos;
    const uint32_t n = std::min({tackts - clock_.Pos, toWrap, toSample});
    clock_.Pos += n;
    clock_.Sum += SoundLevel * n;
    clock_.Count += n;
    if (n == toWrap) {
      PutSample();
      clock_.Index = 0;
      clock_.Pos = 0;
      clock_.Fraction = 0;
      tackts -= clock_.FrameLength;
    } else if (n == toSample) {
      clock_.Fraction = clock_.Fraction + n * clock_.FractionStep - clock_.FractionWrap;
      PutSample();
    } else {
      clock_.Fraction += n * clock_.FractionStep;
    }
  }
}

void Beeper::WriteSoundBlock(SoundOutput* output, std::span<const int16_t> stereo) {
  if (!output || !output->Active()) return;
  output->WriteBlock(BlockOffset, stereo);
  BlockOffset += kSoundBlockSize;
  if (BlockOffset >= kSoundBufferSize) BlockOffset = 0;
}

}  // namespace vantrel
