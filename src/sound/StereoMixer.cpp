#include "sound/StereoMixer.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace vantrel {

namespace {

// Per sample: a time constant of 1000 samples (23 ms), a corner near 7 Hz.
constexpr float kLeak = 0.999f;
// Below this the sum is silence; stopping there keeps denormals out of an idle mix.
constexpr float kQuiet = 1.0f / 64;

// Rounding is left to the truncation: a bias below one step of the 16 bits, and no call
// into the maths library per sample.
int16_t ToSample(float v) {
  return static_cast<int16_t>(static_cast<int32_t>(std::clamp(v, -32768.0f, 32767.0f)));
}

}  // namespace

std::optional<StereoLayout> ParseStereoLayout(std::string_view text) {
  for (int i = 0; i < kStereoLayoutCount; ++i) {
    const std::string_view name = kStereoLayoutNames[i];
    if (name.size() == text.size() &&
        std::equal(name.begin(), name.end(), text.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) ==
                 std::tolower(static_cast<unsigned char>(b));
        })) {
      return static_cast<StereoLayout>(i);
    }
  }
  return std::nullopt;
}

std::array<Pan, 3> ChannelPans(StereoLayout layout) {
  const float centre = static_cast<float>(std::sqrt(0.5));
  const Pan left{1, 0}, middle{centre, centre}, right{0, 1};
  switch (layout) {
    case StereoLayout::Abc: return {left, middle, right};
    case StereoLayout::Acb: return {left, right, middle};
    case StereoLayout::Mono: break;
  }
  return {Pan{}, Pan{}, Pan{}};
}

void StereoMixer::Mix(std::span<StepBuffer* const> sources) {
  StepBuffer* touched[4];
  size_t count = 0;
  for (StepBuffer* s : sources) {
    if (s->Touched && count < std::size(touched)) touched[count++] = s;
  }
  float l = left_, r = right_;
  if (count == 0 && std::fabs(l) < kQuiet && std::fabs(r) < kQuiet) {
    block_.fill(0);
    left_ = right_ = 0;
    return;
  }
  // The sources' sum first (a loop the compiler vectorises), then the leaky integration.
  // While every source is the same on both sides, and so are the integrators, one side
  // is computed for both.
  bool split = l != r;
  for (size_t k = 0; k < count; ++k) split = split || touched[k]->Split;
  std::array<float, kSoundBlockSize> sumL{}, sumR;
  if (split) sumR.fill(0);
  for (size_t k = 0; k < count; ++k) {
    const float* left = touched[k]->Left.data();
    for (uint32_t i = 0; i < kSoundBlockSize; ++i) sumL[i] += left[i];
    if (!split) continue;
    const float* right = touched[k]->RightSide().data();
    for (uint32_t i = 0; i < kSoundBlockSize; ++i) sumR[i] += right[i];
  }
  if (!split) {
    for (uint32_t i = 0; i < kSoundBlockSize; ++i) {
      l = l * kLeak + sumL[i];
      block_[2 * i] = block_[2 * i + 1] = ToSample(l);
    }
    r = l;
  } else {
    for (uint32_t i = 0; i < kSoundBlockSize; ++i) {
      l = l * kLeak + sumL[i];
      r = r * kLeak + sumR[i];
      block_[2 * i] = ToSample(l);
      block_[2 * i + 1] = ToSample(r);
    }
  }
  left_ = l;
  right_ = r;
  for (size_t k = 0; k < count; ++k) touched[k]->NextFrame();
}

}  // namespace vantrel
