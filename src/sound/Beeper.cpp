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
  if (tackts == frameLength_) return;
  frameLength_ = tackts;
  // 882 samples a frame. The standard frame keeps its exact historical ratio.
  if (tackts == kDefaultTacktsPerInt) {
    fractionStep_ = 100;
    fractionWrap_ = 8127;
  } else {
    fractionStep_ = kSoundBlockSize;
    fractionWrap_ = tackts;
  }
  pos_ = sum_ = count_ = fraction_ = index_ = 0;
}

void Beeper::Run(uint32_t tackts) {
  // The level is constant over the whole catch-up, so the T-states are taken a sample
  // period at a time. A sample falls due on the T-state that takes the fraction above
  // the wrap; the frame's last T-state writes the last, shorter sample instead.
  while (pos_ < tackts) {
    const uint32_t toSample = (fractionWrap_ - fraction_) / fractionStep_ + 1;
    const uint32_t toWrap = frameLength_ - pos_;
    const uint32_t n = std::min({tackts - pos_, toWrap, toSample});
    pos_ += n;
    sum_ += SoundLevel * n;
    count_ += n;
    if (n == toWrap) {
      PutSample();
      index_ = 0;
      pos_ = 0;
      fraction_ = 0;
      tackts -= frameLength_;
    } else if (n == toSample) {
      fraction_ = fraction_ + n * fractionStep_ - fractionWrap_;
      PutSample();
    } else {
      fraction_ += n * fractionStep_;
    }
  }
}

void Beeper::WriteSoundBlock(SoundOutput* output) {
  if (!output || !output->Active()) return;
  output->WriteBlock(BlockOffset, block_);
  BlockOffset += kSoundBlockSize;
  if (BlockOffset >= kSoundBufferSize) BlockOffset = 0;
}

}  // namespace vantrel
