#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <span>

#include "core/MachineState.h"
#include "sound/BandLimitedSteps.h"
#include "sound/SampleClock.h"
#include "sound/SoundOutput.h"
#include "sound/StereoMixer.h"

namespace vantrel {

// The one-bit sound sources mixed into one level: speaker, tape out (MIC) and tape in
// (EAR). Each has a distinct binary weight, so the level is an OR of active weights.
// The level is averaged over each sample period into one frame of 882 samples, which
// the frame end mixes with the AY's samples into the 8-bit block. Each change is also a
// band-limited step in the middle of the stereo stream (Steps).
class Beeper {
 public:
  explicit Beeper(MachineState& state) : state_(state) {}

  uint8_t SoundLevel = 0;
  // Written by the window thread (the Options dialog) while the machine runs.
  std::atomic<uint8_t> SpeakerWeight{128};
  std::atomic<uint8_t> TapeInWeight{64};
  std::atomic<uint8_t> TapeOutWeight{32};
  // Samples kept between the sound card's play position and the end of the written data.
  std::atomic<uint32_t> SynchDelay{0};
  // Where the next block goes in the sound card's looping buffer: 0, 882 or 1764.
  uint32_t BlockOffset = 0;

  // The Options dialog's trackbar positions (0 mutes, 1..8 give 1 << (position - 1)) and
  // the synch delay in samples.
  void SetVolumes(int speaker, int tapeIn, int tapeOut, int synchDelay);

  // Brings the sampler up to `tackts` at the old level.
  void AdvanceTo(uint32_t tackts) {
    if (tackts > clock_.Pos) Run(tackts);
  }
  // The frame end: while the level changed in the last three frames the sampler is
  // brought to the frame's end, unless a late change has taken it there already.
  void FinishFrame(uint32_t tackts) {
    if (SoundChangeHistory & kSoundRecentChanges) {
      SoundChangeHistory = static_cast<uint8_t>(SoundChangeHistory << 1);
      if (!SamplerWrapped) AdvanceTo(tackts);
      SamplerWrapped = 0;
    }
  }

  // A write to the ULA port: bit 4 drives the speaker, bit 3 the MIC output.
  void UlaPortWrite(uint8_t value) {
    const uint8_t level =
        static_cast<uint8_t>((SoundLevel & TapeInWeight.load(std::memory_order_relaxed)) |
                             ((value & 0x10) ? SpeakerWeight.load(std::memory_order_relaxed) : 0) |
                             ((value & 0x08) ? TapeOutWeight.load(std::memory_order_relaxed) : 0));
    ChangeSoundLevel(level);
  }
  // The tape's EAR signal changed.
  void TapeInChanged(bool high) {
    const uint8_t others = SpeakerWeight.load(std::memory_order_relaxed) |
                           TapeOutWeight.load(std::memory_order_relaxed);
    const uint8_t level = static_cast<uint8_t>(
        (SoundLevel & others) | (high ? TapeInWeight.load(std::memory_order_relaxed) : 0));
    ChangeSoundLevel(level);
  }

  // A source changed: sample up to now at the old level, then switch.
  void ChangeSoundLevel(uint8_t level) {
    if (level == SoundLevel) return;
    const uint32_t tackts = state_.Regs.Tackts;
    // A change after the frame's end but before the frame end ran has already taken the
    // sampler into the next frame; the frame end must then not advance it again.
    SamplerWrapped = static_cast<int32_t>(tackts) >= static_cast<int32_t>(clock_.FrameLength);
    AdvanceTo(tackts);
    const float step = (static_cast<float>(level) - SoundLevel) * kStepScale;
    Steps.Add(tackts, step, step);
    SoundLevel = level;
    SoundChangeHistory |= kSoundChanged;
  }

  // The change history: bit 0 is set by a level change, the frame end shifts it left.
  static constexpr uint8_t kSoundChanged = 0x01;
  static constexpr uint8_t kSoundRecentChanges = 0x07;
  uint8_t SoundChangeHistory = 0;
  // Set when a change after the frame's end has taken the sampler into the next frame.
  uint8_t SamplerWrapped = 0;

  // The sound frame follows the machine's frame: 882 samples per frame of `tackts`.
  void SetFrameLength(uint32_t tackts);
  // The level's changes in the frame, the same on both sides.
  StepBuffer Steps;
  // Today's mix gives the beeper half of the 8-bit scale.
  static constexpr float kStepScale = kSixteenBitPerLevel / 2;

  // Mixes the frame's beeper and AY samples into the block: the mean of the two. A second
  // AY (TurboSound) adds to the first, up to the scale's top.
  void MixSoundBlock(const std::array<uint8_t, kSoundBlockSize>& aySamples,
                     const std::array<uint8_t, kSoundBlockSize>* secondAy = nullptr) {
    if (secondAy) {
      for (uint32_t i = 0; i < kSoundBlockSize; ++i) {
        const uint32_t ay = std::min<uint32_t>(255, aySamples[i] + (*secondAy)[i]);
        block_[i] = static_cast<uint8_t>((clock_.Samples[i] + ay) >> 1);
      }
      return;
    }
    for (uint32_t i = 0; i < kSoundBlockSize; ++i)
      block_[i] = static_cast<uint8_t>((clock_.Samples[i] + aySamples[i]) >> 1);
  }
  // Hands the mixed stereo block to the sound card at BlockOffset and moves on to the
  // next.
  void WriteSoundBlock(SoundOutput* output, std::span<const int16_t> stereo);
  // The block mixed at the last frame end.
  const std::array<uint8_t, kSoundBlockSize>& LastSoundBlock() const { return block_; }
  const std::array<uint8_t, kSoundBlockSize>& Samples() const { return clock_.Samples; }

  // The level, the sampler's place in the frame and the last block, for a machine capture
  // (the volumes are settings and stay).
  struct Saved {
    uint8_t SoundLevel = 0;
    uint8_t SoundChangeHistory = 0;
    uint8_t SamplerWrapped = 0;
    uint32_t BlockOffset = 0;
    SampleClock Clock;
    std::array<uint8_t, kSoundBlockSize> Block{};
  };
  void Save(Saved& out) const {
    out = {SoundLevel, SoundChangeHistory, SamplerWrapped, BlockOffset, clock_, block_};
  }
  void Restore(const Saved& in) {
    SoundLevel = in.SoundLevel;
    SoundChangeHistory = in.SoundChangeHistory;
    SamplerWrapped = in.SamplerWrapped;
    BlockOffset = in.BlockOffset;
    clock_ = in.Clock;
    block_ = in.Block;
  }

 private:
  void Run(uint32_t tackts);
  void PutSample() {
    clock_.Put(static_cast<uint8_t>(clock_.Sum / clock_.Count));
    clock_.Sum = 0;
    clock_.Count = 0;
  }

  MachineState& state_;
  SampleClock clock_;  // one step a T-state
  std::array<uint8_t, kSoundBlockSize> block_{};
};

}  // namespace vantrel
