#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "core/Memory.h"

namespace vantrel {
namespace {

// Every ROM image and every bank carries its own marks so a read tells where it came from.
constexpr uint8_t kMark48k = 0x48;
constexpr uint8_t kMark128k = 0x12;
constexpr uint8_t kMarkDos = 0xD0;

class MemoryTest : public testing::Test {
 protected:
  void SetUp() override {
    std::memset(memory.Rom48k(), kMark48k, Memory::kRomSize);
    std::memset(memory.Rom128k(), kMark128k, Memory::kRomSize);
    std::memset(memory.RomDOS(), kMarkDos, Memory::kRomSize);
    for (int bank = 0; bank < Memory::kBankCount; ++bank) {
      std::memset(memory.Bank(bank), 0x80 | bank, Memory::kBankSize);
    }
  }

  // The bank a read at 0xC000 comes from, by its mark.
  int BankAtTop() const { return memory.ReadByte(0xC000) & 0x7F; }

  Memory memory;
};

TEST_F(MemoryTest, BanksLieInOneBlockInTheOrder520ThenTheRest) {
  const std::array<int, 9> order = {5, 2, 0, 1, 3, 4, 6, 7, 8};
  for (size_t slot = 0; slot < order.size(); ++slot) {
    EXPECT_EQ(memory.Bank(order[slot]), memory.RamBase() + slot * Memory::kBankSize)
        << "bank " << order[slot];
  }
  for (int bank = 8; bank < Memory::kBankCount; ++bank) {
    EXPECT_EQ(memory.Bank(bank), memory.RamBase() + bank * Memory::kBankSize) << "bank " << bank;
  }
}

TEST_F(MemoryTest, PowerOnWindowsShow128kRomBanks52AndBank0) {
  EXPECT_EQ(memory.ReadByte(0x0000), kMark128k);
  EXPECT_EQ(memory.ReadByte(0x3FFF), kMark128k);
  EXPECT_EQ(memory.ReadByte(0x4000), 0x80 | 5);
  EXPECT_EQ(memory.ReadByte(0x7FFF), 0x80 | 5);
  EXPECT_EQ(memory.ReadByte(0x8000), 0x80 | 2);
  EXPECT_EQ(memory.ReadByte(0xBFFF), 0x80 | 2);
  EXPECT_EQ(memory.ReadByte(0xC000), 0x80 | 0);
  EXPECT_EQ(memory.RomWindow(), memory.Rom128k());
  EXPECT_EQ(memory.MidWindow(), memory.Bank(5));
  EXPECT_EQ(memory.TopWindow(), memory.Bank(0));
  EXPECT_EQ(memory.TopBank(), 0);
  EXPECT_EQ(memory.ScreenBank, 5);
}

TEST(MemoryUnfilled, RomsNobodyLoadedReadAsFF) {
  Memory memory;
  for (const uint8_t* rom : {memory.Rom48k(), memory.Rom128k(), memory.RomDOS()}) {
    EXPECT_TRUE(std::all_of(rom, rom + Memory::kRomSize, [](uint8_t b) { return b == 0xFF; }));
  }
  EXPECT_EQ(memory.ReadByte(0x0000), 0xFF);
  EXPECT_EQ(memory.ReadByte(0x3FFF), 0xFF);
}

TEST_F(MemoryTest, WritesToRomAreDroppedAndReadBackAsTheRomByte) {
  memory.Rom128k()[0x1234] = 0x5C;
  for (uint16_t address : {0x0000, 0x1234, 0x3FFF}) {
    memory.WriteByte(address, 0x3A);
    memory.PokeByte(address, 0x3B);
  }
  memory.WriteWord(0x2000, 0xBEEF);
  EXPECT_EQ(memory.ReadByte(0x0000), kMark128k);
  EXPECT_EQ(memory.ReadByte(0x1234), 0x5C);
  EXPECT_EQ(memory.ReadByte(0x3FFF), kMark128k);
  EXPECT_EQ(memory.ReadWord(0x2000), kMark128k * 0x101);
  EXPECT_FALSE(memory.RomWriteEnable);
  // Nothing leaked into a RAM bank either.
  for (int bank = 0; bank < Memory::kBankCount; ++bank) {
    const uint8_t* b = memory.Bank(bank);
    const uint8_t mark = static_cast<uint8_t>(0x80 | bank);
    EXPECT_TRUE(std::all_of(b, b + Memory::kBankSize, [mark](uint8_t v) { return v == mark; }))
        << "bank " << bank;
  }
}

TEST_F(MemoryTest, WordAccessAtFFFFWrapsToAddressZero) {
  memory.WriteWord(0xFFFF, 0x1234);
  EXPECT_EQ(memory.ReadByte(0xFFFF), 0x34);
  EXPECT_EQ(memory.ReadByte(0x0000), kMark128k);  // ROM: the high byte is dropped
  EXPECT_EQ(memory.ReadWord(0xFFFF), 0x34 | (kMark128k << 8));
  EXPECT_EQ(memory.PeekWord(0xFFFF), memory.ReadWord(0xFFFF));

  // With writable RAM at 0x0000 the high byte lands there.
  memory.Model = MemoryModel::Scorpion256k;
  memory.WritePort1FFD(0x01);
  memory.PokeWord(0xFFFF, 0xA55A);
  EXPECT_EQ(memory.ReadByte(0xFFFF), 0x5A);
  EXPECT_EQ(memory.ReadByte(0x0000), 0xA5);
  EXPECT_EQ(memory.Bank(0)[0], 0xA5);
  EXPECT_EQ(memory.ReadWord(0xFFFF), 0xA55A);
}

TEST_F(MemoryTest, BankMappedTwiceIsOneStorage) {
  memory.WritePort7FFD(0x05);
  memory.WriteByte(0xC123, 0x11);
  EXPECT_EQ(memory.ReadByte(0x4123), 0x11);
  memory.WriteByte(0x4000, 0x22);
  EXPECT_EQ(memory.ReadByte(0xC000), 0x22);

  memory.WritePort7FFD(0x02);
  memory.WriteByte(0xFFFF, 0x33);
  EXPECT_EQ(memory.ReadByte(0xBFFF), 0x33);
}

TEST_F(MemoryTest, HostPointerWritesThroughRomProtection) {
  EXPECT_EQ(memory.HostPointer(0xC000), memory.Bank(0));
  EXPECT_EQ(memory.HostPointer(0x4001), memory.Bank(5) + 1);
  EXPECT_EQ(memory.HostPointer(0x8000), memory.Bank(2));

  *memory.HostPointer(0x0010) = 0x77;
  EXPECT_EQ(memory.ReadByte(0x0010), 0x77);
  EXPECT_EQ(memory.Rom128k()[0x0010], 0x77);

  memory.WritePort7FFD(0x10);
  *memory.HostPointer(0x3FFF) = 0x78;
  EXPECT_EQ(memory.Rom48k()[0x3FFF], 0x78);
}

struct PagingCase {
  MemoryModel model;
  uint8_t value;
  int bank;
};

class MemoryPagingTest : public MemoryTest, public testing::WithParamInterface<PagingCase> {};

TEST_P(MemoryPagingTest, Port7FFDSelectsTopBank) {
  const PagingCase& c = GetParam();
  memory.Model = c.model;
  memory.WritePort7FFD(c.value);
  EXPECT_EQ(memory.TopBank(), c.bank);
  EXPECT_EQ(BankAtTop(), c.bank);
  EXPECT_EQ(memory.TopWindow(), memory.Bank(c.bank));
  EXPECT_EQ(memory.Port7FFD, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    AllModels, MemoryPagingTest,
    testing::Values(PagingCase{MemoryModel::Spectrum128k, 0x07, 7},
                    PagingCase{MemoryModel::Spectrum128k, 0xC3, 3},  // bits 6, 7 unused
                    PagingCase{MemoryModel::Pentagon256k, 0x47, 15},
                    PagingCase{MemoryModel::Pentagon256k, 0xC7, 15},  // bit 7 unused
                    PagingCase{MemoryModel::Pentagon512k, 0x81, 17},
                    PagingCase{MemoryModel::Pentagon512k, 0xC7, 31},
                    PagingCase{MemoryModel::Pentagon1024k, 0xE7, 63},
                    PagingCase{MemoryModel::Scorpion256k, 0xC5, 5},  // extra bits come from #1FFD
                    PagingCase{MemoryModel::Scorpion1024k, 0xC6, 6}));

TEST_F(MemoryTest, Bit5LocksPagingOnEveryModelButPentagon1024k) {
  for (MemoryModel model : {MemoryModel::Pentagon512k, MemoryModel::Scorpion1024k}) {
    SCOPED_TRACE(MemoryModelName(model));
    Memory fresh;
    fresh.Model = model;
    fresh.WritePort7FFD(0x30);  // bank 0, 48K ROM, locked
    fresh.WritePort7FFD(0x0F);  // would map bank 7, 128K ROM and the other screen
    EXPECT_EQ(fresh.Port7FFD, 0x30);
    EXPECT_EQ(fresh.TopBank(), 0);
    EXPECT_EQ(fresh.RomWindow(), fresh.Rom48k());
    EXPECT_EQ(fresh.ScreenBank, 5);
  }
}

TEST_F(MemoryTest, Pentagon1024kUsesBit5AsBankBitNotLock) {
  memory.Model = MemoryModel::Pentagon1024k;
  memory.WritePort7FFD(0x23);
  EXPECT_EQ(memory.TopBank(), 11);
  memory.WritePort7FFD(0x01);
  EXPECT_EQ(memory.TopBank(), 1);
  EXPECT_EQ(memory.Port7FFD, 0x01);
}

TEST_F(MemoryTest, ClearingPort7FFDUnlocks) {
  // What ResetMachine and snapshot loaders do before writing the port.
  memory.WritePort7FFD(0x30);
  memory.Port7FFD = 0;
  memory.WritePort7FFD(0x07);
  EXPECT_EQ(memory.TopBank(), 7);
}

TEST_F(MemoryTest, ModelChangeTakesEffectAtTheNextPortWrite) {
  memory.Model = MemoryModel::Pentagon256k;
  memory.WritePort7FFD(0x41);
  EXPECT_EQ(memory.TopBank(), 9);
  memory.Model = MemoryModel::Spectrum128k;
  EXPECT_EQ(memory.TopBank(), 9);  // nothing is remapped by the setting itself
  memory.WritePort7FFD(0x02);
  EXPECT_EQ(memory.ExtraPageBits, 8);  // only a model that sets it changes it
  EXPECT_EQ(memory.TopBank(), 10);
}

TEST_F(MemoryTest, Bit4SelectsRomAndBit3TheScreen) {
  struct Case {
    uint8_t value;
    uint8_t romMark;
    int screen;
  };
  for (const Case& c : {Case{0x00, kMark128k, 5}, Case{0x10, kMark48k, 5}, Case{0x08, kMark128k, 7},
                        Case{0x1F, kMark48k, 7}}) {
    SCOPED_TRACE(static_cast<int>(c.value));
    memory.WritePort7FFD(c.value);
    EXPECT_EQ(memory.ReadByte(0x0100), c.romMark);
    EXPECT_EQ(memory.ScreenBank, c.screen);
  }
}

TEST_F(MemoryTest, Scorpion1024kTakesExtraBankBitsFrom1FFD) {
  memory.Model = MemoryModel::Scorpion1024k;
  memory.WritePort7FFD(0x03);
  memory.WritePort1FFD(0xD0);
  EXPECT_EQ(memory.TopBank(), 59);  // 3 + 8 + 16 + 32
  EXPECT_EQ(BankAtTop(), 59);
  EXPECT_EQ(memory.Port1FFD, 0xD0);
  EXPECT_EQ(memory.ReadByte(0x0000), kMark128k);  // bit 0 clear: ROM stays
  memory.WritePort7FFD(0x05);                     // the #1FFD bits persist
  EXPECT_EQ(memory.TopBank(), 61);
}

TEST_F(MemoryTest, Scorpion256kUsesOnlyBit4Of1FFD) {
  memory.Model = MemoryModel::Scorpion256k;
  memory.WritePort7FFD(0x03);
  memory.WritePort1FFD(0xD0);
  EXPECT_EQ(memory.TopBank(), 11);
}

TEST_F(MemoryTest, ScorpionRamAt0000IsWritableAndSurvives7FFDWrites) {
  memory.Model = MemoryModel::Scorpion256k;
  memory.WritePort1FFD(0x01);
  EXPECT_TRUE(memory.RomWriteEnable);
  EXPECT_EQ(memory.RomWindow(), memory.Bank(0));
  memory.WriteByte(0x0100, 0x5A);
  EXPECT_EQ(memory.Bank(0)[0x100], 0x5A);

  memory.WritePort7FFD(0x10);
  EXPECT_TRUE(memory.RomWriteEnable);
  EXPECT_EQ(memory.ReadByte(0x0100), 0x5A);
  memory.WriteByte(0x0101, 0x5B);
  EXPECT_EQ(memory.Bank(0)[0x101], 0x5B);

  // Bank 0 also at 0xC000: the same storage through both windows.
  memory.WritePort7FFD(0x10);
  memory.WriteByte(0xC200, 0x6C);
  EXPECT_EQ(memory.ReadByte(0x0200), 0x6C);

  // Bit 0 cleared: the ROM selected by #7FFD bit 4 returns, protected again.
  memory.WritePort1FFD(0x00);
  EXPECT_FALSE(memory.RomWriteEnable);
  EXPECT_EQ(memory.ReadByte(0x0100), kMark48k);
  memory.WriteByte(0x0100, 0x00);
  EXPECT_EQ(memory.ReadByte(0x0100), kMark48k);
  EXPECT_EQ(memory.Bank(0)[0x100], 0x5A);
}

TEST_F(MemoryTest, Scorpion1FFDWithBit0ClearMaps128kRomWhen7FFDBit4Clear) {
  memory.Model = MemoryModel::Scorpion1024k;
  memory.WritePort1FFD(0x01);
  memory.WritePort7FFD(0x00);
  memory.WritePort1FFD(0x00);
  EXPECT_EQ(memory.ReadByte(0x0000), kMark128k);
}

TEST_F(MemoryTest, Port1FFDIsIgnoredOnNonScorpionModels) {
  for (MemoryModel model : {MemoryModel::Spectrum128k, MemoryModel::Pentagon1024k}) {
    SCOPED_TRACE(MemoryModelName(model));
    Memory fresh;
    fresh.Model = model;
    fresh.WritePort7FFD(0x02);
    const uint8_t extra = fresh.ExtraPageBits;
    fresh.WritePort1FFD(0xD1);
    EXPECT_EQ(fresh.Port1FFD, 0);
    EXPECT_EQ(fresh.ExtraPageBits, extra);
    EXPECT_EQ(fresh.TopBank(), 2);
    EXPECT_EQ(fresh.RomWindow(), fresh.Rom128k());
    EXPECT_FALSE(fresh.RomWriteEnable);
  }
}

TEST_F(MemoryTest, Port1FFDReplacesTrDosRomButLeavesDosActive) {
  memory.Model = MemoryModel::Scorpion256k;
  memory.DosEnabled = true;
  memory.WritePort7FFD(0x10);
  memory.UpdateDosRom(0x3D2F);
  ASSERT_TRUE(memory.DosActive);
  memory.WritePort1FFD(0x00);
  EXPECT_EQ(memory.ReadByte(0x0000), kMark48k);
  EXPECT_TRUE(memory.DosActive);
}

TEST_F(MemoryTest, TrDosRomFollowsTheInstructionAddress) {
  memory.DosEnabled = true;
  memory.WritePort7FFD(0x30);
  memory.UpdateDosRom(0x3D2F);
  EXPECT_TRUE(memory.DosActive);
  EXPECT_EQ(memory.ReadByte(0x0000), kMarkDos);
  EXPECT_EQ(memory.RomWindow(), memory.RomDOS());

  // Inside the ROM area TR-DOS stays; the first fetch from RAM leaves it.
  memory.UpdateDosRom(0x0038);
  memory.UpdateDosRom(0x3FFF);
  EXPECT_TRUE(memory.DosActive);
  memory.UpdateDosRom(0x5D00);
  EXPECT_FALSE(memory.DosActive);
  EXPECT_EQ(memory.ReadByte(0x0000), kMark48k);
}

TEST_F(MemoryTest, OnlyPage3DEntersTrDos) {
  memory.DosEnabled = true;
  memory.WritePort7FFD(0x10);
  for (uint16_t pc : {0x3CFF, 0x3E00, 0x0000, 0x7D00, 0xBD00}) {
    memory.UpdateDosRom(pc);
    EXPECT_FALSE(memory.DosActive) << std::hex << pc;
  }
  for (uint16_t pc : {0x3D00, 0x3DFF}) {
    memory.LeaveDos();
    memory.UpdateDosRom(pc);
    EXPECT_TRUE(memory.DosActive) << std::hex << pc;
  }
}

TEST_F(MemoryTest, TrDosIsNotEnteredFromThe128kRom) {
  memory.DosEnabled = true;
  memory.WritePort7FFD(0x00);
  memory.UpdateDosRom(0x3D00);
  EXPECT_FALSE(memory.DosActive);
  EXPECT_EQ(memory.ReadByte(0x0000), kMark128k);
}

TEST_F(MemoryTest, TrDosSwitchingNeedsTheInterface) {
  memory.DosEnabled = false;
  memory.WritePort7FFD(0x30);
  memory.UpdateDosRom(0x3D2F);
  EXPECT_FALSE(memory.DosActive);
  EXPECT_EQ(memory.ReadByte(0x0000), kMark48k);
}

TEST_F(MemoryTest, Port7FFDWhileInTrDosOnlyStoresBit4AndExitMaps48kRom) {
  memory.DosEnabled = true;
  memory.WritePort7FFD(0x10);
  memory.UpdateDosRom(0x3D13);
  memory.WritePort7FFD(0x03);
  EXPECT_EQ(memory.Port7FFD, 0x03);
  EXPECT_EQ(memory.ReadByte(0x0000), kMarkDos);
  EXPECT_EQ(memory.TopBank(), 3);  // banking still works
  memory.WriteByte(0x0000, 0x00);  // and the ROM stays protected
  EXPECT_EQ(memory.ReadByte(0x0000), kMarkDos);

  memory.UpdateDosRom(0x8000);
  EXPECT_FALSE(memory.DosActive);
  EXPECT_EQ(memory.ReadByte(0x0000), kMark48k);
}

TEST_F(MemoryTest, EnterAndLeaveDosDirectly) {
  memory.WritePort7FFD(0x00);
  memory.EnterDos();
  EXPECT_TRUE(memory.DosActive);
  EXPECT_EQ(memory.ReadByte(0x0000), kMarkDos);
  memory.LeaveDos();
  EXPECT_FALSE(memory.DosActive);
  EXPECT_EQ(memory.ReadByte(0x0000), kMark48k);
}

TEST(MemoryPowerOn, FillsBanks520WithSeededRandomBytesAndZeroesTheRest) {
  Memory memory;
  for (int bank = 0; bank < Memory::kBankCount; ++bank) {
    std::memset(memory.Bank(bank), 0xEE, Memory::kBankSize);
  }
  memory.PowerOnFill(12345);

  const uint8_t* run = memory.RamBase();
  const size_t runSize = 3 * Memory::kBankSize;
  std::array<int, 256> histogram{};
  for (size_t i = 0; i < runSize; ++i) ++histogram[run[i]];
  // 49152 uniform bytes: every value shows up, none grossly often (mean 192).
  EXPECT_GT(*std::min_element(histogram.begin(), histogram.end()), 0);
  EXPECT_LT(*std::max_element(histogram.begin(), histogram.end()), 400);
  EXPECT_NE(std::memcmp(memory.Bank(5), memory.Bank(2), Memory::kBankSize), 0);
  EXPECT_NE(std::memcmp(memory.Bank(2), memory.Bank(0), Memory::kBankSize), 0);

  for (int bank = 0; bank < Memory::kBankCount; ++bank) {
    if (bank == 5 || bank == 2 || bank == 0) continue;
    const uint8_t* b = memory.Bank(bank);
    EXPECT_TRUE(std::all_of(b, b + Memory::kBankSize, [](uint8_t v) { return v == 0; }))
        << "bank " << bank;
  }

  Memory same;
  same.PowerOnFill(12345);
  EXPECT_EQ(std::memcmp(same.RamBase(), run, runSize), 0);
  Memory other;
  other.PowerOnFill(54321);
  EXPECT_NE(std::memcmp(other.RamBase(), run, runSize), 0);
}

TEST(MemoryPowerOn, LeavesRomsAlone) {
  Memory memory;
  memory.Rom48k()[0] = 0x01;
  memory.PowerOnFill(1);
  EXPECT_EQ(memory.Rom48k()[0], 0x01);
  EXPECT_EQ(memory.Rom128k()[0], 0xFF);
}

TEST(PagingReport, DescribesThe7FFDBits) {
  struct Case {
    uint8_t value;
    const char* text;
  };
  const std::vector<Case> cases = {
      {0x10, "Page RAM0 mapped\nScreen in RAM5 (#4000)\nBasic 48k ROM mapped"},
      {0x0B, "Page RAM3 mapped\nScreen in RAM7 (#C000)\nBasic 128k ROM mapped"},
      // Bits 6 and 7 are not reported.
      {0xFF, "Page RAM7 mapped\nScreen in RAM7 (#C000)\nBasic 48k ROM mapped\n48k Mode Locked"},
  };
  for (const Case& c : cases) EXPECT_EQ(PagingReport(c.value), c.text) << int{c.value};
}

}  // namespace
}  // namespace vantrel
