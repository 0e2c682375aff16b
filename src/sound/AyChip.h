#pragma once

#include <array>
#include <cstdint>

#include "core/FrameTiming.h"
#include "sound/BandLimitedSteps.h"
#include "sound/SampleClock.h"
#include "sound/SoundOutput.h"
#include "sound/StereoMixer.h"

namespace vantrel {

// The AY-3-8912 of the 128K machines: three square-wave tones, one noise source and one
// envelope generator, mixed into one frame of 882 mono samples and, each channel on its
// own side, into band-limited stereo steps (Steps).
//
// The chip is stepped lazily: before a register write takes effect and at the frame end
// it runs from where it stopped up to the present T-state. One step is 16 T-states, one
// period of the tone counters' clock.
class AyChip {
 public:
  static constexpr uint32_t kStepTackts = 16;

  AyChip() { Reset(); }

  // Register select: only the low four bits reach the chip.
  void Select(uint8_t value) { selected_ = value & 0x0F; }
  // Writing the value a register already holds changes nothing, so the chip is neither
  // advanced nor written; register 13 is the exception, since writing it restarts the
  // envelope.
  void WriteData(uint8_t value, uint32_t tackts) {
    if (value == registers_[selected_] && selected_ != 13) return;
    AdvanceTo(tackts);
    WriteRegister(selected_, value);
    ++writes_;
  }
  // Brings the sound generators up to `tackts`.
  void AdvanceTo(uint32_t tackts) {
    if (tackts > clock_.Pos) Run(tackts);
  }
  // The frame end: up to the frame's end, unless a write past it (the last instruction's
  // overrun) has already taken the chip into the next frame.
  void FinishFrame(uint32_t frameLength) {
    if (stepsBase_ == 0) AdvanceTo(frameLength);
  }
  // Once the frame's steps are mixed, the steps go on counting from the new frame.
  void NextSoundFrame() {
    stepsBase_ = stepsBase_ >= clock_.FrameLength ? stepsBase_ - clock_.FrameLength : 0;
  }
  // Where the channels are heard in the steps; takes effect at the channels' next change.
  void SetLayout(StereoLayout layout) { pans_ = ChannelPans(layout); }
  // Registers read back as written, without masking to their used bits.
  uint8_t Read() const { return registers_[selected_]; }
  // Writes 0 to all sixteen registers (which also loads envelope shape 0); the selection
  // is kept.
  void Reset();
  // Stores a register and recomputes what is derived from it.
  void WriteRegister(int index, uint8_t value);

  // The sound frame follows the machine's frame: 882 samples per frame of `tackts`.
  void SetFrameLength(uint32_t tackts);

  // The frame's band-limited steps, each channel at its pan (StereoMixer sums them).
  StepBuffer Steps;

  // One frame of samples (0..171), complete after the frame end's AyAdvance.
  const std::array<uint8_t, kSoundBlockSize>& Samples() const { return clock_.Samples; }

  uint8_t Selected() const { return selected_; }
  uint8_t Register(int index) const { return registers_[index & 0x0F]; }
  // Register writes that reached the chip (for tests and diagnostics).
  uint32_t Writes() const { return writes_; }
  // Generator state, for tests and the debugger. Outputs: bits 0-2 tone flip-flops,
  // bits 3-5 noise.
  uint8_t Outputs() {
    FlushNoise();
    return outputs_;
  }
  uint8_t EnvelopeLevel() const { return envelopeLevel_; }
  uint32_t Position() const { return clock_.Pos; }
  // While no channel can be heard the generators are advanced in closed form rather than
  // step by step. Tests turn that off to compare both ways.
  void SetSilenceShortcut(bool enabled) { shortcut_ = enabled; }
  // A frame whose samples nobody writes out (at maximum speed only one frame per timer
  // tick is heard) is advanced in closed form too, and leaves silence in its block. Set
  // between frames, once the chip has reached the frame's end.
  void SetSamplesWanted(bool wanted) { samplesWanted_ = wanted; }

 private:
  // The envelope level is in force for a channel when its amplitude index is this.
  static constexpr uint8_t kEnvelopeAmplitude = 0xFF;

  void Run(uint32_t tackts);
  bool Silent() const;
  void StepLoud(uint32_t steps);
  void SkipSilent(uint32_t steps);
  void EndSoundFrame();
  void LoadEnvelopePhase();
  void AdvanceEnvelope(uint32_t reloads);
  void FlushNoise();
  void PutSample(uint8_t value) { clock_.Put(value); }
  // The channels' outputs are now `levels` (volume table values) at T-state `pos`: the
  // channels that changed make one step together, so noise and the envelope, which
  // move several channels at once, cost one step.
  void StepTo(uint32_t pos, const std::array<uint16_t, 3>& levels) {
    float left = 0, right = 0;
    bool moved = false;
    for (int k = 0; k < 3; ++k) {
      if (levels[k] == heard_[k]) continue;
      const float d = (static_cast<float>(levels[k]) - heard_[k]) * kStepScale;
      left += d * pans_[k].Left;
      right += d * pans_[k].Right;
      heard_[k] = levels[k];
      moved = true;
    }
    if (moved) Steps.Add(pos + stepsBase_, left, right);
  }
  // Today's mix gives a channel a third of the AY's half, in 8-bit units of 256 volume
  // steps; the 16-bit stream scales that up.
  static constexpr float kStepScale = kSixteenBitPerLevel / (2 * 3 * 256);

  std::array<uint8_t, 16> registers_{};
  uint8_t selected_ = 0;
  uint32_t writes_ = 0;

  // Derived from the registers.
  std::array<uint16_t, 3> tonePeriod_{1, 1, 1};
  uint8_t noisePeriod_ = 1;
  uint8_t mixer_ = 0;
  std::array<uint8_t, 3> amplitude_{};  // volume table index, or kEnvelopeAmplitude
  uint16_t envelopePeriod_ = 1;
  uint8_t shape_ = 0;
  uint8_t phase_ = 0;

  // Generators.
  std::array<uint16_t, 3> toneCounter_{};
  uint16_t envelopeCounter_ = 0;
  uint8_t noiseCounter_ = 0;
  uint16_t noiseSeed_ = 0;
  uint8_t outputs_ = 0;
  uint8_t envelopeLevel_ = 0;
  int8_t envelopeStep_ = 0;
  // Noise reloads not yet applied while the chip was silent. The noise generator's seed
  // runs through all 65536 values and toggles the flip-flops an even number of times on
  // the way, so only the count modulo 65536 matters.
  uint32_t pendingNoise_ = 0;
  bool shortcut_ = true;
  bool samplesWanted_ = true;
  // What the steps hold for each channel, the channels' pans, and what the steps add to
  // the chip's frame position: the frame length once a write past the frame's end has
  // wrapped the chip before the machine's frame end.
  std::array<uint16_t, 3> heard_{};
  std::array<Pan, 3> pans_ = ChannelPans(StereoLayout::Mono);
  uint32_t stepsBase_ = 0;

  // Sampler: 100/8127 of a sample per T-state, kStepTackts T-states a step.
  SampleClock clock_{kDefaultTacktsPerInt, 100 * kStepTackts};
};

}  // namespace vantrel
