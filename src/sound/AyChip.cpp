#include "sound/AyChip.h"

#include <algorithm>

namespace vantrel {

namespace {

// Output level of a channel for each of the 32 amplitude levels; a fixed volume v uses
// entry 2v, the envelope all of them.
constexpr std::array<uint16_t, 32> kAyVolumes = {
    0,     0,     342,   342,   552,   552,   826,   826,   1282,  1282,  2159,
    2159,  3284,  3284,  6073,  6073,  6896,  6896,  11917, 11917, 16455, 16455,
    20295, 20295, 25896, 25896, 31513, 31513, 37601, 37601, 43690, 43960};

struct EnvelopePhase {
  uint8_t level;
  int8_t step;
};

// Each shape (R13 & 15) runs its phase 0 once, then switches between its two phases
// whenever the level leaves 0..31. A step of 0 holds the level.
constexpr std::array<std::array<EnvelopePhase, 2>, 16> kEnvelopeShapes = {{
    {{{31, -1}, {0, 0}}},
    {{{31, -1}, {0, 0}}},
    {{{31, -1}, {0, 0}}},
    {{{31, -1}, {0, 0}}},
    {{{0, 1}, {0, 0}}},
    {{{0, 1}, {0, 0}}},
    {{{0, 1}, {0, 0}}},
    {{{0, 1}, {0, 0}}},
    {{{31, -1}, {31, -1}}},
    {{{31, -1}, {0, 0}}},
    {{{31, -1}, {0, 1}}},
    {{{31, -1}, {31, 0}}},
    {{{0, 1}, {0, 1}}},
    {{{0, 1}, {31, 0}}},
    {{{0, 1}, {31, -1}}},
    {{{0, 1}, {0, 0}}},
}};

// A down-counter that reloads by adding its period when it reaches 0 or borrows, so a
// period of n reloads every n steps. Advances `steps` steps at once and returns the
// number of reloads.
template <typename Counter>
uint32_t CountDown(Counter& counter, uint32_t period, uint32_t steps) {
  if (steps == 0) return 0;
  uint32_t reloads = 0;
  if (counter == 0) {
    // 0 borrows at once and reloads one short of the period.
    --steps;
    reloads = 1;
    counter = static_cast<Counter>(period - 1);
    if (counter == 0) return reloads + steps;  // period 1 from 0: every step
  }
  if (steps < counter) {
    counter = static_cast<Counter>(counter - steps);
    return reloads;
  }
  steps -= counter;
  reloads += 1 + steps / period;
  counter = static_cast<Counter>(period - steps % period);
  return reloads;
}

}  // namespace

void AyChip::Reset() {
  for (int r = 0; r < 16; ++r) WriteRegister(r, 0);
}

void AyChip::WriteRegister(int index, uint8_t value) {
  index &= 0x0F;
  registers_[index] = value;
  switch (index) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5: {
      const int channel = index / 2;
      const uint16_t period = static_cast<uint16_t>(registers_[channel * 2] |
                                                    (registers_[channel * 2 + 1] & 0x0F) << 8);
      tonePeriod_[channel] = period ? period : 1;
      break;
    }
    case 6: noisePeriod_ = (value & 31) ? (value & 31) : 1; break;
    case 7: mixer_ = value & 63; break;
    case 8:
    case 9:
    case 10:
      amplitude_[index - 8] =
          (value & 0x10) ? kEnvelopeAmplitude : static_cast<uint8_t>((value & 0x0F) * 2);
      break;
    case 11:
    case 12: {
      const uint16_t period = static_cast<uint16_t>(registers_[11] | registers_[12] << 8);
      envelopePeriod_ = period ? period : 1;
      break;
    }
    case 13:
      // The envelope restarts from its first phase; its counter runs on.
      shape_ = value & 0x0F;
      phase_ = 0;
      LoadEnvelopePhase();
      break;
    default: break;  // R14 and R15 are the I/O port, stored only
  }
}

void AyChip::SetFrameLength(uint32_t tackts) {
  clock_.SetFrameLength(tackts, kStepTackts);
  Steps.SetFrameLength(tackts);
  stepsBase_ = 0;
}

void AyChip::LoadEnvelopePhase() {
  const EnvelopePhase& p = kEnvelopeShapes[shape_][phase_];
  envelopeLevel_ = p.level;
  envelopeStep_ = p.step;
}

bool AyChip::Silent() const {
  return shortcut_ && amplitude_[0] == 0 && amplitude_[1] == 0 && amplitude_[2] == 0;
}

void AyChip::Run(uint32_t tackts) {
  while (clock_.Pos < tackts) {
    const uint32_t toWrap = (clock_.FrameLength - clock_.Pos + kStepTackts - 1) / kStepTackts;
    const uint32_t needed = (tackts - clock_.Pos + kStepTackts - 1) / kStepTackts;
    const uint32_t steps = std::min(toWrap, needed);
    if (!samplesWanted_ || Silent()) {
      SkipSilent(steps);
    } else {
      FlushNoise();
      StepLoud(steps);
    }
    if (clock_.Pos >= clock_.FrameLength) {
      clock_.Pos -= clock_.FrameLength;
      stepsBase_ += clock_.FrameLength;
      tackts = tackts > clock_.FrameLength ? tackts - clock_.FrameLength : 0;
    }
  }
}

void AyChip::StepLoud(uint32_t steps) {
  // Locals, so the sample stores do not force the state back to memory every step.
  uint8_t noiseCounter = noiseCounter_;
  uint16_t seed = noiseSeed_;
  std::array<uint16_t, 3> tone = toneCounter_;
  uint16_t envelopeCounter = envelopeCounter_;
  uint8_t outputs = outputs_;
  uint32_t sum = clock_.Sum;
  uint32_t count = clock_.Count;
  uint32_t fraction = clock_.Fraction;
  uint32_t pos = clock_.Pos;
  const uint32_t frameLength = clock_.FrameLength;
  const uint32_t fractionStep = clock_.FractionStep;
  const uint32_t fractionWrap = clock_.FractionWrap;
  const uint32_t mixer = mixer_;
  // The channels' levels change only with the gates or the envelope (the registers
  // change between runs), so they and their sum are worked out again only then; the
  // first step always looks, and an envelope step forgets the gates seen.
  uint32_t lastOn = ~0u;
  uint32_t levelSum = 0;

  for (uint32_t i = 0; i < steps; ++i) {
    if (noiseCounter <= 1) {
      noiseCounter = static_cast<uint8_t>(noiseCounter - 1 + noisePeriod_);
      seed = static_cast<uint16_t>(seed * 23457u + 1);
      if (!(seed & 0x8000)) outputs ^= 0x38;
    } else {
      --noiseCounter;
    }
    for (int k = 0; k < 3; ++k) {
      if (tone[k] <= 1) {
        tone[k] = static_cast<uint16_t>(tone[k] - 1 + tonePeriod_[k]);
        outputs ^= static_cast<uint8_t>(1 << k);
      } else {
        --tone[k];
      }
    }
    if (envelopeCounter <= 1) {
      envelopeCounter = static_cast<uint16_t>(envelopeCounter - 1 + envelopePeriod_);
      envelopeLevel_ = static_cast<uint8_t>(envelopeLevel_ + envelopeStep_);
      lastOn = 0xFFFFFFFF;
      if (envelopeLevel_ & 0xE0) {
        // Past 31 upwards or 0 downwards: the shape's other phase takes over.
        phase_ ^= 1;
        LoadEnvelopePhase();
      }
    } else {
      --envelopeCounter;
    }
    // A channel sounds when its tone is high or gated off, and so is its noise.
    const uint32_t m = outputs | mixer;
    const uint32_t on = m & (m >> 3) & 7;
    if (on != lastOn) [[unlikely]] {
      std::array<uint16_t, 3> levels{};
      for (int k = 0; k < 3; ++k) {
        if (on & (1u << k)) {
          const uint8_t a = amplitude_[k];
          levels[k] = kAyVolumes[a == kEnvelopeAmplitude ? envelopeLevel_ : a];
        }
      }
      levelSum = uint32_t{levels[0]} + levels[1] + levels[2];
      StepTo(pos, levels);
      lastOn = on;
    }
    sum += levelSum;
    pos += kStepTackts;
    count += 3;
    if (pos >= frameLength) break;  // the caller's frame end writes the last sample
    fraction += fractionStep;
    if (fraction >= fractionWrap) {
      fraction -= fractionWrap;
      PutSample(static_cast<uint8_t>((sum / count) >> 8));
      sum = 0;
      count = 0;
    }
  }

  noiseCounter_ = noiseCounter;
  noiseSeed_ = seed;
  toneCounter_ = tone;
  envelopeCounter_ = envelopeCounter;
  outputs_ = outputs;
  clock_.Sum = sum;
  clock_.Count = count;
  clock_.Fraction = fraction;
  clock_.Pos = pos;
  if (clock_.Pos >= clock_.FrameLength) EndSoundFrame();
}

void AyChip::EndSoundFrame() {
  PutSample(static_cast<uint8_t>((clock_.Sum / clock_.Count) >> 8));
  clock_.Index = 0;
  clock_.Sum = 0;
  clock_.Count = 0;
  clock_.Fraction = 0;
}

void AyChip::SkipSilent(uint32_t steps) {
  // Nothing is heard meanwhile: the steps go down to silence where the skip starts.
  StepTo(clock_.Pos, {0, 0, 0});
  pendingNoise_ = (pendingNoise_ + CountDown(noiseCounter_, noisePeriod_, steps)) & 0xFFFF;
  for (int k = 0; k < 3; ++k) {
    if (CountDown(toneCounter_[k], tonePeriod_[k], steps) & 1)
      outputs_ ^= static_cast<uint8_t>(1 << k);
  }
  AdvanceEnvelope(CountDown(envelopeCounter_, envelopePeriod_, steps));

  // Every step adds nothing to the sum: only the sample boundaries matter.
  clock_.Pos += steps * kStepTackts;
  const bool wraps = clock_.Pos >= clock_.FrameLength;
  const uint32_t fractionSteps = wraps ? steps - 1 : steps;
  const uint32_t first =
      (clock_.FractionWrap - clock_.Fraction + clock_.FractionStep - 1) / clock_.FractionStep;
  if (fractionSteps < first) {
    clock_.Fraction += fractionSteps * clock_.FractionStep;
    clock_.Count += 3 * fractionSteps;
  } else {
    clock_.Count += 3 * first;
    PutSample(static_cast<uint8_t>((clock_.Sum / clock_.Count) >> 8));
    clock_.Sum = 0;
    // After a sample the fraction is below one step, so the steps since the last sample
    // can be read back from it.
    const uint32_t total = clock_.Fraction + first * clock_.FractionStep - clock_.FractionWrap +
                           (fractionSteps - first) * clock_.FractionStep;
    for (uint32_t n = total / clock_.FractionWrap; n > 0; --n) PutSample(0);
    clock_.Fraction = total % clock_.FractionWrap;
    clock_.Count = 3 * (clock_.Fraction / clock_.FractionStep);
  }
  if (wraps) {
    clock_.Count += 3;
    EndSoundFrame();
  }
}

void AyChip::AdvanceEnvelope(uint32_t reloads) {
  bool cycled = false;
  while (reloads > 0 && envelopeStep_ != 0) {
    const uint32_t toSwitch = envelopeStep_ < 0 ? envelopeLevel_ + 1u : 32u - envelopeLevel_;
    if (reloads < toSwitch) {
      envelopeLevel_ = static_cast<uint8_t>(envelopeLevel_ + envelopeStep_ * int(reloads));
      return;
    }
    reloads -= toSwitch;
    phase_ ^= 1;
    LoadEnvelopePhase();
    // From a phase's start both phases take 32 reloads each, so a repeating shape comes
    // back to the same place every 64.
    if (!cycled) {
      const auto& phases = kEnvelopeShapes[shape_];
      if (phases[0].step != 0 && phases[1].step != 0) reloads %= 64;
      cycled = true;
    }
  }
}

void AyChip::FlushNoise() {
  for (; pendingNoise_ > 0; --pendingNoise_) {
    noiseSeed_ = static_cast<uint16_t>(noiseSeed_ * 23457u + 1);
    if (!(noiseSeed_ & 0x8000)) outputs_ ^= 0x38;
  }
}

}  // namespace vantrel
