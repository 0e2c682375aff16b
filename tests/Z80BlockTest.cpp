#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "Z80Fixture.h"
#include "core/Z80Flags.h"

namespace vantrel {
namespace {

using namespace z80flags;

// Block instructions repeat by moving PC back, one repetition per step.
class Z80BlockTest : public test::Z80Fixture {};

// ---------------------------------------------------------------------------------------
// LDI, LDD, LDIR, LDDR.

TEST_F(Z80BlockTest, LdirWithBcZeroCopies65536BytesIn65536Steps) {
  // The program sits in ROM, where the copy's writes are dropped, so it survives.
  memory.WritePort1FFD(0x00);
  uint8_t* rom = memory.Rom128k();
  for (size_t i = 0; i < Memory::kRomSize; ++i) rom[i] = static_cast<uint8_t>(i * 3 + 1);
  rom[0] = 0xED;
  rom[1] = 0xB0;
  std::vector<uint8_t> bank5(memory.Bank(5), memory.Bank(5) + Memory::kBankSize);
  for (size_t i = 0; i < Memory::kBankSize; ++i) {
    bank5[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    memory.Bank(5)[i] = bank5[i];
    memory.Bank(2)[i] = 0xA2;
    memory.Bank(1)[i] = 0xC1;
  }
  r.HL.Set(0x4000);
  r.DE.Set(0x8000);
  r.BC.Set(0);
  r.PC = 0x0000;
  for (int step = 1; step < 65536; ++step) {
    cpu.Step();
    ASSERT_EQ(r.PC, 0x0000) << "stopped after " << step << " steps";
  }
  cpu.Step();
  EXPECT_EQ(r.PC, 0x0002);
  EXPECT_EQ(r.BC.Get(), 0);
  EXPECT_EQ(r.HL.Get(), 0x4000);
  EXPECT_EQ(r.DE.Get(), 0x8000);
  EXPECT_EQ(r.Tackts, 65535u * 21u + 16u);

  // Forward copy 0x4000 -> 0x8000 around the whole address space: banks 5 then the
  // already copied 2 move up, the ROM is not written and lands in bank 5.
  for (uint16_t a = 0; a < 0x4000; ++a) {
    ASSERT_EQ(memory.ReadByte(a), rom[a]) << a;
    ASSERT_EQ(memory.ReadByte(0x4000 + a), rom[a]) << a;
    ASSERT_EQ(memory.ReadByte(0x8000 + a), bank5[a]) << a;
    ASSERT_EQ(memory.ReadByte(0xC000 + a), bank5[a]) << a;
  }
}

TEST_F(Z80BlockTest, IndexPrefixBeforeEdIsDropped) {
  Poke(0x9000, {0x11, 0x22});
  r.HL.Set(0x9000);
  r.DE.Set(0xA000);
  r.IX.Set(0x5555);
  r.BC.Set(1);
  Load(0x8000, {0xDD, 0xED, 0xB0});  // LDIR, with HL
  EXPECT_EQ(Step(), 20u);
  EXPECT_EQ(r.R, 3);
  EXPECT_EQ(r.PC, 0x8003);
  EXPECT_EQ(memory.ReadByte(0xA000), 0x11);
  EXPECT_EQ(r.IX.Get(), 0x5555);

  // A repetition goes back to the ED prefix only, so the next step runs without DD.
  r.HL.Set(0x9000);
  r.DE.Set(0xA000);
  r.BC.Set(2);
  r.R = 0;
  Load(0x8000, {0xDD, 0xED, 0xB0});
  EXPECT_EQ(Step(), 25u);
  EXPECT_EQ(r.PC, 0x8001);
  EXPECT_EQ(Step(), 16u);
  EXPECT_EQ(r.PC, 0x8003);
  EXPECT_EQ(r.R, 5);
  EXPECT_EQ(memory.ReadByte(0xA001), 0x22);
}

// ---------------------------------------------------------------------------------------
// CPI, CPD, CPIR, CPDR.

TEST_F(Z80BlockTest, CpirStopsOnAMatchWithBcLeft) {
  Poke(0x9000, {0x01, 0x02, 0x03, 0x42, 0x42});
  r.HL.Set(0x9000);
  r.BC.Set(10);
  r.A() = 0x42;
  r.F() = C;
  Load(0x8000, {0xED, 0xB1});
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Step(), 21u);
    EXPECT_EQ(r.PC, 0x8000);
  }
  EXPECT_EQ(Step(), 16u);
  EXPECT_EQ(r.PC, 0x8002);
  EXPECT_EQ(r.HL.Get(), 0x9004);
  EXPECT_EQ(r.BC.Get(), 6);
  EXPECT_EQ(r.F(), Z | PV | N | C);
}

TEST_F(Z80BlockTest, CpirStopsWhenBcRunsOut) {
  Poke(0x9000, {0x01, 0x02, 0x42});
  r.HL.Set(0x9000);
  r.BC.Set(2);
  r.A() = 0x42;
  r.F() = 0;
  Load(0x8000, {0xED, 0xB1});
  EXPECT_EQ(Step(), 21u);
  EXPECT_EQ(Step(), 16u);
  EXPECT_EQ(r.PC, 0x8002);
  EXPECT_EQ(r.BC.Get(), 0);
  EXPECT_EQ(r.F(), N);

  // Found on the very last byte: Z set, P/V clear.
  r.HL.Set(0x9002);
  r.BC.Set(1);
  Load(0x8000, {0xED, 0xB1});
  EXPECT_EQ(Step(), 16u);
  EXPECT_EQ(r.F() & (Z | PV), Z);
}

// ---------------------------------------------------------------------------------------
// INI, IND, INIR, INDR.

TEST_F(Z80BlockTest, IniIndFlagsAndPortAddress) {
  struct Case {
    uint8_t op, b, byte, flagsIn, flagsOut;
  };
  const Case cases[] = {
      // S, P/V, F5, F3 of the byte read; Z from B; N set; H cleared; C stays.
      {0xA2, 2, 0x80, H | C, S | N | C},
      {0xAA, 1, 0x28, S | H, Z | F5 | F3 | PV | N},
      {0xA2, 3, 0x00, C, PV | N | C},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int{c.op} << " " << int{c.byte});
    recorder.log.clear();
    recorder.reads = {c.byte};
    recorder.nextRead = 0;
    r.B() = c.b;
    r.C() = 0x1F;
    r.HL.Set(0x9000);
    r.F() = c.flagsIn;
    r.Tackts = 1000;
    Load(0x8000, {0xED, c.op});
    EXPECT_EQ(Step(), 16u);
    EXPECT_EQ(r.F(), c.flagsOut);
    EXPECT_EQ(memory.ReadByte(0x9000), c.byte);
    EXPECT_EQ(r.B(), c.b - 1);
    EXPECT_EQ(r.HL.Get(), c.op == 0xA2 ? 0x9001 : 0x8FFF);
    ASSERT_EQ(recorder.log.size(), 1u);
    EXPECT_FALSE(recorder.log[0].write);
    EXPECT_EQ(recorder.log[0].port, c.b * 256 + 0x1F);  // B before the decrement
    EXPECT_EQ(recorder.log[0].tackts, 1000u);           // read before the cost is added
  }
}

TEST_F(Z80BlockTest, InirReadsAtTheStartOfEachRepetition) {
  recorder.reads = {0x11, 0x22};
  r.BC.Set(0x021F);
  r.HL.Set(0x9000);
  Load(0x8000, {0xED, 0xB2});
  EXPECT_EQ(Step(), 21u);
  EXPECT_EQ(r.PC, 0x8000);
  EXPECT_EQ(Step(), 16u);
  EXPECT_EQ(r.PC, 0x8002);
  ASSERT_EQ(recorder.log.size(), 2u);
  EXPECT_EQ(recorder.log[0].port, 0x021F);
  EXPECT_EQ(recorder.log[0].tackts, 0u);
  EXPECT_EQ(recorder.log[1].port, 0x011F);
  EXPECT_EQ(recorder.log[1].tackts, 21u);
  EXPECT_EQ(memory.ReadByte(0x9000), 0x11);
  EXPECT_EQ(memory.ReadByte(0x9001), 0x22);
  EXPECT_EQ(r.B(), 0);
  EXPECT_EQ(r.F() & Z, Z);
}

// ---------------------------------------------------------------------------------------
// OUTI, OUTD, OTIR, OTDR.

TEST_F(Z80BlockTest, OutiOutdChangeOnlyZAndN) {
  struct Case {
    uint8_t op, b, byte, flagsIn, flagsOut;
  };
  const Case cases[] = {
      {0xA3, 2, 0xAA, S | F5 | H | F3 | PV | C, S | F5 | H | F3 | PV | N | C},
      {0xAB, 1, 0x55, 0, Z | N},
      {0xA3, 1, 0x00, S | F5 | H | F3 | PV | C, 0xFF},
      {0xA3, 5, 0x80, Z, N},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int{c.op} << " B=" << int{c.b});
    recorder.log.clear();
    r.B() = c.b;
    r.C() = 0xFE;
    r.HL.Set(0x9000);
    r.F() = c.flagsIn;
    r.Tackts = 1000;
    memory.PokeByte(0x9000, c.byte);
    Load(0x8000, {0xED, c.op});
    EXPECT_EQ(Step(), 16u);
    EXPECT_EQ(r.F(), c.flagsOut);
    EXPECT_EQ(r.B(), c.b - 1);
    EXPECT_EQ(r.HL.Get(), c.op == 0xA3 ? 0x9001 : 0x8FFF);
    ASSERT_EQ(recorder.log.size(), 1u);
    EXPECT_TRUE(recorder.log[0].write);
    EXPECT_EQ(recorder.log[0].port, (c.b - 1) * 256 + 0xFE);  // B after the decrement
    EXPECT_EQ(recorder.log[0].value, c.byte);
    EXPECT_EQ(recorder.log[0].tackts, 1016u);  // written after the cost is added
  }
}

TEST_F(Z80BlockTest, OtirWritesBeforeTheRepeatTackts) {
  Poke(0x9000, {0xAA, 0xBB});
  r.BC.Set(0x02FE);
  r.HL.Set(0x9000);
  Load(0x8000, {0xED, 0xB3});
  EXPECT_EQ(Step(), 21u);
  EXPECT_EQ(r.PC, 0x8000);
  EXPECT_EQ(Step(), 16u);
  EXPECT_EQ(r.PC, 0x8002);
  ASSERT_EQ(recorder.log.size(), 2u);
  EXPECT_EQ(recorder.log[0].port, 0x01FE);
  EXPECT_EQ(recorder.log[0].value, 0xAA);
  EXPECT_EQ(recorder.log[0].tackts, 16u);
  EXPECT_EQ(recorder.log[1].port, 0x00FE);
  EXPECT_EQ(recorder.log[1].value, 0xBB);
  EXPECT_EQ(recorder.log[1].tackts, 37u);
  EXPECT_EQ(r.B(), 0);
  EXPECT_EQ(r.F() & (Z | N), Z | N);
}

}  // namespace
}  // namespace vantrel
