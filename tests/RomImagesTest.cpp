#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "TempDir.h"
#include "TestData.h"
#include "app/RomImages.h"
#include "app/RomNavigator.h"
#include "core/Memory.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

using test::TempDir;

void WriteFile(const fs::path& file, const std::vector<uint8_t>& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Pages whose bytes tell which file and page they came from.
std::vector<uint8_t> Pages(size_t pages, uint8_t mark, size_t extra = 0) {
  std::vector<uint8_t> bytes(pages * kRomPageSize + extra);
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(mark + i / kRomPageSize * 16 + (i & 7));
  }
  return bytes;
}

std::vector<uint8_t> PageOf(const std::vector<uint8_t>& bytes, size_t page) {
  return {bytes.begin() + page * kRomPageSize, bytes.begin() + (page + 1) * kRomPageSize};
}

std::vector<uint8_t> Contents(const uint8_t* rom) {
  return {rom, rom + kRomPageSize};
}

// A resolver that looks only where the test says (the current directory aside).
FileResolver ResolverIn(const fs::path& start, const fs::path& program = {},
                        std::vector<fs::path> data = {}) {
  return {start, program, std::move(data)};
}

struct Buffer {
  std::array<uint8_t, kRomPageSize> bytes;
  Buffer() { bytes.fill(0xAA); }
  RomBuffer span() { return RomBuffer(bytes); }
  bool Untouched() const {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xAA; });
  }
  std::vector<uint8_t> Vector() const { return {bytes.begin(), bytes.end()}; }
};

// --- references -----------------------------------------------------------------------

TEST(RomReferenceTest, SplitsAtTheLastColonExceptADriveLetter) {
  struct Case {
    const char* text;
    const char* path;
    uint32_t page;
    bool tooLarge;
  };
  const Case cases[] = {
      {"C:\\roms\\a.rom", "C:\\roms\\a.rom", 0, false},
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

// --- file resolution ------------------------------------------------------------------

TEST(RomDataDirectoriesTest, DefaultsFollowTheXdgRules) {
  EXPECT_EQ(
      RomDataDirectories({"/home/u", "", ""}),
      (std::vector<fs::path>{"/home/u/.local/share/vantrel/roms", "/usr/local/share/vantrel/roms",
                             "/usr/share/vantrel/roms", "/usr/share/spectrum-roms"}));
  // Relative entries are invalid and ignored; a relative data home falls back to $HOME.
  EXPECT_EQ(RomDataDirectories({"/home/u", "rel", "/a:rel::/b/"}),
            (std::vector<fs::path>{"/home/u/.local/share/vantrel/roms", "/a/vantrel/roms",
                                   "/b/vantrel/roms", "/usr/share/spectrum-roms"}));
  EXPECT_EQ(
      RomDataDirectories({"", "/x", "/d"}),
      (std::vector<fs::path>{"/x/vantrel/roms", "/d/vantrel/roms", "/usr/share/spectrum-roms"}));
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
  const fs::path places[] = {"d2/vantrel/roms", "d1/vantrel/roms", "home/.local/share/vantrel/roms",
                             "program", "start"};
  for (const fs::path& place : places) {
    WriteFile(temp.path() / place / name, {1});
    EXPECT_EQ(resolver.Resolve(name), temp.path() / place / name) << place;
  }

  // A directory of that name is not a file; a rooted name is tried only as entered.
  EXPECT_FALSE(resolver.Resolve("program"));
  const fs::path absolute = temp.path() / "d1/vantrel/roms" / name;
  EXPECT_EQ(resolver.Candidates(absolute), std::vector<fs::path>{absolute});
  EXPECT_TRUE(resolver.Candidates("").empty());
}

// --- loading --------------------------------------------------------------------------

TEST(LoadRomTest, ReadsTheNamedPageOfThePentagonRom) {
  VANTREL_REQUIRE_TESTDATA(pentagon, "roms/Pentagon.Rom");
  const std::vector<uint8_t> file = ReadAll(pentagon);
  const FileResolver resolver = ResolverIn(pentagon.parent_path());
  for (size_t page = 0; page < 3; ++page) {
    Buffer buffer;
    const auto source =
        LoadRomPage("Pentagon.Rom:" + std::to_string(page), resolver, buffer.span());
    ASSERT_TRUE(source) << page;
    EXPECT_EQ(source->file, pentagon);
    EXPECT_EQ(source->page, page);
    EXPECT_EQ(buffer.Vector(), PageOf(file, page)) << page;
  }
}

TEST(LoadRomTest, FailureLeavesTheBufferUnchanged) {
  TempDir temp;
  const std::vector<uint8_t> bytes = Pages(1, 0x10, 1);  // 16385 bytes
  WriteFile(temp.path() / "short.rom", bytes);
  const FileResolver resolver = ResolverIn(temp.path());

  Buffer buffer;
  EXPECT_TRUE(LoadRomPage("short.rom:0", resolver, buffer.span()));
  EXPECT_EQ(buffer.Vector(), PageOf(bytes, 0));

  for (const char* reference : {"short.rom:1", "short.rom:4294967295", "absent.rom", ""}) {
    Buffer untouched;
    EXPECT_FALSE(LoadRomPage(reference, resolver, untouched.span())) << reference;
    EXPECT_TRUE(untouched.Untouched()) << reference;
  }
}

class RomFallbackTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name :
         {"Pentagon.Rom", "48.rom", "opense.rom", "128-0.rom", "opense-stub.rom", "trdos.rom"}) {
      if (fs::exists(name)) GTEST_SKIP() << "the current directory holds " << name;
    }
  }
  std::optional<RomSource> Load48k(std::string_view reference) {
    return LoadRomSlot(RomSlot::k48kBasic, reference, resolver, buffer.span());
  }

  TempDir temp;
  FileResolver resolver = ResolverIn(temp.Make("start"), temp.Make("program"),
                                     {temp.Make("data"), temp.Make("debian")});
  Buffer buffer;
};

TEST_F(RomFallbackTest, DefaultSlotsUseTheUsualSingleRomFiles) {
  const auto opense = Pages(1, 0x20), stub = Pages(1, 0x30), trdos = Pages(1, 0x40);
  WriteFile(temp.path() / "debian/opense.rom", opense);
  WriteFile(temp.path() / "debian/opense-stub.rom", stub);
  WriteFile(temp.path() / "data/trdos.rom", trdos);

  auto source = Load48k("Pentagon.Rom:1");
  ASSERT_TRUE(source);
  EXPECT_EQ(source->file, temp.path() / "debian/opense.rom");
  EXPECT_EQ(buffer.Vector(), opense);

  // 48.rom comes before opense.rom, wherever it is found; an empty reference is the default.
  const auto sinclair = Pages(1, 0x50);
  WriteFile(temp.path() / "program/48.rom", sinclair);
  ASSERT_TRUE(Load48k(""));
  EXPECT_EQ(buffer.Vector(), sinclair);

  Buffer rom128, dos;
  ASSERT_TRUE(LoadRomSlot(RomSlot::k128kBasic, "Pentagon.Rom:0", resolver, rom128.span()));
  EXPECT_EQ(rom128.Vector(), stub);
  ASSERT_TRUE(LoadRomSlot(RomSlot::kTrDos, "Pentagon.Rom:2", resolver, dos.span()));
  EXPECT_EQ(dos.Vector(), trdos);

  // Another slot's default text is not this slot's default.
  Buffer other;
  EXPECT_FALSE(LoadRomSlot(RomSlot::kTrDos, "Pentagon.Rom:1", resolver, other.span()));
  EXPECT_TRUE(other.Untouched());
}

TEST_F(RomFallbackTest, NoFallbackForAChosenFileOrAnExistingPentagonRom) {
  WriteFile(temp.path() / "data/48.rom", Pages(1, 0x50));
  EXPECT_FALSE(Load48k("Mine.rom:1"));
  EXPECT_TRUE(buffer.Untouched());

  // Pentagon.Rom exists but lacks page 1: the user's file is reported, not replaced.
  WriteFile(temp.path() / "start/Pentagon.Rom", Pages(1, 0x60));
  EXPECT_FALSE(Load48k("Pentagon.Rom:1"));
  EXPECT_TRUE(buffer.Untouched());
}

// --- Check ROMs -----------------------------------------------------------------------

TEST(CheckRomsTest, DefaultsLoadAllThreePagesOfThePentagonRom) {
  VANTREL_REQUIRE_TESTDATA(pentagon, "roms/Pentagon.Rom");
  const std::vector<uint8_t> file = ReadAll(pentagon);
  Memory memory;
  const RomCheckResult result = CheckRoms({"", "Pentagon.Rom:0", "Pentagon.Rom:2"},
                                          ResolverIn(pentagon.parent_path()), memory);
  EXPECT_EQ(result.outcome, RomCheckOutcome::kReady);
  EXPECT_TRUE(result.TrDosAvailable);
  EXPECT_FALSE(result.ShowMessage);
  EXPECT_EQ(Contents(memory.Rom48k()), PageOf(file, 1));
  EXPECT_EQ(Contents(memory.Rom128k()), PageOf(file, 0));
  EXPECT_EQ(Contents(memory.RomDOS()), PageOf(file, 2));
  EXPECT_EQ(result.sources[0].page, 1u);
}

class CheckRomsMissingTest : public testing::Test {
 protected:
  void SetUp() override { WriteFile(temp.path() / "two.rom", two); }

  TempDir temp;
  const std::vector<uint8_t> two = Pages(2, 0x70);
  FileResolver resolver = ResolverIn(temp.path());
  Memory memory;
};

TEST_F(CheckRomsMissingTest, MissingTrDosStartsWithoutTheInterface) {
  std::fill_n(memory.RomDOS(), kRomPageSize, 0x5A);
  const RomCheckResult result =
      CheckRoms({"two.rom:1", "two.rom:0", "two.rom:2"}, resolver, memory);
  EXPECT_EQ(result.outcome, RomCheckOutcome::kReadyWithoutTrDos);
  EXPECT_EQ(result.slots,
            (std::array{RomSlotState::kLoaded, RomSlotState::kLoaded, RomSlotState::kFailed}));
  EXPECT_FALSE(result.TrDosAvailable);
  EXPECT_TRUE(result.ShowMessage);
  EXPECT_FALSE(result.OfferCancel);
  EXPECT_EQ(result.caption, "Warning!");
  EXPECT_EQ(result.message.rfind("ROM Image files missed or not defined!\n"
                                 "Please select all ROM Image Files to run emulator.\n",
                                 0),
            0u);
  EXPECT_NE(result.message.find("TR-DOS"), std::string::npos);
  EXPECT_EQ(Contents(memory.Rom48k()), PageOf(two, 1));
  EXPECT_EQ(Contents(memory.RomDOS()), std::vector<uint8_t>(kRomPageSize, 0x5A));
}

TEST_F(CheckRomsMissingTest, MissingBasicRomWarnsAndStopsThere) {
  const std::vector<uint8_t> unconnected(kRomPageSize, 0xFF);
  RomCheckResult result = CheckRoms({"gone.rom", "two.rom:0", "two.rom:1"}, resolver, memory);
  EXPECT_EQ(result.outcome, RomCheckOutcome::kMissing);
  EXPECT_EQ(result.slots,
            (std::array{RomSlotState::kFailed, RomSlotState::kNotTried, RomSlotState::kNotTried}));
  EXPECT_TRUE(result.ShowMessage);
  EXPECT_TRUE(result.OfferCancel);
  EXPECT_EQ(result.caption, "Warning!");
  EXPECT_EQ(result.message,
            "ROM Image files missed or not defined!\n"
            "Please select all ROM Image Files to run emulator.");
  EXPECT_EQ(Contents(memory.Rom48k()), unconnected);
  EXPECT_EQ(Contents(memory.Rom128k()), unconnected);

  result = CheckRoms({"two.rom:0", "two.rom:5", "two.rom:1"}, resolver, memory);
  EXPECT_EQ(result.outcome, RomCheckOutcome::kMissing);
  EXPECT_EQ(result.slots,
            (std::array{RomSlotState::kLoaded, RomSlotState::kFailed, RomSlotState::kNotTried}));
  EXPECT_EQ(Contents(memory.Rom128k()), unconnected);
}

// --- navigator ------------------------------------------------------------------------

TEST(RomNavigatorTest, PentagonRomListsThreeKnownPagesAndAutoSelectsThem) {
  VANTREL_REQUIRE_TESTDATA(pentagon, "roms/Pentagon.Rom");
  RomNavigator navigator;
  navigator.Scan("Pentagon.Rom", ResolverIn(pentagon.parent_path()));
  ASSERT_TRUE(navigator.FileFound());
  ASSERT_EQ(navigator.Items().size(), 3u);
  EXPECT_EQ(navigator.Items()[0].text, "Pentagon 128k");
  EXPECT_EQ(navigator.Items()[1].text, "Original SOS (128k, 1986)");
  EXPECT_EQ(navigator.Items()[2].text, "TR-DOS 5.04T");
  EXPECT_TRUE(navigator.PagesListed());
  EXPECT_TRUE(navigator.AutoSelectEnabled());

  const RomPageInfo info = navigator.ShowPage(0);
  EXPECT_EQ(info.ChecksumText, "#2BD6");
  EXPECT_EQ(info.description, "Pentagon 128k");
  EXPECT_EQ(info.kind, kRomKind128kBasic);
  EXPECT_TRUE(info.SelectEnabled);

  EXPECT_EQ(navigator.AutoSelectAll(), (std::array<std::optional<std::string>, 3>{
                                           "Pentagon.Rom:1", "Pentagon.Rom:0", "Pentagon.Rom:2"}));
}

TEST(RomNavigatorTest, SelectWritesTheChosenSlotOnly) {
  VANTREL_REQUIRE_TESTDATA(pentagon, "roms/Pentagon.Rom");
  RomNavigator navigator;
  navigator.Scan("Pentagon.Rom", ResolverIn(pentagon.parent_path()));

  // "in page" may differ from the page's own kind.
  const auto chosen = navigator.Select(2, kRomKind48kBasic);
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->slot, RomSlot::k48kBasic);
  EXPECT_EQ(chosen->reference, "Pentagon.Rom:2");
  EXPECT_EQ(navigator.Select(0, kRomKindTrDos)->slot, RomSlot::kTrDos);

  for (int kind = kRomKindAtmCpmBios; kind < 8; ++kind) {
    EXPECT_FALSE(navigator.Select(1, kind)) << kind;
  }
  EXPECT_FALSE(navigator.Select(3, kRomKind48kBasic));
}

TEST(RomNavigatorTest, UnknownPageDisablesSelectAndAutoSelect) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/48.rom");
  VANTREL_REQUIRE_TESTDATA(rom128, "roms/128-1.rom");
  TempDir temp;
  std::vector<uint8_t> bytes = ReadAll(rom48);
  const std::vector<uint8_t> second = ReadAll(rom128);
  bytes.insert(bytes.end(), second.begin(), second.end());
  bytes.resize(bytes.size() + kRomPageSize, 0x00);  // a blank page: in no catalogue
  ASSERT_FALSE(IdentifyRom(RomChecksum(PageOf(bytes, 2))).Known());
  WriteFile(temp.path() / "mixed.rom", bytes);

  RomNavigator navigator;
  navigator.Scan("mixed.rom", ResolverIn(temp.path()));
  ASSERT_EQ(navigator.Items().size(), 3u);
  EXPECT_EQ(navigator.Items()[2].text, "Unknown ROM");
  EXPECT_TRUE(navigator.PagesListed());
  EXPECT_FALSE(navigator.AutoSelectEnabled());
  const RomPageInfo info = navigator.ShowPage(2);
  EXPECT_EQ(info.kind, kRomKindUnknown);
  EXPECT_FALSE(info.SelectEnabled);
  EXPECT_FALSE(navigator.Select(2, kRomKind48kBasic));
  EXPECT_TRUE(navigator.Select(0, kRomKind48kBasic));

  // Two 48K BASIC pages: the later one wins the slot.
  EXPECT_EQ(navigator.AutoSelectAll(),
            (std::array<std::optional<std::string>, 3>{"mixed.rom:1", std::nullopt, std::nullopt}));
}

TEST(RomNavigatorTest, SizesThatAreNotWholePagesShowOnlyInvalidSize) {
  TempDir temp;
  WriteFile(temp.path() / "odd.rom", Pages(1, 0, 1));
  WriteFile(temp.path() / "empty.rom", {});
  RomNavigator navigator;
  for (const char* name : {"odd.rom", "empty.rom"}) {
    navigator.Scan(name, ResolverIn(temp.path()));
    EXPECT_TRUE(navigator.FileFound()) << name;
    ASSERT_EQ(navigator.Items().size(), 1u) << name;
    EXPECT_EQ(navigator.Items()[0].text, "Invalid Size");
    EXPECT_FALSE(navigator.PagesListed());
    EXPECT_FALSE(navigator.AutoSelectEnabled());
    EXPECT_FALSE(navigator.Select(0, kRomKind48kBasic));
    EXPECT_EQ(navigator.AutoSelectAll(), (std::array<std::optional<std::string>, 3>{}));
  }
}

TEST(RomNavigatorTest, MissingFileListsNothing) {
  TempDir temp;
  RomNavigator navigator;
  WriteFile(temp.path() / "one.rom", Pages(1, 0));
  navigator.Scan("one.rom", ResolverIn(temp.path()));
  ASSERT_EQ(navigator.Items().size(), 1u);

  navigator.Scan("none.rom", ResolverIn(temp.path()));
  EXPECT_FALSE(navigator.FileFound());
  EXPECT_TRUE(navigator.Items().empty());
  EXPECT_FALSE(navigator.PagesListed());
  EXPECT_EQ(navigator.ShowPage(0).ChecksumText, "#0000");
}

}  // namespace
}  // namespace vantrel
