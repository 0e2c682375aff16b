#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "TempDir.h"
#include "TestData.h"
#include "disk/DiskImageFiles.h"
#include "disk/FdiImage.h"
#include "disk/TrackLayout.h"
#include "disk/UdiImage.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

using test::ReadBytes;
using test::WriteBytes;

uint32_t Le32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

std::unique_ptr<TrdImage> Extract(const FloppyDisk& disk) {
  auto image = std::make_unique<TrdImage>();
  ExtractTrdFromTracks(disk, *image);
  return image;
}

bool SameTracks(const FloppyDisk& a, const FloppyDisk& b) {
  for (int t = 0; t < FloppyDisk::kTrackCount; ++t)
    if (a.Tracks[t].Data != b.Tracks[t].Data || a.Tracks[t].Marks != b.Tracks[t].Marks)
      return false;
  return true;
}

// A Hobeta file of `sectors` sectors filled with `fill`, with a correct header checksum.
Bytes Hobeta(const char (&nameAndType)[10], uint8_t sectors, uint8_t fill = 0x55) {
  Bytes file(17 + sectors * 256, fill);
  std::memcpy(file.data(), nameAndType, 9);
  std::fill_n(file.begin() + 9, 6, 0);
  file[14] = sectors;
  unsigned sum = 0;
  for (unsigned i = 0; i < 15; ++i) sum += 257 * file[i] + i;
  file[15] = static_cast<uint8_t>(sum);
  file[16] = static_cast<uint8_t>(sum >> 8);
  return file;
}

template <typename Action>
void ExpectDiskError(Action action, std::string_view message, std::string_view caption) {
  try {
    action();
    ADD_FAILURE() << "not refused: " << message;
  } catch (const DiskError& e) {
    EXPECT_EQ(std::string(e.what()), message);
    EXPECT_EQ(e.Caption, caption);
  }
}

constexpr std::string_view kFdiFormat = "Can't open Disk Image File! Unsupported file format...";

TEST(DiskLayoutTest, StandardTrackPlacesFieldsAndMarks) {
  const auto disk = CreateBlankDisk();
  const RawTrack& t = disk->Track(0, 1);
  // First slot: 10 gap bytes, 13 zeros, 2 marks; later slots 12 zeros and 3 marks.
  EXPECT_EQ(t.Data[25], kIdMark);
  EXPECT_TRUE(t.IsMark(23) && t.IsMark(24) && !t.IsMark(22));
  EXPECT_EQ((Bytes{t.Data.begin() + 25, t.Data.begin() + 32}),
            (Bytes{0xFE, 0, 0, 1, 1, 0xFA, 0x0C}));  // H is 0 on side 1 too
  EXPECT_EQ(t.Data[69], kDataMark);
  EXPECT_EQ(t.Data[378 + 25], kIdMark);
  EXPECT_EQ(t.Data[378 + 28], 9);  // interleave: 1, 9, 2, ...
  int marks = 0;
  for (size_t p = 0; p < RawTrack::kLength; ++p) marks += t.IsMark(p);
  EXPECT_EQ(marks, 2 + 3 + 15 * 6);
  EXPECT_TRUE(std::all_of(t.Data.begin() + 6048, t.Data.end(), [](uint8_t b) { return b == 0; }));
  // Cylinders past 79 stay empty.
  EXPECT_TRUE(std::all_of(disk->Track(80, 0).Data.begin(), disk->Track(80, 0).Data.end(),
                          [](uint8_t b) { return b == 0; }));
  // The blank-disk template.
  const auto image = Extract(*disk);
  EXPECT_EQ(image->Bytes[TrdImage::kFirstFreeTrack], 1);
  EXPECT_EQ(image->Bytes[TrdImage::kFreeSectors] | image->Bytes[TrdImage::kFreeSectors + 1] << 8,
            2544);
}

TEST(DiskTrDosTest, TrdSclAndHobetaGiveTheSameFile) {
  std::vector<std::unique_ptr<TrdImage>> images;
  for (const char* name : {"UMT2_3.TRD", "UMT2_3.SCL", "UMT2_3.$B"}) {
    VANTREL_REQUIRE_TESTDATA(file, std::string("disk-trdos/") + name);
    RememberedGeometry geometry;
    const auto disk = OpenDiskImage(file, {}, geometry);
    ASSERT_TRUE(disk) << name;
    images.push_back(Extract(*disk));
  }
  const TrdImage& trd = *images[0];
  ASSERT_EQ(CatalogueName(std::span(trd.Bytes).first(16)), "UMTv2.3>.B");
  const size_t sectors = trd.Bytes[13];
  const size_t start = (trd.Bytes[15] * 16 + trd.Bytes[14]) * 256;
  for (size_t i = 1; i < images.size(); ++i) {
    const TrdImage& other = *images[i];
    EXPECT_TRUE(std::equal(trd.Bytes.begin(), trd.Bytes.begin() + 16, other.Bytes.begin())) << i;
    EXPECT_TRUE(std::equal(trd.Bytes.begin() + start, trd.Bytes.begin() + start + sectors * 256,
                           other.Bytes.begin() + start))
        << i;
  }
}

TEST(DiskTrDosTest, TrdRoundTripsThroughTracks) {
  VANTREL_REQUIRE_TESTDATA(file, "disk-trdos/UMT2_3.TRD");
  const Bytes whole = ReadBytes(file);
  RememberedGeometry geometry;
  // Whole, cut short (the rest reads as zero) and empty.
  for (size_t length : {whole.size(), size_t{70000}, size_t{0}}) {
    const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    const auto disk = LoadDiskImageBytes(part, DiskFormat::Trd, {}, geometry);
    Bytes expected = part;
    expected.resize(TrdImage::kSize, 0);
    const auto image = Extract(*disk);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image->Bytes.begin())) << length;
  }
  ExpectDiskError(
      [&] { LoadDiskImageBytes(Bytes(TrdImage::kSize + 1), DiskFormat::Trd, {}, geometry); },
      "Disk Image File have wrong size! File corrupted or has unsupported format...",
      kDiskErrorCaption);
}

// A TR-DOS image whose disk-type byte is `type`, every sector of tracks 1 to 159 filled
// with bytes telling its track, sector and offset.
std::unique_ptr<TrdImage> PatternedImage(uint8_t type) {
  auto image = std::make_unique<TrdImage>();
  image->StartBlankDisk();
  image->Bytes[TrdImage::kDiskType] = type;
  for (int t = 1; t < TrdImage::kTracks; ++t)
    for (int r = 1; r <= 16; ++r) {
      auto sector = image->Sector(t, r);
      for (size_t i = 0; i < sector.size(); ++i) sector[i] = static_cast<uint8_t>(t * 3 + r + i);
    }
  return image;
}

// The sectors of a track by number, with the cylinder their ID fields name (-1: several).
struct TrackSectors {
  std::map<int, Bytes> Data;
  int IdCylinder = -1;
};

TrackSectors SectorsOf(const RawTrack& track) {
  TrackSectors found;
  ScanTrack(track, [&](const DataField& f) -> size_t {
    const auto from = track.Data.begin() + static_cast<std::ptrdiff_t>(f.DataPos);
    found.Data[f.Id.R] = Bytes(from, from + 256);
    found.IdCylinder = found.Data.size() == 1 || found.IdCylinder == f.Id.C ? f.Id.C : -2;
    return 256;
  });
  return found;
}

// The disk-type byte says where the image's tracks lie: a 40-track disk's cylinder c under
// the 80-track drive's cylinder 2c (TR-DOS steps twice), a one-sided disk's track t on
// cylinder t; another byte is read as 80 cylinders of two sides. Saved back, the TRD holds
// the same bytes at the geometry's own size.
TEST(DiskTrDosTest, DiskTypeByteGivesTheTrackLayoutAndTheSavedSize) {
  struct Case {
    uint8_t type;
    int tracks;
    int cylinderStep;  // drive cylinders per disk cylinder
    int sides;
  } cases[] = {{0x16, 160, 1, 2}, {0x17, 80, 2, 2},  {0x18, 80, 1, 1},
               {0x19, 40, 2, 1},  {0x00, 160, 1, 2}, {0x5A, 160, 1, 2}};
  test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "disk type " << int{c.type});
    const auto image = PatternedImage(c.type);
    const Bytes file(image->Bytes.begin(), image->Bytes.begin() + c.tracks * 4096);
    RememberedGeometry geometry;
    const auto disk = LoadDiskImageBytes(file, DiskFormat::Trd, {}, geometry);
    std::set<std::pair<int, int>> used;
    for (int t = 0; t < c.tracks; ++t) {
      const int cylinder = t / c.sides;
      const int driveCylinder = cylinder * c.cylinderStep, side = t % c.sides;
      used.insert({driveCylinder, side});
      const TrackSectors found = SectorsOf(disk->Track(driveCylinder, side));
      ASSERT_EQ(found.Data.size(), 16u) << "track " << t;
      EXPECT_EQ(found.IdCylinder, cylinder) << "track " << t;
      for (int r = 1; r <= 16; ++r) {
        const auto expected = image->Sector(t, r);
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), found.Data.at(r).begin()))
            << "track " << t << " sector " << r;
      }
    }
    for (int cylinder = 0; cylinder < FloppyDisk::kCylinders; ++cylinder) {
      for (int side = 0; side < 2; ++side) {
        if (used.count({cylinder, side})) continue;
        EXPECT_TRUE(SectorsOf(disk->Track(cylinder, side)).Data.empty())
            << "cylinder " << cylinder << " side " << side;
      }
    }

    const fs::path saved = dir.path() / "saved.trd";
    ASSERT_TRUE(SaveDiskImage(saved, *disk, geometry));
    EXPECT_TRUE(ReadBytes(saved) == file);
  }
}

TEST(DiskTrDosTest, BootFileGoesIntoNewSclDisksAndTrdOnlyWhenAsked) {
  VANTREL_REQUIRE_TESTDATA(scl, "disk-trdos/UMT2_3.SCL");
  VANTREL_REQUIRE_TESTDATA(trd, "disk-trdos/UMT2_3.TRD");
  test::TempDir dir;
  WriteBytes(dir.path() / "boot.$B", Hobeta("boot    B", 2));
  struct Case {
    fs::path file;
    bool bootTrd;
    bool expectBoot;
  } cases[] = {{scl, false, true}, {trd, false, false}, {trd, true, true}};
  for (const Case& c : cases) {
    DiskOpenOptions options;
    options.BootTrd = c.bootTrd;
    options.BootFileName = dir.path() / "boot.$B";
    RememberedGeometry geometry;
    const auto image = Extract(*OpenDiskImage(c.file, options, geometry));
    EXPECT_EQ(HasBootFile(*image), c.expectBoot) << c.file;
    // The boot file follows the disk's own file.
    if (c.expectBoot) {
      EXPECT_EQ(CatalogueName(std::span(image->Bytes).subspan(16, 16)), "boot.B");
    }
  }
}

TEST(DiskTrDosTest, SclWithWrongChecksumLoadsAfterTheWarning) {
  VANTREL_REQUIRE_TESTDATA(file, "disk-trdos/UMT2_3.SCL");
  Bytes scl = ReadBytes(file);
  scl.back() ^= 1;
  std::vector<std::string> warnings;
  DiskOpenOptions options;
  options.Prompts.Warn = [&](const DiskError& e) { warnings.push_back(e.what()); };
  RememberedGeometry geometry;
  const auto disk = LoadDiskImageBytes(scl, DiskFormat::Scl, options, geometry);
  ASSERT_TRUE(disk);
  EXPECT_EQ(warnings, std::vector<std::string>{
                          "SCL file has wrong checksum! File corrupted or it is not SCL file..."});
  EXPECT_EQ(Extract(*disk)->Bytes[TrdImage::kFileCount], 1);
  // Cut short: refused.
  scl.back() ^= 1;
  for (size_t cut : {size_t{1}, size_t{300}, scl.size() - 8}) {
    const Bytes part(scl.begin(), scl.end() - static_cast<std::ptrdiff_t>(cut));
    ExpectDiskError([&] { LoadDiskImageBytes(part, DiskFormat::Scl, {}, geometry); },
                    "SCL file has wrong format! File corrupted or it is not SCL file...",
                    kSclErrorCaption);
  }
}

TEST(DiskTrDosTest, FilesThatDoNotFitOrAreCutShortAreRefusedWithoutChange) {
  // A disk whose catalogue's last entry is used, and ones whose free space ends at the last
  // track: 159, or 39 of a one-sided 40-track disk.
  TrdImage full, nearEnd, nearEnd40;
  full.StartBlankDisk();
  full.Bytes[127 * 16] = 'x';
  nearEnd.StartBlankDisk();
  nearEnd.Bytes[TrdImage::kFirstFreeTrack] = 159;
  nearEnd.Bytes[TrdImage::kFirstFreeSector] = 15;
  nearEnd40 = nearEnd;
  nearEnd40.Bytes[TrdImage::kDiskType] = 0x19;
  nearEnd40.Bytes[TrdImage::kFirstFreeTrack] = 39;
  const Bytes game = Hobeta("game    C", 2);
  const Bytes shortFile(game.begin(), game.end() - 1);
  Bytes badSum = game;
  badSum[15] ^= 1;
  const std::string kHobetaHeader =
      "Hobeta file has wrong header! File corrupted or it is not Hobeta file...";
  struct Case {
    TrdImage* image;
    const Bytes* file;
    std::string message;
    std::string_view caption;
  } cases[] = {
      {&full, &game, "No room in the catalogue for the file game.C: a TR-DOS disk holds 128 files.",
       kCatalogueOverflowCaption},
      {&nearEnd, &game,
       "No room on the disk for the file game.C: it would need sectors past track 159.",
       kDiskOverflowCaption},
      {&nearEnd40, &game,
       "No room on the disk for the file game.C: it would need sectors past track 39.",
       kDiskOverflowCaption},
      {&nearEnd, &shortFile, kHobetaHeader, kHobetaErrorCaption},
      {&nearEnd, &badSum, kHobetaHeader, kHobetaErrorCaption},
  };
  for (const Case& c : cases) {
    const auto before = std::make_unique<TrdImage>(*c.image);
    ExpectDiskError([&] { AddHobetaFile(*c.image, *c.file, false); }, c.message, c.caption);
    EXPECT_TRUE(before->Bytes == c.image->Bytes) << c.message;
  }
}

// A TR-DOS disk with one odd track on cylinder 81: every size code, a deleted sector.
std::unique_ptr<FloppyDisk> MixedDisk() {
  auto disk = CreateBlankDisk();
  TrackWriter writer(disk->Track(81, 1));
  for (uint8_t n = 0; n <= 4; ++n) {
    const Bytes data(size_t{128} << n, static_cast<uint8_t>(0x10 + n));
    EXPECT_TRUE(writer.AddSector({81, 1, static_cast<uint8_t>(n + 1), n},
                                 n == 2 ? kDeletedDataMark : kDataMark, data));
  }
  writer.Finish();
  TrackWriter big(disk->Track(85, 0));
  EXPECT_TRUE(big.AddSector({85, 0, 1, 5}, kDataMark, Bytes(4096, 0xEE)));
  big.Finish();
  return disk;
}

TEST(DiskFileTest, FdiAndUdiSaveAndLoadTheSameTracks) {
  test::TempDir dir;
  const auto disk = MixedDisk();
  disk->SetWriteProtected(false);
  disk->SetModified();
  const RememberedGeometry wide{86, 85};
  for (const char* name : {"disk.fdi", "disk.UDI"}) {
    ASSERT_TRUE(SaveDiskImage(dir.path() / name, *disk, wide));
    EXPECT_FALSE(disk->Modified());
    RememberedGeometry geometry;
    const auto loaded = OpenDiskImage(dir.path() / name, {}, geometry);
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(SameTracks(*disk, *loaded)) << name;
    // The loaded file's geometry is remembered for the next save of its format.
    EXPECT_TRUE(geometry.FdiCylinders == 86 || geometry.UdiLastCylinder == 85) << name;
  }
}

TEST(DiskFileTest, UdiWithoutEarlierLoadHas80CylindersLengthAndChecksum) {
  const auto disk = CreateBlankDisk();
  const Bytes udi = SaveUdiImage(*disk, 0);
  ASSERT_EQ(udi.size(), kUdiHeaderSize + 160 * (3 + sizeof(RawTrack)) + 4);
  const size_t body = udi.size() - 4;
  EXPECT_EQ(Le32(&udi[4]), body);
  EXPECT_EQ(udi[9], 79);
  EXPECT_EQ(udi[10], 1);
  EXPECT_EQ(Le32(&udi[body]), UdiCrc32(std::span(udi).first(body)));
}

TEST(DiskFileTest, ExpandedUdiLoadsAndBothChecksumsAgree) {
  VANTREL_REQUIRE_TESTDATA(expanded, "disk-trdos/success-expanded.udi");
  VANTREL_REQUIRE_TESTDATA(compressed, "disk-trdos/success.udi");
  RememberedGeometry geometry;
  const auto disk = OpenDiskImage(expanded, {}, geometry);
  ASSERT_TRUE(disk);
  EXPECT_EQ(geometry.UdiLastCylinder, 79);
  const auto image = Extract(*disk);
  EXPECT_EQ(image->Bytes[2048 + 0xE7], 0x10);  // a TR-DOS disk
  EXPECT_GT(image->Bytes[TrdImage::kFileCount], 0);
  // The checksum agrees with the one other programs stored.
  for (const fs::path& file : {expanded, compressed}) {
    const Bytes udi = ReadBytes(file);
    const size_t body = udi.size() - 4;
    EXPECT_EQ(UdiCrc32(std::span(udi).first(body)), Le32(&udi[body])) << file;
  }
}

// An FDI of one cylinder and `heads` heads whose one track lists the given sectors.
Bytes Fdi(uint16_t cylinders, uint16_t heads, std::vector<SectorId> sectors, size_t dataSize) {
  Bytes f = {'F', 'D', 'I', 1, static_cast<uint8_t>(cylinders), 0, static_cast<uint8_t>(heads), 0};
  const size_t dataArea = 14 + 7 + 7 * sectors.size();
  f.insert(f.end(),
           {0, 0, static_cast<uint8_t>(dataArea), static_cast<uint8_t>(dataArea >> 8), 0, 0});
  f.insert(f.end(), {0, 0, 0, 0, 0, 0, static_cast<uint8_t>(sectors.size())});
  for (const SectorId& s : sectors) f.insert(f.end(), {s.C, s.H, s.R, s.N, 0, 0, 0});
  f.resize(dataArea + dataSize, 0xE5);
  return f;
}

// `count` sectors of size code `n`, numbered from 1, all on cylinder 0, head 0.
std::vector<SectorId> Numbered(int count, uint8_t n) {
  std::vector<SectorId> sectors;
  for (int r = 1; r <= count; ++r) sectors.push_back({0, 0, static_cast<uint8_t>(r), n});
  return sectors;
}

TEST(DiskFileTest, FdiHeadersAndSectorsOutOfRangeAreRefused) {
  struct Case {
    Bytes file;
    bool accepted;
  } cases[] = {
      {Fdi(1, 1, {{0, 0, 1, 1}}, 256), true},
      {Fdi(86, 0, {}, 0), true},
      {Fdi(87, 0, {}, 0), false},
      {Fdi(1, 3, {}, 0), false},
      {Fdi(1, 1, {{0, 0, 1, 1}}, 255), false},                 // data past the end of the file
      {Fdi(1, 1, {{0, 0, 1, 6}}, 8192), false},                // no size code 6
      {Fdi(1, 1, {{0, 0, 1, 5}, {0, 0, 2, 5}}, 4096), false},  // two 4 KB sectors in one track
      // Past TR-DOS's gaps but within the track's bytes once they shrink.
      {Fdi(1, 1, Numbered(10, 2), 512), true},
      {Fdi(1, 1, Numbered(11, 2), 512), true},
      {Fdi(1, 1, Numbered(20, 1), 256), true},
      {Fdi(1, 1, Numbered(12, 2), 512), false},
      {Fdi(1, 1, Numbered(21, 1), 256), false},
      {Bytes{'F', 'D', 'I', 0}, false},
  };
  for (const Case& c : cases) {
    RememberedGeometry geometry;
    if (c.accepted) {
      const auto disk = LoadDiskImageBytes(c.file, DiskFormat::Fdi, {}, geometry);
      EXPECT_TRUE(disk->WriteProtected());  // header byte 3
    } else {
      ExpectDiskError([&] { LoadDiskImageBytes(c.file, DiskFormat::Fdi, {}, geometry); },
                      kFdiFormat, kInvalidDiskCaption);
    }
  }
}

TEST(DiskFileTest, FdiSavesAnUnknownSizeCodeAsTheControllerReadsIt) {
  auto disk = std::make_unique<FloppyDisk>();
  TrackWriter writer(disk->Track(0, 0));
  ASSERT_TRUE(writer.AddSector({0, 0, 1, 6}, kDataMark, Bytes(512, 0x77)));  // 128 << (6 & 3)
  writer.Finish();
  const Bytes fdi = SaveFdiImage(*disk, 0);
  EXPECT_EQ(fdi[4], 80);
  EXPECT_EQ((Bytes{fdi.begin() + 21, fdi.begin() + 26}), (Bytes{0, 0, 1, 2, 0x04}));
  RememberedGeometry geometry;
  const auto loaded = LoadDiskImageBytes(fdi, DiskFormat::Fdi, {}, geometry);
  EXPECT_EQ(loaded->Track(0, 0).Data[69 + 1], 0x77);
}

TEST(DiskFileTest, WriteProtectFollowsTheReadOnlyAttribute) {
  test::TempDir dir;
  const auto disk = CreateBlankDisk();
  disk->SetWriteProtected(true);
  const RememberedGeometry geometry;
  for (const char* name : {"a.trd", "a.udi"}) {
    const fs::path file = dir.path() / name;
    ASSERT_TRUE(SaveDiskImage(file, *disk, geometry));
    // The TRD saver makes the file read-only itself; the UDI is made so here.
    fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    RememberedGeometry loaded;
    EXPECT_TRUE(OpenDiskImage(file, {}, loaded)->WriteProtected()) << name;
    fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_FALSE(OpenDiskImage(file, {}, loaded)->WriteProtected()) << name;
  }
}

TEST(DiskFileTest, SaveRefusalsKeepTheOldFile) {
  test::TempDir dir;
  const auto disk = CreateBlankDisk();
  const RememberedGeometry geometry;
  EXPECT_FALSE(SaveDiskImage(dir.path() / "disk.$b", *disk, geometry));
  EXPECT_FALSE(fs::exists(dir.path() / "disk.$b"));
  ExpectDiskError([&] { SaveDiskImage(dir.path() / "missing" / "d.trd", *disk, geometry); },
                  "Can't create Disk Image File! Invalid file name or file location...",
                  kDiskErrorCaption);
  // No temporary name free beside the file: refused, and the old file stays as it was.
  const fs::path file = dir.path() / "d.udi";
  WriteBytes(file, Bytes{1, 2, 3});
  for (int i = 0; i < 100; ++i)
    fs::create_directory(dir.path() / ("d.udi.tmp" + std::to_string(i)));
  ExpectDiskError([&] { SaveDiskImage(file, *disk, geometry); },
                  "Can't create Ultra Disk Image file! Invalid file name or file location...",
                  kDiskErrorCaption);
  EXPECT_EQ(ReadBytes(file), (Bytes{1, 2, 3}));
}

}  // namespace
}  // namespace vantrel
