#include <gtest/gtest.h>

#include <cstdint>

#include "core/MachineState.h"

namespace vantrel {
namespace {

// One opcode fetch as the processor counts it: the whole byte wraps, R7 is untouched.
void CountFetches(Z80Registers& regs, int count) {
  for (int i = 0; i < count; ++i) regs.R = static_cast<uint8_t>(regs.R + 1);
}

TEST(RefreshRegister, CountingNeverReachesBit7) {
  Z80Registers regs;
  regs.R = 0x7F;
  CountFetches(regs, 128);
  EXPECT_EQ(regs.R, 0xFF);
  EXPECT_EQ(regs.ReadR(), 0x7F);
  CountFetches(regs, 1);
  EXPECT_EQ(regs.ReadR(), 0x00);
}

TEST(RefreshRegister, WrittenBit7StaysWhateverTheCount) {
  Z80Registers regs;
  regs.WriteR(0x80);
  EXPECT_EQ(regs.R, 0x80);
  EXPECT_EQ(regs.R7, 0x80);
  EXPECT_EQ(regs.ReadR(), 0x80);
  for (int i = 1; i <= 1000; ++i) {
    CountFetches(regs, 1);
    const uint8_t r = regs.ReadR();
    ASSERT_GE(r, 0x80) << i;
    ASSERT_EQ(r & 0x7F, i & 0x7F) << i;
  }
}

TEST(RefreshRegister, WriteStoresTheWholeByteAndBit7Apart) {
  struct Case {
    uint8_t written, afterOneFetch;
  };
  for (const Case& c : {Case{0x00, 0x01}, Case{0x7F, 0x00}, Case{0xFF, 0x80}, Case{0xC5, 0xC6}}) {
    Z80Registers regs;
    regs.WriteR(c.written);
    EXPECT_EQ(regs.R, c.written);
    EXPECT_EQ(regs.R7, c.written & 0x80);
    EXPECT_EQ(regs.ReadR(), c.written);
    CountFetches(regs, 1);
    EXPECT_EQ(regs.ReadR(), c.afterOneFetch) << int{c.written};
  }
}

TEST(RegisterFile, PairsAndHalvesAreTheSameStorage) {
  Z80Registers regs;
  struct View {
    const char* name;
    RegisterPair& pair;
    uint8_t& high;
    uint8_t& low;
  };
  const View views[] = {
      {"AF", regs.AF, regs.A(), regs.F()},     {"BC", regs.BC, regs.B(), regs.C()},
      {"DE", regs.DE, regs.D(), regs.E()},     {"HL", regs.HL, regs.H(), regs.L()},
      {"IX", regs.IX, regs.IXH(), regs.IXL()}, {"IY", regs.IY, regs.IYH(), regs.IYL()}};
  for (const View& v : views) {
    SCOPED_TRACE(v.name);
    v.pair.Set(0x1234);
    EXPECT_EQ(v.high, 0x12);
    EXPECT_EQ(v.low, 0x34);
    v.high = 0xAB;
    EXPECT_EQ(v.pair.Get(), 0xAB34);
    v.low = 0xCD;
    EXPECT_EQ(v.pair.Get(), 0xABCD);
  }
  // No two views share storage.
  EXPECT_EQ(regs.AF.Get(), 0xABCD);
  regs.BC.Set(0);
  EXPECT_EQ(regs.AF.Get(), 0xABCD);
  EXPECT_EQ(regs.HL.Get(), 0xABCD);
}

TEST(MachineStateDefaults, FrameClockAndFlagsAtCreation) {
  MachineState state;
  EXPECT_EQ(state.TacktsPerInt, 71680u);
  EXPECT_EQ(state.IntLength, 24u);
  EXPECT_TRUE(state.NormalSpeed.load());
  EXPECT_FALSE(state.Running.load());
  EXPECT_EQ(state.RunToAddress.load(), 0);
  EXPECT_EQ(state.Regs.Tackts, 0u);
}

struct MeterCase {
  const char* name;
  uint32_t startFrame, startTackts, endFrame, endTackts, expected;
};

class TacktsMeterTest : public testing::TestWithParam<MeterCase> {};

TEST_P(TacktsMeterTest, CountsFramesAtTheDefaultLength) {
  const MeterCase& c = GetParam();
  MachineState state;
  state.TacktsPerInt = 69888;  // the meter ignores the configured frame length
  state.FrameCount = c.startFrame;
  state.Regs.Tackts = c.startTackts;
  state.StartTacktsMeter();
  EXPECT_EQ(state.MeterStartFrame, c.startFrame);
  EXPECT_EQ(state.MeterStartTackts, c.startTackts);
  state.FrameCount = c.endFrame;
  state.Regs.Tackts = c.endTackts;
  state.UpdateTacktsMeter();
  EXPECT_EQ(state.TacktsMeter, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Traces, TacktsMeterTest,
    testing::Values(MeterCase{"OneNop", 10, 1000, 10, 1004, 4},
                    // Overshoot of the last instruction: the T-state difference wraps.
                    MeterCase{"AcrossFrameEnd", 5, 71670, 6, 10, 20},
                    MeterCase{"ManyFrames", 0, 0, 3, 100, 3 * 71680 + 100},
                    MeterCase{"FrameCounterWraps", 0xFFFFFFFF, 0, 1, 0, 2 * 71680},
                    MeterCase{"Longest", 7, 500, 7 + 57000, 500, 57000u * 71680u},
                    MeterCase{"LongestPlusOverflow", 7, 71000, 7 + 57000, 71679,
                              57000u * 71680u + 679},
                    MeterCase{"TooLong", 7, 500, 7 + 57001, 500, 0xFFFFFFFF},
                    MeterCase{"FarTooLong", 0, 0, 1000000, 0, 0xFFFFFFFF}),
    [](const testing::TestParamInfo<MeterCase>& info) { return info.param.name; });

}  // namespace
}  // namespace vantrel
