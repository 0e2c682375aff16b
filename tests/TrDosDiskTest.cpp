// TR-DOS on the real ROMs driving the controller: booting, the catalogue, loading and
// saving have to work byte by byte through the ports for these to pass.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "TestData.h"
#include "app/AutoLoad.h"
#include "disk/DiskImageFiles.h"
#include "disk/TrDosImage.h"
#include "machine/Machine.h"

namespace vantrel {
namespace {

using test::RunFrames;
using test::Type;
using test::ScreenText;

// The Pentagon 128 ROM set: 128K BASIC, 48K BASIC, TR-DOS 5.04T.
bool LoadPentagonRoms(Machine& m) {
  const auto rom = test::TestDataFile("roms/Pentagon.Rom");
  if (rom.empty()) return false;
  test::LoadRomPage(rom, 0, m.Mem.Rom128k());
  test::LoadRomPage(rom, 1, m.Mem.Rom48k());
  test::LoadRomPage(rom, 2, m.Mem.RomDOS());
  m.SetTrDosEnabled(true);
  m.State.NormalSpeed = false;
  return true;
}

void InsertImage(Machine& m, const std::string& relative, DiskFormat format) {
  RememberedGeometry geometry;
  m.InsertDisk(LoadDiskImageBytes(test::ReadBytes(test::TestDataFile(relative)), format,
                                  DiskOpenOptions{}, geometry));
}

uint64_t ScreenHash(Machine& m) {
  const uint8_t* screen = m.Mem.Bank(m.Mem.ScreenBank);
  uint64_t hash = 14695981039346656037ull;
  for (int i = 0; i < 6912; ++i) hash = (hash ^ screen[i]) * 1099511628211ull;
  return hash;
}

TEST(TrDos, RealSoftwareRunsFromDisk) {
  struct Case {
    const char* name;
    const char* image;  // nullptr: a blank disk
    DiskFormat format;
    const char* keys;  // typed at the TR-DOS prompt
    const char* text;  // expected on the screen (ROM font), or nullptr
  };
  const Case cases[] = {
      // RUN "UMTv2.3>": the tester's language screen in its own font.
      {"boot", "disk-trdos/UMT2_3.TRD", DiskFormat::Trd,
       "R SS+P CS+U CS+M CS+T V 2 SS+M 3 SS+T SS+P ENTER", nullptr},
      {"catalogue", "disk-trdos/UMT2_3.TRD", DiskFormat::Trd, "K ENTER", "UMTv2.3>"},
      {"load", "disk-trdos/success-expanded.udi", DiskFormat::Udi,
       "J SS+P S U C C E S S SS+P ENTER", "Congraturation! You sucsess!"},
      // 10 REM, then SAVE "t".
      {"save", nullptr, DiskFormat::Trd, "1 0 E ENTER S SS+P T SS+P ENTER", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Machine m(1);
    if (!LoadPentagonRoms(m)) GTEST_SKIP() << "test data not found: roms/Pentagon.Rom";
    if (c.image) {
      InsertImage(m, c.image, c.format);
    } else {
      m.InsertDisk(CreateBlankDisk());
    }
    m.State.StartMode = kStartTrDos | kStart128k;
    m.ResetMachine();
    RunFrames(m, 300);  // the reset's Restore steps the track register down from 0xFF
    ASSERT_NE(ScreenText(m).find("A>"), std::string::npos) << ScreenText(m);
    Type(m, c.keys);
    RunFrames(m, 400);
    const std::string screen = ScreenText(m);
    if (c.text) {
      EXPECT_NE(screen.find(c.text), std::string::npos) << screen;
    }
    if (std::string(c.name) == "boot") {
      EXPECT_EQ(ScreenHash(m), 17038512811327085890u);  // the language screen
    }
    if (std::string(c.name) == "save") {
      TrdImage image;
      ExtractTrdFromTracks(*m.Disks[0], image);
      EXPECT_EQ(CatalogueName(image.Entry(0)), "t.B") << screen;
      EXPECT_TRUE(m.Disks[0]->Modified());
    }
  }
}

// TR-DOS reads the disk-type byte and, for a 40-track disk in the 80-track drive, steps
// twice per cylinder; the file lies on the disk's last tracks, so it loads only when the
// image was laid out where TR-DOS looks.
TEST(TrDos, LoadsAFileFromEachDiskGeometry) {
  struct Case {
    uint8_t type;
    int tracks;
  } cases[] = {{0x16, 160}, {0x17, 80}, {0x18, 80}, {0x19, 40}};
  constexpr int kSectors = 40;  // three tracks: 16, 16 and 8 sectors
  constexpr uint16_t kStart = 0x8000;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "disk type " << int{c.type});
    auto image = std::make_unique<TrdImage>();
    image->StartBlankDisk();
    auto& b = image->Bytes;
    const int first = c.tracks - 3;
    const uint8_t entry[16] = {'d',
                               'a',
                               't',
                               'a',
                               ' ',
                               ' ',
                               ' ',
                               ' ',
                               'C',
                               0,
                               0x80,
                               0,
                               kSectors * 256 >> 8,
                               kSectors,
                               0,
                               static_cast<uint8_t>(first)};
    std::copy(std::begin(entry), std::end(entry), b.begin());
    b[TrdImage::kDiskType] = c.type;
    b[TrdImage::kFileCount] = 1;
    b[TrdImage::kFirstFreeTrack] = static_cast<uint8_t>(first + 2);
    b[TrdImage::kFirstFreeSector] = 8;
    const int free = (c.tracks - 1) * 16 - kSectors;
    b[TrdImage::kFreeSectors] = static_cast<uint8_t>(free);
    b[TrdImage::kFreeSectors + 1] = static_cast<uint8_t>(free >> 8);
    for (int i = 0; i < kSectors * 256; ++i)
      b[first * 4096 + i] = static_cast<uint8_t>(i * 7 + i / 256);

    Machine m(1);
    if (!LoadPentagonRoms(m)) GTEST_SKIP() << "test data not found: roms/Pentagon.Rom";
    RememberedGeometry geometry;
    const std::vector<uint8_t> file(b.begin(), b.begin() + c.tracks * 4096);
    m.InsertDisk(LoadDiskImageBytes(file, DiskFormat::Trd, DiskOpenOptions{}, geometry));
    m.State.StartMode = kStartTrDos | kStart128k;
    m.ResetMachine();
    RunFrames(m, 300);
    Type(m, "J SS+P D A T A SS+P CS+SS I ENTER");  // LOAD "data" CODE
    RunFrames(m, 300);
    int wrong = 0;
    for (int i = 0; i < kSectors * 256; ++i)
      wrong += m.Mem.PeekByte(static_cast<uint16_t>(kStart + i)) != b[first * 4096 + i];
    EXPECT_EQ(wrong, 0) << ScreenText(m);
  }
}

bool SameTracks(const FloppyDisk& a, const FloppyDisk& b) {
  for (int t = 0; t < FloppyDisk::kTrackCount; ++t)
    if (a.Tracks[t].Data != b.Tracks[t].Data || a.Tracks[t].Marks != b.Tracks[t].Marks)
      return false;
  return true;
}

// A file's catalogue entry and bytes, as TR-DOS finds them on a disk.
std::string FileOnDisk(const FloppyDisk& disk, const std::string& name) {
  auto image = std::make_unique<TrdImage>();
  ExtractTrdFromTracks(disk, *image);
  for (int i = 0; i < image->Bytes[TrdImage::kFileCount]; ++i) {
    const auto e = image->Entry(i);
    if (CatalogueName(e) != name) continue;
    const auto from = image->Bytes.begin() + (e[15] * 16 + e[14]) * 256;
    return std::string(e.begin(), e.begin() + 14) + std::string(from, from + e[13] * 256);
  }
  return {};
}

// Drives A and B on the real TR-DOS: each drive number reaches its own disk.
TEST(TrDos, TwoDrivesCopyAndLoadEachFromItsOwnDisk) {
  const auto expanded = test::TestDataFile("disk-trdos/success-expanded.udi");
  if (expanded.empty()) GTEST_SKIP() << "test data not found: disk-trdos";
  const struct {
    const char* name;
    bool programOnA;   // else on B, with a blank disk in A
    const char* keys;  // typed at the A> prompt
    const char* text;  // expected on the screen
  } cases[] = {
      // COPY "B:success","success": from drive A to drive B.
      {"copy A to B", true,
       "Z SS+P CS+B SS+Z S U C C E S S SS+P SS+N SS+P S U C C E S S SS+P ENTER", nullptr},
      // *"B:", then LOAD "success".
      {"load from B", false, "SS+B SS+P CS+B SS+Z SS+P ENTER J SS+P S U C C E S S SS+P ENTER",
       "Congraturation! You sucsess!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Machine m(1);
    if (!LoadPentagonRoms(m)) GTEST_SKIP() << "test data not found: roms/Pentagon.Rom";
    InsertImage(m, "disk-trdos/success-expanded.udi", DiskFormat::Udi);
    const std::string program = FileOnDisk(*m.Disks[0], "success.B");
    ASSERT_FALSE(program.empty());
    auto blank = CreateBlankDisk();
    if (c.programOnA) {
      m.InsertDisk(std::move(blank), 1);
    } else {
      m.InsertDisk(std::move(m.Disks[0]), 1);
      m.InsertDisk(std::move(blank), 0);
    }
    auto before = std::make_unique<FloppyDisk>();
    before->Tracks = m.Disks[0]->Tracks;
    m.State.StartMode = kStartTrDos | kStart128k;
    m.ResetMachine();
    RunFrames(m, 300);
    Type(m, c.keys);
    RunFrames(m, 500);
    const std::string screen = ScreenText(m);
    if (c.text) {
      EXPECT_NE(screen.find(c.text), std::string::npos) << screen;
    }
    EXPECT_EQ(FileOnDisk(*m.Disks[1], "success.B"), program) << screen;
    EXPECT_TRUE(SameTracks(*before, *m.Disks[0])) << "drive A was written to";
    EXPECT_EQ(m.Disks[1]->Modified(), c.programOnA);
  }
}

// A disk without a boot file, autoloaded, stops at the prompt with its catalogue shown.
TEST(TrDos, AutoloadOfADiskWithoutBootFileListsIt) {
  Machine m(1);
  if (!LoadPentagonRoms(m)) GTEST_SKIP() << "test data not found: roms/Pentagon.Rom";
  if (test::TestDataFile("disk-trdos/success-expanded.udi").empty())
    GTEST_SKIP() << "test data not found: disk-trdos";
  InsertImage(m, "disk-trdos/success-expanded.udi", DiskFormat::Udi);
  AutoLoadTyper typer = StartAutoLoad(m, kStart128k, AutoLoadMedia::Disk);
  for (int frame = 0; frame < 600; ++frame) {
    RunFrames(m, 1);
    typer.FrameEnd(m);
  }
  const std::string screen = ScreenText(m);
  EXPECT_NE(screen.find("1 File(s)"), std::string::npos) << screen;
  EXPECT_NE(screen.find("success"), std::string::npos) << screen;
}

}  // namespace
}  // namespace vantrel
