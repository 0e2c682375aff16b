// The Sinclair timings: the contended processor's machine cycles, the ULA's delays for
// memory and I/O in the 48K and 128K, the floating bus, the interrupt's length and the
// border's 4-T-state steps.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "MachineFixture.h"
#include "core/ContendedMemory.h"
#include "core/MachineState.h"
#include "core/Memory.h"
#include "core/Z80.h"
#include "machine/Machine.h"

namespace vantrel {
namespace {

using test::Load;

// Every instruction, timed cycle by cycle without contention, costs what the plain
// processor adds in one sum, and does the same: a cycle left out or counted twice shows.
TEST(ContendedCore, CyclesAddUpToThePlainCostsOfEveryInstruction) {
  struct Pair {
    MachineState state;
    Memory mem;
    Z80 plain{state, mem};
    MachineState cstate;
    Memory cmem;
    ContendedMemory contended{cmem};
    Z80Core<ContendedMemory> timed{cstate, contended};
  };
  auto pair = std::make_unique<Pair>();
  test::MakeFlatRam(pair->mem);
  test::MakeFlatRam(pair->cmem);
  const std::vector<std::vector<uint8_t>> prefixes = {
      {}, {0xCB}, {0xED}, {0xDD}, {0xFD}, {0xDD, 0xCB, 0x05}, {0xFD, 0xCB, 0xFB}, {0xDD, 0xED}};
  int failures = 0;
  for (const auto& prefix : prefixes) {
    for (int op = 0; op < 256; ++op) {
      // Branches both ways, block instructions repeating and ending.
      for (const uint8_t flags : {0x00, 0xFF}) {
        for (const uint16_t bc : {0x0001, 0x0302}) {
          std::vector<uint8_t> code = prefix;
          code.push_back(static_cast<uint8_t>(op));
          for (uint8_t operand : {0x12, 0x34, 0x56}) code.push_back(operand);
          for (auto* s : {&pair->state, &pair->cstate}) {
            Z80Registers& r = s->Regs;
            r = Z80Registers{};
            r.AF.Set(static_cast<uint16_t>(0x5A00 | flags));
            r.BC.Set(bc);
            r.DE.Set(0x9000);
            r.HL.Set(0xA000);
            r.IX.Set(0xB000);
            r.IY.Set(0xB100);
            r.SP = 0xF000;
            r.PC = 0x8000;
            r.I = 0x3F;
            r.IFF1 = r.IFF2 = 1;
            r.Tackts = 1000;
          }
          for (size_t i = 0; i < code.size(); ++i) {
            pair->mem.PokeByte(static_cast<uint16_t>(0x8000 + i), code[i]);
            pair->cmem.PokeByte(static_cast<uint16_t>(0x8000 + i), code[i]);
          }
          pair->plain.Step();
          pair->timed.Step();
          const Z80Registers& a = pair->state.Regs;
          const Z80Registers& b = pair->cstate.Regs;
          // The block I/O instructions keep the real chip's flags in the Sinclair timings.
          const bool blockIo = !prefix.empty() && prefix.back() == 0xED && (op & 0xE6) == 0xA2;
          const uint16_t flagsSeen = blockIo ? 0xFF00 : 0xFFFF;
          if (a.Tackts != b.Tackts || a.PC != b.PC ||
              (a.AF.Get() & flagsSeen) != (b.AF.Get() & flagsSeen) || a.BC.Get() != b.BC.Get() ||
              a.HL.Get() != b.HL.Get() || a.SP != b.SP || a.R != b.R) {
            ADD_FAILURE() << "code " << testing::PrintToString(code) << " flags " << int(flags)
                          << " BC " << bc << ": " << a.Tackts - 1000 << " vs " << b.Tackts - 1000;
            if (++failures > 20) return;
          }
        }
      }
    }
  }
}

// One instruction in a Sinclair timing, from a T-state near the contended window, with
// the total T-states a timing document gives for it: 6,5,4,3,2,1,0,0 from the window's
// first T-state on each paper line, memory cycles held by their address, I/O cycles by
// the four cases of high byte and port bit 0.
struct ContendedCase {
  const char* Name;
  MachineTiming Timing;
  uint8_t Port7ffd;  // the bank at 0xC000
  uint16_t At;       // where the code is
  std::vector<uint8_t> Code;
  uint8_t A;
  uint16_t HL;
  uint8_t I;
  uint32_t Start;
  uint32_t Cost;
};

class ContendedInstruction : public ::testing::TestWithParam<ContendedCase> {};

TEST_P(ContendedInstruction, TakesTheDocumentedTStates) {
  const ContendedCase& c = GetParam();
  auto m = std::make_unique<Machine>(1);
  m->State.StartMode = kStart128k;
  m->ResetMachine();
  m->SetTiming(c.Timing, kDefaultTacktsPerInt);
  m->Ports.PortWrite(0x7FFD, c.Port7ffd);
  Load(*m, c.At, c.Code);
  Z80Registers& r = m->State.Regs;
  r.AF.Set(static_cast<uint16_t>(c.A << 8));
  r.HL.Set(c.HL);
  r.I = c.I;
  r.IFF1 = 0;
  r.Tackts = c.Start;
  m->ProcessorStep();
  EXPECT_EQ(r.Tackts - c.Start, c.Cost);
}

constexpr auto k48 = MachineTiming::Sinclair48;
constexpr auto k128 = MachineTiming::Sinclair128;
constexpr uint32_t kW48 = 14335;   // the 48K's first contended T-state
constexpr uint32_t kW128 = 14361;  // the 128K's

INSTANTIATE_TEST_SUITE_P(
    Sinclair, ContendedInstruction,
    ::testing::Values(
        ContendedCase{"NopUncontended48", k48, 0, 0x8000, {0x00}, 0, 0, 0, kW48, 4},
        ContendedCase{"NopContended48", k48, 0, 0x6000, {0x00}, 0, 0, 0, kW48, 10},
        ContendedCase{"NopBeforeWindow", k48, 0, 0x6000, {0x00}, 0, 0, 0, kW48 - 1, 4},
        ContendedCase{"NopOneLeft", k48, 0, 0x6000, {0x00}, 0, 0, 0, kW48 + 5, 5},
        ContendedCase{"NopNoDelay", k48, 0, 0x6000, {0x00}, 0, 0, 0, kW48 + 6, 4},
        ContendedCase{"NopInRightBorder", k48, 0, 0x6000, {0x00}, 0, 0, 0, kW48 + 128, 4},
        ContendedCase{"NopNextLine48", k48, 0, 0x6000, {0x00}, 0, 0, 0, kW48 + 224, 10},
        ContendedCase{"NopLastLine48", k48, 0, 0x6000, {0x00}, 0, 0, 0, kW48 + 191 * 224, 10},
        ContendedCase{"NopBelowPaper48", k48, 0, 0x6000, {0x00}, 0, 0, 0, kW48 + 192 * 224, 4},
        ContendedCase{"NopTopBank48", k48, 1, 0xC000, {0x00}, 0, 0, 0, kW48, 4},
        ContendedCase{"LdAHl", k48, 0, 0x8000, {0x7E}, 0, 0x4000, 0, kW48, 9},
        ContendedCase{"LdHlA", k48, 0, 0x8000, {0x77}, 0, 0x5000, 0, kW48 + 1, 8},
        ContendedCase{"LdHlAUncontended", k48, 0, 0x8000, {0x77}, 0, 0xC000, 0, kW48 + 1, 7},
        ContendedCase{"IncHlWithIInScreen", k48, 0, 0x8000, {0x23}, 0, 0, 0x40, kW48, 8},
        ContendedCase{"IncHlWithIInRom", k48, 0, 0x8000, {0x23}, 0, 0, 0x00, kW48, 6},
        ContendedCase{"JrInContendedMemory", k48, 0, 0x6000, {0x18, 0x00}, 0, 0, 0, kW48, 39},
        ContendedCase{"InHighContendedUla", k48, 0, 0x8000, {0xDB, 0xFE}, 0x40, 0, 0, kW48 + 1, 17},
        ContendedCase{
            "InHighUncontendedUla", k48, 0, 0x8000, {0xDB, 0xFE}, 0x80, 0, 0, kW48 + 1, 16},
        ContendedCase{
            "InHighContendedOther", k48, 0, 0x8000, {0xDB, 0xFF}, 0x40, 0, 0, kW48 + 1, 23},
        ContendedCase{
            "InHighUncontendedOther", k48, 0, 0x8000, {0xDB, 0xFF}, 0x80, 0, 0, kW48 + 1, 11},
        ContendedCase{
            "OutHighContendedUla", k48, 0, 0x8000, {0xD3, 0xFE}, 0x40, 0, 0, kW48 + 1, 17},
        ContendedCase{
            "OutHighContendedOther", k48, 0, 0x8000, {0xD3, 0xFF}, 0x40, 0, 0, kW48 + 1, 23},
        ContendedCase{
            "InPortC0With48Timing", k48, 3, 0x8000, {0xDB, 0xFF}, 0xC0, 0, 0, kW48 + 1, 11},
        ContendedCase{"NopOddBank128", k128, 1, 0xC000, {0x00}, 0, 0, 0, kW128, 10},
        ContendedCase{"NopBank7At128", k128, 7, 0xC000, {0x00}, 0, 0, 0, kW128, 10},
        ContendedCase{"NopEvenBank128", k128, 2, 0xC000, {0x00}, 0, 0, 0, kW128, 4},
        ContendedCase{"NopBank5At4000_128", k128, 0, 0x6000, {0x00}, 0, 0, 0, kW128, 10},
        ContendedCase{"NopBefore128Window", k128, 0, 0x6000, {0x00}, 0, 0, 0, kW48, 4},
        ContendedCase{"NopNextLine128", k128, 0, 0x6000, {0x00}, 0, 0, 0, kW128 + 228, 10},
        ContendedCase{"Nop48LineIn128", k128, 0, 0x6000, {0x00}, 0, 0, 0, kW128 + 224, 4},
        ContendedCase{
            "InPortC0OddBank128", k128, 3, 0x8000, {0xDB, 0xFF}, 0xC0, 0, 0, kW128 + 1, 23},
        ContendedCase{
            "InPortC0EvenBank128", k128, 2, 0x8000, {0xDB, 0xFF}, 0xC0, 0, 0, kW128 + 1, 11},
        ContendedCase{"InUla128", k128, 0, 0x8000, {0xDB, 0xFE}, 0x80, 0, 0, kW128 + 1, 16}),
    [](const ::testing::TestParamInfo<ContendedCase>& info) {
      return std::string(info.param.Name);
    });

// An unattached port read in a Sinclair timing: IN A,(#FF) with A = #80 takes the byte in
// the last T-state of its I/O cycle, 10 T-states after the instruction starts.
TEST(FloatingBus, ReturnsTheBytesTheUlaFetchesAtTheirTStates) {
  struct Case {
    MachineTiming Timing;
    uint32_t ReadAt;
    int Expected;
  };
  const Case cases[] = {
      {k48, 14337, 0xFF},
      {k48, 14338, 0xAB},
      {k48, 14339, 0xCD},
      {k48, 14340, 0x12},
      {k48, 14341, 0x34},
      {k48, 14342, 0xFF},
      {k48, 14345, 0xFF},
      {k48, 14346, 0x56},
      {k48, 14338 + 224, 0x9A},
      {k48, 14338 + 128, 0xFF},
      {k48, 14338 + 192 * 224, 0xFF},
      {k128, 14363, 0xFF},
      {k128, 14364, 0xAB},
      {k128, 14365, 0xCD},
      {k128, 14364 + 228, 0x9A},
      {k128, 14364 + 224, 0xFF},
  };
  for (const Case& c : cases) {
    auto m = std::make_unique<Machine>(1);
    m->State.StartMode = kStart128k;
    m->ResetMachine();
    m->SetTiming(c.Timing, kDefaultTacktsPerInt);
    // The attribute port setting is the default timing's; the floating bus ignores it.
    m->Ports.Settings.AttributePortEnabled = false;
    for (const auto& [address, value] : {std::pair{0x4000, 0xAB},
                                         {0x5800, 0xCD},
                                         {0x4001, 0x12},
                                         {0x5801, 0x34},
                                         {0x4002, 0x56},
                                         {0x4100, 0x9A}}) {
      m->Mem.PokeByte(static_cast<uint16_t>(address), static_cast<uint8_t>(value));
    }
    Load(*m, 0x8000, {0xDB, 0xFF});
    Z80Registers& r = m->State.Regs;
    r.AF.Set(0x8000);
    r.IFF1 = 0;
    r.Tackts = c.ReadAt - 10;
    m->ProcessorStep();
    EXPECT_EQ(r.AF.High, c.Expected) << TimingName(c.Timing) << " read at " << c.ReadAt;
  }
}

// The interrupt is held for 24, 32 or 36 T-states from the frame's start.
TEST(SinclairTiming, FramesAndInterruptsHaveTheMachinesLengths) {
  struct Case {
    MachineTiming Timing;
    uint32_t Frame;
    uint32_t IntLength;
  };
  for (const Case& c :
       {Case{MachineTiming::Default, 71680, 24}, Case{k48, 69888, 32}, Case{k128, 70908, 36}}) {
    for (const uint32_t t : {c.IntLength - 1, c.IntLength}) {
      auto m = std::make_unique<Machine>(1);
      test::MakeIdle(*m);
      m->SetTiming(c.Timing, kDefaultTacktsPerInt);
      EXPECT_EQ(m->State.TacktsPerInt, c.Frame);
      m->State.Regs.IFF1 = 1;
      m->State.Regs.AcceptInt = 1;
      m->State.Regs.Tackts = t;
      const StepKind expected = t < c.IntLength ? StepKind::Interrupt : StepKind::Instruction;
      EXPECT_EQ(m->ProcessorStep(), expected) << TimingName(c.Timing) << " at " << t;
    }
  }
}

// "By start mode": 48K modes as a 48K, 128K modes on the Spectrum 128K as a 128K, the
// clones as specified; worked out again at each reset.
TEST(SinclairTiming, ByStartModeFollowsTheModeAndModelAtEachReset) {
  struct Case {
    uint8_t Mode;
    MemoryModel Model;
    MachineTiming Expected;
  };
  const Case cases[] = {
      {0, MemoryModel::Spectrum128k, k48},
      {kStartTrDos, MemoryModel::Pentagon256k, k48},
      {kStart128k, MemoryModel::Spectrum128k, k128},
      {kStart128k | kStartTrDos, MemoryModel::Spectrum128k, k128},
      {kStart128k, MemoryModel::Pentagon1024k, MachineTiming::Default},
      {kStart128k, MemoryModel::Scorpion256k, MachineTiming::Default},
  };
  auto m = std::make_unique<Machine>(1);
  m->SetTimingChoice(TimingChoice::ByStartMode, 70000);
  for (const Case& c : cases) {
    m->State.StartMode = c.Mode;
    m->Mem.Model = c.Model;
    m->ResetMachine();
    EXPECT_EQ(m->Timing(), c.Expected) << int(c.Mode) << " " << MemoryModelName(c.Model);
    const uint32_t frame =
        c.Expected == MachineTiming::Default ? 70000 : FiguresOf(c.Expected)->FrameTackts();
    EXPECT_EQ(m->State.TacktsPerInt, frame);
  }
  // A fixed choice ignores the mode.
  m->SetTimingChoice(TimingChoice::Sinclair128, 70000);
  m->State.StartMode = 0;
  m->ResetMachine();
  EXPECT_EQ(m->Timing(), k128);
  m->SetTimingChoice(TimingChoice::Default, 70000);
  EXPECT_EQ(m->State.TacktsPerInt, 70000u);
}

// LD A,I reports IFF2 as 0 when it ends at the frame's end: the Sinclair frame's own end.
TEST(SinclairTiming, LdAIParityLooksAtTheChosenFrame) {
  for (const uint32_t end : {69887u, 69888u}) {
    auto m = std::make_unique<Machine>(1);
    test::MakeFlatRam(*m);
    m->SetTiming(k48, kDefaultTacktsPerInt);
    Load(*m, 0x8000, {0xED, 0x57});
    m->State.Regs.IFF1 = 0;
    m->State.Regs.IFF2 = 1;
    m->State.Regs.Tackts = end - 9;
    m->ProcessorStep();
    EXPECT_EQ((m->State.Regs.AF.Low & 0x04) != 0, end < 69888) << end;
  }
}

// A border change shows from the ULA's next 4-T-state step (8 pixels), counted from the
// paper's fetch; the default timing shows it at once.
TEST(SinclairTiming, BorderChangesFallOnFourTStateSteps) {
  struct Case {
    MachineTiming Timing;
    uint32_t Offset;  // from native row 0's start
    int FirstNewPixel;
  };
  const Case cases[] = {{k48, 4, 8},   {k48, 5, 16}, {k48, 7, 16},
                        {k48, 8, 16},  {k48, 9, 24}, {MachineTiming::Default, 5, 10},
                        {k128, 5, 16}, {k128, 4, 8}};
  for (const Case& c : cases) {
    auto m = std::make_unique<Machine>(1);
    m->SetTiming(c.Timing, kDefaultTacktsPerInt);
    ScreenRenderer& screen = m->Screen;
    const uint32_t rowStart = screen.PaperStartT() - 32 - 48 * screen.LineTackts();
    screen.SetBorderColour(1, 0);
    screen.StartFrame();
    screen.SetBorderColour(2, rowStart + c.Offset);
    screen.DrawBorderUpTo(rowStart + 192);
    const uint8_t* row = screen.Row(0);
    int first = -1;
    for (int x = 0; x < kNativeWidth && first < 0; ++x) {
      if (row[x] == screen.ColourIndices()[2]) first = x;
    }
    EXPECT_EQ(first, c.FirstNewPixel) << TimingName(c.Timing) << " +" << c.Offset;
  }
}

}  // namespace
}  // namespace vantrel
