#include <gtest/gtest.h>

#include <cstdint>

#include "MachineFixture.h"
#include "core/Machine.h"

namespace vantrel {
namespace {

using test::Ints;

// One machine through a sequence of resets: each start mode, and each out of the last.
TEST(Machine, ResetEstablishesEachStartMode) {
  struct Case {
    uint8_t mode;
    bool dosEnabled;
    uint8_t port7ffd, romByte;
    bool dosActive;
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << int(c.mode) << " dos " << c.dosEnabled);
    m.Mem.DosEnabled = c.dosEnabled;
    m.State.StartMode = c.mode;
    m.ResetMachine();
    EXPECT_EQ(Ints(m.Mem.Port7FFD, m.Mem.PeekByte(0), m.Mem.DosActive, m.Mem.TopBank()),
              Ints(c.port7ffd, c.romByte, c.dosActive, 0));
    m.Ports.PortWrite(0x7FFD, 0x07);  // ignored while locked
    EXPECT_EQ(m.Mem.TopBank(), c.port7ffd & 0x20 ? 0 : 7);
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
  int same = 0, differ = 0;
  for (int addr = 0x4000; addr < 0x10000; addr += 97) {
    same += a.Mem.PeekByte(addr) == b.Mem.PeekByte(addr);
    differ += a.Mem.PeekByte(addr) != c.Mem.PeekByte(addr);
  }
  EXPECT_EQ(same, (0x10000 - 0x4000 + 96) / 97);
  EXPECT_GT(differ, same / 2);
}

TEST(TacktsMeter, CountsFramesAtTheDefaultLength) {
  struct Case {
    uint32_t startFrame, startTackts, endFrame, endTackts, expected;
  };
  const Case cases[] = {
      {10, 1000, 10, 1004, 4},
      {5, 71670, 6, 10, 20},  // the last instruction's overshoot wraps the difference
      {0, 0, 3, 100, 3 * 71680 + 100},
      {0xFFFFFFFF, 0, 1, 0, 2 * 71680},  // the frame counter wraps
      {7, 500, 7 + 57000, 500, 57000u * 71680u},
      {7, 71000, 7 + 57000, 71679, 57000u * 71680u + 679},  // the longest
      {7, 500, 7 + 57001, 500, 0xFFFFFFFF},                 // too long
      {0, 0, 1000000, 0, 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.startFrame << ":" << c.startTackts << " to " << c.endFrame
                                    << ":" << c.endTackts);
    MachineState state;
    state.TacktsPerInt = 69888;  // the meter ignores the configured frame length
    state.FrameCount = c.startFrame;
    state.Regs.Tackts = c.startTackts;
    state.StartTacktsMeter();
    state.FrameCount = c.endFrame;
    state.Regs.Tackts = c.endTackts;
    state.UpdateTacktsMeter();
    EXPECT_EQ(state.TacktsMeter, c.expected);
  }
}

}  // namespace
}  // namespace vantrel
