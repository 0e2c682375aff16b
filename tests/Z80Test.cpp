// The processor where the per-instruction conformance data cannot reach: step granularity,
// the clock at each port access, this machine's own flag rules and the interrupt entry.
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "MachineFixture.h"
#include "core/PortBus.h"
#include "core/Z80.h"
#include "core/Z80Flags.h"

namespace vantrel {
namespace {

using namespace z80flags;
using test::Ints;

// Write or read, port, value and the clock the device saw.
using PortAccess = std::tuple<bool, uint16_t, uint8_t, uint32_t>;
using PortLog = std::vector<PortAccess>;

// A bare processor over RAM everywhere; its ports log every access with the clock at that
// moment, reads answered from `reads` in order, then 0xFF.
class Z80Test : public testing::Test {
 protected:
  Z80Test() {
    test::MakeFlatRam(memory);
    PortBus bus;
    bus.Context = this;
    bus.Read = [](void* context, uint16_t port) {
      auto* t = static_cast<Z80Test*>(context);
      const uint8_t value = t->nextRead < t->reads.size() ? t->reads[t->nextRead++] : 0xFF;
      t->log.push_back({false, port, value, t->r.Tackts});
      return value;
    };
    bus.Write = [](void* context, uint16_t port, uint8_t value) {
      auto* t = static_cast<Z80Test*>(context);
      t->log.push_back({true, port, value, t->r.Tackts});
    };
    cpu.SetPortBus(bus);
    cpu.SetTapeAutoStart(
        [](void* context) {
          auto* t = static_cast<Z80Test*>(context);
          ++t->tapeStarts;
          t->iff1AtTapeStart = t->r.IFF1;
        },
        this);
    r.SP = 0xF000;
  }

  void ResetPorts(std::vector<uint8_t> answers) {
    log.clear();
    reads = std::move(answers);
    nextRead = 0;
  }
  // Places code at `at` and points PC at it.
  void Load(uint16_t at, const std::vector<uint8_t>& code) {
    r.PC = at;
    Poke(at, code);
  }
  void Poke(uint16_t at, const std::vector<uint8_t>& bytes) {
    for (uint8_t byte : bytes) memory.PokeByte(at++, byte);
  }
  // One step; returns the T-states it took.
  uint32_t Step() {
    const uint32_t before = r.Tackts;
    cpu.Step();
    return r.Tackts - before;
  }

  MachineState state;
  Memory memory;
  Z80 cpu{state, memory};
  Z80Registers& r = state.Regs;
  PortLog log;
  std::vector<uint8_t> reads;
  size_t nextRead = 0;
  int tapeStarts = 0;
  uint8_t iff1AtTapeStart = 0xEE;
};

TEST_F(Z80Test, PrefixChainsRunOnePrefixPerStepAndTheLastOneCounts) {
  const std::tuple<std::vector<uint8_t>, std::vector<uint32_t>, uint16_t, uint16_t, uint8_t,
                   uint8_t>
      cases[] = {
          {{0xDD, 0xDD, 0x21, 0x34, 0x12}, {4, 14}, 0x1234, 0, 0x01, 3},
          {{0xDD, 0xFD, 0xDD, 0xFD, 0x21, 0x34, 0x12}, {4, 4, 4, 14}, 0, 0x1234, 0x01, 5},
          {{0xDD, 0xED, 0x44}, {12}, 0, 0, 0xFF, 3},  // before ED: same step, NEG as usual
      };
  for (const auto& [code, costs, ix, iy, a, refresh] : cases) {
    SCOPED_TRACE(code.size());
    r.IX.Set(0);
    r.IY.Set(0);
    r.A() = 0x01;
    r.R = 0;
    Load(0x8000, code);
    for (size_t i = 0; i < costs.size(); ++i) {
      EXPECT_EQ(Step(), costs[i]);
      EXPECT_EQ(r.AcceptInt, i + 1 == costs.size() ? 1 : 0);  // no interrupt inside a chain
    }
    EXPECT_EQ(Ints(r.PC, r.IX.Get(), r.IY.Get(), r.A(), r.R),
              Ints(0x8000 + code.size(), ix, iy, a, refresh));
  }
}

TEST_F(Z80Test, BitOfHlTakesF5F3FromTheTestedByte) {
  // BIT 3,(HL) at 0x9000: bits 5 and 3 come from the memory byte, not from H.
  const std::pair<uint8_t, uint8_t> cases[] = {{0x28, F5 | H | F3}, {0xD7, Z | H | PV}};
  for (const auto& [byte, flags] : cases) {
    SCOPED_TRACE(byte);
    r.HL.Set(0x9000);
    r.F() = N;
    Poke(0x9000, {byte});
    Load(0x8000, {0xCB, 0x5E});
    EXPECT_EQ(Step(), 12u);
    EXPECT_EQ(r.F(), flags);
  }
}

TEST_F(Z80Test, UndefinedEdOpcodesAreEightTacktNops) {
  RegisterPair* pairs[] = {&r.AF, &r.BC, &r.DE, &r.HL, &r.IX, &r.IY};
  for (int i = 0; i < 6; ++i) pairs[i]->Set(static_cast<uint16_t>(0x1122 + 0x2222 * i));
  r.IM = r.IFF1 = r.IFF2 = 1;
  const auto regs = [&] {
    return Ints(r.AF.Get(), r.BC.Get(), r.DE.Get(), r.HL.Get(), r.IX.Get(), r.IY.Get(), r.SP, r.I,
                r.IM, r.IFF1, r.IFF2);
  };
  const auto before = regs();
  for (uint8_t op : {0x00, 0x77, 0x7F, 0xA4, 0xBC, 0xDD, 0xFF}) {
    SCOPED_TRACE(int{op});
    r.R = 0;
    Load(0x8000, {0xED, op, 0x00});
    EXPECT_EQ(Step(), 8u);
    EXPECT_EQ(Ints(r.PC, r.R, r.AcceptInt), Ints(0x8002, 2, 1));
    EXPECT_EQ(regs(), before);
  }
  EXPECT_TRUE(log.empty());
}

TEST_F(Z80Test, LdAIAndLdARReportIff2UnlessTheyEndPastTheDefaultFrame) {
  const std::tuple<uint8_t, uint32_t, uint32_t, uint8_t, bool> cases[] = {
      {0x57, 71680, 71674, 1, false},  // ends at 71683
      {0x57, 71680, 71670, 1, true},   // ends at 71679
      {0x57, 71680, 71671, 1, false},  // ends exactly at 71680
      {0x57, 71680, 100, 0, false},   {0x5F, 71680, 71674, 1, false}, {0x5F, 71680, 71670, 1, true},
      {0x57, 69888, 69991, 1, true},  // the default frame counts, not the configured one
  };
  for (const auto& [op, frame, start, iff2, pv] : cases) {
    SCOPED_TRACE(testing::Message() << int{op} << " from " << start);
    state.TacktsPerInt = frame;
    r.I = 0x80;
    r.R = 0x7E;  // counts to 0x80 by the time it is read: bit 7 comes from R7
    r.R7 = 0x80;
    r.IFF2 = iff2;
    r.F() = H | N | C;
    r.Tackts = start;
    Load(0x8000, {0xED, op});
    EXPECT_EQ(Step(), 9u);
    EXPECT_EQ(r.A(), 0x80);
    EXPECT_EQ(r.F(), S | C | (pv ? PV : 0));
  }
}

TEST_F(Z80Test, LdRAStoresBit7ApartFromTheCount) {
  // LD R,A then LD A,R: two fetches later the count has moved on by 2, bit 7 kept.
  const std::pair<uint8_t, uint8_t> cases[] = {{0x80, 0x82}, {0x7F, 0x01}, {0xFE, 0x80}};
  for (const auto& [a, readBack] : cases) {
    SCOPED_TRACE(a);
    r.A() = a;
    Load(0x8000, {0xED, 0x4F, 0xED, 0x5F});
    EXPECT_EQ(Step(), 9u);
    EXPECT_EQ(Ints(r.R, r.R7, r.ReadR()), Ints(a, a & 0x80, a));
    Step();
    EXPECT_EQ(r.A(), readBack);
  }
}

TEST_F(Z80Test, PortAccessesSeeTheClockOfTheirBusCycle) {
  // From T 100 with A = 0x12, BC = 0x1234, E = 0x56; reads answer 0xBF. Writes come at the
  // end of the instruction, reads at its start (a prefix's 4 T-states before them).
  const std::tuple<std::vector<uint8_t>, PortLog> cases[] = {
      {{0xD3, 0xFE, 0xDD, 0xD3, 0xFD}, {{true, 0x12FE, 0x12, 111}, {true, 0x12FD, 0x12, 126}}},
      {{0xDB, 0xFE, 0xDD, 0xDB, 0x1F}, {{false, 0x12FE, 0xBF, 100}, {false, 0xBF1F, 0xBF, 115}}},
      {{0xED, 0x50, 0xED, 0x70}, {{false, 0x1234, 0xBF, 100}, {false, 0x1234, 0xBF, 112}}},
      {{0xED, 0x59, 0xED, 0x71}, {{true, 0x1234, 0x56, 112}, {true, 0x1234, 0x00, 124}}},
  };
  for (const auto& [code, expected] : cases) {
    SCOPED_TRACE(int{code[1]});
    ResetPorts({0xBF, 0xBF});
    r.A() = 0x12;
    r.BC.Set(0x1234);
    r.E() = 0x56;
    r.Tackts = 100;
    Load(0x8000, code);
    Step();
    Step();
    EXPECT_EQ(log, expected);
  }
}

TEST_F(Z80Test, DiAt0559StartsTheTapeWhileInterruptsAreStillOn) {
  for (uint16_t at : {0x0559, 0x0556, 0x0558, 0x055A, 0x0557, 0x8559, 0x8556}) {
    SCOPED_TRACE(at);
    r.IFF1 = r.IFF2 = 1;
    tapeStarts = 0;
    Load(at, {0xF3});
    EXPECT_EQ(Step(), 4u);
    EXPECT_EQ(Ints(tapeStarts, r.IFF1, r.IFF2), Ints(at == 0x0559 || at == 0x0556, 0, 0));
  }
  EXPECT_EQ(iff1AtTapeStart, 1);
  cpu.SetTapeAutoStart(nullptr, nullptr);  // without a hook the DI still runs
  r.IFF1 = 1;
  Load(0x0559, {0xF3});
  Step();
  EXPECT_EQ(r.IFF1, 0);
}

TEST_F(Z80Test, InterruptEntryInEachModeReturnsPastAHalt) {
  // Mode 2 jumps through the vector at I * 256 + 0xFF; the HALT at 0x8123 is skipped on
  // return even before it ran.
  const std::tuple<uint8_t, uint16_t, uint32_t> cases[] = {
      {0, 0x0038, 13}, {1, 0x0038, 13}, {2, 0x1234, 19}};
  for (const auto& [mode, pc, cost] : cases) {
    SCOPED_TRACE(int{mode});
    r.IM = mode;
    r.I = 0x90;
    r.IFF1 = r.IFF2 = 1;
    r.R = 0x22;
    r.SP = 0xF000;
    r.Tackts = 5;
    Poke(0x90FF, {0x34, 0x12});
    Load(0x8123, {0x76});
    cpu.AcceptInterrupt();
    EXPECT_EQ(Ints(r.PC, r.SP, memory.ReadWord(0xEFFE), r.IFF1, r.IFF2, r.Tackts, r.R),
              Ints(pc, 0xEFFE, 0x8124, 0, 0, 5 + cost, 0x22));
  }
  // After an index prefix the HALT repeats in place, and is left the same way.
  r.IFF1 = r.IFF2 = 1;
  Load(0x8000, {0xDD, 0x76});
  EXPECT_EQ(Step() + Step(), 8u);
  EXPECT_EQ(r.PC, 0x8001);
  cpu.AcceptInterrupt();
  EXPECT_EQ(memory.ReadWord(r.SP), 0x8002);
}

// Block instructions repeat by moving PC back, one repetition per step.

TEST_F(Z80Test, LdirWithBcZeroCopies65536BytesIn65536Steps) {
  // The program sits in ROM, where the copy's writes are dropped, so it survives.
  memory.WritePort1FFD(0x00);
  uint8_t* rom = memory.Rom128k();
  for (size_t i = 0; i < Memory::kRomSize; ++i) rom[i] = static_cast<uint8_t>(i * 3 + 1);
  rom[0] = 0xED;
  rom[1] = 0xB0;
  for (size_t i = 0; i < Memory::kBankSize; ++i) memory.Bank(5)[i] = static_cast<uint8_t>(i * 7);
  r.HL.Set(0x4000);
  r.DE.Set(0x8000);
  r.BC.Set(0);
  r.PC = 0x0000;
  for (int step = 1; step < 65536; ++step) {
    cpu.Step();
    ASSERT_EQ(r.PC, 0x0000) << "stopped after " << step << " steps";
  }
  cpu.Step();
  EXPECT_EQ(Ints(r.PC, r.BC.Get(), r.HL.Get(), r.DE.Get(), r.Tackts),
            Ints(0x0002, 0, 0x4000, 0x8000, 65535u * 21u + 16u));
  // Around the whole address space: bank 5 moves up twice, the ROM lands in bank 5.
  EXPECT_EQ(Ints(memory.ReadByte(0x4123), memory.ReadByte(0x8123), memory.ReadByte(0xC123)),
            Ints(rom[0x123], uint8_t(0x123 * 7), uint8_t(0x123 * 7)));
}

TEST_F(Z80Test, IndexPrefixBeforeABlockInstructionIsDropped) {
  // LDIR with HL, not IX; a repetition goes back to the ED only, so it runs without DD.
  Poke(0x9000, {0x11, 0x22});
  r.HL.Set(0x9000);
  r.DE.Set(0xA000);
  r.IX.Set(0x5555);
  r.BC.Set(2);
  Load(0x8000, {0xDD, 0xED, 0xB0});
  EXPECT_EQ(Step(), 25u);
  EXPECT_EQ(r.PC, 0x8001);
  EXPECT_EQ(Step(), 16u);
  EXPECT_EQ(r.PC, 0x8003);
  EXPECT_EQ(Ints(r.R, r.IX.Get(), memory.ReadWord(0xA000)), Ints(5, 0x5555, 0x2211));
}

TEST_F(Z80Test, BlockInputAndOutputFlagsPortsAndClock) {
  // INI/IND: S, P/V, F5, F3 from the byte read, Z from B, N set, H cleared, C kept; the
  // port has B before the decrement and is read before the cost is added.
  // OUTI/OUTD: only Z and N change; the port has B after the decrement, written at the end.
  const std::tuple<uint8_t, uint8_t, uint8_t, uint8_t, uint8_t> cases[] = {
      {0xA2, 2, 0x80, H | C, S | N | C},
      {0xAA, 1, 0x28, S | H, Z | F5 | F3 | PV | N},
      {0xA2, 3, 0x00, C, PV | N | C},
      {0xA3, 2, 0xAA, S | F5 | H | F3 | PV | C, S | F5 | H | F3 | PV | N | C},
      {0xAB, 1, 0x55, 0, Z | N},
      {0xA3, 1, 0x00, S | F5 | H | F3 | PV | C, 0xFF},
      {0xA3, 5, 0x80, Z, N},
  };
  for (const auto& [op, b, byte, flagsIn, flagsOut] : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int{op} << " B=" << int{b});
    const bool out = op & 1;
    ResetPorts({byte});
    memory.PokeByte(0x9000, out ? byte : 0);
    r.B() = b;
    r.C() = 0x1F;
    r.HL.Set(0x9000);
    r.F() = flagsIn;
    r.Tackts = 1000;
    Load(0x8000, {0xED, op});
    EXPECT_EQ(Step(), 16u);
    EXPECT_EQ(Ints(r.F(), r.B(), r.HL.Get(), memory.ReadByte(0x9000)),
              Ints(flagsOut, b - 1, op & 8 ? 0x8FFF : 0x9001, byte));
    const uint16_t port = static_cast<uint16_t>((out ? b - 1 : b) * 256 + 0x1F);
    EXPECT_EQ(log, (PortLog{{out, port, byte, out ? 1016u : 1000u}}));
  }
}

TEST_F(Z80Test, InirAndOtirAccessTheirPortOncePerRepetition) {
  for (const uint8_t op : {0xB2, 0xB3}) {
    SCOPED_TRACE(int{op});
    const bool out = op & 1;
    ResetPorts({0x11, 0x22});
    Poke(0x9000, out ? std::vector<uint8_t>{0x11, 0x22} : std::vector<uint8_t>{0, 0});
    r.BC.Set(0x021F);
    r.HL.Set(0x9000);
    r.Tackts = 0;
    Load(0x8000, {0xED, op});
    EXPECT_EQ(Step(), 21u);
    EXPECT_EQ(r.PC, 0x8000);
    EXPECT_EQ(Step(), 16u);
    EXPECT_EQ(Ints(r.PC, r.B(), r.F() & Z, memory.ReadWord(0x9000)), Ints(0x8002, 0, Z, 0x2211));
    const PortLog in = {{false, 0x021F, 0x11, 0}, {false, 0x011F, 0x22, 21}};
    const PortLog written = {{true, 0x011F, 0x11, 16}, {true, 0x001F, 0x22, 37}};
    EXPECT_EQ(log, out ? written : in);
  }
}

}  // namespace
}  // namespace vantrel
