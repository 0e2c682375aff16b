#pragma once

#include <array>
#include <cstdint>

#include "core/FrameTiming.h"
#include "sound/SoundOutput.h"

namespace vantrel {

// Band-limited synthesis of a signal made of steps (the beeper's and the AY's square
// waves). A change of level is not rounded to an output sample: it adds the differences
// of a low-passed step, placed at its exact fraction of a sample, to a buffer that the
// frame end sums up (StereoMixer). What the step leaves out is the part above the audible
// band, which would otherwise fold back as whistles below it.
inline constexpr int kStepTaps = 24;
inline constexpr int kStepPhaseBits = 7;
inline constexpr int kStepPhases = 1 << kStepPhaseBits;
// A frame's samples, the last step's tail and room for changes just past the frame's end
// (the last instruction's overrun), which belong to the next frame.
inline constexpr uint32_t kStepLateSamples = 32;
inline constexpr uint32_t kStepBufferLength = kSoundBlockSize + kStepTaps + kStepLateSamples;

// One band-limited step per fraction of a sample: tap j is what the step adds to the
// sample j after the one it falls in. The taps of each row sum to exactly 1.
using StepKernel = std::array<std::array<float, kStepTaps>, kStepPhases>;
const StepKernel& BandLimitedStepKernel();

// The steps of one source in a stereo frame. Plain values only, so a machine's state can
// be copied whole; the kernel is shared and never changes.
//
// Most steps are the same on both sides (the beeper, every AY channel in mono, the middle
// channel of a stereo layout): until a step differs, only Left holds them and Right stays
// zero, so such a step costs one side's taps and the mixer reads Left for both.
struct StepBuffer {
  std::array<float, kStepBufferLength> Left{};
  std::array<float, kStepBufferLength> Right{};
  // Output samples per T-state, 32.32 fixed point: 882 samples a frame of any length.
  uint64_t SamplesPerTackt = (uint64_t{kSoundBlockSize} << 32) / kDefaultTacktsPerInt;
  // Whether any step went into this frame (an idle source costs the mixer nothing).
  bool Touched = false;
  // Whether Right holds its own steps; otherwise the right side is Left.
  bool Split = false;

  void SetFrameLength(uint32_t tackts) {
    SamplesPerTackt = (uint64_t{kSoundBlockSize} << 32) / (tackts ? tackts : 1);
  }
  // A change of `left` and `right` at T-state `tackts` of the frame (past its end: the
  // next frame's start).
  void Add(uint32_t tackts, float left, float right) {
    const uint64_t at = tackts * SamplesPerTackt;
    uint32_t sample = static_cast<uint32_t>(at >> 32);
    if (sample > kSoundBlockSize + kStepLateSamples) sample = kSoundBlockSize + kStepLateSamples;
    const auto& taps = (*kernel_)[(at >> (32 - kStepPhaseBits)) & (kStepPhases - 1)];
    Touched = true;
    if (left == right && !Split) {
      AddTaps(&Left[sample], taps, left);
      return;
    }
    if (!Split) {
      Right = Left;
      Split = true;
    }
    if (left != 0) AddTaps(&Left[sample], taps, left);
    if (right != 0) AddTaps(&Right[sample], taps, right);
  }
  const std::array<float, kStepBufferLength>& RightSide() const { return Split ? Right : Left; }
  // After the frame was mixed: what fell past its end moves to the start.
  void NextFrame();

 private:
  static void AddTaps(float* to, const std::array<float, kStepTaps>& taps, float size) {
    for (int j = 0; j < kStepTaps; ++j) to[j] += taps[j] * size;
  }
  // Held here rather than asked for at every step.
  const StepKernel* kernel_ = &BandLimitedStepKernel();
};

}  // namespace vantrel
