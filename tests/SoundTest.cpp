#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "MachineFixture.h"
#include "machine/EmulThread.h"
#include "machine/Machine.h"
#include "machine/RunLoop.h"
#include "sound/AyChip.h"
#include "sound/Beeper.h"
#include "sound/SoundOutput.h"

namespace vantrel {
namespace {

using test::Ints;
constexpr uint32_t kFrame = kDefaultTacktsPerInt;

struct BeeperRig {
  MachineState state;
  Beeper beeper{state};
  void WriteUla(uint32_t tackts, uint8_t value) {
    state.Regs.Tackts = tackts;
    beeper.UlaPortWrite(value);
  }
};

TEST(Beeper, SteadySpeakerGivesItsWeightInAll882SamplesAndHalfOfItMixed) {
  for (uint32_t length : {kFrame, 1024u, 69888u, 1048576u}) {
    BeeperRig rig;
    rig.beeper.SetFrameLength(length);
    rig.WriteUla(0, 0x10);
    rig.beeper.AdvanceTo(length + 5);
    for (uint8_t s : rig.beeper.Samples()) ASSERT_EQ(s, 128) << length;
    // With no AY output the block is the mean of the two streams.
    rig.beeper.MixSoundBlock(std::array<uint8_t, kSoundBlockSize>{});
    for (uint8_t s : rig.beeper.LastSoundBlock()) ASSERT_EQ(s, 64) << length;
  }
}

TEST(Beeper, SamplesFollowTheLevelAndTheLastSampleFallsAtTheWrap) {
  BeeperRig rig;
  // Speaker and MIC on for the first half frame: 128 + 32.
  rig.WriteUla(0, 0x18);
  rig.WriteUla(kFrame / 2, 0x00);
  rig.WriteUla(kFrame - 10, 0x10);
  rig.beeper.AdvanceTo(kFrame);
  const auto& s = rig.beeper.Samples();
  EXPECT_EQ(Ints(s[0], s[400], s[500], rig.beeper.SoundChangeHistory & 1), Ints(160, 160, 0, 1));
  // The last period is the shorter one written at the wrap, which includes the change.
  EXPECT_GT(s[881], 0);
  EXPECT_LT(s[881], 128);
  // A change from the default frame's end on marks the sampler wrapped; no change, no mark.
  EXPECT_FALSE(rig.beeper.SamplerWrapped);
  rig.WriteUla(kFrame, 0x00);
  EXPECT_EQ(Ints(rig.beeper.SamplerWrapped, s[881]), Ints(1, 128));
  rig.beeper.SamplerWrapped = 0;
  rig.WriteUla(kFrame + 5, 0x00);
  EXPECT_FALSE(rig.beeper.SamplerWrapped);
}

TEST(Beeper, TapeInputKeepsTheUlaSourcesAndVolumesSetTheWeights) {
  BeeperRig rig;
  rig.beeper.SetVolumes(8, 3, 0, 50);
  EXPECT_EQ(Ints(rig.beeper.SpeakerWeight, rig.beeper.TapeInWeight, rig.beeper.TapeOutWeight,
                 rig.beeper.SynchDelay),
            Ints(128, 4, 0, 50));
  rig.WriteUla(0, 0x18);  // MIC muted
  const int ula = rig.beeper.SoundLevel;
  rig.beeper.TapeInChanged(true);
  const int both = rig.beeper.SoundLevel;
  rig.WriteUla(10, 0x00);
  EXPECT_EQ(Ints(ula, both, rig.beeper.SoundLevel), Ints(128, 132, 4));
}

void Write(AyChip& ay, uint32_t tackts, uint8_t reg, uint8_t value) {
  ay.Select(reg);
  ay.WriteData(value, tackts);
}

TEST(AyChip, TonePeriodOneAveragesHalfTheVolumeAndGatesOffGiveTheFullLevel) {
  AyChip ay;
  Write(ay, 0, 7, 0x3E);  // tone A only, no noise
  Write(ay, 0, 8, 15);
  ay.AdvanceTo(kFrame);
  const auto& s = ay.Samples();
  const int sum = std::accumulate(s.begin(), s.end(), 0);
  // Full volume alone is 43690 / 3 >> 8 = 56; toggling every step halves it.
  EXPECT_NEAR(sum / double(kSoundBlockSize), 28.0, 1.0);
  for (uint8_t v : s) ASSERT_TRUE(v >= 20 && v <= 36) << int(v);
  // All three channels gated off at full volume: 170.
  Write(ay, kFrame, 7, 0x3F);
  for (uint8_t r = 9; r <= 10; ++r) Write(ay, kFrame, r, 15);
  ay.AdvanceTo(2 * kFrame);
  for (uint8_t v : ay.Samples()) ASSERT_EQ(v, 170);
}

// Shape 8 falls again and again; shape 10 falls and rises, each end held two periods.
TEST(AyChip, EnvelopeShapesStepOncePerPeriod) {
  for (const auto& [shape, period] : {std::pair{8, 3}, std::pair{10, 2}}) {
    SCOPED_TRACE(shape);
    AyChip ay;
    Write(ay, 0, 11, static_cast<uint8_t>(period));
    ay.AdvanceTo(32);
    Write(ay, 32, 13, static_cast<uint8_t>(shape));
    EXPECT_EQ(ay.EnvelopeLevel(), 31);
    // The level after each step, as runs of (level, steps held).
    std::vector<std::pair<int, int>> runs;
    for (uint32_t i = 1; i <= 140u * period; ++i) {
      ay.AdvanceTo(32 + i * AyChip::kStepTackts);
      if (runs.empty() || runs.back().first != ay.EnvelopeLevel())
        runs.push_back({ay.EnvelopeLevel(), 0});
      ++runs.back().second;
    }
    ASSERT_GT(runs.size(), 130u);
    for (int i = 1; i + 1 < int(runs.size()); ++i) {
      const int j = i % 62, level = shape == 8 ? (runs[0].first - i) & 31
                                    : j <= 31  ? 31 - j
                                               : j - 31;
      const int held = shape == 10 && (level == 0 || level == 31) ? 2 * period : period;
      EXPECT_EQ(runs[i], std::make_pair(level, held)) << i;
    }
  }
}

TEST(AyChip, SameValueWritesSkipExceptTheEnvelopeShapeAndResetLoadsShapeZero) {
  AyChip ay;
  Write(ay, 100, 7, 0x38);
  const uint32_t pos = ay.Position();
  Write(ay, 5000, 7, 0x38);
  EXPECT_EQ(Ints(ay.Writes(), ay.Position()), Ints(1, pos));  // not even caught up
  Write(ay, 5000, 13, 8);
  ay.AdvanceTo(6000);
  EXPECT_LT(ay.EnvelopeLevel(), 31);
  Write(ay, 6000, 13, 8);
  EXPECT_EQ(Ints(ay.EnvelopeLevel(), ay.Writes()), Ints(31, 3));  // restarted

  Write(ay, 0, 1, 0xFF);  // registers read back unmasked
  ay.Select(1);
  EXPECT_EQ(ay.Read(), 0xFF);
  Write(ay, 0, 13, 4);
  EXPECT_EQ(ay.EnvelopeLevel(), 0);
  ay.Reset();
  EXPECT_EQ(Ints(ay.Read(), ay.EnvelopeLevel()), Ints(0, 31));
}

// The silent chip is advanced in closed form, and so is a chip whose samples nobody
// wants; a chip stepped throughout must agree with both in every generator and in every
// wanted sample. The hash pins the samples themselves to a reference run.
TEST(AyChip, ShortcutsMatchStepping) {
  struct Workload {
    int silentOneIn;  // a volume write is 0 except one time in this many
    uint64_t hash;
  };
  for (const auto& [silentOneIn, hash] :
       {Workload{3, 39767148747778098u}, Workload{1000, 9954482472572547130u}}) {
    uint64_t h = 14695981039346656037u;
    for (uint32_t seed = 0; seed < 10; ++seed) {
      std::mt19937 random(seed);
      AyChip fast;
      AyChip slow;
      AyChip skipping;  // wants the samples of two frames in three
      slow.SetSilenceShortcut(false);
      uint32_t t = 0;
      for (int frame = 0; frame < 30; ++frame) {
        while (true) {
          t += random() % 9000;
          if (t >= kFrame) break;
          const uint8_t reg = random() % 14;
          uint8_t value = static_cast<uint8_t>(random());
          // Short envelope periods, so the shapes run through many cycles in a silence.
          if (reg >= 8 && reg <= 10 && random() % silentOneIn) value = 0;
          if (reg == 11 || reg == 6) value &= 7;
          if (reg == 12 && random() % 4) value = 0;
          for (AyChip* ay : {&fast, &slow, &skipping}) Write(*ay, t, reg, value);
        }
        t = t - kFrame + 3;  // a frame end's overrun
        slow.AdvanceTo(kFrame + t);
        // As a frame end does: to the frame's end, then the overrun in the new frame.
        fast.AdvanceTo(kFrame);
        skipping.AdvanceTo(kFrame);
        if (frame % 3 != 0) {
          ASSERT_EQ(skipping.Samples(), fast.Samples()) << seed << " " << frame;
        }
        skipping.SetSamplesWanted(frame % 3 != 2);
        fast.AdvanceTo(t);
        skipping.AdvanceTo(t);
        ASSERT_EQ(fast.Samples(), slow.Samples()) << seed << " " << frame;
        for (AyChip* ay : {&fast, &skipping}) {
          ASSERT_EQ(ay->EnvelopeLevel(), slow.EnvelopeLevel()) << seed << " " << frame;
          ASSERT_EQ(ay->Outputs(), slow.Outputs()) << seed << " " << frame;
        }
        for (uint8_t v : slow.Samples()) h = (h ^ v) * 1099511628211u;
      }
    }
    EXPECT_EQ(h, hash) << silentOneIn;
  }
}

// A sound card whose play position moves by `Step` bytes each time it is read.
class FakeOutput : public SoundOutput {
 public:
  bool Active() const override { return true; }
  void WriteBlock(uint32_t offset, std::span<const int16_t> stereo) override {
    offsets.push_back(offset);
    last.assign(stereo.begin(), stereo.end());
  }
  uint32_t PlayPosition() const override {
    ++reads;
    previous = position.load();
    position = (position + Step) % kSoundBufferSize;
    return position;
  }
  void Start() override { ++starts; }
  void Stop() override { ++stops; }

  uint32_t Step = 37;
  mutable std::atomic<uint32_t> position{0};
  mutable std::atomic<uint32_t> previous{0};
  mutable std::atomic<int> reads{0};
  std::atomic<int> starts{0};
  std::atomic<int> stops{0};
  std::vector<uint32_t> offsets;
  std::vector<int16_t> last;
};

// A machine with the run loop that paces it and hands its sound on.
struct LoopedMachine : Machine {
  LoopedMachine() : Machine(1) {}
  RunLoop Loop{*this};
};

void RunFrames(LoopedMachine& m, uint32_t frames) {
  const std::atomic<bool> running{true};
  m.Loop.RunWhile(running, m.State.FrameCount.load() + frames);
}

// Interrupts off and JR $ at 0x8000: the machine runs on with nothing but frame ends to do.
struct IdleMachine : LoopedMachine {
  explicit IdleMachine(FakeOutput* out) {
    test::Load(*this, 0x8000, {0x18, 0xFE});
    State.Regs.IFF1 = 0;
    Loop.Output = out;
  }
};

bool InWindow(uint32_t p, uint32_t end, uint32_t delay) {
  const uint32_t from = (end + kSoundBufferSize - delay) % kSoundBufferSize;
  return (p + kSoundBufferSize - from) % kSoundBufferSize < kSoundBlockSize;
}

TEST(SoundOutput, BlocksGoInTurnAndEachWaitEndsInTheWindow) {
  for (uint32_t delay : {0u, 200u}) {
    FakeOutput out;
    IdleMachine m(&out);
    m.Beeper.SetVolumes(8, 7, 6, int(delay));
    m.Loop.StartSound();
    for (int frame = 0; frame < 4; ++frame) {
      RunFrames(m, 1);
      const uint32_t end = (frame % 3 + 1) * kSoundBlockSize;
      EXPECT_TRUE(InWindow(out.position, end, delay)) << delay << " " << frame;
      EXPECT_FALSE(InWindow(out.previous, end, delay)) << delay << " " << frame;
    }
    EXPECT_EQ(out.offsets, (std::vector<uint32_t>{0, 882, 1764, 0}));
    EXPECT_EQ(out.last.size(), 2 * kSoundBlockSize);
    EXPECT_EQ(out.starts, 1);
  }
}

// A stalled card does not hold the machine, and a machine that comes late (the card
// already a block past the window) goes on at once instead of waiting a whole turn.
TEST(SoundOutput, AStalledDeviceOrALateMachineDoesNotWait) {
  for (uint32_t position : {100u, 2 * kSoundBlockSize + 10}) {  // the window: [882, 1764)
    FakeOutput out;
    out.Step = 0;
    out.position = position;
    IdleMachine m(&out);
    RunFrames(m, 1);
    EXPECT_EQ(m.State.FrameCount, 1u);
    EXPECT_LE(out.reads, position > 100 ? 2 : 1000);
  }
  FakeOutput out;
  out.position = 100;  // still in the block just written: the machine is early and waits
  IdleMachine m(&out);
  RunFrames(m, 1);
  EXPECT_GT(out.reads, 10);
}

TEST(SoundOutput, TheEmulationThreadStartsAndStopsTheSound) {
  FakeOutput out;
  out.Step = 300;
  IdleMachine m(&out);
  HeadlessRunHost host;
  TEmulThread thread(m, host);
  thread.Loop.Output = &out;
  thread.Run();
  EXPECT_TRUE(test::WaitFor([&] { return m.State.FrameCount >= 3; }));
  thread.StopEmulation();
  EXPECT_EQ(out.starts, 1);
  EXPECT_EQ(out.stops, 1);
  EXPECT_GE(out.offsets.size(), 3u);
}

// Tone registers written through the ports, the mixer by a program with OUTI as music
// players do (the port has B after the decrement): the stream carries the tone's frequency.
TEST(SoundMachine, AyToneFrequencyFollowsTheRegisters) {
  LoopedMachine m;
  constexpr uint16_t kPeriod = 0x164;  // 356 steps: 11392 T-states a cycle
  const std::pair<uint8_t, uint8_t> writes[] = {{0, 0x64}, {1, 0x01}, {8, 15}};
  for (const auto& [reg, value] : writes) {
    m.Ports.PortWrite(0xFFFD, reg);
    m.Ports.PortWrite(0xBFFD, value);
  }
  test::Load(m, 0x8000, {0xF3, 0x01, 0xFD, 0xFF,  // DI / LD BC,#FFFD
                         0x3E, 0x07, 0xED, 0x79,  // LD A,7 / OUT (C),A: select R7
                         0x21, 0x00, 0x90,        // LD HL,#9000
                         0x06, 0xC0, 0xED, 0xA3,  // LD B,#C0 / OUTI
                         0x06, 0xFF, 0xED, 0x78,  // LD B,#FF / IN A,(C)
                         0x32, 0x01, 0x90,        // LD (#9001),A
                         0x18, 0xFE});            // JR $
  m.Mem.PokeByte(0x9000, 0x3E);                   // tone A only, no noise
  m.State.NormalSpeed = false;
  std::vector<uint8_t> stream;
  m.Loop.SoundBlockReady = [&](const std::array<uint8_t, kSoundBlockSize>& block) {
    stream.insert(stream.end(), block.begin(), block.end());
  };
  RunFrames(m, 50);
  ASSERT_EQ(stream.size(), 50 * kSoundBlockSize);
  std::vector<size_t> rises;
  for (size_t i = 1; i < stream.size(); ++i) {
    if (stream[i] >= 14 && stream[i - 1] < 14) rises.push_back(i);
  }
  ASSERT_GT(rises.size(), 2u);
  const double samplesPerCycle = double(rises.back() - rises.front()) / (rises.size() - 1);
  const double expected = kFrame * 50.0 / (2 * kPeriod * AyChip::kStepTackts);  // 315 Hz
  EXPECT_NEAR(kSoundSampleRate / samplesPerCycle, expected, expected * 0.01);
  EXPECT_EQ(*std::max_element(stream.begin(), stream.end()), 28);
  EXPECT_EQ(m.Mem.PeekByte(0x9001), 0x3E);
}

}  // namespace
}  // namespace vantrel
