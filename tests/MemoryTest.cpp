#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <tuple>

#include "MachineFixture.h"
#include "core/Memory.h"
#include "machine/Machine.h"

namespace vantrel {
namespace {

using test::Ints;

// Every ROM image and every bank carries its own mark so a read tells where it came from.
constexpr uint8_t kMark48k = 0x48, kMark128k = 0x12, kMarkDos = 0xD0;

void Mark(Memory& mem) {
  std::memset(mem.Rom48k(), kMark48k, Memory::kRomSize);
  std::memset(mem.Rom128k(), kMark128k, Memory::kRomSize);
  std::memset(mem.RomDOS(), kMarkDos, Memory::kRomSize);
  for (int bank = 0; bank < Memory::kBankCount; ++bank) {
    std::memset(mem.Bank(bank), 0x80 | bank, Memory::kBankSize);
  }
}
// The bank a read at 0xC000 comes from, by its mark.
int BankAtTop(const Memory& mem) {
  return mem.ReadByte(0xC000) & 0x7F;
}

class MemoryTest : public testing::Test {
 protected:
  MemoryTest() { Mark(memory); }
  uint8_t Rom() const { return memory.ReadByte(0x0100); }

  Memory memory;
};

TEST(MemoryRoms, RomsNobodyLoadedReadAs0xFF) {
  Memory unloaded;
  EXPECT_EQ(Ints(unloaded.ReadByte(0), unloaded.Rom48k()[0x3FFF], unloaded.RomDOS()[7]),
            Ints(0xFF, 0xFF, 0xFF));
}

TEST_F(MemoryTest, WritesToRomAreDroppedAndWordsWrapAtFFFF) {
  for (uint16_t address : {0x0000, 0x1234, 0x3FFF}) {
    memory.WriteByte(address, 0x3A);
    memory.PokeByte(address, 0x3B);
  }
  memory.WriteWord(0x2000, 0xBEEF);
  memory.WriteWord(0xFFFF, 0x1234);  // the high byte goes to the ROM at 0x0000
  EXPECT_EQ(Ints(memory.ReadByte(0x1234), memory.ReadWord(0x2000), memory.ReadWord(0xFFFF)),
            Ints(kMark128k, kMark128k * 0x101, 0x34 | (kMark128k << 8)));
  EXPECT_EQ(memory.PeekWord(0xFFFF), memory.ReadWord(0xFFFF));
  for (int bank = 1; bank < Memory::kBankCount; ++bank) {  // nothing leaked into RAM
    const uint8_t* b = memory.Bank(bank);
    EXPECT_EQ(std::count(b, b + Memory::kBankSize, 0x80 | bank), Memory::kBankSize) << bank;
  }
  // With writable RAM at 0x0000 the high byte lands there.
  test::MakeFlatRam(memory);
  memory.PokeWord(0xFFFF, 0xA55A);
  EXPECT_EQ(Ints(memory.Bank(1)[0x3FFF], memory.Bank(0)[0], memory.ReadWord(0xFFFF)),
            Ints(0x5A, 0xA5, 0xA55A));
}

TEST_F(MemoryTest, HostPointersWriteThroughRom) {
  memory.WritePort7FFD(0x02);
  EXPECT_EQ(memory.HostPointer(0x4001), memory.Bank(5) + 1);
  EXPECT_EQ(memory.HostPointer(0xC000), memory.Bank(2));
  *memory.HostPointer(0x0010) = 0x77;
  EXPECT_EQ(Ints(memory.ReadByte(0x0010), memory.Rom128k()[0x0010]), Ints(0x77, 0x77));
  memory.WritePort7FFD(0x10);
  *memory.HostPointer(0x3FFF) = 0x78;
  EXPECT_EQ(memory.Rom48k()[0x3FFF], 0x78);
}

TEST(MemoryPaging, Port7FFDSelectsBankRomAndScreenPerModel) {
  using enum MemoryModel;
  // Model, a value written before, the value: the bank at 0xC000 and the port's value.
  const std::tuple<MemoryModel, uint8_t, uint8_t, int, uint8_t> cases[] = {
      {Spectrum128k, 0, 0x07, 7, 0x07},
      {Spectrum128k, 0, 0xC3, 3, 0xC3},  // bits 6, 7 unused
      {Spectrum128k, 0, 0x1F, 7, 0x1F},
      {Pentagon256k, 0, 0xC7, 15, 0xC7},  // bit 7 unused
      {Pentagon512k, 0, 0x81, 17, 0x81},
      {Pentagon512k, 0, 0xC7, 31, 0xC7},
      {Pentagon1024k, 0, 0xE7, 63, 0xE7},
      {Scorpion256k, 0, 0xC5, 5, 0xC5},  // bits from #1FFD
      {Scorpion1024k, 0, 0xC6, 6, 0xC6},
      // Bit 5 locks until reset, on every model but the Pentagon 1024K, where it is a bank bit.
      {Pentagon512k, 0x30, 0x0F, 0, 0x30},
      {Scorpion1024k, 0x30, 0x0F, 0, 0x30},
      {Pentagon1024k, 0x23, 0x01, 1, 0x01},
      {Pentagon1024k, 0x00, 0x23, 11, 0x23},
  };
  for (const auto& [model, before, value, bank, port] : cases) {
    SCOPED_TRACE(testing::Message() << MemoryModelName(model) << " " << int{value});
    Memory mem;
    Mark(mem);
    mem.Model = model;
    mem.WritePort7FFD(before);
    mem.WritePort7FFD(value);
    EXPECT_EQ(
        Ints(mem.TopBank(), BankAtTop(mem), mem.Port7FFD, mem.ReadByte(0x0100), mem.ScreenBank),
        Ints(bank, bank, port, port & 0x10 ? kMark48k : kMark128k, port & 0x08 ? 7 : 5));
    EXPECT_EQ(mem.TopWindow(), mem.Bank(bank));
  }
}

TEST_F(MemoryTest, ScorpionPort1FFD) {
  struct Case {
    MemoryModel model;
    int bank;
  };
  // #7FFD = 3, #1FFD = 0xD0: the 1024K takes bits 4, 6 and 7 as bank bits 3, 4 and 5.
  for (const Case& c : {Case{MemoryModel::Scorpion1024k, 59}, Case{MemoryModel::Scorpion256k, 11},
                        Case{MemoryModel::Spectrum128k, 3}, Case{MemoryModel::Pentagon1024k, 3}}) {
    SCOPED_TRACE(MemoryModelName(c.model));
    Memory mem;
    Mark(mem);
    mem.Model = c.model;
    mem.WritePort7FFD(0x03);
    mem.WritePort1FFD(0xD0);
    const bool scorpion = c.bank != 3;
    EXPECT_EQ(Ints(mem.TopBank(), BankAtTop(mem), mem.Port1FFD, mem.ReadByte(0)),
              Ints(c.bank, c.bank, scorpion ? 0xD0 : 0, kMark128k));
    mem.WritePort7FFD(0x05);  // the #1FFD bits persist
    EXPECT_EQ(mem.TopBank(), c.bank + 2);
    mem.WritePort1FFD(0x01);  // ignored on other models
    EXPECT_EQ(mem.RomWriteEnable, scorpion);
  }
}

TEST(MemoryTrDos, OnlyPage3DOfThe48kRomEntersTrDos) {
  const std::tuple<bool, uint8_t, uint16_t, bool> cases[] = {
      {true, 0x10, 0x3D00, true},   {true, 0x10, 0x3DFF, true},  {true, 0x10, 0x3CFF, false},
      {true, 0x10, 0x3E00, false},  {true, 0x10, 0x0000, false}, {true, 0x10, 0x7D00, false},
      {true, 0x10, 0xBD00, false},  {true, 0x00, 0x3D00, false},  // not from the 128K ROM
      {false, 0x30, 0x3D2F, false},                               // no interface fitted
  };
  for (const auto& [dosEnabled, port, pc, entered] : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << pc << " " << int{port});
    Memory mem;
    Mark(mem);
    mem.DosEnabled = dosEnabled;
    mem.WritePort7FFD(port);
    mem.UpdateDosRom(pc);
    EXPECT_EQ(Ints(mem.DosActive, mem.ReadByte(0)), Ints(entered, entered       ? kMarkDos
                                                                  : port & 0x10 ? kMark48k
                                                                                : kMark128k));
  }
}

TEST_F(MemoryTest, TrDosStaysUntilAFetchOutsideTheRom) {
  memory.DosEnabled = true;
  memory.WritePort7FFD(0x10);
  memory.UpdateDosRom(0x3D2F);
  memory.UpdateDosRom(0x0038);
  memory.UpdateDosRom(0x3FFF);
  EXPECT_EQ(memory.RomWindow(), memory.RomDOS());
  // Paging still works, stores the value and keeps the TR-DOS ROM, protected.
  memory.WritePort7FFD(0x03);
  memory.WriteByte(0x0000, 0x00);
  EXPECT_EQ(Ints(memory.DosActive, memory.Port7FFD, memory.TopBank(), memory.ReadByte(0)),
            Ints(1, 0x03, 3, kMarkDos));
  memory.UpdateDosRom(0x5D00);
  EXPECT_EQ(Ints(memory.DosActive, Rom()), Ints(0, kMark48k));  // leaving maps BASIC
  // On a Scorpion, #1FFD replaces the TR-DOS ROM but leaves TR-DOS active.
  memory.Model = MemoryModel::Scorpion256k;
  memory.WritePort7FFD(0x10);
  memory.UpdateDosRom(0x3D2F);
  memory.WritePort1FFD(0x00);
  EXPECT_EQ(Ints(memory.DosActive, Rom()), Ints(1, kMark48k));
}

TEST(MemoryPowerOn, FillsBanks520WithSeededRandomBytesAndZeroesTheRest) {
  Memory memory;
  for (int bank = 0; bank < Memory::kBankCount; ++bank) {
    std::memset(memory.Bank(bank), 0xEE, Memory::kBankSize);
  }
  memory.Rom48k()[0] = 0x01;
  memory.PowerOnFill(12345);
  EXPECT_EQ(Ints(memory.Rom48k()[0], memory.Rom128k()[0]), Ints(0x01, 0xFF));  // ROMs untouched

  // Banks 5, 2 and 0 form one run of 49152 uniform bytes: every value shows up, none
  // grossly often (mean 192); the other banks are cleared.
  std::array<int, 256> histogram{};
  for (size_t i = 0; i < 3 * Memory::kBankSize; ++i) ++histogram[memory.RamBase()[i]];
  EXPECT_EQ(Ints(memory.RamBase() == memory.Bank(5),
                 *std::min_element(histogram.begin(), histogram.end()) > 0,
                 *std::max_element(histogram.begin(), histogram.end()) < 400),
            Ints(1, 1, 1));
  for (int bank : {1, 3, 4, 6, 7, 8, 63}) {
    EXPECT_EQ(std::count(memory.Bank(bank), memory.Bank(bank) + Memory::kBankSize, 0),
              Memory::kBankSize)
        << bank;
  }
  EXPECT_NE(std::memcmp(memory.Bank(5), memory.Bank(2), Memory::kBankSize), 0);
}

TEST(PagingReport, DescribesThe7FFDBits) {
  const std::pair<uint8_t, const char*> cases[] = {
      {0x10, "Page RAM0 mapped\nScreen in RAM5 (#4000)\nBasic 48k ROM mapped"},
      {0x0B, "Page RAM3 mapped\nScreen in RAM7 (#C000)\nBasic 128k ROM mapped"},
      // Bits 6 and 7 are not reported.
      {0xFF, "Page RAM7 mapped\nScreen in RAM7 (#C000)\nBasic 48k ROM mapped\n48k Mode Locked"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(PagingReport(value), text) << int{value};
}

// The machine reset and the T-state meter.

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
  m.Ay.Select(7);
  m.Ay.WriteData(0x38, 0);
  // A Scorpion with RAM at 0x0000: the reset drops it for the ROM.
  m.Mem.Rom128k()[0] = 0x12;
  m.Mem.Model = MemoryModel::Scorpion1024k;
  m.Ports.PortWrite(0x1FFD, 0x01);
  m.Mem.PokeByte(0, 0x77);
  m.State.StartMode = 2;
  m.ResetMachine();
  EXPECT_EQ(Ints(r.PC, r.SP, r.AF.Get(), r.IFF1, r.IFF2, r.IM, r.ReadR()),
            Ints(0, 0xFFFF, 0xFFFF, 0, 0, 0, 0));
  // A program that relied on I = 0 after reset sees the old value.
  EXPECT_EQ(Ints(r.I, r.BC.Get(), r.AltHL, r.Tackts), Ints(0x3F, 0x1234, 0xBEEF, 1000));
  // The AY registers are cleared; the selection survives.
  EXPECT_EQ(Ints(m.Ay.Read(), m.Ay.Selected()), Ints(0, 7));
  EXPECT_EQ(Ints(m.Mem.PeekByte(0), m.Mem.RomWriteEnable, m.Mem.Port1FFD), Ints(0x12, 0, 0));
}

TEST(Machine, PowerOnFillDependsOnTheSeed) {
  Machine a(42), b(42), c(43);
  EXPECT_EQ(std::memcmp(a.Mem.Bank(2), b.Mem.Bank(2), 16384), 0);
  EXPECT_NE(std::memcmp(a.Mem.Bank(2), c.Mem.Bank(2), 16384), 0);
}

TEST(TacktsMeter, CountsFramesOfTheLengthInForceWhenItStarted) {
  struct Case {
    uint32_t length, startFrame, startTackts, endFrame, endTackts, expected;
  };
  const Case cases[] = {
      {71680, 10, 1000, 10, 1004, 4},
      {69888, 5, 69870, 6, 10, 28},      // the last instruction's overshoot wraps the difference
      {69888, 0, 0, 50, 0, 50 * 69888},  // one second, as the time display counts it
      {71680, 0, 0, 3, 100, 3 * 71680 + 100},
      {71680, 0xFFFFFFFF, 0, 1, 0, 2 * 71680},  // the frame counter wraps
      {71680, 7, 500, 7 + 57000, 500, 57000u * 71680u},
      {71680, 7, 71000, 7 + 57000, 71679, 57000u * 71680u + 679},  // the longest
      {71680, 7, 500, 7 + 57001, 500, 0xFFFFFFFF},                 // too long
      {69888, 0, 0, 1000000, 0, 0xFFFFFFFF},
      {1048576, 0, 0, 4095, 0, 4095u * 1048576u},
      {1048576, 0, 0, 4096, 0, 0xFFFFFFFF},  // beyond 32 bits long before 57000 frames
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.length << ": " << c.startFrame << ":" << c.startTackts
                                    << " to " << c.endFrame << ":" << c.endTackts);
    MachineState state;
    state.TacktsPerInt = c.length;
    state.FrameCount = c.startFrame;
    state.Regs.Tackts = c.startTackts;
    state.StartTacktsMeter();
    state.TacktsPerInt = kDefaultTacktsPerInt + 1000;  // changed after the run: not counted
    state.FrameCount = c.endFrame;
    state.Regs.Tackts = c.endTackts;
    state.UpdateTacktsMeter();
    EXPECT_EQ(state.TacktsMeter, c.expected);
  }
}

}  // namespace
}  // namespace vantrel
