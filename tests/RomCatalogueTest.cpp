#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "TestData.h"
#include "app/RomCatalogue.h"

namespace vantrel {
namespace {

std::vector<uint8_t> ReadAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint16_t PageChecksum(const std::vector<uint8_t>& bytes, size_t page) {
  return RomChecksum(std::span(bytes).subspan(page * kRomPageSize, kRomPageSize));
}

TEST(RomChecksumTest, MatchesTheCheckValueOfThisCrcVariant) {
  // CRC-16/CCITT over "123456789" started from 0xCDB4 (the state after three A1h bytes).
  const std::string_view check = "123456789";
  EXPECT_EQ(RomChecksum({reinterpret_cast<const uint8_t*>(check.data()), check.size()}), 0x3BAB);
  EXPECT_EQ(RomChecksum({}), 0xCDB4);
}

TEST(RomChecksumTest, FormatsAsHashAndFourUpperCaseDigits) {
  EXPECT_EQ(FormatChecksum(0), "#0000");
  EXPECT_EQ(FormatChecksum(0x0A3F), "#0A3F");
  EXPECT_EQ(FormatChecksum(0xFFFF), "#FFFF");
}

// Every numbered page line of ROM-CHECKSUMS.txt ("file size page crc16 ...") is recomputed.
TEST(RomChecksumTest, TestRomsMatchTheirListedChecksums) {
  VANTREL_REQUIRE_TESTDATA(list, "roms/ROM-CHECKSUMS.txt");
  std::ifstream in(list);
  std::string line;
  int checked = 0;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string name, size, page, crc;
    if (!(fields >> name >> size >> page >> crc)) continue;
    if (name.find(".rom") == std::string::npos) continue;
    if (page.find_first_not_of("0123456789") != std::string::npos) continue;  // "whole"
    const std::vector<uint8_t> bytes = ReadAll(list.parent_path() / name);
    ASSERT_EQ(bytes.size(), std::stoul(size)) << name;
    EXPECT_EQ(FormatChecksum(PageChecksum(bytes, std::stoul(page))), "#" + crc)
        << name << " page " << page;
    ++checked;
  }
  EXPECT_GE(checked, 10);
}

TEST(RomCatalogueTest, RowsRunBasic48ThenBasic128ThenCpmBiosThenTrDos) {
  std::vector<int> runs;
  for (const RomCatalogueRow& row : RomCatalogue()) {
    if (runs.empty() || runs.back() != row.kind) runs.push_back(row.kind);
  }
  EXPECT_EQ(runs, (std::vector<int>{0, 1, 3, 2}));
  int cpmRows = 0;
  for (const RomCatalogueRow& row : RomCatalogue()) cpmRows += row.kind == kRomKindAtmCpmBios;
  EXPECT_EQ(cpmRows, 1);
}

TEST(RomCatalogueTest, LookupGivesTheFirstRowWithTheChecksum) {
  const auto rows = RomCatalogue();
  std::vector<int> duplicates;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].checksum == 0x6741) duplicates.push_back(static_cast<int>(i));
  }
  ASSERT_EQ(duplicates.size(), 2u) << "TR-DOS 5.05D is listed twice";
  EXPECT_EQ(IdentifyRom(0x6741).row, duplicates[0]);

  for (size_t i = 0; i < rows.size(); ++i) {
    const RomIdentity identity = IdentifyRom(rows[i].checksum);
    ASSERT_TRUE(identity.Known());
    EXPECT_LE(identity.row, static_cast<int>(i));
    EXPECT_EQ(rows[identity.row].checksum, rows[i].checksum);
    EXPECT_EQ(identity.description, rows[identity.row].description);
    EXPECT_EQ(identity.kind, rows[identity.row].kind);
  }
}

TEST(RomCatalogueTest, AbsentChecksumIsUnknownRomOfNoKind) {
  // The Gluk service ROM of the test data has no catalogue row: it fits none of the kinds.
  const RomIdentity identity = IdentifyRom(0xECDF);
  EXPECT_FALSE(identity.Known());
  EXPECT_EQ(identity.row, -1);
  EXPECT_EQ(identity.description, "Unknown ROM");
  EXPECT_EQ(identity.kind, kRomKindUnknown);
}

TEST(RomCatalogueTest, IdentifiesTheTestRoms) {
  struct Case {
    const char* file;
    size_t page;
    std::string_view description;
    int kind;
  };
  const Case cases[] = {
      {"48.rom", 0, "Original SOS (48k, 1982)", kRomKind48kBasic},
      {"128-0.rom", 0, "Original 128k (128k, 1986)", kRomKind128kBasic},
      {"128-1.rom", 0, "Original SOS (128k, 1986)", kRomKind48kBasic},
      {"pentagon128.rom", 0, "Pentagon 128k", kRomKind128kBasic},
      {"trdos503.rom", 0, "TR-DOS 5.03 (x128)", kRomKindTrDos},
      {"trdos504t.rom", 0, "TR-DOS 5.04T", kRomKindTrDos},
      {"opense.rom", 0, "OpenSE BASIC", kRomKind48kBasic},
      {"opense-stub.rom", 0, "OpenSE BASIC stub", kRomKind128kBasic},
  };
  VANTREL_REQUIRE_TESTDATA(dir, "roms");
  for (const Case& c : cases) {
    const std::vector<uint8_t> bytes = ReadAll(dir / c.file);
    ASSERT_GE(bytes.size(), (c.page + 1) * kRomPageSize) << c.file;
    const RomIdentity identity = IdentifyRom(PageChecksum(bytes, c.page));
    EXPECT_EQ(identity.description, c.description) << c.file;
    EXPECT_EQ(identity.kind, c.kind) << c.file;
  }
}

}  // namespace
}  // namespace vantrel
