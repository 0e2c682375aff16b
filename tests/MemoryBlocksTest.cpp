// The memory panel's search and copy, and memory block files, without a window.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "MachineFixture.h"
#include "TempDir.h"
#include "debugger/MemoryBlocks.h"

namespace vantrel {
namespace {

std::vector<uint8_t> FileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(MemoryBlocks, PatternsParseOrSayWhy) {
  const Z80Registers regs{};
  const struct {
    std::string Text;
    std::vector<uint8_t> Bytes;  // empty: refused
  } cases[] = {
      {"\"AB\" 258", {0x41, 0x42, 0x02, 0x01}},
      {"\"a\"\"b\"", {'a', '"', 'b'}},
      {"#12345678 0", {0x78, 0x56, 0x34, 0x12, 0x00}},
      {"\"AB", {}},
      {"   ", {}},
      {"#XY", {}},
      {"\"" + std::string(101, 'x') + "\"", {}},
  };
  for (const auto& c : cases) {
    std::string error;
    const auto bytes = ParseSearchPattern(c.Text, regs, &error);
    EXPECT_EQ(bytes.value_or(std::vector<uint8_t>{}), c.Bytes) << c.Text;
    EXPECT_EQ(error.empty(), bytes.has_value()) << c.Text;
  }
}

TEST(MemoryBlocks, SearchBothWaysAndAcrossTheEnd) {
  Machine m{1};
  test::MakeFlatRam(m);
  for (uint32_t a = 0; a < 0x10000; ++a) m.Mem.PokeByte(static_cast<uint16_t>(a), 0);
  const std::vector<uint8_t> pattern = {0xAA, 0xBB};
  for (uint16_t at : {0x0100, 0x8000, 0xFFFF}) {
    m.Mem.PokeByte(at, 0xAA);
    m.Mem.PokeByte(static_cast<uint16_t>(at + 1), 0xBB);
  }
  const struct {
    std::optional<uint16_t> From;
    bool Forward;
    std::vector<int> Matches;  // successive FindNext results, -1 for none
  } cases[] = {
      {std::nullopt, true, {0x0100, 0x8000, -1}},  // the stop address is never compared
      {std::nullopt, false, {0xFFFF, 0x8000, 0x0100, -1}},
      {0x0100, true, {0x0100, 0x8000, -1}},
      {0x8000, false, {0x8000, 0x0100, -1}},
      {0x8001, true, {-1}},
  };
  for (const auto& c : cases) {
    MemorySearch search;
    search.Start(c.From, c.Forward);
    std::vector<int> found;
    for (size_t i = 0; i < c.Matches.size(); ++i) {
      const auto match = search.FindNext(DumpMemory(m.Mem), pattern);
      found.push_back(match ? *match : -1);
    }
    EXPECT_EQ(found, c.Matches) << (c.From ? *c.From : -1) << " " << c.Forward;
  }
  EXPECT_EQ(BlockText(DumpMemory(m.Mem), 0xFFFF, 0x0001), "AA BB 00");
}

TEST(MemoryBlocks, FilesLoadAcrossTheEndAndSaveByTheLengthRule) {
  Machine m{1};
  test::MakeFlatRam(m);
  const test::TempDir dir;
  const auto file = dir.path() / "block.bin";
  std::ofstream(file, std::ios::binary) << "0123456789";
  EXPECT_EQ(ProbeBlockFile(file).Size, 10u);
  EXPECT_TRUE(ProbeBlockFile(dir.path() / "none.bin").Missing);
  EXPECT_FALSE(ProbeBlockFile("").Missing);
  ASSERT_TRUE(LoadMemoryBlock(m.Mem, file, {2, 4, 0xFFFE, true}));
  EXPECT_EQ(BlockText(DumpMemory(m.Mem), 0xFFFE, 0x0001), "32 33 34 35");
  // A range past the file's end changes nothing.
  m.Mem.PokeByte(0x4000, 0x77);
  EXPECT_FALSE(LoadMemoryBlock(m.Mem, file, {8, 4, 0x4000, true}));
  EXPECT_EQ(m.Mem.PeekByte(0x4000), 0x77);

  ASSERT_TRUE(SaveMemoryBlock(m.Mem, file, {0xFFFF, 2, BlockSave::AtOffset, 1}));
  EXPECT_EQ(FileBytes(file),
            std::vector<uint8_t>({'0', 0x33, 0x34, '3', '4', '5', '6', '7', '8', '9'}));
  ASSERT_TRUE(SaveMemoryBlock(m.Mem, file, {0x0000, 1, BlockSave::Append, 0}));
  EXPECT_EQ(FileBytes(file).size(), 11u);
  ASSERT_TRUE(SaveMemoryBlock(m.Mem, file, {0xFFFE, 3, BlockSave::NewFile, 0}));
  EXPECT_EQ(FileBytes(file), std::vector<uint8_t>({0x32, 0x33, 0x34}));
  // A file that cannot be made is reported.
  EXPECT_FALSE(
      SaveMemoryBlock(m.Mem, dir.path() / "no" / "such.bin", {0, 3, BlockSave::NewFile, 0}));

  const struct {
    SaveBlockFields In;
    bool LengthTyped;
    const char* Message;
    int64_t Length, End;
  } rules[] = {
      {{0x8000, 1, 0x80FF}, false, "", 0x100, 0x80FF},
      {{0x8000, 0x10, 0x80FF}, true, "", 0x10, 0x800F},  // a typed Length moves End
      {{0xFFF0, 0x20, 0}, true, "Block size is too big to fit in memory!", 0x20, 0x000F},
      {{0xFFF0, 0x20, 0, true}, true, "", 0x20, 0x000F},
      {{0x8000, 1, 0x7FFF}, false, "End mark of block must be placed after start!", 1, 0x7FFF},
      {{0x8000, 1, 0x7FFF, true}, false, "", 0x10000, 0x7FFF},
      {{0x10000, 1, 0}, false, "Start position must be in range 0-65535!", 1, 0},
      {{0, 0x10001, 0}, true, "Length of block must be in range 1-65536!", 0x10001, 0},
      {{0, 1, 0, false, false, false, -1}, false, "Offset must be positive value!", 1, 0},
  };
  for (const auto& rule : rules) {
    SaveBlockFields f = rule.In;
    EXPECT_EQ(ValidateSaveBlock(f, rule.LengthTyped), rule.Message) << rule.In.Start;
    EXPECT_EQ(test::Ints(f.Length, f.End), test::Ints(rule.Length, rule.End)) << rule.In.Start;
  }
}

TEST(MemoryBlocks, LoadRulesFollowTheFile) {
  using F = LoadBlockFields;
  const struct {
    F In;
    std::optional<uint64_t> Size;
    bool LengthTyped;
    const char* Message;
    int64_t To, Length;
  } rules[] = {
      {{true, {}, {}, {}, 0x8000}, 100, false, "", 99, 100},
      {{true, {}, {}, {}, 0xFFF0}, 100, false, "Block size is too big to fit in memory!", 99, 100},
      {{true, {}, {}, {}, 0xFFF0, true}, 100, false, "", 99, 100},
      {{true, {}, {}, {}, 0}, 70000, false, "Block length must be in range 1-65536!", 69999, 70000},
      {{false, 10, 19, 5, 0}, 100, false, "", 19, 10},  // Length follows From and To
      {{false, 10, 19, 5, 0}, 100, true, "", 14, 5},    // a typed Length moves To
      {{false, 10, 100, 5, 0}, 100, false, "To position must be in file size range!", 100, 5},
      {{false, 20, 10, 5, 0}, 100, false, "From position must be not above To position!", 10, 5},
      {{false, 0, 0, 1, {}}, 100, false, "You must input Memory Block Start!", 0, 1},
      {{}, std::nullopt, false, "You must select binary file for loading!", -1, -1},
  };
  for (const auto& rule : rules) {
    F f = rule.In;
    EXPECT_EQ(ValidateLoadBlock(f, rule.Size, rule.LengthTyped), rule.Message);
    EXPECT_EQ(test::Ints(f.To.value_or(-1), f.Length.value_or(-1)),
              test::Ints(rule.To, rule.Length))
        << rule.Message;
  }
}

}  // namespace
}  // namespace vantrel
