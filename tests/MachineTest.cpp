#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "machine/EmulThread.h"
#include "machine/Machine.h"

namespace vantrel {
namespace {

// Distinct first bytes tell the three ROM images apart.
void MarkRoms(Machine& m) {
  m.Mem.Rom48k()[0] = 0x48;
  m.Mem.Rom128k()[0] = 0x12;
  m.Mem.RomDOS()[0] = 0xD0;
}

TEST(Machine, ResetEstablishesEachStartMode) {
  struct Case {
    uint8_t mode;
    bool dosEnabled;
    uint8_t port7ffd;
    uint8_t romByte;
    bool dosActive;
  };
  const Case cases[] = {
      {0, true, 0x30, 0x48, false},   // 48k Mode: locked, 48K BASIC ROM
      {1, true, 0x30, 0xD0, true},    // TR-DOS with 48k
      {2, true, 0x00, 0x12, false},   // 128k Mode: editor ROM
      {3, true, 0x10, 0xD0, true},    // TR-DOS with 128k: bit 4 set, TR-DOS mapped
      {3, false, 0x00, 0x12, false},  // no interface fitted: plain 128K
  };
  for (const Case& c : cases) {
    Machine m(1);
    MarkRoms(m);
    m.Mem.DosEnabled = c.dosEnabled;
    m.State.StartMode = c.mode;
    m.ResetMachine();
    SCOPED_TRACE(testing::Message() << "mode " << int(c.mode) << " dos " << c.dosEnabled);
    EXPECT_EQ(m.Mem.Port7FFD, c.port7ffd);
    EXPECT_EQ(m.Mem.PeekByte(0), c.romByte);
    EXPECT_EQ(m.Mem.DosActive, c.dosActive);
    EXPECT_EQ(m.Mem.TopBank(), 0);
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
  m.State.StartMode = 2;
  m.ResetMachine();
  EXPECT_EQ(r.PC, 0);
  EXPECT_EQ(r.SP, 0xFFFF);
  EXPECT_EQ(r.AF.Get(), 0xFFFF);
  EXPECT_EQ(r.IFF1 | r.IFF2 | r.IM, 0);
  EXPECT_EQ(r.ReadR(), 0);
  // A program that relied on I = 0 after reset sees the old value.
  EXPECT_EQ(r.I, 0x3F);
  EXPECT_EQ(r.BC.Get(), 0x1234);
  EXPECT_EQ(r.AltHL, 0xBEEF);
  EXPECT_EQ(r.Tackts, 1000u);
}

TEST(Machine, ResetUnlocksPagingAndClearsTheAyRegisters) {
  Machine m(1);
  m.State.StartMode = 0;
  m.ResetMachine();
  m.Ports.PortWrite(0x7FFD, 0x07);  // locked in 48K mode: ignored
  EXPECT_EQ(m.Mem.TopBank(), 0);
  m.Ay.Select(7);
  m.Ay.WriteData(0x38, 0);
  m.State.StartMode = 2;
  m.ResetMachine();
  EXPECT_EQ(m.Ay.Read(), 0);
  EXPECT_EQ(m.Ay.Selected(), 7);  // the selection survives a reset
  m.Ports.PortWrite(0x7FFD, 0x07);
  EXPECT_EQ(m.Mem.TopBank(), 7);
}

TEST(Machine, ResetOutOfTrDosIntoA48kModeMapsBasic) {
  Machine m(1);
  MarkRoms(m);
  m.Mem.DosEnabled = true;
  m.State.StartMode = 1;
  m.ResetMachine();
  ASSERT_TRUE(m.Mem.DosActive);
  m.State.StartMode = 0;
  m.ResetMachine();
  EXPECT_FALSE(m.Mem.DosActive);
  EXPECT_EQ(m.Mem.PeekByte(0), 0x48);
}

TEST(Machine, ScorpionResetDropsRamAtZero) {
  Machine m(1);
  MarkRoms(m);
  m.Mem.Model = MemoryModel::Scorpion1024k;
  m.Ports.PortWrite(0x7FFD, 0x00);
  m.Ports.PortWrite(0x1FFD, 0x01);
  m.Mem.PokeByte(0, 0x77);
  ASSERT_EQ(m.Mem.PeekByte(0), 0x77);
  m.State.StartMode = 2;
  m.ResetMachine();
  EXPECT_EQ(m.Mem.PeekByte(0), 0x12);
  EXPECT_FALSE(m.Mem.RomWriteEnable);
  EXPECT_EQ(m.Mem.Port1FFD, 0);
}

TEST(Machine, PortDecoderMatchesPagingPortsByMask) {
  Machine m(1);
  m.State.StartMode = 2;
  m.ResetMachine();
  m.Ports.PortWrite(0x7FFC, 0x03);  // bits 15 and 1 clear: paging answers
  EXPECT_EQ(m.Mem.TopBank(), 3);
  m.Ports.PortWrite(0x00FE, 0x04);  // bit 1 set: never the paging port
  EXPECT_EQ(m.Mem.TopBank(), 3);
  m.Ports.PortWrite(0xFFFD, 0x05);  // bit 15 set
  EXPECT_EQ(m.Mem.TopBank(), 3);
}

TEST(Machine, ProcessorReachesThePortDecoder) {
  Machine m(1);
  m.State.StartMode = 2;
  m.ResetMachine();
  // LD BC,#7FFD; LD A,4; OUT (C),A at 0x8000
  const uint8_t program[] = {0x01, 0xFD, 0x7F, 0x3E, 0x04, 0xED, 0x79};
  for (size_t i = 0; i < sizeof program; ++i) m.Mem.PokeByte(0x8000 + i, program[i]);
  m.State.Regs.PC = 0x8000;
  for (int i = 0; i < 3; ++i) m.Cpu.Step();
  EXPECT_EQ(m.Mem.TopBank(), 4);
  EXPECT_EQ(m.State.Regs.Tackts, 10u + 7 + 12);
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

}  // namespace
}  // namespace vantrel

namespace vantrel {
namespace {

// DI; HALT at 0x8000 stops the processor for good; the dialog's answers are carried out
// by the emulation thread at its next frame end.
class StoppedCpu : public testing::TestWithParam<bool> {};

TEST_P(StoppedCpu, AnswersReleaseTheHalt) {
  const bool reanimate = GetParam();
  Machine m(1);
  m.State.StartMode = 2;
  m.ResetMachine();
  m.State.NormalSpeed = false;
  m.Mem.PokeByte(0x8000, 0xF3);  // DI
  m.Mem.PokeByte(0x8001, 0x76);  // HALT
  m.State.Regs.PC = 0x8000;
  m.State.Regs.SP = 0xC000;
  HeadlessRunHost host;
  TEmulThread emulation(m, host);
  emulation.Run();
  for (int i = 0; i < 5000 && !m.State.CpuStopped.load(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(m.State.CpuStopped.load());
  if (reanimate) {
    emulation.StoppedCpuReanimate();
  } else {
    emulation.StoppedCpuReset();
  }
  EXPECT_FALSE(m.State.CpuStopped.load());
  // Wait until the request has been taken at a frame end, then stop.
  for (int i = 0; i < 5000 && m.State.CpuStoppedRequest.load() != kCpuStoppedNone; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const uint32_t frame = m.State.FrameCount.load();
  while (m.State.FrameCount.load() < frame + 2) std::this_thread::yield();
  emulation.StopEmulation();
  // Either way the processor has left the HALT at 0x8001.
  EXPECT_NE(m.State.Regs.PC, 0x8001);
}

INSTANTIATE_TEST_SUITE_P(Machine, StoppedCpu, testing::Bool(),
                         [](const auto& info) { return info.param ? "Reanimate" : "Reset"; });

}  // namespace
}  // namespace vantrel
