#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <tuple>

#include "MachineFixture.h"
#include "core/Machine.h"

namespace vantrel {
namespace {

using test::Ints;

// One machine through a sequence of resets: each start mode, and each out of the last.
TEST(Machine, ResetEstablishesEachStartMode) {
  const std::tuple<uint8_t, bool, uint8_t, uint8_t, bool> cases[] = {
      {0, true, 0x30, 0x48, false},   // 48k Mode: locked, 48K BASIC ROM
      {2, true, 0x00, 0x12, false},   // 128k Mode: editor ROM, unlocked again
      {3, true, 0x10, 0xD0, true},    // TR-DOS with 128k: bit 4 set, TR-DOS mapped
      {1, true, 0x30, 0xD0, true},    // TR-DOS with 48k
      {0, true, 0x30, 0x48, false},   // out of TR-DOS into 48k: BASIC
      {3, false, 0x00, 0x12, false},  // no interface fitted: plain 128K
  };
  Machine m(1);
  m.Mem.Rom48k()[0] = 0x48;
  m.Mem.Rom128k()[0] = 0x12;
  m.Mem.RomDOS()[0] = 0xD0;
  for (const auto& [mode, dosEnabled, port7ffd, romByte, dosActive] : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << int(mode) << " dos " << dosEnabled);
    m.Mem.DosEnabled = dosEnabled;
    m.State.StartMode = mode;
    m.ResetMachine();
    EXPECT_EQ(Ints(m.Mem.Port7FFD, m.Mem.PeekByte(0), m.Mem.DosActive, m.Mem.TopBank()),
              Ints(port7ffd, romByte, dosActive, 0));
    m.Ports.PortWrite(0x7FFD, 0x07);  // ignored while locked
    EXPECT_EQ(m.Mem.TopBank(), port7ffd & 0x20 ? 0 : 7);
  }
}

TEST(Machine, ResetSetsRegistersAndKeepsTheRest) {
  Machine m(1);
  Z80Registers& r = m.State.Regs;
  r.BC.Set(0x1234);
  r.I = 0x3F;
  r.AltHL = 0xBEEF;
  r.Tackts = 1000;
  r.PC = 0x8000;
  r.SP = 0x6000;
  r.IFF1 = r.IFF2 = 1;
  r.IM = 2;
  r.WriteR(0xC5);
  m.Ay.AySelect(7);
  m.Ay.AyWriteData(0x38, 0);
  m.State.StartMode = 2;
  m.ResetMachine();
  EXPECT_EQ(Ints(r.PC, r.SP, r.AF.Get(), r.IFF1, r.IFF2, r.IM, r.ReadR()),
            Ints(0, 0xFFFF, 0xFFFF, 0, 0, 0, 0));
  // A program that relied on I = 0 after reset sees the old value.
  EXPECT_EQ(Ints(r.I, r.BC.Get(), r.AltHL, r.Tackts), Ints(0x3F, 0x1234, 0xBEEF, 1000));
  // The AY registers are cleared; the selection survives.
  EXPECT_EQ(Ints(m.Ay.AyRead(), m.Ay.Selected()), Ints(0, 7));
}

TEST(Machine, ScorpionResetDropsRamAtZero) {
  Machine m(1);
  m.Mem.Rom128k()[0] = 0x12;
  m.Mem.Model = MemoryModel::Scorpion1024k;
  m.Ports.PortWrite(0x7FFD, 0x00);
  m.Ports.PortWrite(0x1FFD, 0x01);
  m.Mem.PokeByte(0, 0x77);
  ASSERT_EQ(m.Mem.PeekByte(0), 0x77);
  m.State.StartMode = 2;
  m.ResetMachine();
  EXPECT_EQ(Ints(m.Mem.PeekByte(0), m.Mem.RomWriteEnable, m.Mem.Port1FFD), Ints(0x12, 0, 0));
}

TEST(Machine, PowerOnFillDependsOnTheSeed) {
  Machine a(42), b(42), c(43);
  auto same = [](Machine& x, Machine& y) {
    return !std::memcmp(x.Mem.Bank(2), y.Mem.Bank(2), 16384);
  };
  EXPECT_EQ(Ints(same(a, b), same(a, c)), Ints(1, 0));
}

TEST(TacktsMeter, CountsFramesAtTheDefaultLength) {
  const std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t> cases[] = {
      {10, 1000, 10, 1004, 4},
      {5, 71670, 6, 10, 20},  // the last instruction's overshoot wraps the difference
      {0, 0, 3, 100, 3 * 71680 + 100},
      {0xFFFFFFFF, 0, 1, 0, 2 * 71680},  // the frame counter wraps
      {7, 500, 7 + 57000, 500, 57000u * 71680u},
      {7, 71000, 7 + 57000, 71679, 57000u * 71680u + 679},  // the longest
      {7, 500, 7 + 57001, 500, 0xFFFFFFFF},                 // too long
      {0, 0, 1000000, 0, 0xFFFFFFFF},
  };
  for (const auto& [startFrame, startTackts, endFrame, endTackts, expected] : cases) {
    SCOPED_TRACE(testing::Message()
                 << startFrame << ":" << startTackts << " to " << endFrame << ":" << endTackts);
    MachineState state;
    state.TacktsPerInt = 69888;  // the meter ignores the configured frame length
    state.FrameCount = startFrame;
    state.Regs.Tackts = startTackts;
    state.StartTacktsMeter();
    state.FrameCount = endFrame;
    state.Regs.Tackts = endTackts;
    state.UpdateTacktsMeter();
    EXPECT_EQ(state.TacktsMeter, expected);
  }
}

}  // namespace
}  // namespace vantrel
