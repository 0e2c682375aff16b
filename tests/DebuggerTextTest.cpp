// The debugger's texts: running time, CPU panel fields, breakpoint causes and options.
#include <gtest/gtest.h>

#include <string>

#include "MachineFixture.h"
#include "debugger/BreakpointText.h"
#include "debugger/CpuFields.h"
#include "debugger/Symbols.h"

namespace vantrel {
namespace {

TEST(DebuggerText, RunningTime) {
  const uint32_t second = 69888 * 50;
  const struct {
    uint32_t Tackts;
    const char* Text;
  } cases[] = {
      {0, "0"},
      {second - 1, "3494399"},
      {second, "1.000s"},
      {second + second / 4, "1.250s"},
      {59 * second + second / 2, "59.500s"},
      {60 * second + second / 4, "1m0.250s"},
      {61 * second + second * 999 / 1000 + 1, "1m1.999s"},
      // Eight characters written: the units digit of the milliseconds is left out.
      {10 * 60 * second + 15 * second + second * 123 / 1000 + 1, "10m15.12s"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunningTimeText(c.Tackts, 69888), c.Text) << c.Tackts;
  }
}

TEST(DebuggerText, CpuFieldsWriteTheirValueIntoTheTemplate) {
  MachineState state;
  state.Regs.AF.Set(0x12C5);  // F: S, Z, P and C set
  state.Regs.AltHL = 0xBEEF;
  state.Regs.Tackts = 1234567;
  state.Regs.IM = 2;
  state.Regs.R = 0x7F;
  const struct {
    int Index;
    const char* Text;
  } cases[] = {{2, "AF 12C5"}, {9, "HL'BEEF"}, {12, "T=1234567"}, {16, "R 7F"}, {17, "IM=2"},
               {18, "S=1"},    {19, "Z=1"},    {20, "5=0"},       {23, "P=1"},  {25, "C=1"}};
  for (const auto& c : cases) {
    EXPECT_EQ(CpuFieldText(c.Index, CpuFieldValue(c.Index, state), 69888), c.Text) << c.Index;
  }
}

TEST(DebuggerText, BreakpointCausesAndRunnerOptions) {
  EXPECT_EQ(BreakHitText({1, BreakType::WriteMemory, 0x5C3A}), "Breakpoint 2: Write Memory #5C3A");
  EXPECT_EQ(BreakHitText({0, BreakType::Interrupt, 0}), "Breakpoint 1: Interrupt");
  EXPECT_EQ(BreakArgumentText({BreakType::ReadPort, 0xFE}), "#FE");
  EXPECT_EQ(BreakArgumentText({BreakType::WritePort, 0x7FFD}), "#7FFD");
  EXPECT_EQ(BreakArgumentText({BreakType::Execution, kBreakAny}), "any addr");
  const SymbolTable symbols = SymbolTable::Parse("main.loop EQU 8003h\n@port = #FE\n");
  const struct {
    const char* Text;
    bool Ok;
    BreakType Type;
    uint32_t Argument;
  } options[] = {
      {"exec:#8000", true, BreakType::Execution, 0x8000},
      {"write:*", true, BreakType::WriteMemory, kBreakAny},
      {"read:#10000+5", true, BreakType::ReadMemory, 5},
      {"out:254", true, BreakType::WritePort, 254},
      {"in", true, BreakType::ReadPort, kBreakAny},
      {"time:70000", true, BreakType::TimePass, 70000},
      {"int", true, BreakType::Interrupt, kBreakAny},
      {"time:0", false, BreakType::Execution, 0},
      {"time:*", false, BreakType::Execution, 0},
      {"exec:#GG", false, BreakType::Execution, 0},
      {"jump:1", false, BreakType::Execution, 0},
      {"exec:main.loop+2", true, BreakType::Execution, 0x8005},
      {"exec:0x5C3A", true, BreakType::Execution, 0x5C3A},
      {"in:@port", true, BreakType::ReadPort, 0xFE},
      {"time:0x100", true, BreakType::TimePass, 256},
      // Registers have no value yet: refused rather than read as 0.
      {"exec:sp", false, BreakType::Execution, 0},
      {"write:main.loop+hl", false, BreakType::Execution, 0},
      {"time:t", false, BreakType::Execution, 0},
      {"exec:start", false, BreakType::Execution, 0},
  };
  for (const auto& o : options) {
    std::string error;
    const auto entry = ParseBreakOption(o.Text, &error, &symbols);
    ASSERT_EQ(entry.has_value(), o.Ok) << o.Text << ": " << error;
    if (entry) {
      EXPECT_EQ(test::Ints(entry->Type, entry->Argument), test::Ints(o.Type, o.Argument)) << o.Text;
    } else {
      EXPECT_FALSE(error.empty()) << o.Text;
    }
  }
  std::string error;
  EXPECT_FALSE(ParseBreakOption("exec:sp", &error));
  EXPECT_EQ(error, "\"sp\": Register sp has no value before the run!");
  EXPECT_FALSE(ParseBreakOption("exec:main.loop", &error));  // no table, no symbols
  EXPECT_EQ(error, "\"main.loop\": Invalid variable name!");
}

}  // namespace
}  // namespace vantrel
