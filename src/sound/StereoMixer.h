#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "sound/BandLimitedSteps.h"
#include "sound/SoundOutput.h"

namespace vantrel {

// Where the AY's three channels are heard. Mono: all in the middle. ABC: A left, B in
// the middle, C right (the Pentagon scene's layout). ACB: A left, C in the middle, B
// right (the 128K add-ons' usual one).
enum class StereoLayout : uint8_t { Mono = 0, Abc = 1, Acb = 2 };
inline constexpr int kStereoLayoutCount = 3;
inline constexpr std::array<std::string_view, kStereoLayoutCount> kStereoLayoutNames = {
    "Mono", "ABC", "ACB"};
// "mono", "abc" or "acb" in any case.
std::optional<StereoLayout> ParseStereoLayout(std::string_view text);

// A channel's share of the left and right side.
struct Pan {
  float Left = 1;
  float Right = 1;
};
// The pans of channels A, B and C. A channel in the middle of a stereo layout has equal
// power on both sides (1/sqrt 2 each), so panning does not change its loudness.
std::array<Pan, 3> ChannelPans(StereoLayout layout);

// The scale of the 16-bit stream: one unit of today's 8-bit mix (beeper and AY averaged)
// is this much, so the loudest mix still fits after the DC is taken out.
inline constexpr float kSixteenBitPerLevel = 128.0f;

// Sums the frame's band-limited steps of every source into 16-bit stereo samples. The
// sum is leaky (a high-pass far below hearing): the beeper's and the AY's levels are all
// positive, and the stream must still sit around 0 so it starts and stops without a
// click.
class StereoMixer {
 public:
  // Interleaved left, right: one frame.
  using Block = std::array<int16_t, 2 * kSoundBlockSize>;

  // Mixes the buffers, then moves each on to the next frame.
  void Mix(std::span<StepBuffer* const> sources);
  const Block& LastBlock() const { return block_; }

 private:
  Block block_{};
  float left_ = 0;
  float right_ = 0;
};

}  // namespace vantrel
