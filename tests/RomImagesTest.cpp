#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TempDir.h"
#include "TestData.h"
#include "app/RomCatalogue.h"
#include "app/RomImages.h"
#include "app/RomNavigator.h"
#include "core/Memory.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
using Choices = std::array<std::optional<std::string>, 3>;

// Pages whose bytes tell which file and page they came from.
Bytes Pages(size_t pages, uint8_t mark, size_t extra = 0) {
  Bytes bytes(pages * kRomPageSize + extra);
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(mark + i / kRomPageSize * 16 + (i & 7));
  }
  return bytes;
}

Bytes PageOf(const Bytes& bytes, size_t page) {
  return {bytes.begin() + page * kRomPageSize, bytes.begin() + (page + 1) * kRomPageSize};
}

Bytes Contents(const uint8_t* rom) {
  return {rom, rom + kRomPageSize};
}

// A resolver that looks only where the test says (the current directory aside).
FileResolver ResolverIn(const fs::path& start, const fs::path& program = {},
                        std::vector<fs::path> data = {}) {
  return {start, program, std::move(data)};
}

// A ROM buffer that shows whether a load touched it.
struct Buffer {
  std::array<uint8_t, kRomPageSize> bytes;
  Buffer() { bytes.fill(0xAA); }
  RomBuffer span() { return RomBuffer(bytes); }
  bool Untouched() const { return Vector() == Bytes(kRomPageSize, 0xAA); }
  Bytes Vector() const { return {bytes.begin(), bytes.end()}; }
};

TEST(RomReferenceTest, SplitsAtTheLastColonExceptADriveLetter) {
  struct Case {
    const char* text;
    const char* path;
    uint32_t page;
    bool tooLarge;
  };
  const Case cases[] = {
      {"C:\\roms\\a.rom:2", "C:\\roms\\a.rom", 2, false},
      {"C:", "C:", 0, false},
      {"a.rom:x", "a.rom", 0, false},
      {"a.rom:+1", "a.rom", 0, false},
      {"dir:x/a.rom:3", "dir:x/a.rom", 3, false},
      {"a.rom:4294967295", "a.rom", 4294967295u, false},
      {"a.rom:4294967296", "a.rom", 0, true},
  };
  for (const Case& c : cases) {
    const RomReference reference = ParseRomReference(c.text);
    EXPECT_EQ(reference.path, c.path) << c.text;
    EXPECT_EQ(reference.page, c.page) << c.text;
    EXPECT_EQ(reference.PageTooLarge, c.tooLarge) << c.text;
  }
  EXPECT_EQ(ParseRomReference("a.rom:4294967295").Offset(), 4294967295ull * 16384);
}

TEST(FileResolverTest, DataDirectoriesFollowTheXdgRules) {
  using Paths = std::vector<fs::path>;
  EXPECT_EQ(RomDataDirectories({"/home/u", "", ""}),
            (Paths{"/home/u/.local/share/vantrel/roms", "/usr/local/share/vantrel/roms",
                   "/usr/share/vantrel/roms", "/usr/share/spectrum-roms"}));
  // Relative entries are invalid and ignored; a relative data home falls back to $HOME.
  EXPECT_EQ(RomDataDirectories({"/home/u", "rel", "/a:rel::/b/"}),
            (Paths{"/home/u/.local/share/vantrel/roms", "/a/vantrel/roms", "/b/vantrel/roms",
                   "/usr/share/spectrum-roms"}));
  EXPECT_EQ(RomDataDirectories({"", "/x", "/d"}),
            (Paths{"/x/vantrel/roms", "/d/vantrel/roms", "/usr/share/spectrum-roms"}));
}

TEST(FileResolverTest, TriesStartupThenProgramThenDataDirectories) {
  TempDir temp;
  const DataDirEnvironment env{(temp.path() / "home").string(), "",
                               (temp.path() / "d1").string() + ":" + (temp.path() / "d2").string()};
  const FileResolver resolver = MakeRomFileResolver(temp.Make("start"), temp.Make("program"), env);
  const std::string name = "vantrel-resolve-order.rom";
  ASSERT_FALSE(fs::exists(name));
  EXPECT_FALSE(resolver.Resolve(name));
  // Each new copy sits earlier in the order and takes over.
  for (const fs::path place : {"d2/vantrel/roms", "d1/vantrel/roms",
                               "home/.local/share/vantrel/roms", "program", "start"}) {
    WriteBytes(temp.path() / place / name, {1});
    EXPECT_EQ(resolver.Resolve(name), temp.path() / place / name) << place;
  }
  // A directory of that name is not a file; a rooted name is tried only as entered.
  EXPECT_FALSE(resolver.Resolve("program"));
  const fs::path absolute = temp.path() / "d1/vantrel/roms" / name;
  EXPECT_EQ(resolver.Candidates(absolute), std::vector<fs::path>{absolute});
  EXPECT_TRUE(resolver.Candidates("").empty());
}

// Default references fall back to 48.rom, then opense.rom; a chosen or existing file never does.
TEST(LoadRomTest, DefaultSlotsFallBackToTheUsualSingleRomFiles) {
  for (const char* name :
       {"Pentagon.Rom", "48.rom", "opense.rom", "128-0.rom", "opense-stub.rom", "trdos.rom"}) {
    if (fs::exists(name)) GTEST_SKIP() << "the current directory holds " << name;
  }
  TempDir temp;
  const FileResolver resolver = ResolverIn(temp.Make("start"), temp.Make("program"),
                                           {temp.Make("data"), temp.Make("debian")});
  const Bytes opense = Pages(1, 0x20), stub = Pages(1, 0x30), trdos = Pages(1, 0x40);
  WriteBytes(temp.path() / "debian/opense.rom", opense);
  WriteBytes(temp.path() / "debian/opense-stub.rom", stub);
  WriteBytes(temp.path() / "data/trdos.rom", trdos);
  const auto load = [&](RomSlot slot, const char* reference, const Bytes& expected) {
    SCOPED_TRACE(reference);
    Buffer buffer;
    EXPECT_EQ(LoadRomSlot(slot, reference, resolver, buffer.span()).has_value(), !expected.empty());
    EXPECT_EQ(buffer.Vector(), expected.empty() ? Buffer().Vector() : expected);
  };
  load(RomSlot::k48kBasic, "Pentagon.Rom:1", opense);
  load(RomSlot::k128kBasic, "Pentagon.Rom:0", stub);
  load(RomSlot::kTrDos, "Pentagon.Rom:2", trdos);
  load(RomSlot::kTrDos, "Pentagon.Rom:1", {});  // another slot's default is not this one's
  load(RomSlot::k48kBasic, "Mine.rom:1", {});
  const Bytes sinclair = Pages(1, 0x50);
  WriteBytes(temp.path() / "program/48.rom", sinclair);
  load(RomSlot::k48kBasic, "", sinclair);  // an empty reference is the default
  // Pentagon.Rom exists but lacks page 1: the user's file is reported, not replaced.
  WriteBytes(temp.path() / "start/Pentagon.Rom", Pages(1, 0x60));
  load(RomSlot::k48kBasic, "Pentagon.Rom:1", {});
}

TEST(CheckRomsTest, DefaultsLoadAllThreePagesOfThePentagonRom) {
  VANTREL_REQUIRE_TESTDATA(pentagon, "roms/Pentagon.Rom");
  const Bytes file = ReadBytes(pentagon);
  Memory memory;
  const RomCheckResult result = CheckRoms({"", "Pentagon.Rom:0", "Pentagon.Rom:2"},
                                          ResolverIn(pentagon.parent_path()), memory);
  EXPECT_EQ(result.outcome, RomCheckOutcome::kReady);
  EXPECT_TRUE(result.TrDosAvailable && !result.ShowMessage);
  EXPECT_TRUE((std::vector{Contents(memory.Rom48k()), Contents(memory.Rom128k()),
                           Contents(memory.RomDOS())}) ==
              (std::vector{PageOf(file, 1), PageOf(file, 0), PageOf(file, 2)}));
  EXPECT_EQ(result.sources[0].file, pentagon);
}

TEST(CheckRomsTest, MissingRomsWarnAndKeepTheBuffers) {
  TempDir temp;
  // Two pages and a byte: whole pages load, the page past the end fails.
  const Bytes two = Pages(2, 0x70, 1), unconnected(kRomPageSize, 0xFF);
  WriteBytes(temp.path() / "two.rom", two);
  constexpr auto kLoaded = RomSlotState::kLoaded, kFailed = RomSlotState::kFailed,
                 kNotTried = RomSlotState::kNotTried;
  const std::string warning =
      "ROM Image files missed or not defined!\nPlease select all ROM Image Files to run emulator.";
  Memory memory;
  std::fill_n(memory.RomDOS(), kRomPageSize, 0x5A);
  RomCheckResult result =
      CheckRoms({"two.rom:1", "two.rom:0", "two.rom:2"}, ResolverIn(temp.path()), memory);
  EXPECT_EQ(result.outcome, RomCheckOutcome::kReadyWithoutTrDos);
  EXPECT_EQ(result.slots, (std::array{kLoaded, kLoaded, kFailed}));
  // The machine runs without the disk interface: a note, not the warning box.
  EXPECT_FALSE(result.TrDosAvailable || result.OfferCancel || result.ShowMessage);
  EXPECT_EQ(result.message, "The TR-DOS interface stays off until a TR-DOS ROM image is chosen.");
  EXPECT_EQ(Contents(memory.Rom48k()), PageOf(two, 1));
  EXPECT_EQ(Contents(memory.RomDOS()), Bytes(kRomPageSize, 0x5A));

  // A missing BASIC ROM stops the check there; what failed stays unconnected.
  Memory fresh;
  result = CheckRoms({"gone.rom", "two.rom:0", "two.rom:1"}, ResolverIn(temp.path()), fresh);
  EXPECT_EQ(result.outcome, RomCheckOutcome::kMissing);
  EXPECT_EQ(result.slots, (std::array{kFailed, kNotTried, kNotTried}));
  EXPECT_TRUE(result.ShowMessage && result.OfferCancel);
  EXPECT_EQ(result.caption, "Warning!");
  EXPECT_EQ(result.message, warning);
  EXPECT_EQ(Contents(fresh.Rom48k()), unconnected);
  EXPECT_EQ(Contents(fresh.Rom128k()), unconnected);
  result = CheckRoms({"two.rom:0", "two.rom:5", "two.rom:1"}, ResolverIn(temp.path()), fresh);
  EXPECT_EQ(result.outcome, RomCheckOutcome::kMissing);
  EXPECT_EQ(result.slots, (std::array{kLoaded, kFailed, kNotTried}));
  EXPECT_EQ(Contents(fresh.Rom128k()), unconnected);
}

// The rest of the navigator is driven through its window in the interface tests.
TEST(RomNavigatorTest, TheLaterOfTwoPagesOfAKindWinsItsSlot) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/48.rom");
  VANTREL_REQUIRE_TESTDATA(rom128, "roms/128-1.rom");
  TempDir temp;
  Bytes bytes = ReadBytes(rom48);
  const Bytes second = ReadBytes(rom128);
  bytes.insert(bytes.end(), second.begin(), second.end());
  WriteBytes(temp.path() / "two48.rom", bytes);
  RomNavigator navigator;
  navigator.Scan("two48.rom", ResolverIn(temp.path()));
  ASSERT_EQ(navigator.Items().size(), 2u);
  EXPECT_EQ(navigator.AutoSelectAll(), (Choices{"two48.rom:1", std::nullopt, std::nullopt}));
}

uint16_t PageChecksum(const Bytes& bytes, size_t page) {
  return RomChecksum(std::span(bytes).subspan(page * kRomPageSize, kRomPageSize));
}

TEST(RomCatalogueTest, ChecksumsAndTheirFirstCatalogueRow) {
  // TR-DOS 5.05D is listed twice; the lookup gives the first row.
  const auto rows = RomCatalogue();
  const auto first = std::find_if(
      rows.begin(), rows.end(), [](const RomCatalogueRow& row) { return row.checksum == 0x6741; });
  ASSERT_NE(first, rows.end());
  EXPECT_EQ(IdentifyRom(0x6741).row, first - rows.begin());
  EXPECT_EQ(IdentifyRom(0x6741).description, first->description);
  // The Gluk service ROM of the test data has no row: it fits none of the kinds.
  EXPECT_EQ(IdentifyRom(0xECDF).row, -1);
}

TEST(RomCatalogueTest, IdentifiesTheTestRoms) {
  VANTREL_REQUIRE_TESTDATA(dir, "roms");
  const std::tuple<const char*, std::string_view, int> cases[] = {
      {"48.rom", "Original SOS (48k, 1982)", kRomKind48kBasic},
      {"128-0.rom", "Original 128k (128k, 1986)", kRomKind128kBasic},
      {"pentagon128.rom", "Pentagon 128k", kRomKind128kBasic},
      {"trdos503.rom", "TR-DOS 5.03 (x128)", kRomKindTrDos},
      {"opense-stub.rom", "OpenSE BASIC stub", kRomKind128kBasic},
  };
  for (const auto& [file, description, kind] : cases) {
    const RomIdentity identity = IdentifyRom(PageChecksum(ReadBytes(dir / file), 0));
    EXPECT_EQ(identity.description, description) << file;
    EXPECT_EQ(identity.kind, kind) << file;
  }
  // Every numbered page line of ROM-CHECKSUMS.txt ("file size page crc16 ...").
  std::ifstream in(dir / "ROM-CHECKSUMS.txt");
  int checked = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string name, size, page, crc;
    if (!(fields >> name >> size >> page >> crc) || name.find(".rom") == std::string::npos ||
        page.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    const Bytes bytes = ReadBytes(dir / name);
    ASSERT_EQ(bytes.size(), std::stoul(size)) << name;
    EXPECT_EQ(FormatChecksum(PageChecksum(bytes, std::stoul(page))), "#" + crc) << name << page;
    ++checked;
  }
  EXPECT_GE(checked, 10);
}

}  // namespace
}  // namespace vantrel
