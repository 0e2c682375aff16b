#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numeric>
#include <utility>
#include <vector>

#include "MachineFixture.h"
#include "app/Application.h"
#include "app/Settings.h"
#include "machine/Machine.h"
#include "sound/BandLimitedSteps.h"
#include "sound/StereoMixer.h"

namespace vantrel {
namespace {

constexpr double kRate = kSoundSampleRate;

// Runs whole frames with nothing but the frame ends; `write` may change the sound in each
// frame first. Returns the stereo stream, left and right apart.
struct Stream {
  std::vector<double> Left, Right;
};

template <class PerFrame>
Stream RunFrames(Machine& m, int frames, PerFrame perFrame) {
  Stream s;
  for (int f = 0; f < frames; ++f) {
    perFrame(f);
    m.State.Regs.Tackts = m.State.TacktsPerInt;
    m.EndFrameIfDue();
    const auto& block = m.LastStereoBlock();
    for (uint32_t i = 0; i < kSoundBlockSize; ++i) {
      s.Left.push_back(block[2 * i]);
      s.Right.push_back(block[2 * i + 1]);
    }
  }
  return s;
}

double Rms(const std::vector<double>& v, size_t from) {
  double sum = 0;
  for (size_t i = from; i < v.size(); ++i) sum += v[i] * v[i];
  return std::sqrt(sum / static_cast<double>(v.size() - from));
}

void WriteAy(Machine& m, uint8_t reg, uint8_t value) {
  m.Ports.PortWrite(0xFFFD, reg);
  m.Ports.PortWrite(0xBFFD, value);
}

// A 1 kHz tone at full volume on one channel only, noise off.
void ToneOn(Machine& m, int channel) {
  WriteAy(m, static_cast<uint8_t>(2 * channel), 112);  // 3584000 / 16 / 224 = 1000 Hz
  WriteAy(m, 7, static_cast<uint8_t>(0x38 | (7 & ~(1 << channel))));
  WriteAy(m, static_cast<uint8_t>(8 + channel), 15);
}

// The left and right loudness of a channel's tone in a layout, relative to the channel
// heard on one side only.
std::pair<double, double> Sides(StereoLayout layout, int channel) {
  Machine m(1);
  m.SetStereoLayout(layout);
  ToneOn(m, channel);
  const Stream s = RunFrames(m, 12, [](int) {});
  const size_t settled = 4 * kSoundBlockSize;
  if (layout == StereoLayout::Mono) {
    for (size_t i = 0; i < s.Left.size(); ++i) EXPECT_EQ(s.Left[i], s.Right[i]) << i;
  }
  // Channel A is hard left in both stereo layouts: the reference loudness.
  Machine reference(1);
  reference.SetStereoLayout(StereoLayout::Abc);
  ToneOn(reference, 0);
  const double full = Rms(RunFrames(reference, 12, [](int) {}).Left, settled);
  return {Rms(s.Left, settled) / full, Rms(s.Right, settled) / full};
}

TEST(StereoLayout, EachChannelIsHeardOnItsSideAndTheMiddleAtEqualPower) {
  const double centre = std::sqrt(0.5);
  struct Case {
    StereoLayout Layout;
    int Channel;
    double Left, Right;
  };
  const Case cases[] = {
      {StereoLayout::Abc, 0, 1, 0},  {StereoLayout::Abc, 1, centre, centre},
      {StereoLayout::Abc, 2, 0, 1},  {StereoLayout::Acb, 0, 1, 0},
      {StereoLayout::Acb, 1, 0, 1},  {StereoLayout::Acb, 2, centre, centre},
      {StereoLayout::Mono, 0, 1, 1}, {StereoLayout::Mono, 1, 1, 1},
      {StereoLayout::Mono, 2, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << kStereoLayoutNames[int(c.Layout)] << " " << c.Channel);
    const auto [left, right] = Sides(c.Layout, c.Channel);
    EXPECT_NEAR(left, c.Left, 0.01);
    EXPECT_NEAR(right, c.Right, 0.01);
  }
}

TEST(StereoLayout, NamesParseInAnyCaseAndNothingElse) {
  EXPECT_EQ(ParseStereoLayout("mono"), StereoLayout::Mono);
  EXPECT_EQ(ParseStereoLayout("ABC"), StereoLayout::Abc);
  EXPECT_EQ(ParseStereoLayout("aCb"), StereoLayout::Acb);
  for (const char* bad : {"", "ab", "abcd", "stereo", "bca"}) {
    EXPECT_EQ(ParseStereoLayout(bad), std::nullopt) << bad;
  }
}

// The beeper sits in the middle whatever the layout, at the same level on both sides.
TEST(StereoLayout, TheBeeperIsInTheMiddle) {
  for (StereoLayout layout : {StereoLayout::Mono, StereoLayout::Abc, StereoLayout::Acb}) {
    Machine m(1);
    m.SetStereoLayout(layout);
    const Stream s = RunFrames(m, 3, [&](int) {
      for (uint32_t t = 0; t < m.State.TacktsPerInt; t += 1792) {  // 1 kHz
        m.State.Regs.Tackts = t;
        m.Ports.PortWrite(0xFE, (t / 1792) & 1 ? 0x10 : 0x00);
      }
    });
    EXPECT_GT(Rms(s.Left, kSoundBlockSize), 1000);
    EXPECT_EQ(s.Left, s.Right);
  }
}

// In-place radix-2 transform; the size is a power of two.
void Fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> w = std::polar(1.0, -2 * M_PI / static_cast<double>(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> wk = 1;
      for (size_t k = 0; k < len / 2; ++k, wk *= w) {
        const auto u = a[i + k], v = a[i + k + len / 2] * wk;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

// The loudest component that is not the tone or one of its harmonics below half the
// sample rate (which a sampled square wave rightly has), in dB below the tone.
double WorstAliasDb(const std::vector<double>& signal, double tone) {
  constexpr size_t kSize = 16384;
  std::vector<std::complex<double>> a(kSize);
  const size_t from = signal.size() - kSize;
  double mean = 0;
  for (size_t i = 0; i < kSize; ++i) mean += signal[from + i];
  mean /= kSize;
  for (size_t i = 0; i < kSize; ++i) {
    // Blackman-Harris: its side lobes (-92 dB) stay below what is measured.
    const double x = 2 * M_PI * static_cast<double>(i) / kSize;
    const double w =
        0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
    a[i] = (signal[from + i] - mean) * w;
  }
  Fft(a);
  const double binHz = kRate / kSize;
  const auto magnitude = [&](size_t bin) { return std::abs(a[bin]); };
  const auto nearHarmonic = [&](size_t bin) {
    const double f = static_cast<double>(bin) * binHz;
    for (double h = tone; h < kRate / 2; h += 2 * tone) {
      if (std::fabs(f - h) < 6 * binHz) return true;
    }
    return f < 60;  // what is left of the DC after the high-pass
  };
  double peak = 0, worst = 0;
  for (size_t bin = 1; bin < kSize / 2; ++bin) {
    if (std::fabs(static_cast<double>(bin) * binHz - tone) < 6 * binHz) {
      peak = std::max(peak, magnitude(bin));
    } else if (!nearHarmonic(bin)) {
      worst = std::max(worst, magnitude(bin));
    }
  }
  return 20 * std::log10(worst / peak);
}

// A 5 kHz square wave from the speaker, its edges on whole T-states as a program's would
// be: the stream carries its odd harmonics up to 20 kHz and nothing that folded back from
// above half the sample rate. Each sample of the 8-bit mix averages its T-states, which
// lets the 25 and 35 kHz harmonics through as whistles at 19.1 and 9.1 kHz.
TEST(BandLimitedSteps, ABeeperSquareWaveHasNoAliasAboveMinus50dB) {
  constexpr double kTone = 5000;
  Machine m(1);
  const double halfPeriod = kDefaultTacktsPerInt * 50.0 / kTone / 2;  // 358.4 T-states
  uint64_t edge = 0;
  std::vector<double> mono8;
  const Stream s = RunFrames(m, 24, [&](int frame) {
    const uint64_t frameStart = uint64_t{kDefaultTacktsPerInt} * frame;
    for (;; ++edge) {
      const auto at = static_cast<uint64_t>(std::llround(static_cast<double>(edge) * halfPeriod));
      if (at >= frameStart + kDefaultTacktsPerInt) break;
      m.State.Regs.Tackts = static_cast<uint32_t>(at - frameStart);
      m.Ports.PortWrite(0xFE, edge & 1 ? 0x00 : 0x10);
    }
    if (frame > 0) {
      for (uint8_t v : m.LastSoundBlock()) mono8.push_back(v);
    }
  });
  EXPECT_LT(WorstAliasDb(s.Left, kTone), -50);
  EXPECT_GT(WorstAliasDb(mono8, kTone), -40);  // the averaged 8-bit mix, for contrast
}

// The same for an AY tone near the top of the band, whose edges fall every 16 T-states.
TEST(BandLimitedSteps, AnAyToneHasNoAliasAboveMinus50dB) {
  Machine m(1);
  m.SetStereoLayout(StereoLayout::Abc);
  WriteAy(m, 0, 14);  // 3584000 / 16 / 28 = 8 kHz
  WriteAy(m, 7, 0x3E);
  WriteAy(m, 8, 15);
  const Stream s = RunFrames(m, 24, [](int) {});
  EXPECT_LT(WorstAliasDb(s.Left, 8000), -50);
}

TEST(BandLimitedSteps, EveryPhaseOfTheStepSumsToOne) {
  const StepKernel& kernel = BandLimitedStepKernel();
  for (int p = 0; p < kStepPhases; ++p) {
    EXPECT_NEAR(std::accumulate(kernel[p].begin(), kernel[p].end(), 0.0), 1.0, 1e-6) << p;
  }
  // A later fraction moves the step later: its half-way point moves with it.
  const auto halfWay = [&](int p) {
    double sum = 0;
    for (int j = 0; j < kStepTaps; ++j) {
      if ((sum += kernel[p][j]) >= 0.5) return j * kStepPhases - p;
    }
    return -1;
  };
  EXPECT_LT(halfWay(0), halfWay(kStepPhases / 2) + kStepPhases);
}

// A silent machine's stream is exactly 0, and a held level fades out rather than keeping
// the stream away from 0.
TEST(StereoMixer, SilenceIsZeroAndAHeldLevelFadesOut) {
  Machine m(1);
  Stream s = RunFrames(m, 2, [](int) {});
  for (double v : s.Left) ASSERT_EQ(v, 0);
  m.Ports.PortWrite(0xFE, 0x10);
  s = RunFrames(m, 20, [](int) {});
  EXPECT_GT(*std::max_element(s.Left.begin(), s.Left.end()), 5000);
  EXPECT_EQ(s.Left.back(), 0);
}

// Steps the same on both sides are kept on the left alone, and the mixer reads them for
// both sides; the stream must be exactly the one of buffers that keep both sides always.
// Each case is frames of steps (source, T-state, left, right) for two sources.
TEST(StereoMixer, OneSidedBuffersMixAsBuffersWithBothSides) {
  struct Step {
    int Source;
    uint32_t Tackts;
    float Left, Right;
  };
  using Frames = std::vector<std::vector<Step>>;
  const uint32_t late = kDefaultTacktsPerInt + 100;  // the last instruction's overrun
  const struct {
    const char* Name;
    Frames Steps;
  } cases[] = {
      {"centred only", {{{0, 100, 3000, 3000}, {1, 5000, -2000, -2000}}, {{0, 40000, 500, 500}}}},
      {"a side after centred steps in one frame",
       {{{0, 100, 3000, 3000}, {0, 30000, 2000, 0}, {0, 60000, -2000, 0}}, {}, {}}},
      {"one source on a side, the other centred",
       {{{0, 1000, 0, 4000}, {1, 2000, 1000, 1000}}, {{1, 3000, -1000, -1000}}, {}}},
      {"a side's step past the frame's end", {{{0, 500, 1000, 1000}, {0, late, 0, -3000}}, {}, {}}},
      {"stereo dies away, then centred steps",
       {{{1, 10, 5000, 0}}, {{1, 10, -5000, 0}}, {}, {}, {{1, 20000, 700, 700}}, {}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    // `both` keep both sides from the start and take part in every mix, so their mix
    // never takes the one-sided way. A buffer that died away is all zero again, where
    // both sides may be marked as its own.
    StepBuffer shared[2], both[2];
    StereoMixer mixShared, mixBoth;
    for (const auto& frame : c.Steps) {
      for (StepBuffer& b : both) b.Split = b.Touched = true;
      for (const Step& s : frame) {
        shared[s.Source].Add(s.Tackts, s.Left, s.Right);
        both[s.Source].Add(s.Tackts, s.Left, s.Right);
      }
      StepBuffer* const sharedSources[] = {&shared[0], &shared[1]};
      StepBuffer* const bothSources[] = {&both[0], &both[1]};
      mixShared.Mix(sharedSources);
      mixBoth.Mix(bothSources);
      ASSERT_EQ(mixShared.LastBlock(), mixBoth.LastBlock());
    }
    // Once everything has died away no buffer keeps a side of its own.
    EXPECT_FALSE(shared[0].Split || shared[1].Split);
  }
}

// The beeper and every channel in mono make steps the same on both sides: one side's
// work. A channel on a side makes the AY's buffer keep both.
TEST(StereoMixer, MonoSourcesKeepOneSide) {
  for (const StereoLayout layout : {StereoLayout::Mono, StereoLayout::Abc}) {
    Machine m(1);
    m.SetStereoLayout(layout);
    ToneOn(m, 0);
    m.State.Regs.Tackts = 1000;
    m.Ports.PortWrite(0xFE, 0x10);
    m.Ay.AdvanceTo(30000);
    EXPECT_TRUE(m.Ay.Steps.Touched && m.Beeper.Steps.Touched);
    EXPECT_FALSE(m.Beeper.Steps.Split);
    EXPECT_EQ(m.Ay.Steps.Split, layout != StereoLayout::Mono);
  }
}

// A channel sounded through the envelope, gates and noise off, changes only with the
// envelope's steps, in the stream and in the 8-bit samples alike.
TEST(AyChipFrames, TheEnvelopeAloneIsHeard) {
  Machine m(1);
  WriteAy(m, 7, 0x3F);
  WriteAy(m, 8, 0x10);
  WriteAy(m, 11, 40);  // 3584000 / 256 / 40 = 350 Hz sawtooth
  WriteAy(m, 13, 8);
  const Stream s = RunFrames(m, 8, [](int) {});
  EXPECT_GT(Rms(s.Left, 4 * kSoundBlockSize), 1000);
  const auto& samples = m.Ay.Samples();
  EXPECT_GT(*std::max_element(samples.begin(), samples.end()),
            *std::min_element(samples.begin(), samples.end()) + 40);
}

// A data write in the last instruction's overrun, past the frame's end, takes the chip
// into the next frame; the frame end must not run it through that frame again.
TEST(AyChipFrames, AWritePastTheFrameEndIsNotRunTwice) {
  Machine m(1);
  WriteAy(m, 8, 15);
  m.Ports.PortWrite(0xFFFD, 0);
  m.State.Regs.Tackts = m.State.TacktsPerInt + 10;
  m.Ports.PortWrite(0xBFFD, 0x20);
  m.EndFrameIfDue();
  EXPECT_EQ(m.Ay.Position(), 16u);
  EXPECT_EQ(m.State.Regs.Tackts, 10u);
}

// Two chips behind #FFFD: #FF and #FE choose one, each keeps its own registers and
// selection, and both are heard.
TEST(TurboSound, WritesReachOnlyTheChosenChip) {
  Machine m(1);
  m.SetTurboSound(true);
  m.Ports.PortWrite(0xFFFD, 0xFE);  // chip 1
  WriteAy(m, 0, 0x12);
  m.Ports.PortWrite(0xFFFD, 0xFF);  // back to chip 0
  WriteAy(m, 0, 0x34);
  WriteAy(m, 1, 0x05);
  EXPECT_EQ(test::Ints(m.Ay.Register(0), m.Ay.Register(1), m.Ay2.Register(0), m.Ay2.Register(1)),
            test::Ints(0x34, 0x05, 0x12, 0));
  EXPECT_EQ(m.Ports.PortRead(0xFFFD), 0x05);  // chip 0, register 1
  m.Ports.PortWrite(0xFFFD, 0xFE);
  EXPECT_EQ(m.Ports.PortRead(0xFFFD), 0x12);  // chip 1 kept register 0 selected
  EXPECT_EQ(m.Ay2.Selected(), 0);
  EXPECT_EQ(m.Ay.Selected(), 1);
}

TEST(TurboSound, OffTheSelectPortIsAsWithOneChip) {
  Machine m(1);
  m.Ports.PortWrite(0xFFFD, 0xFE);  // register 14
  m.Ports.PortWrite(0xBFFD, 0x77);
  m.Ports.PortWrite(0xFFFD, 0xFF);  // register 15
  m.Ports.PortWrite(0xBFFD, 0x66);
  EXPECT_EQ(test::Ints(m.Ay.Register(14), m.Ay.Register(15), m.Ay2.Register(14)),
            test::Ints(0x77, 0x66, 0));
  EXPECT_EQ(m.Ports.PortRead(0xFFFD), 0x66);
  // Turned off with chip 1 chosen: the ports reach chip 0 again and chip 1 falls silent.
  m.SetTurboSound(true);
  m.Ports.PortWrite(0xFFFD, 0xFE);
  WriteAy(m, 8, 15);
  m.SetTurboSound(false);
  EXPECT_EQ(m.Ay2.Register(8), 0);
  WriteAy(m, 9, 7);
  EXPECT_EQ(m.Ay.Register(9), 7);
}

TEST(TurboSound, BothChipsAreHeard) {
  Machine m(1);
  m.SetTurboSound(true);
  m.SetStereoLayout(StereoLayout::Abc);
  m.Ports.PortWrite(0xFFFD, 0xFE);
  ToneOn(m, 2);  // chip 1, channel C: right
  m.Ports.PortWrite(0xFFFD, 0xFF);
  ToneOn(m, 0);  // chip 0, channel A: left
  const Stream s = RunFrames(m, 8, [](int) {});
  EXPECT_GT(Rms(s.Left, 4 * kSoundBlockSize), 1000);
  EXPECT_NEAR(Rms(s.Right, 4 * kSoundBlockSize) / Rms(s.Left, 4 * kSoundBlockSize), 1, 0.01);
}

// The settings offer the second chip only on the boards that take it.
TEST(TurboSound, OnlyPentagonAndScorpionModelsGetIt) {
  for (int model = 0; model < kMemoryModelCount; ++model) {
    Machine m(1);
    HardwareSettings settings;
    settings.Memory = static_cast<MemoryModel>(model);
    settings.Volume.TurboSound = true;
    ApplyHardwareToMachine(m, settings, false);
    EXPECT_EQ(m.Ports.Settings.TurboSound, model != 0) << model;
  }
}

}  // namespace
}  // namespace vantrel
