#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "Z80Fixture.h"
#include "core/Z80Flags.h"

namespace vantrel {
namespace {

using namespace z80flags;

class Z80Test : public test::Z80Fixture {
 protected:
  Z80Test() {
    RecordTapeStarts();
    r.SP = 0xF000;
  }
};

std::string Dump(const Z80Registers& x) {
  std::ostringstream out;
  out << std::hex << "AF=" << x.AF.Get() << " BC=" << x.BC.Get() << " DE=" << x.DE.Get()
      << " HL=" << x.HL.Get() << " IX=" << x.IX.Get() << " IY=" << x.IY.Get()
      << " IFF=" << int{x.IFF1} << int{x.IFF2} << " I=" << int{x.I} << " IM=" << int{x.IM}
      << " R=" << int{x.R} << " R7=" << int{x.R7} << " AcceptInt=" << int{x.AcceptInt}
      << " PC=" << x.PC << " SP=" << x.SP << " AltAF=" << x.AltAF << " AltBC=" << x.AltBC
      << " AltDE=" << x.AltDE << " AltHL=" << x.AltHL << " T=" << std::dec << x.Tackts;
  return out.str();
}

void SetDistinctRegisters(Z80Registers& x) {
  x.AF.Set(0x1122);
  x.BC.Set(0x3344);
  x.DE.Set(0x5566);
  x.HL.Set(0x7788);
  x.IX.Set(0x99AA);
  x.IY.Set(0xBBCC);
  x.I = 0x3F;
  x.IM = 1;
  x.IFF1 = 1;
  x.IFF2 = 1;
  x.AltAF = 0x0102;
  x.AltBC = 0x0304;
  x.AltDE = 0x0506;
  x.AltHL = 0x0708;
}

// ---------------------------------------------------------------------------------------
// Prefix chains.

TEST_F(Z80Test, IndexPrefixBeforeEdCostsItsFetchAndRunsInTheSameStep) {
  r.A() = 0x01;
  Load(0x8000, {0xDD, 0xED, 0x44});  // NEG
  EXPECT_EQ(Step(), 12u);
  EXPECT_EQ(r.R, 3);
  EXPECT_EQ(r.PC, 0x8003);
  EXPECT_EQ(r.A(), 0xFF);
}

TEST_F(Z80Test, ChainedPrefixRunsOnePrefixPerStepWithInterruptsHeldOff) {
  Load(0x8000, {0xDD, 0xDD, 0x21, 0x34, 0x12});
  EXPECT_EQ(Step(), 4u);
  EXPECT_EQ(r.PC, 0x8001);
  EXPECT_EQ(r.R, 1);
  EXPECT_EQ(r.AcceptInt, 0);  // no interrupt between the two prefixes
  EXPECT_EQ(Step(), 14u);
  EXPECT_EQ(r.PC, 0x8005);
  EXPECT_EQ(r.IX.Get(), 0x1234);
  EXPECT_EQ(r.R, 3);
  EXPECT_EQ(r.AcceptInt, 1);
  EXPECT_EQ(r.Tackts, 18u);
}

TEST_F(Z80Test, LastPrefixOfAChainSelectsTheIndexRegister) {
  Load(0x8000, {0xDD, 0xFD, 0xDD, 0xFD, 0x21, 0x34, 0x12});
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Step(), 4u);
    EXPECT_EQ(r.AcceptInt, 0);
  }
  EXPECT_EQ(Step(), 14u);
  EXPECT_EQ(r.IY.Get(), 0x1234);
  EXPECT_EQ(r.IX.Get(), 0x0000);
  EXPECT_EQ(r.R, 5);
}

TEST_F(Z80Test, IndexPrefixBeforeHaltLeavesPcOnTheHaltByte) {
  r.IFF1 = r.IFF2 = 1;
  Load(0x8000, {0xDD, 0x76});
  EXPECT_EQ(Step(), 4u);
  EXPECT_EQ(r.PC, 0x8001);
  EXPECT_EQ(Step(), 4u);  // the HALT itself
  EXPECT_EQ(r.PC, 0x8001);
  cpu.AcceptInterrupt();
  EXPECT_EQ(memory.ReadWord(r.SP), 0x8002);  // returns past the HALT
}

// ---------------------------------------------------------------------------------------
// Index register substitution.

TEST_F(Z80Test, IndexDisplacementWrapsAround64k) {
  r.IY.Set(0xFFF0);
  memory.PokeByte(0x000F, 0x5E);
  Load(0x8000, {0xFD, 0x7E, 0x1F});  // LD A,(IY+0x1F) -> 0x000F
  Step();
  EXPECT_EQ(r.A(), 0x5E);
}

// ---------------------------------------------------------------------------------------
// DD CB / FD CB.

uint8_t& RegisterByCode(Z80Registers& x, int code) {
  switch (code) {
    case 0: return x.B();
    case 1: return x.C();
    case 2: return x.D();
    case 3: return x.E();
    case 4: return x.H();
    case 5: return x.L();
    default: return x.A();
  }
}

TEST_F(Z80Test, IndexedCbUndocumentedEncodingsAlsoLoadARegister) {
  for (int code : {0, 1, 2, 3, 4, 5, 6, 7}) {
    SCOPED_TRACE(code);
    SetDistinctRegisters(r);
    r.IX.Set(0x9000);
    memory.PokeByte(0x9005, 0xFF);
    Load(0x8000, {0xDD, 0xCB, 0x05, static_cast<uint8_t>(0x80 | code)});  // RES 0,(IX+5),r
    Z80Registers expected = r;
    if (code != 6) RegisterByCode(expected, code) = 0xFE;
    Step();
    EXPECT_EQ(memory.ReadByte(0x9005), 0xFE);
    expected.PC = r.PC;
    expected.R = r.R;
    expected.Tackts = r.Tackts;
    expected.AcceptInt = r.AcceptInt;
    EXPECT_EQ(Dump(r), Dump(expected));
  }
}

TEST_F(Z80Test, IndexedCbShiftCopyGetsTheFlagsToo) {
  r.IX.Set(0x9000);
  r.F() = 0;
  memory.PokeByte(0x9005, 0x81);
  Load(0x8000, {0xDD, 0xCB, 0x05, 0x00});  // RLC (IX+5),B
  Step();
  EXPECT_EQ(memory.ReadByte(0x9005), 0x03);
  EXPECT_EQ(r.B(), 0x03);
  EXPECT_EQ(r.F(), PV | C);
}

TEST_F(Z80Test, IndexedBitTakesF5F3FromTheAddressHighByte) {
  struct Case {
    uint16_t ix;
    uint8_t displacement, opcode, byte, flags;
  };
  const Case cases[] = {
      // BIT 3,(IX+0x10) at 0x2800: F5 and F3 from 0x28.
      {0x27F0, 0x10, 0x5E, 0x00, Z | F5 | H | F3 | PV | C},
      {0x27F0, 0x10, 0x5E, 0x08, F5 | H | F3 | C},
      // 0x90 has bits 5 and 3 clear, whatever the byte holds.
      {0x9000, 0x05, 0x5E, 0xFF, H | C},
      // Every encoding of a bit number is BIT, with no register copy.
      {0x9000, 0x05, 0x7A, 0x80, S | H | C},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.ix << " " << int{c.opcode});
    SetDistinctRegisters(r);
    r.IX.Set(c.ix);
    r.F() = S | Z | N | PV | C;
    memory.PokeByte(static_cast<uint16_t>(c.ix + static_cast<int8_t>(c.displacement)), c.byte);
    Load(0x8000, {0xDD, 0xCB, c.displacement, c.opcode});
    EXPECT_EQ(Step(), 20u);
    EXPECT_EQ(r.F(), c.flags);
    EXPECT_EQ(r.BC.Get(), 0x3344);
    EXPECT_EQ(r.DE.Get(), 0x5566);
    EXPECT_EQ(r.HL.Get(), 0x7788);
    EXPECT_EQ(r.A(), 0x11);
  }
}

TEST_F(Z80Test, BitTakesF5F3FromTheTestedByte) {
  struct Case {
    uint8_t opcode, byte, flags;
  };
  const Case cases[] = {
      {0x5E, 0x28, F5 | H | F3},  // BIT 3,(HL): the memory byte, not H
      {0x5E, 0xD7, Z | H | PV},   // bit clear, memory bits 5 and 3 clear
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int{c.opcode} << " " << int{c.byte});
    r.HL.Set(0x9000);
    r.F() = N;
    memory.PokeByte(0x9000, c.byte);
    Load(0x8000, {0xCB, c.opcode});
    EXPECT_EQ(Step(), 12u);
    EXPECT_EQ(r.F(), c.flags);
  }
}

// ---------------------------------------------------------------------------------------
// ED duplicates and holes.

TEST_F(Z80Test, EveryNegEncodingNegates) {
  for (uint8_t op : {0x44, 0x7C}) {
    SCOPED_TRACE(int{op});
    r.A() = 0x01;
    r.F() = 0;
    Load(0x8000, {0xED, op});
    EXPECT_EQ(Step(), 8u);
    EXPECT_EQ(r.A(), 0xFF);
    EXPECT_EQ(r.F(), S | F5 | H | F3 | N | C);
  }
}

TEST_F(Z80Test, EveryRetnEncodingCopiesIff2IntoIff1) {
  for (uint8_t op : {0x45, 0x7D}) {
    for (uint8_t iff2 : {0, 1}) {
      SCOPED_TRACE(testing::Message() << int{op} << " IFF2=" << int{iff2});
      r.IFF1 = 1 - iff2;
      r.IFF2 = iff2;
      r.SP = 0xF000;
      memory.WriteWord(0xF000, 0x1234);
      Load(0x8000, {0xED, op});
      EXPECT_EQ(Step(), 14u);
      EXPECT_EQ(r.PC, 0x1234);
      EXPECT_EQ(r.SP, 0xF002);
      EXPECT_EQ(r.IFF1, iff2);
      EXPECT_EQ(r.IFF2, iff2);
    }
  }
}

TEST_F(Z80Test, InterruptModeEncodings) {
  struct Case {
    uint8_t op, mode;
  };
  for (const Case& c : {Case{0x4E, 0}, Case{0x76, 1}, Case{0x7E, 2}}) {
    SCOPED_TRACE(int{c.op});
    r.IM = static_cast<uint8_t>((c.mode + 1) % 3);
    Load(0x8000, {0xED, c.op});
    EXPECT_EQ(Step(), 8u);
    EXPECT_EQ(r.IM, c.mode);
  }
}

TEST_F(Z80Test, UndefinedEdOpcodesAreEightTacktNops) {
  for (uint8_t op : {0x77, 0xA4, 0xDD, 0xFF}) {
    SCOPED_TRACE(int{op});
    SetDistinctRegisters(r);
    Load(0x8000, {0xED, op});
    memory.PokeByte(0x8002, 0x00);
    Z80Registers expected = r;
    expected.PC = 0x8002;
    expected.R = static_cast<uint8_t>(r.R + 2);
    expected.Tackts = r.Tackts + 8;
    expected.AcceptInt = 1;
    Step();
    EXPECT_EQ(Dump(r), Dump(expected));
  }
  EXPECT_TRUE(recorder.log.empty());
}

// ---------------------------------------------------------------------------------------
// DAA.

TEST_F(Z80Test, DaaCorrectsBcdAdditionAndSubtraction) {
  struct Case {
    uint8_t a, aluOp, operand, result, flags;
  };
  constexpr uint8_t kAdd = 0xC6, kSub = 0xD6;
  const Case cases[] = {
      {0x15, kAdd, 0x27, 0x42, H | PV},
      {0x42, kSub, 0x15, 0x27, F5 | PV | N},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << std::hex << int{c.a} << (c.aluOp == kAdd ? " + " : " - ") << int{c.operand});
    Load(0x8000, {0x3E, c.a, c.aluOp, c.operand, 0x27});
    Step();
    Step();
    EXPECT_EQ(Step(), 4u);
    EXPECT_EQ(r.A(), c.result);
    EXPECT_EQ(r.F(), c.flags);
  }
}

// ---------------------------------------------------------------------------------------
// I and R.

TEST_F(Z80Test, LdAIAndLdARReportIff2UnlessTheyEndPastTheDefaultFrame) {
  struct Case {
    uint8_t op;
    uint32_t startTackts;
    uint8_t iff2;
    bool pv;
  };
  const Case cases[] = {
      {0x57, 71674, 1, false},  // ends at 71683
      {0x57, 71670, 1, true},   // ends at 71679
      {0x57, 71671, 1, false},  // ends exactly at 71680
      {0x57, 100, 0, false},   {0x5F, 71674, 1, false}, {0x5F, 71670, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int{c.op} << " from " << c.startTackts);
    r.I = 0x80;
    r.R = 0x7E;  // counts to 0x80 by the time it is read: bit 7 comes from R7
    r.R7 = 0x80;
    r.IFF2 = c.iff2;
    r.F() = H | N | C;
    r.Tackts = c.startTackts;
    Load(0x8000, {0xED, c.op});
    EXPECT_EQ(Step(), 9u);
    EXPECT_EQ(r.A(), 0x80);
    EXPECT_EQ(r.F(), S | C | (c.pv ? PV : 0));
  }
}

TEST_F(Z80Test, LdAIComparesWithTheDefaultFrameNotTheConfiguredOne) {
  state.TacktsPerInt = 69888;
  r.IFF2 = 1;
  r.I = 0x01;
  r.Tackts = 69991;  // ends at 70000, past 69888 but before 71680
  Load(0x8000, {0xED, 0x57});
  Step();
  EXPECT_EQ(r.F() & PV, PV);
}

TEST_F(Z80Test, LdRAStoresBit7ApartFromTheCount) {
  struct Case {
    uint8_t a, readBack;
  };
  // LD R,A then LD A,R: two fetches later the count has moved on by 2.
  for (const Case& c : {Case{0x80, 0x82}, Case{0x7F, 0x01}, Case{0xFE, 0x80}}) {
    SCOPED_TRACE(int{c.a});
    r.A() = c.a;
    Load(0x8000, {0xED, 0x4F, 0xED, 0x5F});
    EXPECT_EQ(Step(), 9u);
    EXPECT_EQ(r.R, c.a);
    EXPECT_EQ(r.R7, c.a & 0x80);
    r.A() = 0;
    Step();
    EXPECT_EQ(r.A(), c.readBack);
  }
}

// ---------------------------------------------------------------------------------------
// Port timing and addressing.

TEST_F(Z80Test, OutNASeesTheClockAtTheEndOfTheInstruction) {
  r.A() = 0x12;
  r.Tackts = 100;
  Load(0x8000, {0xD3, 0xFE, 0xDD, 0xD3, 0xFD});
  Step();
  Step();
  ASSERT_EQ(recorder.log.size(), 2u);
  EXPECT_TRUE(recorder.log[0].write);
  EXPECT_EQ(recorder.log[0].port, 0x12FE);
  EXPECT_EQ(recorder.log[0].value, 0x12);
  EXPECT_EQ(recorder.log[0].tackts, 111u);
  EXPECT_EQ(recorder.log[1].port, 0x12FD);
  EXPECT_EQ(recorder.log[1].tackts, 111u + 15u);  // the prefix's 4 included
}

TEST_F(Z80Test, InANSamplesAtTheStartAndLeavesFlags) {
  r.A() = 0x34;
  r.F() = 0x5A;
  r.Tackts = 100;
  recorder.reads = {0xBF, 0x00};
  Load(0x8000, {0xDB, 0xFE, 0xDD, 0xDB, 0x1F});
  Step();
  EXPECT_EQ(r.A(), 0xBF);
  EXPECT_EQ(r.F(), 0x5A);
  Step();
  EXPECT_EQ(r.A(), 0x00);
  EXPECT_EQ(r.F(), 0x5A);
  ASSERT_EQ(recorder.log.size(), 2u);
  EXPECT_FALSE(recorder.log[0].write);
  EXPECT_EQ(recorder.log[0].port, 0x34FE);
  EXPECT_EQ(recorder.log[0].tackts, 100u);
  EXPECT_EQ(recorder.log[1].port, 0xBF1F);
  EXPECT_EQ(recorder.log[1].tackts, 111u + 4u);  // after the prefix only
}

TEST_F(Z80Test, InRegCSetsFlagsFromTheByteRead) {
  r.BC.Set(0x1234);
  r.F() = S | Z | H | N | C;
  r.Tackts = 100;
  recorder.reads = {0x28};
  Load(0x8000, {0xED, 0x50});  // IN D,(C)
  Step();
  EXPECT_EQ(r.D(), 0x28);
  EXPECT_EQ(r.F(), F5 | F3 | PV | C);
  ASSERT_EQ(recorder.log.size(), 1u);
  EXPECT_EQ(recorder.log[0].port, 0x1234);
  EXPECT_EQ(recorder.log[0].tackts, 100u);
}

TEST_F(Z80Test, InFlagsOnlyDiscardsTheByte) {
  SetDistinctRegisters(r);
  r.F() = 0;
  recorder.reads = {0x00};
  Load(0x8000, {0xED, 0x70});
  Z80Registers expected = r;
  Step();
  EXPECT_EQ(r.F(), Z | PV);
  expected.F() = r.F();
  expected.PC = r.PC;
  expected.R = r.R;
  expected.Tackts = r.Tackts;
  expected.AcceptInt = r.AcceptInt;
  EXPECT_EQ(Dump(r), Dump(expected));
}

TEST_F(Z80Test, OutCRegAndOutCZeroWriteAtTheEnd) {
  r.BC.Set(0x1234);
  r.E() = 0x56;
  r.F() = 0x81;
  r.Tackts = 100;
  Load(0x8000, {0xED, 0x59, 0xED, 0x71});  // OUT (C),E; OUT (C),0
  Step();
  Step();
  ASSERT_EQ(recorder.log.size(), 2u);
  EXPECT_EQ(recorder.log[0].port, 0x1234);
  EXPECT_EQ(recorder.log[0].value, 0x56);
  EXPECT_EQ(recorder.log[0].tackts, 112u);
  EXPECT_EQ(recorder.log[1].value, 0x00);
  EXPECT_EQ(recorder.log[1].tackts, 124u);
  EXPECT_EQ(r.F(), 0x81);
}

// ---------------------------------------------------------------------------------------
// HALT, EI, DI.

TEST_F(Z80Test, HaltWithInterruptsOffStopsTheCpu) {
  r.IFF1 = 0;
  Load(0x8000, {0x76});
  EXPECT_EQ(Step(), 4u);
  EXPECT_EQ(r.PC, 0x8000);
  EXPECT_TRUE(state.CpuStopped.load());
  EXPECT_EQ(Step(), 4u);  // re-executed, still counting
  EXPECT_EQ(r.PC, 0x8000);
  EXPECT_EQ(r.R, 2);
}

TEST_F(Z80Test, HaltWithInterruptsOnWaits) {
  r.IFF1 = r.IFF2 = 1;
  Load(0x8000, {0x76});
  Step();
  EXPECT_EQ(r.PC, 0x8000);
  EXPECT_FALSE(state.CpuStopped.load());
}

TEST_F(Z80Test, EiHoldsOffInterruptsForOneInstruction) {
  Load(0x8000, {0xFB, 0x00});
  EXPECT_EQ(Step(), 4u);
  EXPECT_EQ(r.IFF1, 1);
  EXPECT_EQ(r.IFF2, 1);
  EXPECT_EQ(r.AcceptInt, 0);
  Step();
  EXPECT_EQ(r.AcceptInt, 1);
}

TEST_F(Z80Test, DiAt0559StartsTheTapeFirst) {
  r.IFF1 = r.IFF2 = 1;
  Load(0x0559, {0xF3});
  EXPECT_EQ(Step(), 4u);
  EXPECT_EQ(recorder.tapeStarts, 1);
  EXPECT_EQ(recorder.iff1AtTapeStart, 1);
  EXPECT_EQ(r.IFF1, 0);
  EXPECT_EQ(r.IFF2, 0);
}

TEST_F(Z80Test, DiElsewhereDoesNotStartTheTape) {
  for (uint16_t at : {0x0558, 0x055A, 0x8559}) {
    r.IFF1 = r.IFF2 = 1;
    Load(at, {0xF3});
    Step();
    EXPECT_EQ(r.IFF1, 0);
  }
  EXPECT_EQ(recorder.tapeStarts, 0);
}

TEST_F(Z80Test, DiAt0559WithoutATapeHook) {
  cpu.SetTapeAutoStart(nullptr, nullptr);
  r.IFF1 = r.IFF2 = 1;
  Load(0x0559, {0xF3});
  Step();
  EXPECT_EQ(r.IFF1, 0);
}

// ---------------------------------------------------------------------------------------
// Accepting the maskable interrupt.

TEST_F(Z80Test, InterruptInMode0And1CallsRst38) {
  for (uint8_t mode : {0, 1}) {
    SCOPED_TRACE(int{mode});
    r.IM = mode;
    r.IFF1 = r.IFF2 = 1;
    r.R = 0x10;
    r.SP = 0xF000;
    r.Tackts = 5;
    Load(0x8000, {0x00});
    cpu.AcceptInterrupt();
    EXPECT_EQ(r.PC, 0x0038);
    EXPECT_EQ(r.SP, 0xEFFE);
    EXPECT_EQ(memory.ReadWord(0xEFFE), 0x8000);
    EXPECT_EQ(r.IFF1, 0);
    EXPECT_EQ(r.IFF2, 0);
    EXPECT_EQ(r.Tackts, 18u);
    EXPECT_EQ(r.R, 0x10);
  }
}

TEST_F(Z80Test, InterruptInMode2JumpsThroughTheVectorAtIFF) {
  r.IM = 2;
  r.I = 0x90;
  r.IFF1 = r.IFF2 = 1;
  r.R = 0x22;
  memory.WriteByte(0x90FF, 0x34);
  memory.WriteByte(0x9100, 0x12);
  Load(0x8123, {0x00});
  cpu.AcceptInterrupt();
  EXPECT_EQ(r.PC, 0x1234);
  EXPECT_EQ(memory.ReadWord(r.SP), 0x8123);
  EXPECT_EQ(r.Tackts, 19u);
  EXPECT_EQ(r.R, 0x22);
  EXPECT_EQ(r.IFF1, 0);
}

TEST_F(Z80Test, InterruptLeavesAHalt) {
  r.IM = 1;
  r.IFF1 = r.IFF2 = 1;
  Load(0x8000, {0x76});
  Step();
  cpu.AcceptInterrupt();
  EXPECT_EQ(memory.ReadWord(r.SP), 0x8001);
  // A HALT not yet executed is skipped the same way.
  r.IFF1 = 1;
  Load(0x8100, {0x76});
  cpu.AcceptInterrupt();
  EXPECT_EQ(memory.ReadWord(r.SP), 0x8101);
}

}  // namespace
}  // namespace vantrel
