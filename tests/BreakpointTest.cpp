// Breakpoints through the real machine: each kind stops at the right instruction with the
// right cause, and the checking path runs a program exactly as the plain one does.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "MachineFixture.h"
#include "debugger/BreakpointText.h"
#include "machine/Machine.h"
#include "machine/RunLoop.h"

namespace vantrel {
namespace {

using test::Ints;
using B = BreakType;
constexpr uint32_t kAny = kBreakAny;

// LD A,#12 / LD (#9000),A / LD A,(#9001) / OUT (#FE),A / IN A,(#1F) / EI / JR $
const std::vector<uint8_t> kProgram = {0x3E, 0x12, 0x32, 0x00, 0x90, 0x3A, 0x01, 0x90,
                                       0xD3, 0xFE, 0xDB, 0x1F, 0xFB, 0x18, 0xFE};

struct Stop {
  std::vector<Breakpoint> List;
  bool Hit;
  uint16_t Pc;
  int Index;
  B Type;
  uint32_t Value;
};

TEST(Breakpoints, EachKindStopsWhereItShouldWithItsCause) {
  const Stop cases[] = {
      {{{B::Execution, 0x8005}}, true, 0x8005, 0, B::Execution, 0x8005},
      // The address a run starts at does not stop it again. Runs that never stop end in
      // the interrupt routine's JR $.
      {{{B::Execution, 0x8000}}, false, 0x0038, -1, B::Execution, 0},
      {{{B::Execution, 0x800D, 3}}, true, 0x800D, 0, B::Execution, 0x800D},
      {{{B::WriteMemory, 0x9000}}, true, 0x8005, 0, B::WriteMemory, 0x9000},
      {{{B::WriteMemory, kAny}}, true, 0x8005, 0, B::WriteMemory, 0x9000},
      // The second write: the low byte of the return address the interrupt pushes.
      {{{B::WriteMemory, kAny, 2}}, true, 0x0038, 0, B::WriteMemory, 0xEFFE},
      {{{B::ReadMemory, 0x9001}}, true, 0x8008, 0, B::ReadMemory, 0x9001},
      // Fetches are not data reads.
      {{{B::ReadMemory, 0x8003}}, false, 0x0038, -1, B::Execution, 0},
      {{{B::WritePort, 0xFE}}, true, 0x800A, 0, B::WritePort, 0x12FE},
      {{{B::WritePort, 0x12FE}}, true, 0x800A, 0, B::WritePort, 0x12FE},
      {{{B::WritePort, 0x13FE}}, false, 0x0038, -1, B::Execution, 0},
      {{{B::ReadPort, kAny}}, true, 0x800C, 0, B::ReadPort, 0x121F},
      {{{B::Interrupt, kAny}}, true, 0x0038, 0, B::Interrupt, 0},
      // 7 + 13 + 13 + 11 + 11 + 4 + 12 * 4 T-states: the first step to reach 100.
      {{{B::TimePass, 100}}, true, 0x800D, 0, B::TimePass, 107},
      {{{B::Nmi, kAny}}, false, 0x0038, -1, B::Execution, 0},
      // A disabled entry is skipped; the cause names the entry that fired.
      {{{B::Execution, 0x8005, 0, false}, {B::WriteMemory, kAny}},
       true,
       0x8005,
       1,
       B::WriteMemory,
       0x9000},
  };
  for (const Stop& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "type " << static_cast<int>(c.List[0].Type) << " arg " << c.List[0].Argument);
    Machine m{1};
    test::MakeIdle(m);
    test::Load(m, 0x8000, kProgram);
    m.Mem.PokeByte(0x9001, 0x12);
    m.State.Regs.IFF1 = 0;
    m.State.Regs.Tackts = 100;  // past the interrupt
    m.State.StartTacktsMeter();
    RunLoop loop{m};
    m.SetBreakpoints(c.List);
    const std::atomic<bool> running{true};
    const bool hit = loop.RunWhile(running, m.State.FrameCount + 2);
    const BreakHit& why = m.Breaks().LastHit();
    EXPECT_EQ(hit, c.Hit);
    EXPECT_EQ(Ints(m.State.Regs.PC, why.Index), Ints(c.Pc, c.Index));
    if (c.Hit) {
      EXPECT_EQ(Ints(why.Type, why.Value), Ints(c.Type, c.Value));
    }
  }
}

// An execution entry on a repeating instruction or HALT fires when the program arrives
// there, not at each repetition, and again at the next arrival. An interrupt taken in
// between returns into the same visit.
TEST(Breakpoints, AnExecutionEntryOnARepeatingInstructionFiresOncePerVisit) {
  struct Case {
    const char* name;
    std::vector<uint8_t> code;
    uint16_t at;
    uint16_t bc;  // at each stop
  };
  const Case cases[] = {
      // LD BC,5 / LDIR / INC A / JR to the LD.
      {"LDIR", {0x01, 0x05, 0x00, 0xED, 0xB0, 0x3C, 0x18, 0xF8}, 0x8003, 5},
      {"CPDR", {0x01, 0x05, 0x00, 0xED, 0xB9, 0x3C, 0x18, 0xF8}, 0x8003, 5},
      // EI / HALT / INC A / JR to the HALT: the interrupt ends each visit.
      {"HALT", {0xFB, 0x76, 0x3C, 0x18, 0xFC}, 0x8001, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Machine m{1};
    test::MakeIdle(m);
    Z80Registers& r = m.State.Regs;
    test::Load(m, 0x0038, {0x08, 0x3C, 0x08, 0xFB, 0xC9});               // counts in A', EI / RET
    for (uint16_t a = 0xA000; a < 0xB000; ++a) m.Mem.PokeByte(a, 0xFF);  // CPDR finds no A
    test::Load(m, 0x8000, c.code);
    r.AF.Set(0);
    r.AltAF = 0;
    r.BC.Set(0);
    r.HL.Set(0xA800);
    r.DE.Set(0xA900);
    r.IFF1 = r.IFF2 = 1;
    r.Tackts = m.State.TacktsPerInt - 60;  // the interrupt comes during the first visit
    m.SetBreakpoints({{B::Execution, c.at}});
    RunLoop loop{m};
    const std::atomic<bool> running{true};
    for (int visit = 0; visit < 3; ++visit) {
      SCOPED_TRACE(visit);
      ASSERT_TRUE(loop.RunWhile(running, m.State.FrameCount + 3));
      EXPECT_EQ(Ints(r.PC, r.A(), r.BC.Get()), Ints(c.at, visit, c.bc));
    }
    EXPECT_GE(r.AltAF >> 8, 1) << "an interrupt came";
  }
}

// A condition is looked at first, at each hit, and the pass count counts only the hits
// where it held. The loop passes 0x8002 five times, with B = 5, 4, 3, 2, 1.
TEST(Breakpoints, ConditionsDecideWhichHitsCount) {
  // LD B,5 / NOP / DJNZ to the NOP / JR $
  const std::vector<uint8_t> loop = {0x06, 0x05, 0x00, 0x10, 0xFD, 0x18, 0xFE};
  struct Case {
    const char* Condition;
    uint32_t Pass;
    bool Hit;
    uint16_t Pc;
    int B;
    const char* Failure;
  };
  const Case cases[] = {
      {"b=3", 0, true, 0x8002, 3, nullptr},  // the third of five hits
      {"B = 3 && [#9000] = #C9", 0, true, 0x8002, 3, nullptr},
      {"b<=4", 2, true, 0x8002, 3, nullptr},  // two hits held: B = 4 and 3
      {"b<=4", 4, true, 0x8002, 1, nullptr},
      {"b&1", 3, true, 0x8002, 1, nullptr},
      {"b=9", 0, false, 0x8005, 0, nullptr},  // never true: the loop runs to its end
      {"b<=4", 5, false, 0x8005, 0, nullptr},
      {"1/(b-3)", 0, true, 0x8002, 4, nullptr},  // 1/2 is 0, 1/1 is 1
      {"100/(b-3)=0", 0, true, 0x8002, 3, "Divide by zero!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Condition << " pass " << c.Pass);
    Machine m{1};
    test::MakeIdle(m);
    test::Load(m, 0x8000, loop);
    m.Mem.PokeByte(0x9000, 0xC9);
    m.State.Regs.IFF1 = 0;
    Breakpoint entry{B::Execution, 0x8002, c.Pass};
    std::string error;
    ASSERT_TRUE(SetBreakCondition(entry, c.Condition, nullptr, &error)) << error;
    m.SetBreakpoints({entry});
    RunLoop runLoop{m};
    const std::atomic<bool> running{true};
    const bool hit = runLoop.RunWhile(running, m.State.FrameCount + 1);
    const BreakHit& why = m.Breaks().LastHit();
    EXPECT_EQ(Ints(hit, m.State.Regs.PC, m.State.Regs.B()), Ints(c.Hit, c.Pc, c.B));
    EXPECT_STREQ(why.ConditionFailure, c.Failure);
    if (c.Failure) {
      EXPECT_EQ(BreakHitText(why),
                "Breakpoint 1: Execution #8002: the condition failed: Divide by zero!");
    }
  }
}

// Time Pass entries count the machine's own frame length.
TEST(Breakpoints, TimePassCountsFramesOfTheMachinesLength) {
  Machine m{1};
  test::MakeIdle(m);  // JR $ at 0x8000, interrupts off
  m.SetTacktsPerInt(69888);
  m.State.Regs.Tackts = 69888 - 1000;
  m.State.StartTacktsMeter();
  m.SetBreakpoints({{B::TimePass, 1100}});
  RunLoop loop{m};
  const std::atomic<bool> running{true};
  ASSERT_TRUE(loop.RunWhile(running, m.State.FrameCount + 2));
  // 84 JRs reach the frame end at 8, eight more pass 1100.
  EXPECT_EQ(Ints(m.State.FrameCount, m.State.Regs.Tackts, m.Breaks().LastHit().Value),
            Ints(1, 104, 1104));
}

// The checking path with entries that never fire runs the machine exactly as the plain
// one: memory, registers and time.
TEST(Breakpoints, CheckingPathRunsTheProgramUnchanged) {
  // LD HL,#9000 / loop: INC (HL) / LD A,(HL) / OUT (#FE),A / IN A,(#FE) / EI / JR loop, with
  // PUSH AF / POP AF / EI / RET at the interrupt.
  const std::vector<uint8_t> program = {0x21, 0x00, 0x90, 0x34, 0x7E, 0xD3,
                                        0xFE, 0xDB, 0xFE, 0xFB, 0x18, 0xF7};
  std::vector<uint8_t> memory[2];
  std::vector<long long> registers[2];
  for (int watched = 0; watched < 2; ++watched) {
    Machine m{1};
    test::MakeIdle(m);
    test::Load(m, 0x0038, {0xF5, 0xF1, 0xFB, 0xC9});
    test::Load(m, 0x8000, program);
    if (watched) {
      m.SetBreakpoints({{B::WriteMemory, 0x0001},
                        {B::ReadMemory, 0x0002},
                        {B::ReadPort, 0x7FFD},
                        {B::Execution, 0x7000}});
    }
    RunLoop loop{m};
    const std::atomic<bool> running{true};
    EXPECT_FALSE(loop.RunWhile(running, 5));
    const Z80Registers& r = m.State.Regs;
    registers[watched] =
        Ints(r.PC, r.SP, r.AF.Get(), r.HL.Get(), r.Tackts, r.R, m.State.FrameCount);
    for (uint32_t a = 0; a < 0x10000; ++a) memory[watched].push_back(m.Mem.PeekByte(a));
  }
  EXPECT_EQ(registers[0], registers[1]);
  EXPECT_TRUE(memory[0] == memory[1]);
}

}  // namespace
}  // namespace vantrel
